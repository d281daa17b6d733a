// Arbitrary text loaded into a physics reader (twice, so that frames are rebuilt over a grown
// tree), then every query on every object it defines, every line read as a quantity, a point and
// a frame axis, and the queries on handles that do not exist.
#include "pgtapi.h"
#include "zyrTestSupport.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char* const kUnits[] = {"m", "mm", "deg", "radian s^-1", nullptr};

void check(bool ok) {
  if (!ok) abort();
}

void checkError(pgtHandle* h) {
  const char* text = nullptr;
  int code = pgtGetError(h, &text);
  check(text != nullptr && code >= 0 && code <= 7 && code != 5);
}

void domainQueries(pgtHandle* h, const char* d) {
  pgtDomainName(h, d);
  pgtDomainLocation(h, d);
  check(pgtDomainType(h, d) != nullptr);
  pgtDomainNumberOfPassages(h, d, 0);
  pgtDomainNumberOfPassages(h, d, 1);
  check(pgtDomainMotion(h, d) != nullptr);
  pgtDomainRotationVelocity(h, d);
  double p[3], s[3], dir[3];
  pgtDomainRotationAxis(h, d, p, s, dir);
  const char* name = pgtDomainName(h, d);
  if (name) {
    char* again = pgtDomainByName(h, name);
    pgtFreeDomainHandle(h, again);
  }
  int ns = pgtDomainNumSubdomains(h, d);
  char** subs = pgtDomainSubdomains(h, d);
  if (subs) {
    int k = 0;
    for (char** q = subs; *q; ++q, ++k) {
      pgtSubdomainName(h, *q);
      pgtSubdomainLocation(h, *q);
      char* parent = pgtSubdomainParent(h, *q);
      pgtFreeDomainHandle(h, parent);
    }
    check(k == ns);
  }
  pgtFreeSubdomainHandles(h, subs);
  int nb = pgtDomainNumBoundaries(h, d);
  char** bounds = pgtDomainBoundaries(h, d);
  if (bounds) {
    int k = 0;
    for (char** q = bounds; *q; ++q, ++k) {
      pgtBoundaryName(h, *q);
      pgtBoundaryLocation(h, *q);
      pgtBoundaryType(h, *q);
      char* parent = pgtBoundaryParent(h, *q);
      pgtFreeDomainHandle(h, parent);
    }
    check(k == nb);
  }
  pgtFreeBoundaryHandles(h, bounds);
}

void interfaceQueries(pgtHandle* h, const char* i) {
  const char* name = pgtInterfaceName(h, i);
  if (name) {
    char* again = pgtInterfaceByName(h, name);
    pgtFreeInterfaceHandle(h, again);
  }
  int type = pgtInterfaceType(h, i);
  check(type >= -1 && type <= 2);
  pgtFreeBoundaryHandles(h, pgtInterfaceBoundaryList1(h, i));
  pgtFreeBoundaryHandles(h, pgtInterfaceBoundaryList2(h, i));
  int periodic = pgtInterfacePeriodicity(h, i);
  check(periodic >= -1 && periodic <= 2);
  for (const char* u : kUnits) {  // NULL units included
    double from[3], to[3];
    int r = pgtInterfaceAxis(h, i, u, from, to);
    check(r >= -1 && r <= 1);
  }
}

void frameQueries(pgtHandle* h, const char* f) {
  const char* name = pgtCoordFrameName(h, f);
  std::string kept = name ? name : "";
  if (name) {
    char* again = pgtCoordFrameByName(h, kept.c_str());
    pgtFreeCoordFrameHandle(h, again);
  }
  double axes[3][3], origin[3];
  pgtCoordFrameTransform(h, f, "m", axes, origin, 0);
  pgtCoordFrameTransform(h, f, "m", axes, origin, 1);
  const double local[3] = {1, 0.5, 2};
  double out[3];
  pgtFrameToBase(h, kept.c_str(), local, "m", out);
  for (int n = 0; n <= 4; ++n) {
    double a[3], b[3];
    pgtFrameAxisPoints(h, kept.c_str(), n, "mm", a, b);
  }
}

void allQueries(pgtHandle* h) {
  int nd = pgtNumDomains(h);
  char** domains = pgtDomainHandles(h);
  if (domains) {
    int k = 0;
    for (char** d = domains; *d; ++d, ++k) domainQueries(h, *d);
    check(k == nd);
  }
  pgtFreeDomainHandles(h, domains);

  int ns = pgtNumSubdomains(h);
  char** subs = pgtSubdomainHandles(h);
  if (subs) {
    int k = 0;
    for (char** q = subs; *q; ++q) ++k;
    check(k == ns);
  }
  pgtFreeSubdomainHandles(h, subs);
  int nb = pgtNumBoundaries(h);
  char** bounds = pgtBoundaryHandles(h);
  if (bounds) {
    int k = 0;
    for (char** q = bounds; *q; ++q) ++k;
    check(k == nb);
  }
  pgtFreeBoundaryHandles(h, bounds);

  int ni = pgtNumInterfaces(h);
  char** ifaces = pgtInterfaceHandles(h);
  if (ifaces) {
    int k = 0;
    for (char** i = ifaces; *i; ++i, ++k) interfaceQueries(h, *i);
    check(k == ni);
  }
  pgtFreeInterfaceHandles(h, ifaces);

  char** frames = pgtCoordFrameHandles(h);
  for (char** f = frames; f && *f; ++f) frameQueries(h, *f);
  pgtFreeCoordFrameHandles(h, frames);
  frameQueries(h, "Coord 0");

  pgtSolverLengthUnits(h);
  // Handles that name nothing, or something else.
  static const char* const kOdd[] = {"/FLOW", "/", "", ":", "/FLOW/DOMAIN:", "/FLOW/DOMAIN:x/..",
                                     "/FLOW/DOMAIN INTERFACE:x/../../FLOW/DOMAIN:y"};
  for (const char* odd : kOdd) {
    domainQueries(h, odd);
    interfaceQueries(h, odd);
  }
  checkError(h);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 16384) return 0;
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') {
      lines.emplace_back();
    } else {
      lines.back() += static_cast<char>(data[i]);
    }
  }
  std::vector<const char*> pointers;
  for (const std::string& l : lines) pointers.push_back(l.c_str());
  pointers.push_back(nullptr);

  pgtHandle* h = pgtNew();
  check(h != nullptr);
  pgtLoadVSN(h, pointers.data(), -1);
  allQueries(h);
  pgtLoadVSN(h, pointers.data(), static_cast<int>(lines.size()));
  allQueries(h);

  // Every line as a value of its own.
  for (const std::string& l : lines) {
    double v, p[3];
    for (const char* const* u = kUnits; *u; ++u) {
      pgtReadQuantity(h, l.c_str(), *u, &v);
      pgtReadVector(h, l.c_str(), *u, p);
    }
    char* name = nullptr;
    int n = 0;
    if (pgtSplitFrameAxis(h, l.c_str(), &name, &n)) check(n >= 1 && n <= 3 && name && *name);
    free(name);
    pgtReadPoint(h, "/FLOW", l.c_str(), "m", p);
  }
  pgtHandle_print(h, zyrtest::fuzzSink());
  check(pgtDelete(h) == 0);
  return 0;
}
