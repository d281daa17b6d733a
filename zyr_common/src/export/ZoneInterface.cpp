// Zone interfaces of a definition file: sides, zones and one-to-one matched face meshes, with the
// face pairs and vertex pairs the solver reads at "ZIF<n>".
#include "ZoneInterface.h"

#include "Connection.h"
#include "DefFile.h"
#include "FaceMesh.h"
#include "HashSet.h"
#include "InterfaceMap.h"
#include "InterfaceMatching.h"
#include "Labelling.h"
#include "MatchedMesh.h"
#include "Mesh.h"
#include "Numbering.h"
#include "Region.h"
#include "Topology.h"
#include "Zone.h"
#include "vsnBoundary.h"
#include "vsnDomain.h"
#include "vsnInterface.h"
#include "zyrAffineTransform3D.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"
#include "zyrTrace.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace {

// Four vertex places per face in the face pairs.
const int32_t kPlaces = 4;

template <class T> void release(T *&array) {
  if (array != nullptr)
    zyrMemory_free(array, "ZoneInterface");
  array = nullptr;
}

// An array handed out by a lower layer, released on every way out.
template <class T> struct Held {
  T *m_p = nullptr;
  Held() = default;
  Held(const Held &) = delete;
  Held &operator=(const Held &) = delete;
  ~Held() { release(m_p); }
  T **out() {
    release(m_p);
    return &m_p;
  }
  T &operator[](int64_t i) const { return m_p[i]; }
};

std::string zifLocation(int32_t n) { return "ZIF" + std::to_string(n); }

// Ends creation: the sets and the half-built record go.
ZoneInterface *abandon(ZoneInterface *zi, HashSet *sets[2]) {
  for (int s = 0; s < 2; ++s)
    if (sets[s] != nullptr)
      HashSet_delete(sets[s]);
  ZoneInterface_delete(zi);
  return nullptr;
}

void addMatched(ZoneInterface *zi, MatchedMesh *matched) {
  zi->m_matchedMeshes =
      zyrMemory_reallocateArray<MatchedMesh *>(zi->m_matchedMeshes, zi->m_noOfMatchedMeshes + 1, "ZoneInterface");
  zi->m_matchedMeshes[zi->m_noOfMatchedMeshes++] = matched;
}

// The side's boundaries and their zones (step 3 of creation); 0 after publishing why.
int resolveSide(ZoneInterface *zi, int side, Zone *const *zones) {
  const char *name = vsnInterface_getName(zi->m_interface);
  vsnBoundary **boundaries = nullptr;
  int32_t n = vsnInterface_getBoundaries(zi->m_interface, side, &boundaries);
  zi->m_boundaries[side] = boundaries;
  zi->m_noOfBoundaries[side] = n > 0 ? n : 0;
  if (n <= 0) {
    ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, "ZoneInterface_new", "There are no boundaries on side %d of interface %s.\n",
                  side, name);
    return 0;
  }
  zi->m_boundaryZones[side] = zyrMemory_allocateZeroedArray<Zone *>(n, "ZoneInterface");
  for (int32_t b = 0; b < n; ++b) {
    const vsnDomain *domain = vsnBoundary_getDomain(boundaries[b]);
    if (domain == nullptr) {
      ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, "ZoneInterface_new",
                    "There was a problem identifying a domain on side %d of\ninterface %s.\n", side, name);
      return 0;
    }
    int32_t id = 0;
    Zone *zone = Labelling_getLabel(zi->m_labelling, domain, &id) && id >= 1 ? zones[id] : nullptr;
    if (zone == nullptr) {
      ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, "ZoneInterface_new",
                    "There was a problem identifying the zone number for domain %s\non side %d of interface %s.\n",
                    vsnDomain_getName(domain), side, name);
      return 0;
    }
    zi->m_boundaryZones[side][b] = zone;
  }
  return 1;
}

