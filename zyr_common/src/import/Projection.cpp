#include "Projection.h"

#include "DefFile.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"
#include "zyrTypeManager.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <string>

namespace {

const char *const kEvery = "EVERY";

struct IntArray {
  const char *m_name; // attribute name; the data set is "M/MESHTOCAD/" + name
  int32_t *Projection::*m_member;
  int32_t Projection::*m_count;
  int32_t m_factor;
};

// In reading order, KUVEN and KUVFN aside.
const IntArray kIntArrays[] = {
    {"KCBCF", &Projection::m_kcbcf, &Projection::m_ncf, 1}, {"KCBCE", &Projection::m_kcbce, &Projection::m_nce, 1},
    {"KCBCX", &Projection::m_kcbcx, &Projection::m_ncx, 1}, {"KCVCB", &Projection::m_kcvcb, &Projection::m_ncb, 1},
    {"KCSCF", &Projection::m_kcscf, &Projection::m_ncf, 1}, {"KCCCE", &Projection::m_kccce, &Projection::m_nce, 1},
    {"KCPCX", &Projection::m_kcpcx, &Projection::m_ncx, 1}, {"KCEEN", &Projection::m_kceen, &Projection::m_nen, 1},
    {"KENEN", &Projection::m_kenen, &Projection::m_nen, 2}, {"KVXEN", &Projection::m_kvxen, &Projection::m_nen, 1},
    {"KCFFN", &Projection::m_kcffn, &Projection::m_nfn, 1}, {"KVXFN", &Projection::m_kvxfn, &Projection::m_nfn, 1}};

struct Count {
  const char *m_name;
  int32_t Projection::*m_member;
};
const Count kCounts[] = {{"NCB", &Projection::m_ncb}, {"NCF", &Projection::m_ncf}, {"NCE", &Projection::m_nce},
                         {"NCX", &Projection::m_ncx}, {"NEN", &Projection::m_nen}, {"NFN", &Projection::m_nfn}};

std::string datasetName(const char *name) { return std::string("M/MESHTOCAD/") + name; }

// An array read from the file must hold exactly what its count says.
int readIntArray(Projection *p, DefFile *file, const IntArray &a) {
  int32_t n = 0;
  int32_t *values = nullptr;
  if (!DefFile_readInts(file, datasetName(a.m_name).c_str(), kEvery, 0, &values, &n))
    return 0;
  p->*a.m_member = values;
  return static_cast<int64_t>(n) == static_cast<int64_t>(p->*a.m_count) * a.m_factor;
}

int readDoubleArray(DefFile *file, const char *name, int64_t expected, double **values) {
  int32_t n = 0;
  if (!DefFile_readDoubles(file, datasetName(name).c_str(), kEvery, 0, values, &n))
    return 0;
  return n == expected;
}

void printMap(FILE *stream, const char *legend, const int32_t *values, int32_t n) {
  fputs(legend, stream);
  for (int32_t i = 0; values != nullptr && i < n; ++i)
    fprintf(stream, "  %8d %d\n", i, values[i]);
}

void printRule(FILE *stream) { fprintf(stream, "%s\n", std::string(60, '=').c_str()); }

} // namespace

int Projection_registerType() {
  static int registered = 0;
  if (registered == 0)
    registered = zyrTypeManager_setHooks("Projection", Projection_getSize, Projection_dump, Projection_restore,
                                         Projection_delete);
  return registered;
}

int64_t Projection_getSize() { return sizeof(Projection); }

// Every attribute is written once, when the projection is read.
int Projection_dump(void *) { return 1; }

Projection *Projection_new(DefFile *file, const char *defaultUnits) {
  Projection_registerType();
  Projection *p = static_cast<Projection *>(zyrObject_new("Projection"));
  if (p == nullptr)
    return nullptr;
  if (Projection_readFromDef(p, file, defaultUnits) != 1) {
    Projection_delete(p);
    return nullptr;
  }
  Projection_release(p);
  return p;
}

