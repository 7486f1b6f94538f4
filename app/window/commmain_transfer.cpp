// TMainForm: the handlers of the receive and send paths, and their connections.
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "app/shell/application.h"
#include "app/window/commmain.h"
#include "app/view/receiveview.h"

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
      Memo_Show, &TReceiveView::textChanged, this, [this] { ReceivePath.Memo_ShowChange(); },
      Qt::QueuedConnection);
  Edt_Interval->installEventFilter(this);
  SendMemo->installEventFilter(this);
}

void TMainForm::ComPort1Trigger(TCustomComPort& CP, uint16_t Msg, uint16_t, uint16_t Data) {
  ReceivePath.Trigger(CP, Msg, Data);
}

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

}  // namespace talyx::app
