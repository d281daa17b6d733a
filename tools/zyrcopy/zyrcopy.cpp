// zyrcopy SOURCE DESTINATION: copies SOURCE to DESTINATION with zyrCopyFile (an existing
// destination is replaced only by a complete copy; a file is never copied onto itself, nor onto a
// file in use such as a database that a process has open, or its lock file).
// Options come before the names: "-h" and "--help" print the usage, "--" ends them (for a name
// that starts with "-"), any other is unknown.
// Exit status 0 on success, 1 when the copy failed (a line says why), 2 on wrong usage; SIGINT
// and SIGTERM abandon the copy (the destination stays as it was) with a line saying so: 130 or
// 143.

#include "ToolInterrupt.h"
#include "ToolOptions.h"
#include "zyrError.h"
#include "zyrErrorManager.h"
#include "zyrInterrupt.h"
#include "zyrSystem.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The directory a new destination is made in.
std::string directoryOf(const std::string &path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Why the copy failed, named after the file at fault; `failure` is the system's error of the copy.
std::string reason(const char *source, const char *destination, int failure) {
  // A destination in use, or another refusal in the placement's own words (another file that took
  // the name of the new one meanwhile), was published with the reason: its last line.
  zyrError *refusal = failure == EBUSY ? zyrErrorManager_getLastError(zyrErrorManager_get()) : nullptr;
  if (refusal != nullptr && zyrError_getMessage(refusal) != nullptr) {
    std::string why = zyrError_getMessage(refusal);
    while (!why.empty() && (why.back() == '\n' || why.back() == '.'))
      why.pop_back();
    return std::string(destination) + ": " + why.substr(why.rfind('\n') + 1);
  }
  struct stat from, to;
  const int in = open(source, O_RDONLY | O_CLOEXEC);
  if (in < 0)
    return std::string(source) + ": " + std::strerror(errno);
  const bool statted = fstat(in, &from) == 0;
  close(in);
  if (statted && S_ISDIR(from.st_mode))
    return std::string(source) + ": " + std::strerror(EISDIR);
  if (stat(destination, &to) == 0) {
    if (S_ISDIR(to.st_mode))
      return std::string(destination) + ": " + std::strerror(EISDIR);
    if (statted && to.st_dev == from.st_dev && to.st_ino == from.st_ino)
      return "they are the same file";
    // A device or pipe is written directly.
    if (!S_ISREG(to.st_mode))
      return std::string(destination) + ": " + std::strerror(failure != 0 ? failure : EIO);
  }
  // The copy is made beside the destination and renamed over it.
  const std::string directory = directoryOf(destination);
  struct stat place;
  if (stat(directory.c_str(), &place) != 0)
    return directory + ": " + std::strerror(errno);
  if (!S_ISDIR(place.st_mode))
    return directory + ": " + std::strerror(ENOTDIR);
  if (access(directory.c_str(), W_OK | X_OK) != 0)
    return directory + ": " + std::strerror(errno);
  return std::strerror(failure != 0 ? failure : EIO);
}

const char *const kUsage = "usage: zyrcopy SOURCE DESTINATION\n";
const char *const kDescription =
    "Copies the file SOURCE to DESTINATION. An existing DESTINATION is replaced only\n"
    "by a complete copy, written beside it and renamed over it, that keeps its\n"
    "permissions; through a symbolic link it is the file the link leads to, and a\n"
    "device or a pipe is written into. A file is never copied onto itself, nor onto a\n"
    "file in use, such as a database that a process has open, or its lock file.\n"
    "\"--\" ends the options. Exit status 0, 1 when the copy failed (a line says why),\n"
    "2 on wrong usage; SIGINT or SIGTERM abandons the copy, the destination as it was:\n"
    "130 or 143.\n";

} // namespace

int main(int argc, char **argv) {
  int status = 0;
  const int first = ToolOptions_read(argc, argv, "zyrcopy", kUsage, kDescription, &status);
  if (first < 0)
    return status;
  if (argc - first != 2) {
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }
  // The names are argv[1] and argv[2] from here, whatever came before them.
  argv += first - 1;
  ToolInterrupt_catch();
  errno = 0;
  const int copied = zyrCopyFile(argv[1], argv[2]);
  const int failure = errno;
  if (!copied && zyrInterrupt_signal() != 0)
    return ToolInterrupt_end(stderr, "zyrcopy", "the copy of %s to %s was abandoned; %s is as it was", argv[1],
                             argv[2], argv[2]);
  if (!copied) {
    std::fprintf(stderr, "zyrcopy: cannot copy %s to %s: %s\n", argv[1], argv[2],
                 reason(argv[1], argv[2], failure).c_str());
    return 1;
  }
  return 0;
}
