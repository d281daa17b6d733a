// Opening databases whose keyed content was tampered with: state counters (negative, reversed,
// huge), type records that do not match the registry, objects whose stored type is unknown or of
// another type, deletion marks, checkpoint lists and model references. The open, the changes of
// state that follow and the close (each of the three kinds) must neither crash nor leak, and a
// file that opened opens again after them, with the objects it held at the close.
#include "Database.h"
#include "Repository.h"
#include "zyrBlob.h"
#include "zyrErrorManager.h"
#include "zyrMemory.h"
#include "zyrStateManager.h"
#include "zyrTestStore.h"
#include "zyrTestSupport.h"
#include "zyrUUID.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

std::string theDirectory;

void removeFiles(const std::string &name) {
  std::remove(name.c_str());
  std::remove((name + ".lck").c_str());
}

// A small database: the Repository, two blobs (one deleted later) and four states.
std::vector<std::string> makeDatabase(const std::string &name) {
  std::vector<std::string> keys;
  Repository *repository = Repository_new(name.c_str());
  if (repository == nullptr)
    return keys;
  int32_t *values = zyrMemory_allocateArray<int32_t>(3, "fuzz");
  values[0] = 1;
  values[1] = 2;
  values[2] = 3;
  zyrBlob *kept = zyrBlob_new(values, 12, ZYR_TYPE_INT);
  zyrBlob *gone = zyrBlob_new(nullptr, 0, ZYR_TYPE_CHAR);
  char key[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(repository, key);
  keys.push_back(key);
  zyrObject_getUUIDString(kept, key);
  keys.push_back(key);
  zyrObject_getUUIDString(gone, key);
  keys.push_back(key);
  Repository_commit(repository);
  zyrBlob_sharedCopy(kept);
  Repository_commit(repository);
  zyrBlob_delete(gone);
  Repository_externalCheckpoint(repository);
  Repository_close(repository, -1);
  return keys;
}

int32_t readInt(const uint8_t *data) {
  uint32_t value;
  std::memcpy(&value, data, 4);
  return static_cast<int32_t>(value);
}

void tamper(const std::string &name, const std::vector<std::string> &keys, const uint8_t *data, size_t size) {
  Database *database = Database_new(name.c_str());
  if (database == nullptr)
    return;
  static const char *const counters[] = {"State - first", "State - current", "State - last"};
  for (size_t at = 0; at + 6 <= size; at += 6) {
    const uint8_t op = data[at] % 8;
    const int32_t value = readInt(data + at + 1);
    const uint8_t selector = data[at + 5];
    zyrUUID *uuid = zyrUUID_newFromBase64(keys[selector % keys.size()].c_str());
    const int32_t state = selector % 6;
    switch (op) {
    case 0:
      Database_setInt(database, 0, nullptr, counters[selector % 3], value);
      break;
    case 1: {
      int32_t *ids = nullptr;
      int32_t n = 0;
      if (Database_getInts(database, 0, nullptr, "Type - ids", &ids, &n) == 1 && n > 0) {
        ids[selector % n] = value;
        Database_setInts(database, 0, nullptr, "Type - ids", ids, n);
      }
      zyrMemory_free(ids, "fuzz");
      break;
    }
    case 2:
      Database_setInt(database, state, uuid, "__TYPE__", value % 128);
      break;
    case 3:
      Database_setInt(database, state, uuid, "__DELETED__", 0);
      break;
    case 4:
      Database_deleteDataSet(database, uuid, value & 1 ? "__TYPE__" : "data");
      break;
    case 5: {
      int32_t list[3] = {value, value % 7, selector};
      Database_setInts(database, 0, uuid, "checkpoints", list, 1 + selector % 3);
      break;
    }
    case 6: {
      zyrUUID *target = zyrUUID_newFromIntegers(static_cast<uint32_t>(value), selector, 0, 0);
      Database_setPointer(database, state, uuid, value & 1 ? "primaryModel" : "data", target);
      zyrUUID_delete(target);
      break;
    }
    default:
      Database_setDouble(database, state, uuid, "data", static_cast<double>(value));
      break;
    }
    zyrUUID_delete(uuid);
  }
  Database_delete(database);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // Removed with the process's static objects at its exit.
  static const zyrtest::ScratchDir dir("zyrfuzz_store_open");
  theDirectory = dir.path();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string name = theDirectory + "/db.zyr";
  removeFiles(name);
  const std::vector<std::string> keys = makeDatabase(name);
  if (keys.empty())
    std::abort();
  const uint8_t flags = size > 0 ? data[0] : 0;
  if (size > 0) {
    ++data;
    --size;
  }
  tamper(name, keys, data, size);
  Repository *repository = Repository_new(name.c_str());
  if (repository != nullptr) {
    const zyrtest::ObjectContents opened = zyrtest::liveObjectContents(repository);
    Repository_gotoState(repository, flags % 5);
    Repository_gotoExternalCheckpoint(repository, (flags >> 3) % 3);
    zyrBlob_new(nullptr, 0, ZYR_TYPE_DOUBLE);
    Repository_externalCheckpoint(repository);
    Repository_commit(repository);
    const int32_t closeFlags[3] = {1, -1, 0};
    const int32_t flag = closeFlags[(flags >> 5) % 3];
    const zyrtest::ObjectContents kept =
        zyrtest::keptByClose(repository, flag, opened, [&] { return Repository_close(repository, flag); });
    // A file that opened opens again after what was written to it and its close, with the
    // objects the close kept, each holding what it held.
    Repository *again = Repository_new(name.c_str());
    zyrtest::requireHeldAgain(again, kept);
    Repository_close(again, -1);
  }
  // Whatever a failure left current must not outlive the iteration.
  Repository_setCurrentStateManager(nullptr);
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  removeFiles(name);
  return 0;
}
