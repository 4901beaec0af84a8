// The JPEG codec: decodes against a plain libjpeg decode, four-component and odd streams, what it
// refuses and when, cut streams; the encoder's stream layout, quality and pinned bytes.

#include "corvella/codec/jpeg_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "corvella/imaging/dib_section.h"
#include "jpeg_test_support.h"

namespace corvella::codec::test {
namespace {

// Decodes a stream into a new buffer of the size its header gives.
struct DecodedDib {
  JpegStatus status;
  imaging::cDIBSection dib;
};

void DecodeToDib(const Bytes& jpeg, DecodedDib& out) {
  JpegParams params;
  out.status = ReadJpegParams(jpeg, params);
  if (!out.status.Ok()) return;
  ASSERT_TRUE(out.dib.Create(params.width, params.height));
  out.status = DecodeJpeg(jpeg, out.dib);
}

// The blue, green, red bytes of pixel (x, y), y from the top, read straight from memory.
const uint8_t* DibPixel(const imaging::cDIBSection& dib, int x, int y) {
  return dib.DIBSectionBitsPtr() +
         static_cast<ptrdiff_t>(dib.dib_height() - 1 - y) * dib.BytesPerScanLine() + 3 * x;
}

// Number of pixels whose bytes differ from the reference's (RGB or grey) decode.
int64_t CountDifferences(const imaging::cDIBSection& dib, const Decoded& reference) {
  int64_t differences = 0;
  for (int y = 0; y < reference.height; ++y) {
    for (int x = 0; x < reference.width; ++x) {
      const uint8_t* ours = DibPixel(dib, x, y);
      const uint8_t* theirs = reference.Pixel(x, y);
      bool same = reference.components == 1
                      ? ours[0] == theirs[0] && ours[1] == theirs[0] && ours[2] == theirs[0]
                      : ours[0] == theirs[2] && ours[1] == theirs[1] && ours[2] == theirs[0];
      if (!same) ++differences;
    }
  }
  return differences;
}

// A smooth BGR pattern in a live buffer: blue follows x, green y, red both.
void FillGradient(imaging::cDIBSection& dib) {
  imaging::ImageView view = dib.View();
  for (int y = 0; y < view.height; ++y) {
    uint8_t* row = view.Row(y);
    for (int x = 0; x < view.width; ++x) {
      row[3 * x] = static_cast<uint8_t>(x * 255 / std::max(1, view.width - 1));
      row[3 * x + 1] = static_cast<uint8_t>(y * 255 / std::max(1, view.height - 1));
      row[3 * x + 2] =
          static_cast<uint8_t>((x + y) * 255 / std::max(1, view.width + view.height - 2));
    }
  }
}

uint64_t Fnv1a(const std::vector<uint8_t>& bytes) {
  uint64_t hash = 14695981039346656037ull;
  for (uint8_t b : bytes)
    hash = (hash ^ b) * 1099511628211ull;
  return hash;
}

// Baseline 4:2:0, 4:4:4, grey and progressive streams decode to exactly the pixels of a plain
// libjpeg decode into RGB: same library, same DCT and upsampling, only the byte order and the
// row order differ.
TEST(JpegCodec, DecodesRealImagesExactlyLikePlainLibjpeg) {
  Bytes egret = ReadImage("egret_600x450.jpg");
  struct Case {
    std::string name;
    Bytes jpeg;
  } cases[] = {
      {"egret", egret},
      {"egret progressive", MakeProgressive(egret)},
      {"snake grey", ReadImage("snake_grey_600x450.jpg")},
      {"umang 4:4:4", ReadImage("umang_3840x2160_base444.jpg")},
  };
  for (const Case& c : cases) {
    DecodedDib decoded;
    DecodeToDib(c.jpeg, decoded);
    ASSERT_TRUE(decoded.status.Ok()) << c.name << ": " << decoded.status.reason;
    EXPECT_EQ(decoded.status.warnings, 0) << c.name;
    Decoded reference = ReferenceDecode(c.jpeg);
    ASSERT_EQ(decoded.dib.dib_width(), reference.width) << c.name;
    ASSERT_EQ(decoded.dib.dib_height(), reference.height) << c.name;
    EXPECT_EQ(CountDifferences(decoded.dib, reference), 0) << c.name;
  }
}

// Into memory of any stride the rows land bottom-up exactly as in a buffer of the codec's own
// (whose orientation the reference decode pins), and the filler bytes after each row and the
// memory around the buffer are never written.
TEST(JpegCodec, WritesRowsBottomUpAndLeavesFillerBytesAlone) {
  const Bytes jpeg = ReadImage("egret_600x450.jpg");
  DecodedDib own;
  DecodeToDib(jpeg, own);
  ASSERT_TRUE(own.status.Ok());
  const int width = 600, height = 450, pad = 5;
  const size_t stride = width * 3 + pad, guard = 64;
  std::vector<uint8_t> memory(guard + stride * height + guard, 0xA5);
  uint8_t* bits = memory.data() + guard;
  const auto signedStride = static_cast<ptrdiff_t>(stride);
  JpegStatus status = DecodeJpeg(
      jpeg, imaging::ImageView{bits + (height - 1) * signedStride, width, height, -signedStride});
  ASSERT_TRUE(status.Ok()) << status.reason;
  for (size_t i = 0; i < guard; ++i) {
    ASSERT_EQ(memory[i], 0xA5);
    ASSERT_EQ(memory[guard + stride * height + i], 0xA5);
  }
  for (int row = 0; row < height; ++row) {
    const uint8_t* line = bits + row * stride;
    ASSERT_EQ(std::memcmp(line, own.dib.DIBSectionBitsPtr() + row * own.dib.BytesPerScanLine(),
                          width * 3),
              0)
        << row;
    for (int i = 0; i < pad; ++i)
      ASSERT_EQ(line[width * 3 + i], 0xA5) << row;
  }
}

// CMYK streams, with Adobe's inverted inks or plain ones, and YCCK, decode to BGR with
// channel = light x light of black / 255, rounded, where light = 255 - ink (Adobe stores the
// light itself). Checked exactly against the CMYK samples of a plain libjpeg decode, and the
// flat test colour comes back within 3 levels.
TEST(JpegCodec, ConvertsFourComponentStreamsToBgr) {
  const int width = 16, height = 16;
  const uint8_t stored[4] = {40, 120, 200, 90};  // the bytes as the stream stores them
  Bytes pixels;
  for (int i = 0; i < width * height; ++i)
    pixels.insert(pixels.end(), stored, stored + 4);
  auto scaled = [](int a, int b) { return (a * b + 127) / 255; };

  struct Case {
    const char* name;
    J_COLOR_SPACE space;
    bool adobe;
  } cases[] = {{"adobe cmyk", JCS_CMYK, true},
               {"plain cmyk", JCS_CMYK, false},
               {"adobe ycck", JCS_YCCK, true}};
  for (const Case& c : cases) {
    // clang-format off
    Bytes jpeg = EncodeFixture(pixels, {.width = width, .height = height, .components = 4,
                                        .input = JCS_CMYK, .stored = c.space,
                                        .adobeMarker = c.adobe});
    // clang-format on
    DecodedDib decoded;
    DecodeToDib(jpeg, decoded);
    ASSERT_TRUE(decoded.status.Ok()) << c.name << ": " << decoded.status.reason;
    auto lightOf = [&](int value) { return c.adobe ? value : 255 - value; };
    Decoded cmyk = ReferenceDecode(jpeg);
    ASSERT_EQ(cmyk.components, 4);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const uint8_t* ink = cmyk.Pixel(x, y);
        const uint8_t* p = DibPixel(decoded.dib, x, y);
        int black = lightOf(ink[3]);
        ASSERT_EQ(p[0], scaled(lightOf(ink[2]), black)) << c.name;
        ASSERT_EQ(p[1], scaled(lightOf(ink[1]), black)) << c.name;
        ASSERT_EQ(p[2], scaled(lightOf(ink[0]), black)) << c.name;
      }
    }
    const uint8_t* p = DibPixel(decoded.dib, 9, 7);
    EXPECT_NEAR(p[0], scaled(lightOf(stored[2]), lightOf(stored[3])), 3) << c.name;
    EXPECT_NEAR(p[1], scaled(lightOf(stored[1]), lightOf(stored[3])), 3) << c.name;
    EXPECT_NEAR(p[2], scaled(lightOf(stored[0]), lightOf(stored[3])), 3) << c.name;
  }
}

