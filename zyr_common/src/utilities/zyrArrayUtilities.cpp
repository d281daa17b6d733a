// Array utilities. Integer sorts run as a stable least-significant-digit radix sort (a byte per
// pass, passes whose byte is the same everywhere skipped) because meshes hand us tens of millions
// of vertex and element numbers; small arrays and the other element types use the standard
// stable sort. Set operations walk sorted inputs once.
#include "zyrArrayUtilities.h"

#include "zyrMemory.h"
#include "zyrRadixSort.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Below this many elements a comparison sort beats the radix passes.
const int64_t kRadixThreshold = 256;

// Stable radix sort of words by the bytes [FIRST, FIRST + COUNT) of their value.
template <class Word, int FIRST, int COUNT>
void radixSort(Word *data, int64_t n, const char *tag) {
  zyrRadixSort(data, n, FIRST, COUNT, [](Word w) { return w; }, tag);
}

// Sign flip that turns a signed 32-bit value into an unsigned key of the requested order.
inline uint32_t orderFlip(int ascending) { return ascending ? 0x80000000u : 0x7FFFFFFFu; }

// 0 when the array is not ascending, 1 when it is, 2 when it is strictly ascending. Set
// operations ask this of every input, so it runs four pairs at a time where the machine can.
int ascendingOrder(const int *a, int64_t n) {
  const int64_t block = 4096; // checked for a descent after every block
  int64_t i = 1;
  int repeats = 0;
#if defined(__SSE2__)
  __m128i descentsV = _mm_setzero_si128(), repeatsV = _mm_setzero_si128();
  for (int64_t blockEnd = block; i + 4 <= n; blockEnd += block) {
    for (; i + 4 <= n && i < blockEnd; i += 4) {
      const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + i - 1));
      const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + i));
      descentsV = _mm_or_si128(descentsV, _mm_cmpgt_epi32(before, here));
      repeatsV = _mm_or_si128(repeatsV, _mm_cmpeq_epi32(before, here));
    }
    if (_mm_movemask_epi8(descentsV) != 0)
      return 0;
  }
  repeats = _mm_movemask_epi8(repeatsV) != 0;
#endif
  for (int64_t from = i; from < n; from += block) {
    const int64_t to = std::min(n, from + block);
    int descents = 0;
    for (int64_t k = from; k < to; ++k) {
      descents |= a[k - 1] > a[k];
      repeats |= a[k - 1] == a[k];
    }
    if (descents)
      return 0;
  }
  return repeats ? 1 : 2;
}

bool isAscending(const int *a, int64_t n) { return ascendingOrder(a, n) != 0; }

void sortInts(int ascending, int64_t n, int *a, const char *tag) {
  if (n < 2)
    return;
  if (ascending && isAscending(a, n))
    return;
  if (n < kRadixThreshold) {
    // Equal integers cannot be told apart, so any correct sort is as good as a stable one.
    if (ascending)
      std::sort(a, a + n);
    else
      std::sort(a, a + n, std::greater<int>());
    return;
  }
  uint32_t *u = reinterpret_cast<uint32_t *>(a);
  const uint32_t flip = orderFlip(ascending);
  for (int64_t i = 0; i < n; ++i)
    u[i] ^= flip;
  radixSort<uint32_t, 0, 4>(u, n, tag);
  for (int64_t i = 0; i < n; ++i)
    u[i] ^= flip;
}

// Stable index sort by integer keys read with a stride.
void sortIndexByStridedInts(int ascending, int64_t n, const int *keys, int64_t stride, int *index,
                            const char *tag) {
  if (n < 1)
    return;
  if (n < kRadixThreshold) {
    for (int64_t i = 0; i < n; ++i)
      index[i] = static_cast<int>(i);
    if (ascending)
      std::stable_sort(index, index + n,
                       [&](int x, int y) { return keys[x * stride] < keys[y * stride]; });
    else
      std::stable_sort(index, index + n,
                       [&](int x, int y) { return keys[x * stride] > keys[y * stride]; });
    return;
  }
  // Key in the high half, position in the low half: the radix sort of the high half is stable,
  // so equal keys stay in position order.
  uint64_t *words = zyrMemory_allocateArray<uint64_t>(n, tag);
  const uint32_t flip = orderFlip(ascending);
  for (int64_t i = 0; i < n; ++i)
    words[i] = (static_cast<uint64_t>(static_cast<uint32_t>(keys[i * stride]) ^ flip) << 32) |
               static_cast<uint64_t>(i);
  radixSort<uint64_t, 4, 4>(words, n, tag);
  for (int64_t i = 0; i < n; ++i)
    index[i] = static_cast<int>(words[i] & 0xFFFFFFFFu);
  zyrMemory_free(words, tag);
}

