// A periodic zone interface of about 100,000 faces: a block of m x m x 2 hexahedra whose bottom
// and top are one translational-periodic Direct interface. Measured in the same run, each of ours
// beside the plainest program doing the same file work:
//   write  - ours: the definition file from its physics text: the bottom and top matched through
//            the periodic translation, the zone and the interface's face and vertex pairs written
//            and flushed; baseline: the same file's bytes written into a new file and flushed;
//   import - ours: the same file read back directly (topology, mesh, and the connection-free
//            faces); baseline: every byte of the file read (open, read in 1 MiB blocks, close).
// Reported: ratio_raw_write = write / raw write and ratio_raw_read = import / raw read.
#include "Boundary.h"
#include "DefFile.h"
#include "DefWriter.h"
#include "ElementMesh.h"
#include "ElementSet.h"
#include "ElementTopology.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "ImportedMesh.h"
#include "Mesh.h"
#include "Region.h"
#include "Repository.h"
#include "Representation.h"
#include "Shell.h"
#include "Topology.h"
#include "Vertices.h"
#include "zyrErrorManager.h"
#include "zyrMemory.h"
#include "zyrBenchSupport.h"
#include "zyrMeshLayer.h"
#include "zyrTestSupport.h"
#include "zyrTopologyLayer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

struct Parts {
  Topology *m_topology = nullptr;
  Mesh *m_mesh = nullptr;
  Representation *m_representation = nullptr;
};
Parts g_parts;
Topology *topologyOf(const Model *) { return g_parts.m_topology; }
Mesh *meshOf(const Model *) { return g_parts.m_mesh; }
Representation *representationOf(const Model *) { return g_parts.m_representation; }
char *noDirectory() { return nullptr; }

int32_t *tracked(const std::vector<int32_t> &values) {
  int32_t *array = zyrMemory_allocateArray<int32_t>(static_cast<int64_t>(std::max<size_t>(values.size(), 1)), "bench");
  std::copy(values.begin(), values.end(), array);
  return array;
}

// The native hexahedron face whose vertices are the set.
int32_t faceOf(const std::set<int32_t> &vertices) {
  int32_t count = 0;
  const int32_t *counts = nullptr, *lists = nullptr;
  ElementTopology_getFaceVertices(ZYR_ELEMENT_HEXA_8, 0, &count, &counts, &lists);
  for (int32_t f = 0; f < count; ++f)
    if (std::set<int32_t>(lists + 4 * f, lists + 4 * f + 4) == vertices)
      return f;
  return -1;
}

// The block with its volume, bottom and top in the parts.
void makeBlock(int32_t m) {
  g_parts.m_topology = Topology_new();
  g_parts.m_mesh = Mesh_new(g_parts.m_topology);
  g_parts.m_representation = Representation_new(g_parts.m_topology);
  Assembly *assembly = Topology_addAssembly(g_parts.m_topology, "Block");
  Region *volume = Region_new(g_parts.m_topology, assembly, "Block", 3);
  Region *bottom = Region_new(g_parts.m_topology, assembly, "bottom", 2);
  Region *top = Region_new(g_parts.m_topology, assembly, "top", 2);
  Shell *shell = Shell_new();
  Shell_addRegion(shell, bottom);
  Shell_addRegion(shell, top);
  Boundary *boundary = Boundary_new();
  Boundary_addShell(boundary, shell);
  Region_setBoundary(volume, boundary);

  const int32_t layers = 2, row = m + 1, plane = row * row;
  double *xyz = zyrMemory_allocateArray<double>(3 * int64_t(plane) * (layers + 1), "bench");
  for (int32_t k = 0; k <= layers; ++k)
    for (int32_t j = 0; j <= m; ++j)
      for (int32_t i = 0; i <= m; ++i) {
        double *p = xyz + 3 * (int64_t(k) * plane + j * row + i);
        p[0] = 0.01 * i;
        p[1] = 0.01 * j;
        p[2] = 0.01 * k;
      }
  std::vector<int32_t> hexes, bottomElements, topElements;
  for (int32_t k = 0; k < layers; ++k)
    for (int32_t j = 0; j < m; ++j)
      for (int32_t i = 0; i < m; ++i) {
        const int32_t a = k * plane + j * row + i;
        if (k == 0)
          bottomElements.push_back(int32_t(hexes.size() / 8));
        if (k == layers - 1)
          topElements.push_back(int32_t(hexes.size() / 8));
        for (int32_t v :
             {a, a + 1, a + row + 1, a + row, a + plane, a + plane + 1, a + plane + row + 1, a + plane + row})
          hexes.push_back(v);
      }
  ElementMesh *em = ElementMesh_new(volume);
  ElementMesh_setVertices(em, Vertices_new(3, "m", 0, plane * (layers + 1), xyz));
  ElementSet *set = ElementSet_new(ZYR_ELEMENT_HEXA_8, 0, int32_t(hexes.size()), tracked(hexes));
  ElementMesh_addElementSet(em, set);
  Mesh_addElementMesh(g_parts.m_mesh, em);
  const int32_t down = faceOf({0, 1, 2, 3}), up = faceOf({4, 5, 6, 7});
  for (auto side : {std::make_pair(bottom, down), std::make_pair(top, up)}) {
    const std::vector<int32_t> &elements = side.first == bottom ? bottomElements : topElements;
    FaceMesh *fm = FaceMesh_new(side.first, em);
    FaceMesh_addFaceSet(fm, FaceSet_new(set, 0, int32_t(elements.size()), tracked(elements),
                                        tracked(std::vector<int32_t>(elements.size(), side.second))));
    Mesh_addFaceMesh(g_parts.m_mesh, fm);
  }
}

