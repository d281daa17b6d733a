// The creation of a database through the procedural interface cut off or failing at any moment:
// a process killed while it opens and closes a new database leaves nothing or a database that the
// next open takes; a creation that fails (a full disc, a name too long for the files beside it)
// leaves nothing.
#include "zyrAPI.h"
#include "zyrFault.h"
#include "zyrLeftovers.h"
#include "zyrTestChild.h"
#include "zyrTestErrors.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <csignal>
#include <cstring>
#include <set>
#include <string>
#include <sys/stat.h>

namespace {

class DatabaseCreationTest : public testing::Test {
protected:
  // In a child: opens (making) the database and closes it; "" when both succeeded.
  static std::string openAndClose(const std::string &name, const std::string &plan = "",
                                  const std::string &faultFile = "") {
    return zyrtest::inChild([&] {
      zyrtest::ErrorCapture errors;
      if (!plan.empty())
        zyrFault_arm(plan.c_str(), faultFile.empty() ? nullptr : faultFile.c_str());
      int32_t hDatabase = -1, hModel = -1;
      const int opened = zyrDatabase_open(name.c_str(), &hDatabase, &hModel);
      const int closed = opened == 1 ? zyrDatabase_close(hDatabase, 0) : 0;
      zyrFault_disarm();
      std::string problems = opened != 1 ? "no open\n" : closed != 1 ? "no close\n" : "";
      if (!problems.empty())
        for (const zyrtest::RaisedError &e : errors.published())
          problems += std::to_string(e.code) + ": " + e.message + "\n";
      return problems;
    });
  }
  std::string subdirectory(const std::string &name) const {
    const std::string made = m_dir.file(name);
    EXPECT_EQ(mkdir(made.c_str(), 0755), 0);
    return made;
  }

