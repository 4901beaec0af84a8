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

TEST(DibSection, CreateLaysOutRowsBottomUpWithPaddedStride) {
  cDIBSection dib;
  ASSERT_TRUE(dib.Create(5, 2));
  EXPECT_EQ(dib.BytesPerScanLine(), 16);
  EXPECT_EQ(dib.Info().header.biSizeImage, 32u);
  EXPECT_EQ(dib.Info().header.biBitCount, 24);
  EXPECT_EQ(dib.Info().header.biPlanes, 1);
  EXPECT_EQ(dib.dib_channels(), 3);
  EXPECT_NE(dib.hdc(), nullptr);
  EXPECT_NE(dib.DIBSectionBitsPtr(), nullptr);
  EXPECT_NE(dib.hDib(), 0u);

  const int32_t expected[] = {4, 8, 12, 12, 16};
  for (int32_t w = 1; w <= 5; ++w) {
    cDIBSection sized;
    ASSERT_TRUE(sized.Create(w, 1));
    EXPECT_EQ(sized.BytesPerScanLine(), expected[w - 1]) << w;
  }

  // Memory row 0 is the bottom row: blue 255 at byte 0 shows at device point (0, H - 1).
  ASSERT_TRUE(dib.Create(3, 4));
  std::memset(dib.DIBSectionBitsPtr(), 0, dib.BytesPerScanLine() * 4);
  dib.DIBSectionBitsPtr()[0] = 255;
  cDIBSection probe;
  ASSERT_TRUE(probe.Create(1, 1));
  ASSERT_TRUE(BitBlt(probe.hdc(), 0, 0, 1, 1, dib.hdc(), 0, 3, RasterOp::SrcCopy));
  EXPECT_EQ(probe.DIBSectionBitsPtr()[0], 255);
  ASSERT_TRUE(BitBlt(probe.hdc(), 0, 0, 1, 1, dib.hdc(), 0, 0, RasterOp::SrcCopy));
  EXPECT_EQ(probe.DIBSectionBitsPtr()[0], 0);
  // A copy out of device point (0, 0) reads memory row H - 1.
  dib.DIBSectionBitsPtr()[3 * dib.BytesPerScanLine() + 1] = 77;
  ASSERT_TRUE(BitBlt(probe.hdc(), 0, 0, 1, 1, dib.hdc(), 0, 0, RasterOp::SrcCopy));
  EXPECT_EQ(probe.DIBSectionBitsPtr()[1], 77);
}

TEST(DibSection, StatesEmptyLiveFailed) {
  cDIBSection dib;
  EXPECT_EQ(dib.dib_channels(), 0);
  EXPECT_EQ(dib.hdc(), nullptr);

  // Create(0, 10) fails but keeps the requested size.
  EXPECT_FALSE(dib.Create(0, 10));
  EXPECT_EQ(dib.hdc(), nullptr);
  EXPECT_EQ(dib.DIBSectionBitsPtr(), nullptr);
  EXPECT_EQ(dib.dib_width(), 0);
  EXPECT_EQ(dib.dib_height(), 10);
  EXPECT_EQ(dib.dib_channels(), 3);
  EXPECT_EQ(dib.Rows().Rows(), 0);
  EXPECT_FALSE(dib.Create(4, -3));

  // A second Create replaces the first bitmap and context.
  ASSERT_TRUE(dib.Create(4, 4));
  Hdc first = dib.hdc();
  ASSERT_TRUE(dib.Create(6, 2));
  EXPECT_EQ(dib.dib_width(), 6);
  EXPECT_EQ(dib.hdc()->Width(), 6);
  (void)first;

  dib.ClearUp();
  EXPECT_EQ(dib.dib_channels(), 0);
  EXPECT_EQ(dib.BytesPerScanLine(), 0);
  EXPECT_EQ(dib.hdc(), nullptr);
  EXPECT_EQ(dib.hDib(), 0u);
  EXPECT_EQ(dib.Info().header.biSize, 40u);
  EXPECT_EQ(dib.Info().header.biSizeImage, 20u * 2);  // left as it was
}

