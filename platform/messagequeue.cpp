// The main thread's message queue: windows, queue entries, hand-offs and the pump.
#include "platform/messagequeue.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace talyx::platform {

namespace {

enum class HandOffState { Queued, Running, Done, Failed };

// A send or call that a thread has handed to the main thread and waits for.
struct HandOff {
  std::condition_variable Finished;
  HandOffState State = HandOffState::Queued;
  LResult Result = 0;
  std::exception_ptr Error;
  std::thread::id Sender;  // the thread that waits
};

struct Window {
  std::string ClassName;
  WindowProc Proc;
};

enum class EntryKind { Post, Send, Call, PostedCall };

struct Entry {
  EntryKind Kind;
  WindowHandle Target = 0;
  uint32_t Msg = 0;
  WParam W = 0;
  LParam L = 0;
  std::shared_ptr<HandOff> Waiter;  // Send and Call
  std::function<void()> Call;       // Call and PostedCall
};

struct QueueState {
  std::mutex Mutex;
  bool MainBound = false;
  std::thread::id MainThread;
  std::map<WindowHandle, std::shared_ptr<const Window>> Windows;
  WindowHandle LastHandle = 0;
  std::deque<Entry> Entries;
  bool QuitPending = false;
  int QuitCode = 0;
  std::shared_ptr<const std::function<void()>> WakeHook;
  // The senders of the sends and calls the main thread is running, innermost last.
  std::vector<std::thread::id> Serving;
};

QueueState& State() {
  static QueueState state;
  return state;
}

// With the mutex held: whether the caller should run a send or call itself.
bool RunsDirectly(const QueueState& state) {
  return !state.MainBound || state.MainThread == std::this_thread::get_id();
}

// Where RunsDirectly holds, releases the lock and runs fn on this thread (true); else leaves
// the lock held (false).
bool RanDirectly(const QueueState& state, std::unique_lock<std::mutex>& lock,
                 const std::function<void()>& fn) {
  if (!RunsDirectly(state)) return false;
  lock.unlock();
  fn();
  return true;
}

// Queues an entry and wakes the main thread's loop. Takes the lock's mutex as held and leaves it
// held; the hook runs while it is released.
void Enqueue(QueueState& state, std::unique_lock<std::mutex>& lock, Entry entry) {
  state.Entries.push_back(std::move(entry));
  const auto hook = state.WakeHook;
  if (hook) {
    lock.unlock();
    (*hook)();
    lock.lock();
  }
}

// Finishes a hand-off when the main thread's run of it ends, also when the run throws, so its
// sender never waits forever.
class HandOffCompletion {
 public:
  explicit HandOffCompletion(std::shared_ptr<HandOff> waiter) : waiter_(std::move(waiter)) {}
  HandOffCompletion(const HandOffCompletion&) = delete;
  HandOffCompletion& operator=(const HandOffCompletion&) = delete;
  ~HandOffCompletion() {
    QueueState& state = State();
    std::lock_guard lock(state.Mutex);
    waiter_->State = succeeded_ ? HandOffState::Done : HandOffState::Failed;
    waiter_->Result = result_;
    waiter_->Error = error_;
    waiter_->Finished.notify_all();
  }
  void Succeed(LResult result) {
    result_ = result;
    succeeded_ = true;
  }
  void Fail(std::exception_ptr error) { error_ = std::move(error); }

 private:
  std::shared_ptr<HandOff> waiter_;
  LResult result_ = 0;
  bool succeeded_ = false;
  std::exception_ptr error_;
};

}  // namespace

void BindMainThread() {
  QueueState& state = State();
  std::lock_guard lock(state.Mutex);
  state.MainBound = true;
  state.MainThread = std::this_thread::get_id();
}

bool IsMainThread() {
  QueueState& state = State();
  std::lock_guard lock(state.Mutex);
  return state.MainBound && state.MainThread == std::this_thread::get_id();
}

WindowHandle CreateHiddenWindow(const std::string& className, WindowProc proc) {
  if (!proc) return 0;
  QueueState& state = State();
  std::lock_guard lock(state.Mutex);
  // Handles count up and skip 0 and any still in use when they wrap.
  WindowHandle handle = state.LastHandle;
  do {
    handle = handle == INT32_MAX ? 1 : handle + 1;
  } while (state.Windows.count(handle) != 0);
  state.LastHandle = handle;
  state.Windows[handle] = std::make_shared<const Window>(Window{className, std::move(proc)});
  return handle;
}

bool DestroyHiddenWindow(WindowHandle window) {
  QueueState& state = State();
  std::lock_guard lock(state.Mutex);
  if (state.Windows.erase(window) == 0) return false;
  for (auto entry = state.Entries.begin(); entry != state.Entries.end();) {
    if (entry->Kind == EntryKind::Call || entry->Kind == EntryKind::PostedCall ||
        entry->Target != window) {
      ++entry;
      continue;
    }
    if (entry->Kind == EntryKind::Send) {
      entry->Waiter->State = HandOffState::Failed;
      entry->Waiter->Finished.notify_all();
    }
    entry = state.Entries.erase(entry);
  }
  return true;
}

bool IsWindow(WindowHandle window) {
  QueueState& state = State();
  std::lock_guard lock(state.Mutex);
  return state.Windows.count(window) != 0;
}

bool PostMessage(WindowHandle window, uint32_t msg, WParam wParam, LParam lParam) {
  QueueState& state = State();
  std::unique_lock lock(state.Mutex);
  if (state.Windows.count(window) == 0) return false;
  Enqueue(state, lock, Entry{EntryKind::Post, window, msg, wParam, lParam, nullptr, nullptr});
  return true;
}

