// The store's checks of restored records against what their type declares: the types a
// reference may lead to, parts held once per share, references a record cannot live without and
// values a type always writes. The test double "Assembly" (objecttest::TestThing) is declared
// here for each case and undeclared again after it.
#include "ObjectTestSupport.h"

#include "Database.h"
#include "zyrStateManager.h"
#include "zyrTypeManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using objecttest::keyOf;
using objecttest::TestThing;
using objecttest::Thing_new;
using objecttest::Thing_setOther;

class DeclaredAttributesTest : public objecttest::RepositoryTest {
protected:
  DeclaredAttributesTest() : RepositoryTest("declared") {}
  void TearDown() override {
    RepositoryTest::TearDown();
    zyrTypeManager_setAttributes("Assembly", nullptr);
  }
  // Closes the file and opens it again with the double declared by the rules; the errors the
  // opening published.
  std::vector<std::string> reopen(const zyrAttributeRule *rules) {
    Repository_close(m_repository, -1);
    takeErrors();
    zyrTypeManager_setAttributes("Assembly", rules);
    m_repository = Repository_new(file(m_name).c_str());
    return takeErrors();
  }
  TestThing *find(const std::string &key) {
    return static_cast<TestThing *>(
        zyrStateManager_pointerFromUUIDString(Repository_getStateManager(m_repository), key.c_str()));
  }
};

TEST_F(DeclaredAttributesTest, ATargetOfATypeTheDeclarationDoesNotAllowIsLeftOut) {
  TestThing *a = Thing_new();
  TestThing *b = Thing_new();
  Thing_setOther(a, m_repository);
  Thing_setOther(b, a);
  const std::string keyA = keyOf(a), keyB = keyOf(b);
  static const zyrAttributeRule rules[] = {{"other", "Assembly|Model", 0, nullptr}, {nullptr, nullptr, 0, nullptr}};
  EXPECT_EQ(reopen(rules), std::vector<std::string>{"20006: The stored record " + keyA +
                                                    " (Assembly) refers under \"other\" to 1 object(s) that are not of "
                                                    "type Assembly|Model;\nthey have been left out.\n"});
  EXPECT_EQ(find(keyA)->m_other, nullptr);
  EXPECT_EQ(find(keyB)->m_other, find(keyA));
}

TEST_F(DeclaredAttributesTest, APartHeldByTwoRecordsIsLeftOutOfTheSecond) {
  TestThing *a = Thing_new();
  TestThing *b = Thing_new();
  TestThing *part = Thing_new();
  Thing_setOther(a, part);
  Thing_setOther(b, part);
  Thing_setOther(part, nullptr);
  const std::string keyA = keyOf(a), keyB = keyOf(b), keyPart = keyOf(part);
  static const zyrAttributeRule rules[] = {{"other", "Assembly", ZYR_ATTRIBUTE_OWNED, nullptr}, {nullptr, nullptr, 0, nullptr}};
  const std::vector<std::string> errors = reopen(rules);
  // Whichever of the two is restored second loses it.
  const bool aKept = find(keyA)->m_other != nullptr;
  EXPECT_NE(aKept, find(keyB)->m_other != nullptr);
  EXPECT_EQ(errors, std::vector<std::string>{"20006: The stored record " + (aKept ? keyB : keyA) +
                                             " (Assembly) refers under \"other\" to the object " + keyPart +
                                             " (Assembly), which already belongs to 1 other record(s);\nit has been "
                                             "left out.\n"});
}

TEST_F(DeclaredAttributesTest, ARecordThatLostAVitalReferenceRefusesTheOpen) {
  TestThing *a = Thing_new();
  Thing_setOther(a, nullptr);
  const std::string keyA = keyOf(a);
  static const zyrAttributeRule rules[] = {{"other", "Assembly", ZYR_ATTRIBUTE_VITAL, nullptr}, {nullptr, nullptr, 0, nullptr}};
  const std::vector<std::string> errors = reopen(rules);
  EXPECT_EQ(m_repository, nullptr);
  EXPECT_NE(std::find(errors.begin(), errors.end(),
                      "10003: The ZYR database\n\n" + file("declared.zyr") + "\n\nis damaged: its stored record " +
                          keyA + " (Assembly) has lost its \"other\".\n"),
            errors.end())
      << testing::PrintToString(errors);
  // Declared as it may be, the same file opens.
  static const zyrAttributeRule optional[] = {{"other", "Assembly", 0, nullptr}, {nullptr, nullptr, 0, nullptr}};
  EXPECT_TRUE(reopen(optional).empty());
  EXPECT_NE(m_repository, nullptr);
}

TEST_F(DeclaredAttributesTest, AValueTheTypeAlwaysWritesIsReportedWhenNoStateHoldsIt) {
  TestThing *a = Thing_new();
  objecttest::Thing_setCount(a, 3);
  objecttest::Thing_setLabel(a, "kept");
  const std::string keyA = keyOf(a);
  Repository_commit(m_repository);
  Database_deleteDataSet(zyrStateManager_getDatabase(Repository_getStateManager(m_repository)), zyrObject_getUUID(a),
                         "count");
  // "value" was never written, but may be absent; "label" is there.
  static const zyrAttributeRule rules[] = {{"count", nullptr, 0, nullptr},
                                           {"value", nullptr, ZYR_ATTRIBUTE_OPTIONAL, nullptr},
                                           {"label", nullptr, 0, nullptr},
                                           {nullptr, nullptr, 0, nullptr}};
  const std::vector<std::string> errors = reopen(rules);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].substr(0, errors[0].find(" at state")),
            "20006: The stored record " + keyA + " (Assembly) has no readable \"count\"");
  EXPECT_STREQ(find(keyA)->m_label, "kept");
}

} // namespace
