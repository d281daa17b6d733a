#include "vsnLoader.h"

#include "vsnArray.h"
#include "vsnDefaultHandle.h"
#include "vsnEntry.h"
#include "vsnHandle.h"
#include "vsnMessage.h"
#include "vsnParser.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>


namespace {

const size_t kReadBlock = 1 << 16;

// A line being gathered across read blocks.
struct LineBuffer {
  char* m_data = nullptr;
  size_t m_length = 0;
  size_t m_capacity = 0;

  bool append(const char* s, size_t n) {
    if (n > SIZE_MAX - m_length - 1) return false;
    size_t need = m_length + n + 1;
    if (need > m_capacity) {
      size_t capacity = m_capacity ? m_capacity : 256;
      while (capacity < need) capacity = capacity > SIZE_MAX / 2 ? need : capacity * 2;
      char* grown = static_cast<char*>(realloc(m_data, capacity));
      if (!grown) return false;
      m_data = grown;
      m_capacity = capacity;
    }
    memcpy(m_data + m_length, s, n);
    m_length += n;
    m_data[m_length] = '\0';
    return true;
  }
};

// A new string of n bytes of s; the line's first NUL, if any, ends it as it ends any C string.
bool storeLine(vsnArray* lines, const char* s, size_t n) {
  if (n == SIZE_MAX) return false;
  char* line = static_cast<char*>(malloc(n + 1));
  if (!line) return false;
  memcpy(line, s, n);
  line[n] = '\0';
  if (!vsnArrayAddString(lines, line)) {
    free(line);
    return false;
  }
  return true;
}

const char* loadLines(vsnHandle* h, const char* const* lines, int n, unsigned flags, const unsigned char* expected,
                      unsigned char* out, const char* invalid, const char* noArray, const char* noString) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  if (n < 0 || (n > 0 && !lines)) return invalid;
  for (int i = 0; i < n; ++i) {
    if (!lines[i]) return invalid;
  }
  vsnArray* copy = vsnArrayNew(VSN_ARRAY_STRING);
  if (!copy) return noArray;
  for (int i = 0; i < n; ++i) {
    if (!vsnArrayAddStringCopy(copy, lines[i])) {
      vsnArrayFree(copy);
      return noString;
    }
  }
  const char* err = parseVSNData(h, copy, flags, expected, out);
  vsnArrayFree(copy);
  return err;
}

// The whole of a file in one block, with room for one more byte.
const char* readWhole(vsnHandle* h, const char* path, char** data, size_t* size) {
  *data = nullptr;
  *size = 0;
  FILE* f = fopen(path, "re");
  if (!f) return setVSNErrorH(h, "loadFileData: %s: open failed", path);
  struct stat st;
  size_t capacity = kReadBlock;
  if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
      static_cast<uint64_t>(st.st_size) < SIZE_MAX - kReadBlock) {
    capacity = static_cast<size_t>(st.st_size) + 2;  // the last read finds the end with room to spare
  }
  char* buffer = static_cast<char*>(malloc(capacity));
  const char* err = buffer ? nullptr : "loadFileData: array allocation failed";
  size_t used = 0;
  while (!err) {
    if (capacity - used < 2) {
      // The file grew since fstat, or fstat knew no size.
      size_t grown = capacity > SIZE_MAX / 2 ? 0 : capacity * 2;
      char* bigger = grown ? static_cast<char*>(realloc(buffer, grown)) : nullptr;
      if (!bigger) {
        err = "loadFileData: malloc failed";
        break;
      }
      buffer = bigger;
      capacity = grown;
    }
    size_t got = fread(buffer + used, 1, capacity - used - 1, f);
    used += got;
    if (got == 0) {
      if (ferror(f)) err = setVSNErrorH(h, "loadFileData: %s: fgets failed", path);
      break;
    }
  }
  fclose(f);
  if (err) {
    free(buffer);
    return err;
  }
  *data = buffer;
  *size = used;
  return nullptr;
}

