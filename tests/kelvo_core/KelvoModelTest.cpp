#include "KelvoModel.h"
#include "KelvoElements.h"
#include "KelvoTestSupport.h"
#include "MshFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>

using namespace kelvo_test;

namespace {

struct Built {
  MshFile *m_mesh = MshFile_new();
  KelvoModel *m_model = KelvoModel_new();
  std::string m_error;
  int m_ok = 0;
  explicit Built(const TestMesh &mesh) {
    const std::string text = toMsh2(mesh);
    if (!MshFile_parse(m_mesh, text.data(), text.size(), &m_error))
      return;
    m_ok = KelvoModel_build(m_model, m_mesh, &m_error);
  }
  ~Built() {
    MshFile_delete(m_mesh);
    KelvoModel_delete(m_model);
  }
  std::vector<std::string> surfaces() const {
    std::vector<std::string> names;
    for (const KelvoSurface &s : m_model->m_surfaces)
      names.push_back(s.m_name);
    return names;
  }
  std::vector<int32_t> partners() const {
    std::vector<int32_t> p;
    for (const KelvoSurface &s : m_model->m_surfaces)
      p.push_back(s.m_partner);
    return p;
  }
  // (element set, element, native face) of every face of a surface.
  std::vector<std::array<int32_t, 3>> faces(size_t surface) const {
    std::vector<std::array<int32_t, 3>> list;
    for (int32_t fs : m_model->m_surfaces[surface].m_faceSets) {
      const KelvoFaceSet &set = m_model->m_faceSets[fs];
      for (size_t i = 0; i < set.m_elements.size(); ++i)
        list.push_back({set.m_elementSet, set.m_elements[i], set.m_faces[i]});
    }
    return list;
  }
};

TEST(KelvoModel, OneVolumeWithoutBoundaryGroupsGetsADefaultSurface) {
  TestMesh mesh = twoTets(1, 1);
  mesh.m_names = {{3, 1, "Fluid"}};
  Built b(mesh);
  ASSERT_EQ(b.m_ok, 1) << b.m_error;
  ASSERT_EQ(b.m_model->m_volumes.size(), 1u);
  EXPECT_EQ(b.m_model->m_volumes[0].m_name, "Fluid");
  ASSERT_EQ(b.m_model->m_elementSets.size(), 1u);
  EXPECT_EQ(b.m_model->m_elementSets[0].m_kind, KELVO_TETRA);
  EXPECT_EQ(b.m_model->m_elementSets[0].m_vertices, (std::vector<int32_t>{0, 1, 2, 3, 1, 2, 3, 4}));
  EXPECT_EQ(b.surfaces(), std::vector<std::string>{"Fluid Default"});
  EXPECT_EQ(b.m_model->m_surfaces[0].m_noOfFaces, 6);
  EXPECT_EQ(b.m_model->m_volumes[0].m_surfaces, std::vector<int32_t>{0});
  EXPECT_EQ(KelvoModel_getNoOfVertices(b.m_model), 5);
  EXPECT_TRUE(b.m_model->m_composites.empty());
  EXPECT_TRUE(b.m_model->m_warnings.empty());
}

TEST(KelvoModel, UntaggedFacesBetweenTwoVolumesFormAPairedSurface) {
  TestMesh mesh = twoTets(1, 2);
  mesh.m_names = {{3, 1, "A"}, {3, 2, "B"}};
  Built b(mesh);
  ASSERT_EQ(b.m_ok, 1) << b.m_error;
  EXPECT_EQ(b.surfaces(), (std::vector<std::string>{"A to B", "B to A", "A Default", "B Default"}));
  EXPECT_EQ(b.partners(), (std::vector<int32_t>{1, 0, -1, -1}));
  // The shared face (2, 3, 4) is face 2 of the first tetrahedron and face 0 of the second.
  EXPECT_EQ(b.faces(0), (std::vector<std::array<int32_t, 3>>{{0, 0, 2}}));
  EXPECT_EQ(b.faces(1), (std::vector<std::array<int32_t, 3>>{{1, 0, 0}}));
  EXPECT_EQ(b.m_model->m_volumes[0].m_surfaces, (std::vector<int32_t>{0, 2}));
  EXPECT_EQ(b.m_model->m_volumes[1].m_surfaces, (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(b.m_model->m_surfaces[2].m_noOfFaces, 3);
}

TEST(KelvoModel, TaggedFacesInsideOneVolumeFormABaffleWhoseFirstSideFollowsTheBoundaryElement) {
  for (bool reversed : {false, true}) {
    TestMesh mesh = twoTets(1, 1);
    mesh.m_elements.push_back(
        {2, 5, 9, reversed ? std::vector<int64_t>{2, 4, 3} : std::vector<int64_t>{2, 3, 4}});
    mesh.m_names = {{3, 1, "Fluid"}, {2, 5, "wall"}};
    Built b(mesh);
    ASSERT_EQ(b.m_ok, 1) << b.m_error;
    EXPECT_EQ(b.surfaces(), (std::vector<std::string>{"wall Fluid side 1", "wall Fluid side 2",
                                                      "Fluid Default"}));
    EXPECT_EQ(b.partners(), (std::vector<int32_t>{1, 0, -1}));
    // Side 1 is the side out of which the boundary element's normal points.
    const std::array<int32_t, 3> first = {0, 0, 2}, second = {0, 1, 0};
    EXPECT_EQ(b.faces(0), (std::vector<std::array<int32_t, 3>>{reversed ? second : first}));
    EXPECT_EQ(b.faces(1), (std::vector<std::array<int32_t, 3>>{reversed ? first : second}));
    ASSERT_EQ(b.m_model->m_composites.size(), 1u);
    EXPECT_EQ(b.m_model->m_composites[0].m_name, "wall");
    EXPECT_EQ(b.m_model->m_composites[0].m_components,
              (std::vector<std::string>{"wall Fluid side 1", "wall Fluid side 2"}));
  }
}

TEST(KelvoModel, AGroupOverSeveralVolumesSplitsByVolumeUnderACompositeName) {
  TestMesh mesh = twoTets(1, 2);
  // Outer faces of both: (1, 2, 3) of the first, (3, 4, 5) of the second; and the shared face.
  mesh.m_elements.push_back({2, 5, 9, {1, 3, 2}});
  mesh.m_elements.push_back({2, 5, 9, {3, 4, 5}});
  mesh.m_elements.push_back({2, 5, 9, {2, 3, 4}});
  mesh.m_names = {{3, 1, "A"}, {3, 2, "B"}, {2, 5, "walls"}};
  Built b(mesh);
  ASSERT_EQ(b.m_ok, 1) << b.m_error;
  EXPECT_EQ(b.surfaces(), (std::vector<std::string>{"walls A", "walls A to B", "walls B",
                                                    "walls B to A", "A Default", "B Default"}));
  EXPECT_EQ(b.partners(), (std::vector<int32_t>{-1, 3, -1, 1, -1, -1}));
  ASSERT_EQ(b.m_model->m_composites.size(), 1u);
  EXPECT_EQ(b.m_model->m_composites[0].m_components,
            (std::vector<std::string>{"walls A", "walls A to B", "walls B", "walls B to A"}));
}

TEST(KelvoModel, NamesAreCleanedAndMadeUnique) {
  TestMesh mesh = twoTets(1, 2);
  mesh.m_elements.push_back({2, 0, 4, {1, 2, 4}});
  mesh.m_names = {{3, 1, " X\t"}, {2, 0, "unused"}};
  mesh.m_elements[1].m_physical = 0;                  // entity 2, no group
  mesh.m_elements.push_back({4, 6, 3, {1, 2, 3, 5}}); // overlaps nothing: a third volume
  Built b(mesh);
  ASSERT_EQ(b.m_ok, 1) << b.m_error;
  std::vector<std::string> volumes;
  for (const KelvoVolume &v : b.m_model->m_volumes)
    volumes.push_back(v.m_name);
  EXPECT_EQ(volumes, (std::vector<std::string>{"X", "Volume 6", "Volume entity 2"}));
  EXPECT_EQ(b.surfaces()[0], "Surface entity 4");
}

TEST(KelvoModel, ASurfaceNamedLikeAVolumeGetsANumber) {
  TestMesh mesh = twoTets(1, 1);
  mesh.m_elements.push_back({2, 2, 4, {1, 3, 2}});
  mesh.m_names = {{3, 1, "Box"}, {2, 2, "Box"}};
  Built b(mesh);
  ASSERT_EQ(b.m_ok, 1) << b.m_error;
  EXPECT_EQ(b.surfaces(), (std::vector<std::string>{"Box 2", "Box Default"}));
}

TEST(KelvoModel, WhatIsLeftOutIsReported) {
  TestMesh mesh = twoTets(1, 2);
  mesh.m_elements.push_back({4, 2, 2, {4, 3, 2, 1}}); // the first tetrahedron again, in B
  mesh.m_elements.push_back({2, 7, 3, {1, 2, 5}});    // no face of any volume element
  mesh.m_elements.push_back({2, 7, 3, {1, 3, 2}});    // a face of the first tetrahedron
  mesh.m_elements.push_back({2, 8, 3, {2, 1, 3}});    // the same face in another group
  mesh.m_elements.push_back({15, 0, 1, {1}});
  mesh.m_elements.push_back({15, 0, 1, {2}});
  mesh.m_names = {{3, 1, "A"}, {3, 2, "B"}, {2, 7, "top"}, {2, 8, "other"}};
  Built b(mesh);
  ASSERT_EQ(b.m_ok, 1) << b.m_error;
  EXPECT_EQ(
      b.m_model->m_warnings,
      (std::vector<std::string>{
          "Ignored 2 points (only volume elements and their boundary faces are imported).",
          "1 volume element appears more than once in the file (in more than one physical "
          "group); each was kept in the first.",
          "1 boundary element of \"top\" is not a face of any volume element and was ignored.",
          "1 face of \"other\" belongs to an earlier surface group as well and stayed there."}));
  EXPECT_EQ(b.m_model->m_elementSets.size(), 2u);
  EXPECT_EQ(b.m_model->m_elementSets[1].m_vertices.size(), 4u);
  EXPECT_EQ(b.surfaces()[0], "top");
}

// A physical group without a name in $PhysicalNames is named after its number, a surface group
// that bounds no volume makes no surface, and a $Periodic section is skipped: each is said, with
// what became of the group or section.
TEST(KelvoModel, WhatIsNamedOrLeftOtherwiseThanTheFileSaysIsReported) {
  TestMesh mesh = twoTets(1, 6);
  mesh.m_elements.push_back({2, 4, 3, {1, 3, 2}}); // an outer face of the first tetrahedron
  mesh.m_elements.push_back({2, 5, 4, {1, 2, 4}}); // outer faces of both
  mesh.m_elements.push_back({2, 5, 4, {3, 4, 5}});
  mesh.m_elements.push_back({2, 7, 5, {1, 2, 5}}); // no face of either
  mesh.m_elements.push_back({2, 7, 5, {1, 3, 5}});
  mesh.m_names = {{3, 1, "A"}, {2, 5, " "}, {2, 7, "Free"}};
  const std::string periodic = "$Periodic\n1\n2 2 1\n0\n1\n3 4\n$EndPeriodic\n";
  for (const std::string &text : {toMsh2(mesh), toMsh4(mesh) + periodic}) {
    MshFile *file = MshFile_new();
    KelvoModel *model = KelvoModel_new();
    std::string error;
    ASSERT_EQ(MshFile_parse(file, text.data(), text.size(), &error), 1) << error;
    ASSERT_EQ(KelvoModel_build(model, file, &error), 1) << error;
    std::vector<std::string> expected = {
        "The physical volume group 6 has no entry in $PhysicalNames: its elements form the "
        "volume \"Volume 6\".",
        "The physical surface group 4 has no entry in $PhysicalNames: its faces form the surface "
        "\"Surface 4\".",
        "The physical surface group 5 has a blank name in $PhysicalNames: its faces form the "
        "surfaces \"Surface 5 A\" and \"Surface 5 Volume 6\", joined by the composite name "
        "\"Surface 5\".",
        "The surface group \"Free\" bounds no volume: none of its 2 boundary elements is a face "
        "of a volume element.\nNo surface was made of it; the outer faces that no group names "
        "form \"A Default\" and \"Volume 6 Default\"."};
    if (text.find("$Periodic") != std::string::npos)
      expected.insert(expected.begin(),
                      "The section $Periodic was skipped: the periodic links it makes between "
                      "nodes and between surfaces were not imported, and the surfaces it pairs "
                      "were imported as surfaces of their own.");
    EXPECT_EQ(model->m_warnings, expected);
    std::vector<std::string> surfaces;
    for (const KelvoSurface &surface : model->m_surfaces)
      surfaces.push_back(surface.m_name);
    EXPECT_EQ(surfaces, (std::vector<std::string>{"Surface 4", "Surface 5 A", "Surface 5 Volume 6",
                                                  "A to Volume 6", "Volume 6 to A", "A Default",
                                                  "Volume 6 Default"}));
    MshFile_delete(file);
    KelvoModel_delete(model);
  }
  // A group whose one element is no face: said so; with every outer face named, no default.
  TestMesh named = twoTets(1, 1);
  named.m_names = {{3, 1, "Box"}, {2, 2, "Skin"}, {2, 3, "Stray"}};
  for (const std::vector<int64_t> &face :
       {std::vector<int64_t>{1, 3, 2}, {1, 2, 4}, {1, 3, 4}, {2, 3, 5}, {2, 4, 5}, {3, 4, 5}})
    named.m_elements.push_back({2, 2, 3, face});
  named.m_elements.push_back({2, 3, 3, {1, 2, 5}});
  Built b(named);
  ASSERT_EQ(b.m_ok, 1) << b.m_error;
  EXPECT_EQ(b.m_model->m_warnings,
            std::vector<std::string>{
                "The surface group \"Stray\" bounds no volume: its one boundary element is not "
                "a face of a volume element.\nNo surface was made of it; every outer face of "
                "the volumes belongs to another group."});
  EXPECT_EQ(b.surfaces(), std::vector<std::string>{"Skin"});
}

TEST(KelvoModel, MeshesThatCannotBeImported) {
  TestMesh flat;
  flat.m_nodes = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  flat.m_elements = {{2, 1, 1, {1, 2, 3}}};
  EXPECT_EQ(Built(flat).m_error,
            "The mesh holds no volume elements (tetrahedra, pyramids, prisms or "
            "hexahedra), so there is nothing to import.");
  TestMesh three = twoTets(1, 1);
  three.m_nodes.push_back({-1, -1, -1});
  three.m_elements.push_back({4, 1, 1, {2, 4, 3, 6}});
  EXPECT_EQ(Built(three).m_error,
            "The face with the nodes 2, 3, 4 is shared by more than two elements (1, 2 and 3).");
  TestMesh flatTet = twoTets(1, 1);
  flatTet.m_elements[1].m_nodes = {2, 3, 3, 5};
  EXPECT_EQ(Built(flatTet).m_error,
            "The element 2 has the node 3 more than once among its corners.");
}

TEST(KelvoModel, AnElementOfAnUnknownTypeInAVolumeOrTaggedSurfaceStopsTheImport) {
  // In a named volume group.
  TestMesh named = twoTets(1, 2);
  named.m_names = {{3, 1, "A"}, {3, 2, "B"}};
  named.m_elements.push_back({99, 1, 1, {1, 2, 3, 4}});
  EXPECT_EQ(Built(named).m_error,
            "Element 3 is of the element type 99, which Kelvo.exe cannot read, and lies in "
            "physical group 1: the mesh cannot be imported without it.");
  // In a group used only by elements that are kept, named or not.
  TestMesh used = twoTets(1, 2);
  used.m_elements.push_back({99, 2, 5, {2, 3, 4, 5}});
  EXPECT_EQ(Built(used).m_error,
            "Element 3 is of the element type 99, which Kelvo.exe cannot read, and lies in "
            "physical group 2: the mesh cannot be imported without it.");
  // Outside every group, in the entity of untagged volume elements.
  TestMesh untagged = twoTets(0, 0);
  untagged.m_elements.push_back({99, 0, untagged.m_elements[0].m_entity, {1, 2, 3, 4}});
  Built b(untagged);
  EXPECT_EQ(b.m_ok, 0);
  EXPECT_EQ(b.m_error, "Element 3 is of the element type 99, which Kelvo.exe cannot read, and lies "
                       "in the volume entity " +
                           std::to_string(untagged.m_elements[0].m_entity) +
                           ": the mesh cannot be imported without it.");
  EXPECT_TRUE(b.m_model->m_surfaces.empty()) << "no surface is invented around the hole";
}

TEST(KelvoModel, VersionFourFilesGiveTheDimensionOfTheUnknownElementsEntity) {
  // The test writer puts an element of an unknown type in an entity of dimension 3.
  TestMesh mesh = twoTets(0, 0);
  mesh.m_elements.push_back({99, 0, 7, {1, 2, 3, 4}});
  const std::string text = toMsh4(mesh);
  MshFile *parsed = MshFile_new();
  KelvoModel *model = KelvoModel_new();
  std::string error;
  ASSERT_EQ(MshFile_parse(parsed, text.data(), text.size(), &error), 1) << error;
  ASSERT_EQ(parsed->m_unknown.size(), 1u);
  EXPECT_EQ(parsed->m_unknown[0].m_dimension, 3);
  EXPECT_EQ(KelvoModel_build(model, parsed, &error), 0);
  EXPECT_EQ(error, "Element 3 is of the element type 99, which Kelvo.exe cannot read, and lies in "
                   "the volume entity 7: the mesh cannot be imported without it.");
  MshFile_delete(parsed);
  KelvoModel_delete(model);
}

TEST(KelvoModel, AnElementOfAnUnknownTypeThatTheImportHasNoUseForIsLeftOutWithAWarning) {
  TestMesh mesh = twoTets(1, 2);
  mesh.m_names = {{3, 1, "A"}, {3, 2, "B"}, {1, 9, "edge"}};
  mesh.m_elements.push_back({99, 0, 42, {1, 2}}); // in no group, in no volume's entity
  mesh.m_elements.push_back({99, 9, 43, {2, 3}}); // in a group of lines
  Built b(mesh);
  ASSERT_EQ(b.m_ok, 1) << b.m_error;
  EXPECT_EQ(b.m_model->m_warnings,
            (std::vector<std::string>{"Ignored 2 elements of the unknown type 99 (only volume "
                                      "elements and their boundary faces are imported)."}));
}

// Faces are matched through a hash table; what comes out must be what a plain ordered map of the
// sorted face keys gives: the same faces, on the same sides, each surface's faces in the order in
// which the elements first meet them. The elements are shuffled, and many stand alone, so that
// the table has to grow while it is filled.
TEST(KelvoModel, FaceMatchingEqualsAPlainMapInFirstUseOrder) {
  const int n = 8;
  TestMesh mesh;
  auto node = [](int i, int j, int k) { return int64_t(1 + i + (n + 1) * (j + (n + 1) * k)); };
  for (int k = 0; k <= n; ++k)
    for (int j = 0; j <= n; ++j)
      for (int i = 0; i <= n; ++i)
        mesh.m_nodes.push_back({double(i), double(j), double(k)});
  std::vector<TestMesh::Element> elements;
  const int axes[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
  for (int k = 0; k < n; ++k)
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i)
        for (const auto &a : axes) { // six tetrahedra along the cube's diagonal
          int at[3] = {i, j, k};
          std::vector<int64_t> corners = {node(i, j, k)};
          for (int step : a) {
            ++at[step];
            corners.push_back(node(at[0], at[1], at[2]));
          }
          const int32_t physical = i < n / 2 ? 1 : 2;
          elements.push_back({4, physical, physical, corners});
        }
  for (int t = 0; t < 1500; ++t) { // tetrahedra of their own
    const int64_t first = int64_t(mesh.m_nodes.size()) + 1;
    mesh.m_nodes.push_back({100.0 + t, 0, 0});
    mesh.m_nodes.push_back({101.0 + t, 0, 0});
    mesh.m_nodes.push_back({100.0 + t, 1, 0});
    mesh.m_nodes.push_back({100.0 + t, 0, 1});
    elements.push_back({4, 1, 1, {first, first + 1, first + 2, first + 3}});
  }
  uint64_t state = 12345;
  for (size_t i = elements.size() - 1; i > 0; --i) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    std::swap(elements[i], elements[(state >> 33) % (i + 1)]);
  }
  mesh.m_elements = elements;
  mesh.m_names = {{3, 1, "A"}, {3, 2, "B"}};

  // The plain way: faces in the order first met, each with the (element, face) uses met.
  typedef std::pair<int32_t, int32_t> Use; // element index within its volume, native face
  std::map<std::array<int64_t, 3>, size_t> faceOf;
  std::vector<std::vector<std::pair<int32_t, Use>>> faces; // per face: (physical, use)
  int32_t inVolume[3] = {0, 0, 0};
  const KelvoElementType *tet = KelvoElements_get(KELVO_TETRA);
  for (const TestMesh::Element &e : elements) {
    const int32_t index = inVolume[e.m_physical]++;
    for (int32_t f = 0; f < 4; ++f) {
      std::array<int64_t, 3> key;
      for (int v = 0; v < 3; ++v)
        key[v] = e.m_nodes[tet->m_faceVertices[f][v]];
      std::sort(key.begin(), key.end());
      auto found = faceOf.emplace(key, faces.size());
      if (found.second)
        faces.emplace_back();
      faces[found.first->second].push_back({e.m_physical, {index, f}});
    }
  }
  const char *names[3] = {"", "A", "B"};
  std::map<std::pair<std::string, std::string>, std::vector<Use>> expected; // (volume, other side)
  for (const auto &uses : faces) {
    ASSERT_LE(uses.size(), 2u);
    if (uses.size() == 1) {
      expected[{names[uses[0].first], ""}].push_back(uses[0].second);
    } else if (uses[0].first != uses[1].first) {
      expected[{names[uses[0].first], names[uses[1].first]}].push_back(uses[0].second);
      expected[{names[uses[1].first], names[uses[0].first]}].push_back(uses[1].second);
    }
  }

  Built built(mesh);
  ASSERT_EQ(built.m_ok, 1) << built.m_error;
  std::map<std::pair<std::string, std::string>, std::vector<Use>> got;
  const KelvoModel *model = built.m_model;
  for (size_t s = 0; s < model->m_surfaces.size(); ++s) {
    const KelvoSurface &surface = model->m_surfaces[s];
    const std::string other =
        surface.m_partner < 0
            ? ""
            : model->m_volumes[model->m_surfaces[surface.m_partner].m_volume].m_name;
    std::vector<Use> &list = got[{model->m_volumes[surface.m_volume].m_name, other}];
    for (const auto &face : built.faces(s))
      list.push_back({face[1], face[2]});
  }
  EXPECT_EQ(got.size(), 4u);
  EXPECT_TRUE(got == expected);
  EXPECT_EQ(got[std::make_pair(std::string("A"), std::string(""))].size(),
            size_t(1500 * 4 + 6 * n * n)); // the lone ones, then x = 0 and half of four sides
}

// The same mesh from every reader gives the same model.
TEST(KelvoModel, GmshMeshesMapToTheSameModelFromBothVersions) {
  for (const char *name : {"box-hex", "mixed"}) {
    std::string summaries[2];
    for (int v = 0; v < 2; ++v) {
      MshFile *mesh = MshFile_new();
      KelvoModel *model = KelvoModel_new();
      std::string error;
      const std::string path = meshPath(std::string(name) + (v ? ".v4.msh" : ".v2.msh"));
      ASSERT_EQ(MshFile_read(mesh, path.c_str(), &error), 1) << error;
      ASSERT_EQ(KelvoModel_build(model, mesh, &error), 1) << error;
      char *text = nullptr;
      size_t length = 0;
      FILE *stream = open_memstream(&text, &length);
      KelvoModel_print(model, stream);
      fclose(stream);
      summaries[v].assign(text, length);
      free(text);
      MshFile_delete(mesh);
      KelvoModel_delete(model);
    }
    EXPECT_EQ(summaries[0], summaries[1]);
  }
}

} // namespace
