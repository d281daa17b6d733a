// Renderings of error records, checked against texts written out by hand.
#include "ErrorDisplay.h"
#include "ErrorTestSupport.h"
#include "TestSupport.h"
#include "zyrAssert.h"
#include "zyrLibrary.h"

#include <cstdarg>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

namespace {

using zyrtest::ErrorTest;
using zyrtest::mask;

// One collector per format: every display hands over one text per record.
std::vector<std::string> g_texts[5];
int g_calls[5];

template <int N> int collect(const char *text) {
  g_calls[N]++;
  g_texts[N].push_back(text ? text : "<NULL>");
  return 0;
}

const std::string kDashes(80, '-');

class ErrorDisplayTest : public ErrorTest {
protected:
  void SetUp() override {
    ErrorTest::SetUp();
    for (int i = 0; i < 5; ++i) {
      g_texts[i].clear();
      g_calls[i] = 0;
    }
    addCallback(0, collect<0>);
    addCallback(1, collect<1>);
    addCallback(2, collect<2>);
    addCallback(3, collect<3>);
  }
  // Publishes the record and returns what format N made of it, masked.
  std::vector<std::string> publish(zyrError *error) {
    zyrError_publish(error);
    std::vector<std::string> texts;
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(g_calls[i], 1) << "format " << i;
      texts.push_back(g_texts[i].empty() ? "" : mask(g_texts[i].back(), error));
    }
    return texts;
  }
};

zyrError *makeWarning() {
  zyrLibrary_setProgramName("zyrtest");
  zyrError *error = zyrError_new(ZYR_W_INVALID_DATA_IGNORED, "readMesh", "io/reader.cpp", 42);
  zyrError_addMessage(error, "Line 7 is blank.\n");
  zyrError_addRegion(error, 0, 1, 2);
  return error;
}

zyrError *makeUserError() {
  zyrLibrary_setProgramName("zyrtest");
  zyrError *error = zyrError_new(ZYR_U_FILE_DOES_NOT_EXIST, "openFile", "db/open.cpp", 17);
  zyrError_setContext(error, "Opening the database.");
  zyrError_addMessage(error, "The file named \"%s\" does not exist.\n", "x.zyr");
  zyrError_addRegion(error, 2, 3, 4);
  zyrError_addRegion(error, 3, 5, 6);
  zyrError_addRegion(error, 2, 10, 11);
  return error;
}

zyrError *makeInternalError() {
  zyrLibrary_clearProgramName();
  zyrError *error = zyrError_new(ZYR_I_ALGORITHMIC_FAILURE, "matchVertices", "mesh/match.cpp", 300);
  zyrError_addMessage(error, "\n\nTolerance exceeded.\n");
  zyrError_addMessage(error, "Second line.\n\n");
  zyrError_addRegion(error, 1, 7, 8);
  const double x[] = {0, 1, 0}, y[] = {0, 0, 1}, z[] = {0, 0, 0};
  zyrError_addElement(error, x, y, z, 2, 9);
  return error;
}

