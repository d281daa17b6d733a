// Domain interfaces: the DOMAIN INTERFACE objects under /FLOW, their connection type, the
// boundaries on each side, their periodicity and rotation axis (see pgtHandle.h for handles,
// strings and errors).
#ifndef PGT_INTERFACE_H
#define PGT_INTERFACE_H

struct pgtHandle;

enum pgtConnectionType { PGT_CONNECTION_DIRECT = 0, PGT_CONNECTION_AUTOMATIC = 1, PGT_CONNECTION_GGI = 2 };
enum pgtPeriodicity { PGT_PERIODIC_NONE = 0, PGT_PERIODIC_ROTATIONAL = 1, PGT_PERIODIC_TRANSLATIONAL = 2 };

int pgtNumInterfaces(pgtHandle* h);
char** pgtInterfaceHandles(pgtHandle* h);
void pgtFreeInterfaceHandles(pgtHandle* h, char** handles);
char* pgtInterfaceByName(pgtHandle* h, const char* name);
void pgtFreeInterfaceHandle(pgtHandle* h, char* handle);
const char* pgtInterfaceName(pgtHandle* h, const char* iface);

// The "Option" of its MESH CONNECTION: 0 "Direct", 1 "Automatic" or none given, 2 "GGI"; -1 for
// anything else.
int pgtInterfaceType(pgtHandle* h, const char* iface);

// The boundaries named by "Boundary List1" or "Boundary List2", each the first of that name in the
// listing of all boundaries (domain by domain); released with pgtFreeBoundaryHandles. NULL on
// failure: error 2 "Boundary %s for interface %s could not be found" for a name no domain has.
char** pgtInterfaceBoundaryList1(pgtHandle* h, const char* iface);
char** pgtInterfaceBoundaryList2(pgtHandle* h, const char* iface);
char** pgtInterfaceBoundaryListgen(pgtHandle* h, const char* iface, const char* parameter);

// 0 without "Interface Type"; else by the "Option" of INTERFACE MODELS: 2 translational (also when
// none is given), 1 rotational, 0 general; -1 with error 2 for anything else.
int pgtInterfacePeriodicity(pgtHandle* h, const char* iface);

// The rotation axis from INTERFACE MODELS/AXIS DEFINITION, as two points in units: 1 when given
// (a frame axis "<frame>.<n>", or "Rotation Axis From" and "Rotation Axis To"), 0 when not, -1
// with error 2 when it cannot be read.
int pgtInterfaceAxis(pgtHandle* h, const char* iface, const char* units, double from[3], double to[3]);

#endif
