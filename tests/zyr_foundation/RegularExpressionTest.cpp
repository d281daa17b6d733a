#include "RegularExpression.h"
#include "regexp.h"
#include "zyrCString.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>

namespace {

// Owns a compiled expression for the length of a test.
struct Expr {
  explicit Expr(const char *pattern) : re(RegularExpression_new(pattern, &message)) {}
  ~Expr() { RegularExpression_delete(re); }
  Expr(const Expr &) = delete;
  Expr &operator=(const Expr &) = delete;
  RegularExpression *re;
  const char *message = nullptr;
};

std::string take(char *text) {
  std::string copy = text ? text : "<null>";
  zyrCString_free(text);
  return copy;
}

std::string group(const Expr &e, int i) { return take(RegularExpression_getCapturedString(e.re, i)); }

// The message of a pattern that does not compile ("" when it does).
std::string compileError(const char *pattern) {
  const char *message = nullptr;
  regexp *program = regexp_compile(pattern, &message);
  std::free(program);
  return program ? "" : message;
}

TEST(RegularExpression, AlternativesMayBeEmpty) {
  Expr e("a|b|");
  ASSERT_NE(e.re, nullptr);
  EXPECT_EQ(RegularExpression_match(e.re, ""), 1);
  EXPECT_EQ(RegularExpression_match(e.re, "zzz"), 1);
  EXPECT_EQ(RegularExpression_getMatchedStringLength(e.re), 0);
  EXPECT_EQ(RegularExpression_match(e.re, "xb"), 1);
  EXPECT_EQ(group(e, 0), ""); // the empty alternative wins at the first position
  Expr empty("");
  EXPECT_EQ(RegularExpression_match(empty.re, "abc"), 1);
}

TEST(RegularExpression, RepeatedGroupKeepsItsLastPass) {
  Expr e("(a|b)*c");
  ASSERT_EQ(RegularExpression_match(e.re, "abac"), 1);
  EXPECT_EQ(group(e, 0), "abac");
  EXPECT_EQ(group(e, 1), "a");
  Expr f("(x(y)?)+z");
  ASSERT_EQ(RegularExpression_match(f.re, "xyxz"), 1);
  EXPECT_EQ(group(f, 1), "x");
  // Group 2 took part only in the first pass, and a pass that leaves it out does not clear it.
  EXPECT_EQ(group(f, 2), "y");
}

TEST(RegularExpression, GreedyRepetitions) {
  Expr plus("x+");
  ASSERT_EQ(RegularExpression_match(plus.re, "axxxb"), 1);
  EXPECT_EQ(group(plus, 0), "xxx");
  Expr star("x*");
  ASSERT_EQ(RegularExpression_match(star.re, "b"), 1);
  EXPECT_EQ(RegularExpression_getMatchedStringLength(star.re), 0);
  Expr back("a.*b");
  ASSERT_EQ(RegularExpression_match(back.re, "xaybzb!"), 1);
  EXPECT_EQ(group(back, 0), "aybzb");
  Expr question("colou?r");
  EXPECT_EQ(RegularExpression_match(question.re, "color"), 1);
  EXPECT_EQ(RegularExpression_match(question.re, "colour"), 1);
  EXPECT_EQ(RegularExpression_match(question.re, "colouur"), 0);
}

TEST(RegularExpression, OperatorAfterARunTakesItsLastCharacter) {
  Expr e("abc*");
  EXPECT_EQ(RegularExpression_exactMatch(e.re, "ab"), 1);
  EXPECT_EQ(RegularExpression_exactMatch(e.re, "abccc"), 1);
  EXPECT_EQ(RegularExpression_exactMatch(e.re, "abcabc"), 0);
  Expr g("(abc)+");
  EXPECT_EQ(RegularExpression_exactMatch(g.re, "abcabc"), 1);
}

TEST(RegularExpression, Sets) {
  Expr bracket("[]a]+");
  ASSERT_EQ(RegularExpression_match(bracket.re, "x]a]y"), 1);
  EXPECT_EQ(group(bracket, 0), "]a]");
  Expr dash("[a-]");
  ASSERT_EQ(RegularExpression_match(dash.re, "x-"), 1);
  EXPECT_EQ(group(dash, 0), "-");
  Expr lead("[-z]+");
  EXPECT_EQ(RegularExpression_exactMatch(lead.re, "-z-"), 1);
  Expr range("[a-cx]+");
  EXPECT_EQ(RegularExpression_exactMatch(range.re, "abcxa"), 1);
  EXPECT_EQ(RegularExpression_exactMatch(range.re, "abd"), 0);
  Expr chained("[a-c-e]+"); // a range may start where the last one ended
  EXPECT_EQ(RegularExpression_exactMatch(chained.re, "abcde"), 1);
  Expr negated("[^0-9]+");
  ASSERT_EQ(RegularExpression_match(negated.re, "12ab3"), 1);
  EXPECT_EQ(group(negated, 0), "ab");
  Expr negatedBracket("[^]]");
  EXPECT_EQ(RegularExpression_exactMatch(negatedBracket.re, "]"), 0);
  EXPECT_EQ(RegularExpression_exactMatch(negatedBracket.re, "x"), 1);
  // A range one step backwards is empty; only its first character is a member.
  Expr backwards("[b-a]");
  ASSERT_NE(backwards.re, nullptr);
  EXPECT_EQ(RegularExpression_match(backwards.re, "b"), 1);
  EXPECT_EQ(RegularExpression_match(backwards.re, "a"), 0);
  EXPECT_EQ(compileError("[z-a]"), "invalid [] range");
  EXPECT_EQ(compileError("[abc"), "unmatched []");
  EXPECT_EQ(compileError("[]"), "unmatched []");
}

TEST(RegularExpression, MalformedPatternsAreReportedNotFatal) {
  EXPECT_EQ(compileError("a**"), "nested *?+");
  EXPECT_EQ(compileError("a+?"), "nested *?+");
  EXPECT_EQ(compileError("(a*)*"), "*+ operand could be empty");
  EXPECT_EQ(compileError("()+"), "*+ operand could be empty");
  EXPECT_EQ(compileError("^*"), "*+ operand could be empty");
  EXPECT_EQ(compileError("(a*)?"), "");
  EXPECT_EQ(compileError("*a"), "?+* follows nothing");
  EXPECT_EQ(compileError("a|*"), "?+* follows nothing");
  EXPECT_EQ(compileError("(ab"), "unmatched ()");
  EXPECT_EQ(compileError("ab)"), "unmatched ()");
  EXPECT_EQ(compileError("ab\\"), "trailing \\");
  EXPECT_EQ(compileError("(1)(2)(3)(4)(5)(6)(7)(8)(9)"), "");
  EXPECT_EQ(compileError("(1)(2)(3)(4)(5)(6)(7)(8)(9)(10)"), "too many ()");
  EXPECT_EQ(compileError("((((((((((x))))))))))"), "too many ()");

  const char *message = nullptr;
  EXPECT_EQ(RegularExpression_new("a**", &message), nullptr);
  EXPECT_STREQ(message, "nested *?+");
  EXPECT_EQ(RegularExpression_new("[z-a]"), nullptr);
}

TEST(RegularExpression, ProgramSizeLimit) {
  // A literal run costs its characters, one terminator and a three-byte node; with the magic byte,
  // the alternative and the end node a run of n characters takes n + 11 bytes.
  std::string fits(32767 - 12, 'q');
  std::string tooLong(32767 - 11, 'q');
  EXPECT_EQ(compileError(fits.c_str()), "");
  EXPECT_EQ(compileError(tooLong.c_str()), "regexp too big");
  std::string ranges;
  for (int i = 0; i < 300; ++i)
    ranges += "[\x01-\x7f]";
  EXPECT_EQ(compileError(ranges.c_str()), "regexp too big");
}

TEST(RegularExpression, Anchors) {
  Expr start("^b");
  EXPECT_EQ(RegularExpression_match(start.re, "ab"), 0);
  EXPECT_EQ(RegularExpression_match(start.re, "ba"), 1);
  Expr end("a$");
  EXPECT_EQ(RegularExpression_match(end.re, "ba"), 1);
  EXPECT_EQ(RegularExpression_match(end.re, "ab"), 0);
  // "^" is valid anywhere but still means the start of the text.
  Expr inner("x|^y");
  EXPECT_EQ(RegularExpression_match(inner.re, "ay"), 0);
  EXPECT_EQ(RegularExpression_match(inner.re, "ya"), 1);
  Expr middle("a^b");
  EXPECT_EQ(RegularExpression_match(middle.re, "a^b"), 0);
  Expr escaped("a\\^b\\$");
  EXPECT_EQ(RegularExpression_match(escaped.re, "xa^b$y"), 1);
}

TEST(RegularExpression, HintsDoNotHideMatches) {
  // First character, anchored start and required literal each narrow the search.
  Expr first("ab+c");
  ASSERT_EQ(RegularExpression_match(first.re, "aab abbbc"), 1);
  EXPECT_EQ(group(first, 0), "abbbc");
  Expr must("x*hello(q)?");
  ASSERT_EQ(RegularExpression_match(must.re, "hellhello"), 1);
  EXPECT_EQ(group(must, 0), "hello");
  EXPECT_EQ(RegularExpression_match(must.re, "hell"), 0);
  // The literal inside the optional group is not required.
  Expr optional("a*(zz)?b");
  EXPECT_EQ(RegularExpression_match(optional.re, "aab"), 1);
}

TEST(RegularExpression, HintsOnlySkipPositionsThatCannotMatch) {
  // Random patterns and texts: the search with the first-character, anchored and required-literal
  // hints finds the same match (same groups) as the search that tries every position.
  uint32_t state = 12345;
  auto next = [&state](uint32_t n) {
    state = state * 1103515245u + 12345u;
    return (state >> 16) % n;
  };
  const char *const atoms[] = {"a", "b", "ab", "ba", "(a|b)", "(ab)", ".", "[ab]", "[^a]", "^", "$", "(a|)"};
  const char *const operators[] = {"", "", "", "*", "+", "?"};
  int compiled = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string pattern;
    for (uint32_t i = 0, n = 1 + next(5); i < n; ++i) {
      pattern += atoms[next(12)];
      pattern += operators[next(6)];
      if (next(8) == 0)
        pattern += "|";
    }
    regexp *program = regexp_compile(pattern.c_str());
    if (program == nullptr)
      continue;
    ++compiled;
    for (int t = 0; t < 5; ++t) {
      std::string text;
      for (uint32_t i = 0, n = next(9); i < n; ++i)
        text += "abc"[next(3)];
      const int hinted = regexp_execute(program, text.c_str());
      const char *start[REGEXP_GROUPS], *end[REGEXP_GROUPS];
      std::copy(program->m_start, program->m_start + REGEXP_GROUPS, start);
      std::copy(program->m_end, program->m_end + REGEXP_GROUPS, end);
      const char firstChar = program->m_firstChar;
      const char anchored = program->m_anchored;
      const char *must = program->m_must;
      const char hasFirstSet = program->m_hasFirstSet;
      program->m_firstChar = 0;
      program->m_anchored = 0;
      program->m_must = nullptr;
      program->m_hasFirstSet = 0;
      ASSERT_EQ(regexp_execute(program, text.c_str()), hinted) << pattern << " on " << text;
      EXPECT_TRUE(std::equal(start, start + REGEXP_GROUPS, program->m_start)) << pattern << " on " << text;
      EXPECT_TRUE(std::equal(end, end + REGEXP_GROUPS, program->m_end)) << pattern << " on " << text;
      program->m_firstChar = firstChar;
      program->m_anchored = anchored;
      program->m_must = must;
      program->m_hasFirstSet = hasFirstSet;
    }
    std::free(program);
  }
  EXPECT_GT(compiled, 1000);
}

