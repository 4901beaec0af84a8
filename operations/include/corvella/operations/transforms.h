#pragma once
/// @file
/// Geometric transforms of a 24-bit picture. Pixels move without changing their values. Views are
/// top-down: row 0 is the top of the picture and device point (x, y) is pixel x of row y. Padding
/// bytes after the last pixel of a row are neither read as pixels nor written.

#include "corvella/imaging/image_view.h"
#include "corvella/imaging/simd.h"

namespace corvella::operations {

/// Turns the picture upside down in place: rows y and height - 1 - y change places.
void FlipInPlace(const imaging::ImageView& image);

/// Reverses every row in place: pixels x and width - 1 - x change places.
void MirrorInPlace(const imaging::ImageView& image,
                   imaging::SimdLevel level = imaging::BestSimdLevel());

/// Writes @p src turned a quarter turn clockwise into @p dst, which must be src.height pixels
/// wide and src.width rows high: dst point (i, j) = src point (j, src.height - 1 - i). The old
/// bottom-left pixel becomes the new top-left one. Does nothing when either view is empty.
void RotateRightInto(const imaging::ConstImageView& src, const imaging::ImageView& dst,
                     imaging::SimdLevel level = imaging::BestSimdLevel());

/// Writes @p src turned a quarter turn counter-clockwise into @p dst (sized as for
/// RotateRightInto): dst point (i, j) = src point (src.width - 1 - j, i). The old top-right pixel
/// becomes the new top-left one. Does nothing when either view is empty.
void RotateLeftInto(const imaging::ConstImageView& src, const imaging::ImageView& dst,
                    imaging::SimdLevel level = imaging::BestSimdLevel());

}  // namespace corvella::operations
