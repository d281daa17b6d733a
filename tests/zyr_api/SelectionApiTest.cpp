// Mesh selections through the procedural interface: handles, the element query with its types
// in the caller's convention, statistics, and what the recorder writes.
#include "QueriesTestSupport.h"
#include "SessionFile.h"
#include "zyrArrayUtilities.h"

using queriestest::QueriesTest;
using queriestest::strings;

namespace {

struct Query {
  int status = -1;
  std::vector<std::string> regions;
  std::vector<int32_t> vertices;
  std::vector<int32_t> sets;
  std::vector<int32_t> types;
  std::vector<int32_t> elements;
  bool typesNull = false;
};

Query query(int32_t hSelection, int32_t convention) {
  Query q;
  int32_t n = -1;
  char **names = nullptr;
  int32_t *vertices = nullptr;
  float **coordinates = nullptr;
  int32_t *sets = nullptr;
  int32_t *types = reinterpret_cast<int32_t *>(&n);
  int32_t *elements = nullptr;
  int32_t **connectivity = nullptr;
  q.status = zyrSelection_query(hSelection, convention, "m", &n, &names, &vertices, &coordinates, &sets, &types,
                                &elements, &connectivity);
  q.typesNull = types == nullptr;
  int64_t totalSets = 0;
  for (int32_t r = 0; r < n; ++r) {
    q.vertices.push_back(vertices[r]);
    q.sets.push_back(sets[r]);
    for (int32_t s = 0; s < sets[r]; ++s, ++totalSets) {
      q.types.push_back(types[totalSets]);
      q.elements.push_back(elements[totalSets]);
      zyrMemory_free(connectivity[totalSets], "test");
    }
    zyrMemory_free(coordinates[r], "test");
  }
  q.regions = strings(n, names);
  for (void *block : {static_cast<void *>(vertices), static_cast<void *>(coordinates), static_cast<void *>(sets),
                      static_cast<void *>(q.typesNull ? nullptr : types), static_cast<void *>(elements),
                      static_cast<void *>(connectivity)})
    zyrMemory_free(block, "test");
  return q;
}

} // namespace

TEST_F(QueriesTest, SelectionsAreQueriedInTheCallersConvention) {
  addBlock("A", 0, 2);
  int32_t h = -1;
  ASSERT_EQ(zyrSelection_create(m_hModel, "location Avol", &h), 1);
  ASSERT_GE(h, 0);
  Query native = query(h, zyrConvention_ZYR);
  ASSERT_EQ(native.status, 1);
  EXPECT_EQ(native.regions, (std::vector<std::string>{"Avol"}));
  EXPECT_EQ(native.vertices, (std::vector<int32_t>{12}));
  EXPECT_EQ(native.types, (std::vector<int32_t>{ZYR_ELEMENT_HEXA_8}));
  EXPECT_EQ(native.elements, (std::vector<int32_t>{2}));
  EXPECT_EQ(query(h, zyrConvention_WEZ5).types,
            (std::vector<int32_t>{ElementTopology_getConventionElementType(ZYR_ELEMENT_HEXA_8, zyrConvention_WEZ5)}));

  int32_t n = -1;
  double *data = nullptr;
  ASSERT_EQ(zyrSelection_analyse(h, "volume", &n, &data), 1);
  ASSERT_EQ(n, 2);
  EXPECT_NEAR(data[0], 1.0, 1e-12);
  zyrMemory_free(data, "test");

  // A copy is its own selection: emptied, it leaves the original as it was.
  int32_t copy = -1;
  ASSERT_EQ(zyrSelection_copy(h, &copy), 1);
  EXPECT_GT(copy, h);
  ASSERT_EQ(zyrSelection_modify(copy, zyrSetDifference, "location Avol"), 1);
  Query empty = query(copy, zyrConvention_ZYR);
  EXPECT_EQ(empty.status, 1);
  EXPECT_TRUE(empty.regions.empty());
  EXPECT_TRUE(empty.typesNull);
  EXPECT_EQ(query(h, zyrConvention_ZYR).elements, (std::vector<int32_t>{2}));

  zyrtest::ErrorCapture errors;
  EXPECT_EQ(zyrSelection_modify(h, 99, "location Avol"), 0);
  EXPECT_EQ(errors.takeCodes(), (std::vector<int32_t>{10020}));
  ASSERT_EQ(zyrSelection_destroy(copy), 1);
  EXPECT_EQ(zyrSelection_destroy(copy), 0);
  EXPECT_EQ(errors.take(), (std::vector<std::string>{"10002: Unable to identify selection with handle \"" +
                                                     std::to_string(copy) + "\".\n"}));
  ASSERT_EQ(zyrSelection_destroy(h), 1);
}

TEST_F(QueriesTest, SelectionCallsAreRecordedWithoutCommitting) {
  addBlock("A", 0, 1);
  const std::string file = m_dir.file("selection.ses");
  SessionFile_open(file.c_str(), 2);
  int32_t h = -1;
  ASSERT_EQ(zyrSelection_create(m_hModel, nullptr, &h), 1);
  ASSERT_EQ(zyrSelection_modify(h, zyrSetUnion, "location A"), 1);
  ASSERT_EQ(zyrSelection_destroy(h), 1);
  SessionFile_close();
  std::vector<std::string> lines;
  for (const std::string &line : zyrtest::splitLines(zyrtest::readFile(file)))
    if (line.empty() || line[0] != '#')
      lines.push_back(line);
  const std::string hs = std::to_string(h);
  EXPECT_EQ(lines, (std::vector<std::string>{"zyrSelection_create", std::to_string(m_hModel), "", "zyrSelection_modify",
                                             hs, "1", "location A", "zyrSelection_destroy", hs}));
}

TEST_F(QueriesTest, ClosingADatabaseDestroysTheSelectionsOfItsModel) {
  addBlock("A", 0, 1);
  int32_t h = -1;
  ASSERT_EQ(zyrSelection_create(m_hModel, "location A", &h), 1);
  ASSERT_EQ(zyrDatabase_close(m_hDatabase, 1), 1);
  m_hDatabase = -1;
  zyrtest::ErrorCapture errors;
  int32_t n = -1;
  double *data = nullptr;
  EXPECT_EQ(zyrSelection_analyse(h, "volume", &n, &data), 0);
  EXPECT_EQ(errors.takeCodes(), (std::vector<int32_t>{10002}));
}
