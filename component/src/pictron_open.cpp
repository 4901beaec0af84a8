// Opening images, format detection and binding to a page.

#include <array>
#include <cstddef>

#include "corvella/platform/checked.h"
#include "corvella/platform/file_system.h"
#include "corvella/platform/text.h"
#include "jpeg_scanner.h"
#include "pictron_internal.h"

namespace corvella::component {

using platform::ByteArray;
using platform::ComponentError;
using platform::Raise;
using platform::RuntimeError;
using platform::Variant;

namespace {

// A signature test: reads every byte of the signature, then compares. Reading first matters for
// short data: a two-byte "BM" fails in the three-byte GIF test with runtime error 9 before the
// BMP test is reached.
template <size_t N>
bool HasSignature(const ByteArray& d, const std::array<uint8_t, N>& signature) {
  std::array<uint8_t, N> bytes;
  for (size_t i = 0; i < N; ++i)
    bytes[i] = d.At(static_cast<int64_t>(i));
  return bytes == signature;
}

constexpr std::array<uint8_t, 2> kJpegSignature = {0xFF, 0xD8};
constexpr std::array<uint8_t, 3> kGifSignature = {0x47, 0x49, 0x46};  // "GIF"
constexpr std::array<uint8_t, 2> kBmpSignature = {0x42, 0x4D};        // "BM"
constexpr std::array<uint8_t, 3> kPngSignature = {0x89, 0x50, 0x4E};  // 0x89 "PN"

// Walks the marker segments from position 2 to the first start-of-frame segment and stores its
// height, then its width. Other segments are skipped by their length field through the object's
// own JPEGSkipVariables, whatever their code.
void ScanJpegSize(Pictron& object) {
  PictronState& s = PictronAccess::State(object);
  const ByteArray& d = s.arImageData;
  int32_t pos = 2;
  while (!IsStartOfFrame(NextMarker(d, pos)))
    object.JPEGSkipVariables(pos);
  // pos designates the frame's length field; lines and samples per line follow the precision.
  using platform::checked::Add32;
  s.lngOriginalHeight = ReadCheckedWord(d, Add32(pos, 3), Add32(pos, 4));
  s.lngOriginalWidth = ReadCheckedWord(d, Add32(pos, 5), Add32(pos, 6));
}

constexpr uint32_t kCoreHeaderSize = 12;  // the OS/2 bitmap core header

uint32_t ReadLittleEndian32(const ByteArray& d, int64_t at) {
  uint32_t value = 0;
  for (int64_t i = 3; i >= 0; --i)
    value = value << 8 | d.At(at + i);
  return value;
}

// A 32-bit side at @p at, in checked 16-bit arithmetic: runtime error 6 unless its upper 16 bits
// are zero and its low 16 bits below 32768, so that no side is reported that is not the image's.
int16_t ReadCheckedSide(const ByteArray& d, int64_t at, bool bigEndian) {
  const int64_t hi = bigEndian ? at : at + 3;
  const int64_t step = bigEndian ? 1 : -1;
  if (d.At(hi) != 0 || d.At(hi + step) != 0) Raise(RuntimeError::Overflow);
  return ReadCheckedWord(d, hi + 2 * step, hi + 3 * step);
}

// Runs one read of the PNG size and answers whether it succeeded; a failed read stores nothing.
template <typename Read>
bool Guarded(Read&& read) {
  try {
    read();
    return true;
  } catch (const platform::Error&) {
    return false;
  }
}

}  // namespace

namespace {

// The page's Server object as a path mapper: its MapPath, late-bound.
class ServerPathMapper final : public PathMapper {
 public:
  explicit ServerPathMapper(const platform::ObjectRef& server) : server_(server) {}
  std::u16string MapPath(std::u16string_view name) const override {
    if (!server_) {
      Raise(RuntimeError::ObjectNotSet,
            "no page is bound to map '" + platform::WideToUtf8(name) + "' through Server.MapPath");
    }
    return platform::CallMethod(server_, u"MapPath", {Variant(name)}).ToBStr();
  }

