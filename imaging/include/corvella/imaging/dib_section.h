#pragma once
/// @file
/// cDIBSection, the 24-bit image buffer that holds every picture the component works on, and
/// CopyBlock, the one block copy between such pictures.
///
/// Layout (binding for everything that touches pixel bytes):
/// - 3 bytes per pixel in the order blue, green, red; pixel x of a row at bytes 3x .. 3x + 2;
/// - rows of BytesPerScanLine() bytes: 3 x width rounded up to a multiple of 4; the bytes after
///   the last pixel are padding;
/// - rows stored bottom-up: memory row 0 (at DIBSectionBitsPtr()) is the bottom row of the
///   picture; device point (x, y) is pixel x of memory row dib_height() - 1 - y, which is what
///   View() and ConstView() address as row y.
/// The buffer owns its pixel memory until ClearUp() or the next Create().

#include <cstdint>

#include "corvella/imaging/image_view.h"
#include "corvella/imaging/pixel_memory.h"

namespace corvella::imaging {

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

/// The 24-bit bottom-up bitmap.
///
/// States: Empty (new or cleared: no pixels, size 0 x 0), Live (Create answered true), Failed
/// (Create answered false: no pixels, the size stays the requested one, so that an operation may
/// make an empty picture of 0 x h current).
class cDIBSection {
 public:
  cDIBSection() = default;
  cDIBSection(const cDIBSection&) = delete;
  cDIBSection& operator=(const cDIBSection&) = delete;

  /// Clears the buffer and makes zeroed pixel memory for @p lWidth x @p lHeight pixels. Answers
  /// false (the Failed state) when a side is not positive, the size exceeds the host's pixel
  /// limit or memory is short. Raises runtime error 6 when BytesPerScanLine x height leaves the
  /// 32-bit range.
  bool Create(int32_t lWidth, int32_t lHeight);

  /// Bytes per row: 3 x width rounded up to a multiple of 4, in checked 32-bit arithmetic
  /// (runtime error 6 on overflow). Widths 1, 2, 3, 4, 5 give 4, 8, 12, 12, 16.
  int32_t BytesPerScanLine() const;
  /// The size in pixels (the requested one in the Failed state).
  int32_t dib_width() const { return width_; }
  int32_t dib_height() const { return height_; }
  /// The first byte of the pixel memory (memory row 0, the bottom row); nullptr unless live.
  uint8_t* DIBSectionBitsPtr() const { return pixels_.Data(); }

  /// Fills @p cDibTo, already created at the wanted size, with a bilinear scaled copy of this
  /// buffer. Only the target's pixel bytes change.
  void ResampleDib(cDIBSection& cDibTo) const;

  /// Releases the pixel memory and sets the size to 0 x 0.
  void ClearUp();

  /// Direct row access over the pixel memory (empty extents unless live).
  DirectRowAccess Rows() const;
  /// The pixels as a top-down view (empty unless live).
  ImageView View() const;
  ConstImageView ConstView() const { return View(); }

 private:
  PixelMemory pixels_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t stride_ = 0;  // BytesPerScanLine, computed once by Create
};

/// A rectangle of device coordinates: top-left corner and size in pixels.
struct Rect {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};

/// Copies the block @p rect of @p src to the block of the same size whose top-left device point
/// in @p dst is (@p dx, @p dy). Pixels whose source or destination lies outside its picture are
/// skipped, so the copy never reads or writes outside either; an empty view copies nothing. The
/// copy is byte-exact, also between overlapping blocks of one picture.
void CopyBlock(const ImageView& dst, int32_t dx, int32_t dy, const ConstImageView& src, Rect rect);

}  // namespace corvella::imaging
