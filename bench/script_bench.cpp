// The script engine: a million turns of simple loops, procedure calls, array indexing and text
// building, each against the same number of turns of an empty loop as the baseline (the cost of
// the loop statement itself), and the compilation of a long script.

#include <benchmark/benchmark.h>

#include <string>

#include "corvella/script/engine.h"

namespace {

using corvella::script::Compile;
using corvella::script::CompileResult;
using corvella::script::Host;
using corvella::script::RunResult;
using corvella::script::RunStatus;

void RunScript(benchmark::State& state, const char16_t* source) {
  CompileResult compiled = Compile(source);
  if (!compiled.program) {
    state.SkipWithError("does not compile");
    return;
  }
  Host host;
  for (auto _ : state) {
    RunResult result = corvella::script::Run(*compiled.program, host);
    if (result.status != RunStatus::Completed) state.SkipWithError("did not complete");
  }
  state.SetItemsProcessed(state.iterations() * 1000000);
}

void BM_EmptyLoop1M(benchmark::State& state) {
  RunScript(state, u"For i = 1 To 1000000: Next");
}
BENCHMARK(BM_EmptyLoop1M)->Unit(benchmark::kMillisecond);

void BM_SumLoop1M(benchmark::State& state) {
  RunScript(state, u"Option Explicit\nDim i, s\nFor i = 1 To 1000000\n  s = s + i\nNext");
}
BENCHMARK(BM_SumLoop1M)->Unit(benchmark::kMillisecond);

void BM_DoLoopWithIf1M(benchmark::State& state) {
  RunScript(state,
            u"Dim i, s\nDo While i < 1000000\n  i = i + 1\n"
            u"  If i Mod 2 = 0 Then s = s + 1 Else s = s - 1\nLoop");
}
BENCHMARK(BM_DoLoopWithIf1M)->Unit(benchmark::kMillisecond);

void BM_FunctionCalls1M(benchmark::State& state) {
  RunScript(state,
            u"Function Twice(n)\n  Twice = n * 2\nEnd Function\n"
            u"Dim i, s\nFor i = 1 To 1000000\n  s = Twice(i)\nNext");
}
BENCHMARK(BM_FunctionCalls1M)->Unit(benchmark::kMillisecond);

void BM_ArrayIndexing1M(benchmark::State& state) {
  RunScript(state,
            u"Dim a(999), i\nFor i = 1 To 1000000\n  a(i Mod 1000) = a(i Mod 1000) + 1\nNext");
}
BENCHMARK(BM_ArrayIndexing1M)->Unit(benchmark::kMillisecond);

void BM_TextBuilding1M(benchmark::State& state) {
  RunScript(state, u"Dim i, s\nFor i = 1 To 1000000\n  s = s & \"x\"\nNext");
}
BENCHMARK(BM_TextBuilding1M)->Unit(benchmark::kMillisecond);

void BM_Compile5000Lines(benchmark::State& state) {
  std::u16string source = u"Option Explicit\nDim i, s, a(10)\n";
  for (int n = 0; n < 1000; ++n) {
    source += u"Sub P" + std::u16string(1, u'a' + n % 26) + u"x" +
              std::u16string(1, u'a' + n / 26 % 26) + std::u16string(1, u'a' + n / 676) +
              u"(x)\n  If x > 1 Then s = s & Mid(\"abc\", 2) Else a(x) = x * 2 + 1\n"
              u"  For i = 1 To 3: s = s + i: Next\nEnd Sub\n";
  }
  for (auto _ : state) {
    CompileResult compiled = Compile(source);
    if (!compiled.program) state.SkipWithError("does not compile");
    benchmark::DoNotOptimize(compiled.program.get());
  }
}
BENCHMARK(BM_Compile5000Lines)->Unit(benchmark::kMillisecond);

}  // namespace
