#include "ElementConversion.h"
#include "ElementMesh.h"
#include "ElementSet.h"
#include "ElementTopology.h"
#include "HashTable.h"
#include "IntegerMap.h"
#include "MeshTestSupport.h"
#include "Vertices.h"
#include "zyrAffineTransform3D.h"
#include "zyrBlob.h"
#include "zyrMemory.h"

#include <random>

namespace {

std::vector<int32_t> vertices(const ElementSet *set, int32_t convention, int mirror = 0) {
  int32_t *list = nullptr;
  int32_t nel = 0;
  int32_t v = 0;
  std::vector<int32_t> result;
  if (ElementSet_getElementVertices(set, convention, nullptr, mirror, &list, &nel, &v) == 1)
    result.assign(list, list + static_cast<int64_t>(nel) * v);
  zyrMemory_free(list, "test");
  return result;
}

// The whole-array conversions give what the element tables give element by element, for every
// type, convention, mirroring and direction, including the refusals.
TEST(ElementConversionTest, AgreesWithTheElementTables) {
  std::mt19937 random(7);
  for (int32_t type = 0; type < 8; ++type)
    for (int32_t convention = 0; convention < 8; ++convention)
      for (int mirrored = 0; mirrored < 2; ++mirrored)
        for (int32_t direction = 0; direction < 2; ++direction) {
          const int32_t v = ElementTopology_getNoOfVertices(type);
          std::vector<int32_t> in(static_cast<size_t>(5 * v));
          for (int32_t &x : in)
            x = static_cast<int32_t>(random() % 1000);
          std::vector<int32_t> expected = in;
          const int status =
              ElementTopology_reorder(type, convention, mirrored, ELEMENT_TOPOLOGY_VERTICES, direction, 5, expected.data());
          std::vector<int32_t> out(in.size(), -7);
          EXPECT_EQ(ElementConversion_reorderVertices(type, convention, mirrored, direction, 5, in.data(), out.data()),
                    status);
          if (status == 1)
            EXPECT_EQ(out, expected) << type << " " << convention;
          std::vector<int32_t> inPlace = in;
          ElementConversion_reorderVertices(type, convention, mirrored, direction, 5, inPlace.data(), inPlace.data());
          EXPECT_EQ(inPlace, status == 1 ? expected : in);

          const int32_t nf = ElementTopology_getNoOfFaces(type);
          if (nf == 0)
            continue;
          for (int32_t label = -1; label <= nf + 1; ++label) {
            int32_t a = label;
            int32_t b = label;
            const int ok = ElementTopology_revalue(type, convention, mirrored, ELEMENT_TOPOLOGY_FACES, direction, 1, &a);
            const int mine = ElementConversion_revalueFaces(type, convention, mirrored, direction, 1, &b);
            // The whole-array form also refuses numbers outside the table, where the tables
            // convert nothing, and labels that name no face.
            const bool inTable = label >= 0 && label <= (direction == 0 ? nf - 1 : nf);
            const bool face = a >= 0 && (direction == 0 || a < nf);
            if (mine == 1)
              EXPECT_EQ(b, a);
            EXPECT_EQ(mine, ok == 1 && inTable && face ? 1 : 0)
                << type << " " << convention << " " << label;
          }
        }
}

TEST_F(MeshTest, ConventionListsAreStoredNativeAndGivenBack) {
  // Two hexahedra written in the WEZ5 order (third/fourth and seventh/eighth swapped).
  const std::vector<int32_t> wez5 = {0, 1, 3, 2, 4, 5, 7, 6, 10, 11, 13, 12, 14, 15, 17, 16};
  ElementSet *set = ElementSet_new(7, zyrConvention_WEZ5, 16, trackedInts(wez5));
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(ElementSet_getNoOfElements(set), 2);
  EXPECT_EQ(vertices(set, 0), (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 10, 11, 12, 13, 14, 15, 16, 17}));
  EXPECT_EQ(vertices(set, zyrConvention_WEZ5), wez5);
  // CGNS shifts labels but keeps positions; numbers are never shifted.
  EXPECT_EQ(vertices(set, zyrConvention_CGNS), vertices(set, 0));
  EXPECT_TRUE(vertices(set, zyrConvention_POLDIX).empty());
  int32_t one[8];
  int32_t n = 0;
  ASSERT_EQ(ElementSet_getElement(set, 1, zyrConvention_WEZ5, nullptr, 0, &n, one), 1);
  EXPECT_EQ(std::vector<int32_t>(one, one + n), std::vector<int32_t>(wez5.begin() + 8, wez5.end()));
  EXPECT_EQ(ElementSet_getElement(set, 2, 0, nullptr, 0, &n, one), 0);

