#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "codec_test_support.h"
#include "corvella/codec/picture_loader.h"

namespace corvella::codec {
namespace {

using test::Bgr;
using test::Bytes;
using test::FaultOf;
using test::PixelOf;
using test::PutU16;
using test::PutU32;
using test::ReadImage;

constexpr Bgr kWhite = {255, 255, 255};
constexpr Bgr kBlack = {0, 0, 0};

// What BuildBmp writes. Palette entries are blue, green, red; `pixels` is the pixel data as the
// file stores it (rows in file order, padded as the test chooses).
struct BmpLayout {
  int32_t width = 0;
  int32_t height = 0;
  uint16_t bits = 24;
  uint32_t compression = 0;
  uint32_t infoSize = 40;
  std::vector<Bgr> palette;
  uint32_t coloursUsed = 0;
  std::vector<uint32_t> masks;  // red, green, blue (, alpha)
  Bytes pixels;
  int64_t dataOffset = -1;  // -1: right after the palette
};

Bytes BuildBmp(const BmpLayout& layout) {
  Bytes info;
  if (layout.infoSize == 12) {
    PutU32(info, 12);
    PutU16(info, static_cast<uint32_t>(layout.width));
    PutU16(info, static_cast<uint32_t>(layout.height));
    PutU16(info, 1);
    PutU16(info, layout.bits);
  } else {
    PutU32(info, layout.infoSize);
    PutU32(info, static_cast<uint32_t>(layout.width));
    PutU32(info, static_cast<uint32_t>(layout.height));
    PutU16(info, 1);
    PutU16(info, layout.bits);
    PutU32(info, layout.compression);
    PutU32(info, static_cast<uint32_t>(layout.pixels.size()));
    PutU32(info, 2835);
    PutU32(info, 2835);
    PutU32(info, layout.coloursUsed);
    PutU32(info, 0);
    // Masks inside headers of 52 bytes and more; the rest of a large header is zero.
    for (size_t i = 0; i < layout.masks.size() && info.size() < layout.infoSize; ++i) {
      PutU32(info, layout.masks[i]);
    }
    info.resize(layout.infoSize, 0);
    if (layout.infoSize == 40) {
      for (uint32_t mask : layout.masks)
        PutU32(info, mask);
    }
  }
  for (const Bgr& c : layout.palette) {
    info.insert(info.end(), c.begin(), c.end());
    if (layout.infoSize != 12) info.push_back(0);
  }
  const uint32_t offset = layout.dataOffset >= 0 ? static_cast<uint32_t>(layout.dataOffset)
                                                 : 14 + uint32_t(info.size());
  Bytes file = {'B', 'M'};
  PutU32(file, static_cast<uint32_t>(14 + info.size() + layout.pixels.size()));
  PutU32(file, 0);
  PutU32(file, offset);
  file.insert(file.end(), info.begin(), info.end());
  if (file.size() < offset) file.resize(offset, 0);  // a gap before the pixels
  file.insert(file.end(), layout.pixels.begin(), layout.pixels.end());
  return file;
}

void ExpectPixels(const test::Picture& picture, const std::vector<std::vector<Bgr>>& rows) {
  ASSERT_EQ(picture.Height(), static_cast<int32_t>(rows.size()));
  ASSERT_EQ(picture.Width(), static_cast<int32_t>(rows[0].size()));
  for (size_t y = 0; y < rows.size(); ++y) {
    for (size_t x = 0; x < rows[y].size(); ++x) {
      EXPECT_EQ(PixelOf(picture, int32_t(x), int32_t(y)), rows[y][x]) << x << "," << y;
    }
  }
}

uint8_t Scaled(uint32_t value, int bits) {
  double max = std::ldexp(1.0, bits) - 1;
  return static_cast<uint8_t>(std::lround(value * 255.0 / max));
}

uint8_t OverWhite(int value, int alpha) {
  return static_cast<uint8_t>(std::lround((value * alpha + 255.0 * (255 - alpha)) / 255.0));
}

const Bgr kA = {10, 20, 30}, kB = {200, 100, 50}, kC = {1, 2, 3}, kD = {90, 80, 70};

BmpLayout Palette(uint32_t infoSize, int32_t width, int32_t height, uint16_t bits,
                  std::vector<Bgr> palette, Bytes pixels, uint32_t coloursUsed = 0) {
  BmpLayout layout;
  layout.infoSize = infoSize;
  layout.width = width;
  layout.height = height;
  layout.bits = bits;
  layout.palette = std::move(palette);
  layout.pixels = std::move(pixels);
  layout.coloursUsed = coloursUsed;
  return layout;
}

TEST(BmpReader, DecodesPaletteBitmaps) {
  std::vector<Bgr> core = {kA, kB};
  core.resize(256, kD);
  const std::pair<BmpLayout, std::vector<std::vector<Bgr>>> cases[] = {
      // 1 bit, 9 x 2, bottom-up: the first file row is the bottom picture row; rows of 2 bytes
      // padded to 4.
      {Palette(40, 9, 2, 1, {kA, kB}, {0b10110000, 0b10000000, 0, 0, 0b01000000, 0, 0, 0}),
       {{kA, kB, kA, kA, kA, kA, kA, kA, kA}, {kB, kA, kB, kB, kA, kA, kA, kA, kB}}},
      // 4 bits with 3 entries declared: index 7 lies beyond them and is black.
      {Palette(40, 5, 1, 4, {kA, kB, kC}, {0x01, 0x27, 0x10, 0}, 3),
       {{kA, kB, kC, kBlack, kB}}},
      // 8 bits, top-down, no colour count: the pixel data offset leaves room for 4 entries.
      {Palette(40, 3, -2, 8, {kA, kB, kC, kD}, {0, 1, 2, 0, 3, 4, 255, 0}),
       {{kA, kB, kC}, {kD, kBlack, kBlack}}},
      // The OS/2 core header: three-byte palette entries.
      {Palette(12, 2, 2, 8, core, {1, 0, 0, 0, 0, 5, 0, 0}), {{kA, kD}, {kB, kA}}},
  };
  for (const auto& [layout, rows] : cases) {
    ExpectPixels(LoadBmp(BuildBmp(layout)), rows);
  }
}

TEST(BmpReader, DecodesDirectColourBitmaps) {
  // 24 bits, 3 x 2, rows of 9 bytes padded to 12; the last row's padding may be missing.
  BmpLayout layout;
  layout.width = 3;
  layout.height = 2;
  layout.bits = 24;
  layout.pixels = {10, 20, 30, 40, 50, 60, 70, 80, 90, 0, 0, 0,  // bottom row
                   1,  2,  3,  4,  5,  6,  7,  8,  9};           // top row, unpadded
  const std::vector<std::vector<Bgr>> expected = {{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}},
                                                  {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}}};
  ExpectPixels(LoadBmp(BuildBmp(layout)), expected);
  // The same rows stored top-down, with each of the larger info headers.
  BmpLayout topDown = layout;
  topDown.height = -2;
  topDown.pixels = {1,  2,  3,  4,  5,  6,  7,  8,  9,  0, 0, 0,
                    10, 20, 30, 40, 50, 60, 70, 80, 90, 0, 0, 0};
  for (uint32_t infoSize : {40u, 52u, 56u, 108u, 124u}) {
    topDown.infoSize = infoSize;
    ExpectPixels(LoadBmp(BuildBmp(topDown)), expected);
  }
  layout.infoSize = 12;
  ExpectPixels(LoadBmp(BuildBmp(layout)), expected);