TEST(RegularExpression, FirstSetSkipsCostWhatTheirTriesCost) {
  // Patterns whose matches begin with a known set of characters (sets, alternatives, groups):
  // the search that passes over positions outside the set finds the same match, and gives up on
  // its work budget at exactly the same texts, as the one that tries every position.
  uint32_t state = 777;
  auto next = [&state](uint32_t n) {
    state = state * 1103515245u + 12345u;
    return (state >> 16) % n;
  };
  const char *const starts[] = {"[0-9]", "[0-9]+", "[^a ]", "[^a ]+", "[a-c_]+",
                                "(ab|9)", "(a|b1)_", "(([0-9]|x)b)", "(1|_|xa)+"};
  const char *const rest[] = {"", "_[a-z]+", "_", "(a|b)*1", "[a-z]+$", "x?", ".*_"};
  int withSet = 0;
  for (int round = 0; round < 2000; ++round) {
    const std::string pattern = std::string(starts[next(9)]) + rest[next(7)];
    regexp *program = regexp_compile(pattern.c_str());
    ASSERT_NE(program, nullptr) << pattern;
    withSet += program->m_hasFirstSet;
    std::string text;
    for (uint32_t i = 0, n = next(40); i < n; ++i)
      text += "ab1_9 x"[next(7)];
    const int64_t previous = regexp_setStepLimit(1 + next(80));
    const int hinted = regexp_execute(program, text.c_str());
    const char exhausted = program->m_exhausted;
    const std::string groups[2] = {program->m_start[0] ? std::string(program->m_start[0], program->m_end[0]) : "-",
                                   program->m_start[1] ? std::string(program->m_start[1], program->m_end[1]) : "-"};
    const char *at = program->m_start[0];
    program->m_hasFirstSet = 0;
    ASSERT_EQ(regexp_execute(program, text.c_str()), hinted) << pattern << " on " << text;
    EXPECT_EQ(program->m_exhausted, exhausted) << pattern << " on " << text;
    EXPECT_EQ(program->m_start[0], at) << pattern << " on " << text;
    EXPECT_EQ(program->m_start[1] ? std::string(program->m_start[1], program->m_end[1]) : "-", groups[1]);
    EXPECT_EQ(program->m_start[0] ? std::string(program->m_start[0], program->m_end[0]) : "-", groups[0]);
    regexp_setStepLimit(previous);
    std::free(program);
  }
  EXPECT_GT(withSet, 1500);
}

