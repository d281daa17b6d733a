// Gluing named pairs of primitive regions: each pair is joined conformally (connected, with an
// interface map) when the two face meshes match, else glued; either way their assemblies become
// one. Every assembly that took part is then renamed by the name manager, and each former
// assembly name can live on as a composite name over the regions it held.
#include "Model.h"

#include "Assembly.h"
#include "Connection.h"
#include "FaceMesh.h"
#include "HashTable.h"
#include "InterfaceMap.h"
#include "Mesh.h"
#include "NameManager.h"
#include "Region.h"
#include "Topology.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"
#include "zyrTrace.h"

#include <vector>

namespace {

const char *const kOriginalAssemblyName = "Original Assembly Name";

// States of an assembly taking part.
enum { GLUE_UNTOUCHED = 0, GLUE_JOINED = 1, GLUE_ABSORBED = 2 };

// One assembly taking part, as it was before anything changed.
struct GluedAssembly {
  Assembly *m_assembly; // live while the state is not GLUE_ABSORBED
  char *m_name;         // its former name
  Region **m_regions;   // its regions of every dimension
  int32_t m_noOfRegions;
  int32_t m_state;
  int32_t m_parent; // union-find: the assembly it went into (itself while it survives)
  int m_reserved;   // its former name is held in reserve by this call
};

int32_t findSurvivor(std::vector<GluedAssembly> &table, int32_t i) {
  while (table[i].m_parent != i) {
    table[i].m_parent = table[table[i].m_parent].m_parent;
    i = table[i].m_parent;
  }
  return i;
}

// The index of the assembly a region lies in now. A pair joined earlier in the call may have
// moved the region into another assembly and deleted its first one, so the region is asked for
// its current assembly and the answer checked against what the merges recorded.
int32_t currentIndex(std::vector<GluedAssembly> &table, HashTable *live, int32_t recorded, const Region *region) {
  const int32_t survivor = findSurvivor(table, recorded);
  Assembly *assembly = Region_getAssembly(region);
  if (assembly == table[survivor].m_assembly)
    return survivor;
  if (assembly == nullptr)
    return -1;
  // Indices are stored plus one, so that no entry is NULL.
  void *value = HashTable_find(live, assembly);
  if (value == nullptr)
    return -1;
  return static_cast<int32_t>(reinterpret_cast<intptr_t>(value)) - 1;
}

char **newNameArray(int32_t count) {
  if (count < 1)
    return nullptr;
  return static_cast<char **>(zyrMemory_allocateAndSet(count * static_cast<int64_t>(sizeof(char *)), 0, __func__));
}

void reserve(NameManager *nm, GluedAssembly &entry) {
  if (!entry.m_reserved && entry.m_name != nullptr)
    entry.m_reserved = NameManager_reserveName(nm, entry.m_name) == 1;
}

// Conformal join: connect the pair and record the correspondence of the two face meshes.
int connect(Mesh *mesh, Region *first, Region *second, double tolerance) {
  FaceMesh *faceMesh0 = mesh != nullptr ? Mesh_getFaceMesh(mesh, first) : nullptr;
  FaceMesh *faceMesh1 = mesh != nullptr ? Mesh_getFaceMesh(mesh, second) : nullptr;
  if (faceMesh0 == nullptr || faceMesh1 == nullptr)
    return 0;
  int32_t *vertexMap = nullptr;
  int32_t *faceMap = nullptr;
  if (!FaceMesh_match(faceMesh0, faceMesh1, nullptr, tolerance, 0, &vertexMap, &faceMap))
    return 0;
  Connection *connection = Region_connectNeighbour(first, second);
  if (connection == nullptr) {
    zyrMemory_free(vertexMap, __func__);
    zyrMemory_free(faceMap, __func__);
    return 0;
  }
  // The interface map takes the two arrays over, also when it cannot be made.
  InterfaceMap *interfaceMap = InterfaceMap_new(faceMesh0, faceMesh1, connection, vertexMap, faceMap);
  if (interfaceMap == nullptr || !Mesh_addInterfaceMap(mesh, interfaceMap)) {
    if (interfaceMap != nullptr)
      InterfaceMap_delete(interfaceMap);
    // Through the region, so that neither side keeps pointing at the deleted connection.
    Region_unconnectNeighbour(first);
    return 0;
  }
  return 1;
}

} // namespace

