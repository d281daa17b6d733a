#include "request_test_util.h"

#include "io_header.h"
#include "io_state.h"
#include "iocnt.h"
#include "iodata.h"
#include "wezio_test_util.h"

#include <cstring>

namespace wezio_test {

Requester::Requester()
    : m_state(iostate_alloc()), m_header(ioheader_alloc(nullptr)), m_data(iodata_alloc(nullptr)),
      m_callback(captureMessage) {}

Requester::~Requester() {
  iocnt(IO_CLOSE_PRIMARY, m_callback, m_header, m_data, m_state);
  iocnt(IO_CLOSE_TEXT, m_callback, m_header, m_data, m_state);
  iostate_free(m_state);
  ioheader_free(nullptr, m_header);
  iodata_free(nullptr, m_data);
}

int Requester::send(int32_t request) {
  return iocntc(request, m_callback, m_header, m_data, m_state);
}

int Requester::open(int32_t request, const std::string &name) {
  chars(name);
  return send(request);
}

void Requester::key(const std::string &what, const std::string &where, int32_t when) {
  snprintf(m_header->m_what, IO_NAME_LEN, "%s", what.c_str());
  snprintf(m_header->m_where, IO_NAME_LEN, "%s", where.c_str());
  *m_header->m_when = when;
  *m_header->m_numattrb = 0;
}

void Requester::type(const std::string &type, int32_t number) {
  snprintf(m_header->m_datatype, IO_DATATYPE_LEN, "%s", type.c_str());
  *m_header->m_number = number;
  *m_header->m_blockfactor = 1;
}

void Requester::attributes(const std::vector<std::string> &texts) {
  *m_header->m_numattrb = static_cast<int32_t>(texts.size());
  for (size_t i = 0; i < texts.size() && i < IO_MAXATTRB; ++i) {
    memset(m_header->m_attributes[i], 0, sizeof(IO_string));
    memcpy(m_header->m_attributes[i], texts[i].data(),
           texts[i].size() < sizeof(IO_string) ? texts[i].size() : sizeof(IO_string));
  }
}

void Requester::clear() {
  iodata_free_arrays(nullptr, m_data);
  iodata_init(nullptr, m_data);
}

namespace {
template <typename T>
void setArray(IO_data *data, int32_t *count, T **array, const std::vector<T> &values) {
  *count = static_cast<int32_t>(values.size());
  iodata_alloc_arrays(nullptr, data);
  if (!values.empty()) memcpy(*array, values.data(), values.size() * sizeof(T));
}
} // namespace

void Requester::offsets(const std::vector<int64_t> &values) {
  setArray(m_data, m_data->m_numoffset, &m_data->m_offsetarray, values);
}
void Requester::intr(const std::vector<int32_t> &values) {
  setArray(m_data, m_data->m_numintr, &m_data->m_intrarray, values);
}
void Requester::real(const std::vector<float> &values) {
  setArray(m_data, m_data->m_numreal, &m_data->m_realarray, values);
}
void Requester::dble(const std::vector<double> &values) {
  setArray(m_data, m_data->m_numdble, &m_data->m_dblearray, values);
}
void Requester::logl(const std::string &values) {
  *m_data->m_numlogl = static_cast<int32_t>(values.size());
  iodata_alloc_arrays(nullptr, m_data);
  if (!values.empty()) memcpy(m_data->m_loglarray, values.data(), values.size());
}
void Requester::chars(const std::string &text) {
  iodata_set_chars(nullptr, m_data, text.data(), static_cast<int32_t>(text.size()));
}
void Requester::strings(const std::vector<std::string> &values) {
  *m_data->m_numstring = static_cast<int32_t>(values.size());
  iodata_alloc_arrays(nullptr, m_data);
  for (size_t i = 0; i < values.size(); ++i) {
    memset(m_data->m_stringarray[i], 0, sizeof(IO_string));
    memcpy(m_data->m_stringarray[i], values[i].data(),
           values[i].size() < sizeof(IO_string) ? values[i].size() : sizeof(IO_string));
  }
}

void Requester::locateRoom(int32_t n) {
  // The locate requests want the arrays present even when they have no room.
  int32_t room = n > 0 ? n : 1;
  *m_data->m_numoffset = 2 * room;
  *m_data->m_numstring = 2 * room;
  *m_data->m_numintr = room;
  iodata_alloc_arrays(nullptr, m_data);
  *m_data->m_numoffset = 2 * n;
  *m_data->m_numstring = 2 * n;
  *m_data->m_numintr = n;
}

namespace {
template <typename T> std::vector<T> values(const T *array, const int32_t *count) {
  if (!array || !count || *count <= 0) return {};
  return std::vector<T>(array, array + *count);
}
} // namespace

std::vector<int64_t> Requester::offsetValues() const {
  return values(m_data->m_offsetarray, m_data->m_numoffset);
}
std::vector<int32_t> Requester::intrValues() const {
  return values(m_data->m_intrarray, m_data->m_numintr);
}
std::vector<float> Requester::realValues() const {
  return values(m_data->m_realarray, m_data->m_numreal);
}
std::vector<double> Requester::dbleValues() const {
  return values(m_data->m_dblearray, m_data->m_numdble);
}
std::string Requester::loglValues() const {
  std::vector<char> v = values(m_data->m_loglarray, m_data->m_numlogl);
  return std::string(v.begin(), v.end());
}
std::string Requester::charValues() const {
  std::vector<char> v = values(m_data->m_chararray, m_data->m_numchar);
  return std::string(v.begin(), v.end());
}
std::vector<std::string> Requester::stringValues() const {
  std::vector<std::string> list;
  if (!m_data->m_stringarray || !m_data->m_numstring) return list;
  for (int32_t i = 0; i < *m_data->m_numstring; ++i)
    list.emplace_back(m_data->m_stringarray[i], strnlen(m_data->m_stringarray[i], IO_STRING_LEN));
  return list;
}

IO_file *Requester::current() {
  int64_t slot[1] = {-1};
  int32_t count = 1;
  IO_data data;
  iodata_init(nullptr, &data);
  data.m_offsetarray = slot;
  data.m_numoffset = &count;
  if (iocnt(IO_GET_CURRENT_FILE, m_callback, m_header, &data, m_state) != IO_OK) return nullptr;
  return reinterpret_cast<IO_file *>(static_cast<intptr_t>(slot[0]));
}

int Requester::locate(int32_t request) {
  clear();
  locateRoom(1);
  int status = send(request);
  if (status == IO_MEMORY_ERR) {
    int32_t n = *m_data->m_numintr;
    clear();
    locateRoom(n);
    status = send(request);
  }
  return status;
}

int Requester::readAt(int64_t position, int32_t request) {
  clear();
  offsets({position});
  int status = send(request);
  if (status == IO_MEMORY_ERR) {
    int32_t saved = *m_data->m_numoffset;
    iodata_alloc_arrays(nullptr, m_data);
    *m_data->m_numoffset = saved;
    m_data->m_offsetarray[0] = position;
    status = send(request);
  }
  return status;
}

} // namespace wezio_test
