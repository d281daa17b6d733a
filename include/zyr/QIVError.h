#ifndef QIV_ERROR_H
#define QIV_ERROR_H
// qiv::Error, the base of every exception that the exported classes throw, and the error types
// of the framework. An Error keeps the name of its own class ("zyrapi::zyr"), the class and method
// texts of the throwing code as the host sees them, the message (UTF-8), an error type and a
// code. The host reads them through the virtual operations, whose order is part of the binary
// interface: destructor, getType, write, getClass, getMethod, errorMessage, getMessage. Keep it.
//
// Wide texts are std::wstring (wchar_t), the wide character type of this platform; messages are
// decoded from UTF-8, a byte that is not part of a valid sequence becoming U+FFFD.
#include "zyrExport.h"
#include <ostream>
#include <string>

namespace qiv {

// What a message is. The values are bits so that a host can filter by a mask; exceptions carry
// errorTypeError and warnings handed to the progress reporter errorTypeWarning.
enum errorType {
  errorTypeInformation = 1,
  errorTypeDebug = 2,
  errorTypeError = 4,
  errorTypeWarning = 8
};

// "Information", "Debug", "Error", "Warning"; "Message" for any other value.
ZYR_EXPORT const char *errorTypeName(errorType type);

// The one-line text of a message: "<type name> in <class>::<method>: <message>". Without a
// method the place is the class alone, without a class the method alone, and without either the
// text is "<type name>: <message>".
ZYR_EXPORT std::string formatErrorText(errorType type, const std::string &classText,
                                       const std::string &methodText, const std::string &message);

// UTF-8 to wide text; invalid, overlong or truncated sequences and surrogate code points give
// U+FFFD per offending byte. Where wchar_t is 16 bits, characters above U+FFFF become pairs.
ZYR_EXPORT std::wstring toWide(const std::string &text);

class ZYR_EXPORT Error {
public:
  // Own name "Error", empty texts, type errorTypeError, code 0.
  Error();
  Error(const Error &other);
  Error &operator=(const Error &other);
  virtual ~Error();

  virtual errorType getType() const;
  // Writes errorMessage() and a line end.
  virtual void write(std::wostream &stream) const;
  virtual const std::string &getClass() const;
  virtual const std::string &getMethod() const;
  // The whole text as formatErrorText makes it, wide.
  virtual std::wstring errorMessage() const;
  // The message alone, wide.
  virtual std::wstring getMessage() const;

  // Not virtual, so the table above stays as it is.
  const std::string &getName() const { return m_name; }
  const std::string &getText() const { return m_message; }
  int getCode() const { return m_code; }

protected:
  Error(const std::string &ownName, const std::string &classText, const std::string &methodText,
        const std::string &message, errorType type, int code);

private:
  std::string m_name;
  std::string m_class;
  std::string m_method;
  std::string m_message;
  errorType m_type;
  int m_code;
};

} // namespace qiv

#endif
