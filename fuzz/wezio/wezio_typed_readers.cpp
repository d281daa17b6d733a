// The typed readers fed arbitrary bytes. The first bytes choose the format letter and a script
// of reads; the rest is the stream. Every read must stay inside its buffers, keep header
// buffers terminated and report each failure as one newline-ended message.
#include "lowlevel_io.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

int checkMessage(const char *message, int32_t length) {
  if (length < 1 || strlen(message) != static_cast<size_t>(length)) abort();
  return 0;
}

const char kLetters[] = "FDdUuLlXxQ";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 4) return 0;
  char format[3] = {kLetters[data[0] % (sizeof kLetters - 1)],
                    static_cast<char>(data[1] % 3 == 0 ? '\0' : '0' + data[1] % 10), '\0'};
  uint8_t script = data[2];
  int32_t count = 1 + data[3] % 40;
  data += 4;
  size -= 4;
  std::vector<char> content(data, data + size);
  content.push_back('\0');
  FILE *stream = fmemopen(content.data(), size ? size : 1, "rb");
  if (!stream) return 0;

  for (int step = 0; step < 12; ++step) {
    int status = IO_OK;
    switch ((script + step * 7) % 14) {
    case 0: {
      std::vector<int32_t> v(static_cast<size_t>(count));
      status = wezreadIntr(checkMessage, format, v.data(), count, 8, 10, stream);
      break;
    }
    case 1: {
      std::vector<int32_t> v(static_cast<size_t>(count));
      status = wezreadLong(checkMessage, format, v.data(), count, 8, 10, stream);
      break;
    }
    case 2: {
      std::vector<float> v(static_cast<size_t>(count));
      status = wezreadReal(checkMessage, format, v.data(), count, 4, 20, stream);
      break;
    }
    case 3: {
      std::vector<double> v(static_cast<size_t>(count));
      status = wezreadDble(checkMessage, format, v.data(), count, 4, 20, stream);
      break;
    }
    case 4: {
      std::vector<char> v(static_cast<size_t>(count));
      status = wezreadLogl(checkMessage, format, v.data(), count, 16, 5, stream);
      break;
    }
    case 5: {
      std::vector<char> v(static_cast<size_t>(count));
      status = wezreadString(checkMessage, format, v.data(), count, 1, count + 3, stream);
      break;
    }
    case 6:
    case 7: {
      int32_t bufferSize = 2 + (count * 7) % 258;
      std::vector<char> buffer(static_cast<size_t>(bufferSize) + 16, 'Z');
      status = wezreadHdrString(checkMessage, format, buffer.data(), bufferSize, stream);
      if (status == IO_OK && strnlen(buffer.data(), static_cast<size_t>(bufferSize)) >=
                                 static_cast<size_t>(bufferSize))
        abort();
      for (size_t i = static_cast<size_t>(bufferSize); i < buffer.size(); ++i)
        if (buffer[i] != 'Z') abort();
      break;
    }
    case 8: {
      int64_t offset;
      status = wezreadOffset(checkMessage, format, &offset, stream);
      break;
    }
    case 9: {
      int64_t offset;
      status = wezgotoIndexLocation(checkMessage, &offset, count % 2 ? 10 : 20, stream);
      break;
    }
    case 10: {
      std::vector<int32_t> v(static_cast<size_t>(count));
      int32_t got = -1;
      status = readIntFmtData(checkMessage, stream, v.data(), count, &got);
      if (status == IO_OK && (got < 0 || got > count)) abort();
      break;
    }
    case 11: {
      std::vector<char> v(static_cast<size_t>(count));
      int32_t got = -1;
      status = readLoglFmtData(checkMessage, stream, v.data(), count, &got);
      if (status == IO_OK && (got < 0 || got > count)) abort();
      break;
    }
    case 12: {
      char code[3] = {format[0], format[1], '\0'};
      iofmt_make_native(checkMessage, code);
      break;
    }
    default:
      io_seek(stream, static_cast<int64_t>(count) - 20, count % 3);
      break;
    }
    (void)status;
  }
  fclose(stream);
  return 0;
}
