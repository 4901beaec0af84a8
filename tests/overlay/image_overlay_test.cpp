#include "corvella/overlay/image_overlay.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "support/errors.h"

namespace corvella::overlay {
namespace {

using imaging::cDIBSection;

using Pixel = std::array<uint8_t, 3>;  // blue, green, red

// A buffer whose every pixel tells its position and the buffer apart (asymmetric in x and y).
std::unique_ptr<cDIBSection> MakeImage(int32_t w, int32_t h, uint8_t tag) {
  auto dib = std::make_unique<cDIBSection>();
  EXPECT_TRUE(dib->Create(w, h));
  imaging::ImageView view = dib->View();
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      uint8_t* p = view.Row(y) + 3 * x;
      p[0] = static_cast<uint8_t>(tag + x);
      p[1] = static_cast<uint8_t>(tag + 3 * y);
      p[2] = static_cast<uint8_t>(tag ^ (x * 7 + y));
    }
  }
  return dib;
}

// The pixels of a buffer, top-down, read from memory rows (bottom-up) by hand.
std::vector<Pixel> Pixels(const cDIBSection& dib) {
  std::vector<Pixel> pixels;
  for (int32_t y = 0; y < dib.dib_height(); ++y) {
    const uint8_t* row =
        dib.DIBSectionBitsPtr() + (dib.dib_height() - 1 - y) * dib.BytesPerScanLine();
    for (int32_t x = 0; x < dib.dib_width(); ++x)
      pixels.push_back({row[3 * x], row[3 * x + 1], row[3 * x + 2]});
  }
  return pixels;
}

void SetPixel(cDIBSection& dib, int32_t x, int32_t y, Pixel value) {
  uint8_t* p = dib.View().Row(y) + 3 * x;
  p[0] = value[0];
  p[1] = value[1];
  p[2] = value[2];
}

// The expected result, written independently: each target pixel takes the overlay pixel above it
// unless there is none or it is the key.
std::vector<Pixel> Reference(const std::vector<Pixel>& image, int32_t w, int32_t h,
                             const std::vector<Pixel>& over, int32_t ow, int32_t oh, int32_t x,
                             int32_t y, const Pixel* key) {
  std::vector<Pixel> out = image;
  for (int32_t ty = 0; ty < h; ++ty) {
    for (int32_t tx = 0; tx < w; ++tx) {
      int64_t i = int64_t{tx} - x;
      int64_t j = int64_t{ty} - y;
      if (i < 0 || j < 0 || i >= ow || j >= oh) continue;
      const Pixel& p = over[j * ow + i];
      if (key != nullptr && p == *key) continue;
      out[ty * w + tx] = p;
    }
  }
  return out;
}

TEST(ImageOverlay, OpaqueAndKeyedMatchTheReferenceAtEveryEdge) {
  constexpr int32_t kW = 9;
  constexpr int32_t kH = 6;
  constexpr int32_t kOw = 4;
  constexpr int32_t kOh = 3;
  const Pixel key{10, 20, 30};
  const int32_t positions[] = {-5, -4, -3, -1, 0, 1, 3, 5, 6, 8, 9, 10};
  for (int32_t x : positions) {
    for (int32_t y : positions) {
      for (bool keyed : {false, true}) {
        auto imagePtr = MakeImage(kW, kH, 40);
        auto overPtr = MakeImage(kOw, kOh, 200);
        cDIBSection& image = *imagePtr;
        cDIBSection& over = *overPtr;
        // A few key pixels, one near miss of each channel.
        SetPixel(over, 0, 0, key);
        SetPixel(over, 3, 1, key);
        SetPixel(over, 1, 2, {11, 20, 30});
        SetPixel(over, 2, 2, {10, 21, 30});
        SetPixel(over, 3, 2, {10, 20, 31});
        std::vector<Pixel> expected =
            Reference(Pixels(image), kW, kH, Pixels(over), kOw, kOh, x, y, keyed ? &key : nullptr);
        if (keyed) {
          PaintKeyed(image, over, x, y, Rgb{30, 20, 10});
        } else {
          PaintOpaque(image, over, x, y);
        }
        ASSERT_EQ(Pixels(image), expected) << "x " << x << " y " << y << " keyed " << keyed;
      }
    }
  }
}

