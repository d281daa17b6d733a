// Zones written by the definition-file writer over real meshes: coordinates with their
// attributes, element sets in the file's convention, face sets, and the counts of the zone.
#include "Assembly.h"
#include "Boundary.h"
#include "DefFile.h"
#include "DefWriter.h"
#include "ElementMesh.h"
#include "ElementSet.h"
#include "ElementTopology.h"
#include "InterfaceMap.h"
#include "Connection.h"
#include "ExchangeTestSupport.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "Mesh.h"
#include "Projection.h"
#include "ProjectionWrite.h"
#include "Region.h"
#include "Repository.h"
#include "Shell.h"
#include "Topology.h"
#include "Vertices.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrMeshLayer.h"
#include "zyrTopologyLayer.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using Ints = std::vector<int32_t>;
using Lines = std::vector<std::string>;

const int32_t kHexa = 7; // native code

Topology *s_topology = nullptr;
Mesh *s_mesh = nullptr;
Projection *s_projection = nullptr;
Topology *topologyOf(const Model *) { return s_topology; }
Mesh *meshOf(const Model *) { return s_mesh; }
void *projectionOf(const Model *) { return s_projection; }

template <class T> T *tracked(const std::vector<T> &values) {
  T *array = zyrMemory_allocateArray<T>(values.empty() ? 1 : int64_t(values.size()), "test");
  std::copy(values.begin(), values.end(), array);
  return array;
}

// Two unit hexahedra side by side along x: vertex (i, j, k) is i + 3 j + 6 k.
std::vector<double> coordinates() {
  std::vector<double> xyz;
  for (int k = 0; k < 2; ++k)
    for (int j = 0; j < 2; ++j)
      for (int i = 0; i < 3; ++i) {
        xyz.push_back(i);
        xyz.push_back(j);
        xyz.push_back(k);
      }
  return xyz;
}

Ints hexahedra() {
  Ints hex;
  for (int e = 0; e < 2; ++e) {
    const int base[4] = {e, e + 1, e + 4, e + 3};
    for (int b : base)
      hex.push_back(b);
    for (int b : base)
      hex.push_back(b + 6);
  }
  return hex;
}

// (element, native local face) of the boundary faces whose vertices all pass the test.
std::vector<std::pair<int32_t, int32_t>> facesWhere(const std::function<bool(const double *)> &test,
                                                    const std::vector<double> &xyz = coordinates(),
                                                    const Ints &hex = hexahedra()) {
  int32_t nf = 0;
  const int32_t *sizes = nullptr, *lists = nullptr;
  ElementTopology_getFaceVertices(kHexa, 0, &nf, &sizes, &lists);
  std::vector<std::pair<int32_t, int32_t>> faces;
  for (int32_t e = 0; e < int32_t(hex.size() / 8); ++e)
    for (int32_t f = 0; f < nf; ++f) {
      bool all = true;
      for (int32_t k = 0; all && k < sizes[f]; ++k)
        all = test(&xyz[3 * size_t(hex[size_t(8 * e + lists[4 * f + k])])]);
      if (all)
        faces.emplace_back(e, f);
    }
  return faces;
}

class ZoneTest : public zyrtest::ErrorCaptureTest {
protected:
  void SetUp() override {
    zyrTopologyLayer_initialise();
    zyrMeshLayer_initialise();
    m_repository = Repository_new("zones");
    ASSERT_NE(m_repository, nullptr);
    s_topology = Topology_new();
    s_mesh = Mesh_new(s_topology);
    static const DefWriterModelHooks hooks = {topologyOf, meshOf, projectionOf};
    DefWriter_setModelHooks(&hooks);
    m_file = m_dir.file("zone.wez");
  }

  void TearDown() override {
    DefWriter_setModelHooks(nullptr);
    s_projection = nullptr;
    Mesh_delete(s_mesh);
    Topology_delete(s_topology);
    s_mesh = nullptr;
    s_topology = nullptr;
    Repository_close(m_repository, -1);
  }

