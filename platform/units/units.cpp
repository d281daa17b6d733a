// The process-wide definitions of the units library and its entry points. A failed u_init keeps the
// definitions already in use, so a bad file never leaves callers without units they had.
#include "units.h"

#include "UnitDefinitions.h"
#include "UnitTable.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

UnitTable *g_table = nullptr;
std::string g_source;
std::string g_message;

int finish(int *status, int value, const std::string &message) {
  g_message = message;
  if (status != nullptr)
    *status = value;
  return value;
}

// Reads a whole file of at most UNITS_MAX_TEXT bytes. Opened non-blocking so that a FIFO in place
// of the file cannot stall the caller; only regular files are read.
int readFile(const char *path, std::string *text, std::string *message) {
  int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *message = std::string("cannot open ") + path + ": " + std::strerror(errno);
    return U_FILE_ERROR;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    *message = std::string("cannot read ") + path + ": not a regular file";
    return U_FILE_ERROR;
  }
  if (info.st_size > UNITS_MAX_TEXT) {
    close(fd);
    *message = std::string("cannot read ") + path + ": longer than " +
               std::to_string(UNITS_MAX_TEXT) + " bytes";
    return U_FILE_ERROR;
  }
  text->clear();
  char buffer[8192];
  while (true) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0) {
      *message = std::string("cannot read ") + path + ": " + std::strerror(errno);
      close(fd);
      return U_FILE_ERROR;
    }
    if (n == 0)
      break;
    // The file may grow while it is read.
    if (text->size() + static_cast<size_t>(n) > UNITS_MAX_TEXT) {
      *message = std::string("cannot read ") + path + ": longer than " +
                 std::to_string(UNITS_MAX_TEXT) + " bytes";
      close(fd);
      return U_FILE_ERROR;
    }
    text->append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return U_OK;
}

// Parses a whole definition text into a new table and puts it in place of the current one.
int install(const char *text, size_t length, const char *source, int *status) {
  UnitTable *table = UnitTable_new();
  std::string message;
  int result = UnitTable_read(table, text, length, source, &message);
  if (result == U_OK && table->m_units.empty()) {
    result = U_BAD_DEFINITIONS;
    message = std::string(source) + ": no unit definitions";
  }
  if (result != U_OK) {
    UnitTable_delete(table);
    return finish(status, result, message);
  }
  UnitTable_delete(g_table);
  g_table = table;
  g_source = source;
  return finish(status, U_OK, "");
}

int evaluateText(const char *units, UnitValue *value) {
  return g_table != nullptr && units != nullptr &&
         UnitTable_evaluate(g_table, units, std::strlen(units), value, nullptr) == U_OK;
}

bool exists(const std::string &path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

} // namespace

std::string u_definitions_path(const char *unitsDir, const char *dataDir) {
  const char *dir = unitsDir != nullptr ? unitsDir : dataDir;
  if (dir == nullptr)
    return U_DEFINITIONS_FILE;
  return std::string(dir) + "/" + U_DEFINITIONS_FILE;
}

void u_init(const char *definitions, int *status) {
  std::string path;
  if (definitions != nullptr) {
    path = definitions;
  } else {
    path = u_definitions_path(std::getenv("WEZ5_UNITS_DIR"), std::getenv("WEZ_DATA_DIR"));
    if (!exists(path)) {
      size_t length = 0;
      const char *text = UnitDefinitions_builtin(&length);
      install(text, length, "built-in", status);
      return;
    }
  }
  std::string text, message;
  int result = readFile(path.c_str(), &text, &message);
  if (result != U_OK) {
    finish(status, result, message);
    return;
  }
  install(text.data(), text.size(), path.c_str(), status);
}

void u_init_text(const char *text, size_t length, const char *source, int *status) {
  install(text, length, source != nullptr ? source : "definitions", status);
}

void convert(const char *from, const char *to, double *scale, double *offset, int *status) {
  if (g_table == nullptr) {
    finish(status, U_NOT_INITIALISED, "no unit definitions have been loaded");
    return;
  }
  std::string message;
  int result = UnitTable_convert(g_table, from, to, scale, offset, &message);
  finish(status, result, message);
}

int u_is_valid(const char *units) {
  UnitValue value;
  return evaluateText(units, &value);
}

int u_compatible(const char *a, const char *b) {
  UnitValue va, vb;
  return evaluateText(a, &va) && evaluateText(b, &vb) && UnitValue_sameDimension(&va, &vb);
}

int u_dimension(const char *units, char *text, size_t size) {
  UnitValue value;
  if (text == nullptr || !evaluateText(units, &value))
    return 0;
  std::string dimension = UnitTable_describeDimension(g_table, &value);
  if (dimension.size() >= size)
    return 0;
  std::memcpy(text, dimension.c_str(), dimension.size() + 1);
  return 1;
}

const char *u_message() { return g_message.c_str(); }

const char *u_source() { return g_source.c_str(); }

void u_print(FILE *stream) {
  if (g_table == nullptr) {
    std::fprintf(stream, "No unit definitions.\n");
    return;
  }
  std::fprintf(stream, "Unit definitions from %s\n", g_source.c_str());
  UnitTable_print(g_table, stream);
}
