#include "MshFile.h"
#include "KelvoElements.h"
#include "KelvoTestSupport.h"
#include "KelvoThreads.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>

using namespace kelvo_test;

namespace {

// An array of the mesh as a plain vector, to compare.
template <class T> std::vector<T> plain(const KelvoArray<T> &values) {
  return std::vector<T>(values.begin(), values.end());
}

// The runs of a parsed mesh cover its elements and their corners in order, each run as long as
// it can be.
void expectRuns(const MshFile *mesh) {
  int64_t next = 0, corners = 0;
  const MshElementRun *last = nullptr;
  for (const MshElementRun &run : mesh->m_elementRuns) {
    EXPECT_EQ(run.m_first, next);
    EXPECT_EQ(run.m_firstCorner, corners);
    EXPECT_GT(run.m_count, 0);
    EXPECT_EQ(run.m_corners, KelvoElements_get(run.m_kind)->m_noOfVertices);
    EXPECT_FALSE(last != nullptr && last->m_kind == run.m_kind &&
                 last->m_physical == run.m_physical && last->m_entity == run.m_entity);
    EXPECT_EQ(&MshFile_runOf(mesh, run.m_first), &run);
    EXPECT_EQ(&MshFile_runOf(mesh, run.m_first + run.m_count - 1), &run);
    next += run.m_count;
    corners += run.m_count * run.m_corners;
    last = &run;
  }
  EXPECT_EQ(next, MshFile_noOfElements(mesh));
  EXPECT_EQ(corners, static_cast<int64_t>(mesh->m_elementNodes.size()));
}

struct Parsed {
  MshFile *m_mesh = MshFile_new();
  std::string m_error;
  int m_ok = 0;
  explicit Parsed(const std::string &text) {
    m_ok = MshFile_parse(m_mesh, text.data(), text.size(), &m_error);
    expectRuns(m_mesh);
  }
  ~Parsed() { MshFile_delete(m_mesh); }
  std::map<int32_t, int64_t> kinds() const {
    std::map<int32_t, int64_t> counts;
    for (const MshElementRun &run : m_mesh->m_elementRuns)
      counts[run.m_kind] += run.m_count;
    return counts;
  }
};

std::string error(const std::string &text) {
  Parsed p(text);
  EXPECT_EQ(p.m_ok, 0);
  EXPECT_TRUE(p.m_mesh->m_elementRuns.empty() && p.m_mesh->m_elementTags.empty() &&
              p.m_mesh->m_nodeTags.empty());
  return p.m_error;
}

const char kHead2[] = "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n";

TEST(MshFile, GmshMeshesHoldTheirCountsInBothVersions) {
  struct Expected {
    const char *name;
    size_t nodes;
    std::map<int32_t, int64_t> kinds;
    size_t names;
  };
  const Expected expected[] = {
      {"box-hex", 225, {{KELVO_QUAD, 160}, {KELVO_HEXA, 128}}, 4},
      {"mixed",
       344,
       {{KELVO_TRI, 300},
        {KELVO_QUAD, 128},
        {KELVO_TETRA, 436},
        {KELVO_HEXA, 64},
        {KELVO_PENTA, 84},
        {KELVO_PYRA, 16}},
       7},
  };
  for (const Expected &e : expected) {
    for (const char *version : {".v2.msh", ".v4.msh"}) {
      const std::string name = std::string(e.name) + version;
      Parsed p(readFile(meshPath(name)));
      ASSERT_EQ(p.m_ok, 1) << name << ": " << p.m_error;
      EXPECT_EQ(p.m_mesh->m_nodeTags.size(), e.nodes) << name;
      EXPECT_EQ(p.kinds(), e.kinds) << name;
      EXPECT_EQ(p.m_mesh->m_physicalNames.size(), e.names) << name;
      EXPECT_TRUE(p.m_mesh->m_ignored.empty()) << name;
    }
  }
  Parsed tet(readFile(meshPath("box-tet.v4.msh")));
  ASSERT_EQ(tet.m_ok, 1) << tet.m_error;
  EXPECT_EQ(tet.m_mesh->m_nodeTags.size(), 339u);
  EXPECT_EQ(tet.kinds(), (std::map<int32_t, int64_t>{{KELVO_TRI, 540}, {KELVO_TETRA, 1125}}));
  EXPECT_STREQ(MshFile_physicalName(tet.m_mesh, 3, 1), "Fluid");
  EXPECT_EQ(MshFile_physicalName(tet.m_mesh, 2, 1), nullptr);
}

// Every format gives the same nodes, elements, groups and corners.
TEST(MshFile, AsciiBinaryAndSwappedFilesReadAlike) {
  TestMesh mesh = twoTets(7, 9);
  mesh.m_nodes[4] = {0.1, -2.5e-7, 1e30};
  mesh.m_elements.push_back({2, 3, 5, {2, 3, 4}});
  mesh.m_elements.push_back({1, 4, 6, {1, 2}}); // a line: ignored
  mesh.m_names = {{3, 7, "Left side"}, {2, 3, "wall"}};
  const std::string texts[] = {toMsh2(mesh), toMsh2(mesh, true), toMsh2(mesh, true, true),
                               toMsh4(mesh), toMsh4(mesh, true), toMsh4(mesh, true, true)};
  for (const std::string &text : texts) {
    Parsed p(text);
    ASSERT_EQ(p.m_ok, 1) << p.m_error;
    const MshFile *m = p.m_mesh;
    EXPECT_EQ(plain(m->m_coordinates),
              (std::vector<double>{0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0.1, -2.5e-7, 1e30}));
    const ElementColumns columns = elementColumns(m);
    EXPECT_EQ(columns.m_kinds, (std::vector<int32_t>{KELVO_TETRA, KELVO_TETRA, KELVO_TRI}));
    EXPECT_EQ(columns.m_physicals, (std::vector<int32_t>{7, 9, 3}));
    EXPECT_EQ(columns.m_entities, (std::vector<int32_t>{1, 2, 5}));
    EXPECT_EQ(plain(m->m_elementNodes), (std::vector<int32_t>{0, 1, 2, 3, 1, 2, 3, 4, 1, 2, 3}));
    EXPECT_EQ(columns.m_starts, (std::vector<int64_t>{0, 4, 8, 11}));
    EXPECT_EQ(m->m_ignored, (std::map<int32_t, int64_t>{{1, 1}}));
    EXPECT_STREQ(MshFile_physicalName(m, 3, 7), "Left side");
  }
  EXPECT_EQ(Parsed(texts[2]).m_mesh->m_swap, 1);
  EXPECT_EQ(Parsed(texts[1]).m_mesh->m_swap, 0);
}

// Thousands of small blocks (an entity per element, triangles and tetrahedra taking turns in runs
// of uneven length, lines among them) read as their elements, in every format.
TEST(MshFile, ManySmallBlocksReadAsTheirElements) {
  TestMesh mesh;
  for (int i = 0; i < 3000; ++i)
    mesh.m_nodes.push_back({0.001 * i, 0.002 * (i % 7), 0.003 * (i % 11)});
  std::vector<int32_t> kinds, nodes;
  std::vector<int64_t> starts{0};
  for (int32_t e = 0; e < 2500; ++e) {
    const int64_t a = 1 + (7 * e) % 2990;
    if (e % 97 == 5) {
      mesh.m_elements.push_back({1, 0, 100000 + e, {a, a + 1}}); // a line: not kept
      continue;
    }
    const bool tet = (e / 3) % 4 != 0;
    std::vector<int64_t> corners = {a, a + 1, a + 2};
    if (tet)
      corners.push_back(a + 3);
    mesh.m_elements.push_back({tet ? 4 : 2, 1, e + 1, corners});
    kinds.push_back(tet ? KELVO_TETRA : KELVO_TRI);
    for (int64_t c : corners)
      nodes.push_back(static_cast<int32_t>(c - 1));
    starts.push_back(static_cast<int64_t>(nodes.size()));
  }
  for (const std::string &text : {toMsh2(mesh, true), toMsh2(mesh, true, true), toMsh4(mesh), toMsh4(mesh, true),
                                  toMsh4(mesh, true, true)}) {
    Parsed p(text);
    ASSERT_EQ(p.m_ok, 1) << p.m_error;
    EXPECT_EQ(elementColumns(p.m_mesh).m_kinds, kinds);
    EXPECT_EQ(plain(p.m_mesh->m_elementNodes), nodes);
    EXPECT_EQ(elementColumns(p.m_mesh).m_starts, starts);
    EXPECT_EQ(p.m_mesh->m_ignored, (std::map<int32_t, int64_t>{{1, 26}}));
  }
}

TEST(MshFile, HigherOrderElementsKeepTheirCornersAndUnknownAsciiTypesAreSkipped) {
  const std::string text = std::string(kHead2) +
                           "$Nodes\n10\n1 0 0 0\n2 1 0 0\n3 0 1 0\n4 0 0 1\n5 .5 0 0\n6 .5 .5 0\n"
                           "7 0 .5 0\n8 0 0 .5\n9 0 .5 .5\n10 .5 0 .5\n$EndNodes\n"
                           "$Comments\nanything $Nodes\n$EndComments\n"
                           "$Elements\n3\n1 11 2 1 1 1 2 3 4 5 6 7 8 10 9\n2 999 2 1 1 7 7 7 7 7\n"
                           "3 15 2 0 0 1\n$EndElements\n";
  Parsed p(text);
  ASSERT_EQ(p.m_ok, 1) << p.m_error;
  EXPECT_EQ(plain(p.m_mesh->m_elementNodes), (std::vector<int32_t>{0, 1, 2, 3}));
  EXPECT_EQ(p.m_mesh->m_reduced, (std::map<int32_t, int64_t>{{11, 1}}));
  EXPECT_EQ(p.m_mesh->m_ignored, (std::map<int32_t, int64_t>{{15, 1}, {999, 1}}));
  EXPECT_EQ(p.m_mesh->m_skippedSections, std::vector<std::string>{"Comments"});
}

TEST(MshFile, NodeTagsMayBeScatteredAndElementsMayComeFirst) {
  const std::string text = std::string(kHead2) +
                           "$Elements\n1\n1 4 2 1 1 900000000000 2 30 7\n$EndElements\n"
                           "$Nodes\n4\n30 0 1 0\n900000000000 0 0 0\n7 0 0 1\n2 1 0 0\n$EndNodes\n";
  Parsed p(text);
  ASSERT_EQ(p.m_ok, 1) << p.m_error;
  EXPECT_EQ(plain(p.m_mesh->m_elementNodes), (std::vector<int32_t>{1, 3, 0, 2}));
}

TEST(MshFile, RefusedFilesSayWhy) {
  const std::string nodes = "$Nodes\n2\n1 0 0 0\n2 1 0 0\n$EndNodes\n";
  EXPECT_EQ(error(""), "The file is not a Gmsh mesh file: it does not begin with $MeshFormat.");
  EXPECT_EQ(error("solid cube\n"),
            "The file is not a Gmsh mesh file: it does not begin with $MeshFormat.");
  EXPECT_EQ(error("$NOD\n1\n1 0 0 0\n$ENDNOD\n"),
            "This is a Gmsh mesh file of version 1, which cannot be read; save the mesh in format "
            "2.2 or 4.1. (line 1)");
  EXPECT_EQ(error("$MeshFormat\n4 0 8\n$EndMeshFormat\n"),
            "Version \"4\" of the Gmsh mesh format cannot be read; save the mesh in format 2.2 or "
            "4.1. (line 2)");
  EXPECT_EQ(error("$MeshFormat\n2.2 2 8\n$EndMeshFormat\n"),
            "The file type \"2\" is neither 0 (ASCII) nor 1 (binary). (line 2)");
  EXPECT_EQ(error("$MeshFormat\n2.2 0 8\n"),
            "The file ends inside its $MeshFormat section. (line 3)");
  EXPECT_EQ(error(std::string(kHead2) + "$Nodes\n2\n1 0 0 0\n2 1 0\n"),
            "The $Nodes section claims 2 nodes, more than the rest of the file can hold. (line 5)");
  EXPECT_EQ(error(std::string(kHead2) + "$Nodes\n2\n1 0.5 0.5 0.5\n2 1.5 0.5\n"),
            "The file ends inside its $Nodes section. (line 8)");
  EXPECT_EQ(error(std::string(kHead2) + "$Nodes\n1\n1 0 zero 0\n$EndNodes\n"),
            "Expected a coordinate, found \"zero\". (line 6)");
  EXPECT_EQ(error(std::string(kHead2) + "$Nodes\n1\n1 0 nan 0\n$EndNodes\n"),
            "Expected a coordinate, found \"nan\", which is not a finite number. (line 6)");
  EXPECT_EQ(error(std::string(kHead2) + "$Nodes\n1\n1 0 0 0\n$EndElements\n"),
            "Expected $EndNodes, found \"$EndElements\". (line 7)");
  EXPECT_EQ(error(std::string(kHead2) + "$Nodes\n2\n1 0 0 0\n1 1 0 0\n$EndNodes\n"),
            "The node 1 is defined more than once.");
  EXPECT_EQ(error(std::string(kHead2) + "$Nodes\n1\n0 0 0 0\n$EndNodes\n"),
            "The node tag 0 is not positive. (line 6)");
  EXPECT_EQ(error(std::string(kHead2) + nodes + "$Elements\n1\n5 4 2 1 1 1 2 3 4\n$EndElements\n"),
            "The element 5 refers to the node 3, which is not defined.");
  EXPECT_EQ(error(std::string(kHead2) + "$PhysicalNames\n1\n3 1 \"Fluid\n\"\n$EndPhysicalNames\n"),
            "A physical name lacks its closing double quote. (line 6)");
  EXPECT_EQ(error(std::string(kHead2) + "$Bogus\n1 2 3\n"),
            "The $Bogus section is not closed by $EndBogus. (line 6)");
  EXPECT_EQ(error(std::string(kHead2) + "$EndNodes\n"),
            "Expected the start of a section, found \"$EndNodes\". (line 4)");
  EXPECT_EQ(
      error(
          "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n$PartitionedEntities\n$EndPartitionedEntities\n"),
      "Partitioned meshes cannot be read; save the mesh without partitions. (line 4)");
  EXPECT_EQ(error(std::string("$MeshFormat\n2.2 1 8\n\2\0\0\0\n$EndMeshFormat\n", 40)),
            "The byte-order mark of the binary file is not 1. (at byte 20)");
}

// Counts are never trusted for memory: absurd ones fail at once.
TEST(MshFile, AbsurdCountsFailWithoutAllocating) {
  EXPECT_EQ(error(std::string(kHead2) + "$Nodes\n999999999999999\n1 0 0 0\n"),
            "The $Nodes section claims 999999999999999 nodes, more than the rest of the file can "
            "hold. (line 5)");
  EXPECT_EQ(error(std::string(kHead2) + "$Elements\n9223372036854775807\n"),
            "The $Elements section claims 9223372036854775807 elements, more than the rest of the "
            "file can hold. (line 5)");
  EXPECT_EQ(error(std::string(kHead2) + "$Nodes\n-1\n$EndNodes\n"),
            "Expected a number of nodes, found the negative value -1. (line 5)");
  EXPECT_EQ(error(std::string(kHead2) + "$Nodes\n99999999999999999999\n"),
            "Expected a number of nodes, found \"99999999999999999999\". (line 5)");
  EXPECT_EQ(error("$MeshFormat\n4.1 0 8\n$EndMeshFormat\n$Nodes\n1 999999999 1 1\n"),
            "The $Nodes section claims 999999999 nodes, more than the rest of the file can hold. "
            "(line 5)");
  // A binary block whose size field is huge.
  std::string binary = "$MeshFormat\n4.1 1 8\n";
  const int32_t one = 1;
  binary.append(reinterpret_cast<const char *>(&one), 4);
  binary += "\n$EndMeshFormat\n$Elements\n";
  const uint64_t header[4] = {1, uint64_t(1) << 60, 1, uint64_t(1) << 60};
  binary.append(reinterpret_cast<const char *>(header), sizeof header);
  const int32_t block[3] = {3, 1, 4};
  binary.append(reinterpret_cast<const char *>(block), sizeof block);
  const uint64_t huge = uint64_t(1) << 60;
  binary.append(reinterpret_cast<const char *>(&huge), 8);
  EXPECT_EQ(error(binary), "The file ends inside its $Elements section. (at byte 102)");
}

// Whatever the cut, a truncated file is refused with a message (and the full files read).
TEST(MshFile, EveryTruncationIsRefusedCleanly) {
  TestMesh mesh = twoTets(1, 2);
  mesh.m_elements.push_back({2, 3, 5, {2, 3, 4}});
  mesh.m_names = {{3, 1, "A"}};
  for (const std::string &text :
       {toMsh2(mesh), toMsh2(mesh, true), toMsh4(mesh), toMsh4(mesh, true, true)}) {
    ASSERT_EQ(Parsed(text).m_ok, 1);
    // A cut just after a section's end tag leaves a shorter valid file; any other is refused.
    std::set<size_t> between;
    for (size_t at = text.find("\n$End"); at != std::string::npos;
         at = text.find("\n$End", at + 1)) {
      const size_t lineEnd = text.find('\n', at + 1);
      between.insert(lineEnd);
      between.insert(lineEnd + 1);
    }
    for (size_t n = 0; n < text.size(); ++n) {
      Parsed p(text.substr(0, n));
      EXPECT_EQ(p.m_ok, between.count(n) ? 1 : 0) << n << ": " << p.m_error;
      EXPECT_EQ(p.m_ok == 0, !p.m_error.empty()) << n;
    }
  }
}

} // namespace

