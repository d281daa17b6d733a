// zyrplay and the mesh reader stopped by a signal inside an import or an export, each a real
// child process held at a pause point there: SIGINT and SIGTERM end them as a failed call ends
// (rolled back, nothing of theirs left in the directory, the database closed, one line saying
// what was abandoned, 128 + the signal); SIGKILL leaves files that the next open removes.
#include "zyrAPI.h"
#include "zyrLeftovers.h"
#include "zyrSystem.h"
#include "zyrTestChild.h"
#include "zyrTestErrors.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

std::string buildDir() {
  const std::string helpers = ZYR_TEST_HELPER_DIR;
  return helpers.substr(0, helpers.rfind('/'));
}

const std::string kZyrplay = buildDir() + "/tools/zyrplay/zyrplay";
const std::string kKelvoDir = buildDir() + "/tools/kelvo";

// Open a database, import the box through the mesh reader.
const Names kImport = {"zyrApp_setWorkingDirectory", ".", "zyrDatabase_open", "f.zyr", "zyrModel_importMesh", "0",
                       "Msh", "box-tet.msh", "", "", "m", "0"};
// Then write it as a definition file and close.
const Names kExport = {"zyrModel_exportMesh", "0", "Def", "out.wez", "m", "0", "zyrDatabase_close", "0", "0"};

Names importAndExport() {
  Names lines = kImport;
  lines.insert(lines.end(), kExport.begin(), kExport.end());
  return lines;
}

class InterruptTest : public testing::Test {
protected:
  void SetUp() override {
    if (!zyrtest::fileExists(kZyrplay) || !zyrtest::fileExists(kKelvoDir + "/Kelvo.exe"))
      GTEST_SKIP() << "zyrplay or Kelvo.exe not built";
    zyrtest::writeFile(m_work + "/box-tet.msh",
                       zyrtest::readFile(std::string(ZYR_SOURCE_DIR) + "/examples/box-tet.msh"));
  }

  // zyrplay playing its standard input in the work directory, its standard error into a file
  // beside it, held at the point; in a pid namespace of its own when asked, and with another mesh
  // reader than Kelvo.exe when one is given.
  std::unique_ptr<zyrtest::ChildProcess> zyrplay(const std::string &pauseAt, bool ownPidNamespace = false,
                                                 const char *reader = nullptr) {
    const std::vector<std::pair<std::string, const char *>> environment = {
        {"ZYR_USE_LOCAL_UNITS", "1"},    {"WEZ5BINDIR", kKelvoDir.c_str()},   {"WEZ5EXECDIR", kKelvoDir.c_str()},
        {"WEZ5_KELVO_EXEC", reader},     {"ZYR_SESSION_FILE", nullptr},      {"P3_INITIAL_PATH", nullptr},
        {"ZYR_DEBUG_CONTROL", m_control.empty() ? nullptr : m_control.c_str()}};
    return std::make_unique<zyrtest::ChildProcess>(
        "/bin/sh", std::vector<std::string>{"-c", "exec \"$0\" 2>\"$1\"", kZyrplay, m_dir.file("err.txt")},
        environment, m_work, pauseAt, ownPidNamespace);
  }
  // zyrplay playing the lines, held at the point.
  std::unique_ptr<zyrtest::ChildProcess> playing(const Names &lines, const std::string &point,
                                                 bool ownPidNamespace = false, const char *reader = nullptr) {
    auto child = zyrplay(point, ownPidNamespace, reader);
    for (const std::string &line : lines)
      child->send(line);
    child->closeInput();
    return child;
  }
  // zyrplay importing the box, held at the point.
  std::unique_ptr<zyrtest::ChildProcess> importing(const std::string &point, bool ownPidNamespace = false,
                                                   const char *reader = nullptr) {
    return playing(kImport, point, ownPidNamespace, reader);
  }
  // Plays the lines, stopped at the point by the signal: its exit status.
  int interrupt(const Names &lines, const std::string &point, int signal) {
    auto child = playing(lines, point);
    EXPECT_EQ(child->waitPause(), point);
    child->kill(signal);
    child->release();
    return child->wait();
  }
  Names left() const { return m_workDir.listing(); }
  std::string said() const { return zyrtest::readFile(m_dir.file("err.txt")); }
  // Opens the database in this process: its regions (surfaces and volumes); what the open and
  // the close said goes to *errors.
  int32_t regions(Names *errors) {
    zyrtest::ErrorCapture capture;
    zyrtest::EnvGuard units("ZYR_USE_LOCAL_UNITS", "1");
    int32_t hd = -1, hm = -1, n = -1;
    if (zyrDatabase_open((m_work + "/f.zyr").c_str(), &hd, &hm) == 1) {
      zyrModel_getNoOfRegions(hm, 0x0C, &n);
      zyrDatabase_close(hd, 0);
    }
    *errors = capture.take();
    return n;
  }
  static std::string pid(const std::string &name) { return std::to_string(zyrLeftovers_owner(name.c_str())); }

