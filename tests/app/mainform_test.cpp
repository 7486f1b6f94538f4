// The main window: its controls and docking, the views that may follow the window, the first
// start, the port settings and their failures, under the offscreen platform with the port numbers
// mapped to pseudo-terminals.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpontaneKeyEvent>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <map>
#include <vector>

#include "app/dialogs/optionsdialog.h"
#include "app/view/receiveview.h"
#include "app/window/shape.h"
#include "app/window/statusbar.h"
#include "apptesting.h"
#include "platform/termios2settings.h"
#include "support/ptypair.h"

namespace talyx::testing {
namespace {

using app::TMainForm;

const QString PortFailure = QStringLiteral("串口不存在或被占用。");

uint32_t BaudOf(const PtyPair& pty) {
  platform::TermiosLine line;
  EXPECT_EQ(platform::ReadTermiosLine(pty.Slave(), line), 0);
  return line.BaudRate;
}

QStringList ItemsOf(const QComboBox* combo) {
  QStringList items;
  for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
  return items;
}

// Replaces the box's text as a user would: select all, type, Enter.
void TypeInto(QComboBox* combo, const QString& text) {
  combo->lineEdit()->selectAll();
  QTest::keyClicks(combo->lineEdit(), text);
  QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
}

// One wheel step down over the middle of widget, delivered as the window system delivers it:
// to the widget under the pointer, which takes the focus first when its policy says so, and on
// to its parents while they ignore it.
void TurnWheelDown(QWidget* widget) {
  const QPoint middle = widget->rect().center();
  QWidget* target = widget->childAt(middle) != nullptr ? widget->childAt(middle) : widget;
  const QPoint at = target->mapFrom(widget, middle);
  QWheelEvent wheel(at, target->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QSpontaneKeyEvent::setSpontaneous(&wheel);
  QApplication::instance()->notify(target, &wheel);
}

// Counts the wheel events that reach a widget.
class WheelCounter : public QObject {
 public:
  explicit WheelCounter(QWidget* widget) { widget->installEventFilter(this); }
  int Count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Wheel) ++Count;
    return false;
  }
};

struct ExpectedControl {
  const char* Name;
  const char* Kind;
  const char* Parent;
  QRect Bounds;  // only the position is checked when the size is empty
  QString Text;
};

TEST_F(MainFormTest, ControlsStandAtTheirDesignPlacesAndGroupsFollowAResize) {
  ScopedPortMap noPorts;
  auto form = CreateForm();
  form->show();
  form->resize(800, 600);

  const ExpectedControl expected[] = {
      {"StatusBar", "QStatusBar", "MainForm", {0, 581, 800, 19}, {}},
      {"Panel1", "QFrame", "MainForm", {0, 470, 800, 111}, {}},
      {"Panel2", "QFrame", "Panel1", {0, 0, 257, 111}, {}},
      {"Panel5", "QFrame", "Panel1", {257, 0, 543, 111}, {}},
      {"SendMemo", "QPlainTextEdit", "Panel5", {0, 0, 543, 88}, {}},
      {"Panel6", "QFrame", "Panel5", {0, 88, 543, 23}, {}},
      {"Panel3", "QFrame", "MainForm", {0, 0, 113, 470}, {}},
      {"Panel4", "QFrame", "Panel3", {0, 0, 113, 169}, {}},
      {"Memo_Show", "talyx::app::TReceiveView", "MainForm", {152, 8, 225, 341}, {}},
      {"re_dec", "QPlainTextEdit", "MainForm", {424, 8, 225, 337}, {}},
      {"Label1", "QLabel", "Panel4", {8, 16, 0, 0}, QStringLiteral("串  口")},
      {"CB_ComNum", "QComboBox", "Panel4", {48, 10, 57, 20}, QStringLiteral("Com1")},
      {"Label2", "QLabel", "Panel4", {8, 40, 0, 0}, QStringLiteral("波特率")},
      {"CB_Baud", "QComboBox", "Panel4", {48, 34, 57, 20}, QStringLiteral("9600")},
      {"Label4", "QLabel", "Panel4", {8, 64, 0, 0}, QStringLiteral("校验位")},
      {"CB_Parity", "QComboBox", "Panel4", {48, 58, 57, 20}, QStringLiteral("pNone")},
      {"Label5", "QLabel", "Panel4", {8, 88, 0, 0}, QStringLiteral("数据位")},
      {"CB_DataBits", "QComboBox", "Panel4", {48, 82, 57, 20}, QStringLiteral("8")},
      {"Label3", "QLabel", "Panel4", {8, 112, 0, 0}, QStringLiteral("停止位")},
      {"CB_StopBits", "QComboBox", "Panel4", {48, 106, 57, 20}, QStringLiteral("1")},
      {"Shape_ComState", "talyx::app::TShape", "Panel4", {12, 139, 19, 19}, {}},
      {"Btn_Reset", "QPushButton", "Panel4", {40, 136, 65, 25}, QStringLiteral("重置串口")},
      {"Btn_ClearView", "QPushButton", "Panel3", {8, 176, 89, 25}, QStringLiteral("清空显示")},
      {"Btn_SaveView", "QPushButton", "Panel3", {8, 211, 89, 25}, QStringLiteral("保存显示数据")},
      {"CB_HexGet", "QCheckBox", "Panel3", {8, 248, 97, 17}, QStringLiteral("十六进制接收")},
      {"CB_StopShow", "QCheckBox", "Panel3", {8, 272, 97, 17}, QStringLiteral("停止显示")},
      {"CB_Clear", "QCheckBox", "Panel3", {8, 296, 97, 17}, QStringLiteral("自动清空接收")},
      {"CB_Show", "QCheckBox", "Panel3", {8, 320, 81, 17}, QStringLiteral("逐行显示")},
      {"CB_hexSend", "QCheckBox", "Panel2", {8, 6, 95, 17}, QStringLiteral("十六进制发送")},
      {"CB_AutoSend",
       "QCheckBox",
       "Panel2",
       {8, 30, 169, 17},
       QStringLiteral("自动发送(周期修改后重选)")},
      {"Label6", "QLabel", "Panel2", {8, 54, 0, 0}, QStringLiteral("自动发送周期")},
      {"Edt_Interval", "QLineEdit", "Panel2", {88, 48, 41, 20}, QStringLiteral("1000")},
      {"Label7", "QLabel", "Panel2", {136, 54, 0, 0}, QStringLiteral("毫秒")},
      {"Btn_Send", "QPushButton", "Panel2", {176, 8, 65, 25}, QStringLiteral("手动发送")},
      {"Btn_OpenFile", "QPushButton", "Panel2", {176, 40, 65, 25}, QStringLiteral("打开文件")},
      {"Btn_ClearMome", "QPushButton", "Panel2", {176, 72, 65, 25}, QStringLiteral("清空发送")},
      {"Btn_About", "QPushButton", "Panel2", {8, 72, 65, 25}, QStringLiteral("系统信息")},
      {"Btn_CountReset", "QPushButton", "Panel2", {92, 72, 65, 25}, QStringLiteral("计数复位")},
      {"CB_EnterSend", "QCheckBox", "Panel6", {6, 5, 99, 17}, QStringLiteral("回车发送数据")},
      {"CB_AddCenter", "QCheckBox", "Panel6", {112, 5, 97, 17}, QStringLiteral("发送后缀回车")},
      {"CB_ShowSend",
       "QCheckBox",
       "Panel6",
       {217, 5, 144, 17},
       QStringLiteral("发送数据后清空发送区")},
  };
  for (const ExpectedControl& control : expected) {
    SCOPED_TRACE(control.Name);
    auto* widget = form->findChild<QWidget*>(QString::fromLatin1(control.Name));
    ASSERT_NE(widget, nullptr);
    EXPECT_TRUE(widget->inherits(control.Kind)) << widget->metaObject()->className();
    EXPECT_TRUE(widget->isVisible());
    EXPECT_EQ(widget->parentWidget()->objectName(), QString::fromLatin1(control.Parent));
    if (control.Bounds.isEmpty()) {
      EXPECT_EQ(widget->pos(), control.Bounds.topLeft());
    } else {
      EXPECT_EQ(widget->geometry(), control.Bounds);
    }
    if (auto* combo = qobject_cast<QComboBox*>(widget)) {
      EXPECT_TRUE(combo->isEditable());
      EXPECT_EQ(combo->currentText(), control.Text);
    } else if (!control.Text.isNull()) {
      EXPECT_EQ(widget->property("text").toString(), control.Text);
    }
    // The window's CJK font reaches every control, so no text shows as boxes.
    EXPECT_TRUE(QFontMetrics(widget->font()).inFont(QChar(0x4E32)));  // 串
  }

  EXPECT_EQ(form->font().pointSize(), 9);
  EXPECT_EQ(ItemsOf(form->CB_ComNum), QStringList({"Com1", "Com2", "Com3", "Com4"}));
  EXPECT_EQ(ItemsOf(form->CB_Baud), QStringList({"150", "300", "600", "1200", "2400", "4800",
                                                 "9600", "19200", "38400", "57600", "115200"}));
  EXPECT_EQ(ItemsOf(form->CB_Parity), QStringList({"pEven", "pMark", "pNone", "pOdd", "pSpace"}));
  EXPECT_EQ(ItemsOf(form->CB_DataBits), QStringList({"5", "6", "7", "8"}));
  EXPECT_EQ(ItemsOf(form->CB_StopBits), QStringList({"1", "2"}));
  EXPECT_TRUE(form->CB_Clear->isChecked());

  const int panelWidths[] = {200, 120, 120, 50};
  ASSERT_EQ(form->StatusBar->PanelCount(), 5);
  for (int panel = 0; panel < 3; ++panel) {
    EXPECT_EQ(form->StatusBar->Panel(panel)->width(), panelWidths[panel]);
  }
  EXPECT_GE(form->StatusBar->Panel(3)->width(), panelWidths[3]);
  // The device panel follows panel 3 and takes the rest of the width.
  const QRect device = form->StatusBar->Panel(TMainForm::DevicePanel)->geometry();
  EXPECT_GT(device.left(), form->StatusBar->Panel(TMainForm::VersionPanel)->geometry().right());
  EXPECT_GT(device.right(), form->StatusBar->width() - 40);
  EXPECT_GT(device.width(), 100);
  QStringList menu;
  for (QAction* item : form->PopupMenu1->actions()) {
    menu << (item->isSeparator() ? QStringLiteral("-") : item->text());
    EXPECT_FALSE(item->objectName().isEmpty());
  }
  EXPECT_EQ(menu, QStringList({"撤消(&z)", "-", "剪切(&x)", "复制(&c)", "粘贴(&v)", "全选(&a)"}));

  EXPECT_TRUE(form->Timer_WatchState->isActive());
  EXPECT_EQ(form->Timer_WatchState->interval(), 500);
  EXPECT_FALSE(form->Timer_AutoSend->isActive());
  EXPECT_EQ(form->Timer_AutoSend->interval(), 1000);
  EXPECT_EQ(form->SaveDialog1->windowTitle(), QStringLiteral("保存为"));
  EXPECT_EQ(form->OpenDialog1->windowTitle(), QStringLiteral("打开"));
  for (QFileDialog* dialog : {form->SaveDialog1, form->OpenDialog1}) {
    EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("txt"));
    EXPECT_EQ(dialog->nameFilters(), QStringList({"*.txt (*.txt)", "All File (*)"}));
  }
  EXPECT_EQ(form->ComPort1.InSize(), 40960);
}

