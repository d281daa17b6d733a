#ifndef REQUEST_TEST_UTIL_H
#define REQUEST_TEST_UTIL_H
// A user of the request interface for tests: one state, one header object and one data block,
// with short ways to fill them and send requests through iocntc.
#include "io_records.h"

#include <cstdint>
#include <string>
#include <vector>

namespace wezio_test {

struct Requester {
  IO_state *m_state;
  IO_header *m_header;
  IO_data *m_data;
  IO_error_callback m_callback;

  Requester();
  // Closes whatever is still open, then frees everything.
  ~Requester();
  Requester(const Requester &) = delete;
  Requester &operator=(const Requester &) = delete;

  int send(int32_t request);
  // The name in the character array (count = its length), then the request.
  int open(int32_t request, const std::string &name);

  // Header: key, data type and number; no attributes unless given.
  void key(const std::string &what, const std::string &where, int32_t when);
  void type(const std::string &type, int32_t number);
  void attributes(const std::vector<std::string> &texts);

  // Data: every array emptied, then one set.
  void clear();
  void offsets(const std::vector<int64_t> &values);
  void intr(const std::vector<int32_t> &values);
  void real(const std::vector<float> &values);
  void dble(const std::vector<double> &values);
  void logl(const std::string &values);
  void chars(const std::string &text);
  void strings(const std::vector<std::string> &values);
  // Room for `n` locate matches: 2n offsets and strings, n INTR values.
  void locateRoom(int32_t n);

  // The arrays as they stand.
  std::vector<int64_t> offsetValues() const;
  std::vector<int32_t> intrValues() const;
  std::vector<float> realValues() const;
  std::vector<double> dbleValues() const;
  std::string loglValues() const;
  std::string charValues() const;
  std::vector<std::string> stringValues() const;

  // The current file record, through IO_GET_CURRENT_FILE.
  IO_file *current();

  // Locate (request 7 or 8), enlarging the arrays when asked to; the status.
  int locate(int32_t request = 7);
  // Read the data set at a position (request 10, 18, 43 or 44), enlarging the arrays when
  // asked to; the status.
  int readAt(int64_t position, int32_t request = 10);
};

} // namespace wezio_test

#endif
