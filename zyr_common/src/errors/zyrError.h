#ifndef ZYR_ERROR_H
#define ZYR_ERROR_H
// The error record. Raising code creates a record (which is at once held by the error manager),
// adds message pieces and publishes it; from then on the manager owns it:
//
//   zyrError *error = zyrError_new(ZYR_U_INVALID_INPUT, __func__, __FILE__, __LINE__);
//   zyrError_addMessage(error, "The file named \"%s\" does not exist.\n", name);
//   zyrError_publish(error);
//
// Every step is written to the error log when one is open. A record that carries nothing but its
// message is raised in one step, in the calling function and at its line:
//
//   ZYR_ERROR(ZYR_U_INVALID_INPUT, "The file named \"%s\" does not exist.\n", name);
#include "zyrErrorCode.h"

#include <cstdint>
#include <cstdio>

struct zyrErrorManager;

// A region named by body and object; the lists of a record keep the newest pair first.
struct CadPair {
  int32_t m_body;
  int32_t m_object;
  CadPair *m_next;
};

// A mesh element the problem concerns; its type gives the number of vertices used.
struct Element {
  int32_t m_type;
  int32_t m_identifier;
  double m_x[8];
  double m_y[8];
  double m_z[8];
  Element *m_next;
};

struct zyrError {
  int32_t m_code;
  char *m_message;
  char *m_program;
  char *m_function;
  char *m_context;
  char *m_file;
  char *m_description;
  int32_t m_line;
  int m_displayed;
  char *m_date;
  char *m_time;
  int m_fatal;
  CadPair *m_regions[4];
  Element *m_elements;     // in the order added
  Element *m_lastElement;
  zyrErrorManager *m_manager;
  int32_t m_identity;
};

// Never fails (an allocation failure ends the process). A code missing from the table becomes
// ZYR_I_UNRECOGNISED_ERROR_CODE; internal errors are fatal from creation.
zyrError *zyrError_new(int32_t code, const char *function, const char *file, int32_t line);
// Removes the record from the manager and releases it.
void zyrError_delete(zyrError *error);

// Appends printf-style text to the message with nothing in between.
void zyrError_addMessage(zyrError *error, const char *format, ...) __attribute__((format(printf, 2, 3)));
// Overrides the table's text for this record; NULL does nothing.
void zyrError_addDescription(zyrError *error, const char *description);
void zyrError_setFunction(zyrError *error, const char *function);
void zyrError_setProgram(zyrError *error, const char *program);
// Optional context shown by the displays and the log; NULL does nothing.
void zyrError_setContext(zyrError *error, const char *context);
void zyrError_setCode(zyrError *error, int32_t code);
// Dimensionality 0 to 3; others are ignored.
void zyrError_addRegion(zyrError *error, int32_t dimensionality, int32_t body, int32_t object);
// Copies as many coordinates as the element type has vertices (none for an unknown type).
void zyrError_addElement(zyrError *error, const double *x, const double *y, const double *z,
                         int32_t elementType, int32_t identifier);
void zyrError_markFatal(zyrError *error);

// Shows the record as its class's level says, then hands it to the handler (which may delete it).
// The caller no longer touches the record afterwards.
void zyrError_publish(zyrError *error);
// Creates a record of the code for the function, file and line given, with the formatted message
// (of any length), and publishes it. Call it through ZYR_ERROR, or ZYR_ERROR_FOR where a step
// raises the record in the name of the function it serves.
void zyrError_raise(int32_t code, const char *function, const char *file, int32_t line, const char *format, ...)
    __attribute__((format(printf, 5, 6)));
#define ZYR_ERROR(code, ...) zyrError_raise((code), __func__, __FILE__, __LINE__, __VA_ARGS__)
#define ZYR_ERROR_FOR(code, function, ...) zyrError_raise((code), (function), __FILE__, __LINE__, __VA_ARGS__)
// Shows the record on every display whatever the level; the record stays where it is.
void zyrError_display(zyrError *error);
// Displays the record (unless it was shown already) and ends the process with status 1.
[[noreturn]] void zyrError_die(zyrError *error);

int32_t zyrError_getCode(const zyrError *error);
// The record's own description, else the table's text.
const char *zyrError_getDescription(const zyrError *error);
const char *zyrError_getFunction(const zyrError *error);
const char *zyrError_getProgram(const zyrError *error);
const char *zyrError_getFile(const zyrError *error);
int32_t zyrError_getLine(const zyrError *error);
const char *zyrError_getMessage(const zyrError *error);
const char *zyrError_getContext(const zyrError *error);
const char *zyrError_getDate(const zyrError *error);
const char *zyrError_getTime(const zyrError *error);
int32_t zyrError_getIdentity(const zyrError *error);
int zyrError_isFatal(const zyrError *error);
int zyrError_isDisplayed(const zyrError *error);
zyrErrorClass zyrError_getClass(const zyrError *error);
int zyrError_isWarning(const zyrError *error);
int zyrError_isError(const zyrError *error);
// The newest record held by the error manager, or NULL.
zyrError *zyrError_getLast();

// The number of pairs of the dimensionality and a new array (caller releases it) of body and
// object of each pair in the order added; 0 and NULL when there are none, 0 with the array
// untouched for a dimensionality outside 0 to 3.
int32_t zyrError_getRegions(const zyrError *error, int32_t dimensionality, int32_t **pairs);
// The number of elements and five new arrays (caller releases them): x, y and z have room for
// 8 vertices per element and hold the vertices of all elements packed one element after the
// other; types and identifiers hold one entry per element. All NULL when there are none.
int32_t zyrError_getElements(const zyrError *error, double **x, double **y, double **z, int32_t **types,
                             int32_t **identifiers);

void zyrError_print(const zyrError *error, FILE *stream);

#endif
