#ifndef QIV_MESSAGE_H
#define QIV_MESSAGE_H
// qiv::_, the framework's message function: the text shown to the user for a message and its
// printf-style arguments. The format follows the C printf rules (compilers check the arguments
// against it); the result is exactly what vsnprintf makes, of any length. A null format gives the
// empty string, and a format that vsnprintf refuses gives the format text itself, unformatted.
// Messages are shown in the language they are written in.
#include "zyrExport.h"
#include <string>

namespace qiv {

ZYR_EXPORT std::string _(const char *format, ...) __attribute__((format(printf, 1, 2)));

} // namespace qiv

#endif
