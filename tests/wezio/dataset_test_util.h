#ifndef DATASET_TEST_UTIL_H
#define DATASET_TEST_UTIL_H
// Helpers of the data-set file tests: a scratch directory, whole files as bytes, frames built by
// hand, and short ways to write and read data sets through the file layer.
#include "io_records.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace wezio_test {

const char kEscChar = 27;

using zyrtest::fileExists;
using zyrtest::readFile;
using zyrtest::ScratchDir;
using zyrtest::writeFile;

// Pieces of frames, by hand.
std::string textRecord(const std::string &text, size_t width); // padded, then LF
std::string textOffset(int64_t value, size_t width);           // right-aligned, then LF
std::string binRecord(const std::string &text);                // LE 4-byte length + bytes
std::string infoBlock(int64_t size, size_t width = 20);
// The text header records of a data set with no attributes.
std::string textHeader(const std::string &what, const std::string &where, int when,
                       const std::string &type, int number, int blockFactor);
// An index entry text.
std::string entryText(const std::string &what, const std::string &where, int when, int64_t length,
                      int64_t position, char status = 'Y');
// The index data set (tag through the position line) for entries at a position.
std::string indexFrame(const std::vector<std::string> &entries, int64_t position,
                       size_t width = 20);

// A header object with the key, type and number set.
struct Header {
  IO_header *m_header;
  Header(const std::string &what = "A", const std::string &where = "B", int when = 0,
         const std::string &type = "INTR", int number = 0);
  ~Header();
  Header(const Header &) = delete;
  Header &operator=(const Header &) = delete;
  IO_header *operator->() { return m_header; }
  IO_header *get() { return m_header; }
};

// An IO_data whose arrays hold given values.
struct Data {
  IO_data *m_data;
  Data();
  ~Data();
  Data(const Data &) = delete;
  Data &operator=(const Data &) = delete;
  IO_data *get() { return m_data; }
  void intr(const std::vector<int32_t> &values);
  void dble(const std::vector<double> &values);
  void chars(const std::string &text);
  void strings(const std::vector<std::string> &values);
};

// Write permission, write_dataset, index location moved past it (what the write request does).
int writeOne(IO_file *record, const char *format, IO_header *header, IO_data *data);
// Every entry of the record's table, parsed, in table order.
struct Entry {
  std::string m_status, m_what, m_where;
  int32_t m_when;
  int64_t m_length, m_position;
};
std::vector<Entry> entries(const IO_file *record);
// Reads the data set at a position into a fresh data block (enlarged on 14); the status.
int readAt(IO_file *record, int64_t position, IO_header *header, IO_data *data,
           char *format = nullptr, const char *target = nullptr);

// A test of one data-set file, data.wez in a scratch directory of its own, and the record that
// opens it: messages are cleared first, and the record is closed after.
class DataFileTest : public testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  // Opens the record on the file with the capturing callback; a record whose open failed holds
  // nothing.
  int openRecord(IO_file *record, const char *access);

  ScratchDir m_dir;
  std::string m_name;
  IO_file m_file;
};

} // namespace wezio_test

#endif
