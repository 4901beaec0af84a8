// Grey scale, negative and gamma at every kernel level against the rounding of their formulas.

#include "corvella/operations/colour_adjust.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "operations/image_fixtures.h"

namespace corvella::operations {
namespace {

using imaging::SimdLevel;
using testing::Bytes;
using testing::Levels;
using testing::RandomDib;
using testing::RoundEven;

// Applies @p change to every channel byte of every pixel of a copy of @p dib; padding stays.
template <typename Change>
std::vector<uint8_t> Expected(const imaging::cDIBSection& dib, Change change) {
  std::vector<uint8_t> bytes = Bytes(dib);
  const size_t stride = static_cast<size_t>(dib.BytesPerScanLine());
  for (int32_t r = 0; r < dib.dib_height(); ++r) {
    for (int32_t x = 0; x < dib.dib_width(); ++x)
      change(bytes.data() + r * stride + 3 * x);
  }
  return bytes;
}

TEST(GreyScale, RoundingOfEverySumMatchesTheDoubleQuotient) {
  for (uint32_t s = 0; s <= 255000; ++s)
    ASSERT_EQ(GreyOfSum(s), RoundEven(s / 1000.0)) << s;
  EXPECT_EQ(GreyOfSum(500), 0);
  EXPECT_EQ(GreyOfSum(1500), 2);
  EXPECT_EQ(GreyOfSum(2500), 2);
}

TEST(GreyScale, NamedColours) {
  EXPECT_EQ(GreyValue(0, 0, 255), 57);   // red
  EXPECT_EQ(GreyValue(0, 255, 0), 180);  // green
  EXPECT_EQ(GreyValue(255, 0, 0), 18);   // blue
  EXPECT_EQ(GreyValue(255, 255, 255), 255);
  EXPECT_EQ(GreyValue(200, 150, 100), 142);  // R 100, G 150, B 200
}

TEST(GreyScale, EveryColourAtEveryLevel) {
  // All 2^24 colours, 4096 x 4096 pixels: each kernel against the rounding checked above.
  auto all = std::make_unique<imaging::cDIBSection>();
  ASSERT_TRUE(all->Create(4096, 4096));
  uint8_t* bits = all->DIBSectionBitsPtr();
  for (uint32_t i = 0; i < (1u << 24); ++i) {
    bits[3 * i] = static_cast<uint8_t>(i);
    bits[3 * i + 1] = static_cast<uint8_t>(i >> 8);
    bits[3 * i + 2] = static_cast<uint8_t>(i >> 16);
  }
  const std::vector<uint8_t> expected =
      Expected(*all, [](uint8_t* p) { p[0] = p[1] = p[2] = GreyValue(p[0], p[1], p[2]); });
  for (SimdLevel level : Levels()) {
    auto copy = testing::Copy(*all);
    GreyScale(copy->View(), level);
    ASSERT_TRUE(Bytes(*copy) == expected) << static_cast<int>(level);
  }
}

TEST(GreyScale, OddWidthsKeepTheirPaddingAndGreyIsStable) {
  uint32_t seed = 1;
  for (int32_t width : {1, 2, 3, 5, 63, 64, 65, 127, 129, 301}) {
    for (SimdLevel level : Levels()) {
      auto dib = RandomDib(width, 7, ++seed);
      const std::vector<uint8_t> expected =
          Expected(*dib, [](uint8_t* p) { p[0] = p[1] = p[2] = GreyValue(p[0], p[1], p[2]); });
      GreyScale(dib->View(), level);
      ASSERT_EQ(Bytes(*dib), expected) << width;
      GreyScale(dib->View(), level);  // grey stays grey
      ASSERT_EQ(Bytes(*dib), expected) << width;
    }
  }
}

TEST(Negative, InvertsEveryChannelAndTwiceRestores) {
  uint32_t seed = 10;
  for (int32_t width : {1, 2, 3, 7, 11, 200}) {
    auto dib = RandomDib(width, 5, ++seed);
    const std::vector<uint8_t> original = Bytes(*dib);
    const std::vector<uint8_t> expected = Expected(*dib, [](uint8_t* p) {
      for (int c = 0; c < 3; ++c)
        p[c] = static_cast<uint8_t>(255 - p[c]);
    });
    Negative(dib->View());
    ASSERT_EQ(Bytes(*dib), expected) << width;
    Negative(dib->View());
    ASSERT_EQ(Bytes(*dib), original) << width;
  }
}

TEST(Gamma, TablesFollowThePowerCurve) {
  EXPECT_EQ(GammaTable(2.0f)[128], 181);
  EXPECT_EQ(GammaTable(0.5f)[128], 64);
  for (float g : {0.01f, 0.3f, 0.5f, 1.0f / 3.0f, 0.999f, 1.0f, 1.001f, 2.2f, 7.5f, 255.0f}) {
    const ChannelTable table = GammaTable(g);
    EXPECT_EQ(table[0], 0) << g;
    EXPECT_EQ(table[255], 255) << g;
    for (int b = 0; b < 256; ++b) {
      const double expected = RoundEven(255.0 * std::pow(b / 255.0, 1.0 / static_cast<double>(g)));
      ASSERT_EQ(table[b], expected) << g << " " << b;
    }
  }
  for (int b = 0; b < 256; ++b)
    ASSERT_EQ(GammaTable(1.0f)[b], b);
}

TEST(Gamma, AppliesEachChannelsCurveAtEveryLevel) {
  uint32_t seed = 20;
  // Small pictures use the channel tables; from 2^18 pixels the portable kernel uses pairs.
  const std::pair<int32_t, int32_t> sizes[] = {{1, 1},  {2, 3},  {5, 4},
                                               {21, 3}, {64, 2}, {601, 437}};
  for (auto [width, height] : sizes) {
    for (SimdLevel level : Levels()) {
      auto dib = RandomDib(width, height, ++seed);
      const ChannelTable tb = GammaTable(0.7f);
      const ChannelTable tg = GammaTable(1.8f);
      const ChannelTable tr = GammaTable(2.2f);
      const std::vector<uint8_t> expected = Expected(*dib, [&](uint8_t* p) {
        p[0] = tb[p[0]];
        p[1] = tg[p[1]];
        p[2] = tr[p[2]];
      });
      Gamma(dib->View(), 2.2f, 1.8f, 0.7f, level);
      ASSERT_EQ(Bytes(*dib), expected) << width << "x" << height;
    }
  }
  // A value of exactly 1 leaves its channel alone: Gamma(1, 1, 2) changes only blue.
  auto dib = RandomDib(33, 9, ++seed);
  const ChannelTable blue = GammaTable(2.0f);
  const std::vector<uint8_t> expected = Expected(*dib, [&](uint8_t* p) { p[0] = blue[p[0]]; });
  Gamma(dib->View(), 1.0f, 1.0f, 2.0f);
  EXPECT_EQ(Bytes(*dib), expected);
  const std::vector<uint8_t> before = Bytes(*dib);
  Gamma(dib->View(), 1.0f, 1.0f, 1.0f);
  EXPECT_EQ(Bytes(*dib), before);
}

}  // namespace
}  // namespace corvella::operations