TEST(RegularExpression, ExactMatchCoversTheWholeText) {
  Expr e("Region_.*");
  EXPECT_EQ(RegularExpression_exactMatch(e.re, "Region_new"), 1);
  EXPECT_EQ(RegularExpression_exactMatch(e.re, "MyRegion_new"), 0);
  Expr plain("Region_new");
  EXPECT_EQ(RegularExpression_exactMatch(plain.re, "Region_new"), 1);
  EXPECT_EQ(RegularExpression_exactMatch(plain.re, "Region_newFromFile"), 0);
  EXPECT_EQ(RegularExpression_match(plain.re, "Region_newFromFile"), 1);
  // An earlier alternative that ends short gives way to one that reaches the end.
  Expr shortFirst("Region_|Region_new");
  EXPECT_EQ(RegularExpression_exactMatch(shortFirst.re, "Region_new"), 1);
  EXPECT_EQ(group(shortFirst, 0), "Region_new");
  Expr lazy("(a|ab)(c|bcd)");
  ASSERT_EQ(RegularExpression_exactMatch(lazy.re, "abcd"), 1);
  EXPECT_EQ(group(lazy, 1), "a");
  EXPECT_EQ(group(lazy, 2), "bcd");
  Expr anything(".*");
  EXPECT_EQ(RegularExpression_exactMatch(anything.re, ""), 1);
}

