// Deleting data sets in place: index entries flagged "N", tags overwritten with delete tags.
#include "io_delete.h"

#include "get_ds_location.h"
#include "io_error.h"
#include "io_file.h"
#include "io_format.h"
#include "io_index.h"
#include "iodata.h"
#include "lowlevel_io.h"
#include "zyrFault.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>

namespace {

const char kEsc = 27;

// The entry of an order whose key text is exactly the key, or NULL.
char *exactEntry(const IO_index *table, const IO_order *order, const char *key, size_t length,
                 const char *(*keyOf)(const char *)) {
  int32_t first = ioorder_bound(order, key, length, 0);
  int32_t end = ioorder_bound_from(order, key, length, first);
  IO_order_cursor cursor;
  ioorder_seek(order, first, &cursor);
  for (int32_t rank = first; rank < end; ++rank, ioorder_next(order, &cursor)) {
    char *entry = indextable_entry(table, ioorder_entry(order, &cursor));
    // A key ending in the position digits is also the start of a longer position ("36", "365").
    if (entry && strlen(keyOf(entry)) == length) return entry;
  }
  return nullptr;
}

// Whether a data set frame starts at the position whose tag was read: its tag ends in a newline
// and "*DATASET" follows its first length field (a text field is 11 or 21 bytes wide).
bool startsDataSet(FILE *stream, int64_t position, const char *tag) {
  if (tag[2] != '\n') return false;
  const int64_t fields[] = {tag[0] == 'F' ? 11 : (tag[0] == 'l' || tag[0] == 'L') ? 8 : 4, tag[0] == 'F' ? 21 : -1};
  for (int64_t field : fields) {
    char start[8];
    if (field > 0 && io_seek(stream, position + 3 + field, 0) == 0 && io_fread(start, 1, 8, stream) == 8 &&
        memcmp(start, "*DATASET", 8) == 0)
      return true;
  }
  return false;
}

} // namespace

int delete_process_sub(IO_error_callback callback, FILE *stream, int64_t position) {
  if (!stream) return IO_MEMORY_ERR;
  if (position < 0 || io_seek(stream, position, 0) != 0) {
    io_report_syserr(callback, "delete_process_sub: can't go to the dataset location");
    return IO_SEEK_ERR;
  }
  char tag[3];
  errno = 0;
  if (io_fread(tag, 1, 3, stream) != 3) {
    io_report_error(callback, "delete_process_sub: error reading format tag");
    return IO_READ_ERR;
  }
  if (tag[0] == 'D' || tag[0] == 'd' || tag[0] == 'X' || tag[0] == 'x') return IO_OK;
  if (!iofmt_is_valid(tag[0])) {
    io_report_error(callback, "delete_process_sub: invalid format tag or dataset already deleted");
    return IO_FORMAT_ERR;
  }
  // A damaged index can name any offset: the tag is overwritten only where a data set starts,
  // never inside the information block or another frame.
  if (!startsDataSet(stream, position, tag)) {
    io_report_error(callback, "delete_process_sub: no dataset starts at offset %" PRId64 "; the index is wrong",
                    position);
    return IO_FORMAT_ERR;
  }
  char deleted[3] = {0, 0, '\n'};
  iofmt_delete_tag(tag, deleted);
  if (io_seek(stream, position, 0) != 0) {
    io_report_syserr(callback, "delete_process_sub: can't go to the dataset location");
    return IO_SEEK_ERR;
  }
  errno = 0;
  if (zyrFault_fwrite(deleted, 1, 3, stream) != 3 || zyrFault_fflush(stream) != 0) {
    io_report_syserr(callback, "delete_process_sub: (can't write the delete tag) syserr:");
    return IO_WRITE_ERR;
  }
  return IO_OK;
}

int delete_process(IO_error_callback callback, char access, FILE *stream, char *entry) {
  IO_match match;
  if (parseindex(callback, entry, &match) != IO_OK) {
    io_report_error(callback, "delete_process: parseindex failed");
    return IO_DATA_ERR;
  }
  entry[0] = 'N';
  if (access == 'r') return IO_OK;
  return delete_process_sub(callback, stream, match.m_position);
}

