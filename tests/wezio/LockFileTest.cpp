// Lock files beside data-set files, and the real lock under them: readers share, one writer.
#include "dataset_test_util.h"
#include "io_file.h"
#include "io_index.h"
#include "io_lock.h"
#include "zyrFault.h"
#include "zyrFileUse.h"
#include "zyrHeldTemporary.h"
#include "wezio_test_util.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <functional>
#include <memory>
#include <vector>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace wezio_test;

namespace {

// A child process held at a pause point: it does its part, reports one character and waits until
// the test lets it go on; then it does the rest and ends. However the test ends, even through a
// failed assertion, the child is let go and reaped: it never waits for ever.
class HeldChild {
public:
  // `hold` runs in the child and gives the character to report; `rest` runs after the release.
  HeldChild(const std::function<char()> &hold, const std::function<void()> &rest) {
    int toChild[2], toParent[2];
    if (pipe(toChild) != 0) return;
    if (pipe(toParent) != 0) {
      ::close(toChild[0]);
      ::close(toChild[1]);
      return;
    }
    m_pid = fork();
    if (m_pid == 0) {
      ::close(toChild[1]);
      ::close(toParent[0]);
      char c = hold();
      if (write(toParent[1], &c, 1) != 1) zyrtest::leaveChild(1);
      // End of file (the test went without a word) lets it go on as well.
      if (read(toChild[0], &c, 1) < 0) zyrtest::leaveChild(1);
      rest();
      zyrtest::leaveChild(0);
    }
    ::close(toChild[0]);
    ::close(toParent[1]);
    m_release = toChild[1];
    m_report = toParent[0];
  }
  ~HeldChild() {
    release();
    if (m_report >= 0) ::close(m_report);
  }
  HeldChild(const HeldChild &) = delete;
  HeldChild &operator=(const HeldChild &) = delete;

  pid_t pid() const { return m_pid; }
  // The character the child reported; 0 when it could not start or ended first.
  char reported() {
    char c = 0;
    return m_report >= 0 && read(m_report, &c, 1) == 1 ? c : 0;
  }
  // Lets the child go on and waits for its end: its exit status, -1 when it did not exit.
  int release() {
    if (m_release >= 0) {
      if (write(m_release, "q", 1) != 1) {
        // Closing the pipe below lets it go on all the same.
      }
      ::close(m_release);
      m_release = -1;
    }
    if (m_pid <= 0) return -1;
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

private:
  pid_t m_pid = -1;
  int m_release = -1;
  int m_report = -1;
};

// A process that holds locks on `count` files of the directory and, until the end of the object,
// takes and lets go of one more as fast as it can: the system's list of locks changes all the time.
class LockChurn {
public:
  LockChurn(const ScratchDir &dir, int count) {
    int ready[2];
    if (pipe(ready) != 0) return;
    m_pid = fork();
    if (m_pid == 0) {
      ::close(ready[0]);
      for (int i = 0; i <= count; ++i) {
        const int fd = ::open(dir.file("churn" + std::to_string(i)).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0 || (i < count && flock(fd, LOCK_EX) != 0)) zyrtest::leaveChild(1);
        if (i < count) continue;
        if (write(ready[1], "c", 1) != 1) zyrtest::leaveChild(1);
        for (;;) {
          flock(fd, LOCK_EX);
          flock(fd, LOCK_UN);
        }
      }
    }
    ::close(ready[1]);
    char c = 0;
    if (m_pid < 0 || read(ready[0], &c, 1) != 1) m_pid = -1;
    ::close(ready[0]);
  }
  ~LockChurn() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
  }
  LockChurn(const LockChurn &) = delete;
  LockChurn &operator=(const LockChurn &) = delete;
  bool running() const { return m_pid > 0; }

private:
  pid_t m_pid = -1;
};

class LockFileTest : public testing::Test {
protected:
  void SetUp() override {
    messages().clear();
    m_name = m_dir.file("data.wez");
    m_lock = m_name + ".lck";
  }
  void TearDown() override {
    for (auto &record : m_records)
      if (iif_is_open(record.get())) iif_close(record.get());
  }
  // A new record opened on the file; its status in *status.
  IO_file *open(const char *access, int *status = nullptr) { return openNamed(m_name, access, status); }
  IO_file *openNamed(const std::string &name, const char *access, int *status = nullptr) {
    m_records.push_back(std::make_unique<IO_file>());
    IO_file *record = m_records.back().get();
    iif_clear_record(record);
    record->m_callback = captureMessage;
    int s = iif_open(record, name.c_str(), access);
    if (s != IO_OK) iif_release_record(record);
    if (status) *status = s;
    return record;
  }
  std::string lockFile() { return fileExists(m_lock) ? readFile(m_lock) : "(none)"; }
  // The file open here with its writer claimed, and a copy, new.wez, holding one data set: what a
  // swap takes.
  void openForSwap(IO_file **file, IO_file **copy, std::string *copyName) {
    int status;
    *file = open("d", &status);
    ASSERT_EQ(status, IO_OK);
    ASSERT_EQ(io_claim_writer(captureMessage, *file), IO_OK);
    *copyName = m_dir.file("new.wez");
    *copy = openNamed(*copyName, "d", &status);
    ASSERT_EQ(status, IO_OK);
    ASSERT_EQ(writeDataSet(*copy), IO_OK);
  }
  // Writes one data set (A, B, 0) through the record; the status.
  static int writeDataSet(IO_file *record) {
    Header h("A", "B", 0, "INTR", 0);
    Data d;
    return writeOne(record, "u", h.get(), d.get());
  }
  std::string lastMessage() { return messages().empty() ? "" : messages().back(); }
  // The warning of a lock file taken over at the count it showed.
  std::string takenOver(int level) const {
    return "iif_set_lock: warning: lock file " + m_lock + " (level " + std::to_string(level) +
           "): no other process holds " + m_name + " any more; taking it over\n";
  }

