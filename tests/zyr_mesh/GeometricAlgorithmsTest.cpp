#include "ElementTopology.h"
#include "GeometricAlgorithms.h"
#include "zyrMemory.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Points = std::vector<double>;

std::vector<int32_t> v(std::initializer_list<int32_t> values) { return values; }

int32_t count(const Points &points) { return static_cast<int32_t>(points.size() / 3); }

struct Identified {
  int status = 0;
  int32_t matched = -1;
  std::vector<int32_t> map;
  bool operator==(const Identified &o) const { return status == o.status && matched == o.matched && map == o.map; }
};

std::ostream &operator<<(std::ostream &out, const Identified &r) {
  out << "status " << r.status << " matched " << r.matched << " map";
  for (int32_t m : r.map)
    out << " " << m;
  return out;
}

using IdentifyFunction = int (*)(int32_t, const double *, int32_t, const double *, int32_t *, int32_t **);

Identified identify(IdentifyFunction function, const Points &set1, const Points &set2) {
  Identified result;
  int32_t *map = nullptr;
  result.status = function(count(set1), set1.data(), count(set2), set2.data(), &result.matched, &map);
  if (map != nullptr)
    result.map.assign(map, map + count(set1));
  zyrMemory_free(map, "test");
  return result;
}

// Point identification written plainly, independently of the library: every set-2 point is
// looked at for every set-1 point, in sweep order, and kept when its sweep coordinate lies within
// the tolerance of the set-1 point's.
Identified literalIdentify(const Points &set1, const Points &set2) {
  const int32_t n1 = count(set1), n2 = count(set2);
  Identified result;
  result.status = 1;
  result.matched = 0;
  result.map.assign(static_cast<size_t>(n1), -1);
  if (n1 == 0)
    return result;
  double low[3], high[3], extent[3];
  for (int a = 0; a < 3; ++a) {
    low[a] = 1.7976931348623157e308;
    high[a] = -1.7976931348623157e308;
  }
  auto grow = [&](const Points &set) {
    for (size_t i = 0; i < set.size(); i += 3)
      for (int a = 0; a < 3; ++a) {
        if (set[i + a] > high[a])
          high[a] = set[i + a];
        if (set[i + a] < low[a])
          low[a] = set[i + a];
      }
    for (int a = 0; a < 3; ++a)
      extent[a] = high[a] - low[a];
  };
  grow(set1);
  if (extent[0] + extent[1] + extent[2] < 1e-30)
    grow(set2);
  int axes[3] = {0, 1, 2};
  for (int pass = 0; pass < 2; ++pass)
    for (int i = 0; i < 2; ++i)
      if (extent[axes[i + 1]] > extent[axes[i]])
        std::swap(axes[i], axes[i + 1]);
  const int axis = axes[0];
  std::vector<int32_t> o2(static_cast<size_t>(n2));
  std::iota(o2.begin(), o2.end(), 0);
  std::stable_sort(o2.begin(), o2.end(), [&](int32_t a, int32_t b) {
    const double x = set2[3 * a + axis], y = set2[3 * b + axis];
    return (!std::isnan(x) && std::isnan(y)) || x < y;
  });
  double t = 1e-5 * extent[axis];
  if (t < 1e-17)
    t = 1e-17;
  for (int32_t p = 0; p < n1; ++p) {
    const double x = set1[3 * p + axis];
    double best = t * t;
    int32_t choice = -1;
    for (int32_t q : o2) {
      const double c = set2[3 * q + axis];
      if (!(c >= x - t && c <= x + t))
        continue;
      const double d = GA_getSquaredDistance(&set1[3 * p], &set2[3 * q]);
      if (d < best) {
        best = d;
        choice = q;
      }
    }
    if (choice >= 0) {
      result.map[p] = choice;
      ++result.matched;
    }
  }
  return result;
}

void expectSameIdentification(const Points &set1, const Points &set2, const std::string &what) {
  const Identified literal = literalIdentify(set1, set2);
  EXPECT_EQ(identify(GA_identifyPointsBySweep, set1, set2), literal) << what;
  EXPECT_EQ(identify(GA_identifyPointsByGrid, set1, set2), literal) << what;
  EXPECT_EQ(identify(GA_identifyPoints, set1, set2), literal) << what;
}

