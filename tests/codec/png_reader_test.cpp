// The PNG reader: real files against libpng's simplified reader, every colour type and depth
// against files made with libpng's writer, and refused and cut files.

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "codec_test_support.h"
#include "corvella/codec/picture_loader.h"

namespace corvella::codec::test {
namespace {

// The file without the chunks that make libpng's simplified reader convert samples (gamma,
// chromaticities, sRGB intent, ICC profile), so that it reports the samples as stored.
Bytes WithoutColourChunks(const Bytes& png) {
  Bytes out(png.begin(), png.begin() + 8);
  size_t pos = 8;
  while (pos + 12 <= png.size()) {
    size_t length = Be32(png, pos);
    std::string type(png.begin() + pos + 4, png.begin() + pos + 8);
    size_t end = pos + 12 + length;
    if (type != "gAMA" && type != "cHRM" && type != "sRGB" && type != "iCCP") {
      out.insert(out.end(), png.begin() + pos, png.begin() + end);
    }
    pos = end;
  }
  return out;
}

// The independent reference: libpng's simplified reader into BGRA (16-bit samples taken as sRGB
// and reduced to 8 bits), composited over white here.
std::vector<Bgr> SimplifiedReference(const Bytes& file, int& width, int& height) {
  Bytes png = WithoutColourChunks(file);
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  EXPECT_NE(png_image_begin_read_from_memory(&image, png.data(), png.size()), 0) << image.message;
  image.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
  image.format = PNG_FORMAT_BGRA;
  width = static_cast<int>(image.width);
  height = static_cast<int>(image.height);
  Bytes bgra(PNG_IMAGE_SIZE(image));
  EXPECT_NE(png_image_finish_read(&image, nullptr, bgra.data(), 0, nullptr), 0) << image.message;
  std::vector<Bgr> pixels;
  for (size_t i = 0; i + 4 <= bgra.size(); i += 4) {
    int a = bgra[i + 3];
    pixels.push_back({OverWhite(bgra[i], a), OverWhite(bgra[i + 1], a), OverWhite(bgra[i + 2], a)});
  }
  return pixels;
}

// A PNG made with libpng's writer from rows packed as the file stores them.
struct PngLayout {
  uint32_t width = 0;
  uint32_t height = 0;
  int depth = 8;
  int colourType = PNG_COLOR_TYPE_RGB;
  bool interlaced = false;
  std::vector<png_color> palette{};
  std::vector<png_byte> paletteAlpha{};
  bool transparentColour = false;
  png_color_16 transparent{};
};

void AppendToBytes(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

Bytes WritePng(const PngLayout& layout, std::vector<Bytes> rows) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, AppendToBytes, nullptr);
  png_set_IHDR(png, info, layout.width, layout.height, layout.depth, layout.colourType,
               layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!layout.palette.empty()) {
    png_set_PLTE(png, info, layout.palette.data(), static_cast<int>(layout.palette.size()));
  }
  if (!layout.paletteAlpha.empty() || layout.transparentColour) {
    png_color_16 colour = layout.transparent;
    png_set_tRNS(png, info, layout.paletteAlpha.empty() ? nullptr : layout.paletteAlpha.data(),
                 static_cast<int>(layout.paletteAlpha.size()),
                 layout.transparentColour ? &colour : nullptr);
  }
  png_write_info(png, info);
  std::vector<png_bytep> pointers;
  for (Bytes& row : rows)
    pointers.push_back(row.data());
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// Big-endian 16-bit samples.
Bytes Samples16(std::initializer_list<uint16_t> values) {
  Bytes out;
  for (uint16_t v : values) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
  }
  return out;
}

uint8_t Scale16(uint16_t v) {
  return static_cast<uint8_t>((uint32_t{v} * 255 + 32767) / 65535);
}

TEST(PngReader, MatchesLibpngSimplifiedReaderOnRealFiles) {
  struct Case {
    const char* name;
    int width, height;
  } cases[] = {
      {"camera_grey_512x512.png", 512, 512},   {"coffee_rgb_600x400.png", 600, 400},
      {"green_palette_320x240.png", 320, 240}, {"horse_rgba_400x328.png", 400, 328},
      {"pngsuite_basn0g16.png", 32, 32},       {"pngsuite_basn2c16.png", 32, 32},
      {"pngsuite_basi2c08.png", 32, 32},       {"pngsuite_basn3p04.png", 32, 32},
  };
  for (const Case& c : cases) {
    Bytes file = ReadImage(c.name);
    Picture picture = LoadPng(file);
    ASSERT_EQ(picture.Width(), c.width) << c.name;
    ASSERT_EQ(picture.Height(), c.height) << c.name;
    int width = 0, height = 0;
    std::vector<Bgr> reference = SimplifiedReference(file, width, height);
    ASSERT_EQ(width, c.width);
    ASSERT_EQ(height, c.height);
    EXPECT_EQ(PixelsOf(picture), reference) << c.name;
  }
  // The RGBA horse really has transparent pixels, which come out white.
  EXPECT_EQ(PixelOf(LoadPng(ReadImage("horse_rgba_400x328.png")), 0, 0), kWhite);
}

Bgr Grey(int level) {
  const auto v = static_cast<uint8_t>(level);
  return {v, v, v};
}

TEST(PngReader, DecodesEveryColourTypeAndDepthExactly) {
  const Bgr white = Grey(255), black = Grey(0);
  const uint8_t a = Scale16(0x4000);
  // The palette's alpha is shorter than the palette.
  // clang-format off
  const PngLayout palette{.width = 3, .height = 1, .depth = 2, .colourType = PNG_COLOR_TYPE_PALETTE,
                          .palette = {{200, 0, 0}, {0, 200, 0}, {0, 0, 200}},
                          .paletteAlpha = {0, 128}};
  // clang-format on
  auto layout = [](uint32_t width, int depth, int colourType) {
    return PngLayout{.width = width, .height = 1, .depth = depth, .colourType = colourType};
  };
  auto keyed = [](int depth, uint16_t red, uint16_t green, uint16_t blue) {
    // clang-format off
    return PngLayout{.width = 2, .height = 1, .depth = depth, .colourType = PNG_COLOR_TYPE_RGB,
                     .transparentColour = true, .transparent = {0, red, green, blue, 0}};
    // clang-format on
  };
  struct Case {
    PngLayout layout;
    std::vector<Bytes> rows;
    std::vector<Bgr> pixels;  // row by row from the top
  };
  const Case cases[] = {
      // Grey of 1, 2, 4 bits, scaled by replication; widths that leave bits over.
      {layout(10, 1, PNG_COLOR_TYPE_GRAY),
       {{0b10110000, 0b01000000}},
       {white, black, white, white, black, black, black, black, black, white}},
      {layout(4, 2, PNG_COLOR_TYPE_GRAY), {{0b00011011}}, {black, Grey(85), Grey(170), white}},
      {{.width = 3, .height = 2, .depth = 4, .colourType = PNG_COLOR_TYPE_GRAY},
       {{0x0F, 0x70}, {0xA5, 0x30}},
       {black, white, Grey(7 * 17), Grey(10 * 17), Grey(5 * 17), Grey(3 * 17)}},
      // Grey of 16 bits: rounded, not truncated, to 8 bits.
      {layout(3, 16, PNG_COLOR_TYPE_GRAY),
       {Samples16({0x1234, 0x80FF, 0xFFFF})},
       {Grey(Scale16(0x1234)), Grey(Scale16(0x80FF)), white}},
      // Alpha and tRNS colours (8 and 16 bits) composited over white; 16 bits scaled first.
      {layout(2, 8, PNG_COLOR_TYPE_GRAY_ALPHA),
       {{100, 128, 30, 255}},
       {Grey(OverWhite(100, 128)), Grey(30)}},
      {keyed(8, 10, 20, 30), {{10, 20, 30, 10, 20, 31}}, {white, {31, 20, 10}}},
      {keyed(16, 0x1000, 0x2000, 0x3000),
       {Samples16({0x1000, 0x2000, 0x3000, 0x1000, 0x2000, 0x3001})},
       {white, {Scale16(0x3001), Scale16(0x2000), Scale16(0x1000)}}},
      {layout(1, 16, PNG_COLOR_TYPE_RGB_ALPHA),
       {Samples16({0xFFFF, 0x0000, 0x8000, 0x4000})},
       {{OverWhite(Scale16(0x8000), a), OverWhite(0, a), OverWhite(255, a)}}},
      {palette,
       {{0b00011000}},
       {white, {OverWhite(0, 128), OverWhite(200, 128), OverWhite(0, 128)}, {200, 0, 0}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PixelsOf(LoadPng(WritePng(c.layout, c.rows))), c.pixels)
        << c.layout.width << " x " << c.layout.height << ", " << c.layout.depth << " bits";
  }
}

// Rewrites the CRC of the chunk at @p pos after its data was changed.
void FixCrc(Bytes& png, size_t pos) {
  size_t length = Be32(png, pos);
  uLong crc = crc32(0, png.data() + pos + 4, static_cast<uInt>(length + 4));
  for (int i = 0; i < 4; ++i)
    png[pos + 8 + length + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
}

TEST(PngReader, RefusesDamagedAndCutFiles) {
  const Bytes file = ReadImage("pngsuite_basn3p04.png");
  constexpr size_t kIhdr = 8;  // the IHDR chunk follows the signature
  Bytes crc = file;
  crc[kIhdr + 8] ^= 0x01;  // a byte of the width, CRC left as it was
  auto withHeader = [&](uint32_t width, uint32_t height, uint8_t depth) {
    Bytes copy = file;
    for (int i = 0; i < 4; ++i) {
      copy[kIhdr + 8 + i] = static_cast<uint8_t>(width >> (24 - 8 * i));
      copy[kIhdr + 12 + i] = static_cast<uint8_t>(height >> (24 - 8 * i));
    }
    copy[kIhdr + 16] = depth;
    FixCrc(copy, kIhdr);
    return copy;
  };
  // Broken compressed data with a correct CRC, and a chunk length past the end of the file.
  Bytes zlib = file;
  size_t pos = 8;
  while (pos + 8 < zlib.size() && std::memcmp(zlib.data() + pos + 4, "IDAT", 4) != 0) {
    pos += 12 + Be32(zlib, pos);
  }
  ASSERT_LT(pos + 8, zlib.size());
  Bytes length = file;
  length[pos] = 0x7F;
  zlib[pos + 8] = 0xFF;  // the zlib header's compression method
  FixCrc(zlib, pos);
  const std::pair<Bytes, std::optional<PictureFault>> rows[] = {
      {withHeader(32, 32, 4), std::nullopt},
      {crc, PictureFault::DecoderRefused},
      {withHeader(0, 32, 4), PictureFault::DecoderRefused},
      {withHeader(32, 32, 3), PictureFault::DecoderRefused},  // no such depth
      {withHeader(33, 33, 4), PictureFault::DecoderRefused},  // data too short for the size
      {zlib, PictureFault::DecoderRefused},
      {length, PictureFault::DecoderRefused},
  };
  for (const auto& [bytes, fault] : rows) {
    EXPECT_EQ(FaultOf(PictureFormat::Png, [&] { LoadPng(bytes); }), fault);
  }
  try {
    LoadPng(crc);
  } catch (const PictureError& error) {
    EXPECT_NE(error.Context().find("CRC"), std::string::npos) << error.what();
  }
  // Cut anywhere, every file is refused, unless all rows were there.
  // Only the checksums and the end chunk after the last row may be missing.
  for (const char* name : {"pngsuite_basn3p04.png", "pngsuite_basi2c08.png",
                           "pngsuite_basn2c16.png", "horse_rgba_400x328.png"}) {
    SCOPED_TRACE(name);
    ExpectCutsRefused(ReadImage(name), PictureFormat::Png, LoadPng, 400, 100, 20);
  }
}

}  // namespace
}  // namespace corvella::codec::test
