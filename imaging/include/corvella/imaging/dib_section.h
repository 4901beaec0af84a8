#pragma once
/// @file
/// cDIBSection, the 24-bit image buffer that holds every picture the component works on.
///
/// Layout (binding for everything that touches pixel bytes):
/// - 3 bytes per pixel in the order blue, green, red; pixel x of a row at bytes 3x .. 3x + 2;
/// - rows of BytesPerScanLine() bytes: 3 x width rounded up to a multiple of 4; the bytes after
///   the last pixel are padding;
/// - rows stored bottom-up: memory row 0 (at DIBSectionBitsPtr()) is the bottom row of the
///   picture; device point (x, y) is pixel x of memory row dib_height() - 1 - y.
/// The buffer owns its pixel memory and its device context; both live until ClearUp().

#include <cstdint>
#include <memory>

#include "corvella/imaging/device_context.h"
#include "corvella/imaging/image_view.h"
#include "corvella/imaging/picture.h"
#include "corvella/imaging/pixel_memory.h"
#include "corvella/platform/variant.h"

namespace corvella::imaging {

/// The handle of a DIB section; 0 when there is none.
using DibHandle = uintptr_t;

/// The bitmap header of a buffer, field for field as the platform's BITMAPINFOHEADER.
struct BitmapInfoHeader {
  uint32_t biSize = 40;
  int32_t biWidth = 0;
  int32_t biHeight = 0;
  uint16_t biPlanes = 0;
  uint16_t biBitCount = 0;
  uint32_t biCompression = 0;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
};

/// The bitmap info of a buffer: the header and one colour-table entry (blue, green, red, reserved).
struct BitmapInfo {
  BitmapInfoHeader header;
  uint8_t colours[4] = {0, 0, 0, 0};
};

/// Direct row access: a two-dimensional byte view over the pixel memory, indexed by the byte
/// within the row (0 .. BytesPerScanLine - 1) and the memory row (0 .. dib_height - 1, bottom-up).
/// Every indexed access is checked and raises runtime error 9 outside the extents; Row() hands
/// out unchecked row pointers for inner loops over a rectangle validated beforehand.
class DirectRowAccess {
 public:
  DirectRowAccess(uint8_t* bits, int32_t bytesPerRow, int32_t rows)
      : bits_(bits), bytesPerRow_(bits ? bytesPerRow : 0), rows_(bits ? rows : 0) {}

  int32_t BytesPerRow() const { return bytesPerRow_; }
  int32_t Rows() const { return rows_; }

  /// The byte at (@p byte, @p row); runtime error 9 outside the extents.
  uint8_t& operator()(int64_t byte, int64_t row) const;
  /// Raises runtime error 9 unless bytes [firstByte, lastByte] of rows [firstRow, lastRow] all
  /// lie inside the view.
  void Require(int64_t firstByte, int64_t lastByte, int64_t firstRow, int64_t lastRow) const;
  /// Memory row @p row; unchecked.
  uint8_t* Row(int32_t row) const { return bits_ + static_cast<ptrdiff_t>(row) * bytesPerRow_; }

 private:
  uint8_t* bits_;
  int32_t bytesPerRow_;
  int32_t rows_;
};

/// The 24-bit device-independent bitmap with its own device context.
///
/// States: Empty (new or cleared: no pixels, header zero), Live (Create answered true), Failed
/// (Create answered false after the bitmap could not be made: no pixels, the header keeps the
/// requested size).
class cDIBSection {
 public:
  cDIBSection();
  ~cDIBSection();
  cDIBSection(const cDIBSection&) = delete;
  cDIBSection& operator=(const cDIBSection&) = delete;

  /// Fills the header for a 24-bit bottom-up bitmap of @p lWidth x @p lHeight and makes its pixel
  /// memory, storing the handle in @p hDib. Answers false (handle 0) when a side is not positive,
  /// the size exceeds the host's pixel limit or memory is short. Raises runtime error 6 when
  /// BytesPerScanLine x height leaves the 32-bit range. Called by Create only.
  bool CreateDIB(Hdc lHDC, int32_t lWidth, int32_t lHeight, DibHandle& hDib);

  /// Clears the buffer and makes a new bitmap of @p lWidth x @p lHeight pixels with its device
  /// context. Answers true when the buffer is usable; false leaves the Failed state.
  bool Create(int32_t lWidth, int32_t lHeight);

  /// Bytes per row: 3 x width rounded up to a multiple of 4, in checked 32-bit arithmetic
  /// (runtime error 6 on overflow). Widths 1, 2, 3, 4, 5 give 4, 8, 12, 12, 16.
  int32_t BytesPerScanLine() const;
  /// The header's width and height in pixels.
  int32_t dib_width() const { return info_.header.biWidth; }
  int32_t dib_height() const { return info_.header.biHeight; }
  /// The device context; 0 unless the buffer is live.
  Hdc hdc() const { return dc_.get(); }
  /// The header's bits per pixel / 8, rounded half to even: 3 once Create reached CreateDIB, else
  /// 0.
  int32_t dib_channels() const;
  /// The DIB section handle; 0 unless the buffer is live.
  DibHandle hDib() const { return hDib_; }
  /// The first byte of the pixel memory (memory row 0, the bottom row); nullptr unless live.
  uint8_t* DIBSectionBitsPtr() const { return bits_; }
  /// The bitmap info (header and colour entry).
  const BitmapInfo& Info() const { return info_; }

  /// Copies the block at (lSrcLeft, lSrcTop) of the source context to the top-left corner of this
  /// buffer. A negative width or height means the buffer's own extent. Nothing is reported when
  /// the copy fails (for instance when this buffer has no device context).
  void LoadPictureBlt(Hdc lHDC, int32_t lSrcLeft = 0, int32_t lSrcTop = 0, int32_t lSrcWidth = -1,
                      int32_t lSrcHeight = -1, RasterOp eRop = RasterOp::SrcCopy);

  /// Creates the buffer at the picture's size and copies the picture into it, converting its
  /// pixel format to blue, green, red. A picture without a bitmap leaves a Failed buffer of
  /// 0 x 0. Always answers an Empty variant; callers look at dib_width, dib_height and hdc.
  platform::Variant CreateFromPicture(const Picture& picThis);

  /// Fills @p cDibTo, already created at the wanted size, with a bilinear scaled copy of this
  /// buffer. Only the target's pixel bytes change.
  void ResampleDib(cDIBSection& cDibTo) const;

  /// Releases the bitmap and the device context and resets the header.
  void ClearUp();

  /// Direct row access over the pixel memory (empty extents unless live).
  DirectRowAccess Rows() const;
  /// The pixels as a top-down view (empty unless live).
  ImageView View() const;

 private:
  DibHandle hDib_ = 0;
  std::unique_ptr<DeviceContext> dc_;
  uint8_t* bits_ = nullptr;
  BitmapInfo info_;
  PixelMemory pixels_;
};

}  // namespace corvella::imaging
