#ifndef ELEMENT_CONVERSION_H
#define ELEMENT_CONVERSION_H
// Whole-array conversions of element connectivity and local face numbers between labelling
// conventions, for element sets and face sets. Each conversion asks the element tables once for
// the position permutation (or value map) of one element and then applies it to every element in
// one pass, so that a copy and a conversion cost one sweep over the data. The results are exactly
// those of ElementTopology_reorder and ElementTopology_revalue.
#include <cstdint>

// Copies nel elements of the type's V vertices from `in` to `out` (which may be the same array),
// reordered as ElementTopology_reorder (kind vertices) would. 1, or 0 when the convention has no
// vertex numbering for the type (out untouched).
int ElementConversion_reorderVertices(int32_t type, int32_t convention, int mirrored, int32_t direction, int64_t nel,
                                      const int32_t *in, int32_t *out);

// 1 when the vertices of the type need no reordering in the convention (a shift alone moves
// nothing), 0 when they do, -1 when the convention cannot express them.
int ElementConversion_isVertexOrderNative(int32_t type, int32_t convention, int mirrored);

// Replaces n local face numbers in place as ElementTopology_revalue (kind faces) would. 1, or 0
// when the convention has no face numbering for the type or a number lies outside its table, or
// (direction 1) a label names no face; the numbers are untouched then.
int ElementConversion_revalueFaces(int32_t type, int32_t convention, int mirrored, int32_t direction, int64_t n,
                                   int32_t *faces);

#endif
