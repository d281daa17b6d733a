#include "pgtDomain.h"

#include "CoordFrame.h"
#include "pgtHandle.h"
#include "pgtQuantity.h"
#include "vsnHandle.h"
#include "vsnValue.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

const char kFlow[] = "/FLOW";
const char kDomain[] = "DOMAIN";
const char kSubdomain[] = "SUBDOMAIN";
const char kBoundary[] = "BOUNDARY";

// Motion parameters are read from the domain's DOMAIN MODELS/DOMAIN MOTION, and axis parameters
// not found there from its AXIS DEFINITION, where the axis type is called "Option". The motion's
// own "Option" is never taken from the axis definition, whose "Option" means something else.
const char* motionParameter(pgtHandle* h, const char* caller, const char* domain, const char* parameter,
                            const char* fallback) {
  char* models = pgtFindSingleton(h, caller, domain, "DOMAIN MODELS");
  if (!models) return fallback;
  char* motion = pgtFindSingleton(h, caller, models, "DOMAIN MOTION");
  free(models);
  if (!motion) return fallback;
  const char* value = pgtGetParameter(h, caller, motion, parameter);
  if (!value && strcmp(parameter, "Option") != 0) {
    char* axis = pgtFindSingleton(h, caller, motion, "AXIS DEFINITION");
    if (axis) {
      value = pgtGetParameter(h, caller, axis, strcmp(parameter, "Axis Type") == 0 ? "Option" : parameter);
      free(axis);
    }
  }
  free(motion);
  return value ? value : fallback;
}

// The handles of every child of one type of every domain, domain by domain.
char** allChildren(pgtHandle* h, const char* caller, const char* type) {
  char** domains = pgtGHHandles(h, caller, kFlow, kDomain);
  if (!domains) return nullptr;
  size_t count = 0, capacity = 8;
  char** all = static_cast<char**>(pgtAlloc(h, capacity * sizeof(char*), caller));
  bool ok = all != nullptr;
  for (char** d = domains; ok && *d; ++d) {
    char** some = pgtGHHandles(h, caller, *d, type);
    if (!some) {
      ok = false;
      break;
    }
    size_t n = 0;
    while (some[n]) ++n;
    if (count + n + 1 > capacity) {
      size_t wanted = 2 * (count + n + 1);
      char** grown = static_cast<char**>(realloc(all, wanted * sizeof(char*)));
      if (!grown) {
        pgtSetError(h, PGT_E_MEMORY, "Unable to allocate %d bytes in %s", static_cast<int>(wanted * sizeof(char*)),
                    caller);
        pgtFreeHandleArray(some);
        ok = false;
        break;
      }
      all = grown;
      capacity = wanted;
    }
    memcpy(all + count, some, n * sizeof(char*));  // the strings move over
    count += n;
    free(some);
  }
  pgtFreeHandleArray(domains);
  if (!ok) {
    for (size_t i = 0; all && i < count; ++i) free(all[i]);
    free(all);
    return nullptr;
  }
  all[count] = nullptr;
  return all;
}

int totalChildren(pgtHandle* h, const char* caller, const char* type) {
  char** domains = pgtGHHandles(h, caller, kFlow, kDomain);
  if (!domains) return -1;
  long total = 0;
  for (char** d = domains; *d; ++d) {
    int n = pgtCountChildren(h, caller, *d, type);
    if (n < 0) {
      total = -1;
      break;
    }
    total += n;
  }
  pgtFreeHandleArray(domains);
  return total > 0x7fffffffL ? -1 : static_cast<int>(total);
}

