#include "LocationString.h"

#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"

#include <cctype>
#include <cstring>
#include <vector>

char *LocationString_build(int32_t count, char *const *names) {
  if (count < 1 || names == nullptr)
    return nullptr;
  int64_t length = 0;
  for (int32_t i = 0; i < count; ++i)
    length += (names[i] != nullptr ? static_cast<int64_t>(std::strlen(names[i])) : 0) + 2;
  if (length < 1)
    return nullptr;
  char *text = static_cast<char *>(zyrMemory_allocate(length + 1, __func__));
  char *at = text;
  for (int32_t i = 0; i < count; ++i) {
    const size_t n = names[i] != nullptr ? std::strlen(names[i]) : 0;
    if (n > 0)
      std::memcpy(at, names[i], n);
    at += n;
    *at++ = ',';
    *at++ = ' ';
  }
  at[-2] = '\0';
  return text;
}

int LocationString_parse(const char *location, int32_t *count, char ***names) {
  *count = 0;
  *names = nullptr;
  if (location == nullptr) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "A null pointer has been supplied where a location string is required.\n");
    return 0;
  }
  // Each stretch between two separators (a comma, or the ends of the string) is one item.
  std::vector<std::pair<const char *, size_t>> items;
  const char *start = location;
  for (const char *p = location;; ++p) {
    if (*p != ',' && *p != '\0')
      continue;
    const char *from = start;
    const char *to = p;
    while (from < to && std::isspace(static_cast<unsigned char>(*from)))
      ++from;
    while (to > from && std::isspace(static_cast<unsigned char>(to[-1])))
      --to;
    if (to > from)
      items.emplace_back(from, static_cast<size_t>(to - from));
    if (*p == '\0')
      break;
    start = p + 1;
  }
  if (items.empty())
    return 1;
  if (items.size() > static_cast<size_t>(INT32_MAX)) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "The location string holds too many names.\n");
    return 0;
  }
  const int32_t n = static_cast<int32_t>(items.size());
  char **out = zyrMemory_allocateArray<char *>(n, __func__);
  for (int32_t i = 0; i < n; ++i) {
    const auto &item = items[static_cast<size_t>(i)];
    out[i] = static_cast<char *>(zyrMemory_allocate(static_cast<int64_t>(item.second) + 1, __func__));
    std::memcpy(out[i], item.first, item.second);
    out[i][item.second] = '\0';
  }
  *count = n;
  *names = out;
  return 1;
}
