#include "RegionMemory.h"
#include "RegionNameRecord.h"
#include "RegionTestSupport.h"

using namespace region_test;

namespace {

void expectFailure(RegionStatus* s, uint32_t code, const char* text) {
  EXPECT_TRUE(RegionStatus_isError(s));
  EXPECT_EQ(RegionStatus_getCode(s), code);
  if (text) {
    EXPECT_EQ(textOf(s), text);
  }
}

std::vector<std::string> components(const RegionDefinition* d, int side) {
  char** names = nullptr;
  uint64_t count = 0;
  RegionStatus* s = RegionDefinition_getComponents(d, side, STRING_LIST_NAMES, &names, &count);
  EXPECT_FALSE(RegionStatus_isError(s)) << textOf(s);
  return takeNames(names, count);
}

TEST(RegionDefinition, CreationChecksInOrder) {
  RegionDefinition* d = reinterpret_cast<RegionDefinition*>(1);
  expectFailure(define(&d, "  ", RC_UNION, {"a"}), RS_BLANK_NAME, "Invalid name - cannot be blank.");
  EXPECT_EQ(d, nullptr);
  expectFailure(define(&d, "c", RC_COMPLEMENT, {"a"}), RS_INVALID_COMBINATION, "Invalid combination.");
  expectFailure(define(&d, "c", RC_MERGE, {"a"}), RS_INVALID_COMBINATION, "Invalid combination.");
  expectFailure(define(&d, "c", 9, {"a"}), RS_INVALID_COMBINATION, "Invalid combination.");
  expectFailure(define(&d, "c", RC_UNION, {}), RS_NEEDS_COMPONENT, "Region Definition requires at least one component.");
  expectFailure(define(&d, "c", RC_ALIAS, {"a", "b"}), RS_CANNOT_CREATE_DEFINITION, "ALIAS Region Definition requires at most one component.");
  expectFailure(define(&d, "c", RC_DIFFERENCE, {}, {"b"}), RS_NEEDS_COMPONENT,
                "Region Definition requires at least one component in first list.");
  expectFailure(define(&d, "c", RC_DIFFERENCE, {"a"}, {}), RS_NEEDS_COMPONENT,
                "Region Definition requires at least one component in second list.");
  expectFailure(define(&d, "a", RC_UNION, {"b", "a"}), RS_SELF_REFERENCE, "Region Definition (a) references itself.");
  expectFailure(define(&d, "a", RC_DIFFERENCE, {"b"}, {"a"}), RS_SELF_REFERENCE, "Region Definition (a) references itself.");
  EXPECT_EQ(RegionStatus_getCode(RegionDefinition_new(nullptr, "x", RC_UNION, nullptr, nullptr, 0, 0)), RS_BAD_POINTER);
  EXPECT_EQ(d, nullptr);
}

TEST(RegionDefinition, ListsKeepGivenOrderWithoutDuplicates) {
  RegionDefinition* d = make("def order", RC_UNION, {"zz", "aa", "zz", "mm"});
  EXPECT_EQ(components(d, 1), (std::vector<std::string>{"zz", "aa", "mm"}));
  int32_t combination = 0;
  EXPECT_OK(RegionDefinition_getCombination(d, &combination));
  EXPECT_EQ(combination, RC_UNION);
  expectFailure(RegionDefinition_getComponents(d, 2, STRING_LIST_NAMES, nullptr, nullptr), RS_OPERATION_REFUSED,
                "Invalid side for type of Region Definition");
  expectFailure(RegionDefinition_getComponents(d, 3, STRING_LIST_NAMES, nullptr, nullptr), RS_INVALID_SIDE,
                "Invalid side on which to perform operation.");
  const char* name = nullptr;
  RegionNameRecord* record = nullptr;
  EXPECT_OK(RegionDefinition_getName(d, &name, &record));
  EXPECT_STREQ(name, "def order");
  EXPECT_EQ(record->m_definition, d);
  RegionMap* map = nullptr;
  expectFailure(RegionDefinition_getMap(d, &map), RS_NOT_IN_MAP, "Region Definition not in a Region Map.");
  RegionStatus* s = nullptr;
  EXPECT_EQ(RegionDefinition_isTwoSided(d, &s), 0);
  EXPECT_OK(RegionDefinition_delete(&d));
  EXPECT_EQ(d, nullptr);
  expectFailure(RegionDefinition_delete(&d), RS_INVALID_DEFINITION, "Invalid Region Definition.");
}

TEST(RegionDefinition, ComponentChanges) {
  RegionDefinition* alias = make("def alias", RC_ALIAS, {"x"});
  const char* two[] = {"y"};
  expectFailure(RegionDefinition_modifyComponents(alias, RO_ADD, 1, two, 1), RS_OPERATION_REFUSED,
                "Invalid operation (RO_ADD) for an valid RC_ALIAS Region Definition.");
  const char* same[] = {"x"};
  EXPECT_OK(RegionDefinition_modifyComponents(alias, RO_ADD, 1, same, 1));
  EXPECT_EQ(components(alias, 1), (std::vector<std::string>{"x"}));
  RegionDefinition_delete(&alias);

  RegionDefinition* u = make("def u", RC_UNION, {"mod c3", "mod c1", "mod c2"});
  const char* all[] = {"mod c1", "mod c2", "mod c3"};
  expectFailure(RegionDefinition_modifyComponents(u, RO_REMOVE, 1, all, 3), RS_WOULD_BE_INVALID, "Component list cannot be empty.");
  // Naming a component twice does not get round the rule.
  const char* twice[] = {"mod c1", "mod c2", "mod c3", "mod c3"};
  expectFailure(RegionDefinition_modifyComponents(u, RO_REMOVE, 1, twice, 4), RS_WOULD_BE_INVALID, "Component list cannot be empty.");
  const char* missing[] = {"mod c1", "nowhere"};
  expectFailure(RegionDefinition_modifyComponents(u, RO_REMOVE, 1, missing, 2), RS_NOT_FOUND,
                "Component \"nowhere\" is not in the component list");
  EXPECT_EQ(components(u, 1).size(), 3u);
  const char* self[] = {"def u"};
  expectFailure(RegionDefinition_modifyComponents(u, RO_ADD, 1, self, 1), RS_SELF_REFERENCE, "Region Definition (def u) references itself.");
  expectFailure(RegionDefinition_modifyComponents(u, 4, 1, self, 1), RS_INVALID_OPERATION, "Invalid operation.");
  expectFailure(RegionDefinition_modifyComponents(u, RO_ADD, 2, self, 1), RS_INVALID_SIDE, "Invalid side for type of Region Definition.");
  expectFailure(RegionDefinition_modifyComponents(u, RO_ADD, 0, self, 1), RS_INVALID_SIDE, "Invalid side on which to perform operation.");
  const char* one[] = {"mod c2"};
  EXPECT_OK(RegionDefinition_modifyComponents(u, RO_REMOVE, 1, one, 1));
  // A changed list holds its ids in ascending order.
  EXPECT_EQ(components(u, 1), (std::vector<std::string>{"mod c3", "mod c1"}));
  EXPECT_OK(RegionDefinition_modifyComponents(u, RO_CLEAR, 1, nullptr, 0));
  EXPECT_TRUE(components(u, 1).empty());
  RegionDefinition_delete(&u);
}

TEST(RegionDefinition, KindChangesKeepListsConsistent) {
  RegionDefinition* d = make("def kinds", RC_DIFFERENCE, {"k1", "k2"}, {"k3"});
  EXPECT_EQ(components(d, 2), (std::vector<std::string>{"k3"}));
  EXPECT_OK(RegionDefinition_setCombination(d, RC_UNION));
  EXPECT_EQ(d->m_listB, nullptr);
  // Without list B the two-sided kinds are refused, and an Alias of two.
  expectFailure(RegionDefinition_setCombination(d, RC_DIFFERENCE), RS_NEEDS_COMPONENT,
                "Region Definition requires at least one component in second list.");
  expectFailure(RegionDefinition_setCombination(d, RC_ALIAS), RS_CANNOT_CREATE_DEFINITION, "ALIAS Region Definition requires at most one component.");
  expectFailure(RegionDefinition_setCombination(d, RC_MERGE), RS_INVALID_COMBINATION, "Invalid combination.");
  EXPECT_OK(RegionDefinition_setCombination(d, RC_INTERSECTION));
  int32_t combination = 0;
  RegionDefinition_getCombination(d, &combination);
  EXPECT_EQ(combination, RC_INTERSECTION);
  RegionDefinition_delete(&d);
}

TEST(RegionDefinition, Tags) {
  RegionDefinition* d = make("def tags", RC_UNION, {"t1"});
  int flag = 1;
  EXPECT_OK(RegionDefinition_isTagged(d, &flag));
  EXPECT_EQ(flag, 0);
  EXPECT_OK(RegionDefinition_addTag(d, "inlet"));
  EXPECT_OK(RegionDefinition_addTag(d, "inlet"));
  EXPECT_OK(RegionDefinition_addTag(d, "hot wall"));
  EXPECT_OK(RegionDefinition_addTag(d, "   "));
  char** names = nullptr;
  uint64_t count = 0;
  EXPECT_OK(RegionDefinition_tags(d, STRING_LIST_NAMES, &names, &count));
  EXPECT_EQ(takeNames(names, count), (std::vector<std::string>{"inlet", "hot wall"}));
  EXPECT_OK(RegionDefinition_taggedWith(d, "inlet", &flag));
  EXPECT_EQ(flag, 1);
  EXPECT_OK(RegionDefinition_taggedWith(d, "a word never entered anywhere 71", &flag));
  EXPECT_EQ(flag, 0);
  expectFailure(RegionDefinition_taggedWith(d, "inlet", nullptr), RS_BAD_POINTER, "Unable to return whether Region Definition is tagged.");
  // Words the text could not give back are refused.
  for (const char* bad : {"a,b", "a#b", "f(x)", " lead", "trail ", "two  blanks", "back\\", "line\nbreak", "tab\tbed"}) {
    RegionStatus* s = RegionDefinition_addTag(d, bad);
    EXPECT_EQ(RegionStatus_getCode(s), RS_INVALID_STRING) << bad;
  }
  EXPECT_OK(RegionDefinition_removeTag(d, "inlet"));
  EXPECT_OK(RegionDefinition_removeTag(d, "inlet"));
  EXPECT_OK(RegionDefinition_taggedWith(d, "inlet", &flag));
  EXPECT_EQ(flag, 0);
  char* joined = nullptr;
  EXPECT_OK(RegionDefinition_tags(d, STRING_LIST_JOINED, &joined));
  EXPECT_STREQ(joined, "hot wall");
  RegionMemory_release(joined);
  RegionDefinition_delete(&d);
}

TEST(RegionDefinition, RenameOutsideAMap) {
  RegionDefinition* d = make("def old", RC_UNION, {"r1", "r2"});
  expectFailure(RegionDefinition_rename(d, "r2"), RS_SELF_REFERENCE, "Region Definition (r2) references itself.");
  expectFailure(RegionDefinition_rename(d, ""), RS_BLANK_NAME, "Invalid name - cannot be blank.");
  EXPECT_OK(RegionDefinition_rename(d, "def new"));
  const char* name = nullptr;
  RegionNameRecord* record = nullptr;
  RegionDefinition_getName(d, &name, &record);
  EXPECT_STREQ(name, "def new");
  RegionDefinition_delete(&d);
}

TEST(RegionDefinition, ComponentIdsAndCopies) {
  RegionDefinition* d = make("def ids", RC_SYMMETRIC_DIFFERENCE, {"i1"}, {"i2", "i3"});
  uint64_t* ids = nullptr;
  uint64_t count = 0;
  EXPECT_OK(RegionDefinition_getComponentIds(d, 2, &ids, &count));
  ASSERT_EQ(count, 2u);
  uint64_t i3 = 0;
  RegionNameDictionary_lookup("i3", &i3);
  EXPECT_EQ(ids[1], i3);
  RegionDefinition_freeComponentIds(&ids);
  EXPECT_EQ(ids, nullptr);
  StringList* copy = nullptr;
  EXPECT_OK(RegionDefinition_getComponentList(d, 1, &copy));
  EXPECT_EQ(namesOf(copy), (std::vector<std::string>{"i1"}));
  StringList_delete(&copy);
  EXPECT_EQ(RegionStatus_getCode(RegionDefinition_getComponentIds(d, 1, nullptr, &count)), RS_BAD_POINTER);
  RegionDefinition_delete(&d);
}

TEST(RegionDefinition, WritersRefuseMissingTargets) {
  RegionDefinition* d = make("def write", RC_UNION, {"w1"});
  expectFailure(RegionDefinition_writeToFile(d, nullptr), RS_BAD_CALL, "Unable to write definition: File Descriptor is invalid.");
  expectFailure(RegionDefinition_writeToDataset(d, nullptr, "W", "X"), RS_BAD_CALL,
                "Unable to write definition: File Descriptor is invalid.");
  RegionDefinition_delete(&d);
}

TEST(RegionNameRecord, DefineAndReferences) {
  RegionDefinition* d = make("rec def", RC_DIFFERENCE, {"rec a"}, {"rec b"});
  RegionDefinition* u = make("rec union", RC_UNION, {"rec a"});
  RegionNameRecord* record = nullptr;
  ASSERT_OK(RegionNameRecord_new(&record, "rec other"));
  // A record with a definition cannot take another.
  expectFailure(RegionNameRecord_define(d->m_nameRecord, u), RS_ALREADY_DEFINED, "Region (rec def) is already defined.");
  // Side 2 only for the two-sided kinds.
  expectFailure(RegionNameRecord_addReference(record, u, 2), RS_INVALID_SIDE, "Invalid side on which to perform operation");
  // A reference adds the name to the component list too.
  EXPECT_OK(RegionNameRecord_addReference(record, d, 2));
  std::vector<std::string> b;
  char** names = nullptr;
  uint64_t count = 0;
  RegionDefinition_getComponents(d, 2, STRING_LIST_NAMES, &names, &count);
  b = sorted(takeNames(names, count));
  EXPECT_EQ(b, (std::vector<std::string>{"rec b", "rec other"}));
  int flag = 0;
  EXPECT_OK(RegionNameRecord_isReferenced(record, &flag));
  EXPECT_EQ(flag, 1);
  expectFailure(RegionNameRecord_removeReference(record, u), RS_NOT_REFERENCED,
                "Region Definition (rec union) doesn't reference Region (rec other)");
  EXPECT_OK(RegionNameRecord_removeReference(record, d));
  EXPECT_OK(RegionNameRecord_isReferenced(record, &flag));
  EXPECT_EQ(flag, 0);
  RegionDefinition_getComponents(d, 2, STRING_LIST_NAMES, &names, &count);
  EXPECT_EQ(takeNames(names, count), (std::vector<std::string>{"rec b"}));
  // A free record defines a definition: the definition's own record goes.
  EXPECT_OK(RegionNameRecord_define(record, u));
  EXPECT_EQ(u->m_nameRecord, record);
  EXPECT_EQ(record->m_definition, u);
  const char* name = nullptr;
  RegionNameRecord* r = nullptr;
  RegionDefinition_getName(u, &name, &r);
  EXPECT_STREQ(name, "rec other");
  RegionDefinition_delete(&u);
  RegionDefinition_delete(&d);
}

RegionStatus* refuseCopy(void*, RegionNameRecord*, RegionNameRecord*) { return RegionStatus_fail(RS_USER, "no"); }

RegionStatus* keepCopy(void* context, RegionNameRecord*, RegionNameRecord* copy) {
  *static_cast<RegionNameRecord**>(context) = copy;
  return RegionStatus_success();
}

TEST(RegionNameRecord, CopyHandsEverythingOver) {
  RegionDefinition* d = make("copy def", RC_UNION, {"copy a"});
  RegionNameRecord* old = d->m_nameRecord;
  RegionNameRecord_addReferenceId(old, 5);
  RegionMap* fake = reinterpret_cast<RegionMap*>(&d);
  RegionNameRecord_addExplicitMap(old, fake);
  EXPECT_EQ(RegionStatus_getCode(RegionNameRecord_copy(old, nullptr, refuseCopy)), RS_USER);
  // A refused copy leaves everything where it was.
  EXPECT_EQ(d->m_nameRecord, old);
  EXPECT_EQ(old->m_definition, d);
  ASSERT_NE(old->m_references, nullptr);
  RegionNameRecord* copy = nullptr;
  EXPECT_OK(RegionNameRecord_copy(old, &copy, keepCopy));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(d->m_nameRecord, copy);
  EXPECT_EQ(copy->m_definition, d);
  EXPECT_EQ(old->m_references, nullptr);
  EXPECT_EQ(copy->m_references->m_count, 1u);
  EXPECT_EQ(copy->m_explicitMaps[0], fake);
  EXPECT_EQ(copy->m_id, old->m_id);
  RegionNameRecord_delete(&old);
  RegionNameRecord_removeExplicitMap(copy, fake);
  RegionNameRecord_removeReferenceId(copy, 5);
  RegionDefinition_delete(&d);
}

}  // namespace
