// The ZYRAPI methods that edit assemblies and regions: the default assembly name around
// transforms, the method texts of failures, the exception classes of priorities, the name a
// rename gives, and the removal of backup files.
#include "../zyr_api/EditingTestSupport.h"

#include "ClassesTestSupport.h"
#include "ZYRAPI.h"
#include "ZYRAffineTransform3D.h"
#include "zyrAPI.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

const int g_localUnits = setenv("ZYR_USE_LOCAL_UNITS", "1", 0);

using Names = std::vector<std::string>;

class EditingMethods : public zyrtest::QueueTest {
protected:
  void SetUp() override {
    QueueTest::SetUp();
    ASSERT_EQ(g_localUnits, 0);
    qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
    if (!api.isDBOpen()) {
      // With no database the model handle is -1, and every method fails on it.
      try {
        api.deleteAssembly("A");
        ADD_FAILURE() << "no exception";
      } catch (const qiv::zyrapi::zyr &e) {
        EXPECT_EQ(e.getMethod(), "deleteAssembly");
        EXPECT_EQ(e.getText(), "Unable to identify model with handle \"-1\".\n");
      }
    }
    api.openDB(m_scratch.file("edit.zyr"), false);
    ASSERT_EQ(zyrAPI_getModel(qiv::ZYRAPIInspector::model(), "test", &m_model), 1);
    editingtest::addBlock(m_model, "A", 0);
  }
  void TearDown() override {
    qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
    if (api.isDBOpen())
      api.removeCurZyr(m_scratch.file("edit.zyr"));
    QueueTest::TearDown();
  }
  std::string defaultAssemblyName() {
    char *value = nullptr;
    zyrStrategy_getStringParameter(qiv::ZYRAPIInspector::model(), "NameManager_defaultAssemblyName", &value);
    const std::string name = value != nullptr ? value : "<none>";
    zyrCString_free(value);
    return name;
  }
  void setDefaultAssemblyName(const char *name) {
    ASSERT_EQ(zyrStrategy_setStringParameter(qiv::ZYRAPIInspector::model(), "NameManager_defaultAssemblyName", name),
              1);
  }
  // The exception of E a call throws, checked for its class and method texts.
  template <class E, class Call> static E failure(const char *classText, const char *method, Call call) {
    try {
      call();
    } catch (const E &e) {
      EXPECT_EQ(e.getClass(), classText);
      EXPECT_EQ(e.getMethod(), method);
      return e;
    }
    ADD_FAILURE() << method << " did not throw";
    return E();
  }

  zyrtest::ScratchDir m_scratch{"zyreditmethods"};
  Model *m_model = nullptr;
};

qiv::ZYRAffineTransform3D shift(float dx) {
  qiv::ZYRAffineTransform3D t;
  t.translate(qiv::TripletBase<float>(dx, 0, 0), "m");
  return t;
}

} // namespace

TEST_F(EditingMethods, TransformNamesTheCopiesAndPutsTheDefaultAssemblyNameBack) {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  setDefaultAssemblyName("Part");
  Names names = {"stale"};
  api.transformAssembly("A", "Copy", false, 2, shift(3), false, names);
  EXPECT_EQ(names, (Names{"A", "Copy", "Copy 2"}));
  EXPECT_DOUBLE_EQ(editingtest::lowestX(m_model, "Copy 2"), 6.0);
  EXPECT_EQ(defaultAssemblyName(), "Part");
  // Moved once, no copies: the list is empty.
  api.transformAssembly("A", "", true, 0, shift(1), false, names);
  EXPECT_TRUE(names.empty());
  EXPECT_DOUBLE_EQ(editingtest::lowestX(m_model, "A"), 1.0);

  names = {"stale"};
  const qiv::zyrapi::zyr e = failure<qiv::zyrapi::zyr>("ZYRAPI", "transformAssembly", [&] {
    api.transformAssembly("Nowhere", "Other", false, 1, shift(1), false, names);
  });
  EXPECT_EQ(e.getText(), "\"Nowhere\" is not an assembly.\n");
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(defaultAssemblyName(), "Part");
  EXPECT_EQ(zyrtest::queuedCount(), 0);
}

