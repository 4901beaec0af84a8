// The imaging layer: the image buffer's layout, states and limits, its checked row access and
// CopyBlock against an independent per-pixel reference at every clipping edge; bilinear
// resampling at every kernel level against the formulas written out in double precision,
// hand-worked cases that pin that reference, and the errors before any write.

#include "corvella/imaging/dib_section.h"
#include "corvella/imaging/resample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "corvella/imaging/pixel_limit.h"
#include "operations/image_fixtures.h"
#include "support/errors.h"

namespace corvella::imaging {
namespace {

using testing::AtMemory;
using testing::Bytes;
using testing::ErrorNumberOf;
using testing::Levels;
using testing::RandomDib;
using testing::RoundEven;
using testing::Runtime;

// Fills a live buffer so that every byte tells its device point and channel apart:
// blue = x, green = y, red = 100 + x + y.
void FillPattern(cDIBSection& dib) {
  ImageView view = dib.View();
  for (int32_t y = 0; y < view.height; ++y) {
    for (int32_t x = 0; x < view.width; ++x) {
      uint8_t* p = view.Row(y) + 3 * x;
      p[0] = static_cast<uint8_t>(x);
      p[1] = static_cast<uint8_t>(y);
      p[2] = static_cast<uint8_t>(100 + x + y);
    }
  }
}

// The blue, green, red bytes of device point (x, y), read straight from memory.
testing::Pixel PixelAt(const cDIBSection& dib, int32_t x, int32_t y) {
  return {testing::At(dib, x, y, 0), testing::At(dib, x, y, 1), testing::At(dib, x, y, 2)};
}

TEST(DibSection, LayoutStatesAndLimits) {
  const int32_t strides[] = {4, 8, 12, 12, 16};
  for (int32_t w = 1; w <= 5; ++w) {
    cDIBSection sized;
    ASSERT_TRUE(sized.Create(w, 1));
    EXPECT_EQ(sized.BytesPerScanLine(), strides[w - 1]) << w;
  }
  // The view's row 0 is the last memory row.
  cDIBSection dib;
  ASSERT_TRUE(dib.Create(3, 4));
  EXPECT_EQ(dib.View().Row(0), dib.DIBSectionBitsPtr() + 3 * 12);
  EXPECT_EQ(dib.View().stride, -12);

  // Failed: no pixels, the requested size kept; Empty after ClearUp.
  EXPECT_FALSE(dib.Create(0, 10));
  EXPECT_EQ(dib.DIBSectionBitsPtr(), nullptr);
  EXPECT_TRUE(dib.View().Empty());
  EXPECT_EQ(dib.dib_width(), 0);
  EXPECT_EQ(dib.dib_height(), 10);
  EXPECT_EQ(dib.Rows().Rows(), 0);
  EXPECT_FALSE(dib.Create(4, -3));
  const uint64_t saved = MaxPixels();
  SetMaxPixels(100);
  EXPECT_TRUE(dib.Create(10, 10));
  EXPECT_FALSE(dib.Create(11, 10));
  EXPECT_EQ(dib.dib_width(), 11);
  SetMaxPixels(saved);
  dib.ClearUp();
  EXPECT_EQ(dib.dib_width(), 0);
  EXPECT_EQ(dib.BytesPerScanLine(), 0);

  // 3 x width + 3, or the image size, leaving the 32-bit range is an overflow, not a failure.
  EXPECT_EQ(ErrorNumberOf([&] { dib.Create(800000000, 1); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([&] { dib.Create(40000, 20000); }), Runtime(6));
  EXPECT_EQ(dib.DIBSectionBitsPtr(), nullptr);
}

TEST(DibSection, PaddingStartsZeroAndRowAccessIsChecked) {
  cDIBSection dib;
  ASSERT_TRUE(dib.Create(3, 2));  // 9 pixel bytes, 12 per row
  DirectRowAccess rows = dib.Rows();
  EXPECT_EQ(rows.BytesPerRow(), 12);
  EXPECT_EQ(rows.Rows(), 2);
  for (int32_t r = 0; r < 2; ++r) {
    for (int32_t b = 9; b < 12; ++b)
      EXPECT_EQ(rows(b, r), 0);
  }
  rows(11, 1) = 5;
  EXPECT_EQ(dib.DIBSectionBitsPtr()[12 + 11], 5);
  EXPECT_EQ(ErrorNumberOf([&] { rows(12, 0); }), Runtime(9));
  EXPECT_EQ(ErrorNumberOf([&] { rows(0, 2); }), Runtime(9));
  EXPECT_EQ(ErrorNumberOf([&] { rows(-1, 0); }), Runtime(9));
  EXPECT_EQ(ErrorNumberOf([&] { rows.Require(0, 11, 0, 1); }), 0);
  EXPECT_EQ(ErrorNumberOf([&] { rows.Require(3, 14, 0, 0); }), Runtime(9));
}

TEST(CopyBlock, ClipsToBothPicturesAndCopiesOverlapsExactly) {
  cDIBSection source;
  ASSERT_TRUE(source.Create(7, 5));
  FillPattern(source);
  // Every combination of offsets that pushes the block past an edge of either picture.
  const int32_t offsets[] = {-3, 0, 2, 5};
  for (int32_t dx : offsets) {
    for (int32_t dy : offsets) {
      for (int32_t sx : offsets) {
        for (int32_t sy : offsets) {
          cDIBSection target;
          ASSERT_TRUE(target.Create(6, 4));
          std::memset(target.DIBSectionBitsPtr(), 0xEE, target.BytesPerScanLine() * 4);
          CopyBlock(target.View(), dx, dy, source.ConstView(), {sx, sy, 4, 3});
          for (int32_t y = 0; y < 4; ++y) {
            for (int32_t x = 0; x < 6; ++x) {
              int32_t i = x - dx, j = y - dy;
              bool copied = i >= 0 && i < 4 && j >= 0 && j < 3 && sx + i >= 0 && sx + i < 7 &&
                            sy + j >= 0 && sy + j < 5;
              testing::Pixel expected =
                  copied ? PixelAt(source, sx + i, sy + j) : testing::Pixel{0xEE, 0xEE, 0xEE};
              ASSERT_EQ(PixelAt(target, x, y), expected)
                  << dx << "," << dy << " from " << sx << "," << sy << " at " << x << "," << y;
            }
          }
        }
      }
    }
  }
  // Within one picture, both directions of overlap.
  for (int32_t shift : {1, -1}) {
    cDIBSection dib, original;
    ASSERT_TRUE(dib.Create(6, 6));
    ASSERT_TRUE(original.Create(6, 6));
    FillPattern(dib);
    FillPattern(original);
    CopyBlock(dib.View(), 1 + shift, 2 + shift, dib.ConstView(), {1, 2, 4, 3});
    for (int32_t j = 0; j < 3; ++j) {
      for (int32_t i = 0; i < 4; ++i)
        EXPECT_EQ(PixelAt(dib, 1 + shift + i, 2 + shift + j), PixelAt(original, 1 + i, 2 + j));
    }
  }
  // An empty view on either side copies nothing.
  cDIBSection empty;
  CopyBlock(empty.View(), 0, 0, source.ConstView(), {0, 0, 7, 5});
  CopyBlock(source.View(), 0, 0, empty.ConstView(), {0, 0, 7, 5});
  EXPECT_EQ(PixelAt(source, 6, 4), (testing::Pixel{6, 4, 110}));
}

// The resampler written straight from its formulas: float scale factors and positions, the
// blends in double precision, rounded between rows and then between columns. The hand-worked
// cases below pin the reference itself; the same size, halving (column 1.98 x, never the last)
// and large factors are compared with it.
void ReferenceResample(const cDIBSection& source, cDIBSection& target) {
  const int32_t sw = source.dib_width();
  const int32_t sh = source.dib_height();
  const int32_t dw = target.dib_width();
  const int32_t dh = target.dib_height();
  const auto xScale = static_cast<float>(static_cast<double>(sw - 1) / dw);
  const auto yScale = static_cast<float>(static_cast<double>(sh - 1) / dh);
  for (int32_t y = 0; y < dh; ++y) {
    const auto sy = static_cast<float>(static_cast<double>(yScale) * y);
    const auto iy = static_cast<int32_t>(std::floor(sy));
    const float fy = sy - static_cast<float>(iy);
    for (int32_t x = 0; x < dw; ++x) {
      const auto sx = static_cast<float>(static_cast<double>(xScale) * x);
      const auto ix = static_cast<int32_t>(std::floor(sx));
      const float fx = sx - static_cast<float>(ix);
      for (int32_t c = 0; c < 3; ++c) {
        double v[2];
        for (int32_t k = 0; k < 2; ++k) {
          v[k] = RoundEven((1.0 - fy) * AtMemory(source, ix + k, iy, c) +
                           static_cast<double>(fy) * AtMemory(source, ix + k, iy + 1, c));
        }
        const double d = RoundEven((1.0 - fx) * v[0] + static_cast<double>(fx) * v[1]);
        AtMemory(target, x, y, c) = static_cast<uint8_t>(std::clamp(d, 0.0, 255.0));
      }
    }
  }
}

// Resamples with every level and with the reference into targets whose bytes start random, and
// compares all bytes, padding included (the padding must keep its random bytes).
void ExpectSameAsReference(const cDIBSection& source, int32_t width, int32_t height,
                           uint32_t seed) {
  auto expected = RandomDib(width, height, seed);
  ReferenceResample(source, *expected);
  for (SimdLevel level : Levels()) {
    auto target = RandomDib(width, height, seed);
    ResampleInto(source, *target, level);
    ASSERT_EQ(Bytes(*target), Bytes(*expected))
        << source.dib_width() << "x" << source.dib_height() << " -> " << width << "x" << height
        << " level " << static_cast<int>(level);
  }
}

TEST(Resample, UpscalingTwoByTwoToFourByFour) {
  cDIBSection source;
  ASSERT_TRUE(source.Create(2, 2));
  const uint8_t blue[2][2] = {{0, 100}, {200, 50}};  // memory rows 0 and 1
  for (int32_t r = 0; r < 2; ++r) {
    for (int32_t x = 0; x < 2; ++x) {
      AtMemory(source, x, r, 0) = blue[r][x];
      AtMemory(source, x, r, 1) = static_cast<uint8_t>(255 - blue[r][x]);
      AtMemory(source, x, r, 2) = static_cast<uint8_t>(7 * x + 90 * r);
    }
  }
  const int expected[4][4] = {
      {0, 25, 50, 75}, {50, 60, 69, 78}, {100, 94, 88, 81}, {150, 128, 106, 84}};
  for (SimdLevel level : Levels()) {
    cDIBSection target;
    ASSERT_TRUE(target.Create(4, 4));
    ResampleInto(source, target, level);
    for (int32_t r = 0; r < 4; ++r) {
      for (int32_t x = 0; x < 4; ++x)
        EXPECT_EQ(AtMemory(target, x, r, 0), expected[r][x]) << "row " << r << " x " << x;
    }
    // The bottom-left pixel is the source's bottom-left pixel.
    for (int32_t c = 0; c < 3; ++c)
      EXPECT_EQ(AtMemory(target, 0, 0, c), AtMemory(source, 0, 0, c));
  }
  ExpectSameAsReference(source, 4, 4, 1);
}

TEST(Resample, VerticalTiesGoToTheEvenValue) {
  // Two memory rows, blue 2 over 3 and green 3 over 4; target row 2 of 4 samples halfway.
  cDIBSection source;
  ASSERT_TRUE(source.Create(2, 2));
  for (int32_t x = 0; x < 2; ++x) {
    AtMemory(source, x, 0, 0) = 2;
    AtMemory(source, x, 1, 0) = 3;
    AtMemory(source, x, 0, 1) = 3;
    AtMemory(source, x, 1, 1) = 4;
  }
  for (SimdLevel level : Levels()) {
    cDIBSection target;
    ASSERT_TRUE(target.Create(2, 4));
    ResampleInto(source, target, level);
    EXPECT_EQ(AtMemory(target, 0, 2, 0), 2);
    EXPECT_EQ(AtMemory(target, 0, 2, 1), 4);
    EXPECT_EQ(AtMemory(target, 1, 2, 0), 2);
    EXPECT_EQ(AtMemory(target, 1, 2, 1), 4);
  }
}

TEST(Resample, MatchesTheReferenceOnRandomImagesOfManySizes) {
  testing::Random random(42);
  uint32_t seed = 100;
  const int32_t small[] = {2, 3, 4, 5, 7};
  for (int32_t sw : small) {
    for (int32_t sh : small) {
      auto source = RandomDib(sw, sh, ++seed);
      for (int32_t dw : {1, 2, 3, 5, 8, 11, 33}) {
        for (int32_t dh : {1, 2, 3, 4, 9})
          ExpectSameAsReference(*source, dw, dh, ++seed);
      }
    }
  }
  for (int i = 0; i < 150; ++i) {
    auto source = RandomDib(random.Between(2, 60), random.Between(2, 40), ++seed);
    ExpectSameAsReference(*source, random.Between(1, 130), random.Between(1, 50), ++seed);
  }
  // n x 3 and 3 x n, both ways.
  auto wide = RandomDib(97, 3, ++seed);
  ExpectSameAsReference(*wide, 3, 97, ++seed);
  ExpectSameAsReference(*wide, 98, 3, ++seed);
  auto tall = RandomDib(3, 61, ++seed);
  ExpectSameAsReference(*tall, 61, 3, ++seed);
  ExpectSameAsReference(*tall, 3, 20, ++seed);
}

TEST(Resample, MatchesTheReferenceWhenSamplesFallHalfway) {
  // Scale factors of a few bits (0.25, 0.5, 0.75, 1.5, 2, 3) put many samples exactly halfway
  // between two pixels, in rows wide enough for every kernel.
  uint32_t seed = 500;
  for (int32_t sw : {17, 33, 49, 97, 129, 193}) {
    auto source = RandomDib(sw, 9, ++seed);
    for (int32_t dw : {64, 128})
      ExpectSameAsReference(*source, dw, 32, ++seed);
  }
}

TEST(Resample, MatchesTheReferenceForLargeFactors) {
  uint32_t seed = 7;
  // Enlargements beyond twice the size give fractions finer than 2^-24, and beyond about 500
  // times finer than 2^-32; reductions give coarse ones.
  auto tiny = RandomDib(3, 2, ++seed);
  ExpectSameAsReference(*tiny, 1025, 3, ++seed);
  ExpectSameAsReference(*tiny, 7, 700, ++seed);
  auto two = RandomDib(2, 2, ++seed);
  ExpectSameAsReference(*two, 4100, 2, ++seed);
  ExpectSameAsReference(*two, 9, 9, ++seed);
  auto wide = RandomDib(1000, 3, ++seed);
  ExpectSameAsReference(*wide, 7, 2, ++seed);
  ExpectSameAsReference(*wide, 333, 5, ++seed);
  ExpectSameAsReference(*wide, 2999, 2, ++seed);
  // Targets far narrower than the source blend only the bytes their columns read.
  auto strip = RandomDib(2000, 2, ++seed);
  ExpectSameAsReference(*strip, 2, 700, ++seed);
  ExpectSameAsReference(*strip, 5, 3, ++seed);
}

TEST(Resample, MatchesTheReferenceOnAPhoto) {
  auto photo = testing::LoadSnake();
  ASSERT_TRUE(photo);
  ExpectSameAsReference(*photo, 600, 450, 1);  // same size
  ExpectSameAsReference(*photo, 200, 150, 2);  // thumbnail
  ExpectSameAsReference(*photo, 1001, 313, 3);
  ExpectSameAsReference(*photo, 1300, 40, 4);  // beyond twice the size
}

TEST(Resample, ErrorsComeBeforeAnyByteIsWritten) {
  auto source = RandomDib(5, 4, 1);
  for (SimdLevel level : Levels()) {
    // A target of width or height 0 is a division by zero, tested before the source.
    cDIBSection empty;
    EXPECT_FALSE(empty.Create(0, 4));
    EXPECT_EQ(ErrorNumberOf([&] { ResampleInto(*source, empty, level); }), Runtime(11));
    EXPECT_FALSE(empty.Create(4, 0));
    EXPECT_EQ(ErrorNumberOf([&] { ResampleInto(*source, empty, level); }), Runtime(11));
    auto narrow = RandomDib(1, 5, 2);
    EXPECT_EQ(ErrorNumberOf([&] { ResampleInto(*narrow, empty, level); }), Runtime(11));

    // A source 1 pixel wide or high, or without pixels, is a range error.
    auto target = RandomDib(6, 6, 3);
    const std::vector<uint8_t> before = Bytes(*target);
    auto low = RandomDib(5, 1, 4);
    cDIBSection none;
    EXPECT_EQ(ErrorNumberOf([&] { ResampleInto(*narrow, *target, level); }), Runtime(9));
    EXPECT_EQ(ErrorNumberOf([&] { ResampleInto(*low, *target, level); }), Runtime(9));
    EXPECT_EQ(ErrorNumberOf([&] { ResampleInto(none, *target, level); }), Runtime(9));
    EXPECT_EQ(Bytes(*target), before);

    // A target that could not be made has no rows to write.
    const uint64_t limit = MaxPixels();
    SetMaxPixels(10);
    cDIBSection failed;
    EXPECT_FALSE(failed.Create(4, 4));
    SetMaxPixels(limit);
    EXPECT_EQ(ErrorNumberOf([&] { ResampleInto(*source, failed, level); }), Runtime(9));
  }
  // The buffer's member ResampleDib, which the component calls, is the component's test.
}

}  // namespace
}  // namespace corvella::imaging
