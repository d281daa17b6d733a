// zyrcopy SOURCE DESTINATION: copies SOURCE to DESTINATION with zyrCopyFile (an existing
// destination is replaced only by a complete copy; a file is never copied onto itself).
// Exit status 0 on success, 1 when the copy failed, 2 on wrong usage; SIGINT and SIGTERM
// abandon the copy (the destination stays as it was) with a line saying so: 130 or 143.

#include "ToolInterrupt.h"
#include "zyrInterrupt.h"
#include "zyrSystem.h"

#include <cstdio>

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zyrcopy SOURCE DESTINATION\n");
    return 2;
  }
  ToolInterrupt_catch();
  const int copied = zyrCopyFile(argv[1], argv[2]);
  if (!copied && zyrInterrupt_signal() != 0)
    return ToolInterrupt_end(stderr, "zyrcopy", "the copy of %s to %s was abandoned; %s is as it was", argv[1],
                             argv[2], argv[2]);
  if (!copied) {
    std::fprintf(stderr, "zyrcopy: cannot copy %s to %s\n", argv[1], argv[2]);
    return 1;
  }
  return 0;
}
