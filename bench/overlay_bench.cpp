// AddText of one line on a 12-megapixel image against decoding a 12-megapixel JPEG, measured in
// the same run: drawing a line of text should cost a small fraction of bringing the image in.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "corvella/component/pictron.h"
#include "corvella/imaging/dib_section.h"
#include "pictron_internal.h"

namespace {

using corvella::component::Pictron;
using corvella::component::PictronAccess;
using corvella::imaging::cDIBSection;

constexpr int32_t kWidth = 4000;  // 12 megapixels
constexpr int32_t kHeight = 3000;

// Forty characters.
constexpr char16_t kLine[] = u"Corvella overlay: a line of forty chars.";
static_assert(sizeof(kLine) / sizeof(kLine[0]) == 41);

std::vector<unsigned char> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Decodes a JPEG held in memory straight into a new bottom-up BGR buffer, the work that the
// decode step does for such an image.
std::unique_ptr<cDIBSection> DecodeJpeg(const std::vector<unsigned char>& bytes) {
  jpeg_decompress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);  // the files are known to be sound
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&info);
  auto dib = std::make_unique<cDIBSection>();
  const int32_t w = static_cast<int32_t>(info.output_width);
  const int32_t h = static_cast<int32_t>(info.output_height);
  if (dib->Create(w, h)) {
    const int32_t stride = dib->BytesPerScanLine();
    uint8_t* bits = dib->DIBSectionBitsPtr();
    while (info.output_scanline < info.output_height) {
      JSAMPROW rows[8];
      const int32_t first = static_cast<int32_t>(info.output_scanline);
      const int32_t count = std::min<int32_t>(8, h - first);
      for (int32_t i = 0; i < count; ++i)
        rows[i] = bits + static_cast<ptrdiff_t>(h - 1 - first - i) * stride;
      jpeg_read_scanlines(&info, rows, static_cast<JDIMENSION>(count));
    }
  } else {
    jpeg_abort_decompress(&info);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return dib;
}

void DecodeBaseline(benchmark::State& state, const char* file) {
  const std::vector<unsigned char> bytes = ReadFile(std::string(CORVELLA_IMAGES) + "/" + file);
  if (bytes.empty()) {
    state.SkipWithError("test image missing");
    return;
  }
  for (auto _ : state) {
    std::unique_ptr<cDIBSection> dib = DecodeJpeg(bytes);
    benchmark::DoNotOptimize(dib->DIBSectionBitsPtr());
  }
}

void BM_DecodeJpeg_Progressive_4224x3168(benchmark::State& state) {
  DecodeBaseline(state, "dragonfly_4224x3168_prog.jpg");
}
BENCHMARK(BM_DecodeJpeg_Progressive_4224x3168)->Unit(benchmark::kMillisecond);

void BM_DecodeJpeg_Baseline_5312x2988(benchmark::State& state) {
  DecodeBaseline(state, "seeding_5312x2988_base.jpg");
}
BENCHMARK(BM_DecodeJpeg_Baseline_5312x2988)->Unit(benchmark::kMillisecond);

// AddText at size 24 on a 4000 x 3000 working image, after a first call that finds the font.
void AddTextLine(benchmark::State& state, int16_t orientation, bool bold) {
  Pictron p;
  auto& s = PictronAccess::State(p);
  s.cDib = std::make_unique<cDIBSection>();
  s.cDib->Create(kWidth, kHeight);
  s.blDecoded = corvella::platform::kVbTrue;
  p.SetFontSize(24);
  p.SetFontOrientation(orientation);
  p.SetFontBold(corvella::platform::ToVbBool(bold));
  const std::u16string line = kLine;
  const corvella::platform::Variant x(int32_t{100});
  const corvella::platform::Variant y(u"CENTER");
  p.AddText(line, x, y);
  for (auto _ : state) {
    p.AddText(line, x, y);
  }
  state.SetItemsProcessed(state.iterations() * 40);
}

void BM_AddText40Chars_Size24(benchmark::State& state) {
  AddTextLine(state, 0, false);
}
BENCHMARK(BM_AddText40Chars_Size24)->Unit(benchmark::kMicrosecond);

void BM_AddText40Chars_Size24_Bold(benchmark::State& state) {
  AddTextLine(state, 0, true);
}
BENCHMARK(BM_AddText40Chars_Size24_Bold)->Unit(benchmark::kMicrosecond);

void BM_AddText40Chars_Size24_Turned30(benchmark::State& state) {
  AddTextLine(state, 30, false);
}
BENCHMARK(BM_AddText40Chars_Size24_Turned30)->Unit(benchmark::kMicrosecond);

}  // namespace
