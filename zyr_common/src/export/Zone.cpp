// Zones of a definition file: the meshes of one domain under one numbering.
#include "Zone.h"

#include "DefFile.h"
#include "Labelling.h"
#include "Region.h"
#include "vsnBoundary.h"
#include "vsnDomain.h"
#include "zyrError.h"
#include "zyrMemory.h"
#include "zyrObject.h"
#include "zyrTrace.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string location(const char *format, int32_t a, int32_t b = 0) {
  char text[64];
  snprintf(text, sizeof text, format, a, b);
  return text;
}

template <class T> void freeArray(T *&array) {
  if (array != nullptr)
    zyrMemory_free(array, "Zone");
  array = nullptr;
}

} // namespace

void Zone_getExtents(int32_t n, const double *xyz, double minimum[3], double maximum[3], double *nearest,
                     double *farthest) {
  for (int c = 0; c < 3; ++c) {
    minimum[c] = DBL_MAX;
    maximum[c] = -DBL_MAX;
  }
  double smallest = DBL_MAX, largest = -DBL_MAX;
  for (int32_t i = 0; i < n; ++i) {
    const double *p = xyz + 3 * int64_t(i);
    double squared = 0.0;
    for (int c = 0; c < 3; ++c) {
      if (p[c] < minimum[c])
        minimum[c] = p[c];
      if (p[c] > maximum[c])
        maximum[c] = p[c];
      squared += p[c] * p[c];
    }
    if (squared < smallest)
      smallest = squared;
    if (squared > largest)
      largest = squared;
  }
  // The attributes are named distances: report distances, not their squares.
  *nearest = n > 0 ? std::sqrt(smallest) : smallest;
  *farthest = n > 0 ? std::sqrt(largest) : largest;
}

int32_t Zone_getNumber(const Zone *zone) { return zone != nullptr ? zone->m_number : -1; }
Numbering *Zone_getNumbering(const Zone *zone) { return zone != nullptr ? zone->m_numbering : nullptr; }

#include "Connection.h"
#include "ElementMesh.h"
#include "ElementSet.h"
#include "ElementTopology.h"
#include "FaceMesh.h"
#include "HashSet.h"
#include "InterfaceMap.h"
#include "Mesh.h"
#include "Numbering.h"
#include "Topology.h"

