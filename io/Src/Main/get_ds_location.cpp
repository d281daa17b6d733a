// Searching the index table: patterns, the three search modes, duplicates, locating data sets.
//
// The table keeps every entry in what order (and, after the first where search, in where order)
// as entries arrive, so a keyed search finds its run of entries in O(log n) and walks it in the
// order a binary search over the sorted table would give.
#include "get_ds_location.h"

#include "io_alloc.h"
#include "io_delete.h"
#include "io_error.h"
#include "io_file.h"
#include "io_order.h"

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstring>

namespace {

const char kEsc = 27;
const size_t kKeyLen = IO_INDEX_ENTRY_LEN;

const char *textOr(const char *text) { return text ? text : ""; }

// The key of a keyed search into `key` (kKeyLen bytes); its length, or 0 when it cannot be an
// entry's (too long): nothing then matches.
size_t whatKey(const IO_header *query, char *key) {
  const char *what = textOr(query->m_what), *where = textOr(query->m_where);
  int32_t when = query->m_when ? *query->m_when : -1;
  // A name holding the separator would shift the fields of the key: it names no entry.
  if (strchr(what, kEsc) || (!is_wildcard(where) && strchr(where, kEsc))) return 0;
  int n;
  if (is_wildcard(where))
    n = snprintf(key, kKeyLen, "%s%c", what, kEsc);
  else if (when < 0)
    n = snprintf(key, kKeyLen, "%s%c%s%c", what, kEsc, where, kEsc);
  else
    n = snprintf(key, kKeyLen, "%s%c%s%c%d%c", what, kEsc, where, kEsc, when, kEsc);
  return n > 0 && static_cast<size_t>(n) < kKeyLen ? static_cast<size_t>(n) : 0;
}

size_t whereKey(const IO_header *query, char *key) {
  const char *where = textOr(query->m_where);
  int32_t when = query->m_when ? *query->m_when : -1;
  if (strchr(where, kEsc)) return 0;
  int n = when < 0 ? snprintf(key, kKeyLen, "%s%c", where, kEsc)
                   : snprintf(key, kKeyLen, "%s%c%d%c", where, kEsc, when, kEsc);
  return n > 0 && static_cast<size_t>(n) < kKeyLen ? static_cast<size_t>(n) : 0;
}

// The exact key (what, where, when) of a match.
size_t exactKey(const IO_match *match, char *key) {
  int n = snprintf(key, kKeyLen, "%s%c%s%c%d%c", match->m_what, kEsc, match->m_where, kEsc,
                   match->m_when, kEsc);
  return n > 0 && static_cast<size_t>(n) < kKeyLen ? static_cast<size_t>(n) : 0;
}

bool whenFits(const IO_header *query, int32_t when) {
  int32_t wanted = query->m_when ? *query->m_when : -1;
  return wanted < 0 || wanted == when;
}

// Adds the entry of a slot when it is valid. 0 or a status.
int addSlot(IO_error_callback callback, const IO_index *table, int32_t slot,
            IO_match_list *matches) {
  const char *entry = indextable_entry(table, slot);
  if (!entry || entry[0] != 'Y') return IO_OK;
  IO_match match;
  if (parseindex(callback, entry, &match) != IO_OK) {
    io_report_error(callback, "get_ds_location: parseindex failed\n");
    return IO_DATA_ERR;
  }
  match.m_slot = slot;
  if (iomatchlist_add(matches, &match) != IO_OK) {
    io_report_syserr(callback, "get_ds_location: (malloc failed) syserr:");
    return IO_MEMORY_ERR;
  }
  return IO_OK;
}

// Adds the valid entries of the ranks [first, end) of an order of `total` entries in the order of
// a binary search for them over ranks 0 to total - 1: the first rank probed inside the range, the
// ranks below it downwards, then those above it upwards.
int collectRun(IO_error_callback callback, const IO_index *table, const IO_order *order,
               int32_t first, int32_t end, IO_match_list *matches) {
  if (first >= end) return IO_OK;
  int64_t lo = 0, hi = static_cast<int64_t>(order->m_total) - 1, mid = -1;
  while (lo <= hi) {
    int64_t probe = (lo + hi) / 2;
    if (probe < first) {
      lo = probe + 1;
    } else if (probe >= end) {
      hi = probe - 1;
    } else {
      mid = probe;
      break;
    }
  }
  if (mid < 0) return IO_OK; // cannot happen: the range lies within the order
  IO_order_cursor cursor;
  ioorder_seek(order, static_cast<int32_t>(mid), &cursor);
  for (int64_t rank = mid; rank >= first; --rank) {
    int status = addSlot(callback, table, ioorder_entry(order, &cursor), matches);
    if (status != IO_OK) return status;
    ioorder_prev(order, &cursor);
  }
  ioorder_seek(order, static_cast<int32_t>(mid + 1), &cursor);
  for (int64_t rank = mid + 1; rank < end; ++rank) {
    int status = addSlot(callback, table, ioorder_entry(order, &cursor), matches);
    if (status != IO_OK) return status;
    ioorder_next(order, &cursor);
  }
  return IO_OK;
}

// The literal start of a pattern: the characters before its first special one.
size_t literalPrefix(const char *pattern) { return strcspn(pattern, "*?[\\"); }

int scanAll(IO_error_callback callback, const IO_header *query, IO_index *table,
            IO_match_list *matches) {
  const char *what = textOr(query->m_what), *where = textOr(query->m_where);
  // In a table wholly in what order, the entries whose what can match a pattern lie in the run of
  // its literal start; walking that run gives the matches of a walk of the whole table.
  int32_t first = 0, end = indextable_count(table);
  size_t prefix = literalPrefix(what);
  bool ordered = table->m_sorted == -1 && table->m_sortedcount == table->m_numentries;
  if (ordered && prefix > 0 && !memchr(what, kEsc, prefix))
    indextable_what_bounds(table, what, prefix, &first, &end);
  IO_match match;
  IO_index_cursor cursor;
  IO_order_cursor ranks;
  if (ordered)
    ioorder_seek(&table->m_whatorder, first, &ranks);
  else
    indextable_begin(table, &cursor);
  for (int32_t rank = first; rank < end; ++rank) {
    int32_t slot;
    if (ordered) {
      slot = ioorder_entry(&table->m_whatorder, &ranks);
      ioorder_next(&table->m_whatorder, &ranks);
    } else {
      slot = indextable_next(table, &cursor);
    }
    const char *entry = indextable_entry(table, slot);
    if (!entry || entry[0] == 'N') continue;
    if (parseindex(callback, entry, &match) != IO_OK) {
      io_report_error(callback, "get_ds_location: parseindex failed\n");
      return IO_DATA_ERR;
    }
    if (!match_wildcard(match.m_what, what) || !match_wildcard(match.m_where, where) ||
        !whenFits(query, match.m_when))
      continue;
    match.m_slot = slot;
    if (iomatchlist_add(matches, &match) != IO_OK) {
      io_report_syserr(callback, "get_ds_location: (malloc failed) syserr:");
      return IO_MEMORY_ERR;
    }
  }
  return IO_OK;
}

void sortTable(IO_index *table, const char *caller) {
  if (table->m_sorted == -1 && table->m_sortedcount == table->m_numentries) return;
  io_trace("sorting whatlist in %s", caller);
  indextable_sort(table);
}

// The what text compared from its third character, as the when sort breaks its ties.
const char *tieText(const IO_match &match) {
  size_t n = strnlen(match.m_what, sizeof match.m_what - 1);
  return match.m_what + (n < 2 ? n : 2);
}

bool higherWhenFirst(const IO_match &a, const IO_match &b) {
  if (a.m_when != b.m_when) return a.m_when > b.m_when;
  return strcmp(tieText(a), tieText(b)) < 0;
}

void setCount(int32_t *count, int64_t value) {
  if (count) *count = value > INT32_MAX ? INT32_MAX : static_cast<int32_t>(value);
}

void putString(IO_string slot, const char *text) {
  memset(slot, 0, sizeof(IO_string));
  size_t n = strnlen(text, sizeof(IO_string) - 1);
  memcpy(slot, text, n);
}

} // namespace

