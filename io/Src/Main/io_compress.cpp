// Compressed data arrays and blocks: zlib streams behind a length field.
#include "io_compress.h"

#include "io_alloc.h"
#include "io_error.h"
#include "iodata.h"
#include "lowlevel_io.h"
#include "zyrFault.h"

#include <zlib.h>

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstring>

namespace {

// zlib counts in unsigned ints: larger buffers go through it in pieces of this size. Everything
// a data part normally holds fits one piece, so it is compressed with one call.
const uint64_t kZlibPiece = 1u << 30;

bool isCompressLetter(char letter) {
  return letter == 'U' || letter == 'u' || letter == 'L' || letter == 'l';
}

int kindWidth(char kind) {
  switch (kind) {
  case 'i':
  case 'I':
  case 'r':
  case 'R': return 4;
  case 'd':
  case 'D': return 8;
  case 'c':
  case 'C': return 1;
  default: return 0;
  }
}

char kindOfType(int32_t type) {
  switch (type) {
  case IO_TYPE_INTR: return 'i';
  case IO_TYPE_REAL: return 'r';
  case IO_TYPE_DBLE: return 'd';
  case IO_TYPE_CHAR:
  case IO_TYPE_LOGL: return 'c';
  default: return '\0';
  }
}

// Hands zlib the next piece of input and output whenever it has used up the last one.
struct Pieces {
  const unsigned char *m_in;
  uint64_t m_inLeft;
  unsigned char *m_out;
  uint64_t m_outLeft;
};

void feed(z_stream *zs, Pieces *pieces) {
  if (zs->avail_in == 0 && pieces->m_inLeft > 0) {
    uint64_t n = pieces->m_inLeft < kZlibPiece ? pieces->m_inLeft : kZlibPiece;
    zs->next_in = const_cast<Bytef *>(pieces->m_in);
    zs->avail_in = static_cast<uInt>(n);
    pieces->m_in += n;
    pieces->m_inLeft -= n;
  }
  if (zs->avail_out == 0 && pieces->m_outLeft > 0) {
    uint64_t n = pieces->m_outLeft < kZlibPiece ? pieces->m_outLeft : kZlibPiece;
    zs->next_out = pieces->m_out;
    zs->avail_out = static_cast<uInt>(n);
    pieces->m_out += n;
    pieces->m_outLeft -= n;
  }
}

// Runs an initialised compressor over the whole input into the output. Answers 1 when the
// whole stream fitted (its size in *produced), 0 when it did not.
int deflateAll(z_stream *zs, const void *input, uint64_t size, void *output, uint64_t capacity,
               uint64_t *produced) {
  Pieces pieces = {static_cast<const unsigned char *>(input), size,
                   static_cast<unsigned char *>(output), capacity};
  zs->avail_in = 0;
  zs->avail_out = 0;
  uint64_t written = 0;
  for (;;) {
    feed(zs, &pieces);
    uInt inBefore = zs->avail_in, before = zs->avail_out;
    int flush = pieces.m_inLeft == 0 ? Z_FINISH : Z_NO_FLUSH;
    int code = deflate(zs, flush);
    written += before - zs->avail_out;
    if (code == Z_STREAM_END) {
      *produced = written;
      return 1;
    }
    if (code != Z_OK && code != Z_BUF_ERROR) return 0;
    if (zs->avail_in == inBefore && zs->avail_out == before) return 0; // no progress
    // Out of room: the output is full and no further piece remains.
    if (zs->avail_out == 0 && pieces.m_outLeft == 0) return 0;
  }
}

// Starts a compressor without a word; zlib's code (Z_OK when it started).
int openCompressor(z_stream *zs, int level) {
  memset(zs, 0, sizeof *zs);
  return deflateInit(zs, level);
}

void reportStartFailure(int code) { fprintf(stderr, "%s error: %d\n", "deflateInit", code); }

int startCompressor(z_stream *zs, int level) {
  int code = openCompressor(zs, level);
  if (code != Z_OK) {
    reportStartFailure(code);
    return 0;
  }
  return 1;
}

int clampLevel(int level) { return level < 1 || level > 9 ? 5 : level; }

// The level a format's digit names, 5 for anything else.
int levelOfFormat(const char *format) {
  return clampLevel(format[1] >= '0' && format[1] <= '9' ? format[1] - '0' : 0);
}

// Pads a stream up to whole values with zeros, so that files are reproducible; its size in
// values. The output holds whole values, so the pad fits.
int64_t padToValues(unsigned char *output, uint64_t produced, int width) {
  uint64_t values = (produced + static_cast<uint64_t>(width) - 1) / static_cast<uint64_t>(width);
  memset(output + produced, 0, values * static_cast<uint64_t>(width) - produced);
  return static_cast<int64_t>(values);
}

// The largest stored length that a stream expanding to `expected` bytes can have when written
// by any of the library's writers, rounded up to whole values.
int64_t storedLengthBound(int64_t expected, int width) {
  uint64_t bound = compressBound(static_cast<uLong>(expected));
  uint64_t rounded = (bound + static_cast<uint64_t>(width) - 1) / static_cast<uint64_t>(width) *
                     static_cast<uint64_t>(width);
  return rounded > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(rounded);
}

// Writes a length field: an INTR value for U and u, an offset for L and l.
int writeLength(IO_error_callback callback, const char *format, int64_t length, FILE *stream) {
  if (format[0] == 'U' || format[0] == 'u') {
    int32_t value = static_cast<int32_t>(length);
    return wezwriteIntr(callback, format, &value, 1, 1, 1, stream);
  }
  return wezwriteOffset(callback, format, length, 20, stream);
}

// Reads a length field; an 8-byte one must fit 32 bits. `name` heads the messages.
int readLength(IO_error_callback callback, const char *name, const char *format, FILE *stream,
               int64_t *length) {
  int status;
  switch (format[0]) {
  case 'U':
  case 'u': {
    int32_t value = 0;
    status = wezreadIntr(callback, format, &value, 1, 1, 1, stream);
    *length = value;
    break;
  }
  case 'L':
  case 'l':
    status = wezreadOffset(callback, format, length, stream);
    if (status == IO_OK && (*length > INT32_MAX || *length < INT32_MIN)) {
      io_report_error(callback,
                      "%s: offset %" PRId64 " too large for integer,\nwould be written as %" PRId64
                      ".  Possibly compressed chunk >2Gb.",
                      name, *length,
                      static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(*length))));
      return IO_FORMAT_ERR;
    }
    break;
  default:
    io_report_error(callback, "%s: bad compressed format %c%c", name,
                    io_format_char(format[0], '?'), io_format_char(format[1], '?'));
    return IO_FORMAT_ERR;
  }
  if (status != IO_OK)
    io_report_error(callback, "%s: can not read the compressed data length", name);
  return status;
}

