// Opening a 12-megapixel PNG (4000 x 3000, 8-bit RGB) and saving it as a JPEG file through the
// object: OpenBinary, the decode on demand, SaveFile. The baseline in the same run is the bare
// work underneath: libpng reading the same file into one row-padded BGR buffer and libjpeg-turbo
// encoding that buffer at the same quality, written to the same file the same way. What the object
// adds on top (copies of the picture, checks) shows as the ratio of the two.
//
// Run with --benchmark_enable_random_interleaving=true --benchmark_repetitions=5 on a shared
// machine, so that the two sides see the same load.

#include <benchmark/benchmark.h>

#include <png.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "corvella/codec/jpeg_codec.h"
#include "corvella/codec/picture_writer.h"
#include "corvella/component/pictron.h"
#include "corvella/imaging/dib_section.h"
#include "corvella/platform/file_system.h"
#include "corvella/platform/text.h"

namespace {

using corvella::imaging::cDIBSection;

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// A photo-like PNG: smooth gradients with some texture, so that compression is realistic.
const std::vector<uint8_t>& Png() {
  static const std::vector<uint8_t> bytes = [] {
    cDIBSection dib;
    if (!dib.Create(kWidth, kHeight)) std::abort();
    corvella::imaging::ImageView view = dib.View();
    for (int y = 0; y < kHeight; ++y) {
      uint8_t* row = view.Row(y);
      for (int x = 0; x < kWidth; ++x) {
        row[3 * x] = static_cast<uint8_t>(x / 16 + ((x * 7 + y * 13) & 7));
        row[3 * x + 1] = static_cast<uint8_t>(y / 12 + ((x ^ y) & 3));
        row[3 * x + 2] = static_cast<uint8_t>((x + y) / 28);
      }
    }
    return corvella::codec::EncodePng(view);
  }();
  return bytes;
}

std::filesystem::path Target() {
  return std::filesystem::temp_directory_path() / "corvella_png_open_bench.jpg";
}

void BM_PictronOpenSavePng(benchmark::State& state) {
  const std::vector<uint8_t>& png = Png();
  // A backslash makes the name a physical path, used without a page.
  const std::filesystem::path file = Target();
  const std::u16string target = corvella::platform::Utf8ToWide(file.parent_path().string()) +
                                u"\\" + corvella::platform::Utf8ToWide(file.filename().string());
  for (auto _ : state) {
    corvella::component::Pictron p;
    p.OpenBinary(corvella::platform::ByteArray::FromBytes(png));
    p.DecodedImage();
    corvella::platform::Variant name(target);
    p.SaveFile(name);
  }
  std::filesystem::remove(Target());
}

// libpng straight into a bottom-up BGR buffer, libjpeg-turbo from it into memory, the same
// atomic file write as SaveFile.
void BM_BareLibpngThenEncode(benchmark::State& state) {
  const std::vector<uint8_t>& png = Png();
  const std::u16string path = corvella::platform::Utf8ToWide(Target().string());
  std::vector<uint8_t> out;
  for (auto _ : state) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) std::abort();
    image.format = PNG_FORMAT_BGR;
    cDIBSection dib;
    if (!dib.Create(static_cast<int32_t>(image.width), static_cast<int32_t>(image.height))) {
      std::abort();
    }
    // A negative row stride (in samples, which are bytes here): libpng writes the rows bottom-up
    // from the start of the buffer.
    if (!png_image_finish_read(&image, nullptr, dib.DIBSectionBitsPtr(), -dib.BytesPerScanLine(),
                               nullptr)) {
      std::abort();
    }
    corvella::codec::JpegEncodeSettings settings;
    settings.quality = 80;
    if (!corvella::codec::EncodeJpeg(dib, settings, out).Ok()) std::abort();
    corvella::platform::CreateFileSystem()->WriteFileAtomically(path, out);
  }
  std::filesystem::remove(Target());
}

BENCHMARK(BM_PictronOpenSavePng)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BareLibpngThenEncode)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
