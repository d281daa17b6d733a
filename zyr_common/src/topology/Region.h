#ifndef ZYR_REGION_H
#define ZYR_REGION_H
// A primitive region of a topology ("Region", type id 14): a point, curve, surface or volume.
// Its managed name belongs to the topology's NameManager. So far only the naming fields are here.
#include "zyrObject.h"

#include <cstdint>

struct Region {
  zyrObject m_object;
  char *m_originalName;     // owned
  char *m_baseName;         // none, the very string m_originalName, or an own copy
  char *m_userName;         // the managed name, owned by the NameManager
  int32_t m_dimensionality; // 0 to 3
  int32_t m_id;             // given by the NameManager
};

int64_t Region_getSize();
int Region_restore(void *region, int32_t flag);
int Region_delete(void *region);

void Region_setUserName(Region *region, char *name);
void Region_setId(Region *region, int32_t id);
const char *Region_getUserName(const Region *region);
const char *Region_getBaseName(const Region *region);
int32_t Region_getDimensionality(const Region *region);
int32_t Region_getId(const Region *region);

#endif