  ScratchDir m_dir;
  std::string m_name, m_lock;
  std::vector<std::unique_ptr<IO_file>> m_records;
};

TEST_F(LockFileTest, ReadersAreCountedAndTheLastOneRemovesTheLockFile) {
  std::string index = indexFrame({}, 36);
  writeFile(m_name, infoBlock(36 + static_cast<int64_t>(index.size())) + index);
  int status;
  IO_file *a = open("r", &status);
  ASSERT_EQ(status, IO_OK) << allMessages();
  EXPECT_EQ(lockFile(), "         1\n");
  IO_file *b = open("r", &status);
  ASSERT_EQ(status, IO_OK) << allMessages();
  EXPECT_EQ(lockFile(), "         2\n");
  EXPECT_EQ(b->m_lock, 2);
  iif_close(a);
  EXPECT_EQ(lockFile(), "         1\n");
  iif_close(b);
  EXPECT_EQ(lockFile(), "(none)");
}

TEST_F(LockFileTest, ConflictsWithTheLockFileChangeNothing) {
  writeFile(m_name, infoBlock(36));
  // Another holder of the data file, so that the lock files below are live ones.
  int holder = ::open(m_name.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(holder, LOCK_SH), 0);
  writeFile(m_lock, "        -1\n");
  int status;
  open("r", &status);
  EXPECT_EQ(status, IO_LOCK_ERR);
  EXPECT_EQ(lastMessage(), "iif_set_lock: file " + m_name +
                               " is currently locked for writing, and cannot be locked for read "
                               "access.  Either another program is using this file, or the lock "
                               "file " +
                               m_lock + " is bad.\n");
  open("w", &status);
  EXPECT_EQ(status, IO_LOCK_ERR);
  EXPECT_EQ(lastMessage(), "iif_set_lock: file " + m_name +
                               " is already locked for write access.  Either another program is "
                               "using this file, or the lock file " +
                               m_lock + " is bad.\n");
  EXPECT_EQ(lockFile(), "        -1\n");
  writeFile(m_lock, "         2\n");
  open("w", &status);
  EXPECT_EQ(status, IO_LOCK_ERR);
  EXPECT_EQ(lastMessage(), "iif_set_lock: file " + m_name +
                               " is currently locked for reading at level 2, and cannot be locked "
                               "for write access.  Either another program is using this file, or "
                               "the lock file " +
                               m_lock + " is bad.\n");
  EXPECT_EQ(lockFile(), "         2\n");
  // A count no readers reach cannot be counted up.
  writeFile(m_lock, "2147483647\n");
  open("r", &status);
  EXPECT_EQ(status, IO_LOCK_ERR);
  EXPECT_EQ(lastMessage(), "iif_set_lock: file " + m_name +
                               " cannot be locked for read access: the lock file " + m_lock +
                               " is bad.\n");
  EXPECT_EQ(lockFile(), "2147483647\n");
  EXPECT_EQ(readFile(m_name), infoBlock(36));
  ::close(holder);
}

TEST_F(LockFileTest, ALockFileThatNoLiveProcessBacksIsTakenOverWithAWarning) {
  std::string index = indexFrame({}, 36);
  writeFile(m_name, infoBlock(36 + static_cast<int64_t>(index.size())) + index);
  // A writer killed while it held the file leaves its lock file behind.
  pid_t pid = fork();
  if (pid == 0) {
    IO_file *a = open("w");
    if (!iif_is_open(a)) zyrtest::leaveChild(1);
    kill(getpid(), SIGKILL);
  }
  int waited = 0;
  waitpid(pid, &waited, 0);
  ASSERT_TRUE(WIFSIGNALED(waited));
  ASSERT_EQ(lockFile(), "        -1\n");
  int status;
  IO_file *r = open("r", &status);
  ASSERT_EQ(status, IO_OK) << allMessages();
  EXPECT_EQ(allMessages(), takenOver(-1));
  EXPECT_EQ(lockFile(), "         1\n");
  iif_close(r);
  EXPECT_EQ(lockFile(), "(none)");
  // Readers that ended without counting themselves out: a new reader counts itself alone.
  writeFile(m_lock, "         2\n");
  messages().clear();
  r = open("r", &status);
  ASSERT_EQ(status, IO_OK) << allMessages();
  EXPECT_EQ(allMessages(), takenOver(2));
  EXPECT_EQ(lockFile(), "         1\n");
  iif_close(r);
  EXPECT_EQ(lockFile(), "(none)");
  // The same, then a writer.
  writeFile(m_lock, "         2\n");
  messages().clear();
  IO_file *w = open("w", &status);
  ASSERT_EQ(status, IO_OK) << allMessages();
  EXPECT_EQ(allMessages(), takenOver(2));
  EXPECT_EQ(lockFile(), "        -1\n");
  iif_close(w);
  EXPECT_EQ(lockFile(), "(none)");
}

// What a killed reader leaves is a count of 1 that nobody backs. Counted on, it would add up
// over kills (a reader opening after each one, as a writer that is killed now and then and
// recovered by the next open does), so every later reader and writer must take it over.
TEST_F(LockFileTest, AKilledReadersCountNeitherAddsUpNorOutlivesTheLiveReaders) {
  std::string index = indexFrame({}, 36);
  writeFile(m_name, infoBlock(36 + static_cast<int64_t>(index.size())) + index);
  auto killedReader = [this] {
    pid_t pid = fork();
    if (pid == 0) {
      if (!iif_is_open(open("d"))) zyrtest::leaveChild(1);
      kill(getpid(), SIGKILL);
    }
    int waited = 0;
    waitpid(pid, &waited, 0);
    return WIFSIGNALED(waited) && WTERMSIG(waited) == SIGKILL;
  };
  int status;
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(killedReader());
    ASSERT_EQ(lockFile(), "         1\n") << "round " << round;
    messages().clear();
    IO_file *r = open("d", &status);
    ASSERT_EQ(status, IO_OK) << allMessages();
    EXPECT_EQ(allMessages(), takenOver(1));
    EXPECT_EQ(lockFile(), "         1\n") << "round " << round;
    iif_close(r);
    EXPECT_EQ(lockFile(), "(none)") << "round " << round;
  }
  // Killed beside a live reader: its count stays when the live one closes, and goes at the next
  // open.
  messages().clear();
  IO_file *live = open("r", &status);
  ASSERT_EQ(status, IO_OK) << allMessages();
  ASSERT_TRUE(killedReader());
  EXPECT_EQ(lockFile(), "         2\n");
  iif_close(live);
  EXPECT_EQ(lockFile(), "         1\n");
  EXPECT_EQ(allMessages(), "");
  IO_file *r = open("r", &status);
  ASSERT_EQ(status, IO_OK) << allMessages();
  EXPECT_EQ(allMessages(), takenOver(1));
  EXPECT_EQ(lockFile(), "         1\n");
  iif_close(r);
  EXPECT_EQ(lockFile(), "(none)");
  // Nor does it keep a writer out, whether the writer opens for writing or becomes one.
  ASSERT_TRUE(killedReader());
  messages().clear();
  IO_file *w = open("w", &status);
  ASSERT_EQ(status, IO_OK) << allMessages();
  EXPECT_EQ(allMessages(), takenOver(1));
  EXPECT_EQ(lockFile(), "        -1\n");
  iif_close(w);
  EXPECT_EQ(lockFile(), "(none)");
  ASSERT_TRUE(killedReader());
  messages().clear();
  IO_file *d = open("d", &status);
  ASSERT_EQ(status, IO_OK) << allMessages();
  EXPECT_EQ(setfilebusyflag(captureMessage, d), IO_OK) << allMessages();
  EXPECT_EQ(allMessages(), takenOver(1));
  EXPECT_EQ(lockFile(), "        -1\n");
  iif_close(d);
  EXPECT_EQ(lockFile(), "(none)");
}