const char* kept(pgtHandle* h, const char* value, const char* fallback) {
  (void)h;
  return value ? value : fallback;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

void copyVector(const double from[3], double to[3]) {
  for (int i = 0; i < 3; ++i) to[i] = from[i];
}

const char* coordinateAxis(pgtHandle* h, const char* domain, double point[3], double direction[3]) {
  const char* text = motionParameter(h, "pgtDomainRotationAxis", domain, "Rotation Axis", "Coord 0.1");
  char* value = cloneString(h, text);
  if (!value) return nullptr;
  char* frame = nullptr;
  int n = 0;
  const char* result = nullptr;
  double from[3], to[3];
  if (!pgtSplitFrameAxis(h, value, &frame, &n)) {
    pgtSetError(h, PGT_E_DATA, "The \"Rotation Axis\", \"%s\", was not recognised.", value);
  } else if (pgtFrameAxisPoints(h, frame, n, "m", from, to)) {
    copyVector(from, point);
    for (int i = 0; i < 3; ++i) direction[i] = to[i] - from[i];
    result = "m";
  }
  free(frame);
  free(value);
  return result;
}

const char* twoPointAxis(pgtHandle* h, const char* domain, double point[3], double direction[3]) {
  static const char* const kNames[2] = {"Rotation Axis From", "Rotation Axis To"};
  static const char* const kDefaults[2] = {"0 [m], 0 [m], 0[m]", "0 [m], 0 [m], 1[m]"};
  double p[2][3];
  for (int k = 0; k < 2; ++k) {
    const char* text = motionParameter(h, "pgtDomainRotationAxis", domain, kNames[k], kDefaults[k]);
    if (!pgtReadVector(h, text, "m", p[k])) {
      pgtSetError(h, PGT_E_DATA, "Problem parsing \"%s\", \"%s\".", kNames[k], text);
      return nullptr;
    }
  }
  double d[3];
  for (int i = 0; i < 3; ++i) d[i] = p[1][i] - p[0][i];
  if (!pgtNormalise(h, d)) {
    pgtSetError(h, PGT_E_DATA, "The rotation axis of the domain has zero length.");
    return nullptr;
  }
  copyVector(p[0], point);
  copyVector(d, direction);
  return "m";
}

} // namespace

int pgtNumDomains(pgtHandle* h) { return pgtCountChildren(h, __func__, kFlow, kDomain); }

char** pgtDomainHandles(pgtHandle* h) { return pgtGHHandles(h, __func__, kFlow, kDomain); }

char* pgtDomainByName(pgtHandle* h, const char* name) { return pgtFindNamedObject(h, __func__, kFlow, kDomain, name); }

const char* pgtDomainName(pgtHandle* h, const char* domain) { return pgtHandleName(h, __func__, domain); }

const char* pgtDomainLocation(pgtHandle* h, const char* domain) {
  return pgtGetParameter(h, __func__, domain, "Location");
}

const char* pgtDomainType(pgtHandle* h, const char* domain) {
  return kept(h, pgtGetParameter(h, __func__, domain, "Domain Type"), "Fluid");
}

int pgtDomainNumberOfPassages(pgtHandle* h, const char* domain, int inComponent) {
  const char* parameter = inComponent ? "Number of Passages in Component" : "Number of Passages in 360";
  const char* value = pgtGetParameter(h, __func__, domain, parameter);
  return value ? vsnReadInteger(value) : -1;
}

const char* pgtDomainMotion(pgtHandle* h, const char* domain) {
  if (!h) return nullptr;
  return motionParameter(h, __func__, domain, "Option", "Stationary");
}

double pgtDomainRotationVelocity(pgtHandle* h, const char* domain) {
  if (!h) return NAN;
  const char* text = motionParameter(h, __func__, domain, "Angular Velocity", "0 [radian s^-1]");
  double value = 0;
  if (!pgtReadQuantity(h, text, "radian s^-1", &value)) {
    // A rotating domain must not pass for a stationary one.
    pgtSetError(h, PGT_E_DATA, "The \"Angular Velocity\", \"%s\", cannot be read in radian s^-1.", text);
    return NAN;
  }
  return value;
}

const char* pgtDomainRotationAxis(pgtHandle* h, const char* domain, double point[3], double second[3],
                                  double direction[3]) {
  if (!h || !point || !second || !direction) return nullptr;
  char* type = cloneString(h, motionParameter(h, __func__, domain, "Axis Type", "Coordinate Axis"));
  if (!type) return nullptr;
  double p[3] = {0, 0, 0}, d[3] = {0, 0, 0};
  const char* result = nullptr;
  if (strcmp(type, "Coordinate Axis") == 0) {
    result = coordinateAxis(h, domain, p, d);
  } else if (strcmp(type, "Two Points") == 0) {
    result = twoPointAxis(h, domain, p, d);
  } else {
    pgtSetError(h, PGT_E_DATA, "The \"Axis Type\", \"%s\", was not recognised.", type);
  }
  free(type);
  if (result) {
    copyVector(p, point);
    copyVector(d, direction);
    for (int i = 0; i < 3; ++i) second[i] = 0;
  }
  return result;
}