// Streams of other component counts are refused; size, pixel limit and buffer are checked
// before anything is decoded or allocated.
TEST(JpegCodec, RefusesOtherComponentCountsAndChecksSizeLimitAndBufferFirst) {
  Bytes jpeg = EncodeFixture(
      Bytes(8 * 8 * 2, 77),
      {.width = 8, .height = 8, .components = 2, .input = JCS_UNKNOWN, .stored = JCS_UNKNOWN});
  JpegParams params;
  ASSERT_TRUE(ReadJpegParams(jpeg, params).Ok());
  EXPECT_EQ(params.channels, 2);
  imaging::cDIBSection dib;
  ASSERT_TRUE(dib.Create(8, 8));
  std::memset(dib.DIBSectionBitsPtr(), 0x11, dib.BytesPerScanLine() * 8);
  JpegStatus status = DecodeJpeg(jpeg, dib);
  EXPECT_EQ(status.code, JpegCode::Unsupported);
  EXPECT_FALSE(status.reason.empty());
  EXPECT_EQ(dib.DIBSectionBitsPtr()[0], 0x11);  // nothing written
  // Size, pixel limit and buffer are checked before anything is decoded or allocated.
  Bytes egret = ReadImage("egret_600x450.jpg");
  imaging::cDIBSection small;
  ASSERT_TRUE(small.Create(10, 10));
  std::memset(small.DIBSectionBitsPtr(), 0x22, small.BytesPerScanLine() * 10);
  EXPECT_EQ(DecodeJpeg(egret, small).code, JpegCode::SizeMismatch);
  EXPECT_EQ(small.DIBSectionBitsPtr()[0], 0x22);

  imaging::cDIBSection full;
  ASSERT_TRUE(full.Create(600, 450));
  {
    PixelLimitGuard limit(600 * 450 - 1);
    EXPECT_EQ(DecodeJpeg(egret, full).code, JpegCode::PixelLimit);
  }
  EXPECT_TRUE(DecodeJpeg(egret, full).Ok());

  imaging::cDIBSection empty;
  EXPECT_EQ(DecodeJpeg(egret, empty).code, JpegCode::InvalidArgument);
  uint8_t bytes[64] = {};
  EXPECT_EQ(DecodeJpeg(egret, imaging::ImageView{bytes, 600, 450, 100}).code,
            JpegCode::InvalidArgument);  // rows shorter than 3 x width
  EXPECT_EQ(DecodeJpeg(egret, imaging::ImageView{nullptr, 600, 450, -1800}).code,
            JpegCode::InvalidArgument);
  EXPECT_EQ(DecodeJpeg(egret, imaging::ImageView{bytes, 0, 450, -1800}).code,
            JpegCode::InvalidArgument);
}

