// The regular-expression engine. Compilation runs the parser twice over the pattern: once to
// count the bytes of the node program, once to write them into a single allocation. A node is
// one kind byte, a 16-bit distance to the next node (high byte first, 0 for none, counted
// backwards for a back jump) and its operand. Searching walks the nodes depth-first, trying
// alternatives in order and giving back characters of greedy repetitions one at a time.
#include "regexp.h"

#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

enum NodeKind : unsigned char {
  END = 0,      // success
  BOL = 1,      // start of the searched text
  EOL = 2,      // terminator of the text
  ANY = 3,      // any one character
  ANYOF = 4,    // one character of the operand set
  ANYBUT = 5,   // one character outside the operand set
  ALT = 6,      // try the operand, then the next alternative
  BACK = 7,     // loop link, matches nothing
  EXACTLY = 8,  // the operand characters
  EMPTY = 9,    // the empty string
  STAR = 10,    // greedy zero-or-more of the single-character node that follows
  PLUS = 11,    // greedy one-or-more of it
  OPEN = 20,    // OPEN + n records the start of group n
  CLOSE = 30,   // CLOSE + n records its end
};

const unsigned char MAGIC = 0234;
const int64_t MAX_PROGRAM = 32767;  // node bytes, magic included
const int MAX_DEPTH = 2000;         // nested matcher calls of one search
int64_t g_stepLimit = 1000000;

// Properties of a parsed piece.
enum { HAS_WIDTH = 1, SINGLE_CHAR = 2, STARTS_REPEAT = 4 };

const char *const kEndsRun = "^$.[()|?+*\\";

inline bool isRepeat(char c) { return c == '*' || c == '+' || c == '?'; }

// Parser state. While code is NULL the parser only counts the bytes it would write.
struct Compiler {
  const char *at;
  int groups;
  unsigned char *code;
  int64_t size;
  const char *error;
};

int fail(Compiler &c, const char *message) {
  if (c.error == nullptr)
    c.error = message;
  return -1;
}

void emitByte(Compiler &c, unsigned char byte) {
  if (c.error != nullptr)
    return;
  if (c.size >= MAX_PROGRAM - 1) {
    fail(c, "regexp too big");
    return;
  }
  if (c.code != nullptr)
    c.code[c.size] = byte;
  ++c.size;
}

int emitNode(Compiler &c, unsigned char kind) {
  const int at = static_cast<int>(c.size);
  emitByte(c, kind);
  emitByte(c, 0);
  emitByte(c, 0);
  return c.error != nullptr ? -1 : at;
}

// Moves the node at `at` (and everything after it) three bytes on and puts a new node in front.
void insertNode(Compiler &c, unsigned char kind, int at) {
  if (c.error != nullptr)
    return;
  if (c.size + 3 >= MAX_PROGRAM) {
    fail(c, "regexp too big");
    return;
  }
  if (c.code != nullptr) {
    std::memmove(c.code + at + 3, c.code + at, static_cast<size_t>(c.size - at));
    c.code[at] = kind;
    c.code[at + 1] = 0;
    c.code[at + 2] = 0;
  }
  c.size += 3;
}

int nextNode(const Compiler &c, int node) {
  const int distance = (c.code[node + 1] << 8) | c.code[node + 2];
  if (distance == 0)
    return -1;
  return c.code[node] == BACK ? node - distance : node + distance;
}

// Links the last node of the chain starting at `node` to `target`.
void linkTail(Compiler &c, int node, int target) {
  if (c.code == nullptr || c.error != nullptr || node < 0 || target < 0)
    return;
  int last = node;
  for (int next = nextNode(c, last); next >= 0; next = nextNode(c, next))
    last = next;
  const int distance = c.code[last] == BACK ? last - target : target - last;
  c.code[last + 1] = static_cast<unsigned char>((distance >> 8) & 0xff);
  c.code[last + 2] = static_cast<unsigned char>(distance & 0xff);
}

// For an alternative node: links the end of its operand chain to `target`.
void linkOperandTail(Compiler &c, int node, int target) {
  if (c.code == nullptr || c.error != nullptr || node < 0 || c.code[node] != ALT)
    return;
  linkTail(c, node + 3, target);
}

