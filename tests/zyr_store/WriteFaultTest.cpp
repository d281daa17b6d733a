// A change of the store whose writes fail as a full disc or a failing device makes them fail:
// every write, flush and sync of the change and its commit in turn, each in a child process.
// After each the commit has failed with an error naming the file and the system's reason, the
// process still answers at its last committed state and can go on, a reopen (after a close, or
// after the process ended at once) shows exactly that state, and nothing is left beside the
// database. ZYR_FAULT_ONLY=<plan> walks that fault alone and shows what was published.
#include "ObjectTestSupport.h"

#include "Database.h"
#include "zyrFault.h"
#include "zyrStateManager.h"
#include "zyrTestChild.h"
#include "zyrTestErrors.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

using objecttest::TestThing;
using objecttest::things;

// What the store answers: the live things, the current state and every stored version.
std::string answers(Repository *repository) {
  std::vector<std::string> lines;
  for (TestThing *t : things(repository))
    lines.push_back(std::string("thing ") + (t->m_label ? t->m_label : "") + "=" + std::to_string(t->m_count));
  for (const objecttest::Entry &e : objecttest::listAll(repository))
    lines.push_back(e.key + " " + e.name + " " + std::to_string(e.when));
  std::sort(lines.begin(), lines.end());
  std::ostringstream out;
  out << "state " << Repository_getCurrentState(repository) << "\n";
  for (const std::string &line : lines)
    out << line << "\n";
  return out.str();
}

// The change under test: a new thing, a changed one and a deleted one, committed. -1 when the
// things to change are not there.
int32_t change(Repository *repository) {
  TestThing *a = objecttest::thingLabelled(repository, "a");
  TestThing *b = objecttest::thingLabelled(repository, "b");
  if (a == nullptr || b == nullptr)
    return -1;
  // A new object whose first value cannot be written is not made.
  TestThing *c = objecttest::Thing_new();
  if (c != nullptr) {
    objecttest::Thing_setLabel(c, "c");
    objecttest::Thing_setCount(c, 3);
  }
  objecttest::Thing_setCount(a, 7);
  zyrObject_deleteByType(b);
  return Repository_commit(repository);
}

// The names in the directory besides the database.
std::string leftovers(const zyrtest::ScratchDir &dir) {
  std::string text;
  for (const std::string &name : dir.listing())
    if (name != "db.zyr")
      text += " " + name;
  return text;
}

class WriteFaultTest : public objecttest::ObjectStoreTest {
protected:
  // The database holding three committed states; its bytes and its answers.
  void SetUp() override {
    ObjectStoreTest::SetUp();
    m_path = file("db.zyr");
    Repository *repository = Repository_new(m_path.c_str());
    ASSERT_NE(repository, nullptr);
    TestThing *a = objecttest::Thing_new();
    objecttest::Thing_setLabel(a, "a");
    objecttest::Thing_setCount(a, 1);
    TestThing *b = objecttest::Thing_new();
    objecttest::Thing_setLabel(b, "b");
    objecttest::Thing_setCount(b, 2);
    ASSERT_GT(Repository_commit(repository), 0);
    objecttest::Thing_setCount(a, 5);
    ASSERT_GT(Repository_commit(repository), 0);
    Repository_close(repository, -1);
    m_intact = zyrtest::readFile(m_path);
    repository = Repository_new(m_path.c_str());
    m_answers = answers(repository);
    Repository_close(repository, -1);
    takeErrors();
  }

  void restore() const {
    std::remove((m_path + ".lck").c_str());
    zyrtest::writeFile(m_path, m_intact);
  }

  // The writes, flushes and syncs that the change makes (ZYR_FAULT_WRITE ... ZYR_FAULT_SYNC).
  std::vector<long> passes() {
    restore();
    Repository *repository = Repository_new(m_path.c_str());
    zyrFault_arm("", m_dir.c_str());
    const int32_t committed = change(repository);
    std::vector<long> counted = {zyrFault_passes(ZYR_FAULT_WRITE), zyrFault_passes(ZYR_FAULT_FLUSH),
                                 zyrFault_passes(ZYR_FAULT_SYNC)};
    zyrFault_disarm();
    Repository_close(repository, -1);
    takeErrors();
    EXPECT_GT(committed, 0);
    return counted;
  }

