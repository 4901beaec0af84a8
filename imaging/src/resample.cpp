// The bilinear resampler of cDIBSection.
//
// Positions use 32-bit float arithmetic: the scale factor (source size - 1) / target size and each
// position scale x t are rounded to float, and the fraction of a position is exact. Every sample is
// then rounded twice, half to even: first between two source rows, then between two columns of
// those results.
//
// The blends are computed in integers. A fraction f is a float in [0, 1), so f = F / 2^K exactly
// with F < 2^24. A blend (1 - f) a + f b of bytes a, b is then N / 2^K with the integer
// N = a (2^K - F) + b F, and rounding N / 2^K half to even is a shift with a carry, which is
// exactly what the double-precision formula gives: for K <= 45 every double product and sum there
// is exact, and for K > 32 the fraction moves the blend less than f x 255 < 1/2 from a, so both
// round to a. Fractions with K > 32 are therefore taken as 0, every N fits in 64 bits, and in
// 32 bits when all K of a pass are at most 24 (always so for reductions and for enlargements up
// to twice the size).

#include "corvella/imaging/resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "corvella/platform/error.h"
#include "corvella/platform/run_limits.h"

#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
// GCC 12 warns about the deliberately undefined registers inside the AVX-512 intrinsics.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#define CORVELLA_RESAMPLE_AVX2 1
#endif

