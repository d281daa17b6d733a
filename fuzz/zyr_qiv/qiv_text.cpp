// Text typed by a user or passed by the host: splitting, quantity reading and wide decoding
// keep their promises on any bytes.
#include "QIVError.h"
#include "QIVMessage.h"
#include "StringUtilities.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void check(bool condition) {
  if (!condition)
    std::abort();
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);

  // Splitting: n separators give n + 1 trimmed pieces unless the text is blank.
  for (char separator : {',', ';', ' '}) {
    const std::vector<std::string> pieces =
        qiv::StringUtilities::stringToVector(text, separator);
    size_t separators = 0;
    for (char c : text)
      separators += c == separator;
    if (qiv::StringUtilities::trim(text).empty()) {
      check(pieces.empty());
      continue;
    }
    check(pieces.size() == separators + 1);
    for (const std::string &piece : pieces)
      check(piece.empty() || (!isSpace(piece.front()) && !isSpace(piece.back())));
  }

  // Quantities: success means a finite value in range; failure leaves 0 and no units.
  float value = -1;
  std::string units = "x";
  if (qiv::StringUtilities::valueAsFloat(text, value, units)) {
    check(std::isfinite(value));
    check(units.size() < text.size());
    check(units.find_first_of("[]") == std::string::npos);
  } else {
    check(value == 0 && units.empty());
  }
  double wide = -1;
  const bool readWide = qiv::StringUtilities::valueAsDouble(text, wide, units);
  check(readWide ? std::isfinite(wide) : wide == 0);

  // Wide decoding: never longer than the bytes, only valid code points.
  const std::wstring decoded = qiv::toWide(text);
  check(decoded.size() <= text.size());
  for (wchar_t c : decoded)
    check(static_cast<uint32_t>(c) <= 0x10FFFF &&
          (static_cast<uint32_t>(c) < 0xD800 || static_cast<uint32_t>(c) > 0xDFFF));

  // The message function copies an argument exactly, up to its first zero byte.
  const std::string copied = qiv::_("%s", text.c_str());
  check(copied == std::string(text.c_str()));
  return 0;
}
