// The mesh reader's .msh parser and the model built from what it read, on any bytes: either
// a message or a model, never a crash, a hang or an allocation beyond the input's size. Each input
// is read twice, on one thread and split among three (however little work there is, in tiny
// partitions): the two give the same message, or the same mesh and model.
#include "KelvoModel.h"
#include "KelvoThreads.h"
#include "MshFile.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

namespace {

struct Read {
  MshFile *m_mesh = MshFile_new();
  KelvoModel *m_model = KelvoModel_new();
  std::string m_error;
  bool m_built = false;
  ~Read() {
    KelvoModel_delete(m_model);
    MshFile_delete(m_mesh);
  }
};

void read(const uint8_t *data, size_t size, int32_t threads, Read *out) {
  const int32_t threadsBefore = KelvoThreads_set(threads);
  const int64_t fromBefore = KelvoThreads_setFrom(threads > 1 ? 1 : INT64_MAX);
  const int64_t partitionBefore = KelvoModel_setPartitionSize(threads > 1 ? 3 : 16384);
  if (MshFile_parse(out->m_mesh, reinterpret_cast<const char *>(data), size, &out->m_error)) {
    out->m_built = KelvoModel_build(out->m_model, out->m_mesh, &out->m_error) != 0;
    if (!out->m_built && out->m_error.empty())
      __builtin_trap();
  } else if (out->m_error.empty()) {
    __builtin_trap();
  }
  KelvoModel_setPartitionSize(partitionBefore);
  KelvoThreads_setFrom(fromBefore);
  KelvoThreads_set(threadsBefore);
}

template <class A, class B> bool same(const A &a, const B &b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

bool sameMesh(const MshFile &a, const MshFile &b) {
  auto run = [](const MshElementRun &r) {
    return std::make_tuple(r.m_first, r.m_count, r.m_firstCorner, r.m_kind, r.m_corners,
                           r.m_physical, r.m_entity);
  };
  bool runs = a.m_elementRuns.size() == b.m_elementRuns.size();
  for (size_t r = 0; runs && r < a.m_elementRuns.size(); ++r)
    runs = run(a.m_elementRuns[r]) == run(b.m_elementRuns[r]);
  return runs && same(a.m_nodeTags, b.m_nodeTags) && same(a.m_coordinates, b.m_coordinates) &&
         same(a.m_elementTags, b.m_elementTags) && same(a.m_elementNodes, b.m_elementNodes) &&
         a.m_reduced == b.m_reduced && a.m_multiplePhysicals == b.m_multiplePhysicals;
}

// Equal sizes, and each pair of elements equal in the fields `fields` ties.
template <class T, class Fields>
bool sameEach(const std::vector<T> &a, const std::vector<T> &b, Fields fields) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (fields(a[i]) != fields(b[i]))
      return false;
  return true;
}

bool sameModel(const KelvoModel &a, const KelvoModel &b) {
  return a.m_coordinates == b.m_coordinates && a.m_warnings == b.m_warnings &&
         sameEach(a.m_volumes, b.m_volumes,
                  [](const KelvoVolume &x) { return std::tie(x.m_name, x.m_elementSets, x.m_surfaces); }) &&
         sameEach(a.m_surfaces, b.m_surfaces,
                  [](const KelvoSurface &x) {
                    return std::tie(x.m_name, x.m_volume, x.m_partner, x.m_faceSets, x.m_noOfFaces);
                  }) &&
         sameEach(a.m_elementSets, b.m_elementSets,
                  [](const KelvoElementSet &x) { return std::tie(x.m_kind, x.m_volume, x.m_vertices); }) &&
         sameEach(a.m_faceSets, b.m_faceSets,
                  [](const KelvoFaceSet &x) { return std::tie(x.m_elementSet, x.m_elements, x.m_faces); }) &&
         sameEach(a.m_composites, b.m_composites,
                  [](const auto &x) { return std::tie(x.m_name, x.m_components); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Read one, three;
  read(data, size, 1, &one);
  read(data, size, 3, &three);
  if (one.m_error != three.m_error || one.m_built != three.m_built ||
      !sameMesh(*one.m_mesh, *three.m_mesh) || !sameModel(*one.m_model, *three.m_model))
    __builtin_trap();
  return 0;
}
