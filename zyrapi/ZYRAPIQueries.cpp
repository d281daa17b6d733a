// Questions about locations and regions of the model: boxes, extents, centroids, mesh sizes, mesh
// matches, region lists and relations, and the answers built from them (the size of the assembly
// around a point, the outer boundary of a set of volumes).
#include "ZYRAPI.h"

#include "QIVMessage.h"
#include "StringUtilities.h"
#include "UnitsConverter.h"
#include "ZYRAPIBoundary.h"

#include "zyrAPI.h"

#include <algorithm>
#include <cmath>

namespace qiv {

namespace {

namespace boundary = zyrapi::boundary;

const char *const kClassText = "ZYRAPI";
const char *const kMeshMatchingTolerance = "MeshMatching_relativeTolerance";
const DimensionalityMask kSurfaces = 4;
const DimensionalityMask kVolumes = 8;
const DimensionalityMask kAllDimensions = 15;

double diagonal(double xmin, double xmax, double ymin, double ymax, double zmin, double zmax) {
  const double dx = xmax - xmin;
  const double dy = ymax - ymin;
  const double dz = zmax - zmin;
  return std::pow((dy * dy + dx * dx) + dz * dz, 0.5);
}

} // namespace

// ---- Geometry and mesh sizes ----

void ZYRAPI::setMeshMatchTolerance(double value) {
  if (!isDBOpen())
    return;
  double current = 0;
  boundary::settle<zyrapi::zyr>(zyrStrategy_getRealParameter(m_hModel, kMeshMatchingTolerance, &current), kClassText,
                                "setMeshMatchTolerance");
  // An unchanged value is not set again, so that it is neither recorded nor committed.
  if (current == value)
    return;
  boundary::settle<zyrapi::zyr>(zyrStrategy_setRealParameter(m_hModel, kMeshMatchingTolerance, value), kClassText,
                                "setMeshMatchTolerance");
}

bool ZYRAPI::doesMeshMatch(const std::string &location1, const std::string &location2, MatchType type,
                           const AxisInfo *axis) {
  double root[3] = {0, 0, 0};
  double tip[3] = {0, 0, 0};
  std::string units = "m";
  // Values outside the enumeration ask for the in-place match.
  int32_t matchType = 1;
  if (type == Translational)
    matchType = 2;
  if (type == Rotational) {
    matchType = 3;
    if (axis == nullptr)
      throw zyrapi::zyr(kClassText, "doesMeshMatch", _("No axis information provided when querying a rotating match."),
                        errorTypeError);
    root[0] = axis->rootX;
    root[1] = axis->rootY;
    root[2] = axis->rootZ;
    tip[0] = axis->tipX;
    tip[1] = axis->tipY;
    tip[2] = axis->tipZ;
    units = axis->units;
  }
  int32_t result = 0;
  const int status = zyrLocation_doesMeshMatch(m_hModel, location1.c_str(), location2.c_str(), matchType, root, tip,
                                               units.c_str(), nullptr, &result);
  boundary::settle<zyrapi::zyr>(status, kClassText, "doesMeshMatch");
  return result > 0;
}

bool ZYRAPI::getBoundingBoxForLocation(const std::string &location, double *xmin, double *xmax, double *ymin,
                                       double *ymax, double *zmin, double *zmax, bool ignoreUnknownNames) {
  if (m_hModel == -1)
    return false;
  const int status = zyrLocation_getBoundingBox(m_hModel, location.c_str(), boundary::flag(ignoreUnknownNames), "m",
                                                xmin, xmax, ymin, ymax, zmin, zmax);
  boundary::settle<zyrapi::zyr>(status, kClassText, "getBoundingBox");
  return true;
}

bool ZYRAPI::getExtentsForLocation(const std::string &location, double *extents, int dimensionality,
                                   bool ignoreUnknownNames) {
  if (m_hModel == -1)
    return false;
  const int status = zyrLocation_getExtents(m_hModel, location.c_str(), boundary::flag(ignoreUnknownNames), "m",
                                            dimensionality, extents);
  boundary::settle<zyrapi::zyr>(status, kClassText, "getExtents");
  return true;
}

double ZYRAPI::getExtentForLocation(const std::string &location, bool ignoreUnknownNames) {
  // Without a database the box stays empty: a diagonal of 0.
  double box[6] = {0, 0, 0, 0, 0, 0};
  getBoundingBoxForLocation(location, &box[0], &box[1], &box[2], &box[3], &box[4], &box[5], ignoreUnknownNames);
  return diagonal(box[0], box[1], box[2], box[3], box[4], box[5]);
}

bool ZYRAPI::getCentroid(const std::string &location, double *x, double *y, double *z, bool snap,
                         bool ignoreUnknownNames) {
  if (m_hModel == -1)
    return false;
  const int status = zyrLocation_getCentroid(m_hModel, location.c_str(), boundary::flag(ignoreUnknownNames), "m",
                                             snap ? 11 : 10, x, y, z);
  boundary::report(status, "getBoundingBox", false, true);
  return status == 1;
}

namespace {

// The face or element count of a location: 0 when the call fails, before the failure is thrown.
void countOf(int32_t hModel, const std::string &location, DimensionalityMask mask, uint64_t &count,
             bool ignoreUnknownNames, const char *method) {
  int32_t vertices = 0;
  int32_t elements = 0;
  int32_t byType[8] = {};
  const int status = zyrLocation_getMeshSize(hModel, location.c_str(), boundary::flag(ignoreUnknownNames), mask,
                                             &vertices, &elements, byType);
  count = status == 1 && elements > 0 ? static_cast<uint64_t>(elements) : 0;
  boundary::settle<zyrapi::zyr>(status, kClassText, method);
}

} // namespace

void ZYRAPI::getNumberOfFacesForLocation(const std::string &location, uint64_t &count, bool ignoreUnknownNames) {
  countOf(m_hModel, location, kSurfaces, count, ignoreUnknownNames, "getNumberOfFacesForLocation");
}

void ZYRAPI::getNumberOfElementsForLocation(const std::string &location, uint64_t &count, bool ignoreUnknownNames) {
  countOf(m_hModel, location, kVolumes, count, ignoreUnknownNames, "getNumberOfElementsForLocation");
}

void ZYRAPI::getMeshSize(const std::string &location, bool volumes, MeshSizeInfo &info, bool ignoreUnknownNames) {
  int32_t byType[8] = {};
  const int status =
      zyrLocation_getMeshSize(m_hModel, location.c_str(), boundary::flag(ignoreUnknownNames),
                              volumes ? kVolumes : kSurfaces, &info.noOfVertices, &info.noOfElements, byType);
  if (status == 1)
    info.elementCounts.assign(byType, byType + 8);
  boundary::settle<zyrapi::zyr>(status, kClassText, "getMeshSize");
}

double ZYRAPI::getLocalExtentsForPointLocation(const std::string &point) {
  double result = -1.0;
  double largest = 0.0;
  const std::vector<std::string> pieces = StringUtilities::stringToVector(point, ',');
  if (pieces.size() != 3)
    return 0.0;
  float coordinates[3] = {0, 0, 0};
  for (size_t i = 0; i < 3; ++i) {
    std::string units;
    StringUtilities::valueAsFloat(pieces[i], coordinates[i], units);
    UnitsConverter::instance().convertUnits(coordinates[i], units, "m", true);
  }
  for (const std::string &assembly : getAssemblyNames()) {
    double b[6] = {0, 0, 0, 0, 0, 0};
    getBoundingBoxForLocation(assembly, &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], true);
    const double d = diagonal(b[0], b[1], b[2], b[3], b[4], b[5]);
    getBoundingBoxForLocation(assembly, &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], false);
    const double x = coordinates[0];
    const double y = coordinates[1];
    const double z = coordinates[2];
    if (b[0] < x && x < b[1] && b[2] < y && y < b[3] && b[4] < z && z < b[5])
      result = d;
    if (d >= largest)
      largest = d;
  }
  return result < 0 ? largest : result;
}

