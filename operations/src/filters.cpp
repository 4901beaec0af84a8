#include "corvella/operations/filters.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "corvella/platform/checked.h"
#include "corvella/platform/error.h"
#include "corvella/platform/run_limits.h"
#include "kernel_support.h"

namespace corvella::operations {

using imaging::ImageView;
using imaging::kBytesPerPixel;
namespace checked = platform::checked;

namespace {

void RequireWellFormed(const FilterKernel& kernel) {
  const size_t side = 2 * static_cast<size_t>(kernel.radius) + 1;
  if (kernel.radius < 0 || kernel.weights.size() != side * side) {
    platform::Raise(platform::RuntimeError::InvalidProcedureCall, "malformed filter kernel");
  }
}

bool IsKernel(const FilterKernel& kernel, const FilterKernel& other) {
  return kernel.radius == other.radius && kernel.weights == other.weights;
}

// Both fast paths filter in place, row after row in memory order (both kernels are the same
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

// Any other kernel, term by term with the checked arithmetic, into a copy that replaces the
// picture only when every pixel has been computed without error.
void FilterGeneric(const ImageView& image, const FilterKernel& kernel, int16_t divisor) {
  const int32_t r = kernel.radius;
  const int32_t width = image.width;
  const int32_t height = image.height;
  if (width < 2 * r + 1 || height < 2 * r + 1) return;
  if (divisor == 0) platform::Raise(platform::RuntimeError::DivisionByZero);
  const size_t bytes = static_cast<size_t>(width) * kBytesPerPixel;
  std::vector<uint8_t> result(bytes * static_cast<size_t>(height));
  for (int32_t y = 0; y < height; ++y)
    std::memcpy(result.data() + bytes * y, image.Row(y), bytes);
  for (int32_t y = r; y < height - r; ++y) {
    platform::CheckInterrupt();
    uint8_t* out = result.data() + bytes * y;
    for (int32_t x = r; x < width - r; ++x) {
      int32_t sum[3] = {0, 0, 0};
      for (int32_t i = -r; i <= r; ++i) {
        for (int32_t j = -r; j <= r; ++j) {
          const int16_t k = kernel(i, j);
          // j counts rows up the picture, which is row y - j of the top-down view.
          const uint8_t* p = image.Row(y - j) + (x + i) * kBytesPerPixel;
          for (int c = 0; c < 3; ++c)
            sum[c] = checked::Add32(sum[c], checked::Mul16(p[c], k));
        }
      }
      for (int c = 0; c < 3; ++c) {
        const int32_t q = checked::Div32(sum[c], divisor);
        out[x * kBytesPerPixel + c] = static_cast<uint8_t>(std::clamp(q, 0, 255));
      }
    }
  }
  for (int32_t y = r; y < height - r; ++y)
    std::memcpy(image.Row(y), result.data() + bytes * y, bytes);
}

}  // namespace

FilterKernel BlurKernel() {
  return {1, {1, 1, 1, 1, 1, 1, 1, 1, 1}};
}

FilterKernel SharpenKernel() {
  return {1, {-1, -1, -1, -1, 32, -1, -1, -1, -1}};
}

int16_t KernelDivisor(const FilterKernel& kernel) {
  RequireWellFormed(kernel);
  // The first index (columns) in the outer loop, as the kernel is laid out; the order decides
  // where an overflow of the 16-bit sum is found.
  int16_t divisor = 0;
  for (int32_t i = -kernel.radius; i <= kernel.radius; ++i) {
    for (int32_t j = -kernel.radius; j <= kernel.radius; ++j)
      divisor = checked::Add16(divisor, kernel(i, j));
  }
  return divisor;
}

void ApplyFilter(const ImageView& image, const FilterKernel& kernel, int16_t divisor) {
  RequireWellFormed(kernel);
  if (image.Empty()) return;
  if (divisor == 9 && IsKernel(kernel, BlurKernel())) {
    BoxBlur3x3(image);
  } else if (divisor == 24 && IsKernel(kernel, SharpenKernel())) {
    Sharpen3x3(image);
  } else {
    FilterGeneric(image, kernel, divisor);
  }
}

}  // namespace corvella::operations
