// Helpers for the port component's tests: the test thread as the main thread, a recording
// exception display and port chooser, a dispatcher that reports what the component told it, a
// temporary folder for trace and log files.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dispatch/devlayer.h"
#include "platform/event.h"
#include "port/apphooks.h"
#include "port/comport.h"

namespace talyx::testing {

// Binds the test thread as the main thread and runs its queue while waiting for a condition;
// between pumps it sleeps until something is queued or a few milliseconds passed.
class MainThreadLoop {
 public:
  MainThreadLoop();
  ~MainThreadLoop();
  MainThreadLoop(const MainThreadLoop&) = delete;
  MainThreadLoop& operator=(const MainThreadLoop&) = delete;

  // Pumps until done() holds; false when timeoutMs passed first.
  bool Until(const std::function<bool()>& done, int64_t timeoutMs = 10000);

 private:
  std::shared_ptr<platform::Event> wake_;
};

// Unassigns the ten trigger events. A test fixture calls it in TearDown, before its port is
// destroyed: the events a test assigned may refer to the test's own locals, which are gone by
// then, while destroying an open port still runs the messages queued for its window.
void ForgetTriggerEvents(TComPort& port);

// Installs an exception display that records the messages, and a port chooser that answers
// with Choice (counting its calls); both are put back when the recorder ends.
class AppHookRecorder {
 public:
  AppHookRecorder();
  ~AppHookRecorder();
  AppHookRecorder(const AppHookRecorder&) = delete;
  AppHookRecorder& operator=(const AppHookRecorder&) = delete;

  std::vector<std::string> Shown;
  int Choice = 0;
  int ChooserCalls = 0;

 private:
  ApplicationExceptionHook previousDisplay_;
  PortChooserHook previousChooser_;
};

// A Win32 dispatcher that writes to a journal what the component tells it about its window
// (UpdateHandlerFlags 1 and 2) and when it is destroyed. The journal belongs to the main thread.
class TJournalDispatcher : public TWin32Dispatcher {
 public:
  TJournalDispatcher(TCustomComPort* owner, std::unique_ptr<platform::SerialDevice> device,
                     std::vector<std::string>& journal);
  ~TJournalDispatcher() override;

  void UpdateHandlerFlags(uint8_t change) override;

 private:
  std::vector<std::string>& journal_;
};

// A folder under the system's temporary folder, removed with its files at the end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// While it lives, no file of this process may grow beyond `bytes`: a write past it fails with
// EFBIG (the signal it would raise is ignored meanwhile), as on a full disk.
class ScopedFileSizeLimit {
 public:
  explicit ScopedFileSizeLimit(uint64_t bytes);
  ~ScopedFileSizeLimit();
  ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
  ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

 private:
  uint64_t savedCurrent_ = 0;
  void (*savedHandler_)(int) = nullptr;
};

// The file's whole content; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);
bool FileExists(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& content);

}  // namespace talyx::testing
