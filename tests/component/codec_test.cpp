// Decoding on demand, saving, SaveBinary, Download and AddImage's file loading, end to end.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "component/component_fixtures.h"
#include "corvella/imaging/pixel_limit.h"
#include "operations/image_fixtures.h"
#include "support/errors.h"

namespace corvella::component {
namespace {

using platform::ByteArray;
using platform::Variant;
using test::GiveImage;
using test::kImages;
using test::Page;
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

  // A new open makes the next step decode the new bytes.
  p.OpenBinary(ByteArray::FromBytes(ReadBytes(kImages / "pngsuite_basn2c16.png")));
  EXPECT_EQ(p.State().blDecoded, 0);
  p.Quality(70);
  EXPECT_EQ(p.State().cDib->dib_width(), 32);
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

}  // namespace
}  // namespace corvella::component
