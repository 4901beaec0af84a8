#pragma once
/// @file
/// A colour as the overlays paint it, and its 32-bit value.

#include <cstdint>

namespace corvella::overlay {

/// A colour as red, green and blue bytes.
struct Rgb {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  bool operator==(const Rgb&) const = default;
};

/// The 32-bit colour value red + 256 x green + 65536 x blue.
inline constexpr int32_t ColourValue(Rgb colour) {
  return colour.red + 256 * colour.green + 65536 * colour.blue;
}

/// The channels of a colour value (bits 0-7 red, 8-15 green, 16-23 blue).
inline constexpr Rgb ColourFromValue(int32_t value) {
  return {static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>((value >> 8) & 0xFF),
          static_cast<uint8_t>((value >> 16) & 0xFF)};
}

}  // namespace corvella::overlay