Points lattice(int n, double spacing) {
  Points p;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
      for (int k = 0; k < n; ++k) {
        p.push_back(i * spacing);
        p.push_back(j * spacing);
        p.push_back(k * spacing);
      }
  return p;
}

Points shuffled(const Points &points, std::mt19937 &random, std::vector<int32_t> *where = nullptr) {
  std::vector<int32_t> order(points.size() / 3);
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), random);
  Points out(points.size());
  if (where)
    where->assign(order.size(), -1);
  for (size_t i = 0; i < order.size(); ++i) {
    std::copy_n(&points[3 * static_cast<size_t>(order[i])], 3, &out[3 * i]);
    if (where)
      (*where)[static_cast<size_t>(order[i])] = static_cast<int32_t>(i);
  }
  return out;
}

// ---- ordering ----

TEST(OrderVertices, AscendingByAxisWithTiesInIndexOrder) {
  const Points p = {3, 1, 9, 1, 2, 8, 3, 0, 7, 2, 2, 7, 1, 5, 7};
  int32_t *order = nullptr;
  ASSERT_EQ(GA_orderVertices(5, p.data(), 0, &order), 1);
  EXPECT_EQ(std::vector<int32_t>(order, order + 5), v({1, 4, 3, 0, 2}));
  zyrMemory_free(order, "test");
  ASSERT_EQ(GA_orderVertices(5, p.data(), 1, &order), 1);
  EXPECT_EQ(std::vector<int32_t>(order, order + 5), v({2, 0, 1, 3, 4}));
  zyrMemory_free(order, "test");
  // Any axis other than 0 and 1 is z.
  ASSERT_EQ(GA_orderVertices(5, p.data(), 7, &order), 1);
  EXPECT_EQ(std::vector<int32_t>(order, order + 5), v({2, 3, 4, 1, 0}));
  zyrMemory_free(order, "test");

  const Points withNaN = {std::nan(""), 0, 0, 1, 0, 0, -1, 0, 0};
  ASSERT_EQ(GA_orderVertices(3, withNaN.data(), 0, &order), 1);
  EXPECT_EQ(std::vector<int32_t>(order, order + 3), v({2, 1, 0}));
  zyrMemory_free(order, "test");

  ASSERT_EQ(GA_orderVertices(0, nullptr, 0, &order), 1);
  EXPECT_EQ(order, nullptr);
  EXPECT_EQ(GA_orderVertices(-1, p.data(), 0, &order), 0);
}

// ---- point identification ----

TEST(IdentifyPoints, ACopyIdentifiesEveryPointWithItself) {
  std::mt19937 random(3);
  const Points set1 = lattice(6, 0.25);
  std::vector<int32_t> where;
  const Points set2 = shuffled(set1, random, &where);
  const Identified r = identify(GA_identifyPoints, set1, set2);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.matched, count(set1));
  EXPECT_EQ(r.map, where);
}

TEST(IdentifyPoints, AShiftOfTwiceTheToleranceMatchesNothing) {
  const Points set1 = lattice(5, 1.0); // largest extent 4, tolerance 4e-5
  Points set2 = set1;
  for (size_t i = 0; i < set2.size(); i += 3)
    set2[i + 1] += 2e-5 * 4;
  const Identified r = identify(GA_identifyPoints, set1, set2);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.matched, 0);
  EXPECT_EQ(r.map, std::vector<int32_t>(static_cast<size_t>(count(set1)), -1));
  // Half a tolerance off still matches.
  for (size_t i = 0; i < set2.size(); i += 3)
    set2[i + 1] -= 1.5e-5 * 4;
  EXPECT_EQ(identify(GA_identifyPoints, set1, set2).matched, count(set1));
}

TEST(IdentifyPoints, CoincidentFirstSetTakesItsToleranceFromBothSets) {
  const Points set1 = {1, 1, 1, 1, 1, 1};
  // The second set spans 10 along x: tolerance 1e-4.
  const Points set2 = {0, 0, 0, 10, 0, 0, 1 + 5e-5, 1, 1};
  const Identified r = identify(GA_identifyPoints, set1, set2);
  EXPECT_EQ(r.matched, 2);
  EXPECT_EQ(r.map, v({2, 2}));
  expectSameIdentification(set1, set2, "coincident");
}

