// The index table of a data-set file: entries, their orders, the stored index data set.
#include "io_index.h"

#include "io_alloc.h"
#include "io_error.h"
#include "lowlevel_io.h"
#include "zyrFault.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unistd.h>
#include <unordered_map>

namespace {

const char kEsc = 27;
const int32_t kFirstEntries = 1024;
const int64_t kFirstText = 64 * 1024;

const char *whatKeyOf(const void *owner, int32_t entry) {
  return indextable_what_key(indextable_entry(static_cast<const IO_index *>(owner), entry));
}

const char *whereKeyOf(const void *owner, int32_t entry) {
  return indextable_where_key(indextable_entry(static_cast<const IO_index *>(owner), entry));
}

IO_index *newTable() {
  IO_index *table = static_cast<IO_index *>(io_calloc(1, sizeof(IO_index)));
  if (!table) return nullptr;
  table->m_start = static_cast<int64_t *>(io_malloc(kFirstEntries * sizeof(int64_t)));
  table->m_text = static_cast<char *>(io_malloc(kFirstText));
  if (!table->m_start || !table->m_text) {
    io_free(table->m_start);
    io_free(table->m_text);
    io_free(table);
    return nullptr;
  }
  table->m_capacity = kFirstEntries;
  table->m_textcapacity = kFirstText;
  ioorder_init(&table->m_whatorder, whatKeyOf, table);
  return table;
}

void dropWhereOrder(IO_index *table) {
  if (!table->m_whereorder) return;
  ioorder_free(table->m_whereorder);
  io_free(table->m_whereorder);
  table->m_whereorder = nullptr;
}

// Room for one more entry of `length` characters. False when memory runs out (nothing changed).
bool reserveEntry(IO_index *table, size_t length) {
  if (table->m_numentries == table->m_capacity) {
    if (table->m_capacity >= INT32_MAX / 2) return false;
    int32_t capacity = table->m_capacity * 2;
    int64_t *start = static_cast<int64_t *>(
        io_realloc(table->m_start, static_cast<size_t>(capacity) * sizeof(int64_t)));
    if (!start) return false;
    table->m_start = start;
    table->m_capacity = capacity;
  }
  int64_t needed = table->m_textused + static_cast<int64_t>(length) + 1;
  if (needed > table->m_textcapacity) {
    int64_t capacity = table->m_textcapacity;
    while (capacity < needed) capacity *= 2;
    char *text = static_cast<char *>(io_realloc(table->m_text, static_cast<size_t>(capacity)));
    if (!text) return false;
    table->m_text = text;
    table->m_textcapacity = capacity;
  }
  return true;
}

bool isEntryText(const char *entry, size_t length) {
  return length < IO_INDEX_ENTRY_LEN && !memchr(entry, '\n', length);
}

// Appends an entry to the table and, where `ordered`, to its what order (a caller that appends
// many builds the order once after them). 0 or 14 (nothing changed).
int appendEntry(IO_error_callback callback, IO_file *record, const char *entry, bool ordered = true) {
  if (!record || !entry) {
    io_report_error(callback, "insert_index: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  size_t length = strlen(entry);
  if (!isEntryText(entry, length)) {
    io_report_error(callback, "insert_index: not an index entry: %s", entry);
    return IO_MEMORY_ERR;
  }
  if (!record->m_indextable && alloc_indextable(record) != IO_OK) {
    io_report_syserr(callback, "insert_index: (malloc failed) syserr:");
    return IO_MEMORY_ERR;
  }
  IO_index *table = record->m_indextable;
  if (!reserveEntry(table, length)) {
    io_report_malloc_error(callback, "insert_index",
                           (static_cast<int64_t>(table->m_numentries) + 1) * IO_INDEX_ENTRY_LEN);
    return IO_MEMORY_ERR;
  }
  int32_t slot = table->m_numentries;
  table->m_start[slot] = table->m_textused;
  memcpy(table->m_text + table->m_textused, entry, length + 1);
  table->m_numentries = slot + 1;
  if (ordered && ioorder_insert(&table->m_whatorder, slot) != IO_OK) {
    table->m_numentries = slot;
    io_report_malloc_error(callback, "insert_index",
                           static_cast<int64_t>(IO_ORDER_BLOCK) * sizeof(int32_t));
    return IO_MEMORY_ERR;
  }
  table->m_textused += static_cast<int64_t>(length) + 1;
  // A where order that cannot take the entry is dropped; the next where search rebuilds it.
  if (table->m_whereorder && ioorder_insert(table->m_whereorder, slot) != IO_OK)
    dropWhereOrder(table);
  return IO_OK;
}

// Writes bytes, answering whether all were written.
bool putBytes(const char *bytes, size_t length, FILE *stream) {
  return zyrFault_fwrite(bytes, 1, length, stream) == length;
}

bool parseOffsetLine(const char *line, size_t length, int32_t width, int64_t *value) {
  return io_parse_offset_line(line, length, width, value) != 0;
}

} // namespace

int io_parse_offset_line(const char *line, size_t length, int32_t width, int64_t *value) {
  if (length != static_cast<size_t>(width) + 1 || line[width] != '\n') return 0;
  int32_t i = 0;
  while (i < width && line[i] == ' ') ++i;
  if (i == width) return 0;
  int64_t v = 0;
  for (; i < width; ++i) {
    if (line[i] < '0' || line[i] > '9') return 0;
    if (v > (INT64_MAX - (line[i] - '0')) / 10) return 0;
    v = v * 10 + (line[i] - '0');
  }
  *value = v;
  return 1;
}

namespace {

// Reads exactly `length` bytes. False on a short read.
bool getBytes(char *bytes, size_t length, FILE *stream) {
  return io_fread(bytes, 1, length, stream) == length;
}

bool isDecimal(const char *text, size_t length) {
  if (length == 0 || length > 19) return false;
  for (size_t i = 0; i < length; ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

// An entry line of a stored index that this library could have written: status Y or N, the
// numbers decimal, a positive length, the data set wholly before the index.
bool entryLineValid(const char *line, size_t length, int64_t indexPosition) {
  if (length == 0 || length >= IO_INDEX_ENTRY_LEN) return false;
  if (line[0] != 'Y' && line[0] != 'N') return false;
  // Six fields exactly, in one pass (the line is a line of the index: it holds no line feed; a NUL
  // would end the entry early). The position is the last field, however the entry is read.
  const char *field[6];
  size_t fieldLength[6];
  size_t k = 0;
  field[0] = line;
  for (size_t i = 0; i < length; ++i) {
    if (line[i] == '\0' || line[i] == '\n') return false;
    if (line[i] != kEsc) continue;
    if (k == 5) return false;
    fieldLength[k] = static_cast<size_t>(line + i - field[k]);
    field[++k] = line + i + 1;
  }
  if (k != 5) return false;
  fieldLength[5] = static_cast<size_t>(line + length - field[5]);
  // As parseindex takes it: a one-letter status, a what and a where that fit, decimal numbers.
  if (fieldLength[0] != 1 || fieldLength[1] >= IO_STRING_LEN || fieldLength[2] >= IO_STRING_LEN) return false;
  bool negative = fieldLength[3] > 1 && field[3][0] == '-';
  if (!isDecimal(field[3] + negative, fieldLength[3] - negative) ||
      !isDecimal(field[4], fieldLength[4]) || !isDecimal(field[5], fieldLength[5]))
    return false;
  const int64_t dataLength = io_parse_integer(field[4]), position = io_parse_integer(field[5]);
  if (dataLength <= 0) return false;
  return position <= indexPosition && dataLength <= indexPosition - position;
}

} // namespace

// ---------------------------------------------------------------------------------------------

namespace {
using PositionMap = std::unordered_map<int64_t, int32_t>;
} // namespace

void indextable_free(IO_index *table) {
  if (!table) return;
  delete static_cast<PositionMap *>(table->m_bypos);
  dropWhereOrder(table);
  ioorder_free(&table->m_whatorder);
  io_free(table->m_start);
  io_free(table->m_text);
  io_free(table);
}

int32_t indextable_count(const IO_index *table) { return table ? table->m_numentries : 0; }

int32_t indextable_slot_at(IO_index *table, int64_t position) {
  if (!table) return -1;
  PositionMap *map = static_cast<PositionMap *>(table->m_bypos);
  if (!map) {
    map = new (std::nothrow) PositionMap;
    if (!map) return -1;
    table->m_bypos = map;
  }
  // Entries are only ever appended: the map catches up with the new ones.
  for (; table->m_byposcount < table->m_numentries; ++table->m_byposcount) {
    const char *entry = indextable_entry(table, table->m_byposcount);
    const char *last = entry ? strrchr(entry, kEsc) : nullptr;
    if (!last) continue;
    char *end = nullptr;
    errno = 0;
    long long value = strtoll(last + 1, &end, 10);
    if (errno != 0 || end == last + 1 || *end != '\0') continue;
    auto placed = map->emplace(value, table->m_byposcount);
    if (!placed.second) placed.first->second = -2;
  }
  auto found = map->find(position);
  return found == map->end() ? -1 : found->second;
}

char *indextable_entry(const IO_index *table, int32_t slot) {
  if (!table || slot < 0 || slot >= table->m_numentries) return nullptr;
  return table->m_text + table->m_start[slot];
}

const char *indextable_what_key(const char *entry) {
  if (!entry) return "";
  if (!entry[0]) return entry;
  return entry[1] ? entry + 2 : entry + 1;
}

void indextable_sort(IO_index *table) {
  if (!table) return;
  table->m_sorted = -1;
  table->m_sortedcount = table->m_numentries;
}

const char *indextable_where_key(const char *entry) {
  if (!entry) return "";
  const char *esc = strchr(entry, kEsc);
  if (esc) esc = strchr(esc + 1, kEsc);
  return esc ? esc + 1 : "";
}

int indextable_build_where(IO_index *table) {
  if (!table) return IO_MEMORY_ERR;
  if (table->m_whereorder) return IO_OK;
  IO_order *order = static_cast<IO_order *>(io_malloc(sizeof(IO_order)));
  if (!order) return IO_MEMORY_ERR;
  ioorder_init(order, whereKeyOf, table);
  for (int32_t slot = 0; slot < table->m_numentries; ++slot) {
    if (ioorder_insert(order, slot) != IO_OK) {
      ioorder_free(order);
      io_free(order);
      return IO_MEMORY_ERR;
    }
  }
  table->m_whereorder = order;
  return IO_OK;
}

void indextable_where_bounds(const IO_index *table, const char *key, size_t length, int32_t *first,
                             int32_t *end) {
  if (!table || !table->m_whereorder) {
    *first = *end = 0;
    return;
  }
  *first = ioorder_bound(table->m_whereorder, key, length, 0);
  *end = ioorder_bound_from(table->m_whereorder, key, length, *first);
}

void indextable_what_bounds(const IO_index *table, const char *key, size_t length, int32_t *first,
                            int32_t *end) {
  if (!table) {
    *first = *end = 0;
    return;
  }
  *first = ioorder_bound(&table->m_whatorder, key, length, 0);
  *end = ioorder_bound_from(&table->m_whatorder, key, length, *first);
}

void indextable_begin(const IO_index *table, IO_index_cursor *cursor) {
  cursor->m_next = 0;
  if (table && table->m_sortedcount > 0) {
    cursor->m_phase = 0;
    ioorder_seek(&table->m_whatorder, 0, &cursor->m_order);
  } else {
    cursor->m_phase = 1;
  }
}

int32_t indextable_next(const IO_index *table, IO_index_cursor *cursor) {
  if (!table) return -1;
  while (cursor->m_phase == 0) {
    int32_t slot = ioorder_entry(&table->m_whatorder, &cursor->m_order);
    if (slot < 0) {
      cursor->m_phase = 1;
      cursor->m_next = table->m_sortedcount;
      break;
    }
    ioorder_next(&table->m_whatorder, &cursor->m_order);
    if (slot < table->m_sortedcount) return slot;
  }
  if (cursor->m_phase == 1 && cursor->m_next < table->m_numentries) return cursor->m_next++;
  cursor->m_phase = 2;
  return -1;
}

void indextable_dump(const IO_index *table) {
  int32_t count = indextable_count(table);
  printf("\n\nindex table of %d entries, %s\n", count,
         table && table->m_sorted == -1 ? "sorted by what" : "not sorted");
  IO_index_cursor cursor;
  indextable_begin(table, &cursor);
  for (int32_t slot; (slot = indextable_next(table, &cursor)) >= 0;) {
    const char *entry = indextable_entry(table, slot);
    printf("%6d ", slot);
    for (const char *c = entry; *c; ++c) putchar(*c == kEsc ? ':' : *c);
    putchar('\n');
  }
}

// ---------------------------------------------------------------------------------------------

int alloc_indextable(IO_file *record) {
  if (!record) return IO_MEMORY_ERR;
  indextable_free(record->m_indextable);
  record->m_indextable = newTable();
  return record->m_indextable ? IO_OK : IO_MEMORY_ERR;
}

int insert_index(IO_error_callback callback, IO_file *record, const char *entry) {
  int status = appendEntry(callback, record, entry);
  if (status != IO_OK) return status;
  IO_index *table = record->m_indextable;
  if (table->m_sorted != 0) {
    io_trace("insert_index: Marking index as unsorted");
    table->m_sorted = 0;
  }
  return IO_OK;
}

int insert_index_unsorted(IO_error_callback callback, IO_file *record, const char *entry) {
  return appendEntry(callback, record, entry);
}

int parseindex(IO_error_callback callback, const char *entry, IO_match *match) {
  if (!entry || !match) return IO_DATA_ERR;
  const char *field[6];
  size_t length[6];
  int k = 0;
  // One pass: the fields are short, and a call of the C library for each would cost more.
  const char *p = entry;
  field[0] = p;
  for (;; ++p) {
    if (*p == kEsc || *p == '\0') {
      length[k] = static_cast<size_t>(p - field[k]);
      if (++k == 6 || *p == '\0') break;
      field[k] = p + 1;
    }
  }
  if (length[0] == 0) {
    io_report_error(callback, "parseindex: bad index: missing status code\n");
    return IO_DATA_ERR;
  }
  if (k < 2) {
    io_report_error(callback, "parseindex: bad index: missing what\n");
    return IO_DATA_ERR;
  }
  if (length[1] >= IO_STRING_LEN) {
    io_report_error(callback, "parseindex: bad index: what too long in %s\n", entry);
    return IO_DATA_ERR;
  }
  memcpy(match->m_what, field[1], length[1]);
  match->m_what[length[1]] = '\0';
  if (k < 3) {
    io_report_error(callback, "parseindex: bad index: missing where in dataset %s:?:?\n",
                    match->m_what);
    return IO_DATA_ERR;
  }
  if (length[2] >= IO_STRING_LEN) {
    io_report_error(callback, "parseindex: bad index: where too long in %s\n", entry);
    return IO_DATA_ERR;
  }
  memcpy(match->m_where, field[2], length[2]);
  match->m_where[length[2]] = '\0';
  if (k < 4) {
    io_report_error(callback, "parseindex: bad index: missing when in dataset %s:%s:?\n",
                    match->m_what, match->m_where);
    return IO_DATA_ERR;
  }
  long long when = io_parse_integer(field[3]);
  match->m_when = when > INT32_MAX ? INT32_MAX : (when < INT32_MIN ? INT32_MIN : int32_t(when));
  if (k < 5) {
    io_report_error(callback, "parseindex: bad index: missing dslength for dataset %s:%s:%d\n",
                    match->m_what, match->m_where, match->m_when);
    return IO_DATA_ERR;
  }
  match->m_length = io_parse_integer(field[4]);
  if (k < 6 || length[5] == 0) {
    io_report_error(callback, "parseindex: bad index: missing location for dataset %s:%s:%d\n",
                    match->m_what, match->m_where, match->m_when);
    return IO_DATA_ERR;
  }
  match->m_position = io_parse_integer(field[5]);
  return IO_OK;
}

namespace {

// The index's own lines: its tag, the count, the first count entries of the table in its order,
// and its end tag.
int writeIndexLines(IO_error_callback callback, FILE *stream, int32_t width, int32_t count, IO_index *table) {
  int status = wezwriteString(callback, "F", "*INDEX", 6, 1, 6, stream);
  if (status != IO_OK) {
    io_report_error(callback, "write_index: write index tag failed\n");
    return status;
  }
  status = wezwriteOffset(callback, "F", count, width, stream);
  if (status != IO_OK) {
    io_report_error(callback, "write_index: write number of index failed\n");
    return status;
  }
  IO_index_cursor cursor;
  indextable_begin(table, &cursor);
  for (int32_t written = 0; written < count; ++written) {
    const char *entry = indextable_entry(table, indextable_next(table, &cursor));
    if (!entry || !putBytes(entry, strlen(entry), stream) || !putBytes("\n", 1, stream)) {
      io_report_syserr(callback, "write_index: (write index failed) syserr:");
      return IO_WRITE_ERR;
    }
  }
  status = wezwriteString(callback, "F", "*ENDINDEX", 9, 1, 9, stream);
  if (status != IO_OK)
    io_report_error(callback, "write_index: write index end tag failed\n");
  return status;
}

// An older, longer index remains after the new one, ending at end, and could not be cut off; the
// new one ends at p4, where the stream is left. Dead bytes follow, maybe a whole older index: the
// file must not look as if it ended in an index, neither here nor at its last line, so that the
// next open rebuilds the table.
void markStaleTail(IO_error_callback callback, FILE *stream, int32_t width, int64_t p4, int64_t end) {
  if (wezwriteString(callback, "F", "*CRASH", 6, 1, 6, stream) != IO_OK)
    io_trace("write_dataset abort: can't write file end tag\n");
  if (end - (width + 1) >= p4 + 7 && io_seek(stream, end - (width + 1), 0) == 0 &&
      wezwriteString(callback, "F", "*CRASH", 6, 1, width, stream) != IO_OK)
    io_trace("write_index: can't write file end tag over the last line");
  if (io_seek(stream, p4, 0) != 0) io_trace("write_index: fseek back to end failed");
}

} // namespace

int write_index(IO_error_callback callback, IO_file *record, int32_t count, IO_index *table) {
  if (!record || !record->m_stream || count < 0 || count > indextable_count(table)) {
    io_report_error(callback, "write_index: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  FILE *stream = record->m_stream;
  int32_t width = record->m_offsetwidth;
  int64_t p0 = io_tell(stream);
  if (p0 < 0) {
    io_report_error(callback, "write_index: ftell of index position failed\n");
    return IO_TELL_ERR;
  }
  char tag[3] = {'F', '\0', '\n'};
  int status = iofmt_make_native(callback, tag);
  if (status != IO_OK) {
    io_report_error(callback, "write_index: error converting format");
    return status;
  }
  errno = 0;
  if (!putBytes(tag, 3, stream)) {
    io_report_syserr(callback, "write_index: (fwrite failed writing format) syserr:");
    return IO_WRITE_ERR;
  }
  int64_t p1 = io_tell(stream);
  if (p1 < 0) {
    io_report_error(callback, "write_index: ftell failed for first length position");
    return IO_TELL_ERR;
  }
  status = wezwriteOffset(callback, "F", 0, width, stream);
  if (status == IO_OK && zyrFault_fflush(stream) != 0) { // see write_dataset
    io_report_syserr(callback, "write_index: (flushing the index length) syserr:");
    status = IO_WRITE_ERR;
  }
  if (status != IO_OK) {
    io_report_error(callback, "write_index: write index length failed\n");
    return status;
  }
  int64_t p2 = io_tell(stream);
  if (p2 < 0) {
    io_report_error(callback, "write_index: ftell failed for index start position");
    return IO_TELL_ERR;
  }
  status = writeIndexLines(callback, stream, width, count, table);
  if (status != IO_OK) return status;
  int64_t p3 = io_tell(stream);
  if (p3 < 0) {
    io_report_error(callback, "write_index: ftell of index end position failed");
    return IO_TELL_ERR;
  }
  int64_t length = p3 - p2;
  status = wezwriteOffset(callback, "F", length, width, stream);
  if (status != IO_OK) {
    io_report_error(callback, "write_index: write index dataset length failed\n");
    return status;
  }
  status = wezwriteOffset(callback, "F", p0, width, stream);
  if (status != IO_OK) {
    io_report_error(callback, "write_index: write index position failed\n");
    return status;
  }
  int64_t p4 = io_tell(stream);
  if (p4 < 0) {
    io_report_error(callback, "write_index: ftell failed for updated end position");
    return IO_TELL_ERR;
  }
  if (io_seek(stream, 0, 2) != 0) {
    io_report_syserr(callback, "write_index: (fseek to end-of-file failed) syserr:");
    return IO_SEEK_ERR;
  }
  int64_t end = io_tell(stream);
  bool stale = end > p4;
  if (io_seek(stream, p1, 0) != 0) {
    io_report_syserr(callback, "write_index: (fseek to first length position failed) syserr:");
    return IO_SEEK_ERR;
  }
  status = wezwriteOffset(callback, "F", length, width, stream);
  if (status != IO_OK) {
    io_report_error(callback, "write_index: write index dataset length failed\n");
    return status;
  }
  if (io_seek(stream, p4, 0) != 0) {
    io_report_syserr(callback, "write_index: (fseek to index end position failed) syserr:");
    return IO_SEEK_ERR;
  }
  if (zyrFault_fflush(stream) != 0) {
    io_report_syserr(callback, "write_index: (failed to flush index data to disc) syserr:");
    return IO_WRITE_ERR;
  }
  if (stale) {
    // What lies after the new index is left over from an index or data set that an earlier close
    // could not finish (a full disc): no data set of the file is there. Cut off, it is gone for
    // good and the file ends in its index again; kept, it would make every later open rebuild.
    if (ftruncate(fileno(stream), p4) == 0) {
      io_trace("write_index: the %" PRId64 " bytes left after the new index were removed", end - p4);
    } else {
      io_report_error(callback, "write_index: warning: new index not at end of file, file may be bad");
      markStaleTail(callback, stream, width, p4, end);
    }
  }
  return IO_OK;
}

// The stored index of a data-set file, checked in steps before its entries are taken: where it
// is (the last line of the file), its bytes, their lines, and the length and position fields
// that close it. Each step reports its own fault and answers with the status.
namespace {

// Walks the lines of the index bytes.
struct IndexLines {
  const char *m_at;
  const char *m_end;
  bool next(const char **text, size_t *n) {
    const char *lf = static_cast<const char *>(memchr(m_at, '\n', static_cast<size_t>(m_end - m_at)));
    if (!lf) return false;
    *text = m_at;
    *n = static_cast<size_t>(lf - m_at);
    m_at = lf + 1;
    return true;
  }
};

const char kNoIndexLocation[] = "create_indextable: can't go to the index location\n";

// The file's size and the index position its last line gives (the stream left there).
int locateStoredIndex(IO_error_callback callback, FILE *stream, int32_t width, int64_t *size,
                      int64_t *position) {
  size_t field = static_cast<size_t>(width) + 1;
  char line[32];
  if (io_seek(stream, 0, 2) != 0) {
    io_report_error(callback, kNoIndexLocation);
    return IO_SEEK_ERR;
  }
  *size = io_tell(stream);
  if (*size < 0) {
    io_report_error(callback, kNoIndexLocation);
    return IO_TELL_ERR;
  }
  if (*size == 0) return IO_OK;
  if (*size < static_cast<int64_t>(field) || io_seek(stream, *size - int64_t(field), 0) != 0 ||
      !getBytes(line, field, stream) || !parseOffsetLine(line, field, width, position) ||
      io_seek(stream, *position, 0) != 0) {
    io_report_error(callback, kNoIndexLocation);
    return IO_READ_ERR;
  }
  return IO_OK;
}

// The index data set's bytes (terminated, to be released with io_free) after its format tag and
// length, which must reach exactly to the closing fields at the end of the file.
int readIndexBytes(IO_error_callback callback, FILE *stream, int32_t width, int64_t size,
                   int64_t position, char **bytes, int64_t *length) {
  size_t field = static_cast<size_t>(width) + 1;
  char line[32];
  char tag[3];
  errno = 0;
  if (!getBytes(tag, 3, stream)) {
    io_report_syserr(callback, "create_indextable: (can't read format string) syserr:");
    return IO_READ_ERR;
  }
  if (tag[0] != 'F' || tag[2] != '\n') {
    io_report_error(callback,
                    "create_indextable: index dataset is not formatted, file may be corrupt.");
    return IO_DATA_ERR;
  }
  if (!getBytes(line, field, stream) || !parseOffsetLine(line, field, width, length)) {
    io_report_error(callback, "create_indextable: can't read index length\n");
    return IO_READ_ERR;
  }
  if (*length > INT32_MAX) {
    io_report_error(
        callback, "32-bit integer overflow in index dataset size %" PRId64 ", possibly a bad file?",
        *length);
    return IO_ALLOC_ERR;
  }
  // Tag, two length fields and the position line around the index: nothing may follow.
  if (*length != size - position - 3 - 3 * int64_t(field)) {
    io_report_error(callback,
                    "create_indextable: stored index is wrong: length %" PRId64 " at %" PRId64
                    " does not end the file of %" PRId64 " bytes\n",
                    *length, position, size);
    return IO_DATA_ERR;
  }
  *bytes = static_cast<char *>(io_malloc(static_cast<size_t>(*length) + 1));
  if (!*bytes) {
    io_report_malloc_error(callback, "create_indextable: table memory", *length + 1);
    return IO_ALLOC_ERR;
  }
  errno = 0;
  if (!getBytes(*bytes, static_cast<size_t>(*length), stream)) {
    io_free(*bytes);
    *bytes = nullptr;
    io_report_syserr(callback, "create_indextable: (can't read the whole index) syserr:");
    return IO_READ_ERR;
  }
  (*bytes)[*length] = '\0';
  return IO_OK;
}

// The start tag and the entry count; the lines are left at the first entry.
int checkIndexHead(IO_error_callback callback, IndexLines *lines, int32_t width, int64_t length,
                   int32_t *count) {
  size_t field = static_cast<size_t>(width) + 1;
  const char *text;
  size_t n;
  if (!lines->next(&text, &n)) {
    io_report_error(callback, "create_indextable: stored index is wrong: missing start tag\n");
    return IO_DATA_ERR;
  }
  if (n != 6 || memcmp(text, "*INDEX", 6) != 0) {
    io_report_error(callback, "create_indextable: stored index is wrong: bad start tag\n");
    return IO_DATA_ERR;
  }
  if (!lines->next(&text, &n)) {
    io_report_error(callback, "create_indextable: index is wrong: missing count\n");
    return IO_DATA_ERR;
  }
  int64_t value = -1;
  if (n + 1 != field || !parseOffsetLine(text, n + 1, width, &value) || value > INT32_MAX) {
    io_report_error(callback, "create_indextable: index is wrong: bad count\n");
    return IO_DATA_ERR;
  }
  *count = static_cast<int32_t>(value);
  // Every entry line holds at least a dozen bytes.
  if (*count > length / 12) {
    io_report_error(callback, "create_indextable: index is wrong: line %d/%d missing\n", 1, *count);
    return IO_DATA_ERR;
  }
  return IO_OK;
}

// The entry lines, each pointing before the index, then the end tag that ends the bytes.
int checkIndexBody(IO_error_callback callback, IndexLines *lines, int32_t count, int64_t position) {
  const char *text;
  size_t n;
  for (int32_t i = 0; i < count; ++i) {
    if (!lines->next(&text, &n)) {
      io_report_error(callback, "create_indextable: index is wrong: line %d/%d missing\n", i + 1,
                      count);
      return IO_DATA_ERR;
    }
    if (!entryLineValid(text, n, position)) {
      io_report_error(callback, "create_indextable: index is wrong: bad entry %d/%d\n", i + 1,
                      count);
      return IO_DATA_ERR;
    }
  }
  if (!lines->next(&text, &n)) {
    io_report_error(callback, "create_indextable: index is wrong: error finding EOL\n");
    return IO_DATA_ERR;
  }
  if (n != 9 || memcmp(text, "*ENDINDEX", 9) != 0 || lines->m_at != lines->m_end) {
    io_report_error(callback, "create_indextable: index is wrong: missing end tag\n");
    return IO_DATA_ERR;
  }
  return IO_OK;
}

// The length and position fields after the index repeat what opened it.
int checkIndexClosing(IO_error_callback callback, FILE *stream, int32_t width, int64_t length,
                      int64_t position) {
  size_t field = static_cast<size_t>(width) + 1;
  char line[32];
  int64_t second = -1, own = -1;
  if (!getBytes(line, field, stream) || !parseOffsetLine(line, field, width, &second) ||
      second != length || !getBytes(line, field, stream) ||
      !parseOffsetLine(line, field, width, &own) || own != position) {
    io_report_error(callback,
                    "create_indextable: index is wrong: its closing length or position differs\n");
    return IO_DATA_ERR;
  }
  return IO_OK;
}

// A new table holding the checked entry lines, in file order (not yet sorted).
int loadIndexEntries(IO_error_callback callback, IO_file *record, IndexLines lines, int32_t count) {
  if (alloc_indextable(record) != IO_OK) {
    io_report_malloc_error(callback, "create_indextable: table memory",
                           static_cast<int64_t>(count) * IO_INDEX_ENTRY_LEN);
    return IO_ALLOC_ERR;
  }
  const char *text = nullptr;
  size_t n = 0;
  char entry[IO_INDEX_ENTRY_LEN];
  int status = IO_OK;
  for (int32_t i = 0; status == IO_OK && i < count; ++i) {
    // The lines were checked before; a short one here means the table is not what was checked.
    if (!lines.next(&text, &n) || n >= IO_INDEX_ENTRY_LEN) return IO_DATA_ERR;
    memcpy(entry, text, n);
    entry[n] = '\0';
    status = appendEntry(callback, record, entry, false);
  }
  if (status == IO_OK && ioorder_build(&record->m_indextable->m_whatorder, record->m_indextable->m_numentries) != IO_OK) {
    io_report_malloc_error(callback, "create_indextable: table order", static_cast<int64_t>(count) * sizeof(int32_t));
    status = IO_ALLOC_ERR;
  }
  if (status == IO_OK) record->m_indextable->m_sorted = 0;
  return status;
}

} // namespace

int create_indextable(IO_error_callback callback, IO_file *record) {
  if (!record || !record->m_stream) {
    io_report_error(callback, "create_indextable: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  FILE *stream = record->m_stream;
  int32_t width = record->m_offsetwidth;
  if (width < 1 || width > 20) {
    io_report_error(callback, "create_indextable: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  int64_t size = 0;
  int64_t position = -1;
  int status = locateStoredIndex(callback, stream, width, &size, &position);
  if (status != IO_OK) return status;
  if (size == 0) {
    record->m_indexlocation = 0;
    return alloc_indextable(record);
  }
  record->m_indexlocation = position;

  char *bytes = nullptr;
  int64_t length = 0;
  status = readIndexBytes(callback, stream, width, size, position, &bytes, &length);
  if (status != IO_OK) return status;
  IndexLines lines = {bytes, bytes + length};
  int32_t count = 0;
  status = checkIndexHead(callback, &lines, width, length, &count);
  const IndexLines entries = lines;
  if (status == IO_OK) status = checkIndexBody(callback, &lines, count, position);
  if (status == IO_OK) status = checkIndexClosing(callback, stream, width, length, position);
  if (status == IO_OK) status = loadIndexEntries(callback, record, entries, count);
  io_free(bytes);
  return status;
}
