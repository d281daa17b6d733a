// Definition files: stored and published errors, opening, cloning, moving, compaction, copying
// chosen data sets with UUID translation, the version query and the summary.
#include "StoreTestSupport.h"

#include "Database.h"
#include "Dataset.h"
#include "DefFile.h"
#include "Dictionary.h"
#include "zyrCString.h"
#include "zyrDirectoryHandle.h"
#include "zyrError.h"
#include "zyrLeftovers.h"
#include "zyrMemory.h"
#include "zyrSystem.h"
#include "zyrTestChild.h"
#include "zyrTestErrors.h"
#include "zyrUUID.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using storetest::StoreTest;

std::string message(const zyrError *error) { return error ? zyrError_getMessage(error) : "<none>"; }

// Whether the handle's primary file is the file of the name, shown under that name (or as `shown`).
::testing::AssertionResult isPrimary(const DefFile *file, const std::string &name, const char *shown = nullptr) {
  struct stat held, named;
  if (stat(file->m_primaryFile, &held) != 0 || stat(name.c_str(), &named) != 0 || held.st_dev != named.st_dev ||
      held.st_ino != named.st_ino)
    return ::testing::AssertionFailure() << file->m_primaryFile << " is not the file " << name;
  char *text = DefFile_shownName(file);
  const std::string given = text != nullptr ? text : "";
  zyrCString_free(text);
  const std::string expected = shown != nullptr ? shown : name;
  if (given != expected)
    return ::testing::AssertionFailure() << "shown as " << given << ", not " << expected;
  return ::testing::AssertionSuccess();
}

int32_t countAll(DefFile *file) {
  int32_t count = 0;
  DefFile_match(file, "*", "*", -1, 1, &count, nullptr, nullptr, nullptr);
  return count;
}

TEST_F(StoreTest, FailedReadIsStoredAndPublishedOnRequest) {
  std::string name = path("errors.wez");
  DefFile *file = DefFile_new(name.c_str());
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(DefFile_reportError(file, "caller"), nullptr);
  int32_t value = 5;
  EXPECT_EQ(DefFile_readInt(file, "X", "EVERY", 0, &value), 0);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(file->m_errorCode, 10009);
  EXPECT_EQ(errorCount(), 0);
  // A later success leaves the stored error alone.
  ASSERT_EQ(DefFile_writeInt(file, "Y", "EVERY", 0, 1), 1);
  ASSERT_EQ(DefFile_readInt(file, "Y", "EVERY", 0, &value), 1);

  zyrError *error = DefFile_reportError(file, "callerFunction");
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(zyrError_getCode(error), 10009);
  EXPECT_STREQ(zyrError_getFunction(error), "callerFunction");
  EXPECT_STREQ(zyrError_getFile(error), "zyr_common/src/database/DefFile");
  EXPECT_EQ(message(error), "A problem was encountered with a WEZ data file.\n"
                            "\nUnable to read the requested scalar integer data set.\n"
                            "\nRoutine = DefFile_readInt\n"
                            "\nWhat  = X\nWhere = EVERY\nWhen  = 0\n\n"
                            "Primary file   = " +
                                name + " [open]\n");
  EXPECT_EQ(file->m_errorCode, 10009);
  DefFile_delete(file);
}

TEST_F(StoreTest, FailedWriteCarriesTheLibraryText) {
  DefFile *file = DefFile_new(path("write.wez").c_str());
  ASSERT_NE(file, nullptr);
  std::string what(76, 'w');
  EXPECT_EQ(DefFile_writeDoubleArray(file, what.c_str(), "EVERY", 3, nullptr, 0, 0), 0);
  EXPECT_EQ(DefFile_isModified(file), 1);
  EXPECT_EQ(file->m_errorCode, 10010);
  EXPECT_STREQ(file->m_description, "Unable to write the requested double array data set.");
  ASSERT_NE(file->m_io_error, nullptr);
  std::string text = message(DefFile_reportError(file, "caller"));
  EXPECT_NE(text.find("\nRoutine = DefFile_writeDoubleArray\n"), std::string::npos);
  EXPECT_NE(text.find("  IO library reported:\n\n" + std::string(file->m_io_error) + "\n"),
            std::string::npos);
  // Each stored error carries the library's messages since the one before.
  int32_t value;
  EXPECT_EQ(DefFile_readInt(file, "missing", "EVERY", 0, &value), 0);
  EXPECT_EQ(file->m_io_error, nullptr);
  DefFile_delete(file);
}

TEST_F(StoreTest, BlankNamesAreRefused) {
  for (const char *name : {"", "   "}) {
    EXPECT_EQ(DefFile_new(name), nullptr);
    ASSERT_NE(lastError(), nullptr);
    EXPECT_EQ(zyrError_getCode(lastError()), 10020);
    EXPECT_EQ(message(lastError()), "The supplied file name is blank.\n");
  }
  EXPECT_EQ(DefFile_new(nullptr), nullptr);
}

// Runs the body in a child process as an ordinary user (nobody, for a test run by root), working
// in the scratch directory, which is open to all (the directories above it may not be: the body
// names its files from there); "" when it found nothing wrong.
std::string asOrdinaryUser(const std::string &directory, const std::function<std::string()> &body) {
  if (chmod(directory.c_str(), 0777) != 0)
    return "the directory cannot be opened to all";
  return zyrtest::inChild([&] {
    if (chdir(directory.c_str()) != 0)
      return std::string("the directory cannot be entered");
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
      return std::string("the user cannot be changed");
    return body();
  });
}

