#include "RegionAtlasText.h"
#include "RegionMemory.h"
#include "RegionTestSupport.h"
#include "io_header.h"
#include "io_state.h"
#include "iocnt.h"
#include "iodata.h"
#include "zyrTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

using namespace region_test;

namespace {

using Names = std::vector<std::string>;

void expectFailure(RegionStatus* s, uint32_t code, const char* text) {
  EXPECT_TRUE(RegionStatus_isError(s));
  EXPECT_EQ(RegionStatus_getCode(s), code);
  if (text) {
    EXPECT_EQ(textOf(s), text);
  }
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

template <class T, class Reader>
RegionStatus* readText(Reader reader, T** object, const std::string& text, const char* path = nullptr) {
  std::vector<std::string> lines = linesOf(text);
  std::vector<const char*> pointers;
  for (const std::string& l : lines) pointers.push_back(l.c_str());
  return reader(object, int32_t(pointers.size()), pointers.data(), path);
}

std::string mapText(RegionMap* map, int withPrimitives) {
  const char* text = nullptr;
  RegionStatus* s = RegionMap_getVSN(map, withPrimitives, &text);
  EXPECT_FALSE(RegionStatus_isError(s)) << textOf(s);
  return text ? text : "";
}

std::string atlasText(RegionAtlas* atlas) {
  const char* text = nullptr;
  RegionStatus* s = RegionAtlas_getVSN(atlas, &text);
  EXPECT_FALSE(RegionStatus_isError(s)) << textOf(s);
  return text ? text : "";
}

std::vector<std::string> components(const RegionDefinition* d, int side) {
  char** names = nullptr;
  uint64_t count = 0;
  EXPECT_OK(RegionDefinition_getComponents(d, side, STRING_LIST_NAMES, &names, &count));
  return takeNames(names, count);
}

// Ids decide the order of lists and tables: golden texts start from an empty dictionary.
struct TextFixture : ::testing::Test {
  void SetUp() override { RegionNameDictionary_destroy(); }
};

TEST_F(TextFixture, MapGoldens) {
  RegionMap* map = nullptr;
  ASSERT_OK(RegionMap_new(&map, "M"));
  ASSERT_OK(RegionMap_addRegionDefinition(map, make("A", RC_UNION, {"p", "q"})));
  EXPECT_EQ(mapText(map, 0),
            "  REGION MAP: M\n"
            "\n"
            "    REGION: A\n"
            "      Combination = Union\n"
            "      Region List = p, q\n"
            "    END # REGION\n"
            "\n"
            "  END # REGION MAP\n"
            "\n");
  RegionAtlas* atlas = nullptr;
  ASSERT_OK(RegionAtlas_new(&atlas, "AT"));
  ASSERT_OK(RegionAtlas_addMap(atlas, map, REGION_MAP_PRIMARY));
  ASSERT_OK(RegionMap_setOwner(map, "me"));
  EXPECT_EQ(mapText(map, 1),
            "  REGION MAP: M\n"
            "\n"
            "    Type = PRIMARY\n"
            "\n"
            "    Owner = me\n"
            "\n"
            "    REGION: A\n"
            "      Combination = Union\n"
            "      Region List = p, q\n"
            "    END # REGION\n"
            "\n"
            "    PRIMITIVE REGIONS: \n"
            "      Primitive Region List = p, q\n"
            "    END # PRIMITIVE REGIONS\n"
            "  END # REGION MAP\n"
            "\n");
  // The text stays with the map until it is freed or written again.
  ASSERT_NE(map->m_vsnText, nullptr);
  EXPECT_OK(RegionMap_freeVSN(map));
  EXPECT_EQ(map->m_vsnText, nullptr);
  RegionMap* empty = nullptr;
  ASSERT_OK(RegionMap_new(&empty, "E"));
  EXPECT_EQ(mapText(empty, 1), "  REGION MAP: E\n\n  END # REGION MAP\n\n");
  const char* text = reinterpret_cast<const char*>(1);
  expectFailure(RegionMap_getVSN(empty, 1, nullptr), RS_BAD_POINTER, "Cannot return the VSN describing the Region Map.");
  expectFailure(RegionAtlas_getVSN(atlas, nullptr), RS_BAD_POINTER, "Cannot return the VSN describing the Region Atlas.");
  expectFailure(RegionAtlas_getVSN(nullptr, &text), RS_INVALID_ATLAS, "Invalid Region Atlas.");
  EXPECT_EQ(text, nullptr);
  RegionMap_delete(&empty, 1);
  RegionAtlas_delete(&atlas, 1);
}

TEST_F(TextFixture, DefinitionGolden) {
  RegionDefinition* d = make("D", RC_DIFFERENCE, {"b", "a"}, {"c"});
  RegionDefinition_addTag(d, "t2");
  RegionDefinition_addTag(d, "t1");
  const char* text = nullptr;
  ASSERT_OK(RegionDefinition_getVSN(d, &text));
  EXPECT_STREQ(text,
               "    REGION: D\n"
               "      Tags = t2, t1\n"
               "      Combination = Difference\n"
               "      Region List A = b, a\n"
               "      Region List B = c\n"
               "    END # REGION\n"
               "\n");
  // An empty list cannot be written; the buffer goes.
  EXPECT_OK(RegionDefinition_modifyComponents(d, RO_CLEAR, 2, nullptr, 0));
  expectFailure(RegionDefinition_getVSN(d, &text), RS_BAD_CALL, "Invalid string.");
  EXPECT_EQ(d->m_vsnText, nullptr);
  RegionDefinition_delete(&d);
}

// A map and a definition come back the same from a file by name and from an open stream.
TEST_F(TextFixture, MapAndDefinitionFromFilesAndStreams) {
  zyrtest::ScratchDir dir("region-text");
  RegionMap* map = nullptr;
  ASSERT_OK(RegionMap_new(&map, "M"));
  ASSERT_OK(RegionMap_addRegionDefinition(map, make("A", RC_UNION, {"p", "q"})));
  ASSERT_OK(RegionMap_addRegionDefinition(map, make("B", RC_INTERSECTION, {"A", "r"})));
  const std::string written = mapText(map, 0);
  zyrtest::writeFile(dir.file("map.vsn"), written);
  FILE* stream = fopen(dir.file("map.vsn").c_str(), "r");
  ASSERT_NE(stream, nullptr);
  RegionMap* read = nullptr;
  ASSERT_OK(RegionMap_readFromFILE(&read, stream, nullptr));
  fclose(stream);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(mapText(read, 0), written);
  RegionMap* none = nullptr;
  expectFailure(RegionMap_readFromFILE(&none, nullptr, nullptr), RS_BAD_CALL, "Unable to read Region Map: Invalid file pointer.");
  expectFailure(RegionMap_readFromFILE(nullptr, stdin, nullptr), RS_BAD_CALL, "Unable to read Region Map: Invalid object pointer.");
  EXPECT_EQ(none, nullptr);

  RegionDefinition* b = nullptr;
  ASSERT_OK(RegionMap_regionDefinitionFromName(map, "B", &b));
  const char* text = nullptr;
  ASSERT_OK(RegionDefinition_getVSN(b, &text));
  const std::string definition = text;
  zyrtest::writeFile(dir.file("b.vsn"), definition);
  RegionDefinition* fromFile = nullptr;
  ASSERT_OK(RegionDefinition_readFromFile(&fromFile, dir.file("b.vsn").c_str(), nullptr));
  ASSERT_NE(fromFile, nullptr);
  ASSERT_OK(RegionDefinition_getVSN(fromFile, &text));
  EXPECT_EQ(text, definition);
  RegionDefinition* noDefinition = nullptr;
  expectFailure(RegionDefinition_readFromFile(&noDefinition, "", nullptr), RS_BAD_FILE,
                "Unable to read Region Definition: File Name is invalid.");
  EXPECT_EQ(RegionStatus_getCode(RegionDefinition_readFromFile(&noDefinition, dir.file("absent.vsn").c_str(), nullptr)),
            RS_BAD_VSN);
  EXPECT_EQ(noDefinition, nullptr);
  RegionDefinition_delete(&fromFile);
  RegionMap_delete(&read, 1);
  RegionMap_delete(&map, 1);
}

const char* const kAtlasGolden =
    "REGION ATLAS: AT\n"
    "  REGION MAP: Sm\n"
    "\n"
    "    Type = SECONDARY\n"
    "\n"
    "    Explicit Primitive List = x\n"
    "\n"
    "    REGION: top\n"
    "      Combination = Symmetric Difference\n"
    "      Region List A = mid\n"
    "      Region List B = q\n"
    "    END # REGION\n"
    "\n"
    "    PRIMITIVE REGIONS: \n"
    "      Primitive Region List = p, low, q, mid, x\n"
    "    END # PRIMITIVE REGIONS\n"
    "  END # REGION MAP\n"
    "\n"
    "  REGION MAP: Pm\n"
    "\n"
    "    Type = PRIMARY\n"
    "\n"
    "    Owner = me\n"
    "\n"
    "    REGION: mid\n"
    "      Tags = t1, t2\n"
    "      Combination = Difference\n"
    "      Region List A = low, q\n"
    "      Region List B = p\n"
    "    END # REGION\n"
    "\n"
    "    PRIMITIVE REGIONS: \n"
    "      Primitive Region List = p, low, q\n"
    "    END # PRIMITIVE REGIONS\n"
    "  END # REGION MAP\n"
    "\n"
    "  REGION MAP: Zm\n"
    "\n"
    "    Type = ZYR\n"
    "\n"
    "    REGION: low\n"
    "      Combination = Alias\n"
    "      Region List = p\n"
    "    END # REGION\n"
    "\n"
    "    PRIMITIVE REGIONS: \n"
    "      Primitive Region List = p\n"
    "    END # PRIMITIVE REGIONS\n"
    "  END # REGION MAP\n"
    "\n"
    "END # REGION ATLAS\n";

RegionAtlas* goldenAtlas() {
  RegionAtlas* atlas = nullptr;
  EXPECT_OK(RegionAtlas_new(&atlas, "AT"));
  RegionDefinition* low = make("low", RC_ALIAS, {"p"});
  RegionDefinition* mid = make("mid", RC_DIFFERENCE, {"low", "q"}, {"p"});
  RegionDefinition_addTag(mid, "t1");
  RegionDefinition_addTag(mid, "t2");
  RegionDefinition* top = make("top", RC_SYMMETRIC_DIFFERENCE, {"mid"}, {"q"});
  RegionMap *z = nullptr, *p = nullptr, *s = nullptr;
  RegionMap_new(&z, "Zm");
  RegionMap_new(&p, "Pm");
  RegionMap_new(&s, "Sm");
  EXPECT_OK(RegionMap_addRegionDefinition(z, low));
  EXPECT_OK(RegionMap_addRegionDefinition(p, mid));
  EXPECT_OK(RegionMap_addRegionDefinition(s, top));
  EXPECT_OK(RegionMap_addExplicitPrimitive(s, "x"));
  EXPECT_OK(RegionMap_setOwner(p, "me"));
  EXPECT_OK(RegionAtlas_addMap(atlas, z, REGION_MAP_ZYR));
  EXPECT_OK(RegionAtlas_addMap(atlas, p, REGION_MAP_PRIMARY));
  EXPECT_OK(RegionAtlas_addMap(atlas, s, REGION_MAP_SECONDARY));
  return atlas;
}

TEST_F(TextFixture, AtlasGoldenAndRoundTrip) {
  RegionAtlas* atlas = goldenAtlas();
  std::string written = atlasText(atlas);
  EXPECT_EQ(written, kAtlasGolden);
  RegionAtlas* read = nullptr;
  ASSERT_OK(readText(RegionAtlas_readFromStrings, &read, written));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(atlasText(read), written);
  // The explicit primitive came back as such.
  int flag = 0;
  EXPECT_OK(RegionMap_isExplicitPrimitive(read->m_secondaryMap, "x", &flag));
  EXPECT_EQ(flag, 1);
  EXPECT_STREQ(read->m_primaryMap->m_owner, "me");
  // Through a file and a stream as well.
  zyrtest::ScratchDir scratch("region-atlas-text");
  const std::string path = scratch.file("atlas.txt");
  FILE* stream = fopen(path.c_str(), "w+");
  ASSERT_NE(stream, nullptr);
  EXPECT_OK(RegionAtlas_writeToFile(atlas, stream));
  EXPECT_EQ(atlas->m_vsnText, nullptr);
  fflush(stream);
  rewind(stream);
  RegionAtlas* fromStream = nullptr;
  EXPECT_OK(RegionAtlas_readFromFILE(&fromStream, stream, nullptr));
  fclose(stream);
  RegionAtlas* fromFile = nullptr;
  EXPECT_OK(RegionAtlas_readFromFile(&fromFile, path.c_str(), nullptr));
  ASSERT_NE(fromStream, nullptr);
  ASSERT_NE(fromFile, nullptr);
  EXPECT_EQ(atlasText(fromStream), written);
  EXPECT_EQ(atlasText(fromFile), written);
  RegionAtlas_delete(&fromStream, 1);
  RegionAtlas_delete(&fromFile, 1);
  RegionAtlas_delete(&read, 1);
  RegionAtlas_delete(&atlas, 1);
}

TEST_F(TextFixture, MapsByPathAndTypeWords) {
  std::string text =
      "REGION ATLAS: A\n"
      "  REGION MAP: M1\n"
      "    Type = primary\n"
      "    REGION: a1\n"
      "      Region List = x\n"
      "    END\n"
      "  END\n"
      "  REGION MAP: M2\n"
      "    Type = Zyr\n"
      "    Owner = somebody\n"
      "    REGION: a2\n"
      "      Combination = Union\n"
      "      Region List = y, f(z, w)\n"
      "    END\n"
      "  END\n"
      "END\n";
  RegionMap* map = nullptr;
  expectFailure(readText(RegionMap_readFromStrings, &map, text), RS_BAD_VSN, "Unable to read map: Multiple Map entries found.");
  EXPECT_EQ(map, nullptr);
  ASSERT_OK(readText(RegionMap_readFromStrings, &map, text, "/REGION ATLAS:A/REGION MAP:M2"));
  EXPECT_STREQ(map->m_name, "M2");
  EXPECT_STREQ(map->m_owner, "somebody");
  RegionDefinition* a2 = nullptr;
  ASSERT_OK(RegionMap_regionDefinitionFromName(map, "a2", &a2));
  EXPECT_EQ(sorted(components(a2, 1)), (Names{"f(z, w)", "y"}));
  RegionMap_delete(&map, 1);
  RegionAtlas* atlas = nullptr;
  ASSERT_OK(readText(RegionAtlas_readFromStrings, &atlas, text));
  EXPECT_STREQ(atlas->m_name, "A");
  ASSERT_NE(atlas->m_primaryMap, nullptr);
  ASSERT_NE(atlas->m_zyrMap, nullptr);
  EXPECT_STREQ(atlas->m_primaryMap->m_name, "M1");
  EXPECT_STREQ(atlas->m_zyrMap->m_name, "M2");
  // No Combination: an Alias.
  RegionDefinition* a1 = nullptr;
  ASSERT_OK(RegionAtlas_regionDefinitionFromName(atlas, "a1", &a1));
  EXPECT_EQ(a1->m_combination, RC_ALIAS);
  EXPECT_EQ(components(a1, 1), (Names{"x"}));
  RegionAtlas_delete(&atlas, 1);
}

TEST_F(TextFixture, DefinitionReaderRefusals) {
  struct Case {
    const char* m_text;
    uint32_t m_code;
    const char* m_message;
  };
  const Case cases[] = {
      {"REGION: d\nCombination = union\nRegion List = x\nEND", RS_BAD_VSN, "Unable to read definition: Unrecognised Combination."},
      {"REGION: d\nCombination = Union\nEND", RS_BAD_VSN, "Unable to read definition: Missing 'Region List' for definition"},
      {"REGION: d\nCombination = Difference\nRegion List A = x\nEND", RS_BAD_VSN,
       "Unable to read definition: Missing 'Region List B' for definition"},
      {"REGION: d\nCombination = Symmetric Difference\nRegion List B = x\nEND", RS_BAD_VSN,
       "Unable to read definition: Missing 'Region List A' for definition"},
      {"REGION: d\nCombination = Complement\nRegion List = x\nEND", RS_INVALID_COMBINATION, "Invalid combination."},
      {"REGION: d\nCombination = Merge\nRegion List = x\nEND", RS_INVALID_COMBINATION, "Invalid combination."},
      {"REGION: d\nRegion List = x, y\nEND", RS_CANNOT_CREATE_DEFINITION, "ALIAS Region Definition requires at most one component."},
      {"REGION: d\nCombination = Union\nRegion List =\nEND", RS_NEEDS_COMPONENT, "Region Definition requires at least one component."},
      {"REGION: d\nCombination = Union\nRegion List = d\nEND", RS_SELF_REFERENCE, "Region Definition (d) references itself."},
      {"REGION: d\nREGION: e\nEND\nEND", RS_BAD_VSN, "Unable to read definition: Multiple Definition entries found."},
  };
  for (const Case& c : cases) {
    RegionDefinition* d = nullptr;
    expectFailure(RegionDefinition_readFromString(&d, c.m_text, nullptr), c.m_code, c.m_message);
    EXPECT_EQ(d, nullptr) << c.m_text;
  }
  RegionDefinition* d = nullptr;
  ASSERT_OK(RegionDefinition_readFromString(&d, "Combination = Intersection\nRegion List = b, a\nTags = x, y\n", nullptr));
  const char* name = nullptr;
  RegionNameRecord* record = nullptr;
  RegionDefinition_getName(d, &name, &record);
  EXPECT_STREQ(name, "New Definition");
  EXPECT_EQ(components(d, 1), (Names{"b", "a"}));
  int flag = 0;
  RegionDefinition_taggedWith(d, "y", &flag);
  EXPECT_EQ(flag, 1);
  // An existing definition takes what the text says.
  ASSERT_OK(RegionDefinition_readFromString(&d, "REGION: renamed\nCombination = Difference\nRegion List A = k\nRegion List B = l\nEND\n", nullptr));
  RegionDefinition_getName(d, &name, &record);
  EXPECT_STREQ(name, "renamed");
  EXPECT_EQ(d->m_combination, RC_DIFFERENCE);
  EXPECT_EQ(components(d, 2), (Names{"l"}));
  RegionDefinition_delete(&d);
}

TEST_F(TextFixture, FrontEndRefusals) {
  RegionMap* map = nullptr;
  const char* lines[] = {"REGION MAP: m", "END"};
  expectFailure(RegionMap_readFromStrings(nullptr, 2, lines, nullptr), RS_BAD_CALL, "Unable to read Region Map: Invalid object pointer.");
  expectFailure(RegionMap_readFromStrings(&map, 2, nullptr, nullptr), RS_BAD_CALL, "Unable to read Region Map: Invalid string pointer.");
  const char* bad[] = {"REGION MAP: m", "what is this"};
  RegionStatus* s = RegionMap_readFromStrings(&map, 2, bad, nullptr);
  EXPECT_EQ(RegionStatus_getCode(s), RS_BAD_VSN);
  EXPECT_EQ(textOf(s).rfind("Unable to read Region Map: Unrecognised VSN.\n", 0), 0u) << textOf(s);
  EXPECT_EQ(map, nullptr);
  expectFailure(RegionMap_readFromFile(&map, "", nullptr), RS_BAD_FILE, "Unable to read Region Map: File Name is invalid.");
  EXPECT_EQ(RegionStatus_getCode(RegionMap_readFromFile(&map, "/nonexistent/dir/map.vsn", nullptr)), RS_BAD_VSN);
  expectFailure(RegionAtlas_readFromFILE(nullptr, stdin, nullptr), RS_BAD_CALL, "Unable to read Region Atlas: Invalid object pointer.");
  RegionAtlas* atlas = nullptr;
  expectFailure(RegionAtlas_readFromFILE(&atlas, nullptr, nullptr), RS_BAD_CALL, "Unable to read Region Atlas: Invalid file pointer.");
  expectFailure(RegionMap_readFromStrings(&map, 2, lines, "/no/such/path"), RS_BAD_VSN, "Unable to read map: Path not found.");
  EXPECT_EQ(map, nullptr);
  ASSERT_OK(RegionMap_readFromStrings(&map, 2, lines, nullptr));
  EXPECT_STREQ(map->m_name, "m");
  expectFailure(RegionMap_writeToFile(map, 0, nullptr), RS_BAD_CALL, "Unable to write map: File Descriptor is invalid.");
  int file = 0;
  expectFailure(RegionMap_writeToDataset(map, 0, &file, "", "x"), RS_BAD_CALL,
                "Unable to write map: Dataset specified (WHAT/WHERE/WHEN) is invalid.");
  RegionMap_delete(&map, 1);
}

TEST_F(TextFixture, AFailedAtlasReadRemovesTheMapsItMade) {
  std::string text =
      "REGION ATLAS: A\n"
      "  REGION MAP: S\n"
      "    Type = SECONDARY\n"
      "    REGION: s1\n"
      "      Combination = union\n"
      "      Region List = x\n"
      "    END\n"
      "  END\n"
      "  REGION MAP: P\n"
      "    Type = PRIMARY\n"
      "    REGION: p1\n"
      "      Region List = x\n"
      "    END\n"
      "  END\n"
      "END\n";
  RegionAtlas* atlas = nullptr;
  ASSERT_OK(RegionAtlas_new(&atlas, "kept"));
  RegionMap* zyr = nullptr;
  RegionMap_new(&zyr, "Z");
  RegionMap_addRegionDefinition(zyr, make("z1", RC_UNION, {"zz"}));
  ASSERT_OK(RegionAtlas_addMap(atlas, zyr, REGION_MAP_ZYR));
  // No ZYR block in the text: the maps it made (PRIMARY, then a SECONDARY that fails) all go.
  expectFailure(readText(RegionAtlas_readFromStrings, &atlas, text), RS_BAD_VSN, "Unable to read definition: Unrecognised Combination.");
  EXPECT_EQ(atlas->m_zyrMap, zyr);
  EXPECT_EQ(atlas->m_primaryMap, nullptr);
  EXPECT_EQ(atlas->m_secondaryMap, nullptr);
  EXPECT_EQ(listed(RegionAtlas_getExportedNames, atlas), (Names{"z1", "zz"}));
  RegionAtlas_delete(&atlas, 1);
  // Asked for a new atlas, a failed read leaves none.
  expectFailure(readText(RegionAtlas_readFromStrings, &atlas, text), RS_BAD_VSN, nullptr);
  EXPECT_EQ(atlas, nullptr);
}

TEST_F(TextFixture, ExplicitPrimitivesSurviveTheText) {
  RegionMap* map = nullptr;
  ASSERT_OK(RegionMap_new(&map, "Primary map"));
  RegionMap_addExplicitPrimitive(map, "Wall 2");
  RegionMap_addExplicitPrimitive(map, "Wall 1");
  RegionMap_addRegionDefinition(map, make("Walls", RC_UNION, {"Wall 1", "Wall 3"}));
  std::string text = mapText(map, 0);
  EXPECT_NE(text.find("    Explicit Primitive List = Wall 2, Wall 1\n\n"), std::string::npos) << text;
  RegionMap* read = nullptr;
  ASSERT_OK(readText(RegionMap_readFromStrings, &read, text));
  EXPECT_EQ(listed(RegionMap_getAllExplicitPrimitives, read), (Names{"Wall 1", "Wall 2"}));
  EXPECT_EQ(mapText(read, 0), text);
  RegionMap_delete(&read, 1);
  RegionMap_delete(&map, 1);
}

TEST_F(TextFixture, ADefinitionNamedLikeItsKeyword) {
  RegionMap* map = nullptr;
  ASSERT_OK(RegionMap_new(&map, "K"));
  RegionMap_addRegionDefinition(map, make("REGION", RC_UNION, {"k"}));
  std::string text = mapText(map, 0);
  RegionMap* read = nullptr;
  ASSERT_OK(readText(RegionMap_readFromStrings, &read, text));
  EXPECT_EQ(listed(RegionMap_getAllCompositeNames, read), (Names{"REGION"}));
  RegionMap_delete(&read, 1);
  RegionMap_delete(&map, 1);
}

TEST_F(TextFixture, LongStreamLinesAreContinued) {
  std::string list;
  for (int i = 0; i < 600; ++i) list += (i ? ", " : "") + std::string("name ") + std::to_string(i);
  ASSERT_GT(list.size(), 4000u);
  std::string text = "REGION: long\nCombination = Union\nRegion List = " + list + "\nEND\n";
  FILE* stream = tmpfile();
  fputs(text.c_str(), stream);
  rewind(stream);
  char** lines = nullptr;
  int32_t count = 0;
  ASSERT_OK(RegionText_readStreamLines(stream, "Region Definition", &lines, &count));
  ASSERT_GE(count, 5);
  size_t continued = 0;
  for (int32_t i = 0; i < count; ++i) {
    size_t n = strlen(lines[i]);
    EXPECT_LT(n, 2048u);
    continued += n > 0 && lines[i][n - 1] == '\\';
  }
  EXPECT_GE(continued, 2u);
  StringArray_delete(&lines, uint64_t(count));
  rewind(stream);
  RegionDefinition* fromStream = nullptr;
  ASSERT_OK(RegionDefinition_readFromFILE(&fromStream, stream, nullptr));
  RegionDefinition* fromText = nullptr;
  ASSERT_OK(RegionDefinition_readFromString(&fromText, text.c_str(), nullptr));
  EXPECT_EQ(components(fromStream, 1).size(), 600u);
  EXPECT_EQ(components(fromStream, 1), components(fromText, 1));
  RegionDefinition_delete(&fromStream);
  RegionDefinition_delete(&fromText);
  fclose(stream);
}

TEST_F(TextFixture, AStreamWithoutCommasEnds) {
  // A piece cut at a comma starts with that comma; with no other comma in the next 2047
  // characters the reader must still move on.
  std::string text = "Region List = a," + std::string(5000, 'b') + "\n";
  FILE* stream = tmpfile();
  fputs(text.c_str(), stream);
  rewind(stream);
  char** lines = nullptr;
  int32_t count = 0;
  ASSERT_OK(RegionText_readStreamLines(stream, "x", &lines, &count));
  std::string joined;
  for (int32_t i = 0; i < count; ++i) {
    std::string l = lines[i];
    if (!l.empty() && l.back() == '\\') l.pop_back();
    joined += l;
  }
  EXPECT_EQ(joined, text);
  StringArray_delete(&lines, uint64_t(count));
  fclose(stream);
  stream = tmpfile();
  fputs(("Combination = Union\n" + text).c_str(), stream);
  rewind(stream);
  RegionDefinition* d = nullptr;
  ASSERT_OK(RegionDefinition_readFromFILE(&d, stream, nullptr));
  EXPECT_EQ(components(d, 1), (Names{"a", std::string(5000, 'b')}));
  RegionDefinition_delete(&d);
  fclose(stream);
}

TEST(RegionText, DatasetLines) {
  const char data[] = {'a', 'b', '\0', 'X', 'c', 'd', '\0', 'Y', 'e'};
  char** lines = nullptr;
  int32_t count = 0;
  ASSERT_OK(RegionText_cutDatasetLines(data, sizeof(data), &lines, &count));
  ASSERT_EQ(count, 3);
  EXPECT_STREQ(lines[0], "ab");
  EXPECT_STREQ(lines[1], "cd");
  EXPECT_STREQ(lines[2], "e");
  StringArray_delete(&lines, 3);
  ASSERT_OK(RegionText_cutDatasetLines(data, 7, &lines, &count));
  EXPECT_EQ(count, 2);
  StringArray_delete(&lines, 2);
  ASSERT_OK(RegionText_cutDatasetLines(nullptr, 0, &lines, &count));
  EXPECT_EQ(count, 0);
  EXPECT_EQ(lines, nullptr);
}

}  // namespace

namespace {

// Every allocation of the library failing in turn while an atlas is read, resolved and
// written: each step either works or reports a failure, and nothing is left behind.
TEST_F(TextFixture, AllocationFailuresAnywhere) {
  RegionAtlas* golden = goldenAtlas();
  std::string text = atlasText(golden);
  RegionAtlas_delete(&golden, 1);
  int clean = 0;
  for (int64_t n = 0; n < 5000 && clean < 3; ++n) {
    RegionMemory_failAfter(n, 1);
    RegionAtlas* atlas = nullptr;
    RegionStatus* s = readText(RegionAtlas_readFromStrings, &atlas, text);
    bool read = !RegionStatus_isError(s);
    EXPECT_EQ(read, atlas != nullptr) << n;
    std::string written;
    if (atlas) {
      char** names = nullptr;
      uint64_t count = 0;
      if (!RegionStatus_isError(RegionAtlas_resolveName(atlas, "top", &names, &count)) && names) StringArray_delete(&names, count);
      const char* out = nullptr;
      if (!RegionStatus_isError(RegionAtlas_getVSN(atlas, &out))) written = out;
    }
    RegionMemory_failAfter(-1, 0);
    if (atlas) {
      EXPECT_OK(RegionAtlas_delete(&atlas, 1));
    }
    clean = read && written == text ? clean + 1 : 0;
    // A read that reports success has read everything.
    if (read && !written.empty()) EXPECT_EQ(written, text) << n;
  }
  EXPECT_EQ(clean, 3);
}

}  // namespace

namespace {

// A map leaving or joining the atlas while an allocation fails: the move happens whole or not
// at all, and the atlas's text says so.
TEST_F(TextFixture, AllocationFailuresWhileMapsMove) {
  RegionAtlas* reference = goldenAtlas();
  const std::string full = atlasText(reference);
  RegionMap* middle = reference->m_primaryMap;
  ASSERT_OK(RegionAtlas_removeMap(reference, middle));
  const std::string without = atlasText(reference);
  const std::string alone = mapText(middle, 1);
  RegionAtlas_delete(&reference, 1);
  RegionMap_delete(&middle, 1);
  int clean = 0, refusedLeaves = 0, refusedJoins = 0;
  for (int64_t n = 0; n < 5000 && clean < 3; ++n) {
    RegionAtlas* atlas = goldenAtlas();
    RegionMap* primary = atlas->m_primaryMap;
    RegionMemory_failAfter(n, 1);
    RegionStatus* s = RegionAtlas_removeMap(atlas, primary);
    bool left = !RegionStatus_isError(s);
    RegionMemory_failAfter(-1, 0);
    refusedLeaves += !left;
    EXPECT_EQ(atlasText(atlas), left ? without : full) << n;
    if (left) {
      EXPECT_EQ(mapText(primary, 1), alone) << n;
      RegionMemory_failAfter(n, 1);
      s = RegionAtlas_addMap(atlas, primary, REGION_MAP_PRIMARY);
      bool joined = !RegionStatus_isError(s);
      RegionMemory_failAfter(-1, 0);
      refusedJoins += !joined;
      EXPECT_EQ(atlasText(atlas), joined ? full : without) << n;
      EXPECT_EQ(primary->m_atlas != nullptr, joined) << n;
      if (!joined) {
        EXPECT_EQ(mapText(primary, 1), alone) << n;
        RegionMap_delete(&primary, 1);
      }
      clean = joined ? clean + 1 : 0;
    } else {
      clean = 0;
    }
    RegionAtlas_delete(&atlas, 1);
  }
  EXPECT_EQ(clean, 3);
  // Leaving retries what a passing shortage stopped, so one failure never keeps a map in.
  EXPECT_EQ(refusedLeaves, 0);
  EXPECT_GT(refusedJoins, 0);
}

}  // namespace

// ---- data sets --------------------------------------------------------------------------------

namespace {

int quiet(const char*, int32_t) { return 0; }

// A data-set file in a temporary directory, written and read through the request interface.
struct DatasetFile {
  zyrtest::ScratchDir m_dir{"region-dataset"};
  std::string m_name = m_dir.file("atlas.wez");
  IO_state* m_state = iostate_alloc();
  IO_header* m_header = ioheader_alloc(nullptr);
  IO_data* m_data = iodata_alloc(nullptr);
  DatasetFile() {
    iodata_set_chars(nullptr, m_data, m_name.data(), int32_t(m_name.size()));
    EXPECT_EQ(iocntc(IO_OPEN_PRIMARY, quiet, m_header, m_data, m_state), 0);
  }
  ~DatasetFile() {
    iocnt(IO_CLOSE_PRIMARY, quiet, m_header, m_data, m_state);
    iostate_free(m_state);
    ioheader_free(nullptr, m_header);
    iodata_free(nullptr, m_data);
  }
  // A character data set of the text's lines, each ended by a zero byte and a line end.
  void write(const char* what, const std::string& text, int32_t when = 0) {
    std::string characters;
    for (const std::string& line : linesOf(text)) characters += line + std::string("\0\n", 2);
    iodata_set_chars(nullptr, m_data, characters.data(), int32_t(characters.size()));
    snprintf(m_header->m_what, IO_NAME_LEN, "%s", what);
    snprintf(m_header->m_where, IO_NAME_LEN, "REGIONS");
    *m_header->m_when = when;
    *m_header->m_numattrb = 0;
    snprintf(m_header->m_datatype, IO_DATATYPE_LEN, "CHAR");
    *m_header->m_number = int32_t(characters.size());
    *m_header->m_blockfactor = 1;
    EXPECT_EQ(iocntc(IO_WRITE_DATASET, quiet, m_header, m_data, m_state), 0);
  }
  void* file() { return &m_state->m_primary; }
};

} // namespace

TEST_F(TextFixture, DatasetRoundTripsAndFailures) {
  DatasetFile data;
  RegionAtlas* atlas = goldenAtlas();
  const std::string atlasWritten = atlasText(atlas);
  RegionMap* map = nullptr;
  ASSERT_OK(RegionMap_new(&map, "M"));
  ASSERT_OK(RegionMap_addRegionDefinition(map, make("A", RC_UNION, {"p", "q"})));
  const std::string mapWritten = mapText(map, 0);
  RegionDefinition* d = make("D", RC_DIFFERENCE, {"b", "a"}, {"c"});
  RegionDefinition_addTag(d, "t1");
  const char* text = nullptr;
  ASSERT_OK(RegionDefinition_getVSN(d, &text));
  const std::string definitionWritten = text;
  data.write("ATLAS", atlasWritten);
  data.write("MAP", mapWritten);
  data.write("DEFINITION", definitionWritten);
  data.write("TWICE", mapWritten, 1);
  data.write("TWICE", mapWritten, 2);
  data.write("CORRUPT", "  REGION MAP: M\n    REGION: A\n");

  // The writers store what the readers take back, also for a text without a final line end.
  ASSERT_OK(RegionAtlas_writeToDataset(atlas, data.file(), "ATLAS W", "REGIONS"));
  ASSERT_OK(RegionMap_writeToDataset(map, 0, data.file(), "MAP W", "REGIONS"));
  ASSERT_OK(RegionDefinition_writeToDataset(d, data.file(), "DEFINITION W", "REGIONS"));
  RegionAtlas* atlasBack = nullptr;
  ASSERT_OK(RegionAtlas_readFromDataset(&atlasBack, data.file(), "ATLAS W", "REGIONS", 0, nullptr));
  EXPECT_EQ(atlasText(atlasBack), atlasWritten);
  RegionAtlas_delete(&atlasBack, 1);
  RegionMap* mapBack = nullptr;
  ASSERT_OK(RegionMap_readFromDataset(&mapBack, data.file(), "MAP W", "REGIONS", 0, nullptr));
  EXPECT_EQ(mapText(mapBack, 0), mapWritten);
  RegionMap_delete(&mapBack, 1);
  RegionDefinition* definitionBack = nullptr;
  ASSERT_OK(RegionDefinition_readFromDataset(&definitionBack, data.file(), "DEFINITION W", "REGIONS", 0, nullptr));
  ASSERT_OK(RegionDefinition_getVSN(definitionBack, &text));
  EXPECT_EQ(std::string(text), definitionWritten);
  RegionDefinition_delete(&definitionBack);

  RegionAtlas* readAtlas = nullptr;
  ASSERT_OK(RegionAtlas_readFromDataset(&readAtlas, data.file(), "ATLAS", "REGIONS", 0, nullptr));
  ASSERT_NE(readAtlas, nullptr);
  EXPECT_EQ(atlasText(readAtlas), atlasWritten);
  RegionMap* readMap = nullptr;
  ASSERT_OK(RegionMap_readFromDataset(&readMap, data.file(), "MAP", "REGIONS", 0, nullptr));
  ASSERT_NE(readMap, nullptr);
  EXPECT_EQ(mapText(readMap, 0), mapWritten);
  RegionDefinition* readDefinition = nullptr;
  ASSERT_OK(RegionDefinition_readFromDataset(&readDefinition, data.file(), "DEFINITION", "REGIONS", 0, nullptr));
  ASSERT_NE(readDefinition, nullptr);
  ASSERT_OK(RegionDefinition_getVSN(readDefinition, &text));
  EXPECT_EQ(std::string(text), definitionWritten);

  // Failures create nothing.
  RegionMap* none = nullptr;
  expectFailure(RegionMap_readFromDataset(&none, data.file(), "ABSENT", "REGIONS", 0, nullptr), RS_BAD_CALL,
                "Unable to read Region Map: Cannot locate requested dataset.");
  expectFailure(RegionMap_readFromDataset(&none, data.file(), "TWICE", "REGIONS", -1, nullptr), RS_BAD_CALL,
                "Unable to read Region Map: Cannot locate requested dataset.");
  RegionStatus* corrupt = RegionMap_readFromDataset(&none, data.file(), "CORRUPT", "REGIONS", 0, nullptr);
  expectFailure(corrupt, RS_BAD_VSN, nullptr);
  EXPECT_EQ(textOf(corrupt).rfind("Unable to read Region Map: Unrecognised VSN.", 0), 0u) << textOf(corrupt);
  EXPECT_EQ(none, nullptr);
  RegionAtlas* noAtlas = nullptr;
  RegionDefinition* noDefinition = nullptr;
  expectFailure(RegionDefinition_readFromDataset(&noDefinition, data.file(), "ABSENT", "REGIONS", 0, nullptr), RS_BAD_CALL,
                "Unable to read Region Definition: Cannot locate requested dataset.");
  EXPECT_EQ(noDefinition, nullptr);

  // Argument checks: the map's own words, the shared ones for the others.
  expectFailure(RegionMap_readFromDataset(nullptr, data.file(), "MAP", "REGIONS", 0, nullptr), RS_BAD_CALL,
                "Unable to read map: Invalid Map pointer.");
  expectFailure(RegionMap_readFromDataset(&none, nullptr, "MAP", "REGIONS", 0, nullptr), RS_BAD_CALL,
                "Unable to read map: Invalid File pointer.");
  expectFailure(RegionMap_readFromDataset(&none, data.file(), "MAP", nullptr, 0, nullptr), RS_BAD_CALL,
                "Unable to read map: Invalid WHAT/WHERE.");
  expectFailure(RegionAtlas_readFromDataset(nullptr, data.file(), "ATLAS", "REGIONS", 0, nullptr), RS_BAD_CALL,
                "Unable to read Region Atlas: Invalid object pointer.");
  expectFailure(RegionAtlas_readFromDataset(&noAtlas, nullptr, "ATLAS", "REGIONS", 0, nullptr), RS_BAD_CALL,
                "Unable to read Region Atlas: Invalid file pointer.");
  expectFailure(RegionDefinition_readFromDataset(&noDefinition, data.file(), nullptr, "REGIONS", 0, nullptr), RS_BAD_CALL,
                "Unable to read Region Definition: Invalid dataset WHAT/WHERE.");

  RegionDefinition_delete(&readDefinition);
  RegionDefinition_delete(&d);
  RegionMap_delete(&readMap, 1);
  RegionMap_delete(&map, 1);
  RegionAtlas_delete(&readAtlas, 1);
  RegionAtlas_delete(&atlas, 1);
}
