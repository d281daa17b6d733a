#include "Process.h"

#include "Command.h"
#include "Conduit.h"
#include "ProcessStartup.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrTrace.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

Process *g_started = nullptr;
int g_showConsoles = 0;
int g_consolesChecked = 0;

// Children whose records were deleted while they ran; collected by later calls.
std::vector<pid_t> &handedOver() {
  static std::vector<pid_t> *children = new std::vector<pid_t>();
  return *children;
}

void collectHandedOver() {
  std::vector<pid_t> &children = handedOver();
  children.erase(std::remove_if(children.begin(), children.end(),
                                [](pid_t child) {
                                  int status = 0;
                                  pid_t done = waitpid(child, &status, WNOHANG);
                                  return done == child || (done < 0 && errno == ECHILD);
                                }),
                 children.end());
}

int operatorKind(const char *argument) {
  if (std::strcmp(argument, "<") == 0)
    return ProcessRedirectInput;
  if (std::strcmp(argument, ">") == 0)
    return ProcessRedirectOutput;
  if (std::strcmp(argument, ">>") == 0)
    return ProcessRedirectAppend;
  if (std::strcmp(argument, "<<") == 0)
    return ProcessRedirectHere;
  return -1;
}

void closeOpenFiles(Process *process, const char *function) {
  for (int32_t i = 0; i < process->m_noOfOpenFiles; ++i)
    close(process->m_openFiles[i]);
  zyrMemory_freeAndClear(&process->m_openFiles, function);
  process->m_noOfOpenFiles = 0;
  process->m_redirectDescriptor = 0;
}

int openRedirectFile(Process *process, const char *file, int flags, const char *function) {
  int descriptor;
  do
    descriptor = open(file, flags | O_CLOEXEC, 0666);
  while (descriptor < 0 && errno == EINTR);
  if (descriptor < 0)
    return -1;
  process->m_openFiles = zyrMemory_reallocateArray<int32_t>(process->m_openFiles, process->m_noOfOpenFiles + 1,
                                                            function);
  process->m_openFiles[process->m_noOfOpenFiles++] = descriptor;
  return descriptor;
}

// The program to execute: on the search path the first executable file of the name in PATH
// (a name holding '/' is taken as it is), otherwise the command's path. NULL when none is found.
char *findProgram(const Command *command) {
  const char *name = command->m_fullpathname;
  if (name == nullptr || *name == '\0')
    return nullptr;
  if (!Command_isOnSearchPath(command) || std::strchr(name, '/') != nullptr)
    return zyrCString_clone(name);
  const char *path = std::getenv("PATH");
  if (path == nullptr)
    path = "/bin:/usr/bin";
  const char *entry = path;
  for (;;) {
    const char *end = std::strchr(entry, ':');
    size_t length = end ? static_cast<size_t>(end - entry) : std::strlen(entry);
    char *directory = length > 0 ? zyrCString_substring(entry, 0, static_cast<int>(length)) : zyrCString_clone(".");
    char *candidate = zyrCString_merge(directory, "/", name, nullptr);
    zyrCString_free(directory);
    struct stat status;
    if (stat(candidate, &status) == 0 && S_ISREG(status.st_mode) && access(candidate, X_OK) == 0)
      return candidate;
    zyrCString_free(candidate);
    if (end == nullptr)
      return nullptr;
    entry = end + 1;
  }
}

// A descriptor of the pair that is not a standard stream, so that joining the child's standard
// streams cannot overwrite it.
int moveAboveStandard(int descriptor) {
  if (descriptor > 2)
    return descriptor;
  int moved = fcntl(descriptor, F_DUPFD_CLOEXEC, 3);
  close(descriptor);
  return moved;
}

// Closes every descriptor above 2 that is not in keep (ascending, all above 2). Runs in the child
// between fork and exec: system calls only.
void closeOtherDescriptors(const int *keep, int noOfKeep, int openMax) {
  unsigned int low = 3;
  for (int i = 0; i <= noOfKeep; ++i) {
    unsigned int high = i < noOfKeep ? static_cast<unsigned int>(keep[i]) : ~0U;
    if (high > low) {
      if (close_range(low, high - 1, 0) != 0) {
        unsigned int last = std::min(high, static_cast<unsigned int>(openMax));
        for (unsigned int descriptor = low; descriptor < last; ++descriptor)
          close(static_cast<int>(descriptor));
      }
    }
    if (i < noOfKeep)
      low = static_cast<unsigned int>(keep[i]) + 1;
  }
}

