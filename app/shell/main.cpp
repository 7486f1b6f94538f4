// The program: the application, the main window, the about box, the terminating signals and the
// event loop; with the one argument --demo, the headless demonstration instead.
#include <QDir>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "app/dialogs/about.h"
#include "app/shell/application.h"
#include "app/shell/demo.h"
#include "app/shell/language.h"
#include "app/shell/terminationsignals.h"
#include "app/window/commmain.h"
#include "modbus/demodevice.h"
#include "platform/networkprovider.h"
#include "platform/portmap.h"
#include "platform/termiosprovider.h"
#include "port/ui/portselection.h"

int main(int argc, char** argv) {
  using namespace talyx::app;
  const bool demo = argc == 2 && std::strcmp(argv[1], DemoArgument) == 0;
  // Before any thread starts, so that the signals are blocked in all of them.
  if (!demo) BlockTerminationSignals();
  // The demonstration needs no display: the window is drawn offscreen.
  if (demo) qputenv("QT_QPA_PLATFORM", "offscreen");
  // What a port-map value can name: a device path, the built-in demo device, a network port.
  talyx::platform::RegisterDeviceProvider(
      std::make_shared<talyx::platform::TermiosDeviceProvider>());
  talyx::platform::RegisterDeviceProvider(std::make_shared<talyx::modbus::DemoDeviceProvider>());
  talyx::platform::RegisterDeviceProvider(
      std::make_shared<talyx::platform::NetworkDeviceProvider>());
  // The machine's serial devices and the demo device get their numbers once, for the whole run.
  talyx::platform::InitDefaultPortMap();
  TApplication application(argc, argv);
  if (demo) return RunDemo();

  TSettingsFile settings = SettingsFileOfProgram(
      QCoreApplication::applicationFilePath().toStdString(),
      qEnvironmentVariable("XDG_CONFIG_HOME").toStdString(), QDir::homePath().toStdString());
  // The language before any window: every window takes its texts when it is made.
  if (!SetInterfaceLanguage(TAppOptions::Read(settings).Language)) {
    std::fprintf(
        stderr,
        "talyx: the English translation could not be loaded; the interface stays Chinese\n");
  }
  // A dialog without an owner, centred on the screen.
  talyx::InstallPortSelectionDialog(nullptr);
  TMainForm mainForm(std::move(settings));
  TAboutBox aboutBox;
  mainForm.SetAboutBox(&aboutBox);
  // SIGTERM, SIGHUP and SIGINT close the window as the user would.
  TTerminationSignals terminationSignals([&mainForm] { mainForm.EndFromOutside(); });
  mainForm.show();
  // A signal read in a dialog of the show (the port's opening) has ended the program already.
  if (terminationSignals.Received()) return 0;
  return application.exec();
}
