#ifndef ZYR_CLASSES_TEST_SUPPORT_H
#define ZYR_CLASSES_TEST_SUPPORT_H
// Shared by the tests of the exported classes: an empty error queue around each test, errors
// queued the way the core queues them, and the messages that reach the host's progress reporter.
#include "ErrorProgressReporter.h"
#include "ZYRAPI.h"
#include "zyrTestErrors.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zyrtest {

inline int32_t queuedCount() { return ErrorCapture::count(); }

// The codes of the queue, which keeps them.
inline std::vector<int32_t> queuedCodes() {
  std::vector<int32_t> codes;
  int32_t n = 0;
  zyrError **errors = nullptr;
  zyrErrorManager_getErrors(zyrErrorManager_get(), &n, &errors);
  for (int32_t i = 0; i < n; ++i)
    codes.push_back(zyrError_getCode(errors[i]));
  zyrMemory_free(errors, __func__);
  return codes;
}

// Queued and never published, as several core operations leave their errors.
inline void queueError(int32_t code, const std::string &message) {
  zyrError *error = zyrError_new(code, "test", __FILE__, __LINE__);
  zyrError_addMessage(error, "%s", message.c_str());
}

// Collects what the progress reporter is handed while it lives.
class ReportedMessages {
public:
  ReportedMessages() {
    m_previous = qiv::ErrorProgressReporter::instance().setHandler(
        [this](const qiv::ErrorMsg &message) { m_messages.push_back(message); });
  }
  ~ReportedMessages() { qiv::ErrorProgressReporter::instance().setHandler(m_previous); }
  ReportedMessages(const ReportedMessages &) = delete;
  ReportedMessages &operator=(const ReportedMessages &) = delete;
  const std::vector<qiv::ErrorMsg> &messages() const { return m_messages; }

private:
  qiv::ErrorProgressReporter::Handler m_previous;
  std::vector<qiv::ErrorMsg> m_messages;
};

class QueueTest : public ::testing::Test {
protected:
  std::unique_ptr<ErrorCapture> m_errors{new ErrorCapture()};
};

} // namespace zyrtest

namespace qiv {
// The handles the object keeps.
class ZYRAPIInspector {
public:
  static int database() { return ZYRAPI::instance().m_hDatabase; }
  static int model() { return ZYRAPI::instance().m_hModel; }
  static int checkpoint() { return ZYRAPI::instance().m_checkpoint; }
  static std::string errorDesc() { return ZYRAPI::instance().getErrorDesc(); }
  static bool errorIsBadLocation() { return ZYRAPI::instance().errorIsBadLocation(); }
  // A second object given the instance's handles by assignment, then destroyed: the handles it
  // held, as {database, model, checkpoint}.
  static std::vector<int> assignedCopy() {
    ZYRAPI *copy = new ZYRAPI();
    *copy = ZYRAPI::instance();
    const std::vector<int> handles{copy->m_hDatabase, copy->m_hModel, copy->m_checkpoint};
    delete copy;
    return handles;
  }
};
} // namespace qiv

#endif
