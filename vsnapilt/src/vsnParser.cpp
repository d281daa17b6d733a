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

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

const char kMemoryError[] = "parseVSNLineH: Memory allocation error";
const int32_t kFlagStackStep = 10;

bool isWhite(char c) { return vsnIsWhite(c); }

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
//
// Objects made by this load are fresh, and so is everything below them: m_freshFrom is the
// level of the outermost fresh object on the current path (the current object is fresh when
// the depth has reached it), INT32_MAX when there is none. A fresh object's children are all
// the load's own, so its short child lists stand in for the path table.
struct Cursor {
  bool m_known = false;
  vsnEntry* m_current = nullptr;
  int32_t m_freshFrom = INT32_MAX;

  bool currentIsFresh(const vsnHandle* h) const { return m_known && m_current && h->m_depth >= m_freshFrom; }
  void forget() {
    m_known = false;
    m_freshFrom = INT32_MAX;
  }
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
    cursor->forget();
  }
  if (h->m_depth < cursor->m_freshFrom) cursor->m_freshFrom = INT32_MAX;
  return popPath(h);
}

// A logical line cleaned in one pass: the comment cut off ("#" not after a backslash), every
// run of white space made one blank, none at either end; the first "=" and ":" noted (npos when
// absent). The same as stripComment, collapseWhiteSpace and trimWhiteSpace one after another.
struct CleanLine {
  char* m_text;
  size_t m_length;
  size_t m_equals;
  size_t m_colon;
  bool m_checkValue;  // a control byte or a "#" was kept: the value check has something to find
};

const size_t kNone = SIZE_MAX;

// What cleanLine does with a byte: copy it, take it for white space, end the text at it (a
// comment), note it, or ask the locale (bytes above 127, which vsnIsWhite gives to isspace).
enum CharClass : unsigned char { kPlain, kWhite, kHash, kEquals, kColon, kHigh, kControl };

struct CharClasses {
  unsigned char m_of[256];
  CharClasses() {
    for (int c = 0; c < 256; ++c) {
      m_of[c] = c > 127 ? kHigh : vsnIsWhite(static_cast<char>(c)) ? kWhite : c < 32 ? kControl : kPlain;
    }
    m_of[static_cast<unsigned char>('#')] = kHash;
    m_of[static_cast<unsigned char>('=')] = kEquals;
    m_of[static_cast<unsigned char>(':')] = kColon;
  }
};

// in and out may be the same buffer: nothing is written ahead of what has been read. out has
// room for n + 1 bytes.
CleanLine cleanLine(const char* in, size_t n, char* out) {
  static const CharClasses classes;
  CleanLine line{out, 0, kNone, kNone, false};
  size_t o = 0;
  bool blank = false;
  char previous = '\0';
  size_t i = 0;
#if defined(__SSE2__)
  // Sixteen bytes at a time while they need no cleaning: no control byte, none above 127, no
  // "#", no blank first or after another blank. Most lines are such text.
  unsigned blankBefore = 1;  // a blank at the very start is one to drop
  while (i + 16 <= n) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    const unsigned odd = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_or_si128(_mm_cmplt_epi8(v, _mm_set1_epi8(0x20)), _mm_cmpeq_epi8(v, _mm_set1_epi8('#')))));
    const unsigned blanks = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(' '))));
    if (odd | (blanks & ((blanks << 1) | blankBefore))) break;
    const unsigned equals = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('='))));
    const unsigned colons = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(':'))));
    if (equals && line.m_equals == kNone) line.m_equals = o + static_cast<size_t>(__builtin_ctz(equals));
    if (colons && line.m_colon == kNone) line.m_colon = o + static_cast<size_t>(__builtin_ctz(colons));
    previous = in[i + 15];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o), v);  // o <= i: nothing unread is overwritten
    o += 16;
    i += 16;
    blankBefore = blanks >> 15;
  }
  // A blank copied last becomes the pending blank of the loop below, which writes it only when
  // something other than white space follows.
  if (o > 0 && out[o - 1] == ' ') {
    --o;
    blank = true;
  }
