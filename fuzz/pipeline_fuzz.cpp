// The whole job of a page, driven by the fuzzer's bytes: open an image from a byte array, apply a
// few operations chosen by the first bytes, and save it to a byte array. Every member answers or
// raises a documented error; a saved JPEG holds the working image's size; and a new working image
// made by a geometric operation sets the object's size fields.
//
// Input: byte 0 gives the number of operations (0 .. 5), then 5 bytes per operation (the
// operation, four argument bytes), then the image. Files are kept in memory; the pixel limit is
// low, so that every run is short.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>

#include "corvella/codec/jpeg_codec.h"
#include "corvella/component/pictron.h"
#include "corvella/imaging/pixel_limit.h"
#include "fuzz_support.h"

namespace {

using corvella::component::Pictron;
using corvella::fuzz::ByteReader;
using corvella::fuzz::Call;
using corvella::fuzz::Check;
using corvella::fuzz::CheckNewImageSize;
using corvella::platform::ByteArray;
using corvella::platform::Variant;

// Working images of at most 256 K pixels.
constexpr uint64_t kMaxPixels = 1u << 18;

// A 4 x 3 bitmap for AddImage, in memory: 24 bits, bottom-up, rows of 12 bytes.
const uint8_t kLogo[] = {'B', 'M', 90, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 4, 0, 0, 0, 3,
                         0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 36, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                         0, 0, 0, 0, 0, 0, 0,
                         // rows: white, red, a green and blue mix
                         255, 255, 255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0,
                         255, 0, 0, 255, 255, 0, 0, 0, 255, 0, 255, 0, 0, 0, 255, 0};

constexpr char16_t kLogoPath[] = u"\\mem\\logo.bmp";
constexpr char16_t kSelfPath[] = u"\\mem\\self.img";

// A position value: a number near the image, a keyword of either axis, Null or a word.
Variant Position(uint8_t b) {
  static const char16_t* const kWords[] = {u"LEFT",   u"CENTER", u"RIGHT", u"TOP",
                                           u"BOTTOM", u"center", u"",      u"1E9"};
  switch (b % 4) {
    case 0:
      return Variant(static_cast<int32_t>(static_cast<int8_t>(b)) * 4);
    case 1:
      return Variant(kWords[(b >> 2) % 8]);
    case 2:
      return Variant(static_cast<double>(static_cast<int8_t>(b)) * 1.5);
    default:
      return b & 4 ? Variant::Null() : Variant();
  }
}

// Gamma values: none, far too large, not a number, infinite, or up to almost 8.
float GammaValue(uint8_t b) {
  static const float kOdd[] = {0.0f, 300.0f, std::numeric_limits<float>::quiet_NaN(),
                               std::numeric_limits<float>::infinity()};
  return b < 4 ? kOdd[b] : static_cast<float>(b) / 32.0f;
}

// The operations without arguments, by operation number; those that make a new working image
// are followed by the check of the size fields.
struct Plain {
  int op;
  void (Pictron::*member)();
  bool newImage;
};
constexpr Plain kPlain[] = {{2, &Pictron::Flip, false},       {3, &Pictron::Mirror, false},
                            {4, &Pictron::RotateRight, true}, {5, &Pictron::RotateLeft, true},
                            {6, &Pictron::Blur, false},       {7, &Pictron::Sharpen, false},
                            {9, &Pictron::Negative, false},   {10, &Pictron::GreyScale, false}};

void Operate(Pictron& p, uint8_t op, const uint8_t a[4]) {
  for (const Plain& plain : kPlain) {
    if (plain.op != op % 16) continue;
    if (Call([&] { (p.*plain.member)(); }) && plain.newImage) CheckNewImageSize(p);
    return;
  }
  switch (op % 16) {
    case 0: {
      int32_t w = static_cast<int16_t>(a[0] << 8 | a[1]) % 700;
      int32_t h = static_cast<int16_t>(a[2] << 8 | a[3]) % 700;
      if (Call([&] { p.Resample(w, h); })) CheckNewImageSize(p);
      break;
    }
    case 1: {
      int16_t x1 = static_cast<int8_t>(a[0]) * 3, y1 = static_cast<int8_t>(a[1]) * 3;
      int16_t x2 = static_cast<int16_t>(x1 + a[2] * 2), y2 = static_cast<int16_t>(y1 + a[3] * 2);
      if (Call([&] { p.Crop(x1, y1, x2, y2); })) CheckNewImageSize(p);
      break;
    }
    case 8:
      Call([&] { p.Gamma(GammaValue(a[0]), GammaValue(a[1]), GammaValue(a[2])); });
      break;
    case 11: {
      static const char16_t* const kFaces[] = {u"", u"DejaVu Sans", u"Liberation Serif",
                                               u"No Such Face"};
      p.SetFontFace(kFaces[a[3] & 3]);
      p.SetFontSize(static_cast<int16_t>(static_cast<int8_t>(a[2]) / 2));
      p.SetFontOrientation(static_cast<int16_t>((a[3] >> 2) * 23));
      p.SetFontBold(a[3] & 0x40 ? -1 : 0);
      p.SetFontItalic(a[3] & 0x80 ? -1 : 0);
      p.SetFontUnderline(a[2] & 1 ? -1 : 0);
      p.SetFontColor(a[2] & 2 ? u"00FFzz" : u"FF8000");
      std::u16string message = {static_cast<char16_t>(0x20 + a[0] % 96), u'g',
                                static_cast<char16_t>(a[1] < 128 ? 0x4E2D : 0xD800 + a[1])};
      Call([&] { p.AddText(message, Position(a[0]), Position(a[1])); });
      break;
    }
    case 12: {
      Variant key = a[3] & 1 ? Variant::Missing() : Variant(a[3] & 2 ? u"FFFFFF" : u"12345");
      Call([&] {
        p.AddImage(a[2] & 1 ? kLogoPath : kSelfPath, Position(a[0]), Position(a[1]), key);
      });
      break;
    }
    case 13:
      Call([&] { p.Quality(static_cast<int16_t>(static_cast<int8_t>(a[0]))); });
      break;
    case 14:
      p.Comment(std::u16string(a[0] % 8, static_cast<char16_t>(a[1])));
      break;
    default: {
      // Saving in the middle of the job: the encoded stream becomes the opened bytes.
      Variant bytes;
      Call([&] { p.SaveBinary(bytes); });
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    corvella::imaging::SetMaxPixels(kMaxPixels);
    corvella::fuzz::InstallMemoryFileSystem().Put(kLogoPath, kLogo);
    return true;
  }();
  (void)ready;
  auto& files = corvella::fuzz::InstallMemoryFileSystem();
  files.Reset();

  ByteReader reader(std::span<const uint8_t>(data, size));
  const int operations = reader.Byte() % 6;
  uint8_t ops[5][5] = {};
  for (int i = 0; i < operations; ++i) {
    for (uint8_t& b : ops[i])
      b = reader.Byte();
  }
  std::span<const uint8_t> image = reader.Rest();
  files.WriteFileAtomically(kSelfPath, image);

  Pictron p;
  if (!Call([&] { p.OpenBinary(ByteArray::FromBytes(image)); })) return 0;
  for (int i = 0; i < operations; ++i)
    Operate(p, ops[i][0], ops[i] + 1);

  Variant saved;
  if (!Call([&] { p.SaveBinary(saved); })) return 0;
  const ByteArray& bytes = saved.AsByteArray();
  const auto& s = p.State();
  if (s.blDecoded == 0) {
    // Never decoded: the opened bytes come back unchanged.
    Check(std::equal(bytes.Bytes().begin(), bytes.Bytes().end(), image.begin(), image.end()),
          "undecoded bytes changed");
    return 0;
  }
  // A fresh JPEG stream of the working image, whose length is the new Size.
  Check(static_cast<double>(bytes.Size()) == p.Size(), "Size differs from the stream");
  corvella::codec::JpegParams params;
  Check(corvella::codec::ReadJpegParams(bytes.Bytes(), params).Ok(), "saved stream unreadable");
  Check(s.cDib && params.width == s.cDib->dib_width() && params.height == s.cDib->dib_height(),
        "saved stream size differs");
  return 0;
}