// ---------------------------------------------------------------------------------------------

void iomatchlist_init(IO_match_list *list) {
  list->m_items = nullptr;
  list->m_count = 0;
  list->m_capacity = 0;
}

void iomatchlist_free(IO_match_list *list) {
  if (!list) return;
  io_free(list->m_items);
  iomatchlist_init(list);
}

int iomatchlist_add(IO_match_list *list, const IO_match *match) {
  if (list->m_count == list->m_capacity) {
    if (list->m_capacity >= INT32_MAX / 2) return IO_MEMORY_ERR;
    int32_t capacity = list->m_capacity < 16 ? 16 : list->m_capacity * 2;
    IO_match *items = static_cast<IO_match *>(
        io_realloc(list->m_items, static_cast<size_t>(capacity) * sizeof(IO_match)));
    if (!items) return IO_MEMORY_ERR;
    list->m_items = items;
    list->m_capacity = capacity;
  }
  list->m_items[list->m_count++] = *match;
  return IO_OK;
}

void iomatchlist_print(const IO_match_list *list, const IO_file *record) {
  whatlist_dump(list->m_items, list->m_count, record);
}

// ---------------------------------------------------------------------------------------------

int match_pattern(const char *text, const char *pattern) {
  const char *p = pattern;
  for (; *p; ++text, ++p) {
    if (*text == '\0' && *p != '*') return -1;
    switch (*p) {
    case '*': {
      while (p[1] == '*') ++p;
      ++p;
      if (*p == '\0') return 1;
      for (; *text; ++text) {
        int result = match_pattern(text, p);
        if (result != 0) return result;
      }
      return -1;
    }
    case '?': break;
    case '[': {
      bool negate = p[1] == '^';
      if (negate) ++p;
      const char *member = p + 1;
      bool found = false;
      unsigned char c = static_cast<unsigned char>(*text);
      for (const char *q = member;; ) {
        if (*q == '\0') return 0; // an open class matches nothing
        if (*q == ']' && q != member) {
          p = q;
          break;
        }
        unsigned char low = static_cast<unsigned char>(*q);
        if (q[1] == '-' && q[2] != ']' && q[2] != '\0') {
          unsigned char high = static_cast<unsigned char>(q[2]);
          if (low <= c && c <= high) found = true;
          q += 3;
        } else {
          if (low == c) found = true;
          ++q;
        }
      }
      if (found == negate) return 0;
      break;
    }
    case '\\':
      if (p[1] != '\0') ++p; // a backslash ending the pattern stands for itself
      if (*text != *p) return 0;
      break;
    default:
      if (*text != *p) return 0;
      break;
    }
  }
  return *text == '\0' ? 1 : 0;
}