// The option StretchViews, off at first: on, the two views keep the design's gaps and share the
// width as the window changes; nothing else moves; off again, they are back at their places.
TEST_F(MainFormTest, StretchedViewsKeepTheDesignGapsAndShareTheWidthWhileNothingElseMoves) {
  ScopedPortMap noPorts;
  auto form = CreateForm();
  form->show();
  form->resize(1000, 700);
  const auto places = [&] {
    std::map<QString, QRect> bounds;
    for (QWidget* widget : form->findChildren<QWidget*>()) {
      if (!widget->objectName().isEmpty()) bounds[widget->objectName()] = widget->geometry();
    }
    return bounds;
  };
  const auto before = places();
  EXPECT_EQ(before.at(QStringLiteral("Memo_Show")), QRect(152, 8, 225, 341));
  EXPECT_EQ(before.at(QStringLiteral("re_dec")), QRect(424, 8, 225, 337));

  form->OptionsAction->trigger();
  ASSERT_NE(form->OptionsDialog1, nullptr);
  EXPECT_FALSE(form->OptionsDialog1->CB_StretchViews->isChecked());
  form->OptionsDialog1->CB_StretchViews->setChecked(true);
  form->OptionsDialog1->accept();
  EXPECT_TRUE(app::TSettingsFile(SettingsPath()).ReadBool("options", "StretchViews", false));
  // Gaps: 39 to the left column (113 wide), 47 between, 39 to the right edge, 8 below the top,
  // 35 and 39 above the send area (its top 130 above the bottom).
  EXPECT_EQ(form->Memo_Show->geometry(), QRect(152, 8, 381, 527));
  EXPECT_EQ(form->re_dec->geometry(), QRect(580, 8, 381, 523));
  form->resize(1201, 801);
  EXPECT_EQ(form->Memo_Show->geometry(), QRect(152, 8, 481, 628));
  EXPECT_EQ(form->re_dec->geometry(), QRect(680, 8, 482, 624));
  form->resize(1000, 700);
  auto after = places();
  for (const auto& [name, bounds] : before) {
    if (name != QStringLiteral("Memo_Show") && name != QStringLiteral("re_dec")) {
      EXPECT_EQ(after[name], bounds) << name.toStdString();
    }
  }

  form->OptionsAction->trigger();
  form->OptionsDialog1->CB_StretchViews->setChecked(false);
  form->OptionsDialog1->accept();
  EXPECT_EQ(form->Memo_Show->geometry(), QRect(152, 8, 225, 341));
  EXPECT_EQ(form->re_dec->geometry(), QRect(424, 8, 225, 337));
}