TEST_F(ErrorDisplayTest, WarningInEveryFormat) {
  std::vector<std::string> t = publish(makeWarning());
  EXPECT_EQ(t[0], "\n"
                  "  Warning:\n"
                  "  --------\n"
                  "\n"
                  "  Program:     zyrtest\n"
                  "  Subroutine:  readMesh\n"
                  "\n"
                  "  Problem: Invalid data has been ignored.\n"
                  "\n"
                  "Line 7 is blank.\n"
                  "\n"
                  "  CAD domain ID: 1 CAD vrtx  ID: 2\n"
                  "\n");
  EXPECT_EQ(t[1], "WARNG_ERROR_START\n"
                  "  Warning:\n"
                  "  --------\n"
                  "\n"
                  "  Program:     zyrtest\n"
                  "  Subroutine:  readMesh\n"
                  "\n"
                  "  Problem: Invalid data has been ignored.\n"
                  "\n"
                  "Line 7 is blank.\n"
                  "\n"
                  "CAD_VRTX_DATA\n"
                  "  CAD domain ID: 1 CAD vrtx  ID: 2\n"
                  "CAD_VRTX_DATA\n"
                  "WARNG_ERROR_END\n");
  EXPECT_EQ(t[2], "\n" + kDashes + "\n"
                  "Warning: Invalid data has been ignored.\n" + kDashes + "\n"
                  "Program:     zyrtest\n"
                  "Subroutine:  readMesh\n"
                  "Time:        @DATE@ @TIME@\n"
                  "Version:     @RELEASE@ [@STAMP@]\n"
                  "Host:        @HOST@\n"
                  "Directory:   @DIR@\n" + kDashes + "\n"
                  "\n"
                  "Line 7 is blank.\n"
                  "\n"
                  "Associated 0D regions:\n"
                  "\n"
                  "  V2.1\n"
                  "\n" + kDashes + "\n"
                  "\n");
  EXPECT_EQ(t[3], "<ZYRERROR type=\"Warning\" id=\"@ID@\">\n"
                  "<DESCRIPTION>\n"
                  "Invalid data has been ignored.\n"
                  "</DESCRIPTION>\n"
                  "<ERROR_CODE>ZYR_W_INVALID_DATA_IGNORED</ERROR_CODE>\n"
                  "<DATE>@DATE@</DATE>\n"
                  "<TIME>@TIME@</TIME>\n"
                  "<MESSAGE><![CDATA[\n"
                  "Line 7 is blank.\n"
                  "]]></MESSAGE>\n"
                  "<LOCATION>\n"
                  "<TOPOLOGY>\n"
                  "<REGION dimensionality=\"0\" body=\"1\" object=\"2\"/>\n"
                  "</TOPOLOGY>\n"
                  "</LOCATION>\n"
                  "<SOURCE>\n"
                  "<PROGRAM>\nzyrtest\n</PROGRAM>\n"
                  "<FUNCTION>\nreadMesh\n</FUNCTION>\n"
                  "<FILE>\nio/reader.cpp\n</FILE>\n"
                  "<LINE_NUMBER>\n42\n</LINE_NUMBER>\n"
                  "</SOURCE>\n"
                  "</ZYRERROR>\n");
}

TEST_F(ErrorDisplayTest, UserErrorInEveryFormat) {
  std::vector<std::string> t = publish(makeUserError());
  const std::string body = "  Error:\n"
                           "  ------\n"
                           "\n"
                           "  Program:     zyrtest\n"
                           "  Subroutine:  openFile\n"
                           "\n"
                           "  Problem: The requested file does not exist.\n"
                           "\n"
                           "  Context:\n"
                           "Opening the database.\n"
                           "\n"
                           "The file named \"x.zyr\" does not exist.\n"
                           "\n";
  // Volume pairs are not shown in the build formats.
  EXPECT_EQ(t[0], "\n" + body +
                      "  CAD domain ID: 3 CAD face  ID: 4\n"
                      "  CAD domain ID: 10 CAD face  ID: 11\n"
                      "\n");
  EXPECT_EQ(t[1], "FATAL_ERROR_START\n" + body +
                      "CAD_FACE_DATA\n"
                      "  CAD domain ID: 3 CAD face  ID: 4\n"
                      "CAD_FACE_DATA\n"
                      "CAD_FACE_DATA\n"
                      "  CAD domain ID: 10 CAD face  ID: 11\n"
                      "CAD_FACE_DATA\n"
                      "FATAL_ERROR_END\n");
  EXPECT_EQ(t[2], "\n" + kDashes + "\n"
                  "Error: The requested file does not exist.\n" + kDashes + "\n"
                  "Program:     zyrtest\n"
                  "Subroutine:  openFile\n"
                  "Time:        @DATE@ @TIME@\n"
                  "Version:     @RELEASE@ [@STAMP@]\n"
                  "Host:        @HOST@\n"
                  "Directory:   @DIR@\n" + kDashes + "\n"
                  "\n"
                  "Context:\n"
                  "\n"
                  "Opening the database.\n" + kDashes + "\n"
                  "\n"
                  "The file named \"x.zyr\" does not exist.\n"
                  "\n"
                  "Associated 2D regions:\n"
                  "\n"
                  "  F4.3\n"
                  "  F11.10\n"
                  "\n"
                  "Associated 3D regions:\n"
                  "\n"
                  "  B6\n"
                  "\n" + kDashes + "\n"
                  "\n");
  EXPECT_EQ(t[3], "<ZYRERROR type=\"Error\" id=\"@ID@\">\n"
                  "<DESCRIPTION>\n"
                  "The requested file does not exist.\n"
                  "</DESCRIPTION>\n"
                  "<ERROR_CODE>ZYR_U_FILE_DOES_NOT_EXIST</ERROR_CODE>\n"
                  "<DATE>@DATE@</DATE>\n"
                  "<TIME>@TIME@</TIME>\n"
                  "<MESSAGE><![CDATA[\n"
                  "The file named \"x.zyr\" does not exist.\n"
                  "]]></MESSAGE>\n"
                  "<LOCATION>\n"
                  "<TOPOLOGY>\n"
                  "<REGION dimensionality=\"2\" body=\"3\" object=\"4\"/>\n"
                  "<REGION dimensionality=\"2\" body=\"10\" object=\"11\"/>\n"
                  "<REGION dimensionality=\"3\" body=\"5\" object=\"6\"/>\n"
                  "</TOPOLOGY>\n"
                  "</LOCATION>\n"
                  "<SOURCE>\n"
                  "<PROGRAM>\nzyrtest\n</PROGRAM>\n"
                  "<FUNCTION>\nopenFile\n</FUNCTION>\n"
                  "<FILE>\ndb/open.cpp\n</FILE>\n"
                  "<LINE_NUMBER>\n17\n</LINE_NUMBER>\n"
                  "</SOURCE>\n"
                  "</ZYRERROR>\n");
}

