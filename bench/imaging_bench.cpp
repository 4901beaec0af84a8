// Buffer creation and block copies against a memcpy of the same bytes.

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "corvella/imaging/dib_section.h"

namespace {

using corvella::imaging::cDIBSection;

constexpr int32_t kWidth = 4000;  // 12 megapixels
constexpr int32_t kHeight = 3000;

void BM_Memcpy12MP(benchmark::State& state) {
  cDIBSection dib;
  dib.Create(kWidth, kHeight);
  size_t bytes = static_cast<size_t>(dib.BytesPerScanLine()) * kHeight;
  std::vector<uint8_t> copy(bytes);
  for (auto _ : state) {
    std::memcpy(copy.data(), dib.DIBSectionBitsPtr(), bytes);
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_Memcpy12MP)->Unit(benchmark::kMillisecond);

void BM_CreateAndCopy12MP(benchmark::State& state) {
  cDIBSection source;
  source.Create(kWidth, kHeight);
  for (auto _ : state) {
    cDIBSection target;
    target.Create(kWidth, kHeight);
    corvella::imaging::CopyBlock(target.View(), 0, 0, source.ConstView(), {0, 0, kWidth, kHeight});
    benchmark::DoNotOptimize(target.DIBSectionBitsPtr());
  }
}
BENCHMARK(BM_CreateAndCopy12MP)->Unit(benchmark::kMillisecond);

}  // namespace
