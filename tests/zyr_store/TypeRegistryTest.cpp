#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrTypeManager.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char *const kDefaultNames[] = {"Repository", "zyrBlob", "Assembly", "Atlas", "Boundary", "Connection",
                                     "ElementMesh", "ElementSet", "FaceMesh", "FaceSet", "InterfaceMap", "Mesh",
                                     "Model", "NameManager", "Region", "Representation", "Shell", "Topology",
                                     "Vertices", "Visual", "Projection"};

std::vector<int32_t> defaultIds() {
  std::vector<int32_t> ids;
  for (int32_t i = 0; i < 20; ++i)
    ids.push_back(i);
  ids.push_back(100);
  return ids;
}

std::string listing() {
  char *buffer = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&buffer, &size);
  zyrTypeManager_print(stream);
  std::fclose(stream);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

TEST(TypeRegistry, DefaultRowsIndexIsNotId) {
  EXPECT_EQ(zyrTypeManager_findTypeId(100), 20);
  EXPECT_EQ(zyrTypeManager_getIdOfIndex(20), 100);
  EXPECT_EQ(zyrTypeManager_getIdOfIndex(21), -1);
  EXPECT_EQ(zyrTypeManager_getIdOfIndex(-1), -1);
  EXPECT_EQ(zyrTypeManager_getNameOfIndex(21), nullptr);
  EXPECT_EQ(zyrTypeManager_findTypeId(20), -1);
  EXPECT_EQ(zyrTypeManager_getNameOfId(101), nullptr);
  EXPECT_EQ(zyrTypeManager_getIdOfName("Nothing"), -1);
  // Exact byte comparison.
  EXPECT_EQ(zyrTypeManager_findType("model"), -1);
  for (int32_t i = 0; i < 21; ++i) {
    EXPECT_STREQ(zyrTypeManager_getNameOfIndex(i), kDefaultNames[i]);
    EXPECT_EQ(zyrTypeManager_getIdOfName(kDefaultNames[i]), defaultIds()[i]);
  }
}

TEST(TypeRegistry, CheckingStoredRegistries) {
  const std::vector<int32_t> ids = defaultIds();
  char *names[22];
  for (int i = 0; i < 21; ++i)
    names[i] = const_cast<char *>(kDefaultNames[i]);
  names[21] = const_cast<char *>("Extra");
  const int32_t all[22] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 100, 101};
  // The file knows fewer types: 2, and the caller records the registry.
  EXPECT_EQ(zyrTypeManager_checkTypes(2, names, ids.data()), 2);
  EXPECT_EQ(zyrTypeManager_checkTypes(0, names, ids.data()), 2);
  EXPECT_EQ(zyrTypeManager_checkTypes(21, names, all), 1);
  EXPECT_EQ(zyrTypeManager_checkTypes(22, names, all), 0);
  const int32_t renumbered[2] = {0, 2};
  EXPECT_EQ(zyrTypeManager_checkTypes(2, names, renumbered), 0);
  char *unknown[1] = {const_cast<char *>("Widget")};
  EXPECT_EQ(zyrTypeManager_checkTypes(1, unknown, all), 0);
}

TEST(TypeRegistry, KnownTypesAreCopies) {
  char **names = nullptr;
  int32_t *ids = nullptr;
  const int32_t n = zyrTypeManager_getKnownTypes(&names, &ids);
  ASSERT_EQ(n, zyrTypeManager_getNoOfTypes());
  EXPECT_EQ(zyrTypeManager_checkTypes(n, names, ids), 1);
  EXPECT_NE(names[0], zyrTypeManager_getNameOfIndex(0));
  zyrCStringArray_free(names, static_cast<uint64_t>(n));
  zyrMemory_free(ids, __func__);
}

TEST(TypeRegistry, ListingOfTheDefaultTable) {
  std::string expected = "\n==============================================\nzyrTypeManager:\n"
                         "==============================================\n\n"
                         "No. of known types [max] = 21 [31]\nNo. of new types         = 0\n\n";
  const std::vector<int32_t> ids = defaultIds();
  for (int i = 0; i < 21; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "%4d %s\n", ids[i], kDefaultNames[i]);
    expected += line;
  }
  expected += "==============================================\n\n";
  EXPECT_EQ(listing(), expected);
}

// Registration changes the process-wide registry: done in a child.
TEST(TypeRegistryDeathTest, RegisteringTypesAtRunTime) {
  EXPECT_EXIT(
      {
        if (zyrTypeManager_registerType("Repository", 0, nullptr, nullptr, nullptr, nullptr) != 0 ||
            zyrTypeManager_getNoOfTypes() != 21)
          std::exit(2);
        if (zyrTypeManager_registerType("Widget", 7, nullptr, nullptr, nullptr, nullptr) != 1 ||
            zyrTypeManager_getIdOfName("Widget") != 101 || zyrTypeManager_findType("Widget") != 21)
          std::exit(3);
        // The capacity grows by 10 when the next row would fill it.
        for (int i = 0; i < 9; ++i) {
          const std::string name = "Extra" + std::to_string(i);
          if (zyrTypeManager_registerType(name.c_str(), 0, nullptr, nullptr, nullptr, nullptr) != 1)
            std::exit(4);
        }
        if (zyrTypeManager_getIdOfName("Extra8") != 110)
          std::exit(5);
        const std::string text = listing();
        if (text.find("No. of known types [max] = 31 [41]\nNo. of new types         = 10\n") == std::string::npos ||
            text.find(" 101 Widget\n") == std::string::npos)
          std::exit(6);
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
}

} // namespace
