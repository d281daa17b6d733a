// Opening files whose index must be rebuilt by walking their frames: unfinished writes, the file
// end tag, old index data sets, bytes that cannot be placed; and a close whose index write fails.
#include "dataset_test_util.h"
#include "io_dataset.h"
#include "io_file.h"
#include "io_header.h"
#include "io_index.h"
#include "iodata.h"
#include "lowlevel_io.h"
#include "wezio_test_util.h"
#include "zyrFault.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace wezio_test;

namespace {

const std::string E(1, kEscChar);

std::string textFrame(const std::string &what, int when, int64_t length = -1) {
  std::string body = "*DATASET\n" + textHeader(what, "B", when, "INTR", 0, 1) + "*ENDDATASET\n";
  int64_t n = static_cast<int64_t>(body.size());
  return std::string("F\0\n", 3) + textOffset(length < 0 ? n : length, 20) + body +
         textOffset(n, 20);
}

class RebuildTest : public DataFileTest {
protected:
  int openWith(const std::string &bytes, const char *access = "d") {
    writeFile(m_name, bytes);
    messages().clear();
    return openRecord(&m_file, access);
  }
  bool said(const std::string &message) {
    for (const std::string &m : messages())
      if (m == message) return true;
    return false;
  }
};

TEST_F(RebuildTest, TheFileEndTagEndsTheWalkAndTakesTheNextDataSet) {
  const std::string a = textFrame("A", 0), b = textFrame("B", 1);
  ASSERT_EQ(openWith(infoBlock(0) + a + b + "*CRASH\n"), IO_OK) << allMessages();
  EXPECT_TRUE(said("recreate_indextable: warning: file was not closed correctly, data may be "
                   "inconsistent\n"))
      << allMessages();
  std::vector<Entry> list = entries(&m_file);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].m_position, 36 + static_cast<int64_t>(a.size()));
  const int64_t end = 36 + static_cast<int64_t>(a.size() + b.size());
  EXPECT_EQ(m_file.m_indexlocation, end);
  EXPECT_EQ(m_file.m_lock, -1);
  Header h("C", "B", 2, "INTR", 0);
  Data d;
  ASSERT_EQ(writeOne(&m_file, "u", h.get(), d.get()), IO_OK);
  EXPECT_EQ(entries(&m_file).back().m_position, end);
  iif_close(&m_file);
  ASSERT_EQ(openWith(readFile(m_name), "r"), IO_OK);
  EXPECT_TRUE(messages().empty()) << allMessages();
  EXPECT_EQ(entries(&m_file).size(), 3u);
}

// Frames stand in the order they were written: a live frame followed by a deleted one of the same
// data set was replaced by a version since erased, whether or not the replacement tagged it.
TEST_F(RebuildTest, TheLastFrameOfADataSetDecidesWhetherItIsLive) {
  std::string erased = textFrame("A", 0);
  erased[0] = 'D'; // the delete tag of a text frame: "D", NUL, LF
  const std::string live = textFrame("A", 0), other = textFrame("B", 0);
  ASSERT_EQ(openWith(infoBlock(0) + live + other + erased), IO_OK) << allMessages();
  std::vector<Entry> list = entries(&m_file);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].m_status + list[0].m_what + list[1].m_status + list[1].m_what, "NAYB");
  // Written again after the erasure, the data set is live once more.
  iif_close(&m_file);
  ASSERT_EQ(openWith(infoBlock(0) + live + erased + other + live), IO_OK) << allMessages();
  list = entries(&m_file);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].m_status + list[1].m_status + list[2].m_status, "NYY");
  EXPECT_EQ(list[2].m_position, 36 + static_cast<int64_t>(live.size() + erased.size() + other.size()));
}

