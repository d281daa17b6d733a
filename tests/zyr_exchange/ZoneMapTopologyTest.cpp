// Zone maps against a topology: the pseudo map of a mesh-only export, checking every location
// into one error, resolving, and the regions the records then hand out.
#include "Assembly.h"
#include "Boundary.h"
#include "NameManager.h"
#include "Region.h"
#include "Repository.h"
#include "Shell.h"
#include "Topology.h"
#include "ZoneMapTestSupport.h"
#include "vsnBoundary.h"
#include "vsnDomain.h"
#include "vsnInterface.h"
#include "vsnSubdomain.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrTopologyLayer.h"
#include "zyrZoneMap.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using zyrtest::RaisedError;
using zyrtest::ZoneMapPtr;
using Names = std::vector<std::string>;

Names regionNames(int32_t n, Region **regions) {
  Names names;
  for (int32_t i = 0; i < n; ++i)
    names.push_back(Region_getName(regions[i]));
  zyrMemory_free(regions, "test");
  return names;
}

// Two assemblies: A with volumes "A2" and "A1" and their surfaces, B with one volume and a wall.
class ZoneMapTopologyTest : public zyrtest::ErrorCaptureTest {
protected:
  void SetUp() override {
    zyrTopologyLayer_initialise();
    m_repository = Repository_new("zonemap");
    ASSERT_NE(m_repository, nullptr);
    m_topology = Topology_new();
    Assembly *a = Topology_addAssembly(m_topology, "A");
    Assembly *b = Topology_addAssembly(m_topology, "B");
    volume(a, "A2", {"A2 top", "A2 side"});
    volume(a, "A1", {"A1 top"});
    volume(b, "B vol", {"B wall"});
  }
  void TearDown() override {
    Topology_delete(m_topology);
    Repository_close(m_repository, -1);
  }

  Region *volume(Assembly *assembly, const std::string &name, const Names &surfaces) {
    Region *v = Region_new(m_topology, assembly, name.c_str(), 3);
    Boundary *boundary = Boundary_new();
    Shell *shell = Shell_new();
    for (const std::string &s : surfaces)
      EXPECT_EQ(Shell_addRegion(shell, Region_new(m_topology, assembly, s.c_str(), 2)), 1);
    EXPECT_EQ(Boundary_addShell(boundary, shell), 1);
    EXPECT_EQ(Region_setBoundary(v, boundary), 1);
    return v;
  }

  ZoneMapPtr physics(const std::vector<std::string> &lines) { return zyrtest::zoneMapFromLines(m_dir, lines); }

  zyrtest::ScratchDir m_dir;
  zyrtest::WorkingDir m_here{m_dir.path()}; // the database goes into the scratch directory
  Repository *m_repository = nullptr;
  Topology *m_topology = nullptr;
};

TEST_F(ZoneMapTopologyTest, PseudoMapHasOneFluidDomainPerAssembly) {
  ZoneMapPtr map(zyrZoneMap_newFromTopology(m_topology, "mm"));
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(zyrtest::domainNames(map.get()), (Names{"A", "B"}));
  EXPECT_EQ(zyrtest::subdomainNames(map.get()), (Names{"A1", "A2", "B vol"}));
  EXPECT_EQ(zyrtest::boundaryNames(map.get()), (Names{"A1 top", "A2 side", "A2 top", "B wall"}));
  EXPECT_EQ(zyrZoneMap_getNoOfInterfaces(map.get()), 0);
  char *units = zyrZoneMap_getSolutionUnits(map.get());
  EXPECT_STREQ(units, "mm");
  zyrCString_free(units);
  vsnDomain **domains = nullptr;
  ASSERT_EQ(zyrZoneMap_getDomains(map.get(), &domains), 2);
  EXPECT_EQ(vsnDomain_isFluid(domains[0]), 1);
  EXPECT_STREQ(vsnDomain_getLocationString(domains[0]), "A");

  ASSERT_EQ(zyrZoneMap_check(map.get(), m_topology), 1);
  ASSERT_EQ(zyrZoneMap_resolve(map.get(), m_topology), 1);
  Region **regions = nullptr;
  // The domain's volumes come sorted by name, its bounding surfaces too.
  EXPECT_EQ(regionNames(vsnDomain_getRegions(domains[0], &regions), regions), (Names{"A1", "A2"}));
  EXPECT_EQ(regionNames(vsnDomain_getBoundaryRegions(domains[0], &regions), regions),
            (Names{"A1 top", "A2 side", "A2 top"}));
  zyrMemory_free(domains, "test");
  EXPECT_TRUE(published().empty());
}

