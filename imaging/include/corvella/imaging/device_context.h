#pragma once
/// @file
/// The drawing surface of a bitmap: a device context whose pixels are the bitmap's own memory,
/// addressed in top-down device coordinates, and the block copy between two of them.

#include <cstdint>

#include "corvella/imaging/image_view.h"

namespace corvella::imaging {

/// Pixel formats that a surface may hold. Buffers of the component are always Bgr24; pictures
/// handed in by a loader may use the others and are converted when copied.
enum class PixelFormat : uint8_t {
  Bgr24,   ///< blue, green, red
  Rgb24,   ///< red, green, blue
  Bgrx32,  ///< blue, green, red, one unused byte
  Gray8,   ///< one grey byte, copied into all three channels
};

/// Bytes per pixel of a format.
int32_t BytesPerPixel(PixelFormat format);

/// A device context: a top-down surface over someone else's pixel memory. Device point (x, y) is
/// pixel x of row y counted from the top. The owner of the memory owns the context too.
class DeviceContext {
 public:
  DeviceContext(uint8_t* top, int32_t width, int32_t height, ptrdiff_t stride, PixelFormat format)
      : top_(top), width_(width), height_(height), stride_(stride), format_(format) {}

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  PixelFormat Format() const { return format_; }
  ptrdiff_t Stride() const { return stride_; }
  /// Row @p y from the top; unchecked.
  uint8_t* Row(int32_t y) const { return top_ + static_cast<ptrdiff_t>(y) * stride_; }
  /// The surface as a 24-bit view; only meaningful for Bgr24 surfaces.
  ImageView View() const { return {top_, width_, height_, stride_}; }

 private:
  uint8_t* top_;
  int32_t width_;
  int32_t height_;
  ptrdiff_t stride_;
  PixelFormat format_;
};

/// A device context handle; nullptr stands for the handle 0.
using Hdc = DeviceContext*;

/// Raster operations. Only the plain copy is supported; the component uses no other.
enum class RasterOp : uint32_t {
  SrcCopy = 0xCC0020,
};

/// Copies the w x h block whose top-left device point in @p src is (sx, sy) to the block whose
/// top-left device point in @p dst is (dx, dy). Pixels whose source or destination lies outside
/// its surface are skipped, so the copy never reads or writes outside either bitmap. Between two
/// Bgr24 surfaces the copy is byte-exact (overlapping blocks of one surface included); other source
/// formats are converted to blue, green, red. The destination must be Bgr24.
/// Answers false when a handle is 0, the destination is not Bgr24 or the operation is unknown.
bool BitBlt(Hdc dst, int32_t dx, int32_t dy, int32_t w, int32_t h, Hdc src, int32_t sx, int32_t sy,
            RasterOp rop);

}  // namespace corvella::imaging
