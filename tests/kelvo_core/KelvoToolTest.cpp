// Kelvo.exe as the library runs it: command line, output protocol, exit status, and the
// intermediate mesh file read back through the data-set file library.
#include "KelvoElements.h"
#include "KelvoTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

using namespace kelvo_test;

namespace {

class KelvoTool : public testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(access(kelvoPath().c_str(), X_OK), 0) << kelvoPath() << " is not built";
  }
  ScratchDir m_dir;

  RunResult import(const std::string &mesh, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"-I", m_dir.file("zyr.gmo"), "-B", "Assembly",
                                     "-e", "ImportMsh.exe"};
    args.push_back(mesh);
    args.insert(args.end(), extra.begin(), extra.end());
    args.insert(args.end(), {"-conduit", "pipe", "3.4"});
    return runKelvo(args);
  }
};

std::vector<std::string> errorBlock(const RunResult &r) {
  return block(r.m_output, "<ERROR_BEG>", "<ERROR_END>");
}
std::vector<std::string> warningBlock(const RunResult &r) {
  return block(r.m_output, "<WARNING_BEG>", "<WARNING_END>");
}
std::vector<std::vector<std::string>> warningBlocks(const RunResult &r) {
  return blocks(r.m_output, "<WARNING_BEG>", "<WARNING_END>");
}
const std::vector<std::string> kNone = {"<none>"};

// The solver's labels, written out again here so that the file is checked against them and not
// against the reader's own tables: native vertex i of a hexahedron is the solver's vertex
// kHexVertex[i] (from 1); native face i of each kind is the solver's face label.
const int32_t kHexVertex[8] = {1, 2, 4, 3, 5, 6, 8, 7};
const std::map<int32_t, std::pair<int32_t, std::vector<int32_t>>> kByCode = {
    {4, {KELVO_TETRA, {1, 2, 3, 4}}},
    {7, {KELVO_PYRA, {5, 3, 2, 4, 1}}},
    {5, {KELVO_PENTA, {2, 3, 1, 4, 5}}},
    {6, {KELVO_HEXA, {5, 3, 2, 4, 1, 6}}}};

struct Checked {
  std::vector<std::string> m_surfaces;
  std::vector<int64_t> m_faces; // per surface
};

