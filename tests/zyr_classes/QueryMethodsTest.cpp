// The query, name, display, ordering, primitive and selection methods of ZYRAPI over models of
// hexahedral blocks: what the tolerant methods forgive, what the strict ones throw and with which
// texts, and the answers built from several queries.
#include "../zyr_api/QueriesTestSupport.h"
#include "ClassesTestSupport.h"
#include "ZYRAPI.h"
#include "ZYRGeometricAlgorithms.h"
#include "ZYRSelection.h"

#include "Connection.h"

#include <algorithm>
#include <set>
#include <cmath>

namespace {

using Names = std::vector<std::string>;

class Methods : public queriestest::QueriesTest {
protected:
  void SetUp() override {
    m_path = m_dir.file("c.zyr");
    api.openDB(m_path, false);
    m_hModel = qiv::ZYRAPIInspector::model();
    ASSERT_EQ(zyrAPI_getModel(m_hModel, "test", &m_model), 1);
  }
  void TearDown() override {
    api.removeCurZyr(m_path);
    zyrtest::ErrorCapture::clear();
  }
  // Two blocks meeting face to face at x = 2, connected there (which makes them one assembly, A).
  void twoBlocks() {
    addBlock("A", 0, 2);
    addBlock("B", 2, 1);
    ASSERT_NE(Region_connectNeighbour(region("Ahigh"), region("Blow")), nullptr);
    Model_flushChanges(m_model);
  }

