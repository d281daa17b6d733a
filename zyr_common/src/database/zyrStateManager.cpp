#include "zyrStateManager.h"

#include "Database.h"
#include "DefFile.h"
#include "Dictionary.h"
#include "Repository.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrHeldTemporary.h"
#include "zyrMemory.h"
#include "zyrObject.h"
#include "zyrPause.h"
#include "zyrPlacement.h"
#include "zyrSystem.h"
#include "zyrTrace.h"
#include "zyrTypeManager.h"
#include "zyrUUID.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

// Part key -> the owners that claimed it on restore: [owner key, attribute name].
struct zyrClaims {
  std::unordered_map<std::string, std::vector<std::pair<std::string, std::string>>> m_owners;
  // What the records restored by the last change of state lost that they cannot live without.
  std::vector<std::string> m_lost;
  bool m_returning = false; // a change of state that lost something is being taken back
  // Target key -> the keys of the records whose restored references led to it: a record that a
  // change of state unloads is read again by those that keep living and held it.
  std::unordered_map<std::string, std::unordered_set<std::string>> m_referrers;
};

// The keys of the objects that the change under way touched (wrote, created or deleted), sorted.
struct zyrChange {
  std::set<std::string> m_keys;
};

namespace {

const char *kFirst = "State - first";
const char *kCurrent = "State - current";
const char *kLast = "State - last";
const char *kTypeNames = "Type - names";
const char *kTypeIds = "Type - ids";
const char *kType = "__TYPE__";
const char *kDeleted = "__DELETED__";
const char *kGlobal = "GLOBAL";

// Counters come from files: the one value without a positive counterpart is taken as the largest.
int32_t absolute(int32_t value) { return value == INT32_MIN ? INT32_MAX : (value < 0 ? -value : value); }

zyrUUID *uuidOf(const void *object) { return static_cast<const zyrObject *>(object)->m_uuid; }

void keyOf(const void *object, char key[ZYR_UUID_BASE64_SIZE]) { zyrUUID_toBase64(uuidOf(object), key); }

int storeCounter(Database *database, const char *name, int32_t value) {
  return Database_setInt(database, 0, nullptr, name, value);
}

// The outputs of Database_match, released together.
struct Listing {
  int32_t m_noOfKeys = 0;
  char **m_keys = nullptr;
  int32_t *m_offsets = nullptr;
  char **m_names = nullptr;
  int32_t *m_whens = nullptr;

  Listing() = default;
  Listing(const Listing &) = delete;
  Listing &operator=(const Listing &) = delete;
  ~Listing() {
    const int32_t total = m_offsets != nullptr ? m_offsets[m_noOfKeys] : 0;
    zyrCStringArray_free(m_keys, static_cast<uint64_t>(m_noOfKeys));
    zyrCStringArray_free(m_names, static_cast<uint64_t>(total));
    zyrMemory_free(m_offsets, "Listing");
    zyrMemory_free(m_whens, "Listing");
  }
  int match(Database *database, int32_t from, int32_t to, const char *keyFilter, const char *nameFilter) {
    return Database_match(database, from, to, keyFilter, nameFilter, &m_noOfKeys, &m_keys, &m_offsets, &m_names,
                          &m_whens);
  }
  // Whether the k-th key (every key when k is -1) holds the name at a state of the listing.
  bool holds(int32_t k, const char *name) const {
    if (m_offsets == nullptr)
      return false;
    const int32_t end = k < 0 ? m_offsets[m_noOfKeys] : m_offsets[k + 1];
    for (int32_t j = k < 0 ? 0 : m_offsets[k]; j < end; ++j)
      if (std::strcmp(m_names[j], name) == 0)
        return true;
    return false;
  }
};

// The manager still knows the object under its key.
int isLive(const zyrStateManager *manager, const char *key, const void *object) {
  return Dictionary_find(manager->m_objects, key) == object;
}

// Removes the key from both tables.
void forget(zyrStateManager *manager, const char *key) {
  Dictionary_remove(manager->m_objects, key);
  Dictionary_remove(manager->m_cache, key);
}

int noDatabase(const zyrStateManager *manager, const char *function) {
  if (manager->m_database != nullptr)
    return 0;
  ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, function, "No database is open.\n");
  return 1;
}

// The state at which a setter writes for the object (NULL: none yet); 0 when none could be
// opened. The object counts as touched by the change either way.
int32_t writeState(zyrStateManager *manager, const char *function, const void *object) {
  if (noDatabase(manager, function))
    return 0;
  if (object != nullptr) {
    char key[ZYR_UUID_BASE64_SIZE];
    keyOf(object, key);
    manager->m_change->m_keys.insert(key);
  }
  return zyrStateManager_openState(manager);
}

int32_t readState(const zyrStateManager *manager) { return absolute(manager->m_current); }

// Reads the stored type record; 2 when there is none.
int checkStoredTypes(Database *database) {
  char **names = nullptr;
  int32_t noOfNames = 0;
  int32_t *ids = nullptr;
  int32_t noOfIds = 0;
  const int haveNames = Database_getStrings(database, 0, nullptr, kTypeNames, &names, &noOfNames);
  const int haveIds = Database_getInts(database, 0, nullptr, kTypeIds, &ids, &noOfIds);
  int result = 2;
  if (haveNames == 1 && haveIds == 1)
    result = noOfNames == noOfIds ? zyrTypeManager_checkTypes(noOfNames, names, ids) : 0;
  zyrCStringArray_free(names, static_cast<uint64_t>(noOfNames > 0 ? noOfNames : 0));
  zyrMemory_free(ids, __func__);
  return result;
}

// Whether any version of a state after the given one is stored (none is after the largest).
int holdsStates(Database *database, int32_t after) {
  if (after == INT32_MAX)
    return 0;
  Listing listing;
  listing.match(database, after + 1, -1, "*", "*");
  return listing.m_noOfKeys > 0;
}

// Erases the versions beyond the last committed state that a process which ended, or a change
// that could not be given up whole, left in the file, and stores the counters of that state (the
// current one given); this process writes the file. 1, or the failed status.
int eraseDeadState(zyrStateManager *manager, int32_t current) {
  if (!manager->m_deadState)
    return 1;
  const int32_t last = absolute(manager->m_last);
  const int status = Database_rollback(manager->m_database, last);
  if (status != 1)
    return status;
  if (storeCounter(manager->m_database, kCurrent, current) != 1 || storeCounter(manager->m_database, kLast, last) != 1)
    return 0;
  manager->m_deadState = 0;
  return 1;
}

// A state left open by a process that died is not part of the history: its versions are erased
// and the counters put back to the last committed state. A commit stores the current state
// positive last of all, so a current state stored negative was never committed, whatever the
// stored last says. Versions after the last state (of a change whose erasure failed) go too.
int recoverOpenState(zyrStateManager *manager, int32_t *current) {
  int32_t c = *current;
  int32_t l = manager->m_last;
  const bool open = c < 0 || l < 0;
  if (c < 0) {
    c = absolute(c) - 1;
    l = c;
  } else if (l < 0) {
    l = absolute(l) - 1;
    if (c > l) // a file whose commit stored current before last and ended between them
      l = c;
  }
  manager->m_last = l;
  *current = c;
  if (!open && !holdsStates(manager->m_database, l))
    return 1;
  // Other readers may hold the file, or it cannot be written now: then the state is only left
  // out here, and erased once this process writes (eraseDeadState), or by the next process that
  // opens the file alone.
  manager->m_deadState = 1;
  if (Database_claimWrite(manager->m_database, 0))
    eraseDeadState(manager, c);
  if (!open)
    return 1;
  ZYR_ERROR(ZYR_W_INVALID_DATA_IGNORED,
            "The database\n\n%s\n\nwas not closed properly. The changes made after state %d "
            "have been discarded.\n",
            Database_getFileName(manager->m_database), c);
  return 1;
}

// Erases every object that is not live: those deleted by the history, and those whose records
// could not be restored (a damaged type). A purge keeps the current state alone, so it keeps the
// live objects alone; the deletion marks are not trusted to say which they are, since a damaged
// history can mark a live object (at state 0, or beside its own creation).
int purgeUnloaded(zyrStateManager *manager, Database *database) {
  Listing all;
  all.match(database, -1, -1, "*", "*");
  int status = 1;
  for (int32_t k = 0; k < all.m_noOfKeys; ++k) {
    void *live = Dictionary_find(manager->m_objects, all.m_keys[k]);
    // A file holds one Repository, the owner: another object restored as one is damage, which a
    // purge (that makes every state the same) would otherwise make as good as the owner.
    const bool impostor = live != nullptr && manager->m_owner != nullptr && live != manager->m_owner &&
                          zyrObject_getTypeId(live) == ZYR_TYPE_ID_REPOSITORY;
    if (std::strcmp(all.m_keys[k], kGlobal) == 0 || (live != nullptr && !impostor))
      continue;
    zyrUUID *uuid = zyrUUID_newFromBase64(all.m_keys[k]);
    if (uuid != nullptr && Database_deleteObject(database, uuid) != 1)
      status = 0;
    zyrUUID_delete(uuid);
  }
  return status;
}

void *primaryModelOf(const zyrStateManager *manager) {
  return manager->m_owner != nullptr ? Repository_getPrimaryModel(static_cast<Repository *>(manager->m_owner)) : nullptr;
}

// Forgets the open file after a failed open: a file the open made goes, any other is left with
// nothing more written to it.
void dropDatabase(zyrStateManager *manager) {
  Database_abandon(manager->m_database);
  manager->m_database = nullptr;
  manager->m_first = 0;
  manager->m_current = 0;
  manager->m_last = 0;
  manager->m_deadState = 0;
}

// Unloads a live object: its delete hook runs, and the file keeps it as it is.
void unload(zyrStateManager *manager, const char *key, void *object) {
  manager->m_destroying = object;
  zyrObject_deleteByType(object);
  manager->m_destroying = nullptr;
  // A hook that freed the record without deleting the object leaves no stale entry behind.
  if (Dictionary_find(manager->m_objects, key) == object)
    forget(manager, key);
}

// Unloads whatever a failed open left live.
void unloadAll(zyrStateManager *manager) {
  std::vector<void *> objects;
  DictionaryIterator *iterator = DictionaryIterator_new(manager->m_objects);
  for (Pair *pair = DictionaryIterator_first(iterator); pair != nullptr; pair = DictionaryIterator_next(iterator))
    objects.push_back(Pair_getSecond(pair));
  DictionaryIterator_delete(iterator);
  for (void *object : objects) {
    char key[ZYR_UUID_BASE64_SIZE];
    keyOf(object, key);
    if (isLive(manager, key, object))
      unload(manager, key, object);
  }
}