// Interface maps of connections already in the model between the two sides' surfaces.
void takeExisting(ZoneInterface *zi, HashSet *sets[2]) {
  Connection **connections = nullptr;
  int32_t n = Topology_getConnections(Mesh_getTopology(zi->m_mesh), &connections);
  std::vector<std::pair<Connection *, int>> kept;
  for (int32_t i = 0; i < n; ++i) {
    Region *a = nullptr, *b = nullptr;
    Connection_getSides(connections[i], &a, &b);
    if (HashSet_contains(sets[0], a) && HashSet_contains(sets[1], b)) {
      kept.emplace_back(connections[i], 0);
      HashSet_remove(sets[0], a);
      HashSet_remove(sets[1], b);
    } else if (HashSet_contains(sets[1], a) && HashSet_contains(sets[0], b)) {
      kept.emplace_back(connections[i], 1);
      HashSet_remove(sets[1], a);
      HashSet_remove(sets[0], b);
    }
  }
  release(connections);
  for (const auto &entry : kept) {
    InterfaceMap *map = Mesh_getInterfaceMap(zi->m_mesh, entry.first);
    if (map == nullptr)
      continue;
    Region *a = nullptr, *b = nullptr;
    Connection_getSides(entry.first, &a, &b);
    MatchedMesh *matched = MatchedMesh_new();
    matched->m_surface[0] = entry.second ? b : a;
    matched->m_surface[1] = entry.second ? a : b;
    matched->m_interfaceMap = map;
    matched->m_reversed = entry.second;
    addMatched(zi, matched);
  }
}

// Matches what is left of the two sets; 0 after publishing why.
int matchNew(ZoneInterface *zi, HashSet *sets[2], double tolerance) {
  std::vector<FaceMesh *> lists[2];
  for (int s = 0; s < 2; ++s) {
    void **members = nullptr;
    int32_t n = HashSet_toArray(sets[s], &members);
    // The meshes are matched, and their maps made, in model order, not in the set's.
    zyrSortRegionsInModelOrder(n, reinterpret_cast<Region **>(members));
    for (int32_t i = 0; i < n; ++i)
      lists[s].push_back(Mesh_getFaceMesh(zi->m_mesh, static_cast<Region *>(members[i])));
    release(members);
  }
  // A surface without a face mesh cannot take part in matching.
  for (auto &list : lists)
    list.erase(std::remove(list.begin(), list.end(), nullptr), list.end());
  if (lists[0].empty() || lists[1].empty())
    return 1;
  FaceMesh **arrays[2] = {lists[0].data(), lists[1].data()};
  zyrAffineTransform3D *transform = nullptr;
  if (zi->m_periodic && lists[0].size() == lists[1].size())
    transform = ZoneInterface_findPeriodicTransformation(zi, int32_t(lists[0].size()), arrays);
  const int32_t counts[2] = {int32_t(lists[0].size()), int32_t(lists[1].size())};
  InterfaceMap **maps = nullptr;
  int32_t n = Mesh_matchMeshes(zi->m_mesh, tolerance, counts, arrays, transform, MESH_MATCH_NEW_MAPS, &maps);
  if (transform != nullptr)
    zyrAffineTransform3D_delete(transform);
  int ok = 1;
  for (int32_t i = 0; i < n && maps != nullptr; ++i) {
    FaceMesh *side0 = nullptr, *side1 = nullptr;
    MatchedMesh *matched = MatchedMesh_new();
    matched->m_interfaceMap = maps[i];
    matched->m_ownsMap = 1;
    addMatched(zi, matched);
    if (!ok)
      continue;
    if (!InterfaceMap_getFaceMeshes(maps[i], &side0, &side1) || side0 == nullptr || side1 == nullptr) {
      ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, "ZoneInterface_new",
                    "Unable to identify face meshes on either side of an interface map.\n");
      ok = 0;
      continue;
    }
    matched->m_surface[0] = FaceMesh_getRegion(side0);
    matched->m_surface[1] = FaceMesh_getRegion(side1);
    HashSet_remove(sets[0], matched->m_surface[0]);
    HashSet_remove(sets[1], matched->m_surface[1]);
  }
  release(maps);
  return ok;
}

