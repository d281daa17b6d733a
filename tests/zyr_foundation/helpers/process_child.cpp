// A child for the process tests. Its arguments are actions, done in order:
//   args          every argument it was given, one "[...]" line each, after "argc=N"
//   out TEXT      TEXT and a line end on standard output
//   err TEXT      TEXT and a line end on standard error
//   cat           copies standard input to standard output until the end
//   fds           "fds:" and the number of every open descriptor
//   links         "N=target" for the standard streams 0, 1 and 2
//   conduit-echo  reads a line from the conduit named on its command line and sends back
//                 "echo: " and the line
//   sleep MS      sleeps
//   exit N        exits with status N
//   abort         aborts
// Other words are data for "args" and are passed over. A "-conduit ..." argument and its words
// are taken out before the actions are read.
#include "Conduit.h"
#include "zyrMemory.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

void listDescriptors() {
  std::vector<int> open;
  DIR *directory = opendir("/proc/self/fd");
  if (directory == nullptr)
    return;
  int own = dirfd(directory);
  while (dirent *entry = readdir(directory)) {
    if (entry->d_name[0] == '.')
      continue;
    int descriptor = std::atoi(entry->d_name);
    if (descriptor != own)
      open.push_back(descriptor);
  }
  closedir(directory);
  std::string line = "fds:";
  for (int descriptor : open)
    line += " " + std::to_string(descriptor);
  std::printf("%s\n", line.c_str());
}

} // namespace

int main(int argc, char **argv) {
  std::vector<char *> arguments(argv, argv + argc);
  int32_t count = argc;
  Conduit *conduit = nullptr;
  bool named = false;
  for (int i = 1; i < argc; ++i)
    named = named || std::strncmp(argv[i], "-conduit", 8) == 0;
  if (named)
    conduit = Conduit_newFromArgs(&count, arguments.data(), nullptr);

  int status = 0;
  for (int32_t i = 1; i < count; ++i) {
    std::string action = arguments[i];
    const char *next = i + 1 < count ? arguments[i + 1] : "";
    if (action == "args") {
      std::printf("argc=%d\n", argc);
      for (int j = 1; j < argc; ++j)
        std::printf("[%s]\n", argv[j]);
    } else if (action == "out") {
      std::printf("%s\n", next);
      ++i;
    } else if (action == "err") {
      std::fflush(stdout);
      std::fprintf(stderr, "%s\n", next);
      std::fflush(stderr);
      ++i;
    } else if (action == "cat") {
      int c;
      while ((c = std::getchar()) != EOF)
        std::putchar(c);
    } else if (action == "fds") {
      listDescriptors();
    } else if (action == "links") {
      for (int descriptor = 0; descriptor < 3; ++descriptor) {
        char target[4096] = {0};
        std::string name = "/proc/self/fd/" + std::to_string(descriptor);
        if (readlink(name.c_str(), target, sizeof target - 1) < 0)
          std::strcpy(target, "closed");
        std::printf("%d=%s\n", descriptor, target);
      }
    } else if (action == "conduit-echo") {
      if (conduit == nullptr) {
        status = 3;
        break;
      }
      char *line = nullptr;
      int64_t capacity = 0;
      if (Conduit_getline(conduit, &line, &capacity) >= 0)
        Conduit_printf(conduit, "echo: %s\n", line);
      zyrMemory_free(line, "main");
    } else if (action == "sleep") {
      long milliseconds = std::atol(next);
      timespec pause = {milliseconds / 1000, (milliseconds % 1000) * 1000000};
      nanosleep(&pause, nullptr);
      ++i;
    } else if (action == "exit") {
      status = std::atoi(next);
      break;
    } else if (action == "abort") {
      std::fflush(stdout);
      std::abort();
    }
    std::fflush(stdout);
  }
  std::fflush(stdout);
  Conduit_delete(conduit);
  return status;
}
