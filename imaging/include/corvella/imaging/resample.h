#pragma once
/// @file
/// The bilinear resampler behind cDIBSection::ResampleDib, with a choice of kernels.

#include "corvella/imaging/dib_section.h"
#include "corvella/imaging/simd.h"

namespace corvella::imaging {

/// Fills @p target, already created at the wanted size, with a bilinear scaled copy of
/// @p source, exactly as cDIBSection::ResampleDib does, using the kernels of @p level (which
/// must be supported). Memory coordinates on both sides: target row y and pixel x sample source
/// position (y x (sh - 1) / dh, x x (sw - 1) / dw) in 32-bit floats, so both pictures are aligned
/// at their bottom-left pixels. Each sample is rounded half to even between two source rows, then
/// between the two columns of those results.
///
/// Raises runtime error 11 for a target width or height of 0, then runtime error 9 when a sample
/// would read outside the source (a source 1 pixel wide or high, or without pixels) or when the
/// target has no pixel memory; in every case before any byte is written. Padding bytes of the
/// target rows are not written.
void ResampleInto(const cDIBSection& source, cDIBSection& target, SimdLevel level);

}  // namespace corvella::imaging
