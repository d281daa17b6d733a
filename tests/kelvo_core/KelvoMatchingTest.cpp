// Face matching runs in partitions of the face uses, on one thread or several: whatever the split,
// the model is the one a plain ordered map gives, faces in the order of their first use.
#include "KelvoElements.h"
#include "KelvoModel.h"
#include "KelvoRun.h"
#include "KelvoTestSupport.h"
#include "KelvoThreads.h"
#include "MshFile.h"
#include "zyrMD5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <sstream>
#include <tuple>

using namespace kelvo_test;

namespace {

// How the work is split: the partition size and the threads (which then take any amount of
// work, however small; three split unevenly).
struct Split {
  int64_t m_partitionSize;
  int32_t m_threads;
};
const Split kSplits[] = {{16384, 1}, {1, 1}, {2, 2}, {29, 3}, {1000, 1}, {16384, 2}, {16384, 3}};

// Everything a model holds, as text; or the error.
std::string describe(const std::string &msh, Split split = {16384, 1}) {
  KelvoSplit scope(split.m_partitionSize, split.m_threads);
  MshFile *mesh = MshFile_new();
  KelvoModel *model = KelvoModel_new();
  std::string error;
  std::ostringstream out;
  if (!MshFile_parse(mesh, msh.data(), msh.size(), &error)) {
    out << "parse: " << error;
  } else if (!KelvoModel_build(model, mesh, &error)) {
    out << "build: " << error;
  } else {
    for (double c : model->m_coordinates)
      out << c << ' ';
    for (const KelvoVolume &v : model->m_volumes) {
      out << "\nvolume " << v.m_name << ':';
      for (int32_t s : v.m_elementSets)
        out << " set " << s;
      for (int32_t s : v.m_surfaces)
        out << " surface " << s;
    }
    for (const KelvoElementSet &es : model->m_elementSets) {
      out << "\nset " << es.m_kind << ' ' << es.m_volume << ':';
      for (int32_t v : es.m_vertices)
        out << ' ' << v;
    }
    for (const KelvoSurface &s : model->m_surfaces) {
      out << "\nsurface " << s.m_name << ' ' << s.m_volume << ' ' << s.m_partner << ' '
          << s.m_noOfFaces << ':';
      for (int32_t f : s.m_faceSets)
        out << ' ' << f;
    }
    for (const KelvoFaceSet &fs : model->m_faceSets) {
      out << "\nface set " << fs.m_elementSet << ':';
      for (size_t i = 0; i < fs.m_elements.size(); ++i)
        out << ' ' << fs.m_elements[i] << '/' << fs.m_faces[i];
    }
    for (const KelvoComposite &c : model->m_composites) {
      out << "\ncomposite " << c.m_name << ':';
      for (const std::string &s : c.m_components)
        out << ' ' << s;
    }
  }
  for (const std::string &w : model->m_warnings)
    out << "\nwarning " << w;
  MshFile_delete(mesh);
  KelvoModel_delete(model);
  return out.str();
}

// A block of n^3 cells in two volumes (x below and above the middle); cells with x < n / 4 are
// hexahedra, the others six tetrahedra each (their faces do not match the hexahedra's, so both
// sides of that plane are outer faces; without `hexahedra` all are tetrahedra); then `lone`
// tetrahedra of their own; elements shuffled.
TestMesh block(int n, int lone, bool shuffle, bool hexahedra = true) {
  TestMesh mesh;
  auto node = [n](int i, int j, int k) { return int64_t(1 + i + (n + 1) * (j + (n + 1) * k)); };
  for (int k = 0; k <= n; ++k)
    for (int j = 0; j <= n; ++j)
      for (int i = 0; i <= n; ++i)
        mesh.m_nodes.push_back({double(i), double(j), double(k)});
  const int axes[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
  for (int k = 0; k < n; ++k)
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        const int32_t physical = i < n / 2 ? 1 : 2;
        if (hexahedra && i < n / 4) {
          mesh.m_elements.push_back(
              {5,
               physical,
               physical,
               {node(i, j, k), node(i + 1, j, k), node(i + 1, j + 1, k), node(i, j + 1, k),
                node(i, j, k + 1), node(i + 1, j, k + 1), node(i + 1, j + 1, k + 1),
                node(i, j + 1, k + 1)}});
          continue;
        }
        for (const auto &a : axes) { // six tetrahedra along the cube's diagonal
          int at[3] = {i, j, k};
          std::vector<int64_t> corners = {node(i, j, k)};
          for (int step : a) {
            ++at[step];
            corners.push_back(node(at[0], at[1], at[2]));
          }
          mesh.m_elements.push_back({4, physical, physical, corners});
        }
      }
  for (int t = 0; t < lone; ++t) {
    const int64_t first = int64_t(mesh.m_nodes.size()) + 1;
    mesh.m_nodes.push_back({100.0 + t, 0, 0});
    mesh.m_nodes.push_back({101.0 + t, 0, 0});
    mesh.m_nodes.push_back({100.0 + t, 1, 0});
    mesh.m_nodes.push_back({100.0 + t, 0, 1});
    mesh.m_elements.push_back({4, 1, 1, {first, first + 1, first + 2, first + 3}});
  }
  uint64_t state = 987654321;
  for (size_t i = mesh.m_elements.size() - 1; shuffle && i > 0; --i) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    std::swap(mesh.m_elements[i], mesh.m_elements[(state >> 33) % (i + 1)]);
  }
  mesh.m_names = {{3, 1, "A"}, {3, 2, "B"}};
  return mesh;
}

