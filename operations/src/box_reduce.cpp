// BoxReduceInto: precomputed weight tables per axis, then one horizontal pass per source row
// into a row of 16-bit partial means and a weighed vertical sum of those rows per target row.

#include "corvella/operations/box_reduce.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace corvella::operations {

using imaging::kBytesPerPixel;

namespace {

// The weights of one axis (see kBoxOne): target pixel i reads count[i] source pixels from
// first[i], their weights at weights[offset[i]...].
struct AxisWeights {
  std::vector<int32_t> first;
  std::vector<int32_t> count;
  std::vector<int32_t> offset;
  std::vector<uint16_t> weights;
};

// Target pixel i covers [i x S, (i + 1) x S) and source pixel x covers [x x T, (x + 1) x T), both
// in units of 1 / T source pixels (S source, T target pixels), so the overlaps are exact
// integers. Each weight is its overlap / S rounded to kBoxOne; the largest weight takes up what
// the rounding left, so that every target pixel's weights add up to kBoxOne exactly.
AxisWeights MakeWeights(int32_t sourceSize, int32_t targetSize) {
  AxisWeights axis;
  axis.first.resize(static_cast<size_t>(targetSize));
  axis.count.resize(static_cast<size_t>(targetSize));
  axis.offset.resize(static_cast<size_t>(targetSize));
  axis.weights.reserve(static_cast<size_t>(sourceSize) + static_cast<size_t>(targetSize));
  const int64_t s = sourceSize;
  const int64_t t = targetSize;
  for (int64_t i = 0; i < t; ++i) {
    const int64_t lo = i * s;
    const int64_t hi = lo + s;
    const int64_t x0 = lo / t;
    const int64_t x1 = (hi - 1) / t;
    const auto index = static_cast<size_t>(i);
    axis.first[index] = static_cast<int32_t>(x0);
    axis.count[index] = static_cast<int32_t>(x1 - x0 + 1);
    axis.offset[index] = static_cast<int32_t>(axis.weights.size());
    int32_t sum = 0;
    size_t largest = axis.weights.size();
    for (int64_t x = x0; x <= x1; ++x) {
      const int64_t overlap = std::min(hi, (x + 1) * t) - std::max(lo, x * t);
      const auto weight = static_cast<int32_t>((overlap * kBoxOne + s / 2) / s);
      if (axis.weights.size() == largest || weight > axis.weights[largest]) {
        largest = axis.weights.size();
      }
      axis.weights.push_back(static_cast<uint16_t>(weight));
      sum += weight;
    }
    axis.weights[largest] = static_cast<uint16_t>(axis.weights[largest] + (kBoxOne - sum));
  }
  return axis;
}

// One source row reduced across: each channel's weighed sum (at most 255 x kBoxOne) kept with
// eight fractional bits, at most 255 x 256.
void ReduceRow(const uint8_t* source, const AxisWeights& across, int32_t width, uint16_t* out) {
  const uint16_t* weights = across.weights.data();
  for (int32_t i = 0; i < width; ++i, out += kBytesPerPixel) {
    const uint8_t* s = source + static_cast<ptrdiff_t>(across.first[static_cast<size_t>(i)]) *
                                    kBytesPerPixel;
    const uint16_t* w = weights + across.offset[static_cast<size_t>(i)];
    const int32_t count = across.count[static_cast<size_t>(i)];
    uint32_t b = 0;
    uint32_t g = 0;
    uint32_t r = 0;
    for (int32_t k = 0; k < count; ++k, s += kBytesPerPixel) {
      b += uint32_t{w[k]} * s[0];
      g += uint32_t{w[k]} * s[1];
      r += uint32_t{w[k]} * s[2];
    }
    out[0] = static_cast<uint16_t>((b + 32) >> 6);
    out[1] = static_cast<uint16_t>((g + 32) >> 6);
    out[2] = static_cast<uint16_t>((r + 32) >> 6);
  }
}

}  // namespace

void BoxReduceInto(const imaging::ConstImageView& src, const imaging::ImageView& dst) {
  if (src.Empty() || dst.Empty() || dst.width > src.width || dst.height > src.height) return;
  const AxisWeights across = MakeWeights(src.width, dst.width);
  const AxisWeights down = MakeWeights(src.height, dst.height);
  const size_t rowValues = static_cast<size_t>(dst.width) * kBytesPerPixel;
  std::vector<uint16_t> partial(rowValues);
  std::vector<uint32_t> sum(rowValues);
  for (int32_t j = 0; j < dst.height; ++j) {
    const auto index = static_cast<size_t>(j);
    const int32_t y0 = down.first[index];
    const uint16_t* w = down.weights.data() + down.offset[index];
    // Partial means of at most 255 x 256 times weights adding up to kBoxOne: below 2^32.
    for (int32_t k = 0; k < down.count[index]; ++k) {
      ReduceRow(src.Row(y0 + k), across, dst.width, partial.data());
      const uint32_t weight = w[k];
      if (k == 0) {
        for (size_t v = 0; v < rowValues; ++v) sum[v] = weight * partial[v];
      } else {
        for (size_t v = 0; v < rowValues; ++v) sum[v] += weight * partial[v];
      }
    }
    uint8_t* out = dst.Row(j);
    for (size_t v = 0; v < rowValues; ++v) {
      out[v] = static_cast<uint8_t>((sum[v] + (uint32_t{1} << 21)) >> 22);
    }
  }
}

}  // namespace corvella::operations