  // A volume "P" of separate prisms and a surface "S" of their faces, given as faces of the
  // prisms' own face lists, shape by shape: 't' the next triangle, 'q' the next quadrilateral,
  // moving to the next prism when its faces of that shape are used up.
  void prismSurface(const std::string &shapes, int prisms) {
    Topology *t = Model_getTopology(m_model);
    Assembly *assembly = Topology_addAssembly(t, "P");
    Region *volume = Region_new(t, assembly, "Pvol", 3);
    std::vector<double> xyz;
    std::vector<int32_t> vertices;
    for (int p = 0; p < prisms; ++p) {
      const double x = 2.0 * p;
      for (double z : {0.0, 1.0})
        xyz.insert(xyz.end(), {x, 0, z, x + 1, 0, z, x, 1, z});
      for (int32_t k = 0; k < 6; ++k)
        vertices.push_back(6 * p + k);
    }
    ElementMesh *em = ElementMesh_new(volume);
    ElementMesh_setVertices(em, Vertices_new(3, "m", 2, static_cast<int32_t>(xyz.size() / 3),
                                             queriestest::tracked(xyz)));
    ElementSet *set =
        ElementSet_new(ZYR_ELEMENT_PENTA_6, 0, static_cast<int32_t>(vertices.size()), queriestest::tracked(vertices));
    ElementMesh_addElementSet(em, set);
    Mesh_addElementMesh(Model_getMesh(m_model), em);
    int32_t nf = 0;
    const int32_t *sizes = nullptr;
    const int32_t *lists = nullptr;
    ElementTopology_getFaceVertices(ZYR_ELEMENT_PENTA_6, 0, &nf, &sizes, &lists);
    std::vector<int32_t> elements;
    std::vector<int32_t> faces;
    int32_t next[2] = {0, 0}; // per shape: prism and face to look from
    int32_t prism[2] = {0, 0};
    for (char c : shapes) {
      const int s = c == 't' ? 0 : 1;
      for (;;) {
        if (next[s] == nf) {
          next[s] = 0;
          ++prism[s];
        }
        const int32_t f = next[s]++;
        if (sizes[f] == (s == 0 ? 3 : 4)) {
          elements.push_back(prism[s]);
          faces.push_back(f);
          break;
        }
      }
    }
    Region *surface = Region_new(t, assembly, "S", 2);
    Shell *shell = Shell_new();
    Shell_addRegion(shell, surface);
    Boundary *boundary = Boundary_new();
    Boundary_addShell(boundary, shell);
    Region_setBoundary(volume, boundary);
    FaceMesh *fm = FaceMesh_new(surface, em);
    FaceMesh_addFaceSet(fm, FaceSet_new(set, 0, static_cast<int32_t>(elements.size()), queriestest::tracked(elements),
                                        queriestest::tracked(faces)));
    Mesh_addFaceMesh(Model_getMesh(m_model), fm);
    Representation_addVisual(Model_getRepresentation(m_model), Visual_newFromFaceMesh(surface, fm));
    Model_flushChanges(m_model);
  }

  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  std::string m_path;
};

template <class E, class F> void expectThrow(F f, const std::string &classText, const std::string &method,
                                             const std::string &inMessage = "") {
  try {
    f();
    ADD_FAILURE() << "nothing thrown for " << method;
  } catch (const E &e) {
    EXPECT_EQ(e.getClass(), classText);
    EXPECT_EQ(e.getMethod(), method);
    EXPECT_NE(e.getText().find(inMessage), std::string::npos) << e.getText();
  }
  EXPECT_EQ(zyrtest::queuedCount(), 0);
}

TEST(MethodsWithoutADatabase, AnswerEmptyOrThrowTheBadHandle) {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  ASSERT_FALSE(api.isDBOpen());
  zyrtest::ErrorCapture errors;
  EXPECT_FALSE(api.isCompositeName("a"));
  EXPECT_FALSE(api.isPrimitiveName("a"));
  double x = 5;
  EXPECT_FALSE(api.getBoundingBoxForLocation("a", &x, &x, &x, &x, &x, &x, false));
  EXPECT_FALSE(api.getCentroid("a", &x, &x, &x, true, false));
  EXPECT_EQ(x, 5);
  EXPECT_EQ(api.getExtentForLocation("a", false), 0.0);
  EXPECT_EQ(api.getLocalExtentsForPointLocation("1 [m], 2 [m], 3 [m]"), 0.0);
  Names names{"old"};
  api.getPrimitive2DRegionsForModel(names);
  EXPECT_TRUE(names.empty());
  names = {"old"};
  EXPECT_FALSE(api.get2dCompositesForLocation("a", names, false));
  EXPECT_FALSE(api.get2DBoundForLocation("a", names, false, false));
  EXPECT_EQ(names, Names{"old"});
  api.getCompositeTags("a", names);
  EXPECT_EQ(names, Names{"old"});
  api.tagComposite("a", true, "t");
  EXPECT_TRUE(api.getAssemblyNames().empty() && api.getCompositeNames().empty());
  std::vector<int> priorities{1};
  api.getRegionsInOrderForModel({"REST"}, "U", "REST", "A", "P", priorities, names);
  EXPECT_TRUE(names.empty());
  EXPECT_TRUE(api.getPrimitiveByName("a").entries.empty());
  EXPECT_EQ(zyrtest::queuedCount(), 0);
  expectThrow<qiv::zyrapi::zyr>([&] { api.getRegionMap(); }, "ZYRAPI", "getRegionMap",
                                "Unable to identify model with handle \"-1\".");
  expectThrow<qiv::zyrapi::ratlas>([&] { api.getCompositeByName("a"); }, "ZYRRegionMap", "getCompositeByName");
  expectThrow<qiv::zyrapi::zyr>([&] { qiv::ZYRSelection selection("location a"); }, "ZYRAPI",
                                "ZYRSelection::create");
}

TEST_F(Methods, TolerantMethodsForgiveUnknownNamesStrictOnesThrow) {
  twoBlocks();
  double x = 7, y = 7, z = 7;
  EXPECT_FALSE(api.getCentroid("A,Nowhere", &x, &y, &z, false, false));
  EXPECT_EQ(x, 7);
  EXPECT_EQ(zyrtest::queuedCount(), 0);
  EXPECT_TRUE(api.getCentroid("A,Nowhere", &x, &y, &z, false, true));

  Names regions{"old"};
  EXPECT_FALSE(api.getPrimitiveRegionsForLocation("Avol,Nowhere", regions, false));
  EXPECT_TRUE(regions.empty());
  EXPECT_TRUE(api.getPrimitiveRegionsForLocation("Avol,Nowhere", regions, true));
  EXPECT_EQ(regions, Names{"Avol"});
  int count = -1;
  EXPECT_TRUE(api.getNumberPrimitive3DRegionsForLocation("Atop,Abottom", count, false));
  EXPECT_EQ(count, 0);
  // The dimension filters split the assembly (both blocks, once connected) into surfaces and volumes.
  EXPECT_TRUE(api.getPrimitive2DRegionsForLocation("A", regions, false));
  std::sort(regions.begin(), regions.end());
  EXPECT_EQ(regions, (Names{"Abottom", "Ahigh", "Alow", "Atop", "Bbottom", "Bhigh", "Blow", "Btop"}));
  EXPECT_TRUE(api.getNumberPrimitive2DRegionsForLocation("A", count, false));
  EXPECT_EQ(count, 8);
  EXPECT_TRUE(api.getPrimitive3DRegionsForLocation("A,Nowhere", regions, true));
  std::sort(regions.begin(), regions.end());
  EXPECT_EQ(regions, (Names{"Avol", "Bvol"}));
  EXPECT_FALSE(api.getPrimitive3DRegionsForLocation("Nowhere", regions, false));
  EXPECT_TRUE(regions.empty());
  EXPECT_FALSE(api.getNumberPrimitive2DRegionsForLocation("Nowhere", count, false));
  EXPECT_FALSE(api.getNumberPrimitiveRegionsForLocation("Nowhere", count, false));
  regions = {"old"};
  EXPECT_FALSE(api.get2dCompositesForLocation("Nowhere", regions, false));
  EXPECT_EQ(regions, Names{"old"});
  EXPECT_FALSE(api.get3dCompositesForLocation("Nowhere", regions, false));
  EXPECT_TRUE(regions.empty());

  std::vector<double> xyz;
  std::vector<int> tf, t, qf, q;
  EXPECT_FALSE(api.getMeshFor2DRegion("Nowhere", xyz, tf, t, qf, q));
  qiv::ZYRAPI::FacettedDisplay facets;
  EXPECT_FALSE(api.getFacettedDisplayForLocation("Nowhere", facets, false));
  EXPECT_EQ(zyrtest::queuedCount(), 0);

  expectThrow<qiv::zyrapi::zyr>([&] { api.getBoundingBoxForLocation("Nowhere", &x, &x, &y, &y, &z, &z, false); },
                                "ZYRAPI", "getBoundingBox", "Nowhere");
  double extents[3];
  expectThrow<qiv::zyrapi::zyr>([&] { api.getExtentsForLocation("A", extents, 3, false); }, "ZYRAPI", "getExtents");
  expectThrow<qiv::zyrapi::zyr>([&] { api.getPairedRegionsForRegion("Ahigh", regions, 4); }, "ZYRAPI",
                                "getPairedRegionsForRegion", "The supplied value for type, 4, is invalid.");
  uint64_t faces = 9;
  expectThrow<qiv::zyrapi::zyr>([&] { api.getNumberOfFacesForLocation("Nowhere", faces, false); }, "ZYRAPI",
                                "getNumberOfFacesForLocation");
  EXPECT_EQ(faces, 0u);
}

TEST_F(Methods, GeometryAndMeshSizes) {
  twoBlocks();
  double b[6] = {};
  ASSERT_TRUE(api.getBoundingBoxForLocation("Avol", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], false));
  EXPECT_EQ(std::vector<double>(b, b + 6), (std::vector<double>{0, 2, 0, 1, 0, 1}));
  EXPECT_DOUBLE_EQ(api.getExtentForLocation("A", false), std::sqrt(9.0 + 1 + 1));
  uint64_t n = 0;
  api.getNumberOfFacesForLocation("Abottom,Atop,Avol", n, false);
  EXPECT_EQ(n, 4u);
  api.getNumberOfFacesForLocation("Avol", n, false);
  EXPECT_EQ(n, 0u);
  api.getNumberOfElementsForLocation("A", n, false);
  EXPECT_EQ(n, 3u);
  qiv::ZYRAPI::MeshSizeInfo info;
  api.getMeshSize("Avol", true, info, false);
  EXPECT_EQ(info.noOfElements, 2);
  EXPECT_EQ(info.noOfVertices, 12);
  EXPECT_EQ(info.elementCounts, (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 2}));
  EXPECT_TRUE(api.doesMeshMatch("Ahigh", "Blow", qiv::ZYRAPI::InPlace, nullptr));
  expectThrow<qiv::zyrapi::zyr>([&] { api.doesMeshMatch("Ahigh", "Blow", qiv::ZYRAPI::Rotational, nullptr); },
                                "ZYRAPI", "doesMeshMatch",
                                "No axis information provided when querying a rotating match.");

  // The point lies in C's box, then in no box (on a face counts as outside): C's diagonal, then
  // the largest one, A's.
  addBlock("C", 5, 1);
  EXPECT_DOUBLE_EQ(api.getLocalExtentsForPointLocation("5500 [mm], 0.5 [m], 50 [cm]"), std::sqrt(3.0));
  EXPECT_DOUBLE_EQ(api.getLocalExtentsForPointLocation("5 [m], 0.5 [m], 0.5 [m]"), std::sqrt(11.0));
  EXPECT_EQ(api.getLocalExtentsForPointLocation("1 [m], 1 [m]"), 0.0);
}

