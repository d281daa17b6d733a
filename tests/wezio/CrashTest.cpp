// A writer killed at chosen points: every data set whose write completed reads back intact after
// the file is opened again, and the file stays writable.
#include "dataset_test_util.h"
#include "io_delete.h"
#include "io_file.h"
#include "io_index.h"
#include "wezio_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace wezio_test;

namespace {

const char *const kFormats[] = {"u5", "F", "u", "l5", "l", "u9"};

// Data set k, the same every time it is made.
struct Made {
  std::string m_what, m_where, m_format, m_type;
  int m_when, m_number;
};

Made describe(int k) {
  Made m;
  m.m_what = "set" + std::to_string(k);
  m.m_where = "W" + std::to_string(k % 7);
  m.m_when = k % 5;
  m.m_format = kFormats[k % 6];
  m.m_type = k % 3 == 0 ? "DBLE" : "INTR";
  m.m_number = k % 8 == 0 ? 5000 + (k * 131) % 15000 : (k * 37) % 300;
  return m;
}

void fill(int k, const Made &m, Data *data) {
  if (m.m_type == "DBLE") {
    std::vector<double> values(m.m_number);
    for (int i = 0; i < m.m_number; ++i) values[i] = k + i * 0.25;
    data->dble(values);
  } else {
    std::vector<int32_t> values(m.m_number);
    for (int i = 0; i < m.m_number; ++i) values[i] = k * 1000 + i;
    data->intr(values);
  }
}

// The child: writes data sets from `next` on, reporting each completed one; closes and opens the
// file again now and then. Never returns: the first write that would take a file past `limit`
// bytes kills it (SIGXFSZ), wherever in a data set, an index or a close that write falls.
[[noreturn]] void writeUntilKilled(const std::string &name, int next, int report, rlim_t limit) {
  const struct rlimit noCore = {0, 0}, size = {limit, limit};
  signal(SIGXFSZ, SIG_DFL);
  if (setrlimit(RLIMIT_CORE, &noCore) != 0 || setrlimit(RLIMIT_FSIZE, &size) != 0) zyrtest::leaveChild(2);
  IO_file file;
  iif_clear_record(&file);
  file.m_callback = nullptr;
  if (iif_open(&file, name.c_str(), "d") != IO_OK) zyrtest::leaveChild(3);
  for (int k = next;; ++k) {
    Made m = describe(k);
    Header h(m.m_what, m.m_where, m.m_when, m.m_type, m.m_number);
    Data d;
    fill(k, m, &d);
    if (writeOne(&file, m.m_format.c_str(), h.get(), d.get()) != IO_OK) zyrtest::leaveChild(4);
    if (write(report, &k, sizeof k) != sizeof k) zyrtest::leaveChild(5);
    if (k % 9 == 8) {
      iif_close(&file);
      iif_clear_record(&file);
      if (iif_open(&file, name.c_str(), "d") != IO_OK) zyrtest::leaveChild(6);
    }
  }
}

// Whether the data set at the entry holds exactly what describe/fill made for it.
::testing::AssertionResult intact(IO_file *file, const Entry &e) {
  int k = std::stoi(e.m_what.substr(3));
  Made m = describe(k);
  Header h;
  Data d;
  int status = readAt(file, e.m_position, h.get(), d.get());
  if (status != IO_OK) return ::testing::AssertionFailure() << e.m_what << ": read " << status;
  if (m.m_where != h->m_where || m.m_when != *h->m_when || m.m_type != h->m_datatype ||
      m.m_number != *h->m_number)
    return ::testing::AssertionFailure() << e.m_what << ": header differs";
  for (int i = 0; i < m.m_number; ++i) {
    bool same = m.m_type == "DBLE" ? d.get()->m_dblearray[i] == k + i * 0.25
                                   : d.get()->m_intrarray[i] == k * 1000 + i;
    if (!same) return ::testing::AssertionFailure() << e.m_what << ": value " << i << " differs";
  }
  return ::testing::AssertionSuccess();
}

// The kill points are chosen by bytes written, not by time, so every run kills the writer at the
// same places: each round lets the file grow by a random amount (from a fixed seed) and no more.
TEST(CrashTest, DataSetsWrittenBeforeAKillSurviveIt) {
  ScratchDir dir;
  const std::string name = dir.file("crash.wez"), lock = name + ".lck";
  const unsigned seed = 4021;
  std::mt19937 random(seed);
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::set<int> completed;
  int next = 0;
  const int rounds = 40;
  for (int round = 0; round < rounds; ++round) {
    struct stat status;
    const int64_t size = stat(name.c_str(), &status) == 0 ? static_cast<int64_t>(status.st_size) : 0;
    // Never below the size of a lock file, which the writer writes too.
    const rlim_t limit = static_cast<rlim_t>(std::max<int64_t>(size, 64) + 1 + random() % 120000);
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(pipeEnds[0]);
      writeUntilKilled(name, next, pipeEnds[1], limit);
    }
    close(pipeEnds[1]);
    int waited = 0;
    waitpid(pid, &waited, 0);
    ASSERT_TRUE(WIFSIGNALED(waited) && WTERMSIG(waited) == SIGXFSZ)
        << "round " << round << ": the writer ended otherwise: " << waited;
    int k;
    while (read(pipeEnds[0], &k, sizeof k) == sizeof k) {
      completed.insert(k);
      next = k + 1;
    }
    close(pipeEnds[0]);

    // The dead writer's lock file is taken over by the next open.
    if (fileExists(lock)) {
      std::string held = readFile(lock);
      EXPECT_TRUE(held == "         1\n" || held == "        -1\n" || held.empty()) << held;
    }
    if (!fileExists(name)) continue;
    IO_file file;
    iif_clear_record(&file);
    messages().clear();
    file.m_callback = captureMessage;
    ASSERT_EQ(iif_open(&file, name.c_str(), "d"), IO_OK) << "round " << round << allMessages();
    std::set<int> present;
    for (const Entry &e : entries(&file)) {
      ASSERT_TRUE(intact(&file, e)) << "round " << round;
      present.insert(std::stoi(e.m_what.substr(3)));
    }
    for (int done : completed) ASSERT_TRUE(present.count(done)) << "set" << done << " lost";
    iif_close(&file);
  }
  EXPECT_GT(completed.size(), 0u);
  // A reader opens the file after the last recovery. Whether it finds a stored index depends on
  // where the last kill fell: the unfinished data set of a killed writer stays behind the index
  // written at the recovery (nothing the file holds is ever cut away), and then the next open
  // rebuilds again. Either way every completed data set is there.
  IO_file file;
  iif_clear_record(&file);
  messages().clear();
  file.m_callback = captureMessage;
  ASSERT_EQ(iif_open(&file, name.c_str(), "r"), IO_OK) << allMessages();
  std::set<int> present;
  for (const Entry &e : entries(&file)) present.insert(std::stoi(e.m_what.substr(3)));
  for (int done : completed) EXPECT_TRUE(present.count(done)) << "set" << done << " lost";
  iif_close(&file);
}

