// The 24-bit bottom-up bitmap, its row access and the block copy between pictures.

#include "corvella/imaging/dib_section.h"

#include <algorithm>
#include <cstring>

#include "corvella/imaging/pixel_limit.h"
#include "corvella/platform/checked.h"
#include "corvella/platform/error.h"

namespace corvella::imaging {

namespace checked = platform::checked;
using platform::Raise;
using platform::RuntimeError;

namespace {

// 3 x width rounded up to a multiple of 4, checked.
int32_t StrideOf(int32_t width) {
  return checked::Add32(checked::Mul32(width, 3), 3) & ~3;
}

}  // namespace

uint8_t& DirectRowAccess::operator()(int64_t byte, int64_t row) const {
  if (byte < 0 || byte >= bytesPerRow_ || row < 0 || row >= rows_) {
    Raise(RuntimeError::SubscriptOutOfRange);
  }
  return bits_[row * bytesPerRow_ + byte];
}

void DirectRowAccess::Require(int64_t firstByte, int64_t lastByte, int64_t firstRow,
                              int64_t lastRow) const {
  if (firstByte < 0 || lastByte >= bytesPerRow_ || firstRow < 0 || lastRow >= rows_) {
    Raise(RuntimeError::SubscriptOutOfRange);
  }
}

bool cDIBSection::Create(int32_t lWidth, int32_t lHeight) {
  ClearUp();
  width_ = lWidth;
  height_ = lHeight;
  stride_ = StrideOf(lWidth);
  checked::Mul32(stride_, lHeight);  // the image's byte count must fit 32 bits
  // Only pictures of positive size within the host's limit get memory. It comes zeroed (large
  // blocks from the system at no cost), so padding bytes and any pixel an operation leaves alone
  // are deterministic.
  if (!WithinPixelLimit(lWidth, lHeight)) return false;
  PixelMemory memory(static_cast<size_t>(stride_) * static_cast<size_t>(lHeight));
  if (memory.Data() == nullptr) return false;
  pixels_ = std::move(memory);
  return true;
}

int32_t cDIBSection::BytesPerScanLine() const {
  return StrideOf(width_);
}

void cDIBSection::ClearUp() {
  pixels_ = PixelMemory();
  width_ = 0;
  height_ = 0;
  stride_ = 0;
}

DirectRowAccess cDIBSection::Rows() const {
  return DirectRowAccess(pixels_.Data(), stride_, height_);
}

ImageView cDIBSection::View() const {
  uint8_t* bits = pixels_.Data();
  if (bits == nullptr) return {};
  // The top of the picture is the last memory row.
  return {bits + static_cast<ptrdiff_t>(height_ - 1) * stride_, width_, height_,
          -ptrdiff_t{stride_}};
}

void CopyBlock(const ImageView& dst, int32_t dx, int32_t dy, const ConstImageView& src, Rect rect) {
  if (dst.Empty() || src.Empty()) return;
  // Offsets i (columns) and j (rows) inside the block for which both the source pixel and the
  // destination pixel lie inside their pictures. 64-bit, so that no sum can overflow.
  const int64_t iBegin = std::max<int64_t>({0, -int64_t{dx}, -int64_t{rect.x}});
  const int64_t iEnd = std::min<int64_t>(
      {int64_t{rect.width}, int64_t{dst.width} - dx, int64_t{src.width} - rect.x});
  const int64_t jBegin = std::max<int64_t>({0, -int64_t{dy}, -int64_t{rect.y}});
  const int64_t jEnd = std::min<int64_t>(
      {int64_t{rect.height}, int64_t{dst.height} - dy, int64_t{src.height} - rect.y});
  if (iBegin >= iEnd || jBegin >= jEnd) return;
  const size_t bytes = static_cast<size_t>(iEnd - iBegin) * kBytesPerPixel;
  auto copyRow = [&](int64_t j) {
    std::memmove(dst.Row(static_cast<int32_t>(dy + j)) + (dx + iBegin) * kBytesPerPixel,
                 src.Row(static_cast<int32_t>(rect.y + j)) + (rect.x + iBegin) * kBytesPerPixel,
                 bytes);
  };
  // Within one picture, copy rows in the order that never overwrites a row still to be read.
  if (dst.top == src.top && dy > rect.y) {
    for (int64_t j = jEnd - 1; j >= jBegin; --j)
      copyRow(j);
  } else {
    for (int64_t j = jBegin; j < jEnd; ++j)
      copyRow(j);
  }
}

}  // namespace corvella::imaging