  // 16 bits without masks: 5 bits each of red, green, blue, scaled to 0 .. 255.
  BmpLayout rgb555;
  rgb555.width = 2;
  rgb555.height = 1;
  rgb555.bits = 16;
  uint16_t a = (31 << 10) | (1 << 5) | 16, b = (3 << 10) | (30 << 5) | 0;
  rgb555.pixels = {uint8_t(a), uint8_t(a >> 8), uint8_t(b), uint8_t(b >> 8)};
  ExpectPixels(LoadBmp(BuildBmp(rgb555)),
               {{{Scaled(16, 5), Scaled(1, 5), 255}, {0, Scaled(30, 5), Scaled(3, 5)}}});

  // 16-bit bit fields 5-6-5 after a 40-byte header.
  BmpLayout rgb565 = rgb555;
  rgb565.compression = 3;
  rgb565.masks = {0xF800, 0x07E0, 0x001F};
  uint16_t c = (7 << 11) | (40 << 5) | 31;
  rgb565.pixels = {uint8_t(c), uint8_t(c >> 8), 0, 0};
  ExpectPixels(LoadBmp(BuildBmp(rgb565)), {{{255, Scaled(40, 6), Scaled(7, 5)}, kBlack}});

  // 32 bits without masks: the fourth byte is not alpha.
  BmpLayout rgbx;
  rgbx.width = 2;
  rgbx.height = 1;
  rgbx.bits = 32;
  rgbx.pixels = {1, 2, 3, 0x00, 4, 5, 6, 0x80};
  ExpectPixels(LoadBmp(BuildBmp(rgbx)), {{{1, 2, 3}, {4, 5, 6}}});
}

