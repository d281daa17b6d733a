// Opening a database file of arbitrary bytes: the data-set layer's open and rebuild, the state
// manager's reading of counters and type records, and the restore hooks of every stored object
// run on what the bytes hold. The open, a change of state, a write, a commit and the close must
// neither crash nor leak, whatever the file, and a file that opened opens again after them, with
// the objects it held at the close.
//
// Seeds are whole database files. ZYR_FUZZ_SEED_OUT=<file> makes the target write such a file
// (a small database with blobs, several states and a checkpoint list) and stop.
#include "Dictionary.h"
#include "Pair.h"
#include "Repository.h"
#include "zyrBlob.h"
#include "zyrErrorManager.h"
#include "zyrMemory.h"
#include "zyrObject.h"
#include "zyrStateManager.h"
#include "zyrTestSupport.h"
#include "zyrTypeManager.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

namespace {

std::string theDirectory;

void removeFiles(const std::string &name) {
  std::remove(name.c_str());
  std::remove((name + ".lck").c_str());
}

// The keys of the objects the repository's store holds; other objects that damage made
// Repositories go with a purge.
std::set<std::string> liveKeys(Repository *repository) {
  std::set<std::string> keys;
  DictionaryIterator *iterator = DictionaryIterator_new(Repository_getStateManager(repository)->m_objects);
  for (Pair *pair = DictionaryIterator_first(iterator); pair != nullptr; pair = DictionaryIterator_next(iterator))
    if (Pair_getSecond(pair) == repository || zyrObject_getTypeId(Pair_getSecond(pair)) != ZYR_TYPE_ID_REPOSITORY)
      keys.insert(static_cast<const char *>(Pair_getFirst(pair)));
  DictionaryIterator_delete(iterator);
  return keys;
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
  const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size))
    std::abort();
  close(fd);
  Repository *repository = Repository_new(name.c_str());
  if (repository != nullptr) {
    const int32_t last = Repository_getStateManager(repository)->m_last;
    Repository_gotoState(repository, size > 0 ? data[0] % 4 : 0);
    Repository_gotoState(repository, last < 0 ? -last : last);
    zyrBlob_new(nullptr, 0, ZYR_TYPE_DOUBLE);
    Repository_commit(repository);
    const std::set<std::string> live = liveKeys(repository);
    Repository_close(repository, size > 1 && data[1] & 1 ? 1 : -1);
    // A file that opened opens again after what was written to it and its close, with the
    // objects it held.
    Repository *again = Repository_new(name.c_str());
    if (again == nullptr || liveKeys(again) != live)
      std::abort();
    Repository_close(again, -1);
  }
  Repository_setCurrentStateManager(nullptr);
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  removeFiles(name);
  return 0;
}
