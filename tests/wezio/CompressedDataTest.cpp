// Compressed arrays and blocks: the stored frames (length field, zlib stream, pad, -1 fallback)
// built by hand with zlib's own compress2, which uses the same parameters as the writer.
#include "data_part.h"
#include "io_alloc.h"
#include "io_compress.h"
#include "iodata.h"
#include "lowlevel_io.h"
#include "wezio_test_util.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <climits>
#include <random>

using namespace wezio_test;

namespace {

std::string zlibStream(const std::string &raw, int level) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string out(size, '\0');
  EXPECT_EQ(compress2(reinterpret_cast<Bytef *>(&out[0]), &size,
                      reinterpret_cast<const Bytef *>(raw.data()), static_cast<uLong>(raw.size()),
                      level),
            Z_OK);
  out.resize(size);
  return out;
}

std::string inflated(const std::string &stream, size_t size) {
  std::string out(size, '\0');
  uLongf got = size;
  EXPECT_EQ(uncompress(reinterpret_cast<Bytef *>(&out[0]), &got,
                       reinterpret_cast<const Bytef *>(stream.data()),
                       static_cast<uLong>(stream.size())),
            Z_OK);
  EXPECT_EQ(got, size);
  return out;
}

// The stream padded with zeros to whole values of `width` bytes.
std::string padded(std::string stream, size_t width) {
  while (stream.size() % width) stream += '\0';
  return stream;
}

std::string randomBytes(size_t n, unsigned seed) {
  std::mt19937 generator(seed);
  std::string s;
  for (size_t i = 0; i < n; ++i) s += static_cast<char>(generator() & 0xFF);
  return s;
}

class CompressedDataTest : public testing::Test {
protected:
  void SetUp() override {
    messages().clear();
    m_data = iodata_alloc(captureMessage);
  }
  void TearDown() override {
    io_alloc_fail(-1, 0);
    iodata_free(captureMessage, m_data);
  }
  void intrs(int32_t n, int32_t (*value)(int32_t)) {
    *m_data->m_numintr = n;
    ASSERT_EQ(iodata_alloc_arrays(captureMessage, m_data), IO_OK);
    for (int32_t i = 0; i < n; ++i) m_data->m_intrarray[i] = value(i);
  }
  std::string written(const char *format, int64_t number, const char *type) {
    m_file.reset("");
    EXPECT_EQ(write_data(captureMessage, format, fp(), number, type, m_data), IO_OK)
        << allMessages();
    return m_file.bytes();
  }
  // Reads from the bytes into m_back (arrays sized first); the status.
  int readInto(const std::string &bytes, const char *format, int64_t number, const char *type,
               int32_t blockFactor = 0) {
    m_file.reset(bytes);
    iodata_free(nullptr, m_back);
    m_back = iodata_alloc(captureMessage);
    check_memory(captureMessage, format, number, type, m_back);
    EXPECT_EQ(iodata_alloc_arrays(captureMessage, m_back), IO_OK);
    int status = blockFactor ? read_data_blocks(captureMessage, format, fp(), number, blockFactor,
                                                type, m_back)
                             : read_data(captureMessage, format, fp(), number, type, m_back);
    if (status == IO_OK) {
      EXPECT_EQ(io_tell(fp()), static_cast<int64_t>(bytes.size()));
    }
    return status;
  }
  ~CompressedDataTest() override { iodata_free(nullptr, m_back); }
  ScratchStream m_file;
  IO_data *m_data = nullptr;
  IO_data *m_back = nullptr;
  FILE *fp() { return m_file.m_stream; }
};

int32_t ramp(int32_t i) { return i / 3; }

TEST(CompressLevel, DigitsOneToNineOfBinaryLetters) {
  EXPECT_EQ(iofmt_compress_level("u5"), 5);
  EXPECT_EQ(iofmt_compress_level("U9"), 9);
  EXPECT_EQ(iofmt_compress_level("l1"), 1);
  EXPECT_EQ(iofmt_compress_level("L7"), 7);
  EXPECT_EQ(iofmt_compress_level("u0"), 0); // "0" is no digit
  EXPECT_EQ(iofmt_compress_level("u"), 0);
  EXPECT_EQ(iofmt_compress_level("uX"), 0);
  EXPECT_EQ(iofmt_compress_level("F5"), 0);
  EXPECT_EQ(iofmt_compress_level("D5"), 0);
  EXPECT_EQ(iofmt_compress_level(nullptr), 0);
}

