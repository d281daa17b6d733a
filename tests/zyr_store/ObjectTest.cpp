#include "ObjectTestSupport.h"

#include "Database.h"
#include "HashSet.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorManager.h"
#include "zyrMemory.h"
#include "zyrStateManager.h"
#include "zyrTestErrors.h"
#include "zyrTypeManager.h"
#include "zyrUUID.h"

#include <cstring>

namespace {

using objecttest::Entry;
using objecttest::keyOf;
using objecttest::listAll;
using objecttest::TestThing;
using objecttest::Thing_new;

class ObjectTest : public objecttest::RepositoryTest {
protected:
  ObjectTest() : RepositoryTest("objects") {}
  Database *database() { return zyrStateManager_getDatabase(Repository_getStateManager(m_repository)); }
  std::vector<Entry> entriesOf(const void *object) { return listAll(m_repository, keyOf(object).c_str()); }
};

TEST_F(ObjectTest, CreationAndDeletionAreStoredAtTheOpenState) {
  const int32_t committed = Repository_commit(m_repository);
  TestThing *thing = Thing_new();
  ASSERT_NE(thing, nullptr);
  EXPECT_EQ(Repository_getCurrentState(m_repository), -(committed + 1));
  EXPECT_EQ(zyrObject_getTypeId(thing), 2);
  EXPECT_EQ(zyrObject_getTypeIndex(thing), 2);
  EXPECT_STREQ(zyrObject_getTypeName(thing), "Assembly");
  EXPECT_EQ(zyrObject_getSize(thing), static_cast<int64_t>(sizeof(TestThing)));
  EXPECT_EQ(entriesOf(thing), (std::vector<Entry>{{keyOf(thing), "__TYPE__", committed + 1}}));
  int32_t id = -1;
  EXPECT_EQ(Database_getInt(database(), committed + 1, zyrObject_getUUID(thing), "__TYPE__", &id), 1);
  EXPECT_EQ(id, 2);
  Repository_commit(m_repository);

  const std::string key = keyOf(thing);
  zyrUUID *uuid = zyrUUID_newFromBase64(key.c_str());
  EXPECT_EQ(zyrObject_delete(thing), 1);
  int32_t deleted = -1;
  EXPECT_EQ(Database_getInt(database(), committed + 2, uuid, "__DELETED__", &deleted), 1);
  EXPECT_EQ(deleted, 0);
  zyrUUID_delete(uuid);
  EXPECT_EQ(zyrStateManager_pointerFromUUIDString(Repository_getStateManager(m_repository), key.c_str()), nullptr);
  EXPECT_EQ(takeErrors(), std::vector<std::string>{"20006: Unable to determine in memory version of object " + key +
                                                   ".\n"});
}

TEST_F(ObjectTest, UnknownTypeNameGivesNullButOpensAState) {
  Repository_commit(m_repository);
  EXPECT_EQ(zyrObject_new("Widget"), nullptr);
  EXPECT_LT(Repository_getCurrentState(m_repository), 0);
  EXPECT_TRUE(takeErrors().empty());
}

TEST_F(ObjectTest, ReferencesToNothingAndToUnloadedObjects) {
  TestThing *a = Thing_new();
  TestThing *b = Thing_new();
  objecttest::Thing_setOther(a, b);
  objecttest::Thing_setOther(b, nullptr);
  void *target = a;
  EXPECT_EQ(zyrObject_getPointer(b, 0, "other", &target), 1);
  EXPECT_EQ(target, nullptr);
  EXPECT_EQ(zyrObject_getPointer(a, 0, "other", &target), 1);
  EXPECT_EQ(target, b);
  EXPECT_TRUE(takeErrors().empty());

  const std::string key = keyOf(b);
  zyrObject_delete(b);
  target = a;
  EXPECT_EQ(zyrObject_getPointer(a, 0, "other", &target), 1);
  EXPECT_EQ(target, nullptr);
  EXPECT_EQ(takeErrors(), std::vector<std::string>{"20006: Unable to determine in memory version of object " + key +
                                                   ".\n"});
  // No version at all: the read fails and the output is null.
  target = a;
  EXPECT_EQ(zyrObject_getPointer(a, 0, "missing", &target), 0);
  EXPECT_EQ(target, nullptr);
}

TEST_F(ObjectTest, PointerArrayIntoABufferOfTheWrongSize) {
  TestThing *a = Thing_new();
  TestThing *b = Thing_new();
  TestThing *c = Thing_new();
  void *targets[2] = {b, c};
  EXPECT_EQ(zyrObject_setPointers(a, "list", targets, 2), 1);
  void *buffer[3] = {a, a, a};
  EXPECT_EQ(zyrObject_getPointerArray(a, 0, "list", buffer, 3), 0);
  EXPECT_EQ(buffer[0], a);
  EXPECT_EQ(buffer[1], a);
  EXPECT_EQ(zyrObject_getPointerArray(a, 0, "list", buffer, 1), 0);
  EXPECT_EQ(buffer[0], a);
  EXPECT_EQ(zyrObject_getPointerArray(a, 0, "list", buffer, 2), 1);
  EXPECT_EQ(buffer[0], b);
  EXPECT_EQ(buffer[1], c);
  EXPECT_EQ(buffer[2], a);

  void **read = nullptr;
  int32_t count = 0;
  EXPECT_EQ(zyrObject_getPointers(a, 0, "list", &read, &count), 1);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(read[1], c);
  // An empty array stores nothing to resolve and reads back as none.
  zyrObject_setPointers(a, "list", nullptr, 0);
  zyrObject_getPointers(a, 0, "list", &read, &count);
  EXPECT_EQ(read, nullptr);
  EXPECT_EQ(count, 0);
}

TEST_F(ObjectTest, TransformIsThreeAttributes) {
  TestThing *a = Thing_new();
  zyrAffineTransform3D *transform = zyrAffineTransform3D_new();
  const double displacement[3] = {1.5, -2.0, 3.25};
  zyrAffineTransform3D_translate(transform, displacement, "mm");
  EXPECT_EQ(zyrObject_setAffineTransform3D(a, "frame", transform), 1);
  EXPECT_EQ(zyrObject_setAffineTransform3D(a, "none", nullptr), 1);
  std::vector<std::string> names;
  for (const Entry &entry : entriesOf(a))
    names.push_back(entry.name);
  EXPECT_EQ(names, (std::vector<std::string>{"__TYPE__", "frame - A", "frame - units", "frame - v"}));

  zyrAffineTransform3D *read = zyrAffineTransform3D_new();
  EXPECT_EQ(zyrObject_getAffineTransform3D(a, 0, "frame", &read), 1);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(std::memcmp(read->m_A, transform->m_A, sizeof read->m_A), 0);
  EXPECT_EQ(std::memcmp(read->m_v, transform->m_v, sizeof read->m_v), 0);
  EXPECT_STREQ(read->m_units, transform->m_units);
  // Nothing stored: the output is deleted and stays null; the result is 1 all the same.
  EXPECT_EQ(zyrObject_getAffineTransform3D(a, 0, "none", &read), 1);
  EXPECT_EQ(read, nullptr);
  zyrAffineTransform3D_delete(transform);
}

TEST_F(ObjectTest, KeysAndPrinting) {
  char buffer[23];
  EXPECT_EQ(zyrObject_getUUIDString(nullptr, buffer), 0);
  EXPECT_STREQ(buffer, "<UNKNOWN>");
  TestThing *a = Thing_new();
  EXPECT_EQ(zyrObject_getUUIDString(a, buffer), 1);
  EXPECT_EQ(std::strlen(buffer), 22u);

  char *text = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&text, &size);
  zyrObject_print(a, stream);
  std::fclose(stream);
  char expected[128];
  std::snprintf(expected, sizeof expected, "%s [%p] type = 2\n", buffer, static_cast<void *>(a));
  EXPECT_STREQ(text, expected);
  std::free(text);
}

