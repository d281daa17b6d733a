// Location and region queries through the procedural interface: region lists by dimension mask,
// geometry of a location, the neighbourhood of a region, and the mesh match check.
#include "Connection.h"
#include "QueriesTestSupport.h"
#include "zyrAffineTransform3D.h"

#include <algorithm>
#include <cmath>

using queriestest::QueriesTest;
using queriestest::strings;

TEST_F(QueriesTest, MasksSelectTheDimensionalitiesOfALocation) {
  addBlock("A", 0, 2);
  std::vector<std::string> all = locationRegions("A", 15);
  std::sort(all.begin(), all.end());
  EXPECT_EQ(all, (std::vector<std::string>{"Abottom", "Ahigh", "Alow", "Atop", "Avol"}));
  EXPECT_EQ(locationRegions("Atop,Avol", 8), (std::vector<std::string>{"Avol"}));
  // A volume asked for surfaces only: nothing, and still a success without a list.
  int32_t n = -1;
  char **names = reinterpret_cast<char **>(&n);
  EXPECT_EQ(zyrLocation_getRegions(m_hModel, "Avol", 0, 4, &n, &names), 1);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(names, nullptr);
  EXPECT_EQ(zyrLocation_getNoOfRegions(m_hModel, "A", 0, 5, &n), 1);
  EXPECT_EQ(n, 4);
  // Unknown names fail unless they are to be passed over.
  EXPECT_EQ(zyrLocation_getNoOfRegions(m_hModel, "nowhere,Atop", 0, 15, &n), 0);
  EXPECT_EQ(zyrLocation_getNoOfRegions(m_hModel, "nowhere,Atop", 1, 15, &n), 1);
  EXPECT_EQ(n, 1);

  EXPECT_EQ(zyrModel_getNoOfRegions(m_hModel, 4, &n), 1);
  EXPECT_EQ(n, 4);
  EXPECT_EQ(zyrModel_getRegions(m_hModel, 2, &n, &names), 1);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(names, nullptr);
}

TEST_F(QueriesTest, CompositeNamesConsistentWithALocation) {
  addBlock("A", 0, 1);
  char *ends[] = {const_cast<char *>("Alow"), const_cast<char *>("Ahigh")};
  ASSERT_EQ(zyrCompositeName_create(m_hModel, "Ends", 1, 2, ends, 0, nullptr), 1);
  ASSERT_EQ(zyrCompositeName_create(m_hModel, "Low", 1, 1, ends, 0, nullptr), 1);
  int32_t n = -1;
  char **names = nullptr;
  ASSERT_EQ(zyrLocation_getCompositeNames(m_hModel, "Alow,Ahigh", 0, 15, &n, &names), 1);
  std::vector<std::string> got = strings(n, names);
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<std::string>{"Ends", "Low"}));
  ASSERT_EQ(zyrLocation_getCompositeNames(m_hModel, "Alow", 0, 15, &n, &names), 1);
  EXPECT_EQ(strings(n, names), (std::vector<std::string>{"Low"}));
  // The volume alone, with surfaces masked away, is consistent with nothing.
  ASSERT_EQ(zyrLocation_getCompositeNames(m_hModel, "A", 0, 8, &n, &names), 1);
  EXPECT_EQ(n, 0);
}

