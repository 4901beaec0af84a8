#pragma once
/// @file
/// A decoded picture as a picture loader hands it over: an owned bitmap in top-down rows of any
/// PixelFormat, which cDIBSection::CreateFromPicture copies into a 24-bit buffer.

#include <cstdint>
#include <memory>

#include "corvella/imaging/device_context.h"
#include "corvella/imaging/pixel_memory.h"

namespace corvella::imaging {

/// An owned bitmap of @c Width() x @c Height() pixels, rows top-down, each row Stride() bytes
/// (the pixel bytes of the format rounded up to a multiple of 4). A default-constructed picture
/// holds no bitmap, like a picture handle that is not a bitmap.
class Picture {
 public:
  Picture() = default;
  Picture(Picture&&) noexcept = default;
  Picture& operator=(Picture&&) noexcept = default;

  /// Allocates a zeroed bitmap. Answers false, and leaves the picture without a bitmap, when a
  /// side is not positive, the size exceeds the host's pixel limit, or memory is short.
  bool Allocate(int32_t width, int32_t height, PixelFormat format);

  bool IsBitmap() const { return pixels_.Data() != nullptr; }
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  PixelFormat Format() const { return format_; }
  ptrdiff_t Stride() const { return stride_; }
  /// Row @p y from the top; unchecked.
  uint8_t* Row(int32_t y) const { return pixels_.Data() + static_cast<ptrdiff_t>(y) * stride_; }
  /// A device context over the bitmap (0 when there is none), for block copies out of it.
  Hdc Dc() const { return dc_.get(); }

 private:
  PixelMemory pixels_;
  std::unique_ptr<DeviceContext> dc_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  ptrdiff_t stride_ = 0;
  PixelFormat format_ = PixelFormat::Bgr24;
};

}  // namespace corvella::imaging