// The child's side of the start: nothing but async-signal-safe calls.
[[noreturn]] void runChild(const char *program, char *const *argv, const ProcessStartup *startup, const int *keep,
                           int noOfKeep, int openMax, int errorPipe) {
  int failure = 0;
  if (!ProcessStartup_applyInChild(startup))
    failure = errno != 0 ? errno : EBADF;
  if (failure == 0) {
    closeOtherDescriptors(keep, noOfKeep, openMax);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execv(program, argv);
    failure = errno;
  }
  ssize_t written;
  do
    written = write(errorPipe, &failure, sizeof failure);
  while (written < 0 && errno == EINTR);
  _exit(127);
}

// Starts the child with the conduits' ends and the command's redirections; 1 on success.
int createChildProcess(Process *process, const Command *command, int32_t n, Conduit **conduits) {
  char *program = findProgram(command);
  if (program == nullptr)
    return 0;

  std::vector<char *> owned;   // strings to free
  std::vector<char **> words;  // word arrays to free, with their counts
  std::vector<int32_t> wordCounts;
  std::vector<char *> argv;

  // The first word: the path, or its part after the last white space.
  const char *path = command->m_fullpathname;
  const char *first = path;
  for (const char *c = path; *c != '\0'; ++c)
    if (std::isspace(static_cast<unsigned char>(*c)))
      first = c + 1;
  owned.push_back(zyrCString_clone(first));
  argv.push_back(owned.back());
  for (int32_t i = 0; i < command->m_noOfRealArgs; ++i)
    argv.push_back(command->m_arguments[i]);

  ProcessStartup *startup = ProcessStartup_new();
  if (command->m_keptDescriptor > 2)
    ProcessStartup_inherit(startup, command->m_keptDescriptor);
  for (int32_t i = 0; i < n; ++i) {
    if (conduits[i] == nullptr)
      continue;
    Conduit_setChildHandles(conduits[i], startup);
    int32_t count = 0;
    char **list = Conduit_getArgumentWords(conduits[i], &count);
    if (list == nullptr)
      continue;
    words.push_back(list);
    wordCounts.push_back(count);
    for (int32_t j = 0; j < count; ++j)
      argv.push_back(list[j]);
  }
  argv.push_back(nullptr);

  int started = 0;
  int redirected = Process_redirectIO(process, command, startup);
  if (redirected >= 0) {
    // Without consoles a child has no standard stream of ours.
    if (!Process_showConsoles())
      startup->m_useStandard = 1;

    int errorPipe[2] = {-1, -1};
    if (pipe2(errorPipe, O_CLOEXEC) == 0) {
      errorPipe[0] = moveAboveStandard(errorPipe[0]);
      errorPipe[1] = moveAboveStandard(errorPipe[1]);
    }
    if (errorPipe[0] >= 0 && errorPipe[1] >= 0) {
      std::vector<int> keep(startup->m_inherited, startup->m_inherited + startup->m_noOfInherited);
      keep.push_back(errorPipe[1]);
      keep.erase(std::remove_if(keep.begin(), keep.end(), [](int d) { return d <= 2; }), keep.end());
      std::sort(keep.begin(), keep.end());
      keep.erase(std::unique(keep.begin(), keep.end()), keep.end());
      long openMax = sysconf(_SC_OPEN_MAX);
      openMax = openMax < 256 ? 256 : std::min(openMax, 65536L);

      pid_t child = fork();
      if (child == 0)
        runChild(program, argv.data(), startup, keep.data(), static_cast<int>(keep.size()),
                 static_cast<int>(openMax), errorPipe[1]);
      close(errorPipe[1]);
      if (child > 0) {
        int failure = 0;
        ssize_t got;
        do
          got = read(errorPipe[0], &failure, sizeof failure);
        while (got < 0 && errno == EINTR);
        if (got == 0) {
          process->m_pid = child;
          process->m_handle = child;
          started = 1;
        } else {
          // The child could not run the program: collect it at once.
          pid_t done;
          do
            done = waitpid(child, nullptr, 0);
          while (done < 0 && errno == EINTR);
        }
      }
    } else {
      if (errorPipe[1] >= 0)
        close(errorPipe[1]);
    }
    if (errorPipe[0] >= 0)
      close(errorPipe[0]);
  }
  closeOpenFiles(process, __func__);

  ProcessStartup_delete(startup);
  for (size_t i = 0; i < words.size(); ++i)
    zyrCStringArray_free(words[i], static_cast<uint64_t>(wordCounts[i]));
  for (char *text : owned)
    zyrCString_free(text);
  zyrCString_free(program);
  return started;
}

} // namespace