// ---- Regions ----

void ZYRAPI::getBoundedRegionForRegion(const std::string &region, std::string &bounded) {
  if (!isDBOpen())
    return;
  boundary::CoreString name;
  const int status = zyrRegion_getBoundedRegion(m_hModel, region.c_str(), name.out());
  // A surface that bounds no volume succeeds without a name: it bounds nothing.
  if (status == 1)
    bounded = name.str();
  boundary::settle<zyrapi::zyr>(status, kClassText, "getBoundedRegionForRegion");
}

void ZYRAPI::getBoundingRegionsForRegion(const std::string &region, std::vector<std::string> &regions) {
  if (!isDBOpen())
    return;
  regions.clear();
  boundary::CoreStringTable table;
  if (zyrRegion_getBoundingRegions(m_hModel, region.c_str(), table.countOut(), table.out()) != 1)
    boundary::throwQueued<zyrapi::zyr>(kClassText, "getBoundingRegionsForRegion");
  table.copyTo(regions);
}

void ZYRAPI::getNeighboursForRegion(const std::string &region, std::vector<std::string> &regions) {
  if (!isDBOpen())
    return;
  regions.clear();
  boundary::CoreStringTable table;
  const int status = zyrRegion_getNeighbours(m_hModel, region.c_str(), table.countOut(), table.out());
  if (status == 1)
    table.copyTo(regions);
  boundary::settle<zyrapi::zyr>(status, kClassText, "getNeighboursForRegion");
}