TEST_F(QueriesTest, GeometryOfALocation) {
  addBlock("A", 0, 2);
  // The box comes back as low and high per axis.
  double box[6] = {-9, -9, -9, -9, -9, -9};
  ASSERT_EQ(zyrLocation_getBoundingBox(m_hModel, "A", 0, "m", &box[0], &box[1], &box[2], &box[3], &box[4], &box[5]), 1);
  EXPECT_EQ(std::vector<double>(box, box + 6), (std::vector<double>{0, 2, 0, 1, 0, 1}));
  // On failure the caller's values stay.
  box[0] = -7;
  EXPECT_EQ(
      zyrLocation_getBoundingBox(m_hModel, "nowhere", 0, "m", &box[0], &box[1], &box[2], &box[3], &box[4], &box[5]), 0);
  EXPECT_EQ(box[0], -7);

  double area = -1;
  ASSERT_EQ(zyrLocation_getExtents(m_hModel, "Abottom,Alow", 0, "m", 2, &area), 1);
  EXPECT_NEAR(area, 3.0, 1e-12);
  // A volume named alone has no surfaces of its own; its assembly has them.
  ASSERT_EQ(zyrLocation_getExtents(m_hModel, "Avol", 0, "mm", 2, &area), 1);
  EXPECT_EQ(area, 0.0);
  ASSERT_EQ(zyrLocation_getExtents(m_hModel, "A", 0, "mm", 2, &area), 1);
  EXPECT_NEAR(area, 6e6, 1e-3);

  double x = 0, y = 0, z = 0;
  ASSERT_EQ(zyrLocation_getCentroid(m_hModel, "Atop", 0, "m", 0, &x, &y, &z), 1);
  EXPECT_NEAR(x, 1.0, 1e-12);
  EXPECT_NEAR(z, 1.0, 1e-12);
  zyrtest::ErrorCapture errors;
  EXPECT_EQ(zyrLocation_getCentroid(m_hModel, "Atop", 0, "m", 2, &x, &y, &z), 0);
  EXPECT_EQ(errors.take(),
            (std::vector<std::string>{"10020: The supplied value for the method parameter, 2, is invalid.\n"}));
}

TEST_F(QueriesTest, ExtentsOtherThanAreaAreQueuedWithoutBeingShown) {
  addBlock("A", 0, 1);
  // A surface without a visual adds nothing.
  Representation *representation = Model_getRepresentation(m_model);
  Visual *visual = Representation_getVisual(representation, region("Atop"));
  Representation_removeVisual(representation, visual);
  Visual_delete(visual);
  zyrtest::ErrorCapture errors;
  double extents = -1;
  EXPECT_EQ(zyrLocation_getExtents(m_hModel, "Atop", 0, "m", 2, &extents), 1);
  EXPECT_EQ(extents, 0.0);
  EXPECT_EQ(zyrLocation_getExtents(m_hModel, "A", 0, "m", 3, &extents), 0);
  EXPECT_EQ(zyrLocation_getExtents(m_hModel, "A", 0, "m", 0, &extents), 0);
  EXPECT_TRUE(errors.published().empty());
  int32_t n = 0;
  zyrError **queued = nullptr;
  ASSERT_EQ(zyrApp_getErrors(&n, &queued), 1);
  ASSERT_EQ(n, 2);
  EXPECT_STREQ(zyrError_getMessage(queued[0]), "Currently this function only supports the determination of the\n"
                                               "combined area of the 2D component of a location.\n");
  EXPECT_STREQ(zyrError_getMessage(queued[1]), "The dimensionality argument must be in the range [1, 3].\n");
  zyrMemory_free(queued, "test");
}

TEST_F(QueriesTest, RegionMeshAndMeshSize) {
  addBlock("A", 0, 2);
  int32_t vertices = -1, elements = -1;
  int32_t byType[8];
  ASSERT_EQ(zyrLocation_getMeshSize(m_hModel, "A", 0, 8, &vertices, &elements, byType), 1);
  EXPECT_EQ(vertices, 12);
  EXPECT_EQ(elements, 2);
  EXPECT_EQ(byType[ZYR_ELEMENT_HEXA_8], 2);
  ASSERT_EQ(zyrLocation_getMeshSize(m_hModel, "Abottom,Ahigh", 0, 15, &vertices, &elements, byType), 1);
  EXPECT_EQ(elements, 3);
  EXPECT_EQ(byType[3], 3);

  double *xyz = nullptr;
  int32_t *types = nullptr;
  int32_t *connectivity = nullptr;
  ASSERT_EQ(zyrRegion_getMesh(m_hModel, "Abottom", 0, "mm", &vertices, &xyz, &elements, &types, &connectivity), 1);
  EXPECT_EQ(vertices, 6);
  EXPECT_EQ(elements, 2);
  EXPECT_EQ(types[0], 3);
  double largest = 0;
  for (int32_t i = 0; i < 3 * vertices; ++i)
    largest = std::max(largest, xyz[i]);
  EXPECT_EQ(largest, 2000.0);
  zyrMemory_free(xyz, "test");
  zyrMemory_free(types, "test");
  zyrMemory_free(connectivity, "test");

  // An angle is a unit, but not one of length.
  zyrtest::ErrorCapture errors;
  EXPECT_EQ(zyrRegion_getMesh(m_hModel, "Abottom", 0, "deg", &vertices, &xyz, &elements, &types, &connectivity), 0);
  EXPECT_EQ(errors.take(), (std::vector<std::string>{"10013: Supplied units for length were: deg.\n"}));
  EXPECT_EQ(zyrRegion_getMesh(m_hModel, "A", 0, "m", &vertices, &xyz, &elements, &types, &connectivity), 0);
  EXPECT_EQ(errors.take(), (std::vector<std::string>{"10036: \"A\" is not a primitive region.\n"}));
  EXPECT_EQ(xyz, nullptr);
}

