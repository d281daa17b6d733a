#include "VsnTextSupport.h"
#include "zyrTestSupport.h"

#include "vsnArray.h"
#include "vsnDefaultHandle.h"
#include "vsnListing.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

using vsntest::Lines;

namespace {

class VsnLoader : public testing::Test {
 protected:
  void SetUp() override {
    h = createVSNHandle();
  }
  void TearDown() override {
    destroyVSNHandle(h);
  }

  std::string write(const std::string& name, const std::string& bytes) {
    std::string path = dir + "/" + name;
    FILE* f = fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    if (f) {
      fwrite(bytes.data(), 1, bytes.size(), f);
      fclose(f);
    }
    return path;
  }
  Lines fileLines(const std::string& path) {
    vsnArray* lines = nullptr;
    const char* err = loadFileData(h, path.c_str(), &lines);
    if (err) return {std::string("ERROR: ") + err};
    Lines out;
    for (int i = 0; i < vsnArrayCount(lines); ++i) out.push_back(vsnArrayStrings(lines)[i]);
    vsnArrayFree(lines);
    return out;
  }
  std::string value(const char* path) {
    char* v = nullptr;
    const char* err = getStringValue(h, path, &v);
    if (err) return std::string("ERROR: ") + err;
    std::string s = v ? v : "(nul)";
    freeVSNString(v);
    return s;
  }

  zyrtest::ScratchDir scratch{"zyr_vsn"};
  std::string dir = scratch.path();
  vsnHandle* h = nullptr;
};

TEST_F(VsnLoader, FileLines) {
  EXPECT_EQ(fileLines(write("crlf", "a\r\nb\n\nlast")), (Lines{"a\r", "b", "", "last"}));
  EXPECT_EQ(fileLines(write("empty", "")), Lines{});
  EXPECT_EQ(fileLines(write("one", "\n")), (Lines{""}));
  // Lines far longer than any read block, across block boundaries.
  std::string longValue(300000, 'v');
  Lines got = fileLines(write("long", "x = " + longValue + "\nshort\n" + std::string(70000, 'w')));
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0], "x = " + longValue);
  EXPECT_EQ(got[1], "short");
  EXPECT_EQ(got[2].size(), 70000u);

  std::string missing = dir + "/missing";
  EXPECT_EQ(fileLines(missing), (Lines{"ERROR: loadFileData: " + missing + ": open failed"}));
  EXPECT_EQ(fileLines(dir), (Lines{"ERROR: loadFileData: " + dir + ": fgets failed"}));
}

TEST_F(VsnLoader, LoadVSNFile) {
  std::string longValue(100000, 'q');
  std::string path = write("physics.vsn", "FLOW:\r\n  Option = a \\\r\n  b\r\n  Long = " + longValue +
                                              "\r\nEND\r\nlast = no line feed");
  unsigned char digest[16];
  ASSERT_EQ(loadVSNFile(h, path.c_str(), "vsn", nullptr, digest), nullptr);
  EXPECT_EQ(value("/FLOW/Option"), "a b");
  EXPECT_EQ(value("/FLOW/Long"), longValue);
  EXPECT_EQ(value("/last"), "no line feed");

  // The carriage returns are part of the digest: the same lines without them differ.
  vsnHandle* other = createVSNHandle();
  unsigned char plain[16];
  ASSERT_EQ(vsntest::load(other, {"FLOW:", "  Option = a \\", "  b", "  Long = " + longValue, "END",
                                  "last = no line feed"},
                          nullptr, plain),
            nullptr);
  EXPECT_NE(memcmp(digest, plain, 16), 0);
  destroyVSNHandle(other);

  ASSERT_EQ(loadVSNFile(h, path.c_str(), "vsn", digest, nullptr), nullptr);
  EXPECT_EQ(getValid(h, "/FLOW/Option"), 2);

  EXPECT_STREQ(loadVSNFileH(h, nullptr, "vsn"), "loadVSNFile: Invalid file or file type");
  EXPECT_STREQ(loadVSNFileH(h, path.c_str(), nullptr), "loadVSNFile: Invalid file or file type");
  EXPECT_STREQ(loadVSNFileH(h, path.c_str(), "txt"), "loadVSNFile: fileType is invalid - it should be vsn");
  std::string missing = dir + "/none.vsn";
  EXPECT_EQ(std::string(loadVSNFileH(h, missing.c_str(), "vsn")), "loadFileData: " + missing + ": open failed");
  EXPECT_EQ(std::string(loadVSNFileH(h, write("bad.vsn", "A:\nx = 1\n").c_str(), "vsn")),
            "1 missing END statement(s) in input");
  EXPECT_STREQ(loadVSNFileH(h, write("empty.vsn", "").c_str(), "vsn"), nullptr);
}

