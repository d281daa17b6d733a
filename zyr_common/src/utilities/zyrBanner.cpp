#include "zyrBanner.h"

#include <cstring>

namespace {
const int kBannerWidth = 80;
}

void printChars(FILE *stream, int n, char character) {
  for (int i = 0; i < n; ++i)
    std::fputc(character, stream);
}

void printCharLine(FILE *stream, int n, char character) {
  printChars(stream, n, character);
  std::fputc('\n', stream);
}

void printBanner(FILE *stream, const char *title, char character) {
  if (title == nullptr)
    title = "";
  std::fputs("\n", stream);
  printCharLine(stream, kBannerWidth, character);
  int free = kBannerWidth - static_cast<int>(std::strlen(title));
  printChars(stream, free / 2, ' ');
  std::fputs(title, stream);
  printChars(stream, free - free / 2, ' ');
  std::fputs("\n", stream);
  printCharLine(stream, kBannerWidth, character);
  std::fputs("\n", stream);
}

void printCharsToStdout(int n, char character) { printChars(stdout, n, character); }

void printCharLineToStdout(int n, char character) { printCharLine(stdout, n, character); }

void printBannerToStdout(const char *title, char character) { printBanner(stdout, title, character); }
