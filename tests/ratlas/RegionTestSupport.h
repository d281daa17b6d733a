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
