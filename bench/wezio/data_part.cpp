// Ten million doubles as a data part, against the same work done directly in the same run:
// plain binary against one fwrite/fread of the same bytes, compressed against zlib's own
// compress2/uncompress of the same buffer at the same level (plus the file write or read of the
// stream). Each "ratio" counter is our time over the baseline's (1.0 = as fast; the aims are at
// most 1/0.7 = 1.43 for plain data and 1.25 for compressed data). "chunked" writes and reads the
// data part in the 100000-record chunks of a compressed data set; their streams are made on
// "threads" threads (WEZ_COMPRESS_THREADS), so "chunked" can be below 1.
#include "data_part.h"
#include "io_pipeline.h"
#include "iodata.h"
#include "zyrBenchSupport.h"
#include "zyrTestSupport.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

int discard(const char *, int32_t) { return 0; }

using zyrbench::Clock;
using zyrbench::seconds;

const int32_t kValues = 10000000;
const int kLevel = 5;

// One scratch file in a temporary directory, removed with the directory at exit.
struct Scratch {
  zyrtest::ScratchDir m_dir{"bench_data_part"};
  std::string m_path = m_dir.file("data");
  FILE *open(const char *mode) {
    FILE *stream = fopen(m_path.c_str(), mode);
    if (!stream) abort();
    return stream;
  }
};

Scratch &scratch() {
  static Scratch s;
  return s;
}

// Mesh-like coordinates: rows of a regular grid, compressible but not trivially.
std::vector<double> &values() {
  static std::vector<double> v = [] {
    std::vector<double> w(kValues);
    for (int32_t i = 0; i < kValues; ++i) w[i] = 0.001 * (i % 1000) + 0.37 * (i / 1000);
    return w;
  }();
  return v;
}

// A record that lends the shared array (not owned: released by hand).
struct Lent {
  IO_data m_data;
  explicit Lent(double *array) {
    iodata_init(discard, &m_data);
    m_data.m_dblearray = array;
    *m_data.m_numdble = kValues;
  }
};