// Ends a change that cannot be committed: the versions its open state wrote are erased and the
// counters go back to the last committed state, then every object the change touched is made
// again as the file holds it there: reloaded whole, made anew when the change deleted it,
// unloaded when the change created it. The owner and its model stay (the layers above hold them).
void abandonChange(zyrStateManager *manager) {
  std::set<std::string> keys;
  keys.swap(manager->m_change->m_keys);
  manager->m_refused = 0;
  Dictionary_clear(manager->m_cache);
  Database *database = manager->m_database;
  if (database == nullptr)
    return;
  if (manager->m_current < 0) {
    const int32_t state = absolute(manager->m_current);
    Listing listing;
    listing.match(database, state, state, "*", "*");
    for (int32_t k = 0; k < listing.m_noOfKeys; ++k)
      if (std::strcmp(listing.m_keys[k], kGlobal) != 0)
        keys.insert(listing.m_keys[k]);
    const int32_t previous = state - 1;
    // Left as it is, a state that cannot be erased is still no committed state: the stored
    // counters keep it open, or they say it is past the last state; either way the next writer,
    // this process or the next to open the file, erases it first.
    const int erased = Database_rollback(database, previous);
    if (storeCounter(database, kCurrent, previous) != 1 || storeCounter(database, kLast, previous) != 1 ||
        erased != 1) {
      ZYR_ERROR(ZYR_U_UNABLE_TO_WRITE_DATASET, "Unable to erase the uncommitted state %d of the database\n\n%s\n\n",
                state, Database_getFileName(database));
      manager->m_deadState = 1;
    }
    manager->m_current = previous;
    manager->m_last = previous;
  }
  // What failed to be written belonged to the change given up (or to its erasure, reported
  // above): the next change starts with a clean count.
  Database_takeFailedWrites(database);
  const int32_t current = manager->m_current;
  std::vector<void *> reloaded;
  for (const std::string &key : keys) {
    void *object = Dictionary_find(manager->m_objects, key.c_str());
    zyrUUID *uuid = zyrUUID_newFromBase64(key.c_str());
    int32_t id = -1;
    int32_t deleted = 0;
    const bool stored = uuid != nullptr && Database_getInt(database, current, uuid, kType, &id) == 1 &&
                        Database_getInt(database, current, uuid, kDeleted, &deleted) != 1;
    if (object != nullptr) {
      if (stored)
        reloaded.push_back(object);
      else if (object != manager->m_owner && object != primaryModelOf(manager))
        unload(manager, key.c_str(), object);
    } else if (stored && zyrTypeManager_findTypeId(id) >= 0) {
      object = zyrObject_createMemory(uuid, zyrTypeManager_findTypeId(id));
      uuid = nullptr; // the object's now
      Dictionary_add(manager->m_objects, key.c_str(), object);
      reloaded.push_back(object);
    }
    zyrUUID_delete(uuid);
  }
  // Every object exists before any of them reads its references.
  for (void *object : reloaded)
    zyrObject_restore(object, 0);
}

// Whether the object of the key exists at the state, as an open at the state takes it from the
// whole history up to it (a change of state from state 0): its type stored at a state from 1 on up
// to it, and no deletion mark there. (It is made when its type is also known.)
bool existsAt(zyrStateManager *manager, const char *key, int32_t state) {
  Listing listing;
  listing.match(manager->m_database, 1, state, key, "__*");
  return listing.holds(-1, kType) && !listing.holds(-1, kDeleted);
}

// The keys of the objects with a type stored for a state after the current one: whether the file
// makes such an object can rest on that type (zyrStateManager_getTypeIdOfUUID), which goes with
// the history a change after going back drops.
std::vector<std::string> typedBeyond(zyrStateManager *manager) {
  std::vector<std::string> keys;
  Listing listing;
  listing.match(manager->m_database, absolute(manager->m_current) + 1, -1, "*", kType);
  for (int32_t k = 0; k < listing.m_noOfKeys; ++k)
    keys.emplace_back(listing.m_keys[k]);
  return keys;
}

// Once the versions after the state before the open one are erased, the state opened holds the
// objects of those keys as this process holds them, so that the next open makes the same: one it
// does not hold, which a type of a later state kept out (another type), is deleted there; one it
// holds, whose readable type went, has its type stored there again.
void keepObjectsAsHeld(zyrStateManager *manager, const std::vector<std::string> &keys, int32_t state) {
  for (const std::string &key : keys) {
    const void *object = Dictionary_find(manager->m_objects, key.c_str());
    const bool made =
        existsAt(manager, key.c_str(), state - 1) && zyrStateManager_getTypeIndexOfKey(manager, key.c_str()) >= 0;
    if ((object != nullptr) == made)
      continue;
    zyrUUID *uuid = zyrUUID_newFromBase64(key.c_str());
    const char *name = object != nullptr ? kType : kDeleted;
    const int32_t value = object != nullptr ? zyrObject_getTypeId(object) : 0;
    if (uuid != nullptr && Database_setInt(manager->m_database, state, uuid, name, value) == 1)
      manager->m_change->m_keys.insert(key);
    zyrUUID_delete(uuid);
  }
}

} // namespace

zyrStateManager *zyrStateManager_new() {
  zyrStateManager *manager = zyrMemory_allocateZeroedArray<zyrStateManager>(1, __func__);
  manager->m_objects = Dictionary_new(1);
  manager->m_cache = Dictionary_new(1);
  manager->m_claims = new zyrClaims();
  manager->m_change = new zyrChange();
  return manager;
}

void zyrStateManager_delete(zyrStateManager *manager) {
  if (manager == nullptr)
    return;
  Dictionary_delete(manager->m_objects);
  Dictionary_delete(manager->m_cache);
  delete manager->m_claims;
  delete manager->m_change;
  zyrMemory_free(manager, __func__);
}

void zyrStateManager_print(const zyrStateManager *, FILE *) {}

int32_t zyrStateManager_openState(zyrStateManager *manager) {
  if (manager->m_current < 0)
    return -manager->m_current;
  if (manager->m_database == nullptr || manager->m_current == INT32_MAX || manager->m_refused)
    return 0;
  // The whole change is this process's or none of it is: no other process may write, or even
  // read, the file while a state is open.
  if (!Database_claimWrite(manager->m_database, 1)) {
    manager->m_refused = 1;
    return 0;
  }
  const bool erases = manager->m_deadState || absolute(manager->m_last) > manager->m_current;
  const std::vector<std::string> typed = erases ? typedBeyond(manager) : std::vector<std::string>();
  // What a process that ended left open must not become part of this state. A change that cannot
  // start is refused whole: its commit says so and puts back what it touched.
  if (eraseDeadState(manager, manager->m_current) != 1) {
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Unable to erase the states after state %d of the database\n\n%s\n\n",
              manager->m_last, Database_getFileName(manager->m_database));
    manager->m_refused = 1;
    return 0;
  }
  const int32_t previous = manager->m_current;
  const int32_t state = previous + 1;
  // The file says the state is open before anything of it, or of the history it drops, is
  // written: a process that ends from here on leaves a state that the next open discards.
  if (storeCounter(manager->m_database, kCurrent, -state) != 1) {
    manager->m_refused = 1;
    return 0;
  }
  if (storeCounter(manager->m_database, kLast, -state) != 1) {
    // The stored current alone says the state is open, and drops the history after it.
    manager->m_last = previous;
    manager->m_deadState = 1;
    manager->m_refused = 1;
    return 0;
  }
  const bool dropsHistory = absolute(manager->m_last) > previous;
  manager->m_current = -state;
  manager->m_last = -state;
  if (dropsHistory) {
    // A change after going back: the states after the current one can no longer be reached.
    if (Database_rollback(manager->m_database, previous) != 1) {
      ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Unable to erase the states after state %d of the database\n\n%s\n\n", previous,
                Database_getFileName(manager->m_database));
      manager->m_refused = 1;
      return 0;
    }
    if (manager->m_owner != nullptr)
      Repository_truncateCheckpoints(static_cast<Repository *>(manager->m_owner), previous);
  }
  keepObjectsAsHeld(manager, typed, state);
  return state;
}

int32_t zyrStateManager_flushCache(zyrStateManager *manager) {
  ZYR_TRACE_BEGIN();
  int32_t flushed = 0;
  // A dump hook may mark further objects; they are flushed in the next round.
  for (int round = 0; round < 100 && Dictionary_getNoOfEntries(manager->m_cache) > 0; ++round) {
    std::vector<std::pair<std::string, void *>> cached;
    DictionaryIterator *iterator = DictionaryIterator_new(manager->m_cache);
    for (Pair *pair = DictionaryIterator_first(iterator); pair != nullptr; pair = DictionaryIterator_next(iterator))
      cached.emplace_back(static_cast<const char *>(Pair_getFirst(pair)), Pair_getSecond(pair));
    DictionaryIterator_delete(iterator);
    Dictionary_clear(manager->m_cache);
    for (const auto &entry : cached) {
      // A dump hook may have deleted another cached object.
      if (!isLive(manager, entry.first.c_str(), entry.second))
        continue;
      if (ZYR_TRACE_DEBUG(1))
        zyrTrace_printf("Cached: %s %4d [%s]\n", entry.first.c_str(), zyrObject_getTypeIndex(entry.second),
                        zyrObject_getTypeName(entry.second));
      zyrObject_dump(entry.second);
      ++flushed;
    }
  }
  return flushed;
}

int32_t zyrStateManager_commitState(zyrStateManager *manager) {
  zyrStateManager_flushCache(manager);
  if (manager->m_refused) {
    ZYR_ERROR(ZYR_U_UNABLE_TO_WRITE_DATASET,
              "The changes to the database\n\n%s\n\nwere refused and have been undone.\n",
              Database_getFileName(manager->m_database));
    abandonChange(manager);
    return 0;
  }
  const int32_t state = absolute(manager->m_current);
  int32_t failed = Database_takeFailedWrites(manager->m_database);
  if (manager->m_current < 0 && manager->m_database != nullptr) {
    // A state whose values did not all reach the file is no committed state. They reach the disc
    // before the counters that commit them, so that the counters are never there without them;
    // the stored current alone commits the state, so it goes last. A state reported committed is
    // on disc: a failed sync, after which the disc may hold anything of what was written, is a
    // failed commit.
    if (failed == 0 && (Database_sync(manager->m_database) != 1 ||
                        storeCounter(manager->m_database, kLast, state) != 1 ||
                        storeCounter(manager->m_database, kCurrent, state) != 1 ||
                        Database_sync(manager->m_database) != 1))
      ++failed;
    if (failed == 0) {
      manager->m_current = state;
      manager->m_last = state;
    }
  }
  if (failed > 0) {
    ZYR_ERROR(ZYR_U_UNABLE_TO_WRITE_DATASET,
              "Unable to commit state %d of the database\n\n%s\n\nas %d of its changes could not be written.\n", state,
              Database_getFileName(manager->m_database), failed);
    abandonChange(manager);
    return 0;
  }
  manager->m_change->m_keys.clear();
  return manager->m_current;
}

