// The framework's exception base and the text forms of its messages.
#include "QIVError.h"

#include <cstdint>

namespace qiv {

namespace {

const wchar_t kReplacement = 0xFFFD;

void appendCodePoint(std::wstring &out, uint32_t code) {
  if (sizeof(wchar_t) >= 4 || code < 0x10000) {
    out.push_back(static_cast<wchar_t>(code));
    return;
  }
  code -= 0x10000;
  out.push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
  out.push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
}

} // namespace

const char *errorTypeName(errorType type) {
  switch (type) {
  case errorTypeInformation:
    return "Information";
  case errorTypeDebug:
    return "Debug";
  case errorTypeError:
    return "Error";
  case errorTypeWarning:
    return "Warning";
  }
  return "Message";
}

std::string formatErrorText(errorType type, const std::string &classText,
                            const std::string &methodText, const std::string &message) {
  std::string text = errorTypeName(type);
  if (!classText.empty() || !methodText.empty()) {
    text += " in ";
    text += classText;
    if (!classText.empty() && !methodText.empty())
      text += "::";
    text += methodText;
  }
  text += ": ";
  text += message;
  return text;
}

std::wstring toWide(const std::string &text) {
  std::wstring out;
  out.reserve(text.size());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      out.push_back(static_cast<wchar_t>(lead));
      ++i;
      continue;
    }
    size_t length = 0;
    uint32_t code = 0, least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, code = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, code = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, code = lead & 0x07, least = 0x10000;
    }
    bool valid = length != 0 && i + length <= n;
    for (size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80)
        valid = false;
      else
        code = (code << 6) | (next & 0x3F);
    }
    if (valid && (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)))
      valid = false;
    if (!valid) {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    appendCodePoint(out, code);
    i += length;
  }
  return out;
}

Error::Error() : m_name("Error"), m_type(errorTypeError), m_code(0) {}

Error::Error(const std::string &ownName, const std::string &classText,
             const std::string &methodText, const std::string &message, errorType type, int code)
    : m_name(ownName), m_class(classText), m_method(methodText), m_message(message), m_type(type),
      m_code(code) {}

Error::Error(const Error &other) = default;
Error &Error::operator=(const Error &other) = default;
Error::~Error() = default;

errorType Error::getType() const { return m_type; }

void Error::write(std::wostream &stream) const { stream << errorMessage() << L'\n'; }

const std::string &Error::getClass() const { return m_class; }

const std::string &Error::getMethod() const { return m_method; }

std::wstring Error::errorMessage() const {
  return toWide(formatErrorText(m_type, m_class, m_method, m_message));
}

std::wstring Error::getMessage() const { return toWide(m_message); }

} // namespace qiv
