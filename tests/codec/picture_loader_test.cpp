// The loader in front of the readers: signatures, the JPEG path into a buffer, what it refuses,
// and compositing over white (the readers' own tests check every real file's size and pixels).
// The lossless writers: exact BMP bytes against a hand-computed file, PNG through the reader,
// zero padding, deterministic output, refused input.

#include "corvella/codec/picture_loader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "codec_test_support.h"
#include "corvella/codec/jpeg_codec.h"
#include "corvella/codec/picture_writer.h"
#include "corvella/imaging/dib_section.h"
#include "support/errors.h"

namespace corvella::codec::test {
namespace {

TEST(PictureLoader, SniffsSignatures) {
  const std::pair<const char*, PictureFormat> files[] = {
      {"egret_600x450.jpg", PictureFormat::Jpeg},
      {"umang_3840x2160_base444.jpg", PictureFormat::Jpeg},
      {"camera_grey_512x512.png", PictureFormat::Png},
      {"green_palette_320x240.png", PictureFormat::Png},
      {"pngsuite_basi2c08.png", PictureFormat::Png},
      {"apache_pb_transp.gif", PictureFormat::Gif},
      {"snake_600x450.gif", PictureFormat::Gif},
      {"snake_24bit_600x450.bmp", PictureFormat::Bmp},
      {"snake_8bit_pal_600x450.bmp", PictureFormat::Bmp}};
  for (const auto& [name, format] : files)
    EXPECT_EQ(SniffPictureFormat(ReadImage(name)), format) << name;
  auto sniff = [](std::initializer_list<uint8_t> bytes) {
    return SniffPictureFormat(Bytes(bytes));
  };
  EXPECT_EQ(sniff({}), PictureFormat::Unknown);
  EXPECT_EQ(sniff({0xFF}), PictureFormat::Unknown);
  EXPECT_EQ(sniff({0xFF, 0xD8}), PictureFormat::Jpeg);
  EXPECT_EQ(sniff({'G', 'I', 'F', '8', '7', 'a'}), PictureFormat::Gif);
  EXPECT_EQ(sniff({'G', 'I', 'F', '8', '8', 'a'}), PictureFormat::Unknown);
  EXPECT_EQ(sniff({'B', 'M'}), PictureFormat::Bmp);
  EXPECT_EQ(sniff({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A}), PictureFormat::Unknown);
}

// A JPEG handed to the loader holds exactly what the codec decodes into a buffer directly.
TEST(PictureLoader, LoadsAJpegAsTheCodecDecodesIt) {
  Bytes egret = ReadImage("egret_600x450.jpg");
  imaging::cDIBSection viaLoader;
  codec::LoadPicture(egret, viaLoader);
  imaging::cDIBSection direct;
  ASSERT_TRUE(direct.Create(600, 450));
  ASSERT_TRUE(DecodeJpeg(egret, direct).Ok());
  ASSERT_EQ(viaLoader.dib_width(), 600);
  EXPECT_EQ(std::memcmp(viaLoader.DIBSectionBitsPtr(), direct.DIBSectionBitsPtr(),
                        static_cast<size_t>(direct.BytesPerScanLine()) * 450),
            0);
}

// Files that declare the largest sizes of each format in a few hundred bytes are the hostile
// corpus (tests/crashers/hostile), run under a capped address space by the component's test.
TEST(PictureLoader, RefusesWhatItCannotRead) {
  using F = PictureFault;
  EXPECT_EQ(FaultOf(PictureFormat::Unknown,
                    [] {
                      LoadPicture(Bytes{'h', 'i'});
                    }),
            F::UnknownFormat);
  EXPECT_EQ(FaultOf(PictureFormat::Unknown, [] { LoadPicture({}); }), F::UnknownFormat);
  EXPECT_EQ(FaultOf(PictureFormat::Jpeg,
                    [] {
                      LoadPicture(Bytes{0xFF, 0xD8, 0xFF});
                    }),
            F::DecoderRefused);
  PixelLimitGuard limit(100 * 100);
  const std::pair<const char*, PictureFormat> files[] = {
      {"egret_600x450.jpg", PictureFormat::Jpeg},
      {"horse_rgba_400x328.png", PictureFormat::Png},
      {"snake_600x450.gif", PictureFormat::Gif},
      {"snake_24bit_600x450.bmp", PictureFormat::Bmp}};
  for (const auto& [name, format] : files) {
    EXPECT_EQ(FaultOf(format, [&] { LoadPicture(ReadImage(name)); }), F::OverPixelLimit) << name;
  }
}

TEST(PictureLoader, CompositesOverWhiteRoundingToNearest) {
  for (int value = 0; value < 256; ++value) {
    for (int alpha = 0; alpha < 256; ++alpha) {
      long expected = std::lround((value * alpha + 255.0 * (255 - alpha)) / 255.0);
      ASSERT_EQ(CompositeOverWhite(uint8_t(value), uint8_t(alpha)), expected)
          << value << " " << alpha;
    }
  }
}

using testing::ErrorNumberOf;
using testing::Runtime;

// An asymmetric test image in memory rows of @p stride bytes whose spare bytes are 0xAA, so that
// a writer that copied them would show it. Pixel (x, y) is (b, g, r) = (x, y, 7x + 13y + 1).
struct Pattern {
  Pattern(int32_t width, int32_t height, int32_t stride)
      : bytes(static_cast<size_t>(stride) * height, 0xAA),
        width(width),
        height(height),
        stride(stride) {
    for (int32_t y = 0; y < height; ++y) {
      for (int32_t x = 0; x < width; ++x) {
        uint8_t* p = &bytes[static_cast<size_t>(y) * stride + 3 * x];
        p[0] = static_cast<uint8_t>(x);
        p[1] = static_cast<uint8_t>(y);
        p[2] = static_cast<uint8_t>(7 * x + 13 * y + 1);
      }
    }
  }
  imaging::ConstImageView View() const { return {bytes.data(), width, height, stride}; }
  // The same picture seen from its last row with a negative stride (bottom-up memory).
  imaging::ConstImageView BottomUp() {
    std::vector<uint8_t> flipped(bytes.size());
    for (int32_t y = 0; y < height; ++y) {
      std::copy_n(&bytes[static_cast<size_t>(y) * stride], stride,
                  &flipped[static_cast<size_t>(height - 1 - y) * stride]);
    }
    reversed = std::move(flipped);
    return {reversed.data() + static_cast<size_t>(height - 1) * stride, width, height, -stride};
  }

