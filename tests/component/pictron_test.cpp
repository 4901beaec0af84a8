// Pictron's members end to end. Decoding on demand, saving, SaveBinary, Download and AddImage's
// file loading. The pixel operations as members: decode-on-demand, argument checks in their
// order, the state fields each one writes, the arguments written back, and that nothing changes
// after an error (the pixel arithmetic itself is checked in the operations and imaging tests).

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "component/component_fixtures.h"
#include "corvella/imaging/pixel_limit.h"
#include "operations/image_fixtures.h"
#include "support/errors.h"

namespace corvella::component {
namespace {

using imaging::cDIBSection;
using platform::ByteArray;
using platform::Variant;
using test::GiveImage;
using test::kImages;
using test::Page;
using testing::At;
using testing::Component;
using testing::ErrorNumberOf;
using testing::RandomDib;
using testing::ReadBytes;
using testing::Runtime;
using testing::TempFolder;
using Bytes = std::vector<uint8_t>;

// An object bound to @p page that has opened the test image @p name (copied into @p folder).
void OpenCopy(Pictron& p, const TempFolder& folder, const std::string& name) {
  std::filesystem::copy_file(kImages / name, folder / name,
                             std::filesystem::copy_options::overwrite_existing);
  p.OpenFile(platform::Utf8ToWide(name));
}

// The payload of the first comment segment of a JPEG stream, or nothing.
std::optional<std::string> JpegComment(std::span<const uint8_t> jpeg) {
  size_t pos = 2;
  while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF) {
    uint8_t code = jpeg[pos + 1];
    size_t length = (jpeg[pos + 2] << 8) | jpeg[pos + 3];
    if (code == 0xFE) return std::string(jpeg.begin() + pos + 4, jpeg.begin() + pos + 2 + length);
    if (code == 0xDA) break;
    pos += 2 + length;
  }
  return std::nullopt;
}

bool IsJpeg(std::span<const uint8_t> bytes) {
  return bytes.size() > 2 && bytes[0] == 0xFF && bytes[1] == 0xD8;
}

TEST(DecodeImage, DecodesOnceWhenPixelsAreFirstNeeded) {
  TempFolder folder;
  Page page(folder);
  Pictron p;
  p.OnStartPage(page.context);
  OpenCopy(p, folder, "egret_600x450.jpg");
  EXPECT_EQ(p.State().blDecoded, 0);
  EXPECT_EQ(p.State().cDib, nullptr);

  p.Quality(75);
  ASSERT_NE(p.State().cDib, nullptr);
  EXPECT_EQ(p.State().blDecoded, platform::kVbTrue);
  EXPECT_EQ(p.State().cDib->dib_width(), 600);
  EXPECT_EQ(p.State().cDib->dib_height(), 450);
  const imaging::cDIBSection* decoded = p.State().cDib.get();
  p.Quality(70);  // decoded already: the same buffer stays
  EXPECT_EQ(p.State().cDib.get(), decoded);
  // A new open makes the next step decode the new bytes (binary.vbs turns such a picture).
  p.OpenBinary(ByteArray::FromBytes(ReadBytes(kImages / "pngsuite_basn2c16.png")));
  EXPECT_EQ(p.State().blDecoded, 0);
}

TEST(DecodeImage, EveryFormatDecodesFromTheOpenedBytes) {
  TempFolder folder;
  Page page(folder);
  struct Case {
    const char* name;
    int32_t width, height;
  } cases[] = {{"snake_600x450.gif", 600, 450},
               {"snake_24bit_600x450.bmp", 600, 450},
               {"snake_8bit_pal_600x450.bmp", 600, 450},
               {"horse_rgba_400x328.png", 400, 328},
               {"umang_3840x2160_base444.jpg", 3840, 2160}};
  for (const Case& c : cases) {
    Pictron p;
    p.OpenBinary(ByteArray::FromBytes(ReadBytes(kImages / c.name)));
    p.Quality(80);
    ASSERT_NE(p.State().cDib, nullptr) << c.name;
    EXPECT_EQ(p.State().cDib->dib_width(), c.width) << c.name;
    EXPECT_EQ(p.State().cDib->dib_height(), c.height) << c.name;
  }

  // An array opened after a file is decoded from the array, not from the earlier file; the
  // public LoadPictureFromStd still reads the file of the last OpenFile.
  Pictron p;
  p.OnStartPage(page.context);
  OpenCopy(p, folder, "snake_600x450.gif");
  p.OpenBinary(ByteArray::FromBytes(ReadBytes(kImages / "green_palette_320x240.png")));
  p.Quality(80);
  EXPECT_EQ(p.State().cDib->dib_width(), 320);
  EXPECT_EQ(p.LoadPictureFromStd(), platform::kVbTrue);
  EXPECT_EQ(p.State().cDib->dib_width(), 600);
  EXPECT_EQ(p.State().blDecoded, platform::kVbTrue);

  // Damaged data: the readers' errors reach the caller and the next step tries again.
  Bytes png = ReadBytes(kImages / "green_palette_320x240.png");
  png.resize(60);
  p.OpenBinary(ByteArray::FromBytes(png));
  EXPECT_EQ(ErrorNumberOf([&] { p.Quality(80); }), Runtime(481));
  EXPECT_EQ(p.State().blDecoded, 0);
  p.OpenBinary(
      ByteArray::FromBytes(Bytes{0xFF, 0xD8, 0xFF, 0xC0, 0, 11, 8, 0, 9, 0, 9, 3, 0, 0xFF, 0xD9}));
  EXPECT_EQ(ErrorNumberOf([&] { p.Quality(80); }), Component(1120));
}

// A decode that cannot have its buffer (here: over the host's pixel limit) raises runtime error
// 7 from the member that needed the pixels, in every format, and leaves nothing decoded.
TEST(DecodeImage, ABufferThatCannotBeMadeIsOutOfMemory) {
  const uint64_t saved = imaging::MaxPixels();
  imaging::SetMaxPixels(1000);
  for (const char* name : {"egret_600x450.jpg", "coffee_rgb_600x400.png", "snake_600x450.gif",
                           "snake_24bit_600x450.bmp"}) {
    Pictron p;
    p.OpenBinary(ByteArray::FromBytes(ReadBytes(kImages / name)));
    EXPECT_EQ(ErrorNumberOf([&] { p.Quality(60); }), Runtime(7)) << name;
    EXPECT_EQ(ErrorNumberOf([&] { p.Negative(); }), Runtime(7)) << name;
    int32_t w = 200, h = 0;
    EXPECT_EQ(ErrorNumberOf([&] { p.Resample(w, h); }), Runtime(7)) << name;
    EXPECT_EQ(p.State().cDib, nullptr);
    EXPECT_EQ(p.State().blDecoded, 0);
    EXPECT_EQ(p.State().intQuality, 60);
  }
  imaging::SetMaxPixels(saved);
}

TEST(SaveFile, PassesUndecodedBytesThroughAndEncodesDecodedImages) {
  TempFolder folder;
  Page page(folder);
  Pictron p;
  p.OnStartPage(page.context);
  OpenCopy(p, folder, "snake_600x450.gif");
  Bytes original = ReadBytes(kImages / "snake_600x450.gif");

  // Undecoded: the opened bytes, whatever the target's extension, even after a comment (which
  // does not decode; save.vbs shows that by the length).
  Variant target(u"copy.jpg");
  p.Comment(u"not written");
  p.SaveFile(target);
  EXPECT_EQ(ReadBytes(folder / "copy.jpg"), original);
  EXPECT_EQ(p.Size(), static_cast<double>(original.size()));

  // Quality decodes: the next save is a new JPEG with the comment, and Size is its length.
  p.Quality(90);
  p.SaveFile(target);
  Bytes encoded = ReadBytes(folder / "copy.jpg");
  EXPECT_TRUE(IsJpeg(encoded));
  EXPECT_EQ(p.Size(), static_cast<double>(encoded.size()));
  EXPECT_EQ(JpegComment(encoded), "not written");

  // No name: the opened file is overwritten.
  Variant missing = Variant::Missing();
  p.SaveFile(missing);
  EXPECT_EQ(ReadBytes(folder / "snake_600x450.gif"), encoded);
  EXPECT_EQ(p.State().strFilePath, test::Physical(folder / "snake_600x450.gif"));

  // A path that MapPath answered is physical (it holds backslashes) and is not mapped again, page
  // or not (without a page, every acceptance script saves and opens such paths).
  std::u16string mapped = page.context->Server()->MapPath(u"mapped.jpg");
  Variant mappedName(mapped);
  p.SaveFile(mappedName);
  p.OpenFile(mapped);
  EXPECT_EQ(p.State().strFilePath, mapped);
}

// The name and folder errors, and no image at all, are the acceptance script save.vbs.
TEST(SaveFile, NothingIsWrittenWithoutAnImageOrAPage) {
  TempFolder folder;
  Page page(folder);
  Pictron p;
  p.OnStartPage(page.context);
  Variant fine(u"out.jpg");
  EXPECT_EQ(ErrorNumberOf([&] { p.SaveFile(fine); }), Runtime(9));
  EXPECT_FALSE(std::filesystem::exists(folder / "out.jpg"));
  // Without a page, a name without a backslash cannot be mapped.
  Pictron unbound;
  unbound.OpenBinary(ByteArray::FromBytes(ReadBytes(kImages / "pngsuite_basn3p04.png")));
  EXPECT_EQ(ErrorNumberOf([&] { unbound.SaveFile(fine); }), Runtime(91));
}

TEST(SaveBinary, HandsOutOpenedBytesOrAFreshEncoding) {
  Pictron p;
  Variant out;
  // A caller's array keeps its bounds; positions are indices, so index 0 is the JPEG's first byte.
  Bytes original = ReadBytes(kImages / "egret_600x450.jpg");
  original.insert(original.begin(), {0xAA, 0xBB});
  p.OpenBinary(ByteArray::FromBytes(original, -2));
  EXPECT_EQ(p.width(), 600);
  p.SaveBinary(out);
  ASSERT_EQ(out.Type(), platform::VarType::ByteArray);
  EXPECT_EQ(out.AsByteArray().LBound(), -2);
  EXPECT_TRUE(std::equal(original.begin(), original.end(), out.AsByteArray().Bytes().begin()));

  // Decoded: a JPEG whose length is the new Size and which is arImageData from now on. The
  // comment goes in up to its first U+0000.
  p.Comment(std::u16string(u"caption\0hidden", 14));
  p.Quality(50);
  p.SaveBinary(out);
  std::span<const uint8_t> stream = out.AsByteArray().Bytes();
  EXPECT_TRUE(IsJpeg(stream));
  EXPECT_EQ(out.AsByteArray().LBound(), 0);
  EXPECT_EQ(p.Size(), static_cast<double>(stream.size()));
  EXPECT_TRUE(p.State().arImageData == out.AsByteArray());
  EXPECT_EQ(JpegComment(stream), "caption");
  out.AsByteArray().Set(0, 0);  // the script's copy is its own
  EXPECT_EQ(p.State().arImageData.At(0), 0xFF);

  // Tiny images encode in memory too.
  Pictron tiny;
  GiveImage(tiny, RandomDib(4, 4, 1));
  tiny.SaveBinary(out);
  EXPECT_TRUE(IsJpeg(out.AsByteArray().Bytes()));
  GiveImage(tiny, RandomDib(1, 1, 2));
  tiny.SaveBinary(out);
  EXPECT_TRUE(IsJpeg(out.AsByteArray().Bytes()));
}

TEST(Download, SendsTheDocumentedHeaders) {
  TempFolder folder;
  struct Row {
    Variant name, type, disposition;
    const char* contentType;
    const char* contentDisposition;  // nullptr: no header
  } rows[] = {
      {Variant::Missing(), Variant::Missing(), Variant::Missing(), "image/jpeg", nullptr},
      {Variant(u"photo.jpg"), Variant::Missing(), Variant::Missing(), "image/jpeg",
       "filename=photo.jpg"},
      {Variant(u"photo.jpg"), Variant::Missing(), Variant(u"attachment"), "image/jpeg",
       "attachment; filename=photo.jpg"},
      {Variant::Missing(), Variant(u"image/pjpeg"), Variant(u"inline"), "image/pjpeg", "inline"},
      {Variant::Missing(), Variant(u""), Variant(u"attachment"), "image/jpeg", "attachment"},
      // A name that is no token is quoted, so that it stays one parameter; beyond ASCII it is
      // also given exactly in the extended form.
      {Variant(u"my photo.jpg"), Variant::Missing(), Variant::Missing(), "image/jpeg",
       "filename=\"my photo.jpg\""},
      {Variant(u"a.jpg; filename*=UTF-8''evil.html"), Variant::Missing(), Variant(u"attachment"),
       "image/jpeg", "attachment; filename=\"a.jpg; filename*=UTF-8''evil.html\""},
      {Variant(u"say \"hi\"\\\t.jpg"), Variant::Missing(), Variant::Missing(), "image/jpeg",
       "filename=\"say \\\"hi\\\"\\\\\t.jpg\""},
      {Variant(u"caf\u00e9 \U0001F600.jpg"), Variant::Missing(), Variant::Missing(), "image/jpeg",
       "filename=\"caf_ _.jpg\"; filename*=UTF-8''caf%C3%A9%20%F0%9F%98%80.jpg"},
  };
  Bytes gif = ReadBytes(kImages / "apache_pb_transp.gif");
  for (const Row& row : rows) {
    Page page(folder);
    Pictron p;
    p.OnStartPage(page.context);
    p.OpenBinary(ByteArray::FromBytes(gif));
    p.Download(row.name, row.type, row.disposition);
    p.Download(row.name, row.type, row.disposition);  // replaces the headers, adds none
    EXPECT_EQ(page.Response().ContentType(), row.contentType);
    auto disposition = page.Response().HeaderValues("Content-Disposition");
    if (row.contentDisposition == nullptr) {
      EXPECT_TRUE(disposition.empty());
    } else {
      EXPECT_EQ(disposition, std::vector<std::string>{row.contentDisposition});
    }
    // Undecoded: the GIF goes out as it came; buffered output announces no length.
    EXPECT_TRUE(std::equal(gif.begin(), gif.end(), page.Response().Body().begin()));
    EXPECT_TRUE(page.Response().HeaderValues("Content-Length").empty());
  }
}

TEST(Download, EncodesDecodedImagesAndAnnouncesTheLengthWhenUnbuffered) {
  TempFolder folder;
  Page page(folder);
  page.Response().SetBuffer(false);
  Pictron p;
  p.OnStartPage(page.context);
  p.OpenBinary(ByteArray::FromBytes(ReadBytes(kImages / "apache_pb_transp.gif")));
  p.Quality(80);
  Variant none = Variant::Missing();
  p.Download(none, none, none);
  EXPECT_TRUE(IsJpeg(page.Response().Body()));
  EXPECT_EQ(page.Response().HeaderValues("Content-Length"),
            std::vector<std::string>{std::to_string(page.Response().Body().size())});
  EXPECT_EQ(p.Size(), static_cast<double>(page.Response().Body().size()));

  // With output buffered, a second call encodes again (blDecoded stays true) and adds no length.
  Page buffered(folder);
  p.OnStartPage(buffered.context);
  p.Download(none, none, none);
  size_t first = buffered.Response().Body().size();
  p.Download(none, none, none);
  EXPECT_EQ(buffered.Response().Body().size(), 2 * first);
  EXPECT_EQ(p.State().blDecoded, platform::kVbTrue);
  EXPECT_TRUE(buffered.Response().HeaderValues("Content-Length").empty());
}

TEST(Download, RefusesHeaderInjectionAndMissingImagesAndPages) {
  TempFolder folder;
  Page page(folder);
  Pictron p;
  p.OnStartPage(page.context);
  p.OpenBinary(ByteArray::FromBytes(ReadBytes(kImages / "apache_pb_transp.gif")));
  Variant none = Variant::Missing();
  for (const char16_t* bad :
       {u"a.jpg\r\nSet-Cookie: x=1", u"a\n.jpg", u"a\x01.jpg", u"a\x1b.jpg", u"a\x7f.jpg"}) {
    EXPECT_EQ(ErrorNumberOf([&] { p.Download(Variant(bad), none, none); }), Runtime(5));
    EXPECT_EQ(ErrorNumberOf([&] { p.Download(none, Variant(bad), none); }), Runtime(5));
    EXPECT_EQ(ErrorNumberOf([&] { p.Download(none, none, Variant(bad)); }), Runtime(5));
  }
  EXPECT_TRUE(page.Response().Headers().empty());
  EXPECT_TRUE(page.Response().Body().empty());

  // Never opened: the headers are set, then runtime error 9, and no body.
  Pictron empty;
  empty.OnStartPage(page.context);
  EXPECT_EQ(ErrorNumberOf([&] { empty.Download(Variant(u"x.jpg"), none, none); }), Runtime(9));
  EXPECT_EQ(page.Response().HeaderValues("Content-Disposition"),
            std::vector<std::string>{"filename=x.jpg"});
  EXPECT_TRUE(page.Response().Body().empty());

  // After OnEndPage there is no Response to send through.
  p.OnEndPage();
  EXPECT_EQ(ErrorNumberOf([&] { p.Download(none, none, none); }), Runtime(91));
}

TEST(AddImage, LoadsTheOverlayFromItsFile) {
  TempFolder folder;
  Page page(folder);
  Pictron p;
  p.OnStartPage(page.context);
  GiveImage(p, RandomDib(300, 40, 3));
  std::filesystem::copy_file(kImages / "pngsuite_basn2c16.png", folder / "logo.png");
  Variant none = Variant::Missing();
  std::filesystem::copy_file(kImages / "SOURCES.md", folder / "notes.png");
  EXPECT_EQ(ErrorNumberOf([&] { p.AddImage(u"notes.png", 0, 0, none); }), Runtime(481));

  // The overlay lands at the right edge, opaque: its pixels equal the PNG's own.
  p.AddImage(u"logo.png", Variant(u"RIGHT"), Variant(u"TOP"), none);
  Pictron reference;
  reference.OpenBinary(ByteArray::FromBytes(ReadBytes(folder / "logo.png")));
  reference.Quality(80);
  imaging::ImageView image = p.State().cDib->View();
  imaging::ImageView logo = reference.State().cDib->View();
  for (int32_t y = 0; y < 32; ++y) {
    ASSERT_EQ(std::memcmp(image.Row(y) + 3 * (300 - 32), logo.Row(y), 3 * 32), 0) << y;
  }
}

// A Pictron whose decoded image is random, as after opening an image of its size and decoding it.
std::shared_ptr<Pictron> Decoded(int32_t width, int32_t height, uint32_t seed = 1) {
  auto p = std::make_shared<Pictron>();
  test::GiveImage(*p, RandomDib(width, height, seed));
  return p;
}

// What an error must leave untouched: the buffer object, its bytes and the current size.
struct Snapshot {
  explicit Snapshot(const Pictron& p)
      : dib(p.State().cDib.get()),
        bytes(testing::Bytes(*p.State().cDib)),
        width(p.width()),
        height(p.Height()) {}
  void ExpectUnchanged(const Pictron& p) const {
    EXPECT_EQ(p.State().cDib.get(), dib);
    EXPECT_EQ(testing::Bytes(*p.State().cDib), bytes);
    EXPECT_EQ(p.width(), width);
    EXPECT_EQ(p.Height(), height);
  }
  const cDIBSection* dib;
  std::vector<uint8_t> bytes;
  int32_t width;
  int32_t height;
};

TEST(PictronOperations, EveryMemberNeedsAnOpenedImage) {
  Pictron p;
  int32_t w = 10, h = 0;
  int16_t x1 = 0, y1 = 0, x2 = 1, y2 = 1;
  const std::function<void()> members[] = {[&] { p.Resample(w, h); },
                                           [&] { p.Crop(x1, y1, x2, y2); },
                                           [&] { p.Flip(); },
                                           [&] { p.Mirror(); },
                                           [&] { p.RotateRight(); },
                                           [&] { p.RotateLeft(); },
                                           [&] { p.Blur(); },
                                           [&] { p.Sharpen(); },
                                           [&] { p.Negative(); },
                                           [&] { p.GreyScale(); },
                                           [&] { p.Gamma(255, 255, 255); },
                                           [&] { p.Gamma(2, 2, 2); },
                                           [&] { p.JPEGSkipVariables(w); }};
  for (const auto& member : members)
    EXPECT_EQ(ErrorNumberOf(member), Runtime(9));
  EXPECT_EQ(h, 0);  // nothing computed before the decode step failed
  // Gamma checks its values before it decodes (0 and 256 are the acceptance script filters.vbs).
  EXPECT_EQ(ErrorNumberOf([&] { p.Gamma(std::nanf(""), 1, 1); }), Component(1085));
  EXPECT_EQ(ErrorNumberOf([&] { p.Gamma(1, 255.001f, 1); }), Component(1086));
}

// Writing back a side computed from the opened proportions is the acceptance script geometry.vbs.
TEST(PictronOperations, ResampleOnAnImageOpenedAt800x600) {
  auto p = Decoded(800, 600);
  int32_t w = 400;
  int32_t h = 300;
  p->Resample(w, h);
  // The opened size itself does nothing at all, whatever the current size.
  Snapshot before(*p);
  w = 800, h = 600;
  p->Resample(w, h);
  before.ExpectUnchanged(*p);

  // After a crop to 400 x 300 the opened size still does nothing; 800 x 601 scales up.
  p = Decoded(800, 600, 2);
  int16_t x1 = 0, y1 = 0, x2 = 400, y2 = 300;
  p->Crop(x1, y1, x2, y2);
  Snapshot cropped(*p);
  w = 800, h = 600;
  p->Resample(w, h);
  cropped.ExpectUnchanged(*p);
  w = 800, h = 601;
  p->Resample(w, h);
  EXPECT_EQ(p->width(), 800);
  EXPECT_EQ(p->Height(), 601);

  // After RotateRight the proportions are still those of the opened image: 300 x 225.
  p = Decoded(800, 600, 3);
  p->RotateRight();
  w = 300, h = 0;
  p->Resample(w, h);
  EXPECT_EQ(h, 225);
  EXPECT_EQ(p->State().cDib->dib_width(), 300);
  EXPECT_EQ(p->State().cDib->dib_height(), 225);
}

TEST(PictronOperations, ResampleOnAnImageOpenedAt100x300) {
  auto p = Decoded(100, 300);
  int32_t w = 1;
  int32_t h = 0;
  // A target 1 pixel wide is fine; only the source must be 2 pixels wide and high.
  p->Resample(w, h);
  EXPECT_EQ(h, 3);
  EXPECT_EQ(p->width(), 1);
  EXPECT_EQ(p->Height(), 3);

  p = Decoded(100, 300);
  Snapshot before(*p);
  w = 0, h = 2;
  // The width computes as 0: division by zero in the resampler, picture unchanged.
  EXPECT_EQ(ErrorNumberOf([&] { p->Resample(w, h); }), Runtime(11));
  EXPECT_EQ(w, 0);
  before.ExpectUnchanged(*p);
}

TEST(PictronOperations, ResampleErrorsChangeNothing) {
  auto p = Decoded(80, 60);
  Snapshot before(*p);
  PictronState& s = PictronAccess::State(*p);
  const uint64_t limit = imaging::MaxPixels();
  struct Case {
    int32_t w, h, originalWidth, originalHeight;
    uint64_t maxPixels;
    int32_t error;
  } cases[] = {
      {0, 0, 80, 60, limit, Component(1050)},
      {-5, 10, 80, 60, limit, Runtime(5)},
      {10, -1, 80, 60, limit, Runtime(5)},
      {200, 100, 80, 60, 10000, Runtime(7)},   // over the host's pixel limit
      {0, 4, 1 << 30, 60, limit, Runtime(6)},  // the proportional product overflows
      {0, 4, 80, 0, limit, Runtime(11)},       // the opened height is 0
  };
  for (const Case& c : cases) {
    int32_t w = c.w, h = c.h;
    s.lngOriginalWidth = c.originalWidth;
    s.lngOriginalHeight = c.originalHeight;
    imaging::SetMaxPixels(c.maxPixels);
    EXPECT_EQ(ErrorNumberOf([&] { p->Resample(w, h); }), c.error) << c.w << "," << c.h;
    imaging::SetMaxPixels(limit);
    EXPECT_EQ(h, c.h);
    before.ExpectUnchanged(*p);
  }
  // A picture 1 pixel wide cannot be resampled: range error, nothing changed.
  auto narrow = Decoded(1, 40);
  Snapshot narrowBefore(*narrow);
  int32_t w = 5, h = 5;
  EXPECT_EQ(ErrorNumberOf([&] { narrow->Resample(w, h); }), Runtime(9));
  narrowBefore.ExpectUnchanged(*narrow);
}

TEST(PictronOperations, CropKeepsTheRectangleAndWritesClampsBack) {
  auto p = Decoded(200, 100);
  auto original = testing::Copy(*p->State().cDib);
  int16_t x1 = 10, y1 = 20, x2 = 110, y2 = 70;
  p->Crop(x1, y1, x2, y2);
  const cDIBSection& cropped = *p->State().cDib;
  for (int32_t y = 0; y < 50; ++y) {
    for (int32_t x = 0; x < 100; ++x) {
      for (int32_t c = 0; c < 3; ++c)
        ASSERT_EQ(At(cropped, x, y, c), At(*original, x + 10, y + 20, c));
    }
  }

  // Clamped to the whole picture (the clamps written back are geometry.vbs): the same pixels.
  p = Decoded(200, 100, 2);
  const std::vector<testing::Pixel> whole = testing::TopDown(*p->State().cDib);
  x1 = y1 = 0;
  x2 = y2 = 5000;
  p->Crop(x1, y1, x2, y2);
  EXPECT_EQ(testing::TopDown(*p->State().cDib), whole);
}

TEST(PictronOperations, CropChecksInOrderAndChangesNothingOnError) {
  auto p = Decoded(200, 100);
  Snapshot before(*p);
  struct Case {
    int16_t x1, y1, x2, y2;
    int code;
  };
  const Case cases[] = {
      {-1, 0, 10, 10, 1091},   {300, -1, 400, 10, 1090}, {10, 10, 5, 20, 1092},
      {0, 101, 10, 200, 1090}, {201, 0, 300, 10, 1090},  {0, -5, 10, 10, 1091},
      {10, 10, 20, 9, 1092},   {-3, 200, 0, 0, 1090},
  };
  for (const Case& c : cases) {
    int16_t x1 = c.x1, y1 = c.y1, x2 = c.x2, y2 = c.y2;
    EXPECT_EQ(ErrorNumberOf([&] { p->Crop(x1, y1, x2, y2); }), Component(c.code))
        << c.x1 << "," << c.y1 << "," << c.x2 << "," << c.y2;
    EXPECT_EQ(x2, c.x2);
    EXPECT_EQ(y2, c.y2);
    before.ExpectUnchanged(*p);
  }
}

// The sizes of an empty picture cropped, turned, flipped and mirrored are geometry.vbs.
TEST(PictronOperations, AnEmptyCropLeavesAnEmptyPictureThatOthersAccept) {
  auto p = Decoded(200, 100);
  int16_t x1 = 200, y1 = 0, x2 = 300, y2 = 50;
  p->Crop(x1, y1, x2, y2);
  const cDIBSection& empty = *p->State().cDib;
  EXPECT_EQ(empty.dib_width(), 0);
  EXPECT_EQ(empty.dib_height(), 50);
  EXPECT_EQ(empty.DIBSectionBitsPtr(), nullptr);
  // The filters take the empty picture without complaint; so does a crop.
  p->Blur();
  p->Sharpen();
  p->Negative();
  p->GreyScale();
  p->Gamma(2, 2, 2);
  p->RotateRight();
  p->RotateLeft();
  x1 = 0, y1 = 10, x2 = 0, y2 = 20;
  p->Crop(x1, y1, x2, y2);
  EXPECT_EQ(p->width(), 0);
  EXPECT_EQ(p->Height(), 10);
  // There is nothing to resample from.
  int32_t w = 10;
  int32_t h = 10;
  EXPECT_EQ(ErrorNumberOf([&] { p->Resample(w, h); }), Runtime(9));
  EXPECT_EQ(p->width(), 0);
}

TEST(PictronOperations, RotationsFailWholeOverTheLimit) {
  // A rotated buffer over the host's limit is out of memory; nothing changes.
  auto wide = Decoded(300, 2);
  Snapshot before(*wide);
  const uint64_t limit = imaging::MaxPixels();
  imaging::SetMaxPixels(500);
  EXPECT_EQ(ErrorNumberOf([&] { wide->RotateRight(); }), Runtime(7));
  imaging::SetMaxPixels(limit);
  before.ExpectUnchanged(*wide);
}

}  // namespace
}  // namespace corvella::component