template <class Less>
void sortIndexWith(int64_t n, int *index, Less less) {
  for (int64_t i = 0; i < n; ++i)
    index[i] = static_cast<int>(i);
  std::stable_sort(index, index + n, less);
}

// Rearranges n tuples of width elements into the order given by index.
template <class T>
void permuteTuples(T *a, int64_t n, int64_t width, const int *index, const char *tag) {
  T *copy = zyrMemory_allocateArray<T>(n * width, tag);
  for (int64_t k = 0; k < n; ++k)
    std::memcpy(copy + k * width, a + static_cast<int64_t>(index[k]) * width,
                static_cast<size_t>(width) * sizeof(T));
  std::memcpy(a, copy, static_cast<size_t>(n * width) * sizeof(T));
  zyrMemory_free(copy, tag);
}

// Strict weak orders for doubles with NaN placed last (ascending) or first (descending).
inline bool doubleBefore(int ascending, double x, double y) {
  if (ascending)
    return x < y || (std::isnan(y) && !std::isnan(x));
  return x > y || (std::isnan(x) && !std::isnan(y));
}

inline uintptr_t address(const void *p) { return reinterpret_cast<uintptr_t>(p); }

inline bool pointerBefore(int ascending, const void *x, const void *y) {
  return ascending ? address(x) < address(y) : address(x) > address(y);
}

// Keeps the first of each run of equal values of an ascending array; answers the new count.
int64_t compactSorted(int *a, int64_t n) {
  if (n < 1)
    return 0;
  int64_t k = 1;
  for (int64_t i = 1; i < n; ++i)
    if (a[i] != a[k - 1])
      a[k++] = a[i];
  return k;
}

// Shrinks a result array to its final count; an empty result is released.
int *fitResult(int *array, int64_t count, const char *tag) {
  if (count < 1) {
    zyrMemory_free(array, tag);
    return nullptr;
  }
  return zyrMemory_reallocateArray(array, count, tag);
}

// One walk over two ascending arrays, writing each distinct value once when the operation keeps
// it: values only in A, only in B, or in both. The loop has no data-dependent branches: every
// step writes its candidate and counts it only when it is kept. With repeats in the input,
// "previous" (the last value stepped over, wider than any int at the start) suppresses them.
template <bool ONLY_A, bool ONLY_B, bool BOTH, bool DISTINCT>
int64_t mergeWalk(const int *a, int64_t m, const int *b, int64_t n, int *out) {
  int64_t i = 0, j = 0, k = 0;
  int64_t previous = INT64_MIN;
  while (i < m && j < n) {
    const int x = a[i], y = b[j];
    const int64_t takeA = x <= y, takeB = y <= x, both = takeA & takeB;
    const int v = std::min(x, y);
    const int64_t wanted = (both & BOTH) | (takeA & (1 - takeB) & ONLY_A) |
                           (takeB & (1 - takeA) & ONLY_B);
    out[k] = v;
    if (DISTINCT) {
      k += wanted;
    } else {
      k += wanted & static_cast<int64_t>(v != previous);
      // A value kept once, or found in both lists, must not come out again from a repeat.
      const int64_t step = -(wanted | both); // all ones or zero
      previous = (v & step) | (previous & ~step);
    }
    i += takeA;
    j += takeB;
  }
  if (DISTINCT) {
    if (ONLY_A && i < m) {
      std::memcpy(out + k, a + i, static_cast<size_t>(m - i) * sizeof(int));
      k += m - i;
    }
    if (ONLY_B && j < n) {
      std::memcpy(out + k, b + j, static_cast<size_t>(n - j) * sizeof(int));
      k += n - j;
    }
    return k;
  }
  if (ONLY_A)
    for (; i < m; ++i)
      if (a[i] != previous)
        out[k++] = previous = a[i];
  if (ONLY_B)
    for (; j < n; ++j)
      if (b[j] != previous)
        out[k++] = previous = b[j];
  return k;
}