  // A convention that cannot express the type is refused, not stored as if native.
  EXPECT_EQ(ElementSet_new(7, zyrConvention_POLDIX, 8, trackedInts({0, 1, 2, 3, 4, 5, 6, 7})), nullptr);
  EXPECT_EQ(lastError(), std::make_pair(20006, std::string("There was a problem reordering the vertices of "
                                                           "ZYR_ELEMENT_HEXA_8\nelements to satisfy the "
                                                           "zyrConvention_POLDIX convention.\n")));
  // Lists that make no whole elements or name no vertex are refused.
  EXPECT_EQ(ElementSet_new(7, 0, 7, trackedInts({0, 1, 2, 3, 4, 5, 6})), nullptr);
  EXPECT_EQ(lastError().first, 10020);
  EXPECT_EQ(ElementSet_new(4, 0, 4, trackedInts({0, 1, -2, 3})), nullptr);
  EXPECT_EQ(lastError().first, 10020);
}

TEST_F(MeshTest, MeshesCountShareAndRenumber) {
  ElementMesh *mesh = ElementMesh_new(nullptr);
  std::vector<int32_t> tets;
  for (int32_t e = 0; e < 10; ++e)
    for (int32_t k = 0; k < 4; ++k)
      tets.push_back(5 + 4 * e + k);
  ElementSet *tetSet = ElementSet_new(4, 0, 40, trackedInts(tets));
  Block block{1, 1, 4, 1.0, {0, 0, 0}};
  ElementSet *hexSet = ElementSet_new(7, 0, 32, trackedInts(block.hexahedra()));
  EXPECT_EQ(ElementMesh_addElementSet(mesh, tetSet), 1);
  EXPECT_EQ(ElementMesh_addElementSet(mesh, tetSet), 0);
  EXPECT_EQ(ElementSet_getElementMesh(tetSet), mesh);
  ElementSet_setElementMesh(hexSet, mesh);
  int32_t byType[8] = {0};
  EXPECT_EQ(ElementMesh_getNoOfElementsByType(mesh, byType), 14);
  EXPECT_EQ(byType[4], 10);
  EXPECT_EQ(byType[7], 4);

  // A copy shares the connectivity until it is renumbered; the source stays as it was.
  HashTable *table = HashTable_new(8, HashTable_hashInteger, HashTable_compareIntegers);
  ElementMesh *copy = ElementMesh_copy(mesh, nullptr, nullptr, table);
  ElementSet *tetCopy = static_cast<ElementSet *>(HashTable_find(table, tetSet));
  ASSERT_NE(tetCopy, nullptr);
  EXPECT_EQ(tetCopy->m_kvxel, tetSet->m_kvxel);
  EXPECT_EQ(ElementMesh_getNoOfElements(copy), 14);
  IntegerMap *map = ElementMesh_calculateMap(copy);
  ASSERT_NE(map, nullptr);
  int32_t first = 0;
  int32_t last = 0;
  IntegerMap_getRange(map, &first, &last);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(last, 44);
  ElementMesh_renumberVertices(copy, map);
  IntegerMap_delete(map);
  EXPECT_NE(tetCopy->m_kvxel, tetSet->m_kvxel);
  EXPECT_EQ(vertices(tetSet, 0), tets);
  EXPECT_EQ(vertices(tetCopy, 0).front(), 5);

  // Moving a set to another mesh takes it out of the first, whichever side starts the move.
  ElementMesh *other = ElementMesh_new(nullptr);
  ElementSet_setElementMesh(tetSet, other);
  EXPECT_EQ(ElementMesh_getNoOfElementSets(mesh), 1);
  EXPECT_EQ(ElementMesh_getNoOfElements(mesh), 4);
  EXPECT_EQ(ElementMesh_getNoOfElements(other), 10);
  ElementMesh_addElementSet(mesh, tetSet);
  EXPECT_EQ(ElementMesh_getNoOfElementSets(other), 0);
  EXPECT_EQ(ElementSet_getElementMesh(tetSet), mesh);
  HashTable_delete(table);
}

