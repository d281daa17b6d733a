#ifndef ZYR_ATLAS_H
#define ZYR_ATLAS_H
// The bridge between a NameManager and the region-atlas library: a persistent object holding one
// region atlas "ZYR atlas" with one map "Primary map" at the PRIMARY level. Composite names are
// definitions of that map. Every error status of the library becomes a published error 20006
// naming the library function. The map is stored as region-map text under "map - primary".
//
// int results are 1 on success and 0 on failure (an error has been published), unless said
// otherwise. Name arrays handed out are in tracked memory (zyrCStringArray_free).
#include "zyrObject.h"

#include <cstdint>
#include <cstdio>

struct RegionAtlas;
struct RegionMap;
struct RegionStatus;
struct Dictionary;

struct Atlas {
  zyrObject m_object;
  RegionAtlas *m_regionAtlas; // owned
  RegionMap *m_primaryMap;    // held in m_regionAtlas at level 3
  void *m_nameManager;        // the owning NameManager
};

Atlas *Atlas_new(void *nameManager);
int Atlas_create(Atlas *atlas, void *nameManager);
int Atlas_delete(void *atlas);
int Atlas_dump(void *atlas);
int Atlas_restore(void *atlas, int32_t flag);
int64_t Atlas_size();
void Atlas_print(const Atlas *atlas, FILE *stream);

// 1 when the status was an error and has been published.
int Atlas_reportError(const Atlas *atlas, RegionStatus *status, const char *caller, const char *libraryFunction,
                      const char *regionName);

int Atlas_resetRegionAtlasPrimaryMap(Atlas *atlas, const char *text);
int Atlas_replacePrimaryMap(Atlas *atlas, const char *text);
// NULL text is success without reading.
int RegionMap_readFromString(RegionMap **map, const char *text);

int Atlas_addCompositeToMap(Atlas *atlas, const char *name, int32_t combination, int32_t countA,
                            const char *const *listA, int32_t countB, const char *const *listB);
int Atlas_createUserComposite(Atlas *atlas, const char *name, int32_t combination, int32_t countA,
                              const char *const *listA, int32_t countB, const char *const *listB);
int Atlas_addAlias(Atlas *atlas, const char *newName, const char *oldName);
int Atlas_destroyUserComposite(Atlas *atlas, const char *name);
int Atlas_getUserCompositeDefinition(Atlas *atlas, const char *name, int32_t *combination, int32_t *countA,
                                     char ***listA, int32_t *countB, char ***listB);
// Counts, or -1 on failure.
int32_t Atlas_getCompositeNames(Atlas *atlas, char ***names);
int32_t Atlas_getTaggedCompositeNames(Atlas *atlas, const char *tagOrder, const char *untaggedWord,
                                      const char *restWord, char ***names);

int Atlas_tagCompositeName(Atlas *atlas, const char *tag, int32_t add, const char *name);
int Atlas_compositeNameHasTag(Atlas *atlas, const char *name, const char *tag, int32_t *flag);
// *text: the tags joined by ", " (tracked memory), NULL when there are none.
int Atlas_compositeNameGetTags(Atlas *atlas, const char *name, char **text);
int Atlas_copyTags(Atlas *atlas, const char *fromName, const char *toName);

int Atlas_addExplicitPrimitive(Atlas *atlas, const char *name);
int Atlas_removeExplicitPrimitive(Atlas *atlas, const char *name);
// 1 only on a successful yes; never reports.
int Atlas_isExplicitPrimitive(Atlas *atlas, const char *name);
// The region-atlas library's answer: a name the atlas does not define counts as primitive, known
// or not.
int Atlas_isPrimitive(Atlas *atlas, const char *name);
// 1 only when the primary map needs the name as a primitive: a composite definition uses it, or
// it is declared an explicit primitive; never reports.
int Atlas_isUsedPrimitive(Atlas *atlas, const char *name);
int Atlas_getExplicitPrimitives(Atlas *atlas, int32_t *count, char ***names);

// Names the atlas does not define resolve to success with no names.
int Atlas_resolveName(Atlas *atlas, const char *name, char ***names, int32_t *count);
// Mode 1 the whole atlas, 2 the primary map, 12 (any mode from 11) the map with its primitives.
int Atlas_getVSN(Atlas *atlas, int32_t mode, char **text);
// active: name -> flag stored in the value pointer ((void *)(intptr_t)flag), > 0 when the name is
// in use; an absent name is inactive.
int Atlas_getActiveVSN(Atlas *atlas, const Dictionary *active, char **text);

#endif
