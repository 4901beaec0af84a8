// Opaque and keyed overlays against a reference written pixel by pixel, clipped at every edge.

#include "corvella/overlay/image_overlay.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "operations/image_fixtures.h"

namespace corvella::overlay {
namespace {

using imaging::cDIBSection;
using testing::Pixel;
using testing::TopDown;

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

// Overlays smaller and larger than the picture, at every position that crosses an edge.
TEST(ImageOverlay, OpaqueAndKeyedMatchTheReferenceAtEveryEdge) {
  constexpr int32_t kW = 9;
  constexpr int32_t kH = 6;
  const Pixel key{10, 20, 30};
  const int32_t positions[] = {-5, -4, -3, -1, 0, 1, 3, 5, 6, 8, 9, 10};
  for (auto [ow, oh] : {std::pair{4, 3}, {12, 8}}) {
    for (int32_t x : positions) {
      for (int32_t y : positions) {
        for (bool keyed : {false, true}) {
          auto image = MakeImage(kW, kH, 40);
          auto over = MakeImage(ow, oh, 200);
          // A few key pixels, one near miss of each channel.
          SetPixel(*over, 0, 0, key);
          SetPixel(*over, 3, 1, key);
          SetPixel(*over, 1, 2, {11, 20, 30});
          SetPixel(*over, 2, 2, {10, 21, 30});
          SetPixel(*over, 3, 2, {10, 20, 31});
          std::vector<Pixel> expected = Reference(TopDown(*image), kW, kH, TopDown(*over), ow, oh,
                                                  x, y, keyed ? &key : nullptr);
          if (keyed) {
            PaintKeyed(*image, *over, x, y, Rgb{30, 20, 10});
          } else {
            PaintOpaque(*image, *over, x, y);
          }
          ASSERT_EQ(TopDown(*image), expected) << x << "," << y << " keyed " << keyed << " " << ow;
        }
      }
    }
  }
}

TEST(ImageOverlay, EmptyOverlaysAndFarPositionsPaintNothing) {
  auto targetPtr = MakeImage(5, 4, 1);
  cDIBSection& target = *targetPtr;
  const std::vector<Pixel> before = TopDown(target);
  cDIBSection empty;  // never created: 0 x 0, no pixels
  cDIBSection failed;
  EXPECT_FALSE(failed.Create(0, 3));  // keeps its requested height, has no pixels
  for (const cDIBSection* over : {&empty, &failed}) {
    PaintOpaque(target, *over, 0, 0);
    PaintKeyed(target, *over, 0, 0, Rgb{});
    EXPECT_EQ(TopDown(target), before);
  }
  // Far away in every direction, and at extreme coordinates, nothing is touched.
  auto smallPtr = MakeImage(2, 2, 50);
  cDIBSection& small = *smallPtr;
  for (int32_t x : {-2147483647 - 1, -3, 5, 2147483647}) {
    PaintOpaque(target, small, x, 0);
    PaintKeyed(target, small, x, 0, Rgb{});
    PaintKeyed(target, small, 0, x, Rgb{});
  }
  EXPECT_EQ(TopDown(target), before);
}

}  // namespace
}  // namespace corvella::overlay