// Reads `size` stored bytes into a new buffer; NULL after a report.
unsigned char *readStored(IO_error_callback callback, const char *mallocText, const char *readText,
                          int *status, int64_t size, FILE *stream) {
  unsigned char *buffer = static_cast<unsigned char *>(io_malloc(static_cast<size_t>(size)));
  if (!buffer) {
    io_report_error(callback, "%s", mallocText);
    *status = IO_ALLOC_ERR; // not 14: larger arrays would not help
    return nullptr;
  }
  if (io_fread(buffer, 1, static_cast<size_t>(size), stream) != static_cast<size_t>(size)) {
    io_report_error(callback, "%s", readText);
    io_free(buffer);
    *status = IO_READ_ERR;
    return nullptr;
  }
  *status = IO_OK;
  return buffer;
}

template <int Width> void swapEach(unsigned char *bytes, int64_t count) {
  for (int64_t i = 0; i < count; ++i) io_swap_bytes(bytes + i * Width, Width);
}

void swapValues(void *values, int width, int64_t count) {
  unsigned char *bytes = static_cast<unsigned char *>(values);
  if (width == 4)
    swapEach<4>(bytes, count);
  else if (width == 8)
    swapEach<8>(bytes, count);
}

// Width of the plain values of a type code in a compressed array; 0 when the type is never
// compressed.
int compressedWidth(int32_t type) { return kindWidth(kindOfType(type)); }

