// Opening images, format detection, the JPEG header walk (with the segment skip against a plain
// byte walk) and the page binding.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "component/component_fixtures.h"
#include "jpeg_scanner.h"
#include "support/errors.h"

namespace corvella::component {
namespace {

using platform::ByteArray;
using platform::ObjectRef;
using platform::Variant;
using test::Wide;
using testing::Component;
using testing::ErrorNumberOf;
using testing::ErrorOf;
using testing::Runtime;
using testing::TempFolder;
using Bytes = std::vector<uint8_t>;

// Builds JPEG headers segment by segment.
class Jpeg {
 public:
  Jpeg() : bytes_{0xFF, 0xD8} {}
  Jpeg& Segment(uint8_t code, const Bytes& content) {
    size_t length = content.size() + 2;
    Raw({0xFF, code, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length & 0xFF)});
    return Raw(content);
  }
  Jpeg& Raw(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  // APP0 "JFIF", length 16.
  Jpeg& App0() { return Segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0}); }
  // One quantisation table, length 67.
  Jpeg& Dqt() {
    Bytes table(65, 1);
    table[0] = 0;
    return Segment(0xDB, table);
  }
  // A Huffman table whose first bytes would read as a size of 0x1234 x 0x5678 if the segment
  // were taken for a frame.
  Jpeg& Dht() { return Segment(0xC4, {0x00, 0x12, 0x34, 0x56, 0x78, 0, 0, 0, 0, 0, 0, 0, 0}); }
  Jpeg& Frame(uint8_t code, uint16_t height, uint16_t width) {
    return Segment(code,
                   {8, static_cast<uint8_t>(height >> 8), static_cast<uint8_t>(height),
                    static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(width), 1, 1, 0x11, 0});
  }
  // Start of scan, some entropy-coded bytes (with a stuffed 0xFF 0x00) and the end marker.
  Jpeg& Tail() {
    Segment(0xDA, {1, 1, 0, 0, 63, 0});
    return Raw({0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD9});
  }
  Bytes Get() const { return bytes_; }

 private:
  Bytes bytes_;
};

Bytes Jfif(uint16_t height, uint16_t width, uint8_t frameCode = 0xC0) {
  return Jpeg().App0().Dqt().Frame(frameCode, height, width).Tail().Get();
}

void OpenBytes(Pictron& p, const Bytes& bytes, int32_t lowerBound = 0) {
  p.OpenBinary(ByteArray::FromBytes(bytes, lowerBound));
}

int32_t OpenError(Pictron& p, const Bytes& bytes) {
  return ErrorNumberOf([&] { OpenBytes(p, bytes); });
}

// The original width and height that opening @p bytes reads.
using Sized = std::pair<int32_t, int32_t>;
Sized SizeOf(const Bytes& bytes) {
  Pictron p;
  OpenBytes(p, bytes);
  return {p.OriginalWidth(), p.OriginalHeight()};
}

