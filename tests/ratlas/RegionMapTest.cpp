#include "RegionExpansion.h"
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

struct MapFixture : ::testing::Test {
  RegionMap* m_map = nullptr;
  void SetUp() override { ASSERT_OK(RegionMap_new(&m_map, "M")); }
  void TearDown() override {
    if (m_map) EXPECT_OK(RegionMap_delete(&m_map, 1));
  }
  RegionDefinition* add(const char* name, int32_t combination, std::vector<const char*> a, std::vector<const char*> b = {}) {
    RegionDefinition* d = make(name, combination, a, b);
    RegionStatus* s = RegionMap_addRegionDefinition(m_map, d);
    EXPECT_FALSE(RegionStatus_isError(s)) << textOf(s);
    return d;
  }
  std::vector<std::string> expand(const char* name) {
    StringList* result = nullptr;
    StringList_new(&result, 0);
    RegionStatus* s = RegionName_expandInMap(name, m_map, result);
    EXPECT_FALSE(RegionStatus_isError(s)) << textOf(s);
    std::vector<std::string> v = sorted(namesOf(result));
    StringList_delete(&result);
    return v;
  }
};

using Names = std::vector<std::string>;

TEST_F(MapFixture, Properties) {
  const char* text = nullptr;
  expectFailure(RegionMap_getOwner(m_map, &text), RS_NO_OWNER, "Region Map does not have an owner");
  EXPECT_OK(RegionMap_setOwner(m_map, "x"));
  EXPECT_OK(RegionMap_getOwner(m_map, &text));
  EXPECT_STREQ(text, "x");
  EXPECT_EQ(RegionStatus_getCode(RegionMap_setOwner(m_map, "a, b")), RS_INVALID_STRING);
  EXPECT_OK(RegionMap_getOwner(m_map, &text));
  EXPECT_STREQ(text, "x");
  EXPECT_OK(RegionMap_getName(m_map, &text));
  EXPECT_STREQ(text, "M");
  expectFailure(RegionMap_setName(m_map, " "), RS_BLANK_NAME, "Invalid name - cannot be blank.");
  uint32_t type = 9;
  expectFailure(RegionMap_getType(m_map, &type), RS_MAP_NOT_IN_ATLAS, "Region Map is not in a Region Atlas");
  EXPECT_EQ(type, 0u);
  RegionAtlas* atlas = nullptr;
  expectFailure(RegionMap_getAtlas(m_map, &atlas), RS_MAP_NOT_IN_ATLAS, "Region Map is not in a Region Atlas");
  expectFailure(RegionMap_getName(m_map, nullptr), RS_BAD_POINTER, "Cannot return the name of the Region Map.");
  expectFailure(RegionMap_leaveAtlas(m_map), RS_MAP_NOT_IN_ATLAS, "Region Map (M) is not in Region Atlas.");
  expectFailure(RegionMap_getName(nullptr, &text), RS_INVALID_MAP, "Invalid Region Map.");
  RegionMap* none = nullptr;
  expectFailure(RegionMap_new(&none, ""), RS_BLANK_NAME, "Invalid name - cannot be blank.");
  expectFailure(RegionMap_new(nullptr, "x"), RS_BAD_POINTER, "Invalid object pointer - cannot create new object");
}

