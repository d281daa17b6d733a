// A process on a database for the tests of several processes. It reads one command a line from
// its standard input and answers each with one line on its standard output:
//   "<ok|fail> <value> [<code>...]"
// where value is the command's result and the codes are those of the errors published while it
// ran (warnings included), so that a test sees every message a command raised.
//
//   open NAME [1]    Repository_new (with 1: of the current release only)   value: current state, or 0
//   new LABEL COUNT  a thing (test type "Assembly") with the label and the count
//   set LABEL COUNT  the thing's count
//   del LABEL        deletes the thing
//   commit           Repository_commit                       value: the state committed
//   undo | redo      one state back or forward               value: the current state
//   rollback         gives up the open state, as a failed operation does   value: the current state
//   checkpoint       Repository_externalCheckpoint           value: its index
//   copy NAME        Repository_copyDatabase to a new name, kept as it is   value: its result
//   close FLAG       Repository_close with the flag (-1, 0 or 1)
//   copy NAME REPLACE  Repository_copyDatabase to NAME, not worked on nor compacted, replacing a
//                    file there when REPLACE is 1                   value: its status
//   things           value: "label=count,..." of the live things, sorted by label
//   upgrade NAME [NEW]  zyrDatabaseUpgrade of NAME in place, or to NEW   value: whether it upgraded
//   noproc           from now on as on a system without names through descriptors (no /proc)
//   kill             ends the process at once by SIGKILL
//   exit             ends the process (status 0)
//   stress ROLE ID SEED SESSIONS NAME LOG
//                    plays SESSIONS sessions on the database NAME by itself (see stress()),
//                    writing to the file LOG what it must find there later; value: "done"
// A command that needs an open database and finds none fails with value 0.
//
// With STORE_DRIVER_UID set (by a test running as root) the process first takes that user and
// group id, so that the files of the test are another user's.
#include "ObjectTestSupport.h"

#include "zyrDirectoryHandle.h"
#include "zyrError.h"
#include "zyrErrorManager.h"
#include "zyrMemory.h"
#include "zyrStateManager.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using objecttest::TestThing;

Repository *theRepository = nullptr;

std::vector<TestThing *> things() {
  return theRepository != nullptr ? objecttest::things(theRepository) : std::vector<TestThing *>();
}

TestThing *thing(const std::string &label) {
  return theRepository != nullptr ? objecttest::thingLabelled(theRepository, label) : nullptr;
}

std::string listThings() {
  std::vector<std::string> entries;
  for (TestThing *t : things())
    entries.push_back(std::string(t->m_label != nullptr ? t->m_label : "") + "=" + std::to_string(t->m_count));
  std::sort(entries.begin(), entries.end());
  std::string text;
  for (const std::string &entry : entries)
    text += (text.empty() ? "" : ",") + entry;
  return text.empty() ? "-" : text;
}

// The codes of the held errors, emptied.
std::string takeCodes() {
  zyrErrorManager *manager = zyrErrorManager_get();
  int32_t n = 0;
  zyrError **errors = nullptr;
  zyrErrorManager_getErrors(manager, &n, &errors);
  std::string codes;
  for (int32_t i = 0; i < n; ++i) {
    codes += " " + std::to_string(zyrError_getCode(errors[i]));
    if (getenv("STORE_DRIVER_MESSAGES") != nullptr)
      std::cerr << zyrError_getCode(errors[i]) << ": " << zyrError_getMessage(errors[i]) << "\n";
  }
  zyrMemory_free(errors, __func__);
  zyrErrorManager_clearErrors(manager);
  return codes;
}

