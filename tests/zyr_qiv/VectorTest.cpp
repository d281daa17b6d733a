// Triplets, the framework vectors and the geometric algorithm interface.
#include "GeometricAlgorithmInterface.h"
#include "IntQIVVector.h"
#include "TripletBase.h"
#include "TripletQIVVector.h"

#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

TEST(QivVector, TripletVectorOperations) {
  qiv::TripletQIVVector points;
  EXPECT_TRUE(points.empty());
  points.push_back(qiv::TripletBase<float>(1, 2, 3));
  points.push_back(qiv::TripletBase<float>(4, 5, 6));
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points[1], qiv::TripletBase<float>(4, 5, 6));
  points[0].setZ(30);
  EXPECT_EQ(points.at(0).z(), 30.0f);
  EXPECT_THROW(points.at(2), std::out_of_range);
  points.clear();
  EXPECT_TRUE(points.empty());
  const qiv::TripletQIVVector three(3);
  ASSERT_EQ(three.size(), 3u);
  EXPECT_EQ(three[2], qiv::TripletBase<float>());
}

TEST(QivVector, IntVectorStorageIsContiguousAndWritable) {
  qiv::IntQIVVector lines;
  lines.resize(6);
  EXPECT_EQ(lines.size(), 6u);
  int *storage = lines.data();
  std::iota(storage, storage + lines.size(), 10);
  EXPECT_EQ(lines[0], 10);
  EXPECT_EQ(lines[5], 15);
  lines.resize(2);
  EXPECT_EQ(lines.size(), 2u);
  lines.resize(4);
  EXPECT_EQ(lines[2], 0); // grown entries are zero
  EXPECT_EQ(qiv::IntQIVVector(3), qiv::IntQIVVector(3));
  EXPECT_NE(lines, qiv::IntQIVVector(4));
  // Read through a const reference the same values come in order.
  const qiv::IntQIVVector &seen = lines;
  EXPECT_EQ(std::vector<int>(seen.begin(), seen.end()), (std::vector<int>{10, 11, 0, 0}));
}

// A vector type that keeps a count of its own in step through the virtual resize.
class CountingIntVector : public qiv::IntQIVVector {
public:
  void resize(size_t size) override {
    ++resizes;
    qiv::IntQIVVector::resize(size);
  }
  int resizes = 0;
};

TEST(QivVector, ResizeThroughTheBaseReachesTheDerivedType) {
  CountingIntVector counting;
  qiv::IntQIVVector &base = counting;
  base.resize(5);
  EXPECT_EQ(counting.resizes, 1);
  EXPECT_EQ(base.size(), 5u);
}

// An implementation of the interface as a provider would write one.
class Provider : public qiv::GeometricAlgorithmInterface {
public:
  explicit Provider(bool *destroyed) : m_destroyed(destroyed) {}
  ~Provider() override { *m_destroyed = true; }
  void calculateWireframe(std::string &location, qiv::TripletQIVVector &points,
                          qiv::IntQIVVector &lines, double featureAngle) override {
    lastLocation = location;
    points.clear();
    points.push_back(qiv::TripletBase<float>(0, 0, 0));
    points.push_back(qiv::TripletBase<float>(static_cast<float>(featureAngle), 0, 0));
    lines.resize(2);
    lines.data()[0] = 0;
    lines.data()[1] = 1;
  }
  void reorderConnectivityVector(qiv::TripletQIVVector &, qiv::TripletQIVVector &,
                                 qiv::IntQIVVector &connectivity) override {
    for (int &index : connectivity)
      index = -index;
  }
  std::string lastLocation;

private:
  bool *m_destroyed;
};

TEST(QivGeometricInterface, CalledAndDeletedThroughTheInterface) {
  bool destroyed = false;
  std::unique_ptr<qiv::GeometricAlgorithmInterface> algorithms(new Provider(&destroyed));
  std::string location = "Inlet, Outlet";
  qiv::TripletQIVVector points;
  qiv::IntQIVVector lines;
  algorithms->calculateWireframe(location, points, lines, 30.0);
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points[1].x(), 30.0f);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], 1);
  EXPECT_EQ(static_cast<Provider &>(*algorithms).lastLocation, "Inlet, Outlet");
  qiv::IntQIVVector connectivity(3);
  connectivity[1] = 4;
  algorithms->reorderConnectivityVector(points, points, connectivity);
  EXPECT_EQ(connectivity[1], -4);
  algorithms.reset();
  EXPECT_TRUE(destroyed);
}

} // namespace
