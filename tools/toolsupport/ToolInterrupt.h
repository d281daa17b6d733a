#ifndef TOOL_INTERRUPT_H
#define TOOL_INTERRUPT_H
// How the tools end on SIGINT and SIGTERM: as a failed call ends. The handler only asks the
// library to abandon the work in hand (zyrInterrupt.h); the call in progress fails at its next
// step, rolled back with its temporary files, the tool closes what it opened, says in one line
// what was abandoned and ends with the status 128 + the signal (130, 143). A second signal of
// the same kind ends the tool at once: whatever that leaves carries the tool's process id and is
// removed the next time the library works in that directory.
#include <cstdio>
#include <string>
#include <sys/stat.h>

// Installs the handlers for SIGINT and SIGTERM (without SA_RESTART, so that a wait for input or
// for a child returns to the tool).
void ToolInterrupt_catch();
// For a tool that holds nothing to close or remove: the handlers end it at once, writing the
// line of ToolInterrupt_describe with "*work was abandoned" (work: what the tool does at the
// moment, kept up to date by the tool; NULL or a NULL text: the tool's work) to the standard
// error stream.
void ToolInterrupt_catchAndEnd(const char *tool, const char *const *work);
// "<tool>: interrupted (<signal>): <what>", for the signal requested (zyrInterrupt_signal()).
std::string ToolInterrupt_describe(const char *tool, const std::string &what);
// Writes that line, the what given printf-style, and a line end to the stream; answers 128 + the
// signal. Call it only once zyrInterrupt_signal() is not 0.
int ToolInterrupt_end(FILE *stream, const char *tool, const char *what, ...) __attribute__((format(printf, 3, 4)));

// Removes the file that the tool wrote under the name, with its lock file, for a tool whose work was
// abandoned once the file was written: only while the name still leads to that file (`written`,
// its status), so that whatever took the name meanwhile stays.
void ToolInterrupt_removeWritten(const char *name, const struct stat &written);

#endif