Zone *Zone_new(Mesh *mesh, vsnDomain *domain, const Labelling *labelling) {
  int32_t number = 0;
  if (mesh == nullptr || domain == nullptr || !Labelling_getLabel(labelling, domain, &number))
    return nullptr;
  auto *zone = static_cast<Zone *>(zyrMemory_allocateAndSet(sizeof(Zone), 0, "Zone"));
  zone->m_number = number;
  zone->m_domain = domain;
  zone->m_mesh = mesh;

  Region **volumes = nullptr;
  int32_t nvl = vsnDomain_getRegions(domain, &volumes);
  if (nvl > 0) {
    zone->m_elementMeshes = zyrMemory_allocateArray<ElementMesh *>(nvl, "Zone");
    for (int32_t i = 0; i < nvl; ++i) {
      ElementMesh *em = Mesh_getElementMesh(mesh, volumes[i]);
      if (em != nullptr)
        zone->m_elementMeshes[zone->m_noOfElementMeshes++] = em;
    }
  }
  Region **surfaces = nullptr;
  int32_t nsf = vsnDomain_getBoundaryRegions(domain, &surfaces);
  if (surfaces != nullptr && nsf > 0) {
    zone->m_faceMeshes = zyrMemory_allocateArray<FaceMesh *>(nsf, "Zone");
    for (int32_t i = 0; i < nsf; ++i) {
      FaceMesh *fm = Mesh_getFaceMesh(mesh, surfaces[i]);
      if (fm != nullptr)
        zone->m_faceMeshes[zone->m_noOfFaceMeshes++] = fm;
    }
  }
  freeArray(surfaces);

  // Interior surfaces: all that bound the domain's volumes, less those of its boundaries.
  HashSet *interior = HashSet_new(200);
  for (int32_t i = 0; i < nvl; ++i) {
    Region **bounding = nullptr;
    int32_t n = Region_getBoundingRegions(volumes[i], &bounding);
    for (int32_t j = 0; j < n; ++j)
      if (!HashSet_contains(interior, bounding[j]))
        HashSet_add(interior, bounding[j]);
    freeArray(bounding);
  }
  freeArray(volumes);
  vsnBoundary **boundaries = nullptr;
  int32_t nbcp = vsnDomain_getBoundaries(domain, &boundaries);
  for (int32_t b = 0; b < nbcp; ++b) {
    Region **regions = nullptr;
    int32_t n = vsnBoundary_getRegions(boundaries[b], &regions);
    for (int32_t j = 0; j < n; ++j)
      while (HashSet_remove(interior, regions[j])) {
      }
    freeArray(regions);
  }
  freeArray(boundaries);

  Connection **connections = nullptr;
  int32_t ncn = Topology_getConnections(Mesh_getTopology(mesh), &connections);
  if (ncn > 0) {
    zone->m_interfaceMaps = zyrMemory_allocateArray<InterfaceMap *>(ncn, "Zone");
    for (int32_t i = 0; i < ncn; ++i) {
      Region *side0 = nullptr, *side1 = nullptr;
      Connection_getSides(connections[i], &side0, &side1);
      if (!HashSet_contains(interior, side0) || !HashSet_contains(interior, side1))
        continue;
      InterfaceMap *map = Mesh_getInterfaceMap(mesh, connections[i]);
      if (map != nullptr)
        zone->m_interfaceMaps[zone->m_noOfInterfaceMaps++] = map;
    }
  }
  freeArray(connections);
  HashSet_delete(interior);

  ZYR_TRACE_BEGIN_DESC("Create a zone of a definition file.");
  zone->m_numbering =
      Numbering_new(zone->m_noOfElementMeshes, zone->m_elementMeshes, zone->m_noOfFaceMeshes, zone->m_faceMeshes);
  if (zyr_trace_on_ && ZYR_TRACE_DEBUG(1))
    zyrTrace_printf("Number of vertices before removing duplicates = %d\n",
                    Numbering_getNoOfVertices(zone->m_numbering));
  Numbering_glueInterfaces(zone->m_numbering, zone->m_noOfInterfaceMaps, zone->m_interfaceMaps);
  if (zyr_trace_on_ && ZYR_TRACE_DEBUG(1))
    zyrTrace_printf("Number of vertices after removing duplicates = %d\n",
                    Numbering_getNoOfVertices(zone->m_numbering));
  return zone;
}

void Zone_delete(Zone *zone) {
  if (zone == nullptr)
    return;
  freeArray(zone->m_elementMeshes);
  freeArray(zone->m_faceMeshes);
  freeArray(zone->m_interfaceMaps);
  if (zone->m_numbering != nullptr)
    Numbering_delete(zone->m_numbering);
  zyrMemory_free(zone, "Zone");
}

int32_t Zone_getFaceSetNumber(const Zone *zone, const Region *surface) {
  if (zone == nullptr || surface == nullptr)
    return -1;
  FaceMesh *fm = Mesh_getFaceMesh(zone->m_mesh, surface);
  for (int32_t k = 0; fm != nullptr && k < zone->m_noOfFaceMeshes; ++k)
    if (zone->m_faceMeshes[k] == fm)
      return k + 1;
  return -1;
}

namespace {

// Publishes the file's stored error under the routine's name; 0.
int failed(DefFile *file) {
  DefFile_reportError(file, "Zone_write");
  return 0;
}

// A zone whose mesh was damaged in the database: the file would not hold the model's mesh.
int unwritable(int32_t zone, const char *what) {
  ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, "Zone_write", "The mesh of zone %d holds %s; the zone cannot be written.\n", zone,
                what);
  return 0;
}

