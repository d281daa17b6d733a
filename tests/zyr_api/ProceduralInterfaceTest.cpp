// The procedural interface: handle tables, the database entry points and the model frame (state
// bracket, recording, commits), application entry points, strategy parameters and the Model
// record's own operations.
#include "Assembly.h"
#include "Model.h"
#include "Region.h"
#include "Topology.h"
#include "Repository.h"
#include "zyrAPI.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrMemory.h"
#include "zyrTestErrors.h"
#include "zyrTestSupport.h"
#include "zyrUUID.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

class ApiTest : public testing::Test {
protected:
  void SetUp() override { zyrtest::ErrorCapture::clear(); }
  void TearDown() override {
    for (int32_t h : m_open)
      zyrDatabase_close(h, 1);
    zyrtest::ErrorCapture::clear();
  }
  // Opens (or makes) a database in the scratch directory; its model handle.
  int32_t open(const std::string &name, int32_t *hDatabase = nullptr) {
    int32_t hd = -1;
    int32_t hm = -1;
    EXPECT_EQ(zyrDatabase_open(m_dir.file(name).c_str(), &hd, &hm), 1);
    m_open.push_back(hd);
    if (hDatabase != nullptr)
      *hDatabase = hd;
    return hm;
  }
  void closed(int32_t hDatabase) { m_open.erase(std::remove(m_open.begin(), m_open.end(), hDatabase), m_open.end()); }

  zyrtest::EnvGuard m_units{"ZYR_USE_LOCAL_UNITS", "1"};
  zyrtest::EnvGuard m_session{"ZYR_SESSION_FILE", nullptr};
  zyrtest::ScratchDir m_dir{"zyrapi"};
  std::vector<int32_t> m_open;
};

int32_t integerParameter(int32_t hModel, const char *name) {
  int32_t value = -99;
  EXPECT_EQ(zyrStrategy_getIntegerParameter(hModel, name, &value), 1);
  return value;
}

// A check inside a child process: a failure ends it with its own code.
void require(bool ok, int code) {
  if (!ok)
    zyrtest::leaveChild(code);
}

std::string lastMessage() {
  zyrError *error = zyrtest::ErrorCapture::last();
  return error != nullptr && zyrError_getMessage(error) != nullptr ? zyrError_getMessage(error) : "";
}

} // namespace

namespace {
void handlesChild(const zyrtest::SharedScratchDir &dir) {
        setenv("ZYR_USE_LOCAL_UNITS", "1", 1);
        unsetenv("ZYR_SESSION_FILE");
        int32_t hd = 7, hm = 7;
        // A database that cannot be made issues nothing and leaves both outputs at -1.
        require(zyrDatabase_open((dir.path() + "/missing/x.zyr").c_str(), &hd, &hm) == 0, 1);
        require(hd == -1 && hm == -1, 2);
        require(zyrDatabase_open(dir.file("a.zyr").c_str(), &hd, &hm) == 1 && hd == 0 && hm == 0, 3);
        require(zyrDatabase_close(hd, 1) == 1, 4);
        require(zyrDatabase_open(dir.file("a.zyr").c_str(), &hd, &hm) == 1 && hd == 1 && hm == 1, 5);
        zyrtest::ErrorCapture::clear();
        for (int32_t stale : {-1, 0, 9}) {
          int32_t value = 0;
          require(zyrStrategy_getIntegerParameter(stale, "NameManager_regionNameStrategy", &value) == 0, 6);
          require(lastMessage() == "Unable to identify model with handle \"" + std::to_string(stale) + "\".\n", 7);
          require(zyrError_getCode(zyrtest::ErrorCapture::last()) == 10002, 8);
          require(zyrDatabase_close(stale, 1) == 0, 9);
          require(lastMessage() == "Unable to identify database with handle \"" + std::to_string(stale) + "\".\n",
                  10);
        }
        require(zyrDatabase_close(1, 1) == 1, 11);
        require(zyrDatabase_close(1, 1) == 0, 12);
        zyrtest::leaveChild(0);
      }

} // namespace

