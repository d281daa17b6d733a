#ifndef QIV_ERROR_MSG_H
#define QIV_ERROR_MSG_H
// qiv::ErrorMsg: one message for the host that is not thrown, such as the warnings of a
// successful call handed to the progress reporter. It carries the same texts as qiv::Error.
#include "zyrExport.h"
#include "QIVError.h"

#include <string>

namespace qiv {

class ZYR_EXPORT ErrorMsg {
public:
  ErrorMsg(const std::string &classText, const std::string &methodText,
           const std::string &message, errorType type);

  const std::string &getClass() const { return m_class; }
  const std::string &getMethod() const { return m_method; }
  const std::string &getMessage() const { return m_message; }
  errorType getType() const { return m_type; }
  // formatErrorText of the four values: "Warning in ZYRAPI::openDB: ...".
  std::string toString() const;

private:
  std::string m_class;
  std::string m_method;
  std::string m_message;
  errorType m_type;
};

} // namespace qiv

#endif
