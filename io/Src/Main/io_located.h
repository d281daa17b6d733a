#ifndef IO_LOCATED_H
#define IO_LOCATED_H
// Located data sets: a short road into an open data-set file for readers that want one data set
// by its key and its values in one typed array, without the request interface.
//
// The locates select data sets by what, where and when as the index look-up does (wildcards in
// what and where, a negative when for any when). The readers convert the stored values to the
// type asked for (REAL and DBLE stand in for each other). Every message goes to the file's
// callback; status results as in io_records.h. Arrays handed to the caller come from the plain
// heap (io_alloc.h) and are the caller's to free.
#include "io_records.h"

// One located data set.
struct IO_location {
  char *m_what;       // owned
  char *m_where;      // owned
  int32_t m_when;
  int64_t m_position; // of the data set's tag
  int64_t m_length;   // its length field
};

struct IO_location_list {
  IO_location *m_locations;
  int32_t m_capacity;
  int32_t m_count;
};

// Lists: a new list with room for `capacity` locations (none used), or NULL; release of one
// location's texts (the record itself is the caller's); release of a list and everything in it.
IO_location_list *ii_new_location_list(int32_t capacity);
void ii_free_location(IO_location *location);
void ii_free_location_list(IO_location_list *list);

// The number of entries in the file's index table.
int32_t iif_entry_count(const IO_file *file);

// Exactly one data set: 0 with the location filled (its texts are the caller's: ii_free_location);
// 17 when none matches or the index is empty, 16 when more than one does (both silent); 28 when
// memory runs out; else the locate's status.
int ii_locate_single_dataset(IO_file *file, IO_location *location, const char *what,
                             const char *where, int32_t when);
// Every matching data set, in the order of the locate: 0 with a new list in *list (capacity and
// count the number of matches); 17 when none matches (silent); 28; else the locate's status.
int ii_locate_dataset(IO_file *file, IO_location_list **list, const char *what, const char *where,
                      int32_t when);

// Reads the located data set into the header (a cleared one of its own when NULL) and data,
// converting its values to `type` when it is given and not empty. 14 (silent) when the data's
// arrays are too small: their counts then hold the sizes needed. The file's own format code is
// left alone.
int ii_read_located_dataset_static(IO_file *file, const IO_location *location, IO_header *header,
                                   IO_data *data, const char *type);
// The same, but arrays that are too small are allocated (owned by the data block) and the read
// repeated once.
int ii_read_located_dataset(IO_file *file, const IO_location *location, IO_header *header,
                            IO_data *data, const char *type);
// Reads only the tag (into `format`, 3 characters, when given) and the header.
int ii_read_located_header(IO_file *file, const IO_location *location, IO_header *header,
                           char *format);

// Typed readers. `array` NULL: a size query, *count receives the number of values (0). *array
// set: the caller's buffer of *count values; 14 (count then the size needed) when too small.
// *array NULL: an array of the right size is allocated and handed over. On success *count is
// the number of values read. `reserved` is not used.
int ii_read_located_intr(IO_file *file, const IO_location *location, int32_t **array,
                         int32_t *count, int32_t reserved);
int ii_read_located_real(IO_file *file, const IO_location *location, float **array,
                         int32_t *count, int32_t reserved);
int ii_read_located_dble(IO_file *file, const IO_location *location, double **array,
                         int32_t *count, int32_t reserved);
int ii_read_located_logl(IO_file *file, const IO_location *location, char **array,
                         int32_t *count, int32_t reserved);
int ii_read_located_char(IO_file *file, const IO_location *location, char **array,
                         int32_t *count, int32_t reserved);
int ii_read_located_stri(IO_file *file, const IO_location *location, IO_string **array,
                         int32_t *count, int32_t reserved);
// The strings of a data set as separate texts. *list set: the caller's list of *count entries
// (14, silent, with *count the number needed when too small; entry n becomes NULL when there
// is room); *list NULL: a list of n + 1 entries, the last NULL, is allocated. Every text is a new
// copy; the caller owns them and the list. *count becomes n.
int ii_read_located_strarray(IO_file *file, const IO_location *location, char ***list,
                             int32_t *count, int32_t reserved);

// Locate exactly one data set and read it.
int ii_read_dataset(IO_file *file, const char *what, const char *where, int32_t when,
                    IO_header *header, IO_data *data, const char *type);
int ii_read_dataset_alloc(IO_file *file, const char *what, const char *where, int32_t when,
                          IO_header *header, IO_data *data, const char *type);
int ii_read_intr(IO_file *file, const char *what, const char *where, int32_t when,
                 int32_t **array, int32_t *count, int32_t reserved);
int ii_read_real(IO_file *file, const char *what, const char *where, int32_t when, float **array,
                 int32_t *count, int32_t reserved);
int ii_read_dble(IO_file *file, const char *what, const char *where, int32_t when,
                 double **array, int32_t *count, int32_t reserved);
int ii_read_logl(IO_file *file, const char *what, const char *where, int32_t when, char **array,
                 int32_t *count, int32_t reserved);
int ii_read_char(IO_file *file, const char *what, const char *where, int32_t when, char **array,
                 int32_t *count, int32_t reserved);
int ii_read_stri(IO_file *file, const char *what, const char *where, int32_t when,
                 IO_string **array, int32_t *count, int32_t reserved);
int ii_read_strarray(IO_file *file, const char *what, const char *where, int32_t when,
                     char ***list, int32_t *count, int32_t reserved);

#endif
