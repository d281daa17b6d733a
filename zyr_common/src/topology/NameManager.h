#ifndef ZYR_NAME_MANAGER_H
#define ZYR_NAME_MANAGER_H
// The names of one topology ("NameManager", type id 13): the unique names of its assemblies and
// regions, the composite names defined in its Atlas, and reserved names, all kept unique in one
// dictionary (name -> Assembly or Region; no object for composite and reserved names). It names
// every assembly and region that enters the topology, and counts them so that an id is never
// given twice.
//
// Names handed out are new strings in tracked memory (zyrCString_free).
#include "BitField.h"
#include "zyrObject.h"

#include <cstdint>
#include <cstdio>

struct Atlas;
struct Assembly;
struct Dictionary;
struct HashSet;
struct HashTable;
struct Labelling;
struct Region;

// Kinds of NameManager_lookupName.
enum { NAME_KIND_UNKNOWN = -1, NAME_KIND_COMPOSITE = 1, NAME_KIND_ASSEMBLY = 2, NAME_KIND_REGION = 3 };

// Change bits.
enum { NAME_MANAGER_NAMES_CHANGED = 1, NAME_MANAGER_STRATEGIES_CHANGED = 2 };

struct NameManager {
  zyrObject m_object;
  Dictionary *m_nameDictionary; // keys owned by the NameManager
  Atlas *m_atlas;               // owned
  int32_t m_noOfCompositeNames; // entries without object
  int32_t m_noOfCreatedAssemblies;
  int32_t m_noOfCreatedRegions[4]; // per dimensionality
  char *m_defaultAssemblyName;
  char *m_defaultRegionName; // may keep a trailing blank
  int32_t m_defaultNameStrategy;      // 1 or 2
  int32_t m_regionNameStrategy;       // 1 to 4
  int32_t m_compositeCopyingStrategy; // 1 or 2
  int32_t m_useStem;                  // region-name strategy 3 or 4
  char *m_collapsedDefaultRegionName;
  BitField m_changes;
  void *m_duplication; // the name-duplication context, while one runs
  // Resolved composites: names, region counts and region arrays, valid while m_resolvedValid.
  int32_t m_noOfResolved;
  char **m_resolvedNames;
  int32_t *m_resolvedCounts;
  Region ***m_resolvedRegions;
  int32_t m_resolvedValid;
};

NameManager *NameManager_new();
int NameManager_delete(void *nm);
int NameManager_dump(void *nm);
int NameManager_restore(void *nm, int32_t flag);
int64_t NameManager_getSize();
void NameManager_print(const NameManager *nm, FILE *stream);
void NameManager_setDefaults(NameManager *nm);
Atlas *NameManager_getAtlas(const NameManager *nm);

// Naming of assemblies and regions entering the topology.
void NameManager_createAssemblyName(NameManager *nm, Assembly *assembly);
char *NameManager_createUniqueAssemblyName(NameManager *nm, const char *baseName, int32_t id);
void NameManager_registerAssemblyName(NameManager *nm, Assembly *assembly, char *name, int32_t id);
// 0 (nothing named) for a dimensionality outside 0 to 3.
int NameManager_createRegionName(NameManager *nm, Region *region);
char *NameManager_createUniqueRegionName(NameManager *nm, Region *region, const char *baseName, int32_t id);
char *NameManager_createDefaultName(NameManager *nm, int32_t strategy, int32_t dimensionality, int32_t id);
void NameManager_registerRegionName(NameManager *nm, Region *region, char *name, int32_t id);
// 1 when the region received exactly this name, 0 when it is taken.
int NameManager_useRegionName(NameManager *nm, Region *region, const char *name);

void *NameManager_lookupName(const NameManager *nm, const char *name, int32_t *kind);
int NameManager_isNameUsed(const NameManager *nm, const char *name);
int32_t NameManager_getNoOfNames(const NameManager *nm);
int32_t NameManager_getNoOfCompositeNames(const NameManager *nm);
int NameManager_removeName(NameManager *nm, const char *name);
int NameManager_insertReservedName(NameManager *nm, const char *name);
// Removes a reserved or composite name; a name that holds an assembly or region is refused (0).
int NameManager_deleteReservedName(NameManager *nm, const char *name);
int NameManager_reserveName(NameManager *nm, const char *name);
int NameManager_releaseName(NameManager *nm, const char *name);
int NameManager_reserveOrReleaseName(NameManager *nm, int32_t flag, const char *name);
int NameManager_makeUniqueName(NameManager *nm, const char *name, char **uniqueName);
char *NameManager_normaliseName(const NameManager *nm, const char *name, int keepLeadingBlank, int keepTrailingBlank);
void NameManager_touch(NameManager *nm);

// Strategies. None of them renames existing objects.
int NameManager_setDefaultAssemblyName(NameManager *nm, const char *name);
void NameManager_getDefaultAssemblyName(const NameManager *nm, char **name);
int NameManager_setRegionNameStrategy(NameManager *nm, const char *defaultRegionName, int32_t defaultNameStrategy,
                                      int32_t regionNameStrategy);
void NameManager_getRegionNameStrategy(const NameManager *nm, char **defaultRegionName, int32_t *defaultNameStrategy,
                                       int32_t *regionNameStrategy);
int NameManager_setCompositeNameStrategy(NameManager *nm, int32_t strategy);
void NameManager_getCompositeNameStrategy(const NameManager *nm, int32_t *strategy);

// Renaming. Alias mode: 0 none; 1 the old name becomes an alias of the new one when the region
// atlas uses it as a primitive; 2 always. 1 when renamed or nothing had to change, 0 when the
// name cannot be made.
int NameManager_changeAssemblyName(NameManager *nm, Assembly *assembly, const char *name, int32_t aliasMode);
int NameManager_changeRegionName(NameManager *nm, Region *region, const char *name, int32_t aliasMode);

// Composite names: names defined in the atlas, kept in the dictionary without object.
int NameManager_createCompositeName(NameManager *nm, const char *name, int32_t combination, int32_t countA,
                                    const char *const *listA, int32_t countB, const char *const *listB);
int NameManager_destroyCompositeName(NameManager *nm, const char *name);
int NameManager_checkNameIsComposite(const NameManager *nm, const char *name);
int NameManager_isNameComposite(const NameManager *nm, const char *name);
int NameManager_getCompositeNameDefinition(NameManager *nm, const char *name, int32_t *combination, int32_t *countA,
                                           char ***listA, int32_t *countB, char ***listB);
// The names without object (reserved names included) in dictionary order; their count.
int32_t NameManager_getCompositeNames(const NameManager *nm, char ***names);

// Adds the regions the name stands for to the set (no membership test). With report, failures
// publish 10039 or 10040; with acceptInvalid, a composite's invalid components are skipped.
int NameManager_resolveName(NameManager *nm, const char *name, int32_t report, int32_t acceptInvalid, HashSet *regions);

// Carries the source's composite names over after its regions and assemblies moved into the
// target. All or nothing: 0 (error published) leaves the target's composites as they were.
int NameManager_transferCompositeNames(NameManager *target, NameManager *source, int32_t noOfRegions,
                                       Region *const *regions, char *const *oldRegionNames, int32_t noOfAssemblies,
                                       char *const *oldAssemblyNames, char *const *newAssemblyNames);

#endif
