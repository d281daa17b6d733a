// Opening a database file of arbitrary bytes: the data-set layer's open and rebuild, the state
// manager's reading of counters and type records, and the restore hooks of every stored object
// run on what the bytes hold. The open, a change of state, a write, a commit and the close must
// neither crash nor leak, whatever the file, and a file that opened opens again after them, with
// the objects it held at the close.
//
// An input is a database file followed by two bytes, taken off before the file is written: the
// first chooses the state visited before the commit (% 4), the second the close (% 3: 0 purging,
// 1 keeping the file as it is, 2 compacting with the history). ZYR_FUZZ_SEED_OUT=<file> makes the
// target write such an input (a small database with blobs, several states and a checkpoint list,
// visiting state 2 and closing purging) and stop.
#include "Repository.h"
#include "zyrBlob.h"
#include "zyrErrorManager.h"
#include "zyrMemory.h"
#include "zyrStateManager.h"
#include "zyrTestStore.h"
#include "zyrTestSupport.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string theDirectory;

void removeFiles(const std::string &name) {
  std::remove(name.c_str());
  std::remove((name + ".lck").c_str());
}

void makeSeed(const char *out) {
  const std::string name = theDirectory + "/seed.zyr";
  Repository *repository = Repository_new(name.c_str());
  if (repository == nullptr)
    std::abort();
  int32_t *values = zyrMemory_allocateArray<int32_t>(3, "fuzz");
  values[0] = 1;
  values[1] = 2;
  values[2] = 3;
  zyrBlob *kept = zyrBlob_new(values, 12, ZYR_TYPE_INT);
  char *text = zyrMemory_allocateArray<char>(4, "fuzz");
  text[0] = 'a';
  text[1] = '\0';
  text[2] = 'b';
  text[3] = 'c';
  zyrBlob *chars = zyrBlob_new(text, 4, ZYR_TYPE_CHAR);
  Repository_commit(repository);
  zyrBlob_sharedCopy(kept);
  Repository_commit(repository);
  zyrBlob_delete(chars);
  Repository_externalCheckpoint(repository);
  Repository_close(repository, -1);
  FILE *from = std::fopen(name.c_str(), "rb");
  FILE *to = std::fopen(out, "wb");
  if (from == nullptr || to == nullptr)
    std::abort();
  for (int c; (c = std::fgetc(from)) != EOF;)
    std::fputc(c, to);
  std::fputc(2, to);
  std::fputc(0, to);
  std::fclose(from);
  std::fclose(to);
  removeFiles(name);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // Removed with the process's static objects at its exit.
  static const zyrtest::ScratchDir dir("zyrfuzz_store_raw");
  theDirectory = dir.path();
  if (const char *out = std::getenv("ZYR_FUZZ_SEED_OUT")) {
    makeSeed(out);
    std::exit(0);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string name = theDirectory + "/db.zyr";
  removeFiles(name);
  const size_t fileSize = size > 2 ? size - 2 : 0;
  const uint8_t state = size >= 2 ? data[size - 2] : 0;
  const uint8_t closing = size >= 1 ? data[size - 1] : 0;
  const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0 || write(fd, data, fileSize) != static_cast<ssize_t>(fileSize))
    std::abort();
  close(fd);
  Repository *repository = Repository_new(name.c_str());
  if (repository != nullptr) {
    const zyrtest::ObjectContents opened = zyrtest::liveObjectContents(repository);
    const int32_t last = Repository_getStateManager(repository)->m_last;
    Repository_gotoState(repository, state % 4);
    Repository_gotoState(repository, last < 0 ? -last : last);
    zyrBlob_new(nullptr, 0, ZYR_TYPE_DOUBLE);
    Repository_commit(repository);
    static const int32_t kCloseFlags[3] = {1, -1, 0};
    const int32_t flag = kCloseFlags[closing % 3];
    const zyrtest::ObjectContents kept =
        zyrtest::keptByClose(repository, flag, opened, [&] { return Repository_close(repository, flag); });
    // A file that opened opens again after what was written to it and its close, with the
    // objects the close kept, each holding what it held.
    Repository *again = Repository_new(name.c_str());
    zyrtest::requireHeldAgain(again, kept);
    Repository_close(again, -1);
  }
  Repository_setCurrentStateManager(nullptr);
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  removeFiles(name);
  return 0;
}
