// The store's readers into a caller's buffer (Database_getIntArray, Database_getDoubleArray) of a
// version of 1 Mi or 6 Mi values, against the read the store makes of it straight into the caller's
// buffer (DefFile_readIntArray, DefFile_readDoubleArray) in the same run. A buffer reader stages the
// version in storage of its own and copies it out once it has read whole; the ratio is what that
// costs. The buffer is the version's size, or 16 times it: a generous buffer must cost nothing
// more. Format "default" is the store's own (aim: at most 1.03 for 1 Mi values, 1.1 for 6 Mi, whose
// staging is larger than the caches); "plain" is written with WEZ_FORMAT=u (no compression), where
// the read itself is little more than a copy, so that the copy out of the staging nearly doubles it.
#include "Database.h"
#include "DefFile.h"
#include "zyrBenchSupport.h"
#include "zyrTestSupport.h"
#include "zyrUUID.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using zyrbench::Clock;
using zyrbench::seconds;

const int32_t kMi = int32_t{1} << 20;
const int32_t kState = 1;

// Mesh-like numbers: node numbers of neighbouring cells, compressible but not trivially.
template <class T> std::vector<T> values(int32_t count) {
  std::vector<T> v(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i)
    v[i] = static_cast<T>(i / 4 + static_cast<int32_t>(zyrbench::mix(static_cast<uint64_t>(i)) % 64));
  return v;
}

int write(Database *database, const zyrUUID *object, const char *name, const std::vector<int32_t> &v) {
  return Database_setInts(database, kState, object, name, v.data(), static_cast<int32_t>(v.size()));
}
int write(Database *database, const zyrUUID *object, const char *name, const std::vector<double> &v) {
  return Database_setDoubles(database, kState, object, name, v.data(), static_cast<int32_t>(v.size()));
}

int storeRead(Database *database, const zyrUUID *object, const char *name, int32_t *buffer, int32_t n) {
  return Database_getIntArray(database, kState, object, name, buffer, n);
}
int storeRead(Database *database, const zyrUUID *object, const char *name, double *buffer, int32_t n) {
  return Database_getDoubleArray(database, kState, object, name, buffer, n);
}

// The old way: the version read straight into the caller's buffer.
int directRead(DefFile *file, const char *name, const char *key, int32_t *buffer, int32_t n) {
  return DefFile_readIntArray(file, name, key, kState, buffer, &n);
}
int directRead(DefFile *file, const char *name, const char *key, double *buffer, int32_t n) {
  return DefFile_readDoubleArray(file, name, key, kState, buffer, &n);
}

// state.range(0): the version's values in Mi; range(1): the buffer as a multiple of the version;
// range(2): 1 for the plain format.
template <class T> void BM_BufferRead(benchmark::State &state) {
  const int32_t count = static_cast<int32_t>(state.range(0)) * kMi;
  const int32_t factor = static_cast<int32_t>(state.range(1));
  const bool plain = state.range(2) != 0;
  zyrtest::ScratchDir dir("zyr-bench-buffer-readers");
  const std::string file = dir.file("bench.zyr");
  zyrUUID *object = zyrUUID_newFromIntegers(1, 2, 3, 4);
  char key[ZYR_UUID_BASE64_SIZE];
  zyrUUID_toBase64(object, key);
  const std::vector<T> stored = values<T>(count);
  {
    zyrtest::EnvGuard format("WEZ_FORMAT", plain ? "u" : nullptr);
    Database *writer = Database_new(file.c_str());
    if (writer == nullptr || write(writer, object, "v", stored) != 1 || Database_close(writer) != 1) {
      state.SkipWithError("the version could not be written");
      zyrUUID_delete(object);
      return;
    }
  }
  Database *database = Database_openForReading(file.c_str());
  if (database == nullptr) {
    state.SkipWithError("the database could not be opened");
    zyrUUID_delete(object);
    return;
  }
  DefFile *defFile = Database_getDefFile(database);
  const int32_t n = count * factor;
  // Both buffers touched once, as a caller's buffer in use is.
  std::vector<T> ours(static_cast<size_t>(n), T(-1)), theirs(static_cast<size_t>(n), T(-1));
  double ourSeconds = 0, baseSeconds = 0;
  int64_t iteration = 0;
  for (auto _ : state) {
    // Alternate which side goes first, so that neither always finds the caches as the other left them.
    const bool oursFirst = iteration++ % 2 == 0;
    for (int side = 0; side < 2; ++side) {
      const bool isOurs = (side == 0) == oursFirst;
      const Clock::time_point t0 = Clock::now();
      const int read = isOurs ? storeRead(database, object, "v", ours.data(), n)
                              : directRead(defFile, "v", key, theirs.data(), n);
      const Clock::time_point t1 = Clock::now();
      if (read != 1) state.SkipWithError("a read failed");
      (isOurs ? ourSeconds : baseSeconds) += seconds(t0, t1);
    }
    benchmark::DoNotOptimize(ours.data());
    benchmark::DoNotOptimize(theirs.data());
  }
  if (ours != theirs || !std::equal(stored.begin(), stored.end(), ours.begin()))
    state.SkipWithError("the reads disagree");
  zyrbench::reportTotals(state, "store", ourSeconds, "direct", baseSeconds, 3);
  Database_delete(database);
  zyrUUID_delete(object);
}

// 1 Mi values into a buffer of their size and of 16 times it; 6 Mi values (48 MiB of doubles), a
// staging far larger than the caches, into a buffer of their size.
void bufferReadArgs(benchmark::internal::Benchmark *b) {
  b->ArgNames({"Mi", "buffer", "plain"})->ArgsProduct({{1}, {1, 16}, {0, 1}})->ArgsProduct({{6}, {1}, {0, 1}});
}

BENCHMARK_TEMPLATE(BM_BufferRead, int32_t)->Apply(bufferReadArgs)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_TEMPLATE(BM_BufferRead, double)->Apply(bufferReadArgs)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
