// Blur and sharpen against their convolution written straight from the formula.

#include "corvella/operations/filters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "operations/image_fixtures.h"

namespace corvella::operations {
namespace {

using imaging::cDIBSection;
using testing::AtMemory;
using testing::Bytes;
using testing::RandomDib;

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
  for (auto [filter, centre, near] : {std::tuple{Blur, 28, 28}, {Sharpen, 255, 0}}) {
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
      {2, 2}, {1, 9},  {9, 1},  {2, 7},   {7, 2},  {3, 3},   {3, 8},   {8, 3},  {4, 4},
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

}  // namespace
}  // namespace corvella::operations
