#include "Source.h"

#include "zyrAssert.h"
#include "zyrError.h"
#include "zyrMemory.h"

#include <cctype>
#include <cstring>

namespace {

inline bool isWhite(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

const char *firstNonWhite(const char *line) {
  while (*line != '\0' && isWhite(*line))
    ++line;
  return line;
}

bool isKept(int32_t style, const char *line) {
  const char *first = firstNonWhite(line);
  switch (style) {
  case 1:
    return line[0] != '!' && *first != '\0';
  case 2:
    return *first != '\0' && *first != '#';
  default:
    return true;
  }
}

int split(const char *line, char *key, char *value) {
  const char *separator = std::strpbrk(line, ":=");
  size_t keyLength = separator != nullptr ? static_cast<size_t>(separator - line) : std::strlen(line);
  if (separator == nullptr && keyLength > 0 && line[keyLength - 1] == '\n')
    --keyLength;
  std::memcpy(key, line, keyLength);
  key[keyLength] = '\0';
  Source_trimBlanks(key, 0);

  value[0] = '\0';
  if (separator == nullptr)
    return 1;
  const char *start = separator + 1;
  while (*start == ' ')
    ++start;
  size_t valueLength = std::strlen(start);
  if (valueLength > 0 && start[valueLength - 1] == '\n')
    --valueLength;
  std::memcpy(value, start, valueLength);
  value[valueLength] = '\0';
  Source_trimBlanks(value, 3);
  return value[0] == '\0' ? 1 : 0;
}

int isTagNamed(const char *line, const char *name, int kind) {
  int32_t start = 0;
  int32_t length = 0;
  if (Source_parseTag(line, &start, &length) != kind)
    return 0;
  return static_cast<size_t>(length) == std::strlen(name) &&
                 std::strncmp(line + start, name, static_cast<size_t>(length)) == 0
             ? 1
             : 0;
}

} // namespace

Source *Source_newFile(const char *fileName) {
  FILE *file = fileName != nullptr ? std::fopen(fileName, "re") : nullptr;
  if (file == nullptr) {
    zyrError *error = zyrError_new(ZYR_U_INVALID_INPUT, __func__, __FILE__, __LINE__);
    zyrError_addMessage(error, "Unable to open file %s.\n", fileName != nullptr ? fileName : "(null)");
    zyrError_publish(error);
    return nullptr;
  }
  Source *source = zyrMemory_allocateZeroedArray<Source>(1, __func__);
  source->m_file = file;
  return source;
}

Source *Source_newBuffer(const char *data, int64_t size) {
  Source *source = zyrMemory_allocateZeroedArray<Source>(1, __func__);
  if (data != nullptr && size > 0) {
    source->m_buffer = zyrMemory_allocateArray<char>(size, __func__);
    std::memcpy(source->m_buffer, data, static_cast<size_t>(size));
    source->m_size = size;
  }
  return source;
}

void Source_delete(Source *source) {
  if (source == nullptr)
    return;
  if (source->m_file != nullptr)
    std::fclose(source->m_file);
  zyrMemory_free(source->m_buffer, __func__);
  zyrMemory_free(source, __func__);
}

void Source_print(const Source *source, FILE *stream) {
  if (source == nullptr) {
    std::fprintf(stream, "Source: NULL\n");
    return;
  }
  std::fprintf(stream, "Source:\n  m_style = %d\n", source->m_style);
  if (source->m_file == nullptr)
    std::fprintf(stream, "  memory  = %lld of %lld bytes read\n", static_cast<long long>(source->m_position),
                 static_cast<long long>(source->m_size));
}

int32_t Source_setStyle(Source *source, int32_t style) {
  zyrAssert(!(style < 0 || style > 2));
  const int32_t previous = source->m_style;
  source->m_style = style;
  return previous;
}

int32_t Source_getStyle(const Source *source) { return source->m_style; }

int Source_readLine(Source *source, char *buffer, int32_t size) {
  if (source == nullptr || buffer == nullptr || size < 2)
    return 0;
  if (source->m_file != nullptr)
    return std::fgets(buffer, size, source->m_file) != nullptr ? 1 : 0;
  // Memory: the same pieces as the runtime's line reading would give; a NUL ends the text.
  if (source->m_position >= source->m_size || source->m_buffer[source->m_position] == '\0')
    return 0;
  int32_t at = 0;
  while (at < size - 1 && source->m_position < source->m_size) {
    const char c = source->m_buffer[source->m_position];
    if (c == '\0')
      break;
    buffer[at++] = c;
    ++source->m_position;
    if (c == '\n')
      break;
  }
  buffer[at] = '\0';
  return 1;
}

int Source_getLine(Source *source, char *buffer, int32_t size) {
  while (Source_readLine(source, buffer, size)) {
    if (isKept(source->m_style, buffer))
      return 1;
  }
  return 0;
}

int Source_parseTag(const char *line, int32_t *start, int32_t *length) {
  const char *open = firstNonWhite(line);
  if (*open != '<')
    return 0;
  const int kind = open[1] == '/' ? 2 : 1;
  const char *name = open + kind;
  const char *close = std::strchr(name, '>');
  const size_t nameLength = close != nullptr ? static_cast<size_t>(close - name) : std::strlen(name);
  *start = static_cast<int32_t>(name - line);
  *length = static_cast<int32_t>(nameLength);
  return kind;
}

int Source_isOpeningTag(const char *line, const char *name) { return isTagNamed(line, name, 1); }

int Source_isClosingTag(const char *line, const char *name) { return isTagNamed(line, name, 2); }

void skipTag(char *buffer, int32_t size, Source *source) {
  int32_t start = 0;
  int32_t length = 0;
  if (Source_parseTag(buffer, &start, &length) != 1)
    return;
  char *name = zyrMemory_allocateArray<char>(static_cast<int64_t>(length) + 1, __func__);
  std::memcpy(name, buffer + start, static_cast<size_t>(length));
  name[length] = '\0';
  while (Source_getLine(source, buffer, size)) {
    if (Source_isClosingTag(buffer, name))
      break;
  }
  zyrMemory_free(name, __func__);
}

int Source_splitKeyValue(const char *line, char *key, char *value) { return split(line, key, value); }

int Source_splitUpperKeyValue(const char *line, char *key, char *value) {
  const int result = split(line, key, value);
  Source_toUpperCase(key);
  return result;
}

void Source_trimBlanks(char *text, int32_t mode) {
  if (text == nullptr)
    return;
  if (mode == 0) {
    char *out = text;
    for (const char *in = text; *in != '\0'; ++in)
      if (*in != ' ')
        *out++ = *in;
    *out = '\0';
    return;
  }
  if (mode & 2) {
    size_t length = std::strlen(text);
    while (length > 0 && text[length - 1] == ' ')
      text[--length] = '\0';
  }
  if (mode & 1) {
    size_t skip = std::strspn(text, " ");
    if (skip > 0)
      std::memmove(text, text + skip, std::strlen(text + skip) + 1);
  }
}

int32_t Source_toUpperCase(char *text) {
  int32_t length = 0;
  for (; text[length] != '\0'; ++length)
    text[length] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[length])));
  return length;
}
