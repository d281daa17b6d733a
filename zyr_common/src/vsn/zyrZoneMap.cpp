#include "zyrZoneMap.h"

#include "Assembly.h"
#include "DefFile.h"
#include "Dictionary.h"
#include "Location.h"
#include "Topology.h"
#include "Region.h"
#include "Set.h"
#include "Units.h"
#include "pgtapi.h"
#include "vsnBoundary.h"
#include "vsnDomain.h"
#include "vsnInterface.h"
#include "vsnPhysicsRecord.h"
#include "vsnSubdomain.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrMemory.h"
#include "zyrSystem.h"
#include "zyrTrace.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

const int32_t kSetCapacity = 5;
const int32_t kVolumes = 8;
const int32_t kSurfaces = 4;
const char *const kAxisUnits = "m";

template <class T> int32_t membersOf(const Set *set, T ***members) {
  void **items = nullptr;
  const int32_t count = Set_toArray(set, &items);
  *members = reinterpret_cast<T **>(items);
  return count;
}

template <class T> void replaceMembers(Set *set, T **members, int32_t count) {
  Set_clear(set);
  for (int32_t i = 0; i < count; ++i)
    Set_add(set, members[i]);
}

template <class T> void deleteMembers(Set *set, void (*remove)(T *)) {
  if (set == nullptr)
    return;
  T **members = nullptr;
  const int32_t count = membersOf(set, &members);
  for (int32_t i = 0; i < count; ++i)
    remove(members[i]);
  zyrMemory_free(members, __func__);
  Set_delete(set);
}

bool byName(const char *a, const char *b) { return std::strcmp(vsnRecord_name(a), vsnRecord_name(b)) < 0; }

// Reads the physics through one reader. Strings that the reader hands back are copied at once:
// its next query may overwrite them. Any failure returns false after reporting what the reader
// knows.
class PhysicsReader {
public:
  PhysicsReader(zyrZoneMap *map, pgtHandle *handle, Dictionary *boundaries)
      : m_map(map), m_handle(handle), m_boundaries(boundaries) {}

  bool readDomains() {
    const int count = pgtNumDomains(m_handle);
    if (count < 0)
      return failed();
    if (count == 0)
      return true;
    char **handles = pgtDomainHandles(m_handle);
    if (handles == nullptr)
      return failed();
    bool ok = true;
    for (char **d = handles; ok && *d != nullptr; ++d)
      ok = readDomain(*d);
    pgtFreeDomainHandles(m_handle, handles);
    return ok;
  }

  bool readInterfaces() {
    const int count = pgtNumInterfaces(m_handle);
    if (count < 0)
      return failed();
    if (count == 0)
      return true;
    char **handles = pgtInterfaceHandles(m_handle);
    if (handles == nullptr)
      return failed();
    bool ok = true;
    for (char **i = handles; ok && *i != nullptr; ++i)
      ok = readInterface(*i);
    pgtFreeInterfaceHandles(m_handle, handles);
    return ok;
  }

  bool readUnits() {
    const char *units = pgtSolverLengthUnits(m_handle);
    if (units == nullptr)
      return true; // the physics need not give them
    if (!Units_isValid(units)) {
      ZYR_ERROR_FOR(ZYR_U_INVALID_VSN, "zyrZoneMap_buildUsingPGT", "The solver units \"[%s]\" are not valid.\n", units);
      return false;
    }
    zyrCString_reassign(&m_map->m_solutionUnits, units);
    return true;
  }

private:
  bool failed() {
    PGT_checkError(m_handle);
    return false;
  }

  bool text(const char *value, std::string &out) {
    if (value == nullptr)
      return failed();
    out = value;
    return true;
  }

  bool readDomain(const char *handle) {
    std::string name, type, location;
    if (!text(pgtDomainName(m_handle, handle), name) || !text(pgtDomainType(m_handle, handle), type))
      return false;
    vsnDomain *domain = vsnDomain_new(name.c_str(), type.c_str());
    Set_add(m_map->m_domains, domain);
    if (!text(pgtDomainLocation(m_handle, handle), location))
      return false;
    vsnDomain_setLocation(domain, location.c_str());
    return readSubdomains(domain, handle) && readBoundaries(domain, handle);
  }