int match_wildcard(const char *text, const char *pattern) {
  if (!text || !pattern) return 0;
  if (strcmp(pattern, "*") == 0) return 1;
  return match_pattern(text, pattern) == 1;
}

int is_wildcard(const char *text) { return text && strpbrk(text, "*?[]") != nullptr; }

int parsewhere(IO_error_callback callback, const char *entry, char *out) {
  if (!entry || !out) return IO_DATA_ERR;
  const char *where = strchr(entry, kEsc);
  const char *when = where ? strchr(where + 1, kEsc) : nullptr;
  const char *after = when ? strchr(when + 1, kEsc) : nullptr;
  if (!after) {
    io_report_error(callback, "parsewhere: bad index entry %s\n", entry);
    return IO_DATA_ERR;
  }
  size_t n = static_cast<size_t>(after + 1 - (where + 1));
  if (n >= kKeyLen) n = kKeyLen - 1;
  memcpy(out, where + 1, n);
  out[n] = '\0';
  return IO_OK;
}

// ---------------------------------------------------------------------------------------------

int get_ds_sortwhat_location(IO_error_callback callback, const char *key, size_t length,
                             IO_file *record, IO_match_list *matches) {
  IO_index *table = record->m_indextable;
  int32_t first, end;
  indextable_what_bounds(table, key, length, &first, &end);
  return collectRun(callback, table, &table->m_whatorder, first, end, matches);
}

