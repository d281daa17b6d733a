#ifndef ZYR_PROCESS_H
#define ZYR_PROCESS_H
// Child processes. A Process is started from a Command, optionally with conduits to talk to it.
// The child gets an argument vector (never a shell): the command's path (or the part of it
// after its last white space), its real arguments as they are, and the words naming each
// conduit that needs them. The command's redirections and the conduits joined to standard
// streams set the child's standard input, output and error; any left unset goes to /dev/null,
// unless consoles are shown (ZYR_SHOW_CONSOLES set, or Process_setShowConsoles(1)) and nothing
// was set, in which case the child shares this process's standard streams. The child inherits no
// other descriptor than those its conduits name and the one its command keeps
// (Command_keepDescriptor).
//
// A child is waited for (Process_wait) or ended (Process_kill, which also waits); its wait
// status is kept for Process_getExitStatus. A record deleted while its child still runs hands
// the child over to be collected by a later Process call, so that no finished child lingers.
#include <cstdint>
#include <cstdio>

struct Command;
struct Conduit;
struct ProcessStartup;

struct Process {
  int32_t m_pid;                // the child's identifier; 0 once it has been ended by Process_kill
  int32_t m_handle;             // the child's identifier while it has not been collected, else 0
  int32_t m_redirectDescriptor; // the file opened for a ">" redirection until the child started; 0 when none
  Process *m_next;              // next in the list of started processes
  int32_t m_status;             // the wait status, once m_hasStatus is 1
  int32_t m_hasStatus;
  int32_t *m_openFiles;         // files opened for redirections, closed once the child started
  int32_t m_noOfOpenFiles;
};

// How a child ended, as given by Process_getExitStatus.
enum ProcessEnd {
  ProcessUnknown = -1,
  ProcessExited = 0,   // value: the exit status
  ProcessSignalled = 1, // value: the signal
  ProcessStopped = 2,  // value: the signal
  ProcessRunning = 3
};

// With a description, one conduit is made and returned in *conduit (which may be NULL when no
// description is given). NULL when the child cannot be started.
Process *Process_new(const Command *command, const char *description, Conduit **conduit);
// n conduit descriptions (NULL entries allowed, giving NULL conduits) and an array of n for the
// parent's ends. NULL when the child cannot be started; the conduits are then deleted and their
// entries set to NULL. No error is published: callers word their own.
Process *Process_newMultiConduit(const Command *command, int32_t n, const char *const *descriptions,
                                 Conduit **conduits);
// Takes the record out of the list of started processes and frees it; the child is neither ended
// nor waited for.
void Process_delete(Process *process);
// Ends the child (SIGKILL) and collects it; a record whose m_pid is 0 is left alone.
void Process_kill(Process *process);
// Waits until the child ends and keeps its status. 1 when the status is known, else 0.
int Process_wait(Process *process);
// 1 only when the child exited with status 0. *how tells how it ended (ProcessEnd) and *value
// the exit status or the signal; a child still running gives ProcessRunning without waiting.
int Process_getExitStatus(Process *process, int32_t *how, int32_t *value);
int Process_showConsoles();
void Process_setShowConsoles(int flag);
void Process_print(const Process *process, FILE *stream);
// Applies the command's redirections to the start-up record, opening the files named (close-on-
// exec, kept in the record until the child has started). 1 when all were applied; 0 when a "<<"
// redirection was met (it opens nothing; the child is still started); -1 when a file could not
// be opened (the child is then not started).
int Process_redirectIO(Process *process, const Command *command, ProcessStartup *startup);

// The redirections of a command, parsed only.
enum ProcessRedirectionKind {
  ProcessRedirectInput = 0,    // "<" file
  ProcessRedirectOutput = 1,   // ">" file
  ProcessRedirectAppend = 2,   // ">>" file
  ProcessRedirectHere = 3,     // "<<" word: nothing is opened
  ProcessRedirectErrorToOutput = 4 // "2>&1"
};
struct ProcessRedirection {
  int32_t m_kind;
  const char *m_file; // the command's own argument, or NULL for "2>&1"
};
// Fills at most Command_getNoOfIoRedirectArgs entries in order; returns their number. An
// operator takes the next argument as its file; other arguments are ignored.
int32_t Process_parseRedirections(const Command *command, ProcessRedirection *redirections);

#endif
