#include "Environment.h"

#include "zyrAssert.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"
#include "zyrSystem.h"

#include <cctype>
#include <cstring>

namespace {

const char *const defaultPrefix = "WEZ5";

void Environment_setDir(char **field, int32_t *howSet, const char *directory) {
  zyrAssert(directory);
  zyrCString_reassign(field, directory);
  *howSet = 2;
}

int Environment_setDirFromVariable(char **directory, int32_t *howSet, char **usedVariable,
                                   const char *variable) {
  char *value = zyrReadEnvironmentVariable(variable, nullptr);
  if (value == nullptr)
    return 0;
  zyrCString_free(*directory);
  *directory = value;
  *howSet = 1;
  zyrCString_reassign(usedVariable, variable);
  return 1;
}

void printHowSet(FILE *stream, int32_t howSet, const char *standardVariable, const char *usedVariable) {
  switch (howSet) {
  case 0:
    std::fprintf(stream, " Set from the standard environment variable \"%s\"", standardVariable ? standardVariable : "");
    break;
  case 1:
    std::fprintf(stream, " Set from the non-standard environment variable \"%s", usedVariable ? usedVariable : "");
    break;
  case 2:
    std::fprintf(stream, " Explicitly overriden");
    break;
  default:
    std::fprintf(stream, " From a standard default");
    break;
  }
}

const char *orEmpty(const char *text) { return text ? text : ""; }

} // namespace

Environment *Environment_new(const char *prefix) {
  Environment *environment = zyrMemory_allocateZeroedArray<Environment>(1, __func__);
  environment->m_name = zyrCString_clone(prefix ? prefix : defaultPrefix);
  environment->m_binDirVariable = zyrCString_merge(environment->m_name, "BINDIR", nullptr);
  environment->m_execDirVariable = zyrCString_merge(environment->m_name, "EXECDIR", nullptr);
  environment->m_tempDirVariable = zyrCString_clone("TMPDIR");
  environment->m_binDir = zyrReadEnvironmentVariable(environment->m_binDirVariable, nullptr);
  environment->m_execDir = zyrReadEnvironmentVariable(environment->m_execDirVariable, nullptr);

  if (environment->m_binDir != nullptr && environment->m_execDir != nullptr) {
    environment->m_tempDir = zyrReadEnvironmentVariable(environment->m_tempDirVariable, ".");
    environment->m_binDirSet = 0;
    environment->m_execDirSet = 0;
    environment->m_tempDirSet = 0;
    return environment;
  }

  zyrError *error = zyrError_new(ZYR_U_ENVIRONMENT_VARIABLE_NOT_SET, __func__, __FILE__, __LINE__);
  if (environment->m_binDir == nullptr && environment->m_execDir == nullptr)
    zyrError_addMessage(error,
                        "The environment variables:\n\n%s\n%s\n\nhave not been set. These must be set for "
                        "the program to operate correctly.\n",
                        environment->m_binDirVariable, environment->m_execDirVariable);
  else
    zyrError_addMessage(error,
                        "The environment variable:\n\n%s\n\nhas not been set. This must be set for the "
                        "program to operate correctly.\n",
                        environment->m_binDir == nullptr ? environment->m_binDirVariable
                                                         : environment->m_execDirVariable);
  zyrError_publish(error);
  Environment_delete(environment);
  return nullptr;
}

void Environment_delete(Environment *environment) {
  if (environment == nullptr)
    return;
  zyrCString_free(environment->m_name);
  zyrCString_free(environment->m_binDir);
  zyrCString_free(environment->m_execDir);
  zyrCString_free(environment->m_tempDir);
  zyrCString_free(environment->m_binDirVariable);
  zyrCString_free(environment->m_execDirVariable);
  zyrCString_free(environment->m_tempDirVariable);
  zyrCString_free(environment->m_binDirUsedVariable);
  zyrCString_free(environment->m_execDirUsedVariable);
  zyrCString_free(environment->m_tempDirUsedVariable);
  zyrMemory_free(environment, __func__);
}

