#ifndef IO_INDEX_H
#define IO_INDEX_H
// The index table of an open data-set file: one entry text per data set, read from the stored
// index when the file is opened, extended by every write, written back as the index data set at
// a writer's close.
//
// Entry text: six fields separated by ESC (byte 27): status ("Y" valid, "N" superseded or
// deleted), what, where, when, length (the value of the data set's length fields) and position
// (of its tag), the numbers in decimal; fewer than 256 characters. Entries are never removed;
// only their status changes. Each entry keeps the number it got when it was added (its slot).
//
// Table order: the order in which the entries are listed (and written). Entries come in the
// order they were added; sorting the table (indextable_sort) puts every entry present in what
// order, and entries added later follow them in the order they come. What order is byte order
// of the entry texts from their third character: by what, then where, then the when, length and
// position texts; because ESC sorts below every printable character, a what sorts before every
// longer what that begins with it.
//
// The what order is kept up to date as entries are added, so that sorting costs nothing and a
// look-up by what, where and when costs O(log n) however entries and look-ups alternate: the run
// of entries whose texts from the third character begin with a key is found with
// indextable_what_bounds, and its entries are read with ioorder_at or a cursor.
#include "io_order.h"
#include "io_records.h"

#include <cstddef>

#define IO_INDEX_ENTRY_LEN 256 // an entry text is shorter than this

struct IO_index {
  char *m_text; // the entry texts, each terminated, one after the other
  int64_t m_textused;
  int64_t m_textcapacity;
  int64_t *m_start;       // where each entry's text begins in m_text
  int32_t m_numentries;   // entry count
  int32_t m_capacity;     // entries m_start has room for
  int32_t m_sorted;       // -1 while the table is in what order, else 0
  int32_t m_sortedcount;  // entries placed in what order by the last sort
  IO_order m_whatorder;   // every entry, in what order
  IO_order *m_whereorder; // every entry in where order; built by the first where search
  void *m_bypos;          // position -> slot of the first m_byposcount entries, built on demand
  int32_t m_byposcount;
};

// A located or parsed entry.
struct IO_match {
  char m_what[IO_STRING_LEN];
  char m_where[IO_STRING_LEN];
  int32_t m_when;
  int64_t m_length;
  int64_t m_position;
  int32_t m_slot; // the entry's slot; -1 superseded or deleted; -2 not yet resolved
};

// Walks the entries in table order.
struct IO_index_cursor {
  int32_t m_phase; // 0 the sorted part, 1 the entries added after it, 2 done
  IO_order_cursor m_order;
  int32_t m_next;
};

// ---------------------------------------------------------------------------------------------
// Table operations of the file record.

// A new empty table for the record (the old one and its where order are released). 0, or 14
// when memory runs out (the record then has no table).
int alloc_indextable(IO_file *record);
// Appends an entry; the table becomes unsorted (its table order lists the entry after the sorted
// ones). 0, or 14 when the table cannot grow or the text is not an entry (256 characters or
// more). Both orders take the entry at once.
int insert_index(IO_error_callback callback, IO_file *record, const char *entry);
// Appends an entry leaving the sorted flag as it is: for callers that append in what order. 0 or
// 14.
int insert_index_unsorted(IO_error_callback callback, IO_file *record, const char *entry);
// Writes the index data set of the first `count` entries of the table, in table order, at the
// stream's position (the record's offset width for every text offset). Whatever followed that
// position is cut off, so that the file ends in the new index (when the file cannot be cut, the
// spare bytes are marked so that the next open rebuilds the index). 0 or a status.
int write_index(IO_error_callback callback, IO_file *record, int32_t count, IO_index *table);
// Reads the stored index into a new table. The index is taken only when it is whole and
// consistent: its length fits the file, it starts with "*INDEX", its count is a number equal to
// the entry lines, each line is an entry that parses, "*ENDINDEX" ends it, its second length
// field equals the first, and the file ends with the line giving its own position. Anything
// else answers a status (12 for an inconsistent index), so that the caller rebuilds the table by
// scanning the file.
int create_indextable(IO_error_callback callback, IO_file *record);
// Splits an entry text into a match record (slot left alone). 0, or 12 when a field is missing
// or does not fit (what and where hold at most 79 characters).
int parseindex(IO_error_callback callback, const char *entry, IO_match *match);

// Parses a text offset line of a file of offset width `width`: exactly `width` characters,
// blanks then decimal digits, then LF (`length` counts the LF). 1 with *value set, else 0.
int io_parse_offset_line(const char *line, size_t length, int32_t width, int64_t *value);

// ---------------------------------------------------------------------------------------------
// The table itself.

// Frees a table and its orders.
void indextable_free(IO_index *table);
// Entry count (0 for no table).
int32_t indextable_count(const IO_index *table);
// The text of an entry; its first character (the status) may be changed in place.
char *indextable_entry(const IO_index *table, int32_t slot);
// The slot of the entry whose data set stands at a position; -1 when none does, -2 when several
// entries claim it (which no sound index does).
int32_t indextable_slot_at(IO_index *table, int64_t position);
// Puts the table in what order: every entry present is listed in what order from now on.
void indextable_sort(IO_index *table);
// The ranks [*first, *end) in what order of the entries whose texts from the third character
// begin with the key (`length` bytes of it).
void indextable_what_bounds(const IO_index *table, const char *key, size_t length, int32_t *first,
                            int32_t *end);
// The part of an entry text that what order compares: from its third character.
const char *indextable_what_key(const char *entry);

// Where order: byte order of the entry texts after their second ESC (by where, then the when,
// length and position texts). Built over every entry by the first where search and kept up to
// date as entries are added from then on. 0, or 14 when memory runs out (no where order then).
int indextable_build_where(IO_index *table);
// The ranks [*first, *end) in where order of the entries whose texts after the second ESC begin
// with the key; an empty range while there is no where order.
void indextable_where_bounds(const IO_index *table, const char *key, size_t length, int32_t *first,
                             int32_t *end);
// The part of an entry text that where order compares: after its second ESC ("" without one).
const char *indextable_where_key(const char *entry);

// Table order: begin, then next slot until -1.
void indextable_begin(const IO_index *table, IO_index_cursor *cursor);
int32_t indextable_next(const IO_index *table, IO_index_cursor *cursor);

// Prints the count, the sorted state and every entry in table order to standard output.
void indextable_dump(const IO_index *table);

#endif