TEST(RegularExpression, Substitution) {
  Expr e("b+");
  ASSERT_EQ(RegularExpression_match(e.re, "abbbc"), 1);
  EXPECT_EQ(take(RegularExpression_substitute(e.re, "<&>")), "<bbb>");
  EXPECT_EQ(take(RegularExpression_substitute(e.re, "\\&\\\\\\0\\x\\")), "&\\bbb\\x\\");
  EXPECT_EQ(take(RegularExpression_substitute(e.re, "\\5|\\1")), "|");

  Expr groups("([a-z]+)=([0-9]+)");
  ASSERT_EQ(RegularExpression_match(groups.re, " width=42;"), 1);
  EXPECT_EQ(take(RegularExpression_substitute(groups.re, "\\2 is \\1 (&)")), "42 is width (width=42)");
  EXPECT_EQ(RegularExpression_getCapturedStringLength(groups.re, 2), 2);
  EXPECT_EQ(RegularExpression_getCapturedStringLength(groups.re, 3), 0);
  EXPECT_EQ(group(groups, 3), "");
  EXPECT_EQ(take(RegularExpression_getMatchedString(groups.re)), "width=42");
  const std::string longer = "a=" + std::string(300, '7'); // outlives the captured positions
  ASSERT_EQ(RegularExpression_match(groups.re, longer.c_str()), 1);
  std::string expanded = take(RegularExpression_substitute(groups.re, "&&&&&&&&&&&&\\2\\2\\2"));
  EXPECT_EQ(expanded.size(), 12u * 302u + 3u * 300u);
}

