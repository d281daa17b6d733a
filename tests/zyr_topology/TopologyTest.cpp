#include "Topology.h"
#include "Assembly.h"
#include "Boundary.h"
#include "Connection.h"
#include "HashSet.h"
#include "HashTable.h"
#include "NameManager.h"
#include "Region.h"
#include "RegionNameDictionary.h"
#include "Set.h"
#include "Shell.h"
#include "zyrObject.h"
#include "TopologyTestSupport.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrUUID.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A hexahedral block: one volume bounded by one shell of six surfaces.
struct Block {
  Region *volume = nullptr;
  Region *faces[6] = {};
};

Block makeBlock(Topology *topology, const std::string &prefix) {
  Block block;
  block.volume = Region_new(topology, nullptr, (prefix + " fluid").c_str(), 3);
  Boundary *boundary = Boundary_new();
  Shell *shell = Shell_new();
  for (int i = 0; i < 6; ++i) {
    block.faces[i] = Region_new(topology, nullptr, (prefix + " face " + std::to_string(i)).c_str(), 2);
    EXPECT_EQ(Shell_addRegion(shell, block.faces[i]), 1);
  }
  EXPECT_EQ(Boundary_addShell(boundary, shell), 1);
  EXPECT_EQ(Region_setBoundary(block.volume, boundary), 1);
  return block;
}

std::vector<std::string> namesOf(int32_t n, Region **regions) {
  std::vector<std::string> names;
  for (int32_t i = 0; i < n; ++i)
    names.push_back(Region_getName(regions[i]));
  zyrMemory_free(regions, "test");
  return names;
}

std::vector<std::string> regionNames(const Assembly *assembly) {
  Region **regions = nullptr;
  const int32_t n = Assembly_getRegions(assembly, 15, &regions);
  return namesOf(n, regions);
}

std::vector<std::string> sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

template <class T> bool setHas(const Set *set, const T *item) { return set != nullptr && Set_contains(set, item); }

// Both sides of every link of the topology agree, and every member is known by its name.
void expectLinksAgree(Topology *topology) {
  NameManager *nm = Topology_getNameManager(topology);
  Region **regions = nullptr;
  const int32_t n = Topology_getRegions(topology, 15, &regions);
  for (int32_t i = 0; i < n; ++i) {
    Region *r = regions[i];
    SCOPED_TRACE(Region_getName(r));
    EXPECT_EQ(Region_getTopology(r), topology);
    int32_t kind = 0;
    EXPECT_EQ(NameManager_lookupName(nm, Region_getUserName(r), &kind), r);
    if (Region_getAssembly(r) != nullptr) {
      EXPECT_TRUE(setHas(Region_getAssembly(r)->m_regions, r));
      EXPECT_EQ(Assembly_getTopology(Region_getAssembly(r)), topology);
    }
    if (Region_getShell(r) != nullptr)
      EXPECT_TRUE(setHas(Region_getShell(r)->m_regions, r));
    if (Region_getBoundary(r) != nullptr) {
      Boundary *boundary = Region_getBoundary(r);
      EXPECT_EQ(Boundary_getBoundedRegion(boundary), r);
      for (int32_t s = 0; s < Boundary_getNoOfShells(boundary); ++s)
        EXPECT_EQ(Shell_getBoundary(static_cast<Shell *>(boundary->m_shells->m_items[s])), boundary);
    }
    if (Region_getConnection(r) != nullptr) {
      EXPECT_EQ(r->m_gluings, nullptr);
      Region *other = Region_getNeighbour(r);
      ASSERT_NE(other, nullptr);
      EXPECT_EQ(Region_getConnection(other), Region_getConnection(r));
    }
    for (int32_t g = 0; r->m_gluings != nullptr && g < r->m_gluings->m_count; ++g) {
      Connection *gluing = static_cast<Connection *>(r->m_gluings->m_items[g]);
      Region *other = Connection_getOtherSide(gluing, r);
      ASSERT_NE(other, nullptr);
      EXPECT_TRUE(setHas(other->m_gluings, gluing));
    }
  }
  zyrMemory_free(regions, "test");
  Assembly **assemblies = nullptr;
  const int32_t m = Topology_getAssemblies(topology, &assemblies);
  for (int32_t i = 0; i < m; ++i) {
    EXPECT_EQ(Assembly_getTopology(assemblies[i]), topology);
    int32_t kind = 0;
    EXPECT_EQ(NameManager_lookupName(nm, Assembly_getName(assemblies[i]), &kind), assemblies[i]);
    for (int32_t j = 0; j < assemblies[i]->m_regions->m_count; ++j)
      EXPECT_EQ(Region_getAssembly(static_cast<Region *>(assemblies[i]->m_regions->m_items[j])), assemblies[i]);
  }
  zyrMemory_free(assemblies, "test");
}

template <class T> std::string printed(void (*print)(const T *, FILE *), const T *object) {
  char *buffer = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&buffer, &size);
  print(object, stream);
  std::fclose(stream);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

class TopologyTest : public TopologyStoreTest {
protected:
  void SetUp() override {
    TopologyStoreTest::SetUp();
    m_topology = Topology_new();
    ASSERT_NE(m_topology, nullptr);
  }

  // The two blocks of the usual import: regions sorted by name, then clumped.
  void importTwoBlocks() {
    m_a = makeBlock(m_topology, "A");
    m_b = makeBlock(m_topology, "B");
    Region **regions = nullptr;
    const int32_t n = Topology_getRegions(m_topology, 15, &regions);
    zyrSortRegionsAlphabetically(n, regions);
    Set *set = Set_newFromArray(n, reinterpret_cast<void **>(regions));
    zyrMemory_free(regions, "test");
    EXPECT_EQ(Topology_clump(m_topology, set), 2);
    EXPECT_EQ(Set_getNoOfMembers(set), 0);
    Set_delete(set);
  }

  Topology *fetchTopology() {
    return static_cast<Topology *>(Repository_getSingletonByTypeName(m_repository, "Topology"));
  }

  Topology *m_topology = nullptr;
  Block m_a, m_b;
};

