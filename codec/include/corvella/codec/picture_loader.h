#pragma once
/// @file
/// The picture loader: decodes a JPEG, PNG, GIF or BMP file held in memory straight into a
/// working buffer (imaging::cDIBSection), which each reader creates at the file's width and
/// height and fills through its view.
///
/// Rules shared by every format:
/// - A file that cannot be decoded raises runtime error 481 "Invalid picture" with a detail that
///   names the format and the fault ("PNG: CRC error", "BMP: unsupported bit count 7"). Nothing
///   is allocated for pixels before the header has been checked, the sizes computed with overflow
///   checks and the image found within the host's pixel limit (imaging::WithinPixelLimit). A
///   larger image cannot have its buffer: runtime error 7 "Out of memory", as when memory is
///   short (std::bad_alloc).
/// - Transparent and translucent pixels are composited over white (CompositeOverWhite): PNG
///   alpha channels and tRNS colours, the GIF transparent index, BMP alpha where the header
///   declares an alpha mask. Areas that a file leaves undefined (outside a GIF's first frame,
///   pixels skipped by a BMP's run-length codes) are white as well.
/// - Nothing here keeps state between calls; the functions may run on several threads at once.

#include <cstdint>
#include <span>

#include "corvella/imaging/dib_section.h"

namespace corvella::codec {

/// The formats that the loader reads, told apart by their first bytes.
enum class PictureFormat : uint8_t {
  Unknown,
  Jpeg,  ///< FF D8
  Png,   ///< 89 "PNG" 0D 0A 1A 0A
  Gif,   ///< "GIF87a" or "GIF89a"
  Bmp,   ///< "BM"
};

/// The format whose signature starts @p bytes; Unknown when none matches.
PictureFormat SniffPictureFormat(std::span<const uint8_t> bytes);

/// Decodes @p bytes as the format that SniffPictureFormat finds into @p target, which is created
/// at the picture's size (its earlier pixels are released). Error 481 for an unknown signature or
/// a file that its decoder refuses; the target's content is then undefined.
void LoadPicture(std::span<const uint8_t> bytes, imaging::cDIBSection& target);

/// Decodes a JPEG stream through the JPEG codec. Grey, colour and CMYK
/// streams are read; data that ends before the pixels do raises error 481.
void LoadJpegPicture(std::span<const uint8_t> bytes, imaging::cDIBSection& target);

/// Decodes a PNG file through libpng: every colour type and bit depth, palettes, tRNS, 16-bit
/// samples (scaled to 8 bits, rounded), Adam7 interlacing. Gamma and colour-profile chunks are
/// ignored: samples are taken as they are stored. A CRC error in a critical chunk, a truncated
/// file or broken compressed data raises error 481.
void LoadPng(std::span<const uint8_t> bytes, imaging::cDIBSection& target);

/// Decodes the first frame of a GIF file through giflib into a picture of the logical screen's
/// size (the frame's own extent when the screen is declared 0 wide or high): the frame is drawn
/// at its offset, clipped to the screen, through its local colour table or else the global one.
/// Indices beyond the table are black; a frame without any colour table is drawn in grey levels
/// (index i of 8-bit codes is grey i, fewer bits are spread over 0 .. 255). A file without an
/// image, and LZW data that ends early or is corrupt, raise error 481.
void LoadGif(std::span<const uint8_t> bytes, imaging::cDIBSection& target);

/// Decodes a Windows or OS/2 bitmap: 1, 4, 8, 16, 24 and 32 bits per pixel; uncompressed,
/// RLE8, RLE4, and bit fields (16 and 32 bits, masks of any width up to 32 bits, contiguous);
/// bottom-up and top-down rows; the 12-byte core header and the 40, 52, 56, 108 and 124-byte
/// info headers. Palettes may have fewer entries than the bit count allows; indices beyond them
/// are black. 32-bit pixels carry alpha only when the header declares an alpha mask, and an alpha
/// channel that is zero everywhere is taken as opaque (writers that leave it unset are common).
/// Uncompressed data shorter than the rows need, and run-length data that ends before the last
/// row without an end-of-bitmap code, raise error 481.
void LoadBmp(std::span<const uint8_t> bytes, imaging::cDIBSection& target);

/// @p value composited over white with opacity @p alpha (0 transparent, 255 opaque):
/// (value x alpha + 255 x (255 - alpha)) / 255, rounded to nearest.
constexpr uint8_t CompositeOverWhite(uint8_t value, uint8_t alpha) {
  unsigned sum = unsigned{value} * alpha + 255u * (255u - alpha) + 127u;
  return static_cast<uint8_t>(sum / 255u);
}

}  // namespace corvella::codec