  std::vector<uint8_t> bytes;
  std::vector<uint8_t> reversed;
  int32_t width;
  int32_t height;
  int32_t stride;
};

void ExpectPicture(const Picture& picture, const Pattern& pattern) {
  ASSERT_EQ(picture.Width(), pattern.width);
  ASSERT_EQ(picture.Height(), pattern.height);
  for (int32_t y = 0; y < pattern.height; ++y) {
    for (int32_t x = 0; x < 3 * pattern.width; ++x) {
      ASSERT_EQ(picture.Row(y)[x], pattern.View().Row(y)[x]) << "byte " << x << " row " << y;
    }
  }
}

TEST(BmpWriter, WritesTheHeadersAndPaddedBottomUpRows) {
  // 5 pixels: 15 bytes a row, padded to 16 with one zero byte.
  Pattern pattern(5, 3, 20);
  std::vector<uint8_t> file = EncodeBmp(pattern.View());
  ASSERT_EQ(file.size(), 54u + 16u * 3u);
  const std::vector<uint8_t> headers = {
      'B', 'M', 102, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // file header
      40,  0,   0,   0, 5, 0, 0, 0, 3, 0, 0,  0, 1, 0, 24, 0, 0, 0, 0, 0,
      48,  0,   0,   0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 54), headers);
  for (int32_t fileRow = 0; fileRow < 3; ++fileRow) {
    const uint8_t* row = &file[54 + 16 * fileRow];
    const int32_t y = 2 - fileRow;  // the bottom row comes first
    for (int32_t x = 0; x < 5; ++x) {
      EXPECT_EQ(row[3 * x], x);
      EXPECT_EQ(row[3 * x + 1], y);
      EXPECT_EQ(row[3 * x + 2], 7 * x + 13 * y + 1);
    }
    EXPECT_EQ(row[15], 0) << "padding of file row " << fileRow;
  }
  ExpectPicture(LoadBmp(file), pattern);
  EXPECT_EQ(EncodeBmp(pattern.BottomUp()), file);

  // Rows that need no padding, and one pixel.
  Pattern four(4, 2, 12);
  std::vector<uint8_t> noPadding = EncodeBmp(four.View());
  EXPECT_EQ(noPadding.size(), 54u + 12u * 2u);
  ExpectPicture(LoadBmp(noPadding), four);
  Pattern one(1, 1, 3);
  std::vector<uint8_t> single = EncodeBmp(one.View());
  EXPECT_EQ(single[2] | single[3] << 8 | single[4] << 16 | single[5] << 24, 58);  // file size
  EXPECT_EQ(std::vector<uint8_t>(single.begin() + 54, single.end()),
            (std::vector<uint8_t>{0, 0, 1, 0}));
}

TEST(PngWriter, WritesRgbThatReadsBackExactly) {
  for (auto [width, height] : {std::pair{1, 1}, {5, 3}, {300, 7}, {2, 257}}) {
    Pattern pattern(width, height, 3 * width + 5);
    std::vector<uint8_t> file = EncodePng(pattern.View());
    const std::vector<uint8_t> signature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    ASSERT_GT(file.size(), 33u);
    EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 8), signature);
    EXPECT_EQ(Be32(file, 8), 13u);  // IHDR first
    EXPECT_EQ(std::string(file.begin() + 12, file.begin() + 16), "IHDR");
    EXPECT_EQ(Be32(file, 16), static_cast<uint32_t>(width));
    EXPECT_EQ(Be32(file, 20), static_cast<uint32_t>(height));
    EXPECT_EQ(file[24], 8);  // bit depth
    EXPECT_EQ(file[25], 2);  // RGB
    EXPECT_EQ(file[28], 0);  // not interlaced
    EXPECT_EQ(std::string(file.end() - 8, file.end() - 4), "IEND");
    ExpectPicture(LoadPng(file), pattern);
    EXPECT_EQ(EncodePng(pattern.View()), file);  // the same bytes every time
    EXPECT_EQ(EncodePng(pattern.BottomUp()), file);
  }
}

TEST(PictureWriters, RefuseWhatTheyCannotWrite) {
  const imaging::ConstImageView empty{};
  EXPECT_EQ(ErrorNumberOf([&] { EncodePng(empty); }), Runtime(5));
  EXPECT_EQ(ErrorNumberOf([&] { EncodeBmp(empty); }), Runtime(5));
  uint8_t pixel[3] = {1, 2, 3};
  EXPECT_EQ(ErrorNumberOf([&] { EncodeBmp({pixel, 0, 1, 3}); }), Runtime(5));
  // A file of 4 GiB or more: refused before any row is read.
  EXPECT_EQ(ErrorNumberOf([&] { EncodeBmp({pixel, 1 << 30, 2, 0}); }), Runtime(6));
}

}  // namespace
}  // namespace corvella::codec::test
