#include "ElementMesh.h"
#include "ElementSet.h"
#include "ElementTopology.h"
#include "Mesh.h"
#include "MeshContainerSupport.h"
#include "MeshSelection.h"
#include "MeshTestSupport.h"
#include "Region.h"
#include "Topology.h"
#include "zyrArrayUtilities.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrObject.h"
#include "zyrTestErrors.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Stands in for the Model of the upper layer: the header lends a UUID for the listing.
struct TestModel {
  zyrObject m_header;
  Topology *m_topology;
  Mesh *m_mesh;
};

Topology *topologyOf(const Model *model) { return reinterpret_cast<const TestModel *>(model)->m_topology; }
Mesh *meshOf(const Model *model) { return reinterpret_cast<const TestModel *>(model)->m_mesh; }

class MeshSelectionTest : public MeshTest {
protected:
  void SetUp() override {
    MeshTest::SetUp();
    const MeshSelectionModelHooks hooks = {topologyOf, meshOf};
    MeshSelection_setModelHooks(&hooks);
    m_topology = Topology_new();
    m_mesh = Mesh_new(m_topology);
    m_model = {*reinterpret_cast<zyrObject *>(m_topology), m_topology, m_mesh};
  }
  void TearDown() override {
    MeshSelection_setModelHooks(nullptr);
    MeshTest::TearDown();
  }
  Model *model() { return reinterpret_cast<Model *>(&m_model); }

  // A volume of a row of n unit hexahedra along x; its only set is returned.
  ElementSet *hexRow(const char *name, int32_t n, ElementMesh **mesh = nullptr) {
    Block block{n, 1, 1, 1.0, {0, 0, 0}};
    ElementSet *set = nullptr;
    ElementMesh *em = elementMeshOf(Region_new(m_topology, nullptr, name, 3), verticesOf(block.coordinates()),
                                    ZYR_ELEMENT_HEXA_8, block.hexahedra(), &set);
    EXPECT_EQ(Mesh_addElementMesh(m_mesh, em), 1);
    if (mesh != nullptr)
      *mesh = em;
    return set;
  }

  // The tetrahedron (0,0,0) (1,0,0) (0,1,0) (0,0,1).
  void cornerTetrahedron() {
    ElementMesh *em = elementMeshOf(Region_new(m_topology, nullptr, "Tet", 3),
                                    verticesOf({0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1}), ZYR_ELEMENT_TETRA_4,
                                    {0, 1, 2, 3});
    EXPECT_EQ(Mesh_addElementMesh(m_mesh, em), 1);
  }

  TestModel m_model{};
  Topology *m_topology = nullptr;
  Mesh *m_mesh = nullptr;
};

// "W" for a whole set, else the listed indices ("" when nothing).
std::string state(const MeshSelection *selection, int32_t s) {
  if (selection->m_selectedCounts[s] > 0 && selection->m_selectedLists[s] == nullptr)
    return "W";
  std::string text;
  for (int32_t i = 0; i < selection->m_selectedCounts[s]; ++i)
    text += (i > 0 ? " " : "") + std::to_string(selection->m_selectedLists[s][i]);
  return text;
}

void setCurrent(MeshSelection *selection, int32_t s, const std::string &value) {
  zyrMemory_freeAndClear(&selection->m_selectedLists[s], "test");
  selection->m_selectedCounts[s] = 0;
  if (value == "W") {
    selection->m_selectedCounts[s] = ElementSet_getNoOfElements(selection->m_elementSets[s]);
    return;
  }
  std::vector<int32_t> list;
  for (size_t at = 0; at < value.size();) {
    size_t end = value.find(' ', at);
    end = end == std::string::npos ? value.size() : end;
    list.push_back(std::stoi(value.substr(at, end - at)));
    at = end + 1;
  }
  if (!list.empty()) {
    selection->m_selectedLists[s] = trackedInts(list);
    selection->m_selectedCounts[s] = static_cast<int32_t>(list.size());
  }
}

