#include "vsnMessage.h"

#include "vsnArray.h"
#include "vsnEntry.h"
#include "vsnHandle.h"
#include "vsnHash.h"

#include <cctype>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char* const VSN_FREED_TEXT =
    "USE OF FREED MEMORY.  This string belongs to a vsnapilt handle which has been destroyed.";

namespace {

int32_t g_debugLevel = 0;

bool isWhite(char c) { return isspace(static_cast<unsigned char>(c)) != 0; }

// Appends to a buffer when one is given; always counts.
struct Sink {
  char* m_out;
  size_t m_length;
  void put(const char* s, size_t n) {
    if (m_out) memcpy(m_out + m_length, s, n);
    m_length += n;
  }
  void put(char c) { put(&c, 1); }
};

void putInt(Sink& sink, int32_t v) {
  char digits[16];
  int n = snprintf(digits, sizeof digits, "%" PRId32, v);
  sink.put(digits, static_cast<size_t>(n));
}

void putValue(Sink& sink, char conversion, const vsnFormatValue* v) {
  switch (conversion) {
    case 'c':
      if (v && !v->m_isString && v->m_int != 0) sink.put(static_cast<char>(v->m_int));
      break;
    case 'd':
      if (v && v->m_isString) {
        const char* s = v->m_string ? v->m_string : "(nul)";
        sink.put(s, strlen(s));
      } else {
        putInt(sink, v ? v->m_int : 0);
      }
      break;
    default: {  // 's'
      if (v && !v->m_isString) {
        putInt(sink, v->m_int);
      } else {
        const char* s = v && v->m_string ? v->m_string : "(nul)";
        sink.put(s, strlen(s));
      }
      break;
    }
  }
}

void expand(Sink& sink, const char* format, const vsnFormatValue* values, int count) {
  int used = 0;
  for (const char* p = format; *p; ++p) {
    if (*p != '%') {
      sink.put(*p);
      continue;
    }
    char c = p[1];
    if (c == '\0') {
      sink.put('%');
      break;
    }
    ++p;
    if (c == '%') {
      sink.put('%');
      continue;
    }
    const vsnFormatValue* v = used < count ? &values[used] : nullptr;
    ++used;
    if (c == 'c' || c == 'd' || c == 's') {
      putValue(sink, c, v);
    } else {
      sink.put('%');
      sink.put(c);
    }
  }
}

} // namespace

char* vsnFormatArgs(const char* format, const vsnFormatValue* values, int count) {
  if (!format) format = "";
  if (!strchr(format, '%')) return strdup(format);
  Sink measure{nullptr, 0};
  expand(measure, format, values, count);
  char* text = static_cast<char*>(malloc(measure.m_length + 1));
  if (!text) return strdup(format);
  Sink write{text, 0};
  expand(write, format, values, count);
  text[write.m_length] = '\0';
  return text;
}

void vsnScrubAndFree(char* text) {
  if (!text) return;
  size_t n = strlen(text);
  strncpy(text, VSN_FREED_TEXT, n);  // pads with NUL when the notice is shorter
  free(text);
}

const char* vsnSetErrorText(vsnHandle* h, char* text, const char* fallback) {
  if (!text && fallback) text = strdup(fallback);
  if (!h) {
    free(text);
    return fallback;
  }
  vsnScrubAndFree(h->m_errorText);
  h->m_errorText = text;
  if (vsnApiDebug()) {
    printf("%" PRIxPTR ": VSN ERROR: %s\n", reinterpret_cast<uintptr_t>(h), text ? text : "(nul)");
  }
  return text ? text : fallback;
}

int32_t setVSNDebugLevel(int32_t level) {
  g_debugLevel = level;
  return g_debugLevel;
}

int32_t initVSNDebugLevel() {
  const char* v = getenv("VSN_DEBUG_LEVEL");
  long level = v ? strtol(v, nullptr, 10) : 0;
  if (level > INT32_MAX) level = INT32_MAX;
  if (level < INT32_MIN) level = INT32_MIN;
  g_debugLevel = static_cast<int32_t>(level);
  return g_debugLevel;
}

int32_t getVSNDebugLevel() { return g_debugLevel; }

int vsnApiDebug() { return getenv("WEZ_VSNAPI_DEBUG") != nullptr; }

char* trimWhiteSpace(char* text) {
  if (!text) return text;
  size_t start = 0;
  while (text[start] && isWhite(text[start])) ++start;
  size_t n = strlen(text + start);
  while (n > 0 && isWhite(text[start + n - 1])) --n;
  if (start > 0) memmove(text, text + start, n);
  text[n] = '\0';
  return text;
}

char* collapseWhiteSpace(char* text) {
  if (!text) return text;
  char* out = text;
  bool inRun = false;
  for (const char* p = text; *p; ++p) {
    if (isWhite(*p)) {
      if (!inRun) *out++ = ' ';
      inRun = true;
    } else {
      *out++ = *p;
      inRun = false;
    }
  }
  *out = '\0';
  return text;
}

char* stripComment(char* text) {
  if (!text) return text;
  if (text[0] == '#') {
    text[0] = '\0';
    return text;
  }
  for (char* p = text; *p; ++p) {
    if (*p == '#' && (p == text || p[-1] != '\\')) {
      *p = '\0';
      break;
    }
  }
  return text;
}

void freeVSNItems(const char* letters, ...) {
  if (!letters) return;
  va_list ap;
  va_start(ap, letters);
  for (const char* l = letters; *l; ++l) {
    switch (*l) {
      case 'C':
        vsnArrayFree(va_arg(ap, vsnArray*));
        break;
      case 'c':
        vsnArrayRelease(va_arg(ap, vsnArray*));
        break;
      case 'h':
        vsnHashFree(va_arg(ap, vsnHash*));
        break;
      case 'O':
        freeVSNEntryTree(va_arg(ap, vsnEntry*));
        break;
      case 'N':
      case 'S': {
        int count = va_arg(ap, int);
        char** strings = va_arg(ap, char**);
        if (strings) {
          for (int i = 0; i < count; ++i) free(strings[i]);
          free(strings);
        }
        break;
      }
      case 'n':
      case 's':
        free(va_arg(ap, void*));
        break;
      default:
        break;
    }
  }
  va_end(ap);
}