  zyrtest::ScratchDir m_dir{"zyrinterrupt"};
  zyrtest::ScratchDir m_workDir{"work", m_dir.path()};
  const std::string m_work = m_workDir.path();
  std::string m_control; // the debug control file zyrplay reads, when set
};

struct Stop {
  const char *point;
  int signal;
  bool export_; // the stop is in the export, after the import committed
};

TEST_F(InterruptTest, SigintAndSigtermAbandonTheCallAndLeaveNothing) {
  const std::vector<Stop> stops = {{"import.reader-started", SIGINT, false},
                                   {"import.reader-ended", SIGTERM, false},
                                   {"import.before-merge", SIGINT, false},
                                   {"export.zone", SIGTERM, true},
                                   {"export.before-replace", SIGINT, true}};
  for (const Stop &stop : stops) {
    SCOPED_TRACE(stop.point);
    EXPECT_EQ(interrupt(stop.export_ ? importAndExport() : kImport, stop.point, stop.signal), 128 + stop.signal);
    EXPECT_EQ(said(), std::string("zyrplay: interrupted (") + (stop.signal == SIGINT ? "SIGINT" : "SIGTERM") +
                          "): " + (stop.export_ ? "zyrModel_exportMesh" : "zyrModel_importMesh") +
                          " was abandoned; 1 open database closed\n");
    EXPECT_EQ(left(), (Names{"box-tet.msh", "f.zyr"}));
    // Closed properly, the import kept only when it had finished.
    Names errors;
    EXPECT_EQ(regions(&errors), stop.export_ ? 4 : 0);
    EXPECT_EQ(errors, Names{});
    ASSERT_EQ(std::remove((m_work + "/f.zyr").c_str()), 0);
  }
}

TEST_F(InterruptTest, WhatSigkillLeavesTheNextOpenRemoves) {
  // Killed with the intermediate mesh file read, and in the middle of the definition file.
  EXPECT_EQ(interrupt(kImport, "import.reader-ended", SIGKILL), 128 + SIGKILL);
  Names found = left();
  ASSERT_EQ(found.size(), 4u) << testing::PrintToString(found);
  const std::string intermediate = found[3];
  EXPECT_EQ(intermediate.rfind("zyr.zyr-pid", 0), 0u);
  EXPECT_EQ(found, (Names{"box-tet.msh", "f.zyr", "f.zyr.lck", intermediate}));
  Names errors;
  EXPECT_EQ(regions(&errors), 0);
  EXPECT_EQ(left(), (Names{"box-tet.msh", "f.zyr"}));
  ASSERT_EQ(errors.size(), 3u) << testing::PrintToString(errors);
  EXPECT_EQ(errors[1], "4: The file\n\n" + m_work + "/" + intermediate + "\n\nwas left behind by a process of id " +
                           pid(intermediate) + " and no process holds it any more; it has been removed.\n");
  EXPECT_NE(errors[2].find("was not closed properly"), std::string::npos) << errors[2];

  ASSERT_EQ(std::remove((m_work + "/f.zyr").c_str()), 0);
  EXPECT_EQ(interrupt(importAndExport(), "export.zone", SIGKILL), 128 + SIGKILL);
  found = left();
  ASSERT_EQ(found.size(), 5u) << testing::PrintToString(found);
  const std::string partial = found[3];
  EXPECT_EQ(partial.rfind("out.wez.zyr-pid", 0), 0u);
  EXPECT_EQ(found, (Names{"box-tet.msh", "f.zyr", "f.zyr.lck", partial, partial + ".lck"}));
  EXPECT_EQ(regions(&errors), 4);
  EXPECT_EQ(left(), (Names{"box-tet.msh", "f.zyr"}));
  const std::string removed = "4: The file\n\n" + m_work + "/" + partial;
  EXPECT_EQ(std::count_if(errors.begin(), errors.end(),
                          [&](const std::string &error) { return error.rfind(removed, 0) == 0; }),
            2)
      << testing::PrintToString(errors);
}

