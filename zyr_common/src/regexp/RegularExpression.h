#ifndef ZYR_REGULAREXPRESSION_H
#define ZYR_REGULAREXPRESSION_H
// One compiled pattern with its pattern text. Captured strings refer to the text of the latest
// search, which the caller keeps alive until it has read them. Every string result is a new heap
// string that the caller releases with zyrCString_free.
//
// A malformed pattern never ends the process: creation answers NULL and the setters answer 0
// (leaving the record as it was), with a description of the fault in *message when asked.
#include <cstdint>
#include <cstdio>

struct regexp;

struct RegularExpression {
  regexp *m_program;
  char *m_pattern;
};

RegularExpression *RegularExpression_new(const char *pattern, const char **message = nullptr);
void RegularExpression_delete(RegularExpression *expression);
void RegularExpression_print(const RegularExpression *expression, FILE *stream);

int RegularExpression_setPattern(RegularExpression *expression, const char *pattern,
                                 const char **message = nullptr);
char *RegularExpression_getPattern(const RegularExpression *expression);
// Converts a file-name pattern ("*" any run, "?" any character) into a pattern and compiles it.
int RegularExpression_setGlob(RegularExpression *expression, const char *glob,
                              const char **message = nullptr);

// 1 when the pattern matches somewhere in the text.
int RegularExpression_match(RegularExpression *expression, const char *text);
// 1 when the pattern matches the whole text. Debug rules use it on function names, so the rule
// "Region_new" applies to Region_new and not to Region_newFromFile.
int RegularExpression_exactMatch(RegularExpression *expression, const char *text);

// Group i (0 to 9) of the latest match; empty when the group took no part.
char *RegularExpression_getCapturedString(const RegularExpression *expression, int i);
int32_t RegularExpression_getCapturedStringLength(const RegularExpression *expression, int i);
char *RegularExpression_getMatchedString(const RegularExpression *expression);
int32_t RegularExpression_getMatchedStringLength(const RegularExpression *expression);
// Expands the template with the latest match: "&" the whole match, "\n" group n.
char *RegularExpression_substitute(const RegularExpression *expression, const char *templateText);

#endif