TEST_F(VsnLoader, CallerLines) {
  const char* lines[] = {"A:", "x = 1", "END"};
  EXPECT_STREQ(loadVSNDataH(h, nullptr, 2), "loadVSNData: Invalid arguments");
  EXPECT_STREQ(loadVSNDataH(h, lines, -1), "loadVSNData: Invalid arguments");
  const char* withHole[] = {"A:", nullptr};
  EXPECT_STREQ(loadVSNDataH(h, withHole, 2), "loadVSNData: Invalid arguments");
  EXPECT_STREQ(loadLibraryDataH(h, nullptr, 1), "loadLibraryData: Invalid arguments");
  EXPECT_STREQ(loadVSNDataH(h, lines, 0), nullptr);
  ASSERT_STREQ(loadVSNDataH(h, lines, 3), nullptr);
  EXPECT_EQ(isLibraryObject(h, "/A"), 0);
  unsigned char digest[16];
  ASSERT_STREQ(loadLibraryData(h, lines, 3, nullptr, digest), nullptr);
  EXPECT_EQ(isLibraryObject(h, "/A/x"), 1);
  ASSERT_STREQ(loadLibraryData(h, lines, 3, digest, nullptr), nullptr);
  EXPECT_EQ(getValid(h, "/A/x"), 2);
}

TEST_F(VsnLoader, NamedLibraries) {
  write("one.vsn", "LIB: one\nx = 1\nEND\n");
  write("two.vsn", "LIB: two\nEND\nshared = from two\n");
  std::string absolute = write("abs.vsn", "ABS:\nEND\n");
  ASSERT_EQ(vsntest::load(h, {"FLOW:", "END"}), nullptr);
  ASSERT_EQ(readNamedLibraries(h, ("one.vsn;;:two.vsn;" + absolute + ";").c_str(), dir.c_str()), nullptr);
  EXPECT_EQ(isLibraryObject(h, "/LIB:one"), 1);
  EXPECT_EQ(isLibraryObject(h, "/LIB:two"), 1);
  EXPECT_EQ(isLibraryObject(h, "/ABS"), 1);
  EXPECT_EQ(value("/shared"), "from two");

  // Left out of the text and the searches unless asked for.
  EXPECT_EQ(vsntest::written(h), (Lines{"FLOW:", "END", "shared = from two"}));
  EXPECT_EQ(vsntest::written(h, "/", 1), (Lines{"FLOW:", "END", "LIB: one", "  x = 1", "END", "LIB: two", "END",
                                               "shared = from two", "ABS:", "END"}));
  char** paths = nullptr;
  ASSERT_EQ(getObjectsByTypeH(h, "LIB", &paths), nullptr);
  ASSERT_NE(paths, nullptr);
  EXPECT_EQ(paths[0], nullptr);
  freeStringArray(paths);

  // The first failure stops the reading; what was read stays.
  write("three.vsn", "THREE:\nEND\n");
  std::string missing = dir + "/missing.vsn";
  EXPECT_EQ(std::string(readNamedLibraries(h, "three.vsn;missing.vsn;one.vsn", dir.c_str())),
            "Error reading library file " + missing + ": loadFileData: " + missing + ": open failed");
  EXPECT_EQ(isLibraryObject(h, "/THREE"), 1);
  std::string bad = write("bad.vsn", "BAD:\n");
  EXPECT_EQ(std::string(readNamedLibraries(h, "bad.vsn", (dir + "/").c_str())),
            "Error reading library file " + dir + "//bad.vsn: 1 missing END statement(s) in input");

  EXPECT_STREQ(readNamedLibraries(h, "one.vsn", (dir + "/nowhere").c_str()),
               "readNamedLibraries: unable to find a valid lib directory\n");
  EXPECT_STREQ(loadLibraryFile(h, "", nullptr, nullptr), "loadLibraryFile: Invalid filename");
  EXPECT_STREQ(readRules(1, "x"), "Error: readRules superceded by readLibraries in the VSN API.\nNo action performed.\n");
}

