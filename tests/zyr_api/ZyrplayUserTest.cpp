// Sessions played with zyrplay as a user plays them, where the user meets a refusal: an unknown
// length unit is refused before anything is made, stored or written, a database whose directory
// the user may not write says so at its open, not as another process's lock, and closes cleanly
// when nothing was to change, and a database that a live session writes is not said to have a
// lock file to delete.
#include "zyrTestChild.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Played {
  int status;
  std::string err;
};

class ZyrplayUserTest : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(zyrtest::fileExists(buildDir() + "/tools/zyrplay/zyrplay"));
    ASSERT_TRUE(zyrtest::fileExists(buildDir() + "/tools/kelvo/Kelvo.exe"));
  }
  static std::string buildDir() {
    const std::string helpers = ZYR_TEST_HELPER_DIR;
    return helpers.substr(0, helpers.rfind('/'));
  }
  // Plays the session (its lines) in the work directory; `otherUser`: run as a user who does not
  // own that directory (nobody, for a test run by root).
  Played play(const std::vector<std::string> &lines, bool otherUser = false) {
    std::string text;
    for (const std::string &line : lines)
      text += line + "\n";
    zyrtest::writeFile(m_output.file("session"), text);
    const int in = open(m_output.file("session").c_str(), O_RDONLY | O_CLOEXEC);
    const int err = open(m_output.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const std::string zyrplay = buildDir() + "/tools/zyrplay/zyrplay";
    const pid_t pid = fork();
    if (pid == 0) {
      dup2(in, 0);
      dup2(err, 2);
      const int out = open("/dev/null", O_WRONLY);
      dup2(out, 1);
      for (const auto &variable : environment())
        variable.second != nullptr ? setenv(variable.first.c_str(), variable.second, 1)
                                   : unsetenv(variable.first.c_str());
      if (chdir(m_work.path().c_str()) != 0 ||
          (otherUser && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)))
        zyrtest::leaveChild(126);
      execl(zyrplay.c_str(), zyrplay.c_str(), static_cast<char *>(nullptr));
      zyrtest::leaveChild(127);
    }
    close(in);
    close(err);
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, zyrtest::readFile(m_output.file("err"))};
  }
  // What zyrplay is played with: the reader beside it, the local units, no session recorded.
  static const std::vector<std::pair<std::string, const char *>> &environment() {
    static const std::string kelvo = buildDir() + "/tools/kelvo";
    static const std::vector<std::pair<std::string, const char *>> variables = {
        {"ZYR_SESSION_FILE", nullptr}, {"WEZ5_KELVO_EXEC", nullptr}, {"ZYR_USE_LOCAL_UNITS", "1"},
        {"WEZ5BINDIR", kelvo.c_str()}, {"WEZ5EXECDIR", kelvo.c_str()}};
    return variables;
  }
  // The session's lines importing the example mesh into the database, from its open to its close.
  static std::vector<std::string> importing(const std::string &database) {
    return {"zyrDatabase_open", database, "zyrModel_importMesh", "0", "Msh", "box-tet.msh", "", "", "m", "0",
            "zyrDatabase_close", "0", "0"};
  }
  void copyMesh() {
    zyrtest::writeFile(file("box-tet.msh"), zyrtest::readFile(std::string(ZYR_SOURCE_DIR) + "/examples/box-tet.msh"));
  }
  static int count(const std::string &text, const std::string &part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
      ++n;
    return n;
  }
  std::string file(const std::string &name) const { return m_work.file(name); }

  zyrtest::ScratchDir m_work{"zyrplay-user"};
  zyrtest::ScratchDir m_output{"zyrplay-user-output"};
};

TEST_F(ZyrplayUserTest, AnUnknownLengthUnitIsRefusedBeforeAnythingIsStoredOrWritten) {
  copyMesh();
  Played played = play({"zyrDatabase_open", "box.zyr", "zyrModel_importMesh", "0", "Msh", "box-tet.msh", "", "", "m",
                        "0", "zyrModel_exportMesh", "0", "Def", "box.wez", "m", "0", "zyrDatabase_close", "0", "0"});
  ASSERT_EQ(played.status, 0) << played.err;
  const std::string written = zyrtest::readFile(file("box.wez"));

  played = play({"zyrDatabase_open", "box.zyr", "zyrModel_importMesh", "0", "Msh", "box-tet.msh", "", "", "furlongz",
                 "0", "zyrModel_exportMesh", "0", "Def", "box.wez", "furlongz", "0", "zyrDatabase_close", "0", "0"});
  EXPECT_EQ(played.status, 1);
  // The two refusals and nothing else: no import was started, no file was written.
  EXPECT_EQ(count(played.err, "Error code:"), 2) << played.err;
  EXPECT_EQ(count(played.err, "Error code:  ZYR_U_INVALID_LENGTH_UNITS (10013)\n"), 2) << played.err;
  EXPECT_EQ(count(played.err, "Supplied units for length were: furlongz.\n"), 2) << played.err;
  EXPECT_EQ(zyrtest::readFile(file("box.wez")), written);
  EXPECT_FALSE(zyrtest::contains(zyrtest::readFile(file("box.zyr")), "furlongz"));

  // The database holds no trace of the unit: its next open says nothing.
  played = play({"zyrDatabase_open", "box.zyr", "zyrDatabase_close", "0", "0"});
  EXPECT_EQ(played.status, 0);
  EXPECT_EQ(played.err, "");
}

