// The value readers on arbitrary text: comma lists (parenthesis aware), integers, logicals, and
// the message formatter with the text as its format.
#include "vsnMessage.h"
#include "vsnValue.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void check(bool ok) {
  if (!ok) abort();
}

int depthZeroCommas(const std::string& s) {
  int level = 0, commas = 0;
  for (char c : s) {
    if (c == '(') ++level;
    if (c == ')') --level;
    if (c == ',' && level == 0) ++commas;
  }
  return commas;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 8192) return 0;
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.c_str();
  const char* t = text.c_str();
  int expected = depthZeroCommas(text) + 1;

  char** strings = nullptr;
  int count = -1;
  check(splitStringString(t, &strings, &count) == nullptr);
  check(count == expected && strings[count] == nullptr);
  freeStringArray(strings);

  int* ints = nullptr;
  check(splitIntegerString(t, &ints, &count) == nullptr && count == expected);
  freeVSNBlock(ints);

  ints = nullptr;
  const char* err = splitLogicalString(t, &ints, &count);
  if (err) {
    freeVSNString(err);
  } else {
    check(count == expected);
    freeVSNBlock(ints);
  }

  int v = 0;
  err = isLogicalValue(t, &v);
  freeVSNString(err);
  vsnReadInteger(t);

  char* formatted = vsnFormat(t, 7, "text", 'c', nullptr);
  check(formatted != nullptr);
  free(formatted);
  return 0;
}