TEST_F(ObjectTest, RestoreFlagOneOutsideAChangeOfStateLeavesFields) {
  TestThing *a = Thing_new();
  objecttest::Thing_setCount(a, 5);
  int32_t value = 77;
  EXPECT_EQ(zyrObject_checkAttribute(a, 1, "count"), 0);
  EXPECT_EQ(zyrObject_checkAttribute(a, 0, "count"), 1);
  EXPECT_EQ(zyrObject_getInt(a, 1, "count", &value), 1);
  EXPECT_EQ(value, 77);
  EXPECT_EQ(zyrObject_getInt(a, 0, "count", &value), 1);
  EXPECT_EQ(value, 5);
  // A scalar without a version: 0, output untouched.
  value = 9;
  EXPECT_EQ(zyrObject_getInt(a, 0, "missing", &value), 0);
  EXPECT_EQ(value, 9);
}

TEST_F(ObjectTest, EveryKindRoundTrips) {
  TestThing *a = Thing_new();
  const int32_t ints[3] = {1, -2, 3};
  const float floats[2] = {0.5f, -1.25f};
  const double doubles[2] = {1e300, -3.5};
  const char chars[4] = {'a', '\0', 'b', 'c'};
  const char *strings[3] = {"one", "", "three"};
  EXPECT_EQ(zyrObject_setInts(a, "ints", ints, 3), 1);
  EXPECT_EQ(zyrObject_setFloats(a, "floats", floats, 2), 1);
  EXPECT_EQ(zyrObject_setDoubles(a, "doubles", doubles, 2), 1);
  EXPECT_EQ(zyrObject_setChars(a, "chars", chars, 4), 1);
  EXPECT_EQ(zyrObject_setStrings(a, "strings", const_cast<char *const *>(strings), 3), 1);
  EXPECT_EQ(zyrObject_setFloat(a, "float", 2.5f), 1);
  EXPECT_EQ(zyrObject_setDouble(a, "double", -0.125), 1);
  EXPECT_EQ(zyrObject_setChar(a, "char", 'q'), 1);

  int32_t *readInts = zyrMemory_allocateArray<int32_t>(7, "test"); // released by the getter
  int32_t count = 7;
  EXPECT_EQ(zyrObject_getInts(a, 0, "ints", &readInts, &count), 1);
  ASSERT_EQ(count, 3);
  EXPECT_EQ(readInts[1], -2);
  zyrMemory_free(readInts, "test");
  float readFloats[2] = {0, 0};
  EXPECT_EQ(zyrObject_getFloatArray(a, 0, "floats", readFloats, 2), 1);
  EXPECT_EQ(readFloats[1], -1.25f);
  double *readDoubles = nullptr;
  EXPECT_EQ(zyrObject_getDoubles(a, 0, "doubles", &readDoubles, &count), 1);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(readDoubles[0], 1e300);
  zyrMemory_free(readDoubles, "test");
  char *readChars = nullptr;
  EXPECT_EQ(zyrObject_getChars(a, 0, "chars", &readChars, &count), 1);
  ASSERT_EQ(count, 4);
  EXPECT_EQ(std::memcmp(readChars, chars, 4), 0);
  zyrMemory_free(readChars, "test");
  char **readStrings = nullptr;
  count = 0;
  EXPECT_EQ(zyrObject_getStrings(a, 0, "strings", &readStrings, &count), 1);
  ASSERT_EQ(count, 3);
  EXPECT_STREQ(readStrings[2], "three");
  // The getter frees the array it is given, of the count given.
  EXPECT_EQ(zyrObject_getStrings(a, 0, "strings", &readStrings, &count), 1);
  zyrCStringArray_free(readStrings, static_cast<uint64_t>(count));
  float f = 0;
  double d = 0;
  char c = 0;
  EXPECT_EQ(zyrObject_getFloat(a, 0, "float", &f), 1);
  EXPECT_EQ(zyrObject_getDouble(a, 0, "double", &d), 1);
  EXPECT_EQ(zyrObject_getChar(a, 0, "char", &c), 1);
  EXPECT_EQ(f, 2.5f);
  EXPECT_EQ(d, -0.125);
  EXPECT_EQ(c, 'q');
  char *label = zyrCString_clone("old");
  EXPECT_EQ(zyrObject_getString(a, 0, "nothing", &label), 0);
  EXPECT_EQ(label, nullptr);

  int32_t counts[6] = {-1, -1, -1, -1, -1, -1};
  EXPECT_EQ(zyrObject_describeData(a, "doubles", &counts[0], &counts[1], &counts[2], &counts[3], &counts[4],
                                   &counts[5]),
            1);
  EXPECT_EQ(std::vector<int32_t>(counts, counts + 6), (std::vector<int32_t>{0, 0, 2, 0, 0, 0}));
}

