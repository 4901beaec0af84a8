// The GIF reader: real files against giflib's own reader, hand-made frames drawn exactly, grey
// levels without a colour table, and refused and cut files.

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "codec_test_support.h"
#include "corvella/codec/picture_loader.h"

namespace corvella::codec::test {
namespace {

// ---- An independent reference: giflib's whole-file reader (DGifSlurp), which de-interlaces
// itself, with the first frame painted here on a white screen.

int ReadMemory(GifFileType* gif, GifByteType* out, int count) {
  auto* source = static_cast<std::pair<const Bytes*, size_t>*>(gif->UserData);
  size_t n = std::min<size_t>(count, source->first->size() - source->second);
  std::memcpy(out, source->first->data() + source->second, n);
  source->second += n;
  return static_cast<int>(n);
}

std::vector<Bgr> SlurpReference(const Bytes& file, int& width, int& height) {
  std::pair<const Bytes*, size_t> source{&file, 0};
  int error = 0;
  GifFileType* gif = DGifOpen(&source, ReadMemory, &error);
  EXPECT_NE(gif, nullptr);
  EXPECT_EQ(DGifSlurp(gif), GIF_OK);
  width = gif->SWidth;
  height = gif->SHeight;
  std::vector<Bgr> pixels(static_cast<size_t>(width) * height, kWhite);
  const SavedImage& frame = gif->SavedImages[0];
  GraphicsControlBlock control;
  control.TransparentColor = NO_TRANSPARENT_COLOR;
  DGifSavedExtensionToGCB(gif, 0, &control);
  const ColorMapObject* map =
      frame.ImageDesc.ColorMap != nullptr ? frame.ImageDesc.ColorMap : gif->SColorMap;
  for (int y = 0; y < frame.ImageDesc.Height; ++y) {
    for (int x = 0; x < frame.ImageDesc.Width; ++x) {
      int sx = frame.ImageDesc.Left + x, sy = frame.ImageDesc.Top + y;
      if (sx >= width || sy >= height) continue;
      int index = frame.RasterBits[y * frame.ImageDesc.Width + x];
      Bgr& out = pixels[static_cast<size_t>(sy) * width + sx];
      if (index == control.TransparentColor) {
        out = kWhite;
      } else if (index < map->ColorCount) {
        out = {map->Colors[index].Blue, map->Colors[index].Green, map->Colors[index].Red};
      } else {
        out = kBlack;
      }
    }
  }
  DGifCloseFile(gif, &error);
  return pixels;
}

// ---- Hand-made files. The image data is LZW without compression: 9-bit literal codes with a
// clear code before every 100 of them, so that the code width never grows.

void PutBits(Bytes& out, uint32_t& accumulator, int& bits, uint32_t code) {
  accumulator |= code << bits;
  bits += 9;
  while (bits >= 8) {
    out.push_back(static_cast<uint8_t>(accumulator));
    accumulator >>= 8;
    bits -= 8;
  }
}

Bytes LzwData(const Bytes& indices, const std::vector<uint32_t>& extraCodes) {
  constexpr uint32_t kClear = 256, kEnd = 257;
  Bytes packed;
  uint32_t accumulator = 0;
  int bits = 0;
  for (size_t i = 0; i < indices.size(); ++i) {
    if (i % 100 == 0) PutBits(packed, accumulator, bits, kClear);
    PutBits(packed, accumulator, bits, indices[i]);
  }
  for (uint32_t code : extraCodes)
    PutBits(packed, accumulator, bits, code);
  PutBits(packed, accumulator, bits, kEnd);
  if (bits > 0) packed.push_back(static_cast<uint8_t>(accumulator));
  Bytes out = {8};  // minimum code size
  for (size_t i = 0; i < packed.size(); i += 255) {
    size_t n = std::min<size_t>(255, packed.size() - i);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), packed.begin() + i, packed.begin() + i + n);
  }
  out.push_back(0);
  return out;
}

using Rgb = std::array<uint8_t, 3>;

// A colour table padded with grey to a power of two of at least 2 entries; answers the size
// field of the flags.
int PutTable(Bytes& out, const std::vector<Rgb>& table) {
  int field = 0;
  while ((2u << field) < table.size())
    ++field;
  for (size_t i = 0; i < (2u << field); ++i) {
    Rgb c = i < table.size() ? table[i] : Rgb{128, 128, 128};
    out.insert(out.end(), c.begin(), c.end());
  }
  return field;
}

struct Frame {
  uint16_t left = 0, top = 0, width = 0, height = 0;
  bool interlaced = false;
  std::vector<Rgb> localTable{};
  int transparent = -1;                // a graphic control extension with this index
  Bytes indices{};                     // in the order the file stores the rows
  std::vector<uint32_t> extraCodes{};  // written after the indices
};

