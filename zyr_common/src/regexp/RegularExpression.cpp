#include "RegularExpression.h"

#include "regexp.h"
#include "zyrAssert.h"
#include "zyrCString.h"
#include "zyrMemory.h"

#include <cstdlib>
#include <cstring>

namespace {

int32_t groupLength(const regexp *program, int i) {
  if (program == nullptr || program->m_start[i] == nullptr || program->m_end[i] == nullptr ||
      program->m_end[i] < program->m_start[i])
    return 0;
  return static_cast<int32_t>(program->m_end[i] - program->m_start[i]);
}

char *groupText(const regexp *program, int i, const char *tag) {
  const int32_t length = groupLength(program, i);
  char *text = static_cast<char *>(zyrMemory_allocate(static_cast<int64_t>(length) + 1, tag));
  if (length > 0)
    std::memcpy(text, program->m_start[i], static_cast<size_t>(length));
  text[length] = '\0';
  return text;
}

// Replaces program and text together, or neither.
int install(RegularExpression *expression, const char *pattern, const char **message) {
  regexp *program = regexp_compile(pattern, message);
  if (program == nullptr)
    return 0;
  std::free(expression->m_program);
  expression->m_program = program;
  zyrCString_reassign(&expression->m_pattern, pattern);
  return 1;
}

} // namespace

RegularExpression *RegularExpression_new(const char *pattern, const char **message) {
  auto *expression = static_cast<RegularExpression *>(
      zyrMemory_allocateAndSet(sizeof(RegularExpression), 0, __func__));
  if (!install(expression, pattern, message)) {
    zyrMemory_free(expression, __func__);
    return nullptr;
  }
  return expression;
}

void RegularExpression_delete(RegularExpression *expression) {
  if (expression == nullptr)
    return;
  std::free(expression->m_program);
  zyrCString_free(expression->m_pattern);
  zyrMemory_free(expression, __func__);
}

void RegularExpression_print(const RegularExpression *expression, FILE *stream) {
  if (expression == nullptr) {
    std::fprintf(stream, "RegularExpression: NULL\n");
    return;
  }
  std::fprintf(stream, "RegularExpression:\n  m_pattern = \"%s\"\n", expression->m_pattern);
  for (int i = 0; i < REGEXP_GROUPS; ++i) {
    const int32_t length = groupLength(expression->m_program, i);
    if (expression->m_program->m_start[i] != nullptr)
      std::fprintf(stream, "  group %d   = \"%.*s\"\n", i, static_cast<int>(length),
                   expression->m_program->m_start[i]);
  }
}

int RegularExpression_setPattern(RegularExpression *expression, const char *pattern,
                                 const char **message) {
  return install(expression, pattern, message);
}

char *RegularExpression_getPattern(const RegularExpression *expression) {
  return zyrCString_clone(expression->m_pattern);
}

int RegularExpression_setGlob(RegularExpression *expression, const char *glob, const char **message) {
  // Every glob character becomes at most two pattern characters.
  const size_t length = std::strlen(glob);
  char *pattern = static_cast<char *>(zyrMemory_allocate(static_cast<int64_t>(2 * length + 1), __func__));
  char *out = pattern;
  for (const char *c = glob; *c != '\0'; ++c) {
    switch (*c) {
    case '*':
      *out++ = '.';
      *out++ = '*';
      break;
    case '?':
      *out++ = '.';
      break;
    case '$':
    case '^':
      *out++ = '\\';
      *out++ = *c;
      break;
    default:
      *out++ = *c;
    }
  }
  *out = '\0';
  const int result = install(expression, pattern, message);
  zyrMemory_free(pattern, __func__);
  return result;
}

int RegularExpression_match(RegularExpression *expression, const char *text) {
  return regexp_execute(expression->m_program, text);
}

int RegularExpression_exactMatch(RegularExpression *expression, const char *text) {
  return regexp_executeWhole(expression->m_program, text);
}

char *RegularExpression_getCapturedString(const RegularExpression *expression, int i) {
  zyrAssert(i > -1 && i < 10);
  return groupText(expression->m_program, i, __func__);
}

int32_t RegularExpression_getCapturedStringLength(const RegularExpression *expression, int i) {
  zyrAssert(i > -1 && i < 10);
  return groupLength(expression->m_program, i);
}

char *RegularExpression_getMatchedString(const RegularExpression *expression) {
  return groupText(expression->m_program, 0, __func__);
}

int32_t RegularExpression_getMatchedStringLength(const RegularExpression *expression) {
  return groupLength(expression->m_program, 0);
}

char *RegularExpression_substitute(const RegularExpression *expression, const char *templateText) {
  const regexp *program = expression->m_program;
  int64_t size = static_cast<int64_t>(std::strlen(templateText)) + 100;
  for (const char *c = templateText; *c != '\0'; ++c) {
    if (*c == '&')
      size += groupLength(program, 0);
    else if (*c == '\\' && c[1] >= '0' && c[1] <= '9')
      size += groupLength(program, c[1] - '0');
  }
  char *destination = static_cast<char *>(zyrMemory_allocate(size, __func__));
  regexp_substitute(program, templateText, destination);
  char *result = zyrCString_clone(destination);
  zyrMemory_free(destination, __func__);
  return result;
}
