// A random sequence of requests from two users of the request interface over a few small files
// in a scratch directory: any request code, any file, keys with and without wildcards, every
// type, arrays of any size or none, header and data block sometimes missing, checked and
// unchecked entry points. Every answer must be a status with newline-ended messages; nothing
// may crash, hang or leak.
//
// Input: a sequence of operations, each taking bytes as it needs them (missing bytes read as 0).
#include "io_header.h"
#include "io_state.h"
#include "iocnt.h"
#include "iodata.h"
#include "zyrTestSupport.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

int checkMessage(const char *message, int32_t length) {
  if (length < 1 || strlen(message) != static_cast<size_t>(length) || message[length - 1] != '\n')
    abort();
  return 0;
}

// Removed with the process's static objects at its exit.
const std::string &scratch() {
  static const zyrtest::ScratchDir dir("wezio-requests");
  return dir.path();
}

void clearScratch() {
  DIR *dir = opendir(scratch().c_str());
  if (!dir) return;
  while (dirent *entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") unlink((scratch() + "/" + name).c_str());
  }
  closedir(dir);
}

struct Input {
  const uint8_t *m_bytes;
  size_t m_size;
  size_t m_at = 0;
  bool done() const { return m_at >= m_size; }
  uint8_t byte() { return m_at < m_size ? m_bytes[m_at++] : 0; }
  uint32_t number(uint32_t below) { return below ? (byte() | byte() << 8) % below : 0; }
};

const char *const kNames[] = {"a.wez", "b.wez", "c.txt", "missing/none.wez"};
const char *const kKeys[] = {"A", "B", "AB", "*", "A*", "?", "[AB]", "EVERY", "", "Z\\*"};
const char *const kTypes[] = {"INTR", "REAL", "DBLE", "LOGL", "CHAR", "STRI", "STRI:5",
                              "STRC{INTR:1 CHAR:2}", "STRC{DBLE:2 STRI:3 LOGL:1}", "BAD", ""};
const char *const kFormats[] = {"F", "u", "u5", "U9", "l", "l3", "L", "Q", "", "d", "x7"};

struct Slot {
  IO_string m_text;
};
static_assert(sizeof(Slot) == sizeof(IO_string), "a slot is one string");

// Storage of one user's header and data block: every array as large as its count says, the
// character array always terminated behind its count.
struct User {
  IO_state *m_state = iostate_alloc();
  IO_header m_header;
  IO_header *m_headerObject = ioheader_alloc(nullptr);
  IO_data m_data;
  std::vector<int64_t> m_offsets;
  std::vector<Slot> m_strings;
  std::vector<char> m_chars;
  std::vector<int32_t> m_intr;
  std::vector<float> m_real;
  std::vector<double> m_dble;
  std::vector<char> m_logl;
  int32_t m_counts[7] = {};
  int64_t m_remembered = 36;

  ~User() {
    iocnt(IO_CLOSE_PRIMARY, checkMessage, m_headerObject, &m_data, m_state);
    iocnt(IO_CLOSE_TEXT, checkMessage, m_headerObject, &m_data, m_state);
    iostate_free(m_state);
    ioheader_free(nullptr, m_headerObject);
  }

  template <typename T> void size(std::vector<T> &array, int32_t index, int32_t n) {
    array.assign(static_cast<size_t>(n) + 1, T());
    m_counts[index] = n;
  }

