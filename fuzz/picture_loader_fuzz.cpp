// Arbitrary bytes through the picture loader (every format, chosen by signature) into a working
// buffer. A refused picture (codec::PictureError) is the expected answer to bad input and to a
// picture over the pixel limit; any other exception, crash, leak or sanitizer report is a fault.

#include <cstddef>
#include <cstdint>
#include <span>

#include "corvella/codec/picture_loader.h"
#include "corvella/imaging/dib_section.h"
#include "corvella/imaging/pixel_limit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A host limit of 4 megapixels keeps each run short; larger images are refused as over the
  // default limit.
  [[maybe_unused]] static const bool limitSet = (corvella::imaging::SetMaxPixels(4u << 20), true);
  try {
    corvella::imaging::cDIBSection dib;
    corvella::codec::LoadPicture(std::span<const uint8_t>(data, size), dib);
  } catch (const corvella::codec::PictureError&) {
  }
  return 0;
}
