// Writers killed at every moment of their work: a data set that was replaced or erased never
// comes back with an older value, however many crashes, opens, closes and compactions follow.
//
// A scenario is a list of steps on one data-set file, played by child processes: each opens the
// file, reports the values it finds, runs steps until a crash step (it kills itself there) or the
// end (it closes), and reports each step done. One child may also be armed to be killed the n-th
// time it hands bytes to the system (zyrFault.h), and n runs over every such moment. Two children
// open and close the file at the end. Each value found must be one the calls allowed: what the
// last call left, or, where the last call was a write whose end was still in the stream, what was
// there before it; or what a call cut short would have left.
//
// One level up, the same for the object store: a database played by a driver process killed at
// every moment it hands bytes to the system; a deleted object, an undone state and a rolled-back
// state never come back.
#include "StoreTestSupport.h"

#include "DefFile.h"
#include "zyrTestErrors.h"
#include "zyrFault.h"
#include "zyrMemory.h"
#include "zyrTestChild.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

enum Kind { kWrite, kErase, kReopen, kCompact, kCrash };

struct Step {
  Kind m_kind;
  char m_key; // of a write or an erase
};

const char kKeys[] = "ABCD";

// The value a write at step i stores (three times): never 0, which stands for "no data set".
int32_t valueOf(size_t step) { return static_cast<int32_t>(step) + 1; }

using Values = std::map<char, int32_t>;

// What one child reported.
struct Report {
  bool m_opened = false; // it reported the values it found
  Values m_found;
  size_t m_done = 0;     // steps done
  bool m_crashed = false; // it killed itself at a crash step
  int m_status = 0;       // exit status, or 128 + the signal
  std::string m_fault;    // what went wrong inside, if anything
};

void say(int fd, const std::string &line) {
  const std::string text = line + "\n";
  if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
    zyrtest::leaveChild(5);
}

// "found" and the value of each key ("A=0" for none); "A=?" for one that exists but does not read
// back whole.
std::string foundValues(DefFile *file) {
  std::string found = "found";
  for (const char *key = kKeys; *key; ++key) {
    const std::string what(1, *key);
    int32_t *values = nullptr, count = 0;
    std::string value = "0";
    if (DefFile_exists(file, what.c_str(), "B", 0)) {
      const bool whole = DefFile_readInts(file, what.c_str(), "B", 0, &values, &count) && count == 3 &&
                         values[0] == values[1] && values[1] == values[2];
      value = whole ? std::to_string(values[0]) : "?";
      zyrMemory_free(values, "foundValues");
    }
    found += " " + what + "=" + value;
  }
  return found;
}

// The child's part: never returns.
[[noreturn]] void play(const std::string &name, const std::vector<Step> &steps, size_t from, long killAt, int out) {
  signal(SIGPIPE, SIG_DFL);
  if (killAt > 0 && !zyrFault_arm(("kill@" + std::to_string(killAt)).c_str(), nullptr))
    zyrtest::leaveChild(6);
  DefFile *file = DefFile_new(name.c_str());
  if (!file) {
    say(out, "fault open");
    zyrtest::leaveChild(7);
  }
  const std::string found = foundValues(file);
  if (found.find('?') != std::string::npos) {
    say(out, "fault a data set exists but does not read back whole: " + found);
    zyrtest::leaveChild(8);
  }
  say(out, found);
  for (size_t i = from; i < steps.size(); ++i) {
    const Step &step = steps[i];
    const std::string what(1, step.m_key);
    bool ok = true;
    switch (step.m_kind) {
    case kWrite: {
      const int32_t values[3] = {valueOf(i), valueOf(i), valueOf(i)};
      ok = DefFile_writeIntArray(file, what.c_str(), "B", 0, values, 3, 0) == 1;
      break;
    }
    case kErase: {
      // Erasing what is not there answers 0.
      const int existed = DefFile_exists(file, what.c_str(), "B", 0);
      ok = DefFile_erase(file, what.c_str(), "B", 0) == existed && DefFile_exists(file, what.c_str(), "B", 0) == 0;
      break;
    }
    case kReopen:
      DefFile_delete(file);
      file = DefFile_new(name.c_str());
      ok = file != nullptr;
      break;
    case kCompact: ok = DefFile_compact(file, 0) == 1; break;
    case kCrash:
      say(out, "crash");
      raise(SIGKILL);
      break;
    }
    if (!ok) {
      say(out, "fault step " + std::to_string(i));
      zyrtest::leaveChild(9);
    }
    say(out, "done");
  }
  DefFile_delete(file);
  zyrtest::leaveChild(0);
}

