#include "zyrTestChild.h"

#include "zyrTestSupport.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace zyrtest {

namespace {

const int kPatienceMs = 60 * 1000;

void closeFd(int *fd) {
  if (*fd >= 0)
    close(*fd);
  *fd = -1;
}

} // namespace

namespace {

// In a child of the test: runs the rest of it (up to its exec) as process 1 of a pid namespace of
// its own, while this process stays outside, tells the test that process's id through `told`, and
// ends as it ended once it has collected it; only that process returns.
void continueInOwnPidNamespace(int told) {
  const pid_t inside = enterPidNamespace() ? fork() : -1;
  if (inside == 0) {
    // Ends with the process outside, should that be killed.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    return;
  }
  if (write(told, &inside, sizeof inside) != sizeof inside || inside < 0)
    _exit(125);
  int status = 0;
  while (waitpid(inside, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFSIGNALED(status)) {
    signal(WTERMSIG(status), SIG_DFL);
    raise(WTERMSIG(status));
  }
  _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 125);
}

} // namespace

bool enterPidNamespace() {
  if (unshare(CLONE_NEWPID) == 0)
    return true;
  const std::string uid = std::to_string(static_cast<long>(geteuid()));
  const std::string gid = std::to_string(static_cast<long>(getegid()));
  if (unshare(CLONE_NEWUSER | CLONE_NEWPID) != 0)
    return false;
  const auto put = [](const char *file, const std::string &text) {
    const int fd = open(file, O_WRONLY | O_CLOEXEC);
    const bool written = fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (fd >= 0)
      close(fd);
    return written;
  };
  return put("/proc/self/setgroups", "deny") && put("/proc/self/uid_map", uid + " " + uid + " 1\n") &&
         put("/proc/self/gid_map", gid + " " + gid + " 1\n");
}

ChildProcess::ChildProcess(const std::string &program, const std::vector<std::string> &arguments,
                           const std::vector<std::pair<std::string, const char *>> &environment,
                           const std::string &workingDirectory, const std::string &pauseAt, bool ownPidNamespace) {
  int toChild[2], fromChild[2], pause[2] = {-1, -1}, told[2] = {-1, -1};
  if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0 ||
      (ownPidNamespace && pipe2(told, O_CLOEXEC) != 0))
    throw std::runtime_error("cannot make the pipes of a child");
  if (!pauseAt.empty() && socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pause) != 0)
    throw std::runtime_error("cannot make the pause channel of a child");
  std::vector<std::string> words = arguments;
  words.insert(words.begin(), program);
  fflush(nullptr);
  m_pid = fork();
  if (m_pid < 0)
    throw std::runtime_error("cannot start " + program);
  if (m_pid == 0) {
    dup2(toChild[0], 0);
    dup2(fromChild[1], 1);
    // The channel goes to a descriptor of its own, open across exec.
    const int channel = 3;
    if (pause[1] == channel ? fcntl(channel, F_SETFD, 0) != 0 : pause[1] >= 0 && dup2(pause[1], channel) != channel)
      _exit(126);
    for (const auto &variable : environment) {
      if (variable.second != nullptr)
        setenv(variable.first.c_str(), variable.second, 1);
      else
        unsetenv(variable.first.c_str());
    }
    if (pause[1] >= 0) {
      setenv("ZYR_PAUSE_AT", pauseAt.c_str(), 1);
      setenv("ZYR_PAUSE_FD", "3", 1);
    }
    if (!workingDirectory.empty() && chdir(workingDirectory.c_str()) != 0)
      _exit(126);
    if (ownPidNamespace)
      continueInOwnPidNamespace(told[1]);
    std::vector<char *> argv;
    for (std::string &word : words)
      argv.push_back(&word[0]);
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(toChild[0]);
  close(fromChild[1]);
  if (pause[1] >= 0)
    close(pause[1]);
  m_input = toChild[1];
  m_output = fromChild[0];
  m_pause = pause[0];
  signal(SIGPIPE, SIG_IGN);
  if (ownPidNamespace) {
    close(told[1]);
    pid_t inside = -1;
    if (read(told[0], &inside, sizeof inside) == sizeof inside)
      m_inside = inside;
    close(told[0]);
  }
}

namespace {

// Forks a child that does the work, tells whether it did, and waits to be killed: its id (or -1),
// with *done receiving what it told.
pid_t pausedChild(const std::function<bool()> &work, bool *done) {
  *done = false;
  int ready[2];
  if (pipe(ready) != 0)
    return -1;
  fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const char did = work() ? 'h' : 'x';
    if (write(ready[1], &did, 1) != 1)
      _exit(1);
    pause();
    _exit(0);
  }
  close(ready[1]);
  char did = 0;
  *done = pid > 0 && read(ready[0], &did, 1) == 1 && did == 'h';
  close(ready[0]);
  return pid;
}

void endPausedChild(pid_t pid) {
  if (pid > 0) {
    ::kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
}

} // namespace

LockHolder::LockHolder(const std::string &path, int how) {
  m_pid = pausedChild(
      [&] {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        return fd >= 0 && flock(fd, how) == 0;
      },
      &m_holds);
}

LockHolder::~LockHolder() { endPausedChild(m_pid); }

bool othersCanReach(const std::string &directory) {
  char *real = realpath(directory.c_str(), nullptr);
  if (real == nullptr)
    return false;
  std::string path = real;
  free(real);
  for (;;) {
    struct stat status;
    if (stat(path.empty() ? "/" : path.c_str(), &status) != 0 || (status.st_mode & S_IXOTH) == 0)
      return false;
    if (path.empty())
      return true;
    path.resize(path.rfind('/'));
  }
}

