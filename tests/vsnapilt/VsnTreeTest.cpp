#include "VsnTextSupport.h"
#include "vsnHandle.h"
#include "vsnMessage.h"
#include "vsnPath.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Change {
  std::string path;
  int code;
  std::string newValue;
  std::string oldValue;
  bool operator==(const Change& o) const {
    return path == o.path && code == o.code && newValue == o.newValue && oldValue == o.oldValue;
  }
};

std::ostream& operator<<(std::ostream& os, const Change& c) {
  return os << "(" << c.path << ", " << c.code << ", " << c.newValue << ", " << c.oldValue << ")";
}

const char* const N = "<absent>";

void record(const char* path, int code, const char* newValue, const char* oldValue, void* context) {
  static_cast<std::vector<Change>*>(context)->push_back(
      Change{path, code, newValue ? newValue : N, oldValue ? oldValue : N});
}

class VsnTree : public testing::Test {
 protected:
  void SetUp() override {
    h = createVSNHandle();
    ASSERT_EQ(addChangeHandlerH(h, record, &changes), nullptr);
  }
  void TearDown() override { destroyVSNHandle(h); }

  // What the parser does for an object line, a parameter line and END.
  void open(const char* type, const char* name, unsigned flags) {
    ASSERT_NE(vsnUpdateObject(h, getCurrentObjectH(h), type, name, nullptr, *name ? VSN_KIND_OBJECT : VSN_KIND_SINGLETON,
                              flags),
              nullptr);
  }
  void param(const char* name, const char* value, unsigned flags) {
    ASSERT_NE(vsnUpdateObject(h, getCurrentObjectH(h), nullptr, name, value, VSN_KIND_PARAM, flags), nullptr);
  }
  void end() { ASSERT_EQ(popPath(h), nullptr); }

  // The six-line example: FLOW: / Option = a / DOMAIN: d1 / Location = B1 / END / END.
  void loadExample(unsigned flags) {
    open("FLOW", "", flags);
    param("Option", "a", flags);
    open("DOMAIN", "d1", flags);
    param("Location", "B1", flags);
    end();
    end();
  }

  std::string value(const char* path) {
    vsnEntry* e = findEntryH(h, path);
    return e && e->m_value ? e->m_value : N;
  }

  vsnHandle* h = nullptr;
  std::vector<Change> changes;
};

TEST_F(VsnTree, CreateFindAndTypes) {
  EXPECT_EQ(findEntryH(h, "/"), nullptr);
  ASSERT_EQ(vsnCreateObject(h, "/FLOW", 0), nullptr);
  ASSERT_EQ(vsnCreateObject(h, "/FLOW/DOMAIN:rotor", 0), nullptr);
  ASSERT_EQ(vsnCreateParam(h, "/FLOW/DOMAIN:rotor/Location", "B1, B2"), nullptr);
  ASSERT_NE(h->m_root, nullptr);
  EXPECT_STREQ(h->m_root->m_label, "Object:/");

  vsnEntry* flow = findEntryH(h, "/FLOW");
  ASSERT_NE(flow, nullptr);
  EXPECT_EQ(flow->m_kind, VSN_KIND_SINGLETON);
  EXPECT_EQ(flow->m_name, nullptr);
  EXPECT_STREQ(flow->m_label, "Singleton:FLOW");
  vsnEntry* rotor = findEntryH(h, "/FLOW/DOMAIN:rotor");
  EXPECT_STREQ(rotor->m_label, "Object:DOMAIN");
  vsnEntry* location = findEntryH(h, "/FLOW/DOMAIN:rotor/Location");
  EXPECT_STREQ(location->m_type, "String");
  EXPECT_STREQ(location->m_label, "Param:String");
  EXPECT_STREQ(location->m_value, "B1, B2");
  EXPECT_EQ(rotor->m_firstChild, location);
  EXPECT_EQ(flow->m_childCount, 1);

  EXPECT_EQ(getEntryType(h, "/FLOW"), 1);
  EXPECT_EQ(getEntryType(h, "/FLOW/DOMAIN:rotor"), 2);
  EXPECT_EQ(getEntryType(h, "/FLOW/DOMAIN:rotor/Location"), 0);
  EXPECT_EQ(getEntryType(h, "/"), 2);
  EXPECT_EQ(getEntryType(h, "/FLOW/missing"), -1);
  EXPECT_EQ(vsnPathExists(h, "FLOW : FLOW / DOMAIN: rotor"), 1);
  EXPECT_EQ(vsnPathExists(h, "/FLOW/DOMAIN:stator"), 0);
  // The current path is back where it was.
  EXPECT_STREQ(getCurrentPathH(h), "/");
}