TEST(IdentifyPoints, APartnerPastTheEdgeOfAnotherPointsWindowIsFound) {
  // Set 1 spans 100 along x: tolerance 1e-3. Windows opened per set-2 point, with every set-1
  // point up to its edge taken in at once, would compare the set-1 point at 0.99e-3 only with the
  // set-2 point at 0 (too far, off the axis) and miss its partner at 1.01e-3.
  const Points set1 = {0.99e-3, 0, 0, 100, 0, 0};
  const Points set2 = {0, 0.5e-3, 0, 1.01e-3, 0, 0, 100, 0, 0};
  Identified r = identify(GA_identifyPoints, set1, set2);
  EXPECT_EQ(r.map, v({1, 2}));
  EXPECT_EQ(r.matched, 2);
  // Nor is a farther point taken when a nearer one lies past that edge.
  const Points near1 = {0, 0, 0, 100, 0, 0, 0.95e-3, 0, 0};
  const Points near2 = {1.5e-3, 0, 0, 0, 0, 0, 100, 0, 0};
  r = identify(GA_identifyPoints, near1, near2);
  EXPECT_EQ(r.map, v({1, 2, 0}));
  expectSameIdentification(set1, set2, "edge");
  expectSameIdentification(near1, near2, "nearer");
}

TEST(IdentifyPoints, TiesGoToTheEarliestInSweepOrder) {
  // Set 1 spans 1e5 along x: tolerance 1. The point (0, 0, 0) has four set-2 points at 0.5.
  const Points set1 = {0, 0, 0, 1e5, 0, 0};
  const Points set2 = {0, 0.5, 0, 0, -0.5, 0, 0.5, 0, 0, -0.5, 0, 0, 0, 0, 0.5};
  EXPECT_EQ(identify(GA_identifyPoints, set1, set2).map, v({3, -1}));
  // Equal sweep coordinates keep their index order.
  const Points set2b = {0, 0.5, 0, 0, -0.5, 0, 0, 0, 0.5};
  EXPECT_EQ(identify(GA_identifyPoints, set1, set2b).map, v({0, -1}));
  // A distance of exactly the tolerance does not match.
  const Points set2c = {0, 1, 0, 1e5, 0, 1};
  EXPECT_EQ(identify(GA_identifyPoints, set1, set2c).matched, 0);
  expectSameIdentification(set1, set2, "ties");
  expectSameIdentification(set1, set2b, "ties b");
  expectSameIdentification(set1, set2c, "ties c");
}

TEST(IdentifyPoints, EqualExtentsSweepAlongXThenY) {
  // A square in the y-z plane: y and z extents are equal, y is swept; matching is the same.
  const Points set1 = {0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1};
  const Points set2 = {0, 1, 1, 0, 0, 1, 0, 1, 0, 0, 0, 0};
  EXPECT_EQ(identify(GA_identifyPoints, set1, set2).map, v({3, 2, 1, 0}));
}

TEST(IdentifyPoints, EmptySetsAndBadArguments) {
  const Points some = {0, 0, 0, 1, 1, 1};
  // An empty first set is identified trivially.
  Identified r = identify(GA_identifyPoints, {}, some);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.matched, 0);
  EXPECT_TRUE(r.map.empty());
  r = identify(GA_identifyPoints, some, {});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.matched, 0);
  EXPECT_EQ(r.map, v({-1, -1}));
  int32_t matched = 5;
  int32_t *map = reinterpret_cast<int32_t *>(&matched);
  EXPECT_EQ(GA_identifyPoints(-1, some.data(), 2, some.data(), &matched, &map), 0);
  EXPECT_EQ(map, nullptr);
  EXPECT_EQ(GA_identifyPoints(2, nullptr, 2, some.data(), &matched, &map), 0);
  EXPECT_EQ(GA_identifyPoints(2, some.data(), 2, some.data(), nullptr, &map), 0);
}

