#ifndef ZYR_HASHPRIMES_H
#define ZYR_HASHPRIMES_H
// The bucket counts of the chained hash containers (HashTable, HashSet): the largest prime below
// 2^k for k = 4 to 31. Tables are created with one of the first 24 and grow or shrink one step
// at a time.
//
// Bucket indices are remainders by these primes, taken millions of times: instead of a hardware
// division each prime carries a precomputed reciprocal (Lemire's fastmod), which gives the exact
// remainder of any 32-bit number.
#include <cstdint>

namespace zyrHashPrimes {

const int32_t kCount = 28;
const int32_t kLargestIndex = 27;  // the growth limit
const int32_t kLargestCreated = 23; // creation chooses among indices 0 to 23

constexpr int32_t kPrimes[kCount] = {
    13,        31,        61,        127,       251,       509,        1021,       2039,      4093,     8191,
    16381,     32749,     65521,     131071,    262139,    524287,     1048573,    2097143,   4194301,  8388593,
    16777213,  33554393,  67108859,  134217689, 268435399, 536870909,  1073741789, 2147483647};

// Reciprocal of d for fastmod: floor((2^64 - 1) / d) + 1.
constexpr uint64_t reciprocal(uint64_t d) { return UINT64_MAX / d + 1; }

// Exact a mod d for any 32-bit a, given r = reciprocal(d).
inline uint32_t fastmod(uint32_t a, uint64_t r, uint32_t d) {
  uint64_t low = r * a;
  return static_cast<uint32_t>((static_cast<unsigned __int128>(low) * d) >> 64);
}

// A number in [2^31, 2^32) congruent to 2^64 modulo d (d below 2^31 + 1). Adding it to a
// negative 32-bit value v gives a number in [0, 2^32) congruent to v taken as unsigned 64 bits
// (2^64 + v), so that value's remainder is one fastmod away.
constexpr uint64_t wrapOffset(uint64_t d) {
  uint64_t r = (UINT64_MAX % d + 1) % d; // 2^64 mod d
  const uint64_t low = UINT64_C(1) << 31;
  if (r >= low)
    return r;
  return r + (low - r + d - 1) / d * d;
}

struct Divisor {
  uint64_t m_reciprocal;
  uint64_t m_wrapTimesReciprocal; // wrapOffset(d) * reciprocal(d), modulo 2^64
  uint32_t m_d;
};

constexpr Divisor divisor(uint64_t d) {
  return Divisor{reciprocal(d), wrapOffset(d) * reciprocal(d), static_cast<uint32_t>(d)};
}

// The remainder of a 32-bit signed value widened with its sign and read as unsigned 64 bits:
// fastmod of v + (v < 0 ? wrapOffset : 0), with the offset's product taken ahead of time so that
// the sign test is off the multiplication's path.
inline uint32_t wrappedMod(int32_t v, const Divisor &d) {
  const uint64_t low = d.m_reciprocal * static_cast<uint64_t>(static_cast<int64_t>(v)) +
                       (v < 0 ? d.m_wrapTimesReciprocal : 0);
  return static_cast<uint32_t>((static_cast<unsigned __int128>(low) * d.m_d) >> 64);
}

// Each prime (for the bucket) and the prime less one (for the string hash's multiplier).
struct PrimeDivisors {
  Divisor m_prime;
  Divisor m_primeLessOne;
};

template <int32_t... I> struct DivisorTable {
  static constexpr PrimeDivisors kTable[sizeof...(I)] = {
      {divisor(static_cast<uint64_t>(kPrimes[I])), divisor(static_cast<uint64_t>(kPrimes[I]) - 1)}...};
};
template <int32_t... I> constexpr PrimeDivisors DivisorTable<I...>::kTable[sizeof...(I)];

using Divisors = DivisorTable<0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23,
                              24, 25, 26, 27>;

inline const PrimeDivisors &divisorsAt(int32_t index) { return Divisors::kTable[index]; }

// The position of n in the prime table, or -1 when n is not one of the primes.
inline int32_t indexOf(int64_t n) {
  if (n < 13 || n > 2147483647)
    return -1;
  int32_t bits = 64 - __builtin_clzll(static_cast<uint64_t>(n));
  int32_t index = bits - 4;
  return kPrimes[index] == n ? index : -1;
}

// First entry among 0 to 23 strictly greater than the hint.
inline int32_t indexForHint(int32_t hint) {
  for (int32_t i = 0; i < kLargestCreated; ++i)
    if (kPrimes[i] > hint)
      return i;
  return kLargestCreated;
}

} // namespace zyrHashPrimes

#endif
