// What the mesh records answer about themselves outside the import path (largest vertex,
// dimensionality, distinct face vertices, recalculated geometry, label bases), and the prints of
// the numbering.
#include "ElementMesh.h"
#include "ElementSet.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "MeshTestSupport.h"
#include "Numbering.h"
#include "Splitting.h"
#include "Vertices.h"
#include "zyrMemory.h"
#include "zyrTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

using zyrtest::contains;
using zyrtest::printed;

std::vector<int32_t> distinctVertices(const FaceSet *set, int stable) {
  int32_t *vertices = nullptr;
  const int32_t n = FaceSet_getVertices(set, nullptr, stable, &vertices);
  std::vector<int32_t> out(vertices, vertices + n);
  zyrMemory_free(vertices, "test");
  return out;
}

TEST_F(MeshTest, BlockAnswersAboutItsVerticesFacesAndGeometry) {
  const Block block{2, 1, 1, 1.0, {0, 0, 0}};
  ElementSet *set = nullptr;
  ElementMesh *mesh = hexMesh(block, &set);
  EXPECT_EQ(ElementSet_getLargestVertex(set), block.noOfVertices() - 1);
  EXPECT_EQ(Vertices_getDimensionality(ElementMesh_getVertices(mesh)), 3);

  // Bottom faces (0 3 4 1) and (1 4 5 2): first appearance, then ascending.
  FaceSet *bottom = hexFaces(set, 0, bottomCells(block));
  EXPECT_EQ(distinctVertices(bottom, 1), (std::vector<int32_t>{0, 3, 4, 1, 5, 2}));
  EXPECT_EQ(distinctVertices(bottom, 0), (std::vector<int32_t>{0, 1, 2, 3, 4, 5}));

  FaceMesh *faces = FaceMesh_new(nullptr, mesh);
  FaceMesh_addFaceSet(faces, bottom);
  EXPECT_EQ(FaceMesh_calculateCentroid(faces), 1);
  EXPECT_EQ(FaceMesh_calculateBoundingBox(faces), 1);
  double centroid[3];
  double box[6];
  FaceMesh_getCentroid(faces, centroid);
  FaceMesh_getBoundingBox(faces, box);
  EXPECT_EQ(std::vector<double>(centroid, centroid + 3), (std::vector<double>{1, 0.5, 0}));
  EXPECT_EQ(std::vector<double>(box, box + 6), (std::vector<double>{0, 0, 0, 2, 1, 0}));

  Numbering *numbering = Numbering_new(1, &mesh, 1, &faces);
  int32_t offset = -1;
  ASSERT_EQ(Numbering_getElementSetOffset(numbering, set, &offset), 1);
  EXPECT_EQ(offset, 1);
  Numbering_setElementLabelBase(numbering, 0);
  ASSERT_EQ(Numbering_getElementSetOffset(numbering, set, &offset), 1);
  EXPECT_EQ(offset, 0);
  ASSERT_EQ(Numbering_getFaceSetOffset(numbering, bottom, &offset), 1);
  EXPECT_EQ(offset, 1);
  Numbering_setFaceLabelBase(numbering, 10);
  ASSERT_EQ(Numbering_getFaceSetOffset(numbering, bottom, &offset), 1);
  EXPECT_EQ(offset, 10);

  const std::string text = printed([&](FILE *f) { Numbering_print(numbering, f); });
  EXPECT_TRUE(contains(text, "\nNumbering (")) << text;
  EXPECT_TRUE(contains(text, "\nVertex labelling:\n")) << text;
  EXPECT_TRUE(contains(text, "No. of entries = ")) << text;
  Numbering_delete(numbering);

  // A splitting prints its banner only.
  Splitting *splitting = Splitting_new(nullptr);
  const std::string rule(61, '=');
  char address[32];
  std::snprintf(address, sizeof address, "%p", static_cast<void *>(splitting));
  EXPECT_EQ(printed([&](FILE *f) { Splitting_print(splitting, f); }),
            "\n" + rule + "\nSplitting (" + address + ")\n" + rule + "\n\n\n" + rule + "\n\n");
  Splitting_delete(splitting);
}

} // namespace