int get_ds_sortwhere_location(IO_error_callback callback, const char *key, size_t length,
                              IO_file *record, IO_match_list *matches) {
  IO_index *table = record->m_indextable;
  if (indextable_build_where(table) != IO_OK) {
    io_report_syserr(callback, "get_ds_location: (malloc failed) syserr:");
    return IO_MEMORY_ERR;
  }
  int32_t first, end;
  indextable_where_bounds(table, key, length, &first, &end);
  return collectRun(callback, table, table->m_whereorder, first, end, matches);
}

int io_search(IO_error_callback callback, int32_t mode, const IO_header *query, IO_file *record,
              IO_match_list *matches) {
  if (!matches || !query || !record) return IO_MEMORY_ERR;
  matches->m_count = 0;
  IO_index *table = record->m_indextable;
  if (indextable_count(table) == 0) return IO_OK;
  char key[kKeyLen];
  size_t length;
  switch (mode) {
  case IO_SORT_WHAT:
    sortTable(table, "get_ds_location");
    if (is_wildcard(query->m_what))
      io_report_error(callback, "INST: get_ds_sortwhat_location with IO_SORT_WHAT when WHAT is a "
                                "wildcard in get_ds_location");
    length = whatKey(query, key);
    return length ? get_ds_sortwhat_location(callback, key, length, record, matches) : IO_OK;
  case IO_SORT_WHERE:
    length = whereKey(query, key);
    return length ? get_ds_sortwhere_location(callback, key, length, record, matches) : IO_OK;
  case IO_SCAN_ALL: return scanAll(callback, query, table, matches);
  default:
    io_report_error(callback, "get_ds_location: unknown search mode %d", mode);
    return IO_MEMORY_ERR;
  }
}

int get_ds_location(IO_error_callback callback, int32_t mode, const IO_header *query,
                    IO_file *record, int32_t *count, IO_match *matches) {
  if (!count || !matches) return IO_MEMORY_ERR;
  *count = 0;
  IO_match_list list;
  iomatchlist_init(&list);
  int status = io_search(callback, mode, query, record, &list);
  if (status == IO_OK && list.m_count > 0) {
    memcpy(matches, list.m_items, static_cast<size_t>(list.m_count) * sizeof(IO_match));
    *count = list.m_count;
  }
  iomatchlist_free(&list);
  return status;
}

// ---------------------------------------------------------------------------------------------

int update_subindex(IO_error_callback callback, IO_file *record, int32_t count, int32_t *deleted,
                    IO_match *matches) {
  if (deleted) *deleted = 0;
  if (!record || count < 0 || (count > 0 && !matches)) return IO_MEMORY_ERR;
  IO_index *table = record->m_indextable;
  if (!table) return IO_OK;
  sortTable(table, "update_subindex");
  char key[kKeyLen];
  for (int32_t i = 0; i < count; ++i) {
    const IO_match &match = matches[i];
    if (match.m_slot == -1) continue;
    const char *entry = indextable_entry(table, match.m_slot);
    if (!entry || entry[0] == 'N') continue;
    size_t length = exactKey(&match, key);
    if (length == 0) continue;
    // The valid entries of the key: the one written last stays.
    int32_t first, end;
    indextable_what_bounds(table, key, length, &first, &end);
    if (end - first < 2) continue;
    int32_t best = -1;
    int64_t bestPosition = -1;
    IO_match other;
    IO_order_cursor cursor;
    ioorder_seek(&table->m_whatorder, first, &cursor);
    for (int32_t rank = first; rank < end; ++rank, ioorder_next(&table->m_whatorder, &cursor)) {
      int32_t slot = ioorder_entry(&table->m_whatorder, &cursor);
      char *text = indextable_entry(table, slot);
      if (!text || text[0] != 'Y') continue;
      if (parseindex(callback, text, &other) != IO_OK) {
        io_report_error(callback, "update_subindex: get_ds_location failed\n");
        return IO_DATA_ERR;
      }
      int32_t loser = slot;
      int64_t loserPosition = other.m_position;
      if (best < 0 || other.m_position > bestPosition) {
        loser = best;
        loserPosition = bestPosition;
        best = slot;
        bestPosition = other.m_position;
      }
      if (loser < 0) continue;
      indextable_entry(table, loser)[0] = 'N';
      // Only the file's writer tags it on disc; a reader (even with a writable stream) leaves the
      // file as it is for the others that read it.
      if (record->m_access == 'w' && record->m_lockfile == IO_LOCKFILE_WRITER && record->m_stream &&
          iif_mark_index_stale(record) == IO_OK)
        delete_process_sub(callback, record->m_stream, loserPosition);
    }
  }
  int32_t gone = 0;
  for (int32_t i = 0; i < count; ++i) {
    IO_match &match = matches[i];
    if (match.m_slot != -1) {
      const char *entry = indextable_entry(table, match.m_slot);
      if (!entry || entry[0] != 'Y') match.m_slot = -1;
    }
    if (match.m_slot == -1) ++gone;
  }
  if (deleted) *deleted = gone;
  return IO_OK;
}

