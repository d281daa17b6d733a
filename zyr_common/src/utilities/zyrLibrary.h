#ifndef ZYR_LIBRARY_H
#define ZYR_LIBRARY_H
// Who is running: the library's build information, the name of the hosting program (copied into
// every error record) and the platform; plus the file check that reports through the error
// manager. The zyrLibrary_get* functions return new strings that the caller releases with
// zyrCString_free.

// Build information items (constant texts, not copies).
enum zyrBuildInfoItem {
  zyrBuildBanner = 1,      // "ZYR-<release> build <stamp>"
  zyrBuildNotice = 2,      // legal notice line
  zyrBuildRelease = 3,     // major.minor
  zyrBuildStamp = 4,       // yyyy.mm.dd-hh.mm
  zyrBuildDate = 5,        // "Www Mmm dd hh:mm:ss ZONE yyyy"
  zyrBuildYear = 6,        // yyyy
  zyrBuildShortName = 7,   // "zyr"
  zyrBuildProductWord = 8, // "product"
  zyrBuildDateAgain = 9    // as item 5
};

// Any other item gives the banner in parentheses.
const char *zyrGetBuildInfo(int item);

char *zyrLibrary_getRelease();
char *zyrLibrary_getBuild();
// "<release> (<stamp>)".
char *zyrLibrary_getVersion();
char *zyrLibrary_getNotice();
// The operating system and machine this process runs on, such as "Linux x86_64".
char *zyrLibrary_getPlatform();

// The first call registers zyrLibrary_clearProgramName to run at process exit.
void zyrLibrary_setProgramName(const char *name);
void zyrLibrary_clearProgramName();
// A copy of the stored name, or NULL when none is set.
char *zyrLibrary_getProgramName();

// 1 when the name is given and names an existing file or directory; otherwise publishes error
// 10020 (that it does not exist, or that whether it does cannot be told, and why) and gives 0.
int zyrCheck_fileExists(const char *name);

#endif
