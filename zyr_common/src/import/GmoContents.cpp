#include "GmoContents.h"

#include "DefFile.h"
#include "ElementTopology.h"
#include "zyrCString.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"

#include <cinttypes>
#include <cstdio>
#include <vector>

namespace {

const char *const kEvery = "EVERY";

// Stores a data set that does not fit in the handle, as a failed read is stored.
int reject(DefFile *file, const char *function, const char *what, const char *where, int32_t when,
           const char *description) {
  DefFile_setError(file, function, what, where, when, ZYR_I_INTERNAL_ERROR, description);
  return 0;
}

// A failed read keeps the file layer's description, with the import's code.
int failedRead(DefFile *file) {
  file->m_errorCode = ZYR_I_INTERNAL_ERROR;
  return 0;
}

// Whether an optional data set that failed to read is there all the same: its absence is an
// answer, a read of it that fails (a failing device) is an error, or what it holds would be lost
// in silence.
bool unreadable(DefFile *file, const char *what, int32_t when, int read) {
  return !read && DefFile_exists(file, what, kEvery, when);
}

int readInt(DefFile *file, const char *what, const char *where, int32_t *value) {
  return DefFile_readInt(file, what, where, 0, value) ? 1 : failedRead(file);
}

int readInts(DefFile *file, const char *what, const char *where, int32_t **array, int32_t *count) {
  *array = nullptr;
  *count = 0;
  return DefFile_readInts(file, what, where, 0, array, count) ? 1 : failedRead(file);
}

int readStrings(DefFile *file, const char *what, char ***array, int32_t *count) {
  *array = nullptr;
  *count = 0;
  return DefFile_readStrings(file, what, kEvery, 0, array, count) ? 1 : failedRead(file);
}

// An integer array that must hold exactly `expected` entries.
int readIntsOfLength(DefFile *file, const char *function, const char *what, const char *where, int64_t expected,
                     int32_t **array) {
  int32_t count = 0;
  if (!readInts(file, what, where, array, &count))
    return 0;
  if (count != expected)
    return reject(file, function, what, where, 0, "The data set does not hold the number of values expected.");
  return 1;
}

// Every entry lies in [low, high].
int inRange(const int32_t *values, int64_t n, int64_t low, int64_t high) {
  for (int64_t i = 0; i < n; ++i)
    if (values[i] < low || values[i] > high)
      return 0;
  return 1;
}

// An index pointer of n + 1 entries from 0, never falling, ending at the list's length.
int isIndexPointer(const int32_t *pointer, int32_t n, int64_t listLength) {
  if (pointer[0] != 0 || pointer[n] != listLength)
    return 0;
  for (int32_t i = 0; i < n; ++i)
    if (pointer[i + 1] < pointer[i])
      return 0;
  return 1;
}

// Reads a list and its index pointer over n things; the list's entries must lie in [0, limit).
int readGroupedList(DefFile *file, const char *function, const char *listWhat, const char *pointerWhat, int32_t n,
                    int32_t limit, int32_t **list, int32_t **pointer) {
  int32_t length = 0;
  if (!readInts(file, listWhat, kEvery, list, &length))
    return 0;
  if (!readIntsOfLength(file, function, pointerWhat, kEvery, static_cast<int64_t>(n) + 1, pointer))
    return 0;
  if (!isIndexPointer(*pointer, n, length))
    return reject(file, function, pointerWhat, kEvery, 0, "The index pointer does not divide its list.");
  if (!inRange(*list, length, 0, static_cast<int64_t>(limit) - 1))
    return reject(file, function, listWhat, kEvery, 0, "The data set holds an index out of range.");
  return 1;
}

void freeStrings(char ***strings, int64_t n) {
  if (*strings != nullptr)
    zyrCStringArray_free(*strings, static_cast<uint64_t>(n));
  *strings = nullptr;
}

void freeLists(int32_t ***lists, int64_t n) {
  if (*lists == nullptr)
    return;
  for (int64_t i = 0; i < n; ++i)
    zyrMemory_free((*lists)[i], "GmoContents_delete");
  zyrMemory_freeAndClear(lists, "GmoContents_delete");
}

void printInts(FILE *stream, const char *name, const int32_t *values, int64_t n) {
  fprintf(stream, "%s =", name);
  if (values == nullptr)
    n = 0;
  for (int64_t i = 0; i < n; ++i)
    fprintf(stream, " %d", values[i]);
  fprintf(stream, "\n");
}

} // namespace