// A lock conflict says who holds the file: here this process itself, which is not to delete its
// own lock. Only a lock file that no live holder can be seen behind is the user's to look at.
TEST_F(StoreTest, ALockConflictSaysWhoHoldsTheFile) {
  std::string name = path("locked.wez");
  DefFile *writer = DefFile_new(name.c_str());
  ASSERT_NE(writer, nullptr);
  ASSERT_EQ(DefFile_writeInt(writer, "A", "EVERY", 0, 1), 1);
  EXPECT_EQ(DefFile_new(name.c_str()), nullptr);
  ASSERT_NE(lastError(), nullptr);
  EXPECT_EQ(zyrError_getCode(lastError()), 10012);
  EXPECT_EQ(message(lastError()), "The supplied file name, " + name +
                                      ", can not\nbe opened: this process is writing it already.\n\nThe open can "
                                      "be tried again once it has been closed.\n");
  DefFile_delete(writer);
  DefFile *again = DefFile_new(name.c_str());
  EXPECT_NE(again, nullptr);
  DefFile_delete(again);

  // A writer's lock file beside a file the user may not even read: nobody can be seen holding it.
  storetest::writeFile(name + ".lck", "        -1\n");
  ASSERT_EQ(chmod(name.c_str(), 0), 0);
  EXPECT_EQ(asOrdinaryUser(dir(), [&] {
              zyrtest::ErrorCapture errors;
              const std::string local = "locked.wez";
              const std::string expected = "The supplied file name, " + local + ", can not\nbe opened as a lock file, " +
                                           local +
                                           ".lck,\nexists.\n\nIf this is the result of a previous failed run then "
                                           "try deleting the\nlock file and repeating the operation.\n";
              if (DefFile_new(local.c_str()) != nullptr)
                return std::string("opened");
              return message(errors.last()) == expected ? std::string() : message(errors.last());
            }),
            "");

  // A live writer of such a file is named all the same: its lock file is not the user's to delete.
  ASSERT_EQ(chmod(name.c_str(), 0600), 0);
  remove((name + ".lck").c_str());
  DefFile *live = DefFile_new(name.c_str());
  ASSERT_NE(live, nullptr);
  ASSERT_EQ(DefFile_writeInt(live, "A", "EVERY", 0, 3), 1);
  ASSERT_EQ(chmod(name.c_str(), 0), 0);
  const std::string self = std::to_string(static_cast<long>(getpid()));
  EXPECT_EQ(asOrdinaryUser(dir(), [&] {
              zyrtest::ErrorCapture errors;
              const std::string expected = "The supplied file name, locked.wez, can not\nbe opened: another process "
                                           "(process id " + self + ") is writing it.\n\nThe open can be tried "
                                           "again when that process has finished with the file.\n";
              if (DefFile_new("locked.wez") != nullptr)
                return std::string("opened");
              return message(errors.last()) == expected ? std::string() : message(errors.last());
            }),
            "");
  DefFile_delete(live);
}

// Every name whose lock file the system takes works, whatever this process's id: the temporaries
// of the lock file and of a compaction fit wherever the name fits. A longer name makes no file,
// and an existing file of such a name opens saying that its name is too long for changes.
TEST_F(StoreTest, EveryNameWhoseLockFileFitsWorksAndALongerOneSaysSo) {
  const size_t most = zyrLeftovers_nameMax(dir().c_str());
  const std::string longest = path(std::string(most - 4, 'n'));
  DefFile *written = DefFile_new(longest.c_str());
  ASSERT_NE(written, nullptr) << message(lastError());
  ASSERT_EQ(DefFile_writeInt(written, "A", "EVERY", 0, 1), 1);
  ASSERT_EQ(DefFile_writeInt(written, "A", "EVERY", 0, 2), 1);
  ASSERT_EQ(DefFile_compact(written, 0), 1);
  DefFile_delete(written);
  DefFile *again = DefFile_new(longest.c_str());
  ASSERT_NE(again, nullptr);
  int32_t value = 0;
  EXPECT_EQ(DefFile_readInt(again, "A", "EVERY", 0, &value), 1);
  EXPECT_EQ(value, 2);
  DefFile_delete(again);
  EXPECT_EQ(zyrRemoveDatabaseFile(longest.c_str()), 1);

  const std::string name = path(std::string(most - 3, 'n'));
  EXPECT_EQ(DefFile_new(name.c_str()), nullptr);
  ASSERT_NE(lastError(), nullptr);
  EXPECT_TRUE(zyrtest::contains(message(lastError()), "as its lock file cannot be made: File name too long"))
      << message(lastError());
  EXPECT_FALSE(zyrIsFile(name.c_str()));

  const std::string shortName = path("short.wez");
  DefFile *made = DefFile_new(shortName.c_str());
  ASSERT_NE(made, nullptr);
  ASSERT_EQ(DefFile_writeInt(made, "A", "EVERY", 0, 1), 1);
  DefFile_delete(made);
  ASSERT_EQ(rename(shortName.c_str(), name.c_str()), 0);
  DefFile *file = DefFile_new(name.c_str());
  ASSERT_NE(file, nullptr);
  ASSERT_NE(lastError(), nullptr);
  EXPECT_TRUE(zyrtest::contains(message(lastError()), ".lck cannot be made\n(the name is too long: File name too long).\n"))
      << message(lastError());
  DefFile_delete(file);
}

// Writes to a file the user may not write are refused with the system's reason.
TEST_F(StoreTest, AWriteTheUserMayNotMakeGivesTheSystemsReason) {
  const std::string name = path("theirs.wez");
  DefFile *file = DefFile_new(name.c_str());
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(DefFile_writeInt(file, "A", "EVERY", 0, 1), 1);
  DefFile_delete(file);
  ASSERT_EQ(chmod(name.c_str(), 0444), 0);
  EXPECT_EQ(asOrdinaryUser(dir(), [&] {
              DefFile *theirs = DefFile_new("theirs.wez");
              if (theirs == nullptr)
                return std::string("not opened");
              std::string found;
              const char *const reason = "\n\nThe system gives the reason: Permission denied.";
              if (DefFile_writeInt(theirs, "B", "EVERY", 0, 2) != 0 ||
                  theirs->m_description != "Unable to write the requested scalar integer data set." + std::string(reason))
                found += std::string("write: ") + theirs->m_description + "\n";
              if (DefFile_claimWrite(theirs) != 0 ||
                  theirs->m_description !=
                      "The WEZ data file is not writable: it has been opened for reading only." + std::string(reason))
                found += std::string("claim: ") + theirs->m_description + "\n";
              DefFile_delete(theirs);
              return found;
            }),
            "");
}