TEST_F(ZoneMapTopologyTest, CheckPublishesOneErrorForAllBadLocations) {
  ZoneMapPtr map = physics({"FLOW:", "  DOMAIN: D1", "    Location = A1, ghost", "    BOUNDARY: fine",
                            "      Location = A1 top", "    END", "  END", "  DOMAIN: D2", "    Location = phantom",
                            "  END", "END"});
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(zyrZoneMap_check(map.get(), m_topology), 0);
  EXPECT_EQ(published(), (std::vector<RaisedError>{{10041, "\nThe location of domain \"D1\" is invalid:\n"
                                                           "  Region \"ghost\" is not recognised.\n"
                                                           "\nThe location of domain \"D2\" is invalid:\n"
                                                           "  Region \"phantom\" is not recognised.\n"}}));
}

TEST_F(ZoneMapTopologyTest, InterfaceSidesAreCheckedAndResolvedBothSides) {
  ZoneMapPtr map = physics({"FLOW:", "  DOMAIN: D", "    Location = A", "    BOUNDARY: good", "      Location = A1 top",
                            "    END", "    BOUNDARY: bad", "      Location = nothing", "    END", "  END",
                            "  DOMAIN INTERFACE: I", "    Boundary List1 = bad", "    Boundary List2 = good", "  END",
                            "END"});
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(zyrZoneMap_check(map.get(), m_topology), 0);
  EXPECT_EQ(published(), (std::vector<RaisedError>{{10041, "\nThe location of boundary \"bad\" is invalid:\n"
                                                           "  Region \"nothing\" is not recognised.\n"
                                                           "\nThe location of interface - side 1 \"I\" is invalid:\n"
                                                           "  Region \"nothing\" is not recognised.\n"}}));
  // Resolution stops at the first failure; what follows stays unresolved.
  EXPECT_EQ(zyrZoneMap_resolve(map.get(), m_topology), 0);
  vsnInterface **interfaces = nullptr;
  ASSERT_EQ(zyrZoneMap_getInterfaces(map.get(), &interfaces), 1);
  Region **regions = nullptr;
  EXPECT_EQ(vsnInterface_getRegions(interfaces[0], 1, &regions), -1);
  zyrMemory_free(interfaces, "test");
}

TEST_F(ZoneMapTopologyTest, RegionsOfResolvedRecords) {
  ZoneMapPtr map = physics({"FLOW:", "  DOMAIN: D", "    Location = A", "    SUBDOMAIN: s", "      Location = A2, A2 top",
                            "    END", "    BOUNDARY: b", "      Location = A2 top, A2 side", "    END", "  END",
                            "  DOMAIN INTERFACE: I", "    Boundary List1 = b", "    Boundary List2 = b", "  END", "END"});
  ASSERT_NE(map, nullptr);
  vsnBoundary **boundaries = nullptr;
  ASSERT_EQ(zyrZoneMap_getBoundaries(map.get(), &boundaries), 1);
  vsnBoundary *b = boundaries[0];
  zyrMemory_free(boundaries, "test");
  Region *top = Topology_findRegion(m_topology, "A2 top");
  Region *other = Topology_findRegion(m_topology, "A1 top");
  EXPECT_EQ(vsnBoundary_isRegionInBoundary(b, top), -1);
  ASSERT_EQ(zyrZoneMap_resolve(map.get(), m_topology), 1);
  EXPECT_EQ(vsnBoundary_isRegionInBoundary(b, top), 1);
  EXPECT_EQ(vsnBoundary_isRegionInBoundary(b, other), 0);
  // A boundary placed on a volume holds no surface, yet it is resolved.
  vsnBoundary *onVolume = vsnBoundary_new("v");
  vsnBoundary_setLocation(onVolume, "A1");
  ASSERT_EQ(vsnBoundary_resolve(onVolume, m_topology), 1);
  EXPECT_EQ(vsnBoundary_isRegionInBoundary(onVolume, top), 0);
  vsnBoundary_delete(onVolume);
  Region **regions = nullptr;
  // A subdomain keeps only its volumes, in resolved order.
  vsnSubdomain **subdomains = nullptr;
  ASSERT_EQ(zyrZoneMap_getSubdomains(map.get(), &subdomains), 1);
  EXPECT_EQ(regionNames(vsnSubdomain_getRegions(subdomains[0], &regions), regions), (Names{"A2"}));
  zyrMemory_free(subdomains, "test");
  vsnInterface **interfaces = nullptr;
  ASSERT_EQ(zyrZoneMap_getInterfaces(map.get(), &interfaces), 1);
  // Sides keep the resolved order, which the topology does not fix.
  Names side = regionNames(vsnInterface_getRegions(interfaces[0], 1, &regions), regions);
  std::sort(side.begin(), side.end());
  EXPECT_EQ(side, (Names{"A2 side", "A2 top"}));
  zyrMemory_free(interfaces, "test");
}

} // namespace