TEST_F(VsnTree, CreateRefusals) {
  EXPECT_STREQ(vsnCreateObject(h, "/FLOW:FLOW", 0), "vsnCreateObject: TYPE:TYPE form for singletons is not permitted");
  EXPECT_STREQ(vsnCreateObject(h, "/FLOW/DOMAIN:d", 0), "vsnCreateObject: parent object does not exist");
  EXPECT_STREQ(vsnCreateParam(h, "/FLOW/Option", "a"), "vsnCreateParam: parent object does not exist");
  EXPECT_STREQ(vsnCreateObject(h, "/9LIVES", 0),
               "invalid object type \"9LIVES\": leading character must be alphabetic or '_'");
  EXPECT_STREQ(vsnCreateObject(h, "/TYPE:bad=name", 0), "invalid object name \"bad=name\": contains invalid character '='");
  EXPECT_STREQ(vsnCreateObject(h, "/", 0), "invalid object type: must be non-empty.");
  EXPECT_STREQ(vsnCreateParam(h, "/", "v"), "invalid parameter name: must be non-empty.");
  EXPECT_STREQ(vsnCreateParam(h, "/Line", "a\nb"),
               "invalid parameter value \"a\nb\": control character number 10 is not allowed.");
  // "%" may lead a name; tabs may stand in a value; bytes above 127 are letters.
  EXPECT_EQ(vsnCreateParam(h, "/%percent", "a\tb"), nullptr);
  EXPECT_EQ(vsnCreateObject(h, "/W\xc3\xa4nde", 0), nullptr);
  EXPECT_EQ(getEntryType(h, "/W\xc3\xa4nde"), 1);
  // Nothing below a parameter.
  EXPECT_STREQ(vsnCreateObject(h, "/%percent/X", 0), "vsnCreateObject: parent object does not exist");
  EXPECT_STREQ(vsnCreateParam(h, "/%percent/x", "1"), "vsnCreateParam: parent object does not exist");
}

TEST_F(VsnTree, NamesAreStoredAsPathsSpellThem) {
  ASSERT_EQ(vsnCreateObject(h, "/DOMAIN :  rotor \t one ", 0), nullptr);
  vsnEntry* e = findEntryH(h, "/DOMAIN:rotor one");
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(e->m_name, "rotor one");
  ASSERT_EQ(vsnCreateParam(h, "/DOMAIN:rotor one/Boundary\t  Type", "Wall"), nullptr);
  EXPECT_EQ(value("/DOMAIN:rotor one/Boundary Type"), "Wall");
  EXPECT_EQ(deleteObjH(h, "/DOMAIN: rotor one"), nullptr);
  EXPECT_EQ(h->m_pathTable->m_numEntries, 1);
}

TEST_F(VsnTree, SingletonFromTypeColonType) {
  open("FLOW", "FLOW", 0);
  vsnEntry* flow = findEntryH(h, "/FLOW");
  ASSERT_NE(flow, nullptr);
  EXPECT_EQ(flow->m_kind, VSN_KIND_SINGLETON);
  EXPECT_EQ(getEntryType(h, "/FLOW"), 1);
  EXPECT_STREQ(getCurrentPathH(h), "/FLOW");
  end();
  open("FLOW", "", 0);  // the same singleton again
  EXPECT_EQ(h->m_root->m_childCount, 1);
  end();
}

