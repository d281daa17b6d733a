#include "zyrLibrary.h"

#include "zyrCString.h"
#include "zyrError.h"
#include "zyrErrorCode.h"
#include "zyrSystem.h"

#include <sys/utsname.h>

#include <cstdlib>

#ifndef ZYR_RELEASE_NUMBER
#error "the build passes ZYR_RELEASE_NUMBER, ZYR_BUILD_STAMP, ZYR_BUILD_DATE and ZYR_BUILD_YEAR"
#endif

namespace {

#define ZYR_BANNER "ZYR-" ZYR_RELEASE_NUMBER " build " ZYR_BUILD_STAMP

const char kBanner[] = ZYR_BANNER;
const char kBannerInParentheses[] = "(" ZYR_BANNER ")";
const char kNotice[] = "Copyright (C) " ZYR_BUILD_YEAR " The zyr developers. All rights reserved.";
const char kRelease[] = ZYR_RELEASE_NUMBER;
const char kStamp[] = ZYR_BUILD_STAMP;
const char kDate[] = ZYR_BUILD_DATE;
const char kYear[] = ZYR_BUILD_YEAR;

char *g_programName = nullptr;
int g_exitRegistered = 0;

void clearAtExit() { zyrLibrary_clearProgramName(); }

} // namespace

const char *zyrGetBuildInfo(int item) {
  switch (item) {
  case zyrBuildBanner:
    return kBanner;
  case zyrBuildNotice:
    return kNotice;
  case zyrBuildRelease:
    return kRelease;
  case zyrBuildStamp:
    return kStamp;
  case zyrBuildDate:
  case zyrBuildDateAgain:
    return kDate;
  case zyrBuildYear:
    return kYear;
  case zyrBuildShortName:
    return "zyr";
  case zyrBuildProductWord:
    return "product";
  default:
    return kBannerInParentheses;
  }
}

char *zyrLibrary_getRelease() { return zyrCString_clone(zyrGetBuildInfo(zyrBuildRelease)); }

char *zyrLibrary_getBuild() { return zyrCString_clone(zyrGetBuildInfo(zyrBuildStamp)); }

char *zyrLibrary_getVersion() {
  return zyrCString_merge(zyrGetBuildInfo(zyrBuildRelease), " (", zyrGetBuildInfo(zyrBuildStamp), ")",
                          static_cast<const char *>(nullptr));
}

char *zyrLibrary_getNotice() { return zyrCString_clone(zyrGetBuildInfo(zyrBuildNotice)); }

char *zyrLibrary_getPlatform() {
  struct utsname names;
  if (uname(&names) != 0)
    return zyrCString_clone("unknown");
  return zyrCString_merge(names.sysname, " ", names.machine, static_cast<const char *>(nullptr));
}

void zyrLibrary_setProgramName(const char *name) {
  zyrCString_free(g_programName);
  g_programName = zyrCString_clone(name);
  if (!g_exitRegistered) {
    g_exitRegistered = 1;
    std::atexit(clearAtExit);
  }
}

void zyrLibrary_clearProgramName() {
  zyrCString_free(g_programName);
  g_programName = nullptr;
}

char *zyrLibrary_getProgramName() { return zyrCString_clone(g_programName); }

int zyrCheck_fileExists(const char *name) {
  if (name == nullptr || name[0] == '\0') {
    zyrError *error = zyrError_new(ZYR_U_INVALID_INPUT, __func__, __FILE__, __LINE__);
    zyrError_addMessage(error, "No file name has been supplied.\n");
    zyrError_publish(error);
    return 0;
  }
  const int found = zyrLookForFile(name);
  if (found < 0) {
    zyrPublishCannotTell(ZYR_U_INVALID_INPUT, name, __func__);
    return 0;
  }
  if (found == 0) {
    zyrError *error = zyrError_new(ZYR_U_INVALID_INPUT, __func__, __FILE__, __LINE__);
    zyrError_addMessage(error, "The file named \"%s\" does not exist.\n", name);
    zyrError_publish(error);
    return 0;
  }
  return 1;
}
