#ifndef IO_COMPRESS_H
#define IO_COMPRESS_H
// Compressed data arrays: zlib streams (window 15 bits, memory level 8, default strategy) at the
// level that the digit of a data set's format code names.
//
// Stored form of a compressed plain array or block of binary structure records, in place of its
// plain values:
//   length  4 bytes (U, u: an INTR value) or 8 bytes (L, l: an offset value), in the format's
//           byte order: the number of stream bytes that follow, or -1 (arrays only) when the
//           array did not shrink and its plain values follow
//   stream  one zlib stream of the whole array or block, values in the format's byte order.
//           For arrays the length is rounded up to whole values and the pad bytes after the
//           stream are zero; for blocks it is exact.
#include "io_records.h"

#include <cstdio>

// The compression level of a format code: 1-9 when the letter is U, u, L or l and the second
// character a digit 1-9; otherwise 0 (not compressed). A digit "0" counts as no digit, on
// writing and reading alike, so such a code never produces a data part its reader refuses.
int iofmt_compress_level(const char *format);

// Compresses `count` values of the kind (i, I, r, R: 4 bytes; d, D: 8 bytes; c, C: 1 byte)
// into `output`, which holds `capacity` values. A level outside 1-9 becomes 5. Answers the
// compressed size in whole values (rounded up; the pad bytes are zeroed), -1 when the stream
// does not fit the capacity, 0 for an unknown kind or when the compressor cannot start (then
// "deflateInit error: <code>" goes to standard error). The answer also goes to *written when
// given.
int64_t io_gzip(char kind, int level, int64_t count, const void *input, int64_t capacity,
                void *output, int64_t *written);

// Expands a stored stream of `length` bytes into exactly `expected` bytes at `output`. 0, or 23
// after a message naming zlib's complaint or the size found.
int io_gunzip(IO_error_callback callback, int64_t length, const void *stored, int64_t expected,
              void *output);

// Stores NUMBER records of a plain array of `type` with `count` values a record (NUMBER times
// count values from the matching array of `data`) in the compressed form. 0 when stored
// compressed; 23 when the array did not shrink: the length -1 has been written and the caller
// writes the plain values after it; 23 also for a level outside 1-9; other statuses for other
// failures. STRI arrays are never compressed (15).
int write_compressed_dataarray(IO_error_callback callback, const char *format, FILE *stream,
                               int64_t number, int32_t type, int32_t count, IO_data *data);
// Reads what write_compressed_dataarray stored into the matching array of `data` (which must
// hold the values). 0 when read; 29 when the length was -1 (the plain values follow: the caller
// reads them); other statuses for failures (28 when the stored stream cannot be buffered). A
// stored length beyond what a stream of the expected size can take is refused before anything
// is allocated.
int read_compressed_dataarray(IO_error_callback callback, const char *format, FILE *stream,
                              int64_t number, int32_t type, int32_t count, IO_data *data);

// A block of `size` bytes of binary structure records, stored compressed as one unit. The block
// is always stored compressed, however little it shrinks (its output buffer is sized with
// deflateBound). Messages under the names of the structure writer and reader.
int io_write_compressed_block(IO_error_callback callback, const char *format, FILE *stream,
                              const void *block, int64_t size);
int io_read_compressed_block(IO_error_callback callback, const char *format, FILE *stream,
                             void *block, int64_t size);

// The writers above in three steps, so that the compressing can run on another thread while the
// calling thread allocates before it and writes after it (io_pipeline.h):
//   io_deflation_of_array / io_deflation_of_block   calling thread: the output buffer (and for
//                         values stored in the other byte order, the copy to reverse them in);
//                         0 when memory cannot be had (nothing is held then), else 1
//   io_deflate            any thread: the zlib stream, touching only the deflation's buffers
//   io_store_deflated_array / io_store_deflated_block   calling thread: the length field and the
//                         stream, answering as write_compressed_dataarray and
//                         io_write_compressed_block do after their checks
//   io_deflation_release  calling thread: the buffers, whatever was reached
struct IO_deflation {
  int m_level;         // 1-9
  int m_width;         // bytes a value; 1 for a block
  const void *m_input; // the bytes that go into the stream
  uint64_t m_size;
  const void *m_values; // when m_input is a copy to reverse: the values it is made from
  void *m_copy;
  unsigned char *m_output;
  uint64_t m_capacity;
  int m_startCode;     // zlib's code when the compressor did not start, else 0
  int m_fitted;        // 1 when the whole stream fitted the output
  uint64_t m_produced; // the stream's bytes
};

int io_deflation_of_array(const char *format, int32_t type, const void *values, int64_t total,
                          IO_deflation *deflation);
int io_deflation_of_block(const char *format, const void *block, int64_t size,
                          IO_deflation *deflation);
void io_deflate(IO_deflation *deflation);
int io_store_deflated_array(IO_error_callback callback, const char *format, FILE *stream,
                            IO_deflation *deflation);
int io_store_deflated_block(IO_error_callback callback, const char *format, FILE *stream,
                            IO_deflation *deflation);
void io_deflation_release(IO_deflation *deflation);

#endif
