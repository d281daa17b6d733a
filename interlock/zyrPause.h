#ifndef ZYR_PAUSE_H
#define ZYR_PAUSE_H
// Pause points: named places in the library where a process can be held while another process
// acts, so that tests of several processes meet each interleaving by design, never by timing.
// They are compiled into every build and do nothing unless the environment names them:
//
//   ZYR_PAUSE_AT  point names separated by ","; "name@n" holds the process only at the n-th
//                 pass of the point (counted from 1 in this process), "name" at every pass.
//   ZYR_PAUSE_FD  a descriptor the process inherited, normally one end of a socket pair. At a
//                 held point the process writes the line "<name> <pid>\n" to it and waits for
//                 one byte; end of file (the test went away) lets it go on as well. Without the
//                 variable the process stops itself (SIGSTOP) and goes on at SIGCONT, which
//                 suits a shell or a parent that waits with WUNTRACED.
//
// The variables are read once, at the first pass of any point. Point names are words joined by
// dots, the place first ("compact.swap"); every point is listed where it is passed.
//
// A test starts the child with the variables set and one end of a socket pair as ZYR_PAUSE_FD,
// reads the announcement, does what must happen meanwhile (another process opens the file, or
// the child is killed there), then writes a byte to let the child go on.

// Holds the process when the environment names the point (see above); otherwise returns at once.
void zyrPause_point(const char *name);

// Whether the environment names any point: lets a caller skip work done only for a pause.
int zyrPause_isArmed();

#endif
