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
  char *m_defaultRegionName;          // may keep a trailing blank
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
  // Per stem, the number from which probing for a free "<stem> <n>" may start: every smaller
  // number from 2 is known to be taken. Dropped for a stem when a name of it goes.
  void *m_stemCache;
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
// Replaces *name (a heap string) by the first of: the name itself (unless forced), "<name> 2",
// "<name> 3", ... that is not in use; the very result of Dictionary_makeKeyUnique with first
// number 2, found without probing the numbers already known to be taken. Nothing is entered.
void NameManager_makeKeyUnique(NameManager *nm, char **name, int32_t force);
// To be called whenever a name leaves the dictionary: the numbers of its stem are probed again.
void NameManager_forgetStem(NameManager *nm, const char *name);
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

// The Model's strategy parameters held here, by name: "NameManager_defaultAssemblyName" and
// "NameManager_defaultRegionName" (text), "NameManager_defaultRegionNameStrategy",
// "NameManager_regionNameStrategy" and "NameManager_compositeCopyingStrategy" (value). Setting
// maps each onto its setter above (1/0); -1 for a name that is not one of these.
int NameManager_setStrategyParameter(NameManager *nm, const char *parameter, const char *text, int32_t value);
// *text is a new string for the two names, *value the strategy for the others.
int NameManager_getStrategyParameter(const NameManager *nm, const char *parameter, char **text, int32_t *value);

// Renaming. Alias mode: 0 none; 1 the old name becomes an alias of the new one when the region
// atlas uses it as a primitive; 2 always. 1 when renamed or nothing had to change, 0 when the
// name cannot be made.
int NameManager_changeAssemblyName(NameManager *nm, Assembly *assembly, const char *name, int32_t aliasMode);
int NameManager_changeRegionName(NameManager *nm, Region *region, const char *name, int32_t aliasMode);

// Name duplication for an assembly copied noOfCopies times: begin once, duplicateNames once after
// each copy (regionMap: region of the copied assembly -> its copy), end once. Only under composite
// copying strategy 2; under 1 all three succeed and do nothing.
int NameManager_beginNameDuplication(NameManager *nm, Assembly *assembly, int32_t noOfCopies);
int NameManager_duplicateNames(NameManager *nm, HashTable *regionMap);
int NameManager_endNameDuplication(NameManager *nm);
void NameManager_releaseDuplication(NameManager *nm);

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

int NameManager_isNameResolvable(NameManager *nm, const char *name);
// The regions of one composite (repeats kept); 0 when a component is not an assembly or region.
int NameManager_resolveCompositeName(NameManager *nm, const char *name, int32_t *count, Region ***regions);
// Fills the cache of resolved composites (those resolving to at least one region).
int NameManager_getResolveAllComposites(NameManager *nm);
void NameManager_releaseResolved(NameManager *nm);
// The cached composites all of whose regions are among the given ones, in cache order.
int NameManager_getConsistentCompositeNames(NameManager *nm, int32_t count, Region *const *regions, int32_t *noOfNames,
                                            char ***names);

// Tags of composite names.
int NameManager_getTaggedCompositeNames(NameManager *nm, const char *tagOrder, const char *untaggedWord,
                                        const char *restWord, int32_t *count, char ***names);
// Every name is checked to be a composite before any is tagged.
int NameManager_tagCompositeNames(NameManager *nm, const char *tag, int32_t add, int32_t count,
                                  const char *const *names);
int NameManager_compositeNameHasTag(NameManager *nm, const char *name, const char *tag, int32_t *flag);
int NameManager_compositeNameGetTags(NameManager *nm, const char *name, char **tags);

// Explicit primitive names, kept only in the atlas.
int NameManager_isNamePrimitive(NameManager *nm, const char *name);
int NameManager_createPrimitiveName(NameManager *nm, const char *name);
int NameManager_destroyPrimitiveName(NameManager *nm, const char *name);
int NameManager_getPrimitiveNames(NameManager *nm, int32_t *count, char ***names);

// Region-map text: modes 1, 2 and 12 of Atlas_getVSN; the active text holds what the labelled
// regions use.
int NameManager_getVSN(NameManager *nm, int32_t mode, char **text);
int NameManager_getActiveVSN(NameManager *nm, const Labelling *inUse, char **text);

// Replaces (merge 0) or extends (merge 1) the primary map from region-map text. Composite names
// that clash with assembly or region names: code 3 and left out with ignoreClashes, else 10020
// and 0.
int NameManager_importPrimaryMap(NameManager *nm, const char *text, int32_t merge, int32_t ignoreClashes);
// Composites read with an imported mesh, each made a Union of its components.
int NameManager_addImportedComposites(NameManager *nm, int32_t noOfRegions, Region *const *regions,
                                      int32_t noOfComposites, char *const *names, const int32_t *componentCounts,
                                      char *const *const *componentLists);

// Carries the source's composite names over after its regions and assemblies moved into the
// target. All or nothing: 0 (error published) leaves the target's composites as they were.
int NameManager_transferCompositeNames(NameManager *target, NameManager *source, int32_t noOfRegions,
                                       Region *const *regions, char *const *oldRegionNames, int32_t noOfAssemblies,
                                       char *const *oldAssemblyNames, char *const *newAssemblyNames);

#endif