int update_index(IO_error_callback callback, IO_file *record) {
  if (!record) return IO_MEMORY_ERR;
  IO_index *table = record->m_indextable;
  int32_t count = indextable_count(table);
  if (count == 0) return IO_OK;
  sortTable(table, "update_index");
  // Entries of one what, where and when are neighbours in what order: one walk resolves them.
  const char *group = nullptr;
  size_t groupLength = 0;
  int32_t best = -1;
  int64_t bestPosition = -1;
  IO_match match;
  IO_order_cursor cursor;
  ioorder_seek(&table->m_whatorder, 0, &cursor);
  for (int32_t rank = 0; rank < count; ++rank, ioorder_next(&table->m_whatorder, &cursor)) {
    int32_t slot = ioorder_entry(&table->m_whatorder, &cursor);
    char *entry = indextable_entry(table, slot);
    if (!entry || entry[0] != 'Y') continue;
    const char *key = indextable_what_key(entry);
    // The key through the ESC after the when.
    const char *stop = key;
    for (int k = 0; k < 3 && stop; ++k) {
      stop = strchr(stop, kEsc);
      if (stop) ++stop;
    }
    if (!stop) continue; // not an entry this library writes: left alone
    size_t length = static_cast<size_t>(stop - key);
    if (parseindex(callback, entry, &match) != IO_OK) continue;
    if (!group || length != groupLength || memcmp(group, key, length) != 0) {
      group = key;
      groupLength = length;
      best = slot;
      bestPosition = match.m_position;
      continue;
    }
    if (match.m_position > bestPosition) {
      indextable_entry(table, best)[0] = 'N';
      best = slot;
      bestPosition = match.m_position;
      group = key;
    } else {
      entry[0] = 'N';
    }
  }
  return IO_OK;
}

// ---------------------------------------------------------------------------------------------

namespace {

// Calls `visit(entry, match)` for each entry of the what and where, in what order.
template <class Visit> void visitEntriesOf(IO_file *record, const char *what, const char *where, Visit visit) {
  IO_index *table = record ? record->m_indextable : nullptr;
  if (!table || !what || !where) return;
  char key[kKeyLen];
  const int n = snprintf(key, sizeof key, "%s%c%s%c", what, kEsc, where, kEsc);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof key) return;
  sortTable(table, "locate_older_live");
  int32_t first, end;
  indextable_what_bounds(table, key, static_cast<size_t>(n), &first, &end);
  IO_order_cursor cursor;
  ioorder_seek(&table->m_whatorder, first, &cursor);
  IO_match match;
  for (int32_t rank = first; rank < end; ++rank, ioorder_next(&table->m_whatorder, &cursor)) {
    const char *entry = indextable_entry(table, ioorder_entry(&table->m_whatorder, &cursor));
    if (entry && parseindex(nullptr, entry, &match) == IO_OK) visit(entry, match);
  }
}

} // namespace

