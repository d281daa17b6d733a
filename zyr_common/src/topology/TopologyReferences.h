#ifndef ZYR_TOPOLOGY_REFERENCES_H
#define ZYR_TOPOLOGY_REFERENCES_H
// Reading of the references that the records of the topology layer store, under the restore flag.
// The store checks every restored reference against what the record's type declares (a target of
// another type is reported, error 20006, and left out); these read them as the records keep them.
#include <cstdint>

struct Set;

// Persistent type ids of the topology records.
enum {
  TOPOLOGY_TYPE_ASSEMBLY = 2,
  TOPOLOGY_TYPE_ATLAS = 3,
  TOPOLOGY_TYPE_BOUNDARY = 4,
  TOPOLOGY_TYPE_CONNECTION = 5,
  TOPOLOGY_TYPE_NAME_MANAGER = 13,
  TOPOLOGY_TYPE_REGION = 14,
  TOPOLOGY_TYPE_SHELL = 16,
  TOPOLOGY_TYPE_TOPOLOGY = 17
};

// 1 when the object is live memory of the given type id (NULL is not).
int TopologyReferences_isOfType(const void *object, int32_t typeId);

// Reads one reference under the restore flag. Skipped (flag 1, unchanged): 1 and *target
// untouched. Otherwise *target becomes the referenced object, or NULL when the stored reference
// is the null one or does not name an object of the type (reported, result 0).
int TopologyReferences_read(void *owner, int32_t flag, const char *key, int32_t typeId,
                            void **target);

// Reads a reference array under the restore flag. Skipped: 1, *count -1 and *targets NULL.
// Otherwise the members of the expected type in stored order (the others are reported and left
// out), a new array (NULL when empty) and their count; result 0 when something was left out.
int TopologyReferences_readArray(void *owner, int32_t flag, const char *key, int32_t typeId,
                                 void ***targets, int32_t *count);

// The same into a member set: unless skipped (the set left as it is), *set is replaced by a new
// set of the members read, empty when there are none. The result is readArray's.
int TopologyReferences_readSet(void *owner, int32_t flag, const char *key, int32_t typeId,
                               Set **set);

#endif