int parseAlternatives(Compiler &c, bool inGroup, int *flags);

int parseSet(Compiler &c, int *flags) {
  int node;
  if (*c.at == '^') {
    node = emitNode(c, ANYBUT);
    ++c.at;
  } else {
    node = emitNode(c, ANYOF);
  }
  if (*c.at == ']' || *c.at == '-')
    emitByte(c, static_cast<unsigned char>(*c.at++));
  while (*c.at != '\0' && *c.at != ']' && c.error == nullptr) {
    if (*c.at != '-') {
      emitByte(c, static_cast<unsigned char>(*c.at++));
      continue;
    }
    ++c.at;
    if (*c.at == ']' || *c.at == '\0') {
      emitByte(c, '-');
      continue;
    }
    // The first character of the range was added as a member already.
    const int first = static_cast<unsigned char>(c.at[-2]);
    const int last = static_cast<unsigned char>(c.at[0]);
    if (last < first - 1)
      return fail(c, "invalid [] range");
    for (int member = first + 1; member <= last; ++member)
      emitByte(c, static_cast<unsigned char>(member));
    ++c.at;
  }
  emitByte(c, 0);
  if (*c.at != ']')
    return fail(c, "unmatched []");
  ++c.at;
  *flags = HAS_WIDTH | SINGLE_CHAR;
  return c.error != nullptr ? -1 : node;
}

int parseAtom(Compiler &c, int *flags) {
  *flags = 0;
  const char ch = *c.at++;
  switch (ch) {
  case '^':
    return emitNode(c, BOL);
  case '$':
    return emitNode(c, EOL);
  case '.':
    *flags = HAS_WIDTH | SINGLE_CHAR;
    return emitNode(c, ANY);
  case '[':
    return parseSet(c, flags);
  case '(': {
    int inner = 0;
    const int node = parseAlternatives(c, true, &inner);
    *flags = inner & (HAS_WIDTH | STARTS_REPEAT);
    return node;
  }
  case '\0':
  case '|':
  case ')':
    return fail(c, "internal urp");
  case '?':
  case '+':
  case '*':
    return fail(c, "?+* follows nothing");
  case '\\': {
    if (*c.at == '\0')
      return fail(c, "trailing \\");
    const int node = emitNode(c, EXACTLY);
    emitByte(c, static_cast<unsigned char>(*c.at++));
    emitByte(c, 0);
    *flags = HAS_WIDTH | SINGLE_CHAR;
    return c.error != nullptr ? -1 : node;
  }
  default: {
    --c.at;
    size_t length = std::strcspn(c.at, kEndsRun);
    if (length == 0)
      return fail(c, "internal disaster");
    // An operator after a longer run applies to its last character alone.
    if (length > 1 && isRepeat(c.at[length]))
      --length;
    *flags = HAS_WIDTH | (length == 1 ? SINGLE_CHAR : 0);
    const int node = emitNode(c, EXACTLY);
    for (; length > 0 && c.error == nullptr; --length)
      emitByte(c, static_cast<unsigned char>(*c.at++));
    emitByte(c, 0);
    return c.error != nullptr ? -1 : node;
  }
  }
}