namespace {

// Where a change of state goes: the state it reaches and the range of states whose versions it
// applies (from the state after the lower end up to the higher one).
struct StateRange {
  int64_t m_target;
  int32_t m_from;
  int32_t m_to;
};

// The range of a change by step (not 0) from the current state; false when the change is refused:
// back past the first state, forward while a state is open, or forward past the last state.
bool rangeOfChange(const zyrStateManager *manager, int64_t step, StateRange *range) {
  if (step < 0) {
    range->m_target = absolute(manager->m_current) + step;
    if (range->m_target < absolute(manager->m_first))
      return false;
    range->m_from = static_cast<int32_t>(range->m_target) + 1;
    range->m_to = absolute(manager->m_current);
    return true;
  }
  if (manager->m_current < 0)
    return false;
  range->m_target = manager->m_current + step;
  if (range->m_target > absolute(manager->m_last))
    return false;
  range->m_from = manager->m_current + 1;
  range->m_to = static_cast<int32_t>(range->m_target);
  return true;
}

// The keys a change of state touches, by what it does to their objects (the key texts are the
// listing's).
struct ChangedKeys {
  std::vector<const char *> m_deleted;
  std::vector<const char *> m_modified;
  std::vector<const char *> m_restored;
};

// Sorts the keys of the range by the reserved names they hold there; d is the direction of the
// change. For a change from state 0 (the open) the range is the whole history, and an object both
// created and deleted inside it is left alone. For any other, whether an object made or deleted in
// the range exists at the state reached (`target`) is decided from the whole history up to it, as
// the open would decide it (one that does not and is not held is left alone): a damaged history
// can hold a second type or deletion mark of an object, which the range alone would take for its
// making or deletion.
void sortChangedKeys(zyrStateManager *manager, const Listing &listing, int32_t d, int32_t target, bool whole,
                     ChangedKeys *keys) {
  for (int32_t k = 0; k < listing.m_noOfKeys; ++k) {
    const char *key = listing.m_keys[k];
    if (std::strcmp(key, kGlobal) == 0)
      continue;
    const bool hasType = listing.holds(k, kType);
    const bool hasDeleted = listing.holds(k, kDeleted);
    if (!hasType && !hasDeleted) {
      keys->m_modified.push_back(key);
      continue;
    }
    if (whole && hasType && hasDeleted)
      continue;
    if (whole ? hasType == (d > 0) : existsAt(manager, key, target))
      keys->m_restored.push_back(key);
    else if (whole || Dictionary_find(manager->m_objects, key) != nullptr)
      keys->m_deleted.push_back(key);
  }
}

// One trace line a key: the key and the type index stored for it.
void traceKeys(zyrStateManager *manager, const std::vector<const char *> &keys) {
  for (const char *key : keys)
    zyrTrace_printf("  %s - %d\n", key, zyrStateManager_getTypeIndexOfKey(manager, key));
}

// Records that keep living but held one of the unloaded ones (a damaged file can make a record
// refer to one made at a later state) read their references again once the change is made: their
// keys, sorted, each once. The references to the unloaded records are forgotten.
std::vector<std::string> takeRereads(zyrStateManager *manager, const ChangedKeys &keys) {
  std::vector<std::string> rereads;
  std::unordered_set<std::string> changing(keys.m_deleted.begin(), keys.m_deleted.end());
  changing.insert(keys.m_restored.begin(), keys.m_restored.end());
  changing.insert(keys.m_modified.begin(), keys.m_modified.end());
  for (const char *key : keys.m_deleted) {
    const auto it = manager->m_claims->m_referrers.find(key);
    if (it == manager->m_claims->m_referrers.end())
      continue;
    for (const std::string &owner : it->second)
      if (changing.count(owner) == 0 && Dictionary_find(manager->m_objects, owner.c_str()) != nullptr)
        rereads.push_back(owner);
    manager->m_claims->m_referrers.erase(it);
  }
  std::sort(rereads.begin(), rereads.end());
  rereads.erase(std::unique(rereads.begin(), rereads.end()), rereads.end());
  return rereads;
}

void unloadDeleted(zyrStateManager *manager, const std::vector<const char *> &deleted) {
  for (const char *key : deleted) {
    void *object = zyrStateManager_pointerFromUUIDString(manager, key);
    if (object == nullptr)
      continue;
    // The owner and its model live as long as the open file: a state whose damaged history
    // deletes them is not stayed at (the change goes back), so that the file is never left at a
    // state that cannot be opened again.
    if (!manager->m_opening && (object == manager->m_owner || object == primaryModelOf(manager))) {
      manager->m_claims->m_lost.push_back(std::string(key) + " (" + zyrObject_getTypeName(object) +
                                          ") is deleted there");
      continue;
    }
    unload(manager, key, object);
  }
}

// Makes the objects the change brings back (those still live are kept) and restores them whole;
// every one exists before any of them reads its references. A key of no known type is reported
// in the name of the change (function) and skipped.
void restoreRestored(zyrStateManager *manager, const std::vector<const char *> &restored, const char *function) {
  std::vector<void *> created;
  for (const char *key : restored) {
    void *object = Dictionary_find(manager->m_objects, key);
    if (object == nullptr) {
      const int32_t index = zyrStateManager_getTypeIndexOfKey(manager, key);
      zyrUUID *uuid = index >= 0 ? zyrUUID_newFromBase64(key) : nullptr;
      if (uuid == nullptr) {
        ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, function, "Unable to determine type of restored object %s.\n", key);
        continue;
      }
      object = zyrObject_createMemory(uuid, index);
      Dictionary_add(manager->m_objects, key, object);
    }
    created.push_back(object);
  }
  for (void *object : created)
    zyrObject_restore(object, 0);
}

// The objects the change modifies read what changed in the range; those that must read their
// references again read everything.
void restoreModified(zyrStateManager *manager, const std::vector<const char *> &modified,
                     const std::vector<std::string> &rereads) {
  for (const char *key : modified) {
    void *object = zyrStateManager_pointerFromUUIDString(manager, key);
    if (object != nullptr)
      zyrObject_restore(object, 1);
  }
  for (const std::string &key : rereads) {
    void *object = Dictionary_find(manager->m_objects, key.c_str());
    if (object != nullptr)
      zyrObject_restore(object, 0);
  }
}

} // namespace

int zyrStateManager_changeState(zyrStateManager *manager, int32_t relative, int32_t number) {
  ZYR_TRACE_BEGIN();
  zyrStateManager_flushCache(manager);
  // A refused change is over: the objects it touched are put back first.
  if (manager->m_refused)
    abandonChange(manager);
  if (manager->m_database == nullptr)
    return 0;
  const int64_t step = relative == 1 ? number : static_cast<int64_t>(number) - absolute(manager->m_current);
  if (step == 0)
    return 1;
  StateRange range;
  if (!rangeOfChange(manager, step, &range))
    return 0;
  const int64_t target = range.m_target;
  const int32_t d = step < 0 ? -1 : 1;
  const int32_t previous = absolute(manager->m_current);

  Listing listing;
  listing.match(manager->m_database, range.m_from, range.m_to, "*", "*");

  int32_t newCurrent = static_cast<int32_t>(target);
  if (d > 0 && -newCurrent == manager->m_last)
    newCurrent = -newCurrent; // the last state was left open: it is open again
  manager->m_current = newCurrent;
  // Where the history stands is the writer's to store; a reader moves in memory only.
  if (!manager->m_opening && Database_isWriter(manager->m_database))
    storeCounter(manager->m_database, kCurrent, manager->m_current);

  manager->m_from = range.m_from;
  manager->m_to = range.m_to;
  manager->m_restoring = 1;
  manager->m_claims->m_lost.clear();

  ChangedKeys keys;
  sortChangedKeys(manager, listing, d, static_cast<int32_t>(target), d > 0 && range.m_from <= 1, &keys);
  if (ZYR_TRACE_DEBUG(1)) {
    zyrTrace_printf("Number of deleted objects  = %d\n", static_cast<int>(keys.m_deleted.size()));
    traceKeys(manager, keys.m_deleted);
    zyrTrace_printf("Number of modified objects = %d\n", static_cast<int>(keys.m_modified.size()));
    traceKeys(manager, keys.m_modified);
    zyrTrace_printf("Number of restored objects = %d\n", static_cast<int>(keys.m_restored.size()));
    traceKeys(manager, keys.m_restored);
  }
  const std::vector<std::string> rereads = takeRereads(manager, keys);
  unloadDeleted(manager, keys.m_deleted);
  restoreRestored(manager, keys.m_restored, __func__);
  restoreModified(manager, keys.m_modified, rereads);
  manager->m_restoring = 0;

  // A state at which a record lost what it cannot live without is not stayed at: the open fails
  // (see zyrStateManager_openDatabase), any other change goes back where it came from.
  if (!manager->m_opening && !manager->m_claims->m_returning && !manager->m_claims->m_lost.empty()) {
    const std::string loss = manager->m_claims->m_lost.front();
    manager->m_claims->m_returning = true;
    zyrStateManager_changeState(manager, 0, previous);
    manager->m_claims->m_returning = false;
    manager->m_claims->m_lost.clear();
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR,
              "State %d of the ZYR database\n\n%s\n\nis damaged: its stored record %s. The database has been left "
              "at state %d.\n",
              static_cast<int>(target), Database_getFileName(manager->m_database), loss.c_str(),
              static_cast<int>(absolute(manager->m_current)));
    return 0;
  }
  return 1;
}

int32_t zyrStateManager_getCurrentState(const zyrStateManager *manager) { return manager->m_current; }

int32_t zyrStateManager_getAbsoluteState(const zyrStateManager *manager) { return absolute(manager->m_current); }

int zyrStateManager_getStoredStates(zyrStateManager *manager, int32_t *current, int32_t *first, int32_t *last) {
  if (noDatabase(manager, __func__))
    return 0;
  const int status = Database_getInt(manager->m_database, 0, nullptr, kCurrent, current);
  Database_getInt(manager->m_database, 0, nullptr, kFirst, first);
  const int statusLast = Database_getInt(manager->m_database, 0, nullptr, kLast, last);
  return status != 1 ? status : statusLast;
}

int zyrStateManager_checkTypes(zyrStateManager *manager) {
  return manager->m_database != nullptr ? checkStoredTypes(manager->m_database) : 0;
}

