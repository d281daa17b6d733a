#include "zyrArrayUtilities.h"
#include "zyrMemory.h"
#include "zyrRadixSort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

using V = std::vector<int>;

int *tracked(const V &v) {
  int *a = zyrMemory_allocateArray<int>(static_cast<int64_t>(v.size()), "test");
  if (!v.empty())
    std::memcpy(a, v.data(), v.size() * sizeof(int));
  return a;
}

V take(int *a, int n) {
  V v(a, a + std::max(n, 0));
  zyrMemory_free(a, "test");
  return v;
}

V randomInts(std::mt19937 &rng, size_t n, int low, int high) {
  std::uniform_int_distribution<int> d(low, high);
  V v(n);
  for (auto &x : v)
    x = d(rng);
  return v;
}

// The reference order: a stable sort of the positions by key.
V referenceIndex(const V &keys, bool ascending) {
  V idx(keys.size());
  std::iota(idx.begin(), idx.end(), 0);
  std::stable_sort(idx.begin(), idx.end(), [&](int x, int y) {
    return ascending ? keys[x] < keys[y] : keys[x] > keys[y];
  });
  return idx;
}

V setResult(int op, V a, V b) {
  int count = -7;
  int *out = reinterpret_cast<int *>(&count); // must be replaced
  EXPECT_EQ(zyrSetOperation(op, static_cast<int>(a.size()), a.data(), static_cast<int>(b.size()),
                            b.data(), &count, &out),
            1);
  if (count == 0) {
    EXPECT_EQ(out, nullptr);
  }
  return take(out, count);
}

V referenceSet(int op, V a, V b) {
  std::sort(a.begin(), a.end());
  a.erase(std::unique(a.begin(), a.end()), a.end());
  std::sort(b.begin(), b.end());
  b.erase(std::unique(b.begin(), b.end()), b.end());
  V r;
  switch (op) {
  case zyrSetUnion:
    std::set_union(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(r));
    break;
  case zyrSetIntersection:
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(r));
    break;
  case zyrSetDifference:
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(r));
    break;
  default:
    std::set_symmetric_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(r));
  }
  return r;
}

TEST(ArrayUtilities, SetOperationsOnSmallLists) {
  EXPECT_EQ(setResult(zyrSetUnion, {3, 1}, {2, 3}), V({1, 2, 3}));
  EXPECT_EQ(setResult(zyrSetIntersection, {3, 1}, {2, 3}), V({3}));
  EXPECT_EQ(setResult(zyrSetDifference, {3, 1}, {2, 3}), V({1}));
  EXPECT_EQ(setResult(zyrSetSymmetricDifference, {3, 1}, {2, 3}), V({1, 2}));
  // Results never repeat a value, whatever the inputs hold.
  EXPECT_EQ(setResult(zyrSetIntersection, {2, 2}, {2}), V({2}));
  EXPECT_EQ(setResult(zyrSetSymmetricDifference, {}, {4, 2, 4}), V({2, 4}));
  EXPECT_EQ(setResult(zyrSetSymmetricDifference, {5, 5, 1}, {}), V({1, 5}));
  EXPECT_EQ(setResult(zyrSetDifference, {7, 7, 3}, {}), V({3, 7}));
  EXPECT_EQ(setResult(zyrSetIntersection, {1, 2}, {3, 4}), V());
  EXPECT_EQ(setResult(zyrSetUnion, {}, {}), V());
  EXPECT_EQ(setResult(zyrSetUnion, {INT_MAX, INT_MIN}, {0, INT_MIN}), V({INT_MIN, 0, INT_MAX}));

  int a[] = {1}, count = 99, *out = a;
  for (int bad : {0, 3, 6, -1, 100})
    EXPECT_EQ(zyrSetOperation(bad, 1, a, 1, a, &count, &out), 0);
  EXPECT_EQ(count, 99); // outputs untouched
  EXPECT_EQ(out, a);
}

