#include "corvella/overlay/image_overlay.h"

#include <algorithm>

namespace corvella::overlay {

void PaintOpaque(imaging::cDIBSection& target, const imaging::cDIBSection& overlay, int32_t x,
                 int32_t y) {
  imaging::CopyBlock(target.View(), x, y, overlay.ConstView(),
                     {0, 0, overlay.dib_width(), overlay.dib_height()});
}

void PaintKeyed(imaging::cDIBSection& target, const imaging::cDIBSection& overlay, int32_t x,
                int32_t y, Rgb key) {
  const imaging::ImageView dst = target.View();
  const imaging::ConstImageView src = overlay.View();
  if (dst.Empty() || src.Empty()) return;
  // Overlay columns [iBegin, iEnd) and rows [jBegin, jEnd) land inside the target. 64-bit, so no
  // sum can overflow whatever the position.
  const int64_t iBegin = std::max<int64_t>(0, -int64_t{x});
  const int64_t iEnd = std::min<int64_t>(src.width, int64_t{dst.width} - x);
  const int64_t jBegin = std::max<int64_t>(0, -int64_t{y});
  const int64_t jEnd = std::min<int64_t>(src.height, int64_t{dst.height} - y);
  if (iBegin >= iEnd || jBegin >= jEnd) return;
  const int64_t count = iEnd - iBegin;
  for (int64_t j = jBegin; j < jEnd; ++j) {
    const uint8_t* in = src.Row(static_cast<int32_t>(j)) + iBegin * imaging::kBytesPerPixel;
    uint8_t* out = dst.Row(static_cast<int32_t>(y + j)) + (x + iBegin) * imaging::kBytesPerPixel;
    for (int64_t i = 0; i < count; ++i, in += 3, out += 3) {
      if (!IsKeyPixel(in, key)) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
      }
    }
  }
}

}  // namespace corvella::overlay
