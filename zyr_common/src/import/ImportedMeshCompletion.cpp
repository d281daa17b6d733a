// The completion every successful import ends with: loose regions gathered into assemblies,
// imported assembly names given back, composite names, display data, and surfaces without faces
// taken out.
#include "ImportedMesh.h"

#include "Assembly.h"
#include "FaceMesh.h"
#include "InterfaceMap.h"
#include "Mesh.h"
#include "NameManager.h"
#include "Region.h"
#include "Representation.h"
#include "Set.h"
#include "Topology.h"
#include "Visual.h"
#include "zyrArrayUtilities.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrTrace.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

int ImportedMesh_completeModel(ImportedMesh *im) {
  NameManager *nm = Topology_getNameManager(im->m_topology);

  // While the regions are clumped no new assembly may take a name that an entry is to get.
  char *defaultName = nullptr;
  std::string placeholder;
  if (im->m_noOfCompositeNames > 0 && nm != nullptr) {
    size_t longest = 0;
    for (int32_t i = 0; i < im->m_noOfCompositeNames; ++i) {
      longest = std::max(longest, strlen(im->m_compositeNames[i]));
      for (int32_t j = 0; im->m_components != nullptr && j < im->m_noOfComponents[i]; ++j)
        longest = std::max(longest, strlen(im->m_components[i][j]));
    }
    NameManager_getDefaultAssemblyName(nm, &defaultName);
    placeholder.assign(longest + 1, 'z');
    NameManager_setDefaultAssemblyName(nm, placeholder.c_str());
  }

  zyrSortRegionsAlphabetically(im->m_noOfRegions, im->m_regions);
  Set *regions = Set_newFromArray(im->m_noOfRegions, reinterpret_cast<void *const *>(im->m_regions));
  Topology_clump(im->m_topology, regions);
  Set_delete(regions);

  ImportedMesh_restoreAssemblyNames(im);

  if (im->m_noOfCompositeNames > 0 && nm != nullptr)
    NameManager_addImportedComposites(nm, im->m_noOfRegions, im->m_regions, im->m_noOfCompositeNames,
                                      im->m_compositeNames, im->m_noOfComponents, im->m_components);

  // The placeholder only kept the names free: once the composite names are in, the assemblies
  // that still carry it are named after the default assembly name, which the model keeps.
  if (defaultName != nullptr) {
    NameManager_setDefaultAssemblyName(nm, defaultName);
    Assembly **assemblies = nullptr;
    const int32_t count = Topology_getAssemblies(im->m_topology, &assemblies);
    for (int32_t i = 0; i < count; ++i)
      if (strncmp(Assembly_getName(assemblies[i]), placeholder.c_str(), placeholder.size()) == 0)
        Assembly_changeName(assemblies[i], defaultName, 0);
    zyrMemory_free(assemblies, __func__);
    zyrCString_free(defaultName);
  }

  FaceMesh **faceMeshes = nullptr;
  const int32_t n = Mesh_getFaceMeshes(im->m_mesh, &faceMeshes);
  for (int32_t i = 0; i < n; ++i) {
    Visual *visual = Visual_newFromFaceMesh(FaceMesh_getRegion(faceMeshes[i]), faceMeshes[i]);
    if (visual != nullptr && !Representation_addVisual(im->m_representation, visual))
      Visual_delete(visual);
  }
  zyrMemory_free(faceMeshes, __func__);

  ImportedMesh_purgeEmptyRegions(im);
  return 1;
}