TEST_F(VsnTree, ChangeNotificationsInOrder) {
  ASSERT_EQ(vsnCreateObject(h, "/FLOW", 0), nullptr);
  ASSERT_EQ(vsnCreateParam(h, "/FLOW/Option", "a"), nullptr);
  ASSERT_EQ(setStringValue(h, "/FLOW/Option", "a"), nullptr);   // equal: nothing
  ASSERT_EQ(vsnCreateParam(h, "/FLOW/Option", "a"), nullptr);   // equal: nothing
  ASSERT_EQ(setStringValue(h, "/FLOW/Option", "b"), nullptr);
  ASSERT_EQ(vsnCreateParam(h, "/FLOW/Option", "c"), nullptr);
  ASSERT_EQ(vsnCreateObject(h, "/FLOW/DOMAIN:d", 0), nullptr);
  ASSERT_EQ(vsnCreateParam(h, "/FLOW/DOMAIN:d/Location", "B1"), nullptr);
  ASSERT_EQ(deleteParamH(h, "/FLOW/Option"), nullptr);
  ASSERT_EQ(deleteObjH(h, "/FLOW"), nullptr);
  std::vector<Change> expected = {
      {"/FLOW", 1, N, N},
      {"/FLOW/Option", 0, "a", N},
      {"/FLOW/Option", 0, "b", "a"},
      {"/FLOW/Option", 0, "c", "b"},
      {"/FLOW/DOMAIN:d", 1, N, N},
      {"/FLOW/DOMAIN:d/Location", 0, "B1", N},
      {"/FLOW/Option", 0, N, "c"},
      {"/FLOW/DOMAIN:d/Location", 0, N, "B1"},
      {"/FLOW/DOMAIN:d", 2, N, N},
      {"/FLOW", 2, N, N},
  };
  EXPECT_EQ(changes, expected);
}

TEST_F(VsnTree, DeleteObjGoesDepthFirstInCreationOrder) {
  ASSERT_EQ(vsnCreateObject(h, "/A", 0), nullptr);
  ASSERT_EQ(vsnCreateObject(h, "/A/B:b1", 0), nullptr);
  ASSERT_EQ(vsnCreateParam(h, "/A/B:b1/p", "1"), nullptr);
  ASSERT_EQ(vsnCreateParam(h, "/A/q", "2"), nullptr);
  ASSERT_EQ(vsnCreateObject(h, "/A/C", 0), nullptr);
  ASSERT_EQ(vsnCreateObject(h, "/A/C/D", 0), nullptr);
  ASSERT_EQ(vsnCreateObject(h, "/Z", 0), nullptr);
  changes.clear();
  // A relative path stays relative for the children.
  ASSERT_EQ(pushPath(h, "/A"), nullptr);
  ASSERT_EQ(deleteObjH(h, "."), nullptr);
  ASSERT_EQ(popPath(h), nullptr);
  std::vector<std::string> order;
  for (const Change& c : changes) order.push_back(c.path);
  EXPECT_EQ(order, (std::vector<std::string>{"/A/B:b1/p", "/A/B:b1", "/A/q", "/A/C/D", "/A/C", "/A"}));
  EXPECT_EQ(vsnPathExists(h, "/Z"), 1);
  EXPECT_STREQ(deleteObjH(h, "/A"), "deleteObjH: unable to find parameter");
}

TEST_F(VsnTree, DeletingTheRootKeepsIt) {
  loadExample(0);
  ASSERT_EQ(deleteObjH(h, "/"), nullptr);
  EXPECT_EQ(vsnPathExists(h, "/"), 1);
  EXPECT_EQ(h->m_root->m_childCount, 0);
  EXPECT_EQ(h->m_root->m_firstChild, nullptr);
  EXPECT_EQ(h->m_pathTable->m_numEntries, 1);
  // And the tree grows again.
  ASSERT_EQ(vsnCreateObject(h, "/FLOW", 0), nullptr);
  EXPECT_EQ(h->m_root->m_firstChild, findEntryH(h, "/FLOW"));
}

TEST_F(VsnTree, DeepTreesDeleteWithoutRecursion) {
  std::string path;
  for (int i = 0; i < 1000; ++i) {
    path += "/D:n";
    ASSERT_EQ(vsnCreateObject(h, path.c_str(), 0), nullptr);
  }
  ASSERT_EQ(deleteObjH(h, "/D:n"), nullptr);
  EXPECT_EQ(h->m_pathTable->m_numEntries, 1);
}