// A process that changes a closed file in place and dies before closing it: the next open must
// not trust the stored index, whose size still matches.
TEST(CrashTest, InPlaceChangesBeforeAKillAreHonouredAtTheNextOpen) {
  ScratchDir dir;
  const std::string name = dir.file("erase.wez");
  {
    IO_file file;
    iif_clear_record(&file);
    ASSERT_EQ(iif_open(&file, name.c_str(), "w"), IO_OK);
    for (const char *what : {"A", "B"}) {
      Header h(what, "W", 0, "INTR", 3);
      Data d;
      d.intr({1, 2, 3});
      ASSERT_EQ(writeOne(&file, "u5", h.get(), d.get()), IO_OK);
    }
    iif_close(&file);
  }
  const std::string closed = readFile(name);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    IO_file file;
    iif_clear_record(&file);
    file.m_callback = nullptr;
    if (iif_open(&file, name.c_str(), "d") != IO_OK) zyrtest::leaveChild(3);
    Header h("A", "W", 0, "INTR", 3);
    if (delete_ds(nullptr, h.get(), &file) != IO_OK) zyrtest::leaveChild(4);
    kill(getpid(), SIGKILL);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << WEXITSTATUS(status);
  const std::string after = readFile(name);
  ASSERT_EQ(after.size(), closed.size());
  EXPECT_EQ(after.substr(0, 6), "*INFO\n");
  EXPECT_EQ(after.substr(6, 21), textOffset(0, 20)) << "the recorded size still vouches";
  IO_file file;
  iif_clear_record(&file);
  messages().clear();
  file.m_callback = captureMessage;
  ASSERT_EQ(iif_open(&file, name.c_str(), "d"), IO_OK) << allMessages();
  std::vector<Entry> list = entries(&file);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].m_what, "B");
  iif_close(&file);
  // The close stored a fresh index and the true size: the next open trusts it again.
  const std::string again = readFile(name);
  EXPECT_EQ(again.substr(6, 21), textOffset(static_cast<int64_t>(again.size()), 20));
}

} // namespace
