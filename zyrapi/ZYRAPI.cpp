// The ZYRAPI object, its error bridge and its nested records.
#include "ZYRAPI.h"

#include "ZYRAPIBoundary.h"

namespace qiv {

ZYRAPI *ZYRAPI::m_instance = nullptr;

ZYRAPI &ZYRAPI::instance() {
  // Never destroyed: hosts call the library from their own exit handlers.
  if (m_instance == nullptr)
    m_instance = new ZYRAPI();
  return *m_instance;
}

ZYRAPI::ZYRAPI() : m_hDatabase(-1), m_hModel(-1), m_checkpoint(0) {}

ZYRAPI::~ZYRAPI() = default;

ZYRAPI &ZYRAPI::operator=(const ZYRAPI &other) {
  m_hDatabase = other.m_hDatabase;
  m_hModel = other.m_hModel;
  m_checkpoint = other.m_checkpoint;
  return *this;
}

bool ZYRAPI::isDBOpen() const { return m_hDatabase != -1; }

int ZYRAPI::getModelHandle() const { return m_hModel; }

std::string ZYRAPI::getErrorDesc() const { return zyrapi::boundary::takeErrorText(); }

bool ZYRAPI::errorIsBadLocation() const { return zyrapi::boundary::takeBadLocationErrors(); }

void ZYRAPI::reportErrors(int result, const std::string &method, bool reportWarnings,
                          bool tolerateBadLocation) const {
  zyrapi::boundary::report(result, method, reportWarnings, tolerateBadLocation);
}

// ---- AxisInfo ----

ZYRAPI::AxisInfo::AxisInfo() : rootX(0), rootY(0), rootZ(0), tipX(0), tipY(0), tipZ(0), units("m") {}
ZYRAPI::AxisInfo::AxisInfo(const AxisInfo &other) = default;
ZYRAPI::AxisInfo &ZYRAPI::AxisInfo::operator=(const AxisInfo &other) = default;

// ---- CompositeDef ----

ZYRAPI::CompositeDef::CompositeDef() : type(0) {}
ZYRAPI::CompositeDef::CompositeDef(const CompositeDef &other) = default;
ZYRAPI::CompositeDef &ZYRAPI::CompositeDef::operator=(const CompositeDef &other) = default;
ZYRAPI::CompositeDef::~CompositeDef() = default;

bool ZYRAPI::CompositeDef::operator==(const CompositeDef &other) const {
  return type == other.type && name == other.name && componentsA == other.componentsA &&
         componentsB == other.componentsB;
}

bool ZYRAPI::CompositeDef::operator!=(const CompositeDef &other) const { return !(*this == other); }

// ---- PrimitiveDef ----

ZYRAPI::PrimitiveDef::PrimitiveDef() : type(0) {}
ZYRAPI::PrimitiveDef::PrimitiveDef(const PrimitiveDef &other) = default;
ZYRAPI::PrimitiveDef &ZYRAPI::PrimitiveDef::operator=(const PrimitiveDef &other) = default;
ZYRAPI::PrimitiveDef::~PrimitiveDef() = default;

} // namespace qiv
