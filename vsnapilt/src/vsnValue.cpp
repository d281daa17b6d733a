#include "vsnValue.h"

#include "vsnArray.h"
#include "vsnHandle.h"
#include "vsnMessage.h"
#include "vsnPath.h"

#include <cctype>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace {

// Fixed texts that the logical queries return beside allocated ones; freeVSNString skips them.
const char kWhitespaceOnly[] = "isLogicalValue: value is whitespace only\n";
const char kNoErrorString[] = "isLogicalValue: unable to allocate error string\n";
const char kNoStringsArray[] = "splitLogicalString: Unable to allocate strings array\n";
const char kNoErrorsArray[] = "splitLogicalString: Unable to allocate errors array\n";
const char kNoIntegersArray[] = "splitLogicalString: Unable to allocate integers array\n";
const char kNoStoreLogical[] = "splitLogicalString: unable to store logical value\n";
const char kNoErrorMessage[] = "splitLogicalString: unable to allocate error message.\n";
const char kSplitFailed[] = "splitString: failure to store string.\n";
const char kNoLogical[] = "getLogicalValue: unable to find value";
const char kNoList[] = "getStringList: unable to find value";

bool isFixedText(const void* p) {
  static const char* const fixed[] = {kWhitespaceOnly, kNoErrorString, kNoStringsArray, kNoErrorsArray,
                                      kNoIntegersArray, kNoStoreLogical, kNoErrorMessage, kSplitFailed,
                                      kNoLogical,       kNoList};
  for (const char* f : fixed) {
    if (p == f) return true;
  }
  return p == VSN_NO_HANDLE_TEXT;
}

bool isWhite(char c) { return isspace(static_cast<unsigned char>(c)) != 0; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Numbers are read the same whatever locale the host has chosen.
locale_t cLocale() {
  static locale_t c = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(0));
  return c;
}

// The decimal number at the start of text (after blanks); 0 when there is none.
double readDecimal(const char* text) {
  const char* p = text;
  while (*p && isWhite(*p)) ++p;
  const char* start = p;
  if (*p == '+' || *p == '-') ++p;
  size_t digits = 0;
  while (isDigit(*p)) ++p, ++digits;
  if (*p == '.') {
    ++p;
    while (isDigit(*p)) ++p, ++digits;
  }
  if (digits == 0) return 0.0;
  if (*p == 'e' || *p == 'E') {
    const char* q = p + 1;
    if (*q == '+' || *q == '-') ++q;
    if (isDigit(*q)) {
      while (isDigit(*q)) ++q;
      p = q;
    }
  }
  size_t n = static_cast<size_t>(p - start);
  char small[64];
  char* number = n < sizeof small ? small : static_cast<char*>(malloc(n + 1));
  if (!number) return 0.0;
  memcpy(number, start, n);
  number[n] = '\0';
  locale_t c = cLocale();
  double v = c ? strtod_l(number, nullptr, c) : strtod(number, nullptr);
  if (number != small) free(number);
  return v;
}

int clampToInt(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return INT_MAX;
  if (v <= -2147483648.0) return INT_MIN;
  return static_cast<int>(v);
}

char* newNotLogicalText(const char* text) {
  static const char head[] = "isLogicalValue: value is not a logical: ";
  size_t n = strlen(text);
  char* s = static_cast<char*>(malloc(sizeof head + n + 1));
  if (!s) return nullptr;
  memcpy(s, head, sizeof head - 1);
  memcpy(s + sizeof head - 1, text, n);
  s[sizeof head - 1 + n] = '\n';
  s[sizeof head + n] = '\0';
  return s;
}

// The pieces of text as a string array of their own.
const char* splitToArray(const char* text, vsnArray** pieces, int* count, const char* noArray) {
  *pieces = vsnArrayNew(VSN_ARRAY_STRING);
  if (!*pieces) return noArray;
  const char* err = splitString(*pieces, text, count);
  if (err) *pieces = nullptr;  // released by splitString
  return err;
}