TEST(KelvoMatching, MixedElementsMatchAsAPlainMapDoesInFirstUseOrder) {
  const TestMesh mesh = block(8, 300, true);
  // The plain way. Element sets: A tetrahedra, A hexahedra, B tetrahedra.
  typedef std::array<int32_t, 3> Use; // element set, element in it, native face
  std::map<std::vector<int64_t>, size_t> faceOf;
  std::vector<std::vector<std::pair<int32_t, Use>>> faces; // per face: (physical, use)
  std::map<std::pair<int32_t, int32_t>, int32_t> inSet;    // (physical, type) -> elements so far
  for (const TestMesh::Element &e : mesh.m_elements) {
    const bool hexa = e.m_type == 5;
    const KelvoElementType *type = KelvoElements_get(hexa ? KELVO_HEXA : KELVO_TETRA);
    const int32_t set = (e.m_physical - 1) * 2 + (hexa ? 1 : 0);
    const int32_t index = inSet[{e.m_physical, e.m_type}]++;
    for (int32_t f = 0; f < type->m_noOfFaces; ++f) {
      std::vector<int64_t> key;
      for (int32_t v = 0; v < type->m_faceSize[f]; ++v)
        key.push_back(e.m_nodes[type->m_faceVertices[f][v]]);
      std::sort(key.begin(), key.end());
      auto found = faceOf.emplace(key, faces.size());
      if (found.second)
        faces.emplace_back();
      faces[found.first->second].push_back({e.m_physical, {set, index, f}});
    }
  }
  // A surface lists its faces by element set (one face set each), each in first-use order.
  const std::string names[3] = {"", "A", "B"};
  typedef std::tuple<std::string, std::string, int32_t> Key; // volume, other side, element set
  std::map<Key, std::vector<Use>> expected;
  for (const auto &uses : faces) {
    ASSERT_LE(uses.size(), 2u);
    const Use &u0 = uses[0].second;
    if (uses.size() == 1) {
      expected[Key{names[uses[0].first], "", u0[0]}].push_back(u0);
    } else if (uses[0].first != uses[1].first) {
      const Use &u1 = uses[1].second;
      expected[Key{names[uses[0].first], names[uses[1].first], u0[0]}].push_back(u0);
      expected[Key{names[uses[1].first], names[uses[0].first], u1[0]}].push_back(u1);
    }
  }
  // Both key forms (hexahedra make every key a checked one) and many partitions.
  for (const Split &split : kSplits) {
    KelvoSplit scope(split.m_partitionSize, split.m_threads);
    const std::string text = toMsh2(mesh); // in the order of m_elements
    MshFile *msh = MshFile_new();
    KelvoModel *model = KelvoModel_new();
    std::string error;
    ASSERT_EQ(MshFile_parse(msh, text.data(), text.size(), &error), 1) << error;
    ASSERT_EQ(KelvoModel_build(model, msh, &error), 1) << error;
    ASSERT_EQ(model->m_elementSets.size(), 3u);
    std::map<Key, std::vector<Use>> got;
    for (const KelvoSurface &surface : model->m_surfaces) {
      const std::string other =
          surface.m_partner < 0
              ? ""
              : model->m_volumes[model->m_surfaces[surface.m_partner].m_volume].m_name;
      for (int32_t fs : surface.m_faceSets) {
        const KelvoFaceSet &set = model->m_faceSets[fs];
        std::vector<Use> &list =
            got[Key{model->m_volumes[surface.m_volume].m_name, other, set.m_elementSet}];
        for (size_t i = 0; i < set.m_elements.size(); ++i)
          list.push_back({set.m_elementSet, set.m_elements[i], set.m_faces[i]});
      }
    }
    EXPECT_EQ(got.size(), 5u); // outer faces of A's two sets and of B; between the volumes
    EXPECT_TRUE(got == expected) << split.m_partitionSize << " " << split.m_threads;
    MshFile_delete(msh);
    KelvoModel_delete(model);
  }
}

