#include "vsnNameCharacters.h"

#include <initializer_list>

namespace {

struct ClassTable {
  int32_t classes[256];
  ClassTable() {
    for (int c = 0; c < 256; ++c)
      classes[c] = 4;
    for (int c = 0; c < 0x20; ++c)
      classes[c] = 0;
    classes[0x7F] = 0;
    for (unsigned char c : {'#', '$', '%', ','})
      classes[c] = 1;
    for (unsigned char c : {'!', '"', '&', '\'', '(', ')', '*', '+', '-', '/', ':', ';', '<', '=',
                            '>', '?', '@', '\\', '^', '`', '~'})
      classes[c] = 2;
    for (int c = '0'; c <= '9'; ++c)
      classes[c] = 3;
  }
};

const ClassTable &table() {
  static const ClassTable t;
  return t;
}

} // namespace

int vsnNameCharClass(unsigned char character) { return table().classes[character]; }

const int32_t *vsnNameCharClasses() { return table().classes; }

int vsnNameCharNeedsEscape(int mode, int position, unsigned char character) {
  if (mode == 2 && position == 0)
    mode = 3;
  if (mode > 2)
    return 1;
  return vsnNameCharClass(character) <= mode ? 1 : 0;
}