// The coordinates of every element mesh, one after the other, in the units asked for; 0 when a
// mesh has none (said) or they cannot be had.
int gatherCoordinates(const Zone *zone, const char *units, std::vector<double> &xyz) {
  int64_t total = 0;
  for (int32_t i = 0; i < zone->m_noOfElementMeshes; ++i) {
    const int32_t n = ElementMesh_getNoOfVertices(zone->m_elementMeshes[i]);
    // A mesh whose vertices could not be restored is not a mesh to write.
    if (n < 1)
      return unwritable(zone->m_number, "a volume mesh without vertices");
    total += n;
  }
  xyz.resize(static_cast<size_t>(3 * total));
  int64_t at = 0;
  for (int32_t i = 0; i < zone->m_noOfElementMeshes; ++i) {
    double *destination = xyz.data() + 3 * at;
    int32_t n = ElementMesh_getVertexCoordinates(zone->m_elementMeshes[i], units, 0, nullptr, &destination);
    if (n < 0)
      return 0;
    at += ElementMesh_getNoOfVertices(zone->m_elementMeshes[i]);
  }
  return 1;
}

// The attributes of the coordinates' data set: their extents and what they are.
void addCoordinateAttributes(DefFile *file, int32_t nvx, const double *xyz) {
  double minimum[3], maximum[3], nearest = 0.0, farthest = 0.0;
  Zone_getExtents(nvx, xyz, minimum, maximum, &nearest, &farthest);
  char text[128];
  snprintf(text, sizeof text, "%le %le %le", minimum[0], minimum[1], minimum[2]);
  DefFile_addAttribute(file, "COMPMIN", text);
  snprintf(text, sizeof text, "%le %le %le", maximum[0], maximum[1], maximum[2]);
  DefFile_addAttribute(file, "COMPMAX", text);
  DefFile_addAttribute(file, "DIMENSIONS", "0.0 1.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0");
  snprintf(text, sizeof text, "%le", nearest);
  DefFile_addAttribute(file, "MIN", text);
  snprintf(text, sizeof text, "%le", farthest);
  DefFile_addAttribute(file, "MAX", text);
  DefFile_addAttribute(file, "HOW", "ARRAY");
  DefFile_addAttribute(file, "QUANTITY", "Length");
  DefFile_addAttribute(file, "USERLEVEL", "1");
  DefFile_addAttribute(file, "WHATALIAS", "Mesh Coordinates");
}

// One triple per numbered vertex, in single precision when the environment asks for it, and the
// number of vertices.
int writeCoordinates(const Zone *zone, DefFile *file, const char *units) {
  const int32_t z = zone->m_number;
  const std::string zn = location("ZN%d", z), vx = location("ZN%d/VX", z);
  std::vector<double> xyz;
  if (!gatherCoordinates(zone, units, xyz))
    return 0;
  int32_t nvx = !xyz.empty() ? Numbering_compactCoordinates(zone->m_numbering, xyz.data()) : 0;
  addCoordinateAttributes(file, nvx, xyz.data());
  int written;
  if (getenv("ZYR_SINGLE_PRECISION_COORDINATES") != nullptr) {
    std::vector<float> single(static_cast<size_t>(3) * static_cast<size_t>(nvx));
    for (size_t i = 0; i < single.size(); ++i)
      single[i] = float(xyz[i]);
    written = DefFile_writeFloatArray(file, "G/CRDVX", vx.c_str(), 0, single.data(), 3, nvx);
  } else {
    written = DefFile_writeDoubleArray(file, "G/CRDVX", vx.c_str(), 0, xyz.data(), 3, nvx);
  }
  DefFile_clearAttributes(file);
  if (!written || !DefFile_writeInt(file, "G/NVX", zn.c_str(), 0, nvx))
    return failed(file);
  return 1;
}

// The counts of the element sets written so far, kept for the zone's own data sets.
struct ElementSetCounts {
  std::vector<int32_t> elementsPerSet, typePerSet, setsByVolume, indexPointer{1};
  int32_t nel = 0;
};

