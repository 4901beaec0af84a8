// The blur and sharpen filters: exact separable sums over three rows at a time.

#include "corvella/operations/filters.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "corvella/platform/run_limits.h"
#include "kernel_support.h"

namespace corvella::operations {

using imaging::ImageView;
using imaging::kBytesPerPixel;

namespace {

// Both filters work in place, row after row in memory order (both kernels are the same
// upside down). Row y is overwritten only after the column sums that need it have been formed,
// and its unfiltered bytes are kept in `above` for the sums of row y + 1; rows after y are still
// unfiltered when they are read.
//
// The 3 x 3 sum of every channel is the sum of three vertical sums three bytes apart: with 8-bit
// bytes every partial sum fits in 16 bits, and the sums are exact, so this is the same integer
// as the term-by-term sum.
template <typename Finish>
void Filter3x3(const ImageView& picture, Finish finish) {
  const ImageView image = InMemoryOrder(picture);
  const int32_t width = image.width;
  const int32_t height = image.height;
  if (width < 3 || height < 3) return;
  const size_t bytes = static_cast<size_t>(width) * kBytesPerPixel;
  std::vector<uint8_t> above(image.Row(0), image.Row(0) + bytes);
  std::vector<uint16_t> sums(bytes);
  uint16_t* __restrict s = sums.data();
  uint8_t* __restrict a = above.data();
  for (int32_t y = 1; y + 1 < height; ++y) {
    platform::CheckInterrupt();
    uint8_t* row = image.Row(y);
    const uint8_t* below = image.Row(y + 1);
    for (size_t k = 0; k < bytes; ++k)
      s[k] = static_cast<uint16_t>(a[k] + row[k] + below[k]);
    std::memcpy(a, row, bytes);
    // Only the inner pixels change: bytes 3 .. bytes - 4 of the row.
    finish(row, a, s, bytes);
  }
}

void BoxBlur3x3(const ImageView& image) {
  Filter3x3(image, [](uint8_t* __restrict out, const uint8_t* /*centre*/,
                      const uint16_t* __restrict s, size_t bytes) {
    for (size_t k = kBytesPerPixel; k + kBytesPerPixel < bytes; ++k) {
      const uint16_t total = static_cast<uint16_t>(s[k - 3] + s[k] + s[k + 3]);  // <= 2295
      out[k] = static_cast<uint8_t>(total / 9);
    }
  });
}

void Sharpen3x3(const ImageView& image) {
  Filter3x3(image, [](uint8_t* __restrict out, const uint8_t* __restrict centre,
                      const uint16_t* __restrict s, size_t bytes) {
    for (size_t k = kBytesPerPixel; k + kBytesPerPixel < bytes; ++k) {
      // 32 x centre minus the eight neighbours = 33 x centre minus the whole 3 x 3 sum, in
      // -2295 .. 8415. A negative sum truncates to a quotient of 0 or below, which clamps to 0.
      const int16_t total = static_cast<int16_t>(33 * centre[k] - (s[k - 3] + s[k] + s[k + 3]));
      const int16_t q = total < 0 ? int16_t{0} : static_cast<int16_t>(total / 24);
      out[k] = static_cast<uint8_t>(std::min<int16_t>(q, 255));
    }
  });
}

}  // namespace

void Blur(const ImageView& image) {
  if (!image.Empty()) BoxBlur3x3(image);
}

void Sharpen(const ImageView& image) {
  if (!image.Empty()) Sharpen3x3(image);
}

}  // namespace corvella::operations