TEST_F(QueriesTest, NeighbourhoodOfARegion) {
  addBlock("A", 0, 1);
  addBlock("B", 1, 1);
  addBlock("C", 5, 1);
  ASSERT_NE(Region_connectNeighbour(region("Ahigh"), region("Blow")), nullptr);
  ASSERT_NE(Region_glueNeighbour(region("Atop"), region("Btop")), nullptr);
  ASSERT_NE(Region_glueNeighbour(region("Atop"), region("Ctop")), nullptr);
  int32_t n = -1;
  char **names = nullptr;
  char *bounded = nullptr;
  ASSERT_EQ(zyrRegion_getBoundedRegion(m_hModel, "Atop", &bounded), 1);
  EXPECT_STREQ(bounded, "Avol");
  zyrCString_free(bounded);
  ASSERT_EQ(zyrRegion_getBoundedRegion(m_hModel, "Avol", &bounded), 1);
  EXPECT_EQ(bounded, nullptr);
  ASSERT_EQ(zyrRegion_getBoundingRegions(m_hModel, "Avol", &n, &names), 1);
  EXPECT_EQ(strings(n, names), (std::vector<std::string>{"Abottom", "Atop", "Alow", "Ahigh"}));

  // Glued neighbours win; a direct one is taken only when there are none.
  ASSERT_EQ(zyrRegion_getPairedRegions(m_hModel, 3, "Atop", &n, &names), 1);
  EXPECT_EQ(strings(n, names), (std::vector<std::string>{"Btop", "Ctop"}));
  ASSERT_EQ(zyrRegion_getPairedRegions(m_hModel, 1, "Atop", &n, &names), 1);
  EXPECT_EQ(n, 0);
  ASSERT_EQ(zyrRegion_getPairedRegions(m_hModel, 3, "Ahigh", &n, &names), 1);
  EXPECT_EQ(strings(n, names), (std::vector<std::string>{"Blow"}));
  ASSERT_EQ(zyrRegion_getPairedRegions(m_hModel, 2, "Ahigh", &n, &names), 1);
  EXPECT_EQ(n, 0);
  zyrtest::ErrorCapture errors;
  EXPECT_EQ(zyrRegion_getPairedRegions(m_hModel, 4, "Ahigh", &n, &names), 0);
  EXPECT_EQ(zyrModel_getPairedRegions(m_hModel, 0, &n, &names, &names), 0);
  EXPECT_EQ(errors.take(), (std::vector<std::string>{"10020: The supplied value for type, 4, is invalid.\n",
                                                     "10020: The supplied value for type, 0, is invalid.\n"}));

  char **side1 = nullptr;
  char **side2 = nullptr;
  ASSERT_EQ(zyrModel_getPairedRegions(m_hModel, 2, &n, &side1, &side2), 1);
  ASSERT_EQ(n, 2);
  std::vector<std::string> one = strings(n, side1);
  std::vector<std::string> two = strings(n, side2);
  for (int i = 0; i < 2; ++i)
    EXPECT_TRUE((one[i] == "Atop") != (two[i] == "Atop")) << one[i] << " " << two[i];
  ASSERT_EQ(zyrModel_getPairedRegions(m_hModel, 1, &n, &side1, &side2), 1);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(strings(n, side1).size() + strings(n, side2).size(), 2u);

  // B is next to A across two surfaces and is listed once.
  ASSERT_NE(Region_glueNeighbour(region("Abottom"), region("Bbottom")), nullptr);
  ASSERT_EQ(zyrRegion_getNeighbours(m_hModel, "Avol", &n, &names), 1);
  EXPECT_EQ(strings(n, names), (std::vector<std::string>{"Bvol", "Cvol"}));
  ASSERT_EQ(zyrRegion_getNeighbours(m_hModel, "Cvol", &n, &names), 1);
  EXPECT_EQ(strings(n, names), (std::vector<std::string>{"Avol"}));
}

