// Data-type strings: parsing, structure descriptions and element location.
#include "io_datatype.h"

#include "io_alloc.h"
#include "io_error.h"

#include <cinttypes>
#include <cstring>

namespace {

// The type table, in type-code order.
const char *const kTypeNames[IO_TYPE_END] = {"STRI:", "CHAR:", "INTR:", "REAL:", "DBLE:", "LOGL:"};

// The count given by the leading digits of [p, end); none reads as 0. Saturates just above the
// 32-bit range so that an overlong count is seen.
int64_t leadingCount(const char *p, const char *end) {
  int64_t value = 0;
  for (; p < end && *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > INT32_MAX) return static_cast<int64_t>(INT32_MAX) + 1;
  }
  return value;
}

// A terminated copy of [p, end) for a message, cut to the buffer.
const char *entryText(const char *p, const char *end, char *buffer, size_t size) {
  size_t n = static_cast<size_t>(end - p);
  if (n >= size) n = size - 1;
  memcpy(buffer, p, n);
  buffer[n] = '\0';
  return buffer;
}

// A count that the library's arrays can hold: 32 bits, and a string no longer than its slot.
int checkCount(IO_error_callback callback, int32_t code, int64_t count, const char *text) {
  if (count > INT32_MAX) {
    io_report_error(callback, "parseStructure: count too large in \"%s\"", text);
    return IO_FORMAT_ERR;
  }
  if (code == IO_TYPE_STRI && count > IO_STRING_LEN) {
    io_report_error(callback,
                    "parseStructure: string length %d is longer than a string slot (%d) in \"%s\"",
                    static_cast<int32_t>(count), static_cast<int32_t>(IO_STRING_LEN), text);
    return IO_FORMAT_ERR;
  }
  return IO_OK;
}

} // namespace

