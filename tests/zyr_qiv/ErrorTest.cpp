// The exception base: what it keeps, how its texts are formed, and that a hierarchy built on it
// the way the exported classes build theirs is caught as qiv::Error with every text intact.
#include "QIVError.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

// Shaped like the exported exception classes: a common base that passes its own name on, and
// leaves that name their own.
class LayerError : public qiv::Error {
public:
  LayerError() = default;
  LayerError(const std::string &cls, const std::string &method, const std::string &message,
             qiv::errorType type)
      : qiv::Error("layer::error", cls, method, message, type, 0) {}
  ~LayerError() override = default;

protected:
  LayerError(const std::string &name, const std::string &cls, const std::string &method,
             const std::string &message, qiv::errorType type)
      : qiv::Error(name, cls, method, message, type, 0) {}
};

class ModelError : public LayerError {
public:
  ModelError(const std::string &cls, const std::string &method, const std::string &message,
             qiv::errorType type)
      : LayerError("layer::model", cls, method, message, type) {}
};

TEST(QivError, DerivedExceptionCaughtAsBaseKeepsEverything) {
  try {
    throw ModelError("ZYRAPI", "openDB", "Could not find /tmp/x.zyr", qiv::errorTypeError);
  } catch (const qiv::Error &e) {
    EXPECT_EQ(e.getName(), "layer::model");
    EXPECT_EQ(e.getClass(), "ZYRAPI");
    EXPECT_EQ(e.getMethod(), "openDB");
    EXPECT_EQ(e.getText(), "Could not find /tmp/x.zyr");
    EXPECT_EQ(e.getMessage(), L"Could not find /tmp/x.zyr");
    EXPECT_EQ(e.getType(), qiv::errorTypeError);
    EXPECT_EQ(static_cast<int>(e.getType()), 4);
    EXPECT_EQ(e.getCode(), 0);
    EXPECT_EQ(e.errorMessage(), L"Error in ZYRAPI::openDB: Could not find /tmp/x.zyr");
    return;
  }
  FAIL() << "not caught as qiv::Error";
}

TEST(QivError, CaughtAtEachLevelOfTheHierarchy) {
  EXPECT_THROW(throw ModelError("C", "m", "x", qiv::errorTypeError), LayerError);
  EXPECT_THROW(throw LayerError("C", "m", "x", qiv::errorTypeError), qiv::Error);
  try {
    throw LayerError("C", "m", "x", qiv::errorTypeError);
  } catch (const ModelError &) {
    FAIL() << "a base caught as its derived class";
  } catch (const qiv::Error &e) {
    EXPECT_EQ(e.getName(), "layer::error");
  }
}

TEST(QivError, DefaultCopyAndAssignment) {
  const LayerError empty;
  EXPECT_EQ(empty.getName(), "Error");
  EXPECT_EQ(empty.getClass(), "");
  EXPECT_EQ(empty.getMethod(), "");
  EXPECT_EQ(empty.getMessage(), L"");
  EXPECT_EQ(empty.getType(), qiv::errorTypeError);
  EXPECT_EQ(empty.errorMessage(), L"Error: ");

  const ModelError original("ZYRAffineTransform3D", "invert", "singular", qiv::errorTypeError);
  const ModelError copy(original);
  EXPECT_EQ(copy.getName(), "layer::model");
  EXPECT_EQ(copy.errorMessage(), original.errorMessage());

  LayerError assigned;
  assigned = original;
  EXPECT_EQ(assigned.getName(), "layer::model");
  EXPECT_EQ(assigned.getClass(), "ZYRAffineTransform3D");
  EXPECT_EQ(assigned.getMethod(), "invert");
  EXPECT_EQ(assigned.getText(), "singular");
}

TEST(QivError, TextOfEveryPlaceAndType) {
  EXPECT_EQ(qiv::formatErrorText(qiv::errorTypeWarning, "ZYRAPI", "importmeshToModel", "w"),
            "Warning in ZYRAPI::importmeshToModel: w");
  EXPECT_EQ(qiv::formatErrorText(qiv::errorTypeError, "PGT", "", "m"), "Error in PGT: m");
  EXPECT_EQ(qiv::formatErrorText(qiv::errorTypeError, "", "loadVSN", "m"),
            "Error in loadVSN: m");
  EXPECT_EQ(qiv::formatErrorText(qiv::errorTypeInformation, "", "", ""), "Information: ");
  EXPECT_EQ(qiv::formatErrorText(qiv::errorTypeDebug, "a", "b", "c"), "Debug in a::b: c");
  EXPECT_STREQ(qiv::errorTypeName(static_cast<qiv::errorType>(3)), "Message");
  EXPECT_STREQ(qiv::errorTypeName(static_cast<qiv::errorType>(0)), "Message");
}

TEST(QivError, MessagesOfSeveralLinesWriteWhole) {
  const ModelError e("ZYRAPI", "deleteAssembly", "first\n\nsecond", qiv::errorTypeError);
  std::wostringstream out;
  e.write(out);
  EXPECT_EQ(out.str(), L"Error in ZYRAPI::deleteAssembly: first\n\nsecond\n");
}

TEST(QivError, WideTextsDecodeUtf8) {
  // Two-, three- and four-byte characters.
  EXPECT_EQ(qiv::toWide("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"),
            std::wstring(L"caf\u00E9 \u20AC ") + static_cast<wchar_t>(0x1F600));
  const ModelError e("C", "m", "\xC3\xA9t\xC3\xA9", qiv::errorTypeError);
  EXPECT_EQ(e.getMessage(), L"\u00E9t\u00E9");
}

TEST(QivError, BadUtf8BecomesReplacementCharacters) {
  const std::wstring r(1, static_cast<wchar_t>(0xFFFD));
  EXPECT_EQ(qiv::toWide("a\xFF" "b"), L"a" + r + L"b");            // never a lead byte
  EXPECT_EQ(qiv::toWide("\x80"), r);                                // stray continuation
  EXPECT_EQ(qiv::toWide("\xC0\xAF"), r + r);                        // overlong '/'
  EXPECT_EQ(qiv::toWide("\xE0\x80\xAF"), r + r + r);                // overlong, three bytes
  EXPECT_EQ(qiv::toWide("\xED\xA0\x80"), r + r + r);                // surrogate D800
  EXPECT_EQ(qiv::toWide("\xF4\x90\x80\x80"), r + r + r + r);        // above U+10FFFF
  EXPECT_EQ(qiv::toWide("x\xE2\x82"), L"x" + r + r);                // cut short at the end
  EXPECT_EQ(qiv::toWide("\xE2" "A"), r + L"A");                     // cut short by ASCII
  EXPECT_EQ(qiv::toWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
  EXPECT_EQ(qiv::toWide(""), L"");
}

} // namespace
