// Child program of the conduit tests: finds its conduit among its arguments and plays the part
// named by its first remaining argument.
//   echo    receives one value of each type and sends it back, then the remaining arguments
//   lines   writes text lines, the last one without a line end
//   stdio   copies its standard input to standard output line by line in upper case, and notes
//           the number of lines on standard error
//   fds     sends the descriptors it has open (from /proc/self/fd), one string
//   quit    exits at once without reading
#include "Conduit.h"
#include "zyrCString.h"

#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int echo(Conduit *conduit, int32_t argc, char **argv) {
  const bool socket = conduit->m_socket != nullptr;
  int32_t i = 0;
  float f = 0;
  double d = 0;
  char *text = nullptr;
  char bytes[64];
  int32_t noOfBytes = 0;
  if (Conduit_getInt(conduit, &i) <= 0 || Conduit_getFloat(conduit, &f) <= 0 || Conduit_getDouble(conduit, &d) <= 0 ||
      Conduit_getString(conduit, &text) <= 0 || Conduit_getBytes(conduit, bytes, sizeof bytes, &noOfBytes) <= 0)
    return 2;
  int32_t ints[8], noOfInts = 0, noOfFloats = 0, noOfDoubles = 0;
  float floats[8];
  double doubles[8];
  if (!socket && (Conduit_getIntArray(conduit, ints, 8, &noOfInts) <= 0 ||
                  Conduit_getFloatArray(conduit, floats, 8, &noOfFloats) <= 0 ||
                  Conduit_getDoubleArray(conduit, doubles, 8, &noOfDoubles) <= 0))
    return 3;
  int ok = Conduit_putInt(conduit, i) > 0 && Conduit_putFloat(conduit, f) > 0 && Conduit_putDouble(conduit, d) > 0 &&
           Conduit_putString(conduit, text) > 0 && Conduit_putBytes(conduit, bytes, noOfBytes) > 0;
  if (!socket)
    ok = ok && Conduit_putIntArray(conduit, ints, noOfInts) > 0 &&
         Conduit_putFloatArray(conduit, floats, noOfFloats) > 0 &&
         Conduit_putDoubleArray(conduit, doubles, noOfDoubles) > 0;
  zyrCString_free(text);
  ok = ok && Conduit_putInt(conduit, argc) > 0;
  for (int32_t k = 0; k < argc; ++k)
    ok = ok && Conduit_putString(conduit, argv[k]) > 0;
  return ok ? 0 : 4;
}

int lines(Conduit *conduit) {
  int ok = Conduit_putLine(conduit, "first line") > 0 && Conduit_printf(conduit, "second %d\n\n", 2) > 0 &&
           Conduit_putLine(conduit, std::string(300, 'x').c_str()) > 0 && Conduit_printf(conduit, "tail") > 0;
  return ok ? 0 : 4;
}

int stdio() {
  char line[4096];
  int n = 0;
  while (std::fgets(line, sizeof line, stdin) != nullptr) {
    for (char *p = line; *p; ++p)
      *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    std::fputs(line, stdout);
    ++n;
  }
  std::fflush(stdout);
  std::fprintf(stderr, "lines %d\n", n);
  return 0;
}

int fds(Conduit *conduit) {
  std::string list;
  DIR *dir = opendir("/proc/self/fd");
  if (dir == nullptr)
    return 5;
  const int own = dirfd(dir);
  while (dirent *entry = readdir(dir)) {
    if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == own)
      continue;
    list += std::string(list.empty() ? "" : " ") + entry->d_name;
  }
  closedir(dir);
  return Conduit_putString(conduit, list.c_str()) > 0 ? 0 : 4;
}

} // namespace

int main(int argc, char **argv) {
  int32_t count = argc;
  Conduit *conduit = Conduit_newFromArgs(&count, argv, nullptr);
  const char *part = count > 1 ? argv[1] : "";
  int status = 0;
  if (std::strcmp(part, "stdio") == 0)
    status = stdio();
  else if (std::strcmp(part, "quit") == 0)
    status = 0;
  else if (conduit == nullptr)
    status = 9;
  else if (std::strcmp(part, "echo") == 0)
    status = echo(conduit, count, argv);
  else if (std::strcmp(part, "lines") == 0)
    status = lines(conduit);
  else if (std::strcmp(part, "fds") == 0)
    status = fds(conduit);
  else
    status = 8;
  Conduit_delete(conduit);
  return status;
}
