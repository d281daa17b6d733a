// The shared test helpers: a fault here would hide faults everywhere else.
#include "zyrTestErrors.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

using namespace zyrtest;

TEST(TestSupport, ScratchDirIsRemovedWithReadOnlyContents) {
  std::string path;
  {
    ScratchDir dir("zyrsupport");
    path = dir.path();
    EXPECT_NE(path.find("/zyrsupport."), std::string::npos);
    ASSERT_EQ(mkdir(dir.file("locked").c_str(), 0700), 0);
    writeFile(dir.file("locked/inner"), "x");
    writeFile(dir.file("b"), "");
    ASSERT_EQ(chmod(dir.file("locked").c_str(), 0500), 0);
    EXPECT_EQ(dir.listing(), (std::vector<std::string>{"b", "locked"}));
  }
  EXPECT_FALSE(fileExists(path));
}

TEST(TestSupport, GuardsRestoreEnvironmentAndWorkingDirectory) {
  unsetenv("ZYR_TEST_SUPPORT_VAR");
  {
    EnvGuard set("ZYR_TEST_SUPPORT_VAR", "one");
    EXPECT_STREQ(getenv("ZYR_TEST_SUPPORT_VAR"), "one");
    {
      EnvGuard unset("ZYR_TEST_SUPPORT_VAR", nullptr);
      EXPECT_EQ(getenv("ZYR_TEST_SUPPORT_VAR"), nullptr);
    }
    EXPECT_STREQ(getenv("ZYR_TEST_SUPPORT_VAR"), "one");
  }
  EXPECT_EQ(getenv("ZYR_TEST_SUPPORT_VAR"), nullptr);

  ScratchDir dir;
  char before[4096];
  ASSERT_NE(getcwd(before, sizeof before), nullptr);
  {
    WorkingDir here(dir.path());
    writeFile("relative", "abc");
  }
  char after[4096];
  ASSERT_NE(getcwd(after, sizeof after), nullptr);
  EXPECT_STREQ(before, after);
  EXPECT_EQ(readFile(dir.file("relative")), "abc");
}

TEST(TestSupport, FileHelpersKeepExactBytes) {
  ScratchDir dir;
  std::string bytes("a\0b\r\n", 5);
  writeFile(dir.file("f"), bytes);
  appendFile(dir.file("f"), "z");
  EXPECT_EQ(readFile(dir.file("f")), bytes + "z");
  EXPECT_EQ(fileSize(dir.file("f")), 6);
  EXPECT_EQ(fileSize(dir.file("missing")), -1);
  EXPECT_EQ(readFile(dir.file("missing")), "");
  EXPECT_THROW(writeFile(dir.file("no/such/dir"), "x"), std::runtime_error);
  EXPECT_EQ(splitLines("one\n\nthree"), (std::vector<std::string>{"one", "", "three"}));
}

TEST(TestSupport, ErrorCaptureTakesCodesAndMessagesInOrder) {
  ErrorCapture errors;
  zyrError *first = zyrError_new(10020, __func__, __FILE__, __LINE__);
  zyrError_addMessage(first, "first %d", 1);
  zyrError_publish(first);
  zyrError *second = zyrError_new(10020, __func__, __FILE__, __LINE__);
  zyrError_publish(second);
  EXPECT_EQ(errors.count(), 2);
  EXPECT_EQ(errors.last(), second);
  EXPECT_EQ(errors.published(), (std::vector<RaisedError>{{10020, "first 1"}, {10020, ""}}));
  EXPECT_EQ(errors.take(), (std::vector<std::string>{"10020: first 1", "10020: "}));
  EXPECT_EQ(errors.count(), 0);
}

namespace {
int consumeAll(zyrError *) { return 1; }
} // namespace

TEST(TestSupport, ErrorCaptureRestoresTheHandlerItReplaced) {
  zyrErrorHandler before = nullptr;
  zyrErrorManager_setErrorHandler(zyrErrorManager_get(), consumeAll, &before);
  {
    ErrorCapture errors;
    zyrError_publish(zyrError_new(10020, __func__, __FILE__, __LINE__));
    EXPECT_EQ(errors.held().size(), 1u);
  }
  zyrErrorHandler during = nullptr;
  zyrErrorManager_setErrorHandler(zyrErrorManager_get(), before, &during);
  EXPECT_EQ(during, consumeAll);
}

TEST(TestSupport, SharedScratchDirIsRemovedOnlyByItsMaker) {
  unsetenv("ZYR_TEST_SHARED_DIR");
  std::string path;
  {
    SharedScratchDir maker("ZYR_TEST_SHARED_DIR", "zyrshared");
    path = maker.path();
    EXPECT_TRUE(maker.owner());
    EXPECT_STREQ(getenv("ZYR_TEST_SHARED_DIR"), path.c_str());
    {
      SharedScratchDir child("ZYR_TEST_SHARED_DIR");
      EXPECT_FALSE(child.owner());
      EXPECT_EQ(child.path(), path);
      writeFile(child.file("left"), "x");
    }
    EXPECT_EQ(readFile(maker.file("left")), "x");
  }
  EXPECT_FALSE(fileExists(path));
  EXPECT_EQ(getenv("ZYR_TEST_SHARED_DIR"), nullptr);
}
