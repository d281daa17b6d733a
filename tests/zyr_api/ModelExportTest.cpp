// Writing a model out through the procedural interface: the mesh-only export with its type and
// unit rules, an old file that survives a refused or failed export, and the physics-mode write.
#include "Assembly.h"
#include "Boundary.h"
#include "DefFile.h"
#include "EditingTestSupport.h"
#include "Model.h"
#include "Region.h"
#include "Shell.h"
#include "Topology.h"
#include "zyrAPI.h"
#include "zyrCString.h"
#include "zyrLeftovers.h"
#include "zyrMemory.h"
#include "zyrSystem.h"
#include "zyrTestChild.h"
#include "zyrTestErrors.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

class ModelExportTest : public testing::Test {
protected:
  void SetUp() override {
    zyrtest::ErrorCapture::clear();
    ASSERT_EQ(zyrDatabase_open(m_dir.file("m.zyr").c_str(), &m_hd, &m_hm), 1);
    ASSERT_EQ(zyrAPI_getModel(m_hm, "test", &m_model), 1);
    m_file = m_dir.file("case.wez");
  }
  void TearDown() override {
    zyrDatabase_close(m_hd, 1);
    zyrtest::ErrorCapture::clear();
  }

  // One assembly "Block" with volume "Fluid" bounded by "inlet" and "wall", meshed by a unit
  // hexahedron whose faces at x = 0 and x = 1 are the surfaces (a zone without coordinates would
  // make no definition file, as without `meshed`).
  void block(bool meshed = true) {
    Topology *topology = Model_getTopology(m_model);
    Assembly *a = Assembly_new(topology, "Block");
    Region *v = Region_new(topology, a, "Fluid", 3);
    Boundary *boundary = Boundary_new();
    Shell *shell = Shell_new();
    Region *inlet = Region_new(topology, a, "inlet", 2);
    Region *wall = Region_new(topology, a, "wall", 2);
    Shell_addRegion(shell, inlet);
    Shell_addRegion(shell, wall);
    Boundary_addShell(boundary, shell);
    Region_setBoundary(v, boundary);
    if (!meshed) {
      Model_flushChanges(m_model);
      return;
    }
    const std::vector<double> xyz = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1};
    ElementMesh *em = ElementMesh_new(v);
    ElementMesh_setVertices(em, Vertices_new(3, "m", 2, 8, apitest::tracked(xyz)));
    ElementSet *set =
        ElementSet_new(ZYR_ELEMENT_HEXA_8, 0, 8, apitest::tracked(std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7}));
    ElementMesh_addElementSet(em, set);
    Mesh *mesh = Model_getMesh(m_model);
    Mesh_addElementMesh(mesh, em);
    Mesh_addFaceMesh(mesh, editingtest::faceMeshAt(inlet, em, set, editingtest::hexFaceAt(xyz, 0)));
    Mesh_addFaceMesh(mesh, editingtest::faceMeshAt(wall, em, set, editingtest::hexFaceAt(xyz, 1)));
    Model_flushChanges(m_model);
  }

  Lines strings(const char *what) {
    DefFile *file = DefFile_new(m_file.c_str());
    char **array = nullptr;
    int32_t n = 0;
    Lines values;
    if (DefFile_readIoStrings(file, what, "EVERY", 0, &array, &n))
      values.assign(array, array + n);
    if (array != nullptr)
      zyrCStringArray_free(array, uint64_t(n));
    DefFile_delete(file);
    return values;
  }

  std::string lastMessage() {
    zyrError *error = zyrtest::ErrorCapture::last();
    return error != nullptr && zyrError_getMessage(error) != nullptr ? zyrError_getMessage(error) : "";
  }

  Lines directory() {
    Lines names;
    DIR *d = opendir(m_dir.path().c_str());
    while (dirent *entry = readdir(d))
      if (entry->d_name[0] != '.')
        names.push_back(entry->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
  }

  // zyrplay, playing the lines in the scratch directory and held at the pause point, with the
  // example mesh beside it and its reader at hand.
  std::unique_ptr<zyrtest::ChildProcess> player(const Lines &lines, const std::string &pauseAt) {
    const std::string helpers = ZYR_TEST_HELPER_DIR;
    const std::string build = helpers.substr(0, helpers.rfind('/'));
    static std::string kelvo;
    kelvo = build + "/tools/kelvo";
    zyrtest::writeFile(m_dir.file("box-tet.msh"),
                       zyrtest::readFile(std::string(ZYR_SOURCE_DIR) + "/examples/box-tet.msh"));
    auto played = std::make_unique<zyrtest::ChildProcess>(
        build + "/tools/zyrplay/zyrplay", std::vector<std::string>{},
        std::vector<std::pair<std::string, const char *>>{{"ZYR_SESSION_FILE", nullptr},
                                                          {"WEZ5_KELVO_EXEC", nullptr},
                                                          {"ZYR_USE_LOCAL_UNITS", "1"},
                                                          {"WEZ5BINDIR", kelvo.c_str()},
                                                          {"WEZ5EXECDIR", kelvo.c_str()}},
        m_dir.path(), pauseAt);
    for (const std::string &line : lines)
      played->send(line);
    played->closeInput();
    return played;
  }
  // A session's lines that import the example mesh into the database.
  static Lines importing(const std::string &database) {
    return {"zyrDatabase_open", database, "zyrModel_importMesh", "0", "Msh", "box-tet.msh", "", "", "m", "0"};
  }
  static Lines joined(Lines lines, const Lines &more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
  }

  zyrtest::EnvGuard m_units{"ZYR_USE_LOCAL_UNITS", "1"};
  zyrtest::EnvGuard m_session{"ZYR_SESSION_FILE", nullptr};
  zyrtest::ScratchDir m_dir{"zyrexport"};
  int32_t m_hd = -1, m_hm = -1;
  Model *m_model = nullptr;
  std::string m_file;
};

