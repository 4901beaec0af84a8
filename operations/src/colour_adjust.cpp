#include "corvella/operations/colour_adjust.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "corvella/platform/checked.h"
#include "corvella/platform/run_limits.h"
#include "kernel_support.h"

namespace corvella::operations {

using imaging::ImageView;
using imaging::kBytesPerPixel;

ChannelTable GammaTable(float gamma) {
  ChannelTable table;
  if (gamma == 1.0f) {
    for (int b = 0; b < 256; ++b)
      table[b] = static_cast<uint8_t>(b);
    return table;
  }
  const double exponent = 1.0 / static_cast<double>(gamma);
  for (int b = 0; b < 256; ++b) {
    // The exponent is positive, so the value lies in 0 .. 255 and the conversion cannot fail.
    table[b] = platform::checked::DoubleToByte(255.0 * std::pow(b / 255.0, exponent));
  }
  return table;
}

namespace {

// Pictures of at least this many pixels amortise the pair tables (3 x 65536 entries).
constexpr int64_t kPairTablePixels = 1 << 18;

void GammaByChannel(const ImageView& image, const ChannelTable& tb, const ChannelTable& tg,
                    const ChannelTable& tr) {
  for (int32_t y = 0; y < image.height; ++y) {
    platform::CheckInterrupt();
    uint8_t* p = image.Row(y);
    for (int32_t x = 0; x < image.width; ++x, p += kBytesPerPixel) {
      const uint8_t b = tb[p[0]];
      const uint8_t g = tg[p[1]];
      const uint8_t r = tr[p[2]];
      p[0] = b;
      p[1] = g;
      p[2] = r;
    }
  }
}

// A table from two adjacent bytes to their two new values, the first through @p first and the
// second through @p second. Indexed by the two bytes as they lie in memory, whatever the byte
// order of the host.
std::vector<uint16_t> PairTable(const ChannelTable& first, const ChannelTable& second) {
  std::vector<uint16_t> table(65536);
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      const uint8_t in[2] = {static_cast<uint8_t>(a), static_cast<uint8_t>(b)};
      const uint8_t out[2] = {first[a], second[b]};
      uint16_t index;
      uint16_t value;
      std::memcpy(&index, in, 2);
      std::memcpy(&value, out, 2);
      table[index] = value;
    }
  }
  return table;
}

// Six bytes (two pixels) are three pairs: blue-green, red-blue, green-red.
void GammaByPairs(const ImageView& image, const ChannelTable& tb, const ChannelTable& tg,
                  const ChannelTable& tr) {
  const std::vector<uint16_t> bgTable = PairTable(tb, tg);
  const std::vector<uint16_t> rbTable = PairTable(tr, tb);
  const std::vector<uint16_t> grTable = PairTable(tg, tr);
  // Plain pointers, so that the byte stores (which may alias anything) do not make the compiler
  // reload the tables' addresses.
  const uint16_t* bg = bgTable.data();
  const uint16_t* rb = rbTable.data();
  const uint16_t* gr = grTable.data();
  const size_t bytes = static_cast<size_t>(image.width) * kBytesPerPixel;
  for (int32_t y = 0; y < image.height; ++y) {
    platform::CheckInterrupt();
    uint8_t* p = image.Row(y);
    size_t k = 0;
    for (; k + 6 <= bytes; k += 6) {
      uint16_t pairs[3];
      std::memcpy(pairs, p + k, 6);
      pairs[0] = bg[pairs[0]];
      pairs[1] = rb[pairs[1]];
      pairs[2] = gr[pairs[2]];
      std::memcpy(p + k, pairs, 6);
    }
    if (k < bytes) {  // an odd width leaves one pixel
      p[k] = tb[p[k]];
      p[k + 1] = tg[p[k + 1]];
      p[k + 2] = tr[p[k + 2]];
    }
  }
}

#ifdef CORVELLA_OPERATIONS_AVX2

// Looks up 64 bytes in a 256-byte table held in four registers: two 128-byte permutes, chosen
// by the top bit of each byte.
[[gnu::target("avx512f,avx512bw,avx512vl,avx512vbmi")]] inline __m512i Lookup64(
    __m512i bytes, __mmask64 upper, const __m512i table[4]) {
  const __m512i low = _mm512_permutex2var_epi8(table[0], bytes, table[1]);
  const __m512i high = _mm512_permutex2var_epi8(table[2], bytes, table[3]);
  return _mm512_mask_blend_epi8(upper, low, high);
}

