// The Model's operations on names that are neither assemblies nor primitive regions: composite
// names and their tags, explicit primitive names and the primary region map. The NameManager does
// the work; the Model adds the validity check of new composite names, the renaming of a
// composite together with every definition that uses it, and the state bracket of the
// operations that change several things at once.
#include "Model.h"
#include "NameManager.h"
#include "Region.h"
#include "Topology.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"

#include <cstring>
#include <vector>

namespace {

// A definition read from the NameManager, freed with it.
struct Definition {
  int32_t combination = 0;
  int32_t countA = 0;
  char **listA = nullptr;
  int32_t countB = 0;
  char **listB = nullptr;
  ~Definition() {
    zyrCStringArray_free(listA, static_cast<uint64_t>(countA > 0 ? countA : 0));
    zyrCStringArray_free(listB, static_cast<uint64_t>(countB > 0 ? countB : 0));
  }
  int read(NameManager *nm, const char *name) {
    return NameManager_getCompositeNameDefinition(nm, name, &combination, &countA, &listA, &countB, &listB);
  }
};

// Replaces every entry equal to from by to; the number replaced.
int32_t replaceComponent(char **list, int32_t count, const char *from, const char *to) {
  int32_t replaced = 0;
  for (int32_t i = 0; i < count; ++i)
    if (list[i] != nullptr && std::strcmp(list[i], from) == 0) {
      zyrCString_reassign(&list[i], to);
      ++replaced;
    }
  return replaced;
}

} // namespace

int Model_isNameComposite(Model *model, const char *name, int32_t *isCompositeName) {
  *isCompositeName = 0;
  NameManager *nm = Model_getNameManager(model, __func__);
  if (nm == nullptr)
    return 0;
  *isCompositeName = NameManager_isNameComposite(nm, name);
  return 1;
}

int Model_isNamePrimitive(Model *model, const char *name, int32_t *isPrimitiveName) {
  *isPrimitiveName = 0;
  NameManager *nm = Model_getNameManager(model, __func__);
  if (nm == nullptr)
    return 0;
  *isPrimitiveName = NameManager_isNamePrimitive(nm, name);
  return 1;
}

int Model_createPrimitiveName(Model *model, const char *name) {
  NameManager *nm = Model_getNameManager(model, __func__);
  return nm != nullptr ? NameManager_createPrimitiveName(nm, name) : 0;
}

int Model_destroyPrimitiveName(Model *model, const char *name) {
  NameManager *nm = Model_getNameManager(model, __func__);
  return nm != nullptr ? NameManager_destroyPrimitiveName(nm, name) : 0;
}

int Model_getPrimitiveNames(Model *model, int32_t *count, char ***names) {
  *count = 0;
  *names = nullptr;
  NameManager *nm = Model_getNameManager(model, __func__);
  return nm != nullptr ? NameManager_getPrimitiveNames(nm, count, names) : 0;
}

int32_t Model_getNoOfPrimitiveNames(Model *model) {
  NameManager *nm = Model_getNameManager(model, __func__);
  if (nm == nullptr)
    return 0;
  int32_t count = 0;
  char **names = nullptr;
  if (!NameManager_getPrimitiveNames(nm, &count, &names))
    return -1;
  zyrCStringArray_free(names, static_cast<uint64_t>(count > 0 ? count : 0));
  return count;
}

int32_t Model_getNoOfCompositeNames(Model *model) {
  return model->m_topology != nullptr ? Topology_getNoOfCompositeNames(model->m_topology) : 0;
}

int32_t Model_getCompositeNames(Model *model, char ***names) {
  *names = nullptr;
  return model->m_topology != nullptr ? Topology_getCompositeNames(model->m_topology, names) : 0;
}

int Model_getTaggedCompositeNames(Model *model, const char *vsnTagList, const char *untaggedTag, const char *otherTag,
                                  int32_t *noOfCompositeNames, char ***compositeNames) {
  *noOfCompositeNames = 0;
  *compositeNames = nullptr;
  NameManager *nm = Model_getNameManager(model, __func__);
  return nm != nullptr ? NameManager_getTaggedCompositeNames(nm, vsnTagList, untaggedTag, otherTag, noOfCompositeNames,
                                                             compositeNames)
                       : 0;
}

int Model_createCompositeName(Model *model, const char *name, int32_t combination, int32_t noOfComponentsA,
                              const char *const *componentsA, int32_t noOfComponentsB, const char *const *componentsB) {
  NameManager *nm = Model_getNameManager(model, __func__);
  if (nm == nullptr)
    return 0;
  if (name == nullptr) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "A null pointer has been passed when a name string was expected.");
    return 0;
  }
  // Only a name that is valid and free as it stands is accepted: a quietly adjusted one would
  // not be the name the caller goes on using.
  char *unique = nullptr;
  const int usable = NameManager_makeUniqueName(nm, name, &unique) && std::strcmp(unique, name) == 0;
  zyrCString_free(unique);
  if (!usable) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT,
              "The name \"%s\" can not be used as a composite name as it\nis either already being used or "
              "it is not a valid VSN object name.",
              name);
    return 0;
  }
  return NameManager_createCompositeName(nm, name, combination, noOfComponentsA, componentsA, noOfComponentsB,
                                         componentsB);
}

