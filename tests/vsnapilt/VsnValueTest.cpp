#include "vsnArray.h"
#include "vsnHandle.h"
#include "vsnValue.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

class VsnValue : public testing::Test {
 protected:
  void SetUp() override {
    h = createVSNHandle();
    ASSERT_EQ(vsnCreateObject(h, "/FLOW", 0), nullptr);
  }
  void TearDown() override { destroyVSNHandle(h); }
  void set(const char* name, const char* value) {
    ASSERT_EQ(vsnCreateParam(h, (std::string("/FLOW/") + name).c_str(), value), nullptr);
  }
  int integer(const char* value) {
    set("I", value);
    int v = -999;
    EXPECT_EQ(getIntegerValue(h, "/FLOW/I", &v), nullptr);
    return v;
  }
  // The logical, or the error text (released here) behind a marker.
  std::string logical(const char* value) {
    set("L", value);
    int v = -999;
    const char* err = getLogicalValue(h, "/FLOW/L", &v);
    if (err) {
      std::string text = err;
      freeVSNString(err);
      return "error: " + text;
    }
    return std::to_string(v);
  }
  std::vector<std::string> list(const char* value) {
    set("S", value);
    char** strings = nullptr;
    int count = -1;
    EXPECT_EQ(getStringList(h, "/FLOW/S", &strings, &count), nullptr);
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) out.push_back(strings[i]);
    EXPECT_EQ(strings[count], nullptr);
    freeStringArray(strings);
    return out;
  }
  vsnHandle* h = nullptr;
};

TEST_F(VsnValue, Strings) {
  set("Option", "a:b");
  char* v = nullptr;
  ASSERT_EQ(getStringValue(h, "FLOW/Option", &v), nullptr);
  EXPECT_STREQ(v, "a:b");
  freeVSNString(v);
  // An object has no value.
  v = reinterpret_cast<char*>(1);
  ASSERT_EQ(getStringValue(h, "/FLOW", &v), nullptr);
  EXPECT_EQ(v, nullptr);
  const char* err = getStringValue(h, "FLOW / Missing  Name", &v);
  EXPECT_STREQ(err, "getStringValue: value \"/FLOW/Missing Name\" does not exist");
  EXPECT_EQ(err, h->m_errorText);
}

TEST_F(VsnValue, IntegersRoundHalfAwayFromZero) {
  EXPECT_EQ(integer("-2.5"), -3);
  EXPECT_EQ(integer("2.5"), 3);
  EXPECT_EQ(integer("2.49"), 2);
  EXPECT_EQ(integer("  +7e1 [m]"), 70);
  EXPECT_EQ(integer("-0.4"), 0);
  EXPECT_EQ(integer(".5"), 1);
  EXPECT_EQ(integer("12abc"), 12);
  EXPECT_EQ(integer("abc"), 0);
  EXPECT_EQ(integer(""), 0);
  EXPECT_EQ(integer("3e"), 3);
  // Decimal only: no hexadecimal, infinity or not-a-number.
  EXPECT_EQ(integer("0x10"), 0);
  EXPECT_EQ(integer("inf"), 0);
  EXPECT_EQ(integer("nan"), 0);
  // Beyond the int range the value is clamped.
  EXPECT_EQ(integer("1e20"), INT_MAX);
  EXPECT_EQ(integer("-1e400"), INT_MIN);
  EXPECT_EQ(integer("2147483647.4"), INT_MAX);
  EXPECT_EQ(integer("-2147483648"), INT_MIN);
  EXPECT_EQ(integer("1e-400"), 0);
  int v;
  EXPECT_STREQ(getIntegerValue(h, "/FLOW/none", &v), "getIntegerValue: unable to find value");
  EXPECT_STREQ(getIntegerValue(h, "/FLOW", &v), "getIntegerValue: unable to find value");
}

TEST_F(VsnValue, NumbersReadTheSameInAnyLocale) {
  const char* old = setlocale(LC_NUMERIC, nullptr);
  std::string saved = old ? old : "C";
  // Where a decimal-comma locale is installed this proves the point; elsewhere it reads as in C.
  setlocale(LC_NUMERIC, "de_DE.UTF-8");
  EXPECT_EQ(integer("2.5"), 3);
  EXPECT_EQ(logical("0.6"), "1");
  setlocale(LC_NUMERIC, saved.c_str());
}

