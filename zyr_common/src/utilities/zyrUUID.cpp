#include "zyrUUID.h"

#include "zyrBase64.h"
#include "zyrMD5.h"
#include "zyrMemory.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

// 100-nanosecond ticks from 1582-10-15 00:00 (the Gregorian reform) to 1970-01-01 00:00.
const uint64_t kGregorianToUnix = UINT64_C(122192928000000000);

// The process-wide generator state; lives until the process ends.
struct Generator {
  int m_nodeKnown;
  uint8_t m_node[6];
  // The previous identifier, known only once the "state" file has been read.
  int m_stateRead;
  uint64_t m_lastTimestamp;
  uint8_t m_lastNode[6];
  uint16_t m_lastClockSequence;
  // The greatest timestamp handed out by this process: every new one lies above it, so that
  // identifiers stay distinct whatever the clock's resolution.
  uint64_t m_lastIssued;
  int m_seeded;
  uint64_t m_random;
  // Set by zyrUUID_makeRepeatable: timestamps count up from m_lastIssued, and neither the clock
  // nor the files are read.
  int m_repeatable;
};

Generator g_generator;

uint64_t systemTime() {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<uint64_t>(now.tv_sec) * UINT64_C(10000000) + static_cast<uint64_t>(now.tv_nsec) / 100 +
         kGregorianToUnix;
}

// Reads up to count bytes of a file in the working directory; the number read, or -1 when it
// cannot be opened.
int64_t readSmallFile(const char *name, unsigned char *bytes, int64_t count) {
  const int fd = open(name, O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return -1;
  int64_t got = 0;
  while (got < count) {
    const ssize_t n = read(fd, bytes + got, static_cast<size_t>(count - got));
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    got += n;
  }
  close(fd);
  return got;
}

// Sixteen bytes that differ between machines and between runs: the digest of the machine's
// state, its clocks, the process and whatever the kernel's random source gives.
void randomInfo(unsigned char digest[ZYR_MD5_DIGEST_SIZE]) {
  struct {
    struct sysinfo m_system;
    struct timespec m_realTime;
    struct timespec m_monotonic;
    struct timespec m_processTime;
    pid_t m_pid;
    pid_t m_parent;
    unsigned char m_kernelRandom[16];
    char m_host[64];
  } info;
  std::memset(&info, 0, sizeof info);
  sysinfo(&info.m_system);
  clock_gettime(CLOCK_REALTIME, &info.m_realTime);
  clock_gettime(CLOCK_MONOTONIC, &info.m_monotonic);
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &info.m_processTime);
  info.m_pid = getpid();
  info.m_parent = getppid();
  if (getrandom(info.m_kernelRandom, sizeof info.m_kernelRandom, GRND_NONBLOCK) < 0)
    std::memset(info.m_kernelRandom, 0, sizeof info.m_kernelRandom);
  gethostname(info.m_host, sizeof info.m_host - 1);
  zyrMD5_digest(&info, sizeof info, digest);
}

// The private random sequence (so the host's rand() is left alone), seeded once from the clock.
uint32_t nextRandom() {
  if (!g_generator.m_seeded) {
    const uint64_t t = systemTime() >> 10;
    g_generator.m_random = (t >> 32) ^ (t & 0xFFFFFFFFu) ^ (static_cast<uint64_t>(getpid()) << 32);
    g_generator.m_seeded = 1;
  }
  // splitmix64
  uint64_t z = (g_generator.m_random += UINT64_C(0x9E3779B97F4A7C15));
  z = (z ^ (z >> 30)) * UINT64_C(0xBF58476D1CE4E5B9);
  z = (z ^ (z >> 27)) * UINT64_C(0x94D049BB133111EB);
  return static_cast<uint32_t>((z ^ (z >> 31)) >> 33);
}

