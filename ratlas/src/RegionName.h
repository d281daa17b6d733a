// The name check that every region-atlas operation taking a name text runs first.
#ifndef REGION_NAME_H
#define REGION_NAME_H

#include "RegionStatus.h"

// 1 when the name is missing, empty or only white space (and *status is then the 300000 error),
// else 0 with *status the success status. status may be NULL.
int RegionName_isBlank(const char* name, RegionStatus** status);

#endif
