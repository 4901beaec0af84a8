#include "corvella/operations/transforms.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace corvella::operations {

using imaging::ConstImageView;
using imaging::ImageView;
using imaging::kBytesPerPixel;

namespace {

// Side of the square tiles of the rotations, in pixels: one tile of source rows and one of
// target rows (3 x 32 x 32 bytes each) stay in the first-level cache together.
constexpr int32_t kTile = 32;

// Copies one pixel with a 4-byte load and store. The fourth byte read is the next byte of the
// source row and the fourth byte written is the first byte of the next target pixel, which the
// caller writes afterwards; callers use it only where both stay inside their rows.
inline void CopyPixelWide(uint8_t* dst, const uint8_t* src) {
  uint32_t v;
  std::memcpy(&v, src, 4);
  std::memcpy(dst, &v, 4);
}

inline void CopyPixel(uint8_t* dst, const uint8_t* src) {
  dst[0] = src[0];
  dst[1] = src[1];
  dst[2] = src[2];
}

// The common loop of both rotations. Target row j, pixel i takes the source pixel at
// first(j) + i x step: the source column is fixed per target row and the source row moves by one
// per target pixel. Tiles keep the strided source reads in cache.
template <typename FirstOf>
void RotateTiled(const ImageView& dst, FirstOf first, ptrdiff_t step, int32_t lastColumnRow) {
  const int32_t width = dst.width;    // = src.height
  const int32_t height = dst.height;  // = src.width
  for (int32_t j0 = 0; j0 < height; j0 += kTile) {
    const int32_t j1 = std::min(height, j0 + kTile);
    for (int32_t i0 = 0; i0 < width; i0 += kTile) {
      const int32_t i1 = std::min(width, i0 + kTile);
      // The wide copy may write one byte past the pixel only while another pixel of the same
      // target row follows, and may read one byte past the source pixel only when it is not the
      // last pixel of its source row.
      const int32_t wideEnd = i1 < width ? i1 : i1 - 1;
      for (int32_t j = j0; j < j1; ++j) {
        const uint8_t* s = first(j) + static_cast<ptrdiff_t>(i0) * step;
        uint8_t* d = dst.Row(j) + static_cast<ptrdiff_t>(i0) * kBytesPerPixel;
        int32_t i = i0;
        if (j != lastColumnRow) {
          for (; i < wideEnd; ++i, s += step, d += kBytesPerPixel)
            CopyPixelWide(d, s);
        }
        for (; i < i1; ++i, s += step, d += kBytesPerPixel)
          CopyPixel(d, s);
      }
    }
  }
}

bool Fits(const ConstImageView& src, const ImageView& dst) {
  return !src.Empty() && !dst.Empty() && dst.width == src.height && dst.height == src.width;
}

}  // namespace

void FlipInPlace(const ImageView& image) {
  if (image.Empty()) return;
  const size_t bytes = static_cast<size_t>(image.width) * kBytesPerPixel;
  std::vector<uint8_t> spare(bytes);
  for (int32_t top = 0, bottom = image.height - 1; top < bottom; ++top, --bottom) {
    uint8_t* a = image.Row(top);
    uint8_t* b = image.Row(bottom);
    std::memcpy(spare.data(), a, bytes);
    std::memcpy(a, b, bytes);
    std::memcpy(b, spare.data(), bytes);
  }
}

void MirrorInPlace(const ImageView& image) {
  if (image.Empty()) return;
  const int32_t width = image.width;
  const size_t bytes = static_cast<size_t>(width) * kBytesPerPixel;
  // Each row is written reversed into a spare row (one byte longer, for the wide copies) and
  // copied back. The last pixel of the row is read first, with a 3-byte copy, because the byte
  // after it is not part of the row.
  std::vector<uint8_t> spare(bytes + 1);
  for (int32_t y = 0; y < image.height; ++y) {
    uint8_t* row = image.Row(y);
    const uint8_t* s = row + bytes - kBytesPerPixel;
    uint8_t* d = spare.data();
    CopyPixel(d, s);
    for (int32_t x = 1; x < width; ++x) {
      s -= kBytesPerPixel;
      d += kBytesPerPixel;
      CopyPixelWide(d, s);
    }
    std::memcpy(row, spare.data(), bytes);
  }
}

void RotateRightInto(const ConstImageView& src, const ImageView& dst) {
  if (!Fits(src, dst)) return;
  // Target row j, pixel i = source row height - 1 - i, pixel j: the source column is j and the
  // source row climbs by one per target pixel. Target row width - 1 reads the last source pixel
  // of each row.
  const int32_t lastRow = src.height - 1;
  auto first = [&](int32_t j) {
    return src.Row(lastRow) + static_cast<ptrdiff_t>(j) * kBytesPerPixel;
  };
  RotateTiled(dst, first, -src.stride, src.width - 1);
}

void RotateLeftInto(const ConstImageView& src, const ImageView& dst) {
  if (!Fits(src, dst)) return;
  // Target row j, pixel i = source row i, pixel width - 1 - j. Target row 0 reads the last
  // source pixel of each row.
  const int32_t lastColumn = src.width - 1;
  auto first = [&](int32_t j) {
    return src.Row(0) + static_cast<ptrdiff_t>(lastColumn - j) * kBytesPerPixel;
  };
  RotateTiled(dst, first, src.stride, 0);
}

}  // namespace corvella::operations
