#ifndef ZYR_APPLICATION_H
#define ZYR_APPLICATION_H
// Process-wide services of the library as an application component: the working directory in
// which intermediate files are kept, the optional start-up that shows errors on the standard
// output, the exit callbacks with the orderly exit and termination, and the installation's
// directory variables. Single-threaded; nothing here is locked.
typedef void (*zyrApplication_CallBack)();

struct zyrApplicationCallBack {
  zyrApplication_CallBack m_callBack;
  zyrApplicationCallBack *m_next;
};

// Stores the directory's absolute name; 0 (error 10020 published) when there is no directory,
// it is not one, or its absolute name cannot be found. The process's current directory is kept.
int zyrApplication_setWorkingDirectory(const char *directory);
// A new copy of the stored directory (the caller frees it), or NULL when none was set.
char *zyrApplication_getWorkingDirectory();

void zyrApplication_initialise(const char *programName);
// Errors go to the standard output as well when zyrApplication_useStdoutErrors; the program name
// is stored for error records in every case.
void zyrApplication_initialiseOutput(const char *programName);
// 1 after zyrApplication_initialise when P3_INITIAL_PATH is set.
int zyrApplication_useStdoutErrors();

// Callbacks run newest first.
zyrApplicationCallBack *zyrApplication_registerCallBack(zyrApplication_CallBack callBack);
// Removes the newest registration of the callback, if any.
void zyrApplication_unregisterCallBack(zyrApplication_CallBack callBack);
void zyrApplication_runCallBacks();

// A positive code terminates the process with a failure status; a negative code runs the exit
// callbacks; a zero or negative code then closes the session file and returns.
void zyrApplication_exit(int code);
// Terminates the output interfaces, runs the callbacks, closes the session file and ends the
// process: exit(0) for 0, abort() for 2, exit(1) for any other code.
[[noreturn]] void zyrApplication_terminate(int code);

// Sets WEZ5BINDIR (root/bin), WEZ5EXECDIR (root/bin/architecture, "winnt-amd64" by default) and
// WEZ5_UNITS_DIR (root/etc); 0 when the root is not a directory or a variable cannot be set.
int zyrApplication_setWEZBaseDirectory(const char *root, const char *architecture);

// Contexts are not kept: -1, -1 and 0.
int zyrApplication_pushContext();
int zyrApplication_popContext(int context);
int zyrApplication_getContext();

#endif
