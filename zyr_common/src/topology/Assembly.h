#ifndef ZYR_ASSEMBLY_H
#define ZYR_ASSEMBLY_H
// A connected group of regions of a topology ("Assembly", type id 2). Its managed name belongs
// to the topology's NameManager; the assembly keeps a base name from which that name is made.
// So far only the naming fields are here.
#include "zyrObject.h"

#include <cstdint>

struct Assembly {
  zyrObject m_object;
  char *m_userName; // the managed name, owned by the NameManager
  int32_t m_id;     // given by the NameManager
  char *m_baseName; // owned; none means the default assembly name
};

int64_t Assembly_getSize();
int Assembly_restore(void *assembly, int32_t flag);
int Assembly_delete(void *assembly);

// Sets the managed name and derives the base name from it: decoded, with a trailing
// " <number>" cut off.
void Assembly_setUniqueName(Assembly *assembly, char *name);
void Assembly_setId(Assembly *assembly, int32_t id);
const char *Assembly_getName(const Assembly *assembly);
int32_t Assembly_getId(const Assembly *assembly);
const char *Assembly_getBaseName(const Assembly *assembly);

#endif
