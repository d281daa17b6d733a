#ifndef ZYR_FOUNDATION_TEST_SUPPORT_H
#define ZYR_FOUNDATION_TEST_SUPPORT_H
// The foundation tests use the shared helpers.
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#endif
