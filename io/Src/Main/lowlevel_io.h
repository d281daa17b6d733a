#ifndef LOWLEVEL_IO_H
#define LOWLEVEL_IO_H
// Typed reading and writing of the values of a data-set file: the bottom of the library, through
// which every byte of a data-set file passes.
//
// A format code is two characters: the format letter (one of IO_FORMAT_LETTERS) and an optional
// second character (NUL when absent). Letter F is the text form: values are right-aligned
// fields of a given width, a given number to a line, each line ended by "\n". The other letters
// are binary: U and L big-endian, u and l little-endian (this machine's order), with file offsets
// of 4 bytes (U, u) or 8 bytes (L, l); D, d, X and x (deleted data sets) count as big-endian.
// Readers reverse INTR, LONG, REAL, DBLE and offset values for every letter except F, u and l;
// writers reverse them for the same letters, so a value written with a letter reads back with
// it. LOGL values and string bytes are never reordered.
//
// Every operation takes the error callback first, reports failures through it and returns a
// status of io_records.h (0 success). The value operations take the format code, the value
// array, the number of values (at least 1), the values per text line and the text field width
// (both at least 1, also in binary form), and the stream. Streams are stdio streams opened in
// binary mode; positions are 64-bit.
#include "io_records.h"

#include <cstdio>

// Strings. Text form: one line; a written string is cut to min(count, width) characters and at
// its first newline, padded with blanks to the width; a read takes one line of at most width+1
// characters, drops trailing white space (never the first character) and refuses more than
// count characters (14); the text is terminated when shorter than count. Binary form: exactly
// count bytes, no terminator.
int wezreadString(IO_error_callback callback, const char *format, char *array, int32_t count,
                  int32_t perLine, int32_t width, FILE *stream);
int wezwriteString(IO_error_callback callback, const char *format, const char *array,
                   int32_t count, int32_t perLine, int32_t width, FILE *stream);

// Header strings. Text form: one line padded to `size` characters. Binary form: the length as a
// 4-byte integer in the format's byte order, then the bytes (an empty string is the length 0
// alone). The writer refuses a string longer than `size` (11). The reader's `size` is the size
// of its buffer, terminator included: it reads at most size-1 characters and always terminates
// the buffer, so to read a field of width n pass a buffer of n+1.
int wezreadHdrString(IO_error_callback callback, const char *format, char *buffer, int32_t size,
                     FILE *stream);
int wezwriteHdrString(IO_error_callback callback, const char *format, const char *text,
                      int32_t size, FILE *stream);

// Numbers. Text form: INTR and LONG "%d"; REAL "%.11E"; DBLE narrowed to single precision then
// "%.11E" (with a warning to the callback on every call); LOGL the character. Binary form: 4
// bytes (INTR, LONG, REAL), 8 (DBLE), 1 (LOGL). A value whose text fills its field is written
// with one blank before it (the field widens), so that it never runs into its neighbour.
int wezreadIntr(IO_error_callback callback, const char *format, int32_t *array, int32_t count,
                int32_t perLine, int32_t width, FILE *stream);
int wezwriteIntr(IO_error_callback callback, const char *format, const int32_t *array,
                 int32_t count, int32_t perLine, int32_t width, FILE *stream);
int wezreadLong(IO_error_callback callback, const char *format, int32_t *array, int32_t count,
                int32_t perLine, int32_t width, FILE *stream);
int wezwriteLong(IO_error_callback callback, const char *format, const int32_t *array,
                 int32_t count, int32_t perLine, int32_t width, FILE *stream);
int wezreadReal(IO_error_callback callback, const char *format, float *array, int32_t count,
                int32_t perLine, int32_t width, FILE *stream);
int wezwriteReal(IO_error_callback callback, const char *format, const float *array,
                 int32_t count, int32_t perLine, int32_t width, FILE *stream);
int wezreadDble(IO_error_callback callback, const char *format, double *array, int32_t count,
                int32_t perLine, int32_t width, FILE *stream);
int wezwriteDble(IO_error_callback callback, const char *format, const double *array,
                 int32_t count, int32_t perLine, int32_t width, FILE *stream);
int wezreadLogl(IO_error_callback callback, const char *format, char *array, int32_t count,
                int32_t perLine, int32_t width, FILE *stream);