Process *Process_new(const Command *command, const char *description, Conduit **conduit) {
  if (description == nullptr)
    return Process_newMultiConduit(command, 0, nullptr, nullptr);
  Conduit *local = nullptr;
  Process *process = Process_newMultiConduit(command, 1, &description, conduit ? conduit : &local);
  Conduit_delete(local);
  return process;
}

Process *Process_newMultiConduit(const Command *command, int32_t n, const char *const *descriptions,
                                 Conduit **conduits) {
  collectHandedOver();
  if (command == nullptr || n < 0 || (n > 0 && (descriptions == nullptr || conduits == nullptr)))
    return nullptr;
  Process *process = zyrMemory_allocateZeroedArray<Process>(1, __func__);
  for (int32_t i = 0; i < n; ++i)
    conduits[i] = descriptions[i] != nullptr ? Conduit_newBeforeSpawn(descriptions[i]) : nullptr;

  if (createChildProcess(process, command, n, conduits)) {
    for (int32_t i = 0; i < n; ++i)
      if (conduits[i] != nullptr)
        Conduit_afterSpawn(conduits[i]);
    process->m_next = g_started;
    g_started = process;
    return process;
  }
  for (int32_t i = 0; i < n; ++i) {
    Conduit_delete(conduits[i]);
    conduits[i] = nullptr;
  }
  zyrMemory_free(process, __func__);
  return nullptr;
}

void Process_delete(Process *process) {
  if (process == nullptr)
    return;
  for (Process **link = &g_started; *link != nullptr; link = &(*link)->m_next) {
    if (*link == process) {
      *link = process->m_next;
      break;
    }
  }
  if (process->m_handle != 0) {
    int status = 0;
    pid_t done = waitpid(process->m_handle, &status, WNOHANG);
    if (done == 0)
      handedOver().push_back(process->m_handle);
  }
  closeOpenFiles(process, __func__);
  zyrMemory_free(process, __func__);
  collectHandedOver();
}

int Process_wait(Process *process) {
  if (process == nullptr)
    return 0;
  if (process->m_hasStatus)
    return 1;
  if (process->m_handle == 0)
    return 0;
  int status = 0;
  pid_t done;
  do
    done = waitpid(process->m_handle, &status, 0);
  while (done < 0 && errno == EINTR);
  int known = done == process->m_handle;
  // Either way the child is gone: never signal or wait for that identifier again.
  process->m_handle = 0;
  if (known) {
    process->m_status = status;
    process->m_hasStatus = 1;
  }
  return known;
}

void Process_kill(Process *process) {
  if (process == nullptr || process->m_pid == 0)
    return;
  if (process->m_handle != 0) {
    kill(process->m_handle, SIGKILL);
    Process_wait(process);
  }
  process->m_pid = 0;
}

int Process_getExitStatus(Process *process, int32_t *how, int32_t *value) {
  int32_t end = ProcessUnknown;
  int32_t detail = 0;
  if (process != nullptr && !process->m_hasStatus && process->m_handle != 0) {
    int status = 0;
    pid_t done = waitpid(process->m_handle, &status, WNOHANG);
    if (done == process->m_handle) {
      process->m_status = status;
      process->m_hasStatus = 1;
      process->m_handle = 0;
    } else if (done == 0) {
      end = ProcessRunning;
    } else {
      process->m_handle = 0;
    }
  }
  if (process != nullptr && process->m_hasStatus) {
    int status = process->m_status;
    if (WIFEXITED(status)) {
      end = ProcessExited;
      detail = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
      end = ProcessSignalled;
      detail = WTERMSIG(status);
    } else if (WIFSTOPPED(status)) {
      end = ProcessStopped;
      detail = WSTOPSIG(status);
    }
  }
  if (how != nullptr)
    *how = end;
  if (value != nullptr)
    *value = detail;
  return end == ProcessExited && detail == 0 ? 1 : 0;
}