// Tetrahedra in two volumes with boundary elements (tagged, repeated, in two groups, of no face,
// quadrilaterals among triangles) and baffles; and a duplicate of a lone tetrahedron (whose faces
// are then all met twice), with one of a tetrahedron with neighbours (whose faces are then met
// three times) when `crowded`.
TestMesh boundedTetrahedra(bool crowded) {
  TestMesh tets = block(6, 20, false, false);
  const size_t volumeElements = tets.m_elements.size();
  for (size_t i = 0; i < volumeElements; ++i) {
    const TestMesh::Element e = tets.m_elements[i];
    if (e.m_type != 4)
      continue;
    // Each tetrahedron's first face as a boundary element: outer faces, faces between the
    // volumes and faces inside one (baffles); some twice, some in a second group.
    TestMesh::Element face{2, i % 3 == 0 ? 7 : 8, i % 3 == 0 ? 9 : 10,
                           {e.m_nodes[0], e.m_nodes[2], e.m_nodes[1]}};
    tets.m_elements.push_back(face);
    if (i % 5 == 0)
      tets.m_elements.push_back(face);
    if (i % 7 == 0)
      tets.m_elements.push_back({2, 11, 12, {e.m_nodes[0], e.m_nodes[1], e.m_nodes[3]}});
  }
  tets.m_elements.push_back({2, 7, 9, {1, 2, 300}});                // of no face
  tets.m_elements.push_back({3, 7, 9, {1, 2, 9, 8}});               // a quadrilateral
  if (crowded)
    tets.m_elements.push_back({4, 1, 1, tets.m_elements[40].m_nodes});
  const std::vector<int64_t> &lone = tets.m_elements[volumeElements - 3].m_nodes;
  tets.m_elements.push_back({4, 2, 2, {lone[2], lone[0], lone[3], lone[1]}});
  tets.m_names.push_back({2, 7, "walls"});
  tets.m_names.push_back({2, 11, "others"});
  return tets;
}

// Hexahedra and tetrahedra (whose faces are then all checked) with boundary elements.
TestMesh boundedMixed() {
  TestMesh mixed = block(5, 3, true);
  mixed.m_elements.push_back({3, 7, 9, {1, 2, 9, 8}}); // a hexahedron's face
  mixed.m_elements.push_back({2, 7, 9, {1, 2, 8}});    // no face
  return mixed;
}

// Those and the Gmsh meshes: one model whatever the partitions and threads.
TEST(KelvoMatching, EveryPartitionSizeGivesTheSameModel) {
  std::vector<std::string> texts;
  for (const char *name : {"box-tet.v4.msh", "box-hex.v4.msh", "mixed.v4.msh", "two-blocks.v4.msh",
                           "two-blocks.v2.msh"})
    texts.push_back(readFile(meshPath(name)));
  texts.push_back(toMsh2(boundedTetrahedra(true)));
  texts.push_back(toMsh4(boundedTetrahedra(false), true));
  texts.push_back(toMsh4(boundedMixed(), true, true));
  EXPECT_NE(describe(texts[5]).find("\nwarning 2 volume elements appear more than once"),
            std::string::npos);
  EXPECT_NE(describe(texts[6]).find("\nwarning 1 volume element appears more than once"),
            std::string::npos);
  for (size_t t = 0; t < texts.size(); ++t) {
    const std::string reference = describe(texts[t]);
    EXPECT_EQ(reference.find("build:"), std::string::npos) << reference;
    EXPECT_EQ(reference.find("parse:"), std::string::npos) << reference;
    for (int64_t size : {int64_t(1), int64_t(2), int64_t(29), int64_t(1000), int64_t(16384)})
      for (int32_t threads : {1, 2, 3})
        EXPECT_EQ(describe(texts[t], {size, threads}), reference)
            << "mesh " << t << ", partition size " << size << ", " << threads << " threads";
  }
}

