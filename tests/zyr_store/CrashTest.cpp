// A process that dies between operations loses nothing it committed.
#include "ObjectTestSupport.h"

#include "zyrStateManager.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace {

using objecttest::TestThing;

class CrashTest : public objecttest::ObjectStoreTest {
protected:
  // Runs the body in a child that kills itself at the end without closing anything.
  template <class Body> void dieAfter(Body body) {
    std::fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      body();
      kill(getpid(), SIGKILL);
      zyrtest::leaveChild(3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_EQ(WTERMSIG(status), SIGKILL);
    // The writer's lock file outlives it; the next open takes it over.
    EXPECT_TRUE(std::ifstream(m_name + ".lck").good());
  }
  TestThing *theThing(Repository *repository) {
    return static_cast<TestThing *>(Repository_getSingletonByTypeName(repository, "Assembly"));
  }

  std::string m_name = "crash.zyr";
};

TEST_F(CrashTest, CommittedStatesSurvive) {
  dieAfter([this] {
    Repository *repository = Repository_new(m_name.c_str());
    TestThing *thing = objecttest::Thing_new();
    objecttest::Thing_setCount(thing, 5);
    objecttest::Thing_setLabel(thing, "kept");
    Repository_commit(repository);
    objecttest::Thing_setCount(thing, 6);
    Repository_commit(repository);
  });
  Repository *repository = Repository_new(m_name.c_str());
  ASSERT_NE(repository, nullptr);
  EXPECT_EQ(Repository_getCurrentState(repository), 3);
  TestThing *thing = theThing(repository);
  ASSERT_NE(thing, nullptr);
  EXPECT_EQ(thing->m_count, 6);
  EXPECT_STREQ(thing->m_label, "kept");
  Repository_gotoState(repository, 2);
  EXPECT_EQ(thing->m_count, 5);
  EXPECT_TRUE(takeErrors().empty());
  Repository_close(repository, -1);
}

TEST_F(CrashTest, AStateLeftOpenIsDiscarded) {
  dieAfter([this] {
    Repository *repository = Repository_new(m_name.c_str());
    TestThing *thing = objecttest::Thing_new();
    objecttest::Thing_setCount(thing, 5);
    Repository_commit(repository);
    objecttest::Thing_setCount(thing, 6);
    zyrObject_new("Assembly");
  });
  Repository *repository = Repository_new(m_name.c_str());
  ASSERT_NE(repository, nullptr);
  EXPECT_EQ(Repository_getCurrentState(repository), 2);
  EXPECT_EQ(Repository_getStateManager(repository)->m_last, 2);
  TestThing *thing = theThing(repository);
  ASSERT_NE(thing, nullptr);
  EXPECT_EQ(thing->m_count, 5);
  const std::vector<std::string> errors = takeErrors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "4: The database\n\n" + m_name +
                           "\n\nwas not closed properly. The changes made after state 2 have been discarded.\n");
  // The next change opens state 3 afresh.
  objecttest::Thing_setCount(thing, 7);
  EXPECT_EQ(Repository_getCurrentState(repository), -3);
  Repository_close(repository, -1);
}

TEST_F(CrashTest, ACreationThatNeverCommittedIsMadeAnew) {
  dieAfter([this] {
    objecttest::killInModelNew = true;
    Repository_new(m_name.c_str());
  });
  Repository *repository = Repository_new(m_name.c_str());
  ASSERT_NE(repository, nullptr);
  EXPECT_NE(Repository_getPrimaryModel(repository), nullptr);
  EXPECT_EQ(Repository_getCurrentState(repository), 1);
  Repository_close(repository, -1);
}

TEST_F(CrashTest, TheNextOpenRemovesWhatAKilledCompactionLeft) {
  Repository *repository = Repository_new(m_name.c_str());
  ASSERT_NE(repository, nullptr);
  Repository_close(repository, -1);
  // A compaction killed half way: its copy and the copy's lock file.
  objecttest::writeFile("compact.dead.tmp", "*INFO\n");
  objecttest::writeFile("compact.dead.tmp.lck", "        -1\n");
  objecttest::writeFile("compact.gone.tmp.lck", "        -1\n");
  // One that is still running: its copy is held.
  objecttest::writeFile("compact.live.tmp", "*INFO\n");
  objecttest::writeFile("compact.live.tmp.lck", "        -1\n");
  const int held = open("compact.live.tmp", O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  objecttest::writeFile("compactor.tmp", "not ours");
  repository = Repository_new(m_name.c_str());
  ASSERT_NE(repository, nullptr);
  for (const char *gone : {"compact.dead.tmp", "compact.dead.tmp.lck", "compact.gone.tmp.lck"})
    EXPECT_FALSE(std::ifstream(gone).good()) << gone;
  for (const char *kept : {"compact.live.tmp", "compact.live.tmp.lck", "compactor.tmp"})
    EXPECT_TRUE(std::ifstream(kept).good()) << kept;
  Repository_close(repository, -1);
  close(held);
}

} // namespace
