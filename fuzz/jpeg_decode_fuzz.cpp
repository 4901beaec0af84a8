// Arbitrary bytes as a JPEG stream: read the parameters, make a buffer of that size, decode into
// it, and encode small results again. Any crash, leak or sanitizer report is a fault; failure
// codes are expected.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "corvella/codec/jpeg_codec.h"
#include "corvella/imaging/dib_section.h"
#include "corvella/imaging/pixel_limit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A host limit of 4 megapixels keeps each run short; larger frames are refused as over the
  // default limit.
  [[maybe_unused]] static const bool limitSet = (corvella::imaging::SetMaxPixels(4u << 20), true);
  std::span<const uint8_t> stream(data, size);
  corvella::codec::JpegParams params;
  if (!corvella::codec::ReadJpegParams(stream, params).Ok()) return 0;
  // Sizes over the limit are refused before a buffer is asked for (whose size arithmetic would
  // overflow for the largest frames).
  if (!corvella::imaging::WithinPixelLimit(params.width, params.height)) return 0;
  corvella::imaging::cDIBSection dib;
  if (!dib.Create(params.width, params.height)) return 0;
  if (!corvella::codec::DecodeJpeg(stream, dib).Ok()) return 0;
  if (int64_t{params.width} * params.height <= 65536) {
    corvella::codec::JpegEncodeSettings settings;
    settings.quality = size > 0 ? data[size - 1] % 110 - 5 : 80;
    settings.comment = stream.first(size < 16 ? size : 16);
    std::vector<uint8_t> encoded;
    corvella::codec::EncodeJpeg(dib, settings, encoded);
  }
  return 0;
}
