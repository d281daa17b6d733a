#ifndef QUERIES_TEST_SUPPORT_H
#define QUERIES_TEST_SUPPORT_H
// Models built by hand for the tests of location queries, composite names, region modification
// and mesh matching. A block "A" at x0 of n unit hexahedra along x is an assembly "A" with the
// volume "Avol" bounded by one shell of four meshed surfaces, each shown by a visual:
// "Abottom" (z = 0, n faces, element order), "Atop" (z = 1, n faces), "Alow" (x = x0) and
// "Ahigh" (x = x0 + n). Two blocks one unit apart meet face to face.
#include "ApiTestSupport.h"
#include "Boundary.h"
#include "ElementMesh.h"
#include "ElementSet.h"
#include "ElementTopology.h"
#include "FaceMesh.h"
#include "FaceSet.h"
#include "Mesh.h"
#include "Model.h"
#include "Region.h"
#include "Representation.h"
#include "Shell.h"
#include "Topology.h"
#include "Vertices.h"
#include "Visual.h"
#include "zyrAPI.h"
#include "zyrCString.h"
#include "zyrMemory.h"
#include "zyrTestErrors.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace queriestest {

using apitest::strings;
using apitest::tracked;

class QueriesTest : public testing::Test {
protected:
  void SetUp() override {
    int32_t hd = -1;
    ASSERT_EQ(zyrDatabase_open(m_dir.file("q.zyr").c_str(), &hd, &m_hModel), 1);
    m_hDatabase = hd;
    ASSERT_EQ(zyrAPI_getModel(m_hModel, "test", &m_model), 1);
  }
  void TearDown() override {
    if (m_hDatabase >= 0)
      zyrDatabase_close(m_hDatabase, 1);
    zyrtest::ErrorCapture::clear();
  }

  // The block's faces on the plane where the test holds for all four vertices, in element order.
  Region *surface(Assembly *assembly, Shell *shell, ElementMesh *em, ElementSet *set, const std::string &name,
                  const std::vector<double> &xyz, const std::vector<int32_t> &hexes,
                  const std::function<bool(const double *)> &on) {
    Topology *t = Model_getTopology(m_model);
    Region *region = Region_new(t, assembly, name.c_str(), 2);
    Shell_addRegion(shell, region);
    int32_t nf = 0;
    const int32_t *sizes = nullptr;
    const int32_t *lists = nullptr;
    ElementTopology_getFaceVertices(ZYR_ELEMENT_HEXA_8, 0, &nf, &sizes, &lists);
    std::vector<int32_t> elements;
    std::vector<int32_t> faces;
    for (size_t e = 0; e < hexes.size() / 8; ++e)
      for (int32_t f = 0; f < nf; ++f) {
        bool all = true;
        for (int32_t k = 0; all && k < sizes[f]; ++k)
          all = on(&xyz[3 * static_cast<size_t>(hexes[8 * e + static_cast<size_t>(lists[4 * f + k])])]);
        if (all) {
          elements.push_back(static_cast<int32_t>(e));
          faces.push_back(f);
        }
      }
    FaceMesh *fm = FaceMesh_new(region, em);
    FaceMesh_addFaceSet(fm,
                        FaceSet_new(set, 0, static_cast<int32_t>(elements.size()), tracked(elements), tracked(faces)));
    Mesh_addFaceMesh(Model_getMesh(m_model), fm);
    Representation_addVisual(Model_getRepresentation(m_model), Visual_newFromFaceMesh(region, fm));
    return region;
  }

  Assembly *addBlock(const std::string &name, double x0, int32_t n) {
    Topology *t = Model_getTopology(m_model);
    Assembly *assembly = Topology_addAssembly(t, name.c_str());
    Region *volume = Region_new(t, assembly, (name + "vol").c_str(), 3);
    std::vector<double> xyz;
    for (int k = 0; k < 2; ++k)
      for (int j = 0; j < 2; ++j)
        for (int i = 0; i <= n; ++i)
          xyz.insert(xyz.end(), {x0 + i, static_cast<double>(j), static_cast<double>(k)});
    const int32_t row = n + 1;
    auto at = [row](int i, int j, int k) { return k * 2 * row + j * row + i; };
    std::vector<int32_t> hexes;
    for (int i = 0; i < n; ++i)
      hexes.insert(hexes.end(), {at(i, 0, 0), at(i + 1, 0, 0), at(i + 1, 1, 0), at(i, 1, 0), at(i, 0, 1),
                                 at(i + 1, 0, 1), at(i + 1, 1, 1), at(i, 1, 1)});
    ElementMesh *em = ElementMesh_new(volume);
    ElementMesh_setVertices(em, Vertices_new(3, "m", 2, static_cast<int32_t>(xyz.size() / 3), tracked(xyz)));
    ElementSet *set = ElementSet_new(ZYR_ELEMENT_HEXA_8, 0, static_cast<int32_t>(hexes.size()), tracked(hexes));
    ElementMesh_addElementSet(em, set);
    Mesh_addElementMesh(Model_getMesh(m_model), em);
    Boundary *boundary = Boundary_new();
    Shell *shell = Shell_new();
    const double x1 = x0 + n;
    surface(assembly, shell, em, set, name + "bottom", xyz, hexes, [](const double *p) { return p[2] == 0; });
    surface(assembly, shell, em, set, name + "top", xyz, hexes, [](const double *p) { return p[2] == 1; });
    surface(assembly, shell, em, set, name + "low", xyz, hexes, [x0](const double *p) { return p[0] == x0; });
    surface(assembly, shell, em, set, name + "high", xyz, hexes, [x1](const double *p) { return p[0] == x1; });
    Boundary_addShell(boundary, shell);
    Region_setBoundary(volume, boundary);
    Model_flushChanges(m_model);
    return assembly;
  }

  Region *region(const char *name) { return Topology_findRegion(Model_getTopology(m_model), name); }

  int32_t faces(const char *name) {
    FaceMesh *fm = Mesh_getFaceMesh(Model_getMesh(m_model), region(name));
    return fm != nullptr ? FaceMesh_getNoOfFaces(fm) : -1;
  }

  std::vector<std::string> locationRegions(const char *location, char mask) {
    int32_t n = -1;
    char **names = nullptr;
    EXPECT_EQ(zyrLocation_getRegions(m_hModel, location, 0, mask, &n, &names), 1);
    return strings(n, names);
  }

  zyrtest::EnvGuard m_units{"ZYR_USE_LOCAL_UNITS", "1"};
  zyrtest::EnvGuard m_session{"ZYR_SESSION_FILE", nullptr};
  zyrtest::ScratchDir m_dir{"zyrqueries"};
  int32_t m_hDatabase = -1;
  int32_t m_hModel = -1;
  Model *m_model = nullptr;
};

} // namespace queriestest

#endif
