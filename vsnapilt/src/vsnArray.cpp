#include "vsnArray.h"

#include "vsnMessage.h"

#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const int32_t kInitialCapacity = 10;

size_t elementSize(uint32_t kind) {
  switch (kind) {
    case VSN_ARRAY_CHAR: return 1;
    case VSN_ARRAY_STRING: return sizeof(char*);
    case VSN_ARRAY_INT: return sizeof(int32_t);
    case VSN_ARRAY_POINTER: return sizeof(void*);
    default: return 0;
  }
}

// Bytes of storage for a capacity; a character array keeps one more place for its closing zero.
size_t storageBytes(uint32_t kind, int32_t capacity) {
  size_t n = static_cast<size_t>(capacity) + (kind == VSN_ARRAY_CHAR ? 1 : 0);
  return n * elementSize(kind);
}

bool isKind(const vsnArray* array, uint32_t kind) { return array && array->m_kind == kind; }

bool makeRoom(vsnArray* array) {
  return array->m_data && array->m_count < array->m_capacity ? true : vsnArrayGrow(array) == 1;
}

void freeElements(vsnArray* array) {
  if (!array->m_data) return;
  if (array->m_kind == VSN_ARRAY_STRING || array->m_kind == VSN_ARRAY_POINTER) {
    void** items = static_cast<void**>(array->m_data);
    for (int32_t i = 0; i < array->m_count; ++i) {
      free(items[i]);
      items[i] = nullptr;
    }
  }
}

void traceContext(const vsnArray* ctx) {
  if (getVSNDebugLevel() >= 2) vsnArrayPrint(ctx);
}

// Index of a recorded block, searched from the newest.
int32_t findBlock(const vsnArray* ctx, const void* block) {
  void* const* items = static_cast<void* const*>(ctx->m_data);
  for (int32_t i = ctx->m_count - 1; i >= 0; --i) {
    if (items[i] == block) return i;
  }
  return -1;
}

} // namespace

vsnArray* vsnArrayInit(vsnArray* array, uint32_t kind) {
  if (elementSize(kind) == 0) return nullptr;
  bool made = false;
  if (!array) {
    array = static_cast<vsnArray*>(calloc(1, sizeof(vsnArray)));
    if (!array) return nullptr;
    made = true;
  }
  free(array->m_data);
  array->m_kind = kind;
  array->m_count = 0;
  array->m_length = 0;
  array->m_capacity = kInitialCapacity;
  array->m_data = calloc(1, storageBytes(kind, kInitialCapacity));
  if (!array->m_data) {
    array->m_capacity = 0;
    if (made) free(array);
    return nullptr;
  }
  return array;
}

vsnArray* vsnArrayNew(uint32_t kind) { return vsnArrayInit(nullptr, kind); }

int vsnArrayGrow(vsnArray* array) {
  if (!array || elementSize(array->m_kind) == 0) return 0;
  int32_t capacity = array->m_capacity > 0 ? array->m_capacity : kInitialCapacity;
  if (array->m_data && array->m_capacity > 0) {
    if (capacity > INT32_MAX / 2) return 0;
    capacity *= 2;
  }
  size_t oldBytes = array->m_data ? storageBytes(array->m_kind, array->m_capacity) : 0;
  size_t newBytes = storageBytes(array->m_kind, capacity);
  void* data = realloc(array->m_data, newBytes);
  if (!data) return 0;
  memset(static_cast<char*>(data) + oldBytes, 0, newBytes - oldBytes);
  array->m_data = data;
  array->m_capacity = capacity;
  return 1;
}

int vsnArrayAddChar(vsnArray* array, char c) {
  if (!isKind(array, VSN_ARRAY_CHAR) || !makeRoom(array)) return 0;
  char* chars = static_cast<char*>(array->m_data);
  chars[array->m_count++] = c;
  chars[array->m_count] = '\0';
  array->m_length = array->m_count;
  return 1;
}

int vsnArrayAddInt(vsnArray* array, int32_t value) {
  if (!isKind(array, VSN_ARRAY_INT) || !makeRoom(array)) return 0;
  static_cast<int32_t*>(array->m_data)[array->m_count++] = value;
  return 1;
}

int vsnArrayAddPointer(vsnArray* array, void* pointer) {
  if (!isKind(array, VSN_ARRAY_POINTER) || !makeRoom(array)) return 0;
  static_cast<void**>(array->m_data)[array->m_count++] = pointer;
  return 1;
}