TEST(JpegCodec, FailsCleanlyOnStreamsItCannotParse) {
  JpegParams params;
  EXPECT_EQ(ReadJpegParams({}, params).code, JpegCode::NotJpeg);
  JpegStatus notJpeg = ReadJpegParams(ReadImage("snake_600x450.gif"), params);
  EXPECT_EQ(notJpeg.code, JpegCode::NotJpeg);
  EXPECT_NE(notJpeg.reason.find("Not a JPEG"), std::string::npos) << notJpeg.reason;

  Bytes egret = ReadImage("egret_600x450.jpg");
  auto payloadOf = [&](uint8_t marker) {
    for (const auto& segment : SegmentsOf(egret)) {
      if (segment.marker == marker) return segment.payload;
    }
    ADD_FAILURE() << "no marker " << int{marker};
    return size_t{4};
  };
  auto patched = [&](uint8_t marker, size_t offset, uint8_t value) {
    Bytes copy = egret;
    copy[payloadOf(marker) + offset] = value;
    return copy;
  };
  // Twelve-bit samples are well-formed but not decoded by this codec.
  JpegStatus twelve = ReadJpegParams(patched(0xC0, 0, 12), params);
  EXPECT_EQ(twelve.code, JpegCode::Unsupported) << twelve.reason;
  // A frame with zero components.
  EXPECT_LT(ReadJpegParams(patched(0xC0, 5, 0), params).Value(), 0);
  // A Huffman table with impossible code counts is caught when decoding starts.
  Bytes badTable = patched(0xC4, 1, 0xFF);
  imaging::cDIBSection dib;
  ASSERT_TRUE(dib.Create(600, 450));
  JpegStatus status = ReadJpegParams(badTable, params);
  if (status.Ok()) status = DecodeJpeg(badTable, dib);
  EXPECT_EQ(status.code, JpegCode::CorruptStream) << status.reason;
}