namespace corvella::imaging {

namespace {

using platform::Raise;
using platform::RuntimeError;

// One sample position along an axis: the first source pixel (its index, or for columns its
// byte offset) and the fraction towards the next one, weight / 2^shift.
struct Tap {
  int32_t index;
  uint32_t weight;
  int32_t shift;
};

// The taps of an axis, with the largest shift among them.
struct Axis {
  std::vector<Tap> taps;
  int32_t maxShift = 1;
};

// Splits a fraction in [0, 1) into weight / 2^shift with an odd weight (shift 1, weight 0 for 0).
Tap SplitFraction(int32_t index, float fraction) {
  if (fraction == 0.0f) return {index, 0, 1};
  int exponent = 0;
  const float mantissa = std::frexp(fraction, &exponent);  // fraction = mantissa x 2^exponent
  auto weight = static_cast<uint32_t>(std::ldexp(mantissa, 24));
  int32_t shift = 24 - exponent;
  while ((weight & 1u) == 0) {
    weight >>= 1;
    --shift;
  }
  // Beyond 32 bits the fraction cannot change a rounded blend of bytes (see the file comment).
  if (shift > 32) return {index, 0, 1};
  return {index, weight, shift};
}

// The positions of @p targetSize samples over a source of @p sourceSize pixels. Runtime error 9
// when a sample would read outside the source (a source 1 pixel wide or high, or empty).
Axis MakeAxis(int32_t sourceSize, int32_t targetSize) {
  const auto scale =
      static_cast<float>(static_cast<double>(sourceSize - 1) / static_cast<double>(targetSize));
  Axis axis;
  axis.taps.reserve(static_cast<size_t>(std::max(targetSize, 0)));
  for (int32_t t = 0; t < targetSize; ++t) {
    const auto position = static_cast<float>(static_cast<double>(scale) * t);
    const float whole = std::floor(position);
    // Both pixels index and index + 1 must exist.
    if (!(whole >= 0.0f && static_cast<double>(whole) <= sourceSize - 2.0)) {
      Raise(RuntimeError::SubscriptOutOfRange);
    }
    const Tap tap = SplitFraction(static_cast<int32_t>(whole), position - whole);
    axis.taps.push_back(tap);
    axis.maxShift = std::max(axis.maxShift, tap.shift);
  }
  return axis;
}

// Gives every tap of the axis the same shift, so that a pass can use one shift throughout. (Only
// the vector kernels need it, so builds without them leave it unused.)
[[maybe_unused]] void UseCommonShift(Axis& axis) {
  for (Tap& tap : axis.taps) {
    tap.weight <<= axis.maxShift - tap.shift;
    tap.shift = axis.maxShift;
  }
}

// Whether a blend with this tap can land exactly halfway between two integers. With an odd weight
// F and shift K, N = a 2^K + (b - a) F is a tie only when (b - a) F = 2^(K - 1) modulo 2^K, which
// needs 2^(K - 1) to divide b - a; as |b - a| <= 255, only shifts up to 8 allow it.
bool TiesPossible(const Tap& tap) {
  return tap.weight != 0 && tap.shift <= 8;
}

[[maybe_unused]] bool TiesPossible(const Axis& axis) {
  return std::any_of(axis.taps.begin(), axis.taps.end(),
                     [](const Tap& tap) { return TiesPossible(tap); });
}

// Rounds n / 2^shift half to even (shift >= 1).
template <typename Wide>
inline Wide RoundShift(Wide n, int32_t shift) {
  const Wide half = (Wide{1} << (shift - 1)) - 1;
  return (n + half + ((n >> shift) & 1)) >> shift;
}

// Blends two bytes: (a (2^shift - weight) + b weight) / 2^shift, rounded half to even.
template <typename Wide>
inline uint8_t Blend(uint32_t a, uint32_t b, uint32_t weight, int32_t shift) {
  const Wide one = Wide{1} << shift;
  const Wide n = static_cast<Wide>(a) * (one - weight) + static_cast<Wide>(b) * weight;
  return static_cast<uint8_t>(RoundShift<Wide>(n, shift));
}

// The vertical blend of two source rows over their first @p bytes bytes.
template <typename Wide>
void BlendRows(uint8_t* out, const uint8_t* lower, const uint8_t* upper, size_t bytes,
               const Tap& tap) {
  for (size_t k = 0; k < bytes; ++k)
    out[k] = Blend<Wide>(lower[k], upper[k], tap.weight, tap.shift);
}

// The horizontal blends of one target row from a row of vertical blends.
template <typename Wide>
void BlendColumns(uint8_t* out, const uint8_t* blended, const std::vector<Tap>& columns) {
  for (const Tap& tap : columns) {
    const uint8_t* v = blended + tap.index;
    out[0] = Blend<Wide>(v[0], v[3], tap.weight, tap.shift);
    out[1] = Blend<Wide>(v[1], v[4], tap.weight, tap.shift);
    out[2] = Blend<Wide>(v[2], v[5], tap.weight, tap.shift);
    out += 3;
  }
}

// Everything a pass over the target needs, checked before the first byte is written.
struct Plan {
  DirectRowAccess source;
  DirectRowAccess target;
  Axis rows;
  Axis columns;             // indices are byte offsets
  size_t blendedBytes = 0;  // bytes of a source row that the column taps read
};

// Whether the target is so much narrower than the source that blending whole source rows would
// be mostly wasted work: a 2-pixel-wide target of a 29000-pixel-wide source blends 87000 bytes
// per target row to read 12 of them, and with tens of thousands of target rows that takes
// seconds. Such targets blend only the six bytes that each column tap reads.
bool IsSparse(const Plan& plan) {
  return plan.blendedBytes > 16 * 6 * plan.columns.taps.size();
}

// The same blends as ResamplePortable, each vertical blend made only where a column tap reads it.
template <typename WideRows, typename WideColumns>
void ResampleSparse(const Plan& plan) {
  for (size_t y = 0; y < plan.rows.taps.size(); ++y) {
    platform::CheckInterrupt();
    const Tap& row = plan.rows.taps[y];
    const uint8_t* lower = plan.source.Row(row.index);
    const uint8_t* upper = plan.source.Row(row.index + 1);
    uint8_t* out = plan.target.Row(static_cast<int32_t>(y));
    for (const Tap& column : plan.columns.taps) {
      uint8_t v[6];
      for (int k = 0; k < 6; ++k) {
        v[k] = Blend<WideRows>(lower[column.index + k], upper[column.index + k], row.weight,
                               row.shift);
      }
      for (int c = 0; c < 3; ++c)
        out[c] = Blend<WideColumns>(v[c], v[c + 3], column.weight, column.shift);
      out += 3;
    }
  }
}

template <typename WideRows, typename WideColumns>
void ResamplePortable(const Plan& plan) {
  if (IsSparse(plan)) {
    ResampleSparse<WideRows, WideColumns>(plan);
    return;
  }
  std::vector<uint8_t> blended(plan.blendedBytes);
  for (size_t y = 0; y < plan.rows.taps.size(); ++y) {
    platform::CheckInterrupt();
    const Tap& row = plan.rows.taps[y];
    if (row.weight == 0) {
      std::memcpy(blended.data(), plan.source.Row(row.index), plan.blendedBytes);
    } else {
      BlendRows<WideRows>(blended.data(), plan.source.Row(row.index),
                          plan.source.Row(row.index + 1), plan.blendedBytes, row);
    }
    BlendColumns<WideColumns>(plan.target.Row(static_cast<int32_t>(y)), blended.data(),
                              plan.columns.taps);
  }
}

void RunPortable(const Plan& plan) {
  const bool narrowRows = plan.rows.maxShift <= 24;
  const bool narrowColumns = plan.columns.maxShift <= 24;
  if (narrowRows && narrowColumns) {
    ResamplePortable<uint32_t, uint32_t>(plan);
  } else if (narrowRows) {
    ResamplePortable<uint32_t, uint64_t>(plan);
  } else if (narrowColumns) {
    ResamplePortable<uint64_t, uint32_t>(plan);
  } else {
    ResamplePortable<uint64_t, uint64_t>(plan);
  }
}

#ifdef CORVELLA_RESAMPLE_AVX2

// AVX2 and AVX-512 kernels for passes whose shifts are all at most 24, so that every N fits in a
// 32-bit lane. They write whole blocks and leave the rest of a row to the scalar blends.

// The bias that RoundShift8 adds before shifting.
inline int32_t RoundingBias(bool ties, int32_t shift) {
  const auto half = static_cast<int32_t>(1u << (shift - 1));
  return ties ? half - 1 : half;
}

// Rounds eight 32-bit n / 2^shift half to even; @p bias is RoundingBias(Ties, shift). Without
// possible ties (see TiesPossible) the carry of the even rule never matters and rounding half up
// gives the same.
template <bool Ties>
[[gnu::target("avx2")]] inline __m256i RoundShift8(__m256i n, __m256i bias, __m128i shift) {
  if constexpr (Ties) {
    const __m256i odd = _mm256_and_si256(_mm256_srl_epi32(n, shift), _mm256_set1_epi32(1));
    return _mm256_srl_epi32(_mm256_add_epi32(_mm256_add_epi32(n, bias), odd), shift);
  } else {
    return _mm256_srl_epi32(_mm256_add_epi32(n, bias), shift);
  }
}

// Packs four vectors of eight values 0 .. 255 into 32 bytes in order.
[[gnu::target("avx2")]] inline __m256i PackBytes(__m256i r0, __m256i r1, __m256i r2, __m256i r3) {
  const __m256i words01 = _mm256_packus_epi32(r0, r1);
  const __m256i words23 = _mm256_packus_epi32(r2, r3);
  const __m256i bytes = _mm256_packus_epi16(words01, words23);
  return _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

template <bool Ties>
[[gnu::target("avx2")]] void BlendRowsAvx2(uint8_t* out, const uint8_t* lower, const uint8_t* upper,
                                           size_t bytes, const Tap& tap) {
  const __m256i w1 = _mm256_set1_epi32(static_cast<int32_t>(tap.weight));
  const __m256i w0 = _mm256_set1_epi32(static_cast<int32_t>((1u << tap.shift) - tap.weight));
  const __m256i bias = _mm256_set1_epi32(RoundingBias(Ties, tap.shift));
  const __m128i shift = _mm_cvtsi32_si128(tap.shift);
  size_t k = 0;
  for (; k + 32 <= bytes; k += 32) {
    __m256i r[4];
    for (int q = 0; q < 4; ++q) {
      const __m256i a = _mm256_cvtepu8_epi32(
          _mm_loadl_epi64(reinterpret_cast<const __m128i*>(lower + k + 8 * q)));
      const __m256i b = _mm256_cvtepu8_epi32(
          _mm_loadl_epi64(reinterpret_cast<const __m128i*>(upper + k + 8 * q)));
      const __m256i n = _mm256_add_epi32(_mm256_mullo_epi32(a, w0), _mm256_mullo_epi32(b, w1));
      r[q] = RoundShift8<Ties>(n, bias, shift);
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k), PackBytes(r[0], r[1], r[2], r[3]));
  }
  for (; k < bytes; ++k)
    out[k] = Blend<uint32_t>(lower[k], upper[k], tap.weight, tap.shift);
}

// How the horizontal pass finds the two blended bytes of each target byte. Target byte j blends
// the bytes at offsets[j] and offsets[j] + 3 with weights[j] / 2^shift. For each block of B target
// bytes whose 2 B inputs lie within W bytes from windows[b] (B = 8, W = 16 for AVX2; 16 and 64 for
// AVX-512), one byte permute with masks[b] fetches them (the first inputs in bytes 0 .. B - 1, the
// second in B .. 2 B - 1); other blocks (reductions, whose taps lie further apart) gather them
// with one 4-byte load per target byte.
struct ColumnLayout {
  std::vector<int32_t> offsets;
  std::vector<uint32_t> weights;
  std::vector<int32_t> windows;  // -1: gather this block
  std::vector<uint8_t> masks;    // 2 B per block
  size_t bytes = 0;
};

ColumnLayout MakeColumnLayout(const Axis& columns, int32_t blockBytes, int32_t windowBytes) {
  ColumnLayout layout;
  layout.bytes = columns.taps.size() * 3;
  layout.offsets.resize(layout.bytes);
  layout.weights.resize(layout.bytes);
  for (size_t x = 0; x < columns.taps.size(); ++x) {
    for (int32_t c = 0; c < 3; ++c) {
      layout.offsets[3 * x + c] = columns.taps[x].index + c;
      layout.weights[3 * x + c] = columns.taps[x].weight;
    }
  }
  const size_t block = static_cast<size_t>(blockBytes);
  const size_t blocks = layout.bytes / block;
  layout.windows.resize(blocks);
  layout.masks.resize(blocks * 2 * block);
  for (size_t b = 0; b < blocks; ++b) {
    const int32_t* offsets = layout.offsets.data() + block * b;
    const int32_t start = *std::min_element(offsets, offsets + block);
    const int32_t end = *std::max_element(offsets, offsets + block) + 3;
    if (end - start >= windowBytes) {
      layout.windows[b] = -1;
      continue;
    }
    layout.windows[b] = start;
    uint8_t* mask = layout.masks.data() + 2 * block * b;
    for (size_t k = 0; k < block; ++k) {
      mask[k] = static_cast<uint8_t>(offsets[k] - start);
      mask[block + k] = static_cast<uint8_t>(offsets[k] + 3 - start);
    }
  }
  return layout;
}

// @p blended must have 16 readable bytes from every window start (layout of 8-byte blocks).
template <bool Ties>
[[gnu::target("avx2")]] void BlendColumnsAvx2(uint8_t* out, const uint8_t* blended,
                                              const ColumnLayout& layout, int32_t shift) {
  const __m256i one = _mm256_set1_epi32(static_cast<int32_t>(1u << shift));
  const __m256i bias = _mm256_set1_epi32(RoundingBias(Ties, shift));
  const __m256i low = _mm256_set1_epi32(0xFF);
  const __m128i count = _mm_cvtsi32_si128(shift);
  const auto* base = reinterpret_cast<const int*>(blended);
  const int32_t* offsets = layout.offsets.data();
  const uint32_t* weights = layout.weights.data();
  size_t j = 0;
  for (; j + 32 <= layout.bytes; j += 32) {
    __m256i r[4];
    for (int q = 0; q < 4; ++q) {
      const size_t block = j / 8 + q;
      const int32_t window = layout.windows[block];
      __m256i a;
      __m256i b;
      if (window >= 0) {
        const __m128i source = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blended + window));
        const __m128i mask =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(layout.masks.data() + 16 * block));
        const __m128i pairs = _mm_shuffle_epi8(source, mask);
        a = _mm256_cvtepu8_epi32(pairs);
        b = _mm256_cvtepu8_epi32(_mm_srli_si128(pairs, 8));
      } else {
        const __m256i offset =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(offsets + j + 8 * q));
        const __m256i pair = _mm256_i32gather_epi32(base, offset, 1);
        a = _mm256_and_si256(pair, low);
        b = _mm256_srli_epi32(pair, 24);
      }
      const __m256i w1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(weights + j + 8 * q));
      const __m256i n = _mm256_add_epi32(_mm256_mullo_epi32(a, _mm256_sub_epi32(one, w1)),
                                         _mm256_mullo_epi32(b, w1));
      r[q] = RoundShift8<Ties>(n, bias, count);
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + j), PackBytes(r[0], r[1], r[2], r[3]));
  }
  for (; j < layout.bytes; ++j) {
    const uint8_t* v = blended + offsets[j];
    out[j] = Blend<uint32_t>(v[0], v[3], weights[j], shift);
  }
}

