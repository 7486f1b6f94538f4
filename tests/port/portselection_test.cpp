// The selection dialog installed as the port component's chooser, under the offscreen platform:
// a port component with no port number asks through it and opens the chosen port.
#include "port/ui/portselection.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <functional>

#include "errors/commerror.h"
#include "port/comport.h"
#include "port/ui/comselectform.h"
#include "porttesting.h"
#include "qttesting.h"
#include "support/ptypair.h"
#include "support/scopedproviders.h"

namespace talyx::testing {
namespace {

class PortSelectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApplication();
    previous = SetPortChooser(nullptr);
    InstallPortSelectionDialog();
  }
  void TearDown() override { SetPortChooser(previous); }

  // Acts on the modal dialog once its event loop runs; listed receives its items.
  void WhenShown(std::function<void(TComSelectForm&)> act) {
    WhenModalShown<TComSelectForm>([this, act](TComSelectForm& form) {
      for (int i = 0; i < form.PortsComboBox->count(); ++i) {
        listed.push_back(form.PortsComboBox->itemText(i).toStdString());
      }
      act(form);
    });
  }

  ScopedDeviceProviders providers{TermiosProviderOnly()};
  MainThreadLoop loop;
  PortChooserHook previous;
  std::vector<std::string> listed;
};

TEST_F(PortSelectionTest, ChosenPortIsOpened) {
  PtyPair pty;
  ScopedPortMap map({{3, pty.SlavePath()}, {7, "/nonexistent-talyx-folder/ttyX"}});
  TComPort port;
  WhenShown([](TComSelectForm& form) { form.OkBtn->click(); });
  port.SetOpen(true);
  EXPECT_EQ(listed, std::vector<std::string>{"COM3"});
  EXPECT_EQ(port.ComNumber(), 3);
  EXPECT_EQ(port.OpenState(), TOpenState::osOpen);
}

TEST_F(PortSelectionTest, CancelRefusesTheOpen) {
  PtyPair pty;
  ScopedPortMap map({{3, pty.SlavePath()}});
  TComPort port;
  WhenShown([](TComSelectForm& form) { form.AbortBtn->click(); });
  EXPECT_THROW(port.SetOpen(true), ENoPortSelected);
  EXPECT_EQ(port.ComNumber(), 0);
  EXPECT_EQ(port.OpenState(), TOpenState::osClosed);
}

TEST_F(PortSelectionTest, OkWithNothingToChooseCountsAsCancel) {
  ScopedPortMap noPorts;
  TComPort port;
  WhenShown([](TComSelectForm& form) { form.OkBtn->click(); });
  EXPECT_THROW(port.SetOpen(true), ENoPortSelected);
  EXPECT_TRUE(listed.empty());
  EXPECT_EQ(port.ComNumber(), 0);
}

}  // namespace
}  // namespace talyx::testing