namespace {

int32_t match(int32_t hModel, const char *one, const char *two, int32_t type, zyrAffineTransform3D *transform,
              int *status) {
  const double root[3] = {0, 0, 0};
  const double tip[3] = {1, 0, 0};
  int32_t result = -1;
  *status = zyrLocation_doesMeshMatch(hModel, one, two, type, root, tip, "m", transform, &result);
  return result;
}

} // namespace

TEST_F(QueriesTest, MeshMatchResults) {
  addBlock("A", 0, 1);
  addBlock("B", 1, 1);
  addBlock("C", 2, 1);
  addBlock("D", 3.5, 1);
  int status = -1;
  // Different numbers of surfaces.
  EXPECT_EQ(match(m_hModel, "Ahigh", "Blow,Bhigh", 1, nullptr, &status), 0);
  EXPECT_EQ(status, 1);
  // Coincident faces match in place; faces apart do not.
  EXPECT_EQ(match(m_hModel, "Ahigh", "Blow", 1, nullptr, &status), 1);
  EXPECT_EQ(match(m_hModel, "Chigh", "Dlow", 1, nullptr, &status), 0);
  EXPECT_EQ(status, 1);
  // A given transform carries the faces first.
  zyrAffineTransform3D *shift = zyrAffineTransform3D_new();
  const double by[3] = {0.5, 0, 0};
  zyrAffineTransform3D_translate(shift, by, "m");
  EXPECT_EQ(match(m_hModel, "Chigh", "Dlow", 4, shift, &status), 1);
  zyrAffineTransform3D_delete(shift);

  // Connected pairs: all of them, some of them, one leading outside the other location.
  ASSERT_NE(Region_connectNeighbour(region("Ahigh"), region("Blow")), nullptr);
  EXPECT_EQ(match(m_hModel, "Ahigh", "Blow", 1, nullptr, &status), 3);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(match(m_hModel, "Ahigh,Bhigh", "Blow,Clow", 1, nullptr, &status), 2);
  EXPECT_EQ(match(m_hModel, "Ahigh,Bhigh", "Alow,Clow", 1, nullptr, &status), 0);
  EXPECT_EQ(status, 1);

  // Periodic by translation: the transformation found is handed back.
  zyrAffineTransform3D *found = zyrAffineTransform3D_new();
  EXPECT_EQ(match(m_hModel, "Clow", "Chigh", 2, found, &status), 1);
  EXPECT_EQ(status, 1);
  double matrix[9];
  double vector[3];
  char *units = nullptr;
  zyrAffineTransform3D_get(found, matrix, vector, &units);
  EXPECT_NEAR(vector[0], 1.0, 1e-12);
  EXPECT_NEAR(vector[1], 0.0, 1e-12);
  zyrCString_free(units);
  zyrAffineTransform3D_delete(found);

  // A surface without a mesh: status 0, result 3, the message queued but not shown.
  Mesh *mesh = Model_getMesh(m_model);
  FaceMesh *fm = Mesh_getFaceMesh(mesh, region("Dhigh"));
  Mesh_removeFaceMesh(mesh, fm);
  zyrtest::ErrorCapture errors;
  EXPECT_EQ(match(m_hModel, "Dhigh", "Dlow", 1, nullptr, &status), 3);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(errors.published().empty());
  EXPECT_EQ(errors.take(),
            (std::vector<std::string>{"10020: Unable to determine the face mesh associated with region \"Dhigh\".\n"}));
  Mesh_addFaceMesh(mesh, fm);
}

TEST_F(QueriesTest, TheToleranceInForceDecidesNearlyCoincidentFaces) {
  addBlock("A", 0, 1);
  addBlock("B", 1.001, 1);
  int status = -1;
  ASSERT_EQ(zyrStrategy_setRealParameter(m_hModel, "MeshMatching_relativeTolerance", 1e-6), 1);
  EXPECT_EQ(match(m_hModel, "Ahigh", "Blow", 1, nullptr, &status), 0);
  ASSERT_EQ(zyrStrategy_setRealParameter(m_hModel, "MeshMatching_relativeTolerance", 0.01), 1);
  EXPECT_EQ(match(m_hModel, "Ahigh", "Blow", 1, nullptr, &status), 1);
}
