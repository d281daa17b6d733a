// The physics-reading interface: questions about a physics set-up written in VSN text, answered from
// one command-language handle through path queries.
//
// Objects are named by handles: their paths in the tree (/FLOW/DOMAIN:<name>,
// /FLOW/DOMAIN:<domain>/BOUNDARY:<name>, /FLOW/DOMAIN INTERFACE:<name>, /FLOW/COORD FRAME:<name>).
// Handle arrays end with NULL and belong to the caller, who releases them with the matching free
// function; an empty array (only the NULL) means no such objects, NULL means failure.
//
// Errors are sticky: a failing operation records a code and a text in the handle, which stay until
// the next error replaces them. Read them with pgtGetError only after a result has said failure: a
// missing parameter that has a default still records error 1 while the default is returned.
//
// Strings handed back by value queries belong to the handle and stay valid until its next value
// query; names point into the handle string they were taken from.
#ifndef PGT_HANDLE_H
#define PGT_HANDLE_H

#include "vsnMessage.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct vsnHandle;
struct CoordFrame;

enum pgtErrorCode : int32_t {
  PGT_OK = 0,
  PGT_E_VSN = 1,          // the command-language library failed (load, query, units initialisation)
  PGT_E_DATA = 2,         // a value of the physics text is missing, not recognised or unreadable
  PGT_E_HANDLE = 3,       // a bad object handle
  PGT_E_MEMORY = 4,       // memory cannot be allocated
  PGT_E_NO_READER = 5,    // pgtDelete was given no handle (returned only)
  PGT_E_NO_OBJECT = 6,    // no such object, or an unknown coordinate frame
  PGT_E_NOT_SINGLE = 7,   // an object expected once occurs more than once
};

struct pgtHandle {
  vsnHandle* m_vsn;             // owned
  char* m_lastReturn;           // copy of the last value handed out
  int32_t m_errorCode;
  const char* m_errorText;      // the constant message, or formatted text of its own
  int32_t m_errorTextOwned;     // 1 when m_errorText is formatted text to free
  char* m_lengthUnits;          // the solver length units once read
  int32_t m_noOfCoordFrames;
  CoordFrame** m_coordFrames;   // in the order of the COORD FRAME objects
};

// A new reader with an empty tree; NULL when memory runs out.
pgtHandle* pgtNew();
// 0, or PGT_E_NO_READER for no handle.
int pgtDelete(pgtHandle* h);
void pgtHandle_print(const pgtHandle* h, FILE* stream);

// Load lines into the reader (a negative count: the lines up to a NULL entry) or a file (type
// "vsn"); then rebuild the coordinate frames. 0 on success, else the recorded error code.
// Successive loads add to the same tree.
int pgtLoadVSN(pgtHandle* h, const char* const* lines, int count);
int pgtLoadVSNFile(pgtHandle* h, const char* fileName, const char* fileType);

// The current error code; *text (when text is given) the error text, "" before any error.
int pgtGetError(pgtHandle* h, const char** text);

// Records an error; the format knows %%, %d and %s, and any other conversion is kept as written
// and uses up one value. Returns the code.
int pgtSetErrorValues(pgtHandle* h, int code, const char* format, const vsnFormatValue* values, int count);
// Values of a message: strings and integers; a floating value only takes its place (the formatter
// has no conversion for it).
inline vsnFormatValue pgtFormatValueOf(const char* s) { return vsnFormatValueOf(s); }
inline vsnFormatValue pgtFormatValueOf(std::nullptr_t) { return vsnFormatValueOf(nullptr); }
inline vsnFormatValue pgtFormatValueOf(double) { return vsnFormatValue{0, 0, nullptr}; }
template <typename T, typename = typename std::enable_if<std::is_integral<T>::value || std::is_enum<T>::value>::type>
inline vsnFormatValue pgtFormatValueOf(T v) {
  return vsnFormatValueOf(v);
}
template <typename... A>
int pgtSetError(pgtHandle* h, int code, const char* format, A... args) {
  const vsnFormatValue values[sizeof...(A) + 1] = {pgtFormatValueOf(args)..., vsnFormatValue{1, 0, nullptr}};
  return pgtSetErrorValues(h, code, format, values, static_cast<int>(sizeof...(A)));
}
// The formatter of pgtSetError: a new text, NULL when memory runs out.
char* pgtFormatText(const char* format, const vsnFormatValue* values, int count);

// Keeps a copy of text as the last returned value and returns it (NULL, with error 4, when the copy
// cannot be made).
const char* pgtStashRV(pgtHandle* h, const char* text);

// Shared by the query modules; caller is the public operation's name, for the messages.

// malloc that records error 4 "Unable to allocate %d bytes in %s" on failure.
void* pgtAlloc(pgtHandle* h, size_t size, const char* caller);
// A new string joining the pieces (NULL pieces read as empty); error 4 on failure.
char* pgtJoin(pgtHandle* h, const char* caller, const char* a, const char* b, const char* c = nullptr,
              const char* d = nullptr, const char* e = nullptr);
// The value of parameter in object, stashed; NULL with error 1 when it cannot be read.
const char* pgtGetParameter(pgtHandle* h, const char* caller, const char* object, const char* parameter);
// The comma list of parameter in object (free with freeStringList); 0 with error 1 on failure.
int pgtGetParameterList(pgtHandle* h, const char* caller, const char* object, const char* parameter, char*** list,
                        int* count);
// The number of child objects of parent with the type; -1 with error 1 when they cannot be listed.
int pgtCountChildren(pgtHandle* h, const char* caller, const char* parent, const char* type);
// The handles of the child objects of parent with the type, in creation order.
char** pgtGHHandles(pgtHandle* h, const char* caller, const char* parent, const char* type);
// The handle of the child of parent named name, checked to exist (error 6). A name must be
// non-empty and hold neither '/' nor ':', so that it cannot lead elsewhere in the tree.
char* pgtFindNamedObject(pgtHandle* h, const char* caller, const char* parent, const char* type, const char* name);
// The handle of the only child of parent with the type: NULL without error when there is none,
// NULL with error 7 when there are several.
char* pgtFindSingleton(pgtHandle* h, const char* caller, const char* parent, const char* type);
// The text after the last ':' of a handle (pointing into it); NULL with error 3 for a bad handle.
const char* pgtHandleName(pgtHandle* h, const char* caller, const char* handle);
// A new string of the text before the last '/' of a handle; NULL with error 3 for a bad handle.
char* pgtHandleParent(pgtHandle* h, const char* caller, const char* handle);
// Frees a handle array and its strings, or one handle.
void pgtFreeHandleArray(char** handles);
void pgtFreeOneHandle(char* handle);

#endif