// Read whole and parsed from the block, without a string per line.
const char* loadFile(vsnHandle* h, const char* file, unsigned flags, const unsigned char* expected,
                     unsigned char* out) {
  char* data;
  size_t size;
  const char* err = readWhole(h, file, &data, &size);
  if (err) return err;
  size_t lines = vsnCountLines(data, size);
  // loadFileData's string array holds at most INT32_MAX lines.
  err = lines > static_cast<size_t>(INT32_MAX) ? "loadFileData: malloc failed"
                                               : vsnParseBlock(h, data, size, lines, flags, expected, out);
  free(data);
  return err;
}

bool isDirectory(const char* path) {
  if (!path || !*path) return false;
  size_t n = strlen(path);
  char* copy = strdup(path);
  if (!copy) return false;
  // One trailing separator does not change what is named.
  if (n > 1 && (copy[n - 1] == '/' || copy[n - 1] == '\\')) copy[n - 1] = '\0';
  struct stat st;
  bool dir = stat(copy, &st) == 0 && S_ISDIR(st.st_mode);
  free(copy);
  return dir;
}

const char* libraryDirectoryFromEnvironment() {
  const char* dir = getenv("WEZ5_VSN_LIBSDIR");
  return isDirectory(dir) ? dir : nullptr;
}

// An item used as it stands: relative to ".", absolute, or with a drive letter.
bool standsAlone(const char* item) {
  if (item[0] == '.' || item[0] == '/' || item[0] == '\\') return true;
  return item[1] == ':' && (item[2] == '/' || item[2] == '\\');
}

} // namespace

const char* loadFileData(vsnHandle* h, const char* path, vsnArray** lines) {
  if (lines) *lines = nullptr;
  if (!path || !lines) return setVSNErrorH(h, "loadFileData: %s: open failed", path);
  FILE* f = fopen(path, "re");
  if (!f) return setVSNErrorH(h, "loadFileData: %s: open failed", path);
  vsnArray* result = vsnArrayNew(VSN_ARRAY_STRING);
  char* block = static_cast<char*>(malloc(kReadBlock));
  if (!result || !block) {
    fclose(f);
    vsnArrayFree(result);
    free(block);
    return "loadFileData: array allocation failed";
  }
  LineBuffer partial;
  const char* err = nullptr;
  for (;;) {
    size_t got = fread(block, 1, kReadBlock, f);
    if (got == 0) {
      if (ferror(f)) err = setVSNErrorH(h, "loadFileData: %s: fgets failed", path);
      break;
    }
    const char* p = block;
    const char* end = block + got;
    while (p < end && !err) {
      const char* lf = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
      if (!lf) {
        if (!partial.append(p, static_cast<size_t>(end - p))) err = "loadFileData: malloc failed";
        break;
      }
      size_t n = static_cast<size_t>(lf - p);
      bool stored;
      if (partial.m_length > 0) {
        stored = partial.append(p, n) && storeLine(result, partial.m_data, partial.m_length);
        partial.m_length = 0;
      } else {
        stored = storeLine(result, p, n);
      }
      if (!stored) err = "loadFileData: malloc failed";
      p = lf + 1;
    }
    if (err) break;
  }
  // A last line without a line feed.
  if (!err && partial.m_length > 0 && !storeLine(result, partial.m_data, partial.m_length)) {
    err = "loadFileData: malloc failed";
  }
  free(partial.m_data);
  free(block);
  fclose(f);
  if (err) {
    vsnArrayFree(result);
    return err;
  }
  *lines = result;
  return nullptr;
}

const char* loadVSNFile(vsnHandle* h, const char* file, const char* fileType, const unsigned char* expectedDigest,
                        unsigned char* outDigest) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  if (!file || !fileType) return "loadVSNFile: Invalid file or file type";
  if (strcmp(fileType, "vsn") != 0) return "loadVSNFile: fileType is invalid - it should be vsn";
  return loadFile(h, file, 0, expectedDigest, outDigest);
}

const char* loadVSNFileH(vsnHandle* h, const char* file, const char* fileType) {
  return loadVSNFile(h, file, fileType, nullptr, nullptr);
}

const char* loadVSNData(vsnHandle* h, const char* const* lines, int n, const unsigned char* expectedDigest,
                        unsigned char* outDigest) {
  return loadLines(h, lines, n, 0, expectedDigest, outDigest, "loadVSNData: Invalid arguments",
                   "loadVSNData: failed to allocate array", "loadVSNData: failed to store string");
}