  bool readSubdomains(vsnDomain *domain, const char *domainHandle) {
    const int count = pgtDomainNumSubdomains(m_handle, domainHandle);
    if (count < 0)
      return failed();
    if (count == 0)
      return true;
    char **handles = pgtDomainSubdomains(m_handle, domainHandle);
    if (handles == nullptr)
      return failed();
    bool ok = true;
    for (char **s = handles; ok && *s != nullptr; ++s) {
      std::string name, location;
      ok = text(pgtSubdomainName(m_handle, *s), name) && text(pgtSubdomainLocation(m_handle, *s), location);
      if (!ok)
        break;
      vsnSubdomain *subdomain = vsnSubdomain_new(name.c_str());
      Set_add(m_map->m_subdomains, subdomain);
      vsnSubdomain_setLocation(subdomain, location.c_str());
      vsnDomain_addSubdomain(domain, subdomain);
    }
    pgtFreeSubdomainHandles(m_handle, handles);
    return ok;
  }

  bool readBoundaries(vsnDomain *domain, const char *domainHandle) {
    const int count = pgtDomainNumBoundaries(m_handle, domainHandle);
    if (count < 0)
      return failed();
    if (count == 0)
      return true;
    char **handles = pgtDomainBoundaries(m_handle, domainHandle);
    if (handles == nullptr)
      return failed();
    bool ok = true;
    for (char **b = handles; ok && *b != nullptr; ++b) {
      std::string name, location;
      ok = text(pgtBoundaryName(m_handle, *b), name) && text(pgtBoundaryLocation(m_handle, *b), location);
      if (!ok)
        break;
      vsnBoundary *boundary = vsnBoundary_new(name.c_str());
      Set_add(m_map->m_boundaries, boundary);
      vsnBoundary_setLocation(boundary, location.c_str());
      vsnDomain_addBoundary(domain, boundary);
      // Sides find their boundaries by name: a later domain's boundary of the same name wins.
      Dictionary_add(m_boundaries, name.c_str(), boundary);
    }
    pgtFreeBoundaryHandles(m_handle, handles);
    return ok;
  }

  bool readInterface(const char *handle) {
    std::string name;
    if (!text(pgtInterfaceName(m_handle, handle), name))
      return false;
    const int connection = pgtInterfaceType(m_handle, handle);
    if (connection < PGT_CONNECTION_DIRECT || connection > PGT_CONNECTION_GGI) {
      ZYR_ERROR_FOR(ZYR_U_INVALID_VSN, "zyrZoneMap_buildUsingPGT",
                    "An unrecognised \"Connection Type\" has been detected for\nDOMAIN INTERFACE: %s.\n", name.c_str());
      return false;
    }
    // The reader's connection codes are the interface types: matched, automatic, unmatched.
    vsnInterface *iface = vsnInterface_new(name.c_str(), connection);
    Set_add(m_map->m_interfaces, iface);
    if (!readSide(iface, 0, pgtInterfaceBoundaryList1(m_handle, handle)) ||
        !readSide(iface, 1, pgtInterfaceBoundaryList2(m_handle, handle)))
      return false;
    const int kind = pgtInterfacePeriodicity(m_handle, handle);
    double root[3] = {0.0, 0.0, 0.0}, tip[3] = {0.0, 0.0, 0.0};
    const int axis = pgtInterfaceAxis(m_handle, handle, kAxisUnits, root, tip);
    if (axis == -1)
      return failed();
    int32_t periodicity = VSN_PERIODIC_NONE;
    if (kind == PGT_PERIODIC_ROTATIONAL && axis == 1)
      periodicity = VSN_PERIODIC_ROTATIONAL;
    else if (kind == PGT_PERIODIC_TRANSLATIONAL)
      periodicity = axis == 1 ? VSN_PERIODIC_TRANSLATIONAL : VSN_PERIODIC_TRANSLATIONAL_NO_AXIS;
    if (axis != 1)
      root[0] = root[1] = root[2] = tip[0] = tip[1] = tip[2] = 0.0;
    vsnInterface_setPeriodicity(iface, periodicity, kAxisUnits, root, tip);
    return true;
  }

  bool readSide(vsnInterface *iface, int side, char **handles) {
    if (handles == nullptr)
      return failed();
    bool ok = true;
    for (char **b = handles; ok && *b != nullptr; ++b) {
      const char *name = pgtBoundaryName(m_handle, *b);
      if (name == nullptr) {
        ok = failed();
        break;
      }
      vsnBoundary *boundary = static_cast<vsnBoundary *>(Dictionary_find(m_boundaries, name));
      if (boundary == nullptr)
        ok = false;
      else
        vsnInterface_addBoundary(iface, side, boundary);
    }
    pgtFreeBoundaryHandles(m_handle, handles);
    return ok;
  }

