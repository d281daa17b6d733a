#ifndef ZYR_PROCESS_STARTUP_H
#define ZYR_PROCESS_STARTUP_H
// What a child process is given at its start besides its command line: the descriptors that
// become its standard input, output and error, and the further descriptors it keeps under their
// own numbers (the ends of conduits named on its command line). Every descriptor of this library
// is close-on-exec; only those named here reach the child.
//
// The parent fills the record before it starts the child (the conduits through
// Conduit_setChildHandles, redirections through ProcessStartup_setStandardStream) and the child,
// between fork and exec, calls ProcessStartup_applyInChild.
#include <cstdint>
#include <cstdio>

enum { ProcessStartup_maximumInherited = 64 };

struct ProcessStartup {
  int32_t m_standard[3];   // descriptor for the child's stdin, stdout, stderr; -1 when not set
  int m_useStandard;       // 1 once any standard stream is set: the others then get /dev/null
  int32_t m_inherited[ProcessStartup_maximumInherited];
  int32_t m_noOfInherited;
};

ProcessStartup *ProcessStartup_new();
void ProcessStartup_delete(ProcessStartup *startup);
void ProcessStartup_print(const ProcessStartup *startup, FILE *stream);

// stream 0, 1 or 2; 0 for another stream or a negative descriptor.
int ProcessStartup_setStandardStream(ProcessStartup *startup, int32_t stream, int32_t descriptor);
// The child keeps the descriptor under its number; 0 when the list is full or the descriptor
// negative. A descriptor named twice is kept once.
int ProcessStartup_inherit(ProcessStartup *startup, int32_t descriptor);

// In the child, after fork and before exec: joins the standard streams as recorded (unset ones
// to /dev/null when any is set) and clears close-on-exec on the inherited descriptors. Uses only
// async-signal-safe calls. 1 on success, 0 when a call failed.
int ProcessStartup_applyInChild(const ProcessStartup *startup);

#endif