// Byte i of a 64-byte block that starts at byte 64 k of a row belongs to channel (k + i) mod 3,
// as 64 = 1 mod 3; the masks select the green and red bytes for k mod 3 = 0, 1, 2.
[[gnu::target("avx512f,avx512bw,avx512vl,avx512vbmi")]] void GammaAvx512(const ImageView& image,
                                                                         const ChannelTable& tb,
                                                                         const ChannelTable& tg,
                                                                         const ChannelTable& tr) {
  __m512i blue[4];
  __m512i green[4];
  __m512i red[4];
  for (int i = 0; i < 4; ++i) {
    blue[i] = _mm512_loadu_si512(tb.data() + 64 * i);
    green[i] = _mm512_loadu_si512(tg.data() + 64 * i);
    red[i] = _mm512_loadu_si512(tr.data() + 64 * i);
  }
  __mmask64 greenMask[3] = {0, 0, 0};
  __mmask64 redMask[3] = {0, 0, 0};
  for (int phase = 0; phase < 3; ++phase) {
    for (int i = 0; i < 64; ++i) {
      const int channel = (phase + i) % 3;
      if (channel == 1) greenMask[phase] |= __mmask64{1} << i;
      if (channel == 2) redMask[phase] |= __mmask64{1} << i;
    }
  }
  const ChannelTable* tables[3] = {&tb, &tg, &tr};
  const size_t bytes = static_cast<size_t>(image.width) * kBytesPerPixel;
  for (int32_t y = 0; y < image.height; ++y) {
    platform::CheckInterrupt();
    uint8_t* p = image.Row(y);
    size_t k = 0;
    int phase = 0;
    for (; k + 64 <= bytes; k += 64) {
      const __m512i in = _mm512_loadu_si512(p + k);
      const __mmask64 upper = _mm512_movepi8_mask(in);
      __m512i out = Lookup64(in, upper, blue);
      out = _mm512_mask_mov_epi8(out, greenMask[phase], Lookup64(in, upper, green));
      out = _mm512_mask_mov_epi8(out, redMask[phase], Lookup64(in, upper, red));
      _mm512_storeu_si512(p + k, out);
      phase = phase == 2 ? 0 : phase + 1;
    }
    for (; k < bytes; ++k)
      p[k] = (*tables[k % 3])[p[k]];
  }
}

#endif  // CORVELLA_OPERATIONS_AVX2

}  // namespace

void Gamma(const ImageView& image, float red, float green, float blue, imaging::SimdLevel level) {
  if (image.Empty() || (red == 1.0f && green == 1.0f && blue == 1.0f)) return;
  const ChannelTable tb = GammaTable(blue);
  const ChannelTable tg = GammaTable(green);
  const ChannelTable tr = GammaTable(red);
  const ImageView rows = InMemoryOrder(image);
#ifdef CORVELLA_OPERATIONS_AVX2
  if (imaging::MayUse(level, imaging::SimdLevel::Avx512)) {
    GammaAvx512(rows, tb, tg, tr);
    return;
  }
#else
  (void)level;
#endif
  if (int64_t{image.width} * image.height >= kPairTablePixels) {
    GammaByPairs(rows, tb, tg, tr);
  } else {
    GammaByChannel(rows, tb, tg, tr);
  }
}

void Negative(const ImageView& picture) {
  if (picture.Empty()) return;
  const ImageView image = InMemoryOrder(picture);
  const size_t bytes = static_cast<size_t>(image.width) * kBytesPerPixel;
  for (int32_t y = 0; y < image.height; ++y) {
    platform::CheckInterrupt();
    uint8_t* p = image.Row(y);
    // Eight bytes at a time, then the rest; the padding after the last pixel is not touched.
    size_t i = 0;
    for (; i + 8 <= bytes; i += 8) {
      uint64_t v;
      std::memcpy(&v, p + i, 8);
      v = ~v;
      std::memcpy(p + i, &v, 8);
    }
    for (; i < bytes; ++i)
      p[i] = static_cast<uint8_t>(~p[i]);
  }
}