TEST(IoGzip, ResultsInWholeValues) {
  std::string raw(4000, 'a');
  std::string out(4000, '\x55');
  int64_t written = 7;
  int64_t n = io_gzip('i', 0, 1000, raw.data(), 1000, &out[0], &written); // level 0 -> 5
  std::string stream = zlibStream(raw, 5);
  EXPECT_EQ(n, static_cast<int64_t>((stream.size() + 3) / 4));
  EXPECT_EQ(written, n);
  EXPECT_EQ(out.substr(0, static_cast<size_t>(n) * 4), padded(stream, 4));
  EXPECT_EQ(io_gzip('d', 5, 500, raw.data(), 500, &out[0], nullptr),
            static_cast<int64_t>((stream.size() + 7) / 8));
  EXPECT_EQ(io_gzip('q', 5, 500, raw.data(), 500, &out[0], &written), 0);
  EXPECT_EQ(written, 0);
  std::string noise = randomBytes(400, 1);
  EXPECT_EQ(io_gzip('c', 9, 400, noise.data(), 400, &out[0], &written), -1);
}

// ---------------------------------------------------------------------------------------------
// Plain arrays

TEST_F(CompressedDataTest, IntrArraysFromAHundredValuesUp) {
  bool sawPad = false;
  for (int32_t number : {150, 151, 152, 153, 170}) {
    intrs(number, ramp);
    std::string raw;
    for (int32_t i = 0; i < number; ++i) raw += le32(static_cast<uint32_t>(ramp(i)));
    std::string stream = zlibStream(raw, 5);
    sawPad = sawPad || stream.size() % 4 != 0;
    std::string expected =
        le32(static_cast<uint32_t>(padded(stream, 4).size())) + padded(stream, 4);
    EXPECT_EQ(written("u5", number, "INTR"), expected) << number;
    ASSERT_EQ(readInto(expected, "u5", number, "INTR"), IO_OK) << allMessages();
    for (int32_t i = 0; i < number; ++i) ASSERT_EQ(m_back->m_intrarray[i], ramp(i));

    // Eight-byte length for L and l; big-endian frames read as well.
    expected = le64(padded(stream, 4).size()) + padded(stream, 4);
    EXPECT_EQ(written("l5", number, "INTR"), expected);
    std::string rawBig;
    for (int32_t i = 0; i < number; ++i) rawBig += be32(static_cast<uint32_t>(ramp(i)));
    std::string big = padded(zlibStream(rawBig, 3), 4);
    ASSERT_EQ(readInto(be32(static_cast<uint32_t>(big.size())) + big, "U3", number, "INTR"), IO_OK);
    for (int32_t i = 0; i < number; ++i) ASSERT_EQ(m_back->m_intrarray[i], ramp(i));
    ASSERT_EQ(readInto(be64(big.size()) + big, "L3", number, "INTR"), IO_OK);
    EXPECT_EQ(m_back->m_intrarray[number - 1], ramp(number - 1));
  }
  EXPECT_TRUE(sawPad); // so some case above had pad bytes, and they were zero

  // Below a hundred values, without a digit, or with the digit 0: plain values.
  intrs(99, ramp);
  EXPECT_EQ(written("u5", 99, "INTR").size(), 396u);
  intrs(150, ramp);
  EXPECT_EQ(written("u", 150, "INTR").size(), 600u);
  intrs(150, ramp);
  std::string plain = written("u0", 150, "INTR");
  EXPECT_EQ(plain.size(), 600u);
  ASSERT_EQ(readInto(plain, "u0", 150, "INTR"), IO_OK);
  EXPECT_EQ(m_back->m_intrarray[149], ramp(149));
  EXPECT_TRUE(messages().empty()) << allMessages();
}

