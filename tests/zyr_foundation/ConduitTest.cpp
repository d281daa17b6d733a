#include "Conduit.h"
#include "ErrorTestSupport.h"
#include "Pipe.h"
#include "ProcessStartup.h"
#include "Socket.h"
#include "TestSupport.h"
#include "zyrCString.h"
#include "zyrMemory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

namespace {

const std::string kHelper = std::string(ZYR_TEST_HELPER_DIR) + "/conduit_peer";

std::string take(char *text) {
  std::string out = text ? text : "<NULL>";
  zyrCString_free(text);
  return out;
}

std::string printed(const Conduit *conduit) {
  char *text = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&text, &size);
  Conduit_print(conduit, stream);
  std::fclose(stream);
  std::string out = std::regex_replace(text, std::regex("= (0x[0-9a-f]+|\\(nil\\))"), "= @P@");
  std::free(text);
  return out;
}

// Starts the helper the way the process layer does: its arguments, the conduit's words last
// (then any further words), standard streams and inherited descriptors from the conduit.
pid_t spawn(Conduit *conduit, const std::vector<std::string> &arguments, const std::vector<std::string> &after = {}) {
  std::vector<std::string> words = {kHelper};
  words.insert(words.end(), arguments.begin(), arguments.end());
  int32_t noOfWords = 0;
  char **conduitWords = Conduit_getArgumentWords(conduit, &noOfWords);
  for (int32_t i = 0; i < noOfWords; ++i)
    words.push_back(conduitWords[i]);
  zyrCStringArray_free(conduitWords, static_cast<uint64_t>(noOfWords));
  words.insert(words.end(), after.begin(), after.end());
  std::vector<char *> argv;
  for (std::string &word : words)
    argv.push_back(word.data());
  argv.push_back(nullptr);
  ProcessStartup *startup = ProcessStartup_new();
  Conduit_setChildHandles(conduit, startup);
  pid_t pid = fork();
  if (pid == 0) {
    ProcessStartup_applyInChild(startup);
    execv(argv[0], argv.data());
    zyrtest::leaveChild(127);
  }
  ProcessStartup_delete(startup);
  EXPECT_EQ(Conduit_afterSpawn(conduit), 1);
  return pid;
}

