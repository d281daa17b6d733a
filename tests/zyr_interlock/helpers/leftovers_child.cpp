// A process that judges one leftover as whoever next works in its directory does: it removes the
// name given when zyrLeftovers_removeUnheld does, and prints 1 when it did, else 0.
#include "zyrLeftovers.h"

#include <cstdio>

int main(int argc, char **argv) {
  if (argc != 2)
    return 2;
  std::printf("%d\n", zyrLeftovers_removeUnheld(argv[1]));
  return 0;
}