TEST_F(StoreTest, UnreadableFilesAreReportedAsNotDataFiles) {
  std::string name = path("junk.wez");
  storetest::writeFile(name, "this is not a data-set file\n");
  EXPECT_EQ(DefFile_new(name.c_str()), nullptr);
  EXPECT_EQ(zyrError_getCode(lastError()), 10020);
  EXPECT_EQ(message(lastError()),
            "The supplied file name, " + name +
                ", can not\nbe opened as a WEZ data file.\n\nThis could be because it has the "
                "wrong format or because you\ndon't have write permissions in the requested "
                "directory.\n");
  EXPECT_EQ(storetest::readFile(name), "this is not a data-set file\n");
  // Where the system refuses, its reason follows.
  for (const std::string &where : {path("nowhere/new.wez"), path("junk.wez/new.wez")}) {
    EXPECT_EQ(DefFile_new(where.c_str()), nullptr);
    const std::string said = message(lastError());
    EXPECT_EQ(said.substr(said.find("directory.\n") + 11),
              std::string("\nThe system gives the reason: ") +
                  (where.find("junk") != std::string::npos ? "Not a directory" : "No such file or directory") +
                  ".\n")
        << said;
  }
}

TEST_F(StoreTest, CloneCopiesValidDataSetsOntoANewFileOnly) {
  DefFile *file = DefFile_new(path("source.wez").c_str());
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(DefFile_writeInt(file, "A", "EVERY", 0, 1), 1);
  ASSERT_EQ(DefFile_writeInt(file, "A", "EVERY", 0, 2), 1); // supersedes the first
  ASSERT_EQ(DefFile_writeInt(file, "B", "EVERY", 4, 3), 1);
  int32_t value;
  EXPECT_EQ(DefFile_readInt(file, "none", "EVERY", 0, &value), 0);
  DefFile *copy = DefFile_clone(file, path("copy.wez").c_str());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(countAll(copy), 2);
  ASSERT_EQ(DefFile_readInt(copy, "A", "EVERY", 0, &value), 1);
  EXPECT_EQ(value, 2);
  DefFile_delete(copy);
  // Onto an existing file: nothing, and the stored error is the one before.
  EXPECT_EQ(DefFile_clone(file, path("copy.wez").c_str()), nullptr);
  EXPECT_EQ(file->m_errorCode, 10009);
  EXPECT_STREQ(file->m_function, "DefFile_readInt");
  DefFile_delete(file);
}

TEST_F(StoreTest, MoveFileReopensUnderTheNewName) {
  std::string from = path("from.wez"), to = path("to.wez");
  DefFile *file = DefFile_new(from.c_str());
  ASSERT_EQ(DefFile_writeInt(file, "A", "EVERY", 0, 11), 1);
  ASSERT_EQ(DefFile_moveFile(file, to.c_str()), 1);
  EXPECT_TRUE(isPrimary(file, to));
  EXPECT_EQ(access(from.c_str(), F_OK), -1);
  int32_t value = 0;
  ASSERT_EQ(DefFile_readInt(file, "A", "EVERY", 0, &value), 1);
  EXPECT_EQ(value, 11);
  // A move that cannot happen reopens the file where it was.
  EXPECT_EQ(DefFile_moveFile(file, path("no/such/dir/x.wez").c_str()), 0);
  EXPECT_TRUE(isPrimary(file, to));
  ASSERT_EQ(DefFile_readInt(file, "A", "EVERY", 0, &value), 1);
  DefFile_delete(file);
}

// A file opened by a relative name is named so in every message, those of its open and those of
// later calls, whatever the working directory has become.
TEST_F(StoreTest, MessagesNameTheFileAsItsOpenWasGivenIt) {
  zyrtest::WorkingDir here(dir());
  DefFile *file = DefFile_new("tail.wez");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(DefFile_writeInt(file, "A", "EVERY", 0, 1), 1);
  DefFile_delete(file);
  zyrtest::writeFile("tail.wez", zyrtest::readFile("tail.wez") + "*DATASET damaged");
  zyrtest::ErrorCapture errors;
  file = DefFile_new("tail.wez");
  ASSERT_NE(file, nullptr);
  const std::vector<std::string> said = errors.take();
  ASSERT_EQ(said.size(), 1u);
  EXPECT_EQ(said[0].rfind("4: The file\n\ntail.wez\n\nis damaged or incomplete from byte ", 0), 0u) << said[0];
  ASSERT_EQ(chdir("/"), 0);
  int32_t value = 0;
  EXPECT_EQ(DefFile_readInt(file, "B", "EVERY", 0, &value), 0);
  char *shown = DefFile_shownName(file);
  EXPECT_STREQ(shown, "tail.wez");
  zyrCString_free(shown);
  zyrError *error = DefFile_reportError(file, "caller");
  ASSERT_NE(error, nullptr);
  EXPECT_NE(message(error).find("Primary file   = tail.wez [open]\n"), std::string::npos) << message(error);
  DefFile_delete(file);
}