TEST_F(CompressedDataTest, RealDbleCharAndLoglArrays) {
  *m_data->m_numdble = 1000;
  ASSERT_EQ(iodata_alloc_arrays(captureMessage, m_data), IO_OK);
  std::string rawBig;
  for (int i = 0; i < 1000; ++i) {
    m_data->m_dblearray[i] = 2.5;
    rawBig += be64(doubleBits(2.5));
  }
  std::string bytes = written("l9", 1000, "DBLE");
  int64_t length = 0;
  memcpy(&length, bytes.data(), 8);
  EXPECT_EQ(length % 8, 0);
  EXPECT_LT(length, 100);
  std::string raw(reinterpret_cast<const char *>(m_data->m_dblearray), 8000);
  EXPECT_EQ(bytes.substr(8), padded(zlibStream(raw, 9), 8));

  std::string big = padded(zlibStream(rawBig, 9), 8);
  ASSERT_EQ(readInto(be64(big.size()) + big, "L9", 1000, "DBLE"), IO_OK);
  EXPECT_EQ(m_back->m_dblearray[999], 2.5);

  std::string text(300, 'x');
  ASSERT_EQ(iodata_set_chars(captureMessage, m_data, text.data(), 300), IO_OK);
  std::string stream = zlibStream(text, 1);
  EXPECT_EQ(written("u1", 300, "CHAR"), le32(static_cast<uint32_t>(stream.size())) + stream);
  ASSERT_EQ(readInto(le32(static_cast<uint32_t>(stream.size())) + stream, "u1", 300, "CHAR"),
            IO_OK);
  EXPECT_EQ(std::string(m_back->m_chararray, 300), text);

  // Strings are never compressed.
  *m_data->m_numstring = 200;
  ASSERT_EQ(iodata_alloc_arrays(captureMessage, m_data), IO_OK);
  memset(m_data->m_stringarray, 0, 200 * sizeof(IO_string));
  EXPECT_EQ(written("u9", 200, "STRI:4"), std::string(800, '\0'));
}

TEST_F(CompressedDataTest, ArraysThatDoNotShrinkAreStoredPlainlyAfterMinusOne) {
  std::string noise = randomBytes(100, 7);
  *m_data->m_numlogl = 100;
  ASSERT_EQ(iodata_alloc_arrays(captureMessage, m_data), IO_OK);
  memcpy(m_data->m_loglarray, noise.data(), 100);
  std::string expected = le32(0xFFFFFFFFu) + noise;
  EXPECT_EQ(written("u9", 100, "LOGL"), expected);
  ASSERT_EQ(readInto(expected, "u9", 100, "LOGL"), IO_OK);
  EXPECT_EQ(std::string(m_back->m_loglarray, 100), noise);
  *m_data->m_numlogl = 100;
  EXPECT_EQ(written("l9", 100, "LOGL"), le64(~uint64_t(0)) + noise);

  // Big-endian values after -1 are reversed like any plain array.
  std::string rawBig;
  for (int i = 0; i < 100; ++i) rawBig += be32(static_cast<uint32_t>(i * 7919));
  ASSERT_EQ(readInto(be32(0xFFFFFFFFu) + rawBig, "U5", 100, "INTR"), IO_OK);
  EXPECT_EQ(m_back->m_intrarray[99], 99 * 7919);
  EXPECT_TRUE(messages().empty()) << allMessages();
}

// ---------------------------------------------------------------------------------------------
// Structure blocks

TEST_F(CompressedDataTest, StructureBlocksFromAHundredBytesUp) {
  const char *type = "STRC{INTR:1 STRI:5 DBLE:1}"; // 17 bytes a record
  check_memory(captureMessage, "u5", 10, type, m_data);
  ASSERT_EQ(iodata_alloc_arrays(captureMessage, m_data), IO_OK);
  memset(m_data->m_stringarray, 'X', 10 * sizeof(IO_string));
  std::string raw;
  for (int r = 0; r < 10; ++r) {
    m_data->m_intrarray[r] = r * 11;
    snprintf(m_data->m_stringarray[r], 5, "s%d", r);
    m_data->m_dblearray[r] = r / 4.0;
    raw += le32(static_cast<uint32_t>(r * 11)) + "s" + std::to_string(r) + std::string(3, '\0') +
           le64(doubleBits(r / 4.0));
  }
  ASSERT_EQ(raw.size(), 170u);
  std::string stream = zlibStream(raw, 5);
  std::string expected = le32(static_cast<uint32_t>(stream.size())) + stream; // exact length
  EXPECT_EQ(written("u5", 10, type), expected);
  EXPECT_EQ(inflated(expected.substr(4), 170), raw);
  ASSERT_EQ(readInto(expected, "u5", 10, type), IO_OK) << allMessages();
  for (int r = 0; r < 10; ++r) {
    EXPECT_EQ(m_back->m_intrarray[r], r * 11);
    EXPECT_EQ(std::string(m_back->m_stringarray[r]), "s" + std::to_string(r));
    EXPECT_EQ(m_back->m_dblearray[r], r / 4.0);
  }
  // The same block written by a big-endian machine.
  std::string rawBig;
  for (int r = 0; r < 10; ++r)
    rawBig += be32(static_cast<uint32_t>(r * 11)) + "s" + std::to_string(r) +
              std::string(3, '\0') + be64(doubleBits(r / 4.0));
  std::string big = zlibStream(rawBig, 2);
  ASSERT_EQ(readInto(be32(static_cast<uint32_t>(big.size())) + big, "U2", 10, type), IO_OK);
  EXPECT_EQ(m_back->m_intrarray[9], 99);
  EXPECT_EQ(m_back->m_dblearray[9], 9 / 4.0);
  EXPECT_STREQ(m_back->m_stringarray[9], "s9");

  // Five records are 85 bytes: stored raw.
  check_memory(captureMessage, "u5", 5, type, m_data);
  EXPECT_EQ(written("u5", 5, type), raw.substr(0, 85));
}