TEST_F(Methods, FacesOfASurfaceAndDisplays) {
  twoBlocks();
  std::vector<double> xyz;
  std::vector<int> tf{9}, t{9}, qf, q;
  ASSERT_TRUE(api.getMeshFor2DRegion("Abottom", xyz, tf, t, qf, q));
  EXPECT_EQ(xyz.size(), 18u);
  EXPECT_TRUE(tf.empty() && t.empty());
  EXPECT_EQ(qf, (std::vector<int>{0, 1}));
  EXPECT_EQ(q.size(), 8u);

  qiv::ZYRAPI::FacettedDisplay facets;
  ASSERT_TRUE(api.getFacettedDisplayForLocation("Abottom,Atop", facets, false));
  EXPECT_EQ(facets.points.size(), 3u * static_cast<size_t>(facets.nPoints));
  EXPECT_EQ(facets.connectivity.size(), 3u * static_cast<size_t>(facets.nTriangles) + 4u * facets.nQuads);
  EXPECT_EQ(facets.nTriangles + facets.nQuads, 4);

  // The framework's wireframe comes from the same display.
  qiv::ZYRAPI::WireframeDisplay wires;
  ASSERT_TRUE(api.getWireframeDisplayForLocation("A", 30, wires, false));
  qiv::ZYRGeometricAlgorithms algorithms;
  std::string location = "A";
  qiv::TripletQIVVector points;
  qiv::IntQIVVector lines;
  algorithms.calculateWireframe(location, points, lines, 30);
  EXPECT_EQ(points.size(), static_cast<size_t>(wires.nPoints));
  EXPECT_EQ(std::vector<int>(lines.begin(), lines.end()), wires.lines);
}