TEST_F(ObjectTest, FixedArraysReadBackAfterReopen) {
  TestThing *a = Thing_new();
  const int32_t ints[3] = {7, -8, 9};
  const double doubles[2] = {0.1, -2e-300};
  const char chars[3] = {'x', '\0', 'y'};
  const char *strings[2] = {"first", ""};
  ASSERT_EQ(zyrObject_setInts(a, "ints", ints, 3), 1);
  ASSERT_EQ(zyrObject_setDoubles(a, "doubles", doubles, 2), 1);
  ASSERT_EQ(zyrObject_setChars(a, "chars", chars, 3), 1);
  ASSERT_EQ(zyrObject_setStrings(a, "strings", const_cast<char *const *>(strings), 2), 1);
  Repository_commit(m_repository);
  const std::string key = keyOf(a);
  Repository_close(m_repository, 0);
  m_repository = Repository_new(file(m_name).c_str());
  ASSERT_NE(m_repository, nullptr);
  void *b = zyrStateManager_pointerFromUUIDString(Repository_getStateManager(m_repository), key.c_str());
  ASSERT_NE(b, nullptr);

  int32_t readInts[4] = {0, 0, 0, 42};
  ASSERT_EQ(zyrObject_getIntArray(b, 0, "ints", readInts, 4), 1);
  EXPECT_EQ(std::vector<int32_t>(readInts, readInts + 4), (std::vector<int32_t>{7, -8, 9, 42}));
  double readDoubles[2] = {0, 0};
  ASSERT_EQ(zyrObject_getDoubleArray(b, 0, "doubles", readDoubles, 2), 1);
  EXPECT_EQ(readDoubles[0], 0.1);
  EXPECT_EQ(readDoubles[1], -2e-300);
  char readChars[3] = {0, 1, 0};
  ASSERT_EQ(zyrObject_getCharArray(b, 0, "chars", readChars, 3), 1);
  EXPECT_EQ(std::memcmp(readChars, chars, 3), 0);
  char *readStrings[2] = {nullptr, nullptr};
  ASSERT_EQ(zyrObject_getStringArray(b, 0, "strings", readStrings, 2), 1);
  EXPECT_STREQ(readStrings[0], "first");
  EXPECT_STREQ(readStrings[1], "");
  for (char *text : readStrings)
    zyrCString_free(text);
  // An attribute never written is no success, and a skipped read (flag 1, unchanged) is one.
  EXPECT_EQ(zyrObject_getDoubleArray(b, 0, "missing", readDoubles, 2), 0);
  EXPECT_EQ(zyrObject_getDoubleArray(b, 1, "doubles", readDoubles, 2), 1);
}