// The intermediate file does not depend on the split of the work either: for the Gmsh meshes and
// the made ones above, its bytes' digest is the one the reader has always written for them.
TEST(KelvoMatching, EverySplitWritesTheSameFile) {
  ScratchDir dir;
  std::vector<std::pair<std::string, std::string>> meshes; // file, digest
  const std::pair<const char *, const char *> gmsh[] = {
      {"box-hex", "8106a095e8f4e4b79a95c3b2270f8984"},
      {"box-tet", "56f2defc318843760f40ead42e4c70fe"},
      {"mixed", "4a9687b48577468162a080bc55577e2c"},
      {"two-blocks", "21dd3dbff2e575b8866327e0e4cc5585"}};
  for (const auto &mesh : gmsh)
    for (const char *version : {".v2.msh", ".v4.msh"})
      meshes.push_back({meshPath(mesh.first + std::string(version)), mesh.second});
  writeFile(dir.file("crowded.msh"), toMsh2(boundedTetrahedra(true)));
  writeFile(dir.file("lone.msh"), toMsh4(boundedTetrahedra(false), true));
  writeFile(dir.file("mixed.msh"), toMsh4(boundedMixed(), true, true));
  meshes.push_back({dir.file("crowded.msh"), "d5133f147d559c228f98465825b6f8c2"});
  meshes.push_back({dir.file("lone.msh"), "d5133f147d559c228f98465825b6f8c2"});
  meshes.push_back({dir.file("mixed.msh"), "ac613e10b94cd9f981ec8c4b1fb4c59a"});
  FILE *sink = fopen("/dev/null", "w");
  ASSERT_NE(sink, nullptr);
  const std::string out = dir.file("out.gmo");
  for (const auto &mesh : meshes) {
    for (const Split &split : kSplits) {
      KelvoSplit scope(split.m_partitionSize, split.m_threads);
      const std::vector<std::string> arguments = {"Kelvo.exe", "-I", out, mesh.first};
      ASSERT_EQ(KelvoRun_main(4, zyrtest::argumentVector(arguments).data(), sink), 0) << mesh.first;
      const std::string bytes = readFile(out);
      unsigned char digest[ZYR_MD5_DIGEST_SIZE];
      char hex[ZYR_MD5_HEX_SIZE];
      zyrMD5_digest(bytes.data(), bytes.size(), digest);
      EXPECT_EQ(zyrMD5_toHex(digest, hex), mesh.second)
          << mesh.first << ", partition size " << split.m_partitionSize << ", " << split.m_threads
          << " threads";
    }
  }
  fclose(sink);
}

// The error names the face whose third use comes first, wherever the partitions put the faces.
TEST(KelvoMatching, TheFirstThirdUseOfAFaceIsReported) {
  TestMesh mesh = twoTets(1, 1); // (1, 2, 3, 4) and (2, 3, 4, 5)
  for (int i = 0; i < 4; ++i)
    mesh.m_nodes.push_back({double(i), 5.0, 1.0});
  mesh.m_elements.push_back({4, 1, 1, {6, 7, 8, 9}});
  mesh.m_elements.push_back({4, 1, 1, {6, 7, 8, 1}});
  mesh.m_elements.push_back({4, 1, 1, {2, 3, 4, 6}}); // element 5: (2, 3, 4) a third time
  mesh.m_elements.push_back({4, 1, 1, {6, 7, 8, 2}}); // element 6: (6, 7, 8) a third time
  for (const Split &split : kSplits)
    EXPECT_EQ(describe(toMsh2(mesh), split),
              "build: The face with the nodes 2, 3, 4 is shared by more than two elements (1, 2 "
              "and 5).")
        << split.m_partitionSize << " " << split.m_threads;
  std::swap(mesh.m_elements[4], mesh.m_elements[5]);
  for (const Split &split : kSplits)
    EXPECT_EQ(describe(toMsh2(mesh), split),
              "build: The face with the nodes 6, 7, 8 is shared by more than two elements (3, 4 "
              "and 5).")
        << split.m_partitionSize << " " << split.m_threads;
}