int parsePiece(Compiler &c, int *flags) {
  int atomFlags = 0;
  const int atom = parseAtom(c, &atomFlags);
  if (atom < 0)
    return -1;
  const char op = *c.at;
  if (!isRepeat(op)) {
    *flags = atomFlags;
    return atom;
  }
  if (!(atomFlags & HAS_WIDTH) && op != '?')
    return fail(c, "*+ operand could be empty");
  *flags = op == '+' ? HAS_WIDTH : STARTS_REPEAT;

  if (op == '*' && (atomFlags & SINGLE_CHAR)) {
    insertNode(c, STAR, atom);
  } else if (op == '*') {
    // ALT(atom BACK->ALT) ALT(EMPTY): take the atom and loop, or take nothing.
    insertNode(c, ALT, atom);
    linkOperandTail(c, atom, emitNode(c, BACK));
    linkOperandTail(c, atom, atom);
    linkTail(c, atom, emitNode(c, ALT));
    linkTail(c, atom, emitNode(c, EMPTY));
  } else if (op == '+' && (atomFlags & SINGLE_CHAR)) {
    insertNode(c, PLUS, atom);
  } else if (op == '+') {
    // atom ALT(BACK->atom) ALT(EMPTY): the atom once, then loop or go on.
    const int loop = emitNode(c, ALT);
    linkTail(c, atom, loop);
    linkTail(c, emitNode(c, BACK), atom);
    linkTail(c, loop, emitNode(c, ALT));
    linkTail(c, atom, emitNode(c, EMPTY));
  } else {
    // ALT(atom) ALT(EMPTY), both joining at the empty node.
    insertNode(c, ALT, atom);
    linkTail(c, atom, emitNode(c, ALT));
    const int empty = emitNode(c, EMPTY);
    linkTail(c, atom, empty);
    linkOperandTail(c, atom, empty);
  }
  ++c.at;
  if (isRepeat(*c.at))
    return fail(c, "nested *?+");
  return c.error != nullptr ? -1 : atom;
}

int parseBranch(Compiler &c, int *flags) {
  *flags = 0;
  const int alternative = emitNode(c, ALT);
  if (alternative < 0)
    return -1;
  int previous = -1;
  while (*c.at != '\0' && *c.at != '|' && *c.at != ')') {
    int pieceFlags = 0;
    const int piece = parsePiece(c, &pieceFlags);
    if (piece < 0)
      return -1;
    *flags |= pieceFlags & HAS_WIDTH;
    if (previous < 0)
      *flags |= pieceFlags & STARTS_REPEAT;
    else
      linkTail(c, previous, piece);
    previous = piece;
  }
  if (previous < 0 && emitNode(c, EMPTY) < 0)
    return -1;
  return alternative;
}

// A whole pattern, or the inside of a group when inGroup (the "(" has been read).
int parseAlternatives(Compiler &c, bool inGroup, int *flags) {
  *flags = HAS_WIDTH;
  int group = 0;
  int start = -1;
  if (inGroup) {
    if (c.groups >= REGEXP_GROUPS)
      return fail(c, "too many ()");
    group = c.groups++;
    start = emitNode(c, static_cast<unsigned char>(OPEN + group));
    if (start < 0)
      return -1;
  }
  for (bool first = true;; first = false) {
    if (!first)
      ++c.at; // the "|"
    int branchFlags = 0;
    const int branch = parseBranch(c, &branchFlags);
    if (branch < 0)
      return -1;
    if (start < 0)
      start = branch;
    else
      linkTail(c, start, branch);
    if (!(branchFlags & HAS_WIDTH))
      *flags &= ~HAS_WIDTH;
    *flags |= branchFlags & STARTS_REPEAT;
    if (*c.at != '|')
      break;
  }
  const int ender = emitNode(c, static_cast<unsigned char>(inGroup ? CLOSE + group : END));
  if (ender < 0)
    return -1;
  linkTail(c, start, ender);
  if (c.code != nullptr)
    for (int node = start; node >= 0; node = nextNode(c, node))
      linkOperandTail(c, node, ender);

  if (inGroup) {
    if (*c.at != ')')
      return fail(c, "unmatched ()");
    ++c.at;
  } else if (*c.at != '\0') {
    return fail(c, *c.at == ')' ? "unmatched ()"
                                : "junk on end");
  }
  return c.error != nullptr ? -1 : start;
}

int compilePass(Compiler &c, const char *pattern, unsigned char *code) {
  c = Compiler{pattern, 1, code, 0, nullptr};
  emitByte(c, MAGIC);
  int flags = 0;
  parseAlternatives(c, false, &flags);
  return flags;
}

// ---- searching ----

struct Matcher {
  regexp *program;
  const char *textStart;
  const char *input;
  int64_t steps;
  int depth;
  bool whole;
  bool exhausted;
};

inline const unsigned char *followingNode(const unsigned char *node) {
  const int distance = (node[1] << 8) | node[2];
  if (distance == 0)
    return nullptr;
  return node[0] == BACK ? node - distance : node + distance;
}

inline const char *operandText(const unsigned char *node) {
  return reinterpret_cast<const char *>(node + 3);
}

