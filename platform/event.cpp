// Event and the waits on one or two events (see event.h for the rules).
#include "platform/event.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>

namespace talyx::platform {

// One blocked wait. Set() of any attached event marks it woken; the wait then re-checks.
class EventWaiter {
 public:
  // Waits for the first of count events; the body of WaitForEvent(s).
  static int WaitForList(Event* const* events, int count, int64_t timeoutMs);

  void Wake() {
    std::lock_guard lock(mutex_);
    woken_ = true;
    cv_.notify_one();
  }

  // Sleeps until woken or until the deadline; clears the woken mark. False on time-out.
  bool Sleep(bool forever, std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    if (forever) {
      cv_.wait(lock, [this] { return woken_; });
    } else if (!cv_.wait_until(lock, deadline, [this] { return woken_; })) {
      return false;
    }
    woken_ = false;
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool woken_ = false;
};

Event::Event(bool manualReset, bool initiallySet)
    : manualReset_(manualReset), signalled_(initiallySet) {}

Event::~Event() = default;

void Event::Set() {
  std::lock_guard lock(mutex_);
  signalled_ = true;
  for (EventWaiter* waiter : waiters_) waiter->Wake();
}

void Event::Reset() {
  std::lock_guard lock(mutex_);
  signalled_ = false;
}

bool Event::TryTake() {
  std::lock_guard lock(mutex_);
  if (!signalled_) return false;
  if (!manualReset_) signalled_ = false;
  return true;
}

void Event::Attach(EventWaiter* waiter) {
  std::lock_guard lock(mutex_);
  waiters_.push_back(waiter);
}

void Event::Detach(EventWaiter* waiter) {
  std::lock_guard lock(mutex_);
  waiters_.erase(std::remove(waiters_.begin(), waiters_.end(), waiter), waiters_.end());
}

int EventWaiter::WaitForList(Event* const* events, int count, int64_t timeoutMs) {
  const bool forever = timeoutMs < 0;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(forever ? 0 : timeoutMs);

  auto takeFirst = [&]() -> int {
    for (int i = 0; i < count; ++i) {
      if (events[i]->TryTake()) return i;
    }
    return WaitTimeout;
  };

  int result = takeFirst();
  if (result != WaitTimeout || timeoutMs == 0) return result;

  EventWaiter waiter;
  for (int i = 0; i < count; ++i) events[i]->Attach(&waiter);
  // Checking after attaching closes the gap between the first look and the sleep: a Set that
  // lands in between marks the waiter woken, so the sleep returns at once.
  while ((result = takeFirst()) == WaitTimeout) {
    if (!waiter.Sleep(forever, deadline)) {
      result = takeFirst();
      break;
    }
  }
  for (int i = 0; i < count; ++i) events[i]->Detach(&waiter);
  return result;
}

int WaitForEvent(Event& event, int64_t timeoutMs) {
  Event* list[] = {&event};
  return EventWaiter::WaitForList(list, 1, timeoutMs);
}

int WaitForEvents(Event& first, Event& second, int64_t timeoutMs) {
  Event* list[] = {&first, &second};
  return EventWaiter::WaitForList(list, 2, timeoutMs);
}

int WaitForEvents(const EventPair& events, int64_t timeoutMs) {
  return EventWaiter::WaitForList(events.data(), 2, timeoutMs);
}

}  // namespace talyx::platform
