// The command line of zyrcopy: help, wrong usage and the end of the options, as the other tools
// take them. Its copies and their failures are tested with the file copy (FileSystemTest.cpp).
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

namespace {

using zyrtest::readFile;
using zyrtest::ScratchDir;
using zyrtest::writeFile;

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs zyrcopy with the words (quoted for the shell) in dir.
ToolRun zyrcopy(const ScratchDir &dir, const std::string &words) {
  const std::string helpers = ZYR_TEST_HELPER_DIR;
  const std::string tool = helpers.substr(0, helpers.rfind('/')) + "/tools/zyrcopy/zyrcopy";
  ScratchDir output;
  const int status = std::system(("cd '" + dir.path() + "' && '" + tool + "' " + words + " > '" + output.file("out") +
                                  "' 2> '" + output.file("err") + "'")
                                     .c_str());
  ToolRun run;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = readFile(output.file("out"));
  run.err = readFile(output.file("err"));
  return run;
}

std::set<std::string> entries(const std::string &path) {
  std::set<std::string> names;
  for (const auto &entry : std::filesystem::directory_iterator(path))
    names.insert(entry.path().filename().string());
  return names;
}

const char *const kUsage = "usage: zyrcopy SOURCE DESTINATION\n";

// -h and --help describe the tool on the standard output and copy nothing, whatever follows.
TEST(ZyrcopyTool, HelpDescribesItAndCopiesNothing) {
  ScratchDir dir;
  writeFile(dir.file("src"), "abc");
  for (const char *words : {"-h", "--help", "--help src dst"}) {
    const ToolRun run = zyrcopy(dir, words);
    EXPECT_EQ(run.status, 0) << words;
    EXPECT_EQ(run.out.rfind(std::string(kUsage) + "\nCopies the file SOURCE to DESTINATION.", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("Exit status 0"), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "") << words;
  }
  EXPECT_EQ(entries(dir.path()), (std::set<std::string>{"src"}));
}

// An unknown option, or a wrong count of names, is wrong usage: the usage on the standard error,
// exit status 2, nothing copied; not even a name that could be a file is taken for one.
TEST(ZyrcopyTool, WrongUsageIsToldAndCopiesNothing) {
  ScratchDir dir;
  writeFile(dir.file("src"), "abc");
  writeFile(dir.file("-x"), "a file named like an option");
  for (const char *option : {"--bogus", "-x", "--hlep"}) {
    const ToolRun run = zyrcopy(dir, std::string(option) + " dst");
    EXPECT_EQ(run.status, 2) << option;
    EXPECT_EQ(run.out, "") << option;
    EXPECT_EQ(run.err, "zyrcopy: unknown option " + std::string(option) + "\n" + kUsage) << option;
  }
  for (const char *words : {"", "src", "src dst extra", "-- src"}) {
    const ToolRun run = zyrcopy(dir, words);
    EXPECT_EQ(run.status, 2) << words;
    EXPECT_EQ(run.out, "") << words;
    EXPECT_EQ(run.err, kUsage) << words;
  }
  EXPECT_EQ(entries(dir.path()), (std::set<std::string>{"-x", "src"}));
}

// "--" ends the options: a name after it that starts with "-" is a file.
TEST(ZyrcopyTool, NamesAfterTheEndOfTheOptionsAreFiles) {
  ScratchDir dir;
  writeFile(dir.file("-x"), "a file named like an option");
  const ToolRun run = zyrcopy(dir, "-- -x -y");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(readFile(dir.file("-y")), "a file named like an option");
  EXPECT_EQ(entries(dir.path()), (std::set<std::string>{"-x", "-y"}));
}

} // namespace
