#include "MeshSelection.h"

#include "ElementMesh.h"
#include "ElementSet.h"
#include "ElementTopology.h"
#include "Mesh.h"
#include "MeshSelectionCommand.h"
#include "MeshSelectionSupport.h"
#include "Region.h"
#include "zyrArrayUtilities.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"
#include "zyrObject.h"
#include "zyrTrace.h"
#include "zyrUUID.h"

#include <cctype>
#include <cstring>

namespace {

MeshSelectionModelHooks modelHooks = {nullptr, nullptr};

const char *combinationName(int32_t combination) {
  switch (combination) {
  case zyrSetUnion:
    return "zyrSetUnion";
  case zyrSetIntersection:
    return "zyrSetIntersection";
  case zyrSetDifference:
    return "zyrSetDifference";
  default:
    return "zyrSetSymmetricDifference";
  }
}

int isBlankText(const char *text) {
  if (text == nullptr)
    return 1;
  for (const char *c = text; *c != '\0'; ++c)
    if (!std::isspace(static_cast<unsigned char>(*c)))
      return 0;
  return 1;
}

int32_t *copyList(int32_t count, const int32_t *list) {
  if (list == nullptr || count <= 0)
    return nullptr;
  return static_cast<int32_t *>(zyrMemory_duplicate(list, static_cast<int64_t>(count) * 4, __func__));
}

// Every index of 0 .. n-1 that is not in the list, ascending.
void complement(int32_t n, int32_t count, const int32_t *list, int32_t *resultCount, int32_t **result) {
  int32_t *sorted = copyList(count, list);
  int32_t m = sorted != nullptr ? count : 0;
  if (sorted != nullptr)
    zyrEliminateDuplicates(&m, &sorted);
  int32_t *out = n > 0 ? zyrMemory_allocateArray<int32_t>(n, __func__) : nullptr;
  int32_t k = 0;
  int32_t j = 0;
  for (int32_t i = 0; i < n; ++i) {
    while (j < m && sorted[j] < i)
      ++j;
    if (j < m && sorted[j] == i)
      continue;
    out[k++] = i;
  }
  zyrMemory_free(sorted, __func__);
  if (k == 0) {
    zyrMemory_free(out, __func__);
    out = nullptr;
  }
  *resultCount = k;
  *result = out;
}

// Combines the new selection of set i into the current one. 1, or 0 when the set operation fails.
int combineSet(MeshSelection *selection, int32_t i, int32_t combination) {
  int32_t &countA = selection->m_selectedCounts[i];
  int32_t *&listA = selection->m_selectedLists[i];
  const int32_t countB = selection->m_newCounts[i];
  int32_t *listB = selection->m_newLists[i];
  const bool wholeA = countA > 0 && listA == nullptr;
  const bool wholeB = countB > 0 && listB == nullptr;
  const int32_t n = ElementSet_getNoOfElements(selection->m_elementSets[i]);

  int32_t count = 0;
  int32_t *list = nullptr;
  bool whole = false;
  if (!wholeA && !wholeB) {
    if (!zyrSetOperation(combination, countA, listA, countB, listB, &count, &list))
      return 0;
  } else if (!wholeA) { // list, whole
    if (combination == zyrSetUnion)
      whole = true;
    else if (combination == zyrSetIntersection)
      return 1;
    else if (combination == zyrSetSymmetricDifference)
      complement(n, countA, listA, &count, &list);
  } else if (!wholeB) { // whole, list
    if (combination == zyrSetUnion)
      return 1;
    if (combination == zyrSetIntersection) {
      count = countB;
      list = copyList(countB, listB);
    } else {
      complement(n, countB, listB, &count, &list);
    }
  } else if (combination == zyrSetUnion || combination == zyrSetIntersection) {
    return 1;
  }
  zyrMemory_free(listA, __func__);
  if (whole) {
    countA = n;
    listA = nullptr;
  } else {
    countA = list != nullptr ? count : 0;
    listA = list;
  }
  return 1;
}

void clearNewSelection(MeshSelection *selection) {
  for (int32_t i = 0; i < selection->m_noOfElementSets; ++i) {
    zyrMemory_freeAndClear(&selection->m_newLists[i], __func__);
    selection->m_newCounts[i] = 0;
  }
}

int runStep(MeshSelection *selection, const MeshSelectionStep &step) {
  switch (step.m_kind) {
  case MESH_SELECTION_GEOMETRIC:
    return MeshSelection_geometricSelect(selection, step.m_criterion, step.m_shape, step.m_numbers);
  case MESH_SELECTION_QUALITY:
    return MeshSelection_qualitySelect(selection, step.m_measure, step.m_bounds, step.m_boundFlags);
  case MESH_SELECTION_TYPE:
    return MeshSelection_typeSelect(selection, step.m_noOfTypes, step.m_types);
  case MESH_SELECTION_LOCATION:
    return MeshSelection_locationSelect(selection, step.m_location.c_str());
  default:
    return 0;
  }
}

MeshSelection *allocate(int32_t noOfMeshes, int32_t noOfSets) {
  MeshSelection *selection = zyrMemory_allocateZeroedArray<MeshSelection>(1, "MeshSelection_new");
  selection->m_noOfElementMeshes = noOfMeshes;
  selection->m_noOfElementSets = noOfSets;
  if (noOfMeshes > 0) {
    selection->m_elementMeshes = zyrMemory_allocateZeroedArray<ElementMesh *>(noOfMeshes, "MeshSelection_new");
    selection->m_setsPerMesh = zyrMemory_allocateZeroedArray<int32_t>(noOfMeshes, "MeshSelection_new");
  }
  if (noOfSets > 0) {
    selection->m_elementSets = zyrMemory_allocateZeroedArray<ElementSet *>(noOfSets, "MeshSelection_new");
    selection->m_selectedLists = zyrMemory_allocateZeroedArray<int32_t *>(noOfSets, "MeshSelection_new");
    selection->m_newLists = zyrMemory_allocateZeroedArray<int32_t *>(noOfSets, "MeshSelection_new");
    selection->m_selectedCounts = zyrMemory_allocateZeroedArray<int32_t>(noOfSets, "MeshSelection_new");
    selection->m_newCounts = zyrMemory_allocateZeroedArray<int32_t>(noOfSets, "MeshSelection_new");
  }
  return selection;
}

} // namespace