// A file renamed while open (or whose directory is renamed, where the open cannot hold the
// directory) leaves its lock file under the old name. Another file opened there since counts
// itself in that lock file: the first handle's close leaves it as it is, and the other's close
// then finds it as it left it. The first file's data stay where the file went.
TEST_F(StoreTest, ACloseChangesOnlyTheLockFileItCountsIn) {
  struct Case {
    const char *m_what;
    bool m_directory; // the directory is renamed, else the file
    bool m_held;      // the open holds its directory (names through a descriptor)
  };
  for (const Case &c : {Case{"file renamed", false, true}, Case{"file renamed, no held directory", false, false},
                        Case{"directory renamed, no held directory", true, false}}) {
    SCOPED_TRACE(c.m_what);
    zyrDirectoryHandle_setEnabled(c.m_held ? 1 : 0);
    zyrtest::ScratchDir root("renamed", dir());
    const std::string a = root.file("A"), a2 = root.file("A2");
    ASSERT_EQ(mkdir(a.c_str(), 0700), 0);
    const std::string name = a + "/a.wez";
    DefFile *ours = DefFile_new(name.c_str());
    ASSERT_NE(ours, nullptr);
    ASSERT_EQ(DefFile_writeInt(ours, "OURS", "EVERY", 0, 1), 1);
    if (c.m_directory) {
      ASSERT_EQ(rename(a.c_str(), a2.c_str()), 0);
      ASSERT_EQ(mkdir(a.c_str(), 0700), 0);
    } else {
      ASSERT_EQ(rename(name.c_str(), (a + "/old.wez").c_str()), 0);
    }
    DefFile *theirs = nullptr;
    {
      zyrtest::ErrorCapture errors;
      theirs = DefFile_new(name.c_str());
      ASSERT_NE(theirs, nullptr);
      ASSERT_EQ(DefFile_writeInt(theirs, "THEIRS", "EVERY", 0, 2), 1);
    }
    const std::string theirLock = zyrtest::readFile(name + ".lck");
    ASSERT_FALSE(theirLock.empty());
    zyrtest::ErrorCapture errors;
    // Nor is a copy made beside a name that leads to another file now.
    EXPECT_EQ(DefFile_compact(ours, 0), 0);
    EXPECT_NE(message(DefFile_reportError(ours, "caller")).find("its name no longer leads to it"), std::string::npos);
    errors.take();
    DefFile_delete(ours);
    EXPECT_EQ(zyrtest::readFile(name + ".lck"), theirLock);
    DefFile_delete(theirs);
    EXPECT_EQ(errors.take(), std::vector<std::string>{});
    EXPECT_EQ(zyrtest::listing(a), c.m_directory ? std::vector<std::string>{"a.wez"}
                                                 : (std::vector<std::string>{"a.wez", "old.wez"}));
    // Without a held directory the first file's lock file stays where the file went, and the next
    // open takes it over.
    if (c.m_directory)
      EXPECT_EQ(zyrtest::listing(a2), (std::vector<std::string>{"a.wez", "a.wez.lck"}));
    const std::string moved = c.m_directory ? a2 + "/a.wez" : a + "/old.wez";
    for (const auto &[file, what, value] : {std::make_tuple(moved, "OURS", 1), std::make_tuple(name, "THEIRS", 2)}) {
      DefFile *again = DefFile_new(file.c_str());
      ASSERT_NE(again, nullptr);
      int32_t read = 0;
      EXPECT_EQ(DefFile_readInt(again, what, "EVERY", 0, &read), 1);
      EXPECT_EQ(read, value);
      DefFile_delete(again);
    }
    errors.take();
    zyrDirectoryHandle_setEnabled(1);
  }
}

TEST_F(StoreTest, CompactionKeepsOnlyValidDataSetsAndLeavesNothingBehind) {
  std::string name = path("compact.wez");
  DefFile *file = DefFile_new(name.c_str());
  ASSERT_NE(file, nullptr);
  for (int32_t i = 0; i < 5; ++i) ASSERT_EQ(DefFile_writeInt(file, "A", "EVERY", 0, i), 1);
  ASSERT_EQ(DefFile_writeInt(file, "B", "EVERY", 0, 10), 1);
  ASSERT_EQ(DefFile_writeInt(file, "C", "EVERY", 0, 20), 1);
  ASSERT_EQ(DefFile_erase(file, "C", "EVERY", 0), 1);
  DefFile_delete(file);
  file = DefFile_new(name.c_str());
  int64_t before = static_cast<int64_t>(storetest::readFile(name).size());
  ASSERT_EQ(DefFile_compact(file, 0), 1);
  EXPECT_EQ(DefFile_isModified(file), 1);
  EXPECT_EQ(countAll(file), 2);
  int32_t value = 0;
  ASSERT_EQ(DefFile_readInt(file, "A", "EVERY", 0, &value), 1);
  EXPECT_EQ(value, 4);
  ASSERT_EQ(DefFile_writeInt(file, "D", "EVERY", 0, 30), 1);
  DefFile_delete(file);
  EXPECT_LT(static_cast<int64_t>(storetest::readFile(name).size()), before);
  EXPECT_EQ(listing(), std::vector<std::string>{"compact.wez"});
  file = DefFile_new(name.c_str());
  EXPECT_EQ(countAll(file), 3);
  DefFile_delete(file);
}

TEST_F(StoreTest, CompactionWithCompressedWhens) {
  std::string name = path("whens.wez");
  DefFile *file = DefFile_new(name.c_str());
  for (int32_t when : {0, 3, 7}) ASSERT_EQ(DefFile_writeInt(file, "A", "K", when, when), 1);
  ASSERT_EQ(DefFile_writeInt(file, "G", "GLOBAL", 0, 5), 1);
  ASSERT_EQ(DefFile_compact(file, 1), 1);
  int32_t count = 0;
  char **whats = nullptr, **wheres = nullptr;
  int32_t *whens = nullptr;
  DefFile_match(file, "A", "K", -1, 0, &count, &whats, &wheres, &whens);
  ASSERT_EQ(count, 2);
  std::vector<int32_t> seen(whens, whens + count);
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<int32_t>{0, 1}));
  int32_t value = 0;
  ASSERT_EQ(DefFile_readInt(file, "A", "K", 1, &value), 1);
  EXPECT_EQ(value, 7);
  zyrCStringArray_free(whats, count);
  zyrCStringArray_free(wheres, count);
  zyrMemory_free(whens, "test");
  DefFile_delete(file);
  EXPECT_EQ(listing(), std::vector<std::string>{"whens.wez"});
}

