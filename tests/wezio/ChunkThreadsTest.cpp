// The chunks of a compressed data part are compressed on several threads and written by the
// calling one: the file is byte for byte the same whatever the number of threads (and the same
// as a stored file written before the threads came), and failures stop at the same write with
// the same messages.
#include "data_part.h"
#include "io_alloc.h"
#include "io_pipeline.h"
#include "iodata.h"
#include "lowlevel_io.h"
#include "wezio_test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

using namespace wezio_test;

namespace {

const char kGolden[] = "/tests/data/wezio/chunked-data-parts.bin";
const int kThreadCounts[] = {1, 2, 3, 8};

// Values that compress like a mesh's and are the same on every machine (no library random
// numbers): a small linear congruential generator.
struct Sequence {
  uint32_t m_state;
  explicit Sequence(uint32_t seed) : m_state(seed) {}
  uint32_t next() { return m_state = m_state * 1664525u + 1013904223u; }
};

// One data part of the set, with its own arrays.
struct Part {
  const char *m_format;
  const char *m_type;
  int64_t m_number;
  int32_t m_blockFactor;
  IO_data *m_data;
};

class ChunkThreadsTest : public testing::Test {
protected:
  void SetUp() override {
    messages().clear();
    makeParts();
  }
  void TearDown() override {
    io_set_pipeline_threads(0);
    io_alloc_fail(-1, 0);
    for (Part &part : m_parts) iodata_free(nullptr, part.m_data);
  }

  IO_data *arraysFor(const char *format, int64_t number, const char *type) {
    IO_data *data = iodata_alloc(captureMessage);
    check_memory(captureMessage, format, number, type, data);
    EXPECT_EQ(iodata_alloc_arrays(captureMessage, data), IO_OK);
    return data;
  }

  // Connectivity-like integers (many chunks, the last one under 100 values and so plain),
  // coordinates, structure records, bytes that do not shrink (each chunk plain after -1),
  // integers in the other byte order, and doubles behind 8-byte lengths at level 9.
  void makeParts() {
    Sequence random(7);
    IO_data *d = arraysFor("u5", 25050, "INTR");
    for (int32_t i = 0; i < 25050; ++i)
      d->m_intrarray[i] = i / 4 + static_cast<int32_t>(random.next() % 3);
    m_parts.push_back({"u5", "INTR", 25050, 1000, d});

    d = arraysFor("u5", 3000, "DBLE");
    for (int32_t i = 0; i < 3000; ++i) d->m_dblearray[i] = 0.125 * (i % 40) + 0.5 * (i / 40);
    m_parts.push_back({"u5", "DBLE", 3000, 400, d});

    const char *records = "STRC{INTR:2 REAL:1 DBLE:1 LOGL:1}";
    d = arraysFor("u5", 2321, records);
    for (int32_t r = 0; r < 2321; ++r) {
      d->m_intrarray[2 * r] = r;
      d->m_intrarray[2 * r + 1] = r % 17;
      d->m_realarray[r] = 0.25f * static_cast<float>(r % 64);
      d->m_dblearray[r] = 1.0 / (1 + r % 9);
      d->m_loglarray[r] = r % 3 ? 'T' : 'F';
    }
    m_parts.push_back({"u5", records, 2321, 1000, d});

    d = arraysFor("u5", 5000, "LOGL");
    for (int32_t i = 0; i < 5000; ++i) d->m_loglarray[i] = static_cast<char>(random.next() >> 24);
    m_parts.push_back({"u5", "LOGL", 5000, 1000, d});

    d = arraysFor("U5", 5000, "INTR");
    for (int32_t i = 0; i < 5000; ++i) d->m_intrarray[i] = i / 5;
    m_parts.push_back({"U5", "INTR", 5000, 1000, d});

    d = arraysFor("l9", 3000, "DBLE");
    for (int32_t i = 0; i < 3000; ++i) d->m_dblearray[i] = static_cast<double>(i % 100);
    m_parts.push_back({"l9", "DBLE", 3000, 1000, d});
  }

  // Every part after the other into one stream; the first failing status, or 0.
  int writeAll(FILE *stream) {
    for (Part &part : m_parts) {
      int status = write_data_blocks(captureMessage, part.m_format, stream, part.m_number,
                                     part.m_blockFactor, part.m_type, part.m_data);
      if (status != IO_OK) return status;
    }
    return IO_OK;
  }

  std::string writtenWith(int threads) {
    io_set_pipeline_threads(threads);
    m_file.reset("");
    EXPECT_EQ(writeAll(m_file.m_stream), IO_OK) << allMessages();
    return m_file.bytes();
  }

