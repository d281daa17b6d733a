#include "dataset_test_util.h"

#include "io_dataset.h"
#include "io_file.h"
#include "io_header.h"
#include "io_index.h"
#include "io_lock.h"
#include "iodata.h"
#include "lowlevel_io.h"
#include "wezio_test_util.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace wezio_test {

std::string textRecord(const std::string &text, size_t width) {
  return text + std::string(width > text.size() ? width - text.size() : 0, ' ') + "\n";
}

std::string textOffset(int64_t value, size_t width) {
  return rightAligned(std::to_string(value), width) + "\n";
}

std::string binRecord(const std::string &text) {
  return le32(static_cast<uint32_t>(text.size())) + text;
}

std::string infoBlock(int64_t size, size_t width) {
  return "*INFO\n" + textOffset(size, width) + "*ENDINFO\n";
}

std::string textHeader(const std::string &what, const std::string &where, int when,
                       const std::string &type, int number, int blockFactor) {
  const std::string e(1, kEscChar);
  return textRecord("*HEADER", 7) + textRecord("WHAT" + e + what, 80) +
         textRecord("WHERE" + e + where, 80) + textRecord("WHEN" + e + std::to_string(when), 80) +
         textRecord("NUMATTRB" + e + "0", 80) + textRecord("DATATYPE" + e + type, 256) +
         textRecord("NUMBER" + e + std::to_string(number), 80) +
         textRecord("BLOCKFACTOR" + e + std::to_string(blockFactor), 80);
}

std::string entryText(const std::string &what, const std::string &where, int when, int64_t length,
                      int64_t position, char status) {
  const std::string e(1, kEscChar);
  return std::string(1, status) + e + what + e + where + e + std::to_string(when) + e +
         std::to_string(length) + e + std::to_string(position);
}

std::string indexFrame(const std::vector<std::string> &entries, int64_t position, size_t width) {
  std::string body = "*INDEX\n" + textOffset(static_cast<int64_t>(entries.size()), width);
  for (const std::string &entry : entries) body += entry + "\n";
  body += "*ENDINDEX\n";
  int64_t length = static_cast<int64_t>(body.size());
  return std::string("F\0\n", 3) + textOffset(length, width) + body + textOffset(length, width) +
         textOffset(position, width);
}

Header::Header(const std::string &what, const std::string &where, int when, const std::string &type,
               int number)
    : m_header(ioheader_alloc(nullptr)) {
  snprintf(m_header->m_what, IO_NAME_LEN, "%s", what.c_str());
  snprintf(m_header->m_where, IO_NAME_LEN, "%s", where.c_str());
  *m_header->m_when = when;
  snprintf(m_header->m_datatype, IO_DATATYPE_LEN, "%s", type.c_str());
  *m_header->m_number = number;
}

Header::~Header() { ioheader_free(nullptr, m_header); }

Data::Data() : m_data(iodata_alloc(nullptr)) {}
Data::~Data() { iodata_free(nullptr, m_data); }

void Data::intr(const std::vector<int32_t> &values) {
  *m_data->m_numintr = static_cast<int32_t>(values.size());
  iodata_alloc_arrays(nullptr, m_data);
  if (!values.empty()) memcpy(m_data->m_intrarray, values.data(), values.size() * 4);
}

void Data::dble(const std::vector<double> &values) {
  *m_data->m_numdble = static_cast<int32_t>(values.size());
  iodata_alloc_arrays(nullptr, m_data);
  if (!values.empty()) memcpy(m_data->m_dblearray, values.data(), values.size() * 8);
}

void Data::chars(const std::string &text) {
  iodata_set_chars(nullptr, m_data, text.data(), static_cast<int32_t>(text.size()));
}

void Data::strings(const std::vector<std::string> &values) {
  *m_data->m_numstring = static_cast<int32_t>(values.size());
  iodata_alloc_arrays(nullptr, m_data);
  for (size_t i = 0; i < values.size(); ++i) {
    memset(m_data->m_stringarray[i], 0, sizeof(IO_string));
    memcpy(m_data->m_stringarray[i], values[i].data(),
           values[i].size() < sizeof(IO_string) ? values[i].size() : sizeof(IO_string));
  }
}

int writeOne(IO_file *record, const char *format, IO_header *header, IO_data *data) {
  int status = setfilebusyflag(record->m_callback, record);
  if (status != IO_OK) return status;
  status = write_dataset(record->m_callback, format, header, data, record);
  if (status != IO_OK) return status;
  record->m_indexlocation = io_tell(record->m_stream);
  return IO_OK;
}

std::vector<Entry> entries(const IO_file *record) {
  std::vector<Entry> list;
  IO_index_cursor cursor;
  indextable_begin(record->m_indextable, &cursor);
  for (int32_t slot; (slot = indextable_next(record->m_indextable, &cursor)) >= 0;) {
    const char *text = indextable_entry(record->m_indextable, slot);
    IO_match match;
    if (parseindex(nullptr, text, &match) != IO_OK) continue;
    list.push_back({std::string(1, text[0]), match.m_what, match.m_where, match.m_when,
                    match.m_length, match.m_position});
  }
  return list;
}

int readAt(IO_file *record, int64_t position, IO_header *header, IO_data *data, char *format,
           const char *target) {
  char own[3];
  if (!format) format = own;
  if (io_seek(record->m_stream, position, 0) != 0) return IO_SEEK_ERR;
  int status = read_located_dataset_as(record->m_callback, format, header, data, target, record);
  if (status == IO_MEMORY_ERR) {
    if (iodata_alloc_arrays(nullptr, data) != IO_OK) return IO_ALLOC_ERR;
    if (io_seek(record->m_stream, position, 0) != 0) return IO_SEEK_ERR;
    status = read_located_dataset_as(record->m_callback, format, header, data, target, record);
  }
  return status;
}

void DataFileTest::SetUp() {
  messages().clear();
  m_name = m_dir.file("data.wez");
  iif_clear_record(&m_file);
  m_file.m_callback = captureMessage;
}

void DataFileTest::TearDown() {
  if (iif_is_open(&m_file)) iif_close(&m_file);
}

int DataFileTest::openRecord(IO_file *record, const char *access) {
  iif_clear_record(record);
  record->m_callback = captureMessage;
  int status = iif_open(record, m_name.c_str(), access);
  if (status != IO_OK) iif_release_record(record);
  return status;
}

} // namespace wezio_test
