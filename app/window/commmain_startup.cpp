// TMainForm: start-up from the settings file, applying the port settings, counters, shutdown.
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QShowEvent>
#include <QTimer>
#include <chrono>
#include <thread>

#include "app/devices/devicewatch.h"
#include "app/devices/platformtext.h"
#include "app/settings/convert.h"
#include "app/shell/application.h"
#include "app/shell/messagebox.h"
#include "app/window/combobox.h"
#include "app/window/commmain.h"
#include "app/window/shape.h"
#include "app/window/statusbar.h"
#include "errors/commerror.h"
#include "platform/devicediagnosis.h"
#include "platform/platformerror.h"
#include "platform/portmap.h"

namespace talyx::app {

namespace {

constexpr const char* FormSection = "Form";
constexpr const char* ParameterSection = "parameter";
constexpr const char* PortsSection = "ports";

// CB_Parity's items in list order: pEven, pMark, pNone, pOdd, pSpace.
constexpr TParity ParityOfItem[] = {TParity::pEven, TParity::pMark, TParity::pNone, TParity::pOdd,
                                    TParity::pSpace};

// Selects the item with that index; an index outside the list leaves no selection and an empty
// text.
void SelectItem(QComboBox* combo, int index) {
  if (index >= 0 && index < combo->count()) {
    combo->setCurrentIndex(index);
  } else {
    combo->setCurrentIndex(-1);
    combo->setEditText(QString());
  }
}

// A combo box text read as a Word setting; a number outside 0..65535 cannot be one.
uint16_t WordOf(const QComboBox* combo) {
  const int32_t value = StrToInt(combo->currentText());
  if (value < 0 || value > 0xFFFF) throw NotAnIntegerError(combo->currentText());
  return static_cast<uint16_t>(value);
}

// Rejects every open modal dialog, innermost first; their event loops return once the caller
// hands control back to them. One that stays open when asked is left as it is.
void EndModalDialogs() {
  QWidget* asked = nullptr;
  while (QWidget* modal = QApplication::activeModalWidget()) {
    if (modal == asked) break;
    asked = modal;
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->reject();
    } else {
      modal->close();
    }
  }
}

// The platform error number behind a failed open (the component turned 5 into EAlreadyOpen and 2
// and 3 into EBadId); 0 for a failure that is not the device's.
int PlatformErrorOf(const std::exception& error) {
  if (dynamic_cast<const EAlreadyOpen*>(&error) != nullptr) return platform::PeAccessDenied;
  if (dynamic_cast<const EBadId*>(&error) != nullptr) return platform::PeFileNotFound;
  if (const auto* io = dynamic_cast<const EInOutError*>(&error)) return io->ErrorCode;
  return 0;
}

// Why port number's device failed to open with error, and what mends it; "" when that is not
// the device's fault. The device is looked at, never opened again.
QString OpenFailureCause(int number, const std::exception& error) {
  const int platformError = PlatformErrorOf(error);
  if (platformError == 0) return {};
  const std::string value = platform::PortDevicePath(number);
  QString device = QStringLiteral("COM%1").arg(number);
  if (!value.empty()) device += QLatin1Char(' ') + QString::fromStdString(value);
  return OpenFailureText(platform::DiagnoseOpenFailure(value, platformError), device);
}

}  // namespace

void TMainForm::FormCreate() {
  // One reading: the keys come from one version of the file, even while another window writes.
  const TSettingsSnapshot ini = settings_.Read();
  move(ini.ReadInteger(FormSection, "Left", 100), ini.ReadInteger(FormSection, "Top", 100));
  resize(ini.ReadInteger(FormSection, "Width", 500), ini.ReadInteger(FormSection, "Height", 300));
  FormResize();
  setWindowTitle(QString::fromStdString(
      ini.ReadString(FormSection, "Caption", tr("串口通讯控制器").toStdString())));

  CB_HexGet->setChecked(ini.ReadBool(ParameterSection, "HexGet", false));
  CB_StopShow->setChecked(ini.ReadBool(ParameterSection, "StopShow", false));
  CB_Clear->setChecked(ini.ReadBool(ParameterSection, "Clear", true));
  CB_Show->setChecked(ini.ReadBool(ParameterSection, "Show", false));
  CB_hexSend->setChecked(ini.ReadBool(ParameterSection, "hexSend", false));
  CB_EnterSend->setChecked(ini.ReadBool(ParameterSection, "EnterSend", false));
  CB_AddCenter->setChecked(ini.ReadBool(ParameterSection, "AddCenter", false));
  CB_ShowSend->setChecked(ini.ReadBool(ParameterSection, "ShowSend", false));

  // The devices the port numbers open, before anything shows or opens one.
  platform::ApplyPortsSection(ini.ReadSection(PortsSection));

  SelectItem(CB_ComNum, ini.ReadInteger(ParameterSection, "ComNum", 0));
  SelectItem(CB_Baud, ini.ReadInteger(ParameterSection, "Baud", 6));
  SelectItem(CB_Parity, ini.ReadInteger(ParameterSection, "Parity", 2));
  SelectItem(CB_DataBits, ini.ReadInteger(ParameterSection, "DataBits", 3));
  SelectItem(CB_StopBits, ini.ReadInteger(ParameterSection, "StopBits", 0));
  UpdatePortToolTip();

  // Shutdown writes Interval and InitMax under "parameter"; they are read from there first so
  // that they come back, and from "Form" (where older files keep them) otherwise.
  const int32_t interval =
      ini.ReadInteger(ParameterSection, "Interval", ini.ReadInteger(FormSection, "Interval", 1000));
  Edt_Interval->setText(QString::number(interval));
  const bool maximized =
      ini.ReadBool(ParameterSection, "InitMax", ini.ReadBool(FormSection, "InitMax", false));
  setWindowState(maximized ? Qt::WindowMaximized : Qt::WindowNoState);
}

void TMainForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // A window coming back from the task bar is not being shown anew.
  if (!event->spontaneous()) RunReported([this] { FormShow(); });
}

void TMainForm::FormShow() {
  setWindowTitle(ApplicationTitleText());
  InitDate();
  ComPortInit();
}

void TMainForm::ComPortInit() {
  // Reset and another port chosen both come here: either ends a pending reconnect.
  DeviceWatch1->Cancel();
  UpdateDevicePanel();
  try {
    ComPort1.SetOpen(false);
    Shape_ComState->SetBrushColor(QColor(255, 0, 0));
    // A plain sleep, not a local event loop: handling events here could start a second
    // ComPortInit inside this one.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ComPort1.SetComNumber(static_cast<uint16_t>(CB_ComNum->currentIndex() + 1));
    ComPort1.SetBaud(StrToInt(CB_Baud->currentText()));
    const int parityItem = CB_Parity->currentIndex();
    ComPort1.SetParity(parityItem < 0 ? TParity::pNone : ParityOfItem[parityItem]);
    ComPort1.SetDataBits(WordOf(CB_DataBits));
    ComPort1.SetStopBits(WordOf(CB_StopBits));
    ConnectNetworkPort();
    ComPort1.SetOpen(true);
  } catch (const std::exception& error) {
    // The box keeps its one text; the cause goes below it and into the device panel.
    const QString cause = OpenFailureCause(ComPort1.ComNumber(), error);
    if (!cause.isEmpty()) StatusBar->SetPanelText(DevicePanel, cause);
    ShowMessage(MessageRequest{tr("串口不存在或被占用。"), MessageKind::Information,
                               QMessageBox::Ok, cause});
  }
}

void TMainForm::InitDate() {
  // A receive count still gathered would otherwise be written over the reset one.
  ReceivePath.Display().Flush();
  RecvCount = 0;
  SendCount = 0;
  StatusBar->SetPanelText(SendPanel, tr("发送：%1").arg(0));
  StatusBar->SetPanelText(RecvPanel, tr("接收：%1").arg(0));
}

void TMainForm::Btn_ResetClick() { ComPortInit(); }

void TMainForm::CB_ComNumSelect() { ComPortInit(); }

void TMainForm::closeEvent(QCloseEvent* event) {
  ReceivePath.Display().Flush();
  // A failed write is reported and the window closes all the same.
  RunReported([this] { FormClose(); });
  // A send waiting for output room ends here and uses nothing of the window any more.
  SendPath.Stop();
  event->accept();
}

void TMainForm::EndFromOutside() {
  SetMessagesToStandardError(true);
  Timer_AutoSend->stop();
  SendPath.Stop();
  EndModalDialogs();
  close();
}

void TMainForm::FormClose() {
  TSettingsFile& ini = settings_;
  ini.WriteInteger(FormSection, "Top", y());
  ini.WriteInteger(FormSection, "Left", x());
  ini.WriteInteger(FormSection, "Width", width());
  ini.WriteInteger(FormSection, "Height", height());
  ini.WriteString(FormSection, "Caption", windowTitle().toStdString());

  ini.WriteBool(ParameterSection, "InitMax", isMaximized());
  ini.WriteBool(ParameterSection, "HexGet", CB_HexGet->isChecked());
  ini.WriteBool(ParameterSection, "EnterSend", CB_EnterSend->isChecked());
  ini.WriteBool(ParameterSection, "AddCenter", CB_AddCenter->isChecked());
  ini.WriteBool(ParameterSection, "ShowSend", CB_ShowSend->isChecked());
  ini.WriteBool(ParameterSection, "StopShow", CB_StopShow->isChecked());
  ini.WriteBool(ParameterSection, "Clear", CB_Clear->isChecked());
  ini.WriteBool(ParameterSection, "Show", CB_Show->isChecked());
  ini.WriteBool(ParameterSection, "hexSend", CB_hexSend->isChecked());

  ini.WriteInteger(ParameterSection, "Interval", StrToInt(Edt_Interval->text()));

  ini.WriteInteger(ParameterSection, "ComNum", CB_ComNum->currentIndex());
  ini.WriteInteger(ParameterSection, "Baud", CB_Baud->currentIndex());
  ini.WriteInteger(ParameterSection, "Parity", CB_Parity->currentIndex());
  ini.WriteInteger(ParameterSection, "DataBits", CB_DataBits->currentIndex());
  ini.WriteInteger(ParameterSection, "StopBits", CB_StopBits->currentIndex());
}

}  // namespace talyx::app
