// The definition-file writer. Every ratio is this library's time over the baseline's:
//
// BM_SurfaceGrouping: G/KSFVL built by the writer's counting sort (ours) beside the per-volume
// scan it replaces (the baseline), both grouping the same 12,000 surfaces of 2,000 volumes; the
// two groupings must agree. Counter ratio_scan = counting-sort time / scan time.
//
// BM_MeshOnlyExport: a mesh-only write of a problem of 2,000 volumes with 6 surfaces each (every
// surface its own boundary patch, every volume a subdomain) beside a raw write of the same data
// sets (the written values read back, then written through the same typed writers into a new
// file and flushed, as the writer flushes its own). Counter ratio_raw = writer time / raw time.
// No meshes: the zone map and topology side alone.
//
// BM_MeshOnlyExportCells: a mesh-only write of one block of N x N x N hexahedra (N = 100: one
// million cells) with its six sides as surfaces, beside a raw write of the same data sets.
// Counter ratio_raw = writer time / raw time.
#include "Assembly.h"
#include "Boundary.h"
#include "DefFile.h"
#include "DefWriter.h"
#include "ElementMesh.h"
#include "ElementSet.h"
#include "ElementTopology.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "Mesh.h"
#include "Vertices.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrMeshLayer.h"
#include "Region.h"
#include "Repository.h"
#include "Shell.h"
#include "Topology.h"
#include "zyrBenchSupport.h"
#include "zyrTestSupport.h"
#include "zyrTopologyLayer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

void scan(int32_t nvl, int32_t nsf, const int32_t *volumeOf, int32_t *grouped, int32_t *ip) {
  int32_t at = 0;
  ip[0] = 1;
  for (int32_t v = 1; v <= nvl; ++v) {
    for (int32_t s = 0; s < nsf; ++s)
      if (volumeOf[s] == v)
        grouped[at++] = s + 1;
    ip[v] = at + 1;
  }
}

void BM_SurfaceGrouping(benchmark::State &state) {
  const int32_t nvl = 2000, nsf = 12000;
  std::mt19937 random(3);
  std::vector<int32_t> volumeOf(static_cast<size_t>(nsf)), grouped(static_cast<size_t>(nsf)),
      ip(static_cast<size_t>(nvl) + 1), scanned(grouped.size()), scannedIp(ip.size());
  for (int32_t &v : volumeOf)
    v = 1 + int32_t(random() % nvl);
  double fast = 0.0, slow = 0.0;
  for (auto _ : state) {
    Clock::time_point a = Clock::now();
    DefWriter_groupSurfacesByVolume(nvl, nsf, volumeOf.data(), grouped.data(), ip.data());
    Clock::time_point b = Clock::now();
    scan(nvl, nsf, volumeOf.data(), scanned.data(), scannedIp.data());
    Clock::time_point c = Clock::now();
    benchmark::DoNotOptimize(grouped.data());
    benchmark::DoNotOptimize(scanned.data());
    fast += seconds(a, b);
    slow += seconds(b, c);
  }
  if (grouped != scanned || ip != scannedIp)
    state.SkipWithError("the counting sort and the scan group the surfaces differently");
  else if (slow > 0.0)
    zyrbench::reportTotals(state, "grouping", fast, "scan", slow, 3);
}

Topology *s_topology = nullptr;
Mesh *s_mesh = nullptr;
Topology *topologyOf(const Model *) { return s_topology; }
Mesh *noMesh(const Model *) { return nullptr; }
Mesh *meshOf(const Model *) { return s_mesh; }

// The data sets of a file, read into memory for a raw write of the same values.
struct Stored {
  std::string m_what, m_where, m_type;
  std::vector<int32_t> m_ints;
  std::vector<double> m_doubles;
  std::vector<float> m_floats;
  std::vector<char> m_chars;
  std::vector<std::string> m_strings;
};

std::vector<Stored> readAll(DefFile *file) {
  int32_t count = 0;
  char **whats = nullptr, **wheres = nullptr;
  int32_t *whens = nullptr;
  DefFile_match(file, "*", "*", -1, 0, &count, &whats, &wheres, &whens);
  std::vector<Stored> all;
  for (int32_t i = 0; i < count; ++i) {
    Stored d{whats[i], wheres[i], "", {}, {}, {}, {}, {}};
    char *type = nullptr;
    DefFile_getDataType(file, whats[i], wheres[i], 0, &type);
    d.m_type = type != nullptr ? type : "";
    zyrCString_free(type);
    int32_t n = 0;
    if (d.m_type.find("INTR") != std::string::npos) {
      int32_t *v = nullptr;
      if (DefFile_readInts(file, whats[i], wheres[i], 0, &v, &n))
        d.m_ints.assign(v, v + n);
      zyrMemory_free(v, "bench");
    } else if (d.m_type.find("DBLE") != std::string::npos) {
      double *v = nullptr;
      if (DefFile_readDoubles(file, whats[i], wheres[i], 0, &v, &n))
        d.m_doubles.assign(v, v + n);
      zyrMemory_free(v, "bench");
    } else if (d.m_type.find("REAL") != std::string::npos) {
      float *v = nullptr;
      if (DefFile_readFloats(file, whats[i], wheres[i], 0, &v, &n))
        d.m_floats.assign(v, v + n);
      zyrMemory_free(v, "bench");
    } else if (d.m_type.find("CHAR") != std::string::npos) {
      char *v = nullptr;
      if (DefFile_readChars(file, whats[i], wheres[i], 0, &v, &n))
        d.m_chars.assign(v, v + n);
      zyrMemory_free(v, "bench");
    } else {
      char **v = nullptr;
      if (DefFile_readIoStrings(file, whats[i], wheres[i], 0, &v, &n))
        d.m_strings.assign(v, v + n);
      if (v != nullptr)
        zyrCStringArray_free(v, uint64_t(n));
    }
    all.push_back(std::move(d));
  }
  zyrCStringArray_free(whats, uint64_t(count));
  zyrCStringArray_free(wheres, uint64_t(count));
  zyrMemory_free(whens, "bench");
  return all;
}

