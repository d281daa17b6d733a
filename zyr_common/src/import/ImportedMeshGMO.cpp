// Reading an intermediate mesh file into the import's fresh Model: the file is read and checked
// whole (GmoContents) before the first region is made, then the topology and the mesh are built.
#include "ImportedMeshGMO.h"
#include "ImportedMesh.h"

#include "Boundary.h"
#include "Connection.h"
#include "DefFile.h"
#include "ElementMesh.h"
#include "FaceMesh.h"
#include "GmoContents.h"
#include "Mesh.h"
#include "NameManager.h"
#include "Projection.h"
#include "Region.h"
#include "Set.h"
#include "Shell.h"
#include "Topology.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrLibrary.h"
#include "zyrMemory.h"
#include "zyrTrace.h"

int ImportedMesh_importFromGMO(ImportedMesh *im, const char *fileName, const char *units, const char *madeFrom) {
  if (!zyrCheck_fileExists(fileName))
    return 0;
  DefFile *file = madeFrom != nullptr ? DefFile_openReaderOutput(fileName, madeFrom) : DefFile_openForReading(fileName);
  if (file == nullptr)
    return 0;

  // Nothing is made of the file before all of it has been read and found consistent.
  GmoContents *contents = GmoContents_new();
  int result = 0;
  if (!GmoContents_readTopology(contents, file)) {
    DefFile_reportError(file, __func__);
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "The intermediate file\n\n%s\n\ndoes not contain a valid problem topology.\n",
              fileName);
  } else if (!GmoContents_readMesh(contents, file)) {
    DefFile_reportError(file, __func__);
  } else if (!ImportedMesh_loadTopologyFromGMO(im, file, contents)) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "The intermediate file\n\n%s\n\ndoes not contain a valid problem topology.\n",
              fileName);
  } else {
    result = ImportedMesh_loadMeshFromGMO(im, contents, units);
    if (result)
      Projection_new(file, units);
  }
  GmoContents_delete(contents);
  DefFile_delete(file);
  return result;
}

int ImportedMesh_loadTopologyFromGMO(ImportedMesh *im, DefFile *file, GmoContents *c) {
  ZYR_TRACE_BEGIN();
  const int32_t nsf = c->m_nsf, nvl = c->m_nvl;
  im->m_no2DRegions = nsf;
  im->m_no3DRegions = nvl;
  im->m_noOfRegions = nsf + nvl;
  const int32_t slots = im->m_noOfRegions > 0 ? im->m_noOfRegions : 1;
  im->m_regions = zyrMemory_allocateZeroedArray<Region *>(slots, __func__);
  im->m_shells = zyrMemory_allocateZeroedArray<Shell *>(slots, __func__);

  // Volumes first, then surfaces: surface s is region nvl + s.
  for (int32_t v = 0; v < nvl; ++v)
    if ((im->m_regions[v] = Region_new(nullptr, nullptr, c->m_volumeNames[v], 3)) == nullptr)
      return 0;
  for (int32_t s = 0; s < nsf; ++s)
    if ((im->m_regions[nvl + s] = Region_new(nullptr, nullptr, c->m_surfaceNames[s], 2)) == nullptr)
      return 0;
  Region **volumes = im->m_regions;
  Region **surfaces = im->m_regions + nvl;

  for (int32_t s = 0; c->m_surfacePriorities != nullptr && s < nsf; ++s)
    if (c->m_surfacePriorities[s] != 0)
      Region_setPriority(surfaces[s], c->m_surfacePriorities[s]);
  for (int32_t v = 0; c->m_volumePriorities != nullptr && v < nvl; ++v)
    if (c->m_volumePriorities[v] != 0)
      Region_setPriority(volumes[v], c->m_volumePriorities[v]);

  for (int32_t s = 0; s < nsf; ++s) {
    const int32_t t = c->m_partners[s];
    if (t > s && Region_connectNeighbour(surfaces[s], surfaces[t]) == nullptr) {
      ZYR_ERROR(ZYR_I_INTERNAL_ERROR,
                "Unable to connect regions %s and %s.\nThe intermediate mesh file must contain inconsistent data.\n",
                Region_getName(surfaces[s]), Region_getName(surfaces[t]));
      return 0;
    }
  }

  // Contact pairs name surfaces, as every other surface list of the file does.
  for (int32_t i = 0; i < c->m_noOfContacts; ++i) {
    Region *a = surfaces[c->m_contacts[2 * i]];
    Region *b = surfaces[c->m_contacts[2 * i + 1]];
    if (ZYR_TRACE_DEBUG(1))
      zyrTrace_printf("Contact: %s\n         %s\n", Region_getName(a), Region_getName(b));
    if (!Region_isGluedTo(a, b) && Region_glueNeighbour(a, b) == nullptr) {
      ZYR_ERROR(ZYR_I_INTERNAL_ERROR,
                "Unable to glue regions %s and %s.\nThe intermediate mesh file must contain inconsistent data.\n",
                Region_getName(a), Region_getName(b));
      return 0;
    }
  }

  for (int32_t v = 0; v < nvl; ++v) {
    Shell *shell = Shell_new();
    im->m_shells[v] = shell;
    for (int32_t i = c->m_shellPointer[v]; i < c->m_shellPointer[v + 1]; ++i)
      Shell_addRegion(shell, surfaces[c->m_shellSurfaces[i]]);
  }

  if (!ImportedMesh_readRegionMap(im, file, "ZYR/ATLAS/PRIMARY", "EVERY", 0))
    return 0;

  // The composite names and their components move into the record.
  im->m_noOfCompositeNames = c->m_ncn;
  if (c->m_ncn > 0) {
    im->m_compositeNames = c->m_compositeNames;
    c->m_compositeNames = nullptr;
    im->m_noOfComponents = zyrMemory_allocateZeroedArray<int32_t>(c->m_ncn, __func__);
    im->m_components = zyrMemory_allocateZeroedArray<char **>(c->m_ncn, __func__);
    for (int32_t i = 0; i < c->m_ncn; ++i) {
      const int32_t first = c->m_componentPointer[i];
      const int32_t n = c->m_componentPointer[i + 1] - first;
      im->m_noOfComponents[i] = n;
      im->m_components[i] = zyrMemory_allocateZeroedArray<char *>(n > 0 ? n : 1, __func__);
      for (int32_t j = 0; j < n; ++j) {
        im->m_components[i][j] = c->m_componentNames[first + j];
        c->m_componentNames[first + j] = nullptr;
      }
    }
  }

  for (int32_t r = 0; r < im->m_noOfRegions; ++r)
    if (im->m_shells[r] != nullptr) {
      Boundary *boundary = Boundary_new();
      Boundary_addShell(boundary, im->m_shells[r]);
      Region_setBoundary(im->m_regions[r], boundary);
    }
  return 1;
}

