// Fuzz target of the "STR0" string table reader: any bytes are refused with its own error or
// accepted, and then every listed id and any other id is looked up inside the table's bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "errors/resourcemodule.h"
#include "errors/strres.h"
#include "text/charset.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const talyx::ResourceModule module{{"FUZZ", data, size}};
  try {
    talyx::TStringResource reader(&module, "FUZZ");
    uint32_t count = 0;
    if (size >= 8) std::memcpy(&count, data + 4, 4);
    for (uint32_t i = 0; i < count && 8 + 12 * size_t{i} + 4 <= size; ++i) {
      int32_t id = 0;
      std::memcpy(&id, data + 8 + 12 * size_t{i}, 4);
      if (!talyx::formats::IsValidUtf8(reader.LookUp(id))) std::abort();
    }
    reader.LookUp(INT32_MIN);
    reader.LookUp(INT32_MAX);
    reader.LookUp(0);
  } catch (const talyx::EStringResourceError&) {
  }
  return 0;
}