TEST_F(TopologyTest, ClumpingConnectingAndGluing) {
  importTwoBlocks();
  Assembly *first = Topology_findAssembly(m_topology, "Assembly");
  Assembly *second = Topology_findAssembly(m_topology, "Assembly 2");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  // Named in the order of their first regions: "A face 0" sorts before every B region.
  EXPECT_EQ(Region_getAssembly(m_a.faces[0]), first);
  EXPECT_EQ(Region_getAssembly(m_b.volume), second);
  // Closing from "A face 0": its volume, then the volume's other surfaces.
  EXPECT_EQ(regionNames(first), (std::vector<std::string>{"A face 0", "A fluid", "A face 1", "A face 2", "A face 3",
                                                          "A face 4", "A face 5"}));

  // Two regions of different dimensionality are never connected.
  EXPECT_EQ(Region_connectNeighbour(m_a.faces[5], m_b.volume), nullptr);
  Connection *shared = Region_connectNeighbour(m_a.faces[5], m_b.faces[0]);
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(Connection_isDirect(shared), 1);
  EXPECT_EQ(Region_getNeighbour(m_b.faces[0]), m_a.faces[5]);
  EXPECT_EQ(Topology_getNoOfAssemblies(m_topology), 1);
  EXPECT_EQ(Topology_findAssembly(m_topology, "Assembly 2"), nullptr);
  EXPECT_EQ(Assembly_getNoOfRegions(first, 15), 14);
  EXPECT_EQ(Assembly_getNoOfRegions(first, 8), 2);
  // A connected region can be neither connected again nor glued.
  EXPECT_EQ(Region_connectNeighbour(m_a.faces[5], m_b.faces[1]), nullptr);
  EXPECT_EQ(Region_glueNeighbour(m_b.faces[0], m_a.faces[1]), nullptr);

  ASSERT_NE(Region_glueNeighbour(m_a.faces[1], m_b.faces[1]), nullptr);
  EXPECT_EQ(Region_glueNeighbour(m_a.faces[1], m_b.faces[1]), nullptr);
  EXPECT_EQ(Region_glueNeighbour(m_b.faces[1], m_a.faces[1]), nullptr);
  EXPECT_EQ(Region_isGluedTo(m_b.faces[1], m_a.faces[1]), 1);
  ASSERT_NE(Region_glueNeighbour(m_a.faces[1], m_b.faces[2]), nullptr);
  Region **glued = nullptr;
  EXPECT_EQ(namesOf(Region_getGluedNeighbour(m_a.faces[1], &glued), glued),
            (std::vector<std::string>{"B face 1", "B face 2"}));
  Connection **connections = nullptr;
  EXPECT_EQ(Topology_getConnections(m_topology, &connections), 3);
  zyrMemory_free(connections, "test");

  // After its last gluing goes, a region keeps no gluing set and may be connected directly.
  EXPECT_EQ(Region_unglueNeighbour(m_a.faces[1], m_b.faces[1]), 1);
  EXPECT_EQ(Region_unglueNeighbour(m_a.faces[1], m_b.faces[1]), 0);
  EXPECT_EQ(m_b.faces[1]->m_gluings, nullptr);
  EXPECT_NE(Region_connectNeighbour(m_b.faces[1], m_a.faces[3]), nullptr);
  EXPECT_EQ(Region_unconnectNeighbour(m_b.faces[1]), 1);
  EXPECT_EQ(Region_unconnectNeighbour(m_b.faces[1]), 0);
  EXPECT_EQ(Region_getConnection(m_a.faces[3]), nullptr);
  expectLinksAgree(m_topology);

  // Clumping: one unlinked region forms an assembly; an empty set forms none.
  Region *lone = Region_new(m_topology, nullptr, "lone", 0);
  Set *set = Set_new(1);
  EXPECT_EQ(Topology_clump(m_topology, set), 0);
  Set_add(set, lone);
  EXPECT_EQ(Topology_clump(m_topology, set), 1);
  Set_delete(set);
  // The name released by the merge is handed out again.
  EXPECT_STREQ(Assembly_getName(Region_getAssembly(lone)), "Assembly 2");
}

TEST_F(TopologyTest, ClosingTakesCandidatesLevelByLevel) {
  m_a = makeBlock(m_topology, "A");
  m_b = makeBlock(m_topology, "B");
  Region *c = Region_new(m_topology, nullptr, "C", 2);
  ASSERT_NE(Region_connectNeighbour(m_a.faces[5], m_b.faces[0]), nullptr);
  ASSERT_NE(Region_glueNeighbour(m_a.faces[3], c), nullptr);
  Assembly *assembly = Assembly_new(m_topology, "Part");
  ASSERT_EQ(Assembly_addRegion(assembly, m_a.faces[2]), 1);
  EXPECT_EQ(Assembly_close(assembly), 14);
  EXPECT_EQ(
      regionNames(assembly),
      (std::vector<std::string>{"A face 2", "A fluid", "A face 0", "A face 1", "A face 3", "A face 4", "A face 5", "C",
                                "B face 0", "B fluid", "B face 1", "B face 2", "B face 3", "B face 4", "B face 5"}));
  // Closing again adds nothing; a region of another assembly is never taken.
  EXPECT_EQ(Assembly_close(assembly), 0);
  Assembly *other = Assembly_new(m_topology, nullptr);
  Region *d = Region_new(m_topology, other, "D", 2);
  ASSERT_NE(Region_glueNeighbour(d, m_b.faces[5]), nullptr);
  // Gluing across assemblies merges the second region's assembly into the first's.
  EXPECT_EQ(Region_getAssembly(m_b.faces[5]), other);
  EXPECT_EQ(Assembly_getNoOfRegions(other, 15), 16);
  EXPECT_EQ(Topology_getNoOfAssemblies(m_topology), 1);
  expectLinksAgree(m_topology);
}