 private:
  const platform::ObjectRef& server_;
};

}  // namespace

std::u16string MapFileName(Pictron& object, std::u16string_view name) {
  const PictronState& state = PictronAccess::State(object);
  if (state.pathMapper) return PhysicalPath(*state.pathMapper, name);
  return PhysicalPath(ServerPathMapper(state.objServer), name);
}

std::u16string ResolvePath(Pictron& object, std::u16string_view name) {
  if (name.empty()) Raise(ComponentError::EmptyFileName);
  std::u16string path = MapFileName(object, name);
  if (!platform::CreateFileSystem()->FileExists(path)) Raise(ComponentError::FileNotFound);
  return path;
}

void DetectFormat(Pictron& object) {
  PictronState& s = PictronAccess::State(object);
  const ByteArray& d = s.arImageData;
  s.strFormat.clear();
  if (HasSignature(d, kJpegSignature)) {
    s.strFormat = u"JPEG";
    ScanJpegSize(object);
  } else if (HasSignature(d, kGifSignature)) {
    // Logical screen size, little-endian.
    s.strFormat = u"GIF";
    s.lngOriginalWidth = ReadCheckedWord(d, 7, 6);
    s.lngOriginalHeight = ReadCheckedWord(d, 9, 8);
  } else if (HasSignature(d, kBmpSignature)) {
    // The little-endian width and height of the bitmap header. The 12-byte core header holds
    // 16-bit sides at 18 and 20; the longer headers hold 32-bit sides at 18 and 22, whose upper
    // 16 bits must be zero: a top-down bitmap's negative height overflows, as does any side of
    // 32768 pixels or more.
    s.strFormat = u"BMP";
    if (ReadLittleEndian32(d, 14) == kCoreHeaderSize) {
      s.lngOriginalWidth = ReadCheckedWord(d, 19, 18);
      s.lngOriginalHeight = ReadCheckedWord(d, 21, 20);
    } else {
      s.lngOriginalWidth = ReadCheckedSide(d, 18, false);
      s.lngOriginalHeight = ReadCheckedSide(d, 22, false);
    }
  } else if (HasSignature(d, kPngSignature)) {
    // The big-endian IHDR width and height, whose upper 16 bits must be zero. These two reads
    // alone are guarded: a short header or a side of 32768 pixels or more makes the data
    // unsupported rather than an arithmetic error.
    s.strFormat = u"PNG";
    bool widthRead = Guarded([&] { s.lngOriginalWidth = ReadCheckedSide(d, 16, true); });
    bool heightRead = Guarded([&] { s.lngOriginalHeight = ReadCheckedSide(d, 20, true); });
    if (!widthRead || !heightRead) {
      s.strFormat.clear();
      Raise(ComponentError::FormatNotSupported);
    }
  }
  if (s.strFormat.empty()) Raise(ComponentError::FormatNotSupported);
  s.lngWidth = s.lngOriginalWidth;
  s.lngHeight = s.lngOriginalHeight;
  // Index 0 is the first byte of the image, so the image has upper bound + 1 bytes (all of a
  // zero-based array; a caller's array may hold elements below index 0, which are not counted).
  s.lngOriginalSize = platform::checked::Add32(d.UBound(), 1);
  s.lngSize = s.lngOriginalSize;
}

std::span<const uint8_t> ImageBytes(const ByteArray& data) {
  const int64_t first = -static_cast<int64_t>(data.LBound());  // the element at index 0
  // Index 0 lies beyond either end: a lower bound above 0, or a whole array below index 0 (its
  // last element at -1 leaves the image empty).
  if (first < 0 || first > static_cast<int64_t>(data.Size())) {
    Raise(RuntimeError::SubscriptOutOfRange);
  }
  return data.Bytes().subspan(static_cast<size_t>(first));
}

void Pictron::OnStartPage(const platform::ObjectRef& PassedScriptingContext) {
  AtBoundary([&] {
    // Keep a reference of our own first: the argument may be one of the fields replaced below.
    platform::ObjectRef context = PassedScriptingContext;
    state_.objScriptingContext = context;
    state_.objResponse = platform::GetProperty(context, u"Response").ToObject();
    state_.objServer = platform::GetProperty(context, u"Server").ToObject();
  });
}

Variant Pictron::OnEndPage() {
  return AtBoundary([&] {
    state_.objResponse.reset();
    state_.objServer.reset();
    state_.objScriptingContext.reset();
    return Variant();
  });
}

void Pictron::OpenFile(const std::u16string& strFilePathName) {
  AtBoundary([&] {
    state_.blDecoded = platform::kVbFalse;
    std::u16string path = ResolvePath(*this, strFilePathName);
    // Read straight into the array that becomes arImageData: one allocation, no copy.
    ByteArray bytes = platform::CreateFileSystem()->ReadAll(path);
    if (bytes.Size() == 0) {
      Raise(RuntimeError::SubscriptOutOfRange,
            "the file '" + platform::WideToUtf8(path) + "' is empty");
    }
    state_.arImageData = std::move(bytes);
    state_.strFilePath = std::move(path);
    DetectFormat(*this);
  });
}

void Pictron::OpenBinary(const ByteArray& arImage) {
  AtBoundary([&] {
    state_.blDecoded = platform::kVbFalse;
    state_.arImageData = arImage;  // element for element, with the caller's bounds
    DetectFormat(*this);
  });
}

void Pictron::JPEGSkipVariables(int32_t& lngPos) {
  AtBoundary([&] { SkipSegment(state_.arImageData, lngPos); });
}

}  // namespace corvella::component