// The AVX-512 kernels: 16 lanes, 64-byte windows and byte permutes across the whole register.

template <bool Ties>
[[gnu::target("avx512f,avx512bw,avx512vl,avx512vbmi")]] inline __m512i RoundShift16(__m512i n,
                                                                                    __m512i bias,
                                                                                    __m128i shift) {
  if constexpr (Ties) {
    const __m512i odd = _mm512_and_si512(_mm512_srl_epi32(n, shift), _mm512_set1_epi32(1));
    return _mm512_srl_epi32(_mm512_add_epi32(_mm512_add_epi32(n, bias), odd), shift);
  } else {
    return _mm512_srl_epi32(_mm512_add_epi32(n, bias), shift);
  }
}

template <bool Ties>
[[gnu::target("avx512f,avx512bw,avx512vl,avx512vbmi")]] void BlendRowsAvx512(
    uint8_t* out, const uint8_t* lower, const uint8_t* upper, size_t bytes, const Tap& tap) {
  const __m512i w1 = _mm512_set1_epi32(static_cast<int32_t>(tap.weight));
  const __m512i w0 = _mm512_set1_epi32(static_cast<int32_t>((1u << tap.shift) - tap.weight));
  const __m512i bias = _mm512_set1_epi32(RoundingBias(Ties, tap.shift));
  const __m128i shift = _mm_cvtsi32_si128(tap.shift);
  size_t k = 0;
  for (; k + 16 <= bytes; k += 16) {
    const __m512i a =
        _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lower + k)));
    const __m512i b =
        _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(upper + k)));
    const __m512i n = _mm512_add_epi32(_mm512_mullo_epi32(a, w0), _mm512_mullo_epi32(b, w1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k),
                     _mm512_cvtepi32_epi8(RoundShift16<Ties>(n, bias, shift)));
  }
  for (; k < bytes; ++k)
    out[k] = Blend<uint32_t>(lower[k], upper[k], tap.weight, tap.shift);
}

