// A call the system fails (a look, a write) is told as that call with the system's reason, never
// as another cause: not as another file under a name, another file's lock file, a file of the
// wrong format, a pipe, a file to be read only, or a directory that is not there.
#include "ApiTestSupport.h"
#include "Database.h"
#include "zyrAPI.h"
#include "zyrFault.h"
#include "zyrTestChild.h"
#include "zyrTestErrors.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

const char *const kStrategy = apitest::kMarkStrategy;
const char *const kOlder = "5.0 (2003.03.27-23.59)";

// Words that a single failed look or write never earns.
const char *const kOtherCauses[] = {"led elsewhere",     "another file's",  "no longer leads to it",
                                    "wrong format",      "Illegal seek",    "opened for reading only",
                                    "already exist",     "writing it already", "lock file cannot be written",
                                    "does not exist"};

// The fault seam's name of the error.
std::string errorName(int error) { return error == ENOENT ? "ENOENT" : "EIO"; }

class FailedCallTest : public testing::Test {
protected:
  // A database whose model holds the strategy value 2; with a version text, of that release. Its
  // bytes, which every case starts from again.
  std::string make(const char *version = nullptr) {
    const std::string name = m_dir.file("s.zyr");
    EXPECT_EQ(apitest::makeMarkedDatabase(name, version), "");
    return zyrtest::readFile(name);
  }
  // The directory holds the database's bytes again, and nothing else.
  void restore(const std::string &bytes) {
    for (const std::string &name : m_dir.listing())
      std::remove(m_dir.file(name).c_str());
    zyrtest::writeFile(m_dir.file("s.zyr"), bytes);
  }
  // How many passes of the kind the work makes on files whose path holds `file`.
  long passes(int kind, const char *file, const std::function<bool()> &work) {
    const std::string counted = zyrtest::inChild([&] {
      zyrFault_arm("", file);
      const bool done = work();
      const long n = zyrFault_passes(kind);
      zyrFault_disarm();
      return done ? std::to_string(n) : std::string("failed");
    });
    EXPECT_NE(counted, "failed");
    return std::atol(counted.c_str());
  }
  // In a child, with the plan armed on files whose path holds `file`: the work, which answers
  // whether it went through. "" when it did, or when it was refused with the first error published
  // holding `reason` and no error naming another cause; else what was wrong, with the errors.
  // *refused counts the refusals; *first (may be NULL) receives the first error's words.
  static std::string toldAsItself(const std::string &plan, const char *file, const std::string &reason,
                                  const std::function<bool()> &work, int *refused, std::string *first = nullptr) {
    const std::string told = zyrtest::inChild([&] {
      zyrtest::ErrorCapture errors;
      zyrFault_arm(plan.c_str(), file);
      const bool done = work();
      zyrFault_disarm();
      std::string problems;
      const auto &published = errors.published();
      if (!done && (published.empty() || !zyrtest::contains(published.front().message, reason)))
        problems += "refused without saying why first\n";
      for (const zyrtest::RaisedError &error : published)
        for (const char *other : kOtherCauses)
          if (zyrtest::contains(error.message, other))
            problems += std::string("told as \"") + other + "\"\n";
      for (const zyrtest::RaisedError &error : problems.empty() ? decltype(published){} : published)
        problems += std::to_string(error.code) + ": " + error.message + "\n";
      const std::string words = published.empty() ? std::string() : published.front().message;
      return (done ? "done\n" : "refused\n") + std::to_string(words.size()) + "\n" + words + problems;
    });
    const bool wasRefused = told.rfind("refused\n", 0) == 0;
    *refused += wasRefused ? 1 : 0;
    const size_t sizeAt = told.find('\n') + 1, wordsAt = told.find('\n', sizeAt) + 1;
    const size_t size = std::strtoul(told.c_str() + sizeAt, nullptr, 10);
    if (first != nullptr)
      *first = told.substr(wordsAt, size);
    return told.substr(wordsAt + size);
  }
  // Opens the database, changes its model and closes it with the purge of its history.
  static bool openAndPurge() {
    int32_t hDatabase = -1, hModel = -1;
    if (zyrDatabase_open("s.zyr", &hDatabase, &hModel) != 1)
      return false;
    zyrStrategy_setIntegerParameter(hModel, kStrategy, 1);
    return zyrDatabase_close(hDatabase, 1) == 1;
  }
  static bool openAndClose() {
    int32_t hDatabase = -1, hModel = -1, value = 0;
    if (zyrDatabase_open("s.zyr", &hDatabase, &hModel) != 1)
      return false;
    const bool whole = zyrStrategy_getIntegerParameter(hModel, kStrategy, &value) == 1 && value == 2;
    return zyrDatabase_close(hDatabase, -1) == 1 && whole;
  }

