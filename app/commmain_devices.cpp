// TMainForm: the device panel, the device watch and the port's loss event.
#include <QComboBox>

#include "app/combobox.h"
#include "app/commmain.h"
#include "app/devicewatch.h"
#include "app/statusbar.h"
#include "platform/portmap.h"

namespace talyx::app {

void TMainForm::CreateDeviceWatch() {
  StatusBar->AddFillPanel();
  DeviceWatch1 = new TDeviceWatch(ComPort1, true, this);
  DeviceWatch1->setObjectName(QStringLiteral("DeviceWatch1"));
  // No message box: the user may be away, and a box would hold up the reconnect.
  ComPort1.SetOnDeviceLost([this](TCustomComPort&) { DeviceWatch1->DeviceLost(); });
  connect(DeviceWatch1, &TDeviceWatch::StatusChanged, this, [this] { UpdateDevicePanel(); });
  connect(CB_ComNum, &QComboBox::currentIndexChanged, this, [this] { UpdateDevicePanel(); });
}

void TMainForm::UpdateDevicePanel() {
  QString text = DeviceWatch1->StatusText();
  if (text.isEmpty()) {
    const int index = CB_ComNum->currentIndex();
    if (index >= 0) text = QString::fromStdString(platform::PortDescription(index + 1));
  }
  StatusBar->SetPanelText(DevicePanel, text);
}

}  // namespace talyx::app
