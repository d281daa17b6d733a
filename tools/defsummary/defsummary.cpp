// defsummary FILE: a short account of a solver definition file: its release, its zones with
// their volumes, boundary surfaces and mesh counts, and its boundary-condition patches (each
// under the id the solver knows it by, BCP1 onwards, with the boundary it stands for). The file
// is only read: nothing is created or changed, and no write lock is taken. Exit status 0, 1 when
// the file cannot be read as a definition file (a line says why), 2 on wrong usage; data sets that
// the open had to leave out (damaged) are told on the standard error stream, as a warning; SIGINT and
// SIGTERM stop it, the file closed (and its lock let go), with a line saying so: 130 or 143.
#include "DefFile.h"
#include "ToolInterrupt.h"
#include "zyrError.h"
#include "zyrErrorManager.h"
#include "zyrInterrupt.h"
#include "zyrCString.h"
#include "zyrMemory.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Why the file cannot be read as a definition file, in the user's terms; "" when it can be
// opened.
std::string whyNot(const char *name) {
  struct stat status;
  if (stat(name, &status) != 0)
    return errno == ENOENT ? "no such file" : strerror(errno);
  if (S_ISDIR(status.st_mode))
    return "is a directory";
  if (access(name, R_OK) != 0)
    return strerror(errno);
  return "";
}

int32_t integer(DefFile *file, const char *what, const std::string &where, int32_t fallback = -1) {
  int32_t value = fallback;
  if (!DefFile_readInt(file, what, where.c_str(), 0, &value))
    return fallback;
  return value;
}

std::vector<std::string> texts(DefFile *file, const char *what, const std::string &where) {
  char **array = nullptr;
  int32_t n = 0;
  std::vector<std::string> result;
  if (DefFile_readIoStrings(file, what, where.c_str(), 0, &array, &n))
    result.assign(array, array + n);
  if (array != nullptr)
    zyrCStringArray_free(array, uint64_t(n));
  return result;
}

// What the open had to say (data sets of the file it left out) is said on the standard error
// stream: the summary then shows less than the file was written with.
void tellWarnings() {
  int32_t count = 0;
  zyrError **errors = nullptr;
  zyrErrorManager *manager = zyrErrorManager_get();
  if (zyrErrorManager_getErrors(manager, &count, &errors) == 1)
    for (int32_t i = 0; i < count; ++i)
      if (zyrError_isWarning(errors[i]))
        std::fprintf(stderr, "defsummary: warning: %s", zyrError_getMessage(errors[i]));
  zyrMemory_free(errors, __func__);
  zyrErrorManager_clearErrors(manager);
}

std::string joined(const std::vector<std::string> &names) {
  std::string text;
  for (const std::string &name : names)
    text += (text.empty() ? "" : ", ") + name;
  return text;
}

} // namespace

int main(int argc, char **argv) {
  if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
    std::printf("usage: defsummary FILE\n\n"
                "Prints what the solver definition file FILE holds: the release that wrote it, its\n"
                "zones with their volumes, surfaces and mesh counts, and its boundary-condition\n"
                "patches, each as the solver's id (BCP1 onwards) and the boundary's name.\n");
    return 0;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: defsummary FILE\n");
    return 2;
  }
  ToolInterrupt_catch();
  std::string reason = whyNot(argv[1]);
  DefFile *file = reason.empty() ? DefFile_openForReading(argv[1]) : nullptr;
  if (file == nullptr) {
    if (zyrInterrupt_signal() != 0)
      return ToolInterrupt_end(stderr, "defsummary", "%s was not read", argv[1]);
    if (reason.empty()) {
      const zyrError *last = zyrError_getLast();
      reason = last != nullptr && zyrError_getCode(last) == ZYR_U_DATABASE_IS_LOCKED
                   ? "is being written by another process"
                   : "is not a data-set file";
    }
    std::fprintf(stderr, "defsummary: %s: %s\n", argv[1], reason.c_str());
    return 1;
  }
  tellWarnings();
  const int32_t zones = integer(file, "G/NZN", "EVERY");
  if (zones < 0) {
    std::fprintf(stderr, "defsummary: %s: is not a definition file: it holds no zone count (G/NZN)\n", argv[1]);
    DefFile_delete(file);
    return 1;
  }
  char *release = nullptr;
  DefFile_readCharsAsString(file, "G/CRELNO", "EVERY", 0, &release);
  std::printf("Definition file %s\n", argv[1]);
  std::printf("  written by      %s\n", release != nullptr ? release : "(unknown)");
  zyrCString_free(release);
  std::printf("  volumes         %d\n", integer(file, "G/NVL", "EVERY"));
  std::printf("  surfaces        %d\n", integer(file, "G/NSF", "EVERY"));
  std::printf("  zones           %d\n", zones);
  const std::vector<std::string> map = texts(file, "G/NAMEMAP", "EVERY");
  for (int32_t z = 1; z <= zones && zyrInterrupt_signal() == 0; ++z) {
    const std::string zn = "ZN" + std::to_string(z);
    std::string name;
    for (size_t i = 0; i + 3 < map.size(); i += 4)
      if (map[i + 1] == zn)
        name = map[i];
    std::printf("  zone %d \"%s\"\n", z, name.c_str());
    std::printf("    volumes       %s\n", joined(texts(file, "G/CLBVL", zn)).c_str());
    std::printf("    surfaces      %s\n", joined(texts(file, "G/CLBSF", zn)).c_str());
    const int32_t vertices = integer(file, "G/NVX", zn);
    if (vertices >= 0)
      std::printf("    vertices      %d\n    cells         %d\n    faces         %d\n", vertices,
                  integer(file, "G/NEL", zn), integer(file, "G/NFC", zn));
    else
      std::printf("    (no mesh written)\n");
  }
  std::printf("  patches         %d (boundary-condition patches: the solver's id, the boundary)\n",
              integer(file, "G/NBCP", "EVERY"));
  for (size_t i = 0; i + 3 < map.size(); i += 4)
    if (map[i + 3] == "BCP")
      std::printf("    %-6s %s\n", map[i + 1].c_str(), map[i].c_str());
  DefFile_delete(file);
  if (zyrInterrupt_signal() != 0) {
    std::fflush(stdout);
    return ToolInterrupt_end(stderr, "defsummary", "the summary of %s was abandoned", argv[1]);
  }
  return 0;
}