TEST(DibSection, SizesBeyondTheLimitsFailOrOverflow) {
  uint64_t saved = MaxPixels();
  SetMaxPixels(100);
  cDIBSection dib;
  EXPECT_TRUE(dib.Create(10, 10));
  EXPECT_FALSE(dib.Create(11, 10));
  EXPECT_EQ(dib.dib_width(), 11);  // the failed buffer reports the requested size
  EXPECT_EQ(dib.hdc(), nullptr);
  SetMaxPixels(saved);

  // 3 x width + 3, or the image size, leaving the 32-bit range is an overflow, not a failure.
  EXPECT_EQ(ErrorNumberOf([&] { dib.Create(800000000, 1); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([&] { dib.Create(40000, 20000); }), Runtime(6));
  EXPECT_EQ(dib.hdc(), nullptr);
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

TEST(DibSection, BlockCopiesClipToBothBitmaps) {
  cDIBSection source;
  ASSERT_TRUE(source.Create(7, 5));
  FillPattern(source);
  // Every combination of offsets that pushes the block past an edge of either bitmap.
  const int32_t offsets[] = {-3, 0, 2, 5};
  for (int32_t dx : offsets) {
    for (int32_t dy : offsets) {
      for (int32_t sx : offsets) {
        for (int32_t sy : offsets) {
          cDIBSection target;
          ASSERT_TRUE(target.Create(6, 4));
          std::memset(target.DIBSectionBitsPtr(), 0xEE, target.BytesPerScanLine() * 4);
          ASSERT_TRUE(BitBlt(target.hdc(), dx, dy, 4, 3, source.hdc(), sx, sy, RasterOp::SrcCopy));
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
  EXPECT_FALSE(BitBlt(nullptr, 0, 0, 1, 1, source.hdc(), 0, 0, RasterOp::SrcCopy));
}

TEST(DibSection, OverlappingCopyWithinOneBitmapIsExact) {
  cDIBSection dib, original;
  ASSERT_TRUE(dib.Create(6, 6));
  ASSERT_TRUE(original.Create(6, 6));
  FillPattern(dib);
  FillPattern(original);
  ASSERT_TRUE(BitBlt(dib.hdc(), 1, 2, 4, 3, dib.hdc(), 0, 0, RasterOp::SrcCopy));
  for (int32_t j = 0; j < 3; ++j) {
    for (int32_t i = 0; i < 4; ++i)
      EXPECT_EQ(PixelAt(dib, 1 + i, 2 + j), PixelAt(original, i, j));
  }
}

TEST(DibSection, LoadPictureBltAndCreateFromPicture) {
  cDIBSection source;
  ASSERT_TRUE(source.Create(5, 4));
  FillPattern(source);
  cDIBSection target;
  ASSERT_TRUE(target.Create(2, 3));
  target.LoadPictureBlt(source.hdc(), 0, 0, -1, -1, RasterOp::SrcCopy);
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 2; ++x)
      EXPECT_EQ(PixelAt(target, x, y), PixelAt(source, x, y));
  }
  target.LoadPictureBlt(source.hdc(), 3, 1, 1, -7);  // any negative size means the whole extent
  EXPECT_EQ(PixelAt(target, 0, 2), PixelAt(source, 3, 3));
  EXPECT_EQ(PixelAt(target, 1, 0), PixelAt(source, 1, 0));  // outside the 1-wide block: kept

  // A picture of another format is converted to blue, green, red.
  Picture rgb;
  ASSERT_TRUE(rgb.Allocate(2, 2, PixelFormat::Rgb24));
  rgb.Row(0)[0] = 10;  // red of the top-left pixel
  rgb.Row(0)[2] = 30;  // its blue
  rgb.Row(1)[3] = 40;  // red of the bottom-right pixel
  cDIBSection fromRgb;
  EXPECT_TRUE(fromRgb.CreateFromPicture(rgb).IsEmpty());
  EXPECT_EQ(PixelAt(fromRgb, 0, 0), (std::vector<uint8_t>{30, 0, 10}));
  EXPECT_EQ(PixelAt(fromRgb, 1, 1), (std::vector<uint8_t>{0, 0, 40}));

  Picture grey;
  ASSERT_TRUE(grey.Allocate(3, 1, PixelFormat::Gray8));
  grey.Row(0)[2] = 9;
  cDIBSection fromGrey;
  fromGrey.CreateFromPicture(grey);
  EXPECT_EQ(PixelAt(fromGrey, 2, 0), (std::vector<uint8_t>{9, 9, 9}));

  // A picture that holds no bitmap leaves a failed buffer of 0 x 0.
  cDIBSection none;
  EXPECT_TRUE(none.CreateFromPicture(Picture()).IsEmpty());
  EXPECT_EQ(none.dib_width(), 0);
  EXPECT_EQ(none.dib_height(), 0);
  EXPECT_EQ(none.hdc(), nullptr);
  EXPECT_EQ(none.dib_channels(), 3);
}

}  // namespace
}  // namespace corvella::imaging
