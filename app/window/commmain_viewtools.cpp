// TMainForm: clearing, saving and searching the views, the popup menu, the counter reset, the
// port watch and the about box.
#include <QAction>
#include <QFileDialog>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "app/dialogs/about.h"
#include "app/dialogs/finddialog.h"
#include "app/shell/application.h"
#include "app/shell/messagebox.h"
#include "app/view/receiveview.h"
#include "app/view/viewfile.h"
#include "app/view/viewtools.h"
#include "app/window/commmain.h"
#include "app/window/portwatch.h"
#include "app/window/shape.h"
#include "app/window/statusbar.h"

namespace talyx::app {

void TMainForm::ConnectViewTools() {
  connect(Btn_ClearView, &QPushButton::clicked, this, Reported([this] { Btn_ClearViewClick(); }));
  connect(Btn_SaveView, &QPushButton::clicked, this, Reported([this] { Btn_SaveViewClick(); }));
  connect(Btn_CountReset, &QPushButton::clicked, this, Reported([this] { Btn_CountResetClick(); }));
  connect(Btn_About, &QPushButton::clicked, this, Reported([this] { Btn_AboutClick(); }));
  connect(FindDialog1, &TFindDialog::Find, this, Reported([this] { FindDialog1Find(); }));
  // What the receive path gathered is in the view before the user's keys and clicks reach it.
  ReceivePath.Display().WatchView(Memo_Show);
  WatchKeyDown(Memo_Show, [this](const QKeyEvent& key) {
    RunReported([&] { Memo_ShowKeyDown(key.key(), key.modifiers()); });
  });
  connect(N6, &QAction::triggered, this, Reported([this] { N6Click(); }));
  connect(N2, &QAction::triggered, this, Reported([this] { N2Click(); }));
  connect(N1, &QAction::triggered, this, Reported([this] { N1Click(); }));
  connect(N3, &QAction::triggered, this, Reported([this] { N3Click(); }));
  connect(N4, &QAction::triggered, this, Reported([this] { N4Click(); }));
  connect(Timer_WatchState, &QTimer::timeout, this, Reported([this] { Timer_WatchStateTimer(); }));
}

void TMainForm::Btn_ClearViewClick() {
  ReceivePath.Display().Clear();
  re_dec->clear();
}

void TMainForm::Btn_SaveViewClick() {
  if (SaveDialog1->exec() != QDialog::Accepted) return;
  const QStringList chosen = SaveDialog1->selectedFiles();
  if (chosen.isEmpty()) return;
  ReceivePath.Display().Flush();
  SaveViewFile(chosen.first(), Memo_Show->toPlainText());
}

void TMainForm::FindDialog1Find() {
  ReceivePath.Display().Flush();
  if (FindNext(Memo_Show, FindDialog1->FindText())) return;
  ShowMessage(tr("没有查到相应数据。"));
  // The next search starts from the top.
  Memo_Show->SetCursorPosition(0);
}

void TMainForm::Memo_ShowKeyDown(int key, Qt::KeyboardModifiers shift) {
  constexpr Qt::KeyboardModifiers Held =
      Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
  if (key == Qt::Key_F3) {
    FindDialog1Find();
  } else if (key == Qt::Key_F && (shift & Held) == Qt::ControlModifier) {
    FindDialog1->show();
    FindDialog1->raise();
    FindDialog1->activateWindow();
  }
}

void TMainForm::N6Click() {
  ReceivePath.Display().Flush();
  Memo_Show->undo();
}

void TMainForm::N2Click() {
  ReceivePath.Display().Flush();
  Memo_Show->cut();
}

void TMainForm::N1Click() {
  ReceivePath.Display().Flush();
  Memo_Show->copy();
}

void TMainForm::N3Click() {
  ReceivePath.Display().Flush();
  Memo_Show->paste();
}

void TMainForm::N4Click() {
  ReceivePath.Display().Flush();
  Memo_Show->selectAll();
}

void TMainForm::Btn_CountResetClick() { InitDate(); }

void TMainForm::Btn_AboutClick() {
  if (!aboutBox_) aboutBox_ = new TAboutBox(this);
  aboutBox_->exec();
}

void TMainForm::Timer_WatchStateTimer() {
  Shape_ComState->SetBrushColor(LampColor(ComPort1.Open()));
  // QLocale(): the system's locale, unless the program chose another default.
  StatusBar->SetPanelText(DatePanel, WatchClockText(QDateTime::currentDateTime(), QLocale()));
  StatusBar->SetPanelText(VersionPanel, VersionText());
}

}  // namespace talyx::app