TEST_F(Methods, TrianglesAndQuadrilateralsKeepTheirPlaces) {
  prismSurface("qtq", 1);
  std::vector<double> xyz;
  std::vector<int> tf, t, qf, q;
  ASSERT_TRUE(api.getMeshFor2DRegion("S", xyz, tf, t, qf, q));
  EXPECT_EQ(tf, std::vector<int>{1});
  EXPECT_EQ(qf, (std::vector<int>{0, 2}));
  EXPECT_EQ(t.size(), 3u);
  EXPECT_EQ(q.size(), 8u);

  // Face numbers count the quadrilaterals first: S:3 is the triangle at position 1.
  qiv::ZYRAPI::PrimitiveDef def;
  def.name = "T";
  def.entries = {"S:3", "S:0", "S:4"};
  Names first, second;
  api.createPrimitive(def, first, second);
  ASSERT_EQ(first, Names{"T"});
  uint64_t n = 0;
  api.getNumberOfFacesForLocation("T", n, false);
  EXPECT_EQ(n, 1u);
  ASSERT_TRUE(api.getMeshFor2DRegion("T", xyz, tf, t, qf, q));
  EXPECT_EQ(tf, std::vector<int>{0});
  EXPECT_TRUE(qf.empty());
}

TEST_F(Methods, FacettedDisplayListsTrianglesFirst) {
  prismSurface("qqtttttttttt", 5);
  qiv::ZYRAPI::FacettedDisplay facets;
  ASSERT_TRUE(api.getFacettedDisplayForLocation("S", facets, false));
  EXPECT_EQ(facets.nTriangles, 10);
  EXPECT_EQ(facets.nQuads, 2);
  ASSERT_EQ(facets.connectivity.size(), 38u);
  EXPECT_EQ(facets.points.size(), 3u * static_cast<size_t>(facets.nPoints));
  // The triangles' corners lie in the planes z = 0 and z = 1 only; each quadrilateral spans both.
  auto zOf = [&](int i) { return facets.points[3 * static_cast<size_t>(facets.connectivity[static_cast<size_t>(i)]) + 2]; };
  for (int f = 0; f < 10; ++f)
    EXPECT_TRUE(zOf(3 * f) == zOf(3 * f + 1) && zOf(3 * f) == zOf(3 * f + 2)) << f;
  for (int f = 0; f < 2; ++f) {
    std::set<float> zs;
    for (int k = 0; k < 4; ++k)
      zs.insert(zOf(30 + 4 * f + k));
    EXPECT_EQ(zs.size(), 2u) << f;
  }
}

