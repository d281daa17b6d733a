// The mesh reader on one mesh of about 390,000 hexahedra written as one element block and as
// 10,000 blocks of the same elements, in the same run. Both sides parse the whole file (nodes and
// elements) into memory with MshFile_parse; only the number of blocks differs, so the file sizes
// differ by the block headers alone. Reported per format (MSH 4.1 binary, MSH 4.1 ASCII and
// MSH 2.2 binary): the time for the many blocks over the time for one block (aim: at most 1.2,
// reading linear in the file whatever its number of blocks).
#include "MshFile.h"
#include "zyrBenchSupport.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using zyrbench::Clock;
using zyrbench::seconds;

const int kCells = 73;        // per edge of the cube
const int64_t kBlocks = 10000; // the many-block files

template <class T> void put(std::string *out, T value) {
  out->append(reinterpret_cast<const char *>(&value), sizeof value);
}

// Node tags of the hexahedron of cell e, in Gmsh's order.
std::vector<uint64_t> hexNodes(int64_t e) {
  const uint64_t n = kCells;
  const uint64_t i = e % n, j = e / n % n, k = e / (n * n);
  auto id = [](uint64_t a, uint64_t b, uint64_t c) {
    const uint64_t m = kCells + 1;
    return 1 + a + m * (b + m * c);
  };
  return {id(i, j, k),         id(i + 1, j, k),         id(i + 1, j + 1, k),     id(i, j + 1, k),
          id(i, j, k + 1),     id(i + 1, j, k + 1),     id(i + 1, j + 1, k + 1), id(i, j + 1, k + 1)};
}

int64_t noOfElements() { return int64_t{kCells} * kCells * kCells; }
int64_t noOfNodes() { return int64_t{kCells + 1} * (kCells + 1) * (kCells + 1); }
double coordinate(int64_t node, int axis) {
  const int64_t m = kCells + 1;
  const int64_t at[3] = {node % m, node / m % m, node / (m * m)};
  return static_cast<double>(at[axis]) / kCells;
}

// The elements split into `blocks` runs of nearly equal size: the first element of each.
std::vector<int64_t> blockStarts(int64_t blocks) {
  std::vector<int64_t> starts;
  for (int64_t b = 0; b <= blocks; ++b)
    starts.push_back(noOfElements() * b / blocks);
  return starts;
}

std::string msh41(int64_t blocks, bool binary) {
  std::string s = binary ? "$MeshFormat\n4.1 1 8\n" : "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n";
  if (binary) {
    put<int32_t>(&s, 1);
    s += "\n$EndMeshFormat\n";
  }
  const std::string names = "$PhysicalNames\n1\n3 1 \"Block\"\n$EndPhysicalNames\n";
  s += names;
  const int64_t nodes = noOfNodes(), elements = noOfElements();
  if (binary) {
    s += "$Entities\n";
    for (uint64_t c : {0, 0, 0, 1})
      put<uint64_t>(&s, c);
    put<int32_t>(&s, 1);
    for (int k = 0; k < 6; ++k)
      put<double>(&s, k < 3 ? 0.0 : 1.0);
    put<uint64_t>(&s, 1);
    put<int32_t>(&s, 1);
    put<uint64_t>(&s, 0);
    s += "\n$EndEntities\n$Nodes\n";
    for (uint64_t v : {uint64_t(1), uint64_t(nodes), uint64_t(1), uint64_t(nodes)})
      put<uint64_t>(&s, v);
    put<int32_t>(&s, 3);
    put<int32_t>(&s, 1);
    put<int32_t>(&s, 0);
    put<uint64_t>(&s, nodes);
    for (int64_t i = 1; i <= nodes; ++i)
      put<uint64_t>(&s, i);
    for (int64_t i = 0; i < nodes; ++i)
      for (int axis = 0; axis < 3; ++axis)
        put<double>(&s, coordinate(i, axis));
    s += "\n$EndNodes\n$Elements\n";
    for (uint64_t v : {uint64_t(blocks), uint64_t(elements), uint64_t(1), uint64_t(elements)})
      put<uint64_t>(&s, v);
    const std::vector<int64_t> starts = blockStarts(blocks);
    for (int64_t b = 0; b < blocks; ++b) {
      put<int32_t>(&s, 3);
      put<int32_t>(&s, 1);
      put<int32_t>(&s, 5);
      put<uint64_t>(&s, starts[b + 1] - starts[b]);
      for (int64_t e = starts[b]; e < starts[b + 1]; ++e) {
        put<uint64_t>(&s, e + 1);
        for (uint64_t v : hexNodes(e))
          put<uint64_t>(&s, v);
      }
    }
    s += "\n$EndElements\n";
    return s;
  }
  s += "$Entities\n0 0 0 1\n1 0 0 0 1 1 1 1 1 0\n$EndEntities\n$Nodes\n";
  s += "1 " + std::to_string(nodes) + " 1 " + std::to_string(nodes) + "\n3 1 0 " + std::to_string(nodes) + "\n";
  for (int64_t i = 1; i <= nodes; ++i)
    s += std::to_string(i) + "\n";
  char line[96];
  for (int64_t i = 0; i < nodes; ++i) {
    std::snprintf(line, sizeof line, "%.17g %.17g %.17g\n", coordinate(i, 0), coordinate(i, 1), coordinate(i, 2));
    s += line;
  }
  s += "$EndNodes\n$Elements\n";
  s += std::to_string(blocks) + " " + std::to_string(elements) + " 1 " + std::to_string(elements) + "\n";
  const std::vector<int64_t> starts = blockStarts(blocks);
  for (int64_t b = 0; b < blocks; ++b) {
    s += "3 1 5 " + std::to_string(starts[b + 1] - starts[b]) + "\n";
    for (int64_t e = starts[b]; e < starts[b + 1]; ++e) {
      s += std::to_string(e + 1);
      for (uint64_t v : hexNodes(e))
        s += " " + std::to_string(v);
      s += "\n";
    }
  }
  s += "$EndElements\n";
  return s;
}

