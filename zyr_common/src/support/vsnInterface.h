#ifndef ZYR_VSN_INTERFACE_H
#define ZYR_VSN_INTERFACE_H
// A domain interface of a physics set-up: two sides, each a set of boundaries (linked, not
// owned) whose locations joined with ", " make the side's location, a connection type, and the
// periodicity with its axis. Side index 0 is side 1, index 1 side 2; any other index changes
// nothing (status 0, count -1, string NULL).
#include <cstdint>
#include <cstdio>

struct Location;
struct Region;
struct Set;
struct Topology;
struct vsnBoundary;
struct zyrError;

enum { VSN_INTERFACE_MATCHED = 0, VSN_INTERFACE_AUTOMATIC = 1, VSN_INTERFACE_UNMATCHED = 2 };
enum {
  VSN_PERIODIC_TRANSLATIONAL_NO_AXIS = -1,
  VSN_PERIODIC_NONE = 0,
  VSN_PERIODIC_TRANSLATIONAL = 1,
  VSN_PERIODIC_ROTATIONAL = 2
};

struct vsnInterface {
  char *m_name;                 // owned
  Location *m_sideLocations[2]; // owned
  char *m_boundaryNames[2];     // owned or NULL: a location string naming each side's boundaries
  Set *m_sideBoundaries[2];     // of vsnBoundary
  int32_t m_periodicity;        // -1 to 2
  double m_axisRoot[3];
  double m_axisTip[3];
  char *m_axisUnits;            // owned or NULL
  int32_t m_type;               // 0 matched, 1 automatic, 2 unmatched
};

vsnInterface *vsnInterface_new(const char *name, int32_t type);
// The boundaries stay: they belong to the zone map.
void vsnInterface_delete(vsnInterface *iface);
void vsnInterface_print(const vsnInterface *iface, FILE *stream);

int vsnInterface_setSideLocation(vsnInterface *iface, int side, const char *location);
// Checks both sides; 1 only when both are valid.
int vsnInterface_check(vsnInterface *iface, Topology *topology, zyrError **error);
// Side 1, then side 2; the first status other than 1.
int vsnInterface_resolve(vsnInterface *iface, Topology *topology);
int32_t vsnInterface_getRegions(const vsnInterface *iface, int side, Region ***regions);
int32_t vsnInterface_getLocationComponents(const vsnInterface *iface, int side, char ***names);
const char *vsnInterface_getLocationString(const vsnInterface *iface, int side);

const char *vsnInterface_getName(const vsnInterface *iface);
int32_t vsnInterface_getType(const vsnInterface *iface);

// 1 when added (the side's location is rebuilt), 0 when already there.
int vsnInterface_addBoundary(vsnInterface *iface, int side, vsnBoundary *boundary);
// 1 when removed (the side's location is rebuilt).
int vsnInterface_removeBoundary(vsnInterface *iface, int side, vsnBoundary *boundary);
int32_t vsnInterface_getBoundaries(const vsnInterface *iface, int side, vsnBoundary ***boundaries);
int vsnInterface_setBoundaryNames(vsnInterface *iface, int side, const char *names);
const char *vsnInterface_getBoundaryNames(const vsnInterface *iface, int side);
// The names of the side's boundary-names text; -1 (and NULL) when it has none.
int32_t vsnInterface_parseBoundaryNames(const vsnInterface *iface, int side, char ***names);

// 0 for a periodicity outside -1 to 2 (nothing changes).
int vsnInterface_setPeriodicity(vsnInterface *iface, int32_t periodicity, const char *units, const double root[3],
                                const double tip[3]);
// 0 none, 1 translational, 2 rotational.
int32_t vsnInterface_getPeriodicity(const vsnInterface *iface);
// 0 without axis; -1 when the axis cannot be given in units; else 1 with root and tip in units.
int vsnInterface_getAxis(const vsnInterface *iface, const char *units, double root[3], double tip[3]);

#endif