namespace {

// The regions of the pairs, and their assemblies numbered in order of first appearance (live
// maps each assembly to its index plus one); 0 when a name is not a primitive region.
int collectAssemblies(Model *model, int64_t noOfNames, char *const *pairedRegions, std::vector<Region *> &regions,
                      std::vector<int32_t> &recorded, std::vector<GluedAssembly> &table, HashTable *live) {
  regions.assign(static_cast<size_t>(noOfNames), nullptr);
  recorded.assign(static_cast<size_t>(noOfNames), -1);
  int allFound = 1;
  for (int64_t k = 0; k < noOfNames; ++k) {
    Region *region = nullptr;
    const char *name = pairedRegions != nullptr ? pairedRegions[k] : nullptr;
    if (name == nullptr || !Model_findPrimitiveRegion(model, name, &region)) {
      allFound = 0;
      continue;
    }
    regions[k] = region;
    Assembly *assembly = Region_getAssembly(region);
    if (assembly == nullptr)
      continue;
    void *value = HashTable_find(live, assembly);
    if (value == nullptr) {
      const int32_t index = static_cast<int32_t>(table.size());
      table.push_back(GluedAssembly{assembly, nullptr, nullptr, 0, GLUE_UNTOUCHED, index, 0});
      value = reinterpret_cast<void *>(static_cast<intptr_t>(index) + 1);
      HashTable_insert(live, assembly, value);
    }
    recorded[k] = static_cast<int32_t>(reinterpret_cast<intptr_t>(value)) - 1;
  }
  return allFound;
}

// Joins or glues each pair in turn and records which assemblies joined and which were absorbed.
void gluePairs(Model *model, NameManager *nm, int keepNames, bool debug, int32_t noOfgluedPairs,
               const std::vector<Region *> &regions, const std::vector<int32_t> &recorded,
               std::vector<GluedAssembly> &table, HashTable *live) {
  Mesh *mesh = Model_getMesh(model);
  for (int32_t i = 0; i < noOfgluedPairs; ++i) {
    Region *first = regions[2 * static_cast<size_t>(i)];
    Region *second = regions[2 * static_cast<size_t>(i) + 1];
    const int32_t a = currentIndex(table, live, recorded[2 * static_cast<size_t>(i)], first);
    const int32_t b = currentIndex(table, live, recorded[2 * static_cast<size_t>(i) + 1], second);
    const double tolerance = Model_getActiveRelativeTolerance(model);
    int joined = connect(mesh, first, second, tolerance);
    if (!joined)
      joined = Region_glueNeighbour(first, second) != nullptr;
    if (debug)
      zyrTrace_printf("  Gluing %s to %s.\n", Region_getName(first), Region_getName(second));
    // A connection made and taken back again has still merged the assemblies.
    const int merged = a >= 0 && b >= 0 && b != a && Region_getAssembly(second) == table[a].m_assembly;
    if (!joined) {
      ZYR_ERROR_FOR(ZYR_W_INVALID_INPUT_IGNORED, "Model_glueRegions",
                    "Unable to glue the following pair of regions:\n\n%s\n%s\n", Region_getName(first),
                    Region_getName(second));
    }
    if (a < 0 || (!joined && !merged))
      continue;
    table[a].m_state = GLUE_JOINED;
    if (merged) {
      // The second assembly went into the first and no longer exists.
      HashTable_remove(live, table[b].m_assembly);
      table[b].m_state = GLUE_ABSORBED;
      table[b].m_assembly = nullptr;
      table[b].m_parent = a;
      if (keepNames)
        reserve(nm, table[b]);
    }
  }
}

// The joined assemblies leave the topology and come back under fresh names; their former names,
// held in reserve, are not handed out again. With keepNames each former name lives on as a
// composite name over the regions it held.
int renameJoined(Topology *topology, NameManager *nm, int keepNames, std::vector<GluedAssembly> &table) {
  int status = 1;
  for (GluedAssembly &entry : table)
    if (entry.m_state == GLUE_JOINED) {
      status = Topology_removeAssembly(topology, entry.m_assembly);
      if (keepNames)
        reserve(nm, entry);
    }
  for (GluedAssembly &entry : table)
    if (entry.m_state == GLUE_JOINED)
      status = Topology_insertAssembly(topology, entry.m_assembly);
  if (!keepNames)
    return status;
  for (GluedAssembly &entry : table) {
    if (entry.m_state == GLUE_UNTOUCHED || entry.m_name == nullptr)
      continue;
    // Only a reservation of this call is released: a name that an object holds stays with it.
    if (entry.m_reserved)
      NameManager_releaseName(nm, entry.m_name);
    entry.m_reserved = 0;
    std::vector<const char *> components;
    for (int32_t r = 0; r < entry.m_noOfRegions; ++r) {
      const char *name = Region_getUserName(entry.m_regions[r]);
      components.push_back(name != nullptr ? name : Region_getName(entry.m_regions[r]));
    }
    status = NameManager_createCompositeName(nm, entry.m_name, 1, static_cast<int32_t>(components.size()),
                                             components.data(), 0, nullptr);
    if (status == 1) {
      const char *name = entry.m_name;
      status = NameManager_tagCompositeNames(nm, kOriginalAssemblyName, 1, 1, &name);
    }
  }
  return status;
}

// The former names of every assembly that took part, and the new names of the joined ones.
void handBackNames(std::vector<GluedAssembly> &table, int32_t *noOfAssembliesIn, char ***assembliesIn,
                   int32_t *noOfAssembliesOut, char ***assembliesOut) {
  const int32_t noIn = static_cast<int32_t>(table.size());
  int32_t noOut = 0;
  for (const GluedAssembly &entry : table)
    noOut += entry.m_state == GLUE_JOINED;
  *noOfAssembliesIn = noIn;
  *assembliesIn = newNameArray(noIn);
  for (int32_t i = 0; i < noIn; ++i) {
    (*assembliesIn)[i] = table[i].m_name;
    table[i].m_name = nullptr;
  }
  *noOfAssembliesOut = noOut;
  *assembliesOut = newNameArray(noOut);
  int32_t j = 0;
  for (const GluedAssembly &entry : table)
    if (entry.m_state == GLUE_JOINED)
      (*assembliesOut)[j++] = zyrCString_clone(Assembly_getName(entry.m_assembly));
}

} // namespace