// The walk for one operation code on two ascending arrays, the faster one when neither repeats
// a value.
int64_t walk(int operation, const int *a, int64_t m, const int *b, int64_t n, bool distinct,
             int *out) {
  switch (operation) {
  case zyrSetUnion:
    return distinct ? mergeWalk<true, true, true, true>(a, m, b, n, out)
                    : mergeWalk<true, true, true, false>(a, m, b, n, out);
  case zyrSetIntersection:
    return distinct ? mergeWalk<false, false, true, true>(a, m, b, n, out)
                    : mergeWalk<false, false, true, false>(a, m, b, n, out);
  case zyrSetDifference:
    return distinct ? mergeWalk<true, false, false, true>(a, m, b, n, out)
                    : mergeWalk<true, false, false, false>(a, m, b, n, out);
  default:
    return distinct ? mergeWalk<true, true, false, true>(a, m, b, n, out)
                    : mergeWalk<true, true, false, false>(a, m, b, n, out);
  }
}

} // namespace

int zyrCompareIntAscending(const void *a, const void *b) {
  const int x = *static_cast<const int *>(a), y = *static_cast<const int *>(b);
  return (x > y) - (x < y);
}

int zyrCompareIntDescending(const void *a, const void *b) { return zyrCompareIntAscending(b, a); }

int zyrCompareDoubleAscending(const void *a, const void *b) {
  const double x = *static_cast<const double *>(a), y = *static_cast<const double *>(b);
  if (x > y)
    return 1;
  if (x < y)
    return -1;
  return 0;
}

int zyrCompareDoubleDescending(const void *a, const void *b) {
  return zyrCompareDoubleAscending(b, a);
}

int zyrComparePointerAscending(const void *a, const void *b) {
  const uintptr_t x = address(*static_cast<void *const *>(a));
  const uintptr_t y = address(*static_cast<void *const *>(b));
  return (x > y) - (x < y);
}

int zyrComparePointerDescending(const void *a, const void *b) {
  return zyrComparePointerAscending(b, a);
}

void zyrSortIntArray(int ascending, int n, int *array) { sortInts(ascending, n, array, __func__); }

void zyrSortIntTuples(int ascending, int n, int width, int *array) {
  if (n < 2 || width < 1)
    return;
  if (width == 1) {
    sortInts(ascending, n, array, __func__);
    return;
  }
  int *index = zyrMemory_allocateArray<int>(n, __func__);
  sortIndexByStridedInts(ascending, n, array, width, index, __func__);
  permuteTuples(array, n, width, index, __func__);
  zyrMemory_free(index, __func__);
}

void zyrSortIntTuplesLexically(int ascending, int n, int width, int *array) {
  if (n < 2 || width < 1)
    return;
  const int64_t w = width;
  int *index = zyrMemory_allocateArray<int>(n, __func__);
  sortIndexWith(n, index, [&](int x, int y) {
    const int *p = array + x * w, *q = array + y * w;
    for (int64_t c = 0; c < w; ++c)
      if (p[c] != q[c])
        return ascending ? p[c] < q[c] : p[c] > q[c];
    return false;
  });
  permuteTuples(array, n, w, index, __func__);
  zyrMemory_free(index, __func__);
}

void zyrSortIndexByIntKeys(int ascending, int n, const int *keys, int *index) {
  sortIndexByStridedInts(ascending, n, keys, 1, index, __func__);
}

void zyrSortDoubleArray(int ascending, int n, double *array) {
  if (n < 2)
    return;
  std::stable_sort(array, array + n,
                   [ascending](double x, double y) { return doubleBefore(ascending, x, y); });
}

void zyrSortDoubleTuples(int ascending, int n, int width, double *array) {
  if (n < 2 || width < 1)
    return;
  const int64_t w = width;
  int *index = zyrMemory_allocateArray<int>(n, __func__);
  sortIndexWith(n, index,
                [&](int x, int y) { return doubleBefore(ascending, array[x * w], array[y * w]); });
  permuteTuples(array, n, w, index, __func__);
  zyrMemory_free(index, __func__);
}

void zyrSortIndexByDoubleKeys(int ascending, int n, const double *keys, int *index) {
  if (n < 1)
    return;
  sortIndexWith(n, index, [&](int x, int y) { return doubleBefore(ascending, keys[x], keys[y]); });
}

void zyrSortPointerArray(int ascending, int n, void **array) {
  if (n < 2)
    return;
  // Equal addresses cannot be told apart: no need for a stable sort.
  std::sort(array, array + n,
            [ascending](const void *x, const void *y) { return pointerBefore(ascending, x, y); });
}