TEST(OpenBinary, HeaderExamplesAndSignatureOrder) {
  // GIF whose bytes 6 to 9 are 40 01 C8 00: 320 x 200.
  Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 0x40, 0x01, 0xC8, 0x00, 0, 0};
  EXPECT_EQ(SizeOf(gif), (Sized{320, 200}));
  // PNG whose bytes 16 to 23 are 00 00 03 20 00 00 02 58: 800 x 600.
  Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0,    0,    0,    13,
               'I',  'H', 'D', 'R', 0x00, 0x00, 0x03, 0x20, 0x00, 0x00, 0x02, 0x58};
  EXPECT_EQ(SizeOf(png), (Sized{800, 600}));
  // BMP: the little-endian width and height of the bitmap header; the 12-byte core header holds
  // 16-bit sides at 18 and 20.
  Bytes bmp(54, 0);
  bmp[0] = 'B', bmp[1] = 'M', bmp[14] = 40, bmp[18] = 0x20, bmp[19] = 0x03, bmp[22] = 0x58,
  bmp[23] = 0x02;
  EXPECT_EQ(SizeOf(bmp), (Sized{800, 600}));
  Bytes core = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 26, 0, 0, 0, 12, 0, 0, 0, 127, 0, 64, 0, 1, 0};
  EXPECT_EQ(SizeOf(core), (Sized{127, 64}));

  Pictron p;
  EXPECT_EQ(OpenError(p, {'h', 'e', 'l', 'l', 'o'}), Component(1010));
  EXPECT_EQ(OpenError(p, {'B', 'M'}), Runtime(9));  // the GIF test reads a third byte first
  EXPECT_EQ(OpenError(p, {'G', 'I'}), Runtime(9));
  EXPECT_EQ(OpenError(p, {0xFF}), Runtime(9));
  EXPECT_EQ(OpenError(p, {}), Runtime(9));
  EXPECT_EQ(ErrorNumberOf([&] { p.OpenBinary(ByteArray()); }), Runtime(9));
  EXPECT_EQ(OpenError(p, {'G', 'I', 'F', '8', '9', 'a', 0x40, 0x01, 0xC8}), Runtime(9));
  EXPECT_EQ(OpenError(p, Bytes{'B', 'M', 0, 0}), Runtime(9));
  // Sizes with a high byte of 0x80 or more overflow: 32768 wide, or a top-down bitmap.
  EXPECT_EQ(OpenError(p, {'G', 'I', 'F', '8', '9', 'a', 0x00, 0x80, 0x01, 0x00}), Runtime(6));
  // A side that does not fit 16 bits is never reported by its low bits: 6 for a BMP, 1010 for
  // a PNG (70000 pixels), whichever byte above the low 16 bits is set.
  for (size_t at : {size_t{19}, size_t{20}, size_t{21}, size_t{24}, size_t{25}}) {
    Bytes wideBmp = bmp;
    wideBmp[at] = at == 19 ? 0x80 : 0x01;
    EXPECT_EQ(OpenError(p, wideBmp), Runtime(6)) << at;
  }
  Bytes wideCore = core;
  wideCore[21] = 0x80;
  EXPECT_EQ(OpenError(p, wideCore), Runtime(6));
  EXPECT_EQ(OpenError(p, Bytes(bmp.begin(), bmp.begin() + 25)), Runtime(9));
  for (size_t at : {size_t{16}, size_t{17}, size_t{20}, size_t{21}}) {
    Bytes widePng = png;
    widePng[at] = 0x01;
    EXPECT_EQ(OpenError(p, widePng), Component(1010)) << at;
  }
  // A top-down bitmap (a negative height) is the acceptance script open_formats.vbs.

  // The signature decides, not the name: JPEG bytes in a file named .bmp open as JPEG.
  TempFolder folder;
  auto misnamed = folder.Write("photo.bmp", Jfif(480, 640));
  p.OpenFile(Wide(folder.Path()) + u"\\photo.bmp");
  EXPECT_EQ(p.State().strFormat, u"JPEG");
  EXPECT_EQ(p.width(), 640);
}

TEST(OpenBinary, PngSizeReadsAreGuarded) {
  Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0,    0,    0,    13,
               'I',  'H', 'D', 'R', 0x00, 0x00, 0x03, 0x20, 0x00, 0x00, 0x02, 0x58};
  Pictron p;
  OpenBytes(p, Jfif(100, 200));
  // 20 bytes: 1010 (not runtime error 9) and the format empty. The width (bytes 18 and 19) was
  // read; the current sizes stay those of the earlier image.
  EXPECT_EQ(OpenError(p, Bytes(png.begin(), png.begin() + 20)), Component(1010));
  EXPECT_EQ(p.State().strFormat, u"");
  EXPECT_EQ(p.OriginalWidth(), 800);
  EXPECT_EQ(p.OriginalHeight(), 100);
  EXPECT_EQ(p.width(), 200);
  // A width that overflows does not stop the height read, which is stored.
  OpenBytes(p, Jfif(100, 200));
  Bytes wide = png;
  wide[18] = 0x80;
  EXPECT_EQ(OpenError(p, wide), Component(1010));
  EXPECT_EQ(p.OriginalWidth(), 200);
  EXPECT_EQ(p.OriginalHeight(), 600);
  EXPECT_EQ(p.Height(), 100);
  Bytes tall = png;
  tall[22] = 0xFF;
  EXPECT_EQ(OpenError(p, tall), Component(1010));
  EXPECT_EQ(p.OriginalWidth(), 800);
  EXPECT_EQ(p.width(), 200);
  EXPECT_EQ(p.State().strFormat, u"");
}

