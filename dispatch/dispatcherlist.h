// DispatcherList: the process-wide list of live dispatchers, whose indices are dispatcher handles.
//
// Principles of operation:
// - A dispatcher takes the first empty slot (or appends one) when it is constructed; the index
//   is its Handle, carried in the high 16 bits of every trigger message it sends. When it is
//   destroyed its slot is emptied and trailing empty slots are removed, so handles stay small
//   and are reused.
// - DispatcherListLock guards the list and the lookup cache (the last dispatcher looked up).
//   It is re-entrant and taken alone: no dispatcher lock is ever taken while holding it, except
//   by the port component's message window, which holds it while the events of one trigger
//   message run on the main thread, so no dispatcher can leave the list meanwhile.
// - The list and its lock are created on first use and live until the process ends.
#pragma once

#include <cstdint>

#include "platform/criticalsection.h"

namespace talyx {

class TBaseDispatcher;

platform::CriticalSection& DispatcherListLock();

// Puts the dispatcher into the first empty slot (or a new one at the end); its handle.
int32_t AddDispatcher(TBaseDispatcher* dispatcher);

// Empties the dispatcher's slot, removes trailing empty slots, and clears the lookup cache when
// it points at this dispatcher.
void RemoveDispatcher(TBaseDispatcher* dispatcher, int32_t handle);

// The dispatcher with this handle, or null when the handle is out of range or its slot is empty.
// The caller holds DispatcherListLock for as long as it uses the result.
TBaseDispatcher* LookUpDispatcher(int32_t handle);

// Number of slots in the list, empty ones included.
int32_t DispatcherListCount();

}  // namespace talyx
