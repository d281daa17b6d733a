// Value queries on parameters: strings, integers, logicals and comma lists, the splitters behind
// them, and the release functions for what they hand out.
//
// The error texts of isLogicalValue for a value that is not a logical and of splitLogicalString
// for pieces that are not logicals are newly allocated; getLogicalValue and getLogicalList pass
// them on. Every text these four return may be given to freeVSNString, which leaves the
// library's fixed texts alone. Other error texts follow the handle's rule (never freed).
#ifndef VSN_VALUE_H
#define VSN_VALUE_H

struct vsnHandle;
struct vsnArray;

const char* getStringValue(vsnHandle* h, const char* path, char** value);
const char* getIntegerValue(vsnHandle* h, const char* path, int* value);
const char* getLogicalValue(vsnHandle* h, const char* path, int* value);
const char* getStringList(vsnHandle* h, const char* path, char*** strings, int* count);
const char* getIntegerList(vsnHandle* h, const char* path, int** ints, int* count);
const char* getLogicalList(vsnHandle* h, const char* path, int** ints, int* count);

// A decimal number (leading blanks, sign, fraction, exponent) read up to the first character
// that does not fit, rounded to the nearest integer with halves away from zero; no number reads
// as 0; values beyond the int range are clamped.
int vsnReadInteger(const char* text);

const char* isLogicalValue(const char* text, int* value);
const char* splitString(vsnArray* array, const char* text, int* count);
const char* splitStringString(const char* text, char*** strings, int* count);
const char* splitIntegerString(const char* text, int** ints, int* count);
const char* splitLogicalString(const char* text, int** ints, int* count);

void freeVSNString(const void* p);
void freeVSNBlock(void* p);
void freeStringArray(char** array);
void freeStringList(char** array, int count);

#endif
