#include "Pipe.h"

#include "ConduitWire.h"
#include "zyrAssert.h"
#include "zyrCString.h"
#include "zyrInterrupt.h"
#include "zyrMemory.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace {

// Writes everything with SIGPIPE blocked for this thread, so that a reader that went away gives
// EPIPE instead of ending the process. A SIGPIPE raised by our own write is taken off again; the
// host's disposition and mask are left as they were.
int writeAll(int fd, const void *bytes, int64_t count, int32_t *error) {
  sigset_t pipeSignal, previous;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
  const bool wasBlocked = sigismember(&previous, SIGPIPE) == 1;
  const char *at = static_cast<const char *>(bytes);
  int ok = 1;
  while (count > 0) {
    size_t piece = static_cast<size_t>(std::min<int64_t>(count, INT64_C(1) << 30));
    ssize_t written = ::write(fd, at, piece);
    if (written < 0) {
      if (errno == EINTR)
        continue;
      *error = errno;
      ok = 0;
      if (errno == EPIPE && !wasBlocked) {
        struct timespec none = {0, 0};
        while (sigtimedwait(&pipeSignal, nullptr, &none) < 0 && errno == EINTR) {
        }
      }
      break;
    }
    at += written;
    count -= written;
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return ok;
}

// Waits for the other process as long as the program has not asked for the work in hand to be
// abandoned (zyrInterrupt.h): then the read fails with EINTR.
int64_t readSome(int fd, void *buffer, int64_t count) {
  size_t piece = static_cast<size_t>(std::min<int64_t>(count, INT64_C(1) << 30));
  for (;;) {
    if (!zyrInterrupt_waitReadable(fd)) {
      errno = EINTR;
      return -1;
    }
    ssize_t got = ::read(fd, buffer, piece);
    if (got >= 0 || errno != EINTR)
      return got;
  }
}

int64_t readAll(int fd, void *buffer, int64_t count, int32_t *error) {
  char *at = static_cast<char *>(buffer);
  int64_t total = 0;
  while (total < count) {
    int64_t got = readSome(fd, at + total, count - total);
    if (got < 0) {
      *error = errno;
      return -1;
    }
    if (got == 0)
      break;
    total += got;
  }
  return total;
}

int putRaw(Pipe *pipe, const void *bytes, int64_t count) { return Pipe_write(pipe, bytes, count); }

int getRaw(Pipe *pipe, void *bytes, int64_t count) { return Pipe_readFully(pipe, bytes, count) == count ? 1 : 0; }

// The count, then count elements of the given size.
int putCounted(Pipe *pipe, const void *elements, int32_t count, int64_t size) {
  if (count < 0 || (count > 0 && elements == nullptr))
    return 0;
  if (!Pipe_putInt(pipe, count))
    return 0;
  return putRaw(pipe, elements, count * size);
}

int getCounted(Pipe *pipe, void *elements, int32_t capacity, int32_t *count, int64_t size) {
  int32_t n = 0;
  if (count != nullptr)
    *count = 0;
  if (!Pipe_getInt(pipe, &n))
    return 0;
  if (count != nullptr)
    *count = n;
  if (n < 0 || n > capacity || (n > 0 && elements == nullptr))
    return 0;
  return getRaw(pipe, elements, n * size);
}

void closeEnd(Pipe *pipe, int end) {
  if (!pipe->m_open[end])
    return;
  int fd = pipe->m_fifo[end];
  if (fd == 1)
    std::fflush(stdout);
  else if (fd == 2)
    std::fflush(stderr);
  ::close(fd);
  pipe->m_open[end] = 0;
  pipe->m_fifo[end] = -1;
}

int64_t readPipe(void *pipe, char *buffer, int64_t count) {
  return Pipe_readFully(static_cast<Pipe *>(pipe), buffer, count);
}

} // namespace

Pipe *Pipe_new() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0)
    return nullptr;
  Pipe *pipe = zyrMemory_allocateZeroedArray<Pipe>(1, __func__);
  pipe->m_open[0] = pipe->m_open[1] = 1;
  pipe->m_fifo[0] = pipe->m_hRead = fds[0];
  pipe->m_fifo[1] = pipe->m_hWrite = fds[1];
  return pipe;
}

