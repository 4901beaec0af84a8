#pragma once
/// @file
/// Area-averaging reduction of a 24-bit picture: every target pixel is the mean of the source
/// area it covers, each source pixel weighed by the part of it inside that area. Nothing aliases,
/// whatever the factor, which is what a thumbnail wants; it is not the bilinear Resample.

#include <cstdint>

#include "corvella/imaging/image_view.h"

namespace corvella::operations {

/// Fixed-point weights of one axis: target pixel i is the sum over source pixels first[i] ..
/// first[i] + count[i] - 1 of weight x value, the weights of each target pixel adding up to
/// exactly kBoxOne.
inline constexpr int32_t kBoxOne = 1 << 14;

/// Reduces @p src into @p dst, which must be at most as wide and as high as @p src (and not
/// empty): target pixel (i, j) covers source x from i x sw / dw to (i + 1) x sw / dw and likewise
/// in y. Each channel is the covered area's weighed mean, rounded; a uniform picture stays
/// exactly uniform and a factor of two averages 2 x 2 blocks with rounding half up. Does nothing
/// when the views do not fit these rules. Allocates two small weight tables and two rows, never
/// per pixel.
void BoxReduceInto(const imaging::ConstImageView& src, const imaging::ImageView& dst);

}  // namespace corvella::operations
