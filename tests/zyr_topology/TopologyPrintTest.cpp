// The diagnostic prints of the stored topology records, on one volume bounded by one shell and
// one connection between two of its faces.
#include "Assembly.h"
#include "Boundary.h"
#include "Connection.h"
#include "Region.h"
#include "Shell.h"
#include "Topology.h"
#include "TopologyTestSupport.h"
#include "zyrMemory.h"
#include "zyrTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

using zyrtest::contains;
using zyrtest::printed;

class TopologyPrintTest : public TopologyStoreTest {};

TEST_F(TopologyPrintTest, ShellBoundaryAndConnectionNameTheirRegions) {
  Topology *topology = Topology_new();
  ASSERT_NE(topology, nullptr);
  Assembly *assembly = Assembly_new(topology, "Part");
  Region *volume = Topology_addRegion(topology, assembly, "tp fluid", 3);
  Region *inlet = Topology_addRegion(topology, assembly, "tp inlet", 2);
  Region *wall = Topology_addRegion(topology, assembly, "tp wall", 2);
  ASSERT_NE(volume, nullptr);
  EXPECT_EQ(Region_getAssembly(volume), assembly);
  EXPECT_EQ(Region_getTopology(inlet), topology);
  Boundary *boundary = Boundary_new();
  Shell *shell = Shell_new();
  ASSERT_EQ(Shell_addRegion(shell, inlet), 1);
  ASSERT_EQ(Shell_addRegion(shell, wall), 1);
  ASSERT_EQ(Boundary_addShell(boundary, shell), 1);
  ASSERT_EQ(Region_setBoundary(volume, boundary), 1);

  Shell **shells = nullptr;
  ASSERT_EQ(Boundary_getShells(boundary, &shells), 1);
  EXPECT_EQ(shells[0], shell);
  zyrMemory_free(shells, "test");

  const std::string shellText = printed([&](FILE *f) { Shell_print(shell, f); });
  EXPECT_TRUE(contains(shellText, "Shell: ")) << shellText;
  EXPECT_TRUE(contains(shellText, "Contains:\n")) << shellText;
  EXPECT_TRUE(contains(shellText, "  \"tp inlet\"\n")) << shellText;
  EXPECT_TRUE(contains(shellText, "  \"tp wall\"\n")) << shellText;

  const std::string boundaryText = printed([&](FILE *f) { Boundary_print(boundary, f); });
  EXPECT_TRUE(contains(boundaryText, "Bounds: tp fluid\n")) << boundaryText;
  EXPECT_TRUE(contains(boundaryText, "  Shell: ")) << boundaryText;

  Connection *direct = Connection_newDirect(inlet, wall);
  ASSERT_NE(direct, nullptr);
  const std::string directText = printed([&](FILE *f) { Connection_print(direct, f); });
  EXPECT_TRUE(contains(directText, "Side 1:            \"tp inlet\"\n")) << directText;
  EXPECT_TRUE(contains(directText, "Side 2:            \"tp wall\"\n")) << directText;
  EXPECT_TRUE(contains(directText, " [Direct connection]\n")) << directText;
  Connection *gluing = Connection_newGluing(inlet, wall);
  ASSERT_NE(gluing, nullptr);
  EXPECT_TRUE(contains(printed([&](FILE *f) { Connection_print(gluing, f); }), " [Gluing]\n"));
}

} // namespace