int delete_bywhat(IO_error_callback callback, const char *key, IO_file *record) {
  IO_index *table = record ? record->m_indextable : nullptr;
  if (!key || indextable_count(table) == 0) return IO_OK;
  char *entry = exactEntry(table, &table->m_whatorder, key, strlen(key), indextable_what_key);
  if (!entry) return IO_OK;
  int status = iif_mark_index_stale(record);
  if (status == IO_OK)
    status = delete_process(callback, record->m_access, record->m_stream, entry);
  if (status != IO_OK) io_report_error(callback, "delete_bywhat: delete_process failed\n");
  return status;
}

int delete_bywhere(IO_error_callback callback, const char *key, IO_file *record) {
  (void)callback;
  IO_index *table = record ? record->m_indextable : nullptr;
  if (!key || !table || !table->m_whereorder) return IO_OK;
  char *entry = exactEntry(table, table->m_whereorder, key, strlen(key), indextable_where_key);
  if (entry) entry[0] = 'N';
  return IO_OK;
}

int delete_ds_entry(IO_error_callback callback, const char *what, const char *where, int32_t when,
                    int64_t position, int64_t length, IO_file *record) {
  if (!what || !where || !record) return IO_MEMORY_ERR;
  char key[IO_INDEX_ENTRY_LEN];
  int n = snprintf(key, sizeof key, "%s%c%s%c%d%c%" PRId64 "%c%" PRId64, what, kEsc, where, kEsc,
                   when, kEsc, length, kEsc, position);
  if (n < 0 || static_cast<size_t>(n) >= sizeof key) return IO_OK; // no entry is that long
  int status = delete_bywhat(callback, key, record);
  if (status != IO_OK) {
    io_report_error(callback, "delete_ds: delete_bywhat failed\n");
    return status;
  }
  if (record->m_indextable && record->m_indextable->m_whereorder) {
    snprintf(key, sizeof key, "%s%c%d%c%" PRId64 "%c%" PRId64, where, kEsc, when, kEsc, length,
             kEsc, position);
    status = delete_bywhere(callback, key, record);
    if (status != IO_OK) {
      io_report_error(callback, "delete_ds: delete_bywhere failed\n");
      return status;
    }
  }
  return IO_OK;
}

int delete_ds(IO_error_callback callback, const IO_header *header, IO_file *record) {
  if (!header || !record) {
    io_report_error(callback, "delete_ds: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  IO_data *data = iodata_alloc(callback);
  if (!data) return IO_ALLOC_ERR;
  int status = locate_dataset(callback, header, data, record);
  if (status == IO_NO_MATCH) {
    iodata_free(callback, data);
    return IO_OK;
  }
  if (status == IO_MEMORY_ERR) {
    if (iodata_alloc_arrays(nullptr, data) != IO_OK) {
      io_report_syserr(callback, "delete_ds: (malloc failed) syserr:");
      iodata_free(callback, data);
      return IO_MEMORY_ERR;
    }
    status = locate_dataset(callback, header, data, record);
  }
  if (status != IO_OK) {
    io_report_error(callback, "delete_ds: locate_dataset failed\n");
    iodata_free(callback, data);
    return status;
  }
  // The matches in locate order; each names its entry by all of its fields.
  int32_t matches = *data->m_numintr;
  for (int32_t i = 0; i < matches && status == IO_OK; ++i) {
    char what[IO_STRING_LEN + 1], where[IO_STRING_LEN + 1];
    memcpy(what, data->m_stringarray[2 * i], IO_STRING_LEN);
    memcpy(where, data->m_stringarray[2 * i + 1], IO_STRING_LEN);
    what[IO_STRING_LEN] = where[IO_STRING_LEN] = '\0';
    status = delete_ds_entry(callback, what, where, data->m_intrarray[i],
                             data->m_offsetarray[2 * i], data->m_offsetarray[2 * i + 1], record);
  }
  iodata_free(callback, data);
  return status;
}