// Handles count from 0 in a fresh process, so the numbering is checked in a child.
TEST(ApiDeathTest, HandlesAreIssuedInOrderAndNeverReused) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The child, this test started afresh, works in the parent's directory.
  zyrtest::SharedScratchDir dir("ZYRTEST_HANDLES_DIR", "zyrhandles");
  EXPECT_EXIT(handlesChild(dir), testing::ExitedWithCode(0), "");
}

TEST_F(ApiTest, ClosingOneDatabaseLeavesTheOtherWorking) {
  int32_t hdA = -1;
  int32_t hdB = -1;
  const int32_t a = open("a.zyr", &hdA);
  const int32_t b = open("b.zyr", &hdB);
  ASSERT_EQ(zyrStrategy_setIntegerParameter(b, "NameManager_regionNameStrategy", 4), 1);
  ASSERT_EQ(zyrDatabase_close(hdA, 0), 1);
  closed(hdA);
  int32_t value = 0;
  EXPECT_EQ(zyrStrategy_getIntegerParameter(a, "NameManager_regionNameStrategy", &value), 0);
  EXPECT_EQ(integerParameter(b, "NameManager_regionNameStrategy"), 4);
  // The closed database kept its own value.
  const int32_t again = open("a.zyr");
  EXPECT_EQ(integerParameter(again, "NameManager_regionNameStrategy"), 2);
}

TEST_F(ApiTest, ParametersPersistAcrossCloseAndCheckpointsRestoreThem) {
  int32_t hd = -1;
  int32_t hm = open("c.zyr", &hd);
  int32_t first = -1;
  int32_t second = -1;
  int32_t count = -1;
  ASSERT_EQ(zyrDatabase_saveCheckpoint(hd, &first), 1);
  ASSERT_EQ(zyrStrategy_setIntegerParameter(hm, "NameManager_regionNameStrategy", 3), 1);
  ASSERT_EQ(zyrStrategy_setRealParameter(hm, "MeshMatching_relativeTolerance", 0.25), 1);
  ASSERT_EQ(zyrDatabase_saveCheckpoint(hd, &second), 1);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 1);
  ASSERT_EQ(zyrDatabase_getNoOfCheckpoints(hd, &count), 1);
  EXPECT_EQ(count, 2);

  ASSERT_EQ(zyrDatabase_restoreCheckpoint(hd, first), 1);
  EXPECT_EQ(integerParameter(hm, "NameManager_regionNameStrategy"), 2);
  double tolerance = 0.0;
  ASSERT_EQ(zyrStrategy_getRealParameter(hm, "MeshMatching_relativeTolerance", &tolerance), 1);
  EXPECT_EQ(tolerance, 0.005);
  ASSERT_EQ(zyrDatabase_restoreCheckpoint(hd, second), 1);
  EXPECT_EQ(integerParameter(hm, "NameManager_regionNameStrategy"), 3);

  // A copy holds the same state; the checkpoints survive a close that keeps the history.
  ASSERT_EQ(zyrDatabase_copy(hd, m_dir.file("copy.zyr").c_str(), 0, 0), 1);
  ASSERT_EQ(zyrDatabase_close(hd, 0), 1);
  closed(hd);
  hm = open("c.zyr", &hd);
  ASSERT_EQ(zyrDatabase_getNoOfCheckpoints(hd, &count), 1);
  EXPECT_EQ(count, 2);
  ASSERT_EQ(zyrStrategy_getRealParameter(hm, "MeshMatching_relativeTolerance", &tolerance), 1);
  EXPECT_EQ(tolerance, 0.25);
  const int32_t copy = open("copy.zyr");
  EXPECT_EQ(integerParameter(copy, "NameManager_regionNameStrategy"), 3);
}

