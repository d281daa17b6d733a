// The session keywords of the location, region, composite-name and modification entry points:
// the records the recorder writes, how the player reads them back, and the interactive echo.
#include "QueriesTestSupport.h"
#include "Session.h"
#include "SessionFile.h"
#include "SessionKeywords.h"
#include "SessionPlayer.h"
#include "zyrAffineTransform3D.h"

#include <cstdio>

using queriestest::QueriesTest;

namespace {

std::vector<std::string> recordLines(const std::string &file) {
  std::vector<std::string> lines;
  for (const std::string &line : zyrtest::splitLines(zyrtest::readFile(file)))
    if (!line.empty() && line[0] != '#')
      lines.push_back(line);
  return lines;
}

// Runs one row interactively with inputs set by the caller; the echo.
std::string echoOf(SessionCall *call) {
  call->m_status = call->m_keyword->m_call(call);
  testing::internal::CaptureStdout();
  SessionCall_echo(call);
  std::string text = testing::internal::GetCapturedStdout();
  SessionCall_free(call);
  return text;
}

} // namespace

TEST_F(QueriesTest, MeshMatchRecordsCarryTheAxisOrTheTransformOnlyWhenUsed) {
  addBlock("C", 2, 1);
  const std::string file = m_dir.file("match.ses");
  const double root[3] = {0, 0, 0};
  const double tip[3] = {1, 0, 0};
  zyrAffineTransform3D *transform = zyrAffineTransform3D_new();
  int32_t result = -1;
  SessionFile_open(file.c_str(), 2);
  for (int32_t type = 1; type <= 4; ++type)
    ASSERT_EQ(zyrLocation_doesMeshMatch(m_hModel, "Clow", "Chigh", type, root, tip, "m", transform, &result), 1);
  SessionFile_close();
  zyrAffineTransform3D_delete(transform);
  const std::vector<std::string> lines = recordLines(file);
  const std::string h = std::to_string(m_hModel);
  // 5 lines each for types 1 and 2, 5 + 7 for type 3, 5 + 13 for type 4.
  ASSERT_EQ(lines.size(), 5u + 5u + 12u + 18u);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 10),
            (std::vector<std::string>{"zyrLocation_doesMeshMatch", h, "Clow", "Chigh", "1", "zyrLocation_doesMeshMatch",
                                      h, "Clow", "Chigh", "2"}));
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 14, lines.begin() + 23),
            (std::vector<std::string>{"3", "0.000000e+00", "0.000000e+00", "0.000000e+00", "1.000000e+00",
                                      "0.000000e+00", "0.000000e+00", "m", "zyrLocation_doesMeshMatch"}));
  EXPECT_EQ(lines.back(), "m");

  // The player reads the same records back, one after the other, and makes the calls again.
  zyrtest::ErrorCapture errors;
  EXPECT_EQ(apitest::playSessionFile(file), 1);
  EXPECT_TRUE(errors.take().empty());
}

