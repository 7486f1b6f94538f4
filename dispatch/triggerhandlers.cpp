// Trigger handler records: registering and removing window, procedure and event handlers, and
// the two flags that decide whether a delivery happens at all.
#include <algorithm>

#include "dispatch/dispatcher.h"

namespace talyx {

namespace {

// Removes the first live record that matches: at once, or, while a delivery runs, by marking
// it Deleted for the delivery to remove when it ends. False when no live record matches.
template <typename Record, typename Matches>
bool RemoveHandler(std::vector<Record>& list, bool inHandler, std::atomic<bool>& handlersDeleted,
                   Matches matches) {
  auto it = std::find_if(list.begin(), list.end(),
                         [&](const Record& record) { return !record.Deleted && matches(record); });
  if (it == list.end()) return false;
  if (inHandler) {
    it->Deleted = true;
    handlersDeleted = true;
  } else {
    list.erase(it);
  }
  return true;
}

}  // namespace

void TBaseDispatcher::RegisterWndTriggerHandler(platform::WindowHandle window) {
  platform::SectionGuard guard(MainLock);
  WndTriggerHandlers.push_back(TWndTriggerHandler{window, false});
  HandlerServiceNeeded = true;
  if (Log.Active()) Log.Add(ltTrgHdAlc, lsWindow, static_cast<uint32_t>(window), nullptr, 0);
}

void TBaseDispatcher::DeregisterWndTriggerHandler(platform::WindowHandle window) {
  platform::SectionGuard guard(MainLock);
  if (RemoveHandler(
          WndTriggerHandlers, InHandler, HandlersDeleted,
          [window](const TWndTriggerHandler& record) { return record.Window == window; })) {
    if (Log.Active()) Log.Add(ltTrgHdDsp, lsWindow, static_cast<uint32_t>(window), nullptr, 0);
  } else {
    UpdateHandlerFlags(0);
  }
}

ErrorCode TBaseDispatcher::RegisterProcTriggerHandler(TTriggerProc proc) {
  if (proc == nullptr) return ecBadArgument;
  platform::SectionGuard guard(MainLock);
  ProcTriggerHandlers.push_back(TProcTriggerHandler{proc, false});
  HandlerServiceNeeded = true;
  if (Log.Active()) Log.Add(ltTrgHdAlc, lsHandlerProcedure, 0, nullptr, 0);
  return ecOK;
}

void TBaseDispatcher::DeregisterProcTriggerHandler(TTriggerProc proc) {
  platform::SectionGuard guard(MainLock);
  if (RemoveHandler(ProcTriggerHandlers, InHandler, HandlersDeleted,
                    [proc](const TProcTriggerHandler& record) { return record.Proc == proc; })) {
    if (Log.Active()) Log.Add(ltTrgHdDsp, lsHandlerProcedure, 0, nullptr, 0);
  }
  UpdateHandlerFlags(0);
}

ErrorCode TBaseDispatcher::RegisterEventTriggerHandler(TTriggerMethod method, bool synchronised) {
  if (method.Code == nullptr) return ecBadArgument;
  platform::SectionGuard guard(MainLock);
  EventTriggerHandlers.push_back(TEventTriggerHandler{method, false, synchronised});
  HandlerServiceNeeded = true;
  if (Log.Active()) Log.Add(ltTrgHdAlc, lsHandlerMethod, 0, nullptr, 0);
  return ecOK;
}

void TBaseDispatcher::DeregisterEventTriggerHandler(TTriggerMethod method) {
  platform::SectionGuard guard(MainLock);
  if (RemoveHandler(
          EventTriggerHandlers, InHandler, HandlersDeleted,
          [method](const TEventTriggerHandler& record) { return record.Method == method; })) {
    if (Log.Active()) Log.Add(ltTrgHdDsp, lsHandlerMethod, 0, nullptr, 0);
  }
  UpdateHandlerFlags(0);
}

void TBaseDispatcher::UpdateHandlerFlags(uint8_t change) {
  platform::SectionGuard guard(MainLock);
  // The first window is the port component's own: it counts only through PortHandlerInstalled.
  const bool others = WndTriggerHandlers.size() > 1 || !ProcTriggerHandlers.empty() ||
                      !EventTriggerHandlers.empty();
  switch (change) {
    case 0:
      HandlerServiceNeeded = others || PortHandlerInstalled;
      break;
    case 1:
      PortHandlerInstalled = true;
      HandlerServiceNeeded = true;
      break;
    case 2:
      PortHandlerInstalled = false;
      HandlerServiceNeeded = others;
      break;
    default:
      break;
  }
}

void TBaseDispatcher::RemoveDeletedHandlers() {
  auto deleted = [](const auto& record) { return record.Deleted; };
  std::erase_if(WndTriggerHandlers, deleted);
  std::erase_if(ProcTriggerHandlers, deleted);
  std::erase_if(EventTriggerHandlers, deleted);
}

}  // namespace talyx