TEST(BmpReader, UsesAlphaOnlyWhereTheHeaderDeclaresIt) {
  BmpLayout layout;
  layout.width = 2;
  layout.height = 1;
  layout.bits = 32;
  layout.compression = 3;
  layout.infoSize = 124;
  layout.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
  layout.pixels = {100, 150, 200, 128, 100, 150, 200, 0};
  ExpectPixels(LoadBmp(BuildBmp(layout)),
               {{{OverWhite(100, 128), OverWhite(150, 128), OverWhite(200, 128)}, kWhite}});
  // An alpha channel that is zero everywhere was never set: the pixels are opaque.
  layout.pixels = {100, 150, 200, 0, 1, 2, 3, 0};
  ExpectPixels(LoadBmp(BuildBmp(layout)), {{{100, 150, 200}, {1, 2, 3}}});
  // The same bytes under a 52-byte header, which has no alpha mask.
  layout.infoSize = 52;
  layout.pixels = {100, 150, 200, 128, 1, 2, 3, 0};
  ExpectPixels(LoadBmp(BuildBmp(layout)), {{{100, 150, 200}, {1, 2, 3}}});

  // Masks of any width: 10 bits per colour and 2 bits of alpha.
  BmpLayout wide = layout;
  wide.infoSize = 56;
  wide.masks = {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000};
  uint32_t pixel = (3u << 30) | (1000u << 20) | (512u << 10) | 7u;
  uint32_t half = (1u << 30) | (1023u << 20);
  wide.pixels.clear();
  PutU32(wide.pixels, pixel);
  PutU32(wide.pixels, half);
  uint8_t a = Scaled(1, 2);
  ExpectPixels(LoadBmp(BuildBmp(wide)), {{{Scaled(7, 10), Scaled(512, 10), Scaled(1000, 10)},
                                          {OverWhite(0, a), OverWhite(0, a), OverWhite(255, a)}}});
}