#endif
  while (i < n) {
    char c = in[i];
    unsigned char k = classes.m_of[static_cast<unsigned char>(c)];
    if (k == kHigh) k = isWhite(c) ? kWhite : kPlain;
    if (k == kHash && previous != '\\') break;  // previous is '\0' at the start
    if (k == kWhite) {
      blank = o > 0;
      previous = c;
      ++i;
      continue;
    }
    if (blank) {
      out[o++] = ' ';
      blank = false;
    }
    if (k == kEquals && line.m_equals == kNone) line.m_equals = o;
    if (k == kColon && line.m_colon == kNone) line.m_colon = o;
    if (k == kControl || k == kHash) line.m_checkValue = true;
    out[o++] = c;
    ++i;
    // The run of plain ASCII bytes that follows, copied as it stands.
    while (i < n && classes.m_of[static_cast<unsigned char>(in[i])] == kPlain) out[o++] = in[i++];
    previous = out[o - 1];  // the last byte copied
  }
  out[o] = '\0';
  line.m_length = o;
  return line;
}

// text[0, at) and text(at, end) with the one blank that may stand next to text[at] left out; both
// end in a zero written over text. text starts with no blank and ends with none.
struct Split {
  char* m_left;
  size_t m_leftLength;
  char* m_right;
  size_t m_rightLength;
};

Split splitAt(char* text, size_t at, size_t end) {
  size_t leftEnd = at > 0 && text[at - 1] == ' ' ? at - 1 : at;
  size_t rightStart = at + 1 < end && text[at + 1] == ' ' ? at + 2 : at + 1;
  text[leftEnd] = '\0';
  text[at] = '\0';
  return Split{text, leftEnd, text + rightStart, end - rightStart};
}

// checkValue false: the line holds no byte that the value check refuses.
const char* setParameter(vsnHandle* h, Cursor* cursor, char* text, size_t equals, size_t end, bool checkValue) {
  Split s = splitAt(text, equals, end);
  const char* err = vsnCheckName(h, "parameter name", s.m_left);
  if (!err && checkValue) err = vsnCheckValue(h, s.m_right);
  if (err) return err;
  bool ok;
  vsnEntry* parent = currentParent(h, cursor, &ok);
  vsnEntry* updated =
      ok ? vsnUpdateCleanObject(h, parent, cursor->currentIsFresh(h), nullptr, 0, s.m_left, s.m_leftLength, s.m_right,
                                s.m_rightLength, VSN_KIND_PARAM, h->m_flagStack[h->m_depth], nullptr)
         : nullptr;
  if (!updated) return "parseVSNLineH: vsnUpdateObject failed";
  cursor->m_known = true;
  cursor->m_current = updated;  // the parent, made now when it was the missing root
  return nullptr;
}

const char* openObject(vsnHandle* h, Cursor* cursor, char* text, size_t colon, size_t end, bool replace) {
  Split s = splitAt(text, colon, end);
  const char* err = vsnCheckName(h, "object type", s.m_left);
  if (err) return err;
  bool singleton = s.m_rightLength == 0 ||
                   (s.m_rightLength == s.m_leftLength && memcmp(s.m_right, s.m_left, s.m_leftLength) == 0);
  if (!singleton) {
    err = vsnCheckName(h, "object name", s.m_right);
    if (err) return err;
  }
  err = growFlagStack(h);
  if (err) return err;
  bool ok;
  vsnEntry* parent = currentParent(h, cursor, &ok);
  bool parentFresh = cursor->currentIsFresh(h);
  bool created = false;
  h->m_depth += 1;
  uint32_t level = h->m_flagStack[h->m_depth - 1] | (replace ? static_cast<uint32_t>(VSN_FLAG_REPLACE) : 0u);
  h->m_flagStack[h->m_depth] = level;
  vsnEntry* opened =
      ok ? vsnUpdateCleanObject(h, parent, parentFresh, s.m_left, s.m_leftLength, s.m_right, s.m_rightLength, nullptr,
                                0, singleton ? VSN_KIND_SINGLETON : VSN_KIND_OBJECT, level, &created)
         : nullptr;
  if (!opened) {
    // Nothing was pushed: the level goes again, so that a reset pops no path of the caller's.
    h->m_depth -= 1;
    return "parseVSNLineH: vsnUpdateObject failed";
  }
  cursor->m_known = true;
  cursor->m_current = opened;
  if (created && h->m_depth < cursor->m_freshFrom) cursor->m_freshFrom = h->m_depth;
  return nullptr;
}

