// Outcome of every region-atlas operation: a pointer to one of two process-wide records, the
// success status or the error status that each failure overwrites. A caller that keeps an
// error pointer therefore sees the latest failure, not the one it was handed.
#ifndef REGION_STATUS_H
#define REGION_STATUS_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

enum : uint8_t {
  REGION_STATUS_ERROR = 0x1,
  REGION_STATUS_INTERNAL = 0x2,
};

// The codes of the status table.
enum : uint32_t {
  RS_NO_ERROR = 0,
  RS_USER = 1,
  RS_INTERNAL = 2,
  RS_BAD_CALL = 3,
  RS_NOT_IMPLEMENTED = 4,
  RS_BAD_FILE = 5,
  RS_BAD_VSN = 6,
  RS_NO_MEMORY = 7,
  RS_BAD_POINTER = 8,
  RS_INVALID_ATLAS = 100000,
  RS_INVALID_MAP = 100001,
  RS_INVALID_MAP_TYPE = 100002,
  RS_INVALID_DEFINITION = 100003,
  RS_INVALID_COMBINATION = 100004,
  RS_INVALID_OPERATION = 100005,
  RS_INVALID_SIDE = 100006,
  RS_INVALID_NAME = 100007,
  RS_INVALID_NAME_MANAGER = 100008,
  RS_INVALID_STRING_LIST = 100009,
  RS_INVALID_STRING = 100010,
  RS_CANNOT_CREATE_ATLAS = 200000,
  RS_CANNOT_CREATE_MAP = 200001,
  RS_CANNOT_CREATE_DEFINITION = 200003,
  RS_CANNOT_CREATE_NAME = 200004,
  RS_BLANK_NAME = 300000,
  RS_MAP_IN_ATLAS = 400000,
  RS_MAP_NOT_IN_ATLAS = 400001,
  RS_ZYR_MAP_EXISTS = 400002,
  RS_PRIMARY_MAP_EXISTS = 400003,
  RS_SECONDARY_MAP_EXISTS = 400004,
  RS_NO_ZYR_MAP = 400005,
  RS_NO_PRIMARY_MAP = 400006,
  RS_NO_SECONDARY_MAP = 400007,
  RS_NO_OWNER = 500000,
  RS_EXPLICIT_CANNOT_DEFINE = 600000,
  RS_IMPORTED_CANNOT_ALTER = 600001,
  RS_NOT_EXPLICIT = 600002,
  RS_CANNOT_BE_EXPLICIT = 600003,
  RS_DEFINED_HIGHER = 600004,
  RS_REFERENCED_LOWER = 600005,
  RS_SELF_REFERENCE = 700000,
  RS_OPERATION_REFUSED = 700001,
  RS_NEEDS_COMPONENT = 700002,
  RS_WOULD_BE_INVALID = 700003,
  RS_NOT_FOUND = 800000,
  RS_IS_PRIMITIVE = 800001,
  RS_NOT_IN_MAP = 800002,
  RS_NOT_DEFINED = 800003,
  RS_ALREADY_DEFINED = 800004,
  RS_NOT_REFERENCED = 800005,
  RS_DEFINED_IN_ATLAS = 800006,
  RS_NOT_IN_LIST = 900000,
  RS_LIST_EMPTY = 900001,
  RS_END_OF_LIST = 900002,
};

struct RegionStatus {
  uint32_t m_code;
  char* m_text;     // message lines, or NULL
  uint8_t m_flags;  // REGION_STATUS_ERROR, REGION_STATUS_INTERNAL
};

// Size of each module's message buffer; longer messages are cut to fit.
enum { REGION_MESSAGE_SIZE = 1024 };

// With isError 1: fills the error status (code, flags, a copy of message) and stores it in
// *result; otherwise stores the success status. 0 only when the message could not be copied.
int RegionStatus_set(RegionStatus** result, int isError, uint32_t code, const char* message);
// Error 7, "Unable to allocate memory for new <typeWord>.".
RegionStatus* RegionStatus_outOfMemory(const char* typeWord);
int RegionStatus_appendDetail(RegionStatus* status, const char* message);
// Inline: every call of the library asks it, often several times.
inline int RegionStatus_isError(const RegionStatus* status) { return status && (status->m_flags & REGION_STATUS_ERROR) ? 1 : 0; }
int RegionStatus_isInternal(const RegionStatus* status);
uint32_t RegionStatus_getCode(const RegionStatus* status);
const char* RegionStatus_getText(const RegionStatus* status);
// Lines of the text, each a new string keeping its line end; the caller frees each and the array
// (RegionMemory_release or free).
int RegionStatus_getDetails(const RegionStatus* status, char*** lines, uint64_t* count);
void RegionStatus_print(const RegionStatus* status, FILE* stream);
int RegionStatus_save(const RegionStatus* status);
RegionStatus* RegionStatus_restore();
void RegionStatus_free(RegionStatus* status);
const char* RegionStatus_typeName();

// Shorthands used by the library's operations.
RegionStatus* RegionStatus_success();
RegionStatus* RegionStatus_fail(uint32_t code, const char* message);
// Formats into the calling module's buffer (cut to fit) and fails with it.
RegionStatus* RegionStatus_failf(char* buffer, size_t size, uint32_t code, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
// The table's text for a code, "Unknown Error." for a code not in it.
const char* RegionStatus_textOfCode(uint32_t code);
// Depth of the save stack (for tests and debugging).
int32_t RegionStatus_savedCount();

#endif