  // One volume of two hexahedra, its left side and the rest as its two surfaces.
  void buildTwoHexahedra() {

    Assembly *a = Topology_addAssembly(s_topology, "A");
    Region *v = Region_new(s_topology, a, "V", 3);
    Region *left = Region_new(s_topology, a, "left", 2);
    Region *rest = Region_new(s_topology, a, "rest", 2);
    Boundary *boundary = Boundary_new();
    Shell *shell = Shell_new();
    Shell_addRegion(shell, left);
    Shell_addRegion(shell, rest);
    Boundary_addShell(boundary, shell);
    Region_setBoundary(v, boundary);

    const std::vector<double> xyz = coordinates();
    ElementMesh *em = ElementMesh_new(v);
    ElementMesh_setVertices(em, Vertices_new(3, "m", 2, int32_t(xyz.size() / 3), tracked(xyz)));
    const Ints hex = hexahedra();
    ElementSet *set = ElementSet_new(kHexa, 0, int32_t(hex.size()), tracked(hex));
    ElementMesh_addElementSet(em, set);
    ASSERT_EQ(Mesh_addElementMesh(s_mesh, em), 1);
    auto onLeft = [](const double *p) { return p[0] == 0.0; };
    addFaceMesh(left, em, set, facesWhere(onLeft));
    // Every other face but the two at x = 1 between the hexahedra.
    const auto leftFaces = facesWhere(onLeft);
    const auto inner = facesWhere([](const double *p) { return p[0] == 1.0; });
    std::vector<std::pair<int32_t, int32_t>> others;
    for (const auto &face : facesWhere([](const double *) { return true; }))
      if (std::find(leftFaces.begin(), leftFaces.end(), face) == leftFaces.end() &&
          std::find(inner.begin(), inner.end(), face) == inner.end())
        others.push_back(face);
    addFaceMesh(rest, em, set, others);

    physics({"  DOMAIN: Box", "    Location = V", "    BOUNDARY: walls", "      Location = left, rest", "    END", "  END"});
  }

  void physics(const Lines &body) {
    Lines vsn = {"FLOW:", "  SOLUTION UNITS:", "    Length Units = [mm]", "  END"};
    vsn.insert(vsn.end(), body.begin(), body.end());
    vsn.push_back("END");
    EXPECT_TRUE(zyrtest::writeCommands(m_file, vsn));
  }

  FaceMesh *addFaceMesh(Region *region, ElementMesh *em, ElementSet *set,
                       const std::vector<std::pair<int32_t, int32_t>> &faces) {
    Ints elements, local;
    for (const auto &face : faces) {
      elements.push_back(face.first);
      local.push_back(face.second);
    }
    FaceMesh *fm = FaceMesh_new(region, em);
    FaceMesh_addFaceSet(fm, FaceSet_new(set, 0, int32_t(faces.size()), tracked(elements), tracked(local)));
    EXPECT_EQ(Mesh_addFaceMesh(s_mesh, fm), 1);
    return fm;
  }

