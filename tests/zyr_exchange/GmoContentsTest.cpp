// Reading and checking intermediate mesh files before anything is made of them: a consistent file
// reads whole, and every count, index pointer and index that does not fit is refused with the
// data set it came from.
#include "GmoContents.h"
#include "DefFile.h"
#include "ExchangeTestSupport.h"
#include "GmoBuilder.h"

#include <functional>
#include <string>
#include <vector>

namespace {

class GmoContentsTest : public zyrtest::ErrorCaptureTest {
protected:
  // Writes the file and reads it; the result of the two reads and, on failure, the stored error.
  struct Outcome {
    int topology = 0;
    int mesh = 0;
    std::string what, where, description;
  };
  Outcome read(const GmoBuilder &builder) {
    builder.write(m_path);
    DefFile *file = DefFile_new(m_path.c_str());
    EXPECT_NE(file, nullptr);
    Outcome outcome;
    GmoContents *contents = GmoContents_new();
    outcome.topology = GmoContents_readTopology(contents, file);
    if (outcome.topology)
      outcome.mesh = GmoContents_readMesh(contents, file);
    if (!outcome.topology || !outcome.mesh) {
      EXPECT_EQ(file->m_errorCode, 20006);
      outcome.what = file->m_what != nullptr ? file->m_what : "";
      outcome.where = file->m_where != nullptr ? file->m_where : "";
      outcome.description = file->m_description != nullptr ? file->m_description : "";
    }
    m_last = *contents;
    check(contents);
    GmoContents_delete(contents);
    DefFile_delete(file);
    return outcome;
  }
  std::function<void(const GmoContents *)> check = [](const GmoContents *) {};
  zyrtest::ScratchDir m_dir{"gmocontents"};
  std::string m_path = m_dir.file("case.gmo");
  GmoContents m_last{};
};

TEST_F(GmoContentsTest, ConsistentFileReadsWhole) {
  check = [](const GmoContents *c) {
    EXPECT_EQ(c->m_nsf, 5);
    EXPECT_EQ(c->m_nvl, 2);
    EXPECT_STREQ(c->m_surfaceNames[4], "Spare");
    EXPECT_EQ(c->m_noOfContacts, 1);
    EXPECT_EQ(std::vector<int32_t>(c->m_boundedVolume, c->m_boundedVolume + 5), (std::vector<int32_t>{0, 0, 1, 1, 0}));
    EXPECT_EQ(c->m_ncn, 2);
    EXPECT_EQ(c->m_noOfVertices, 12);
    EXPECT_STREQ(c->m_units, "m");
    EXPECT_EQ(c->m_nes, 2);
    EXPECT_EQ(c->m_elementTypes[1], 6);
    EXPECT_EQ(c->m_nfs, 4);
    EXPECT_EQ(c->m_faceCounts[0], 5);
    EXPECT_EQ(std::vector<int32_t>(c->m_faceSetPointer, c->m_faceSetPointer + 6),
              (std::vector<int32_t>{0, 1, 2, 3, 4, 4}));
    ASSERT_NE(c->m_volumePriorities, nullptr);
    EXPECT_EQ(c->m_volumePriorities[1], 3);
  };
  const Outcome outcome = read(GmoBuilder::twoBlocks());
  EXPECT_EQ(outcome.topology, 1);
  EXPECT_EQ(outcome.mesh, 1);
}

TEST_F(GmoContentsTest, OptionalDataSetsMayBeMissingOrIgnored) {
  GmoBuilder b = GmoBuilder::twoBlocks();
  b.surfacePriorities = {1, 2}; // wrong length: ignored entirely
  b.contacts.clear();
  b.composites.clear();
  b.units.clear();
  check = [](const GmoContents *c) {
    EXPECT_EQ(c->m_surfacePriorities, nullptr);
    EXPECT_NE(c->m_volumePriorities, nullptr);
    EXPECT_EQ(c->m_noOfContacts, 0);
    EXPECT_EQ(c->m_ncn, 0);
    EXPECT_EQ(c->m_units, nullptr);
  };
  const Outcome outcome = read(b);
  EXPECT_EQ(outcome.mesh, 1);

  // A count of zero composite names reads none of their data sets.
  b.replacements["ZYR/NCN@EVERY"] = {0};
  b.composites = {{"Never", {"read"}}};
  b.omit = {"ZYR/CLBCN@EVERY", "ZYR/CNMCN@EVERY", "ZYR/IPNMCN@EVERY"};
  EXPECT_EQ(read(b).mesh, 1);
}

struct BrokenCase {
  const char *name;
  std::function<void(GmoBuilder &)> breakIt;
  bool inTopology;
  const char *what;
  const char *where;
  const char *description; // empty: the file layer's own description of a failed read
};

class GmoContentsBrokenTest : public GmoContentsTest, public testing::WithParamInterface<BrokenCase> {};

TEST_P(GmoContentsBrokenTest, IsRefusedWithTheDataSetAtFault) {
  const BrokenCase &c = GetParam();
  GmoBuilder b = GmoBuilder::twoBlocks();
  c.breakIt(b);
  const Outcome outcome = read(b);
  if (c.inTopology) {
    EXPECT_EQ(outcome.topology, 0);
  } else {
    EXPECT_EQ(outcome.topology, 1);
    EXPECT_EQ(outcome.mesh, 0);
  }
  EXPECT_EQ(outcome.what, c.what);
  EXPECT_EQ(outcome.where, c.where);
  if (*c.description != '\0')
    EXPECT_EQ(outcome.description, c.description);
}

const char *const kOutOfRange = "The data set holds an index out of range.";

INSTANTIATE_TEST_SUITE_P(
    Cases, GmoContentsBrokenTest,
    testing::Values(
        BrokenCase{"MissingShells", [](GmoBuilder &b) { b.omit.insert("ZYR/KSFVL@EVERY"); }, true, "ZYR/KSFVL", "EVERY",
                   ""},
        BrokenCase{"NegativeCount", [](GmoBuilder &b) { b.replacements["ZYR/NSF@EVERY"] = {-3}; }, true, "ZYR/NSF",
                   "EVERY", "The number of regions is not valid."},
        BrokenCase{"NamesShort", [](GmoBuilder &b) { b.replacements["ZYR/NSF@EVERY"] = {6}; }, true, "ZYR/CLBSF",
                   "EVERY", "The data set does not hold one name per surface."},
        BrokenCase{"VolumeNamesShort", [](GmoBuilder &b) { b.replacements["ZYR/NVL@EVERY"] = {3}; }, true, "ZYR/CLBVL",
                   "EVERY", "The data set does not hold one name per volume."},
        BrokenCase{"PartnerOutOfRange", [](GmoBuilder &b) { b.partners[0] = 5; }, true, "ZYR/KSFSF", "EVERY",
                   "The data set holds a surface out of range."},
        BrokenCase{"PartnerItself", [](GmoBuilder &b) { b.partners[0] = 0; }, true, "ZYR/KSFSF", "EVERY",
                   "The data set holds a surface out of range."},
        BrokenCase{"PartnerTwice", [](GmoBuilder &b) { b.partners[0] = 2; }, true, "ZYR/KSFSF", "EVERY",
                   "A surface is connected to more than one other surface."},
        BrokenCase{"ContactOdd", [](GmoBuilder &b) { b.contacts.push_back(1); }, true, "ZYR/CONTACT", "EVERY",
                   "The data set does not hold pairs of surfaces."},
        BrokenCase{"ContactOutOfRange",
                   [](GmoBuilder &b) {
                     b.contacts = {0, 9};
                   },
                   true, "ZYR/CONTACT", "EVERY", "The data set holds a surface out of range."},
        BrokenCase{"ContactItself", [](GmoBuilder &b) { b.contacts = {1, 1}; }, true, "ZYR/CONTACT", "EVERY",
                   "A surface is glued to itself."},
        BrokenCase{"ShellPointerFalls",
                   [](GmoBuilder &b) {
                     b.replacements["ZYR/IPSFVL@EVERY"] = {0, 4, 3};
                   },
                   true, "ZYR/IPSFVL", "EVERY", "The index pointer does not divide its list."},
        BrokenCase{"ShellPointerShort",
                   [](GmoBuilder &b) {
                     b.replacements["ZYR/IPSFVL@EVERY"] = {0, 5};
                   },
                   true, "ZYR/IPSFVL", "EVERY", "The data set does not hold the number of values expected."},
        BrokenCase{"ShellSurfaceOutOfRange", [](GmoBuilder &b) { b.shells[1][0] = -1; }, true, "ZYR/KSFVL", "EVERY",
                   kOutOfRange},
        BrokenCase{"SurfaceInTwoShells", [](GmoBuilder &b) { b.shells[1][0] = 0; }, true, "ZYR/KSFVL", "EVERY",
                   "A surface bounds more than one volume."},
        BrokenCase{"CompositeCountNegative", [](GmoBuilder &b) { b.replacements["ZYR/NCN@EVERY"] = {-1}; }, true,
                   "ZYR/NCN", "EVERY", "The number of composite names is not valid."},
        BrokenCase{"CompositeNamesShort", [](GmoBuilder &b) { b.replacements["ZYR/NCN@EVERY"] = {3}; }, true,
                   "ZYR/CLBCN", "EVERY", "The data set does not hold one name per composite name."},
        BrokenCase{"CompositePointer",
                   [](GmoBuilder &b) {
                     b.replacements["ZYR/IPNMCN@EVERY"] = {0, 3, 2};
                   },
                   true, "ZYR/IPNMCN", "EVERY", "The index pointer does not divide its list."},
        BrokenCase{"TypeEight", [](GmoBuilder &b) { b.elementSets[1].code = 8; }, false, "ZYR/TYPE", "ES1",
                   "The element type code is not valid."},
        BrokenCase{"PartElement", [](GmoBuilder &b) { b.elementSets[0].vertices.pop_back(); }, false, "ZYR/KVXPE",
                   "ES0", "The data set does not hold whole elements."},
        BrokenCase{"VertexOutOfRange", [](GmoBuilder &b) { b.elementSets[1].vertices[3] = 12; }, false, "ZYR/KVXPE",
                   "ES1", "The data set holds a vertex out of range."},
        BrokenCase{"CoordinatesNotTriples", [](GmoBuilder &b) { b.coordinates.pop_back(); }, false, "ZYR/CRDVX",
                   "EVERY", "The data set does not hold three coordinates per vertex."},
        BrokenCase{"FaceElementOutOfRange", [](GmoBuilder &b) { b.faceSets[2].elements[0] = 1; }, false, "ZYR/KPEPF",
                   "FS2", "The data set holds an element out of range."},
        BrokenCase{"LocalFaceOutOfRange", [](GmoBuilder &b) { b.faceSets[0].nativeFaces[0] = -7; }, false, "ZYR/KRFPF",
                   "FS0", "The data set holds a local face out of range."},
        BrokenCase{"FaceListsDiffer", [](GmoBuilder &b) { b.faceSets[0].nativeFaces.pop_back(); }, false, "ZYR/KRFPF",
                   "FS0", "The data set does not hold one face per element."},
        BrokenCase{"ElementSetOutOfRange",
                   [](GmoBuilder &b) {
                     b.faceSets[3].set = 2;
                     b.faceSets[3].elements = {};
                     b.faceSets[3].nativeFaces = {};
                   },
                   false, "ZYR/ES", "FS3", "The data set holds an element set out of range."},
        BrokenCase{"ElementSetInTwoVolumes", [](GmoBuilder &b) { b.volumeElementSets[1] = {0}; }, false, "ZYR/KESVL",
                   "EVERY", "An element set belongs to more than one volume."},
        BrokenCase{"VolumeElementSetOutOfRange", [](GmoBuilder &b) { b.volumeElementSets[1] = {2}; }, false,
                   "ZYR/KESVL", "EVERY", kOutOfRange},
        BrokenCase{"FaceSetOnOtherVolume", [](GmoBuilder &b) { std::swap(b.surfaceFaceSets[0], b.surfaceFaceSets[3]); },
                   false, "ZYR/KFSSF", "EVERY",
                   "A face set does not lie on the elements of the volume its surface bounds."},
        BrokenCase{"FaceSetTwice", [](GmoBuilder &b) { b.surfaceFaceSets[4] = {0}; }, false, "ZYR/KFSSF", "EVERY",
                   "A face set belongs to more than one surface."},
        BrokenCase{"SurfaceWithoutVolume",
                   [](GmoBuilder &b) {
                     b.shells[0] = {0, 1};
                   },
                   false, "ZYR/KSFVL", "EVERY", "A surface bounds no volume."},
        BrokenCase{"MeshVolumeCountDiffers", [](GmoBuilder &b) { b.volumeElementSets.push_back({}); }, false,
                   "ZYR/IPESVL", "EVERY", "The data set does not hold the number of values expected."}),
    [](const testing::TestParamInfo<BrokenCase> &info) { return std::string(info.param.name); });

} // namespace
