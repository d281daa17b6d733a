#include "ErrorTestSupport.h"
#include "zyrElementVertices.h"
#include "zyrErrorCode.h"
#include "zyrMemory.h"
#include "zyrTestErrors.h"

#include <set>
#include <string>

namespace {

using zyrtest::ErrorTest;

TEST(ErrorCode, TableHoldsSeventyDistinctRowsWithSymbolsAndTexts) {
  int32_t rows = 0;
  const zyrErrorCode *table = zyrErrorCode_getTable(&rows);
  ASSERT_EQ(rows, 70);
  std::set<int32_t> codes;
  for (int32_t i = 0; i < rows; ++i) {
    codes.insert(table[i].m_code);
    ASSERT_NE(table[i].m_symbol, nullptr);
    ASSERT_NE(table[i].m_text, nullptr);
    EXPECT_STREQ(zyrErrorCode_getName(table[i].m_code), table[i].m_symbol);
  }
  EXPECT_EQ(codes.size(), 70u);
  EXPECT_STREQ(zyrErrorCode_getName(ZYR_U_BAD_HANDLE), "ZYR_U_BAD_HANDLE");
  EXPECT_STREQ(zyrErrorCode_getDescription(ZYR_U_BAD_HANDLE),
               "Unable to resolve the supplied handle, it does not correspond to an open ZYR database.");
  EXPECT_STREQ(zyrErrorCode_getDescription(ZYR_I_UNRECOGNISED_ERROR_CODE),
               "An unrecognised error code has been generated.");
  EXPECT_STREQ(zyrErrorCode_getDescription(ZYR_R_RESOURCE_LEAK), "Unrequired resources were not returned to the system.");
  EXPECT_EQ(zyrErrorCode_getName(12345), nullptr);
  EXPECT_EQ(zyrErrorCode_getDescription(7), nullptr);
}

TEST(ErrorCode, ClassesFollowTheRanges) {
  EXPECT_EQ(zyrErrorCode_getClass(-5), zyrOK);
  EXPECT_EQ(zyrErrorCode_getClass(0), zyrOK);
  EXPECT_EQ(zyrErrorCode_getClass(1), zyrWarning);
  EXPECT_EQ(zyrErrorCode_getClass(10000), zyrWarning);
  EXPECT_EQ(zyrErrorCode_getClass(10001), zyrUserError);
  EXPECT_EQ(zyrErrorCode_getClass(20000), zyrUserError);
  EXPECT_EQ(zyrErrorCode_getClass(20001), zyrInternalError);
  EXPECT_EQ(zyrErrorCode_getClass(30000), zyrInternalError);
  EXPECT_EQ(zyrErrorCode_getClass(30001), zyrResourceError);
}

TEST(ElementVertices, CountsOfTheTableAndNoneOutsideIt) {
  const int32_t expected[] = {1, 2, 3, 4, 4, 5, 6, 8};
  for (int32_t type = 0; type < 8; ++type)
    EXPECT_EQ(ElementTopology_getNoOfVertices(type), expected[type]);
  EXPECT_EQ(ElementTopology_getNoOfVertices(-1), 0);
  EXPECT_EQ(ElementTopology_getNoOfVertices(8), 0);
}

using ErrorRecord = ErrorTest;

TEST_F(ErrorRecord, UnknownCodeBecomesFatalUnrecognisedCode) {
  zyrError *error = zyrError_new(12345, __func__, __FILE__, __LINE__);
  EXPECT_EQ(zyrError_getCode(error), ZYR_I_UNRECOGNISED_ERROR_CODE);
  EXPECT_EQ(zyrError_getClass(error), zyrInternalError);
  EXPECT_EQ(zyrError_isFatal(error), 1);
  EXPECT_EQ(zyrError_isError(error), 1);
  zyrError_setCode(error, ZYR_W_INFORMATION);
  EXPECT_EQ(zyrError_isWarning(error), 1);
  zyrError_setCode(error, 99);
  EXPECT_EQ(zyrError_getCode(error), ZYR_I_UNRECOGNISED_ERROR_CODE);
}

TEST_F(ErrorRecord, CreationFillsSourceDateTimeAndIdentitiesRunOn) {
  zyrError *first = zyrError_new(ZYR_U_INVALID_INPUT, "opener", "src/a.cpp", 12);
  EXPECT_STREQ(zyrError_getFunction(first), "opener");
  EXPECT_STREQ(zyrError_getFile(first), "src/a.cpp");
  EXPECT_EQ(zyrError_getLine(first), 12);
  EXPECT_EQ(zyrError_getProgram(first), nullptr);
  EXPECT_NE(zyrError_getDate(first), nullptr);
  EXPECT_NE(zyrError_getTime(first), nullptr);
  EXPECT_EQ(zyrError_isFatal(first), 0);
  EXPECT_EQ(zyrError_isDisplayed(first), 0);
  EXPECT_EQ(zyrError_getLast(), first);
  const int32_t id = zyrError_getIdentity(first);
  zyrError_delete(first);
  zyrError *second = zyrError_new(ZYR_U_INVALID_INPUT, "opener", "src/a.cpp", 13);
  EXPECT_EQ(zyrError_getIdentity(second), id + 1); // never reused
  EXPECT_EQ(zyrError_getLast(), second);
  zyrError_delete(second);
  EXPECT_EQ(zyrError_getLast(), nullptr);
}

TEST_F(ErrorRecord, MessagePiecesJoinWithNothingBetween) {
  zyrError *error = zyrError_new(ZYR_U_INVALID_INPUT, __func__, __FILE__, __LINE__);
  EXPECT_EQ(zyrError_getMessage(error), nullptr);
  zyrError_addMessage(error, "first\n");
  zyrError_addMessage(error, "%s %d\n", "second", 2);
  EXPECT_STREQ(zyrError_getMessage(error), "first\nsecond 2\n");
}

// The one-step raise records the place it is written at and the function it names, formats a
// message longer than any fixed buffer whole, and publishes the record.
TEST_F(ErrorRecord, RaiseRecordsTheCallersPlaceAndTheWholeMessage) {
  zyrtest::ErrorCapture errors;
  const int32_t line = __LINE__ + 1;
  ZYR_ERROR(ZYR_U_INVALID_INPUT, "Value %d of \"%s\" is %.2f.\n", 7, "name", 0.5);
  zyrError *error = zyrError_getLast();
  ASSERT_NE(error, nullptr);
  EXPECT_STREQ(zyrError_getFunction(error), "TestBody");
  EXPECT_STREQ(zyrError_getFile(error), __FILE__);
  EXPECT_EQ(zyrError_getLine(error), line);
  EXPECT_EQ(zyrError_isFatal(error), 0);

  const std::string longText(70000, 'x');
  const int32_t stepLine = __LINE__ + 1;
  ZYR_ERROR_FOR(ZYR_I_INTERNAL_ERROR, "Model_glueRegions", "%s|%s\n", longText.c_str(), "end");
  error = zyrError_getLast();
  ASSERT_NE(error, nullptr);
  EXPECT_STREQ(zyrError_getFunction(error), "Model_glueRegions");
  EXPECT_EQ(zyrError_getLine(error), stepLine);
  EXPECT_EQ(zyrError_isFatal(error), 1);
  EXPECT_EQ(errors.published(),
            (std::vector<zyrtest::RaisedError>{{ZYR_U_INVALID_INPUT, "Value 7 of \"name\" is 0.50.\n"},
                                               {ZYR_I_INTERNAL_ERROR, longText + "|end\n"}}));
}

TEST_F(ErrorRecord, DescriptionFunctionProgramAndContextReplaceTheirTexts) {
  zyrError *error = zyrError_new(ZYR_U_INVALID_INPUT, "f", "x.cpp", 1);
  EXPECT_STREQ(zyrError_getDescription(error), "Invalid input has been encountered.");
  zyrError_addDescription(error, "Something else.");
  zyrError_addDescription(error, nullptr);
  EXPECT_STREQ(zyrError_getDescription(error), "Something else.");
  zyrError_setFunction(error, "g");
  zyrError_setFunction(error, nullptr);
  zyrError_setProgram(error, "prog");
  zyrError_setContext(error, "While testing.");
  EXPECT_STREQ(zyrError_getFunction(error), "g");
  EXPECT_STREQ(zyrError_getProgram(error), "prog");
  EXPECT_STREQ(zyrError_getContext(error), "While testing.");
  zyrError_markFatal(error);
  EXPECT_EQ(zyrError_isFatal(error), 1);
}

TEST_F(ErrorRecord, RegionsComeBackInTheOrderAdded) {
  zyrError *error = zyrError_new(ZYR_U_INVALID_TOPOLOGY, __func__, __FILE__, __LINE__);
  zyrError_addRegion(error, 2, 1, 2);
  zyrError_addRegion(error, 2, 3, 4);
  zyrError_addRegion(error, 4, 9, 9);
  zyrError_addRegion(error, -1, 9, 9);
  int32_t *pairs = nullptr;
  ASSERT_EQ(zyrError_getRegions(error, 2, &pairs), 2);
  EXPECT_EQ(std::vector<int32_t>(pairs, pairs + 4), (std::vector<int32_t>{1, 2, 3, 4}));
  zyrMemory_free(pairs, "test");

  int32_t sentinel[1] = {0};
  pairs = sentinel;
  EXPECT_EQ(zyrError_getRegions(error, 4, &pairs), 0);
  EXPECT_EQ(pairs, sentinel); // untouched
  EXPECT_EQ(zyrError_getRegions(error, 1, &pairs), 0);
  EXPECT_EQ(pairs, nullptr);
}

TEST_F(ErrorRecord, ElementsArePackedInOrderAndUnknownTypesCarryNoVertices) {
  zyrError *error = zyrError_new(ZYR_U_INVALID_DATA, __func__, __FILE__, __LINE__);
  double *x, *y, *z;
  int32_t *types, *ids;
  EXPECT_EQ(zyrError_getElements(error, &x, &y, &z, &types, &ids), 0);
  EXPECT_EQ(x, nullptr);
  EXPECT_EQ(ids, nullptr);

  const double bx[] = {1, 2}, by[] = {3, 4}, bz[] = {5, 6};
  const double tx[] = {7, 8, 9}, ty[] = {10, 11, 12}, tz[] = {13, 14, 15};
  zyrError_addElement(error, bx, by, bz, 1, 100);
  zyrError_addElement(error, bx, by, bz, 77, 101); // reads nothing from the arrays
  zyrError_addElement(error, tx, ty, tz, 2, 102);
  ASSERT_EQ(zyrError_getElements(error, &x, &y, &z, &types, &ids), 3);
  EXPECT_EQ(std::vector<int32_t>(types, types + 3), (std::vector<int32_t>{1, 77, 2}));
  EXPECT_EQ(std::vector<int32_t>(ids, ids + 3), (std::vector<int32_t>{100, 101, 102}));
  EXPECT_EQ(std::vector<double>(x, x + 5), (std::vector<double>{1, 2, 7, 8, 9}));
  EXPECT_EQ(std::vector<double>(y, y + 5), (std::vector<double>{3, 4, 10, 11, 12}));
  EXPECT_EQ(std::vector<double>(z, z + 5), (std::vector<double>{5, 6, 13, 14, 15}));
  for (void *p : {static_cast<void *>(x), static_cast<void *>(y), static_cast<void *>(z), static_cast<void *>(types),
                  static_cast<void *>(ids)})
    zyrMemory_free(p, "test");
}

TEST_F(ErrorRecord, PrintFramesTheTableText) {
  zyrError *error = zyrError_new(ZYR_U_BAD_HANDLE, __func__, __FILE__, __LINE__);
  zyrError_addDescription(error, "not this");
  char *text = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&text, &size);
  zyrError_print(error, stream);
  std::fclose(stream);
  const std::string rule = " " + std::string(56, '=') + "\n";
  EXPECT_EQ(std::string(text, size), "\n\n" + rule + " ZYR error:\n" + rule +
                                         "Unable to resolve the supplied handle, it does not correspond to an open "
                                         "ZYR database.\n" +
                                         rule + "\n\n");
  std::free(text);
}

} // namespace