TEST_F(ZyrplayUserTest, ADirectoryTheUserMayNotWriteIsToldAtTheOpen) {
  Played played = play({"zyrDatabase_open", "x.zyr", "zyrDatabase_close", "0", "0"});
  ASSERT_EQ(played.status, 0) << played.err;
  // The file is the user's to write, its directory is not.
  ASSERT_EQ(chmod(file("x.zyr").c_str(), 0666), 0);
  ASSERT_EQ(chmod(m_work.path().c_str(), geteuid() == 0 ? 0755 : 0555), 0);
  const std::string bytes = zyrtest::readFile(file("x.zyr"));
  const std::vector<std::string> before = m_work.listing();

  played = play({"zyrDatabase_open", "x.zyr", "zyrStrategy_setIntegerParameter", "0",
                 "NameManager_compositeCopyingStrategy", "2", "zyrDatabase_close", "0", "0"},
                true);
  chmod(m_work.path().c_str(), 0755);
  EXPECT_EQ(played.status, 1);
  EXPECT_TRUE(zyrtest::contains(played.err, "Error code:  ZYR_W_INFORMATION (2)\n"
                                            "Description: A message for information purposes only.\n"
                                            "Function:    DefFile_openAsPrimaryFile\n"))
      << played.err;
  EXPECT_TRUE(zyrtest::contains(played.err, "The file\n\nx.zyr\n\ncan be read but not changed: its lock file "
                                            "x.zyr.lck cannot be made\n(the directory .: Permission denied).\n"))
      << played.err;
  // The change is refused for that reason, not as another process's lock.
  EXPECT_TRUE(zyrtest::contains(played.err, "Unable to claim the WEZ data file for writing: its lock file cannot "
                                            "be written.\n"))
      << played.err;
  // Named by the name the database keeps: the whole path, or the name given where the directories
  // above are closed to the user.
  EXPECT_TRUE(zyrtest::contains(played.err, "(can't make the lock file " + file("x.zyr.lck") +
                                                ") syserr:: Permission denied\n") ||
              zyrtest::contains(played.err, "(can't make the lock file x.zyr.lck) syserr:: Permission denied\n"))
      << played.err;
  EXPECT_FALSE(zyrtest::contains(played.err, "10012")) << played.err;
  EXPECT_FALSE(zyrtest::contains(played.err, "another process")) << played.err;
  EXPECT_EQ(zyrtest::readFile(file("x.zyr")), bytes);
  EXPECT_EQ(m_work.listing(), before);
}

// Nothing was to change: the close neither compacts nor asks for the write the open said was
// impossible, and succeeds, after an export elsewhere too.
TEST_F(ZyrplayUserTest, AnUnchangedDatabaseInADirectoryTheUserMayNotWriteClosesCleanly) {
  copyMesh();
  Played played = play(importing("x.zyr"));
  ASSERT_EQ(played.status, 0) << played.err;
  ASSERT_EQ(mkdir(file("out").c_str(), 0777), 0);
  ASSERT_EQ(chmod(file("out").c_str(), 0777), 0);
  // The user owns the file, not its directory.
  if (geteuid() == 0)
    ASSERT_EQ(chown(file("x.zyr").c_str(), 65534, 65534), 0);
  ASSERT_EQ(chmod(file("x.zyr").c_str(), 0644), 0);
  ASSERT_EQ(chmod(m_work.path().c_str(), geteuid() == 0 ? 0755 : 0555), 0);
  const std::string bytes = zyrtest::readFile(file("x.zyr"));
  const std::vector<std::string> before = m_work.listing();

  const std::vector<std::vector<std::string>> sessions = {
      {"zyrDatabase_open", "x.zyr", "zyrDatabase_close", "0", "0"},
      {"zyrDatabase_open", "x.zyr", "zyrModel_exportMesh", "0", "Def", "out/x.wez", "m", "0", "zyrDatabase_close",
       "0", "0"}};
  for (const std::vector<std::string> &session : sessions) {
    played = play(session, true);
    EXPECT_EQ(played.status, 0) << played.err;
    // The open's warning alone.
    EXPECT_EQ(count(played.err, "Error code:"), 1) << played.err;
    EXPECT_TRUE(zyrtest::contains(played.err, "x.zyr.lck cannot be made\n(the directory .: Permission denied).\n"))
        << played.err;
  }
  chmod(m_work.path().c_str(), 0755);
  EXPECT_TRUE(zyrtest::fileExists(file("out/x.wez")));
  EXPECT_EQ(zyrtest::readFile(file("x.zyr")), bytes);
  EXPECT_EQ(m_work.listing(), before);
}

