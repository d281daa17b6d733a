#ifndef ZYR_BASE64_H
#define ZYR_BASE64_H
// Base64 with the standard alphabet ("A-Za-z0-9+/") and '=' padding. The short text form of
// UUIDs is built on it.
#include <cstdint>

// Encodes count bytes into text (terminated). Answers the number of characters written, the
// terminator not counted, or -1 when the text and its terminator do not fit in capacity (or the
// arguments are unusable).
int64_t zyrBase64_encode(const void *bytes, int64_t count, char *text, int64_t capacity);

// Decodes text up to its terminator or its padding. White space is skipped anywhere; any other
// character outside the alphabet fails. Without padding the characters must come in whole
// groups of four; with padding a group ends after two characters with "==" (white space may
// stand between the two) or after three with "=", and only white space may follow. With an
// output buffer every byte is checked against capacity and the bits left over after the last
// byte must be zero. With bytes NULL the bytes are only counted. Answers the number of bytes,
// or -1.
int64_t zyrBase64_decode(const char *text, void *bytes, int64_t capacity);

#endif