TEST_F(TopologyTest, DuplicatingAndDeleting) {
  importTwoBlocks();
  Assembly *assembly = Topology_findAssembly(m_topology, "Assembly");
  ASSERT_NE(Region_connectNeighbour(m_a.faces[5], m_b.faces[0]), nullptr);
  ASSERT_NE(Region_glueNeighbour(m_a.faces[1], m_b.faces[1]), nullptr);
  Region *outside = Region_new(m_topology, Assembly_new(m_topology, "Other"), "outside", 2);
  HashTable *regionMap = HashTable_new(100, HashTable_hashInteger, HashTable_compareIntegers);
  HashTable *connectionMap = HashTable_new(100, HashTable_hashInteger, HashTable_compareIntegers);
  // Glued to a region of another assembly after the merge: not copied.
  ASSERT_NE(Region_glueNeighbour(m_a.faces[2], outside), nullptr);
  EXPECT_EQ(Topology_getNoOfAssemblies(m_topology), 1);
  Assembly *copy = Assembly_duplicate(assembly, "Copy", regionMap, connectionMap);
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(Assembly_getName(copy), "Copy");
  EXPECT_EQ(Assembly_getNoOfRegions(copy, 15), 15);
  EXPECT_EQ(HashTable_getNoOfEntries(connectionMap), 3);
  Region *aFluid = static_cast<Region *>(HashTable_find(regionMap, m_a.volume));
  Region *a5 = static_cast<Region *>(HashTable_find(regionMap, m_a.faces[5]));
  Region *b0 = static_cast<Region *>(HashTable_find(regionMap, m_b.faces[0]));
  Region *outsideCopy = static_cast<Region *>(HashTable_find(regionMap, outside));
  ASSERT_NE(aFluid, nullptr);
  ASSERT_NE(outsideCopy, nullptr);
  EXPECT_EQ(Region_getId(aFluid), 3);
  EXPECT_STREQ(Region_getName(aFluid), "A fluid 2");
  // The copied boundary lists the copies of the same surfaces in the same order.
  Region **bounding = nullptr;
  EXPECT_EQ(
      namesOf(Region_getBoundingRegions(aFluid, &bounding), bounding),
      (std::vector<std::string>{"A face 0 2", "A face 1 2", "A face 2 2", "A face 3 2", "A face 4 2", "A face 5 2"}));
  EXPECT_EQ(Region_getNeighbour(a5), b0);
  Region *side1 = nullptr, *side2 = nullptr;
  Connection_getSides(Region_getConnection(a5), &side1, &side2);
  EXPECT_EQ(side1, a5);
  EXPECT_EQ(Region_isGluedTo(static_cast<Region *>(HashTable_find(regionMap, m_a.faces[1])),
                             static_cast<Region *>(HashTable_find(regionMap, m_b.faces[1]))),
            1);
  // The copy of a region glued to the outside region is glued to the outside copy only.
  Region *a2 = static_cast<Region *>(HashTable_find(regionMap, m_a.faces[2]));
  EXPECT_EQ(Region_isGluedTo(a2, outside), 0);
  EXPECT_EQ(Region_isGluedTo(a2, outsideCopy), 1);
  HashTable_delete(regionMap);
  HashTable_delete(connectionMap);
  expectLinksAgree(m_topology);

  // Deleting a volume destroys its boundary and shell; its surfaces survive outside any shell.
  Region *volume = m_a.volume;
  Region_delete(volume);
  for (Region *face : m_a.faces) {
    EXPECT_EQ(Region_getShell(face), nullptr);
    EXPECT_EQ(Region_getBoundedRegion(face), nullptr);
  }
  EXPECT_EQ(Topology_findRegion(m_topology, "A fluid"), nullptr);
  EXPECT_EQ(Topology_getNoOfRegions(m_topology, 8), 3);
  // Deleting a connected surface removes the connection on both sides.
  Region_delete(m_b.faces[0]);
  EXPECT_EQ(Region_getConnection(m_a.faces[5]), nullptr);
  expectLinksAgree(m_topology);
}

TEST_F(TopologyTest, PartialDuplication) {
  importTwoBlocks();
  Assembly *first = Topology_findAssembly(m_topology, "Assembly");
  Assembly *second = Topology_findAssembly(m_topology, "Assembly 2");
  ASSERT_NE(Region_glueNeighbour(m_a.faces[1], m_b.faces[1]), nullptr);
  ASSERT_EQ(Topology_getNoOfAssemblies(m_topology), 1);
  (void)second;
  // Copying block A's volume copies its surfaces too: one new assembly of seven regions.
  Set *part = Set_new(1);
  Set_add(part, m_a.volume);
  EXPECT_EQ(Assembly_partialDuplicate(first, part, 0), 1);
  Assembly *copy = Topology_findAssembly(m_topology, "Assembly 2");
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(Assembly_getNoOfRegions(copy, 15), 7);
  Region *faceCopy = Topology_findRegion(m_topology, "A face 1 2");
  ASSERT_NE(faceCopy, nullptr);
  EXPECT_EQ(faceCopy->m_gluings, nullptr);
  EXPECT_EQ(Region_getBoundedRegion(faceCopy), Topology_findRegion(m_topology, "A fluid 2"));
  // With gluing, the copy of A face 1 is glued to B face 1 and the copies join the assembly.
  EXPECT_EQ(Assembly_partialDuplicate(first, part, 1), 0);
  Region *glued = Topology_findRegion(m_topology, "A face 1 3");
  ASSERT_NE(glued, nullptr);
  EXPECT_EQ(Region_isGluedTo(glued, m_b.faces[1]), 1);
  EXPECT_EQ(Region_getAssembly(glued), first);
  EXPECT_EQ(Assembly_getNoOfRegions(first, 15), 21);
  Set_delete(part);
  expectLinksAgree(m_topology);
}

