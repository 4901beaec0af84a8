#include "corvella/operations/colour_adjust.h"

#include <cmath>
#include <cstring>

#include "corvella/platform/checked.h"
#include "corvella/platform/error.h"

namespace corvella::operations {

using imaging::ImageView;
using imaging::kBytesPerPixel;

void CheckGammaValues(float red, float green, float blue) {
  // Written as "not greater than" so that NaN fails the lower bound.
  if (!(red > 0.0f) || !(green > 0.0f) || !(blue > 0.0f)) {
    platform::Raise(platform::ComponentError::GammaNotPositive);
  }
  if (red > 255.0f || green > 255.0f || blue > 255.0f) {
    platform::Raise(platform::ComponentError::GammaTooLarge);
  }
}

ChannelTable GammaTable(float gamma) {
  ChannelTable table;
  if (gamma == 1.0f) {
    for (int b = 0; b < 256; ++b)
      table[b] = static_cast<uint8_t>(b);
    return table;
  }
  const double exponent = 1.0 / static_cast<double>(gamma);
  for (int b = 0; b < 256; ++b) {
    // The exponent is positive, so the value lies in 0 .. 255 and the conversion cannot fail.
    table[b] = platform::checked::DoubleToByte(255.0 * std::pow(b / 255.0, exponent));
  }
  return table;
}

void Gamma(const ImageView& image, float red, float green, float blue) {
  if (image.Empty() || (red == 1.0f && green == 1.0f && blue == 1.0f)) return;
  const ChannelTable tb = GammaTable(blue);
  const ChannelTable tg = GammaTable(green);
  const ChannelTable tr = GammaTable(red);
  for (int32_t y = 0; y < image.height; ++y) {
    uint8_t* p = image.Row(y);
    for (int32_t x = 0; x < image.width; ++x, p += kBytesPerPixel) {
      const uint8_t b = tb[p[0]];
      const uint8_t g = tg[p[1]];
      const uint8_t r = tr[p[2]];
      p[0] = b;
      p[1] = g;
      p[2] = r;
    }
  }
}

void Negative(const ImageView& image) {
  if (image.Empty()) return;
  const size_t bytes = static_cast<size_t>(image.width) * kBytesPerPixel;
  for (int32_t y = 0; y < image.height; ++y) {
    uint8_t* p = image.Row(y);
    // Eight bytes at a time, then the rest; the padding after the last pixel is not touched.
    size_t i = 0;
    for (; i + 8 <= bytes; i += 8) {
      uint64_t v;
      std::memcpy(&v, p + i, 8);
      v = ~v;
      std::memcpy(p + i, &v, 8);
    }
    for (; i < bytes; ++i)
      p[i] = static_cast<uint8_t>(~p[i]);
  }
}

void GreyScale(const ImageView& image) {
  if (image.Empty()) return;
  for (int32_t y = 0; y < image.height; ++y) {
    uint8_t* p = image.Row(y);
    for (int32_t x = 0; x < image.width; ++x, p += kBytesPerPixel) {
      const uint8_t grey = GreyValue(p[0], p[1], p[2]);
      p[0] = grey;
      p[1] = grey;
      p[2] = grey;
    }
  }
}

}  // namespace corvella::operations