TEST_F(ApiTest, RollbackReturnsToTheStateTakenBefore) {
  int32_t hd = -1;
  const int32_t hm = open("r.zyr", &hd);
  Model *model = nullptr;
  ASSERT_EQ(zyrAPI_getModel(hm, "test", &model), 1);
  const int32_t before = Model_flushChanges(model);
  ASSERT_EQ(Model_setParameter(model, "NameManager_regionNameStrategy", MODEL_PARAMETER_INTEGER, nullptr, 4, 0.0), 1);
  Model_setRelativeTolerance(model, 0.5);
  EXPECT_GT(Model_flushChanges(model), before);
  Model_rollback(model, before);
  EXPECT_EQ(Model_flushChanges(model), before);
  EXPECT_EQ(Model_getRelativeTolerance(model), 0.005);
  EXPECT_EQ(integerParameter(hm, "NameManager_regionNameStrategy"), 2);
}

// A compaction asked for and not made fails the close, with the store's message queued; the
// handles are gone in every case.
TEST_F(ApiTest, ACloseReportsWhatTheStoreReportedAndReleasesTheHandles) {
  zyrtest::ScratchDir gone("zyrgone");
  int32_t hd = -1;
  int32_t hm = -1;
  ASSERT_EQ(zyrDatabase_open(gone.file("g.zyr").c_str(), &hd, &hm), 1);
  ASSERT_EQ(zyrStrategy_setIntegerParameter(hm, "NameManager_regionNameStrategy", 3), 1);
  ASSERT_EQ(system(("rm -rf '" + gone.path() + "'").c_str()), 0);
  zyrtest::ErrorCapture::clear();
  EXPECT_EQ(zyrDatabase_close(hd, 0), 0);
  const std::vector<std::string> queued = zyrtest::ErrorCapture::take();
  // Why the compaction failed, in the system's words, then that it did.
  ASSERT_EQ(queued.size(), 2u);
  EXPECT_EQ(queued[0].rfind("10006: ", 0), 0u) << queued[0];
  EXPECT_NE(queued[0].find("No such file or directory"), std::string::npos) << queued[0];
  EXPECT_EQ(queued[1].rfind("Unable to compact the database", queued[1].find(": ") + 2), queued[1].find(": ") + 2);
  int32_t value = 0;
  EXPECT_EQ(zyrStrategy_getIntegerParameter(hm, "NameManager_regionNameStrategy", &value), 0);
  EXPECT_EQ(zyrDatabase_close(hd, 0), 0);
}