int pgtDomainNumSubdomains(pgtHandle* h, const char* domain) {
  return pgtCountChildren(h, __func__, domain, kSubdomain);
}

char** pgtDomainSubdomains(pgtHandle* h, const char* domain) { return pgtGHHandles(h, __func__, domain, kSubdomain); }

int pgtDomainNumBoundaries(pgtHandle* h, const char* domain) { return pgtCountChildren(h, __func__, domain, kBoundary); }

char** pgtDomainBoundaries(pgtHandle* h, const char* domain) { return pgtGHHandles(h, __func__, domain, kBoundary); }

int pgtNumSubdomains(pgtHandle* h) { return totalChildren(h, __func__, kSubdomain); }

int pgtNumBoundaries(pgtHandle* h) { return totalChildren(h, __func__, kBoundary); }

char** pgtSubdomainHandles(pgtHandle* h) { return allChildren(h, __func__, kSubdomain); }

char** pgtBoundaryHandles(pgtHandle* h) { return allChildren(h, __func__, kBoundary); }

const char* pgtSubdomainName(pgtHandle* h, const char* subdomain) { return pgtHandleName(h, __func__, subdomain); }

const char* pgtBoundaryName(pgtHandle* h, const char* boundary) { return pgtHandleName(h, __func__, boundary); }

const char* pgtSubdomainLocation(pgtHandle* h, const char* subdomain) {
  return pgtGetParameter(h, __func__, subdomain, "Location");
}

const char* pgtBoundaryLocation(pgtHandle* h, const char* boundary) {
  return pgtGetParameter(h, __func__, boundary, "Location");
}

const char* pgtBoundaryType(pgtHandle* h, const char* boundary) {
  return pgtGetParameter(h, __func__, boundary, "Boundary Type");
}

char* pgtSubdomainParent(pgtHandle* h, const char* subdomain) { return pgtHandleParent(h, __func__, subdomain); }

char* pgtBoundaryParent(pgtHandle* h, const char* boundary) { return pgtHandleParent(h, __func__, boundary); }

const char* pgtSolverLengthUnits(pgtHandle* h) {
  if (!h) return nullptr;
  if (h->m_lengthUnits) return h->m_lengthUnits;
  char* value = nullptr;
  const char* err = getStringValue(h->m_vsn, "/FLOW/SOLUTION UNITS/Length Units", &value);
  if (!err && !value) err = "not a parameter";
  if (err) {
    pgtSetError(h, PGT_E_VSN, "pgtSolverLengthUnits: unable to retrieve solution unit information: %s", err);
    return nullptr;
  }
  const char* start = value;
  while (*start == '[' || isBlank(*start)) ++start;
  size_t length = strlen(start);
  while (length > 0 && (start[length - 1] == ']' || isBlank(start[length - 1]))) --length;
  char* units = static_cast<char*>(pgtAlloc(h, length + 1, __func__));
  if (units) {
    memcpy(units, start, length);
    units[length] = '\0';
  }
  freeVSNString(value);
  h->m_lengthUnits = units;
  return units;
}

void pgtFreeDomainHandles(pgtHandle*, char** handles) { pgtFreeHandleArray(handles); }
void pgtFreeSubdomainHandles(pgtHandle*, char** handles) { pgtFreeHandleArray(handles); }
void pgtFreeBoundaryHandles(pgtHandle*, char** handles) { pgtFreeHandleArray(handles); }
void pgtFreeDomainHandle(pgtHandle*, char* handle) { pgtFreeOneHandle(handle); }
void pgtFreeSubdomainHandle(pgtHandle*, char* handle) { pgtFreeOneHandle(handle); }
void pgtFreeBoundaryHandle(pgtHandle*, char* handle) { pgtFreeOneHandle(handle); }
