// Decoding and encoding a 16-megapixel JPEG (5312 x 2988, 4:2:0) through the codec layer, against
// bare libjpeg-turbo calls at the same settings in the same run: BGR output into a bottom-up
// buffer with padded rows, the accurate integer DCT, quality 80, 4:2:0, standard Huffman tables,
// output into growing memory. The codec's own work on top of libjpeg (checks, error handling,
// the output buffer) should cost next to nothing: the goal is a ratio under 1.15.
//
// Run with --benchmark_enable_random_interleaving=true --benchmark_repetitions=5 on a shared
// machine, so that the two sides see the same load.

#include <benchmark/benchmark.h>

// libjpeg's header needs size_t and FILE declared first.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include <jpeglib.h>

#include "corvella/codec/jpeg_codec.h"
#include "corvella/component/pictron.h"
#include "corvella/imaging/dib_section.h"
#include "corvella/host/page_host.h"

namespace {

using corvella::codec::DecodeJpeg;
using corvella::codec::EncodeJpeg;
using corvella::codec::JpegEncodeSettings;
using corvella::codec::JpegParams;
using corvella::codec::ReadJpegParams;
using corvella::imaging::cDIBSection;

const std::vector<uint8_t>& Source() {
  static const std::vector<uint8_t> bytes = [] {
    std::ifstream in(CORVELLA_IMAGES "/seeding_5312x2988_base.jpg", std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
  }();
  return bytes;
}

// ---- The codec layer

void CodecDecode(cDIBSection& dib) {
  const auto& jpeg = Source();
  JpegParams params;
  if (!ReadJpegParams(jpeg, params).Ok() || !dib.Create(params.width, params.height) ||
      !DecodeJpeg(jpeg, dib).Ok()) {
    std::abort();
  }
}

void CodecEncode(const cDIBSection& dib, std::vector<uint8_t>& out) {
  JpegEncodeSettings settings;
  settings.quality = 80;
  if (!EncodeJpeg(dib, settings, out).Ok()) std::abort();
}

void BM_CodecDecodeEncode(benchmark::State& state) {
  std::vector<uint8_t> out;
  for (auto _ : state) {
    cDIBSection dib;
    CodecDecode(dib);
    CodecEncode(dib, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["bytes_out"] = static_cast<double>(out.size());
}

void BM_CodecDecode(benchmark::State& state) {
  for (auto _ : state) {
    cDIBSection dib;
    CodecDecode(dib);
    benchmark::DoNotOptimize(dib.DIBSectionBitsPtr());
  }
}

void BM_CodecEncode(benchmark::State& state) {
  cDIBSection dib;
  CodecDecode(dib);
  std::vector<uint8_t> out;
  for (auto _ : state) {
    CodecEncode(dib, out);
    benchmark::DoNotOptimize(out.data());
  }
}

// ---- Bare libjpeg-turbo, written out here

struct BareImage {
  int width = 0;
  int height = 0;
  size_t stride = 0;
  unsigned char* bits = nullptr;  // memory row 0 is the bottom row
  ~BareImage() { std::free(bits); }
};

void BareDecode(BareImage& image) {
  const auto& jpeg = Source();
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_EXT_BGR;
  cinfo.dct_method = JDCT_ISLOW;
  jpeg_start_decompress(&cinfo);
  image.width = static_cast<int>(cinfo.output_width);
  image.height = static_cast<int>(cinfo.output_height);
  image.stride = (static_cast<size_t>(image.width) * 3 + 3) & ~size_t{3};
  image.bits = static_cast<unsigned char*>(std::malloc(image.stride * image.height));
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW rows[16];
    JDIMENSION count = std::min<JDIMENSION>(16, cinfo.output_height - cinfo.output_scanline);
    for (JDIMENSION i = 0; i < count; ++i) {
      rows[i] = image.bits + (image.height - 1 - (cinfo.output_scanline + i)) * image.stride;
    }
    jpeg_read_scanlines(&cinfo, rows, count);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
}

size_t BareEncode(const BareImage& image) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = static_cast<JDIMENSION>(image.width);
  cinfo.image_height = static_cast<JDIMENSION>(image.height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 80, TRUE);
  cinfo.comp_info[0].h_samp_factor = 2;
  cinfo.comp_info[0].v_samp_factor = 2;
  cinfo.dct_method = JDCT_ISLOW;
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW rows[16];
    JDIMENSION count = std::min<JDIMENSION>(16, cinfo.image_height - cinfo.next_scanline);
    for (JDIMENSION i = 0; i < count; ++i) {
      rows[i] = image.bits + (image.height - 1 - (cinfo.next_scanline + i)) * image.stride;
    }
    jpeg_write_scanlines(&cinfo, rows, count);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::free(out);
  return size;
}

void BM_BareDecodeEncode(benchmark::State& state) {
  size_t size = 0;
  for (auto _ : state) {
    BareImage image;
    BareDecode(image);
    size = BareEncode(image);
    benchmark::DoNotOptimize(size);
  }
  state.counters["bytes_out"] = static_cast<double>(size);
}

void BM_BareDecode(benchmark::State& state) {
  for (auto _ : state) {
    BareImage image;
    BareDecode(image);
    benchmark::DoNotOptimize(image.bits);
  }
}

void BM_BareEncode(benchmark::State& state) {
  BareImage image;
  BareDecode(image);
  for (auto _ : state)
    benchmark::DoNotOptimize(BareEncode(image));
}

// ---- The whole member sequence a script runs: OpenFile, Quality (which decodes), SaveBinary
// (which encodes into memory and copies the stream out).

void BM_PictronOpenQualitySaveBinary(benchmark::State& state) {
  auto page = std::make_shared<corvella::host::PageContext>(u"/", u"/bench.asp");
  corvella::platform::Variant out;
  for (auto _ : state) {
    corvella::component::Pictron p;
    p.OnStartPage(page);
    p.OpenFile(u"" CORVELLA_IMAGES "/seeding_5312x2988_base.jpg");
    p.Quality(80);
    p.SaveBinary(out);
    benchmark::DoNotOptimize(out);
  }
  state.counters["bytes_out"] = static_cast<double>(out.AsByteArray().Size());
}

BENCHMARK(BM_PictronOpenQualitySaveBinary)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CodecDecodeEncode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BareDecodeEncode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CodecDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BareDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CodecEncode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BareEncode)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