// A whole frame whose name the index cannot hold is passed over, and said so with its bytes.
TEST_F(RebuildTest, ADataSetWhoseNameCannotBeIndexedIsLeftOutAndCounted) {
  const std::string a = textFrame("A", 0), odd = textFrame("X" + E + "Y", 0), b = textFrame("B", 0);
  ASSERT_EQ(openWith(infoBlock(0) + a + odd + b), IO_OK) << allMessages();
  const int64_t at = 36 + static_cast<int64_t>(a.size());
  EXPECT_TRUE(said("recreate_indextable: warning: the " + std::to_string(odd.size()) + " bytes of the dataset at offset " +
                   std::to_string(at) + " have been left out: its name cannot be held by the index\n"))
      << allMessages();
  EXPECT_EQ(entries(&m_file).size(), 2u);
  EXPECT_EQ(m_file.m_skippedfrom, at);
  EXPECT_EQ(m_file.m_skippedbytes, static_cast<int64_t>(odd.size()));
}

TEST_F(RebuildTest, AZeroLengthMarksAnInterruptedWriteThatTheNextWriteReplaces) {
  const std::string a = textFrame("A", 0), b = textFrame("B", 1, 0);
  ASSERT_EQ(openWith(infoBlock(0) + a + b), IO_OK) << allMessages();
  const int64_t at = 36 + static_cast<int64_t>(a.size());
  EXPECT_TRUE(said("recreate_indextable: dataset length of zero in dataset B:B:1 at offset " +
                   std::to_string(at) + ": assuming interrupted write and terminating scan.\n"))
      << allMessages();
  EXPECT_EQ(entries(&m_file).size(), 1u);
  EXPECT_EQ(m_file.m_indexlocation, at);
  Header h("C", "B", 2, "INTR", 0);
  Data d;
  ASSERT_EQ(writeOne(&m_file, "u", h.get(), d.get()), IO_OK);
  EXPECT_EQ(entries(&m_file).back().m_position, at);
}

TEST_F(RebuildTest, AWriteCutOffByTheEndOfTheFileIsUnfinishedToo) {
  const std::string a = textFrame("A", 0);
  // Tag and zero length, then the header cut short.
  std::string cut = "u5\n" + le32(0) + "*DATASET" + binRecord("*HEADER") + le32(6) + "WH";
  ASSERT_EQ(openWith(infoBlock(0) + a + cut), IO_OK) << allMessages();
  const int64_t at = 36 + static_cast<int64_t>(a.size());
  EXPECT_TRUE(said("recreate_indextable: dataset length of zero in dataset at offset " +
                   std::to_string(at) +
                   " (format u5): assuming incomplete file and terminating "
                   "scan.\n"))
      << allMessages();
  EXPECT_EQ(m_file.m_indexlocation, at);
  iif_close(&m_file);
  // A tag whose length field is cut off.
  ASSERT_EQ(openWith(infoBlock(0) + a + "l\0\n" + std::string(5, '\0')), IO_OK) << allMessages();
  EXPECT_EQ(m_file.m_indexlocation, at);
  EXPECT_EQ(entries(&m_file).size(), 1u);
}

TEST_F(RebuildTest, OldIndexDataSetsAreWalkedOver) {
  const std::string a = textFrame("A", 0);
  const std::string index = indexFrame({entryText("A", "B", 0, 772, 36)}, 36 + a.size());
  const std::string b = textFrame("B", 1);
  ASSERT_EQ(openWith(infoBlock(0) + a + index + b), IO_OK) << allMessages();
  std::vector<Entry> list = entries(&m_file);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].m_position, static_cast<int64_t>(36 + a.size() + index.size()));
  EXPECT_EQ(m_file.m_indexlocation, static_cast<int64_t>(36 + a.size() + index.size() + b.size()));
}

TEST_F(RebuildTest, BytesThatCannotBePlacedFailTheOpenWhenADataSetFollows) {
  const std::string a = textFrame("A", 0), later = textFrame("B", 1);
  EXPECT_EQ(openWith(infoBlock(0) + a + "ZZZZZZ" + later), IO_BAD_FILE);
  EXPECT_TRUE(said("recreate_indextable: Bad file: expected dataset, index or end, got \"ZZZ\" at "
                   "byte " +
                   std::to_string(36 + a.size()) + "\n"))
      << allMessages();
  EXPECT_EQ(openWith(infoBlock(0) + a + "*CRUSH" + later), IO_BAD_FILE);
  EXPECT_EQ(openWith(infoBlock(0) + a + "u5\n" + le32(static_cast<uint32_t>(-5)) + "*DATASET" +
                     later),
            IO_FORMAT_ERR);
  EXPECT_TRUE(said("recreate_indextable: bad dataset length -5\n")) << allMessages();
  // A length reaching beyond the file.
  EXPECT_EQ(openWith(infoBlock(0) + a + "u5\n" + le32(4000) + "*DATASET" + later), IO_FORMAT_ERR);
  // A text length field that is not a number of the file's width is no zero.
  std::string odd = a;
  odd.replace(3, 21, "  !     90*          \n");
  EXPECT_EQ(openWith(infoBlock(0) + odd + later), IO_READ_ERR);
  EXPECT_FALSE(fileExists(m_name + ".lck"));
}

