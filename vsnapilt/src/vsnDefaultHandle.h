// The process-wide default handle and the forms of the handle operations that work on it. The
// forms marked "creates" make the handle on first use; the others need it to exist already and
// fail (with VSN_NO_DEFAULT_HANDLE_TEXT, -1, 0 or NULL) when it does not.
#ifndef VSN_DEFAULT_HANDLE_H
#define VSN_DEFAULT_HANDLE_H

#include "vsnHandle.h"
#include "vsnListing.h"

extern const char* const VSN_NO_DEFAULT_HANDLE_TEXT;

const char* initDefaultVSNHandle();
int destroyDefaultVSNHandle();
// The default handle, or NULL when it does not exist.
vsnHandle* getDefaultVSNHandle();

// Creates the default handle when needed.
const char* defaultGetVSNState(int* state);
int defaultResetVSNState(int depth);  // -1 when the handle cannot be made
const char* defaultGetCurrentPath();  // NULL when the handle cannot be made
const char* defaultVsnPushPath(const char* path);
vsnEntry* defaultCreateRootObject();
vsnEntry* defaultVsnUpdateObject(vsnEntry* parent, const char* type, const char* name, const char* value, int kind,
                                 unsigned flags);
const char* defaultAddChangeHandler(vsnChangeHandler function, void* context);
const char* defaultAddReplaceHandler(vsnReplaceHandler function, void* context);

// Need the default handle to exist.
void defaultSetVSNUserWord(int word);
int defaultGetVSNUserWord();
const char* defaultPopPath();
const char* defaultPushPath(const char* path);
const char* defaultGetChildList(const char* path, int* childCount, vsnChildInfo** childrenAry, int* groupCount,
                                vsnGroupInfo** groupAry);
const char* defaultGetStringValue(const char* path, char** value);
const char* defaultGetIntegerValue(const char* path, int* value);
const char* defaultGetLogicalValue(const char* path, int* value);
const char* defaultGetStringList(const char* path, char*** strings, int* count);
const char* defaultGetIntegerList(const char* path, int** ints, int* count);
const char* defaultGetLogicalList(const char* path, int** ints, int* count);
int defaultVsnPathExists(const char* path);
int defaultIsLibraryObject(const char* path);
int defaultGetValid(const char* path);
const char* defaultSetValid(const char* path, int mode);
int defaultGetEntryType(const char* path);

#endif