TEST_F(CompressedDataTest, IncompressibleBlocksAreStillWritten) {
  const char *type = "STRC{LOGL:1 CHAR:3}";
  std::string noise = randomBytes(200, 3);
  check_memory(captureMessage, "u9", 50, type, m_data);
  ASSERT_EQ(iodata_alloc_arrays(captureMessage, m_data), IO_OK);
  for (int r = 0; r < 50; ++r) {
    m_data->m_loglarray[r] = noise[4 * r];
    memcpy(m_data->m_chararray + 3 * r, noise.data() + 4 * r + 1, 3);
  }
  std::string bytes = written("u9", 50, type);
  uint32_t length;
  memcpy(&length, bytes.data(), 4);
  EXPECT_GT(length, 200u);
  EXPECT_EQ(bytes.size(), 4u + length);
  EXPECT_EQ(inflated(bytes.substr(4), 200), noise);
  ASSERT_EQ(readInto(bytes, "u9", 50, type), IO_OK) << allMessages();
  EXPECT_EQ(std::string(m_back->m_chararray, 150).substr(0, 3), noise.substr(1, 3));
  EXPECT_EQ(m_back->m_loglarray[49], noise[196]);
}

// ---------------------------------------------------------------------------------------------
// Chunks

TEST_F(CompressedDataTest, CompressedDataPartsGoInChunksOfTheBlockFactor) {
  intrs(250, ramp);
  std::string raw;
  for (int32_t i = 0; i < 250; ++i) raw += le32(static_cast<uint32_t>(ramp(i)));
  m_file.reset("");
  ASSERT_EQ(write_data_blocks(captureMessage, "u5", fp(), 250, 100, "INTR", m_data), IO_OK);
  std::string bytes = m_file.bytes();
  // Two compressed chunks of 100 values, then 50 plain ones.
  std::string expected;
  for (int k = 0; k < 2; ++k) {
    std::string chunk = padded(zlibStream(raw.substr(400 * k, 400), 5), 4);
    expected += le32(static_cast<uint32_t>(chunk.size())) + chunk;
  }
  expected += raw.substr(800);
  EXPECT_EQ(bytes, expected);
  ASSERT_EQ(readInto(bytes, "u5", 250, "INTR", 100), IO_OK) << allMessages();
  for (int32_t i = 0; i < 250; ++i) ASSERT_EQ(m_back->m_intrarray[i], ramp(i));
  EXPECT_EQ(*m_back->m_numintr, 250);

  // An unset factor is 100000: one chunk. Without a digit: all at once, plainly.
  intrs(250, ramp);
  m_file.reset("");
  ASSERT_EQ(write_data_blocks(captureMessage, "u5", fp(), 250, 1, "INTR", m_data), IO_OK);
  std::string whole = padded(zlibStream(raw, 5), 4);
  EXPECT_EQ(m_file.bytes(), le32(static_cast<uint32_t>(whole.size())) + whole);
  m_file.reset("");
  ASSERT_EQ(write_data_blocks(captureMessage, "u", fp(), 250, 100, "INTR", m_data), IO_OK);
  EXPECT_EQ(m_file.bytes(), raw);
  ASSERT_EQ(readInto(raw, "u", 250, "INTR", 100), IO_OK);

  // Structure records: 10, 10 (120-byte blocks, compressed) and 5 (60 bytes, raw).
  const char *type = "STRC{INTR:2 REAL:1}";
  check_memory(captureMessage, "u5", 25, type, m_data);
  ASSERT_EQ(iodata_alloc_arrays(captureMessage, m_data), IO_OK);
  std::string block;
  for (int r = 0; r < 25; ++r) {
    m_data->m_intrarray[2 * r] = r;
    m_data->m_intrarray[2 * r + 1] = 2 * r;
    m_data->m_realarray[r] = 0.5f * static_cast<float>(r);
    block += le32(static_cast<uint32_t>(r)) + le32(static_cast<uint32_t>(2 * r)) +
             le32(floatBits(0.5f * static_cast<float>(r)));
  }
  m_file.reset("");
  ASSERT_EQ(write_data_blocks(captureMessage, "u5", fp(), 25, 10, type, m_data), IO_OK);
  expected.clear();
  for (int k = 0; k < 2; ++k) {
    std::string chunk = zlibStream(block.substr(120 * k, 120), 5);
    expected += le32(static_cast<uint32_t>(chunk.size())) + chunk;
  }
  expected += block.substr(240);
  EXPECT_EQ(m_file.bytes(), expected);
  ASSERT_EQ(readInto(expected, "u5", 25, type, 10), IO_OK) << allMessages();
  for (int r = 0; r < 25; ++r) {
    ASSERT_EQ(m_back->m_intrarray[2 * r + 1], 2 * r);
    ASSERT_EQ(m_back->m_realarray[r], 0.5f * static_cast<float>(r));
  }
  EXPECT_TRUE(messages().empty()) << allMessages();
}

