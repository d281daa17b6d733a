// The options of a tool: -h, --help and "--".
#include "ToolOptions.h"

#include <cstdio>
#include <cstring>

int ToolOptions_read(int argc, char **argv, const char *tool, const char *usage, const char *description,
                     int *status) {
  int first = 1;
  for (; first < argc && argv[first][0] == '-' && argv[first][1] != '\0'; ++first) {
    const char *option = argv[first];
    if (std::strcmp(option, "--") == 0)
      return first + 1;
    if (std::strcmp(option, "-h") == 0 || std::strcmp(option, "--help") == 0) {
      std::printf("%s\n%s", usage, description);
      *status = 0;
      return -1;
    }
    std::fprintf(stderr, "%s: unknown option %s\n%s", tool, option, usage);
    *status = 2;
    return -1;
  }
  return first;
}
