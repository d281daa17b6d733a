// IO_data records: allocation, array sizing, release and the live-record count.
#include "iodata.h"

#include "io_alloc.h"
#include "io_error.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace {

int32_t s_liveRecords = 0;

// Sizes one array to its count. Sizes are taken in 64 bits from the 32-bit count.
template <typename T>
int sizeArray(IO_error_callback callback, T **array, int32_t *count, const char *name) {
  if (!count) return IO_OK;
  if (*count == 0) {
    io_free(*array);
    *array = nullptr;
    return IO_OK;
  }
  if (*count < 0) {
    io_free(*array);
    *array = nullptr;
    io_report_error(callback, "iodata_alloc_arrays: negative count %d for the %s array", *count,
                    name);
    return IO_MEMORY_ERR;
  }
  int64_t bytes = static_cast<int64_t>(*count) * static_cast<int64_t>(sizeof(T));
  T *grown = static_cast<T *>(io_realloc(*array, static_cast<size_t>(bytes)));
  if (!grown) {
    io_free(*array);
    *array = nullptr;
    if (callback) io_report_malloc_error(callback, "iodata_alloc_arrays", bytes);
    return IO_ALLOC_ERR;
  }
  *array = grown;
  return IO_OK;
}

template <typename T> void freeArray(T **array) {
  io_free(*array);
  *array = nullptr;
}

template <typename T> int64_t arrayBytes(const T *array, const int32_t *count) {
  if (!array || !count || *count <= 0) return 0;
  return static_cast<int64_t>(*count) * static_cast<int64_t>(sizeof(T));
}

void dumpArray(const char *countName, const int32_t *count, const char *arrayName,
               const void *array) {
  printf("   %s=%" PRId32 "\n", countName, count ? *count : 0);
  printf("      %s=0x%" PRIxPTR "\n", arrayName, reinterpret_cast<uintptr_t>(array));
}

} // namespace

IO_data *iodata_alloc(IO_error_callback callback) {
  IO_data *data = static_cast<IO_data *>(io_malloc(sizeof(IO_data)));
  if (!data) {
    if (callback)
      io_report_malloc_error(callback, "iodata_alloc", static_cast<int64_t>(sizeof(IO_data)));
    return nullptr;
  }
  iodata_init(callback, data);
  ++s_liveRecords;
  return data;
}

int iodata_init(IO_error_callback, IO_data *data) {
  if (!data) return IO_OK;
  memset(data, 0, sizeof *data);
  data->m_numoffset = &data->m_counts[IO_DATA_OFFSET];
  data->m_numstring = &data->m_counts[IO_DATA_STRING];
  data->m_numchar = &data->m_counts[IO_DATA_CHAR];
  data->m_numintr = &data->m_counts[IO_DATA_INTR];
  data->m_numreal = &data->m_counts[IO_DATA_REAL];
  data->m_numdble = &data->m_counts[IO_DATA_DBLE];
  data->m_numlogl = &data->m_counts[IO_DATA_LOGL];
  return IO_OK;
}

int iodata_alloc_arrays(IO_error_callback callback, IO_data *data) {
  if (!data) return IO_MEMORY_ERR;
  int results[IO_DATA_ARRAYS] = {
      sizeArray(callback, &data->m_offsetarray, data->m_numoffset, "offset"),
      sizeArray(callback, &data->m_stringarray, data->m_numstring, "string"),
      sizeArray(callback, &data->m_chararray, data->m_numchar, "char"),
      sizeArray(callback, &data->m_intrarray, data->m_numintr, "intr"),
      sizeArray(callback, &data->m_realarray, data->m_numreal, "real"),
      sizeArray(callback, &data->m_dblearray, data->m_numdble, "dble"),
      sizeArray(callback, &data->m_loglarray, data->m_numlogl, "logl"),
  };
  int status = IO_OK;
  for (int result : results)
    if (result != IO_OK && status == IO_OK) status = result;
  return status;
}

int iodata_free_arrays(IO_error_callback, IO_data *data) {
  if (!data) return IO_OK;
  freeArray(&data->m_offsetarray);
  freeArray(&data->m_stringarray);
  freeArray(&data->m_chararray);
  freeArray(&data->m_intrarray);
  freeArray(&data->m_realarray);
  freeArray(&data->m_dblearray);
  freeArray(&data->m_loglarray);
  int32_t *counts[IO_DATA_ARRAYS] = {data->m_numoffset, data->m_numstring, data->m_numchar,
                                     data->m_numintr,   data->m_numreal,   data->m_numdble,
                                     data->m_numlogl};
  for (int32_t *count : counts)
    if (count) *count = 0;
  return IO_OK;
}

