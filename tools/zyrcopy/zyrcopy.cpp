// zyrcopy SOURCE DESTINATION: copies SOURCE to DESTINATION with zyrCopyFile (an existing
// destination is replaced only by a complete copy; a file is never copied onto itself).
// Exit status 0 on success, 1 when the copy failed, 2 on wrong usage.

#include "zyrSystem.h"

#include <cstdio>

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zyrcopy SOURCE DESTINATION\n");
    return 2;
  }
  if (!zyrCopyFile(argv[1], argv[2])) {
    std::fprintf(stderr, "zyrcopy: cannot copy %s to %s\n", argv[1], argv[2]);
    return 1;
  }
  return 0;
}
