#include "pgtHandle.h"

#include "CoordFrame.h"
#include "pgtQuantity.h"
#include "units.h"
#include "vsnHandle.h"
#include "vsnListing.h"
#include "vsnLoader.h"
#include "vsnPath.h"
#include "vsnValue.h"

#include <cinttypes>
#include <climits>
#include <cstdlib>
#include <cstring>

#if UINTPTR_MAX == UINT64_MAX
static_assert(sizeof(pgtHandle) == 64, "the reader record is 64 bytes");
#endif

namespace {

// Text for a value query that names an object rather than a parameter.
const char kNotParameter[] = "not a parameter";
const char kBadName[] = "not a valid object name";

void clearError(pgtHandle* h) {
  if (h->m_errorTextOwned) free(const_cast<char*>(h->m_errorText));
  h->m_errorText = nullptr;
  h->m_errorTextOwned = 0;
}

const char* orNul(const char* s) { return s ? s : "(nul)"; }

// The buffer of the formatter: starts at twice the format's length plus 20 and grows by the
// format's length plus 10, keeping room for a number.
struct Buffer {
  char* m_text;
  size_t m_length;
  size_t m_capacity;
  size_t m_step;

  bool reserve(size_t more) {
    const size_t kNumberRoom = 25;
    while (m_length + more + kNumberRoom > m_capacity) {
      char* grown = static_cast<char*>(realloc(m_text, m_capacity + m_step));
      if (!grown) return false;
      m_text = grown;
      m_capacity += m_step;
    }
    return true;
  }
  bool put(const char* s, size_t n) {
    if (!reserve(n)) return false;
    memcpy(m_text + m_length, s, n);
    m_length += n;
    return true;
  }
};

bool childMatches(const vsnChildInfo& c, const char* type) {
  return c.m_kind && strcmp(c.m_kind, "Param") != 0 && c.m_type && strcmp(c.m_type, type) == 0;
}

// The child list of parent; error 1 when it cannot be read.
bool listChildren(pgtHandle* h, const char* caller, const char* parent, int* count, vsnChildInfo** children) {
  const char* err = parent ? getChildList(h->m_vsn, parent, count, children, nullptr, nullptr) : "no object";
  if (err) {
    pgtSetError(h, PGT_E_VSN, "%s: unable to retrieve information for %s: %s", caller, orNul(parent), err);
    return false;
  }
  return true;
}

// Tests a handle by pushing it on the directory stack; error 6 when it is not there.
bool objectExists(pgtHandle* h, const char* caller, const char* parent, const char* type, const char* name,
                  const char* handle) {
  const char* err = pushPath(h->m_vsn, handle);
  if (err) {
    pgtSetError(h, PGT_E_NO_OBJECT, "%s: no such %s %s in %s: %s", caller, type, orNul(name), parent, err);
    return false;
  }
  popPath(h->m_vsn);
  return true;
}

void forgetLengthUnits(pgtHandle* h) {
  free(h->m_lengthUnits);
  h->m_lengthUnits = nullptr;
}

} // namespace

pgtHandle* pgtNew() {
  pgtHandle* h = static_cast<pgtHandle*>(calloc(1, sizeof(pgtHandle)));
  if (!h) return nullptr;
  h->m_vsn = createVSNHandle();
  if (!h->m_vsn) {
    free(h);
    return nullptr;
  }
  return h;
}

int pgtDelete(pgtHandle* h) {
  if (!h) return PGT_E_NO_READER;
  free(h->m_lastReturn);
  forgetLengthUnits(h);
  destroyVSNHandle(h->m_vsn);
  pgtDeleteCoordFrames(h);
  clearError(h);
  free(h);
  return 0;
}

void pgtHandle_print(const pgtHandle* h, FILE* stream) {
  if (!stream) return;
  if (!h) {
    fprintf(stream, "pgtHandle: (nul)\n");
    return;
  }
  fprintf(stream, "pgtHandle %p\n", static_cast<const void*>(h));
  fprintf(stream, "  vsn            = %p\n", static_cast<const void*>(h->m_vsn));
  fprintf(stream, "  lastReturn     = %s\n", orNul(h->m_lastReturn));
  fprintf(stream, "  errorCode      = %" PRId32 "\n", h->m_errorCode);
  fprintf(stream, "  errorText      = %s%s\n", orNul(h->m_errorText), h->m_errorTextOwned ? " (owned)" : "");
  fprintf(stream, "  lengthUnits    = %s\n", orNul(h->m_lengthUnits));
  fprintf(stream, "  coord frames   = %" PRId32 "\n", h->m_noOfCoordFrames);
  for (int32_t i = 0; i < h->m_noOfCoordFrames; ++i) CoordFrame_print(h->m_coordFrames[i], stream);
}