  // A volume of one unit hexahedron from x0 to x0 + 1, with its side at x = innerX as `inner`
  // and its other five sides as `outer`; the face meshes of the two.
  std::pair<FaceMesh *, FaceMesh *> cube(Assembly *a, const char *volume, const char *inner, const char *outer,
                                         double x0, double innerX) {
    Region *v = Region_new(s_topology, a, volume, 3);
    Region *in = Region_new(s_topology, a, inner, 2);
    Region *out = Region_new(s_topology, a, outer, 2);
    Boundary *boundary = Boundary_new();
    Shell *shell = Shell_new();
    Shell_addRegion(shell, in);
    Shell_addRegion(shell, out);
    Boundary_addShell(boundary, shell);
    Region_setBoundary(v, boundary);
    std::vector<double> xyz;
    for (int k = 0; k < 2; ++k)
      for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i)
          xyz.insert(xyz.end(), {x0 + i, double(j), double(k)});
    const Ints hex = {0, 1, 3, 2, 4, 5, 7, 6};
    ElementMesh *em = ElementMesh_new(v);
    ElementMesh_setVertices(em, Vertices_new(3, "m", 2, 8, tracked(xyz)));
    ElementSet *set = ElementSet_new(kHexa, 0, 8, tracked(hex));
    ElementMesh_addElementSet(em, set);
    EXPECT_EQ(Mesh_addElementMesh(s_mesh, em), 1);
    auto onInner = [innerX](const double *p) { return p[0] == innerX; };
    const auto innerFaces = facesWhere(onInner, xyz, hex);
    std::vector<std::pair<int32_t, int32_t>> outerFaces;
    for (const auto &face : facesWhere([](const double *) { return true; }, xyz, hex))
      if (std::find(innerFaces.begin(), innerFaces.end(), face) == innerFaces.end())
        outerFaces.push_back(face);
    FaceMesh *fin = addFaceMesh(in, em, set, innerFaces);
    FaceMesh *fout = addFaceMesh(out, em, set, outerFaces);
    return {fin, fout};
  }

  int write() {
    return zyrtest::writeDefinition(reinterpret_cast<Model *>(&s_topology), m_file, 1);
  }

  Ints ints(DefFile *file, const char *what, const char *where) {
    int32_t *array = nullptr, n = 0;
    Ints values;
    if (DefFile_readInts(file, what, where, 0, &array, &n))
      values.assign(array, array + n);
    zyrMemory_free(array, "test");
    return values;
  }

  zyrtest::ScratchDir m_dir{"zyrzone"};
  zyrtest::WorkingDir m_here{m_dir.path()};
  Repository *m_repository = nullptr;
  std::string m_file;
};

TEST_F(ZoneTest, ZoneDataSetsOfTwoHexahedra) {
  buildTwoHexahedra();
  ASSERT_EQ(write(), 1) << (published().empty() ? "" : published().back().message);
  DefFile *file = DefFile_new(m_file.c_str());

  double *xyz = nullptr;
  int32_t n = 0;
  ASSERT_EQ(DefFile_readDoubles(file, "G/CRDVX", "ZN1/VX", 0, &xyz, &n), 1);
  ASSERT_EQ(n, 36);
  // Written in the solution unit: the far corner (2, 1, 1) m is 2000, 1000, 1000 mm.
  EXPECT_DOUBLE_EQ(*std::max_element(xyz, xyz + n), 2000.0);
  zyrMemory_free(xyz, "test");
  int32_t count = 0;
  char **names = nullptr, **values = nullptr;
  ASSERT_EQ(DefFile_readAttributes(file, "G/CRDVX", "ZN1/VX", 0, &count, &names, &values), 1);
  Lines attributes;
  for (int32_t i = 0; i < count; ++i)
    attributes.push_back(std::string(names[i]) + "=" + values[i]);
  zyrCStringArray_free(names, uint64_t(count));
  zyrCStringArray_free(values, uint64_t(count));
  EXPECT_EQ(attributes, (Lines{"COMPMIN=0.000000e+00 0.000000e+00 0.000000e+00",
                               "COMPMAX=2.000000e+03 1.000000e+03 1.000000e+03",
                               "DIMENSIONS=0.0 1.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0", "MIN=0.000000e+00",
                               "MAX=2.449490e+03", "HOW=ARRAY", "QUANTITY=Length", "USERLEVEL=1",
                               "WHATALIAS=Mesh Coordinates"}));

  EXPECT_EQ(ints(file, "G/NVX", "ZN1"), (Ints{12}));
  EXPECT_EQ(ints(file, "G/NES", "ZN1"), (Ints{1}));
  EXPECT_EQ(ints(file, "G/NEL", "ZN1"), (Ints{2}));
  EXPECT_EQ(ints(file, "G/NELES", "ZN1"), (Ints{2}));
  EXPECT_EQ(ints(file, "G/ILTPES", "ZN1"), (Ints{6})); // hexahedron in the file's codes
  EXPECT_EQ(ints(file, "G/KESVL", "ZN1"), (Ints{1}));
  EXPECT_EQ(ints(file, "G/IPESVL", "ZN1"), (Ints{1, 2}));
  EXPECT_EQ(ints(file, "G/KELPE", "ZN1/ES1"), (Ints{1, 2}));
  // The file's vertex order of a hexahedron swaps the third and fourth vertex of each side.
  EXPECT_EQ(ints(file, "G/KVXPE", "ZN1/ES1"),
            (Ints{1, 2, 4, 5, 7, 8, 10, 11, 2, 3, 5, 6, 8, 9, 11, 12}));
  EXPECT_EQ(ints(file, "G/NFS", "ZN1"), (Ints{2}));
  EXPECT_EQ(ints(file, "G/NFC", "ZN1"), (Ints{10}));
  EXPECT_EQ(ints(file, "G/NFCFS", "ZN1"), (Ints{1, 9}));
  EXPECT_EQ(ints(file, "G/KFCPF", "ZN1/FS1"), (Ints{1}));
  EXPECT_EQ(ints(file, "G/KFCPF", "ZN1/FS2"), (Ints{2, 3, 4, 5, 6, 7, 8, 9, 10}));
  const Ints left = ints(file, "G/KELPF", "ZN1/FS1");
  ASSERT_EQ(left.size(), 2u);
  EXPECT_EQ(left[0], 1); // the face at x = 0 belongs to the first hexahedron
  DefFile_delete(file);
}