Report runChild(const std::string &name, const std::vector<Step> &steps, size_t from, long killAt) {
  int channel[2];
  if (pipe2(channel, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "no pipe";
    return Report();
  }
  fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    close(channel[0]);
    play(name, steps, from, killAt, channel[1]);
  }
  close(channel[1]);
  std::string text;
  char buffer[512];
  for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) != 0;) {
    if (n > 0)
      text.append(buffer, static_cast<size_t>(n));
    else if (errno != EINTR)
      break;
  }
  close(channel[0]);
  int status = 0;
  while (pid > 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  Report report;
  report.m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string word;
    words >> word;
    if (word == "found") {
      report.m_opened = true;
      for (std::string pair; words >> pair;)
        report.m_found[pair[0]] = std::atoi(pair.c_str() + 2);
    } else if (word == "done") {
      ++report.m_done;
    } else if (word == "crash") {
      report.m_crashed = true;
    } else {
      report.m_fault = line;
    }
  }
  return report;
}

// The values each data set may hold when the file is next opened.
using Allowed = std::map<char, std::set<int32_t>>;

std::string show(const Allowed &allowed) {
  std::string text;
  for (const auto &key : allowed) {
    text += std::string(" ") + key.first + " in {";
    for (int32_t value : key.second)
      text += " " + std::to_string(value);
    text += " }";
  }
  return text;
}

std::string describe(const std::vector<Step> &steps) {
  static const char *const kNames[] = {"write", "erase", "reopen", "compact", "crash"};
  std::string text;
  for (const Step &step : steps)
    text += std::string(text.empty() ? "" : ", ") + kNames[step.m_kind] +
            (step.m_kind <= kErase ? std::string(" ") + step.m_key : std::string());
  return text;
}

class KillRecoveryTest : public storetest::StoreTest {
protected:
  // Plays the scenario with the child numbered `armed` (from 0) killed at its killAt-th hand-over
  // (0: none). Answers whether that kill came; failures are the test's.
  bool play(const std::vector<Step> &steps, size_t armed, long killAt) {
    const std::string name = path("kill" + std::to_string(m_runs++) + ".wez");
    Allowed allowed;
    for (const char *key = kKeys; *key; ++key)
      allowed[*key] = {0};
    size_t next = 0;
    bool killed = false;
    int closings = 0; // children after the last step: two open and close the file
    for (size_t child = 0; closings < 2; ++child) {
      if (child > steps.size() + 8) {
        ADD_FAILURE() << "no progress in " << describe(steps);
        return killed;
      }
      const bool arm = child == armed && killAt > 0;
      const size_t from = next;
      const Report report = runChild(name, steps, from, arm ? killAt : 0);
      const bool seamKill = report.m_status == 128 + SIGKILL && !report.m_crashed;
      const std::string where = " in " + describe(steps) + ", child " + std::to_string(child) + " from step " +
                                std::to_string(from) + (arm ? ", killed at " + std::to_string(killAt) : "");
      if (!report.m_fault.empty() || (seamKill && !arm) || (report.m_status != 0 && report.m_status != 128 + SIGKILL)) {
        ADD_FAILURE() << "child failed (" << report.m_status << ") " << report.m_fault << where;
        return killed;
      }
      killed = killed || (arm && seamKill);
      if (!report.m_opened) {
        // Killed while opening: the file is as the previous child left it; the steps wait.
        if (!seamKill)
          ADD_FAILURE() << "no values reported" << where;
        continue;
      }
      for (const auto &key : report.m_found) {
        if (allowed[key.first].count(key.second) == 0) {
          ADD_FAILURE() << key.first << " holds " << key.second << ", expected" << show(allowed) << where;
          return killed;
        }
      }
      // From what was found, the steps done; the last write may not have reached the file yet,
      // and a step cut short may or may not have.
      Values model = report.m_found;
      allowed.clear();
      for (const auto &key : model)
        allowed[key.first] = {key.second};
      for (size_t i = from; i < from + report.m_done; ++i) {
        const Step &step = steps[i];
        const int32_t before = model[step.m_key];
        if (step.m_kind == kWrite || step.m_kind == kErase)
          model[step.m_key] = step.m_kind == kWrite ? valueOf(i) : 0;
        // Each step flushes what the one before it left in the stream.
        for (auto &key : allowed)
          key.second = {model[key.first]};
        if (step.m_kind == kWrite && report.m_status != 0)
          allowed[step.m_key].insert(before);
      }
      const size_t cut = from + report.m_done;
      if (seamKill && cut < steps.size() && (steps[cut].m_kind == kWrite || steps[cut].m_kind == kErase))
        allowed[steps[cut].m_key].insert(steps[cut].m_kind == kWrite ? valueOf(cut) : 0);
      // The next child goes on after the crash step, or after the step cut short.
      next = cut + (report.m_crashed || (seamKill && cut < steps.size()) ? 1 : 0);
      if (from >= steps.size())
        ++closings;
      if (report.m_crashed)
        EXPECT_EQ(steps[cut].m_kind, kCrash) << where;
    }
    return killed;
  }

