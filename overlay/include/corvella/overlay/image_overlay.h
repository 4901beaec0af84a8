#pragma once
/// @file
/// Painting a second picture over the working image, opaquely or with a colour key.
///
/// Both painters put the overlay's top-left pixel at device point (x, y) of the target and clip at
/// every edge: only target pixels inside the target and under the overlay change, and overlay
/// pixels that fall outside the target play no part. An overlay without pixels (0 x 0, or a
/// buffer whose Create failed) paints nothing.

#include <cstdint>

#include "corvella/imaging/dib_section.h"
#include "corvella/overlay/colour.h"

namespace corvella::overlay {

/// Copies every overlay pixel onto the target (a clipped block copy).
void PaintOpaque(imaging::cDIBSection& target, const imaging::cDIBSection& overlay, int32_t x,
                 int32_t y);

/// Copies the overlay pixels whose blue, green and red bytes are not exactly those of @p key; the
/// target keeps its pixel where the overlay pixel equals the key.
void PaintKeyed(imaging::cDIBSection& target, const imaging::cDIBSection& overlay, int32_t x,
                int32_t y, Rgb key);

/// The per-pixel rule of the keyed painter, on blue, green, red bytes: the overlay pixel unless it
/// equals the key, in which case the target pixel stays.
inline bool IsKeyPixel(const uint8_t* overlayPixel, Rgb key) {
  return overlayPixel[0] == key.blue && overlayPixel[1] == key.green && overlayPixel[2] == key.red;
}

}  // namespace corvella::overlay