namespace {

// Everything a parse gives, as text; or its error.
std::string describeParse(const std::string &text, int32_t threads) {
  const int32_t threadsBefore = KelvoThreads_set(threads);
  const int64_t fromBefore = KelvoThreads_setFrom(threads > 1 ? 1 : INT64_MAX);
  Parsed p(text);
  KelvoThreads_set(threadsBefore);
  KelvoThreads_setFrom(fromBefore);
  if (!p.m_ok)
    return p.m_error;
  const MshFile *m = p.m_mesh;
  std::string out;
  auto list = [&out](const char *name, const auto &values) {
    out += std::string("\n") + name + ":";
    for (const auto &v : values)
      out += " " + std::to_string(v);
  };
  list("tags", m->m_nodeTags);
  list("coordinates", m->m_coordinates);
  list("element tags", m->m_elementTags);
  const ElementColumns columns = elementColumns(m);
  list("kinds", columns.m_kinds);
  list("physicals", columns.m_physicals);
  list("entities", columns.m_entities);
  list("starts", columns.m_starts);
  list("corners", m->m_elementNodes);
  for (const auto &r : m->m_reduced)
    out += "\nreduced " + std::to_string(r.first) + ": " + std::to_string(r.second);
  return out + "\nmultiple physicals " + std::to_string(m->m_multiplePhysicals);
}

void put64(std::string *text, size_t at, uint64_t value) { memcpy(&(*text)[at], &value, 8); }

// Large binary blocks are read in parts by several threads: the same arrays as on one thread,
// and for values at fault anywhere (alone or several) the message of the first in the file.
TEST(MshFile, BinaryBlocksReadInPartsAsOnOneThread) {
  TestMesh mesh;
  const int64_t nodes = 400, tets = 301;
  for (int64_t i = 0; i < nodes; ++i)
    mesh.m_nodes.push_back({0.5 * double(i), double(i % 13), -double(i % 7)});
  for (int64_t e = 0; e < tets; ++e)
    mesh.m_elements.push_back({4, 1, 1, {1 + e, 2 + e, 3 + (e * 7) % 390, 4 + (e * 11) % 390}});
  for (int64_t e = 0; e < 50; ++e) // second-order triangles: their corners kept
    mesh.m_elements.push_back({9, 2, 2, {1 + e, 2 + e, 3 + e, 4 + e, 5 + e, 6 + e}});
  const std::string text = toMsh4(mesh, true);
  // Where the values are: one node block, then a block of tetrahedra first.
  const size_t nodeTags = text.find("$Nodes\n") + 7 + 32 + 20;
  const size_t coordinates = nodeTags + 8 * nodes;
  const size_t elements = text.find("$Elements\n") + 10 + 32 + 20; // the first tetrahedron
  auto nodeTag = [&](int64_t i) { return nodeTags + 8 * static_cast<size_t>(i); };
  auto coordinate = [&](int64_t i, int k) {
    return coordinates + 8 * static_cast<size_t>(3 * i + k);
  };
  auto elementValue = [&](int64_t e, int k) {
    return elements + 8 * static_cast<size_t>(5 * e + k);
  };
  std::vector<std::string> texts = {text, toMsh4(mesh, true, true)};
  // Corners of unknown nodes, resolved (or not) at the end: nodes after the elements.
  std::string late = text;
  const size_t nodesAt = late.find("$Nodes\n"), elementsAt = late.find("$Elements\n");
  const std::string nodeSection = late.substr(nodesAt, elementsAt - nodesAt);
  late.erase(nodesAt, nodeSection.size());
  late.insert(late.find("$EndElements\n") + 13, nodeSection);
  texts.push_back(late);
  const uint64_t nan = 0x7FF8000000000000ull, huge = uint64_t(1) << 63;
  const std::vector<std::vector<std::pair<size_t, uint64_t>>> faults = {
      {{nodeTag(0), huge}},
      {{nodeTag(nodes - 1), huge}},
      {{coordinate(7, 1), nan}, {nodeTag(390), huge}}, // the tags come first
      {{coordinate(nodes - 1, 2), nan}},
      {{coordinate(150, 0), nan}, {coordinate(350, 2), nan}},
      {{nodeTag(200), 0}, {coordinate(300, 1), nan}},
      {{coordinate(100, 2), nan}, {nodeTag(200), 0}},
      {{elementValue(0, 0), huge}},
      {{elementValue(150, 3), huge}, {elementValue(280, 1), huge}},
      {{elementValue(tets - 1, 4), huge}},
      {{elementValue(120, 2), 9999}, {elementValue(260, 1), 8888}}, // nodes that are not defined
  };
  for (const auto &fault : faults) {
    std::string broken = text;
    for (const auto &value : fault)
      put64(&broken, value.first, value.second);
    texts.push_back(broken);
  }
  for (size_t t = 0; t < texts.size(); ++t) {
    const std::string reference = describeParse(texts[t], 1);
    EXPECT_EQ(reference.find("\ntags:") == 0, t < 3) << t << ": " << reference;
    for (int32_t threads : {2, 3, 8})
      EXPECT_EQ(describeParse(texts[t], threads), reference) << t << ", " << threads << " threads";
  }
  EXPECT_EQ(describeParse(texts[5], 3),
            "A size value is out of range. (at byte " + std::to_string(nodeTag(390) + 8) + ")");
  EXPECT_EQ(describeParse(texts[7], 3), "A coordinate is not a finite number. (at byte " +
                                            std::to_string(coordinate(150, 0) + 8) + ")");
  EXPECT_EQ(describeParse(texts[8], 3), "The node tag 0 is not positive. (at byte " +
                                            std::to_string(coordinate(200, 2) + 8) + ")");
  EXPECT_EQ(describeParse(texts[11], 3), "A size value is out of range. (at byte " +
                                             std::to_string(elementValue(150, 3) + 8) + ")");
  EXPECT_EQ(describeParse(texts[13], 3),
            "The element 121 refers to the node 9999, which is not defined.");
}

} // namespace
