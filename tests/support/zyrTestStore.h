#ifndef ZYR_TEST_STORE_H
#define ZYR_TEST_STORE_H
// What a fuzz target of the store checks across a close: the objects an open database holds, with
// what they hold, which a reopen after the close must hold again. Header-only, like zyrTestErrors.h:
// it needs the store's headers on its user's include path.
#include "Database.h"
#include "Dictionary.h"
#include "Pair.h"
#include "Repository.h"
#include "zyrBlob.h"
#include "zyrObject.h"
#include "zyrStateManager.h"
#include "zyrTypeManager.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <unordered_map>

namespace zyrtest {

// The live objects of the repository's store with their keys. Other objects that damage made
// Repositories are left out: a purge erases them, and the reopen takes one Repository only.
template <class Visit> void forEachLiveObject(Repository *repository, Visit visit) {
  DictionaryIterator *iterator = DictionaryIterator_new(Repository_getStateManager(repository)->m_objects);
  for (Pair *pair = DictionaryIterator_first(iterator); pair != nullptr; pair = DictionaryIterator_next(iterator))
    if (Pair_getSecond(pair) == repository || zyrObject_getTypeId(Pair_getSecond(pair)) != ZYR_TYPE_ID_REPOSITORY)
      visit(static_cast<const char *>(Pair_getFirst(pair)), Pair_getSecond(pair));
  DictionaryIterator_delete(iterator);
}

inline std::set<std::string> liveObjectKeys(Repository *repository) {
  std::set<std::string> keys;
  forEachLiveObject(repository, [&](const char *key, void *) { keys.insert(key); });
  return keys;
}

// Each live object's kind and what it holds, by key, read from the records alone (nothing is
// read from the file or written to it): a blob's type, size, use count and data, its references
// as the keys of their targets; the Repository's primary model as its key. The text only needs to
// be equal for equal contents.
using ObjectContents = std::map<std::string, std::string>;

inline ObjectContents liveObjectContents(Repository *repository) {
  // Targets are named through the live table, never through the pointer itself: a reference to an
  // object no longer live must not be followed.
  std::unordered_map<const void *, std::string> keyOfLive;
  DictionaryIterator *iterator = DictionaryIterator_new(Repository_getStateManager(repository)->m_objects);
  for (Pair *pair = DictionaryIterator_first(iterator); pair != nullptr; pair = DictionaryIterator_next(iterator))
    keyOfLive[Pair_getSecond(pair)] = static_cast<const char *>(Pair_getFirst(pair));
  DictionaryIterator_delete(iterator);
  const auto nameOf = [&](const void *target) {
    if (target == nullptr)
      return std::string("null");
    const auto found = keyOfLive.find(target);
    return found != keyOfLive.end() ? found->second : std::string("<not live>");
  };
  ObjectContents contents;
  forEachLiveObject(repository, [&](const char *key, void *object) {
    std::string text = zyrObject_getTypeName(object);
    const int32_t id = zyrObject_getTypeId(object);
    if (id == ZYR_TYPE_ID_BLOB) {
      const zyrBlob *blob = static_cast<const zyrBlob *>(object);
      const int64_t size = zyrBlob_getSize(blob);
      const int32_t type = zyrBlob_getType(blob);
      text += " type " + std::to_string(type) + " size " + std::to_string(size) + " uses " +
              std::to_string(zyrBlob_getUseCount(blob)) + " data";
      const void *data = zyrBlob_getData(blob);
      if (data == nullptr || size <= 0) {
        text += data == nullptr ? " none" : " empty";
      } else if (type == ZYR_TYPE_POINTER) {
        const void *const *targets = static_cast<const void *const *>(data);
        for (int64_t i = 0; i < size / static_cast<int64_t>(sizeof(void *)); ++i)
          text += " " + nameOf(targets[i]);
      } else {
        static const char digits[] = "0123456789abcdef";
        text += " ";
        for (int64_t i = 0; i < size; ++i) {
          const unsigned char byte = static_cast<const unsigned char *>(data)[i];
          text += digits[byte >> 4];
          text += digits[byte & 15];
        }
      }
    } else if (id == ZYR_TYPE_ID_REPOSITORY) {
      text += " primary model " + nameOf(Repository_getPrimaryModel(static_cast<Repository *>(object)));
    }
    contents[key] = text;
  });
  return contents;
}

// The first difference between what was held and what a reopen holds, in words; empty when none.
inline std::string firstDifference(const ObjectContents &held, const ObjectContents &reopened) {
  for (const auto &[key, text] : held) {
    const auto found = reopened.find(key);
    if (found == reopened.end())
      return key + " (" + text + ") is not held again";
    if (found->second != text)
      return key + " was " + text + ", is " + found->second;
  }
  for (const auto &[key, text] : reopened)
    if (held.count(key) == 0)
      return key + " (" + text + ") is held again but was not";
  return std::string();
}

// A fuzz target's check of the reopen: it stops, naming the first difference, unless the reopened
// repository (NULL: the file did not open) holds what the close kept.
inline void requireHeldAgain(Repository *reopened, const ObjectContents &kept) {
  const std::string difference = reopened == nullptr ? std::string("the file does not open again")
                                                     : firstDifference(kept, liveObjectContents(reopened));
  if (difference.empty())
    return;
  std::fprintf(stderr, "After the close: %s\n", difference.c_str());
  std::abort();
}

// Closes the repository with `close` (its result 1 for success) and answers the objects, with
// their contents, that the file must hold afterwards, for a repository whose open showed `opened`.
// A process that writes the file, or purges it, leaves the file at its own state with the objects
// it holds; one that only read it went from state to state in memory alone, and leaves the file's
// state as the open found it.
template <class Close>
ObjectContents keptByClose(Repository *repository, int32_t flag, const ObjectContents &opened, Close close) {
  const bool writer = Database_isWriter(zyrStateManager_getDatabase(Repository_getStateManager(repository))) != 0;
  const ObjectContents held = liveObjectContents(repository);
  const bool purged = close() == 1 && flag == 1;
  return writer || purged ? held : opened;
}

} // namespace zyrtest

#endif