int32_t GmoContents_elementType(int32_t code) {
  // The file's codes put prisms before hexahedra and pyramids after them.
  static const int32_t types[] = {ZYR_ELEMENT_BAR_2,   ZYR_ELEMENT_TRI_3,  ZYR_ELEMENT_QUAD_4, ZYR_ELEMENT_TETRA_4,
                                  ZYR_ELEMENT_PENTA_6, ZYR_ELEMENT_HEXA_8, ZYR_ELEMENT_PYRA_5};
  return code >= 1 && code <= 7 ? types[code - 1] : -1;
}

GmoContents *GmoContents_new() { return zyrMemory_allocateZeroedArray<GmoContents>(1, __func__); }

void GmoContents_delete(GmoContents *c) {
  if (c == nullptr)
    return;
  const char *tag = __func__;
  freeStrings(&c->m_surfaceNames, c->m_nsf);
  freeStrings(&c->m_volumeNames, c->m_nvl);
  zyrMemory_free(c->m_surfacePriorities, tag);
  zyrMemory_free(c->m_volumePriorities, tag);
  zyrMemory_free(c->m_partners, tag);
  zyrMemory_free(c->m_contacts, tag);
  zyrMemory_free(c->m_shellSurfaces, tag);
  freeStrings(&c->m_compositeNames, c->m_ncn);
  if (c->m_componentPointer != nullptr)
    freeStrings(&c->m_componentNames, c->m_componentPointer[c->m_ncn]);
  zyrMemory_free(c->m_componentPointer, tag);
  zyrMemory_free(c->m_shellPointer, tag);
  zyrMemory_free(c->m_coordinates, tag);
  zyrCString_free(c->m_units);
  freeLists(&c->m_elementVertices, c->m_nes);
  zyrMemory_free(c->m_elementTypes, tag);
  zyrMemory_free(c->m_elementLengths, tag);
  freeLists(&c->m_faceElements, c->m_nfs);
  freeLists(&c->m_localFaces, c->m_nfs);
  zyrMemory_free(c->m_faceCounts, tag);
  zyrMemory_free(c->m_faceElementSets, tag);
  zyrMemory_free(c->m_elementSetPointer, tag);
  zyrMemory_free(c->m_volumeElementSets, tag);
  zyrMemory_free(c->m_faceSetPointer, tag);
  zyrMemory_free(c->m_surfaceFaceSets, tag);
  zyrMemory_free(c->m_boundedVolume, tag);
  zyrMemory_free(c, tag);
}

void GmoContents_print(const GmoContents *c, FILE *stream) {
  fprintf(stream, "m_nsf = %d\nm_nvl = %d\n", c->m_nsf, c->m_nvl);
  for (int32_t s = 0; c->m_surfaceNames != nullptr && s < c->m_nsf; ++s)
    fprintf(stream, "  surface %d \"%s\"\n", s, c->m_surfaceNames[s]);
  for (int32_t v = 0; c->m_volumeNames != nullptr && v < c->m_nvl; ++v)
    fprintf(stream, "  volume %d \"%s\"\n", v, c->m_volumeNames[v]);
  printInts(stream, "m_partners", c->m_partners, c->m_nsf);
  printInts(stream, "m_contacts", c->m_contacts, 2 * static_cast<int64_t>(c->m_noOfContacts));
  printInts(stream, "m_shellPointer", c->m_shellPointer, static_cast<int64_t>(c->m_nvl) + 1);
  fprintf(stream, "m_ncn = %d\nm_noOfVertices = %d\nm_units = %s\nm_nes = %d\nm_nfs = %d\n", c->m_ncn,
          c->m_noOfVertices, c->m_units != nullptr ? c->m_units : "NONE", c->m_nes, c->m_nfs);
  fflush(stream);
}

