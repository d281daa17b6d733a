#include "Command.h"
#include "Conduit.h"
#include "ErrorTestSupport.h"
#include "Pipe.h"
#include "Process.h"
#include "TestSupport.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kHelper = std::string(ZYR_TEST_HELPER_DIR) + "/process_child";

Command *helperCommand(std::initializer_list<const char *> arguments) {
  Command *command = Command_new(nullptr, kHelper.c_str(), CommandExplicitPath);
  for (const char *argument : arguments)
    Command_addArgument(command, argument);
  return command;
}

// Every line the child writes until it closes its end.
std::vector<std::string> readLines(Conduit *conduit) {
  std::vector<std::string> lines;
  char *line = nullptr;
  int64_t capacity = 0;
  while (Conduit_getline(conduit, &line, &capacity) >= 0)
    lines.push_back(line);
  zyrMemory_free(line, "readLines");
  return lines;
}

std::vector<int> openDescriptors() {
  std::vector<int> open;
  DIR *directory = opendir("/proc/self/fd");
  int own = dirfd(directory);
  while (dirent *entry = readdir(directory))
    if (entry->d_name[0] != '.' && std::atoi(entry->d_name) != own)
      open.push_back(std::atoi(entry->d_name));
  closedir(directory);
  return open;
}

bool isCollected(pid_t pid) { return waitpid(pid, nullptr, WNOHANG) < 0 && errno == ECHILD; }

char processState(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  size_t close = text.rfind(')');
  return close == std::string::npos || close + 2 >= text.size() ? '?' : text[close + 2];
}

// Runs the command to its end and gives how it ended.
int runToEnd(Command *command, int32_t *how, int32_t *value) {
  Process *process = Process_new(command, nullptr, nullptr);
  if (process == nullptr)
    return -1;
  EXPECT_EQ(Process_wait(process), 1);
  int result = Process_getExitStatus(process, how, value);
  Process_delete(process);
  return result;
}

class EnvGuard {
public:
  EnvGuard(const char *name, const char *value) : m_name(name) {
    const char *old = std::getenv(name);
    m_had = old != nullptr;
    if (m_had)
      m_old = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~EnvGuard() {
    if (m_had)
      setenv(m_name.c_str(), m_old.c_str(), 1);
    else
      unsetenv(m_name.c_str());
  }

private:
  std::string m_name, m_old;
  bool m_had = false;
};

TEST(Process, RedirectionsSendBothStreamsToOneFileAndCloseIt) {
  zyrtest::ScratchDir dir;
  std::string out = dir.file("out.txt");
  Command *command = helperCommand({"out", "hello", "err", "oops", "out", "bye", ">", out.c_str(), "2>&1"});
  std::vector<int> before = openDescriptors();
  Process *process = Process_new(command, nullptr, nullptr);
  ASSERT_NE(process, nullptr);
  EXPECT_EQ(process->m_redirectDescriptor, 0);
  EXPECT_EQ(openDescriptors(), before); // the parent's copy of out.txt is closed
  ASSERT_EQ(Process_wait(process), 1);
  int32_t how = -5, value = -5;
  EXPECT_EQ(Process_getExitStatus(process, &how, &value), 1);
  EXPECT_EQ(how, ProcessExited);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(zyrtest::readFile(out), "hello\noops\nbye\n");
  Process_delete(process);
  Command_delete(command);

  // Input from a file, output appended; the unset standard error is /dev/null.
  std::string in = dir.file("in.txt");
  zyrtest::writeFile(in, "one\ntwo");
  command = helperCommand({"cat", "links", "<", in.c_str(), ">>", out.c_str()});
  int32_t dummy;
  EXPECT_EQ(runToEnd(command, &how, &dummy), 1);
  EXPECT_EQ(zyrtest::readFile(out), "hello\noops\nbye\none\ntwo0=" + in + "\n1=" + out + "\n2=/dev/null\n");
  Command_delete(command);
}

TEST(Process, ArgumentsArriveAsTheyAre) {
  zyrtest::ScratchDir dir;
  std::string out = dir.file("out.txt");
  Command *command = helperCommand({"args", "my file", "\"quoted\""});
  Command_addArgumentString(command, "'a b'  c\"d e\"");
  Command_addArguments(command, ">", out.c_str(), nullptr);
  Command_addLiteralArgument(command, "x > y");
  int32_t how, value;
  EXPECT_EQ(runToEnd(command, &how, &value), 1);
  EXPECT_EQ(zyrtest::readFile(out), "argc=8\n[args]\n[my file]\n[\"quoted\"]\n[a b]\n[c\"d]\n[e\"]\n[x > y]\n");
  Command_delete(command);
}

TEST(Process, ExitStatusIsExamined) {
  int32_t how = 0, value = 0;
  Command *command = helperCommand({"exit", "3"});
  EXPECT_EQ(runToEnd(command, &how, &value), 0);
  EXPECT_EQ(how, ProcessExited);
  EXPECT_EQ(value, 3);
  Command_delete(command);

  command = helperCommand({"abort"});
  EXPECT_EQ(runToEnd(command, &how, &value), 0);
  EXPECT_EQ(how, ProcessSignalled);
  EXPECT_EQ(value, SIGABRT);
  Command_delete(command);

  EXPECT_EQ(Process_getExitStatus(nullptr, &how, &value), 0);
  EXPECT_EQ(how, ProcessUnknown);
}

TEST(Process, KillWaitAndNoChildLeftBehind) {
  Command *command = helperCommand({"sleep", "20000"});
  Process *process = Process_new(command, nullptr, nullptr);
  ASSERT_NE(process, nullptr);
  pid_t pid = process->m_pid;
  char *printed = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&printed, &size);
  Process_print(process, stream);
  std::fclose(stream);
  EXPECT_EQ(std::string(printed), "m_pid = " + std::to_string(pid) + "\n");
  std::free(printed);
  int32_t how = 0, value = 0;
  EXPECT_EQ(Process_getExitStatus(process, &how, &value), 0);
  EXPECT_EQ(how, ProcessRunning);
  Process_kill(process);
  EXPECT_EQ(process->m_pid, 0);
  EXPECT_TRUE(isCollected(pid));
  EXPECT_EQ(Process_getExitStatus(process, &how, &value), 0);
  EXPECT_EQ(how, ProcessSignalled);
  EXPECT_EQ(value, SIGKILL);
  Process_kill(process); // nothing left to end
  EXPECT_EQ(Process_wait(process), 1);
  Process_delete(process);

