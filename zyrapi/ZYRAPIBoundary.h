#ifndef ZYR_ZYRAPI_BOUNDARY_H
#define ZYR_ZYRAPI_BOUNDARY_H
// What every exported class does where it meets the core, kept out of the public headers:
//
// - the error bridge: the core reports a failure as a status other than 1 and a queue of error
//   records; a failure becomes one exception carrying all queued messages, and the warnings of a
//   success are emptied from the queue (dropped, or handed to the host's progress reporter);
// - strings going down: a vector of strings becomes a packed table (one buffer, one pointer per
//   string into it) that lives as long as the call;
// - results coming up: strings, string tables and arrays the core allocates for the caller are
//   held by guards that release them on every path, also while an exception passes;
// - the composite combination codes and the "<name>:<number>" entries of primitive definitions.
#include "ErrorMsg.h"
#include "QIVError.h"

#include <cstdint>
#include <string>
#include <vector>

struct zyrError;

namespace qiv {
namespace zyrapi {
namespace boundary {

// ---- The error bridge ----

// The queued errors' messages in queue order, joined by "\n\n"; "Unable to retrieve error from
// ZYR" when nothing is queued and "zyrModel_getLastError has failed" when the queue cannot be
// read. The queue is emptied in every case.
std::string takeErrorText();
// The code of the first queued error that is no warning, else of the first queued one; 0 when
// nothing is queued. The queue is left as it is.
int queuedErrorCode();
// True when every queued error (none included) is an unrecognised or unresolved name; the queue
// is then emptied. Otherwise the queue is left as it is.
bool takeBadLocationErrors();
// After a successful call: when errors are queued, empties the queue and, with report set and a
// text to show, hands it to the progress reporter as a warning of classText::methodText.
void settleWarnings(const std::string &classText, const std::string &methodText, bool report);

// The general ending of a ZYRAPI method: a result other than 1 throws zyrapi::zyr with class text
// "ZYRAPI", unless bad names are tolerated and every queued error is one (the queue is then
// emptied and nothing is thrown); a result of 1 settles the warnings, reporting them when asked.
void report(int result, const std::string &methodText, bool reportWarnings, bool tolerateBadLocation);

// Throws E for a failed call, with the queued errors as its message and the first error's code.
template <class E> [[noreturn]] void throwQueued(const std::string &classText, const std::string &methodText) {
  const int code = queuedErrorCode();
  const std::string message = takeErrorText();
  throw E(classText, methodText, message, qiv::errorTypeError, code);
}

// The ending of nearly every method: a status other than 1 throws E, a status of 1 drops the
// queued warnings.
template <class E> void settle(int status, const std::string &classText, const std::string &methodText) {
  if (status != 1)
    throwQueued<E>(classText, methodText);
  settleWarnings(classText, methodText, false);
}

// ---- Values going down ----

// The strings of a vector in one buffer, each followed by a NUL, and a table of pointers to
// them. The buffer is sized before it is filled, so the pointers never move.
class PackedStrings {
public:
  explicit PackedStrings(const std::vector<std::string> &strings);
  PackedStrings(const PackedStrings &) = delete;
  PackedStrings &operator=(const PackedStrings &) = delete;

  int count() const { return static_cast<int>(m_table.size()); }
  // The first pointer of the table; NULL for no strings.
  char **table() { return m_table.empty() ? nullptr : m_table.data(); }
  const std::vector<char> &buffer() const { return m_buffer; }

private:
  std::vector<char> m_buffer;
  std::vector<char *> m_table;
};

inline int flag(bool value) { return value ? 1 : 0; }

// ---- Results coming up ----

// A string the core made for the caller; released with the guard.
class CoreString {
public:
  CoreString() = default;
  ~CoreString();
  CoreString(const CoreString &) = delete;
  CoreString &operator=(const CoreString &) = delete;

  char **out() { return &m_text; }
  const char *get() const { return m_text; }
  // The text, empty for none.
  std::string str() const { return m_text != nullptr ? std::string(m_text) : std::string(); }

private:
  char *m_text = nullptr;
};

// A counted string table the core made for the caller; released with the guard.
class CoreStringTable {
public:
  CoreStringTable() = default;
  ~CoreStringTable();
  CoreStringTable(const CoreStringTable &) = delete;
  CoreStringTable &operator=(const CoreStringTable &) = delete;

  char ***out() { return &m_table; }
  int *countOut() { return &m_count; }
  int count() const { return m_count; }
  // Replaces what the vector held by the table's strings in table order (a NULL entry as "").
  void copyTo(std::vector<std::string> &strings) const;

private:
  char **m_table = nullptr;
  int m_count = 0;
};

// A numeric array the core made for the caller; released under the label (the fully qualified
// name of the method that asked for it).
void releaseCoreArray(void *block, const char *label);

template <class T> class CoreArray {
public:
  explicit CoreArray(const char *label) : m_label(label) {}
  ~CoreArray() { releaseCoreArray(m_data, m_label); }
  CoreArray(const CoreArray &) = delete;
  CoreArray &operator=(const CoreArray &) = delete;

  T **out() { return &m_data; }
  const T *get() const { return m_data; }
  // The first n values; none when the core gave no array.
  std::vector<T> take(int64_t n) const {
    if (m_data == nullptr || n <= 0)
      return std::vector<T>();
    return std::vector<T>(m_data, m_data + n);
  }

private:
  T *m_data = nullptr;
  const char *m_label;
};

// ---- Composite combinations and indexed names ----

// The record's type (0 Union ... 6 Alias) as the core's combination code (1 to 7); any type
// outside 1 to 6 is a Union.
int compositeCodeOfType(int type);
// The core's combination code as the record's type; code 1 and unknown codes give 0 (Union).
int compositeTypeOfCode(int code);

// "name:index".
std::string makeIndexedName(const std::string &name, int index);
// The name before the last ':' with index set to the number after it minus 1. An entry whose
// tail is not wholly a decimal number, and an empty entry, give the empty string.
std::string splitIndexedName(const std::string &name, int &index);

} // namespace boundary
} // namespace zyrapi
} // namespace qiv

#endif