// One logical line of n bytes, cleaned into out (n + 1 bytes, which may be text itself).
const char* parseLogicalLine(vsnHandle* h, Cursor* cursor, const char* text, size_t n, char* out, unsigned flags) {
  CleanLine clean = cleanLine(text, n, out);
  char* line = clean.m_text;
  if (line[0] == '!') return "parseVSNData: unable to handle power syntax with this version of the parser";
  if (!line[0]) return nullptr;

  size_t skip = 0;
  bool replace = false;
  if (line[0] == '&') {
    static const char kReplace[] = "replace ";
    if (strncmp(line + 1, kReplace, sizeof kReplace - 1) != 0) {
      return setVSNErrorH(h, "parseVSNLineH: unknown directive near \"%s\"", line);
    }
    skip = sizeof kReplace;  // neither "=" nor ":" stands in "&replace "
    replace = true;
  }
  char* body = line + skip;
  size_t end = clean.m_length - skip;

  const char* err = ensureFlagStack(h);
  if (err) return err;
  if (h->m_depth == 0) h->m_flagStack[0] = flags;

  if (end == 3 && memcmp(body, "END", 3) == 0) {
    err = closeObject(h, cursor);
  } else if (body[0] == '>') {
    err = vsnRunActionLine(h, body);
    cursor->forget();
  } else if (clean.m_equals != kNone) {
    err = setParameter(h, cursor, body, clean.m_equals - skip, end, clean.m_checkValue);
  } else if (clean.m_colon != kNone) {
    err = openObject(h, cursor, body, clean.m_colon - skip, end, replace);
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

// A pending text parsed as the logical line it ends in, and freed.
const char* parsePending(vsnHandle* h, Cursor* cursor, unsigned flags) {
  char* logical = takePending(h);
  const char* err = parseLogicalLine(h, cursor, logical, strlen(logical), logical, flags);
  free(logical);
  return err;
}

// One physical line of n bytes (no zero among them).
const char* parsePhysicalLine(vsnHandle* h, Cursor* cursor, const char* line, size_t n, unsigned flags) {
  size_t start = 0;
#if defined(__SSE2__)
  // The blanks of an indentation, sixteen at a time.
  while (n - start >= 16) {
    unsigned blanks = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(line + start)), _mm_set1_epi8(' '))));
    if (blanks != 0xffff) {
      start += static_cast<size_t>(__builtin_ctz(~blanks));
      break;
    }
    start += 16;
  }
#endif
  while (start < n && isWhite(line[start])) ++start;
  while (n > start && isWhite(line[n - 1])) --n;
  size_t length = n - start;
  bool continued = length > 0 && line[n - 1] == '\\';

  if (!h->m_pendingLine && !continued) {
    // The common case: a whole logical line, cleaned into a buffer of our own.
    char small[512];
    char* out = length < sizeof small ? small : static_cast<char*>(malloc(length + 1));
    if (!out) return kMemoryError;
    const char* err = parseLogicalLine(h, cursor, line + start, length, out, flags);
    if (out != small) free(out);
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
  return parsePending(h, cursor, flags);
}

// The lines of a load, read one after the other: caller strings (NULL read as empty), or the
// lines of a block split at line feeds, each ending at its first zero byte.
struct StringLines {
  char* const* m_strings;
  size_t m_next = 0;
  const char* next(size_t* n) {
    const char* s = m_strings[m_next] ? m_strings[m_next] : "";
    ++m_next;
    *n = strlen(s);
    return s;
  }
};

// The first line feed in [p, end), or NULL. Lines are short: sixteen bytes at a time at once,
// rather than a call per line.
const char* nextLineFeed(const char* p, const char* end) {
#if defined(__SSE2__)
  const __m128i lf = _mm_set1_epi8('\n');
  for (; end - p >= 16; p += 16) {
    unsigned mask = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), lf)));
    if (mask) return p + __builtin_ctz(mask);
  }
#endif
  return static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
}

struct BlockLines {
  const char* m_p;
  const char* m_end;
  bool m_zeros;  // whether the block holds a zero byte at all
  const char* next(size_t* n) {
    if (m_p >= m_end) {
      // Past the last line: a count larger than the block's reads empty lines.
      *n = 0;
      return "";
    }
    const char* text = m_p;
    const char* lf = nextLineFeed(m_p, m_end);
    const char* stop = lf ? lf : m_end;
    size_t length = static_cast<size_t>(stop - text);
    if (m_zeros) {
      const char* zero = static_cast<const char*>(memchr(text, '\0', length));
      if (zero) length = static_cast<size_t>(zero - text);
    }
    m_p = stop + 1;
    *n = length;
    return text;
  }
};

