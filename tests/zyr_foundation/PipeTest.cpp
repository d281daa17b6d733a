#include "Pipe.h"
#include "TestSupport.h"
#include "zyrCString.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>

namespace {

struct PipeGuard {
  Pipe *pipe = Pipe_new();
  ~PipeGuard() { Pipe_delete(pipe); }
};

std::string take(char *text) {
  std::string out = text ? text : "<NULL>";
  zyrCString_free(text);
  return out;
}

TEST(Pipe, TypedValuesRoundTripInTheirRawBytes) {
  PipeGuard p;
  ASSERT_NE(p.pipe, nullptr);
  EXPECT_EQ(Pipe_putInt(p.pipe, -123456), 1);
  EXPECT_EQ(Pipe_putFloat(p.pipe, 1.5f), 1);
  EXPECT_EQ(Pipe_putDouble(p.pipe, -2.25e300), 1);
  EXPECT_EQ(Pipe_putString(p.pipe, "abc"), 1);
  // The wire: 4 + 4 + 8 bytes, then length 4 and "abc\0".
  unsigned char raw[24];
  ASSERT_EQ(Pipe_readFully(p.pipe, raw, sizeof raw), 24);
  int32_t i;
  float f;
  double d;
  std::memcpy(&i, raw, 4);
  std::memcpy(&f, raw + 4, 4);
  std::memcpy(&d, raw + 8, 8);
  EXPECT_EQ(i, -123456);
  EXPECT_EQ(f, 1.5f);
  EXPECT_EQ(d, -2.25e300);
  int32_t length;
  std::memcpy(&length, raw + 16, 4);
  EXPECT_EQ(length, 4);
  EXPECT_EQ(std::memcmp(raw + 20, "abc", 4), 0);

  EXPECT_EQ(Pipe_putFloat(p.pipe, -0.75f), 1);
  float g = 0.0f;
  EXPECT_EQ(Pipe_getFloat(p.pipe, &g), 1);
  EXPECT_EQ(g, -0.75f);
  EXPECT_EQ(Pipe_isGood(p.pipe), 1);

  EXPECT_EQ(Pipe_putString(p.pipe, ""), 1);
  char *text = nullptr;
  EXPECT_EQ(Pipe_getString(p.pipe, &text), 1);
  EXPECT_EQ(take(text), "");

  const int32_t ints[3] = {1, -2, 3};
  const double doubles[2] = {0.1, 1e-300};
  EXPECT_EQ(Pipe_putIntArray(p.pipe, ints, 3), 1);
  EXPECT_EQ(Pipe_putDoubleArray(p.pipe, doubles, 2), 1);
  EXPECT_EQ(Pipe_putFloatArray(p.pipe, nullptr, 0), 1);
  int32_t gotInts[3] = {0}, count = -1;
  double gotDoubles[2] = {0};
  float gotFloats[1];
  EXPECT_EQ(Pipe_getIntArray(p.pipe, gotInts, 3, &count), 1);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(gotInts[1], -2);
  EXPECT_EQ(Pipe_getDoubleArray(p.pipe, gotDoubles, 2, &count), 1);
  EXPECT_EQ(gotDoubles[1], 1e-300);
  EXPECT_EQ(Pipe_getFloatArray(p.pipe, gotFloats, 1, &count), 1);
  EXPECT_EQ(count, 0);
}

TEST(Pipe, ReceivesRefuseCountsBeyondTheCapacityOrNegative) {
  PipeGuard p;
  const char bytes[10] = "123456789";
  EXPECT_EQ(Pipe_putBytes(p.pipe, bytes, 10), 1);
  char small[4];
  int32_t count = 0;
  EXPECT_EQ(Pipe_getBytes(p.pipe, small, sizeof small, &count), 0);
  EXPECT_EQ(count, 10);
  char rest[10];
  EXPECT_EQ(Pipe_readFully(p.pipe, rest, 10), 10); // left unread, not written past small

  EXPECT_EQ(Pipe_putInt(p.pipe, -5), 1);
  EXPECT_EQ(Pipe_getBytes(p.pipe, small, sizeof small, &count), 0);
  EXPECT_EQ(count, -5);

  // A string length that is negative or absurd claims no memory and gives no string.
  for (int32_t length : {-1, 0, INT32_MAX}) {
    EXPECT_EQ(Pipe_putInt(p.pipe, length), 1);
    char *text = reinterpret_cast<char *>(1);
    EXPECT_EQ(Pipe_getString(p.pipe, &text), 0);
    EXPECT_EQ(text, nullptr);
  }
}

TEST(Pipe, TransfersLoopOverPiecesAndStopAtTheEnd) {
  PipeGuard p;
  // A string larger than the pipe's buffer, written while the reader takes it in pieces.
  std::string big(1 << 20, 'q');
  big[12345] = 'Z';
  std::thread writer([&] {
    EXPECT_EQ(Pipe_putString(p.pipe, big.c_str()), 1);
    // A length promising more than follows, then the end.
    EXPECT_EQ(Pipe_putInt(p.pipe, 100), 1);
    EXPECT_EQ(Pipe_write(p.pipe, "short", 5), 1);
    Pipe_closeWrite(p.pipe);
  });
  char *text = nullptr;
  EXPECT_EQ(Pipe_getString(p.pipe, &text), 1);
  EXPECT_EQ(take(text), big);
  EXPECT_EQ(Pipe_getString(p.pipe, &text), 0);
  EXPECT_EQ(take(text), "short");
  writer.join();
  int32_t value;
  EXPECT_EQ(Pipe_getInt(p.pipe, &value), 0);
  EXPECT_EQ(Pipe_getWriteFd(p.pipe), -1);
}

TEST(Pipe, WriteToAGoneReaderFailsWithoutSignal) {
  struct sigaction before;
  ASSERT_EQ(sigaction(SIGPIPE, nullptr, &before), 0);
  PipeGuard p;
  Pipe_closeRead(p.pipe);
  EXPECT_EQ(Pipe_getReadFd(p.pipe), -1);
  EXPECT_EQ(Pipe_putInt(p.pipe, 1), 0);
  EXPECT_EQ(p.pipe->m_errno, EPIPE);
  EXPECT_EQ(take(Pipe_getErrorString(p.pipe)), std::strerror(EPIPE));
  // Nothing left pending, disposition and mask unchanged.
  sigset_t pending, mask;
  sigpending(&pending);
  EXPECT_FALSE(sigismember(&pending, SIGPIPE));
  pthread_sigmask(SIG_SETMASK, nullptr, &mask);
  EXPECT_FALSE(sigismember(&mask, SIGPIPE));
  struct sigaction after;
  ASSERT_EQ(sigaction(SIGPIPE, nullptr, &after), 0);
  EXPECT_EQ(after.sa_handler, before.sa_handler);
}

TEST(Pipe, ExistingDescriptorsAndPrint) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  Pipe *reader = Pipe_newExisting(fds[0], 0);
  Pipe *writer = Pipe_newExisting(fds[1], 1);
  EXPECT_EQ(Pipe_newExisting(fds[0], 2), nullptr);
  EXPECT_EQ(Pipe_getReadFd(reader), fds[0]);
  EXPECT_EQ(Pipe_getWriteFd(reader), -1);
  EXPECT_EQ(fcntl(fds[0], F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
  EXPECT_EQ(Pipe_putDouble(writer, 3.0), 1);
  double d = 0;
  EXPECT_EQ(Pipe_getDouble(reader, &d), 1);
  EXPECT_EQ(d, 3.0);

  char *printed = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&printed, &size);
  Pipe_print(writer, stream);
  std::fclose(stream);
  const std::string rule = "---------------------------------------\n";
  std::string expected = rule + "Pipe: " + std::to_string(0) + "\n\n";
  std::string text(printed);
  std::free(printed);
  text.replace(text.find("Pipe: ") + 6, text.find('\n', text.find("Pipe: ")) - text.find("Pipe: ") - 6, "0");
  EXPECT_EQ(text, expected + "m_open[0] = 0\nm_open[1] = 1\n\nm_fifo[0] = -1\nm_fifo[1] = " + std::to_string(fds[1]) +
                      "\n\nm_hRead   = -1\nm_hWrite  = -1\n\nm_errno   = 0\n" + rule);
  Pipe_delete(reader);
  Pipe_delete(writer);
  EXPECT_EQ(fcntl(fds[0], F_GETFD), -1); // closed with its record
}

TEST(Pipe, NewPipesAreCloseOnExec) {
  PipeGuard p;
  EXPECT_EQ(fcntl(Pipe_getReadFd(p.pipe), F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
  EXPECT_EQ(fcntl(Pipe_getWriteFd(p.pipe), F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
}

// In a child: a pipe takes over standard input (its reader reads what stdin had; stdin closes),
// another takes over standard output (its writer writes where stdout went). 0 when all holds.
int pipesTakeTheStandardStreams() {
  int in[2];
  int out[2];
  if (pipe(in) != 0 || pipe(out) != 0 || write(in[1], "typed", 5) != 5)
    return 2;
  close(in[1]);
  dup2(in[0], 0);
  close(in[0]);
  PipeGuard takesIn;
  Pipe *reader = takesIn.pipe;
  Pipe_takeStdIn(reader);
  char got[8] = "";
  if (Pipe_readFully(reader, got, 5) != 5 || std::memcmp(got, "typed", 5) != 0)
    return 3;
  if (fcntl(0, F_GETFD) != -1 || Pipe_getWriteFd(reader) != -1)
    return 4;
  std::fflush(stdout);
  dup2(out[1], 1);
  close(out[1]);
  PipeGuard takesOut;
  Pipe *writer = takesOut.pipe;
  Pipe_takeStdOut(writer);
  if (Pipe_write(writer, "shown", 5) != 1)
    return 5;
  char seen[8] = "";
  if (read(out[0], seen, 5) != 5 || std::memcmp(seen, "shown", 5) != 0)
    return 6;
  return Pipe_getReadFd(writer) == -1 ? 0 : 7;
}

TEST(PipeDeathTest, StandardStreamPlumbing) {
  // This process's standard output into a pipe and back out of it.
  EXPECT_EXIT(
      {
        Pipe *pipe = Pipe_new();
        const int parentEnd = dup(Pipe_getReadFd(pipe)); // what the parent would hold
        Pipe_readFromStdOut(pipe);
        std::printf("to the pipe\n");
        std::fflush(stdout);
        char seen[32] = "";
        if (read(parentEnd, seen, sizeof seen) != 12 || std::strncmp(seen, "to the pipe\n", 12) != 0)
          std::exit(2);
        Pipe *reader = Pipe_new();
        Pipe_writeToStdIn(reader); // stdin now reads an empty pipe whose writer is closed
        char line[32] = "";
        const bool atEnd = std::fgets(line, sizeof line, stdin) == nullptr;
        std::exit(atEnd ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_DEATH(Pipe_readFromStdOut(Pipe_newExisting(0, 0)), "this->m_open\\[1\\]");

  // The other way round: a pipe takes over this process's standard input or output.
  EXPECT_EXIT(std::exit(pipesTakeTheStandardStreams()), testing::ExitedWithCode(0), "");
}

} // namespace
