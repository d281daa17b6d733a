// Bulk matching of face meshes and the merging of assemblies whose meshes meet.
#include "Mesh.h"

#include "Assembly.h"
#include "FaceMesh.h"
#include "InterfaceMap.h"
#include "NameManager.h"
#include "Region.h"
#include "Topology.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrTrace.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char *const kOriginalAssemblyName = "Original Assembly Name";

// A connection would be refused: the region is already connected or glued.
bool isTaken(const Region *region) {
  return region == nullptr || Region_getConnection(region) != nullptr || region->m_gluings != nullptr;
}

struct Candidate {
  int32_t m_state = -2;  // -2 untouched, -1 a survivor that absorbed others, >= 0 absorbed into
  double m_box[6] = {1.7976931348623157e308, 1.7976931348623157e308, 1.7976931348623157e308,
                     -1.7976931348623157e308, -1.7976931348623157e308, -1.7976931348623157e308};
  std::vector<FaceMesh *> m_faceMeshes;
  std::vector<Region *> m_regions;
  std::string m_name;
  bool m_hasName = false;
  bool m_reserved = false; // a reservation of the old name made here, to be released
};

int32_t rootOf(const std::vector<Candidate> &candidates, int32_t k) {
  while (candidates[static_cast<size_t>(k)].m_state >= 0)
    k = candidates[static_cast<size_t>(k)].m_state;
  return k;
}

bool overlap(const double *a, const double *b) {
  for (int axis = 0; axis < 3; ++axis)
    if (b[axis] > a[axis + 3] || a[axis] > b[axis + 3])
      return false;
  return true;
}

void reserve(NameManager *nm, Candidate &candidate) {
  if (nm != nullptr && candidate.m_hasName && !candidate.m_reserved)
    candidate.m_reserved = NameManager_reserveName(nm, candidate.m_name.c_str()) == 1;
}

} // namespace

int32_t Mesh_matchMeshes(Mesh *mesh, double scaleFactor, const int32_t counts[2], FaceMesh **const faceMeshes[2],
                         const zyrAffineTransform3D *transform, int32_t mode, InterfaceMap ***interfaceMaps) {
  if (interfaceMaps != nullptr)
    *interfaceMaps = nullptr;
  const int32_t n = std::max(counts[0], counts[1]);
  if (n <= 0)
    return 0;
  InterfaceMap **maps = mode == MESH_MATCH_NEW_MAPS ? zyrMemory_allocateArray<InterfaceMap *>(n, __func__) : nullptr;
  int32_t found = 0;
  for (int32_t i = 0; i < counts[0]; ++i) {
    FaceMesh *side0 = faceMeshes[0][i];
    if (side0 == nullptr)
      continue;
    for (int32_t j = 0; j < counts[1]; ++j) {
      FaceMesh *side1 = faceMeshes[1][j];
      Region *regions[2] = {FaceMesh_getRegion(side0), side1 != nullptr ? FaceMesh_getRegion(side1) : nullptr};
      // Connecting would be refused whatever the meshes: no need to compare them.
      if (side1 == nullptr || (mode == MESH_MATCH_CONNECT && (isTaken(regions[0]) || isTaken(regions[1]))))
        continue;
      int32_t *permutation = nullptr;
      int32_t *faceMap = nullptr;
      if (FaceMesh_match(side0, side1, transform, scaleFactor, 0, &permutation, &faceMap) != 1)
        continue;
      if (mode != MESH_MATCH_NEW_MAPS && mode != MESH_MATCH_CONNECT) {
        zyrMemory_free(permutation, __func__);
        zyrMemory_free(faceMap, __func__);
        ++found;
        break;
      }
      Connection *connection = nullptr;
      if (mode == MESH_MATCH_CONNECT) {
        connection = Region_connectNeighbour(regions[0], regions[1]);
        if (connection == nullptr) {
          zyrMemory_free(permutation, __func__);
          zyrMemory_free(faceMap, __func__);
          continue;
        }
      }
      InterfaceMap *map = InterfaceMap_new(side0, side1, connection, permutation, faceMap);
      if (map == nullptr) {
        // Both regions forget the connection made for the map.
        if (connection != nullptr)
          Region_unconnectNeighbour(regions[0]);
        continue;
      }
      if (mode == MESH_MATCH_CONNECT)
        Mesh_addInterfaceMap(mesh, map);
      else
        maps[found] = map;
      ++found;
      break;
    }
  }
  if (maps != nullptr) {
    if (found == 0)
      zyrMemory_freeAndClear(&maps, __func__);
    if (interfaceMaps != nullptr)
      *interfaceMaps = maps;
    else
      zyrMemory_free(maps, __func__);
  }
  return found;
}