vsnEntry* findParameter(vsnHandle* h, const char* path) {
  char* full = getFullPath(h, path);
  vsnEntry* e = full ? findEntryH(h, full) : nullptr;
  free(full);
  return e && e->m_kind == VSN_KIND_PARAM && e->m_value ? e : nullptr;
}

} // namespace

int vsnReadInteger(const char* text) {
  if (!text) return 0;
  return clampToInt(std::round(readDecimal(text)));
}

const char* getStringValue(vsnHandle* h, const char* path, char** value) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  if (!value) return "getStringValue: Invalid arguments";
  *value = nullptr;
  char* full = getFullPath(h, path);
  vsnEntry* e = full ? findEntryH(h, full) : nullptr;
  const char* err = nullptr;
  if (!e) {
    err = setVSNErrorH(h, "getStringValue: value \"%s\" does not exist", full ? full : path);
  } else if (e->m_value) {
    *value = strdup(e->m_value);
    if (!*value) err = "getStringValue: unable to allocate value";
  }
  free(full);
  return err;
}

const char* getIntegerValue(vsnHandle* h, const char* path, int* value) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  vsnEntry* e = findParameter(h, path);
  if (!e) return "getIntegerValue: unable to find value";
  if (value) *value = vsnReadInteger(e->m_value);
  return nullptr;
}

const char* getLogicalValue(vsnHandle* h, const char* path, int* value) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  vsnEntry* e = findParameter(h, path);
  if (!e) return kNoLogical;
  return isLogicalValue(e->m_value, value);
}

const char* getStringList(vsnHandle* h, const char* path, char*** strings, int* count) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  vsnEntry* e = findParameter(h, path);
  if (!e) return kNoList;
  return splitStringString(e->m_value, strings, count);
}

const char* getIntegerList(vsnHandle* h, const char* path, int** ints, int* count) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  vsnEntry* e = findParameter(h, path);
  if (!e) return kNoList;
  return splitIntegerString(e->m_value, ints, count);
}

const char* getLogicalList(vsnHandle* h, const char* path, int** ints, int* count) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  vsnEntry* e = findParameter(h, path);
  if (!e) return kNoList;
  return splitLogicalString(e->m_value, ints, count);
}

const char* isLogicalValue(const char* text, int* value) {
  if (!text) text = "";
  const char* p = text;
  while (*p && isWhite(*p)) ++p;
  if (!*p) return kWhitespaceOnly;
  const char* end = p;
  while (*end && !isWhite(*end)) ++end;
  size_t n = static_cast<size_t>(end - p);
  int result = 0;
  if (isDigit(*p)) {
    result = clampToInt(readDecimal(p) + 0.5);
  } else {
    char word[8];
    bool known = false;
    if (n < sizeof word) {
      for (size_t i = 0; i < n; ++i) word[i] = static_cast<char>(tolower(static_cast<unsigned char>(p[i])));
      word[n] = '\0';
      static const char* const yes[] = {"yes", "y", "true", "t", "on"};
      static const char* const no[] = {"no", "n", "false", "f", "off"};
      for (const char* w : yes) {
        if (strcmp(word, w) == 0) {
          result = -1;
          known = true;
        }
      }
      for (const char* w : no) {
        if (strcmp(word, w) == 0) {
          result = 0;
          known = true;
        }
      }
    }
    if (!known) {
      char* err = newNotLogicalText(text);
      return err ? err : kNoErrorString;
    }
  }
  if (value) *value = result;
  return nullptr;
}

const char* splitString(vsnArray* array, const char* text, int* count) {
  if (!text) text = "";
  if (!array) return kSplitFailed;
  char* copy = strdup(text);
  if (!copy) {
    vsnArrayFree(array);
    return kSplitFailed;
  }
  int pieces = 0;
  int level = 0;
  char* start = copy;
  for (char* p = copy;; ++p) {
    if (*p == '(') ++level;
    if (*p == ')') --level;
    if (*p == '\0' || (*p == ',' && level == 0)) {
      bool last = *p == '\0';
      *p = '\0';
      if (!vsnArrayAddStringCopy(array, trimWhiteSpace(start))) {
        free(copy);
        vsnArrayFree(array);
        return kSplitFailed;
      }
      ++pieces;
      if (last) break;
      start = p + 1;
    }
  }
  free(copy);
  if (count) *count = pieces;
  return nullptr;
}