TEST_F(QueriesTest, EchoOfTheBoundingBoxAndTheMeshSize) {
  addBlock("A", 0, 2);
  Session *session = Session_new();
  session->m_interactive = 1;
  SessionCall call;
  SessionCall_init(&call, SessionKeyword_find("zyrLocation_getBoundingBox"), session);
  call.m_inputs[0].m_integer = m_hModel;
  call.m_inputs[1].m_string = zyrCString_clone("A");
  call.m_inputs[3].m_string = zyrCString_clone("m");
  const std::string h = std::to_string(m_hModel);
  EXPECT_EQ(echoOf(&call), "zyrLocation_getBoundingBox\n"
                           "> hModel             = " +
                               h +
                               "\n"
                               "> location           = A\n"
                               "> ignoreUnknownNames = 0\n"
                               "> units              = m\n"
                               "< xlo                = 0.000000e+00\n"
                               "< xhi                = 2.000000e+00\n"
                               "< ylo                = 0.000000e+00\n"
                               "< yhi                = 1.000000e+00\n"
                               "< zlo                = 0.000000e+00\n"
                               "< zhi                = 1.000000e+00\n"
                               "< return             = 1\n");

  SessionCall_init(&call, SessionKeyword_find("zyrLocation_getMeshSize"), session);
  call.m_inputs[0].m_integer = m_hModel;
  call.m_inputs[1].m_string = zyrCString_clone("Avol,Atop");
  call.m_inputs[3].m_integer = 15;
  std::string expected = "zyrLocation_getMeshSize\n"
                         "> hModel             = " +
                         h +
                         "\n"
                         "> location           = Avol,Atop\n"
                         "> ignoreUnknownNames = 0\n"
                         "> dimensionMask      = 15\n"
                         "< noOfVertices       = 18\n"
                         "< noOfElements       = 4\n"
                         "< noOfElementsByType =\n";
  const int32_t counts[8] = {0, 0, 0, 2, 0, 0, 0, 2};
  for (int32_t t = 0; t < 8; ++t) {
    char line[80];
    std::snprintf(line, sizeof line, "  %10d [%s]\n", counts[t], ElementTopology_getElementTypeName(t));
    expected += line;
  }
  expected += "< return             = 1\n";
  EXPECT_EQ(echoOf(&call), expected);
  Session_delete(session);
}

TEST_F(QueriesTest, EchoOfAModificationAndOfTheRegionMap) {
  addBlock("A", 0, 3);
  Session *session = Session_new();
  session->m_interactive = 1;
  const std::string text =
      "zyrModel_modifyRegions\n" + std::to_string(m_hModel) + "\n0\n2\nAbottom\nAtop\n2\n1\n0\n2\n1\nFloor\n1\n";
  const std::string path = m_dir.file("modify.ses");
  zyrtest::writeFile(path, text);
  FILE *input = std::fopen(path.c_str(), "r");
  ASSERT_NE(input, nullptr);
  Session_setInput(session, input);
  session->m_interactive = 0;
  const char *keyword = Session_readKeyword(session);
  ASSERT_STREQ(keyword, "zyrModel_modifyRegions");
  SessionCall call;
  SessionCall_init(&call, SessionKeyword_find(keyword), session);
  ASSERT_EQ(SessionCall_readInputs(&call), 1);
  std::fclose(input);
  session->m_interactive = 1;
  const std::string echo = echoOf(&call);
  const std::string w = std::string(20, ' ');
  EXPECT_EQ(echo, "zyrModel_modifyRegions\n"
                  "> hModel              = " +
                      std::to_string(m_hModel) +
                      "\n"
                      "> operation           = 0\n"
                      "> noOfComponents      = 2\n"
                      "> regions             =\n"
                      "  [0] Abottom\n"
                      "  [1] Atop\n"
                      "> noOfElements        =\n"
                      "  [0] 2\n"
                      "  [1] 1\n"
                      "> elements            =\n"
                      "  [0][0] 0\n"
                      "  [0][1] 2\n"
                      "  [1][0] 1\n"
                      "> targetName          = Floor\n"
                      "> recordChanges       = 1\n"
                      "< actualName          = \n"
                      "< noOfModifiedRegions =\n"
                      "  [0] 1\n"
                      "  [1] 2\n"
                      "  [2] 0\n"
                      "< modifiedRegions     =\n"
                      "  [0][0] Floor\n"
                      "  [1][0] Abottom\n"
                      "  [1][1] Atop\n"
                      "< return              = 1\n");
  EXPECT_EQ(faces("Floor"), 3);

  SessionCall_init(&call, SessionKeyword_find("zyrModel_exportRegionMap"), session);
  call.m_inputs[0].m_integer = m_hModel;
  const std::string map = echoOf(&call);
  EXPECT_EQ(map.rfind("zyrModel_exportRegionMap\n> hModel = ", 0), 0u) << map;
  EXPECT_NE(map.find("< vsn    = \\\n"), std::string::npos) << map;
  Session_delete(session);
}