TEST_F(LockFileTest, ALiveWriterInAnotherProcessStillKeepsOthersOut) {
  writeFile(m_name, infoBlock(36));
  IO_file *a = nullptr;
  HeldChild writer([&] { return iif_is_open(a = open("w")) ? 'w' : 'x'; }, [&] { iif_close(a); });
  ASSERT_EQ(writer.reported(), 'w');
  int status;
  open("w", &status);
  EXPECT_EQ(status, IO_LOCK_ERR);
  open("r", &status);
  EXPECT_EQ(status, IO_LOCK_ERR);
  EXPECT_EQ(allMessages().find("taking it over"), std::string::npos) << allMessages();
  EXPECT_EQ(lockFile(), "        -1\n");
  EXPECT_EQ(writer.release(), 0);
  EXPECT_EQ(lockFile(), "(none)");
}

// The holder of a file is told by its process id however busy the rest of the system's locks are:
// one writer always, one reader always, two readers never as one of them.
TEST_F(LockFileTest, TheHolderIsNamedWhileOtherProcessesLockAndLetGo) {
  writeFile(m_name, infoBlock(36));
  // How many locks other processes hold decides where the holder's lock lies in the system's list.
  for (int others : {12, 17, 21, 26, 30, 35, 39, 45}) {
    LockChurn churn(m_dir, others);
    ASSERT_TRUE(churn.running());
    // Asks `times` times who holds the file; each answer must be the one wanted.
    auto probe = [&](int times, int wantWriter, long wantPid) {
      for (int i = 0; i < times; ++i) {
        int writer = -1;
        long pid = -1;
        const int held = io_lock_holder(m_name.c_str(), &writer, &pid);
        if (held != 1 || writer != wantWriter || pid != wantPid) {
          ADD_FAILURE() << "probe " << i << " with " << others << " other locks: held " << held << ", writer "
                        << writer << ", process " << pid << " (wanted " << wantPid << ")";
          return false;
        }
      }
      return true;
    };
    IO_file *a = nullptr;
    {
      HeldChild holder([&] { return iif_is_open(a = open("w")) ? 'w' : 'x'; }, [&] { iif_close(a); });
      ASSERT_EQ(holder.reported(), 'w');
      ASSERT_TRUE(probe(30, 1, holder.pid()));
      EXPECT_EQ(holder.release(), 0);
    }
    IO_file *r = nullptr, *s = nullptr;
    HeldChild first([&] { return iif_is_open(r = open("r")) ? 'r' : 'x'; }, [&] { iif_close(r); });
    ASSERT_EQ(first.reported(), 'r');
    ASSERT_TRUE(probe(15, 0, first.pid()));
    HeldChild second([&] { return iif_is_open(s = open("r")) ? 'r' : 'x'; }, [&] { iif_close(s); });
    ASSERT_EQ(second.reported(), 'r');
    ASSERT_TRUE(probe(15, 0, 0));
    EXPECT_EQ(second.release(), 0);
    EXPECT_EQ(first.release(), 0);
  }
  int writer = 0;
  long pid = 0;
  EXPECT_EQ(io_lock_holder(m_name.c_str(), &writer, &pid), 0);
}