TEST_F(MeshTest, MirroringFollowsAReflectedMesh) {
  Block block{1, 1, 1, 1.0, {0, 0, 0}};
  ElementSet *set = nullptr;
  ElementMesh *mesh = hexMesh(block, &set);
  const std::vector<int32_t> native = vertices(set, 0);
  EXPECT_EQ(vertices(set, 0, 1), native);
  zyrAffineTransform3D *mirror = zyrAffineTransform3D_new();
  const double normal[3] = {1.0, 0.0, 0.0};
  zyrAffineTransform3D_simpleReflect(mirror, normal);
  ElementMesh_transform(mesh, mirror);
  zyrAffineTransform3D_delete(mirror);
  EXPECT_EQ(ElementMesh_isInverted(mesh), 1);
  EXPECT_EQ(vertices(set, 0, 1), (std::vector<int32_t>{native[3], native[2], native[1], native[0], native[7],
                                                      native[6], native[5], native[4]}));
}

TEST_F(MeshTest, ElementMeshesSurviveCommitUndoRedoAndReopen) {
  Block block{2, 1, 1, 0.5, {0, 0, 0}};
  ElementSet *hexSet = nullptr;
  ElementMesh *mesh = hexMesh(block, &hexSet);
  const std::string meshKey = keyOf(mesh);
  const std::string setKey = keyOf(hexSet);
  const int32_t s1 = Repository_commit(m_repository);
  ElementSet *tetSet = ElementSet_new(4, zyrConvention_QO, 4, trackedInts({0, 1, 2, 4}));
  ElementMesh_addElementSet(mesh, tetSet);
  const std::string tetKey = keyOf(tetSet);
  const int32_t s2 = Repository_commit(m_repository);

  Repository_gotoState(m_repository, s1);
  mesh = static_cast<ElementMesh *>(find(meshKey));
  ASSERT_NE(mesh, nullptr);
  EXPECT_EQ(ElementMesh_getNoOfElementSets(mesh), 1);
  EXPECT_EQ(ElementMesh_getNoOfElements(mesh), 2);
  Repository_gotoState(m_repository, s2);
  mesh = static_cast<ElementMesh *>(find(meshKey));
  EXPECT_EQ(ElementMesh_getNoOfElements(mesh), 3);

  reopen();
  mesh = static_cast<ElementMesh *>(find(meshKey));
  ASSERT_NE(mesh, nullptr);
  EXPECT_EQ(ElementMesh_getNoOfVertices(mesh), 12);
  hexSet = static_cast<ElementSet *>(find(setKey));
  tetSet = static_cast<ElementSet *>(find(tetKey));
  ASSERT_NE(tetSet, nullptr);
  EXPECT_EQ(ElementSet_getElementMesh(hexSet), mesh);
  EXPECT_EQ(vertices(hexSet, 0), block.hexahedra());
  EXPECT_EQ(vertices(tetSet, zyrConvention_QO), (std::vector<int32_t>{0, 1, 2, 4}));
  EXPECT_EQ(errorCount(), 0);
}