// The grid over the window must give exactly the plain scan's answer, ties included. The sets
// are made to be hard on it: whole lattice planes in one window, points on the tolerance,
// repeated points, sets far outside each other's box, flat and coincident sets, and points that
// are not finite.
TEST(IdentifyPoints, TheGridGivesThePlainScansAnswer) {
  std::mt19937 random(11);
  int cases = 0;
  for (int round = 0; round < 40; ++round) {
    // Lattice planes: a window holds a whole plane; the copy is jittered below and around the
    // tolerance (4e-5 for extent 4) and thinned.
    Points set1 = lattice(5, 1.0);
    Points set2 = shuffled(set1, random);
    std::uniform_real_distribution<double> jitter(-6e-5, 6e-5);
    for (double &x : set2)
      if (random() % 3 == 0)
        x += jitter(random);
    set2.resize(3 * (count(set2) - static_cast<int32_t>(random() % 20)));
    expectSameIdentification(set1, set2, "lattice");
    expectSameIdentification(set2, set1, "lattice reversed");

    // Quantised clusters with spacing near the tolerance (1 for extent 1e5): exact ties, points
    // exactly one tolerance apart and repeats.
    Points a = {0, 0, 0, 1e5, 0, 0}, b;
    const int axis = static_cast<int>(random() % 3);
    if (axis != 0)
      std::swap(a[3 + 0], a[3 + axis]);
    std::uniform_int_distribution<int> q(-6, 6);
    for (int i = 0; i < 150; ++i) {
      for (int c = 0; c < 3; ++c)
        a.push_back(q(random) * 0.5);
      for (int c = 0; c < 3; ++c)
        b.push_back(q(random) * 0.5);
    }
    expectSameIdentification(a, b, "clusters");
    expectSameIdentification(b, a, "clusters reversed");

    // Random sets at several scales, with the second set partly far outside the first's box.
    std::uniform_real_distribution<double> unit(0, 1);
    const double scale = std::pow(10.0, static_cast<int>(random() % 30) - 15);
    Points c, d;
    for (int i = 0; i < 200; ++i) {
      for (int k = 0; k < 3; ++k)
        c.push_back(unit(random) * scale * (k == 0 ? 1 : 0.01));
      const double far = random() % 5 == 0 ? 1e6 * scale : 0;
      for (int k = 0; k < 3; ++k)
        d.push_back(c[c.size() - 3 + k] + (random() % 2 ? 0 : unit(random) * scale * 2e-5) + (k == 1 ? far : 0));
    }
    expectSameIdentification(c, shuffled(d, random), "scaled");

    // Flat, coincident and tiny sets.
    expectSameIdentification({2, 2, 2}, {2, 2, 2, 2, 2, 2 + 1e-18, 2, 2, 2 + 1e-16}, "single");
    expectSameIdentification({1e-31, 0, 0, 0, 0, 0}, {0, 0, 0, 1e-31, 0, 0, 1, 1, 1}, "tiny");

    // Points that are not finite.
    Points e = c, f = d;
    const double odd[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity(), 1.7976931348623157e308};
    e[3 * (random() % 200) + random() % 3] = odd[random() % 4];
    f[3 * (random() % 200) + random() % 3] = odd[random() % 4];
    expectSameIdentification(e, f, "odd");
    expectSameIdentification(f, c, "odd reversed");
    cases += 11;
  }
  EXPECT_EQ(cases, 440);
}

// ---- vertex matching ----

int32_t *match(const Points &p0, const Points &p1, const std::vector<double> &tolerances, const double *reference) {
  return GA_matchVertices(count(p0), p0.data(), p1.data(), tolerances.data(), reference);
}

std::vector<int32_t> taken(int32_t *permutation, int32_t n) {
  std::vector<int32_t> out;
  if (permutation)
    out.assign(permutation, permutation + n);
  zyrMemory_free(permutation, "test");
  return out;
}

TEST(MatchVertices, OneVertexWithinOrBeyondTheWindow) {
  const Points p0 = {0, 0, 0}, p1 = {1, 0, 0};
  EXPECT_EQ(taken(match(p0, p1, {1 / 1.05 + 1e-12}, p1.data()), 1), v({0}));
  EXPECT_EQ(taken(match(p0, p1, {0.95}, p1.data()), 1), v({}));
  EXPECT_EQ(GA_matchVertices(0, p0.data(), p1.data(), nullptr, p1.data()), nullptr);
}

TEST(MatchVertices, OfEquallyNearCandidatesTheLaterInRadialOrderWins) {
  const double reference[3] = {10, 0, 0};
  const Points p0 = {0, 0, 0, 0, 3, 0}, p1 = {1, 0, 0, -1, 0, 0};
  EXPECT_EQ(taken(match(p0, p1, {4, 4}, reference), 2), v({1, 0}));
}