// A file about to be replaced is held, so that nobody opens it meanwhile, unless it is in use:
// then this process is told apart from another holder, which is named, and the file's lock file is
// in use with it.
TEST_F(LockFileTest, AFileAboutToBeReplacedIsHeldUnlessInUse) {
  int fd = -2;
  zyrFileUse use;
  EXPECT_EQ(zyrFileUse_check(m_name.c_str(), &use, &fd), 0);
  EXPECT_EQ(fd, -1);
  writeFile(m_name, infoBlock(36));
  ASSERT_EQ(zyrFileUse_check(m_name.c_str(), &use, &fd), 0);
  ASSERT_GE(fd, 0);
  int status;
  open("r", &status);
  EXPECT_EQ(status, IO_LOCK_ERR);
  EXPECT_EQ(lockFile(), "(none)");
  ::close(fd);

  // The child is made first: it does not share this process's own hold.
  IO_file *theirs = nullptr;
  HeldChild reader([&] { return iif_is_open(theirs = open("r")) ? 'r' : 'x'; }, [&] { iif_close(theirs); });
  ASSERT_EQ(reader.reported(), 'r');
  const long other = static_cast<long>(reader.pid());
  const std::string lock = m_name + ".lck";
  EXPECT_EQ(zyrFileUse_check(m_name.c_str(), &use, &fd), 1);
  EXPECT_EQ(fd, -1);
  EXPECT_EQ(use.m_kind, ZYR_USE_HELD);
  EXPECT_EQ(zyrFileUse_reason(&use), "It is in use by process " + std::to_string(other));
  EXPECT_EQ(zyrFileUse_check(lock.c_str(), &use, &fd), 1);
  EXPECT_EQ(use.m_kind, ZYR_USE_LOCK_FILE);
  EXPECT_EQ(zyrFileUse_reason(&use), "It is the lock file of " + m_name + ", which is in use by process " +
                                         std::to_string(other));
  IO_file *mine = open("r", &status);
  ASSERT_EQ(status, IO_OK) << allMessages();
  EXPECT_EQ(zyrFileUse_check(m_name.c_str(), &use, &fd), 1);
  EXPECT_EQ(zyrFileUse_reason(&use), "It is a database open in this session");
  EXPECT_EQ(lockFile(), "         2\n");
  EXPECT_EQ(reader.release(), 0);
  EXPECT_EQ(zyrFileUse_check(m_name.c_str(), &use, &fd), 1);
  EXPECT_EQ(zyrFileUse_reason(&use), "It is a database open in this session");
  iif_close(mine);
  EXPECT_EQ(zyrFileUse_check(lock.c_str(), &use, nullptr), 0);
  ASSERT_EQ(zyrFileUse_check(m_name.c_str(), &use, &fd), 0);
  ::close(fd);
}

TEST_F(LockFileTest, WriteOnAReadOnlyRecordIsRefused) {
  writeFile(m_name, infoBlock(36));
  IO_file *a = open("r");
  EXPECT_EQ(setfilebusyflag(captureMessage, a), IO_PERMISSION_ERR);
  EXPECT_EQ(lastMessage(), "setfilebusyflag: permission denied for " + m_name + "\n");
  EXPECT_EQ(lockFile(), "         1\n");
}

TEST_F(LockFileTest, OnlyTheSoleReaderBecomesTheWriter) {
  int status;
  IO_file *a = open("d", &status);
  ASSERT_EQ(status, IO_OK) << allMessages();
  IO_file *b = open("d", &status);
  ASSERT_EQ(status, IO_OK) << allMessages();
  const std::string refusal = "setfilebusyflag: more than one user is reading " + m_name +
                              " or the wrong lock file " + m_lock + " exists\n";
  EXPECT_EQ(setfilebusyflag(captureMessage, b), IO_LOCK_ERR);
  EXPECT_EQ(lastMessage(), refusal);
  // The first reader may not write while the second one reads either.
  messages().clear();
  EXPECT_EQ(setfilebusyflag(captureMessage, a), IO_LOCK_ERR);
  EXPECT_EQ(lastMessage(), refusal);
  EXPECT_EQ(lockFile(), "         2\n");
  iif_close(b);
  EXPECT_EQ(lockFile(), "         1\n");
  EXPECT_EQ(setfilebusyflag(captureMessage, a), IO_OK);
  EXPECT_EQ(lockFile(), "        -1\n");
  EXPECT_EQ(a->m_lock, -1);
  EXPECT_EQ(setfilebusyflag(captureMessage, a), IO_OK);
  EXPECT_EQ(lockFile(), "        -1\n");
  open("d", &status);
  EXPECT_EQ(status, IO_LOCK_ERR);
  iif_close(a);
  EXPECT_EQ(lockFile(), "(none)");
  // The writer's close stored the index.
  messages().clear();
  open("r", &status);
  EXPECT_EQ(status, IO_OK);
  EXPECT_TRUE(messages().empty()) << allMessages();
}