int MeshSelection_getElementVertices(const ElementSet *set, int32_t convention, int32_t noOfVertices,
                                     int32_t **vertices, int32_t *nel, int32_t *verticesPerElement) {
  *vertices = nullptr;
  *nel = 0;
  *verticesPerElement = 0;
  int32_t *list = nullptr;
  int32_t count = 0;
  int32_t width = 0;
  if (!ElementSet_getElementVertices(set, convention, nullptr, 1, &list, &count, &width))
    return 0;
  const int64_t total = static_cast<int64_t>(count) * width;
  for (int64_t i = 0; i < total; ++i)
    if (list[i] < 0 || list[i] >= noOfVertices) {
      char key[ZYR_UUID_BASE64_SIZE];
      zyrObject_getUUIDString(set, key);
      ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "The element set %s uses vertex %d of a mesh of %d vertices.\n", key, list[i],
                noOfVertices);
      zyrMemory_free(list, __func__);
      return 0;
    }
  *vertices = list;
  *nel = count;
  *verticesPerElement = width;
  return 1;
}

Topology *MeshSelection_getTopology(const MeshSelection *selection) {
  if (selection->m_model == nullptr || modelHooks.m_getTopology == nullptr)
    return nullptr;
  return modelHooks.m_getTopology(selection->m_model);
}

