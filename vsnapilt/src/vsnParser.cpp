#include "vsnParser.h"

#include "vsnArray.h"
#include "vsnEntry.h"
#include "vsnHandle.h"
#include "vsnHandler.h"
#include "vsnMessage.h"
#include "vsnNameRules.h"
#include "vsnPath.h"
#include "zyrMD5.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

const char kMemoryError[] = "parseVSNLineH: Memory allocation error";
const int32_t kFlagStackStep = 10;

bool isWhite(char c) { return vsnIsWhite(c); }

// Bounds of s with white space at both ends left out.
void trimmedBounds(const char* s, size_t* start, size_t* length) {
  size_t b = 0;
  while (s[b] && isWhite(s[b])) ++b;
  size_t e = b + strlen(s + b);
  while (e > b && isWhite(s[e - 1])) --e;
  *start = b;
  *length = e - b;
}

const char* ensureFlagStack(vsnHandle* h) {
  if (h->m_flagStack) return nullptr;
  h->m_flagStack = static_cast<uint32_t*>(calloc(kFlagStackStep, sizeof(uint32_t)));
  if (!h->m_flagStack) return "parseVSNLineH: Memory error initialising flag stack";
  h->m_flagCapacity = kFlagStackStep;
  return nullptr;
}

// Room for level depth + 1.
const char* growFlagStack(vsnHandle* h) {
  if (h->m_depth + 1 < h->m_flagCapacity) return nullptr;
  if (h->m_flagCapacity > INT32_MAX - kFlagStackStep) return "parseVSNLineH: memory error extending flag stack";
  int32_t capacity = h->m_flagCapacity + kFlagStackStep;
  uint32_t* grown = static_cast<uint32_t*>(realloc(h->m_flagStack, static_cast<size_t>(capacity) * sizeof(uint32_t)));
  if (!grown) return "parseVSNLineH: memory error extending flag stack";
  memset(grown + h->m_flagCapacity, 0, kFlagStackStep * sizeof(uint32_t));
  h->m_flagStack = grown;
  h->m_flagCapacity = capacity;
  return nullptr;
}

// The object that the current path names, followed from line to line within one load so that
// it needs no look-up: an object line makes the new object current, END its parent. Anything
// that may have moved the path stack or changed the tree behind the parser's back (action
// handlers, callers between lines) makes it unknown again, and it is looked up.
struct Cursor {
  bool m_known = false;
  vsnEntry* m_current = nullptr;
};

// The current object: NULL with *ok when the tree has no root yet (the update makes it), NULL
// without *ok when the current path has gone from the tree.
vsnEntry* currentParent(vsnHandle* h, Cursor* cursor, bool* ok) {
  if (cursor->m_known) {
    *ok = true;
    return cursor->m_current;
  }
  const char* current = getCurrentPathH(h);
  vsnEntry* e = findEntryH(h, current);
  *ok = e != nullptr || (strcmp(current, "/") == 0 && !h->m_root);
  return e;
}

// The END of a replace block: children named inside the block lose their tag, the others go,
// parameters first, then objects, each in creation order.
const char* sweepReplaced(vsnHandle* h) {
  vsnEntry* object = getCurrentObjectH(h);
  if (!object) return nullptr;
  char* path = strdup(getCurrentPathH(h));
  if (!path) return kMemoryError;
  const char* err = nullptr;
  for (int pass = 0; pass < 2 && !err; ++pass) {
    bool params = pass == 0;
    vsnEntry* next;
    for (vsnEntry* c = object->m_firstChild; c && !err; c = next) {
      next = c->m_next;
      if ((c->m_kind == VSN_KIND_PARAM) != params) continue;
      if (c->m_flags & VSN_FLAG_REPLACE) {
        c->m_flags &= ~static_cast<uint32_t>(VSN_FLAG_REPLACE);
        continue;
      }
      char* childPath = makeChildPath(path, c);
      if (!childPath) {
        err = kMemoryError;
        break;
      }
      err = params ? deleteParamH(h, childPath) : deleteObjH(h, childPath);
      free(childPath);
    }
  }
  free(path);
  return err;
}