TEST_F(LockFileTest, ALockFileThatNoLongerShowsTheReaderRefusesTheWriteWhileOthersHoldTheFile) {
  int status;
  IO_file *a = open("d", &status);
  ASSERT_EQ(status, IO_OK);
  writeFile(m_lock, "         3\n");
  int holder = ::open(m_name.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(holder, LOCK_SH), 0);
  EXPECT_EQ(setfilebusyflag(captureMessage, a), IO_LOCK_ERR);
  EXPECT_EQ(lockFile(), "         3\n");
  // A reader's release leaves a writer's lock of another process alone.
  writeFile(m_lock, "        -1\n");
  iif_close(a);
  EXPECT_EQ(lockFile(), "        -1\n");
  ::close(holder);
  // Once nobody else holds the file, the counts left in the lock file are stale.
  unlink(m_lock.c_str());
  a = open("d", &status);
  ASSERT_EQ(status, IO_OK);
  writeFile(m_lock, "         3\n");
  messages().clear();
  EXPECT_EQ(setfilebusyflag(captureMessage, a), IO_OK);
  EXPECT_EQ(allMessages(), takenOver(3));
  EXPECT_EQ(lockFile(), "        -1\n");
}

TEST_F(LockFileTest, ReleasingWithoutLockFileWritesNothing) {
  writeFile(m_name, infoBlock(36));
  IO_file *a = open("r");
  unlink(m_lock.c_str());
  EXPECT_EQ(iif_close(a), IO_OK);
  EXPECT_EQ(lockFile(), "(none)");
}

// Readers in several processes opening and closing at once: every count reaches the lock file
// (no update is lost between a read and a write of another process), and no reader's count is
// taken for a dead one's while it is between its count and its real lock.
TEST_F(LockFileTest, ReadersOfManyProcessesAtOnceAreAllCountedAndNoneIsTakenForDead) {
  std::string index = indexFrame({}, 36);
  writeFile(m_name, infoBlock(36 + static_cast<int64_t>(index.size())) + index);
  const int kProcesses = 6;
  const int kRounds = 150;
  int start[2];
  ASSERT_EQ(pipe(start), 0);
  std::vector<pid_t> children;
  // However the test ends, the children are let go (the end of the pipe starts them, and they end
  // at once without a go) and reaped.
  struct Reaper {
    int &m_go;
    std::vector<pid_t> &m_children;
    ~Reaper() {
      if (m_go >= 0) ::close(m_go);
      for (pid_t pid : m_children) waitpid(pid, nullptr, 0);
    }
  } reaper{start[1], children};
  for (int p = 0; p < kProcesses; ++p) {
    pid_t pid = fork();
    if (pid == 0) {
      close(start[1]);
      char go = 0;
      if (read(start[0], &go, 1) != 1) _exit(2);
      for (int round = 0; round < kRounds; ++round) {
        messages().clear();
        int status;
        IO_file *r = open("r", &status);
        if (status != IO_OK) _exit(3);
        // A reader of another process may come and go meanwhile, but this one's count stays.
        std::string text = readFile(m_lock);
        if (text.empty() || std::atoi(text.c_str()) < 1) _exit(4);
        if (iif_close(r) != IO_OK) _exit(5);
        if (!messages().empty()) {
          fprintf(stderr, "MSG %s\n", allMessages().c_str());
          _exit(6);
        }
      }
      _exit(0);
    }
    children.push_back(pid);
  }
  close(start[0]);
  // The parent reads throughout: its count must be the one left at the end.
  int status;
  IO_file *parent = open("r", &status);
  ASSERT_EQ(status, IO_OK) << allMessages();
  std::string go(kProcesses, 'g');
  ASSERT_EQ(write(start[1], go.data(), go.size()), static_cast<ssize_t>(go.size()));
  close(start[1]);
  start[1] = -1;
  for (pid_t pid : children) {
    int waited = 0;
    waitpid(pid, &waited, 0);
    EXPECT_TRUE(WIFEXITED(waited) && WEXITSTATUS(waited) == 0) << "child exit " << WEXITSTATUS(waited);
  }
  children.clear();
  EXPECT_EQ(lockFile(), "         1\n");
  iif_close(parent);
  EXPECT_EQ(lockFile(), "(none)");
  EXPECT_EQ(allMessages(), "");
}