TEST_F(ModelExportTest, RefusedTypeLeavesTheOldFileAlone) {
  block();
  zyrtest::writeFile(m_file, "earlier results");
  EXPECT_EQ(zyrModel_exportMesh(m_hm, "Msh", m_file.c_str(), "m", 0), 0);
  EXPECT_EQ(lastMessage(), "The export type \"Msh\" is not recognised.\n");
  EXPECT_EQ(zyrModel_exportMesh(m_hm, nullptr, m_file.c_str(), "m", 0), 0);
  EXPECT_EQ(lastMessage(), "No values was supplied for the export type.\n");
  EXPECT_EQ(zyrtest::readFile(m_file), "earlier results");
}

TEST_F(ModelExportTest, FailedExportKeepsTheOldFileAndLeavesNoTemporary) {
  zyrtest::writeFile(m_file, "earlier results");
  // No volume: the writer refuses the model.
  EXPECT_EQ(zyrModel_exportMesh(m_hm, "Def", m_file.c_str(), "m", 0), 0);
  EXPECT_EQ(zyrError_getCode(zyrtest::ErrorCapture::last()), 10042);
  EXPECT_EQ(zyrtest::readFile(m_file), "earlier results");
  EXPECT_EQ(directory(), (Lines{"case.wez", "m.zyr", "m.zyr.lck"}));
}

// A file that cannot be made where it was asked for is named, with the system's reason; what an
// export killed half way left in that directory goes, also under the id of a process that runs
// (the killed one's in a pid namespace of its own), and the message says only what is known. What
// a process holds stays, and so do a pipe under a leftover's name and a name of the older shape,
// without the library's mark, while a process of its id runs.
TEST_F(ModelExportTest, TheFileAskedForIsNamedAndLeftoversOfEndedExportsGo) {
  block();
  for (const std::string &where : {m_dir.file("nowhere/out.wez"), m_dir.file("m.zyr/out.wez")}) {
    EXPECT_EQ(zyrModel_exportMesh(m_hm, "Def", where.c_str(), "m", 0), 0);
    EXPECT_EQ(zyrError_getCode(zyrtest::ErrorCapture::last()), 10033);
    EXPECT_EQ(lastMessage(), "Unable to write the definition file\n\n" + where + "\n\n" +
                                 (where.find("m.zyr") != std::string::npos ? "Not a directory"
                                                                           : "No such file or directory") +
                                 ".\n");
  }
  const std::string ended = std::to_string(static_cast<long>(zyrtest::endedProcess()));
  const std::string dead = "case.wez.zyr-pid" + ended + ".tmp", older = "case.wez.pid" + ended + ".tmp";
  const std::string contained = "case.wez.zyr-pid1.0123456789abcdef.tmp";
  const std::string held = "case.wez.zyr-pid1.fedcba9876543210.tmp", running = "case.wez.pid1.tmp";
  const Lines pipes = {"fifo.pid1.tmp", "fifo.zyr-pid" + ended + ".tmp"};
  for (const std::string &name : {dead, dead + ".lck", older, contained, contained + ".lck", held, running})
    zyrtest::writeFile(m_dir.file(name), "partial");
  for (const std::string &name : pipes)
    ASSERT_EQ(mkfifo(m_dir.file(name).c_str(), 0600), 0);
  const int holder = open(m_dir.file(held).c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(holder, LOCK_SH), 0);
  zyrtest::ErrorCapture errors;
  ASSERT_EQ(zyrModel_exportMesh(m_hm, "Def", m_file.c_str(), "m", 0), 1);
  close(holder);
  EXPECT_EQ(directory(), (Lines{"case.wez", running, held, "fifo.pid1.tmp", pipes[1], "m.zyr", "m.zyr.lck"}));
  const Lines told = errors.take();
  EXPECT_EQ(std::count_if(told.begin(), told.end(),
                          [](const std::string &error) { return error.rfind("4: The file\n\n", 0) == 0; }),
            5)
      << testing::PrintToString(told);
  EXPECT_NE(std::find(told.begin(), told.end(),
                      "4: The file\n\n" + m_dir.file(contained) +
                          "\n\nwas left behind by a process of id 1 and no process holds it any more; it has been "
                          "removed.\n"),
            told.end())
      << testing::PrintToString(told);
}