// The boundary and zone of each side of each matched mesh; 0 after publishing why.
int placeMatched(ZoneInterface *zi) {
  for (int32_t m = 0; m < zi->m_noOfMatchedMeshes; ++m) {
    MatchedMesh *matched = zi->m_matchedMeshes[m];
    for (int side = 0; side < 2; ++side) {
      if (zi->m_noOfBoundaries[side] == 1) {
        matched->m_zone[side] = zi->m_boundaryZones[side][0];
        continue;
      }
      for (int32_t b = 0; b < zi->m_noOfBoundaries[side] && matched->m_zone[side] == nullptr; ++b)
        if (vsnBoundary_isRegionInBoundary(zi->m_boundaries[side][b], matched->m_surface[side]) == 1) {
          matched->m_boundary[side] = zi->m_boundaries[side][b];
          matched->m_zone[side] = zi->m_boundaryZones[side][b];
        }
      if (matched->m_zone[side] == nullptr) {
        ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, "ZoneInterface_new",
                      "Unable to identify which boundary region %s is in for\n side %d of interface.\n",
                      Region_getName(matched->m_surface[side]), side);
        return 0;
      }
    }
    matched->m_swapped = Zone_getNumber(matched->m_zone[1]) < Zone_getNumber(matched->m_zone[0]) ? 1 : 0;
  }
  return 1;
}

} // namespace

zyrAffineTransform3D *ZoneInterface_findPeriodicTransformation(const ZoneInterface *zi, int32_t n,
                                                               FaceMesh *const *const faceMeshes[2]) {
  zyrAffineTransform3D *transform = nullptr;
  const int32_t kind = vsnInterface_getPeriodicity(zi->m_interface);
  double root[3] = {0, 0, 0}, tip[3] = {0, 0, 0};
  if (kind == VSN_PERIODIC_ROTATIONAL) {
    if (vsnInterface_getAxis(zi->m_interface, "m", root, tip) != 1)
      return nullptr;
    if (!MA_findPeriodicTransformation(MA_PERIODIC_ROTATION, root, tip, "m", n, faceMeshes, &transform))
      transform = nullptr;
  } else if (kind == VSN_PERIODIC_TRANSLATIONAL) {
    if (!MA_findPeriodicTransformation(MA_PERIODIC_TRANSLATION, nullptr, nullptr, nullptr, n, faceMeshes, &transform))
      transform = nullptr;
  }
  return transform;
}

ZoneInterface *ZoneInterface_new(Mesh *mesh, vsnInterface *iface, int32_t useExisting, int32_t matchNewMeshes,
                                 double tolerance, const Labelling *labelling, Zone *const *zones) {
  ZYR_TRACE_BEGIN_DESC("Create a zone interface of a definition file.");
  int32_t number = 0;
  if (iface == nullptr || !Labelling_getLabel(labelling, iface, &number))
    return nullptr;
  auto *zi = zyrMemory_allocateZeroedArray<ZoneInterface>(1, __func__);
  zi->m_noOfMatchedFaces = zi->m_noOfMatchedVertices = zi->m_noOfDistinctMatchedVertices = -1;
  zi->m_noOfDistinctZones[0] = zi->m_noOfDistinctZones[1] = -1;
  zi->m_number = number;
  zi->m_interface = iface;
  zi->m_mesh = mesh;
  zi->m_labelling = labelling;
  zi->m_periodic = vsnInterface_getPeriodicity(iface) > 0 ? 1 : 0;
  HashSet *sets[2] = {nullptr, nullptr};
  for (int side = 0; side < 2; ++side)
    if (!resolveSide(zi, side, zones))
      return abandon(zi, sets);

  if (useExisting) {
    for (int side = 0; side < 2; ++side) {
      Region **regions = nullptr;
      int32_t n = vsnInterface_getRegions(iface, side, &regions);
      zi->m_noOfSurfaces[side] = n > 0 ? n : 0;
      if (n <= 0) {
        release(regions);
        ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "There are no boundary regions on side %d of interface %s.\n", side,
                  vsnInterface_getName(iface));
        return abandon(zi, sets);
      }
      sets[side] = HashSet_new(n);
      for (int32_t i = 0; i < n; ++i)
        if (!HashSet_contains(sets[side], regions[i]))
          HashSet_add(sets[side], regions[i]);
      release(regions);
    }
    takeExisting(zi, sets);
    if (matchNewMeshes == 1 && HashSet_getNoOfMembers(sets[0]) > 0 && HashSet_getNoOfMembers(sets[1]) > 0 &&
        !matchNew(zi, sets, tolerance))
      return abandon(zi, sets);
  }
  if (!placeMatched(zi))
    return abandon(zi, sets);
  for (int side = 0; side < 2; ++side)
    if (sets[side] != nullptr)
      HashSet_delete(sets[side]);
  if (ZYR_TRACE_DEBUG(1))
    ZoneInterface_print(zi, zyrTrace_getLog());
  return zi;
}