// Nodes no volume element uses are no vertices: the others are numbered in node order.
TEST(KelvoMatching, NodesOutsideTheVolumeElementsAreLeftOut) {
  TestMesh mesh = twoTets(1, 1); // nodes 1-5
  mesh.m_nodes.insert(mesh.m_nodes.begin() + 2, {9, 9, 9}); // now node 3, used by none
  for (TestMesh::Element &e : mesh.m_elements)
    for (int64_t &n : e.m_nodes)
      n += n >= 3 ? 1 : 0;
  mesh.m_elements.push_back({2, 7, 7, {1, 2, 3}}); // a boundary element on it
  for (const Split &split : kSplits) {
    const std::string text = describe(toMsh2(mesh), split);
    EXPECT_EQ(text.substr(0, text.find('\n')), "0 0 0 1 0 0 0 1 0 0 0 1 1 1 1 ") << text;
    EXPECT_NE(text.find("\nset 2 0: 0 1 2 3 1 2 3 4\n"), std::string::npos) << text;
  }
}

// Two threads take the two halves of the elements: the first element with a repeated corner is
// reported all the same.
TEST(KelvoMatching, TheFirstElementWithARepeatedCornerIsReported) {
  TestMesh mesh = block(2, 6, false, false);
  const size_t n = mesh.m_elements.size();
  mesh.m_elements[n - 2].m_nodes[1] = mesh.m_elements[n - 2].m_nodes[3];
  for (const Split &split : kSplits)
    EXPECT_EQ(describe(toMsh2(mesh), split),
              "build: The element " + std::to_string(n - 1) + " has the node " +
                  std::to_string(mesh.m_elements[n - 2].m_nodes[1]) +
                  " more than once among its corners.");
  mesh.m_elements[1].m_nodes[0] = mesh.m_elements[1].m_nodes[2];
  for (const Split &split : kSplits)
    EXPECT_EQ(describe(toMsh2(mesh), split),
              "build: The element 2 has the node " +
                  std::to_string(mesh.m_elements[1].m_nodes[0]) +
                  " more than once among its corners.");
}

} // namespace

namespace {

std::string section(const std::string &text, const std::string &name) {
  const size_t begin = text.find("$" + name + "\n");
  const std::string close = "$End" + name + "\n";
  return text.substr(begin, text.find(close, begin) + close.size() - begin);
}

// Corner tags become node indices while the elements are read when the nodes came first; others
// are resolved at the end: the same indices and messages either way, in every format.
TEST(MshFileCorners, NodesBeforeOrAfterTheElementsGiveTheSameIndices) {
  TestMesh mesh = block(3, 2, true, false);
  for (const std::string &text : {toMsh4(mesh, true), toMsh4(mesh, true, true), toMsh4(mesh),
                                  toMsh2(mesh), toMsh2(mesh, true)}) {
    const std::string nodes = section(text, "Nodes"), elements = section(text, "Elements");
    std::string late = text;
    late.erase(late.find(nodes), nodes.size());
    late.insert(late.find(elements) + elements.size(), nodes);
    MshFile *first = MshFile_new(), *after = MshFile_new();
    std::string error;
    ASSERT_EQ(MshFile_parse(first, text.data(), text.size(), &error), 1) << error;
    ASSERT_EQ(MshFile_parse(after, late.data(), late.size(), &error), 1) << error;
    EXPECT_EQ(first->m_elementNodes, after->m_elementNodes);
    EXPECT_EQ(elementColumns(first).m_starts, elementColumns(after).m_starts);
    EXPECT_EQ(first->m_elementNodes.size(), mesh.m_elements.size() * 4);
    MshFile_delete(first);
    MshFile_delete(after);
  }
  // A node the elements name that is nowhere defined, and a node defined in two sections.
  mesh.m_elements[5].m_nodes[2] = 9999;
  for (const std::string &text : {toMsh4(mesh, true), toMsh4(mesh, true, true), toMsh2(mesh)}) {
    MshFile *msh = MshFile_new();
    std::string error;
    EXPECT_EQ(MshFile_parse(msh, text.data(), text.size(), &error), 0);
    EXPECT_EQ(error, "The element 6 refers to the node 9999, which is not defined.");
    const std::string twice = text + section(text, "Nodes");
    EXPECT_EQ(MshFile_parse(msh, twice.data(), twice.size(), &error), 0);
    EXPECT_EQ(error, "The node 1 is defined more than once.");
    MshFile_delete(msh);
  }
}

} // namespace
