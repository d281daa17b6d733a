// An existing database is never made new nor read unupgraded by what a look before its open saw: a
// look that fails refuses, saying why, and a database put under a name meanwhile is taken as found.
#include "ApiTestSupport.h"
#include "Database.h"
#include "zyrAPI.h"
#include "zyrFault.h"
#include "zyrTestChild.h"
#include "zyrTestErrors.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char *const kStrategy = apitest::kMarkStrategy;
const char *const kOlder = "5.0 (2003.03.27-23.59)";

class ExistingDatabaseTest : public testing::Test {
protected:
  // A database whose model holds the strategy value 2; with a version text, of that release.
  void make(const std::string &name, const char *version = nullptr) {
    EXPECT_EQ(apitest::makeMarkedDatabase(name, version), "");
  }
  // In a child, with the fault plan armed for the name's looks: opens and closes the database.
  // "" when it opened with its model and closed, or was refused saying that a look failed (its
  // reason, EIO, told among the errors).
  static std::string openAndClose(const std::string &name, const std::string &plan) {
    return zyrtest::inChild([&] {
      zyrtest::ErrorCapture errors;
      zyrFault_arm(plan.c_str(), "s.zyr");
      int32_t hDatabase = -1, hModel = -1, value = 0;
      const int opened = zyrDatabase_open(name.c_str(), &hDatabase, &hModel);
      std::string problems;
      if (opened == 1 && (zyrStrategy_getIntegerParameter(hModel, kStrategy, &value) != 1 || value != 2))
        problems += "opened without its model\n";
      if (opened == 1 && zyrDatabase_close(hDatabase, 0) != 1)
        problems += "no close\n";
      zyrFault_disarm();
      const auto &told = errors.published();
      const bool why = std::any_of(told.begin(), told.end(), [](const zyrtest::RaisedError &e) {
        return zyrtest::contains(e.message, std::strerror(EIO));
      });
      if (opened != 1 && !why)
        problems += "refused for another reason\n";
      for (const zyrtest::RaisedError &e : problems.empty() ? decltype(told){} : told)
        problems += std::to_string(e.code) + ": " + e.message + "\n";
      return problems;
    });
  }

  zyrtest::EnvGuard m_units{"ZYR_USE_LOCAL_UNITS", "1"};
  zyrtest::EnvGuard m_session{"ZYR_SESSION_FILE", nullptr};
  zyrtest::ScratchDir m_dir{"zyrapi_existing"};
};

// Each look at the name during an open and close fails once: the open is refused, saying why, or
// opens the database with its model (an older one upgraded); the file keeps its model either way.
TEST_F(ExistingDatabaseTest, AnyOneLookFailingNeverOpensAnExistingDatabaseWithoutItsModel) {
  for (const char *version : {static_cast<const char *>(nullptr), kOlder}) {
    SCOPED_TRACE(version != nullptr ? "older release" : "current release");
    // Made anew for every open, which upgrades an older one.
    const std::string name = m_dir.file("s.zyr");
    make(name, version);
    const std::string counted = zyrtest::inChild([&] {
      zyrFault_arm("", "s.zyr");
      int32_t hDatabase = -1, hModel = -1;
      const int opened = zyrDatabase_open(name.c_str(), &hDatabase, &hModel);
      const long looks = zyrFault_passes(ZYR_FAULT_LOOK);
      zyrFault_disarm();
      return opened == 1 && zyrDatabase_close(hDatabase, -1) == 1 ? std::to_string(looks) : std::string();
    });
    const long looks = std::atol(counted.c_str());
    ASSERT_GE(looks, 2) << counted;
    for (long n = 1; n <= looks; ++n) {
      std::remove(name.c_str());
      make(name, version);
      EXPECT_EQ(openAndClose(name, "look@" + std::to_string(n)), "") << "look@" << n;
      EXPECT_EQ(openAndClose(name, ""), "") << "after look@" << n;
    }
    std::remove(name.c_str());
  }
}

// The first look at the name, whether the database exists, fails: the open is refused as an open,
// saying why, although a current database would open right without that look. It leaves the
// file as it was and gives no handles.
TEST_F(ExistingDatabaseTest, AnOpenWhoseFirstLookCannotTellRefusesSayingWhy) {
  const std::string name = m_dir.file("s.zyr");
  make(name);
  const std::string bytes = zyrtest::readFile(name);
  const std::string told = zyrtest::inChild([&] {
    zyrtest::ErrorCapture errors;
    zyrFault_arm("look@1", "s.zyr");
    int32_t hDatabase = 7, hModel = 7;
    const int opened = zyrDatabase_open(name.c_str(), &hDatabase, &hModel);
    zyrFault_disarm();
    std::string all = std::to_string(opened) + " " + std::to_string(hDatabase) + " " + std::to_string(hModel) + "\n";
    for (const zyrtest::RaisedError &error : errors.published())
      all += std::to_string(error.code) + ": " + error.message;
    return all;
  });
  EXPECT_EQ(told, "0 -1 -1\n10003: Whether the file\n\n" + name + "\n\nexists cannot be told (stat: " +
                      std::strerror(EIO) + ").\n");
  EXPECT_EQ(zyrtest::readFile(name), bytes);
}

// An import from another database refuses when a look at it cannot tell, and reads nothing of an
// older database that was put under its name after the look found none there to upgrade.
TEST_F(ExistingDatabaseTest, AnImportReadsOnlyAnUpgradedDatabaseWhateverItsLookSaw) {
  const std::string other = m_dir.file("s.zyr");
  make(other);
  const std::string failed = zyrtest::inChild([&] {
    zyrtest::ErrorCapture errors;
    int32_t hDatabase = -1, hModel = -1, count = 0;
    char **assemblies = nullptr;
    if (zyrDatabase_open(m_dir.file("t.zyr").c_str(), &hDatabase, &hModel) != 1)
      return std::string("no open");
    zyrFault_arm("look@1", "s.zyr");
    const int imported = zyrModel_importMesh(hModel, "ZYR", other.c_str(), "", "", "m", 0, &count, &assemblies);
    zyrFault_disarm();
    zyrDatabase_close(hDatabase, -1);
    return std::to_string(imported) + " " + zyrtest::ErrorCapture::take().front();
  });
  EXPECT_EQ(failed, "0 10032: Whether the file\n\n" + other + "\n\nexists cannot be told (stat: " +
                        std::strerror(EIO) + ").\n");

  const std::string helpers = ZYR_TEST_HELPER_DIR;
  const std::string zyrplay = helpers.substr(0, helpers.rfind('/')) + "/tools/zyrplay/zyrplay";
  const std::string put = m_dir.file("put.zyr");
  zyrtest::ChildProcess importer(zyrplay, {}, {{"ZYR_SESSION_FILE", nullptr}}, m_dir.path(), "import.looked");
  for (const char *line : {"zyrDatabase_open", "t.zyr", "zyrModel_importMesh", "0", "ZYR", "put.zyr", "", "", "m",
                           "0", "zyrDatabase_close", "0", "-1"})
    importer.send(line);
  importer.closeInput();
  ASSERT_EQ(importer.waitPause(), "import.looked");
  make(put, kOlder);
  const std::string bytes = zyrtest::readFile(put);
  importer.release();
  EXPECT_EQ(importer.wait(), 1);
  EXPECT_EQ(zyrtest::readFile(put), bytes);
}

} // namespace