  // The change with the fault armed, in a child; "" when all is as it must be. With `die` the
  // child ends at once after the failed commit, and this process reopens the file.
  std::string walk(const std::string &plan, int reason, bool die, bool goOn = true) {
    const bool only = std::getenv("ZYR_FAULT_ONLY") != nullptr;
    std::string problems = zyrtest::inChild([&] {
      std::string found;
      restore();
      zyrtest::ErrorCapture errors;
      Repository *repository = Repository_new(m_path.c_str());
      if (repository == nullptr)
        return std::string("no open");
      zyrFault_arm(plan.c_str(), m_dir.c_str());
      const int32_t committed = change(repository);
      const long failures = zyrFault_failures();
      zyrFault_disarm();
      // A disc that fills where the rest of the commit needs no room (it writes within the
      // file) fails nothing, as a real one would: the commit is then made.
      if (failures == 0)
        return std::string(zyrtest::contains(plan, "full@") && committed > 0 ? "" : "no fault made");
      if (committed != 0)
        found += "the commit answered " + std::to_string(committed) + "\n";
      bool named = false;
      std::string messages;
      for (const zyrtest::RaisedError &e : errors.published()) {
        messages += std::to_string(e.code) + ": " + e.message + "\n";
        named = named || (zyrtest::contains(e.message, m_path) && zyrtest::contains(e.message, strerror(reason)));
      }
      if (only)
        std::fprintf(stderr, "%s", messages.c_str());
      if (!named)
        found += "no error names the file and the reason:\n" + messages;
      const std::string now = answers(repository);
      if (now != m_answers)
        found += "answers after the failure:\n" + now;
      if (die)
        zyrtest::leaveChild(found.empty() ? 0 : (std::fprintf(stderr, "%s", found.c_str()), 1));
      Repository_close(repository, -1);
      const std::string left = leftovers(*m_scratch);
      if (!left.empty())
        found += "left:" + left + "\n";
      repository = Repository_new(m_path.c_str());
      if (repository == nullptr)
        return found + "no reopen";
      const std::string reopened = answers(repository);
      if (reopened != m_answers)
        found += "answers after the reopen:\n" + reopened;
      // The process goes on: the same change succeeds now (tried now and then: it costs).
      if (goOn && change(repository) <= 0)
        found += "the change fails after the reopen\n";
      Repository_close(repository, -1);
      return found;
    });
    if (die && problems.empty()) {
      // What the ended process left is opened as its last committed state.
      Repository *repository = Repository_new(m_path.c_str());
      if (repository == nullptr)
        return "no reopen after the end";
      const std::string reopened = answers(repository);
      if (reopened != m_answers)
        problems += "answers after the end and a reopen:\n" + reopened;
      Repository_close(repository, -1);
      takeErrors();
    }
    return problems;
  }

  std::string m_path;
  std::string m_intact;
  std::string m_answers;
};

// A full disc walks every eighth write (and the last ones, where the commit writes its
// counters); the others every pass.
bool walked(const char *kind, long n, long total) {
  return std::strcmp(kind, "full") != 0 || n % 8 == 1 || n > total - 12;
}

// The sweep of every failure, run as shards (zyrtest::inShard).
class WriteFaultSweep : public WriteFaultTest, public testing::WithParamInterface<int> {};