TEST_F(Methods, RelationsAndTheBoundOfVolumes) {
  twoBlocks();
  std::string bounded;
  api.getBoundedRegionForRegion("Atop", bounded);
  EXPECT_EQ(bounded, "Avol");
  Names regions;
  api.getBoundingRegionsForRegion("Avol", regions);
  EXPECT_EQ(regions, (Names{"Abottom", "Atop", "Alow", "Ahigh"}));
  api.getNeighboursForRegion("Avol", regions);
  EXPECT_EQ(regions, Names{"Bvol"});
  api.getPrimitive3DRegionsForModel(regions);
  std::sort(regions.begin(), regions.end());
  EXPECT_EQ(regions, (Names{"Avol", "Bvol"}));

  Names bound{"old"};
  EXPECT_FALSE(api.get2DBoundForLocation("Avol,Bvol", bound, false, false));
  EXPECT_EQ(bound, (Names{"Abottom", "Alow", "Atop", "Bbottom", "Bhigh", "Btop"}));
  api.get2DBoundForLocation("Avol", bound, false, false);
  EXPECT_EQ(bound, (Names{"Abottom", "Ahigh", "Alow", "Atop"}));
  api.get2DBoundForLocation("Avol,Bvol", bound, false, true);
  EXPECT_EQ(bound.size(), 8u);
  EXPECT_FALSE(api.get2DBoundForLocation("Avol,Nowhere", bound, false, false));
  EXPECT_TRUE(bound.empty());
}