int finish(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid)
    return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class ConduitTest : public zyrtest::ErrorTest {
protected:
  void SetUp() override {
    ErrorTest::SetUp();
    m_previousLimit = Conduit_setWaitLimit(10000);
    ASSERT_NE(getcwd(m_previousDir, sizeof m_previousDir), nullptr);
    ASSERT_EQ(chdir(m_dir.path().c_str()), 0); // port files are written in the working directory
  }
  void TearDown() override {
    EXPECT_EQ(chdir(m_previousDir), 0);
    Conduit_setWaitLimit(m_previousLimit);
    ErrorTest::TearDown();
  }
  std::vector<int32_t> codes() {
    int32_t n = 0;
    zyrError **errors = nullptr;
    zyrErrorManager_getErrors(manager(), &n, &errors);
    std::vector<int32_t> out;
    for (int32_t i = 0; i < n; ++i)
      out.push_back(zyrError_getCode(errors[i]));
    std::free(errors);
    return out;
  }
  // Sends one value of each type, and arrays over pipes.
  void sendSample(Conduit *conduit, bool arrays) {
    EXPECT_GT(Conduit_putInt(conduit, -77), 0);
    EXPECT_GT(Conduit_putFloat(conduit, 0.1f), 0);
    EXPECT_GT(Conduit_putDouble(conduit, 1.0 / 3.0), 0);
    EXPECT_GT(Conduit_putString(conduit, "a string, with: separators"), 0);
    EXPECT_GT(Conduit_putBytes(conduit, "\0\1\2\3", 4), 0);
    if (arrays) {
      const int32_t ints[] = {1, 2, 3};
      const float floats[] = {0.5f};
      const double doubles[] = {1e-310, 2.0};
      EXPECT_GT(Conduit_putIntArray(conduit, ints, 3), 0);
      EXPECT_GT(Conduit_putFloatArray(conduit, floats, 1), 0);
      EXPECT_GT(Conduit_putDoubleArray(conduit, doubles, 2), 0);
    }
  }
  void expectSample(Conduit *conduit, bool arrays) {
    int32_t i = 0;
    float f = 0;
    double d = 0;
    char *text = nullptr;
    char bytes[8];
    int32_t count = 0;
    EXPECT_GT(Conduit_getInt(conduit, &i), 0);
    EXPECT_GT(Conduit_getFloat(conduit, &f), 0);
    EXPECT_GT(Conduit_getDouble(conduit, &d), 0);
    EXPECT_GT(Conduit_getString(conduit, &text), 0);
    EXPECT_GT(Conduit_getBytes(conduit, bytes, sizeof bytes, &count), 0);
    EXPECT_EQ(i, -77);
    EXPECT_EQ(f, 0.1f);
    EXPECT_EQ(d, 1.0 / 3.0);
    EXPECT_EQ(take(text), "a string, with: separators");
    EXPECT_EQ(count, 4);
    EXPECT_EQ(std::memcmp(bytes, "\0\1\2\3", 4), 0);
    if (arrays) {
      int32_t ints[3];
      float floats[1];
      double doubles[2];
      EXPECT_GT(Conduit_getIntArray(conduit, ints, 3, &count), 0);
      EXPECT_EQ(ints[2], 3);
      EXPECT_GT(Conduit_getFloatArray(conduit, floats, 1, &count), 0);
      EXPECT_EQ(floats[0], 0.5f);
      EXPECT_GT(Conduit_getDoubleArray(conduit, doubles, 2, &count), 0);
      EXPECT_EQ(doubles[0], 1e-310);
    } else {
      int32_t ints[1];
      EXPECT_EQ(Conduit_putIntArray(conduit, ints, 1), 0); // no arrays over sockets
    }
  }
  // The child's remaining arguments as it reports them.
  std::vector<std::string> remainingArguments(Conduit *conduit) {
    int32_t n = 0;
    EXPECT_GT(Conduit_getInt(conduit, &n), 0);
    std::vector<std::string> out;
    for (int32_t k = 0; k < n && k < 20; ++k) {
      char *word = nullptr;
      EXPECT_GT(Conduit_getString(conduit, &word), 0);
      out.push_back(take(word));
    }
    return out;
  }
  void echoThrough(const char *description, bool arrays) {
    Conduit *conduit = Conduit_newBeforeSpawn(description);
    ASSERT_TRUE(Conduit_isGood(conduit)) << description;
    pid_t pid = spawn(conduit, {"echo", "two words"}, {"-flag"});
    sendSample(conduit, arrays);
    expectSample(conduit, arrays);
    EXPECT_EQ(remainingArguments(conduit), (std::vector<std::string>{kHelper, "echo", "two words", "-flag"}));
    EXPECT_EQ(finish(pid), 0) << description;
    Conduit_delete(conduit);
  }

  zyrtest::ScratchDir m_dir;
  char m_previousDir[PATH_MAX];
  int32_t m_previousLimit = 0;
};

// ------------------------------------------------------------ descriptions and arguments

TEST_F(ConduitTest, DescriptionsParseIntoTheirFields) {
  Conduit *conduit = Conduit_newFromDescription("socket: domain=inet, port=4321 host=127.0.0.1 mode=client "
                                                "type=datagram name=conduit.1.2 colour=red");
  EXPECT_EQ(printed(conduit), "m_socket       = @P@\nm_readPipe     = @P@\nm_writePipe    = @P@\n"
                              "m_name         = conduit.1.2\nm_type         = 1 (socket)\n"
                              "m_socketDomain = 1 (inet)\nm_socketType   = 1 (datagram)\n"
                              "m_socketMode   = 1 (client)\nm_socketPort   = 4321\n"
                              "m_socketName   = 127.0.0.1\nm_communicate  = 0\nm_isGood       = 1\n");
  Conduit_delete(conduit);

  // Defaults: a pipe without numbers, a name from the process and a number.
  conduit = Conduit_newFromDescription("anything");
  EXPECT_EQ(conduit->m_type, ConduitPipe);
  EXPECT_TRUE(std::regex_match(conduit->m_name, std::regex("conduit\\." + std::to_string(getpid()) + "\\.[0-9]+")));
  EXPECT_EQ(conduit->m_fd_read, -1);
  Conduit_delete(conduit);
  conduit = Conduit_newFromDescription("socket");
  EXPECT_EQ(conduit->m_socketDomain, ConduitUnix);
  EXPECT_EQ(conduit->m_socketMode, ConduitServer);
  EXPECT_EQ(std::string(conduit->m_socketName), std::string(".socket.") + conduit->m_name);
  Conduit_delete(conduit);

  const std::pair<const char *, std::pair<int, int>> pipes[] = {
      {"pipe: 1.0", {1, 0}}, {"pipe 7.", {7, -1}}, {"pipe .9", {-1, 9}}, {"pipe", {-1, -1}}};
  for (const auto &entry : pipes) {
    conduit = Conduit_newFromDescription(entry.first);
    EXPECT_EQ(conduit->m_isGood, 1);
    EXPECT_EQ(conduit->m_fd_read, entry.second.first) << entry.first;
    EXPECT_EQ(conduit->m_fd_write, entry.second.second) << entry.first;
    Conduit_delete(conduit);
  }
  EXPECT_TRUE(codes().empty());
}