// An importer in a pid namespace of its own (process 1 there, as in a container) holds its
// intermediate mesh file from its making to its removal; killed with the file read, it leaves it to
// the next open, though a process of id 1 always runs here.
TEST_F(InterruptTest, AKilledImportsFileGoesAlsoFromAPidNamespaceOfItsOwn) {
  auto child = importing("import.reader-ended", true);
  if (!child->inOwnPidNamespace())
    GTEST_SKIP() << "no pid namespace can be made here";
  ASSERT_EQ(child->waitPause(), "import.reader-ended");
  Names found = left();
  ASSERT_EQ(found.size(), 4u) << testing::PrintToString(found);
  const std::string intermediate = found[3];
  EXPECT_EQ(intermediate.rfind("zyr.zyr-pid1.", 0), 0u);
  EXPECT_EQ(found, (Names{"box-tet.msh", "f.zyr", "f.zyr.lck", intermediate}));
  child->kill(SIGKILL);
  EXPECT_EQ(child->wait(), 128 + SIGKILL);
  Names errors;
  EXPECT_EQ(regions(&errors), 0);
  EXPECT_EQ(left(), (Names{"box-tet.msh", "f.zyr"}));
  ASSERT_EQ(errors.size(), 3u) << testing::PrintToString(errors);
  EXPECT_EQ(errors[1], "4: The file\n\n" + m_work + "/" + intermediate +
                           "\n\nwas left behind by a process of id 1 and no process holds it any more; it has "
                           "been removed.\n");
}