// Cells 2 and 3 of a row of unit hexahedra.
const char *const cells23 = "box 1.5 -0.5 -0.5 4.5 1.5 1.5 inside";

TEST_F(MeshSelectionTest, CombinationTableWithWholeSets) {
  hexRow("Fluid", 10);
  MeshSelection *selection = MeshSelection_new(model(), nullptr);
  ASSERT_EQ(selection->m_noOfElementSets, 1);
  struct Row {
    const char *current;
    const char *text;
    const char *results[4]; // union, intersection, difference, symmetric difference
  };
  const Row rows[] = {
      {"2 5", cells23, {"2 3 5", "2", "5", "3 5"}},
      {"2 5", "type hexahedra", {"W", "2 5", "", "0 1 3 4 6 7 8 9"}},
      {"W", cells23, {"W", "2 3", "0 1 4 5 6 7 8 9", "0 1 4 5 6 7 8 9"}},
      {"W", "type hexahedra", {"W", "W", "", ""}},
      {"", "type hexahedra", {"W", "", "", "0 1 2 3 4 5 6 7 8 9"}},
      {"W", "type prisms", {"W", "", "0 1 2 3 4 5 6 7 8 9", "0 1 2 3 4 5 6 7 8 9"}},
  };
  const int32_t combinations[] = {zyrSetUnion, zyrSetIntersection, zyrSetDifference, zyrSetSymmetricDifference};
  for (const Row &row : rows)
    for (int k = 0; k < 4; ++k) {
      setCurrent(selection, 0, row.current);
      ASSERT_EQ(MeshSelection_modify(selection, combinations[k], row.text), 1);
      EXPECT_EQ(state(selection, 0), row.results[k]) << row.current << " / " << row.text << " / " << k;
      EXPECT_EQ(selection->m_newCounts[0], 0);
      EXPECT_EQ(selection->m_newLists[0], nullptr);
    }
  MeshSelection_delete(selection);
}

TEST_F(MeshSelectionTest, RefusedTextsLeaveTheSelectionAlone) {
  hexRow("Fluid", 4);
  MeshSelection *selection = MeshSelection_new(model(), cells23);
  ASSERT_EQ(state(selection, 0), "2 3");
  EXPECT_EQ(MeshSelection_modify(selection, zyrSetDifference, " \t "), 1);
  EXPECT_EQ(MeshSelection_modify(selection, 3, ""), 1);
  EXPECT_EQ(MeshSelection_modify(selection, zyrSetDifference, nullptr), 1);
  EXPECT_EQ(errorCount(), 0);

  EXPECT_EQ(MeshSelection_modify(selection, 3, "type hexahedra"), 0);
  EXPECT_EQ(lastError(), std::make_pair(10020, std::string("The requested combination, 3, is not valid.\n")));
  EXPECT_EQ(MeshSelection_modify(selection, zyrSetUnion, "type prisms walls"), 0);
  EXPECT_EQ(lastError(),
            std::make_pair(10020, std::string("The requested operation:\n\ntype prisms walls\n\n has not been recognised.\n")));
  EXPECT_EQ(MeshSelection_modify(selection, zyrSetDifference, "inside not"), 0);
  EXPECT_EQ(lastError().first, 10020);
  EXPECT_EQ(state(selection, 0), "2 3");
  // A failing step changes nothing either.
  EXPECT_EQ(MeshSelection_modify(selection, zyrSetUnion, "location Nowhere"), 0);
  EXPECT_NE(lastError().first, 0);
  EXPECT_EQ(state(selection, 0), "2 3");
  EXPECT_EQ(selection->m_newCounts[0], 0);
  MeshSelection_delete(selection);
}