TEST_F(ConduitTest, BadDescriptionsRaiseErrorsAndNeverEndTheProcess) {
  struct Case {
    const char *description;
    std::vector<int32_t> codes;
  };
  const Case cases[] = {{"socket domain=inet port=-1", {10017, 10020}},
                        {"socket domain=inet port=70000", {10017, 10020}},
                        {"socket port=5 domain=inet", {10020}},
                        {"socket domain=inet path=/tmp/x", {10020}},
                        {"socket domain=unix port=5", {10020}},
                        {"socket domain=inet port=12x", {10020}},
                        {"socket domain=ipx", {10020}},
                        {"socket mode=lurker", {10020}},
                        {"socket name=../escape", {10020}},
                        {"socket domain", {10020}},
                        {"pipe 1", {10020}},
                        {"pipe 1.2.3", {10020}}};
  for (const Case &c : cases) {
    zyrErrorManager_clearErrors(manager());
    Conduit *conduit = Conduit_newBeforeSpawn(c.description);
    EXPECT_EQ(Conduit_isGood(conduit), 0) << c.description;
    EXPECT_EQ(take(Conduit_getArgumentString(conduit)), " ");
    EXPECT_EQ(codes(), c.codes) << c.description;
    Conduit_delete(conduit);
    EXPECT_EQ(Conduit_newChildEnd(c.description), nullptr);
  }
  zyrErrorManager_clearErrors(manager());
  Conduit *conduit = Conduit_newBeforeSpawn("socket domain=inet port=-1");
  zyrError *last = zyrError_getLast();
  ASSERT_NE(last, nullptr);
  EXPECT_STREQ(zyrError_getMessage(last), "Invalid conduit type \"socket domain=inet port=-1\".\n");
  Conduit_delete(conduit);
  // A parent accepts only the numbers that join the child's standard streams.
  conduit = Conduit_newBeforeSpawn("pipe 3.4");
  EXPECT_EQ(Conduit_isGood(conduit), 0);
  Conduit_delete(conduit);
}