TEST_F(StoreTest, CompactionOfANameWithoutDirectory) {
  zyrtest::WorkingDir here(dir());
  DefFile *file = DefFile_new("plain.wez");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(DefFile_writeInt(file, "A", "EVERY", 0, 1), 1);
  ASSERT_EQ(DefFile_writeInt(file, "A", "EVERY", 0, 2), 1);
  EXPECT_EQ(DefFile_compact(file, 0), 1);
  EXPECT_TRUE(isPrimary(file, "plain.wez"));
  // Compacted again from elsewhere, it stays in its directory.
  ASSERT_EQ(chdir("/"), 0);
  EXPECT_EQ(DefFile_compact(file, 0), 1);
  EXPECT_TRUE(isPrimary(file, path("plain.wez"), "plain.wez"));
  DefFile_delete(file);
  EXPECT_EQ(listing(), std::vector<std::string>{"plain.wez"});
}

// The copy into the temporary file fails (the file-size limit stops it half way): the file keeps
// its name, its bytes and its data sets, and no temporary file is left.
void compactUnderSizeLimit(const std::string &name, const std::string &dir) {
  signal(SIGXFSZ, SIG_IGN);
  DefFile *file = DefFile_new(name.c_str());
  std::string bytes = storetest::readFile(name);
  struct rlimit limit = {4096, 4096};
  if (!file || setrlimit(RLIMIT_FSIZE, &limit) != 0) zyrtest::leaveChild(2);
  if (DefFile_compact(file, 0) != 0) zyrtest::leaveChild(3);
  if (file->m_errorCode != 10006 || strcmp(file->m_description, "Unable to compact the WEZ data file.") != 0)
    zyrtest::leaveChild(4);
  int32_t *values = nullptr, count = 0;
  if (!DefFile_readInts(file, "A", "EVERY", 0, &values, &count) || count != 5000) zyrtest::leaveChild(5);
  zyrMemory_free(values, "test");
  DefFile_delete(file);
  if (storetest::readFile(name) != bytes) zyrtest::leaveChild(6);
  int entries = 0;
  for (const auto &entry : std::filesystem::directory_iterator(dir))
    entries += entry.is_regular_file() ? 1 : 0;
  zyrtest::leaveChild(entries == 1 ? 0 : 7);
}

TEST_F(StoreTest, FailedCompactionKeepsTheFile) {
  std::string name = path("keep.wez");
  DefFile *file = DefFile_new(name.c_str());
  std::vector<int32_t> values(5000);
  for (int32_t i = 0; i < 5000; ++i) values[i] = i * 7919;
  ASSERT_EQ(DefFile_writeIntArray(file, "A", "EVERY", 0, values.data(), 5000, 0), 1);
  ASSERT_EQ(DefFile_writeInt(file, "B", "EVERY", 0, 1), 1);
  DefFile_delete(file);
  EXPECT_EXIT(compactUnderSizeLimit(name, dir()), testing::ExitedWithCode(0), "");
}

class CopyDatasetsTest : public StoreTest {
protected:
  void SetUp() override {
    StoreTest::SetUp();
    m_source = DefFile_new(path("source.wez").c_str());
    m_destination = DefFile_new(path("destination.wez").c_str());
    ASSERT_NE(m_source, nullptr);
    ASSERT_NE(m_destination, nullptr);
    for (auto &uuid : m_old) uuid = zyrUUID_new();
    for (auto &uuid : m_new) uuid = zyrUUID_new();
    for (int i = 0; i < 2; ++i) {
      zyrUUID_toBase64(m_old[i], m_oldKeys[i]);
      zyrUUID_toBase64(m_new[i], m_newKeys[i]);
    }
    m_map = Dictionary_new(1);
    for (int i = 0; i < 2; ++i) Dictionary_add(m_map, m_oldKeys[i], m_newKeys[i]);
  }
  void TearDown() override {
    Dictionary_delete(m_map);
    DefFile_delete(m_source);
    DefFile_delete(m_destination);
    for (auto *uuid : m_old) zyrUUID_delete(uuid);
    for (auto *uuid : m_new) zyrUUID_delete(uuid);
    StoreTest::TearDown();
  }
  DefFile *m_source = nullptr, *m_destination = nullptr;
  zyrUUID *m_old[2] = {}, *m_new[2] = {};
  char m_oldKeys[2][ZYR_UUID_BASE64_SIZE] = {}, m_newKeys[2][ZYR_UUID_BASE64_SIZE] = {};
  Dictionary *m_map = nullptr;
};

TEST_F(CopyDatasetsTest, TranslatesKeysAndReferences) {
  const zyrUUID *refs[3] = {m_old[1], nullptr, m_old[0]};
  ASSERT_EQ(DefFile_writeUUIDArray(m_source, "links", m_oldKeys[0], 2, refs, 3), 1);
  ASSERT_EQ(DefFile_writeInt(m_source, "size", m_oldKeys[0], 3, 77), 1);
  ASSERT_EQ(DefFile_writeString(m_source, "name", m_oldKeys[1], 1, "second"), 1);
  ASSERT_EQ(DefFile_writeInt(m_destination, "kept", "GLOBAL", 0, 5), 1);

  const char *wheres[2] = {m_oldKeys[0], m_oldKeys[1]};
  const int32_t bounds[3] = {0, 2, 3};
  const char *whats[3] = {"links", "size", "name"};
  const int32_t whens[3] = {2, 3, 1};
  // The destination stays open and held throughout: its stream and its writer's lock file.
  const FILE *stream = m_destination->m_fileInfo->m_primary.m_stream;
  ASSERT_EQ(DefFile_copyDatasets(m_destination, m_source, m_map, 6, 2, wheres, bounds, whats, whens), 1);
  EXPECT_EQ(m_destination->m_fileInfo->m_primary.m_stream, stream);
  EXPECT_EQ(DefFile_isWriter(m_destination), 1);
  EXPECT_EQ(storetest::readFile(path("destination.wez.lck")), "        -1\n");
  EXPECT_EQ(m_destination->m_openFiles, static_cast<uint32_t>(DEFFILE_PRIMARY_OPEN));
  EXPECT_EQ(m_source->m_openFiles, static_cast<uint32_t>(DEFFILE_PRIMARY_OPEN));

  zyrUUID **read = nullptr;
  int32_t count = 0;
  ASSERT_EQ(DefFile_readUUIDs(m_destination, "links", m_newKeys[0], 6, &read, &count), 1);
  ASSERT_EQ(count, 3);
  EXPECT_TRUE(zyrUUID_isEqual(read[0], m_new[1]));
  EXPECT_EQ(read[1], nullptr);
  EXPECT_TRUE(zyrUUID_isEqual(read[2], m_new[0]));
  for (int i = 0; i < 3; ++i) zyrUUID_delete(read[i]);
  zyrMemory_free(read, "test");
  int32_t value = 0;
  ASSERT_EQ(DefFile_readInt(m_destination, "size", m_newKeys[0], 6, &value), 1);
  EXPECT_EQ(value, 77);
  char *text = nullptr;
  ASSERT_EQ(DefFile_readString(m_destination, "name", m_newKeys[1], 6, &text), 1);
  EXPECT_STREQ(text, "second");
  zyrCString_free(text);
  ASSERT_EQ(DefFile_readInt(m_destination, "kept", "GLOBAL", 0, &value), 1);
  EXPECT_EQ(countAll(m_destination), 4);
  // The source is untouched.
  EXPECT_EQ(countAll(m_source), 3);
}

