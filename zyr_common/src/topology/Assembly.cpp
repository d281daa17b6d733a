#include "Assembly.h"

#include "vsnNameEncoding.h"
#include "zyrCString.h"

#include <cctype>
#include <cstring>

int64_t Assembly_getSize() { return static_cast<int64_t>(sizeof(Assembly)); }

int Assembly_restore(void *object, int32_t flag) {
  Assembly *assembly = static_cast<Assembly *>(object);
  return zyrObject_getInt(assembly, flag, "id", &assembly->m_id);
}

int Assembly_delete(void *object) {
  Assembly *assembly = static_cast<Assembly *>(object);
  zyrCString_free(assembly->m_baseName);
  assembly->m_baseName = nullptr;
  return zyrObject_delete(assembly);
}

void Assembly_setUniqueName(Assembly *assembly, char *name) {
  assembly->m_userName = name;
  zyrCString_free(assembly->m_baseName);
  assembly->m_baseName = name != nullptr ? vsnUnencodeName(name) : nullptr;
  char *base = assembly->m_baseName;
  if (base == nullptr)
    return;
  // Cut at the leftmost blank of the trailing run of digits and blanks ("Rotor 2" -> "Rotor").
  size_t cut = std::strlen(base);
  for (size_t i = std::strlen(base); i > 0; --i) {
    unsigned char c = static_cast<unsigned char>(base[i - 1]);
    if (std::isspace(c))
      cut = i - 1;
    else if (!std::isdigit(c))
      break;
  }
  base[cut] = '\0';
}

void Assembly_setId(Assembly *assembly, int32_t id) {
  assembly->m_id = id;
  zyrObject_setInt(assembly, "id", id);
}

const char *Assembly_getName(const Assembly *assembly) { return assembly->m_userName; }
int32_t Assembly_getId(const Assembly *assembly) { return assembly->m_id; }
const char *Assembly_getBaseName(const Assembly *assembly) { return assembly->m_baseName; }
