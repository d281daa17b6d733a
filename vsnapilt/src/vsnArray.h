// Growable arrays typed by element kind, and memory contexts: pointer arrays that record the
// blocks allocated through them so that a failing operation can free them all at once.
#ifndef VSN_ARRAY_H
#define VSN_ARRAY_H

#include <cstddef>
#include <cstdint>

enum vsnArrayKind : uint32_t {
  VSN_ARRAY_CHAR = 0,
  VSN_ARRAY_STRING = 1,
  VSN_ARRAY_INT = 2,
  VSN_ARRAY_POINTER = 3,
};

struct vsnArray {
  uint32_t m_kind;
  int32_t m_count;
  int32_t m_capacity;
  int32_t m_length;  // total length of the strings held; the character count of a character array
  void* m_data;      // capacity elements (a character array has one more, for the closing zero)
};

vsnArray* vsnArrayNew(uint32_t kind);
vsnArray* vsnArrayInit(vsnArray* array, uint32_t kind);
int vsnArrayGrow(vsnArray* array);
int vsnArrayAddChar(vsnArray* array, char c);
int vsnArrayAddInt(vsnArray* array, int32_t value);
int vsnArrayAddPointer(vsnArray* array, void* pointer);
int vsnArrayAddString(vsnArray* array, char* string);
int vsnArrayAddStringCopy(vsnArray* array, const char* string);
int32_t vsnArrayCount(const vsnArray* array);
void vsnArrayClearItems(vsnArray* array);
void vsnArrayReset(vsnArray* array);
void vsnArrayClear(vsnArray* array);
void vsnArrayFree(vsnArray* array);
void vsnArrayRelease(vsnArray* array);
char* vsnArrayChars(const vsnArray* array);
char* vsnArrayCopyChars(const vsnArray* array);
int32_t* vsnArrayInts(const vsnArray* array);
int32_t* vsnArrayCopyInts(const vsnArray* array);
char** vsnArrayStrings(const vsnArray* array);
char** vsnArrayCopyStrings(const vsnArray* array);
char** vsnArrayDetachStrings(vsnArray* array);
char* vsnArrayJoinStrings(const vsnArray* array);
void** vsnArrayPointers(const vsnArray* array);
void** vsnArrayCopyPointers(const vsnArray* array);
void vsnArrayPrint(const vsnArray* array);

// Memory contexts (pointer arrays).
void* vsnCtxMalloc(vsnArray* ctx, size_t size);
void* vsnCtxCalloc(vsnArray* ctx, size_t count, size_t size);
char* vsnCtxStrdup(vsnArray* ctx, const char* string);
void* vsnCtxRealloc(vsnArray* ctx, void* block, size_t size);
void vsnCtxFree(vsnArray* ctx, void* block);

#endif