int ImportedMesh_restoreAssemblyNames(ImportedMesh *im) {
  ZYR_TRACE_BEGIN_DESC("Restore imported assembly names.");
  if (im->m_assemblyRegions == nullptr)
    return 1;
  NameManager *nm = Topology_getNameManager(im->m_topology);
  Assembly **assemblies = nullptr;
  const int32_t noOfAssemblies = Topology_getAssemblies(im->m_topology, &assemblies);
  Region ***members = zyrMemory_allocateZeroedArray<Region **>(noOfAssemblies > 0 ? noOfAssemblies : 1, __func__);
  int32_t *counts = zyrMemory_allocateZeroedArray<int32_t>(noOfAssemblies > 0 ? noOfAssemblies : 1, __func__);
  for (int32_t a = 0; a < noOfAssemblies; ++a) {
    counts[a] = Assembly_getRegions(assemblies[a], 15, &members[a]);
    zyrSortPointerArray(1, counts[a], reinterpret_cast<void **>(members[a]));
  }
  if (im->m_recoveredAssemblies == nullptr)
    im->m_recoveredAssemblies = zyrMemory_allocateZeroedArray<Assembly *>(
        im->m_noOfCompositeNames > 0 ? im->m_noOfCompositeNames : 1, __func__);

  for (int32_t i = 0; i < im->m_noOfCompositeNames; ++i) {
    const int32_t n = im->m_noOfAssembly3DRegions[i] + im->m_noOfAssembly2DRegions[i];
    if (nm != nullptr)
      NameManager_releaseName(nm, im->m_compositeNames[i]);
    // The regions compare as sets; the entry's own list keeps the file's order for a composite.
    std::vector<Region *> wanted(im->m_assemblyRegions[i], im->m_assemblyRegions[i] + std::max(n, 0));
    zyrSortPointerArray(1, n, reinterpret_cast<void **>(wanted.data()));
    Assembly *found = nullptr;
    for (int32_t a = 0; found == nullptr && a < noOfAssemblies; ++a)
      if (counts[a] == n && std::equal(wanted.begin(), wanted.end(), members[a]))
        found = assemblies[a];
    int renamed = 0;
    if (found != nullptr) {
      renamed = Assembly_changeName(found, im->m_compositeNames[i], 0);
      if (renamed) {
        if (ZYR_TRACE_DEBUG(1))
          zyrTrace_printf("Identified assembly \"%s\" [status = %d]\n", im->m_compositeNames[i], renamed);
        im->m_recoveredAssemblies[im->m_noOfRecoveredAssemblies++] = found;
      }
    }
    if (!renamed) {
      // The entry's name becomes a composite name over its regions.
      if (im->m_components[i] != nullptr)
        zyrCStringArray_free(im->m_components[i], static_cast<uint64_t>(im->m_noOfComponents[i]));
      im->m_components[i] = zyrMemory_allocateZeroedArray<char *>(n > 0 ? n : 1, __func__);
      for (int32_t j = 0; j < n; ++j)
        im->m_components[i][j] = zyrCString_clone(Region_getBaseName(im->m_assemblyRegions[i][j]));
      im->m_noOfComponents[i] = n;
    } else {
      if (im->m_components[i] != nullptr)
        zyrCStringArray_free(im->m_components[i], static_cast<uint64_t>(im->m_noOfComponents[i]));
      im->m_components[i] = nullptr;
      im->m_noOfComponents[i] = 0;
    }
  }
  for (int32_t a = 0; a < noOfAssemblies; ++a)
    zyrMemory_free(members[a], __func__);
  zyrMemory_free(members, __func__);
  zyrMemory_free(counts, __func__);
  zyrMemory_free(assemblies, __func__);
  return 1;
}

int ImportedMesh_purgeEmptyRegions(ImportedMesh *im) {
  int result = 1;
  FaceMesh **faceMeshes = nullptr;
  const int32_t n = Mesh_getFaceMeshes(im->m_mesh, &faceMeshes);
  for (int32_t i = 0; i < n; ++i) {
    FaceMesh *faceMesh = faceMeshes[i];
    if (FaceMesh_getNoOfFaces(faceMesh) != 0)
      continue;
    Region *region = FaceMesh_getRegion(faceMesh);
    Visual *visual = Representation_getVisual(im->m_representation, region);
    Connection *connection = Region_getConnection(region);
    InterfaceMap *map = connection != nullptr ? Mesh_getInterfaceMap(im->m_mesh, connection) : nullptr;
    if (map != nullptr) {
      Mesh_removeInterfaceMap(im->m_mesh, map);
      InterfaceMap_delete(map);
    }
    if (!Mesh_removeFaceMesh(im->m_mesh, faceMesh))
      result = 0;
    FaceMesh_delete(faceMesh);
    if (visual != nullptr) {
      if (!Representation_removeVisual(im->m_representation, visual))
        result = 0;
      Visual_delete(visual);
    }
    // The region's slot goes too, so that the record never names a deleted region.
    for (int32_t r = 0; r < im->m_noOfRegions; ++r)
      if (im->m_regions[r] == region)
        im->m_regions[r] = nullptr;
    Region_delete(region);
  }
  zyrMemory_free(faceMeshes, __func__);
  return result;
}
