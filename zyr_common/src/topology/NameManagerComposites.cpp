// Composite names of the NameManager: names defined in the topology's region atlas as
// combinations of assemblies, regions and other composites, kept in the name dictionary without
// object so that no assembly or region can take them.
#include "Assembly.h"
#include "Atlas.h"
#include "Dictionary.h"
#include "HashSet.h"
#include "HashTable.h"
#include "Labelling.h"
#include "NameManager.h"
#include "Pair.h"
#include "Region.h"
#include "Topology.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

void addRegionsOf(void *object, int32_t kind, HashSet *regions) {
  if (kind == NAME_KIND_REGION) {
    HashSet_add(regions, object);
    return;
  }
  Region **members = nullptr;
  const int32_t n = Assembly_getRegions(static_cast<Assembly *>(object), 15, &members);
  for (int32_t i = 0; i < n; ++i)
    HashSet_add(regions, members[i]);
  zyrMemory_free(members, __func__);
}

// Tags of a ", "-joined text, split at commas and line ends, blanks around each removed.
std::vector<std::string> splitTags(const char *text) {
  std::vector<std::string> tags;
  std::string current;
  auto flush = [&]() {
    size_t from = 0, to = current.size();
    while (from < to && std::isspace(static_cast<unsigned char>(current[from])))
      ++from;
    while (to > from && std::isspace(static_cast<unsigned char>(current[to - 1])))
      --to;
    if (to > from)
      tags.push_back(current.substr(from, to - from));
    current.clear();
  };
  for (const char *p = text; p != nullptr && *p != '\0'; ++p) {
    if (*p == ',' || *p == '\n' || *p == '\r')
      flush();
    else
      current += *p;
  }
  flush();
  return tags;
}

struct Definition {
  std::string name;
  int32_t combination = 0;
  std::vector<std::string> listA, listB;
  char *newName = nullptr;
};

std::vector<const char *> pointersOf(const std::vector<std::string> &names) {
  std::vector<const char *> pointers;
  for (const std::string &name : names)
    pointers.push_back(name.c_str());
  return pointers;
}

} // namespace

int NameManager_isNameComposite(const NameManager *nm, const char *name) {
  int32_t kind = NAME_KIND_UNKNOWN;
  NameManager_lookupName(nm, name, &kind);
  return kind == NAME_KIND_COMPOSITE ? 1 : 0;
}

int NameManager_checkNameIsComposite(const NameManager *nm, const char *name) {
  int32_t kind = NAME_KIND_UNKNOWN;
  NameManager_lookupName(nm, name, &kind);
  if (kind == NAME_KIND_COMPOSITE)
    return 1;
  const char *other = kind == NAME_KIND_ASSEMBLY ? "\nThere is an assembly with this name.\n"
                      : kind == NAME_KIND_REGION ? "\nThere is a primitive region with this name.\n"
                                                 : "";
  ZYR_ERROR(ZYR_U_INVALID_INPUT, "The supplied name, \"%s\",\nis not a composite name.\n%s",
            name != nullptr ? name : "", other);
  return 0;
}

int NameManager_createCompositeName(NameManager *nm, const char *name, int32_t combination, int32_t countA,
                                    const char *const *listA, int32_t countB, const char *const *listB) {
  int32_t kind = NAME_KIND_UNKNOWN;
  NameManager_lookupName(nm, name, &kind);
  if (kind != NAME_KIND_UNKNOWN) {
    const char *what = kind == NAME_KIND_COMPOSITE  ? "a composite region"
                       : kind == NAME_KIND_ASSEMBLY ? "an assembly"
                       : kind == NAME_KIND_REGION   ? "a primitive region"
                                                    : "an object of unknown type";
    ZYR_ERROR(ZYR_U_INVALID_INPUT,
              "The name \"%s\" can not be used as a composite name as\nthere is already %s with the same name.\n", name,
              what);
    return 0;
  }
  if (name == nullptr || !Atlas_createUserComposite(nm->m_atlas, name, combination, countA, listA, countB, listB))
    return 0;
  return NameManager_insertReservedName(nm, name);
}