void ZoneInterface_delete(ZoneInterface *zi) {
  if (zi == nullptr)
    return;
  for (int side = 0; side < 2; ++side) {
    release(zi->m_boundaries[side]);
    release(zi->m_boundaryZones[side]);
    release(zi->m_distinctZones[side]);
  }
  for (int32_t m = 0; m < zi->m_noOfMatchedMeshes; ++m)
    MatchedMesh_delete(zi->m_matchedMeshes[m]);
  release(zi->m_matchedMeshes);
  zyrMemory_free(zi, __func__);
}

int ZoneInterface_calculateDistinctZones(ZoneInterface *zi) {
  for (int side = 0; side < 2; ++side) {
    if (zi->m_noOfDistinctZones[side] >= 0)
      continue;
    const int32_t n = zi->m_noOfBoundaries[side];
    zi->m_distinctZones[side] = zyrMemory_allocateZeroedArray<Zone *>(n > 0 ? n : 1, __func__);
    int32_t count = 0;
    for (int32_t b = 0; b < n; ++b) {
      Zone *zone = zi->m_boundaryZones[side][b];
      if (std::find(zi->m_distinctZones[side], zi->m_distinctZones[side] + count, zone) ==
          zi->m_distinctZones[side] + count)
        zi->m_distinctZones[side][count++] = zone;
    }
    zi->m_noOfDistinctZones[side] = count;
  }
  return 1;
}

int32_t ZoneInterface_getNoOfZones(ZoneInterface *zi, int side) {
  if (side != 0 && side != 1)
    return -1;
  ZoneInterface_calculateDistinctZones(zi);
  return zi->m_noOfDistinctZones[side];
}

int32_t ZoneInterface_getZones(ZoneInterface *zi, int side, Zone ***zones) {
  *zones = nullptr;
  const int32_t n = ZoneInterface_getNoOfZones(zi, side);
  if (n < 0)
    return -1;
  *zones = zyrMemory_allocateArray<Zone *>(n > 0 ? n : 1, __func__);
  std::copy(zi->m_distinctZones[side], zi->m_distinctZones[side] + n, *zones);
  return n;
}

int ZoneInterface_getMatchStatus(const ZoneInterface *zi) {
  if (zi->m_noOfMatchedMeshes == 0)
    return 0;
  return zi->m_noOfMatchedMeshes == zi->m_noOfSurfaces[0] && zi->m_noOfMatchedMeshes == zi->m_noOfSurfaces[1] ? 2 : 1;
}

int32_t ZoneInterface_getNoOfMatchedMeshes(const ZoneInterface *zi) { return zi->m_noOfMatchedMeshes; }

int32_t ZoneInterface_getNoOfMatchedFaces(ZoneInterface *zi) {
  if (zi->m_noOfMatchedFaces >= 0)
    return zi->m_noOfMatchedFaces;
  int64_t total = 0;
  for (int32_t m = 0; m < zi->m_noOfMatchedMeshes; ++m) {
    FaceMesh *fm = Mesh_getFaceMesh(zi->m_mesh, zi->m_matchedMeshes[m]->m_surface[0]);
    if (fm == nullptr)
      return -1;
    total += FaceMesh_getNoOfFaces(fm);
  }
  zi->m_noOfMatchedFaces = int32_t(total);
  return zi->m_noOfMatchedFaces;
}

int32_t ZoneInterface_getNoOfMatchedVertices(ZoneInterface *zi, int distinct) {
  if (!distinct) {
    if (zi->m_noOfMatchedVertices >= 0)
      return zi->m_noOfMatchedVertices;
    int64_t total = 0;
    for (int32_t m = 0; m < zi->m_noOfMatchedMeshes; ++m) {
      FaceMesh *fm = Mesh_getFaceMesh(zi->m_mesh, zi->m_matchedMeshes[m]->m_surface[0]);
      if (fm == nullptr)
        return -1;
      total += FaceMesh_getNoOfVertices(fm, 1);
    }
    zi->m_noOfMatchedVertices = int32_t(total);
    if (zi->m_noOfMatchedMeshes == 1)
      zi->m_noOfDistinctMatchedVertices = zi->m_noOfMatchedVertices;
    return zi->m_noOfMatchedVertices;
  }
  if (zi->m_noOfDistinctMatchedVertices >= 0)
    return zi->m_noOfDistinctMatchedVertices;
  std::vector<int32_t> all;
  for (int32_t m = 0; m < zi->m_noOfMatchedMeshes; ++m) {
    const MatchedMesh *matched = zi->m_matchedMeshes[m];
    FaceMesh *fm = Mesh_getFaceMesh(zi->m_mesh, matched->m_surface[0]);
    if (fm == nullptr)
      return -1;
    Held<int32_t> vertices;
    int32_t n = FaceMesh_getVertices(fm, 1, Zone_getNumbering(matched->m_zone[0]), vertices.out());
    all.insert(all.end(), vertices.m_p, vertices.m_p + std::max(n, 0));
  }
  std::sort(all.begin(), all.end());
  zi->m_noOfDistinctMatchedVertices = int32_t(std::unique(all.begin(), all.end()) - all.begin());
  return zi->m_noOfDistinctMatchedVertices;
}

