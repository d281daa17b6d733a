// Loading VSN text into a handle: from a file, from lines the caller supplies, and from library
// files named by the environment (WEZ5_VSN_LIBS, WEZ5_VSN_LIBSDIR). Library input differs from
// ordinary input only by the flag VSN_FLAG_LIBRARY that every entry it makes carries.
//
// The digests are 16 bytes (see vsnDigestLines); either may be NULL. When the expected digest
// equals the input's, the entries of the load are marked valid (VSN_LOAD_UNCHANGED).
#ifndef VSN_LOADER_H
#define VSN_LOADER_H

struct vsnHandle;
struct vsnArray;

// fileType must be "vsn".
const char* loadVSNFile(vsnHandle* h, const char* file, const char* fileType, const unsigned char* expectedDigest,
                        unsigned char* outDigest);
const char* loadVSNFileH(vsnHandle* h, const char* file, const char* fileType);

// The lines of a file, without their line feeds (a carriage return before one stays); lines of
// any length; a last line without a line feed is kept. The caller frees the array with
// vsnArrayFree.
const char* loadFileData(vsnHandle* h, const char* path, vsnArray** lines);

// n caller strings (n may be 0).
const char* loadVSNData(vsnHandle* h, const char* const* lines, int n, const unsigned char* expectedDigest,
                        unsigned char* outDigest);
const char* loadVSNDataH(vsnHandle* h, const char* const* lines, int n);
const char* loadLibraryData(vsnHandle* h, const char* const* lines, int n, const unsigned char* expectedDigest,
                            unsigned char* outDigest);
const char* loadLibraryDataH(vsnHandle* h, const char* const* lines, int n);
const char* loadLibraryFile(vsnHandle* h, const char* file, const unsigned char* expectedDigest,
                            unsigned char* outDigest);

// The files of WEZ5_VSN_LIBS (";"-separated) from the directory WEZ5_VSN_LIBSDIR or "./".
const char* readLibrariesH(vsnHandle* h);
// The files of list, relative ones taken from dir (or WEZ5_VSN_LIBSDIR when dir is empty); the
// first failure stops the reading, libraries read before it stay.
const char* readNamedLibraries(vsnHandle* h, const char* list, const char* dir);

// Kept for old callers; does nothing.
const char* readRules(...);

// Default-handle forms; each makes the default handle when it does not exist.
const char* defaultLoadVSNFile(const char* file, const char* fileType);
const char* defaultLoadVSNData(const char* const* lines, int n);
const char* defaultLoadLibraryData(const char* const* lines, int n);
const char* readLibraries();
const char* defaultReadNamedLibraries(const char* list, const char* dir);
// Flags VSN_FLAG_LIBRARY when fromLibrary is non-zero, else 0.
const char* defaultParseVSNLine(const char* line, int fromLibrary);

#endif