const char* closeObject(vsnHandle* h, Cursor* cursor) {
  if (h->m_depth <= 0) return "parseVSNLineH: unmatched END";
  if (h->m_flagStack[h->m_depth] & VSN_FLAG_REPLACE) {
    const char* err = sweepReplaced(h);
    if (err) return err;
  }
  h->m_depth -= 1;
  // The object was made under the path now on top again: its parent is that path's object.
  if (cursor->m_known && cursor->m_current) {
    cursor->m_current = cursor->m_current->m_parent;
  } else {
    cursor->m_known = false;
  }
  return popPath(h);
}

const char* setParameter(vsnHandle* h, Cursor* cursor, char* text, char* equals) {
  *equals = '\0';
  char* name = trimWhiteSpace(text);
  char* value = trimWhiteSpace(equals + 1);
  const char* err = vsnCheckName(h, "parameter name", name);
  if (!err) err = vsnCheckValue(h, value);
  if (err) return err;
  bool ok;
  vsnEntry* parent = currentParent(h, cursor, &ok);
  vsnEntry* updated =
      ok ? vsnUpdateObject(h, parent, nullptr, name, value, VSN_KIND_PARAM, h->m_flagStack[h->m_depth]) : nullptr;
  if (!updated) return "parseVSNLineH: vsnUpdateObject failed";
  cursor->m_known = true;
  cursor->m_current = updated;  // the parent, made now when it was the missing root
  return nullptr;
}

const char* openObject(vsnHandle* h, Cursor* cursor, char* text, char* colon, bool replace) {
  *colon = '\0';
  char* type = trimWhiteSpace(text);
  char* name = trimWhiteSpace(colon + 1);
  const char* err = vsnCheckName(h, "object type", type);
  if (err) return err;
  bool singleton = !*name || strcmp(name, type) == 0;
  if (!singleton) {
    err = vsnCheckName(h, "object name", name);
    if (err) return err;
  }
  err = growFlagStack(h);
  if (err) return err;
  bool ok;
  vsnEntry* parent = currentParent(h, cursor, &ok);
  h->m_depth += 1;
  uint32_t level = h->m_flagStack[h->m_depth - 1] | (replace ? static_cast<uint32_t>(VSN_FLAG_REPLACE) : 0u);
  h->m_flagStack[h->m_depth] = level;
  vsnEntry* opened =
      ok ? vsnUpdateObject(h, parent, type, name, nullptr, singleton ? VSN_KIND_SINGLETON : VSN_KIND_OBJECT, level)
         : nullptr;
  if (!opened) {
    // Nothing was pushed: the level goes again, so that a reset pops no path of the caller's.
    h->m_depth -= 1;
    return "parseVSNLineH: vsnUpdateObject failed";
  }
  cursor->m_known = true;
  cursor->m_current = opened;
  return nullptr;
}

// One logical line, cleaned here in place.
const char* parseLogicalLine(vsnHandle* h, Cursor* cursor, char* line, unsigned flags) {
  stripComment(line);
  collapseWhiteSpace(line);
  trimWhiteSpace(line);
  if (line[0] == '!') return "parseVSNData: unable to handle power syntax with this version of the parser";
  if (!line[0]) return nullptr;

  char* text = line;
  bool replace = false;
  if (line[0] == '&') {
    static const char kReplace[] = "replace ";
    if (strncmp(line + 1, kReplace, sizeof kReplace - 1) != 0) {
      return setVSNErrorH(h, "parseVSNLineH: unknown directive near \"%s\"", line);
    }
    text = line + sizeof kReplace;
    replace = true;
  }

  const char* err = ensureFlagStack(h);
  if (err) return err;
  if (h->m_depth == 0) h->m_flagStack[0] = flags;

  if (strcmp(text, "END") == 0) {
    err = closeObject(h, cursor);
  } else if (text[0] == '>') {
    err = vsnRunActionLine(h, text);
    cursor->m_known = false;
  } else if (char* equals = strchr(text, '=')) {
    err = setParameter(h, cursor, text, equals);
  } else if (char* colon = strchr(text, ':')) {
    err = openObject(h, cursor, text, colon, replace);
  } else {
    err = setVSNErrorH(h, "parseVSNLineH: syntax error near \"%s\"", line);
  }
  if (!err && replace) vsnNotifyReplace(h, getCurrentPathH(h));
  return err;
}