// In a directory where everybody may write, another user's files beside the target stay whatever
// their names: those that a live process of that user has open without a lock, under its own id,
// marked or of the older shape (as another program names its temporaries), and one under the id of
// a process that has ended. An export there and an open there remove none of them, and tell nothing.
TEST_F(ModelExportTest, AnotherUsersFilesBesideTheTargetStay) {
  if (geteuid() != 0)
    GTEST_SKIP() << "needs a second user";
  block();
  ASSERT_EQ(chmod(m_dir.path().c_str(), 0777), 0);
  if (!zyrtest::othersCanReach(m_dir.path()))
    GTEST_SKIP() << "another user cannot reach " << m_dir.path() << ": a directory on its way lets only its owner in";
  const std::string ended = std::to_string(static_cast<long>(zyrtest::endedProcess()));
  zyrtest::OtherUserFiles theirs(m_dir.path(), [&](long pid) {
    const std::string id = std::to_string(pid);
    return Lines{"notes.wez.pid" + id + ".tmp", "report.pid" + id + ".tmp", "data.pid" + id + ".0123456789abcdef.tmp",
                 "notes.wez.zyr-pid" + id + ".tmp", "notes.wez.zyr-pid" + ended + ".tmp"};
  });
  ASSERT_TRUE(theirs.holds());
  Lines expected = directory();
  zyrtest::ErrorCapture errors;
  ASSERT_EQ(zyrModel_exportMesh(m_hm, "Def", m_dir.file("notes.wez").c_str(), "m", 0), 1);
  int32_t hd = -1, hm = -1;
  ASSERT_EQ(zyrDatabase_open(m_dir.file("other.zyr").c_str(), &hd, &hm), 1);
  EXPECT_EQ(zyrDatabase_close(hd, 0), 1);
  expected.insert(expected.end(), {"notes.wez", "other.zyr"});
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(directory(), expected);
  EXPECT_EQ(errors.take(), Lines{});
}

// The coordinates of a zone without a mesh cannot be written: the export fails, and the file it
// would have replaced stays.
TEST_F(ModelExportTest, AZoneWithoutAMeshFailsTheExportAndReplacesNothing) {
  block(false);
  zyrtest::writeFile(m_file, "earlier results");
  zyrtest::ErrorCapture errors;
  EXPECT_EQ(zyrModel_exportMesh(m_hm, "Def", m_file.c_str(), "m", 0), 0);
  const Lines told = errors.take();
  EXPECT_TRUE(std::any_of(told.begin(), told.end(),
                          [](const std::string &error) { return error.find("G/CRDVX") != std::string::npos; }))
      << testing::PrintToString(told);
  EXPECT_EQ(zyrtest::readFile(m_file), "earlier results");
  EXPECT_EQ(directory(), (Lines{"case.wez", "m.zyr", "m.zyr.lck"}));
}

TEST_F(ModelExportTest, DefReplacesTheFileAndBlankUnitsMeanMetres) {
  block();
  zyrtest::writeFile(m_file, "earlier results");
  ASSERT_EQ(zyrModel_exportMesh(m_hm, "Def", m_file.c_str(), "   ", 0), 1);
  EXPECT_EQ(strings("G/COMMANDS"), (Lines{""}));
  EXPECT_EQ(strings("G/CGUNIT"), (Lines{"m"}));
  EXPECT_EQ(strings("G/NAMEMAP"), (Lines{"Block", "ZN1", "DOMAIN", "ZN", "inlet", "BCP1", "BOUNDARY", "BCP", "wall",
                                         "BCP2", "BOUNDARY", "BCP", "Fluid", "VP1", "SUBDOMAIN", "VP"}));
  EXPECT_EQ(directory(), (Lines{"case.wez", "m.zyr", "m.zyr.lck"}));
}

