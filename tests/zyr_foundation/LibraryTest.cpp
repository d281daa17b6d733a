#include "ErrorTestSupport.h"
#include "Interface.h"
#include "TestSupport.h"
#include "zyrBanner.h"
#include "zyrCString.h"
#include "zyrInterfaceManager.h"
#include "zyrFault.h"
#include "zyrLibrary.h"
#include "zyrSystem.h"

#include <sys/utsname.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <regex>

namespace {

std::string take(char *text) {
  std::string out = text ? text : "<NULL>";
  zyrCString_free(text);
  return out;
}

std::string capture(void (*write)(FILE *)) {
  char *text = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&text, &size);
  write(stream);
  std::fclose(stream);
  std::string out(text, size);
  std::free(text);
  return out;
}

TEST(Library, BuildInformationHasItsForms) {
  const std::string release = zyrGetBuildInfo(zyrBuildRelease);
  const std::string stamp = zyrGetBuildInfo(zyrBuildStamp);
  EXPECT_TRUE(std::regex_match(release, std::regex("[0-9]+\\.[0-9]+"))) << release;
  EXPECT_TRUE(std::regex_match(stamp, std::regex("[0-9]{4}\\.[0-9]{2}\\.[0-9]{2}-[0-9]{2}\\.[0-9]{2}"))) << stamp;
  EXPECT_EQ(std::string(zyrGetBuildInfo(zyrBuildBanner)), "ZYR-" + release + " build " + stamp);
  EXPECT_EQ(std::string(zyrGetBuildInfo(0)), "(ZYR-" + release + " build " + stamp + ")");
  EXPECT_EQ(std::string(zyrGetBuildInfo(10)), std::string(zyrGetBuildInfo(0)));
  EXPECT_TRUE(std::regex_match(std::string(zyrGetBuildInfo(zyrBuildDate)),
                               std::regex("[A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9:]{8} [A-Z]+ [0-9]{4}")));
  EXPECT_STREQ(zyrGetBuildInfo(zyrBuildDateAgain), zyrGetBuildInfo(zyrBuildDate));
  EXPECT_EQ(std::string(zyrGetBuildInfo(zyrBuildYear)), stamp.substr(0, 4));
  EXPECT_STREQ(zyrGetBuildInfo(zyrBuildShortName), "zyr");
  EXPECT_STREQ(zyrGetBuildInfo(zyrBuildProductWord), "product");
  EXPECT_EQ(take(zyrLibrary_getRelease()), release);
  EXPECT_EQ(take(zyrLibrary_getBuild()), stamp);
  EXPECT_EQ(take(zyrLibrary_getVersion()), release + " (" + stamp + ")");
  EXPECT_EQ(take(zyrLibrary_getNotice()), zyrGetBuildInfo(zyrBuildNotice));
}

TEST(Library, OwnVersionPassesTheFileVersionChecks) {
  // Database files accept build texts dated 28 March 2003 or later (the digits inside the
  // parentheses, cut to eight); definition files accept releases from 6.0 on.
  const std::string version = take(zyrLibrary_getVersion());
  const size_t open = version.find('('), close = version.find(')', open);
  ASSERT_NE(close, std::string::npos);
  std::string digits;
  for (char c : version.substr(open + 1, close - open - 1))
    if (std::isdigit(static_cast<unsigned char>(c)))
      digits += c;
  EXPECT_GE(std::stol(digits.substr(0, 8)), 20030328L);
  const std::string release = take(zyrLibrary_getRelease());
  const int major = std::stoi(release.substr(0, release.find('.')));
  const int minor = std::stoi(release.substr(release.find('.') + 1));
  EXPECT_TRUE(major > 6 || (major == 6 && minor >= 0)) << release;
}

TEST(Library, PlatformNamesTheRunningSystem) {
  struct utsname names;
  ASSERT_EQ(uname(&names), 0);
  EXPECT_EQ(take(zyrLibrary_getPlatform()), std::string(names.sysname) + " " + names.machine);
}

TEST(Library, ProgramNameIsACopyUntilCleared) {
  EXPECT_EQ(zyrLibrary_getProgramName(), nullptr);
  std::string name = "first";
  zyrLibrary_setProgramName(name.c_str());
  name[0] = 'X';
  zyrLibrary_setProgramName("second");
  EXPECT_EQ(take(zyrLibrary_getProgramName()), "second");
  zyrLibrary_clearProgramName();
  EXPECT_EQ(zyrLibrary_getProgramName(), nullptr);
}

TEST(Banner, CentresTheTitleInEightyColumns) {
  std::string text = capture([](FILE *s) { printBanner(s, "Eleven char", '*'); });
  const std::string rule(80, '*');
  EXPECT_EQ(text, "\n" + rule + "\n" + std::string(34, ' ') + "Eleven char" + std::string(35, ' ') + "\n" + rule +
                      "\n\n");
  EXPECT_EQ(capture([](FILE *s) { printCharLine(s, 3, '-'); printChars(s, 2, '+'); printChars(s, -1, '+'); }),
            "---\n++");
  std::string wide(90, 'w');
  static std::string s_wide;
  s_wide = wide;
  EXPECT_EQ(capture([](FILE *s) { printBanner(s, s_wide.c_str(), '='); }),
            "\n" + std::string(80, '=') + "\n" + wide + "\n" + std::string(80, '=') + "\n\n");

  // The standard-output forms write the same.
  testing::internal::CaptureStdout();
  printBannerToStdout("Eleven char", '*');
  printCharLineToStdout(3, '-');
  printCharsToStdout(2, '+');
  fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            capture([](FILE *s) { printBanner(s, "Eleven char", '*'); printCharLine(s, 3, '-'); printChars(s, 2, '+'); }));
}