  zyrZoneMap *m_map;
  pgtHandle *m_handle;
  Dictionary *m_boundaries;
};

// Loads the physics data set of a definition or results file into the reader.
bool loadDefFile(pgtHandle *handle, const char *fileName) {
  const int found = fileName != nullptr && !zyrCString_isBlank(fileName) ? zyrLookForFile(fileName) : 1;
  if (found < 0)
    zyrPublishCannotTell(ZYR_U_INVALID_INPUT, fileName, "zyrZoneMap_buildUsingPGT");
  else if (found == 0)
    ZYR_ERROR_FOR(ZYR_U_INVALID_INPUT, "zyrZoneMap_buildUsingPGT", "The file named \"%s\" does not exist.\n", fileName);
  if (found <= 0)
    return false;
  // Reading the physics changes nothing of the file.
  DefFile *file = DefFile_openForReading(fileName);
  if (file == nullptr)
    return false;
  char **lines = nullptr;
  int32_t count = 0;
  if (!DefFile_readIoStrings(file, "G/COMMANDS", "EVERY", 0, &lines, &count)) {
    ZYR_ERROR_FOR(ZYR_U_INVALID_VSN, "zyrZoneMap_buildUsingPGT",
                  "The definition file does not contain any physics VSN. This\nshould appear in the data set "
                  "[G/COMMANDS, EVERY, 0].\n");
    DefFile_delete(file);
    return false;
  }
  bool ok = true;
  if (count == 1 && zyrCString_isBlank(lines[0])) {
    ZYR_ERROR_FOR(
        ZYR_I_INTERNAL_ERROR, "zyrZoneMap_buildUsingPGT",
        "The definition file does not contain any physics VSN. The\ndata set [G/COMMANDS, EVERY, 0] contains a "
        "blank string.\n");
    ok = false;
  } else if (pgtLoadVSN(handle, lines, count) != 0) {
    PGT_checkError(handle);
    ok = false;
  }
  zyrCStringArray_free(lines, static_cast<uint64_t>(count > 0 ? count : 0));
  DefFile_delete(file);
  return ok;
}

// The log is flushed like every other trace line, so that it is complete if the process dies.
void dumpToLog(zyrZoneMap *map) {
  if (FILE *log = zyrTrace_getLog()) {
    zyrZoneMap_print(map, log);
    fflush(log);
  }
}

void summaryToLog(const zyrZoneMap *map) {
  if (FILE *log = zyrTrace_getLog()) {
    zyrZoneMap_printSummary(map, log);
    fflush(log);
  }
}

std::string boundaryKey(const vsnBoundary *boundary) {
  const vsnDomain *domain = vsnBoundary_getDomain(boundary);
  std::string key = domain != nullptr ? vsnRecord_name(vsnDomain_getName(domain)) : "";
  key += ":";
  key += vsnRecord_name(vsnBoundary_getName(boundary));
  return key;
}

} // namespace

int PGT_checkError(pgtHandle *handle) {
  const char *text = nullptr;
  const int code = pgtGetError(handle, &text);
  if (code == 0)
    return 0;
  const int32_t zyrCode = code == PGT_E_MEMORY ? ZYR_R_INSUFFICIENT_MEMORY_AVAILABLE
                          : code == PGT_E_DATA ? ZYR_U_INVALID_VSN
                                               : ZYR_I_INTERNAL_ERROR;
  ZYR_ERROR(zyrCode, "\n%s\n", text != nullptr ? text : "");
  return 1;
}

zyrZoneMap *zyrZoneMap_new() {
  if (!Units_areAvailable())
    return nullptr;
  zyrZoneMap *map = zyrMemory_allocateZeroedArray<zyrZoneMap>(1, __func__);
  map->m_domains = Set_new(kSetCapacity);
  map->m_subdomains = Set_new(kSetCapacity);
  map->m_boundaries = Set_new(kSetCapacity);
  map->m_interfaces = Set_new(kSetCapacity);
  return map;
}