int NameManager_destroyCompositeName(NameManager *nm, const char *name) {
  if (!NameManager_checkNameIsComposite(nm, name))
    return 0;
  if (!Atlas_destroyUserComposite(nm->m_atlas, name))
    return 0;
  return NameManager_deleteReservedName(nm, name);
}

int NameManager_getCompositeNameDefinition(NameManager *nm, const char *name, int32_t *combination, int32_t *countA,
                                           char ***listA, int32_t *countB, char ***listB) {
  *combination = 0;
  *countA = 0;
  *listA = nullptr;
  *countB = 0;
  *listB = nullptr;
  if (!NameManager_checkNameIsComposite(nm, name))
    return 0;
  return Atlas_getUserCompositeDefinition(nm->m_atlas, name, combination, countA, listA, countB, listB);
}

int32_t NameManager_getCompositeNames(const NameManager *nm, char ***names) {
  *names = nullptr;
  if (nm->m_noOfCompositeNames < 1)
    return 0;
  std::vector<char *> found;
  DictionaryIterator *iterator = DictionaryIterator_new(nm->m_nameDictionary);
  for (Pair *pair = DictionaryIterator_first(iterator); pair != nullptr; pair = DictionaryIterator_next(iterator))
    if (Pair_getSecond(pair) == nullptr)
      found.push_back(static_cast<char *>(Pair_getFirst(pair)));
  DictionaryIterator_delete(iterator);
  if (found.empty())
    return 0;
  *names = zyrCStringArray_clone(found.data(), found.size());
  return static_cast<int32_t>(found.size());
}

int NameManager_resolveName(NameManager *nm, const char *name, int32_t report, int32_t acceptInvalid,
                            HashSet *regions) {
  int32_t kind = NAME_KIND_UNKNOWN;
  void *object = NameManager_lookupName(nm, name, &kind);
  if (kind == NAME_KIND_ASSEMBLY || kind == NAME_KIND_REGION) {
    addRegionsOf(object, kind, regions);
    return 1;
  }
  if (kind == NAME_KIND_UNKNOWN) {
    if (report)
      ZYR_ERROR(ZYR_U_UNRECOGNISED_NAME, "The region name \"%s\" was not recognised.\n", name != nullptr ? name : "");
    return 0;
  }
  char **primitives = nullptr;
  int32_t n = 0;
  if (!Atlas_resolveName(nm->m_atlas, name, &primitives, &n))
    return 0;
  if (n == 0) {
    if (report)
      ZYR_ERROR(ZYR_U_UNRECOGNISED_NAME, "The region name \"%s\" was not recognised.\n", name);
    return 0;
  }
  std::vector<void *> objects(static_cast<size_t>(n), nullptr);
  std::vector<int32_t> kinds(static_cast<size_t>(n), NAME_KIND_UNKNOWN);
  bool allValid = true;
  for (int32_t i = 0; i < n; ++i) {
    objects[static_cast<size_t>(i)] = NameManager_lookupName(nm, primitives[i], &kinds[static_cast<size_t>(i)]);
    const int32_t k = kinds[static_cast<size_t>(i)];
    if (k != NAME_KIND_ASSEMBLY && k != NAME_KIND_REGION)
      allValid = false;
  }
  int result = 1;
  if (allValid || acceptInvalid) {
    for (int32_t i = 0; i < n; ++i) {
      const int32_t k = kinds[static_cast<size_t>(i)];
      if (k == NAME_KIND_ASSEMBLY || k == NAME_KIND_REGION)
        addRegionsOf(objects[static_cast<size_t>(i)], k, regions);
    }
  } else {
    result = 0;
    if (report) {
      zyrError *error = zyrError_new(ZYR_U_UNRESOLVED_NAME, __func__, __FILE__, __LINE__);
      zyrError_addMessage(error,
                          "One or more of the region names used to define region \"%s\"\nis not a valid primitive "
                          "region or assembly:\n\n",
                          name);
      for (int32_t i = 0; i < n; ++i) {
        const int32_t k = kinds[static_cast<size_t>(i)];
        if (k == NAME_KIND_ASSEMBLY || k == NAME_KIND_REGION)
          zyrError_addMessage(error, "  \"%s\"\n", primitives[i]);
        else
          zyrError_addMessage(error, "  \"%s\"  <-- INVALID \n", primitives[i]);
      }
      zyrError_addMessage(error, "\n");
      zyrError_publish(error);
    }
  }
  zyrCStringArray_free(primitives, static_cast<uint64_t>(n));
  return result;
}

