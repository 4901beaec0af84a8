#include "corvella/imaging/dib_section.h"

#include <cstdlib>
#include <new>

#include "corvella/imaging/pixel_limit.h"
#include "corvella/platform/checked.h"
#include "corvella/platform/error.h"

namespace corvella::imaging {

namespace checked = platform::checked;
using platform::Raise;
using platform::RuntimeError;

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

cDIBSection::cDIBSection() = default;

cDIBSection::~cDIBSection() {
  ClearUp();
}

bool cDIBSection::CreateDIB(Hdc /*lHDC*/, int32_t lWidth, int32_t lHeight, DibHandle& hDib) {
  BitmapInfoHeader& header = info_.header;
  header.biSize = 40;
  header.biWidth = lWidth;
  header.biHeight = lHeight;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = 0;
  int32_t stride = BytesPerScanLine();
  header.biSizeImage = static_cast<uint32_t>(checked::Mul32(stride, lHeight));

  hDib = 0;
  // Only bottom-up bitmaps of positive size within the host's limit are made. The memory is
  // zeroed (large blocks come zeroed from the system at no cost), so padding bytes and any pixel
  // an operation leaves alone are deterministic.
  if (!WithinPixelLimit(lWidth, lHeight)) return false;
  PixelMemory memory(static_cast<size_t>(stride) * static_cast<size_t>(lHeight));
  if (memory.Data() == nullptr) return false;
  pixels_ = std::move(memory);
  bits_ = pixels_.Data();
  hDib = reinterpret_cast<DibHandle>(bits_);
  return true;
}

bool cDIBSection::Create(int32_t lWidth, int32_t lHeight) {
  ClearUp();
  // The device context comes first, as on the platform; it gets its surface once the bitmap
  // exists.
  dc_.reset(new (std::nothrow) DeviceContext(nullptr, 0, 0, 0, PixelFormat::Bgr24));
  if (!dc_) return false;
  bool made = false;
  try {
    made = CreateDIB(dc_.get(), lWidth, lHeight, hDib_);
  } catch (...) {
    dc_.reset();  // an overflow of the size leaves no context behind
    throw;
  }
  if (made) {
    int32_t stride = BytesPerScanLine();
    uint8_t* top = bits_ + static_cast<ptrdiff_t>(lHeight - 1) * stride;
    *dc_ = DeviceContext(top, lWidth, lHeight, -static_cast<ptrdiff_t>(stride), PixelFormat::Bgr24);
    return true;
  }
  dc_.reset();
  return false;
}

int32_t cDIBSection::BytesPerScanLine() const {
  int32_t bytes = checked::Add32(checked::Mul32(info_.header.biWidth, 3), 3);
  return bytes & ~3;
}

int32_t cDIBSection::dib_channels() const {
  return checked::DoubleToInt32(info_.header.biBitCount / 8.0);
}

void cDIBSection::LoadPictureBlt(Hdc lHDC, int32_t lSrcLeft, int32_t lSrcTop, int32_t lSrcWidth,
                                 int32_t lSrcHeight, RasterOp eRop) {
  int32_t w = lSrcWidth >= 0 ? lSrcWidth : dib_width();
  int32_t h = lSrcHeight >= 0 ? lSrcHeight : dib_height();
  BitBlt(hdc(), 0, 0, w, h, lHDC, lSrcLeft, lSrcTop, eRop);
}

platform::Variant cDIBSection::CreateFromPicture(const Picture& picThis) {
  // A picture that holds no bitmap reads as a zeroed record: 0 x 0.
  int32_t width = picThis.IsBitmap() ? picThis.Width() : 0;
  int32_t height = picThis.IsBitmap() ? picThis.Height() : 0;
  if (!Create(width, height)) return platform::Variant();
  LoadPictureBlt(picThis.Dc(), 0, 0, -1, -1, RasterOp::SrcCopy);
  return platform::Variant();
}

void cDIBSection::ClearUp() {
  dc_.reset();
  pixels_ = PixelMemory();
  hDib_ = 0;
  bits_ = nullptr;
  // The image size and the resolutions stay as they were; the next CreateDIB sets the size.
  BitmapInfoHeader& header = info_.header;
  header.biSize = 40;
  header.biWidth = 0;
  header.biHeight = 0;
  header.biPlanes = 0;
  header.biBitCount = 0;
  header.biCompression = 0;
  header.biClrUsed = 0;
  header.biClrImportant = 0;
  for (auto& c : info_.colours)
    c = 0;
}

DirectRowAccess cDIBSection::Rows() const {
  if (bits_ == nullptr) return DirectRowAccess(nullptr, 0, 0);
  return DirectRowAccess(bits_, BytesPerScanLine(), dib_height());
}

ImageView cDIBSection::View() const {
  if (!dc_) return {};
  return dc_->View();
}

}  // namespace corvella::imaging
