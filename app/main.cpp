// The program: the application, the main window, the about box and the event loop.
#include <QDir>

#include "app/about.h"
#include "app/application.h"
#include "app/commmain.h"
#include "platform/portmap.h"
#include "port/ui/portselection.h"

int main(int argc, char** argv) {
  using namespace talyx::app;
  // The machine's serial devices and the demo device get their numbers once, for the whole run.
  talyx::platform::InitDefaultPortMap();
  TApplication application(argc, argv);
  // A dialog without an owner, centred on the screen.
  talyx::InstallPortSelectionDialog(nullptr);
  TMainForm mainForm(SettingsFileOfProgram(QCoreApplication::applicationFilePath().toStdString(),
                                           qEnvironmentVariable("XDG_CONFIG_HOME").toStdString(),
                                           QDir::homePath().toStdString()));
  TAboutBox aboutBox;
  mainForm.SetAboutBox(&aboutBox);
  mainForm.show();
  return application.exec();
}
