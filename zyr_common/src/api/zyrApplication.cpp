#include "zyrApplication.h"

#include "Interface.h"
#include "SessionFile.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrErrorManager.h"
#include "zyrInterfaceManager.h"
#include "zyrLibrary.h"
#include "zyrMemory.h"
#include "zyrSystem.h"

#include <cstdio>
#include <cstdlib>

namespace {

int g_initialised = 0;
char *g_workingDirectory = nullptr;
zyrApplicationCallBack *g_callBacks = nullptr;

} // namespace

int zyrApplication_setWorkingDirectory(const char *directory) {
  if (directory == nullptr) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "A null pointer has been supplied when a null terminated string\n"
                                   "containing a path to a working directory was expected.\n");
    return 0;
  }
  // A look that cannot tell says so: the directory may well be there.
  const int found = zyrLookForDirectory(directory);
  if (found < 0) {
    zyrPublishCannotTell(ZYR_U_INVALID_INPUT, directory, __func__);
    return 0;
  }
  if (found == 0) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "The supplied directory\n\n%s\n\n does not exist.\n", directory);
    return 0;
  }
  char *absolute = zyrGetAbsoluteDirectoryName(directory);
  if (absolute == nullptr) {
    ZYR_ERROR(ZYR_U_INVALID_INPUT, "Unable to determine the relative path to\n\n%s\n", directory);
    return 0;
  }
  zyrCString_free(g_workingDirectory);
  g_workingDirectory = absolute;
  return 1;
}

char *zyrApplication_getWorkingDirectory() { return zyrCString_clone(g_workingDirectory); }

void zyrApplication_initialise(const char *programName) {
  g_initialised = 1;
  zyrApplication_initialiseOutput(programName);
}

void zyrApplication_initialiseOutput(const char *programName) {
  zyrErrorManager *manager = zyrErrorManager_get();
  if (zyrApplication_useStdoutErrors()) {
    int32_t handle = 0;
    zyrErrorManager_addStreamDisplay(manager, 1, stdout, &handle);
    zyrInterfaceManager_get();
    // Registered with the interface manager, which owns it from now on.
    Interface_new(1);
  }
  zyrLibrary_setProgramName(programName);
}

int zyrApplication_useStdoutErrors() { return g_initialised && zyrIsEnvironmentVariableSet("P3_INITIAL_PATH") ? 1 : 0; }

zyrApplicationCallBack *zyrApplication_registerCallBack(zyrApplication_CallBack callBack) {
  zyrApplicationCallBack *node = zyrMemory_allocateZeroedArray<zyrApplicationCallBack>(1, __func__);
  node->m_callBack = callBack;
  node->m_next = g_callBacks;
  g_callBacks = node;
  return node;
}

void zyrApplication_unregisterCallBack(zyrApplication_CallBack callBack) {
  for (zyrApplicationCallBack **link = &g_callBacks; *link != nullptr; link = &(*link)->m_next) {
    if ((*link)->m_callBack == callBack) {
      zyrApplicationCallBack *node = *link;
      *link = node->m_next;
      zyrMemory_free(node, __func__);
      return;
    }
  }
}

void zyrApplication_runCallBacks() {
  for (zyrApplicationCallBack *node = g_callBacks; node != nullptr; node = node->m_next)
    if (node->m_callBack != nullptr)
      node->m_callBack();
}

void zyrApplication_exit(int code) {
  // A failure must not end the process as a success.
  if (code > 0)
    zyrApplication_terminate(1);
  if (code < 0)
    zyrApplication_runCallBacks();
  SessionFile_close();
}

void zyrApplication_terminate(int code) {
  zyrInterfaceManager_terminate(zyrInterfaceManager_get(), code == 0);
  zyrApplication_exit(-1);
  std::fflush(stdout);
  if (code == 0)
    std::exit(0);
  if (code == 2)
    std::abort();
  std::exit(1);
}

int zyrApplication_setWEZBaseDirectory(const char *root, const char *architecture) {
  if (architecture == nullptr)
    architecture = "winnt-amd64";
  if (root == nullptr || !zyrIsDirectory(root))
    return 0;
  char *bin = nullptr;
  char *exec = nullptr;
  char *etc = nullptr;
  int status = zyrJoinPathName(root, "bin", &bin) && zyrSetEnvironmentVariable("WEZ5BINDIR", bin) &&
               zyrJoinPathName(bin, architecture, &exec) && zyrSetEnvironmentVariable("WEZ5EXECDIR", exec) &&
               zyrJoinPathName(root, "etc", &etc) && zyrSetEnvironmentVariable("WEZ5_UNITS_DIR", etc);
  zyrCString_free(bin);
  zyrCString_free(exec);
  zyrCString_free(etc);
  return status ? 1 : 0;
}

int zyrApplication_pushContext() { return -1; }

int zyrApplication_popContext(int) { return -1; }

int zyrApplication_getContext() { return 0; }
