// Rfc2217: escaping, option and sub-negotiation encoding, and the bounded stream decoder.
#include "platform/rfc2217.h"

namespace talyx::platform::rfc2217 {

void AppendData(std::vector<uint8_t>& out, const uint8_t* data, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    out.push_back(data[i]);
    if (data[i] == Iac) out.push_back(Iac);
  }
}

void AppendOption(std::vector<uint8_t>& out, uint8_t verb, uint8_t option) {
  out.insert(out.end(), {Iac, verb, option});
}

void AppendComPort(std::vector<uint8_t>& out, uint8_t command, uint32_t value, size_t valueSize) {
  out.insert(out.end(), {Iac, Sb, OptComPort, command});
  for (size_t i = valueSize; i-- > 0;) {
    const auto byte = static_cast<uint8_t>(value >> (8 * i));
    AppendData(out, &byte, 1);
  }
  out.insert(out.end(), {Iac, Se});
}

bool Decoder::Feed(const uint8_t* bytes, size_t count, std::vector<uint8_t>& data,
                   std::vector<Event>& events) {
  for (size_t i = 0; i < count && !Failed(); ++i) {
    const uint8_t byte = bytes[i];
    switch (state_) {
      case State::Data:
        if (byte == Iac) {
          state_ = State::AfterIac;
        } else {
          data.push_back(byte);
        }
        break;
      case State::AfterIac:
        state_ = State::Data;
        if (byte == Iac) {
          data.push_back(Iac);
        } else if (byte >= Will && byte <= Dont) {
          verb_ = byte;
          state_ = State::Verb;
        } else if (byte == Sb) {
          subSize_ = 0;
          state_ = State::Sub;
        } else if (byte == Se) {
          error_ = "sub-negotiation end without a start";
        } else {
          // NOP, go-ahead, data mark and the other one-byte commands carry nothing for a line.
          Event event;
          event.Command = byte;
          events.push_back(event);
        }
        break;
      case State::Verb: {
        Event event;
        event.Type = verb_ == Will   ? Event::Kind::OfferWill
                     : verb_ == Wont ? Event::Kind::RefuseWill
                     : verb_ == Do   ? Event::Kind::AskDo
                                     : Event::Kind::RefuseDo;
        event.Option = byte;
        events.push_back(event);
        state_ = State::Data;
        break;
      }
      case State::Sub:
        if (byte == Iac) {
          state_ = State::SubIac;
        } else if (subSize_ == MaxSubnegotiation) {
          error_ = "sub-negotiation too long";
        } else {
          sub_[subSize_++] = byte;
        }
        break;
      case State::SubIac:
        if (byte == Se) {
          EndSubnegotiation(events);
          state_ = State::Data;
        } else if (byte == Iac && subSize_ < MaxSubnegotiation) {
          sub_[subSize_++] = Iac;
          state_ = State::Sub;
        } else {
          error_ = byte == Iac ? "sub-negotiation too long" : "command inside a sub-negotiation";
        }
        break;
    }
  }
  return !Failed();
}

void Decoder::EndSubnegotiation(std::vector<Event>& events) {
  // Sub-negotiations of other options mean nothing to this client and are passed over.
  if (subSize_ < 2 || sub_[0] != OptComPort) return;
  Event event;
  event.Type = Event::Kind::ComPort;
  event.Command = sub_[1];
  const size_t valueSize = subSize_ - 2;
  if (valueSize > 4) {
    error_ = "COM-PORT-OPTION value too long";
    return;
  }
  for (size_t i = 0; i < valueSize; ++i) event.Value = (event.Value << 8) | sub_[2 + i];
  event.ValueSize = static_cast<uint8_t>(valueSize);
  events.push_back(event);
}

}  // namespace talyx::platform::rfc2217
