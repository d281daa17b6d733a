#ifndef ZYR_TEST_ERRORS_H
#define ZYR_TEST_ERRORS_H
// Captures the errors published through the foundation's error manager, for tests of the
// foundation and the layers above it (the lower layers do not publish there).
//
//   zyrtest::ErrorCapture errors;               // empties the manager now and at the end
//   EXPECT_EQ(store_call(...), 0);
//   EXPECT_EQ(errors.take(), (std::vector<std::string>{"10020: ..."}));
#include "zyrError.h"
#include "zyrErrorManager.h"
#include "zyrMemory.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zyrtest {

class ErrorCapture {
public:
  ErrorCapture() { clear(); }
  ~ErrorCapture() { clear(); }
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

  // The kept records, oldest first, as "<code>: <message>"; the manager is emptied.
  static std::vector<std::string> take() {
    std::vector<std::string> messages;
    int32_t n = 0;
    zyrError **errors = nullptr;
    zyrErrorManager_getErrors(zyrErrorManager_get(), &n, &errors);
    for (int32_t i = 0; i < n; ++i) {
      const char *message = zyrError_getMessage(errors[i]);
      messages.push_back(std::to_string(zyrError_getCode(errors[i])) + ": " + (message != nullptr ? message : ""));
    }
    zyrMemory_free(errors, __func__);
    clear();
    return messages;
  }

  // The codes of the kept records, oldest first; the manager is emptied.
  static std::vector<int32_t> takeCodes() {
    std::vector<int32_t> codes;
    int32_t n = 0;
    zyrError **errors = nullptr;
    zyrErrorManager_getErrors(zyrErrorManager_get(), &n, &errors);
    for (int32_t i = 0; i < n; ++i)
      codes.push_back(zyrError_getCode(errors[i]));
    zyrMemory_free(errors, __func__);
    clear();
    return codes;
  }
};

} // namespace zyrtest

#endif
