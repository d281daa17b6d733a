#ifndef ZYR_BANNER_H
#define ZYR_BANNER_H
// Character lines and centred 80-column banners for terminal output and logs.
#include <cstdio>

// n copies of the character (nothing for n <= 0).
void printChars(FILE *stream, int n, char character);
// n copies and a line feed.
void printCharLine(FILE *stream, int n, char character);
// A blank line, a rule of 80 characters, the title centred (the odd blank goes after it) and a
// second rule.
void printBanner(FILE *stream, const char *title, char character);

void printCharsToStdout(int n, char character);
void printCharLineToStdout(int n, char character);
void printBannerToStdout(const char *title, char character);

#endif
