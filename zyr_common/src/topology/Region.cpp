#include "Region.h"

#include "zyrCString.h"

int64_t Region_getSize() { return static_cast<int64_t>(sizeof(Region)); }

int Region_restore(void *object, int32_t flag) {
  Region *region = static_cast<Region *>(object);
  zyrObject_getInt(region, flag, "dimensionality", &region->m_dimensionality);
  return zyrObject_getInt(region, flag, "id", &region->m_id);
}

int Region_delete(void *object) {
  Region *region = static_cast<Region *>(object);
  if (region->m_baseName != region->m_originalName)
    zyrCString_free(region->m_baseName);
  zyrCString_free(region->m_originalName);
  region->m_baseName = nullptr;
  region->m_originalName = nullptr;
  return zyrObject_delete(region);
}

void Region_setUserName(Region *region, char *name) { region->m_userName = name; }

void Region_setId(Region *region, int32_t id) {
  region->m_id = id;
  zyrObject_setInt(region, "id", id);
}

const char *Region_getUserName(const Region *region) { return region->m_userName; }
const char *Region_getBaseName(const Region *region) { return region->m_baseName; }
int32_t Region_getDimensionality(const Region *region) { return region->m_dimensionality; }
int32_t Region_getId(const Region *region) { return region->m_id; }