// What stands under the name and is no regular file (a device, a pipe, a socket, a directory, or
// any of them at the end of a link) is refused at once, without being opened or waited on, and
// stays as it was; nothing is written beside it.
TEST_F(ModelExportTest, OnlyARegularFileIsEverReplaced) {
  block();
  const std::string fifo = m_dir.file("fifo"), socketName = m_dir.file("sock"), folder = m_dir.file("folder"),
                    device = m_dir.file("nul"), link = m_dir.file("to-fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  ASSERT_EQ(symlink("fifo", link.c_str()), 0);
  const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socketName.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socketName.c_str());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
  std::vector<std::string> names = {fifo, socketName, folder, link};
  // A device node needs the privilege to make one.
  if (mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0)
    names.push_back(device);
  const Lines before = directory();
  for (const std::string &name : names) {
    struct stat was, is;
    ASSERT_EQ(lstat(name.c_str(), &was), 0);
    EXPECT_EQ(zyrModel_exportMesh(m_hm, "Def", name.c_str(), "m", 0), 0) << name;
    EXPECT_EQ(zyrError_getCode(zyrtest::ErrorCapture::last()), 10020);
    EXPECT_EQ(lastMessage(), "Unable to overwrite the existing file " + name + ".\n" +
                                 (name == folder ? "Is a directory" : "It is not a regular file") + ".\n");
    ASSERT_EQ(lstat(name.c_str(), &is), 0);
    EXPECT_EQ(is.st_mode, was.st_mode) << name;
    EXPECT_EQ(is.st_rdev, was.st_rdev) << name;
  }
  EXPECT_EQ(directory(), before);
  close(listener);
}

// Through a symbolic link (a chain of relative links into another directory, or a link that leads
// nowhere yet) the file the link leads to is written, beside which the temporary lies; the links
// stay links.
TEST_F(ModelExportTest, ThroughALinkTheFileItLeadsToIsWritten) {
  block();
  zyrtest::ScratchDir results("results", m_dir.path());
  zyrtest::writeFile(results.file("x.wez"), "stale results");
  ASSERT_EQ(symlink((results.path().substr(m_dir.path().size() + 1) + "/x.wez").c_str(), m_dir.file("hop").c_str()), 0);
  ASSERT_EQ(symlink("hop", m_file.c_str()), 0);
  ASSERT_EQ(symlink((results.path() + "/new.wez").c_str(), m_dir.file("dangling.wez").c_str()), 0);
  for (const std::string &name : {m_file, m_dir.file("dangling.wez")})
    ASSERT_EQ(zyrModel_exportMesh(m_hm, "Def", name.c_str(), "m", 0), 1) << lastMessage();
  for (const char *name : {"case.wez", "hop", "dangling.wez"}) {
    struct stat status;
    ASSERT_EQ(lstat(m_dir.file(name).c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode)) << name;
  }
  EXPECT_EQ(strings("G/CGUNIT"), (Lines{"m"}));
  EXPECT_EQ(zyrtest::readFile(results.file("new.wez")), zyrtest::readFile(results.file("x.wez")));
  EXPECT_EQ(results.listing(), (std::vector<std::string>{"new.wez", "x.wez"}));
}