void MeshSelection_setNew(MeshSelection *selection, int32_t s, int32_t count, int32_t *list) {
  zyrMemory_free(selection->m_newLists[s], __func__);
  selection->m_newLists[s] = count > 0 ? list : nullptr;
  selection->m_newCounts[s] = count > 0 ? count : 0;
  if (count <= 0)
    zyrMemory_free(list, __func__);
}

void MeshSelection_setModelHooks(const MeshSelectionModelHooks *hooks) {
  modelHooks = hooks != nullptr ? *hooks : MeshSelectionModelHooks{nullptr, nullptr};
}

MeshSelection *MeshSelection_new(Model *model, const char *text) {
  Mesh *mesh = model != nullptr && modelHooks.m_getMesh != nullptr ? modelHooks.m_getMesh(model) : nullptr;
  ElementMesh **meshes = nullptr;
  const int32_t noOfMeshes = mesh != nullptr ? Mesh_getElementMeshes(mesh, &meshes) : 0;
  int32_t noOfSets = 0;
  for (int32_t m = 0; m < noOfMeshes; ++m)
    noOfSets += ElementMesh_getNoOfElementSets(meshes[m]);

  MeshSelection *selection = allocate(noOfMeshes, noOfSets);
  selection->m_model = model;
  selection->m_mesh = mesh;
  int32_t next = 0;
  for (int32_t m = 0; m < noOfMeshes; ++m) {
    selection->m_elementMeshes[m] = meshes[m];
    ElementSet **sets = nullptr;
    const int32_t count = ElementMesh_getElementSets(meshes[m], &sets);
    selection->m_setsPerMesh[m] = count;
    for (int32_t s = 0; s < count; ++s)
      selection->m_elementSets[next++] = sets[s];
    zyrMemory_free(sets, __func__);
  }
  zyrMemory_free(meshes, __func__);
  selection->m_units = zyrCString_clone("m");
  if (text != nullptr)
    MeshSelection_modify(selection, zyrSetUnion, text);
  return selection;
}

MeshSelection *MeshSelection_copy(const MeshSelection *source) {
  if (source == nullptr)
    return nullptr;
  MeshSelection *selection = allocate(source->m_noOfElementMeshes, source->m_noOfElementSets);
  selection->m_model = source->m_model;
  selection->m_mesh = source->m_mesh;
  for (int32_t m = 0; m < source->m_noOfElementMeshes; ++m) {
    selection->m_elementMeshes[m] = source->m_elementMeshes[m];
    selection->m_setsPerMesh[m] = source->m_setsPerMesh[m];
  }
  for (int32_t s = 0; s < source->m_noOfElementSets; ++s) {
    selection->m_elementSets[s] = source->m_elementSets[s];
    selection->m_selectedCounts[s] = source->m_selectedCounts[s];
    selection->m_newCounts[s] = source->m_newCounts[s];
    selection->m_selectedLists[s] = copyList(source->m_selectedCounts[s], source->m_selectedLists[s]);
    selection->m_newLists[s] = copyList(source->m_newCounts[s], source->m_newLists[s]);
  }
  selection->m_units = zyrCString_clone(source->m_units);
  return selection;
}

void MeshSelection_delete(MeshSelection *selection) {
  if (selection == nullptr)
    return;
  for (int32_t s = 0; s < selection->m_noOfElementSets; ++s) {
    zyrMemory_free(selection->m_selectedLists[s], __func__);
    zyrMemory_free(selection->m_newLists[s], __func__);
  }
  zyrMemory_free(selection->m_elementMeshes, __func__);
  zyrMemory_free(selection->m_setsPerMesh, __func__);
  zyrMemory_free(selection->m_elementSets, __func__);
  zyrMemory_free(selection->m_selectedLists, __func__);
  zyrMemory_free(selection->m_newLists, __func__);
  zyrMemory_free(selection->m_selectedCounts, __func__);
  zyrMemory_free(selection->m_newCounts, __func__);
  zyrCString_free(selection->m_units);
  zyrMemory_free(selection, __func__);
}

