// Hostile uploads, end to end: every file below tests/crashers/ (the hand-made corpus in
// hostile/ and every fuzz target's regression files), every real test image cut at many
// offsets, and the real images with each JPEG segment length, PNG chunk length and BMP or GIF
// header field replaced by absurd values. Each goes through OpenBinary, a decoding operation
// (Negative) and SaveBinary, as a page would handle an upload, with a host pixel limit of
// 1 megapixel. Every step answers or raises one of the errors documented for it; a saved stream
// is the opened bytes unchanged or a JPEG of the working image.
//
// Outside sanitizer builds each group runs in a child process whose address space is capped a
// little above what the process already uses, which shows that nothing was allocated beyond
// what the pixel limit allows: a refused 32767 x 32767 picture would need 3 GB.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "component/component_fixtures.h"
#include "corvella/codec/jpeg_codec.h"
#include "corvella/imaging/pixel_limit.h"
#include "corvella/platform/byte_array.h"
#include "corvella/platform/text.h"
#include "support/errors.h"
#include "support/temp_folder.h"

namespace corvella::component {
namespace {

using platform::ByteArray;
using platform::Variant;
using testing::Component;
using testing::Runtime;
using Bytes = std::vector<uint8_t>;
using test::kImages;

const std::filesystem::path kCrashers =
    std::filesystem::path(CORVELLA_SOURCE_DIR) / "tests" / "crashers";

constexpr uint64_t kPixelLimit = 1u << 20;

struct Input {
  std::string label;
  Bytes bytes;
};

// The documented answers of each step to bad data.
const int32_t kOpenErrors[] = {Component(1010), Component(1120), Component(1150),
                               Component(1160), Runtime(6),      Runtime(9)};
const int32_t kDecodeErrors[] = {Component(1110), Component(1120), Runtime(7), Runtime(9),
                                 Runtime(481)};
const int32_t kSaveErrors[] = {Component(1140), Runtime(9)};

template <size_t N>
bool OneOf(int32_t number, const int32_t (&numbers)[N]) {
  return std::find(std::begin(numbers), std::end(numbers), number) != std::end(numbers);
}

// Runs one step and answers a complaint when it raised anything but a documented error.
template <size_t N, typename Body>
std::string Step(const char* what, const int32_t (&allowed)[N], Body&& body) {
  try {
    body();
  } catch (const platform::Error& error) {
    if (OneOf(error.Number(), allowed) &&
        (error.Source() == "Corvella.Pictron" || error.Source() == "Ferrowick.File")) {
      return {};
    }
    char number[16];
    std::snprintf(number, sizeof number, "%08X", static_cast<uint32_t>(error.Number()));
    return std::string(what) + " raised " + number + " '" + error.Description() + "'";
  }
  return {};
}

// The job of a page with an upload: open, decode through an operation, save to a byte array.
// Answers what went wrong, or an empty string.
std::string RunJob(const Bytes& bytes) {
  Pictron p;
  std::string fault =
      Step("OpenBinary", kOpenErrors, [&] { p.OpenBinary(ByteArray::FromBytes(bytes)); });
  if (fault.empty()) fault = Step("Negative", kDecodeErrors, [&] { p.Negative(); });
  Variant saved;
  bool savedOk = false;
  if (fault.empty()) {
    fault = Step("SaveBinary", kSaveErrors, [&] {
      p.SaveBinary(saved);
      savedOk = true;
    });
  }
  if (!fault.empty() || !savedOk) return fault;
  const auto& s = p.State();
  std::span<const uint8_t> out = saved.AsByteArray().Bytes();
  if (s.blDecoded == 0) {
    // Not decoded (refused over the pixel limit, or a decoder error): the opened bytes.
    if (!std::equal(out.begin(), out.end(), bytes.begin(), bytes.end())) {
      return "SaveBinary changed undecoded bytes";
    }
    return {};
  }
  codec::JpegParams params;
  if (!codec::ReadJpegParams(out, params).Ok()) return "SaveBinary made an unreadable stream";
  if (!s.cDib || params.width != s.cDib->dib_width() || params.height != s.cDib->dib_height()) {
    return "SaveBinary made a stream of another size";
  }
  return {};
}

// Runs every input and answers the number of faults, each printed to the standard output (which a
// child process shares with the test's own output).
int RunJobs(const std::vector<Input>& inputs) {
  int faults = 0;
  for (const Input& input : inputs) {
    std::string fault = RunJob(input.bytes);
    if (!fault.empty()) {
      std::printf("%s: %s\n", input.label.c_str(), fault.c_str());
      std::fflush(stdout);
      ++faults;
    }
  }
  return faults;
}

// Runs the inputs with the pixel limit set: in a child process with a capped address space where
// that is possible, else here.
void ExpectDocumentedAnswers(const std::vector<Input>& inputs) {
  ASSERT_FALSE(inputs.empty());
  const uint64_t savedLimit = imaging::MaxPixels();
  imaging::SetMaxPixels(kPixelLimit);
#if defined(CORVELLA_CAP_ADDRESS_SPACE)
  // 128 MB above what the process holds: far below any picture over the limit, well above what
  // a 1-megapixel job needs (its buffers, libjpeg's tables, the encoded streams).
  EXPECT_EXIT(
      {
        test::CapAddressSpace(size_t{128} << 20);
        std::exit(RunJobs(inputs) == 0 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
#else
  EXPECT_EQ(RunJobs(inputs), 0);
#endif
  imaging::SetMaxPixels(savedLimit);
}

// The real test images, SOURCES.md aside.
std::vector<std::filesystem::path> RealImages() {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(kImages)) {
    if (entry.path().extension() != ".md") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string Name(const std::filesystem::path& file) {
  return file.filename().string();
}

void PutBigEndian32(Bytes& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

void PutLittleEndian(Bytes& bytes, size_t at, uint32_t value, int size) {
  for (int i = 0; i < size; ++i)
    bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

TEST(HostileInput, EveryCrasherFileGivesADocumentedAnswer) {
  std::vector<Input> inputs;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(kCrashers)) {
    if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
    inputs.push_back({std::filesystem::relative(entry.path(), kCrashers).string(),
                      testing::ReadBytes(entry.path())});
  }
  // The hand-made corpus is there, with every format's largest and zero sizes.
  EXPECT_GE(inputs.size(), 150u);
  for (const char* name :
       {"hostile/jpeg_declares_65535x65535.jpg", "hostile/png_zero_0x0.png",
        "hostile/gif_lzw_table_overflow.gif", "hostile/bmp_height_int_min.bmp"}) {
    EXPECT_TRUE(std::any_of(inputs.begin(), inputs.end(), [&](const Input& input) {
      return input.label == name;
    })) << name;
  }
  ExpectDocumentedAnswers(inputs);
}

// Every offset of the first 128 bytes (headers, tables, the start of the data), then 16 cuts
// spread over the rest.
TEST(HostileInput, EveryFormatCutShortAtManyOffsets) {
  std::vector<Input> inputs;
  for (const auto& file : RealImages()) {
    const Bytes bytes = testing::ReadBytes(file);
    std::vector<size_t> cuts;
    for (size_t i = 0; i < bytes.size() && i < 128; ++i)
      cuts.push_back(i);
    for (size_t k = 1; k <= 16 && bytes.size() > 128; ++k)
      cuts.push_back(128 + (bytes.size() - 128) * k / 17);
    for (size_t cut : cuts)
      inputs.push_back({Name(file) + " cut at " + std::to_string(cut),
                        Bytes(bytes.begin(), bytes.begin() + cut)});
  }
  ExpectDocumentedAnswers(inputs);
}

// Each marker segment before the scan, its length field replaced by values below 2, off by one
// either way, far beyond the data and the largest one.
TEST(HostileInput, EveryJpegSegmentLengthIsWrong) {
  std::vector<Input> inputs;
  for (const char* name : {"egret_600x450.jpg", "dragonfly_4224x3168_prog.jpg"}) {
    const Bytes bytes = testing::ReadBytes(kImages / name);
    size_t segments = 0;
    for (size_t pos = 2; pos + 4 <= bytes.size() && bytes[pos] == 0xFF;) {
      const uint8_t marker = bytes[pos + 1];
      const uint32_t length = bytes[pos + 2] << 8 | bytes[pos + 3];
      ++segments;
      for (uint32_t wrong : {0u, 1u, 2u, length - 1, length + 1, length + 0x100, 0xFFFFu}) {
        Bytes changed = bytes;
        changed[pos + 2] = static_cast<uint8_t>(wrong >> 8);
        changed[pos + 3] = static_cast<uint8_t>(wrong);
        inputs.push_back({std::string(name) + " segment FF" + std::to_string(marker) + " at " +
                              std::to_string(pos) + " length " + std::to_string(wrong),
                          std::move(changed)});
      }
      if (marker == 0xDA) break;
      pos += 2 + length;
    }
    EXPECT_GE(segments, 4u) << name;
  }
  ExpectDocumentedAnswers(inputs);
}

// CRC-32 of PNG chunks, written out here as an independent check of the data we build.
uint32_t Crc32(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k)
      crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

// Each chunk's length field replaced by absurd values, as they stand (the CRC no longer
// matches), and also with the chunk cut or grown by one byte under a CRC that matches, so that
// the reader gets past the CRC test.
TEST(HostileInput, EveryPngChunkLengthIsWrong) {
  std::vector<Input> inputs;
  for (const char* name : {"horse_rgba_400x328.png", "green_palette_320x240.png",
                           "pngsuite_basi2c08.png", "pngsuite_basn3p04.png"}) {
    const Bytes bytes = testing::ReadBytes(kImages / name);
    size_t chunks = 0;
    for (size_t pos = 8; pos + 12 <= bytes.size();) {
      const uint32_t length =
          uint32_t{bytes[pos]} << 24 | bytes[pos + 1] << 16 | bytes[pos + 2] << 8 | bytes[pos + 3];
      const std::string type(bytes.begin() + pos + 4, bytes.begin() + pos + 8);
      const std::string label =
          std::string(name) + " chunk " + type + " at " + std::to_string(pos) + " length ";
      ++chunks;
      for (uint32_t wrong : {0u, length - 1, length + 1, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
        Bytes changed = bytes;
        PutBigEndian32(changed, pos, wrong);
        inputs.push_back({label + std::to_string(wrong), std::move(changed)});
      }
      if (length > 0 && pos + 12 + length <= bytes.size()) {
        for (int delta : {-1, 1}) {
          const uint32_t newLength = length + delta;
          Bytes changed(bytes.begin(), bytes.begin() + pos);
          changed.resize(changed.size() + 4);
          PutBigEndian32(changed, pos, newLength);
          changed.insert(changed.end(), bytes.begin() + pos + 4,
                         bytes.begin() + pos + 8 + std::min(length, newLength));
          if (delta > 0) changed.push_back(0);
          const uint32_t crc = Crc32(changed.data() + pos + 4, newLength + 4);
          changed.resize(changed.size() + 4);
          PutBigEndian32(changed, changed.size() - 4, crc);
          changed.insert(changed.end(), bytes.begin() + pos + 12 + length, bytes.end());
          inputs.push_back(
              {label + std::to_string(newLength) + " with its CRC", std::move(changed)});
        }
      }
      if (length > bytes.size()) break;
      pos += 12 + length;
    }
    EXPECT_GE(chunks, 3u) << name;
  }
  ExpectDocumentedAnswers(inputs);
}

// A header field of a BMP or GIF replaced by values at and beyond the ends of its range.
struct Field {
  const char* name;
  size_t offset;
  int size;  // bytes, little-endian
};

void AddFieldVariants(std::vector<Input>& inputs, const char* file,
                      std::initializer_list<Field> fields, std::initializer_list<uint32_t> values) {
  const Bytes bytes = testing::ReadBytes(kImages / file);
  for (const Field& field : fields) {
    for (uint32_t value : values) {
      Bytes changed = bytes;
      PutLittleEndian(changed, field.offset, value, field.size);
      inputs.push_back({std::string(file) + " " + field.name + " = " + std::to_string(value),
                        std::move(changed)});
    }
  }
}

TEST(HostileInput, BmpHeadersWithAbsurdSizesOffsetsAndBitCounts) {
  std::vector<Input> inputs;
  const std::initializer_list<uint32_t> values = {0,      1,          7,          0x7FFF,
                                                  0x8000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
  const std::initializer_list<Field> fields = {
      {"file size", 2, 4},   {"data offset", 10, 4}, {"header size", 14, 4}, {"width", 18, 4},
      {"height", 22, 4},     {"planes", 26, 2},      {"bit count", 28, 2},   {"compression", 30, 4},
      {"image size", 34, 4}, {"colours used", 46, 4}};
  AddFieldVariants(inputs, "snake_8bit_pal_600x450.bmp", fields, values);
  AddFieldVariants(inputs, "snake_24bit_topdown_600x450.bmp", fields, values);
  ExpectDocumentedAnswers(inputs);
}

TEST(HostileInput, GifHeadersWithAbsurdSizesAndCodeSizes) {
  std::vector<Input> inputs;
  // Fields of the screen, of the first image descriptor and its LZW code size; the files have
  // their first image descriptor at a known place (after the global table, before any
  // extension for snake_600x450.gif).
  const Bytes snake = testing::ReadBytes(kImages / "snake_600x450.gif");
  const size_t table = size_t{3} << ((snake[10] & 7) + 1);
  size_t desc = 13 + table;
  while (desc < snake.size() && snake[desc] == 0x21) {  // skip extensions
    size_t pos = desc + 2;
    while (pos < snake.size() && snake[pos] != 0)
      pos += snake[pos] + 1;
    desc = pos + 1;
  }
  ASSERT_LT(desc + 10, snake.size());
  ASSERT_EQ(snake[desc], 0x2C);
  const std::initializer_list<uint32_t> values = {0, 1, 0x7FFF, 0x8000, 0xFFFF};
  AddFieldVariants(inputs, "snake_600x450.gif",
                   {{"screen width", 6, 2},
                    {"screen height", 8, 2},
                    {"frame left", desc + 1, 2},
                    {"frame top", desc + 3, 2},
                    {"frame width", desc + 5, 2},
                    {"frame height", desc + 7, 2}},
                   values);
  AddFieldVariants(
      inputs, "snake_600x450.gif",
      {{"screen flags", 10, 1}, {"frame flags", desc + 9, 1}, {"code size", desc + 10, 1}},
      {0, 0x07, 0x40, 0x80, 0xFF, 1, 9, 12});
  AddFieldVariants(inputs, "apache_pb_transp.gif",
                   {{"screen width", 6, 2}, {"screen height", 8, 2}, {"screen flags", 10, 1}},
                   values);
  ExpectDocumentedAnswers(inputs);
}

// Arrays whose bounds do not hold index 0: opening fails, and every later member that reads the
// image from index 0 raises runtime error 9 instead of reading outside the array.
TEST(HostileInput, ArraysThatMissIndexZeroAreNeverReadOutside) {
  const Bytes photo = testing::ReadBytes(kImages / "pngsuite_basn3p04.png");
  for (int32_t lower : {-7, -1000, INT32_MIN, 1, 5}) {
    SCOPED_TRACE(lower);
    Pictron p;
    const ByteArray array = ByteArray::FromBytes(std::span(photo).first(4), lower);
    EXPECT_EQ(testing::ErrorNumberOf([&] { p.OpenBinary(array); }), Runtime(9));
    EXPECT_EQ(testing::ErrorNumberOf([&] { p.Negative(); }), Runtime(9));
    EXPECT_EQ(testing::ErrorNumberOf([&] { p.Quality(70); }), Runtime(9));
    testing::TempFolder folder;
    std::string path = (folder / "out.png").string();
    std::replace(path.begin(), path.end(), '/', '\\');
    Variant target(platform::Utf8ToWide(path));
    EXPECT_EQ(testing::ErrorNumberOf([&] { p.SaveFile(target); }), Runtime(9));
    EXPECT_TRUE(folder.Entries().empty());
    // SaveBinary hands the array out as it was given, bounds and all.
    Variant saved;
    p.SaveBinary(saved);
    EXPECT_EQ(saved.AsByteArray(), array);
  }
  // An array that ends at index -1 holds an empty image: nothing to decode or write.
  Pictron p;
  const ByteArray ending = ByteArray::FromBytes(std::span(photo).first(4), -4);
  EXPECT_EQ(testing::ErrorNumberOf([&] { p.OpenBinary(ending); }), Runtime(9));
  EXPECT_EQ(testing::ErrorNumberOf([&] { p.Negative(); }), Runtime(481));
}

}  // namespace
}  // namespace corvella::component