int zyrStateManager_recordTypes(zyrStateManager *manager) {
  if (noDatabase(manager, __func__))
    return 0;
  char **names = nullptr;
  int32_t *ids = nullptr;
  const int32_t n = zyrTypeManager_getKnownTypes(&names, &ids);
  const int statusNames = Database_setStrings(manager->m_database, 0, nullptr, kTypeNames, names, n);
  const int statusIds = Database_setInts(manager->m_database, 0, nullptr, kTypeIds, ids, n);
  zyrCStringArray_free(names, static_cast<uint64_t>(n));
  zyrMemory_free(ids, __func__);
  return statusNames == 1 ? statusIds : statusNames;
}

namespace {

// Whether the disc failed a read of the database while it was opened (told if so): what was read
// may lack anything, and the open fails rather than present it, or take the file for a new one.
bool openReadFailed(zyrStateManager *manager) {
  const int error = DefFile_readFailure(Database_getDefFile(manager->m_database));
  if (error == 0)
    return false;
  ZYR_ERROR(ZYR_U_UNABLE_TO_OPEN_DATABASE, "The ZYR database\n\n%s\n\ncannot be opened: a read of it failed (%s).\n",
            Database_getFileName(manager->m_database), strerror(error));
  return true;
}

} // namespace

int zyrStateManager_openDatabase(zyrStateManager *manager, const char *name) {
  if (manager->m_database != nullptr)
    zyrStateManager_closeDatabase(manager, 1);
  manager->m_database = Database_new(name);
  if (manager->m_database == nullptr)
    return 0;
  Database *database = manager->m_database;
  manager->m_first = 0;
  manager->m_last = 0;
  manager->m_current = 0;
  // What the open of the file left out (cut off or damaged at its end, or entries whose frames do
  // not stand as the index says) it told already, as every open of a data-set file does.
  int32_t stored = 0;
  Database_getInt(database, 0, nullptr, kFirst, &manager->m_first);
  const int haveLast = Database_getInt(database, 0, nullptr, kLast, &manager->m_last);
  const int haveCurrent = Database_getInt(database, 0, nullptr, kCurrent, &stored);
  if (openReadFailed(manager)) {
    dropDatabase(manager);
    return 0;
  }
  // Versions of later states without the counters that say which of them is current: a file
  // that lost them is refused rather than taken for a new one and written over.
  if ((haveLast != 1 || haveCurrent != 1) && holdsStates(database, 0)) {
    ZYR_ERROR(ZYR_U_UNABLE_TO_OPEN_DATABASE,
              "The ZYR database\n\n%s\n\nholds changes but no record of its states; it is damaged.\n",
              Database_getFileName(database));
    dropDatabase(manager);
    return 0;
  }

  // The type record is checked before any object is made: records of unknown or renumbered
  // types must never reach the hooks of other types.
  const int types = checkStoredTypes(database);
  if (types == 0) {
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Unable to recognise some of the types of object in the ZYR database:\n\n%s\n\n",
              Database_getFileName(database));
    dropDatabase(manager);
    return 0;
  }
  zyrPause_point("state.before-recovery");
  const int recovered = recoverOpenState(manager, &stored);
  if (recovered != 1) {
    dropDatabase(manager);
    return recovered;
  }
  // Files keep every state from 0 on (a purge renumbers what it keeps to state 1 and stores 0
  // here): any other value is damage, and trusting it would hide every object made before it.
  if (manager->m_first != 0) {
    ZYR_ERROR(ZYR_W_INVALID_DATA_IGNORED,
              "The record of the first state of the database\n\n%s\n\nis damaged (%d); every state it holds "
              "is kept.\n",
              Database_getFileName(database), manager->m_first);
    manager->m_first = 0;
  }

  manager->m_current = 0;
  manager->m_opening = 1;
  int status = zyrStateManager_changeState(manager, 1, absolute(stored));
  manager->m_opening = 0;
  // A model whose topology, name manager or mesh could not be restored is not opened with a hole.
  if (status == 1 && !manager->m_claims->m_lost.empty()) {
    ZYR_ERROR(ZYR_U_UNABLE_TO_OPEN_DATABASE, "The ZYR database\n\n%s\n\nis damaged: its stored record %s%s.\n",
              Database_getFileName(database), manager->m_claims->m_lost.front().c_str(),
              manager->m_claims->m_lost.size() > 1 ? ", among other losses" : "");
    manager->m_claims->m_lost.clear();
    status = 0;
  }
  if (status == 1 && openReadFailed(manager))
    status = 0;
  if (status < 1) {
    unloadAll(manager);
    dropDatabase(manager);
    return status;
  }
  // A reader leaves the file as it is: the first writer records the types (at its close).
  if (types == 2 && Database_isWriter(database))
    zyrStateManager_recordTypes(manager);
  if (Database_isReadOnly(database)) {
    ZYR_ERROR(ZYR_W_INFORMATION, "The database\n\n%s\n\nis not writable: it has been opened for reading only.\n",
              Database_getFileName(database));
  }
  return 1;
}

namespace {

// Before the file is closed or copied: the types the open went by (this process's registry: the
// file's record named the same ones, or fewer, or none could be read) are what the file keeps. A
// writer stores the registry over no record or one of fewer types. 1, or 0 when it could not.
int keepTypeRecord(zyrStateManager *manager) {
  Database *database = manager->m_database;
  if (Database_isWriter(database) && checkStoredTypes(database) == 2)
    return zyrStateManager_recordTypes(manager) == 1 ? 1 : 0;
  return 1;
}

// The purge's erasures and counters, made on the database given, a copy of `original`: only the
// versions valid at the state stay, with the live objects alone; a copy of it with its whens made 1
// is the purged file.
int purgeHistory(zyrStateManager *manager, Database *database, const Database *original, int32_t state) {
  // The checkpoints name states that the purge renumbers: they go with the history.
  if (manager->m_owner != nullptr)
    Database_deleteDataSet(database, uuidOf(manager->m_owner), "checkpoints");
  int status = purgeUnloaded(manager, database);
  if (status != 1)
    return status;
  // Of every name the version that stays is the one the process read, the newest that reads: a
  // type record that cannot be read would make its object unknown to every later open, and any
  // other would lose the value the process held.
  status = Database_eraseModifiedData(database, state, kType, original);
  if (status != 1)
    return status;
  status = storeCounter(database, kCurrent, 1);
  if (status != 1)
    return status;
  status = storeCounter(database, kFirst, 0);
  if (status != 1)
    return status;
  return storeCounter(database, kLast, 1);
}

// The purged file made from a copy of the database's file, held by `purged` (zyrHeldTemporary.h):
// 1, or 0 with the failure published and nothing of it left. The copy it is made from is held
// from its making to its removal, through its closes and opens between.
int purgedCopy(zyrStateManager *manager, Database *database, zyrHeldTemporary *purged) {
  zyrHeldTemporary copy;
  if (!Database_copyValid(database, 0, &copy))
    return 0;
  zyrPause_point("purge.copied");
  Database *scratch = Database_openCopy(copy.m_name.c_str());
  int made = scratch != nullptr && purgeHistory(manager, scratch, database, absolute(manager->m_current)) == 1 &&
             Database_copyValid(scratch, 1, purged);
  if (Database_close(scratch) != 1 && made) {
    zyrHeldTemporary_end(purged);
    made = 0;
  }
  return made;
}

} // namespace

int zyrStateManager_compactDatabase(zyrStateManager *manager, Database *database, int32_t flag) {
  if (database == nullptr)
    return 0;
  if (flag == -1)
    return 1;
  // Refused whole, with one error, when the file is not this process's to rewrite.
  if (!Database_claimWrite(database, 1))
    return 0;
  if (flag != 1)
    return Database_compact(database);
  // The purge erases, so it works on a copy of the file's valid data sets; the purged copy takes
  // the file's place only when every step succeeded. One that fails half way (a damaged file)
  // leaves the file as it was, history and all.
  // Put in place, the purged copy is no longer under its name: its hold's end removes it only when
  // it was not.
  zyrHeldTemporary purged;
  if (!purgedCopy(manager, database, &purged))
    return 0;
  return Database_replaceWithCompacted(database, purged.m_name.c_str());
}

int zyrStateManager_hasChange(const zyrStateManager *manager) {
  // A write made to the file outside a state (its version, its type record) that failed is a change
  // lost too: the commit that follows fails on it, and says so.
  return manager->m_refused || manager->m_current < 0 || Dictionary_getNoOfEntries(manager->m_cache) > 0 ||
                 Database_getFailedWrites(manager->m_database) > 0
             ? 1
             : 0;
}

int zyrStateManager_commitChange(zyrStateManager *manager) {
  const int changed = zyrStateManager_hasChange(manager);
  return zyrStateManager_commitState(manager) > 0 || !changed ? 1 : 0;
}

int zyrStateManager_closeDatabase(zyrStateManager *manager, int32_t flag) {
  // A change that could not be committed is lost: the close says so.
  int result = zyrStateManager_commitChange(manager);
  if (manager->m_database == nullptr)
    return result;
  if (keepTypeRecord(manager) != 1)
    result = 0;
  // A compaction that keeps the history is housekeeping: while other processes hold the file
  // (or it cannot be written) it is left to a later close. A purge was asked for and must happen.
  const int housekeeping = flag == 0 && !Database_isWriter(manager->m_database) &&
                           !Database_claimWrite(manager->m_database, 0);
  // Not left because others hold the file: the file system refused (the error is published). A
  // file whose open found that it cannot be changed closes as one opened for reading only does.
  if (housekeeping && !Database_cannotBeChanged(manager->m_database) &&
      Database_claimFailedToWrite(manager->m_database))
    result = 0;
  // A compaction would copy what a process that ended left open.
  if (Database_isWriter(manager->m_database) && eraseDeadState(manager, absolute(manager->m_current)) != 1)
    result = 0;
  // A state that this process opened and then left by going back (a failed operation rolled back
  // to where it began) was never committed: it goes with the close, or the next open would take
  // it for the state of a process that ended without closing.
  if (Database_isWriter(manager->m_database) && manager->m_last < 0 && manager->m_current >= 0) {
    const int32_t committed = absolute(manager->m_last) - 1;
    if (Database_rollback(manager->m_database, committed) == 1 &&
        storeCounter(manager->m_database, kLast, committed) == 1)
      manager->m_last = committed;
    else
      result = 0;
  }
  const int compacted = housekeeping ? 1 : zyrStateManager_compactDatabase(manager, manager->m_database, flag);
  if (compacted != 1) {
    ZYR_ERROR(ZYR_W_INVALID_RESULT_IGNORED, "Unable to compact the database\n\n%s\n\n",
              Database_getFileName(manager->m_database));
    result = 0;
  }
  // Only a purge that succeeded left everything at state 1.
  if (flag == 1 && compacted == 1) {
    manager->m_first = 0;
    manager->m_current = 1;
    manager->m_last = 1;
  }
  manager->m_opening = 1;
  if (zyrStateManager_changeState(manager, 1, -absolute(manager->m_current)) < 1)
    result = 0;
  manager->m_opening = 0;
  // Whatever the history could not unload (a file whose first state is not 0) goes too.
  if (Dictionary_getNoOfEntries(manager->m_objects) > 0)
    unloadAll(manager);
  if (Database_close(manager->m_database) != 1)
    result = 0;
  manager->m_database = nullptr;
  manager->m_first = 0;
  manager->m_current = 0;
  manager->m_last = 0;
  Dictionary_clear(manager->m_cache);
  manager->m_claims->m_owners.clear();
  manager->m_claims->m_referrers.clear();
  manager->m_refused = 0;
  manager->m_deadState = 0;
  manager->m_change->m_keys.clear();
  return result;
}