TEST_F(ApiTest, StrategyParametersCheckNameTypeAndValue) {
  const int32_t hm = open("s.zyr");
  // Defaults of a new model.
  EXPECT_EQ(integerParameter(hm, "NameManager_defaultRegionNameStrategy"), 1);
  EXPECT_EQ(integerParameter(hm, "NameManager_regionNameStrategy"), 2);
  EXPECT_EQ(integerParameter(hm, "NameManager_compositeCopyingStrategy"), 1);
  char *text = nullptr;
  ASSERT_EQ(zyrStrategy_getStringParameter(hm, "NameManager_defaultAssemblyName", &text), 1);
  EXPECT_STREQ(text, "Assembly");
  zyrCString_free(text);
  ASSERT_EQ(zyrStrategy_getStringParameter(hm, "NameManager_defaultRegionName", &text), 1);
  EXPECT_STREQ(text, "Region");
  zyrCString_free(text);

  // Wrong names and types are queued for the caller but not shown.
  zyrtest::ErrorCapture errors;
  EXPECT_EQ(zyrStrategy_setStringParameter(hm, "NameManager_regionNameStrategy", "3"), 0);
  EXPECT_EQ(zyrError_isDisplayed(errors.last()), 0);
  double real = 1.0;
  EXPECT_EQ(zyrStrategy_getRealParameter(hm, "NameManager_compositeCopyingStrategy", &real), 0);
  EXPECT_EQ(real, 0.0);
  EXPECT_EQ(zyrStrategy_setIntegerParameter(hm, "NameManager_bogus", 1), 0);
  EXPECT_EQ(zyrError_isDisplayed(errors.last()), 0);
  EXPECT_EQ(zyrStrategy_setIntegerParameter(hm, "Other_regionNameStrategy", 1), 0);
  EXPECT_EQ(errors.take(),
            (std::vector<std::string>{
                "10020: The parameter \"NameManager_regionNameStrategy\" has been passed a string value when it "
                "is\nexpecting an integer value.\n",
                "10020: The parameter \"NameManager_compositeCopyingStrategy\" is not a real parameter but \nan "
                "integer.\n",
                "10020: The parameter \"NameManager_bogus\" has not be recognised.\n",
                "10020: The parameter \"Other_regionNameStrategy\" has not be recognised.\n"}));
  EXPECT_EQ(integerParameter(hm, "NameManager_regionNameStrategy"), 2);

  // Refused values are published.
  EXPECT_EQ(zyrStrategy_setIntegerParameter(hm, "NameManager_regionNameStrategy", 5), 0);
  EXPECT_EQ(zyrError_isDisplayed(errors.last()), 1);
  EXPECT_EQ(zyrStrategy_setStringParameter(hm, "NameManager_defaultAssemblyName", nullptr), 0);
  EXPECT_EQ(zyrStrategy_setStringParameter(hm, "NameManager_defaultAssemblyName", "  "), 0);
  EXPECT_EQ(errors.take(),
            (std::vector<std::string>{
                "10020: The value of 5 which has been supplied for parameter\n\"NameManager_regionNameStrategy\" is "
                "not valid.\n",
                "10020: A null pointer has been supplied for parameter \"NameManager_defaultAssemblyName\".\n",
                "10020: The value of \"  \" which has been supplied for parameter\n"
                "\"NameManager_defaultAssemblyName\" is not valid.\n"}));

  // 0 leaves a strategy as it is; the tolerance takes any value and reads back exactly.
  EXPECT_EQ(zyrStrategy_setIntegerParameter(hm, "NameManager_regionNameStrategy", 0), 1);
  EXPECT_EQ(integerParameter(hm, "NameManager_regionNameStrategy"), 2);
  EXPECT_EQ(zyrStrategy_setIntegerParameter(hm, "NameManager_compositeCopyingStrategy", 2), 1);
  EXPECT_EQ(integerParameter(hm, "NameManager_compositeCopyingStrategy"), 2);
  ASSERT_EQ(zyrStrategy_setRealParameter(hm, "MeshMatching_relativeTolerance", -0.1234567890123), 1);
  double tolerance = 0.0;
  ASSERT_EQ(zyrStrategy_getRealParameter(hm, "MeshMatching_relativeTolerance", &tolerance), 1);
  EXPECT_EQ(tolerance, -0.1234567890123);
  ASSERT_EQ(zyrStrategy_setStringParameter(hm, "NameManager_defaultAssemblyName", "Part"), 1);
  ASSERT_EQ(zyrStrategy_getStringParameter(hm, "NameManager_defaultAssemblyName", &text), 1);
  EXPECT_STREQ(text, "Part");
  zyrCString_free(text);
}

namespace {
void toleranceChild(const zyrtest::SharedScratchDir &dir) {
        setenv("ZYR_USE_LOCAL_UNITS", "1", 1);
        unsetenv("ZYR_SESSION_FILE");
        int32_t hd = -1, hm = -1;
        require(zyrDatabase_open(dir.file("t.zyr").c_str(), &hd, &hm) == 1, 1);
        Model *model = nullptr;
        require(zyrAPI_getModel(hm, "test", &model) == 1, 2);
        const std::string notice = "\nThe relative tolerance used in all mesh matching has been overridden\nby the "
                                   "environment variable ZYR_OVERRIDE_MATCHING_TOLERANCE. The new\nvalue is\n"
                                   "           1.000000e-04\n\n";
        setenv("ZYR_OVERRIDE_MATCHING_TOLERANCE", "not a number", 1);
        testing::internal::CaptureStdout();
        require(Model_getActiveRelativeTolerance(model) == 0.005, 3);
        require(testing::internal::GetCapturedStdout().empty(), 4);
        setenv("ZYR_OVERRIDE_MATCHING_TOLERANCE", "1e-4", 1);
        testing::internal::CaptureStdout();
        require(Model_getActiveRelativeTolerance(model) == 1e-4, 5);
        require(Model_getActiveRelativeTolerance(model) == 1e-4, 6);
        require(testing::internal::GetCapturedStdout() == notice + notice, 7);
        require(Model_getRelativeTolerance(model) == 0.005, 8);
        double stored = 0.0;
        require(zyrStrategy_getRealParameter(hm, "MeshMatching_relativeTolerance", &stored) == 1 && stored == 0.005,
                9);
        unsetenv("ZYR_OVERRIDE_MATCHING_TOLERANCE");
        testing::internal::CaptureStdout();
        require(Model_getActiveRelativeTolerance(model) == 1e-4, 10);
        require(testing::internal::GetCapturedStdout().empty(), 11);
        require(zyrDatabase_close(hd, 1) == 1, 12);
        zyrtest::leaveChild(0);
      }

} // namespace

