#pragma once
/// @file
/// Non-owning views over pixel memory, shared by every operation.
///
/// An ImageView addresses rows top-down (row 0 is the top of the picture) with a signed byte
/// stride. Over bottom-up memory the view starts at the last memory row and the stride is
/// negative, so operations think in picture coordinates and only the codec and the resampler name
/// memory rows.

#include <cassert>
#include <cstddef>
#include <cstdint>

namespace corvella::imaging {

/// Bytes per pixel of the working image: blue, green, red.
inline constexpr int32_t kBytesPerPixel = 3;

/// A top-down view of 24-bit BGR pixels. Does not own the memory.
template <typename Byte>
struct BasicImageView {
  Byte* top = nullptr;   ///< first byte of the top row
  int32_t width = 0;     ///< pixels per row
  int32_t height = 0;    ///< rows
  ptrdiff_t stride = 0;  ///< bytes from one row to the next one down (negative over bottom-up)

  /// Row @p y, counted from the top. Callers validate the rectangle first; debug builds assert
  /// that the row lies inside the view.
  Byte* Row(int32_t y) const {
    assert(y >= 0 && y < height);
    return top + static_cast<ptrdiff_t>(y) * stride;
  }
  bool Empty() const { return top == nullptr || width <= 0 || height <= 0; }

  operator BasicImageView<const Byte>() const { return {top, width, height, stride}; }
};

using ImageView = BasicImageView<uint8_t>;
using ConstImageView = BasicImageView<const uint8_t>;

}  // namespace corvella::imaging
