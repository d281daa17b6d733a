#include "GeometricAlgorithms.h"
#include "MatchingThreads.h"
#include "MeshTestSupport.h"
#include "zyrMemory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <vector>

namespace {

using Points = std::vector<double>;

std::vector<int32_t> taken(int32_t *perm, int32_t n) {
  std::vector<int32_t> result;
  if (perm != nullptr)
    result.assign(perm, perm + n);
  zyrMemory_free(perm, "test");
  return result;
}

// The grid's permutation on one thread and split into many small ranges on several: the same
// every way (the first is returned).
std::vector<int32_t> gridEveryWay(int32_t n, const Points &p0, const Points &p1, const std::vector<double> &tolerances,
                                  const double *reference) {
  const std::pair<int, int64_t> ways[] = {{1, 0}, {5, 37}};
  std::vector<int32_t> first;
  for (const auto &way : ways) {
    MatchingThreads_set(way.first, way.second);
    std::vector<int32_t> result =
        taken(GA_matchVerticesByGrid(n, p0.data(), p1.data(), tolerances.data(), reference), n);
    if (&way == &ways[0])
      first = result;
    else
      EXPECT_EQ(result, first) << way.first << " threads, ranges of " << way.second;
  }
  MatchingThreads_set(0, 0);
  return first;
}

Points shuffledCopy(const Points &p, std::mt19937 &random, double jitter) {
  const int32_t n = static_cast<int32_t>(p.size() / 3);
  std::vector<int32_t> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), random);
  std::uniform_real_distribution<double> unit(-1, 1);
  Points q;
  for (int32_t i : order)
    for (int c = 0; c < 3; ++c)
      q.push_back(p[3 * i + c] + jitter * unit(random));
  return q;
}

// The grid and the scan give exactly the literal permutation (or its failure) on the shapes that
// make the scan slow or fragile: rings and polar faces with the centre first, a ring around the
// reference point (every radius equal), exact ties and duplicate points, wide and narrow windows,
// graded spacing and far outliers.
TEST(MatchVertices, TheGridGivesTheScansAnswer) {
  std::mt19937 random(23);
  std::uniform_real_distribution<double> unit(0, 1);
  int failures = 0;
  for (int round = 0; round < 140; ++round) {
    const int shape = round % 7;
    const int32_t n = 1 + static_cast<int32_t>(random() % 700);
    Points p0;
    for (int32_t i = 0; i < n; ++i) {
      double x = 0, y = 0, z = 0;
      if (shape == 0) { // planar grid
        x = i % 23, y = i / 23;
      } else if (shape == 1) { // polar disc, centre first
        const int32_t ring = i == 0 ? 0 : 1 + (i - 1) / 16;
        const double a = 2 * M_PI * ((i - 1) % 16) / 16;
        x = ring * std::cos(a), y = ring * std::sin(a);
      } else if (shape == 2) { // quantised with duplicates
        x = static_cast<int>(random() % 6), y = static_cast<int>(random() % 6), z = static_cast<int>(random() % 2);
      } else if (shape == 3) { // cylinder
        const double a = 2 * M_PI * (i % 20) / 20;
        x = std::cos(a), y = std::sin(a), z = 0.1 * (i / 20);
      } else if (shape == 4) { // graded spacing with an outlier
        x = std::pow(1.1, i % 40), y = i / 40, z = i == n - 1 ? 1e4 : 0;
      } else if (shape == 5) { // scattered
        x = unit(random), y = unit(random), z = unit(random);
      } else { // a ring around the reference point
        const double a = 2 * M_PI * i / n;
        x = std::cos(a), y = std::sin(a);
      }
      p0.insert(p0.end(), {x, y, z});
    }
    const double jitter = shape == 2 ? 0 : (round % 4 == 1 ? 0.3 : 1e-3);
    const Points p1 = shuffledCopy(p0, random, jitter);
    std::vector<double> tolerances(n);
    for (double &t : tolerances)
      t = (round % 3 == 0 ? 0.05 : round % 3 == 1 ? 0.6 : 3.0) * (0.5 + unit(random));
    double reference[3] = {p1[0], p1[1], p1[2]};
    if (round % 5 == 4)
      reference[2] += 0.5;
    if (shape == 6)
      reference[0] = reference[1] = reference[2] = 0;
    const std::vector<int32_t> expected = literalVertexMatch(p0, p1, tolerances, reference);
    failures += expected.empty();
    // Every twentieth round also split over threads (starting threads is slow under the
    // sanitizers).
    const std::vector<int32_t> grid = round % 20 == 0 ? gridEveryWay(n, p0, p1, tolerances, reference)
                                                      : taken(GA_matchVerticesByGrid(n, p0.data(), p1.data(),
                                                                                     tolerances.data(), reference), n);
    EXPECT_EQ(grid, expected) << "round " << round;
    EXPECT_EQ(taken(GA_matchVerticesByScan(n, p0.data(), p1.data(), tolerances.data(), reference), n), expected)
        << "round " << round;
  }
  // Both outcomes are exercised.
  EXPECT_GT(failures, 0);
  EXPECT_LT(failures, 100);
}