TEST(ArrayUtilities, SetOperationsSortTheirInputsExceptUnion) {
  V a = {5, 1, 3}, b = {4, 2};
  int count, *out;
  ASSERT_EQ(zyrSetOperation(zyrSetUnion, 3, a.data(), 2, b.data(), &count, &out), 1);
  zyrMemory_free(out, "test");
  EXPECT_EQ(a, V({5, 1, 3}));
  ASSERT_EQ(zyrSetOperation(zyrSetDifference, 3, a.data(), 2, b.data(), &count, &out), 1);
  zyrMemory_free(out, "test");
  EXPECT_EQ(a, V({1, 3, 5}));
  EXPECT_EQ(b, V({2, 4}));
}

TEST(ArrayUtilities, SetOperationsAgreeWithTheStandardAlgorithms) {
  std::mt19937 rng(11);
  for (int round = 0; round < 200; ++round) {
    size_t m = rng() % 700, n = rng() % 700;
    const int range = 1 + static_cast<int>(rng() % 1000);
    V a = randomInts(rng, m, -range, range), b = randomInts(rng, n, -range, range);
    if (round % 3 == 0) { // sorted inputs take the direct walk
      std::sort(a.begin(), a.end());
      std::sort(b.begin(), b.end());
    }
    if (round % 6 == 0) { // and inputs without repeats the faster one
      a.erase(std::unique(a.begin(), a.end()), a.end());
      b.erase(std::unique(b.begin(), b.end()), b.end());
    }
    for (int op : {zyrSetUnion, zyrSetIntersection, zyrSetDifference, zyrSetSymmetricDifference})
      ASSERT_EQ(setResult(op, a, b), referenceSet(op, a, b)) << "op " << op << " round " << round;
    m = a.size();
    n = b.size();
    int count, *out;
    zyrMergeArrays(static_cast<int>(m), a.data(), static_cast<int>(n), b.data(), &count, &out);
    ASSERT_EQ(take(out, count), referenceSet(zyrSetUnion, a, b));
  }
}

TEST(ArrayUtilities, DuplicateElimination) {
  int n = 5;
  int *a = tracked({5, 3, 5, 1, 3});
  zyrStableEliminateDuplicates(&n, &a);
  EXPECT_EQ(take(a, n), V({5, 3, 1}));
  n = 5;
  a = tracked({5, 3, 5, 1, 3});
  zyrEliminateDuplicates(&n, &a);
  EXPECT_EQ(take(a, n), V({1, 3, 5}));
  n = 0;
  a = nullptr;
  zyrEliminateDuplicates(&n, &a);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(a, nullptr);
  zyrStableEliminateDuplicates(&n, &a);
  EXPECT_EQ(n, 0);

  // Large inputs go through the radix sort: compare with a plain first-occurrence filter.
  std::mt19937 rng(5);
  for (size_t size : {300u, 5000u, 40000u}) {
    V in = randomInts(rng, size, -2000, 2000);
    V expected;
    std::vector<bool> seen(4001);
    for (int x : in)
      if (!seen[x + 2000]) {
        seen[x + 2000] = true;
        expected.push_back(x);
      }
    n = static_cast<int>(size);
    a = tracked(in);
    zyrStableEliminateDuplicates(&n, &a);
    EXPECT_EQ(take(a, n), expected);
    n = static_cast<int>(size);
    a = tracked(in);
    zyrEliminateDuplicates(&n, &a);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(take(a, n), expected);
  }
}