// Two volumes of one domain joined through surfaces that lie in no boundary: the vertices the
// interface map pairs are numbered once.
TEST_F(ZoneTest, InteriorInterfaceVerticesCountOnce) {
  Assembly *a = Topology_addAssembly(s_topology, "A");
  FaceMesh *side0 = cube(a, "V1", "a", "w1", 0.0, 1.0).first;
  FaceMesh *side1 = cube(a, "V2", "b", "w2", 1.0, 1.0).first;
  Connection *connection = Region_connectNeighbour(Topology_findRegion(s_topology, "a"),
                                                   Topology_findRegion(s_topology, "b"));
  ASSERT_NE(connection, nullptr);
  int32_t *permutation = nullptr, *faceMap = nullptr;
  ASSERT_EQ(FaceMesh_match(side0, side1, nullptr, 0.01, 0, &permutation, &faceMap), 1);
  InterfaceMap *map = InterfaceMap_new(side0, side1, connection, permutation, faceMap);
  ASSERT_NE(map, nullptr);
  ASSERT_EQ(Mesh_addInterfaceMap(s_mesh, map), 1);
  physics({"  DOMAIN: Box", "    Location = V1, V2", "    BOUNDARY: walls", "      Location = w1, w2", "    END",
           "  END"});
  ASSERT_EQ(write(), 1) << (published().empty() ? "" : published().back().message);
  DefFile *file = DefFile_new(m_file.c_str());
  EXPECT_EQ(ints(file, "G/NVX", "ZN1"), (Ints{12}));
  EXPECT_EQ(ints(file, "G/NES", "ZN1"), (Ints{2}));
  EXPECT_EQ(ints(file, "G/IPESVL", "ZN1"), (Ints{1, 2, 3}));
  // The two joined surfaces name each other.
  EXPECT_EQ(ints(file, "G/KSFSF", "EVERY"), (Ints{2, 1, 0, 0}));
  const Ints first = ints(file, "G/KVXPE", "ZN1/ES1"), second = ints(file, "G/KVXPE", "ZN1/ES2");
  ASSERT_EQ(first.size(), 8u);
  ASSERT_EQ(second.size(), 8u);
  Ints shared;
  for (int32_t v : first)
    if (std::find(second.begin(), second.end(), v) != second.end())
      shared.push_back(v);
  EXPECT_EQ(shared.size(), 4u);
  DefFile_delete(file);
}

