#include "ConduitWire.h"

#include "zyrMemory.h"

#include <algorithm>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void formatField(char field[ConduitWire_fieldSize], const char *format, double value) {
  std::memset(field, 0, ConduitWire_fieldSize);
  std::snprintf(field, ConduitWire_fieldSize, format, value);
}

// The field's text when it is terminated inside the field, else NULL.
const char *fieldText(const char field[ConduitWire_fieldSize]) {
  return std::memchr(field, '\0', ConduitWire_fieldSize) != nullptr ? field : nullptr;
}

bool onlyBlanksAfter(const char *end) {
  while (*end == ' ' || *end == '\t' || *end == '\n' || *end == '\r')
    ++end;
  return *end == '\0';
}

} // namespace

void ConduitWire_formatInt(char field[ConduitWire_fieldSize], int32_t value) {
  std::memset(field, 0, ConduitWire_fieldSize);
  std::snprintf(field, ConduitWire_fieldSize, "%d", value);
}

void ConduitWire_formatFloat(char field[ConduitWire_fieldSize], float value) {
  formatField(field, "%.8e", static_cast<double>(value));
}

void ConduitWire_formatDouble(char field[ConduitWire_fieldSize], double value) {
  formatField(field, "%.16e", value);
}

int ConduitWire_parseInt(const char field[ConduitWire_fieldSize], int32_t *value) {
  const char *text = fieldText(field);
  if (text == nullptr || value == nullptr)
    return 0;
  char *end = nullptr;
  errno = 0;
  long long parsed = std::strtoll(text, &end, 10);
  if (end == text || errno != 0 || parsed < INT32_MIN || parsed > INT32_MAX || !onlyBlanksAfter(end))
    return 0;
  *value = static_cast<int32_t>(parsed);
  return 1;
}

int ConduitWire_parseFloat(const char field[ConduitWire_fieldSize], float *value) {
  const char *text = fieldText(field);
  if (text == nullptr || value == nullptr)
    return 0;
  char *end = nullptr;
  float parsed = std::strtof(text, &end);
  if (end == text || !onlyBlanksAfter(end))
    return 0;
  *value = parsed;
  return 1;
}

int ConduitWire_parseDouble(const char field[ConduitWire_fieldSize], double *value) {
  const char *text = fieldText(field);
  if (text == nullptr || value == nullptr)
    return 0;
  char *end = nullptr;
  double parsed = std::strtod(text, &end);
  if (end == text || !onlyBlanksAfter(end))
    return 0;
  *value = parsed;
  return 1;
}

char *ConduitWire_receiveText(int32_t length, ConduitWire_reader read, void *source, const char *tag,
                              int64_t *received) {
  int64_t capacity = std::min<int64_t>(length, 65536) + 1;
  char *buffer = zyrMemory_allocateArray<char>(capacity, tag);
  int64_t total = 0;
  while (total < length) {
    if (total == capacity - 1) {
      capacity = std::min<int64_t>(capacity * 2, static_cast<int64_t>(length) + 1);
      buffer = zyrMemory_reallocateArray(buffer, capacity, tag);
    }
    int64_t want = capacity - 1 - total;
    int64_t got = read(source, buffer + total, want);
    if (got <= 0)
      break;
    total += got;
    if (got < want)
      break;
  }
  buffer[total] = '\0';
  *received = total;
  return buffer;
}
