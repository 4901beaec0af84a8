// The pixel operations on a 12-megapixel image (4000 x 3000), each to be read against a memcpy of
// the same buffer measured in the same run (BM_Memcpy12MP).
//
// BM_<Member> runs the member through the component, as a script calls it. Members that build a
// new buffer (the rotations, Resample) pay for memory that is written for the first time; that
// cost alone is BM_NewBuffer12MP, and the *Kernel variants write into a target made once
// beforehand, to show the pixel work by itself. The *At/level:0, 1, 2 variants run the kernels of
// one instruction-set level (portable, AVX2, AVX-512; skipped where the processor lacks it).

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "corvella/component/pictron.h"
#include "corvella/imaging/dib_section.h"
#include "corvella/imaging/resample.h"
#include "corvella/operations/colour_adjust.h"
#include "corvella/operations/transforms.h"
#include "pictron_internal.h"

namespace {

using corvella::component::Pictron;
using corvella::component::PictronAccess;
using corvella::component::PictronState;
using corvella::imaging::cDIBSection;
using corvella::imaging::SimdLevel;
namespace operations = corvella::operations;

constexpr int32_t kWidth = 4000;
constexpr int32_t kHeight = 3000;

// A buffer filled with deterministic noise, so that no operation meets only a few values.
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

// Skips a benchmark whose level the processor lacks; true when it may run.
bool Runs(benchmark::State& state, SimdLevel level) {
  if (corvella::imaging::IsSupported(level)) return true;
  state.SkipWithError("instruction set not available");
  return false;
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

void BM_NewBuffer12MP(benchmark::State& state) {
  for (auto _ : state) {
    cDIBSection dib;
    dib.Create(kWidth, kHeight);
    std::memset(dib.DIBSectionBitsPtr(), 1, static_cast<size_t>(dib.BytesPerScanLine()) * kHeight);
    benchmark::DoNotOptimize(dib.DIBSectionBitsPtr());
  }
}
BENCHMARK(BM_NewBuffer12MP)->Unit(benchmark::kMillisecond);

// ---- Members ----------------------------------------------------------------------------------

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

// One call per iteration; the curves alternate so that the picture does not drift to white.
void BM_Gamma(benchmark::State& state) {
  auto p = DecodedPictron();
  bool forth = true;
  for (auto _ : state) {
    if (forth) {
      p->Gamma(2.2f, 1.8f, 0.7f);
    } else {
      p->Gamma(1.0f / 2.2f, 1.0f / 1.8f, 1.0f / 0.7f);
    }
    forth = !forth;
  }
}
BENCHMARK(BM_Gamma)->Unit(benchmark::kMillisecond);

// Resample(4000, 3000) of an image taken as opened at twice that size, so that it resamples.
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

// Resample(200, 0): a new 200 x 150 buffer and the resampler, as the member makes it (the member
// itself would drop the source, so the source is kept outside).
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

// ---- Kernels at one level ---------------------------------------------------------------------

void BM_GreyScaleAt(benchmark::State& state) {
  const auto level = static_cast<SimdLevel>(state.range(0));
  if (!Runs(state, level)) return;
  auto dib = NoiseBuffer(kWidth, kHeight);
  for (auto _ : state)
    operations::GreyScale(dib->View(), level);
}

void BM_GammaAt(benchmark::State& state) {
  const auto level = static_cast<SimdLevel>(state.range(0));
  if (!Runs(state, level)) return;
  auto dib = NoiseBuffer(kWidth, kHeight);
  bool forth = true;
  for (auto _ : state) {
    if (forth) {
      operations::Gamma(dib->View(), 2.2f, 1.8f, 0.7f, level);
    } else {
      operations::Gamma(dib->View(), 1.0f / 2.2f, 1.0f / 1.8f, 1.0f / 0.7f, level);
    }
    forth = !forth;
  }
}

void BM_MirrorAt(benchmark::State& state) {
  const auto level = static_cast<SimdLevel>(state.range(0));
  if (!Runs(state, level)) return;
  auto dib = NoiseBuffer(kWidth, kHeight);
  for (auto _ : state)
    operations::MirrorInPlace(dib->View(), level);
}

template <bool Right>
void BM_RotateKernelAt(benchmark::State& state) {
  const auto level = static_cast<SimdLevel>(state.range(0));
  if (!Runs(state, level)) return;
  auto source = NoiseBuffer(kWidth, kHeight);
  cDIBSection target;
  target.Create(kHeight, kWidth);
  for (auto _ : state) {
    if (Right) {
      operations::RotateRightInto(source->View(), target.View(), level);
    } else {
      operations::RotateLeftInto(source->View(), target.View(), level);
    }
    benchmark::DoNotOptimize(target.DIBSectionBitsPtr());
  }
}

void BM_ResampleSameSizeKernelAt(benchmark::State& state) {
  const auto level = static_cast<SimdLevel>(state.range(0));
  if (!Runs(state, level)) return;
  auto source = NoiseBuffer(kWidth, kHeight);
  cDIBSection target;
  target.Create(kWidth, kHeight);
  for (auto _ : state) {
    corvella::imaging::ResampleInto(*source, target, level);
    benchmark::DoNotOptimize(target.DIBSectionBitsPtr());
  }
}

void Levels(benchmark::internal::Benchmark* b) {
  b->ArgName("level")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_GreyScaleAt)->Apply(Levels);
BENCHMARK(BM_GammaAt)->Apply(Levels);
BENCHMARK(BM_MirrorAt)->Apply(Levels);
BENCHMARK(BM_RotateKernelAt<true>)->Name("BM_RotateRightKernelAt")->Apply(Levels);
BENCHMARK(BM_RotateKernelAt<false>)->Name("BM_RotateLeftKernelAt")->Apply(Levels);
BENCHMARK(BM_ResampleSameSizeKernelAt)->Apply(Levels);

}  // namespace
