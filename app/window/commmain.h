// TMainForm: the terminal's main window, its controls, run-time state and port component.
//
// Principles of operation:
// - The window is built in code at its design positions (pixels at 96 dpi); every control
//   carries its own name as object name and is a public member under that name, so the
//   handlers in the other commmain_*.cpp files and the tests reach it directly.
// - Docked groups follow the window on every resize (LayOutDockedGroups): StatusBar along the
//   bottom edge, Panel1 above it, Panel3 down the left side above Panel1; inside them Panel2
//   left and Panel5 filling Panel1, Panel6 at the bottom of Panel5 under SendMemo, Panel4 at
//   the top of Panel3. Every other control keeps its design position and size, except that the
//   option StretchViews lets the two views follow the window (LayOutViews).
// - Creating the window restores it from the settings file (FormCreate); showing it resets the
//   counters and opens the port (FormShow); closing it writes the settings file (FormClose),
//   and so does a terminating signal (EndFromOutside).
//   The settings file is given at construction, so tests use files of their own.
// - Every handler is connected through Reported (application.h): an exception that leaves a
//   handler goes to the general error report and the window goes on.
// - The window holds the run-time state (TWindowState) and is the TReceiveWindow and the
//   TSendWindow through which its receive and send paths see it; the named handlers of those
//   paths stay here and hand their work to the paths.
// - Main thread only, like every Qt widget. The port component's events reach the window on
//   the main thread through the engine's message queue (qtbridge.h).
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>

#include "app/monitor/monitorhub.h"
#include "app/poller/pollerhub.h"
#include "app/receive/receivepath.h"
#include "app/receive/receivewindow.h"
#include "app/receive/windowstate.h"
#include "app/send/sendpath.h"
#include "app/send/sendwindow.h"
#include "app/settings/appoptions.h"
#include "app/settings/settingsfile.h"
#include "port/comport.h"

class QAction;
class QCheckBox;
class QFileDialog;
class QFrame;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace talyx::app {

class TAboutBox;
class TComboBox;
class TDeviceWatch;
class TOptionsDialog;
class TReceiveView;
class TPortMapDialog;
class TFindDialog;
class TShape;
class TStatusBar;

class TMainForm : public QWidget, public TWindowState, public TReceiveWindow, public TSendWindow {
  Q_OBJECT

 public:
  // The smallest window FormResize allows.
  static constexpr int MinWidth = 670;
  static constexpr int MinHeight = 490;
  // StatusBar's panels.
  static constexpr int DatePanel = 0;
  static constexpr int SendPanel = 1;
  static constexpr int RecvPanel = 2;
  static constexpr int VersionPanel = 3;
  // Right of the others, filling the rest: the port's device, its loss and its reconnect.
  static constexpr int DevicePanel = 4;

  // Builds the window and runs FormCreate with the given settings file.
  explicit TMainForm(TSettingsFile settings, QWidget* parent = nullptr);
  ~TMainForm() override;

  const TSettingsFile& Settings() const { return settings_; }
  // The about box that program start created (none until it is set).
  TAboutBox* AboutBox() const { return aboutBox_; }
  void SetAboutBox(TAboutBox* aboutBox) { aboutBox_ = aboutBox; }

  // ---- Controls ----------------------------------------------------------------------------
  QFrame* Panel1;  // bottom area
  QFrame* Panel2;  // send controls
  QFrame* Panel3;  // left column
  QFrame* Panel4;  // port settings
  QFrame* Panel5;  // send text
  QFrame* Panel6;  // send options

  QLabel* Label1;
  TComboBox* CB_ComNum;
  QLabel* Label2;
  TComboBox* CB_Baud;
  QLabel* Label4;
  TComboBox* CB_Parity;
  QLabel* Label5;
  TComboBox* CB_DataBits;
  QLabel* Label3;
  TComboBox* CB_StopBits;
  TShape* Shape_ComState;
  QPushButton* Btn_Reset;

