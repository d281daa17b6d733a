#include "zyrMD5.h"

#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

namespace {

// Message words are little-endian. memcpy keeps unaligned loads defined and compiles to a
// single load on little-endian machines, so blocks are read in place from the caller's buffer.
inline uint32_t load32(const unsigned char *p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
#else
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
#endif
}

inline void store32(unsigned char *p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

inline uint32_t rotl(uint32_t x, int s) { return (x << s) | (x >> (32 - s)); }

// The auxiliary functions in forms with fewer operations than the textbook ones. G is
// (x & z) | (y & ~z) written as a sum: the two terms share no bit, so adding them is the same
// as ORing, and each can be added into a on its own without waiting for the other.
#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))

#define MD5_STEP(f, a, b, c, d, k, t, s)                                                       \
  a += f(b, c, d) + load32(block + 4 * (k)) + (t);                                             \
  a = rotl(a, s) + b
#define MD5_GSTEP(a, b, c, d, k, t, s)                                                         \
  a += load32(block + 4 * (k)) + (t) + (~(d) & (c));                                           \
  a += (d) & (b);                                                                              \
  a = rotl(a, s) + b

// Runs count whole 64-byte blocks through the compression function.
void md5Blocks(uint32_t state[4], const unsigned char *block, size_t count) {
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (; count > 0; --count, block += ZYR_MD5_BLOCK_SIZE) {
    const uint32_t a0 = a, b0 = b, c0 = c, d0 = d;

    MD5_STEP(MD5_F, a, b, c, d, 0, 0xd76aa478, 7);
    MD5_STEP(MD5_F, d, a, b, c, 1, 0xe8c7b756, 12);
    MD5_STEP(MD5_F, c, d, a, b, 2, 0x242070db, 17);
    MD5_STEP(MD5_F, b, c, d, a, 3, 0xc1bdceee, 22);
    MD5_STEP(MD5_F, a, b, c, d, 4, 0xf57c0faf, 7);
    MD5_STEP(MD5_F, d, a, b, c, 5, 0x4787c62a, 12);
    MD5_STEP(MD5_F, c, d, a, b, 6, 0xa8304613, 17);
    MD5_STEP(MD5_F, b, c, d, a, 7, 0xfd469501, 22);
    MD5_STEP(MD5_F, a, b, c, d, 8, 0x698098d8, 7);
    MD5_STEP(MD5_F, d, a, b, c, 9, 0x8b44f7af, 12);
    MD5_STEP(MD5_F, c, d, a, b, 10, 0xffff5bb1, 17);
    MD5_STEP(MD5_F, b, c, d, a, 11, 0x895cd7be, 22);
    MD5_STEP(MD5_F, a, b, c, d, 12, 0x6b901122, 7);
    MD5_STEP(MD5_F, d, a, b, c, 13, 0xfd987193, 12);
    MD5_STEP(MD5_F, c, d, a, b, 14, 0xa679438e, 17);
    MD5_STEP(MD5_F, b, c, d, a, 15, 0x49b40821, 22);

    MD5_GSTEP(a, b, c, d, 1, 0xf61e2562, 5);
    MD5_GSTEP(d, a, b, c, 6, 0xc040b340, 9);
    MD5_GSTEP(c, d, a, b, 11, 0x265e5a51, 14);
    MD5_GSTEP(b, c, d, a, 0, 0xe9b6c7aa, 20);
    MD5_GSTEP(a, b, c, d, 5, 0xd62f105d, 5);
    MD5_GSTEP(d, a, b, c, 10, 0x02441453, 9);
    MD5_GSTEP(c, d, a, b, 15, 0xd8a1e681, 14);
    MD5_GSTEP(b, c, d, a, 4, 0xe7d3fbc8, 20);
    MD5_GSTEP(a, b, c, d, 9, 0x21e1cde6, 5);
    MD5_GSTEP(d, a, b, c, 14, 0xc33707d6, 9);
    MD5_GSTEP(c, d, a, b, 3, 0xf4d50d87, 14);
    MD5_GSTEP(b, c, d, a, 8, 0x455a14ed, 20);
    MD5_GSTEP(a, b, c, d, 13, 0xa9e3e905, 5);
    MD5_GSTEP(d, a, b, c, 2, 0xfcefa3f8, 9);
    MD5_GSTEP(c, d, a, b, 7, 0x676f02d9, 14);
    MD5_GSTEP(b, c, d, a, 12, 0x8d2a4c8a, 20);

    MD5_STEP(MD5_H, a, b, c, d, 5, 0xfffa3942, 4);
    MD5_STEP(MD5_H, d, a, b, c, 8, 0x8771f681, 11);
    MD5_STEP(MD5_H, c, d, a, b, 11, 0x6d9d6122, 16);
    MD5_STEP(MD5_H, b, c, d, a, 14, 0xfde5380c, 23);
    MD5_STEP(MD5_H, a, b, c, d, 1, 0xa4beea44, 4);
    MD5_STEP(MD5_H, d, a, b, c, 4, 0x4bdecfa9, 11);
    MD5_STEP(MD5_H, c, d, a, b, 7, 0xf6bb4b60, 16);
    MD5_STEP(MD5_H, b, c, d, a, 10, 0xbebfbc70, 23);
    MD5_STEP(MD5_H, a, b, c, d, 13, 0x289b7ec6, 4);
    MD5_STEP(MD5_H, d, a, b, c, 0, 0xeaa127fa, 11);
    MD5_STEP(MD5_H, c, d, a, b, 3, 0xd4ef3085, 16);
    MD5_STEP(MD5_H, b, c, d, a, 6, 0x04881d05, 23);
    MD5_STEP(MD5_H, a, b, c, d, 9, 0xd9d4d039, 4);
    MD5_STEP(MD5_H, d, a, b, c, 12, 0xe6db99e5, 11);
    MD5_STEP(MD5_H, c, d, a, b, 15, 0x1fa27cf8, 16);
    MD5_STEP(MD5_H, b, c, d, a, 2, 0xc4ac5665, 23);

    MD5_STEP(MD5_I, a, b, c, d, 0, 0xf4292244, 6);
    MD5_STEP(MD5_I, d, a, b, c, 7, 0x432aff97, 10);
    MD5_STEP(MD5_I, c, d, a, b, 14, 0xab9423a7, 15);
    MD5_STEP(MD5_I, b, c, d, a, 5, 0xfc93a039, 21);
    MD5_STEP(MD5_I, a, b, c, d, 12, 0x655b59c3, 6);
    MD5_STEP(MD5_I, d, a, b, c, 3, 0x8f0ccc92, 10);
    MD5_STEP(MD5_I, c, d, a, b, 10, 0xffeff47d, 15);
    MD5_STEP(MD5_I, b, c, d, a, 1, 0x85845dd1, 21);
    MD5_STEP(MD5_I, a, b, c, d, 8, 0x6fa87e4f, 6);
    MD5_STEP(MD5_I, d, a, b, c, 15, 0xfe2ce6e0, 10);
    MD5_STEP(MD5_I, c, d, a, b, 6, 0xa3014314, 15);
    MD5_STEP(MD5_I, b, c, d, a, 13, 0x4e0811a1, 21);
    MD5_STEP(MD5_I, a, b, c, d, 4, 0xf7537e82, 6);
    MD5_STEP(MD5_I, d, a, b, c, 11, 0xbd3af235, 10);
    MD5_STEP(MD5_I, c, d, a, b, 2, 0x2ad7d2bb, 15);
    MD5_STEP(MD5_I, b, c, d, a, 9, 0xeb86d391, 21);

    a += a0;
    b += b0;
    c += c0;
    d += d0;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

#undef MD5_F
#undef MD5_H
#undef MD5_I
#undef MD5_STEP
#undef MD5_GSTEP

uint64_t bitCount(const zyrMD5Context *context) {
  return static_cast<uint64_t>(context->m_count[1]) << 32 | context->m_count[0];
}

// Clears through a volatile pointer so that the store is not dropped as dead: the context may
// have held secret input.
void wipe(void *p, size_t n) {
  volatile unsigned char *v = static_cast<volatile unsigned char *>(p);
  while (n-- > 0) *v++ = 0;
}

} // namespace

void MD5Init(zyrMD5Context *context) {
  if (context == nullptr) return;
  context->m_state[0] = 0x67452301;
  context->m_state[1] = 0xefcdab89;
  context->m_state[2] = 0x98badcfe;
  context->m_state[3] = 0x10325476;
  context->m_count[0] = 0;
  context->m_count[1] = 0;
  std::memset(context->m_buffer, 0, sizeof context->m_buffer);
}

void MD5Update(zyrMD5Context *context, const void *input, size_t inputLen) {
  if (context == nullptr || input == nullptr || inputLen == 0) return;
  const unsigned char *in = static_cast<const unsigned char *>(input);
  size_t used = (context->m_count[0] >> 3) & (ZYR_MD5_BLOCK_SIZE - 1);

  // The length is kept modulo 2^64 bits, as the padding records it.
  const uint64_t bits = bitCount(context) + (static_cast<uint64_t>(inputLen) << 3);
  context->m_count[0] = static_cast<uint32_t>(bits);
  context->m_count[1] = static_cast<uint32_t>(bits >> 32);

  if (used != 0) {
    const size_t room = ZYR_MD5_BLOCK_SIZE - used;
    if (inputLen < room) {
      std::memcpy(context->m_buffer + used, in, inputLen);
      return;
    }
    std::memcpy(context->m_buffer + used, in, room);
    md5Blocks(context->m_state, context->m_buffer, 1);
    in += room;
    inputLen -= room;
  }
  // Whole blocks straight from the caller's bytes; only a tail is kept.
  const size_t blocks = inputLen / ZYR_MD5_BLOCK_SIZE;
  if (blocks != 0) {
    md5Blocks(context->m_state, in, blocks);
    in += blocks * ZYR_MD5_BLOCK_SIZE;
    inputLen -= blocks * ZYR_MD5_BLOCK_SIZE;
  }
  if (inputLen != 0) std::memcpy(context->m_buffer, in, inputLen);
}

void MD5Final(unsigned char digest[ZYR_MD5_DIGEST_SIZE], zyrMD5Context *context) {
  if (context == nullptr) return;
  const uint64_t bits = bitCount(context);
  size_t used = static_cast<size_t>(bits >> 3) & (ZYR_MD5_BLOCK_SIZE - 1);

  // Padding: one 1 bit, zeros up to 56 bytes into a block, then the bit length.
  context->m_buffer[used++] = 0x80;
  if (used > ZYR_MD5_BLOCK_SIZE - 8) {
    std::memset(context->m_buffer + used, 0, ZYR_MD5_BLOCK_SIZE - used);
    md5Blocks(context->m_state, context->m_buffer, 1);
    used = 0;
  }
  std::memset(context->m_buffer + used, 0, ZYR_MD5_BLOCK_SIZE - 8 - used);
  store32(context->m_buffer + 56, static_cast<uint32_t>(bits));
  store32(context->m_buffer + 60, static_cast<uint32_t>(bits >> 32));
  md5Blocks(context->m_state, context->m_buffer, 1);

  if (digest != nullptr) {
    for (int i = 0; i < 4; ++i) store32(digest + 4 * i, context->m_state[i]);
  }
  wipe(context, sizeof *context);
}

zyrMD5Context *zyrMD5Context_new(void) {
  zyrMD5Context *context = static_cast<zyrMD5Context *>(std::malloc(sizeof(zyrMD5Context)));
  MD5Init(context);
  return context;
}

void zyrMD5Context_delete(zyrMD5Context *context) {
  if (context == nullptr) return;
  wipe(context, sizeof *context);
  std::free(context);
}

void zyrMD5Context_print(const zyrMD5Context *context, FILE *stream) {
  if (context == nullptr || stream == nullptr) return;
  std::fprintf(stream, "MD5 state %08" PRIx32 " %08" PRIx32 " %08" PRIx32 " %08" PRIx32
                       " bytes %" PRIu64 "\n",
               context->m_state[0], context->m_state[1], context->m_state[2],
               context->m_state[3], bitCount(context) >> 3);
}

void zyrMD5_digest(const void *input, size_t inputLen, unsigned char digest[ZYR_MD5_DIGEST_SIZE]) {
  zyrMD5Context context;
  MD5Init(&context);
  MD5Update(&context, input, inputLen);
  MD5Final(digest, &context);
}

char *zyrMD5_toHex(const unsigned char digest[ZYR_MD5_DIGEST_SIZE], char text[ZYR_MD5_HEX_SIZE]) {
  static const char hex[] = "0123456789abcdef";
  if (text == nullptr) return nullptr;
  if (digest == nullptr) {
    text[0] = '\0';
    return text;
  }
  for (int i = 0; i < ZYR_MD5_DIGEST_SIZE; ++i) {
    text[2 * i] = hex[digest[i] >> 4];
    text[2 * i + 1] = hex[digest[i] & 0x0f];
  }
  text[2 * ZYR_MD5_DIGEST_SIZE] = '\0';
  return text;
}

int zyrMD5_fd(int fd, unsigned char digest[ZYR_MD5_DIGEST_SIZE]) {
  enum { kChunk = 1 << 20 };
  unsigned char *chunk = static_cast<unsigned char *>(std::malloc(kChunk));
  if (chunk == nullptr) {
    errno = ENOMEM;
    return 0;
  }
  zyrMD5Context context;
  MD5Init(&context);
  int ok = 1;
  for (;;) {
    // Fill the whole chunk where the source allows, so whole blocks go straight through.
    size_t have = 0;
    while (have < kChunk) {
      const ssize_t got = read(fd, chunk + have, kChunk - have);
      if (got > 0) {
        have += static_cast<size_t>(got);
      } else if (got == 0) {
        break;
      } else if (errno != EINTR) {
        ok = 0;
        break;
      }
    }
    if (!ok) break;
    MD5Update(&context, chunk, have);
    if (have < kChunk) break;
  }
  const int savedErrno = errno;
  std::free(chunk);
  if (ok) {
    MD5Final(digest, &context);
  } else {
    wipe(&context, sizeof context);
    errno = savedErrno;
  }
  return ok;
}