inline bool spend(Matcher &m, int64_t steps) {
  m.steps += steps;
  if (m.steps > g_stepLimit)
    m.exhausted = true;
  return !m.exhausted;
}

// Takes as many characters as the single-character node accepts; answers how many.
int64_t takeRepeats(Matcher &m, const unsigned char *node) {
  const char *s = m.input;
  const char *operand = operandText(node);
  switch (node[0]) {
  case ANY:
    s += std::strlen(s);
    break;
  case EXACTLY:
    while (*s != '\0' && *s == *operand)
      ++s;
    break;
  case ANYOF:
    while (*s != '\0' && std::strchr(operand, *s) != nullptr)
      ++s;
    break;
  case ANYBUT:
    while (*s != '\0' && std::strchr(operand, *s) == nullptr)
      ++s;
    break;
  default:
    regexp_error("internal foulup");
  }
  const int64_t count = s - m.input;
  spend(m, count);
  m.input = s;
  return count;
}

int matchNodes(Matcher &m, const unsigned char *scan);

int matchNested(Matcher &m, const unsigned char *scan) {
  if (m.depth >= MAX_DEPTH) {
    m.exhausted = true;
    return 0;
  }
  ++m.depth;
  const int result = matchNodes(m, scan);
  --m.depth;
  return result;
}

int matchNodes(Matcher &m, const unsigned char *scan) {
  while (scan != nullptr) {
    if (!spend(m, 1))
      return 0;
    const unsigned char *next = followingNode(scan);
    const unsigned char kind = scan[0];
    switch (kind) {
    case BOL:
      if (m.input != m.textStart)
        return 0;
      break;
    case EOL:
      if (*m.input != '\0')
        return 0;
      break;
    case ANY:
      if (*m.input == '\0')
        return 0;
      ++m.input;
      break;
    case EXACTLY: {
      const char *literal = operandText(scan);
      const size_t length = std::strlen(literal);
      if (*literal != *m.input || std::strncmp(literal, m.input, length) != 0)
        return 0;
      m.input += length;
      break;
    }
    case ANYOF:
      if (*m.input == '\0' || std::strchr(operandText(scan), *m.input) == nullptr)
        return 0;
      ++m.input;
      break;
    case ANYBUT:
      if (*m.input == '\0' || std::strchr(operandText(scan), *m.input) != nullptr)
        return 0;
      ++m.input;
      break;
    case EMPTY:
    case BACK:
      break;
    case ALT:
      if (next == nullptr || next[0] != ALT) {
        next = scan + 3; // a single alternative leaves no choice
        break;
      }
      do {
        const char *saved = m.input;
        if (matchNested(m, scan + 3))
          return 1;
        if (m.exhausted)
          return 0;
        m.input = saved;
        scan = followingNode(scan);
      } while (scan != nullptr && scan[0] == ALT);
      return 0;
    case STAR:
    case PLUS: {
      // Only positions holding the first character of a literal that follows can succeed.
      const char nextChar = (next != nullptr && next[0] == EXACTLY) ? *operandText(next) : '\0';
      const int64_t least = kind == STAR ? 0 : 1;
      const char *saved = m.input;
      for (int64_t count = takeRepeats(m, scan + 3); count >= least; --count) {
        m.input = saved + count;
        if ((nextChar == '\0' || *m.input == nextChar) && matchNested(m, next))
          return 1;
        if (m.exhausted || !spend(m, 1))
          return 0;
      }
      return 0;
    }
    case END:
      return m.whole ? *m.input == '\0' : 1;
    default:
      if (kind > OPEN && kind < OPEN + REGEXP_GROUPS) {
        const int group = kind - OPEN;
        const char *saved = m.input;
        if (!matchNested(m, next))
          return 0;
        // A later pass through the same group has already recorded itself.
        if (m.program->m_start[group] == nullptr)
          m.program->m_start[group] = saved;
        return 1;
      }
      if (kind > CLOSE && kind < CLOSE + REGEXP_GROUPS) {
        const int group = kind - CLOSE;
        const char *saved = m.input;
        if (!matchNested(m, next))
          return 0;
        if (m.program->m_end[group] == nullptr)
          m.program->m_end[group] = saved;
        return 1;
      }
      regexp_error("memory corruption");
    }
    scan = next;
  }
  regexp_error("corrupted pointers");
}