void zyrZoneMap_delete(zyrZoneMap *map) {
  if (map == nullptr)
    return;
  deleteMembers<vsnDomain>(map->m_domains, vsnDomain_delete);
  deleteMembers<vsnSubdomain>(map->m_subdomains, vsnSubdomain_delete);
  deleteMembers<vsnBoundary>(map->m_boundaries, vsnBoundary_delete);
  deleteMembers<vsnInterface>(map->m_interfaces, vsnInterface_delete);
  zyrCString_free(map->m_solutionUnits);
  zyrMemory_free(map, __func__);
}

zyrZoneMap *zyrZoneMap_newFromFile(const char *fileName) {
  ZYR_TRACE_BEGIN_DESC("Create a new zone map based on VSN in a text file.");
  zyrZoneMap *map = zyrZoneMap_new();
  if (map == nullptr)
    return nullptr;
  if (!zyrZoneMap_buildUsingPGT(map, fileName, 1)) {
    zyrZoneMap_delete(map);
    return nullptr;
  }
  if (ZYR_TRACE_DEBUG(1))
    dumpToLog(map);
  return map;
}

zyrZoneMap *zyrZoneMap_newFromDefFile(const char *fileName) {
  ZYR_TRACE_BEGIN_DESC("Create a new zone map based on VSN in a definition or results file.");
  zyrZoneMap *map = zyrZoneMap_new();
  if (map == nullptr)
    return nullptr;
  if (!zyrZoneMap_buildUsingPGT(map, fileName, 0)) {
    zyrZoneMap_delete(map);
    return nullptr;
  }
  zyrZoneMap_order(map);
  if (ZYR_TRACE_DEBUG(1))
    dumpToLog(map);
  return map;
}

zyrZoneMap *zyrZoneMap_newFromTopology(Topology *topology, const char *units) {
  ZYR_TRACE_BEGIN_DESC("Create a new pseudo zone map based on the problem topology.");
  zyrZoneMap *map = zyrZoneMap_new();
  if (map == nullptr)
    return nullptr;
  Assembly **assemblies = nullptr;
  const int32_t noOfAssemblies = Topology_getAssemblies(topology, &assemblies);
  for (int32_t a = 0; a < noOfAssemblies; ++a) {
    const char *assemblyName = Assembly_getName(assemblies[a]);
    vsnDomain *domain = vsnDomain_new(assemblyName, "Fluid");
    vsnDomain_setLocation(domain, assemblyName);
    Set_add(map->m_domains, domain);
    Region **regions = nullptr;
    int32_t n = Assembly_getRegions(assemblies[a], kVolumes, &regions);
    for (int32_t r = 0; r < n; ++r) {
      const char *name = Region_getUserName(regions[r]);
      vsnSubdomain *subdomain = vsnSubdomain_new(name);
      vsnSubdomain_setLocation(subdomain, name);
      Set_add(map->m_subdomains, subdomain);
      vsnDomain_addSubdomain(domain, subdomain);
    }
    zyrMemory_freeAndClear(&regions, __func__);
    n = Assembly_getRegions(assemblies[a], kSurfaces, &regions);
    for (int32_t r = 0; r < n; ++r) {
      const char *name = Region_getUserName(regions[r]);
      vsnBoundary *boundary = vsnBoundary_new(name);
      vsnBoundary_setLocation(boundary, name);
      Set_add(map->m_boundaries, boundary);
      vsnDomain_addBoundary(domain, boundary);
    }
    zyrMemory_free(regions, __func__);
  }
  zyrMemory_free(assemblies, __func__);
  zyrCString_reassign(&map->m_solutionUnits, units);
  if (ZYR_TRACE_DEBUG(1))
    dumpToLog(map);
  zyrZoneMap_order(map);
  return map;
}

int zyrZoneMap_buildUsingPGT(zyrZoneMap *map, const char *source, int mode) {
  if (mode != 0 && mode != 1)
    return 0;
  pgtHandle *handle = pgtNew();
  if (handle == nullptr) {
    ZYR_ERROR(ZYR_I_INTERNAL_ERROR, "Unable to open the PGT API.\n");
    return 0;
  }
  Dictionary *boundaries = Dictionary_new(1);
  bool ok;
  if (mode == 1) {
    ok = pgtLoadVSNFile(handle, source, "vsn") == 0;
    if (!ok)
      PGT_checkError(handle);
  } else {
    ok = loadDefFile(handle, source);
  }
  PhysicsReader reader(map, handle, boundaries);
  ok = ok && reader.readDomains() && reader.readInterfaces() && reader.readUnits();
  Dictionary_delete(boundaries);
  pgtDelete(handle);
  if (!ok)
    ZYR_ERROR(ZYR_U_INVALID_VSN, "There was a problem reading the physics VSN.\n");
  return ok ? 1 : 0;
}