int Process_showConsoles() {
  if (!g_consolesChecked) {
    g_consolesChecked = 1;
    if (std::getenv("ZYR_SHOW_CONSOLES") != nullptr)
      g_showConsoles = 1;
  }
  return g_showConsoles;
}

void Process_setShowConsoles(int flag) { g_showConsoles = flag ? 1 : 0; }

void Process_print(const Process *process, FILE *stream) { std::fprintf(stream, "m_pid = %d\n", process->m_pid); }

int32_t Process_parseRedirections(const Command *command, ProcessRedirection *redirections) {
  int32_t count = 0;
  for (int32_t i = command->m_noOfRealArgs; i < command->m_noOfArguments; ++i) {
    const char *argument = command->m_arguments[i];
    int kind = operatorKind(argument);
    if (kind >= 0) {
      if (i + 1 < command->m_noOfArguments)
        redirections[count++] = ProcessRedirection{kind, command->m_arguments[++i]};
    } else if (std::strcmp(argument, "2>&1") == 0) {
      redirections[count++] = ProcessRedirection{ProcessRedirectErrorToOutput, nullptr};
    }
  }
  return count;
}

int Process_redirectIO(Process *process, const Command *command, ProcessStartup *startup) {
  ZYR_TRACE_BEGIN_DESC("Redirect the IO of a child process.");
  process->m_redirectDescriptor = 0;
  if (command->m_noOfIoRedirectArgs == 0)
    return 1;
  int result = 1;
  int setHandles = 0;
  int kind = -1; // the operator waiting for its file
  for (int32_t i = command->m_noOfRealArgs; i < command->m_noOfArguments && result >= 0; ++i) {
    const char *argument = command->m_arguments[i];
    if (ZYR_TRACE_DEBUG(1))
      zyrTrace_printf("Argument = '%s'\n", argument);
    if (kind < 0) {
      kind = operatorKind(argument);
      if (kind < 0 && std::strcmp(argument, "2>&1") == 0) {
        if (ZYR_TRACE_DEBUG(1))
          zyrTrace_printf("Redirect standard err to standard out.\n");
        startup->m_standard[2] = startup->m_standard[1];
        startup->m_useStandard = 1;
        setHandles = 1;
      }
      continue;
    }
    int descriptor = -1;
    switch (kind) {
    case ProcessRedirectInput:
      if (ZYR_TRACE_DEBUG(1))
        zyrTrace_printf("Redirect %s to standard in.\n", argument);
      descriptor = openRedirectFile(process, argument, O_RDONLY, __func__);
      if (descriptor >= 0)
        setHandles |= ProcessStartup_setStandardStream(startup, 0, descriptor);
      break;
    case ProcessRedirectOutput:
      if (ZYR_TRACE_DEBUG(1))
        zyrTrace_printf("Redirect standard out to %s.\n", argument);
      descriptor = openRedirectFile(process, argument, O_WRONLY | O_CREAT | O_TRUNC, __func__);
      if (descriptor >= 0) {
        setHandles |= ProcessStartup_setStandardStream(startup, 1, descriptor);
        process->m_redirectDescriptor = descriptor;
      }
      break;
    case ProcessRedirectAppend:
      if (ZYR_TRACE_DEBUG(1))
        zyrTrace_printf("Append standard out to %s.\n", argument);
      descriptor = openRedirectFile(process, argument, O_WRONLY | O_CREAT | O_APPEND, __func__);
      if (descriptor >= 0)
        setHandles |= ProcessStartup_setStandardStream(startup, 1, descriptor);
      break;
    default:
      if (ZYR_TRACE_DEBUG(1))
        zyrTrace_printf("Append %s to standard in.\n", argument);
      result = 0;
      descriptor = 0;
      break;
    }
    if (descriptor < 0) {
      if (ZYR_TRACE_DEBUG(1))
        zyrTrace_printf("Unable to open %s.\n", argument);
      result = -1;
    }
    kind = -1;
  }
  if (ZYR_TRACE_DEBUG(1))
    zyrTrace_printf("setHandles = %d\n", setHandles);
  return result;
}
