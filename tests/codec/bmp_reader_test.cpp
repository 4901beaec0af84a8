// The bitmap reader: every header, bit count and compression against hand-made files, the real
// bitmaps against their own bytes, and refused and cut files.

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

#include "codec_test_support.h"
#include "corvella/codec/picture_loader.h"

namespace corvella::codec::test {
namespace {

// What BuildBmp writes. Palette entries are blue, green, red; `pixels` is the pixel data as the
// file stores it (rows in file order, padded as the test chooses).
struct BmpLayout {
  int32_t width = 0;
  int32_t height = 0;
  uint16_t bits = 24;
  uint32_t compression = 0;
  uint32_t infoSize = 40;
  std::vector<Bgr> palette{};
  uint32_t coloursUsed = 0;
  std::vector<uint32_t> masks{};  // red, green, blue (, alpha)
  Bytes pixels{};
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

void ExpectPixels(const Picture& picture, const std::vector<std::vector<Bgr>>& rows) {
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

const Bgr kA = {10, 20, 30}, kB = {200, 100, 50}, kC = {1, 2, 3}, kD = {90, 80, 70};

TEST(BmpReader, DecodesPaletteBitmaps) {
  std::vector<Bgr> core = {kA, kB};
  core.resize(256, kD);
  // clang-format off
  const std::pair<BmpLayout, std::vector<std::vector<Bgr>>> cases[] = {
      // 1 bit, 9 x 2, bottom-up: the first file row is the bottom picture row; rows of 2 bytes
      // padded to 4.
      {{.width = 9, .height = 2, .bits = 1, .palette = {kA, kB},
        .pixels = {0b10110000, 0b10000000, 0, 0, 0b01000000, 0, 0, 0}},
       {{kA, kB, kA, kA, kA, kA, kA, kA, kA}, {kB, kA, kB, kB, kA, kA, kA, kA, kB}}},
      // 4 bits with 3 entries declared: index 7 lies beyond them and is black.
      {{.width = 5, .height = 1, .bits = 4, .palette = {kA, kB, kC}, .coloursUsed = 3,
        .pixels = {0x01, 0x27, 0x10, 0}},
       {{kA, kB, kC, kBlack, kB}}},
      // 8 bits, top-down, no colour count: the pixel data offset leaves room for 4 entries.
      {{.width = 3, .height = -2, .bits = 8, .palette = {kA, kB, kC, kD},
        .pixels = {0, 1, 2, 0, 3, 4, 255, 0}},
       {{kA, kB, kC}, {kD, kBlack, kBlack}}},
      // The OS/2 core header: three-byte palette entries.
      {{.width = 2, .height = 2, .bits = 8, .infoSize = 12, .palette = core,
        .pixels = {1, 0, 0, 0, 0, 5, 0, 0}},
       {{kA, kD}, {kB, kA}}},
  };
  // clang-format on
  for (const auto& [layout, rows] : cases) {
    ExpectPixels(LoadBmp(BuildBmp(layout)), rows);
  }
}

TEST(BmpReader, DecodesDirectColourBitmaps) {
  // 24 bits, 3 x 2, rows of 9 bytes padded to 12; the last row's padding may be missing.
  // clang-format off
  BmpLayout layout{.width = 3, .height = 2, .bits = 24,
                   .pixels = {10, 20, 30, 40, 50, 60, 70, 80, 90, 0, 0, 0,  // bottom row
                              1, 2, 3, 4, 5, 6, 7, 8, 9}};                 // top row, unpadded
  // clang-format on
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
  uint16_t a = (31 << 10) | (1 << 5) | 16, b = (3 << 10) | (30 << 5) | 0;
  // clang-format off
  BmpLayout rgb555{.width = 2, .height = 1, .bits = 16,
                   .pixels = {uint8_t(a), uint8_t(a >> 8), uint8_t(b), uint8_t(b >> 8)}};
  // clang-format on
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
  BmpLayout rgbx{.width = 2, .height = 1, .bits = 32, .pixels = {1, 2, 3, 0x00, 4, 5, 6, 0x80}};
  ExpectPixels(LoadBmp(BuildBmp(rgbx)), {{{1, 2, 3}, {4, 5, 6}}});
}

TEST(BmpReader, UsesAlphaOnlyWhereTheHeaderDeclaresIt) {
  // clang-format off
  BmpLayout layout{.width = 2, .height = 1, .bits = 32, .compression = 3, .infoSize = 124,
                   .masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
                   .pixels = {100, 150, 200, 128, 100, 150, 200, 0}};
  // clang-format on
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
  // clang-format off
  BmpLayout rle8{.width = 6, .height = 4, .bits = 8, .compression = 1, .palette = {kA, kB, kC, kD},
                 .coloursUsed = 4,
                 .pixels = {3, 1, 0, 3, 2, 3, 1, 0, 0, 0, 0, 2, 2, 1, 2, 2, 0, 0, 10, 3, 0, 1}};
  // clang-format on
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
  // clang-format off
  BmpLayout rle4{.width = 5, .height = 2, .bits = 4, .compression = 2, .palette = {kA, kB, kC, kD},
                 .coloursUsed = 4, .pixels = {5, 0x12, 0, 0, 0, 5, 0x30, 0x12, 0x30, 0, 0, 1}};
  // clang-format on
  ExpectPixels(LoadBmp(BuildBmp(rle4)), {{kD, kA, kB, kC, kD}, {kB, kC, kB, kC, kB}});
}

TEST(BmpReader, ReadsTheRealBitmaps) {
  Bytes bottomUp = ReadImage("snake_24bit_600x450.bmp");
  Picture picture = LoadBmp(bottomUp);
  ASSERT_EQ(picture.Width(), 600);
  ASSERT_EQ(picture.Height(), 450);
  // The reference: the file's rows read straight from its bytes (offset 138, 1800 bytes each,
  // bottom-up).
  for (int y : {0, 1, 224, 449}) {
    const uint8_t* fileRow = bottomUp.data() + 138 + static_cast<size_t>(449 - y) * 1800;
    EXPECT_EQ(std::memcmp(picture.Row(y), fileRow, 1800), 0) << y;
  }
  EXPECT_TRUE(PixelsOf(LoadBmp(ReadImage("snake_24bit_topdown_600x450.bmp"))) == PixelsOf(picture));
}

// One row per refusal: a change to a good 3 x 2 bitmap and the fault it must give.
TEST(BmpReader, RefusesBadHeadersAndCutFiles) {
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
      // clang-format off
      {"mask with a gap",
       [](BmpLayout& l) { l.bits = 16, l.compression = 3, l.masks = {0x0F0F, 0x00F0, 0xF000}; },
       F::MaskNotContiguous},
      {"mask above bit 15",
       [](BmpLayout& l) { l.bits = 16, l.compression = 3, l.masks = {0x1F0000, 0xF0, 0xF}; },
       F::MaskTooWide},
      // clang-format on
  };
  for (const Row& row : rows) {
    BmpLayout layout{.width = 3, .height = 2, .palette = {kA}, .pixels = Bytes(24, 7)};
    row.mutate(layout);
    EXPECT_EQ(FaultOf(PictureFormat::Bmp, [&] { LoadBmp(BuildBmp(layout)); }), row.fault)
        << row.what;
  }
  // Every variant, cut anywhere: a fault of the bitmap reader, or (when only the last row's padding
  // is gone) the whole picture.
  // clang-format off
  EXPECT_EQ(FaultOf(PictureFormat::Bmp, [] { LoadBmp(Bytes{'B', 'M', 0, 0}); }),
            PictureFault::HeaderTruncated);
  const std::vector<Bgr> palette = {kA, kB, kC};
  std::vector<Bytes> files = {
      BuildBmp({.width = 6, .height = 3, .bits = 8, .compression = 1, .palette = {kA, kB},
                .pixels = {3, 1, 0, 3, 1, 0, 1, 0, 0, 2, 1, 1, 2, 1, 0, 0, 0, 1}}),
      ReadImage("snake_8bit_pal_600x450.bmp")};
  for (uint16_t bits : {1, 4, 8, 16, 24, 32}) {
    files.push_back(BuildBmp({.width = 7, .height = 5, .bits = bits,
                              .palette = bits <= 8 ? palette : std::vector<Bgr>{},
                              .pixels = Bytes(((7 * bits + 31) / 32 * 4) * 5, 0x5A)}));
  }
  // clang-format on
  for (const Bytes& whole : files)
    ExpectCutsRefused(whole, PictureFormat::Bmp, LoadBmp, 1200, 60, 3);
}

}  // namespace
}  // namespace corvella::codec::test