// Takes the pending text away from the handle.
char* takePending(vsnHandle* h) {
  char* text = h->m_pendingLine;
  h->m_pendingLine = nullptr;
  return text;
}

const char* parsePhysicalLine(vsnHandle* h, Cursor* cursor, const char* line, unsigned flags) {
  if (!line) line = "";
  size_t start, length;
  trimmedBounds(line, &start, &length);
  bool continued = length > 0 && line[start + length - 1] == '\\';

  if (!h->m_pendingLine && !continued) {
    // The common case: a whole logical line, cleaned in a buffer of our own.
    char small[512];
    char* text = length < sizeof small ? small : static_cast<char*>(malloc(length + 1));
    if (!text) return kMemoryError;
    memcpy(text, line + start, length);
    text[length] = '\0';
    const char* err = parseLogicalLine(h, cursor, text, flags);
    if (text != small) free(text);
    return err;
  }

  // Join the piece to the pending text, nothing between them.
  size_t pending = h->m_pendingLine ? strlen(h->m_pendingLine) : 0;
  char* joined = static_cast<char*>(realloc(h->m_pendingLine, pending + length + 1));
  if (!joined) {
    free(takePending(h));
    return kMemoryError;
  }
  memcpy(joined + pending, line + start, length);
  joined[pending + length] = '\0';
  h->m_pendingLine = joined;
  if (pending + length > 0 && joined[pending + length - 1] == '\\') {
    joined[pending + length - 1] = '\0';
    return nullptr;  // the logical line goes on in the next physical line
  }
  char* logical = takePending(h);
  const char* err = parseLogicalLine(h, cursor, logical, flags);
  free(logical);
  return err;
}

} // namespace

const char* parseVSNLineH(vsnHandle* h, const char* line, unsigned flags) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  Cursor cursor;
  return parsePhysicalLine(h, &cursor, line, flags);
}

void vsnDigestLines(const vsnArray* lines, unsigned char digest[VSN_DIGEST_SIZE]) {
  zyrMD5Context context;
  MD5Init(&context);
  int32_t n = vsnArrayCount(lines);
  char** strings = vsnArrayStrings(lines);
  for (int32_t i = 0; i < n && strings; ++i) {
    if (strings[i]) MD5Update(&context, strings[i], strlen(strings[i]));
  }
  MD5Final(digest, &context);
}

const char* parseVSNData(vsnHandle* h, const vsnArray* lines, unsigned flags, const unsigned char* expectedDigest,
                         unsigned char* outDigest) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  if (!lines || lines->m_kind != VSN_ARRAY_STRING) return "parseVSNData: Invalid arguments";
  if (expectedDigest || outDigest) {
    unsigned char digest[VSN_DIGEST_SIZE];
    vsnDigestLines(lines, digest);
    if (outDigest) memcpy(outDigest, digest, VSN_DIGEST_SIZE);
    if (expectedDigest && memcmp(expectedDigest, digest, VSN_DIGEST_SIZE) == 0) flags |= VSN_LOAD_UNCHANGED;
  }

  if (!h->m_pathTable) {
    h->m_pathTable = vsnHashNew(1);
    if (!h->m_pathTable) return kMemoryError;
  }
  int32_t n = vsnArrayCount(lines);
  vsnHashReserve(h->m_pathTable, n / 2);

  int32_t noted = h->m_depth;
  char** strings = vsnArrayStrings(lines);
  const char* err = nullptr;
  Cursor cursor;
  for (int32_t i = 0; i < n && !err; ++i) err = parsePhysicalLine(h, &cursor, strings[i], flags);
  if (!err && h->m_pendingLine) {
    // Input ending in a continued line: that line ends with the input.
    char* last = takePending(h);
    err = parseLogicalLine(h, &cursor, last, flags);
    free(last);
  }
  if (err) {
    free(takePending(h));
    resetVSNStateH(h, noted);
    return err;
  }
  if (h->m_depth > noted) {
    int32_t missing = h->m_depth - noted;
    resetVSNStateH(h, noted);
    return setVSNErrorH(h, "%d missing END statement(s) in input", missing);
  }
  if (h->m_depth < noted) return setVSNErrorH(h, "%d too many END statement(s) in input", noted - h->m_depth);
  return nullptr;
}