TEST(OpenBinary, JpegFramesAreFoundBehindOtherSegments) {
  EXPECT_EQ(SizeOf(Jfif(480, 640)), (Sized{640, 480}));
  EXPECT_EQ(SizeOf(Jfif(480, 640, 0xC2)), (Sized{640, 480}));  // progressive
  EXPECT_EQ(SizeOf(Jfif(480, 640, 0xC3)), (Sized{640, 480}));  // lossless
  EXPECT_EQ(SizeOf(Jfif(7, 9, 0xCF)), (Sized{9, 7}));
  // DHT (0xC4) and the codes 0xC8 and 0xCC are skipped, not taken as frames.
  EXPECT_EQ(SizeOf(Jpeg().App0().Dht().Frame(0xC0, 480, 640).Tail().Get()), (Sized{640, 480}));
  EXPECT_EQ(SizeOf(Jpeg().Segment(0xC8, {0, 0x12, 0x34, 0x56, 0x78}).Frame(0xC1, 1, 2).Get()),
            (Sized{2, 1}));
  EXPECT_EQ(SizeOf(Jpeg().Segment(0xCC, {0, 0x12, 0x34, 0x56, 0x78}).Frame(0xC1, 1, 2).Get()),
            (Sized{2, 1}));
  // Fill bytes before a marker, and stray bytes between two segments.
  EXPECT_EQ(SizeOf(Jpeg().App0().Raw({0xFF, 0xFF}).Frame(0xC0, 480, 640).Get()), (Sized{640, 480}));
  EXPECT_EQ(SizeOf(Jpeg().App0().Raw({0x00, 0x12, 0x34}).Dqt().Frame(0xC0, 3, 4).Get()),
            (Sized{4, 3}));
  // A marker without a length field still has its next two bytes taken as one.
  EXPECT_EQ(SizeOf(Jpeg().Raw({0xFF, 0x01, 0x00, 0x02}).Frame(0xC0, 3, 4).Get()), (Sized{4, 3}));
  // A height of 0 is stored as it is.
  EXPECT_EQ(SizeOf(Jfif(0, 640)), (Sized{640, 0}));
  EXPECT_EQ(SizeOf(Jfif(32767, 32767)), (Sized{32767, 32767}));
  // Positions are indices: an array whose index 0 is its third element.
  Pictron p;
  Bytes shifted = Jfif(48, 64);
  shifted.insert(shifted.begin(), {0xAA, 0xBB});
  OpenBytes(p, shifted, -2);
  EXPECT_EQ(p.width(), 64);
  EXPECT_EQ(p.State().arImageData.LBound(), -2);
  EXPECT_EQ(p.OriginalSize(), static_cast<int32_t>(shifted.size()) - 2);  // from index 0 on
  // An array starting at index 1 has no index 0.
  EXPECT_EQ(ErrorNumberOf([&] { OpenBytes(p, Jfif(48, 64), 1); }), Runtime(9));
}

TEST(OpenBinary, JpegHeaderErrors) {
  Pictron p;
  OpenBytes(p, Jfif(100, 200));
  const int32_t size = p.OriginalSize();
  auto expectOldSizes = [&] {
    EXPECT_EQ(p.width(), 200);
    EXPECT_EQ(p.Height(), 100);
    EXPECT_EQ(p.OriginalSize(), size);
    EXPECT_EQ(p.Size(), size);
    EXPECT_EQ(p.State().strFormat, u"JPEG");
  };
  EXPECT_EQ(OpenError(p, {0xFF, 0xD8}), Component(1120));
  EXPECT_EQ(OpenError(p, {0xFF, 0xD8, 0xFF}), Component(1120));
  expectOldSizes();
  // Segment lengths of 1 and 0.
  EXPECT_EQ(OpenError(p, {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01, 0, 0, 0, 0}), Component(1150));
  EXPECT_EQ(OpenError(p, {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x00, 0, 0, 0, 0}), Component(1150));
  // Files cut inside a segment before the frame: inside APP0, inside DQT, inside a length.
  Bytes full = Jfif(480, 640);
  for (size_t cut : {10u, 30u, 21u, 22u, 25u + 67u}) {
    EXPECT_EQ(OpenError(p, Bytes(full.begin(), full.begin() + cut)), Component(1160)) << cut;
  }
  expectOldSizes();
  // Frame fields beyond the data.
  Bytes shortFrame = Jpeg().App0().Raw({0xFF, 0xC0, 0x00, 0x11, 0x08, 0x01, 0xE0, 0x02}).Get();
  EXPECT_EQ(OpenError(p, shortFrame), Runtime(9));
  EXPECT_EQ(p.OriginalHeight(), 480);  // the height was read before the width failed
  // A width of 40000 overflows after the height was stored.
  EXPECT_EQ(OpenError(p, Jfif(480, 40000)), Runtime(6));
  EXPECT_EQ(p.OriginalHeight(), 480);
  EXPECT_EQ(p.OriginalWidth(), 200);
  EXPECT_EQ(OpenError(p, Jfif(40000, 640)), Runtime(6));
  expectOldSizes();
  // The failed opens replaced the bytes and left the image undecoded.
  EXPECT_EQ(p.State().arImageData, ByteArray::FromBytes(Jfif(40000, 640)));
  EXPECT_EQ(p.State().blDecoded, platform::kVbFalse);
}