  // Every child of the scenario killed at every moment it hands bytes to the system.
  void killEverywhere(const std::vector<Step> &steps) {
    const size_t children = 2 + static_cast<size_t>(std::count_if(steps.begin(), steps.end(),
                                                                  [](const Step &s) { return s.m_kind == kCrash; })) + 1;
    int kills = 0;
    for (size_t armed = 0; armed < children && !HasFailure(); ++armed)
      for (long n = 1; play(steps, armed, n) && !HasFailure(); ++n)
        ++kills;
    // Every child hands bytes over at its open, its writes and its close.
    EXPECT_GE(kills, static_cast<int>(3 * children)) << describe(steps);
  }

  int m_runs = 0;
};

// The long sweeps below, each run as shards (zyrtest::inShard).
class KillRecoverySweep : public KillRecoveryTest, public testing::WithParamInterface<int> {};

Step write(char key) { return {kWrite, key}; }
Step erase(char key) { return {kErase, key}; }
const Step kReopenStep = {kReopen, 0};
const Step kCompactStep = {kCompact, 0};
const Step kCrashStep = {kCrash, 0};

// The crash of the report: a replaced data set, a crash, an open and close, the erase, a crash.
TEST_F(KillRecoveryTest, AnEraseAfterAReplacementAndACrashHolds) {
  play({write('A'), write('B'), write('A'), kCrashStep, kReopenStep, erase('A'), kCrashStep}, 0, 0);
  play({write('A'), write('A'), kCrashStep, kReopenStep, erase('A'), write('C'), write('D'), kCrashStep}, 0, 0);
}

// Replace, erase (with writes after it), reopen, compaction and a crash in every order, after a
// first write; each order played with crashes only where its steps put them.
TEST_P(KillRecoverySweep, EveryOrderOfTheSteps) {
  std::vector<int> order = {0, 1, 2, 3, 4};
  long played = 0, walked = 0;
  do {
    for (int writesAfter : {0, 2}) {
      if (!zyrtest::inShard(played++, GetParam()))
        continue;
      ++walked;
      std::vector<Step> steps = {write('A'), write('B')};
      for (int part : order) {
        switch (part) {
        case 0: steps.push_back(write('A')); break;
        case 1:
          steps.push_back(erase('A'));
          for (int k = 0; k < writesAfter; ++k)
            steps.push_back(write(k % 2 ? 'D' : 'C'));
          break;
        case 2: steps.push_back(kReopenStep); break;
        case 3: steps.push_back(kCompactStep); break;
        case 4: steps.push_back(kCrashStep); break;
        }
      }
      steps.push_back(kCrashStep);
      play(steps, 0, 0);
      if (HasFailure())
        return;
    }
  } while (std::next_permutation(order.begin(), order.end()));
  // Together the shards play every order, both ways.
  EXPECT_EQ(walked, zyrtest::shareOf(played, GetParam()));
}

