#ifndef ZYR_PIPE_H
#define ZYR_PIPE_H
// An anonymous pipe, or one end of one, with raw and typed transfer. Typed values travel as the
// raw bytes of this machine (int32 and float 4 bytes, double 8); strings, byte blocks and arrays
// are preceded by a 4-byte count. Every transfer goes on until the full count has moved, the
// other side has closed, or an error occurs. Writes to a pipe whose reader is gone fail with
// EPIPE (kept for Pipe_getErrorString) and never raise SIGPIPE in this process.
//
// Both descriptors of a new pipe are close-on-exec: a child gets an end only when it is named
// to the process starter (ProcessStartup) or made one of its standard streams.
#include <cstdint>
#include <cstdio>

struct Pipe {
  int32_t m_open[2];  // read end open, write end open
  int32_t m_fifo[2];  // read descriptor, write descriptor
  int32_t m_errno;    // error number of the last failed transfer, 0 at creation
  int32_t m_hRead;    // read end of a pipe made here (-1 for an existing descriptor)
  int32_t m_hWrite;   // write end of a pipe made here
};

// Longest string or byte block a receive accepts from the other side (bytes, terminator
// included).
enum { Pipe_maximumTransfer = 1 << 28 };

// NULL when the system refuses a pipe.
Pipe *Pipe_new();
// A record holding an existing descriptor as its read end (end 0) or write end (end 1).
// Descriptors above 2 are made close-on-exec. NULL for a negative descriptor or another end.
Pipe *Pipe_newExisting(int32_t descriptor, int32_t end);
// Closes the open ends (flushing the standard stream first for descriptors 1 and 2).
void Pipe_delete(Pipe *pipe);
void Pipe_print(const Pipe *pipe, FILE *stream);

int32_t Pipe_getReadFd(const Pipe *pipe);
int32_t Pipe_getWriteFd(const Pipe *pipe);
int Pipe_isGood(const Pipe *pipe);

// 1 when all bytes were written (also for a count of 0); otherwise 0 with the error number kept.
int Pipe_write(Pipe *pipe, const void *bytes, int64_t count);
// One read of up to count bytes: the number read, 0 at end of file, -1 on error.
int64_t Pipe_read(Pipe *pipe, void *buffer, int64_t count);
// Reads until count bytes arrived or the writer closed: the number read, or -1 on error.
int64_t Pipe_readFully(Pipe *pipe, void *buffer, int64_t count);

int Pipe_putInt(Pipe *pipe, int32_t value);
int Pipe_putFloat(Pipe *pipe, float value);
int Pipe_putDouble(Pipe *pipe, double value);
// 1 when all bytes of the value arrived.
int Pipe_getInt(Pipe *pipe, int32_t *value);
int Pipe_getFloat(Pipe *pipe, float *value);
int Pipe_getDouble(Pipe *pipe, double *value);

// A 4-byte count n, then n bytes.
int Pipe_putBytes(Pipe *pipe, const void *bytes, int32_t count);
// Receives the count into *count and the bytes into the buffer. A count that is negative or
// above the capacity is refused (result 0, the bytes are left unread); 1 when all arrived.
int Pipe_getBytes(Pipe *pipe, void *buffer, int32_t capacity, int32_t *count);

// The 4-byte length (text length plus 1), then the text and its terminator. NULL sends "".
int Pipe_putString(Pipe *pipe, const char *text);
// *text becomes a new string (caller frees it with zyrCString_free) holding what arrived,
// terminated; NULL when no valid length arrived. A length below 1 or above Pipe_maximumTransfer
// is refused. 1 when the whole string arrived, else 0 (with the part that arrived kept).
int Pipe_getString(Pipe *pipe, char **text);

// The 4-byte count n, then n elements.
int Pipe_putIntArray(Pipe *pipe, const int32_t *values, int32_t count);
int Pipe_putFloatArray(Pipe *pipe, const float *values, int32_t count);
int Pipe_putDoubleArray(Pipe *pipe, const double *values, int32_t count);
// Capacity in elements; a count beyond it (or negative) is refused as for Pipe_getBytes.
int Pipe_getIntArray(Pipe *pipe, int32_t *values, int32_t capacity, int32_t *count);
int Pipe_getFloatArray(Pipe *pipe, float *values, int32_t capacity, int32_t *count);
int Pipe_getDoubleArray(Pipe *pipe, double *values, int32_t capacity, int32_t *count);

void Pipe_closeRead(Pipe *pipe);
void Pipe_closeWrite(Pipe *pipe);

// Plumbing of this process's standard streams (for a process acting as the child itself):
// writeToStdIn: standard input reads the pipe (the write end is closed);
// readFromStdOut: standard output and error write into the pipe (the read end is closed);
// takeStdIn: the read descriptor takes over standard input, which is then closed;
// takeStdOut: the write descriptor takes over standard output, which then goes to standard error.
void Pipe_writeToStdIn(Pipe *pipe);
void Pipe_readFromStdOut(Pipe *pipe);
void Pipe_takeStdIn(Pipe *pipe);
void Pipe_takeStdOut(Pipe *pipe);

// New string with the text of the kept error number.
char *Pipe_getErrorString(const Pipe *pipe);

#endif