TEST_F(Methods, CompositeNamesTagsAndPrimitiveDescriptions) {
  twoBlocks();
  qiv::ZYRAPI::CompositeDef walls;
  walls.name = "walls";
  walls.type = 7;
  walls.componentsA = {"Atop", "Btop"};
  api.addCompositeName(walls);
  qiv::ZYRAPI::CompositeDef back = api.getCompositeByName("walls");
  walls.type = 0;
  EXPECT_EQ(back, walls);
  EXPECT_TRUE(api.isCompositeName("walls"));
  EXPECT_FALSE(api.isPrimitiveName("walls"));
  EXPECT_TRUE(api.isPrimitiveName("Atop"));
  EXPECT_FALSE(api.isPrimitiveName("Nowhere"));
  zyrtest::ErrorCapture::clear();

  qiv::ZYRAPI::CompositeDef difference;
  difference.name = "d";
  difference.type = 3;
  difference.componentsA = {"Atop"};
  expectThrow<qiv::zyrapi::ratlas>([&] { api.addCompositeName(difference); }, "ZYRRegionMap", "addCompositeName");
  expectThrow<qiv::zyrapi::ratlas>([&] { api.tagComposite("Nowhere", true, "t"); }, "ZYRAPI", "tagComposites");

  Names tags{"old"};
  api.getCompositeTags("walls", tags);
  EXPECT_TRUE(tags.empty());
  api.tagComposite("walls", true, "Generated Mesh Composite");
  api.getCompositeTags("walls", tags);
  EXPECT_EQ(tags, Names{"Generated Mesh Composite"});
  EXPECT_EQ(api.getCompositeNames(), Names{"walls"});
  Names ordered;
  api.getCompositeRegionsInOrderForModel({"Generated Mesh Composite"}, "untagged", "other", ordered);
  EXPECT_EQ(ordered, Names{"walls"});

  std::string given;
  api.renameComposite("walls", "tops", 0, given);
  EXPECT_EQ(given, "tops");
  api.renameComposite("tops", "roofs", 0);
  EXPECT_TRUE(api.isCompositeName("roofs"));
  EXPECT_FALSE(api.isCompositeName("tops"));
  expectThrow<qiv::zyrapi::zyr>([&] { api.renameComposite("tops", "x", 0); }, "ZYRAPI", "renameComposite");
  api.renameComposite("roofs", "tops", 0);
  const std::string map = api.getRegionMap();
  EXPECT_NE(map.find("tops"), std::string::npos);
  api.removeCompositeName("tops");
  EXPECT_FALSE(api.isCompositeName("tops"));
  api.importRegionMap(map);
  EXPECT_TRUE(api.isCompositeName("tops"));
  expectThrow<qiv::zyrapi::ratlas>([&] { api.removeCompositeName("Nowhere"); }, "ZYRRegionMap",
                                   "removeCompositeName");

  qiv::ZYRAPI::PrimitiveDef faces = api.getPrimitiveByName("Abottom");
  EXPECT_EQ(faces.type, 0);
  EXPECT_EQ(faces.entries, (Names{"Abottom:1", "Abottom:2"}));
  qiv::ZYRAPI::PrimitiveDef elements = api.getPrimitiveByName("Avol");
  EXPECT_EQ(elements.type, 1);
  EXPECT_EQ(elements.entries, (Names{"Avol:1", "Avol:2"}));
  EXPECT_TRUE(api.getPrimitiveByName("tops").entries.empty());
  zyrtest::ErrorCapture::clear();
}

TEST_F(Methods, PrimitivesMadeOfPickedFacesAndTheOrderOfNames) {
  twoBlocks();
  qiv::ZYRAPI::PrimitiveDef def;
  def.name = "picked";
  def.entries = {"Atop:2", "Atop:9"};
  Names first{"old"}, second{"old"};
  api.createPrimitive(def, first, second);
  EXPECT_EQ(first, Names{"picked"});
  EXPECT_TRUE(second.empty());
  int priority = 0;
  api.getPriority("picked", priority);
  EXPECT_EQ(priority, 1);
  uint64_t n = 0;
  api.getNumberOfFacesForLocation("picked", n, false);
  EXPECT_EQ(n, 1u);

  // Moving Atop's last face empties it.
  def.entries = {"Atop:1"};
  api.modifyPrimitive(def, first, second);
  EXPECT_EQ(first.front(), "picked");
  EXPECT_EQ(second, Names{"Atop"});
  // An entry that is no "region:N" names no region.
  def.entries = {"Atop:2x"};
  expectThrow<qiv::zyrapi::zyr>([&] { api.modifyPrimitive(def, first, second); }, "ZYRAPI", "modifyPrimitive");
  def.entries.clear();
  first = {"kept"};
  api.createPrimitive(def, first, second);
  EXPECT_EQ(first, Names{"kept"});

  api.setPriority("Bhigh", 3);
  Names names;
  api.getPrimitiveRegionsInOrderForModel({3, 1}, names);
  EXPECT_EQ(names, (Names{"Bhigh", "picked"}));
  qiv::ZYRAPI::CompositeDef group;
  group.name = "group";
  group.componentsA = {"Btop"};
  api.addCompositeName(group);
  api.tagComposite("group", true, "mine");

  // The rest group goes where the rest keyword stands and leaves out the priority-1 region and
  // what later groups place.
  std::vector<int> priorities{3};
  api.getRegionsInOrderForModel({"PRIORITY", "REST", "mine"}, "UNTAGGED", "REST", "ASSEMBLIES", "PRIORITY",
                                priorities, names);
  EXPECT_EQ(names, (Names{"Bhigh", "Abottom", "Ahigh", "Alow", "Avol", "Bbottom", "Blow", "Btop", "Bvol",
                          "group"}));
  api.getRegionsInOrderForModel({"ASSEMBLIES"}, "UNTAGGED", "REST", "ASSEMBLIES", "PRIORITY", priorities, names);
  EXPECT_EQ(names, Names{"A"});
}

