#ifndef ZYR_MESH_BENCH_SUPPORT_H
#define ZYR_MESH_BENCH_SUPPORT_H
// What the mesh benchmarks share: a database in a scratch directory, tracked copies of arrays
// (the mesh records take ownership of what they are given) and a block of hexahedra.
#include "Repository.h"
#include "Units.h"
#include "zyrMemory.h"
#include "zyrMeshLayer.h"
#include "zyrTestSupport.h"
#include "zyrTopologyLayer.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace zyrbench {

// The layers made ready (with the built-in unit table: no units file is needed) and a new
// database in a scratch directory, closed at the end.
class ScratchRepository {
public:
  explicit ScratchRepository(const char *prefix) : m_dir(prefix) {
    setenv("ZYR_USE_LOCAL_UNITS", "1", 0);
    Units_areAvailable();
    zyrTopologyLayer_initialise();
    zyrMeshLayer_initialise();
    m_repository = Repository_new(m_dir.file("db").c_str());
  }
  ~ScratchRepository() {
    if (m_repository != nullptr)
      Repository_close(m_repository, -1);
  }
  ScratchRepository(const ScratchRepository &) = delete;
  ScratchRepository &operator=(const ScratchRepository &) = delete;

  zyrtest::ScratchDir m_dir;
  Repository *m_repository = nullptr;
};

// A tracked copy (never empty: an empty list still gets one element).
template <class T> T *tracked(const std::vector<T> &values) {
  T *array = zyrMemory_allocateArray<T>(static_cast<int64_t>(std::max<size_t>(values.size(), 1)), "bench");
  std::copy(values.begin(), values.end(), array);
  return array;
}

// nx x ny x nz hexahedra of size h from (x0, 0, 0); vertex (i, j, k) = i + (nx+1)(j + (ny+1) k).
struct HexGrid {
  int32_t nx, ny, nz;
  double x0;
  double h = 1.0;
  int32_t vertex(int32_t i, int32_t j, int32_t k) const { return i + (nx + 1) * (j + (ny + 1) * k); }
  std::vector<double> coordinates() const {
    std::vector<double> xyz;
    xyz.reserve(3 * static_cast<size_t>(nx + 1) * (ny + 1) * (nz + 1));
    for (int32_t k = 0; k <= nz; ++k)
      for (int32_t j = 0; j <= ny; ++j)
        for (int32_t i = 0; i <= nx; ++i)
          xyz.insert(xyz.end(), {x0 + i * h, j * h, k * h});
    return xyz;
  }
  // Native vertex order: the bottom face, then the top.
  std::vector<int32_t> hexahedra() const {
    std::vector<int32_t> list;
    list.reserve(8 * static_cast<size_t>(nx) * ny * nz);
    for (int32_t k = 0; k < nz; ++k)
      for (int32_t j = 0; j < ny; ++j)
        for (int32_t i = 0; i < nx; ++i)
          for (int32_t dk = 0; dk < 2; ++dk)
            list.insert(list.end(), {vertex(i, j, k + dk), vertex(i + 1, j, k + dk), vertex(i + 1, j + 1, k + dk),
                                     vertex(i, j + 1, k + dk)});
    return list;
  }
};

} // namespace zyrbench

#endif
