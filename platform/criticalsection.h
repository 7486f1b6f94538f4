// CriticalSection: the re-entrant lock that guards dispatcher state and the dispatcher list.
//
// Principles of operation: a thread that owns the section may enter it again (GetChar calls
// PeekChar with InLock held); every Enter is matched by one Leave. The type satisfies the
// standard Lockable requirements, so std::lock_guard / std::unique_lock work with it.
#pragma once

#include <mutex>

namespace talyx::platform {

class CriticalSection {
 public:
  CriticalSection() = default;
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void Enter() { mutex_.lock(); }
  void Leave() { mutex_.unlock(); }
  bool TryEnter() { return mutex_.try_lock(); }

  void lock() { Enter(); }
  void unlock() { Leave(); }
  bool try_lock() { return TryEnter(); }

 private:
  std::recursive_mutex mutex_;
};

// Holds a critical section for the lifetime of the guard.
using SectionGuard = std::lock_guard<CriticalSection>;

}  // namespace talyx::platform
