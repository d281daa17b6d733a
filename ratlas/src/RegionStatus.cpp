#include "RegionStatus.h"

#include "RegionMemory.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

struct RegionStatusRow {
  uint32_t m_code;
  const char* m_text;
};

// Stored as written, 800006 among the 5xxxxx rows; sorted once before the first lookup.
RegionStatusRow s_table[] = {
    {0, "No Error"},
    {1, "User defined error"},
    {2, "Internal error"},
    {3, "Bad function call"},
    {4, "functionality not implemented"},
    {5, "Invalid File descriptor"},
    {6, "Unrecognised VSN"},
    {7, "Insufficient memory to perform operation"},
    {8, "Invalid object pointer supplied"},
    {100000, "Invalid Atlas"},
    {100001, "Invalid Map"},
    {100002, "Invalid Type of Map"},
    {100003, "Invalid Definition"},
    {100004, "Invalid Combination"},
    {100005, "Invalid Operation"},
    {100006, "Invalid Side"},
    {100007, "Invalid Name"},
    {100008, "Invalid Name Manager"},
    {100009, "Invalid String List"},
    {100010, "Invalid String"},
    {200000, "Unable to create Atlas"},
    {200001, "Unable to create Map"},
    {200003, "Unable to create Definition"},
    {200004, "Unable to create Name"},
    {300000, "Name is blank"},
    {400000, "Map is already in an Atlas"},
    {400001, "Map is not in an Atlas"},
    {400002, "ZYR Map already exists"},
    {400003, "Primary map already exists"},
    {400004, "Secondary Map already exists"},
    {400005, "ZYR map doesn't exist"},
    {400006, "Primary map doesn't exist"},
    {400007, "Secondary map doesn't exist"},
    {500000, "Map does not have an owner"},
    {800006, "Map defines a region already in the atlas"},
    {600000, "Explicit primitive name cannot be defined"},
    {600001, "Imported primitive name cannot be altered"},
    {600002, "Region is not defined as an explicit primitive in Map"},
    {600003, "Region cannot be defined as an explicit primitive"},
    {600004, "Region in Map cannot reference a name defined in a higher Map"},
    {600005, "Region in Map cannot be referenced by a name defined in a lower Map"},
    {700000, "Region cannot be defined in terms of itself"},
    {700001, "The operation requested cannot be performed on the Region"},
    {700002, "The Region requires at least one component"},
    {700003, "The operation requested would leave the Region in a invalid state"},
    {800000, "Region could not be found"},
    {800001, "Region is primitive"},
    {800002, "Region is not defined in Map"},
    {800003, "Region not defined"},
    {800004, "Region already defined"},
    {800005, "Component is not a referenced by the Region"},
    {900000, "String not in in list"},
    {900001, "String list is empty"},
    {900002, "End of list"},
};
const size_t kRows = sizeof(s_table) / sizeof(s_table[0]);
static_assert(sizeof(s_table) / sizeof(s_table[0]) == 54, "the status table has 54 rows");

char s_successText[] = "No Error.";
RegionStatus s_success = {0, s_successText, 0};
RegionStatus s_error = {0, nullptr, REGION_STATUS_ERROR};
bool s_ready = false;

char s_message[REGION_MESSAGE_SIZE];

// Saved copies, top at m_top.
struct SaveStack {
  int32_t m_capacity;
  int32_t m_top;
  RegionStatus** m_items;
};
SaveStack* s_saved = nullptr;

int compareRows(const void* a, const void* b) {
  int32_t x = static_cast<int32_t>(static_cast<const RegionStatusRow*>(a)->m_code);
  int32_t y = static_cast<int32_t>(static_cast<const RegionStatusRow*>(b)->m_code);
  return x < y ? -1 : (x > y ? 1 : 0);
}

void prepare() {
  if (s_ready) return;
  qsort(s_table, kRows, sizeof(RegionStatusRow), compareRows);
  s_ready = true;
}