const char* splitStringString(const char* text, char*** strings, int* count) {
  vsnArray* pieces;
  int n = 0;
  const char* err = splitToArray(text, &pieces, &n, "splitStringString: unable to create string array");
  if (err) return err;
  if (!vsnArrayAddString(pieces, nullptr)) {
    vsnArrayFree(pieces);
    return "splitStringString: unable to create string array";
  }
  char** result = vsnArrayDetachStrings(pieces);
  vsnArrayRelease(pieces);
  if (strings) {
    *strings = result;
  } else {
    freeStringArray(result);
  }
  if (count) *count = n;
  return nullptr;
}

const char* splitIntegerString(const char* text, int** ints, int* count) {
  vsnArray* pieces;
  int n = 0;
  const char* err = splitToArray(text, &pieces, &n, "splitIntegerString: unable to create string array");
  if (err) return err;
  int* values = static_cast<int*>(malloc(static_cast<size_t>(n) * sizeof(int)));
  if (!values) {
    vsnArrayFree(pieces);
    return "splitIntegerString: unable to allocate integers array";
  }
  char** s = vsnArrayStrings(pieces);
  for (int i = 0; i < n; ++i) values[i] = vsnReadInteger(s[i]);
  vsnArrayFree(pieces);
  if (ints) {
    *ints = values;
  } else {
    free(values);
  }
  if (count) *count = n;
  return nullptr;
}

const char* splitLogicalString(const char* text, int** ints, int* count) {
  vsnArray* pieces;
  int n = 0;
  const char* err = splitToArray(text, &pieces, &n, kNoStringsArray);
  if (err) return err;
  vsnArray* errors = vsnArrayNew(VSN_ARRAY_STRING);
  vsnArray* values = vsnArrayNew(VSN_ARRAY_INT);
  if (!errors || !values) {
    err = !errors ? kNoErrorsArray : kNoIntegersArray;
    freeVSNItems("CCC", pieces, errors, values);
    return err;
  }
  char** s = vsnArrayStrings(pieces);
  for (int i = 0; i < n && !err; ++i) {
    int v = 0;
    const char* pieceErr = isLogicalValue(s[i], &v);
    if (pieceErr) {
      // Kept owned in the list, fixed texts as copies.
      char* owned = isFixedText(pieceErr) ? strdup(pieceErr) : const_cast<char*>(pieceErr);
      if (!owned || !vsnArrayAddString(errors, owned)) {
        if (owned) free(owned);
        err = kNoErrorMessage;
      }
    } else if (!vsnArrayAddInt(values, v)) {
      err = kNoStoreLogical;
    }
  }
  if (!err && vsnArrayCount(errors) > 0) {
    static const char head[] = "splitLogicalString: not all entries were logicals:\n";
    char* joined = vsnArrayJoinStrings(errors);
    char* message = joined ? static_cast<char*>(malloc(sizeof head + strlen(joined))) : nullptr;
    if (message) {
      memcpy(message, head, sizeof head - 1);
      strcpy(message + sizeof head - 1, joined);
    }
    free(joined);
    err = message ? message : kNoErrorMessage;
  } else if (!err) {
    int* result = vsnArrayCopyInts(values);
    if (!result) {
      err = kNoIntegersArray;
    } else {
      if (ints) {
        *ints = result;
      } else {
        free(result);
      }
      if (count) *count = n;
    }
  }
  freeVSNItems("CCC", pieces, errors, values);
  return err;
}

void freeVSNString(const void* p) {
  if (!p || isFixedText(p)) return;
  free(const_cast<void*>(p));
}

void freeVSNBlock(void* p) { freeVSNString(p); }

void freeStringArray(char** array) {
  if (!array) return;
  for (char** p = array; *p; ++p) free(*p);
  free(array);
}

void freeStringList(char** array, int count) {
  if (!array) return;
  for (int i = 0; i < count; ++i) free(array[i]);
  free(array);
}
