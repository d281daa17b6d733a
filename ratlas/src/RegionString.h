// One-field string object of the region-atlas library (the text buffers of maps, atlases and
// definitions), and the release of text arrays that the library hands out.
#ifndef REGION_STRING_H
#define REGION_STRING_H

#include "RegionStatus.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct String {
  char* m_text;         // owned, zero-terminated, or NULL
  size_t m_capacity;    // bytes allocated for m_text (0 when it is NULL), so appends amortise
};

RegionStatus* String_new(String** string, const char* text);
const char* String_value(const String* string);
RegionStatus* String_append(String* string, const char* text);
// Frees the string, and its text when freeText is set (the caller then owns the text, which
// RegionMemory_release frees).
RegionStatus* String_delete(String* string, int freeText);
RegionStatus* String_copyValue(const String* string, char** text);
size_t String_length(const String* string);
int String_equals(const String* a, const String* b);
int String_equalsText(const String* string, const char* text);
// 1 when text is longer than prefix, begins with it and continues with ':'.
int String_hasKeyPrefix(const char* prefix, const char* text);
void String_print(const String* string, FILE* stream);

// Frees count texts and the array, and clears the pointer.
RegionStatus* StringArray_delete(char*** array, uint64_t count);
// Frees a plain array behind a pointer and clears the pointer; refuses a missing array.
RegionStatus* RegionArray_delete(void** array);
// The same, without complaint when there is nothing to free.
void RegionArray_free(void** array);

#endif
