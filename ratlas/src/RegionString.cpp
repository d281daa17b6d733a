#include "RegionString.h"

#include "RegionMemory.h"

#include <cstring>

namespace {

const char* const kTypeWord = "String";

char s_message[REGION_MESSAGE_SIZE];

RegionStatus* invalidString() { return RegionStatus_fail(RS_INVALID_STRING, "Invalid string."); }

} // namespace

RegionStatus* String_new(String** string, const char* text) {
  if (!string) return RegionStatus_failf(s_message, sizeof(s_message), RS_BAD_POINTER, "Cannot return the created %s.", kTypeWord);
  *string = nullptr;
  String* s = static_cast<String*>(RegionMemory_alloc(sizeof(String)));
  if (!s) return RegionStatus_outOfMemory("string");
  s->m_text = nullptr;
  s->m_capacity = 0;
  if (text) {
    s->m_text = RegionMemory_strdup(text);
    if (!s->m_text) {
      RegionMemory_free(s);
      return RegionStatus_outOfMemory("string");
    }
    s->m_capacity = strlen(text) + 1;
  }
  *string = s;
  return RegionStatus_success();
}

const char* String_value(const String* string) { return string ? string->m_text : nullptr; }

RegionStatus* String_append(String* string, const char* text) {
  if (!string) return invalidString();
  if (!text) return RegionStatus_fail(RS_BAD_CALL, "Invalid string.");
  if (!*text) return RegionStatus_success();
  size_t added = strlen(text);
  size_t present = string->m_text ? strlen(string->m_text) : 0;
  if (present + added + 1 > string->m_capacity) {
    // Doubling keeps a text built from many pieces linear in its length.
    size_t capacity = string->m_capacity * 2;
    if (capacity < present + added + 1) capacity = present + added + 1;
    char* grown = static_cast<char*>(RegionMemory_realloc(string->m_text, capacity));
    if (!grown) return RegionStatus_outOfMemory("string");
    string->m_text = grown;
    string->m_capacity = capacity;
  }
  memcpy(string->m_text + present, text, added + 1);
  return RegionStatus_success();
}

RegionStatus* String_delete(String* string, int freeText) {
  if (!string) return invalidString();
  if (freeText) RegionMemory_free(string->m_text);
  RegionMemory_free(string);
  return RegionStatus_success();
}

RegionStatus* String_copyValue(const String* string, char** text) {
  if (!text) return RegionStatus_failf(s_message, sizeof(s_message), RS_BAD_POINTER, "Cannot return %s value.", kTypeWord);
  if (!string || !string->m_text) return invalidString();
  char* copy = RegionMemory_strdup(string->m_text);
  if (!copy) return RegionStatus_outOfMemory("string");
  *text = copy;
  return RegionStatus_success();
}

size_t String_length(const String* string) { return string && string->m_text ? strlen(string->m_text) : 0; }

int String_equals(const String* a, const String* b) {
  if (!a || !b) return 0;
  if (!a->m_text || !b->m_text) return !a->m_text && !b->m_text ? 1 : 0;
  return strcmp(a->m_text, b->m_text) == 0 ? 1 : 0;
}

int String_equalsText(const String* string, const char* text) {
  return string && string->m_text && text && strcmp(string->m_text, text) == 0 ? 1 : 0;
}

int String_hasKeyPrefix(const char* prefix, const char* text) {
  if (!prefix || !text) return 0;
  size_t n = strlen(prefix);
  return strlen(text) > n && strncmp(text, prefix, n) == 0 && text[n] == ':' ? 1 : 0;
}

void String_print(const String* string, FILE* stream) {
  if (!stream) return;
  const char* text = String_value(string);
  fprintf(stream, "String: %s\n", text ? text : "(none)");
}

RegionStatus* StringArray_delete(char*** array, uint64_t count) {
  if (!array || !*array) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot destroy array.");
  for (uint64_t i = 0; i < count; ++i) RegionMemory_free((*array)[i]);
  RegionMemory_free(*array);
  *array = nullptr;
  return RegionStatus_success();
}

RegionStatus* RegionArray_delete(void** array) {
  if (!array || !*array) return RegionStatus_fail(RS_BAD_POINTER, "Invalid object pointer - cannot destroy array.");
  RegionMemory_free(*array);
  *array = nullptr;
  return RegionStatus_success();
}

void RegionArray_free(void** array) {
  if (!array) return;
  RegionMemory_free(*array);
  *array = nullptr;
}