  QPushButton* Btn_ClearView;
  QPushButton* Btn_SaveView;
  QCheckBox* CB_HexGet;
  QCheckBox* CB_StopShow;
  QCheckBox* CB_Clear;
  QCheckBox* CB_Show;

  TReceiveView* Memo_Show;  // the receive view
  QPlainTextEdit* re_dec;   // the register view

  QCheckBox* CB_hexSend;
  QCheckBox* CB_AutoSend;
  QLabel* Label6;
  QLineEdit* Edt_Interval;
  QLabel* Label7;
  QPushButton* Btn_Send;
  QPushButton* Btn_OpenFile;
  QPushButton* Btn_ClearMome;
  QPushButton* Btn_About;
  QPushButton* Btn_CountReset;

  QPlainTextEdit* SendMemo;  // the send box
  QCheckBox* CB_EnterSend;
  QCheckBox* CB_AddCenter;
  QCheckBox* CB_ShowSend;

  TStatusBar* StatusBar;

  QMenu* PopupMenu1;
  QAction* N6;
  QAction* N5;
  QAction* N2;
  QAction* N1;
  QAction* N3;
  QAction* N4;

  // ---- Non-visual members ---------------------------------------------------------------
  TComPort ComPort1;
  QTimer* Timer_AutoSend;
  QTimer* Timer_WatchState;
  QFileDialog* SaveDialog1;
  QFileDialog* OpenDialog1;
  TFindDialog* FindDialog1;
  // Notices a lost device and brings the port back when it returns (commmain_devices.cpp).
  TDeviceWatch* DeviceWatch1;
  // The menu of CB_ComNum and Shape_ComState, and its two items (also window shortcuts).
  QMenu* PortMenu;
  QAction* PortMapAction;  // Ctrl+M
  QAction* OptionsAction;  // Ctrl+Shift+O
  QAction* MonitorAction;  // Ctrl+Shift+M: the bus monitor
  QAction* CaptureAction;  // Ctrl+Shift+K: capture to file, checked while it runs
  QAction* PollerAction;   // Ctrl+Shift+P: the register poller
  // Created when first asked for.
  TPortMapDialog* PortMapDialog1 = nullptr;
  TOptionsDialog* OptionsDialog1 = nullptr;
  // The options of the section "options".
  TAppOptions Options;

  // The receive and send paths behind the handlers below (they use ComPort1, declared before).
  TReceivePath ReceivePath{*this, *this};
  TSendPath SendPath{*this, *this, ComPort1};
  // The bus monitor (it uses ComPort1 and ReceivePath, so it is destroyed before them).
  std::unique_ptr<TMonitorHub> MonitorHub;
  // The register poller (it uses the bus monitor's feed, so it is destroyed before it).
  std::unique_ptr<TPollerHub> PollerHub;

  // ---- Start-up, port settings and shutdown (commmain_startup.cpp) -----------------------
  void FormCreate();
  void FormShow();
  void FormClose();
  // The program is ended from outside (a terminating signal): message boxes go to standard
  // error from now on, the auto-send timer stops, running sends and open modal dialogs are
  // ended, and the window closes as by the user (FormClose, then the port closes with the
  // window).
  void EndFromOutside();
  void FormResize();
  // Applies the five port combo boxes to ComPort1 and reopens it.
  void ComPortInit();
  // Counters to 0 and their status panels to match.
  void InitDate();
  void Btn_ResetClick();
  // An item picked in any of the five port combo boxes.
  void CB_ComNumSelect();

  // ---- Receive and send paths (commmain_transfer.cpp) --------------------------------------
  void ComPort1Trigger(TCustomComPort& CP, uint16_t Msg, uint16_t TriggerHandle, uint16_t Data);
  // The auto-clear rule, after a change of the receive view has finished.
  void Memo_ShowChange();
  void Btn_SendClick();
  void Timer_AutoSendTimer();
  void CB_AutoSendClick();
  // Key handlers: true when the key is to be discarded.
  bool Edt_IntervalKeyPress(const QKeyEvent& event);
  bool SendMemoKeyPress(const QKeyEvent& event);
  void Btn_OpenFileClick();
  void Btn_ClearMomeClick();

