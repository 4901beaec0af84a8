// The pixel operations on a 12-megapixel image, each against a memcpy of the same buffer
// measured in the same run (BM_Memcpy12MP). The members run through the component, as a script
// calls them; the *Kernel variants write into a target buffer made once beforehand, so that they
// show the pixel work without the cost of fresh memory for a new buffer (BM_NewBuffer12MP).

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "corvella/component/pictron.h"
#include "corvella/imaging/dib_section.h"
#include "corvella/operations/transforms.h"
#include "pictron_internal.h"

namespace {

using corvella::component::Pictron;
using corvella::component::PictronAccess;
using corvella::component::PictronState;
using corvella::imaging::cDIBSection;

constexpr int32_t kWidth = 4000;  // 12 megapixels
constexpr int32_t kHeight = 3000;

// A buffer of kWidth x kHeight filled with a deterministic noise, so that no operation meets
// only a few distinct values.
std::unique_ptr<cDIBSection> NoiseBuffer(int32_t width, int32_t height) {
  auto dib = std::make_unique<cDIBSection>();
  dib->Create(width, height);
  uint8_t* bits = dib->DIBSectionBitsPtr();
  const size_t bytes = static_cast<size_t>(dib->BytesPerScanLine()) * height;
  uint32_t state = 0x12345678u;
  for (size_t i = 0; i < bytes; ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    bits[i] = static_cast<uint8_t>(state >> 24);
  }
  return dib;
}

// A Pictron holding a decoded 12-megapixel image, as after opening and decoding a photo.
std::unique_ptr<Pictron> DecodedPictron() {
  auto p = std::make_unique<Pictron>();
  PictronState& s = PictronAccess::State(*p);
  s.cDib = NoiseBuffer(kWidth, kHeight);
  s.blDecoded = -1;
  s.lngOriginalWidth = s.lngWidth = kWidth;
  s.lngOriginalHeight = s.lngHeight = kHeight;
  return p;
}

void BM_Memcpy12MP(benchmark::State& state) {
  auto dib = NoiseBuffer(kWidth, kHeight);
  const size_t bytes = static_cast<size_t>(dib->BytesPerScanLine()) * kHeight;
  std::vector<uint8_t> copy(bytes);
  for (auto _ : state) {
    std::memcpy(copy.data(), dib->DIBSectionBitsPtr(), bytes);
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_Memcpy12MP)->Unit(benchmark::kMillisecond);

// The cost of a new 12-megapixel buffer whose memory is written for the first time.
void BM_NewBuffer12MP(benchmark::State& state) {
  for (auto _ : state) {
    cDIBSection dib;
    dib.Create(kWidth, kHeight);
    std::memset(dib.DIBSectionBitsPtr(), 1, static_cast<size_t>(dib.BytesPerScanLine()) * kHeight);
    benchmark::DoNotOptimize(dib.DIBSectionBitsPtr());
  }
}
BENCHMARK(BM_NewBuffer12MP)->Unit(benchmark::kMillisecond);

template <void (Pictron::*Member)()>
void BM_Member(benchmark::State& state) {
  auto p = DecodedPictron();
  for (auto _ : state) {
    (p.get()->*Member)();
    benchmark::DoNotOptimize(PictronAccess::State(*p).cDib->DIBSectionBitsPtr());
  }
}
BENCHMARK(BM_Member<&Pictron::Negative>)->Name("BM_Negative")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Member<&Pictron::GreyScale>)->Name("BM_GreyScale")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Member<&Pictron::Flip>)->Name("BM_Flip")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Member<&Pictron::Mirror>)->Name("BM_Mirror")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Member<&Pictron::RotateRight>)->Name("BM_RotateRight")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Member<&Pictron::RotateLeft>)->Name("BM_RotateLeft")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Member<&Pictron::Blur>)->Name("BM_Blur")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Member<&Pictron::Sharpen>)->Name("BM_Sharpen")->Unit(benchmark::kMillisecond);

void BM_Gamma(benchmark::State& state) {
  auto p = DecodedPictron();
  for (auto _ : state) {
    // Alternating curves, so that the picture does not drift to black or white.
    p->Gamma(2.2f, 1.8f, 0.7f);
    p->Gamma(1.0f / 2.2f, 1.0f / 1.8f, 1.0f / 0.7f);
  }
  state.counters["calls_per_iteration"] = 2;
}
BENCHMARK(BM_Gamma)->Unit(benchmark::kMillisecond);

template <bool Right>
void BM_RotateKernel(benchmark::State& state) {
  auto source = NoiseBuffer(kWidth, kHeight);
  cDIBSection target;
  target.Create(kHeight, kWidth);
  for (auto _ : state) {
    if (Right) {
      corvella::operations::RotateRightInto(source->View(), target.View());
    } else {
      corvella::operations::RotateLeftInto(source->View(), target.View());
    }
    benchmark::DoNotOptimize(target.DIBSectionBitsPtr());
  }
}
BENCHMARK(BM_RotateKernel<true>)->Name("BM_RotateRightKernel")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RotateKernel<false>)->Name("BM_RotateLeftKernel")->Unit(benchmark::kMillisecond);

// Resample through the member: the image is taken as opened at twice the size, so that a
// request for the current size is a real resampling.
void BM_ResampleSameSize(benchmark::State& state) {
  auto p = DecodedPictron();
  PictronState& s = PictronAccess::State(*p);
  s.lngOriginalWidth = 2 * kWidth;
  s.lngOriginalHeight = 2 * kHeight;
  for (auto _ : state) {
    int32_t w = kWidth;
    int32_t h = kHeight;
    p->Resample(w, h);
  }
}
BENCHMARK(BM_ResampleSameSize)->Unit(benchmark::kMillisecond);

void BM_ResampleSameSizeKernel(benchmark::State& state) {
  auto source = NoiseBuffer(kWidth, kHeight);
  cDIBSection target;
  target.Create(kWidth, kHeight);
  for (auto _ : state) {
    source->ResampleDib(target);
    benchmark::DoNotOptimize(target.DIBSectionBitsPtr());
  }
}
BENCHMARK(BM_ResampleSameSizeKernel)->Unit(benchmark::kMillisecond);

// A thumbnail 200 pixels wide, as Resample(200, 0) makes it: a new buffer and the resampler.
void BM_ResampleThumbnail(benchmark::State& state) {
  auto source = NoiseBuffer(kWidth, kHeight);
  for (auto _ : state) {
    cDIBSection target;
    target.Create(200, 150);
    source->ResampleDib(target);
    benchmark::DoNotOptimize(target.DIBSectionBitsPtr());
  }
}
BENCHMARK(BM_ResampleThumbnail)->Unit(benchmark::kMillisecond);

}  // namespace