void ZoneInterface_print(ZoneInterface *zi, FILE *stream) {
  if (zi == nullptr || stream == nullptr)
    return;
  const char *rule = "==============================================\n";
  fprintf(stream, "%sZoneInterface %d\n%s", rule, zi->m_number, rule);
  fprintf(stream, "No of matched meshes   = %d\n", zi->m_noOfMatchedMeshes);
  if (zi->m_noOfMatchedMeshes > 0) {
    fprintf(stream, "  Side   Zone        Faces     Vertices   Region  \n");
    for (int32_t m = 0; m < zi->m_noOfMatchedMeshes; ++m) {
      const MatchedMesh *matched = zi->m_matchedMeshes[m];
      for (int side = 0; side < 2; ++side) {
        FaceMesh *fm = Mesh_getFaceMesh(zi->m_mesh, matched->m_surface[side]);
        fprintf(stream, "     %d  %5d %12d %12d   %s\n", side, Zone_getNumber(matched->m_zone[side]),
                fm != nullptr ? FaceMesh_getNoOfFaces(fm) : 0, fm != nullptr ? FaceMesh_getNoOfVertices(fm, 1) : 0,
                matched->m_surface[side] != nullptr ? Region_getName(matched->m_surface[side]) : "");
      }
    }
  }
  fprintf(stream, "No of matched faces                         = %d\n", ZoneInterface_getNoOfMatchedFaces(zi));
  const int32_t with = ZoneInterface_getNoOfMatchedVertices(zi, 0);
  fprintf(stream,
          "No of matched vertices (with duplicates)    = %d\nNo of matched vertices (without duplicates) = %d\n", with,
          ZoneInterface_getNoOfMatchedVertices(zi, 1));
  fprintf(stream, "%s", rule);
}

namespace {

// Why a zone-interface data set could not be written.
int writeFailure(const char *what, int32_t number) {
  ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, "ZoneInterface_write",
                "There was a problem writing the data set [\"%s\", \"%s\", 0].\n", what, zifLocation(number).c_str());
  return 0;
}

int fileFailure(DefFile *file) {
  DefFile_reportError(file, "ZoneInterface_write");
  return 0;
}

// Rewrites the side-1 face set of a newly matched pair in side-0 face order.
int reorderFaceSet(const MatchedMesh *matched, DefFile *file) {
  int32_t *faceMap = nullptr;
  const int32_t n = InterfaceMap_getFaceMap(matched->m_interfaceMap, &faceMap);
  if (n <= 0 || faceMap == nullptr)
    return 1;
  bool identity = true;
  for (int32_t k = 0; k < n && identity; ++k)
    identity = faceMap[k] == k;
  const int32_t set = Zone_getFaceSetNumber(matched->m_zone[1], matched->m_surface[1]);
  if (identity || set < 1)
    return 1;
  const std::string fs = "ZN" + std::to_string(Zone_getNumber(matched->m_zone[1])) + "/FS" + std::to_string(set);
  Held<int32_t> pairs, faces;
  int32_t np = 0, nf = 0;
  if (!DefFile_readInts(file, "G/KELPF", fs.c_str(), 0, pairs.out(), &np) ||
      !DefFile_readInts(file, "G/KFCPF", fs.c_str(), 0, faces.out(), &nf))
    return fileFailure(file);
  if (np != 2 * int64_t(n) || nf != n) {
    ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, "ZoneInterface_write",
                  "There was a problem writing the data set [\"%s\", \"%s\", 0].\n", "G/KELPF", fs.c_str());
    return 0;
  }
  std::vector<int32_t> newPairs(2 * size_t(n)), newFaces(static_cast<size_t>(n));
  for (int32_t k = 0; k < n; ++k) {
    const int32_t from = faceMap[k];
    if (from < 0 || from >= n)
      return 1;
    newPairs[2 * size_t(k)] = pairs[2 * int64_t(from)];
    newPairs[2 * size_t(k) + 1] = pairs[2 * int64_t(from) + 1];
    newFaces[size_t(k)] = faces[from];
  }
  if (!DefFile_writeIntArray(file, "G/KELPF", fs.c_str(), 0, newPairs.data(), 2, n) ||
      !DefFile_writeIntArray(file, "G/KFCPF", fs.c_str(), 0, newFaces.data(), n, 0))
    return fileFailure(file);
  return 1;
}