TEST_F(MeshSelectionTest, GeometricCriteriaAndTolerances) {
  cornerTetrahedron();
  MeshSelection *selection = MeshSelection_new(model(), nullptr);
  // Sides 1, 1, 1 and 0: the apex lies 5e-7 from the plane z = 1 - 5e-7.
  const char *criteria[] = {"inside", "intersecting", "not outside", "outside", "not intersecting", "not inside"};
  const char *expected[] = {"", "W", "", "", "", "W"};
  for (int c = 0; c < 6; ++c) {
    setCurrent(selection, 0, "");
    ASSERT_EQ(MeshSelection_modify(selection, zyrSetUnion,
                                   (std::string("planei 0 0 -1 0.9999995 ") + criteria[c]).c_str()),
              1);
    EXPECT_EQ(state(selection, 0), expected[c]) << criteria[c];
  }
  struct Case {
    const char *text;
    const char *result;
  };
  const Case cases[] = {
      // A sphere has no tolerance: three vertices exactly on it, one at its centre.
      {"sphere 0 0 0 1 not outside", "W"},
      {"sphere 0 0 0 0.9999999999 not outside", ""},
      {"sphere 0 0 0 1.0000000001 inside", "W"},
      // A box takes vertices within 1e-6 of its faces as on them.
      {"box 5e-7 5e-7 5e-7 2 2 2 not outside", "W"},
      {"box 2e-6 2e-6 2e-6 2 2 2 not outside", ""},
      {"box -5e-7 -5e-7 -5e-7 1 1 1 inside", ""},
      {"box -2e-6 -2e-6 -2e-6 1.000002 1.000002 1.000002 inside", "W"},
      // "planex d" is inside where x > d.
      {"planex -0.5 inside", "W"},
      {"planex 0.5 outside", ""},
      {"planex 1.5 outside", "W"},
  };
  for (const Case &c : cases) {
    setCurrent(selection, 0, "");
    ASSERT_EQ(MeshSelection_modify(selection, zyrSetUnion, c.text), 1);
    EXPECT_EQ(state(selection, 0), c.result) << c.text;
  }
  EXPECT_EQ(MeshSelection_geometricSelect(selection, 2, 4, nullptr), 0);
  EXPECT_EQ(lastError(), std::make_pair(10020, std::string("The requested geometric selection criterion, type = 4,\n"
                                                           "has not been recognised.\n")));
  const double numbers[6] = {0, 0, 0, 1, 0, 0};
  EXPECT_EQ(MeshSelection_geometricSelect(selection, 8, 2, numbers), 0);
  EXPECT_EQ(lastError(), std::make_pair(10020, std::string("The requested geometric selection criterion, "
                                                           "intersection = 8,\nhas not been recognised.\n")));
  MeshSelection_delete(selection);
}

TEST_F(MeshSelectionTest, NotAppliesToLaterCriterionKeywordsOnly) {
  hexRow("Fluid", 3);
  MeshSelection *selection = MeshSelection_new(model(), nullptr);
  // Cell 0 lies within the sphere, cell 1 is cut by it, cell 2 lies outside.
  const std::pair<const char *, const char *> cases[] = {
      {"not inside sphere 0.5 0.5 0.5 1", "2"},
      {"inside not sphere 0.5 0.5 0.5 1", "0"},
      {"sphere 0.5 0.5 0.5 1", "1"},
      {"not intersecting sphere 0.5 0.5 0.5 1", "0 2"},
  };
  for (const auto &c : cases) {
    setCurrent(selection, 0, "");
    ASSERT_EQ(MeshSelection_modify(selection, zyrSetUnion, c.first), 1);
    EXPECT_EQ(state(selection, 0), c.second) << c.first;
  }
  MeshSelection_delete(selection);
}