namespace {

const char *const kCopying = "zyrStateManager_copyDatabase";

// The copy could not be made, or not put in place (`reason` then says why, else nothing more).
void publishCopyFailed(const Database *original, const char *fileName, const char *reason) {
  ZYR_ERROR_FOR(ZYR_U_UNABLE_TO_COPY_DATABASE, kCopying,
                "There was a problem copying the ZYR database from\n\n%s\n\nto\n\n%s\n\n%s%s",
                original != nullptr ? Database_getFileName(original) : "", fileName, reason != nullptr ? reason : "",
                reason != nullptr ? ".\n" : "");
}

// Why the copy does not take the place of the file under the name: a name that was to be new
// (`fresh`) has been taken meanwhile, by whatever file; what stands there is kept (it is no regular
// file, or it is in use); or the system's reason.
void publishPlacementRefused(const Database *original, const char *fileName, const zyrPlacement *place,
                             bool fresh) {
  if (fresh && zyrPlacement_isKept(place))
    zyrStateManager_publishExists(fileName, 0);
  else if (zyrPlacement_isKept(place))
    zyrPublishNotReplaced(fileName, zyrPlacement_reason(place).c_str(), "zyrStateManager_copyDatabase");
  else
    publishCopyFailed(original, fileName, zyrPlacement_reason(place).c_str());
}

// The copy of the database that takes the place of the file the placement found: made whole
// under the placement's temporary name, compacted there unless the process works on it, and
// renamed over that file only then, so that the name holds the old file or the whole copy
// whenever the process ends. Working on it, the process opens the copy under the name only once it
// is in place: its lock file is the name's own, and nothing is left under the temporary name.
int copyInPlace(zyrStateManager *manager, const char *fileName, int32_t workOnCopy, int32_t flag,
                zyrPlacement *place) {
  Database *original = manager->m_database;
  // The placement made the temporary (or said why it cannot be made there) and holds it.
  const char *temporary = place->m_temporary.m_name.c_str();
  if (Database_copyTo(original, temporary) != 1) {
    publishCopyFailed(original, fileName, nullptr);
    return 0;
  }
  if (workOnCopy != 1) {
    Database *copy = Database_openCopyOf(original, temporary, temporary);
    if (copy == nullptr) {
      publishCopyFailed(original, fileName, nullptr);
      return 0;
    }
    if (zyrStateManager_compactDatabase(manager, copy, flag) != 1)
      ZYR_ERROR_FOR(ZYR_W_INVALID_RESULT_IGNORED, kCopying, "Unable to compact the database\n\n%s\n\n", fileName);
    // A copy whose close could not store all of it does not take another file's place.
    if (Database_close(copy) != 1) {
      publishCopyFailed(original, fileName, nullptr);
      return 0;
    }
  }
  zyrPause_point("copy.before-replace");
  if (zyrPlacement_commit(place) != 1) {
    publishPlacementRefused(original, fileName, place, !place->m_exists);
    return 0;
  }
  if (workOnCopy != 1)
    return 1;
  zyrPlacement_end(place);
  Database *copy = Database_openCopyOf(original, fileName, place->m_target.c_str());
  if (copy == nullptr) {
    ZYR_ERROR_FOR(ZYR_U_UNABLE_TO_COPY_DATABASE, kCopying,
                  "The ZYR database has been copied to\n\n%s\n\nbut the copy could not be opened to work on.\n",
                  fileName);
    return 0;
  }
  manager->m_database = copy;
  if (zyrStateManager_compactDatabase(manager, original, flag) != 1)
    ZYR_ERROR_FOR(ZYR_W_INVALID_RESULT_IGNORED, kCopying, "Unable to compact the database\n\n%s\n\n",
                  Database_getFileName(original));
  Database_delete(original);
  return 1;
}

} // namespace

void zyrStateManager_publishExists(const char *fileName, int upgrading) {
  if (upgrading)
    ZYR_ERROR_FOR(ZYR_U_INVALID_INPUT, "zyrDatabaseUpgrade",
                  "The ZYR database can not be upgraded because the file\n\n%s\n\nalready exists.\n", fileName);
  else
    ZYR_ERROR_FOR(ZYR_U_UNABLE_TO_COPY_DATABASE, kCopying,
                  "Unable to copy the database as the file %s already exists.\n", fileName);
}

int zyrStateManager_copyDatabase(zyrStateManager *manager, const char *name, int32_t workOnCopy, int32_t flag,
                                 int replace) {
  if (name == nullptr || zyrCString_isBlank(name)) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "No file name has been supplied for the copied database.\n");
    return 0;
  }
  char *fileName = Database_fileName(name);
  const int exists = replace ? 0 : Database_fileExists(name, ZYR_U_UNABLE_TO_COPY_DATABASE, kCopying);
  if (exists != 0) {
    if (exists > 0)
      zyrStateManager_publishExists(fileName, 0);
    zyrCString_free(fileName);
    return 0;
  }
  zyrPause_point("copy.looked");
  // What stands under the name is looked at, and held, before anything is written: only a
  // regular file that nobody has open is replaced. A new name is made the same way, so that it
  // holds nothing or the whole copy whenever the process ends. The temporary leaves room for its
  // lock file.
  zyrPlacement place;
  if (!zyrPlacement_begin(&place, fileName, 4)) {
    publishPlacementRefused(manager->m_database, fileName, &place, !replace);
    zyrCString_free(fileName);
    return 0;
  }
  // A new name stays free until the copy takes it: one taken meanwhile is refused as one taken
  // before, here and by the rename that puts the copy in place, which never replaces.
  if (!replace && place.m_exists) {
    zyrStateManager_publishExists(fileName, 0);
    zyrCString_free(fileName);
    return 0;
  }
  // The copy holds what is committed: a change that could not be committed (or a type record that
  // could not be kept) would be missing from it, so there is no copy.
  const int committed = zyrStateManager_commitChange(manager);
  if (manager->m_database == nullptr) {
    zyrCString_free(fileName);
    return 1;
  }
  if (committed != 1 || keepTypeRecord(manager) != 1) {
    publishCopyFailed(manager->m_database, fileName, nullptr);
    zyrCString_free(fileName);
    return 0;
  }
  const int status = copyInPlace(manager, fileName, workOnCopy, flag, &place);
  zyrCString_free(fileName);
  return status;
}

void *zyrStateManager_newObject(zyrStateManager *manager, const char *typeName) {
  const int32_t state = writeState(manager, __func__, nullptr);
  if (state <= 0)
    return nullptr;
  const int32_t index = zyrTypeManager_findType(typeName);
  if (index < 0)
    return nullptr;
  void *object = zyrObject_createMemory(nullptr, index);
  char key[ZYR_UUID_BASE64_SIZE];
  keyOf(object, key);
  manager->m_change->m_keys.insert(key);
  Database_setInt(manager->m_database, state, uuidOf(object), kType, zyrTypeManager_getIdOfIndex(index));
  Dictionary_add(manager->m_objects, key, object);
  return object;
}

int zyrStateManager_deleteObject(zyrStateManager *manager, void *object) {
  if (object == nullptr)
    return 0;
  char key[ZYR_UUID_BASE64_SIZE];
  keyOf(object, key);
  int status = 1;
  if (manager->m_destroying != nullptr && manager->m_destroying != object) {
    char other[ZYR_UUID_BASE64_SIZE];
    keyOf(manager->m_destroying, other);
    std::printf("ERROR: Trying to delete and object from a destroy function.\n");
    std::printf("Deleting:   %s [%s]\n", key, zyrObject_getTypeName(object));
    std::printf("Destroying: %s [%s]\n", other, zyrObject_getTypeName(manager->m_destroying));
  }
  // Unloading (a change of state) leaves the stored object as it is; every other deletion, that
  // of a zyrObject_destroy target among them, is recorded. A delete hook that must keep the
  // stored object skips zyrObject_delete while zyrObject_isDestroying.
  if (manager->m_destroying == nullptr) {
    const int32_t state = writeState(manager, __func__, object);
    status = state > 0 ? Database_setInt(manager->m_database, state, uuidOf(object), kDeleted, 0) : 0;
  }
  forget(manager, key);
  zyrObject_destroyMemory(object);
  return status;
}

int zyrStateManager_destroyObject(zyrStateManager *manager, void *object) {
  char key[ZYR_UUID_BASE64_SIZE];
  keyOf(object, key);
  void *previousTarget = manager->m_destroyTarget;
  const int32_t previous = manager->m_destroy;
  manager->m_destroy = 1;
  manager->m_destroyTarget = object;
  const int status = zyrObject_deleteByType(object);
  manager->m_destroy = previous;
  manager->m_destroyTarget = previousTarget;
  if (Dictionary_find(manager->m_objects, key) == object)
    forget(manager, key);
  return status;
}

int zyrStateManager_reloadObject(zyrStateManager *, void *object) { return zyrObject_restore(object, 0); }

int zyrStateManager_isDestroying(const zyrStateManager *manager, const void *) { return manager->m_destroy ? 1 : 0; }

int zyrStateManager_canDelete(const zyrStateManager *manager, const void *) {
  return manager->m_destroying == nullptr ? 1 : 0;
}

int zyrStateManager_setModified(zyrStateManager *manager, void *object) {
  char key[ZYR_UUID_BASE64_SIZE];
  keyOf(object, key);
  if (Dictionary_find(manager->m_cache, key) == nullptr)
    Dictionary_add(manager->m_cache, key, object);
  return 1;
}

namespace {

// The record lost a vital reference: the open that restores it fails.
void noteLost(zyrStateManager *manager, const void *object, const char *name) {
  char key[ZYR_UUID_BASE64_SIZE];
  keyOf(object, key);
  manager->m_claims->m_lost.push_back(std::string(key) + " (" + zyrObject_getTypeName(object) + ") has lost its \"" +
                                      name + "\"");
}

} // namespace

