#ifndef ZYR_SYSTEM_H
#define ZYR_SYSTEM_H
// The core's window on the operating system outside processes and conduits: file tests, the
// working directory, date, time and host strings, and the environment. Strings returned here are
// new tracked strings that the caller releases with zyrCString_free; plain results are 1 for
// success or "yes" and 0 for failure or "no".

// 1 when the name is given and something (file or directory) of that name exists.
int zyrDoesFileExist(const char *name);

// The working directory, or NULL when it cannot be read.
char *zyrGetCurrentDirectory();

// Local date ("%a %b %d %Y") and time ("%X %Z") for banners and logs; NULL when unavailable.
char *zyrGetDateString();
char *zyrGetTimeString();
// The host's name, or NULL.
char *zyrGetHostName();

int zyrIsEnvironmentVariableSet(const char *name);
// The variable's value, else a copy of the default, else NULL.
char *zyrReadEnvironmentVariable(const char *name, const char *defaultValue);
// Sets (or replaces) the variable for this process; 0 for a NULL name or a refused entry.
int zyrSetEnvironmentVariable(const char *name, const char *value);

#endif