// @p blended must have 64 readable bytes from every window start (layout of 16-byte blocks).
template <bool Ties>
[[gnu::target("avx512f,avx512bw,avx512vl,avx512vbmi")]] void BlendColumnsAvx512(
    uint8_t* out, const uint8_t* blended, const ColumnLayout& layout, int32_t shift) {
  const __m512i one = _mm512_set1_epi32(static_cast<int32_t>(1u << shift));
  const __m512i bias = _mm512_set1_epi32(RoundingBias(Ties, shift));
  const __m512i low = _mm512_set1_epi32(0xFF);
  const __m128i count = _mm_cvtsi32_si128(shift);
  const int32_t* offsets = layout.offsets.data();
  const uint32_t* weights = layout.weights.data();
  size_t j = 0;
  for (; j + 16 <= layout.bytes; j += 16) {
    const size_t block = j / 16;
    const int32_t window = layout.windows[block];
    __m512i a;
    __m512i b;
    if (window >= 0) {
      const __m512i source = _mm512_loadu_si512(blended + window);
      const __m512i mask = _mm512_castsi256_si512(
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(layout.masks.data() + 32 * block)));
      const __m512i pairs = _mm512_permutexvar_epi8(mask, source);
      a = _mm512_cvtepu8_epi32(_mm512_castsi512_si128(pairs));
      b = _mm512_cvtepu8_epi32(_mm512_extracti32x4_epi32(pairs, 1));
    } else {
      const __m512i offset = _mm512_loadu_si512(offsets + j);
      const __m512i pair = _mm512_i32gather_epi32(offset, blended, 1);
      a = _mm512_and_si512(pair, low);
      b = _mm512_srli_epi32(pair, 24);
    }
    const __m512i w1 = _mm512_loadu_si512(weights + j);
    const __m512i n = _mm512_add_epi32(_mm512_mullo_epi32(a, _mm512_sub_epi32(one, w1)),
                                       _mm512_mullo_epi32(b, w1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j),
                     _mm512_cvtepi32_epi8(RoundShift16<Ties>(n, bias, count)));
  }
  for (; j < layout.bytes; ++j) {
    const uint8_t* v = blended + offsets[j];
    out[j] = Blend<uint32_t>(v[0], v[3], weights[j], shift);
  }
}

