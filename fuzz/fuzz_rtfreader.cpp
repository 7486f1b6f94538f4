// Fuzz target of the RTF reader: any bytes not nested too deep read to their end as well-formed
// UTF-8, and the text read back unchanged through the RTF writer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "text/charset.h"
#include "text/rtfreader.h"
#include "text/rtfwriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  talyx::formats::IsRtf(bytes);
  const std::optional<std::string> text = talyx::formats::ReadRtf(bytes);
  if (!text) return 0;  // nested too deep
  if (!talyx::formats::IsValidUtf8(*text)) std::abort();
  if (talyx::formats::ReadRtf(talyx::formats::WriteRtf(*text)) != text) std::abort();
  return 0;
}