TEST_P(WriteFaultSweep, EveryFailedWriteFlushOrSyncOfACommitLeavesTheLastCommittedState) {
  const std::vector<long> counted = passes();
  ASSERT_GT(counted[ZYR_FAULT_WRITE], 20);
  ASSERT_GT(counted[ZYR_FAULT_FLUSH], 5);
  // The mark that the stored index is no longer to be trusted, then the state's values, then
  // its counters reach the disc.
  ASSERT_EQ(counted[ZYR_FAULT_SYNC], 3);
  const char *only = std::getenv("ZYR_FAULT_ONLY");
  struct Kind {
    const char *m_name;
    long m_total;
    int m_reason;
  };
  const Kind kinds[] = {{"write", counted[ZYR_FAULT_WRITE], ENOSPC},
                        {"flush", counted[ZYR_FAULT_FLUSH], ENOSPC},
                        {"sync", counted[ZYR_FAULT_SYNC], EIO},
                        {"full", counted[ZYR_FAULT_WRITE], ENOSPC},
                        {"write", counted[ZYR_FAULT_WRITE], EIO}};
  long walks = 0, mine = 0;
  for (const Kind &kind : kinds)
    for (long n = 1; n <= kind.m_total; ++n) {
      const bool eio = kind.m_reason == EIO && std::strcmp(kind.m_name, "sync") != 0;
      if (eio && n % 16 != 3)
        continue;
      const std::string plan = std::string(kind.m_name) + "@" + std::to_string(n) + (eio ? ":EIO" : "");
      if ((only != nullptr && plan != only) || !walked(kind.m_name, n, kind.m_total) ||
          !zyrtest::inShard(walks++, GetParam()))
        continue;
      // Every third fault ends the process at once.
      EXPECT_EQ(walk(plan, kind.m_reason, n % 3 == 0, n % 5 == 1), "") << plan;
      ++mine;
    }
  // Together the shards walk every failure.
  if (only == nullptr)
    EXPECT_EQ(mine, zyrtest::shareOf(walks, GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Shard, WriteFaultSweep, testing::Range(0, zyrtest::kSweepShards));

TEST_F(WriteFaultTest, ACommitWhoseEverySyncFailsIsNoCommit) {
  EXPECT_EQ(walk("sync@1+", EIO, false), "");
  EXPECT_EQ(walk("sync@1+", EIO, true), "");
}

// A copy is made whole and on disc, or not at all: its index and its sync fail the copy.
TEST_F(WriteFaultTest, ACopyThatCannotBeWrittenIsNotMade) {
  for (const char *plan : {"sync@2", "sync@1+", "full@40", "write@3"}) {
    const std::string problems = zyrtest::inChild([&] {
      restore();
      zyrtest::ErrorCapture errors;
      Repository *repository = Repository_new(m_path.c_str());
      zyrFault_arm(plan, m_dir.c_str());
      const int copied = Repository_copyDatabase(repository, file("copy.zyr").c_str(), 0, 0);
      zyrFault_disarm();
      std::string found;
      if (copied != 0)
        found += "the copy answered " + std::to_string(copied) + "\n";
      bool named = false;
      for (const zyrtest::RaisedError &e : errors.published())
        named = named || (zyrtest::contains(e.message, file("copy.zyr")) &&
                          (zyrtest::contains(e.message, strerror(EIO)) || zyrtest::contains(e.message, strerror(ENOSPC))));
      if (!named) {
        found += "no error names the copy and the reason:\n";
        for (const zyrtest::RaisedError &e : errors.published())
          found += std::to_string(e.code) + ": " + e.message + "\n";
      }
      if (answers(repository) != m_answers)
        found += "the database answers otherwise\n";
      Repository_close(repository, -1);
      const std::string left = leftovers(*m_scratch);
      if (!left.empty())
        found += "left:" + left + "\n";
      return found;
    });
    EXPECT_EQ(problems, "") << plan;
  }
}

// A write the library makes to the file outside a state (its version; the record of the types,
// which the first writer stores at its close) is lost as any other when it fails: the close after
// it answers 0, whether a change of state was under way or not.
TEST_F(WriteFaultTest, ACloseAfterAFailedWriteOutsideAStateAnswers0) {
  restore();
  Repository *repository = Repository_new(m_path.c_str());
  zyrFault_arm("sync@1:EIO", m_dir.c_str());
  EXPECT_EQ(Repository_setVersion(repository), 0);
  zyrFault_disarm();
  EXPECT_EQ(Repository_close(repository, -1), 0);

  restore();
  Database *database = Database_new(m_path.c_str());
  Database_deleteDataSet(database, nullptr, "Type - names");
  Database_delete(database);
  repository = Repository_new(m_path.c_str());
  EXPECT_GT(change(repository), 0);
  zyrFault_arm("write@1", m_dir.c_str());
  EXPECT_EQ(Repository_close(repository, -1), 0);
  EXPECT_EQ(zyrFault_failures(), 1);
  zyrFault_disarm();
  takeErrors();
}

// A copy holds what is committed: a change whose commit fails as the copy begins makes no copy,
// and says so after the commit's own error.
TEST_F(WriteFaultTest, ACopyWhoseCommitFailedIsNoCopy) {
  restore();
  Repository *repository = Repository_new(m_path.c_str());
  objecttest::Thing_setCount(objecttest::thingLabelled(repository, "a"), 9);
  zyrFault_arm("sync@1:EIO", m_path.c_str());
  EXPECT_EQ(Repository_copyDatabase(repository, file("copy").c_str(), 0, -1, 0), 0);
  EXPECT_EQ(zyrFault_failures(), 1);
  zyrFault_disarm();
  EXPECT_EQ(leftovers(*m_scratch), " db.zyr.lck");
  // The failed sync, the commit it failed, then the copy that was not made.
  const std::vector<std::string> errors = takeErrors();
  ASSERT_EQ(errors.size(), 3u) << testing::PrintToString(errors);
  EXPECT_EQ(errors[1].rfind("10010: Unable to commit state 4 of the database", 0), 0u) << errors[1];
  EXPECT_EQ(errors[2].rfind("10005: There was a problem copying the ZYR database from", 0), 0u) << errors[2];
  Repository_close(repository, -1);
  takeErrors();
}

TEST_F(WriteFaultTest, ADiscFullFromTheStartRefusesTheChangeWhole) {
  EXPECT_EQ(walk("full@1", ENOSPC, false), "");
  EXPECT_EQ(walk("full@1", ENOSPC, true), "");
}

} // namespace
