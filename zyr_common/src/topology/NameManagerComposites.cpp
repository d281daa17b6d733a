// Composite names of the NameManager: names defined in the topology's region atlas as
// combinations of assemblies, regions and other composites, kept in the name dictionary without
// object so that no assembly or region can take them.
#include "Assembly.h"
#include "Atlas.h"
#include "Dictionary.h"
#include "HashSet.h"
#include "NameManager.h"
#include "Pair.h"
#include "Region.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"

#include <cctype>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

void publishUnrecognised(const char *caller, const char *name) {
  zyrError *error = zyrError_new(ZYR_U_UNRECOGNISED_NAME, caller, __FILE__, __LINE__);
  zyrError_addMessage(error, "The region name \"%s\" was not recognised.\n", name);
  zyrError_publish(error);
}

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
  zyrError *error = zyrError_new(ZYR_U_INVALID_INPUT, __func__, __FILE__, __LINE__);
  zyrError_addMessage(error, "The supplied name, \"%s\",\nis not a composite name.\n", name != nullptr ? name : "");
  if (kind == NAME_KIND_ASSEMBLY)
    zyrError_addMessage(error, "\nThere is an assembly with this name.\n");
  else if (kind == NAME_KIND_REGION)
    zyrError_addMessage(error, "\nThere is a primitive region with this name.\n");
  zyrError_publish(error);
  return 0;
}

int NameManager_createCompositeName(NameManager *nm, const char *name, int32_t combination, int32_t countA,
                                    const char *const *listA, int32_t countB, const char *const *listB) {
  int32_t kind = NAME_KIND_UNKNOWN;
  NameManager_lookupName(nm, name, &kind);
  if (kind != NAME_KIND_UNKNOWN) {
    zyrError *error = zyrError_new(ZYR_U_INVALID_INPUT, __func__, __FILE__, __LINE__);
    zyrError_addMessage(error, "The name \"%s\" can not be used as a composite name as\nthere is already ", name);
    const char *what = kind == NAME_KIND_COMPOSITE  ? "a composite region"
                       : kind == NAME_KIND_ASSEMBLY ? "an assembly"
                       : kind == NAME_KIND_REGION   ? "a primitive region"
                                                    : "an object of unknown type";
    zyrError_addMessage(error, "%s", what);
    zyrError_addMessage(error, " with the same name.\n");
    zyrError_publish(error);
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
      publishUnrecognised(__func__, name != nullptr ? name : "");
    return 0;
  }
  char **primitives = nullptr;
  int32_t n = 0;
  if (!Atlas_resolveName(nm->m_atlas, name, &primitives, &n))
    return 0;
  if (n == 0) {
    if (report)
      publishUnrecognised(__func__, name);
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
      zyrError *error = zyrError_new(ZYR_I_INTERNAL_ERROR, __func__, __FILE__, __LINE__);
      zyrError_addMessage(error, "Composite name, %s, can not correspond to a region;\n", names[i]);
      zyrError_publish(error);
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
