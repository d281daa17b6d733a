#include "ElementTopology.h"
#include "GeometricAlgorithms.h"
#include "zyrMemory.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

const int32_t kTypes = 8;
const int32_t kConventions = 8;

std::vector<int32_t> v(std::initializer_list<int32_t> values) { return values; }

int32_t itemCount(int32_t type, int32_t kind) {
  return kind == 0 ? ElementTopology_getNoOfVertices(type)
                   : kind == 1 ? ElementTopology_getNoOfEdges(type) : ElementTopology_getNoOfFaces(type);
}

const int32_t *forward(int32_t type, int32_t convention, int32_t kind, int mirrored) {
  return kind == 0 ? ElementTopology_getVertexNumbering(type, convention, mirrored)
                   : kind == 1 ? ElementTopology_getEdgeNumbering(type, convention, mirrored)
                               : ElementTopology_getFaceNumbering(type, convention, mirrored);
}

const int32_t *inverse(int32_t type, int32_t convention, int32_t kind, int mirrored) {
  return kind == 0 ? ElementTopology_getInverseVertexNumbering(type, convention, mirrored)
                   : kind == 1 ? ElementTopology_getInverseEdgeNumbering(type, convention, mirrored)
                               : ElementTopology_getInverseFaceNumbering(type, convention, mirrored);
}

int defined(int32_t type, int32_t convention, int32_t kind) {
  return kind == 0 ? ElementTopology_isVertexNumberingDefined(type, convention)
                   : kind == 1 ? ElementTopology_isEdgeNumberingDefined(type, convention)
                               : ElementTopology_isFaceNumberingDefined(type, convention);
}

int shifted(int32_t type, int32_t convention, int32_t kind) {
  return kind == 0 ? ElementTopology_isVertexNumberingShifted(type, convention)
                   : kind == 1 ? ElementTopology_isEdgeNumberingShifted(type, convention)
                               : ElementTopology_isFaceNumberingShifted(type, convention);
}

int reordered(int32_t type, int32_t convention, int32_t kind) {
  return kind == 0 ? ElementTopology_isVertexNumberingReordered(type, convention)
                   : kind == 1 ? ElementTopology_isEdgeNumberingReordered(type, convention)
                               : ElementTopology_isFaceNumberingReordered(type, convention);
}

std::vector<int32_t> mirrorOf(int32_t type, int32_t kind) {
  const int32_t *table = forward(type, zyrConvention_ZYR, kind, 1);
  const int32_t n = itemCount(type, kind);
  return n == 0 ? std::vector<int32_t>() : std::vector<int32_t>(table, table + n);
}

// Everything the stream received, as text.
template <class Writer> std::string capture(Writer write) {
  char *buffer = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&buffer, &size);
  write(stream);
  std::fclose(stream);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