// Element set e of the zone: its vertices in the file's convention and its elements' numbers.
int writeElementSet(const Zone *zone, DefFile *file, ElementSet *set, int32_t e, ElementSetCounts &counts) {
  const int32_t z = zone->m_number;
  const std::string es = location("ZN%d/ES%d", z, e);
  int32_t *vertices = nullptr, n = 0, perElement = 0;
  if (!ElementSet_getElementVertices(set, zyrConvention_WEZ5, zone->m_numbering, 0, &vertices, &n, &perElement))
    return 0;
  // A set left without elements (its stored elements were damaged) cannot be written as a
  // structure array of none: the mesh is not whole, so neither is the file.
  if (n < 1) {
    freeArray(vertices);
    return unwritable(z, "an element set without elements");
  }
  int written = DefFile_writeIntArray(file, "G/KVXPE", es.c_str(), 0, vertices, perElement, n);
  freeArray(vertices);
  if (!written)
    return failed(file);
  int32_t *elements = nullptr, count = 0;
  if (!ElementSet_getElements(set, zone->m_numbering, &elements, &count))
    return 0;
  written = DefFile_writeIntArray(file, "G/KELPE", es.c_str(), 0, elements, count, 0);
  freeArray(elements);
  if (!written)
    return failed(file);
  counts.elementsPerSet.push_back(n);
  counts.typePerSet.push_back(ElementSet_getConventionElementType(set, zyrConvention_WEZ5));
  counts.setsByVolume.push_back(e);
  counts.nel += n;
  return 1;
}

// The element sets of every element mesh, numbered through the zone, then their counts.
int writeElementSets(const Zone *zone, DefFile *file, bool trace) {
  const int32_t z = zone->m_number;
  const std::string zn = location("ZN%d", z);
  ElementSetCounts counts;
  int32_t e = 0;
  for (int32_t i = 0; i < zone->m_noOfElementMeshes; ++i) {
    ElementSet **sets = nullptr;
    int32_t nes = ElementMesh_getElementSets(zone->m_elementMeshes[i], &sets);
    for (int32_t j = 0; j < nes; ++j)
      if (!writeElementSet(zone, file, sets[j], ++e, counts)) {
        freeArray(sets);
        return 0;
      }
    freeArray(sets);
    counts.indexPointer.push_back(e + 1);
  }
  const int32_t nes = e, nel = counts.nel;
  if (!DefFile_writeInt(file, "G/NES", zn.c_str(), 0, nes) || !DefFile_writeInt(file, "G/NEL", zn.c_str(), 0, nel) ||
      !DefFile_writeIntArray(file, "G/NELES", zn.c_str(), 0, counts.elementsPerSet.data(), nes, 0) ||
      !DefFile_writeIntArray(file, "G/ILTPES", zn.c_str(), 0, counts.typePerSet.data(), nes, 0) ||
      !DefFile_writeIntArray(file, "G/KESVL", zn.c_str(), 0, counts.setsByVolume.data(), nes, 0) ||
      !DefFile_writeIntArray(file, "G/IPESVL", zn.c_str(), 0, counts.indexPointer.data(),
                             int32_t(counts.indexPointer.size()), 0))
    return failed(file);
  if (trace) {
    zyrTrace_printf("Zone %d:\n  NEL   = %d\n  NES   = %d\n  NELES =", z, nel, nes);
    for (int32_t count : counts.elementsPerSet)
      zyrTrace_printf(" %d", count);
    zyrTrace_printf("\n");
  }
  return 1;
}

// Face set k of the zone (face mesh k - 1), in side 0's face order where an interface map
// reorders the faces; its number of faces, or -1.
int32_t writeFaceSet(const Zone *zone, DefFile *file, int32_t k) {
  FaceMesh *fm = zone->m_faceMeshes[k - 1];
  const std::string fs = location("ZN%d/FS%d", zone->m_number, k);
  int32_t n = 0, *elements = nullptr, *localFaces = nullptr;
  if (!FaceMesh_getElementFaces(fm, zyrConvention_WEZ5, zone->m_numbering, 0, &n, &elements, &localFaces))
    return -1;
  int32_t *faces = nullptr, nf = 0;
  if (!FaceMesh_getFaces(fm, zone->m_numbering, &faces, &nf)) {
    freeArray(elements);
    freeArray(localFaces);
    return -1;
  }
  int32_t *faceMap = nullptr;
  bool mapped = FaceMesh_getInterfaceFaceMap(fm, zone->m_mesh, &faceMap) && faceMap != nullptr;
  std::vector<int32_t> pairs(static_cast<size_t>(2) * static_cast<size_t>(n)), numbers(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) {
    int32_t source = mapped ? faceMap[i] : i;
    if (source < 0 || source >= n || source >= nf)
      source = i;
    pairs[static_cast<size_t>(2 * i)] = elements[source];
    pairs[static_cast<size_t>(2 * i + 1)] = localFaces[source];
    numbers[static_cast<size_t>(i)] = faces[source];
  }
  freeArray(elements);
  freeArray(localFaces);
  freeArray(faces);
  if (!DefFile_writeIntArray(file, "G/KELPF", fs.c_str(), 0, pairs.data(), 2, n) ||
      !DefFile_writeIntArray(file, "G/KFCPF", fs.c_str(), 0, numbers.data(), n, 0)) {
    failed(file);
    return -1;
  }
  return n;
}

