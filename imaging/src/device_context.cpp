#include "corvella/imaging/device_context.h"

#include <algorithm>
#include <cstring>

namespace corvella::imaging {

int32_t BytesPerPixel(PixelFormat format) {
  switch (format) {
    case PixelFormat::Bgr24:
    case PixelFormat::Rgb24:
      return 3;
    case PixelFormat::Bgrx32:
      return 4;
    case PixelFormat::Gray8:
      return 1;
  }
  return 3;
}

namespace {

// Converts one row of @p count source pixels into blue, green, red bytes.
void ConvertRow(uint8_t* out, const uint8_t* in, int64_t count, PixelFormat format) {
  switch (format) {
    case PixelFormat::Bgr24:
      std::memmove(out, in, static_cast<size_t>(count) * 3);
      break;
    case PixelFormat::Rgb24:
      for (int64_t i = 0; i < count; ++i, in += 3, out += 3) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
      }
      break;
    case PixelFormat::Bgrx32:
      for (int64_t i = 0; i < count; ++i, in += 4, out += 3) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
      }
      break;
    case PixelFormat::Gray8:
      for (int64_t i = 0; i < count; ++i, ++in, out += 3)
        out[0] = out[1] = out[2] = *in;
      break;
  }
}

}  // namespace

bool BitBlt(Hdc dst, int32_t dx, int32_t dy, int32_t w, int32_t h, Hdc src, int32_t sx, int32_t sy,
            RasterOp rop) {
  if (dst == nullptr || src == nullptr || rop != RasterOp::SrcCopy) return false;
  if (dst->Format() != PixelFormat::Bgr24) return false;
  // Offsets i (columns) and j (rows) inside the block for which both the source pixel and the
  // destination pixel lie inside their surfaces. 64-bit, so that no sum can overflow.
  int64_t iBegin = std::max<int64_t>({0, -int64_t{dx}, -int64_t{sx}});
  int64_t iEnd =
      std::min<int64_t>({int64_t{w}, int64_t{dst->Width()} - dx, int64_t{src->Width()} - sx});
  int64_t jBegin = std::max<int64_t>({0, -int64_t{dy}, -int64_t{sy}});
  int64_t jEnd =
      std::min<int64_t>({int64_t{h}, int64_t{dst->Height()} - dy, int64_t{src->Height()} - sy});
  if (iBegin >= iEnd || jBegin >= jEnd) return true;

  const int64_t count = iEnd - iBegin;
  const int32_t srcBpp = BytesPerPixel(src->Format());
  auto copyRow = [&](int64_t j) {
    uint8_t* out = dst->Row(static_cast<int32_t>(dy + j)) + (dx + iBegin) * 3;
    const uint8_t* in = src->Row(static_cast<int32_t>(sy + j)) + (sx + iBegin) * srcBpp;
    ConvertRow(out, in, count, src->Format());
  };
  // Within one surface, copy rows in the order that never overwrites a row still to be read.
  bool sameSurface = dst == src;
  if (sameSurface && dy > sy) {
    for (int64_t j = jEnd - 1; j >= jBegin; --j)
      copyRow(j);
  } else {
    for (int64_t j = jBegin; j < jEnd; ++j)
      copyRow(j);
  }
  return true;
}

}  // namespace corvella::imaging
