#ifndef ZYR_ARRAY_UTILITIES_H
#define ZYR_ARRAY_UTILITIES_H
// Free functions over plain arrays with a separate count: sorting, index sorts, duplicate
// elimination, permutations, inverse maps and set operations on integer lists, plus a few
// comparisons of vertex lists and a point-to-box distance.
//
// Every sort is stable: elements that compare equal keep their input order, in descending sorts
// as well, so results are the same on every platform. Sorts take their direction flag first:
// non-zero sorts ascending, zero descending. Doubles order NaN after every number (before every
// number when descending). Arrays a function creates come from the tracked allocator under the
// function's own name and belong to the caller. Counts below 1 mean an empty array.
#include <cstdint>

// Set-operation codes of zyrSetOperation.
enum zyrSetOperationCode {
  zyrSetUnion = 1,
  zyrSetIntersection = 2,
  zyrSetDifference = 4,
  zyrSetSymmetricDifference = 5
};

// qsort-style comparators: 1 when the first operand is greater, -1 when it is smaller, 0
// otherwise (the signs exchanged for the descending ones); for doubles "otherwise" includes NaN.
int zyrCompareIntAscending(const void *a, const void *b);
int zyrCompareIntDescending(const void *a, const void *b);
int zyrCompareDoubleAscending(const void *a, const void *b);
int zyrCompareDoubleDescending(const void *a, const void *b);
int zyrComparePointerAscending(const void *a, const void *b);
int zyrComparePointerDescending(const void *a, const void *b);

void zyrSortIntArray(int ascending, int n, int *array);
// n tuples of width integers, by their first integer only.
void zyrSortIntTuples(int ascending, int n, int width, int *array);
// n tuples of width integers, lexicographically.
void zyrSortIntTuplesLexically(int ascending, int n, int width, int *array);
// Fills index with 0 ... n-1 ordered by keys[index].
void zyrSortIndexByIntKeys(int ascending, int n, const int *keys, int *index);
void zyrSortDoubleArray(int ascending, int n, double *array);
void zyrSortDoubleTuples(int ascending, int n, int width, double *array);
void zyrSortIndexByDoubleKeys(int ascending, int n, const double *keys, int *index);
void zyrSortPointerArray(int ascending, int n, void **array);
void zyrSortPointerTuples(int ascending, int n, int width, void **array);
void zyrSortIndexByPointerKeys(int ascending, int n, void *const *keys, int *index);
// By strcmp of the keys; a NULL key sorts before every text.
void zyrSortIndexByStringKeys(int ascending, int n, const char *const *keys, int *index);

// *array is a tracked array of *count integers. Sorts ascending, keeps one of each value and
// shrinks the array to the new count.
void zyrEliminateDuplicates(int *count, int **array);
// Keeps the first occurrence of each value, in input order, and shrinks the array.
void zyrStableEliminateDuplicates(int *count, int **array);

// New array p with a[i] = b[p[i]] for every i, or NULL when b is not a rearrangement of a (or n
// is below 1). Equal values are paired in their order of occurrence.
int *zyrFindArrayPermutation(int n, const int *a, const int *b);

// Largest inverse-map size that zyrInvertMap and IntegerMap_getInverseMap build for a map of n
// entries: the inverse of a sparse or very wide map is refused rather than allocated.
int64_t zyrInverseMapSizeLimit(int64_t n);
// Inverse of an index map: *inverse becomes a new array of *maximum + 1 entries with
// inverse[map[i]] = i (the last i wins for repeated values) and -1 where no i maps. Answers 1.
// n below 1 gives *maximum = -1 and NULL and answers 1. A negative value, or a maximum whose
// inverse would exceed zyrInverseMapSizeLimit(n), gives -1 and NULL and answers 0.
int zyrInvertMap(int n, const int *map, int *maximum, int **inverse);

// Index of the value among indices 0 to lastIndex of an ascending array, or -1.
int zyrBinarySearch(int lastIndex, const int *array, int value);
int zyrIsIdentityPermutation(int n, const int *array);
int zyrIsSorted(int n, const int *array);

// Union of A and B as a new ascending array of distinct values; A and B are left as they are.
// Both empty: count 0 and NULL.
void zyrMergeArrays(int m, const int *a, int n, const int *b, int *count, int **result);
// One of the zyrSetOperationCode operations on A and B, taken as sets: a new ascending array of
// distinct values (NULL when empty) and its count, and 1. Any other code answers 0 and leaves the
// outputs alone. Intersection, difference and symmetric difference first sort A and B ascending
// in place when they are not already; callers that need their order keep a copy.
int zyrSetOperation(int operation, int m, int *a, int n, int *b, int *count, int **result);

// 1 when the two lists hold the same vertices: edges in the same or reversed order, triangles and
// quadrilaterals in any order.
int zyrCompareEdges(const int *first, const int *second);
int zyrCompareTriangles(const int *first, const int *second);
int zyrCompareQuadrilaterals(const int *first, const int *second);

// box: minimum x, y, z, maximum x, y, z. Squared distance from the point to the box (0 inside)
// and squared distance to the farthest of its eight corners.
void zyrGetPointBoxDistances(const double *box, const double *point, double *distance,
                             double *farthest);

#endif
