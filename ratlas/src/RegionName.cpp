#include "RegionName.h"

#include <cctype>

int RegionName_scanBlank(const char* name, RegionStatus** status) {
  RegionStatus_set(status, 0, 0, nullptr);
  if (name) {
    for (const char* p = name; *p; ++p) {
      if (!isspace(static_cast<unsigned char>(*p))) return 0;
    }
  }
  RegionStatus* s = RegionStatus_fail(RS_BLANK_NAME, "Invalid name - cannot be blank.");
  if (status) *status = s;
  return 1;
}
