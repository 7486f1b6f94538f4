// Reporting exceptions thrown by trigger handlers on the main thread.
#include "dispatch/handlerfailure.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/messagequeue.h"

namespace talyx {

namespace {

// The hook is installed on the main thread but read by whichever thread reports, so it is kept
// behind a mutex and copied out before it runs.
struct HookStore {
  std::mutex Mutex;
  std::shared_ptr<const HandlerFailureHook> Hook;
};

HookStore& Store() {
  static HookStore store;
  return store;
}

void Show(const std::exception_ptr& failure) {
  std::shared_ptr<const HandlerFailureHook> hook;
  {
    std::lock_guard lock(Store().Mutex);
    hook = Store().Hook;
  }
  if (hook) {
    (*hook)(failure);
  } else {
    std::fprintf(stderr, "TALYX: a trigger handler failed: %s\n", FailureText(failure).c_str());
  }
}

}  // namespace

HandlerFailureHook SetHandlerFailureHook(HandlerFailureHook hook) {
  auto next = hook ? std::make_shared<const HandlerFailureHook>(std::move(hook)) : nullptr;
  std::lock_guard lock(Store().Mutex);
  const auto previous = std::exchange(Store().Hook, std::move(next));
  return previous ? *previous : HandlerFailureHook();
}

void ReportHandlerFailure(std::exception_ptr failure) {
  if (platform::IsMainThread()) {
    Show(failure);
    return;
  }
  platform::PostToMainThread([failure] { Show(failure); });
}

std::string FailureText(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& error) {
    return error.what();
  } catch (...) {
    return "A handler failed with an exception of unknown type";
  }
}

}  // namespace talyx
