#include "Command.h"
#include "Environment.h"
#include "ErrorTestSupport.h"
#include "TestSupport.h"
#include "zyrCString.h"
#include "zyrError.h"

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

namespace {

std::string take(char *text) {
  std::string out = text ? text : "<NULL>";
  zyrCString_free(text);
  return out;
}

std::vector<std::string> arguments(const Command *command) {
  std::vector<std::string> out;
  for (int32_t i = 0; i < command->m_noOfArguments; ++i)
    out.push_back(command->m_arguments[i]);
  return out;
}

std::vector<std::string> split(const char *text) {
  Command *command = Command_new(nullptr, "x", CommandOnSearchPath);
  Command_addArgumentString(command, text);
  std::vector<std::string> out = arguments(command);
  Command_delete(command);
  return out;
}

// Sets (or unsets, for NULL) a variable for the life of the guard.
class EnvGuard {
public:
  EnvGuard(const char *name, const char *value) : m_name(name) {
    const char *old = std::getenv(name);
    m_had = old != nullptr;
    if (m_had)
      m_old = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~EnvGuard() {
    if (m_had)
      setenv(m_name.c_str(), m_old.c_str(), 1);
    else
      unsetenv(m_name.c_str());
  }

private:
  std::string m_name;
  std::string m_old;
  bool m_had = false;
};

std::string printed(void (*print)(const void *, FILE *), const void *record) {
  char *buffer = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&buffer, &size);
  print(record, stream);
  std::fclose(stream);
  std::string out(buffer, size);
  std::free(buffer);
  return out;
}

TEST(Command, RedirectionsFollowTheFirstUnquotedAngleBracket) {
  Command *command = Command_new(nullptr, "reader", CommandOnSearchPath);
  Command_addArguments(command, "-I", "file", ">", "out.txt", nullptr);
  EXPECT_EQ(Command_getNoOfRealArgs(command), 2);
  EXPECT_EQ(Command_getNoOfIoRedirectArgs(command), 2);
  Command_addArgument(command, "plain"); // after a redirection everything is one
  EXPECT_EQ(Command_getNoOfIoRedirectArgs(command), 3);
  Command_delete(command);

  EXPECT_EQ(Command_isRedirection("'>'"), 0);
  EXPECT_EQ(Command_isRedirection("\"a<b\""), 0);
  EXPECT_EQ(Command_isRedirection("\"it's\">x"), 1); // a single quote inside double quotes is text
  EXPECT_EQ(Command_isRedirection("'say \"'<"), 1);
  EXPECT_EQ(Command_isRedirection("2>&1"), 1);
  EXPECT_EQ(Command_isRedirection("'unclosed >"), 0);
}

TEST(Command, ArgumentArrayGrowsAndLiteralArgumentsStayReal) {
  Command *command = Command_new(nullptr, "reader", CommandOnSearchPath);
  std::vector<std::string> expected;
  for (int i = 0; i < 23; ++i) {
    expected.push_back("arg" + std::to_string(i));
    Command_addArgument(command, expected.back().c_str());
  }
  EXPECT_EQ(command->m_maximumNoOfArguments, 30);
  EXPECT_EQ(arguments(command), expected);

  Command_addArguments(command, "<", "in.txt", nullptr);
  // A file name or an option word holding '>' added literally is a real argument, placed before
  // the redirections.
  Command_addLiteralArgument(command, "> my file");
  Command_addLiteralArgument(command, "<");
  expected.push_back("> my file");
  expected.push_back("<");
  expected.push_back("<");
  expected.push_back("in.txt");
  EXPECT_EQ(arguments(command), expected);
  EXPECT_EQ(Command_getNoOfRealArgs(command), 25);
  EXPECT_EQ(Command_getNoOfIoRedirectArgs(command), 2);
  EXPECT_EQ(Command_hasArgument(command, "> my file"), 1);
  EXPECT_EQ(Command_hasArgument(command, "> my"), 0);
  Command_delete(command);
}

TEST(Command, ArgumentStringsSplitWithSingleQuoteGrouping) {
  using V = std::vector<std::string>;
  EXPECT_EQ(split("a 'b c' d"), (V{"a", "b c", "d"}));
  EXPECT_EQ(split("a 'b c"), (V{"a"}));
  EXPECT_EQ(split(" \t\n "), V{});
  EXPECT_EQ(split(""), V{});
  EXPECT_EQ(split("x'y z'w  v"), (V{"xy zw", "v"}));
  EXPECT_EQ(split("a \"b c\""), (V{"a", "\"b", "c\""}));
  EXPECT_EQ(split("a '"), (V{"a"}));
  EXPECT_EQ(split("'' b"), (V{"", "b"}));
  EXPECT_EQ(split("a b'"), (V{"a"}));
  EXPECT_EQ(split("  lead\ttrail  "), (V{"lead", "trail"}));

  // Quotes are gone by the time a word is classified.
  Command *command = Command_new(nullptr, "x", CommandOnSearchPath);
  Command_addArgumentString(command, "-v '>' out");
  EXPECT_EQ(Command_getNoOfRealArgs(command), 1);
  EXPECT_EQ(Command_getNoOfIoRedirectArgs(command), 2);
  Command_delete(command);
}

TEST(Command, CopiesQuotingAndLocations) {
  Command *command = Command_new(nullptr, "tool", CommandInCurrentDirectory);
  EXPECT_EQ(take(Command_getFullPathName(command)), "./tool");
  EXPECT_EQ(take(Command_getName(command)), "tool");
  EXPECT_EQ(Command_isOnSearchPath(command), 0);
  Command_addArguments(command, "my file", "myfile", nullptr);
  EXPECT_EQ(take(Command_getQuotedArgument(command, '"', 0)), "\"my file\"");
  EXPECT_EQ(take(Command_getQuotedArgument(command, '"', 1)), "myfile");
  EXPECT_EQ(take(Command_getArgument(command, 0)), "my file");
  Command_delete(command);

  command = Command_new(nullptr, "/bin/sh", CommandExplicitPath);
  EXPECT_EQ(take(Command_getFullPathName(command)), "/bin/sh");
  EXPECT_EQ(Command_exists(command), 1);
  Command_delete(command);

  command = Command_new(nullptr, "sh", CommandOnSearchPath);
  EXPECT_EQ(Command_isOnSearchPath(command), 1);
  EXPECT_EQ(Command_exists(command), 1);
  Command_delete(command);

  command = Command_new(nullptr, "no-such-command-zyr", CommandOnSearchPath);
  EXPECT_EQ(Command_exists(command), 0);
  {
    EnvGuard guard("ZYRTEST_COMMAND_OVERRIDE", nullptr);
    EXPECT_EQ(Command_override(command, "ZYRTEST_COMMAND_OVERRIDE"), 0);
    EXPECT_EQ(command->m_location, CommandOnSearchPath);
  }
  {
    EnvGuard guard("ZYRTEST_COMMAND_OVERRIDE", "/bin/sh");
    EXPECT_EQ(Command_override(command, "ZYRTEST_COMMAND_OVERRIDE"), 1);
    EXPECT_EQ(command->m_location, CommandOverridden);
    EXPECT_EQ(take(Command_getFullPathName(command)), "/bin/sh");
    EXPECT_EQ(Command_exists(command), 1);
  }
  Command_delete(command);
}

TEST(Command, OutOfRangeArgumentIsAnAssertionFailure) {
  Command *command = Command_new(nullptr, "tool", CommandOnSearchPath);
  Command_addArgument(command, "one");
  EXPECT_EXIT(Command_getArgument(command, 1), testing::ExitedWithCode(1),
              "i > -1 && i < this->m_noOfArguments");
  EXPECT_EXIT(Command_getQuotedArgument(command, '"', -1), testing::ExitedWithCode(1), "Command_getQuotedArgument");
  Command_delete(command);
}

TEST(Command, PrintedDump) {
  Command *command = Command_new(nullptr, "tool", 7);
  Command_addArguments(command, "a", ">", "o", nullptr);
  std::string text = printed([](const void *c, FILE *s) { Command_print(static_cast<const Command *>(c), s); }, command);
  text = std::regex_replace(text, std::regex("(Command: |= )(0x[0-9a-f]+|\\(nil\\))"), "$1@P@");
  std::string rule(46, '=');
  EXPECT_EQ(text, "\n" + rule + "\nCommand: @P@\n" + rule +
                      "\n\n"
                      "m_name                 = tool\n"
                      "m_fullpathname         = tool\n"
                      "m_environment          = @P@\n"
                      "m_environmentVariable  = NOT SET\n"
                      "m_noOfArguments        = 3\n"
                      "m_noOfRealArgs         = 1\n"
                      "m_noOfIoRedirectArgs   = 2\n"
                      "  m_arguments[0] = a\n"
                      "  m_arguments[1] = >\n"
                      "  m_arguments[2] = o\n"
                      "m_maximumNoOfArguments = 10\n"
                      "m_location             = 7 (Unknown)\n" +
                      rule + "\n\n");
  Command_delete(command);
}

class EnvironmentTest : public zyrtest::ErrorTest {};

TEST_F(EnvironmentTest, MissingVariablesPublish10019) {
  {
    EnvGuard bin("ZYRTBINDIR", "/b"), exec("ZYRTEXECDIR", nullptr);
    EXPECT_EQ(Environment_new("ZYRT"), nullptr);
    zyrError *error = zyrError_getLast();
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(zyrError_getCode(error), 10019);
    EXPECT_STREQ(zyrError_getMessage(error), "The environment variable:\n\nZYRTEXECDIR\n\nhas not been set. This "
                                             "must be set for the program to operate correctly.\n");
  }
  {
    EnvGuard bin("ZYRTBINDIR", nullptr), exec("ZYRTEXECDIR", "/e");
    EXPECT_EQ(Environment_new("ZYRT"), nullptr);
    EXPECT_NE(std::string(zyrError_getMessage(zyrError_getLast())).find("\n\nZYRTBINDIR\n\n"), std::string::npos);
  }
  {
    EnvGuard bin("WEZ5BINDIR", nullptr), exec("WEZ5EXECDIR", nullptr);
    EXPECT_EQ(Environment_new(nullptr), nullptr);
    EXPECT_STREQ(zyrError_getMessage(zyrError_getLast()),
                 "The environment variables:\n\nWEZ5BINDIR\nWEZ5EXECDIR\n\nhave not been set. These must be set "
                 "for the program to operate correctly.\n");
  }
}

TEST_F(EnvironmentTest, CommandsAreFoundThroughOverrideExecutablesAndScripts) {
  zyrtest::ScratchDir dir;
  std::string bin = dir.file("bin"), exec = dir.file("exec");
  ASSERT_EQ(mkdir(bin.c_str(), 0700), 0);
  ASSERT_EQ(mkdir(exec.c_str(), 0700), 0);
  zyrtest::writeFile(exec + "/Kelvo.exe", "");
  zyrtest::writeFile(bin + "/Other.exe", "");
  EnvGuard b("WEZ5BINDIR", bin.c_str()), e("WEZ5EXECDIR", exec.c_str()), t("TMPDIR", nullptr);
  EnvGuard o1("WEZ5_KELVO_EXEC", nullptr), o2("WEZ5_RUN_COMMAND", nullptr);
  Environment *environment = Environment_new(nullptr);
  ASSERT_NE(environment, nullptr);
  EXPECT_EQ(take(Environment_getTempDir(environment)), ".");
  EXPECT_EQ(take(Environment_getName(environment)), "WEZ5");

  EXPECT_EQ(take(Environment_getCommandPath(environment, "Kelvo.exe")), exec + "/Kelvo.exe");
  EXPECT_EQ(take(Environment_getCommandPath(environment, "Other.exe")), bin + "/Other.exe");
  EXPECT_EQ(take(Environment_getCommandPath(environment, "Missing.exe")), exec + "/Missing.exe");
  EXPECT_EQ(take(Environment_getCommandPath(environment, "run")), bin + "/run");
  // Only a lower-case ".exe" makes an executable.
  EXPECT_EQ(take(Environment_getCommandPath(environment, "Kelvo.EXE")), bin + "/Kelvo.EXE");
  EXPECT_EQ(take(Environment_buildVariable(environment, "Kelvo.EXE", 0)), "WEZ5_KELVO.EXE_COMMAND");
  EXPECT_EQ(take(Environment_buildVariable(environment, "Kelvo.exe", 1)), "WEZ5_KELVO_EXEC");
  EXPECT_EQ(take(Environment_buildVariable(environment, "run", 0)), "WEZ5_RUN_COMMAND");

  {
    EnvGuard over("WEZ5_KELVO_EXEC", "/nowhere/kelvo");
    EXPECT_EQ(take(Environment_getCommandPath(environment, "Kelvo.exe")), "/nowhere/kelvo");
    Command *command = Command_new(environment, "Kelvo.exe", CommandOnSearchPath);
    EXPECT_EQ(command->m_location, CommandInEnvironment);
    EXPECT_EQ(take(Command_getFullPathName(command)), "/nowhere/kelvo");
    EXPECT_EQ(Command_exists(command), 0);
    Command_delete(command);
  }
  {
    EnvGuard over("WEZ5_RUN_COMMAND", "/bin/true");
    EXPECT_EQ(take(Environment_getCommandPath(environment, "run")), "/bin/true");
  }
  Environment_delete(environment);

  EnvGuard lb("zyrlowBINDIR", "/b"), le("zyrlowEXECDIR", "/e"), lt("TMPDIR", "/t");
  environment = Environment_new("zyrlow");
  ASSERT_NE(environment, nullptr);
  EXPECT_EQ(take(Environment_buildVariable(environment, "a.exe", 1)), "ZYRLOW_A_EXEC");
  EXPECT_EQ(take(Environment_getTempDir(environment)), "/t");
  zyrCString_reassign(&environment->m_name, "");
  EXPECT_EQ(take(Environment_buildVariable(environment, "a.exe", 1)), "A_EXEC");
  Environment_delete(environment);
}

TEST_F(EnvironmentTest, OverridesAndPrintedDump) {
  EnvGuard b("ZYRPBINDIR", "/opt/b"), e("ZYRPEXECDIR", "/opt/e"), t("TMPDIR", nullptr);
  EnvGuard alt("ZYRTEST_ALT_DIR", "/alt"), unset("ZYRTEST_UNSET_DIR", nullptr);
  Environment *environment = Environment_new("ZYRP");
  ASSERT_NE(environment, nullptr);
  auto print = [](const void *r, FILE *s) { Environment_print(static_cast<const Environment *>(r), s); };
  std::string rule(56, '=');
  EXPECT_EQ(printed(print, environment),
            "\n" + rule + "\nEnvironment: ZYRP\n" + rule +
                "\n\nExecutable directory = /opt/e\nScripts    directory = /opt/b\nTemporary  directory = .\n\n"
                "Executable directory:  Set from the standard environment variable \"ZYRPEXECDIR\""
                "Scripts    directory:  Set from the standard environment variable \"ZYRPBINDIR\""
                "Temporary  directory:  Set from the standard environment variable \"TMPDIR\"");

  EXPECT_EQ(Environment_useBinDirVariable(environment, "ZYRTEST_UNSET_DIR"), 0);
  EXPECT_EQ(Environment_useBinDirVariable(environment, "ZYRTEST_ALT_DIR"), 1);
  Environment_overrideExecDir(environment, "/x");
  environment->m_tempDirSet = 9;
  EXPECT_EQ(take(Environment_getBinDir(environment)), "/alt");
  EXPECT_EQ(take(Environment_getExecDir(environment)), "/x");
  std::string text = printed(print, environment);
  EXPECT_NE(text.find("Executable directory:  Explicitly overriden"
                      "Scripts    directory:  Set from the non-standard environment variable \"ZYRTEST_ALT_DIR"
                      "Temporary  directory:  From a standard default"),
            std::string::npos);
  EXPECT_EXIT(Environment_overrideTempDir(environment, nullptr), testing::ExitedWithCode(1), "Assertion: +directory\n");
  Environment_delete(environment);
}

} // namespace
