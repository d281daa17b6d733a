#ifndef UNITS_TEST_SUPPORT_H
#define UNITS_TEST_SUPPORT_H
// The units library tests use the shared scratch directories and file helpers.
#include "zyrTestSupport.h"

namespace unitstest {

using zyrtest::readFile;
using zyrtest::ScratchDir;
using zyrtest::writeFile;

} // namespace unitstest

#endif
