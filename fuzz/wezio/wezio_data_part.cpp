// The data-part reader fed arbitrary bytes. The first bytes choose the format code (every
// letter, with and without a compression digit), the data type, NUMBER, the block factor and
// the way of reading; the rest is the stream. Every failure must be one newline-ended message
// and a status; a successful binary read must write back and read again to the same values.
#include "data_part.h"
#include "io_compress.h"
#include "iodata.h"
#include "lowlevel_io.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

int checkMessage(const char *message, int32_t length) {
  if (length < 1 || strlen(message) != static_cast<size_t>(length) || message[length - 1] != '\n')
    abort();
  return 0;
}

const char kLetters[] = "FDdUuLlXxQ";
const char kSeconds[] = {'\0', '0', '1', '5', '9', 'x'};
const char *const kTypes[] = {
    "INTR", "REAL", "DBLE", "LOGL", "CHAR", "STRI", "STRI:5", "STRC{INTR:2 REAL:1}",
    "STRC{INTR:1 STRI:5 DBLE:1}", "STRC{STRI:6 CHAR:3 LOGL:2 DBLE:1}", "STRC{LOGL:1 CHAR:3}",
    "STRC{INTR:20 LOGL:30}", "STRC{DBLE:3}", "STRC{INTR:0 STRI:0}", "STRC{"};
// The same types with REAL and DBLE exchanged, for conversion.
const char *const kConverted[] = {
    "INTR", "DBLE", "REAL", "LOGL", "CHAR", "STRI", "STRI:5", "STRC{INTR:2 DBLE:1}",
    "STRC{INTR:1 STRI:5 REAL:1}", "STRC{STRI:6 CHAR:3 LOGL:2 REAL:1}", "STRC{LOGL:1 CHAR:3}",
    "STRC{INTR:20 LOGL:30}", "STRC{REAL:3}", "STRC{INTR:0 STRI:0}", "STRC{"};
const size_t kTypeCount = sizeof kTypes / sizeof kTypes[0];

struct Record {
  IO_data *m_data;
  Record() : m_data(iodata_alloc(checkMessage)) {}
  ~Record() { iodata_free(checkMessage, m_data); }
};

// Reads at the stream's position, enlarging the arrays once when asked to.
int readTwice(const char *format, FILE *stream, int64_t number, int32_t blockFactor, bool blocks,
              const char *type, IO_data *data) {
  int64_t start = io_tell(stream);
  int status = blocks
                   ? read_data_blocks(checkMessage, format, stream, number, blockFactor, type, data)
                   : read_data(checkMessage, format, stream, number, type, data);
  if (status != IO_MEMORY_ERR) return status;
  if (io_tell(stream) != start) abort(); // a memory answer leaves the stream where it was
  if (iodata_alloc_arrays(checkMessage, data) != IO_OK) return IO_ALLOC_ERR;
  return blocks ? read_data_blocks(checkMessage, format, stream, number, blockFactor, type, data)
                : read_data(checkMessage, format, stream, number, type, data);
}

bool sameArrays(const IO_data *a, const IO_data *b) {
  for (int32_t t = 0; t < IO_TYPE_END; ++t) {
    const int32_t *na = iodata_type_count(a, t), *nb = iodata_type_count(b, t);
    if (*na != *nb) return false;
    if (*na == 0) continue;
    size_t bytes = static_cast<size_t>(*na) * static_cast<size_t>(iodata_type_size(t));
    if (memcmp(iodata_type_array(a, t), iodata_type_array(b, t), bytes) != 0) return false;
  }
  return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 7) return 0;
  char format[3] = {kLetters[data[0] % (sizeof kLetters - 1)], kSeconds[data[1] % sizeof kSeconds],
                    '\0'};
  size_t typeIndex = data[2] % kTypeCount;
  const char *type = kTypes[typeIndex];
  int64_t number = data[3] | (data[4] << 8);
  int32_t blockFactor = 1 + data[5] % 64;
  uint8_t mode = data[6];
  data += 7;
  size -= 7;
  std::vector<char> content(data, data + size);
  content.push_back('\0');
  FILE *stream = fmemopen(content.data(), size ? size : 1, "rb");
  if (!stream) return 0;

  Record record;
  int status = IO_OK;
  if (mode & 1) status = read_datatag(checkMessage, format, stream);
  if (status == IO_OK)
    status = readTwice(format, stream, number, blockFactor, (mode & 2) != 0, type, record.m_data);
  fclose(stream);
  if (status != IO_OK || number == 0) return 0;

  // The arrays hold what the records need.
  Record check;
  if (check_memory(checkMessage, format, number, type, record.m_data) != IO_OK) abort();

  if (mode & 4) {
    Record converted;
    int32_t convert = 0;
    status = convert_data(checkMessage, number, type, kConverted[typeIndex], &convert,
                          record.m_data, converted.m_data);
    if (status == IO_MEMORY_ERR) {
      if (iodata_alloc_arrays(checkMessage, converted.m_data) != IO_OK) return 0;
      status = convert_data(checkMessage, number, type, kConverted[typeIndex], &convert,
                            record.m_data, converted.m_data);
    }
    if (status != IO_OK) abort();
  }

  // Binary data written back in this machine's order reads again to the same values.
  if (format[0] != 'U' && format[0] != 'u' && format[0] != 'L' && format[0] != 'l') return 0;
  char native[3] = {format[0], format[1], '\0'};
  iofmt_make_native(checkMessage, native);
  size_t room = 2 * static_cast<size_t>(iodata_size(checkMessage, record.m_data)) + 4096 +
                static_cast<size_t>(number) * 16;
  std::vector<char> buffer(room);
  FILE *out = fmemopen(buffer.data(), room, "w+b");
  if (!out) return 0;
  if (write_data_blocks(checkMessage, native, out, number, blockFactor, type, record.m_data) !=
      IO_OK)
    abort();
  rewind(out);
  Record again;
  if (readTwice(native, out, number, blockFactor, true, type, again.m_data) != IO_OK) abort();
  fclose(out);
  if (!sameArrays(record.m_data, again.m_data)) abort();
  return 0;
}