int parseStructure(IO_error_callback callback, const char *type, int32_t *entries,
                   int32_t *types, int32_t *counts) {
  if (!entries || !types || !counts) {
    io_report_error(callback, "parseStructure: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  *entries = 1;
  if (!type) {
    io_report_error(callback, "parseStructure: datatype string is null");
    return IO_DATA_ERR;
  }

  if (strncmp(type, "STRC", 4) != 0) {
    int32_t code = 0;
    while (code < IO_TYPE_END && strncmp(type, kTypeNames[code], 4) != 0) ++code;
    if (code == IO_TYPE_END) {
      io_report_error(callback, "parseStructure: unrecognised type code \"%s\"", type);
      return IO_DATA_ERR;
    }
    types[0] = code;
    counts[0] = 1;
    if (code == IO_TYPE_STRI) {
      counts[0] = IO_STRING_LEN;
      if (type[4] == ':') {
        int64_t count = leadingCount(type + 5, type + strlen(type));
        int status = checkCount(callback, code, count, type);
        if (status != IO_OK) return status;
        counts[0] = static_cast<int32_t>(count);
      }
    } else if (type[4] == ':') {
      io_report_error(callback,
                      "parseStructure: count forbidden for non-string type \"%s\" outside structure",
                      type);
      return IO_DATA_ERR;
    }
    return IO_OK;
  }

  const char *open = strchr(type, '{');
  if (!open) {
    io_report_error(callback, "parseStructure: missing '{' in structure string\n");
    return IO_DATA_ERR;
  }
  const char *close = strchr(open + 1, '}');
  if (!close) {
    io_report_error(callback, "parseStructure: missing '}' in structure string\n");
    return IO_DATA_ERR;
  }

  int32_t n = 0;
  char shown[256];
  for (const char *p = open + 1;;) {
    while (p < close && *p == ' ') ++p;
    if (p == close) break;
    const char *end = p;
    while (end < close && *end != ' ') ++end;
    if (n == IO_MAXENT) {
      *entries = n;
      io_report_error(callback,
                      "parseStructure: the entries of the datatype is more than IO_MAXENT\n");
      return IO_MEMORY_ERR;
    }
    int32_t code = 0;
    while (code < IO_TYPE_END &&
           (end - p < 5 || strncmp(p, kTypeNames[code], 5) != 0))
      ++code;
    if (code == IO_TYPE_END) {
      *entries = n;
      io_report_error(callback,
                      "parseStructure: unrecognised type name or missing count: \"%s\"",
                      entryText(p, end, shown, sizeof shown));
      return IO_DATA_ERR;
    }
    int64_t count = leadingCount(p + 5, end);
    int status = checkCount(callback, code, count, entryText(p, end, shown, sizeof shown));
    if (status != IO_OK) {
      *entries = n;
      return status;
    }
    types[n] = code;
    counts[n] = static_cast<int32_t>(count);
    ++n;
    p = end;
  }
  *entries = n;
  if (n == 0) {
    io_report_error(callback, "parseStructure: data type string is wrong\n");
    return IO_DATA_ERR;
  }
  return IO_OK;
}

IO_strct_item *ii_parse_strct(IO_error_callback callback, const char *type, int32_t *entries) {
  int32_t n = 0;
  int32_t types[IO_MAXENT];
  int32_t counts[IO_MAXENT];
  int status = parseStructure(callback, type, &n, types, counts);
  if (entries) *entries = n;
  if (status != IO_OK) return nullptr;

  int64_t sum = 0;
  for (int32_t i = 0; i < n; ++i) sum += counts[i];
  if (sum > INT32_MAX) {
    io_report_error(callback, "ii_parse_strct: total count %" PRId64 " of \"%s\" is too large", sum,
                    type);
    return nullptr;
  }
  size_t bytes = sizeof(IO_strct_item) * static_cast<size_t>(n + 1);
  IO_strct_item *description = static_cast<IO_strct_item *>(io_malloc(bytes));
  if (!description) {
    io_report_malloc_error(callback, "ii_parse_strct", static_cast<int64_t>(bytes));
    return nullptr;
  }
  for (int32_t i = 0; i < n; ++i) {
    description[i].m_type = types[i];
    description[i].m_count = counts[i];
  }
  description[n].m_type = IO_TYPE_END;
  description[n].m_count = static_cast<int32_t>(sum);
  return description;
}

int ii_free_strct(IO_error_callback, IO_strct_item *description) {
  io_free(description);
  return IO_OK;
}

int ii_strct_locate_element(IO_error_callback callback, const IO_strct_item *description,
                            int64_t record, int32_t element, int32_t *type, int64_t *position) {
  if (!description || !type || !position || record < 0 || element < 0) {
    io_report_error(callback, "ii_strct_locate_element: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  // The entries up to the end pair; per type, the elements of one record.
  int32_t n = 0;
  int64_t perRecord = 0;
  int64_t perType[IO_TYPE_END] = {0, 0, 0, 0, 0, 0};
  for (; n <= IO_MAXENT && description[n].m_type != IO_TYPE_END; ++n) {
    int32_t code = description[n].m_type;
    if (code < 0 || code >= IO_TYPE_END || description[n].m_count < 0) n = IO_MAXENT;
    else {
      perType[code] += description[n].m_count;
      perRecord += description[n].m_count;
    }
  }
  if (n == 0 || n > IO_MAXENT) {
    io_report_error(callback, "ii_strct_locate_element: bad structure description");
    return IO_MEMORY_ERR;
  }
  if (element >= perRecord) {
    io_report_error(callback,
                    "ii_strct_locate_element: element %d is outside a record of %" PRId64 " elements",
                    element, perRecord);
    return IO_MEMORY_ERR;
  }

  int32_t code;
  int64_t before; // elements of the wanted type in the record before the wanted one
  if (n == 1) {
    code = description[0].m_type;
    before = element;
  } else {
    // Whole entries before the wanted element are passed at once; the result is that of
    // counting the elements one by one.
    int64_t passed[IO_TYPE_END] = {0, 0, 0, 0, 0, 0};
    int64_t left = element;
    int32_t entry = 0;
    while (left >= description[entry].m_count) {
      passed[description[entry].m_type] += description[entry].m_count;
      left -= description[entry].m_count;
      ++entry;
    }
    code = description[entry].m_type;
    before = passed[code] + left;
  }
  int64_t offset;
  if (__builtin_mul_overflow(record, perType[code], &offset) ||
      __builtin_add_overflow(offset, before, &offset)) {
    io_report_error(callback, "ii_strct_locate_element: record %" PRId64 " is too large", record);
    return IO_MEMORY_ERR;
  }
  *type = code;
  *position = offset;
  return IO_OK;
}