// Larger sets where most windows hold one vertex that no other window holds and some hold
// several (close pairs, a dense cluster, vertices on one ring about the reference point), in
// index orders unrelated to space: the pairs are those of the scan, or both fail.
TEST(MatchVertices, LoneAndSharedWindowsTogether) {
  int failures = 0;
  std::mt19937 random(31);
  std::uniform_real_distribution<double> unit(0, 1);
  for (int round = 0; round < 12; ++round) {
    Points p0;
    const int32_t side = 40 + round * 3;
    for (int32_t j = 0; j < side; ++j)
      for (int32_t i = 0; i < side; ++i) {
        const double z = round % 2 ? 0.3 * std::sin(0.2 * i) : 0.0;
        p0.insert(p0.end(), {i + 0.1 * unit(random), j + 0.1 * unit(random), z});
        if (unit(random) < 0.15) // a close partner, inside the window
          p0.insert(p0.end(), {i + 0.3, j + 0.05, z});
      }
    for (int32_t c = 0; c < 40; ++c) // a dense cluster
      p0.insert(p0.end(), {5 + 0.01 * (c % 7), 7 + 0.01 * (c / 7), 0.0});
    for (int32_t a = 0; a < 60; ++a) // a ring about the reference point
      p0.insert(p0.end(), {20 + 3 * std::cos(0.1 * a), 20 + 3 * std::sin(0.1 * a), 0.0});
    const int32_t n = static_cast<int32_t>(p0.size() / 3);
    const Points shuffled0 = shuffledCopy(p0, random, 0.0);
    const Points p1 = shuffledCopy(p0, random, round % 3 == 2 ? 0.2 : 1e-3);
    std::vector<double> tolerances(n);
    for (double &t : tolerances)
      t = (round % 4 == 3 ? 0.6 : 0.35) * (0.5 + unit(random));
    const double reference[3] = {20, 20, 0};
    const std::vector<int32_t> expected = literalVertexMatch(shuffled0, p1, tolerances, reference);
    failures += expected.empty();
    EXPECT_EQ(gridEveryWay(n, shuffled0, p1, tolerances, reference), expected) << "round " << round;
  }
  EXPECT_GT(failures, 0);
  EXPECT_LT(failures, 8);
}

