#ifndef ZYR_CONDUIT_WIRE_H
#define ZYR_CONDUIT_WIRE_H
// The text fields that carry typed values over sockets: 80 bytes holding the value's text and a
// terminating zero (bytes after it carry no meaning). Integers are written "%d"; floats and
// doubles with enough digits to be read back to the same value ("%.8e", "%.16e").
#include <cstdint>

enum { ConduitWire_fieldSize = 80 };

void ConduitWire_formatInt(char field[ConduitWire_fieldSize], int32_t value);
void ConduitWire_formatFloat(char field[ConduitWire_fieldSize], float value);
void ConduitWire_formatDouble(char field[ConduitWire_fieldSize], double value);

// 1 when the field holds a terminated text that is wholly a value of the type (blanks around it
// allowed), else 0 with the value untouched.
int ConduitWire_parseInt(const char field[ConduitWire_fieldSize], int32_t *value);
int ConduitWire_parseFloat(const char field[ConduitWire_fieldSize], float *value);
int ConduitWire_parseDouble(const char field[ConduitWire_fieldSize], double *value);

#endif