TEST_F(MapFixture, NamesOfAUnion) {
  add("A", RC_UNION, {"p", "q"});
  EXPECT_EQ(listed(RegionMap_getAllImplicitPrimitives, m_map), (Names{"p", "q"}));
  EXPECT_EQ(listed(RegionMap_getAllPrimitives, m_map), (Names{"p", "q"}));
  EXPECT_EQ(listed(RegionMap_getAllCompositeNames, m_map), (Names{"A"}));
  EXPECT_EQ(listed(RegionMap_getExportedNames, m_map), (Names{"A", "p", "q"}));
  EXPECT_TRUE(listed(RegionMap_getAllExplicitPrimitives, m_map).empty());
  int flag = 0;
  EXPECT_OK(RegionMap_isComposite(m_map, "A", &flag));
  EXPECT_EQ(flag, 1);
  EXPECT_OK(RegionMap_isPrimitive(m_map, "p", &flag));
  EXPECT_EQ(flag, 1);
  EXPECT_OK(RegionMap_isPrimitive(m_map, "a name nobody used 5", &flag));
  EXPECT_EQ(flag, 1);
  EXPECT_OK(RegionMap_isPrimitive(m_map, "A", &flag));
  EXPECT_EQ(flag, 0);
  uint64_t count = 0;
  EXPECT_OK(RegionMap_getNameCount(m_map, &count));
  EXPECT_EQ(count, 3u);
  // Mode 3 of an empty list is no list; mode 1 gives ids.
  StringList* none = reinterpret_cast<StringList*>(1);
  EXPECT_OK(RegionMap_getAllExplicitPrimitives(m_map, STRING_LIST_COPY, &none));
  EXPECT_EQ(none, nullptr);
  expectFailure(RegionMap_getAllCompositeNames(m_map, STRING_LIST_COPY, nullptr), RS_BAD_POINTER, "Unable to return list of composites");
  expectFailure(RegionMap_getExportedNames(m_map, STRING_LIST_COPY, nullptr), RS_BAD_POINTER, "Unable to return list of exported names");
  char* joined = nullptr;
  EXPECT_OK(RegionMap_getAllCompositeNames(m_map, STRING_LIST_JOINED, &joined));
  EXPECT_STREQ(joined, "A");
  RegionMemory_release(joined);
}

TEST_F(MapFixture, ExplicitPrimitives) {
  add("A", RC_UNION, {"p", "q"});
  expectFailure(RegionMap_addExplicitPrimitive(m_map, "A"), RS_CANNOT_BE_EXPLICIT,
                "Region cannot be made explicitly primitive in the Region Map that defines it.");
  EXPECT_OK(RegionMap_addExplicitPrimitive(m_map, "r"));
  EXPECT_OK(RegionMap_addExplicitPrimitive(m_map, "p"));
  EXPECT_EQ(listed(RegionMap_getAllExplicitPrimitives, m_map), (Names{"p", "r"}));
  EXPECT_EQ(listed(RegionMap_getAllPrimitives, m_map), (Names{"p", "q", "r"}));
  int flag = 0;
  EXPECT_OK(RegionMap_isExplicitPrimitive(m_map, "r", &flag));
  EXPECT_EQ(flag, 1);
  EXPECT_OK(RegionMap_removeExplicitPrimitive(m_map, "r"));
  expectFailure(RegionMap_removeExplicitPrimitive(m_map, "r"), RS_NOT_EXPLICIT, "Region r is not an explicit primtitive of Region Map (M)");
  // p stays: A still uses it.
  EXPECT_OK(RegionMap_removeExplicitPrimitive(m_map, "p"));
  EXPECT_EQ(listed(RegionMap_getAllPrimitives, m_map), (Names{"p", "q"}));
  // A name declared explicit cannot then be defined in the same map.
  EXPECT_OK(RegionMap_addExplicitPrimitive(m_map, "E"));
  RegionDefinition* e = make("E", RC_UNION, {"p"});
  expectFailure(RegionMap_addRegionDefinition(m_map, e), RS_EXPLICIT_CANNOT_DEFINE, "Explicit primitive Region (E) cannot be defined in the Region Map.");
  RegionDefinition_delete(&e);
}