template <typename Lines>
void digestLines(Lines lines, size_t n, unsigned char digest[VSN_DIGEST_SIZE]) {
  zyrMD5Context context;
  MD5Init(&context);
  for (size_t i = 0; i < n; ++i) {
    size_t length;
    const char* text = lines.next(&length);
    MD5Update(&context, text, length);
  }
  MD5Final(digest, &context);
}

template <typename Lines>
const char* parseLines(vsnHandle* h, Lines lines, size_t n, unsigned flags, const unsigned char* expectedDigest,
                       unsigned char* outDigest) {
  if (expectedDigest || outDigest) {
    unsigned char digest[VSN_DIGEST_SIZE];
    digestLines(lines, n, digest);
    if (outDigest) memcpy(outDigest, digest, VSN_DIGEST_SIZE);
    if (expectedDigest && memcmp(expectedDigest, digest, VSN_DIGEST_SIZE) == 0) flags |= VSN_LOAD_UNCHANGED;
  }

  if (!h->m_pathTable) {
    h->m_pathTable = vsnHashNew(1);
    if (!h->m_pathTable) return kMemoryError;
  }
  vsnHashReserve(h->m_pathTable, static_cast<int64_t>(n / 2));

  int32_t noted = h->m_depth;
  const char* err = nullptr;
  Cursor cursor;
  for (size_t i = 0; i < n && !err; ++i) {
    size_t length;
    const char* text = lines.next(&length);
    err = parsePhysicalLine(h, &cursor, text, length, flags);
  }
  // Input ending in a continued line: that line ends with the input.
  if (!err && h->m_pendingLine) err = parsePending(h, &cursor, flags);
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

} // namespace

const char* parseVSNLineH(vsnHandle* h, const char* line, unsigned flags) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  Cursor cursor;
  if (!line) line = "";
  return parsePhysicalLine(h, &cursor, line, strlen(line), flags);
}

void vsnDigestLines(const vsnArray* lines, unsigned char digest[VSN_DIGEST_SIZE]) {
  char** strings = vsnArrayStrings(lines);
  int32_t n = strings ? vsnArrayCount(lines) : 0;
  digestLines(StringLines{strings, 0}, n > 0 ? static_cast<size_t>(n) : 0u, digest);
}

const char* parseVSNData(vsnHandle* h, const vsnArray* lines, unsigned flags, const unsigned char* expectedDigest,
                         unsigned char* outDigest) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  if (!lines || lines->m_kind != VSN_ARRAY_STRING) return "parseVSNData: Invalid arguments";
  char** strings = vsnArrayStrings(lines);
  int32_t n = strings ? vsnArrayCount(lines) : 0;
  return parseLines(h, StringLines{strings, 0}, n > 0 ? static_cast<size_t>(n) : 0u, flags, expectedDigest, outDigest);
}

size_t vsnCountLines(const char* data, size_t size) {
  size_t n = 0;
  const char* p = data;
  const char* end = data + size;
#if defined(__SSE2__)
  // Line feeds counted in byte lanes, summed before a lane can overflow.
  const __m128i lf = _mm_set1_epi8('\n');
  while (end - p >= 16) {
    __m128i lanes = _mm_setzero_si128();
    for (int k = 0; k < 255 && end - p >= 16; ++k, p += 16) {
      lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), lf));
    }
    __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
    n += static_cast<size_t>(_mm_cvtsi128_si32(sums)) + static_cast<size_t>(_mm_extract_epi16(sums, 4));
  }
#endif
  for (; p < end; ++p) n += *p == '\n';
  return n + (size > 0 && data[size - 1] != '\n' ? 1 : 0);
}

const char* vsnParseBlock(vsnHandle* h, const char* data, size_t size, size_t lines, unsigned flags,
                          const unsigned char* expectedDigest, unsigned char* outDigest) {
  if (!h) return VSN_NO_HANDLE_TEXT;
  if (size > 0 && !data) return "parseVSNData: Invalid arguments";
  BlockLines block{data, data + size, size > 0 && memchr(data, '\0', size) != nullptr};
  return parseLines(h, block, lines, flags, expectedDigest, outDigest);
}
