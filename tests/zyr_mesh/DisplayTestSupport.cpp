#include "DisplayTestSupport.h"

#include "Vertices.h"
#include "Visual.h"
#include "zyrAffineTransform3D.h"
#include "zyrBlob.h"
#include "zyrMemory.h"
#include "zyrTopologyLayer.h"

void DisplayTest::SetUp() {
  zyrTopologyLayer_initialise();
  MeshTest::SetUp();
}

Visual *storedVisual(Region *region, const std::vector<double> &xyz, const std::vector<int32_t> &triangles,
                     const std::vector<int32_t> &quadrilaterals) {
  Visual *v = static_cast<Visual *>(zyrObject_new("Visual"));
  v->m_region = region;
  zyrObject_setPointer(v, "region", region);
  const int32_t n = static_cast<int32_t>(xyz.size() / 3);
  v->m_vertices = Vertices_new(3, "m", VERTICES_SINGLE_REQUEST, n, n > 0 ? trackedDoubles(xyz) : nullptr);
  zyrObject_setPointer(v, "vertices", v->m_vertices);
  std::vector<int32_t> faces(triangles);
  faces.insert(faces.end(), quadrilaterals.begin(), quadrilaterals.end());
  v->m_noOfTriangles = static_cast<int32_t>(triangles.size() / 3);
  v->m_noOfQuadrilaterals = static_cast<int32_t>(quadrilaterals.size() / 4);
  zyrObject_setInt(v, "noOfTriangles", v->m_noOfTriangles);
  zyrObject_setInt(v, "noOfQuadrilaterals", v->m_noOfQuadrilaterals);
  v->m_faceVertices =
      zyrBlob_new(faces.empty() ? nullptr : trackedInts(faces), 4 * static_cast<int64_t>(faces.size()), ZYR_TYPE_INT);
  zyrObject_setPointer(v, "faceVertices", v->m_faceVertices);
  return v;
}

Wireframe wireframeFrom(int status, int32_t n, float *xyz, int32_t e, int32_t *edges) {
  Wireframe w;
  w.status = status;
  if (n > 0)
    w.xyz.assign(xyz, xyz + 3 * n);
  if (e > 0)
    w.edges.assign(edges, edges + 2 * e);
  zyrMemory_free(xyz, "test");
  zyrMemory_free(edges, "test");
  return w;
}

Facetted facettedFrom(int status, int32_t n, float *xyz, int32_t t, int32_t q, int32_t *faces) {
  Facetted f;
  f.status = status;
  f.triangles = t;
  f.quadrilaterals = q;
  if (n > 0)
    f.xyz.assign(xyz, xyz + 3 * n);
  if (3 * t + 4 * q > 0)
    f.faces.assign(faces, faces + 3 * t + 4 * q);
  zyrMemory_free(xyz, "test");
  zyrMemory_free(faces, "test");
  return f;
}

Wireframe wireframeOf(Visual *visual, double angle, const char *units) {
  int32_t n = -1, e = -1;
  float *xyz = nullptr;
  int32_t *edges = nullptr;
  const int status = Visual_getWireframeDisplay(visual, units, angle, &n, &xyz, &e, &edges);
  return wireframeFrom(status, n, xyz, e, edges);
}

Facetted facettedOf(Visual *visual, const char *units) {
  int32_t n = -1, t = -1, q = -1;
  float *xyz = nullptr;
  int32_t *faces = nullptr;
  const int status = Visual_getFacettedDisplay(visual, units, &n, &xyz, &t, &q, &faces);
  return facettedFrom(status, n, xyz, t, q, faces);
}

zyrAffineTransform3D *reflection(int axis) {
  zyrAffineTransform3D *t = zyrAffineTransform3D_new();
  double normal[3] = {0, 0, 0};
  normal[axis] = 1;
  zyrAffineTransform3D_simpleReflect(t, normal);
  return t;
}

zyrAffineTransform3D *scaling(double factor) {
  zyrAffineTransform3D *t = zyrAffineTransform3D_new();
  const double centre[3] = {0, 0, 0};
  const double factors[3] = {factor, factor, factor};
  zyrAffineTransform3D_scale(t, centre, "m", factors);
  return t;
}

zyrAffineTransform3D *quarterTurn(int axis) {
  zyrAffineTransform3D *t = zyrAffineTransform3D_new();
  double direction[3] = {0, 0, 0};
  direction[axis] = 1;
  zyrAffineTransform3D_simpleRotate(t, direction, 90.0, "deg");
  return t;
}