TEST(MatchVertices, ShuffledCopyAndGreedyFailure) {
  std::mt19937 random(5);
  const Points p0 = lattice(4, 1.0);
  std::vector<int32_t> where;
  const Points p1 = shuffled(p0, random, &where);
  const std::vector<double> tolerances(static_cast<size_t>(count(p0)), 0.1);
  EXPECT_EQ(taken(match(p0, p1, tolerances, &p1[0]), count(p0)), where);
  // Both set-0 vertices want the same set-1 vertex; the other is out of reach.
  const Points q0 = {0, 0, 0, 0.01, 0, 0}, q1 = {0.005, 0, 0, 5, 0, 0};
  EXPECT_EQ(taken(match(q0, q1, {0.1, 0.1}, &q1[0]), 2), v({}));
}

TEST(MatchVertices, ZeroTolerancesStillPairCoincidentVertices) {
  const Points p0 = {0, 0, 0, 1, 0, 0, 0, 2, 0}, p1 = {0, 2, 0, 0, 0, 0, 1, 0, 0};
  EXPECT_EQ(taken(match(p0, p1, {0, 0, 0}, &p1[0]), 3), v({1, 2, 0}));
  Points moved = p1;
  moved[0] += 1e-9;
  EXPECT_EQ(taken(match(p0, moved, {0, 0, 0}, &moved[0]), 3), v({}));
}

// Whatever the shape (scattered, a ring of equal radii around the reference point, exact ties),
// an answer is a permutation whose every pair lies within the window. A copy whose vertices moved
// by less than the smallest tolerance and by less than half the distance between any two of them
// always gets one, and it is the copy's own order: each vertex's own copy is the nearest to it.
// That the choices are the prescribed ones, record by record, is shown against the literal
// matching in VertexMatchingTest.
TEST(MatchVertices, AnswersArePermutationsWithinTheWindow) {
  std::mt19937 random(17);
  std::uniform_real_distribution<double> unit(-1, 1);
  int answered = 0;
  for (int round = 0; round < 60; ++round) {
    const int32_t n = 1 + static_cast<int32_t>(random() % 300);
    Points p0;
    const int shape = round % 3;
    for (int32_t i = 0; i < n; ++i) {
      double x, y, z;
      if (shape == 0) { // scattered
        x = unit(random), y = unit(random), z = unit(random);
      } else if (shape == 1) { // a ring around the reference point: equal radii
        const double a = 2 * M_PI * i / n;
        x = std::cos(a), y = std::sin(a), z = 0;
      } else { // quantised: exact ties
        x = static_cast<int>(random() % 5), y = static_cast<int>(random() % 5), z = 0;
      }
      p0.insert(p0.end(), {x, y, z});
    }
    std::vector<int32_t> where;
    Points p1 = shuffled(p0, random, &where);
    const double jitter = shape == 2 ? 0 : 1e-3;
    for (double &x : p1)
      x += unit(random) * jitter;
    std::vector<double> tolerances(static_cast<size_t>(n));
    for (double &t : tolerances)
      t = 0.02 + 0.5 * std::fabs(unit(random)) * (round % 2);
    const double reference[3] = {0, 0, shape == 1 ? 0.0 : 0.5};
    const std::vector<int32_t> permutation = taken(match(p0, p1, tolerances, reference), n);
    // Each vertex moved by at most sqrt(3) jitter, below the smallest tolerance (0.02).
    double closest = INFINITY;
    for (int32_t i = 0; i < n; ++i)
      for (int32_t j = i + 1; j < n; ++j)
        closest = std::min(closest, std::sqrt(GA_getSquaredDistance(&p0[3 * static_cast<size_t>(i)],
                                                                    &p0[3 * static_cast<size_t>(j)])));
    if (closest > 2 * std::sqrt(3.0) * jitter)
      EXPECT_EQ(permutation, where) << "round " << round;
    if (permutation.empty())
      continue;
    ++answered;
    ASSERT_EQ(permutation.size(), static_cast<size_t>(n)) << "round " << round;
    std::vector<int32_t> sorted = permutation;
    std::sort(sorted.begin(), sorted.end());
    std::vector<int32_t> identity(static_cast<size_t>(n));
    std::iota(identity.begin(), identity.end(), 0);
    EXPECT_EQ(sorted, identity) << "round " << round;
    const double window = 1.05 * *std::max_element(tolerances.begin(), tolerances.end());
    for (int32_t i = 0; i < n; ++i)
      EXPECT_LE(std::sqrt(GA_getSquaredDistance(&p0[3 * static_cast<size_t>(i)],
                                                &p1[3 * static_cast<size_t>(permutation[static_cast<size_t>(i)])])),
                window)
          << "round " << round << " vertex " << i;
  }
  EXPECT_GE(answered, 40);
}