// One side of a matched mesh in its zone's numbering.
struct Side {
  FaceMesh *m_faceMesh = nullptr;
  const Numbering *m_numbering = nullptr;
  Held<int32_t> m_faces;    // zone face number per face
  Held<int32_t> m_vertices; // zone vertex number per local vertex (split vertices included)
  Held<int32_t> m_rows;     // local vertices of each face, m_width per face (on first need)
  int32_t m_width = 0;
  int32_t m_noOfFaces = 0;
  int32_t m_noOfVertices = 0;

  bool load(Mesh *mesh, const Region *surface, const Zone *zone) {
    m_faceMesh = Mesh_getFaceMesh(mesh, surface);
    m_numbering = Zone_getNumbering(zone);
    if (m_faceMesh == nullptr || m_numbering == nullptr)
      return false;
    if (!FaceMesh_getFaces(m_faceMesh, m_numbering, m_faces.out(), &m_noOfFaces))
      return false;
    m_noOfVertices = FaceMesh_getVertices(m_faceMesh, 1, m_numbering, m_vertices.out());
    return m_noOfVertices > 0;
  }
  bool loadRows() {
    if (m_rows.m_p != nullptr)
      return true;
    int32_t mixed = 0, sentinel = -1;
    m_width = kPlaces;
    int32_t n = FaceMesh_getFaceVertices(m_faceMesh, 1, 1, 0, nullptr, 0, m_rows.out(), &m_width, &mixed, &sentinel);
    return n == m_noOfFaces && m_width <= kPlaces;
  }
  const int32_t *row(int32_t face) const { return m_rows.m_p + int64_t(face) * m_width; }
};

