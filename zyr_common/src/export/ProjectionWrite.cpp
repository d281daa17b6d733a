// The mesh-to-CAD projection written into a definition file of one zone.
#include "ProjectionWrite.h"

#include "DefFile.h"
#include "GeometricAlgorithms.h"
#include "Projection.h"
#include "Units.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrObject.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

const char *const kEvery = "EVERY";

std::string name(const char *what) { return std::string("M/MESHTOCAD/") + what; }

// The file's vertex number (from 1) of each stored index, 0 for none.
std::vector<int32_t> renumbered(const int32_t *indices, int32_t n, const int32_t *map, int32_t nvx) {
  std::vector<int32_t> numbers(static_cast<size_t>(n > 0 ? n : 0), 0);
  for (int32_t i = 0; i < n; ++i)
    if (indices[i] >= 0 && indices[i] < nvx)
      numbers[static_cast<size_t>(i)] = map[indices[i]] + 1;
  return numbers;
}

} // namespace

int Projection_writeDataSetsWith(Projection *p, DefFile *file, const int *kvxen, const int *kvxfn) {
  const struct {
    const char *m_what;
    int32_t m_value;
  } counts[] = {{"NCB", p->m_ncb}, {"NCF", p->m_ncf}, {"NCE", p->m_nce},
                {"NCX", p->m_ncx}, {"NEN", p->m_nen}, {"NFN", p->m_nfn}};
  for (const auto &count : counts) {
    int status = DefFile_writeInt(file, name(count.m_what).c_str(), kEvery, 0, count.m_value);
    if (status != 1)
      return status;
  }
  // The arrays' results do not change the outcome: the counts above say what a reader expects.
  const struct {
    const char *m_what;
    const int32_t *m_values;
    int32_t m_count;
    int32_t m_width;
  } arrays[] = {{"KCBCF", p->m_kcbcf, p->m_ncf, 0},
                {"KCBCE", p->m_kcbce, p->m_nce, 0},
                {"KCBCX", p->m_kcbcx, p->m_ncx, 0},
                {"KCVCB", p->m_kcvcb, p->m_ncb, 0},
                {"KCSCF", p->m_kcscf, p->m_ncf, 0},
                {"KCCCE", p->m_kccce, p->m_nce, 0},
                {"KCPCX", p->m_kcpcx, p->m_ncx, 0},
                {"KCEEN", p->m_kceen, p->m_nen, 0},
                {"KENEN", p->m_kenen, p->m_nen, 2},
                {"KVXEN", kvxen != nullptr ? kvxen : p->m_kvxen, p->m_nen, 0}};
  for (const auto &a : arrays)
    if (a.m_values != nullptr && a.m_count > 0) {
      if (a.m_width > 0)
        DefFile_writeIntArray(file, name(a.m_what).c_str(), kEvery, 0, a.m_values, a.m_width, a.m_count);
      else
        DefFile_writeIntArray(file, name(a.m_what).c_str(), kEvery, 0, a.m_values, a.m_count, 0);
    }
  if (p->m_kuven != nullptr && p->m_nen > 0)
    DefFile_writeDoubleArray(file, name("KUVEN").c_str(), kEvery, 0, p->m_kuven, p->m_nen, 0);
  if (p->m_kcffn != nullptr && p->m_nfn > 0)
    DefFile_writeIntArray(file, name("KCFFN").c_str(), kEvery, 0, p->m_kcffn, p->m_nfn, 0);
  const int32_t *vxfn = kvxfn != nullptr ? kvxfn : p->m_kvxfn;
  if (vxfn != nullptr && p->m_nfn > 0)
    DefFile_writeIntArray(file, name("KVXFN").c_str(), kEvery, 0, vxfn, p->m_nfn, 0);
  if (p->m_kuvfn != nullptr && p->m_nfn > 0)
    DefFile_writeDoubleArray(file, name("KUVFN").c_str(), kEvery, 0, p->m_kuvfn, 2, p->m_nfn);
  if (p->m_database != nullptr && p->m_database[0] != '\0')
    DefFile_writeStringAsChars(file, "G/CNAMDB", kEvery, 0, p->m_database);
  return 1;
}

int Projection_writeDataSets(Projection *projection, DefFile *file) {
  return Projection_writeDataSetsWith(projection, file, nullptr, nullptr);
}

int Projection_write(Projection *p, DefFile *file) {
  int32_t zones = 0;
  if (!DefFile_readInt(file, "G/NZN", kEvery, 0, &zones) || zones != 1)
    return 0;
  zyrObject_reload(p);
  int result = 0;
  double *xyz = nullptr;
  int32_t n = 0;
  float scale = 1.0f;
  char *units = nullptr;
  int32_t *map = nullptr;
  if (DefFile_readDoubles(file, "G/CRDVX", "ZN1/VX", -2, &xyz, &n) &&
      DefFile_readFloat(file, "G/GEOSCL", kEvery, 0, &scale) &&
      DefFile_readIoString(file, "G/CGUNIT", kEvery, 0, &units)) {
    // The file's coordinates are in solution units; GEOSCL takes geometry units to them.
    const double inverse = 1.0 / double(scale);
    if (std::isfinite(inverse) && inverse != 1.0)
      for (int32_t i = 0; i < n; ++i)
        xyz[i] *= inverse;
    const int32_t fileVertices = n / 3, nvx = p->m_nvx;
    std::vector<double> own(p->m_crdvx, p->m_crdvx + 3 * static_cast<size_t>(nvx > 0 ? nvx : 0));
    int32_t found = 0;
    if (Units_convertDoubles(p->m_units, units, int32_t(own.size()), own.data()) &&
        GA_identifyPoints(nvx, own.data(), fileVertices, xyz, &found, &map) && found == nvx) {
      const std::vector<int32_t> kvxen = renumbered(p->m_kvxen, p->m_nen, map, nvx);
      const std::vector<int32_t> kvxfn = renumbered(p->m_kvxfn, p->m_nfn, map, nvx);
      result = Projection_writeDataSetsWith(p, file, kvxen.data(), kvxfn.data());
    }
  }
  if (map != nullptr)
    zyrMemory_free(map, __func__);
  if (xyz != nullptr)
    zyrMemory_free(xyz, __func__);
  zyrCString_free(units);
  Projection_release(p);
  return result;
}