TEST_F(MeshSelectionTest, QualityBoundsAreStrictAndStatisticsFollowTheSelection) {
  hexRow("Fluid", 3);
  MeshSelection *selection = MeshSelection_new(model(), "volume * *");
  // Every element passes, yet the result is a list.
  EXPECT_EQ(state(selection, 0), "0 1 2");
  int32_t n = -1;
  double *values = nullptr;
  ASSERT_EQ(MeshSelection_getStatistics(selection, "volume", &n, &values), 1);
  ASSERT_EQ(n, 3);
  EXPECT_NEAR(values[0], 1.0, 1e-15);
  EXPECT_EQ(values[1], values[0]);
  char volume[40];
  std::snprintf(volume, sizeof volume, "%.17g", values[0]);
  zyrMemory_free(values, "test");
  const std::pair<std::string, const char *> cases[] = {{std::string("volume ") + volume + " *", ""},
                                                        {std::string("volume * ") + volume, ""},
                                                        {"volume 0.5 1.5", "0 1 2"},
                                                        {"beta 0.1 *", ""}};
  for (const auto &c : cases) {
    setCurrent(selection, 0, "");
    ASSERT_EQ(MeshSelection_modify(selection, zyrSetUnion, c.first.c_str()), 1);
    EXPECT_EQ(state(selection, 0), c.second) << c.first;
  }
  // The measure is taken over every element, whatever is selected now.
  setCurrent(selection, 0, "1");
  ASSERT_EQ(MeshSelection_modify(selection, zyrSetIntersection, "max_edge_length 0.5 1.5"), 1);
  EXPECT_EQ(state(selection, 0), "1");

  EXPECT_EQ(MeshSelection_getStatistics(selection, "beta", &n, &values), 1);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(values, nullptr);
  setCurrent(selection, 0, "2 0");
  ASSERT_EQ(MeshSelection_getStatistics(selection, "bounding_box", &n, &values), 1);
  EXPECT_EQ(std::vector<double>(values, values + n), (std::vector<double>{0, 0, 0, 3, 1, 1}));
  zyrMemory_free(values, "test");
  ASSERT_EQ(MeshSelection_getStatistics(selection, "edge_length_ratio", &n, &values), 1);
  EXPECT_EQ(std::vector<double>(values, values + n), (std::vector<double>{1, 1}));
  zyrMemory_free(values, "test");
  EXPECT_EQ(MeshSelection_getStatistics(selection, "area", &n, &values), 0);

  // "bounding_box" has no value per element to compare: refused, the selection kept.
  const double bounds[2] = {0, 0};
  const int32_t flags[2] = {0, 0};
  EXPECT_EQ(MeshSelection_qualitySelect(selection, "bounding_box", bounds, flags), 0);
  EXPECT_EQ(lastError().first, 10020);
  EXPECT_EQ(MeshSelection_qualitySelect(selection, "area", bounds, flags), 0);
  EXPECT_EQ(errorCount(), 0);
  EXPECT_EQ(state(selection, 0), "2 0");
  EXPECT_EQ(selection->m_newCounts[0], 0);
  MeshSelection_delete(selection);
}

TEST_F(MeshSelectionTest, BetaDecidesOnlyTetrahedra) {
  hexRow("Fluid", 2);
  Block block{1, 1, 1, 1.0, {5, 0, 0}};
  ElementMesh *tets = elementMeshOf(Region_new(m_topology, nullptr, "Tets", 3), verticesOf(block.coordinates()),
                                    ZYR_ELEMENT_TETRA_4, block.tetrahedra());
  ASSERT_EQ(Mesh_addElementMesh(m_mesh, tets), 1);
  MeshSelection *selection = MeshSelection_new(model(), "beta 0.1 *");
  ASSERT_EQ(selection->m_noOfElementSets, 2);
  const int32_t t = ElementSet_getElementType(selection->m_elementSets[0]) == ZYR_ELEMENT_TETRA_4 ? 0 : 1;
  EXPECT_EQ(state(selection, 1 - t), "");
  EXPECT_EQ(state(selection, t), "0 1 2 3 4 5");
  EXPECT_EQ(MeshSelection_getNoOfSelectedElementsOfType(selection, ZYR_ELEMENT_TETRA_4), 6);
  ASSERT_EQ(MeshSelection_modify(selection, zyrSetUnion, "type hexahedra"), 1);
  EXPECT_EQ(MeshSelection_getNoOfSelectedElements(selection), 8);
  int32_t n = 0;
  double *values = nullptr;
  ASSERT_EQ(MeshSelection_getStatistics(selection, "beta", &n, &values), 1);
  ASSERT_EQ(n, 6);
  for (int32_t i = 0; i < n; ++i)
    EXPECT_GT(values[i], 3.0);
  zyrMemory_free(values, "test");
  ASSERT_EQ(MeshSelection_getStatistics(selection, "volume", &n, &values), 1);
  ASSERT_EQ(n, 8);
  double total = 0;
  for (int32_t i = 0; i < n; ++i)
    total += values[i];
  EXPECT_NEAR(total, 3.0, 1e-12);
  zyrMemory_free(values, "test");
  MeshSelection_delete(selection);
}