int locate_older_live(IO_file *record, const char *what, const char *where, int32_t when, int64_t before) {
  int found = 0;
  visitEntriesOf(record, what, where, [&](const char *entry, const IO_match &match) {
    if (entry[0] == 'Y' && (match.m_when < when || (match.m_when == when && match.m_position < before))) found = 1;
  });
  return found;
}

int locate_only_dead(IO_file *record, const char *what, const char *where, int32_t when) {
  int dead = 0, live = 0;
  visitEntriesOf(record, what, where, [&](const char *entry, const IO_match &match) {
    if (match.m_when != when) return;
    ++(entry[0] == 'Y' ? live : dead);
  });
  return dead > 0 && live == 0 ? 1 : 0;
}

int locate_all_what(IO_error_callback callback, const IO_header *query, IO_match_list *matches,
                    IO_file *record) {
  int status = io_search(callback, IO_SORT_WHAT, query, record, matches);
  if (status != IO_OK) {
    io_report_error(callback, "iocnt: get_ds_location failed\n");
    return status;
  }
  const char *where = textOr(query->m_where);
  int32_t kept = 0;
  for (int32_t i = 0; i < matches->m_count; ++i) {
    const IO_match &match = matches->m_items[i];
    if (match_wildcard(match.m_where, where) && whenFits(query, match.m_when))
      matches->m_items[kept++] = match;
  }
  matches->m_count = kept;
  return IO_OK;
}

int locate_all_where(IO_error_callback callback, const IO_header *query, IO_match_list *matches,
                     IO_file *record) {
  int status = io_search(callback, IO_SORT_WHERE, query, record, matches);
  if (status != IO_OK) {
    io_report_error(callback, "locate_all_where: get_ds_location failed\n");
    return status;
  }
  const char *what = textOr(query->m_what);
  int32_t kept = 0;
  for (int32_t i = 0; i < matches->m_count; ++i) {
    IO_match &match = matches->m_items[i];
    if (!match_wildcard(match.m_what, what) || !whenFits(query, match.m_when)) continue;
    // The where order shares its entries (and their statuses) with the table, so the match is
    // still its entry's; duplicates are left to the caller's update_subindex.
    const char *entry = indextable_entry(record->m_indextable, match.m_slot);
    IO_match check;
    if (!entry || entry[0] != 'Y' || parseindex(nullptr, entry, &check) != IO_OK ||
        check.m_position != match.m_position) {
      io_report_error(callback,
                      "WARNING: in locate_all_where, got a deleted dataset returned from "
                      "get_ds_location(IO_SORT_WHERE): %s:%s:%d\n",
                      match.m_what, match.m_where, match.m_when);
      match.m_slot = -1;
    }
    matches->m_items[kept++] = match;
  }
  matches->m_count = kept;
  return IO_OK;
}

