// The offscreen application shared by the dialog tests.
#include "qttesting.h"

#include <memory>

namespace talyx::testing {
namespace {

class QtApplicationEnvironment : public ::testing::Environment {
 public:
  void Create() {
    if (app_) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "talyx_qt_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

// Registered before the tests run, so that its TearDown runs after the last of them.
auto* const TheEnvironment = static_cast<QtApplicationEnvironment*>(
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment));

}  // namespace

void EnsureQtApplication() { TheEnvironment->Create(); }

}  // namespace talyx::testing
