// Mesh selections owned by the host's objects. The objects alive are listed so that closing a
// database can end their selections first: a selection outliving its model would reach freed
// memory, and destroying it afterwards would leave a stale-handle error for the host's next call.
#include "ZYRSelection.h"

#include "ZYRAPI.h"
#include "ZYRAPIBoundary.h"

#include "zyrAPI.h"

#include <algorithm>
#include <set>
#include <vector>

namespace qiv {

namespace {

namespace boundary = zyrapi::boundary;

std::set<ZYRSelection *> &liveSelections() {
  static std::set<ZYRSelection *> *const live = new std::set<ZYRSelection *>();
  return *live;
}

} // namespace

ZYRSelection::ZYRSelection(const std::string &selection) : m_hSelection(-1), m_hModel(ZYRAPI::instance().getModelHandle()) {
  int32_t handle = -1;
  if (zyrSelection_create(m_hModel, selection.c_str(), &handle) != 1)
    boundary::throwQueued<zyrapi::zyr>("ZYRAPI", "ZYRSelection::create");
  m_hSelection = handle;
  liveSelections().insert(this);
}

ZYRSelection::~ZYRSelection() { release(); }

ZYRSelection::ZYRSelection(ZYRSelection &&other) noexcept : m_hSelection(other.m_hSelection), m_hModel(other.m_hModel) {
  other.m_hSelection = -1;
  liveSelections().erase(&other);
  if (m_hSelection != -1)
    liveSelections().insert(this);
}

ZYRSelection &ZYRSelection::operator=(ZYRSelection &&other) noexcept {
  if (this == &other)
    return *this;
  release();
  m_hSelection = other.m_hSelection;
  m_hModel = other.m_hModel;
  other.m_hSelection = -1;
  liveSelections().erase(&other);
  if (m_hSelection != -1)
    liveSelections().insert(this);
  return *this;
}

void ZYRSelection::release() noexcept {
  liveSelections().erase(this);
  if (m_hSelection == -1)
    return;
  zyrSelection_destroy(m_hSelection);
  m_hSelection = -1;
}

void ZYRSelection::releaseSelectionsOf(int modelHandle) {
  std::set<ZYRSelection *> &live = liveSelections();
  // Ended in the order of their handles (the order of creation), as a recorded session sees it,
  // not in the order of the objects' addresses.
  std::vector<ZYRSelection *> ending;
  for (auto i = live.begin(); i != live.end();) {
    if ((*i)->m_hModel == modelHandle) {
      ending.push_back(*i);
      i = live.erase(i);
    } else {
      ++i;
    }
  }
  std::sort(ending.begin(), ending.end(),
            [](const ZYRSelection *a, const ZYRSelection *b) { return a->m_hSelection < b->m_hSelection; });
  for (ZYRSelection *selection : ending) {
    zyrSelection_destroy(selection->m_hSelection);
    selection->m_hSelection = -1;
  }
}

void ZYRSelection::analyse(const std::string &analysis, std::vector<double> &values) const {
  int32_t count = 0;
  boundary::CoreArray<double> data("qiv::ZYRSelection::analyse");
  // An ended selection has handle -1, which the core refuses as a stale handle.
  if (zyrSelection_analyse(m_hSelection, analysis.c_str(), &count, data.out()) != 1)
    boundary::throwQueued<zyrapi::zyr>("ZYRAPI", "ZYRSelection::analyse");
  values = data.take(count);
}

} // namespace qiv