int zyrZoneMap_order(zyrZoneMap *map) {
  ZYR_TRACE_BEGIN_DESC("Impose a standard ordering on the objects in a zone zone map.");
  if (ZYR_TRACE_DEBUG(2)) {
    zyrTrace_printf("Before sorting alphabetically:\n------------------------------\n");
    summaryToLog(map);
    zyrTrace_printf("\nAfter sorting alphabetically:\n-----------------------------\n");
  }

  vsnDomain **domains = nullptr;
  const int32_t noOfDomains = membersOf(map->m_domains, &domains);
  if (noOfDomains > 1) {
    vsnDomain **firstOther =
        std::stable_partition(domains, domains + noOfDomains, [](const vsnDomain *d) { return vsnDomain_isFluid(d); });
    auto compare = [](const vsnDomain *a, const vsnDomain *b) { return byName(a->m_name, b->m_name); };
    std::sort(domains, firstOther, compare);
    std::sort(firstOther, domains + noOfDomains, compare);
    replaceMembers(map->m_domains, domains, noOfDomains);
  }

  const int32_t noOfSubdomains = Set_getNoOfMembers(map->m_subdomains);
  if (noOfSubdomains > 1) {
    vsnSubdomain **ordered = zyrMemory_allocateArray<vsnSubdomain *>(noOfSubdomains, __func__);
    int32_t collected = 0;
    bool overflow = false;
    for (int32_t d = 0; d < noOfDomains; ++d) {
      vsnSubdomain **own = nullptr;
      const int32_t n = vsnDomain_getSubdomains(domains[d], &own);
      for (int32_t s = 0; s < n; ++s) {
        if (collected < noOfSubdomains)
          ordered[collected] = own[s];
        else
          overflow = true;
        ++collected;
      }
      zyrMemory_free(own, __func__);
    }
    if (overflow || collected != noOfSubdomains) {
      zyrMemory_free(ordered, __func__);
      zyrMemory_free(domains, __func__);
      ZYR_ERROR(ZYR_I_INTERNAL_ERROR,
                "The number of subdomains used in domains does not correspond to the\nnumber of subdomains in the "
                "problem.\n");
      return 0;
    }
    replaceMembers(map->m_subdomains, ordered, noOfSubdomains);
    zyrMemory_free(ordered, __func__);
  }
  zyrMemory_free(domains, __func__);

  vsnBoundary **boundaries = nullptr;
  const int32_t noOfBoundaries = membersOf(map->m_boundaries, &boundaries);
  if (noOfBoundaries > 1) {
    std::vector<std::pair<std::string, vsnBoundary *>> keyed;
    keyed.reserve(static_cast<size_t>(noOfBoundaries));
    for (int32_t b = 0; b < noOfBoundaries; ++b)
      keyed.emplace_back(boundaryKey(boundaries[b]), boundaries[b]);
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) {
      return std::strcmp(a.first.c_str(), b.first.c_str()) < 0;
    });
    for (int32_t b = 0; b < noOfBoundaries; ++b)
      boundaries[b] = keyed[static_cast<size_t>(b)].second;
    replaceMembers(map->m_boundaries, boundaries, noOfBoundaries);
  }
  zyrMemory_free(boundaries, __func__);

  vsnInterface **interfaces = nullptr;
  const int32_t noOfInterfaces = membersOf(map->m_interfaces, &interfaces);
  if (noOfInterfaces > 1) {
    std::stable_sort(interfaces, interfaces + noOfInterfaces,
                     [](const vsnInterface *a, const vsnInterface *b) { return byName(a->m_name, b->m_name); });
    replaceMembers(map->m_interfaces, interfaces, noOfInterfaces);
  }
  zyrMemory_free(interfaces, __func__);

  if (ZYR_TRACE_DEBUG(1))
    summaryToLog(map);
  return 1;
}

