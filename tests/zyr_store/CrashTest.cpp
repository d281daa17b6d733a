// A process that dies between operations loses nothing it committed.
#include "ObjectTestSupport.h"

#include "zyrStateManager.h"
#include "zyrTestChild.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <climits>
#include <fstream>
#include <string>
#include <vector>

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
  std::string takenOver() const {
    return "4: The lock file\n\n" + m_name + ".lck\n\nhas been taken over: no other process holds " + m_name +
           " any more.\n";
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
  // The dead writer's lock file was taken over, and the user told.
  EXPECT_EQ(takeErrors(), std::vector<std::string>{takenOver()});
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
  EXPECT_EQ(takeErrors(),
            (std::vector<std::string>{takenOver(), "4: The database\n\n" + m_name +
                                                       "\n\nwas not closed properly. The changes made after state 2 "
                                                       "have been discarded.\n"}));
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

TEST_F(CrashTest, TheNextOpenRemovesWhatEndedProcessesLeft) {
  Repository *repository = Repository_new(m_name.c_str());
  ASSERT_NE(repository, nullptr);
  Repository_close(repository, -1);
  const std::string ended = std::to_string(static_cast<long>(zyrtest::endedProcess()));
  const std::string dead = ".zyr-pid" + ended, live = ".zyr-pid" + std::to_string(static_cast<long>(getpid()));
  // A compaction killed half way (its copy and the copy's lock file), one killed after its copy
  // was closed, a lock-file update killed before its rename, and a copy named as older versions
  // named them.
  const std::vector<std::string> gone = {"compact" + dead + ".A.tmp", "compact" + dead + ".A.tmp.lck",
                                         "compact" + dead + ".B.tmp.lck", m_name + ".lck" + dead + ".tmp",
                                         "compact.pid" + ended + ".E.tmp"};
  // A compaction still running (it holds its copy), one of the older name whose process runs, a
  // file some process holds, and names that are not leftovers.
  const std::vector<std::string> kept = {"compact" + live + ".C.tmp", "compact" + live + ".C.tmp.lck",
                                         "compact.pid1.F.tmp",
                                         "compact" + dead + ".D.tmp", "compact" + dead + ".D.tmp.lck",
                                         "compactor.tmp", "compact.dead.tmp", "report.2024.final.tmp"};
  for (const std::string &name : gone)
    objecttest::writeFile(name, "*INFO\n");
  for (const std::string &name : kept)
    objecttest::writeFile(name, "*INFO\n");
  const int held = open(("compact" + dead + ".D.tmp").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  const int running = open(("compact" + live + ".C.tmp").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(running, LOCK_EX), 0);
  repository = Repository_new(m_name.c_str());
  ASSERT_NE(repository, nullptr);
  for (const std::string &name : gone)
    EXPECT_FALSE(std::ifstream(name).good()) << name;
  for (const std::string &name : kept)
    EXPECT_TRUE(std::ifstream(name).good()) << name;
  // Each removal is told, naming the file as the database was named to its open.
  const std::vector<std::string> errors = takeErrors();
  ASSERT_EQ(errors.size(), gone.size());
  for (const std::string &error : errors) {
    const size_t end = error.find("\n\n", 13);
    EXPECT_EQ(error.rfind("4: The file\n\n", 0), 0u) << error;
    EXPECT_NE(std::find(gone.begin(), gone.end(), error.substr(13, end - 13)), gone.end()) << error;
  }
  Repository_close(repository, -1);
  close(held);
  close(running);
}

} // namespace
