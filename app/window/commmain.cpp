// TMainForm: the controls at their design positions, the docked groups and the connections.
#include "app/window/commmain.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTimer>

#include "app/devices/platformtext.h"
#include "app/dialogs/finddialog.h"
#include "app/shell/application.h"
#include "app/shell/fonts.h"
#include "app/view/receiveview.h"
#include "app/window/combobox.h"
#include "app/window/shape.h"
#include "app/window/statusbar.h"
#include "platform/portmap.h"

namespace talyx::app {

namespace {

// Heights and widths of the docked groups.
constexpr int StatusBarHeight = 19;
constexpr int Panel1Height = 111;
constexpr int Panel2Width = 257;
constexpr int Panel3Width = 113;
constexpr int Panel4Height = 169;
constexpr int Panel6Height = 23;

// The views' design places, in a window of the design size.
constexpr QRect MemoShowBounds(152, 8, 225, 341);
constexpr QRect RegisterViewBounds(424, 8, 225, 337);
constexpr int DesignWidth = 688;
constexpr int DesignHeight = 514;

// The window's font: the CJK faces at 9 points.
QFont WindowFont() {
  QFont font;
  font.setFamilies(CjkFaces());
  font.setPointSize(9);
  return font;
}

template <class Widget>
Widget* Named(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QFrame* MakePanel(QWidget* parent, const char* name) {
  auto* panel = Named(new QFrame(parent), name);
  panel->setFrameShape(QFrame::NoFrame);
  return panel;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int left, int top) {
  auto* label = Named(new QLabel(text, parent), name);
  label->move(left, top);
  label->adjustSize();
  return label;
}

TComboBox* MakeComboBox(QWidget* parent, const char* name, const QStringList& items, int top) {
  auto* combo = Named(new TComboBox(items, parent), name);
  combo->setGeometry(48, top, 57, 20);
  return combo;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption,
                        const QRect& bounds) {
  auto* button = Named(new QPushButton(caption, parent), name);
  button->setGeometry(bounds);
  return button;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& caption,
                        const QRect& bounds, bool checked = false) {
  auto* box = Named(new QCheckBox(caption, parent), name);
  box->setGeometry(bounds);
  box->setChecked(checked);
  return box;
}

// A multi-line text box with word wrap and a vertical scroll bar.
QPlainTextEdit* MakeTextBox(QWidget* parent, const char* name) {
  auto* box = Named(new QPlainTextEdit(parent), name);
  box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  return box;
}

QFileDialog* MakeFileDialog(QWidget* parent, const char* name, const QString& title,
                            QFileDialog::AcceptMode mode) {
  auto* dialog = Named(new QFileDialog(parent, title), name);
  dialog->setAcceptMode(mode);
  dialog->setDefaultSuffix(QStringLiteral("txt"));
  // Shown as "*.txt" and "All File"; the second lists every file.
  dialog->setOption(QFileDialog::HideNameFilterDetails);
  dialog->setNameFilters({QStringLiteral("*.txt (*.txt)"), QStringLiteral("All File (*)")});
  return dialog;
}

}  // namespace

TMainForm::TMainForm(TSettingsFile settings, QWidget* parent)
    : QWidget(parent), settings_(std::move(settings)) {
  setObjectName(QStringLiteral("MainForm"));
  setFont(WindowFont());
  setGeometry(196, 118, 688, 514);
  CreateControls();
  ConnectHandlers();
  CreateDeviceFeatures();
  ComPort1.SetBaud(9600);
  ComPort1.SetInSize(40960);
  FormCreate();
}

TMainForm::~TMainForm() {
  // ComPort1 closes when it is destroyed, after the receive path it reports to: events still
  // queued for its window then must not reach a handler that is gone.
  ComPort1.SetOnTrigger({});
}

void TMainForm::CreateControls() {
  Panel1 = MakePanel(this, "Panel1");
  Panel2 = MakePanel(Panel1, "Panel2");
  Panel5 = MakePanel(Panel1, "Panel5");
  Panel6 = MakePanel(Panel5, "Panel6");
  Panel3 = MakePanel(this, "Panel3");
  Panel4 = MakePanel(Panel3, "Panel4");
  Panel4->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  CreatePortGroup();
  CreateLeftColumn();
  CreateViews();
  CreateSendArea();
  CreateStatusBarAndMenu();
  CreateNonVisualMembers();
}

void TMainForm::CreatePortGroup() {
  Label1 = MakeLabel(Panel4, "Label1", tr("串  口"), 8, 16);
  CB_ComNum = MakeComboBox(Panel4, "CB_ComNum",
                           {QStringLiteral("Com1"), QStringLiteral("Com2"), QStringLiteral("Com3"),
                            QStringLiteral("Com4")},
                           10);
  Label2 = MakeLabel(Panel4, "Label2", tr("波特率"), 8, 40);
  CB_Baud = MakeComboBox(Panel4, "CB_Baud",
                         {QStringLiteral("150"), QStringLiteral("300"), QStringLiteral("600"),
                          QStringLiteral("1200"), QStringLiteral("2400"), QStringLiteral("4800"),
                          QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("38400"),
                          QStringLiteral("57600"), QStringLiteral("115200")},
                         34);
  Label4 = MakeLabel(Panel4, "Label4", tr("校验位"), 8, 64);
  CB_Parity =
      MakeComboBox(Panel4, "CB_Parity",
                   {QStringLiteral("pEven"), QStringLiteral("pMark"), QStringLiteral("pNone"),
                    QStringLiteral("pOdd"), QStringLiteral("pSpace")},
                   58);
  Label5 = MakeLabel(Panel4, "Label5", tr("数据位"), 8, 88);
  CB_DataBits = MakeComboBox(
      Panel4, "CB_DataBits",
      {QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")}, 82);
  Label3 = MakeLabel(Panel4, "Label3", tr("停止位"), 8, 112);
  CB_StopBits =
      MakeComboBox(Panel4, "CB_StopBits", {QStringLiteral("1"), QStringLiteral("2")}, 106);
  Shape_ComState = Named(new TShape(Panel4), "Shape_ComState");
  Shape_ComState->setGeometry(12, 139, 19, 19);
  Shape_ComState->SetBrushColor(QColor(255, 0, 0));
  Btn_Reset = MakeButton(Panel4, "Btn_Reset", tr("重置串口"), {40, 136, 65, 25});
}

void TMainForm::CreateLeftColumn() {
  Btn_ClearView = MakeButton(Panel3, "Btn_ClearView", tr("清空显示"), {8, 176, 89, 25});
  Btn_SaveView = MakeButton(Panel3, "Btn_SaveView", tr("保存显示数据"), {8, 211, 89, 25});
  CB_HexGet = MakeCheckBox(Panel3, "CB_HexGet", tr("十六进制接收"), {8, 248, 97, 17});
  CB_StopShow = MakeCheckBox(Panel3, "CB_StopShow", tr("停止显示"), {8, 272, 97, 17});
  CB_Clear = MakeCheckBox(Panel3, "CB_Clear", tr("自动清空接收"), {8, 296, 97, 17}, true);
  CB_Show = MakeCheckBox(Panel3, "CB_Show", tr("逐行显示"), {8, 320, 81, 17});
}

void TMainForm::CreateViews() {
  Memo_Show = Named(new TReceiveView(this), "Memo_Show");
  Memo_Show->setGeometry(MemoShowBounds);
  re_dec = MakeTextBox(this, "re_dec");
  re_dec->setGeometry(RegisterViewBounds);
}

void TMainForm::CreateSendArea() {
  CB_hexSend = MakeCheckBox(Panel2, "CB_hexSend", tr("十六进制发送"), {8, 6, 95, 17});
  CB_AutoSend =
      MakeCheckBox(Panel2, "CB_AutoSend", tr("自动发送(周期修改后重选)"), {8, 30, 169, 17});
  Label6 = MakeLabel(Panel2, "Label6", tr("自动发送周期"), 8, 54);
  Edt_Interval = Named(new QLineEdit(QStringLiteral("1000"), Panel2), "Edt_Interval");
  Edt_Interval->setGeometry(88, 48, 41, 20);
  Label7 = MakeLabel(Panel2, "Label7", tr("毫秒"), 136, 54);
  Btn_Send = MakeButton(Panel2, "Btn_Send", tr("手动发送"), {176, 8, 65, 25});
  Btn_OpenFile = MakeButton(Panel2, "Btn_OpenFile", tr("打开文件"), {176, 40, 65, 25});
  Btn_ClearMome = MakeButton(Panel2, "Btn_ClearMome", tr("清空发送"), {176, 72, 65, 25});
  Btn_About = MakeButton(Panel2, "Btn_About", tr("系统信息"), {8, 72, 65, 25});
  Btn_CountReset = MakeButton(Panel2, "Btn_CountReset", tr("计数复位"), {92, 72, 65, 25});

  SendMemo = MakeTextBox(Panel5, "SendMemo");
  CB_EnterSend = MakeCheckBox(Panel6, "CB_EnterSend", tr("回车发送数据"), {6, 5, 99, 17});
  CB_AddCenter = MakeCheckBox(Panel6, "CB_AddCenter", tr("发送后缀回车"), {112, 5, 97, 17});
  CB_ShowSend = MakeCheckBox(Panel6, "CB_ShowSend", tr("发送数据后清空发送区"), {217, 5, 144, 17});
}

void TMainForm::CreateStatusBarAndMenu() {
  StatusBar = Named(new TStatusBar({200, 120, 120, 50}, this), "StatusBar");

  PopupMenu1 = Named(new QMenu(this), "PopupMenu1");
  N6 = Named(PopupMenu1->addAction(tr("撤消(&z)")), "N6");
  N5 = Named(PopupMenu1->addSeparator(), "N5");
  N2 = Named(PopupMenu1->addAction(tr("剪切(&x)")), "N2");
  N1 = Named(PopupMenu1->addAction(tr("复制(&c)")), "N1");
  N3 = Named(PopupMenu1->addAction(tr("粘贴(&v)")), "N3");
  N4 = Named(PopupMenu1->addAction(tr("全选(&a)")), "N4");
  Memo_Show->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(Memo_Show, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu1->popup(Memo_Show->viewport()->mapToGlobal(at)); });
}

void TMainForm::CreateNonVisualMembers() {
  Timer_AutoSend = Named(new QTimer(this), "Timer_AutoSend");
  Timer_AutoSend->setInterval(1000);
  Timer_WatchState = Named(new QTimer(this), "Timer_WatchState");
  Timer_WatchState->setInterval(500);
  Timer_WatchState->start();

  SaveDialog1 = MakeFileDialog(this, "SaveDialog1", tr("保存为"), QFileDialog::AcceptSave);
  SaveDialog1->setOption(QFileDialog::DontConfirmOverwrite);
  OpenDialog1 = MakeFileDialog(this, "OpenDialog1", tr("打开"), QFileDialog::AcceptOpen);
  FindDialog1 = Named(new TFindDialog(this), "FindDialog1");
}

void TMainForm::ConnectHandlers() {
  connect(Btn_Reset, &QPushButton::clicked, this, Reported([this] { Btn_ResetClick(); }));
  for (TComboBox* combo : {CB_ComNum, CB_Baud, CB_Parity, CB_DataBits, CB_StopBits}) {
    connect(combo, &TComboBox::Select, this, Reported([this] { CB_ComNumSelect(); }));
  }
  connect(CB_ComNum, &QComboBox::currentIndexChanged, this, [this] { UpdatePortToolTip(); });
  ConnectTransferHandlers();
  ConnectViewTools();
}

void TMainForm::UpdatePortToolTip() {
  const int index = CB_ComNum->currentIndex();
  CB_ComNum->setToolTip(index < 0 ? QString() : PlatformText(platform::PortDescription(index + 1)));
}

void TMainForm::LayOutDockedGroups() {
  const int bottomTop = height() - StatusBarHeight - Panel1Height;
  StatusBar->setGeometry(0, height() - StatusBarHeight, width(), StatusBarHeight);
  Panel1->setGeometry(0, bottomTop, width(), Panel1Height);
  Panel2->setGeometry(0, 0, Panel2Width, Panel1Height);
  Panel5->setGeometry(Panel2Width, 0, width() - Panel2Width, Panel1Height);
  Panel6->setGeometry(0, Panel1Height - Panel6Height, Panel5->width(), Panel6Height);
  SendMemo->setGeometry(0, 0, Panel5->width(), Panel1Height - Panel6Height);
  Panel3->setGeometry(0, 0, Panel3Width, bottomTop);
  Panel4->setGeometry(0, 0, Panel3Width, Panel4Height);
}

void TMainForm::LayOutViews() {
  if (!Options.StretchViews) {
    Memo_Show->setGeometry(MemoShowBounds);
    re_dec->setGeometry(RegisterViewBounds);
    return;
  }
  // The one option that moves designed controls, and only when the user turns it on: the views
  // keep the design's gaps to the left column, between them, to the right edge, below the top
  // and above the send area, and share the rest of the width equally.
  const int between = RegisterViewBounds.left() - MemoShowBounds.left() - MemoShowBounds.width();
  const int rightGap = DesignWidth - RegisterViewBounds.left() - RegisterViewBounds.width();
  const int designSendTop = DesignHeight - StatusBarHeight - Panel1Height;
  const int sendTop = height() - StatusBarHeight - Panel1Height;
  const int shared = width() - MemoShowBounds.left() - between - rightGap;
  const auto stretched = [&](const QRect& design, int left, int width) {
    const int bottomGap = designSendTop - design.top() - design.height();
    return QRect(left, design.top(), width, sendTop - bottomGap - design.top());
  };
  const int memoWidth = shared / 2;
  Memo_Show->setGeometry(stretched(MemoShowBounds, MemoShowBounds.left(), memoWidth));
  re_dec->setGeometry(stretched(RegisterViewBounds, MemoShowBounds.left() + memoWidth + between,
                                shared - memoWidth));
}

void TMainForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  RunReported([this] { FormResize(); });
  LayOutDockedGroups();
  LayOutViews();
}

void TMainForm::FormResize() {
  if (width() < MinWidth) resize(MinWidth, height());
  if (height() < MinHeight) resize(width(), MinHeight);
}

}  // namespace talyx::app
