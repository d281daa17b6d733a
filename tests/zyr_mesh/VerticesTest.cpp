#include "Vertices.h"
#include "zyrTestSupport.h"

#include "Repository.h"
#include "Units.h"
#include "zyrAffineTransform3D.h"
#include "zyrBlob.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorManager.h"
#include "zyrMemory.h"
#include "zyrStateManager.h"
#include "zyrUUID.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cfloat>
#include <string>
#include <vector>

namespace {

// Vertex i at (i, 2i, -i) + 0.1.
double *grid(int32_t n) {
  double *xyz = zyrMemory_allocateArray<double>(3 * n, "test");
  for (int32_t i = 0; i < n; ++i) {
    xyz[3 * i] = i + 0.1;
    xyz[3 * i + 1] = 2 * i + 0.1;
    xyz[3 * i + 2] = -i + 0.1;
  }
  return xyz;
}

std::vector<double> coordinates(Vertices *v, const char *units, int32_t count = 0, const int32_t *list = nullptr) {
  void *out = nullptr;
  const int32_t n = Vertices_getCoordinates(v, units, VERTICES_DOUBLE, count, list, &out);
  std::vector<double> result;
  if (n > 0)
    result.assign(static_cast<double *>(out), static_cast<double *>(out) + 3 * n);
  zyrMemory_free(out, "test");
  return result;
}

class VerticesTest : public testing::Test {
protected:
  void SetUp() override {
    Vertices_registerType();
    // The built-in unit table: no units file is needed.
    setenv("ZYR_USE_LOCAL_UNITS", "1", 0);
    ASSERT_EQ(Units_areAvailable(), 1);
    m_repository = Repository_new((m_dir + "/db").c_str());
    ASSERT_NE(m_repository, nullptr);
  }
  void TearDown() override {
    if (m_repository != nullptr)
      Repository_close(m_repository, -1);
    zyrErrorManager_clearErrors(zyrErrorManager_get());
  }
  void reopen() {
    Repository_commit(m_repository);
    Repository_close(m_repository, -1);
    m_repository = Repository_new((m_dir + "/db").c_str());
    ASSERT_NE(m_repository, nullptr);
  }
  Vertices *find(const std::string &key) {
    return static_cast<Vertices *>(
        zyrStateManager_pointerFromUUIDString(Repository_getStateManager(m_repository), key.c_str()));
  }
  static std::string keyOf(const void *object) {
    char key[ZYR_UUID_BASE64_SIZE];
    zyrObject_getUUIDString(object, key);
    return key;
  }