int NameManager_transferCompositeNames(NameManager *target, NameManager *source, int32_t noOfRegions,
                                       Region *const *regions, char *const *oldRegionNames, int32_t noOfAssemblies,
                                       char *const *oldAssemblyNames, char *const *newAssemblyNames) {
  char **names = nullptr;
  const int32_t noOfNames = NameManager_getCompositeNames(source, &names);
  if (noOfNames < 1)
    return 1;

  // Every definition is read and checked before anything changes in the target.
  std::unordered_map<std::string, std::string> renamed;
  for (int32_t i = 0; i < noOfRegions; ++i)
    if (oldRegionNames[i] != nullptr && Region_getUserName(regions[i]) != nullptr)
      renamed.emplace(oldRegionNames[i], Region_getUserName(regions[i]));
  std::vector<Definition> definitions(static_cast<size_t>(noOfNames));
  int ok = 1;
  for (int32_t i = 0; ok && i < noOfNames; ++i) {
    Definition &definition = definitions[static_cast<size_t>(i)];
    definition.name = names[i];
    int32_t countA = 0, countB = 0;
    char **listA = nullptr, **listB = nullptr;
    ok = NameManager_getCompositeNameDefinition(source, names[i], &definition.combination, &countA, &listA, &countB,
                                                &listB);
    for (int32_t j = 0; j < countA; ++j)
      definition.listA.push_back(listA[j] != nullptr ? listA[j] : "");
    for (int32_t j = 0; j < countB; ++j)
      definition.listB.push_back(listB[j] != nullptr ? listB[j] : "");
    zyrCStringArray_free(listA, static_cast<uint64_t>(countA));
    zyrCStringArray_free(listB, static_cast<uint64_t>(countB));
    if (ok && renamed.count(definition.name) != 0) {
      ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Composite name, %s, can not correspond to a region;\n", names[i]);
      ok = 0;
    }
  }
  zyrCStringArray_free(names, static_cast<uint64_t>(noOfNames));
  if (!ok)
    return 0;

  // New names, each held by a reservation until its composite is made, so that two transferred
  // composites never receive the same name.
  std::unordered_map<std::string, std::string> assemblies, composites;
  for (int32_t i = 0; i < noOfAssemblies; ++i)
    if (oldAssemblyNames[i] != nullptr && newAssemblyNames[i] != nullptr)
      assemblies.emplace(oldAssemblyNames[i], newAssemblyNames[i]);
  for (Definition &definition : definitions) {
    if (!NameManager_makeUniqueName(target, definition.name.c_str(), &definition.newName))
      definition.newName = zyrCString_clone(definition.name.c_str());
    NameManager_insertReservedName(target, definition.newName);
    composites.emplace(definition.name, definition.newName);
  }
  auto rename = [&](std::vector<std::string> &list) {
    for (std::string &component : list) {
      auto region = renamed.find(component);
      if (region != renamed.end()) {
        component = region->second;
        continue;
      }
      auto assembly = assemblies.find(component);
      if (assembly != assemblies.end()) {
        component = assembly->second;
        continue;
      }
      auto composite = composites.find(component);
      if (composite != composites.end())
        component = composite->second;
    }
  };

  size_t created = 0;
  for (Definition &definition : definitions) {
    rename(definition.listA);
    rename(definition.listB);
    NameManager_deleteReservedName(target, definition.newName);
    std::vector<const char *> a = pointersOf(definition.listA), b = pointersOf(definition.listB);
    if (!NameManager_createCompositeName(target, definition.newName, definition.combination,
                                         static_cast<int32_t>(a.size()), a.data(), static_cast<int32_t>(b.size()),
                                         b.data())) {
      ok = 0;
      break;
    }
    ++created;
    char *tags = nullptr;
    if (Atlas_compositeNameGetTags(source->m_atlas, definition.name.c_str(), &tags) && tags != nullptr)
      for (const std::string &tag : splitTags(tags))
        Atlas_tagCompositeName(target->m_atlas, tag.c_str(), 1, definition.newName);
    zyrCString_free(tags);
  }
  if (!ok) {
    // All or nothing: what this call made is taken back.
    for (size_t i = 0; i < definitions.size(); ++i) {
      if (i < created)
        NameManager_destroyCompositeName(target, definitions[i].newName);
      else
        NameManager_deleteReservedName(target, definitions[i].newName);
    }
  }
  for (Definition &definition : definitions)
    zyrCString_free(definition.newName);
  return ok;
}

