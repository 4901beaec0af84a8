#include "corvella/operations/filters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "operations/image_fixtures.h"
#include "support/errors.h"

namespace corvella::operations {
namespace {

using imaging::cDIBSection;
using testing::AtMemory;
using testing::Bytes;
using testing::ErrorNumberOf;
using testing::RandomDib;
using testing::Runtime;

// The convolution written straight from its formula, on memory rows: every inner pixel from the
// unfiltered bytes, kernel(i, j) weighing the pixel i columns right and j memory rows up, the sum
// divided truncating toward zero and clamped. Everything else, padding included, as it was.
std::vector<uint8_t> Reference(const cDIBSection& dib, const FilterKernel& kernel,
                               int32_t divisor) {
  std::vector<uint8_t> out = Bytes(dib);
  const int32_t r = kernel.radius;
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

TEST(Filters, KernelsAndDivisors) {
  EXPECT_EQ(KernelDivisor(BlurKernel()), 9);
  EXPECT_EQ(KernelDivisor(SharpenKernel()), 24);
  FilterKernel heavy{1, std::vector<int16_t>(9, 5000)};
  EXPECT_EQ(ErrorNumberOf([&] { KernelDivisor(heavy); }), Runtime(6));
  FilterKernel malformed{1, {1, 2, 3}};
  EXPECT_EQ(ErrorNumberOf([&] { KernelDivisor(malformed); }), Runtime(5));
}

TEST(Filters, BlurOfOneBrightPixel) {
  auto dib = Dots(7, 6, {{3, 2}}, 255);
  ApplyFilter(dib->View(), BlurKernel(), 9);
  for (int32_t y = 0; y < 6; ++y) {
    for (int32_t x = 0; x < 7; ++x) {
      const bool near = x >= 2 && x <= 4 && y >= 1 && y <= 3;
      for (int32_t c = 0; c < 3; ++c)
        ASSERT_EQ(testing::At(*dib, x, y, c), near ? 28 : 0) << x << "," << y;
    }
  }
}

TEST(Filters, SharpenOfOneBrightPixelAndOfAStep) {
  auto dot = Dots(7, 6, {{3, 2}}, 255);
  ApplyFilter(dot->View(), SharpenKernel(), 24);
  for (int32_t y = 0; y < 6; ++y) {
    for (int32_t x = 0; x < 7; ++x) {
      const int expected = x == 3 && y == 2 ? 255 : 0;  // 340 clamped; -10 clamped
      ASSERT_EQ(testing::At(*dot, x, y, 1), expected) << x << "," << y;
    }
  }
  // A vertical step from 100 (columns 0 .. 3) to 200 (columns 4 .. 8).
  auto step = std::make_unique<cDIBSection>();
  ASSERT_TRUE(step->Create(9, 5));
  for (int32_t y = 0; y < 5; ++y) {
    for (int32_t x = 0; x < 9; ++x) {
      for (int32_t c = 0; c < 3; ++c)
        testing::At(*step, x, y, c) = x < 4 ? 100 : 200;
    }
  }
  ApplyFilter(step->View(), SharpenKernel(), 24);
  for (int32_t y = 1; y < 4; ++y) {
    EXPECT_EQ(testing::At(*step, 2, y, 0), 100);
    EXPECT_EQ(testing::At(*step, 3, y, 0), 87);   // 87.5 truncated
    EXPECT_EQ(testing::At(*step, 4, y, 2), 212);  // 212.5 truncated
    EXPECT_EQ(testing::At(*step, 5, y, 2), 200);
  }
}

TEST(Filters, UniformAreasSmallPicturesAndBordersStay) {
  auto uniform = std::make_unique<cDIBSection>();
  ASSERT_TRUE(uniform->Create(9, 8));
  for (int32_t y = 0; y < 8; ++y) {
    for (int32_t x = 0; x < 9; ++x) {
      for (int32_t c = 0; c < 3; ++c)
        testing::At(*uniform, x, y, c) = static_cast<uint8_t>(40 + 70 * c);
    }
  }
  const std::vector<uint8_t> flat = Bytes(*uniform);
  ApplyFilter(uniform->View(), BlurKernel(), 9);
  EXPECT_EQ(Bytes(*uniform), flat);
  ApplyFilter(uniform->View(), SharpenKernel(), 24);
  EXPECT_EQ(Bytes(*uniform), flat);

  uint32_t seed = 3;
  for (auto [w, h] : {std::pair{2, 2}, {1, 9}, {9, 1}, {2, 7}, {7, 2}}) {
    auto dib = RandomDib(w, h, ++seed);
    const std::vector<uint8_t> before = Bytes(*dib);
    ApplyFilter(dib->View(), BlurKernel(), 9);
    ApplyFilter(dib->View(), SharpenKernel(), 24);
    EXPECT_EQ(Bytes(*dib), before) << w << "x" << h;
  }
}

TEST(Filters, MatchTheFormulaOnRandomPicturesAndAPhoto) {
  uint32_t seed = 50;
  const std::pair<int32_t, int32_t> sizes[] = {{3, 3},  {3, 8},   {8, 3},   {4, 4},
                                               {5, 7},  {17, 9},  {33, 31}, {64, 5},
                                               {65, 6}, {129, 4}, {3, 200}, {251, 3}};
  for (auto [w, h] : sizes) {
    for (const FilterKernel& kernel : {BlurKernel(), SharpenKernel()}) {
      auto dib = RandomDib(w, h, ++seed);
      const int16_t divisor = KernelDivisor(kernel);
      const std::vector<uint8_t> expected = Reference(*dib, kernel, divisor);
      ApplyFilter(dib->View(), kernel, divisor);
      ASSERT_EQ(Bytes(*dib), expected) << w << "x" << h << " divisor " << divisor;
    }
  }
  auto photo = testing::LoadSnake();
  ASSERT_TRUE(photo);
  for (const FilterKernel& kernel : {BlurKernel(), SharpenKernel()}) {
    auto copy = testing::Copy(*photo);
    const int16_t divisor = KernelDivisor(kernel);
    const std::vector<uint8_t> expected = Reference(*copy, kernel, divisor);
    ApplyFilter(copy->View(), kernel, divisor);
    ASSERT_EQ(Bytes(*copy), expected);
  }
}

TEST(Filters, OtherKernelsFollowTheFormulaAndFailCleanly) {
  // An asymmetric kernel shows which way up the rows are taken.
  const FilterKernel emboss{1, {-2, -1, 0, -1, 1, 1, 0, 1, 2}};
  auto dib = RandomDib(11, 9, 77);
  std::vector<uint8_t> expected = Reference(*dib, emboss, 1);
  ApplyFilter(dib->View(), emboss, 1);
  EXPECT_EQ(Bytes(*dib), expected);

  FilterKernel wide{2, std::vector<int16_t>(25, 1)};
  wide.weights[3] = -7;
  dib = RandomDib(12, 10, 78);
  expected = Reference(*dib, wide, 19);
  ApplyFilter(dib->View(), wide, 19);
  EXPECT_EQ(Bytes(*dib), expected);

  // A divisor of 0, or a 16-bit product that overflows, fails before the picture changes.
  dib = RandomDib(6, 6, 79);
  const std::vector<uint8_t> before = Bytes(*dib);
  EXPECT_EQ(ErrorNumberOf([&] { ApplyFilter(dib->View(), emboss, 0); }), Runtime(11));
  EXPECT_EQ(Bytes(*dib), before);
  const FilterKernel strong{1, {0, 0, 0, 0, 200, 0, 0, 0, 0}};
  for (int32_t c = 0; c < 3; ++c)
    AtMemory(*dib, 4, 4, c) = 255;  // 255 x 200 leaves the 16-bit range
  const std::vector<uint8_t> bright = Bytes(*dib);
  EXPECT_EQ(ErrorNumberOf([&] { ApplyFilter(dib->View(), strong, 200); }), Runtime(6));
  EXPECT_EQ(Bytes(*dib), bright);
}

}  // namespace
}  // namespace corvella::operations
