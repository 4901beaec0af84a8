#pragma once
/// @file
/// The host-wide limit on the pixels of one buffer, so that a small file that declares a huge
/// image cannot exhaust memory.

#include <cstdint>

namespace corvella::imaging {

/// The default limit: 16383 x 16383 pixels.
inline constexpr uint64_t kDefaultMaxPixels = 16383ull * 16383ull;

/// The largest number of pixels (width x height) that one buffer or decoded picture may hold.
/// Read once from the environment variable CORVELLA_MAX_PIXELS when it holds a positive decimal
/// number, else kDefaultMaxPixels; SetMaxPixels changes it for the whole process.
uint64_t MaxPixels();

/// Sets the limit for the whole process (a host setting, read by every buffer made afterwards).
void SetMaxPixels(uint64_t pixels);

/// True when a picture of @p width x @p height pixels is allowed: both positive, product within
/// MaxPixels().
bool WithinPixelLimit(int64_t width, int64_t height);

}  // namespace corvella::imaging
