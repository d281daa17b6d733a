// A child for the tests of moves that are killed or held half way: moves its first argument onto
// its second with zyrMoveFile and writes "moved <result>" on its standard output.
#include "zyrSystem.h"

#include <cstdio>

int main(int argc, char **argv) {
  if (argc != 3)
    return 2;
  std::printf("moved %d\n", zyrMoveFile(argv[1], argv[2]));
  return 0;
}
