#ifndef GET_DS_LOCATION_H
#define GET_DS_LOCATION_H
// Searching the index table of an open data-set file: data sets by what, where and when, with
// wildcards in what and where and any when, duplicates resolved so that of the data sets with one
// what, where and when only the one written last (highest position) stays valid.
//
// Patterns (match_pattern): "*" matches any run of characters, "?" any one character, "[...]" one
// character of a class ("^" first negates; "]" first is a member; "a-z" a range; "-" first or
// last is a member), "\" makes the next character literal. A text holding one of "*?[]" is a
// wildcard (is_wildcard). A query when below 0 means any when.
//
// Search modes of get_ds_location:
//   IO_SORT_WHAT   the entries whose texts from the third character begin with a key: the what
//                  and ESC when the where is a wildcard, else what, ESC, where, ESC when the when
//                  is below 0, else what, ESC, where, ESC, when, ESC (so "A" never finds "AB"
//                  and when 1 never finds 10). The table is put in what order first.
//   IO_SORT_WHERE  the entries whose texts after the second ESC begin with where and ESC, or with
//                  where, ESC, when and ESC when the when is not below 0.
//   IO_SCAN_ALL    every valid entry whose what and where match the query's patterns and whose
//                  when fits, in table order.
// The two keyed modes give the run of matching entries in the order of a binary search over the
// sorted table: the entry first probed inside the run, then the run below it downwards, then the
// run above it upwards. Only valid entries (status "Y") are matches. A match's slot is its
// entry's slot in the table (slots never move).
//
// Every failure is reported through the callback first; statuses as in io_records.h.
#include "io_index.h"
#include "io_records.h"

enum { IO_SORT_WHAT = -1, IO_SORT_WHERE = -2, IO_SCAN_ALL = 7 };

// A growing array of matches.
struct IO_match_list {
  IO_match *m_items;
  int32_t m_count;
  int32_t m_capacity;
};

void iomatchlist_init(IO_match_list *list);
void iomatchlist_free(IO_match_list *list);
// Appends a copy. 0, or 14 when memory runs out.
int iomatchlist_add(IO_match_list *list, const IO_match *match);
// Prints the matches with the record's sorted state (whatlist_dump).
void iomatchlist_print(const IO_match_list *list, const IO_file *record);

// ---------------------------------------------------------------------------------------------
// Patterns.

// 1 when the text matches the pattern, 0 when not, -1 when the text ran out first (a caller
// trying later starting points can stop). A class left open by the end of the pattern matches
// nothing; nothing is read past the end of either text.
int match_pattern(const char *text, const char *pattern);
// True when the pattern is "*" alone or match_pattern gives 1.
int match_wildcard(const char *text, const char *pattern);
// True when the text holds one of "*?[]".
int is_wildcard(const char *text);

// The part of an entry text without its status (from its third character) from its where
// through the ESC after its when, into `out` (IO_INDEX_ENTRY_LEN characters). 0, or 12 when the
// entry has no such part.
int parsewhere(IO_error_callback callback, const char *entry, char *out);

// ---------------------------------------------------------------------------------------------
// Searches.

// One search of the query's what, where and when (mode IO_SORT_WHAT, IO_SORT_WHERE or
// IO_SCAN_ALL). The matches go to `matches`, which must have room for as many matches as the
// table has entries; *count receives their number. 0; 14 without a count or an array, or for an
// unknown mode; 12 when an entry cannot be parsed.
int get_ds_location(IO_error_callback callback, int32_t mode, const IO_header *query,
                    IO_file *record, int32_t *count, IO_match *matches);
// The same into a growing list (emptied first).
int io_search(IO_error_callback callback, int32_t mode, const IO_header *query, IO_file *record,
              IO_match_list *matches);
// The keyed searches behind IO_SORT_WHAT and IO_SORT_WHERE: the valid entries whose key texts
// begin with the key (`length` bytes), appended to the list in binary-search order.
int get_ds_sortwhat_location(IO_error_callback callback, const char *key, size_t length,
                             IO_file *record, IO_match_list *matches);
int get_ds_sortwhere_location(IO_error_callback callback, const char *key, size_t length,
                              IO_file *record, IO_match_list *matches);

// Resolves duplicates among `count` matches: for each match still valid, every other valid entry
// with its what, where and when but a lower position becomes "N" (and, in a file whose stream is
// writable, its data set gets its delete tag). Matches left on an entry that is no longer valid
// get slot -1; *deleted receives how many matches have slot -1. 0 or a status.
int update_subindex(IO_error_callback callback, IO_file *record, int32_t count, int32_t *deleted,
                    IO_match *matches);
// Resolves duplicates over the whole table (sorting it first); only statuses change, no data set
// is deleted in the file. 0 or a status.
int update_index(IO_error_callback callback, IO_file *record);

// What the table holds of the entries of one what and where, for telling what an open left out
// (io_frame.h): whether one of them that is live has a when no higher than `when` (an older copy
// of the same data set, or an older version, which a look-up now finds in the place of one left
// out), and whether every entry of exactly the when is not live while one is there (the data set
// is gone from the table). 1 or 0.
int locate_older_live(IO_file *record, const char *what, const char *where, int32_t when, int64_t before);
int locate_only_dead(IO_file *record, const char *what, const char *where, int32_t when);

// The wildcard searches of locate_dataset: a what pattern with an exact where (searched in where
// order), and an exact what with a where pattern (searched in what order). The list is emptied
// first; its matches keep the search's order.
int locate_all_where(IO_error_callback callback, const IO_header *query, IO_match_list *matches,
                     IO_file *record);
int locate_all_what(IO_error_callback callback, const IO_header *query, IO_match_list *matches,
                    IO_file *record);

// Finds the data sets matching the query's what, where and when. For the k-th of the v valid
// matches: strings 2k and 2k+1 receive its what and where, INTR k its when, offsets 2k its
// position and 2k+1 its length; with a when below 0 the matches come highest when first. The
// counts of the three arrays are set to 2v, v and 2v. 0; 17 when nothing matches (an empty table
// also sets the three counts to 0); 14 when an array is too small (or absent): the counts then
// hold the sizes needed, so that the caller can enlarge its arrays and ask again. Other failures
// are reported.
int locate_dataset(IO_error_callback callback, const IO_header *query, IO_data *data,
                   IO_file *record);

// Prints the matches as the debugging listing of the index ("whatlist"); nothing calls it.
void whatlist_dump(const IO_match *matches, int32_t count, const IO_file *record);

#endif
