// ResourceModule: a named set of raw-data resources, standing in for a program file's resources.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace talyx {

// One raw-data resource: a name and its bytes. A null Data means the resource is listed but
// cannot be loaded.
struct RawResource {
  std::string Name;
  const uint8_t* Data = nullptr;
  size_t Size = 0;
};

// A module's resources, searched by name without regard to ASCII case (as resource names are).
// The module does not own the bytes: they must outlive every reader that selects them.
// Immutable after construction, so any thread may search it.
class ResourceModule {
 public:
  ResourceModule(std::initializer_list<RawResource> Resources) : Resources_(Resources) {}

  // The resource called Name, or null when the module has none of that name.
  const RawResource* Find(std::string_view Name) const;

 private:
  std::vector<RawResource> Resources_;
};

// The program's own module: the string tables generated at build time ("STRRES_STRINGS",
// "ERROR_STRINGS_ENGLISH").
const ResourceModule& ProgramModule();

}  // namespace talyx