// The face pairs of one matched mesh appended to the records; false when they cannot be made.
bool facePairs(Mesh *mesh, const MatchedMesh *matched, std::vector<int32_t> &records) {
  InterfaceMap *map = matched->m_interfaceMap;
  const int side0 = matched->m_reversed; // the surface on the map's side 0
  Side sides[2];
  for (int s = 0; s < 2; ++s)
    if (!sides[s].load(mesh, matched->m_surface[s == 0 ? side0 : 1 - side0],
                       matched->m_zone[s == 0 ? side0 : 1 - side0]))
      return false;
  if (!sides[0].loadRows())
    return false;
  int32_t *faceMap = nullptr, *offsets = nullptr, *values = nullptr;
  int32_t counts[2] = {0, 0};
  const int32_t nf = InterfaceMap_getFaceMap(map, &faceMap);
  if (nf != sides[0].m_noOfFaces || faceMap == nullptr ||
      InterfaceMap_getSplitVertexMap(map, counts, &offsets, &values) < 0 || offsets == nullptr ||
      counts[0] != sides[0].m_noOfVertices || counts[1] != sides[1].m_noOfVertices)
    return false;
  const int32_t zoneA = Zone_getNumber(matched->m_zone[matched->m_swapped]);
  const int32_t zoneB = Zone_getNumber(matched->m_zone[1 - matched->m_swapped]);
  const bool flipped = MatchedMesh_isFlipped(matched) != 0;
  for (int32_t k = 0; k < nf; ++k) {
    const int32_t partner = faceMap[k];
    if (partner < 0 || partner >= sides[1].m_noOfFaces)
      return false;
    int32_t record[12] = {zoneA, zoneB, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    record[2] = flipped ? sides[1].m_faces[partner] : sides[0].m_faces[k];
    record[3] = flipped ? sides[0].m_faces[k] : sides[1].m_faces[partner];
    const int32_t *row = sides[0].row(k);
    for (int32_t p = 0; p < sides[0].m_width; ++p) {
      const int32_t v = row[p];
      if (v < 0)
        continue; // an absent vertex gives 0 on both sides
      if (v >= counts[0])
        return false;
      int32_t w = -1;
      const int32_t first = offsets[v], last = offsets[v + 1];
      if (last - first == 1) {
        w = values[first];
      } else {
        if (!sides[1].loadRows())
          return false;
        const int32_t *other = sides[1].row(partner);
        for (int32_t i = first; i < last && w < 0; ++i)
          if (std::find(other, other + sides[1].m_width, values[i]) != other + sides[1].m_width)
            w = values[i];
      }
      if (w < 0 || w >= counts[1])
        return false;
      const int32_t zoneV0 = sides[0].m_vertices[v], zoneV1 = sides[1].m_vertices[w];
      record[4 + p] = flipped ? zoneV1 : zoneV0;
      record[8 + p] = flipped ? zoneV0 : zoneV1;
    }
    records.insert(records.end(), record, record + 12);
  }
  return true;
}

// Vertex pairs (A, B) of every matched mesh in zone numbers; false when they cannot be made.
bool vertexPairs(Mesh *mesh, const MatchedMesh *matched, std::vector<std::pair<int32_t, int32_t>> &pairs) {
  const int side0 = matched->m_reversed;
  Side sides[2];
  for (int s = 0; s < 2; ++s)
    if (!sides[s].load(mesh, matched->m_surface[s == 0 ? side0 : 1 - side0],
                       matched->m_zone[s == 0 ? side0 : 1 - side0]))
      return false;
  int32_t *offsets = nullptr, *values = nullptr;
  int32_t counts[2] = {0, 0};
  if (InterfaceMap_getSplitVertexMap(matched->m_interfaceMap, counts, &offsets, &values) < 0 || offsets == nullptr ||
      counts[0] != sides[0].m_noOfVertices || counts[1] != sides[1].m_noOfVertices)
    return false;
  const bool flipped = MatchedMesh_isFlipped(matched) != 0;
  for (int32_t v = 0; v < counts[0]; ++v)
    for (int32_t i = offsets[v]; i < offsets[v + 1]; ++i) {
      if (values[i] < 0 || values[i] >= counts[1])
        return false;
      const int32_t a = sides[0].m_vertices[v], b = sides[1].m_vertices[values[i]];
      pairs.emplace_back(flipped ? b : a, flipped ? a : b);
    }
  return true;
}

// Sorts by the key side and drops repeats; false when one key has two partners.
bool uniqueBy(std::vector<std::pair<int32_t, int32_t>> &pairs, bool byB) {
  auto key = [byB](const std::pair<int32_t, int32_t> &p) { return byB ? std::make_pair(p.second, p.first) : p; };
  std::sort(pairs.begin(), pairs.end(), [&](const auto &x, const auto &y) { return key(x) < key(y); });
  pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
  for (size_t i = 1; i < pairs.size(); ++i)
    if ((byB ? pairs[i].second == pairs[i - 1].second : pairs[i].first == pairs[i - 1].first))
      return false;
  return true;
}

} // namespace

