#ifndef VSN_NAME_ENCODING_H
#define VSN_NAME_ENCODING_H
// Turning arbitrary names into names that command-language (VSN) text accepts.
//
// By default a name is sanitised: every control, separator and punctuation character becomes a
// blank, white space is collapsed and a leading digit gets an "n" in front. That loses
// information. When the environment variable ZYR_ENCODE_NAMES is set (to anything) at the first
// encoding or decoding, names are instead written reversibly as printed-quotable UTF-8 with "%"
// as the escape character: the first character and every character that VSN would not take in a
// name are written as "%" and the hexadecimal bytes of their UTF-8 form, so every encoded name
// begins with "%".
//
// The character classes and the escape test themselves live with the Unicode strings
// (vsnNameCharacters.h), which use the same table.
//
// Every string returned here is new, in tracked memory, and freed with zyrCString_free.
#include <cstdint>

#include "vsnNameCharacters.h"

// Copies the 256 character classes (indexed by unsigned byte value) into classes.
void LocationString_getCharacterClasses(int32_t classes[256]);

// The sanitised form of a name; NULL for NULL. A name made only of illegal characters and white
// space gives the empty string.
char *vsnMakeLegalName(const char *name);

// Reads ZYR_ENCODE_NAMES into the process-wide encoding setting. Encoding and decoding call it
// once, at their first use; an explicit call reads the environment again.
void vsnReadEncodeNamesSetting();

// The legal form of a name: sanitised when encoding is off; when it is on, the printed-quotable
// form of the name with its white space collapsed, or NULL when that is empty or not UTF-8.
char *vsnEncodeName(const char *name);

// The reverse of vsnEncodeName when encoding is on (NULL when the text is not valid
// printed-quotable UTF-8 or decodes to nothing); a copy of the name when it is off.
char *vsnUnencodeName(const char *name);

#endif