// ---- tags ---------------------------------------------------------------------------------

int NameManager_getTaggedCompositeNames(NameManager *nm, const char *tagOrder, const char *untaggedWord,
                                        const char *restWord, int32_t *count, char ***names) {
  *count = 0;
  *names = nullptr;
  const int32_t n = Atlas_getTaggedCompositeNames(nm->m_atlas, tagOrder, untaggedWord, restWord, names);
  if (n < 0) {
    *names = nullptr;
    return 0;
  }
  *count = n;
  return 1;
}

int NameManager_tagCompositeNames(NameManager *nm, const char *tag, int32_t add, int32_t count,
                                  const char *const *names) {
  for (int32_t i = 0; i < count; ++i)
    if (!NameManager_checkNameIsComposite(nm, names[i]))
      return 0;
  for (int32_t i = 0; i < count; ++i)
    if (!Atlas_tagCompositeName(nm->m_atlas, tag, add, names[i]))
      return 0;
  return 1;
}

int NameManager_compositeNameHasTag(NameManager *nm, const char *name, const char *tag, int32_t *flag) {
  *flag = 0;
  if (!NameManager_checkNameIsComposite(nm, name))
    return 0;
  return Atlas_compositeNameHasTag(nm->m_atlas, name, tag, flag);
}

int NameManager_compositeNameGetTags(NameManager *nm, const char *name, char **tags) {
  *tags = nullptr;
  if (!NameManager_checkNameIsComposite(nm, name))
    return 0;
  return Atlas_compositeNameGetTags(nm->m_atlas, name, tags);
}

// ---- explicit primitive names -------------------------------------------------------------

int NameManager_isNamePrimitive(NameManager *nm, const char *name) {
  return Atlas_isExplicitPrimitive(nm->m_atlas, name);
}

int NameManager_createPrimitiveName(NameManager *nm, const char *name) {
  Atlas_addExplicitPrimitive(nm->m_atlas, name);
  return 1;
}

int NameManager_destroyPrimitiveName(NameManager *nm, const char *name) {
  Atlas_removeExplicitPrimitive(nm->m_atlas, name);
  return 1;
}

int NameManager_getPrimitiveNames(NameManager *nm, int32_t *count, char ***names) {
  return Atlas_getExplicitPrimitives(nm->m_atlas, count, names);
}

// ---- resolution ---------------------------------------------------------------------------

int NameManager_isNameResolvable(NameManager *nm, const char *name) {
  int32_t kind = NAME_KIND_UNKNOWN;
  NameManager_lookupName(nm, name, &kind);
  if (kind == NAME_KIND_ASSEMBLY || kind == NAME_KIND_REGION)
    return 1;
  if (kind != NAME_KIND_COMPOSITE)
    return 0;
  char **primitives = nullptr;
  int32_t n = 0;
  if (!Atlas_resolveName(nm->m_atlas, name, &primitives, &n))
    return 0;
  int resolvable = n > 0 ? 1 : 0;
  for (int32_t i = 0; resolvable && i < n; ++i) {
    NameManager_lookupName(nm, primitives[i], &kind);
    if (kind != NAME_KIND_ASSEMBLY && kind != NAME_KIND_REGION)
      resolvable = 0;
  }
  zyrCStringArray_free(primitives, static_cast<uint64_t>(n));
  return resolvable;
}

