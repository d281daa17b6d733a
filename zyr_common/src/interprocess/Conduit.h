#ifndef ZYR_CONDUIT_H
#define ZYR_CONDUIT_H
// A two-way channel between a parent process and a child it starts: a pair of anonymous pipes or
// a socket. The parent describes it in a short text:
//
//   "pipe"            two pipes; the child is told their descriptors by "-conduit pipe R.W"
//   "pipe: 1.0"       two pipes joined to the child's standard streams (no argument for the child)
//   "socket domain=inet mode=server port=0 type=stream name=conduit.1.2 host=127.0.0.1"
//                     (':' and ',' count as blanks; keys in any order, "domain" before "path",
//                     "port" and "host"; unix sockets take "path=")
//
// The parent's side: Conduit_newBeforeSpawn, then, while the child's start is prepared,
// Conduit_setChildHandles (names the descriptors the child must get) and
// Conduit_getArgumentString / Conduit_getArgumentWords (the child's command-line words, or none),
// and once the child runs Conduit_afterSpawn (closes the child's ends here, accepts or connects).
// When the child cannot be started the conduit is deleted at once. The child's side:
// Conduit_newFromArgs over its own arguments.
//
// Typed values travel in the wire encoding: over pipes the raw bytes of this machine with a
// 4-byte count before strings (length plus terminator), byte blocks and arrays; over sockets the
// 80-byte text fields of ConduitWire.h, a count field before strings and byte blocks, and no
// arrays. Each conduit keeps its own read-ahead: text lines read by Conduit_getline and raw or
// typed receives can be mixed on one conduit without losing bytes.
//
// Results of the transfers are those of the transport: over pipes 1 for success and 0 for
// failure (raw reads and writes: counts as noted); over sockets the number of bytes moved, 0 for
// a short or malformed transfer and -1 for an error. A positive result always means success.
#include <cstdarg>
#include <cstdint>
#include <cstdio>

struct Pipe;
struct Socket;
struct ProcessStartup;

enum ConduitType { ConduitPipe = 0, ConduitSocket = 1 };
enum ConduitSocketDomain { ConduitUnix = 0, ConduitInet = 1 };
enum ConduitSocketType { ConduitStream = 0, ConduitDatagram = 1 };
enum ConduitSocketMode { ConduitServer = 0, ConduitClient = 1, ConduitPeer = 2 };

enum { Conduit_readAheadSize = 4096 };
// Longest line Conduit_getline returns in one piece; a longer one comes in several.
enum { Conduit_maximumLine = 1 << 24 };

struct Conduit {
  Socket *m_socket;
  Pipe *m_readPipe;
  Pipe *m_writePipe;
  char *m_name;            // the port file's name
  int32_t m_type;
  int32_t m_socketDomain;
  int32_t m_socketType;
  int32_t m_socketMode;
  int32_t m_socketPort;
  char *m_socketName;      // host (inet) or socket path (unix), or NULL
  int32_t m_fd_read;       // pipe: this side's read descriptor; -1 when not given
  int32_t m_fd_write;      // pipe: this side's write descriptor; -1 when not given
  int32_t m_communicate;   // 1 when this side wrote the port file (and removes it)
  int32_t m_isGood;
  int32_t m_ownsSocketPath; // 1 when this side bound the unix socket file (and removes it)
  int32_t m_aheadPosition;
  int32_t m_aheadFill;
  char m_ahead[Conduit_readAheadSize];
};

// The parsed description with default names, nothing opened: m_isGood tells whether it parsed
// (a failure is published as error 10020, a negative or too large port first as 10017).
Conduit *Conduit_newFromDescription(const char *description);
// The parent's end; always a record (Conduit_isGood tells whether it is usable).
Conduit *Conduit_newBeforeSpawn(const char *description);
// Records in the start-up record what the child must get: standard streams for "pipe" with
// the numbers 1 and 0, inherited descriptors for those named on its command line. 0 when the
// conduit is not good.
int Conduit_setChildHandles(Conduit *conduit, ProcessStartup *startup);
// The child's argument as one text (a new string), NULL when the child needs none, " " for a
// conduit that is not good.
char *Conduit_getArgumentString(const Conduit *conduit);
// The same as separate words for an argument vector: a new array (zyrCStringArray_free) and its
// count; NULL and 0 when the child needs none or the conduit is not good.
char **Conduit_getArgumentWords(const Conduit *conduit, int32_t *count);
// Completes the parent's end once the child runs: closes the child's pipe ends here; a server
// accepts the child's connection, a client connects to the child's server (reading the port
// file of an inet child), a peer associates with the child's socket. Waits are bounded by
// Conduit_setWaitLimit. 1 on success; 0 (and the conduit not good) otherwise.
int Conduit_afterSpawn(Conduit *conduit);
// For a process that holds a copy of the parent's "pipe: 1.0"-style conduit and acts as the
// child itself: joins its own standard streams to the pipes. 0 when not good.
int Conduit_redirectStandardStreams(Conduit *conduit);

