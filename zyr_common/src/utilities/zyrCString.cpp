#include "zyrCString.h"

#include "zyrMemory.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

char *copyRange(const char *text, size_t length, const char *tag) {
  char *copy = static_cast<char *>(zyrMemory_allocate(static_cast<int64_t>(length) + 1, tag));
  std::memcpy(copy, text, length);
  copy[length] = '\0';
  return copy;
}

inline bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Joins base and the NULL-terminated list of further texts into one new string.
char *joinList(const char *base, va_list arguments, const char *tag) {
  size_t length = base ? std::strlen(base) : 0;
  va_list count;
  va_copy(count, arguments);
  for (const char *t = va_arg(count, const char *); t != nullptr; t = va_arg(count, const char *))
    length += std::strlen(t);
  va_end(count);
  char *result = static_cast<char *>(zyrMemory_allocate(static_cast<int64_t>(length) + 1, tag));
  size_t at = 0;
  if (base) {
    size_t n = std::strlen(base);
    std::memcpy(result, base, n);
    at = n;
  }
  for (const char *t = va_arg(arguments, const char *); t != nullptr; t = va_arg(arguments, const char *)) {
    size_t n = std::strlen(t);
    std::memcpy(result + at, t, n);
    at += n;
  }
  result[at] = '\0';
  return result;
}

} // namespace

char *zyrCString_clone(const char *text) {
  return text ? copyRange(text, std::strlen(text), __func__) : nullptr;
}

char *zyrCString_import(char *runtimeText) {
  if (runtimeText == nullptr)
    return nullptr;
  char *copy = copyRange(runtimeText, std::strlen(runtimeText), __func__);
  std::free(runtimeText);
  return copy;
}

char *zyrCString_merge(const char *first, ...) {
  va_list arguments;
  va_start(arguments, first);
  char *result = joinList(first, arguments, __func__);
  va_end(arguments);
  return result;
}

char *zyrCString_cat(char *base, ...) {
  va_list arguments;
  va_start(arguments, base);
  char *result = joinList(base, arguments, __func__);
  va_end(arguments);
  zyrCString_free(base);
  return result;
}

char *zyrCString_vbuild(const char *format, va_list arguments) {
  char small[256];
  va_list again;
  va_copy(again, arguments);
  int needed = std::vsnprintf(small, sizeof small, format, arguments);
  if (needed < 0) {
    va_end(again);
    return zyrCString_clone("");
  }
  if (static_cast<size_t>(needed) < sizeof small) {
    va_end(again);
    return copyRange(small, static_cast<size_t>(needed), __func__);
  }
  char *result = static_cast<char *>(zyrMemory_allocate(static_cast<int64_t>(needed) + 1, __func__));
  std::vsnprintf(result, static_cast<size_t>(needed) + 1, format, again);
  va_end(again);
  return result;
}

char *zyrCString_build(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  char *result = zyrCString_vbuild(format, arguments);
  va_end(arguments);
  return result;
}

char *zyrCString_substring(const char *text, int from, int to) {
  if (text == nullptr || to < from || from < 0)
    return copyRange("", 0, __func__);
  return copyRange(text + from, static_cast<size_t>(to - from), __func__);
}

char *zyrCString_reassign(char **variable, const char *text) {
  char *copy = zyrCString_clone(text);
  zyrCString_free(*variable);
  *variable = copy;
  return copy;
}

int zyrCString_isBlank(const char *text) {
  if (text == nullptr)
    return 1;
  for (; *text; ++text)
    if (!isSpace(*text))
      return 0;
  return 1;
}

char *zyrCString_collapseWhiteSpace(const char *text) {
  if (text == nullptr)
    return nullptr;
  size_t length = std::strlen(text);
  char *result = static_cast<char *>(zyrMemory_allocate(static_cast<int64_t>(length) + 1, __func__));
  size_t at = 0;
  bool pendingBlank = false;
  for (const char *p = text; *p; ++p) {
    if (isSpace(*p)) {
      pendingBlank = at > 0;
      continue;
    }
    if (pendingBlank)
      result[at++] = ' ';
    pendingBlank = false;
    result[at++] = *p;
  }
  result[at] = '\0';
  return result;
}