TEST_F(CopyDatasetsTest, AnUnmappedReferenceFailsTheCopy) {
  zyrUUID *stranger = zyrUUID_new();
  const zyrUUID *refs[1] = {stranger};
  ASSERT_EQ(DefFile_writeUUIDArray(m_source, "links", m_oldKeys[0], 0, refs, 1), 1);
  const char *wheres[1] = {m_oldKeys[0]};
  const int32_t bounds[2] = {0, 1};
  const char *whats[1] = {"links"};
  const int32_t whens[1] = {0};
  EXPECT_EQ(DefFile_copyDatasets(m_destination, m_source, m_map, 1, 1, wheres, bounds, whats, whens), 0);
  EXPECT_EQ(m_source->m_errorCode, 10005);
  EXPECT_EQ(m_destination->m_errorCode, 10005);
  EXPECT_EQ(countAll(m_destination), 0);
  // Both files are open again as they were.
  EXPECT_EQ(DefFile_writeInt(m_destination, "after", "GLOBAL", 0, 1), 1);
  EXPECT_EQ(DefFile_writeInt(m_source, "after", "GLOBAL", 0, 1), 1);
  zyrUUID_delete(stranger);
}

class VersionTest : public StoreTest {
protected:
  void SetUp() override {
    StoreTest::SetUp();
    m_file = DefFile_new(path("version.wez").c_str());
    ASSERT_NE(m_file, nullptr);
  }
  void TearDown() override {
    unsetenv("ZYR_DEFFILE_VERSION");
    DefFile_delete(m_file);
    StoreTest::TearDown();
  }
  std::vector<int32_t> version(int expected) {
    int32_t v[3] = {-1, -1, -1};
    EXPECT_EQ(DefFile_getVersion(m_file, &v[0], &v[1], &v[2]), expected);
    return {v[0], v[1], v[2]};
  }
  DefFile *m_file = nullptr;
};

TEST_F(VersionTest, FromTheEnvironment) {
  setenv("ZYR_DEFFILE_VERSION", "11.0", 1);
  EXPECT_EQ(version(1), (std::vector<int32_t>{11, 0, 0}));
  setenv("ZYR_DEFFILE_VERSION", "12.3.4", 1);
  EXPECT_EQ(version(1), (std::vector<int32_t>{12, 3, 4}));
  EXPECT_EQ(errorCount(), 0);
  // One number is not a version: a warning, then the file decides.
  setenv("ZYR_DEFFILE_VERSION", "11", 1);
  ASSERT_EQ(DefFile_writeStringAsChars(m_file, "G/CRELNO", "EVERY", 0, "10.0"), 1);
  EXPECT_EQ(version(1), (std::vector<int32_t>{10, 0, 0}));
  ASSERT_NE(lastError(), nullptr);
  EXPECT_EQ(zyrError_getCode(lastError()), 3);
  EXPECT_EQ(
      message(lastError()),
      "The value of the environment variable ZYR_DEFFILE_VERSION is invalid\nand has been ignored.\n\nIt "
      "should consist of the major, minor and point release numbers\nseparated by full stops, e.g. "
      "\"major.minor.point\". The point\nrelease number is optional and defaults to zero if it is "
      "omitted.\n");
}

TEST_F(VersionTest, FromTheReleaseText) {
  ASSERT_EQ(DefFile_writeStringAsChars(m_file, "G/CRELNO", "EVERY", 0, "11.0.1 (build 2003.04.01 a.b)"), 1);
  EXPECT_EQ(version(1), (std::vector<int32_t>{11, 0, 1}));
  ASSERT_EQ(DefFile_erase(m_file, "G/CRELNO", "EVERY", 0), 1);
  ASSERT_EQ(DefFile_writeIoString(m_file, "G/CRELNO", "EVERY", 0, "9.2"), 1);
  EXPECT_EQ(version(1), (std::vector<int32_t>{9, 2, 0}));
}

TEST_F(VersionTest, FromTheZoneCount) {
  EXPECT_EQ(version(0), (std::vector<int32_t>{0, 0, 0}));
  ASSERT_EQ(DefFile_writeInt(m_file, "G/NZN", "EVERY", 0, 1), 1);
  EXPECT_EQ(version(0), (std::vector<int32_t>{0, 0, 0}));
  ASSERT_EQ(DefFile_writeInt(m_file, "G/NZN", "EVERY", 0, 3), 1);
  EXPECT_EQ(version(1), (std::vector<int32_t>{5, 5, 0}));
}

TEST_F(VersionTest, AnEmptyReleaseThatIsNoIoStringIsAnError) {
  ASSERT_EQ(DefFile_writeCharArray(m_file, "G/CRELNO", "EVERY", 0, nullptr, 0), 1);
  EXPECT_EQ(version(0), (std::vector<int32_t>{0, 0, 0}));
  EXPECT_EQ(m_file->m_errorCode, 20006);
  EXPECT_EQ(std::string(m_file->m_description),
            "Unable to determine a version number for the WEZ data file:\n\n" + path("version.wez") + "\n\n");
}