// The override is process-wide and sticky, so it is checked in a child.
TEST(ApiDeathTest, ToleranceOverrideIsAnnouncedEveryCallAndStaysInForce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  zyrtest::SharedScratchDir dir("ZYRTEST_TOLERANCE_DIR", "zyrtolerance");
  EXPECT_EXIT(toleranceChild(dir), testing::ExitedWithCode(0), "");
}

TEST_F(ApiTest, ModelPrintAndDump) {
  const int32_t hm = open("p.zyr");
  Model *model = nullptr;
  ASSERT_EQ(zyrAPI_getModel(hm, "test", &model), 1);
  char uuid[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(model, uuid);
  zyrtest::ScratchDir out("zyrdump");
  FILE *stream = std::fopen(out.file("dump.txt").c_str(), "w+");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(zyrModel_dump(hm, 100, stream), 1);
  EXPECT_EQ(zyrModel_dump(hm, 12345, stream), 1);
  EXPECT_EQ(std::ftell(stream), 0);
  EXPECT_EQ(zyrModel_dump(hm, 0, stream), 1);
  std::fclose(stream);
  const std::vector<std::string> lines = zyrtest::splitLines(zyrtest::readFile(out.file("dump.txt")));
  const std::string rule(46, '=');
  ASSERT_EQ(lines.size(), 13u);
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[1], rule);
  EXPECT_EQ(lines[2], std::string("Model: ") + uuid);
  EXPECT_EQ(lines[6].rfind("m_representation = ", 0), 0u);
  EXPECT_NE(lines[6], "m_representation = NOT SET");
  // The Model owns its Mesh.
  char mesh[ZYR_UUID_BASE64_SIZE];
  zyrObject_getUUIDString(Model_getMesh(model), mesh);
  EXPECT_EQ(lines[7], std::string("m_mesh           = ") + mesh);
  EXPECT_EQ(lines[8].rfind("m_repository     = ", 0), 0u);
  EXPECT_EQ(lines[10], "m_relativeTolerance = 5.000000e-03 (active = 5.000000e-03)");
  EXPECT_EQ(lines[11], rule);
}

TEST(ApiFunctionsTest, DimensionMaskSelectsDimensionalitiesByBit) {
  int flags[4];
  zyrDimensionMask_unpack(5, flags);
  EXPECT_EQ(std::vector<int>(flags, flags + 4), (std::vector<int>{1, 0, 1, 0}));
  zyrDimensionMask_unpack(15, flags);
  EXPECT_EQ(std::vector<int>(flags, flags + 4), (std::vector<int>{1, 1, 1, 1}));
}

TEST(ApiFunctionsTest, ErrorQueueEntryPoints) {
  zyrtest::ErrorCapture errors;
  int32_t count = 7;
  zyrError **list = reinterpret_cast<zyrError **>(&count);
  ASSERT_EQ(zyrApp_getErrors(&count, &list), 1);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(list, nullptr);
  zyrError_new(10020, "test", __FILE__, __LINE__);
  ASSERT_EQ(zyrApp_getErrors(&count, &list), 1);
  EXPECT_EQ(count, 1);
  zyrMemory_free(list, "test");
  ASSERT_EQ(zyrApp_clearErrors(), 1);
  ASSERT_EQ(zyrApp_getErrors(&count, &list), 1);
  EXPECT_EQ(count, 0);
}