// The radix sorts must give exactly what a stable comparison sort gives, ties included.
TEST(ArrayUtilities, SortsMatchAStableSortExactly) {
  std::mt19937 rng(3);
  for (size_t size : {0u, 1u, 2u, 17u, 255u, 256u, 1000u, 70000u}) {
    for (int range : {3, 100000, INT_MAX}) {
      V keys = randomInts(rng, size, range == INT_MAX ? INT_MIN : -range, range);
      if (size > 4) {
        keys[0] = INT_MIN;
        keys[1] = INT_MAX;
      }
      for (int ascending : {1, 0}) {
        V idx(size, -1);
        zyrSortIndexByIntKeys(ascending, static_cast<int>(size), keys.data(), idx.data());
        ASSERT_EQ(idx, referenceIndex(keys, ascending)) << size << " " << range;

        V sorted = keys;
        zyrSortIntArray(ascending, static_cast<int>(size), sorted.data());
        V expected = keys;
        if (ascending)
          std::sort(expected.begin(), expected.end());
        else
          std::sort(expected.begin(), expected.end(), std::greater<int>());
        ASSERT_EQ(sorted, expected);

        // Pairs sorted by their first integer keep the order of their second.
        V pairs;
        for (size_t i = 0; i < size; ++i) {
          pairs.push_back(keys[i]);
          pairs.push_back(static_cast<int>(i));
        }
        zyrSortIntTuples(ascending, static_cast<int>(size), 2, pairs.data());
        V order = referenceIndex(keys, ascending);
        for (size_t i = 0; i < size; ++i) {
          ASSERT_EQ(pairs[2 * i + 1], order[i]);
          ASSERT_EQ(pairs[2 * i], keys[order[i]]);
        }
      }
    }
  }
}

// Records sorted by wide keys of few distinct values, and keys whose high bytes are all equal (the
// passes over them are skipped), come out as a stable sort puts them.
TEST(ArrayUtilities, RadixSortOfRecordsIsStable) {
  struct Record {
    uint64_t m_key;
    int32_t m_at;
  };
  std::mt19937_64 rng(5);
  for (uint64_t spread : {uint64_t{1}, uint64_t{7}, uint64_t{1} << 20, ~uint64_t{0}}) {
    for (int64_t size : {0, 1, 2, 300, 20000}) {
      std::vector<Record> records;
      for (int64_t i = 0; i < size; ++i)
        records.push_back({(rng() % spread) << 17 | 0x5A, static_cast<int32_t>(i)});
      std::vector<Record> expected = records;
      std::stable_sort(expected.begin(), expected.end(),
                       [](const Record &a, const Record &b) { return a.m_key < b.m_key; });
      zyrRadixSort(records.data(), size, 0, 8, [](const Record &r) { return r.m_key; }, "test");
      for (int64_t i = 0; i < size; ++i)
        ASSERT_TRUE(records[i].m_key == expected[i].m_key && records[i].m_at == expected[i].m_at) << spread << " " << i;
    }
  }
}

TEST(ArrayUtilities, LexicalTupleSort) {
  V t = {2, 1, 9, 1, 5, 0, 2, 1, 3, 1, 5, 0, 0, 7, 7};
  zyrSortIntTuplesLexically(1, 5, 3, t.data());
  EXPECT_EQ(t, V({0, 7, 7, 1, 5, 0, 1, 5, 0, 2, 1, 3, 2, 1, 9}));
  zyrSortIntTuplesLexically(0, 5, 3, t.data());
  EXPECT_EQ(t, V({2, 1, 9, 2, 1, 3, 1, 5, 0, 1, 5, 0, 0, 7, 7}));
}

TEST(ArrayUtilities, DoubleSortsPlaceNaNAndKeepTies) {
  const double nan = std::nan("");
  std::vector<double> d = {2.0, nan, -1.0, 0.0, -0.0, 2.0};
  std::vector<int> idx(6);
  zyrSortIndexByDoubleKeys(1, 6, d.data(), idx.data());
  EXPECT_EQ(idx, V({2, 3, 4, 0, 5, 1}));
  zyrSortIndexByDoubleKeys(0, 6, d.data(), idx.data());
  EXPECT_EQ(idx, V({1, 0, 5, 3, 4, 2}));
  zyrSortDoubleArray(1, 6, d.data());
  EXPECT_EQ(d[0], -1.0);
  EXPECT_FALSE(std::signbit(d[1])); // 0.0 came before -0.0 and stays before it
  EXPECT_TRUE(std::signbit(d[2]));
  EXPECT_TRUE(std::isnan(d[5]));

  std::vector<double> tuples = {3, 0, 1, 1, 3, 2, 1, 3};
  zyrSortDoubleTuples(0, 4, 2, tuples.data());
  EXPECT_EQ(tuples, std::vector<double>({3, 0, 3, 2, 1, 1, 1, 3}));

  EXPECT_EQ(zyrCompareDoubleAscending(&d[0], &d[5]), 0);
  double one = 1, two = 2;
  EXPECT_EQ(zyrCompareDoubleAscending(&one, &two), -1);
  EXPECT_EQ(zyrCompareDoubleDescending(&one, &two), 1);
  int i1 = INT_MIN, i2 = INT_MAX;
  EXPECT_EQ(zyrCompareIntAscending(&i1, &i2), -1);
  EXPECT_EQ(zyrCompareIntDescending(&i1, &i2), 1);
}

