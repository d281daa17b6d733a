#include "vsnNameRules.h"

#include "vsnHandle.h"
#include "vsnMessage.h"

#include <cstring>

namespace {

// Bytes above 127 are letters of a multi-byte character: names of other alphabets are kept.
constexpr bool isLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c >= 128; }

constexpr bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }

constexpr bool isNameCharByRule(unsigned char c) {
  if (isLetter(c) || isDigit(c)) return true;
  for (const char* p = " \t.[]_{|}"; *p; ++p) {
    if (c == static_cast<unsigned char>(*p)) return true;
  }
  return false;
}

// The rule for every byte, looked up rather than worked out for each character of a name.
struct NameChars {
  bool m_is[256];
};

constexpr NameChars makeNameChars() {
  NameChars t{};
  for (int c = 0; c < 256; ++c) t.m_is[c] = isNameCharByRule(static_cast<unsigned char>(c));
  return t;
}

constexpr NameChars kNameChars = makeNameChars();

bool isNameChar(unsigned char c) { return kNameChars.m_is[c]; }

} // namespace

const char* vsnCheckName(vsnHandle* h, const char* role, const char* name) {
  if (!role) role = "name";
  if (!name || !*name) {
    if (strcmp(role, "object type") == 0) return "invalid object type: must be non-empty.";
    if (strcmp(role, "parameter name") == 0) return "invalid parameter name: must be non-empty.";
    return "invalid object name: must be non-empty.";
  }
  const unsigned char* p = reinterpret_cast<const unsigned char*>(name);
  if (!(isLetter(p[0]) || p[0] == '_' || p[0] == '%')) {
    return setVSNErrorH(h, "invalid %s \"%s\": leading character must be alphabetic or '_'", role, name);
  }
  for (++p; *p; ++p) {
    if (!isNameChar(*p)) {
      return setVSNErrorH(h, "invalid %s \"%s\": contains invalid character '%c'", role, name,
                          static_cast<char>(*p));
    }
  }
  return nullptr;
}

const char* vsnCheckValue(vsnHandle* h, const char* value) {
  if (!value) return nullptr;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(value); *p; ++p) {
    if (*p < 32 && *p != '\t') {
      return setVSNErrorH(h, "invalid parameter value \"%s\": control character number %d is not allowed.",
                          value, static_cast<int>(*p));
    }
    // The text reader takes a "#" without a backslash before it for the start of a comment: the
    // rest of the value would be lost at the next write and read.
    if (*p == '#' && (p == reinterpret_cast<const unsigned char*>(value) || p[-1] != '\\')) {
      return setVSNErrorH(h, "invalid parameter value \"%s\": '#' starts a comment, write it as \"\\#\".",
                          value);
    }
  }
  return nullptr;
}

char* vsnCleanName(char* name) {
  if (!name) return name;
  char* out = name;
  bool pendingBlank = false;
  for (const char* p = name; *p; ++p) {
    if (*p == ' ' || *p == '\t') {
      pendingBlank = out != name;
      continue;
    }
    if (pendingBlank) *out++ = ' ';
    pendingBlank = false;
    *out++ = *p;
  }
  *out = '\0';
  return name;
}

// Whether vsnCleanName would leave name as it is: no tab, no blank at either end, no two blanks
// in a row.
bool vsnIsCleanName(const char* name) {
  if (name[0] == ' ') return false;
  char last = '\0';
  for (const char* p = name; *p; ++p) {
    if (*p == '\t' || (*p == ' ' && last == ' ')) return false;
    last = *p;
  }
  return last != ' ';
}