int iodata_free(IO_error_callback callback, IO_data *data) {
  if (!data) return IO_OK;
  iodata_free_arrays(callback, data);
  io_free(data);
  --s_liveRecords;
  return IO_OK;
}

int64_t iodata_size(IO_error_callback, const IO_data *data) {
  if (!data) return 0;
  return arrayBytes(data->m_offsetarray, data->m_numoffset) +
         arrayBytes(data->m_stringarray, data->m_numstring) +
         arrayBytes(data->m_chararray, data->m_numchar) +
         arrayBytes(data->m_intrarray, data->m_numintr) +
         arrayBytes(data->m_realarray, data->m_numreal) +
         arrayBytes(data->m_dblearray, data->m_numdble) +
         arrayBytes(data->m_loglarray, data->m_numlogl);
}

int iodata_set_chars(IO_error_callback callback, IO_data *data, const char *text,
                     int32_t length) {
  if (!data || !data->m_numchar || (!text && length != 0)) {
    io_report_error(callback, "iodata_set_chars: passing parameters are wrong");
    return IO_MEMORY_ERR;
  }
  if (length < 0) {
    size_t n = strlen(text);
    if (n > INT32_MAX) {
      io_report_error(callback, "iodata_set_chars: passing parameters are wrong");
      return IO_MEMORY_ERR;
    }
    length = static_cast<int32_t>(n);
  }
  *data->m_numchar = length;
  int status = iodata_alloc_arrays(callback, data);
  if (length > 0 && data->m_chararray) memcpy(data->m_chararray, text, static_cast<size_t>(length));
  return status;
}

int iodata_dump(IO_error_callback, const IO_data *data) {
  if (!data) return IO_OK;
  dumpArray("numoffset", data->m_numoffset, "offsetarray", data->m_offsetarray);
  dumpArray("numstring", data->m_numstring, "stringarray", data->m_stringarray);
  dumpArray("numchar", data->m_numchar, "chararray", data->m_chararray);
  dumpArray("numintr", data->m_numintr, "intrarray", data->m_intrarray);
  dumpArray("numreal", data->m_numreal, "realarray", data->m_realarray);
  dumpArray("numdble", data->m_numdble, "dblearray", data->m_dblearray);
  dumpArray("numlogl", data->m_numlogl, "loglarray", data->m_loglarray);
  return IO_OK;
}

int iodata_leak_check(IO_error_callback callback) {
  if (s_liveRecords == 0) return IO_OK;
  io_report_error(callback, "iodata_leak_check: %d allocated data objects still remain",
                  s_liveRecords);
  return IO_ALLOC_ERR;
}

void *iodata_type_array(const IO_data *data, int32_t type) {
  if (!data) return nullptr;
  switch (type) {
  case IO_TYPE_STRI: return data->m_stringarray;
  case IO_TYPE_CHAR: return data->m_chararray;
  case IO_TYPE_INTR: return data->m_intrarray;
  case IO_TYPE_REAL: return data->m_realarray;
  case IO_TYPE_DBLE: return data->m_dblearray;
  case IO_TYPE_LOGL: return data->m_loglarray;
  default: return nullptr;
  }
}

int32_t *iodata_type_count(const IO_data *data, int32_t type) {
  if (!data) return nullptr;
  switch (type) {
  case IO_TYPE_STRI: return data->m_numstring;
  case IO_TYPE_CHAR: return data->m_numchar;
  case IO_TYPE_INTR: return data->m_numintr;
  case IO_TYPE_REAL: return data->m_numreal;
  case IO_TYPE_DBLE: return data->m_numdble;
  case IO_TYPE_LOGL: return data->m_numlogl;
  default: return nullptr;
  }
}

int32_t iodata_type_size(int32_t type) {
  switch (type) {
  case IO_TYPE_STRI: return static_cast<int32_t>(sizeof(IO_string));
  case IO_TYPE_CHAR: return 1;
  case IO_TYPE_INTR: return 4;
  case IO_TYPE_REAL: return 4;
  case IO_TYPE_DBLE: return 8;
  case IO_TYPE_LOGL: return 1;
  default: return 0;
  }
}
