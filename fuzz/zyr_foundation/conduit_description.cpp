// Conduit descriptions and child argument lists, parsed only: no pipe or socket is opened. The
// input is a description up to the first NUL, then argument words separated by NULs.
#include "Conduit.h"
#include "zyrCString.h"
#include "zyrErrorManager.h"
#include "zyrTestSupport.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void exercise(const char *description) {
  Conduit *conduit = Conduit_newFromDescription(description);
  Conduit_print(conduit, zyrtest::fuzzSink());
  zyrCString_free(Conduit_getArgumentString(conduit));
  int32_t count = 0;
  char **words = Conduit_getArgumentWords(conduit, &count);
  // What the parent produces for a socket, the child must parse back to a socket conduit (a
  // parsed pipe conduit has no descriptors to name yet).
  if (conduit->m_isGood && conduit->m_type == ConduitSocket && count > 0) {
    int32_t n = count;
    char *again = nullptr;
    std::vector<char *> moved(words, words + count); // findArgument shifts the pointers
    if (!Conduit_findArgument(&n, moved.data(), &again) || n != 0)
      std::abort();
    Conduit *child = Conduit_newFromDescription(again);
    if (!child->m_isGood || child->m_type != conduit->m_type)
      std::abort();
    Conduit_delete(child);
    zyrCString_free(again);
  }
  zyrCStringArray_free(words, static_cast<uint64_t>(count));
  Conduit_delete(conduit);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static zyrErrorManager *manager = [] {
    zyrErrorManager *m = zyrErrorManager_get();
    for (int32_t errorClass = 1; errorClass <= 4; ++errorClass)
      zyrErrorManager_setErrorHandling(m, errorClass, 2); // kept, not shown
    return m;
  }();
  std::string text(reinterpret_cast<const char *>(data), size);
  exercise(text.c_str());

  std::vector<std::string> words;
  size_t at = 0;
  while (at <= text.size() && words.size() < 64) {
    size_t end = text.find('\0', at);
    if (end == std::string::npos)
      end = text.size();
    words.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  std::vector<char *> argv;
  for (std::string &word : words)
    argv.push_back(word.data());
  int32_t count = static_cast<int32_t>(argv.size());
  char *description = nullptr;
  if (Conduit_findArgument(&count, argv.data(), &description))
    exercise(description);
  zyrCString_free(description);
  zyrErrorManager_clearErrors(manager);
  return 0;
}