  zyrtest::EnvGuard m_units{"ZYR_USE_LOCAL_UNITS", "1"};
  zyrtest::EnvGuard m_session{"ZYR_SESSION_FILE", nullptr};
  zyrtest::ScratchDir m_dir{"zyrapi_failedcall"};
  zyrtest::WorkingDir m_here{m_dir.path()};
  const std::string m_eio = std::strerror(EIO);
};

// The sweeps of the looks at the temporaries, each look failing (EIO) or finding nothing where the
// file stands (ENOENT), one test for each.
class FailedLookTest : public FailedCallTest, public testing::WithParamInterface<int> {
protected:
  std::string planOf(long n) const { return "look@" + std::to_string(n) + ":" + errorName(GetParam()); }
};

// Each look at the purge's copies (the copy of the file, the purged copy swapped in) fails once,
// or finds nothing where the copy stands: the purge goes through or says that a look failed, and
// why.
TEST_P(FailedLookTest, APurgeWhoseLookAtItsCopyFailsSaysSo) {
  const std::string bytes = make();
  const long looks = passes(ZYR_FAULT_LOOK, "compact", openAndPurge);
  ASSERT_GE(looks, 20);
  int refused = 0;
  for (long n = 1; n <= looks; ++n) {
    restore(bytes);
    EXPECT_EQ(toldAsItself(planOf(n), "compact", std::strerror(GetParam()), openAndPurge, &refused), "") << planOf(n);
  }
  EXPECT_GE(refused, looks / 2);
}

// Each look at the database's name fails once during a purge that a reader asks of its close:
// the claim of the writer, which looks whose the lock file is, says that the look failed.
TEST_F(FailedCallTest, AClaimWhoseLookAtTheDatabaseFailsSaysSo) {
  const std::string bytes = make();
  int32_t hDatabase = -1;
  const auto purge = [&] { return zyrDatabase_close(hDatabase, 1) == 1; };
  const auto opened = [&](const std::function<bool()> &work) {
    return [&, work] {
      int32_t hModel = -1;
      return zyrDatabase_open("s.zyr", &hDatabase, &hModel) == 1 && (zyrFault_arm("", "s.zyr"), work());
    };
  };
  restore(bytes);
  const long looks = passes(ZYR_FAULT_LOOK, "s.zyr", opened(purge));
  ASSERT_GE(looks, 2);
  int refused = 0;
  bool claim = false;
  for (long n = 1; n <= looks; ++n) {
    restore(bytes);
    const std::string plan = "look@" + std::to_string(n);
    std::string first;
    const auto armedPurge = [&] { return zyrFault_arm(plan.c_str(), "s.zyr") == 1 && purge(); };
    EXPECT_EQ(toldAsItself("", "s.zyr", m_eio, opened(armedPurge), &refused, &first), "") << plan;
    claim = claim || zyrtest::contains(first, "Unable to claim the WEZ data file for writing: a look at it failed "
                                              "(stat: " + m_eio + ").\n");
  }
  EXPECT_TRUE(claim);
}

// Each look at the temporaries of an open that upgrades an older database (its upgraded copy, the
// compaction of that copy) fails once, or finds nothing where the copy stands: the database opens
// with its model, or the open says that a look failed, and why. A copy whose look finds nothing
// is never made a new, empty database.
TEST_P(FailedLookTest, AnUpgradingOpenWhoseLookAtItsCopiesFailsSaysSo) {
  const std::string bytes = make(kOlder);
  restore(bytes);
  const long looks = passes(ZYR_FAULT_LOOK, ".zyr-pid", openAndClose);
  ASSERT_GE(looks, 20);
  int refused = 0;
  for (long n = 1; n <= looks; ++n) {
    restore(bytes);
    EXPECT_EQ(toldAsItself(planOf(n), ".zyr-pid", std::strerror(GetParam()), openAndClose, &refused), "")
        << planOf(n);
  }
  EXPECT_GE(refused, looks / 2);
}

INSTANTIATE_TEST_SUITE_P(Error, FailedLookTest, testing::Values(EIO, ENOENT),
                         [](const testing::TestParamInfo<int> &info) { return errorName(info.param); });