// Reads an intermediate file back and checks that it is whole and consistent: every data set the
// library reads, index pointers, ranges, the pairing of internal surfaces face by face, and that
// every face points out of its element.
void checkFile(const std::string &path, Checked &result) {
  std::string error;
  auto ds = readDatasets(path, &error);
  EXPECT_EQ(error, "");
  auto ints = [&](const std::string &what, const std::string &where = "EVERY") {
    auto found = ds.find(key(what, where));
    EXPECT_TRUE(found != ds.end()) << what << " at " << where;
    if (found == ds.end())
      return std::vector<int32_t>();
    EXPECT_EQ(found->second.m_type, "INTR") << what;
    return found->second.m_ints;
  };
  auto one = [&](const std::string &what, const std::string &where = "EVERY") {
    std::vector<int32_t> v = ints(what, where);
    EXPECT_EQ(v.size(), 1u) << what;
    return v.empty() ? -1 : v[0];
  };
  auto strings = [&](const std::string &what) {
    const Dataset &d = ds[key(what)];
    EXPECT_EQ(d.m_type, "CHAR") << what;
    EXPECT_EQ(d.m_attributes, std::vector<std::string>{"t=s"}) << what;
    return d.m_strings;
  };
  auto checkIP = [&](const std::vector<int32_t> &ip, size_t things, size_t items,
                     const char *what) {
    ASSERT_EQ(ip.size(), things + 1) << what;
    EXPECT_EQ(ip.front(), 0) << what;
    EXPECT_EQ(static_cast<size_t>(ip.back()), items) << what;
    EXPECT_TRUE(std::is_sorted(ip.begin(), ip.end())) << what;
  };
  const int32_t nsf = one("ZYR/NSF"), nvl = one("ZYR/NVL");
  result.m_surfaces = strings("ZYR/CLBSF");
  EXPECT_EQ(result.m_surfaces.size(), static_cast<size_t>(nsf));
  EXPECT_EQ(strings("ZYR/CLBVL").size(), static_cast<size_t>(nvl));
  const std::vector<int32_t> partner = ints("ZYR/KSFSF");
  const std::vector<int32_t> shellIP = ints("ZYR/IPSFVL"), shells = ints("ZYR/KSFVL");
  checkIP(shellIP, nvl, shells.size(), "IPSFVL");
  std::vector<int32_t> volumeOf(nsf, -1);
  for (int32_t v = 0; v < nvl; ++v)
    for (int32_t k = shellIP[v]; k < shellIP[v + 1]; ++k) {
      EXPECT_EQ(volumeOf.at(shells[k]), -1) << "surface in two shells";
      volumeOf.at(shells[k]) = v;
    }
  const int32_t ncn = one("ZYR/NCN");
  if (ncn > 0) {
    EXPECT_EQ(strings("ZYR/CLBCN").size(), static_cast<size_t>(ncn));
    checkIP(ints("ZYR/IPNMCN"), ncn, strings("ZYR/CNMCN").size(), "IPNMCN");
  }
  const std::vector<double> xyz = ds[key("ZYR/CRDVX")].m_doubles;
  EXPECT_EQ(ds[key("ZYR/CRDVX")].m_type, "DBLE");
  EXPECT_EQ(xyz.size() % 3, 0u);
  const int32_t nv = static_cast<int32_t>(xyz.size() / 3);
  // Element sets: native connectivity decoded from the solver's order.
  const int32_t nes = one("ZYR/NES");
  std::vector<int32_t> kinds(nes);
  std::vector<std::vector<int32_t>> native(nes);
  for (int32_t i = 0; i < nes; ++i) {
    const std::string where = "ES" + std::to_string(i);
    const int32_t code = one("ZYR/TYPE", where);
    ASSERT_TRUE(kByCode.count(code)) << code;
    kinds[i] = kByCode.at(code).first;
    const int32_t n = KelvoElements_get(kinds[i])->m_noOfVertices;
    const std::vector<int32_t> list = ints("ZYR/KVXPE", where);
    ASSERT_EQ(list.size() % n, 0u);
    native[i].resize(list.size());
    for (size_t e = 0; e < list.size() / n; ++e)
      for (int32_t k = 0; k < n; ++k) {
        const int32_t at = kinds[i] == KELVO_HEXA ? kHexVertex[k] - 1 : k;
        native[i][e * n + k] = list[e * n + at];
        ASSERT_TRUE(list[e * n + at] >= 0 && list[e * n + at] < nv);
      }
  }
  const std::vector<int32_t> setIP = ints("ZYR/IPESVL"), sets = ints("ZYR/KESVL");
  checkIP(setIP, nvl, sets.size(), "IPESVL");
  std::vector<int32_t> setVolume(nes, -1);
  for (int32_t v = 0; v < nvl; ++v)
    for (int32_t k = setIP[v]; k < setIP[v + 1]; ++k)
      setVolume.at(sets[k]) = v;
  // Face sets: each face's vertex key, checked to point out of its element.
  const int32_t nfs = one("ZYR/NFS");
  std::vector<std::vector<std::array<int32_t, 4>>> faceKeys(nfs);
  std::vector<int32_t> faceSetES(nfs);
  for (int32_t j = 0; j < nfs; ++j) {
    const std::string where = "FS" + std::to_string(j);
    const std::vector<int32_t> elements = ints("ZYR/KPEPF", where),
                               labels = ints("ZYR/KRFPF", where);
    const int32_t es = faceSetES[j] = one("ZYR/ES", where);
    ASSERT_EQ(elements.size(), labels.size());
    ASSERT_TRUE(es >= 0 && es < nes);
    const KelvoElementType *type = KelvoElements_get(kinds[es]);
    const std::vector<int32_t> &faceLabels = kByCode.at(type->m_wez5Code).second;
    const int32_t n = type->m_noOfVertices;
    for (size_t f = 0; f < elements.size(); ++f) {
      ASSERT_TRUE(elements[f] >= 0 && static_cast<size_t>(elements[f]) < native[es].size() / n);
      auto label = std::find(faceLabels.begin(), faceLabels.end(), labels[f]);
      ASSERT_TRUE(label != faceLabels.end()) << labels[f];
      const int32_t face = static_cast<int32_t>(label - faceLabels.begin());
      const int32_t *corners = &native[es][elements[f] * n];
      double centre[3] = {0, 0, 0}, middle[3] = {0, 0, 0}, normal[3] = {0, 0, 0};
      for (int32_t k = 0; k < n; ++k)
        for (int c = 0; c < 3; ++c)
          centre[c] += xyz[3 * corners[k] + c] / n;
      const int32_t m = type->m_faceSize[face];
      std::array<int32_t, 4> keyOf = {-1, -1, -1, -1};
      for (int32_t k = 0; k < m; ++k) {
        const double *a = &xyz[3 * corners[type->m_faceVertices[face][k]]];
        const double *b = &xyz[3 * corners[type->m_faceVertices[face][(k + 1) % m]]];
        normal[0] += (a[1] - b[1]) * (a[2] + b[2]);
        normal[1] += (a[2] - b[2]) * (a[0] + b[0]);
        normal[2] += (a[0] - b[0]) * (a[1] + b[1]);
        for (int c = 0; c < 3; ++c)
          middle[c] += a[c] / m;
        keyOf[k] = corners[type->m_faceVertices[face][k]];
      }
      std::sort(keyOf.begin(), keyOf.begin() + m);
      double dot = 0;
      for (int c = 0; c < 3; ++c)
        dot += normal[c] * (middle[c] - centre[c]);
      EXPECT_GT(dot, 0) << "face set " << j << " face " << f;
      faceKeys[j].push_back(keyOf);
    }
  }
  const std::vector<int32_t> fsIP = ints("ZYR/IPFSSF"), faceSets = ints("ZYR/KFSSF");
  checkIP(fsIP, nsf, faceSets.size(), "IPFSSF");
  std::vector<std::multiset<std::array<int32_t, 4>>> surfaceKeys(nsf);
  std::multiset<std::array<int32_t, 4>> all;
  for (int32_t s = 0; s < nsf; ++s) {
    for (int32_t k = fsIP[s]; k < fsIP[s + 1]; ++k) {
      const int32_t j = faceSets[k];
      EXPECT_EQ(setVolume.at(faceSetES.at(j)), volumeOf[s])
          << "surface " << s << " outside its volume";
      surfaceKeys[s].insert(faceKeys[j].begin(), faceKeys[j].end());
    }
    result.m_faces.push_back(static_cast<int64_t>(surfaceKeys[s].size()));
    all.insert(surfaceKeys[s].begin(), surfaceKeys[s].end());
  }
  // Each side of an internal surface has the other's faces; other faces occur once.
  for (int32_t s = 0; s < nsf; ++s) {
    if (partner[s] < 0) {
      for (const auto &k : surfaceKeys[s])
        EXPECT_EQ(all.count(k), 1u) << result.m_surfaces[s];
      continue;
    }
    ASSERT_TRUE(partner[s] < nsf);
    EXPECT_EQ(partner[partner[s]], s);
    EXPECT_EQ(surfaceKeys[s], surfaceKeys[partner[s]]) << result.m_surfaces[s];
  }
  EXPECT_EQ(ds.count(key("ZYR/UNITS")), 0u);
}