void clearGroups(regexp *program) {
  for (int i = 0; i < REGEXP_GROUPS; ++i) {
    program->m_start[i] = nullptr;
    program->m_end[i] = nullptr;
  }
}

int tryAt(Matcher &m, const char *position) {
  clearGroups(m.program);
  m.input = position;
  if (!matchNested(m, m.program->m_program + 1)) {
    clearGroups(m.program);
    return 0;
  }
  m.program->m_start[0] = position;
  m.program->m_end[0] = m.input;
  return 1;
}

int search(regexp *program, const char *text, bool whole) {
  if (program == nullptr || text == nullptr)
    regexp_error("NULL parameter");
  if (program->m_program[0] != MAGIC)
    regexp_error("corrupted program");
  clearGroups(program);
  program->m_exhausted = 0;
  if (program->m_must != nullptr && std::strstr(text, program->m_must) == nullptr)
    return 0;

  Matcher m{program, text, text, 0, 0, whole, false};
  int found = 0;
  if (program->m_anchored || whole) {
    if (program->m_firstChar == '\0' || *text == program->m_firstChar)
      found = tryAt(m, text);
  } else if (program->m_firstChar != '\0') {
    for (const char *s = std::strchr(text, program->m_firstChar); s != nullptr && !m.exhausted;
         s = std::strchr(s + 1, program->m_firstChar))
      if ((found = tryAt(m, s)) != 0)
        break;
  } else if (program->m_hasFirstSet) {
    // As below, but a position whose character cannot begin a match is passed over for the
    // steps its try would take, so that the work budget runs out exactly where it would.
    const unsigned char *set = program->m_firstSet;
    for (const char *s = text; !m.exhausted; ++s) {
      const unsigned char c = static_cast<unsigned char>(*s);
      if (c != 0 && (set[c >> 3] >> (c & 7) & 1) != 0) {
        if ((found = tryAt(m, s)) != 0)
          break;
      } else {
        spend(m, program->m_rejectSteps);
        if (c == 0)
          break;
      }
    }
  } else {
    // Every position, the terminator included (an empty match can end the text).
    for (const char *s = text; !m.exhausted; ++s) {
      if ((found = tryAt(m, s)) != 0 || *s == '\0')
        break;
    }
  }
  program->m_exhausted = m.exhausted ? 1 : 0;
  if (m.exhausted && found == 0)
    clearGroups(program);
  return found;
}

// Adds the characters a match of the nodes from `scan` can begin with; false when that is not
// known simply (the nodes can match the empty string, an anchor or any character comes first).
bool addFirstSet(const unsigned char *scan, unsigned char set[32], int depth) {
  if (scan == nullptr || depth > 64)
    return false;
  auto add = [set](unsigned char c) { set[c >> 3] |= static_cast<unsigned char>(1u << (c & 7)); };
  const unsigned char kind = scan[0];
  switch (kind) {
  case EXACTLY:
    add(static_cast<unsigned char>(*operandText(scan)));
    return true;
  case ANYOF:
  case ANYBUT:
    for (int c = 1; c < 256; ++c)
      if ((std::strchr(operandText(scan), c) != nullptr) == (kind == ANYOF))
        add(static_cast<unsigned char>(c));
    return true;
  case PLUS:
    return addFirstSet(scan + 3, set, depth + 1);
  case ALT: {
    const unsigned char *next = followingNode(scan);
    if (next == nullptr || next[0] != ALT)
      return addFirstSet(scan + 3, set, depth + 1);
    for (; scan != nullptr && scan[0] == ALT; scan = followingNode(scan))
      if (!addFirstSet(scan + 3, set, depth + 1))
        return false;
    return true;
  }
  default:
    if (kind > OPEN && kind < OPEN + REGEXP_GROUPS)
      return addFirstSet(followingNode(scan), set, depth + 1);
    return false;
  }
}