TEST_F(ErrorDisplayTest, InternalErrorInEveryFormat) {
  std::vector<std::string> t = publish(makeInternalError());
  const std::string body = "  Internal Error:\n"
                           "  ---------------\n"
                           "  Please contact the support team with the following information:\n"
                           "\n"
                           "  (Details on how to contact the support team can be found in the User\n"
                           "  Documentation)\n"
                           "\n"
                           "  Information for the support team:\n"
                           "  ---------------------------------\n"
                           "\n"
                           "  Program:     UNKNOWN\n"
                           "  Subroutine:  matchVertices\n"
                           "\n"
                           "  Problem: An algorithm has failed.\n"
                           "\n"
                           "\n\nTolerance exceeded.\nSecond line.\n\n"
                           "\n";
  EXPECT_EQ(t[0], "\n" + body + "  CAD domain ID: 7 CAD edge  ID: 8\n\n");
  EXPECT_EQ(t[1], "FATAL_ERROR_START\n" + body +
                      "CAD_EDGE_DATA\n"
                      "  CAD domain ID: 7 CAD edge  ID: 8\n"
                      "CAD_EDGE_DATA\n"
                      "FATAL_ERROR_END\n");
  EXPECT_EQ(t[2], "\n" + kDashes + "\n"
                  "Internal Error: An algorithm has failed.\n" + kDashes + "\n"
                  "Program:     UNKNOWN\n"
                  "Subroutine:  matchVertices\n"
                  "Time:        @DATE@ @TIME@\n"
                  "Version:     @RELEASE@ [@STAMP@]\n"
                  "Host:        @HOST@\n"
                  "Directory:   @DIR@\n" + kDashes + "\n"
                  "\n"
                  "\n\nTolerance exceeded.\nSecond line.\n\n"
                  "\n"
                  "Associated 1D regions:\n"
                  "\n"
                  "  E8.7\n"
                  "\n" + kDashes + "\n"
                  "\n");
  EXPECT_EQ(t[3], "<ZYRERROR type=\"InternalError\" id=\"@ID@\">\n"
                  "<DESCRIPTION>\n"
                  "An algorithm has failed.\n"
                  "</DESCRIPTION>\n"
                  "<ERROR_CODE>ZYR_I_ALGORITHMIC_FAILURE</ERROR_CODE>\n"
                  "<DATE>@DATE@</DATE>\n"
                  "<TIME>@TIME@</TIME>\n"
                  "<MESSAGE><![CDATA[\n"
                  "Tolerance exceeded.\n"
                  "Second line.\n"
                  "]]></MESSAGE>\n"
                  "<LOCATION>\n"
                  "<TOPOLOGY>\n"
                  "<REGION dimensionality=\"1\" body=\"7\" object=\"8\"/>\n"
                  "</TOPOLOGY>\n"
                  "<MESH>\n"
                  "<TRIANGLE>\n"
                  "<POINT>0.000000e+00 0.000000e+00 0.000000e+00</POINT>\n"
                  "<POINT>1.000000e+00 0.000000e+00 0.000000e+00</POINT>\n"
                  "<POINT>0.000000e+00 1.000000e+00 0.000000e+00</POINT>\n"
                  "</TRIANGLE>\n"
                  "</MESH>\n"
                  "</LOCATION>\n"
                  "<SOURCE>\n"
                  "<FUNCTION>\nmatchVertices\n</FUNCTION>\n"
                  "<FILE>\nmesh/match.cpp\n</FILE>\n"
                  "<LINE_NUMBER>\n300\n</LINE_NUMBER>\n"
                  "</SOURCE>\n"
                  "</ZYRERROR>\n");
}

