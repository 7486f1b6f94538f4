// TMainForm: the handlers of the receive and send paths, their connections, and the window as
// the paths see it (TReceiveWindow, TSendWindow).
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "app/devices/devicewatch.h"
#include "app/settings/convert.h"
#include "app/shell/application.h"
#include "app/shell/messagebox.h"
#include "app/view/receiveview.h"
#include "app/window/commmain.h"
#include "app/window/statusbar.h"

namespace talyx::app {

void TMainForm::ConnectTransferHandlers() {
  ComPort1.SetOnTrigger([this](TCustomComPort& CP, uint16_t Msg, uint16_t TriggerHandle,
                               uint16_t Data) { ComPort1Trigger(CP, Msg, TriggerHandle, Data); });
  connect(Btn_Send, &QPushButton::clicked, this, Reported([this] { Btn_SendClick(); }));
  connect(Timer_AutoSend, &QTimer::timeout, this, Reported([this] { Timer_AutoSendTimer(); }));
  // Toggled, not clicked: unchecking the box from code (a send that finds the port closed)
  // stops the timer too.
  connect(CB_AutoSend, &QCheckBox::toggled, this, Reported([this] { CB_AutoSendClick(); }));
  connect(Btn_OpenFile, &QPushButton::clicked, this, Reported([this] { Btn_OpenFileClick(); }));
  connect(Btn_ClearMome, &QPushButton::clicked, this, Reported([this] { Btn_ClearMomeClick(); }));
  // Queued: the rule may clear the view, which it must not do inside the view's own change.
  connect(
      Memo_Show, &TReceiveView::textChanged, this, [this] { Memo_ShowChange(); },
      Qt::QueuedConnection);
  Edt_Interval->installEventFilter(this);
  SendMemo->installEventFilter(this);
}

void TMainForm::ComPort1Trigger(TCustomComPort& CP, uint16_t Msg, uint16_t, uint16_t Data) {
  ReceivePath.Trigger(CP, Msg, Data);
}

void TMainForm::Memo_ShowChange() { ReceivePath.Memo_ShowChange(); }

void TMainForm::Btn_SendClick() { SendPath.Btn_SendClick(); }

void TMainForm::Timer_AutoSendTimer() { SendPath.Timer_AutoSendTimer(); }

void TMainForm::CB_AutoSendClick() { SendPath.CB_AutoSendClick(); }

bool TMainForm::Edt_IntervalKeyPress(const QKeyEvent& event) {
  return SendPath.Edt_IntervalKeyPress(event);
}

bool TMainForm::SendMemoKeyPress(const QKeyEvent& event) {
  return SendPath.SendMemoKeyPress(event);
}

void TMainForm::Btn_OpenFileClick() { SendPath.Btn_OpenFileClick(); }

void TMainForm::Btn_ClearMomeClick() { SendPath.Btn_ClearMomeClick(); }

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto& key = static_cast<const QKeyEvent&>(*event);
    bool discard = false;
    if (watched == Edt_Interval) {
      discard = Edt_IntervalKeyPress(key);
    } else if (watched == SendMemo) {
      discard = SendMemoKeyPress(key);
    }
    if (discard) return true;
  }
  return QWidget::eventFilter(watched, event);
}

// ---- TReceiveWindow ---------------------------------------------------------------------------

TReceiveView& TMainForm::ReceiveView() { return *Memo_Show; }

QPlainTextEdit& TMainForm::RegisterView() { return *re_dec; }

bool TMainForm::HexGet() const { return CB_HexGet->isChecked(); }

bool TMainForm::StopShow() const { return CB_StopShow->isChecked(); }

bool TMainForm::LineByLine() const { return CB_Show->isChecked(); }

bool TMainForm::AutoClear() const { return CB_Clear->isChecked(); }

formats::ReceiveLines::Options TMainForm::LineOptions() const {
  return {.Timestamps = Options.Timestamps,
          .FrameGap = Options.FrameGap,
          .FrameGapMs = static_cast<uint32_t>(Options.FrameGapMs)};
}

void TMainForm::ShowRecvCount(int32_t count) {
  StatusBar->SetPanelText(RecvPanel, tr("接收：%1").arg(count));
}

void TMainForm::ShowOlderTextDropped() {
  StatusBar->SetPanelText(DevicePanel, tr("接收区已满，较早的数据已丢弃"));
}

// ---- TSendWindow ------------------------------------------------------------------------------

QPlainTextEdit& TMainForm::SendBox() { return *SendMemo; }

QFileDialog& TMainForm::SendFileDialog() { return *OpenDialog1; }

bool TMainForm::HexSend() const { return CB_hexSend->isChecked(); }

bool TMainForm::AddCenter() const { return CB_AddCenter->isChecked(); }

bool TMainForm::ClearAfterSend() const { return CB_ShowSend->isChecked(); }

bool TMainForm::EnterSend() const { return CB_EnterSend->isChecked(); }

bool TMainForm::AutoSend() const { return CB_AutoSend->isChecked(); }

void TMainForm::UncheckAutoSend() { CB_AutoSend->setChecked(false); }

int32_t TMainForm::AutoSendInterval() const { return StrToInt(Edt_Interval->text()); }

QTimer& TMainForm::AutoSendTimer() { return *Timer_AutoSend; }

bool TMainForm::DeviceReturning() const { return DeviceWatch1->Pending(); }

void TMainForm::ClearViews() {
  ReceivePath.Display().Clear();
  re_dec->clear();
}

void TMainForm::ShowSendCount(int32_t count) {
  StatusBar->SetPanelText(SendPanel, tr("发送：%1").arg(count));
}

void TMainForm::ShowNotice(const QString& text) { ShowMessage(text); }

void TMainForm::ShowError(const std::exception& error) { ShowException(error); }

}  // namespace talyx::app
