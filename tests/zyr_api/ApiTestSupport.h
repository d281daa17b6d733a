#ifndef API_TEST_SUPPORT_H
#define API_TEST_SUPPORT_H
// Helpers every test of the procedural interface may want: tracked copies of arrays for the
// records that take ownership, the caller's string arrays read and freed, a session file played
// back, and a database of a known model made in a child process.
#include "Database.h"
#include "Session.h"
#include "SessionPlayer.h"
#include "zyrAPI.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrTestChild.h"

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

// The strategy parameter whose value marks the model of a database that makeMarkedDatabase makes.
const char *const kMarkStrategy = "NameManager_compositeCopyingStrategy";

// Makes the database of the name, in a child process, with a model whose kMarkStrategy value is 2;
// with a version text, of that release. "" when made, else why not.
inline std::string makeMarkedDatabase(const std::string &name, const char *version = nullptr) {
  return zyrtest::inChild([&] {
    int32_t hDatabase = -1, hModel = -1;
    if (zyrDatabase_open(name.c_str(), &hDatabase, &hModel) != 1 ||
        zyrStrategy_setIntegerParameter(hModel, kMarkStrategy, 2) != 1 || zyrDatabase_close(hDatabase, 0) != 1)
      return std::string("not made");
    Database *database = version != nullptr ? Database_new(name.c_str()) : nullptr;
    if (database != nullptr)
      Database_setString(database, 0, nullptr, "Version", version);
    Database_delete(database);
    return std::string();
  });
}

} // namespace apitest

#endif