void writeAll(DefFile *file, const std::vector<Stored> &all) {
  for (const Stored &d : all) {
    const char *what = d.m_what.c_str(), *where = d.m_where.c_str();
    if (!d.m_ints.empty())
      DefFile_writeIntArray(file, what, where, 0, d.m_ints.data(), int32_t(d.m_ints.size()), 0);
    else if (!d.m_doubles.empty())
      DefFile_writeDoubleArray(file, what, where, 0, d.m_doubles.data(), int32_t(d.m_doubles.size()), 0);
    else if (!d.m_floats.empty())
      DefFile_writeFloatArray(file, what, where, 0, d.m_floats.data(), int32_t(d.m_floats.size()), 0);
    else if (!d.m_chars.empty())
      DefFile_writeCharArray(file, what, where, 0, d.m_chars.data(), int32_t(d.m_chars.size()));
    else if (!d.m_strings.empty()) {
      std::vector<const char *> texts;
      for (const std::string &t : d.m_strings)
        texts.push_back(t.c_str());
      DefFile_writeIoStringArray(file, what, where, 0, texts.data(), int32_t(texts.size()));
    }
  }
}

// Times the writer and a raw write of the same data sets (the values read back beforehand, then
// written through the same typed writers into a new file); false when the writer failed.
bool timeWrite(const zyrtest::ScratchDir &dir, int round, double *writer, double *raw) {
  Model *model = reinterpret_cast<Model *>(&s_topology);
  const std::string file = dir.file("w" + std::to_string(round) + ".wez");
  const std::string copy = dir.file("r" + std::to_string(round) + ".wez");
  Clock::time_point a = Clock::now();
  DefWriter *w = DefWriter_new(model, file.c_str(), 0, 0, "m", 0.005);
  int written = w != nullptr ? DefWriter_write(w) : 0;
  DefWriter_delete(w);
  Clock::time_point b = Clock::now();
  if (written != 1)
    return false;
  DefFile *source = DefFile_new(file.c_str());
  const std::vector<Stored> all = readAll(source);
  DefFile_delete(source);
  Clock::time_point c = Clock::now();
  DefFile *target = DefFile_new(copy.c_str());
  writeAll(target, all);
  DefFile_sync(target);
  DefFile_delete(target);
  Clock::time_point d = Clock::now();
  std::remove(file.c_str());
  std::remove(copy.c_str());
  *writer += seconds(a, b);
  *raw += seconds(c, d);
  return true;
}

template <class T> T *tracked(const std::vector<T> &values) {
  T *array = zyrMemory_allocateArray<T>(values.empty() ? 1 : int64_t(values.size()), "bench");
  std::copy(values.begin(), values.end(), array);
  return array;
}