char *zyrCString_trim(const char *text, int flags) {
  if (text == nullptr)
    return nullptr;
  size_t begin = 0;
  size_t end = std::strlen(text);
  if (flags >= 1) {
    if (flags & 2) {
      // The final run of white space: cut at its first line feed, if it holds one.
      size_t run = end;
      while (run > 0 && isSpace(text[run - 1]))
        --run;
      for (size_t i = run; i < end; ++i)
        if (text[i] == '\n') {
          end = i;
          break;
        }
    }
    if (flags & 1) {
      // The first run of white space: drop up to and including its last line feed.
      size_t run = 0;
      while (run < end && isSpace(text[run]))
        ++run;
      for (size_t i = run; i > 0; --i)
        if (text[i - 1] == '\n') {
          begin = i;
          break;
        }
    }
  }
  return copyRange(text + begin, end - begin, __func__);
}

void zyrCString_free(char *text) { zyrMemory_free(text, __func__); }

void zyrCString_free_external(char *text) { std::free(text); }

int64_t zyrCString_length(const char *text) { return text ? static_cast<int64_t>(std::strlen(text)) : 0; }

void zyrCStringArray_free(char **array, uint64_t count) {
  if (array == nullptr)
    return;
  for (uint64_t i = 0; i < count; ++i)
    zyrMemory_free(array[i], __func__);
  zyrMemory_free(array, __func__);
}

void zyrCStringArray_free_external(char **array, uint64_t count) {
  if (array == nullptr)
    return;
  for (uint64_t i = 0; i < count; ++i)
    std::free(array[i]);
  std::free(array);
}

char **zyrCStringArray_clone(char *const *array, uint64_t count) {
  if (array == nullptr || count == 0)
    return nullptr;
  char **copy = zyrMemory_allocateArray<char *>(static_cast<int64_t>(count), __func__);
  for (uint64_t i = 0; i < count; ++i)
    copy[i] = array[i] ? copyRange(array[i], std::strlen(array[i]), __func__) : nullptr;
  return copy;
}

char **zyrCStringArray_import(char **runtimeArray, uint64_t count) {
  if (runtimeArray == nullptr)
    return nullptr;
  char **copy = count ? zyrMemory_allocateArray<char *>(static_cast<int64_t>(count), __func__) : nullptr;
  for (uint64_t i = 0; i < count; ++i)
    copy[i] = zyrCString_import(runtimeArray[i]);
  std::free(runtimeArray);
  return copy;
}

char *zyrCStringArray_pack(char *const *array, uint64_t count, char separator) {
  if (array == nullptr || count == 0)
    return nullptr;
  size_t length = 0;
  for (uint64_t i = 0; i < count; ++i)
    length += (array[i] ? std::strlen(array[i]) : 0) + 1;
  char *packed = static_cast<char *>(zyrMemory_allocate(static_cast<int64_t>(length), __func__));
  size_t at = 0;
  for (uint64_t i = 0; i < count; ++i) {
    if (array[i]) {
      size_t n = std::strlen(array[i]);
      std::memcpy(packed + at, array[i], n);
      at += n;
    }
    packed[at++] = separator;
  }
  packed[length - 1] = '\0';
  return packed;
}

int zyrCStringArray_newFromPackedString(const char *packed, char separator, char ***array, uint64_t *count) {
  *array = nullptr;
  *count = 0;
  if (packed == nullptr)
    return 1;
  size_t length = std::strlen(packed);
  uint64_t fields = 0;
  for (size_t i = 0; i < length; ++i)
    if (packed[i] == separator)
      ++fields;
  if (length > 0 && packed[length - 1] != separator)
    ++fields;
  if (fields == 0)
    return 1;
  char **result = zyrMemory_allocateArray<char *>(static_cast<int64_t>(fields), __func__);
  uint64_t field = 0;
  size_t start = 0;
  for (size_t i = 0; i <= length && field < fields; ++i) {
    if (i == length || packed[i] == separator) {
      result[field++] = copyRange(packed + start, i - start, "zyrCString_substring");
      start = i + 1;
    }
  }
  *array = result;
  *count = fields;
  return 1;
}
