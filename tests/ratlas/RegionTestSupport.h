// Small helpers shared by the region-atlas tests.
#ifndef REGION_TEST_SUPPORT_H
#define REGION_TEST_SUPPORT_H

#include "RegionAtlas.h"
#include "RegionDefinition.h"
#include "RegionMap.h"
#include "RegionNameDictionary.h"
#include "RegionStatus.h"
#include "RegionString.h"
#include "StringList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace region_test {

inline std::string textOf(const RegionStatus* s) { return s && s->m_text ? s->m_text : ""; }

#define EXPECT_OK(expr)                                                              \
  do {                                                                               \
    RegionStatus* s_ = (expr);                                                       \
    EXPECT_FALSE(RegionStatus_isError(s_)) << #expr << ": " << region_test::textOf(s_); \
  } while (0)

#define ASSERT_OK(expr)                                                              \
  do {                                                                               \
    RegionStatus* s_ = (expr);                                                       \
    ASSERT_FALSE(RegionStatus_isError(s_)) << #expr << ": " << region_test::textOf(s_); \
  } while (0)

// A definition from initialiser lists of names.
inline RegionStatus* define(RegionDefinition** d, const char* name, int32_t combination, std::vector<const char*> a,
                            std::vector<const char*> b = {}) {
  return RegionDefinition_new(d, name, combination, a.data(), b.data(), int32_t(a.size()), int32_t(b.size()));
}

inline RegionDefinition* make(const char* name, int32_t combination, std::vector<const char*> a, std::vector<const char*> b = {}) {
  RegionDefinition* d = nullptr;
  RegionStatus* s = define(&d, name, combination, a, b);
  EXPECT_FALSE(RegionStatus_isError(s)) << textOf(s);
  return d;
}

// A definition of the name from lists of component names; the second list only where `bCount`
// allows (-1: all of it).
inline RegionStatus* defineFrom(RegionDefinition** d, const std::string& name, int32_t combination,
                                const std::vector<std::string>& a, const std::vector<std::string>& b,
                                int32_t bCount = -1) {
  std::vector<const char*> pa, pb;
  for (auto& s : a) pa.push_back(s.c_str());
  for (auto& s : b) pb.push_back(s.c_str());
  return RegionDefinition_new(d, name.c_str(), combination, pa.data(), pb.data(), int32_t(pa.size()),
                              bCount < 0 ? int32_t(pb.size()) : bCount);
}

// The map's definition of the name, or NULL.
inline RegionDefinition* definitionIn(RegionMap* map, const std::string& name) {
  RegionDefinition* d = nullptr;
  RegionMap_regionDefinitionFromName(map, name.c_str(), &d);
  return d;
}

// Adds the name to, or removes it from, the first side of the definition, or the second where it
// has two.
inline void modifyComponent(RegionDefinition* d, const std::string& name, bool add, bool secondSide) {
  const char* n = name.c_str();
  const int32_t side = secondSide && RegionDefinition_isTwoSidedCombination(d->m_combination) ? 2 : 1;
  RegionDefinition_modifyComponents(d, add ? RO_ADD : RO_REMOVE, side, &n, 1);
}

// Names handed out in mode 2, freed here, in the order given.
inline std::vector<std::string> takeNames(char** names, uint64_t count) {
  std::vector<std::string> v;
  for (uint64_t i = 0; i < count; ++i) v.push_back(names[i]);
  if (names) StringArray_delete(&names, count);
  return v;
}

inline std::vector<std::string> sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

inline std::vector<std::string> namesOf(const StringList* list) {
  std::vector<std::string> v;
  for (uint64_t i = 0; list && i < list->m_count; ++i) {
    const char* name = nullptr;
    RegionNameDictionary_name(list->m_items[i], &name);
    v.push_back(name ? name : "?");
  }
  return v;
}

// A map list operation in mode 2, as a sorted vector.
template <class Op, class... Args>
std::vector<std::string> listed(Op op, Args... args) {
  char** names = nullptr;
  uint64_t count = 0;
  RegionStatus* s = op(args..., STRING_LIST_NAMES, &names, &count);
  EXPECT_FALSE(RegionStatus_isError(s)) << textOf(s);
  return sorted(takeNames(names, count));
}

}  // namespace region_test

#endif