void BM_PlainWrite(benchmark::State &state) {
  std::vector<double> &v = values();
  double ours = 0, base = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    FILE *stream = scratch().open("wb");
    fwrite(v.data(), sizeof(double), v.size(), stream);
    fclose(stream);
    auto t1 = Clock::now();
    Lent lent(v.data());
    stream = scratch().open("wb");
    if (write_data(discard, "u", stream, kValues, "DBLE", &lent.m_data) != IO_OK) abort();
    fclose(stream);
    auto t2 = Clock::now();
    base += seconds(t0, t1);
    ours += seconds(t1, t2);
    state.SetIterationTime(seconds(t1, t2));
  }
  state.counters["ratio"] = ours / base;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kValues * 8);
}
BENCHMARK(BM_PlainWrite)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_PlainRead(benchmark::State &state) {
  std::vector<double> &v = values();
  FILE *stream = scratch().open("wb");
  fwrite(v.data(), sizeof(double), v.size(), stream);
  fclose(stream);
  std::vector<double> back(kValues);
  double ours = 0, base = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    stream = scratch().open("rb");
    if (fread(back.data(), sizeof(double), back.size(), stream) != back.size()) abort();
    fclose(stream);
    auto t1 = Clock::now();
    Lent lent(back.data());
    stream = scratch().open("rb");
    if (read_data(discard, "u", stream, kValues, "DBLE", &lent.m_data) != IO_OK) abort();
    fclose(stream);
    auto t2 = Clock::now();
    base += seconds(t0, t1);
    ours += seconds(t1, t2);
    state.SetIterationTime(seconds(t1, t2));
  }
  if (back != v) abort();
  state.counters["ratio"] = ours / base;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kValues * 8);
}
BENCHMARK(BM_PlainRead)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_CompressedWrite(benchmark::State &state) {
  std::vector<double> &v = values();
  uLong bytes = static_cast<uLong>(v.size() * sizeof(double));
  std::vector<Bytef> out(compressBound(bytes));
  double ours = 0, chunked = 0, base = 0;
  int64_t stored = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    uLongf size = out.size();
    if (compress2(out.data(), &size, reinterpret_cast<const Bytef *>(v.data()), bytes, kLevel) !=
        Z_OK)
      abort();
    FILE *stream = scratch().open("wb");
    int32_t length = static_cast<int32_t>(size);
    fwrite(&length, 4, 1, stream);
    fwrite(out.data(), 1, size, stream);
    fclose(stream);
    auto t1 = Clock::now();
    Lent lent(v.data());
    stream = scratch().open("wb");
    if (write_data(discard, "u5", stream, kValues, "DBLE", &lent.m_data) != IO_OK) abort();
    stored = ftello(stream);
    fclose(stream);
    auto t2 = Clock::now();
    Lent again(v.data());
    stream = scratch().open("wb");
    if (write_data_blocks(discard, "u5", stream, kValues, 1, "DBLE", &again.m_data) != IO_OK)
      abort();
    fclose(stream);
    auto t3 = Clock::now();
    base += seconds(t0, t1);
    ours += seconds(t1, t2);
    chunked += seconds(t2, t3);
    state.SetIterationTime(seconds(t1, t2));
  }
  state.counters["ratio"] = ours / base;
  state.counters["chunked"] = chunked / base;
  state.counters["threads"] = io_pipeline_threads();
  state.counters["stored%"] = 100.0 * static_cast<double>(stored) / static_cast<double>(bytes);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kValues * 8);
}
BENCHMARK(BM_CompressedWrite)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_CompressedRead(benchmark::State &state) {
  std::vector<double> &v = values();
  uLong bytes = static_cast<uLong>(v.size() * sizeof(double));
  std::vector<Bytef> stream(compressBound(bytes));
  std::vector<double> back(kValues);
  // The whole data part in one chunk and in chunks, in two files side by side.
  std::string chunkedPath = scratch().m_path + ".chunked";
  {
    Lent lent(v.data());
    FILE *out = scratch().open("wb");
    if (write_data(discard, "u5", out, kValues, "DBLE", &lent.m_data) != IO_OK) abort();
    fclose(out);
    Lent again(v.data());
    out = fopen(chunkedPath.c_str(), "wb");
    if (!out || write_data_blocks(discard, "u5", out, kValues, 1, "DBLE", &again.m_data) != IO_OK)
      abort();
    fclose(out);
  }
  double ours = 0, chunked = 0, base = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    FILE *in = scratch().open("rb");
    int32_t length = 0;
    if (fread(&length, 4, 1, in) != 1 ||
        fread(stream.data(), 1, static_cast<size_t>(length), in) != static_cast<size_t>(length))
      abort();
    fclose(in);
    uLongf size = bytes;
    if (uncompress(reinterpret_cast<Bytef *>(back.data()), &size, stream.data(),
                   static_cast<uLong>(length)) != Z_OK)
      abort();
    auto t1 = Clock::now();
    Lent lent(back.data());
    in = scratch().open("rb");
    if (read_data(discard, "u5", in, kValues, "DBLE", &lent.m_data) != IO_OK) abort();
    fclose(in);
    auto t2 = Clock::now();
    Lent again(back.data());
    in = fopen(chunkedPath.c_str(), "rb");
    if (!in || read_data_blocks(discard, "u5", in, kValues, 1, "DBLE", &again.m_data) != IO_OK)
      abort();
    fclose(in);
    auto t3 = Clock::now();
    base += seconds(t0, t1);
    ours += seconds(t1, t2);
    chunked += seconds(t2, t3);
    state.SetIterationTime(seconds(t1, t2));
  }
  unlink(chunkedPath.c_str());
  if (back != v) abort();
  state.counters["ratio"] = ours / base;
  state.counters["chunked"] = chunked / base;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kValues * 8);
}
BENCHMARK(BM_CompressedRead)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
