// Failed assertions until the error manager reports them as error records.
#include "zyrAssert.h"

#include <cstdio>
#include <cstdlib>

void assert_flagError(const char *function, const char *file, int line, const char *expression) {
  std::fprintf(stderr, "\nAssertion:   %s\nFunction:    %s\nFile:        %s\nLine number: %d\n\n",
               expression, function, file, line);
  std::fflush(stderr);
  std::exit(1);
}