// The definition file keeps the permissions of the file it replaces; a new one gets the usual mode.
TEST_F(ModelExportTest, TheReplacedFilesPermissionsAreKept) {
  block();
  const mode_t mask = umask(022);
  for (mode_t mode : {0600, 0444, 0640}) {
    zyrtest::writeFile(m_file, "earlier results");
    ASSERT_EQ(chmod(m_file.c_str(), mode), 0);
    ASSERT_EQ(zyrModel_exportMesh(m_hm, "Def", m_file.c_str(), "m", 0), 1) << lastMessage();
    struct stat status;
    ASSERT_EQ(stat(m_file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, mode);
    EXPECT_EQ(strings("G/CGUNIT"), (Lines{"m"}));
    ASSERT_EQ(unlink(m_file.c_str()), 0);
  }
  ASSERT_EQ(zyrModel_exportMesh(m_hm, "Def", m_file.c_str(), "m", 0), 1);
  struct stat status;
  ASSERT_EQ(stat(m_file.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0644u);
  umask(mask);
  // The owner and group too, where the process may set them.
  if (geteuid() == 0) {
    ASSERT_EQ(chown(m_file.c_str(), 4321, 4321), 0);
    ASSERT_EQ(zyrModel_exportMesh(m_hm, "Def", m_file.c_str(), "m", 0), 1);
    ASSERT_EQ(stat(m_file.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 4321u);
    EXPECT_EQ(status.st_gid, 4321u);
  }
}

// Every name whose lock file the system takes is written, whatever this process's id, new and over
// an old file; a longer one is refused as too long, naming the name given, and leaves nothing.
TEST_F(ModelExportTest, EveryNameWhoseLockFileFitsIsWritten) {
  block();
  const size_t most = zyrLeftovers_nameMax(m_dir.path().c_str());
  const std::string longest = m_dir.file(std::string(most - 8, 'w') + ".wez");
  for (int pass = 0; pass < 2; ++pass)
    ASSERT_EQ(zyrModel_exportMesh(m_hm, "Def", longest.c_str(), "m", 0), 1) << lastMessage();
  m_file = longest;
  EXPECT_EQ(strings("G/CGUNIT"), (Lines{"m"}));
  EXPECT_EQ(directory(), (Lines{"m.zyr", "m.zyr.lck", longest.substr(m_dir.path().size() + 1)}));
  ASSERT_EQ(unlink(longest.c_str()), 0);

  const std::string longer = m_dir.file(std::string(most - 7, 'w') + ".wez");
  EXPECT_EQ(zyrModel_exportMesh(m_hm, "Def", longer.c_str(), "m", 0), 0);
  EXPECT_EQ(lastMessage(), "Unable to write the definition file\n\n" + longer + "\n\nFile name too long.\n");
  EXPECT_EQ(directory(), (Lines{"m.zyr", "m.zyr.lck"}));
}

TEST_F(ModelExportTest, AnEmptyNameIsRefused) {
  block();
  const Lines before = directory();
  for (const char *name : {"", static_cast<const char *>(nullptr), " ", " \t"}) {
    zyrtest::ErrorCapture::clear();
    EXPECT_EQ(zyrModel_exportMesh(m_hm, "Def", name, "m", 0), 0);
    EXPECT_EQ(zyrError_getCode(zyrtest::ErrorCapture::last()), 10020);
    EXPECT_EQ(lastMessage(), "Unable to write the definition file\n\n\"" + std::string(name != nullptr ? name : "") +
                                 "\"\n\nNo file name has been supplied.\n");
  }
  EXPECT_EQ(directory(), before);
}

// A database open in this session, under any name that leads to it (relative, absolute, through a
// link), and any other this process has open, is refused before anything is written: the file and
// its directory stay as they were, and the database closes and opens again whole.
TEST_F(ModelExportTest, ADatabaseOpenInThisSessionIsNeverReplaced) {
  block();
  int32_t hOther = -1, hOtherModel = -1;
  ASSERT_EQ(zyrDatabase_open(m_dir.file("other.zyr").c_str(), &hOther, &hOtherModel), 1);
  ASSERT_EQ(symlink("m.zyr", m_dir.file("to-m.zyr").c_str()), 0);
  const zyrtest::WorkingDir here(m_dir.path());
  const std::string bytes = zyrtest::readFile(m_dir.file("m.zyr"));
  const Lines before = directory();
  for (const std::string &name : {std::string("m.zyr"), std::string("./m.zyr"), m_dir.file("m.zyr"),
                                  m_dir.file("to-m.zyr"), std::string("other.zyr")}) {
    EXPECT_EQ(zyrModel_exportMesh(m_hm, "Def", name.c_str(), "m", 0), 0) << name;
    EXPECT_EQ(zyrError_getCode(zyrtest::ErrorCapture::last()), 10020);
    EXPECT_EQ(lastMessage(),
              "Unable to overwrite the existing file " + name + ".\nIt is a database open in this session.\n");
  }
  EXPECT_EQ(zyrtest::readFile(m_dir.file("m.zyr")), bytes);
  EXPECT_EQ(directory(), before);
  EXPECT_EQ(zyrDatabase_close(hOther, -1), 1);
  ASSERT_EQ(zyrDatabase_close(m_hd, 0), 1);
  zyrtest::ErrorCapture errors;
  ASSERT_EQ(zyrDatabase_open(m_dir.file("m.zyr").c_str(), &m_hd, &m_hm), 1);
  EXPECT_EQ(zyrModel_exportMesh(m_hm, "Def", m_file.c_str(), "m", 0), 1);
  EXPECT_EQ(errors.take(), Lines{});
  EXPECT_EQ(strings("G/CGUNIT"), (Lines{"m"}));
}

// While another process writes a database (held here in its import), an export onto it is refused,
// naming the process, and writes nothing; a third open is refused by that live writer (the lock
// file stays backed by its lock, never taken over as one that nobody backs), and the
// writer's import reaches its database.
TEST_F(ModelExportTest, ADatabaseAnotherProcessHoldsIsNeverReplaced) {
  block();
  std::unique_ptr<zyrtest::ChildProcess> writer =
      player(joined(importing("held.zyr"), {"zyrDatabase_close", "0", "-1"}), "import.before-merge");
  ASSERT_EQ(writer->waitPause(), "import.before-merge");
  const std::string held = m_dir.file("held.zyr");
  const std::string bytes = zyrtest::readFile(held);
  const Lines before = directory();

  EXPECT_EQ(zyrModel_exportMesh(m_hm, "Def", held.c_str(), "m", 0), 0);
  EXPECT_EQ(zyrError_getCode(zyrtest::ErrorCapture::last()), 10020);
  EXPECT_EQ(lastMessage(), "Unable to overwrite the existing file " + held + ".\nIt is in use by process " +
                               std::to_string(writer->pid()) + ".\n");
  EXPECT_EQ(zyrtest::readFile(held), bytes);
  EXPECT_EQ(zyrtest::readFile(held + ".lck"), "        -1\n");
  EXPECT_EQ(directory(), before);

  zyrtest::ErrorCapture errors;
  int32_t hd = -1, hm = -1;
  EXPECT_EQ(zyrDatabase_open(held.c_str(), &hd, &hm), 0);
  const Lines told = errors.take();
  const std::string holder = " (process id " + std::to_string(writer->pid()) + ")";
  EXPECT_TRUE(std::any_of(told.begin(), told.end(), [&](const std::string &error) {
    return error.find("another process" + holder + " is writing it") != std::string::npos;
  })) << testing::PrintToString(told);
  EXPECT_FALSE(std::any_of(told.begin(), told.end(), [](const std::string &error) {
    return error.find("ended") != std::string::npos;
  })) << testing::PrintToString(told);

  writer->release();
  EXPECT_EQ(writer->wait(), 0);
  ASSERT_EQ(zyrDatabase_open(held.c_str(), &hd, &hm), 1);
  EXPECT_EQ(zyrModel_exportMesh(hm, "Def", m_file.c_str(), "m", 0), 1);
  EXPECT_EQ(zyrDatabase_close(hd, -1), 1);
  EXPECT_EQ(errors.take(), Lines{});
}

// A running export's temporary is held by it from its making to its rename: an export or a copy
// onto that name is refused, and the running export puts its own file in place.
TEST_F(ModelExportTest, ARunningExportsTemporaryIsNeverReplaced) {
  block();
  std::unique_ptr<zyrtest::ChildProcess> exporter =
      player(joined(importing("theirs.zyr"),
                    {"zyrModel_exportMesh", "0", "Def", "out.wez", "m", "0", "zyrDatabase_close", "0", "-1"}),
             "export.before-replace");
  ASSERT_EQ(exporter->waitPause(), "export.before-replace");
  const std::string temporary = m_dir.file("out.wez.zyr-pid" + std::to_string(exporter->pid()) + ".tmp");
  ASSERT_TRUE(zyrtest::fileExists(temporary));
  const std::string bytes = zyrtest::readFile(temporary);
  const std::string why = "Unable to overwrite the existing file " + temporary + ".\nIt is in use by process " +
                          std::to_string(exporter->pid()) + ".\n";
  EXPECT_EQ(zyrModel_exportMesh(m_hm, "Def", temporary.c_str(), "m", 0), 0);
  EXPECT_EQ(lastMessage(), why);
  errno = 0;
  EXPECT_EQ(zyrCopyFile(m_dir.file("box-tet.msh").c_str(), temporary.c_str()), 0);
  EXPECT_EQ(errno, EBUSY);
  // Nor does an open of this directory take it for an ended process's leftover.
  int32_t hd = -1, hm = -1;
  ASSERT_EQ(zyrDatabase_open(m_dir.file("other.zyr").c_str(), &hd, &hm), 1);
  EXPECT_EQ(zyrDatabase_close(hd, -1), 1);
  EXPECT_EQ(zyrtest::readFile(temporary), bytes);
  exporter->release();
  EXPECT_EQ(exporter->wait(), 0);
  EXPECT_EQ(zyrtest::readFile(m_dir.file("out.wez")), bytes);
  for (const std::string &name : directory())
    EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
}

// The lock file of a database in use is no target either: its holder rewrites or removes it at its
// close, and what the export wrote would go with it.
TEST_F(ModelExportTest, TheLockFileOfADatabaseInUseIsNeverReplaced) {
  block();
  const std::string lock = m_dir.file("m.zyr.lck");
  const std::string bytes = zyrtest::readFile(lock);
  EXPECT_EQ(zyrModel_exportMesh(m_hm, "Def", lock.c_str(), "m", 0), 0);
  EXPECT_EQ(zyrError_getCode(zyrtest::ErrorCapture::last()), 10020);
  EXPECT_EQ(lastMessage(), "Unable to overwrite the existing file " + lock + ".\nIt is the lock file of " +
                               m_dir.file("m.zyr") + ", which is a database open in this session.\n");
  EXPECT_EQ(zyrtest::readFile(lock), bytes);
  EXPECT_EQ(directory(), (Lines{"m.zyr", "m.zyr.lck"}));
}

// A database made under the name while an export or a copy writes its file is never replaced: the
// rename looks at the name again, under the lock that every opener takes, and leaves the database
// as it is and nothing beside it.
TEST_F(ModelExportTest, ADatabaseMadeUnderTheNameMeanwhileIsNeverReplaced) {
  int32_t hd = -1, hm = -1;
  ASSERT_EQ(zyrDatabase_open(m_dir.file("a1.zyr").c_str(), &hd, &hm), 1);
  ASSERT_EQ(zyrDatabase_close(hd, 0), 1);
  const std::string helpers = ZYR_TEST_HELPER_DIR;
  struct Writer {
    const char *m_name;
    std::function<std::unique_ptr<zyrtest::ChildProcess>()> m_start;
    const char *m_point;
  };
  const std::vector<Writer> writers = {
      {"nn.zyr",
       [&] {
         return player(joined(importing("a1.zyr"), {"zyrModel_exportMesh", "0", "Def", "nn.zyr", "m", "0",
                                                     "zyrDatabase_close", "0", "0"}),
                       "export.before-replace");
       },
       "export.before-replace"},
      {"nc.zyr",
       [&] {
         auto copy = std::make_unique<zyrtest::ChildProcess>(
             helpers + "/copy_zyr", std::vector<std::string>{"a1.zyr", "nc.zyr", "0"},
             std::vector<std::pair<std::string, const char *>>{{"ZYR_USE_LOCAL_UNITS", "1"}},
             m_dir.path(), "copy.before-replace");
         copy->closeInput();
         return copy;
       },
       "copy.before-replace"}};
  for (const Writer &writer : writers) {
    SCOPED_TRACE(writer.m_point);
    std::unique_ptr<zyrtest::ChildProcess> child = writer.m_start();
    ASSERT_EQ(child->waitPause(), writer.m_point);
    const std::string made = m_dir.file(writer.m_name);
    ASSERT_EQ(zyrDatabase_open(made.c_str(), &hd, &hm), 1);
    const std::string bytes = zyrtest::readFile(made);
    child->release();
    EXPECT_EQ(child->wait(), 1);
    EXPECT_EQ(zyrtest::readFile(made), bytes);
    EXPECT_EQ(zyrDatabase_close(hd, -1), 1);
    // Still the database made here: it opens as one.
    ASSERT_EQ(zyrDatabase_open(made.c_str(), &hd, &hm), 1);
    EXPECT_EQ(zyrDatabase_close(hd, -1), 1);
    for (const std::string &name : directory())
      EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
  }
}

// Runs the body in a child process as an ordinary user (nobody) in the directory; "" when it found
// nothing wrong.
std::string asOrdinaryUser(const std::string &directory, const std::function<std::string()> &body) {
  return zyrtest::inChild([&] {
    if (chdir(directory.c_str()) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
      return std::string("the user cannot be changed");
    return body();
  });
}

// A database that another user's process holds is never replaced by a user who may not even read
// it, in a directory where anyone may make and rename files: the export, the copy of a database and
// the copy of a file are refused, naming the holder, and the database stays whole.
TEST_F(ModelExportTest, ADatabaseInUseIsNeverReplacedByAUserWhoCannotReadIt) {
  if (geteuid() != 0)
    GTEST_SKIP() << "needs a second user";
  block();
  std::unique_ptr<zyrtest::ChildProcess> writer =
      player(joined(importing("held.zyr"), {"zyrDatabase_close", "0", "-1"}), "import.before-merge");
  ASSERT_EQ(writer->waitPause(), "import.before-merge");
  const std::string held = m_dir.file("held.zyr");
  ASSERT_EQ(chmod(held.c_str(), 0600), 0);
  ASSERT_EQ(chmod(m_dir.path().c_str(), 0777), 0);
  const std::string bytes = zyrtest::readFile(held);
  const std::string why =
      "Unable to overwrite the existing file held.zyr.\nIt is in use by process " + std::to_string(writer->pid()) + ".\n";
  const std::string found = asOrdinaryUser(m_dir.path(), [&] {
    std::string wrong;
    if (zyrModel_exportMesh(m_hm, "Def", "held.zyr", "m", 0) != 0 || lastMessage() != why)
      wrong += "the export: " + lastMessage();
    if (zyrDatabase_copyOver(m_hd, "held.zyr", 0, 0) != 0 || lastMessage() != why)
      wrong += "the copy: " + lastMessage();
    errno = 0;
    if (zyrCopyFile("box-tet.msh", "held.zyr") != 0 || errno != EBUSY)
      wrong += "the file copy";
    return wrong;
  });
  ASSERT_EQ(chmod(m_dir.path().c_str(), 0700), 0);
  EXPECT_EQ(found, "");
  EXPECT_EQ(zyrtest::readFile(held), bytes);
  writer->release();
  EXPECT_EQ(writer->wait(), 0);
  int32_t hd = -1, hm = -1;
  ASSERT_EQ(zyrDatabase_open(held.c_str(), &hd, &hm), 1);
  EXPECT_EQ(zyrDatabase_close(hd, -1), 1);
}

// The descriptors this process has open.
int openDescriptors() {
  int n = 0;
  for (int fd = 0; fd < 4096; ++fd)
    n += fcntl(fd, F_GETFD) != -1 ? 1 : 0;
  return n;
}

// An export or a copy that fails after it began lets go of all it took: the file it would have
// replaced and every descriptor. A second try fails for the same reason, named after the file asked
// for, and the file opens in this process and in another.
TEST_F(ModelExportTest, AFailedExportLetsGoOfTheFileItWouldHaveReplaced) {
  if (geteuid() != 0)
    GTEST_SKIP() << "needs an ordinary user, whom a read-only directory keeps out";
  block();
  zyrtest::ScratchDir shut("shut", m_dir.path());
  ASSERT_EQ(zyrModel_exportMesh(m_hm, "Def", shut.file("x.wez").c_str(), "m", 0), 1);
  zyrtest::writeFile(shut.file("x.zyr"), "old");
  for (const char *name : {"x.wez", "x.zyr"})
    ASSERT_EQ(chmod(shut.file(name).c_str(), 0666), 0);
  ASSERT_EQ(chmod(shut.path().c_str(), 0555), 0);
  const std::string found = asOrdinaryUser(shut.path(), [&] {
    std::string wrong;
    const int before = openDescriptors();
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (zyrModel_exportMesh(m_hm, "Def", "x.wez", "m", 0) != 0 ||
          lastMessage() != "Unable to write the definition file\n\nx.wez\n\nPermission denied.\n")
        wrong += "export " + std::to_string(attempt) + ": " + lastMessage();
      if (zyrDatabase_copyOver(m_hd, "x.zyr", 0, 0) != 0 ||
          lastMessage() != "There was a problem copying the ZYR database from\n\n" + m_dir.file("m.zyr") +
                               "\n\nto\n\nx.zyr\n\nPermission denied.\n")
        wrong += "copy " + std::to_string(attempt) + ": " + lastMessage();
    }
    if (openDescriptors() != before)
      wrong += "descriptors: " + std::to_string(before) + " before, " + std::to_string(openDescriptors()) + " after\n";
    auto opens = [] {
      DefFile *file = DefFile_openForReading("x.wez");
      DefFile_delete(file);
      return file != nullptr ? std::string() : std::string("no open");
    };
    wrong += opens();
    wrong += zyrtest::inChild(opens);
    return wrong;
  });
  ASSERT_EQ(chmod(shut.path().c_str(), 0755), 0);
  EXPECT_EQ(found, "");
}

TEST_F(ModelExportTest, PhysicsWriteUsesTheHostsText) {
  block();
  const Lines vsn = {"FLOW:",         "  SOLUTION UNITS:",      "    Length Units = [mm]", "  END",
                     "  DOMAIN: Air", "    Location = Fluid",   "    BOUNDARY: in",        "      Location = inlet",
                     "    END",       "    BOUNDARY: walls",    "      Location = wall",   "    END",
                     "  END",         "END"};
  DefFile *file = DefFile_new(m_file.c_str());
  std::vector<const char *> texts;
  for (const std::string &line : vsn)
    texts.push_back(line.c_str());
  ASSERT_EQ(DefFile_writeIoStringArray(file, "G/COMMANDS", "EVERY", 0, texts.data(), int32_t(texts.size())), 1);
  DefFile_delete(file);
  ASSERT_EQ(zyrModel_writeDefFile(m_hm, m_file.c_str(), 0), 1);
  EXPECT_EQ(strings("G/COMMANDS"), vsn);
  EXPECT_EQ(strings("G/CGUNIT"), (Lines{"mm"}));
  EXPECT_EQ(strings("G/NAMEMAP"),
            (Lines{"Air", "ZN1", "DOMAIN", "ZN", "in", "BCP1", "BOUNDARY", "BCP", "walls", "BCP2", "BOUNDARY", "BCP"}));
  // A bad handle is refused before anything is written.
  EXPECT_EQ(zyrModel_writeDefFile(-1, m_file.c_str(), 0), 0);
  EXPECT_EQ(zyrError_getCode(zyrtest::ErrorCapture::last()), 10002);
}

} // namespace