// A projection read from an intermediate file in metres, written into a one-zone file whose
// solution unit is the millimetre: geometry unit and scale, vertex numbers of the file.
TEST_F(ZoneTest, ProjectionOfAOneZoneFile) {
  buildTwoHexahedra();
  const std::string source = m_dir.file("source.gmo");
  {
    DefFile *file = DefFile_new(source.c_str());
    const std::vector<double> xyz = coordinates();
    DefFile_writeDoubleArray(file, "ZYR/CRDVX", "EVERY", 0, xyz.data(), 3, int32_t(xyz.size() / 3));
    DefFile_writeString(file, "ZYR/UNITS", "EVERY", 0, "m");
    const std::pair<const char *, Ints> data[] = {
        {"NCB", {1}},        {"NCF", {1}},        {"NCE", {1}},        {"NCX", {1}},       {"NEN", {2}},
        {"NFN", {2}},        {"KCBCF", {1}},      {"KCBCE", {1}},      {"KCBCX", {1}},     {"KCVCB", {3}},
        {"KCSCF", {4}},      {"KCCCE", {5}},      {"KCPCX", {7}},      {"KCEEN", {1, 1}},  {"KENEN", {1, 2, 1, 2}},
        {"KVXEN", {2, 0}},   {"KCFFN", {1, 1}},   {"KVXFN", {5, 9}}};
    for (const auto &d : data) {
      const std::string what = std::string("M/MESHTOCAD/") + d.first;
      if (d.second.size() == 1 && d.first[0] == 'N')
        DefFile_writeInt(file, what.c_str(), "EVERY", 0, d.second[0]);
      else
        DefFile_writeIntArray(file, what.c_str(), "EVERY", 0, d.second.data(), int32_t(d.second.size()), 0);
    }
    const double kuven[] = {0.0, 1.0}, kuvfn[] = {0.0, 0.5, 1.0, 0.5};
    DefFile_writeDoubleArray(file, "M/MESHTOCAD/KUVEN", "EVERY", 0, kuven, 2, 0);
    DefFile_writeDoubleArray(file, "M/MESHTOCAD/KUVFN", "EVERY", 0, kuvfn, 4, 0);
    Projection_registerType();
    s_projection = Projection_new(file, "m");
    DefFile_delete(file);
  }
  ASSERT_NE(s_projection, nullptr);
  ASSERT_EQ(write(), 1) << (published().empty() ? "" : published().back().message);
  DefFile *file = DefFile_new(m_file.c_str());
  char *unit = nullptr;
  float scale = 0.0f;
  ASSERT_EQ(DefFile_readIoString(file, "G/CGUNIT", "EVERY", 0, &unit), 1);
  EXPECT_STREQ(unit, "m");
  zyrCString_free(unit);
  ASSERT_EQ(DefFile_readFloat(file, "G/GEOSCL", "EVERY", 0, &scale), 1);
  EXPECT_EQ(scale, 1000.0f);
  EXPECT_EQ(ints(file, "M/MESHTOCAD/NEN", "EVERY"), (Ints{2}));
  EXPECT_EQ(ints(file, "M/MESHTOCAD/KVXEN", "EVERY"), (Ints{2, 0}));
  EXPECT_EQ(ints(file, "M/MESHTOCAD/KVXFN", "EVERY"), (Ints{5, 9}));
  EXPECT_EQ(ints(file, "M/MESHTOCAD/KENEN", "EVERY"), (Ints{1, 2, 1, 2}));
  DefFile_delete(file);

  // Into another file as stored: the same counts and arrays, vertex indices not renumbered.
  DefFile *copy = DefFile_new(m_dir.file("copy.def").c_str());
  ASSERT_STREQ(Projection_getUnits(s_projection), "m"); // the arrays loaded again
  ASSERT_EQ(Projection_writeDataSets(s_projection, copy), 1);
  const Ints stored(s_projection->m_kvxen, s_projection->m_kvxen + s_projection->m_nen);
  Projection_release(s_projection);
  EXPECT_EQ(ints(copy, "M/MESHTOCAD/NEN", "EVERY"), (Ints{2}));
  EXPECT_EQ(ints(copy, "M/MESHTOCAD/NFN", "EVERY"), (Ints{2}));
  EXPECT_EQ(ints(copy, "M/MESHTOCAD/KCVCB", "EVERY"), (Ints{3}));
  EXPECT_EQ(ints(copy, "M/MESHTOCAD/KENEN", "EVERY"), (Ints{1, 2, 1, 2}));
  EXPECT_EQ(ints(copy, "M/MESHTOCAD/KCFFN", "EVERY"), (Ints{1, 1}));
  EXPECT_EQ(ints(copy, "M/MESHTOCAD/KVXEN", "EVERY"), stored);
  EXPECT_EQ(Projection_dump(s_projection), 1); // nothing of its own to flush
  DefFile_delete(copy);
}