int ImportedMesh_readRegionMap(ImportedMesh *im, DefFile *file, const char *what, const char *where, int32_t when) {
  char **lines = nullptr;
  int32_t n = 0;
  if (!DefFile_readStrings(file, what, where, when, &lines, &n) &&
      !DefFile_readIoStrings(file, what, where, when, &lines, &n))
    return 1;
  for (int32_t i = 0; i < n; ++i)
    if (lines[i] == nullptr)
      lines[i] = zyrCString_clone("");
  char *text = zyrCStringArray_pack(lines, static_cast<uint64_t>(n), '\n');
  zyrCStringArray_free(lines, static_cast<uint64_t>(n));
  if (text == nullptr)
    return 0;
  NameManager *nm = Topology_getNameManager(im->m_topology);
  if (nm == nullptr || !NameManager_importPrimaryMap(nm, text, 0, 0)) {
    ZYR_ERROR(ZYR_W_INVALID_RESULT_IGNORED, "Unable to restore composite names from the primary region map.\n"
                                            "Composite names will be unavailable.\n");
  }
  zyrCString_free(text);
  im->m_haveRegionAtlas = 1;
  return 1;
}

int32_t ImportedMesh_collectConnections(int32_t noOfRegions, Region *const *regions, Connection ***connections) {
  Set *set = Set_new(5);
  for (int32_t i = 0; i < noOfRegions; ++i)
    Region_collectConnections(regions[i], set);
  void **members = nullptr;
  const int32_t n = Set_toArray(set, &members);
  Set_delete(set);
  *connections = reinterpret_cast<Connection **>(members);
  return n;
}

void ImportedMesh_printLoadedMesh(const ImportedMesh *im, const char *fn) {
  FILE *log = zyrTrace_getLog();
  ElementMesh **elementMeshes = nullptr;
  const int32_t nem = Mesh_getElementMeshes(im->m_mesh, &elementMeshes);
  for (int32_t i = 0; i < nem; ++i)
    ElementMesh_print(elementMeshes[i], log);
  zyrMemory_free(elementMeshes, fn);
  FaceMesh **faceMeshes = nullptr;
  const int32_t nfm = Mesh_getFaceMeshes(im->m_mesh, &faceMeshes);
  for (int32_t i = 0; i < nfm; ++i)
    FaceMesh_print(faceMeshes[i], log);
  zyrMemory_free(faceMeshes, fn);
  Connection **connections = nullptr;
  const int32_t ncn = ImportedMesh_collectConnections(im->m_noOfRegions, im->m_regions, &connections);
  zyrTrace_printf("\nNo. of connections = %d\n", ncn);
  for (int32_t k = 0; k < ncn; ++k) {
    Region *side1 = nullptr, *side2 = nullptr;
    Connection_getSides(connections[k], &side1, &side2);
    zyrTrace_printf("\"%s\" <===> \"%s\"\n", Region_getName(side1), Region_getName(side2));
  }
  zyrMemory_free(connections, fn);
}
