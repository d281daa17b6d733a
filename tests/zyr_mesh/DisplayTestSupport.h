#ifndef DISPLAY_TEST_SUPPORT_H
#define DISPLAY_TEST_SUPPORT_H
// Pieces shared by the visual and representation tests: a fixture with the topology layer ready,
// visuals made as a restore would leave them (so that any surface, degenerate or damaged, can be
// written down directly), and the display arrays as vectors.
#include "MeshTestSupport.h"
#include "zyrTestErrors.h"

#include <cstdint>
#include <vector>

struct Region;
struct Visual;
struct zyrAffineTransform3D;

class DisplayTest : public MeshTest {
protected:
  void SetUp() override;
};

// A visual of the region over the points (metres) with the triangles, then the quadrilaterals;
// the faces are checked against the vertices on first use.
Visual *storedVisual(Region *region, const std::vector<double> &xyz, const std::vector<int32_t> &triangles,
                     const std::vector<int32_t> &quadrilaterals);

struct Wireframe {
  std::vector<float> xyz;
  std::vector<int32_t> edges;
  int status = -1;
};
struct Facetted {
  std::vector<float> xyz;
  int32_t triangles = 0;
  int32_t quadrilaterals = 0;
  std::vector<int32_t> faces;
  int status = -1;
};

Wireframe wireframeOf(Visual *visual, double angle, const char *units = "m");
Facetted facettedOf(Visual *visual, const char *units = "m");
// Takes the arrays over (tracked allocator).
Wireframe wireframeFrom(int status, int32_t n, float *xyz, int32_t e, int32_t *edges);
Facetted facettedFrom(int status, int32_t n, float *xyz, int32_t t, int32_t q, int32_t *faces);

zyrAffineTransform3D *reflection(int axis);
zyrAffineTransform3D *scaling(double factor);
// Right-handed rotation by 90 degrees about a coordinate axis through the origin.
zyrAffineTransform3D *quarterTurn(int axis);

#endif