// A zone whose mesh the database could not restore whole is not written short: it says why (and
// the file goes on without it).
class DamagedZoneTest : public ZoneTest, public testing::WithParamInterface<int> {};

TEST_P(DamagedZoneTest, IsNotWritten) {
  buildTwoHexahedra();
  ElementMesh *em = Mesh_getElementMesh(s_mesh, Topology_findRegion(s_topology, "V"));
  const bool noVertices = GetParam() == 0;
  if (noVertices)
    ElementMesh_setVertices(em, nullptr);
  else
    ElementMesh_addElementSet(em, ElementSet_new(kHexa, 0, 0, nullptr));
  write();
  EXPECT_EQ(zyrtest::definitionInts(m_file, noVertices ? "G/NVX" : "G/NES", "ZN1"), Ints{});
  const std::string what = noVertices ? "a volume mesh without vertices" : "an element set without elements";
  EXPECT_EQ(published().back(), (zyrtest::RaisedError{ZYR_I_INTERNAL_ERROR, "The mesh of zone 1 holds " + what +
                                                                                "; the zone cannot be written.\n"}));
}

INSTANTIATE_TEST_SUITE_P(Damages, DamagedZoneTest, testing::Values(0, 1));

// The debug manager reads its control file once, when a process first traces, so the writer's
// listing of a zone is made in a child that inherits the control file's name.
TEST_F(ZoneTest, WrittenZoneIsListedWithItsCounts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  zyrtest::SharedScratchDir dir("ZYRTEST_ZONE_LISTING_DIR", "zyrzonelisting");
  if (dir.owner())
    zyrtest::writeFile(dir.file("control"),
                       "<LOGS>\nDEBUG = " + dir.file("debug.log") + "\n</LOGS>\n<DEBUG>\nZone_write: 1\n</DEBUG>\n");
  zyrtest::EnvGuard control("ZYR_DEBUG_CONTROL", dir.file("control").c_str());
  zyrtest::EnvGuard log("ZYR_DEBUG_LOG", nullptr);
  EXPECT_EXIT(
      {
        buildTwoHexahedra();
        const int status = write() == 1 ? 0 : 2;
        TearDown();
        std::error_code ignored;
        std::filesystem::remove_all(m_dir.path(), ignored); // the child's own fixture directory
        std::exit(status);
      },
      testing::ExitedWithCode(0), "");
  const std::string text = zyrtest::readFile(dir.file("debug.log"));
  EXPECT_TRUE(zyrtest::contains(text, "Zone 1:\n  NEL   = 2\n  NES   = 1\n  NELES = 2\n"
                                      "  NFC   = 10\n  NFS   = 2\n  NFCFS = 1 9\n"))
      << text;
}

TEST_F(ZoneTest, SinglePrecisionCoordinatesOnRequest) {
  buildTwoHexahedra();
  zyrtest::EnvGuard single("ZYR_SINGLE_PRECISION_COORDINATES", "");
  ASSERT_EQ(write(), 1);
  DefFile *file = DefFile_new(m_file.c_str());
  float *xyz = nullptr;
  int32_t n = 0;
  EXPECT_EQ(DefFile_readFloats(file, "G/CRDVX", "ZN1/VX", 0, &xyz, &n), 1);
  EXPECT_EQ(n, 36);
  zyrMemory_free(xyz, "test");
  char *type = nullptr;
  ASSERT_EQ(DefFile_getDataType(file, "G/CRDVX", "ZN1/VX", 0, &type), 1);
  EXPECT_NE(std::string(type).find("REAL"), std::string::npos) << type;
  zyrCString_free(type);
  DefFile_delete(file);
}

} // namespace
