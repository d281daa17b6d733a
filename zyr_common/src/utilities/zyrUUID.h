#ifndef ZYR_UUID_H
#define ZYR_UUID_H
// 16-byte universally unique identifiers: time-based (version 1) and name-based (version 3).
// Persistent objects, database states and temporary file names are told apart by them.
//
// External forms: four unsigned 32-bit integers; 36-character text
// ("xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx", lower case); and 22-character Base64 text (the four
// integers, each least significant byte first, encoded without the final "=="), the form the
// object store keeps. A missing UUID has the Base64 text "__NULL_UUID__".
//
// The time-based generator reads, once, the node identifier from the file "nodeid" (its first 6
// bytes) and the previous state from the file "state" (16 bytes: timestamp, node, clock
// sequence, least significant byte first) in the working directory; it never writes them.
// Identifiers made by one process are always distinct, however fast they are asked for.
#include <cstdint>
#include <cstdio>

enum { ZYR_UUID_TEXT_SIZE = 37, ZYR_UUID_BASE64_SIZE = 23 };

#define ZYR_NULL_UUID_STRING "__NULL_UUID__"

struct zyrUUID {
  uint32_t m_timeLow;
  uint16_t m_timeMid;
  uint16_t m_timeHighAndVersion;
  uint8_t m_clockSeqHighAndReserved;
  uint8_t m_clockSeqLow;
  uint8_t m_node[6];
};

// A new time-based UUID.
zyrUUID *zyrUUID_new();
// Starts the generator's private random sequence (the clock sequences it draws) from seed, so
// that the same draws can be made again; unless this is called first, the sequence is seeded from
// the clock and the process at its first draw.
void zyrUUID_seedRandom(uint64_t seed);
// For tests and fuzz targets, which must make the same files in every process: from now on the
// identifiers depend on seed alone, not on the clock, the machine or the files "nodeid" and
// "state" (the node, the clock sequences and the first timestamp are drawn from seed, and the
// timestamps count up from there). A second call starts the sequence of its seed again; different seeds give
// different nodes, so their identifiers never meet. Never called by the library itself.
void zyrUUID_makeRepeatable(uint64_t seed);
zyrUUID *zyrUUID_newFromIntegers(uint32_t first, uint32_t second, uint32_t third, uint32_t fourth);
// From the first 36 characters of text: hexadecimal digits (either case) with '-' at 8, 13, 18
// and 23. NULL when the text is shorter or malformed.
zyrUUID *zyrUUID_newFromString(const char *text);
// From the first 22 characters of text (no terminator needed after them). NULL, with nothing
// allocated, when the text begins with '_' (the null text) or is not a valid UUID text.
zyrUUID *zyrUUID_newFromBase64(const char *text);
// Name-based (version 3): MD5 of the name space in network byte order followed by the name.
zyrUUID *zyrUUID_newFromName(const zyrUUID *nameSpace, const void *name, int64_t length);
void zyrUUID_delete(zyrUUID *uuid);

void zyrUUID_toIntegers(const zyrUUID *uuid, uint32_t integers[4]);
// text has room for ZYR_UUID_TEXT_SIZE bytes.
void zyrUUID_toString(const zyrUUID *uuid, char *text);
// text has room for ZYR_UUID_BASE64_SIZE bytes; a NULL uuid gives "__NULL_UUID__".
void zyrUUID_toBase64(const zyrUUID *uuid, char *text);
// The text form and a line feed.
void zyrUUID_print(const zyrUUID *uuid, FILE *stream);

// -1, 0 or 1 by the fields in order (time low, time mid, time high, clock sequence high and
// low, node bytes), each compared as an unsigned number.
int zyrUUID_compare(const zyrUUID *a, const zyrUUID *b);
int zyrUUID_isEqual(const zyrUUID *a, const zyrUUID *b);
int zyrUUID_isNullString(const char *text);
// Bucket in [0, size) of the Base64 text by the string-hash scheme of the hash table; size at
// least 2. A NULL uuid hashes its null text.
int64_t zyrUUID_hash(const zyrUUID *uuid, uint64_t size);

#endif
