#ifndef ZYR_TEST_STORE_H
#define ZYR_TEST_STORE_H
// What a fuzz target of the store checks across a close: the objects an open database holds, which
// a reopen after the close must hold again. Header-only, like zyrTestErrors.h: it needs the store's
// headers on its user's include path.
#include "Database.h"
#include "Dictionary.h"
#include "Pair.h"
#include "Repository.h"
#include "zyrObject.h"
#include "zyrStateManager.h"
#include "zyrTypeManager.h"

#include <set>
#include <string>

namespace zyrtest {

// The keys of the objects the repository's store holds. Other objects that damage made
// Repositories are left out: a purge erases them, and the reopen takes one Repository only.
inline std::set<std::string> liveObjectKeys(Repository *repository) {
  std::set<std::string> keys;
  DictionaryIterator *iterator = DictionaryIterator_new(Repository_getStateManager(repository)->m_objects);
  for (Pair *pair = DictionaryIterator_first(iterator); pair != nullptr; pair = DictionaryIterator_next(iterator))
    if (Pair_getSecond(pair) == repository || zyrObject_getTypeId(Pair_getSecond(pair)) != ZYR_TYPE_ID_REPOSITORY)
      keys.insert(static_cast<const char *>(Pair_getFirst(pair)));
  DictionaryIterator_delete(iterator);
  return keys;
}

// Closes the repository with `close` (its result 1 for success) and answers the keys of the objects
// the file must hold afterwards, for a repository whose open showed `opened`. A process that writes
// the file, or purges it, leaves the file at its own state with the objects it holds; one that only
// read it went from state to state in memory alone, and leaves the file's state as the open found
// it.
template <class Close>
std::set<std::string> keptByClose(Repository *repository, int32_t flag, const std::set<std::string> &opened,
                                  Close close) {
  const bool writer = Database_isWriter(zyrStateManager_getDatabase(Repository_getStateManager(repository))) != 0;
  const std::set<std::string> held = liveObjectKeys(repository);
  const bool purged = close() == 1 && flag == 1;
  return writer || purged ? held : opened;
}

} // namespace zyrtest

#endif
