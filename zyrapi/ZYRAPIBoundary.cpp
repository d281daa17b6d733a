// The error bridge and the value conversions shared by the exported classes.
#include "ZYRAPIBoundary.h"

#include "ErrorProgressReporter.h"
#include "ZYRAPIExceptions.h"
#include "StringUtilities.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrAPI.h"
#include "zyrMemory.h"

#include <climits>
#include <sstream>

namespace qiv {
namespace zyrapi {
namespace boundary {

namespace {

// The core's queue of errors, as the classes read it: the array of held records (the caller
// frees the array, the queue keeps the records) and the removal of every record.
int fetchQueue(int32_t *noOfErrors, zyrError ***errors) {
  *noOfErrors = 0;
  *errors = nullptr;
  return zyrApp_getErrors(noOfErrors, errors);
}

void clearQueue() { zyrApp_clearErrors(); }

// One read of the queue; the array goes with the object.
struct QueuedErrors {
  int32_t m_count = 0;
  zyrError **m_errors = nullptr;
  int m_status;
  QueuedErrors() { m_status = fetchQueue(&m_count, &m_errors); }
  ~QueuedErrors() { zyrMemory_free(m_errors, "qiv::ZYRAPI::getErrorDesc"); }
  QueuedErrors(const QueuedErrors &) = delete;
  QueuedErrors &operator=(const QueuedErrors &) = delete;
};

// Empties the queue when it goes, whatever happened meanwhile.
struct QueueClearer {
  QueueClearer() = default;
  ~QueueClearer() { clearQueue(); }
  QueueClearer(const QueueClearer &) = delete;
  QueueClearer &operator=(const QueueClearer &) = delete;
};

} // namespace

std::string takeErrorText() {
  const QueueClearer clearer;
  const QueuedErrors queued;
  if (queued.m_status != 1)
    return "zyrModel_getLastError has failed";
  if (queued.m_count <= 0 || queued.m_errors == nullptr)
    return "Unable to retrieve error from ZYR";
  std::string text;
  for (int32_t i = 0; i < queued.m_count; ++i) {
    if (i > 0)
      text += "\n\n";
    const char *message = zyrError_getMessage(queued.m_errors[i]);
    if (message != nullptr)
      text += message;
  }
  return text;
}

int queuedErrorCode() {
  const QueuedErrors queued;
  if (queued.m_status != 1 || queued.m_count <= 0 || queued.m_errors == nullptr)
    return 0;
  for (int32_t i = 0; i < queued.m_count; ++i)
    if (!zyrError_isWarning(queued.m_errors[i]))
      return zyrError_getCode(queued.m_errors[i]);
  return zyrError_getCode(queued.m_errors[0]);
}

bool takeBadLocationErrors() {
  {
    const QueuedErrors queued;
    if (queued.m_status != 1)
      return false;
    for (int32_t i = 0; i < queued.m_count; ++i) {
      const int32_t code = zyrError_getCode(queued.m_errors[i]);
      if (code != ZYR_U_UNRECOGNISED_NAME && code != ZYR_U_UNRESOLVED_NAME)
        return false;
    }
  }
  clearQueue();
  return true;
}

void settleWarnings(const std::string &classText, const std::string &methodText, bool report) {
  int32_t count = 0;
  {
    const QueuedErrors queued;
    count = queued.m_count;
  }
  if (count <= 0)
    return;
  const std::string text = takeErrorText();
  if (!text.empty() && report)
    ErrorProgressReporter::instance().reportError(ErrorMsg(classText, methodText, text, qiv::errorTypeWarning));
}

void report(int result, const std::string &methodText, bool reportWarnings, bool tolerateBadLocation) {
  if (result != 1) {
    if (tolerateBadLocation && takeBadLocationErrors())
      return;
    throwQueued<zyr>("ZYRAPI", methodText);
  }
  settleWarnings("ZYRAPI", methodText, reportWarnings);
}

PackedStrings::PackedStrings(const std::vector<std::string> &strings) {
  size_t total = 0;
  for (const std::string &s : strings)
    total += s.size() + 1;
  m_buffer.reserve(total);
  m_table.reserve(strings.size());
  for (const std::string &s : strings) {
    const size_t start = m_buffer.size();
    m_buffer.insert(m_buffer.end(), s.begin(), s.end());
    m_buffer.push_back('\0');
    m_table.push_back(m_buffer.data() + start);
  }
}

CoreString::~CoreString() { zyrCString_free(m_text); }

CoreStringTable::~CoreStringTable() {
  if (m_table != nullptr)
    zyrCStringArray_free(m_table, m_count > 0 ? static_cast<uint64_t>(m_count) : 0);
}

void CoreStringTable::copyTo(std::vector<std::string> &strings) const {
  strings.clear();
  if (m_table == nullptr)
    return;
  strings.reserve(m_count > 0 ? static_cast<size_t>(m_count) : 0);
  for (int i = 0; i < m_count; ++i)
    strings.emplace_back(m_table[i] != nullptr ? m_table[i] : "");
}

void releaseCoreArray(void *block, const char *label) { zyrMemory_free(block, label); }

int compositeCodeOfType(int type) { return type >= 1 && type <= 6 ? type + 1 : 1; }

int compositeTypeOfCode(int code) { return code >= 2 && code <= 7 ? code - 1 : 0; }

std::string makeIndexedName(const std::string &name, int index) {
  return name + ":" + StringUtilities::toString(index);
}

std::string splitIndexedName(const std::string &name, int &index) {
  index = 0;
  if (name.empty())
    return std::string();
  const size_t colon = name.rfind(':');
  const std::string tail = colon == std::string::npos ? name : name.substr(colon + 1);
  std::istringstream reader(tail);
  int value = 0;
  // The whole tail must be the number; the smallest int has no predecessor to give.
  if (!(reader >> value) || !reader.eof() || value == INT_MIN)
    return std::string();
  index = value - 1;
  return colon == std::string::npos ? std::string() : name.substr(0, colon);
}

} // namespace boundary
} // namespace zyrapi
} // namespace qiv
