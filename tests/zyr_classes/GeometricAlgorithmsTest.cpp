// Renumbering connectivity onto a matching point set: the k-d tree gives exactly the band scan's
// answers (ties, points outside the band, shuffled and perturbed sets), and the class's own rules.
#include "PointMatch.h"
#include "ZYRAPIExceptions.h"
#include "ZYRGeometricAlgorithms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

namespace pm = qiv::zyrapi::pointmatch;

std::vector<int32_t> identity(size_t n) {
  std::vector<int32_t> c(n);
  for (size_t i = 0; i < n; ++i)
    c[i] = static_cast<int32_t>(i);
  return c;
}

// Both ways over the same input; returns the tree's answer.
std::vector<int32_t> bothAgree(const std::vector<pm::Point> &source, const std::vector<pm::Point> &target,
                               std::vector<int32_t> connectivity) {
  std::vector<int32_t> byScan = connectivity;
  pm::reorderByScan(source, target, byScan.data(), byScan.size());
  pm::reorderByTree(source, target, connectivity.data(), connectivity.size());
  EXPECT_EQ(connectivity, byScan);
  return connectivity;
}

TEST(PointMatch, TreeAndScanAgreeOnRandomSets) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> coordinate(-5, 5);
  std::normal_distribution<float> noise(0, 0.01f);
  for (int round = 0; round < 20; ++round) {
    const size_t n = 50 + static_cast<size_t>(round) * 40;
    std::vector<pm::Point> target(n);
    for (pm::Point &p : target)
      p = {coordinate(random), coordinate(random), coordinate(random)};
    // Shuffled and slightly moved copies, some far away, some picked at random.
    std::vector<pm::Point> source = target;
    std::shuffle(source.begin(), source.end(), random);
    for (size_t i = 0; i < n; ++i) {
      if (round % 3 == 1)
        source[i] = {source[i].x + noise(random), source[i].y + noise(random), source[i].z + noise(random)};
      if (round % 3 == 2 && i % 5 == 0)
        source[i] = {coordinate(random) * 3, coordinate(random) * 3, coordinate(random) * 3};
    }
    std::vector<int32_t> connectivity = identity(n);
    connectivity.insert(connectivity.end(), {0, 3, 0});
    bothAgree(source, target, connectivity);
  }
}

TEST(PointMatch, TreeAndScanAgreeOnLatticesFullOfTies) {
  // A lattice puts many targets at the same distance from the origin and from a source point.
  std::vector<pm::Point> target;
  for (int i = -3; i <= 3; ++i)
    for (int j = -3; j <= 3; ++j)
      for (int k = -3; k <= 3; ++k)
        target.push_back({static_cast<float>(i), static_cast<float>(j), static_cast<float>(k)});
  std::reverse(target.begin(), target.end());
  std::vector<pm::Point> source;
  for (int i = -7; i <= 7; ++i)
    for (int j = -7; j <= 7; ++j)
      source.push_back({i * 0.5f, j * 0.5f, 0.5f});
  const std::vector<int32_t> got = bothAgree(source, target, identity(source.size()));
  // Equal points map onto themselves.
  const std::vector<int32_t> same = bothAgree(target, target, identity(target.size()));
  EXPECT_EQ(same, identity(target.size()));
}

TEST(PointMatch, TheRulesAtTheEdgesOfTheBand) {
  const std::vector<pm::Point> target = {{1, 0, 0}, {0, 2, 0}, {0, 0, 3}, {-2, 0, 0}};
  // Far beyond the outermost target: the outermost target, whatever the direction; inside the
  // innermost by more than the band: the innermost.
  std::vector<pm::Point> source = {{-10, 0, 0}, {0.05f, 0, 0}};
  EXPECT_EQ(bothAgree(source, target, {0, 1}), (std::vector<int32_t>{2, 0}));
  // Two targets equally near (keys 2, 2): the one first in key order (then index) wins.
  source = {{-1, 1, 0}};
  EXPECT_EQ(bothAgree(source, target, {0}), (std::vector<int32_t>{1}));
  // A single target: every point maps to it.
  source = {{5, 5, 5}, {0, 0, 0}, {1, 1, 1}};
  EXPECT_EQ(bothAgree(source, {{1, 2, 3}}, {0, 1, 2, 1}), (std::vector<int32_t>{0, 0, 0, 0}));
  // Points that are no numbers go the band scan's way too.
  source = {{NAN, 0, 0}, {INFINITY, 0, 0}};
  bothAgree(source, target, {0, 1});
  bothAgree({{1, 0, 0}}, {{NAN, 0, 0}, {1, 0, 0}}, {0});
}

TEST(GeometricAlgorithms, RenumbersThroughTheFrameworkContainers) {
  qiv::ZYRGeometricAlgorithms algorithms;
  qiv::TripletQIVVector source;
  qiv::TripletQIVVector target;
  for (float x : {0.f, 1.f, 2.f, 3.f})
    source.push_back(qiv::TripletBase<float>(x, x, 0));
  for (float x : {3.f, 2.f, 1.f, 0.f})
    target.push_back(qiv::TripletBase<float>(x, x, 0));
  qiv::IntQIVVector connectivity;
  for (int c : {0, 1, 2, 3, 3, 0})
    connectivity.push_back(c);
  algorithms.reorderConnectivityVector(source, target, connectivity);
  EXPECT_EQ(std::vector<int>(connectivity.begin(), connectivity.end()), (std::vector<int>{3, 2, 1, 0, 0, 3}));

  // No targets: nothing changes.
  qiv::TripletQIVVector none;
  algorithms.reorderConnectivityVector(source, none, connectivity);
  EXPECT_EQ(std::vector<int>(connectivity.begin(), connectivity.end()), (std::vector<int>{3, 2, 1, 0, 0, 3}));

  // An entry that is no source index is refused before anything changes.
  connectivity[1] = 4;
  try {
    algorithms.reorderConnectivityVector(source, target, connectivity);
    ADD_FAILURE() << "no exception";
  } catch (const qiv::zyrapi::zyr &e) {
    EXPECT_EQ(e.getClass(), "ZYRGeometricAlgorithms");
    EXPECT_EQ(e.getMethod(), "reorderConnectivityVector");
  }
  EXPECT_EQ(std::vector<int>(connectivity.begin(), connectivity.end()), (std::vector<int>{3, 4, 1, 0, 0, 3}));
}

} // namespace
