// Delete tags of the data-set file format.
#include "io_format.h"

#include "io_index.h"
#include "lowlevel_io.h"

#include <cstring>

namespace {
bool isDigit(char c) { return c >= '0' && c <= '9'; }
} // namespace

int iofmt_is_live(char letter) {
  return letter == 'F' || letter == 'U' || letter == 'u' || letter == 'L' || letter == 'l';
}

int iofmt_is_deleted(char letter) { return letter == 'D' || letter == 'd' || letter == 'X' || letter == 'x'; }

int64_t iofmt_length_field_size(char letter, int32_t width) {
  if (letter == 'F') return width + 1;
  return letter == 'L' || letter == 'l' ? 8 : 4;
}

int iofmt_parse_length_field(const char *bytes, size_t size, char letter, int32_t width, int64_t *length) {
  if (static_cast<int64_t>(size) != iofmt_length_field_size(letter, width)) return 0;
  if (letter == 'F') return io_parse_offset_line(bytes, size, width, length) ? 1 : 0;
  if (size == 4) {
    int32_t value;
    memcpy(&value, bytes, 4);
    if (iofmt_is_swapped(letter)) io_swap_bytes(&value, 4);
    *length = value;
  } else {
    memcpy(length, bytes, 8);
    if (iofmt_is_swapped(letter)) io_swap_bytes(length, 8);
  }
  return 1;
}

void iofmt_delete_tag(const char *tag, char *deleted) {
  char letter = tag[0], second = tag[1];
  deleted[0] = letter;
  deleted[1] = second;
  switch (letter) {
  case 'F':
    deleted[0] = 'D';
    deleted[1] = 'F';
    break;
  case 'U':
    deleted[0] = 'D';
    deleted[1] = isDigit(second) ? second : 'U';
    break;
  case 'u':
    deleted[0] = 'D';
    deleted[1] = isDigit(second) ? static_cast<char>(second + 128) : 'u';
    break;
  case 'L':
    deleted[0] = 'X';
    deleted[1] = isDigit(second) ? second : 'L';
    break;
  case 'l':
    deleted[0] = 'x';
    deleted[1] = isDigit(second) ? static_cast<char>(second + 128) : 'l';
    break;
  default: break;
  }
}

int iofmt_deleted_format(const char *tag, char *format) {
  format[0] = format[1] = format[2] = '\0';
  if (!iofmt_is_deleted(tag[0])) return -1;
  unsigned char second = static_cast<unsigned char>(tag[1]);
  if (second == 0) return 1;
  if (iofmt_is_valid(static_cast<char>(second))) {
    format[0] = static_cast<char>(second);
    return 0;
  }
  bool high = second & 0x80;
  bool deleteD = tag[0] == 'D' || tag[0] == 'd';
  format[0] = deleteD ? (high ? 'u' : 'U') : (high ? 'l' : 'L');
  format[1] = static_cast<char>(second & 0x7F);
  return 0;
}
