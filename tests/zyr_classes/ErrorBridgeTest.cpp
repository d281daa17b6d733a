// The error bridge between the core's error queue and the host: exceptions carrying every queued
// message, bad names tolerated, warnings dropped or reported; the exception classes themselves.
#include "ClassesTestSupport.h"
#include "PGT.h"
#include "ZYRAPI.h"
#include "ZYRAPIBoundary.h"

#include <gtest/gtest.h>

namespace {

namespace boundary = qiv::zyrapi::boundary;
using zyrtest::queueError;
using zyrtest::queuedCodes;
using zyrtest::queuedCount;

class ErrorBridge : public zyrtest::QueueTest {};

TEST_F(ErrorBridge, FailureJoinsEveryQueuedMessageAndEmptiesTheQueue) {
  queueError(4, "A warning first.\n");
  queueError(10020, "The file named \"a\" does not exist.\n");
  queueError(10002, "Unable to identify model with handle \"-1\".\n");
  queueError(20003, "third");
  try {
    boundary::report(0, "openDB", false, false);
    FAIL() << "no exception";
  } catch (const qiv::zyrapi::zyr &e) {
    EXPECT_EQ(e.getName(), "zyrapi::zyr");
    EXPECT_EQ(e.getClass(), "ZYRAPI");
    EXPECT_EQ(e.getMethod(), "openDB");
    EXPECT_EQ(e.getType(), qiv::errorTypeError);
    // The code is the first error's, not the warning's before it.
    EXPECT_EQ(e.getCode(), 10020);
    EXPECT_EQ(e.getText(), "A warning first.\n\n\nThe file named \"a\" does not exist.\n\n\n"
                           "Unable to identify model with handle \"-1\".\n\n\nthird");
  }
  EXPECT_EQ(queuedCount(), 0);
  // Nothing leaks into the next failure.
  EXPECT_EQ(boundary::takeErrorText(), "Unable to retrieve error from ZYR");
}

TEST_F(ErrorBridge, BadLocationsOnlyAreTolerated) {
  EXPECT_TRUE(boundary::takeBadLocationErrors()); // an empty queue passes

  queueError(10039, "unknown");
  queueError(10002, "bad handle");
  EXPECT_FALSE(boundary::takeBadLocationErrors());
  EXPECT_EQ(queuedCodes(), (std::vector<int32_t>{10039, 10002})); // left for the exception

  zyrtest::ErrorCapture::clear();
  queueError(10040, "unresolved");
  EXPECT_NO_THROW(boundary::report(0, "getBoundingBox", false, true));
  EXPECT_EQ(queuedCount(), 0);

  queueError(10040, "unresolved");
  queueError(10002, "bad handle");
  EXPECT_THROW(boundary::report(0, "getBoundingBox", false, true), qiv::zyrapi::zyr);
  EXPECT_EQ(queuedCount(), 0);

  // Without toleration a bad name is a failure like any other.
  queueError(10039, "unknown");
  EXPECT_THROW(boundary::report(0, "getBoundingBox", false, false), qiv::zyrapi::zyr);
}

TEST_F(ErrorBridge, WarningsOfASuccessAreReportedOrDropped) {
  zyrtest::ReportedMessages reported;
  queueError(3, "Name changed.\n");
  boundary::report(1, "openDB", true, false);
  ASSERT_EQ(reported.messages().size(), 1u);
  const qiv::ErrorMsg &m = reported.messages()[0];
  EXPECT_EQ(m.getClass(), "ZYRAPI");
  EXPECT_EQ(m.getMethod(), "openDB");
  EXPECT_EQ(m.getMessage(), "Name changed.\n");
  EXPECT_EQ(static_cast<int>(m.getType()), 8);
  EXPECT_EQ(queuedCount(), 0);

  queueError(3, "dropped");
  boundary::report(1, "copyZYR", false, false);
  EXPECT_EQ(queuedCount(), 0);
  // Nothing queued: nothing reported.
  boundary::report(1, "openDB", true, false);
  EXPECT_EQ(reported.messages().size(), 1u);
}

TEST_F(ErrorBridge, MethodPatternThrowsTheGivenClass) {
  queueError(10030, "Name in use.\n");
  try {
    boundary::settle<qiv::zyrapi::ratlas>(0, "ZYRRegionMap", "removeCompositeName");
    FAIL() << "no exception";
  } catch (const qiv::zyrapi::error &e) {
    EXPECT_EQ(e.getName(), "zyrapi::ratlas");
    EXPECT_EQ(e.getClass(), "ZYRRegionMap");
    EXPECT_EQ(e.getMethod(), "removeCompositeName");
    EXPECT_EQ(e.getText(), "Name in use.\n");
  }
  // A status that is neither 0 nor 1 is a failure too.
  EXPECT_THROW(boundary::settle<qiv::zyrapi::zyr>(2, "ZYRAPI", "x"), qiv::zyrapi::zyr);
  EXPECT_NO_THROW(boundary::settle<qiv::zyrapi::zyr>(1, "ZYRAPI", "x"));
}

TEST(ExceptionClasses, OwnNamesHierarchyAndCopies) {
  const qiv::zyrapi::zyr z("ZYRAPI", "openDB", "m", qiv::errorTypeError);
  const qiv::zyrapi::ratlas r("ZYRRegionMap", "m", "m", qiv::errorTypeError);
  const qiv::zyrapi::affine3D a("ZYRAffineTransform3D", "invert", "m", qiv::errorTypeError);
  const qiv::zyrapi::memory mem("ZYRAPI", "m", "m", qiv::errorTypeError);
  const qiv::zyrapi::error base("ZYRAPI", "m", "m", qiv::errorTypeError);
  EXPECT_EQ(z.getName(), "zyrapi::zyr");
  EXPECT_EQ(r.getName(), "zyrapi::ratlas");
  EXPECT_EQ(a.getName(), "zyrapi::affine3D");
  EXPECT_EQ(mem.getName(), "zyrapi::memory");
  EXPECT_EQ(base.getName(), "zyrapi::error");
  EXPECT_EQ(a.errorMessage(), L"Error in ZYRAffineTransform3D::invert: m");

  try {
    throw qiv::zyrapi::affine3D(a);
  } catch (const qiv::zyrapi::zyr &) {
    FAIL() << "a sibling caught it";
  } catch (const qiv::Error &e) {
    EXPECT_EQ(e.getName(), "zyrapi::affine3D");
    EXPECT_EQ(e.getMethod(), "invert");
  }

  qiv::zyrapi::zyr assigned;
  EXPECT_EQ(assigned.getName(), "Error");
  assigned = z;
  EXPECT_EQ(assigned.getName(), "zyrapi::zyr");
  EXPECT_EQ(assigned.getMethod(), "openDB");
}

// Copies of every class keep the own name, texts and type; a default object is a plain Error; an
// assigned object owns its texts after the source is gone.
template <class E> void expectCopies(const std::string &ownName) {
  const E defaulted;
  EXPECT_EQ(defaulted.getName(), "Error");
  EXPECT_EQ(defaulted.getClass(), "");
  EXPECT_EQ(defaulted.getType(), qiv::errorTypeError);
  E assigned;
  {
    const E source("C", "M", std::string(64, 'x'), qiv::errorTypeWarning);
    const E copied(source);
    EXPECT_EQ(copied.getName(), ownName);
    EXPECT_EQ(copied.getText(), source.getText());
    EXPECT_EQ(copied.getType(), qiv::errorTypeWarning);
    assigned = source;
  }
  EXPECT_EQ(assigned.getName(), ownName);
  EXPECT_EQ(assigned.getClass(), "C");
  EXPECT_EQ(assigned.getMethod(), "M");
  EXPECT_EQ(assigned.getText(), std::string(64, 'x'));
  EXPECT_EQ(assigned.errorMessage().empty(), false);
  assigned = defaulted;
  EXPECT_EQ(assigned.getName(), "Error");
}

// A host's own class derived from the physics reader's error names itself through the protected
// constructor.
class HostPgtError : public qiv::pgt::error {
public:
  HostPgtError() : qiv::pgt::error("host::error", "PGT", "load", "text", qiv::errorTypeWarning) {}
};

TEST(ExceptionClasses, EveryClassCopiesAndAssigns) {
  const HostPgtError derived;
  EXPECT_EQ(derived.getName(), "host::error");
  EXPECT_EQ(derived.getClass(), "PGT");
  EXPECT_EQ(derived.getType(), qiv::errorTypeWarning);

  expectCopies<qiv::zyrapi::error>("zyrapi::error");
  expectCopies<qiv::zyrapi::zyr>("zyrapi::zyr");
  expectCopies<qiv::zyrapi::ratlas>("zyrapi::ratlas");
  expectCopies<qiv::zyrapi::affine3D>("zyrapi::affine3D");
  expectCopies<qiv::zyrapi::memory>("zyrapi::memory");
  expectCopies<qiv::pgt::error>("pgt::error");
}

TEST(ZYRAPIObject, OneObjectWithoutADatabase) {
  qiv::ZYRAPI &first = qiv::ZYRAPI::instance();
  EXPECT_EQ(&first, &qiv::ZYRAPI::instance());
  EXPECT_FALSE(first.isDBOpen());
  qiv::ZYRAPI::AxisInfo axis;
  EXPECT_EQ(axis.units, "m");
  EXPECT_EQ(axis.rootX + axis.rootY + axis.rootZ + axis.tipX + axis.tipY + axis.tipZ, 0.0);

  // A second object takes the handles by assignment; destroying it leaves the instance alone.
  EXPECT_EQ(qiv::ZYRAPIInspector::assignedCopy(), (std::vector<int>{-1, -1, 0}));
  EXPECT_FALSE(first.isDBOpen());
}

TEST(ZYRAPIObject, NestedRecordsCopyEveryField) {
  qiv::ZYRAPI::AxisInfo axis;
  axis.rootX = 1;
  axis.tipZ = -2;
  axis.units = "mm";
  const qiv::ZYRAPI::AxisInfo copied(axis);
  qiv::ZYRAPI::AxisInfo assignedTo;
  const qiv::ZYRAPI::AxisInfo &assigned = assignedTo;
  assignedTo = axis;
  axis.units = "in";
  for (const qiv::ZYRAPI::AxisInfo *a : {&copied, &assigned}) {
    EXPECT_EQ(a->rootX, 1);
    EXPECT_EQ(a->tipZ, -2);
    EXPECT_EQ(a->units, "mm");
  }

  qiv::ZYRAPI::PrimitiveDef def;
  EXPECT_EQ(def.type, 0);
  def.name = "picked";
  def.type = 1;
  def.entries = {"Avol:1", "Avol:2"};
  const qiv::ZYRAPI::PrimitiveDef copiedDef(def);
  qiv::ZYRAPI::PrimitiveDef assignedDefTo;
  const qiv::ZYRAPI::PrimitiveDef &assignedDef = assignedDefTo;
  assignedDefTo = def;
  def.entries.clear();
  for (const qiv::ZYRAPI::PrimitiveDef *d : {&copiedDef, &assignedDef}) {
    EXPECT_EQ(d->name, "picked");
    EXPECT_EQ(d->type, 1);
    EXPECT_EQ(d->entries, (std::vector<std::string>{"Avol:1", "Avol:2"}));
  }
}

TEST_F(ErrorBridge, TheObjectsOwnQueueQueries) {
  EXPECT_TRUE(qiv::ZYRAPIInspector::errorIsBadLocation());
  EXPECT_EQ(qiv::ZYRAPIInspector::errorDesc(), "Unable to retrieve error from ZYR");
  queueError(10039, "unknown");
  queueError(10002, "bad handle");
  EXPECT_FALSE(qiv::ZYRAPIInspector::errorIsBadLocation());
  EXPECT_EQ(queuedCodes(), (std::vector<int32_t>{10039, 10002}));
  EXPECT_EQ(qiv::ZYRAPIInspector::errorDesc(), "unknown\n\nbad handle");
  EXPECT_EQ(queuedCount(), 0);
  queueError(10040, "unresolved");
  EXPECT_TRUE(qiv::ZYRAPIInspector::errorIsBadLocation());
  EXPECT_EQ(queuedCount(), 0);
}

} // namespace
