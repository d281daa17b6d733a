// Decodes arbitrary text. A successful decode must agree with the count-only pass, and its
// bytes, encoded again, must decode to the same bytes (the canonical text need not equal the
// input, which may hold white space).
#include "zyrBase64.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  const int64_t counted = zyrBase64_decode(text.c_str(), nullptr, 0);
  std::vector<unsigned char> bytes(size + 1);
  const int64_t decoded = zyrBase64_decode(text.c_str(), bytes.data(), static_cast<int64_t>(bytes.size()));
  if (decoded < 0)
    return 0;
  if (counted != decoded)
    std::abort();
  std::vector<char> again(static_cast<size_t>(decoded) / 3 * 4 + 5);
  const int64_t length = zyrBase64_encode(bytes.data(), decoded, again.data(), static_cast<int64_t>(again.size()));
  if (length < 0 || static_cast<size_t>(length) != std::strlen(again.data()))
    std::abort();
  std::vector<unsigned char> back(static_cast<size_t>(decoded) + 1);
  if (zyrBase64_decode(again.data(), back.data(), static_cast<int64_t>(back.size())) != decoded ||
      std::memcmp(back.data(), bytes.data(), static_cast<size_t>(decoded)) != 0)
    std::abort();
  // One byte of room too few must be refused.
  if (decoded > 0 && zyrBase64_decode(text.c_str(), back.data(), decoded - 1) != -1)
    std::abort();
  return 0;
}