TEST_F(KelvoTool, ImportsTwoBlocksWithAPairedInterface) {
  const RunResult r = import(meshPath("two-blocks.v4.msh"));
  EXPECT_EQ(r.m_status, 0) << r.m_output;
  EXPECT_EQ(errorBlock(r), kNone);
  EXPECT_EQ(warningBlock(r), kNone);
  EXPECT_NE(
      r.m_output.find(
          "Surface \"interface Left\" of \"Left\": 66 faces, other side \"interface Right\"\n"),
      std::string::npos)
      << r.m_output;
  Checked c;
  checkFile(m_dir.file("zyr.gmo"), c);
  EXPECT_EQ(c.m_surfaces, (std::vector<std::string>{"interface Left", "interface Right",
                                                    "left walls", "right walls"}));
  EXPECT_EQ(c.m_faces, (std::vector<int64_t>{66, 66, 332, 332}));
  std::string error;
  auto ds = readDatasets(m_dir.file("zyr.gmo"), &error);
  EXPECT_EQ(ds[key("ZYR/CLBVL")].m_strings, (std::vector<std::string>{"Left", "Right"}));
  EXPECT_EQ(ds[key("ZYR/CRDVX")].m_doubles.size(), 3u * 419);
  EXPECT_EQ(ds[key("ZYR/CLBCN")].m_strings, std::vector<std::string>{"interface"});
  EXPECT_EQ(ds[key("ZYR/CNMCN")].m_strings,
            (std::vector<std::string>{"interface Left", "interface Right"}));
  EXPECT_EQ(ds[key("ZYR/KSFSF")].m_ints, (std::vector<int32_t>{1, 0, -1, -1}));
  // Only the intermediate file is left: no temporary file, no lock file.
  EXPECT_EQ(m_dir.listing(), std::vector<std::string>{"zyr.gmo"});
}

