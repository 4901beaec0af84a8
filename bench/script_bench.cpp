// The script engine: a million turns of simple loops, procedure calls, array indexing and text
// building, each against the same number of turns of an empty loop as the baseline (the cost of
// the loop statement itself), and the compilation of a long script. Then the work of real pages:
// text built by concatenation at two sizes (the larger must cost about twice the smaller, not
// four times), 100,000 numbers filled and sorted, a million calls of a class's method, and a
// search that was quadratic once.

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

void RunCounted(benchmark::State& state, const std::u16string& source, int64_t items) {
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
  state.SetItemsProcessed(state.iterations() * items);
}

// Text joined the way pages build their output: each turn appends a number and a separator to
// the whole text so far.
void BM_ConcatenatedText(benchmark::State& state) {
  std::string turns = std::to_string(state.range(0));
  RunCounted(state,
             u"Dim i, s\nFor i = 1 To " + std::u16string(turns.begin(), turns.end()) +
                 u"\n  s = s & i & \",\"\nNext\nIf Len(s) < 10 Then Err.Raise 5",
             state.range(0));
}
BENCHMARK(BM_ConcatenatedText)->Arg(200000)->Arg(400000)->Unit(benchmark::kMillisecond);

void BM_Sort100000Numbers(benchmark::State& state) {
  RunCounted(state,
             u"Dim a(99999), i, n\nRandomize 7\nn = 100000\n"
             u"For i = 0 To n - 1 : a(i) = Int(Rnd * 1000000) : Next\n"
             u"Sub QuickSort(lo, hi)\n"
             u"  Dim i, j, p, t\n"
             u"  Do While lo < hi\n"
             u"    i = lo : j = hi : p = a((lo + hi) \\ 2)\n"
             u"    Do While i <= j\n"
             u"      Do While a(i) < p : i = i + 1 : Loop\n"
             u"      Do While a(j) > p : j = j - 1 : Loop\n"
             u"      If i <= j Then t = a(i) : a(i) = a(j) : a(j) = t : i = i + 1 : j = j - 1\n"
             u"    Loop\n"
             u"    If j - lo < hi - i Then\n"
             u"      QuickSort lo, j : lo = i\n"
             u"    Else\n"
             u"      QuickSort i, hi : hi = j\n"
             u"    End If\n"
             u"  Loop\n"
             u"End Sub\n"
             u"QuickSort 0, n - 1\n"
             u"For i = 1 To n - 1 : If a(i - 1) > a(i) Then Err.Raise 5\nNext",
             100000);
}
BENCHMARK(BM_Sort100000Numbers)->Unit(benchmark::kMillisecond);

void BM_ClassMethodCalls1M(benchmark::State& state) {
  RunCounted(state,
             u"Class Counter\n  Private total\n"
             u"  Public Sub Add(n) : total = total + n : End Sub\n"
             u"  Public Property Get Value : Value = total : End Property\nEnd Class\n"
             u"Dim c, i\nSet c = New Counter\nFor i = 1 To 1000000 : c.Add i : Next\n"
             u"If c.Value <> 500000500000 Then Err.Raise 5",
             1000000);
}
BENCHMARK(BM_ClassMethodCalls1M)->Unit(benchmark::kMillisecond);

// InStr(String(2^21, "a"), String(2^20, "a") & "b"): hours when the search was quadratic.
void BM_LongSearch(benchmark::State& state) {
  RunCounted(state,
             u"s = String(2 ^ 21, \"a\") : t = String(2 ^ 20, \"a\") & \"b\"\n"
             u"If InStr(s, t) + InStrRev(s, t) + InStr(1, s, t, 1) <> 0 Then Err.Raise 5\n"
             u"If UBound(Split(s, t)) <> 0 Or Len(Replace(s, t, \"\")) <> 2 ^ 21 Then Err.Raise 5",
             1);
}
BENCHMARK(BM_LongSearch)->Unit(benchmark::kMillisecond);

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
