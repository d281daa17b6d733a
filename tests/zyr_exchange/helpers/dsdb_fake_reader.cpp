// Stands in for the simulation-database reader in tests. Started as "<program> -list <file> ...",
// it writes its arguments (one a line) to <file>.args, copies <file> byte for byte to standard
// output and then ends as <file>.end says: "exit N" or "signal N" (default: exit 0).
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char **argv) {
  if (argc < 3)
    return 99;
  const std::string file = argv[2];
  if (FILE *args = std::fopen((file + ".args").c_str(), "w")) {
    for (int i = 1; i < argc; ++i)
      std::fprintf(args, "%s\n", argv[i]);
    std::fclose(args);
  }
  if (FILE *in = std::fopen(file.c_str(), "rb")) {
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0)
      std::fwrite(buffer, 1, got, stdout);
    std::fclose(in);
  }
  std::fflush(stdout);
  char how[16] = "";
  int value = 0;
  if (FILE *end = std::fopen((file + ".end").c_str(), "r")) {
    if (std::fscanf(end, "%15s %d", how, &value) != 2)
      how[0] = '\0';
    std::fclose(end);
  }
  if (std::strcmp(how, "signal") == 0)
    raise(value);
  return std::strcmp(how, "exit") == 0 ? value : 0;
}