bool SendMessageTimeout(WindowHandle window, uint32_t msg, WParam wParam, LParam lParam,
                        uint32_t timeoutMs, LResult* result) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  QueueState& state = State();
  std::unique_lock lock(state.Mutex);
  const auto found = state.Windows.find(window);
  if (found == state.Windows.end()) return false;

  if (RunsDirectly(state)) {
    const std::shared_ptr<const Window> target = found->second;
    lock.unlock();
    const LResult value = target->Proc(window, msg, wParam, lParam);
    if (result) *result = value;
    return true;
  }

  auto waiter = std::make_shared<HandOff>();
  waiter->Sender = std::this_thread::get_id();
  Enqueue(state, lock, Entry{EntryKind::Send, window, msg, wParam, lParam, waiter, nullptr});
  waiter->Finished.wait_until(lock, deadline,
                              [&] { return waiter->State != HandOffState::Queued; });
  if (waiter->State == HandOffState::Queued) {
    // Not started in time: withdrawn, so it never runs later.
    for (auto entry = state.Entries.begin(); entry != state.Entries.end(); ++entry) {
      if (entry->Waiter == waiter) {
        state.Entries.erase(entry);
        break;
      }
    }
    return false;
  }
  waiter->Finished.wait(lock, [&] { return waiter->State != HandOffState::Running; });
  if (waiter->State != HandOffState::Done) return false;
  if (result) *result = waiter->Result;
  return true;
}

bool PumpOneMessage() {
  QueueState& state = State();
  std::unique_lock lock(state.Mutex);
  if (!state.MainBound || state.MainThread != std::this_thread::get_id()) return false;
  // With nothing else queued, a quit request is what the pump finds; it stays queued.
  if (state.Entries.empty()) return false;

  Entry entry = std::move(state.Entries.front());
  state.Entries.pop_front();
  if (entry.Kind == EntryKind::PostedCall) {
    lock.unlock();
    entry.Call();
    return true;
  }
  std::shared_ptr<const Window> target;
  if (entry.Kind != EntryKind::Call) {
    // Destroying a window removes its entries, so the window of a queued entry exists.
    target = state.Windows.at(entry.Target);
  }
  if (entry.Kind == EntryKind::Post) {
    lock.unlock();
    target->Proc(entry.Target, entry.Msg, entry.W, entry.L);
    return true;
  }

  entry.Waiter->State = HandOffState::Running;
  state.Serving.push_back(entry.Waiter->Sender);
  lock.unlock();
  HandOffCompletion completion(entry.Waiter);
  // Declared after the completion: the sender is no longer served when it is released.
  struct ServingScope {
    QueueState& state;
    ~ServingScope() {
      std::lock_guard guard(state.Mutex);
      state.Serving.pop_back();
    }
  } serving{state};
  if (entry.Kind == EntryKind::Send) {
    completion.Succeed(target->Proc(entry.Target, entry.Msg, entry.W, entry.L));
    return true;
  }
  try {
    entry.Call();
    completion.Succeed(0);
  } catch (...) {
    completion.Fail(std::current_exception());
  }
  return true;
}

void PostQuitMessage(int exitCode) {
  QueueState& state = State();
  std::unique_lock lock(state.Mutex);
  state.QuitPending = true;
  state.QuitCode = exitCode;
  const auto hook = state.WakeHook;
  lock.unlock();
  if (hook) (*hook)();
}

bool QuitRequested(int* exitCode) {
  QueueState& state = State();
  std::lock_guard lock(state.Mutex);
  if (state.QuitPending && exitCode) *exitCode = state.QuitCode;
  return state.QuitPending;
}

bool TakeQuitMessage(int* exitCode) {
  QueueState& state = State();
  std::lock_guard lock(state.Mutex);
  if (!state.QuitPending) return false;
  if (exitCode) *exitCode = state.QuitCode;
  state.QuitPending = false;
  return true;
}

void CallInMainThread(const std::function<void()>& fn) {
  QueueState& state = State();
  std::unique_lock lock(state.Mutex);
  if (RanDirectly(state, lock, fn)) return;
  auto waiter = std::make_shared<HandOff>();
  waiter->Sender = std::this_thread::get_id();
  Enqueue(state, lock, Entry{EntryKind::Call, 0, 0, 0, 0, waiter, fn});
  waiter->Finished.wait(lock, [&] {
    return waiter->State == HandOffState::Done || waiter->State == HandOffState::Failed;
  });
  if (waiter->Error) std::rethrow_exception(waiter->Error);
}

bool ServingHandOffFrom(std::thread::id sender) {
  QueueState& state = State();
  std::lock_guard lock(state.Mutex);
  return std::find(state.Serving.begin(), state.Serving.end(), sender) != state.Serving.end();
}

void PostToMainThread(std::function<void()> fn) {
  QueueState& state = State();
  std::unique_lock lock(state.Mutex);
  if (RanDirectly(state, lock, fn)) return;
  Enqueue(state, lock, Entry{EntryKind::PostedCall, 0, 0, 0, 0, nullptr, std::move(fn)});
}

void SetQueueWakeHook(std::function<void()> hook) {
  QueueState& state = State();
  std::lock_guard lock(state.Mutex);
  state.WakeHook = hook ? std::make_shared<const std::function<void()>>(std::move(hook)) : nullptr;
}

}  // namespace talyx::platform
