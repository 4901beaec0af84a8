#pragma once
/// @file
/// Colour adjustments of a 24-bit picture, in place: gamma curves per channel, the negative and
/// the weighted grey. Each pixel is computed from its own old bytes only; the padding bytes after
/// the last pixel of a row are never touched. Views are top-down (see image_view.h); the row order
/// does not matter to these operations.

#include <array>
#include <cstdint>

#include "corvella/imaging/image_view.h"
#include "corvella/imaging/simd.h"

namespace corvella::operations {

/// A lookup table from an old channel byte to its new value.
using ChannelTable = std::array<uint8_t, 256>;

/// The gamma curve of one channel: byte b becomes 255 x (b / 255) ^ (1 / g), rounded half to
/// even, with 1 / g the double reciprocal of the 32-bit value. A value of exactly 1.0 gives the
/// identity. @p gamma lies in (0, 255].
ChannelTable GammaTable(float gamma);

/// Applies the three gamma curves (blue with @p blue, green with @p green, red with @p red). A
/// channel whose value is exactly 1.0 is left alone. Without byte-permute instructions, large
/// pictures go through tables of byte pairs built from the three channel tables.
void Gamma(const imaging::ImageView& image, float red, float green, float blue,
           imaging::SimdLevel level = imaging::BestSimdLevel());

/// Every channel byte b becomes 255 - b.
void Negative(const imaging::ImageView& image);

/// @p sum / 1000 rounded half to even, for a weighted sum of 0 .. 255000. Computed exactly in
/// integers; the same as the double-precision quotient for every such sum.
inline uint8_t GreyOfSum(uint32_t sum) {
  const uint32_t q = sum / 1000;
  const uint32_t r = sum - q * 1000;
  return static_cast<uint8_t>(q + (r > 500 || (r == 500 && (q & 1) != 0) ? 1 : 0));
}

/// The grey value of a pixel: (222 x red + 707 x green + 71 x blue) / 1000 rounded half to even.
inline uint8_t GreyValue(uint8_t blue, uint8_t green, uint8_t red) {
  return GreyOfSum(222u * red + 707u * green + 71u * blue);
}

/// Every pixel's three bytes become its GreyValue.
void GreyScale(const imaging::ImageView& image,
               imaging::SimdLevel level = imaging::BestSimdLevel());

}  // namespace corvella::operations
