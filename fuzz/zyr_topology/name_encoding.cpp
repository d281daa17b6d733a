// Arbitrary names through sanitising, encoding and decoding (with encoding on and off), and
// arbitrary text through line wrapping. Sanitised names hold only legal characters; an encoded
// name begins with "%", is printable ASCII, and decodes to the name with its white space
// collapsed; wrapped pieces fit the width and join to the original lines.
//
// Input: the first byte picks the wrapping width; the rest is the name, and its lines (split at
// line feeds) are what gets wrapped.
#include "vsnNameEncoding.h"
#include "vsnWrapLines.h"
#include "zyrCString.h"
#include "zyrMemory.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void check(bool condition) {
  if (!condition)
    std::abort();
}

std::string take(char *text) {
  check(text != nullptr);
  std::string s(text);
  zyrCString_free(text);
  return s;
}

void checkLegal(const std::string &name) {
  const std::string legal = take(vsnMakeLegalName(name.c_str()));
  for (size_t i = 0; i < legal.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(legal[i]);
    check(vsnNameCharClass(c) >= 3);
    check(c != ' ' || (i > 0 && i + 1 < legal.size() && legal[i - 1] != ' '));
  }
  check(legal.empty() || vsnNameCharClass(static_cast<unsigned char>(legal[0])) != 3);
}

void checkEncoding(const std::string &name) {
  setenv("ZYR_ENCODE_NAMES", "1", 1);
  vsnReadEncodeNamesSetting();
  char *encoded = vsnEncodeName(name.c_str());
  if (encoded != nullptr) {
    check(encoded[0] == '%');
    for (const char *p = encoded; *p; ++p)
      check(*p >= 32 && *p <= 126);
    check(take(vsnUnencodeName(encoded)) == take(zyrCString_collapseWhiteSpace(name.c_str())));
    zyrCString_free(encoded);
  }
  // The name itself read as encoded text: anything accepted is valid UTF-8 again.
  if (char *decoded = vsnUnencodeName(name.c_str())) {
    check(decoded[0] != '\0');
    zyrCString_free(decoded);
  }

  unsetenv("ZYR_ENCODE_NAMES");
  vsnReadEncodeNamesSetting();
  check(take(vsnEncodeName(name.c_str())) == take(vsnMakeLegalName(name.c_str())));
  check(take(vsnUnencodeName(name.c_str())) == name);
}

void checkWrapping(int width, const std::string &text) {
  std::vector<std::string> original;
  for (size_t from = 0;;) {
    const size_t end = text.find('\n', from);
    original.push_back(text.substr(from, end == std::string::npos ? std::string::npos : end - from));
    if (end == std::string::npos)
      break;
    from = end + 1;
  }
  int count = static_cast<int>(original.size());
  char **lines = zyrMemory_allocateArray<char *>(count, "fuzz");
  for (int i = 0; i < count; ++i)
    lines[i] = zyrCString_clone(original[i].c_str());

  const int status = vsnWrapLines(width, &count, &lines);
  check(status == (width >= 2 ? 1 : 0));
  if (status == 1) {
    // Rejoin: a piece continues when it was cut, which the pieces per line tell apart from a
    // line that merely ends in a backslash.
    size_t at = 0;
    for (const std::string &line : original) {
      std::string joined;
      size_t consumed = 0;
      while (true) {
        check(at < static_cast<size_t>(count));
        const std::string piece = lines[at++];
        check(piece.size() <= static_cast<size_t>(width));
        if (line.size() - consumed > static_cast<size_t>(width)) {
          check(!piece.empty() && piece.back() == '\\');
          joined += piece.substr(0, piece.size() - 1);
          consumed += piece.size() - 1;
        } else {
          joined += piece;
          break;
        }
      }
      check(joined == line);
    }
    check(at == static_cast<size_t>(count));
  }
  zyrCStringArray_free(lines, static_cast<uint64_t>(count));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1 || size > 4096)
    return 0;
  const int width = data[0] % 40;
  // A C string ends at the first zero byte.
  std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
  text = text.c_str();

  checkLegal(text);
  checkEncoding(text);
  checkWrapping(width, text);
  return 0;
}