TEST_F(KelvoTool, ImportsEveryElementKind) {
  const RunResult r = import(meshPath("mixed.v2.msh"));
  EXPECT_EQ(r.m_status, 0) << r.m_output;
  Checked c;
  checkFile(m_dir.file("zyr.gmo"), c);
  EXPECT_EQ(c.m_surfaces,
            (std::vector<std::string>{"hex walls", "hex tet interface Hexes",
                                      "hex tet interface Tets", "tet walls", "prism walls"}));
  EXPECT_EQ(c.m_faces, (std::vector<int64_t>{80, 16, 16, 216, 116}));
  std::string error;
  auto ds = readDatasets(m_dir.file("zyr.gmo"), &error);
  EXPECT_EQ(ds[key("ZYR/NES")].m_ints, std::vector<int32_t>{4});
  std::vector<int32_t> codes;
  for (int i = 0; i < 4; ++i)
    codes.push_back(ds[key("ZYR/TYPE", "ES" + std::to_string(i))].m_ints.at(0));
  EXPECT_EQ(codes, (std::vector<int32_t>{6, 4, 7, 5}));
}

TEST_F(KelvoTool, BothVersionsOfAMeshGiveTheSameFile) {
  for (const char *name : {"box-hex", "mixed"}) {
    ASSERT_EQ(import(meshPath(std::string(name) + ".v2.msh")).m_status, 0);
    const std::string first = readFile(m_dir.file("zyr.gmo"));
    ASSERT_EQ(import(meshPath(std::string(name) + ".v4.msh")).m_status, 0);
    EXPECT_EQ(readFile(m_dir.file("zyr.gmo")), first) << name;
  }
  Checked c;
  checkFile(m_dir.file("zyr.gmo"), c);
}

// The reader writes its values plain (uncompressed, 8-byte lengths); the file's format chosen by
// WEZ_FORMAT (here compressed) changes nothing that is read back. (The text format is left out:
// it narrows doubles and ends character data at its first zero byte, so packed strings do not
// survive it.)
TEST_F(KelvoTool, FilesOfAnotherFormatHoldTheSameDataSets) {
  const std::string mesh = meshPath("mixed.v4.msh");
  ASSERT_EQ(runKelvo({"-I", m_dir.file("native.gmo"), mesh}).m_status, 0);
  ASSERT_EQ(runKelvo({"-I", m_dir.file("other.gmo"), mesh}, {"WEZ_FORMAT=U5"}).m_status, 0);
  EXPECT_EQ(readFile(m_dir.file("native.gmo")).substr(36, 3), std::string("l\0\n", 3));
  EXPECT_EQ(readFile(m_dir.file("other.gmo")).substr(36, 3), "u5\n");
  std::string error;
  auto native = readDatasets(m_dir.file("native.gmo"), &error);
  auto other = readDatasets(m_dir.file("other.gmo"), &error);
  EXPECT_EQ(error, "");
  ASSERT_EQ(native.size(), other.size());
  for (const auto &entry : native) {
    const Dataset &o = other[entry.first];
    EXPECT_EQ(o.m_ints, entry.second.m_ints) << entry.first;
    EXPECT_EQ(o.m_strings, entry.second.m_strings) << entry.first;
    EXPECT_EQ(o.m_doubles, entry.second.m_doubles) << entry.first;
  }
}

