// A quantity filled in after construction converts from the value and units it was given last.
#include "Quantity.h"
#include "units.h"

#include <gtest/gtest.h>

namespace {

TEST(QuantitySetters, ConversionFollowsTheUnitsSetLast) {
  int status = -1;
  u_init(ZYR_SOURCE_DIR "/platform/units/units.wez", &status);
  ASSERT_EQ(status, U_OK) << u_message();
  qiv::Quantity length;
  length.setValue(2.5);
  length.setUnits("mm");
  EXPECT_EQ(length, qiv::Quantity(2.5, "mm"));
  double metres = 0;
  ASSERT_TRUE(length.getValueIn("m", metres));
  EXPECT_DOUBLE_EQ(metres, 0.0025);
  length.setUnits("km");
  ASSERT_TRUE(length.getValueIn("m", metres));
  EXPECT_DOUBLE_EQ(metres, 2500.0);
  // Units the library does not know fail and leave the answer alone.
  length.setUnits("furlongs-ish");
  EXPECT_FALSE(length.getValueIn("m", metres));
  EXPECT_DOUBLE_EQ(metres, 2500.0);
}

} // namespace