TEST_F(VsnTree, RemoveRefusesObjectsWithChildren) {
  EXPECT_STREQ(vsnRemoveObjectH(h, "/x"), "vsnRemoveObjectH: no database");
  loadExample(0);
  EXPECT_STREQ(vsnRemoveObjectH(h, "/FLOW"), "vsnRemoveObjectH: removal of non-empty object, did you mean deleteObj?");
  EXPECT_NE(findEntryH(h, "/FLOW"), nullptr);
  EXPECT_EQ(findEntryH(h, "/FLOW")->m_childCount, 2);
  EXPECT_STREQ(vsnRemoveObjectH(h, "/FLOW/none"), "vsnRemoveObjectH: entry not found");
  EXPECT_STREQ(vsnRemoveObjectH(h, "/"), "vsnRemoveObjectH: removal of non-empty object, did you mean deleteObj?");
  // A childless object goes; the sibling chain closes over it.
  ASSERT_EQ(deleteParamH(h, "/FLOW/DOMAIN:d1/Location"), nullptr);
  ASSERT_EQ(vsnRemoveObjectH(h, "/FLOW/DOMAIN:d1"), nullptr);
  vsnEntry* flow = findEntryH(h, "/FLOW");
  EXPECT_EQ(flow->m_childCount, 1);
  EXPECT_EQ(flow->m_lastChild, findEntryH(h, "/FLOW/Option"));
  EXPECT_EQ(flow->m_lastChild->m_next, nullptr);
  EXPECT_STREQ(deleteParamH(h, "/FLOW/none"), "deleteParamH: unable to find parameter");
  // deleteParamH takes any childless entry.
  ASSERT_EQ(deleteParamH(h, "/FLOW/Option"), nullptr);
  ASSERT_EQ(deleteParamH(h, "/FLOW"), nullptr);
  EXPECT_STREQ(vsnRemoveObjectH(h, "/"), "vsnRemoveObjectH: parent has no child list");
}

TEST_F(VsnTree, SetStringValueRules) {
  loadExample(0);
  EXPECT_STREQ(setStringValue(h, "/FLOW/none", "x"), "setStringValue: requested object does not exist");
  EXPECT_STREQ(setStringValue(h, "/FLOW", "x"), "setStringValue: requested object is not a parameter");
  // A value that would break the written text is refused; the old value stays.
  EXPECT_STREQ(setStringValue(h, "/FLOW/Option", "a\nDOMAIN: injected"),
               "invalid parameter value \"a\nDOMAIN: injected\": control character number 10 is not allowed.");
  EXPECT_EQ(value("/FLOW/Option"), "a");
  // So is one that the reader would cut at a comment sign.
  for (const char* cut : {"Wall#1", "#1", "a #b"}) {
    EXPECT_EQ(setStringValue(h, "/FLOW/Option", cut),
              "invalid parameter value \"" + std::string(cut) + "\": '#' starts a comment, write it as \"\\#\".");
    EXPECT_EQ(vsnCreateParam(h, "/FLOW/Other", cut),
              "invalid parameter value \"" + std::string(cut) + "\": '#' starts a comment, write it as \"\\#\".");
  }
  EXPECT_EQ(value("/FLOW/Option"), "a");
  EXPECT_EQ(findEntryH(h, "/FLOW/Other"), nullptr);
  // Written with its backslash, it stays whole through writing and reading.
  ASSERT_EQ(setStringValue(h, "/FLOW/Option", "Wall\\#1"), nullptr);
  vsntest::Lines text = vsntest::written(h);
  vsnHandle* again = createVSNHandle();
  ASSERT_EQ(vsntest::load(again, text), nullptr);
  ASSERT_NE(findEntryH(again, "/FLOW/Option"), nullptr);
  EXPECT_STREQ(findEntryH(again, "/FLOW/Option")->m_value, "Wall\\#1");
  destroyVSNHandle(again);
  ASSERT_EQ(setStringValue(h, "FLOW/Option", "  spaced   value "), nullptr);
  EXPECT_EQ(value("/FLOW/Option"), "  spaced   value ");
}