std::string msh22Binary(int64_t blocks) {
  std::string s = "$MeshFormat\n2.2 1 8\n";
  put<int32_t>(&s, 1);
  s += "\n$EndMeshFormat\n$PhysicalNames\n1\n3 1 \"Block\"\n$EndPhysicalNames\n$Nodes\n";
  const int64_t nodes = noOfNodes(), elements = noOfElements();
  s += std::to_string(nodes) + "\n";
  for (int64_t i = 0; i < nodes; ++i) {
    put<int32_t>(&s, static_cast<int32_t>(i + 1));
    for (int axis = 0; axis < 3; ++axis)
      put<double>(&s, coordinate(i, axis));
  }
  s += "\n$EndNodes\n$Elements\n" + std::to_string(elements) + "\n";
  const std::vector<int64_t> starts = blockStarts(blocks);
  for (int64_t b = 0; b < blocks; ++b) {
    put<int32_t>(&s, 5);
    put<int32_t>(&s, static_cast<int32_t>(starts[b + 1] - starts[b]));
    put<int32_t>(&s, 2);
    for (int64_t e = starts[b]; e < starts[b + 1]; ++e) {
      put<int32_t>(&s, static_cast<int32_t>(e + 1));
      put<int32_t>(&s, 1);
      put<int32_t>(&s, 1);
      for (uint64_t v : hexNodes(e))
        put<int32_t>(&s, static_cast<int32_t>(v));
    }
  }
  s += "\n$EndElements\n";
  return s;
}

std::string fileOf(int format, int64_t blocks) {
  return format == 0 ? msh41(blocks, true) : format == 1 ? msh41(blocks, false) : msh22Binary(blocks);
}

// Seconds to parse the file (the best of a few reads, the machine being shared).
double parseSeconds(const std::string &text) {
  double best = 1e30;
  for (int run = 0; run < 5; ++run) {
    MshFile *mesh = MshFile_new();
    std::string error;
    const Clock::time_point t0 = Clock::now();
    const int ok = MshFile_parse(mesh, text.data(), text.size(), &error);
    const double t = seconds(t0, Clock::now());
    if (!ok || MshFile_noOfElements(mesh) != noOfElements()) {
      std::fprintf(stderr, "bench_kelvo_blocks: %s\n", error.c_str());
      std::abort();
    }
    MshFile_delete(mesh);
    best = t < best ? t : best;
  }
  return best;
}

void BM_ManyBlocks(benchmark::State &state) {
  const int format = static_cast<int>(state.range(0));
  const std::string one = fileOf(format, 1);
  const std::string many = fileOf(format, kBlocks);
  for (auto _ : state) {
    const double oneSeconds = parseSeconds(one);
    const double manySeconds = parseSeconds(many);
    state.counters["elements"] = static_cast<double>(noOfElements());
    state.counters["blocks"] = static_cast<double>(kBlocks);
    zyrbench::reportRatio(state, "blocks", manySeconds, "one", oneSeconds, 2);
    zyrbench::setLabel(state, "%s: %lld blocks/one = %.2f",
                       format == 0 ? "MSH 4.1 binary" : format == 1 ? "MSH 4.1 ASCII" : "MSH 2.2 binary",
                       static_cast<long long>(kBlocks), manySeconds / oneSeconds);
  }
}

BENCHMARK(BM_ManyBlocks)->ArgName("format")->DenseRange(0, 2)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
