// Pause points held through the environment.
#include "zyrPause.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Point {
  std::string m_name;
  long m_pass;    // the pass that holds (from 1); 0: every pass
  long m_reached; // passes so far
};

struct Pauses {
  std::vector<Point> m_points;
  int m_fd = -1;
};

std::mutex thePausesMutex;

Pauses &pauses() {
  static Pauses *armed = [] {
    Pauses *p = new Pauses;
    const char *at = getenv("ZYR_PAUSE_AT");
    for (const char *c = at; c != nullptr && *c != '\0';) {
      const char *end = strchr(c, ',');
      std::string entry(c, end != nullptr ? static_cast<size_t>(end - c) : strlen(c));
      c = end != nullptr ? end + 1 : nullptr;
      if (entry.empty())
        continue;
      long pass = 0;
      size_t atSign = entry.rfind('@');
      if (atSign != std::string::npos) {
        pass = strtol(entry.c_str() + atSign + 1, nullptr, 10);
        entry.resize(atSign);
        if (pass < 1)
          continue;
      }
      p->m_points.push_back({entry, pass, 0});
    }
    const char *fd = getenv("ZYR_PAUSE_FD");
    if (fd != nullptr && *fd != '\0' && !p->m_points.empty()) {
      p->m_fd = static_cast<int>(strtol(fd, nullptr, 10));
      // Programs this process starts must not hold the test's channel.
      if (p->m_fd < 0 || fcntl(p->m_fd, F_SETFD, FD_CLOEXEC) != 0)
        p->m_fd = -1;
    }
    return p;
  }();
  return *armed;
}

// Tells the test where the process is and waits for its go.
void hold(const char *name, int fd) {
  if (fd < 0) {
    raise(SIGSTOP);
    return;
  }
  char line[256];
  int length = snprintf(line, sizeof line, "%s %ld\n", name, static_cast<long>(getpid()));
  if (length < 0 || static_cast<size_t>(length) >= sizeof line)
    return;
  const char *at = line;
  while (length > 0) {
    ssize_t n = write(fd, at, static_cast<size_t>(length));
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return;
    at += n;
    length -= static_cast<int>(n);
  }
  char go;
  while (read(fd, &go, 1) < 0 && errno == EINTR) {
  }
}

} // namespace

int zyrPause_isArmed() { return pauses().m_points.empty() ? 0 : 1; }

void zyrPause_point(const char *name) {
  Pauses &p = pauses();
  if (p.m_points.empty() || name == nullptr)
    return;
  bool held = false;
  {
    std::lock_guard<std::mutex> guard(thePausesMutex);
    for (Point &point : p.m_points) {
      if (point.m_name != name)
        continue;
      ++point.m_reached;
      held = held || point.m_pass == 0 || point.m_pass == point.m_reached;
    }
  }
  if (held)
    hold(name, p.m_fd);
}
