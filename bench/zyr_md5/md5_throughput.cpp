// MD5 throughput on a 256 MiB buffer in memory, beside a plain summing pass over the same bytes
// (how fast the memory can merely be read): ours hashes the buffer, the baseline reads it eight
// bytes at a time and adds them up. A second case hashes short messages one at a time, where the
// set-up and padding costs show, against the same byte sum over the same messages. Both report
// md5_MBps and baseline_MBps, and ratio_baseline = our time / the baseline's time (how many times
// a plain read of the bytes the digest costs). A third hashes the buffer and short messages
// beside another MD5, a plain reference implementation compiled here that hashes the same
// messages block by block and pads in one step as ours does: ratio_reference = our time / its
// time (below 1 means ours is faster); the digests must agree.

#include "zyrBenchSupport.h"
#include "zyrMD5.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using zyrbench::Clock;
using zyrbench::seconds;

const std::vector<unsigned char> &buffer() {
  static const std::vector<unsigned char> *bytes = [] {
    auto *v = new std::vector<unsigned char>(size_t{256} << 20);
    uint32_t x = 1;
    for (unsigned char &b : *v) {
      x = x * 1664525u + 1013904223u;
      b = static_cast<unsigned char>(x >> 24);
    }
    return v;
  }();
  return *bytes;
}

// The other MD5: the algorithm as its description gives it, one 64-byte block at a time.
struct ReferenceMD5 {
  uint32_t m_state[4] = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u};
  uint64_t m_length = 0;
  unsigned char m_block[64];
  size_t m_fill = 0;

  static uint32_t rotate(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

  void transform(const unsigned char *p) {
    static const uint32_t k[64] = {
        0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
        0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
        0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
        0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
        0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
        0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
        0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
        0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
    static const int r[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                              5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                              4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                              6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
    uint32_t w[16];
    for (int i = 0; i < 16; ++i)
      w[i] = uint32_t(p[4 * i]) | uint32_t(p[4 * i + 1]) << 8 | uint32_t(p[4 * i + 2]) << 16 |
             uint32_t(p[4 * i + 3]) << 24;
    uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
    for (int i = 0; i < 64; ++i) {
      uint32_t f;
      int g;
      if (i < 16) {
        f = (b & c) | (~b & d);
        g = i;
      } else if (i < 32) {
        f = (d & b) | (~d & c);
        g = (5 * i + 1) % 16;
      } else if (i < 48) {
        f = b ^ c ^ d;
        g = (3 * i + 5) % 16;
      } else {
        f = c ^ (b | ~d);
        g = (7 * i) % 16;
      }
      const uint32_t t = d;
      d = c;
      c = b;
      b = b + rotate(a + f + k[i] + w[g], r[i]);
      a = t;
    }
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
  }
  void update(const unsigned char *p, size_t n) {
    m_length += n;
    while (n > 0) {
      if (m_fill == 0 && n >= 64) {
        transform(p);
        p += 64;
        n -= 64;
        continue;
      }
      const size_t take = n < 64 - m_fill ? n : 64 - m_fill;
      std::memcpy(m_block + m_fill, p, take);
      m_fill += take;
      p += take;
      n -= take;
      if (m_fill == 64) {
        transform(m_block);
        m_fill = 0;
      }
    }
  }
  void final(unsigned char digest[16]) {
    const uint64_t bits = m_length * 8;
    // 0x80, then zeros up to 56 bytes past a block's start, then the length: in one update.
    unsigned char padding[64 + 8] = {0x80};
    const size_t zeros = m_fill < 56 ? 56 - m_fill : 120 - m_fill;
    for (int i = 0; i < 8; ++i) padding[zeros + i] = static_cast<unsigned char>(bits >> (8 * i));
    update(padding, zeros + 8);
    for (int i = 0; i < 16; ++i) digest[i] = static_cast<unsigned char>(m_state[i / 4] >> (8 * (i % 4)));
  }
};

void referenceDigest(const unsigned char *p, size_t n, unsigned char digest[16]) {
  ReferenceMD5 md5;
  md5.update(p, n);
  md5.final(digest);
}

void report(benchmark::State &state, double bytes, double md5Seconds, double baseSeconds) {
  state.counters["md5_MBps"] = bytes / md5Seconds / 1e6;
  state.counters["baseline_MBps"] = bytes / baseSeconds / 1e6;
  zyrbench::reportTotals(state, "md5", md5Seconds, "baseline", baseSeconds, 2);
}

// Timed by hand: each iteration runs the baseline and the digest back to back, so a change in
// the machine's speed touches both; the iteration time reported is the digest's alone.
void BM_MD5Buffer(benchmark::State &state) {
  const std::vector<unsigned char> &bytes = buffer();
  double md5Seconds = 0, baseSeconds = 0;
  for (auto _ : state) {
    const Clock::time_point t0 = Clock::now();
    uint64_t sum = zyrbench::byteSum(bytes.data(), bytes.size());
    benchmark::DoNotOptimize(sum);
    const Clock::time_point t1 = Clock::now();
    unsigned char digest[ZYR_MD5_DIGEST_SIZE];
    zyrMD5_digest(bytes.data(), bytes.size(), digest);
    benchmark::DoNotOptimize(digest);
    benchmark::ClobberMemory();
    const Clock::time_point t2 = Clock::now();
    baseSeconds += seconds(t0, t1);
    md5Seconds += seconds(t1, t2);
    state.SetIterationTime(seconds(t1, t2));
  }
  const double total = static_cast<double>(bytes.size()) * static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(total));
  report(state, total, md5Seconds, baseSeconds);
}
BENCHMARK(BM_MD5Buffer)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// Many messages of one size (bytes = range(0)), each with its own init, update and final.
void BM_MD5Messages(benchmark::State &state) {
  const std::vector<unsigned char> &bytes = buffer();
  const size_t size = static_cast<size_t>(state.range(0));
  const size_t span = size_t{32} << 20;
  const size_t count = span / size;
  double md5Seconds = 0, baseSeconds = 0;
  for (auto _ : state) {
    const Clock::time_point t0 = Clock::now();
    for (size_t i = 0; i < count; ++i) {
      uint64_t sum = zyrbench::byteSum(bytes.data() + i * size, size);
      benchmark::DoNotOptimize(sum);
    }
    const Clock::time_point t1 = Clock::now();
    for (size_t i = 0; i < count; ++i) {
      unsigned char digest[ZYR_MD5_DIGEST_SIZE];
      zyrMD5_digest(bytes.data() + i * size, size, digest);
      benchmark::DoNotOptimize(digest);
    }
    const Clock::time_point t2 = Clock::now();
    baseSeconds += seconds(t0, t1);
    md5Seconds += seconds(t1, t2);
    state.SetIterationTime(seconds(t1, t2));
  }
  const double total =
      static_cast<double>(count * size) * static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(total));
  report(state, total, md5Seconds, baseSeconds);
}
BENCHMARK(BM_MD5Messages)
    ->Arg(16)
    ->Arg(64)
    ->Arg(1024)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