// Right-handed reference elements: corners of the unit cube, unit right triangle prism, square
// pyramid of height 1 and the unit right tetrahedron.
std::vector<double> referenceCoordinates(int32_t type) {
  switch (type) {
  case ZYR_ELEMENT_TETRA_4:
    return {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
  case ZYR_ELEMENT_PYRA_5:
    return {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0.5, 0.5, 1};
  case ZYR_ELEMENT_PENTA_6:
    return {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 1, 0, 1, 1};
  case ZYR_ELEMENT_HEXA_8:
    return {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1};
  default:
    return {};
  }
}

// ---- the type table ----

TEST(ElementTypes, CountsNamesAndIds) {
  EXPECT_EQ(ElementTopology_getNoOfElementTypes(), 8);
  EXPECT_EQ(ElementTopology_getNoOfConventions(), 8);
  int32_t *types = nullptr, *conventions = nullptr;
  ASSERT_EQ(ElementTopology_getElementTypes(&types), 8);
  ASSERT_EQ(ElementTopology_getConventions(&conventions), 8);
  for (int32_t i = 0; i < 8; ++i) {
    EXPECT_EQ(types[i], i);
    EXPECT_EQ(conventions[i], i);
  }
  zyrMemory_free(types, "test");
  zyrMemory_free(conventions, "test");

  const char *typeNames[] = {"ZYR_ELEMENT_NODE",    "ZYR_ELEMENT_BAR_2",  "ZYR_ELEMENT_TRI_3",
                             "ZYR_ELEMENT_QUAD_4",  "ZYR_ELEMENT_TETRA_4", "ZYR_ELEMENT_PYRA_5",
                             "ZYR_ELEMENT_PENTA_6", "ZYR_ELEMENT_HEXA_8"};
  const char *conventionNames[] = {"zyrConvention_ZYR",    "zyrConvention_CGNS",   "zyrConvention_WEZ5",
                                   "zyrConvention_QO",     "zyrConvention_TARVEL", "zyrConvention_POLDIX",
                                   "zyrConvention_VTK",    "zyrConvention_BRUN"};
  for (int32_t i = 0; i < 8; ++i) {
    EXPECT_STREQ(ElementTopology_getElementTypeName(i), typeNames[i]);
    EXPECT_STREQ(ElementTopology_getConventionName(i), conventionNames[i]);
  }
  EXPECT_STREQ(ElementTopology_getConventionElementName(ZYR_ELEMENT_PENTA_6, zyrConvention_WEZ5), "Prism / wedge");
  EXPECT_STREQ(ElementTopology_getConventionElementName(ZYR_ELEMENT_NODE, zyrConvention_BRUN), "JXNode");

  const int32_t dims[] = {0, 1, 2, 2, 3, 3, 3, 3}, vertices[] = {1, 2, 3, 4, 4, 5, 6, 8},
                edges[] = {0, 1, 3, 4, 6, 8, 9, 12}, faces[] = {0, 0, 1, 1, 4, 5, 5, 6};
  const int32_t minFace[] = {0, 0, 3, 4, 3, 3, 3, 4}, maxFace[] = {0, 0, 3, 4, 3, 4, 4, 4};
  for (int32_t t = 0; t < kTypes; ++t) {
    EXPECT_EQ(ElementTopology_getDimensionality(t), dims[t]);
    // The foundation's vertex count is the one definition; the table agrees with it.
    EXPECT_EQ(ElementTopology_getNoOfVertices(t), vertices[t]);
    EXPECT_EQ(ElementTopology_getNoOfEdges(t), edges[t]);
    EXPECT_EQ(ElementTopology_getNoOfFaces(t), faces[t]);
    EXPECT_EQ(ElementTopology_getMinNoOfVerticesPerFace(t), minFace[t]) << t;
    EXPECT_EQ(ElementTopology_getMaxNoOfVerticesPerFace(t), maxFace[t]) << t;
  }
  int32_t mv, me, mf, mvf;
  ElementTopology_getMaxSizes(&mv, &me, &mf, &mvf);
  EXPECT_EQ(std::vector<int32_t>({mv, me, mf, mvf}), v({8, 12, 6, 4}));
}

TEST(ElementTypes, ConventionTypeCodes) {
  const int32_t codes[kTypes][kConventions] = {
      {0, 2, -1, -1, -1, -1, 1, 1},    {1, 3, 1, -1, -1, -1, 3, 2},    {2, 5, 2, -1, -1, -1, 5, 4},
      {3, 7, 3, -1, -1, -1, 9, 6},     {4, 10, 4, 4, -1, -1, 10, 9},   {5, 12, 7, 5, -1, -1, 14, 11},
      {6, 14, 5, 6, -1, -1, 13, 14},   {7, 17, 6, 8, -1, -1, 12, 17}};
  for (int32_t t = 0; t < kTypes; ++t)
    for (int32_t c = 0; c < kConventions; ++c)
      EXPECT_EQ(ElementTopology_getConventionElementType(t, c), codes[t][c]) << t << " " << c;
  EXPECT_EQ(ElementTopology_getConventionElementType(ZYR_ELEMENT_PYRA_5, zyrConvention_TARVEL), -1);
}

TEST(ElementTypes, ArgumentsOutsideTheTablesAreRefused) {
  for (int32_t bad : {-1, 8, 1000}) {
    EXPECT_EQ(ElementTopology_getElementTypeName(bad), nullptr);
    EXPECT_EQ(ElementTopology_getConventionName(bad), nullptr);
    EXPECT_EQ(ElementTopology_getNoOfEdges(bad), 0);
    EXPECT_EQ(ElementTopology_getNoOfFaces(bad), 0);
    EXPECT_EQ(ElementTopology_getMaxNoOfVerticesPerFace(bad), 0);
    EXPECT_EQ(ElementTopology_getConventionElementType(bad, 0), -1);
    EXPECT_EQ(ElementTopology_getConventionElementType(0, bad), -1);
    EXPECT_EQ(ElementTopology_isVertexNumberingDefined(bad, 0), 0);
    EXPECT_EQ(ElementTopology_isFaceNumberingShifted(0, bad), -1);
    EXPECT_EQ(ElementTopology_getInverseEdgeNumbering(bad, 1, 1), nullptr);
    int32_t count = 7;
    const int32_t *pairs = nullptr;
    EXPECT_EQ(ElementTopology_getEdgeVertices(bad, 0, &count, &pairs), 0);
    EXPECT_EQ(count, 0);
    int32_t items[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(ElementTopology_reorder(bad, 1, 0, 0, 0, 1, items), 0);
    EXPECT_EQ(ElementTopology_revalue(ZYR_ELEMENT_HEXA_8, bad, 0, 0, 0, 1, items), 0);
    EXPECT_EQ(ElementTopology_reorder(ZYR_ELEMENT_HEXA_8, 1, 0, bad, 0, 1, items), 0);
    EXPECT_EQ(ElementTopology_revalue(ZYR_ELEMENT_HEXA_8, 1, 0, 0, bad == -1 ? 2 : bad, 1, items), 0);
    EXPECT_EQ(std::vector<int32_t>(items, items + 8), v({0, 1, 2, 3, 4, 5, 6, 7}));
  }
  // A kind outside vertices, edges and faces is refused in the native convention too, where a
  // good kind has nothing to do.
  for (int32_t bad : {-1, 3}) {
    int32_t items[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(ElementTopology_reorder(ZYR_ELEMENT_HEXA_8, zyrConvention_ZYR, 0, bad, 0, 1, items), 0);
    EXPECT_EQ(ElementTopology_revalue(ZYR_ELEMENT_HEXA_8, zyrConvention_ZYR, 0, bad, 1, 1, items), 0);
    EXPECT_EQ(ElementTopology_reorder(ZYR_ELEMENT_HEXA_8, zyrConvention_ZYR, 0, 0, 0, 1, items), 1);
    EXPECT_EQ(std::vector<int32_t>(items, items + 8), v({0, 1, 2, 3, 4, 5, 6, 7}));
  }
}

// Faces walk their edges, every edge of a volume element lies on two faces run in opposite
// directions, and the faces of the right-handed reference element point outwards.
TEST(ElementTypes, FacesAreClosedAndOutward) {
  for (int32_t t = 0; t < kTypes; ++t) {
    int32_t noOfEdges = 0, noOfFaces = 0;
    const int32_t *pairs, *counts, *lists, *faceEdges, *reversed;
    ASSERT_EQ(ElementTopology_getEdgeVertices(t, zyrConvention_VTK, &noOfEdges, &pairs), 1);
    ASSERT_EQ(ElementTopology_getFaceVertices(t, zyrConvention_VTK, &noOfFaces, &counts, &lists), 1);
    int32_t sameFaces = 0;
    ASSERT_EQ(ElementTopology_getFaceEdges(t, &sameFaces, &faceEdges, &reversed), 1);
    ASSERT_EQ(sameFaces, noOfFaces);
    std::set<std::pair<int32_t, int32_t>> distinct;
    for (int32_t e = 0; e < noOfEdges; ++e) {
      EXPECT_LT(pairs[2 * e], ElementTopology_getNoOfVertices(t));
      EXPECT_LT(pairs[2 * e + 1], ElementTopology_getNoOfVertices(t));
      distinct.insert(std::minmax(pairs[2 * e], pairs[2 * e + 1]));
    }
    EXPECT_EQ(static_cast<int32_t>(distinct.size()), noOfEdges);

    std::vector<int32_t> forwardUses(noOfEdges, 0), backwardUses(noOfEdges, 0);
    for (int32_t f = 0; f < noOfFaces; ++f) {
      const int32_t k = counts[f];
      ASSERT_TRUE(k == 3 || k == 4);
      if (k == 3) {
        EXPECT_EQ(lists[4 * f + 3], -1);
        EXPECT_EQ(faceEdges[4 * f + 3], -1);
      }
      for (int32_t j = 0; j < k; ++j) {
        const int32_t a = lists[4 * f + j], b = lists[4 * f + (j + 1) % k], e = faceEdges[4 * f + j];
        ASSERT_GE(e, 0);
        ASSERT_LT(e, noOfEdges);
        if (reversed[4 * f + j]) {
          EXPECT_EQ(pairs[2 * e], b) << t << " face " << f;
          EXPECT_EQ(pairs[2 * e + 1], a) << t << " face " << f;
          ++backwardUses[e];
        } else {
          EXPECT_EQ(pairs[2 * e], a) << t << " face " << f;
          EXPECT_EQ(pairs[2 * e + 1], b) << t << " face " << f;
          ++forwardUses[e];
        }
      }
    }
    if (ElementTopology_getDimensionality(t) == 3) {
      for (int32_t e = 0; e < noOfEdges; ++e) {
        EXPECT_EQ(forwardUses[e], 1) << t << " edge " << e;
        EXPECT_EQ(backwardUses[e], 1) << t << " edge " << e;
      }
      const std::vector<double> xyz = referenceCoordinates(t);
      const int32_t nv = ElementTopology_getNoOfVertices(t);
      double centre[3] = {0, 0, 0};
      for (int32_t i = 0; i < nv; ++i)
        for (int c = 0; c < 3; ++c)
          centre[c] += xyz[3 * i + c] / nv;
      for (int32_t f = 0; f < noOfFaces; ++f) {
        // Newell's normal and the face centre.
        double normal[3] = {0, 0, 0}, middle[3] = {0, 0, 0};
        const int32_t k = counts[f];
        for (int32_t j = 0; j < k; ++j) {
          const double *p = &xyz[3 * lists[4 * f + j]], *q = &xyz[3 * lists[4 * f + (j + 1) % k]];
          normal[0] += (p[1] - q[1]) * (p[2] + q[2]);
          normal[1] += (p[2] - q[2]) * (p[0] + q[0]);
          normal[2] += (p[0] - q[0]) * (p[1] + q[1]);
          for (int c = 0; c < 3; ++c)
            middle[c] += p[c] / k;
        }
        double outward = 0;
        for (int c = 0; c < 3; ++c)
          outward += normal[c] * (middle[c] - centre[c]);
        EXPECT_GT(outward, 0) << ElementTopology_getElementTypeName(t) << " face " << f;
      }
    }
  }
}

// A reflected element's vertex i is vertex mirror[i] of the original; its edges and faces must be
// the original's mirrored edges and faces, the faces walked the other way round.
TEST(ElementTypes, MirrorsAreSelfInverseAndAgree) {
  for (int32_t t = 0; t < kTypes; ++t) {
    const std::vector<int32_t> mv = mirrorOf(t, 0), me = mirrorOf(t, 1), mf = mirrorOf(t, 2);
    for (const auto *m : {&mv, &me, &mf})
      for (size_t i = 0; i < m->size(); ++i)
        EXPECT_EQ((*m)[(*m)[i]], static_cast<int32_t>(i)) << t;
    int32_t noOfEdges, noOfFaces;
    const int32_t *pairs, *counts, *lists;
    ElementTopology_getEdgeVertices(t, 0, &noOfEdges, &pairs);
    ElementTopology_getFaceVertices(t, 0, &noOfFaces, &counts, &lists);
    for (int32_t e = 0; e < noOfEdges; ++e) {
      const int32_t o = me[e];
      EXPECT_EQ(std::minmax(mv[pairs[2 * e]], mv[pairs[2 * e + 1]]), std::minmax(pairs[2 * o], pairs[2 * o + 1]))
          << t << " edge " << e;
    }
    for (int32_t f = 0; f < noOfFaces; ++f) {
      const int32_t o = mf[f], k = counts[f];
      ASSERT_EQ(counts[o], k);
      // The image of face f, walked backwards, is face o up to the starting vertex.
      std::vector<int32_t> image, original(lists + 4 * o, lists + 4 * o + k);
      for (int32_t j = k - 1; j >= 0; --j)
        image.push_back(mv[lists[4 * f + j]]);
      bool found = false;
      for (int32_t s = 0; s < k && !found; ++s) {
        std::rotate(image.begin(), image.begin() + 1, image.end());
        found = image == original;
      }
      EXPECT_TRUE(found) << t << " face " << f;
    }
    // A mirrored reference element has the opposite handedness: negative volume.
    if (ElementTopology_getDimensionality(t) == 3) {
      std::vector<int32_t> element(mv.begin(), mv.end());
      double *volume = nullptr;
      ASSERT_EQ(GA_getVolumes(t, 0, 1, static_cast<int32_t>(element.size()), element.data(), 0,
                              referenceCoordinates(t).data(), &volume),
                1);
      EXPECT_LT(*volume, 0);
      zyrMemory_free(volume, "test");
    }
  }
}

// ---- numberings ----

TEST(Numberings, FlagsInversesAndMirrorsAreConsistent) {
  for (int32_t t = 0; t < kTypes; ++t)
    for (int32_t c = 0; c < kConventions; ++c)
      for (int32_t kind = 0; kind < 3; ++kind) {
        const int32_t n = itemCount(t, kind);
        const int32_t *table = forward(t, c, kind, 0);
        SCOPED_TRACE(testing::Message() << t << " " << c << " " << kind);
        if (!defined(t, c, kind)) {
          EXPECT_EQ(table, nullptr);
          EXPECT_EQ(forward(t, c, kind, 1), nullptr);
          EXPECT_EQ(inverse(t, c, kind, 0), nullptr);
          EXPECT_EQ(inverse(t, c, kind, 1), nullptr);
          EXPECT_EQ(shifted(t, c, kind), -1);
          EXPECT_EQ(reordered(t, c, kind), -1);
          continue;
        }
        ASSERT_NE(table, nullptr);
        bool hasZero = false, identity0 = true, identity1 = true;
        for (int32_t i = 0; i < n; ++i) {
          hasZero |= table[i] == 0;
          identity0 &= table[i] == i;
          identity1 &= table[i] == i + 1;
        }
        const int s = n > 0 && !hasZero ? 1 : 0;
        EXPECT_EQ(shifted(t, c, kind), s);
        EXPECT_EQ(reordered(t, c, kind), identity0 || identity1 ? 0 : 1);
        // Labels are a permutation of s .. n-1+s.
        std::vector<int32_t> labels(table, table + n);
        std::sort(labels.begin(), labels.end());
        for (int32_t i = 0; i < n; ++i)
          EXPECT_EQ(labels[i], i + s);
        const int32_t *inv = inverse(t, c, kind, 0), *mir = forward(t, c, kind, 1),
                      *invMir = inverse(t, c, kind, 1);
        const std::vector<int32_t> m = mirrorOf(t, kind);
        EXPECT_EQ(inv[s == 1 ? 0 : n], -1);
        EXPECT_EQ(invMir[s == 1 ? 0 : n], -1);
        for (int32_t i = 0; i < n; ++i) {
          EXPECT_EQ(inv[table[i]], i);
          EXPECT_EQ(mir[i], table[m[i]]);
          EXPECT_EQ(invMir[mir[i]], i);
        }
      }
}

TEST(Numberings, EmptyKindsAreDefinedAndNeitherShiftedNorReordered) {
  EXPECT_EQ(ElementTopology_isEdgeNumberingDefined(ZYR_ELEMENT_NODE, zyrConvention_CGNS), 1);
  EXPECT_EQ(ElementTopology_isEdgeNumberingShifted(ZYR_ELEMENT_NODE, zyrConvention_CGNS), 0);
  EXPECT_EQ(ElementTopology_isFaceNumberingReordered(ZYR_ELEMENT_BAR_2, zyrConvention_QO), 0);
  int32_t none = 0;
  EXPECT_EQ(ElementTopology_reorder(ZYR_ELEMENT_BAR_2, zyrConvention_CGNS, 1, 2, 0, 5, &none), 1);
  EXPECT_EQ(ElementTopology_revalue(ZYR_ELEMENT_BAR_2, zyrConvention_CGNS, 0, 2, 1, 0, &none), 1);
  // A bar has no face 0 to rename.
  EXPECT_EQ(ElementTopology_revalue(ZYR_ELEMENT_BAR_2, zyrConvention_CGNS, 1, 2, 0, 1, &none), 0);
  EXPECT_EQ(none, 0);
}

TEST(Numberings, WezHexahedraSwapThirdFourthAndSeventhEighth) {
  std::vector<int32_t> items = {10, 11, 12, 13, 14, 15, 16, 17, 20, 21, 22, 23, 24, 25, 26, 27};
  ASSERT_EQ(ElementTopology_reorder(ZYR_ELEMENT_HEXA_8, zyrConvention_WEZ5, 0, 0, 0, 2, items.data()), 1);
  EXPECT_EQ(items, v({10, 11, 13, 12, 14, 15, 17, 16, 20, 21, 23, 22, 24, 25, 27, 26}));
  ASSERT_EQ(ElementTopology_reorder(ZYR_ELEMENT_HEXA_8, zyrConvention_WEZ5, 0, 0, 1, 2, items.data()), 1);
  EXPECT_EQ(items, v({10, 11, 12, 13, 14, 15, 16, 17, 20, 21, 22, 23, 24, 25, 26, 27}));
}

TEST(Numberings, FaceLabelsOfHexahedraAndShiftedInverse) {
  std::vector<int32_t> faces = {0, 1, 2, 3, 4, 5};
  ASSERT_EQ(ElementTopology_revalue(ZYR_ELEMENT_HEXA_8, zyrConvention_WEZ5, 0, 2, 0, 6, faces.data()), 1);
  EXPECT_EQ(faces, v({5, 3, 2, 4, 1, 6}));
  ASSERT_EQ(ElementTopology_revalue(ZYR_ELEMENT_HEXA_8, zyrConvention_WEZ5, 0, 2, 1, 6, faces.data()), 1);
  EXPECT_EQ(faces, v({0, 1, 2, 3, 4, 5}));

  std::vector<int32_t> labels = {1, 0, 6};
  ASSERT_EQ(ElementTopology_revalue(ZYR_ELEMENT_HEXA_8, zyrConvention_CGNS, 0, 2, 1, 3, labels.data()), 1);
  EXPECT_EQ(labels, v({0, -1, 5}));
  // An unshifted numbering has no label n.
  std::vector<int32_t> brun = {6, 4};
  ASSERT_EQ(ElementTopology_revalue(ZYR_ELEMENT_HEXA_8, zyrConvention_BRUN, 0, 2, 1, 2, brun.data()), 1);
  EXPECT_EQ(brun, v({-1, 0}));
}

TEST(Numberings, ReorderMovesAndRevalueRenames) {
  // CGNS labels are shifted, not reordered: positions stay, values gain one.
  for (int32_t t = 0; t < kTypes; ++t) {
    const int32_t n = ElementTopology_getNoOfVertices(t);
    std::vector<int32_t> items(n);
    std::iota(items.begin(), items.end(), 0);
    const std::vector<int32_t> original = items;
    ASSERT_EQ(ElementTopology_reorder(t, zyrConvention_CGNS, 0, 0, 0, 1, items.data()), 1);
    EXPECT_EQ(items, original);
    ASSERT_EQ(ElementTopology_revalue(t, zyrConvention_CGNS, 0, 0, 0, n, items.data()), 1);
    for (int32_t i = 0; i < n; ++i)
      EXPECT_EQ(items[i], i + 1);
  }
  // A prism in the QO convention: native vertex i goes to position label - 1.
  std::vector<int32_t> prism = {0, 1, 2, 3, 4, 5};
  ASSERT_EQ(ElementTopology_reorder(ZYR_ELEMENT_PENTA_6, zyrConvention_QO, 0, 0, 0, 1, prism.data()), 1);
  EXPECT_EQ(prism, v({0, 3, 4, 1, 5, 2}));
  // Renaming the moved native numbers gives the convention's own 1 .. 6 in order.
  ASSERT_EQ(ElementTopology_revalue(ZYR_ELEMENT_PENTA_6, zyrConvention_QO, 0, 0, 0, 6, prism.data()), 1);
  EXPECT_EQ(prism, v({1, 2, 3, 4, 5, 6}));
}

TEST(Numberings, ConventionsThatCannotExpressAKindFailAndTouchNothing) {
  const std::vector<int32_t> original = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  for (int32_t t = ZYR_ELEMENT_BAR_2; t < kTypes; ++t) {
    std::vector<int32_t> items = original;
    EXPECT_EQ(ElementTopology_reorder(t, zyrConvention_VTK, 0, 1, 0, 1, items.data()), 0) << t;
    EXPECT_EQ(ElementTopology_revalue(t, zyrConvention_VTK, 0, 1, 1, 1, items.data()), 0) << t;
    EXPECT_EQ(items, original);
  }
  for (int32_t t : {ZYR_ELEMENT_QUAD_4, ZYR_ELEMENT_PYRA_5, ZYR_ELEMENT_PENTA_6, ZYR_ELEMENT_HEXA_8})
    for (int32_t kind = 0; kind < 3; ++kind)
      for (int mirrored = 0; mirrored <= 1; ++mirrored)
        for (int32_t direction = 0; direction <= 1; ++direction) {
          std::vector<int32_t> items = original;
          EXPECT_EQ(ElementTopology_reorder(t, zyrConvention_POLDIX, mirrored, kind, direction, 1, items.data()), 0);
          EXPECT_EQ(ElementTopology_revalue(t, zyrConvention_POLDIX, mirrored, kind, direction, 1, items.data()), 0);
          EXPECT_EQ(items, original);
        }
}

TEST(Numberings, MirroringInTheNativeConvention) {
  std::vector<int32_t> tetra = {0, 1, 2, 3};
  ASSERT_EQ(ElementTopology_reorder(ZYR_ELEMENT_TETRA_4, zyrConvention_ZYR, 1, 0, 0, 1, tetra.data()), 1);
  EXPECT_EQ(tetra, v({2, 1, 0, 3}));
  // Without mirroring the native convention is left alone; a kind that is none is still refused.
  EXPECT_EQ(ElementTopology_reorder(ZYR_ELEMENT_TETRA_4, zyrConvention_ZYR, 0, 2, 0, 1, tetra.data()), 1);
  EXPECT_EQ(ElementTopology_reorder(ZYR_ELEMENT_TETRA_4, zyrConvention_ZYR, 0, 9, 0, 1, tetra.data()), 0);
  EXPECT_EQ(tetra, v({2, 1, 0, 3}));
  // Mirrored face numbers of a prism swap its first two side faces.
  std::vector<int32_t> faces = {0, 1, 2, 3, 4};
  ASSERT_EQ(ElementTopology_revalue(ZYR_ELEMENT_PENTA_6, zyrConvention_ZYR, 1, 2, 0, 5, faces.data()), 1);
  EXPECT_EQ(faces, v({1, 0, 2, 3, 4}));
  // Mirrored into WEZ5: the mirrored face then takes its WEZ5 label.
  std::vector<int32_t> hexFaces = {0, 1, 2, 3, 4, 5};
  ASSERT_EQ(ElementTopology_revalue(ZYR_ELEMENT_HEXA_8, zyrConvention_WEZ5, 1, 2, 0, 6, hexFaces.data()), 1);
  EXPECT_EQ(hexFaces, v({5, 4, 2, 3, 1, 6}));
}

TEST(Numberings, EveryConversionComesBackAndAgreesWithRevalue) {
  std::mt19937 random(7);
  for (int32_t t = 0; t < kTypes; ++t)
    for (int32_t c = 0; c < kConventions; ++c)
      for (int32_t kind = 0; kind < 3; ++kind)
        for (int mirrored = 0; mirrored <= 1; ++mirrored) {
          const int32_t n = itemCount(t, kind);
          if (!defined(t, c, kind) || n == 0)
            continue;
          SCOPED_TRACE(testing::Message() << t << " " << c << " " << kind << " " << mirrored);
          const int32_t blocks = 3;
          std::vector<int32_t> items(static_cast<size_t>(blocks * n));
          for (auto &item : items)
            item = static_cast<int32_t>(random() % 1000);
          const std::vector<int32_t> original = items;
          ASSERT_EQ(ElementTopology_reorder(t, c, mirrored, kind, 0, blocks, items.data()), 1);
          ASSERT_EQ(ElementTopology_reorder(t, c, mirrored, kind, 1, blocks, items.data()), 1);
          EXPECT_EQ(items, original);

          // Native numbers in native places, moved into the convention and renamed, read
          // 0 .. n-1 (or 1 .. n) in order.
          std::vector<int32_t> local(static_cast<size_t>(n));
          std::iota(local.begin(), local.end(), 0);
          ASSERT_EQ(ElementTopology_reorder(t, c, mirrored, kind, 0, 1, local.data()), 1);
          ASSERT_EQ(ElementTopology_revalue(t, c, mirrored, kind, 0, n, local.data()), 1);
          const int s = shifted(t, c, kind);
          for (int32_t i = 0; i < n; ++i)
            EXPECT_EQ(local[i], i + s);
          ASSERT_EQ(ElementTopology_revalue(t, c, mirrored, kind, 1, n, local.data()), 1);
          ASSERT_EQ(ElementTopology_reorder(t, c, mirrored, kind, 1, 1, local.data()), 1);
          for (int32_t i = 0; i < n; ++i)
            EXPECT_EQ(local[i], i);
        }
}

TEST(Numberings, RevalueRefusesNumbersOutsideTheTable) {
  // Face numbers read from a file: one bad number refuses the list and changes nothing.
  std::vector<int32_t> faces = {5, 2, 7};
  EXPECT_EQ(ElementTopology_revalue(ZYR_ELEMENT_HEXA_8, zyrConvention_WEZ5, 0, 2, 1, 3, faces.data()), 0);
  EXPECT_EQ(faces, v({5, 2, 7}));
  faces = {1, -3};
  EXPECT_EQ(ElementTopology_revalue(ZYR_ELEMENT_HEXA_8, zyrConvention_WEZ5, 0, 2, 1, 2, faces.data()), 0);
  EXPECT_EQ(faces, v({1, -3}));
  faces = {6};
  EXPECT_EQ(ElementTopology_revalue(ZYR_ELEMENT_HEXA_8, zyrConvention_WEZ5, 0, 2, 0, 1, faces.data()), 0);
  faces = {6};
  EXPECT_EQ(ElementTopology_revalue(ZYR_ELEMENT_HEXA_8, zyrConvention_WEZ5, 0, 2, 1, 1, faces.data()), 1);
  EXPECT_EQ(faces, v({5}));
  EXPECT_EQ(ElementTopology_reorder(ZYR_ELEMENT_HEXA_8, zyrConvention_WEZ5, 0, 0, 0, -1, faces.data()), 0);
}

// ---- the report ----

std::string section(const std::string &text, const std::string &from, const std::string &to) {
  // Flag tables are found by their heading, not by the list of conventions above them.
  const size_t a = text.find(from + (from.rfind("\nzyrConvention_", 0) == 0 ? " " : ""));
  const size_t b = text.find(to, a == std::string::npos ? 0 : a + 1);
  if (a == std::string::npos || b == std::string::npos)
    return "<missing " + from + ">";
  return text.substr(a, b - a);
}

TEST(ElementTopologyPrint, HeaderAndListsOfTypesAndConventions) {
  const std::string text = capture(ElementTopology_print);
  EXPECT_EQ(text.substr(0, text.find("\nzyrConvention_ZYR\n                      Defined")),
            "Number of element types         = 8\n"
            "Number of labelling conventions = 8\n"
            "\n"
            "Element types:\n"
            "--------------\n"
            "ZYR_ELEMENT_NODE\n"
            "ZYR_ELEMENT_BAR_2\n"
            "ZYR_ELEMENT_TRI_3\n"
            "ZYR_ELEMENT_QUAD_4\n"
            "ZYR_ELEMENT_TETRA_4\n"
            "ZYR_ELEMENT_PYRA_5\n"
            "ZYR_ELEMENT_PENTA_6\n"
            "ZYR_ELEMENT_HEXA_8\n"
            "\n"
            "Labelling conventions:\n"
            "----------------------\n"
            "zyrConvention_ZYR\n"
            "zyrConvention_CGNS\n"
            "zyrConvention_WEZ5\n"
            "zyrConvention_QO\n"
            "zyrConvention_TARVEL\n"
            "zyrConvention_POLDIX\n"
            "zyrConvention_VTK\n"
            "zyrConvention_BRUN\n");
}

TEST(ElementTopologyPrint, FlagTables) {
  const std::string text = capture(ElementTopology_print);
  const std::string head = "                      Defined Shifted Reordered   Type\n"
                           "                      V E F   V E F   V E F\n";
  EXPECT_EQ(section(text, "\nzyrConvention_ZYR\n", "\nzyrConvention_CGNS\n"),
            "\nzyrConvention_ZYR\n" + head +
                "ZYR_ELEMENT_NODE      1 1 1   0 0 0   0 0 0          0\n"
                "ZYR_ELEMENT_BAR_2     1 1 1   0 0 0   0 0 0          1\n"
                "ZYR_ELEMENT_TRI_3     1 1 1   0 0 0   0 0 0          2\n"
                "ZYR_ELEMENT_QUAD_4    1 1 1   0 0 0   0 0 0          3\n"
                "ZYR_ELEMENT_TETRA_4   1 1 1   0 0 0   0 0 0          4\n"
                "ZYR_ELEMENT_PYRA_5    1 1 1   0 0 0   0 0 0          5\n"
                "ZYR_ELEMENT_PENTA_6   1 1 1   0 0 0   0 0 0          6\n"
                "ZYR_ELEMENT_HEXA_8    1 1 1   0 0 0   0 0 0          7\n");
  EXPECT_EQ(section(text, "\nzyrConvention_WEZ5\n", "\nzyrConvention_QO\n"),
            "\nzyrConvention_WEZ5\n" + head +
                "Vertex                1 1 1   1 0 0   0 0 0          *\n"
                "Edge                  1 1 1   1 1 0   0 0 0          1\n"
                "Triangle              1 0 1   1 * 1   0 * 0          2\n"
                "Quadrilateral         1 0 1   1 * 1   0 * 0          3\n"
                "Tetrahedron           1 0 1   1 * 1   0 * 0          4\n"
                "Pyramid               1 0 1   1 * 1   0 * 1          7\n"
                "Prism / wedge         1 0 1   1 * 1   0 * 1          5\n"
                "Hexahedron            1 0 1   1 * 1   1 * 1          6\n");
  EXPECT_EQ(section(text, "\nzyrConvention_POLDIX\n", "\nzyrConvention_VTK\n"),
            "\nzyrConvention_POLDIX\n" + head +
                "Vertex                1 1 1   1 0 0   0 0 0          *\n"
                "Edge                  1 1 1   1 1 0   0 0 0          *\n"
                "Triangle              1 1 1   1 1 1   0 1 0          *\n"
                "Quadrilateral         0 0 0   * * *   * * *          *\n"
                "Tetrahedron           1 1 1   1 1 1   0 1 1          *\n"
                "Pyramid               0 0 0   * * *   * * *          *\n"
                "Prism                 0 0 0   * * *   * * *          *\n"
                "Hexahedron            0 0 0   * * *   * * *          *\n");
  EXPECT_EQ(section(text, "\nzyrConvention_VTK\n", "\nzyrConvention_BRUN\n"),
            "\nzyrConvention_VTK\n" + head +
                "VTK_VERTEX            1 1 1   0 0 0   0 0 0          1\n"
                "VTK_LINE              1 0 1   0 * 0   0 * 0          3\n"
                "VTK_TRIANGLE          1 0 0   0 * *   0 * *          5\n"
                "VTK_QUAD              1 0 0   0 * *   0 * *          9\n"
                "VTK_TETRA             1 0 0   0 * *   0 * *         10\n"
                "VTK_PYRAMID           1 0 0   0 * *   0 * *         14\n"
                "VTK_WEDGE             1 0 0   0 * *   1 * *         13\n"
                "VTK_HEXAHEDRON        1 0 0   0 * *   0 * *         12\n");
}

TEST(ElementTopologyPrint, TopologyEdgesAndFaces) {
  const std::string text = capture(ElementTopology_print);
  EXPECT_EQ(section(text, "\nElement topology:\n", "\nPermutations:\n"),
            "\nElement topology:\n"
            "-----------------\n"
            "ZYR_ELEMENT_NODE      1  0  0\n"
            "ZYR_ELEMENT_BAR_2     2  1  0\n"
            "ZYR_ELEMENT_TRI_3     3  3  1\n"
            "ZYR_ELEMENT_QUAD_4    4  4  1\n"
            "ZYR_ELEMENT_TETRA_4   4  6  4\n"
            "ZYR_ELEMENT_PYRA_5    5  8  5\n"
            "ZYR_ELEMENT_PENTA_6   6  9  5\n"
            "ZYR_ELEMENT_HEXA_8    8 12  6\n"
            "\n"
            "Edge vertices:\n"
            "--------------\n"
            "\n"
            "ZYR_ELEMENT_NODE     \n"
            "ZYR_ELEMENT_BAR_2    [0, 1] \n"
            "ZYR_ELEMENT_TRI_3    [0, 1] [1, 2] [2, 0] \n"
            "ZYR_ELEMENT_QUAD_4   [0, 1] [1, 2] [2, 3] [3, 0] \n"
            "ZYR_ELEMENT_TETRA_4  [0, 1] [1, 2] [2, 0] [0, 3] [1, 3] [2, 3] \n"
            "ZYR_ELEMENT_PYRA_5   [0, 1] [1, 2] [2, 3] [3, 0] [0, 4] [1, 4] \n"
            "                     [2, 4] [3, 4] \n"
            "ZYR_ELEMENT_PENTA_6  [0, 1] [1, 2] [2, 0] [0, 3] [1, 4] [2, 5] \n"
            "                     [3, 4] [4, 5] [5, 3] \n"
            "ZYR_ELEMENT_HEXA_8   [0, 1] [1, 2] [2, 3] [3, 0] [0, 4] [1, 5] \n"
            "                     [2, 6] [3, 7] [4, 5] [5, 6] [6, 7] [7, 4] \n"
            "\n"
            "Vertices per face:\n"
            "------------------\n"
            "\n"
            "ZYR_ELEMENT_NODE               0   0\n"
            "ZYR_ELEMENT_BAR_2              0   0\n"
            "ZYR_ELEMENT_TRI_3              3   3\n"
            "ZYR_ELEMENT_QUAD_4             4   4\n"
            "ZYR_ELEMENT_TETRA_4            3   3\n"
            "ZYR_ELEMENT_PYRA_5             3   4\n"
            "ZYR_ELEMENT_PENTA_6            3   4\n"
            "ZYR_ELEMENT_HEXA_8             4   4\n"
            "\n"
            "ZYR_ELEMENT_NODE              \n"
            "ZYR_ELEMENT_BAR_2             \n"
            "ZYR_ELEMENT_TRI_3              3\n"
            "ZYR_ELEMENT_QUAD_4             4\n"
            "ZYR_ELEMENT_TETRA_4            3 3 3 3\n"
            "ZYR_ELEMENT_PYRA_5             4 3 3 3 3\n"
            "ZYR_ELEMENT_PENTA_6            4 4 4 3 3\n"
            "ZYR_ELEMENT_HEXA_8             4 4 4 4 4 4\n"
            "\n"
            "Face vertices:\n"
            "--------------\n"
            "\n"
            "ZYR_ELEMENT_NODE     \n"
            "ZYR_ELEMENT_BAR_2    \n"
            "ZYR_ELEMENT_TRI_3    [0, 1, 2] \n"
            "ZYR_ELEMENT_QUAD_4   [0, 1, 2, 3] \n"
            "ZYR_ELEMENT_TETRA_4  [0, 2, 1] [0, 1, 3] [1, 2, 3] [2, 0, 3] \n"
            "ZYR_ELEMENT_PYRA_5   [0, 3, 2, 1] [0, 1, 4] [1, 2, 4] [2, 3, 4] [3, 0, 4] \n"
            "ZYR_ELEMENT_PENTA_6  [0, 1, 4, 3] [1, 2, 5, 4] [2, 0, 3, 5] [0, 2, 1] [3, 4, 5] \n"
            "ZYR_ELEMENT_HEXA_8   [0, 3, 2, 1] [0, 1, 5, 4] [1, 2, 6, 5] [2, 3, 7, 6] [0, 4, 7, 3] [4, 5, 6, 7] \n");
}

TEST(ElementTopologyPrint, PermutationBlocks) {
  const std::string text = capture(ElementTopology_print);
  // A few blocks written out by hand.
  EXPECT_NE(text.find("ZYR_ELEMENT_HEXA_8   zyrConvention_WEZ5\n"
                      "  Vertices:  1  2  4  3  5  6  8  7\n"
                      "  Edges:     *\n"
                      "  Faces:     5  3  2  4  1  6\n"),
            std::string::npos);
  EXPECT_NE(text.find("ZYR_ELEMENT_NODE     zyrConvention_CGNS\n"
                      "  Vertices:  1\n"
                      "  Edges:   \n"
                      "  Faces:   \n"),
            std::string::npos);
  const std::string mirrored = section(text, "(b) With inversion:", "Inverse permutations:");
  EXPECT_NE(mirrored.find("ZYR_ELEMENT_TETRA_4  zyrConvention_ZYR\n"
                          "  Vertices:  2  1  0  3\n"
                          "  Edges:     1  0  2  5  4  3\n"
                          "  Faces:     0  2  1  3\n"),
            std::string::npos);
  const std::string inverses = text.substr(text.find("Inverse permutations:"));
  EXPECT_NE(inverses.find("ZYR_ELEMENT_HEXA_8   zyrConvention_CGNS\n"
                          "  Vertices: -1  0  1  2  3  4  5  6  7\n"),
            std::string::npos);
  EXPECT_NE(inverses.find("ZYR_ELEMENT_PENTA_6  zyrConvention_POLDIX\n"
                          "  Vertices:  *\n"
                          "  Edges:     *\n"
                          "  Faces:     *\n"),
            std::string::npos);

  // Structure: four groups (forward, mirrored, inverse, inverse mirrored) of 64 blocks, each
  // naming the type and convention and listing what the lookups give.
  size_t at = text.find("\nPermutations:\n");
  ASSERT_NE(at, std::string::npos);
  for (int inv = 0; inv <= 1; ++inv)
    for (int mirrored = 0; mirrored <= 1; ++mirrored)
      for (int32_t t = 0; t < kTypes; ++t)
        for (int32_t c = 0; c < kConventions; ++c) {
          std::string block = std::string(ElementTopology_getElementTypeName(t)) + std::string(
                                  21 - std::string(ElementTopology_getElementTypeName(t)).size(), ' ') +
                              ElementTopology_getConventionName(c) + "\n";
          const char *labels[] = {"  Vertices:", "  Edges:   ", "  Faces:   "};
          for (int32_t kind = 0; kind < 3; ++kind) {
            block += labels[kind];
            const int32_t *table = inv ? inverse(t, c, kind, mirrored) : forward(t, c, kind, mirrored);
            const int32_t n = itemCount(t, kind) + inv;
            char number[16];
            if (table == nullptr)
              block += "  *";
            else
              for (int32_t i = 0; i < n; ++i) {
                std::snprintf(number, sizeof number, " %2d", table[i]);
                block += number;
              }
            block += "\n";
          }
          const size_t found = text.find(block, at);
          ASSERT_NE(found, std::string::npos) << block;
          at = found + block.size();
        }
  EXPECT_EQ(text.substr(at), "\n");
}

} // namespace