TEST_F(Methods, SelectionsAreOwnedOnceAndEndWithTheirDatabase) {
  addBlock("A", 0, 2);
  qiv::ZYRSelection selection("location Avol");
  std::vector<double> values{42};
  selection.analyse("volume", values);
  ASSERT_EQ(values.size(), 2u);
  EXPECT_NEAR(values[0], 1.0, 1e-12);
  values = {42};
  expectThrow<qiv::zyrapi::zyr>([&] { selection.analyse("no such analysis", values); }, "ZYRAPI",
                                "ZYRSelection::analyse");
  EXPECT_EQ(values, std::vector<double>{42});

  qiv::ZYRSelection moved(std::move(selection));
  moved.analyse("volume", values);
  EXPECT_EQ(values.size(), 2u);
  // The moved-from object owns nothing; destroying it queues nothing.
  { qiv::ZYRSelection gone(std::move(moved)); }
  EXPECT_EQ(zyrtest::queuedCount(), 0);
  expectThrow<qiv::zyrapi::zyr>([&] { moved.analyse("volume", values); }, "ZYRAPI", "ZYRSelection::analyse");

  // Move assignment releases what the target held and takes the source's selection; a moved-from
  // object can take a selection again.
  qiv::ZYRSelection first("location Avol");
  qiv::ZYRSelection second("location Avol");
  first = std::move(second);
  first.analyse("volume", values);
  EXPECT_EQ(values.size(), 2u);
  second = std::move(first);
  second.analyse("volume", values);
  EXPECT_EQ(values.size(), 2u);
  qiv::ZYRSelection &self = second;
  second = std::move(self);
  second.analyse("volume", values);
  EXPECT_EQ(values.size(), 2u);
  EXPECT_EQ(zyrtest::queuedCount(), 0);

  qiv::ZYRSelection open("location Avol");
  api.removeCurZyr(m_path);
  expectThrow<qiv::zyrapi::zyr>([&] { open.analyse("volume", values); }, "ZYRAPI", "ZYRSelection::analyse");
  api.openDB(m_path, false);
  m_hModel = qiv::ZYRAPIInspector::model();
}

} // namespace

namespace {

// The recorder reads the environment once per process, so the recording runs in a child.
int recordedToleranceSettings(const std::string &dir) {
  const std::string session = dir + "/tolerance.session";
  setenv("ZYR_SESSION_FILE", session.c_str(), 1);
  setenv("ZYR_USE_LOCAL_UNITS", "1", 1);
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  api.openDB(dir + "/t.zyr", false);
  api.setMeshMatchTolerance(0.01);
  api.setMeshMatchTolerance(0.01);
  api.setMeshMatchTolerance(0.005);
  api.removeCurZyr(dir + "/t.zyr");
  const std::string text = zyrtest::readFile(session);
  int count = 0;
  for (size_t at = text.find("zyrStrategy_setRealParameter"); at != std::string::npos;
       at = text.find("zyrStrategy_setRealParameter", at + 1))
    ++count;
  return count;
}

TEST(MeshMatchTolerance, AnUnchangedValueIsNotSetAgain) {
  // A fresh process: an earlier test of this binary may have started the recorder already.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The child runs the test again in a fresh process: it finds the directory and leaves it.
  zyrtest::SharedScratchDir dir("ZYR_TEST_TOLERANCE_DIR", "zyrtolerance");
  EXPECT_EXIT(std::exit(recordedToleranceSettings(dir.path())), ::testing::ExitedWithCode(2), "");
}

} // namespace
