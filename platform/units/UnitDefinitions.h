#ifndef UNIT_DEFINITIONS_H
#define UNIT_DEFINITIONS_H
// The definitions built into the units library: the text of the shipped units.wez, used when no
// definition file is found.
#include <cstddef>

const char *UnitDefinitions_builtin(size_t *length);

#endif
