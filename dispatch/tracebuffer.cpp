// TTraceBuffer: recording the byte trace and writing it as blocks of items per kind.
#include "dispatch/tracebuffer.h"

#include "dispatch/tracelog_items.h"
#include "dispatch/tracelog_textfile.h"

namespace talyx {

namespace {

std::string BlockHeading(char kind) {
  switch (kind) {
    case 'T':
      return "Transmit: ";
    case 'R':
      return "Receive: ";
    default:
      return std::string("Special-") + kind + ": ";
  }
}

}  // namespace

ErrorCode TTraceBuffer::Open(uint32_t capacity) {
  if (hasBuffer_) {
    Clear();
  } else {
    if (capacity > MaxTraceCapacity) return ecBadArgument;
    TraceBuffer.assign(capacity, TraceEntry{0, 0});
    TraceCapacity = capacity;
    TraceIndex = 0;
    TraceWrapped = false;
    hasBuffer_ = true;
  }
  TraceActive = true;
  return ecOK;
}

ErrorCode TTraceBuffer::Clear() {
  TraceIndex = 0;
  TraceWrapped = false;
  return ecOK;
}

void TTraceBuffer::Discard() {
  TraceActive = false;
  hasBuffer_ = false;
  std::vector<TraceEntry>().swap(TraceBuffer);
  TraceCapacity = 0;
  TraceIndex = 0;
  TraceWrapped = false;
}

void TTraceBuffer::Resume() {
  if (hasBuffer_) TraceActive = true;
}

void TTraceBuffer::Pause() { TraceActive = false; }

void TTraceBuffer::Add(char kind, uint8_t byte) {
  // A trace opened with no room records nothing rather than writing past its end.
  if (!hasBuffer_ || TraceCapacity == 0) return;
  TraceBuffer[TraceIndex] = TraceEntry{kind, byte};
  if (++TraceIndex == TraceCapacity) {
    TraceIndex = 0;
    TraceWrapped = true;
  }
}

ErrorCode TTraceBuffer::Write(const std::string& fileName, bool append, bool inHex, bool allHex) {
  if (!hasBuffer_) return ecOK;
  TraceActive = false;
  const uint32_t count = Count();
  if (count == 0) {
    Discard();
    return ecOK;
  }

  TraceLogFile file;
  ErrorCode result = file.Open(fileName, append);
  if (result != ecOK) {
    Discard();
    return result;
  }

  // Oldest first: after a wrap the oldest entry is the one the next entry would overwrite.
  const uint32_t first = TraceWrapped ? TraceIndex : 0;
  ItemLineWriter line(file, 0, "");
  char blockKind = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const TraceEntry& entry = TraceBuffer[(first + i) % TraceCapacity];
    if (i == 0 || entry.Kind != blockKind) {
      if (i != 0) {
        // End the block's last item line and leave one empty line before the next block.
        file.EndLine();
        file.EndLine();
      }
      blockKind = entry.Kind;
      file.Write(BlockHeading(blockKind));
      file.EndLine();
      line.Restart();
    }
    line.Put(TraceItem(entry.Byte, inHex, allHex));
  }
  // Every line, the last one too, ends in CR LF, so that a later append starts a fresh line.
  file.EndLine();

  result = file.Close();
  Discard();
  return result;
}

}  // namespace talyx
