// What a creation cut off leaves in a data-set file: an open for writing makes it anew and says
// what it held, unless another holder has the file; anything more is never taken for it and stays
// as it is. A creation that fails leaves nothing behind.
#include "dataset_test_util.h"
#include "io_file.h"
#include "io_index.h"
#include "io_remnant.h"
#include "wezio_test_util.h"
#include "zyrFault.h"

#include <gtest/gtest.h>

using namespace wezio_test;

namespace {

struct Case {
  std::string m_label;
  std::string m_bytes;
  int m_kind;
};

class CreationRemnantTest : public DataFileTest {
protected:
  void TearDown() override {
    zyrFault_disarm();
    DataFileTest::TearDown();
  }
  int open(IO_file *record, const char *access) { return openRecord(record, access); }
  // The file as its first data set (format, an array of n integers) leaves it once written: the
  // information block of a new file, the frame and the end tag after it.
  std::string firstDataSet(const char *format, int n = 3) {
    std::remove(m_name.c_str());
    EXPECT_EQ(open(&m_file, "d"), IO_OK);
    Header h("A", "B", 0, "INTR", n);
    Data d;
    d.intr(std::vector<int32_t>(static_cast<size_t>(n), 7));
    EXPECT_EQ(writeOne(&m_file, format, h.get(), d.get()), IO_OK) << allMessages();
    fflush(m_file.m_stream);
    const std::string bytes = readFile(m_name);
    iif_close(&m_file);
    std::remove(m_name.c_str());
    return bytes;
  }
  // The same with the first length field 0, as it stands until the frame is whole.
  std::string unfinished(const char *format, int n = 3) {
    std::string bytes = firstDataSet(format, n);
    const std::string zero = format[0] == 'F' ? textOffset(0, 20) : format[0] == 'l' ? le64(0) : le32(0);
    return bytes.replace(39, zero.size(), zero);
  }
};

TEST_F(CreationRemnantTest, OnlyWhatACreationCutOffLeavesIsMadeAnew) {
  const std::string info = infoBlock(0);
  const std::string u5 = unfinished("u5");
  const std::vector<Case> cases = {
      {"empty", "", IO_REMNANT_EMPTY},
      {"part of the block", info.substr(0, 4), IO_REMNANT_PART_INFO},
      {"most of the block", info.substr(0, 31), IO_REMNANT_PART_INFO},
      {"the block", info, IO_REMNANT_INFO},
      {"the block and a text end tag", info + "*CRASH\n", IO_REMNANT_INFO},
      {"the block and a binary end tag", info + "*CRASH", IO_REMNANT_INFO},
      {"a frame cut off after its zero length", info + "u5\n" + le32(0), IO_REMNANT_UNFINISHED},
      {"a text frame cut off after its zero length", info + std::string("F\0\n", 3) + textOffset(0, 20), IO_REMNANT_UNFINISHED},
      {"a whole binary frame and its end tag", u5, IO_REMNANT_UNFINISHED},
      {"a whole binary frame without its end tag", u5.substr(0, u5.size() - 6), IO_REMNANT_UNFINISHED},
      {"a whole text frame and its end tag", unfinished("F"), IO_REMNANT_UNFINISHED},
      {"a whole long frame and its end tag", unfinished("l"), IO_REMNANT_UNFINISHED},
      {"a whole compressed frame of many values", unfinished("u5", 20000), IO_REMNANT_UNFINISHED},
  };
  for (const Case &c : cases) {
    writeFile(m_name, c.m_bytes);
    EXPECT_EQ(io_remnant_of(m_name.c_str()), c.m_kind) << c.m_label;
    // A reader changes nothing.
    IO_file reader;
    if (open(&reader, "r") == IO_OK) iif_close(&reader);
    EXPECT_EQ(readFile(m_name), c.m_bytes) << c.m_label;
    // A writer finds the file as a new one and says what it held.
    ASSERT_EQ(open(&m_file, "d"), IO_OK) << c.m_label << ": " << allMessages();
    EXPECT_EQ(m_file.m_remnant, c.m_kind) << c.m_label;
    EXPECT_EQ(m_file.m_damagedfrom, 0) << c.m_label;
    EXPECT_EQ(indextable_count(m_file.m_indextable), 0) << c.m_label;
    EXPECT_EQ(readFile(m_name), info) << c.m_label;
    iif_close(&m_file);
    EXPECT_EQ(readFile(m_name), info) << c.m_label;
    EXPECT_FALSE(fileExists(m_name + ".lck")) << c.m_label;
  }

  // Anything more is never taken for it.
  const std::string whole = firstDataSet("u5");
  std::string closingOff = u5;
  closingOff[closingOff.size() - 10] ^= 1; // the closing length field no longer agrees
  const std::vector<Case> more = {
      {"a whole data set", whole, 0},
      {"an unfinished frame and more after its end tag", u5 + "u", 0},
      {"an unfinished frame and a whole one after it", u5.substr(0, u5.size() - 6) + whole.substr(36), 0},
      {"an unfinished frame whose closing field disagrees", closingOff, 0},
      {"a block of the older layout", infoBlock(0, 10), 0},
      {"a block with a recorded size", infoBlock(36), 0},
      {"the start of another file", "*INFX", 0},
      {"the block and more than an end tag", info + "*CRASH\nx", 0},
  };
  for (const Case &c : more) {
    writeFile(m_name, c.m_bytes);
    EXPECT_EQ(io_remnant_of(m_name.c_str()), IO_REMNANT_NONE) << c.m_label;
    const int status = open(&m_file, "d");
    EXPECT_EQ(m_file.m_remnant, 0) << c.m_label;
    // The open itself writes nothing (a close may store an index it rebuilt).
    EXPECT_EQ(readFile(m_name), c.m_bytes) << c.m_label;
    if (status == IO_OK) iif_close(&m_file);
  }
  // A file closed whole, and one whose first length field damage set to 0, are no remnants.
  std::remove(m_name.c_str());
  ASSERT_EQ(open(&m_file, "d"), IO_OK);
  Header h("A", "B", 0, "INTR", 0);
  Data d;
  ASSERT_EQ(writeOne(&m_file, "u5", h.get(), d.get()), IO_OK);
  iif_close(&m_file);
  std::string closed = readFile(m_name);
  EXPECT_EQ(io_remnant_of(m_name.c_str()), IO_REMNANT_NONE);
  writeFile(m_name, closed.replace(39, 4, le32(0)).replace(6, 21, textOffset(0, 20)));
  EXPECT_EQ(io_remnant_of(m_name.c_str()), IO_REMNANT_NONE);
}

TEST_F(CreationRemnantTest, ARemnantThatAnotherHolderHasIsLeftAlone) {
  const std::string remnant = infoBlock(0) + "u5\n" + le32(0);
  writeFile(m_name, remnant);
  IO_file holder;
  ASSERT_EQ(open(&holder, "r"), IO_OK);
  ASSERT_EQ(open(&m_file, "d"), IO_OK);
  EXPECT_EQ(m_file.m_remnant, 0);
  iif_close(&m_file);
  EXPECT_EQ(readFile(m_name), remnant);
  iif_close(&holder);
  ASSERT_EQ(open(&m_file, "d"), IO_OK);
  EXPECT_EQ(m_file.m_remnant, IO_REMNANT_UNFINISHED);
  EXPECT_EQ(readFile(m_name), infoBlock(0));
}

TEST_F(CreationRemnantTest, ACreationThatFailsLeavesNothing) {
  // Each write and flush of the open (the lock file's, then the information block's) fails in
  // turn, as on a full disc. A file that was there before (empty) is never removed.
  for (const bool existing : {false, true}) {
    for (const char *kind : {"write@", "flush@", "full@"}) {
      for (int n = 1; n <= 5; ++n) {
        const std::string plan = kind + std::to_string(n) + (existing ? " on an existing file" : "");
        std::remove(m_name.c_str());
        if (existing) writeFile(m_name, "");
        ASSERT_EQ(zyrFault_arm((kind + std::to_string(n)).c_str(), m_name.c_str()), 1);
        messages().clear();
        const int status = open(&m_file, "d");
        const long failures = zyrFault_failures();
        zyrFault_disarm();
        if (status == IO_OK) {
          EXPECT_EQ(failures, 0) << plan;
          iif_close(&m_file);
          continue;
        }
        EXPECT_FALSE(messages().empty()) << plan;
        EXPECT_EQ(fileExists(m_name), existing) << plan << ": " << readFile(m_name).size() << " bytes left";
        EXPECT_FALSE(fileExists(m_name + ".lck")) << plan;
      }
    }
  }
}

TEST_F(CreationRemnantTest, ANameWithoutRoomForItsLockFileIsNotMade) {
  // The data file's name fits; "<name>.lck" and the temporary it is written under do not.
  m_name = m_dir.file(std::string(250, 'n') + ".wez");
  EXPECT_EQ(open(&m_file, "d"), IO_OPEN_ERR);
  EXPECT_NE(allMessages().find("its lock file cannot be made: " + std::string(strerror(ENAMETOOLONG))),
            std::string::npos)
      << allMessages();
  EXPECT_EQ(m_dir.listing(), std::vector<std::string>());
}

} // namespace
