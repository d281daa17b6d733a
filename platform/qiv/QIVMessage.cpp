// The message function: printf formatting into a string of the exact length.
#include "QIVMessage.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace qiv {

std::string _(const char *format, ...) {
  if (format == nullptr)
    return std::string();
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  char small[256];
  const int length = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  std::string text;
  if (length < 0) {
    text = format;
  } else if (static_cast<size_t>(length) < sizeof small) {
    text.assign(small, static_cast<size_t>(length));
  } else {
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, again);
    text.assign(buffer.data(), static_cast<size_t>(length));
  }
  va_end(again);
  return text;
}

} // namespace qiv
