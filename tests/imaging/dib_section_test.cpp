// The image buffer's layout, states and limits, its checked row access, and CopyBlock against an
// independent per-pixel reference at every clipping edge.

#include "corvella/imaging/dib_section.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "corvella/imaging/pixel_limit.h"
#include "support/errors.h"

namespace corvella::imaging {
namespace {

using testing::ErrorNumberOf;
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
std::vector<uint8_t> PixelAt(const cDIBSection& dib, int32_t x, int32_t y) {
  const uint8_t* row =
      dib.DIBSectionBitsPtr() + (dib.dib_height() - 1 - y) * dib.BytesPerScanLine();
  return {row[3 * x], row[3 * x + 1], row[3 * x + 2]};
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
              std::vector<uint8_t> expected =
                  copied ? PixelAt(source, sx + i, sy + j) : std::vector<uint8_t>{0xEE, 0xEE, 0xEE};
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
  EXPECT_EQ(PixelAt(source, 6, 4), (std::vector<uint8_t>{6, 4, 110}));
}

}  // namespace
}  // namespace corvella::imaging