TEST_F(RebuildTest, DamageAfterTheLastCompleteDataSetEndsTheWalkThere) {
  const std::string a = textFrame("A", 0), b = textFrame("B", 1);
  const int64_t end = static_cast<int64_t>(36 + a.size() + b.size());
  const std::string head = "recreate_indextable: warning: damaged or incomplete data at offset " +
                           std::to_string(end) + " after the last complete dataset, terminating scan there (";
  // A closed file whose index frame lost its last line, or was cut in its position lines.
  std::string index = indexFrame({entryText("A", "B", 0, 772, 36)}, end);
  const std::string tails[] = {
      "ZZZZZZ",
      "*CRUSH",
      "u5\n" + le32(static_cast<uint32_t>(-5)) + "*DATASET",
      "u5\n" + le32(400) + "*DATASET" + std::string(20, 'x'), // cut off by the end of the file
      textFrame("C", 2).substr(0, 400),                       // likewise, in text
      index.substr(0, index.size() - 5),                      // position line cut
      index.substr(0, index.size() - 30),                     // closing length cut
      std::string("F\0\n") + "  !     90*          \n" + "*INDEX\n",
      std::string("D\xb5\n") + le32(9000) + "*DATASET", // a deleted frame cut off
      [] {                                                // a closing length field damaged
        std::string c = textFrame("C", 2);
        return c.replace(c.size() - 21, 21, "  !     90*          \n");
      }(),
      [] { // a closing length field that differs from the first
        std::string c = textFrame("C", 2);
        return c.replace(c.size() - 21, 21, textOffset(static_cast<int64_t>(c.size()) - 44, 20));
      }(),
      // a header that runs past the frame's own length: the write after it would overwrite it
      textFrame("C", 2, 60),
  };
  for (const std::string &tail : tails) {
    const std::string warning = head + std::to_string(tail.size()) + " bytes left out).\n";
    ASSERT_EQ(openWith(infoBlock(0) + a + b + tail), IO_OK) << allMessages();
    EXPECT_TRUE(said(warning) || allMessages().find("truncated (or bad) index data at end of "
                                                    "file") != std::string::npos)
        << allMessages();
    // What the walk left out is known to the record's users.
    EXPECT_EQ(m_file.m_damagedfrom, said(warning) ? end : 0);
    std::vector<Entry> list = entries(&m_file);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(m_file.m_indexlocation, end);
    // The next write replaces the damage, and the close stores an index that the next open takes.
    Header h("C", "B", 2, "INTR", 0);
    Data d;
    ASSERT_EQ(writeOne(&m_file, "u", h.get(), d.get()), IO_OK);
    EXPECT_EQ(entries(&m_file).back().m_position, end);
    iif_close(&m_file);
    ASSERT_EQ(openWith(readFile(m_name), "r"), IO_OK);
    EXPECT_EQ(entries(&m_file).size(), 3u);
    iif_close(&m_file);
  }
}