TEST(StateManagerWithoutDatabase, ReadsEmptyTheirResultsAndNameTheCaller) {
  zyrtest::ErrorCapture errors;
  zyrStateManager *manager = zyrStateManager_new();
  ASSERT_NE(manager, nullptr);
  TestThing thing = {};
  int32_t *values = reinterpret_cast<int32_t *>(&thing); // any pointer: it must be overwritten
  int32_t count = 5;
  EXPECT_EQ(zyrStateManager_getInts(manager, &thing, "x", &values, &count), 0);
  EXPECT_EQ(values, nullptr);
  EXPECT_EQ(count, 0);
  char *text = reinterpret_cast<char *>(&thing);
  EXPECT_EQ(zyrStateManager_getString(manager, &thing, "x", &text), 0);
  EXPECT_EQ(text, nullptr);
  int32_t value = 3;
  EXPECT_EQ(zyrStateManager_getInt(manager, &thing, "x", &value), 0);
  EXPECT_EQ(value, 3); // a scalar is left as it was
  EXPECT_EQ(zyrStateManager_setDouble(manager, &thing, "x", 1.0), 0);
  std::vector<std::string> functions;
  int32_t n = 0;
  zyrError **held = nullptr;
  zyrErrorManager_getErrors(zyrErrorManager_get(), &n, &held);
  for (int32_t i = 0; i < n; ++i)
    functions.push_back(zyrError_getFunction(held[i]));
  zyrMemory_free(held, "test");
  EXPECT_EQ(functions, (std::vector<std::string>{"zyrStateManager_getInts", "zyrStateManager_getString",
                                                 "zyrStateManager_getInt", "zyrStateManager_setDouble"}));
  EXPECT_EQ(errors.take(), std::vector<std::string>(4, "20006: No database is open.\n"));
  zyrStateManager_delete(manager);
}