TEST_F(MeshSelectionTest, LocationsOfVolumesAndSurfaces) {
  ElementMesh *em = nullptr;
  ElementSet *set = hexRow("Fluid", 3, &em);
  Block block{3, 1, 1, 1.0, {0, 0, 0}};
  // Cell 0 owns two faces of the wall, cells 1 and 2 one each.
  const FaceList faces = facesWhere(ZYR_ELEMENT_HEXA_8, block.hexahedra(), block.coordinates(),
                                    [](const double *p) { return p[0] == 0.0; });
  FaceList all = facesWhere(ZYR_ELEMENT_HEXA_8, block.hexahedra(), block.coordinates(),
                            [](const double *p) { return p[2] == 0.0; });
  all.insert(all.end(), faces.begin(), faces.end());
  ASSERT_EQ(all.size(), 4u);
  ASSERT_EQ(Mesh_addFaceMesh(m_mesh, faceMeshOf(Region_new(m_topology, nullptr, "Wall", 2), em, set, all)), 1);
  ASSERT_EQ(Mesh_addFaceMesh(m_mesh, faceMeshOf(Region_new(m_topology, nullptr, "Inlet", 2), em, set, faces)), 1);

  MeshSelection *selection = MeshSelection_new(model(), "location Wall");
  EXPECT_EQ(state(selection, 0), "0 1 2");
  ASSERT_EQ(MeshSelection_modify(selection, zyrSetIntersection, "location Inlet"), 1);
  EXPECT_EQ(state(selection, 0), "0");
  ASSERT_EQ(MeshSelection_modify(selection, zyrSetUnion, "location Inlet, Fluid"), 1);
  EXPECT_EQ(state(selection, 0), "W");
  // An empty location is a list of nothing: the whole set minus it is listed.
  ASSERT_EQ(MeshSelection_modify(selection, zyrSetDifference, "location"), 1);
  EXPECT_EQ(state(selection, 0), "0 1 2");
  MeshSelection_delete(selection);
}