TEST_F(ErrorDisplayTest, RecordOfClassOKIsShownAsInformation) {
  zyrError *error = zyrError_new(ZYR_OK, "check", nullptr, 0);
  std::vector<std::string> t = publish(error);
  EXPECT_EQ(t[0], "\n"
                  "  Information:\n"
                  "  ------------\n"
                  "\n"
                  "  Program:     UNKNOWN\n"
                  "  Subroutine:  check\n"
                  "\n"
                  "  Problem: No error.\n"
                  "\n"
                  "\n");
  EXPECT_EQ(t[1].substr(0, 18), "WARNG_ERROR_START\n");
  EXPECT_EQ(t[1].substr(t[1].size() - 16), "WARNG_ERROR_END\n");
  EXPECT_NE(t[2].find("\nInformation: No error.\n"), std::string::npos);
  // No program, file or line: the source block holds the function alone.
  EXPECT_NE(t[3].find("<ZYRERROR type=\"Information\""), std::string::npos);
  EXPECT_NE(t[3].find("<SOURCE>\n<FUNCTION>\ncheck\n</FUNCTION>\n</SOURCE>\n"), std::string::npos);
}

TEST_F(ErrorDisplayTest, XmlEscapesMarkupInTextsAndSplitsCdataEnds) {
  zyrError *error = zyrError_new(ZYR_U_INVALID_INPUT, "less<int>", "a&b.cpp", 3);
  zyrError_addDescription(error, "Bad \"name\" <x> & 'y'");
  zyrError_addMessage(error, "keep <raw> & text ]]> here\n");
  std::string xml = publish(error)[3];
  EXPECT_NE(xml.find("<DESCRIPTION>\nBad &quot;name&quot; &lt;x&gt; &amp; &apos;y&apos;\n</DESCRIPTION>\n"),
            std::string::npos);
  EXPECT_NE(xml.find("<MESSAGE><![CDATA[\nkeep <raw> & text ]]]]><![CDATA[> here\n]]></MESSAGE>\n"),
            std::string::npos);
  EXPECT_NE(xml.find("<FUNCTION>\nless&lt;int&gt;\n</FUNCTION>\n<FILE>\na&amp;b.cpp\n</FILE>\n"), std::string::npos);
}

TEST_F(ErrorDisplayTest, NoLocationOrSourceWithoutRegionsElementsOrSource) {
  zyrError *error = zyrError_new(ZYR_W_INFORMATION, nullptr, nullptr, 0);
  zyrError_addMessage(error, "\n  \nJust this.\n \n");
  std::string xml = publish(error)[3];
  EXPECT_EQ(xml.find("<LOCATION>"), std::string::npos);
  EXPECT_EQ(xml.find("<SOURCE>"), std::string::npos);
  EXPECT_NE(xml.find("<MESSAGE><![CDATA[\nJust this.\n]]></MESSAGE>\n</ZYRERROR>\n"), std::string::npos);
}