  zyrtest::ScratchDir m_scratch{"zyrvertices"};
  std::string m_dir = m_scratch.path();
  Repository *m_repository = nullptr;
};

TEST_F(VerticesTest, SinglePrecisionIsKeptAsFloats) {
  Vertices *v = Vertices_new(3, "m", VERTICES_SINGLE_REQUEST, 10, grid(10));
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(Vertices_getPrecision(v), VERTICES_SINGLE);
  EXPECT_EQ(zyrBlob_getType(v->m_xyz), ZYR_TYPE_FLOAT);
  EXPECT_EQ(zyrBlob_getSize(v->m_xyz), 120);
  const std::vector<double> xyz = coordinates(v, "m");
  ASSERT_EQ(xyz.size(), 30u);
  for (int32_t i = 0; i < 10; ++i)
    EXPECT_EQ(xyz[3 * i + 1], static_cast<double>(static_cast<float>(2 * i + 0.1)));
  Vertices_delete(v);
}

TEST_F(VerticesTest, SplitVerticesTakeTheirSourcesPosition) {
  Vertices *v = Vertices_new(3, "m", 2, 10, grid(10));
  int32_t *sources = zyrMemory_allocateArray<int32_t>(2, "test");
  sources[0] = 4;
  sources[1] = 7;
  EXPECT_EQ(Vertices_split(v, 2, sources), 1);
  EXPECT_EQ(Vertices_getNoOfVertices(v), 12);
  const std::vector<double> all = coordinates(v, nullptr);
  ASSERT_EQ(all.size(), 36u);
  EXPECT_EQ(std::vector<double>(all.begin() + 30, all.end()), (std::vector<double>{4.1, 8.1, -3.9, 7.1, 14.1, -6.9}));
  const int32_t list[] = {11, 10, 4};
  EXPECT_EQ(coordinates(v, nullptr, 3, list), (std::vector<double>{7.1, 14.1, -6.9, 4.1, 8.1, -3.9, 4.1, 8.1, -3.9}));

  // Splitting again adds: vertex 12 copies split vertex 11, which is vertex 7.
  sources = zyrMemory_allocateArray<int32_t>(1, "test");
  sources[0] = 11;
  EXPECT_EQ(Vertices_split(v, 1, sources), 1);
  const int32_t *split = nullptr;
  ASSERT_EQ(Vertices_getSplitVertices(v, &split), 3);
  EXPECT_EQ(std::vector<int32_t>(split, split + 3), (std::vector<int32_t>{4, 7, 7}));

  // Numbers that are not vertices are refused.
  sources = zyrMemory_allocateArray<int32_t>(1, "test");
  sources[0] = 13;
  EXPECT_EQ(Vertices_split(v, 1, sources), 0);
  const int32_t bad[] = {0, 13};
  void *out = nullptr;
  EXPECT_EQ(Vertices_getCoordinates(v, nullptr, VERTICES_DOUBLE, 2, bad, &out), -1);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(Vertices_newSubset(v, 1, bad + 1), nullptr);
  EXPECT_EQ(Vertices_getNoOfVertices(v), 13);
  Vertices_delete(v);
}

TEST_F(VerticesTest, CopyWithTranslationSharesTheCoordinates) {
  Vertices *v = Vertices_new(3, "m", 2, 3, grid(3));
  double box[6];
  Vertices_getBoundingBox(v, "m", box);
  zyrAffineTransform3D *shift = zyrAffineTransform3D_new();
  const double d[3] = {100.0, 0.0, 0.0};
  zyrAffineTransform3D_translate(shift, d, "mm");
  Vertices *copy = Vertices_copy(v, shift);
  EXPECT_EQ(copy->m_xyz, v->m_xyz);
  EXPECT_EQ(zyrBlob_getUseCount(v->m_xyz), 2);
  EXPECT_EQ(coordinates(v, "m")[0], 0.1);
  EXPECT_DOUBLE_EQ(coordinates(copy, "m")[0], 0.2);
  Vertices_getBoundingBox(copy, "m", box);
  EXPECT_DOUBLE_EQ(box[0], 0.2);
  EXPECT_DOUBLE_EQ(box[3], 2.2);
  double c[3];
  int32_t nearest = -1;
  EXPECT_EQ(Vertices_getCentroid(copy, "mm", 0, c, &nearest), 1);
  EXPECT_DOUBLE_EQ(c[0], 1200.0);
  EXPECT_DOUBLE_EQ(c[1], 2100.0);
  EXPECT_EQ(nearest, 1);
  Vertices_delete(copy);
  EXPECT_EQ(zyrBlob_getUseCount(v->m_xyz), 1);
  zyrAffineTransform3D_delete(shift);
  Vertices_delete(v);
}

TEST_F(VerticesTest, UnitsConvertOnTheWayOut) {
  Vertices *v = Vertices_new(3, "m", 2, 2, grid(2));
  EXPECT_EQ(coordinates(v, "mm"), (std::vector<double>{100.0, 100.0, 100.0, 1100.0, 2100.0, -900.0}));
  EXPECT_EQ(static_cast<double *>(zyrBlob_getData(v->m_xyz))[3], 1.1);
  void *out = nullptr;
  EXPECT_EQ(Vertices_getCoordinates(v, "furlongs", VERTICES_DOUBLE, 0, nullptr, &out), -1);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(Vertices_setUnits(v, "furlongs"), 0);
  EXPECT_EQ(Vertices_setUnits(v, "mm"), 1);
  char *units = Vertices_getUnits(v);
  EXPECT_STREQ(units, "mm");
  zyrCString_free(units);
  EXPECT_EQ(coordinates(v, "mm")[3], 1.1);
  Vertices_delete(v);
}

TEST_F(VerticesTest, ReflectionInvertsAndEmptyBoxIsInsideOut) {
  Vertices *v = Vertices_new(3, "m", 2, 0, nullptr);
  EXPECT_EQ(Vertices_isInverted(v), 0);
  double box[6];
  EXPECT_EQ(Vertices_getBoundingBox(v, "mm", box), 1);
  EXPECT_EQ(box[0], DBL_MAX);
  EXPECT_EQ(box[5], -DBL_MAX);
  zyrAffineTransform3D *mirror = zyrAffineTransform3D_new();
  const double normal[3] = {0.0, 0.0, 1.0};
  zyrAffineTransform3D_simpleReflect(mirror, normal);
  EXPECT_EQ(Vertices_transform(v, mirror), 1);
  EXPECT_EQ(Vertices_isInverted(v), 1);
  EXPECT_EQ(Vertices_transform(v, mirror), 1);
  EXPECT_EQ(Vertices_isInverted(v), 0);
  zyrAffineTransform3D_delete(mirror);
  Vertices_delete(v);
}

TEST_F(VerticesTest, StoredRoundTripAndUndoOfATransform) {
  Vertices *v = Vertices_new(3, "mm", VERTICES_SINGLE_REQUEST, 4, grid(4));
  int32_t *sources = zyrMemory_allocateArray<int32_t>(1, "test");
  sources[0] = 2;
  Vertices_split(v, 1, sources);
  const std::string key = keyOf(v);
  const std::vector<double> before = coordinates(v, "m");
  double box[6];
  Vertices_getBoundingBox(v, "mm", box);
  const int32_t s1 = Repository_commit(m_repository);

  zyrAffineTransform3D *shift = zyrAffineTransform3D_new();
  const double d[3] = {0.0, 0.0, 5.0};
  zyrAffineTransform3D_translate(shift, d, "mm");
  Vertices_transform(v, shift);
  zyrAffineTransform3D_delete(shift);
  Vertices_getBoundingBox(v, "mm", box);
  EXPECT_FLOAT_EQ(box[5], 5.1f);
  Repository_commit(m_repository);

  Repository_gotoState(m_repository, s1);
  ASSERT_EQ(find(key), v);
  EXPECT_EQ(Vertices_getTransform(v), nullptr);
  Vertices_getBoundingBox(v, "mm", box);
  EXPECT_FLOAT_EQ(box[5], 0.1f);

  reopen();
  v = find(key);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(Vertices_getPrecision(v), VERTICES_SINGLE);
  EXPECT_EQ(Vertices_getNoOfVertices(v), 5);
  EXPECT_EQ(coordinates(v, "m"), before);
  int32_t errors = -1;
  zyrErrorManager_getNoOfErrors(zyrErrorManager_get(), &errors);
  EXPECT_EQ(errors, 0);
}

TEST_F(VerticesTest, StoredCountBeyondTheCoordinatesIsCutBack) {
  Vertices *v = Vertices_new(3, "m", 2, 4, grid(4));
  zyrObject_setInt(v, "noOfVertices", 1000);
  const std::string key = keyOf(v);
  reopen();
  v = find(key);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(coordinates(v, nullptr).size(), 12u);
  const zyrError *error = zyrErrorManager_getLastError(zyrErrorManager_get());
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(zyrError_getCode(error), ZYR_I_INTERNAL_ERROR);
  EXPECT_EQ(std::string(zyrError_getMessage(error)), "The stored vertices " + key + " are inconsistent.\n");
}

TEST_F(VerticesTest, PrintListsTheRecord) {
  Vertices *v = Vertices_new(3, "m", VERTICES_SINGLE_REQUEST, 2, grid(2));
  char *text = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&text, &size);
  Vertices_print(v, stream);
  std::fclose(stream);
  const std::string rule(46, '=');
  EXPECT_EQ(std::string(text),
            "\n" + rule + "\nVertices: " + keyOf(v) + "\n" + rule + "\n\n" +
                "Number of vertices       = 2\n"
                "Dimensionality           = 3\n"
                "Units                    = m\n"
                "Precision                = 1 [single]\n"
                "Number of split vertices = 0\n"
                "Transformation           = (nil) \n"
                "Centroid                 = (6.000000e-01, 1.100000e+00, -4.000000e-01)\n"
                "Centroid                 = (1.000000e-01, 1.000000e-01, 1.000000e-01) (Snapped to vertex 0)\n"
                "Bounding box             = (1.000000e-01, 1.000000e-01, -9.000000e-01) -\n"
                "                           (1.100000e+00, 2.100000e+00, 1.000000e-01)\n");
  free(text);
  Vertices_delete(v);
}

} // namespace