// Runs one command: its success and value.
bool run(const std::string &command, std::istringstream &in, std::string *value) {
  if (command == "open") {
    std::string name;
    int currentOnly = 0;
    in >> name >> currentOnly;
    theRepository = Repository_new(name.c_str(), currentOnly);
    *value = std::to_string(theRepository != nullptr ? Repository_getCurrentState(theRepository) : 0);
    return theRepository != nullptr;
  }
  if (command == "upgrade") {
    std::string name, newName;
    in >> name >> newName;
    int upgraded = 0;
    const int status = zyrDatabaseUpgrade(name.c_str(), newName.empty() ? nullptr : newName.c_str(), &upgraded);
    *value = std::to_string(upgraded);
    return status == 1;
  }
  // As on a system that offers no names through descriptors (no /proc).
  if (command == "noproc") {
    zyrDirectoryHandle_setEnabled(0);
    *value = "0";
    return true;
  }
  if (theRepository == nullptr) {
    *value = "0";
    return false;
  }
  if (command == "new" || command == "set") {
    std::string label;
    int32_t count = 0;
    in >> label >> count;
    TestThing *t = command == "new" ? objecttest::Thing_new() : thing(label);
    bool ok = t != nullptr;
    if (ok && command == "new")
      ok = objecttest::Thing_setLabel(t, label.c_str()) == 1;
    if (ok)
      ok = objecttest::Thing_setCount(t, count) == 1;
    *value = ok ? "1" : "0";
    return ok;
  }
  if (command == "del") {
    std::string label;
    in >> label;
    TestThing *t = thing(label);
    const bool ok = t != nullptr && zyrObject_deleteByType(t) == 1;
    *value = ok ? "1" : "0";
    return ok;
  }
  if (command == "commit") {
    const int32_t state = Repository_commit(theRepository);
    *value = std::to_string(state);
    return state > 0;
  }
  if (command == "undo" || command == "redo") {
    const int32_t before = Repository_getCurrentState(theRepository);
    Repository_gotoState(theRepository, before + (command == "undo" ? -1 : 1));
    const int32_t after = Repository_getCurrentState(theRepository);
    *value = std::to_string(after);
    return after != before;
  }
  if (command == "rollback") {
    const int32_t open = Repository_getCurrentState(theRepository);
    if (open < 0)
      Repository_gotoState(theRepository, -open - 1);
    *value = std::to_string(Repository_getCurrentState(theRepository));
    return open < 0;
  }
  if (command == "checkpoint") {
    const int32_t index = Repository_externalCheckpoint(theRepository);
    *value = std::to_string(index);
    return index >= 0;
  }
  if (command == "copy") {
    std::string name;
    in >> name;
    const int status = Repository_copyDatabase(theRepository, name.c_str(), 0, -1);
    *value = std::to_string(status);
    return status == 1;
  }
  if (command == "close") {
    int32_t flag = -1;
    in >> flag;
    const int status = Repository_close(theRepository, flag);
    theRepository = nullptr;
    *value = std::to_string(status);
    return status == 1;
  }
  if (command == "things") {
    *value = listThings();
    return true;
  }
  if (command == "copy") {
    std::string name;
    int replace = 0;
    in >> name >> replace;
    const int status = Repository_copyDatabase(theRepository, name.c_str(), 0, -1, replace);
    *value = std::to_string(status);
    return status == 1;
  }
  *value = "unknown";
  return false;
}

// One command as the stress sessions run it: its success, value and codes.
struct Outcome {
  bool m_ok;
  std::string m_value;
  std::string m_codes;
};

Outcome command(const std::string &line) {
  std::istringstream in(line);
  std::string word;
  in >> word;
  Outcome outcome;
  outcome.m_ok = run(word, in, &outcome.m_value);
  outcome.m_codes = takeCodes();
  return outcome;
}

