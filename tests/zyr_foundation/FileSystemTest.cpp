#include "TestSupport.h"
#include "zyrTestChild.h"
#include "zyrTestErrors.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrFault.h"
#include "zyrErrorManager.h"
#include "zyrMemory.h"
#include "zyrLeftovers.h"
#include "zyrSystem.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using zyrtest::readFile;
using zyrtest::ScratchDir;
using zyrtest::writeFile;

std::string take(char *text) {
  std::string out = text ? text : "<NULL>";
  zyrCString_free(text);
  return out;
}

std::set<std::string> entries(const std::string &directory) {
  std::set<std::string> names;
  for (const auto &entry : fs::directory_iterator(directory))
    names.insert(entry.path().filename().string());
  return names;
}

std::string randomBytes(size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(count, '\0');
  for (char &c : bytes)
    c = static_cast<char>(random());
  return bytes;
}

// Keeps the published errors of one test and leaves the manager empty.
class ErrorsSeen : public testing::Test {
protected:
  void SetUp() override { zyrErrorManager_clearErrors(zyrErrorManager_get()); }
  void TearDown() override { zyrErrorManager_clearErrors(zyrErrorManager_get()); }
  // Code and message of every record held, oldest first.
  std::vector<std::pair<int32_t, std::string>> errors() {
    int32_t count = 0;
    zyrError **records = nullptr;
    zyrErrorManager_getErrors(zyrErrorManager_get(), &count, &records);
    std::vector<std::pair<int32_t, std::string>> out;
    for (int32_t i = 0; i < count; ++i)
      out.emplace_back(zyrError_getCode(records[i]), zyrError_getMessage(records[i]));
    zyrMemory_free(records, __func__);
    return out;
  }
};

// ---- Tests on files ----

TEST(FileSystem, FileAndDirectoryTests) {
  ScratchDir dir;
  writeFile(dir.file("f"), "x");
  EXPECT_EQ(zyrIsFile(dir.file("f").c_str()), 0x8000);
  EXPECT_EQ(zyrIsFile(dir.path().c_str()), 0);
  EXPECT_EQ(zyrIsFile(dir.file("missing").c_str()), 0);
  EXPECT_EQ(zyrIsFile(nullptr), 0);
  EXPECT_EQ(zyrDoesFileExist(dir.path().c_str()), 1);
  EXPECT_EQ(zyrIsDirectory(dir.path().c_str()), 1);
  EXPECT_EQ(zyrIsDirectory(dir.file("f").c_str()), 0);

  EXPECT_EQ(zyrCreateDirectory(dir.file("sub").c_str()), 1);
  EXPECT_EQ(zyrCreateDirectory(dir.file("sub").c_str()), 0);
  EXPECT_EQ(zyrRemoveFile(dir.file("sub").c_str()), 0);
  EXPECT_EQ(zyrIsDirectory(dir.file("sub").c_str()), 1);
  EXPECT_EQ(zyrRenameFile(dir.file("f").c_str(), dir.file("g").c_str()), 1);
  EXPECT_EQ(zyrRenameFile(dir.file("f").c_str(), dir.file("h").c_str()), 0);
  EXPECT_EQ(zyrRemoveFile(dir.file("g").c_str()), 1);
  EXPECT_EQ(zyrRemoveFile(dir.file("g").c_str()), 0);
}

TEST(FileSystem, RemoveDatabaseFileTakesTheLockFileAlong) {
  ScratchDir dir;
  const std::string db = dir.file("model.zyr");
  EXPECT_EQ(zyrRemoveDatabaseFile(db.c_str()), 1);
  writeFile(db, "data");
  writeFile(db + ".lck", "lock");
  EXPECT_EQ(zyrRemoveDatabaseFile(db.c_str()), 1);
  EXPECT_TRUE(entries(dir.path()).empty());
  writeFile(db + ".lck", "lock");
  EXPECT_EQ(zyrRemoveDatabaseFile(db.c_str()), 1);
  EXPECT_TRUE(entries(dir.path()).empty());
}

TEST(FileSystem, FileInPathSearchesEveryEntry) {
  ScratchDir a, b;
  writeFile(b.file("tool"), "");
  const char *saved = std::getenv("PATH");
  const std::string previous = saved ? saved : "";
  setenv("PATH", (a.path() + "::" + b.path()).c_str(), 1);
  EXPECT_EQ(zyrIsFileInPath("tool"), 1);
  EXPECT_EQ(zyrIsFileInPath("other"), 0);
  unsetenv("PATH");
  EXPECT_EQ(zyrIsFileInPath("tool"), 0);
  setenv("PATH", previous.c_str(), 1);
}

TEST(FileSystem, CanCreateFileLeavesNothingBehind) {
  ScratchDir dir;
  EXPECT_EQ(zyrCanCreateFile(dir.file("probe").c_str()), 1);
  EXPECT_TRUE(entries(dir.path()).empty());
  EXPECT_EQ(zyrCanCreateFile(dir.file("missing/probe").c_str()), 0);
}

// ---- Copying ----

TEST(FileSystem, CopyGivesTheExactBytes) {
  ScratchDir dir;
  const std::string bytes = randomBytes(3 * 1024 * 1024 + 17, 1);
  writeFile(dir.file("src"), bytes);
  writeFile(dir.file("empty"), "");
  EXPECT_EQ(zyrCopyFile(dir.file("src").c_str(), dir.file("dst").c_str()), 1);
  EXPECT_EQ(readFile(dir.file("dst")), bytes);
  EXPECT_EQ(zyrCopyFile(dir.file("empty").c_str(), dir.file("dst").c_str()), 1);
  EXPECT_EQ(readFile(dir.file("dst")), "");
  EXPECT_EQ((entries(dir.path())), (std::set<std::string>{"src", "empty", "dst"}));
}