int Projection_readFromDef(Projection *p, DefFile *file, const char *defaultUnits) {
  for (const Count &count : kCounts)
    if (!DefFile_readInt(file, datasetName(count.m_name).c_str(), kEvery, 0, &(p->*count.m_member)) ||
        p->*count.m_member < 0 || p->*count.m_member > INT32_MAX / 3)
      return 0;
  for (const IntArray &a : kIntArrays) {
    if (!readIntArray(p, file, a))
      return 0;
    if (a.m_member == &Projection::m_kvxen && !readDoubleArray(file, "KUVEN", p->m_nen, &p->m_kuven))
      return 0;
  }
  if (!readDoubleArray(file, "KUVFN", 2 * static_cast<int64_t>(p->m_nfn), &p->m_kuvfn))
    return 0;

  char *name = nullptr;
  if (DefFile_readCharsAsString(file, "G/CNAMDB", kEvery, 0, &name) && name != nullptr) {
    size_t n = strlen(name);
    while (n > 0 && isspace(static_cast<unsigned char>(name[n - 1])))
      name[--n] = '\0';
    p->m_database = name;
  }

  // The source vertices: an intermediate mesh file's, else zone 1's of a definition file.
  double *source = nullptr;
  int32_t n = 0;
  zyrCString_free(p->m_units);
  p->m_units = nullptr;
  if (DefFile_exists(file, "ZYR/CRDVX", kEvery, -2)) {
    if (!DefFile_readDoubles(file, "ZYR/CRDVX", kEvery, -2, &source, &n))
      return 0;
    DefFile_readString(file, "ZYR/UNITS", kEvery, 0, &p->m_units);
  } else {
    if (!DefFile_readDoubles(file, "G/CRDVX", "ZN1/VX", -2, &source, &n))
      return 0;
    float scale = 1.0f;
    if (DefFile_readIoString(file, "G/CGUNIT", kEvery, 0, &p->m_units) &&
        DefFile_readFloat(file, "G/GEOSCL", kEvery, 0, &scale)) {
      // A scale of zero or one that is not a number would make every coordinate meaningless.
      if (!std::isfinite(scale) || scale == 0.0f) {
        ZYR_ERROR(ZYR_W_INVALID_INPUT_IGNORED,
                  "The geometric scale of the file, %g, is not valid. A scale of 1 has been\n"
                  "used for the mesh-to-CAD projection instead.\n",
                  static_cast<double>(scale));
      } else if (1.0 / static_cast<double>(scale) != 1.0) {
        const double factor = 1.0 / static_cast<double>(scale);
        for (int32_t i = 0; i < n; ++i)
          source[i] *= factor;
      }
    }
  }
  const int32_t noOfSource = n / 3;
  if (p->m_units == nullptr)
    p->m_units = zyrCString_clone(defaultUnits != nullptr ? defaultUnits : "m");

  // Vertex numbers out of the source's range make the projection unusable: none is made.
  int result = 1;
  for (int32_t i = 0; result && i < p->m_nen; ++i)
    result = p->m_kvxen[i] >= 0 && p->m_kvxen[i] <= noOfSource;
  for (int32_t i = 0; result && i < p->m_nfn; ++i)
    result = p->m_kvxfn[i] >= 0 && p->m_kvxfn[i] <= noOfSource;
  if (!result) {
    zyrMemory_free(source, __func__);
    return 0;
  }

  int32_t *index = zyrMemory_allocateZeroedArray<int32_t>(static_cast<int64_t>(noOfSource) + 1, __func__);
  for (int32_t i = 0; i < p->m_nen; ++i)
    index[p->m_kvxen[i]] = 1;
  for (int32_t i = 0; i < p->m_nfn; ++i)
    index[p->m_kvxfn[i]] = 1;
  index[0] = -1;
  int32_t kept = 0;
  for (int32_t k = 1; k <= noOfSource; ++k)
    if (index[k] == 1)
      ++kept;
  p->m_nvx = kept;
  p->m_crdvx = zyrMemory_allocateArray<double>(3 * static_cast<int64_t>(kept > 0 ? kept : 1), __func__);
  kept = 0;
  for (int32_t k = 1; k <= noOfSource; ++k)
    if (index[k] == 1) {
      memcpy(p->m_crdvx + 3 * static_cast<int64_t>(kept), source + 3 * static_cast<int64_t>(k - 1), 3 * sizeof(double));
      index[k] = kept++;
    }
  for (int32_t i = 0; i < p->m_nen; ++i)
    p->m_kvxen[i] = index[p->m_kvxen[i]];
  for (int32_t i = 0; i < p->m_nfn; ++i)
    p->m_kvxfn[i] = index[p->m_kvxfn[i]];

  for (const Count &count : kCounts)
    zyrObject_setInt(p, count.m_name, p->*count.m_member);
  for (const IntArray &a : kIntArrays) {
    zyrObject_setInts(p, a.m_name, p->*a.m_member, p->*a.m_count * a.m_factor);
    if (a.m_member == &Projection::m_kvxen)
      zyrObject_setDoubles(p, "KUVEN", p->m_kuven, p->m_nen);
  }
  zyrObject_setDoubles(p, "KUVFN", p->m_kuvfn, 2 * p->m_nfn);
  zyrObject_setInt(p, "NVX", p->m_nvx);
  zyrObject_setDoubles(p, "CRDVX", p->m_crdvx, 3 * p->m_nvx);
  zyrObject_setString(p, "units", p->m_units);
  zyrObject_setString(p, "database", p->m_database);

  zyrMemory_free(source, __func__);
  zyrMemory_free(index, __func__);
  return 1;
}