int zyrZoneMap_check(zyrZoneMap *map, Topology *topology) {
  zyrError *error = nullptr;
  vsnDomain **domains = nullptr;
  int32_t n = membersOf(map->m_domains, &domains);
  for (int32_t i = 0; i < n; ++i)
    vsnDomain_check(domains[i], topology, &error);
  zyrMemory_free(domains, __func__);
  vsnSubdomain **subdomains = nullptr;
  n = membersOf(map->m_subdomains, &subdomains);
  for (int32_t i = 0; i < n; ++i)
    vsnSubdomain_check(subdomains[i], topology, &error);
  zyrMemory_free(subdomains, __func__);
  vsnBoundary **boundaries = nullptr;
  n = membersOf(map->m_boundaries, &boundaries);
  for (int32_t i = 0; i < n; ++i)
    vsnBoundary_check(boundaries[i], topology, &error);
  zyrMemory_free(boundaries, __func__);
  vsnInterface **interfaces = nullptr;
  n = membersOf(map->m_interfaces, &interfaces);
  for (int32_t i = 0; i < n; ++i)
    vsnInterface_check(interfaces[i], topology, &error);
  zyrMemory_free(interfaces, __func__);
  if (error == nullptr)
    return 1;
  zyrError_publish(error);
  return 0;
}

int zyrZoneMap_resolve(zyrZoneMap *map, Topology *topology) {
  int status = 1;
  vsnDomain **domains = nullptr;
  int32_t n = membersOf(map->m_domains, &domains);
  for (int32_t i = 0; i < n && status == 1; ++i)
    status = vsnDomain_resolve(domains[i], topology);
  zyrMemory_free(domains, __func__);
  vsnSubdomain **subdomains = nullptr;
  n = membersOf(map->m_subdomains, &subdomains);
  for (int32_t i = 0; i < n && status == 1; ++i)
    status = vsnSubdomain_resolve(subdomains[i], topology);
  zyrMemory_free(subdomains, __func__);
  vsnBoundary **boundaries = nullptr;
  n = membersOf(map->m_boundaries, &boundaries);
  for (int32_t i = 0; i < n && status == 1; ++i)
    status = vsnBoundary_resolve(boundaries[i], topology);
  zyrMemory_free(boundaries, __func__);
  vsnInterface **interfaces = nullptr;
  n = membersOf(map->m_interfaces, &interfaces);
  for (int32_t i = 0; i < n && status == 1; ++i)
    status = vsnInterface_resolve(interfaces[i], topology);
  zyrMemory_free(interfaces, __func__);
  return status;
}

int32_t zyrZoneMap_getNoOfDomains(const zyrZoneMap *map) { return Set_getNoOfMembers(map->m_domains); }
int32_t zyrZoneMap_getNoOfSubdomains(const zyrZoneMap *map) { return Set_getNoOfMembers(map->m_subdomains); }
int32_t zyrZoneMap_getNoOfBoundaries(const zyrZoneMap *map) { return Set_getNoOfMembers(map->m_boundaries); }
int32_t zyrZoneMap_getNoOfInterfaces(const zyrZoneMap *map) { return Set_getNoOfMembers(map->m_interfaces); }

int32_t zyrZoneMap_getDomains(const zyrZoneMap *map, vsnDomain ***domains) {
  return membersOf(map->m_domains, domains);
}
int32_t zyrZoneMap_getSubdomains(const zyrZoneMap *map, vsnSubdomain ***subdomains) {
  return membersOf(map->m_subdomains, subdomains);
}
int32_t zyrZoneMap_getBoundaries(const zyrZoneMap *map, vsnBoundary ***boundaries) {
  return membersOf(map->m_boundaries, boundaries);
}
int32_t zyrZoneMap_getInterfaces(const zyrZoneMap *map, vsnInterface ***interfaces) {
  return membersOf(map->m_interfaces, interfaces);
}

char *zyrZoneMap_getSolutionUnits(const zyrZoneMap *map) { return zyrCString_clone(map->m_solutionUnits); }