// Whether the array of a type holds NUMBER records of COUNT values (*total), at most INT32_MAX.
bool arrayHolds(const IO_data *data, int32_t type, int64_t number, int32_t count,
                int64_t *total) {
  bool tooMany = __builtin_mul_overflow(number, static_cast<int64_t>(count), total);
  const int32_t *have = iodata_type_count(data, type);
  return !tooMany && *total <= INT32_MAX && have && iodata_type_array(data, type) &&
         *have >= *total;
}

} // namespace

int iofmt_compress_level(const char *format) {
  if (!format || !isCompressLetter(format[0])) return 0;
  char digit = format[1];
  return digit >= '1' && digit <= '9' ? digit - '0' : 0;
}

int64_t io_gzip(char kind, int level, int64_t count, const void *input, int64_t capacity,
                void *output, int64_t *written) {
  int64_t result = 0;
  int width = kindWidth(kind);
  z_stream zs;
  if (width > 0 && count >= 0 && capacity >= 0 && input && output &&
      startCompressor(&zs, clampLevel(level))) {
    uint64_t produced = 0;
    uint64_t size = static_cast<uint64_t>(count) * static_cast<uint64_t>(width);
    uint64_t room = static_cast<uint64_t>(capacity) * static_cast<uint64_t>(width);
    if (deflateAll(&zs, input, size, output, room, &produced)) {
      result = padToValues(static_cast<unsigned char *>(output), produced, width);
    } else {
      result = -1;
    }
    deflateEnd(&zs);
  }
  if (written) *written = result;
  return result;
}

int io_gunzip(IO_error_callback callback, int64_t length, const void *stored, int64_t expected,
              void *output) {
  if (length < 0 || expected < 0 || !stored || (!output && expected > 0)) {
    io_report_error(callback, "io_gunzip: passing parameters are wrong");
    return IO_COMPRESS_ERR;
  }
  z_stream zs;
  memset(&zs, 0, sizeof zs);
  int code = inflateInit(&zs);
  if (code != Z_OK) {
    io_report_error(callback, "io_gunzip: inflateInit failed: %d", code);
    return IO_COMPRESS_ERR;
  }
  Pieces pieces = {static_cast<const unsigned char *>(stored), static_cast<uint64_t>(length),
                   static_cast<unsigned char *>(output), static_cast<uint64_t>(expected)};
  unsigned char spare; // gives zlib somewhere to write when nothing is expected
  if (expected == 0) {
    zs.next_out = &spare;
    zs.avail_out = 0;
  }
  uint64_t got = 0;
  for (;;) {
    feed(&zs, &pieces);
    uInt inBefore = zs.avail_in, outBefore = zs.avail_out;
    bool last = pieces.m_inLeft == 0 && pieces.m_outLeft == 0;
    code = inflate(&zs, last ? Z_FINISH : Z_NO_FLUSH);
    got += outBefore - zs.avail_out;
    if (code == Z_STREAM_END) break;
    if (code != Z_OK) break;
    if (zs.avail_in == inBefore && zs.avail_out == outBefore) {
      code = Z_BUF_ERROR; // no progress: input or output ran out before the stream's end
      break;
    }
  }
  int status = IO_OK;
  if (code != Z_STREAM_END) {
    status = IO_COMPRESS_ERR;
    switch (code) {
    case Z_BUF_ERROR: io_report_error(callback, "io_gunzip: Buffer error"); break;
    case Z_MEM_ERROR: io_report_error(callback, "io_gunzip: Out of memory error"); break;
    case Z_DATA_ERROR: io_report_error(callback, "io_gunzip: Data error"); break;
    case Z_OK: io_report_error(callback, "io_gunzip: Terminated before end"); break;
    default: io_report_error(callback, "io_gunzip: error %d decompressing data", code); break;
    }
  }
  if (got != static_cast<uint64_t>(expected)) {
    io_report_error(callback,
                    "io_gunzip: decompressed %s data: got %" PRId64 " bytes, expected %" PRId64,
                    got > static_cast<uint64_t>(expected) ? "too much" : "too little",
                    static_cast<int64_t>(got), expected);
    status = IO_COMPRESS_ERR;
  }
  code = inflateEnd(&zs);
  if (code != Z_OK) {
    io_report_error(callback, "io_gunzip: inflateEnd failed: %d", code);
    return IO_COMPRESS_ERR;
  }
  return status;
}