void ZYRAPI::getPairedRegionsForRegion(const std::string &region, std::vector<std::string> &regions, int type) {
  if (!isDBOpen())
    return;
  regions.clear();
  boundary::CoreStringTable table;
  const int status = zyrRegion_getPairedRegions(m_hModel, type, region.c_str(), table.countOut(), table.out());
  if (status == 1)
    table.copyTo(regions);
  boundary::settle<zyrapi::zyr>(status, kClassText, "getPairedRegionsForRegion");
}

bool ZYRAPI::getNumberPrimitiveRegionsForLocationImpl(const std::string &location, unsigned char mask, int &count,
                                                      bool ignoreUnknownNames) {
  if (!isDBOpen())
    return false;
  count = 0;
  const int status = zyrLocation_getNoOfRegions(m_hModel, location.c_str(), boundary::flag(ignoreUnknownNames),
                                                static_cast<DimensionalityMask>(mask), &count);
  boundary::report(status, "getNumberPrimitiveRegionsForLocation", false, true);
  return status == 1;
}

bool ZYRAPI::getNumberPrimitive2DRegionsForLocation(const std::string &location, int &count,
                                                    bool ignoreUnknownNames) {
  return getNumberPrimitiveRegionsForLocationImpl(location, kSurfaces, count, ignoreUnknownNames);
}

bool ZYRAPI::getNumberPrimitive3DRegionsForLocation(const std::string &location, int &count,
                                                    bool ignoreUnknownNames) {
  return getNumberPrimitiveRegionsForLocationImpl(location, kVolumes, count, ignoreUnknownNames);
}

bool ZYRAPI::getNumberPrimitiveRegionsForLocation(const std::string &location, int &count, bool ignoreUnknownNames) {
  return getNumberPrimitiveRegionsForLocationImpl(location, kAllDimensions, count, ignoreUnknownNames);
}

bool ZYRAPI::getPrimitiveRegionsForLocationImpl(const std::string &location, unsigned char mask,
                                                std::vector<std::string> &regions, bool ignoreUnknownNames) {
  if (!isDBOpen())
    return false;
  regions.clear();
  if (m_hModel == -1)
    return false;
  int status = 0;
  {
    boundary::CoreStringTable table;
    status = zyrLocation_getRegions(m_hModel, location.c_str(), boundary::flag(ignoreUnknownNames),
                                    static_cast<DimensionalityMask>(mask), table.countOut(), table.out());
    if (status == 1)
      table.copyTo(regions);
  }
  boundary::report(status, "getPrimitiveRegionsForLocation", false, true);
  return status == 1;
}

bool ZYRAPI::getPrimitive2DRegionsForLocation(const std::string &location, std::vector<std::string> &regions,
                                              bool ignoreUnknownNames) {
  return getPrimitiveRegionsForLocationImpl(location, kSurfaces, regions, ignoreUnknownNames);
}

bool ZYRAPI::getPrimitive3DRegionsForLocation(const std::string &location, std::vector<std::string> &regions,
                                              bool ignoreUnknownNames) {
  return getPrimitiveRegionsForLocationImpl(location, kVolumes, regions, ignoreUnknownNames);
}

