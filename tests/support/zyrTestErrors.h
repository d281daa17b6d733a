#ifndef ZYR_TEST_ERRORS_H
#define ZYR_TEST_ERRORS_H
// Captures the errors published through the foundation's error manager, for tests of the
// foundation and the layers above it (the lower layers do not publish there).
//
//   zyrtest::ErrorCapture errors;               // empties the manager now and at the end
//   EXPECT_EQ(store_call(...), 0);
//   EXPECT_EQ(errors.take(), (std::vector<std::string>{"10020: ..."}));
//   EXPECT_EQ(errors.published(), (std::vector<zyrtest::RaisedError>{{10020, "..."}}));
#include "zyrError.h"
#include "zyrErrorManager.h"
#include "zyrMemory.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace zyrtest {

struct RaisedError {
  int32_t code;
  std::string message;
  bool operator==(const RaisedError &other) const { return code == other.code && message == other.message; }
};
inline std::ostream &operator<<(std::ostream &stream, const RaisedError &error) {
  return stream << "{" << error.code << ", \"" << error.message << "\"}";
}

// While it lives, the manager is emptied at both ends and every published record is also noted
// (a handler that never consumes), so errors that a display or handler would hide are still seen.
class ErrorCapture {
public:
  ErrorCapture() {
    clear();
    zyrErrorManager_setErrorHandler(zyrErrorManager_get(), record, &m_previousHandler);
    m_previous = current();
    current() = this;
  }
  ~ErrorCapture() {
    current() = m_previous;
    zyrErrorManager_setErrorHandler(zyrErrorManager_get(), m_previousHandler, nullptr);
    clear();
  }
  ErrorCapture(const ErrorCapture &) = delete;
  ErrorCapture &operator=(const ErrorCapture &) = delete;

  static void clear() { zyrErrorManager_clearErrors(zyrErrorManager_get()); }

  static int32_t count() {
    int32_t n = 0;
    zyrErrorManager_getNoOfErrors(zyrErrorManager_get(), &n);
    return n;
  }

  // The newest held record, or NULL.
  static zyrError *last() { return zyrErrorManager_getLastError(zyrErrorManager_get()); }

  // The records the manager keeps, oldest first.
  static std::vector<RaisedError> held() {
    std::vector<RaisedError> list;
    int32_t n = 0;
    zyrError **errors = nullptr;
    zyrErrorManager_getErrors(zyrErrorManager_get(), &n, &errors);
    for (int32_t i = 0; i < n; ++i)
      list.push_back(raised(errors[i]));
    zyrMemory_free(errors, __func__);
    return list;
  }

  // The records published since the capture began, in publishing order (warnings included).
  const std::vector<RaisedError> &published() const { return m_published; }

  // The held records as "<code>: <message>"; the manager is emptied.
  static std::vector<std::string> take() {
    std::vector<std::string> messages;
    for (const RaisedError &error : held())
      messages.push_back(std::to_string(error.code) + ": " + error.message);
    clear();
    return messages;
  }

  // The codes of the held records; the manager is emptied.
  static std::vector<int32_t> takeCodes() {
    std::vector<int32_t> codes;
    for (const RaisedError &error : held())
      codes.push_back(error.code);
    clear();
    return codes;
  }

private:
  static RaisedError raised(const zyrError *error) {
    const char *message = zyrError_getMessage(error);
    return {zyrError_getCode(error), message != nullptr ? message : ""};
  }
  static ErrorCapture *&current() {
    static ErrorCapture *capture = nullptr;
    return capture;
  }
  static int record(zyrError *error) {
    if (current() != nullptr)
      current()->m_published.push_back(raised(error));
    return 0;
  }

  std::vector<RaisedError> m_published;
  zyrErrorHandler m_previousHandler = nullptr;
  ErrorCapture *m_previous = nullptr;
};

} // namespace zyrtest

#endif
