// Helpers for the port component's tests.
#include "porttesting.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/messagequeue.h"

namespace talyx::testing {

namespace {

constexpr int64_t IdleWaitMs = 5;

}  // namespace

MainThreadLoop::MainThreadLoop() : wake_(std::make_shared<platform::Event>(false)) {
  platform::BindMainThread();
  platform::SetQueueWakeHook([wake = wake_] { wake->Set(); });
}

MainThreadLoop::~MainThreadLoop() {
  platform::SetQueueWakeHook(nullptr);
  // Messages left for windows that are gone by now are dropped with them; run what remains for
  // live ones, so that no test leaves work for the next.
  while (platform::PumpOneMessage()) {
  }
}

bool MainThreadLoop::Until(const std::function<bool()>& done, int64_t timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    if (!platform::PumpOneMessage()) platform::WaitForEvent(*wake_, IdleWaitMs);
  }
  return true;
}

AppHookRecorder::AppHookRecorder() {
  previousDisplay_ = SetApplicationExceptionHook(
      [this](const std::exception& error) { Shown.emplace_back(error.what()); });
  previousChooser_ = SetPortChooser([this] {
    ++ChooserCalls;
    return Choice;
  });
}

AppHookRecorder::~AppHookRecorder() {
  SetApplicationExceptionHook(std::move(previousDisplay_));
  SetPortChooser(std::move(previousChooser_));
}

TJournalDispatcher::TJournalDispatcher(TCustomComPort* owner,
                                       std::unique_ptr<platform::SerialDevice> device,
                                       std::vector<std::string>& journal)
    : TWin32Dispatcher(owner, std::move(device)), journal_(journal) {}

TJournalDispatcher::~TJournalDispatcher() {
  Destroy();
  journal_.push_back("destroyed");
}

void TJournalDispatcher::UpdateHandlerFlags(uint8_t change) {
  // Change 0 also comes from the dispatch thread; only the component's 1 and 2 are journalled.
  if (change != 0) journal_.push_back("flags " + std::to_string(change));
  TWin32Dispatcher::UpdateHandlerFlags(change);
}

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "talyx-port-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "no temporary folder";
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

ScopedFileSizeLimit::ScopedFileSizeLimit(uint64_t bytes) {
  rlimit limit{};
  if (getrlimit(RLIMIT_FSIZE, &limit) != 0) ADD_FAILURE() << "no file size limit to read";
  savedCurrent_ = limit.rlim_cur;
  savedHandler_ = signal(SIGXFSZ, SIG_IGN);
  limit.rlim_cur = bytes;
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0) ADD_FAILURE() << "the file size limit was refused";
}

ScopedFileSizeLimit::~ScopedFileSizeLimit() {
  rlimit limit{};
  getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = savedCurrent_;
  setrlimit(RLIMIT_FSIZE, &limit);
  signal(SIGXFSZ, savedHandler_);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

void WriteWholeFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

void ForgetTriggerEvents(TComPort& port) {
  port.SetOnTrigger(nullptr);
  port.SetOnTriggerAvail(nullptr);
  port.SetOnTriggerData(nullptr);
  port.SetOnTriggerStatus(nullptr);
  port.SetOnTriggerTimer(nullptr);
  port.SetOnTriggerLineError(nullptr);
  port.SetOnTriggerModemStatus(nullptr);
  port.SetOnTriggerOutbuffFree(nullptr);
  port.SetOnTriggerOutbuffUsed(nullptr);
  port.SetOnTriggerOutSent(nullptr);
}

}  // namespace talyx::testing
