// The name check that every region-atlas operation taking a name text runs first.
#ifndef REGION_NAME_H
#define REGION_NAME_H

#include "RegionStatus.h"

// The whole check, for names that do not start with a visible ASCII character.
int RegionName_scanBlank(const char* name, RegionStatus** status);

// 1 when the name is missing, empty or only white space (and *status is then the 300000 error),
// else 0 with *status the success status. status may be NULL.
// Inline: it runs for every name of every call, and a first character from '!' to '~' (white
// space in no locale) settles almost all of them without the scan.
inline int RegionName_isBlank(const char* name, RegionStatus** status) {
  if (!name || static_cast<unsigned char>(*name - 0x21) >= 0x5E) return RegionName_scanBlank(name, status);
  if (status) *status = RegionStatus_success();
  return 0;
}

#endif