TEST(RegularExpression, PatternTextAndReplacement) {
  Expr e("a+");
  EXPECT_EQ(take(RegularExpression_getPattern(e.re)), "a+");
  EXPECT_EQ(RegularExpression_setPattern(e.re, "b(c"), 0); // unchanged on failure
  EXPECT_EQ(take(RegularExpression_getPattern(e.re)), "a+");
  EXPECT_EQ(RegularExpression_match(e.re, "xa"), 1);
  EXPECT_EQ(RegularExpression_setPattern(e.re, "b+"), 1);
  EXPECT_EQ(RegularExpression_match(e.re, "xa"), 0);
  EXPECT_EQ(take(RegularExpression_getPattern(e.re)), "b+");
}

TEST(RegularExpression, Globs) {
  Expr e("x");
  ASSERT_EQ(RegularExpression_setGlob(e.re, "Hash*_?ew$^"), 1);
  EXPECT_EQ(take(RegularExpression_getPattern(e.re)), "Hash.*_.ew\\$\\^");
  EXPECT_EQ(RegularExpression_match(e.re, "[HashTable_new$^]"), 1); // not anchored
  ASSERT_EQ(RegularExpression_setGlob(e.re, "*.c"), 1);
  EXPECT_EQ(RegularExpression_exactMatch(e.re, "main.c"), 1);
  EXPECT_EQ(RegularExpression_exactMatch(e.re, "mainxc"), 1); // "." is copied as it is
  EXPECT_EQ(RegularExpression_setGlob(e.re, "a(b"), 0);
  EXPECT_EQ(take(RegularExpression_getPattern(e.re)), ".*.c");
}

TEST(RegularExpression, PathologicalPatternGivesUpInsteadOfHanging) {
  Expr e("(a|aa)*b");
  // The "b" is present (else the required-literal hint answers at once) but cannot follow the run.
  const std::string text = std::string(60, 'a') + "!b";
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(RegularExpression_match(e.re, text.c_str()), 0);
  EXPECT_EQ(e.re->m_program->m_exhausted, 1);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
  // The same program still works on texts within the budget.
  EXPECT_EQ(RegularExpression_match(e.re, "aaab"), 1);
  EXPECT_EQ(e.re->m_program->m_exhausted, 0);
  EXPECT_EQ(group(e, 0), "aaab");

  // Deep backtracking over a long text fails cleanly rather than exhausting the stack.
  Expr deep("(ab|a)*c");
  std::string longText;
  for (int i = 0; i < 20000; ++i)
    longText += "ab";
  longText += "!c";
  EXPECT_EQ(RegularExpression_match(deep.re, longText.c_str()), 0);
  EXPECT_EQ(deep.re->m_program->m_exhausted, 1);

  const int64_t previous = regexp_setStepLimit(50);
  Expr small("(x|z)*y");
  const std::string xs = std::string(100, 'x') + "y";
  EXPECT_EQ(RegularExpression_match(small.re, xs.c_str()), 0);
  regexp_setStepLimit(previous);
  EXPECT_EQ(RegularExpression_match(small.re, xs.c_str()), 1);
}

TEST(RegularExpressionDeathTest, MisuseEndsTheProcess) {
  EXPECT_EXIT(regexp_compile(nullptr), testing::ExitedWithCode(1),
              "regexp\\(3\\): NULL argument");
  Expr e("a");
  EXPECT_EXIT(regexp_execute(e.re->m_program, nullptr), testing::ExitedWithCode(1),
              "regexp\\(3\\): NULL parameter");
  EXPECT_EXIT(
      {
        e.re->m_program->m_program[0] = 0;
        regexp_execute(e.re->m_program, "a");
      },
      testing::ExitedWithCode(1), "regexp\\(3\\): corrupted program");
  char out[8];
  EXPECT_EXIT(regexp_substitute(nullptr, "&", out), testing::ExitedWithCode(1),
              "regexp\\(3\\): NULL parm to regsub");
  EXPECT_EXIT(
      {
        e.re->m_program->m_program[0] = 0;
        regexp_substitute(e.re->m_program, "&", out);
      },
      testing::ExitedWithCode(1), "regexp\\(3\\): damaged regexp fed to regsub");
  EXPECT_EXIT(RegularExpression_getCapturedString(e.re, 10), testing::ExitedWithCode(1),
              "i > -1 && i < 10");
  EXPECT_EXIT(RegularExpression_getCapturedStringLength(e.re, -1), testing::ExitedWithCode(1),
              "i > -1 && i < 10");
}

} // namespace