TEST_F(MainFormTest, ResizingBelowTheMinimumSnapsOnlyTheOffendingDimension) {
  ScopedPortMap noPorts;
  auto form = CreateForm();
  form->show();
  form->resize(600, 700);
  EXPECT_EQ(form->size(), QSize(670, 700));
  form->resize(900, 300);
  EXPECT_EQ(form->size(), QSize(900, 490));
}

TEST_F(MainFormTest, AFirstStartOpensCom1At9600InAMinimumWindow) {
  PtyPair pty;
  ScopedPortMap map({{1, pty.SlavePath()}});
  auto form = CreateForm();
  form->show();

  EXPECT_EQ(form->CB_ComNum->currentText(), QStringLiteral("Com1"));
  EXPECT_EQ(form->CB_Baud->currentText(), QStringLiteral("9600"));
  EXPECT_EQ(form->CB_Parity->currentText(), QStringLiteral("pNone"));
  EXPECT_EQ(form->CB_DataBits->currentText(), QStringLiteral("8"));
  EXPECT_EQ(form->CB_StopBits->currentText(), QStringLiteral("1"));
  EXPECT_EQ(form->pos(), QPoint(100, 100));
  EXPECT_EQ(form->size(), QSize(670, 490));
  EXPECT_EQ(form->windowTitle(), QStringLiteral("TALYX串口通信控制器"));
  EXPECT_EQ(form->StatusBar->PanelText(TMainForm::SendPanel), QStringLiteral("发送：0"));
  EXPECT_EQ(form->StatusBar->PanelText(TMainForm::RecvPanel), QStringLiteral("接收：0"));
  EXPECT_EQ(form->CB_ComNum->toolTip(), QString::fromStdString(pty.SlavePath()));

  EXPECT_TRUE(form->ComPort1.Open());
  EXPECT_EQ(form->ComPort1.ComNumber(), 1);
  EXPECT_EQ(form->ComPort1.Parity(), TParity::pNone);
  EXPECT_EQ(BaudOf(pty), 9600u);
  EXPECT_TRUE(messages.Texts.empty());
  EXPECT_EQ(chooser.Calls, 0);
}

