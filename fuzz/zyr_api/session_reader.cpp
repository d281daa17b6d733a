// Arbitrary bytes through the session readers, then every value read written back with the
// writers and read again: the second reading must give the same values and end cleanly. The
// first reading must stop (end, truncation or a refused line), never crash, hang or allocate
// beyond the input.
//
// Input: the first byte's lowest bit makes the session interactive; the second byte gives the
// number of readers (1 to 16) whose codes follow, one byte each; the rest is the session text,
// read by the readers in turn, over and over, until the reading stops.
#include "Session.h"
#include "zyrAffineTransform3D.h"
#include "zyrCString.h"
#include "zyrErrorManager.h"
#include "zyrMemory.h"
#include "zyrTestSupport.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

enum Reader {
  ReadKeyword,
  ReadInteger,
  ReadReal,
  ReadString,
  ReadBoolean,
  ReadIntArray,
  ReadStringList,
  ReadStringPairs,
  ReadText,
  ReadTransformation,
  ReaderCount
};

struct Value {
  int m_reader;
  int32_t m_integer = 0;
  int32_t m_count = 0;
  double m_real = 0.0;
  double m_numbers[12] = {};
  std::vector<int32_t> m_integers;
  std::vector<std::string> m_strings;
};

void check(bool condition) {
  if (!condition)
    std::abort();
}

bool sameReal(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || (a == b && std::signbit(a) == std::signbit(b));
}

std::vector<std::string> take(char **array, int64_t n) {
  std::vector<std::string> strings;
  check((array == nullptr) == (n <= 0));
  for (int64_t i = 0; i < n; ++i) {
    check(array[i] != nullptr);
    strings.emplace_back(array[i]);
  }
  if (array != nullptr)
    zyrCStringArray_free(array, static_cast<uint64_t>(n));
  return strings;
}

// Reads one value; false when the reading stopped inside it.
bool readValue(Session *session, int reader, Value &value) {
  value.m_reader = reader;
  switch (reader) {
  case ReadKeyword: {
    const char *line = Session_readKeyword(session);
    check((line == nullptr) == (Session_getState(session) != SessionReading));
    if (line != nullptr)
      value.m_strings.emplace_back(line);
    break;
  }
  case ReadInteger:
    value.m_integer = Session_readInteger(session, "integer");
    break;
  case ReadReal:
    value.m_real = Session_readReal(session, "real");
    break;
  case ReadString: {
    char *s = Session_readString(session, "string");
    check(s != nullptr);
    value.m_strings.emplace_back(s);
    zyrCString_free(s);
    break;
  }
  case ReadBoolean:
    value.m_integer = Session_readBoolean(session, "byte");
    break;
  case ReadIntArray: {
    int32_t *array = Session_readIntArray(session, "count", "integers", &value.m_count);
    check((array == nullptr) == (value.m_count < 1));
    if (array != nullptr)
      value.m_integers.assign(array, array + value.m_count);
    zyrMemory_free(array, "fuzz");
    break;
  }
  case ReadStringList:
  case ReadStringPairs: {
    const int32_t width = reader == ReadStringList ? 1 : 2;
    char **array = Session_readStringArray(session, "count", "strings", width, &value.m_count);
    value.m_strings = take(array, value.m_count < 1 ? 0 : static_cast<int64_t>(value.m_count) * width);
    break;
  }
  case ReadText: {
    char **lines = Session_readStrings(session, "text", &value.m_count);
    value.m_strings = take(lines, value.m_count);
    break;
  }
  case ReadTransformation: {
    zyrAffineTransform3D *t = nullptr;
    const int status = Session_readTransformation(session, &t);
    check(t != nullptr);
    check(status == 1 || status == 0 || (status == -1 && Session_getState(session) != SessionReading));
    check(status != 0 || session->m_interactive);
    char *units = nullptr;
    zyrAffineTransform3D_get(t, value.m_numbers, value.m_numbers + 9, &units);
    value.m_strings.emplace_back(units);
    zyrCString_free(units);
    zyrAffineTransform3D_delete(t);
    break;
  }
  }
  return Session_getState(session) == SessionReading;
}