TEST_F(ApiTest, LookUpsNameWhatTheyCouldNotFind) {
  const int32_t hm = open("l.zyr");
  Model *model = nullptr;
  ASSERT_EQ(zyrAPI_getModel(hm, "test", &model), 1);
  zyrtest::ErrorCapture errors;
  Region *region = reinterpret_cast<Region *>(model);
  Assembly *assembly = reinterpret_cast<Assembly *>(model);
  EXPECT_EQ(Model_findPrimitiveRegion(model, "Wall", &region), 0);
  EXPECT_EQ(region, nullptr);
  EXPECT_EQ(Model_findAssembly(model, "Body", &assembly), 0);
  EXPECT_EQ(assembly, nullptr);
  EXPECT_NE(Model_getNameManager(model, "caller"), nullptr);
  // A model without its topology has no names to offer.
  char *text = nullptr;
  int32_t value = 0;
  Model bare = *model;
  bare.m_topology = nullptr;
  EXPECT_EQ(Model_getNameManager(&bare, "zyrStrategy_getIntegerParameter"), nullptr);
  EXPECT_EQ(std::string(zyrError_getFunction(errors.last())), "zyrStrategy_getIntegerParameter");
  EXPECT_EQ(Model_setParameter(&bare, "NameManager_regionNameStrategy", MODEL_PARAMETER_INTEGER, nullptr, 3, 0.0), 0);
  EXPECT_EQ(errors.take(),
            (std::vector<std::string>{"10036: \"Wall\" is not a primitive region.\n",
                                      "10037: \"Body\" is not an assembly.\n",
                                      "20006: Unable to identify the name manager associated with a model.\n",
                                      "20006: Unable to identify the name manager associated with a model.\n"}));
  // The tolerance needs no names.
  double tolerance = 0.0;
  EXPECT_EQ(Model_getParameter(&bare, "MeshMatching_relativeTolerance", MODEL_PARAMETER_REAL, &text, &value, &tolerance),
            1);
  EXPECT_EQ(tolerance, 0.005);
}

TEST_F(ApiTest, RegionsAndAssembliesAreFoundByNameAfterAReopen) {
  int32_t hd = -1;
  int32_t hm = open("t.zyr", &hd);
  Model *model = nullptr;
  ASSERT_EQ(zyrAPI_getModel(hm, "test", &model), 1);
  Topology *topology = Model_getTopology(model);
  Assembly *rotor = Assembly_new(topology, "Rotor");
  ASSERT_NE(rotor, nullptr);
  ASSERT_NE(Region_new(topology, rotor, "Wall", 2), nullptr);
  Model_flushChanges(model);
  ASSERT_EQ(zyrDatabase_close(hd, 0), 1);
  closed(hd);

  hm = open("t.zyr", &hd);
  ASSERT_EQ(zyrAPI_getModel(hm, "test", &model), 1);
  zyrtest::ErrorCapture errors;
  Region *region = nullptr;
  Assembly *assembly = nullptr;
  ASSERT_EQ(Model_findPrimitiveRegion(model, "Wall", &region), 1);
  EXPECT_STREQ(Region_getUserName(region), "Wall");
  ASSERT_EQ(Model_findAssembly(model, "Rotor", &assembly), 1);
  EXPECT_STREQ(Assembly_getName(assembly), "Rotor");
  // An assembly is no primitive region, nor a region an assembly.
  EXPECT_EQ(Model_findPrimitiveRegion(model, "Rotor", &region), 0);
  EXPECT_EQ(Model_findAssembly(model, "Wall", &assembly), 0);
  EXPECT_EQ(errors.takeCodes(), (std::vector<int32_t>{10036, 10037}));

  // The topology and its names are dumped by their own codes.
  testing::internal::CaptureStdout();
  EXPECT_EQ(zyrModel_dump(hm, 200, stdout), 1);
  const std::string topologyDump = testing::internal::GetCapturedStdout();
  testing::internal::CaptureStdout();
  EXPECT_EQ(zyrModel_dump(hm, 201, stdout), 1);
  const std::string namesDump = testing::internal::GetCapturedStdout();
  EXPECT_NE(topologyDump.find("Rotor"), std::string::npos);
  EXPECT_NE(namesDump.find("No. of 2D regions created:        1"), std::string::npos);
}