// The child's end from a description; NULL when it cannot be made.
Conduit *Conduit_newChildEnd(const char *description);
// Finds the first argument beginning with "-conduit" and the words after it up to the next one
// beginning with '-', removes them from the list (*count drops), and gives their description as
// a new string ("pipe" for a bare "-conduit"). 0 when there is none.
int Conduit_findArgument(int32_t *count, char **arguments, char **description);
// The child's end named on its command line (the words are removed), else the default
// description's child end, else NULL.
Conduit *Conduit_newFromArgs(int32_t *count, char **arguments, const char *defaultDescription);

// Removes only the files this side made: the unix socket it bound (when still a socket) and
// the port file it wrote.
void Conduit_delete(Conduit *conduit);
int Conduit_isGood(const Conduit *conduit);
void Conduit_print(const Conduit *conduit, FILE *stream);
// Bound on each wait of a conduit for the other side (accept, port file, connection), in
// milliseconds; returns the previous value. The default is 30000.
int32_t Conduit_setWaitLimit(int32_t milliseconds);

// Raw bytes. write: pipe 1/0, socket the count sent or -1. read: one read of up to count bytes
// (bytes read ahead first): the number read, 0 at the end, -1 on error.
int64_t Conduit_write(Conduit *conduit, const void *bytes, int64_t count);
int64_t Conduit_read(Conduit *conduit, void *buffer, int64_t count);

int64_t Conduit_putInt(Conduit *conduit, int32_t value);
int64_t Conduit_putFloat(Conduit *conduit, float value);
int64_t Conduit_putDouble(Conduit *conduit, double value);
int64_t Conduit_getInt(Conduit *conduit, int32_t *value);
int64_t Conduit_getFloat(Conduit *conduit, float *value);
int64_t Conduit_getDouble(Conduit *conduit, double *value);

// A count and the bytes. The receive refuses (result 0, bytes left unread) a count that is
// negative or above the capacity; *count tells the count received.
int64_t Conduit_putBytes(Conduit *conduit, const void *bytes, int32_t count);
int64_t Conduit_getBytes(Conduit *conduit, void *buffer, int32_t capacity, int32_t *count);
// NULL sends "". The receive gives a new string (zyrCString_free) or NULL; over a pipe the part
// of a string cut short is kept (result 0).
int64_t Conduit_putString(Conduit *conduit, const char *text);
int64_t Conduit_getString(Conduit *conduit, char **text);

// Pipes only (over a socket: 0, nothing moves). Capacities in elements.
int64_t Conduit_putDoubleArray(Conduit *conduit, const double *values, int32_t count);
int64_t Conduit_putFloatArray(Conduit *conduit, const float *values, int32_t count);
int64_t Conduit_putIntArray(Conduit *conduit, const int32_t *values, int32_t count);
int64_t Conduit_getDoubleArray(Conduit *conduit, double *values, int32_t capacity, int32_t *count);
int64_t Conduit_getFloatArray(Conduit *conduit, float *values, int32_t capacity, int32_t *count);
int64_t Conduit_getIntArray(Conduit *conduit, int32_t *values, int32_t capacity, int32_t *count);

// The text and '\n' in one write; NULL sends nothing and answers 0.
int64_t Conduit_putLine(Conduit *conduit, const char *text);
// The formatted text in one write, without terminator.
int64_t Conduit_printf(Conduit *conduit, const char *format, ...) __attribute__((format(printf, 2, 3)));
int64_t Conduit_vprintf(Conduit *conduit, const char *format, va_list arguments) __attribute__((format(printf, 2, 0)));

// Reads the next line into *line (a tracked buffer of *capacity bytes, grown as needed; NULL
// and 0 are allowed), with the line end replaced by the terminator. The line's length, or -1
// when nothing was left to read. A read error ends the line like the end of the data.
int64_t Conduit_getline(Conduit *conduit, char **line, int64_t *capacity);

#endif