// Renumbering a copy makes its connectivity its own; undoing it gives the copy the shared list back
// and the source never changes.
TEST_F(MeshTest, RenumberingUndoneAndRedone) {
  Block block{2, 1, 1, 1.0, {0, 0, 0}};
  ElementMesh *mesh = ElementMesh_new(nullptr);
  ElementMesh_setVertices(mesh, Vertices_new(3, "m", 2, block.noOfVertices(), trackedDoubles(block.coordinates())));
  ElementSet *moved = ElementSet_new(4, 0, 4, trackedInts({5, 9, 11, 7}));
  ElementMesh_addElementSet(mesh, moved);
  HashTable *table = HashTable_new(8, HashTable_hashInteger, HashTable_compareIntegers);
  ElementMesh *copy = ElementMesh_copy(mesh, nullptr, nullptr, table);
  ElementSet *copied = static_cast<ElementSet *>(HashTable_find(table, moved));
  HashTable_delete(table);
  const std::string sourceKey = keyOf(moved);
  const std::string copyKey = keyOf(copied);
  const int32_t s1 = Repository_commit(m_repository);
  IntegerMap *map = ElementMesh_calculateMap(copy);
  ElementMesh_renumberVertices(copy, map);
  IntegerMap_delete(map);
  const std::vector<int32_t> renumbered = vertices(copied, 0);
  EXPECT_EQ(renumbered, (std::vector<int32_t>{0, 2, 3, 1}));
  const int32_t s2 = Repository_commit(m_repository);

  Repository_gotoState(m_repository, s1);
  copied = static_cast<ElementSet *>(find(copyKey));
  moved = static_cast<ElementSet *>(find(sourceKey));
  ASSERT_NE(copied, nullptr);
  EXPECT_EQ(vertices(copied, 0), (std::vector<int32_t>{5, 9, 11, 7}));
  EXPECT_EQ(copied->m_kvxel, moved->m_kvxel);
  Repository_gotoState(m_repository, s2);
  copied = static_cast<ElementSet *>(find(copyKey));
  moved = static_cast<ElementSet *>(find(sourceKey));
  EXPECT_EQ(vertices(copied, 0), renumbered);
  EXPECT_EQ(vertices(moved, 0), (std::vector<int32_t>{5, 9, 11, 7}));
  reopen();
  EXPECT_EQ(vertices(static_cast<ElementSet *>(find(copyKey)), 0), renumbered);
  EXPECT_EQ(vertices(static_cast<ElementSet *>(find(sourceKey)), 0), (std::vector<int32_t>{5, 9, 11, 7}));
  EXPECT_EQ(errorCount(), 0);
}

TEST_F(MeshTest, StoredElementSetsThatDoNotFitAreReadAsEmpty) {
  Block block{1, 1, 1, 1.0, {0, 0, 0}};
  ElementSet *set = nullptr;
  ElementMesh *mesh = hexMesh(block, &set);
  ElementSet *bad = ElementSet_new(4, 0, 4, trackedInts({0, 1, 2, 99}));
  ElementMesh_addElementSet(mesh, bad);
  zyrObject_setInt(set, "nel", 1000);
  const std::string key = keyOf(set);
  const std::string badKey = keyOf(bad);
  reopen();
  set = static_cast<ElementSet *>(find(key));
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(ElementSet_getNoOfElements(set), 1);
  EXPECT_EQ(lastError(), std::make_pair(20006, "The stored element set " + key + " is inconsistent.\n"));
  // Vertex 99 is not a vertex of the mesh.
  EXPECT_EQ(ElementSet_getNoOfElements(static_cast<ElementSet *>(find(badKey))), 0);
  EXPECT_EQ(lastError().first, 20006);
}

} // namespace
