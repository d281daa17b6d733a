#ifndef VSN_NAME_CHARACTERS_H
#define VSN_NAME_CHARACTERS_H
// Character classes of command-language names, and the escape test that the printed-quotable
// encoder asks for each character. Kept with the foundation services so that both the Unicode
// strings and the topology model's name encoding use the one table.
//
// Classes, by unsigned byte value:
//   0  control characters 0x00 to 0x1F and 0x7F
//   1  separators # $ % ,
//   2  other punctuation ! " & ' ( ) * + - / : ; < = > ? @ \ ^ ` ~
//   3  digits
//   4  name characters: blank . A-Z a-z [ ] _ { | } and 0x80 to 0xFF
#include <cstdint>

// The class (0 to 4) of a byte.
int vsnNameCharClass(unsigned char character);
// The whole table of 256 classes, indexed by the unsigned byte value.
const int32_t *vsnNameCharClasses();
// 1 when the character must be escaped at that position (counted from 0) of a name under the
// mode, else 0: mode 0 escapes control characters only, mode 1 also separators, mode 2 also other
// punctuation and always the first character, modes above 2 every character.
int vsnNameCharNeedsEscape(int mode, int position, unsigned char character);

#endif
