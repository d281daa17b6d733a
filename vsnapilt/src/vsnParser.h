// The line parser of VSN text: physical lines are joined into logical lines at a trailing
// backslash, cleaned of comments and surplus white space, and turned into objects, parameters,
// END lines, action lines and replace blocks of a handle's tree.
//
// Load flags: 0 for ordinary input, VSN_FLAG_LIBRARY for library input; VSN_LOAD_UNCHANGED is
// added when the input digest equals the expected one. Each open object has its own level of
// flags, copied from the level below it (plus VSN_FLAG_REPLACE inside a replace block); every
// entry made or updated takes the flags of the level open at that moment.
#ifndef VSN_PARSER_H
#define VSN_PARSER_H

#include <cstddef>
#include <cstdint>

struct vsnHandle;
struct vsnArray;

enum : uint32_t {
  VSN_LOAD_UNCHANGED = 0x500,  // valid and contents valid: the input is what it was before
  VSN_DIGEST_SIZE = 16,
};

// One physical line. A caller feeding lines one by one may leave objects open and a continued
// line pending across calls.
const char* parseVSNLineH(vsnHandle* h, const char* line, unsigned flags);

// The lines of a string array (NULL elements read as empty lines). The digest is computed only
// when expectedDigest or outDigest is given (16 bytes each). Input that ends in a continued line
// has that line parsed as its last one; nothing stays pending for the next load. On failure the
// depth goes back to where it was and the entries made by earlier lines stay.
const char* parseVSNData(vsnHandle* h, const vsnArray* lines, unsigned flags, const unsigned char* expectedDigest,
                         unsigned char* outDigest);

// The lines of a block of text (a file read whole): split at line feeds, each ending at its first
// zero byte, a last line without a line feed kept. vsnCountLines gives their number, which
// vsnParseBlock takes as lines; otherwise as parseVSNData.
size_t vsnCountLines(const char* data, size_t size);
const char* vsnParseBlock(vsnHandle* h, const char* data, size_t size, size_t lines, unsigned flags,
                          const unsigned char* expectedDigest, unsigned char* outDigest);

// MD5 over the bytes of all lines in order, with nothing between lines.
void vsnDigestLines(const vsnArray* lines, unsigned char digest[VSN_DIGEST_SIZE]);

#endif