// ---- measures ----

const Points kCube = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1};

TEST(Measures, VolumesOfTheUnitElements) {
  double *volumes = nullptr;
  const std::vector<int32_t> hexa = {0, 1, 2, 3, 4, 5, 6, 7};
  ASSERT_EQ(GA_getVolumes(ZYR_ELEMENT_HEXA_8, 0, 1, 8, hexa.data(), 0, kCube.data(), &volumes), 1);
  EXPECT_DOUBLE_EQ(volumes[0], 1.0);
  zyrMemory_free(volumes, "test");
  const int32_t tets[6][4] = {{0, 1, 2, 5}, {0, 5, 2, 4}, {2, 4, 5, 6}, {0, 2, 3, 6}, {0, 6, 3, 4}, {3, 4, 6, 7}};
  for (const auto &t : tets)
    EXPECT_DOUBLE_EQ(GA_getTetrahedronVolume(kCube.data(), t[0], t[1], t[2], t[3]), 1.0 / 6);

  const Points pyramid = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0.3, 0.8, 1};
  const Points prism = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 1, 0, 1, 1};
  // Two elements each with a spare entry after the vertices (stride 7 and 9), filled in place.
  const std::vector<int32_t> pyramids = {0, 1, 2, 3, 4, -5, 99, 0, 1, 2, 3, 4, 0, 0};
  const std::vector<int32_t> prisms = {0, 1, 2, 3, 4, 5, 7, 7, 7, 0, 1, 2, 3, 4, 5, 0, 0, 0};
  double two[2] = {9, 9};
  double *out = two;
  ASSERT_EQ(GA_getVolumes(ZYR_ELEMENT_PYRA_5, 0, 2, 7, pyramids.data(), 0, pyramid.data(), &out), 1);
  EXPECT_EQ(out, two);
  EXPECT_DOUBLE_EQ(two[0], 1.0 / 3);
  EXPECT_DOUBLE_EQ(two[1], 1.0 / 3);
  ASSERT_EQ(GA_getVolumes(ZYR_ELEMENT_PENTA_6, 0, 2, 9, prisms.data(), 0, prism.data(), &out), 1);
  EXPECT_DOUBLE_EQ(two[0], 0.5);
  const std::vector<int32_t> tetra = {0, 1, 3, 4};
  ASSERT_EQ(GA_getVolumes(ZYR_ELEMENT_TETRA_4, 0, 1, 4, tetra.data(), 0, kCube.data(), &out), 1);
  EXPECT_DOUBLE_EQ(two[0], 1.0 / 6);
  // Left-handed: negative.
  const std::vector<int32_t> flipped = {1, 0, 3, 4};
  ASSERT_EQ(GA_getVolumes(ZYR_ELEMENT_TETRA_4, 0, 1, 4, flipped.data(), 0, kCube.data(), &out), 1);
  EXPECT_DOUBLE_EQ(two[0], -1.0 / 6);

  EXPECT_EQ(GA_getVolumes(ZYR_ELEMENT_HEXA_8, 0, 0, 8, hexa.data(), 0, kCube.data(), &out), 0);
  EXPECT_EQ(GA_getVolumes(ZYR_ELEMENT_HEXA_8, 0, 1, 7, hexa.data(), 0, kCube.data(), &out), 0);
  EXPECT_EQ(GA_getVolumes(ZYR_ELEMENT_QUAD_4, 0, 1, 8, hexa.data(), 0, kCube.data(), &out), 0);
}

