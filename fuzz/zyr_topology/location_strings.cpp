// Arbitrary text as a location string: split into names, joined again, and set into a Location.
// Every name is non-empty, holds no comma, and neither begins nor ends with white space; the names
// appear in the text in order; building from them and splitting again gives the same names; a
// Location set from the text holds the same components and prints without fault.
#include "Location.h"
#include "LocationString.h"
#include "zyrCString.h"
#include "zyrErrorManager.h"
#include "zyrTestSupport.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void check(bool condition) {
  if (!condition)
    std::abort();
}

std::vector<std::string> split(const char *text) {
  int32_t n = -1;
  char **names = nullptr;
  check(LocationString_parse(text, &n, &names) == 1);
  check(n >= 0 && (n == 0) == (names == nullptr));
  std::vector<std::string> result;
  for (int32_t i = 0; i < n; ++i)
    result.push_back(names[i]);
  zyrCStringArray_free(names, static_cast<uint64_t>(n));
  return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 8192)
    return 0;
  std::string text(reinterpret_cast<const char *>(data), size);
  text = text.c_str();

  const std::vector<std::string> names = split(text.c_str());
  size_t at = 0;
  for (const std::string &name : names) {
    check(!name.empty() && name.find(',') == std::string::npos);
    check(!std::isspace(static_cast<unsigned char>(name.front())));
    check(!std::isspace(static_cast<unsigned char>(name.back())));
    at = text.find(name, at);
    check(at != std::string::npos);
    at += name.size();
  }

  std::vector<char *> pointers;
  for (const std::string &name : names)
    pointers.push_back(const_cast<char *>(name.c_str()));
  char *built = LocationString_build(static_cast<int32_t>(pointers.size()), pointers.data());
  check((built == nullptr) == names.empty());
  if (built != nullptr) {
    check(split(built) == names);
    zyrCString_free(built);
  }

  Location *location = Location_new();
  check(Location_set(location, text.c_str()) == 1);
  char **components = nullptr;
  check(Location_getComponents(location, &components) == static_cast<int32_t>(names.size()));
  for (size_t i = 0; i < names.size(); ++i)
    check(names[i] == components[i]);
  zyrCStringArray_free(components, names.size());
  Location_print(location, zyrtest::fuzzSink());
  Location_delete(location);
  check(Location_set(location = Location_new(), nullptr) == 0);
  Location_delete(location);
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  return 0;
}