TEST_F(KelvoTool, OptionsUnitsAndTheGenericType) {
  const std::string mesh = meshPath("box-tet.v4.msh");
  RunResult r =
      runKelvo({"-I", m_dir.file("zyr.gmo"), "-G", "-v", "-model", "3", mesh, "-units", "mm"});
  EXPECT_EQ(r.m_status, 0) << r.m_output;
  EXPECT_EQ(warningBlocks(r), (std::vector<std::vector<std::string>>{
                                  {"The option \"-model\" is not known and was ignored."},
                                  {"The argument \"3\" was ignored."}}));
  EXPECT_NE(r.m_output.find("Element set 0 of \"Fluid\": 1125 tetrahedra\n"), std::string::npos)
      << r.m_output;
  EXPECT_NE(r.m_output.find("Reading the Gmsh mesh file \"" + mesh + "\" (format 4.1, ASCII)\n"),
            std::string::npos);
  std::string error;
  auto ds = readDatasets(m_dir.file("zyr.gmo"), &error);
  EXPECT_EQ(ds[key("ZYR/UNITS")].m_strings, std::vector<std::string>{"mm"});
  EXPECT_EQ(ds[key("ZYR/NCN")].m_ints, std::vector<int32_t>{0});
  EXPECT_EQ(ds.count(key("ZYR/CLBCN")), 0u);
  // The type "User" (neither -G nor -e) recognises the file too; "Gmsh" reads it.
  EXPECT_EQ(runKelvo({"-I", m_dir.file("zyr.gmo"), mesh}).m_status, 0);
  EXPECT_EQ(runKelvo({"-I", m_dir.file("zyr.gmo"), "-e", "/opt/bin/ImportGMSH.exe", mesh}).m_status,
            0);
}

// Each warning is a block of its own, a warning of several lines one block: what the library
// shows the user as one paragraph each.
TEST_F(KelvoTool, EveryWarningIsABlockOfItsOwn) {
  TestMesh mesh = twoTets(1, 1);
  mesh.m_elements.push_back({2, 2, 3, {1, 3, 2}});
  mesh.m_elements.push_back({2, 3, 4, {1, 2, 5}});
  mesh.m_names = {{3, 1, "Fluid"}, {2, 3, "Free"}};
  const std::string file = m_dir.file("case.msh");
  writeFile(file, toMsh4(mesh) + "$Periodic\n0\n$EndPeriodic\n");
  const RunResult r = import(file);
  EXPECT_EQ(r.m_status, 0) << r.m_output;
  EXPECT_EQ(warningBlocks(r),
            (std::vector<std::vector<std::string>>{
                {"The section $Periodic was skipped: the periodic links it makes between nodes "
                 "and between surfaces were not imported, and the surfaces it pairs were "
                 "imported as surfaces of their own."},
                {"The physical surface group 2 has no entry in $PhysicalNames: its faces form the "
                 "surface \"Surface 2\"."},
                {"The surface group \"Free\" bounds no volume: its one boundary element is not a "
                 "face of a volume element.",
                 "No surface was made of it; the outer faces that no group names form \"Fluid "
                 "Default\"."}}));
  EXPECT_NE(r.m_output.find("Surface \"Fluid Default\" of \"Fluid\": 5 faces\n"), std::string::npos)
      << r.m_output;
}