TEST_F(MainFormTest, APortNumberOutsideTheListAsksForAPort) {
  PtyPair pty;
  ScopedPortMap map({{1, pty.SlavePath()}});
  WriteSettings("[parameter]\nComNum=7\n");
  auto form = CreateForm();
  EXPECT_EQ(form->CB_ComNum->currentIndex(), -1);
  EXPECT_EQ(form->CB_ComNum->currentText(), QString());

  form->show();
  EXPECT_EQ(chooser.Calls, 1);  // it refuses
  EXPECT_EQ(messages.Texts, QStringList{PortFailure});
  EXPECT_FALSE(form->ComPort1.Open());
  EXPECT_EQ(form->ComPort1.ComNumber(), 0);
}

TEST_F(MainFormTest, ABaudRateOutsideTheListFailsUntilATypedRateIsApplied) {
  PtyPair pty;
  ScopedPortMap map({{1, pty.SlavePath()}});
  WriteSettings("[parameter]\nBaud=-1\n");
  auto form = CreateForm();
  form->show();
  EXPECT_EQ(form->CB_Baud->currentText(), QString());
  EXPECT_EQ(messages.Texts, QStringList{PortFailure});
  EXPECT_FALSE(form->ComPort1.Open());
  EXPECT_EQ(form->Shape_ComState->BrushColor(), QColor(255, 0, 0));
  EXPECT_EQ(chooser.Calls, 0);

  // Typing alone changes nothing; the reset button applies the typed rate.
  TypeInto(form->CB_Baud, QStringLiteral("14400"));
  EXPECT_FALSE(form->ComPort1.Open());
  EXPECT_EQ(form->CB_Baud->count(), 11);
  EXPECT_EQ(form->CB_Baud->findText(QStringLiteral("14400")), -1);
  form->Btn_Reset->click();
  ASSERT_TRUE(form->ComPort1.Open());
  EXPECT_EQ(form->ComPort1.Baud(), 14400);
  EXPECT_EQ(BaudOf(pty), 14400u);
  EXPECT_EQ(messages.Texts.size(), 1u);
}

