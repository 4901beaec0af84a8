#pragma once
/// @file
/// The two 3 x 3 convolution filters of a 24-bit picture, in place.
///
/// Every inner pixel is computed from the unfiltered pixels around it: each channel sums
/// weight x byte over the 3 x 3 neighbourhood, the sum is divided by the divisor truncating toward
/// zero and clamped to 0 .. 255. The outermost column and row on each side keep their values, and
/// so does the whole picture when it is narrower or lower than 3 pixels. Padding bytes after the
/// last pixel of a row are not written.

#include "corvella/imaging/image_view.h"

namespace corvella::operations {

/// The box blur: weights of 1, divisor 9.
void Blur(const imaging::ImageView& image);

/// Sharpening: a centre weight of 32 and -1 around it, divisor 24.
void Sharpen(const imaging::ImageView& image);

}  // namespace corvella::operations
