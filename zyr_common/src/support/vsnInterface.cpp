#include "vsnInterface.h"

#include "Location.h"
#include "LocationString.h"
#include "Set.h"
#include "Units.h"
#include "vsnBoundary.h"
#include "vsnPhysicsRecord.h"
#include "zyrCString.h"
#include "zyrMemory.h"

#include <cstdlib>
#include <string>

namespace {

const int32_t kSurfaces = 4;
const int32_t kSetCapacity = 5;

bool validSide(int side) { return side == 0 || side == 1; }

// The side's location is always the locations of its boundaries joined with ", ".
void rebuildSideLocation(vsnInterface *iface, int side) {
  void **items = nullptr;
  const int32_t count = Set_toArray(iface->m_sideBoundaries[side], &items);
  std::string joined;
  bool any = false;
  for (int32_t i = 0; i < count; ++i) {
    const char *text = vsnBoundary_getLocationString(static_cast<vsnBoundary *>(items[i]));
    if (text == nullptr)
      continue;
    if (any)
      joined += ", ";
    joined += text;
    any = true;
  }
  zyrMemory_free(items, __func__);
  Location_set(iface->m_sideLocations[side], any ? joined.c_str() : nullptr);
}

} // namespace

vsnInterface *vsnInterface_new(const char *name, int32_t type) {
  vsnInterface *iface = zyrMemory_allocateZeroedArray<vsnInterface>(1, __func__);
  iface->m_name = zyrCString_clone(name);
  for (int side = 0; side < 2; ++side) {
    iface->m_sideLocations[side] = Location_new();
    iface->m_sideBoundaries[side] = Set_new(kSetCapacity);
  }
  iface->m_type = type;
  return iface;
}

void vsnInterface_delete(vsnInterface *iface) {
  if (iface == nullptr)
    return;
  zyrCString_free(iface->m_name);
  for (int side = 0; side < 2; ++side) {
    Location_delete(iface->m_sideLocations[side]);
    zyrCString_free(iface->m_boundaryNames[side]);
    Set_delete(iface->m_sideBoundaries[side]);
  }
  zyrCString_free(iface->m_axisUnits);
  zyrMemory_free(iface, __func__);
}

void vsnInterface_print(const vsnInterface *iface, FILE *stream) {
  fprintf(stream, "\n%svsnInterface \"%s\"\n%s", kVsnRule, vsnRecord_name(iface->m_name), kVsnRule);
  static const char *const kTypes[] = {"Matched\n", "Automatic\n", "Unmatched\n"};
  fprintf(stream, "Type        = %s",
          iface->m_type >= 0 && iface->m_type <= 2 ? kTypes[iface->m_type] : "INVALID DATA\n");
  static const char *const kPeriodicities[] = {
      "Translational (no axis supplied) [-1]\n", "None                              [0]\n",
      "Translational (axis supplied)     [1]\n", "Rotational (axis supplied)        [2]\n"};
  fprintf(stream, "Periodicity = %s",
          iface->m_periodicity >= -1 && iface->m_periodicity <= 2 ? kPeriodicities[iface->m_periodicity + 1]
                                                                   : "INVALID DATA\n");
  if (iface->m_periodicity > 0) {
    const char *units = iface->m_axisUnits != nullptr ? iface->m_axisUnits : "";
    fprintf(stream, "\nAxis of periodicity: Root = [%e, %e, %e] [%s]", iface->m_axisRoot[0], iface->m_axisRoot[1],
            iface->m_axisRoot[2], units);
    fprintf(stream, "\n                     Tip  = [%e, %e, %e] [%s]\n\n", iface->m_axisTip[0], iface->m_axisTip[1],
            iface->m_axisTip[2], units);
  }
  for (int side = 0; side < 2; ++side) {
    fprintf(stream, "Side %d:\n------\n", side);
    if (iface->m_boundaryNames[side] != nullptr)
      fprintf(stream, "  \"%s\"\n", iface->m_boundaryNames[side]);
    else
      fprintf(stream, "  [Boundary names not set]\n");
    vsnBoundary **boundaries = nullptr;
    const int32_t count = vsnInterface_getBoundaries(iface, side, &boundaries);
    for (int32_t i = 0; i < count; ++i)
      fprintf(stream, "  \"%s\"\n", vsnRecord_name(vsnBoundary_getName(boundaries[i])));
    zyrMemory_free(boundaries, __func__);
    fprintf(stream, "\n");
    Location_print(iface->m_sideLocations[side], stream);
  }
  fprintf(stream, "%s\n", kVsnRule);
}

