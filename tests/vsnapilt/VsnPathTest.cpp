#include "vsnHandle.h"
#include "vsnPath.h"
#include "vsnMessage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

std::string take(char* s) {
  std::string out = s ? s : "<null>";
  free(s);
  return out;
}

std::string normal(const char* p) { return take(normalisePath(p)); }

class VsnPath : public testing::Test {
 protected:
  void SetUp() override {
    h = createVSNHandle();
    ASSERT_EQ(vsnCreateObject(h, "/FLOW", 0), nullptr);
    ASSERT_EQ(vsnCreateObject(h, "/FLOW/DOMAIN:rotor", 0), nullptr);
    ASSERT_EQ(vsnCreateParam(h, "/FLOW/DOMAIN:rotor/Location", "B1"), nullptr);
  }
  void TearDown() override { destroyVSNHandle(h); }
  std::string full(const char* p) { return take(getFullPath(h, p)); }
  vsnHandle* h = nullptr;
};

TEST(VsnNormalise, CanonicalForm) {
  EXPECT_EQ(normal("/"), "/");
  EXPECT_EQ(normal(""), "");
  EXPECT_EQ(normal("  /  "), "/");
  EXPECT_EQ(normal("/FLOW/"), "/FLOW");
  EXPECT_EQ(normal("//FLOW///DOMAIN:rotor//"), "/FLOW/DOMAIN:rotor");
  EXPECT_EQ(normal("/FLOW / DOMAIN :  rotor / Location"), "/FLOW/DOMAIN:rotor/Location");
  EXPECT_EQ(normal("/FLOW/SOLUTION    UNITS"), "/FLOW/SOLUTION UNITS");
  EXPECT_EQ(normal("/FLOW/SOLUTION\t \tUNITS\t"), "/FLOW/SOLUTION UNITS");
  EXPECT_EQ(normal("/A::b"), "/A:b");
  EXPECT_EQ(normal("/A:/b"), "/A/b");
  EXPECT_EQ(normal("/FLOW:FLOW/Option"), "/FLOW/Option");
  EXPECT_EQ(normal("/X:Y/FLOW: FLOW"), "/X:Y/FLOW");
  EXPECT_EQ(normal("/FLOW:FLOWS"), "/FLOW:FLOWS");
  EXPECT_EQ(normal("//"), "/");
  // Idempotent.
  for (const char* p : {"/a : b / c", "/ x:x /y", "/a\t\tb/", "/:/::/"}) {
    std::string once = normal(p);
    EXPECT_EQ(normal(once.c_str()), once) << p;
  }
}

TEST_F(VsnPath, RelativePathsFollowTheCurrentPath) {
  EXPECT_STREQ(getCurrentPathH(h), "/");
  ASSERT_EQ(pushPath(h, "/FLOW"), nullptr);
  EXPECT_EQ(full("DOMAIN :  rotor / Location"), "/FLOW/DOMAIN:rotor/Location");
  EXPECT_EQ(full("."), "/FLOW");
  EXPECT_EQ(full("./DOMAIN:rotor"), "/FLOW/DOMAIN:rotor");
  EXPECT_EQ(full(".."), "/");
  ASSERT_EQ(pushPath(h, "DOMAIN:rotor"), nullptr);
  EXPECT_STREQ(getCurrentPathH(h), "/FLOW/DOMAIN:rotor");
  EXPECT_EQ(full("../SOLUTION UNITS"), "/FLOW/SOLUTION UNITS");
  EXPECT_EQ(full("../../.."), "/");
  EXPECT_EQ(full("..x"), "/FLOW/DOMAIN:rotor/..x");
  EXPECT_EQ(full("/FLOW/../FLOW/./x"), "/FLOW/./x");  // only a leading "./" is dropped
  EXPECT_EQ(full("FLOW:FLOW/Option"), "/FLOW/DOMAIN:rotor/FLOW/Option");
  EXPECT_EQ(full("/FLOW/.."), "/");
  EXPECT_EQ(full("/.."), "/");
  EXPECT_EQ(full("/../x"), "/x");
  EXPECT_EQ(getFullPath(h, nullptr), nullptr);
}