// SkipSegment as a plain walk, byte by byte through NextByte: the independent reference.
void ReferenceSkip(const ByteArray& d, int32_t& pos) {
  int32_t length = ReadWord(d, pos);
  if (length < 2) platform::Raise(platform::ComponentError::MarkerLength);
  for (int32_t i = 0; i < length - 2; ++i)
    NextByte(d, pos);
}

// The member JPEGSkipVariables over a real file is the acceptance script members.vbs.
TEST(JpegScanner, SkipSegmentMatchesTheByteWalkEverywhere) {
  // Every start position and every length field over a small array, both lower bounds.
  for (int32_t lowerBound : {0, -3}) {
    for (int length = 0; length < 14; ++length) {
      for (size_t start = 0; start + 1 < 12; ++start) {
        Bytes data(12, 0x11);
        data[start] = 0;
        data[start + 1] = static_cast<uint8_t>(length);
        ByteArray d = ByteArray::FromBytes(data, lowerBound);
        int32_t expected = static_cast<int32_t>(start) + lowerBound;
        int32_t actual = expected;
        int32_t expectedError = ErrorNumberOf([&] { ReferenceSkip(d, expected); });
        EXPECT_EQ(ErrorNumberOf([&] { SkipSegment(d, actual); }), expectedError)
            << "length " << length << " start " << start;
        EXPECT_EQ(actual, expected) << "length " << length << " start " << start;
      }
    }
  }
  // Lengths of 0 and 1: 1150 with the position past the length field.
  ByteArray d = ByteArray::FromBytes(Bytes{0x00, 0x01, 0x00, 0x00, 0x00, 0x00});
  int32_t pos = 0;
  EXPECT_EQ(ErrorNumberOf([&] { SkipSegment(d, pos); }), Component(1150));
  EXPECT_EQ(pos, 2);
  // A large length near the end of the array: no overflow, 1160 at L.
  ByteArray big = ByteArray::FromBytes(Bytes{0xFF, 0xFF, 0x00, 0x00, 0x00});
  pos = 0;
  EXPECT_EQ(ErrorNumberOf([&] { SkipSegment(big, pos); }), Component(1160));
  EXPECT_EQ(pos, 4);
}

