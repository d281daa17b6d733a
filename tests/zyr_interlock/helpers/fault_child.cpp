// A process that writes a file through the fault seam as the environment arms it: for each
// argument after the file name ("write", "flush", "sync", "read", "look") it makes that call and prints
// "<call> ok" or "<call> <errno name>", one a line.
#include "zyrFault.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char **argv) {
  if (argc < 2)
    return 2;
  FILE *file = std::fopen(argv[1], "w+e");
  if (file == nullptr)
    return 2;
  for (int i = 2; i < argc; ++i) {
    const char *call = argv[i];
    bool ok = true;
    if (std::strcmp(call, "write") == 0) {
      ok = zyrFault_fwrite("abcd", 1, 4, file) == 4;
    } else if (std::strcmp(call, "flush") == 0) {
      ok = zyrFault_fflush(file) == 0;
    } else if (std::strcmp(call, "sync") == 0) {
      ok = zyrFault_fsync(fileno(file)) == 0;
    } else if (std::strcmp(call, "read") == 0) {
      char bytes[4];
      std::rewind(file);
      ok = zyrFault_fread(bytes, 1, 4, file) == 4;
    } else if (std::strcmp(call, "look") == 0) {
      struct stat status;
      ok = zyrFault_stat(argv[1], &status) == 0;
    }
    const int error = errno;
    std::printf("%s %s\n", call, ok ? "ok" : error == ENOSPC ? "ENOSPC" : error == EIO ? "EIO" : "other");
    std::fflush(stdout); // told before a kill at the next call
  }
  std::fflush(stdout);
  zyrFault_fclose(file);
  return 0;
}
