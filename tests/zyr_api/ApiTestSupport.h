#ifndef API_TEST_SUPPORT_H
#define API_TEST_SUPPORT_H
// Helpers every test of the procedural interface may want: tracked copies of arrays for the
// records that take ownership, the caller's string arrays read and freed, and a session file
// played back.
#include "Session.h"
#include "SessionPlayer.h"
#include "zyrCString.h"
#include "zyrMemory.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace apitest {

template <class T> T *tracked(const std::vector<T> &values) {
  T *block = static_cast<T *>(zyrMemory_allocate(static_cast<int64_t>(values.size() * sizeof(T)), "test"));
  std::memcpy(block, values.data(), values.size() * sizeof(T));
  return block;
}

// The names (a null one as "<null>"); frees the array.
inline std::vector<std::string> strings(int32_t n, char **names) {
  std::vector<std::string> out;
  for (int32_t i = 0; i < n; ++i)
    out.push_back(names != nullptr && names[i] != nullptr ? names[i] : "<null>");
  zyrCStringArray_free(names, static_cast<uint64_t>(n > 0 ? n : 0));
  return out;
}

// Plays the session file; the play's result, -1 (a failure of the test) when the file cannot be
// opened.
inline int playSessionFile(const std::string &path) {
  FILE *input = std::fopen(path.c_str(), "r");
  if (input == nullptr) {
    ADD_FAILURE() << "cannot open " << path;
    return -1;
  }
  Session *session = Session_new();
  const int result = Session_play(session, input);
  Session_delete(session);
  std::fclose(input);
  return result;
}

} // namespace apitest

#endif
