#include "corvella/imaging/pixel_limit.h"

#include <atomic>
#include <charconv>
#include <cstdlib>
#include <cstring>

namespace corvella::imaging {

namespace {

uint64_t InitialLimit() {
  const char* text = std::getenv("CORVELLA_MAX_PIXELS");
  if (text == nullptr) return kDefaultMaxPixels;
  uint64_t value = 0;
  const char* end = text + std::strlen(text);
  auto result = std::from_chars(text, end, value);
  if (result.ec != std::errc() || result.ptr != end || value == 0) return kDefaultMaxPixels;
  return value;
}

std::atomic<uint64_t>& Limit() {
  static std::atomic<uint64_t> limit{InitialLimit()};
  return limit;
}

}  // namespace

uint64_t MaxPixels() {
  return Limit().load(std::memory_order_relaxed);
}

void SetMaxPixels(uint64_t pixels) {
  Limit().store(pixels, std::memory_order_relaxed);
}

bool WithinPixelLimit(int64_t width, int64_t height) {
  if (width <= 0 || height <= 0) return false;
  // Both factors fit in 32 bits, so the product cannot overflow 64 bits.
  return static_cast<uint64_t>(width) * static_cast<uint64_t>(height) <= MaxPixels();
}

}  // namespace corvella::imaging
