#ifndef ZYR_ZYRSELECTION_H
#define ZYR_ZYRSELECTION_H
// qiv::ZYRSelection: a mesh selection on the model of the open database, and the numbers a host
// asks of the selected mesh:
//
//   qiv::ZYRSelection selection("Inlet");
//   std::vector<double> values;
//   selection.analyse("area", values);
//
// A selection is owned by one object: it can be moved, not copied. Closing the database (through
// qiv::ZYRAPI) ends every selection made on it; such an object stays safe to destroy, and asking
// it for an analysis then throws.
#include "ZYRAPIExceptions.h"
#include "zyrExport.h"

#include <string>
#include <vector>

namespace qiv {

class ZYR_EXPORT ZYRSelection {
public:
  // Selects what the text names on the current model; throws zyrapi::zyr ("ZYRSelection::create").
  explicit ZYRSelection(const std::string &selection);
  ~ZYRSelection();
  ZYRSelection(ZYRSelection &&other) noexcept;
  ZYRSelection &operator=(ZYRSelection &&other) noexcept;
  ZYRSelection(const ZYRSelection &) = delete;
  ZYRSelection &operator=(const ZYRSelection &) = delete;

  // The analysis's numbers replace values; on failure (zyrapi::zyr, "ZYRSelection::analyse")
  // values keeps what it held.
  void analyse(const std::string &analysis, std::vector<double> &values) const;

  // Ends every selection made on the model (the database is closing); their objects stay valid.
  static void releaseSelectionsOf(int modelHandle);

private:
  void release() noexcept;

  int m_hSelection;
  int m_hModel;
};

} // namespace qiv

#endif