TEST_F(ConduitTest, ChildArgumentsFollowTheParentsEnd) {
  Conduit *conduit = Conduit_newFromDescription("socket domain=inet mode=client name=conduit.1.2");
  EXPECT_EQ(take(Conduit_getArgumentString(conduit)), "-conduit socket mode=server domain=inet port=0 name=conduit.1.2");
  Conduit_delete(conduit);
  conduit = Conduit_newFromDescription("socket domain=unix path=/tmp/s mode=client name=n");
  EXPECT_EQ(take(Conduit_getArgumentString(conduit)), "-conduit socket mode=server domain=unix path=/tmp/s name=n");
  Conduit_delete(conduit);
  conduit = Conduit_newFromDescription("socket domain=unix path=/tmp/s");
  EXPECT_EQ(take(Conduit_getArgumentString(conduit)), "-conduit socket mode=client domain=unix path=/tmp/s");
  Conduit_delete(conduit);

  conduit = Conduit_newBeforeSpawn("socket domain=inet host=127.0.0.1");
  ASSERT_TRUE(Conduit_isGood(conduit));
  EXPECT_GT(conduit->m_socketPort, 0);
  EXPECT_EQ(take(Conduit_getArgumentString(conduit)),
            "-conduit socket mode=client domain=inet port=" + std::to_string(conduit->m_socketPort));
  Conduit_delete(conduit);

  conduit = Conduit_newBeforeSpawn("pipe: 1.0");
  EXPECT_EQ(Conduit_getArgumentString(conduit), nullptr);
  int32_t n = -1;
  EXPECT_EQ(Conduit_getArgumentWords(conduit, &n), nullptr);
  EXPECT_EQ(n, 0);
  ProcessStartup *startup = ProcessStartup_new();
  EXPECT_EQ(Conduit_setChildHandles(conduit, startup), 1);
  EXPECT_EQ(startup->m_standard[0], Pipe_getReadFd(conduit->m_writePipe));
  EXPECT_EQ(startup->m_standard[1], Pipe_getWriteFd(conduit->m_readPipe));
  EXPECT_EQ(startup->m_standard[2], Pipe_getWriteFd(conduit->m_readPipe));
  EXPECT_EQ(startup->m_noOfInherited, 0);
  ProcessStartup_delete(startup);
  Conduit_delete(conduit);

  conduit = Conduit_newBeforeSpawn("pipe");
  const int32_t childRead = Pipe_getReadFd(conduit->m_writePipe), childWrite = Pipe_getWriteFd(conduit->m_readPipe);
  EXPECT_EQ(take(Conduit_getArgumentString(conduit)),
            "-conduit pipe " + std::to_string(childRead) + "." + std::to_string(childWrite));
  char **words = Conduit_getArgumentWords(conduit, &n);
  ASSERT_EQ(n, 3);
  EXPECT_STREQ(words[0], "-conduit");
  EXPECT_STREQ(words[1], "pipe");
  zyrCStringArray_free(words, 3);
  startup = ProcessStartup_new();
  Conduit_setChildHandles(conduit, startup);
  EXPECT_EQ(startup->m_useStandard, 0);
  EXPECT_EQ(startup->m_noOfInherited, 2);
  ProcessStartup_delete(startup);
  Conduit_delete(conduit);

  // One number: only the other end is a descriptor of its own.
  conduit = Conduit_newBeforeSpawn("pipe: 1.");
  EXPECT_EQ(take(Conduit_getArgumentString(conduit)),
            "-conduit pipe " + std::to_string(Pipe_getReadFd(conduit->m_writePipe)) + ".1");
  Conduit_delete(conduit);
}

TEST_F(ConduitTest, TheChildFindsAndRemovesItsArgument) {
  std::vector<std::string> words = {"prog", "in.txt", "-conduit", "pipe", "5.6", "-x", "y"};
  std::vector<char *> argv;
  for (std::string &w : words)
    argv.push_back(w.data());
  int32_t count = static_cast<int32_t>(argv.size());
  char *description = nullptr;
  EXPECT_EQ(Conduit_findArgument(&count, argv.data(), &description), 1);
  EXPECT_EQ(take(description), "pipe 5.6");
  ASSERT_EQ(count, 4);
  EXPECT_STREQ(argv[2], "-x");
  EXPECT_STREQ(argv[3], "y");

  std::string one = "-conduit socket mode=client domain=inet port=5", bare = "-conduit";
  char *single[] = {one.data()}, *alone[] = {bare.data()};
  count = 1;
  EXPECT_EQ(Conduit_findArgument(&count, single, &description), 1);
  EXPECT_EQ(take(description), " socket mode=client domain=inet port=5");
  count = 1;
  EXPECT_EQ(Conduit_findArgument(&count, alone, &description), 1);
  EXPECT_EQ(take(description), "pipe");
  EXPECT_EQ(count, 0);
  count = 0;
  EXPECT_EQ(Conduit_newFromArgs(&count, alone, nullptr), nullptr);

  // Not found: the default description's child end (here: the standard streams).
  count = 2;
  Conduit *conduit = Conduit_newFromArgs(&count, argv.data(), "pipe 0.1");
  ASSERT_NE(conduit, nullptr);
  EXPECT_EQ(Pipe_getReadFd(conduit->m_readPipe), 0);
  EXPECT_EQ(Pipe_getWriteFd(conduit->m_writePipe), 1);
  conduit->m_readPipe->m_open[0] = conduit->m_writePipe->m_open[1] = 0; // keep our own streams
  Conduit_delete(conduit);
}

