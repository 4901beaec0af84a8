#pragma once
/// @file
/// The picture loader: decodes a JPEG, PNG, GIF or BMP file held in memory straight into a
/// working buffer (imaging::cDIBSection), which each reader creates at the file's width and
/// height and fills through its view.
///
/// Rules shared by every format:
/// - A file that cannot be decoded throws PictureError: the format, one PictureFault and, where
///   it helps a person, a context (the value refused, the decoding library's message). Nothing
///   is allocated for pixels before the header has been checked, the sizes computed with overflow
///   checks and the image found within the host's pixel limit (imaging::WithinPixelLimit); a
///   larger image is PictureFault::OverPixelLimit. Memory that is short is std::bad_alloc. The
///   component turns a fault into its error (481 "Invalid picture"; 7 "Out of memory" for a
///   picture over the limit).
/// - Transparent and translucent pixels are composited over white (CompositeOverWhite): PNG
///   alpha channels and tRNS colours, the GIF transparent index, BMP alpha where the header
///   declares an alpha mask. Areas that a file leaves undefined (outside a GIF's first frame,
///   pixels skipped by a BMP's run-length codes) are white as well.
/// - Nothing here keeps state between calls; the functions may run on several threads at once.

#include <cstdint>
#include <exception>
#include <span>
#include <string>
#include <string_view>

#include "corvella/codec/jpeg_codec.h"
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

/// Why the loader refused a file. Each fault has one fixed text (PictureFaultText).
enum class PictureFault : uint8_t {
  UnknownFormat,           ///< no format's signature starts the file
  OverPixelLimit,          ///< more pixels than the host allows: the buffer cannot be had
  InvalidSize,             ///< a side of 0 pixels or fewer; context "<width> x <height>"
  HeaderTruncated,         ///< the file ends inside its headers (BMP: or its bit field masks)
  DataTruncated,           ///< the data ends before the last pixel row
  DataMissing,             ///< BMP: the pixel data offset lies at or past the end of the file
  DataInsideHeader,        ///< BMP: the pixel data offset lies inside the headers
  UnsupportedHeaderSize,   ///< BMP: an info header of another size than 12, 40, 52, 56, 108, 124
  UnsupportedBitCount,     ///< BMP: bits per pixel other than 1, 4, 8, 16, 24, 32
  UnsupportedCompression,  ///< BMP: a compression other than none, RLE8, RLE4, bit fields
  CompressionBitCount,     ///< BMP: run-length or bit field compression at a bit count it lacks
  TopDownRunLength,        ///< BMP: run-length data in a top-down bitmap
  MaskTooWide,             ///< BMP: a 16-bit pixel's bit field mask above bit 15
  MaskNotContiguous,       ///< BMP: a bit field mask with a gap
  NoImage,                 ///< GIF: the file ends without an image
  UnexpectedRecord,        ///< GIF: a record of unknown type before the first image
  FrameOverPixelLimit,     ///< GIF: the first frame has more pixels than the host allows
  UnexpectedRowLayout,     ///< PNG: libpng would deliver rows of another layout than asked
  DecoderRefused,          ///< the format's library stopped; its message is the context
};

/// The fixed text of a fault, lower case ("unsupported bit count").
std::string_view PictureFaultText(PictureFault fault);

/// The name of a format as people read it: "JPEG", "PNG", "GIF", "BMP"; "" for Unknown.
std::string_view PictureFormatName(PictureFormat format);

/// A file that the loader refused.
class PictureError : public std::exception {
 public:
  PictureError(PictureFormat format, PictureFault fault, std::string context = {});

  PictureFormat Format() const noexcept { return format_; }
  PictureFault Fault() const noexcept { return fault_; }
  /// What a person needs beyond the fault: the value refused, the library's message; often empty.
  const std::string& Context() const noexcept { return context_; }
  /// The fault for people: "<format>: <text>[: <context>]" ("BMP: unsupported bit count: 7").
  const char* what() const noexcept override { return text_.c_str(); }

 private:
  PictureFormat format_;
  PictureFault fault_;
  std::string context_;
  std::string text_;
};

/// The format whose signature starts @p bytes; Unknown when none matches.
PictureFormat SniffPictureFormat(std::span<const uint8_t> bytes);

/// Decodes @p bytes as the format that SniffPictureFormat finds into @p target, which is created
/// at the picture's size (its earlier pixels are released). PictureError for an unknown signature
/// or a file that its decoder refuses; the target's content is then undefined.
void LoadPicture(std::span<const uint8_t> bytes, imaging::cDIBSection& target);

/// Decodes a JPEG stream through the JPEG codec. Grey, colour and CMYK
/// streams are read; data that ends before the pixels do is PictureFault::DataTruncated.
void LoadJpegPicture(std::span<const uint8_t> bytes, imaging::cDIBSection& target);

/// Returns when @p status is Ok; otherwise throws its PictureError (PixelLimit: OverPixelLimit,
/// Truncated: DataTruncated, any other: DecoderRefused with the codec's reason) or, for
/// OutOfMemory, std::bad_alloc.
void RefuseJpeg(const JpegStatus& status);

/// Decodes a PNG file through libpng: every colour type and bit depth, palettes, tRNS, 16-bit
/// samples (scaled to 8 bits, rounded), Adam7 interlacing. Gamma and colour-profile chunks are
/// ignored: samples are taken as they are stored. A CRC error in a critical chunk, a truncated
/// file or broken compressed data is PictureFault::DecoderRefused with libpng's message.
void LoadPng(std::span<const uint8_t> bytes, imaging::cDIBSection& target);

/// Decodes the first frame of a GIF file through giflib into a picture of the logical screen's
/// size (the frame's own extent when the screen is declared 0 wide or high): the frame is drawn
/// at its offset, clipped to the screen, through its local colour table or else the global one.
/// Indices beyond the table are black; a frame without any colour table is drawn in grey levels
/// (index i of 8-bit codes is grey i, fewer bits are spread over 0 .. 255). A file without an
/// image, and LZW data that ends early or is corrupt, are refused (NoImage, DataTruncated,
/// DecoderRefused with giflib's message).
void LoadGif(std::span<const uint8_t> bytes, imaging::cDIBSection& target);

/// Decodes a Windows or OS/2 bitmap: 1, 4, 8, 16, 24 and 32 bits per pixel; uncompressed,
/// RLE8, RLE4, and bit fields (16 and 32 bits, masks of any width up to 32 bits, contiguous);
/// bottom-up and top-down rows; the 12-byte core header and the 40, 52, 56, 108 and 124-byte
/// info headers. Palettes may have fewer entries than the bit count allows; indices beyond them
/// are black. 32-bit pixels carry alpha only when the header declares an alpha mask, and an alpha
/// channel that is zero everywhere is taken as opaque (writers that leave it unset are common).
/// Uncompressed data shorter than the rows need, and run-length data that ends before the last
/// row without an end-of-bitmap code, are PictureFault::DataTruncated.
void LoadBmp(std::span<const uint8_t> bytes, imaging::cDIBSection& target);

/// @p value composited over white with opacity @p alpha (0 transparent, 255 opaque):
/// (value x alpha + 255 x (255 - alpha)) / 255, rounded to nearest.
constexpr uint8_t CompositeOverWhite(uint8_t value, uint8_t alpha) {
  unsigned sum = unsigned{value} * alpha + 255u * (255u - alpha) + 127u;
  return static_cast<uint8_t>(sum / 255u);
}

}  // namespace corvella::codec
