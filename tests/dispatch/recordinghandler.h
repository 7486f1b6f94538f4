// RecordingHandler: a trigger handler for tests that records every message it receives and
// takes a chosen number of the offered bytes with GetChar, as an application's handler does.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "dispatch/dispatcher.h"

namespace talyx::testing {

class RecordingHandler {
 public:
  struct Message {
    uint32_t Msg = 0;
    uint32_t First = 0;
    platform::LParam Second = 0;
    std::string Bytes;         // the bytes the handler took
    uint32_t UnreadAfter = 0;  // InBuffUsed after taking them
    std::thread::id Thread;
  };

  explicit RecordingHandler(TBaseDispatcher& dispatcher) : dispatcher_(dispatcher) {}

  // Bytes taken on an available-data message: the offered count unless set.
  std::optional<uint32_t> TakeOnAvail;
  // Bytes taken on a data-trigger message.
  uint32_t TakeOnData = 0;
  // Runs inside the handler after it took its bytes.
  std::function<void(const Message&)> Then;
  std::vector<Message> Messages;

  TTriggerMethod Method() { return MakeTriggerMethod<&RecordingHandler::OnTrigger>(this); }

  void OnTrigger(uint32_t msg, platform::WParam first, platform::LParam second) {
    Message message{msg, first, second, {}, 0, std::this_thread::get_id()};
    uint32_t take = 0;
    if (msg == TriggerAvailMsg) take = TakeOnAvail.value_or(first);
    if (msg == TriggerDataMsg) take = TakeOnData;
    for (uint32_t i = 0; i < take; ++i) {
      uint8_t c;
      if (dispatcher_.GetChar(c) != ecOK) break;
      message.Bytes.push_back(static_cast<char>(c));
    }
    message.UnreadAfter = dispatcher_.InBuffUsed();
    Messages.push_back(message);
    if (Then) Then(Messages.back());
  }

 private:
  TBaseDispatcher& dispatcher_;
};

}  // namespace talyx::testing