  zyrtest::EnvGuard m_units{"ZYR_USE_LOCAL_UNITS", "1"};
  zyrtest::EnvGuard m_session{"ZYR_SESSION_FILE", nullptr};
  zyrtest::ScratchDir m_dir{"zyrapi_creation"};
};

// Killed at each of its first hand-overs of bytes to the system (the file's information block and
// first data sets), then at every tenth up to the end of the close; each file left is opened after.
TEST_F(DatabaseCreationTest, AProcessKilledWhileItMakesADatabaseLeavesNothingOrOneThatOpens) {
  std::vector<std::string> left;
  for (long n = 1;; n += n < 24 ? 1 : 10) {
    const std::string name = subdirectory("k" + std::to_string(n)) + "/new.zyr";
    const std::string ended = openAndClose(name, "kill@" + std::to_string(n));
    if (ended.empty())
      break;
    ASSERT_TRUE(zyrtest::contains(ended, "signal " + std::to_string(SIGKILL))) << "kill@" << n << ": " << ended;
    if (zyrtest::fileExists(name))
      left.push_back(name);
  }
  EXPECT_GE(left.size(), 20u);
  const std::string reopened = zyrtest::inChild([&] {
    std::string problems;
    for (const std::string &name : left) {
      const std::string bytes = std::to_string(zyrtest::fileSize(name)) + " bytes";
      int32_t hDatabase = -1, hModel = -1;
      if (zyrDatabase_open(name.c_str(), &hDatabase, &hModel) != 1)
        problems += name + " (" + bytes + ") does not open\n";
      else if (zyrDatabase_close(hDatabase, 0) != 1)
        problems += name + " (" + bytes + ") does not close\n";
    }
    return problems;
  });
  EXPECT_EQ(reopened, "");
}

TEST_F(DatabaseCreationTest, AFullDiscWhileADatabaseIsMadeLeavesNothing) {
  // The writes and flushes of the open that makes the database.
  const std::string dir = subdirectory("count");
  const std::string counted = zyrtest::inChild([&] {
    zyrFault_arm("", dir.c_str());
    int32_t hDatabase = -1, hModel = -1;
    if (zyrDatabase_open((dir + "/new.zyr").c_str(), &hDatabase, &hModel) != 1)
      return std::string();
    const std::string passes =
        std::to_string(zyrFault_passes(ZYR_FAULT_WRITE)) + " " + std::to_string(zyrFault_passes(ZYR_FAULT_FLUSH));
    zyrFault_disarm();
    zyrDatabase_close(hDatabase, 0);
    return passes;
  });
  long writes = 0, flushes = 0;
  ASSERT_EQ(sscanf(counted.c_str(), "%ld %ld", &writes, &flushes), 2) << counted;
  // Each of the first (the information block, the first data set), then a sample spread evenly.
  int failed = 0;
  for (const char *kind : {"full@", "flush@"}) {
    const long passes = kind[1] == 'u' ? writes : flushes;
    std::set<long> sample = {1, 2, 3, 4, 5, 6};
    for (long i = 0; i < 12; ++i)
      sample.insert(1 + i * (passes - 1) / 11);
    for (long n : sample) {
      const std::string plan = kind + std::to_string(n);
      zyrtest::ScratchDir here("disc", m_dir.path());
      const std::string ended = openAndClose(here.file("new.zyr"), plan, here.path());
      if (!zyrtest::contains(ended, "no open"))
        continue;
      ++failed;
      EXPECT_EQ(here.listing(), std::vector<std::string>()) << plan << ": " << ended;
    }
  }
  EXPECT_GE(failed, 10);
}

// Every name whose lock file the system takes makes a database, whatever this process's id: what
// its closes and its copy make beside it (the lock file's new counts, the compacted or purged copy,
// the old file set aside) fits wherever the name fits. A longer name makes nothing, and the error
// says that the name is too long.
TEST_F(DatabaseCreationTest, EveryNameWhoseLockFileFitsMakesADatabaseAndALongerOneNothing) {
  const size_t most = zyrLeftovers_nameMax(m_dir.path().c_str());
  const std::string name = m_dir.file(std::string(most - 8, 'n') + ".zyr");
  const std::string copy = m_dir.file(std::string(most - 8, 'c') + ".zyr");
  const char *const strategy = "NameManager_compositeCopyingStrategy";
  for (int32_t purge : {0, 1, -1}) {
    const std::string problems = zyrtest::inChild([&] {
      zyrtest::ErrorCapture errors;
      std::string found;
      int32_t hDatabase = -1, hModel = -1, value = 0;
      if (zyrDatabase_open(name.c_str(), &hDatabase, &hModel) != 1 ||
          zyrStrategy_setIntegerParameter(hModel, strategy, 2) != 1 ||
          zyrDatabase_copy(hDatabase, copy.c_str(), 0, 0) != 1 || zyrDatabase_close(hDatabase, purge) != 1)
        found += "first session\n";
      for (const std::string &file : {name, copy})
        if (zyrDatabase_open(file.c_str(), &hDatabase, &hModel) != 1 ||
            zyrStrategy_getIntegerParameter(hModel, strategy, &value) != 1 || value != 2 ||
            zyrDatabase_close(hDatabase, purge) != 1)
          found += "reopen of " + file.substr(file.size() - 8) + "\n";
      for (const zyrtest::RaisedError &e : errors.published())
        if (!found.empty())
          found += std::to_string(e.code) + ": " + e.message + "\n";
      return found;
    });
    EXPECT_EQ(problems, "") << "close " << purge;
    std::set<std::string> left;
    for (const std::string &file : m_dir.listing())
      left.insert(file.substr(file.size() - 8));
    EXPECT_EQ(left, (std::set<std::string>{"nnnn.zyr", "cccc.zyr"})) << "close " << purge;
    std::remove(copy.c_str());
  }

  const std::string longer = m_dir.file(std::string(most - 7, 'l') + ".zyr");
  const std::string ended = openAndClose(longer);
  EXPECT_TRUE(zyrtest::contains(ended, longer + ",") && zyrtest::contains(ended, strerror(ENAMETOOLONG))) << ended;
  EXPECT_EQ(m_dir.listing().size(), 1u);
}

} // namespace