  // ---- View tools, port watch and about box (commmain_viewtools.cpp) -----------------------
  // Empties the receive view and the register view; counters and decoding state stay.
  void Btn_ClearViewClick();
  // Saves the receive view as a Rich Text Format file chosen in SaveDialog1.
  void Btn_SaveViewClick();
  // Selects the next match of FindDialog1's text in the receive view.
  void FindDialog1Find();
  // A key pressed in the receive view, before the view handles it: F3 finds, Ctrl+F shows the
  // find dialog.
  void Memo_ShowKeyDown(int key, Qt::KeyboardModifiers shift);
  // PopupMenu1: undo, cut, copy, paste, select all in the receive view.
  void N6Click();
  void N2Click();
  void N1Click();
  void N3Click();
  void N4Click();
  void Btn_CountResetClick();
  // Shows the about box modally (one of the window's own when program start gave none).
  void Btn_AboutClick();
  // The port watch: state lamp, clock and version in the status bar.
  void Timer_WatchStateTimer();

  // ---- Devices that come and go (commmain_devices.cpp) ------------------------------------
  // The device panel: the last loss or reconnect, else what the chosen number opens.
  void UpdateDevicePanel();
  // Connects the chosen port's network server before its open, the window waiting busy.
  void ConnectNetworkPort();
  // Shows the port mapping dialog / the options dialog (window-modal, not waited for).
  void ShowPortMapDialog();
  void ShowOptionsDialog();
  // Starts or stops the capture to file with the options' folder, size and text log.
  void SetCapturing(bool on);
  // The iconv name of the character set of text receive, text send and plain-text loading.
  std::string TextCharset() const { return CharsetName(Options.Charset); }
  // Options changed (or read at start): the paths and the device watch follow them.
  void ApplyOptions();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // Typed keys of Edt_Interval and SendMemo go to their key handlers first.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // ---- TReceiveWindow and TSendWindow (commmain_transfer.cpp) -------------------------------
  TReceiveView& ReceiveView() override;
  QPlainTextEdit& RegisterView() override;
  bool HexGet() const override;
  bool StopShow() const override;
  bool LineByLine() const override;
  bool AutoClear() const override;
  formats::ReceiveLines::Options LineOptions() const override;
  void ShowRecvCount(int32_t count) override;
  void ShowOlderTextDropped() override;

  QPlainTextEdit& SendBox() override;
  QFileDialog& SendFileDialog() override;
  bool HexSend() const override;
  bool AddCenter() const override;
  bool ClearAfterSend() const override;
  bool EnterSend() const override;
  bool AutoSend() const override;
  void UncheckAutoSend() override;
  int32_t AutoSendInterval() const override;
  QTimer& AutoSendTimer() override;
  bool DeviceReturning() const override;
  void ClearViews() override;
  void ShowSendCount(int32_t count) override;
  void ShowNotice(const QString& text) override;
  void ShowError(const std::exception& error) override;

  void CreateControls();
  void CreatePortGroup();
  void CreateLeftColumn();
  void CreateViews();
  void CreateSendArea();
  void CreateStatusBarAndMenu();
  void CreateNonVisualMembers();
  void ConnectHandlers();
  void ConnectTransferHandlers();

  void ConnectViewTools();
  void LayOutDockedGroups();
  // The views at their design places, or following the window's size when the option
  // StretchViews is on.
  void LayOutViews();
  // CB_ComNum's tooltip describes the device its selected number opens.
  void UpdatePortToolTip();
  // The fifth status panel, the device watch and the port's loss event, the options, the
  // port menu and its shortcuts.
  void CreateDeviceFeatures();

  TSettingsFile settings_;
  TAboutBox* aboutBox_ = nullptr;
};

}  // namespace talyx::app
