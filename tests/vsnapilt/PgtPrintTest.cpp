// The prints of the physics reader's handle and its coordinate frames, on the sample text.
#include "CoordFrame.h"
#include "PgtSample.h"
#include "pgtHandle.h"
#include "zyrTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

using namespace pgttest;

namespace {

using zyrtest::contains;
using zyrtest::printed;

TEST(PgtPrint, NoneForms) {
  EXPECT_EQ(printed([](FILE* f) { pgtHandle_print(nullptr, f); }), "pgtHandle: (nul)\n");
  EXPECT_EQ(printed([](FILE* f) { CoordFrame_print(nullptr, f); }), "CoordFrame: (nul)\n");
}

TEST(PgtPrint, HandleListsEveryFrameWithItsAxes) {
  pgtHandle* h = pgtNew();
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(load(h, sampleLines()), 0) << errorText(h);
  const std::string text = printed([&](FILE* f) { pgtHandle_print(h, f); });
  EXPECT_TRUE(contains(text, "  coord frames   = 10\n")) << text;
  EXPECT_TRUE(contains(text, "CoordFrame /FLOW/COORD FRAME:Coord 2: type ")) << text;
  EXPECT_TRUE(contains(text, "CoordFrame /FLOW/COORD FRAME:Cyl: type ")) << text;
  // Three axis rows per frame.
  size_t rows = 0;
  for (size_t at = text.find("  | "); at != std::string::npos; at = text.find("  | ", at + 1)) ++rows;
  EXPECT_EQ(rows, 30u);
  EXPECT_EQ(pgtDelete(h), 0);
}

} // namespace
