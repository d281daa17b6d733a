// Interrupt requests: a number a signal handler may store, and a pipe that wakes the waits.
#include "zyrInterrupt.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <unistd.h>

namespace {

std::atomic<int> theSignal{0};
// The pipe's ends, made at the first wait: the handler writes, the waits read.
std::atomic<int> theWakeWriter{-1};
int theWakeReader = -1;
std::once_flag theWakeMade;

static_assert(std::atomic<int>::is_always_lock_free, "a signal handler stores the request");

// A descriptor above the standard streams: a program that closed one of them may open it again.
int aboveStandard(int fd) {
  if (fd > 2)
    return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  close(fd);
  return moved;
}

void makeWake() {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
    return;
  ends[0] = aboveStandard(ends[0]);
  ends[1] = aboveStandard(ends[1]);
  if (ends[0] < 0 || ends[1] < 0) {
    if (ends[0] >= 0)
      close(ends[0]);
    if (ends[1] >= 0)
      close(ends[1]);
    return;
  }
  theWakeReader = ends[0];
  theWakeWriter.store(ends[1]);
}

void drain() {
  char bytes[64];
  if (theWakeReader >= 0)
    while (read(theWakeReader, bytes, sizeof bytes) > 0) {
    }
}

} // namespace

void zyrInterrupt_request(int signal) {
  const int saved = errno;
  int none = 0;
  theSignal.compare_exchange_strong(none, signal > 0 ? signal : SIGINT);
  const int fd = theWakeWriter.load();
  if (fd >= 0) {
    const char byte = 1;
    // A full pipe wakes the waits as well as one more byte would.
    if (write(fd, &byte, 1) < 0) {
    }
  }
  errno = saved;
}

int zyrInterrupt_signal() { return theSignal.load(); }

void zyrInterrupt_clear() {
  theSignal.store(0);
  drain();
}

int zyrInterrupt_waitReadable(int fd) {
  std::call_once(theWakeMade, makeWake);
  for (;;) {
    // Looked at once the pipe exists: a request made before it was there is seen here, one made
    // after it wakes the poll.
    if (theSignal.load() != 0)
      return 0;
    struct pollfd watched[2] = {{fd, POLLIN, 0}, {theWakeReader, POLLIN, 0}};
    const int n = poll(watched, theWakeReader >= 0 ? 2 : 1, -1);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0 || watched[0].revents != 0)
      return theSignal.load() != 0 ? 0 : 1;
    // Woken without a request in force: bytes of one that was cleared.
    if (theSignal.load() == 0)
      drain();
  }
}

const char *zyrInterrupt_signalName(int signal) {
  switch (signal) {
  case SIGINT:
    return "SIGINT";
  case SIGTERM:
    return "SIGTERM";
  case SIGHUP:
    return "SIGHUP";
  case SIGQUIT:
    return "SIGQUIT";
  default:
    return "a signal";
  }
}