void nodeId(uint8_t node[6]) {
  if (!g_generator.m_nodeKnown) {
    unsigned char bytes[6];
    if (readSmallFile("nodeid", bytes, 6) == 6) {
      std::memcpy(g_generator.m_node, bytes, 6);
    } else {
      unsigned char digest[ZYR_MD5_DIGEST_SIZE];
      randomInfo(digest);
      std::memcpy(g_generator.m_node, digest, 6);
      // A random node is marked as such (the multicast bit of a network address).
      g_generator.m_node[0] |= 0x80;
    }
    g_generator.m_nodeKnown = 1;
  }
  std::memcpy(node, g_generator.m_node, 6);
}

void readState() {
  if (g_generator.m_stateRead || g_generator.m_repeatable)
    return;
  unsigned char bytes[16];
  if (readSmallFile("state", bytes, 16) != 16)
    return;
  uint64_t timestamp = 0;
  for (int i = 7; i >= 0; --i)
    timestamp = (timestamp << 8) | bytes[i];
  g_generator.m_lastTimestamp = timestamp;
  std::memcpy(g_generator.m_lastNode, bytes + 8, 6);
  g_generator.m_lastClockSequence = static_cast<uint16_t>(bytes[14] | (bytes[15] << 8));
  g_generator.m_stateRead = 1;
}

void fill(zyrUUID *uuid, uint64_t timestamp, uint16_t clockSequence, const uint8_t node[6], uint16_t version) {
  uuid->m_timeLow = static_cast<uint32_t>(timestamp & 0xFFFFFFFFu);
  uuid->m_timeMid = static_cast<uint16_t>((timestamp >> 32) & 0xFFFF);
  uuid->m_timeHighAndVersion = static_cast<uint16_t>(((timestamp >> 48) & 0x0FFF) | version);
  uuid->m_clockSeqLow = static_cast<uint8_t>(clockSequence & 0xFF);
  uuid->m_clockSeqHighAndReserved = static_cast<uint8_t>(((clockSequence >> 8) & 0x3F) | 0x80);
  std::memcpy(uuid->m_node, node, 6);
}

zyrUUID *allocate(const char *tag) { return zyrMemory_allocateArray<zyrUUID>(1, tag); }

void toBytesLE(const uint32_t integers[4], unsigned char bytes[16]) {
  for (int i = 0; i < 4; ++i)
    for (int b = 0; b < 4; ++b)
      bytes[4 * i + b] = static_cast<unsigned char>(integers[i] >> (8 * b));
}

void toNetworkBytes(const zyrUUID *uuid, unsigned char bytes[16]) {
  bytes[0] = static_cast<unsigned char>(uuid->m_timeLow >> 24);
  bytes[1] = static_cast<unsigned char>(uuid->m_timeLow >> 16);
  bytes[2] = static_cast<unsigned char>(uuid->m_timeLow >> 8);
  bytes[3] = static_cast<unsigned char>(uuid->m_timeLow);
  bytes[4] = static_cast<unsigned char>(uuid->m_timeMid >> 8);
  bytes[5] = static_cast<unsigned char>(uuid->m_timeMid);
  bytes[6] = static_cast<unsigned char>(uuid->m_timeHighAndVersion >> 8);
  bytes[7] = static_cast<unsigned char>(uuid->m_timeHighAndVersion);
  bytes[8] = uuid->m_clockSeqHighAndReserved;
  bytes[9] = uuid->m_clockSeqLow;
  std::memcpy(bytes + 10, uuid->m_node, 6);
}

int hexValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

uint32_t hexField(const char *text, int digits) {
  uint32_t value = 0;
  for (int i = 0; i < digits; ++i)
    value = (value << 4) | static_cast<uint32_t>(hexValue(text[i]));
  return value;
}

} // namespace

void zyrUUID_seedRandom(uint64_t seed) {
  g_generator.m_random = seed;
  g_generator.m_seeded = 1;
}

