#ifndef ZYR_ENVIRONMENT_H
#define ZYR_ENVIRONMENT_H
// The installation environment: the directories of an installation named by environment
// variables built from a prefix ("WEZ5" by default). Executables live in the directory of
// <prefix>EXECDIR, scripts in that of <prefix>BINDIR, temporary files in that of TMPDIR ("."
// when unset). A single command can be moved elsewhere by its own override variable:
// <PREFIX>_<NAME>_EXEC for an executable "name.exe", <PREFIX>_<NAME>_COMMAND for anything else.
//
// Every directory records how it was set: 0 from its standard variable, 1 from another variable
// (whose name is kept), 2 by an explicit override, other values a standard default.
#include <cstdint>
#include <cstdio>

struct Environment {
  char *m_name;            // the prefix
  char *m_binDir;          // scripts
  char *m_execDir;         // executables
  char *m_tempDir;
  char *m_binDirVariable;  // "<prefix>BINDIR"
  char *m_execDirVariable; // "<prefix>EXECDIR"
  char *m_tempDirVariable; // "TMPDIR"
  int32_t m_binDirSet;
  int32_t m_execDirSet;
  int32_t m_tempDirSet;
  char *m_binDirUsedVariable; // the non-standard variables used instead, NULL until set
  char *m_execDirUsedVariable;
  char *m_tempDirUsedVariable;
};

// NULL (with error 10019 published, naming the missing variables) unless both directory
// variables of the prefix are set.
Environment *Environment_new(const char *prefix);
void Environment_delete(Environment *environment);
void Environment_print(const Environment *environment, FILE *stream);

// New copies.
char *Environment_getName(const Environment *environment);
char *Environment_getBinDir(const Environment *environment);
char *Environment_getExecDir(const Environment *environment);
char *Environment_getTempDir(const Environment *environment);

// Explicit overrides; the directory must be given.
void Environment_overrideBinDir(Environment *environment, const char *directory);
void Environment_overrideExecDir(Environment *environment, const char *directory);
void Environment_overrideTempDir(Environment *environment, const char *directory);
// Take the directory from another variable when it is set (1); an unset variable changes
// nothing (0).
int Environment_useBinDirVariable(Environment *environment, const char *variable);
int Environment_useExecDirVariable(Environment *environment, const char *variable);
int Environment_useTempDirVariable(Environment *environment, const char *variable);

// The path of a command: the value of its override variable when set; else for "name.exe" the
// executables directory's file, or the scripts directory's when only that one exists; for any
// other name the scripts directory's file. A new string.
char *Environment_getCommandPath(const Environment *environment, const char *command);
// The name of a command's override variable (a new string).
char *Environment_buildVariable(const Environment *environment, const char *command, int isExecutable);
// 1 when the name is longer than 3 characters and ends in ".exe" (case-sensitive).
int Environment_isExecutableName(const char *command);

#endif