// A few orders with every child killed at every moment it hands bytes to the system.
TEST_F(KillRecoveryTest, KilledAtEveryWrite) {
  killEverywhere({write('A'), write('A'), kCrashStep, kReopenStep, erase('A'), write('C')});
  killEverywhere({write('A'), write('B'), write('A'), erase('B'), kCompactStep, erase('A'), write('B')});
  killEverywhere({write('A'), kReopenStep, write('A'), erase('A'), kCrashStep, write('A'), erase('A')});
}

// Random scenarios, each killed at a random moment of a random child. ZYR_KILL_SEED picks other
// ones; the seed of a failure is in its message.
TEST_P(KillRecoverySweep, RandomScenariosKilledAtRandom) {
  const char *given = std::getenv("ZYR_KILL_SEED");
  const unsigned seed = given ? static_cast<unsigned>(std::strtoul(given, nullptr, 10)) : 56u;
  std::mt19937 random(seed);
  int kills = 0;
  const int rounds = 400;
  for (int round = 0; round < rounds && !HasFailure(); ++round) {
    std::vector<Step> steps;
    const int length = 4 + static_cast<int>(random() % 8);
    for (int i = 0; i < length; ++i) {
      const unsigned pick = random() % 12;
      const char key = kKeys[random() % 2];
      steps.push_back(pick < 5 ? write(key) : pick < 8 ? erase(key) : pick < 10 ? kCrashStep
                                                      : pick < 11 ? kReopenStep : kCompactStep);
    }
    const size_t armed = random() % 3;
    const long at = 1 + static_cast<long>(random() % 25);
    if (!zyrtest::inShard(round, GetParam()))
      continue;
    SCOPED_TRACE("seed " + std::to_string(seed) + ", round " + std::to_string(round));
    kills += play(steps, armed, at) ? 1 : 0;
  }
  // A quarter of all rounds kill, as the whole sweep asked.
  EXPECT_GE(kills, zyrtest::shareOf(rounds / 4, GetParam()));
}

// A file left by the steps (a crash among them, or a close), opened with one read of the file
// or its lock file failing as a failing disc fails it (or with every read after it too), then
// read, written (C) and closed; or written first, so that the file is its writer's while the
// replaced data sets it reads are resolved. A read that fails is never taken for the end of the
// data, and nothing is written to the file after it. The open fails, says so and changes no byte;
// or each key is found as before (C as its write said) or not read, and a clean open then finds
// every key as before and C as its write said.
class ReadFaultSweep {
public:
  explicit ReadFaultSweep(std::string name, bool changeFirst = false)
      : m_name(std::move(name)), m_changeFirst(changeFirst) {}

  void run(const std::vector<Step> &steps) {
    const std::string where = " in " + describe(steps);
    const Report made = runChild(m_name, steps, 0, 0);
    ASSERT_TRUE(made.m_fault.empty() && (made.m_status == 0 || made.m_crashed)) << made.m_fault << where;
    m_bytes = zyrtest::readFile(m_name);
    m_lock = zyrtest::fileExists(m_name + ".lck") ? zyrtest::readFile(m_name + ".lck") : std::string();
    const std::string clean = faulted("");
    ASSERT_EQ(clean.rfind("found", 0), 0u) << clean << where;
    m_found = clean.substr(0, clean.find('\n'));
    // Every read of the open, alone and with all after it; then a sample of those of the data
    // sets read (each reads alike). After a change, each read of the change alone (those of the
    // open are the same as without it), then the sample.
    long opening = 0, changed = 0, reads = 0;
    std::istringstream(clean.substr(clean.rfind("reads ") + 6)) >> opening >> changed >> reads;
    ASSERT_GT(opening, 3) << where;
    for (long n = m_changeFirst ? opening + 1 : 1; n <= reads && !testing::Test::HasFailure();
         n += n < opening || (m_changeFirst && n <= changed) ? 1 : 7)
      for (const std::string &plan : {"read@" + std::to_string(n), "read@" + std::to_string(n) + "+"})
        if (n <= opening || plan.back() != '+')
          check(faulted(plan), " after " + plan + " failed" + where);
  }

private:
  // The file as the steps left it, opened with the plan: what the child found and did.
  std::string faulted(const std::string &plan) {
    restore();
    return zyrtest::inChild([&] {
      zyrtest::ErrorCapture errors;
      zyrFault_arm(plan.c_str(), m_name.c_str());
      DefFile *file = DefFile_new(m_name.c_str());
      if (!file)
        return std::string(errors.published().empty() ? "refused silently" : "refused");
      const long opening = zyrFault_passes(ZYR_FAULT_READ);
      const int32_t values[3] = {kWritten, kWritten, kWritten};
      auto change = [&] { return DefFile_writeIntArray(file, "C", "B", 0, values, 3, 0) == 1 ? "wrote" : "unwritten"; };
      const std::string first = m_changeFirst ? change() : "";
      const long changed = zyrFault_passes(ZYR_FAULT_READ);
      const std::string found = foundValues(file);
      const std::string written = m_changeFirst ? first : change();
      DefFile_delete(file);
      return found + "\n" + written + "\nreads " + std::to_string(opening) + " " + std::to_string(changed) + " " +
             std::to_string(zyrFault_passes(ZYR_FAULT_READ)) + " " + std::to_string(zyrFault_writesAfterFailedRead());
    });
  }

