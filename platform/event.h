// Event: auto- and manual-reset signalling objects and the waits on one event or the first of two.
//
// Principles of operation:
// - An auto-reset event wakes exactly one wait and is reset by it; setting it while it is
//   already set changes nothing (it is a flag, not a counter).
// - A manual-reset event stays set until Reset; every wait sees it while it is set.
// - WaitForEvents looks at its events in list order, so when both are set the first wins, and
//   only the event that ends the wait is consumed.
// - Any thread may Set, Reset or wait. An Event must outlive every wait on it.
//
// Implementation: each event keeps a list of the waits blocked on it. A wait registers itself
// with its events, checks them, and sleeps on its own condition variable; Set wakes each
// registered wait. Lock order: an event's mutex before a waiter's mutex, never the reverse.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

namespace talyx::platform {

// Result of a wait: the position of the event in the wait list (0 or 1), or WaitTimeout.
inline constexpr int WaitTimeout = -1;
// Time-out value meaning "wait as long as it takes".
inline constexpr int64_t Infinite = -1;

class EventWaiter;

class Event {
 public:
  explicit Event(bool manualReset, bool initiallySet = false);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  bool IsManualReset() const { return manualReset_; }

 private:
  friend class EventWaiter;
  // Consumes the signal when the event is set (auto-reset) or just reports it (manual-reset).
  bool TryTake();
  void Attach(EventWaiter* waiter);
  void Detach(EventWaiter* waiter);

  const bool manualReset_;
  std::mutex mutex_;
  bool signalled_;
  std::vector<EventWaiter*> waiters_;
};

// Waits up to timeoutMs (Infinite: no limit) for the event. Returns 0, or WaitTimeout.
int WaitForEvent(Event& event, int64_t timeoutMs);

// Waits up to timeoutMs for the first of two events. Returns 0 or 1 (the position of the event
// that ended the wait; the first when both are set), or WaitTimeout.
int WaitForEvents(Event& first, Event& second, int64_t timeoutMs);

// A list of two events waited on together, as the output thread's wait lists are.
using EventPair = std::array<Event*, 2>;
int WaitForEvents(const EventPair& events, int64_t timeoutMs);

}  // namespace talyx::platform
