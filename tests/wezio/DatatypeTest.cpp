// Data-type strings: parsing, structure descriptions and element location.
#include "io_alloc.h"
#include "io_datatype.h"
#include "wezio_test_util.h"

#include <gtest/gtest.h>

using namespace wezio_test;

namespace {

struct Parsed {
  int m_status;
  int32_t m_entries;
  std::vector<std::pair<int32_t, int32_t>> m_items;
};

Parsed parse(const std::string &type) {
  Parsed result;
  int32_t types[IO_MAXENT], counts[IO_MAXENT];
  result.m_entries = -1;
  result.m_status = parseStructure(captureMessage, type.c_str(), &result.m_entries, types, counts);
  if (result.m_status == IO_OK)
    for (int32_t i = 0; i < result.m_entries; ++i) result.m_items.push_back({types[i], counts[i]});
  return result;
}

using Items = std::vector<std::pair<int32_t, int32_t>>;

class DatatypeTest : public testing::Test {
protected:
  void SetUp() override { messages().clear(); }
  void TearDown() override { io_alloc_fail(-1, 0); }
};

TEST_F(DatatypeTest, SimpleTypes) {
  EXPECT_EQ(parse("INTR").m_items, (Items{{IO_TYPE_INTR, 1}}));
  EXPECT_EQ(parse("REAL").m_items, (Items{{IO_TYPE_REAL, 1}}));
  EXPECT_EQ(parse("DBLE extra").m_items, (Items{{IO_TYPE_DBLE, 1}}));
  EXPECT_EQ(parse("LOGL").m_items, (Items{{IO_TYPE_LOGL, 1}}));
  EXPECT_EQ(parse("CHAR").m_items, (Items{{IO_TYPE_CHAR, 1}}));
  EXPECT_EQ(parse("STRI").m_items, (Items{{IO_TYPE_STRI, 80}}));
  EXPECT_EQ(parse("STRI:32").m_items, (Items{{IO_TYPE_STRI, 32}}));
  EXPECT_EQ(parse("STRI:80").m_items, (Items{{IO_TYPE_STRI, 80}}));
  EXPECT_EQ(parse("STRI:").m_items, (Items{{IO_TYPE_STRI, 0}}));
  EXPECT_TRUE(messages().empty());
}

TEST_F(DatatypeTest, SimpleTypeFailures) {
  EXPECT_EQ(parse("INTR:5").m_status, IO_DATA_ERR);
  EXPECT_EQ(parse("FOO").m_status, IO_DATA_ERR);
  EXPECT_EQ(parse("").m_status, IO_DATA_ERR);
  // A string longer than a string slot cannot be held.
  EXPECT_EQ(parse("STRI:81").m_status, IO_FORMAT_ERR);
  EXPECT_EQ(parse("STRI:99999999999").m_status, IO_FORMAT_ERR);
  std::vector<std::string> expected = {
      "parseStructure: count forbidden for non-string type \"INTR:5\" outside structure\n",
      "parseStructure: unrecognised type code \"FOO\"\n",
      "parseStructure: unrecognised type code \"\"\n",
      "parseStructure: string length 81 is longer than a string slot (80) in \"STRI:81\"\n",
      "parseStructure: count too large in \"STRI:99999999999\"\n",
  };
  EXPECT_EQ(messages(), expected);
}

TEST_F(DatatypeTest, Structures) {
  Parsed p = parse("STRC{INTR:2 REAL:3 STRI:8}");
  EXPECT_EQ(p.m_status, IO_OK);
  EXPECT_EQ(p.m_items, (Items{{IO_TYPE_INTR, 2}, {IO_TYPE_REAL, 3}, {IO_TYPE_STRI, 8}}));
  EXPECT_EQ(parse("STRC anything {  LOGL:1   DBLE:12x }tail").m_items,
            (Items{{IO_TYPE_LOGL, 1}, {IO_TYPE_DBLE, 12}}));
  EXPECT_EQ(parse("STRC{CHAR:}").m_items, (Items{{IO_TYPE_CHAR, 0}}));
  EXPECT_EQ(parse("STRC{CHAR:-4}").m_items, (Items{{IO_TYPE_CHAR, 0}}));
  EXPECT_TRUE(messages().empty());
}

TEST_F(DatatypeTest, StructureFailures) {
  EXPECT_EQ(parse("STRC{}").m_status, IO_DATA_ERR);
  EXPECT_EQ(parse("STRC INTR:1").m_status, IO_DATA_ERR);
  EXPECT_EQ(parse("STRC{INTR:1").m_status, IO_DATA_ERR);
  Parsed bad = parse("STRC{INTR:2 FOO:3}");
  EXPECT_EQ(bad.m_status, IO_DATA_ERR);
  EXPECT_EQ(bad.m_entries, 1);
  EXPECT_EQ(parse("STRC{INTR}").m_status, IO_DATA_ERR);
  EXPECT_EQ(parse("STRC{STRI:100}").m_status, IO_FORMAT_ERR);
  EXPECT_EQ(parse("STRC{INTR:2147483648}").m_status, IO_FORMAT_ERR);
  std::vector<std::string> expected = {
      "parseStructure: data type string is wrong\n",
      "parseStructure: missing '{' in structure string\n",
      "parseStructure: missing '}' in structure string\n",
      "parseStructure: unrecognised type name or missing count: \"FOO:3\"\n",
      "parseStructure: unrecognised type name or missing count: \"INTR\"\n",
      "parseStructure: string length 100 is longer than a string slot (80) in \"STRI:100\"\n",
      "parseStructure: count too large in \"INTR:2147483648\"\n",
  };
  EXPECT_EQ(messages(), expected);
}

TEST_F(DatatypeTest, AtMostFortyEntries) {
  std::string forty = "STRC{";
  for (int i = 0; i < 40; ++i) forty += "INTR:1 ";
  Parsed p = parse(forty + "}");
  EXPECT_EQ(p.m_status, IO_OK);
  EXPECT_EQ(p.m_entries, 40);
  EXPECT_EQ(parse(forty + "REAL:1}").m_status, IO_MEMORY_ERR);
  EXPECT_EQ(allMessages(), "parseStructure: the entries of the datatype is more than IO_MAXENT\n");
}

TEST_F(DatatypeTest, DescriptionEndsWithTheSumOfCounts) {
  int32_t entries = 0;
  IO_strct_item *d = ii_parse_strct(captureMessage, "STRC{INTR:2 REAL:3 STRI:8}", &entries);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(entries, 3);
  EXPECT_EQ(d[0].m_type, IO_TYPE_INTR);
  EXPECT_EQ(d[2].m_count, 8);
  EXPECT_EQ(d[3].m_type, IO_TYPE_END);
  EXPECT_EQ(d[3].m_count, 13);
  ii_free_strct(captureMessage, d);

  EXPECT_EQ(ii_parse_strct(captureMessage, "STRC{}", nullptr), nullptr);
  // A sum beyond 32 bits is refused.
  EXPECT_EQ(ii_parse_strct(captureMessage, "STRC{INTR:2147483647 REAL:1}", nullptr), nullptr);
  io_alloc_fail(0, 1);
  EXPECT_EQ(ii_parse_strct(captureMessage, "INTR", nullptr), nullptr);
  io_alloc_fail(-1, 0);
  std::vector<std::string> expected = {
      "parseStructure: data type string is wrong\n",
      "ii_parse_strct: total count 2147483648 of \"STRC{INTR:2147483647 REAL:1}\" is too large\n",
      "ii_parse_strct: malloc of 16 bytes failed\n",
  };
  EXPECT_EQ(messages(), expected);
}

TEST_F(DatatypeTest, LocateElements) {
  IO_strct_item *d = ii_parse_strct(captureMessage, "STRC{INTR:2 REAL:1 INTR:1}", nullptr);
  ASSERT_NE(d, nullptr);
  int32_t type = -1;
  int64_t position = -1;
  ASSERT_EQ(ii_strct_locate_element(captureMessage, d, 2, 3, &type, &position), IO_OK);
  EXPECT_EQ(type, IO_TYPE_INTR);
  EXPECT_EQ(position, 8);
  ASSERT_EQ(ii_strct_locate_element(captureMessage, d, 0, 2, &type, &position), IO_OK);
  EXPECT_EQ(type, IO_TYPE_REAL);
  EXPECT_EQ(position, 0);
  ASSERT_EQ(ii_strct_locate_element(captureMessage, d, 5, 1, &type, &position), IO_OK);
  EXPECT_EQ(type, IO_TYPE_INTR);
  EXPECT_EQ(position, 16);
  EXPECT_EQ(ii_strct_locate_element(captureMessage, d, 0, 4, &type, &position), IO_MEMORY_ERR);
  EXPECT_EQ(ii_strct_locate_element(captureMessage, d, -1, 0, &type, &position), IO_MEMORY_ERR);
  EXPECT_EQ(ii_strct_locate_element(captureMessage, d, INT64_MAX / 2, 0, &type, &position),
            IO_MEMORY_ERR);
  ii_free_strct(captureMessage, d);

  d = ii_parse_strct(captureMessage, "DBLE", nullptr);
  ASSERT_EQ(ii_strct_locate_element(captureMessage, d, 7, 0, &type, &position), IO_OK);
  EXPECT_EQ(type, IO_TYPE_DBLE);
  EXPECT_EQ(position, 7);
  ii_free_strct(captureMessage, d);

  // Entries of count 0 hold no elements.
  d = ii_parse_strct(captureMessage, "STRC{CHAR:0 LOGL:2 CHAR:0 REAL:2}", nullptr);
  ASSERT_EQ(ii_strct_locate_element(captureMessage, d, 1, 0, &type, &position), IO_OK);
  EXPECT_EQ(type, IO_TYPE_LOGL);
  EXPECT_EQ(position, 2);
  ASSERT_EQ(ii_strct_locate_element(captureMessage, d, 1, 3, &type, &position), IO_OK);
  EXPECT_EQ(type, IO_TYPE_REAL);
  EXPECT_EQ(position, 3);
  ii_free_strct(captureMessage, d);
  std::vector<std::string> expected = {
      "ii_strct_locate_element: element 4 is outside a record of 4 elements\n",
      "ii_strct_locate_element: passing parameters are wrong\n",
      "ii_strct_locate_element: record 4611686018427387903 is too large\n",
  };
  EXPECT_EQ(messages(), expected);
}

// The element-by-element walk that the entry-skipping locate must agree with.
void walkOneByOne(const IO_strct_item *d, int64_t record, int32_t element, int32_t *type,
                  int64_t *position) {
  int32_t n = 0;
  int64_t perType[IO_TYPE_END] = {};
  for (; d[n].m_type != IO_TYPE_END; ++n) perType[d[n].m_type] += d[n].m_count;
  if (n == 1) {
    *type = d[0].m_type;
    *position = record * d[0].m_count + element;
    return;
  }
  int64_t counter[IO_TYPE_END] = {};
  int32_t entry = 0;
  int64_t remaining = d[0].m_count;
  while (remaining == 0) remaining = d[++entry].m_count;
  for (int32_t k = 0; k < element; ++k) {
    ++counter[d[entry].m_type];
    if (--remaining == 0) {
      do remaining = d[++entry].m_count;
      while (remaining == 0);
    }
  }
  *type = d[entry].m_type;
  *position = counter[*type] + record * perType[*type];
}

TEST_F(DatatypeTest, LocateAgreesWithTheElementWalk) {
  const char *types[] = {"STRC{INTR:2 REAL:1 INTR:1}", "STRC{CHAR:0 LOGL:2 CHAR:0 REAL:2}",
                         "STRC{DBLE:3 INTR:4 DBLE:1 LOGL:5 INTR:2 STRI:7 CHAR:1}",
                         "STRC{INTR:1 INTR:1 INTR:1}", "LOGL", "STRI:12"};
  for (const char *t : types) {
    IO_strct_item *d = ii_parse_strct(captureMessage, t, nullptr);
    ASSERT_NE(d, nullptr) << t;
    int32_t n = 0;
    while (d[n].m_type != IO_TYPE_END) ++n;
    for (int64_t r = 0; r < 3; ++r) {
      for (int32_t e = 0; e < d[n].m_count; ++e) {
        int32_t type = -1, expectedType = -2;
        int64_t position = -1, expectedPosition = -2;
        ASSERT_EQ(ii_strct_locate_element(captureMessage, d, r, e, &type, &position), IO_OK);
        walkOneByOne(d, r, e, &expectedType, &expectedPosition);
        EXPECT_EQ(type, expectedType) << t << " " << r << " " << e;
        EXPECT_EQ(position, expectedPosition) << t << " " << r << " " << e;
      }
    }
    ii_free_strct(captureMessage, d);
  }
  EXPECT_TRUE(messages().empty());
}

} // namespace