Pipe *Pipe_newExisting(int32_t descriptor, int32_t end) {
  if (descriptor < 0 || (end != 0 && end != 1))
    return nullptr;
  if (descriptor > 2) {
    int flags = fcntl(descriptor, F_GETFD);
    if (flags >= 0)
      fcntl(descriptor, F_SETFD, flags | FD_CLOEXEC);
  }
  Pipe *pipe = zyrMemory_allocateZeroedArray<Pipe>(1, __func__);
  pipe->m_fifo[0] = pipe->m_fifo[1] = -1;
  pipe->m_hRead = pipe->m_hWrite = -1;
  pipe->m_open[end] = 1;
  pipe->m_fifo[end] = descriptor;
  return pipe;
}

void Pipe_delete(Pipe *pipe) {
  if (pipe == nullptr)
    return;
  closeEnd(pipe, 0);
  closeEnd(pipe, 1);
  zyrMemory_free(pipe, __func__);
}

void Pipe_print(const Pipe *pipe, FILE *stream) {
  const char rule[] = "---------------------------------------\n";
  std::fprintf(stream, "%s", rule);
  std::fprintf(stream, "Pipe: %p\n\n", static_cast<const void *>(pipe));
  std::fprintf(stream, "m_open[0] = %d\n", pipe->m_open[0]);
  std::fprintf(stream, "m_open[1] = %d\n\n", pipe->m_open[1]);
  std::fprintf(stream, "m_fifo[0] = %d\n", pipe->m_fifo[0]);
  std::fprintf(stream, "m_fifo[1] = %d\n\n", pipe->m_fifo[1]);
  std::fprintf(stream, "m_hRead   = %d\n", pipe->m_hRead);
  std::fprintf(stream, "m_hWrite  = %d\n\n", pipe->m_hWrite);
  std::fprintf(stream, "m_errno   = %d\n", pipe->m_errno);
  std::fprintf(stream, "%s", rule);
}

int32_t Pipe_getReadFd(const Pipe *pipe) { return pipe != nullptr && pipe->m_open[0] ? pipe->m_fifo[0] : -1; }

int32_t Pipe_getWriteFd(const Pipe *pipe) { return pipe != nullptr && pipe->m_open[1] ? pipe->m_fifo[1] : -1; }

int Pipe_isGood(const Pipe *) { return 1; }

int Pipe_write(Pipe *pipe, const void *bytes, int64_t count) {
  if (pipe == nullptr || count < 0 || (count > 0 && bytes == nullptr))
    return 0;
  if (!pipe->m_open[1]) {
    pipe->m_errno = EBADF;
    return 0;
  }
  return writeAll(pipe->m_fifo[1], bytes, count, &pipe->m_errno);
}

int64_t Pipe_read(Pipe *pipe, void *buffer, int64_t count) {
  if (pipe == nullptr || count < 0 || (count > 0 && buffer == nullptr))
    return -1;
  if (!pipe->m_open[0]) {
    pipe->m_errno = EBADF;
    return -1;
  }
  if (count == 0)
    return 0;
  int64_t got = readSome(pipe->m_fifo[0], buffer, count);
  if (got < 0)
    pipe->m_errno = errno;
  return got;
}

int64_t Pipe_readFully(Pipe *pipe, void *buffer, int64_t count) {
  if (pipe == nullptr || count < 0 || (count > 0 && buffer == nullptr))
    return -1;
  if (!pipe->m_open[0]) {
    pipe->m_errno = EBADF;
    return -1;
  }
  return readAll(pipe->m_fifo[0], buffer, count, &pipe->m_errno);
}

int Pipe_putInt(Pipe *pipe, int32_t value) { return putRaw(pipe, &value, sizeof value); }
int Pipe_putFloat(Pipe *pipe, float value) { return putRaw(pipe, &value, sizeof value); }
int Pipe_putDouble(Pipe *pipe, double value) { return putRaw(pipe, &value, sizeof value); }
int Pipe_getInt(Pipe *pipe, int32_t *value) { return getRaw(pipe, value, sizeof *value); }
int Pipe_getFloat(Pipe *pipe, float *value) { return getRaw(pipe, value, sizeof *value); }
int Pipe_getDouble(Pipe *pipe, double *value) { return getRaw(pipe, value, sizeof *value); }