class Termination : public testing::Test {
protected:
  void TearDown() override { zyrLibrary_clearProgramName(); }
  // What terminating every registered interface writes on the standard output.
  static std::string terminate(int32_t type, int normal) {
    Interface *interface = Interface_new(type);
    testing::internal::CaptureStdout();
    zyrInterfaceManager_terminate(zyrInterfaceManager_get(), normal);
    std::string out = testing::internal::GetCapturedStdout();
    Interface_delete(interface);
    return out;
  }
};

TEST_F(Termination, NormalBannerIsUnderlinedToTheLengthOfItsText) {
  zyrLibrary_setProgramName("Mesher");
  EXPECT_EQ(terminate(1, 1), std::string(18, ' ') + "*** Normal termination of Mesher ***\n" + std::string(18, ' ') +
                                 std::string(36, '=') + "\n");
  zyrLibrary_clearProgramName();
  EXPECT_EQ(terminate(1, 1), std::string(18, ' ') + "*** Normal termination of UNKNOWN PROGRAM ***\n" +
                                 std::string(18, ' ') + std::string(45, '=') + "\n");
}

TEST_F(Termination, AbnormalBoxAndSilentInterfaces) {
  EXPECT_EQ(terminate(1, 0), "\n  ************************************************************************\n"
                             "  ***                                                                  ***\n"
                             "  ***                      Abnormal termination!                       ***\n"
                             "  ***                                                                  ***\n"
                             "  ************************************************************************\n");
  EXPECT_EQ(terminate(0, 1), "");
  EXPECT_EQ(terminate(2, 0), "");
}

TEST(InterfaceManager, IdsRunOnAndAnInterfaceRegistersOnce) {
  zyrInterfaceManager *manager = zyrInterfaceManager_get();
  Interface *a = Interface_new(0);
  Interface *b = Interface_new(7);
  EXPECT_EQ(b->m_id, a->m_id + 1);
  EXPECT_EQ(b->m_stream, nullptr);
  EXPECT_EQ(zyrInterfaceManager_addInterface(manager, a), -1);
  Interface_delete(a);
  Interface_delete(b);
}

using FileCheck = zyrtest::ErrorTest;

TEST_F(FileCheck, ExistingFilesAndDirectoriesPassOthersPublish10020) {
  zyrtest::ScratchDir dir;
  zyrtest::writeFile(dir.file("f"), "x");
  EXPECT_EQ(zyrCheck_fileExists(dir.path().c_str()), 1);
  EXPECT_EQ(zyrCheck_fileExists(dir.file("f").c_str()), 1);
  EXPECT_EQ(zyrError_getLast(), nullptr);
  EXPECT_EQ(zyrCheck_fileExists(nullptr), 0);
  ASSERT_NE(zyrError_getLast(), nullptr);
  EXPECT_EQ(zyrError_getCode(zyrError_getLast()), ZYR_U_INVALID_INPUT);
  EXPECT_STREQ(zyrError_getMessage(zyrError_getLast()), "No file name has been supplied.\n");
  EXPECT_EQ(zyrCheck_fileExists(""), 0);
  EXPECT_EQ(zyrCheck_fileExists(dir.file("none").c_str()), 0);
  EXPECT_EQ(std::string(zyrError_getMessage(zyrError_getLast())),
            "The file named \"" + dir.file("none") + "\" does not exist.\n");
  EXPECT_EQ(zyrError_isDisplayed(zyrError_getLast()), 1); // published
}

// A look that fails for any reason but "no such file" cannot tell: it is told as such, and what
// depends on it is neither done nor said to be done.
TEST_F(FileCheck, ALookThatCannotTellIsNeverTakenForAbsence) {
  zyrtest::ScratchDir dir;
  const std::string file = dir.file("f.zyr");
  zyrtest::writeFile(file, "x");
  EXPECT_EQ(zyrLookForFile(file.c_str()), 1);
  EXPECT_EQ(zyrLookForFile(dir.file("none").c_str()), 0);
  EXPECT_EQ(zyrLookForFile((file + "/below").c_str()), 0);
  ASSERT_EQ(zyrFault_arm("look@1+", "f.zyr"), 1);
  errno = 0;
  EXPECT_EQ(zyrLookForFile(file.c_str()), -1);
  EXPECT_EQ(errno, EIO);
  EXPECT_EQ(zyrRemoveDatabaseFile(file.c_str()), 0);
  EXPECT_EQ(zyrCheck_fileExists(file.c_str()), 0);
  zyrFault_disarm();
  EXPECT_EQ(std::string(zyrError_getMessage(zyrError_getLast())),
            "Whether the file\n\n" + file + "\n\nexists cannot be told (stat: " + std::strerror(EIO) + ").\n");
  EXPECT_EQ(zyrtest::readFile(file), "x");
}

} // namespace
