#include "corvella/platform/checked.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/errors.h"

namespace corvella::platform::checked {
namespace {

using testing::ErrorNumberOf;
using testing::Runtime;

TEST(Checked, RoundsHalfToEven) {
  struct Case {
    double in, out;
  } cases[] = {{0.5, 0},   {1.5, 2},    {2.5, 2},     {3.5, 4},      {-0.5, 0},  {-1.5, -2},
               {-2.5, -2}, {2.4999, 2}, {87.5, 88},   {59.5, 60},    {78.5, 78}, {62.5, 62},
               {10.5, 10}, {11.5, 12},  {-10.6, -11}, {1e300, 1e300}};
  for (const auto& c : cases)
    EXPECT_EQ(RoundHalfEven(c.in), c.out) << c.in;
}

TEST(Checked, FloatToIntegerConversionsRangeCheckAfterRounding) {
  EXPECT_EQ(DoubleToInt16(32767.4), 32767);
  EXPECT_EQ(DoubleToInt16(-32768.5), -32768);  // ties to the even -32768
  EXPECT_EQ(ErrorNumberOf([] { DoubleToInt16(32767.5); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([] { DoubleToInt16(-32768.6); }), Runtime(6));
  EXPECT_EQ(DoubleToInt32(2147483647.4), 2147483647);
  EXPECT_EQ(ErrorNumberOf([] { DoubleToInt32(2147483647.5); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([] { DoubleToInt32(std::nan("")); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([] { DoubleToInt32(std::numeric_limits<double>::infinity()); }),
            Runtime(6));
  EXPECT_EQ(DoubleToByte(254.5), 254);
  EXPECT_EQ(DoubleToByte(-0.5), 0);
  EXPECT_EQ(ErrorNumberOf([] { DoubleToByte(255.5); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([] { DoubleToByte(-0.6); }), Runtime(6));
}

TEST(Checked, SixteenAndThirtyTwoBitArithmetic) {
  EXPECT_EQ(Add16(32766, 1), 32767);
  EXPECT_EQ(ErrorNumberOf([] { Add16(32767, 1); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([] { Sub16(-32768, 1); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([] { Mul16(256, 128); }), Runtime(6));
  EXPECT_EQ(Mul16(-256, 128), -32768);
  EXPECT_EQ(Div16(-7, 2), -3);  // truncates toward zero
  EXPECT_EQ(ErrorNumberOf([] { Div16(1, 0); }), Runtime(11));
  EXPECT_EQ(ErrorNumberOf([] { Div16(-32768, -1); }), Runtime(6));

  EXPECT_EQ(ErrorNumberOf([] { Add32(2147483647, 1); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([] { Mul32(65536, 32768); }), Runtime(6));
  EXPECT_EQ(Mul32(-65536, 32768), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(Div32(-10, 3), -3);
  EXPECT_EQ(ErrorNumberOf([] { Div32(5, 0); }), Runtime(11));
  EXPECT_EQ(ErrorNumberOf([] { ToInt16(40000); }), Runtime(6));
}

}  // namespace
}  // namespace corvella::platform::checked
