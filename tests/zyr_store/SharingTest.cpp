// Two processes on one database: a write that cannot be made reaches the caller at once, the
// commit fails, and nothing a commit reported is lost; a dead holder's lock file is no obstacle.
#include "ObjectTestSupport.h"

#include "zyrErrorCode.h"
#include "zyrStateManager.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

namespace {

using objecttest::TestThing;

// A child process that runs steps on a command from the parent and answers with one byte each.
class Partner {
public:
  explicit Partner(std::vector<std::function<char()>> steps) {
    if (pipe(m_toChild) != 0 || pipe(m_toParent) != 0) return;
    std::fflush(nullptr);
    m_pid = fork();
    if (m_pid == 0) {
      for (auto &step : steps) {
        char c;
        if (read(m_toChild[0], &c, 1) != 1) zyrtest::leaveChild(2);
        c = step();
        if (write(m_toParent[1], &c, 1) != 1) zyrtest::leaveChild(2);
      }
      zyrtest::leaveChild(0);
    }
  }
  ~Partner() {
    for (int fd : {m_toChild[0], m_toChild[1], m_toParent[0], m_toParent[1]}) close(fd);
    if (m_pid > 0) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
  }
  // Runs the next step; its answer.
  char step() {
    char c = 'g';
    if (write(m_toChild[1], &c, 1) != 1 || read(m_toParent[0], &c, 1) != 1) return '?';
    return c;
  }
  pid_t m_pid = -1;

private:
  int m_toChild[2] = {-1, -1}, m_toParent[2] = {-1, -1};
};

class SharingTest : public objecttest::ObjectStoreTest {
protected:
  TestThing *theThing(Repository *repository) {
    return static_cast<TestThing *>(Repository_getSingletonByTypeName(repository, "Assembly"));
  }
  // A database holding one thing whose count is 1.
  void makeDatabase() {
    Repository *repository = Repository_new(m_name.c_str());
    ASSERT_NE(repository, nullptr);
    objecttest::Thing_setCount(objecttest::Thing_new(), 1);
    ASSERT_GT(Repository_commit(repository), 0);
    Repository_close(repository, -1);
    takeErrors();
  }
  // The count stored in the database, read by a fresh open.
  int32_t storedCount() {
    Repository *repository = Repository_new(m_name.c_str());
    if (repository == nullptr) return -1;
    TestThing *thing = theThing(repository);
    int32_t count = thing != nullptr ? thing->m_count : -1;
    Repository_close(repository, -1);
    return count;
  }
  bool saidLocked(const std::vector<std::string> &errors) {
    for (const std::string &e : errors)
      if (e.rfind(std::to_string(ZYR_U_DATABASE_IS_LOCKED) + ": ", 0) == 0) return true;
    return false;
  }

  std::string m_name = "shared.zyr";
};

TEST_F(SharingTest, ASecondOpenAfterTheFirstWroteIsRefusedAsLocked) {
  makeDatabase();
  Repository *first = nullptr;
  Partner partner({[&]() -> char {
                     first = Repository_new(m_name.c_str());
                     if (first == nullptr) return 'x';
                     objecttest::Thing_setCount(theThing(first), 2);
                     return Repository_commit(first) > 0 ? 'w' : 'x';
                   },
                   [&]() -> char { return Repository_close(first, -1) == 1 ? 'c' : 'x'; }});
  ASSERT_EQ(partner.step(), 'w');
  Repository *second = Repository_new(m_name.c_str());
  std::vector<std::string> errors = takeErrors();
  if (second != nullptr) {
    // Opened alongside: its writes must fail loudly, and so must its commit.
    EXPECT_EQ(objecttest::Thing_setCount(theThing(second), 3), 0);
    EXPECT_EQ(Repository_commit(second), 0);
    errors = takeErrors();
    Repository_close(second, -1);
  }
  EXPECT_TRUE(saidLocked(errors)) << (errors.empty() ? "" : errors[0]);
  ASSERT_EQ(partner.step(), 'c');
  takeErrors();
  EXPECT_EQ(storedCount(), 2);
}

TEST_F(SharingTest, WritesWhileAnotherProcessHoldsTheDatabaseFailTheCommit) {
  makeDatabase();
  Repository *other = nullptr;
  Partner partner({[&]() -> char { return (other = Repository_new(m_name.c_str())) ? 'o' : 'x'; },
                   [&]() -> char { return Repository_close(other, -1) == 1 ? 'c' : 'x'; }});
  ASSERT_EQ(partner.step(), 'o');
  Repository *repository = Repository_new(m_name.c_str());
  ASSERT_NE(repository, nullptr);
  takeErrors();
  TestThing *thing = theThing(repository);
  ASSERT_NE(thing, nullptr);
  EXPECT_EQ(objecttest::Thing_setCount(thing, 5), 0);
  std::vector<std::string> errors = takeErrors();
  EXPECT_TRUE(saidLocked(errors)) << "the refused write is published at once";
  EXPECT_EQ(Repository_commit(repository), 0);
  EXPECT_FALSE(takeErrors().empty()) << "the failed commit is published";
  // Once the other process is gone, the same handle writes and commits again.
  ASSERT_EQ(partner.step(), 'c');
  EXPECT_EQ(objecttest::Thing_setCount(thing, 6), 1);
  EXPECT_GT(Repository_commit(repository), 0);
  EXPECT_TRUE(takeErrors().empty());
  Repository_close(repository, -1);
  EXPECT_EQ(storedCount(), 6);
}

} // namespace