int Projection_restore(void *object, int32_t flag) {
  Projection *p = static_cast<Projection *>(object);
  Projection_release(p);
  for (const Count &count : kCounts)
    zyrObject_getInt(p, flag, count.m_name, &(p->*count.m_member));
  int32_t n = 0;
  for (const IntArray &a : kIntArrays) {
    zyrObject_getInts(p, flag, a.m_name, &(p->*a.m_member), &n);
    if (a.m_member == &Projection::m_kvxen)
      zyrObject_getDoubles(p, flag, "KUVEN", &p->m_kuven, &n);
  }
  zyrObject_getDoubles(p, flag, "KUVFN", &p->m_kuvfn, &n);
  zyrObject_getInt(p, flag, "NVX", &p->m_nvx);
  zyrObject_getDoubles(p, flag, "CRDVX", &p->m_crdvx, &n);
  zyrObject_getString(p, flag, "units", &p->m_units);
  zyrObject_getString(p, flag, "database", &p->m_database);
  return 1;
}

void Projection_release(Projection *p) {
  for (const IntArray &a : kIntArrays)
    zyrMemory_freeAndClear(&(p->*a.m_member), __func__);
  zyrMemory_freeAndClear(&p->m_kuven, __func__);
  zyrMemory_freeAndClear(&p->m_kuvfn, __func__);
  zyrMemory_freeAndClear(&p->m_crdvx, __func__);
  zyrCString_free(p->m_units);
  p->m_units = nullptr;
  zyrCString_free(p->m_database);
  p->m_database = nullptr;
}

int Projection_delete(void *object) {
  Projection *p = static_cast<Projection *>(object);
  if (p == nullptr)
    return 0;
  Projection_release(p);
  if (zyrObject_isDestroying(p))
    return 1;
  return zyrObject_delete(p);
}

const char *Projection_getUnits(Projection *p) {
  zyrObject_reload(p);
  return p->m_units;
}