TEST_F(MainFormTest, PickingAnItemReopensThePortWhileTypingAnItemsTextDoesNot) {
  PtyPair first;
  PtyPair second;
  ScopedPortMap map({{1, first.SlavePath()}, {2, second.SlavePath()}});
  auto form = CreateForm();
  form->show();
  ASSERT_TRUE(form->ComPort1.Open());

  TypeInto(form->CB_Baud, QStringLiteral("19200"));
  EXPECT_EQ(form->ComPort1.Baud(), 9600);
  EXPECT_EQ(BaudOf(first), 9600u);

  QTest::keyClick(form->CB_ComNum, Qt::Key_Down);  // picks "Com2"
  EXPECT_EQ(form->ComPort1.ComNumber(), 2);
  EXPECT_TRUE(form->ComPort1.Open());
  EXPECT_EQ(form->ComPort1.Baud(), 19200);  // the typed rate goes with the reopen
  EXPECT_EQ(BaudOf(second), 19200u);
  EXPECT_EQ(form->CB_ComNum->toolTip(), QString::fromStdString(second.SlavePath()));
  EXPECT_TRUE(messages.Texts.empty());
}

TEST_F(OpenFormTest, TheWheelPicksAPortSettingOnlyInTheFocusedBoxAndPassesOnOtherwise) {
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  form->SendMemo->setFocus();
  const WheelCounter parent(form->Panel4);
  const std::vector<app::TComboBox*> boxes{form->CB_ComNum, form->CB_Baud, form->CB_Parity,
                                           form->CB_DataBits, form->CB_StopBits};
  for (app::TComboBox* box : boxes) {
    const int before = box->currentIndex();
    TurnWheelDown(box);
    EXPECT_EQ(box->currentIndex(), before) << box->objectName().toStdString();
    EXPECT_FALSE(box->hasFocus()) << box->objectName().toStdString();
  }
  EXPECT_EQ(parent.Count, static_cast<int>(boxes.size()));
  EXPECT_TRUE(form->ComPort1.Open());
  EXPECT_EQ(BaudOf(pty), 9600u);

  // With the focus, the wheel picks the next rate, and the port reopens with it.
  form->CB_Baud->setFocus();
  TurnWheelDown(form->CB_Baud);
  EXPECT_EQ(form->CB_Baud->currentText(), QStringLiteral("19200"));
  EXPECT_EQ(parent.Count, static_cast<int>(boxes.size()));
  EXPECT_TRUE(form->ComPort1.Open());
  EXPECT_EQ(BaudOf(pty), 19200u);
  EXPECT_TRUE(messages.Texts.empty());
}

TEST_F(MainFormTest, TheSectionPortsMapsPortNumbersBeforeThePortOpens) {
  PtyPair pty;
  ScopedPortMap noPorts;
  WriteSettings("[parameter]\nComNum=2\n[ports]\nCom3=" + pty.SlavePath() + "\n");
  auto form = CreateForm();
  form->show();
  EXPECT_TRUE(form->ComPort1.Open());
  EXPECT_EQ(form->ComPort1.ComNumber(), 3);
  EXPECT_EQ(form->CB_ComNum->toolTip(), QString::fromStdString(pty.SlavePath()));
  EXPECT_TRUE(messages.Texts.empty());
}

TEST_F(MainFormTest, ACaptionWrittenInTheChineseCodePageIsReadAsSuch) {
  WriteSettings("[Form]\nCaption=\xB4\xAE\xBF\xDA\xB5\xF7\xCA\xD4\n");  // 串口调试 in GBK
  auto form = CreateForm();
  EXPECT_EQ(form->windowTitle(), QStringLiteral("串口调试"));
}

}  // namespace
}  // namespace talyx::testing
