// TStringResource: reader of one "STR0" string table, and the two process-wide readers.
//
// Principles of operation: a string table is a block of bytes in the "STR0" format (magic,
// Count, Count index entries {Id, Offset, Length} sorted by Id, then UTF-16LE texts). Tables
// are raw-data resources found by name in a ResourceModule; the program's own module holds
// the tables generated at build time. A reader selects one table, checks it once (magic,
// bounds of every index entry and text, ascending ids) and then answers LookUp(Id) by binary
// search, returning the text converted to the narrow (UTF-8) text type.
//
// Threads: any thread may call LookUp and SelectTable on any reader. Each reader guards its
// fields (ResourceData, Table) with its own re-entrant lock, held for the whole of a lookup or
// a selection, so lookups on one reader never overlap. A failure message is taken from
// SrMgrStrings while the failing reader's lock is held; SrMgrStrings never takes another
// reader's lock, so the order (any reader, then SrMgrStrings) cannot deadlock.
//
// Every failure raises EStringResourceError. A table that passed selection is never read
// outside its bytes; the bytes themselves must outlive the reader (the built-in tables are
// static data).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "errors/exception.h"
#include "errors/resourcemodule.h"
#include "platform/criticalsection.h"

namespace talyx {

// Raised for every failure of a string table reader.
class EStringResourceError : public Exception {
 public:
  using Exception::Exception;
};

class TStringResource {
 public:
  // Create(Instance, Name): RaiseOnMissing is false, then SelectTable(Instance, Name).
  // Instance is the module searched first; null means the program's own module only.
  TStringResource(const ResourceModule* Instance, std::string_view Name);
  ~TStringResource();
  TStringResource(const TStringResource&) = delete;
  TStringResource& operator=(const TStringResource&) = delete;

  // Releases the current table, then opens Name (when not empty) from Instance or, failing
  // that, from the program's own module.
  void SelectTable(const ResourceModule* Instance, std::string_view Name);

  // The text of Id as narrow text; empty for an empty or missing text (a missing id raises
  // "String not found: %d" instead while RaiseOnMissing is set).
  std::string LookUp(int32_t Id);

  // A lookup of a missing id raises instead of yielding an empty text.
  std::atomic<bool> RaiseOnMissing{false};

 private:
  struct TableEntry {
    int32_t Id;
    uint32_t Offset;
    uint32_t Length;
  };

  void OpenTable(const ResourceModule* Instance, std::string_view Name);
  void LoadTable(const ResourceModule* Instance, std::string_view Name);
  void LockTable();
  void UnlockTable();
  void ReleaseTable();
  bool FindEntry(int32_t Id, TableEntry& Entry);
  uint32_t Count() const;
  TableEntry EntryAt(uint32_t Index) const;

  platform::CriticalSection Lock;
  const RawResource* ResourceData = nullptr;  // the loaded table; null when none is selected
  const uint8_t* Table = nullptr;             // the table's bytes while locked; null otherwise
};

// Reader of "STRRES_STRINGS": the reader's own failure messages (ids 1..5).
TStringResource& SrMgrStrings();

// Reader of "ERROR_STRINGS_ENGLISH": the error messages and the dispatch log's vocabulary.
TStringResource& ErrorStrings();

}  // namespace talyx