TEST(ArrayUtilities, PointerAndStringSorts) {
  int cells[4];
  void *p[] = {&cells[2], &cells[0], &cells[3], &cells[1]};
  zyrSortPointerArray(1, 4, p);
  EXPECT_EQ(p[0], &cells[0]);
  EXPECT_EQ(p[3], &cells[3]);
  void *tuples[] = {&cells[1], &cells[3], &cells[0], &cells[2], &cells[1], &cells[0]};
  zyrSortPointerTuples(0, 3, 2, tuples);
  EXPECT_EQ(tuples[1], &cells[3]); // (1,3) before (1,0): equal first pointers keep their order
  EXPECT_EQ(tuples[3], &cells[0]);
  EXPECT_EQ(tuples[4], &cells[0]);
  int idx[4];
  void *keys[] = {&cells[3], &cells[1], &cells[3], &cells[0]};
  zyrSortIndexByPointerKeys(0, 4, keys, idx);
  EXPECT_EQ(V(idx, idx + 4), V({0, 2, 1, 3}));
  EXPECT_EQ(zyrComparePointerAscending(&keys[3], &keys[0]), -1);

  const char *names[] = {"beta", "Alpha", "beta", "alpha", nullptr};
  int sidx[5];
  zyrSortIndexByStringKeys(1, 5, names, sidx);
  EXPECT_EQ(V(sidx, sidx + 5), V({4, 1, 3, 0, 2}));
  zyrSortIndexByStringKeys(0, 5, names, sidx);
  EXPECT_EQ(V(sidx, sidx + 5), V({0, 2, 3, 1, 4}));
}

TEST(ArrayUtilities, PermutationsAndInverseMaps) {
  V a = {7, 8, 9};
  V b1 = {9, 7, 8}, b2 = {9, 7, 7};
  int *p = zyrFindArrayPermutation(3, a.data(), b1.data());
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(take(p, 3), V({1, 2, 0}));
  EXPECT_EQ(zyrFindArrayPermutation(3, a.data(), b2.data()), nullptr);
  EXPECT_EQ(zyrFindArrayPermutation(0, a.data(), b1.data()), nullptr);

  std::mt19937 rng(9);
  V big = randomInts(rng, 3000, 0, 50);
  V shuffled = big;
  std::shuffle(shuffled.begin(), shuffled.end(), rng);
  p = zyrFindArrayPermutation(3000, big.data(), shuffled.data());
  ASSERT_NE(p, nullptr);
  V perm = take(p, 3000);
  std::vector<bool> used(3000);
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(big[i], shuffled[perm[i]]);
    ASSERT_FALSE(used[perm[i]]);
    used[perm[i]] = true;
  }

  V map = {2, 0};
  int maximum = 5, *inverse = nullptr;
  ASSERT_EQ(zyrInvertMap(2, map.data(), &maximum, &inverse), 1);
  EXPECT_EQ(maximum, 2);
  EXPECT_EQ(take(inverse, 3), V({1, -1, 0}));
  EXPECT_EQ(zyrInvertMap(0, map.data(), &maximum, &inverse), 1);
  EXPECT_EQ(maximum, -1);
  EXPECT_EQ(inverse, nullptr);

  // Wide, sparse or negative maps are refused instead of wrapping or exhausting memory.
  V wide = {0, INT_MAX};
  EXPECT_EQ(zyrInvertMap(2, wide.data(), &maximum, &inverse), 0);
  EXPECT_EQ(maximum, -1);
  EXPECT_EQ(inverse, nullptr);
  V negative = {3, -1};
  EXPECT_EQ(zyrInvertMap(2, negative.data(), &maximum, &inverse), 0);
  V sparse = {0, 64 * 2 + 65536 - 1}; // exactly at the limit for two entries
  ASSERT_EQ(zyrInvertMap(2, sparse.data(), &maximum, &inverse), 1);
  EXPECT_EQ(inverse[maximum], 1);
  zyrMemory_free(inverse, "test");
  sparse[1] += 1;
  EXPECT_EQ(zyrInvertMap(2, sparse.data(), &maximum, &inverse), 0);
}