int vsnArrayAddString(vsnArray* array, char* string) {
  if (!isKind(array, VSN_ARRAY_STRING)) return 0;
  size_t len = string ? strlen(string) : 0;
  if (len > static_cast<size_t>(INT32_MAX - array->m_length)) return 0;
  if (!makeRoom(array)) return 0;
  static_cast<char**>(array->m_data)[array->m_count++] = string;
  array->m_length += static_cast<int32_t>(len);
  return 1;
}

int vsnArrayAddStringCopy(vsnArray* array, const char* string) {
  if (!isKind(array, VSN_ARRAY_STRING)) return 0;
  char* copy = nullptr;
  if (string) {
    copy = strdup(string);
    if (!copy) return 0;
  }
  if (!vsnArrayAddString(array, copy)) {
    free(copy);
    return 0;
  }
  return 1;
}

int32_t vsnArrayCount(const vsnArray* array) { return array ? array->m_count : 0; }

void vsnArrayClearItems(vsnArray* array) {
  if (!array || !array->m_data) return;
  switch (array->m_kind) {
    case VSN_ARRAY_CHAR:
      memset(array->m_data, 0, static_cast<size_t>(array->m_count));
      break;
    case VSN_ARRAY_INT:
      memset(array->m_data, 0, static_cast<size_t>(array->m_count) * sizeof(int32_t));
      break;
    default:
      freeElements(array);
      if (array->m_kind == VSN_ARRAY_STRING) array->m_length = 0;
      break;
  }
}

void vsnArrayReset(vsnArray* array) {
  if (!array) return;
  if (array->m_data) memset(array->m_data, 0, storageBytes(array->m_kind, array->m_capacity));
  array->m_count = 0;
  array->m_length = 0;
}

void vsnArrayClear(vsnArray* array) {
  if (!array) return;
  freeElements(array);
  vsnArrayReset(array);
}

void vsnArrayFree(vsnArray* array) {
  if (!array) return;
  freeElements(array);
  free(array->m_data);
  free(array);
}

void vsnArrayRelease(vsnArray* array) {
  if (!array) return;
  free(array->m_data);
  free(array);
}

char* vsnArrayChars(const vsnArray* array) {
  return isKind(array, VSN_ARRAY_CHAR) ? static_cast<char*>(array->m_data) : nullptr;
}

char* vsnArrayCopyChars(const vsnArray* array) {
  if (!isKind(array, VSN_ARRAY_CHAR)) return nullptr;
  char* copy = static_cast<char*>(malloc(static_cast<size_t>(array->m_count) + 1));
  if (!copy) return nullptr;
  if (array->m_count > 0) memcpy(copy, array->m_data, static_cast<size_t>(array->m_count));
  copy[array->m_count] = '\0';
  return copy;
}

int32_t* vsnArrayInts(const vsnArray* array) {
  return isKind(array, VSN_ARRAY_INT) ? static_cast<int32_t*>(array->m_data) : nullptr;
}

int32_t* vsnArrayCopyInts(const vsnArray* array) {
  if (!isKind(array, VSN_ARRAY_INT)) return nullptr;
  size_t n = static_cast<size_t>(array->m_count);
  int32_t* copy = static_cast<int32_t*>(malloc((n ? n : 1) * sizeof(int32_t)));
  if (copy && n) memcpy(copy, array->m_data, n * sizeof(int32_t));
  return copy;
}

char** vsnArrayStrings(const vsnArray* array) {
  return isKind(array, VSN_ARRAY_STRING) ? static_cast<char**>(array->m_data) : nullptr;
}

char** vsnArrayCopyStrings(const vsnArray* array) {
  if (!isKind(array, VSN_ARRAY_STRING)) return nullptr;
  size_t n = static_cast<size_t>(array->m_count);
  char** copy = static_cast<char**>(calloc(n ? n : 1, sizeof(char*)));
  if (!copy) return nullptr;
  char** from = static_cast<char**>(array->m_data);
  for (size_t i = 0; i < n; ++i) {
    if (!from[i]) continue;
    copy[i] = strdup(from[i]);
    if (!copy[i]) {
      for (size_t j = 0; j < i; ++j) free(copy[j]);
      free(copy);
      return nullptr;
    }
  }
  return copy;
}