int Pipe_putBytes(Pipe *pipe, const void *bytes, int32_t count) { return putCounted(pipe, bytes, count, 1); }

int Pipe_getBytes(Pipe *pipe, void *buffer, int32_t capacity, int32_t *count) {
  return getCounted(pipe, buffer, capacity, count, 1);
}

int Pipe_putString(Pipe *pipe, const char *text) {
  if (text == nullptr)
    text = "";
  int64_t length = static_cast<int64_t>(std::strlen(text)) + 1;
  if (length > Pipe_maximumTransfer)
    return 0;
  if (!Pipe_putInt(pipe, static_cast<int32_t>(length)))
    return 0;
  return putRaw(pipe, text, length);
}

int Pipe_getString(Pipe *pipe, char **text) {
  if (text == nullptr)
    return 0;
  *text = nullptr;
  int32_t length = 0;
  if (!Pipe_getInt(pipe, &length) || length < 1 || length > Pipe_maximumTransfer)
    return 0;
  int64_t total = 0;
  *text = ConduitWire_receiveText(length, readPipe, pipe, __func__, &total);
  return total == length ? 1 : 0;
}

int Pipe_putIntArray(Pipe *pipe, const int32_t *values, int32_t count) {
  return putCounted(pipe, values, count, sizeof *values);
}
int Pipe_putFloatArray(Pipe *pipe, const float *values, int32_t count) {
  return putCounted(pipe, values, count, sizeof *values);
}
int Pipe_putDoubleArray(Pipe *pipe, const double *values, int32_t count) {
  return putCounted(pipe, values, count, sizeof *values);
}
int Pipe_getIntArray(Pipe *pipe, int32_t *values, int32_t capacity, int32_t *count) {
  return getCounted(pipe, values, capacity, count, sizeof *values);
}
int Pipe_getFloatArray(Pipe *pipe, float *values, int32_t capacity, int32_t *count) {
  return getCounted(pipe, values, capacity, count, sizeof *values);
}
int Pipe_getDoubleArray(Pipe *pipe, double *values, int32_t capacity, int32_t *count) {
  return getCounted(pipe, values, capacity, count, sizeof *values);
}

void Pipe_closeRead(Pipe *pipe) {
  if (pipe != nullptr)
    closeEnd(pipe, 0);
}

void Pipe_closeWrite(Pipe *pipe) {
  if (pipe != nullptr)
    closeEnd(pipe, 1);
}

void Pipe_writeToStdIn(Pipe *pipe) {
  if (pipe == nullptr || !pipe->m_open[0])
    assert_flagError(__func__, __FILE__, __LINE__, "this->m_open[0]");
  closeEnd(pipe, 1);
  if (pipe->m_fifo[0] != 0)
    dup2(pipe->m_fifo[0], 0);
}

void Pipe_readFromStdOut(Pipe *pipe) {
  if (pipe == nullptr || !pipe->m_open[1])
    assert_flagError(__func__, __FILE__, __LINE__, "this->m_open[1]");
  closeEnd(pipe, 0);
  std::fflush(stdout);
  std::fflush(stderr);
  if (pipe->m_fifo[1] != 1)
    dup2(pipe->m_fifo[1], 1);
  if (pipe->m_fifo[1] != 2)
    dup2(pipe->m_fifo[1], 2);
}

void Pipe_takeStdIn(Pipe *pipe) {
  if (pipe == nullptr)
    return;
  closeEnd(pipe, 1);
  if (pipe->m_open[0] && pipe->m_fifo[0] != 0) {
    dup3(0, pipe->m_fifo[0], O_CLOEXEC);
    ::close(0);
  }
}

void Pipe_takeStdOut(Pipe *pipe) {
  if (pipe == nullptr)
    return;
  closeEnd(pipe, 0);
  std::fflush(stdout);
  if (pipe->m_open[1] && pipe->m_fifo[1] != 1) {
    dup3(1, pipe->m_fifo[1], O_CLOEXEC);
    dup2(2, 1);
  }
}

char *Pipe_getErrorString(const Pipe *pipe) {
  char buffer[256];
  const char *text = strerror_r(pipe != nullptr ? pipe->m_errno : 0, buffer, sizeof buffer);
  return zyrCString_clone(text);
}
