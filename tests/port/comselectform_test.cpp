// The port selection dialog under the offscreen platform: listing, preselection and the choice.
#include "port/ui/comselectform.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QtTest/QTest>
#include <set>

#include "errors/errorcodes.h"
#include "qttesting.h"

namespace talyx {
namespace {

TComSelectForm::AvailabilityTest Ports(std::set<int> available, std::set<int>* probed = nullptr) {
  return [available, probed](int n) {
    if (probed) probed->insert(n);
    return available.count(n) > 0;
  };
}

// The widget that Tab moves to from w.
QWidget* NextTabStop(QWidget* w) {
  for (QWidget* next = w->nextInFocusChain(); next != w; next = next->nextInFocusChain()) {
    if (next->focusPolicy() & Qt::TabFocus) return next;
  }
  return w;
}

TEST(ComSelectFormTest, ListsAvailablePortsInOrderWithTheFirstSelected) {
  testing::EnsureQtApplication();
  std::set<int> probed;
  TComSelectForm form(Ports({7, 3, 51}, &probed));
  ASSERT_EQ(form.PortsComboBox->count(), 2);
  EXPECT_EQ(form.PortsComboBox->itemText(0), "COM3");
  EXPECT_EQ(form.PortsComboBox->itemText(1), "COM7");
  EXPECT_EQ(form.PortsComboBox->currentIndex(), 0);
  EXPECT_EQ(form.SelectedComNumber(), 3);
  EXPECT_EQ(*probed.begin(), 1);
  EXPECT_EQ(*probed.rbegin(), 50);
  EXPECT_EQ(probed.size(), 50u);
}

TEST(ComSelectFormTest, FixedLayoutAndTexts) {
  testing::EnsureQtApplication();
  TComSelectForm form(Ports({}));
  EXPECT_EQ(form.windowTitle(), "Select Port");
  EXPECT_EQ(form.size(), QSize(220, 131));
  EXPECT_EQ(form.OkBtn->geometry(), QRect(8, 95, 85, 27));
  EXPECT_EQ(form.AbortBtn->geometry(), QRect(124, 95, 85, 27));
  EXPECT_TRUE(form.OkBtn->isDefault());
  EXPECT_EQ(NextTabStop(form.OkBtn), form.AbortBtn);
  EXPECT_EQ(NextTabStop(form.AbortBtn), form.PortsComboBox);
  EXPECT_EQ(NextTabStop(form.PortsComboBox), form.OkBtn);
  EXPECT_FALSE(form.PortsComboBox->isEditable());
}

TEST(ComSelectFormTest, OkTakesTheSelectedNumberWithAllItsDigits) {
  testing::EnsureQtApplication();
  testing::WhenModalShown<TComSelectForm>([](TComSelectForm& form) { form.OkBtn->click(); });
  EXPECT_EQ(ChoosePortWithDialog(Ports({3, 7})), 3);

  testing::WhenModalShown<TComSelectForm>([](TComSelectForm& form) {
    form.PortsComboBox->setCurrentIndex(1);
    QTest::keyClick(&form, Qt::Key_Return);  // the default button
  });
  EXPECT_EQ(ChoosePortWithDialog(Ports({2, 12})), 12);
}

TEST(ComSelectFormTest, CancelCloseBoxAndEmptyListAreRefusals) {
  testing::EnsureQtApplication();
  testing::WhenModalShown<TComSelectForm>([](TComSelectForm& form) { form.AbortBtn->click(); });
  EXPECT_EQ(ChoosePortWithDialog(Ports({3})), ecNoPortSelected);

  testing::WhenModalShown<TComSelectForm>([](TComSelectForm& form) { form.close(); });
  EXPECT_EQ(ChoosePortWithDialog(Ports({3})), ecNoPortSelected);

  testing::WhenModalShown<TComSelectForm>([](TComSelectForm& form) { form.OkBtn->click(); });
  EXPECT_EQ(ChoosePortWithDialog(Ports({})), ecNoPortSelected);
}

}  // namespace
}  // namespace talyx