// A read the disc fails while the index is rebuilt or read is neither the end of the data nor
// damage, and no walk of the frames stands in for a stored index that could not be read: the
// open fails with the system's reason and the file stays as it was; or, where the failed read
// decided nothing, every data set is found. Each read of the open fails in turn.
TEST_F(RebuildTest, AReadTheDiscFailsIsNeitherTheEndOfTheDataNorDamage) {
  const std::string unindexed = infoBlock(0) + textFrame("A", 0) + textFrame("B", 1) + textFrame("C", 2);
  ASSERT_EQ(openWith(unindexed), IO_OK) << allMessages();
  iif_close(&m_file);
  const std::string indexed = readFile(m_name);
  for (const std::string &bytes : {unindexed, indexed}) {
    zyrFault_arm("", m_name.c_str());
    ASSERT_EQ(openWith(bytes), IO_OK) << allMessages();
    const long reads = zyrFault_passes(ZYR_FAULT_READ);
    iif_close(&m_file);
    for (long n = 1; n <= reads; ++n) {
      zyrFault_arm(("read@" + std::to_string(n)).c_str(), m_name.c_str());
      const int status = openWith(bytes);
      zyrFault_disarm();
      if (status == IO_OK) {
        EXPECT_EQ(entries(&m_file).size(), 3u) << "read@" << n << ": " << allMessages();
        iif_close(&m_file);
        continue;
      }
      EXPECT_EQ(status, IO_READ_ERR) << "read@" << n;
      EXPECT_NE(allMessages().find(": Input/output error\n"), std::string::npos) << "read@" << n << ": " << allMessages();
      EXPECT_EQ(readFile(m_name), bytes) << "read@" << n;
    }
  }
}

TEST_F(RebuildTest, DeadBytesAfterARebuiltIndexAreCutOffOnce) {
  // A closed file of 30 data sets whose fifth one was declared the end by a file end tag (as a
  // close whose index could not be stored leaves it): the rebuilt index is written there, and the
  // dead data sets and the old index after it go, so that the file ends in its index again and no
  // later open rebuilds or warns.
  IO_file w;
  iif_clear_record(&w);
  w.m_callback = captureMessage;
  ASSERT_EQ(iif_open(&w, m_name.c_str(), "w"), IO_OK);
  std::vector<int64_t> positions;
  for (int i = 0; i < 30; ++i) {
    Header h("set" + std::to_string(i), "B", i, "INTR", 0);
    Data d;
    ASSERT_EQ(writeOne(&w, "u", h.get(), d.get()), IO_OK);
    positions.push_back(entries(&w).back().m_position);
  }
  iif_close(&w);
  std::string bytes = readFile(m_name);
  const size_t whole = bytes.size();
  bytes.replace(static_cast<size_t>(positions[5]), 6, "*CRASH");
  bytes.replace(6, 21, textOffset(1, 20)); // recorded size wrong
  ASSERT_EQ(openWith(bytes), IO_OK) << allMessages();
  EXPECT_EQ(entries(&m_file).size(), 5u);
  EXPECT_EQ(m_file.m_indexlocation, positions[5]);
  iif_close(&m_file);
  EXPECT_FALSE(said("write_index: warning: new index not at end of file, file may be bad\n")) << allMessages();
  bytes = readFile(m_name);
  ASSERT_LT(bytes.size(), whole);
  EXPECT_EQ(bytes.substr(bytes.size() - 21), textOffset(positions[5], 20));
  EXPECT_EQ(bytes.substr(6, 21), textOffset(static_cast<int64_t>(bytes.size()), 20));
  ASSERT_EQ(openWith(bytes, "r"), IO_OK) << allMessages();
  EXPECT_EQ(m_file.m_rebuilds, 0) << allMessages();
  EXPECT_EQ(entries(&m_file).size(), 5u);
}

TEST_F(RebuildTest, ACloseWhoseIndexCannotBeWrittenLeavesTheFileEndTag) {
  IO_file w;
  iif_clear_record(&w);
  w.m_callback = captureMessage;
  ASSERT_EQ(iif_open(&w, m_name.c_str(), "w"), IO_OK);
  Header h("A", "B", 0, "INTR", 0);
  Data d;
  ASSERT_EQ(writeOne(&w, "F", h.get(), d.get()), IO_OK);
  fflush(w.m_stream);
  const std::string before = readFile(m_name);
  pid_t pid = fork();
  if (pid == 0) {
    // The file may not grow: the index cannot be written.
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {before.size(), before.size()};
    setrlimit(RLIMIT_FSIZE, &limit);
    int status = iif_close(&w);
    bool reported = allMessages().find("iif_flush: write_index failed\n") != std::string::npos;
    zyrtest::leaveChild(status == IO_OK && reported ? 0 : 1);
  }
  int waited = 0;
  waitpid(pid, &waited, 0);
  ASSERT_TRUE(WIFEXITED(waited));
  EXPECT_EQ(WEXITSTATUS(waited), 0);
  iif_free_contents(&w); // the child closed the file; this process only lets go of its copy
  EXPECT_EQ(readFile(m_name), before);
  EXPECT_EQ(before.substr(before.size() - 7), "*CRASH\n");
  EXPECT_FALSE(fileExists(m_name + ".lck"));
  ASSERT_EQ(openWith(before, "r"), IO_OK);
  EXPECT_EQ(entries(&m_file).size(), 1u);
}

