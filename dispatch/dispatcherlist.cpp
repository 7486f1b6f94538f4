// DispatcherList, its lock and the lookup cache.
#include "dispatch/dispatcherlist.h"

#include <vector>

namespace talyx {

namespace {

struct DispatcherRegistry {
  platform::CriticalSection lock;
  std::vector<TBaseDispatcher*> slots;
  // The last dispatcher looked up and its index; none / -1 when cleared.
  TBaseDispatcher* cachedDispatcher = nullptr;
  int32_t cachedIndex = -1;
};

DispatcherRegistry& Registry() {
  static DispatcherRegistry registry;
  return registry;
}

}  // namespace

platform::CriticalSection& DispatcherListLock() { return Registry().lock; }

int32_t AddDispatcher(TBaseDispatcher* dispatcher) {
  DispatcherRegistry& registry = Registry();
  platform::SectionGuard guard(registry.lock);
  for (size_t i = 0; i < registry.slots.size(); ++i) {
    if (registry.slots[i] == nullptr) {
      registry.slots[i] = dispatcher;
      return static_cast<int32_t>(i);
    }
  }
  registry.slots.push_back(dispatcher);
  return static_cast<int32_t>(registry.slots.size() - 1);
}

void RemoveDispatcher(TBaseDispatcher* dispatcher, int32_t handle) {
  DispatcherRegistry& registry = Registry();
  platform::SectionGuard guard(registry.lock);
  if (handle >= 0 && static_cast<size_t>(handle) < registry.slots.size() &&
      registry.slots[handle] == dispatcher) {
    registry.slots[handle] = nullptr;
  }
  while (!registry.slots.empty() && registry.slots.back() == nullptr) registry.slots.pop_back();
  if (registry.cachedDispatcher == dispatcher) {
    registry.cachedDispatcher = nullptr;
    registry.cachedIndex = -1;
  }
}

TBaseDispatcher* LookUpDispatcher(int32_t handle) {
  DispatcherRegistry& registry = Registry();
  platform::SectionGuard guard(registry.lock);
  if (handle >= 0 && handle == registry.cachedIndex) return registry.cachedDispatcher;
  if (handle < 0 || static_cast<size_t>(handle) >= registry.slots.size()) return nullptr;
  TBaseDispatcher* dispatcher = registry.slots[handle];
  if (dispatcher != nullptr) {
    registry.cachedDispatcher = dispatcher;
    registry.cachedIndex = handle;
  }
  return dispatcher;
}

int32_t DispatcherListCount() {
  DispatcherRegistry& registry = Registry();
  platform::SectionGuard guard(registry.lock);
  return static_cast<int32_t>(registry.slots.size());
}

}  // namespace talyx