// The kernels of one instruction set, with the block and window sizes of their column layout.
struct Avx2Kernels {
  static constexpr int32_t kBlockBytes = 8;
  static constexpr int32_t kWindowBytes = 16;
  template <bool Ties>
  static void Rows(uint8_t* out, const uint8_t* lower, const uint8_t* upper, size_t bytes,
                   const Tap& tap) {
    BlendRowsAvx2<Ties>(out, lower, upper, bytes, tap);
  }
  template <bool Ties>
  static void Columns(uint8_t* out, const uint8_t* blended, const ColumnLayout& layout,
                      int32_t shift) {
    BlendColumnsAvx2<Ties>(out, blended, layout, shift);
  }
};

struct Avx512Kernels {
  static constexpr int32_t kBlockBytes = 16;
  static constexpr int32_t kWindowBytes = 64;
  template <bool Ties>
  static void Rows(uint8_t* out, const uint8_t* lower, const uint8_t* upper, size_t bytes,
                   const Tap& tap) {
    BlendRowsAvx512<Ties>(out, lower, upper, bytes, tap);
  }
  template <bool Ties>
  static void Columns(uint8_t* out, const uint8_t* blended, const ColumnLayout& layout,
                      int32_t shift) {
    BlendColumnsAvx512<Ties>(out, blended, layout, shift);
  }
};

