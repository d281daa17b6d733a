#include "ElementMesh.h"
#include "ElementSet.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "InterfaceMap.h"
#include "MeshContainerSupport.h"
#include "MeshTestSupport.h"
#include "Numbering.h"
#include "Vertices.h"
#include "zyrMemory.h"

#include <algorithm>
#include <random>
#include <vector>

namespace {

// The labels as the gluing is written out step by step: follow links without shortening them,
// point the larger representative at the smaller, then label in index order.
std::vector<int32_t> literalLabels(int32_t n, const std::vector<int32_t> &pairs, int32_t base) {
  std::vector<int32_t> links(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i)
    links[static_cast<size_t>(i)] = i;
  for (size_t p = 0; p + 1 < pairs.size(); p += 2) {
    int32_t a = pairs[p];
    int32_t b = pairs[p + 1];
    while (links[static_cast<size_t>(a)] != a)
      a = links[static_cast<size_t>(a)];
    while (links[static_cast<size_t>(b)] != b)
      b = links[static_cast<size_t>(b)];
    if (a < b)
      links[static_cast<size_t>(b)] = a;
    else if (b < a)
      links[static_cast<size_t>(a)] = b;
  }
  int32_t next = base;
  for (int32_t i = 0; i < n; ++i)
    links[static_cast<size_t>(i)] = links[static_cast<size_t>(i)] != i ? links[static_cast<size_t>(links[i])] : next++;
  return links;
}

ElementMesh *meshOfVertices(int32_t n) {
  ElementMesh *em = ElementMesh_new(nullptr);
  std::vector<double> xyz(3 * static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i)
    xyz[3 * static_cast<size_t>(i)] = i;
  ElementMesh_setVertices(em, verticesOf(xyz));
  return em;
}

std::vector<int32_t> labelsOf(const Numbering *numbering, const ElementMesh *em, int32_t n) {
  const int32_t *labels = Numbering_getVertexLabels(numbering, em);
  return labels != nullptr ? std::vector<int32_t>(labels, labels + n) : std::vector<int32_t>();
}

struct Row {
  std::vector<ElementMesh *> meshes;
  std::vector<ElementSet *> sets;
  std::vector<FaceMesh *> faceMeshes; // low x then high x of each block
  std::vector<InterfaceMap *> maps;   // block i high x against block i+1 low x
};

// Blocks of 1 x 2 x 1 hexahedra in a row along x, each with its own vertices, matched where they meet.
Row blocksInARow(int count) {
  Row row;
  for (int b = 0; b < count; ++b) {
    Block block{1, 2, 1, 1.0, {static_cast<double>(b), 0, 0}};
    ElementSet *set = nullptr;
    const std::vector<double> xyz = block.coordinates();
    const std::vector<int32_t> hex = block.hexahedra();
    row.meshes.push_back(elementMeshOf(nullptr, verticesOf(xyz), 7, hex, &set));
    row.sets.push_back(set);
    for (double x : {static_cast<double>(b), b + 1.0})
      row.faceMeshes.push_back(faceMeshOf(nullptr, row.meshes.back(), set,
                                          facesWhere(7, hex, xyz, [x](const double *p) { return p[0] == x; })));
  }
  for (int b = 0; b + 1 < count; ++b) {
    int32_t *permutation = nullptr;
    int32_t *faceMap = nullptr;
    FaceMesh *high = row.faceMeshes[2 * static_cast<size_t>(b) + 1];
    FaceMesh *low = row.faceMeshes[2 * static_cast<size_t>(b) + 2];
    EXPECT_EQ(FaceMesh_match(high, low, nullptr, 0.005, 0, &permutation, &faceMap), 1);
    row.maps.push_back(InterfaceMap_new(high, low, nullptr, permutation, faceMap));
  }
  return row;
}

TEST_F(MeshTest, NumberingLabelsAndGluedVertices) {
  ElementMesh *first = meshOfVertices(8);
  ElementMesh *second = meshOfVertices(6);
  ElementSet *set = ElementSet_new(7, 0, 8, trackedInts({0, 1, 2, 3, 4, 5, 6, 7}));
  ElementMesh_addElementSet(first, set);
  ElementSet *stray = ElementSet_new(7, 0, 8, trackedInts({0, 1, 2, 3, 4, 5, 6, 7}));
  ElementMesh *meshes[] = {first, second};
  Numbering *numbering = Numbering_new(2, meshes, 0, nullptr);
  EXPECT_EQ(Numbering_getNoOfVertices(numbering), 14);
  EXPECT_EQ(labelsOf(numbering, first, 8), (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(labelsOf(numbering, second, 6), (std::vector<int32_t>{9, 10, 11, 12, 13, 14}));
  int32_t offset = 0;
  EXPECT_EQ(Numbering_getElementSetOffset(numbering, set, &offset), 1);
  EXPECT_EQ(offset, 1);
  EXPECT_EQ(Numbering_getElementSetOffset(numbering, stray, &offset), 0);
  int32_t *elements = nullptr;
  int32_t count = 0;
  EXPECT_EQ(ElementSet_getElements(stray, numbering, &elements, &count), 0);
  ASSERT_EQ(ElementSet_getElements(set, numbering, &elements, &count), 1);
  EXPECT_EQ(elements[0], 1);
  zyrMemory_free(elements, "test");

  // Vertex 3 of the first mesh and vertex 1 of the second (zone index 9) become one.
  const int32_t pair[] = {3, 9};
  EXPECT_EQ(Numbering_glueVertexPairs(numbering, 1, pair), 0);
  EXPECT_EQ(Numbering_getNoOfVertices(numbering), 13);
  EXPECT_EQ(labelsOf(numbering, second, 6), (std::vector<int32_t>{9, 4, 10, 11, 12, 13}));
  // Labels of the set's elements come from the labels of its mesh.
  Numbering_setVertexLabelBase(numbering, 0);
  int32_t *vertices = nullptr;
  int32_t nel = 0;
  int32_t nv = 0;
  ASSERT_EQ(ElementSet_getElementVertices(set, 0, numbering, 0, &vertices, &nel, &nv), 1);
  EXPECT_EQ(std::vector<int32_t>(vertices, vertices + 8), (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7}));
  zyrMemory_free(vertices, "test");
  // Compacting keeps the first triple of every label.
  std::vector<double> xyz(3 * 14);
  for (int i = 0; i < 14; ++i)
    xyz[3 * static_cast<size_t>(i)] = i;
  EXPECT_EQ(Numbering_compactCoordinates(numbering, xyz.data()), 13);
  EXPECT_EQ(xyz[3 * 8], 8.0);
  EXPECT_EQ(xyz[3 * 9], 10.0);
  Numbering_delete(numbering);
  ElementSet_delete(stray);

  // The union of shortened links labels like the literal relabelling, on long chains too.
  std::mt19937 random(7);
  for (int32_t n : {50, 2000}) {
    ElementMesh *em = meshOfVertices(n);
    std::vector<int32_t> pairs;
    for (int32_t i = n - 1; i > 0; i -= 2) // a chain from the top down
      pairs.insert(pairs.end(), {i, i - 1});
    for (int k = 0; k < n / 3; ++k)
      pairs.insert(pairs.end(), {static_cast<int32_t>(random() % n), static_cast<int32_t>(random() % n)});
    Numbering *glued = Numbering_new(1, &em, 0, nullptr);
    Numbering_glueVertexPairs(glued, static_cast<int64_t>(pairs.size() / 2), pairs.data());
    for (int32_t i = 0; i < n; ++i)
      EXPECT_LE(glued->m_vertexLabels[i], i);
    EXPECT_EQ(labelsOf(glued, em, n), literalLabels(n, pairs, 1));
    Numbering_delete(glued);
  }
}

TEST_F(MeshTest, NumberingGluesChainsOfInterfacesAndGluesAgainAfterLabelsWereHandedOut) {
  Row row = blocksInARow(3);
  ASSERT_NE(row.maps[0], nullptr);
  ASSERT_NE(row.maps[1], nullptr);
  Numbering *all = Numbering_new(3, row.meshes.data(), 6, row.faceMeshes.data());
  EXPECT_EQ(Numbering_getNoOfVertices(all), 36);
  EXPECT_EQ(Numbering_glueInterfaces(all, 2, row.maps.data()), 1);
  EXPECT_EQ(Numbering_getNoOfVertices(all), 36 - 6 - 6);
  // Vertices that meet carry one label on both sides: the faces of the two sides agree as sets.
  for (int b = 0; b < 2; ++b) {
    int32_t *high = nullptr;
    int32_t *low = nullptr;
    const int32_t nh = FaceMesh_getVertices(row.faceMeshes[2 * b + 1], 1, all, &high);
    const int32_t nl = FaceMesh_getVertices(row.faceMeshes[2 * b + 2], 1, all, &low);
    std::vector<int32_t> a(high, high + nh);
    std::vector<int32_t> c(low, low + nl);
    std::sort(a.begin(), a.end());
    std::sort(c.begin(), c.end());
    EXPECT_EQ(a, c);
    zyrMemory_free(high, "test");
    zyrMemory_free(low, "test");
  }
  // Face labels run on over the face meshes in order.
  int32_t *faces = nullptr;
  int32_t n = 0;
  ASSERT_EQ(FaceMesh_getFaces(row.faceMeshes[3], all, &faces, &n), 1);
  EXPECT_EQ(faces[0], 1 + 3 * 2);
  zyrMemory_free(faces, "test");
  int32_t *elements = nullptr;
  int32_t *localFaces = nullptr;
  ASSERT_EQ(FaceMesh_getElementFaces(row.faceMeshes[2], 0, all, 0, &n, &elements, &localFaces), 1);
  EXPECT_EQ(elements[0], 3);
  zyrMemory_free(elements, "test");
  zyrMemory_free(localFaces, "test");

  // One interface, labels handed out, then the second: the same labels as both at once.
  Numbering *stepwise = Numbering_new(3, row.meshes.data(), 6, row.faceMeshes.data());
  EXPECT_EQ(Numbering_glueInterface(stepwise, row.maps[0]), 1);
  EXPECT_EQ(labelsOf(stepwise, row.meshes[1], 12).size(), 12u);
  EXPECT_EQ(Numbering_glueInterface(stepwise, row.maps[1]), 1);
  for (ElementMesh *em : row.meshes)
    EXPECT_EQ(labelsOf(stepwise, em, 12), labelsOf(all, em, 12));
  // Rows of faces in labels, and edges in labels.
  int32_t *rows = nullptr;
  int32_t nside = 0;
  int32_t mixed = 0;
  int32_t sentinel = 0;
  EXPECT_EQ(FaceMesh_getFaceVertices(row.faceMeshes[1], 1, 0, 0, stepwise, 0, &rows, &nside, &mixed, &sentinel), 2);
  for (int k = 0; k < 8; ++k) {
    EXPECT_GE(rows[k], 1);
    EXPECT_LE(rows[k], 24);
  }
  zyrMemory_free(rows, "test");
  int32_t *edges = nullptr;
  int32_t *sides = nullptr;
  int32_t internal = 0;
  int32_t boundary = 0;
  const int32_t ne = FaceMesh_getEdges(row.faceMeshes[2], 1, 0, stepwise, &edges, &sides, &internal, &boundary);
  EXPECT_EQ(ne, 7);
  const std::vector<int32_t> labels = labelsOf(stepwise, row.meshes[0], 12);
  for (int32_t e = 0; e < 2 * ne; ++e)
    EXPECT_NE(std::find(labels.begin(), labels.end(), edges[e]), labels.end()) << "glued to the first block";
  zyrMemory_free(edges, "test");
  zyrMemory_free(sides, "test");
  Numbering_delete(all);
  Numbering_delete(stepwise);
  for (InterfaceMap *map : row.maps)
    InterfaceMap_delete(map);
}

} // namespace
