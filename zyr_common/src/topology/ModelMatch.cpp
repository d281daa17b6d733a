// Whether the surface meshes of two locations match face for face, in place, after a periodic
// transformation or after one the caller gives. Nothing in the model changes.
#include "FaceMesh.h"
#include "InterfaceMatching.h"
#include "Mesh.h"
#include "Model.h"
#include "Region.h"
#include "zyrAffineTransform3D.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char *nameOf(const Region *region) {
  const char *name = region != nullptr ? Region_getUserName(region) : nullptr;
  return name != nullptr ? name : "";
}

// Copies the transformation's matrix, vector and units into another.
int assign(zyrAffineTransform3D *to, const zyrAffineTransform3D *from) {
  double matrix[9];
  double vector[3];
  char *units = nullptr;
  int status = zyrAffineTransform3D_get(from, matrix, vector, &units);
  if (status == 1)
    status = zyrAffineTransform3D_set(to, matrix, vector, units);
  zyrCString_free(units);
  return status;
}

} // namespace

int Model_doesMeshMatch(Model *model, const char *location1, const char *location2, int32_t type,
                        const double axisRoot[3], const double axisTip[3], const char *units,
                        zyrAffineTransform3D *transformation, int32_t *doesMeshMatch) {
  const double tolerance = Model_getActiveRelativeTolerance(model);
  *doesMeshMatch = 0;
  int32_t counts[2] = {0, 0};
  Region **regions[2] = {nullptr, nullptr};
  int status = Model_getLocationRegions(model, location1, 0, 4, &counts[0], &regions[0]);
  if (status == 1)
    status = Model_getLocationRegions(model, location2, 0, 4, &counts[1], &regions[1]);
  auto release = [&regions]() {
    zyrMemory_free(regions[0], __func__);
    zyrMemory_free(regions[1], __func__);
  };
  if (status != 1 || counts[0] != counts[1] || counts[0] == 0) {
    release();
    return status;
  }

  // In place, pairs that are already connected count as matching and leave the comparison.
  int32_t struck = 0;
  if (type == 1) {
    std::vector<Region *> side[2] = {std::vector<Region *>(regions[0], regions[0] + counts[0]),
                                     std::vector<Region *>(regions[1], regions[1] + counts[1])};
    for (Region *&region : side[0]) {
      Region *neighbour = Region_getNeighbour(region);
      if (neighbour == nullptr)
        continue;
      auto partner = std::find(side[1].begin(), side[1].end(), neighbour);
      if (partner == side[1].end()) {
        release();
        return 1;
      }
      region = nullptr;
      *partner = nullptr;
      ++struck;
    }
    if (struck == counts[0]) {
      *doesMeshMatch = 3;
      release();
      return 1;
    }
    for (int s = 0; s < 2; ++s) {
      side[s].erase(std::remove(side[s].begin(), side[s].end(), nullptr), side[s].end());
      std::copy(side[s].begin(), side[s].end(), regions[s]);
      counts[s] -= struck;
    }
  }

  const int32_t n = counts[0];
  Mesh *mesh = Model_getMesh(model);
  std::vector<FaceMesh *> meshes[2] = {std::vector<FaceMesh *>(static_cast<size_t>(n)),
                                       std::vector<FaceMesh *>(static_cast<size_t>(n))};
  for (int32_t i = 0; i < n; ++i) {
    for (int s = 0; s < 2; ++s)
      meshes[s][static_cast<size_t>(i)] = mesh != nullptr ? Mesh_getFaceMesh(mesh, regions[s][i]) : nullptr;
    if (meshes[0][static_cast<size_t>(i)] != nullptr && meshes[1][static_cast<size_t>(i)] != nullptr)
      continue;
    // Queued for the host without being shown.
    zyrError *error = zyrError_new(ZYR_U_INVALID_INPUT, __func__, __FILE__, __LINE__);
    std::string message;
    for (int s = 0; s < 2; ++s) {
      if (meshes[s][static_cast<size_t>(i)] != nullptr)
        continue;
      if (!message.empty())
        message += "\n";
      message +=
          std::string("Unable to determine the face mesh associated with region \"") + nameOf(regions[s][i]) + "\".\n";
    }
    zyrError_addMessage(error, "%s", message.c_str());
    *doesMeshMatch = 3;
    release();
    return 0;
  }
  release();

  const zyrAffineTransform3D *applied = transformation;
  zyrAffineTransform3D *found = nullptr;
  if (type == 2 || type == 3) {
    FaceMesh *const *lists[2] = {meshes[0].data(), meshes[1].data()};
    status = MA_findPeriodicTransformation(type - 1, axisRoot, axisTip, units, n, lists, &found);
    if (status == 1 && found != nullptr && transformation != nullptr)
      status = assign(transformation, found);
    if (status != 1) {
      zyrAffineTransform3D_delete(found);
      return status;
    }
    applied = found;
  }
  FaceMesh **const lists[2] = {meshes[0].data(), meshes[1].data()};
  const int32_t matched = Mesh_matchMeshes(mesh, tolerance, counts, lists, applied, MESH_MATCH_COUNT, nullptr);
  zyrAffineTransform3D_delete(found);
  if (matched == n)
    *doesMeshMatch = struck > 0 ? 2 : 1;
  return 1;
}