  std::vector<Part> m_parts;
  ScratchStream m_file;
};

std::string goldenBytes() {
  std::ifstream in(std::string(ZYR_SOURCE_DIR) + kGolden, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

TEST_F(ChunkThreadsTest, SameBytesWithAnyNumberOfThreadsAsTheStoredFile) {
  std::string golden = goldenBytes();
  ASSERT_FALSE(golden.empty()) << "missing " << kGolden;
  for (int threads : kThreadCounts) {
    EXPECT_TRUE(writtenWith(threads) == golden) << threads << " threads";
  }
  EXPECT_TRUE(messages().empty()) << allMessages();

  // And every part reads back.
  m_file.reset(golden);
  for (const Part &part : m_parts) {
    IO_data *back = arraysFor(part.m_format, part.m_number, part.m_type);
    EXPECT_EQ(read_data_blocks(captureMessage, part.m_format, m_file.m_stream, part.m_number,
                               part.m_blockFactor, part.m_type, back),
              IO_OK)
        << part.m_type << ": " << allMessages();
    iodata_free(nullptr, back);
  }
  EXPECT_EQ(io_tell(m_file.m_stream), static_cast<int64_t>(golden.size()));
}

// A stream whose n-th write (counted from 0) fails; it records the bytes of those that worked.
struct FailingStream {
  std::string m_bytes;
  int m_writes = 0;
  int m_failAt;
  FILE *m_stream;
  explicit FailingStream(int failAt) : m_failAt(failAt) {
    cookie_io_functions_t functions = {nullptr, &FailingStream::write, nullptr, nullptr};
    m_stream = fopencookie(this, "w", functions);
    setvbuf(m_stream, nullptr, _IONBF, 0); // one write of the stream for each fwrite
  }
  ~FailingStream() { fclose(m_stream); }
  static ssize_t write(void *cookie, const char *buffer, size_t size) {
    FailingStream *self = static_cast<FailingStream *>(cookie);
    if (self->m_writes++ == self->m_failAt) {
      errno = ENOSPC;
      return 0; // (stdio retries a write that answers -1)
    }
    self->m_bytes.append(buffer, size);
    return static_cast<ssize_t>(size);
  }
};

struct Outcome {
  int m_status;
  std::string m_bytes;
  std::string m_messages;
  int m_writes;
  bool operator==(const Outcome &o) const {
    return m_status == o.m_status && m_bytes == o.m_bytes && m_messages == o.m_messages &&
           m_writes == o.m_writes;
  }
};

TEST_F(ChunkThreadsTest, AFailedWriteStopsAtTheSameCallWithAnyNumberOfThreads) {
  std::string golden = goldenBytes();
  auto outcome = [&](int threads, int failAt) {
    io_set_pipeline_threads(threads);
    messages().clear();
    FailingStream stream(failAt);
    int status = writeAll(stream.m_stream);
    return Outcome{status, stream.m_bytes, allMessages(), stream.m_writes};
  };
  Outcome whole = outcome(1, -1);
  ASSERT_EQ(whole.m_status, IO_OK);
  ASSERT_TRUE(whole.m_bytes == golden);
  // Every write of the run in turn fails: with 1 and with 4 threads the same calls were made
  // before it, the same bytes written, the same words said.
  for (int failAt = 0; failAt < whole.m_writes; failAt += failAt < 40 ? 1 : 7) {
    Outcome one = outcome(1, failAt);
    EXPECT_NE(one.m_status, IO_OK) << failAt;
    EXPECT_EQ(one.m_writes, failAt + 1);
    EXPECT_EQ(golden.compare(0, one.m_bytes.size(), one.m_bytes), 0) << failAt;
    EXPECT_TRUE(outcome(4, failAt) == one) << "write " << failAt;
  }
}

TEST_F(ChunkThreadsTest, MemoryThatRunsOutLeavesWholeChunksBeforeIt) {
  std::string golden = goldenBytes();
  // Which allocation fails decides where the writing stops; whatever the threads, the file
  // then holds whole chunks of the right file up to there, and one message says why.
  for (int threads : {1, 4}) {
    io_set_pipeline_threads(threads);
    for (int64_t skip = 0; skip < 60; skip += 3) {
      messages().clear();
      m_file.reset("");
      io_alloc_fail(skip, 1);
      int status = writeAll(m_file.m_stream);
      io_alloc_fail(-1, 0);
      if (status == IO_OK) continue; // past the allocations of the first parts
      std::string bytes = m_file.bytes();
      EXPECT_EQ(golden.compare(0, bytes.size(), bytes), 0) << threads << " " << skip;
      EXPECT_EQ(messages().size(), 1u) << allMessages();
    }
  }
}

// ---------------------------------------------------------------------------------------------
// The job runner itself

// A test's steps as functions of its own, behind the runner's plain callbacks.
struct Steps {
  std::function<bool(int64_t)> m_prepare;
  std::function<void(int64_t)> m_compute;
  std::function<int(int64_t)> m_emit;
  std::function<void(int64_t)> m_discard;
  int run(int64_t count, int threads) {
    IO_pipeline pipeline = {
        this, [](void *c, int64_t i) { return static_cast<Steps *>(c)->m_prepare(i); },
        [](void *c, int64_t i) { static_cast<Steps *>(c)->m_compute(i); },
        [](void *c, int64_t i) { return static_cast<Steps *>(c)->m_emit(i); },
        [](void *c, int64_t i) { static_cast<Steps *>(c)->m_discard(i); }};
    return io_run_pipeline(count, threads, pipeline);
  }
};

TEST(Pipeline, EmitsInOrderAndComputesEveryJobOnce) {
  for (int threads : {1, 2, 5}) {
    const int64_t count = 200;
    std::vector<std::atomic<int>> computed(count);
    std::vector<int64_t> emitted;
    int64_t held = 0, most = 0;
    Steps pipeline;
    pipeline.m_prepare = [&](int64_t) {
      most = std::max(most, ++held);
      return true;
    };
    pipeline.m_compute = [&](int64_t i) { ++computed[static_cast<size_t>(i)]; };
    pipeline.m_emit = [&](int64_t i) {
      EXPECT_EQ(computed[static_cast<size_t>(i)].load(), 1);
      emitted.push_back(i);
      --held;
      return 0;
    };
    pipeline.m_discard = [&](int64_t) { ADD_FAILURE() << "nothing to discard"; };
    EXPECT_EQ(pipeline.run(count, threads), 0);
    ASSERT_EQ(emitted.size(), static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i) EXPECT_EQ(emitted[static_cast<size_t>(i)], i);
    EXPECT_LE(most, io_pipeline_window(threads)) << threads;
  }
}

TEST(Pipeline, FailuresStopInOrderAndReleaseWhatWasPrepared) {
  for (int threads : {1, 4}) {
    // A failed emit: nothing after it is emitted, every prepared job is released once.
    std::vector<int> state(100, 0); // 1 prepared, 2 computed, 3 emitted or discarded
    Steps pipeline;
    pipeline.m_prepare = [&](int64_t i) {
      state[static_cast<size_t>(i)] = 1;
      return true;
    };
    pipeline.m_compute = [&](int64_t i) { state[static_cast<size_t>(i)] = 2; };
    pipeline.m_emit = [&](int64_t i) {
      state[static_cast<size_t>(i)] = 3;
      return i == 10 ? 11 : 0;
    };
    pipeline.m_discard = [&](int64_t i) {
      EXPECT_GT(i, 10);
      state[static_cast<size_t>(i)] = 3;
    };
    EXPECT_EQ(pipeline.run(100, threads), 11);
    for (size_t i = 0; i < state.size(); ++i) EXPECT_TRUE(state[i] == 0 || state[i] == 3) << i;

    // A failed prepare: its job is emitted (to report it) without being computed, after every
    // job before it; none after it is prepared.
    std::vector<int64_t> emitted;
    std::atomic<bool> computedSeven{false};
    int64_t lastPrepared = -1;
    pipeline.m_prepare = [&](int64_t i) {
      lastPrepared = i;
      return i != 7;
    };
    pipeline.m_compute = [&](int64_t i) {
      if (i == 7) computedSeven = true;
    };
    pipeline.m_emit = [&](int64_t i) {
      emitted.push_back(i);
      return i == 7 ? 14 : 0;
    };
    pipeline.m_discard = [&](int64_t) { ADD_FAILURE() << "nothing to discard"; };
    EXPECT_EQ(pipeline.run(100, threads), 14);
    EXPECT_EQ(emitted, (std::vector<int64_t>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_FALSE(computedSeven);
    EXPECT_EQ(lastPrepared, 7);
  }
}

TEST(PipelineDeathTest, ThreadCountFromTheEnvironment) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("WEZ_COMPRESS_THREADS", "3", 1);
        int first = io_pipeline_threads();
        setenv("WEZ_COMPRESS_THREADS", "5", 1); // read once
        io_set_pipeline_threads(2);
        int overridden = io_pipeline_threads();
        io_set_pipeline_threads(0);
        exit(first == 3 && io_pipeline_threads() == 3 && overridden == 2 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        setenv("WEZ_COMPRESS_THREADS", "many", 1); // not a count: the hardware decides
        int n = io_pipeline_threads();
        exit(n >= 1 && n <= 16 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

} // namespace