TEST_F(ErrorDisplayTest, ElementsWithoutRegionsOpenTheLocationForTheMesh) {
  zyrError *error = zyrError_new(ZYR_U_INVALID_DATA, "f", nullptr, 0);
  const double c[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  zyrError_addElement(error, c, c, c, 0, 1);
  zyrError_addElement(error, c, c, c, 42, 2); // not an element type: no vertices
  std::string xml = publish(error)[3];
  EXPECT_NE(xml.find("<LOCATION>\n<MESH>\n<VERTEX>\n<POINT>1.000000e+00 1.000000e+00 1.000000e+00</POINT>\n"
                     "</VERTEX>\n<UNKNOWN>\n</UNKNOWN>\n</MESH>\n</LOCATION>\n"),
            std::string::npos);
  EXPECT_EQ(xml.find("<TOPOLOGY>"), std::string::npos);
}

TEST_F(ErrorDisplayTest, CallbackGetsOneCallPerShownRecordAndNothingWhenHidden) {
  zyrError_publish(zyrError_new(ZYR_W_INFORMATION, "a", nullptr, 0));
  zyrError_publish(zyrError_new(ZYR_U_INVALID_DATA, "b", nullptr, 0));
  EXPECT_EQ(g_calls[2], 2);
  ASSERT_EQ(zyrErrorManager_setErrorHandling(manager(), zyrWarning, 2), 1); // keep, do not show
  zyrError *hidden = zyrError_new(ZYR_W_INFORMATION, "c", nullptr, 0);
  zyrError_publish(hidden);
  EXPECT_EQ(g_calls[2], 2);
  EXPECT_EQ(zyrError_isDisplayed(hidden), 0);
  zyrError_display(hidden); // forced
  EXPECT_EQ(g_calls[2], 3);
  EXPECT_EQ(zyrError_isDisplayed(hidden), 1);
}

TEST_F(ErrorDisplayTest, VsnFormatIsAPlaceholder) {
  addCallback(4, collect<4>);
  zyrError_publish(zyrError_new(ZYR_W_INFORMATION, "a", nullptr, 0));
  ASSERT_EQ(g_texts[4].size(), 1u);
  EXPECT_EQ(g_texts[4][0], "VSN error display is not implemented yet.\n");
}

TEST_F(ErrorDisplayTest, DeletingADisplayClosesAFileStreamButNotStandardStreams) {
  zyrtest::ScratchDir dir;
  FILE *file = std::fopen(dir.file("errors.txt").c_str(), "w");
  ASSERT_NE(file, nullptr);
  const int fd = fileno(file);
  int32_t handle = -1;
  ASSERT_EQ(zyrErrorManager_addStreamDisplay(manager(), 2, file, &handle), 1);
  zyrError_publish(zyrError_new(ZYR_U_INVALID_DATA, "streamed", nullptr, 0));
  ASSERT_EQ(zyrErrorManager_removeDisplay(manager(), handle), 1);
  EXPECT_EQ(fcntl(fd, F_GETFD), -1); // closed with the display
  std::string text = zyrtest::readFile(dir.file("errors.txt"));
  EXPECT_NE(text.find("Error: Invalid data has been encountered.\n"), std::string::npos);
  EXPECT_NE(text.find("Subroutine:  streamed\n"), std::string::npos);

  ASSERT_EQ(zyrErrorManager_addStreamDisplay(manager(), 0, stderr, &handle), 1);
  ASSERT_EQ(zyrErrorManager_removeDisplay(manager(), handle), 1);
  EXPECT_NE(fcntl(fileno(stderr), F_GETFD), -1);
}

TEST_F(ErrorDisplayTest, StreamDisplayWithoutStreamWritesNothing) {
  ErrorDisplay *display = ErrorDisplay_newStream(2, nullptr);
  ASSERT_NE(display, nullptr);
  zyrError_publish(zyrError_new(ZYR_U_INVALID_DATA, "quiet", nullptr, 0));
  ErrorDisplay_delete(display);
  EXPECT_EQ(ErrorDisplay_new(5), nullptr);
  EXPECT_EQ(ErrorDisplay_new(-2), nullptr);
}

std::string g_conduitText;
int recordConduitText(Conduit *, const char *format, va_list arguments) {
  char buffer[512];
  vsnprintf(buffer, sizeof buffer, format, arguments);
  g_conduitText += buffer;
  return 1;
}

// A conduit display renders through the installed writer; none installed writes nothing.
TEST_F(ErrorDisplayTest, ConduitDisplayWritesThroughTheInstalledWriter) {
  g_conduitText.clear();
  const ErrorDisplayConduitWriter original = ErrorDisplay_setConduitWriter(recordConduitText);
  Conduit *conduit = reinterpret_cast<Conduit *>(&g_conduitText); // only handed to the writer
  ErrorDisplay *display = ErrorDisplay_newConduit(2, conduit);
  ASSERT_NE(display, nullptr);
  zyrError_publish(zyrError_new(ZYR_U_INVALID_DATA, "piped", nullptr, 0));
  EXPECT_NE(g_conduitText.find("Error: Invalid data has been encountered.\n"), std::string::npos) << g_conduitText;
  EXPECT_NE(g_conduitText.find("Subroutine:  piped\n"), std::string::npos) << g_conduitText;
  EXPECT_EQ(ErrorDisplay_setConduitWriter(nullptr), recordConduitText);
  g_conduitText.clear();
  zyrError_publish(zyrError_new(ZYR_U_INVALID_DATA, "silent", nullptr, 0));
  EXPECT_EQ(g_conduitText, "");
  ErrorDisplay_setConduitWriter(original);
  ErrorDisplay_delete(display);
}

const int kAssertionLine = __LINE__ + 1;
void failCheck(int value) { zyrAssert(value == 4); }

TEST(ErrorDisplayDeathTest, FailedAssertionWritesItsBlockToStandardErrorAndEndsTheProcess) {
  // The child re-runs this test from the start; it finds the file for its standard error stream
  // in the environment.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::unique_ptr<zyrtest::ScratchDir> dir;
  std::string path;
  if (const char *inherited = std::getenv("ZYRTEST_ASSERTION_OUTPUT")) {
    path = inherited;
  } else {
    dir = std::make_unique<zyrtest::ScratchDir>();
    path = dir->file("stderr.txt");
    setenv("ZYRTEST_ASSERTION_OUTPUT", path.c_str(), 1);
  }
  EXPECT_EXIT(
      {
        if (std::freopen(path.c_str(), "w", stderr) == nullptr)
          zyrtest::leaveChild(7);
        failCheck(3);
      },
      testing::ExitedWithCode(1), "");
  unsetenv("ZYRTEST_ASSERTION_OUTPUT");
  const std::string equals(72, '=');
  std::string expected = equals + "\n*************************** Assertion failure **************************\n" + equals +
                         "\n\n"
                         "\nAssertion:   value == 4\n"
                         "Function:    failCheck\n"
                         "File:        tests/zyr_foundation/ErrorDisplayTest.cpp\n"
                         "Line number: " +
                         std::to_string(kAssertionLine) + "\n\n\n" + "Build number: " +
                         zyrGetBuildInfo(zyrBuildStamp) + "\n" + equals + "\n";
  EXPECT_EQ(zyrtest::readFile(path), expected);
}

TEST(ErrorDisplayDeathTest, DieShowsTheRecordOnTheDisplaysAndExitsWithOne) {
  EXPECT_EXIT(
      {
        int32_t handle;
        zyrErrorManager_addStreamDisplay(zyrErrorManager_get(), 2, stderr, &handle);
        zyrError *error = zyrError_new(ZYR_U_FILE_DOES_NOT_EXIST, "dying", nullptr, 0);
        zyrError_die(error);
      },
      testing::ExitedWithCode(1), "Error: The requested file does not exist(.|\n)*Subroutine:  dying");
}

} // namespace