int write_compressed_dataarray(IO_error_callback callback, const char *format, FILE *stream,
                               int64_t number, int32_t type, int32_t count, IO_data *data) {
  if (!format || !stream || !data || number < 0 || count < 0) {
    io_report_error(callback, "write_compressed_dataarray: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  int level = format[1] >= '0' && format[1] <= '9' ? format[1] - '0' : -1;
  if (level < 1 || level > 9) {
    io_report_error(callback, "read_unfmt_structure: the compress level in the data is wrong");
    return IO_COMPRESS_ERR;
  }
  if (!isCompressLetter(format[0])) {
    io_report_error(callback, "write_compressed_dataarray: bad compressed format %c%c",
                    io_format_char(format[0], '?'), io_format_char(format[1], ' '));
    return IO_FORMAT_ERR;
  }
  int width = compressedWidth(type);
  if (width == 0) {
    io_report_error(callback, "read_single_dataarray: unknown data format %d", type);
    return IO_FORMAT_ERR;
  }
  int64_t total = 0;
  if (!arrayHolds(data, type, number, count, &total)) {
    io_report_error(callback, "write_compressed_dataarray: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  IO_deflation deflation;
  if (!io_deflation_of_array(format, type, iodata_type_array(data, type), total, &deflation)) {
    io_report_error(callback, "read_unfmt_structure: malloc failed");
    return IO_MEMORY_ERR;
  }
  io_deflate(&deflation);
  int status = io_store_deflated_array(callback, format, stream, &deflation);
  io_deflation_release(&deflation);
  return status;
}

int read_compressed_dataarray(IO_error_callback callback, const char *format, FILE *stream,
                              int64_t number, int32_t type, int32_t count, IO_data *data) {
  if (!format || !stream || !data || number < 0 || count < 0) {
    io_report_error(callback, "read_compressed_dataarray: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  int level = format[1] >= '0' && format[1] <= '9' ? format[1] - '0' : -1;
  if (level < 1 || level > 9) {
    io_report_error(callback, "read_compressed_dataarray: the compress level in the data is wrong");
    return IO_COMPRESS_ERR;
  }
  int width = compressedWidth(type);
  if (width == 0) {
    io_report_error(callback, "read_single_dataarray: unknown data format %d", type);
    return IO_FORMAT_ERR;
  }
  int64_t total = 0;
  if (!arrayHolds(data, type, number, count, &total)) {
    io_report_error(callback, "read_compressed_dataarray: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  void *values = iodata_type_array(data, type);

  int64_t length = 0;
  int status = readLength(callback, "read_compressed_dataarray", format, stream, &length);
  if (status != IO_OK) return status;
  if (length == -1) return IO_PLAIN_DATA;
  if (length < 1) {
    io_report_error(callback,
                    "read_compressed_dataarray: invalid input or output buffer too small");
    return IO_COMPRESS_ERR;
  }
  int64_t expected = total * width;
  int64_t bound = storedLengthBound(expected, width);
  if (length > bound) {
    io_report_error(callback,
                    "read_compressed_dataarray: compressed length %" PRId64 " is more than %" PRId64
                    " bytes of data can take",
                    length, expected);
    return IO_COMPRESS_ERR;
  }
  unsigned char *stored =
      readStored(callback, "read_compressed_dataarray: malloc failed",
                 "compressed_dataarray: read compressed data failed", &status, length, stream);
  if (!stored) return status;
  status = io_gunzip(callback, length, stored, expected, values);
  io_free(stored);
  if (status != IO_OK) {
    io_report_error(callback, "read_compressed_dataarray: decompression failed");
    return status;
  }
  if (iofmt_is_swapped(format[0])) swapValues(values, width, total);
  return IO_OK;
}

int io_write_compressed_block(IO_error_callback callback, const char *format, FILE *stream,
                              const void *block, int64_t size) {
  if (!format || !stream || !block || size < 0 || !isCompressLetter(format[0])) {
    io_report_error(callback, "write_data: invalid input for compression");
    return IO_COMPRESS_ERR;
  }
  IO_deflation deflation;
  if (!io_deflation_of_block(format, block, size, &deflation)) {
    io_report_error(callback, "write_data: malloc failed in compression");
    return IO_COMPRESS_ERR;
  }
  io_deflate(&deflation);
  int status = io_store_deflated_block(callback, format, stream, &deflation);
  io_deflation_release(&deflation);
  return status;
}

int io_deflation_of_array(const char *format, int32_t type, const void *values, int64_t total,
                          IO_deflation *deflation) {
  memset(deflation, 0, sizeof *deflation);
  int width = compressedWidth(type);
  deflation->m_level = levelOfFormat(format);
  deflation->m_width = width;
  deflation->m_size = static_cast<uint64_t>(total) * static_cast<uint64_t>(width);
  deflation->m_input = values;
  size_t bytes = static_cast<size_t>(deflation->m_size);
  if (iofmt_is_swapped(format[0]) && width > 1) {
    deflation->m_copy = io_malloc(bytes);
    if (!deflation->m_copy) return 0;
    deflation->m_values = values;
    deflation->m_input = deflation->m_copy;
  }
  // The stream is kept only when it is smaller than the values: it gets no more room than they.
  deflation->m_output = static_cast<unsigned char *>(io_malloc(bytes));
  deflation->m_capacity = deflation->m_size;
  if (!deflation->m_output) {
    io_deflation_release(deflation);
    return 0;
  }
  return 1;
}

int io_deflation_of_block(const char *format, const void *block, int64_t size,
                          IO_deflation *deflation) {
  memset(deflation, 0, sizeof *deflation);
  deflation->m_level = levelOfFormat(format);
  deflation->m_width = 1;
  deflation->m_input = block;
  deflation->m_size = static_cast<uint64_t>(size);
  // A block is always stored compressed: room for any stream of its size.
  static_assert(sizeof(uLong) >= sizeof(uint64_t), "zlib sizes of 64 bits");
  deflation->m_capacity = deflateBound(Z_NULL, static_cast<uLong>(size));
  deflation->m_output =
      static_cast<unsigned char *>(io_malloc(static_cast<size_t>(deflation->m_capacity)));
  return deflation->m_output ? 1 : 0;
}

void io_deflate(IO_deflation *deflation) {
  if (deflation->m_copy) {
    memcpy(deflation->m_copy, deflation->m_values, static_cast<size_t>(deflation->m_size));
    swapValues(deflation->m_copy, deflation->m_width,
               static_cast<int64_t>(deflation->m_size / static_cast<uint64_t>(deflation->m_width)));
  }
  z_stream zs;
  deflation->m_startCode = openCompressor(&zs, deflation->m_level);
  if (deflation->m_startCode != Z_OK) return;
  deflation->m_fitted = deflateAll(&zs, deflation->m_input, deflation->m_size, deflation->m_output,
                                   deflation->m_capacity, &deflation->m_produced);
  deflateEnd(&zs);
}

int io_store_deflated_array(IO_error_callback callback, const char *format, FILE *stream,
                            IO_deflation *deflation) {
  int width = deflation->m_width;
  int64_t stored = 0; // values of the stream; 0 when none could be made, -1 when it did not fit
  if (deflation->m_startCode != Z_OK)
    reportStartFailure(deflation->m_startCode);
  else if (!deflation->m_fitted)
    stored = -1;
  else
    stored = padToValues(deflation->m_output, deflation->m_produced, width);
  int64_t length = stored * width;
  // A stream that does not shrink (or cannot be made) is not stored: -1 and the plain values.
  // So is one too long for a 4-byte length field.
  bool plain = stored <= 0 || ((format[0] == 'U' || format[0] == 'u') && length > INT32_MAX);
  int status = writeLength(callback, format, plain ? -1 : length, stream);
  if (status != IO_OK) {
    io_report_error(callback, "wezwriteIntr: writing the compressed length failed");
  } else if (plain) {
    status = IO_COMPRESS_ERR;
  } else {
    errno = 0;
    if (zyrFault_fwrite(deflation->m_output, 1, static_cast<size_t>(length), stream) !=
        static_cast<size_t>(length)) {
      io_report_syserr(callback, "write_compressed_dataarray: (fwrite failed) syserr:");
      status = IO_WRITE_ERR;
    }
  }
  return status;
}

int io_store_deflated_block(IO_error_callback callback, const char *format, FILE *stream,
                            IO_deflation *deflation) {
  if (deflation->m_startCode != Z_OK) reportStartFailure(deflation->m_startCode);
  if (deflation->m_startCode != Z_OK || !deflation->m_fitted) {
    // (a stream that does not fit cannot happen with a deflateBound buffer)
    io_report_error(callback, "write_data: invalid input for compression");
    return IO_COMPRESS_ERR;
  }
  const unsigned char *output = deflation->m_output;
  int64_t length = static_cast<int64_t>(deflation->m_produced);
  int status = IO_OK;
  if (length > INT32_MAX) {
    // Readers take compressed lengths of 32 bits only.
    io_report_error(callback,
                    "write_data: compressed block of %" PRId64 " bytes is too large for its "
                    "length field",
                    length);
    status = IO_FORMAT_ERR;
  } else if ((status = writeLength(callback, format, length, stream)) != IO_OK) {
    io_report_error(callback, "write_data: writing the compressed length failed");
  } else if (zyrFault_fwrite(output, 1, static_cast<size_t>(length), stream) !=
             static_cast<size_t>(length)) {
    io_report_error(callback, "write_data: write data failed");
    status = IO_WRITE_ERR;
  }
  return status;
}

void io_deflation_release(IO_deflation *deflation) {
  io_free(deflation->m_copy);
  io_free(deflation->m_output);
  deflation->m_copy = nullptr;
  deflation->m_output = nullptr;
}

int io_read_compressed_block(IO_error_callback callback, const char *format, FILE *stream,
                             void *block, int64_t size) {
  if (!format || !stream || !block || size < 0) {
    io_report_error(callback, "read_unfmt_structure: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  int64_t length = 0;
  int status = readLength(callback, "read_unfmt_structure", format, stream, &length);
  if (status != IO_OK) return status;
  if (length < 1) {
    io_report_error(callback, "read_unfmt_structure: invalid input or output buffer too small");
    return IO_COMPRESS_ERR;
  }
  int64_t bound = storedLengthBound(size, 1);
  if (length > bound) {
    io_report_error(callback,
                    "read_unfmt_structure: compressed length %" PRId64 " is more than %" PRId64
                    " bytes of data can take",
                    length, size);
    return IO_COMPRESS_ERR;
  }
  unsigned char *stored =
      readStored(callback, "read_unfmt_structure: malloc failed",
                 "read_unfmt_structure: read compressed data failed", &status, length, stream);
  if (!stored) return status;
  status = io_gunzip(callback, length, stored, size, block);
  io_free(stored);
  if (status != IO_OK) io_report_error(callback, "read_unfmt_structure: error decompressing data");
  return status;
}
