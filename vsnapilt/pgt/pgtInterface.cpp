#include "pgtInterface.h"

#include "CoordFrame.h"
#include "pgtDomain.h"
#include "pgtHandle.h"
#include "pgtQuantity.h"
#include "vsnValue.h"

#include <cstdlib>
#include <cstring>

namespace {

const char kFlow[] = "/FLOW";
const char kInterface[] = "DOMAIN INTERFACE";

// The name of a handle for a message: the text after its last ':', or all of it.
const char* shownName(const char* handle) {
  const char* colon = strrchr(handle, ':');
  return colon && colon[1] ? colon + 1 : handle;
}

const char* boundaryName(const char* handle) {
  const char* colon = strrchr(handle, ':');
  return colon && colon[1] && !strchr(colon, '/') ? colon + 1 : nullptr;
}

void copyVector(const double from[3], double to[3]) {
  for (int i = 0; i < 3; ++i) to[i] = from[i];
}

int frameAxis(pgtHandle* h, const char* value, const char* units, double from[3], double to[3]) {
  char* frame = nullptr;
  int n = 0;
  if (!pgtSplitFrameAxis(h, value, &frame, &n)) {
    pgtSetError(h, PGT_E_DATA, "The \"Rotation Axis\", \"%s\", was not recognised.", value);
    return -1;
  }
  double f[3], t[3];
  int ok = pgtFrameAxisPoints(h, frame, n, units, f, t);
  free(frame);
  if (!ok) {
    pgtSetError(h, PGT_E_DATA, "Unable to convert the supplied axis into base coordinates.");
    return -1;
  }
  copyVector(f, from);
  copyVector(t, to);
  return 1;
}

} // namespace

int pgtNumInterfaces(pgtHandle* h) { return pgtCountChildren(h, __func__, kFlow, kInterface); }

char** pgtInterfaceHandles(pgtHandle* h) { return pgtGHHandles(h, __func__, kFlow, kInterface); }

void pgtFreeInterfaceHandles(pgtHandle*, char** handles) { pgtFreeHandleArray(handles); }

char* pgtInterfaceByName(pgtHandle* h, const char* name) {
  return pgtFindNamedObject(h, __func__, kFlow, kInterface, name);
}

void pgtFreeInterfaceHandle(pgtHandle*, char* handle) { pgtFreeOneHandle(handle); }

const char* pgtInterfaceName(pgtHandle* h, const char* iface) { return pgtHandleName(h, __func__, iface); }

int pgtInterfaceType(pgtHandle* h, const char* iface) {
  if (!h) return -1;
  if (!iface) {
    pgtSetError(h, PGT_E_HANDLE, "%s: bad handle", __func__);
    return -1;
  }
  char* connection = pgtJoin(h, __func__, iface, "/MESH CONNECTION");
  if (!connection) return -1;
  const char* option = pgtGetParameter(h, __func__, connection, "Option");
  free(connection);
  if (!option || strcmp(option, "Automatic") == 0) return PGT_CONNECTION_AUTOMATIC;
  if (strcmp(option, "GGI") == 0) return PGT_CONNECTION_GGI;
  if (strcmp(option, "Direct") == 0) return PGT_CONNECTION_DIRECT;
  return -1;
}

char** pgtInterfaceBoundaryList1(pgtHandle* h, const char* iface) {
  return pgtInterfaceBoundaryListgen(h, iface, "Boundary List1");
}

char** pgtInterfaceBoundaryList2(pgtHandle* h, const char* iface) {
  return pgtInterfaceBoundaryListgen(h, iface, "Boundary List2");
}