namespace {

// The targets whose stored reference under the inverse name does not name the owner back are
// left out: a damaged file can point a reference at another object of the right type.
int checkInverse(zyrStateManager *manager, const void *owner, const char *ownerKey, const char *name,
                 const char *inverse, void **targets, int32_t n) {
  int32_t noOfBad = 0;
  for (int32_t i = 0; i < n; ++i) {
    if (targets[i] == nullptr)
      continue;
    zyrUUID **back = nullptr;
    int32_t count = 0;
    int refers = 0;
    if (Database_getPointers(manager->m_database, readState(manager), uuidOf(targets[i]), inverse, &back, &count) ==
        1)
      for (int32_t j = 0; j < count; ++j)
        refers = refers || (back[j] != nullptr && zyrUUID_isEqual(back[j], uuidOf(owner)) == 1);
    for (int32_t j = 0; j < count; ++j)
      zyrUUID_delete(back[j]);
    zyrMemory_free(back, __func__);
    if (!refers) {
      targets[i] = nullptr;
      ++noOfBad;
    }
  }
  if (noOfBad == 0)
    return 1;
  zyrError *error = zyrError_new(ZYR_I_INTERNAL_ERROR, "zyrStateManager_checkReferences", __FILE__, __LINE__);
  zyrError_addMessage(error,
                      "The stored record %s (%s) refers under \"%s\" to %d object(s) that do not refer back to it "
                      "under \"%s\";\n",
                      ownerKey, zyrObject_getTypeName(owner), name, static_cast<int>(noOfBad), inverse);
  zyrError_addMessage(error, "they have been left out.\n");
  zyrError_publish(error);
  return 0;
}

} // namespace

void zyrStateManager_noteUnread(zyrStateManager *manager, const void *object, const char *name) {
  if (!manager->m_restoring || manager->m_database == nullptr)
    return;
  Database *database = manager->m_database;
  const int32_t state = readState(manager);
  char key[ZYR_UUID_BASE64_SIZE];
  keyOf(object, key);
  const zyrAttributeRule *rule = zyrTypeManager_findAttribute(zyrObject_getTypeIndex(object), name);
  const bool vital = rule != nullptr && (rule->m_flags & ZYR_ATTRIBUTE_VITAL) != 0;
  // A version the index promises at the state that cannot be read back is damage, whatever the
  // type; an empty array is stored but reads as nothing, and describes as empty (for a vital
  // reference, as a lost one).
  Listing versions;
  versions.match(database, 0, state, key, name);
  const int32_t total = versions.m_offsets != nullptr ? versions.m_offsets[versions.m_noOfKeys] : 0;
  if (total > 0) {
    const int32_t version = versions.m_whens[total - 1];
    int32_t counts[6] = {0, 0, 0, 0, 0, 0};
    const bool empty = Database_describeData(database, state, uuidOf(object), name, &counts[0], &counts[1],
                                             &counts[2], &counts[3], &counts[4], &counts[5]) == 1 &&
                       counts[0] + counts[1] + counts[2] + counts[3] + counts[5] == 0;
    if (!empty)
      ZYR_ERROR(ZYR_I_INTERNAL_ERROR,
                "The stored record %s (%s) has a version of \"%s\" for state %d that cannot be read.\n", key,
                zyrObject_getTypeName(object), name, version);
    if (vital)
      noteLost(manager, object, name);
    return;
  }
  // A value the type always writes, of which no state holds any version, was lost; a record may
  // be given a value at a later state than the one it was made at.
  int stored = 0;
  if (rule == nullptr || (rule->m_flags & ZYR_ATTRIBUTE_OPTIONAL) != 0 ||
      (Database_isParameterChanged(database, -1, -1, uuidOf(object), name, &stored), stored))
    return;
  ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "The stored record %s (%s) has no readable \"%s\" at state %d.\n", key,
            zyrObject_getTypeName(object), name, state);
  if (vital)
    noteLost(manager, object, name);
}

int zyrStateManager_checkReferences(zyrStateManager *manager, void *owner, const char *name, void **targets,
                                    int32_t n) {
  char key[ZYR_UUID_BASE64_SIZE];
  keyOf(owner, key);
  if (manager->m_restoring)
    for (int32_t i = 0; i < n; ++i)
      if (targets[i] != nullptr) {
        char target[ZYR_UUID_BASE64_SIZE];
        keyOf(targets[i], target);
        manager->m_claims->m_referrers[target].insert(key);
      }
  const int32_t index = zyrObject_getTypeIndex(owner);
  if (!zyrTypeManager_hasAttributes(index))
    return 1;
  const zyrAttributeRule *rule = zyrTypeManager_findAttribute(index, name);
  int32_t noOfBad = 0;
  for (int32_t i = 0; i < n; ++i)
    if (targets[i] != nullptr && !zyrTypeManager_allowsTarget(rule, i, zyrObject_getTypeName(targets[i]))) {
      targets[i] = nullptr;
      ++noOfBad;
    }
  if (noOfBad > 0) {
    zyrError *error = zyrError_new(ZYR_I_INTERNAL_ERROR, __func__, __FILE__, __LINE__);
    zyrError_addMessage(error,
                        "The stored record %s (%s) refers under \"%s\" to %d object(s) that are not of type %s;\n", key,
                        zyrObject_getTypeName(owner), name, static_cast<int>(noOfBad),
                        rule != nullptr && rule->m_types != nullptr ? rule->m_types : "any it declares");
    zyrError_addMessage(error, "they have been left out.\n");
    zyrError_publish(error);
  }
  int ok = noOfBad == 0;
  if (rule != nullptr && rule->m_inverse != nullptr)
    ok &= checkInverse(manager, owner, key, name, rule->m_inverse, targets, n);
  if (rule != nullptr && (rule->m_flags & ZYR_ATTRIBUTE_OWNED) != 0)
    for (int32_t i = 0; i < n; ++i)
      ok &= zyrStateManager_claim(manager, owner, name, &targets[i], __func__);
  if (rule != nullptr && (rule->m_flags & ZYR_ATTRIBUTE_VITAL) != 0 && n == 1 && targets[0] == nullptr)
    noteLost(manager, owner, name);
  return ok;
}

int zyrStateManager_isParameterChanged(zyrStateManager *manager, const zyrUUID *uuid, const char *name, int *changed) {
  *changed = 0;
  if (manager->m_restoring && manager->m_database != nullptr)
    Database_isParameterChanged(manager->m_database, manager->m_from, manager->m_to, uuid, name, changed);
  return 1;
}

namespace {

// The owner is live and its stored reference under name at the current state names the part.
int stillHolds(zyrStateManager *manager, const std::string &ownerKey, const std::string &name, const zyrUUID *part) {
  void *owner = Dictionary_find(manager->m_objects, ownerKey.c_str());
  if (owner == nullptr)
    return 0;
  zyrUUID **targets = nullptr;
  int32_t n = 0;
  int holds = 0;
  if (Database_getPointers(manager->m_database, readState(manager), uuidOf(owner), name.c_str(), &targets, &n) == 1)
    for (int32_t i = 0; i < n; ++i)
      holds = holds || (targets[i] != nullptr && zyrUUID_isEqual(targets[i], part) == 1);
  for (int32_t i = 0; i < n; ++i)
    zyrUUID_delete(targets[i]);
  zyrMemory_free(targets, __func__);
  return holds;
}

} // namespace

int zyrStateManager_claim(zyrStateManager *manager, void *owner, const char *name, void **target, const char *caller) {
  if (*target == nullptr || manager->m_database == nullptr)
    return 1;
  char ownerKey[ZYR_UUID_BASE64_SIZE];
  char partKey[ZYR_UUID_BASE64_SIZE];
  keyOf(owner, ownerKey);
  keyOf(*target, partKey);
  int32_t shares = 1;
  if (zyrObject_getTypeId(*target) == ZYR_TYPE_ID_BLOB &&
      Database_getInt(manager->m_database, readState(manager), uuidOf(*target), "useCount", &shares) != 1)
    shares = 1;
  if (shares < 1)
    shares = 1;
  // Owners that let go of the part, and this owner's own earlier claim, no longer count.
  std::vector<std::pair<std::string, std::string>> &owners = manager->m_claims->m_owners[partKey];
  std::vector<std::pair<std::string, std::string>> kept;
  for (const auto &claim : owners)
    if (!(claim.first == ownerKey && claim.second == name) &&
        stillHolds(manager, claim.first, claim.second, uuidOf(*target)))
      kept.push_back(claim);
  owners.swap(kept);
  if (static_cast<int64_t>(owners.size()) < shares) {
    owners.emplace_back(ownerKey, name);
    return 1;
  }
  zyrError *error = zyrError_new(ZYR_I_INTERNAL_ERROR, caller, __FILE__, __LINE__);
  zyrError_addMessage(error,
                      "The stored record %s (%s) refers under \"%s\" to the object %s (%s), which already belongs "
                      "to %d other record(s);\n",
                      ownerKey, zyrObject_getTypeName(owner), name, partKey, zyrObject_getTypeName(*target),
                      static_cast<int>(owners.size()));
  zyrError_addMessage(error, "it has been left out.\n");
  zyrError_publish(error);
  *target = nullptr;
  return 0;
}

void *zyrStateManager_pointerFromUUIDString(zyrStateManager *manager, const char *key) {
  if (key == nullptr)
    return nullptr;
  void *object = Dictionary_find(manager->m_objects, key);
  if (object == nullptr && !zyrUUID_isNullString(key))
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Unable to determine in memory version of object %s.\n", key);
  return object;
}

void *zyrStateManager_pointerFromUUID(zyrStateManager *manager, const zyrUUID *uuid) {
  char key[ZYR_UUID_BASE64_SIZE];
  zyrUUID_toBase64(uuid, key);
  return zyrStateManager_pointerFromUUIDString(manager, key);
}

int32_t zyrStateManager_getTypeIndexOfKey(zyrStateManager *manager, const char *key) {
  zyrUUID *uuid = zyrUUID_newFromBase64(key);
  if (uuid == nullptr)
    return -1;
  const int32_t id = zyrStateManager_getTypeIdOfUUID(manager, uuid);
  zyrUUID_delete(uuid);
  return id >= 0 ? zyrTypeManager_findTypeId(id) : -1;
}

int32_t zyrStateManager_getTypeIdOfObject(zyrStateManager *manager, const void *object) {
  return zyrStateManager_getTypeIdOfUUID(manager, uuidOf(object));
}