void Environment_print(const Environment *environment, FILE *stream) {
  const char *rule = "========================================================";
  std::fprintf(stream, "\n%s\n", rule);
  std::fprintf(stream, "Environment: %s\n", orEmpty(environment->m_name));
  std::fprintf(stream, "%s\n\n", rule);
  std::fprintf(stream, "Executable directory = %s\n", orEmpty(environment->m_execDir));
  std::fprintf(stream, "Scripts    directory = %s\n", orEmpty(environment->m_binDir));
  std::fprintf(stream, "Temporary  directory = %s\n", orEmpty(environment->m_tempDir));
  std::fprintf(stream, "\n");
  std::fprintf(stream, "Executable directory: ");
  printHowSet(stream, environment->m_execDirSet, environment->m_execDirVariable,
              environment->m_execDirUsedVariable);
  std::fprintf(stream, "Scripts    directory: ");
  printHowSet(stream, environment->m_binDirSet, environment->m_binDirVariable, environment->m_binDirUsedVariable);
  std::fprintf(stream, "Temporary  directory: ");
  printHowSet(stream, environment->m_tempDirSet, environment->m_tempDirVariable,
              environment->m_tempDirUsedVariable);
  std::fflush(stream);
}

char *Environment_getName(const Environment *environment) { return zyrCString_clone(environment->m_name); }
char *Environment_getBinDir(const Environment *environment) { return zyrCString_clone(environment->m_binDir); }
char *Environment_getExecDir(const Environment *environment) { return zyrCString_clone(environment->m_execDir); }
char *Environment_getTempDir(const Environment *environment) { return zyrCString_clone(environment->m_tempDir); }

void Environment_overrideBinDir(Environment *environment, const char *directory) {
  Environment_setDir(&environment->m_binDir, &environment->m_binDirSet, directory);
}

void Environment_overrideExecDir(Environment *environment, const char *directory) {
  Environment_setDir(&environment->m_execDir, &environment->m_execDirSet, directory);
}

void Environment_overrideTempDir(Environment *environment, const char *directory) {
  Environment_setDir(&environment->m_tempDir, &environment->m_tempDirSet, directory);
}

int Environment_useBinDirVariable(Environment *environment, const char *variable) {
  return Environment_setDirFromVariable(&environment->m_binDir, &environment->m_binDirSet,
                                        &environment->m_binDirUsedVariable, variable);
}

int Environment_useExecDirVariable(Environment *environment, const char *variable) {
  return Environment_setDirFromVariable(&environment->m_execDir, &environment->m_execDirSet,
                                        &environment->m_execDirUsedVariable, variable);
}

int Environment_useTempDirVariable(Environment *environment, const char *variable) {
  return Environment_setDirFromVariable(&environment->m_tempDir, &environment->m_tempDirSet,
                                        &environment->m_tempDirUsedVariable, variable);
}

int Environment_isExecutableName(const char *command) {
  if (command == nullptr)
    return 0;
  size_t length = std::strlen(command);
  return length > 3 && std::strcmp(command + length - 4, ".exe") == 0 ? 1 : 0;
}

char *Environment_buildVariable(const Environment *environment, const char *command, int isExecutable) {
  const char *prefix = orEmpty(environment->m_name);
  const char *name = orEmpty(command);
  size_t nameLength = std::strlen(name);
  if (isExecutable)
    nameLength = nameLength >= 4 ? nameLength - 4 : 0;
  char *variable = zyrCString_clone(prefix);
  if (*prefix != '\0')
    variable = zyrCString_cat(variable, "_", nullptr);
  char *upperName = zyrCString_substring(name, 0, static_cast<int>(nameLength));
  variable = zyrCString_cat(variable, upperName ? upperName : "", "_", isExecutable ? "EXEC" : "COMMAND", nullptr);
  zyrCString_free(upperName);
  for (char *c = variable; *c != '\0'; ++c)
    *c = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
  return variable;
}

char *Environment_getCommandPath(const Environment *environment, const char *command) {
  int isExecutable = Environment_isExecutableName(command);
  char *variable = Environment_buildVariable(environment, command, isExecutable);
  char *path = zyrReadEnvironmentVariable(variable, nullptr);
  zyrCString_free(variable);
  if (path != nullptr)
    return path;

  const char *name = orEmpty(command);
  if (!isExecutable)
    return zyrCString_merge(orEmpty(environment->m_binDir), "/", name, nullptr);
  path = zyrCString_merge(orEmpty(environment->m_execDir), "/", name, nullptr);
  if (zyrDoesFileExist(path))
    return path;
  char *script = zyrCString_merge(orEmpty(environment->m_binDir), "/", name, nullptr);
  if (zyrDoesFileExist(script)) {
    zyrCString_free(path);
    return script;
  }
  zyrCString_free(script);
  return path;
}
