#include "KelvoElements.h"

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <vector>

namespace {

typedef std::array<double, 3> Point;

// Reference elements of positive volume in Gmsh's corner order.
std::vector<Point> reference(int32_t kind) {
  switch (kind) {
  case KELVO_TETRA:
    return {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  case KELVO_PYRA:
    return {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.5, 0.5, 1}};
  case KELVO_PENTA:
    return {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {0, 1, 1}};
  default:
    return {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
  }
}

TEST(KelvoElements, FacesOfVolumeElementsPointOutwardAndCoverEveryEdgeTwice) {
  for (int32_t kind = KELVO_TETRA; kind <= KELVO_HEXA; ++kind) {
    const KelvoElementType *type = KelvoElements_get(kind);
    const std::vector<Point> p = reference(kind);
    ASSERT_EQ(static_cast<int32_t>(p.size()), type->m_noOfVertices);
    Point centre = {0, 0, 0};
    for (const Point &q : p)
      for (int k = 0; k < 3; ++k)
        centre[k] += q[k] / p.size();
    std::multiset<std::pair<int, int>> edges;
    for (int32_t f = 0; f < type->m_noOfFaces; ++f) {
      const int32_t n = type->m_faceSize[f];
      Point normal = {0, 0, 0}, middle = {0, 0, 0};
      for (int32_t i = 0; i < n; ++i) {
        const Point &a = p[type->m_faceVertices[f][i]],
                    &b = p[type->m_faceVertices[f][(i + 1) % n]];
        normal[0] += (a[1] - b[1]) * (a[2] + b[2]);
        normal[1] += (a[2] - b[2]) * (a[0] + b[0]);
        normal[2] += (a[0] - b[0]) * (a[1] + b[1]);
        for (int k = 0; k < 3; ++k)
          middle[k] += a[k] / n;
        edges.insert({type->m_faceVertices[f][i], type->m_faceVertices[f][(i + 1) % n]});
      }
      double dot = 0;
      for (int k = 0; k < 3; ++k)
        dot += normal[k] * (middle[k] - centre[k]);
      EXPECT_GT(dot, 0) << type->m_name << " face " << f;
    }
    // A closed, consistently oriented surface walks every edge once each way.
    for (const auto &e : edges)
      EXPECT_EQ(edges.count({e.second, e.first}), 1u) << type->m_name;
  }
}

TEST(KelvoElements, SolverCodesAndLabels) {
  struct Expected {
    int32_t kind, code;
    std::vector<int32_t> faceLabels;
  };
  const Expected expected[] = {{KELVO_TETRA, 4, {1, 2, 3, 4}},
                               {KELVO_PYRA, 7, {5, 3, 2, 4, 1}},
                               {KELVO_PENTA, 5, {2, 3, 1, 4, 5}},
                               {KELVO_HEXA, 6, {5, 3, 2, 4, 1, 6}}};
  for (const Expected &e : expected) {
    const KelvoElementType *type = KelvoElements_get(e.kind);
    EXPECT_EQ(type->m_wez5Code, e.code) << type->m_name;
    EXPECT_EQ(std::vector<int32_t>(type->m_wez5Face, type->m_wez5Face + type->m_noOfFaces),
              e.faceLabels);
  }
  EXPECT_EQ(KelvoElements_get(KELVO_TRI)->m_wez5Code, 2);
  EXPECT_EQ(KelvoElements_get(KELVO_QUAD)->m_wez5Code, 3);
  EXPECT_EQ(KelvoElements_get(KELVO_KINDS), nullptr);
  EXPECT_EQ(KelvoElements_get(KELVO_OTHER), nullptr);
}

TEST(KelvoElements, SolverVertexOrderSwapsTheHexahedronsThirdAndFourthAndSeventhAndEighth) {
  const int32_t native[16] = {10, 11, 12, 13, 14, 15, 16, 17, 20, 21, 22, 23, 24, 25, 26, 27};
  int32_t wez5[16];
  KelvoElements_toWez5(KELVO_HEXA, 2, native, wez5);
  EXPECT_EQ(std::vector<int32_t>(wez5, wez5 + 16),
            (std::vector<int32_t>{10, 11, 13, 12, 14, 15, 17, 16, 20, 21, 23, 22, 24, 25, 27, 26}));
  for (int32_t kind : {KELVO_TETRA, KELVO_PYRA, KELVO_PENTA}) {
    const int32_t n = KelvoElements_get(kind)->m_noOfVertices;
    KelvoElements_toWez5(kind, 1, native, wez5);
    EXPECT_EQ(std::vector<int32_t>(wez5, wez5 + n), std::vector<int32_t>(native, native + n));
  }
}

TEST(KelvoElements, GmshTypes) {
  EXPECT_EQ(KelvoElements_gmshType(4)->m_kind, KELVO_TETRA);
  EXPECT_EQ(KelvoElements_gmshType(5)->m_kind, KELVO_HEXA);
  EXPECT_EQ(KelvoElements_gmshType(6)->m_kind, KELVO_PENTA);
  EXPECT_EQ(KelvoElements_gmshType(7)->m_kind, KELVO_PYRA);
  EXPECT_EQ(KelvoElements_gmshType(2)->m_kind, KELVO_TRI);
  EXPECT_EQ(KelvoElements_gmshType(3)->m_kind, KELVO_QUAD);
  EXPECT_EQ(KelvoElements_gmshType(15)->m_kind, KELVO_OTHER);
  EXPECT_EQ(KelvoElements_gmshType(11)->m_noOfNodes, 10);
  EXPECT_EQ(KelvoElements_gmshType(17)->m_noOfNodes, 20);
  EXPECT_EQ(KelvoElements_gmshType(0), nullptr);
  EXPECT_EQ(KelvoElements_gmshType(1000), nullptr);
}

} // namespace
