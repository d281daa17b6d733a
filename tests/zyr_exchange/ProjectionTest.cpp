// The mesh-to-CAD projection read from an import's file: only the vertices that nodes use are
// kept and renumbered, the object survives a commit and reopening, and what does not fit gives
// no projection.
#include "Projection.h"
#include "DefFile.h"
#include "ImportTestSupport.h"
#include "Repository.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

class ProjectionTest : public ImportTest {
protected:
  // A source of 10 vertices (vertex k at (k, 2k, 3k)) whose edge nodes use vertices 2, 0 (none)
  // and 9, and whose face nodes use 5 and 9.
  void writeSource(DefFile *file, bool intermediate) {
    auto ints = [&](const char *what, std::vector<int32_t> values) {
      DefFile_writeIntArray(file, what, "EVERY", 0, values.data(), static_cast<int32_t>(values.size()), 0);
    };
    auto doubles = [&](const char *what, std::vector<double> values) {
      DefFile_writeDoubleArray(file, what, "EVERY", 0, values.data(), static_cast<int32_t>(values.size()), 0);
    };
    const char *counts[] = {"NCB", "NCF", "NCE", "NCX", "NEN", "NFN"};
    const int32_t values[] = {1, 2, 1, 2, 3, 2};
    for (int i = 0; i < 6; ++i)
      DefFile_writeInt(file, (std::string("M/MESHTOCAD/") + counts[i]).c_str(), "EVERY", 0, values[i]);
    ints("M/MESHTOCAD/KCBCF", {0, 0});
    ints("M/MESHTOCAD/KCBCE", {0});
    ints("M/MESHTOCAD/KCBCX", {0, 0});
    ints("M/MESHTOCAD/KCVCB", {41});
    ints("M/MESHTOCAD/KCSCF", {7, 8});
    ints("M/MESHTOCAD/KCCCE", {9});
    ints("M/MESHTOCAD/KCPCX", {3, 4});
    ints("M/MESHTOCAD/KCEEN", {0, 0, 0});
    ints("M/MESHTOCAD/KENEN", {0, 1, 0, 2, 1, 2});
    ints("M/MESHTOCAD/KVXEN", m_edgeVertices);
    doubles("M/MESHTOCAD/KUVEN", {0.0, 0.5, 1.0});
    ints("M/MESHTOCAD/KCFFN", {1, 0});
    ints("M/MESHTOCAD/KVXFN", {5, 9});
    doubles("M/MESHTOCAD/KUVFN", {0.25, 0.75, 0.5, 0.5});
    DefFile_writeStringAsChars(file, "G/CNAMDB", "EVERY", 0, "part.cad   ");
    std::vector<double> xyz;
    for (int k = 1; k <= 10; ++k)
      xyz.insert(xyz.end(), {double(k), 2.0 * k, 3.0 * k});
    if (intermediate) {
      doubles("ZYR/CRDVX", xyz);
      DefFile_writeString(file, "ZYR/UNITS", "EVERY", 0, "mm");
    } else {
      DefFile_writeDoubleArray(file, "G/CRDVX", "ZN1/VX", 0, xyz.data(), 30, 0);
      DefFile_writeIoString(file, "G/CGUNIT", "EVERY", 0, "cm");
      DefFile_writeFloat(file, "G/GEOSCL", "EVERY", 0, m_scale);
    }
  }
  Projection *read(bool intermediate) {
    const std::string path = m_dir->file(intermediate ? "source.gmo" : "source.wez");
    DefFile *file = DefFile_new(path.c_str());
    writeSource(file, intermediate);
    Projection *projection = Projection_new(file, "m");
    DefFile_delete(file);
    return projection;
  }
  static std::string printed(Projection *projection) {
    char *text = nullptr;
    size_t size = 0;
    FILE *stream = open_memstream(&text, &size);
    Projection_print(projection, stream);
    fclose(stream);
    std::string result(text, size);
    free(text);
    return result;
  }
  std::vector<int32_t> m_edgeVertices = {2, 0, 9};
  float m_scale = 1.0f;
};