int NameManager_resolveCompositeName(NameManager *nm, const char *name, int32_t *count, Region ***regions) {
  *count = 0;
  *regions = nullptr;
  char **primitives = nullptr;
  int32_t n = 0;
  if (!Atlas_resolveName(nm->m_atlas, name, &primitives, &n))
    return 0;
  if (n == 0)
    return 1;
  int valid = 1;
  for (int32_t i = 0; valid && i < n; ++i) {
    int32_t kind = NAME_KIND_UNKNOWN;
    NameManager_lookupName(nm, primitives[i], &kind);
    valid = kind == NAME_KIND_ASSEMBLY || kind == NAME_KIND_REGION;
  }
  if (valid) {
    const int64_t hint = 10 * static_cast<int64_t>(n);
    HashSet *set = HashSet_new(hint > 100000 ? 100000 : static_cast<int32_t>(hint));
    for (int32_t i = 0; i < n; ++i) {
      int32_t kind = NAME_KIND_UNKNOWN;
      void *object = NameManager_lookupName(nm, primitives[i], &kind);
      addRegionsOf(object, kind, set);
    }
    *count = HashSet_toArray(set, reinterpret_cast<void ***>(regions));
    zyrSortRegionsInModelOrder(*count, *regions);
    HashSet_delete(set);
  }
  zyrCStringArray_free(primitives, static_cast<uint64_t>(n));
  return valid ? 1 : 0;
}

int NameManager_getResolveAllComposites(NameManager *nm) {
  if (nm->m_resolvedValid == 1)
    return 1;
  NameManager_releaseResolved(nm);
  char **names = nullptr;
  const int32_t n = NameManager_getCompositeNames(nm, &names);
  std::vector<char *> kept;
  std::vector<int32_t> counts;
  std::vector<Region **> lists;
  for (int32_t i = 0; i < n; ++i) {
    int32_t count = 0;
    Region **regions = nullptr;
    if (NameManager_resolveCompositeName(nm, names[i], &count, &regions) && count > 0) {
      kept.push_back(names[i]);
      names[i] = nullptr;
      counts.push_back(count);
      lists.push_back(regions);
    } else {
      zyrMemory_free(regions, __func__);
    }
  }
  zyrCStringArray_free(names, static_cast<uint64_t>(n));
  const int32_t retained = static_cast<int32_t>(kept.size());
  if (retained > 0) {
    nm->m_resolvedNames = zyrMemory_allocateArray<char *>(retained, __func__);
    nm->m_resolvedCounts = zyrMemory_allocateArray<int32_t>(retained, __func__);
    nm->m_resolvedRegions = zyrMemory_allocateArray<Region **>(retained, __func__);
    for (int32_t i = 0; i < retained; ++i) {
      nm->m_resolvedNames[i] = kept[static_cast<size_t>(i)];
      nm->m_resolvedCounts[i] = counts[static_cast<size_t>(i)];
      nm->m_resolvedRegions[i] = lists[static_cast<size_t>(i)];
    }
  }
  nm->m_noOfResolved = retained;
  nm->m_resolvedValid = 1;
  return 1;
}

int NameManager_getConsistentCompositeNames(NameManager *nm, int32_t count, Region *const *regions, int32_t *noOfNames,
                                            char ***names) {
  *noOfNames = 0;
  *names = nullptr;
  if (nm->m_noOfCompositeNames < 1 || count < 1)
    return 1;
  const int64_t hint = 10 * static_cast<int64_t>(count);
  HashTable *given = HashTable_new(hint > 100000 ? 100000 : static_cast<int32_t>(hint), HashTable_hashInteger,
                                   HashTable_compareIntegers);
  for (int32_t i = 0; i < count; ++i)
    if (HashTable_find(given, regions[i]) == nullptr)
      HashTable_insert(given, regions[i], regions[i]);
  NameManager_getResolveAllComposites(nm);
  std::vector<char *> consistent;
  for (int32_t i = 0; i < nm->m_noOfResolved; ++i) {
    bool all = true;
    for (int32_t j = 0; all && j < nm->m_resolvedCounts[i]; ++j)
      all = HashTable_find(given, nm->m_resolvedRegions[i][j]) != nullptr;
    if (all)
      consistent.push_back(nm->m_resolvedNames[i]);
  }
  HashTable_delete(given);
  if (!consistent.empty()) {
    *names = zyrCStringArray_clone(consistent.data(), consistent.size());
    *noOfNames = static_cast<int32_t>(consistent.size());
  }
  return 1;
}

// ---- region-map text ----------------------------------------------------------------------

int NameManager_getVSN(NameManager *nm, int32_t mode, char **text) { return Atlas_getVSN(nm->m_atlas, mode, text); }

