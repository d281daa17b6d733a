// The creation of a file cut off: a definition file whose maker is killed at any moment is either
// not there or opened by the next open (as a new file, with a warning, when it held no more than
// a creation leaves); a file still being made by a live process is left to it; a database whose
// first data set only looks unfinished is refused and left as it is.
#include "StoreTestSupport.h"

#include "Database.h"
#include "DefFile.h"
#include "zyrCString.h"
#include "zyrFault.h"
#include "zyrTestChild.h"
#include "zyrTestErrors.h"

#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <string>

namespace {

using storetest::readFile;
using storetest::writeFile;

const std::string kDriver = std::string(ZYR_TEST_HELPER_DIR) + "/store_driver";
const std::string kNewFile = "*INFO\n" + std::string(19, ' ') + "0\n*ENDINFO\n";
const char *const kMadeAnew = "held nothing but what a creation that was cut off leaves";

class CreationTest : public storetest::StoreTest {
protected:
  // Whether a warning published while the capture lived says that the file was made anew.
  static bool madeAnew(const zyrtest::ErrorCapture &errors, const std::string &name) {
    for (const zyrtest::RaisedError &e : errors.published())
      if (e.code == ZYR_W_INVALID_DATA_IGNORED && zyrtest::contains(e.message, kMadeAnew) &&
          zyrtest::contains(e.message, name))
        return true;
    return false;
  }
};

TEST_F(CreationTest, ADefinitionFileWhoseMakerIsKilledAnywhereIsNothingOrOpensAgain) {
  int remnants = 0;
  for (long n = 1;; ++n) {
    const std::string dir = path("k" + std::to_string(n));
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    const std::string name = dir + "/made.wez";
    const std::string made = zyrtest::inChild([&] {
      zyrFault_arm(("kill@" + std::to_string(n)).c_str(), nullptr);
      DefFile *file = DefFile_new(name.c_str());
      const bool ok = file != nullptr && DefFile_writeInt(file, "A", "B", 0, 7) == 1;
      DefFile_delete(file);
      return std::string(ok ? "made" : "failed");
    });
    if (made == "made")
      break;
    ASSERT_TRUE(zyrtest::contains(made, "signal " + std::to_string(SIGKILL))) << "kill@" << n << ": " << made;
    if (!zyrtest::fileExists(name))
      continue;
    zyrtest::ErrorCapture errors;
    DefFile *file = DefFile_new(name.c_str());
    ASSERT_NE(file, nullptr) << "kill@" << n;
    int32_t value = 0;
    if (DefFile_readInt(file, "A", "B", 0, &value) == 1) {
      EXPECT_EQ(value, 7) << "kill@" << n;
      EXPECT_FALSE(madeAnew(errors, name)) << "kill@" << n;
    } else {
      // Nothing of the data set was there: the file is new again, and the user heard what it held.
      ++remnants;
      EXPECT_TRUE(madeAnew(errors, name)) << "kill@" << n;
      EXPECT_EQ(readFile(name), kNewFile) << "kill@" << n;
      EXPECT_EQ(DefFile_writeInt(file, "A", "B", 0, 8), 1) << "kill@" << n;
    }
    DefFile_delete(file);
    if (HasFailure())
      return;
  }
  // Empty, only the information block, the data set's first bytes, the data set before its length.
  EXPECT_GE(remnants, 4);
}

TEST_F(CreationTest, AFileIsMadeAnewOnlyWhenNoLiveProcessIsMakingIt) {
  const std::string name = path("s.zyr");
  {
    // Held while its creation has written the information block, and not further.
    zyrtest::ChildProcess maker(kDriver, {}, {}, dir(), "open.created@1");
    ASSERT_TRUE(maker.send("open s.zyr"));
    ASSERT_EQ(maker.waitPause(), "open.created");
    ASSERT_EQ(readFile(name), kNewFile);
    {
      // Refused as a file in use by its maker, never called no database.
      zyrtest::ErrorCapture errors;
      EXPECT_EQ(Database_new(name.c_str()), nullptr);
      EXPECT_FALSE(madeAnew(errors, name));
      ASSERT_EQ(errors.published().size(), 1u);
      EXPECT_EQ(errors.published()[0].code, ZYR_U_DATABASE_IS_LOCKED);
      EXPECT_EQ(errors.published()[0].message,
                "The supplied file name, " + name + ", can not\nbe opened: another process (process id " +
                    std::to_string(maker.pid()) +
                    ") is making it.\n\nThe open can be tried again when that process has finished with the file.\n");
    }
    EXPECT_EQ(readFile(name), kNewFile);
    maker.release();
    EXPECT_EQ(maker.readLine(), "ok 1");
    EXPECT_EQ(maker.ask("close 0"), "ok 1");
  }
  Database *database = Database_new(name.c_str());
  ASSERT_NE(database, nullptr);
  EXPECT_FALSE(Database_isNew(database));
  Database_delete(database);

  // The same moment, with the maker killed there: nobody is making the file any more.
  ASSERT_EQ(std::remove(name.c_str()), 0);
  {
    zyrtest::ChildProcess maker(kDriver, {}, {}, dir(), "open.created@1");
    ASSERT_TRUE(maker.send("open s.zyr"));
    ASSERT_EQ(maker.waitPause(), "open.created");
    maker.kill();
    maker.wait();
  }
  zyrtest::ErrorCapture errors;
  database = Database_new(name.c_str());
  ASSERT_NE(database, nullptr);
  EXPECT_TRUE(Database_isNew(database));
  EXPECT_TRUE(madeAnew(errors, name));
  char *version = nullptr;
  EXPECT_EQ(Database_getString(database, 0, nullptr, "Version", &version), 1);
  zyrCString_free(version);
  Database_delete(database);
}

TEST_F(CreationTest, ADatabaseWhoseFirstDataSetLooksUnfinishedIsRefusedAndLeftAsItIs) {
  // A database killed after its commits (its index not stored), then its first length field 0.
  {
    zyrtest::ChildProcess driver(kDriver, {}, {}, dir());
    EXPECT_EQ(driver.ask("open s.zyr"), "ok 1");
    EXPECT_EQ(driver.ask("new a 1"), "ok 1");
    EXPECT_EQ(driver.ask("commit"), "ok 2");
    driver.send("kill");
    driver.wait();
  }
  const std::string name = path("s.zyr");
  std::string bytes = readFile(name);
  ASSERT_GT(bytes.size(), 43u);
  ASSERT_EQ(bytes.substr(36, 3), "u5\n");
  bytes.replace(39, 4, std::string(4, '\0'));
  writeFile(name, bytes);
  zyrtest::ErrorCapture errors;
  EXPECT_EQ(Database_new(name.c_str()), nullptr);
  EXPECT_FALSE(madeAnew(errors, name));
  EXPECT_EQ(readFile(name), bytes);
}

// Whether a file is what a creation cut off leaves is asked of the file the open holds, not of what
// its name leads to by then: a data-set file that is no database, renamed while it is being opened
// and replaced by a new file that another process holds, is told as no database (the other file is
// neither called the held one's maker nor opened instead). Both files stay as they were.
TEST_F(CreationTest, WhatACreationLeftIsAskedOfTheFileTheOpenHolds) {
  const std::string name = path("s.zyr"), renamed = path("mine.zyr");
  DefFile *file = DefFile_new(name.c_str());
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(DefFile_writeInt(file, "A", "B", 0, 7), 1);
  DefFile_delete(file);
  const std::string bytes = readFile(name);
  zyrtest::ChildProcess opener(kDriver, {}, {}, dir(), "open.unversioned");
  ASSERT_TRUE(opener.send("open s.zyr"));
  ASSERT_EQ(opener.waitPause(), "open.unversioned");
  ASSERT_EQ(std::rename(name.c_str(), renamed.c_str()), 0);
  writeFile(name, kNewFile);
  const zyrtest::LockHolder maker(name, LOCK_EX);
  ASSERT_TRUE(maker.holds());
  opener.release();
  EXPECT_EQ(opener.readLine(), "fail 0 10020 10003");
  EXPECT_EQ(readFile(renamed), bytes);
  EXPECT_EQ(readFile(name), kNewFile);
}

// A file that a live process is making, renamed while another process opens it, and replaced by a
// database that a third process reads: that reader is not named as the maker of the file the open
// found. The name is opened anew, and the database there opened.
TEST_F(CreationTest, TheMakerOfAFileIsNamedOnlyWhileItsNameLeadsToIt) {
  const std::string name = path("s.zyr"), renamed = path("made.zyr");
  writeFile(name, kNewFile);
  const zyrtest::LockHolder maker(name, LOCK_SH);
  ASSERT_TRUE(maker.holds());
  zyrtest::ChildProcess opener(kDriver, {}, {}, dir(), "open.unversioned");
  ASSERT_TRUE(opener.send("open s.zyr"));
  ASSERT_EQ(opener.waitPause(), "open.unversioned");
  ASSERT_EQ(std::rename(name.c_str(), renamed.c_str()), 0);
  zyrtest::ChildProcess writer(kDriver, {}, {}, dir());
  // It takes over the lock file that the renamed file left under the name.
  ASSERT_EQ(writer.ask("open s.zyr"), "ok 1 4");
  ASSERT_EQ(writer.ask("close 0"), "ok 1");
  const zyrtest::LockHolder reader(name, LOCK_SH);
  ASSERT_TRUE(reader.holds());
  opener.release();
  EXPECT_EQ(opener.readLine(), "ok 1");
  EXPECT_EQ(opener.ask("close -1"), "ok 1");
  EXPECT_EQ(readFile(renamed), kNewFile);
}

} // namespace
