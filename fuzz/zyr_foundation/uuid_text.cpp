// Parses arbitrary text as the 36-character form. An accepted text must print back as its own
// first 36 characters in lower case, and survive the Base64 and integer forms.
#include "zyrUUID.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  zyrUUID *uuid = zyrUUID_newFromString(text.c_str());
  if (uuid == nullptr)
    return 0;
  if (std::strlen(text.c_str()) < 36)
    std::abort();
  char printed[ZYR_UUID_TEXT_SIZE];
  zyrUUID_toString(uuid, printed);
  for (int i = 0; i < 36; ++i)
    if (printed[i] != std::tolower(static_cast<unsigned char>(text[static_cast<size_t>(i)])))
      std::abort();
  char base64[ZYR_UUID_BASE64_SIZE];
  zyrUUID_toBase64(uuid, base64);
  zyrUUID *back = zyrUUID_newFromBase64(base64);
  if (back == nullptr || !zyrUUID_isEqual(uuid, back))
    std::abort();
  uint32_t integers[4];
  zyrUUID_toIntegers(uuid, integers);
  zyrUUID *fromIntegers = zyrUUID_newFromIntegers(integers[0], integers[1], integers[2], integers[3]);
  if (zyrUUID_compare(uuid, fromIntegers) != 0)
    std::abort();
  zyrUUID_delete(fromIntegers);
  zyrUUID_delete(back);
  zyrUUID_delete(uuid);
  return 0;
}
