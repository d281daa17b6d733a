// A child for the pause-point tests: passes the points named by its arguments in order and
// writes "passed <name>" on its standard output after each.
#include "zyrPause.h"

#include <cstdio>

int main(int argc, char **argv) {
  for (int i = 1; i < argc; ++i) {
    zyrPause_point(argv[i]);
    std::printf("passed %s\n", argv[i]);
    std::fflush(stdout);
  }
  return zyrPause_isArmed() ? 0 : 3;
}