// Positions of the start-of-scan markers of a stream (entropy-coded data never holds FF DA).
std::vector<size_t> ScanStarts(const Bytes& jpeg) {
  std::vector<size_t> starts;
  for (size_t i = 0; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) starts.push_back(i);
  }
  return starts;
}

// Data that ends before the pixels do is refused; a complete stream without its end-of-image
// marker, or a progressive one missing only later scans, decodes. Cuts inside the header fail
// with a code of their own.
TEST(JpegCodec, DataThatEndsBeforeThePixelsIsRefused) {
  const Bytes egret = ReadImage("egret_600x450.jpg");
  const Bytes progressive = MakeProgressive(egret);
  const std::vector<size_t> scans = ScanStarts(progressive);
  ASSERT_GE(scans.size(), 3u);
  DecodedDib full;
  DecodeToDib(egret, full);
  ASSERT_TRUE(full.status.Ok());

  struct Case {
    const char* what;
    Bytes stream;
    JpegCode code;
  };
  auto cut = [](const Bytes& bytes, size_t size) {
    return Bytes(bytes.begin(), bytes.begin() + size);
  };
  const Case cases[] = {
      {"half a baseline stream", cut(egret, egret.size() / 2), JpegCode::Truncated},
      {"a baseline stream without its last rows", cut(egret, egret.size() - 40),
       JpegCode::Truncated},
      {"no end-of-image marker", cut(egret, egret.size() - 2), JpegCode::Ok},
      {"progressive, inside its first scan", cut(progressive, (scans[0] + scans[1]) / 2),
       JpegCode::Truncated},
      {"progressive, after its first scan", cut(progressive, scans[1]), JpegCode::Ok},
      {"progressive, inside a later scan", cut(progressive, (scans[1] + scans[2]) / 2),
       JpegCode::Ok},
  };
  for (const Case& c : cases) {
    DecodedDib decoded;
    DecodeToDib(c.stream, decoded);
    EXPECT_EQ(decoded.status.code, c.code) << c.what << ": " << decoded.status.reason;
  }
  DecodedDib noEnd;
  DecodeToDib(cases[2].stream, noEnd);
  EXPECT_EQ(std::memcmp(noEnd.dib.DIBSectionBitsPtr(), full.dib.DIBSectionBitsPtr(),
                        static_cast<size_t>(full.dib.BytesPerScanLine()) * 450),
            0);

  // Cut anywhere before the last bytes of its data, a stream never decodes.
  ExpectCutsRefused(egret, PictureFormat::Jpeg, Loaded<LoadJpegPicture>, 700, 60, 4);
}

// A valid progressive stream with more scans than kJpegMaxScans is refused; one within the
// limit decodes exactly like plain libjpeg.
TEST(JpegCodec, RefusesStreamsWithTooManyScans) {
  const int side = 16;
  Bytes grey(side * side);
  for (int i = 0; i < side * side; ++i)
    grey[i] = static_cast<uint8_t>(i * 7);
  auto encode = [&](bool refine) {
    // DC first, then every AC coefficient in a scan of its own, optionally refined bit by bit.
    std::vector<jpeg_scan_info> scans;
    scans.push_back({1, {0, 0, 0, 0}, 0, 0, 0, 0});
    for (int k = 1; k < 64; ++k)
      scans.push_back({1, {0, 0, 0, 0}, k, k, 0, refine ? 1 : 0});
    if (refine) {
      for (int k = 1; k < 64; ++k)
        scans.push_back({1, {0, 0, 0, 0}, k, k, 1, 0});
    }
    // clang-format off
    return EncodeFixture(grey, {.width = side, .height = side, .components = 1,
                                .input = JCS_GRAYSCALE, .stored = JCS_GRAYSCALE,
                                .scans = scans.data(), .scanCount = int(scans.size())});
    // clang-format on
  };
  imaging::cDIBSection dib;
  ASSERT_TRUE(dib.Create(side, side));

  Bytes many = encode(true);  // 127 scans
  JpegStatus status = DecodeJpeg(many, dib);
  EXPECT_EQ(status.code, JpegCode::ResourceLimit) << status.reason;

  Bytes allowed = encode(false);  // 64 scans
  status = DecodeJpeg(allowed, dib);
  ASSERT_TRUE(status.Ok()) << status.reason;
  EXPECT_EQ(CountDifferences(dib, ReferenceDecode(allowed)), 0);
}

