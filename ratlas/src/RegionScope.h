// Two small helpers of the region-atlas library's operations: a re-entrancy flag that is set for
// exactly the extent of one call (so a nested call of the same operation can do nothing and
// every way out clears it), and a way to run clean-up after a failure without the clean-up's
// own statuses replacing the failure being reported.
#ifndef REGION_SCOPE_H
#define REGION_SCOPE_H

#include "RegionStatus.h"

class RegionReentryGuard {
 public:
  explicit RegionReentryGuard(bool& flag) : m_flag(flag) { m_flag = true; }
  ~RegionReentryGuard() { m_flag = false; }
  RegionReentryGuard(const RegionReentryGuard&) = delete;
  RegionReentryGuard& operator=(const RegionReentryGuard&) = delete;

 private:
  bool& m_flag;
};

// Runs cleanup() and returns the failure as it was before it.
template <class Cleanup>
RegionStatus* RegionStatus_keepAcross(RegionStatus* failure, Cleanup cleanup) {
  int saved = RegionStatus_isError(failure) ? RegionStatus_save(failure) : 0;
  cleanup();
  if (saved) return RegionStatus_restore();
  return failure;
}

#endif