int Model_glueRegions(Model *model, int32_t flags, int32_t noOfgluedPairs, char *const *pairedRegions,
                      int32_t *noOfAssembliesIn, char ***assembliesIn, int32_t *noOfAssembliesOut,
                      char ***assembliesOut) {
  NameManager *nm = Model_getNameManager(model, __func__);
  if (nm == nullptr)
    return 0;
  ZYR_TRACE_BEGIN_DESC("Attempt to glue a collection of pairs of primitive regions together.");
  *noOfAssembliesIn = 0;
  *assembliesIn = nullptr;
  *noOfAssembliesOut = 0;
  *assembliesOut = nullptr;
  Model_flushChanges(model);
  Topology *topology = Model_getTopology(model);
  const int32_t noOfAssemblies = Topology_getNoOfAssemblies(topology);
  if (noOfAssemblies < 1)
    return 0;
  const int keepNames = (flags & 1) == 0;
  const int64_t noOfNames = noOfgluedPairs > 0 ? 2 * static_cast<int64_t>(noOfgluedPairs) : 0;

  std::vector<Region *> regions;
  std::vector<int32_t> recorded;
  std::vector<GluedAssembly> table;
  HashTable *live = HashTable_new(noOfAssemblies, HashTable_hashInteger, HashTable_compareIntegers);
  if (!collectAssemblies(model, noOfNames, pairedRegions, regions, recorded, table, live)) {
    HashTable_delete(live);
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "Unable to glue the supplied regions because some of them do not\n"
                                   "appear to be primitive regions.\n");
    return 0;
  }
  for (GluedAssembly &entry : table) {
    entry.m_noOfRegions = Assembly_getRegions(entry.m_assembly, 15, &entry.m_regions);
    entry.m_name = zyrCString_clone(Assembly_getName(entry.m_assembly));
  }
  gluePairs(model, nm, keepNames, ZYR_TRACE_DEBUG(1), noOfgluedPairs, regions, recorded, table, live);
  HashTable_delete(live);

  const int status = renameJoined(topology, nm, keepNames, table);
  if (status == 1)
    handBackNames(table, noOfAssembliesIn, assembliesIn, noOfAssembliesOut, assembliesOut);
  Model_flushChanges(model);
  for (GluedAssembly &entry : table) {
    zyrCString_free(entry.m_name);
    zyrMemory_free(entry.m_regions, __func__);
  }
  return status;
}