TEST_F(VsnValue, Logicals) {
  EXPECT_EQ(logical("On"), "-1");
  EXPECT_EQ(logical("  YES please"), "-1");
  for (const char* t : {"y", "true", "T", "on"}) EXPECT_EQ(logical(t), "-1") << t;
  for (const char* f : {"no", "N", "False", "f", "OFF"}) EXPECT_EQ(logical(f), "0") << f;
  EXPECT_EQ(logical("0.6"), "1");
  EXPECT_EQ(logical("0.4"), "0");
  EXPECT_EQ(logical("2"), "2");
  EXPECT_EQ(logical("maybe"), "error: isLogicalValue: value is not a logical: maybe\n");
  EXPECT_EQ(logical(" -1"), "error: isLogicalValue: value is not a logical:  -1\n");
  EXPECT_EQ(logical("   "), "error: isLogicalValue: value is whitespace only\n");
  int v;
  const char* err = getLogicalValue(h, "/FLOW/none", &v);
  EXPECT_STREQ(err, "getLogicalValue: unable to find value");
  freeVSNString(err);  // a fixed text: left alone
}

TEST_F(VsnValue, ListsSplitAtDepthZero) {
  EXPECT_EQ(list("a, f(b, c), d"), (std::vector<std::string>{"a", "f(b, c)", "d"}));
  EXPECT_EQ(list(""), (std::vector<std::string>{""}));
  EXPECT_EQ(list(" , "), (std::vector<std::string>{"", ""}));
  EXPECT_EQ(list("g((a,b),c),d"), (std::vector<std::string>{"g((a,b),c)", "d"}));
  // An unbalanced ")" keeps the level below zero: no further splits.
  EXPECT_EQ(list("a), b, c"), (std::vector<std::string>{"a), b, c"}));

  set("N", "1, -2, 2.5,x");
  int* ints = nullptr;
  int count = 0;
  ASSERT_EQ(getIntegerList(h, "/FLOW/N", &ints, &count), nullptr);
  ASSERT_EQ(count, 4);
  EXPECT_EQ(ints[0], 1);
  EXPECT_EQ(ints[1], -2);
  EXPECT_EQ(ints[2], 3);
  EXPECT_EQ(ints[3], 0);
  freeVSNBlock(ints);

  set("B", "yes, off, 1");
  ASSERT_EQ(getLogicalList(h, "/FLOW/B", &ints, &count), nullptr);
  ASSERT_EQ(count, 3);
  EXPECT_EQ(ints[0], -1);
  EXPECT_EQ(ints[1], 0);
  EXPECT_EQ(ints[2], 1);
  freeVSNBlock(ints);

  char** strings;
  EXPECT_STREQ(getStringList(h, "/FLOW/none", &strings, &count), "getStringList: unable to find value");
  EXPECT_STREQ(getIntegerList(h, "/FLOW/none", &ints, &count), "getStringList: unable to find value");
  EXPECT_STREQ(getLogicalList(h, "/FLOW", &ints, &count), "getStringList: unable to find value");
}

TEST_F(VsnValue, LogicalListNamesEveryBadPiece) {
  set("B", "yes, maybe, , no, perhaps");
  int* ints = reinterpret_cast<int*>(1);
  int count = -1;
  const char* err = getLogicalList(h, "/FLOW/B", &ints, &count);
  ASSERT_NE(err, nullptr);
  EXPECT_STREQ(err,
               "splitLogicalString: not all entries were logicals:\n"
               "isLogicalValue: value is not a logical: maybe\n"
               "isLogicalValue: value is whitespace only\n"
               "isLogicalValue: value is not a logical: perhaps\n");
  freeVSNString(err);
  EXPECT_EQ(ints, reinterpret_cast<int*>(1));  // outputs untouched
  EXPECT_EQ(count, -1);
}

TEST(VsnSplit, AppendsToTheCallersArray) {
  vsnArray* a = vsnArrayNew(VSN_ARRAY_STRING);
  vsnArrayAddStringCopy(a, "before");
  int count = 0;
  ASSERT_EQ(splitString(a, "x ,y", &count), nullptr);
  EXPECT_EQ(count, 2);
  ASSERT_EQ(vsnArrayCount(a), 3);
  EXPECT_STREQ(vsnArrayStrings(a)[1], "x");
  EXPECT_STREQ(vsnArrayStrings(a)[2], "y");
  vsnArrayFree(a);
  // The wrong kind of array cannot store the pieces, and is released.
  EXPECT_STREQ(splitString(vsnArrayNew(VSN_ARRAY_INT), "a", &count), "splitString: failure to store string.\n");

  char** strings = nullptr;
  ASSERT_EQ(splitStringString("p,(q,r)", &strings, &count), nullptr);
  EXPECT_EQ(count, 2);
  EXPECT_STREQ(strings[1], "(q,r)");
  freeStringArray(strings);
  int* ints = nullptr;
  ASSERT_EQ(splitIntegerString("", &ints, &count), nullptr);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(ints[0], 0);
  freeVSNBlock(ints);
  char** list = static_cast<char**>(malloc(2 * sizeof(char*)));
  list[0] = static_cast<char*>(malloc(2));
  list[1] = static_cast<char*>(malloc(2));
  freeStringList(list, 2);
  int v = 5;
  EXPECT_EQ(isLogicalValue("t", &v), nullptr);
  EXPECT_EQ(v, -1);
}

} // namespace