  // A record deleted while its child runs: the child is collected by a later call once it ends.
  process = Process_new(command, nullptr, nullptr);
  ASSERT_NE(process, nullptr);
  pid = process->m_pid;
  Process_delete(process);
  kill(pid, SIGTERM);
  for (int i = 0; i < 200 && processState(pid) != 'Z'; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(processState(pid), 'Z');
  Command_delete(command);
  command = helperCommand({"exit", "0"});
  EXPECT_EQ(runToEnd(command, &how, &value), 1);
  EXPECT_TRUE(isCollected(pid));
  Command_delete(command);
}

TEST(Process, StandardStreamConduitAndNoInheritedDescriptors) {
  // A descriptor this process opened without close-on-exec must not reach the child either.
  int stray = open("/dev/null", O_RDONLY);
  ASSERT_GE(stray, 0);
  Command *command = helperCommand({"args", "fds", "cat"});
  Conduit *conduit = nullptr;
  Process *process = Process_new(command, "pipe: 1.0", &conduit);
  ASSERT_NE(process, nullptr);
  ASSERT_NE(conduit, nullptr);
  EXPECT_EQ(Conduit_putLine(conduit, "through stdin"), 1);
  Pipe_closeWrite(conduit->m_writePipe);
  std::vector<std::string> lines = readLines(conduit);
  EXPECT_EQ(lines, (std::vector<std::string>{"argc=4", "[args]", "[fds]", "[cat]", "fds: 0 1 2", "through stdin"}));
  EXPECT_EQ(Process_wait(process), 1);
  EXPECT_EQ(Process_getExitStatus(process, nullptr, nullptr), 1);
  Process_delete(process);
  Conduit_delete(conduit);
  Command_delete(command);
  close(stray);
}

TEST(Process, SeveralConduitsOnOneChild) {
  Command *command = helperCommand({"args", "fds", "conduit-echo"});
  const char *descriptions[3] = {"pipe: 1.0", nullptr, "pipe"};
  Conduit *conduits[3] = {nullptr, nullptr, nullptr};
  Process *process = Process_newMultiConduit(command, 3, descriptions, conduits);
  ASSERT_NE(process, nullptr);
  ASSERT_NE(conduits[0], nullptr);
  EXPECT_EQ(conduits[1], nullptr);
  ASSERT_NE(conduits[2], nullptr);
  EXPECT_EQ(Conduit_putLine(conduits[2], "ping"), 1);
  char *line = nullptr;
  int64_t capacity = 0;
  EXPECT_GE(Conduit_getline(conduits[2], &line, &capacity), 0);
  EXPECT_STREQ(line, "echo: ping");
  zyrMemory_free(line, __func__);
  std::vector<std::string> lines = readLines(conduits[0]);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0], "argc=7");
  EXPECT_EQ(lines[4], "[-conduit]");
  EXPECT_EQ(lines[5], "[pipe]");
  // The child keeps exactly the two descriptors named on its command line.
  int childRead = -1, childWrite = -1;
  ASSERT_EQ(std::sscanf(lines[6].c_str(), "[%d.%d]", &childRead, &childWrite), 2);
  EXPECT_GT(childRead, 2);
  EXPECT_GT(childWrite, 2);
  int low = std::min(childRead, childWrite), high = std::max(childRead, childWrite);
  EXPECT_EQ(lines[7], "fds: 0 1 2 " + std::to_string(low) + " " + std::to_string(high));
  EXPECT_EQ(Process_wait(process), 1);
  EXPECT_EQ(Process_getExitStatus(process, nullptr, nullptr), 1);
  Process_delete(process);
  Conduit_delete(conduits[0]);
  Conduit_delete(conduits[2]);
  Command_delete(command);
}