TEST(BmpReader, DecodesRunLengthData) {
  // RLE8, 6 x 4, rows bottom-up. Row 0: a run of three 1s, a literal 2 3 1 (padded to an even
  // length), end of line. Row 1: a delta of (2, 1) skips it and lands on row 2 at x = 2: a run
  // of two 2s, end of line. Row 3: a run of ten 3s clipped at the right edge, end of bitmap.
  BmpLayout rle8;
  rle8.width = 6;
  rle8.height = 4;
  rle8.bits = 8;
  rle8.compression = 1;
  rle8.palette = {kA, kB, kC, kD};
  rle8.coloursUsed = 4;
  rle8.pixels = {3, 1, 0, 3, 2, 3, 1, 0, 0, 0, 0, 2, 2, 1, 2, 2, 0, 0, 10, 3, 0, 1};
  const Bgr W = kWhite;
  ExpectPixels(LoadBmp(BuildBmp(rle8)), {{kD, kD, kD, kD, kD, kD},
                                         {W, W, kC, kC, W, W},
                                         {W, W, W, W, W, W},
                                         {kB, kB, kB, kC, kD, kB}});
  // Without the end-of-bitmap code the image is complete once the last row has ended.
  BmpLayout noEnd = rle8;
  noEnd.height = 1;
  noEnd.pixels = {3, 1, 0, 0};
  ExpectPixels(LoadBmp(BuildBmp(noEnd)), {{kB, kB, kB, W, W, W}});
  // Ending before the last row without the code is a truncated file.
  noEnd.height = 2;
  EXPECT_EQ(FaultOf(PictureFormat::Bmp, [&] { LoadBmp(BuildBmp(noEnd)); }),
            PictureFault::DataTruncated);

  // RLE4, 5 x 2: a run alternates the two nibbles; a literal of 5 nibbles takes 3 bytes and one
  // byte of padding; end of bitmap leaves the rest white.
  BmpLayout rle4;
  rle4.width = 5;
  rle4.height = 2;
  rle4.bits = 4;
  rle4.compression = 2;
  rle4.palette = {kA, kB, kC, kD};
  rle4.coloursUsed = 4;
  rle4.pixels = {5, 0x12, 0, 0, 0, 5, 0x30, 0x12, 0x30, 0, 0, 1};
  ExpectPixels(LoadBmp(BuildBmp(rle4)), {{kD, kA, kB, kC, kD}, {kB, kC, kB, kC, kB}});
}

TEST(BmpReader, ReadsTheRealBitmaps) {
  Bytes bottomUp = ReadImage("snake_24bit_600x450.bmp");
  test::Picture picture = LoadBmp(bottomUp);
  ASSERT_EQ(picture.Width(), 600);
  ASSERT_EQ(picture.Height(), 450);
  // The reference: the file's rows read straight from its bytes (offset 138, 1800 bytes each,
  // bottom-up).
  for (int y : {0, 1, 224, 449}) {
    const uint8_t* fileRow = bottomUp.data() + 138 + static_cast<size_t>(449 - y) * 1800;
    EXPECT_EQ(std::memcmp(picture.Row(y), fileRow, 1800), 0) << y;
  }
  test::Picture topDown = LoadBmp(ReadImage("snake_24bit_topdown_600x450.bmp"));
  EXPECT_TRUE(test::PixelsOf(topDown) == test::PixelsOf(picture));
  test::Picture rle = LoadBmp(ReadImage("snake_8bit_pal_600x450.bmp"));
  EXPECT_EQ(rle.Width(), 600);
  EXPECT_EQ(rle.Height(), 450);
}