const char* loadVSNDataH(vsnHandle* h, const char* const* lines, int n) {
  return loadVSNData(h, lines, n, nullptr, nullptr);
}

const char* loadLibraryData(vsnHandle* h, const char* const* lines, int n, const unsigned char* expectedDigest,
                            unsigned char* outDigest) {
  return loadLines(h, lines, n, VSN_FLAG_LIBRARY, expectedDigest, outDigest, "loadLibraryData: Invalid arguments",
                   "loadLibraryData: failed to allocate array", "loadLibraryData: failed to store string");
}

const char* loadLibraryDataH(vsnHandle* h, const char* const* lines, int n) {
  return loadLibraryData(h, lines, n, nullptr, nullptr);
}

const char* loadLibraryFile(vsnHandle* h, const char* file, const unsigned char* expectedDigest,
                            unsigned char* outDigest) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  if (!file || !*file) return "loadLibraryFile: Invalid filename";
  return loadFile(h, file, VSN_FLAG_LIBRARY, expectedDigest, outDigest);
}

const char* readLibrariesH(vsnHandle* h) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  const char* dir = libraryDirectoryFromEnvironment();
  const char* list = getenv("WEZ5_VSN_LIBS");
  if (!list) return "Error: No library files specified by $WEZ5_VSN_LIBS. No libraries were read.\n";
  return readNamedLibraries(h, list, dir ? dir : "./");
}

const char* readNamedLibraries(vsnHandle* h, const char* list, const char* dir) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  if (!dir || !*dir) {
    dir = libraryDirectoryFromEnvironment();
    if (!dir) dir = "";
  }
  if (!isDirectory(dir)) return "readNamedLibraries: unable to find a valid lib directory\n";
  if (!list) return nullptr;
  char* items = strdup(list);
  if (!items) return "readNamedLibraries: unable to allocate a library item string\n";
  const char* err = nullptr;
  char* next = items;
  while (next && !err) {
    char* item = next;
    char* semicolon = strchr(item, ';');
    if (semicolon) *semicolon = '\0';
    next = semicolon ? semicolon + 1 : nullptr;
    if (*item == ':' || *item == ';') ++item;
    if (!*item) continue;  // nothing between two separators
    char* fullPath;
    if (standsAlone(item)) {
      fullPath = strdup(item);
    } else {
      size_t n = strlen(dir) + 1 + strlen(item) + 1;
      fullPath = static_cast<char*>(malloc(n));
      if (fullPath) snprintf(fullPath, n, "%s/%s", dir, item);
    }
    if (!fullPath) {
      err = "readNamedLibraries: unable to allocate the fullPath string\n";
      break;
    }
    const char* failure = loadLibraryFile(h, fullPath, nullptr, nullptr);
    if (failure) err = setVSNErrorH(h, "Error reading library file %s: %s", fullPath, failure);
    free(fullPath);
  }
  free(items);
  return err;
}

const char* readRules(...) {
  return "Error: readRules superceded by readLibraries in the VSN API.\nNo action performed.\n";
}

const char* defaultLoadVSNFile(const char* file, const char* fileType) {
  const char* err = initDefaultVSNHandle();
  return err ? err : loadVSNFileH(getDefaultVSNHandle(), file, fileType);
}

const char* defaultLoadVSNData(const char* const* lines, int n) {
  const char* err = initDefaultVSNHandle();
  return err ? err : loadVSNDataH(getDefaultVSNHandle(), lines, n);
}

const char* defaultLoadLibraryData(const char* const* lines, int n) {
  const char* err = initDefaultVSNHandle();
  return err ? err : loadLibraryDataH(getDefaultVSNHandle(), lines, n);
}

const char* readLibraries() {
  const char* err = initDefaultVSNHandle();
  return err ? err : readLibrariesH(getDefaultVSNHandle());
}

const char* defaultReadNamedLibraries(const char* list, const char* dir) {
  const char* err = initDefaultVSNHandle();
  return err ? err : readNamedLibraries(getDefaultVSNHandle(), list, dir);
}

const char* defaultParseVSNLine(const char* line, int fromLibrary) {
  const char* err = initDefaultVSNHandle();
  return err ? err : parseVSNLineH(getDefaultVSNHandle(), line, fromLibrary ? static_cast<unsigned>(VSN_FLAG_LIBRARY) : 0u);
}