void zyrZoneMap_print(zyrZoneMap *map, FILE *stream) {
  fprintf(stream, "\n%szyrZoneMap\n%s\n", kVsnRule, kVsnRule);
  if (map->m_solutionUnits != nullptr)
    fprintf(stream, "Solution units    = [%s]\n", map->m_solutionUnits);
  else
    fprintf(stream, "Solution units    = [UNKNOWN]\n");
  fprintf(stream, "\nNo. of domains    = %d\n", zyrZoneMap_getNoOfDomains(map));
  fprintf(stream, "No. of subdomains = %d\n", zyrZoneMap_getNoOfSubdomains(map));
  fprintf(stream, "No. of boundaries = %d\n", zyrZoneMap_getNoOfBoundaries(map));
  fprintf(stream, "No. of interface  = %d\n\n", zyrZoneMap_getNoOfInterfaces(map));
  vsnDomain **domains = nullptr;
  const int32_t noOfDomains = membersOf(map->m_domains, &domains);
  for (int32_t d = 0; d < noOfDomains; ++d) {
    fprintf(stream, "\nDOMAIN: \"%s\"\n", vsnRecord_name(vsnDomain_getName(domains[d])));
    vsnSubdomain **subdomains = nullptr;
    const int32_t noOfSubdomains = vsnDomain_getSubdomains(domains[d], &subdomains);
    for (int32_t s = 0; s < noOfSubdomains; ++s)
      fprintf(stream, "  SUBDOMAIN: \"%s\"\n", vsnRecord_name(vsnSubdomain_getName(subdomains[s])));
    zyrMemory_free(subdomains, __func__);
    vsnBoundary **boundaries = nullptr;
    const int32_t noOfBoundaries = vsnDomain_getBoundaries(domains[d], &boundaries);
    for (int32_t b = 0; b < noOfBoundaries; ++b)
      fprintf(stream, "  BOUNDARY: \"%s\"\n", vsnRecord_name(vsnBoundary_getName(boundaries[b])));
    zyrMemory_free(boundaries, __func__);
  }
  zyrMemory_free(domains, __func__);
  vsnInterface **interfaces = nullptr;
  const int32_t noOfInterfaces = membersOf(map->m_interfaces, &interfaces);
  for (int32_t i = 0; i < noOfInterfaces; ++i) {
    fprintf(stream, "\nINTERFACE: \"%s\"\n", vsnRecord_name(vsnInterface_getName(interfaces[i])));
    for (int side = 0; side < 2; ++side) {
      fprintf(stream, "  Side %d:\n", side);
      vsnBoundary **boundaries = nullptr;
      const int32_t n = vsnInterface_getBoundaries(interfaces[i], side, &boundaries);
      for (int32_t b = 0; b < n; ++b)
        fprintf(stream, "    BOUNDARY: \"%s\"\n", vsnRecord_name(vsnBoundary_getName(boundaries[b])));
      zyrMemory_free(boundaries, __func__);
    }
  }
  zyrMemory_free(interfaces, __func__);
  fprintf(stream, "\n%s", kVsnRule);
}

void zyrZoneMap_printSummary(const zyrZoneMap *map, FILE *stream) {
  vsnDomain **domains = nullptr;
  int32_t n = membersOf(map->m_domains, &domains);
  for (int32_t i = 0; i < n; ++i)
    fprintf(stream, "  DOMAIN %s [ZN]: %6d  %s\n", vsnDomain_isFluid(domains[i]) ? "(fluid)" : "       ", i + 1,
            vsnRecord_name(vsnDomain_getName(domains[i])));
  zyrMemory_free(domains, __func__);
  vsnSubdomain **subdomains = nullptr;
  n = membersOf(map->m_subdomains, &subdomains);
  for (int32_t i = 0; i < n; ++i)
    fprintf(stream, "  SUBDOMAIN      [VP]: %6d  %s\n", i + 1, vsnRecord_name(vsnSubdomain_getName(subdomains[i])));
  zyrMemory_free(subdomains, __func__);
  vsnBoundary **boundaries = nullptr;
  n = membersOf(map->m_boundaries, &boundaries);
  for (int32_t i = 0; i < n; ++i)
    fprintf(stream, "  BOUNDARY      [BCP]: %6d  %s\n", i + 1, vsnRecord_name(vsnBoundary_getName(boundaries[i])));
  zyrMemory_free(boundaries, __func__);
  vsnInterface **interfaces = nullptr;
  n = membersOf(map->m_interfaces, &interfaces);
  for (int32_t i = 0; i < n; ++i)
    fprintf(stream, "  INTERFACE     [ZIF]: %6d  %s\n", i + 1, vsnRecord_name(vsnInterface_getName(interfaces[i])));
  zyrMemory_free(interfaces, __func__);
}
