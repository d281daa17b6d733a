#include "vsnNameEncoding.h"

#include "UnicodeString.h"
#include "zyrCString.h"
#include "zyrSystem.h"

#include <atomic>
#include <cstring>

namespace {

const char kEscape = '%';
const int kNameMode = 2;

enum EncodeSetting { kNotRead = -1, kOff = 0, kOn = 1 };

// Read once per process (at the first encoding or decoding) so that every name the process
// stores is written the same way, whatever the environment does later.
std::atomic<int> encodeSetting{kNotRead};

bool encodingNames() {
  if (encodeSetting.load() == kNotRead)
    vsnReadEncodeNamesSetting();
  return encodeSetting.load() == kOn;
}

} // namespace

void LocationString_getCharacterClasses(int32_t classes[256]) {
  std::memcpy(classes, vsnNameCharClasses(), 256 * sizeof(int32_t));
}

char *vsnMakeLegalName(const char *name) {
  if (name == nullptr)
    return nullptr;
  char *copy = zyrCString_clone(name);
  for (char *p = copy; *p; ++p)
    if (vsnNameCharClass(static_cast<unsigned char>(*p)) < 3)
      *p = ' ';
  char *legal = zyrCString_collapseWhiteSpace(copy);
  zyrCString_free(copy);
  if (vsnNameCharClass(static_cast<unsigned char>(legal[0])) == 3) {
    char *prefixed = zyrCString_merge("n", legal, nullptr);
    zyrCString_free(legal);
    legal = prefixed;
  }
  return legal;
}

void vsnReadEncodeNamesSetting() {
  encodeSetting.store(zyrIsEnvironmentVariableSet("ZYR_ENCODE_NAMES") ? kOn : kOff);
}

char *vsnEncodeName(const char *name) {
  if (!encodingNames())
    return vsnMakeLegalName(name);
  char *collapsed = zyrCString_collapseWhiteSpace(name);
  char *encoded = nullptr;
  if (collapsed != nullptr && collapsed[0] != '\0') {
    UnicodeString *string = UnicodeString_new();
    if (UnicodeString_fromUTF8(string, collapsed))
      encoded = UnicodeString_toPrintedQuotable(string, kEscape, kNameMode);
    UnicodeString_delete(string);
  }
  zyrCString_free(collapsed);
  return encoded;
}

char *vsnUnencodeName(const char *name) {
  if (!encodingNames())
    return zyrCString_clone(name);
  if (name == nullptr)
    return nullptr;
  char *decoded = nullptr;
  UnicodeString *string = UnicodeString_new();
  if (UnicodeString_fromPrintedQuotable(string, kEscape, name))
    decoded = UnicodeString_toUTF8(string);
  UnicodeString_delete(string);
  return decoded;
}