void writeValue(Session *session, const Value &value) {
  std::vector<char *> strings;
  for (const std::string &s : value.m_strings)
    strings.push_back(const_cast<char *>(s.c_str()));
  switch (value.m_reader) {
  case ReadKeyword:
  case ReadString:
    Session_writeString(session, strings[0]);
    break;
  case ReadInteger:
    Session_writeInteger(session, value.m_integer);
    break;
  case ReadReal:
    Session_writeReal(session, value.m_real);
    break;
  case ReadBoolean:
    Session_writeBoolean(session, static_cast<char>(value.m_integer));
    break;
  case ReadIntArray:
    Session_writeIntegerArray(session, value.m_integers.empty() ? nullptr : value.m_integers.data(), value.m_count);
    break;
  case ReadStringList:
  case ReadStringPairs:
    Session_writeStringArray(session, strings.empty() ? nullptr : strings.data(),
                             value.m_reader == ReadStringList ? 1 : 2, value.m_count);
    break;
  case ReadText:
    Session_writeStrings(session, strings.empty() ? nullptr : strings.data(), value.m_count, "__EOF");
    break;
  case ReadTransformation: {
    zyrAffineTransform3D *t = zyrAffineTransform3D_new();
    check(zyrAffineTransform3D_set(t, value.m_numbers, value.m_numbers + 9, strings[0]) == 1);
    Session_writeTransformation(session, t);
    zyrAffineTransform3D_delete(t);
    break;
  }
  }
}

bool sameValue(const Value &a, const Value &b) {
  if (a.m_reader != b.m_reader || a.m_integer != b.m_integer || a.m_count != b.m_count ||
      a.m_integers != b.m_integers || a.m_strings != b.m_strings || !sameReal(a.m_real, b.m_real))
    return false;
  for (int i = 0; i < 12; ++i)
    if (!sameReal(a.m_numbers[i], b.m_numbers[i]))
      return false;
  return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  setenv("ZYR_USE_LOCAL_UNITS", "1", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 3 || size > 65536)
    return 0;
  const int interactive = data[0] & 1;
  const size_t readerCount = data[1] % 16 + 1;
  if (size < 2 + readerCount)
    return 0;
  std::vector<int> readers;
  for (size_t i = 0; i < readerCount; ++i)
    readers.push_back(data[2 + i] % ReaderCount);
  std::string text(reinterpret_cast<const char *>(data + 2 + readerCount), size - 2 - readerCount);
  text.push_back('\0'); // a buffer even for no text; the zero byte lies outside the stream
  FILE *input = fmemopen(&text[0], text.size() - 1, "r");
  if (input == nullptr)
    return 0;

  // First reading.
  Session *session = Session_new();
  Session_setInput(session, input);
  session->m_interactive = interactive;
  session->m_output = zyrtest::fuzzSink();
  std::vector<Value> values;
  for (size_t step = 0;; ++step) {
    Value value;
    if (!readValue(session, readers[step % readerCount], value))
      break;
    values.push_back(value);
  }
  check(Session_getState(session) != SessionReading);
  std::fclose(input);

  // Written back.
  char *buffer = nullptr;
  size_t written = 0;
  FILE *output = open_memstream(&buffer, &written);
  session->m_output = output;
  for (const Value &value : values)
    writeValue(session, value);
  std::fclose(output);

  // Read again: the same values, then a clean end.
  FILE *again = fmemopen(buffer, written, "r");
  check(again != nullptr);
  Session_setInput(session, again);
  session->m_output = zyrtest::fuzzSink();
  for (const Value &value : values) {
    Value back;
    check(readValue(session, value.m_reader, back));
    check(sameValue(value, back));
  }
  check(Session_readKeyword(session) == nullptr);
  check(Session_getState(session) == SessionEnded);
  std::fclose(again);
  std::free(buffer);
  Session_delete(session);
  zyrErrorManager_clearErrors(zyrErrorManager_get());
  return 0;
}