bool ZYRAPI::getPrimitiveRegionsForLocation(const std::string &location, std::vector<std::string> &regions,
                                            bool ignoreUnknownNames) {
  return getPrimitiveRegionsForLocationImpl(location, kAllDimensions, regions, ignoreUnknownNames);
}

void ZYRAPI::getPrimitiveRegionsForModel(unsigned char mask, std::vector<std::string> &regions) const {
  regions.clear();
  if (!isDBOpen())
    return;
  boundary::CoreStringTable table;
  const int status =
      zyrModel_getRegions(m_hModel, static_cast<DimensionalityMask>(mask), table.countOut(), table.out());
  if (status == 1)
    table.copyTo(regions);
  boundary::settle<zyrapi::zyr>(status, kClassText, "getPrimitiveRegionsForModel");
}

void ZYRAPI::getPrimitive2DRegionsForModel(std::vector<std::string> &regions) const {
  getPrimitiveRegionsForModel(kSurfaces, regions);
}

void ZYRAPI::getPrimitive3DRegionsForModel(std::vector<std::string> &regions) const {
  getPrimitiveRegionsForModel(kVolumes, regions);
}

bool ZYRAPI::get2dCompositesForLocation(const std::string &location, std::vector<std::string> &regions,
                                        bool ignoreUnknownNames) {
  if (!isDBOpen())
    return false;
  int status = 0;
  {
    boundary::CoreStringTable table;
    status = zyrLocation_getCompositeNames(m_hModel, location.c_str(), boundary::flag(ignoreUnknownNames), kSurfaces,
                                           table.countOut(), table.out());
    if (status == 1)
      table.copyTo(regions);
  }
  boundary::report(status, "get2dCompositesForLocation", false, true);
  return status == 1;
}

bool ZYRAPI::get3dCompositesForLocation(const std::string &location, std::vector<std::string> &regions,
                                        bool ignoreUnknownNames) {
  if (!isDBOpen())
    return false;
  regions.clear();
  int status = 0;
  {
    boundary::CoreStringTable table;
    status = zyrLocation_getCompositeNames(m_hModel, location.c_str(), boundary::flag(ignoreUnknownNames), kVolumes,
                                           table.countOut(), table.out());
    if (status == 1)
      table.copyTo(regions);
  }
  boundary::report(status, "get3dCompositesForLocation", false, true);
  return status == 1;
}

bool ZYRAPI::get2DBoundForLocation(const std::string &location, std::vector<std::string> &bound,
                                   bool ignoreUnknownNames, bool keepPairedRegions) {
  if (!isDBOpen())
    return false;
  bound.clear();
  std::vector<std::string> volumes;
  if (!getPrimitiveRegionsForLocationImpl(location, kVolumes, volumes, ignoreUnknownNames))
    return false;
  std::vector<std::string> bounding;
  for (const std::string &volume : volumes) {
    getBoundingRegionsForRegion(volume, bounding);
    bound.insert(bound.end(), bounding.begin(), bounding.end());
  }
  std::sort(bound.begin(), bound.end());
  if (keepPairedRegions)
    return false;
  std::vector<std::string> partners;
  size_t current = 0;
  while (current < bound.size()) {
    const std::string entry = bound[current];
    getPairedRegionsForRegion(entry, partners, 1);
    bool removed = false;
    for (const std::string &partner : partners) {
      const auto range = std::equal_range(bound.begin(), bound.end(), partner);
      if (range.first == range.second)
        continue;
      // Entries before the current one that go move it back.
      const size_t before = static_cast<size_t>(range.first - bound.begin());
      const size_t gone = static_cast<size_t>(range.second - range.first);
      bound.erase(range.first, range.second);
      if (before < current)
        current -= std::min(gone, current - before);
      removed = true;
    }
    if (removed) {
      const auto own = std::lower_bound(bound.begin(), bound.end(), entry);
      if (own != bound.end() && *own == entry) {
        current = static_cast<size_t>(own - bound.begin());
        bound.erase(own);
      }
    } else {
      ++current;
    }
  }
  // The answer is bound; the result stays false as hosts have always read it.
  return false;
}

} // namespace qiv
