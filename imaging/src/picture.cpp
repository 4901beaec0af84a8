#include "corvella/imaging/picture.h"

#include <new>
#include <utility>

#include "corvella/imaging/pixel_limit.h"

namespace corvella::imaging {

bool Picture::Allocate(int32_t width, int32_t height, PixelFormat format) {
  *this = Picture();
  if (!WithinPixelLimit(width, height)) return false;
  // Within the pixel limit both products fit comfortably in 64 bits.
  int64_t stride = (int64_t{width} * BytesPerPixel(format) + 3) & ~int64_t{3};
  PixelMemory memory(static_cast<size_t>(stride) * static_cast<size_t>(height));
  if (memory.Data() == nullptr) return false;
  dc_.reset(new (std::nothrow) DeviceContext(memory.Data(), width, height, stride, format));
  if (!dc_) return false;
  pixels_ = std::move(memory);
  width_ = width;
  height_ = height;
  stride_ = stride;
  format_ = format;
  return true;
}

}  // namespace corvella::imaging