TEST_F(MeshSelectionTest, ElementQueryNumbersTheUsedVerticesCompactly) {
  // Vertex 0 is not used; the two tetrahedra share the face 2 3 4.
  const std::vector<double> xyz = {9, 9, 9, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1};
  ElementMesh *em = elementMeshOf(Region_new(m_topology, nullptr, "Pair", 3), verticesOf(xyz), ZYR_ELEMENT_TETRA_4,
                                  {1, 2, 3, 4, 5, 4, 3, 2});
  ASSERT_EQ(Mesh_addElementMesh(m_mesh, em), 1);
  hexRow("Unselected", 1);
  MeshSelection *selection = MeshSelection_new(model(), "type tetrahedra");

  int32_t meshes = -1;
  char **names = nullptr;
  int32_t *vertexCounts = nullptr;
  float **coordinates = nullptr;
  int32_t *setCounts = nullptr;
  int32_t *types = nullptr;
  int32_t *counts = nullptr;
  int32_t **vertices = nullptr;
  ASSERT_EQ(MeshSelection_getElements(selection, zyrConvention_ZYR, "mm", &meshes, &names, &vertexCounts,
                                      &coordinates, &setCounts, &types, &counts, &vertices),
            1);
  ASSERT_EQ(meshes, 1);
  EXPECT_STREQ(names[0], "Pair");
  EXPECT_EQ(vertexCounts[0], 5);
  EXPECT_EQ(std::vector<float>(coordinates[0], coordinates[0] + 6), (std::vector<float>{0, 0, 0, 1000, 0, 0}));
  EXPECT_EQ(setCounts[0], 1);
  EXPECT_EQ(types[0], ZYR_ELEMENT_TETRA_4);
  EXPECT_EQ(counts[0], 2);
  EXPECT_EQ(std::vector<int32_t>(vertices[0], vertices[0] + 8), (std::vector<int32_t>{0, 1, 2, 3, 4, 3, 2, 1}));
  zyrCStringArray_free(names, 1);
  zyrMemory_free(vertexCounts, "test");
  zyrMemory_free(coordinates[0], "test");
  zyrMemory_free(coordinates, "test");
  zyrMemory_free(setCounts, "test");
  zyrMemory_free(types, "test");
  zyrMemory_free(counts, "test");
  zyrMemory_free(vertices[0], "test");
  zyrMemory_free(vertices, "test");

  // A bad unit gives nothing; an empty selection gives no mesh.
  EXPECT_EQ(MeshSelection_getElements(selection, zyrConvention_ZYR, "parsec-ish", &meshes, &names, &vertexCounts,
                                      &coordinates, &setCounts, &types, &counts, &vertices),
            0);
  EXPECT_EQ(meshes, 0);
  EXPECT_EQ(names, nullptr);
  zyrtest::ErrorCapture::clear();
  ASSERT_EQ(MeshSelection_modify(selection, zyrSetDifference, "type tetrahedra"), 1);
  EXPECT_EQ(MeshSelection_getElements(selection, zyrConvention_ZYR, "m", &meshes, &names, &vertexCounts, &coordinates,
                                      &setCounts, &types, &counts, &vertices),
            1);
  EXPECT_EQ(meshes, 0);
  EXPECT_EQ(vertices, nullptr);
  MeshSelection_delete(selection);
}

TEST_F(MeshSelectionTest, CopiesAreIndependentAndListed) {
  hexRow("Fluid", 4);
  MeshSelection *selection = MeshSelection_new(model(), cells23);
  MeshSelection *copy = MeshSelection_copy(selection);
  ASSERT_EQ(MeshSelection_modify(copy, zyrSetSymmetricDifference, "type hexahedra"), 1);
  EXPECT_EQ(state(selection, 0), "2 3");
  EXPECT_EQ(state(copy, 0), "0 1");
  EXPECT_EQ(MeshSelection_getModel(copy), model());

  char *text = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&text, &size);
  MeshSelection_print(selection, stream);
  std::fclose(stream);
  const std::string listing(text);
  std::free(text);
  EXPECT_EQ(listing.rfind(std::string(46, '=') + "\nMeshSelection: ", 0), 0u);
  for (const char *line : {"Units                    = m\n", "Number of element meshes = 1\n",
                           "Number of element sets   = 1\n", "[Fluid]\n", "selected = 2"})
    EXPECT_NE(listing.find(line), std::string::npos) << line;
  MeshSelection_delete(copy);
  MeshSelection_delete(selection);

  // Without a mesh there is nothing to select, and nothing fails.
  m_model.m_mesh = nullptr;
  selection = MeshSelection_new(model(), "type hexahedra");
  EXPECT_EQ(selection->m_noOfElementSets, 0);
  EXPECT_EQ(MeshSelection_getNoOfSelectedElements(selection), 0);
  MeshSelection_delete(selection);
}

} // namespace