// One row per refusal: a change to a good 3 x 2 bitmap and the fault it must give.
TEST(BmpReader, RefusesBadHeaders) {
  using F = PictureFault;
  struct Row {
    const char* what;
    void (*mutate)(BmpLayout&);
    std::optional<PictureFault> fault;
  };
  const Row rows[] = {
      {"good", [](BmpLayout&) {}, std::nullopt},
      {"bit count 7", [](BmpLayout& l) { l.bits = 7; }, F::UnsupportedBitCount},
      {"core header, 16 bits", [](BmpLayout& l) { l.infoSize = 12, l.bits = 16; },
       F::UnsupportedBitCount},
      {"header size 64", [](BmpLayout& l) { l.infoSize = 64; }, F::UnsupportedHeaderSize},
      {"compression 4", [](BmpLayout& l) { l.compression = 4; }, F::UnsupportedCompression},
      {"bit fields, 24 bits", [](BmpLayout& l) { l.compression = 3; }, F::CompressionBitCount},
      {"RLE8, 24 bits", [](BmpLayout& l) { l.compression = 1; }, F::CompressionBitCount},
      {"offset in header", [](BmpLayout& l) { l.dataOffset = 20; }, F::DataInsideHeader},
      {"masks cut", [](BmpLayout& l) { l.bits = 16, l.compression = 3, l.pixels.clear(); },
       F::HeaderTruncated},
      {"no pixels", [](BmpLayout& l) { l.dataOffset = 5000, l.pixels.clear(); }, F::DataMissing},
      // The last row needs 9 of its 12 bytes.
      {"last row short", [](BmpLayout& l) { l.pixels.resize(20); }, F::DataTruncated},
      {"last row unpadded", [](BmpLayout& l) { l.pixels.resize(21); }, std::nullopt},
      {"width 0", [](BmpLayout& l) { l.width = 0; }, F::InvalidSize},
      {"height INT32_MIN", [](BmpLayout& l) { l.height = INT32_MIN; }, F::OverPixelLimit},
      {"top-down RLE8", [](BmpLayout& l) { l.bits = 8, l.compression = 1, l.height = -2; },
       F::TopDownRunLength},
      {"mask with a gap",
       [](BmpLayout& l) { l.bits = 16, l.compression = 3, l.masks = {0x0F0F, 0x00F0, 0xF000}; },
       F::MaskNotContiguous},
      {"mask above bit 15",
       [](BmpLayout& l) { l.bits = 16, l.compression = 3, l.masks = {0x1F0000, 0xF0, 0xF}; },
       F::MaskTooWide},
  };
  for (const Row& row : rows) {
    BmpLayout layout;
    layout.width = 3;
    layout.height = 2;
    layout.pixels = Bytes(24, 7);
    layout.palette = {kA};
    row.mutate(layout);
    EXPECT_EQ(FaultOf(PictureFormat::Bmp, [&] { LoadBmp(BuildBmp(layout)); }), row.fault)
        << row.what;
  }
  EXPECT_EQ(FaultOf(PictureFormat::Bmp, [] { LoadBmp(Bytes{'B', 'M', 0, 0}); }),
            PictureFault::HeaderTruncated);
}

// Every variant, cut anywhere: a fault of the bitmap reader, or (when only the last row's padding
// is gone) the whole picture.
TEST(BmpReader, TruncatedFilesFailCleanly) {
  std::vector<Bytes> files;
  for (uint16_t bits : {1, 4, 8, 16, 24, 32}) {
    BmpLayout layout;
    layout.width = 7;
    layout.height = 5;
    layout.bits = bits;
    if (bits <= 8) layout.palette = {kA, kB, kC};
    layout.pixels = Bytes(((7 * bits + 31) / 32 * 4) * 5, 0x5A);
    files.push_back(BuildBmp(layout));
  }
  BmpLayout rle;
  rle.width = 6;
  rle.height = 3;
  rle.bits = 8;
  rle.compression = 1;
  rle.palette = {kA, kB};
  rle.pixels = {3, 1, 0, 3, 1, 0, 1, 0, 0, 2, 1, 1, 2, 1, 0, 0, 0, 1};
  files.push_back(BuildBmp(rle));
  files.push_back(ReadImage("snake_8bit_pal_600x450.bmp"));
  for (const Bytes& whole : files) {
    for (size_t size : test::CutPoints(whole.size(), 1200, 60)) {
      Bytes part(whole.begin(), whole.begin() + size);
      if (!FaultOf(PictureFormat::Bmp, [&] { LoadBmp(part); })) {
        EXPECT_GE(size, whole.size() - 3) << "decoded a file cut at " << size;
      }
    }
  }
}

}  // namespace
}  // namespace corvella::codec
