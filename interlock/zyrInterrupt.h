#ifndef ZYR_INTERRUPT_H
#define ZYR_INTERRUPT_H
// Interrupts: a program's request that the work in hand be abandoned, because the user pressed
// Ctrl-C or the system asked the program to end. The library installs no signal handler of its
// own. A program that wants its interrupts to end the work as a failed call ends (rolled back,
// its temporary and lock files removed) installs a handler (without SA_RESTART, so that a wait
// in the system returns) that calls zyrInterrupt_request. The long operations of the library
// look at the request between their steps and while they wait for another process; once they
// see it they fail, saying what was abandoned, and the program closes what it opened and ends,
// by custom with the status 128 + the signal.
//
// The request stays until it is cleared: every operation after it fails at its first look, so
// that the program gets back to its end without starting anything new.

// Records the request of the signal (the first one stays) and wakes zyrInterrupt_waitReadable.
// Safe in a signal handler: it stores a number and writes one byte to a pipe.
void zyrInterrupt_request(int signal);
// The signal of the request in force, 0 when there is none.
int zyrInterrupt_signal();
// Forgets the request.
void zyrInterrupt_clear();
// Waits until the descriptor has something to read (or its end, or an error, for the read to
// tell) or an interrupt is requested: 1 for the descriptor, 0 for the interrupt.
int zyrInterrupt_waitReadable(int fd);
// The signal's name ("SIGINT", "SIGTERM", ...), or "a signal" for one without a name here.
const char *zyrInterrupt_signalName(int signal);

#endif