// The encoder writes SOI, the JFIF header, the comment exactly as given, then a baseline frame
// with 2x2 luma and 1x1 chroma sampling.
TEST(JpegEncoder, WritesBaselineFourTwoZeroWithCommentAndClampsQuality) {
  imaging::cDIBSection dib;
  ASSERT_TRUE(dib.Create(40, 30));
  FillGradient(dib);
  const uint8_t comment[] = {'H', 'i', 0x00, 0xFF, 0xD9, ' ', 0xE9};
  JpegEncodeSettings settings;
  settings.comment = comment;
  std::vector<uint8_t> jpeg;
  ASSERT_TRUE(EncodeJpeg(dib, settings, jpeg).Ok());
  ASSERT_GE(jpeg.size(), 4u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);
  EXPECT_EQ(jpeg[jpeg.size() - 2], 0xFF);
  EXPECT_EQ(jpeg[jpeg.size() - 1], 0xD9);

  auto segments = SegmentsOf(jpeg);
  ASSERT_GE(segments.size(), 3u);
  EXPECT_EQ(segments[0].marker, 0xE0);  // JFIF
  EXPECT_EQ(std::memcmp(jpeg.data() + segments[0].payload, "JFIF", 5), 0);
  ASSERT_EQ(segments[1].marker, 0xFE);
  ASSERT_EQ(segments[1].length, sizeof comment);
  EXPECT_EQ(std::memcmp(jpeg.data() + segments[1].payload, comment, sizeof comment), 0);
  int comments = 0;
  bool sawFrame = false;
  for (const auto& segment : segments) {
    if (segment.marker == 0xFE) ++comments;
    EXPECT_FALSE(segment.marker == 0xC1 || segment.marker == 0xC2);  // never progressive
    if (segment.marker == 0xC0) {
      sawFrame = true;
      const uint8_t* frame = jpeg.data() + segment.payload;
      EXPECT_EQ(frame[0], 8);                     // precision
      EXPECT_EQ((frame[1] << 8) | frame[2], 30);  // height
      EXPECT_EQ((frame[3] << 8) | frame[4], 40);  // width
      ASSERT_EQ(frame[5], 3);
      EXPECT_EQ(frame[6 + 1], 0x22);
      EXPECT_EQ(frame[9 + 1], 0x11);
      EXPECT_EQ(frame[12 + 1], 0x11);
    }
  }
  EXPECT_EQ(comments, 1);
  EXPECT_TRUE(sawFrame);

  // Without a comment there is no comment segment. Qualities below 1 act as 1, above 100 as
  // 100; quality 100 gives all-ones quantisation tables.
  auto encode = [&](int32_t quality) {
    JpegEncodeSettings plain;
    plain.quality = quality;
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(EncodeJpeg(dib, plain, bytes).Ok()) << quality;
    return bytes;
  };
  for (const auto& segment : SegmentsOf(encode(JpegEncodeSettings{}.quality)))
    EXPECT_NE(segment.marker, 0xFE);
  EXPECT_EQ(encode(0), encode(1));
  EXPECT_EQ(encode(-32768), encode(1));
  EXPECT_EQ(encode(101), encode(100));
  EXPECT_EQ(encode(32767), encode(100));
  EXPECT_NE(encode(50), encode(1));
  EXPECT_NE(encode(50), encode(100));

  std::vector<uint8_t> best = encode(100);
  for (const auto& segment : SegmentsOf(best)) {
    if (segment.marker != 0xDB) continue;
    for (size_t i = 0; i + 65 <= segment.length; i += 65) {
      for (size_t k = 1; k <= 64; ++k)
        EXPECT_EQ(best[segment.payload + i + k], 1);
    }
  }
}

