#include "vsnDefaultHandle.h"

#include "vsnPath.h"
#include "vsnValue.h"

const char* const VSN_NO_DEFAULT_HANDLE_TEXT = "the default VSN handle does not exist";

namespace {

vsnHandle* g_defaultHandle = nullptr;

// The default handle, made when missing; NULL when it cannot be.
vsnHandle* madeHandle() {
  if (!g_defaultHandle) initDefaultVSNHandle();
  return g_defaultHandle;
}

} // namespace

const char* initDefaultVSNHandle() {
  if (!g_defaultHandle) g_defaultHandle = createVSNHandle();
  return g_defaultHandle ? nullptr : "Memory allocation error creating default handle";
}

int destroyDefaultVSNHandle() {
  destroyVSNHandle(g_defaultHandle);
  g_defaultHandle = nullptr;
  return 0;
}

vsnHandle* getDefaultVSNHandle() { return g_defaultHandle; }

const char* defaultGetVSNState(int* state) {
  const char* err = initDefaultVSNHandle();
  return err ? err : getVSNStateH(g_defaultHandle, state);
}

int defaultResetVSNState(int depth) {
  vsnHandle* h = madeHandle();
  return h ? resetVSNStateH(h, depth) : -1;
}

const char* defaultGetCurrentPath() {
  vsnHandle* h = madeHandle();
  return h ? getCurrentPathH(h) : nullptr;
}

const char* defaultVsnPushPath(const char* path) {
  const char* err = initDefaultVSNHandle();
  return err ? err : vsnPushPath(g_defaultHandle, path);
}

vsnEntry* defaultCreateRootObject() {
  vsnHandle* h = madeHandle();
  return h ? createRootObjectH(h) : nullptr;
}

vsnEntry* defaultVsnUpdateObject(vsnEntry* parent, const char* type, const char* name, const char* value, int kind,
                                 unsigned flags) {
  vsnHandle* h = madeHandle();
  return h ? vsnUpdateObject(h, parent, type, name, value, kind, flags) : nullptr;
}

const char* defaultAddChangeHandler(vsnChangeHandler function, void* context) {
  const char* err = initDefaultVSNHandle();
  return err ? err : addChangeHandlerH(g_defaultHandle, function, context);
}

const char* defaultAddReplaceHandler(vsnReplaceHandler function, void* context) {
  const char* err = initDefaultVSNHandle();
  return err ? err : addReplaceHandlerH(g_defaultHandle, function, context);
}

void defaultSetVSNUserWord(int word) { setVSNUserWordH(g_defaultHandle, word); }

int defaultGetVSNUserWord() { return getVSNUserWordH(g_defaultHandle); }

const char* defaultPopPath() { return g_defaultHandle ? popPath(g_defaultHandle) : VSN_NO_DEFAULT_HANDLE_TEXT; }

const char* defaultPushPath(const char* path) {
  return g_defaultHandle ? pushPath(g_defaultHandle, path) : VSN_NO_DEFAULT_HANDLE_TEXT;
}

const char* defaultGetChildList(const char* path, int* childCount, vsnChildInfo** childrenAry, int* groupCount,
                                vsnGroupInfo** groupAry) {
  if (!g_defaultHandle) return VSN_NO_DEFAULT_HANDLE_TEXT;
  return getChildList(g_defaultHandle, path, childCount, childrenAry, groupCount, groupAry);
}

const char* defaultGetStringValue(const char* path, char** value) {
  return g_defaultHandle ? getStringValue(g_defaultHandle, path, value) : VSN_NO_DEFAULT_HANDLE_TEXT;
}

const char* defaultGetIntegerValue(const char* path, int* value) {
  return g_defaultHandle ? getIntegerValue(g_defaultHandle, path, value) : VSN_NO_DEFAULT_HANDLE_TEXT;
}

const char* defaultGetLogicalValue(const char* path, int* value) {
  return g_defaultHandle ? getLogicalValue(g_defaultHandle, path, value) : VSN_NO_DEFAULT_HANDLE_TEXT;
}

const char* defaultGetStringList(const char* path, char*** strings, int* count) {
  return g_defaultHandle ? getStringList(g_defaultHandle, path, strings, count) : VSN_NO_DEFAULT_HANDLE_TEXT;
}

const char* defaultGetIntegerList(const char* path, int** ints, int* count) {
  return g_defaultHandle ? getIntegerList(g_defaultHandle, path, ints, count) : VSN_NO_DEFAULT_HANDLE_TEXT;
}

const char* defaultGetLogicalList(const char* path, int** ints, int* count) {
  return g_defaultHandle ? getLogicalList(g_defaultHandle, path, ints, count) : VSN_NO_DEFAULT_HANDLE_TEXT;
}

int defaultVsnPathExists(const char* path) { return g_defaultHandle ? vsnPathExists(g_defaultHandle, path) : 0; }

int defaultIsLibraryObject(const char* path) {
  return g_defaultHandle ? isLibraryObject(g_defaultHandle, path) : -1;
}

int defaultGetValid(const char* path) { return g_defaultHandle ? getValid(g_defaultHandle, path) : -1; }

const char* defaultSetValid(const char* path, int mode) {
  return g_defaultHandle ? setValid(g_defaultHandle, path, mode) : VSN_NO_DEFAULT_HANDLE_TEXT;
}

int defaultGetEntryType(const char* path) { return g_defaultHandle ? getEntryType(g_defaultHandle, path) : -1; }