int NameManager_getActiveVSN(NameManager *nm, const Labelling *inUse, char **text) {
  *text = nullptr;
  auto labelled = [inUse](const void *region) {
    int32_t label = 0;
    return Labelling_getLabel(inUse, region, &label) == 1;
  };
  Dictionary *active = Dictionary_new(1);
  std::vector<std::pair<char *, void *>> entries;
  DictionaryIterator *iterator = DictionaryIterator_new(nm->m_nameDictionary);
  for (Pair *pair = DictionaryIterator_first(iterator); pair != nullptr; pair = DictionaryIterator_next(iterator))
    entries.emplace_back(static_cast<char *>(Pair_getFirst(pair)), Pair_getSecond(pair));
  DictionaryIterator_delete(iterator);
  for (const auto &entry : entries) {
    HashSet *regions = HashSet_new(10);
    int32_t kind = NAME_KIND_UNKNOWN;
    NameManager_lookupName(nm, entry.first, &kind);
    if (kind == NAME_KIND_ASSEMBLY || kind == NAME_KIND_REGION)
      addRegionsOf(entry.second, kind, regions);
    else
      NameManager_resolveName(nm, entry.first, 0, 1, regions);
    if (HashSet_getNoOfMembers(regions) > 0) {
      bool isActive = false;
      HashSetIterator *members = HashSetIterator_new(regions);
      for (void *region = HashSetIterator_first(members); !isActive && region != nullptr;
           region = HashSetIterator_next(members))
        isActive = labelled(region);
      HashSetIterator_delete(members);
      Dictionary_add(active, entry.first, reinterpret_cast<void *>(static_cast<intptr_t>(isActive ? 1 : 0)));
    }
    HashSet_delete(regions);
  }
  const int status = Atlas_getActiveVSN(nm->m_atlas, active, text);
  Dictionary_delete(active);
  return status;
}

// ---- import -------------------------------------------------------------------------------

namespace {

// The current map text up to (not including) the line that holds its last "END", then a newline
// and the imported text after its first line holding "REGION MAP".
std::string mergedMapText(const char *current, const char *imported) {
  std::string head(current);
  const size_t end = head.rfind("END");
  if (end != std::string::npos) {
    const size_t lineStart = head.rfind('\n', end);
    head.erase(lineStart == std::string::npos ? 0 : lineStart + 1);
  }
  std::string tail(imported != nullptr ? imported : "");
  const size_t map = tail.find("REGION MAP");
  if (map != std::string::npos) {
    const size_t lineEnd = tail.find('\n', map);
    tail.erase(0, lineEnd == std::string::npos ? tail.size() : lineEnd + 1);
  }
  return head + "\n" + tail;
}

} // namespace

int NameManager_importPrimaryMap(NameManager *nm, const char *text, int32_t merge, int32_t ignoreClashes) {
  // The names without object go first; they come back if the map cannot be replaced.
  char **removed = nullptr;
  const int32_t noOfRemoved = NameManager_getCompositeNames(nm, &removed);
  for (int32_t i = 0; i < noOfRemoved; ++i)
    NameManager_removeName(nm, removed[i]);
  int replaced = 0;
  if (merge != 1) {
    replaced = Atlas_replacePrimaryMap(nm->m_atlas, text);
  } else {
    char *current = nullptr;
    if (Atlas_getVSN(nm->m_atlas, 2, &current) && current != nullptr) {
      const std::string merged = mergedMapText(current, text);
      replaced = Atlas_replacePrimaryMap(nm->m_atlas, merged.c_str());
    } else {
      replaced = Atlas_replacePrimaryMap(nm->m_atlas, text);
    }
    zyrCString_free(current);
  }
  if (!replaced) {
    for (int32_t i = 0; i < noOfRemoved; ++i)
      NameManager_insertReservedName(nm, removed[i]);
    zyrCStringArray_free(removed, static_cast<uint64_t>(noOfRemoved));
    return 0;
  }
  zyrCStringArray_free(removed, static_cast<uint64_t>(noOfRemoved));

  char **names = nullptr;
  const int32_t n = Atlas_getCompositeNames(nm->m_atlas, &names);
  if (n < 0)
    return 0;
  zyrError *error = nullptr;
  for (int32_t i = 0; i < n; ++i) {
    if (NameManager_insertReservedName(nm, names[i]))
      continue;
    if (error == nullptr) {
      if (ignoreClashes) {
        error = zyrError_new(ZYR_W_INVALID_INPUT_IGNORED, __func__, __FILE__, __LINE__);
        zyrError_addMessage(error, "One or more composite name in the imported region map has been\nignored as it "
                                   "clashes with an existing primitive name:\n\n");
      } else {
        error = zyrError_new(ZYR_U_INVALID_INPUT, __func__, __FILE__, __LINE__);
        zyrError_addMessage(error, "The imported region map contains composite names that clash with existing\n"
                                   "primitive names:\n\n");
      }
    }
    zyrError_addMessage(error, "%s\n", names[i]);
    if (ignoreClashes)
      Atlas_destroyUserComposite(nm->m_atlas, names[i]);
  }
  zyrCStringArray_free(names, static_cast<uint64_t>(n > 0 ? n : 0));
  if (error != nullptr)
    zyrError_publish(error);
  if (error != nullptr && !ignoreClashes)
    return 0;
  NameManager_touch(nm);
  return 1;
}

