// The exception classes: each passes its own name to qiv::Error, and the code of the core's error
// (0 when none is given).
#include "ZYRAPIExceptions.h"

namespace qiv {
namespace zyrapi {

error::error() = default;
error::error(const std::string &classText, const std::string &methodText, const std::string &message,
             qiv::errorType type)
    : qiv::Error("zyrapi::error", classText, methodText, message, type, 0) {}
error::error(const std::string &classText, const std::string &methodText, const std::string &message,
             qiv::errorType type, int code)
    : qiv::Error("zyrapi::error", classText, methodText, message, type, code) {}
error::error(const std::string &ownName, const std::string &classText, const std::string &methodText,
             const std::string &message, qiv::errorType type, int code)
    : qiv::Error(ownName, classText, methodText, message, type, code) {}
error::error(const error &other) = default;
error &error::operator=(const error &other) = default;
error::~error() = default;

#define ZYRAPI_EXCEPTION_CLASS(cls, ownName)                                                                 \
  cls::cls() = default;                                                                                      \
  cls::cls(const std::string &classText, const std::string &methodText, const std::string &message,         \
           qiv::errorType type)                                                                              \
      : error(ownName, classText, methodText, message, type) {}                                              \
  cls::cls(const std::string &classText, const std::string &methodText, const std::string &message,         \
           qiv::errorType type, int code)                                                                    \
      : error(ownName, classText, methodText, message, type, code) {}                                        \
  cls::cls(const cls &other) = default;                                                                      \
  cls &cls::operator=(const cls &other) = default;                                                           \
  cls::~cls() = default;

ZYRAPI_EXCEPTION_CLASS(zyr, "zyrapi::zyr")
ZYRAPI_EXCEPTION_CLASS(ratlas, "zyrapi::ratlas")
ZYRAPI_EXCEPTION_CLASS(affine3D, "zyrapi::affine3D")
ZYRAPI_EXCEPTION_CLASS(memory, "zyrapi::memory")

#undef ZYRAPI_EXCEPTION_CLASS

} // namespace zyrapi
} // namespace qiv
