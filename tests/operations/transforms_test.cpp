// Flip, mirror and both quarter turns: every pixel of random pictures lands where its mapping
// says, at every kernel level, and the padding stays untouched.

#include "corvella/operations/transforms.h"

#include <gtest/gtest.h>

#include <vector>

#include "operations/image_fixtures.h"
#include "support/errors.h"

namespace corvella::operations {
namespace {

using imaging::cDIBSection;
using imaging::SimdLevel;
using testing::At;
using testing::Bytes;
using testing::ErrorNumberOf;
using testing::Levels;
using testing::RandomDib;
using testing::Runtime;

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
    {1, 1},   {1, 5},   {5, 1},   {2, 2},    {3, 3},     {3, 8},    {8, 3},     {4, 4},
    {5, 7},   {7, 5},   {6, 9},   {37, 23},  {64, 64},   {65, 33},  {130, 67},  {131, 129},
    {33, 301}, {301, 257}, {600, 450}};

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