int pgtLoadVSN(pgtHandle* h, const char* const* lines, int count) {
  if (!h) return PGT_E_HANDLE;
  int status = -1;
  u_init(nullptr, &status);
  if (status != 0) return pgtSetError(h, PGT_E_VSN, "pgtLoadVSN: error %d initialising units library", status);
  int n = count;
  if (n < 0) {
    n = 0;
    while (lines && lines[n] && n < INT_MAX) ++n;
  }
  forgetLengthUnits(h);  // the tree is about to change
  const char* err = loadVSNDataH(h->m_vsn, lines, n);
  if (err) return pgtSetError(h, PGT_E_VSN, "pgtLoadVSN: error from VSN API: %s", err);
  createCoordinateFrames(h);
  return 0;
}

int pgtLoadVSNFile(pgtHandle* h, const char* fileName, const char* fileType) {
  if (!h) return PGT_E_HANDLE;
  forgetLengthUnits(h);
  const char* err = loadVSNFileH(h->m_vsn, fileName, fileType);
  if (err) return pgtSetError(h, PGT_E_VSN, "pgtLoadVSNFile: error from VSN API: %s", err);
  createCoordinateFrames(h);
  return 0;
}

int pgtGetError(pgtHandle* h, const char** text) {
  if (!h) {
    if (text) *text = "";
    return PGT_E_HANDLE;
  }
  if (text) *text = h->m_errorText ? h->m_errorText : "";
  return h->m_errorCode;
}

char* pgtFormatText(const char* format, const vsnFormatValue* values, int count) {
  if (!format) format = "";
  size_t length = strlen(format);
  Buffer b{nullptr, 0, 2 * length + 20, length + 10};
  b.m_text = static_cast<char*>(malloc(b.m_capacity));
  if (!b.m_text) return nullptr;
  int used = 0;
  bool ok = true;
  for (const char* p = format; *p && ok; ++p) {
    if (*p != '%') {
      ok = b.put(p, 1);
      continue;
    }
    char c = p[1];
    if (c == '\0') {
      ok = b.put("%", 1);
      break;
    }
    ++p;
    if (c == '%') {
      ok = b.put("%", 1);
      continue;
    }
    const vsnFormatValue* v = used < count ? &values[used] : nullptr;
    ++used;
    if (c == 'd') {
      char digits[16];
      int n = snprintf(digits, sizeof digits, "%" PRId32, v && !v->m_isString ? v->m_int : 0);
      ok = b.put(digits, static_cast<size_t>(n));
    } else if (c == 's') {
      const char* s = v && v->m_isString ? orNul(v->m_string) : "(nul)";
      ok = b.put(s, strlen(s));
    } else {
      char kept[2] = {'%', c};
      ok = b.put(kept, 2);
    }
  }
  if (!ok) {
    free(b.m_text);
    return nullptr;
  }
  b.m_text[b.m_length] = '\0';
  char* shrunk = static_cast<char*>(realloc(b.m_text, b.m_length + 1));
  return shrunk ? shrunk : b.m_text;
}

int pgtSetErrorValues(pgtHandle* h, int code, const char* format, const vsnFormatValue* values, int count) {
  if (!h) return code;
  clearError(h);
  h->m_errorCode = code;
  h->m_errorText = format;
  if (format && strchr(format, '%')) {
    char* text = pgtFormatText(format, values, count);
    if (text) {
      h->m_errorText = text;
      h->m_errorTextOwned = 1;
    }
  }
  return code;
}

const char* pgtStashRV(pgtHandle* h, const char* text) {
  if (!h) return nullptr;
  free(h->m_lastReturn);
  h->m_lastReturn = text ? strdup(text) : nullptr;
  if (text && !h->m_lastReturn) pgtSetError(h, PGT_E_MEMORY, "allocation failed in pgtStashRV");
  return h->m_lastReturn;
}

void* pgtAlloc(pgtHandle* h, size_t size, const char* caller) {
  void* p = malloc(size ? size : 1);
  if (!p) {
    int shown = size > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
    pgtSetError(h, PGT_E_MEMORY, "Unable to allocate %d bytes in %s", shown, caller);
  }
  return p;
}

char* pgtJoin(pgtHandle* h, const char* caller, const char* a, const char* b, const char* c, const char* d,
              const char* e) {
  const char* parts[] = {a, b, c, d, e};
  size_t length = 0;
  for (const char* p : parts) length += p ? strlen(p) : 0;
  char* out = static_cast<char*>(pgtAlloc(h, length + 1, caller));
  if (!out) return nullptr;
  size_t at = 0;
  for (const char* p : parts) {
    if (!p) continue;
    size_t n = strlen(p);
    memcpy(out + at, p, n);
    at += n;
  }
  out[at] = '\0';
  return out;
}

const char* pgtGetParameter(pgtHandle* h, const char* caller, const char* object, const char* parameter) {
  if (!h) return nullptr;
  if (!object || !parameter) {
    pgtSetError(h, PGT_E_HANDLE, "%s: bad handle", caller);
    return nullptr;
  }
  char* path = pgtJoin(h, caller, object, "/", parameter);
  if (!path) return nullptr;
  char* value = nullptr;
  const char* err = getStringValue(h->m_vsn, path, &value);
  free(path);
  if (!err && !value) err = kNotParameter;
  if (err) {
    pgtSetError(h, PGT_E_VSN, "%s: unable to retrieve information for %s in %s: %s", caller, parameter, object, err);
    return nullptr;
  }
  const char* kept = pgtStashRV(h, value);
  freeVSNString(value);
  return kept;
}

