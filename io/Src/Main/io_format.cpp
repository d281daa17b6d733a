// Delete tags of the data-set file format.
#include "io_format.h"

#include "lowlevel_io.h"

namespace {
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isDeleted(char c) { return c == 'D' || c == 'd' || c == 'X' || c == 'x'; }
} // namespace

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
  if (!isDeleted(tag[0])) return -1;
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
