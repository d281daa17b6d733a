#ifndef ZYR_PGT_H
#define ZYR_PGT_H
// qiv::PGT: questions a host can ask of a physics set-up written in VSN text, without a database.
// Load the lines, then ask for the rotation axis of a domain interface. Every failure throws
// qiv::pgt::error (class "PGT", type errorTypeError) carrying the physics reader's own text.
//
// An object owns its reader alone, so it cannot be copied.
#include "QIVError.h"
#include "TripletBase.h"
#include "zyrExport.h"

#include <string>
#include <vector>

namespace qiv {

namespace pgt {

// Derives from qiv::Error directly and adds no virtual operations to it.
class ZYR_EXPORT error : public qiv::Error {
public:
  error();
  error(const std::string &classText, const std::string &methodText, const std::string &message,
        qiv::errorType type);
  error(const error &other);
  error &operator=(const error &other);
  ~error() override;

protected:
  error(const std::string &ownName, const std::string &classText, const std::string &methodText,
        const std::string &message, qiv::errorType type);
};

} // namespace pgt

class ZYR_EXPORT PGT {
public:
  PGT();
  ~PGT();
  PGT(const PGT &) = delete;
  PGT &operator=(const PGT &) = delete;

  // Adds the lines, in order, as one VSN text to what was loaded before.
  void loadVSN(const std::vector<std::string> &lines);
  // Two points on the rotation axis of the named domain interface, in the length units given:
  // the axis' from and to points, or for a coordinate-frame axis the frame's origin and the point
  // one unit along that axis, both in base coordinates. On failure from and to are unchanged.
  void getInterfaceAxis(const std::string &interfaceName, const std::string &units, TripletBase<float> &from,
                        TripletBase<float> &to);

  class Impl;

private:
  Impl *m_impl;
};

} // namespace qiv

#endif