TEST_F(VsnPath, ResolvedPathsResolveToThemselves) {
  // A ".." step that only shows once blanks around separators are gone is folded too.
  EXPECT_EQ(full("/ov/ : :../ON"), "/ON");
  // Other white space that removals bring to an end is trimmed.
  EXPECT_EQ(full("/x\f:"), "/x");
  EXPECT_EQ(full("/x:\f:"), "/x");
  // Folding past the root through a backslash step keeps the path absolute.
  EXPECT_EQ(full("/a/..\\b"), "/\\b");
  for (const char* p : {"/ov/ : :../ON", "/x:\f:", "/a/..\\b", "..", "a b / c", "/FLOW/DOMAIN : rotor/.."}) {
    std::string once = full(p);
    EXPECT_EQ(full(once.c_str()), once) << p;
  }
}

TEST_F(VsnPath, ParentAndChildPaths) {
  EXPECT_EQ(take(getParentPath(h, "/FLOW/DOMAIN:rotor/Location")), "/FLOW/DOMAIN:rotor");
  EXPECT_EQ(take(getParentPath(h, "/FLOW")), "/");
  EXPECT_EQ(take(getParentPath(h, "/")), "/");
  vsnEntry* rotor = findEntryH(h, "/FLOW/DOMAIN:rotor");
  vsnEntry* flow = findEntryH(h, "/FLOW");
  vsnEntry* location = findEntryH(h, "/FLOW/DOMAIN:rotor/Location");
  EXPECT_EQ(take(makeChildPath("/", flow)), "/FLOW");
  EXPECT_EQ(take(makeChildPath("/FLOW", rotor)), "/FLOW/DOMAIN:rotor");
  EXPECT_EQ(take(makeChildPath("rel", location)), "rel/Location");
  vsnEntry none{};
  EXPECT_EQ(makeChildPath("/", &none), nullptr);
}

TEST_F(VsnPath, StackPushPopChange) {
  EXPECT_STREQ(pushPath(h, "/nowhere"), "pushPath: path is not found");
  EXPECT_STREQ(pushPath(h, nullptr), "pushPath: path provided is non-existent");
  EXPECT_STREQ(changePath(h, "/nowhere"), "changePath: path is not found");
  EXPECT_STREQ(changePath(h, nullptr), "changePath: path provided is non-existent");
  ASSERT_EQ(pushPath(h, "/FLOW"), nullptr);
  ASSERT_EQ(changePath(h, "DOMAIN:rotor"), nullptr);
  EXPECT_STREQ(getCurrentPathH(h), "/FLOW/DOMAIN:rotor");
  ASSERT_EQ(popPath(h), nullptr);
  EXPECT_STREQ(getCurrentPathH(h), "/");
  // The bottom node stays.
  ASSERT_EQ(popPath(h), nullptr);
  ASSERT_EQ(popPath(h), nullptr);
  EXPECT_STREQ(getCurrentPathH(h), "/");
  // The unchecked forms take any text.
  ASSERT_EQ(vsnPushPath(h, "/not/checked"), nullptr);
  EXPECT_STREQ(getCurrentPathH(h), "/not/checked");
  ASSERT_EQ(vsnChangePath(h, "/FLOW"), nullptr);
  EXPECT_STREQ(getCurrentPathH(h), "/FLOW");
  popPath(h);
  // Only correct under the root, as it joins without a separator.
  EXPECT_EQ(pushChildPathH(h, "FLOW"), nullptr);
  EXPECT_STREQ(getCurrentPathH(h), "/FLOW");
}

TEST_F(VsnPath, TracesAtDebugLevels) {
  setVSNDebugLevel(3);
  testing::internal::CaptureStderr();
  pushPath(h, "/FLOW");
  changePath(h, "/FLOW/DOMAIN:rotor");
  popPath(h);
  std::string out = testing::internal::GetCapturedStderr();
  setVSNDebugLevel(0);
  EXPECT_EQ(out,
            "Created newDirPath( \"/FLOW\" )\npushPath( /FLOW )\nchangePath( /FLOW/DOMAIN:rotor )\n"
            "popPath() /FLOW/DOMAIN:rotor\n");
}

TEST(VsnPathStack, MadeOnFirstUse) {
  vsnHandle* h = createVSNHandle();
  EXPECT_EQ(h->m_dirStack, nullptr);
  EXPECT_STREQ(getCurrentPathH(h), "/");
  EXPECT_NE(h->m_dirStack, nullptr);
  // Nothing is loaded: even the root is not there to push.
  EXPECT_STREQ(pushPath(h, "/"), "pushPath: path is not found");
  destroyVSNHandle(h);
}

} // namespace
