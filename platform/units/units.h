#ifndef UNITS_H
#define UNITS_H
// The units library: unit definitions read from "units.wez" and conversion between unit texts
// such as "mm", "rev min^-1" or "kg m s^-2". One set of definitions is kept for the process;
// u_init replaces it. Every status is 0 on success (callers preset -1 and test for 0).
#include <cstddef>
#include <cstdio>
#include <string>

enum {
  U_OK = 0,
  U_UNKNOWN_UNIT = 1,     // a name in a unit text is not defined
  U_BAD_SYNTAX = 2,       // a unit text is empty or malformed, or a required argument is NULL
  U_INCOMPATIBLE = 3,     // the two unit texts measure different kinds of quantity
  U_OUT_OF_RANGE = 4,     // an exponent or a factor leaves the range the library handles
  U_NOT_INITIALISED = 5,  // no definitions have been loaded
  U_FILE_ERROR = 6,       // the definition file cannot be opened or read, or is too large
  U_BAD_DEFINITIONS = 7   // the definition text has a bad line, or defines nothing
};

#define U_DEFINITIONS_FILE "units.wez"

// Loads the definitions of a file. With definitions NULL the file is found as the library's
// callers expect: "$WEZ5_UNITS_DIR/units.wez" when that variable is set, else
// "$WEZ_DATA_DIR/units.wez" when that one is set, else "units.wez" in the working directory;
// when that file does not exist, the definitions built into the library (the same text as the
// shipped units.wez) are used. A non-NULL definitions names the file to read, which must exist.
// On failure the definitions loaded before stay in use.
void u_init(const char *definitions, int *status);
// As u_init, from a text in memory; source names it in messages.
void u_init_text(const char *text, size_t length, const char *source, int *status);
// scale and offset turn a value in from into a value in to: to = from * scale + offset. The offset
// is non-zero only between units with different zeros (temperatures). On failure scale and offset
// are left unchanged. scale and offset may be NULL.
void convert(const char *from, const char *to, double *scale, double *offset, int *status);

// 1 when the text is a valid unit text under the current definitions.
int u_is_valid(const char *units);
// 1 when both texts are valid and measure the same kind of quantity.
int u_compatible(const char *a, const char *b);
// 1 and the dimension of a unit text in text ("length time^-1", "1" for none); 0 when the unit
// text is not valid or the dimension does not fit in size bytes.
int u_dimension(const char *units, char *text, size_t size);
// Why the last u_init, u_init_text or convert failed ("" after a success); valid until the next
// call.
const char *u_message();
// Where the current definitions came from: a file name, the source given to u_init_text,
// "built-in", or "" before the first successful initialisation.
const char *u_source();
// Lists the current definitions.
void u_print(FILE *stream);

// The definition file chosen from the values of WEZ5_UNITS_DIR and WEZ_DATA_DIR (NULL when not
// set); it need not exist.
std::string u_definitions_path(const char *unitsDir, const char *dataDir);

#endif