Bytes BuildGif(uint16_t screenWidth, uint16_t screenHeight, const std::vector<Rgb>& globalTable,
               const std::vector<Frame>& frames) {
  Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
  PutU16(out, screenWidth);
  PutU16(out, screenHeight);
  size_t flags = out.size();
  out.insert(out.end(), {0, 0, 0});
  if (!globalTable.empty()) out[flags] = static_cast<uint8_t>(0x80 | PutTable(out, globalTable));
  for (const Frame& frame : frames) {
    if (frame.transparent >= 0) {
      out.insert(out.end(),
                 {0x21, 0xF9, 4, 0x01, 0, 0, static_cast<uint8_t>(frame.transparent), 0});
    }
    out.push_back(0x2C);
    PutU16(out, frame.left);
    PutU16(out, frame.top);
    PutU16(out, frame.width);
    PutU16(out, frame.height);
    size_t imageFlags = out.size();
    out.push_back(frame.interlaced ? 0x40 : 0);
    if (!frame.localTable.empty()) out[imageFlags] |= 0x80 | PutTable(out, frame.localTable);
    Bytes data = LzwData(frame.indices, frame.extraCodes);
    out.insert(out.end(), data.begin(), data.end());
  }
  out.push_back(0x3B);
  return out;
}

TEST(GifReader, DrawsTheFirstFrameOfRealFilesLikeGiflibsOwnReader) {
  for (const char* name :
       {"snake_600x450.gif", "apache_pb_transp.gif", "seq2gif_anim_480x312.gif"}) {
    Bytes file = ReadImage(name);
    Picture picture = LoadGif(file);
    int width = 0, height = 0;
    std::vector<Bgr> reference = SlurpReference(file, width, height);
    ASSERT_EQ(picture.Width(), width) << name;
    ASSERT_EQ(picture.Height(), height) << name;
    EXPECT_TRUE(PixelsOf(picture) == reference) << name;
  }
  // The snake's bitmap, made from the same file, holds the same pixels.
  EXPECT_TRUE(PixelsOf(LoadGif(ReadImage("snake_600x450.gif"))) ==
              PixelsOf(LoadBmp(ReadImage("snake_8bit_pal_600x450.bmp"))));
}

TEST(GifReader, DrawsHandMadeFramesExactly) {
  const std::vector<Rgb> global = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30}};
  // A 3 x 2 frame at (2, 1) of a 6 x 4 screen; the rest of the screen is white. Index 5 lies
  // beyond the 4-entry table: black. A second frame is never drawn.
  {
    const Frame first{.left = 2, .top = 1, .width = 3, .height = 2, .indices = {0, 1, 2, 3, 5, 0}};
    const Frame second{.width = 6, .height = 4, .indices = Bytes(24, 1)};
    Picture p = LoadGif(BuildGif(6, 4, global, {first, second}));
    ASSERT_EQ(p.Width(), 6);
    ASSERT_EQ(p.Height(), 4);
    const Bgr expected[4][6] = {
        {kWhite, kWhite, kWhite, kWhite, kWhite, kWhite},
        {kWhite, kWhite, {0, 0, 255}, {0, 255, 0}, {255, 0, 0}, kWhite},
        {kWhite, kWhite, {30, 20, 10}, kBlack, {0, 0, 255}, kWhite},
        {kWhite, kWhite, kWhite, kWhite, kWhite, kWhite},
    };
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < 6; ++x)
        EXPECT_EQ(PixelOf(p, x, y), expected[y][x]) << x << "," << y;
    }
  }
  // A local table wins over the global one; the transparent index turns white.
  {
    // clang-format off
    const Frame frame{.width = 3, .height = 1, .localTable = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}},
                      .transparent = 1, .indices = {0, 1, 2}};
    // clang-format on
    Picture p = LoadGif(BuildGif(3, 1, global, {frame}));
    EXPECT_EQ(PixelOf(p, 0, 0), (Bgr{3, 2, 1}));
    EXPECT_EQ(PixelOf(p, 1, 0), kWhite);
    EXPECT_EQ(PixelOf(p, 2, 0), (Bgr{9, 8, 7}));
  }
  // Interlaced: the file stores rows 0, 8 | 4 | 2, 6 | 1, 3, 5, 7; each row has its own index.
  {
    std::vector<Rgb> ramp;
    for (int i = 0; i < 9; ++i)
      ramp.push_back({uint8_t(i * 20), uint8_t(i), uint8_t(200 - i)});
    Frame frame{.width = 2, .height = 9, .interlaced = true};
    for (int row : {0, 8, 4, 2, 6, 1, 3, 5, 7}) {
      frame.indices.push_back(static_cast<uint8_t>(row));
      frame.indices.push_back(static_cast<uint8_t>(row));
    }
    Picture p = LoadGif(BuildGif(2, 9, ramp, {frame}));
    for (int y = 0; y < 9; ++y) {
      EXPECT_EQ(PixelOf(p, 1, y), (Bgr{uint8_t(200 - y), uint8_t(y), uint8_t(y * 20)})) << y;
    }
  }
  // A frame that reaches past the screen is clipped (one wholly beside it draws nothing); a
  // screen declared 0 x 0 takes the frame's extent.
  {
    const Frame frame{.left = 1, .top = 1, .width = 3, .height = 3, .indices = Bytes(9, 2)};
    Picture clipped = LoadGif(BuildGif(2, 2, global, {frame}));
    ASSERT_EQ(clipped.Width(), 2);
    EXPECT_EQ(PixelOf(clipped, 0, 0), kWhite);
    EXPECT_EQ(PixelOf(clipped, 1, 1), (Bgr{255, 0, 0}));
    Frame outside = frame;
    outside.left = 7;
    Picture blank = LoadGif(BuildGif(2, 2, global, {outside}));
    EXPECT_EQ(PixelOf(blank, 1, 1), kWhite);
    Picture grown = LoadGif(BuildGif(0, 0, global, {frame}));
    ASSERT_EQ(grown.Width(), 4);
    ASSERT_EQ(grown.Height(), 4);
    EXPECT_EQ(PixelOf(grown, 3, 3), (Bgr{255, 0, 0}));
    EXPECT_EQ(PixelOf(grown, 0, 3), kWhite);
  }
}