// The environment is the process's: these run in a child.
TEST_F(VsnLoader, LibrariesFromTheEnvironment) {
  write("env.vsn", "ENV:\nEND\n");
  EXPECT_EXIT(
      {
        unsetenv("WEZ5_VSN_LIBS");
        unsetenv("WEZ5_VSN_LIBSDIR");
        const char* err = readLibrariesH(h);
        if (!err || strcmp(err, "Error: No library files specified by $WEZ5_VSN_LIBS. No libraries were read.\n")) {
          zyrtest::leaveChild(1);
        }
        // Without a directory of their own the libraries come from the working directory.
        setenv("WEZ5_VSN_LIBS", "env.vsn", 1);
        if (chdir(dir.c_str()) != 0 || readLibrariesH(h) || isLibraryObject(h, "/ENV") != 1) zyrtest::leaveChild(2);
        if (chdir("/") != 0 || !readLibrariesH(h)) zyrtest::leaveChild(3);
        setenv("WEZ5_VSN_LIBSDIR", dir.c_str(), 1);
        if (readLibraries() || defaultIsLibraryObject("/ENV") != 1) zyrtest::leaveChild(4);
        // An empty directory argument falls back on the variable.
        if (readNamedLibraries(h, "env.vsn", "")) zyrtest::leaveChild(5);
        setenv("WEZ5_VSN_LIBSDIR", "/no/such/dir", 1);
        const char* noDir = readNamedLibraries(h, "env.vsn", "");
        if (!noDir || strcmp(noDir, "readNamedLibraries: unable to find a valid lib directory\n")) zyrtest::leaveChild(6);
        zyrtest::leaveChild(0);
      },
      testing::ExitedWithCode(0), "");
}

TEST_F(VsnLoader, DefaultHandleForms) {
  std::string path = write("d.vsn", "D:\nEND\n");
  ASSERT_EQ(defaultLoadVSNFile(path.c_str(), "vsn"), nullptr);
  const char* lines[] = {"L:", "END"};
  ASSERT_EQ(defaultLoadLibraryData(lines, 2), nullptr);
  ASSERT_EQ(defaultReadNamedLibraries("d.vsn", dir.c_str()), nullptr);
  ASSERT_EQ(defaultParseVSNLine("P:", 1), nullptr);
  ASSERT_EQ(defaultParseVSNLine("END", 1), nullptr);
  EXPECT_EQ(defaultIsLibraryObject("/P"), 1);
  EXPECT_EQ(defaultIsLibraryObject("/L"), 1);
  EXPECT_EQ(defaultIsLibraryObject("/D"), 1);  // read again as a library
  char** out = nullptr;
  ASSERT_EQ(defaultGetExpandedVSN("/", &out, 1), nullptr);
  Lines got;
  for (char** p = out; p && *p; ++p) got.push_back(*p);
  freeStringArray(out);
  EXPECT_EQ(got, (Lines{"D:", "END", "L:", "END", "P:", "END"}));
  destroyDefaultVSNHandle();
  EXPECT_STREQ(defaultGetAllVSN(&out), VSN_NO_DEFAULT_HANDLE_TEXT);
}

} // namespace