// Each look at the other database of an import fails once: the import says that a look failed,
// and why (a failed fstat is no pipe, nor a file of the wrong format).
TEST_F(FailedCallTest, AnImportWhoseLookAtTheOtherDatabaseFailsSaysSo) {
  const std::string bytes = make();
  const auto import = [] {
    int32_t hDatabase = -1, hModel = -1, count = 0;
    char **assemblies = nullptr;
    if (zyrDatabase_open("t.zyr", &hDatabase, &hModel) != 1)
      return false;
    const int imported = zyrModel_importMesh(hModel, "ZYR", "s.zyr", "", "", "m", 0, &count, &assemblies);
    return zyrDatabase_close(hDatabase, -1) == 1 && imported == 1;
  };
  restore(bytes);
  const long looks = passes(ZYR_FAULT_LOOK, "s.zyr", import);
  ASSERT_GE(looks, 4);
  int refused = 0;
  bool descriptor = false;
  for (long n = 1; n <= looks; ++n) {
    restore(bytes);
    std::string first;
    EXPECT_EQ(toldAsItself("look@" + std::to_string(n), "s.zyr", m_eio, import, &refused, &first), "")
        << "look@" << n;
    descriptor = descriptor || zyrtest::contains(first, "be opened: a look at it failed (fstat: " + m_eio + ").\n");
  }
  EXPECT_EQ(refused, looks);
  // Among them the look at the file its open holds.
  EXPECT_TRUE(descriptor);
}

// A copy whose first write meets a full disc says that the write of the copy failed, and why,
// before anything else.
TEST_F(FailedCallTest, ACopyWhoseFirstWriteFindsTheDiscFullSaysSoFirst) {
  const std::string bytes = make();
  const std::string full = std::strerror(ENOSPC);
  for (const char *plan : {"full@1", "write@1:ENOSPC"}) {
    SCOPED_TRACE(plan);
    restore(bytes);
    const std::string told = zyrtest::inChild([&] {
      int32_t hDatabase = -1, hModel = -1;
      if (zyrDatabase_open("s.zyr", &hDatabase, &hModel) != 1)
        return std::string("no open");
      zyrtest::ErrorCapture errors;
      zyrFault_arm(plan, "c.zyr");
      const int copied = zyrDatabase_copy(hDatabase, "c.zyr", 0, 0);
      zyrFault_disarm();
      zyrDatabase_close(hDatabase, -1);
      std::string all;
      for (const zyrtest::RaisedError &error : errors.published())
        all += std::to_string(error.code) + ": " + error.message + "\n";
      return std::to_string(copied) + "\n" + all;
    });
    EXPECT_EQ(told.rfind("0\n10020: The supplied secondary file name, ", 0), 0u) << told;
    EXPECT_TRUE(zyrtest::contains(told, "can not\nbe opened: a write of it failed (write: " + full + ").\n")) << told;
    for (const char *other : kOtherCauses)
      EXPECT_FALSE(zyrtest::contains(told, other)) << told;
    EXPECT_FALSE(zyrtest::fileExists(m_dir.file("c.zyr")));
  }
}

// A database whose open for writing the system fails otherwise than for its permissions (a failing
// device) is refused saying so, as it stands: it is not opened for reading as one this process may
// not write.
TEST_F(FailedCallTest, ADatabaseWhoseOpenFailsIsRefusedRatherThanOpenedForReading) {
  const std::string bytes = make();
  restore(bytes);
  const std::string told = zyrtest::inChild([] {
    zyrtest::ErrorCapture errors;
    zyrFault_arm("open@1", "s.zyr");
    int32_t hDatabase = -1, hModel = -1;
    const int opened = zyrDatabase_open("s.zyr", &hDatabase, &hModel);
    zyrFault_disarm();
    std::string all = std::to_string(opened) + "\n";
    for (const zyrtest::RaisedError &error : errors.published())
      all += std::to_string(error.code) + ": " + error.message;
    if (opened == 1)
      zyrDatabase_close(hDatabase, -1);
    return all;
  });
  EXPECT_EQ(told.rfind("0\n", 0), 0u) << told;
  EXPECT_TRUE(zyrtest::contains(told, "can not\nbe opened: an open of it failed (open: " + m_eio + ").\n")) << told;
  EXPECT_FALSE(zyrtest::contains(told, "writable")) << told;
  EXPECT_EQ(zyrtest::readFile("s.zyr"), bytes);
}

// A working directory that cannot be looked at is not said to be missing.
TEST_F(FailedCallTest, AWorkingDirectoryThatCannotBeLookedAtIsNotToldAsMissing) {
  const std::string told = zyrtest::inChild([] {
    zyrtest::ErrorCapture errors;
    zyrFault_arm("look@1", nullptr);
    const int set = zyrApp_setWorkingDirectory(".");
    zyrFault_disarm();
    return std::to_string(set) + " " + zyrtest::ErrorCapture::take().front();
  });
  EXPECT_EQ(told, "0 10020: Whether the file\n\n.\n\nexists cannot be told (stat: " + m_eio + ").\n");
}

} // namespace