int32_t zyrStateManager_getTypeIdOfUUID(zyrStateManager *manager, const zyrUUID *uuid) {
  if (manager->m_database == nullptr || uuid == nullptr)
    return -1;
  // An object keeps the type it was made with: a file whose versions give it another type is
  // damaged there, and the object is not taken as any of them, whatever state is current (so
  // that every opening of the file takes the same objects).
  char key[ZYR_UUID_BASE64_SIZE];
  zyrUUID_toBase64(uuid, key);
  Listing listing;
  listing.match(manager->m_database, -1, -1, key, kType);
  int32_t id = -1;
  bool typed = false; // a version read: negative numbers are types no registry knows, not none
  const int32_t total = listing.m_offsets != nullptr ? listing.m_offsets[listing.m_noOfKeys] : 0;
  for (int32_t j = 0; j < total; ++j) {
    int32_t version = -1;
    if (Database_getInt(manager->m_database, listing.m_whens[j], uuid, kType, &version) != 1)
      continue;
    if (typed && version != id) {
      ZYR_ERROR(ZYR_I_INTERNAL_ERROR,
                "The stored object %s is of type %d at one state and of type %d at another; it has been "
                "left out.\n",
                key, id, version);
      return -1;
    }
    id = version;
    typed = true;
  }
  return id;
}

int zyrStateManager_getObjectsByTypeID(zyrStateManager *manager, int32_t id, int32_t *count, void ***objects) {
  *count = 0;
  *objects = nullptr;
  const int32_t wanted = zyrTypeManager_findTypeId(id);
  if (wanted < 0 || manager->m_database == nullptr)
    return 0;
  Listing listing;
  // Objects are made and deleted at states from 1 on: a mark at state 0 is damage and hides nothing.
  const int32_t first = absolute(manager->m_first) > 1 ? absolute(manager->m_first) : 1;
  listing.match(manager->m_database, first, absolute(manager->m_current), "*", "__*");
  std::vector<void *> found;
  for (int32_t k = 0; k < listing.m_noOfKeys; ++k) {
    if (listing.holds(k, kDeleted) || !listing.holds(k, kType) ||
        zyrStateManager_getTypeIndexOfKey(manager, listing.m_keys[k]) != wanted)
      continue;
    void *object = Dictionary_find(manager->m_objects, listing.m_keys[k]);
    if (object != nullptr)
      found.push_back(object);
  }
  if (!found.empty()) {
    *count = static_cast<int32_t>(found.size());
    *objects = zyrMemory_allocateArray<void *>(*count, __func__);
    std::memcpy(*objects, found.data(), sizeof(void *) * found.size());
  }
  return 1;
}

int zyrStateManager_getObjectsByTypeName(zyrStateManager *manager, const char *typeName, int32_t *count,
                                         void ***objects) {
  const int32_t id = zyrTypeManager_getIdOfName(typeName);
  if (id < 0) {
    *count = 0;
    *objects = nullptr;
    return 0;
  }
  return zyrStateManager_getObjectsByTypeID(manager, id, count, objects);
}

void *zyrStateManager_getSingletonByTypeName(zyrStateManager *manager, const char *typeName) {
  int32_t count = 0;
  void **objects = nullptr;
  zyrStateManager_getObjectsByTypeName(manager, typeName, &count, &objects);
  void *object = count == 1 ? objects[0] : nullptr;
  zyrMemory_free(objects, __func__);
  return object;
}

namespace {

// What an import takes from the other database: its live objects, and among them the model and
// the Repository (indices into the listing; -1 when absent).
struct ImportSelection {
  std::vector<int32_t> m_kept;
  int32_t m_modelKey = -1;
  int32_t m_repositoryKey = -1;
};

// The keys of the listing whose objects exist and are not deleted, and the first model and
// Repository among them. Both are looked for: a Repository copied as an ordinary object would
// leave two in this database.
void selectLiveObjects(Database *other, const Listing &listing, ImportSelection *selection) {
  for (int32_t k = 0; k < listing.m_noOfKeys; ++k) {
    const int32_t begin = listing.m_offsets[k];
    const int32_t end = listing.m_offsets[k + 1];
    if (begin == end || listing.m_whens[begin] == 0)
      continue;
    int deleted = 0;
    int32_t typeWhen = -1;
    for (int32_t j = begin; j < end; ++j) {
      if (std::strcmp(listing.m_names[j], kDeleted) == 0)
        deleted = 1;
      else if (std::strcmp(listing.m_names[j], kType) == 0)
        typeWhen = listing.m_whens[j];
    }
    if (deleted)
      continue;
    if ((selection->m_modelKey < 0 || selection->m_repositoryKey < 0) && typeWhen >= 0) {
      zyrUUID *uuid = zyrUUID_newFromBase64(listing.m_keys[k]);
      int32_t id = -1;
      if (uuid != nullptr && Database_getInt(other, typeWhen, uuid, kType, &id) == 1) {
        if (id == ZYR_TYPE_ID_MODEL && selection->m_modelKey < 0)
          selection->m_modelKey = k;
        else if (id == ZYR_TYPE_ID_REPOSITORY && selection->m_repositoryKey < 0)
          selection->m_repositoryKey = k;
      }
      zyrUUID_delete(uuid);
    }
    selection->m_kept.push_back(k);
  }
}

// The other database's Repository (NULL without one); its primary model, when it names a live
// one, is the model imported.
zyrUUID *takePrimaryModel(Database *other, const Listing &listing, ImportSelection *selection) {
  const int32_t repositoryKey = selection->m_repositoryKey;
  if (repositoryKey < 0)
    return nullptr;
  zyrUUID *repositoryUUID = zyrUUID_newFromBase64(listing.m_keys[repositoryKey]);
  int32_t when = -1;
  for (int32_t j = listing.m_offsets[repositoryKey]; j < listing.m_offsets[repositoryKey + 1]; ++j)
    if (std::strcmp(listing.m_names[j], "primaryModel") == 0)
      when = listing.m_whens[j];
  zyrUUID *primary = nullptr;
  if (when >= 0 && repositoryUUID != nullptr &&
      Database_getPointer(other, when, repositoryUUID, "primaryModel", &primary) == 1 && primary != nullptr) {
    char primaryKey[ZYR_UUID_BASE64_SIZE];
    zyrUUID_toBase64(primary, primaryKey);
    for (int32_t k : selection->m_kept)
      if (std::strcmp(listing.m_keys[k], primaryKey) == 0)
        selection->m_modelKey = k;
  }
  zyrUUID_delete(primary);
  return repositoryUUID;
}

// The objects copied (the Repository stays behind), each name with its newest version only, in
// the layout Database_importObjects takes.
struct ImportBatch {
  std::vector<const char *> m_keys;
  std::vector<int32_t> m_offsets;
  std::vector<const char *> m_names;
  std::vector<int32_t> m_whens;
  int32_t m_modelIndex = -1;
};

void collectNewestVersions(const Listing &listing, const ImportSelection &selection, ImportBatch *batch) {
  for (int32_t k : selection.m_kept) {
    if (k == selection.m_repositoryKey)
      continue;
    if (k == selection.m_modelKey)
      batch->m_modelIndex = static_cast<int32_t>(batch->m_keys.size());
    batch->m_keys.push_back(listing.m_keys[k]);
    batch->m_offsets.push_back(static_cast<int32_t>(batch->m_names.size()));
    const int32_t end = listing.m_offsets[k + 1];
    for (int32_t j = listing.m_offsets[k]; j < end; ++j) {
      if (j + 1 < end && std::strcmp(listing.m_names[j], listing.m_names[j + 1]) == 0)
        continue;
      batch->m_names.push_back(listing.m_names[j]);
      batch->m_whens.push_back(listing.m_whens[j]);
    }
  }
  batch->m_offsets.push_back(static_cast<int32_t>(batch->m_names.size()));
}

const char *newKeyAt(const char *newKeys, size_t index) {
  return newKeys + static_cast<std::ptrdiff_t>(ZYR_UUID_BASE64_SIZE) * static_cast<std::ptrdiff_t>(index);
}

// The trace of an import: each object's type with its old and new key.
void traceImport(Database *other, int32_t to, const ImportBatch &batch, const char *newKeys) {
  zyrTrace_printf("Number of imported objects  = %d\n\n", static_cast<int>(batch.m_keys.size()));
  zyrTrace_printf("Number  Type Original UUID           New UUID\n\n");
  for (size_t i = 0; i < batch.m_keys.size(); ++i) {
    zyrUUID *uuid = zyrUUID_newFromBase64(batch.m_keys[i]);
    int32_t id = -1;
    if (uuid != nullptr)
      Database_getInt(other, to >= 0 ? to : INT32_MAX, uuid, kType, &id);
    zyrUUID_delete(uuid);
    zyrTrace_printf("%6d  %4d %s  %s\n", static_cast<int>(i), id, batch.m_keys[i], newKeyAt(newKeys, i));
  }
  zyrTrace_printf("\nModel is object %d: %s: %s\n", batch.m_modelIndex, batch.m_keys[batch.m_modelIndex],
                  newKeyAt(newKeys, static_cast<size_t>(batch.m_modelIndex)));
}

const char *const kImporting = "zyrStateManager_importModel";

// The other database of an import, open for reading: NULL, with why published, when it is not
// there, cannot be looked at, or is of an older release. The file is only read: it stays as it
// is, byte for byte. Its model is taken as the current release makes it: one of an older release
// is upgraded first (zyrModel_importMesh does), so one found here came under the name meanwhile.
Database *openToImport(const char *name, const char *fileName) {
  const int exists = Database_fileExists(name, ZYR_U_UNABLE_TO_OPEN_FILE, kImporting);
  if (exists == 0)
    ZYR_ERROR_FOR(ZYR_U_FILE_DOES_NOT_EXIST, kImporting, "The ZYR database\n\n%s\n\ndoes not exist.\n", fileName);
  Database *other = exists > 0 ? Database_openForReading(name) : nullptr;
  if (other != nullptr && Database_getVersion(other) < DATABASE_FIRST_CURRENT_VERSION) {
    ZYR_ERROR_FOR(ZYR_U_INVALID_INPUT, kImporting,
                  "The ZYR database\n\n%s\n\nhas been put under its name meanwhile, and is of an older release: "
                  "nothing of it has been taken. Importing it again upgrades it first.\n",
                  fileName);
    Database_delete(std::exchange(other, nullptr));
  }
  return other;
}

} // namespace