TEST_F(MapFixture, RemovingAndDeletingDefinitions) {
  RegionDefinition* a = add("A", RC_UNION, {"p", "q"});
  RegionDefinition* b = add("B", RC_UNION, {"A", "s"});
  expectFailure(RegionMap_deleteRegionDefinitionByName(m_map, "nothing here 3"), RS_NOT_IN_MAP,
                "Region Definition (nothing here 3) is not defined in the Region Map.");
  EXPECT_OK(RegionMap_deleteRegionDefinitionByName(m_map, "A"));
  // The definition lives on, free; B still names A, now a primitive.
  EXPECT_EQ(a->m_map, nullptr);
  EXPECT_EQ(a->m_nameRecord->m_definition, a);
  EXPECT_EQ(listed(RegionMap_getAllCompositeNames, m_map), (Names{"B"}));
  EXPECT_EQ(listed(RegionMap_getAllPrimitives, m_map), (Names{"A", "s"}));
  EXPECT_EQ(expand("B"), (Names{"A", "s"}));
  expectFailure(RegionMap_removeRegionDefinition(m_map, a), RS_NOT_IN_MAP, "Region not declared in Region Map (M).");
  // Back in, A takes the record B uses.
  EXPECT_OK(RegionDefinition_setMap(a, m_map));
  EXPECT_EQ(expand("B"), (Names{"p", "q", "s"}));
  EXPECT_OK(RegionMap_removeRegionDefinition(m_map, b));
  EXPECT_EQ(listed(RegionMap_getAllPrimitives, m_map), (Names{"p", "q"}));
  RegionDefinition_delete(&b);
  // Deleting a definition in a map takes it out first.
  EXPECT_OK(RegionDefinition_delete(&a));
  EXPECT_TRUE(listed(RegionMap_getExportedNames, m_map).empty());
  uint64_t count = 9;
  RegionMap_getNameCount(m_map, &count);
  EXPECT_EQ(count, 0u);
}

TEST_F(MapFixture, AlreadyDefinedAndCycles) {
  add("A", RC_UNION, {"B"});
  RegionDefinition* again = make("A", RC_UNION, {"x"});
  expectFailure(RegionMap_addRegionDefinition(m_map, again), RS_ALREADY_DEFINED, "Region Definition (A) is already defined.");
  RegionDefinition_delete(&again);
  RegionDefinition* b = make("B", RC_UNION, {"A"});
  expectFailure(RegionMap_addRegionDefinition(m_map, b), RS_SELF_REFERENCE, "Region Definition (B) cannot reference itself.");
  EXPECT_EQ(b->m_map, nullptr);
  // Cycles hidden behind list B, an Intersection or a Symmetric Difference are cycles too.
  RegionDefinition_delete(&b);
  b = make("B", RC_DIFFERENCE, {"y"}, {"A"});
  expectFailure(RegionMap_addRegionDefinition(m_map, b), RS_SELF_REFERENCE, "Region Definition (B) cannot reference itself.");
  RegionDefinition_delete(&b);
  add("C", RC_INTERSECTION, {"D", "z"});
  b = make("D", RC_SYMMETRIC_DIFFERENCE, {"C"}, {"C"});
  expectFailure(RegionMap_addRegionDefinition(m_map, b), RS_SELF_REFERENCE, "Region Definition (D) cannot reference itself.");
  RegionDefinition_delete(&b);
  // Adding a component to a definition in the map is checked the same way.
  RegionDefinition* e = add("E", RC_UNION, {"w"});
  add("F", RC_UNION, {"E"});
  const char* f[] = {"F"};
  expectFailure(RegionDefinition_modifyComponents(e, RO_ADD, 1, f, 1), RS_SELF_REFERENCE, "Region Definition (E) cannot reference itself.");
  EXPECT_EQ(expand("F"), (Names{"w"}));
  EXPECT_EQ(RegionStatus_getCode(RegionDefinition_modifyComponents(e, RO_CLEAR, 1, nullptr, 0)), RS_OPERATION_REFUSED);
  EXPECT_EQ(textOf(RegionDefinition_modifyComponents(e, RO_CLEAR, 1, nullptr, 0)), "Invalid operation (RO_CLEAR) for a Region Definition in a Region Map.");
  const char* v[] = {"v"};
  EXPECT_OK(RegionDefinition_modifyComponents(e, RO_ADD, 1, v, 1));
  EXPECT_EQ(expand("F"), (Names{"v", "w"}));
}

