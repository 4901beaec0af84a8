#pragma once
/// @file
/// The JPEG codec: reads the parameters of an in-memory JPEG stream, decodes it straight into a
/// caller's 24-bit BGR bitmap, and encodes such a bitmap into a JPEG stream in memory.
///
/// Every function answers a JpegStatus whose code is 0 on success and negative on failure; none of
/// them raises. Callers turn a failure into their own error (the component's 1110, 1120, 1140).
///
/// Bitmaps are described by a top-down imaging::ImageView of blue, green, red bytes: `top` is the
/// first byte of the picture's top row and `stride` the signed distance in bytes from one row to
/// the one below it. A bottom-up bitmap such as a cDIBSection's memory is a view that starts at
/// the last memory row with a negative stride (cDIBSection::View). The bytes after
/// the 3 x width pixel bytes of a row are never read or written.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "corvella/imaging/dib_section.h"
#include "corvella/imaging/image_view.h"

namespace corvella::codec {

/// Result codes of the codec. 0 is success, every failure is negative; the values are stable and
/// may be shown to users (the component appends the code to its "Failed to Save" message).
enum class JpegCode : int32_t {
  Ok = 0,
  /// The bitmap description or the settings are unusable: no pixel memory, a side that is not
  /// positive, rows shorter than 3 x width bytes, a comment longer than 65533 bytes.
  InvalidArgument = -1,
  /// The input is empty or does not start with a JPEG start-of-image marker.
  NotJpeg = -2,
  /// libjpeg stopped on a fault in the stream: a bad marker, table, frame or scan header.
  CorruptStream = -3,
  /// A well-formed stream that this codec does not decode: a sample precision other than 8 bits,
  /// a component count other than 1, 3 or 4, a colour transform libjpeg cannot apply.
  Unsupported = -4,
  /// The image has more pixels than the host allows (imaging::WithinPixelLimit).
  PixelLimit = -5,
  /// The stream's width and height differ from the bitmap's.
  SizeMismatch = -6,
  /// The stream needs more working memory than its size justifies, or has more progressive
  /// scans than kJpegMaxScans: refused as hostile.
  ResourceLimit = -7,
  /// Memory could not be had.
  OutOfMemory = -8,
  /// libjpeg refused to encode the bitmap (for instance a side over 65500 pixels).
  EncodeFailed = -9,
  // -10 is the component's own "stream could not be written" code of a failed save.
  /// The compressed data ends before the last row of a sequential stream, or before the first
  /// scan of a progressive stream is complete.
  Truncated = -11,
};

/// The outcome of a codec call.
struct JpegStatus {
  JpegCode code = JpegCode::Ok;
  /// Recoverable faults in the entropy-coded data that the decoder passed over (corrupt data, a
  /// missing end-of-image marker, later progressive scans missing): the image was still decoded,
  /// a damaged part grey. Decode only.
  int32_t warnings = 0;
  /// What failed, in English, for logs (libjpeg's own message where it stopped); empty on success.
  std::string reason;

  bool Ok() const { return code == JpegCode::Ok; }
  /// The code as the number a caller reports.
  int32_t Value() const { return static_cast<int32_t>(code); }
};

/// The header values of a stream, read without decoding any pixel.
struct JpegParams {
  int32_t width = 0;     ///< pixels
  int32_t height = 0;    ///< pixels
  int32_t channels = 0;  ///< colour components in the frame (1 grey, 3 colour, 4 CMYK/YCCK)
};

/// The most progressive scans a stream may have; real encoders write about ten. A hostile file
/// with thousands of empty scans over a large frame would otherwise keep the decoder busy for
/// minutes.
inline constexpr int32_t kJpegMaxScans = 100;

/// Reads the width, height and component count of the stream in @p stream. Fails with NotJpeg,
/// CorruptStream, Unsupported (sample precision other than 8 bits) or OutOfMemory.
JpegStatus ReadJpegParams(std::span<const uint8_t> stream, JpegParams& params);

/// Decodes the stream into @p target, which must have exactly the stream's width and height.
/// One grey component gives three equal channels; three components are converted from YCbCr (or
/// taken as RGB when the stream's markers say so); four components (CMYK, YCCK, also Adobe's
/// inverted form) are converted to BGR. Each scanline is written straight into its final row.
///
/// Before anything is allocated the image is checked against the pixel limit (PixelLimit) and the
/// target's size (SizeMismatch). libjpeg's working memory is capped at what the frame needs and
/// the progressive scans at kJpegMaxScans (ResourceLimit). Data that ends before the pixels do
/// fails (Truncated); a complete stream without its end-of-image marker, a progressive stream
/// missing only later scans, and corrupt entropy-coded data still decode, as libjpeg does: a
/// damaged part is grey and the status counts the warnings. On failure the target may hold part
/// of the image.
JpegStatus DecodeJpeg(std::span<const uint8_t> stream, const imaging::ImageView& target);

/// DecodeJpeg into a live buffer's memory (width, height and rows from @p dib).
JpegStatus DecodeJpeg(std::span<const uint8_t> stream, const imaging::cDIBSection& dib);

/// How EncodeJpeg writes a stream.
struct JpegEncodeSettings {
  /// 1 (smallest) .. 100 (best); values outside are clamped to that range.
  int32_t quality = 80;
  /// Written as one comment (COM) segment right after the JFIF header, byte for byte, when not
  /// empty; at most 65533 bytes.
  std::span<const uint8_t> comment;
};

/// Encodes @p source as a baseline JFIF stream: YCbCr with the chroma halved in both directions
/// (4:2:0), standard Huffman tables, the accurate integer DCT. The output is replaced by the
/// stream, which grows as needed, so images of any size (1 x 1 included) encode. The same pixels
/// and settings always give the same bytes. On failure @p stream is left empty.
JpegStatus EncodeJpeg(const imaging::ConstImageView& source, const JpegEncodeSettings& settings,
                      std::vector<uint8_t>& stream);

/// EncodeJpeg of a live buffer's pixels.
JpegStatus EncodeJpeg(const imaging::cDIBSection& dib, const JpegEncodeSettings& settings,
                      std::vector<uint8_t>& stream);

}  // namespace corvella::codec