int MeshSelection_modify(MeshSelection *selection, int32_t combination, const char *text) {
  ZYR_TRACE_BEGIN();
  if (selection == nullptr)
    return 0;
  if (isBlankText(text))
    return 1;
  if (combination != zyrSetUnion && combination != zyrSetIntersection && combination != zyrSetDifference &&
      combination != zyrSetSymmetricDifference) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "The requested combination, %d, is not valid.\n", combination);
    return 0;
  }
  const int log = ZYR_TRACE_DEBUG(1) ? 1 : 0;
  if (log) {
    zyrTrace_printf("\nCombination = %s\n", combinationName(combination));
    zyrTrace_printf("Operation   = \"%s\"\n", text);
  }
  MeshSelectionStep step;
  if (!MeshSelectionCommand_parse(text, log, &step)) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "The requested operation:\n\n%s\n\n has not been recognised.\n", text);
    return 0;
  }
  clearNewSelection(selection);
  if (!runStep(selection, step)) {
    clearNewSelection(selection);
    return 0;
  }
  int result = 1;
  for (int32_t i = 0; i < selection->m_noOfElementSets && result; ++i)
    result = combineSet(selection, i, combination);
  clearNewSelection(selection);
  return result;
}

Model *MeshSelection_getModel(const MeshSelection *selection) {
  return selection != nullptr ? selection->m_model : nullptr;
}

int32_t MeshSelection_getNoOfSelectedElements(const MeshSelection *selection) {
  int32_t total = 0;
  for (int32_t s = 0; s < selection->m_noOfElementSets; ++s)
    total += selection->m_selectedCounts[s];
  return total;
}

int32_t MeshSelection_getNoOfSelectedElementsOfType(const MeshSelection *selection, int32_t type) {
  int32_t total = 0;
  for (int32_t s = 0; s < selection->m_noOfElementSets; ++s)
    if (ElementSet_getElementType(selection->m_elementSets[s]) == type)
      total += selection->m_selectedCounts[s];
  return total;
}

void MeshSelection_print(const MeshSelection *selection, FILE *stream) {
  if (stream == nullptr)
    return;
  std::fprintf(stream, "==============================================\n");
  std::fprintf(stream, "MeshSelection: %p\n", static_cast<const void *>(selection));
  if (selection == nullptr)
    return;
  char key[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(selection->m_model, key);
  std::fprintf(stream, "Model                    = %s\n", key);
  zyrObject_getUUIDString(selection->m_mesh, key);
  std::fprintf(stream, "Mesh                     = %s\n", key);
  std::fprintf(stream, "Units                    = %s\n", selection->m_units);
  std::fprintf(stream, "Number of element meshes = %d\n", selection->m_noOfElementMeshes);
  std::fprintf(stream, "Number of element sets   = %d\n", selection->m_noOfElementSets);
  int32_t s = 0;
  for (int32_t m = 0; m < selection->m_noOfElementMeshes; ++m) {
    const ElementMesh *mesh = selection->m_elementMeshes[m];
    zyrObject_getUUIDString(mesh, key);
    const Region *region = ElementMesh_getRegion(mesh);
    const char *name = region != nullptr ? Region_getName(region) : nullptr;
    std::fprintf(stream, "  Element mesh = %s [%s]\n", key, name != nullptr ? name : "");
    for (int32_t k = 0; k < selection->m_setsPerMesh[m]; ++k, ++s) {
      const ElementSet *set = selection->m_elementSets[s];
      zyrObject_getUUIDString(set, key);
      const char *typeName = ElementTopology_getElementTypeName(ElementSet_getElementType(set));
      std::fprintf(stream, "    Element set %d: selected = %d, new = %d, type = %s, %s\n", s,
                   selection->m_selectedCounts[s], selection->m_newCounts[s], typeName != nullptr ? typeName : "",
                   key);
    }
  }
}