int wezwriteLogl(IO_error_callback callback, const char *format, const char *array,
                 int32_t count, int32_t perLine, int32_t width, FILE *stream);

// One file offset. Text form: the decimal value right-aligned in `width` characters (the file's
// offset width, 10 or 20) and "\n"; read as the first value of one line. U/u: 4 bytes, signed
// (values outside 32 bits refused with 15), sign-extended on reading. L/l: 8 bytes. Other
// letters are refused (15).
int wezreadOffset(IO_error_callback callback, const char *format, int64_t *offset, FILE *stream);
int wezwriteOffset(IO_error_callback callback, const char *format, int64_t offset, int32_t width,
                   FILE *stream);

// Reads the index position from the file's last line (a text offset of `width` characters)
// into *offset and seeks there. An empty file gives offset 0 and status 5.
int wezgotoIndexLocation(IO_error_callback callback, int64_t *offset, int32_t width,
                         FILE *stream);

// Parse the values of one text line (at most 1023 characters) into the array, up to `wanted`;
// *got receives how many were found. When the wanted number is reached before the line ends,
// the stream is left at the blank after the last value taken.
int readIntFmtData(IO_error_callback callback, FILE *stream, int32_t *array, int32_t wanted,
                   int32_t *got);
int readLongFmtData(IO_error_callback callback, FILE *stream, int32_t *array, int32_t wanted,
                    int32_t *got);
int readRealFmtData(IO_error_callback callback, FILE *stream, float *array, int32_t wanted,
                    int32_t *got);
int readDbleFmtData(IO_error_callback callback, FILE *stream, double *array, int32_t wanted,
                    int32_t *got);
int readLoglFmtData(IO_error_callback callback, FILE *stream, char *array, int32_t wanted,
                    int32_t *got);

// Rewrites the letter of a format code in place into this machine's order: U, u -> u; L, l -> l;
// X, x -> x; d -> D; D and F stay. Another letter: 15.
int iofmt_make_native(IO_error_callback callback, char *format);

// 1 when the letter is one of IO_FORMAT_LETTERS.
int iofmt_is_valid(char letter);
// 1 when values of this letter are stored in the other byte order (every binary letter but
// u and l).
int iofmt_is_swapped(char letter);

// fread and fgets through the fault seam (zyrFault.h). A read that the system fails, rather than
// one that meets the end of the file, is noted against the stream with its errno: what a short
// read left out is then no sign of where the data ends, and the reads, seeks and messages that
// follow would lose the reason.
size_t io_fread(void *data, size_t size, size_t count, FILE *stream);
char *io_fgets(char *line, int size, FILE *stream);
// The errno of the first read of the stream that the system failed since the stream was
// forgotten (io_forget_stream); 0 when none did.
int io_read_failure(FILE *stream);
// Forgets what was noted of the stream: for a stream newly opened, or about to be closed.
void io_forget_stream(FILE *stream);

// strtoll(text, NULL, 10) of the C locale, without its locale and errno: leading white space, a
// sign, the digits that follow; 0 without digits; LLONG_MAX or LLONG_MIN where the value
// overflows. The numbers of headers and index entries are read with it.
inline long long io_parse_integer(const char *text) {
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  const bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  // The magnitude in unsigned arithmetic: LLONG_MIN's has no positive counterpart.
  const unsigned long long limit = negative ? 9223372036854775808ULL : 9223372036854775807ULL;
  unsigned long long value = 0;
  bool over = false;
  for (; *text >= '0' && *text <= '9'; ++text) {
    const unsigned digit = static_cast<unsigned>(*text - '0');
    if (value > (limit - digit) / 10) over = true;
    else value = value * 10 + digit;
  }
  if (over) value = limit;
  return negative ? static_cast<long long>(0 - value) : static_cast<long long>(value);
}

// The stream position, or -1.
int64_t io_tell(FILE *stream);
// origin 0: from the start; 1: from the current position; 2: from the end (a writable stream is
// flushed first so the size includes buffered output). 0 on success, -1 on failure.
int io_seek(FILE *stream, int64_t offset, int origin);
// Reverses the order of `width` bytes in place.
void io_swap_bytes(void *bytes, int width);

#endif
