// The physics-reading class over one reader of the physics-reading interface.
#include "PGT.h"

#include "QIVMessage.h"
#include "pgtapi.h"

#include <climits>

namespace qiv {

namespace pgt {

error::error() = default;
error::error(const std::string &classText, const std::string &methodText, const std::string &message,
             qiv::errorType type)
    : qiv::Error("pgt::error", classText, methodText, message, type, 0) {}
error::error(const std::string &ownName, const std::string &classText, const std::string &methodText,
             const std::string &message, qiv::errorType type)
    : qiv::Error(ownName, classText, methodText, message, type, 0) {}
error::error(const error &other) = default;
error &error::operator=(const error &other) = default;
error::~error() = default;

} // namespace pgt

namespace {

const char *const kClass = "PGT";

std::string readerError(pgtHandle *handle) {
  const char *text = nullptr;
  pgtGetError(handle, &text);
  return text != nullptr ? text : "";
}

} // namespace

class PGT::Impl {
public:
  Impl() : m_handle(pgtNew()) {}
  pgtHandle *m_handle;
};

PGT::PGT() : m_impl(new Impl()) {
  if (m_impl->m_handle == nullptr) {
    delete m_impl;
    m_impl = nullptr;
    throw pgt::error(kClass, "PGT", "Error initialising pgtApi", errorTypeError);
  }
}

PGT::~PGT() {
  if (m_impl == nullptr)
    return;
  pgtDelete(m_impl->m_handle);
  m_impl->m_handle = nullptr;
  delete m_impl;
}

void PGT::loadVSN(const std::vector<std::string> &lines) {
  // The reader counts lines in an int; more than that is not one text it can hold.
  if (lines.size() > static_cast<size_t>(INT_MAX))
    throw pgt::error(kClass, "loadVSN", _("Error loading vsn in pgtAPI: %s", "too many lines"), errorTypeError);
  std::vector<const char *> pointers;
  pointers.reserve(lines.size());
  for (const std::string &line : lines)
    pointers.push_back(line.c_str());
  if (pgtLoadVSN(m_impl->m_handle, pointers.data(), static_cast<int>(pointers.size())) == 0)
    return;
  throw pgt::error(kClass, "loadVSN", _("Error loading vsn in pgtAPI: %s", readerError(m_impl->m_handle).c_str()),
                   errorTypeError);
}

void PGT::getInterfaceAxis(const std::string &interfaceName, const std::string &units, TripletBase<float> &from,
                           TripletBase<float> &to) {
  pgtHandle *handle = m_impl->m_handle;
  char *iface = pgtInterfaceByName(handle, interfaceName.c_str());
  if (iface != nullptr) {
    double first[3] = {0.0, 0.0, 0.0}, second[3] = {0.0, 0.0, 0.0};
    const int result = pgtInterfaceAxis(handle, iface, units.c_str(), first, second);
    pgtFreeInterfaceHandle(handle, iface);
    if (result == 1) {
      from.set(static_cast<float>(first[0]), static_cast<float>(first[1]), static_cast<float>(first[2]));
      to.set(static_cast<float>(second[0]), static_cast<float>(second[1]), static_cast<float>(second[2]));
      return;
    }
  }
  throw pgt::error(kClass, "getInterfaceAxis",
                   _("Error extracting axis data from pgtAPI: %s", readerError(handle).c_str()), errorTypeError);
}

} // namespace qiv
