// The host's points and connectivity for the renumbering: whatever they hold (ties, repeats,
// non-finite coordinates, far-away points), the k-d tree must give the band scan's answers, and
// the class must refuse indices outside the source points without touching memory it does not own.
#include "PointMatch.h"
#include "ZYRAPIExceptions.h"
#include "ZYRGeometricAlgorithms.h"

#include <cstdlib>
#include <cstring>

namespace pm = qiv::zyrapi::pointmatch;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // Byte 0: source count, byte 1: target count; then points as small integers scaled (so that ties
  // are common) or raw floats; the rest are connectivity entries.
  if (size < 3)
    return 0;
  const size_t ns = data[0] % 48;
  const size_t nt = data[1] % 48;
  const bool raw = (data[2] & 1) != 0;
  size_t at = 3;
  auto point = [&](pm::Point &p) {
    float v[3] = {0, 0, 0};
    for (float &x : v) {
      if (raw && at + 4 <= size) {
        std::memcpy(&x, data + at, 4);
        at += 4;
      } else if (at < size) {
        x = static_cast<float>(static_cast<int8_t>(data[at++])) * 0.25f;
      }
    }
    p = {v[0], v[1], v[2]};
  };
  std::vector<pm::Point> source(ns);
  std::vector<pm::Point> target(nt);
  for (pm::Point &p : source)
    point(p);
  for (pm::Point &p : target)
    point(p);
  std::vector<int32_t> connectivity;
  while (at < size)
    connectivity.push_back(static_cast<int8_t>(data[at++]));

  qiv::TripletQIVVector s;
  qiv::TripletQIVVector t;
  for (const pm::Point &p : source)
    s.push_back(qiv::TripletBase<float>(p.x, p.y, p.z));
  for (const pm::Point &p : target)
    t.push_back(qiv::TripletBase<float>(p.x, p.y, p.z));
  qiv::IntQIVVector c;
  for (int32_t v : connectivity)
    c.push_back(v);
  qiv::ZYRGeometricAlgorithms algorithms;
  bool valid = true;
  for (int32_t v : connectivity)
    valid = valid && v >= 0 && static_cast<size_t>(v) < ns;
  try {
    algorithms.reorderConnectivityVector(s, t, c);
  } catch (const qiv::zyrapi::zyr &) {
    if (valid && !t.empty())
      std::abort();
    return 0;
  }
  if (!valid && !t.empty())
    std::abort();
  if (!valid)
    return 0;
  std::vector<int32_t> byScan = connectivity;
  pm::reorderByScan(source, target, byScan.data(), byScan.size());
  for (size_t i = 0; i < byScan.size(); ++i)
    if (byScan[i] != c[i])
      std::abort();
  return 0;
}
