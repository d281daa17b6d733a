#include "zyrSystem.h"

#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrTrace.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace {

char *formatNow(const char *format) {
  std::time_t now = std::time(nullptr);
  std::tm local;
  if (localtime_r(&now, &local) == nullptr)
    return nullptr;
  char buffer[1024];
  size_t written = std::strftime(buffer, sizeof buffer, format, &local);
  if (written == 0)
    return nullptr;
  return zyrCString_clone(buffer);
}

} // namespace

int zyrDoesFileExist(const char *name) {
  if (name == nullptr)
    return 0;
  struct stat status;
  return stat(name, &status) == 0 ? 1 : 0;
}

char *zyrGetCurrentDirectory() {
  // Grow the buffer until the name fits; anything but a too-small buffer ends the attempts.
  for (int64_t size = 512; size <= (INT64_C(1) << 24); size *= 2) {
    char *buffer = zyrMemory_allocateArray<char>(size, __func__);
    if (getcwd(buffer, static_cast<size_t>(size)) != nullptr) {
      char *result = zyrCString_clone(buffer);
      zyrMemory_free(buffer, __func__);
      return result;
    }
    int failure = errno;
    zyrMemory_free(buffer, __func__);
    if (failure != ERANGE)
      return nullptr;
  }
  return nullptr;
}

char *zyrGetDateString() { return formatNow("%a %b %d %Y"); }

char *zyrGetTimeString() { return formatNow("%X %Z"); }

char *zyrGetHostName() {
  char buffer[1024];
  if (gethostname(buffer, sizeof buffer) != 0)
    return nullptr;
  // A truncated name need not be terminated.
  buffer[sizeof buffer - 1] = '\0';
  return zyrCString_clone(buffer);
}

int zyrIsEnvironmentVariableSet(const char *name) {
  return name != nullptr && std::getenv(name) != nullptr ? 1 : 0;
}

char *zyrReadEnvironmentVariable(const char *name, const char *defaultValue) {
  ZYR_TRACE_BEGIN_DESC("Read an environment variable.");
  const char *value = name ? std::getenv(name) : nullptr;
  if (ZYR_TRACE_DEBUG(1)) {
    if (value != nullptr)
      zyrTrace_printf("Environment variable: [Set]     %s = %s\n", name, value);
    else if (defaultValue != nullptr)
      zyrTrace_printf("Environment variable: [Default] %s = %s\n", name ? name : "", defaultValue);
    else
      zyrTrace_printf("Environment variable: [Unset]   %s = \n", name ? name : "");
  }
  if (value != nullptr)
    return zyrCString_clone(value);
  return zyrCString_clone(defaultValue);
}

int zyrSetEnvironmentVariable(const char *name, const char *value) {
  if (name == nullptr)
    return 0;
  return setenv(name, value ? value : "", 1) == 0 ? 1 : 0;
}