void zyrSortPointerTuples(int ascending, int n, int width, void **array) {
  if (n < 2 || width < 1)
    return;
  const int64_t w = width;
  int *index = zyrMemory_allocateArray<int>(n, __func__);
  sortIndexWith(n, index,
                [&](int x, int y) { return pointerBefore(ascending, array[x * w], array[y * w]); });
  permuteTuples(array, n, w, index, __func__);
  zyrMemory_free(index, __func__);
}

void zyrSortIndexByPointerKeys(int ascending, int n, void *const *keys, int *index) {
  if (n < 1)
    return;
  sortIndexWith(n, index, [&](int x, int y) { return pointerBefore(ascending, keys[x], keys[y]); });
}

void zyrSortIndexByStringKeys(int ascending, int n, const char *const *keys, int *index) {
  if (n < 1)
    return;
  sortIndexWith(n, index, [&](int x, int y) {
    const char *p = ascending ? keys[x] : keys[y];
    const char *q = ascending ? keys[y] : keys[x];
    if (p == nullptr || q == nullptr)
      return p == nullptr && q != nullptr;
    return std::strcmp(p, q) < 0;
  });
}

void zyrEliminateDuplicates(int *count, int **array) {
  const int64_t n = *count;
  if (n < 1) {
    *count = 0;
    return;
  }
  sortInts(1, n, *array, __func__);
  const int64_t kept = compactSorted(*array, n);
  if (kept < n)
    *array = zyrMemory_reallocateArray(*array, kept, __func__);
  *count = static_cast<int>(kept);
}

void zyrStableEliminateDuplicates(int *count, int **array) {
  const int64_t n = *count;
  if (n < 1)
    return;
  int *a = *array;
  int *index = zyrMemory_allocateArray<int>(n, __func__);
  sortIndexByStridedInts(1, n, a, 1, index, __func__);
  // The index sort is stable, so the first index of each run of equal values is the earliest
  // occurrence of that value.
  unsigned char *keep = zyrMemory_allocateZeroedArray<unsigned char>(n, __func__);
  for (int64_t k = 0; k < n; ++k)
    if (k == 0 || a[index[k]] != a[index[k - 1]])
      keep[index[k]] = 1;
  int64_t kept = 0;
  for (int64_t i = 0; i < n; ++i)
    if (keep[i])
      a[kept++] = a[i];
  zyrMemory_free(keep, __func__);
  zyrMemory_free(index, __func__);
  if (kept < n)
    *array = zyrMemory_reallocateArray(a, kept, __func__);
  *count = static_cast<int>(kept);
}

int *zyrFindArrayPermutation(int n, const int *a, const int *b) {
  if (n < 1)
    return nullptr;
  int *ia = zyrMemory_allocateArray<int>(n, __func__);
  int *ib = zyrMemory_allocateArray<int>(n, __func__);
  sortIndexByStridedInts(1, n, a, 1, ia, __func__);
  sortIndexByStridedInts(1, n, b, 1, ib, __func__);
  int *p = nullptr;
  int k = 0;
  while (k < n && a[ia[k]] == b[ib[k]])
    ++k;
  if (k == n) {
    p = zyrMemory_allocateArray<int>(n, __func__);
    for (k = 0; k < n; ++k)
      p[ia[k]] = ib[k];
  }
  zyrMemory_free(ib, __func__);
  zyrMemory_free(ia, __func__);
  return p;
}

int64_t zyrInverseMapSizeLimit(int64_t n) {
  // Dense maps up to 2^28 entries (1 GiB); a map may be sparse by a factor of 64 at most.
  const int64_t absolute = int64_t(1) << 28;
  const int64_t sparse = 64 * std::max<int64_t>(n, 0) + 65536;
  return std::min(absolute, sparse);
}

int zyrInvertMap(int n, const int *map, int *maximum, int **inverse) {
  *maximum = -1;
  *inverse = nullptr;
  if (n < 1)
    return 1;
  int largest = map[0];
  for (int i = 0; i < n; ++i) {
    if (map[i] < 0)
      return 0;
    largest = std::max(largest, map[i]);
  }
  const int64_t size = static_cast<int64_t>(largest) + 1;
  if (size > zyrInverseMapSizeLimit(n))
    return 0;
  int *result = zyrMemory_allocateArray<int>(size, __func__);
  std::fill(result, result + size, -1);
  for (int i = 0; i < n; ++i)
    result[map[i]] = i;
  *maximum = largest;
  *inverse = result;
  return 1;
}