TEST_F(StoreTest, SummaryListsEveryDataSet) {
  DefFile *file = DefFile_new(path("summary.wez").c_str());
  ASSERT_EQ(DefFile_writeInt(file, "count", "EVERY", 0, 12), 1);
  ASSERT_EQ(DefFile_writeDouble(file, "scale", "a-longer-where", 2, 0.25), 1);
  const char *two[2] = {"x", "y"};
  ASSERT_EQ(DefFile_writeStringArray(file, "names", "EVERY", 0, two, 2), 1);
  char *text = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&text, &size);
  EXPECT_EQ(DefFile_summarise(file, stream), 1);
  fclose(stream);
  std::string out(text, size);
  free(text);
  // Columns one wider than their longest entry.
  EXPECT_NE(out.find("\nWhat  Where                When Type      Value\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\ncount EVERY                   0 I=1       12\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\nscale a-longer-where          2 D=1       2.500000e-01\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\nnames EVERY                   0 S=2 \n"), std::string::npos) << out;
  EXPECT_NE(out.find("\nKey:\n----\n  I = Integers\n"), std::string::npos);
  DefFile_delete(file);
}

TEST_F(StoreTest, PrintShowsTheStoredError) {
  DefFile *file = DefFile_new(path("print.wez").c_str());
  int32_t value;
  EXPECT_EQ(DefFile_readInt(file, "X", "W", 4, &value), 0);
  char *text = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&text, &size);
  DefFile_print(file, stream);
  Dataset_print(file->m_dataset, stream);
  fclose(stream);
  std::string out(text, size);
  free(text);
  EXPECT_NE(out.find("m_isModified = 0\n"), std::string::npos);
  EXPECT_NE(out.find("m_errorCode  = 10009\n\n"), std::string::npos);
  EXPECT_NE(out.find("m_what  = X\nm_where = W\nm_when  = 4\n"), std::string::npos);
  EXPECT_NE(out.find("m_function = DefFile_readInt\n"), std::string::npos);
  EXPECT_NE(out.find("what        = X\n"), std::string::npos);
  EXPECT_NE(out.find("numchar     = <NULL>\n"), std::string::npos);
  DefFile_delete(file);
}

} // namespace

