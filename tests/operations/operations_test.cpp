// The pixel operations at every kernel level: grey scale, negative and gamma against the rounding
// of their formulas; blur and sharpen against their convolution written straight from the formula;
// flip, mirror and both quarter turns moving every pixel of random pictures where the mapping
// says, the padding untouched.

#include "corvella/operations/colour_adjust.h"
#include "corvella/operations/filters.h"
#include "corvella/operations/transforms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <vector>

#include "operations/image_fixtures.h"
#include "support/errors.h"

namespace corvella::operations {
namespace {

using imaging::cDIBSection;
using imaging::SimdLevel;
using testing::At;
using testing::AtMemory;
using testing::Bytes;
using testing::ErrorNumberOf;
using testing::Levels;
using testing::RandomDib;
using testing::RoundEven;
using testing::Runtime;

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

// A 3 x 3 kernel: weight(i, j) weighs the pixel i columns right and j memory rows up.
struct Kernel {
  int16_t weights[9];
  int32_t divisor;
  int32_t operator()(int32_t i, int32_t j) const { return weights[(j + 1) * 3 + (i + 1)]; }
};
const Kernel kBlur = {{1, 1, 1, 1, 1, 1, 1, 1, 1}, 9};
const Kernel kSharpen = {{-1, -1, -1, -1, 32, -1, -1, -1, -1}, 24};

// The convolution written straight from its formula, on memory rows: every inner pixel from the
// unfiltered bytes, the weighted sum divided truncating toward zero and clamped. Everything else,
// padding included, as it was.
std::vector<uint8_t> Reference(const cDIBSection& dib, const Kernel& kernel) {
  std::vector<uint8_t> out = Bytes(dib);
  const int32_t r = 1;
  const int32_t divisor = kernel.divisor;
  const size_t stride = static_cast<size_t>(dib.BytesPerScanLine());
  for (int32_t x = r; x < dib.dib_width() - r; ++x) {
    for (int32_t y = r; y < dib.dib_height() - r; ++y) {
      for (int32_t c = 0; c < 3; ++c) {
        int32_t sum = 0;
        for (int32_t i = -r; i <= r; ++i) {
          for (int32_t j = -r; j <= r; ++j)
            sum += kernel(i, j) * AtMemory(dib, x + i, y + j, c);
        }
        out[y * stride + 3 * x + c] = static_cast<uint8_t>(std::clamp(sum / divisor, 0, 255));
      }
    }
  }
  return out;
}

// A black picture of @p w x @p h with the given device points set to @p value in all channels.
std::unique_ptr<cDIBSection> Dots(int32_t w, int32_t h,
                                  std::vector<std::pair<int32_t, int32_t>> points, uint8_t value) {
  auto dib = std::make_unique<cDIBSection>();
  EXPECT_TRUE(dib->Create(w, h));
  for (auto [x, y] : points) {
    for (int32_t c = 0; c < 3; ++c)
      testing::At(*dib, x, y, c) = value;
  }
  return dib;
}

// One bright pixel: blur spreads 255 / 9 over its 3 x 3 square, sharpen clamps it to 255 and its
// neighbours (-255 / 24) to 0, leaving the rest black.
TEST(Filters, OneBrightPixel) {
  using Filter = void (*)(const imaging::ImageView&);
  for (auto [filter, centre, near] :
       {std::tuple<Filter, int, int>{Blur, 28, 28}, {Sharpen, 255, 0}}) {
    auto dib = Dots(7, 6, {{3, 2}}, 255);
    filter(dib->View());
    for (int32_t y = 0; y < 6; ++y) {
      for (int32_t x = 0; x < 7; ++x) {
        const bool isNear = x >= 2 && x <= 4 && y >= 1 && y <= 3;
        for (int32_t c = 0; c < 3; ++c)
          ASSERT_EQ(testing::At(*dib, x, y, c), x == 3 && y == 2 ? centre : isNear ? near : 0);
      }
    }
  }
}

TEST(Filters, SharpenOfAStepTruncates) {
  // A vertical step from 100 (columns 0 .. 3) to 200 (columns 4 .. 8).
  auto step = Dots(9, 5, {}, 0);
  for (int32_t y = 0; y < 5; ++y) {
    for (int32_t x = 0; x < 9; ++x) {
      for (int32_t c = 0; c < 3; ++c)
        testing::At(*step, x, y, c) = x < 4 ? 100 : 200;
    }
  }
  Sharpen(step->View());
  for (int32_t y = 1; y < 4; ++y) {
    EXPECT_EQ(testing::At(*step, 2, y, 0), 100);
    EXPECT_EQ(testing::At(*step, 3, y, 0), 87);   // 87.5 truncated
    EXPECT_EQ(testing::At(*step, 4, y, 2), 212);  // 212.5 truncated
    EXPECT_EQ(testing::At(*step, 5, y, 2), 200);
  }
}

// Sizes under 3 pixels on a side have no inner pixel: the reference leaves them as they were.
TEST(Filters, MatchTheFormulaOnRandomPicturesAndAPhoto) {
  uint32_t seed = 50;
  const std::pair<int32_t, int32_t> sizes[] = {
      {2, 2}, {1, 9},  {9, 1},   {2, 7},  {7, 2},  {3, 3},   {3, 8},   {8, 3},  {4, 4},
      {5, 7}, {17, 9}, {33, 31}, {64, 5}, {65, 6}, {129, 4}, {3, 200}, {251, 3}};
  using Filter = void (*)(const imaging::ImageView&);
  const std::pair<Filter, const Kernel*> filters[] = {{Blur, &kBlur}, {Sharpen, &kSharpen}};
  for (auto [w, h] : sizes) {
    for (auto [filter, kernel] : filters) {
      auto dib = RandomDib(w, h, ++seed);
      const std::vector<uint8_t> expected = Reference(*dib, *kernel);
      filter(dib->View());
      ASSERT_EQ(Bytes(*dib), expected) << w << "x" << h << " divisor " << kernel->divisor;
    }
  }
  auto photo = testing::LoadSnake();
  ASSERT_TRUE(photo);
  for (auto [filter, kernel] : filters) {
    auto copy = testing::Copy(*photo);
    const std::vector<uint8_t> expected = Reference(*copy, *kernel);
    filter(copy->View());
    ASSERT_EQ(Bytes(*copy), expected);
  }
}

// True when every pixel of @p after is the pixel of @p before that @p from names, in device
// coordinates: after(x, y) = before(from(x, y)).
template <typename From>
void ExpectMapping(const cDIBSection& before, const cDIBSection& after, From from) {
  for (int32_t y = 0; y < after.dib_height(); ++y) {
    for (int32_t x = 0; x < after.dib_width(); ++x) {
      const auto [sx, sy] = from(x, y);
      for (int32_t c = 0; c < 3; ++c) {
        ASSERT_EQ(At(after, x, y, c), At(before, sx, sy, c))
            << "point " << x << "," << y << " of " << after.dib_width() << "x"
            << after.dib_height();
      }
    }
  }
}

// The padding bytes (after the last pixel of each row) of two buffers of the same size agree.
void ExpectSamePadding(const cDIBSection& a, const cDIBSection& b) {
  const std::vector<uint8_t> ba = Bytes(a);
  const std::vector<uint8_t> bb = Bytes(b);
  const size_t stride = static_cast<size_t>(a.BytesPerScanLine());
  for (size_t r = 0; r < static_cast<size_t>(a.dib_height()); ++r) {
    for (size_t k = 3 * static_cast<size_t>(a.dib_width()); k < stride; ++k)
      ASSERT_EQ(ba[r * stride + k], bb[r * stride + k]) << "row " << r << " byte " << k;
  }
}

// Beyond the 32-pixel tiles, the 8-pixel blocks and the 256-pixel bands of the kernels, both ways.
const std::pair<int32_t, int32_t> kSizes[] = {
    {1, 1},    {1, 5},     {5, 1},    {2, 2},     {3, 3},    {3, 8},   {8, 3},
    {4, 4},    {5, 7},     {7, 5},    {6, 9},     {37, 23},  {64, 64}, {65, 33},
    {130, 67}, {131, 129}, {33, 301}, {301, 257}, {600, 450}};

TEST(Transforms, FlipAndMirrorMovePixelsInPlace) {
  uint32_t seed = 1;
  for (auto [w, h] : kSizes) {
    auto dib = RandomDib(w, h, ++seed);
    auto before = testing::Copy(*dib);
    FlipInPlace(dib->View());
    ExpectMapping(*before, *dib, [h = h](int32_t x, int32_t y) { return std::pair{x, h - 1 - y}; });
    ExpectSamePadding(*before, *dib);
    FlipInPlace(dib->View());
    ASSERT_EQ(Bytes(*dib), Bytes(*before));

    for (SimdLevel level : Levels()) {
      MirrorInPlace(dib->View(), level);
      ExpectMapping(*before, *dib, [w = w](int32_t x, int32_t y) {
        return std::pair{w - 1 - x, y};
      });
      ExpectSamePadding(*before, *dib);
      MirrorInPlace(dib->View(), level);
      ASSERT_EQ(Bytes(*dib), Bytes(*before));
    }
  }
}

TEST(Transforms, RotationsMapEveryPixelAtEveryLevel) {
  uint32_t seed = 100;
  for (auto [w, h] : kSizes) {
    auto source = RandomDib(w, h, ++seed);
    for (SimdLevel level : Levels()) {
      // Targets start random, so that their padding shows whether it was written. Turned right,
      // the old bottom-left pixel is the new top-left one; turned left, the old top-right one.
      auto right = RandomDib(h, w, ++seed);
      auto rightPadding = testing::Copy(*right);
      RotateRightInto(source->View(), right->View(), level);
      ExpectMapping(*source, *right, [h = h](int32_t i, int32_t j) {
        return std::pair{j, h - 1 - i};
      });
      ExpectSamePadding(*right, *rightPadding);

      auto left = RandomDib(h, w, ++seed);
      auto leftPadding = testing::Copy(*left);
      RotateLeftInto(source->View(), left->View(), level);
      ExpectMapping(*source, *left, [w = w](int32_t i, int32_t j) {
        return std::pair{w - 1 - j, i};
      });
      ExpectSamePadding(*left, *leftPadding);
    }
  }
}

TEST(Transforms, EmptyViewsAreLeftAloneAndMismatchedOnesAreAnInternalError) {
  auto source = RandomDib(4, 3, 1);
  auto target = RandomDib(4, 3, 2);  // not 3 x 4
  const std::vector<uint8_t> before = Bytes(*target);
  EXPECT_EQ(ErrorNumberOf([&] { RotateRightInto(source->View(), target->View()); }), Runtime(51));
  EXPECT_EQ(ErrorNumberOf([&] { RotateLeftInto(source->View(), target->View()); }), Runtime(51));
  EXPECT_EQ(Bytes(*target), before);
  cDIBSection empty;
  FlipInPlace(empty.View());
  MirrorInPlace(empty.View());
  RotateRightInto(empty.View(), target->View());
  EXPECT_EQ(Bytes(*target), before);
}

}  // namespace
}  // namespace corvella::operations
