#ifndef UNICODE_STRING_H
#define UNICODE_STRING_H
// Text as an array of code points, converted from and to Latin-1, UTF-8 (the original form of
// up to six bytes per character, code points 0 to 0x7FFFFFFF) and printed-quotable UTF-8: ASCII
// text in which chosen characters are written as an escape character followed by the bytes of
// their UTF-8 form, each as two upper-case hexadecimal digits (with "%": U+00E9 is "%C3A9").
// The command-language name encoding uses the last with "%" and mode 2.
//
// A successful conversion into a string replaces its code points; a failed one leaves the string
// as it was. Texts converted out of a string are new tracked strings that the caller frees with
// zyrCString_free.
#include <cstdint>
#include <cstdio>

struct UnicodeString {
  int32_t *m_codePoints; // NULL when empty
  int32_t m_length;
};

UnicodeString *UnicodeString_new();
void UnicodeString_delete(UnicodeString *string);
void UnicodeString_print(const UnicodeString *string, FILE *stream);

// 1 and one code point per byte; 0 for an empty text.
int UnicodeString_fromLatin1(UnicodeString *string, const char *text);
// One byte per code point; NULL when the string is empty or holds a code point outside 1 to 255
// (a zero-terminated text cannot carry code point 0).
char *UnicodeString_toLatin1(const UnicodeString *string);
// 1 and the decoded code points; 0 for an empty or invalid text (overlong forms, stray or missing
// continuation bytes, 0xFE and 0xFF).
int UnicodeString_fromUTF8(UnicodeString *string, const char *text);
// NULL when the string is empty or holds a negative code point or code point 0.
char *UnicodeString_toUTF8(const UnicodeString *string);
// 1 and the decoded code points; 0 for an empty or invalid text. An escape character must be
// followed by the hexadecimal pairs of one whole UTF-8 character; hexadecimal pairs after that
// character are read again as literal characters.
int UnicodeString_fromPrintedQuotable(UnicodeString *string, char escape, const char *text);
// A code point is written literally when it is below 128, is not the escape character and
// vsnNameCharNeedsEscape(mode, its position, it) gives 0; otherwise it is escaped. NULL when the
// string is empty or holds a negative code point, or when the escape character is not ASCII.
char *UnicodeString_toPrintedQuotable(const UnicodeString *string, char escape, int mode);

// Workers over arrays with counts. On success each answers 1 (never -1) with a new tracked array
// and its count; byte arrays get one more zero byte so that they are terminated. On failure the
// array is NULL, the count 0, and the answer 0 (unicode_to_pqutf8: -1). Empty input fails,
// except that unicode_to_pqutf8 of no code points gives the empty text.
int latin1_to_unicode(const char *bytes, int n, int32_t **codes, int *count);
int unicode_to_latin1(const int32_t *codes, int n, char **bytes, int *count);
int utf8_to_unicode(const char *bytes, int n, int32_t **codes, int *count);
int unicode_to_utf8(const int32_t *codes, int n, char **bytes, int *count);
int pqutf8_to_unicode(char escape, const char *bytes, int n, int32_t **codes, int *count);
int unicode_to_pqutf8(char escape, int mode, const int32_t *codes, int n, char **bytes, int *count);

// One UTF-8 character from at most n bytes: the number of bytes used, -1 for an illegal
// sequence, -2 when the lead byte asks for more than n bytes.
int utf8_decodeChar(const unsigned char *s, int n, int32_t *code);
// Writes the UTF-8 form of a code point (read as unsigned) into s, which has room for six bytes;
// answers the byte count, or -1 for 0x80000000 and above.
int utf8_encodeChar(int32_t code, unsigned char *s);

#endif