void BM_MeshOnlyExportCells(benchmark::State &state) {
  setenv("ZYR_USE_LOCAL_UNITS", "1", 0);
  zyrtest::ScratchDir dir("zyrbench_cells");
  zyrtest::WorkingDir here(dir.path());
  zyrTopologyLayer_initialise();
  zyrMeshLayer_initialise();
  Repository *repository = Repository_new("bench");
  s_topology = Topology_new();
  s_mesh = Mesh_new(s_topology);
  const int n = static_cast<int>(state.range(0)), m = n + 1;
  Assembly *assembly = Topology_addAssembly(s_topology, "Block");
  Region *volume = Region_new(s_topology, assembly, "Fluid", 3);
  Boundary *boundary = Boundary_new();
  Shell *shell = Shell_new();
  static const char *const kSides[6] = {"xmin", "xmax", "ymin", "ymax", "zmin", "zmax"};
  Region *sides[6];
  for (int s = 0; s < 6; ++s) {
    sides[s] = Region_new(s_topology, assembly, kSides[s], 2);
    Shell_addRegion(shell, sides[s]);
  }
  Boundary_addShell(boundary, shell);
  Region_setBoundary(volume, boundary);

  std::vector<double> xyz;
  xyz.reserve(size_t(3) * m * m * m);
  for (int k = 0; k < m; ++k)
    for (int j = 0; j < m; ++j)
      for (int i = 0; i < m; ++i) {
        xyz.push_back(i);
        xyz.push_back(j);
        xyz.push_back(k);
      }
  auto vertex = [m](int i, int j, int k) { return i + m * (j + m * k); };
  std::vector<int32_t> hex;
  hex.reserve(size_t(8) * n * n * n);
  for (int k = 0; k < n; ++k)
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        const int32_t v[8] = {vertex(i, j, k),         vertex(i + 1, j, k),         vertex(i + 1, j + 1, k),
                              vertex(i, j + 1, k),     vertex(i, j, k + 1),         vertex(i + 1, j, k + 1),
                              vertex(i + 1, j + 1, k + 1), vertex(i, j + 1, k + 1)};
        hex.insert(hex.end(), v, v + 8);
      }
  ElementMesh *em = ElementMesh_new(volume);
  ElementMesh_setVertices(em, Vertices_new(3, "m", 2, int32_t(xyz.size() / 3), tracked(xyz)));
  ElementSet *set = ElementSet_new(7, 0, int32_t(hex.size()), tracked(hex));
  ElementMesh_addElementSet(em, set);
  Mesh_addElementMesh(s_mesh, em);
  // Native hexahedron faces: which local face lies on which side of the cell.
  int32_t nf = 0;
  const int32_t *sizes = nullptr, *lists = nullptr;
  ElementTopology_getFaceVertices(7, 0, &nf, &sizes, &lists);
  for (int s = 0; s < 6; ++s) {
    const int axis = s / 2, far = s % 2;
    std::vector<int32_t> elements, faces;
    for (int k = 0; k < n; ++k)
      for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
          const int at[3] = {i, j, k};
          if (at[axis] != (far ? n - 1 : 0))
            continue;
          const int32_t e = i + n * (j + n * k);
          for (int32_t f = 0; f < nf; ++f) {
            bool on = true;
            for (int32_t q = 0; on && q < sizes[f]; ++q) {
              const int32_t v = hex[size_t(8) * size_t(e) + size_t(lists[4 * f + q])];
              on = xyz[3 * size_t(v) + size_t(axis)] == (far ? n : 0);
            }
            if (on) {
              elements.push_back(e);
              faces.push_back(f);
            }
          }
        }
    FaceMesh *fm = FaceMesh_new(sides[s], em);
    FaceMesh_addFaceSet(fm, FaceSet_new(set, 0, int32_t(elements.size()), tracked(elements), tracked(faces)));
    Mesh_addFaceMesh(s_mesh, fm);
  }
  static const DefWriterModelHooks hooks = {topologyOf, meshOf, nullptr};
  DefWriter_setModelHooks(&hooks);

  double writer = 0.0, raw = 0.0;
  int round = 0;
  for (auto _ : state)
    if (!timeWrite(dir, round++, &writer, &raw)) {
      state.SkipWithError("the writer failed");
      break;
    }
  state.counters["cells"] = double(n) * n * n;
  if (raw > 0.0)
    zyrbench::reportTotals(state, "writer", writer, "raw", raw, 2);
  DefWriter_setModelHooks(nullptr);
  Mesh_delete(s_mesh);
  s_mesh = nullptr;
  Topology_delete(s_topology);
  s_topology = nullptr;
  Repository_close(repository, -1);
}

void BM_MeshOnlyExport(benchmark::State &state) {
  setenv("ZYR_USE_LOCAL_UNITS", "1", 0);
  zyrtest::ScratchDir dir("zyrbench_writer");
  zyrtest::WorkingDir here(dir.path());
  zyrTopologyLayer_initialise();
  Repository *repository = Repository_new("bench");
  s_topology = Topology_new();
  Assembly *assembly = Topology_addAssembly(s_topology, "Block");
  const int kVolumes = static_cast<int>(state.range(0));
  for (int v = 0; v < kVolumes; ++v) {
    Region *volume = Region_new(s_topology, assembly, ("V" + std::to_string(v)).c_str(), 3);
    Boundary *boundary = Boundary_new();
    Shell *shell = Shell_new();
    for (int s = 0; s < 6; ++s)
      Shell_addRegion(shell,
                      Region_new(s_topology, assembly, ("S" + std::to_string(v) + "_" + std::to_string(s)).c_str(), 2));
    Boundary_addShell(boundary, shell);
    Region_setBoundary(volume, boundary);
  }
  static const DefWriterModelHooks hooks = {topologyOf, noMesh, nullptr};
  DefWriter_setModelHooks(&hooks);

  double writer = 0.0, raw = 0.0;
  int round = 0;
  for (auto _ : state)
    if (!timeWrite(dir, round++, &writer, &raw)) {
      state.SkipWithError("the writer failed");
      break;
    }
  if (raw > 0.0)
    zyrbench::reportTotals(state, "writer", writer, "raw", raw, 2);
  DefWriter_setModelHooks(nullptr);
  Topology_delete(s_topology);
  s_topology = nullptr;
  Repository_close(repository, -1);
}

} // namespace

BENCHMARK(BM_SurfaceGrouping)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeshOnlyExport)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MeshOnlyExportCells)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_MAIN();