TEST_F(ObjectTest, SetsOfObjectsDropDuplicates) {
  TestThing *a = Thing_new();
  TestThing *b = Thing_new();
  TestThing *c = Thing_new();
  Set *set = Set_new(4);
  Set_add(set, b);
  Set_add(set, c);
  EXPECT_EQ(zyrObject_setSet(a, "members", set), 1);
  Set *read = Set_new(1);
  Set_add(read, a);
  EXPECT_EQ(zyrObject_getSet(a, 0, "members", &read), 1);
  EXPECT_EQ(Set_getNoOfMembers(read), 2);
  EXPECT_TRUE(Set_contains(read, b));
  EXPECT_TRUE(Set_contains(read, c));
  void *twice[3] = {b, b, c};
  zyrObject_setPointers(a, "hash", twice, 3);
  HashSet *hash = nullptr;
  EXPECT_EQ(zyrObject_getHashSet(a, 0, "hash", &hash), 1);
  EXPECT_EQ(HashSet_getNoOfMembers(hash), 2);
  HashSet_delete(hash);
  hash = nullptr;
  EXPECT_EQ(zyrObject_getHashSet(a, 0, "absent", &hash), 1);
  ASSERT_NE(hash, nullptr);
  EXPECT_EQ(HashSet_getNoOfMembers(hash), 0);
  HashSet_delete(hash);
  // A hash set stored and read back through a reopen holds the same members.
  HashSet *members = HashSet_new(4);
  HashSet_add(members, b);
  HashSet_add(members, c);
  EXPECT_EQ(zyrObject_setHashSet(a, "hashed", members), 1);
  HashSet_delete(members);
  Set_delete(set);
  Set_delete(read);
  const std::string keys[3] = {keyOf(a), keyOf(b), keyOf(c)};
  Repository_commit(m_repository);
  Repository_close(m_repository, 0);
  m_repository = Repository_new(file(m_name).c_str());
  ASSERT_NE(m_repository, nullptr);
  zyrStateManager *manager = Repository_getStateManager(m_repository);
  void *again[3];
  for (int i = 0; i < 3; ++i) {
    again[i] = zyrStateManager_pointerFromUUIDString(manager, keys[i].c_str());
    ASSERT_NE(again[i], nullptr);
  }
  hash = nullptr;
  ASSERT_EQ(zyrObject_getHashSet(again[0], 0, "hashed", &hash), 1);
  EXPECT_EQ(HashSet_getNoOfMembers(hash), 2);
  EXPECT_TRUE(HashSet_contains(hash, again[1]));
  EXPECT_TRUE(HashSet_contains(hash, again[2]));
  EXPECT_FALSE(HashSet_contains(hash, again[0]));
  HashSet_delete(hash);
}

} // namespace
