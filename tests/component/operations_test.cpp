// The pixel operations as members of Pictron: decode-on-demand, argument checks in their order,
// the state fields each one writes, the arguments written back, and that nothing changes after an
// error. The pixel arithmetic itself is checked in the operations and imaging tests.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include "component/component_fixtures.h"
#include "corvella/imaging/pixel_limit.h"
#include "operations/image_fixtures.h"
#include "support/errors.h"

namespace corvella::component {
namespace {

using imaging::cDIBSection;
using testing::At;
using testing::Bytes;
using testing::Component;
using testing::ErrorNumberOf;
using testing::RandomDib;
using testing::Runtime;

// A Pictron whose decoded image is random, as after opening an image of its size and decoding it.
std::shared_ptr<Pictron> Decoded(int32_t width, int32_t height, uint32_t seed = 1) {
  auto p = std::make_shared<Pictron>();
  test::GiveImage(*p, RandomDib(width, height, seed));
  return p;
}

// What an error must leave untouched: the buffer object, its bytes and the current size.
struct Snapshot {
  explicit Snapshot(const Pictron& p)
      : dib(p.State().cDib.get()),
        bytes(Bytes(*p.State().cDib)),
        width(p.width()),
        height(p.Height()) {}
  void ExpectUnchanged(const Pictron& p) const {
    EXPECT_EQ(p.State().cDib.get(), dib);
    EXPECT_EQ(Bytes(*p.State().cDib), bytes);
    EXPECT_EQ(p.width(), width);
    EXPECT_EQ(p.Height(), height);
  }
  const cDIBSection* dib;
  std::vector<uint8_t> bytes;
  int32_t width;
  int32_t height;
};

TEST(PictronOperations, EveryMemberNeedsAnOpenedImage) {
  Pictron p;
  int32_t w = 10, h = 0;
  int16_t x1 = 0, y1 = 0, x2 = 1, y2 = 1;
  const std::function<void()> members[] = {[&] { p.Resample(w, h); },
                                           [&] { p.Crop(x1, y1, x2, y2); },
                                           [&] { p.Flip(); },
                                           [&] { p.Mirror(); },
                                           [&] { p.RotateRight(); },
                                           [&] { p.RotateLeft(); },
                                           [&] { p.Blur(); },
                                           [&] { p.Sharpen(); },
                                           [&] { p.Negative(); },
                                           [&] { p.GreyScale(); },
                                           [&] { p.Gamma(255, 255, 255); },
                                           [&] { p.Gamma(2, 2, 2); },
                                           [&] { p.JPEGSkipVariables(w); }};
  for (const auto& member : members)
    EXPECT_EQ(ErrorNumberOf(member), Runtime(9));
  EXPECT_EQ(h, 0);  // nothing computed before the decode step failed
  // Gamma checks its values before it decodes (0 and 256 are the acceptance script filters.vbs).
  EXPECT_EQ(ErrorNumberOf([&] { p.Gamma(std::nanf(""), 1, 1); }), Component(1085));
  EXPECT_EQ(ErrorNumberOf([&] { p.Gamma(1, 255.001f, 1); }), Component(1086));
}

// Writing back a side computed from the opened proportions is the acceptance script geometry.vbs.
TEST(PictronOperations, ResampleOnAnImageOpenedAt800x600) {
  auto p = Decoded(800, 600);
  int32_t w = 400;
  int32_t h = 300;
  p->Resample(w, h);
  // The opened size itself does nothing at all, whatever the current size.
  Snapshot before(*p);
  w = 800, h = 600;
  p->Resample(w, h);
  before.ExpectUnchanged(*p);

  // After a crop to 400 x 300 the opened size still does nothing; 800 x 601 scales up.
  p = Decoded(800, 600, 2);
  int16_t x1 = 0, y1 = 0, x2 = 400, y2 = 300;
  p->Crop(x1, y1, x2, y2);
  Snapshot cropped(*p);
  w = 800, h = 600;
  p->Resample(w, h);
  cropped.ExpectUnchanged(*p);
  w = 800, h = 601;
  p->Resample(w, h);
  EXPECT_EQ(p->width(), 800);
  EXPECT_EQ(p->Height(), 601);
  // Resampling keeps the bottom-left pixel (memory row 0, pixel 0).
  for (int32_t c = 0; c < 3; ++c)
    EXPECT_EQ(testing::AtMemory(*p->State().cDib, 0, 0, c), cropped.bytes[c]);

  // After RotateRight the proportions are still those of the opened image: 300 x 225.
  p = Decoded(800, 600, 3);
  p->RotateRight();
  w = 300, h = 0;
  p->Resample(w, h);
  EXPECT_EQ(h, 225);
  EXPECT_EQ(p->State().cDib->dib_width(), 300);
  EXPECT_EQ(p->State().cDib->dib_height(), 225);
}

TEST(PictronOperations, ResampleOnAnImageOpenedAt100x300) {
  auto p = Decoded(100, 300);
  int32_t w = 1;
  int32_t h = 0;
  // A target 1 pixel wide is fine; only the source must be 2 pixels wide and high.
  p->Resample(w, h);
  EXPECT_EQ(h, 3);
  EXPECT_EQ(p->width(), 1);
  EXPECT_EQ(p->Height(), 3);

  p = Decoded(100, 300);
  Snapshot before(*p);
  w = 0, h = 2;
  // The width computes as 0: division by zero in the resampler, picture unchanged.
  EXPECT_EQ(ErrorNumberOf([&] { p->Resample(w, h); }), Runtime(11));
  EXPECT_EQ(w, 0);
  before.ExpectUnchanged(*p);
}

TEST(PictronOperations, ResampleErrorsChangeNothing) {
  auto p = Decoded(80, 60);
  Snapshot before(*p);
  PictronState& s = PictronAccess::State(*p);
  const uint64_t limit = imaging::MaxPixels();
  struct Case {
    int32_t w, h, originalWidth, originalHeight;
    uint64_t maxPixels;
    int32_t error;
  } cases[] = {
      {0, 0, 80, 60, limit, Component(1050)},
      {-5, 10, 80, 60, limit, Runtime(5)},
      {10, -1, 80, 60, limit, Runtime(5)},
      {200, 100, 80, 60, 10000, Runtime(7)},   // over the host's pixel limit
      {0, 4, 1 << 30, 60, limit, Runtime(6)},  // the proportional product overflows
      {0, 4, 80, 0, limit, Runtime(11)},       // the opened height is 0
  };
  for (const Case& c : cases) {
    int32_t w = c.w, h = c.h;
    s.lngOriginalWidth = c.originalWidth;
    s.lngOriginalHeight = c.originalHeight;
    imaging::SetMaxPixels(c.maxPixels);
    EXPECT_EQ(ErrorNumberOf([&] { p->Resample(w, h); }), c.error) << c.w << "," << c.h;
    imaging::SetMaxPixels(limit);
    EXPECT_EQ(h, c.h);
    before.ExpectUnchanged(*p);
  }
  // A picture 1 pixel wide cannot be resampled: range error, nothing changed.
  auto narrow = Decoded(1, 40);
  Snapshot narrowBefore(*narrow);
  int32_t w = 5, h = 5;
  EXPECT_EQ(ErrorNumberOf([&] { narrow->Resample(w, h); }), Runtime(9));
  narrowBefore.ExpectUnchanged(*narrow);
}

TEST(PictronOperations, CropKeepsTheRectangleAndWritesClampsBack) {
  auto p = Decoded(200, 100);
  auto original = testing::Copy(*p->State().cDib);
  int16_t x1 = 10, y1 = 20, x2 = 110, y2 = 70;
  p->Crop(x1, y1, x2, y2);
  EXPECT_EQ(p->width(), 100);
  EXPECT_EQ(p->Height(), 50);
  const cDIBSection& cropped = *p->State().cDib;
  for (int32_t y = 0; y < 50; ++y) {
    for (int32_t x = 0; x < 100; ++x) {
      for (int32_t c = 0; c < 3; ++c)
        ASSERT_EQ(At(cropped, x, y, c), At(*original, x + 10, y + 20, c));
    }
  }

  // Clamped to the whole picture (the clamps written back are geometry.vbs): the same pixels.
  p = Decoded(200, 100, 2);
  const std::vector<testing::Pixel> whole = testing::TopDown(*p->State().cDib);
  x1 = y1 = 0;
  x2 = y2 = 5000;
  p->Crop(x1, y1, x2, y2);
  EXPECT_EQ(testing::TopDown(*p->State().cDib), whole);
}

TEST(PictronOperations, CropChecksInOrderAndChangesNothingOnError) {
  auto p = Decoded(200, 100);
  Snapshot before(*p);
  struct Case {
    int16_t x1, y1, x2, y2;
    int code;
  };
  const Case cases[] = {
      {-1, 0, 10, 10, 1091},   {300, -1, 400, 10, 1090}, {10, 10, 5, 20, 1092},
      {0, 101, 10, 200, 1090}, {201, 0, 300, 10, 1090},  {0, -5, 10, 10, 1091},
      {10, 10, 20, 9, 1092},   {-3, 200, 0, 0, 1090},
  };
  for (const Case& c : cases) {
    int16_t x1 = c.x1, y1 = c.y1, x2 = c.x2, y2 = c.y2;
    EXPECT_EQ(ErrorNumberOf([&] { p->Crop(x1, y1, x2, y2); }), Component(c.code))
        << c.x1 << "," << c.y1 << "," << c.x2 << "," << c.y2;
    EXPECT_EQ(x2, c.x2);
    EXPECT_EQ(y2, c.y2);
    before.ExpectUnchanged(*p);
  }
}

// The sizes of an empty picture cropped, turned, flipped and mirrored are geometry.vbs.
TEST(PictronOperations, AnEmptyCropLeavesAnEmptyPictureThatOthersAccept) {
  auto p = Decoded(200, 100);
  int16_t x1 = 200, y1 = 0, x2 = 300, y2 = 50;
  p->Crop(x1, y1, x2, y2);
  const cDIBSection& empty = *p->State().cDib;
  EXPECT_EQ(empty.dib_width(), 0);
  EXPECT_EQ(empty.dib_height(), 50);
  EXPECT_EQ(empty.DIBSectionBitsPtr(), nullptr);
  // The filters take the empty picture without complaint; so does a crop.
  p->Blur();
  p->Sharpen();
  p->Negative();
  p->GreyScale();
  p->Gamma(2, 2, 2);
  p->RotateRight();
  p->RotateLeft();
  x1 = 0, y1 = 10, x2 = 0, y2 = 20;
  p->Crop(x1, y1, x2, y2);
  EXPECT_EQ(p->width(), 0);
  EXPECT_EQ(p->Height(), 10);
  // There is nothing to resample from.
  int32_t w = 10;
  int32_t h = 10;
  EXPECT_EQ(ErrorNumberOf([&] { p->Resample(w, h); }), Runtime(9));
  EXPECT_EQ(p->width(), 0);
}

TEST(PictronOperations, RotationsFailWholeOverTheLimit) {
  // A rotated buffer over the host's limit is out of memory; nothing changes.
  auto wide = Decoded(300, 2);
  Snapshot before(*wide);
  const uint64_t limit = imaging::MaxPixels();
  imaging::SetMaxPixels(500);
  EXPECT_EQ(ErrorNumberOf([&] { wide->RotateRight(); }), Runtime(7));
  imaging::SetMaxPixels(limit);
  before.ExpectUnchanged(*wide);
}

}  // namespace
}  // namespace corvella::component