// Ours against the reference MD5 over the same bytes: messages of range(0) bytes (0: the whole
// buffer in one message), alternating in each iteration.
void BM_MD5AgainstReference(benchmark::State &state) {
  const std::vector<unsigned char> &bytes = buffer();
  const size_t size = state.range(0) > 0 ? static_cast<size_t>(state.range(0)) : bytes.size();
  const size_t count = (state.range(0) > 0 ? size_t{16} << 20 : bytes.size()) / size;
  double ours = 0, reference = 0;
  for (auto _ : state) {
    unsigned char a[ZYR_MD5_DIGEST_SIZE] = {}, b[16] = {};
    const Clock::time_point t0 = Clock::now();
    for (size_t i = 0; i < count; ++i) {
      zyrMD5_digest(bytes.data() + i * size, size, a);
      benchmark::DoNotOptimize(a);
    }
    const Clock::time_point t1 = Clock::now();
    for (size_t i = 0; i < count; ++i) {
      referenceDigest(bytes.data() + i * size, size, b);
      benchmark::DoNotOptimize(b);
    }
    const Clock::time_point t2 = Clock::now();
    if (std::memcmp(a, b, sizeof b) != 0) {
      state.SkipWithError("the digests differ");
      break;
    }
    ours += seconds(t0, t1);
    reference += seconds(t1, t2);
    state.SetIterationTime(seconds(t0, t1));
  }
  if (reference > 0)
    zyrbench::reportTotals(state, "md5", ours, "reference", reference, 3);
  state.SetBytesProcessed(static_cast<int64_t>(count * size) * state.iterations());
}
BENCHMARK(BM_MD5AgainstReference)->Arg(0)->Arg(64)->Arg(1024)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