int Model_createCompositeUnion(Model *model, const char *name, int32_t noOfRegions, Region *const *regions) {
  if (noOfRegions < 1)
    return 0;
  std::vector<const char *> names(static_cast<size_t>(noOfRegions));
  for (int32_t i = 0; i < noOfRegions; ++i)
    names[static_cast<size_t>(i)] = Region_getUserName(regions[i]);
  return Model_createCompositeName(model, name, 1, noOfRegions, names.data(), 0, nullptr);
}

int Model_destroyCompositeName(Model *model, const char *name) {
  NameManager *nm = Model_getNameManager(model, __func__);
  return nm != nullptr ? NameManager_destroyCompositeName(nm, name) : 0;
}

int Model_getCompositeNameDefinition(Model *model, const char *name, int32_t *combination, int32_t *noOfComponentsA,
                                     char ***componentsA, int32_t *noOfComponentsB, char ***componentsB) {
  *combination = 0;
  *noOfComponentsA = 0;
  *componentsA = nullptr;
  *noOfComponentsB = 0;
  *componentsB = nullptr;
  NameManager *nm = Model_getNameManager(model, __func__);
  return nm != nullptr ? NameManager_getCompositeNameDefinition(nm, name, combination, noOfComponentsA, componentsA,
                                                                noOfComponentsB, componentsB)
                       : 0;
}

int Model_renameCompositeName(Model *model, const char *oldName, const char *newName, int32_t addAlias,
                              char **actualName) {
  *actualName = nullptr;
  NameManager *nm = Model_getNameManager(model, __func__);
  if (nm == nullptr)
    return 0;
  if (oldName == nullptr || newName == nullptr) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "A null pointer has been passed when a name string was expected.");
    return 0;
  }
  const int32_t state = Model_flushChanges(model);
  int status = 0;
  {
    Definition old;
    status = old.read(nm, oldName);
    if (status != 1)
      return status;
    status = Model_createCompositeName(model, newName, old.combination, old.countA, old.listA, old.countB, old.listB);
    if (status == 1)
      status = NameManager_destroyCompositeName(nm, oldName);
  }

  // Every other definition naming the old name now names the new one.
  char **names = nullptr;
  const int32_t count = status == 1 ? NameManager_getCompositeNames(nm, &names) : 0;
  for (int32_t i = 0; i < count && status == 1; ++i) {
    if (std::strcmp(names[i], newName) == 0)
      continue;
    Definition definition;
    status = definition.read(nm, names[i]);
    if (status != 1)
      break;
    const int32_t replaced = replaceComponent(definition.listA, definition.countA, oldName, newName) +
                             replaceComponent(definition.listB, definition.countB, oldName, newName);
    if (replaced == 0)
      continue;
    status = NameManager_destroyCompositeName(nm, names[i]);
    if (status == 1)
      status = NameManager_createCompositeName(nm, names[i], definition.combination, definition.countA,
                                               definition.listA, definition.countB, definition.listB);
  }
  zyrCStringArray_free(names, static_cast<uint64_t>(count > 0 ? count : 0));

  if (status == 1 && addAlias != 0) {
    const char *component[] = {newName};
    status = Model_createCompositeName(model, oldName, 1, 1, component, 0, nullptr);
  }
  if (status == 1)
    *actualName = zyrCString_clone(newName);
  else
    Model_rollback(model, state);
  return status;
}

int Model_tagCompositeNames(Model *model, const char *tag, int32_t operation, int32_t noOfCompositeNames,
                            const char *const *compositeNames) {
  NameManager *nm = Model_getNameManager(model, __func__);
  if (nm == nullptr)
    return 0;
  const int32_t state = Model_flushChanges(model);
  const int status = NameManager_tagCompositeNames(nm, tag, operation, noOfCompositeNames, compositeNames);
  if (status == 0)
    Model_rollback(model, state);
  return status;
}

int Model_compositeNameHasTag(Model *model, const char *name, const char *tag, int32_t *hasTag) {
  *hasTag = 0;
  NameManager *nm = Model_getNameManager(model, __func__);
  return nm != nullptr ? NameManager_compositeNameHasTag(nm, name, tag, hasTag) : 0;
}

int Model_compositeNameGetTags(Model *model, const char *name, char **tags) {
  *tags = nullptr;
  NameManager *nm = Model_getNameManager(model, __func__);
  return nm != nullptr ? NameManager_compositeNameGetTags(nm, name, tags) : 0;
}

int Model_exportRegionMap(Model *model, char **text) {
  *text = nullptr;
  NameManager *nm = Model_getNameManager(model, __func__);
  return nm != nullptr ? NameManager_getVSN(nm, 2, text) : 0;
}

int Model_importRegionMap(Model *model, const char *text, int32_t operation, int32_t resolution) {
  NameManager *nm = Model_getNameManager(model, __func__);
  if (nm == nullptr)
    return 0;
  const int32_t state = Model_flushChanges(model);
  const int status = NameManager_importPrimaryMap(nm, text, operation, resolution);
  if (status != 1)
    Model_rollback(model, state);
  return status;
}