// The reader writes the intermediate mesh file through the hold its importer made and handed down:
// an importer killed while its reader runs leaves the file held by the reader, and no clean-up takes
// it then; once the reader has ended too, the next one does. The reader here tells its id and waits
// at a gate.
TEST_F(InterruptTest, AKilledImportsFileStaysWhileItsReaderRuns) {
  const std::string ready = m_dir.file("ready"), gate = m_dir.file("gate"), reader = m_dir.file("reader");
  ASSERT_EQ(mkfifo(ready.c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(gate.c_str(), 0600), 0);
  zyrtest::writeFile(reader, "#!/bin/sh\necho $$ > '" + ready + "'\nread go < '" + gate + "'\nexit 1\n");
  ASSERT_EQ(chmod(reader.c_str(), 0755), 0);
  // Opened here first, so that neither end waits for the other.
  const int told = open(ready.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  const int opener = open(gate.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(told, 0);
  ASSERT_GE(opener, 0);
  auto child = importing("import.reader-started", false, reader.c_str());
  ASSERT_EQ(child->waitPause(), "import.reader-started");
  pollfd said = {told, POLLIN, 0};
  char line[32] = {};
  ASSERT_EQ(poll(&said, 1, 60 * 1000), 1);
  ASSERT_GT(read(told, line, sizeof line - 1), 0);
  const pid_t running = static_cast<pid_t>(std::atol(line));
  const int watch = static_cast<int>(syscall(SYS_pidfd_open, running, 0));
  ASSERT_GE(watch, 0) << line;
  child->kill(SIGKILL);
  EXPECT_EQ(child->wait(), 128 + SIGKILL);

  const Names found = left();
  ASSERT_EQ(found.size(), 4u) << testing::PrintToString(found);
  EXPECT_EQ(found[3].rfind("zyr.zyr-pid" + std::to_string(static_cast<long>(child->pid())) + ".", 0), 0u);
  zyrtest::ErrorCapture capture;
  EXPECT_EQ(zyrRemoveLeftovers(m_work.c_str(), "test"), 0);
  EXPECT_EQ(left(), found);
  ASSERT_EQ(write(opener, "go\n", 3), 3);
  pollfd ended = {watch, POLLIN, 0};
  ASSERT_EQ(poll(&ended, 1, 60 * 1000), 1);
  EXPECT_EQ(zyrRemoveLeftovers(m_work.c_str(), "test"), 1);
  EXPECT_EQ(left(), (Names{"box-tet.msh", "f.zyr", "f.zyr.lck"}));
  close(watch);
  close(told);
  close(opener);
}

// An intermediate mesh file kept for debugging stays held while its importer lives, so that no
// clean-up takes it meanwhile (the export's after the import here), and goes as a leftover once the
// importer has ended.
TEST_F(InterruptTest, AnIntermediateFileKeptForDebuggingStaysWhileItsImporterLives) {
  m_control = m_dir.file("control");
  zyrtest::writeFile(m_control, "<LOGS>\nDEBUG = " + m_dir.file("debug.log") +
                                    "\n</LOGS>\n<DEBUG>\nImportedMesh_removeIntermediateFile: 1\n</DEBUG>\n");
  auto child = playing(importAndExport(), "export.before-replace");
  ASSERT_EQ(child->waitPause(), "export.before-replace");
  const Names found = left();
  const long importer = static_cast<long>(child->pid());
  ASSERT_EQ(std::count_if(found.begin(), found.end(),
                          [&](const std::string &name) {
                            return name.rfind("zyr.zyr-pid" + std::to_string(importer) + ".", 0) == 0;
                          }),
            1)
      << testing::PrintToString(found);
  zyrtest::ErrorCapture capture;
  EXPECT_EQ(zyrRemoveLeftovers(m_work.c_str(), "test"), 0);
  EXPECT_EQ(left(), found);
  child->kill(SIGKILL);
  EXPECT_EQ(child->wait(), 128 + SIGKILL);
  EXPECT_GE(zyrRemoveLeftovers(m_work.c_str(), "test"), 1);
  EXPECT_EQ(left(), (Names{"box-tet.msh", "f.zyr", "f.zyr.lck"}));
}

// A session that breaks off (a record cut short) after a failed import still closes the database
// it opened, and the next open finds it closed properly.
TEST_F(InterruptTest, ASessionThatEndsEarlyClosesWhatItOpened) {
  auto child = zyrplay("");
  for (const std::string &line : {"zyrDatabase_open", "f.zyr", "zyrModel_importMesh", "0", "Msh", "missing.msh", "",
                                  "", "m", "0", "zyrModel_importMesh", "0", "Msh"})
    child->send(line);
  child->closeInput();
  EXPECT_EQ(child->wait(), 1);
  EXPECT_NE(said().find("Has it been truncated?"), std::string::npos) << said();
  EXPECT_EQ(left(), (Names{"box-tet.msh", "f.zyr"}));
  Names errors;
  EXPECT_EQ(regions(&errors), 0);
  EXPECT_EQ(errors, Names{});
}

// The mesh reader run by itself: SIGINT and SIGTERM abandon the intermediate file it is writing
// (the error block says so); after SIGKILL its temporary file goes at the next clean-up.
TEST_F(InterruptTest, TheMeshReaderAbandonsItsFile) {
  const std::string kelvo = kKelvoDir + "/Kelvo.exe";
  const std::string mesh = m_work + "/box-tet.msh";
  for (const int signal : {SIGINT, SIGTERM, SIGKILL}) {
    SCOPED_TRACE(signal);
    zyrtest::ChildProcess reader(kelvo, {"-I", m_work + "/out.gmo", mesh}, {}, m_work, "gmo.dataset@3");
    ASSERT_EQ(reader.waitPause(), "gmo.dataset");
    reader.kill(signal);
    reader.release();
    Names output;
    for (std::string line = reader.readLine(); !line.empty(); line = reader.readLine())
      output.push_back(line);
    EXPECT_EQ(reader.wait(), 128 + signal);
    if (signal == SIGKILL) {
      const Names found = left();
      ASSERT_EQ(found.size(), 3u) << testing::PrintToString(found);
      EXPECT_EQ(found[1].rfind("out.gmo.zyr-pid" + std::to_string(static_cast<long>(reader.pid())) + ".tmp", 0), 0u);
      zyrtest::ErrorCapture capture;
      EXPECT_EQ(zyrRemoveLeftovers(m_work.c_str(), "test"), 2);
    } else {
      ASSERT_GE(output.size(), 3u);
      EXPECT_EQ(Names(output.end() - 3, output.end()),
                (Names{"<ERROR_BEG>",
                       std::string("Kelvo.exe: interrupted (") + (signal == SIGINT ? "SIGINT" : "SIGTERM") +
                           "): the import of \"" + mesh + "\" was abandoned; no intermediate mesh file was written",
                       "<ERROR_END>"}));
    }
    EXPECT_EQ(left(), Names{"box-tet.msh"});
  }
}

// A mesh reader interrupted once its file is in place removes that file again, and only that file:
// another file renamed onto the name meanwhile stays.
TEST_F(InterruptTest, TheMeshReaderRemovesOnlyTheFileItWrote) {
  const std::string kelvo = kKelvoDir + "/Kelvo.exe";
  const std::string mesh = m_work + "/box-tet.msh";
  for (const bool renamedOnto : {false, true}) {
    SCOPED_TRACE(renamedOnto ? "another file renamed onto it" : "its own");
    zyrtest::ChildProcess reader(kelvo, {"-I", m_work + "/out.gmo", mesh}, {}, m_work, "kelvo.written");
    ASSERT_EQ(reader.waitPause(), "kelvo.written");
    if (renamedOnto) {
      zyrtest::writeFile(m_work + "/other", "another program's");
      ASSERT_EQ(rename((m_work + "/other").c_str(), (m_work + "/out.gmo").c_str()), 0);
    }
    reader.kill(SIGINT);
    reader.release();
    while (!reader.readLine().empty()) {
    }
    EXPECT_EQ(reader.wait(), 128 + SIGINT);
    EXPECT_EQ(left(), renamedOnto ? (Names{"box-tet.msh", "out.gmo"}) : Names{"box-tet.msh"});
    if (renamedOnto)
      EXPECT_EQ(zyrtest::readFile(m_work + "/out.gmo"), "another program's");
    std::remove((m_work + "/out.gmo").c_str());
  }
}

// An export whose new file another file took the name of while it was written says so in the
// placement's words, and leaves that file where it was put.
TEST_F(InterruptTest, AnExportWhoseNewFileWasTakenTellsWhy) {
  auto child = playing(importAndExport(), "export.before-replace");
  ASSERT_EQ(child->waitPause(), "export.before-replace");
  std::string temporary;
  for (const std::string &name : left())
    if (name.rfind("out.wez.zyr-pid", 0) == 0 && name.find(".lck") == std::string::npos)
      temporary = m_work + "/" + name;
  ASSERT_FALSE(temporary.empty()) << testing::PrintToString(left());
  zyrtest::writeFile(m_dir.file("theirs"), "another program's");
  ASSERT_EQ(rename(m_dir.file("theirs").c_str(), temporary.c_str()), 0);
  child->release();
  EXPECT_EQ(child->wait(), 1);
  EXPECT_NE(said().find("Unable to write the definition file\n\nout.wez\n\nAnother file has been put under the name "
                        "of the new one meanwhile.\n"),
            std::string::npos)
      << said();
  EXPECT_EQ(zyrtest::readFile(temporary), "another program's");
  EXPECT_FALSE(zyrtest::fileExists(m_work + "/out.wez"));
}

// The intermediate file is read only as the file the import made and holds, whatever its name
// leads to once the reader has ended: another import's file renamed onto the name, the file
// removed, or its directory renamed and another file put under the name in a new one. The import
// fails and says why, the database holds no mesh, and what stands under the name is neither
// opened nor removed.
TEST_F(InterruptTest, TheImportReadsOnlyTheIntermediateFileItHolds) {
  // Another import's intermediate file: the reader's, of another mesh.
  const std::string other = m_dir.file("other.gmo");
  zyrtest::ChildProcess reader(kKelvoDir + "/Kelvo.exe",
                               {"-I", other, std::string(ZYR_SOURCE_DIR) + "/tests/data/meshes/two-blocks.v2.msh"});
  while (!reader.readLine().empty()) {
  }
  ASSERT_EQ(reader.wait(), 0);
  const std::string theirs = zyrtest::readFile(other);
  const std::string imports = m_work + "/imports", moved = m_work + "/moved";
  const struct {
    const char *m_change;
    const char *m_reason;
  } changes[] = {{"taken", "another file has taken its name"},
                 {"removed", "it is gone"},
                 {"directory renamed", "the directory it was made in has been renamed"}};
  for (const auto &change : changes) {
    SCOPED_TRACE(change.m_change);
    const std::string what = change.m_change;
    ASSERT_EQ(mkdir(imports.c_str(), 0700), 0);
    Names lines = kImport;
    lines[1] = "imports";
    auto child = playing(lines, "import.reader-ended");
    ASSERT_EQ(child->waitPause(), "import.reader-ended");
    const Names made = zyrtest::listing(imports);
    ASSERT_EQ(made.size(), 1u) << testing::PrintToString(made);
    const std::string name = imports + "/" + made[0];
    if (what == "directory renamed") {
      ASSERT_EQ(rename(imports.c_str(), moved.c_str()), 0);
      ASSERT_EQ(mkdir(imports.c_str(), 0700), 0);
    }
    if (what == "removed") {
      ASSERT_EQ(unlink(name.c_str()), 0);
    } else {
      zyrtest::writeFile(m_dir.file("theirs"), theirs);
      ASSERT_EQ(rename(m_dir.file("theirs").c_str(), name.c_str()), 0);
    }
    std::unique_ptr<zyrtest::OpenWatch> watch;
    if (what != "removed")
      watch = std::make_unique<zyrtest::OpenWatch>(name);
    child->release();
    EXPECT_EQ(child->wait(), 1);
    const std::string expected = "Unable to read the intermediate mesh file\n\n" + name +
                                 "\n\nIt is no longer the file the import made there: " + change.m_reason + ".\n";
    EXPECT_NE(said().find(expected), std::string::npos) << said();
    EXPECT_EQ(said().find("left behind"), std::string::npos) << said();
    if (watch != nullptr)
      EXPECT_EQ(watch->opens(), 0);
    EXPECT_EQ(zyrtest::listing(imports), what == "removed" ? Names{} : Names{made[0]});
    if (what != "removed")
      EXPECT_EQ(zyrtest::readFile(name), theirs);
    EXPECT_EQ(zyrtest::listing(moved), Names{});
    Names errors;
    EXPECT_EQ(regions(&errors), 0);
    std::remove(name.c_str());
    rmdir(imports.c_str());
    rmdir(moved.c_str());
    std::remove((m_work + "/f.zyr").c_str());
  }
}

} // namespace