TEST(FileSystem, CopyReplacesAnExistingFileKeepingItsPermissions) {
  ScratchDir dir;
  writeFile(dir.file("src"), "new contents");
  writeFile(dir.file("dst"), "old contents, longer than the new");
  ASSERT_EQ(chmod(dir.file("dst").c_str(), 0640), 0);
  EXPECT_EQ(zyrCopyFile(dir.file("src").c_str(), dir.file("dst").c_str()), 1);
  EXPECT_EQ(readFile(dir.file("dst")), "new contents");
  struct stat status;
  ASSERT_EQ(stat(dir.file("dst").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
}

TEST(FileSystem, CopyOntoItselfIsRefused) {
  ScratchDir dir;
  writeFile(dir.file("f"), "precious");
  ASSERT_EQ(symlink("f", dir.file("link").c_str()), 0);
  ASSERT_EQ(link(dir.file("f").c_str(), dir.file("hard").c_str()), 0);
  struct stat before, now;
  ASSERT_EQ(stat(dir.file("f").c_str(), &before), 0);
  // Nor does a look that fails, at whichever look of the copy, let it through: the file keeps its
  // bytes under both its names.
  zyrtest::ErrorCapture errors;
  for (const char *other : {"f", "link", "hard"})
    for (int n = 0;; ++n) {
      SCOPED_TRACE(std::string(other) + " look@" + std::to_string(n));
      ASSERT_EQ(zyrFault_arm(n > 0 ? ("look@" + std::to_string(n)).c_str() : "", dir.path().c_str()), 1);
      EXPECT_EQ(zyrCopyFile(dir.file("f").c_str(), dir.file(other).c_str()), 0);
      const long failed = zyrFault_failures();
      zyrFault_disarm();
      ASSERT_EQ(stat(dir.file("hard").c_str(), &now), 0);
      ASSERT_TRUE(now.st_ino == before.st_ino && now.st_nlink == 2);
      ASSERT_EQ(readFile(dir.file("f")), "precious");
      if (n > 0 && failed == 0)
        break;
    }
  EXPECT_EQ(readFile(dir.file("f")), "precious");
  EXPECT_EQ(entries(dir.path()).size(), 3u);
}

TEST(FileSystem, CopyThroughALinkWritesTheFileItNames) {
  ScratchDir dir;
  writeFile(dir.file("src"), "through");
  writeFile(dir.file("target"), "before");
  ASSERT_EQ(symlink("target", dir.file("link").c_str()), 0);
  EXPECT_EQ(zyrCopyFile(dir.file("src").c_str(), dir.file("link").c_str()), 1);
  EXPECT_TRUE(fs::is_symlink(dir.file("link")));
  EXPECT_EQ(readFile(dir.file("target")), "through");
}

TEST(FileSystem, CopyFailuresLeaveNoFile) {
  ScratchDir dir;
  writeFile(dir.file("src"), "abc");
  ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0700), 0);
  EXPECT_EQ(zyrCopyFile(dir.file("missing").c_str(), dir.file("dst").c_str()), 0);
  EXPECT_EQ(zyrCopyFile(dir.file("sub").c_str(), dir.file("dst").c_str()), 0);
  EXPECT_EQ(zyrCopyFile(dir.file("src").c_str(), dir.file("sub").c_str()), 0);
  EXPECT_EQ(zyrCopyFile(dir.file("src").c_str(), dir.file("nowhere/dst").c_str()), 0);
  // A missing or empty name leads nowhere, and the caller hears so.
  using Names = std::pair<const char *, const char *>;
  for (const auto &[from, to] : {Names{nullptr, "dst"}, Names{"src", nullptr}, Names{"src", ""}, Names{"", "dst"}}) {
    errno = 0;
    EXPECT_EQ(zyrCopyFile(from != nullptr && *from != '\0' ? dir.file(from).c_str() : from,
                          to != nullptr && *to != '\0' ? dir.file(to).c_str() : to),
              0);
    EXPECT_EQ(errno, ENOENT) << (from != nullptr ? from : "NULL") << " to " << (to != nullptr ? to : "NULL");
  }
  EXPECT_EQ((entries(dir.path())), (std::set<std::string>{"src", "sub"}));
  EXPECT_TRUE(entries(dir.file("sub")).empty());
  if (fs::exists("/dev/full"))
    EXPECT_EQ(zyrCopyFile(dir.file("src").c_str(), "/dev/full"), 0);
}

// The command line's copy says, of each failure, which file is at fault and why.
TEST(FileSystem, ZyrcopySaysWhyACopyFailed) {
  const std::string helpers = ZYR_TEST_HELPER_DIR;
  const std::string tool = helpers.substr(0, helpers.rfind('/')) + "/tools/zyrcopy/zyrcopy";
  ASSERT_TRUE(zyrtest::fileExists(tool)) << tool;
  ScratchDir dir, output;
  writeFile(dir.file("src"), "abc");
  ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0700), 0);
  std::vector<std::pair<std::string, std::string>> cases = {
      {"missing dst", "missing: No such file or directory"},
      {"sub dst", "sub: Is a directory"},
      {"src sub", "sub: Is a directory"},
      {"src nowhere/dst", "nowhere: No such file or directory"},
      {"src src", "they are the same file"}};
  for (const auto &[words, reason] : cases) {
    const std::string from = dir.file(words.substr(0, words.find(' ')));
    const std::string to = dir.file(words.substr(words.find(' ') + 1));
    const int status = std::system(("'" + tool + "' '" + from + "' '" + to + "' 2> '" + output.file("err") + "'").c_str());
    EXPECT_EQ(WEXITSTATUS(status), 1) << words;
    const std::string at = reason.find(':') != std::string::npos ? dir.path() + "/" : "";
    EXPECT_EQ(readFile(output.file("err")), "zyrcopy: cannot copy " + from + " to " + to + ": " + at + reason + "\n");
  }
  // An empty destination leads nowhere: the system's words for that, not a failure of the copy.
  const int status = std::system(("'" + tool + "' '" + dir.file("src") + "' '' 2> '" + output.file("err") + "'").c_str());
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(readFile(output.file("err")), "zyrcopy: cannot copy " + dir.file("src") + " to : No such file or directory\n");
  EXPECT_EQ((entries(dir.path())), (std::set<std::string>{"src", "sub"}));
}

// A file that a process holds under a real lock is in use: the copy, the move and the command
// line's copy leave it, and its lock file, as they were, and say why; once nobody holds it, the
// copy replaces it.
TEST(FileSystem, AFileInUseIsNeitherCopiedNorMovedOnto) {
  const std::string helpers = ZYR_TEST_HELPER_DIR;
  const std::string tool = helpers.substr(0, helpers.rfind('/')) + "/tools/zyrcopy/zyrcopy";
  ScratchDir dir, output;
  writeFile(dir.file("src"), "new");
  writeFile(dir.file("db"), "held");
  writeFile(dir.file("db.lck"), "         1\n");
  const int held = open(dir.file("db").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(held, LOCK_SH), 0);
  const std::string self = std::to_string(static_cast<long>(getpid()));
  zyrtest::ErrorCapture errors;
  for (const char *target : {"db", "db.lck"}) {
    const std::string to = dir.file(target);
    const std::string why = std::string(target) == "db"
                                ? "It is a database open in this session"
                                : "It is the lock file of " + dir.file("db") + ", which is a database open in this session";
    errno = 0;
    EXPECT_EQ(zyrCopyFile(dir.file("src").c_str(), to.c_str()), 0) << target;
    EXPECT_EQ(errno, EBUSY);
    EXPECT_EQ(zyrMoveFile(dir.file("src").c_str(), to.c_str()), 0) << target;
    const std::string message = "10020: Unable to overwrite the existing file " + to + ".\n" + why + ".\n";
    EXPECT_EQ(errors.take(), (std::vector<std::string>{message, message}));
    const int status = std::system(("'" + tool + "' '" + dir.file("src") + "' '" + to + "' 2> '" + output.file("err") + "'").c_str());
    EXPECT_EQ(WEXITSTATUS(status), 1) << target;
    // To the tool, a separate process, this process is another.
    const std::string theirs = std::string(target) == "db" ? "It is in use by process " + self
                                                           : "It is the lock file of " + dir.file("db") +
                                                                 ", which is in use by process " + self;
    EXPECT_EQ(readFile(output.file("err")),
              "zyrcopy: cannot copy " + dir.file("src") + " to " + to + ": " + to + ": " + theirs + "\n");
  }
  EXPECT_EQ(readFile(dir.file("db")), "held");
  EXPECT_EQ(readFile(dir.file("db.lck")), "         1\n");
  EXPECT_EQ(readFile(dir.file("src")), "new");
  EXPECT_EQ((entries(dir.path())), (std::set<std::string>{"db", "db.lck", "src"}));
  close(held);
  EXPECT_EQ(zyrCopyFile(dir.file("src").c_str(), dir.file("db").c_str()), 1);
  EXPECT_EQ(readFile(dir.file("db")), "new");
}