// ---------------------------------------------------------------------------------------------
// Header storage and data views

TEST(HeaderStorageTest, ObjectsAreCountedAndFieldsFreed) {
  messages().clear();
  IO_header *h = ioheader_alloc(captureMessage);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(*h->m_blockfactor, 1);
  EXPECT_EQ(ioheader_leak_check(captureMessage), IO_ALLOC_ERR);
  EXPECT_EQ(messages().back(), "ioheader_leak_check: 1 allocated header objects still remain\n");
  ioheader_free(captureMessage, h);
  EXPECT_EQ(ioheader_leak_check(captureMessage), IO_OK);

  IO_header block;
  memset(&block, 0, sizeof block);
  ASSERT_EQ(ioheader_alloc_fields(&block), IO_OK);
  EXPECT_EQ(*block.m_blockfactor, 1);
  strcpy(block.m_what, std::string(81, 'w').c_str()); // 82 characters of room
  ioheader_free_fields(&block);
  EXPECT_EQ(block.m_what, nullptr);
  EXPECT_EQ(block.m_datatype, nullptr);
}

TEST(HeaderStorageTest, AttributesBeyondTheStorageAreReadAndDropped) {
  ScratchStream file;
  Header h("A", "B", 0, "INTR", 0);
  std::vector<IO_string> many(25);
  for (int i = 0; i < 25; ++i) snprintf(many[i], sizeof(IO_string), "attribute %d", i);
  h->m_attributes = many.data();
  *h->m_numattrb = 25;
  ASSERT_EQ(write_header(captureMessage, "u", file.m_stream, h.get()), IO_OK);
  EXPECT_EQ(fwrite("*ENDDATASET", 1, 11, file.m_stream), 11u);
  Header back;
  ASSERT_EQ(io_seek(file.m_stream, 0, 0), 0);
  ASSERT_EQ(read_header(captureMessage, "u", file.m_stream, back.get()), IO_OK) << allMessages();
  EXPECT_EQ(*back->m_numattrb, IO_MAXATTRB);
  EXPECT_STREQ(back->m_attributes[19], "attribute 19");
  char end[12] = {0};
  ASSERT_EQ(fread(end, 1, 11, file.m_stream), 11u);
  EXPECT_STREQ(end, "*ENDDATASET");
  ioheader_init(h.get()); // aim the references back at the object's own storage
}

TEST(HeaderStorageTest, MoveDataPointsAdvancesAViewOnly) {
  Data d;
  d.intr({1, 2, 3, 4, 5, 6});
  d.strings({"a", "b", "c"});
  IO_data view;
  ASSERT_EQ(iodata_block_view(nullptr, d.get(), &view), IO_OK);
  ASSERT_EQ(move_datapoints(nullptr, 2, "STRC{INTR:2 STRI:4}", &view), IO_OK);
  EXPECT_EQ(view.m_intrarray[0], 5);
  EXPECT_EQ(*view.m_numintr, 2);
  EXPECT_STREQ(view.m_stringarray[0], "c");
  EXPECT_EQ(*view.m_numstring, 1);
  EXPECT_EQ(*d.get()->m_numintr, 6);
  EXPECT_EQ(d.get()->m_intrarray[0], 1);
  messages().clear();
  EXPECT_EQ(move_datapoints(captureMessage, 1, "STRC{", &view), IO_DATA_ERR);
  EXPECT_EQ(messages().back(), "move_datapoints: parseStructure failed\n");
}

} // namespace
