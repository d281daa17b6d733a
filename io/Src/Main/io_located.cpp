// Located data sets: locate by key, read with the values converted to one type.
#include "io_located.h"

#include "get_ds_location.h"
#include "io_alloc.h"
#include "io_dataset.h"
#include "io_error.h"
#include "io_header.h"
#include "io_index.h"
#include "iodata.h"
#include "lowlevel_io.h"

#include <cstring>

namespace {

IO_error_callback callbackOf(const IO_file *file) { return file ? file->m_callback : nullptr; }

bool fileOpen(const IO_file *file) { return file && file->m_stream; }

// A new copy of the text of a string slot: up to its terminator, at most the whole slot.
char *slotCopy(const char *slot) {
  size_t length = strnlen(slot, IO_STRING_LEN);
  char *copy = static_cast<char *>(io_malloc(length + 1));
  if (!copy) return nullptr;
  memcpy(copy, slot, length);
  copy[length] = '\0';
  return copy;
}

// One member of the typed reader family: the values of the located data set as one array of
// the type's values (see io_located.h).
template <typename T>
int readLocatedValues(const char *name, const char *type, T *IO_data::*arrayMember,
                      int32_t *IO_data::*countMember, IO_file *file, const IO_location *location,
                      T **array, int32_t *count) {
  IO_error_callback callback = callbackOf(file);
  if (!count) {
    io_report_error(callback, "%s: passing parameters are wrong", name);
    return IO_DATA_ERR;
  }
  IO_data *data = iodata_alloc(callback);
  if (!data) return IO_ALLOC_ERR;
  int32_t *dataCount = data->*countMember;
  int status;
  if (!array) {
    // A size query: the read stops at the memory check, which sets the count.
    status = ii_read_located_dataset_static(file, location, nullptr, data, type);
    *count = *dataCount;
    if (status == IO_MEMORY_ERR) status = IO_OK;
    iodata_free(callback, data);
    return status;
  }
  bool callerBuffer = *array != nullptr;
  if (callerBuffer) {
    data->*arrayMember = *array;
    *dataCount = *count;
    status = ii_read_located_dataset_static(file, location, nullptr, data, type);
  } else {
    status = ii_read_located_dataset(file, location, nullptr, data, type);
  }
  if (status != IO_OK) {
    io_report_error(callback, "%s: ii_read_located_dataset failed", name);
    *count = *dataCount;
  } else {
    *count = *dataCount;
    if (!callerBuffer) {
      *array = data->*arrayMember;
      data->*arrayMember = nullptr;
    }
  }
  // The caller's buffer is never the data block's to free.
  if (callerBuffer) data->*arrayMember = nullptr;
  iodata_free(callback, data);
  return status;
}

// A locate of what, where and when with room for `room` matches. The query's references are
// aimed at the caller's texts, so that no key is cut short. *data receives the data block (the
// caller frees it) unless the status is 28.
int locateWithRoom(const char *name, IO_file *file, const char *what, const char *where,
                   int32_t when, int32_t room, IO_data **result) {
  IO_error_callback callback = callbackOf(file);
  *result = nullptr;
  IO_header *header = ioheader_alloc(callback);
  IO_data *data = iodata_alloc(callback);
  if (!header || !data) {
    if (header) ioheader_free(callback, header);
    if (data) iodata_free(callback, data);
    return IO_ALLOC_ERR;
  }
  *data->m_numintr = room;
  *data->m_numstring = 2 * room;
  *data->m_numoffset = 2 * room;
  if (iodata_alloc_arrays(callback, data) != IO_OK) {
    io_report_error(callback, "%s: allocating room for the matches", name);
    ioheader_free(callback, header);
    iodata_free(callback, data);
    return IO_ALLOC_ERR;
  }
  char *ownWhat = header->m_what, *ownWhere = header->m_where;
  header->m_what = const_cast<char *>(what);
  header->m_where = const_cast<char *>(where);
  *header->m_when = when;
  int status = locate_dataset(callback, header, data, file);
  header->m_what = ownWhat;
  header->m_where = ownWhere;
  ioheader_free(callback, header);
  *result = data;
  return status;
}

bool keyGiven(IO_error_callback callback, const char *name, const void *out, const char *what,
              const char *where) {
  if (out && what && where) return true;
  io_report_error(callback, "%s: passing parameters are wrong", name);
  return false;
}

// Locates one data set and hands it to a reader.
template <typename Read>
int locateAndRead(IO_file *file, const char *what, const char *where, int32_t when, Read read) {
  IO_location location = {nullptr, nullptr, 0, 0, 0};
  int status = ii_locate_single_dataset(file, &location, what, where, when);
  if (status != IO_OK) return status;
  status = read(&location);
  ii_free_location(&location);
  return status;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Lists.

IO_location_list *ii_new_location_list(int32_t capacity) {
  if (capacity < 0) return nullptr;
  IO_location_list *list = static_cast<IO_location_list *>(io_calloc(1, sizeof(IO_location_list)));
  if (!list) return nullptr;
  if (capacity > 0) {
    list->m_locations =
        static_cast<IO_location *>(io_calloc(static_cast<size_t>(capacity), sizeof(IO_location)));
    if (!list->m_locations) {
      io_free(list);
      return nullptr;
    }
  }
  list->m_capacity = capacity;
  return list;
}

void ii_free_location(IO_location *location) {
  if (!location) return;
  io_free(location->m_what);
  io_free(location->m_where);
  location->m_what = nullptr;
  location->m_where = nullptr;
}

void ii_free_location_list(IO_location_list *list) {
  if (!list) return;
  for (int32_t i = 0; i < list->m_capacity; ++i) ii_free_location(&list->m_locations[i]);
  io_free(list->m_locations);
  io_free(list);
}

int32_t iif_entry_count(const IO_file *file) {
  return file ? indextable_count(file->m_indextable) : 0;
}

// ---------------------------------------------------------------------------------------------
// Locating.

int ii_locate_single_dataset(IO_file *file, IO_location *location, const char *what,
                             const char *where, int32_t when) {
  if (iif_entry_count(file) == 0) return IO_NO_MATCH;
  IO_error_callback callback = callbackOf(file);
  if (!keyGiven(callback, __func__, location, what, where)) return IO_DATA_ERR;
  IO_data *data = nullptr;
  int status = locateWithRoom(__func__, file, what, where, when, 1, &data);
  if (status == IO_OK) {
    location->m_what = slotCopy(data->m_stringarray[0]);
    location->m_where = location->m_what ? slotCopy(data->m_stringarray[1]) : nullptr;
    if (!location->m_what || !location->m_where) {
      io_report_malloc_error(callback,
                             location->m_what ? "ii_locate_single_dataset: allocating where"
                                              : "ii_locate_single_dataset: allocating what",
                             IO_STRING_LEN);
      ii_free_location(location);
      status = IO_ALLOC_ERR;
    } else {
      location->m_when = data->m_intrarray[0];
      location->m_position = data->m_offsetarray[0];
      location->m_length = data->m_offsetarray[1];
    }
  } else if (status == IO_MEMORY_ERR && data && *data->m_numintr > 1) {
    // More matches than the room for one.
    status = IO_MULTIPLE_MATCH;
  } else if (status == IO_MEMORY_ERR) {
    // The locate ran out of memory: no second match is known.
    io_report_error(callback, "ii_locate_single_dataset: locate_dataset failed");
    status = IO_ALLOC_ERR;
  } else if (status != IO_NO_MATCH && status != IO_ALLOC_ERR) {
    io_report_error(callback, "ii_locate_single_dataset: locate_dataset failed");
  }
  if (data) iodata_free(callback, data);
  return status;
}

int ii_locate_dataset(IO_file *file, IO_location_list **list, const char *what, const char *where,
                      int32_t when) {
  IO_error_callback callback = callbackOf(file);
  if (!keyGiven(callback, __func__, list, what, where)) return IO_DATA_ERR;
  *list = nullptr;
  int32_t entries = iif_entry_count(file);
  if (entries == 0) return IO_NO_MATCH;
  // Room for every entry may be a great deal for a large file; a locate that needs more than a
  // first guess says how much, and is asked once more with exactly that.
  const int32_t kFirstRoom = 64;
  IO_data *data = nullptr;
  int status = locateWithRoom(__func__, file, what, where, when,
                              entries < kFirstRoom ? entries : kFirstRoom, &data);
  if (status == IO_MEMORY_ERR && data) {
    int32_t needed = *data->m_numintr;
    iodata_free(callback, data);
    data = nullptr;
    status = locateWithRoom(__func__, file, what, where, when, needed, &data);
  }
  if (status != IO_OK) {
    if (status == IO_MEMORY_ERR)
      io_report_error(callback, "ii_locate_dataset: Unexpected internal error: IO_MEMORY_ERR "
                                "return from locate_dataset");
    else if (status != IO_NO_MATCH && status != IO_ALLOC_ERR)
      io_report_error(callback, "ii_locate_dataset: locate_dataset failed");
    if (data) iodata_free(callback, data);
    return status;
  }
  int32_t found = *data->m_numintr;
  IO_location_list *result = ii_new_location_list(found);
  if (!result) {
    io_report_malloc_error(callback, "ii_locate_dataset: allocating index for return",
                           static_cast<int64_t>(found) * static_cast<int64_t>(sizeof(IO_location)));
    iodata_free(callback, data);
    return IO_ALLOC_ERR;
  }
  for (int32_t i = 0; i < found; ++i) {
    IO_location *location = &result->m_locations[i];
    location->m_what = slotCopy(data->m_stringarray[2 * i]);
    location->m_where = location->m_what ? slotCopy(data->m_stringarray[2 * i + 1]) : nullptr;
    if (!location->m_what || !location->m_where) {
      io_report_malloc_error(callback,
                             location->m_what ? "ii_locate_dataset: allocating where"
                                              : "ii_locate_dataset: allocating what",
                             IO_STRING_LEN);
      ii_free_location_list(result);
      iodata_free(callback, data);
      return IO_ALLOC_ERR;
    }
    location->m_when = data->m_intrarray[i];
    location->m_position = data->m_offsetarray[2 * i];
    location->m_length = data->m_offsetarray[2 * i + 1];
  }
  result->m_count = found;
  iodata_free(callback, data);
  *list = result;
  return IO_OK;
}

// ---------------------------------------------------------------------------------------------
// Reading a located data set.

int ii_read_located_dataset_static(IO_file *file, const IO_location *location, IO_header *header,
                                   IO_data *data, const char *type) {
  IO_error_callback callback = callbackOf(file);
  if (!fileOpen(file)) {
    io_report_error(callback, "ii_read_located_dataset_static: no file is open");
    return IO_OPEN_ERR;
  }
  if (!location || !data) {
    io_report_error(callback, "ii_read_located_dataset_static: passing parameters are wrong");
    return IO_DATA_ERR;
  }
  if (io_seek(file->m_stream, location->m_position, 0) != 0) {
    io_report_syserr(callback, "ii_read_located_dataset_static: can't go to dataset location");
    return IO_SEEK_ERR;
  }
  IO_header *own = nullptr;
  if (!header) {
    own = ioheader_alloc(callback);
    if (!own) return IO_ALLOC_ERR;
    header = own;
  }
  char format[3] = {0, 0, 0};
  int status = read_located_dataset_as(callback, format, header, data, type, file);
  if (status != IO_OK && status != IO_MEMORY_ERR)
    io_report_error(callback, "ii_read_located_dataset_static: read_located_dataset failed\n");
  if (own) ioheader_free(callback, own);
  return status;
}

int ii_read_located_dataset(IO_file *file, const IO_location *location, IO_header *header,
                            IO_data *data, const char *type) {
  int status = ii_read_located_dataset_static(file, location, header, data, type);
  if (status != IO_MEMORY_ERR) return status;
  // The counts hold the sizes the data set needs.
  status = iodata_alloc_arrays(callbackOf(file), data);
  if (status != IO_OK) return status;
  return ii_read_located_dataset_static(file, location, header, data, type);
}

int ii_read_located_header(IO_file *file, const IO_location *location, IO_header *header,
                           char *format) {
  IO_error_callback callback = callbackOf(file);
  if (!fileOpen(file)) {
    io_report_error(callback, "ii_read_located_header: no file is open");
    return IO_OPEN_ERR;
  }
  if (!location || !header) {
    io_report_error(callback, "ii_read_located_header: passing parameters are wrong");
    return IO_DATA_ERR;
  }
  if (io_seek(file->m_stream, location->m_position, 0) != 0) {
    io_report_syserr(callback, "ii_read_located_header: can't go to dataset location");
    return IO_SEEK_ERR;
  }
  char own[3] = {0, 0, 0};
  if (!format) format = own;
  int status = read_located_dataset_start(callback, format, file);
  if (status != IO_OK) {
    io_report_error(callback, "ii_read_located_header: read of dataset start block failed\n");
    return status;
  }
  status = read_header(callback, format, file->m_stream, header);
  if (status != IO_OK) io_report_error(callback, "ii_read_located_header: read_header failed\n");
  return status;
}

int ii_read_located_intr(IO_file *file, const IO_location *location, int32_t **array,
                         int32_t *count, int32_t) {
  return readLocatedValues(__func__, "INTR", &IO_data::m_intrarray, &IO_data::m_numintr, file,
                           location, array, count);
}

int ii_read_located_real(IO_file *file, const IO_location *location, float **array,
                         int32_t *count, int32_t) {
  return readLocatedValues(__func__, "REAL", &IO_data::m_realarray, &IO_data::m_numreal, file,
                           location, array, count);
}

int ii_read_located_dble(IO_file *file, const IO_location *location, double **array,
                         int32_t *count, int32_t) {
  return readLocatedValues(__func__, "DBLE", &IO_data::m_dblearray, &IO_data::m_numdble, file,
                           location, array, count);
}

int ii_read_located_logl(IO_file *file, const IO_location *location, char **array,
                         int32_t *count, int32_t) {
  return readLocatedValues(__func__, "LOGL", &IO_data::m_loglarray, &IO_data::m_numlogl, file,
                           location, array, count);
}

int ii_read_located_char(IO_file *file, const IO_location *location, char **array,
                         int32_t *count, int32_t) {
  return readLocatedValues(__func__, "CHAR", &IO_data::m_chararray, &IO_data::m_numchar, file,
                           location, array, count);
}

int ii_read_located_stri(IO_file *file, const IO_location *location, IO_string **array,
                         int32_t *count, int32_t) {
  return readLocatedValues(__func__, "STRI", &IO_data::m_stringarray, &IO_data::m_numstring, file,
                           location, array, count);
}

int ii_read_located_strarray(IO_file *file, const IO_location *location, char ***list,
                             int32_t *count, int32_t) {
  IO_error_callback callback = callbackOf(file);
  if (!list || !count) {
    io_report_error(callback, "ii_read_located_strarray: passing parameters are wrong");
    return IO_DATA_ERR;
  }
  IO_string *strings = nullptr;
  int32_t n = 0;
  int status = ii_read_located_stri(file, location, &strings, &n, 0);
  if (status != IO_OK) {
    io_report_error(callback, "ii_read_located_strarray: ii_read_located_stri failed");
    return status;
  }
  char **texts = *list;
  bool own = texts == nullptr;
  if (!own) {
    if (*count < n) {
      *count = n;
      io_free(strings);
      return IO_MEMORY_ERR;
    }
    if (*count > n) texts[n] = nullptr;
  } else {
    texts = static_cast<char **>(io_calloc(static_cast<size_t>(n) + 1, sizeof(char *)));
    if (!texts) {
      io_report_malloc_error(callback, "ii_read_located_strarray",
                             (static_cast<int64_t>(n) + 1) * static_cast<int64_t>(sizeof(char *)));
      io_free(strings);
      return IO_ALLOC_ERR;
    }
  }
  for (int32_t i = 0; i < n; ++i) {
    texts[i] = slotCopy(strings[i]);
    if (texts[i]) continue;
    io_report_malloc_error(callback, "ii_read_located_strarray",
                           static_cast<int64_t>(strnlen(strings[i], IO_STRING_LEN)) + 1);
    for (int32_t j = 0; j < i; ++j) {
      io_free(texts[j]);
      texts[j] = nullptr;
    }
    if (own) io_free(texts);
    io_free(strings);
    return IO_ALLOC_ERR;
  }
  io_free(strings);
  *count = n;
  if (own) *list = texts;
  return IO_OK;
}

// ---------------------------------------------------------------------------------------------
// Locate and read.

int ii_read_dataset(IO_file *file, const char *what, const char *where, int32_t when,
                    IO_header *header, IO_data *data, const char *type) {
  return locateAndRead(file, what, where, when, [&](const IO_location *location) {
    return ii_read_located_dataset_static(file, location, header, data, type);
  });
}

int ii_read_dataset_alloc(IO_file *file, const char *what, const char *where, int32_t when,
                          IO_header *header, IO_data *data, const char *type) {
  return locateAndRead(file, what, where, when, [&](const IO_location *location) {
    return ii_read_located_dataset(file, location, header, data, type);
  });
}

int ii_read_intr(IO_file *file, const char *what, const char *where, int32_t when,
                 int32_t **array, int32_t *count, int32_t reserved) {
  return locateAndRead(file, what, where, when, [&](const IO_location *location) {
    return ii_read_located_intr(file, location, array, count, reserved);
  });
}

int ii_read_real(IO_file *file, const char *what, const char *where, int32_t when, float **array,
                 int32_t *count, int32_t reserved) {
  return locateAndRead(file, what, where, when, [&](const IO_location *location) {
    return ii_read_located_real(file, location, array, count, reserved);
  });
}

int ii_read_dble(IO_file *file, const char *what, const char *where, int32_t when,
                 double **array, int32_t *count, int32_t reserved) {
  return locateAndRead(file, what, where, when, [&](const IO_location *location) {
    return ii_read_located_dble(file, location, array, count, reserved);
  });
}

int ii_read_logl(IO_file *file, const char *what, const char *where, int32_t when, char **array,
                 int32_t *count, int32_t reserved) {
  return locateAndRead(file, what, where, when, [&](const IO_location *location) {
    return ii_read_located_logl(file, location, array, count, reserved);
  });
}

int ii_read_char(IO_file *file, const char *what, const char *where, int32_t when, char **array,
                 int32_t *count, int32_t reserved) {
  return locateAndRead(file, what, where, when, [&](const IO_location *location) {
    return ii_read_located_char(file, location, array, count, reserved);
  });
}

int ii_read_stri(IO_file *file, const char *what, const char *where, int32_t when,
                 IO_string **array, int32_t *count, int32_t reserved) {
  return locateAndRead(file, what, where, when, [&](const IO_location *location) {
    return ii_read_located_stri(file, location, array, count, reserved);
  });
}

int ii_read_strarray(IO_file *file, const char *what, const char *where, int32_t when,
                     char ***list, int32_t *count, int32_t reserved) {
  return locateAndRead(file, what, where, when, [&](const IO_location *location) {
    return ii_read_located_strarray(file, location, list, count, reserved);
  });
}