int GmoContents_readTopology(GmoContents *c, DefFile *file) {
  const char *fn = __func__;
  if (!readInt(file, "ZYR/NSF", kEvery, &c->m_nsf) || !readInt(file, "ZYR/NVL", kEvery, &c->m_nvl))
    return 0;
  if (c->m_nsf < 0 || c->m_nvl < 0 || static_cast<int64_t>(c->m_nsf) + c->m_nvl >= INT32_MAX) {
    const int32_t nsf = c->m_nsf;
    c->m_nsf = c->m_nvl = 0;
    return reject(file, fn, nsf < 0 ? "ZYR/NSF" : "ZYR/NVL", kEvery, 0, "The number of regions is not valid.");
  }

  // The name arrays decide how much is allocated for the regions, not the counts alone.
  int32_t n = 0;
  if (!readStrings(file, "ZYR/CLBSF", &c->m_surfaceNames, &n))
    return 0;
  if (n != c->m_nsf) {
    freeStrings(&c->m_surfaceNames, n);
    return reject(file, fn, "ZYR/CLBSF", kEvery, 0, "The data set does not hold one name per surface.");
  }
  if (!readStrings(file, "ZYR/CLBVL", &c->m_volumeNames, &n))
    return 0;
  if (n != c->m_nvl) {
    freeStrings(&c->m_volumeNames, n);
    return reject(file, fn, "ZYR/CLBVL", kEvery, 0, "The data set does not hold one name per volume.");
  }
  for (int32_t i = 0; i < c->m_nsf; ++i)
    if (c->m_surfaceNames[i] == nullptr)
      return reject(file, fn, "ZYR/CLBSF", kEvery, 0, "The data set holds a missing name.");
  for (int32_t i = 0; i < c->m_nvl; ++i)
    if (c->m_volumeNames[i] == nullptr)
      return reject(file, fn, "ZYR/CLBVL", kEvery, 0, "The data set holds a missing name.");

  // Priorities are optional and used only at their full length.
  int32_t *priorities = nullptr;
  int got = DefFile_readInts(file, "ZYR/KPRSF", kEvery, 0, &priorities, &n);
  if (unreadable(file, "ZYR/KPRSF", 0, got))
    return failedRead(file);
  if (got && n == c->m_nsf)
    c->m_surfacePriorities = priorities;
  else
    zyrMemory_free(priorities, fn);
  priorities = nullptr;
  got = DefFile_readInts(file, "ZYR/KPRVL", kEvery, 0, &priorities, &n);
  if (unreadable(file, "ZYR/KPRVL", 0, got))
    return failedRead(file);
  if (got && n == c->m_nvl)
    c->m_volumePriorities = priorities;
  else
    zyrMemory_free(priorities, fn);

  if (!readIntsOfLength(file, fn, "ZYR/KSFSF", kEvery, c->m_nsf, &c->m_partners))
    return 0;
  // Each surface is connected once at most: a pair is made by the lower of its two surfaces.
  std::vector<int32_t> connections(static_cast<size_t>(c->m_nsf), 0);
  for (int32_t s = 0; s < c->m_nsf; ++s) {
    const int32_t t = c->m_partners[s];
    if (t < -1 || t >= c->m_nsf || t == s)
      return reject(file, fn, "ZYR/KSFSF", kEvery, 0, "The data set holds a surface out of range.");
    if (t > s && (++connections[static_cast<size_t>(s)] > 1 || ++connections[static_cast<size_t>(t)] > 1))
      return reject(file, fn, "ZYR/KSFSF", kEvery, 0, "A surface is connected to more than one other surface.");
  }

  // Gluing is optional, but a list that is there must make sense.
  int32_t *contacts = nullptr;
  got = DefFile_readInts(file, "ZYR/CONTACT", kEvery, 0, &contacts, &n);
  if (unreadable(file, "ZYR/CONTACT", 0, got))
    return failedRead(file);
  if (got) {
    c->m_contacts = contacts;
    if (n % 2 != 0)
      return reject(file, fn, "ZYR/CONTACT", kEvery, 0, "The data set does not hold pairs of surfaces.");
    c->m_noOfContacts = n / 2;
    if (!inRange(contacts, n, 0, static_cast<int64_t>(c->m_nsf) - 1))
      return reject(file, fn, "ZYR/CONTACT", kEvery, 0, "The data set holds a surface out of range.");
    for (int32_t i = 0; i < c->m_noOfContacts; ++i)
      if (contacts[2 * i] == contacts[2 * i + 1])
        return reject(file, fn, "ZYR/CONTACT", kEvery, 0, "A surface is glued to itself.");
  }

  if (!readGroupedList(file, fn, "ZYR/KSFVL", "ZYR/IPSFVL", c->m_nvl, c->m_nsf, &c->m_shellSurfaces,
                       &c->m_shellPointer))
    return 0;
  // A surface lies in one shell at most.
  c->m_boundedVolume = zyrMemory_allocateArray<int32_t>(c->m_nsf > 0 ? c->m_nsf : 1, fn);
  for (int32_t s = 0; s < c->m_nsf; ++s)
    c->m_boundedVolume[s] = -1;
  for (int32_t v = 0; v < c->m_nvl; ++v)
    for (int32_t i = c->m_shellPointer[v]; i < c->m_shellPointer[v + 1]; ++i) {
      int32_t &owner = c->m_boundedVolume[c->m_shellSurfaces[i]];
      if (owner != -1)
        return reject(file, fn, "ZYR/KSFVL", kEvery, 0, "A surface bounds more than one volume.");
      owner = v;
    }

  // Composite names: none when the count is missing.
  int32_t ncn = 0;
  const int haveNames = DefFile_readInt(file, "ZYR/NCN", kEvery, 0, &ncn);
  if (unreadable(file, "ZYR/NCN", 0, haveNames))
    return failedRead(file);
  if (!haveNames)
    return 1;
  if (ncn < 0 || ncn == INT32_MAX)
    return reject(file, fn, "ZYR/NCN", kEvery, 0, "The number of composite names is not valid.");
  if (ncn == 0)
    return 1;
  if (!readStrings(file, "ZYR/CLBCN", &c->m_compositeNames, &n))
    return 0;
  if (n != ncn) {
    freeStrings(&c->m_compositeNames, n);
    return reject(file, fn, "ZYR/CLBCN", kEvery, 0, "The data set does not hold one name per composite name.");
  }
  c->m_ncn = ncn;
  int32_t noOfComponents = 0;
  if (!readStrings(file, "ZYR/CNMCN", &c->m_componentNames, &noOfComponents))
    return 0;
  int32_t *pointer = nullptr;
  const int pointerRead = readIntsOfLength(file, fn, "ZYR/IPNMCN", kEvery, static_cast<int64_t>(ncn) + 1, &pointer);
  if (!pointerRead || !isIndexPointer(pointer, ncn, noOfComponents)) {
    freeStrings(&c->m_componentNames, noOfComponents);
    zyrMemory_free(pointer, fn);
    return pointerRead ? reject(file, fn, "ZYR/IPNMCN", kEvery, 0, "The index pointer does not divide its list.") : 0;
  }
  c->m_componentPointer = pointer;
  for (int32_t i = 0; i < ncn; ++i)
    if (c->m_compositeNames[i] == nullptr)
      return reject(file, fn, "ZYR/CLBCN", kEvery, 0, "The data set holds a missing name.");
  for (int32_t i = 0; i < noOfComponents; ++i)
    if (c->m_componentNames[i] == nullptr)
      return reject(file, fn, "ZYR/CNMCN", kEvery, 0, "The data set holds a missing name.");
  return 1;
}