int zyrStateManager_importModel(zyrStateManager *manager, const char *name, void **model) {
  ZYR_TRACE_BEGIN();
  *model = nullptr;
  const int32_t s0 = zyrStateManager_commitState(manager);
  if (noDatabase(manager, __func__))
    return 0;
  char *fileName = Database_fileName(name);
  Database *other = openToImport(name, fileName);
  if (other == nullptr) {
    zyrCString_free(fileName);
    return 0;
  }

  // Only what the other file holds at its current state is taken: versions of states that were
  // undone there are not part of its model.
  int32_t otherCurrent = 0;
  int32_t to = -1;
  if (Database_getInt(other, 0, nullptr, kCurrent, &otherCurrent) == 1)
    to = absolute(otherCurrent);
  Listing listing;
  listing.match(other, -1, to, "*", "*");
  ImportSelection selection;
  selectLiveObjects(other, listing, &selection);
  zyrUUID *repositoryUUID = takePrimaryModel(other, listing, &selection);
  ImportBatch batch;
  collectNewestVersions(listing, selection, &batch);

  if (batch.m_modelIndex < 0) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "The requested ZYR database\n\n%s\n\ndoes not appear to contain a valid model.\n",
              fileName);
    zyrUUID_delete(repositoryUUID);
    Database_delete(other);
    zyrCString_free(fileName);
    return 0;
  }

  const int32_t state = zyrStateManager_openState(manager);
  char *newKeys = nullptr;
  const zyrUUID *ownerUUID = manager->m_owner != nullptr ? uuidOf(manager->m_owner) : nullptr;
  int status = state > 0 ? Database_importObjects(manager->m_database, other, state, repositoryUUID, ownerUUID,
                                                  static_cast<int32_t>(batch.m_keys.size()), batch.m_keys.data(),
                                                  batch.m_offsets.data(), batch.m_names.data(),
                                                  batch.m_whens.data(), &newKeys)
                         : 0;
  if (status != 1 || newKeys == nullptr) {
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Failed to import all the objects from the ZYR database %s.\n", fileName);
    zyrMemory_free(newKeys, __func__);
    zyrUUID_delete(repositoryUUID);
    Database_delete(other);
    zyrCString_free(fileName);
    return status != 1 ? status : 0;
  }
  const char *newModelKey = newKeyAt(newKeys, static_cast<size_t>(batch.m_modelIndex));
  if (selection.m_repositoryKey < 0 && ownerUUID != nullptr) {
    zyrUUID *newModel = zyrUUID_newFromBase64(newModelKey);
    Database_setPointer(manager->m_database, state, newModel, "repository", ownerUUID);
    zyrUUID_delete(newModel);
  }
  if (ZYR_TRACE_DEBUG(1))
    traceImport(other, to, batch, newKeys);

  // Loading the new state creates and restores every copied object.
  manager->m_current = s0;
  status = zyrStateManager_changeState(manager, 0, state);
  *model = Dictionary_find(manager->m_objects, newModelKey);
  zyrMemory_free(newKeys, __func__);
  zyrUUID_delete(repositoryUUID);
  Database_delete(other);
  zyrCString_free(fileName);
  return status;
}

void zyrStateManager_setOwner(zyrStateManager *manager, void *owner) { manager->m_owner = owner; }
void *zyrStateManager_getOwner(const zyrStateManager *manager) { return manager->m_owner; }
Database *zyrStateManager_getDatabase(const zyrStateManager *manager) { return manager->m_database; }

// ---- Attribute forwards ----
// Every typed attribute goes to the database at the state being written or read; the calling
// function's name reaches the error of a manager without a database.

namespace {

template <class Setter, class... In>
int setForward(zyrStateManager *manager, const char *function, void *object, const char *name, Setter set,
               In... in) {
  const int32_t state = writeState(manager, function, object);
  return state > 0 ? set(manager->m_database, state, uuidOf(object), name, in...) : 0;
}

template <class Getter, class... Out>
int getForward(zyrStateManager *manager, const char *function, void *object, const char *name, Getter get,
               Out... out) {
  if (noDatabase(manager, function))
    return 0;
  return get(manager->m_database, readState(manager), uuidOf(object), name, out...);
}

template <class T> void clearOut(T **out) { *out = nullptr; }
void clearOut(int32_t *count) { *count = 0; }

// A getter whose results are allocated: without a database they are emptied.
template <class Getter, class... Out>
int getClearedForward(zyrStateManager *manager, const char *function, void *object, const char *name, Getter get,
                      Out... out) {
  if (noDatabase(manager, function)) {
    (clearOut(out), ...);
    return 0;
  }
  return get(manager->m_database, readState(manager), uuidOf(object), name, out...);
}

} // namespace

int zyrStateManager_setInt(zyrStateManager *manager, void *object, const char *name, int32_t value) {
  return setForward(manager, __func__, object, name, Database_setInt, value);
}

int zyrStateManager_getInt(zyrStateManager *manager, void *object, const char *name, int32_t *value) {
  return getForward(manager, __func__, object, name, Database_getInt, value);
}

int zyrStateManager_setInts(zyrStateManager *manager, void *object, const char *name, const int32_t *values,
                            int32_t count) {
  return setForward(manager, __func__, object, name, Database_setInts, values, count);
}

int zyrStateManager_getInts(zyrStateManager *manager, void *object, const char *name, int32_t **values,
                            int32_t *count) {
  return getClearedForward(manager, __func__, object, name, Database_getInts, values, count);
}

int zyrStateManager_getIntArray(zyrStateManager *manager, void *object, const char *name, int32_t *values, int32_t n) {
  return getForward(manager, __func__, object, name, Database_getIntArray, values, n);
}

int zyrStateManager_setFloat(zyrStateManager *manager, void *object, const char *name, float value) {
  return setForward(manager, __func__, object, name, Database_setFloat, value);
}

int zyrStateManager_getFloat(zyrStateManager *manager, void *object, const char *name, float *value) {
  return getForward(manager, __func__, object, name, Database_getFloat, value);
}

int zyrStateManager_setFloats(zyrStateManager *manager, void *object, const char *name, const float *values,
                              int32_t count) {
  return setForward(manager, __func__, object, name, Database_setFloats, values, count);
}

int zyrStateManager_getFloats(zyrStateManager *manager, void *object, const char *name, float **values,
                              int32_t *count) {
  return getClearedForward(manager, __func__, object, name, Database_getFloats, values, count);
}

int zyrStateManager_getFloatArray(zyrStateManager *manager, void *object, const char *name, float *values, int32_t n) {
  return getForward(manager, __func__, object, name, Database_getFloatArray, values, n);
}

int zyrStateManager_setDouble(zyrStateManager *manager, void *object, const char *name, double value) {
  return setForward(manager, __func__, object, name, Database_setDouble, value);
}

int zyrStateManager_getDouble(zyrStateManager *manager, void *object, const char *name, double *value) {
  return getForward(manager, __func__, object, name, Database_getDouble, value);
}

int zyrStateManager_setDoubles(zyrStateManager *manager, void *object, const char *name, const double *values,
                               int32_t count) {
  return setForward(manager, __func__, object, name, Database_setDoubles, values, count);
}

int zyrStateManager_getDoubles(zyrStateManager *manager, void *object, const char *name, double **values,
                               int32_t *count) {
  return getClearedForward(manager, __func__, object, name, Database_getDoubles, values, count);
}

int zyrStateManager_getDoubleArray(zyrStateManager *manager, void *object, const char *name, double *values,
                                   int32_t n) {
  return getForward(manager, __func__, object, name, Database_getDoubleArray, values, n);
}

int zyrStateManager_setChar(zyrStateManager *manager, void *object, const char *name, char value) {
  return setForward(manager, __func__, object, name, Database_setChar, value);
}

int zyrStateManager_getChar(zyrStateManager *manager, void *object, const char *name, char *value) {
  return getForward(manager, __func__, object, name, Database_getChar, value);
}

int zyrStateManager_setChars(zyrStateManager *manager, void *object, const char *name, const char *values,
                             int32_t count) {
  return setForward(manager, __func__, object, name, Database_setChars, values, count);
}

int zyrStateManager_getChars(zyrStateManager *manager, void *object, const char *name, char **values, int32_t *count) {
  return getClearedForward(manager, __func__, object, name, Database_getChars, values, count);
}

int zyrStateManager_getCharArray(zyrStateManager *manager, void *object, const char *name, char *values, int32_t n) {
  return getForward(manager, __func__, object, name, Database_getCharArray, values, n);
}

int zyrStateManager_setString(zyrStateManager *manager, void *object, const char *name, const char *value) {
  return setForward(manager, __func__, object, name, Database_setString, value);
}

int zyrStateManager_getString(zyrStateManager *manager, void *object, const char *name, char **value) {
  return getClearedForward(manager, __func__, object, name, Database_getString, value);
}

int zyrStateManager_setStrings(zyrStateManager *manager, void *object, const char *name, char *const *values,
                               int32_t count) {
  return setForward(manager, __func__, object, name, Database_setStrings, values, count);
}

int zyrStateManager_getStrings(zyrStateManager *manager, void *object, const char *name, char ***values,
                               int32_t *count) {
  return getClearedForward(manager, __func__, object, name, Database_getStrings, values, count);
}

int zyrStateManager_getStringArray(zyrStateManager *manager, void *object, const char *name, char **values, int32_t n) {
  return getForward(manager, __func__, object, name, Database_getStringArray, values, n);
}

int zyrStateManager_setPointer(zyrStateManager *manager, void *object, const char *name, const zyrUUID *target) {
  return setForward(manager, __func__, object, name, Database_setPointer, target);
}

int zyrStateManager_getPointer(zyrStateManager *manager, void *object, const char *name, zyrUUID **target) {
  return getClearedForward(manager, __func__, object, name, Database_getPointer, target);
}

int zyrStateManager_setPointers(zyrStateManager *manager, void *object, const char *name, zyrUUID *const *targets,
                                int32_t count) {
  return setForward(manager, __func__, object, name, Database_setPointers, targets, count);
}

int zyrStateManager_getPointers(zyrStateManager *manager, void *object, const char *name, zyrUUID ***targets,
                                int32_t *count) {
  return getClearedForward(manager, __func__, object, name, Database_getPointers, targets, count);
}

int zyrStateManager_describeData(zyrStateManager *manager, void *object, const char *name, int32_t *noOfInts,
                                 int32_t *noOfFloats, int32_t *noOfDoubles, int32_t *noOfChars, int32_t *noOfOthers,
                                 int32_t *noOfPointers) {
  return getForward(manager, __func__, object, name, Database_describeData, noOfInts, noOfFloats, noOfDoubles, noOfChars, noOfOthers, noOfPointers);
}

int zyrStateManager_getData(zyrStateManager *manager, void *object, const char *name, int32_t *kind, void **values,
                            int32_t *count) {
  *kind = -1;
  *values = nullptr;
  *count = 0;
  return getForward(manager, __func__, object, name, Database_getData, kind, values, count);
}
