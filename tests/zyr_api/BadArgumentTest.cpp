// Every entry point of the procedural interface called with a handle that names nothing (-1, one
// never issued, one of a closed database) and with NULL where it expects a pointer: each fails
// with the error for it, and the open database keeps what it had.
#include "zyrAPI.h"
#include "zyrAffineTransform3D.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrTestErrors.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace {

struct Call {
  const char *m_name;
  const char *m_table; // "model" or "database"
  std::function<int(int32_t)> m_call;
};

char theAssembly[] = "A";
char *thePair[] = {theAssembly, theAssembly};

std::vector<Call> handleCalls(FILE *sink) {
  static zyrAffineTransform3D *identity = zyrAffineTransform3D_new();
  return {
      {"zyrDatabase_close", "database", [](int32_t h) { return zyrDatabase_close(h, 1); }},
      {"zyrDatabase_copy", "database", [](int32_t h) { return zyrDatabase_copy(h, "copy", 0, 1); }},
      {"zyrDatabase_saveCheckpoint", "database",
       [](int32_t h) {
         int32_t checkpoint = 0;
         return zyrDatabase_saveCheckpoint(h, &checkpoint);
       }},
      {"zyrDatabase_restoreCheckpoint", "database", [](int32_t h) { return zyrDatabase_restoreCheckpoint(h, 0); }},
      {"zyrDatabase_getNoOfCheckpoints", "database",
       [](int32_t h) {
         int32_t n = 0;
         return zyrDatabase_getNoOfCheckpoints(h, &n);
       }},
      {"zyrStrategy_setStringParameter", "model",
       [](int32_t h) { return zyrStrategy_setStringParameter(h, "NameManager_separator", "_"); }},
      {"zyrStrategy_getStringParameter", "model",
       [](int32_t h) {
         char *value = nullptr;
         return zyrStrategy_getStringParameter(h, "NameManager_separator", &value);
       }},
      {"zyrStrategy_setIntegerParameter", "model",
       [](int32_t h) { return zyrStrategy_setIntegerParameter(h, "NameManager_regionNameStrategy", 1); }},
      {"zyrStrategy_getIntegerParameter", "model",
       [](int32_t h) {
         int32_t value = 0;
         return zyrStrategy_getIntegerParameter(h, "NameManager_regionNameStrategy", &value);
       }},
      {"zyrStrategy_setRealParameter", "model",
       [](int32_t h) { return zyrStrategy_setRealParameter(h, "MeshMatching_relativeTolerance", 0.01); }},
      {"zyrStrategy_getRealParameter", "model",
       [](int32_t h) {
         double value = 0;
         return zyrStrategy_getRealParameter(h, "MeshMatching_relativeTolerance", &value);
       }},
      {"zyrModel_dump", "model", [sink](int32_t h) { return zyrModel_dump(h, 0, sink); }},
      {"zyrModel_glueRegions", "model",
       [](int32_t h) {
         int32_t in = 0, out = 0;
         char **namesIn = nullptr, **namesOut = nullptr;
         return zyrModel_glueRegions(h, 0, 1, thePair, &in, &namesIn, &out, &namesOut);
       }},
      {"zyrModel_mergeAssemblies", "model",
       [](int32_t h) {
         int32_t out = 0;
         char **names = nullptr;
         return zyrModel_mergeAssemblies(h, 0, 2, thePair, &out, &names);
       }},
      {"zyrModel_getNoOfAssemblies", "model",
       [](int32_t h) {
         int32_t n = 0;
         return zyrModel_getNoOfAssemblies(h, &n);
       }},
      {"zyrModel_getAssemblies", "model",
       [](int32_t h) {
         int32_t n = 0;
         char **names = nullptr;
         return zyrModel_getAssemblies(h, &n, &names);
       }},
      {"zyrAssembly_transform", "model",
       [](int32_t h) {
         int32_t n = 0;
         char **names = nullptr;
         return zyrAssembly_transform(h, "A", 1, 1, identity, 0, &n, &names);
       }},
      {"zyrAssembly_delete", "model", [](int32_t h) { return zyrAssembly_delete(h, "A"); }},
      {"zyrAssembly_rename", "model",
       [](int32_t h) {
         char *name = nullptr;
         return zyrAssembly_rename(h, "A", "B", 0, &name);
       }},
      {"zyrRegion_rename", "model",
       [](int32_t h) {
         char *name = nullptr;
         return zyrRegion_rename(h, "A", "B", 0, &name);
       }},
      {"zyrRegion_setPriority", "model", [](int32_t h) { return zyrRegion_setPriority(h, "A", 2); }},
      {"zyrRegion_getPriority", "model",
       [](int32_t h) {
         int32_t priority = 0;
         return zyrRegion_getPriority(h, "A", &priority);
       }},
  };
}

class BadArgumentTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(zyrDatabase_open(m_dir.file("kept.zyr").c_str(), &m_hDatabase, &m_hModel), 1);
    ASSERT_EQ(zyrStrategy_setIntegerParameter(m_hModel, "NameManager_regionNameStrategy", 2), 1);
    m_sink = std::fopen("/dev/null", "w");
  }
  void TearDown() override {
    std::fclose(m_sink);
    zyrDatabase_close(m_hDatabase, 1);
  }
  // The open database still answers and holds what it held.
  void expectIntact() {
    int32_t value = 0;
    EXPECT_EQ(zyrStrategy_getIntegerParameter(m_hModel, "NameManager_regionNameStrategy", &value), 1);
    EXPECT_EQ(value, 2);
  }

  zyrtest::EnvGuard m_units{"ZYR_USE_LOCAL_UNITS", "1"};
  zyrtest::EnvGuard m_session{"ZYR_SESSION_FILE", nullptr};
  zyrtest::ScratchDir m_dir{"zyrapi_bad"};
  int32_t m_hDatabase = -1;
  int32_t m_hModel = -1;
  FILE *m_sink = nullptr;
};

TEST_F(BadArgumentTest, HandlesThatNameNothingFailWithTheTablesMessage) {
  int32_t closedDatabase = -1, closedModel = -1;
  ASSERT_EQ(zyrDatabase_open(m_dir.file("closed.zyr").c_str(), &closedDatabase, &closedModel), 1);
  ASSERT_EQ(zyrDatabase_close(closedDatabase, 1), 1);
  for (const Call &call : handleCalls(m_sink)) {
    const int32_t closed = std::string(call.m_table) == "model" ? closedModel : closedDatabase;
    for (int32_t handle : {-1, 1 << 30, closed}) {
      SCOPED_TRACE(std::string(call.m_name) + " with handle " + std::to_string(handle));
      zyrtest::ErrorCapture errors;
      EXPECT_EQ(call.m_call(handle), 0);
      EXPECT_EQ(errors.published(),
                (std::vector<zyrtest::RaisedError>{
                    {10002, std::string("Unable to identify ") + call.m_table + " with handle \"" +
                                std::to_string(handle) + "\".\n"}}));
    }
  }
  expectIntact();
}

