// Helpers for the tests of the rooms that stand without the main window.
#include "shelltesting.h"

#include <gtest/gtest.h>

#include "app/shell/application.h"

namespace talyx::testing {
namespace {

class ApplicationEnvironment : public ::testing::Environment {
 public:
  void Create() {
    if (app_) return;
    // ctest sets it; a test binary started by hand needs no display either.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = std::make_unique<app::TApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "talyx_app_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<app::TApplication> app_;
};

// Registered before the tests run, so that its TearDown runs after the last of them.
auto* const TheEnvironment = static_cast<ApplicationEnvironment*>(
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment));

}  // namespace

void EnsureApplication() { TheEnvironment->Create(); }

MessageRecorder::MessageRecorder() {
  previous_ = app::SetMessageBoxHook([this](const app::MessageRequest& request) {
    Texts.push_back(request.Text);
    InformativeTexts.push_back(request.InformativeText);
    return QMessageBox::Ok;
  });
}

MessageRecorder::~MessageRecorder() { app::SetMessageBoxHook(std::move(previous_)); }

}  // namespace talyx::testing
