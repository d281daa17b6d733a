// Duplication of composite names when an assembly is copied several times: a Union composite of
// the copied assembly's regions gets one duplicate per copy over the copies' regions, and in the
// end one composite over the original and all its duplicates.
#include "Assembly.h"
#include "Atlas.h"
#include "HashTable.h"
#include "NameManager.h"
#include "Region.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"
#include "zyrTrace.h"

#include <string>
#include <unordered_set>
#include <vector>

namespace {

const int32_t kUnion = 1;
const int32_t kAlias = 7;

struct SelectedComposite {
  std::string name;
  std::vector<Region *> regions;
  std::vector<std::string> copyNames; // the composite's own name, then one slot per copy
};

struct NameDuplication {
  int32_t noOfCopies = 0;
  int32_t copyIndex = 1;
  std::vector<SelectedComposite> composites;
};

NameDuplication *contextOf(NameManager *nm) { return static_cast<NameDuplication *>(nm->m_duplication); }

void releaseContext(NameManager *nm) {
  delete contextOf(nm);
  nm->m_duplication = nullptr;
}

// A Union or Alias composite whose list A names only regions of the copied assembly.
bool select(NameManager *nm, const char *name, const Assembly *assembly, SelectedComposite &selected) {
  int32_t combination = 0, countA = 0, countB = 0;
  char **listA = nullptr, **listB = nullptr;
  const int read = Atlas_getUserCompositeDefinition(nm->m_atlas, name, &combination, &countA, &listA, &countB, &listB);
  bool ok = read && (combination == kUnion || combination == kAlias) && countA > 0;
  for (int32_t i = 0; ok && i < countA; ++i) {
    int32_t kind = NAME_KIND_UNKNOWN;
    void *object = NameManager_lookupName(nm, listA[i], &kind);
    ok = kind == NAME_KIND_REGION && Region_getAssembly(static_cast<Region *>(object)) == assembly;
    if (ok)
      selected.regions.push_back(static_cast<Region *>(object));
  }
  zyrCStringArray_free(listA, static_cast<uint64_t>(countA));
  zyrCStringArray_free(listB, static_cast<uint64_t>(countB));
  selected.name = name;
  return ok;
}

} // namespace

void NameManager_releaseDuplication(NameManager *nm) { releaseContext(nm); }

int NameManager_beginNameDuplication(NameManager *nm, Assembly *assembly, int32_t noOfCopies) {
  ZYR_TRACE_BEGIN_DESC("Start duplicating composite names associated with a copied assembly.");
  // A context left over from an aborted duplication is not carried into this one.
  releaseContext(nm);
  if (nm->m_compositeCopyingStrategy != 2)
    return 1;
  if (noOfCopies < 1) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "The number of copies of an assembly must be at least 1, not %d.\n", noOfCopies);
    return 0;
  }
  NameDuplication *context = new NameDuplication();
  context->noOfCopies = noOfCopies;
  nm->m_duplication = context;
  // Reserved names have no definition to read: only the atlas's composites are looked at.
  char **defined = nullptr;
  const int32_t noOfDefined = Atlas_getCompositeNames(nm->m_atlas, &defined);
  std::unordered_set<std::string> inAtlas;
  for (int32_t i = 0; i < noOfDefined; ++i)
    inAtlas.insert(defined[i]);
  zyrCStringArray_free(defined, static_cast<uint64_t>(noOfDefined > 0 ? noOfDefined : 0));
  char **names = nullptr;
  const int32_t n = NameManager_getCompositeNames(nm, &names);
  for (int32_t i = 0; i < n; ++i) {
    SelectedComposite selected;
    if (inAtlas.count(names[i]) == 0 || !select(nm, names[i], assembly, selected))
      continue;
    selected.copyNames.assign(static_cast<size_t>(noOfCopies) + 1, std::string());
    selected.copyNames[0] = selected.name;
    context->composites.push_back(std::move(selected));
  }
  zyrCStringArray_free(names, static_cast<uint64_t>(n > 0 ? n : 0));
  if (ZYR_TRACE_DEBUG(1))
    for (const SelectedComposite &composite : context->composites) {
      zyrTrace_printf("%s\n", composite.name.c_str());
      for (const Region *region : composite.regions)
        zyrTrace_printf("  %s\n", Region_getName(region));
    }
  return 1;
}

int NameManager_duplicateNames(NameManager *nm, HashTable *regionMap) {
  if (nm->m_compositeCopyingStrategy != 2)
    return 1;
  NameDuplication *context = contextOf(nm);
  if (context == nullptr)
    return 0;
  if (context->copyIndex > context->noOfCopies) {
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Too many copy operations were encountered; %d were expected.\n",
              context->noOfCopies);
    return 0;
  }
  for (SelectedComposite &composite : context->composites) {
    char *name = zyrCString_clone(composite.name.c_str());
    NameManager_makeKeyUnique(nm, &name, 1);
    std::vector<std::string> components;
    for (const Region *region : composite.regions) {
      const Region *copy = static_cast<const Region *>(HashTable_find(regionMap, region));
      const char *copyName = copy != nullptr ? Region_getUserName(copy) : nullptr;
      if (copyName == nullptr) {
        ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Unable to find the region called %s.\n", Region_getName(region));
        continue;
      }
      components.push_back(copyName);
    }
    // A duplicate without any copied region would stand for nothing.
    if (!components.empty()) {
      std::vector<const char *> list;
      for (const std::string &component : components)
        list.push_back(component.c_str());
      if (NameManager_createCompositeName(nm, name, kUnion, static_cast<int32_t>(list.size()), list.data(), 0,
                                          nullptr)) {
        composite.copyNames[static_cast<size_t>(context->copyIndex)] = name;
        Atlas_copyTags(nm->m_atlas, composite.name.c_str(), name);
      }
    }
    zyrCString_free(name);
  }
  context->copyIndex += 1;
  return 1;
}

int NameManager_endNameDuplication(NameManager *nm) {
  if (nm->m_compositeCopyingStrategy != 2) {
    releaseContext(nm);
    return 1;
  }
  NameDuplication *context = contextOf(nm);
  if (context == nullptr)
    return 0;
  for (const SelectedComposite &composite : context->composites) {
    // Slots of copies that failed, or were never made, stay out of the union.
    std::vector<const char *> members;
    for (const std::string &copyName : composite.copyNames)
      if (!copyName.empty() && NameManager_isNameComposite(nm, copyName.c_str()))
        members.push_back(copyName.c_str());
    char *entire = nullptr;
    if (!NameManager_makeUniqueName(nm, ("Entire " + composite.name).c_str(), &entire))
      continue;
    if (NameManager_createCompositeName(nm, entire, kUnion, static_cast<int32_t>(members.size()), members.data(), 0,
                                        nullptr))
      Atlas_copyTags(nm->m_atlas, composite.name.c_str(), entire);
    zyrCString_free(entire);
  }
  releaseContext(nm);
  return 1;
}