// The next copy into a directory clears what killed copies left there, also under the id of a
// process that runs (to the tool, this one: the killed copy's in a pid namespace of its own), and
// nothing that a live process holds. A name of the older shape, without the library's mark, goes
// only when no process of its id runs.
TEST(FileSystem, TheNextCopyClearsWhatKilledCopiesLeft) {
  const std::string helpers = ZYR_TEST_HELPER_DIR;
  const std::string tool = helpers.substr(0, helpers.rfind('/')) + "/tools/zyrcopy/zyrcopy";
  ScratchDir dir;
  writeFile(dir.file("src"), "new");
  const std::string ended = std::to_string(static_cast<long>(zyrtest::endedProcess()));
  const std::string self = std::to_string(static_cast<long>(getpid()));
  const std::string made = "d.txt.zyr-pid" + self + ".0123456789abcdef.tmp";
  for (const std::string &name : {"a.txt.zyr-pid" + ended + ".tmp", "d.txt.zyr-pid" + self + ".tmp", made,
                                  made + ".lck", "e.txt.pid" + ended + ".tmp", "f.txt.pid" + self + ".tmp",
                                  "b.txt.zyr-pid" + ended + ".tmp"})
    writeFile(dir.file(name), "half");
  const int held = open(dir.file("b.txt.zyr-pid" + ended + ".tmp").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(held, LOCK_SH), 0);
  const int status = std::system(("'" + tool + "' '" + dir.file("src") + "' '" + dir.file("c.txt") + "'").c_str());
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ((entries(dir.path())),
            (std::set<std::string>{"b.txt.zyr-pid" + ended + ".tmp", "c.txt", "f.txt.pid" + self + ".tmp", "src"}));
  close(held);
}

