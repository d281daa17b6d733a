// Domains, their subdomains and boundaries, a domain's motion, and the solver's length units, as
// the physics text gives them (see pgtHandle.h for handles, strings and errors).
#ifndef PGT_DOMAIN_H
#define PGT_DOMAIN_H

struct pgtHandle;

int pgtNumDomains(pgtHandle* h);
char** pgtDomainHandles(pgtHandle* h);
char* pgtDomainByName(pgtHandle* h, const char* name);
const char* pgtDomainName(pgtHandle* h, const char* domain);
const char* pgtDomainLocation(pgtHandle* h, const char* domain);
// "Domain Type"; "Fluid" when not given.
const char* pgtDomainType(pgtHandle* h, const char* domain);
// "Number of Passages in Component" when inComponent is set, else "Number of Passages in 360";
// -1 when not given.
int pgtDomainNumberOfPassages(pgtHandle* h, const char* domain, int inComponent);
// The "Option" of the domain's motion; "Stationary" when not given.
const char* pgtDomainMotion(pgtHandle* h, const char* domain);
// The "Angular Velocity" of the motion in radian s^-1 (0 when not given); NaN, with error 2, when
// it cannot be read or converted.
double pgtDomainRotationVelocity(pgtHandle* h, const char* domain);
// The rotation axis of the motion: a point on it, a second vector (zero) and its unit direction,
// in metres. Returns "m", or NULL with an error recorded when the axis cannot be made.
const char* pgtDomainRotationAxis(pgtHandle* h, const char* domain, double point[3], double second[3],
                                  double direction[3]);

int pgtDomainNumSubdomains(pgtHandle* h, const char* domain);
char** pgtDomainSubdomains(pgtHandle* h, const char* domain);
int pgtDomainNumBoundaries(pgtHandle* h, const char* domain);
char** pgtDomainBoundaries(pgtHandle* h, const char* domain);

// Totals over all domains (-1 when the domains cannot be listed) and the handles of all of them,
// domain by domain in domain order.
int pgtNumSubdomains(pgtHandle* h);
int pgtNumBoundaries(pgtHandle* h);
char** pgtSubdomainHandles(pgtHandle* h);
char** pgtBoundaryHandles(pgtHandle* h);

const char* pgtSubdomainName(pgtHandle* h, const char* subdomain);
const char* pgtBoundaryName(pgtHandle* h, const char* boundary);
const char* pgtSubdomainLocation(pgtHandle* h, const char* subdomain);
const char* pgtBoundaryLocation(pgtHandle* h, const char* boundary);
const char* pgtBoundaryType(pgtHandle* h, const char* boundary);
// The domain handle of a subdomain or boundary, a new string.
char* pgtSubdomainParent(pgtHandle* h, const char* subdomain);
char* pgtBoundaryParent(pgtHandle* h, const char* boundary);

// "/FLOW/SOLUTION UNITS/Length Units" without brackets and blanks ("[ mm ]" gives "mm"); NULL with
// error 1 when not given. Read once per load.
const char* pgtSolverLengthUnits(pgtHandle* h);

void pgtFreeDomainHandles(pgtHandle* h, char** handles);
void pgtFreeSubdomainHandles(pgtHandle* h, char** handles);
void pgtFreeBoundaryHandles(pgtHandle* h, char** handles);
void pgtFreeDomainHandle(pgtHandle* h, char* handle);
void pgtFreeSubdomainHandle(pgtHandle* h, char* handle);
void pgtFreeBoundaryHandle(pgtHandle* h, char* handle);

#endif
