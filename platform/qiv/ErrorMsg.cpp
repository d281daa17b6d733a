// A message for the host that travels by value.
#include "ErrorMsg.h"

namespace qiv {

ErrorMsg::ErrorMsg(const std::string &classText, const std::string &methodText,
                   const std::string &message, errorType type)
    : m_class(classText), m_method(methodText), m_message(message), m_type(type) {}

std::string ErrorMsg::toString() const {
  return formatErrorText(m_type, m_class, m_method, m_message);
}

} // namespace qiv
