// The request interface: the order of iocntc's checks, opening and closing the three files, the
// write format, whole data sets and data sets written piece by piece, the plain text file, and
// the current file kept across the requests on the primary.
#include "dataset_test_util.h"
#include "io_file.h"
#include "io_header.h"
#include "io_state.h"
#include "iocnt.h"
#include "iodata.h"
#include "request_test_util.h"
#include "wezio_test_util.h"
#include "zyrFault.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

using namespace wezio_test;

namespace {

class RequestTest : public testing::Test {
protected:
  void SetUp() override {
    messages().clear();
    unsetenv("WEZ_FORMAT");
    m_name = m_dir.file("data.wez");
  }
  void TearDown() override { unsetenv("WEZ_FORMAT"); }

  // Opens the primary file and writes one INTR data set; its position.
  int64_t writeIntr(Requester &r, const std::string &what, const std::vector<int32_t> &values,
                    int32_t when = 0) {
    IO_file *file = r.current();
    int64_t position = file ? file->m_indexlocation : -1;
    r.key(what, "EVERY", when);
    r.type("INTR", static_cast<int32_t>(values.size()));
    r.clear();
    r.intr(values);
    EXPECT_EQ(r.send(IO_WRITE_DATASET), IO_OK) << allMessages();
    return position;
  }