// decode(encode(x)) stays close to x: on a smooth gradient at quality 90 every channel is within
// 12 levels and the mean error below 1.5. The same input gives the same bytes; with this
// libjpeg-turbo release the bytes are pinned.
TEST(JpegEncoder, RoundTripIsCloseAndDeterministic) {
  imaging::cDIBSection dib;
  ASSERT_TRUE(dib.Create(97, 61));
  FillGradient(dib);
  JpegEncodeSettings settings;
  settings.quality = 90;
  std::vector<uint8_t> first, second;
  ASSERT_TRUE(EncodeJpeg(dib, settings, first).Ok());
  ASSERT_TRUE(EncodeJpeg(dib, settings, second).Ok());
  EXPECT_EQ(first, second);
#if LIBJPEG_TURBO_VERSION_NUMBER == 2001005
  EXPECT_EQ(Fnv1a(first), 0x2c33034191cc9f82u) << std::hex << Fnv1a(first);
#endif

  DecodedDib decoded;
  DecodeToDib(first, decoded);
  ASSERT_TRUE(decoded.status.Ok());
  int worst = 0;
  double total = 0;
  for (int y = 0; y < 61; ++y) {
    for (int x = 0; x < 97; ++x) {
      for (int c = 0; c < 3; ++c) {
        int d = std::abs(DibPixel(decoded.dib, x, y)[c] - DibPixel(dib, x, y)[c]);
        worst = std::max(worst, d);
        total += d;
      }
    }
  }
  EXPECT_LE(worst, 12);
  EXPECT_LT(total / (97 * 61 * 3), 1.5);

  // Noise at quality 100 needs several times the first guess of the output size.
  imaging::cDIBSection noise;
  ASSERT_TRUE(noise.Create(640, 480));
  uint32_t state = 12345;
  imaging::ImageView view = noise.View();
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640 * 3; ++x) {
      state = state * 1664525u + 1013904223u;
      view.Row(y)[x] = static_cast<uint8_t>(state >> 24);
    }
  }
  settings.quality = 100;
  std::vector<uint8_t> big;
  ASSERT_TRUE(EncodeJpeg(noise, settings, big).Ok());
  EXPECT_GT(big.size(), 640u * 480 / 4 + 16384);
  DecodedDib back;
  DecodeToDib(big, back);
  ASSERT_TRUE(back.status.Ok());
  EXPECT_EQ(back.dib.dib_width(), 640);
}

TEST(JpegEncoder, ReportsFailuresWithACode) {
  std::vector<uint8_t> jpeg = {1, 2, 3};
  imaging::cDIBSection empty;
  EXPECT_EQ(EncodeJpeg(empty, JpegEncodeSettings{}, jpeg).code, JpegCode::InvalidArgument);
  EXPECT_TRUE(jpeg.empty());

  // JPEG frames cannot be wider than 65500 pixels.
  imaging::cDIBSection wide;
  ASSERT_TRUE(wide.Create(70000, 1));
  JpegStatus status = EncodeJpeg(wide, JpegEncodeSettings{}, jpeg);
  EXPECT_EQ(status.code, JpegCode::EncodeFailed);
  EXPECT_NE(status.reason.find("65500"), std::string::npos) << status.reason;
  EXPECT_TRUE(jpeg.empty());

  imaging::cDIBSection dib;
  ASSERT_TRUE(dib.Create(8, 8));
  std::vector<uint8_t> longest(65533, 'x');
  JpegEncodeSettings settings;
  settings.comment = longest;
  EXPECT_TRUE(EncodeJpeg(dib, settings, jpeg).Ok());
  std::vector<uint8_t> tooLong(65534, 'x');
  settings.comment = tooLong;
  EXPECT_EQ(EncodeJpeg(dib, settings, jpeg).code, JpegCode::InvalidArgument);
}

}  // namespace
}  // namespace corvella::codec::test
