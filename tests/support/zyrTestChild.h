#ifndef ZYR_TEST_CHILD_H
#define ZYR_TEST_CHILD_H
// A program run as a child process for the tests of several processes: lines to its standard
// input, lines from its standard output, and, with pause points named, the channel through which
// it reports the point it stopped at and waits for the test's go (zyrPause.h):
//
//   zyrtest::ChildProcess a(helper("store_driver"), {}, {}, dir.path());
//   EXPECT_EQ(a.ask("open s.zyr"), "ok 1");
//   zyrtest::ChildProcess b(helper("store_driver"), {}, {}, dir.path(), "swap.before-rename");
//   b.send("close 0");
//   EXPECT_EQ(b.waitPause(), "swap.before-rename");   // b is held there now
//   ...                                               // what must happen meanwhile
//   b.release();
//   EXPECT_EQ(b.readLine(), "ok 1");
//
// Reads give up after a minute (a failed test, never a hung one). Its standard error is the
// test's. A child still running at the end is killed.
#include <sys/types.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace zyrtest {

class ChildProcess {
public:
  // Starts the program with the arguments (argv[0] is the program), the test's environment
  // changed by `environment` (a value of nullptr unsets), in the working directory (empty: the
  // test's). With pauseAt set, ZYR_PAUSE_AT is set to it and ZYR_PAUSE_FD names the channel.
  // With ownPidNamespace the program runs as process 1 of a pid namespace of its own (as a
  // container's first process does), under a process outside it that ends as it ended once it has
  // collected it: kill() ends the program, and wait() answers once it is gone. When no namespace
  // can be made (inOwnPidNamespace() false) the child ends at once with status 125.
  ChildProcess(const std::string &program, const std::vector<std::string> &arguments,
               const std::vector<std::pair<std::string, const char *>> &environment = {},
               const std::string &workingDirectory = "", const std::string &pauseAt = "",
               bool ownPidNamespace = false);
  ~ChildProcess();
  ChildProcess(const ChildProcess &) = delete;
  ChildProcess &operator=(const ChildProcess &) = delete;

  pid_t pid() const { return m_pid; }
  bool inOwnPidNamespace() const { return m_inside > 0; }
  // Writes the line and a line end to its standard input; false when it cannot.
  bool send(const std::string &line);
  // One line of its standard output without the line end; "" when it ended (or a minute passed).
  std::string readLine();
  // send, then readLine.
  std::string ask(const std::string &line);
  // Ends its standard input.
  void closeInput();
  // The point it is held at once it reports one; "" when it ended first.
  std::string waitPause();
  // Lets a held child go on.
  void release();
  // Sends the signal (SIGKILL by default).
  void kill(int signal = 9);
  // Waits for its end: the exit status, or 128 plus the signal that ended it.
  int wait();

private:
  static std::string readFrom(int fd, std::string *buffer);
  pid_t m_pid = -1;
  pid_t m_inside = -1; // with a pid namespace of its own, the program (as this process sees it)
  int m_status = -1;
  int m_input = -1;
  int m_output = -1;
  int m_pause = -1;
  std::string m_outputBuffer;
  std::string m_pauseBuffer;
};

// A forked child of this process that holds a real lock (flock, LOCK_SH or LOCK_EX) on a file,
// opened for reading, until the object goes: another process that holds the file.
class LockHolder {
public:
  LockHolder(const std::string &path, int how);
  ~LockHolder();
  LockHolder(const LockHolder &) = delete;
  LockHolder &operator=(const LockHolder &) = delete;
  // Whether the child holds the lock (it could open the file and take it).
  bool holds() const { return m_holds; }
  pid_t pid() const { return m_pid; }

private:
  pid_t m_pid = -1;
  bool m_holds = false;
};

// A number that no user and no group of this machine has as its id, so that no file or process of
// it is anybody's.
uid_t unusedUserId();
// Makes this process (a forked child) run as the user and group of the id, with no other groups:
// whether it could (only a privileged process can).
bool becomeUser(uid_t id);

// A forked child of this process that takes a user and group id which no user has, makes the files
// that `names` gives for its own process id (names in the directory, which that user must be able
// to write) and keeps them open, without any lock, until the object goes: another user's live
// process and its files. Only a privileged process can start it (holds() false otherwise).
// Whether another user may reach the directory: every directory on its way lets others search it.
// A temporary directory inside one of the owner's own (mktemp -d) does not.
bool othersCanReach(const std::string &directory);

class OtherUserFiles {
public:
  OtherUserFiles(const std::string &directory, const std::function<std::vector<std::string>(long pid)> &names);
  ~OtherUserFiles();
  OtherUserFiles(const OtherUserFiles &) = delete;
  OtherUserFiles &operator=(const OtherUserFiles &) = delete;
  // Whether the child took the ids and made every file.
  bool holds() const { return m_holds; }
  pid_t pid() const { return m_pid; }
  uid_t uid() const { return m_uid; }
  // The names it made.
  const std::vector<std::string> &names() const { return m_names; }

private:
  pid_t m_pid = -1;
  uid_t m_uid = 0;
  bool m_holds = false;
  std::vector<std::string> m_names;
};

// The id of a process that has ended: a child made for the purpose and waited for.
pid_t endedProcess();

// Makes the next child this process forks the first (process 1) of a pid namespace of its own,
// inside a user namespace of its own where the process is not privileged (the user keeps its ids,
// mapped to themselves). For a forked child only: a process whose namespace's first process has
// ended can fork no more. false when the system lets no namespace be made.
bool enterPidNamespace();

// Runs the body in a forked child of this process, ended after the seconds, and returns the text
// the body returned. A child that did not end normally with it (a crash, a sanitizer report, a
// leak the body left, a hang) adds a line saying how it ended, so that "" means a body that
// found nothing wrong and ended well. For work that may leave state behind in the process.
std::string inChild(const std::function<std::string()> &body, unsigned seconds = 60);
// As inChild, but the child is killed (SIGKILL) once it has sent the text, as a crash ends a
// process: what its streams held and what it would do at its end never happen. The kill adds no
// line.
std::string crashedChild(const std::function<std::string()> &body, unsigned seconds = 60);

} // namespace zyrtest

#endif