int NameManager_addImportedComposites(NameManager *nm, int32_t noOfRegions, Region *const *regions,
                                      int32_t noOfComposites, char *const *names, const int32_t *componentCounts,
                                      char *const *const *componentLists) {
  if (noOfComposites < 1)
    return 1;
  std::unordered_map<std::string, Region *> byBase;
  for (int32_t i = 0; i < noOfRegions; ++i)
    if (Region_getBaseName(regions[i]) != nullptr)
      byBase.emplace(Region_getBaseName(regions[i]), regions[i]);

  std::vector<Definition> retained;
  zyrError *error = nullptr;
  for (int32_t i = 0; i < noOfComposites; ++i) {
    if (names[i] == nullptr || componentCounts[i] < 1 || componentLists[i] == nullptr)
      continue;
    auto clash = byBase.find(names[i]);
    if (clash != byBase.end()) {
      const bool self = componentCounts[i] == 1 && componentLists[i][0] != nullptr &&
                        std::strcmp(componentLists[i][0], names[i]) == 0;
      const char *managed = Region_getUserName(clash->second);
      if (self && managed != nullptr && std::strcmp(managed, names[i]) == 0)
        continue;
      if (!self) {
        if (error == nullptr) {
          error = zyrError_new(ZYR_W_INVALID_INPUT_IGNORED, __func__, __FILE__, __LINE__);
          zyrError_addMessage(error, "One or more imported composite names have been ignored as\nthey clash with an "
                                     "imported primitive name:\n\n");
        }
        zyrError_addMessage(error, "%s\n", names[i]);
        continue;
      }
    }
    Definition definition;
    definition.name = names[i];
    definition.combination = 1;
    for (int32_t j = 0; j < componentCounts[i]; ++j) {
      const char *component = componentLists[i][j] != nullptr ? componentLists[i][j] : "";
      auto region = byBase.find(component);
      const char *managed = region != byBase.end() ? Region_getUserName(region->second) : nullptr;
      definition.listA.push_back(managed != nullptr ? managed : component);
    }
    retained.push_back(std::move(definition));
  }
  if (error != nullptr)
    zyrError_publish(error);

  // New names, each held by a reservation until its composite exists.
  std::unordered_map<std::string, std::string> renamed;
  for (Definition &definition : retained) {
    if (!NameManager_makeUniqueName(nm, definition.name.c_str(), &definition.newName))
      definition.newName = zyrCString_clone(definition.name.c_str());
    NameManager_insertReservedName(nm, definition.newName);
    renamed.emplace(definition.name, definition.newName);
  }
  for (Definition &definition : retained) {
    for (std::string &component : definition.listA) {
      auto other = renamed.find(component);
      if (other != renamed.end())
        component = other->second;
    }
  }
  for (Definition &definition : retained) {
    NameManager_deleteReservedName(nm, definition.newName);
    std::vector<const char *> a = pointersOf(definition.listA);
    NameManager_createCompositeName(nm, definition.newName, 1, static_cast<int32_t>(a.size()), a.data(), 0, nullptr);
    zyrCString_free(definition.newName);
  }
  return 1;
}