void zyrUUID_makeRepeatable(uint64_t seed) {
  zyrUUID_seedRandom(seed);
  g_generator.m_repeatable = 1;
  g_generator.m_stateRead = 0;
  // A moment of the seed's within minutes after 2000-01-01 00:00, so that the identifiers look
  // like those of a real clock and the seeds' texts sort in orders of their own.
  g_generator.m_lastIssued = UINT64_C(946684800) * UINT64_C(10000000) + kGregorianToUnix + nextRandom();
  const uint32_t high = nextRandom();
  const uint32_t low = nextRandom();
  const uint8_t node[6] = {static_cast<uint8_t>(high >> 24), static_cast<uint8_t>(high >> 16),
                           static_cast<uint8_t>(high >> 8),  static_cast<uint8_t>(high),
                           static_cast<uint8_t>(low >> 24),  static_cast<uint8_t>(low >> 16)};
  std::memcpy(g_generator.m_node, node, 6);
  g_generator.m_node[0] |= 0x80; // a random node, as nodeId marks it
  g_generator.m_nodeKnown = 1;
}

zyrUUID *zyrUUID_new() {
  uint8_t node[6];
  nodeId(node);

  uint64_t timestamp = g_generator.m_repeatable ? g_generator.m_lastIssued + 1 : systemTime();
  if (g_generator.m_lastIssued != 0 && timestamp <= g_generator.m_lastIssued)
    timestamp = g_generator.m_lastIssued + 1;
  g_generator.m_lastIssued = timestamp;

  readState();
  uint16_t clockSequence;
  if (!g_generator.m_stateRead || std::memcmp(g_generator.m_lastNode, node, 6) != 0) {
    clockSequence = static_cast<uint16_t>(nextRandom() & 0x3FFF);
  } else {
    clockSequence = g_generator.m_lastClockSequence;
    // The clock went back since the previous identifier: a new sequence keeps them apart.
    if (timestamp < g_generator.m_lastTimestamp)
      clockSequence = static_cast<uint16_t>((clockSequence + 1) & 0x3FFF);
  }

  zyrUUID *uuid = allocate(__func__);
  fill(uuid, timestamp, clockSequence, node, 0x1000);

  g_generator.m_lastTimestamp = timestamp;
  std::memcpy(g_generator.m_lastNode, node, 6);
  g_generator.m_lastClockSequence = clockSequence;
  return uuid;
}

zyrUUID *zyrUUID_newFromIntegers(uint32_t first, uint32_t second, uint32_t third, uint32_t fourth) {
  zyrUUID *uuid = allocate(__func__);
  uuid->m_timeLow = first;
  uuid->m_timeMid = static_cast<uint16_t>(second >> 16);
  uuid->m_timeHighAndVersion = static_cast<uint16_t>(second & 0xFFFF);
  uuid->m_clockSeqHighAndReserved = static_cast<uint8_t>(third >> 24);
  uuid->m_clockSeqLow = static_cast<uint8_t>(third >> 16);
  uuid->m_node[0] = static_cast<uint8_t>(third >> 8);
  uuid->m_node[1] = static_cast<uint8_t>(third);
  uuid->m_node[2] = static_cast<uint8_t>(fourth >> 24);
  uuid->m_node[3] = static_cast<uint8_t>(fourth >> 16);
  uuid->m_node[4] = static_cast<uint8_t>(fourth >> 8);
  uuid->m_node[5] = static_cast<uint8_t>(fourth);
  return uuid;
}