// An export onto the database the session has open, whatever the name leads to it and however the
// session then closes, is refused and leaves the database whole: the next session opens it and
// exports it. So is an export to an empty name.
TEST_F(ZyrplayUserTest, AnExportOntoTheOpenDatabaseIsRefusedAndTheDatabaseStays) {
  copyMesh();
  Played played = play(importing("db.zyr"));
  ASSERT_EQ(played.status, 0) << played.err;
  ASSERT_EQ(symlink("db.zyr", file("link.zyr").c_str()), 0);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"db.zyr", "-1"}, {"./db.zyr", "0"}, {file("db.zyr"), "1"}, {"link.zyr", "-1"}, {"", "-1"}};
  for (const auto &exported : cases) {
    played = play({"zyrDatabase_open", "db.zyr", "zyrModel_exportMesh", "0", "Def", exported.first, "m", "0",
                   "zyrDatabase_close", "0", exported.second});
    EXPECT_EQ(played.status, 1) << exported.first;
    EXPECT_EQ(count(played.err, "Error code:"), 1) << played.err;
    EXPECT_TRUE(zyrtest::contains(played.err, "Error code:  ZYR_U_INVALID_INPUT (10020)\n")) << played.err;
    const std::string refusal =
        exported.first.empty()
            ? std::string("Unable to write the definition file\n\n\"\"\n\nNo file name has been supplied.\n")
            : "Unable to overwrite the existing file " + exported.first + ".\nIt is a database open in this session.\n";
    EXPECT_TRUE(zyrtest::contains(played.err, refusal)) << played.err;
    played = play({"zyrDatabase_open", "db.zyr", "zyrModel_exportMesh", "0", "Def", "box.wez", "m", "0",
                   "zyrDatabase_close", "0", "-1"});
    EXPECT_EQ(played.status, 0) << played.err;
    EXPECT_EQ(played.err, "");
  }
  EXPECT_EQ(m_work.listing(), (std::vector<std::string>{"box-tet.msh", "box.wez", "db.zyr", "link.zyr"}));
}

// While a session writes the database, another's open is refused with the writer named, and is not
// told to delete the lock file (that would let a second writer in).
TEST_F(ZyrplayUserTest, AnOpenRefusedByALiveWriterNamesItAndKeepsItsLock) {
  copyMesh();
  zyrtest::ChildProcess writer(buildDir() + "/tools/zyrplay/zyrplay", {}, environment(), m_work.path(),
                               "import.before-merge");
  for (const std::string &line : importing("one.zyr"))
    writer.send(line);
  writer.closeInput();
  ASSERT_EQ(writer.waitPause(), "import.before-merge");

  Played played = play({"zyrDatabase_open", "one.zyr"});
  EXPECT_EQ(played.status, 1);
  EXPECT_TRUE(zyrtest::contains(played.err, "Error code:  ZYR_U_DATABASE_IS_LOCKED (10012)\n")) << played.err;
  // The id where the system shows the open files of processes.
  const std::string holder =
      access("/proc/self/fdinfo", R_OK) == 0 ? " (process id " + std::to_string(writer.pid()) + ")" : std::string();
  EXPECT_TRUE(zyrtest::contains(played.err, "The supplied file name, one.zyr, can not\nbe opened: another process" +
                                                holder +
                                                " is writing it.\n\nThe open can be tried again when that "
                                                "process has finished with the file.\n"))
      << played.err;
  EXPECT_FALSE(zyrtest::contains(played.err, "deleting")) << played.err;
  EXPECT_EQ(zyrtest::readFile(file("one.zyr.lck")), "        -1\n");

  writer.release();
  EXPECT_EQ(writer.wait(), 0);
  EXPECT_FALSE(zyrtest::fileExists(file("one.zyr.lck")));
}

} // namespace