  void restore() const {
    zyrtest::writeFile(m_name, m_bytes);
    if (m_lock.empty())
      std::remove((m_name + ".lck").c_str());
    else
      zyrtest::writeFile(m_name + ".lck", m_lock);
  }

  void check(const std::string &text, const std::string &where) {
    if (text.rfind("refused", 0) == 0) {
      EXPECT_EQ(text, "refused") << where;
      EXPECT_EQ(zyrtest::readFile(m_name), m_bytes) << "a refused open changed the file" << where;
      return;
    }
    std::istringstream lines(text);
    std::string found, written, reads;
    std::getline(lines, found);
    std::getline(lines, written);
    std::getline(lines, reads);
    ASSERT_TRUE(written == "wrote" || written == "unwritten") << text << where;
    EXPECT_EQ(reads.substr(reads.rfind(' ')), " 0") << "written to after the read failed" << where << ":\n" << text;
    // Every key as before, and C as its write said.
    std::string after = m_found;
    const size_t c = after.find(" C=");
    after.replace(c, after.find(' ', c + 1) - c, " C=" + std::to_string(written == "wrote" ? kWritten : 0));
    // Each value the open found is the one a clean open finds (after the change, where it came
    // first), or a read that failed.
    std::istringstream got(found.substr(5)), clean((m_changeFirst ? after : m_found).substr(5));
    for (std::string pair, expected; got >> pair && clean >> expected;)
      EXPECT_TRUE(pair == expected || pair == expected.substr(0, 2) + "?") << pair << " found, not " << expected
                                                                          << where << ":\n" << text;
    // A clean open now finds the same.
    const Report reopened = runChild(m_name, {}, 0, 0);
    std::string now = "found";
    for (const auto &key : reopened.m_found)
      now += std::string(" ") + key.first + "=" + std::to_string(key.second);
    EXPECT_EQ(now, after) << reopened.m_fault << where << ":\n" << text;
  }

  static const int32_t kWritten = 99;
  std::string m_name;
  bool m_changeFirst;
  std::string m_bytes;
  std::string m_lock;
  std::string m_found;
};

// The file of a writer killed after it replaced a data set (closed before), of one killed after an
// erasure, and of one that closed (its stored index is read).
TEST_F(KillRecoveryTest, AReadThatFailsIsNeverTakenForTheEndOfTheData) {
  const std::vector<std::vector<Step>> scenarios = {
      {write('A'), kReopenStep, write('A'), kCrashStep},
      {write('A'), write('B'), erase('A'), kCrashStep},
      {write('A'), write('B'), erase('B'), write('A')},
  };
  for (size_t i = 0; i < scenarios.size() && !HasFailure(); ++i)
    ReadFaultSweep(path("read" + std::to_string(i) + ".wez")).run(scenarios[i]);
}

// The file of a writer killed after replacing data sets, changed first and then read, as the store
// opens a file whose last state it must undo: the replaced data sets are resolved while the file
// is written, and none is tagged deleted after a read failed.
TEST_F(KillRecoveryTest, NothingIsWrittenToAFileAfterAReadOfItFailed) {
  ReadFaultSweep(path("late.wez"), true).run({write('A'), write('A'), write('A'), write('B'), write('B'), kCrashStep});
}

