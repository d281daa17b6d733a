#ifndef ZYR_REGEXP_H
#define ZYR_REGEXP_H
// A small backtracking regular-expression engine. A pattern is compiled into a node program that
// is searched depth-first; up to ten groups are captured (group 0 is the whole match).
//
// Syntax: alternatives separated by "|"; pieces made of an atom and one optional "*", "+" or "?";
// atoms "^" (start of text), "$" (end of text), "." (any character), "(...)" (a group), "[...]"
// (a set, "[^...]" its complement), "\c" (the character c) and runs of ordinary characters.
//
// A malformed pattern is not fatal: compilation answers NULL with a message. The work of a search
// is bounded, so a pattern that would backtrack without end fails the search instead of hanging
// the caller. Misuse (NULL arguments, a damaged program) ends the process through regexp_error.
#include <cstdint>

enum { REGEXP_GROUPS = 10 };

struct regexp {
  // Positions of the groups in the text of the latest search (NULL when a group took no part);
  // an end is one past the group's last character.
  const char *m_start[REGEXP_GROUPS];
  const char *m_end[REGEXP_GROUPS];
  char m_firstChar;      // a character every match begins with, or 0
  char m_anchored;       // 1 when a match can only begin at the start of the text
  const char *m_must;    // a literal run inside the program that every match contains, or NULL
  int32_t m_mustLength;
  char m_exhausted;      // 1 when the latest search gave up on its work budget
  char m_hasFirstSet;    // 1 when m_firstSet holds every character a match can begin with
  unsigned char m_firstSet[32]; // bit c set for each such character c
  int32_t m_rejectSteps; // the steps a try at any other character takes
  unsigned char m_program[1]; // the magic byte and the nodes
};

// Compiles a pattern into a new program (released with the runtime's free). A malformed pattern
// gives NULL and, when message is given, a static description of the fault.
regexp *regexp_compile(const char *pattern, const char **message = nullptr);
// 1 when the pattern matches somewhere in the text; fills the group positions.
int regexp_execute(regexp *program, const char *text);
// 1 when the pattern matches the whole text (from its first character to its terminator).
int regexp_executeWhole(regexp *program, const char *text);
// Expands the template with the groups of the latest search into destination, which must be large
// enough: "&" and "\0" to "\9" insert groups, "\\" and "\&" the character itself.
void regexp_substitute(const regexp *program, const char *source, char *destination);
// Reports misuse of the engine on the standard error stream and ends the process with status 1.
[[noreturn]] void regexp_error(const char *message);

// The number of node steps one search may take before it gives up (default 1,000,000); answers the
// previous limit.
int64_t regexp_setStepLimit(int64_t limit);

#endif