int Mesh_mergeAssemblies(Mesh *mesh, double scaleFactor, int32_t keepAssemblyNames, int32_t *noOfAssemblies,
                         Assembly **assemblies) {
  ZYR_TRACE_BEGIN();
  const int32_t n = *noOfAssemblies;
  if (n < 1)
    return 1;
  Topology *topology = Mesh_getTopology(mesh);
  NameManager *nm = topology != nullptr ? Topology_getNameManager(topology) : nullptr;
  std::vector<Candidate> candidates(static_cast<size_t>(n));
  for (int32_t k = 0; k < n; ++k) {
    Candidate &c = candidates[static_cast<size_t>(k)];
    if (assemblies[k] == nullptr)
      continue;
    Region **regions = nullptr;
    const int32_t ns = Assembly_getRegions(assemblies[k], 4, &regions);
    for (int32_t r = 0; r < ns; ++r) {
      FaceMesh *fm = Region_getConnection(regions[r]) == nullptr ? Mesh_getFaceMesh(mesh, regions[r]) : nullptr;
      if (fm == nullptr)
        continue;
      c.m_faceMeshes.push_back(fm);
      double box[6];
      FaceMesh_getBoundingBox(fm, box);
      for (int axis = 0; axis < 3; ++axis) {
        c.m_box[axis] = std::min(c.m_box[axis], box[axis]);
        c.m_box[axis + 3] = std::max(c.m_box[axis + 3], box[axis + 3]);
      }
    }
    zyrMemory_free(regions, __func__);
    regions = nullptr;
    const int32_t all = Assembly_getRegions(assemblies[k], 15, &regions);
    c.m_regions.assign(regions, regions + std::max(all, 0));
    zyrMemory_free(regions, __func__);
    const char *name = Assembly_getName(assemblies[k]);
    c.m_hasName = name != nullptr;
    c.m_name = name != nullptr ? name : "";
  }
  // Boxes grow by 1 % of their own largest extent.
  for (Candidate &c : candidates) {
    const double t =
        0.01 * std::max({c.m_box[3] - c.m_box[0], c.m_box[4] - c.m_box[1], c.m_box[5] - c.m_box[2]});
    for (int axis = 0; axis < 3; ++axis) {
      c.m_box[axis] -= t;
      c.m_box[axis + 3] += t;
    }
  }
  for (int32_t i = 0; i + 1 < n; ++i)
    for (int32_t j = i + 1; j < n; ++j) {
      Candidate &ci = candidates[static_cast<size_t>(i)];
      Candidate &cj = candidates[static_cast<size_t>(j)];
      if (ci.m_faceMeshes.empty() || cj.m_faceMeshes.empty() || !overlap(ci.m_box, cj.m_box))
        continue;
      const int32_t counts[2] = {static_cast<int32_t>(ci.m_faceMeshes.size()),
                                 static_cast<int32_t>(cj.m_faceMeshes.size())};
      FaceMesh **const lists[2] = {ci.m_faceMeshes.data(), cj.m_faceMeshes.data()};
      if (Mesh_matchMeshes(mesh, scaleFactor, counts, lists, nullptr, MESH_MATCH_CONNECT, nullptr) < 1)
        continue;
      if (ZYR_TRACE_DEBUG(1))
        zyrTrace_printf("  Merge assembly %d into assembly %d.\n", j, i);
      const int32_t rootJ = rootOf(candidates, j);
      const int32_t rootI = rootOf(candidates, i);
      if (rootJ != rootI) {
        // Connecting merged the assembly at the root of j into the one at the root of i.
        candidates[static_cast<size_t>(rootJ)].m_state = rootI;
        assemblies[rootJ] = nullptr;
        // The absorbed assembly's own name is kept from generated names, whichever pair absorbed it.
        if (keepAssemblyNames)
          reserve(nm, candidates[static_cast<size_t>(rootJ)]);
      }
      if (assemblies[rootI] != nullptr)
        candidates[static_cast<size_t>(rootI)].m_state = -1;
    }
  for (int32_t k = 0; k < n; ++k)
    if (candidates[static_cast<size_t>(k)].m_state == -1 && assemblies[k] != nullptr && topology != nullptr) {
      Topology_removeAssembly(topology, assemblies[k]);
      if (keepAssemblyNames)
        reserve(nm, candidates[static_cast<size_t>(k)]);
    }
  for (int32_t k = 0; k < n; ++k)
    if (candidates[static_cast<size_t>(k)].m_state == -1 && assemblies[k] != nullptr && topology != nullptr)
      Topology_insertAssembly(topology, assemblies[k]);
  if (keepAssemblyNames && nm != nullptr)
    for (Candidate &c : candidates) {
      if (c.m_state == -2 || !c.m_hasName)
        continue;
      std::vector<const char *> names;
      for (Region *region : c.m_regions)
        if (Region_getUserName(region) != nullptr)
          names.push_back(Region_getUserName(region));
      // Only reservations made here are released: a name that holds an object stays with it.
      if (c.m_reserved)
        NameManager_releaseName(nm, c.m_name.c_str());
      c.m_reserved = false;
      const char *name = c.m_name.c_str();
      if (NameManager_createCompositeName(nm, name, 1, static_cast<int32_t>(names.size()), names.data(), 0,
                                          nullptr) == 1)
        NameManager_tagCompositeNames(nm, kOriginalAssemblyName, 1, 1, &name);
    }
  int32_t kept = 0;
  for (int32_t k = 0; k < n; ++k)
    if (assemblies[k] != nullptr)
      assemblies[kept++] = assemblies[k];
  *noOfAssemblies = kept;
  if (ZYR_TRACE_DEBUG(1))
    zyrTrace_printf("There are %d assemblies after merger.\n", kept);
  return 1;
}
