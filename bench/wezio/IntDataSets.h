#ifndef ZYR_BENCH_INT_DATA_SETS_H
#define ZYR_BENCH_INT_DATA_SETS_H
// A data-set file of many small data sets for the benchmarks of the open: each holds one integer.
#include "io_dataset.h"
#include "io_file.h"
#include "io_header.h"
#include "io_lock.h"
#include "iodata.h"
#include "lowlevel_io.h"

#include <cstddef>
#include <string>

// Writes `count` data sets in the format into a new file, in the order of i; name(i, header)
// fills the i-th data set's what, where and when and gives its value. The stored index lists the
// entries as written. Whether the whole file was made.
template <class Name> bool writeIntDataSets(const std::string &path, const char *format, size_t count, Name name) {
  IO_file *record = nullptr;
  if (iif_open_new(&record, path.c_str(), "w") != IO_OK) return false;
  IO_header *header = ioheader_alloc(nullptr);
  IO_data *data = iodata_alloc(nullptr);
  *data->m_numintr = 1;
  iodata_alloc_arrays(nullptr, data);
  snprintf(header->m_datatype, IO_DATATYPE_LEN, "INTR");
  *header->m_number = 1;
  bool ok = true;
  for (size_t i = 0; i < count && ok; ++i) {
    data->m_intrarray[0] = name(i, header);
    ok = setfilebusyflag(nullptr, record) == IO_OK && write_dataset(nullptr, format, header, data, record) == IO_OK;
    record->m_indexlocation = io_tell(record->m_stream);
  }
  iodata_free(nullptr, data);
  ioheader_free(nullptr, header);
  return iif_close_free(record) == IO_OK && ok;
}

#endif
