// Parses arbitrary bytes as the 22-character Base64 form, given exactly as the object store
// hands them over: a piece of a packed array with no terminator after it (a shorter input is
// given as a terminated text). An accepted piece must print back as itself, and its hash must lie
// in range.
#include "zyrUUID.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size) {
  // A heap block of exactly the input's size, so that reading past it is caught.
  std::vector<char> piece(data, data + size);
  if (size < 22)
    piece.push_back('\0');
  zyrUUID *uuid = zyrUUID_newFromBase64(piece.data());
  if (uuid == nullptr)
    return 0;
  if (size < 22)
    std::abort();
  char text[ZYR_UUID_BASE64_SIZE];
  zyrUUID_toBase64(uuid, text);
  if (std::memcmp(text, piece.data(), 22) != 0)
    std::abort();
  const uint64_t sizes[] = {2, 509, 1000003, UINT64_C(8589934593)};
  for (uint64_t n : sizes) {
    const int64_t h = zyrUUID_hash(uuid, n);
    if (h < 0 || static_cast<uint64_t>(h) >= n)
      std::abort();
  }
  char printed[ZYR_UUID_TEXT_SIZE];
  zyrUUID_toString(uuid, printed);
  zyrUUID *back = zyrUUID_newFromString(printed);
  if (back == nullptr || !zyrUUID_isEqual(uuid, back))
    std::abort();
  zyrUUID_delete(back);
  zyrUUID_delete(uuid);
  return 0;
}