int ZoneInterface_write(ZoneInterface *zi, DefFile *file) {
  ZYR_TRACE_BEGIN_DESC("Write a zone interface to a definition file.");
  (void)zyr_trace_on_;
  const std::string zif = zifLocation(zi->m_number);
  const char *where = zif.c_str();

  for (int32_t m = 0; m < zi->m_noOfMatchedMeshes; ++m)
    if (zi->m_matchedMeshes[m]->m_ownsMap && !reorderFaceSet(zi->m_matchedMeshes[m], file))
      return 0;

  std::vector<int32_t> patches;
  for (int side = 0; side < 2; ++side)
    for (int32_t b = 0; b < zi->m_noOfBoundaries[side]; ++b) {
      int32_t id = 0;
      Labelling_getLabel(zi->m_labelling, zi->m_boundaries[side][b], &id);
      patches.push_back(id);
    }
  const int32_t nb0 = zi->m_noOfBoundaries[0], nb1 = zi->m_noOfBoundaries[1];
  const int32_t pointer[3] = {1, nb0 + 1, nb0 + nb1 + 1};
  if (!DefFile_writeIntArray(file, "G/KBCPZIF", where, 0, patches.data(), int32_t(patches.size()), 0) ||
      !DefFile_writeIntArray(file, "G/IPBCPZIF", where, 0, pointer, 3, 0))
    return fileFailure(file);
  if (zi->m_noOfMatchedMeshes == 0)
    return 1;

  std::vector<int32_t> surfaces;
  for (int32_t m = 0; m < zi->m_noOfMatchedMeshes; ++m) {
    const MatchedMesh *matched = zi->m_matchedMeshes[m];
    for (int k = 0; k < 2; ++k) {
      int32_t id = 0;
      if (!Labelling_getLabel(zi->m_labelling, matched->m_surface[k == 0 ? matched->m_swapped : 1 - matched->m_swapped],
                              &id))
        return writeFailure("G/KZSFZSF", zi->m_number);
      surfaces.push_back(id);
    }
  }
  if (!DefFile_writeInt(file, "G/NSFZIF", where, 0, zi->m_noOfMatchedMeshes))
    return fileFailure(file);
  if (!DefFile_writeIntArray(file, "G/KZSFZSF", where, 0, surfaces.data(), 2, zi->m_noOfMatchedMeshes)) {
    fileFailure(file);
    return writeFailure("G/KZSFZSF", zi->m_number);
  }

  if (ZoneInterface_getNoOfMatchedFaces(zi) > 0) {
    std::vector<int32_t> records;
    records.reserve(12 * size_t(ZoneInterface_getNoOfMatchedFaces(zi)));
    for (int32_t m = 0; m < zi->m_noOfMatchedMeshes; ++m)
      if (!facePairs(zi->m_mesh, zi->m_matchedMeshes[m], records))
        return writeFailure("G/KZFCZFC", zi->m_number);
    const int32_t nfc = int32_t(records.size() / 12);
    if (!DefFile_writeIntArray(file, "G/KZFCZFC", where, 0, records.data(), 12, nfc) ||
        !DefFile_writeInt(file, "G/NFCZIF", where, 0, nfc))
      return fileFailure(file);
  }

  // Vertex pairs only where one ordered pair of zones meets itself periodically or within a zone.
  bool oneZonePair = true;
  const MatchedMesh *first = zi->m_matchedMeshes[0];
  const int32_t za = Zone_getNumber(first->m_zone[first->m_swapped]);
  const int32_t zb = Zone_getNumber(first->m_zone[1 - first->m_swapped]);
  for (int32_t m = 1; m < zi->m_noOfMatchedMeshes && oneZonePair; ++m) {
    const MatchedMesh *matched = zi->m_matchedMeshes[m];
    oneZonePair = Zone_getNumber(matched->m_zone[matched->m_swapped]) == za &&
                  Zone_getNumber(matched->m_zone[1 - matched->m_swapped]) == zb;
  }
  if (oneZonePair && (zi->m_periodic || za == zb) && ZoneInterface_getNoOfMatchedVertices(zi, 0) > 0) {
    std::vector<std::pair<int32_t, int32_t>> pairs;
    for (int32_t m = 0; m < zi->m_noOfMatchedMeshes; ++m)
      if (!vertexPairs(zi->m_mesh, zi->m_matchedMeshes[m], pairs))
        return writeFailure("G/KZVXZVX", zi->m_number);
    if (!uniqueBy(pairs, true) || !uniqueBy(pairs, false))
      return writeFailure("G/KZVXZVX", zi->m_number);
    std::vector<int32_t> flat;
    flat.reserve(2 * pairs.size());
    for (const auto &p : pairs) {
      flat.push_back(p.first);
      flat.push_back(p.second);
    }
    const int32_t nvx = int32_t(pairs.size());
    if (!DefFile_writeInt(file, "G/NVXZIF", where, 0, nvx)) {
      fileFailure(file);
      return writeFailure("G/KZVXZVX", zi->m_number);
    }
    if (!DefFile_writeIntArray(file, "G/KZVXZVX", where, 0, flat.data(), 2, nvx)) {
      fileFailure(file);
      return writeFailure("G/KZVXZVX", zi->m_number);
    }
  }
  return 1;
}