TEST_F(TopologyTest, ShellAndBoundaryLinks) {
  Region *volume = Region_new(m_topology, nullptr, "V", 3);
  Region *wall = Region_new(m_topology, nullptr, "W", 2);
  Region *inlet = Region_new(m_topology, nullptr, "I", 2);
  Boundary *boundary = Boundary_new();
  Boundary *second = Boundary_new();
  Shell *outer = Shell_new();
  Shell *inner = Shell_new();
  EXPECT_EQ(Boundary_addShell(boundary, outer), 1);
  EXPECT_EQ(Boundary_addShell(second, outer), 0);
  EXPECT_EQ(Boundary_addShell(boundary, outer), 0);
  EXPECT_EQ(Shell_setBoundary(inner, boundary), 1);
  EXPECT_EQ(Boundary_getNoOfShells(boundary), 2);
  EXPECT_EQ(Region_setBoundary(volume, boundary), 1);
  EXPECT_EQ(Boundary_setBoundedRegion(boundary, volume), 0);
  EXPECT_EQ(Region_setBoundary(volume, second), 0);
  EXPECT_EQ(Boundary_getBoundedRegion(second), nullptr);

  EXPECT_EQ(Shell_addRegion(outer, wall), 1);
  EXPECT_EQ(Region_setShell(inlet, outer), 1);
  EXPECT_EQ(Shell_addRegion(inner, wall), 0);
  // Entering another shell from the region side moves the region.
  EXPECT_EQ(Region_setShell(wall, inner), 1);
  EXPECT_EQ(Region_getShell(wall), inner);
  EXPECT_EQ(Shell_getNoOfRegions(outer), 1);
  // Added again to its own shell, a region goes to the end.
  EXPECT_EQ(Shell_addRegion(inner, inlet), 0);
  EXPECT_EQ(Region_setShell(inlet, inner), 1);
  EXPECT_EQ(Shell_addRegion(inner, wall), 1);
  Region **regions = nullptr;
  EXPECT_EQ(namesOf(Shell_getRegions(inner, &regions), regions), (std::vector<std::string>{"I", "W"}));
  EXPECT_EQ(Region_getBoundedRegion(wall), volume);
  EXPECT_EQ(Region_getNoOfBoundingRegions(volume), 2);
  EXPECT_EQ(Shell_removeRegion(outer, wall), 0);
  EXPECT_EQ(Shell_removeRegion(inner, wall), 1);
  EXPECT_EQ(Region_getShell(wall), nullptr);
  EXPECT_EQ(Boundary_removeShell(second, inner), 0);
  EXPECT_EQ(Boundary_removeShell(boundary, inner), 1);
  EXPECT_EQ(Shell_getBoundary(inner), nullptr);
  EXPECT_EQ(Region_getBoundedRegion(inlet), nullptr);
  EXPECT_EQ(Region_unsetBoundary(volume), 1);
  EXPECT_EQ(Boundary_getBoundedRegion(boundary), nullptr);
  Boundary_destroy(second, 1, 0);
  // Destroying with its shells and their regions deletes the regions too.
  Shell_addRegion(outer, wall);
  Boundary_destroy(boundary, 1, 1);
  EXPECT_EQ(Topology_getNoOfRegions(m_topology, 4), 1);
  EXPECT_EQ(Topology_findRegion(m_topology, "W"), nullptr);
  Shell_destroy(inner, 0);
  EXPECT_EQ(Region_getShell(inlet), nullptr);
  expectLinksAgree(m_topology);
}

TEST_F(TopologyTest, ResolvingLocations) {
  importTwoBlocks();
  Assembly *assembly = Topology_findAssembly(m_topology, "Assembly");
  auto resolve = [&](const char *location, int expand, int allowEmpty, int ignore, int *status) {
    int32_t n = -1;
    Region **regions = nullptr;
    *status = Topology_resolveLocation(m_topology, location, expand, allowEmpty, ignore, &n, &regions);
    if (*status == 0) {
      EXPECT_EQ(n, 0);
      EXPECT_EQ(regions, nullptr);
    }
    return sorted(namesOf(n, regions));
  };
  int status = 0;
  // Repeats are kept: a region named twice, or named and reached through its assembly.
  EXPECT_EQ(resolve(" A face 1 ,, A face 1,", 0, 0, 0, &status), (std::vector<std::string>{"A face 1", "A face 1"}));
  EXPECT_EQ(status, 1);
  std::vector<std::string> all = resolve("Assembly, A face 2", 0, 0, 0, &status);
  EXPECT_EQ(all.size(), 8u);
  EXPECT_EQ(std::count(all.begin(), all.end(), "A face 2"), 2);
  // Expansion replaces a volume by its surfaces; a surface listed with it occurs twice.
  EXPECT_EQ(
      resolve("A fluid, A face 0", 1, 0, 0, &status),
      (std::vector<std::string>{"A face 0", "A face 0", "A face 1", "A face 2", "A face 3", "A face 4", "A face 5"}));
  Region *bare = Region_new(m_topology, nullptr, "bare", 3);
  EXPECT_TRUE(resolve("bare", 1, 1, 0, &status).empty());
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(takeErrors().empty());
  EXPECT_TRUE(resolve("bare", 1, 0, 0, &status).empty());
  EXPECT_EQ(status, 0);
  EXPECT_EQ(takeErrors(), (std::vector<std::string>{"10038: Location \"bare\" is empty.\n"}));
  EXPECT_TRUE(resolve(" , ,", 0, 0, 0, &status).empty());
  EXPECT_EQ(takeErrors(), (std::vector<std::string>{"10038: Location \" , ,\" is empty.\n"}));
  // Unknown names fail, or are skipped when asked.
  EXPECT_TRUE(resolve("A face 1, Nowhere", 0, 1, 0, &status).empty());
  EXPECT_EQ(status, 0);
  EXPECT_EQ(takeErrors(), (std::vector<std::string>{"10039: The region name \"Nowhere\" was not recognised.\n"}));
  EXPECT_EQ(resolve("A face 1, Nowhere", 0, 1, 1, &status), (std::vector<std::string>{"A face 1"}));
  int32_t n = 0;
  Region **regions = nullptr;
  EXPECT_EQ(Topology_resolveLocation(m_topology, nullptr, 0, 1, 0, &n, &regions), 0);
  EXPECT_EQ(takeErrors(), (std::vector<std::string>{
                              "10020: A null pointer has been supplied where a location string is required.\n"}));
  // Composite names resolve through the name manager.
  const char *members[] = {"A face 1", "Assembly 2"};
  ASSERT_EQ(NameManager_createCompositeName(Topology_getNameManager(m_topology), "Walls", 1, 2, members, 0, nullptr),
            1);
  EXPECT_EQ(resolve("Walls", 0, 0, 0, &status).size(), 8u);
  const char *broken[] = {"A face 1", "Nowhere"};
  ASSERT_EQ(NameManager_createCompositeName(Topology_getNameManager(m_topology), "Broken", 1, 2, broken, 0, nullptr),
            1);
  EXPECT_TRUE(resolve("Broken", 0, 1, 0, &status).empty());
  // The names come in the order of their ids in the process-wide region-name dictionary, which
  // other tests of this process may have filled first.
  std::string listed[] = {"  \"A face 1\"\n", "  \"Nowhere\"  <-- INVALID \n"};
  uint64_t faceId = 0, nowhereId = 0;
  ASSERT_FALSE(RegionStatus_isError(RegionNameDictionary_lookup("A face 1", &faceId)));
  ASSERT_FALSE(RegionStatus_isError(RegionNameDictionary_lookup("Nowhere", &nowhereId)));
  if (nowhereId < faceId)
    std::swap(listed[0], listed[1]);
  EXPECT_EQ(takeErrors(), (std::vector<std::string>{
                              "10040: One or more of the region names used to define region \"Broken\"\nis not a "
                              "valid primitive region or assembly:\n\n" +
                              listed[0] + listed[1] + "\n"}));
  EXPECT_EQ(resolve("Broken", 0, 1, 1, &status), (std::vector<std::string>{"A face 1"}));
  (void)assembly;
  (void)bare;
}

