// Packed string lists: splitting any text never fails or overruns, and packing and splitting
// undo each other where the list form allows it.
// Input: the first byte is the separator, the rest is the text (up to its first NUL byte).
#include "zyrCString.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void require(bool condition) {
  if (!condition)
    std::abort();
}

uint64_t expectedFields(const std::string &text, char separator) {
  uint64_t fields = 0;
  for (char c : text)
    fields += c == separator;
  if (!text.empty() && text.back() != separator)
    ++fields;
  return fields;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1)
    return 0;
  const char separator = static_cast<char>(data[0]);
  const std::string text(reinterpret_cast<const char *>(data + 1), strnlen(reinterpret_cast<const char *>(data + 1), size - 1));

  char **array = nullptr;
  uint64_t count = 99;
  require(zyrCStringArray_newFromPackedString(text.c_str(), separator, &array, &count) == 1);
  if (separator == '\0') {
    // The text holds no NUL: one field when not empty.
    require(count == (text.empty() ? 0u : 1u));
  } else {
    require(count == expectedFields(text, separator));
  }
  require((count == 0) == (array == nullptr));

  // Fields are the pieces between separators, in order.
  std::string rejoined;
  for (uint64_t i = 0; i < count; ++i) {
    require(array[i] != nullptr);
    require(separator == '\0' || std::strchr(array[i], separator) == nullptr);
    rejoined += array[i];
    if (i + 1 < count)
      rejoined += separator;
  }

  if (count > 0 && separator != '\0') {
    // Text -> list -> text: exact unless the text ended in a separator (which closes the list).
    char *packed = zyrCStringArray_pack(array, count, separator);
    require(packed != nullptr);
    require(rejoined == packed);
    if (text.back() != separator)
      require(text == packed);

    // List -> text -> list: exact when the last entry is not empty.
    if (array[count - 1][0] != '\0') {
      char **again = nullptr;
      uint64_t againCount = 0;
      zyrCStringArray_newFromPackedString(packed, separator, &again, &againCount);
      require(againCount == count);
      for (uint64_t i = 0; i < count; ++i)
        require(std::strcmp(again[i], array[i]) == 0);
      zyrCStringArray_free(again, againCount);
    }
    zyrCString_free(packed);
  }

  // NULL entries pack as empty fields.
  if (count > 1 && separator != '\0') {
    char *saved = array[0];
    array[0] = nullptr;
    char *packed = zyrCStringArray_pack(array, count, separator);
    require(packed[0] == separator || count == 1);
    zyrCString_free(packed);
    array[0] = saved;
  }

  zyrCStringArray_free(array, count);
  return 0;
}