TEST_F(VsnTree, ParameterAndSingletonOfOneNameDoNotMix) {
  ASSERT_EQ(vsnCreateParam(h, "/FLOW", "1"), nullptr);
  EXPECT_STREQ(vsnCreateObject(h, "/FLOW", 0), "vsnCreateObject: unable to create object");
  EXPECT_EQ(vsnUpdateObject(h, nullptr, "FLOW", "", nullptr, VSN_KIND_SINGLETON, 0), nullptr);
  EXPECT_STREQ(getCurrentPathH(h), "/");
  ASSERT_EQ(vsnCreateObject(h, "/MODEL", 0), nullptr);
  EXPECT_STREQ(vsnCreateParam(h, "/MODEL", "2"), "vsnCreateParam: unable to create param");
  EXPECT_EQ(value("/FLOW"), "1");
  EXPECT_EQ(findEntryH(h, "/MODEL")->m_value, nullptr);
}

TEST_F(VsnTree, UpdateRefusesNamesThatCouldNotBeFoundAgain) {
  EXPECT_EQ(vsnUpdateObject(h, nullptr, "A/B", "", nullptr, VSN_KIND_SINGLETON, 0), nullptr);
  EXPECT_EQ(vsnUpdateObject(h, nullptr, nullptr, "x:y", "1", VSN_KIND_PARAM, 0), nullptr);
  EXPECT_EQ(vsnUpdateObject(h, nullptr, nullptr, "..", "1", VSN_KIND_PARAM, 0), nullptr);
  EXPECT_EQ(vsnUpdateObject(h, nullptr, "", "", nullptr, VSN_KIND_OBJECT, 0), nullptr);
  EXPECT_EQ(vsnUpdateObject(h, nullptr, "T", "n", nullptr, 0, 0), nullptr);
  EXPECT_EQ(h->m_root->m_childCount, 0);
}

TEST_F(VsnTree, ValidityAfterAnOrdinaryLoad) {
  loadExample(0);
  for (const char* p : {"/", "/FLOW", "/FLOW/Option", "/FLOW/DOMAIN:d1", "/FLOW/DOMAIN:d1/Location"}) {
    EXPECT_EQ(getValid(h, p), 0) << p;
  }
  EXPECT_EQ(getValid(h, "/missing"), -1);
}

TEST_F(VsnTree, ValidityAfterALoadWhoseDigestMatched) {
  loadExample(VSN_FLAG_VALID | VSN_FLAG_CONTENTS_VALID);
  EXPECT_EQ(getValid(h, "/FLOW/Option"), 2);
  EXPECT_EQ(getValid(h, "/FLOW/DOMAIN:d1/Location"), 2);
  EXPECT_EQ(getValid(h, "/FLOW/DOMAIN:d1"), 2);  // only parameters below it
  EXPECT_EQ(getValid(h, "/FLOW"), 0);            // holds an object
  EXPECT_EQ(getValid(h, "/"), 0);
}

TEST_F(VsnTree, ValidityBitsAndTheInvalidationWalk) {
  loadExample(0);
  for (const char* p : {"/", "/FLOW", "/FLOW/Option", "/FLOW/DOMAIN:d1", "/FLOW/DOMAIN:d1/Location"}) {
    ASSERT_EQ(setValid(h, p, 1), nullptr);
    ASSERT_EQ(setValid(h, p, 2), nullptr);
    EXPECT_EQ(getValid(h, p), 3);
  }
  EXPECT_STREQ(setValid(h, "/none", 1), "setValid: path not found");
  // A changed parameter: it and its object lose "valid", everything above "contents valid".
  ASSERT_EQ(setStringValue(h, "/FLOW/DOMAIN:d1/Location", "B2"), nullptr);
  EXPECT_EQ(getValid(h, "/FLOW/DOMAIN:d1/Location"), 2);
  EXPECT_EQ(getValid(h, "/FLOW/DOMAIN:d1"), 2);
  EXPECT_EQ(getValid(h, "/FLOW"), 1);
  EXPECT_EQ(getValid(h, "/"), 1);
  EXPECT_EQ(getValid(h, "/FLOW/Option"), 3);
  // Without "valid" a change does not walk.
  ASSERT_EQ(setValid(h, "/FLOW", 2), nullptr);
  ASSERT_EQ(setStringValue(h, "/FLOW/DOMAIN:d1/Location", "B3"), nullptr);
  EXPECT_EQ(getValid(h, "/FLOW"), 3);
  // Mode 0 on an object: it loses "valid", those above "contents valid".
  ASSERT_EQ(setValid(h, "/FLOW/DOMAIN:d1", 0), nullptr);
  EXPECT_EQ(getValid(h, "/FLOW/DOMAIN:d1"), 2);
  EXPECT_EQ(getValid(h, "/FLOW"), 1);
}