TEST(OpenFile, FailuresLeaveWhatWasDoneBefore) {
  TempFolder folder;
  auto site = folder.Path();
  folder.Write("pics/a.jpg", Jfif(100, 200));
  folder.Write("pics/empty.jpg", {});
  folder.Write("pics/text.jpg", {'h', 'e', 'l', 'l', 'o'});
  auto page = std::make_shared<host::PageContext>(Wide(site), u"/pics/page.asp");
  Pictron p;
  PictronState& s = PictronAccess::State(p);

  // Without a page: an empty name is 1000, a name without a backslash 91 (both numbers are the
  // acceptance scripts open_formats.vbs and members.vbs).
  s.blDecoded = platform::kVbTrue;
  EXPECT_EQ(ErrorNumberOf([&] { p.OpenFile(u""); }), Component(1000));
  EXPECT_EQ(s.blDecoded, platform::kVbFalse);
  auto unbound = ErrorOf([&] { p.OpenFile(u"a.jpg"); });
  ASSERT_TRUE(unbound);
  EXPECT_EQ(unbound->Detail(), "no page is bound to map 'a.jpg' through Server.MapPath");

  p.OnStartPage(page);
  p.OpenFile(u"a.jpg");
  const std::u16string firstPath = test::Physical(site / "pics" / "a.jpg");
  EXPECT_EQ(s.strFilePath, firstPath);
  const ByteArray firstBytes = s.arImageData;

  // Missing files, blanks (not empty), folders and escapes: nothing but blDecoded changes. The
  // ways out of the site are the host's test; here, that the error is the object's.
  s.blDecoded = platform::kVbTrue;
  EXPECT_EQ(ErrorNumberOf([&] { p.OpenFile(u"missing.jpg"); }), Component(1030));
  EXPECT_EQ(s.blDecoded, platform::kVbFalse);
  EXPECT_EQ(ErrorNumberOf([&] { p.OpenFile(u"   "); }), Component(1030));
  EXPECT_EQ(ErrorNumberOf([&] { p.OpenFile(Wide(site) + u"\\pics"); }), Component(1030));
  auto escape = ErrorOf([&] { p.OpenFile(u"../../../etc/passwd"); });
  ASSERT_TRUE(escape);
  EXPECT_EQ(escape->Number(), Runtime(5));
  EXPECT_EQ(escape->Source(), "Corvella.Pictron");
  // A file of 0 bytes: runtime error 9 before the bytes are replaced.
  EXPECT_EQ(ErrorNumberOf([&] { p.OpenFile(u"empty.jpg"); }), Runtime(9));
  EXPECT_EQ(s.arImageData, firstBytes);
  EXPECT_EQ(s.strFilePath, firstPath);

  // No recognised signature: the bytes and the path are new; the sizes stay the earlier ones
  // (open_formats.vbs).
  EXPECT_EQ(ErrorNumberOf([&] { p.OpenFile(u"text.jpg"); }), Component(1010));
  EXPECT_EQ(s.strFilePath, test::Physical(site / "pics" / "text.jpg"));
  EXPECT_EQ(s.arImageData.Size(), 5u);
  EXPECT_EQ(s.strFormat, u"");

  // OpenBinary keeps the path of the last OpenFile.
  OpenBytes(p, Jfif(5, 6));
  EXPECT_EQ(s.strFilePath, test::Physical(site / "pics" / "text.jpg"));
  EXPECT_EQ(p.width(), 6);
}

// A scripting context that has a Response but no Server.
class HalfContext final : public platform::Dispatchable {
 public:
  platform::DispId GetIdOfName(std::u16string_view name) const override {
    return platform::EqualsNoCase(name, "Response") ? 1 : platform::kDispIdUnknown;
  }
  Variant Invoke(platform::DispId, platform::InvokeKind, std::span<Variant>) override {
    return ObjectRef(response);
  }
  std::shared_ptr<host::PageResponse> response = std::make_shared<host::PageResponse>();
};

TEST(OnStartPage, KeepsThePageObjectsUntilOnEndPage) {
  TempFolder folder;
  auto page = test::Page(folder).context;
  Pictron p;
  const PictronState& s = p.State();
  p.OnStartPage(page);
  EXPECT_EQ(s.objScriptingContext, ObjectRef(page));
  EXPECT_EQ(s.objResponse, ObjectRef(page->Response()));
  EXPECT_EQ(s.objServer, ObjectRef(page->Server()));

  // A second page replaces all three.
  auto other = test::Page(folder).context;
  p.OnStartPage(other);
  EXPECT_EQ(s.objServer, ObjectRef(other->Server()));

  p.OnEndPage();
  EXPECT_FALSE(s.objScriptingContext);
  EXPECT_FALSE(s.objResponse);
  EXPECT_FALSE(s.objServer);
  EXPECT_EQ(ErrorNumberOf([&] { p.OpenFile(u"/images/egret_600x450.jpg"); }), Runtime(91));

  // A context that is none: stored, then runtime error 91 at the first property read.
  p.OnStartPage(page);
  EXPECT_EQ(ErrorNumberOf([&] { p.OnStartPage(nullptr); }), Runtime(91));
  EXPECT_FALSE(s.objScriptingContext);
  EXPECT_EQ(s.objResponse, ObjectRef(page->Response()));
  // A context without a Server: the Response is kept, the error passes through.
  auto half = std::make_shared<HalfContext>();
  EXPECT_EQ(ErrorNumberOf([&] { p.OnStartPage(half); }), Runtime(438));
  EXPECT_EQ(s.objResponse, ObjectRef(half->response));
  EXPECT_EQ(s.objServer, ObjectRef(page->Server()));
}

}  // namespace
}  // namespace corvella::component