// ---------------------------------------------------------------------------------------------
// Bad stored data

TEST_F(CompressedDataTest, StoredLengthsAreChecked) {
  std::string raw;
  for (int32_t i = 0; i < 100; ++i) raw += le32(static_cast<uint32_t>(ramp(i)));
  std::string stream = padded(zlibStream(raw, 5), 4);

  EXPECT_EQ(readInto(le32(0) + stream, "u5", 100, "INTR"), IO_COMPRESS_ERR);
  EXPECT_EQ(allMessages(), "read_compressed_dataarray: invalid input or output buffer too small\n");
  // A length beyond any stream of 400 bytes is refused before a buffer is allocated for it
  // (with every allocation failing, an attempt would answer 14).
  m_file.reset(le32(0x7FFFFFF0u) + stream);
  io_alloc_fail(0, -1);
  EXPECT_EQ(read_compressed_dataarray(captureMessage, "u5", fp(), 100, IO_TYPE_INTR, 1, m_back),
            IO_COMPRESS_ERR);
  io_alloc_fail(-1, 0);
  messages().clear();
  EXPECT_EQ(readInto(le32(0x7FFFFFF0u) + stream, "u5", 100, "INTR"), IO_COMPRESS_ERR);
  EXPECT_EQ(allMessages(),
            "read_compressed_dataarray: compressed length 2147483632 is more than 400 bytes of "
            "data can take\n");
  messages().clear();
  EXPECT_EQ(readInto(le64(uint64_t(1) << 31) + stream, "l5", 100, "INTR"), IO_FORMAT_ERR);
  EXPECT_EQ(allMessages(),
            "read_compressed_dataarray: offset 2147483648 too large for integer,\nwould be written "
            "as -2147483648.  Possibly compressed chunk >2Gb.\n");
  messages().clear();
  EXPECT_EQ(readInto(le32(static_cast<uint32_t>(stream.size() + 8)) + stream, "u5", 100, "INTR"),
            IO_READ_ERR);
  EXPECT_EQ(allMessages(), "compressed_dataarray: read compressed data failed\n");
  messages().clear();
  EXPECT_EQ(readInto(le32(2) + "\x01", "u5", 100, "INTR"), IO_READ_ERR);
  messages().clear();
  EXPECT_EQ(readInto("\x01", "u5", 100, "INTR"), IO_READ_ERR);
  EXPECT_NE(allMessages().find("read_compressed_dataarray: can not read the compressed data "
                               "length\n"),
            std::string::npos);

  // Blocks: -1 and 0 are both refused.
  const char *type = "STRC{INTR:20 LOGL:30}";
  messages().clear();
  EXPECT_EQ(readInto(le32(0xFFFFFFFFu) + std::string(110, '\0'), "u5", 1, type), IO_COMPRESS_ERR);
  EXPECT_EQ(allMessages(), "read_unfmt_structure: invalid input or output buffer too small\n");
}