TEST_F(MapFixture, EmptyListsCannotEnterAMap) {
  RegionDefinition* d = make("G", RC_UNION, {"g"});
  EXPECT_OK(RegionDefinition_modifyComponents(d, RO_CLEAR, 1, nullptr, 0));
  expectFailure(RegionMap_addRegionDefinition(m_map, d), RS_NEEDS_COMPONENT, "Region Definition requires at least one component.");
  RegionDefinition_delete(&d);
  d = make("H", RC_DIFFERENCE, {"h1"}, {"h2"});
  EXPECT_OK(RegionDefinition_modifyComponents(d, RO_CLEAR, 2, nullptr, 0));
  EXPECT_EQ(d->m_listB, nullptr);
  expectFailure(RegionMap_addRegionDefinition(m_map, d), RS_NEEDS_COMPONENT,
                "Region Definition requires at least one component in second list.");
  RegionDefinition_delete(&d);
}

TEST_F(MapFixture, RenameInAMap) {
  RegionDefinition* a = add("A", RC_UNION, {"p"});
  add("B", RC_UNION, {"A"});
  add("C", RC_UNION, {"x"});
  // Renaming to a name the map defines is refused and changes nothing.
  expectFailure(RegionDefinition_rename(a, "C"), RS_ALREADY_DEFINED, "Region Definition (C) is already defined.");
  EXPECT_EQ(expand("B"), (Names{"p"}));
  EXPECT_OK(RegionDefinition_rename(a, "A2"));
  EXPECT_EQ(expand("B"), (Names{"A"}));
  EXPECT_EQ(expand("A2"), (Names{"p"}));
  EXPECT_EQ(listed(RegionMap_getAllCompositeNames, m_map), (Names{"A2", "B", "C"}));
}

TEST_F(MapFixture, ExpansionOfTheKinds) {
  add("b", RC_UNION, {"a", "c"});
  add("U", RC_UNION, {"a", "b"});
  EXPECT_EQ(expand("U"), (Names{"a", "c"}));
  EXPECT_EQ(expand("not defined here"), (Names{"not defined here"}));
  add("I", RC_INTERSECTION, {"a", "c"});
  EXPECT_TRUE(expand("I").empty());
  add("u", RC_UNION, {"a", "x"});
  add("D", RC_DIFFERENCE, {"u"}, {"a"});
  EXPECT_EQ(expand("D"), (Names{"x"}));
  add("Y1", RC_UNION, {"a", "x"});
  add("Y2", RC_UNION, {"x", "c"});
  add("S", RC_SYMMETRIC_DIFFERENCE, {"Y1"}, {"Y2"});
  EXPECT_EQ(expand("S"), (Names{"a", "c"}));
  add("DD", RC_DIFFERENCE, {"D", "c"}, {"c"});
  EXPECT_EQ(expand("DD"), (Names{"x"}));
  add("AL", RC_ALIAS, {"DD"});
  EXPECT_EQ(expand("AL"), (Names{"x"}));
  add("I1", RC_INTERSECTION, {"U"});
  EXPECT_EQ(expand("I1"), (Names{"a", "c"}));
}

// A Difference takes away what a composite in list B stands for, not only its own name.
TEST_F(MapFixture, DifferenceExpandsListB) {
  add("A", RC_UNION, {"a", "b"});
  add("V", RC_UNION, {"a"});
  add("D", RC_DIFFERENCE, {"A"}, {"V"});
  EXPECT_EQ(expand("D"), (Names{"b"}));
}

// An Intersection with an empty set is empty.
TEST_F(MapFixture, IntersectionWithNothingIsNothing) {
  add("E", RC_INTERSECTION, {"a", "b"});
  add("W", RC_UNION, {"a"});
  add("I", RC_INTERSECTION, {"W", "E"});
  EXPECT_TRUE(expand("E").empty());
  EXPECT_TRUE(expand("I").empty());
}

TEST_F(MapFixture, UnionOrderIsFirstAppearance) {
  add("ord X", RC_UNION, {"ord m3", "ord m1"});
  add("ord Y", RC_UNION, {"ord m2", "ord m1"});
  add("ord Z", RC_UNION, {"ord X", "ord Y", "ord m4"});
  StringList* result = nullptr;
  StringList_new(&result, 0);
  EXPECT_OK(RegionName_expandInMap("ord Z", m_map, result));
  // X's list holds its ids ascending (m3 was entered first), then Y's new names, then m4.
  EXPECT_EQ(namesOf(result), (Names{"ord m3", "ord m1", "ord m2", "ord m4"}));
  StringList_delete(&result);
}

