#ifndef ZYR_DATABASE_STAGING_H
#define ZYR_DATABASE_STAGING_H
// For tests only: what the staging of a handle's buffer readers (Database_getIntArray and the
// others) has cost. A buffer reader reads a version into storage of the handle's own before handing
// it over; that storage is the version's size, whatever buffer the caller gives.
#include <cstdint>

struct Database;

// The largest staging, in bytes, that the handle's buffer readers have had since its open.
int64_t Database_largestStaging(const Database *database);

#endif
