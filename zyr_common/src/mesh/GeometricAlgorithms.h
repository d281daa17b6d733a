#ifndef GEOMETRIC_ALGORITHMS_H
#define GEOMETRIC_ALGORITHMS_H
// Geometric algorithms over plain arrays: points are x, y, z doubles (three per point),
// connectivity holds `stride` vertex indices per element with the element's own vertices first,
// in the native convention (ElementTopology.h), and indexes the coordinate array by vertex.
// Arrays handed out come from the tracked allocator and belong to the caller. Failures are
// results (0 or NULL); nothing here raises error records.
//
// Orders are fixed: points with equal sort keys keep their index order, so results are the same
// on every platform and from run to run.
#include <cstdint>

// The n point indices ordered ascending by coordinate `axis` (0 x, 1 y, any other z); equal
// coordinates in index order, NaN last. Answers 1 (n of 0 gives NULL), 0 for a negative n.
int GA_orderVertices(int32_t n, const double *points, int32_t axis, int32_t **order);

// Identifies each point of set 1 with a point of set 2 at the same place: *map (count1 entries)
// receives the set-2 index or -1, *noOfMatched the number of set-1 points mapped. Points match
// when their squared distance is below t^2, t being 1e-5 of the largest extent of the box of set
// 1 (of both sets when set 1 has no extent), at least 1e-17. Both sets are ordered along the widest
// axis; each set-1 point takes the nearest set-2 point whose coordinate on that axis lies within t
// of its own, the earliest in that order among equals. A set-2 point may be taken by several
// set-1 points. Answers 1 (count1 of 0 gives NULL), or 0 with no map for bad arguments.
int GA_identifyPoints(int32_t count1, const double *points1, int32_t count2, const double *points2,
                      int32_t *noOfMatched, int32_t **map);
// The two ways GA_identifyPoints searches a window, for tests and measurements; all three give
// the same answer. By sweep, every set-2 point of the window is looked at for each set-1 point:
// quadratic in the window size, as when whole lattice planes share a coordinate. By grid, the
// window's points are filed in cells across the sweep axis and only neighbouring cells are looked
// at (coordinates that are not finite are swept plainly). GA_identifyPoints takes the grid when the
// plain scans would compare more than 16 times as many points as the two sets hold.
int GA_identifyPointsBySweep(int32_t count1, const double *points1, int32_t count2, const double *points2,
                             int32_t *noOfMatched, int32_t **map);
int GA_identifyPointsByGrid(int32_t count1, const double *points1, int32_t count2, const double *points2,
                            int32_t *noOfMatched, int32_t **map);

// Pairs two vertex sets of n vertices each: set-0 vertices are taken in order of their distance
// from the reference point, and each takes the free set-1 vertex nearest to it within 1.05 times
// the largest tolerance (the later one in radial order among equals). The new permutation maps
// set-0 index to set-1 index; NULL when n < 1 or a set-0 vertex finds no free partner.
int32_t *GA_matchVertices(int32_t n, const double *points0, const double *points1, const double *tolerances,
                          const double referencePoint[3]);
// The two ways of GA_matchVertices, for tests and measurements; both give the same permutation.
// By scan, the set-1 records of the radial window are looked at one after the other: quadratic
// when many vertices share a radius (rings, a polar face whose first vertex is the centre) or the
// window is wide. By grid, the free set-1 vertices are filed in cells and only the cells near each
// set-0 vertex are looked at; the radial order, the window and the tie rule are those of the scan.
int32_t *GA_matchVerticesByScan(int32_t n, const double *points0, const double *points1, const double *tolerances,
                                const double referencePoint[3]);
int32_t *GA_matchVerticesByGrid(int32_t n, const double *points0, const double *points1, const double *tolerances,
                                const double referencePoint[3]);

// Measures of n elements, one double each, into *values (allocated zero-filled when NULL, else
// filled in place). The spare arguments are not used. Answers 1, or 0 when n < 1, the stride is
// smaller than the element's vertex count, or the element type has no such measure.
// Volumes of volume elements (tetrahedra, pyramids, prisms, hexahedra), split into tetrahedra.
int GA_getVolumes(int32_t elementType, int32_t spare1, int32_t n, int32_t stride, const int32_t *connectivity,
                  int32_t spare2, const double *coordinates, double **volumes);
// Circumradius over inradius of tetrahedra (vertices 0-3): 3 for a regular right-handed one.
int GA_getBetaStatistic(int32_t spare1, int32_t n, int32_t stride, const int32_t *connectivity, int32_t spare2,
                        const double *coordinates, double **values);
// which = 1 shortest edge, 2 longest edge, 3 their ratio (shortest / longest).
int GA_getEdgeStatistic(int32_t elementType, int32_t convention, int32_t which, int32_t n, int32_t stride,
                        const int32_t *connectivity, int32_t spare, const double *coordinates, double **values);

// Planar (x, y) barycentric coordinates u, v, w of the point in triangle a, b, c. Answers 1 when
// all three lie in [low, high]; 0 as soon as one does not. A degenerate triangle answers 0 and
// leaves u, v and w as they were.
int GA_isInsideTriangle(const double *point, const double *a, const double *b, const double *c, double low,
                        double high, double *u, double *v, double *w);

double GA_getSquaredDistance(const double *a, const double *b);
// det[b - a, c - a, d - a] / 6 of the vertices a, b, c, d: positive when right-handed.
double GA_getTetrahedronVolume(const double *coordinates, int32_t a, int32_t b, int32_t c, int32_t d);
double GA_getTriangleArea(const double *coordinates, int32_t a, int32_t b, int32_t c);
// The areas of the four faces added.
double GA_getTetrahedronArea(const double *coordinates, int32_t a, int32_t b, int32_t c, int32_t d);
// Centre and radius of the sphere through the four vertices.
double GA_getCircumsphere(const double *coordinates, int32_t a, int32_t b, int32_t c, int32_t d, double centre[3]);

#endif