TEST(ImageOverlay, WhiteKeyKeepsTheImageAndPaintsNearWhite) {
  auto imagePtr = MakeImage(6, 4, 0);
  cDIBSection& image = *imagePtr;
  const std::vector<Pixel> before = Pixels(image);
  cDIBSection logo;
  ASSERT_TRUE(logo.Create(3, 2));
  SetPixel(logo, 0, 0, {255, 255, 255});
  SetPixel(logo, 1, 0, {255, 255, 254});  // red 254
  SetPixel(logo, 2, 0, {0, 0, 0});
  SetPixel(logo, 0, 1, {255, 255, 255});
  SetPixel(logo, 1, 1, {255, 254, 255});
  SetPixel(logo, 2, 1, {254, 255, 255});
  PaintKeyed(image, logo, 2, 1, Rgb{255, 255, 255});
  std::vector<Pixel> after = Pixels(image);
  auto at = [&](int32_t x, int32_t y) { return after[y * 6 + x]; };
  EXPECT_EQ(at(2, 1), before[1 * 6 + 2]);  // pure white: the image shows
  EXPECT_EQ(at(3, 1), (Pixel{255, 255, 254}));
  EXPECT_EQ(at(4, 1), (Pixel{0, 0, 0}));
  EXPECT_EQ(at(2, 2), before[2 * 6 + 2]);
  EXPECT_EQ(at(3, 2), (Pixel{255, 254, 255}));
  EXPECT_EQ(at(4, 2), (Pixel{254, 255, 255}));
  // Nothing outside the block changed.
  for (int32_t y = 0; y < 4; ++y) {
    for (int32_t x = 0; x < 6; ++x) {
      if (x < 2 || x > 4 || y < 1 || y > 2) {
        EXPECT_EQ(at(x, y), before[y * 6 + x]);
      }
    }
  }
}

TEST(ImageOverlay, LargerOverlayCoversAndEmptyOverlayPaintsNothing) {
  auto imagePtr = MakeImage(5, 4, 1);
  auto bigPtr = MakeImage(8, 7, 90);
  cDIBSection& image = *imagePtr;
  cDIBSection& big = *bigPtr;
  PaintOpaque(image, big, 0, 0);
  std::vector<Pixel> bigPixels = Pixels(big);
  std::vector<Pixel> after = Pixels(image);
  for (int32_t y = 0; y < 4; ++y) {
    for (int32_t x = 0; x < 5; ++x)
      EXPECT_EQ(after[y * 5 + x], bigPixels[y * 8 + x]);
  }
  EXPECT_EQ(image.dib_width(), 5);

  auto targetPtr = MakeImage(5, 4, 1);
  cDIBSection& target = *targetPtr;
  const std::vector<Pixel> before = Pixels(target);
  cDIBSection empty;  // never created: 0 x 0, no pixels
  cDIBSection failed;
  EXPECT_FALSE(failed.Create(0, 3));  // keeps its requested height, has no pixels
  for (const cDIBSection* over : {&empty, &failed}) {
    PaintOpaque(target, *over, 0, 0);
    PaintKeyed(target, *over, 0, 0, Rgb{});
    EXPECT_EQ(Pixels(target), before);
  }
  // Far away in every direction, and at extreme coordinates, nothing is touched.
  auto smallPtr = MakeImage(2, 2, 50);
  cDIBSection& small = *smallPtr;
  for (int32_t x : {-2147483647 - 1, -3, 5, 2147483647}) {
    PaintOpaque(target, small, x, 0);
    PaintKeyed(target, small, x, 0, Rgb{});
    PaintKeyed(target, small, 0, x, Rgb{});
  }
  EXPECT_EQ(Pixels(target), before);
}

}  // namespace
}  // namespace corvella::overlay