// Sessions of a writer ("writer") or a reader ("reader") on the database, driven by the seed.
// A writer makes and changes things whose labels carry its id, commits now and then, goes back
// and forth in the history, keeps checkpoints, closes with each flag, and sometimes kills itself
// instead of closing. Every change it saw committed goes to the log: "set LABEL COUNT" or
// "del LABEL". Whatever the sessions met that they must never meet goes there too, as a line
// starting with "wrong". Opens refused while another process holds the file are tried again.
void stress(const std::string &role, const std::string &id, unsigned seed, int sessions, const std::string &name,
            const std::string &logName) {
  std::mt19937 random(seed);
  auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
  FILE *log = std::fopen(logName.c_str(), "a");
  auto note = [&](const std::string &line) {
    std::fprintf(log, "%s\n", line.c_str());
    std::fflush(log);
  };
  auto wrong = [&](const std::string &what, const Outcome &outcome) {
    note("wrong " + what + ": " + (outcome.m_ok ? "ok " : "fail ") + outcome.m_value + outcome.m_codes);
  };
  const bool writer = role == "writer";
  int made = 0;
  std::string word;
  // Processes that meet each other step back for a random while, so that one of them gets on.
  // Readers come now and then; writers come again soon.
  auto stepBack = [&]() {
    const timespec pause = {0, static_cast<long>(random() % (writer ? 4000000 : 20000000))};
    nanosleep(&pause, nullptr);
  };
  for (int session = 0; session < sessions; ++session) {
    Outcome opened = command("open " + name);
    for (int attempt = 0; !opened.m_ok && attempt < 2000; ++attempt) {
      if (opened.m_codes != " 10012 10003")
        wrong("open", opened);
      stepBack();
      opened = command("open " + name);
    }
    if (!opened.m_ok)
      continue;
    // Warnings only: a state or files that a killed process left.
    for (std::istringstream codes(opened.m_codes); codes >> word;)
      if (word != "4")
        wrong("open", opened);
    bool wrote = false;
    std::vector<std::string> pending;
    const int steps = 1 + static_cast<int>(random() % 6);
    for (int step = 0; step < steps; ++step) {
      if (!writer) {
        // Back and forth leaves the reader where it was: had it become the writer (by erasing
        // a state that a killed writer left open), a state it went back to would be stored.
        const bool move = chance(50);
        const Outcome outcome = command(move ? "undo" : "things");
        if (outcome.m_codes != "")
          wrong("read", outcome);
        if (move && outcome.m_ok && !command("redo").m_ok)
          wrong("redo after undo", outcome);
        continue;
      }
      std::vector<std::string> mine;
      std::istringstream list(command("things").m_value);
      for (std::string entry; std::getline(list, entry, ',');)
        if (entry.rfind(id + "-", 0) == 0)
          mine.push_back(entry.substr(0, entry.find('=')));
      const int count = static_cast<int>(random() % 1000);
      if (mine.empty() || chance(50)) {
        const std::string label = id + "-" + std::to_string(made++);
        if (command("new " + label + " " + std::to_string(count)).m_ok)
          pending.push_back("set " + label + " " + std::to_string(count));
      } else if (chance(75)) {
        const std::string &label = mine[random() % mine.size()];
        if (command("set " + label + " " + std::to_string(count)).m_ok)
          pending.push_back("set " + label + " " + std::to_string(count));
      } else {
        const std::string &label = mine[random() % mine.size()];
        if (command("del " + label).m_ok)
          pending.push_back("del " + label);
      }
      if (chance(60)) {
        const Outcome committed = command("commit");
        if (committed.m_ok) {
          wrote = true;
          for (const std::string &line : pending)
            note(line);
          // Back and forth again: the state committed is the current one after.
          if (chance(20)) {
            const Outcome back = command("undo");
            const Outcome forth = command("redo");
            if (!back.m_ok || !forth.m_ok || forth.m_value != committed.m_value)
              wrong("undo and redo after state " + committed.m_value, forth);
          }
          if (chance(20) && !command("checkpoint").m_ok)
            wrong("checkpoint", committed);
        } else if (committed.m_codes.find(" 10010") == std::string::npos) {
          wrong("commit", committed);
        } else {
          pending.clear();
          break; // others hold the file: this session ends
        }
        pending.clear();
      }
    }
    if (writer && chance(5)) {
      // Ends here, whatever is uncommitted: the next open discards it.
      std::fclose(log);
      kill(getpid(), SIGKILL);
    }
    const Outcome committed = command("commit");
    if (committed.m_ok) {
      wrote = wrote || !pending.empty();
      for (const std::string &line : pending)
        note(line);
    }
    // A reader may have gone back in memory: a purge there would drop what came after by its
    // request. Readers leave the history as it is.
    const int flag = static_cast<int>(random() % (writer ? 3 : 2)) - 1;
    const Outcome closed = command("close " + std::to_string(flag));
    // Only a purge may be refused, and only to a process that did not write.
    if (!closed.m_ok && (flag != 1 || wrote))
      wrong("close " + std::to_string(flag), closed);
    stepBack();
  }
  std::fclose(log);
}

} // namespace

int main() {
  if (const char *uid = getenv("STORE_DRIVER_UID")) {
    const auto id = static_cast<uid_t>(std::strtoul(uid, nullptr, 10));
    if (setgid(id) != 0 || setuid(id) != 0)
      return 4;
  }
  objecttest::installTestTypes();
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string command;
    in >> command;
    if (command.empty())
      continue;
    if (command == "exit")
      break;
    if (command == "kill")
      kill(getpid(), SIGKILL);
    if (command == "stress") {
      std::string role, id, name, log;
      unsigned seed = 0;
      int sessions = 0;
      in >> role >> id >> seed >> sessions >> name >> log;
      stress(role, id, seed, sessions, name, log);
      std::cout << "ok done" << takeCodes() << std::endl;
      continue;
    }
    std::string value;
    const bool ok = run(command, in, &value);
    std::cout << (ok ? "ok " : "fail ") << value << takeCodes() << std::endl;
  }
  return 0;
}