// Runs `child` in a forked process, which reports through its exit code.
int inChild(const std::function<int()> &child) {
  pid_t pid = fork();
  if (pid == 0) zyrtest::leaveChild(child());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(LockFileTest, AFailedLockFileWriteRefusesTheWrite) {
  int result = inChild([this] {
    IO_file *a = open("d");
    if (!iif_is_open(a)) return 2;
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {1, 1};
    setrlimit(RLIMIT_FSIZE, &limit);
    int status = setfilebusyflag(captureMessage, a);
    if (status == IO_OK || a->m_lockfile == IO_LOCKFILE_WRITER) return 3;
    if (allMessages().find("setfilebusyflag: can't write the file information to the lock "
                           "file\n") == std::string::npos)
      return 4;
    return 0;
  });
  EXPECT_EQ(result, 0);
}

TEST_F(LockFileTest, TheRealLockHoldsOffASecondWriterWhateverTheLockFiles) {
  IO_file *a = nullptr;
  HeldChild writer([&] { return setfilebusyflag(captureMessage, a = open("d")) == IO_OK ? 'w' : 'x'; },
                   [&] { iif_close(a); });
  ASSERT_EQ(writer.reported(), 'w');
  // The writer's lock file is lost: the real lock still keeps everyone else out.
  unlink(m_lock.c_str());
  int status;
  open("w", &status);
  EXPECT_EQ(status, IO_LOCK_ERR);
  EXPECT_EQ(lastMessage(), "iif_set_lock: file " + m_name +
                               " is in use by another program, and cannot be locked for write "
                               "access.  Its lock file " +
                               m_lock + " does not show it.\n");
  open("r", &status);
  EXPECT_EQ(status, IO_LOCK_ERR);
  EXPECT_EQ(lockFile(), "(none)");
  EXPECT_EQ(writer.release(), 0);
  open("w", &status);
  EXPECT_EQ(status, IO_OK) << allMessages();
}

TEST_F(LockFileTest, AReaderThatRebuiltTheIndexStoresItOnlyAsTheSoleReader) {
  {
    int status;
    IO_file *w = open("w", &status);
    ASSERT_EQ(status, IO_OK);
    ASSERT_EQ(writeDataSet(w), IO_OK);
    fflush(w->m_stream);
    // As if the writer died here: no index, the recorded size is 0.
    std::string unfinished = readFile(m_name);
    iif_close(w);
    writeFile(m_name, unfinished);
  }
  const std::string unfinished = readFile(m_name);
  int status;
  IO_file *r = open("r", &status);
  ASSERT_EQ(status, IO_OK) << allMessages();
  EXPECT_EQ(indextable_count(r->m_indextable), 1);
  iif_close(r);
  EXPECT_EQ(readFile(m_name), unfinished); // a read-only record writes nothing
  IO_file *a = open("d", &status);
  ASSERT_EQ(status, IO_OK);
  IO_file *b = open("d", &status);
  ASSERT_EQ(status, IO_OK);
  iif_close(b); // another reader is there: nothing is written
  EXPECT_EQ(readFile(m_name), unfinished);
  iif_close(a); // the sole reader stores the rebuilt index
  EXPECT_NE(readFile(m_name), unfinished);
  EXPECT_EQ(lockFile(), "(none)");
  messages().clear();
  open("r", &status);
  ASSERT_EQ(status, IO_OK);
  EXPECT_TRUE(messages().empty()) << allMessages();
}

// Claiming the write permission before a change touches nothing in the file: the first write
// marks it, and a claim without a write leaves it byte for byte.
TEST_F(LockFileTest, AClaimAloneChangesNothingInTheFile) {
  int status;
  IO_file *w = open("w", &status);
  ASSERT_EQ(status, IO_OK);
  ASSERT_EQ(writeDataSet(w), IO_OK);
  iif_close(w);
  const std::string bytes = readFile(m_name);
  IO_file *a = open("d", &status);
  ASSERT_EQ(status, IO_OK);
  IO_file *b = open("d", &status);
  ASSERT_EQ(status, IO_OK);
  EXPECT_EQ(io_claim_writer(captureMessage, a), IO_LOCK_ERR);
  iif_close(b);
  EXPECT_EQ(io_claim_writer(captureMessage, a), IO_OK);
  EXPECT_EQ(lockFile(), "        -1\n");
  EXPECT_EQ(a->m_flock, LOCK_EX);
  EXPECT_EQ(readFile(m_name), bytes);
  iif_close(a);
  EXPECT_EQ(readFile(m_name), bytes);
  EXPECT_EQ(lockFile(), "(none)");
}

// A record knows the file it opened by the very look that found it under the name, whichever
// look of the open fails: once the file has been renamed and another taken its name, the record's
// close leaves the other file's lock file as it is.
TEST_F(LockFileTest, ARecordsCloseLeavesTheLockFileOfAFileThatTookItsName) {
  int status;
  IO_file *made = open("d", &status);
  ASSERT_EQ(status, IO_OK);
  ASSERT_EQ(writeDataSet(made), IO_OK);
  iif_close(made);
  const std::string bytes = readFile(m_name), moved = m_dir.file("moved.wez");
  for (int n = 1;; ++n) {
    SCOPED_TRACE("look@" + std::to_string(n));
    ASSERT_EQ(zyrFault_arm(("look@" + std::to_string(n)).c_str(), m_name.c_str()), 1);
    IO_file *mine = open("r", &status);
    const long failed = zyrFault_failures();
    zyrFault_disarm();
    if (status == IO_OK) {
      ASSERT_EQ(rename(m_name.c_str(), moved.c_str()), 0);
      writeFile(m_name, bytes);
      IO_file *theirs = open("r", &status);
      ASSERT_EQ(status, IO_OK);
      const std::string lock = lockFile();
      iif_close(mine);
      EXPECT_EQ(lockFile(), lock);
      iif_close(theirs);
      ASSERT_EQ(rename(moved.c_str(), m_name.c_str()), 0);
    }
    EXPECT_EQ(lockFile(), "(none)");
    if (failed == 0)
      break;
  }
}

// A finished file is put in place of another under its name while the process holds both: the
// record goes on with the new file, its lock file still shows the writer, others stay out, and
// the new file keeps the old one's permissions.
TEST_F(LockFileTest, TheSwapPutsTheNewFileInPlaceWhileBothAreHeld) {
  int status;
  IO_file *a = open("d", &status);
  ASSERT_EQ(status, IO_OK);
  iif_close(a);
  ASSERT_EQ(chmod(m_name.c_str(), 0640), 0);
  a = open("d", &status);
  ASSERT_EQ(status, IO_OK);
  const std::string other = m_dir.file("new.wez");
  IO_file *n = openNamed(other, "d", &status);
  ASSERT_EQ(status, IO_OK);
  ASSERT_EQ(writeDataSet(n), IO_OK);
  // Both must be this process's to write.
  EXPECT_EQ(iif_swap_in(a, n), IO_LOCK_ERR);
  ASSERT_EQ(io_claim_writer(captureMessage, a), IO_OK);
  ASSERT_EQ(iif_swap_in(a, n), IO_OK) << allMessages();
  EXPECT_FALSE(iif_is_open(n));
  EXPECT_FALSE(fileExists(other));
  EXPECT_FALSE(fileExists(other + ".lck"));
  EXPECT_EQ(lockFile(), "        -1\n");
  EXPECT_EQ(std::string(a->m_name), m_name);
  EXPECT_EQ(entries(a).size(), 1u);
  struct stat status1;
  ASSERT_EQ(stat(m_name.c_str(), &status1), 0);
  EXPECT_EQ(status1.st_mode & 07777, 0640u);
  open("r", &status);
  EXPECT_EQ(status, IO_LOCK_ERR);
  iif_close(a);
  EXPECT_EQ(lockFile(), "(none)");
  IO_file *r = open("r", &status);
  ASSERT_EQ(status, IO_OK) << allMessages();
  EXPECT_EQ(entries(r).size(), 1u);
}

// The swap replaces only the file the record holds: a file that took its name meanwhile stays,
// and so do the record's file and the new one.
TEST_F(LockFileTest, TheSwapLeavesAFileThatTookTheNameMeanwhile) {
  IO_file *a = nullptr, *n = nullptr;
  std::string other;
  ASSERT_NO_FATAL_FAILURE(openForSwap(&a, &n, &other));
  writeFile(m_dir.file("came"), "another file");
  ASSERT_EQ(rename(m_dir.file("came").c_str(), m_name.c_str()), 0);
  EXPECT_EQ(iif_swap_in(a, n), IO_WRITE_ERR);
  EXPECT_EQ(lastMessage(), "iif_swap_in: " + m_name + " is no longer the file open here; it has not been replaced\n");
  EXPECT_EQ(readFile(m_name), "another file");
  EXPECT_TRUE(iif_is_open(n));
  EXPECT_TRUE(fileExists(other));
}

// A copy that has gone from its name is told as gone, not as taken by another file; the file stays.
TEST_F(LockFileTest, TheSwapOfACopyThatHasGoneSaysSo) {
  IO_file *a = nullptr, *n = nullptr;
  std::string other;
  ASSERT_NO_FATAL_FAILURE(openForSwap(&a, &n, &other));
  ASSERT_EQ(unlink(other.c_str()), 0);
  EXPECT_EQ(iif_swap_in(a, n), IO_WRITE_ERR);
  EXPECT_EQ(lastMessage(),
            "iif_swap_in: the copy " + other + " is gone; nothing has been put in place of " + m_name + "\n");
  EXPECT_EQ(iif_is_named(a), 1);
}

// A look at the file or its name that fails (of the file open here, of what its name leads to) is
// told as such, with the system's reason; nothing is put in place.
TEST_F(LockFileTest, TheSwapTellsALookThatFailsAsSuch) {
  for (const char *plan : {"look@1", "look@3"}) {
    SCOPED_TRACE(plan);
    IO_file *a = nullptr, *n = nullptr;
    std::string other;
    ASSERT_NO_FATAL_FAILURE(openForSwap(&a, &n, &other));
    ASSERT_EQ(zyrFault_arm(plan, m_name.c_str()), 1);
    EXPECT_EQ(iif_swap_in(a, n), IO_WRITE_ERR);
    zyrFault_disarm();
    EXPECT_EQ(lastMessage(),
              "iif_swap_in: can't look at " + m_name + " or its copy " + other + ": Input/output error\n");
    EXPECT_EQ(iif_is_named(a), 1);
    EXPECT_TRUE(fileExists(other));
    iif_close(a);
    iif_close(n);
  }
}

// What the system failed of an open or a claim, as iif_failure tells it: "<what> <call> <reason>".
std::string failureOf(const IO_file *record) {
  const char *call = nullptr;
  int error = 0;
  const char *what = iif_failure(record, &call, &error);
  return what == nullptr ? "(none)" : std::string(what) + " " + call + " " + strerror(error);
}

// One failed look, open or write during an open or a claim is told as that call, with the system's
// reason: never as another file under the name, another file's lock file, a pipe, or a file
// to be read only.
TEST_F(LockFileTest, AFailedCallOfAnOpenOrAClaimIsToldAsItself) {
  const std::string eio = strerror(EIO);
  {
    // The file the open made goes again: it is the open's own.
    SCOPED_TRACE("the look at the descriptor opened");
    ASSERT_EQ(zyrFault_arm("look@1", m_name.c_str()), 1);
    int status = IO_OK;
    IO_file *a = open("d", &status);
    zyrFault_disarm();
    EXPECT_EQ(status, IO_OPEN_ERR);
    EXPECT_EQ(messages().front(), "iif_open: can't look at file " + m_name + ": " + eio + "\n");
    EXPECT_EQ(failureOf(a), "a look at it fstat " + eio);
    EXPECT_FALSE(fileExists(m_lock));
    EXPECT_FALSE(fileExists(m_name));
  }
  {
    // Only a file this process may not write is opened for reading instead.
    SCOPED_TRACE("the open of a file that may be written");
    int status = IO_OK;
    iif_close(open("d", &status));
    ASSERT_EQ(status, IO_OK);
    messages().clear();
    ASSERT_EQ(zyrFault_arm("open@1", m_name.c_str()), 1);
    IO_file *a = open("d", &status);
    zyrFault_disarm();
    EXPECT_EQ(status, IO_OPEN_ERR);
    EXPECT_EQ(allMessages(), "iif_open: can't open file " + m_name + ": " + eio + "\n");
    EXPECT_EQ(failureOf(a), "an open of it open " + eio);
    ASSERT_EQ(zyrFault_arm("open@1:EACCES", m_name.c_str()), 1);
    IO_file *b = open("d", &status);
    zyrFault_disarm();
    ASSERT_EQ(status, IO_OK);
    EXPECT_EQ(b->m_access, 'r');
    EXPECT_EQ(failureOf(b), "(none)");
    iif_close(b);
  }
  {
    SCOPED_TRACE("the look at the name once locked");
    messages().clear();
    ASSERT_EQ(zyrFault_arm("look@3", m_name.c_str()), 1);
    int status = IO_OK;
    IO_file *a = open("d", &status);
    zyrFault_disarm();
    EXPECT_EQ(status, IO_OPEN_ERR);
    EXPECT_EQ(allMessages(), "iif_open: can't look at " + m_name + " (stat: " + eio +
                                 "): nothing under its name has been opened\n");
    EXPECT_EQ(failureOf(a), "a look at it stat " + eio);
  }
  {
    SCOPED_TRACE("the claim's look at whose the lock file is");
    messages().clear();
    int status = IO_OK;
    IO_file *a = open("d", &status);
    ASSERT_EQ(status, IO_OK) << allMessages();
    EXPECT_EQ(failureOf(a), "(none)");
    ASSERT_EQ(zyrFault_arm("look@1", m_name.c_str()), 1);
    EXPECT_EQ(setfilebusyflag(captureMessage, a), IO_WRITE_ERR);
    zyrFault_disarm();
    EXPECT_EQ(lastMessage(), "setfilebusyflag: can't look at " + m_name + ", so whether the lock file " + m_lock +
                                 " is its own cannot be told: " + eio + "\n");
    EXPECT_EQ(failureOf(a), "a look at it stat " + eio);
    EXPECT_EQ(lockFile(), "         1\n");
    // Once the name can be looked at again, the claim goes through.
    EXPECT_EQ(setfilebusyflag(captureMessage, a), IO_OK);
    EXPECT_EQ(failureOf(a), "(none)");
    iif_close(a);
  }
  {
    SCOPED_TRACE("the first write of a new file");
    messages().clear();
    const std::string fresh = m_dir.file("fresh.wez");
    ASSERT_EQ(zyrFault_arm("write@1:ENOSPC", fresh.c_str()), 1);
    int status = IO_OK;
    IO_file *a = openNamed(fresh, "d", &status);
    zyrFault_disarm();
    EXPECT_EQ(status, IO_WRITE_ERR);
    EXPECT_EQ(failureOf(a), std::string("a write of it write ") + strerror(ENOSPC));
    EXPECT_FALSE(fileExists(fresh));
  }
}

// A temporary this process holds whose look fails is not told as lost: nothing is known of where
// its name leads, and nothing under it is opened.
TEST_F(LockFileTest, ATemporaryThatCannotBeLookedAtIsNotToldAsLost) {
  const std::string eio = strerror(EIO);
  // The first look is at the hold (which the seam counts under no name), the next at the name.
  for (const bool byName : {false, true}) {
    SCOPED_TRACE(byName ? "the name" : "the hold");
    messages().clear();
    zyrHeldTemporary held;
    ASSERT_EQ(zyrHeldTemporary_make(&held, m_dir.file("copy").c_str(), ".tmp", 4), 1);
    ASSERT_EQ(zyrFault_arm("look@1", byName ? held.m_name.c_str() : nullptr), 1);
    int status = IO_OK;
    IO_file *a = openNamed(held.m_name, "d", &status);
    zyrFault_disarm();
    EXPECT_EQ(status, IO_OPEN_ERR);
    const std::string call = byName ? "stat" : "fstat";
    EXPECT_EQ(allMessages(), "iif_open: can't look at " + held.m_name + " (" + call + ": " + eio +
                                 "): nothing under its name has been opened\n");
    EXPECT_EQ(iif_lost_temporary(a), 0);
    EXPECT_EQ(failureOf(a), "a look at it " + call + " " + eio);
    // The temporary is whole and opens once it can be looked at.
    a = openNamed(held.m_name, "d", &status);
    EXPECT_EQ(status, IO_OK) << allMessages();
    iif_close(a);
  }
}

} // namespace