// The set of characters a match can begin with, and the steps a try at any other character
// takes (the same for all of them: every path fails at its first character node), measured by
// one such try.
void setFirstSet(regexp *program) {
  unsigned char set[32] = {};
  if (!addFirstSet(program->m_program + 1, set, 0))
    return;
  int outside = 1;
  while (outside < 256 && (set[outside >> 3] >> (outside & 7) & 1) != 0)
    ++outside;
  if (outside == 256)
    return;
  const char text[2] = {static_cast<char>(outside), '\0'};
  Matcher m{program, text, text, 0, 0, false, false};
  if (tryAt(m, text) != 0 || m.exhausted || m.steps > INT32_MAX)
    return;
  clearGroups(program);
  std::memcpy(program->m_firstSet, set, sizeof set);
  program->m_rejectSteps = static_cast<int32_t>(m.steps);
  program->m_hasFirstSet = 1;
}

} // namespace

regexp *regexp_compile(const char *pattern, const char **message) {
  if (pattern == nullptr)
    regexp_error("NULL argument");
  if (message != nullptr)
    *message = nullptr;

  Compiler c{};
  const int flags = compilePass(c, pattern, nullptr);
  if (c.error != nullptr) {
    if (message != nullptr)
      *message = c.error;
    return nullptr;
  }
  const int64_t size = c.size;
  auto *program = static_cast<regexp *>(std::calloc(1, sizeof(regexp) + static_cast<size_t>(size)));
  if (program == nullptr) {
    if (message != nullptr)
      *message = "out of space";
    return nullptr;
  }
  compilePass(c, pattern, program->m_program);
  if (c.error != nullptr || c.size != size) {
    std::free(program);
    if (message != nullptr)
      *message = "internal urp";
    return nullptr;
  }

  // Hints, only for a single top-level alternative (its next node is the end).
  const unsigned char *first = program->m_program + 1;
  const unsigned char *after = followingNode(first);
  if (after != nullptr && after[0] == END) {
    const unsigned char *scan = first + 3;
    if (scan[0] == EXACTLY)
      program->m_firstChar = *operandText(scan);
    else if (scan[0] == BOL)
      program->m_anchored = 1;

    if (flags & STARTS_REPEAT) {
      // The longest literal standing directly in the alternative must be in every match.
      const char *longest = nullptr;
      size_t longestLength = 0;
      for (; scan != nullptr; scan = followingNode(scan)) {
        if (scan[0] != EXACTLY)
          continue;
        const size_t length = std::strlen(operandText(scan));
        if (length >= longestLength) {
          longest = operandText(scan);
          longestLength = length;
        }
      }
      program->m_must = longest;
      program->m_mustLength = static_cast<int32_t>(longestLength);
    }
  }
  setFirstSet(program);
  return program;
}

int regexp_execute(regexp *program, const char *text) { return search(program, text, false); }

int regexp_executeWhole(regexp *program, const char *text) { return search(program, text, true); }

void regexp_substitute(const regexp *program, const char *source, char *destination) {
  if (program == nullptr || source == nullptr || destination == nullptr)
    regexp_error("NULL parm to regsub");
  if (program->m_program[0] != MAGIC)
    regexp_error("damaged regexp fed to regsub");
  char *out = destination;
  for (char c; (c = *source++) != '\0';) {
    int group = -1;
    if (c == '&')
      group = 0;
    else if (c == '\\' && *source >= '0' && *source <= '9')
      group = *source++ - '0';
    if (group < 0) {
      if (c == '\\' && (*source == '\\' || *source == '&'))
        c = *source++;
      *out++ = c;
      continue;
    }
    const char *start = program->m_start[group];
    const char *end = program->m_end[group];
    if (start == nullptr || end == nullptr || end <= start)
      continue;
    const size_t length = static_cast<size_t>(end - start);
    if (strnlen(start, length) != length)
      regexp_error("damaged match string");
    std::memcpy(out, start, length);
    out += length;
  }
  *out = '\0';
}

void regexp_error(const char *message) {
  std::fprintf(stderr, "regexp(3): %s", message);
  std::fflush(stderr);
  std::exit(1);
}

int64_t regexp_setStepLimit(int64_t limit) {
  const int64_t previous = g_stepLimit;
  g_stepLimit = limit > 0 ? limit : 1;
  return previous;
}