const char *const kPhysics[] = {"FLOW:",
                                "  SOLUTION UNITS:",
                                "    Length Units = [m]",
                                "  END",
                                "  DOMAIN: Block",
                                "    Location = Block",
                                "    BOUNDARY: lower",
                                "      Location = bottom",
                                "    END",
                                "    BOUNDARY: upper",
                                "      Location = top",
                                "    END",
                                "  END",
                                "  DOMAIN INTERFACE: Periodic",
                                "    Boundary List1 = lower",
                                "    Boundary List2 = upper",
                                "    Interface Type = Fluid Fluid",
                                "    INTERFACE MODELS:",
                                "      Option = Translational Periodicity",
                                "    END",
                                "    MESH CONNECTION:",
                                "      Option = Direct",
                                "    END",
                                "  END",
                                "END"};

void PeriodicInterface(benchmark::State &state) {
  setenv("ZYR_USE_LOCAL_UNITS", "1", 0);
  zyrTopologyLayer_initialise();
  zyrMeshLayer_initialise();
  zyrtest::ScratchDir dir("zyrperiodic");
  Repository *repository = Repository_new(dir.file("db").c_str());
  static const DefWriterModelHooks writerHooks = {topologyOf, meshOf, nullptr};
  DefWriter_setModelHooks(&writerHooks);
  static const ImportedMeshModelHooks importHooks = {topologyOf, meshOf, representationOf, noDirectory};
  ImportedMesh_setModelHooks(&importHooks);
  const int32_t m = int32_t(state.range(0));
  makeBlock(m);
  Parts block = g_parts;
  Model *model = reinterpret_cast<Model *>(&g_parts);
  const std::string file = dir.file("periodic.def"), copy = dir.file("raw.def");

  for (auto _ : state) {
    g_parts = block;
    std::remove(file.c_str());
    DefFile *physics = DefFile_new(file.c_str());
    DefFile_writeIoStringArray(physics, "G/COMMANDS", "EVERY", 0, kPhysics,
                               int32_t(sizeof kPhysics / sizeof *kPhysics));
    DefFile_delete(physics);
    const auto w0 = Clock::now();
    DefWriter *writer = DefWriter_new(model, file.c_str(), 0, 1, nullptr, 0.005);
    const int written = writer != nullptr ? DefWriter_write(writer) : 0;
    DefWriter_delete(writer);
    const auto w1 = Clock::now();

    g_parts = Parts();
    g_parts.m_topology = Topology_new();
    g_parts.m_mesh = Mesh_new(g_parts.m_topology);
    g_parts.m_representation = Representation_new(g_parts.m_topology);
    const auto i0 = Clock::now();
    ImportedMesh *im = ImportedMesh_new(model, "ZYR_DIRECT", file.c_str(), nullptr, nullptr, "m");
    const auto i1 = Clock::now();
    ImportedMesh_delete(im);

    DefFile *check = DefFile_new(file.c_str());
    int32_t *pairs = nullptr, n = 0;
    DefFile_readInts(check, "G/KZFCZFC", "ZIF1", 0, &pairs, &n);
    zyrMemory_free(pairs, "bench");
    DefFile_delete(check);

    const auto r0 = Clock::now();
    const std::string bytes = zyrbench::readRaw(file);
    const auto r1 = Clock::now();
    const bool copied = zyrbench::writeRaw(copy, bytes);
    const auto r2 = Clock::now();

    if (written != 1 || im == nullptr || n != 12 * m * m || bytes.empty() || !copied) {
      state.SkipWithError("the periodic interface did not make the trip");
      break;
    }
    const double write = seconds(w0, w1), read = seconds(i0, i1), rawRead = seconds(r0, r1),
                 rawWrite = seconds(r1, r2);
    state.SetIterationTime(write);
    state.counters["faces"] = double(m) * m;
    state.counters["write_s"] = write;
    state.counters["import_s"] = read;
    state.counters["raw_read_s"] = rawRead;
    state.counters["raw_write_s"] = rawWrite;
    state.counters["ratio_raw_write"] = write / rawWrite;
    state.counters["ratio_raw_read"] = read / rawRead;
    zyrErrorManager_clearErrors(zyrErrorManager_get());
  }
  Repository_close(repository, -1);
}

} // namespace

BENCHMARK(PeriodicInterface)->Arg(100)->Arg(317)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
