#include "Location.h"
#include "Assembly.h"
#include "LocationString.h"
#include "NameManager.h"
#include "Region.h"
#include "Topology.h"
#include "TopologyTestSupport.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrMemory.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<std::string> parse(const char *text, int *status) {
  int32_t n = -1;
  char **names = reinterpret_cast<char **>(&n); // must be replaced
  *status = LocationString_parse(text, &n, &names);
  std::vector<std::string> result;
  for (int32_t i = 0; i < n; ++i)
    result.push_back(names[i]);
  if (n == 0)
    EXPECT_EQ(names, nullptr);
  zyrCStringArray_free(names, static_cast<uint64_t>(n > 0 ? n : 0));
  return result;
}

std::string build(std::vector<const char *> names) {
  char *text = LocationString_build(static_cast<int32_t>(names.size()), const_cast<char **>(names.data()));
  std::string result = text != nullptr ? text : "<none>";
  zyrCString_free(text);
  return result;
}

std::string printed(const Location *location) {
  char *buffer = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&buffer, &size);
  Location_print(location, stream);
  std::fclose(stream);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

class LocationTest : public TopologyStoreTest {};

TEST_F(LocationTest, StringsAreSplitAtCommasAndJoined) {
  int status = 0;
  EXPECT_TRUE(parse(" , ,,\t, ", &status).empty());
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(parse("", &status).empty());
  EXPECT_EQ(parse(",Inlet", &status), (std::vector<std::string>{"Inlet"}));
  EXPECT_EQ(parse("  Blade  tip ,Hub,\n Casing\t", &status), (std::vector<std::string>{"Blade  tip", "Hub", "Casing"}));
  EXPECT_EQ(parse("a,,b,", &status), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(parse("\"a, b\"", &status), (std::vector<std::string>{"\"a", "b\""}));
  EXPECT_TRUE(parse(nullptr, &status).empty());
  EXPECT_EQ(status, 0);
  EXPECT_EQ(takeErrors(), (std::vector<std::string>{
                              "10020: A null pointer has been supplied where a location string is required.\n"}));

  EXPECT_EQ(build({}), "<none>");
  EXPECT_EQ(build({"Inlet"}), "Inlet");
  EXPECT_EQ(build({" a", "b ", ""}), " a, b , ");
}

TEST_F(LocationTest, StatesCheckResolveAndPrint) {
  Topology *topology = Topology_new();
  Assembly *assembly = Assembly_new(topology, "Rotor");
  Region *fluid = Region_new(topology, assembly, "Fluid", 3);
  Region_new(topology, assembly, "Blade", 2);
  const char *members[] = {"Blade", "Ghost"};
  ASSERT_EQ(NameManager_createCompositeName(Topology_getNameManager(topology), "Broken", 1, 2, members, 0, nullptr), 1);

  Location *location = Location_new();
  char **names = nullptr;
  EXPECT_EQ(Location_getComponents(location, &names), -1);
  EXPECT_EQ(names, nullptr);
  EXPECT_EQ(printed(location), "\n------------------------------------\nLocation: \" \"\n"
                               "------------------------------------\n\nState = Undefined.\n"
                               "------------------------------------\n");
  EXPECT_EQ(Location_set(location, nullptr), 0);
  ASSERT_EQ(Location_set(location, "Fluid, Nowhere, Broken"), 1);
  EXPECT_EQ(Location_getComponents(location, &names), 3);
  EXPECT_STREQ(names[2], "Broken");
  zyrCStringArray_free(names, 3);

  // Problems of every location of one owner collect in one error, published by the caller.
  Location *other = Location_new();
  ASSERT_EQ(Location_set(other, "Rotor, Elsewhere"), 1);
  zyrError *error = nullptr;
  EXPECT_EQ(Location_check(location, topology, "boundary", "Wall", &error), 0);
  EXPECT_EQ(Location_check(other, topology, "interface - side 1", "Gap", &error), 0);
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(zyrError_getCode(error), 10041);
  EXPECT_STREQ(zyrError_getMessage(error), "\nThe location of boundary \"Wall\" is invalid:\n"
                                           "  Region \"Nowhere\" is not recognised.\n"
                                           "  Region \"Broken\" resolves into unknown primitives.\n"
                                           "\nThe location of interface - side 1 \"Gap\" is invalid:\n"
                                           "  Region \"Elsewhere\" is not recognised.\n");
  takeErrors();

  // Resolving fails on the unknown name and stays unresolved.
  EXPECT_EQ(Location_resolve(location, topology), 0);
  Region **regions = nullptr;
  EXPECT_EQ(Location_getRegions(location, 15, &regions), -1);
  EXPECT_EQ(takeErrors(), (std::vector<std::string>{"10039: The region name \"Nowhere\" was not recognised.\n"}));
  ASSERT_EQ(Location_set(location, "Rotor"), 1);
  ASSERT_EQ(Location_resolve(location, topology), 1);
  EXPECT_EQ(Location_getRegions(location, 1, &regions), 0);
  EXPECT_EQ(regions, nullptr);
  ASSERT_EQ(Location_getRegions(location, 8, &regions), 1);
  EXPECT_EQ(regions[0], fluid);
  zyrMemory_free(regions, "test");
  ASSERT_EQ(Location_set(location, "Fluid,"), 1);
  ASSERT_EQ(Location_resolve(location, topology), 1);
  EXPECT_EQ(printed(location), "\n------------------------------------\nLocation: \"Fluid,\"\n"
                               "------------------------------------\n\nState = Defined - Resolved.\n"
                               "\nNo. of components = 1\n  \"Fluid\"\n\nNo. of regions    = 1\n  Fluid\n"
                               "------------------------------------\n");
  // A location whose names resolve to nothing is resolved, with no region array.
  Assembly_new(topology, "Empty");
  ASSERT_EQ(Location_set(location, "Empty"), 1);
  EXPECT_NE(printed(location).find("State = Defined - Unresolved.\n"), std::string::npos);
  ASSERT_EQ(Location_resolve(location, topology), 1);
  EXPECT_EQ(Location_getRegions(location, 15, &regions), -1);
  EXPECT_STREQ(Location_getString(location), "Empty");
  Location_delete(location);
  Location_delete(other);
}

} // namespace