TEST_F(CompressedDataTest, StreamsThatExpandWronglyAreRefused) {
  std::string raw;
  for (int32_t i = 0; i < 99; ++i) raw += le32(static_cast<uint32_t>(ramp(i)));
  std::string stream = padded(zlibStream(raw, 5), 4);
  // 99 values stored where 100 are expected.
  EXPECT_EQ(readInto(le32(static_cast<uint32_t>(stream.size())) + stream, "u5", 100, "INTR"),
            IO_COMPRESS_ERR);
  EXPECT_EQ(allMessages(), "io_gunzip: decompressed too little data: got 396 bytes, expected 400\n"
                           "read_compressed_dataarray: decompression failed\n");
  messages().clear();
  stream = padded(zlibStream(raw + le32(7), 5), 4);
  std::string broken = stream;
  broken[2] = static_cast<char>(broken[2] ^ 0x40);
  broken[3] = static_cast<char>(broken[3] ^ 0x7F);
  EXPECT_EQ(readInto(le32(static_cast<uint32_t>(broken.size())) + broken, "u5", 100, "INTR"),
            IO_COMPRESS_ERR);
  EXPECT_EQ(messages().front().rfind("io_gunzip: ", 0), 0u);
  EXPECT_EQ(messages().back(), "read_compressed_dataarray: decompression failed\n");
  messages().clear();
  std::string cut = stream.substr(0, stream.size() / 2);
  cut = padded(cut, 4);
  EXPECT_EQ(readInto(le32(static_cast<uint32_t>(cut.size())) + cut, "u5", 100, "INTR"),
            IO_COMPRESS_ERR);
  EXPECT_EQ(messages().front(), "io_gunzip: Buffer error\n");

  // A block whose stream expands to more than the block.
  std::string block(120, 'b');
  std::string longer = zlibStream(block + "extra", 5);
  messages().clear();
  EXPECT_EQ(readInto(le32(static_cast<uint32_t>(longer.size())) + longer, "u5", 10,
                     "STRC{INTR:2 REAL:1}"),
            IO_COMPRESS_ERR);
  EXPECT_EQ(allMessages(),
            "io_gunzip: Buffer error\nread_unfmt_structure: error decompressing data\n");
}

TEST_F(CompressedDataTest, LevelsAndWriteFailures) {
  intrs(150, ramp);
  EXPECT_EQ(write_compressed_dataarray(captureMessage, "u0", fp(), 150, IO_TYPE_INTR, 1, m_data),
            IO_COMPRESS_ERR);
  EXPECT_EQ(read_compressed_dataarray(captureMessage, "u", fp(), 150, IO_TYPE_INTR, 1, m_data),
            IO_COMPRESS_ERR);
  EXPECT_EQ(write_compressed_dataarray(captureMessage, "u5", fp(), 150, IO_TYPE_STRI, 1, m_data),
            IO_FORMAT_ERR);
  EXPECT_EQ(allMessages(), "read_unfmt_structure: the compress level in the data is wrong\n"
                           "read_compressed_dataarray: the compress level in the data is wrong\n"
                           "read_single_dataarray: unknown data format 0\n");
  EXPECT_EQ(m_file.bytes(), "");

  FILE *full = openFullDevice();
  ASSERT_NE(full, nullptr);
  messages().clear();
  EXPECT_EQ(write_data(captureMessage, "u5", full, 150, "INTR", m_data), IO_WRITE_ERR);
  EXPECT_EQ(messages().back(), "wezwriteIntr: writing the compressed length failed\n");
  check_memory(captureMessage, "u5", 10, "STRC{INTR:2 REAL:1}", m_data);
  ASSERT_EQ(iodata_alloc_arrays(captureMessage, m_data), IO_OK);
  messages().clear();
  EXPECT_EQ(write_data(captureMessage, "u5", full, 10, "STRC{INTR:2 REAL:1}", m_data),
            IO_WRITE_ERR);
  EXPECT_EQ(messages().back(), "write_data: writing the compressed length failed\n");
  fclose(full);

  // Out of memory for the output buffer of an array, and of a block.
  intrs(150, ramp);
  messages().clear();
  io_alloc_fail(0, 1);
  EXPECT_EQ(write_data(captureMessage, "u5", fp(), 150, "INTR", m_data), IO_MEMORY_ERR);
  EXPECT_EQ(allMessages(), "read_unfmt_structure: malloc failed\n");
  check_memory(captureMessage, "u5", 10, "STRC{INTR:2 REAL:1}", m_data);
  ASSERT_EQ(iodata_alloc_arrays(captureMessage, m_data), IO_OK);
  messages().clear();
  io_alloc_fail(1, 1); // the block itself, then its compressed copy
  EXPECT_EQ(write_data(captureMessage, "u5", fp(), 10, "STRC{INTR:2 REAL:1}", m_data),
            IO_COMPRESS_ERR);
  EXPECT_EQ(allMessages(), "write_data: malloc failed in compression\n");
  EXPECT_EQ(m_file.bytes(), "");
}

} // namespace