namespace {

using storetest::readFile;
using storetest::writeFile;

TEST_F(StoreTest, EveryOpenSaysWhichDataSetsItLeftOutAndWhatIsReadInTheirPlace) {
  const std::string name = path("damaged.wez");
  // Two copies of A (a writer that rewrites a data set adds the newer one), then B and C.
  ASSERT_TRUE(storetest::writeIntDataSets(name, {{"A", 1}, {"A", 2}, {"B", 3}, {"C", 4}}));
  const std::string good = readFile(name);
  struct Case {
    std::string m_bytes;
    std::string m_first;
    int m_count;
    int32_t m_a;
  };
  const std::vector<Case> cases = {
      {storetest::lengthenEntry(good, "A", 1), "the data set A:EVERY:0, of which an older copy is read instead", 1, 1},
      {storetest::lengthenEntry(storetest::lengthenEntry(good, "B"), "C"), "the data set B:EVERY:0", 2, 2},
  };
  for (const Case &c : cases)
    for (const bool reading : {true, false}) {
      SCOPED_TRACE(c.m_first + (reading ? ", read" : ", written"));
      writeFile(name, c.m_bytes);
      zyrtest::ErrorCapture errors;
      DefFile *opened = reading ? DefFile_openForReading(name.c_str()) : DefFile_new(name.c_str());
      ASSERT_NE(opened, nullptr);
      const std::vector<zyrtest::RaisedError> said = errors.published();
      ASSERT_EQ(said.size(), 1u);
      EXPECT_EQ(said[0].code, 4);
      EXPECT_TRUE(said[0].message.rfind("The file\n\n" + name + "\n\nholds data sets whose names are damaged or that "
                                        "do not stand as its index says, from byte ", 0) == 0)
          << said[0].message;
      EXPECT_TRUE(zyrtest::contains(said[0].message, " on (the first: " + c.m_first + "); " +
                                                        std::to_string(c.m_count) + " data set" +
                                                        (c.m_count == 1 ? " of " : "s of ")))
          << said[0].message;
      int32_t a = 0;
      EXPECT_EQ(DefFile_readInt(opened, "A", "EVERY", 0, &a), 1);
      EXPECT_EQ(a, c.m_a);
      EXPECT_EQ(DefFile_isLeftOut(opened, "B", "EVERY", 0), c.m_count == 2 ? 1 : 0);
      EXPECT_EQ(DefFile_isLeftOut(opened, "A", "EVERY", 0), 0);
      DefFile_delete(opened);
    }
}

// K0..K9 of three integers each (1000 i + j), then K3 written again (3500..3502), and the newer K3's
// entry renamed K8 (which has a data set of its own) or KQ (which has none), its frame whole. The
// warning named the entry's data set, and said that K8 read an older copy, while K8 read its own
// values and K3 its older ones in silence.
TEST_F(StoreTest, ADataSetWhoseEntryNamesAnotherIsNamedByItsFrame) {
  const std::string name = path("renamed.wez");
  DefFile *file = DefFile_new(name.c_str());
  ASSERT_NE(file, nullptr);
  for (int32_t i = 0; i < 10; ++i) {
    const int32_t values[3] = {1000 * i, 1000 * i + 1, 1000 * i + 2};
    ASSERT_EQ(DefFile_writeIntArray(file, ("K" + std::to_string(i)).c_str(), "W", 0, values, 3, 0), 1);
  }
  const int32_t newer[3] = {3500, 3501, 3502};
  ASSERT_EQ(DefFile_writeIntArray(file, "K3", "W", 0, newer, 3, 0), 1);
  DefFile_delete(file);
  const std::string good = readFile(name);
  const auto first = [](DefFile *opened, const char *what) {
    int32_t *values = nullptr, count = 0;
    const int32_t value = DefFile_readInts(opened, what, "W", 0, &values, &count) == 1 && count == 3 ? values[0] : -1;
    zyrMemory_free(values, "test");
    return value;
  };
  for (const std::string renamed : {"K8", "KQ"})
    for (const bool reading : {true, false}) {
      SCOPED_TRACE(renamed + (reading ? ", read" : ", written"));
      writeFile(name, storetest::renameEntry(good, "K3", renamed, 1));
      zyrtest::ErrorCapture errors;
      DefFile *opened = reading ? DefFile_openForReading(name.c_str()) : DefFile_new(name.c_str());
      ASSERT_NE(opened, nullptr);
      EXPECT_EQ(errors.published(),
                (std::vector<zyrtest::RaisedError>{
                    {4, "The file\n\n" + name +
                            "\n\nholds data sets whose names are damaged or that do not stand as its index says, "
                            "from byte 1626 on (the first: the data set K3:W:0, of which an older copy is read "
                            "instead; its index entry names the data set " +
                            renamed + ":W:0); 1 data set of 159 bytes in all has been left out.\n"}}));
      EXPECT_EQ(first(opened, "K3"), 3000);
      EXPECT_EQ(first(opened, "K8"), 8000);
      EXPECT_EQ(first(opened, "KQ"), -1);
      DefFile_delete(opened);
    }
  // A frame whose header does not read is named by its entry.
  std::string unread = good;
  const size_t tag = unread.find("NUMATTRB", 1626);
  ASSERT_NE(tag, std::string::npos);
  unread[tag] = 'X';
  writeFile(name, storetest::renameEntry(unread, "K3", "KQ", 1));
  zyrtest::ErrorCapture errors;
  DefFile *opened = DefFile_openForReading(name.c_str());
  ASSERT_NE(opened, nullptr);
  const std::vector<zyrtest::RaisedError> said = errors.published();
  ASSERT_EQ(said.size(), 1u);
  EXPECT_TRUE(zyrtest::contains(said[0].message, " on (the first: the data set KQ:W:0); 1 data set of "))
      << said[0].message;
  EXPECT_EQ(first(opened, "K3"), 3000);
  DefFile_delete(opened);
}

// The newest version of an object's "data" whose entry names another object: the warning named
// that object's version, and the older version of the first object was read in silence.
TEST_F(StoreTest, ADatabaseVersionWhoseEntryNamesAnotherObjectIsNamedByItsFrame) {
  const std::string name = path("renamed.zyr");
  Database *database = Database_new(name.c_str());
  ASSERT_NE(database, nullptr);
  zyrUUID *a = zyrUUID_newFromIntegers(1, 2, 3, 4), *b = zyrUUID_newFromIntegers(5, 6, 7, 8);
  const int32_t older[2] = {1, 2}, newer[2] = {3, 4}, other[2] = {5, 6};
  ASSERT_EQ(Database_setInts(database, 1, a, "data", older, 2), 1);
  ASSERT_EQ(Database_setInts(database, 2, a, "data", newer, 2), 1);
  ASSERT_EQ(Database_setInts(database, 1, b, "data", other, 2), 1);
  Database_delete(database);
  char keyA[ZYR_UUID_BASE64_SIZE], keyB[ZYR_UUID_BASE64_SIZE];
  zyrUUID_toBase64(a, keyA);
  zyrUUID_toBase64(b, keyB);
  const std::string esc = "\x1b";
  writeFile(name, storetest::renameEntry(readFile(name), "data" + esc + keyA + esc + "2",
                                         "data" + esc + keyB + esc + "2"));
  zyrtest::ErrorCapture errors;
  database = Database_new(name.c_str());
  ASSERT_NE(database, nullptr);
  const std::vector<zyrtest::RaisedError> said = errors.published();
  ASSERT_EQ(said.size(), 1u);
  EXPECT_TRUE(zyrtest::contains(said[0].message, std::string(" on (the first: the version of \"data\" of the object ") +
                                                     keyA + " for state 2, of which an older version is read "
                                                     "instead; its index entry names the version of \"data\" of the "
                                                     "object " + keyB + " for state 2); 1 data set of "))
      << said[0].message;
  const auto read = [&](const zyrUUID *key) {
    int32_t *values = nullptr, count = 0;
    std::vector<int32_t> got;
    if (Database_getInts(database, 2, key, "data", &values, &count) == 1) got.assign(values, values + count);
    zyrMemory_free(values, "test");
    return got;
  };
  EXPECT_EQ(read(a), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(read(b), (std::vector<int32_t>{5, 6}));
  Database_delete(database);
  zyrUUID_delete(a);
  zyrUUID_delete(b);
}

TEST_F(StoreTest, ADatabaseRefusedForItsVersionLeftOutSaysSo) {
  const std::string name = path("version.zyr");
  Database *database = Database_new(name.c_str());
  ASSERT_NE(database, nullptr);
  Database_delete(database);
  const std::string bytes = storetest::lengthenEntry(readFile(name), "Version\x1bGLOBAL", 0);
  writeFile(name, bytes);
  zyrtest::ErrorCapture errors;
  EXPECT_EQ(Database_new(name.c_str()), nullptr);
  const std::vector<zyrtest::RaisedError> said = errors.published();
  ASSERT_EQ(said.size(), 2u);
  EXPECT_TRUE(zyrtest::contains(said[0].message, "(the first: the version of \"Version\" of the object GLOBAL for "
                                                 "state 0); 1 data set of "))
      << said[0].message;
  EXPECT_EQ(said[1], (zyrtest::RaisedError{10020, "The requested file\n\n" + name +
                                                      "\n\nexists but is not a valid ZYR database.\nIts version (the "
                                                      "data set Version:GLOBAL:0) does not stand as its index says, "
                                                      "and has been left out.\n"}));
  EXPECT_EQ(readFile(name), bytes);
}

} // namespace