TEST_F(EditingMethods, MergeFailsAsMergeAssemblyAndLeavesItsArgument) {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  Names names = {"A", "X"};
  const qiv::zyrapi::zyr e = failure<qiv::zyrapi::zyr>("ZYRAPI", "mergeAssembly", [&] { api.mergeAssemblies(names); });
  EXPECT_EQ(e.getText(), "\"X\" is not an assembly.\n");
  EXPECT_EQ(names, (Names{"A", "X"}));
  editingtest::addBlock(m_model, "F", 5); // far away: nothing to merge
  names = {"A", "F"};
  EXPECT_FALSE(api.mergeAssemblies(names));
  editingtest::addBlock(m_model, "B", 1);
  names = {"A", "B"};
  EXPECT_TRUE(api.mergeAssemblies(names));
}

TEST_F(EditingMethods, RenamesGiveTheActualNameAndFailuresKeepIt) {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  std::string actual = "keep";
  failure<qiv::zyrapi::zyr>("ZYRAPI", "renameRegion", [&] { api.renameRegion("Nowhere", "X", 0, actual); });
  EXPECT_EQ(actual, "keep");
  api.renameRegion("Avol", "Core", 0, actual);
  EXPECT_EQ(actual, "Core");
  api.renameRegion("Core", "Inside", 0);
  api.renameAssembly("A", "Block", 0);
  api.deleteAssembly("Block");
  EXPECT_EQ(Model_getNoOfAssemblies(m_model), 0);
  failure<qiv::zyrapi::zyr>("ZYRAPI", "renameAssembly", [&] { api.renameAssembly("Block", "A", 0); });
  failure<qiv::zyrapi::zyr>("ZYRAPI", "deleteAssembly", [&] { api.deleteAssembly("Block"); });
}

TEST_F(EditingMethods, PrioritiesFailAsRegionMapErrorsAndKeepWarningsQueued) {
  qiv::ZYRAPI &api = qiv::ZYRAPI::instance();
  zyrtest::queueError(3, "a warning\n");
  api.setPriority("Aleft", 4);
  int priority = -1;
  api.getPriority("Aleft", priority);
  EXPECT_EQ(priority, 4);
  EXPECT_EQ(zyrtest::queuedCount(), 1); // both keep the queue as it was
  const qiv::zyrapi::ratlas e =
      failure<qiv::zyrapi::ratlas>("ZYRAPI", "setPriority", [&] { api.setPriority("Nowhere", 1); });
  EXPECT_EQ(e.getText(), "a warning\n\n\n\"Nowhere\" is not a primitive region.\n");
  failure<qiv::zyrapi::ratlas>("ZYRAPI", "getPriority", [&] { api.getPriority("A", priority); });
  EXPECT_EQ(priority, 4);
}

TEST_F(EditingMethods, BackupFilesAreRemovedFromTheCurrentDirectoryOnlyAfterABackslash) {
  const std::string dir = m_scratch.file("work");
  ASSERT_EQ(system(("mkdir -p '" + dir + "/data'").c_str()), 0);
  zyrtest::WorkingDir here(dir);
  for (const char *name : {"pump.zyr.bak", "pump.wez.bak", "pump.zyr", "data/pump.zyr.bak"})
    zyrtest::writeFile(name, "x");
  qiv::ZYRAPI::instance().removeBakFiles("D:\\data\\pump");
  EXPECT_FALSE(zyrtest::fileExists("pump.zyr.bak"));
  EXPECT_FALSE(zyrtest::fileExists("pump.wez.bak"));
  EXPECT_TRUE(zyrtest::fileExists("pump.zyr"));
  EXPECT_TRUE(zyrtest::fileExists("data/pump.zyr.bak"));
  qiv::ZYRAPI::instance().removeBakFiles("data/pump"); // a forward slash is part of the name
  EXPECT_FALSE(zyrtest::fileExists("data/pump.zyr.bak"));
  EXPECT_EQ(zyrtest::queuedCount(), 0);
}