TEST_F(ConduitTest, ChildEndsAcceptOnlyPipesAndSocketsAsDescriptors) {
  int file = open(m_dir.file("data").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
  ASSERT_GE(file, 0);
  std::string description = "pipe ." + std::to_string(file);
  EXPECT_EQ(Conduit_newChildEnd(description.c_str()), nullptr);
  EXPECT_EQ(Conduit_newChildEnd("pipe 987.988"), nullptr);
  close(file);
  Pipe *pipe = Pipe_new();
  int readFd = dup(Pipe_getReadFd(pipe)), writeFd = dup(Pipe_getWriteFd(pipe));
  description = "pipe " + std::to_string(readFd) + "." + std::to_string(writeFd);
  Conduit *conduit = Conduit_newChildEnd(description.c_str());
  ASSERT_NE(conduit, nullptr);
  EXPECT_EQ(fcntl(readFd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
  EXPECT_EQ(Conduit_putInt(conduit, 5), 1);
  int32_t value = 0;
  EXPECT_EQ(Conduit_getInt(conduit, &value), 1);
  EXPECT_EQ(value, 5);
  Conduit_delete(conduit);
  Pipe_delete(pipe);
}

TEST_F(ConduitTest, DeletionRemovesOnlyFilesItMade) {
  zyrtest::writeFile("precious", "keep me\n");
  const std::string precious = m_dir.file("precious");
  std::string description = "socket domain=unix path=" + precious;
  Conduit *conduit = Conduit_newBeforeSpawn(description.c_str());
  EXPECT_EQ(Conduit_isGood(conduit), 0); // the path is taken
  Conduit_delete(conduit);
  // A child server told to write its port file over an existing file refuses.
  EXPECT_EQ(Conduit_newChildEnd("socket domain=inet mode=server host=127.0.0.1 name=precious"), nullptr);
  // A client that never wrote the port file leaves it.
  conduit = Conduit_newFromDescription("socket domain=inet mode=client name=precious");
  Conduit_delete(conduit);
  EXPECT_EQ(zyrtest::readFile(precious), "keep me\n");

  // A unix server removes the socket it bound.
  const std::string path = m_dir.file("sock");
  description = "socket domain=unix path=" + path;
  conduit = Conduit_newBeforeSpawn(description.c_str());
  ASSERT_TRUE(Conduit_isGood(conduit));
  struct stat status;
  EXPECT_EQ(lstat(path.c_str(), &status), 0);
  Conduit_delete(conduit);
  EXPECT_NE(lstat(path.c_str(), &status), 0);
}

// ------------------------------------------------------------ reading lines

TEST_F(ConduitTest, LinesComeOneByOneAndMixWithTypedValues) {
  Conduit *conduit = Conduit_newBeforeSpawn("pipe");
  ASSERT_TRUE(Conduit_isGood(conduit));
  // Read what we write: join the parent's write pipe to its read side.
  Pipe *loop = conduit->m_writePipe;
  Pipe_delete(conduit->m_readPipe);
  conduit->m_readPipe = loop;
  const char data[] = "one\ntwo\n";
  ASSERT_EQ(Conduit_write(conduit, data, 8), 1);
  ASSERT_EQ(Conduit_putInt(conduit, 99), 1);
  ASSERT_EQ(Conduit_putLine(conduit, "after"), 1);
  EXPECT_EQ(Conduit_putLine(conduit, nullptr), 0);
  ASSERT_EQ(Conduit_printf(conduit, "%s", "no end"), 1);
  Pipe_closeWrite(loop);
  char *line = nullptr;
  int64_t capacity = 0;
  EXPECT_EQ(Conduit_getline(conduit, &line, &capacity), 3);
  EXPECT_STREQ(line, "one");
  EXPECT_EQ(conduit->m_aheadFill, 8 + 4 + 6 + 6); // one read took everything written
  EXPECT_EQ(Conduit_getline(conduit, &line, &capacity), 3);
  EXPECT_STREQ(line, "two");
  int32_t value = 0;
  EXPECT_EQ(Conduit_getInt(conduit, &value), 1); // from the read-ahead
  EXPECT_EQ(value, 99);
  EXPECT_EQ(Conduit_getline(conduit, &line, &capacity), 5);
  EXPECT_STREQ(line, "after");
  EXPECT_EQ(Conduit_getline(conduit, &line, &capacity), 6);
  EXPECT_STREQ(line, "no end");
  EXPECT_EQ(Conduit_getline(conduit, &line, &capacity), -1);
  EXPECT_GE(capacity, 7);
  zyrMemory_free(line, "test");
  conduit->m_readPipe = nullptr;
  Conduit_delete(conduit);
}

// ------------------------------------------------------------ across a process boundary

TEST_F(ConduitTest, PipeConduitCarriesEveryTypeToAChildAndBack) { echoThrough("pipe", true); }

TEST_F(ConduitTest, InetServerConduitWithAChild) { echoThrough("socket domain=inet mode=server host=127.0.0.1", false); }

TEST_F(ConduitTest, UnixServerConduitWithAChild) {
  std::string description = "socket domain=unix path=" + m_dir.file("srv");
  echoThrough(description.c_str(), false);
}

TEST_F(ConduitTest, UnixClientConduitWithAChild) {
  std::string description = "socket domain=unix mode=client path=" + m_dir.file("cli") + " name=conduit.u";
  echoThrough(description.c_str(), false);
}

TEST_F(ConduitTest, InetClientConduitReadsTheChildsPortFile) {
  Conduit *conduit = Conduit_newBeforeSpawn("socket domain=inet mode=client name=conduit.7.8");
  ASSERT_TRUE(Conduit_isGood(conduit));
  pid_t pid = spawn(conduit, {"echo"});
  ASSERT_TRUE(Conduit_isGood(conduit));
  EXPECT_GT(conduit->m_socketPort, 0);
  // The child's server wrote the port it bound; it removes the file when it ends.
  EXPECT_EQ(zyrtest::readFile("conduit.7.8"), "port = " + std::to_string(conduit->m_socketPort) + "\n");
  sendSample(conduit, false);
  expectSample(conduit, false);
  EXPECT_EQ(remainingArguments(conduit).size(), 2u);
  EXPECT_EQ(finish(pid), 0);
  Conduit_delete(conduit);
  EXPECT_FALSE(zyrtest::readFile("conduit.7.8").size() > 0);
  EXPECT_NE(access("conduit.7.8", F_OK), 0);
}

TEST_F(ConduitTest, DatagramPeersWithAChild) {
  echoThrough("socket domain=inet type=datagram mode=peer name=conduit.peer", false);
  EXPECT_NE(access("conduit.peer", F_OK), 0);
}

TEST_F(ConduitTest, StandardStreamConduitJoinsTheChildsStreams) {
  Conduit *conduit = Conduit_newBeforeSpawn("pipe: 1.0");
  ASSERT_TRUE(Conduit_isGood(conduit));
  pid_t pid = spawn(conduit, {"stdio"});
  EXPECT_EQ(Conduit_putLine(conduit, "hello"), 1);
  EXPECT_EQ(Conduit_printf(conduit, "line %d\n", 2), 1);
  Pipe_closeWrite(conduit->m_writePipe); // the child's end of input
  char *line = nullptr;
  int64_t capacity = 4;
  line = static_cast<char *>(zyrMemory_allocate(capacity, "test"));
  std::vector<std::string> lines;
  while (Conduit_getline(conduit, &line, &capacity) >= 0)
    lines.push_back(line);
  zyrMemory_free(line, "test");
  EXPECT_EQ(lines, (std::vector<std::string>{"HELLO", "LINE 2", "lines 2"}));
  EXPECT_EQ(finish(pid), 0);
  Conduit_delete(conduit);
}

TEST_F(ConduitTest, AForkedCopyActsAsTheChildOverItsOwnStreams) {
  Conduit *conduit = Conduit_newBeforeSpawn("pipe: 1.0");
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    if (Conduit_redirectStandardStreams(conduit) != 1)
      zyrtest::leaveChild(3);
    char line[64] = "";
    if (std::fgets(line, sizeof line, stdin) == nullptr)
      zyrtest::leaveChild(4);
    std::printf("got %s", line);
    std::fflush(stdout);
    zyrtest::leaveChild(0);
  }
  EXPECT_EQ(Conduit_afterSpawn(conduit), 1);
  EXPECT_EQ(Conduit_putLine(conduit, "word"), 1);
  char *line = nullptr;
  int64_t capacity = 0;
  EXPECT_EQ(Conduit_getline(conduit, &line, &capacity), 8);
  EXPECT_STREQ(line, "got word");
  zyrMemory_free(line, "test");
  EXPECT_EQ(finish(pid), 0);
  Conduit_delete(conduit);
}

TEST_F(ConduitTest, ChildTextLinesIncludingAnUnterminatedLast) {
  Conduit *conduit = Conduit_newBeforeSpawn("pipe");
  pid_t pid = spawn(conduit, {"lines"});
  char *line = nullptr;
  int64_t capacity = 0;
  std::vector<std::pair<int64_t, std::string>> got;
  for (int64_t n; (n = Conduit_getline(conduit, &line, &capacity)) >= 0;)
    got.emplace_back(n, line);
  zyrMemory_free(line, "test");
  const std::vector<std::pair<int64_t, std::string>> expected = {
      {10, "first line"}, {8, "second 2"}, {0, ""}, {300, std::string(300, 'x')}, {4, "tail"}};
  EXPECT_EQ(got, expected);
  EXPECT_EQ(finish(pid), 0);
  Conduit_delete(conduit);
}

TEST_F(ConduitTest, OnlyTheConduitsDescriptorsReachTheChild) {
  Pipe *unrelated = Pipe_new();
  Socket *listener = Socket_newServer(AF_INET, "127.0.0.1", 0, 1);
  Conduit *conduit = Conduit_newBeforeSpawn("pipe");
  const std::string childRead = std::to_string(Pipe_getReadFd(conduit->m_writePipe));
  const std::string childWrite = std::to_string(Pipe_getWriteFd(conduit->m_readPipe));
  pid_t pid = spawn(conduit, {"fds"});
  char *list = nullptr;
  EXPECT_EQ(Conduit_getString(conduit, &list), 1);
  std::vector<std::string> open;
  std::string all = take(list);
  for (size_t at = 0; at < all.size();) {
    size_t end = all.find(' ', at);
    open.push_back(all.substr(at, end == std::string::npos ? end : end - at));
    at = end == std::string::npos ? all.size() : end + 1;
  }
  // Descriptors this process inherited without close-on-exec are not ours to judge: look at
  // those of the library.
  auto has = [&open](int fd) { return std::find(open.begin(), open.end(), std::to_string(fd)) != open.end(); };
  EXPECT_TRUE(has(std::stoi(childRead)) && has(std::stoi(childWrite))) << all;
  EXPECT_FALSE(has(Pipe_getReadFd(unrelated)) || has(Pipe_getWriteFd(unrelated)) || has(Socket_getFd(listener)))
      << all;
  EXPECT_FALSE(has(Pipe_getReadFd(conduit->m_readPipe)) || has(Pipe_getWriteFd(conduit->m_writePipe))) << all;
  EXPECT_EQ(finish(pid), 0);
  // The parent closed the child's ends once the child ran.
  EXPECT_EQ(Pipe_getReadFd(conduit->m_writePipe), -1);
  EXPECT_EQ(Pipe_getWriteFd(conduit->m_readPipe), -1);
  Conduit_delete(conduit);
  Socket_delete(listener);
  Pipe_delete(unrelated);
}

TEST_F(ConduitTest, AChildThatIsGoneGivesErrorsNotDeath) {
  Conduit *conduit = Conduit_newBeforeSpawn("pipe");
  pid_t pid = spawn(conduit, {"quit"});
  EXPECT_EQ(finish(pid), 0);
  std::string big(1 << 17, 'z');
  EXPECT_EQ(Conduit_putString(conduit, big.c_str()), 0);
  EXPECT_EQ(conduit->m_writePipe->m_errno, EPIPE);
  int32_t value;
  EXPECT_EQ(Conduit_getInt(conduit, &value), 0);
  char *line = nullptr;
  int64_t capacity = 0;
  EXPECT_EQ(Conduit_getline(conduit, &line, &capacity), -1);
  Conduit_delete(conduit);

  conduit = Conduit_newBeforeSpawn("socket domain=inet host=127.0.0.1");
  pid = spawn(conduit, {"quit"});
  EXPECT_EQ(finish(pid), 0);
  int64_t result = 0;
  for (int i = 0; i < 20 && result >= 0; ++i)
    result = Conduit_putString(conduit, big.c_str());
  EXPECT_EQ(result, -1);
  Conduit_delete(conduit);
}

TEST_F(ConduitTest, ServerGivesUpWhenNoChildConnects) {
  Conduit_setWaitLimit(100);
  Conduit *conduit = Conduit_newBeforeSpawn("socket domain=inet host=127.0.0.1");
  EXPECT_EQ(Conduit_afterSpawn(conduit), 0);
  EXPECT_EQ(Conduit_isGood(conduit), 0);
  Conduit_delete(conduit);
  conduit = Conduit_newBeforeSpawn("socket domain=inet mode=client name=conduit.none");
  EXPECT_EQ(Conduit_afterSpawn(conduit), 0);
  Conduit_delete(conduit);
}

// ------------------------------------------------------------ error displays

TEST_F(ConduitTest, ErrorDisplaysWriteIntoAConduit) {
  Conduit *conduit = Conduit_newBeforeSpawn("pipe");
  int32_t handle = -1;
  ASSERT_EQ(zyrErrorManager_addConduitDisplay(manager(), 2, conduit, &handle), 1);
  zyrError *error = zyrError_new(ZYR_U_INVALID_INPUT, "someFunction", "file.cpp", 12);
  zyrError_addMessage(error, "Shown through the conduit.\n");
  zyrError_publish(error);
  zyrErrorManager_removeDisplay(manager(), handle);
  Pipe_closeWrite(conduit->m_writePipe);
  std::string text;
  char buffer[4096];
  for (int64_t n; (n = Pipe_read(conduit->m_writePipe, buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<size_t>(n));
  EXPECT_NE(text.find("Shown through the conduit.\n"), std::string::npos) << text;
  EXPECT_NE(text.find("someFunction"), std::string::npos);
  Conduit_delete(conduit);
}

// In a child, what happens between fork and exec: standard output joined to a pipe, standard
// error taken from what was standard output (a source that is itself a standard stream), the
// unset standard input on /dev/null, and an inherited descriptor that survives exec. 0 when all
// holds.
int applyStartupInThisProcess() {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0)
    return 2;
  const int kept = open("/dev/null", O_RDONLY | O_CLOEXEC);
  ProcessStartup *startup = ProcessStartup_new();
  ProcessStartup_setStandardStream(startup, 1, out[1]);
  ProcessStartup_setStandardStream(startup, 2, 1);
  ProcessStartup_inherit(startup, kept);
  std::fflush(nullptr);
  const int original = dup(1);
  const int applied = ProcessStartup_applyInChild(startup);
  ProcessStartup_delete(startup);
  if (applied != 1)
    return 3;
  if ((fcntl(kept, F_GETFD) & FD_CLOEXEC) != 0 || (fcntl(1, F_GETFD) & FD_CLOEXEC) != 0)
    return 4;
  char byte = 'x';
  if (read(0, &byte, 1) != 0)
    return 5; // /dev/null
  if (write(1, "out", 3) != 3 || write(2, "E", 1) != 1)
    return 6;
  char seen[4] = "";
  if (read(out[0], seen, 3) != 3 || std::memcmp(seen, "out", 3) != 0)
    return 7;
  // Standard error went where standard output was before, not into the pipe.
  close(out[1]);
  close(1);
  char more = 0;
  return original >= 0 && read(out[0], &more, 1) == 0 ? 0 : 8;
}

TEST(ProcessStartupDeathTest, TheChildJoinsItsStreamsAndKeepsWhatItInherits) {
  EXPECT_EXIT(zyrtest::leaveChild(applyStartupInThisProcess()), testing::ExitedWithCode(0), "");
  ProcessStartup *none = nullptr;
  EXPECT_EQ(ProcessStartup_applyInChild(none), 1);
}

} // namespace