TEST_F(ProjectionTest, KeepsOnlyTheVerticesNodesUse) {
  Projection *projection = read(true);
  ASSERT_NE(projection, nullptr);
  // Released once stored.
  EXPECT_EQ(projection->m_kvxen, nullptr);
  EXPECT_STREQ(Projection_getUnits(projection), "mm");
  EXPECT_EQ(projection->m_nvx, 3);
  EXPECT_EQ(std::vector<int32_t>(projection->m_kvxen, projection->m_kvxen + 3), (std::vector<int32_t>{0, -1, 2}));
  EXPECT_EQ(std::vector<int32_t>(projection->m_kvxfn, projection->m_kvxfn + 2), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(std::vector<double>(projection->m_crdvx, projection->m_crdvx + 9),
            (std::vector<double>{2, 4, 6, 5, 10, 15, 9, 18, 27}));
  EXPECT_STREQ(projection->m_database, "part.cad");
  Projection_release(projection);

  const std::string text = printed(projection);
  EXPECT_NE(text.find("Database = \"part.cad\"\n"), std::string::npos);
  EXPECT_NE(text.find("No. of nodes on CAD edges:        NEN = 3\n"), std::string::npos);
  EXPECT_NE(text.find("  KCVCB (Contiguous body id to CAD body ID)\n         0 41\n"), std::string::npos);
  EXPECT_NE(text.find("         1         -1          0          2          0 5.000000e-01\n"), std::string::npos);
  EXPECT_NE(text.find("         1          2          0 5.000000e-01\n"), std::string::npos);
  EXPECT_NE(text.find("  NVX   = 3\n  units = [mm]\n"), std::string::npos);
  EXPECT_NE(text.find("         2 [9.000000e+00, 1.800000e+01, 2.700000e+01]\n"), std::string::npos);
  EXPECT_EQ(projection->m_crdvx, nullptr);

  // Stored: the same answers after a commit and reopening the database.
  Repository_commit(m_repository);
  Repository_close(m_repository, -1);
  m_repository = Repository_new(m_dir->file("db").c_str());
  ASSERT_NE(m_repository, nullptr);
  auto *again = static_cast<Projection *>(Repository_getSingletonByTypeName(m_repository, "Projection"));
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(printed(again), text);
  EXPECT_STREQ(Projection_getUnits(again), "mm");
  EXPECT_EQ(again->m_kvxfn[1], 2);
  EXPECT_EQ(again->m_kuvfn[1], 0.75);
}

TEST_F(ProjectionTest, DefinitionFileCoordinatesAreScaled) {
  m_scale = 0.001f;
  Projection *projection = read(false);
  ASSERT_NE(projection, nullptr);
  EXPECT_STREQ(Projection_getUnits(projection), "cm");
  EXPECT_DOUBLE_EQ(projection->m_crdvx[0], 2.0 / static_cast<double>(0.001f));
  Projection_release(projection);
  EXPECT_EQ(published(), std::vector<zyrtest::RaisedError>{});

  m_scale = 0.0f;
  projection = read(false);
  ASSERT_NE(projection, nullptr);
  EXPECT_STREQ(Projection_getUnits(projection), "cm");
  EXPECT_EQ(projection->m_crdvx[0], 2.0);
  ASSERT_EQ(published().size(), 1u);
  EXPECT_EQ(published()[0].code, 3);
}

TEST_F(ProjectionTest, NothingWhenMissingOrInconsistent) {
  DefFile *file = DefFile_new(m_dir->file("plain.gmo").c_str());
  DefFile_writeInt(file, "ZYR/NSF", "EVERY", 0, 0);
  EXPECT_EQ(Projection_new(file, "m"), nullptr);
  DefFile_delete(file);

  m_edgeVertices = {2, 11, 9}; // past the source's ten vertices
  EXPECT_EQ(read(true), nullptr);
  m_edgeVertices = {2, 9}; // shorter than NEN
  EXPECT_EQ(read(true), nullptr);
  EXPECT_EQ(published(), std::vector<zyrtest::RaisedError>{});
  EXPECT_EQ(Repository_getSingletonByTypeName(m_repository, "Projection"), nullptr);
}

} // namespace