TEST_F(MapFixture, DiamondsExpandInLinearTime) {
  // d_k = Union(d_{k-1}, e_{k-1}), e_k = Alias(d_k): 2^60 paths, 120 definitions.
  add("d0", RC_UNION, {"leaf a", "leaf b"});
  add("e0", RC_ALIAS, {"d0"});
  for (int k = 1; k <= 60; ++k) {
    std::string d = "d" + std::to_string(k), e = "e" + std::to_string(k);
    std::string dp = "d" + std::to_string(k - 1), ep = "e" + std::to_string(k - 1);
    add(d.c_str(), RC_UNION, {dp.c_str(), ep.c_str()});
    add(e.c_str(), RC_ALIAS, {d.c_str()});
  }
  EXPECT_EQ(expand("e60"), (Names{"leaf a", "leaf b"}));
  // The same through set operations at every level.
  add("s0", RC_INTERSECTION, {"d0", "leaf a"});
  for (int k = 1; k <= 60; ++k) {
    std::string s = "s" + std::to_string(k), t = "t" + std::to_string(k), sp = "s" + std::to_string(k - 1);
    add(t.c_str(), RC_ALIAS, {sp.c_str()});
    add(s.c_str(), RC_DIFFERENCE, {sp.c_str(), t.c_str()}, {"leaf b"});
  }
  EXPECT_EQ(expand("s60"), (Names{"leaf a"}));
}

TEST_F(MapFixture, DeepChainsDoNotRecurse) {
  add("c0", RC_UNION, {"bottom"});
  for (int k = 1; k <= 100000; ++k) {
    std::string c = "chain " + std::to_string(k), p = k == 1 ? "c0" : "chain " + std::to_string(k - 1);
    RegionDefinition* d = make(c.c_str(), RC_ALIAS, {p.c_str()});
    ASSERT_OK(RegionMap_addRegionDefinition(m_map, d));
  }
  EXPECT_EQ(expand("chain 100000"), (Names{"bottom"}));
  // Set operations may nest only so deep; beyond that the expansion fails instead of the stack.
  add("n0", RC_DIFFERENCE, {"bottom"}, {"top"});
  for (int k = 1; k <= REGION_EXPANSION_MAX_NESTING + 5; ++k) {
    std::string n = "nest " + std::to_string(k), p = k == 1 ? "n0" : "nest " + std::to_string(k - 1);
    add(n.c_str(), RC_DIFFERENCE, {p.c_str()}, {"top"});
  }
  std::string last = "nest " + std::to_string(REGION_EXPANSION_MAX_NESTING + 5);
  StringList* result = nullptr;
  StringList_new(&result, 0);
  RegionStatus* s = RegionName_expandInMap(last.c_str(), m_map, result);
  EXPECT_EQ(RegionStatus_getCode(s), RS_INTERNAL);
  StringList_delete(&result);
  std::string within = "nest " + std::to_string(REGION_EXPANSION_MAX_NESTING - 2);
  EXPECT_EQ(expand(within.c_str()), (Names{"bottom"}));
}

TEST(RegionExpansion, ArgumentsAndResultsAlreadyHolding) {
  RegionMap* map = nullptr;
  ASSERT_OK(RegionMap_new(&map, "expansion"));
  RegionDefinition* d = make("exp A", RC_UNION, {"exp p", "exp q"});
  ASSERT_OK(RegionMap_addRegionDefinition(map, d));
  expectFailure(RegionName_expandInMap("exp A", map, nullptr), RS_BAD_CALL, "Unable to resolve name.");
  expectFailure(RegionDefinition_expandInMap(d, map, nullptr), RS_BAD_CALL, "Unable to resolve name.");
  StringList* result = nullptr;
  StringList_new(&result, 4);
  StringList_add(result, "exp q");
  EXPECT_OK(RegionId_expandInMap(RegionDefinition_id(d), map, result));
  EXPECT_EQ(namesOf(result), (Names{"exp q", "exp p"}));
  StringList_delete(&result);
  RegionMap_delete(&map, 1);
}

}  // namespace
