#pragma once
/// @file
/// Square convolution filters of a 24-bit picture, in place.
///
/// Every inner pixel is computed from the unfiltered pixels around it: each channel sums
/// kernel(i, j) x byte over the (2r + 1) x (2r + 1) neighbourhood, the sum is divided by the
/// divisor truncating toward zero and clamped to 0 .. 255. The outermost r columns and rows keep
/// their values, and so does the whole picture when it is narrower or lower than 2r + 1. Padding
/// bytes after the last pixel of a row are not written.

#include <cstdint>
#include <vector>

#include "corvella/imaging/image_view.h"

namespace corvella::operations {

/// A square kernel of 16-bit weights. kernel(i, j) weighs the pixel i columns to the right
/// (negative: left) and j rows up the picture (the next row in bottom-up memory) of the pixel
/// being computed.
struct FilterKernel {
  int16_t radius = 0;            ///< r: the kernel is (2r + 1) x (2r + 1)
  std::vector<int16_t> weights;  ///< (2r + 1)^2 weights, index (j + r) x (2r + 1) + (i + r)

  int16_t operator()(int32_t i, int32_t j) const {
    const int32_t side = 2 * radius + 1;
    return weights[static_cast<size_t>((j + radius) * side + (i + radius))];
  }
};

/// The 3 x 3 kernel of ones (divisor 9).
FilterKernel BlurKernel();
/// The 3 x 3 kernel of -1 around a centre of 32 (divisor 24).
FilterKernel SharpenKernel();

/// The sum of the kernel's weights in checked 16-bit arithmetic (runtime error 6 on overflow).
int16_t KernelDivisor(const FilterKernel& kernel);

/// Filters @p image in place with @p kernel and @p divisor. The two kernels above take exact
/// separable paths; any other kernel is computed term by term with 16-bit products and 32-bit
/// sums, raising runtime error 6 when one leaves its range and runtime error 11 for a divisor of
/// 0 (before any pixel changes).
void ApplyFilter(const imaging::ImageView& image, const FilterKernel& kernel, int16_t divisor);

}  // namespace corvella::operations
