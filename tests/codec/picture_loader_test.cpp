#include "corvella/codec/picture_loader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "codec_test_support.h"
#include "corvella/codec/jpeg_codec.h"
#include "corvella/imaging/dib_section.h"


namespace corvella::codec {
namespace {

using test::Bytes;
using test::FaultOf;
using test::ReadImage;

struct RealFile {
  const char* name;
  PictureFormat format;
  int width, height;
};

constexpr RealFile kRealFiles[] = {
    {"egret_600x450.jpg", PictureFormat::Jpeg, 600, 450},
    {"snake_grey_600x450.jpg", PictureFormat::Jpeg, 600, 450},
    {"umang_3840x2160_base444.jpg", PictureFormat::Jpeg, 3840, 2160},
    {"camera_grey_512x512.png", PictureFormat::Png, 512, 512},
    {"coffee_rgb_600x400.png", PictureFormat::Png, 600, 400},
    {"green_palette_320x240.png", PictureFormat::Png, 320, 240},
    {"horse_rgba_400x328.png", PictureFormat::Png, 400, 328},
    {"pngsuite_basi2c08.png", PictureFormat::Png, 32, 32},
    {"pngsuite_basn0g16.png", PictureFormat::Png, 32, 32},
    {"pngsuite_basn2c16.png", PictureFormat::Png, 32, 32},
    {"pngsuite_basn3p04.png", PictureFormat::Png, 32, 32},
    {"apache_pb_transp.gif", PictureFormat::Gif, 260, 30},
    {"seq2gif_anim_480x312.gif", PictureFormat::Gif, 480, 312},
    {"snake_600x450.gif", PictureFormat::Gif, 600, 450},
    {"snake_24bit_600x450.bmp", PictureFormat::Bmp, 600, 450},
    {"snake_24bit_topdown_600x450.bmp", PictureFormat::Bmp, 600, 450},
    {"snake_8bit_pal_600x450.bmp", PictureFormat::Bmp, 600, 450},
};

TEST(PictureLoader, SniffsSignatures) {
  for (const RealFile& file : kRealFiles) {
    EXPECT_EQ(SniffPictureFormat(ReadImage(file.name)), file.format) << file.name;
  }
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

// Every real file loads at its size; a JPEG handed to the loader and copied into a buffer holds
// exactly what the codec decodes into a buffer directly.
TEST(PictureLoader, LoadsEveryRealFileAtItsSize) {
  for (const RealFile& file : kRealFiles) {
    test::Picture picture = LoadPicture(ReadImage(file.name));
    EXPECT_EQ(picture.Width(), file.width) << file.name;
    EXPECT_EQ(picture.Height(), file.height) << file.name;
  }
  Bytes egret = ReadImage("egret_600x450.jpg");
  imaging::cDIBSection viaLoader;
  LoadPicture(egret, viaLoader);
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
  EXPECT_EQ(FaultOf(PictureFormat::Unknown, [] { LoadPicture(Bytes{'h', 'i'}); }), F::UnknownFormat);
  EXPECT_EQ(FaultOf(PictureFormat::Unknown, [] { LoadPicture({}); }), F::UnknownFormat);
  EXPECT_EQ(FaultOf(PictureFormat::Jpeg, [] { LoadPicture(Bytes{0xFF, 0xD8, 0xFF}); }),
            F::DecoderRefused);
  test::PixelLimitGuard limit(100 * 100);
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

}  // namespace
}  // namespace corvella::codec
