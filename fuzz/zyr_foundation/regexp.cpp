// Compiles the first line of the input as a pattern, searches the second line with it (anywhere
// and whole) and expands the third line as a substitution template. Checks that captured groups
// lie inside the searched text.
#include "RegularExpression.h"
#include "regexp.h"
#include "zyrCString.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

std::string nextLine(const std::string &input, size_t &at) {
  const size_t end = input.find('\n', at);
  std::string line = input.substr(at, end == std::string::npos ? std::string::npos : end - at);
  at = end == std::string::npos ? input.size() : end + 1;
  return line;
}

void checkGroups(const RegularExpression *expression, const std::string &text) {
  const regexp *program = expression->m_program;
  const char *begin = text.c_str();
  const char *end = begin + text.size();
  for (int i = 0; i < REGEXP_GROUPS; ++i) {
    const char *s = program->m_start[i];
    const char *e = program->m_end[i];
    if (s != nullptr && (s < begin || s > end))
      std::abort();
    if (e != nullptr && (e < begin || e > end))
      std::abort();
    zyrCString_free(RegularExpression_getCapturedString(expression, i));
  }
  if (program->m_start[0] == nullptr || program->m_end[0] < program->m_start[0])
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string input(reinterpret_cast<const char *>(data), size);
  input = input.substr(0, input.find('\0'));
  size_t at = 0;
  const std::string pattern = nextLine(input, at);
  const std::string text = nextLine(input, at);
  const std::string templ = nextLine(input, at);

  const char *message = nullptr;
  RegularExpression *expression = RegularExpression_new(pattern.c_str(), &message);
  if (expression == nullptr) {
    if (message == nullptr)
      std::abort();
    return 0;
  }
  if (RegularExpression_match(expression, text.c_str())) {
    checkGroups(expression, text);
    zyrCString_free(RegularExpression_substitute(expression, templ.c_str()));
  }
  if (RegularExpression_exactMatch(expression, text.c_str())) {
    checkGroups(expression, text);
    if (expression->m_program->m_start[0] != text.c_str() ||
        expression->m_program->m_end[0] != text.c_str() + text.size())
      std::abort();
  }
  RegularExpression_setGlob(expression, pattern.c_str());
  RegularExpression_match(expression, text.c_str());
  RegularExpression_delete(expression);
  return 0;
}