int locate_dataset(IO_error_callback callback, const IO_header *query, IO_data *data,
                   IO_file *record) {
  if (!query || !data || !record) {
    io_report_error(callback, "locate_dataset: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  IO_index *table = record->m_indextable;
  if (indextable_count(table) == 0) {
    setCount(data->m_numoffset, 0);
    setCount(data->m_numstring, 0);
    setCount(data->m_numintr, 0);
    return IO_NO_MATCH;
  }
  sortTable(table, "locate_dataset");
  const char *what = textOr(query->m_what), *where = textOr(query->m_where);
  int32_t when = query->m_when ? *query->m_when : -1;
  io_trace("start to locate %s:%s:%d", what, where, when);

  IO_match_list matches;
  iomatchlist_init(&matches);
  bool wildWhat = is_wildcard(what), wildWhere = is_wildcard(where);
  int status;
  if (wildWhat && !wildWhere)
    status = locate_all_where(callback, query, &matches, record);
  else if (wildWhere && !wildWhat)
    status = locate_all_what(callback, query, &matches, record);
  else
    status = io_search(callback, wildWhat ? IO_SCAN_ALL : IO_SORT_WHAT, query, record, &matches);
  if (status != IO_OK) {
    io_report_error(callback, "locate_dataset: main dataset location failed\n");
    iomatchlist_free(&matches);
    return status;
  }
  if (matches.m_count == 0) {
    iomatchlist_free(&matches);
    return IO_NO_MATCH;
  }
  int32_t deleted = 0;
  if (matches.m_count > 1) {
    status = update_subindex(callback, record, matches.m_count, &deleted, matches.m_items);
    if (status != IO_OK) {
      io_report_error(callback, "locate_dataset: update_subindex failed\n");
      iomatchlist_free(&matches);
      return status;
    }
    io_trace("matched %d datasets in locate_dataset, %d were deleted", matches.m_count, deleted);
  }
  // Only the valid matches are returned; with any when they come highest when first.
  int32_t valid = 0;
  for (int32_t i = 0; i < matches.m_count; ++i)
    if (matches.m_items[i].m_slot != -1) matches.m_items[valid++] = matches.m_items[i];
  // A match left unresolved counts as deleted too.
  if (matches.m_count - valid != deleted) deleted = matches.m_count - valid;
  int64_t v = matches.m_count - deleted;
  bool fits = data->m_numoffset && data->m_numintr && data->m_numstring &&
              *data->m_numoffset >= 2 * v && *data->m_numintr >= v && *data->m_numstring >= 2 * v &&
              (v == 0 || (data->m_offsetarray && data->m_intrarray && data->m_stringarray));
  if (!fits) {
    setCount(data->m_numoffset, 2 * v);
    setCount(data->m_numintr, v);
    setCount(data->m_numstring, 2 * v);
    iomatchlist_free(&matches);
    return IO_MEMORY_ERR;
  }
  if (when < 0 && matches.m_count > 1) {
    io_trace("about to sort %d datasets by WHEN", valid);
    std::stable_sort(matches.m_items, matches.m_items + valid, higherWhenFirst);
    io_trace("sorted %d datasets by WHEN", valid);
  }
  setCount(data->m_numoffset, 2 * v);
  setCount(data->m_numintr, v);
  setCount(data->m_numstring, 2 * v);
  int32_t k = 0;
  for (; k < valid && k < v; ++k) {
    const IO_match &match = matches.m_items[k];
    putString(data->m_stringarray[2 * k], match.m_what);
    putString(data->m_stringarray[2 * k + 1], match.m_where);
    data->m_intrarray[k] = match.m_when;
    data->m_offsetarray[2 * k] = match.m_position;
    data->m_offsetarray[2 * k + 1] = match.m_length;
  }
  if (k != v)
    io_report_error(callback, "Internal Error: located %d datasets, expected %d\n", k,
                    static_cast<int32_t>(v));
  io_trace("Returning %d matches", k);
  iomatchlist_free(&matches);
  return IO_OK;
}

// ---------------------------------------------------------------------------------------------

void whatlist_dump(const IO_match *matches, int32_t count, const IO_file *record) {
  printf("\n\nWriting %d entries from 0x08%x\n", count,
         static_cast<unsigned>(reinterpret_cast<uintptr_t>(matches)));
  const IO_index *table = record ? record->m_indextable : nullptr;
  int32_t sorted = table ? table->m_sorted : 1;
  if (sorted == -1)
    printf("whatlist is currently sorted\n");
  else if (sorted == 0)
    printf("whatlist is currently unsorted\n");
  else
    printf("not sure whether whatlist is sorted or not!\n");
  for (int32_t i = 0; matches && i < count; ++i) {
    const IO_match &m = matches[i];
    const char *text = m.m_slot >= 0 ? indextable_entry(table, m.m_slot) : nullptr;
    printf("%s:%s:%d %d (%" PRId64 ",%" PRId64 ") \"%s\"\n", m.m_what, m.m_where, m.m_when,
           m.m_slot, m.m_position, m.m_length, text ? text : "");
  }
}