TEST(Process, StartFailures) {
  zyrtest::ScratchDir dir;
  std::vector<int> before = openDescriptors();
  Command *command = Command_new(nullptr, dir.file("missing").c_str(), CommandExplicitPath);
  Conduit *conduit = reinterpret_cast<Conduit *>(&command); // must be replaced
  EXPECT_EQ(Process_new(command, "pipe", &conduit), nullptr);
  EXPECT_EQ(conduit, nullptr);
  Command_delete(command);

  command = Command_new(nullptr, "zyr-no-such-program", CommandOnSearchPath);
  EXPECT_EQ(Process_new(command, nullptr, nullptr), nullptr);
  Command_delete(command);

  // An input file that cannot be opened keeps the child from starting.
  command = helperCommand({"exit", "0", "<", dir.file("absent").c_str()});
  EXPECT_EQ(Process_new(command, nullptr, nullptr), nullptr);
  Command_delete(command);
  EXPECT_EQ(openDescriptors(), before);

  // "<<" opens nothing; the child still starts.
  command = helperCommand({"exit", "0", "<<", "word"});
  int32_t how, value;
  EXPECT_EQ(runToEnd(command, &how, &value), 1);
  Command_delete(command);
}

TEST(Process, RedirectionsParsedInOrder) {
  Command *command = Command_new(nullptr, "x", CommandOnSearchPath);
  Command_addArgumentString(command, "a <in >out junk 2>&1 >> log << > >");
  std::vector<ProcessRedirection> found(static_cast<size_t>(Command_getNoOfIoRedirectArgs(command)));
  int32_t count = Process_parseRedirections(command, found.data());
  // "<in" and ">out" are single words: redirections, but no operator.
  ASSERT_EQ(count, 3);
  EXPECT_EQ(found[0].m_kind, ProcessRedirectErrorToOutput);
  EXPECT_EQ(found[1].m_kind, ProcessRedirectAppend);
  EXPECT_STREQ(found[1].m_file, "log");
  EXPECT_EQ(found[2].m_kind, ProcessRedirectHere);
  EXPECT_STREQ(found[2].m_file, ">");
  Command_delete(command);

  command = Command_new(nullptr, "x", CommandOnSearchPath);
  Command_addArguments(command, "<", "in", ">", "out", nullptr);
  ASSERT_EQ(Process_parseRedirections(command, found.data()), 2);
  EXPECT_EQ(found[0].m_kind, ProcessRedirectInput);
  EXPECT_STREQ(found[0].m_file, "in");
  EXPECT_EQ(found[1].m_kind, ProcessRedirectOutput);
  EXPECT_STREQ(found[1].m_file, "out");
  Command_delete(command);
}