TEST_F(KelvoTool, BadCommandLines) {
  RunResult r = runKelvo({});
  EXPECT_EQ(r.m_status, 2);
  EXPECT_EQ(errorBlock(r),
            (std::vector<std::string>{
                "No intermediate file was named (-I <file>).",
                "Usage: Kelvo.exe -I <intermediate file> [-B <assembly name>] [-G | -e "
                "Import<type>.exe] [options] <mesh file> [options]"}));
  r = runKelvo({"-I", m_dir.file("zyr.gmo")});
  EXPECT_EQ(r.m_status, 2);
  EXPECT_EQ(errorBlock(r).at(0), "No mesh file was named.");
  r = runKelvo({"-I", m_dir.file("zyr.gmo"), meshPath("box-hex.v2.msh"), "-units"});
  EXPECT_EQ(r.m_status, 2);
  EXPECT_EQ(errorBlock(r).at(0), "The option -units needs a value.");
  // The descriptor through which an importer hands down its hold of the file is a number, and one
  // that holds the file: anything else writes nothing.
  r = runKelvo({"-I", m_dir.file("zyr.gmo"), "-hold", "x", meshPath("box-hex.v2.msh")});
  EXPECT_EQ(r.m_status, 2);
  EXPECT_EQ(errorBlock(r).at(0), "The option -hold needs a descriptor number, not \"x\".");
  r = runKelvo({"-I", m_dir.file("zyr.gmo"), "-hold", "0", meshPath("box-hex.v2.msh")});
  EXPECT_EQ(r.m_status, 1);
  EXPECT_EQ(errorBlock(r).at(0).rfind("Unable to write the intermediate mesh file \"" + m_dir.file("zyr.gmo") +
                                          "\": the descriptor 0 does not hold it (",
                                      0),
            0u)
      << errorBlock(r).at(0);
  r = runKelvo({"-I", m_dir.file("zyr.gmo"), "-e", "ImportDef.exe", meshPath("box-hex.v2.msh")});
  EXPECT_EQ(r.m_status, 1);
  EXPECT_EQ(errorBlock(r),
            std::vector<std::string>{"No importer for meshes of type \"Def\" is available "
                                     "(\"ImportDef.exe\"). Kelvo.exe reads Gmsh mesh files, of "
                                     "type \"Msh\" or \"Gmsh\"."});
  const std::string text = m_dir.file("notes.txt");
  writeFile(text, "not a mesh\n");
  r = runKelvo({"-I", m_dir.file("zyr.gmo"), "-G", text});
  EXPECT_EQ(r.m_status, 1);
  EXPECT_EQ(errorBlock(r),
            std::vector<std::string>{"The file \"" + text +
                                     "\" is not a mesh file of a format that Kelvo.exe can "
                                     "recognise (Gmsh .msh)."});
  r = runKelvo({"-I", text, "-G", text});
  EXPECT_EQ(r.m_status, 1);
  EXPECT_EQ(readFile(text), "not a mesh\n");
  EXPECT_EQ(m_dir.listing(), std::vector<std::string>{"notes.txt"});
  // A FIFO is refused, not waited on.
  const std::string fifo = m_dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const char *type : {"-G", "-v"}) {
    r = runKelvo({"-I", m_dir.file("zyr.gmo"), type, fifo});
    EXPECT_EQ(r.m_status, 1);
    EXPECT_EQ(errorBlock(r),
              (std::vector<std::string>{"Unable to read the Gmsh mesh file \"" + fifo + "\":",
                                        "The mesh file \"" + fifo + "\" is not a regular file."}));
  }
}

// The intermediate file is never the mesh file read, by whatever name it is given (the name
// itself, a symbolic link to it, a second link of the file), and a look that fails at any point,
// or finds nothing where a file stands, refuses with its reason or leaves the refusal as it was:
// the mesh keeps its bytes under every name, and nothing but the marked temporary a failed look
// could not remove is left beside it.
TEST_F(KelvoTool, TheMeshFileIsNeverWrittenOverByItsOwnIntermediateFile) {
  const std::string mesh = m_dir.file("m.msh"), bytes = readFile(meshPath("box-hex.v2.msh"));
  writeFile(mesh, bytes);
  ASSERT_EQ(symlink("m.msh", m_dir.file("link.msh").c_str()), 0);
  ASSERT_EQ(link(mesh.c_str(), m_dir.file("hard.msh").c_str()), 0);
  struct stat before;
  ASSERT_EQ(stat(mesh.c_str(), &before), 0);
  ScratchDir counts("kelvocount");
  const std::string counted = counts.file("counts");
  for (const char *name : {"m.msh", "link.msh", "hard.msh"}) {
    SCOPED_TRACE(name);
    const std::string intermediate = m_dir.file(name);
    const std::string same =
        "The intermediate file \"" + intermediate + "\" is the mesh file itself and would replace it.";
    const std::vector<std::string> arguments = {"-I", intermediate, "-e", "ImportMsh.exe", mesh};
    RunResult r = runKelvo(arguments, {"ZYR_FAULT_FILE=" + m_dir.path(), "ZYR_FAULT_COUNT=" + counted});
    EXPECT_EQ(r.m_status, 1);
    EXPECT_EQ(errorBlock(r), std::vector<std::string>{same});
    const std::string tally = readFile(counted);
    const size_t at = tally.find("look ");
    ASSERT_NE(at, std::string::npos) << tally;
    const long looks = std::stol(tally.substr(at + 5));
    ASSERT_GT(looks, 1);
    // Each look fails, then each finds nothing where a file stands.
    for (long n = 1; n <= 2 * looks; ++n) {
      const bool nothing = n > looks;
      const std::string plan = "look@" + std::to_string(nothing ? n - looks : n) + (nothing ? ":ENOENT" : "");
      SCOPED_TRACE(plan);
      r = runKelvo(arguments, {"ZYR_FAULT_FILE=" + m_dir.path(), "ZYR_FAULT_AT=" + plan});
      EXPECT_EQ(r.m_status, 1) << r.m_output;
      std::string told;
      for (const std::string &line : errorBlock(r))
        told += line + "\n";
      EXPECT_TRUE(told == same + "\n" || told.find(std::strerror(nothing ? ENOENT : EIO)) != std::string::npos)
          << told;
      for (const char *other : {"m.msh", "hard.msh"}) {
        struct stat now;
        ASSERT_EQ(stat(m_dir.file(other).c_str(), &now), 0);
        // Once written over, the mesh is lost for the looks that follow.
        ASSERT_TRUE(now.st_ino == before.st_ino && now.st_dev == before.st_dev) << other;
        ASSERT_TRUE(readFile(m_dir.file(other)) == bytes) << other;
      }
      for (const std::string &left : m_dir.listing())
        EXPECT_TRUE(left == "m.msh" || left == "link.msh" || left == "hard.msh" ||
                    left.find(".zyr-pid") != std::string::npos)
            << left;
    }
  }
}

