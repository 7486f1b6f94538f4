// Helpers for the window tests: recorded port choices, and a main window on a settings file of the
// test's own, shown with its port open.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/window/combobox.h"
#include "app/window/commmain.h"
#include "modbus/demodevice.h"
#include "platform/termiosprovider.h"
#include "port/apphooks.h"
#include "port/porttesting.h"
#include "shelltesting.h"
#include "support/ptypair.h"
#include "support/scopedproviders.h"

namespace talyx::testing {

// Answers every request for a port with a refusal and counts them, until it ends.
class ChooserRecorder {
 public:
  ChooserRecorder();
  ~ChooserRecorder();
  ChooserRecorder(const ChooserRecorder&) = delete;
  ChooserRecorder& operator=(const ChooserRecorder&) = delete;

  int Calls = 0;

 private:
  PortChooserHook previous_;
};

// A test of the main window: the application, the program's device providers, a temporary
// folder for its settings file, and recorded message boxes and port choices.
class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override { EnsureApplication(); }

  std::string SettingsPath() const { return folder.File("talyx.INI"); }
  void WriteSettings(const std::string& content) { WriteWholeFile(SettingsPath(), content); }
  std::unique_ptr<app::TMainForm> CreateForm() {
    return std::make_unique<app::TMainForm>(app::TSettingsFile(SettingsPath()));
  }

  ScopedDeviceProviders providers{{std::make_shared<platform::TermiosDeviceProvider>(),
                                   std::make_shared<modbus::DemoDeviceProvider>()}};
  TempFolder folder;
  MessageRecorder messages;
  ChooserRecorder chooser;
};

// A main window shown with its port open on COM1, a pseudo-terminal whose far end the test
// drives.
class OpenFormTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    form = CreateForm();
    form->show();
    ASSERT_TRUE(form->ComPort1.Open());
  }
  void TearDown() override { form.reset(); }

  PtyPair pty;
  ScopedPortMap map{{{1, pty.SlavePath()}}};
  std::unique_ptr<app::TMainForm> form;
};

}  // namespace talyx::testing