TEST(ArrayUtilities, SearchesAndChecks) {
  V s = {1, 4, 4, 9, 20};
  EXPECT_EQ(zyrBinarySearch(4, s.data(), 9), 3);
  EXPECT_EQ(zyrBinarySearch(4, s.data(), 1), 0);
  EXPECT_EQ(zyrBinarySearch(4, s.data(), 20), 4);
  EXPECT_EQ(zyrBinarySearch(4, s.data(), 5), -1);
  EXPECT_EQ(zyrBinarySearch(-1, s.data(), 1), -1);
  EXPECT_EQ(zyrIsSorted(1, s.data()), 1);
  // A single descent anywhere, in the four-wide part or the tail, is seen.
  for (int length : {2, 5, 8, 9, 4100, 8197}) {
    V ramp(length);
    std::iota(ramp.begin(), ramp.end(), -3);
    ASSERT_EQ(zyrIsSorted(length, ramp.data()), 1);
    for (int at = 1; at < length; at += (length > 20 ? 97 : 1)) {
      V bad = ramp;
      bad[at] = bad[at - 1] - 1;
      ASSERT_EQ(zyrIsSorted(length, bad.data()), 0) << length << " " << at;
    }
  }
  EXPECT_EQ(zyrIsSorted(5, s.data()), 1);
  V u = {2, 1};
  EXPECT_EQ(zyrIsSorted(2, u.data()), 0);
  V id = {0, 1, 2};
  EXPECT_EQ(zyrIsIdentityPermutation(3, id.data()), 1);
  EXPECT_EQ(zyrIsIdentityPermutation(2, u.data()), 0);
}

TEST(ArrayUtilities, VertexListComparisons) {
  int e1[] = {1, 2}, e2[] = {2, 1}, e3[] = {1, 3};
  EXPECT_EQ(zyrCompareEdges(e1, e2), 1);
  EXPECT_EQ(zyrCompareEdges(e1, e3), 0);
  int t1[] = {1, 2, 3}, t2[] = {3, 1, 2}, t3[] = {1, 2, 4}, t4[] = {2, 3, 1};
  EXPECT_EQ(zyrCompareTriangles(t1, t2), 1);
  EXPECT_EQ(zyrCompareTriangles(t1, t4), 1);
  EXPECT_EQ(zyrCompareTriangles(t1, t3), 0);
  int q1[] = {1, 2, 3, 4}, q2[] = {4, 3, 2, 1}, q3[] = {1, 2, 3, 5}, q4[] = {9, 2, 3, 4};
  EXPECT_EQ(zyrCompareQuadrilaterals(q1, q2), 1);
  EXPECT_EQ(zyrCompareQuadrilaterals(q1, q3), 0);
  EXPECT_EQ(zyrCompareQuadrilaterals(q1, q4), 0);
}

TEST(ArrayUtilities, PointBoxDistances) {
  const double box[] = {0, 0, 0, 2, 4, 6};
  double d, far;
  const double inside[] = {1, 1, 1};
  zyrGetPointBoxDistances(box, inside, &d, &far);
  EXPECT_EQ(d, 0.0);
  EXPECT_DOUBLE_EQ(far, 1 + 9 + 25); // corner (2, 4, 6)
  const double outside[] = {-1, 5, 3};
  zyrGetPointBoxDistances(box, outside, &d, &far);
  EXPECT_DOUBLE_EQ(d, 1 + 1);
  EXPECT_DOUBLE_EQ(far, 9 + 25 + 9);
}

} // namespace