namespace {

// The vertices' coordinates, three a vertex, and the unit they are in when the file names one.
int readVertices(GmoContents *c, DefFile *file, const char *fn) {
  int32_t n = 0;
  if (!DefFile_readDoubles(file, "ZYR/CRDVX", kEvery, -2, &c->m_coordinates, &n))
    return failedRead(file);
  if (n % 3 != 0)
    return reject(file, fn, "ZYR/CRDVX", kEvery, -2, "The data set does not hold three coordinates per vertex.");
  c->m_noOfVertices = n / 3;
  char *units = nullptr;
  const int haveUnits = DefFile_readString(file, "ZYR/UNITS", kEvery, 0, &units);
  if (unreadable(file, "ZYR/UNITS", 0, haveUnits))
    return failedRead(file);
  if (haveUnits)
    c->m_units = units;
  return 1;
}

// The element sets: each one's type and vertex list, whole elements of existing vertices. The
// sets read so far are kept when one fails, for GmoContents_delete to release.
int readElementSets(GmoContents *c, DefFile *file, const char *fn) {
  int32_t nes = 0;
  if (!readInt(file, "ZYR/NES", kEvery, &nes))
    return 0;
  if (nes < 0)
    return reject(file, fn, "ZYR/NES", kEvery, 0, "The number of element sets is not valid.");
  // Element sets are allocated as they are read, so a count the file does not back costs little.
  std::vector<int32_t> types, lengths;
  std::vector<int32_t *> lists;
  auto keepElementSets = [&]() {
    c->m_nes = static_cast<int32_t>(lists.size());
    const int32_t size = c->m_nes > 0 ? c->m_nes : 1;
    c->m_elementTypes = zyrMemory_allocateZeroedArray<int32_t>(size, fn);
    c->m_elementLengths = zyrMemory_allocateZeroedArray<int32_t>(size, fn);
    c->m_elementVertices = zyrMemory_allocateZeroedArray<int32_t *>(size, fn);
    for (int32_t i = 0; i < c->m_nes; ++i) {
      c->m_elementTypes[i] = types[static_cast<size_t>(i)];
      c->m_elementLengths[i] = lengths[static_cast<size_t>(i)];
      c->m_elementVertices[i] = lists[static_cast<size_t>(i)];
    }
  };
  char where[32];
  for (int32_t i = 0; i < nes; ++i) {
    snprintf(where, sizeof where, "ES%d", i);
    int32_t code = 0, length = 0;
    int32_t *list = nullptr;
    if (!readInt(file, "ZYR/TYPE", where, &code)) {
      keepElementSets();
      return 0;
    }
    if (GmoContents_elementType(code) < 0) {
      keepElementSets();
      return reject(file, fn, "ZYR/TYPE", where, 0, "The element type code is not valid.");
    }
    if (!readInts(file, "ZYR/KVXPE", where, &list, &length)) {
      keepElementSets();
      return 0;
    }
    types.push_back(code);
    lengths.push_back(length);
    lists.push_back(list);
    const int32_t perElement = ElementTopology_getNoOfVertices(GmoContents_elementType(code));
    if (perElement <= 0 || length % perElement != 0) {
      keepElementSets();
      return reject(file, fn, "ZYR/KVXPE", where, 0, "The data set does not hold whole elements.");
    }
    if (!inRange(list, length, 0, static_cast<int64_t>(c->m_noOfVertices) - 1)) {
      keepElementSets();
      return reject(file, fn, "ZYR/KVXPE", where, 0, "The data set holds a vertex out of range.");
    }
  }
  keepElementSets();
  return 1;
}

// The face sets: each one's elements, their local faces and its element set, all in range. The
// sets read so far are kept when one fails, for GmoContents_delete to release.
int readFaceSets(GmoContents *c, DefFile *file, const char *fn) {
  int32_t nfs = 0;
  if (!readInt(file, "ZYR/NFS", kEvery, &nfs))
    return 0;
  if (nfs < 0)
    return reject(file, fn, "ZYR/NFS", kEvery, 0, "The number of face sets is not valid.");
  std::vector<int32_t> counts, sets;
  std::vector<int32_t *> elements, faces;
  auto keepFaceSets = [&]() {
    c->m_nfs = static_cast<int32_t>(elements.size());
    const int32_t size = c->m_nfs > 0 ? c->m_nfs : 1;
    c->m_faceCounts = zyrMemory_allocateZeroedArray<int32_t>(size, fn);
    c->m_faceElementSets = zyrMemory_allocateZeroedArray<int32_t>(size, fn);
    c->m_faceElements = zyrMemory_allocateZeroedArray<int32_t *>(size, fn);
    c->m_localFaces = zyrMemory_allocateZeroedArray<int32_t *>(size, fn);
    for (int32_t j = 0; j < c->m_nfs; ++j) {
      c->m_faceCounts[j] = counts[static_cast<size_t>(j)];
      c->m_faceElementSets[j] = sets[static_cast<size_t>(j)];
      c->m_faceElements[j] = elements[static_cast<size_t>(j)];
      c->m_localFaces[j] = faces[static_cast<size_t>(j)];
    }
  };
  char where[32];
  for (int32_t j = 0; j < nfs; ++j) {
    snprintf(where, sizeof where, "FS%d", j);
    int32_t *elementList = nullptr, *faceList = nullptr;
    int32_t noOfElements = 0, noOfFaces = 0, set = 0;
    const int read = readInts(file, "ZYR/KPEPF", where, &elementList, &noOfElements) &&
                     readInts(file, "ZYR/KRFPF", where, &faceList, &noOfFaces) && readInt(file, "ZYR/ES", where, &set);
    counts.push_back(noOfElements);
    sets.push_back(set);
    elements.push_back(elementList);
    faces.push_back(faceList);
    if (!read) {
      keepFaceSets();
      return 0;
    }
    if (noOfFaces != noOfElements) {
      keepFaceSets();
      return reject(file, fn, "ZYR/KRFPF", where, 0, "The data set does not hold one face per element.");
    }
    if (set < 0 || set >= c->m_nes) {
      keepFaceSets();
      return reject(file, fn, "ZYR/ES", where, 0, "The data set holds an element set out of range.");
    }
    const int32_t type = GmoContents_elementType(c->m_elementTypes[set]);
    const int32_t nel = c->m_elementLengths[set] / ElementTopology_getNoOfVertices(type);
    if (!inRange(elementList, noOfElements, 0, static_cast<int64_t>(nel) - 1)) {
      keepFaceSets();
      return reject(file, fn, "ZYR/KPEPF", where, 0, "The data set holds an element out of range.");
    }
    const int32_t noOfLocalFaces = ElementTopology_getNoOfFaces(type);
    const int32_t first = ElementTopology_isFaceNumberingShifted(type, zyrConvention_WEZ5) ? 1 : 0;
    if (!inRange(faceList, noOfFaces, first, static_cast<int64_t>(first) + noOfLocalFaces - 1)) {
      keepFaceSets();
      return reject(file, fn, "ZYR/KRFPF", where, 0, "The data set holds a local face out of range.");
    }
  }
  keepFaceSets();
  return 1;
}

// The element sets of each volume and the face sets of each surface; the mesh's volumes and
// surfaces are the topology's.
int readRegionLists(GmoContents *c, DefFile *file, const char *fn) {
  int32_t count = 0;
  if (!readInt(file, "ZYR/NVL", kEvery, &count))
    return 0;
  if (count != c->m_nvl)
    return reject(file, fn, "ZYR/NVL", kEvery, 0, "The number of volumes differs from the topology's.");
  if (!readGroupedList(file, fn, "ZYR/KESVL", "ZYR/IPESVL", c->m_nvl, c->m_nes, &c->m_volumeElementSets,
                       &c->m_elementSetPointer))
    return 0;
  if (!readInt(file, "ZYR/NSF", kEvery, &count))
    return 0;
  if (count != c->m_nsf)
    return reject(file, fn, "ZYR/NSF", kEvery, 0, "The number of surfaces differs from the topology's.");
  return readGroupedList(file, fn, "ZYR/KFSSF", "ZYR/IPFSSF", c->m_nsf, c->m_nfs, &c->m_surfaceFaceSets,
                         &c->m_faceSetPointer);
}

// An element set belongs to one volume and a face set to one surface, and a surface's faces are
// faces of the elements of the volume it bounds.
int checkOwners(GmoContents *c, DefFile *file, const char *fn) {
  std::vector<int32_t> elementSetVolume(static_cast<size_t>(c->m_nes), -1);
  for (int32_t v = 0; v < c->m_nvl; ++v)
    for (int32_t i = c->m_elementSetPointer[v]; i < c->m_elementSetPointer[v + 1]; ++i) {
      int32_t &owner = elementSetVolume[static_cast<size_t>(c->m_volumeElementSets[i])];
      if (owner != -1)
        return reject(file, fn, "ZYR/KESVL", kEvery, 0, "An element set belongs to more than one volume.");
      owner = v;
    }
  std::vector<char> faceSetTaken(static_cast<size_t>(c->m_nfs), 0);
  for (int32_t s = 0; s < c->m_nsf; ++s) {
    const int32_t volume = c->m_boundedVolume[s];
    if (volume < 0)
      return reject(file, fn, "ZYR/KSFVL", kEvery, 0, "A surface bounds no volume.");
    for (int32_t i = c->m_faceSetPointer[s]; i < c->m_faceSetPointer[s + 1]; ++i) {
      const int32_t faceSet = c->m_surfaceFaceSets[i];
      if (faceSetTaken[static_cast<size_t>(faceSet)]++)
        return reject(file, fn, "ZYR/KFSSF", kEvery, 0, "A face set belongs to more than one surface.");
      if (elementSetVolume[static_cast<size_t>(c->m_faceElementSets[faceSet])] != volume)
        return reject(file, fn, "ZYR/KFSSF", kEvery, 0,
                      "A face set does not lie on the elements of the volume its surface bounds.");
    }
  }
  return 1;
}

} // namespace

int GmoContents_readMesh(GmoContents *c, DefFile *file) {
  const char *fn = __func__;
  return readVertices(c, file, fn) && readElementSets(c, file, fn) && readFaceSets(c, file, fn) &&
         readRegionLists(c, file, fn) && checkOwners(c, file, fn);
}
