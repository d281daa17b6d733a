// zyrmd5 [FILE]...: one line "<32 hex digits>  <FILE>" per file, as md5sum prints them; no
// FILE, or "-", reads standard input. A name holding a backslash or a line feed is written
// with those escaped and the line begins with a backslash. Options come before the files: "-h"
// and "--help" print the usage, "--" ends them (for a file whose name starts with "-"), any other
// is unknown. Exit status 1 when any file could not be read (each failure is reported on
// standard error), 2 on wrong usage, else 0. SIGINT and SIGTERM end it at once, with a line
// naming the file being read (it holds nothing to undo): 130 or 143.

#include "ToolInterrupt.h"
#include "ToolOptions.h"
#include "zyrMD5.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace {

// What an interrupt abandons.
std::string theWork;
const char *theWorkText = nullptr;

void printName(const char *name) {
  for (const char *p = name; *p != '\0'; ++p) {
    if (*p == '\\') {
      std::fputs("\\\\", stdout);
    } else if (*p == '\n') {
      std::fputs("\\n", stdout);
    } else {
      std::putchar(*p);
    }
  }
}

int digestOne(const char *name) {
  const bool isStdin = std::strcmp(name, "-") == 0;
  theWorkText = nullptr;
  theWork = std::string("the digest of ") + (isStdin ? "the standard input" : name);
  theWorkText = theWork.c_str();
  const int fd = isStdin ? STDIN_FILENO : open(name, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::fprintf(stderr, "zyrmd5: %s: %s\n", name, std::strerror(errno));
    return 0;
  }
  if (!isStdin) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  unsigned char digest[ZYR_MD5_DIGEST_SIZE];
  const int ok = zyrMD5_fd(fd, digest);
  const int readErrno = errno;
  if (!isStdin) close(fd);
  if (!ok) {
    std::fprintf(stderr, "zyrmd5: %s: %s\n", name, std::strerror(readErrno));
    return 0;
  }
  char hex[ZYR_MD5_HEX_SIZE];
  zyrMD5_toHex(digest, hex);
  const bool escape = std::strpbrk(name, "\\\n") != nullptr;
  if (escape) std::putchar('\\');
  std::fputs(hex, stdout);
  std::fputs("  ", stdout);
  printName(name);
  std::putchar('\n');
  // Every digest made is out before an interrupt can end the program.
  std::fflush(stdout);
  return 1;
}

const char *const kUsage = "usage: zyrmd5 [FILE]...\n";
const char *const kDescription =
    "Prints the MD5 digest of each FILE as md5sum does: 32 hex digits, two spaces and\n"
    "the name. No FILE, or \"-\", reads the standard input; \"--\" ends the options.\n";

} // namespace

int main(int argc, char **argv) {
  int status = 0;
  const int first = ToolOptions_read(argc, argv, "zyrmd5", kUsage, kDescription, &status);
  if (first < 0)
    return status;
  ToolInterrupt_catchAndEnd("zyrmd5", &theWorkText);
  if (first >= argc) {
    if (!digestOne("-")) status = 1;
  }
  for (int i = first; i < argc; ++i) {
    if (!digestOne(argv[i])) status = 1;
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "zyrmd5: write error: %s\n", std::strerror(errno));
    status = 1;
  }
  return status;
}
