#ifndef ZYR_MD5_H
#define ZYR_MD5_H

// RFC 1321 MD5 message digest. Stands alone (no other layer, no tracked memory) because the
// foundation services (UUID node identifiers and name-based UUIDs) and the command-language
// library (its input digest) both use it.

#include <cstddef>
#include <cstdint>
#include <cstdio>

enum { ZYR_MD5_DIGEST_SIZE = 16, ZYR_MD5_BLOCK_SIZE = 64, ZYR_MD5_HEX_SIZE = 33 };

// Incremental digest state.
struct zyrMD5Context {
  uint32_t m_state[4];                          // A, B, C, D
  uint32_t m_count[2];                          // message length in bits, low word first
  unsigned char m_buffer[ZYR_MD5_BLOCK_SIZE];   // bytes of the block not yet processed
};

// The incremental interface. A NULL context is ignored; so is a NULL input (whatever its
// count). MD5Final writes the 16-byte digest (when digest is not NULL) and clears the context;
// MD5Init must be called again before the context is reused.
void MD5Init(zyrMD5Context *context);
void MD5Update(zyrMD5Context *context, const void *input, size_t inputLen);
void MD5Final(unsigned char digest[ZYR_MD5_DIGEST_SIZE], zyrMD5Context *context);

// A context in plain heap memory, already initialised; NULL when memory is short.
zyrMD5Context *zyrMD5Context_new(void);
void zyrMD5Context_delete(zyrMD5Context *context);
// One line: the state words and the byte count so far.
void zyrMD5Context_print(const zyrMD5Context *context, FILE *stream);

// One-shot digest of count bytes.
void zyrMD5_digest(const void *input, size_t inputLen, unsigned char digest[ZYR_MD5_DIGEST_SIZE]);

// The digest as 32 lower-case hexadecimal digits and a terminator; returns text.
char *zyrMD5_toHex(const unsigned char digest[ZYR_MD5_DIGEST_SIZE], char text[ZYR_MD5_HEX_SIZE]);

// Digest of everything readable from an open descriptor, read in 1 MiB blocks up to end of
// file. 1 on success; 0 on a read error or when memory is short (errno tells which; the digest
// is then left untouched).
int zyrMD5_fd(int fd, unsigned char digest[ZYR_MD5_DIGEST_SIZE]);

#endif