TEST(Measures, BetaCircumsphereAndAreas) {
  // A regular tetrahedron, right-handed.
  const double s = 1 / std::sqrt(2.0);
  const Points regular = {1, 0, -s, -1, 0, -s, 0, -1, s, 0, 1, s};
  const std::vector<int32_t> tet = {0, 1, 2, 3}, left = {1, 0, 2, 3};
  ASSERT_GT(GA_getTetrahedronVolume(regular.data(), 0, 1, 2, 3), 0);
  double *beta = nullptr;
  ASSERT_EQ(GA_getBetaStatistic(0, 1, 4, tet.data(), 0, regular.data(), &beta), 1);
  EXPECT_NEAR(beta[0], 3.0, 1e-12);
  ASSERT_EQ(GA_getBetaStatistic(0, 1, 4, left.data(), 0, regular.data(), &beta), 1);
  EXPECT_NEAR(beta[0], -3.0, 1e-12);
  zyrMemory_free(beta, "test");
  EXPECT_EQ(GA_getBetaStatistic(0, 0, 4, tet.data(), 0, regular.data(), &beta), 0);

  const Points corner = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
  double centre[3];
  EXPECT_DOUBLE_EQ(GA_getCircumsphere(corner.data(), 0, 1, 2, 3, centre), std::sqrt(3.0) / 2);
  EXPECT_DOUBLE_EQ(centre[0], 0.5);
  EXPECT_DOUBLE_EQ(centre[1], 0.5);
  EXPECT_DOUBLE_EQ(centre[2], 0.5);
  EXPECT_DOUBLE_EQ(GA_getTriangleArea(corner.data(), 1, 2, 3), std::sqrt(3.0) / 2);
  EXPECT_DOUBLE_EQ(GA_getTetrahedronArea(corner.data(), 0, 1, 2, 3), 1.5 + std::sqrt(3.0) / 2);
  // A flat tetrahedron: no division by zero, the centre is merely far away.
  const Points flat = {0, 0, 0, 1, 0, 0, 0, 1, 0, 2, 1, 0};
  const double radius = GA_getCircumsphere(flat.data(), 0, 1, 2, 3, centre);
  EXPECT_FALSE(std::isnan(radius));
  EXPECT_GT(radius, 1e300);
  EXPECT_LT(centre[2], -1e305);
}