int zyrBinarySearch(int lastIndex, const int *array, int value) {
  int low = 0, high = lastIndex;
  while (low <= high) {
    const int middle = low + ((high - low) >> 1);
    if (array[middle] == value)
      return middle;
    if (value < array[middle])
      high = middle - 1;
    else
      low = middle + 1;
  }
  return -1;
}

int zyrIsIdentityPermutation(int n, const int *array) {
  for (int i = 0; i < n; ++i)
    if (array[i] != i)
      return 0;
  return 1;
}

int zyrIsSorted(int n, const int *array) { return isAscending(array, n) ? 1 : 0; }

void zyrMergeArrays(int m, const int *a, int n, const int *b, int *count, int **result) {
  const int64_t mm = std::max(m, 0), nn = std::max(n, 0);
  *count = 0;
  *result = nullptr;
  if (mm + nn == 0)
    return;
  int *out = zyrMemory_allocateArray<int>(mm + nn, __func__);
  int64_t k;
  const int orderA = ascendingOrder(a, mm), orderB = ascendingOrder(b, nn);
  if (orderA != 0 && orderB != 0) {
    k = walk(zyrSetUnion, a, mm, b, nn, orderA == 2 && orderB == 2, out);
  } else {
    if (mm > 0)
      std::memcpy(out, a, static_cast<size_t>(mm) * sizeof(int));
    if (nn > 0)
      std::memcpy(out + mm, b, static_cast<size_t>(nn) * sizeof(int));
    sortInts(1, mm + nn, out, __func__);
    k = compactSorted(out, mm + nn);
  }
  *result = fitResult(out, k, __func__);
  *count = static_cast<int>(k);
}

int zyrSetOperation(int operation, int m, int *a, int n, int *b, int *count, int **result) {
  if (operation == zyrSetUnion) {
    zyrMergeArrays(m, a, n, b, count, result);
    return 1;
  }
  if (operation != zyrSetIntersection && operation != zyrSetDifference &&
      operation != zyrSetSymmetricDifference)
    return 0;
  const int64_t mm = std::max(m, 0), nn = std::max(n, 0);
  // Sorted in place when not ascending already; a sorted copy may hold repeats.
  int orderA = ascendingOrder(a, mm), orderB = ascendingOrder(b, nn);
  if (orderA == 0) {
    sortInts(1, mm, a, __func__);
    orderA = 1;
  }
  if (orderB == 0) {
    sortInts(1, nn, b, __func__);
    orderB = 1;
  }
  int64_t size = operation == zyrSetIntersection ? std::min(mm, nn)
                 : operation == zyrSetDifference ? mm
                                                 : mm + nn;
  int *out = zyrMemory_allocateArray<int>(size, __func__);
  int64_t k = 0;
  if (size > 0)
    k = walk(operation, a, mm, b, nn, orderA == 2 && orderB == 2, out);
  *result = fitResult(out, k, __func__);
  *count = static_cast<int>(k);
  return 1;
}

int zyrCompareEdges(const int *first, const int *second) {
  return (first[0] == second[0] && first[1] == second[1]) ||
                 (first[0] == second[1] && first[1] == second[0])
             ? 1
             : 0;
}

int zyrCompareTriangles(const int *first, const int *second) {
  for (int p = 0; p < 3; ++p) {
    if (second[p] != first[0])
      continue;
    int rest[2], r = 0;
    for (int q = 0; q < 3; ++q)
      if (q != p)
        rest[r++] = second[q];
    return zyrCompareEdges(first + 1, rest);
  }
  return 0;
}

int zyrCompareQuadrilaterals(const int *first, const int *second) {
  for (int p = 0; p < 4; ++p) {
    if (second[p] != first[0])
      continue;
    int rest[3], r = 0;
    for (int q = 0; q < 4; ++q)
      if (q != p)
        rest[r++] = second[q];
    return zyrCompareTriangles(first + 1, rest);
  }
  return 0;
}

void zyrGetPointBoxDistances(const double *box, const double *point, double *distance,
                             double *farthest) {
  double inside = 0.0, far = 0.0;
  for (int axis = 0; axis < 3; ++axis) {
    const double low = box[axis], high = box[axis + 3], x = point[axis];
    if (x < low)
      inside += (x - low) * (x - low);
    else if (x > high)
      inside += (x - high) * (x - high);
    // The farthest corner takes, per axis, whichever bound lies farther from the point.
    far += std::max((x - low) * (x - low), (x - high) * (x - high));
  }
  *distance = inside;
  *farthest = far;
}