char** pgtInterfaceBoundaryListgen(pgtHandle* h, const char* iface, const char* parameter) {
  if (!h) return nullptr;
  char** names = nullptr;
  int count = 0;
  if (!pgtGetParameterList(h, __func__, iface, parameter, &names, &count)) return nullptr;
  if (count <= 0) {
    freeStringList(names, count);
    return nullptr;
  }
  char** all = pgtBoundaryHandles(h);
  char** result = all ? static_cast<char**>(pgtAlloc(h, (static_cast<size_t>(count) + 1) * sizeof(char*), __func__))
                      : nullptr;
  int made = 0;
  bool ok = result != nullptr;
  for (int i = 0; ok && i < count; ++i) {
    const char* match = nullptr;
    for (char** b = all; *b && !match; ++b) {
      const char* name = boundaryName(*b);
      if (name && strcmp(name, names[i]) == 0) match = *b;
    }
    if (!match) {
      pgtSetError(h, PGT_E_DATA, "Boundary %s for interface %s could not be found", names[i], shownName(iface));
      ok = false;
      break;
    }
    result[made] = strdup(match);
    if (!result[made]) {
      pgtSetError(h, PGT_E_MEMORY, "memory allocation error in pgtInterfaceBoundaryListgen");
      ok = false;
      break;
    }
    ++made;
  }
  freeStringList(names, count);
  pgtFreeHandleArray(all);
  if (!ok) {
    for (int i = 0; i < made; ++i) free(result[i]);
    free(result);
    return nullptr;
  }
  result[made] = nullptr;
  return result;
}

int pgtInterfacePeriodicity(pgtHandle* h, const char* iface) {
  if (!h) return -1;
  if (!iface) {
    pgtSetError(h, PGT_E_HANDLE, "%s: bad handle", __func__);
    return -1;
  }
  if (!pgtGetParameter(h, __func__, iface, "Interface Type")) return PGT_PERIODIC_NONE;
  char* models = pgtJoin(h, __func__, iface, "/INTERFACE MODELS");
  if (!models) return -1;
  const char* option = pgtGetParameter(h, __func__, models, "Option");
  free(models);
  if (!option || strcmp(option, "Translational Periodicity") == 0) return PGT_PERIODIC_TRANSLATIONAL;
  if (strcmp(option, "Rotational Periodicity") == 0) return PGT_PERIODIC_ROTATIONAL;
  if (strcmp(option, "General") == 0) return PGT_PERIODIC_NONE;
  pgtSetError(h, PGT_E_DATA, "The \"Periodic Type\" of the interface, \"%s\", was not recognised.", option);
  return -1;
}

int pgtInterfaceAxis(pgtHandle* h, const char* iface, const char* units, double from[3], double to[3]) {
  if (!h || !from || !to) return -1;
  if (!iface) {
    pgtSetError(h, PGT_E_HANDLE, "%s: bad handle", __func__);
    return -1;
  }
  if (!units) units = "m";
  char* axis = pgtJoin(h, __func__, iface, "/INTERFACE MODELS/AXIS DEFINITION");
  if (!axis) return -1;
  int result = 0;
  const char* given = pgtGetParameter(h, __func__, axis, "Rotation Axis");
  if (given) {
    char* value = cloneString(h, given);
    result = value ? frameAxis(h, value, units, from, to) : -1;
    free(value);
    free(axis);
    return result;
  }
  // The first value is copied: reading the second replaces it.
  char* first = cloneString(h, pgtGetParameter(h, __func__, axis, "Rotation Axis From"));
  const char* second = pgtGetParameter(h, __func__, axis, "Rotation Axis To");
  free(axis);
  double f[3], t[3];
  if (first && second) {
    if (!pgtReadVector(h, first, units, f)) {
      pgtSetError(h, PGT_E_DATA, "Problem parsing \"Rotation Axis From\", \"%s\".", first);
      result = -1;
    } else if (!pgtReadVector(h, second, units, t)) {
      pgtSetError(h, PGT_E_DATA, "Problem parsing \"Rotation Axis To\", \"%s\".", second);
      result = -1;
    } else {
      copyVector(f, from);
      copyVector(t, to);
      result = 1;
    }
  } else if (first) {
    pgtSetError(h, PGT_E_DATA, "\"Rotation Axis From\" was set but \"Rotation Axis To\" was not.");
    result = -1;
  } else if (second) {
    pgtSetError(h, PGT_E_DATA, "\"Rotation Axis To\" was set but \"Rotation Axis From\" was not.");
    result = -1;
  }
  free(first);
  return result;
}
