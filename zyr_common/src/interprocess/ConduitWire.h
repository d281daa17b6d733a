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

// Reads up to count bytes into buffer; fewer than count means the stream ended or failed.
typedef int64_t (*ConduitWire_reader)(void *source, char *buffer, int64_t count);

// The body of a length-prefixed string, shared by pipes, sockets and conduits: a zero-terminated
// buffer (released with zyrMemory_free under tag) holding the bytes that arrived, *received of
// them, at most length. The buffer grows with what arrives, so that a false length cannot claim
// memory by itself. length must be at least 1.
char *ConduitWire_receiveText(int32_t length, ConduitWire_reader read, void *source, const char *tag,
                              int64_t *received);

#endif