char** vsnArrayDetachStrings(vsnArray* array) {
  if (!isKind(array, VSN_ARRAY_STRING)) return nullptr;
  char** strings = static_cast<char**>(array->m_data);
  array->m_data = nullptr;
  array->m_capacity = 0;
  vsnArrayInit(array, VSN_ARRAY_STRING);  // without storage the next append makes it
  return strings;
}

char* vsnArrayJoinStrings(const vsnArray* array) {
  if (!isKind(array, VSN_ARRAY_STRING)) return nullptr;
  char** strings = static_cast<char**>(array->m_data);
  size_t total = 0;
  for (int32_t i = 0; i < array->m_count; ++i) {
    if (strings[i]) total += strlen(strings[i]);
  }
  char* joined = static_cast<char*>(malloc(total + 1));
  if (!joined) return nullptr;
  size_t at = 0;
  for (int32_t i = 0; i < array->m_count; ++i) {
    if (!strings[i]) continue;
    size_t n = strlen(strings[i]);
    memcpy(joined + at, strings[i], n);
    at += n;
  }
  joined[at] = '\0';
  return joined;
}

void** vsnArrayPointers(const vsnArray* array) {
  return isKind(array, VSN_ARRAY_POINTER) ? static_cast<void**>(array->m_data) : nullptr;
}

void** vsnArrayCopyPointers(const vsnArray* array) {
  if (!isKind(array, VSN_ARRAY_POINTER)) return nullptr;
  size_t n = static_cast<size_t>(array->m_count);
  void** copy = static_cast<void**>(malloc((n ? n : 1) * sizeof(void*)));
  if (copy && n) memcpy(copy, array->m_data, n * sizeof(void*));
  return copy;
}

void vsnArrayPrint(const vsnArray* array) {
  if (!array || !array->m_data) {
    printf("\n");
    return;
  }
  for (int32_t i = 0; i < array->m_count; ++i) {
    switch (array->m_kind) {
      case VSN_ARRAY_CHAR:
        printf("%c\n", static_cast<char*>(array->m_data)[i]);
        break;
      case VSN_ARRAY_STRING: {
        const char* s = static_cast<char**>(array->m_data)[i];
        printf("%d: %s\n", i, s ? s : "(nul)");
        break;
      }
      case VSN_ARRAY_INT:
        printf("%d: %d\n", i, static_cast<int32_t*>(array->m_data)[i]);
        break;
      default:
        printf("%d: 0x%" PRIxPTR "\n", i, reinterpret_cast<uintptr_t>(static_cast<void**>(array->m_data)[i]));
        break;
    }
  }
  printf("\n");
}

void* vsnCtxMalloc(vsnArray* ctx, size_t size) {
  if (!isKind(ctx, VSN_ARRAY_POINTER)) return nullptr;
  void* block = malloc(size ? size : 1);
  if (!block) return nullptr;
  if (!vsnArrayAddPointer(ctx, block)) {
    free(block);
    return nullptr;
  }
  traceContext(ctx);
  return block;
}

void* vsnCtxCalloc(vsnArray* ctx, size_t count, size_t size) {
  if (!isKind(ctx, VSN_ARRAY_POINTER)) return nullptr;
  void* block = calloc(count ? count : 1, size ? size : 1);
  if (!block) return nullptr;
  if (!vsnArrayAddPointer(ctx, block)) {
    free(block);
    return nullptr;
  }
  traceContext(ctx);
  return block;
}

char* vsnCtxStrdup(vsnArray* ctx, const char* string) {
  if (!string) return nullptr;
  size_t n = strlen(string) + 1;
  char* copy = static_cast<char*>(vsnCtxMalloc(ctx, n));
  if (copy) memcpy(copy, string, n);
  return copy;
}

void* vsnCtxRealloc(vsnArray* ctx, void* block, size_t size) {
  if (!isKind(ctx, VSN_ARRAY_POINTER) || !ctx->m_data) return nullptr;
  int32_t i = findBlock(ctx, block);
  if (i < 0) return nullptr;
  void* grown = realloc(block, size ? size : 1);
  if (!grown) return nullptr;
  static_cast<void**>(ctx->m_data)[i] = grown;
  traceContext(ctx);
  return grown;
}

void vsnCtxFree(vsnArray* ctx, void* block) {
  if (!isKind(ctx, VSN_ARRAY_POINTER) || !ctx->m_data || !block) return;
  int32_t i = findBlock(ctx, block);
  if (i < 0) return;
  free(block);
  static_cast<void**>(ctx->m_data)[i] = nullptr;
  traceContext(ctx);
}