namespace {

// Rounds s / 1000 half to even as (s + 500) / 1000, less one where s + 500 is a multiple of 1000
// (a tie) and the quotient is odd. Integer only, so that the vectoriser can take it.
[[gnu::always_inline]] inline void GreyRow(uint8_t* __restrict p, int32_t width) {
  for (int32_t x = 0; x < width; ++x) {
    const uint32_t t = 222u * p[3 * x + 2] + 707u * p[3 * x + 1] + 71u * p[3 * x] + 500u;
    const uint32_t q = t / 1000u;
    const auto grey = static_cast<uint8_t>(q - ((q * 1000u == t) & q & 1u));
    p[3 * x] = grey;
    p[3 * x + 1] = grey;
    p[3 * x + 2] = grey;
  }
}

void GreyRowPortable(uint8_t* p, int32_t width) {
  GreyRow(p, width);
}

#ifdef CORVELLA_OPERATIONS_AVX2

[[gnu::target("avx2")]] void GreyRowAvx2(uint8_t* p, int32_t width) {
  GreyRow(p, width);
}

// The byte permutes that split 64 pixels (three registers) into their blue, green and red bytes
// and spread 64 grey bytes back over three registers.
struct GreyPermutes {
  uint8_t fromFirstTwo[3][64];  // channel c of pixel i: byte 3 i + c of registers 0 and 1 ...
  uint8_t fromThird[3][64];     // ... or, when 3 i + c >= 128, byte 3 i + c - 128 of register 2
  uint64_t thirdMask[3];
  uint8_t spread[3][64];  // byte k of output register o: grey of pixel (64 o + k) / 3
};

constexpr GreyPermutes MakeGreyPermutes() {
  GreyPermutes permutes{};
  for (int c = 0; c < 3; ++c) {
    permutes.thirdMask[c] = 0;
    for (int i = 0; i < 64; ++i) {
      const int at = 3 * i + c;
      permutes.fromFirstTwo[c][i] = static_cast<uint8_t>(at & 127);
      permutes.fromThird[c][i] = static_cast<uint8_t>(at >= 128 ? at - 128 : 0);
      if (at >= 128) permutes.thirdMask[c] |= uint64_t{1} << i;
    }
  }
  for (int o = 0; o < 3; ++o) {
    for (int k = 0; k < 64; ++k)
      permutes.spread[o][k] = static_cast<uint8_t>((64 * o + k) / 3);
  }
  return permutes;
}

constexpr GreyPermutes kGreyPermutes = MakeGreyPermutes();

// The grey values of pixels 16 Q .. 16 Q + 15 of a block, put into bytes 16 Q .. of @p grey.
// The quotient (s + 500) / 1000 is taken in single precision as ((s + 500) + 0.5) x 0.001: the
// true value lies at least 0.0005 from an integer and the float error stays below 0.00003, so
// truncation gives the exact quotient.
template <int Q>
[[gnu::target("avx512f,avx512bw,avx512vl,avx512vbmi")]] inline __m512i GreyQuarter(
    __m512i grey, const __m512i channel[3]) {
  const int32_t weights[3] = {71, 707, 222};
  __m512i t = _mm512_set1_epi32(500);
  for (int c = 0; c < 3; ++c) {
    const __m512i v = _mm512_cvtepu8_epi32(_mm512_extracti32x4_epi32(channel[c], Q));
    t = _mm512_add_epi32(t, _mm512_mullo_epi32(v, _mm512_set1_epi32(weights[c])));
  }
  const __m512 scaled = _mm512_mul_ps(_mm512_add_ps(_mm512_cvtepi32_ps(t), _mm512_set1_ps(0.5f)),
                                      _mm512_set1_ps(0.001f));
  const __m512i quotient = _mm512_cvttps_epi32(scaled);
  const __mmask16 tie =
      _mm512_cmpeq_epi32_mask(_mm512_mullo_epi32(quotient, _mm512_set1_epi32(1000)), t);
  const __m512i g = _mm512_mask_sub_epi32(quotient, tie, quotient,
                                          _mm512_and_si512(quotient, _mm512_set1_epi32(1)));
  return _mm512_inserti32x4(grey, _mm512_cvtepi32_epi8(g), Q);
}

// GreyRow for 64 pixels at a time.
[[gnu::target("avx512f,avx512bw,avx512vl,avx512vbmi")]] void GreyRowAvx512(uint8_t* p,
                                                                           int32_t width) {
  const GreyPermutes& k = kGreyPermutes;
  __m512i fromFirstTwo[3];
  __m512i fromThird[3];
  for (int c = 0; c < 3; ++c) {
    fromFirstTwo[c] = _mm512_loadu_si512(k.fromFirstTwo[c]);
    fromThird[c] = _mm512_loadu_si512(k.fromThird[c]);
  }
  int32_t x = 0;
  for (; x + 64 <= width; x += 64) {
    uint8_t* block = p + 3 * x;
    const __m512i in[3] = {_mm512_loadu_si512(block), _mm512_loadu_si512(block + 64),
                           _mm512_loadu_si512(block + 128)};
    __m512i channel[3];
    for (int c = 0; c < 3; ++c) {
      channel[c] = _mm512_permutex2var_epi8(in[0], fromFirstTwo[c], in[1]);
      channel[c] = _mm512_mask_permutexvar_epi8(channel[c], k.thirdMask[c], fromThird[c], in[2]);
    }
    __m512i grey = _mm512_setzero_si512();
    grey = GreyQuarter<0>(grey, channel);
    grey = GreyQuarter<1>(grey, channel);
    grey = GreyQuarter<2>(grey, channel);
    grey = GreyQuarter<3>(grey, channel);
    for (int o = 0; o < 3; ++o) {
      _mm512_storeu_si512(block + 64 * o,
                          _mm512_permutexvar_epi8(_mm512_loadu_si512(k.spread[o]), grey));
    }
  }
  GreyRow(p + 3 * x, width - x);
}

#endif  // CORVELLA_OPERATIONS_AVX2

}  // namespace

void GreyScale(const ImageView& image, imaging::SimdLevel level) {
  if (image.Empty()) return;
  void (*row)(uint8_t*, int32_t) = GreyRowPortable;
#ifdef CORVELLA_OPERATIONS_AVX2
  if (imaging::MayUse(level, imaging::SimdLevel::Avx512)) {
    row = GreyRowAvx512;
  } else if (imaging::MayUse(level, imaging::SimdLevel::Avx2)) {
    row = GreyRowAvx2;
  }
#else
  (void)level;
#endif
  const ImageView rows = InMemoryOrder(image);
  for (int32_t y = 0; y < rows.height; ++y)
    row(rows.Row(y), rows.width);
}

}  // namespace corvella::operations
