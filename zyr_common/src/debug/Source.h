#ifndef ZYR_SOURCE_H
#define ZYR_SOURCE_H
// A line reader for small control files: comment styles, tag lines ("<NAME>", "</NAME>") and
// "key : value" or "key = value" lines. It reads a file, or a block of memory given to it.
#include <cstdint>
#include <cstdio>

struct Source {
  FILE *m_file;      // NULL for a reader over memory
  int32_t m_style;   // 0 keeps every line, 1 skips "!" comments and blank lines, 2 "#" and blank
  char *m_buffer;    // a copy of the memory being read
  int64_t m_size;
  int64_t m_position;
};

// A reader over the file; one that cannot be opened is reported (error 10020) and gives NULL.
Source *Source_newFile(const char *fileName);
// A reader over a copy of size bytes of data (text up to a NUL reads as if it ended there).
Source *Source_newBuffer(const char *data, int64_t size);
void Source_delete(Source *source);
void Source_print(const Source *source, FILE *stream);

// Styles 0 to 2; answers the previous style. Any other style fails an assertion.
int32_t Source_setStyle(Source *source, int32_t style);
int32_t Source_getStyle(const Source *source);

// The next line with its line feed, at most size - 1 characters (a longer line comes in pieces);
// 0 at the end.
int Source_readLine(Source *source, char *buffer, int32_t size);
// The next line that the style keeps; 0 at the end.
int Source_getLine(Source *source, char *buffer, int32_t size);

// 0 when the line's first character that is not white space is not "<"; 1 for an opening tag,
// 2 for a closing tag ("</"). start is the index of the name's first character and length the
// number of characters from there up to the next ">" or the end of the line.
int Source_parseTag(const char *line, int32_t *start, int32_t *length);
int Source_isOpeningTag(const char *line, const char *name);
int Source_isClosingTag(const char *line, const char *name);
// With an opening tag in the buffer, reads lines into the buffer up to and including the closing
// tag of the same name, or to the end of the source.
void skipTag(char *buffer, int32_t size, Source *source);

// Splits the line at its first ":" or "=": the key is what stands before it with every blank
// removed, the value what follows it without the final line feed, trimmed of blanks. key and
// value must each have room for the whole line. Answers 0 when there is a value, 1 when there is
// no separator or nothing after it (the value is then empty and, without a separator, the key is
// the whole line).
int Source_splitKeyValue(const char *line, char *key, char *value);
// The same with the key in upper case.
int Source_splitUpperKeyValue(const char *line, char *key, char *value);
// In place: mode 0 removes every blank, 1 leading blanks, 2 trailing blanks, 3 both ends.
// Blank means the space character.
void Source_trimBlanks(char *text, int32_t mode);
// In place; answers the length.
int32_t Source_toUpperCase(char *text);

#endif