// A face set per face mesh, then their counts.
int writeFaceSets(const Zone *zone, DefFile *file, bool trace) {
  const std::string zn = location("ZN%d", zone->m_number);
  std::vector<int32_t> facesPerSet;
  int32_t nfc = 0;
  for (int32_t k = 1; k <= zone->m_noOfFaceMeshes; ++k) {
    const int32_t n = writeFaceSet(zone, file, k);
    if (n < 0)
      return 0;
    facesPerSet.push_back(n);
    nfc += n;
  }
  const int32_t nfs = zone->m_noOfFaceMeshes;
  if (!DefFile_writeInt(file, "G/NFS", zn.c_str(), 0, nfs) || !DefFile_writeInt(file, "G/NFC", zn.c_str(), 0, nfc) ||
      !DefFile_writeIntArray(file, "G/NFCFS", zn.c_str(), 0, facesPerSet.data(), nfs, 0))
    return failed(file);
  if (trace) {
    zyrTrace_printf("  NFC   = %d\n  NFS   = %d\n  NFCFS =", nfc, nfs);
    for (int32_t count : facesPerSet)
      zyrTrace_printf(" %d", count);
    zyrTrace_printf("\n");
  }
  return 1;
}

} // namespace

int Zone_write(Zone *zone, DefFile *file, const char *units) {
  ZYR_TRACE_BEGIN_DESC("Write a zone to a definition file.");
  const bool trace = zyr_trace_on_ && ZYR_TRACE_DEBUG(1);
  return writeCoordinates(zone, file, units) && writeElementSets(zone, file, trace) && writeFaceSets(zone, file, trace);
}

void Zone_print(const Zone *zone, FILE *stream) {
  if (zone == nullptr || stream == nullptr)
    return;
  const char *rule = "==============================================\n";
  char uuid[64];
  fprintf(stream, "%sZone %d\n%s", rule, zone->m_number, rule);
  fprintf(stream, "Domain    = \"%s\"\n", vsnDomain_getName(zone->m_domain));
  fprintf(stream, "Numbering = %p\n", static_cast<void *>(zone->m_numbering));
  zyrObject_getUUIDString(zone->m_mesh, uuid);
  fprintf(stream, "Mesh      = %s\n", uuid);
  fprintf(stream, "No. of element meshes = %d\n", zone->m_noOfElementMeshes);
  for (int32_t i = 0; i < zone->m_noOfElementMeshes; ++i) {
    zyrObject_getUUIDString(zone->m_elementMeshes[i], uuid);
    fprintf(stream, "  %s\n", uuid);
  }
  fprintf(stream, "No. of face meshes    = %d\n", zone->m_noOfFaceMeshes);
  for (int32_t i = 0; i < zone->m_noOfFaceMeshes; ++i) {
    zyrObject_getUUIDString(zone->m_faceMeshes[i], uuid);
    fprintf(stream, "  %s\n", uuid);
  }
  fprintf(stream, "No. of interface maps = %d\n", zone->m_noOfInterfaceMaps);
  for (int32_t i = 0; i < zone->m_noOfInterfaceMaps; ++i) {
    zyrObject_getUUIDString(zone->m_interfaceMaps[i], uuid);
    fprintf(stream, "  %s\n", uuid);
  }
  fprintf(stream, "%s", rule);
}