// Many vertices at once: coincident pairs in both sets, partners displaced by exactly the window
// (a distance of the window still pairs, a radius exactly the window below does not) and, in some
// rounds, a few by one unit in the last place more, vertices sharing radii about the reference point, and a
// diagonal line whose cells must be so small that a cell's key takes more than 32 bits.
TEST(MatchVertices, CoincidentAndBoundaryVerticesAtScale) {
  std::mt19937 random(41);
  // A tolerance whose window is exactly a quarter, so that integer coordinates displaced by it
  // lie exactly the window apart.
  double tolerance = 0.25 / 1.05;
  while (1.05 * tolerance > 0.25)
    tolerance = std::nextafter(tolerance, 0.0);
  while (1.05 * tolerance < 0.25)
    tolerance = std::nextafter(tolerance, 1.0);
  ASSERT_EQ(1.05 * tolerance, 0.25);
  int failures = 0;
  for (int round = 0; round < 6; ++round) {
    Points p0;
    const int32_t side = 60 + 10 * round;
    if (round == 5) {
      for (int32_t i = 0; i < side * side / 2; ++i)
        p0.insert(p0.end(), {i * 1.0, i * 1.0, i * 1.0});
    } else {
      for (int32_t j = 0; j < side; ++j)
        for (int32_t i = 0; i < side; ++i) {
          const double z = round % 2 ? i % 3 : 0.0;
          p0.insert(p0.end(), {static_cast<double>(i), static_cast<double>(j), z});
          if ((i * 7 + j * 3) % 11 == 0) // a coincident twin
            p0.insert(p0.end(), {static_cast<double>(i), static_cast<double>(j), z});
        }
    }
    const int32_t n = static_cast<int32_t>(p0.size() / 3);
    Points p1 = shuffledCopy(p0, random, 0.0);
    for (int32_t i = 1; i < n; i += 5) // across the plane of the planar rounds
      p1[3 * i + 2] += i % 2 ? 0.25 : -0.25;
    if (round == 3 || round == 4)
      for (int32_t i = 2; i < n; i += 997)
        p1[3 * i] += std::nextafter(0.25, 1.0);
    std::vector<double> tolerances(n, tolerance * 0.5);
    tolerances[static_cast<size_t>(n / 2)] = tolerance;
    const double reference[3] = {p1[0], p1[1], p1[2]};
    const std::vector<int32_t> expected = literalVertexMatch(p0, p1, tolerances, reference);
    failures += expected.empty();
    EXPECT_EQ(gridEveryWay(n, p0, p1, tolerances, reference), expected) << "round " << round;
    EXPECT_EQ(taken(GA_matchVertices(n, p0.data(), p1.data(), tolerances.data(), reference), n), expected)
        << "round " << round;
  }
  EXPECT_GT(failures, 0);
  EXPECT_LT(failures, 6);
}

TEST(MatchVertices, NonFiniteCoordinatesAndZeroWindowsFollowTheScan) {
  const Points p0 = {0, 0, 0, 1, 0, 0, NAN, 0, 0};
  const Points p1 = {1, 0, 0, 0, 0, 0, NAN, 0, 0};
  const double reference[3] = {0, 0, 0};
  const std::vector<double> tolerances = {0.1, 0.1, 0.1};
  EXPECT_EQ(taken(GA_matchVerticesByGrid(3, p0.data(), p1.data(), tolerances.data(), reference), 3),
            taken(GA_matchVerticesByScan(3, p0.data(), p1.data(), tolerances.data(), reference), 3));
  // A vertex that is not a number, or lies beyond every window, in set 0 alone.
  for (const double far : {static_cast<double>(NAN), static_cast<double>(INFINITY), 1e300}) {
    Points q0(3 * 300), q1(3 * 300);
    for (int32_t i = 0; i < 300; ++i) {
      q0[3 * i] = q1[3 * (299 - i)] = i;
      q0[3 * i + 1] = q1[3 * (299 - i) + 1] = i % 7;
    }
    q0[3 * 150 + 2] = far;
    const std::vector<double> t(300, 0.1);
    EXPECT_EQ(gridEveryWay(300, q0, q1, t, reference), literalVertexMatch(q0, q1, t, reference));
    EXPECT_EQ(taken(GA_matchVerticesByGrid(300, q0.data(), q1.data(), t.data(), reference), 300),
              taken(GA_matchVerticesByScan(300, q0.data(), q1.data(), t.data(), reference), 300));
  }
  const std::vector<double> zero = {0, 0};
  EXPECT_EQ(taken(GA_matchVerticesByGrid(2, p0.data(), p1.data(), zero.data(), reference), 2),
            (std::vector<int32_t>{1, 0}));
}

} // namespace
