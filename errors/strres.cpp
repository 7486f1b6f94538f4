// TStringResource: selection, checking and lookup of "STR0" string tables; the two built-in
// readers.
#include "errors/strres.h"

#include <algorithm>
#include <mutex>

#include "errors/builtintables.h"
#include "platform/utf8.h"

namespace talyx {

namespace {

constexpr size_t kHeaderSize = 8;  // magic and Count
constexpr size_t kEntrySize = 12;  // Id, Offset, Length
constexpr size_t kMaxNameLength = 255;

// Ids of the reader's own messages in "STRRES_STRINGS".
constexpr int32_t kStringNotFound = 1;
constexpr int32_t kCannotLock = 2;
constexpr int32_t kResourceNotFound = 3;
constexpr int32_t kCannotOpen = 4;
constexpr int32_t kInvalidTable = 5;

// Set while this thread composes one of the reader's messages or selects SrMgrStrings' table, so
// that a failure of SrMgrStrings itself ends with an empty message instead of recursing.
thread_local bool composingMessage = false;

struct ComposingMessage {
  ComposingMessage() { composingMessage = true; }
  ~ComposingMessage() { composingMessage = false; }
  ComposingMessage(const ComposingMessage&) = delete;
  ComposingMessage& operator=(const ComposingMessage&) = delete;
};

uint32_t ReadU32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// The reader's own message Id with Argument in place of its "%s" or "%d". Empty when
// SrMgrStrings cannot answer (its own table is missing or being selected).
std::string ReaderMessage(int32_t Id, std::string_view Argument) {
  if (composingMessage) return {};
  std::string text;
  try {
    const ComposingMessage composing;
    text = SrMgrStrings().LookUp(Id);
  } catch (const EStringResourceError&) {
    text.clear();
  }
  const size_t slot = std::min(text.find("%s"), text.find("%d"));
  if (slot != std::string::npos) text.replace(slot, 2, Argument);
  return text;
}

[[noreturn]] void RaiseReaderError(int32_t Id, std::string_view Argument = {}) {
  throw EStringResourceError(ReaderMessage(Id, Argument));
}

// Whether Size bytes at Data form a table that can be read without leaving them: the magic,
// an index that fits, every text inside the data, and ids strictly ascending (the binary search
// depends on the order). Sums are taken in 64 bits, so no field can wrap a bound.
bool IsSoundTable(const uint8_t* Data, size_t Size) {
  if (Size < kHeaderSize || Data[0] != 'S' || Data[1] != 'T' || Data[2] != 'R' || Data[3] != '0')
    return false;
  const uint64_t count = ReadU32(Data + 4);
  if (kHeaderSize + kEntrySize * count > Size) return false;
  for (uint64_t i = 0; i < count; ++i) {
    const uint8_t* entry = Data + kHeaderSize + kEntrySize * i;
    const uint64_t offset = ReadU32(entry + 4);
    const uint64_t length = ReadU32(entry + 8);
    if (offset + 2 * length > Size) return false;
    if (i > 0 &&
        static_cast<int32_t>(ReadU32(entry)) <= static_cast<int32_t>(ReadU32(entry - kEntrySize)))
      return false;
  }
  return true;
}

// Length UTF-16LE code units at Text as narrow (UTF-8) text. ASCII stays as it is; a surrogate
// without its partner becomes U+FFFD.
std::string Utf16ToNarrow(const uint8_t* Text, uint32_t Length) {
  std::string out;
  out.reserve(Length);
  auto unitAt = [Text](uint32_t i) {
    return static_cast<uint32_t>(Text[2 * i] | Text[2 * i + 1] << 8);
  };
  for (uint32_t i = 0; i < Length; ++i) {
    const uint32_t unit = unitAt(i);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < Length) {
      const uint32_t low = unitAt(i + 1);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        platform::AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    platform::AppendUtf8(out, unit);  // a surrogate alone appends U+FFFD
  }
  return out;
}

}  // namespace

TStringResource::TStringResource(const ResourceModule* Instance, std::string_view Name) {
  SelectTable(Instance, Name);
}

TStringResource::~TStringResource() { ReleaseTable(); }

void TStringResource::SelectTable(const ResourceModule* Instance, std::string_view Name) {
  platform::SectionGuard guard(Lock);
  ReleaseTable();
  if (!Name.empty()) OpenTable(Instance, Name);
}

std::string TStringResource::LookUp(int32_t Id) {
  platform::SectionGuard guard(Lock);
  LockTable();
  struct Unlocker {
    TStringResource& Reader;
    ~Unlocker() { Reader.UnlockTable(); }
  } unlocker{*this};
  TableEntry entry;
  if (!FindEntry(Id, entry)) return {};
  return Utf16ToNarrow(Table + entry.Offset, entry.Length);
}

// A table that fails the check is released again, so that no later lookup reads it.
void TStringResource::OpenTable(const ResourceModule* Instance, std::string_view Name) {
  LoadTable(Instance, Name);
  LockTable();
  const bool sound = IsSoundTable(Table, ResourceData->Size);
  UnlockTable();
  if (!sound) {
    ReleaseTable();
    RaiseReaderError(kInvalidTable);
  }
}

void TStringResource::LoadTable(const ResourceModule* Instance, std::string_view Name) {
  const std::string_view name = Name.substr(0, kMaxNameLength);
  const RawResource* resource = Instance ? Instance->Find(name) : nullptr;
  if (!resource) resource = ProgramModule().Find(name);
  if (!resource) RaiseReaderError(kResourceNotFound, name);
  if (!resource->Data) RaiseReaderError(kCannotOpen, name);
  ResourceData = resource;
}

void TStringResource::LockTable() {
  Table = ResourceData ? ResourceData->Data : nullptr;
  if (!Table) RaiseReaderError(kCannotLock);
}

void TStringResource::UnlockTable() { Table = nullptr; }

void TStringResource::ReleaseTable() {
  UnlockTable();
  ResourceData = nullptr;
}

uint32_t TStringResource::Count() const { return ReadU32(Table + 4); }

TStringResource::TableEntry TStringResource::EntryAt(uint32_t Index) const {
  const uint8_t* entry = Table + kHeaderSize + kEntrySize * Index;
  return {static_cast<int32_t>(ReadU32(entry)), ReadU32(entry + 4), ReadU32(entry + 8)};
}

bool TStringResource::FindEntry(int32_t Id, TableEntry& Entry) {
  int64_t lo = 0;
  int64_t hi = int64_t{Count()} - 1;
  while (hi >= lo) {
    const int64_t mid = (lo + hi) >> 1;
    const TableEntry candidate = EntryAt(static_cast<uint32_t>(mid));
    if (candidate.Id == Id) {
      Entry = candidate;
      return true;
    }
    if (candidate.Id < Id) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
  }
  if (RaiseOnMissing.load()) RaiseReaderError(kStringNotFound, std::to_string(Id));
  return false;
}

// The reader is created without a table and then selects it once, with message composition
// switched off: a failure there cannot ask this same reader for its text. A failed selection is
// tried again on the next call.
TStringResource& SrMgrStrings() {
  static TStringResource reader(nullptr, {});
  static std::once_flag selected;
  std::call_once(selected, [] {
    const ComposingMessage composing;
    reader.SelectTable(nullptr, kStrresStringsName);
  });
  return reader;
}

TStringResource& ErrorStrings() {
  static TStringResource reader(nullptr, kErrorStringsName);
  return reader;
}

}  // namespace talyx
