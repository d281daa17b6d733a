#ifndef IO_FORMAT_H
#define IO_FORMAT_H
// Delete tags of the data-set file format. A data set is deleted in place by overwriting the
// first two bytes of its 3-byte tag; its length fields and contents stay, so that a walk over the
// frames can still skip it. The third byte stays LF.
//
//   live tag              delete tag       live tag              delete tag
//   F, any                "D" "F"          L, digit              "X" digit
//   U, digit              "D" digit        L, no digit           "X" "L"
//   U, no digit           "D" "U"          l, digit              "x" digit+128
//   u, digit              "D" digit+128    l, no digit           "x" "l"
//   u, no digit           "D" "u"
//
// A tag that begins with D, d, X or x is already deleted. Older files used "D" with a NUL second
// byte, which does not record the format.
#include "io_records.h"

// 1 when the letter begins the tag of a live data set (F, U, u, L, l).
int iofmt_is_live(char letter);
// 1 when the letter begins a delete tag (D, d, X, x).
int iofmt_is_deleted(char letter);

// Bytes of a length field of a live format letter in a file of offset width `width`: a text line
// of `width` characters and LF, else 4 (U, u) or 8 (L, l) binary bytes.
int64_t iofmt_length_field_size(char letter, int32_t width);
// Parses a length field of the letter's format held in exactly `size` bytes (for text, a line of
// the offset width, io_parse_offset_line), strictly: 1 with *length set, else 0.
int iofmt_parse_length_field(const char *bytes, size_t size, char letter, int32_t width, int64_t *length);

// The delete tag of a live tag (both two bytes). A tag already deleted, or of an unknown letter,
// is copied unchanged.
void iofmt_delete_tag(const char *tag, char *deleted);

// The format code (3 characters) a delete tag stood for. 1 for the old style (NUL second byte:
// the format is unknown and `format` is left empty), 0 when recovered, -1 when the tag is not a
// delete tag.
int iofmt_deleted_format(const char *tag, char *format);

#endif
