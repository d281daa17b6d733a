// IO_data records: allocation, sizing to counts, release and the leak check.
#include "io_alloc.h"
#include "iodata.h"
#include "wezio_test_util.h"

#include <gtest/gtest.h>

#include <cinttypes>

using namespace wezio_test;

namespace {

class IoDataTest : public testing::Test {
protected:
  void SetUp() override {
    messages().clear();
    m_data = iodata_alloc(captureMessage);
    ASSERT_NE(m_data, nullptr);
  }
  void TearDown() override {
    io_alloc_fail(-1, 0);
    iodata_free(captureMessage, m_data);
    EXPECT_EQ(iodata_leak_check(captureMessage), IO_OK);
  }
  IO_data *m_data = nullptr;
};

TEST_F(IoDataTest, FreshRecordIsEmpty) {
  EXPECT_EQ(m_data->m_numoffset, &m_data->m_counts[IO_DATA_OFFSET]);
  EXPECT_EQ(m_data->m_numlogl, &m_data->m_counts[IO_DATA_LOGL]);
  for (int32_t count : m_data->m_counts) EXPECT_EQ(count, 0);
  EXPECT_EQ(m_data->m_intrarray, nullptr);
  EXPECT_EQ(m_data->m_stringarray, nullptr);
  EXPECT_EQ(iodata_size(captureMessage, m_data), 0);
}

TEST_F(IoDataTest, ArraysFollowTheirCounts) {
  *m_data->m_numintr = 10;
  ASSERT_EQ(iodata_alloc_arrays(captureMessage, m_data), IO_OK);
  ASSERT_NE(m_data->m_intrarray, nullptr);
  for (int i = 0; i < 10; ++i) m_data->m_intrarray[i] = i * i;
  EXPECT_EQ(iodata_size(captureMessage, m_data), 40);

  // Growing keeps the contents.
  *m_data->m_numintr = 1000;
  ASSERT_EQ(iodata_alloc_arrays(captureMessage, m_data), IO_OK);
  EXPECT_EQ(m_data->m_intrarray[9], 81);

  *m_data->m_numintr = 0;
  ASSERT_EQ(iodata_alloc_arrays(captureMessage, m_data), IO_OK);
  EXPECT_EQ(m_data->m_intrarray, nullptr);
}

TEST_F(IoDataTest, SizeCountsEveryPresentArray) {
  int32_t counts[IO_DATA_ARRAYS] = {2, 1, 3, 2, 1, 1, 5};
  memcpy(m_data->m_counts, counts, sizeof counts);
  // Counts set but arrays absent hold nothing.
  EXPECT_EQ(iodata_size(captureMessage, m_data), 0);
  ASSERT_EQ(iodata_alloc_arrays(captureMessage, m_data), IO_OK);
  EXPECT_EQ(iodata_size(captureMessage, m_data), 16 + 80 + 3 + 8 + 4 + 8 + 5);
  ASSERT_EQ(iodata_free_arrays(captureMessage, m_data), IO_OK);
  for (int32_t count : m_data->m_counts) EXPECT_EQ(count, 0);
  EXPECT_EQ(m_data->m_dblearray, nullptr);
}

TEST_F(IoDataTest, CountsAreReachedThroughTheirReferences) {
  int32_t mine = 4;
  m_data->m_numreal = &mine;
  ASSERT_EQ(iodata_alloc_arrays(captureMessage, m_data), IO_OK);
  EXPECT_NE(m_data->m_realarray, nullptr);
  EXPECT_EQ(iodata_size(captureMessage, m_data), 16);
  iodata_free_arrays(captureMessage, m_data);
  EXPECT_EQ(mine, 0);

  // A null count reference leaves its array alone and reports no count.
  m_data->m_numdble = nullptr;
  double own[2] = {1, 2};
  m_data->m_dblearray = own;
  ASSERT_EQ(iodata_alloc_arrays(captureMessage, m_data), IO_OK);
  EXPECT_EQ(m_data->m_dblearray, own);
  EXPECT_EQ(iodata_size(captureMessage, m_data), 0);
  m_data->m_dblearray = nullptr;
  iodata_init(captureMessage, m_data);
}

TEST_F(IoDataTest, SetChars) {
  ASSERT_EQ(iodata_set_chars(captureMessage, m_data, "abc", -1), IO_OK);
  EXPECT_EQ(*m_data->m_numchar, 3);
  EXPECT_EQ(std::string(m_data->m_chararray, 3), "abc");
  ASSERT_EQ(iodata_set_chars(captureMessage, m_data, "hello world", 5), IO_OK);
  EXPECT_EQ(std::string(m_data->m_chararray, 5), "hello");
  EXPECT_EQ(iodata_size(captureMessage, m_data), 5);
}

TEST_F(IoDataTest, NegativeCountIsRefused) {
  *m_data->m_numlogl = -3;
  *m_data->m_numintr = 2;
  EXPECT_EQ(iodata_alloc_arrays(captureMessage, m_data), IO_MEMORY_ERR);
  EXPECT_EQ(m_data->m_loglarray, nullptr);
  EXPECT_NE(m_data->m_intrarray, nullptr);
  EXPECT_EQ(allMessages(), "iodata_alloc_arrays: negative count -3 for the logl array\n");
  *m_data->m_numlogl = 0;
}

TEST_F(IoDataTest, AllocationFailures) {
  *m_data->m_numintr = 10;
  *m_data->m_numreal = 5;
  *m_data->m_numlogl = 7;
  // The second array fails; the others are still sized.
  io_alloc_fail(1, 1);
  EXPECT_EQ(iodata_alloc_arrays(captureMessage, m_data), IO_ALLOC_ERR);
  EXPECT_NE(m_data->m_intrarray, nullptr);
  EXPECT_EQ(m_data->m_realarray, nullptr);
  EXPECT_NE(m_data->m_loglarray, nullptr);
  EXPECT_EQ(allMessages(), "iodata_alloc_arrays: malloc of 20 bytes failed\n");

  messages().clear();
  io_alloc_fail(0, 1);
  EXPECT_EQ(iodata_alloc(captureMessage), nullptr);
  io_alloc_fail(0, 1);
  EXPECT_EQ(iodata_alloc(nullptr), nullptr);
  EXPECT_EQ(allMessages(),
            "iodata_alloc: malloc of " + std::to_string(sizeof(IO_data)) + " bytes failed\n");
}

TEST_F(IoDataTest, Dump) {
  *m_data->m_numintr = 2;
  iodata_alloc_arrays(captureMessage, m_data);
  testing::internal::CaptureStdout();
  iodata_dump(captureMessage, m_data);
  std::string out = testing::internal::GetCapturedStdout();
  char intr[64];
  snprintf(intr, sizeof intr, "      intrarray=0x%" PRIxPTR "\n",
           reinterpret_cast<uintptr_t>(m_data->m_intrarray));
  std::string expected = "   numoffset=0\n      offsetarray=0x0\n"
                         "   numstring=0\n      stringarray=0x0\n"
                         "   numchar=0\n      chararray=0x0\n"
                         "   numintr=2\n" +
                         std::string(intr) +
                         "   numreal=0\n      realarray=0x0\n"
                         "   numdble=0\n      dblearray=0x0\n"
                         "   numlogl=0\n      loglarray=0x0\n";
  EXPECT_EQ(out, expected);
}

TEST(IoDataLeakTest, LiveRecordsAreCounted) {
  messages().clear();
  IO_data *a = iodata_alloc(captureMessage);
  IO_data *b = iodata_alloc(captureMessage);
  iodata_free(captureMessage, a);
  EXPECT_EQ(iodata_leak_check(captureMessage), IO_ALLOC_ERR);
  EXPECT_EQ(allMessages(), "iodata_leak_check: 1 allocated data objects still remain\n");
  iodata_free(captureMessage, b);
  EXPECT_EQ(iodata_leak_check(captureMessage), IO_OK);
}

} // namespace