TEST_F(TopologyTest, PrintsAndSorts) {
  Assembly *assembly = Assembly_new(m_topology, "Rotor");
  Region *volume = Region_new(m_topology, assembly, "Fluid", 3);
  Region *wall = Region_new(m_topology, assembly, "Wall", 2);
  Region *hub = Region_new(m_topology, assembly, nullptr, 2);
  Boundary *boundary = Boundary_new();
  Shell *shell = Shell_new();
  Shell_addRegion(shell, wall);
  Shell_addRegion(shell, hub);
  Boundary_addShell(boundary, shell);
  Region_setBoundary(volume, boundary);
  Region *other = Region_new(m_topology, nullptr, "Other", 2);
  Region_glueNeighbour(wall, other);
  Region_glueNeighbour(wall, hub);
  Region_setPriority(wall, 1);
  char uuid[ZYR_UUID_BASE64_SIZE], topologyUuid[ZYR_UUID_BASE64_SIZE], assemblyUuid[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(wall, uuid);
  zyrObject_getUUIDString(m_topology, topologyUuid);
  zyrObject_getUUIDString(assembly, assemblyUuid);
  const std::string rule = "==============================================\n";
  EXPECT_EQ(printed(Region_print, wall),
            "\n" + rule + "Region: \"Wall\"\n" + rule + "\nUUID:           " + uuid +
                "\nPriority:       1\nUser name:      \"Wall\"\nOriginal name:  \"Wall\"\nBase name:      \"Wall\"\n"
                "Dimensionality: 2\nID:             1\nTopology:       " +
                topologyUuid + "\nAssembly:       " + assemblyUuid +
                "\nBounds:         \"Fluid\"\nGlued to:       \"Other\"\n                \"Region 2.2\"\n" + rule +
                "\n");
  std::string text = printed(Region_print, volume);
  EXPECT_NE(text.find("Boundary:       2\n  \"Wall\"\n  \"Region 2.2\"\n"), std::string::npos);
  Region *loose = Region_new(nullptr, nullptr, nullptr, 1);
  EXPECT_STREQ(Region_getName(loose), "*** No name - region not in topology ***");
  text = printed(Region_print, loose);
  EXPECT_NE(text.find("User name:      \"\"\nOriginal name:  \"\"\nBase name:      \"DEFAULT\"\n"), std::string::npos);
  EXPECT_NE(text.find("Topology:       <UNKNOWN>\nAssembly:       <UNKNOWN>\n"), std::string::npos);

  zyrObject_getUUIDString(assembly, uuid);
  char address[32];
  std::snprintf(address, sizeof address, "%p", static_cast<void *>(assembly));
  const std::string dashes = "----------------------------------------------\n";
  EXPECT_EQ(printed(Assembly_print, assembly),
            "\n" + rule + "Assembly: \"Rotor\" (" + address + ")\n" + rule + "\nUUID:        " + uuid +
                "\nUser name:      \"Rotor\"\nBase name:  \"Rotor\"\nID:          1\nTopology:    " + topologyUuid +
                "\nNo. of regions = 3\n\n" + dashes + "Regions:\n" + dashes + "3 Fluid\n2 Wall\n2 Region 2.2\n" +
                dashes + rule + "\n");

  text = printed(Topology_print, m_topology);
  const std::string dash56(56, '-');
  EXPECT_EQ(text.find("\n" + std::string(56, '=') + "\n==                  Topology summary                  ==\n" +
                      std::string(56, '=') +
                      "\n\nNo. of assemblies = 1\n"
                      "No. of regions    = 4 (0D = 0, 1D = 0, 2D = 3, 3D = 1)\n\n" +
                      dash56 + "\nAssemblies:\n" + dash56 + "\nUser name                                ID\n" + dash56 +
                      "\nRotor" + std::string(36, ' ') + "1\n"),
            0u);
  EXPECT_NE(text.find("\n3 Fluid                                    Fluid\n"), std::string::npos);
  EXPECT_NE(text.find("\n2 Region 2.2                               \n"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 48), "==============================================\n\n");

  Region **regions = nullptr;
  const int32_t n = Topology_getRegions(m_topology, 15, &regions);
  zyrSortRegionsAlphabetically(n, regions);
  EXPECT_EQ(namesOf(n, regions), (std::vector<std::string>{"Fluid", "Other", "Region 2.2", "Wall"}));
  Assembly *assemblies[] = {assembly, Assembly_new(m_topology, "Casing"), Assembly_new(m_topology, nullptr)};
  zyrSortAssembliesAlphabetically(3, assemblies);
  EXPECT_STREQ(Assembly_getName(assemblies[0]), "Assembly");
  EXPECT_STREQ(Assembly_getName(assemblies[1]), "Casing");
  EXPECT_STREQ(Assembly_getName(assemblies[2]), "Rotor");
  Region_delete(loose);
}

// Lists come in model order: regions by dimensionality, then in the order they joined the
// topology; assemblies in the order they were made; resolved locations the same, repeats side by
// side. The hash sets that hold the members keep them in an order of their addresses, which with
// this many members is not the order of creation; nor is the order of the names.
TEST_F(TopologyTest, ListsComeInModelOrder) {
  std::vector<std::string> surfaces, volumes, assemblies;
  std::vector<Region *> created;
  for (int i = 0; i < 60; ++i) {
    const std::string name = "s" + std::to_string((i * 37) % 60);
    created.push_back(Region_new(m_topology, nullptr, name.c_str(), 2));
    surfaces.push_back(name);
    if (i % 10 == 3) {
      volumes.push_back("v" + std::to_string(9 - i / 10));
      Region_new(m_topology, nullptr, volumes.back().c_str(), 3);
      assemblies.push_back("a" + std::to_string(9 - i / 10));
      Assembly_new(m_topology, assemblies.back().c_str());
    }
  }
  Region_new(m_topology, nullptr, "line", 1);
  std::vector<std::string> all = {"line"};
  all.insert(all.end(), surfaces.begin(), surfaces.end());
  all.insert(all.end(), volumes.begin(), volumes.end());
  void **held = nullptr;
  const int32_t noOfHeld = HashSet_toArray(m_topology->m_regions[2], &held);
  EXPECT_NE(namesOf(noOfHeld, reinterpret_cast<Region **>(held)), surfaces) << "the set keeps creation order";

  auto regions = [](Topology *topology, int32_t mask) {
    Region **list = nullptr;
    const int32_t n = Topology_getRegions(topology, mask, &list);
    return namesOf(n, list);
  };
  auto assemblyNames = [](Topology *topology) {
    Assembly **list = nullptr;
    const int32_t n = Topology_getAssemblies(topology, &list);
    std::vector<std::string> names;
    for (int32_t i = 0; i < n; ++i)
      names.push_back(Assembly_getName(list[i]));
    zyrMemory_free(list, "test");
    return names;
  };
  auto resolve = [](Topology *topology, const char *location) {
    int32_t n = 0;
    Region **list = nullptr;
    EXPECT_EQ(Topology_resolveLocation(topology, location, 0, 0, 0, &n, &list), 1) << location;
    return namesOf(n, list);
  };
  EXPECT_EQ(regions(m_topology, 15), all);
  EXPECT_EQ(regions(m_topology, 4), surfaces);
  EXPECT_EQ(assemblyNames(m_topology), assemblies);
  const char *members[] = {"v6", surfaces[40].c_str(), "v9", surfaces[2].c_str()};
  ASSERT_EQ(NameManager_createCompositeName(Topology_getNameManager(m_topology), "Mixed", 1, 4, members, 0, nullptr),
            1);
  const std::vector<std::string> mixed = {surfaces[2], surfaces[40], "v9", "v6"};
  EXPECT_EQ(resolve(m_topology, "Mixed"), mixed);
  EXPECT_EQ(resolve(m_topology, (surfaces[40] + ", Mixed").c_str()),
            (std::vector<std::string>{surfaces[2], surfaces[40], surfaces[40], "v9", "v6"}));
  // A region that leaves and joins again comes last among its dimensionality.
  Topology_removeRegion(m_topology, created[0]);
  Topology_insertRegion(m_topology, created[0], nullptr);
  std::vector<std::string> rejoined(surfaces.begin() + 1, surfaces.end());
  rejoined.push_back(Region_getName(created[0]));
  EXPECT_EQ(regions(m_topology, 4), rejoined);

  // The stored sets come back in the same order after a reopen, which builds the hash sets anew.
  Repository_commit(m_repository);
  reopen();
  Topology *topology = fetchTopology();
  ASSERT_NE(topology, nullptr);
  EXPECT_EQ(regions(topology, 4), rejoined);
  EXPECT_EQ(assemblyNames(topology), assemblies);
  EXPECT_EQ(resolve(topology, "Mixed"), mixed);
  EXPECT_TRUE(takeErrors().empty());
}

TEST_F(TopologyTest, LinksSurviveCommitUndoRedoAndReopen) {
  importTwoBlocks();
  Connection *connection = Region_connectNeighbour(m_a.faces[5], m_b.faces[0]);
  ASSERT_NE(connection, nullptr);
  // Marked modified, the connection goes through its flush at the commit, which adds nothing to
  // what its setters stored (checked by the states below).
  EXPECT_EQ(zyrObject_setModified(connection), 1);
  const int32_t merged = Repository_commit(m_repository);
  ASSERT_NE(Region_glueNeighbour(m_a.faces[1], m_b.faces[1]), nullptr);
  Region_setPriority(m_b.faces[2], 7);
  Region_changeName(m_b.faces[2], "Outlet", 0);
  const int32_t glued = Repository_commit(m_repository);
  Region_delete(m_a.volume);
  Region_delete(m_b.faces[1]);
  EXPECT_EQ(m_a.faces[1]->m_gluings, nullptr);
  Assembly *copy = Topology_copyAssembly(m_topology, Topology_findAssembly(m_topology, "Assembly"), "Copy");
  ASSERT_NE(copy, nullptr);
  const int32_t changed = Repository_commit(m_repository);
  EXPECT_EQ(Topology_getNoOfRegions(m_topology, 15), 24);

  Repository_gotoState(m_repository, merged);
  EXPECT_EQ(Topology_getNoOfRegions(m_topology, 15), 14);
  EXPECT_EQ(Topology_getNoOfAssemblies(m_topology), 1);
  EXPECT_EQ(m_a.faces[1]->m_gluings, nullptr);
  EXPECT_EQ(Region_getPriority(m_b.faces[2]), 0);
  EXPECT_STREQ(Region_getName(m_b.faces[2]), "B face 2");
  // The deleted volume is back as a new record.
  EXPECT_EQ(Region_getBoundedRegion(m_a.faces[0]), Topology_findRegion(m_topology, "A fluid"));
  EXPECT_NE(Region_getBoundedRegion(m_a.faces[0]), nullptr);
  EXPECT_EQ(Region_getNeighbour(m_a.faces[5]), m_b.faces[0]);
  expectLinksAgree(m_topology);
  Repository_gotoState(m_repository, glued);
  EXPECT_EQ(Region_isGluedTo(Topology_findRegion(m_topology, "B face 1"), m_a.faces[1]), 1);
  EXPECT_STREQ(Region_getName(m_b.faces[2]), "Outlet");
  EXPECT_STREQ(Region_getBaseName(m_b.faces[2]), "Outlet");
  expectLinksAgree(m_topology);
  Repository_gotoState(m_repository, changed);
  expectLinksAgree(m_topology);
  EXPECT_EQ(Topology_getNoOfRegions(m_topology, 15), 24);

  reopen();
  Topology *topology = fetchTopology();
  ASSERT_NE(topology, nullptr);
  EXPECT_EQ(Topology_getNoOfAssemblies(topology), 2);
  EXPECT_EQ(Topology_getNoOfRegions(topology, 15), 24);
  Region *outlet = Topology_findRegion(topology, "Outlet");
  ASSERT_NE(outlet, nullptr);
  EXPECT_EQ(Region_getPriority(outlet), 7);
  EXPECT_STREQ(Region_getOriginalName(outlet), "B face 2");
  Region *fluid = Topology_findRegion(topology, "B fluid 2");
  ASSERT_NE(fluid, nullptr);
  EXPECT_EQ(Region_getNoOfBoundingRegions(fluid), 5);
  EXPECT_EQ(Region_getNeighbour(Topology_findRegion(topology, "A face 5 2")),
            Topology_findRegion(topology, "B face 0 2"));
  Connection **connections = nullptr;
  EXPECT_EQ(Topology_getConnections(topology, &connections), 2);
  zyrMemory_free(connections, "test");
  expectLinksAgree(topology);
  EXPECT_TRUE(takeErrors().empty());
}

TEST_F(TopologyTest, DamagedReferencesAreLeftOut) {
  Assembly *assembly = Assembly_new(m_topology, nullptr);
  Region *a = Region_new(m_topology, assembly, "a", 2);
  Region *b = Region_new(m_topology, assembly, "b", 2);
  Connection *connection = Region_connectNeighbour(a, b);
  ASSERT_NE(connection, nullptr);
  Repository_commit(m_repository);
  // References that name objects of the wrong kind.
  void *wrong[] = {a, connection, b};
  zyrObject_setPointers(assembly, "regions", wrong, 3);
  zyrObject_setPointer(b, "connection", assembly);
  void *sides[] = {a, assembly};
  zyrObject_setPointers(connection, "sides", sides, 2);
  Repository_commit(m_repository);
  reopen();
  // One report for each reference of a wrong type, and the connection's own for its lost side.
  std::vector<std::string> errors = takeErrors();
  ASSERT_EQ(errors.size(), 4u);
  for (const std::string &error : errors)
    EXPECT_EQ(error.substr(0, 7), "20006: ");
  Topology *topology = fetchTopology();
  assembly = Topology_findAssembly(topology, "Assembly");
  ASSERT_NE(assembly, nullptr);
  EXPECT_EQ(regionNames(assembly), (std::vector<std::string>{"a", "b"}));
  b = Topology_findRegion(topology, "b");
  EXPECT_EQ(Region_getConnection(b), nullptr);
  a = Topology_findRegion(topology, "a");
  EXPECT_EQ(Region_getNeighbour(a), nullptr);
  // The connection without sides can still be taken away, and the region connected anew.
  EXPECT_EQ(Region_unconnectNeighbour(a), 1);
  EXPECT_NE(Region_connectNeighbour(a, b), nullptr);
}

TEST_F(TopologyTest, CombiningTopologies) {
  Assembly *rotor = Assembly_new(m_topology, "Rotor");
  Region_new(m_topology, rotor, "Blade", 2);
  Topology *other = Topology_new();
  Assembly *incoming = Assembly_new(other, "Rotor");
  Assembly *stator = Assembly_new(other, "Stator");
  Assembly *casing = Assembly_new(other, "Casing");
  Region_new(other, incoming, "Blade", 2);
  Region_new(other, stator, "Vane", 2);
  Region_new(other, casing, "Shroud", 2);
  const char *members[] = {"Blade", "Rotor"};
  ASSERT_EQ(NameManager_createCompositeName(Topology_getNameManager(other), "Moving", 1, 2, members, 0, nullptr), 1);
  Assembly *given[] = {stator, incoming};
  ASSERT_EQ(Topology_combineTopologies(m_topology, other, 2, given), 1);
  EXPECT_EQ(Topology_getNoOfAssemblies(m_topology), 4);
  EXPECT_STREQ(Assembly_getName(stator), "Stator");
  // Rotor was taken: the newcomer was named anew, with the others in alphabetical order.
  EXPECT_STREQ(Assembly_getName(casing), "Casing");
  EXPECT_STREQ(Assembly_getName(incoming), "Rotor 2");
  EXPECT_NE(Topology_findRegion(m_topology, "Blade 2"), nullptr);
  EXPECT_EQ(Assembly_getTopology(incoming), m_topology);
  char **combination = nullptr;
  int32_t kind = 0, countA = 0, countB = 0;
  char **listB = nullptr;
  ASSERT_EQ(NameManager_getCompositeNameDefinition(Topology_getNameManager(m_topology), "Moving", &kind, &countA,
                                                   &combination, &countB, &listB),
            1);
  ASSERT_EQ(countA, 2);
  std::vector<std::string> components = {combination[0], combination[1]};
  EXPECT_EQ(sorted(components), (std::vector<std::string>{"Blade 2", "Rotor 2"}));
  zyrCStringArray_free(combination, 2);
  expectLinksAgree(m_topology);

  // A source composite named like a moved region's former name cannot be carried over: nothing
  // is transferred and the call fails, so that the caller rolls back.
  Topology *third = Topology_new();
  NameManager *thirdNames = Topology_getNameManager(third);
  const char *one[] = {"Blade"};
  ASSERT_EQ(NameManager_createCompositeName(thirdNames, "Fine", 1, 1, one, 0, nullptr), 1);
  ASSERT_EQ(NameManager_createCompositeName(thirdNames, "Vane", 1, 1, one, 0, nullptr), 1);
  Region *vane = Topology_findRegion(m_topology, "Vane");
  char *oldNames[] = {const_cast<char *>("Vane")};
  const int32_t composites = Topology_getNoOfCompositeNames(m_topology);
  EXPECT_EQ(NameManager_transferCompositeNames(Topology_getNameManager(m_topology), thirdNames, 1, &vane, oldNames, 0,
                                               nullptr, nullptr),
            0);
  EXPECT_EQ(takeErrors(), (std::vector<std::string>{"20006: Composite name, Vane, can not correspond to a region;\n"}));
  EXPECT_EQ(Topology_getNoOfCompositeNames(m_topology), composites);
  EXPECT_EQ(Topology_combineTopologies(m_topology, third, 0, nullptr), 1);
  EXPECT_EQ(Topology_getNoOfCompositeNames(m_topology), composites + 2);
  EXPECT_EQ(NameManager_isNameComposite(Topology_getNameManager(m_topology), "Vane 2"), 1);
}

// A link made or broken from either side, or from both, changes each membership once.
TEST_F(TopologyTest, EitherSideMakesTheLinkOnce) {
  Topology *other = Topology_new();
  Region *r = Region_new(nullptr, nullptr, "r", 2);
  EXPECT_EQ(Topology_insertRegion(m_topology, r, "wanted"), 1);
  EXPECT_EQ(Topology_insertRegion(m_topology, r, "again"), 1);
  EXPECT_EQ(Region_setTopology(r, m_topology, nullptr), 1);
  EXPECT_STREQ(Region_getUserName(r), "wanted");
  EXPECT_EQ(Topology_getNoOfRegions(m_topology, 4), 1);
  EXPECT_EQ(Region_getTopology(r), m_topology);

  Assembly *assembly = Assembly_new(other, nullptr);
  EXPECT_EQ(Region_setAssembly(r, assembly), 1);
  EXPECT_EQ(Assembly_addRegion(assembly, r), 1);
  EXPECT_EQ(Topology_addAssemblyRegion(other, r, assembly), 1);
  EXPECT_EQ(Assembly_getNoOfRegions(assembly, 15), 1);
  // The region followed its assembly into the other topology, keeping its name there.
  EXPECT_EQ(Region_getTopology(r), other);
  EXPECT_EQ(Topology_getNoOfRegions(m_topology, 15), 0);
  EXPECT_EQ(Topology_findRegion(other, "wanted"), nullptr);
  EXPECT_EQ(Topology_getNoOfRegions(other, 4), 1);
  EXPECT_EQ(Topology_removeAssemblyRegion(other, r, assembly), 1);
  EXPECT_EQ(Assembly_getNoOfRegions(assembly, 15), 0);
  EXPECT_EQ(Region_getAssembly(r), nullptr);
  EXPECT_EQ(Region_getTopology(r), other);
  EXPECT_EQ(Region_unsetTopology(r), 1);
  EXPECT_EQ(Topology_removeRegion(other, r), 1);
  EXPECT_EQ(Topology_getNoOfRegions(other, 15), 0);
  EXPECT_EQ(Region_getUserName(r), nullptr);

  EXPECT_EQ(Topology_removeAssembly(other, assembly), 1);
  EXPECT_EQ(Assembly_getTopology(assembly), nullptr);
  EXPECT_EQ(Topology_getNoOfAssemblies(other), 0);
  EXPECT_EQ(Assembly_getName(assembly), nullptr);
  EXPECT_EQ(Topology_insertAssembly(m_topology, assembly), 1);
  EXPECT_EQ(Assembly_setTopology(assembly, m_topology), 1);
  EXPECT_EQ(Topology_getNoOfAssemblies(m_topology), 1);
  EXPECT_STREQ(Assembly_getName(assembly), "Assembly");
  expectLinksAgree(m_topology);
  Region_delete(r);
}

// Records deleted while others still point at them leave no dangling links behind.
TEST_F(TopologyTest, DeletingLeavesNoDanglingLinks) {
  Assembly *assembly = Assembly_new(m_topology, "Part");
  Region *a = Region_new(m_topology, assembly, "a", 2);
  Region *b = Region_new(m_topology, assembly, "b", 2);
  Assembly_delete(assembly);
  EXPECT_EQ(Region_getAssembly(a), nullptr);
  EXPECT_EQ(Region_getAssembly(b), nullptr);
  EXPECT_EQ(Topology_findAssembly(m_topology, "Part"), nullptr);
  EXPECT_EQ(Topology_getNoOfRegions(m_topology, 4), 2);

  // A region set into a second topology leaves the first one and its names.
  Topology *other = Topology_new();
  EXPECT_EQ(Region_setTopology(a, other, "moved"), 1);
  EXPECT_EQ(Topology_findRegion(m_topology, "a"), nullptr);
  EXPECT_EQ(Topology_findRegion(other, "moved"), a);
  EXPECT_EQ(Topology_getNoOfRegions(m_topology, 4), 1);
  Topology_delete(other);
  EXPECT_EQ(Region_getTopology(a), nullptr);
  EXPECT_EQ(Region_getUserName(a), nullptr);
  EXPECT_STREQ(Region_getName(a), "a");
  expectLinksAgree(m_topology);
  Region_delete(a);
}

// The regions of an assembly and the connections of a topology, checked against the plain
// linear-scan collection the ordered sets are meant to reproduce.
TEST_F(TopologyTest, SideIndexGivesTheLiteralOrders) {
  Assembly *assembly = Assembly_new(m_topology, nullptr);
  std::vector<Region *> regions;
  for (int i = 0; i < 400; ++i)
    regions.push_back(Region_new(m_topology, nullptr, ("r" + std::to_string(i)).c_str(), 2));
  std::vector<Region *> literal;
  for (int pass = 0; pass < 2; ++pass)
    for (size_t i = pass; i < regions.size(); i += 3) {
      Assembly_addRegion(assembly, regions[i]);
      if (std::find(literal.begin(), literal.end(), regions[i]) == literal.end())
        literal.push_back(regions[i]);
    }
  for (size_t i = 0; i < regions.size(); i += 7) {
    Assembly_removeRegion(assembly, regions[i]);
    literal.erase(std::remove(literal.begin(), literal.end(), regions[i]), literal.end());
  }
  Region **members = nullptr;
  const int32_t n = Assembly_getRegions(assembly, 15, &members);
  EXPECT_EQ(std::vector<Region *>(members, members + n), literal);
  zyrMemory_free(members, "test");

  for (size_t i = 0; i + 1 < regions.size(); i += 2) {
    if (i % 10 == 0)
      Region_connectNeighbour(regions[i], regions[i + 1]);
    else
      Region_glueNeighbour(regions[i], regions[i + 1]);
    if (i + 3 < regions.size() && i % 10 != 0)
      Region_glueNeighbour(regions[i], regions[i + 3]);
  }
  std::vector<void *> expected;
  Region **all = nullptr;
  const int32_t m = Topology_getRegions(m_topology, 15, &all);
  for (int32_t i = 0; i < m; ++i) {
    std::vector<void *> own;
    if (all[i]->m_connection != nullptr)
      own.push_back(all[i]->m_connection);
    for (int32_t g = 0; all[i]->m_gluings != nullptr && g < all[i]->m_gluings->m_count; ++g)
      own.push_back(all[i]->m_gluings->m_items[g]);
    for (void *connection : own)
      if (std::find(expected.begin(), expected.end(), connection) == expected.end())
        expected.push_back(connection);
  }
  zyrMemory_free(all, "test");
  Connection **connections = nullptr;
  const int32_t c = Topology_getConnections(m_topology, &connections);
  EXPECT_EQ(std::vector<void *>(connections, connections + c), expected);
  zyrMemory_free(connections, "test");
}

} // namespace