// A process in a user and pid namespace of its own sees neither the holders of a file in the system's
// lists nor their processes: a file of another user that it cannot read is still never replaced.
TEST(FileSystem, AnotherUsersFileIsNotReplacedFromAnotherNamespace) {
  if (geteuid() != 0)
    GTEST_SKIP() << "needs a second user";
  const std::string isolated = "setpriv --reuid=65534 --regid=65534 --clear-groups unshare -U -r -p -f --mount-proc ";
  if (std::system((isolated + "true 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "user namespaces are not allowed here";
  const std::string helpers = ZYR_TEST_HELPER_DIR;
  ScratchDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  // The tool and the names lie where the other user needs to reach nothing above the directory.
  const std::string tool = helpers.substr(0, helpers.rfind('/')) + "/tools/zyrcopy/zyrcopy";
  writeFile(dir.file("zyrcopy"), readFile(tool));
  ASSERT_EQ(chmod(dir.file("zyrcopy").c_str(), 0755), 0);
  writeFile(dir.file("src"), "new");
  ASSERT_EQ(chmod(dir.file("src").c_str(), 0644), 0);
  for (const bool holding : {true, false}) {
    writeFile(dir.file("db"), "root's");
    ASSERT_EQ(chmod(dir.file("db").c_str(), 0600), 0);
    const int fd = open(dir.file("db").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(fd, holding ? LOCK_SH : LOCK_UN), 0);
    const std::string command = "cd '" + dir.path() + "' && " + isolated + "./zyrcopy src db 2>/dev/null";
    const int status = std::system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(status), 1) << (holding ? "held" : "not held");
    EXPECT_EQ(readFile(dir.file("db")), "root's");
    close(fd);
  }
  EXPECT_EQ((entries(dir.path())), (std::set<std::string>{"db", "src", "zyrcopy"}));
}

// A file-size limit makes writes fail part way, as a full disk would.
void limitFileSize(rlim_t bytes) {
  std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit = {bytes, bytes};
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
    zyrtest::leaveChild(3);
}

TEST(FileSystemDeathTest, CopyThatCannotBeWrittenKeepsTheOldDestination) {
  GTEST_FLAG_SET(death_test_style, "fast");
  ScratchDir dir;
  const std::string bytes = randomBytes(200000, 2);
  writeFile(dir.file("src"), bytes);
  writeFile(dir.file("old"), "old contents");
  EXPECT_EXIT(
      {
        limitFileSize(65536);
        const int replaced = zyrCopyFile(dir.file("src").c_str(), dir.file("old").c_str());
        const int created = zyrCopyFile(dir.file("src").c_str(), dir.file("new").c_str());
        zyrtest::leaveChild(replaced == 0 && created == 0 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EQ(readFile(dir.file("old")), "old contents");
  EXPECT_EQ((entries(dir.path())), (std::set<std::string>{"src", "old"}));
}

// ---- Moving ----

// A directory on another file system than the scratch directories, when the machine has one.
std::string otherFileSystem() {
  struct stat here, there;
  if (stat(fs::temp_directory_path().c_str(), &here) != 0)
    return "";
  for (const char *candidate : {"/dev/shm", "/run", "/var/tmp"})
    if (stat(candidate, &there) == 0 && there.st_dev != here.st_dev && access(candidate, W_OK) == 0)
      return candidate;
  return "";
}

TEST(FileSystem, MoveRenamesWithinOneFileSystem) {
  ScratchDir dir;
  writeFile(dir.file("a"), "moved");
  writeFile(dir.file("b"), "replaced");
  EXPECT_EQ(zyrMoveFile(dir.file("a").c_str(), dir.file("b").c_str()), 1);
  EXPECT_EQ(readFile(dir.file("b")), "moved");
  EXPECT_FALSE(fs::exists(dir.file("a")));
  EXPECT_EQ(zyrMoveFile(dir.file("a").c_str(), dir.file("c").c_str()), 0);
  EXPECT_EQ(zyrMoveFile(nullptr, dir.file("c").c_str()), 0);
}

TEST(FileSystem, MoveAcrossFileSystemsReplacesTheDestination) {
  const std::string other = otherFileSystem();
  if (other.empty())
    GTEST_SKIP() << "no second file system";
  ScratchDir dir;
  const std::string bytes = randomBytes(1500000, 3);
  writeFile(dir.file("a"), bytes);
  ScratchDir far("zyrtest", other);
  const std::string target = far.file("moved");
  writeFile(target, "old");
  EXPECT_EQ(zyrMoveFile(dir.file("a").c_str(), target.c_str()), 1);
  EXPECT_EQ(readFile(target), bytes);
  EXPECT_FALSE(fs::exists(dir.file("a")));
  // And back, onto a name that does not exist yet.
  EXPECT_EQ(zyrMoveFile(target.c_str(), dir.file("back").c_str()), 1);
  EXPECT_EQ(readFile(dir.file("back")), bytes);
  EXPECT_FALSE(fs::exists(target));
}

TEST(FileSystemDeathTest, FailedMoveAcrossFileSystemsLosesNothing) {
  GTEST_FLAG_SET(death_test_style, "fast");
  const std::string other = otherFileSystem();
  if (other.empty())
    GTEST_SKIP() << "no second file system";
  ScratchDir dir;
  ScratchDir far("zyrtest", other);
  const std::string bytes = randomBytes(200000, 4);
  writeFile(dir.file("a"), bytes);
  writeFile(far.file("b"), "old destination");
  EXPECT_EXIT(
      {
        limitFileSize(65536);
        zyrtest::leaveChild(zyrMoveFile(dir.file("a").c_str(), far.file("b").c_str()) == 0 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EQ(readFile(dir.file("a")), bytes);
  EXPECT_EQ(readFile(far.file("b")), "old destination");
  EXPECT_EQ((entries(far.path())), (std::set<std::string>{"b"}));
}

// A move across file systems whose copy did not keep the destination's name (another file took it
// right after the copy did, and stays) puts the bytes back under the source's name from the copy it
// holds, though that copy is under no name any more; a file that took the source's name meanwhile
// stays, and the bytes are kept beside it.
TEST(FileSystem, AFailedMoveAcrossFileSystemsPutsBackTheCopyItHolds) {
  const std::string other = otherFileSystem();
  if (other.empty())
    GTEST_SKIP() << "no second file system";
  const std::string mover = std::string(ZYR_TEST_HELPER_DIR) + "/move_child";
  const std::string bytes = randomBytes(100000, 5);
  for (const bool taken : {false, true}) {
    SCOPED_TRACE(taken ? "the source's name taken" : "the source's name free");
    ScratchDir dir;
    ScratchDir far("zyrtest", other);
    writeFile(dir.file("a"), bytes);
    zyrtest::ChildProcess child(mover, {dir.file("a"), far.file("moved")}, {}, "", "place.renamed@1");
    ASSERT_EQ(child.waitPause(), "place.renamed");
    writeFile(far.file("theirs"), "theirs");
    ASSERT_EQ(rename(far.file("theirs").c_str(), far.file("moved").c_str()), 0);
    if (taken)
      writeFile(dir.file("a"), "came meanwhile");
    child.release();
    EXPECT_EQ(child.readLine(), "moved 0");
    EXPECT_EQ(child.wait(), 0);
    EXPECT_EQ(readFile(far.file("moved")), "theirs");
    EXPECT_EQ(entries(far.path()), std::set<std::string>{"moved"});
    const std::set<std::string> names = entries(dir.path());
    ASSERT_EQ(names.size(), taken ? 2u : 1u);
    EXPECT_EQ(readFile(dir.file("a")), taken ? "came meanwhile" : bytes);
    for (const std::string &name : names)
      if (name != "a")
        EXPECT_TRUE(readFile(dir.file(name)) == bytes) << name << " does not hold the bytes moved";
  }
}

// Whichever look of a copy or a move fails, once, or finds nothing where a file stands, the answer
// is what stands on the disc: done, the destination holds the new bytes (a move's source is gone);
// refused, the destination holds what it held, or stays free, and the source is as it was.
// Nothing that was under the destination's name is left under the library's mark. Within a file
// system and, where there is a second one, across it.
TEST(FileSystem, ACopyOrAMoveAnswersAsTheDiscStandsWhicheverLookFails) {
  const std::string other = otherFileSystem();
  for (const int error : {EIO, ENOENT}) {
    for (const bool moving : {false, true})
      for (const bool over : {true, false})
        for (const bool across : {false, true}) {
          if (across && other.empty())
            continue;
          SCOPED_TRACE(std::string(moving ? "move" : "copy") + (over ? " over a file" : " to a free name") +
                       (across ? " across file systems" : ""));
          for (int n = 1;; ++n) {
            const std::string plan = "look@" + std::to_string(n) + (error == EIO ? "" : ":ENOENT");
            SCOPED_TRACE(plan);
            ScratchDir dir;
            ScratchDir far("zyrtest", across ? other : dir.path());
            const std::string source = dir.file("source"), target = far.file("target");
            writeFile(source, "new");
            if (over)
              writeFile(target, "old");
            zyrtest::ErrorCapture::clear();
            ASSERT_EQ(zyrFault_arm(plan.c_str(), nullptr), 1);
            errno = 0;
            const int done = moving ? zyrMoveFile(source.c_str(), target.c_str())
                                    : zyrCopyFile(source.c_str(), target.c_str());
            const int reason = errno;
            const long failures = zyrFault_failures();
            zyrFault_disarm();
            const std::set<std::string> left = entries(far.path());
            for (const std::string &name : left)
              if (name != "target")
                EXPECT_NE(readFile(far.file(name)), "old") << name << " holds the old bytes";
            zyrLeftovers_remove(far.path().c_str(), nullptr, nullptr, nullptr);
            if (done == 1) {
              EXPECT_EQ(readFile(target), "new");
              EXPECT_EQ(entries(far.path()), std::set<std::string>{"target"});
              EXPECT_EQ(fs::exists(source), !moving);
            } else {
              EXPECT_EQ(failures, 1);
              // The look is told as itself: its reason, or a refusal published with it.
              const std::string published = testing::PrintToString(zyrtest::ErrorCapture::take());
              EXPECT_TRUE(reason == error || published.find(strerror(error)) != std::string::npos)
                  << strerror(reason) << " " << published;
              EXPECT_EQ(readFile(source), "new");
              EXPECT_EQ(fs::exists(target), over);
              if (over)
                EXPECT_EQ(readFile(target), "old");
            }
            if (failures == 0)
              break;
          }
        }
  }
}

// Only a regular file moves, and only onto a regular file or a free name: a move to or from a
// directory (also through a link), or to or from a pipe, changes nothing.
// A move whose look at the destination fails, at whichever look it makes, moves nothing and says
// why: a database another process holds keeps its bytes, and so does a file nobody holds, and the
// source stays. Only once no look fails is the held one refused as in use and the free one moved
// onto.
TEST(FileSystem, AMoveWhoseLookFailsMovesNothing) {
  ScratchDir dir;
  const std::string source = dir.file("src"), held = dir.file("held.zyr"), free = dir.file("free.zyr");
  writeFile(source, "new");
  writeFile(held, "held");
  writeFile(free, "free");
  const zyrtest::LockHolder holder(held, LOCK_EX);
  ASSERT_TRUE(holder.holds());
  zyrtest::ErrorCapture errors;
  const std::string eio = std::strerror(EIO);
  for (const std::string &to : {held, free}) {
    SCOPED_TRACE(to);
    const std::string unseen = "10020: Unable to write the file " + to + ".\nIt could not be looked at: " + eio + ".\n";
    // The looks in turn: whether a regular file stands there, what the rename may replace, whether
    // it is in use, and (a free file) whether it is still the one looked at.
    const std::vector<std::vector<std::string>> told = {
        {},
        {unseen},
        {"10020: Unable to overwrite the existing file " + to +
         ".\nWhether another process is using it cannot be told (it cannot be looked at: " + eio + ").\n"},
        {unseen}};
    for (size_t n = 1;; ++n) {
      SCOPED_TRACE("look@" + std::to_string(n));
      ASSERT_EQ(zyrFault_arm(("look@" + std::to_string(n)).c_str(), to.c_str()), 1);
      errno = 0;
      const int moved = zyrMoveFile(source.c_str(), to.c_str());
      const int error = errno;
      const long failed = zyrFault_failures();
      zyrFault_disarm();
      if (failed == 0) {
        EXPECT_EQ(moved, to == free ? 1 : 0);
        EXPECT_EQ(errors.take(), to == free ? std::vector<std::string>{}
                                            : std::vector<std::string>{"10020: Unable to overwrite the existing file " +
                                                                       to + ".\nIt is in use by process " +
                                                                       std::to_string(holder.pid()) + ".\n"});
        EXPECT_EQ(n, to == free ? 5u : 4u);
        break;
      }
      ASSERT_LE(n, told.size());
      EXPECT_EQ(moved, 0);
      EXPECT_EQ(error, n == 1 ? EIO : EBUSY);
      EXPECT_EQ(errors.take(), told[n - 1]);
      ASSERT_EQ(readFile(to), to == held ? "held" : "free");
      ASSERT_EQ(readFile(source), "new");
    }
  }
  EXPECT_EQ(readFile(held), "held");
  EXPECT_EQ(readFile(free), "new");
  EXPECT_EQ(entries(dir.path()), (std::set<std::string>{"free.zyr", "held.zyr"}));
}

TEST(FileSystem, MoveTakesOnlyARegularFileOntoARegularFileOrAFreeName) {
  ScratchDir dir;
  writeFile(dir.file("file"), "file");
  ASSERT_EQ(mkdir(dir.file("folder").c_str(), 0700), 0);
  writeFile(dir.file("folder/inside"), "inside");
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
  ASSERT_EQ(symlink("folder", dir.file("link").c_str()), 0);
  const std::set<std::string> names = entries(dir.path());
  struct Move {
    const char *m_from;
    const char *m_to;
    int m_error;
  };
  for (const Move &move : {Move{"file", "folder", EISDIR}, Move{"folder", "file", EISDIR},
                           Move{"folder", "free", EISDIR}, Move{"file", "link", EISDIR},
                           Move{"file", "fifo", EINVAL}, Move{"fifo", "free", EINVAL}}) {
    errno = 0;
    EXPECT_EQ(zyrMoveFile(dir.file(move.m_from).c_str(), dir.file(move.m_to).c_str()), 0)
        << move.m_from << " onto " << move.m_to;
    EXPECT_EQ(errno, move.m_error) << move.m_from << " onto " << move.m_to;
  }
  EXPECT_EQ(entries(dir.path()), names);
  EXPECT_EQ(readFile(dir.file("file")), "file");
  EXPECT_EQ(readFile(dir.file("folder/inside")), "inside");
  EXPECT_TRUE(fs::is_fifo(dir.file("fifo")));
  EXPECT_TRUE(fs::is_symlink(dir.file("link")));
}

// A move is one rename: killed before it, the names are the old ones; killed after it, the new
// ones; never the destination's old bytes under the source's name. Held before it while another
// file takes the destination's name, it leaves that file, and its source, as they are.
TEST(FileSystem, AMoveKilledAnywhereLeavesTheOldNamesOrTheNewOnes) {
  const std::string mover = std::string(ZYR_TEST_HELPER_DIR) + "/move_child";
  for (const std::string point : {"move.before-rename", "move.renamed"}) {
    SCOPED_TRACE(point);
    ScratchDir dir;
    writeFile(dir.file("a"), "moved");
    writeFile(dir.file("b"), "replaced");
    zyrtest::ChildProcess child(mover, {dir.file("a"), dir.file("b")}, {}, "", point);
    ASSERT_EQ(child.waitPause(), point);
    child.kill();
    EXPECT_EQ(child.wait(), 128 + SIGKILL);
    if (point == "move.renamed") {
      EXPECT_EQ(entries(dir.path()), std::set<std::string>{"b"});
      EXPECT_EQ(readFile(dir.file("b")), "moved");
    } else {
      EXPECT_EQ(entries(dir.path()), (std::set<std::string>{"a", "b"}));
      EXPECT_EQ(readFile(dir.file("a")), "moved");
      EXPECT_EQ(readFile(dir.file("b")), "replaced");
    }
  }
  ScratchDir dir;
  writeFile(dir.file("a"), "moved");
  writeFile(dir.file("b"), "replaced");
  zyrtest::ChildProcess child(mover, {dir.file("a"), dir.file("b")}, {}, "", "move.before-rename");
  ASSERT_EQ(child.waitPause(), "move.before-rename");
  writeFile(dir.file("other"), "came meanwhile");
  ASSERT_EQ(rename(dir.file("other").c_str(), dir.file("b").c_str()), 0);
  child.release();
  EXPECT_EQ(child.readLine(), "moved 0");
  EXPECT_EQ(child.wait(), 0);
  EXPECT_EQ(readFile(dir.file("a")), "moved");
  EXPECT_EQ(readFile(dir.file("b")), "came meanwhile");
  EXPECT_EQ(entries(dir.path()), (std::set<std::string>{"a", "b"}));
}

// ---- The reason of a failure ----

// The tool beside the test helpers.
std::string zyrcopyTool() {
  const std::string helpers = ZYR_TEST_HELPER_DIR;
  return helpers.substr(0, helpers.rfind('/')) + "/tools/zyrcopy/zyrcopy";
}

// zyrcopy copying src to dst in the directory, its errors in err, held at the pause point.
std::unique_ptr<zyrtest::ChildProcess> pausedCopy(const ScratchDir &dir, const char *point) {
  auto copy = std::make_unique<zyrtest::ChildProcess>(
      "/bin/sh", std::vector<std::string>{"-c", "exec \"$0\" src dst 2> err", zyrcopyTool()},
      std::vector<std::pair<std::string, const char *>>{}, dir.path(), point);
  EXPECT_EQ(copy->waitPause(), point);
  return copy;
}

// The name of the new file that a copy to dst is writing in the directory ("" none).
std::string copysTemporary(const ScratchDir &dir) {
  for (const std::string &name : entries(dir.path()))
    if (name.rfind("dst.zyr-pid", 0) == 0)
      return name;
  return "";
}

// A copy onto another user's file in a sticky directory, whose rename the system refuses, says so:
// the clean-up of its temporary does not put its own errno in the place of the refusal.
TEST(FileSystem, ACopyRefusedByAStickyDirectoryTellsWhy) {
  if (geteuid() != 0)
    GTEST_SKIP() << "needs a second user";
  ScratchDir dir, output;
  ASSERT_EQ(chmod(dir.path().c_str(), 01777), 0);
  // The tool and the names lie where the other user needs to reach nothing above the directory.
  writeFile(dir.file("zyrcopy"), readFile(zyrcopyTool()));
  ASSERT_EQ(chmod(dir.file("zyrcopy").c_str(), 0755), 0);
  writeFile(dir.file("src"), "new");
  writeFile(dir.file("theirs"), "root's");
  ASSERT_EQ(chmod(dir.file("src").c_str(), 0644), 0);
  ASSERT_EQ(chmod(dir.file("theirs").c_str(), 0666), 0);
  const std::string copied = zyrtest::inChild([&] {
    if (chdir(dir.path().c_str()) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
      return std::string("the user cannot be changed");
    errno = 0;
    const int result = zyrCopyFile("src", "theirs");
    const int error = errno;
    return result == 0 && error == EPERM ? std::string() : "copy " + std::to_string(result) + ": " + strerror(error);
  });
  EXPECT_EQ(copied, "");
  const std::string command = "cd '" + dir.path() + "' && setpriv --reuid=65534 --regid=65534 --clear-groups " +
                              "./zyrcopy src theirs 2> '" + output.file("err") + "'";
  const int status = std::system(command.c_str());
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(readFile(output.file("err")), "zyrcopy: cannot copy src to theirs: Operation not permitted\n");
  EXPECT_EQ(readFile(dir.file("theirs")), "root's");
  EXPECT_EQ((entries(dir.path())), (std::set<std::string>{"src", "theirs", "zyrcopy"}));
}

// A copy whose new file another file took the name of while it was written says so, in the
// placement's words, from the library and the command line: no "File exists" for a destination
// that does not exist. The other file stays where it was put, and nothing takes the destination.
TEST(FileSystem, ACopyWhoseNewFileWasTakenTellsWhy) {
  ScratchDir dir;
  writeFile(dir.file("src"), "new");
  const auto copy = pausedCopy(dir, "filecopy.before-replace");
  const std::string temporary = copysTemporary(dir);
  ASSERT_FALSE(temporary.empty());
  writeFile(dir.file("other"), "another program's");
  ASSERT_EQ(rename(dir.file("other").c_str(), dir.file(temporary).c_str()), 0);
  copy->release();
  EXPECT_EQ(copy->wait(), 1);
  EXPECT_EQ(readFile(dir.file("err")), "zyrcopy: cannot copy src to dst: dst: Another file has been put under the "
                                       "name of the new one meanwhile\n");
  EXPECT_EQ(entries(dir.path()), (std::set<std::string>{"err", "src", temporary}));
  EXPECT_EQ(readFile(dir.file(temporary)), "another program's");
}

// A copy held right after it exchanged names with the file it replaces, while another file takes
// the copy's name (as a file that took the destination just before the exchange comes out there)
// and the destination is emptied: the other file is put back under the destination by a rename
// that replaces nothing, and the copy is refused as one whose destination another file took.
TEST(FileSystem, AFileThatTookTheNameIsPutBackUnderTheNameEmptiedMeanwhile) {
  ScratchDir dir;
  writeFile(dir.file("src"), "new");
  writeFile(dir.file("dst"), "old");
  const auto copy = pausedCopy(dir, "place.exchanged");
  const std::string temporary = copysTemporary(dir);
  ASSERT_FALSE(temporary.empty());
  ASSERT_EQ(readFile(dir.file(temporary)), "old");
  writeFile(dir.file("theirs"), "another program's");
  ASSERT_EQ(rename(dir.file("theirs").c_str(), dir.file(temporary).c_str()), 0);
  ASSERT_EQ(unlink(dir.file("dst").c_str()), 0);
  copy->release();
  EXPECT_EQ(copy->wait(), 1);
  EXPECT_EQ(readFile(dir.file("err")),
            "zyrcopy: cannot copy src to dst: dst: Another file has taken its name while the new one was written\n");
  EXPECT_EQ(entries(dir.path()), (std::set<std::string>{"dst", "err", "src"}));
  EXPECT_EQ(readFile(dir.file("dst")), "another program's");
}

// A copy onto a full disc says so, from the library and the command line: a small file system of
// its own where one can be mounted (in a mount namespace of the tool's, gone with it), else a disc
// that the fault seam fills.
TEST(FileSystem, ACopyOntoAFullDiscTellsWhy) {
  ScratchDir dir, output;
  writeFile(dir.file("src"), randomBytes(256 * 1024, 5));
  ASSERT_EQ(mkdir(dir.file("small").c_str(), 0755), 0);
  const std::string copied = zyrtest::inChild([&] {
    if (zyrFault_arm("full@1", nullptr) != 1)
      return std::string("the seam cannot be armed");
    errno = 0;
    const int result = zyrCopyFile(dir.file("src").c_str(), dir.file("small/out").c_str());
    const int error = errno;
    zyrFault_disarm();
    return result == 0 && error == ENOSPC ? std::string() : "copy " + std::to_string(result) + ": " + strerror(error);
  });
  EXPECT_EQ(copied, "");
  EXPECT_TRUE(entries(dir.file("small")).empty());

  const std::string target = dir.file("small/out");
  const std::string copy = "'" + zyrcopyTool() + "' '" + dir.file("src") + "' '" + target + "' 2> '" +
                           output.file("err") + "'; echo $? > '" + output.file("status") + "'; ls -A '" +
                           dir.file("small") + "' > '" + output.file("left") + "'";
  // Within the double quotes of the command, "$?" is the inner shell's.
  std::string escaped;
  for (const char c : copy)
    escaped += c == '$' ? std::string("\\$") : std::string(1, c);
  const bool mounted = std::system("unshare -m true 2>/dev/null") == 0 &&
                       std::system(("unshare -m sh -c \"mount -t tmpfs -o size=64k zyrtest '" + dir.file("small") +
                                    "' 2>/dev/null || exit 99; " + escaped +
                                    "\"")
                                       .c_str()) == 0;
  if (!mounted) {
    const zyrtest::EnvGuard full("ZYR_FAULT_AT", "full@1");
    ASSERT_EQ(std::system(copy.c_str()), 0);
  }
  SCOPED_TRACE(mounted ? "a small file system" : "the fault seam");
  EXPECT_EQ(readFile(output.file("status")), "1\n");
  EXPECT_EQ(readFile(output.file("err")),
            "zyrcopy: cannot copy " + dir.file("src") + " to " + target + ": No space left on device\n");
  EXPECT_EQ(readFile(output.file("left")), "");
  EXPECT_TRUE(entries(dir.file("small")).empty());
}

// A copy that runs out of descriptors, wherever it does, says so, and leaves nothing.
TEST(FileSystem, ACopyOutOfDescriptorsTellsWhy) {
  ScratchDir dir;
  writeFile(dir.file("src"), "abc");
  const std::string found = zyrtest::inChild([&] {
    // The lowest free descriptor: a limit there lets no new one open.
    const int lowest = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (lowest < 0)
      return std::string("no descriptor");
    close(lowest);
    struct rlimit saved;
    getrlimit(RLIMIT_NOFILE, &saved);
    std::string wrong;
    int failures = 0;
    bool copied = false;
    for (rlim_t limit = static_cast<rlim_t>(lowest); limit < static_cast<rlim_t>(lowest) + 16 && !copied; ++limit) {
      const struct rlimit narrow = {limit, saved.rlim_max};
      if (setrlimit(RLIMIT_NOFILE, &narrow) != 0)
        return std::string("the limit cannot be set");
      errno = 0;
      copied = zyrCopyFile(dir.file("src").c_str(), dir.file("dst").c_str()) == 1;
      const int error = errno;
      setrlimit(RLIMIT_NOFILE, &saved);
      if (!copied) {
        ++failures;
        if (error != EMFILE)
          wrong += "with " + std::to_string(limit - static_cast<rlim_t>(lowest)) + " free: " + strerror(error) + "; ";
        if (!entries(dir.path()).count("src") || entries(dir.path()).size() != 1)
          wrong += "something left; ";
      }
    }
    if (!copied || failures == 0)
      wrong += "copied " + std::to_string(copied) + " after " + std::to_string(failures) + " failures";
    return wrong;
  });
  EXPECT_EQ(found, "");
  EXPECT_EQ(readFile(dir.file("dst")), "abc");
}

// ---- Recursive removal ----

class RemoveDirectory : public ErrorsSeen {};

TEST_F(RemoveDirectory, RemovesATreeWithoutFollowingLinksOut) {
  ScratchDir dir, outside;
  writeFile(outside.file("keep"), "outside");
  const std::string tree = dir.file("tree");
  fs::create_directories(tree + "/a/b/c");
  writeFile(tree + "/top", "1");
  writeFile(tree + "/a/b/c/deep", "2");
  fs::create_directory_symlink(outside.path(), tree + "/a/linkdir");
  fs::create_symlink(outside.file("keep"), tree + "/a/b/linkfile");
  fs::create_symlink(dir.file("nothing"), tree + "/dangling");
  EXPECT_EQ(zyrRemoveDirectory(tree.c_str(), 1), 1);
  EXPECT_FALSE(fs::exists(fs::symlink_status(tree)));
  EXPECT_EQ(readFile(outside.file("keep")), "outside");
  EXPECT_TRUE(errors().empty());
}

TEST_F(RemoveDirectory, LinkGivenAsTheDirectoryIsNotFollowed) {
  ScratchDir dir, outside;
  writeFile(outside.file("keep"), "outside");
  fs::create_directory_symlink(outside.path(), dir.file("link"));
  EXPECT_EQ(zyrRemoveDirectory(dir.file("link").c_str(), 1), 0);
  EXPECT_EQ(zyrRemoveDirectory((dir.file("link") + "/").c_str(), 1), 0);
  EXPECT_EQ(readFile(outside.file("keep")), "outside");
}

TEST_F(RemoveDirectory, FlatRemovalOfFilesOnly) {
  ScratchDir dir;
  const std::string flat = dir.file("flat");
  fs::create_directory(flat);
  writeFile(flat + "/x", "");
  writeFile(flat + "/y", "");
  EXPECT_EQ(zyrRemoveDirectory(flat.c_str(), 0), 1);
  EXPECT_FALSE(fs::exists(flat));
}

TEST_F(RemoveDirectory, FlatRemovalRefusesSubdirectories) {
  ScratchDir dir;
  const std::string flat = dir.file("flat");
  fs::create_directories(flat + "/inner");
  writeFile(flat + "/x", "");
  EXPECT_EQ(zyrRemoveDirectory(flat.c_str(), 0), 0);
  EXPECT_TRUE(fs::exists(flat + "/x"));
  const auto seen = errors();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].first, 10047);
  EXPECT_EQ(seen[0].second, "The directory\n\n" + flat + "\n\ncontains subdirectories, for example\n\n" + flat +
                                "/inner\n");
}

TEST_F(RemoveDirectory, FlatRemovalOfAMissingDirectory) {
  ScratchDir dir;
  EXPECT_EQ(zyrRemoveDirectory(dir.file("gone").c_str(), 0), 0);
  const auto seen = errors();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].first, 10047);
  EXPECT_EQ(seen[0].second, "Unable to delete the non-existent directory\n\n" + dir.file("gone") + "\n");
  // The recursive form answers 0 quietly.
  EXPECT_EQ(zyrRemoveDirectory(dir.file("gone").c_str(), 1), 0);
  EXPECT_EQ(errors().size(), 1u);
}

// The debug manager reads its control file once per process: the child is the test binary
// started afresh (a fork would inherit a manager that an earlier test had set up), and finds the
// parent's directory through the environment.
TEST(FileSystemDeathTest, RemovalAndTemporaryNamesAreTraced) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  zyrtest::SharedScratchDir dir("ZYRTEST_TRACED_REMOVAL_DIR");
  const std::string tree = dir.file("tree");
  fs::create_directories(tree + "/sub");
  writeFile(tree + "/sub/x", "");
  writeFile(dir.file("zyr.debug"), "<DEBUG>\nzyrRemoveDirectory : 1\nzyrGetTemporaryFileName : 1\n</DEBUG>\n"
                                   "<LOGS>\ndebug = " + dir.file("dbg.log") + "\n</LOGS>\n");
  EXPECT_EXIT(
      {
        for (const char *name : {"ZYR_DEBUG_CONTROL", "ZYR_DEBUG_LOG", "ZYR_MEMORY_LOG", "ZYR_ERROR_LOG"})
          unsetenv(name);
        if (chdir(dir.path().c_str()) != 0)
          zyrtest::leaveChild(2);
        const int removed = zyrRemoveDirectory(tree.c_str(), 1);
        char *name = zyrGetTemporaryFileName("t");
        zyrtest::leaveChild(removed == 1 && name != nullptr ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  std::vector<std::string> details;
  for (const std::string &line : zyrtest::splitLines(readFile(dir.file("dbg.log"))))
    if (line.find("Deleting") != std::string::npos || line.rfind("Filename = ", 0) == 0)
      details.push_back(line);
  ASSERT_EQ(details.size(), 4u);
  EXPECT_EQ(details[0], "SUCCESS: Deleting ... " + tree + "/sub/x");
  EXPECT_EQ(details[1], "SUCCESS: Deleting ... " + tree + "/sub");
  EXPECT_EQ(details[2], "SUCCESS: Deleting ... " + tree);
  EXPECT_EQ(details[3].size(), std::string("Filename = t.").size() + 26);
}

// ---- Listings ----

TEST(FileSystem, ListingGivesEveryEntryOnce) {
  ScratchDir dir;
  writeFile(dir.file("a"), "");
  writeFile(dir.file("b"), "");
  fs::create_directory(dir.file("c"));
  zyrDirectory *listing = zyrDirectory_open(dir.path().c_str());
  ASSERT_NE(listing, nullptr);
  std::multiset<std::string> names;
  for (const char *name; (name = zyrDirectory_next(listing)) != nullptr;)
    names.insert(name);
  EXPECT_EQ(zyrDirectory_next(listing), nullptr);
  EXPECT_EQ(listing->m_count, 5);
  EXPECT_EQ(names, (std::multiset<std::string>{".", "..", "a", "b", "c"}));
  zyrDirectory_close(listing);
  EXPECT_EQ(zyrDirectory_open(dir.file("missing").c_str()), nullptr);
  EXPECT_EQ(zyrDirectory_open(dir.file("a").c_str()), nullptr);
}

// ---- Paths ----

struct Split {
  std::string first, second;
};

Split splitPath(const char *path) {
  char *directory = reinterpret_cast<char *>(1), *file = reinterpret_cast<char *>(1);
  zyrSplitPathName(path, &directory, &file);
  return {take(directory), take(file)};
}

Split splitFile(const char *name) {
  char *base = reinterpret_cast<char *>(1), *extension = reinterpret_cast<char *>(1);
  zyrSplitFileName(name, &base, &extension);
  return {take(base), take(extension)};
}

TEST(PathNames, SplitPathName) {
  auto check = [](const char *path, const char *directory, const char *file) {
    const Split s = splitPath(path);
    EXPECT_EQ(s.first, directory) << path;
    EXPECT_EQ(s.second, file) << path;
  };
  check("name", "<NULL>", "name");
  check("/name", "", "name");
  check("/x/y", "/x", "y");
  check("a/b/", "a/b", "");
  check("", "<NULL>", "<NULL>");
  check(nullptr, "<NULL>", "<NULL>");
}

TEST(PathNames, SplitFileName) {
  auto check = [](const char *name, const char *base, const char *extension) {
    const Split s = splitFile(name);
    EXPECT_EQ(s.first, base) << name;
    EXPECT_EQ(s.second, extension) << name;
  };
  check(".profile", ".profile", "<NULL>");
  check("dir.d/file", "dir.d/file", "<NULL>");
  check("a.b.c", "a.b", "c");
  check("mesh.", "mesh", "");
  check("x", "x", "<NULL>");
  check("", "<NULL>", "<NULL>");
}

TEST(PathNames, JoinAndSeparator) {
  EXPECT_EQ(zyrGetDirectorySeparator(), '/');
  char *path = nullptr;
  EXPECT_EQ(zyrJoinPathName("/a", "b", &path), 1);
  EXPECT_EQ(take(path), "/a/b");
  EXPECT_EQ(zyrJoinPathName(nullptr, "b", &path), 1);
  EXPECT_EQ(take(path), "b");
  EXPECT_EQ(zyrJoinPathName("/a", nullptr, &path), 0);
  EXPECT_EQ(path, nullptr);
}

TEST(PathNames, AbsoluteNames) {
  ScratchDir dir;
  fs::create_directory(dir.file("real"));
  fs::create_directory_symlink(dir.file("real"), dir.file("link"));
  const std::string real = fs::canonical(dir.file("real")).string();
  EXPECT_EQ(take(zyrGetAbsoluteDirectoryName(dir.file("link").c_str())), real);
  EXPECT_EQ(take(zyrGetAbsoluteDirectoryName(dir.file("missing").c_str())), "<NULL>");
  writeFile(dir.file("real/f"), "");
  EXPECT_EQ(take(zyrGetAbsoluteDirectoryName(dir.file("real/f").c_str())), "<NULL>");
  EXPECT_EQ(take(zyrGetAbsoluteFileName((dir.file("link") + "/../real/f").c_str())), real + "/f");
  EXPECT_EQ(take(zyrGetAbsoluteFileName("/etc")), "/etc");
  EXPECT_EQ(take(zyrGetAbsoluteFileName(dir.file("missing/f").c_str())), "<NULL>");

  const std::string previous = fs::current_path().string();
  ASSERT_EQ(zyrSetCurrentDirectory(dir.file("real").c_str()), 1);
  EXPECT_EQ(take(zyrGetAbsoluteFileName("f")), real + "/f");
  EXPECT_EQ(take(zyrGetCurrentDirectory()), real);
  ASSERT_EQ(zyrSetCurrentDirectory(previous.c_str()), 1);
  EXPECT_EQ(zyrSetCurrentDirectory(dir.file("missing").c_str()), 0);
}

// ---- Temporary names, environment and machine ----

TEST(FileSystem, TemporaryNames) {
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+=";
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    const std::string name = take(zyrGetTemporaryFileName(nullptr));
    ASSERT_EQ(name.size(), 26u);
    EXPECT_EQ(name.substr(22), ".tmp");
    EXPECT_EQ(name.find_first_not_of(alphabet), 22u) << name;
    seen.insert(name);
  }
  EXPECT_EQ(seen.size(), 1000u);
  const std::string prefixed = take(zyrGetTemporaryFileName("compact"));
  EXPECT_EQ(prefixed.size(), 7u + 1 + 22 + 4);
  EXPECT_EQ(prefixed.substr(0, 8), "compact.");
}

TEST(FileSystemDeathTest, TemporaryDirectoryTakesTheFirstUsableVariable) {
  GTEST_FLAG_SET(death_test_style, "fast");
  ScratchDir dir;
  EXPECT_EXIT(
      {
        setenv("TEMP", (dir.path() + "/missing").c_str(), 1);
        setenv("TMP", dir.path().c_str(), 1);
        setenv("TMPDIR", "/", 1);
        char *first = zyrGetTemporaryDirectory();
        unsetenv("TEMP");
        unsetenv("TMP");
        unsetenv("TMPDIR");
        char *fallback = zyrGetTemporaryDirectory();
        zyrtest::leaveChild(first && fallback && dir.path() == first && std::string(fallback) == "/tmp" ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(FileSystem, FreeDiskSpaceInSixtyFourBits) {
  ScratchDir dir;
  int64_t count = -7;
  ASSERT_EQ(zyrGetFreeDiskSpace(dir.path().c_str(), &count), 1);
  struct statvfs status;
  ASSERT_EQ(statvfs(dir.path().c_str(), &status), 0);
  const double expected = static_cast<double>(status.f_bfree) * static_cast<double>(status.f_frsize);
  EXPECT_GT(count, 0);
  EXPECT_NEAR(static_cast<double>(count), expected, 64.0 * 1024 * 1024);
  int64_t untouched = -7;
  EXPECT_EQ(zyrGetFreeDiskSpace(dir.file("missing").c_str(), &untouched), 0);
  EXPECT_EQ(untouched, -7);
}

TEST(FileSystem, MachineFacts) {
  const uint16_t probe = 1;
  EXPECT_EQ(zyrIsLittleEndian(), *reinterpret_cast<const unsigned char *>(&probe) == 1 ? 1 : 0);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  FILE *stream = fdopen(fds[0], "r");
  EXPECT_EQ(zyrIsTerminal(stream), 0);
  std::fclose(stream);
  close(fds[1]);
  EXPECT_EQ(zyrIsTerminal(nullptr), 0);
}

} // namespace

// The temporaries beside a file fit wherever the file's name fits: a copy onto a name as long as
// the directory takes, and the temporary names made beside such a name.
TEST(FileSystem, TemporariesBesideAFileFitWhereverItsNameFits) {
  ScratchDir dir;
  const std::string longest = dir.file(std::string(zyrLeftovers_nameMax(dir.path().c_str()), 'c'));
  writeFile(dir.file("src"), "new");
  writeFile(longest, "old");
  ASSERT_EQ(chmod(longest.c_str(), 0600), 0);
  EXPECT_EQ(zyrCopyFile(dir.file("src").c_str(), longest.c_str()), 1);
  EXPECT_EQ(readFile(longest), "new");
  struct stat status;
  ASSERT_EQ(stat(longest.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0600u);
  EXPECT_EQ(entries(dir.path()).size(), 2u);

  const std::string name = take(zyrGetTemporaryFileName(longest.c_str()));
  EXPECT_EQ(name.rfind(dir.path() + "/ccc", 0), 0u) << name;
  writeFile(name, "fits");
  EXPECT_EQ(readFile(name), "fits");
  EXPECT_EQ(zyrLeftovers_owner(name.c_str()), 0L);
  ASSERT_EQ(unlink(name.c_str()), 0);
  EXPECT_EQ(zyrSyncFile(longest.c_str()), 1);
  EXPECT_EQ(zyrSyncFile(dir.file("missing").c_str()), 0);
  zyrSyncDirectory(nullptr); // the working directory; nothing to report
}