// Needs every shift of both passes at most 24.
template <typename Kernels>
void RunVector(Plan& plan) {
  const bool columnTies = TiesPossible(plan.columns);
  UseCommonShift(plan.columns);
  const int32_t shift = plan.columns.maxShift;
  const ColumnLayout layout =
      MakeColumnLayout(plan.columns, Kernels::kBlockBytes, Kernels::kWindowBytes);
  // Window loads may reach W - 1 bytes past the last byte that a tap reads.
  std::vector<uint8_t> blended(plan.blendedBytes + Kernels::kWindowBytes);
  for (size_t y = 0; y < plan.rows.taps.size(); ++y) {
    platform::CheckInterrupt();
    const Tap& row = plan.rows.taps[y];
    const uint8_t* lower = plan.source.Row(row.index);
    if (row.weight == 0) {
      std::memcpy(blended.data(), lower, plan.blendedBytes);
    } else if (TiesPossible(row)) {
      Kernels::template Rows<true>(blended.data(), lower, plan.source.Row(row.index + 1),
                                   plan.blendedBytes, row);
    } else {
      Kernels::template Rows<false>(blended.data(), lower, plan.source.Row(row.index + 1),
                                    plan.blendedBytes, row);
    }
    uint8_t* out = plan.target.Row(static_cast<int32_t>(y));
    if (columnTies) {
      Kernels::template Columns<true>(out, blended.data(), layout, shift);
    } else {
      Kernels::template Columns<false>(out, blended.data(), layout, shift);
    }
  }
}

#endif  // CORVELLA_RESAMPLE_AVX2

}  // namespace

void ResampleInto(const cDIBSection& source, cDIBSection& target, SimdLevel level) {
  const int32_t targetWidth = target.dib_width();
  const int32_t targetHeight = target.dib_height();
  // The scale factors divide by the target size.
  if (targetWidth == 0 || targetHeight == 0) {
    Raise(RuntimeError::DivisionByZero, "resampling to an empty size");
  }
  Plan plan{source.Rows(), target.Rows(), {}, {}, 0};
  // Every position is checked against the source before the first byte is written; a target
  // without pixel memory has no rows to write.
  plan.columns = MakeAxis(source.dib_width(), targetWidth);
  plan.rows = MakeAxis(source.dib_height(), targetHeight);
  if (plan.source.Rows() == 0 || plan.target.Rows() == 0) {
    Raise(RuntimeError::SubscriptOutOfRange);
  }
  for (Tap& tap : plan.columns.taps)
    tap.index *= 3;
  // Taps never go back, so the last one reads furthest.
  plan.blendedBytes = static_cast<size_t>(plan.columns.taps.back().index) + 6;

#ifdef CORVELLA_RESAMPLE_AVX2
  if (plan.rows.maxShift <= 24 && plan.columns.maxShift <= 24 && !IsSparse(plan)) {
    if (MayUse(level, SimdLevel::Avx512)) {
      RunVector<Avx512Kernels>(plan);
      return;
    }
    if (MayUse(level, SimdLevel::Avx2)) {
      RunVector<Avx2Kernels>(plan);
      return;
    }
  }
#else
  (void)level;
#endif
  RunPortable(plan);
}

void cDIBSection::ResampleDib(cDIBSection& cDibTo) const {
  ResampleInto(*this, cDibTo, BestSimdLevel());
}

}  // namespace corvella::imaging