// The store: each command of the session with what a fresh open must list after it (the things
// of the current state; a change not yet committed is not there).
struct Command {
  const char *m_text;
  const char *m_after;
};

const Command kSession[] = {
    {"open s.zyr", "-"},       {"new a 1", "-"},   {"new b 1", "-"},          {"commit", "a=1,b=1"},
    {"set a 2", "a=1,b=1"},    {"commit", "a=2,b=1"},                         {"del a", "a=2,b=1"},
    {"commit", "b=1"},         {"undo", "a=2,b=1"}, // the deletion undone
    {"set b 3", "a=2,b=1"},    {"set b 4", "a=2,b=1"}, // the deletion can no longer be redone
    {"commit", "a=2,b=4"},     {"set b 5", "a=2,b=4"}, {"set b 6", "a=2,b=4"}, {"rollback", "a=2,b=4"},
    {"new c 7", "a=2,b=4"},    {"commit", "a=2,b=4,c=7"},                     {"del c", "a=2,b=4,c=7"},
    {"commit", "a=2,b=4"},     {"close 0", "a=2,b=4"},
};

const std::string kDriver = std::string(ZYR_TEST_HELPER_DIR) + "/store_driver";

TEST_P(KillRecoverySweep, TheStoreNeverBringsBackWhatWasDeletedUndoneOrRolledBack) {
  const size_t commands = sizeof kSession / sizeof kSession[0];
  int kills = 0;
  // Each shard kills at every kSweepShards-th hand-over, up to one past the session's last.
  for (long n = 1 + GetParam();; n += zyrtest::kSweepShards) {
    const std::string name = "kill" + std::to_string(n);
    ASSERT_EQ(mkdir(path(name).c_str(), 0755), 0);
    const std::string at = "kill@" + std::to_string(n);
    size_t done = 0;
    {
      zyrtest::ChildProcess driver(kDriver, {}, {{"ZYR_FAULT_AT", at.c_str()}}, path(name));
      while (done < commands && driver.ask(kSession[done].m_text).rfind("ok", 0) == 0)
        ++done;
      driver.closeInput();
      const int status = driver.wait();
      if (done == commands) {
        EXPECT_EQ(status, 0);
        break;
      }
      ASSERT_EQ(status, 128 + SIGKILL) << "command " << kSession[done].m_text << " failed at " << at;
    }
    ++kills;
    // What the last command answered for, or what the one cut short would have left; an undo
    // whose stored state was still in the stream may be lost.
    std::set<std::string> allowed = {kSession[done].m_after};
    if (done > 0)
      allowed.insert(kSession[done - 1].m_after);
    if (done > 1 && std::string(kSession[done - 1].m_text) == "undo")
      allowed.insert(kSession[done - 2].m_after);
    // Found at the open, and the same after a close that purges the history.
    std::string first;
    for (const char *close : {"close 1", "close 0"}) {
      zyrtest::ChildProcess check(kDriver, {}, {}, path(name));
      const std::string opened = check.ask("open s.zyr");
      if (done == 0 && opened.rfind("ok", 0) != 0)
        break; // killed while the file was made: nothing stored yet
      ASSERT_EQ(opened.rfind("ok ", 0), 0u) << opened << " after " << at;
      std::string things = check.ask("things");
      things = things.substr(things.find(' ') + 1);
      things = things.substr(0, things.find(' '));
      if (first.empty()) {
        first = things;
        EXPECT_EQ(allowed.count(things), 1u) << things << " after " << at << ", in command " << done << " ("
                                               << kSession[done].m_text << ")";
      } else {
        EXPECT_EQ(things, first) << "after " << close << ", killed at " << at;
      }
      EXPECT_EQ(check.ask(close).rfind("ok", 0), 0u) << close << " after " << at;
    }
    if (HasFailure())
      return;
  }
  // At least 20 kills in all, as the whole sweep asked.
  EXPECT_GE(kills, zyrtest::shareOf(20, GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Shard, KillRecoverySweep, testing::Range(0, zyrtest::kSweepShards));

} // namespace