void Projection_print(Projection *p, FILE *stream) {
  zyrObject_reload(p);
  char uuid[64] = "";
  zyrObject_getUUIDString(p, uuid);
  printRule(stream);
  fprintf(stream, "Projection: %s\n", uuid);
  printRule(stream);
  if (p->m_database != nullptr)
    fprintf(stream, "Database = \"%s\"\n", p->m_database);
  else
    fprintf(stream, "Database = NONE\n");
  fprintf(stream, "No. of bodies   in the CAD model: NCB = %d\n", p->m_ncb);
  fprintf(stream, "No. of faces    in the CAD model: NCF = %d\n", p->m_ncf);
  fprintf(stream, "No. of edges    in the CAD model: NCE = %d\n", p->m_nce);
  fprintf(stream, "No. of vertices in the CAD model: NCX = %d\n", p->m_ncx);
  fprintf(stream, "NCB = %d\n", p->m_ncb);
  fprintf(stream, "No. of nodes on CAD edges:        NEN = %d\n", p->m_nen);
  fprintf(stream, "No. of nodes on CAD surfaces:     NFN = %d\n", p->m_nfn);
  fprintf(stream, "Mappings from Contiguous CAD IDs to actual CAD IDs:\n"
                  "---------------------------------------------------\n");
  printMap(stream, "  KCBCF (Contiguous face to contiguous body ID)\n", p->m_kcbcf, p->m_ncf);
  printMap(stream, "  KCBCE (Contiguous edge to contiguous body ID)\n", p->m_kcbce, p->m_nce);
  printMap(stream, "  KCBCX (Contiguous vertex to contiguous body ID)\n", p->m_kcbcx, p->m_ncx);
  printMap(stream, "  KCVCB (Contiguous body id to CAD body ID)\n", p->m_kcvcb, p->m_ncb);
  printMap(stream, "  KCSCF (Contiguous face id to CAD body ID)\n", p->m_kcscf, p->m_ncf);
  printMap(stream, "  KCCCE (Contiguous edge id to CAD body ID)\n", p->m_kccce, p->m_nce);
  printMap(stream, "  KCPCX (Contiguous vertex id to CAD body ID)\n", p->m_kcpcx, p->m_ncx);
  fprintf(stream, "Edge nodes:\n-----------\n");
  fprintf(stream, "KVXEN = Corresponding boundary vertex ID.\n"
                  "KENEN = Edge nodes before and after this edge node on the CAD edge. If the\n"
                  "        edge node is at the end of an edge then the corresponding entry points\n"
                  "        to itself.\n"
                  "KCEEN = CAD edge which the edge node belongs to.\n"
                  "KUVEN = Parametric coordinate of vertex on edge.\n\n");
  fprintf(stream, "                KVXEN   KENEN[0]   KENEN[1]      KCEEN      KUVEN\n");
  for (int32_t i = 0; p->m_kvxen != nullptr && i < p->m_nen; ++i)
    fprintf(stream, "%10d %10d %10d %10d %10d %le\n", i, p->m_kvxen[i], p->m_kenen[2 * i], p->m_kenen[2 * i + 1],
            p->m_kceen[i], p->m_kuven[i]);
  fprintf(stream, "Face nodes:\n-----------\n");
  fprintf(stream, "KVXFN = Corresponding boundary vertex ID.\n"
                  "KCFFN = CAD face which the edge node belongs to.\n"
                  "KUVFN = Parametric coordinates of vertex in surface.\n\n");
  fprintf(stream, "                KVXFN      KCFFN      KUVFN\n");
  for (int32_t i = 0; p->m_kvxfn != nullptr && i < p->m_nfn; ++i)
    fprintf(stream, "%10d %10d %10d %le\n", i, p->m_kvxfn[i], p->m_kcffn[i], p->m_kuvfn[2 * i]);
  fprintf(stream, "Boundary vertices:\n------------------\n");
  fprintf(stream, "  NVX   = %d\n", p->m_nvx);
  fprintf(stream, "  units = [%s]\n", p->m_units != nullptr ? p->m_units : "");
  for (int32_t i = 0; p->m_crdvx != nullptr && i < p->m_nvx; ++i)
    fprintf(stream, "  %8d [%le, %le, %le]\n", i, p->m_crdvx[3 * i], p->m_crdvx[3 * i + 1], p->m_crdvx[3 * i + 2]);
  fflush(stream);
  Projection_release(p);
}
