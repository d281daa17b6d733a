#include "ObjectTestSupport.h"

#include "zyrBlob.h"
#include "zyrMemory.h"
#include "zyrStateManager.h"

#include <cstring>

namespace {

using objecttest::keyOf;
using objecttest::listAll;

class BlobTest : public objecttest::RepositoryTest {
protected:
  BlobTest() : RepositoryTest("blobs") {}
  zyrBlob *live(const std::string &key) {
    zyrBlob *blob = static_cast<zyrBlob *>(
        zyrStateManager_getSingletonByTypeName(Repository_getStateManager(m_repository), "zyrBlob"));
    return blob != nullptr && keyOf(blob) == key ? blob : nullptr;
  }
  size_t versions(const void *object, const char *name) { return listAll(m_repository, keyOf(object).c_str(), name).size(); }
  static int32_t *ints(std::initializer_list<int32_t> values) {
    int32_t *block = zyrMemory_allocateArray<int32_t>(static_cast<int64_t>(values.size()), "test");
    std::copy(values.begin(), values.end(), block);
    return block;
  }
};

TEST_F(BlobTest, SharedTwiceNeedsThreeDeletes) {
  zyrBlob *blob = zyrBlob_new(ints({1, 2, 3, 4}), 16, ZYR_TYPE_INT);
  const std::string key = keyOf(blob);
  EXPECT_EQ(zyrBlob_sharedCopy(blob), blob);
  EXPECT_EQ(zyrBlob_copy(blob), blob);
  EXPECT_EQ(zyrBlob_getUseCount(blob), 3);
  EXPECT_EQ(zyrBlob_sharedCopy(nullptr), nullptr);
  zyrBlob_delete(blob);
  zyrBlob_delete(blob);
  EXPECT_EQ(zyrBlob_getUseCount(blob), 1);
  EXPECT_EQ(live(key), blob);
  zyrBlob_delete(blob);
  EXPECT_EQ(live(key), nullptr);
  EXPECT_EQ(listAll(m_repository, key.c_str(), "__DELETED__").size(), 1u);
}

TEST_F(BlobTest, UniqueCopies) {
  zyrBlob *blob = zyrBlob_new(ints({5, 6}), 8, ZYR_TYPE_INT);
  Repository_commit(m_repository);
  const size_t before = listAll(m_repository).size();
  EXPECT_EQ(zyrBlob_makeUnique(blob, 0), blob);
  EXPECT_EQ(listAll(m_repository).size(), before);
  EXPECT_EQ(Repository_getCurrentState(m_repository), Repository_commit(m_repository));

  zyrBlob_sharedCopy(blob);
  zyrBlob *unique = zyrBlob_getUnique(blob, 1);
  ASSERT_NE(unique, blob);
  EXPECT_EQ(zyrBlob_getUseCount(unique), 1);
  EXPECT_EQ(zyrBlob_getUseCount(blob), 2);
  EXPECT_NE(zyrBlob_getData(unique), zyrBlob_getData(blob));
  EXPECT_EQ(std::memcmp(zyrBlob_getData(unique), zyrBlob_getData(blob), 8), 0);
  EXPECT_EQ(versions(unique, "data"), 0u); // flag 1: not stored
  EXPECT_EQ(versions(unique, "useCount"), 1u);

  zyrBlob *empty = zyrBlob_new(nullptr, 0, ZYR_TYPE_DOUBLE);
  zyrBlob *emptyCopy = zyrBlob_uniqueCopy(empty, 0);
  EXPECT_EQ(zyrBlob_getData(emptyCopy), nullptr);
  EXPECT_EQ(zyrBlob_getSize(emptyCopy), 0);
  EXPECT_EQ(zyrBlob_getType(emptyCopy), ZYR_TYPE_DOUBLE);
}

TEST_F(BlobTest, SettingItsOwnBlockKeepsTheSize) {
  zyrBlob *blob = zyrBlob_new(ints({1, 2, 3}), 12, ZYR_TYPE_INT);
  Repository_commit(m_repository);
  int32_t *data = static_cast<int32_t *>(zyrBlob_getData(blob));
  data[0] = 10;
  EXPECT_EQ(zyrBlob_setData(blob, data, 4, ZYR_TYPE_FLOAT), 1);
  EXPECT_EQ(zyrBlob_getSize(blob), 12);
  EXPECT_EQ(zyrBlob_getType(blob), ZYR_TYPE_INT);
  EXPECT_EQ(versions(blob, "data"), 2u);
  int32_t *read = nullptr;
  int32_t count = 0;
  EXPECT_EQ(zyrObject_getInts(blob, 0, "data", &read, &count), 1);
  ASSERT_EQ(count, 3);
  EXPECT_EQ(read[0], 10);
  zyrMemory_free(read, "test");

  double *doubles = zyrMemory_allocateArray<double>(2, "test");
  doubles[0] = 0.5;
  doubles[1] = 1.5;
  EXPECT_EQ(zyrBlob_setData(blob, doubles, 16, ZYR_TYPE_DOUBLE), 1);
  EXPECT_EQ(zyrBlob_getSize(blob), 16);
  EXPECT_EQ(zyrBlob_getType(blob), ZYR_TYPE_DOUBLE);
}

TEST_F(BlobTest, UndoRestoresUseCountsAndData) {
  zyrBlob *blob = zyrBlob_new(ints({7, 8, 9}), 12, ZYR_TYPE_INT);
  const std::string key = keyOf(blob);
  const int32_t s1 = Repository_commit(m_repository);
  zyrBlob_sharedCopy(blob);
  const int32_t s2 = Repository_commit(m_repository);
  Repository_gotoState(m_repository, s1);
  EXPECT_EQ(zyrBlob_getUseCount(blob), 1);
  Repository_gotoState(m_repository, s2);
  EXPECT_EQ(zyrBlob_getUseCount(blob), 2);

  // Undoing its deletion brings it back whole, typed by what was stored.
  zyrBlob_delete(blob);
  zyrBlob_delete(blob);
  const int32_t s3 = Repository_commit(m_repository);
  EXPECT_EQ(live(key), nullptr);
  Repository_gotoState(m_repository, s2);
  zyrBlob *back = live(key);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(zyrBlob_getUseCount(back), 2);
  EXPECT_EQ(zyrBlob_getType(back), ZYR_TYPE_INT);
  ASSERT_EQ(zyrBlob_getSize(back), 12);
  EXPECT_EQ(static_cast<int32_t *>(zyrBlob_getData(back))[2], 9);
  Repository_gotoState(m_repository, s3);
  EXPECT_EQ(live(key), nullptr);
  EXPECT_TRUE(takeErrors().empty());
}

TEST_F(BlobTest, CharacterBlobsHoldingZeroBytesComeBackExactly) {
  const char bytes[] = {'a', '\0', 'b', '\0', '\0', 'c'};
  char *block = zyrMemory_allocateArray<char>(sizeof bytes, "test");
  std::memcpy(block, bytes, sizeof bytes);
  zyrBlob *blob = zyrBlob_new(block, sizeof bytes, ZYR_TYPE_CHAR);
  const std::string key = keyOf(blob);
  const int32_t s1 = Repository_commit(m_repository);
  zyrBlob_delete(blob);
  Repository_commit(m_repository);
  // Back through undo.
  Repository_gotoState(m_repository, s1);
  zyrBlob *back = live(key);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(zyrBlob_getType(back), ZYR_TYPE_CHAR);
  ASSERT_EQ(zyrBlob_getSize(back), static_cast<int64_t>(sizeof bytes));
  EXPECT_EQ(std::memcmp(zyrBlob_getData(back), bytes, sizeof bytes), 0);
  // And through a reopen.
  Repository_commit(m_repository);
  Repository_close(m_repository, -1);
  m_repository = Repository_new(file(m_name).c_str());
  ASSERT_NE(m_repository, nullptr);
  back = live(key);
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(zyrBlob_getSize(back), static_cast<int64_t>(sizeof bytes));
  EXPECT_EQ(std::memcmp(zyrBlob_getData(back), bytes, sizeof bytes), 0);
  EXPECT_TRUE(takeErrors().empty());
}

TEST_F(BlobTest, ReferenceBlobsAndListing) {
  zyrBlob *target = zyrBlob_new(nullptr, 0, ZYR_TYPE_CHAR);
  void **block = zyrMemory_allocateArray<void *>(2, "test");
  block[0] = target;
  block[1] = nullptr;
  zyrBlob *blob = zyrBlob_new(block, 16, ZYR_TYPE_POINTER);
  const std::string key = keyOf(blob);
  const std::string targetKey = keyOf(target);
  const int32_t s1 = Repository_commit(m_repository);
  Repository_gotoState(m_repository, s1 - 1);
  Repository_gotoState(m_repository, s1);
  zyrBlob *back = static_cast<zyrBlob *>(
      zyrStateManager_pointerFromUUIDString(Repository_getStateManager(m_repository), key.c_str()));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(zyrBlob_getType(back), ZYR_TYPE_POINTER);
  ASSERT_EQ(zyrBlob_getSize(back), 16);
  void **refs = static_cast<void **>(zyrBlob_getData(back));
  EXPECT_EQ(refs[0], zyrStateManager_pointerFromUUIDString(Repository_getStateManager(m_repository), targetKey.c_str()));
  EXPECT_EQ(keyOf(refs[0]), targetKey);
  EXPECT_EQ(refs[1], nullptr);

  char *text = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&text, &size);
  zyrBlob_print(back, stream);
  std::fclose(stream);
  const std::string rule = "==============================================";
  EXPECT_EQ(std::string(text), "\n" + rule + "\nzyrBlob: " + key + "\n" + rule +
                                   "\n\nm_size     = 16\nm_useCount = 1\nm_type     = ZYR_TYPE_POINTER\n" + rule +
                                   "\n\n");
  std::free(text);
}

} // namespace
