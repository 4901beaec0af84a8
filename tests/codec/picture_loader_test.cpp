#include "corvella/codec/picture_loader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "codec_test_support.h"
#include "corvella/codec/jpeg_codec.h"
#include "corvella/imaging/dib_section.h"

#if defined(__unix__) && !defined(__SANITIZE_ADDRESS__)
#define CORVELLA_CAP_ADDRESS_SPACE 1
#include <sys/resource.h>
#endif

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

// Files of a few hundred bytes that declare 30000 x 30000 pixels, one per format.
std::vector<Bytes> HugeFiles() {
  std::vector<Bytes> files;
  // JPEG: a small stream whose frame header is rewritten.
  {
    imaging::cDIBSection dib;
    dib.Create(16, 16);
    std::vector<uint8_t> jpeg;
    EncodeJpeg(dib, JpegEncodeSettings{}, jpeg);
    for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
      if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
        jpeg[i + 5] = 0x75;
        jpeg[i + 6] = 0x30;
        jpeg[i + 7] = 0x75;
        jpeg[i + 8] = 0x30;
        break;
      }
    }
    files.push_back(jpeg);
  }
  // PNG: a real file with its header rewritten and its CRC made right.
  {
    Bytes png = ReadImage("pngsuite_basn3p04.png");
    for (size_t i = 16; i < 24; i += 4) {
      png[i] = 0;
      png[i + 1] = 0;
      png[i + 2] = 0x75;
      png[i + 3] = 0x30;
    }
    uLong crc = crc32(0, png.data() + 12, 17);
    for (int i = 0; i < 4; ++i)
      png[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    files.push_back(png);
  }
  // GIF: a 30000 x 30000 screen with a one-pixel frame.
  files.push_back({'G', 'I', 'F', '8', '9', 'a', 0x30, 0x75, 0x30, 0x75, 0x80, 0,
                   0,   0,   0,   0,   255, 255, 255,  0x2C, 0,    0,    0,    0,
                   1,   0,   1,   0,   0,   2,   2,    0x44, 0x01, 0,    0x3B});
  // BMP: 24-bit and RLE8 headers.
  for (uint16_t compression : {0, 1}) {
    Bytes bmp = {'B', 'M'};
    test::PutU32(bmp, 200);
    test::PutU32(bmp, 0);
    test::PutU32(bmp, 54 + (compression == 1 ? 4 : 0));
    test::PutU32(bmp, 40);
    test::PutU32(bmp, 30000);
    test::PutU32(bmp, 30000);
    test::PutU16(bmp, 1);
    test::PutU16(bmp, compression == 1 ? 8 : 24);
    test::PutU32(bmp, compression);
    bmp.resize(54 + (compression == 1 ? 4 : 0), 0);
    bmp.resize(200, 0);
    files.push_back(bmp);
  }
  return files;
}

TEST(PictureLoader, HugeDeclaredSizesAreRefusedBeforeAllocating) {
  for (const Bytes& file : HugeFiles()) {
    EXPECT_LT(file.size(), 1000u);
    EXPECT_EQ(FaultOf(SniffPictureFormat(file), [&] { LoadPicture(file); }),
              PictureFault::OverPixelLimit);
  }
}

#if defined(CORVELLA_CAP_ADDRESS_SPACE)
// Caps the address space at 1 GiB, loads the files and answers 0 when every one was refused
// for its size.
int LoadWithCappedAddressSpace(const std::vector<Bytes>& files) {
  rlimit cap{size_t{1} << 30, size_t{1} << 30};
  setrlimit(RLIMIT_AS, &cap);
  for (const Bytes& file : files) {
    try {
      LoadPicture(file);
      return 1;
    } catch (const PictureError& error) {
      if (error.Fault() != PictureFault::OverPixelLimit) return 1;
    }
  }
  return 0;
}
#endif

// The same files in a child process whose address space is capped: a 2.7 GB picture could not
// be allocated there, so refusing them cleanly shows that nothing of that size was asked for.
// Sanitizers reserve far more address space than the cap, so their builds (and systems without
// the cap) skip this.
TEST(PictureLoader, HugeDeclaredSizesFitInASmallAddressSpace) {
#if !defined(CORVELLA_CAP_ADDRESS_SPACE)
  GTEST_SKIP() << "needs an address space cap, which conflicts with the sanitizers";
#else
  std::vector<Bytes> files = HugeFiles();
  EXPECT_EXIT(std::exit(LoadWithCappedAddressSpace(files)), ::testing::ExitedWithCode(0), "");
#endif
}

}  // namespace
}  // namespace corvella::codec