bool isProcessRecord(const RegionStatus* status) { return status == &s_success || status == &s_error; }

bool endsWithFullStop(const char* text) {
  size_t n = strlen(text);
  return n > 0 && text[n - 1] == '.';
}

// Makes room for one more saved copy.
bool growStack() {
  if (!s_saved) {
    SaveStack* stack = static_cast<SaveStack*>(RegionMemory_alloc(sizeof(SaveStack)));
    if (!stack) return false;
    stack->m_capacity = 10;
    stack->m_top = -1;
    stack->m_items = static_cast<RegionStatus**>(RegionMemory_allocArray(10, sizeof(RegionStatus*)));
    if (!stack->m_items) {
      RegionMemory_free(stack);
      return false;
    }
    s_saved = stack;
  }
  if (s_saved->m_top + 1 < s_saved->m_capacity) return true;
  if (s_saved->m_capacity < 1 || s_saved->m_capacity > INT32_MAX / 2) return false;
  int32_t capacity = s_saved->m_capacity * 2;
  RegionStatus** items =
      static_cast<RegionStatus**>(RegionMemory_reallocArray(s_saved->m_items, uint64_t(capacity), sizeof(RegionStatus*)));
  if (!items) return false;
  s_saved->m_items = items;
  s_saved->m_capacity = capacity;
  return true;
}

} // namespace

int RegionStatus_set(RegionStatus** result, int isError, uint32_t code, const char* message) {
  prepare();
  if (isError != 1) {
    if (result) *result = &s_success;
    return 1;
  }
  // Copy before freeing: the message may be the present text itself.
  char* copy = message ? RegionMemory_strdup(message) : nullptr;
  RegionMemory_free(s_error.m_text);
  s_error.m_text = copy;
  s_error.m_flags = REGION_STATUS_ERROR;
  s_error.m_code = code;
  if (code == RS_INTERNAL) s_error.m_flags |= REGION_STATUS_INTERNAL;
  if (result) *result = &s_error;
  return message && !copy ? 0 : 1;
}

RegionStatus* RegionStatus_success() {
  prepare();
  return &s_success;
}

RegionStatus* RegionStatus_fail(uint32_t code, const char* message) {
  RegionStatus* status = nullptr;
  RegionStatus_set(&status, 1, code, message);
  return status;
}

RegionStatus* RegionStatus_failf(char* buffer, size_t size, uint32_t code, const char* format, ...) {
  va_list args;
  va_start(args, format);
  vsnprintf(buffer, size, format, args);
  va_end(args);
  return RegionStatus_fail(code, buffer);
}

RegionStatus* RegionStatus_outOfMemory(const char* typeWord) {
  return RegionStatus_failf(s_message, sizeof(s_message), RS_NO_MEMORY, "Unable to allocate memory for new %s.",
                            typeWord ? typeWord : "");
}

int RegionStatus_appendDetail(RegionStatus* status, const char* message) {
  prepare();
  if (!status || status == &s_success || !message || !*message) return 0;
  if (!status->m_text) {
    char* copy = RegionMemory_strdup(message);
    if (!copy) return 0;
    status->m_text = copy;
    return 1;
  }
  const char* separator = endsWithFullStop(status->m_text) ? "\n" : ".\n";
  size_t a = strlen(status->m_text), s = strlen(separator), m = strlen(message);
  char* joined = static_cast<char*>(RegionMemory_alloc(a + s + m + 1));
  if (!joined) return 0;
  memcpy(joined, status->m_text, a);
  memcpy(joined + a, separator, s);
  memcpy(joined + a + s, message, m + 1);
  RegionMemory_free(status->m_text);
  status->m_text = joined;
  return 1;
}

int RegionStatus_isInternal(const RegionStatus* status) {
  return status && (status->m_flags & REGION_STATUS_INTERNAL) ? 1 : 0;
}

