// Recognising what a creation cut off leaves in a data-set file.
#include "io_remnant.h"

#include "io_format.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Files are created with text offsets of this width: their information block is this long.
const int32_t kWidth = 20;
const int64_t kInfoSize = 36;

std::string newInfoBlock() {
  char text[64];
  snprintf(text, sizeof text, "*INFO\n%*d\n*ENDINFO\n", kWidth, 0);
  return text;
}

// Up to n bytes at the offset (fewer at the end of the file). Read past the fault seam and its
// counts: a read that fails only makes the file count as more than a remnant, and the open's own
// reads meet the faults they are meant to.
std::string readAt(int fd, int64_t at, size_t n) {
  std::string bytes(n, '\0');
  size_t got = 0;
  while (got < n) {
    ssize_t r = pread(fd, &bytes[got], n - got, static_cast<off_t>(at + static_cast<int64_t>(got)));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  bytes.resize(got);
  return bytes;
}

// A tag as a frame of the format holds it: the text format ends it with a line end.
std::string tagIn(char letter, const char *tag) { return letter == 'F' ? std::string(tag) + "\n" : std::string(tag); }

size_t fieldSize(char letter) { return static_cast<size_t>(iofmt_length_field_size(letter, kWidth)); }

// The length field of the format that the bytes hold, read strictly.
bool lengthField(const std::string &bytes, char letter, int64_t *value) {
  return iofmt_parse_length_field(bytes.data(), bytes.size(), letter, kWidth, value) != 0;
}

// Whether nothing, or only a file end tag of the format, lies from `from` to the end.
bool atMostEndTag(int fd, int64_t from, int64_t size, char letter) {
  if (from == size) return true;
  const std::string tag = tagIn(letter, "*CRASH");
  return size - from == static_cast<int64_t>(tag.size()) && readAt(fd, from, tag.size()) == tag;
}

// The frame after the information block: its first length field 0, and either nothing after
// that field or the whole frame (its closing length field counts from the field to where it
// stands), with at most an end tag after it.
bool unfinishedFirstFrame(int fd, int64_t size) {
  const std::string start = readAt(fd, kInfoSize, 3);
  if (start.size() != 3 || !iofmt_is_live(start[0]) || start[2] != '\n') return false;
  const char letter = start[0];
  const int64_t field = static_cast<int64_t>(fieldSize(letter));
  const int64_t s = kInfoSize + 3 + field;
  int64_t first = -1;
  if (s > size || !lengthField(readAt(fd, kInfoSize + 3, static_cast<size_t>(field)), letter, &first) || first != 0)
    return false;
  if (s == size) return true;
  const std::string opening = tagIn(letter, "*DATASET");
  const std::string closing = tagIn(letter, "*ENDDATASET");
  if (readAt(fd, s, opening.size()) != opening) return false;
  for (int64_t tail : {int64_t(0), static_cast<int64_t>(tagIn(letter, "*CRASH").size())}) {
    const int64_t q = size - tail - field; // where the closing length field would stand
    const int64_t closingAt = q - static_cast<int64_t>(closing.size());
    int64_t second = -1;
    if (closingAt >= s + static_cast<int64_t>(opening.size()) && readAt(fd, closingAt, closing.size()) == closing &&
        lengthField(readAt(fd, q, static_cast<size_t>(field)), letter, &second) && second == q - s &&
        atMostEndTag(fd, q + field, size, letter))
      return true;
  }
  return false;
}

int kindOf(int fd) {
  struct stat facts;
  if (fstat(fd, &facts) != 0 || !S_ISREG(facts.st_mode)) return IO_REMNANT_NONE;
  const int64_t size = facts.st_size;
  if (size == 0) return IO_REMNANT_EMPTY;
  const std::string block = newInfoBlock();
  const size_t n = static_cast<size_t>(std::min<int64_t>(size, kInfoSize));
  const std::string head = readAt(fd, 0, n);
  if (head.size() != n || block.compare(0, n, head) != 0) return IO_REMNANT_NONE;
  if (size < kInfoSize) return IO_REMNANT_PART_INFO;
  // The end tag of a close that could not store the index (text), or of a first data set that
  // could not be written (binary).
  if (atMostEndTag(fd, kInfoSize, size, 'F') || atMostEndTag(fd, kInfoSize, size, 'u')) return IO_REMNANT_INFO;
  return unfinishedFirstFrame(fd, size) ? IO_REMNANT_UNFINISHED : IO_REMNANT_NONE;
}

} // namespace

int io_remnant_kind(FILE *stream) { return stream ? kindOf(fileno(stream)) : IO_REMNANT_NONE; }

int io_remnant_of(const char *name) {
  if (!name) return IO_REMNANT_NONE;
  int fd = open(name, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return IO_REMNANT_NONE;
  int kind = kindOf(fd);
  close(fd);
  return kind;
}

const char *io_remnant_text(int kind) {
  switch (kind) {
  case IO_REMNANT_EMPTY: return "an empty file";
  case IO_REMNANT_PART_INFO: return "part of the information block of a new file";
  case IO_REMNANT_INFO: return "only the information block of a new file";
  case IO_REMNANT_UNFINISHED: return "the information block of a new file and a data set whose writing never finished";
  default: return "";
  }
}