  void fill(Input &in) {
    m_header = *m_headerObject;
    uint8_t shape = in.byte();
    snprintf(m_header.m_what, IO_NAME_LEN, "%s", kKeys[in.number(10)]);
    snprintf(m_header.m_where, IO_NAME_LEN, "%s", kKeys[in.number(10)]);
    *m_header.m_when = static_cast<int32_t>(in.number(8)) - 2;
    *m_header.m_numattrb = static_cast<int32_t>(in.number(3));
    for (int i = 0; i < 2; ++i) snprintf(m_header.m_attributes[i], IO_STRING_LEN, "k%d=v", i);
    snprintf(m_header.m_datatype, IO_DATATYPE_LEN, "%s", kTypes[in.number(11)]);
    *m_header.m_number = static_cast<int32_t>(in.number(160)) - 2;
    *m_header.m_blockfactor = static_cast<int32_t>(in.number(4)) * 50;
    if (shape & 1) m_header.m_when = nullptr;
    if (shape & 2) m_header.m_attributes = nullptr;

    size(m_offsets, 0, static_cast<int32_t>(in.number(8)));
    for (int64_t &offset : m_offsets) {
      switch (in.byte() % 4) {
      case 0: offset = m_remembered; break;
      case 1: offset = 36; break;
      case 2: offset = in.number(4096); break;
      default: offset = -static_cast<int64_t>(in.number(3)); break;
      }
    }
    int32_t values = static_cast<int32_t>(in.number(400));
    size(m_strings, 1, values % 12);
    for (size_t i = 0; i < m_strings.size(); ++i)
      snprintf(m_strings[i].m_text, IO_STRING_LEN, "s%zu", i);
    // The character array holds a file name or a format when asked to, else characters.
    uint8_t chars = in.byte();
    std::string text;
    if (chars % 3 == 0)
      text = scratch() + "/" + kNames[in.number(4)];
    else if (chars % 3 == 1)
      text = kFormats[in.number(11)];
    else
      text = std::string(static_cast<size_t>(values), 'c');
    size(m_chars, 2, static_cast<int32_t>(text.size()));
    memcpy(m_chars.data(), text.data(), text.size());
    if (chars & 8) m_counts[2] = 0; // the terminated text
    size(m_intr, 3, values);
    for (size_t i = 0; i < m_intr.size(); ++i) m_intr[i] = static_cast<int32_t>(i * 37);
    size(m_real, 4, values / 2);
    size(m_dble, 5, values / 3);
    size(m_logl, 6, values / 4);
    for (char &c : m_logl) c = 'T';

    iodata_init(nullptr, &m_data);
    m_data.m_offsetarray = m_offsets.data();
    m_data.m_stringarray = reinterpret_cast<IO_string *>(m_strings.data());
    m_data.m_chararray = m_chars.data();
    m_data.m_intrarray = m_intr.data();
    m_data.m_realarray = m_real.data();
    m_data.m_dblearray = m_dble.data();
    m_data.m_loglarray = m_logl.data();
    int32_t **counts[7] = {&m_data.m_numoffset, &m_data.m_numstring, &m_data.m_numchar,
                           &m_data.m_numintr,   &m_data.m_numreal,   &m_data.m_numdble,
                           &m_data.m_numlogl};
    uint8_t absent = in.byte();
    for (int i = 0; i < 7; ++i) {
      *counts[i] = &m_counts[i];
      if (absent & (1 << i) && (shape & 4)) *counts[i] = nullptr;
    }
    if (shape & 8) m_data.m_offsetarray = nullptr;
    if (shape & 16) m_data.m_intrarray = nullptr;
  }
};

void run(Input &in) {
  User users[2];
  for (int step = 0; step < 48 && !in.done(); ++step) {
    User &user = users[in.byte() & 1];
    uint8_t how = in.byte();
    int32_t request = static_cast<int32_t>(in.number(52)) - 2;
    user.fill(in);
    IO_header *header = (how & 1) ? nullptr : &user.m_header;
    IO_data *data = (how & 2) && (how & 4) ? nullptr : &user.m_data;
    int status = (how & 8) ? iocnt(request, checkMessage, header, data, user.m_state)
                           : iocntc(request, checkMessage, header, data, user.m_state);
    // A located position is worth trying again later.
    if (status == IO_OK && (request == IO_LOCATE_DS || request == IO_LOCATE_PRIMARY_DS) &&
        user.m_counts[0] > 0 && user.m_data.m_offsetarray && user.m_offsets[0] >= 0 &&
        user.m_offsets[0] < (1 << 20))
      user.m_remembered = user.m_offsets[0];
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  clearScratch();
  // Requests take any characters for a file name: relative ones must land in the scratch
  // directory too, so it is the working directory while they run.
  int home = open(".", O_RDONLY | O_CLOEXEC);
  if (home < 0 || chdir(scratch().c_str()) != 0) abort();
  Input in{data, size};
  run(in);
  if (fchdir(home) != 0) abort();
  close(home);
  if (iodata_leak_check(nullptr) != IO_OK || ioheader_leak_check(nullptr) != IO_OK) abort();
  return 0;
}
