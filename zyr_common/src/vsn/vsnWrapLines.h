#ifndef VSN_WRAP_LINES_H
#define VSN_WRAP_LINES_H
// Wrapping of long command-language (VSN) lines with backslash continuation.

// Replaces every line of more than width characters by pieces of at most width characters: each
// piece but the last ends in a backslash. A cut is moved back over white space so that the next
// piece starts with a character that is not white space (unless the whole stretch is blank);
// nothing is dropped, so joining the pieces without their backslashes gives the line again.
//
// The lines are tracked strings in a tracked array (zyrCString_free, zyrMemory_free). Lines that
// need no cut are kept as they are; a cut line is freed. When some line was cut the array is
// replaced by a new one and the count updated; otherwise array and count stay untouched. NULL
// entries are kept as they are.
//
// Returns 1; 0 without changing anything when width is below 2 (no piece could hold a character
// besides its backslash), an argument is NULL, the count is negative, or the new count would not
// fit in an int.
int vsnWrapLines(int width, int *count, char ***lines);

#endif