int vsnInterface_setSideLocation(vsnInterface *iface, int side, const char *location) {
  if (!validSide(side))
    return 0;
  return Location_set(iface->m_sideLocations[side], location);
}

int vsnInterface_check(vsnInterface *iface, Topology *topology, zyrError **error) {
  const int first = vsnRecord_check(iface->m_sideLocations[0], topology, "interface - side 1", iface->m_name, error);
  const int second = vsnRecord_check(iface->m_sideLocations[1], topology, "interface - side 2", iface->m_name, error);
  return first == 1 && second == 1 ? 1 : 0;
}

int vsnInterface_resolve(vsnInterface *iface, Topology *topology) {
  for (int side = 0; side < 2; ++side) {
    const int status = Location_resolve(iface->m_sideLocations[side], topology);
    if (status != 1)
      return status;
  }
  return 1;
}

int32_t vsnInterface_getRegions(const vsnInterface *iface, int side, Region ***regions) {
  *regions = nullptr;
  if (!validSide(side))
    return -1;
  return vsnRecord_getRegions(iface->m_sideLocations[side], kSurfaces, 0, regions);
}

int32_t vsnInterface_getLocationComponents(const vsnInterface *iface, int side, char ***names) {
  *names = nullptr;
  if (!validSide(side))
    return -1;
  return vsnRecord_getComponents(iface->m_sideLocations[side], names);
}

const char *vsnInterface_getLocationString(const vsnInterface *iface, int side) {
  return validSide(side) ? Location_getString(iface->m_sideLocations[side]) : nullptr;
}

const char *vsnInterface_getName(const vsnInterface *iface) { return iface->m_name; }

int32_t vsnInterface_getType(const vsnInterface *iface) { return iface->m_type; }

int vsnInterface_addBoundary(vsnInterface *iface, int side, vsnBoundary *boundary) {
  if (!validSide(side) || !Set_add(iface->m_sideBoundaries[side], boundary))
    return 0;
  rebuildSideLocation(iface, side);
  return 1;
}

int vsnInterface_removeBoundary(vsnInterface *iface, int side, vsnBoundary *boundary) {
  if (!validSide(side) || !Set_remove(iface->m_sideBoundaries[side], boundary))
    return 0;
  rebuildSideLocation(iface, side);
  return 1;
}

int32_t vsnInterface_getBoundaries(const vsnInterface *iface, int side, vsnBoundary ***boundaries) {
  *boundaries = nullptr;
  if (!validSide(side))
    return -1;
  void **items = nullptr;
  const int32_t count = Set_toArray(iface->m_sideBoundaries[side], &items);
  *boundaries = reinterpret_cast<vsnBoundary **>(items);
  return count;
}

int vsnInterface_setBoundaryNames(vsnInterface *iface, int side, const char *names) {
  if (!validSide(side))
    return 0;
  zyrCString_reassign(&iface->m_boundaryNames[side], names);
  return 1;
}

const char *vsnInterface_getBoundaryNames(const vsnInterface *iface, int side) {
  return validSide(side) ? iface->m_boundaryNames[side] : nullptr;
}

int32_t vsnInterface_parseBoundaryNames(const vsnInterface *iface, int side, char ***names) {
  *names = nullptr;
  if (!validSide(side) || iface->m_boundaryNames[side] == nullptr)
    return -1;
  int32_t count = 0;
  if (!LocationString_parse(iface->m_boundaryNames[side], &count, names))
    return -1;
  return count;
}

int vsnInterface_setPeriodicity(vsnInterface *iface, int32_t periodicity, const char *units, const double root[3],
                                const double tip[3]) {
  if (periodicity < -1 || periodicity > 2)
    return 0;
  iface->m_periodicity = periodicity;
  zyrCString_reassign(&iface->m_axisUnits, units);
  for (int k = 0; k < 3; ++k) {
    iface->m_axisRoot[k] = root != nullptr ? root[k] : 0.0;
    iface->m_axisTip[k] = tip != nullptr ? tip[k] : 0.0;
  }
  return 1;
}

int32_t vsnInterface_getPeriodicity(const vsnInterface *iface) { return std::abs(iface->m_periodicity); }

int vsnInterface_getAxis(const vsnInterface *iface, const char *units, double root[3], double tip[3]) {
  if (iface->m_periodicity < 1)
    return 0;
  double factor = 1.0;
  if (iface->m_axisUnits == nullptr || units == nullptr ||
      !Units_getConversionFactor(iface->m_axisUnits, units, &factor))
    return -1;
  for (int k = 0; k < 3; ++k) {
    root[k] = iface->m_axisRoot[k] * factor;
    tip[k] = iface->m_axisTip[k] * factor;
  }
  return 1;
}