TEST(Measures, EdgeStatistics) {
  const Points rectangle = {0, 0, 0, 1, 0, 0, 1, 2, 0, 0, 2, 0, 0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
  const std::vector<int32_t> quads = {0, 1, 2, 3, 4, 5, 6, 7};
  double *values = nullptr;
  const double expected[3][2] = {{1, 1}, {2, 1}, {0.5, 1}};
  for (int32_t which = 1; which <= 3; ++which) {
    ASSERT_EQ(GA_getEdgeStatistic(ZYR_ELEMENT_QUAD_4, zyrConvention_ZYR, which, 2, 4, quads.data(), 0,
                                  rectangle.data(), &values),
              1);
    EXPECT_DOUBLE_EQ(values[0], expected[which - 1][0]);
    EXPECT_DOUBLE_EQ(values[1], expected[which - 1][1]);
  }
  const std::vector<int32_t> hexa = {0, 1, 2, 3, 4, 5, 6, 7};
  ASSERT_EQ(GA_getEdgeStatistic(ZYR_ELEMENT_HEXA_8, zyrConvention_VTK, 3, 1, 8, hexa.data(), 0, kCube.data(), &values),
            1);
  EXPECT_DOUBLE_EQ(values[0], 1.0);
  zyrMemory_free(values, "test");
  values = nullptr;
  EXPECT_EQ(GA_getEdgeStatistic(ZYR_ELEMENT_QUAD_4, 0, 0, 2, 4, quads.data(), 0, rectangle.data(), &values), 0);
  EXPECT_EQ(GA_getEdgeStatistic(ZYR_ELEMENT_QUAD_4, 0, 4, 2, 4, quads.data(), 0, rectangle.data(), &values), 0);
  EXPECT_EQ(GA_getEdgeStatistic(ZYR_ELEMENT_NODE, 0, 1, 2, 4, quads.data(), 0, rectangle.data(), &values), 0);
  EXPECT_EQ(GA_getEdgeStatistic(9, 0, 1, 2, 4, quads.data(), 0, rectangle.data(), &values), 0);
  EXPECT_EQ(GA_getEdgeStatistic(ZYR_ELEMENT_QUAD_4, 0, 1, 2, 3, quads.data(), 0, rectangle.data(), &values), 0);
  EXPECT_EQ(values, nullptr);
}

TEST(Measures, PlanarTriangleTest) {
  const double a[3] = {0, 0, 5}, b[3] = {2, 0, -1}, c[3] = {0, 2, 0};
  double u = -9, w = -9, x = -9;
  const double inside[3] = {0.5, 0.5, 100};
  EXPECT_EQ(GA_isInsideTriangle(inside, a, b, c, 0, 1, &u, &w, &x), 1);
  EXPECT_DOUBLE_EQ(u, 0.5);
  EXPECT_DOUBLE_EQ(w, 0.25);
  EXPECT_DOUBLE_EQ(x, 0.25);
  const double outside[3] = {2, 2, 0};
  EXPECT_EQ(GA_isInsideTriangle(outside, a, b, c, 0, 1, &u, &w, &x), 0);
  // A margin below 0 lets a point just outside an edge count.
  const double nearEdge[3] = {1, -0.01, 0};
  EXPECT_EQ(GA_isInsideTriangle(nearEdge, a, b, c, 0, 1, &u, &w, &x), 0);
  EXPECT_EQ(GA_isInsideTriangle(nearEdge, a, b, c, -0.01, 1.01, &u, &w, &x), 1);
  // Degenerate: answers 0 and leaves the outputs.
  u = w = x = 7;
  EXPECT_EQ(GA_isInsideTriangle(inside, a, a, c, 0, 1, &u, &w, &x), 0);
  EXPECT_EQ(u, 7);
  EXPECT_EQ(w, 7);
  EXPECT_EQ(x, 7);
}

// ---- debug listing ----

std::string readFile(const std::string &path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

[[noreturn]] void identifyWithDebugListing(const std::string &dir) {
  for (const char *name : {"ZYR_MEMORY_LOG", "ZYR_ERROR_LOG", "ZYR_SUPPRESS_WARNINGS"})
    unsetenv(name);
  setenv("ZYR_DEBUG_CONTROL", (dir + "/control").c_str(), 1);
  setenv("ZYR_DEBUG_LOG", (dir + "/debug.log").c_str(), 1);
  const Points set1 = {0, 0, 0, 1, 0, 0}, set2 = {1, 0, 0, 0, 0, 0};
  const Identified r = identify(GA_identifyPoints, set1, set2);
  std::exit(r.map == v({1, 0}) ? 0 : 2);
}

// The child runs in a fresh process (the debug manager reads its environment once) and finds the
// parent's scratch directory through the environment.
TEST(IdentifyPointsDeathTest, DebugListing) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  zyrtest::SharedScratchDir scratch("ZYRTEST_MESH_DIR", "zyr_mesh");
  const std::string dir = scratch.path();
  if (scratch.owner())
    std::ofstream(dir + "/control") << "<DEBUG>\nGA_identifyPoints: 3\n</DEBUG>\n";
  EXPECT_EXIT(identifyWithDebugListing(dir), testing::ExitedWithCode(0), "");
  const std::string log = readFile(dir + "/debug.log");
  EXPECT_NE(log.find("Bounding box:\n"
                     "  X: [0.000000e+00, 1.000000e+00]   1.000000e+00\n"
                     "  Y: [0.000000e+00, 0.000000e+00]   0.000000e+00\n"
                     "  Z: [0.000000e+00, 0.000000e+00]   0.000000e+00\n"
                     "Sorted ranges:\n"
                     "  0 1.000000e+00\n"
                     "  1 0.000000e+00\n"
                     "  2 0.000000e+00\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Sweep plane = [-1.000000e-05, 1.000000e-05]\n"
                     "  Set 1     = [0, 0] 1\n"
                     "  Set 2     = [0, 0] 1\n"
                     "Sweep plane = [9.999900e-01, 1.000010e+00]\n"
                     "  Set 1     = [1, 1] 1\n"
                     "  Set 2     = [1, 1] 1\n"
                     "Number of points (set 1) = 2\n"
                     "Number of points (set 2) = 2\n"
                     "Number of matched points = 2\n"
                     "0 -> 1\n"
                     "1 -> 0\n"),
            std::string::npos)
      << log;
}

} // namespace