TEST_F(BadArgumentTest, NullPointersAreRefused) {
  const int32_t h = m_hModel;
  const int32_t d = m_hDatabase;
  int32_t n = 0;
  char **names = nullptr;
  char *name = nullptr;
  // Names the model looks up fail as names it does not know (10036 regions, 10037 assemblies).
  const std::vector<std::tuple<const char *, int32_t, std::function<int()>>> calls = {
      {"zyrDatabase_open hDatabase", 10020, [&] { return zyrDatabase_open(m_dir.file("x.zyr").c_str(), nullptr, &n); }},
      {"zyrDatabase_open hModel", 10020, [&] { return zyrDatabase_open(m_dir.file("x.zyr").c_str(), &n, nullptr); }},
      {"zyrDatabase_open name", 10020, [&] { return zyrDatabase_open(nullptr, &n, &n); }},
      {"zyrDatabase_copy", 10020, [&] { return zyrDatabase_copy(d, nullptr, 0, 1); }},
      {"zyrDatabase_saveCheckpoint", 10020, [&] { return zyrDatabase_saveCheckpoint(d, nullptr); }},
      {"zyrDatabase_getNoOfCheckpoints", 10020, [&] { return zyrDatabase_getNoOfCheckpoints(d, nullptr); }},
      {"zyrDatabase_upgrade name", 10020, [&] { return zyrDatabase_upgrade(nullptr, nullptr, &n); }},
      {"zyrDatabase_upgrade upgraded", 10020, [&] { return zyrDatabase_upgrade(m_dir.file("kept").c_str(), nullptr, nullptr); }},
      {"zyrApp_getErrors count", 10020, [&] { return zyrApp_getErrors(nullptr, nullptr); }},
      {"zyrApp_setWorkingDirectory", 10020, [&] { return zyrApp_setWorkingDirectory(nullptr); }},
      {"zyrApp_getWorkingDirectory", 10020, [&] { return zyrApp_getWorkingDirectory(nullptr); }},
      {"zyrStrategy_setStringParameter parameter", 10020, [&] { return zyrStrategy_setStringParameter(h, nullptr, "_"); }},
      {"zyrStrategy_setStringParameter value", 10020,
       [&] { return zyrStrategy_setStringParameter(h, "NameManager_separator", nullptr); }},
      {"zyrStrategy_getStringParameter", 10020,
       [&] { return zyrStrategy_getStringParameter(h, "NameManager_separator", nullptr); }},
      {"zyrStrategy_getIntegerParameter", 10020,
       [&] { return zyrStrategy_getIntegerParameter(h, "NameManager_regionNameStrategy", nullptr); }},
      {"zyrStrategy_getRealParameter", 10020,
       [&] { return zyrStrategy_getRealParameter(h, "MeshMatching_relativeTolerance", nullptr); }},
      {"zyrStrategy_setIntegerParameter parameter", 10020, [&] { return zyrStrategy_setIntegerParameter(h, nullptr, 1); }},
      {"zyrModel_dump", 10020, [&] { return zyrModel_dump(h, 0, nullptr); }},
      {"zyrModel_glueRegions pairs", 10020, [&] { return zyrModel_glueRegions(h, 0, 1, nullptr, &n, &names, &n, &names); }},
      {"zyrModel_glueRegions outputs", 10020,
       [&] { return zyrModel_glueRegions(h, 0, 1, thePair, nullptr, nullptr, nullptr, nullptr); }},
      {"zyrModel_mergeAssemblies names", 10020, [&] { return zyrModel_mergeAssemblies(h, 0, 2, nullptr, &n, &names); }},
      {"zyrModel_mergeAssemblies outputs", 10020,
       [&] { return zyrModel_mergeAssemblies(h, 0, 2, thePair, nullptr, nullptr); }},
      {"zyrModel_getNoOfAssemblies", 10020, [&] { return zyrModel_getNoOfAssemblies(h, nullptr); }},
      {"zyrModel_getAssemblies", 10020, [&] { return zyrModel_getAssemblies(h, nullptr, nullptr); }},
      {"zyrAssembly_transform transform", 10037,
       [&] { return zyrAssembly_transform(h, "A", 1, 1, nullptr, 0, &n, &names); }},
      {"zyrAssembly_transform assembly", 10037, [&] {
         zyrAffineTransform3D *t = zyrAffineTransform3D_new();
         const int status = zyrAssembly_transform(h, nullptr, 1, 1, t, 0, &n, &names);
         zyrAffineTransform3D_delete(t);
         return status;
       }},
      {"zyrAssembly_delete", 10037, [&] { return zyrAssembly_delete(h, nullptr); }},
      {"zyrAssembly_rename names", 10037, [&] { return zyrAssembly_rename(h, nullptr, nullptr, 0, &name); }},
      {"zyrAssembly_rename actualName", 10020, [&] { return zyrAssembly_rename(h, "A", "B", 0, nullptr); }},
      {"zyrRegion_rename names", 10036, [&] { return zyrRegion_rename(h, nullptr, nullptr, 0, &name); }},
      {"zyrRegion_rename actualName", 10020, [&] { return zyrRegion_rename(h, "A", "B", 0, nullptr); }},
      {"zyrRegion_setPriority", 10036, [&] { return zyrRegion_setPriority(h, nullptr, 1); }},
      {"zyrRegion_getPriority region", 10036, [&] { return zyrRegion_getPriority(h, nullptr, &n); }},
      {"zyrRegion_getPriority priority", 10020, [&] { return zyrRegion_getPriority(h, "A", nullptr); }},
  };
  for (const auto &call : calls) {
    SCOPED_TRACE(std::get<0>(call));
    zyrtest::ErrorCapture errors;
    EXPECT_EQ(std::get<2>(call)(), 0);
    // Some are only queued, as for an unrecognised parameter name.
    const std::vector<zyrtest::RaisedError> held = zyrtest::ErrorCapture::held();
    ASSERT_FALSE(held.empty());
    EXPECT_EQ(held.front().code, std::get<1>(call)) << held.front().message;
  }
  EXPECT_EQ(names, nullptr);
  EXPECT_EQ(name, nullptr);
  expectIntact();
}

} // namespace
