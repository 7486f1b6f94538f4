// Freeing a handed-over dispatcher on the main thread once its worker threads have ended.
#include "dispatch/deferredrelease.h"

#include <utility>

#include "platform/messagequeue.h"

namespace talyx {

namespace {

// The release window's own message: look whether the threads have ended.
constexpr uint32_t ReleaseCheckMsg = 0x7E10;
// How long one look waits for the threads' end before it asks again.
constexpr uint32_t ReleaseWaitMs = 10;

}  // namespace

void ReleaseWhenThreadsEnded(std::unique_ptr<TBaseDispatcher> dispatcher) {
  if (dispatcher == nullptr) return;
  if (!dispatcher->GetThreadsActive()) {
    dispatcher.reset();
    return;
  }
  auto held = std::make_shared<std::unique_ptr<TBaseDispatcher>>(std::move(dispatcher));
  auto procedure = [held](platform::WindowHandle self, uint32_t msg, platform::WParam,
                          platform::LParam) -> platform::LResult {
    if (msg != ReleaseCheckMsg || *held == nullptr) return 0;
    if (!(*held)->AwaitThreadsEnd(ReleaseWaitMs)) {
      platform::PostMessage(self, ReleaseCheckMsg, 0, 0);
      return 0;
    }
    // The running procedure stays alive to its end although its window goes first.
    std::unique_ptr<TBaseDispatcher> ended = std::move(*held);
    platform::DestroyHiddenWindow(self);
    ended.reset();
    return 0;
  };
  const platform::WindowHandle window =
      platform::CreateHiddenWindow("DispatcherRelease", std::move(procedure));
  platform::PostMessage(window, ReleaseCheckMsg, 0, 0);
}

}  // namespace talyx