uint32_t RegionStatus_getCode(const RegionStatus* status) { return status ? status->m_code : 0; }

const char* RegionStatus_textOfCode(uint32_t code) {
  prepare();
  RegionStatusRow key = {code, nullptr};
  const void* row = bsearch(&key, s_table, kRows, sizeof(RegionStatusRow), compareRows);
  return row ? static_cast<const RegionStatusRow*>(row)->m_text : "Unknown Error.";
}

const char* RegionStatus_getText(const RegionStatus* status) { return RegionStatus_textOfCode(RegionStatus_getCode(status)); }

int RegionStatus_getDetails(const RegionStatus* status, char*** lines, uint64_t* count) {
  prepare();
  if (lines) *lines = nullptr;
  if (count) *count = 0;
  if (!lines || !count || !status || !status->m_text || !*status->m_text) return 0;
  const char* text = status->m_text;
  uint64_t n = 0;
  for (const char* p = text; *p; ++p) n += *p == '\n';
  if (text[strlen(text) - 1] != '\n') ++n;
  char** array = static_cast<char**>(RegionMemory_allocArray(n, sizeof(char*)));
  if (!array) return 0;
  uint64_t made = 0;
  const char* p = text;
  while (*p) {
    const char* end = strchr(p, '\n');
    size_t length = end ? size_t(end - p + 1) : strlen(p);
    const char* tail = end ? "" : ".\n";
    size_t t = strlen(tail);
    char* line = static_cast<char*>(RegionMemory_alloc(length + t + 1));
    if (!line) {
      for (uint64_t i = 0; i < made; ++i) RegionMemory_free(array[i]);
      RegionMemory_free(array);
      return 0;
    }
    memcpy(line, p, length);
    memcpy(line + length, tail, t + 1);
    array[made++] = line;
    p += length;
  }
  *lines = array;
  *count = made;
  return 1;
}

void RegionStatus_print(const RegionStatus* status, FILE* stream) {
  prepare();
  if (!stream) stream = stderr;
  const char* text = status && status->m_text ? status->m_text : RegionStatus_getText(status);
  fprintf(stream, endsWithFullStop(text) ? "%s\n" : "%s.\n", text);
}

int RegionStatus_save(const RegionStatus* status) {
  prepare();
  if (!status) status = &s_success;
  RegionStatus* copy = static_cast<RegionStatus*>(RegionMemory_alloc(sizeof(RegionStatus)));
  if (!copy) return 0;
  copy->m_code = status->m_code;
  copy->m_flags = status->m_flags;
  // A status without text is saved as such, so that every save has its restore.
  copy->m_text = status->m_text ? RegionMemory_strdup(status->m_text) : nullptr;
  if ((status->m_text && !copy->m_text) || !growStack()) {
    RegionMemory_free(copy->m_text);
    RegionMemory_free(copy);
    return 0;
  }
  s_saved->m_items[++s_saved->m_top] = copy;
  return 1;
}

RegionStatus* RegionStatus_restore() {
  prepare();
  if (!s_saved || s_saved->m_top < 0) return &s_success;
  RegionStatus* copy = s_saved->m_items[s_saved->m_top--];
  if (!(copy->m_flags & REGION_STATUS_ERROR)) {
    RegionStatus_free(copy);
    return &s_success;
  }
  // The copy's text is handed over whole, which cannot fail.
  RegionMemory_free(s_error.m_text);
  s_error.m_text = copy->m_text;
  s_error.m_code = copy->m_code;
  s_error.m_flags = copy->m_flags;
  RegionMemory_free(copy);
  return &s_error;
}

void RegionStatus_free(RegionStatus* status) {
  if (!status || isProcessRecord(status)) return;
  RegionMemory_free(status->m_text);
  RegionMemory_free(status);
}

const char* RegionStatus_typeName() { return "Error"; }

int32_t RegionStatus_savedCount() { return s_saved ? s_saved->m_top + 1 : 0; }