int pgtGetParameterList(pgtHandle* h, const char* caller, const char* object, const char* parameter, char*** list,
                        int* count) {
  *list = nullptr;
  *count = 0;
  if (!h) return 0;
  if (!object || !parameter) {
    pgtSetError(h, PGT_E_HANDLE, "%s: bad handle", caller);
    return 0;
  }
  char* path = pgtJoin(h, caller, object, "/", parameter);
  if (!path) return 0;
  const char* err = getStringList(h->m_vsn, path, list, count);
  free(path);
  if (err) {
    pgtSetError(h, PGT_E_VSN, "%s: unable to retrieve information for %s in %s: %s", caller, parameter, object, err);
    *list = nullptr;
    *count = 0;
    return 0;
  }
  return 1;
}

int pgtCountChildren(pgtHandle* h, const char* caller, const char* parent, const char* type) {
  if (!h) return -1;
  int n = 0;
  vsnChildInfo* children = nullptr;
  if (!listChildren(h, caller, parent, &n, &children)) return -1;
  int found = 0;
  for (int i = 0; i < n; ++i) found += childMatches(children[i], type) ? 1 : 0;
  freeChildArray(children, n);
  return found;
}

char** pgtGHHandles(pgtHandle* h, const char* caller, const char* parent, const char* type) {
  if (!h) return nullptr;
  int n = 0;
  vsnChildInfo* children = nullptr;
  if (!listChildren(h, caller, parent, &n, &children)) return nullptr;
  int found = 0;
  for (int i = 0; i < n; ++i) found += childMatches(children[i], type) ? 1 : 0;
  char** handles = static_cast<char**>(pgtAlloc(h, (static_cast<size_t>(found) + 1) * sizeof(char*), caller));
  if (handles) {
    int k = 0;
    for (int i = 0; i < n && handles; ++i) {
      if (!childMatches(children[i], type)) continue;
      handles[k] = pgtJoin(h, caller, parent, "/", type, ":", children[i].m_name);
      if (!handles[k]) {
        for (int j = 0; j < k; ++j) free(handles[j]);
        free(handles);
        handles = nullptr;
        break;
      }
      ++k;
    }
    if (handles) handles[k] = nullptr;
  }
  freeChildArray(children, n);
  return handles;
}

char* pgtFindNamedObject(pgtHandle* h, const char* caller, const char* parent, const char* type, const char* name) {
  if (!h) return nullptr;
  if (!parent) {
    pgtSetError(h, PGT_E_HANDLE, "%s: bad handle", caller);
    return nullptr;
  }
  if (!name || !*name || strchr(name, '/') || strchr(name, ':')) {
    pgtSetError(h, PGT_E_NO_OBJECT, "%s: no such %s %s in %s: %s", caller, type, orNul(name), parent, kBadName);
    return nullptr;
  }
  char* handle = pgtJoin(h, caller, parent, "/", type, ":", name);
  if (handle && !objectExists(h, caller, parent, type, name, handle)) {
    free(handle);
    return nullptr;
  }
  return handle;
}

char* pgtFindSingleton(pgtHandle* h, const char* caller, const char* parent, const char* type) {
  int n = pgtCountChildren(h, caller, parent, type);
  if (n <= 0) return nullptr;
  if (n > 1) {
    pgtSetError(h, PGT_E_NOT_SINGLE, "%s: %s in %s is not a singleton", caller, type, parent);
    return nullptr;
  }
  char* handle = pgtJoin(h, caller, parent, "/", type);
  if (handle && !objectExists(h, caller, parent, type, type, handle)) {
    free(handle);
    return nullptr;
  }
  return handle;
}

const char* pgtHandleName(pgtHandle* h, const char* caller, const char* handle) {
  const char* colon = handle ? strrchr(handle, ':') : nullptr;
  if (!colon || strchr(colon, '/') || colon[1] == '\0') {
    pgtSetError(h, PGT_E_HANDLE, "%s: bad handle", caller);
    return nullptr;
  }
  return colon + 1;
}

char* pgtHandleParent(pgtHandle* h, const char* caller, const char* handle) {
  const char* slash = handle ? strrchr(handle, '/') : nullptr;
  if (!slash || slash[1] == '\0') {
    pgtSetError(h, PGT_E_HANDLE, "%s: bad handle", caller);
    return nullptr;
  }
  size_t n = static_cast<size_t>(slash - handle);
  char* parent = static_cast<char*>(pgtAlloc(h, n + 1, caller));
  if (!parent) return nullptr;
  memcpy(parent, handle, n);
  parent[n] = '\0';
  return parent;
}

void pgtFreeHandleArray(char** handles) {
  if (!handles) return;
  for (char** p = handles; *p; ++p) free(*p);
  free(handles);
}

void pgtFreeOneHandle(char* handle) { free(handle); }
