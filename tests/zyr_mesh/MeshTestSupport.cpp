#include "MeshTestSupport.h"

#include "ElementMesh.h"
#include "ElementSet.h"
#include "FaceSet.h"
#include "Units.h"
#include "Vertices.h"
#include "zyrError.h"
#include "zyrErrorManager.h"
#include "zyrMemory.h"
#include "zyrMeshLayer.h"
#include "zyrStateManager.h"
#include "zyrTestErrors.h"
#include "zyrTopologyLayer.h"
#include "zyrUUID.h"

#include <stdlib.h>

void MeshTest::SetUp() {
  zyrTopologyLayer_initialise();
  zyrMeshLayer_initialise();
  setenv("ZYR_USE_LOCAL_UNITS", "1", 0);
  ASSERT_EQ(Units_areAvailable(), 1);
  m_dir = std::make_unique<zyrtest::ScratchDir>("zyrmesh");
  m_repository = Repository_new(m_dir->file("db").c_str());
  ASSERT_NE(m_repository, nullptr);
  zyrtest::ErrorCapture::clear();
}

void MeshTest::TearDown() {
  if (m_repository != nullptr)
    Repository_close(m_repository, -1);
  zyrtest::ErrorCapture::clear();
  m_dir.reset();
}

void MeshTest::reopen() {
  Repository_commit(m_repository);
  Repository_close(m_repository, -1);
  m_repository = Repository_new(m_dir->file("db").c_str());
  ASSERT_NE(m_repository, nullptr);
}

void *MeshTest::find(const std::string &key) {
  return zyrStateManager_pointerFromUUIDString(Repository_getStateManager(m_repository), key.c_str());
}

std::string MeshTest::keyOf(const void *object) {
  char key[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(object, key);
  return key;
}

std::pair<int32_t, std::string> MeshTest::lastError() {
  const zyrError *error = zyrtest::ErrorCapture::last();
  std::pair<int32_t, std::string> result(0, "");
  if (error != nullptr)
    result = {zyrError_getCode(error), zyrError_getMessage(error)};
  zyrtest::ErrorCapture::clear();
  return result;
}

int32_t MeshTest::errorCount() { return zyrtest::ErrorCapture::count(); }

std::vector<double> Block::coordinates() const {
  std::vector<double> xyz;
  for (int32_t k = 0; k <= m_nz; ++k)
    for (int32_t j = 0; j <= m_ny; ++j)
      for (int32_t i = 0; i <= m_nx; ++i) {
        xyz.push_back(m_origin[0] + i * m_h);
        xyz.push_back(m_origin[1] + j * m_h);
        xyz.push_back(m_origin[2] + k * m_h);
      }
  return xyz;
}

std::vector<int32_t> Block::hexahedra() const {
  std::vector<int32_t> list;
  for (int32_t k = 0; k < m_nz; ++k)
    for (int32_t j = 0; j < m_ny; ++j)
      for (int32_t i = 0; i < m_nx; ++i)
        for (int32_t dk = 0; dk < 2; ++dk) {
          list.push_back(vertex(i, j, k + dk));
          list.push_back(vertex(i + 1, j, k + dk));
          list.push_back(vertex(i + 1, j + 1, k + dk));
          list.push_back(vertex(i, j + 1, k + dk));
        }
  return list;
}

std::vector<int32_t> Block::prisms() const {
  const std::vector<int32_t> hex = hexahedra();
  std::vector<int32_t> list;
  for (size_t c = 0; c < hex.size() / 8; ++c) {
    const int32_t *h = &hex[8 * c];
    for (int32_t p : {0, 1, 2, 4, 5, 6, 0, 2, 3, 4, 6, 7})
      list.push_back(h[p]);
  }
  return list;
}

std::vector<int32_t> Block::tetrahedra() const {
  const std::vector<int32_t> hex = hexahedra();
  std::vector<int32_t> list;
  for (size_t c = 0; c < hex.size() / 8; ++c) {
    const int32_t *h = &hex[8 * c];
    for (int32_t p : {0, 1, 2, 6, 0, 2, 3, 6, 0, 3, 7, 6, 0, 7, 4, 6, 0, 4, 5, 6, 0, 5, 1, 6})
      list.push_back(h[p]);
  }
  return list;
}

std::vector<int32_t> Block::pyramids(std::vector<double> &xyz) const {
  // The hexahedron's faces walk outwards; a pyramid's base face walks (0 3 2 1) away from its apex.
  static const int32_t faces[6][4] = {{0, 3, 2, 1}, {0, 1, 5, 4}, {1, 2, 6, 5},
                                      {2, 3, 7, 6}, {0, 4, 7, 3}, {4, 5, 6, 7}};
  const std::vector<int32_t> hex = hexahedra();
  std::vector<int32_t> list;
  const int32_t first = static_cast<int32_t>(xyz.size() / 3);
  for (size_t c = 0; c < hex.size() / 8; ++c) {
    const int32_t *h = &hex[8 * c];
    double centre[3] = {0, 0, 0};
    for (int k = 0; k < 8; ++k)
      for (int a = 0; a < 3; ++a)
        centre[a] += xyz[3 * static_cast<size_t>(h[k]) + a] / 8;
    xyz.insert(xyz.end(), centre, centre + 3);
    for (const auto &f : faces)
      list.insert(list.end(), {h[f[0]], h[f[3]], h[f[2]], h[f[1]], first + static_cast<int32_t>(c)});
  }
  return list;
}

int32_t *trackedInts(const std::vector<int32_t> &values) {
  int32_t *array = zyrMemory_allocateArray<int32_t>(values.empty() ? 1 : static_cast<int64_t>(values.size()), "test");
  std::copy(values.begin(), values.end(), array);
  return array;
}

double *trackedDoubles(const std::vector<double> &values) {
  double *array = zyrMemory_allocateArray<double>(values.empty() ? 1 : static_cast<int64_t>(values.size()), "test");
  std::copy(values.begin(), values.end(), array);
  return array;
}

ElementMesh *hexMesh(const Block &block, ElementSet **set) {
  ElementMesh *mesh = ElementMesh_new(nullptr);
  ElementMesh_setVertices(mesh, Vertices_new(3, "m", 2, block.noOfVertices(), trackedDoubles(block.coordinates())));
  const std::vector<int32_t> hex = block.hexahedra();
  ElementSet *s = ElementSet_new(7, 0, static_cast<int32_t>(hex.size()), trackedInts(hex));
  ElementMesh_addElementSet(mesh, s);
  if (set != nullptr)
    *set = s;
  return mesh;
}

FaceSet *hexFaces(ElementSet *set, int32_t face, const std::vector<int32_t> &cells) {
  return FaceSet_new(set, 0, static_cast<int32_t>(cells.size()), trackedInts(cells),
                     trackedInts(std::vector<int32_t>(cells.size(), face)));
}

std::vector<int32_t> bottomCells(const Block &block) {
  std::vector<int32_t> cells;
  for (int32_t j = 0; j < block.m_ny; ++j)
    for (int32_t i = 0; i < block.m_nx; ++i)
      cells.push_back(block.cell(i, j, 0));
  return cells;
}