// Without any colour table, indices are grey levels spread over the code size: 8-bit codes are
// their own level, 2-bit codes (a hand-coded 2 x 1 file: clear, 1, 3, end) 0, 85, 170, 255.
TEST(GifReader, WithoutAColourTableIndicesAreGreyLevels) {
  const Frame frame{.width = 4, .height = 1, .indices = {0, 1, 128, 255}};
  Picture eightBits = LoadGif(BuildGif(4, 1, {}, {frame}));
  for (int x = 0; x < 4; ++x) {
    const uint8_t level = frame.indices[static_cast<size_t>(x)];
    EXPECT_EQ(PixelOf(eightBits, x, 0), (Bgr{level, level, level})) << x;
  }
  const Bytes twoBits = {'G', 'I', 'F', '8', '9', 'a', 2, 0, 1, 0,    0,    0,    0, 0x2C, 0,
                         0,   0,   0,   2,   0,   1,   0, 0, 2, 0x02, 0xCC, 0x0A, 0, 0x3B};
  Picture grey = LoadGif(twoBits);
  EXPECT_EQ(PixelOf(grey, 0, 0), (Bgr{85, 85, 85}));
  EXPECT_EQ(PixelOf(grey, 1, 0), (Bgr{255, 255, 255}));
}

TEST(GifReader, RefusesBrokenFiles) {
  const std::vector<Rgb> global = {{255, 0, 0}, {0, 255, 0}};
  const Frame frame{.width = 4, .height = 2, .indices = {0, 1, 0, 1, 1, 0, 1, 0}};
  // Over the limit of 10000 pixels set below, on a screen within it.
  const Frame big{.width = 200, .height = 200, .indices = Bytes(200 * 200, 1)};
  // An LZW code that is not in the table yet.
  const Frame broken{.width = 4, .height = 2, .indices = {0, 1}, .extraCodes = {400}};
  const PixelLimitGuard limit(10000);
  const std::pair<Bytes, std::optional<PictureFault>> rows[] = {
      {BuildGif(4, 2, global, {frame}), std::nullopt},
      {BuildGif(4, 2, global, {}), PictureFault::NoImage},
      {BuildGif(10, 10, global, {big}), PictureFault::FrameOverPixelLimit},
      {BuildGif(4, 2, global, {broken}), PictureFault::DecoderRefused},
      {{'G', 'I', 'F', '8', '9', 'a', 1}, PictureFault::DataTruncated},
  };
  for (const auto& [file, fault] : rows) {
    EXPECT_EQ(FaultOf(PictureFormat::Gif, [&] { LoadGif(file); }), fault);
  }
}

// Cut anywhere, a file is refused or, once the first frame is complete, decodes: the one-frame
// file only without its trailer.
TEST(GifReader, TruncatedFilesFailCleanly) {
  ExpectCutsRefused(ReadImage("apache_pb_transp.gif"), PictureFormat::Gif, LoadGif, 900, 100, 1);
  const Bytes animated = ReadImage("seq2gif_anim_480x312.gif");
  ExpectCutsRefused(animated, PictureFormat::Gif, LoadGif, 900, 100, animated.size());
}

}  // namespace
}  // namespace corvella::codec::test
