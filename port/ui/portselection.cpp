// InstallPortSelectionDialog: the selection dialog as the port component's chooser.
#include "port/ui/portselection.h"

#include <QPointer>
#include <QWidget>

#include "platform/portmap.h"
#include "port/apphooks.h"
#include "port/ui/comselectform.h"

namespace talyx {

void InstallPortSelectionDialog(QWidget* owner) {
  SetPortChooser([owner = QPointer<QWidget>(owner)] {
    // Adapters plugged in since the start get their numbers before the list is made.
    platform::AddNewSerialDevices();
    return ChoosePortWithDialog(platform::IsPortAvailable, owner.data());
  });
}

}  // namespace talyx