TEST_F(VsnTree, LibraryBitFollowsTheLatestLoad) {
  open("LIBRARY", "", VSN_FLAG_LIBRARY);
  param("Entry", "1", VSN_FLAG_LIBRARY);
  end();
  EXPECT_EQ(isLibraryObject(h, "/LIBRARY"), 1);
  EXPECT_EQ(isLibraryObject(h, "/LIBRARY/Entry"), 1);
  EXPECT_EQ(isLibraryObject(h, "/none"), -1);
  open("LIBRARY", "", 0);
  end();
  EXPECT_EQ(isLibraryObject(h, "/LIBRARY"), 0);
  EXPECT_EQ(isLibraryObject(h, "/LIBRARY/Entry"), 0);
  // A created parameter keeps its flags; an existing one takes the new ones.
  vsnEntry* entry = findEntryH(h, "/LIBRARY/Entry");
  EXPECT_EQ(entry->m_flags & VSN_FLAG_LIBRARY, VSN_FLAG_LIBRARY);
  ASSERT_EQ(pushPath(h, "/LIBRARY"), nullptr);
  param("Entry", "1", 0);
  end();
  EXPECT_EQ(entry->m_flags & VSN_FLAG_LIBRARY, 0u);
  EXPECT_EQ(vsnCreateObject(h, "/FROMLIB", 1), nullptr);
  EXPECT_EQ(isLibraryObject(h, "/FROMLIB"), 1);
}

TEST_F(VsnTree, ReplaceTagPassesFromParentToChild) {
  open("FLOW", "", VSN_FLAG_REPLACE);
  param("Option", "a", 0);
  open("DOMAIN", "d", 0);
  end();
  end();
  EXPECT_TRUE(findEntryH(h, "/FLOW/Option")->m_flags & VSN_FLAG_REPLACE);
  EXPECT_TRUE(findEntryH(h, "/FLOW/DOMAIN:d")->m_flags & VSN_FLAG_REPLACE);
}

TEST_F(VsnTree, StateUserWordAndReset) {
  int state = -1;
  EXPECT_STREQ(getVSNStateH(h, nullptr), "getVSNStateH: Invalid arguments");
  ASSERT_EQ(getVSNStateH(h, &state), nullptr);
  EXPECT_EQ(state, 0);
  open("A", "", 0);
  open("B", "", 0);
  h->m_depth = 2;  // as the parser counts the objects it opened
  EXPECT_EQ(resetVSNStateH(h, 0), 0);
  EXPECT_EQ(h->m_depth, 0);
  EXPECT_STREQ(getCurrentPathH(h), "/");
  setVSNUserWordH(h, 42);
  EXPECT_EQ(getVSNUserWordH(h), 42);
  EXPECT_STREQ(getVSNStateH(nullptr, &state), VSN_NO_HANDLE_TEXT);
}

TEST(VsnHandleDebug, AnnouncesHandlesAndChanges) {
  EXPECT_EXIT(
      {
        setenv("WEZ_VSNAPI_DEBUG", "", 1);
        testing::internal::CaptureStdout();
        vsnHandle* h = createVSNHandle();
        vsnCreateObject(h, "/FLOW", 0);
        vsnCreateParam(h, "/FLOW/Option", "a");
        setStringValue(h, "/FLOW/Option", "b");
        deleteObjH(h, "/FLOW");
        setVSNErrorH(h, "bad %s", "thing");
        char address[32];
        snprintf(address, sizeof address, "%" PRIxPTR, reinterpret_cast<uintptr_t>(h));
        destroyVSNHandle(h);
        std::string a = address;
        std::string expected = a + ": *** created ***\n" + a + ": /FLOW: object created\n" + a +
                               ": /FLOW/Option: a <- (nul)\n" + a + ": /FLOW/Option: b <- a\n" + a +
                               ": /FLOW/Option: (nul) <- b\n" + a + ": /FLOW: object deleted\n" + a +
                               ": VSN ERROR: bad thing\n" + a + ": *** destroyed ***\n";
        std::string got = testing::internal::GetCapturedStdout();
        fprintf(stderr, "%s", got.c_str());
        exit(got == expected ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

} // namespace
