// The headless demonstration's screenshot: a new file of the user's own with a name no one can
// foresee, in the runtime folder when there is one, else the temporary folder.
#include "app/shell/demo.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QString>
#include <filesystem>
#include <optional>

#include "apptesting.h"
#include "modbus/demodevice.h"

namespace talyx::testing {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable (or removes it, for nullopt) until it ends.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::optional<std::string>& value)
      : name_(name), saved_(qgetenv(name)), wasSet_(qEnvironmentVariableIsSet(name)) {
    if (value) {
      qputenv(name, QByteArray::fromStdString(*value));
    } else {
      qunsetenv(name);
    }
  }
  ~ScopedVariable() {
    if (wasSet_) {
      qputenv(name_, saved_);
    } else {
      qunsetenv(name_);
    }
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  QByteArray saved_;
  bool wasSet_;
};

class DemoTest : public MainFormTest {
 protected:
  // Runs the demonstration and returns the screenshot's path it printed.
  fs::path RunAndReadScreenshot() {
    ::testing::internal::CaptureStdout();
    const int code = app::RunDemo();
    const std::string output = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(code, 0) << output;
    const std::string label = "Screenshot: ";
    const size_t at = output.find(label);
    if (at == std::string::npos) return {};
    const size_t start = at + label.size();
    return output.substr(start, output.find('\n', start) - start);
  }

  // Lays a link to the victim under the name anyone can foresee: talyx-demo-<process id>.png.
  void LayLinkToVictim(const fs::path& directory) {
    fs::create_symlink(victim, directory / ("talyx-demo-" + std::to_string(getpid()) + ".png"));
  }

  void ExpectOwnPngIn(const fs::path& shot, const fs::path& directory) {
    SCOPED_TRACE(shot.string());
    EXPECT_EQ(shot.parent_path(), directory);
    struct stat status {};
    ASSERT_EQ(lstat(shot.c_str(), &status), 0);
    EXPECT_TRUE(S_ISREG(status.st_mode));
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_TRUE(ReadWholeFile(shot.string()).starts_with("\x89PNG\r\n\x1a\n"));
    EXPECT_TRUE(ReadWholeFile(victim.string()) == "victim") << "written through the link";
  }

  ScopedPortMap map{{{1, modbus::DemoDeviceName}}};
  fs::path runtime = folder.File("runtime");
  fs::path temporary = folder.File("tmp");
  fs::path victim = folder.File("victim");
};

TEST_F(DemoTest, TheScreenshotIsANewPrivateFileThatNoLaidLinkCanRedirect) {
  fs::create_directories(runtime);
  fs::create_directories(temporary);
  WriteWholeFile(victim.string(), "victim");
  LayLinkToVictim(runtime);
  LayLinkToVictim(temporary);
  const ScopedVariable tmpdir("TMPDIR", temporary.string());
  {
    const ScopedVariable xdg("XDG_RUNTIME_DIR", runtime.string());
    ExpectOwnPngIn(RunAndReadScreenshot(), runtime);
  }
  const ScopedVariable xdg("XDG_RUNTIME_DIR", std::nullopt);
  ExpectOwnPngIn(RunAndReadScreenshot(), temporary);
}

}  // namespace
}  // namespace talyx::testing