zyrUUID *zyrUUID_newFromString(const char *text) {
  if (text == nullptr)
    return nullptr;
  for (int i = 0; i < 36; ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (text[i] == '\0' || (dash ? text[i] != '-' : hexValue(text[i]) < 0))
      return nullptr;
  }
  zyrUUID *uuid = allocate(__func__);
  uuid->m_timeLow = hexField(text, 8);
  uuid->m_timeMid = static_cast<uint16_t>(hexField(text + 9, 4));
  uuid->m_timeHighAndVersion = static_cast<uint16_t>(hexField(text + 14, 4));
  uuid->m_clockSeqHighAndReserved = static_cast<uint8_t>(hexField(text + 19, 2));
  uuid->m_clockSeqLow = static_cast<uint8_t>(hexField(text + 21, 2));
  for (int i = 0; i < 6; ++i)
    uuid->m_node[i] = static_cast<uint8_t>(hexField(text + 24 + 2 * i, 2));
  return uuid;
}

zyrUUID *zyrUUID_newFromBase64(const char *text) {
  if (text == nullptr || text[0] == '_')
    return nullptr;
  // The 22 characters may be followed by anything (they are read from packed arrays); only
  // alphabet characters count, so white space and padding inside are refused.
  char padded[25];
  for (int i = 0; i < 22; ++i) {
    const char c = text[i];
    const bool alphabet = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                          c == '+' || c == '/';
    if (!alphabet)
      return nullptr;
    padded[i] = c;
  }
  std::memcpy(padded + 22, "==", 3);
  unsigned char bytes[16];
  if (zyrBase64_decode(padded, bytes, sizeof bytes) != 16)
    return nullptr;
  uint32_t integers[4];
  for (int i = 0; i < 4; ++i)
    integers[i] = static_cast<uint32_t>(bytes[4 * i]) | static_cast<uint32_t>(bytes[4 * i + 1]) << 8 |
                  static_cast<uint32_t>(bytes[4 * i + 2]) << 16 | static_cast<uint32_t>(bytes[4 * i + 3]) << 24;
  return zyrUUID_newFromIntegers(integers[0], integers[1], integers[2], integers[3]);
}

zyrUUID *zyrUUID_newFromName(const zyrUUID *nameSpace, const void *name, int64_t length) {
  if (nameSpace == nullptr || length < 0 || (name == nullptr && length > 0))
    return nullptr;
  unsigned char bytes[16];
  toNetworkBytes(nameSpace, bytes);
  zyrMD5Context context;
  MD5Init(&context);
  MD5Update(&context, bytes, sizeof bytes);
  if (length > 0)
    MD5Update(&context, name, static_cast<size_t>(length));
  unsigned char digest[ZYR_MD5_DIGEST_SIZE];
  MD5Final(digest, &context);

  zyrUUID *uuid = allocate(__func__);
  uuid->m_timeLow = static_cast<uint32_t>(digest[0]) << 24 | static_cast<uint32_t>(digest[1]) << 16 |
                    static_cast<uint32_t>(digest[2]) << 8 | digest[3];
  uuid->m_timeMid = static_cast<uint16_t>(digest[4] << 8 | digest[5]);
  uuid->m_timeHighAndVersion = static_cast<uint16_t>(((digest[6] << 8 | digest[7]) & 0x0FFF) | 0x3000);
  uuid->m_clockSeqHighAndReserved = static_cast<uint8_t>((digest[8] & 0x3F) | 0x80);
  uuid->m_clockSeqLow = digest[9];
  std::memcpy(uuid->m_node, digest + 10, 6);
  return uuid;
}

void zyrUUID_delete(zyrUUID *uuid) { zyrMemory_free(uuid, __func__); }

void zyrUUID_toIntegers(const zyrUUID *uuid, uint32_t integers[4]) {
  integers[0] = uuid->m_timeLow;
  integers[1] = static_cast<uint32_t>(uuid->m_timeMid) << 16 | uuid->m_timeHighAndVersion;
  integers[2] = static_cast<uint32_t>(uuid->m_clockSeqHighAndReserved) << 24 |
                static_cast<uint32_t>(uuid->m_clockSeqLow) << 16 | static_cast<uint32_t>(uuid->m_node[0]) << 8 |
                uuid->m_node[1];
  integers[3] = static_cast<uint32_t>(uuid->m_node[2]) << 24 | static_cast<uint32_t>(uuid->m_node[3]) << 16 |
                static_cast<uint32_t>(uuid->m_node[4]) << 8 | uuid->m_node[5];
}

