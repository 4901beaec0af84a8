#include "corvella/imaging/picture.h"

#include <new>

#include "corvella/imaging/pixel_limit.h"

namespace corvella::imaging {

bool Picture::Allocate(int32_t width, int32_t height, PixelFormat format) {
  *this = Picture();
  if (!WithinPixelLimit(width, height)) return false;
  // Within the pixel limit both products fit comfortably in 64 bits.
  int64_t stride = (int64_t{width} * BytesPerPixel(format) + 3) & ~int64_t{3};
  auto* memory = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(stride), height));
  if (memory == nullptr) return false;
  pixels_.reset(memory);
  dc_.reset(new (std::nothrow) DeviceContext(memory, width, height, stride, format));
  if (!dc_) {
    pixels_.reset();
    return false;
  }
  width_ = width;
  height_ = height;
  stride_ = stride;
  format_ = format;
  return true;
}

}  // namespace corvella::imaging
