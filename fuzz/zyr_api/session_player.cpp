// Arbitrary bytes played as a session file against a real database. Each input runs with a
// database opened for it in a scratch directory ("@D" and "@M" in the input stand for its
// database and model handles); the play must end (normally, or on a broken file), never crash,
// hang or leak, and everything it opened is closed afterwards. A "/" in the input becomes "_",
// and the play and the closes run in the scratch directory, so that every file the input names
// stays there.
#include "Repository.h"
#include "Session.h"
#include "SessionPlayer.h"
#include "zyrAPI.h"
#include "zyrErrorManager.h"
#include "zyrTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <unistd.h>

namespace {

std::string theDirectory;

void removeFiles() {
  DIR *dir = opendir(theDirectory.c_str());
  if (dir == nullptr)
    return;
  while (dirent *entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
      std::remove((theDirectory + "/" + entry->d_name).c_str());
  }
  closedir(dir);
}

void replaceAll(std::string &text, const std::string &from, const std::string &to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

size_t occurrences(const std::string &text, const std::string &word) {
  size_t n = 0;
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
    ++n;
  return n;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  setenv("ZYR_USE_LOCAL_UNITS", "1", 1);
  unsetenv("ZYR_SESSION_FILE");
  // Removed with the process's static objects at its exit.
  static const zyrtest::ScratchDir dir("zyrfuzz_session_player");
  theDirectory = dir.path();
  // Dumps go to the standard output.
  if (std::freopen("/dev/null", "w", stdout) == nullptr)
    std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 65536)
    return 0;
  int32_t hDatabase = -1;
  int32_t hModel = -1;
  if (zyrDatabase_open((theDirectory + "/fuzz.zyr").c_str(), &hDatabase, &hModel) != 1)
    std::abort();
  std::string text(reinterpret_cast<const char *>(data), size);
  for (char &c : text)
    if (c == '/')
      c = '_';
  replaceAll(text, "@D", std::to_string(hDatabase));
  replaceAll(text, "@M", std::to_string(hModel));
  text.push_back('\0');
  FILE *input = fmemopen(&text[0], text.size() - 1, "r");
  if (input == nullptr)
    std::abort();
  // Relative names land in the scratch directory; libFuzzer's own paths are relative to the
  // directory it was started in, so the play alone runs there.
  char here[4096];
  if (getcwd(here, sizeof here) == nullptr || chdir(theDirectory.c_str()) != 0)
    std::abort();
  Session *session = Session_new();
  session->m_output = nullptr;
  Session_play(session, input);
  Session_delete(session);
  std::fclose(input);
  // Every database the input may have opened has a handle after the harness's own. They are
  // closed from the scratch directory too: a database opened under a relative name writes there
  // when it closes.
  const int32_t last = hDatabase + static_cast<int32_t>(occurrences(text, "zyrDatabase_open"));
  for (int32_t h = hDatabase; h <= last; ++h)
    zyrDatabase_close(h, 1);
  if (chdir(here) != 0)
    std::abort();
  zyrErrorHandler previous = nullptr;
  zyrErrorManager_setErrorHandler(zyrErrorManager_get(), nullptr, &previous);
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  removeFiles();
  return 0;
}