uid_t unusedUserId() {
  uid_t id = 47000;
  while (getpwuid(id) != nullptr || getgrgid(static_cast<gid_t>(id)) != nullptr)
    ++id;
  return id;
}

bool becomeUser(uid_t id) {
  return setgroups(0, nullptr) == 0 && setgid(static_cast<gid_t>(id)) == 0 && setuid(id) == 0;
}

OtherUserFiles::OtherUserFiles(const std::string &directory,
                               const std::function<std::vector<std::string>(long pid)> &names) {
  m_uid = unusedUserId();
  m_pid = pausedChild(
      [&] {
        if (!becomeUser(m_uid))
          return false;
        for (const std::string &name : names(static_cast<long>(getpid())))
          if (open((directory + "/" + name).c_str(), O_RDWR | O_CREAT | O_EXCL, 0644) < 0)
            return false;
        return true;
      },
      &m_holds);
  if (m_pid > 0)
    m_names = names(static_cast<long>(m_pid));
}

OtherUserFiles::~OtherUserFiles() { endPausedChild(m_pid); }

ChildProcess::~ChildProcess() {
  closeFd(&m_input);
  closeFd(&m_output);
  closeFd(&m_pause);
  if (m_pid > 0 && m_status < 0) {
    kill(SIGKILL);
    waitpid(m_pid, nullptr, 0);
  }
}

bool ChildProcess::send(const std::string &line) {
  if (m_input < 0)
    return false;
  const std::string text = line + "\n";
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(m_input, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string ChildProcess::readFrom(int fd, std::string *buffer) {
  for (;;) {
    const size_t end = buffer->find('\n');
    if (end != std::string::npos) {
      std::string line = buffer->substr(0, end);
      buffer->erase(0, end + 1);
      return line;
    }
    if (fd < 0)
      return std::string();
    pollfd ready = {fd, POLLIN, 0};
    const int polled = poll(&ready, 1, kPatienceMs);
    if (polled < 0 && errno == EINTR)
      continue;
    if (polled <= 0)
      return std::string();
    char chunk[512];
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return std::string();
    buffer->append(chunk, static_cast<size_t>(n));
  }
}

std::string ChildProcess::readLine() { return readFrom(m_output, &m_outputBuffer); }

std::string ChildProcess::ask(const std::string &line) { return send(line) ? readLine() : std::string(); }

void ChildProcess::closeInput() { closeFd(&m_input); }

std::string ChildProcess::waitPause() {
  const std::string line = readFrom(m_pause, &m_pauseBuffer);
  return line.substr(0, line.find(' '));
}

void ChildProcess::release() {
  const char go = 'g';
  if (m_pause >= 0 && write(m_pause, &go, 1) != 1) {
    // The child has ended; a later read tells.
  }
}

void ChildProcess::kill(int signal) {
  // In a namespace of its own the program itself, whose end the process outside follows.
  if (m_pid > 0 && m_status < 0)
    ::kill(m_inside > 0 ? m_inside : m_pid, signal);
}

int ChildProcess::wait() {
  if (m_status >= 0 || m_pid <= 0)
    return m_status;
  closeFd(&m_input);
  int status = 0;
  while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
  }
  m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return m_status;
}

pid_t endedProcess() {
  fflush(nullptr);
  const pid_t child = fork();
  if (child == 0)
    leaveChild(0);
  if (child > 0)
    waitpid(child, nullptr, 0);
  return child;
}

} // namespace zyrtest

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/lsan_interface.h>
#define ZYR_TEST_CHILD_LEAK_CHECK 1
#endif
#endif

namespace zyrtest {

namespace {

// inChild, or crashedChild when `crash` is set.
std::string forked(const std::function<std::string()> &body, unsigned seconds, bool crash) {
  int channel[2];
  if (pipe2(channel, O_CLOEXEC) != 0)
    throw std::runtime_error("cannot make the pipe of a child");
  fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0)
    throw std::runtime_error("cannot fork a child");
  if (pid == 0) {
    close(channel[0]);
    alarm(seconds);
    const std::string text = body();
    for (size_t done = 0; done < text.size();) {
      const ssize_t n = write(channel[1], text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        leaveChild(3);
      done += static_cast<size_t>(n);
    }
    if (crash)
      raise(SIGKILL);
#ifdef ZYR_TEST_CHILD_LEAK_CHECK
    if (__lsan_do_recoverable_leak_check() != 0)
      leaveChild(99);
#endif
    leaveChild(0);
  }
  close(channel[1]);
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(channel[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    text.append(buffer, static_cast<size_t>(n));
  }
  close(channel[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (crash && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
    return text;
  if (WIFSIGNALED(status))
    text += "\nchild ended by signal " + std::to_string(WTERMSIG(status)) +
            (WTERMSIG(status) == SIGALRM ? " (hung)" : "");
  else if (WEXITSTATUS(status) == 99)
    text += "\nchild leaked memory";
  else if (WEXITSTATUS(status) != 0)
    text += "\nchild exited with status " + std::to_string(WEXITSTATUS(status));
  return text;
}

} // namespace

std::string inChild(const std::function<std::string()> &body, unsigned seconds) {
  return forked(body, seconds, false);
}

std::string crashedChild(const std::function<std::string()> &body, unsigned seconds) {
  return forked(body, seconds, true);
}

} // namespace zyrtest
