// ResourceModule: lookup of raw-data resources by name, and the program's own module.
#include "errors/resourcemodule.h"

#include <algorithm>

#include "errors/builtintables.h"

namespace talyx {

namespace {

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return UpperAscii(x) == UpperAscii(y);
         });
}

}  // namespace

const RawResource* ResourceModule::Find(std::string_view Name) const {
  for (const RawResource& resource : Resources_) {
    if (SameName(resource.Name, Name)) return &resource;
  }
  return nullptr;
}

const ResourceModule& ProgramModule() {
  static const ResourceModule module{
      {std::string(kStrresStringsName), tables::StrresStrings, tables::StrresStringsSize},
      {std::string(kErrorStringsName), tables::ErrorStringsEnglish,
       tables::ErrorStringsEnglishSize},
  };
  return module;
}

}  // namespace talyx
