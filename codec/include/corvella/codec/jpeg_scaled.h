#pragma once
/// @file
/// Reduced JPEG decoding for thumbnails: libjpeg's inverse DCT at N/8 of the size (N = 1..8)
/// gives the image smaller without decoding every pixel first. Results and failures are
/// reported as by the JPEG codec (JpegStatus); nothing here raises or keeps state between calls.

#include <cstdint>
#include <span>

#include "corvella/codec/jpeg_codec.h"
#include "corvella/imaging/image_view.h"

namespace corvella::codec {

/// A decoding scale and the output size it gives.
struct JpegScale {
  int32_t eighths = 8;  ///< N of N/8
  int32_t width = 0;    ///< ceil(image width x N / 8) pixels, as libjpeg computes it
  int32_t height = 0;   ///< ceil(image height x N / 8) pixels
};

/// The smallest scale whose output of a @p width x @p height image is at least @p minWidth x
/// @p minHeight pixels (8/8 when no smaller one is).
JpegScale ChooseJpegScale(int32_t width, int32_t height, int32_t minWidth, int32_t minHeight);

/// Decodes @p stream at @p scale into @p target, which must have exactly the scale's output
/// size: grey streams give three equal channels, colour streams are converted from YCbCr (or
/// taken as RGB). Four-component streams answer Unsupported, for callers to decode them fully.
/// The full image is checked against the pixel limit (PixelLimit) and libjpeg's working memory
/// and progressive scans are capped as for DecodeJpeg. A stream that ends early decodes as far
/// as its data goes and counts warnings. At 1/8 a progressive stream is read only up to the end of
/// its DC scans, which is all that output depends on.
JpegStatus DecodeJpegScaled(std::span<const uint8_t> stream, const JpegScale& scale,
                            const imaging::ImageView& target);

}  // namespace corvella::codec