  ScratchDir m_dir;
  std::string m_name;
};

// ---------------------------------------------------------------------------------------------
// The checks of iocntc, in their order

TEST_F(RequestTest, TheChecksComeInTheirOrderAndEachNamesWhatIsWrong) {
  Requester r;
  // No callback: 19 before anything else, and nothing said.
  EXPECT_EQ(iocntc(IO_OPEN_PRIMARY, nullptr, nullptr, nullptr, r.m_state), IO_NO_CALLBACK);
  EXPECT_TRUE(messages().empty());

  EXPECT_EQ(iocntc(IO_GET_ENTRY_COUNT, captureMessage, nullptr, nullptr, r.m_state),
            IO_MEMORY_ERR);
  EXPECT_EQ(allMessages(), "iocntc: IO_data structure is null\n");

  // Request 15 needs no header; 47 does.
  messages().clear();
  ASSERT_EQ(r.open(IO_OPEN_PRIMARY, m_name), IO_OK);
  r.clear();
  r.intr({-1});
  EXPECT_EQ(iocntc(IO_GET_ENTRY_COUNT, captureMessage, nullptr, r.m_data, r.m_state), IO_OK);
  EXPECT_EQ(r.intrValues(), std::vector<int32_t>{0});
  EXPECT_EQ(iocntc(IO_GET_CURRENT_FILE, captureMessage, nullptr, r.m_data, r.m_state),
            IO_MEMORY_ERR);
  EXPECT_EQ(allMessages(), "iocntc: IO_header structure is null\n");

  // Header references: attributes only needed when there are some.
  messages().clear();
  r.key("A", "B", 0);
  IO_string *attributes = r.m_header->m_attributes;
  r.m_header->m_attributes = nullptr;
  r.offsets({0});
  EXPECT_EQ(r.send(IO_GET_CURRENT_FILE), IO_OK);
  *r.m_header->m_numattrb = 2;
  EXPECT_EQ(r.send(IO_GET_CURRENT_FILE), IO_MEMORY_ERR);
  EXPECT_EQ(allMessages(), "iocntc: header input is wrong\n");
  r.m_header->m_attributes = attributes;
  *r.m_header->m_numattrb = 0;
  int32_t *when = r.m_header->m_when;
  r.m_header->m_when = nullptr;
  messages().clear();
  EXPECT_EQ(r.send(IO_GET_CURRENT_FILE), IO_MEMORY_ERR);
  EXPECT_EQ(allMessages(), "iocntc: header input is wrong\n");
  r.m_header->m_when = when;

  // Offsets for the locate, read and copy requests; then strings and INTR for the locates.
  messages().clear();
  r.clear();
  EXPECT_EQ(r.send(IO_READ_LOCATED_DS), IO_MEMORY_ERR);
  EXPECT_EQ(allMessages(), "iocntc: offset array input is wrong\n");
  messages().clear();
  r.offsets({0, 0});
  r.strings({"", ""});
  EXPECT_EQ(r.send(IO_LOCATE_DS), IO_MEMORY_ERR);
  EXPECT_EQ(allMessages(), "iocntc: stringarray or intrarray is wrong\n");
}

TEST_F(RequestTest, UnknownRequestsAnswer22) {
  Requester r;
  r.key("A", "B", 0);
  r.type("INTR", 0);
  for (int32_t request : {48, -1, 1000}) {
    messages().clear();
    EXPECT_EQ(r.send(request), IO_UNKNOWN_REQUEST) << request;
    EXPECT_EQ(allMessages(), "iocnt: unknown request\n");
  }
}

TEST_F(RequestTest, ARequestOnTheCurrentFileWithNoneOpenIsRefused) {
  Requester r;
  r.key("A", "B", 0);
  r.type("INTR", 0);
  r.offsets({36});
  EXPECT_EQ(r.send(IO_TELL), IO_OPEN_ERR);
  EXPECT_EQ(allMessages(), "iocnt: no data-set file is open for request 20\n");
  messages().clear();
  EXPECT_EQ(r.send(IO_READ_LOCATED_PRIMARY_DS), IO_OPEN_ERR);
  EXPECT_EQ(r.current(), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

TEST_F(RequestTest, TheThreeFilesOpenAndCloseAndTheCurrentFileFollows) {
  Requester r;
  EXPECT_EQ(r.current(), nullptr);
  ASSERT_EQ(r.open(IO_OPEN_PRIMARY, m_name), IO_OK) << allMessages();
  EXPECT_EQ(r.current(), &r.m_state->m_primary);
  EXPECT_EQ(readFile(m_name).size(), 36u);
  EXPECT_EQ(readFile(m_name + ".lck"), "         1\n");
  // The first request set every record's write format.
  EXPECT_STREQ(r.m_state->m_text.m_writeformat, "U5");

  // Closing a secondary that is not open: the primary becomes current.
  ASSERT_EQ(r.send(IO_USE_SECONDARY), IO_OK);
  EXPECT_EQ(r.current(), &r.m_state->m_secondary);
  EXPECT_EQ(r.send(IO_CLOSE_SECONDARY), IO_OK);
  EXPECT_EQ(r.current(), &r.m_state->m_primary);

  const std::string second = m_dir.file("second.wez");
  ASSERT_EQ(r.open(IO_OPEN_SECONDARY, second), IO_OK);
  EXPECT_EQ(r.current(), &r.m_state->m_secondary);
  EXPECT_TRUE(fileExists(second + ".lck"));
  EXPECT_EQ(r.send(IO_USE_PRIMARY), IO_OK);
  EXPECT_EQ(r.current(), &r.m_state->m_primary);
  EXPECT_EQ(r.send(IO_CLOSE_SECONDARY), IO_OK);
  EXPECT_FALSE(fileExists(second + ".lck"));

  ASSERT_EQ(r.open(IO_OPEN_TEXT, m_dir.file("notes.txt")), IO_OK);
  EXPECT_EQ(r.current(), &r.m_state->m_primary);
  EXPECT_EQ(r.send(IO_CLOSE_TEXT), IO_OK);

  EXPECT_EQ(r.send(IO_CLOSE_PRIMARY), IO_OK);
  EXPECT_EQ(r.current(), nullptr);
  EXPECT_FALSE(fileExists(m_name + ".lck"));
  EXPECT_TRUE(messages().empty()) << allMessages();
}

TEST_F(RequestTest, TheNameIsTheFirstCountCharactersOrTheTerminatedText) {
  Requester r;
  r.chars(m_name + "XYZ");
  *r.m_data->m_numchar = static_cast<int32_t>(m_name.size());
  ASSERT_EQ(r.send(IO_OPEN_PRIMARY), IO_OK);
  EXPECT_TRUE(fileExists(m_name));
  EXPECT_FALSE(fileExists(m_name + "XYZ"));
  ASSERT_EQ(r.send(IO_CLOSE_PRIMARY), IO_OK);

  const std::string other = m_dir.file("other.wez");
  r.chars(other + std::string(1, '\0'));
  *r.m_data->m_numchar = 0;
  ASSERT_EQ(r.send(IO_OPEN_PRIMARY), IO_OK);
  EXPECT_TRUE(fileExists(other));
}

TEST_F(RequestTest, AFailedOpenReleasesTheRecordsAndReportsIt) {
  writeFile(m_name, "not a data-set file");
  const std::string second = m_dir.file("second.wez");
  Requester r;
  ASSERT_EQ(r.open(IO_OPEN_SECONDARY, second), IO_OK);
  EXPECT_EQ(r.open(IO_OPEN_PRIMARY, m_name), IO_BAD_FILE);
  EXPECT_EQ(messages().back(), "iocnt: open the primary file failed\n");
  // Both records were released: no lock is left on either file.
  EXPECT_FALSE(iif_is_open(&r.m_state->m_primary));
  EXPECT_FALSE(iif_is_open(&r.m_state->m_secondary));
  EXPECT_FALSE(fileExists(m_name + ".lck"));
  EXPECT_FALSE(fileExists(second + ".lck"));

  messages().clear();
  EXPECT_EQ(r.open(IO_OPEN_SECONDARY, m_name), IO_BAD_FILE);
  EXPECT_EQ(messages().back(), "iocnt: open the secondary file failed\n");
  EXPECT_FALSE(fileExists(m_name + ".lck"));

  messages().clear();
  r.clear();
  EXPECT_EQ(r.send(IO_OPEN_PRIMARY), IO_OPEN_ERR);
  EXPECT_EQ(allMessages(), "iif_open: filename is NULL\niocnt: open the primary file failed\n");
}

TEST_F(RequestTest, OpeningAnOpenFileAgainClosesItFirst) {
  Requester r;
  ASSERT_EQ(r.open(IO_OPEN_PRIMARY, m_name), IO_OK);
  writeIntr(r, "A", {1, 2, 3});
  const std::string other = m_dir.file("other.wez");
  ASSERT_EQ(r.open(IO_OPEN_PRIMARY, other), IO_OK);
  // The first file got its index and size, and gave up its lock.
  EXPECT_FALSE(fileExists(m_name + ".lck"));
  Requester again;
  ASSERT_EQ(again.open(IO_OPEN_PRIMARY, m_name), IO_OK);
  again.clear();
  again.intr({0});
  ASSERT_EQ(again.send(IO_GET_ENTRY_COUNT), IO_OK);
  EXPECT_EQ(again.intrValues(), std::vector<int32_t>{1});
  EXPECT_TRUE(messages().empty()) << allMessages();
}

TEST_F(RequestTest, CheckReadableAnswersSilently) {
  Requester r;
  writeFile(m_name, "x");
  r.chars(m_name);
  EXPECT_EQ(r.send(IO_CHECK_READABLE), IO_OK);
  r.chars(m_dir.file("missing"));
  EXPECT_EQ(r.send(IO_CHECK_READABLE), IO_NOT_READABLE);
  EXPECT_TRUE(messages().empty());
}

// ---------------------------------------------------------------------------------------------
// The write format

TEST_F(RequestTest, TheWriteFormatComesFromTheEnvironmentTheDefaultOrU5) {
  Requester r;
  ASSERT_EQ(r.open(IO_OPEN_PRIMARY, m_name), IO_OK);
  int64_t p = writeIntr(r, "A", {1});
  EXPECT_EQ(readFile(m_name).substr(p, 3), "u5\n");

  r.chars(std::string("l") + '\0');
  ASSERT_EQ(r.send(IO_SET_DEFAULT_FORMAT), IO_OK);
  EXPECT_STREQ(r.m_state->m_defaultformat, "l");
  p = writeIntr(r, "B", {1});
  EXPECT_EQ(readFile(m_name).substr(p, 3), std::string("l\0\n", 3));

  // The environment wins over the default, and a value that is no format gives "F".
  setenv("WEZ_FORMAT", "U3", 1);
  p = writeIntr(r, "C", {1});
  EXPECT_EQ(readFile(m_name).substr(p, 3), "u3\n");
  setenv("WEZ_FORMAT", "Q7", 1);
  p = writeIntr(r, "D", {1});
  EXPECT_EQ(readFile(m_name).substr(p, 3), std::string("F\0\n", 3));
  // An empty value counts as not set.
  setenv("WEZ_FORMAT", "", 1);
  p = writeIntr(r, "E", {1});
  EXPECT_EQ(readFile(m_name).substr(p, 3), std::string("l\0\n", 3));
  EXPECT_TRUE(messages().empty()) << allMessages();
}

TEST_F(RequestTest, LevelZeroIsWrittenAsThePlainLetterAndReadsBack) {
  Requester r;
  ASSERT_EQ(r.open(IO_OPEN_PRIMARY, m_name), IO_OK);
  for (const char *code : {"u0", "l0", "U0"}) {
    setenv("WEZ_FORMAT", code, 1);
    std::string what = std::string("A") + code;
    int64_t p = writeIntr(r, what, {7, 8, 9});
    std::string bytes = readFile(m_name);
    EXPECT_EQ(bytes.substr(p, 3), std::string(1, static_cast<char>(tolower(code[0]))) +
                                      std::string("\0\n", 2))
        << code;
    EXPECT_EQ(bytes.find("BLOCKFACTOR", p), std::string::npos) << code;
  }
  unsetenv("WEZ_FORMAT");
  ASSERT_EQ(r.send(IO_CLOSE_PRIMARY), IO_OK);
  ASSERT_EQ(r.open(IO_OPEN_PRIMARY, m_name), IO_OK);
  for (const char *what : {"Au0", "Al0", "AU0"}) {
    r.key(what, "EVERY", 0);
    ASSERT_EQ(r.locate(), IO_OK) << what << allMessages();
    ASSERT_EQ(r.readAt(r.offsetValues()[0]), IO_OK) << what << allMessages();
    EXPECT_EQ(r.intrValues(), (std::vector<int32_t>{7, 8, 9})) << what;
  }
  EXPECT_TRUE(messages().empty()) << allMessages();
}

TEST_F(RequestTest, SetFormatTakesTheLetterAloneWithLevel5ForBinaryLetters) {
  Requester r;
  ASSERT_EQ(r.open(IO_OPEN_PRIMARY, m_name), IO_OK);
  const std::pair<const char *, const char *> cases[] = {
      {"U9", "u5"}, {"l", "l5"}, {"F7", "F"}, {"d", "D"}};
  for (const auto &c : cases) {
    r.chars(c.first);
    EXPECT_EQ(r.send(IO_SET_FORMAT), IO_OK);
    EXPECT_STREQ(r.m_state->m_primary.m_writeformat, c.second) << c.first;
  }
  EXPECT_TRUE(messages().empty());
  r.chars("Q");
  EXPECT_EQ(r.send(IO_SET_FORMAT), IO_OK);
  EXPECT_FALSE(messages().empty());
}

// ---------------------------------------------------------------------------------------------
// Whole data sets

TEST_F(RequestTest, AWrittenDataSetReadsBackAndTooSmallArraysAnswerSilently) {
  Requester r;
  ASSERT_EQ(r.open(IO_OPEN_PRIMARY, m_name), IO_OK);
  int64_t p = writeIntr(r, "VALUES", {7, 8, 9, 10});
  // The index location is where the file end tag stands ("*CRASH", binary: no newline).
  EXPECT_EQ(r.current()->m_indexlocation, static_cast<int64_t>(readFile(m_name).size()) - 6);

  r.clear();
  r.offsets({p});
  EXPECT_EQ(r.send(IO_READ_LOCATED_DS), IO_MEMORY_ERR);
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(*r.m_data->m_numintr, 4);
  ASSERT_EQ(r.readAt(p), IO_OK) << allMessages();
  EXPECT_EQ(r.intrValues(), (std::vector<int32_t>{7, 8, 9, 10}));
  EXPECT_STREQ(r.m_header->m_what, "VALUES");
  EXPECT_STREQ(r.m_state->m_primary.m_writeformat, "u5");

  // The start block and the header alone.
  r.key("", "", 0);
  r.clear();
  r.offsets({p});
  ASSERT_EQ(r.send(IO_READ_DS_START), IO_OK);
  EXPECT_STREQ(r.m_header->m_what, "VALUES");
  EXPECT_EQ(*r.m_header->m_number, 4);
}

TEST_F(RequestTest, ReadAsConvertsToTheHeadersDataType) {
  Requester r;
  ASSERT_EQ(r.open(IO_OPEN_PRIMARY, m_name), IO_OK);
  int64_t p = r.current()->m_indexlocation;
  r.key("R", "EVERY", 0);
  r.type("REAL", 3);
  r.clear();
  r.real({1.5f, -2.25f, 1e10f});
  ASSERT_EQ(r.send(IO_WRITE_DATASET), IO_OK);

  // The first read only tells the sizes, and puts the stored type into the header: the wanted
  // type is given again for the second.
  r.type("DBLE", 0);
  r.clear();
  r.offsets({p});
  ASSERT_EQ(r.send(IO_READ_LOCATED_DS_AS), IO_MEMORY_ERR);
  EXPECT_EQ(*r.m_data->m_numdble, 3);
  EXPECT_EQ(*r.m_data->m_numreal, 0);
  iodata_alloc_arrays(nullptr, r.m_data);
  r.type("DBLE", 0);
  ASSERT_EQ(r.send(IO_READ_LOCATED_DS_AS), IO_OK) << allMessages();
  EXPECT_EQ(r.dbleValues(), (std::vector<double>{1.5, -2.25, double(1e10f)}));
  EXPECT_TRUE(r.realValues().empty());
  // The header now tells the stored type.
  EXPECT_STREQ(r.m_header->m_datatype, "REAL");
}

TEST_F(RequestTest, WritingNeedsTheSoleReader) {
  Requester first, second;
  ASSERT_EQ(first.open(IO_OPEN_PRIMARY, m_name), IO_OK);
  ASSERT_EQ(second.open(IO_OPEN_PRIMARY, m_name), IO_OK);
  second.key("A", "B", 0);
  second.type("INTR", 0);
  EXPECT_EQ(second.send(IO_WRITE_DATASET), IO_LOCK_ERR);
  EXPECT_EQ(messages().back(), "iocnt: setfilebusyflag failed when writing a data set\n");
}

TEST_F(RequestTest, RequestsOnThePrimaryKeepTheCurrentFileAlsoOnFailure) {
  Requester r;
  ASSERT_EQ(r.open(IO_OPEN_PRIMARY, m_name), IO_OK);
  int64_t p = writeIntr(r, "A", {5, 6});
  ASSERT_EQ(r.open(IO_OPEN_SECONDARY, m_dir.file("second.wez")), IO_OK);
  ASSERT_EQ(r.current(), &r.m_state->m_secondary);

  ASSERT_EQ(r.readAt(p, IO_READ_LOCATED_PRIMARY_DS), IO_OK) << allMessages();
  EXPECT_EQ(r.intrValues(), (std::vector<int32_t>{5, 6}));
  EXPECT_EQ(r.current(), &r.m_state->m_secondary);

  messages().clear();
  r.clear();
  r.offsets({-1});
  EXPECT_EQ(r.send(IO_READ_LOCATED_PRIMARY_DS), IO_SEEK_ERR);
  EXPECT_EQ(messages().front().rfind("iocnt: (can't go to dataset location) syserr:", 0), 0u)
      << allMessages();
  EXPECT_EQ(r.current(), &r.m_state->m_secondary);

  // A position where no data set stands.
  messages().clear();
  r.type("DBLE", 0);
  r.clear();
  r.offsets({0});
  EXPECT_EQ(r.send(IO_READ_LOCATED_PRIMARY_DS_AS), IO_READ_ERR);
  EXPECT_EQ(messages().back(), "iocnt: read_located_dataset_as failed\n");
  EXPECT_EQ(r.current(), &r.m_state->m_secondary);
}

// ---------------------------------------------------------------------------------------------
// Locating, deleting and copying

TEST_F(RequestTest, LocateFillsTheArraysOrTellsTheSizesSilently) {
  Requester r;
  ASSERT_EQ(r.open(IO_OPEN_PRIMARY, m_name), IO_OK);
  int64_t p1 = writeIntr(r, "T", {1}, 1);
  int64_t p3 = writeIntr(r, "T", {3}, 3);
  int64_t p2 = writeIntr(r, "T", {2}, 2);
  writeIntr(r, "TT", {9}, 1);

  r.key("T", "EVERY", -1);
  r.clear();
  r.locateRoom(1);
  EXPECT_EQ(r.send(IO_LOCATE_DS), IO_MEMORY_ERR);
  EXPECT_EQ(*r.m_data->m_numintr, 3);
  EXPECT_EQ(*r.m_data->m_numoffset, 6);
  EXPECT_EQ(*r.m_data->m_numstring, 6);
  EXPECT_TRUE(messages().empty());
  r.clear();
  r.locateRoom(3);
  ASSERT_EQ(r.send(IO_LOCATE_DS), IO_OK) << allMessages();
  // Any when: highest first.
  EXPECT_EQ(r.intrValues(), (std::vector<int32_t>{3, 2, 1}));
  const std::vector<int64_t> offsets = r.offsetValues();
  EXPECT_EQ(offsets[0], p3);
  EXPECT_EQ(offsets[2], p2);
  EXPECT_EQ(offsets[4], p1);
  EXPECT_EQ(r.stringValues(), (std::vector<std::string>{"T", "EVERY", "T", "EVERY", "T", "EVERY"}));

  r.key("NONE", "EVERY", 0);
  EXPECT_EQ(r.locate(), IO_NO_MATCH);
  EXPECT_TRUE(messages().empty());
}

TEST_F(RequestTest, LocateOnThePrimaryKeepsTheCurrentFile) {
  Requester r;
  ASSERT_EQ(r.open(IO_OPEN_PRIMARY, m_name), IO_OK);
  int64_t p = writeIntr(r, "A", {1});
  ASSERT_EQ(r.open(IO_OPEN_SECONDARY, m_dir.file("second.wez")), IO_OK);
  r.key("A", "EVERY", 0);
  EXPECT_EQ(r.locate(IO_LOCATE_DS), IO_NO_MATCH) << "the secondary is empty";
  ASSERT_EQ(r.locate(IO_LOCATE_PRIMARY_DS), IO_OK);
  EXPECT_EQ(r.offsetValues()[0], p);
  EXPECT_EQ(r.current(), &r.m_state->m_secondary);
  r.key("B", "EVERY", 0);
  EXPECT_EQ(r.locate(IO_LOCATE_PRIMARY_DS), IO_NO_MATCH);
  EXPECT_EQ(r.current(), &r.m_state->m_secondary);
}

TEST_F(RequestTest, DeleteTagsTheDataSetsAndTheLocateNoLongerFindsThem) {
  Requester r;
  ASSERT_EQ(r.open(IO_OPEN_PRIMARY, m_name), IO_OK);
  int64_t a = writeIntr(r, "A", {1}, 0);
  writeIntr(r, "A", {2}, 1);
  int64_t b = writeIntr(r, "B", {3}, 0);
  r.key("A", "EVERY", -1);
  ASSERT_EQ(r.send(IO_DELETE_DS), IO_OK) << allMessages();
  EXPECT_EQ(readFile(m_name).substr(a, 3), std::string("D\xb5\n", 3));
  EXPECT_EQ(r.locate(), IO_NO_MATCH);
  // Nothing to delete is no failure.
  EXPECT_EQ(r.send(IO_DELETE_DS), IO_OK);

  // Request 9 works on the primary whatever is current.
  ASSERT_EQ(r.open(IO_OPEN_SECONDARY, m_dir.file("second.wez")), IO_OK);
  r.key("B", "EVERY", 0);
  ASSERT_EQ(r.send(IO_DELETE_PRIMARY_DS), IO_OK) << allMessages();
  EXPECT_EQ(r.current(), &r.m_state->m_secondary);
  EXPECT_EQ(readFile(m_name).substr(b, 1), "D");
  EXPECT_EQ(r.locate(IO_LOCATE_PRIMARY_DS), IO_NO_MATCH);
  EXPECT_TRUE(messages().empty()) << allMessages();
}

TEST_F(RequestTest, DeletingNeedsTheWritePermission) {
  Requester first, second;
  ASSERT_EQ(first.open(IO_OPEN_PRIMARY, m_name), IO_OK);
  ASSERT_EQ(second.open(IO_OPEN_PRIMARY, m_name), IO_OK);
  second.key("A", "EVERY", 0);
  EXPECT_EQ(second.send(IO_DELETE_DS), IO_LOCK_ERR);
  EXPECT_EQ(messages().back(), "iocnt: setfilebusyflag failed when deleting a data set\n");
  messages().clear();
  EXPECT_EQ(second.send(IO_DELETE_PRIMARY_DS), IO_LOCK_ERR);
  EXPECT_EQ(messages().back(),
            "iocnt: setfilebusyflag failed when req =IO_DELETE_PRIMARY_DS\n");
}

TEST_F(RequestTest, CopiesGoFromThePrimaryIntoTheCurrentFile) {
  const std::string copy = m_dir.file("copy.wez");
  Requester r;
  ASSERT_EQ(r.open(IO_OPEN_PRIMARY, m_name), IO_OK);
  int64_t p = writeIntr(r, "A", {1, 2, 3}, 0);
  writeIntr(r, "B", {4}, 3);
  writeIntr(r, "B", {5}, 7);
  writeIntr(r, "C", {6}, 0);
  r.key("C", "EVERY", 0);
  ASSERT_EQ(r.send(IO_DELETE_DS), IO_OK);

  // Into itself: refused before anything is written.
  r.key("A2", "EVERY", 5);
  r.clear();
  r.offsets({p});
  EXPECT_EQ(r.send(IO_COPY_DATASET), IO_MEMORY_ERR);
  EXPECT_EQ(allMessages(), "iocnt: can't copy from the primary file into itself\n");
  EXPECT_EQ(r.send(IO_COPY_ALLVALID_DS), IO_MEMORY_ERR);
  messages().clear();

  ASSERT_EQ(r.open(IO_OPEN_SECONDARY, copy), IO_OK);
  r.key("A2", "EVERY", 5);
  r.clear();
  r.offsets({p});
  ASSERT_EQ(r.send(IO_COPY_DATASET), IO_OK) << allMessages();
  r.key("A2", "EVERY", 5);
  ASSERT_EQ(r.locate(IO_LOCATE_DS), IO_OK);
  int64_t copied = r.offsetValues()[0];
  ASSERT_EQ(r.readAt(copied), IO_OK);
  EXPECT_EQ(r.intrValues(), (std::vector<int32_t>{1, 2, 3}));

  // Every valid one; then only the whens of 0; then with the whens compressed.
  ASSERT_EQ(r.send(IO_COPY_ALLVALID_DS), IO_OK) << allMessages();
  r.key("*", "*", -1);
  ASSERT_EQ(r.locate(IO_LOCATE_DS), IO_OK);
  EXPECT_EQ(*r.m_data->m_numintr, 4) << "A2, and A, B 3, B 7 but not the deleted C";
  ASSERT_EQ(r.send(IO_CLOSE_SECONDARY), IO_OK);

  for (int32_t request : {IO_COPY_WHEN0_DS, IO_COPY_DS_COMPRESS_WHEN}) {
    const std::string name = m_dir.file("copy" + std::to_string(request) + ".wez");
    ASSERT_EQ(r.open(IO_OPEN_SECONDARY, name), IO_OK);
    ASSERT_EQ(r.send(request), IO_OK) << allMessages();
    r.key("*", "*", -1);
    ASSERT_EQ(r.locate(IO_LOCATE_DS), IO_OK);
    std::vector<int32_t> whens = r.intrValues();
    std::vector<std::string> names = r.stringValues();
    if (request == IO_COPY_WHEN0_DS) {
      EXPECT_EQ(whens, std::vector<int32_t>{0});
      EXPECT_EQ(names[0], "A");
    } else {
      EXPECT_EQ(*r.m_data->m_numintr, 2);
      r.key("B", "EVERY", 1);
      ASSERT_EQ(r.locate(IO_LOCATE_DS), IO_OK);
      ASSERT_EQ(r.readAt(r.offsetValues()[0]), IO_OK);
      EXPECT_EQ(r.intrValues(), std::vector<int32_t>{5}) << "the greatest when is the one kept";
    }
    ASSERT_EQ(r.send(IO_CLOSE_SECONDARY), IO_OK);
  }
  EXPECT_TRUE(messages().empty()) << allMessages();
}

TEST_F(RequestTest, TheIndexCanBeResolvedAndRebuiltOnRequest) {
  Requester r;
  ASSERT_EQ(r.open(IO_OPEN_PRIMARY, m_name), IO_OK);
  writeIntr(r, "A", {1});
  writeIntr(r, "A", {2});
  ASSERT_EQ(r.send(IO_UPDATE_INDEX), IO_OK);
  std::vector<Entry> list = entries(r.current());
  ASSERT_EQ(list.size(), 2u);
  // The one written first is superseded (table order is text order: "190" before "36").
  for (const Entry &e : list) EXPECT_EQ(e.m_status, e.m_position == 36 ? "N" : "Y");

  ASSERT_EQ(r.send(IO_RECREATE_INDEX), IO_OK) << allMessages();
  EXPECT_EQ(entries(r.current()).size(), 2u);
  EXPECT_EQ(r.current()->m_lock, -1);
  r.key("A", "EVERY", 0);
  ASSERT_EQ(r.locate(), IO_OK);
  ASSERT_EQ(r.readAt(r.offsetValues()[0]), IO_OK);
  EXPECT_EQ(r.intrValues(), std::vector<int32_t>{2});
}

// ---------------------------------------------------------------------------------------------
// A data set piece by piece, and the index by hand

TEST_F(RequestTest, ADataSetWrittenPieceByPieceIsTheSameAsOneWrittenWhole) {
  setenv("WEZ_FORMAT", "F", 1);
  const std::string whole = m_dir.file("whole.wez");
  {
    Requester r;
    ASSERT_EQ(r.open(IO_OPEN_PRIMARY, whole), IO_OK);
    writeIntr(r, "PIECES", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 3);
  }
  Requester r;
  ASSERT_EQ(r.open(IO_OPEN_PRIMARY, m_name), IO_OK);
  r.key("PIECES", "EVERY", 3);
  r.type("INTR", 10);
  r.clear();
  r.offsets({0, 0});
  ASSERT_EQ(r.send(IO_START_DATASET), IO_OK) << allMessages();
  const int64_t lengthField = r.offsetValues()[0];
  const int64_t body = r.offsetValues()[1];
  EXPECT_EQ(lengthField, 39);
  ASSERT_EQ(r.send(IO_WRITE_DATATAG), IO_OK);
  r.intr({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  ASSERT_EQ(r.send(IO_WRITE_DATA), IO_OK);
  ASSERT_EQ(r.send(IO_END_DATASET), IO_OK);
  ASSERT_EQ(r.send(IO_TELL), IO_OK);
  EXPECT_EQ(*r.m_data->m_numoffset, 1);
  const int64_t length = r.offsetValues()[0] - body;
  r.offsets({length});
  ASSERT_EQ(r.send(IO_WRITE_DSLENGTH), IO_OK);
  ASSERT_EQ(r.send(IO_SET_INDEX_LOCATION), IO_OK);
  r.offsets({lengthField});
  ASSERT_EQ(r.send(IO_SEEK), IO_OK);
  r.offsets({length});
  ASSERT_EQ(r.send(IO_WRITE_DSLENGTH), IO_OK);
  r.offsets({0});
  ASSERT_EQ(r.send(IO_GET_INDEX_LOCATION), IO_OK);
  const int64_t end = r.offsetValues()[0];
  r.offsets({length, lengthField - 3});
  ASSERT_EQ(r.send(IO_INSERT_INDEX), IO_OK);
  ASSERT_EQ(r.send(IO_CLOSE_PRIMARY), IO_OK);
  EXPECT_TRUE(messages().empty()) << allMessages();
  // The same bytes as the whole write: the index went over the file end tag that it left.
  EXPECT_EQ(readFile(m_name), readFile(whole));
  EXPECT_EQ(readFile(m_name).substr(end, 3), std::string("F\0\n", 3));

  ASSERT_EQ(r.open(IO_OPEN_PRIMARY, m_name), IO_OK);
  ASSERT_EQ(r.readAt(36), IO_OK) << allMessages();
  EXPECT_EQ(r.intrValues(), (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(*r.m_header->m_when, 3);
}

// Once a read of the file fails, no more of a data set begun piece by piece is written: each piece
// is refused with the system's reason, and so is the close's index.
TEST_F(RequestTest, APieceOfADataSetIsNotWrittenAfterAReadOfTheFileFailed) {
  Requester r;
  ASSERT_EQ(r.open(IO_OPEN_PRIMARY, m_name), IO_OK);
  writeIntr(r, "A", {1, 2, 3});
  r.key("PIECES", "EVERY", 0);
  r.type("INTR", 2);
  r.clear();
  r.offsets({0, 0});
  ASSERT_EQ(r.send(IO_START_DATASET), IO_OK) << allMessages();
  zyrFault_arm("read@1", m_name.c_str());
  EXPECT_EQ(r.readAt(36), IO_READ_ERR);
  messages().clear();
  r.intr({4, 5});
  r.offsets({0});
  for (int32_t piece : {IO_WRITE_DATATAG, IO_WRITE_DATA, IO_END_DATASET, IO_WRITE_DSLENGTH}) {
    EXPECT_EQ(r.send(piece), IO_READ_ERR) << piece;
    EXPECT_EQ(allMessages(), "iocnt: a read of " + m_name + " failed: Input/output error\n") << piece;
    messages().clear();
  }
  ASSERT_EQ(r.send(IO_CLOSE_PRIMARY), IO_OK);
  EXPECT_EQ(zyrFault_writesAfterFailedRead(), 0);
  zyrFault_disarm();
}

TEST_F(RequestTest, InsertIndexRefusesNamesThatWouldBreakTheEntry) {
  Requester r;
  ASSERT_EQ(r.open(IO_OPEN_PRIMARY, m_name), IO_OK);
  r.key(std::string("A") + kEscChar + "B", "W", 0);
  r.type("INTR", 0);
  r.clear();
  r.offsets({10, 36});
  EXPECT_EQ(r.send(IO_INSERT_INDEX), IO_DATA_ERR);
  EXPECT_EQ(allMessages(), "iocnt: can't insert index\n");
  messages().clear();
  r.key("A", "W", 0);
  EXPECT_EQ(r.send(IO_INSERT_INDEX_UNSORTED), IO_OK);
  r.clear();
  r.intr({0});
  ASSERT_EQ(r.send(IO_GET_ENTRY_COUNT), IO_OK);
  EXPECT_EQ(r.intrValues(), std::vector<int32_t>{1});
  EXPECT_EQ(entries(r.current())[0].m_position, 36);
  EXPECT_EQ(entries(r.current())[0].m_length, 10);
}

// ---------------------------------------------------------------------------------------------
// The plain text file

TEST_F(RequestTest, ThePlainTextFileHoldsLinesOfFixedWidthFields) {
  const std::string name = m_dir.file("notes.txt");
  {
    Requester r;
    r.chars("abc");
    EXPECT_EQ(r.send(IO_WRITE_TEXT_STRING), IO_WRITE_ERR);
    EXPECT_EQ(allMessages(), "iocnt: no plain text file is opened\n");
    messages().clear();
    EXPECT_EQ(r.send(IO_READ_TEXT_STRING), IO_READ_ERR);

    ASSERT_EQ(r.open(IO_OPEN_TEXT, name), IO_OK);
    r.chars("title line");
    ASSERT_EQ(r.send(IO_WRITE_TEXT_STRING), IO_OK);
    r.intr({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    ASSERT_EQ(r.send(IO_WRITE_TEXT_INTR), IO_OK);
    r.real({0.5f, -1.0f});
    ASSERT_EQ(r.send(IO_WRITE_TEXT_REAL), IO_OK);
    EXPECT_EQ(readFile(name + ".lck"), "        -1\n");
    ASSERT_EQ(r.send(IO_CLOSE_TEXT), IO_OK);
    EXPECT_FALSE(fileExists(name + ".lck"));
  }
  std::string expected = "title line\n";
  for (int i = 1; i <= 8; ++i) expected += rightAligned(std::to_string(i), 10);
  expected += "\n" + rightAligned("9", 10) + rightAligned("10", 10) + "\n";
  expected += rightAligned("5.00000000000E-01", 20) + rightAligned("-1.00000000000E+00", 20) + "\n";
  EXPECT_EQ(readFile(name), expected);

  Requester r;
  ASSERT_EQ(r.open(IO_OPEN_TEXT, name), IO_OK);
  r.clear();
  r.chars(std::string(20, 'x'));
  ASSERT_EQ(r.send(IO_READ_TEXT_STRING), IO_OK);
  EXPECT_STREQ(r.m_data->m_chararray, "title line");
  r.intr(std::vector<int32_t>(10, 0));
  ASSERT_EQ(r.send(IO_READ_TEXT_INTR), IO_OK);
  EXPECT_EQ(r.intrValues(), (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  r.real({0, 0});
  ASSERT_EQ(r.send(IO_READ_TEXT_REAL), IO_OK);
  EXPECT_EQ(r.realValues(), (std::vector<float>{0.5f, -1.0f}));
  // Past the end: the read fails and the file is closed.
  r.chars(std::string(20, 'x'));
  EXPECT_EQ(r.send(IO_READ_TEXT_STRING), IO_READ_ERR);
  EXPECT_EQ(messages().back(), "iocnt: read from the plain text file failed\n");
  EXPECT_FALSE(iif_is_open(&r.m_state->m_text));
  EXPECT_FALSE(fileExists(name + ".lck"));
}

// ---------------------------------------------------------------------------------------------
// The state

TEST_F(RequestTest, TheProcessWideStateServesTheVariantsWithoutState) {
  IO_header *header = ioheader_alloc(nullptr);
  IO_data *data = iodata_alloc(nullptr);
  iodata_set_chars(nullptr, data, m_name.data(), static_cast<int32_t>(m_name.size()));
  ASSERT_EQ(iocntc_global(IO_OPEN_PRIMARY, captureMessage, nullptr, data), IO_OK);
  *data->m_numoffset = 1;
  iodata_alloc_arrays(nullptr, data);
  // Request 47 passes without a header here.
  ASSERT_EQ(iocntc_global(IO_GET_CURRENT_FILE, captureMessage, nullptr, data), IO_OK);
  IO_file *file = reinterpret_cast<IO_file *>(static_cast<intptr_t>(data->m_offsetarray[0]));
  ASSERT_NE(file, nullptr);
  EXPECT_STREQ(file->m_name, m_name.c_str());
  EXPECT_EQ(iocnt_global(IO_CLOSE_PRIMARY, captureMessage, header, data), IO_OK);
  EXPECT_FALSE(fileExists(m_name + ".lck"));
  iodata_free(nullptr, data);
  ioheader_free(nullptr, header);

  IO_state *state = iostate_alloc();
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(state->m_current, nullptr);
  EXPECT_EQ(state->m_initialised, 0);
  iostate_free(state);
  iostate_free(nullptr);
}

} // namespace
