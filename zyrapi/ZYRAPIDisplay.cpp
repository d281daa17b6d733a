// Mesh data for the host's viewer and editors: the faces of one surface split by shape, and the
// facetted and wireframe displays of a location.
#include "ZYRAPI.h"

#include "ZYRAPIBoundary.h"

#include "zyrAPI.h"
#include "zyrError.h"
#include "zyrMemory.h"

namespace qiv {

namespace {

namespace boundary = zyrapi::boundary;

const int32_t kTriangle = 2;
const int32_t kQuadrilateral = 3;

template <class T> void release(std::vector<T> &values) { std::vector<T>().swap(values); }

// The look-up of a single region reports a name that is no primitive region as such, not as an
// unknown location name; for the region's mesh it is the same answer, "no such region". True,
// with the queue emptied, when every queued error is one of those.
bool takeUnknownRegionErrors() {
  int32_t count = 0;
  zyrError **errors = nullptr;
  if (zyrApp_getErrors(&count, &errors) != 1)
    return false;
  bool unknown = true;
  for (int32_t i = 0; unknown && i < count; ++i) {
    const int32_t code = zyrError_getCode(errors[i]);
    unknown = code == 10036 || code == 10039 || code == 10040;
  }
  zyrMemory_free(errors, "qiv::ZYRAPI::getMeshFor2DRegion");
  if (unknown)
    zyrApp_clearErrors();
  return unknown;
}

} // namespace

bool ZYRAPI::getMeshFor2DRegion(const std::string &region, std::vector<double> &coordinates,
                                std::vector<int> &triangleFaces, std::vector<int> &triangles,
                                std::vector<int> &quadFaces, std::vector<int> &quads) {
  release(coordinates);
  release(triangleFaces);
  release(triangles);
  release(quadFaces);
  release(quads);
  const char *const label = "qiv::ZYRAPI::getMeshFor2DRegion";
  int32_t noOfVertices = 0;
  int32_t noOfElements = 0;
  boundary::CoreArray<double> xyz(label);
  boundary::CoreArray<int32_t> types(label);
  boundary::CoreArray<int32_t> vertices(label);
  const int status = zyrRegion_getMesh(m_hModel, region.c_str(), 0, "m", &noOfVertices, xyz.out(), &noOfElements,
                                       types.out(), vertices.out());
  if (status == 1) {
    coordinates = xyz.take(3 * static_cast<int64_t>(noOfVertices));
    const int32_t *type = types.get();
    const int32_t *v = vertices.get();
    // Triangles first, then quadrilaterals, each pass walking the whole vertex list: a surface
    // holds no other shapes.
    size_t cursor = 0;
    for (int32_t i = 0; i < noOfElements; ++i) {
      if (type[i] == kTriangle) {
        triangleFaces.push_back(i);
        triangles.insert(triangles.end(), v + cursor, v + cursor + 3);
        cursor += 3;
      } else {
        cursor += 4;
      }
    }
    cursor = 0;
    for (int32_t i = 0; i < noOfElements; ++i) {
      if (type[i] == kQuadrilateral) {
        quadFaces.push_back(i);
        quads.insert(quads.end(), v + cursor, v + cursor + 4);
        cursor += 4;
      } else {
        cursor += 3;
      }
    }
  }
  if (status != 1 && takeUnknownRegionErrors())
    return false;
  boundary::report(status, "getMeshFor2DRegion", false, true);
  return status == 1;
}

bool ZYRAPI::getFacettedDisplayForLocation(const std::string &location, FacettedDisplay &display,
                                           bool ignoreUnknownNames) {
  release(display.points);
  release(display.connectivity);
  const char *const label = "qiv::ZYRAPI::getFacettedDisplayForLocation";
  boundary::CoreArray<float> xyz(label);
  boundary::CoreArray<int32_t> faces(label);
  const int status =
      zyrLocation_getFacettedDisplay(m_hModel, location.c_str(), boundary::flag(ignoreUnknownNames), "m",
                                     &display.nPoints, xyz.out(), &display.nTriangles, &display.nQuads, faces.out());
  if (status == 1) {
    display.points = xyz.take(3 * static_cast<int64_t>(display.nPoints));
    display.connectivity =
        faces.take(3 * static_cast<int64_t>(display.nTriangles) + 4 * static_cast<int64_t>(display.nQuads));
  }
  boundary::report(status, "getFacettedDisplay", false, true);
  return status == 1;
}

bool ZYRAPI::getWireframeDisplayForLocation(const std::string &location, double angle, WireframeDisplay &display,
                                            bool ignoreUnknownNames) {
  release(display.points);
  release(display.lines);
  const char *const label = "qiv::ZYRAPI::getWireframeDisplayForLocation";
  boundary::CoreArray<float> xyz(label);
  boundary::CoreArray<int32_t> ends(label);
  const int status = zyrLocation_getWireframeDisplay(m_hModel, location.c_str(), boundary::flag(ignoreUnknownNames),
                                                     "m", angle, &display.nPoints, xyz.out(), &display.nLines,
                                                     ends.out());
  if (status == 1) {
    display.points = xyz.take(3 * static_cast<int64_t>(display.nPoints));
    display.lines = ends.take(2 * static_cast<int64_t>(display.nLines));
  }
  boundary::report(status, "getWireframeDisplayForLocation", false, true);
  return status == 1;
}

} // namespace qiv