void zyrUUID_toString(const zyrUUID *uuid, char *text) {
  std::snprintf(text, ZYR_UUID_TEXT_SIZE, "%8.8lx-%4.4x-%4.4x-%2.2x%2.2x-%2.2x%2.2x%2.2x%2.2x%2.2x%2.2x",
                static_cast<unsigned long>(uuid->m_timeLow), uuid->m_timeMid, uuid->m_timeHighAndVersion,
                uuid->m_clockSeqHighAndReserved, uuid->m_clockSeqLow, uuid->m_node[0], uuid->m_node[1],
                uuid->m_node[2], uuid->m_node[3], uuid->m_node[4], uuid->m_node[5]);
}

void zyrUUID_toBase64(const zyrUUID *uuid, char *text) {
  if (uuid == nullptr) {
    std::memcpy(text, ZYR_NULL_UUID_STRING, sizeof ZYR_NULL_UUID_STRING);
    return;
  }
  uint32_t integers[4];
  zyrUUID_toIntegers(uuid, integers);
  unsigned char bytes[16];
  toBytesLE(integers, bytes);
  char full[25];
  zyrBase64_encode(bytes, sizeof bytes, full, sizeof full);
  std::memcpy(text, full, 22);
  text[22] = '\0';
}

void zyrUUID_print(const zyrUUID *uuid, FILE *stream) {
  char text[ZYR_UUID_TEXT_SIZE];
  zyrUUID_toString(uuid, text);
  std::fprintf(stream, "%s\n", text);
}

int zyrUUID_compare(const zyrUUID *a, const zyrUUID *b) {
  auto order = [](uint32_t x, uint32_t y) { return x < y ? -1 : (x > y ? 1 : 0); };
  int result = order(a->m_timeLow, b->m_timeLow);
  if (result == 0)
    result = order(a->m_timeMid, b->m_timeMid);
  if (result == 0)
    result = order(a->m_timeHighAndVersion, b->m_timeHighAndVersion);
  if (result == 0)
    result = order(a->m_clockSeqHighAndReserved, b->m_clockSeqHighAndReserved);
  if (result == 0)
    result = order(a->m_clockSeqLow, b->m_clockSeqLow);
  for (int i = 0; result == 0 && i < 6; ++i)
    result = order(a->m_node[i], b->m_node[i]);
  return result;
}

int zyrUUID_isEqual(const zyrUUID *a, const zyrUUID *b) { return zyrUUID_compare(a, b) == 0 ? 1 : 0; }

int zyrUUID_isNullString(const char *text) {
  return text != nullptr && std::strcmp(text, ZYR_NULL_UUID_STRING) == 0 ? 1 : 0;
}

int64_t zyrUUID_hash(const zyrUUID *uuid, uint64_t size) {
  if (size < 2)
    return 0;
  char text[ZYR_UUID_BASE64_SIZE];
  zyrUUID_toBase64(uuid, text);
  uint32_t h = 0;
  uint32_t a = 31415;
  for (const char *p = text; *p != '\0'; ++p) {
    const int32_t c = static_cast<signed char>(*p);
    const int32_t t = static_cast<int32_t>(a * h + static_cast<uint32_t>(c));
    const uint64_t r = static_cast<uint64_t>(static_cast<int64_t>(t)) % size;
    // The low 32 bits, made positive when they read as a negative number.
    const int32_t low = static_cast<int32_t>(static_cast<uint32_t>(r));
    h = low < 0 ? 0u - static_cast<uint32_t>(low) : static_cast<uint32_t>(low);
    const int32_t ab = static_cast<int32_t>(a * 27183u);
    a = static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(ab)) % (size - 1));
  }
  return static_cast<int64_t>(h);
}