// The console flag is read once per process: each case runs in a fresh one.
TEST(Process, ConsoleFlagFollowsTheVariable) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        unsetenv("ZYR_SHOW_CONSOLES");
        std::exit(Process_showConsoles() == 0 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        setenv("ZYR_SHOW_CONSOLES", "", 1);
        int ok = Process_showConsoles() == 1;
        Process_setShowConsoles(0);
        ok = ok && Process_showConsoles() == 0;
        std::exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  GTEST_FLAG_SET(death_test_style, "fast");
}

TEST(Process, SearchPathAndConsoles) {
  EnvGuard path("PATH", (std::string(ZYR_TEST_HELPER_DIR) + "::/usr/bin:/bin").c_str());
  Command *command = Command_new(nullptr, "process_child", CommandOnSearchPath);
  Command_addArguments(command, "exit", "0", nullptr);
  int32_t how, value;
  EXPECT_EQ(runToEnd(command, &how, &value), 1);
  Command_delete(command);

  // With consoles shown a child without redirections shares our standard streams.
  zyrtest::ScratchDir dir;
  std::string shared = dir.file("shared.txt");
  auto runWithConsoles = [&shared]() {
    int file = open(shared.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(file, 1);
    Process_setShowConsoles(1);
    Command *child = helperCommand({"out", "to the console"});
    int32_t h = 0, v = 0;
    std::exit(runToEnd(child, &h, &v) == 1 ? 0 : 1);
  };
  EXPECT_EXIT(runWithConsoles(), testing::ExitedWithCode(0), "");
  EXPECT_EQ(zyrtest::readFile(shared), "to the console\n");
}

class RunCommandTest : public zyrtest::ErrorTest {};

TEST_F(RunCommandTest, ExitStatusAndEnvironment) {
  zyrtest::ScratchDir dir;
  EnvGuard path("PATH", (std::string(ZYR_TEST_HELPER_DIR) + ":/usr/bin:/bin").c_str());
  std::string out = dir.file("out.txt");
  std::string line = "  process_child   out 'a  b' > " + out;
  EXPECT_EQ(zyrRunCommand(line.c_str()), 1);
  EXPECT_EQ(zyrtest::readFile(out), "a  b\n");
  EXPECT_EQ(zyrRunCommand("process_child exit 7"), 0);
  EXPECT_EQ(zyrRunCommand("process_child abort"), 0);
  EXPECT_EQ(zyrRunCommand("zyr-no-such-program"), 0);
  EXPECT_EQ(zyrRunCommand("   "), 0);
  EXPECT_EQ(zyrRunCommand(nullptr), 0);

  std::string bin = dir.file("bin"), exec = dir.file("exec");
  ASSERT_EQ(mkdir(bin.c_str(), 0700), 0);
  ASSERT_EQ(mkdir(exec.c_str(), 0700), 0);
  ASSERT_EQ(symlink(kHelper.c_str(), (exec + "/Helper.exe").c_str()), 0);
  zyrtest::writeFile(bin + "/run", "#!/bin/sh\nexit \"$1\"\n");
  ASSERT_EQ(chmod((bin + "/run").c_str(), 0700), 0);
  EnvGuard b("ZYRQBINDIR", bin.c_str()), e("ZYRQEXECDIR", exec.c_str()), o("ZYRQ_HELPER_EXEC", nullptr);
  EXPECT_EQ(zyrRunCommandInEnvironment("ZYRQ", "Helper.exe exit 0"), 1);
  EXPECT_EQ(zyrRunCommandInEnvironment("ZYRQ", "Helper.exe exit 4"), 0);
  EXPECT_EQ(zyrRunCommandInEnvironment("ZYRQ", "run 0"), 1);
  EXPECT_EQ(zyrRunCommandInEnvironment("ZYRQ", "run 5"), 0);
  {
    EnvGuard over("ZYRQ_HELPER_EXEC", (bin + "/run").c_str());
    EXPECT_EQ(zyrRunCommandInEnvironment("ZYRQ", "Helper.exe 6"), 0);
    EXPECT_EQ(zyrRunCommandInEnvironment("ZYRQ", "Helper.exe 0"), 1);
  }
  zyrErrorManager_clearErrors(manager());
  EXPECT_EQ(zyrRunCommandInEnvironment("ZYRMISSING", "Helper.exe exit 0"), 0);
  ASSERT_NE(zyrError_getLast(), nullptr);
  EXPECT_EQ(zyrError_getCode(zyrError_getLast()), 10019);
}

} // namespace