TEST_F(KelvoTool, BadMeshesEndWithAnErrorBlockAndNoFile) {
  const std::string whole = readFile(meshPath("box-hex.v2.msh"));
  const std::string cut = m_dir.file("cut.msh");
  writeFile(cut, whole.substr(0, whole.find("$EndNodes") - 20));
  RunResult r = import(cut);
  EXPECT_EQ(r.m_status, 1);
  EXPECT_EQ(errorBlock(r),
            (std::vector<std::string>{"Unable to read the Gmsh mesh file \"" + cut + "\":",
                                      "The file ends inside its $Nodes section. (line 237)"}));
  const std::string flat = m_dir.file("flat.msh");
  TestMesh mesh;
  mesh.m_nodes = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  mesh.m_elements = {{2, 1, 1, {1, 2, 3}}, {15, 0, 1, {1}}};
  writeFile(flat, toMsh4(mesh));
  r = import(flat);
  EXPECT_EQ(r.m_status, 1);
  EXPECT_EQ(warningBlock(r),
            std::vector<std::string>{
                "Ignored 1 points (only volume elements and their boundary faces are imported)."});
  EXPECT_EQ(errorBlock(r),
            (std::vector<std::string>{"Unable to import the Gmsh mesh file \"" + flat + "\":",
                                      "The mesh holds no volume elements (tetrahedra, pyramids, "
                                      "prisms or hexahedra), so there is nothing to import."}));
  // A volume element of a type the reader does not know: no file with a hole in the volume.
  const std::string unknown = m_dir.file("unknown.msh");
  TestMesh holed = twoTets(1, 2);
  holed.m_names = {{3, 1, "A"}, {3, 2, "B"}};
  holed.m_elements.push_back({99, 2, 2, {2, 3, 4, 5}});
  writeFile(unknown, toMsh2(holed));
  r = import(unknown);
  EXPECT_EQ(r.m_status, 1);
  EXPECT_EQ(errorBlock(r),
            (std::vector<std::string>{"Unable to import the Gmsh mesh file \"" + unknown + "\":",
                                      "Element 3 is of the element type 99, which Kelvo.exe "
                                      "cannot read, and lies in physical group 2: the mesh "
                                      "cannot be imported without it."}));
  // A name that would pass for a tag is indented.
  const std::string odd = m_dir.file("x\n<ERROR_END>\n<ERROR_BEG>.msh");
  r = import(odd);
  EXPECT_EQ(r.m_status, 1);
  EXPECT_EQ(errorBlock(r).at(1), " <ERROR_END>");
  EXPECT_EQ(errorBlock(r).at(2), " <ERROR_BEG>.msh\":");
  EXPECT_EQ(m_dir.listing(), (std::vector<std::string>{"cut.msh", "flat.msh", "unknown.msh"}));
  // The intermediate file cannot be made: named as asked for, with the system's reason.
  r = runKelvo({"-I", m_dir.file("missing/zyr.gmo"), meshPath("box-hex.v2.msh")});
  EXPECT_EQ(r.m_status, 1);
  EXPECT_EQ(errorBlock(r).at(0), "Unable to write the intermediate mesh file \"" + m_dir.file("missing/zyr.gmo") +
                                     "\": No such file or directory");
  EXPECT_EQ(m_dir.listing(), (std::vector<std::string>{"cut.msh", "flat.msh", "unknown.msh"}));
}

} // namespace
