// The prints of what an import read (the intermediate file's contents, the import's options and
// summary) and the options an import hands back: one two-block intermediate file.
#include "DefFile.h"
#include "ExchangeTestSupport.h"
#include "GmoBuilder.h"
#include "GmoContents.h"
#include "ImportTestSupport.h"
#include "ImportedMesh.h"
#include "zyrCString.h"
#include "zyrTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

using zyrtest::contains;
using zyrtest::printed;

class ImportPrintTest : public ImportTest {};

TEST_F(ImportPrintTest, ContentsListTheirNamesAndCounts) {
  const std::string path = m_dir->file("print.gmo");
  GmoBuilder::twoBlocks().write(path);
  DefFile *file = DefFile_new(path.c_str());
  ASSERT_NE(file, nullptr);
  GmoContents *contents = GmoContents_new();
  ASSERT_EQ(GmoContents_readTopology(contents, file), 1);
  ASSERT_EQ(GmoContents_readMesh(contents, file), 1);
  const std::string text = printed([&](FILE *f) { GmoContents_print(contents, f); });
  EXPECT_EQ(text.rfind("m_nsf = 5\nm_nvl = 2\n", 0), 0u) << text;
  EXPECT_TRUE(contains(text, "  surface 4 \"Spare\"\n")) << text;
  EXPECT_TRUE(contains(text, "m_ncn = 2\nm_noOfVertices = 12\nm_units = m\nm_nes = 2\nm_nfs = 4\n")) << text;
  GmoContents_delete(contents);
  DefFile_delete(file);
}

TEST_F(ImportPrintTest, ImportKeepsItsOptionsAndModel) {
  const std::string path = m_dir->file("mesh.gmo");
  GmoBuilder::twoBlocks().write(path);
  ImportedMesh *im = import("ZYR_INTERMEDIATE", path, "-generic", nullptr);
  ASSERT_NE(im, nullptr);
  EXPECT_EQ(ImportedMesh_getModel(im), model());
  char *type = nullptr, *filename = nullptr, *generic = nullptr, *specific = nullptr;
  EXPECT_EQ(ImportedMesh_getOptions(im, &type, &filename, &generic, &specific), nullptr);
  EXPECT_STREQ(type, "ZYR_INTERMEDIATE");
  EXPECT_STREQ(filename, path.c_str());
  EXPECT_STREQ(generic, "-generic");
  EXPECT_EQ(specific, nullptr);
  const std::string text = printed([&](FILE *f) { ImportedMesh_print(im, f); });
  EXPECT_TRUE(contains(text, "Import options:\n  Type             = ZYR_INTERMEDIATE \n")) << text;
  EXPECT_TRUE(contains(text, "  Filename         = " + path + " \n")) << text;
  EXPECT_TRUE(contains(text, "  Generic  options = -generic \n")) << text;
  EXPECT_FALSE(contains(text, "Specific options")) << text;
  EXPECT_TRUE(contains(text, "\nSummary output:\n")) << text;
  zyrCString_free(type);
  zyrCString_free(filename);
  zyrCString_free(generic);
  ImportedMesh_delete(im);
}

} // namespace
