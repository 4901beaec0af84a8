// The pixel operations as members of Pictron: decode-on-demand, argument checks in their order,
// the state fields each one writes, the arguments written back, and that nothing changes after an
// error. The pixel arithmetic itself is checked in the operations and imaging tests.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include "corvella/component/pictron.h"
#include "corvella/imaging/pixel_limit.h"
#include "operations/image_fixtures.h"
#include "pictron_internal.h"
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

// A Pictron whose decoded image is @p dib, as after opening an image of
// openedWidth x openedHeight, changing it to dib's size and decoding it.
std::shared_ptr<Pictron> Decoded(std::unique_ptr<cDIBSection> dib, int32_t openedWidth,
                                 int32_t openedHeight) {
  auto p = std::make_shared<Pictron>();
  PictronState& s = PictronAccess::State(*p);
  s.lngOriginalWidth = openedWidth;
  s.lngOriginalHeight = openedHeight;
  s.lngWidth = dib->dib_width();
  s.lngHeight = dib->dib_height();
  s.cDib = std::move(dib);
  s.blDecoded = platform::kVbTrue;
  return p;
}

std::shared_ptr<Pictron> Decoded(int32_t width, int32_t height, uint32_t seed = 1) {
  return Decoded(RandomDib(width, height, seed), width, height);
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
  const std::function<void()> members[] = {
      [&] { p.Resample(w, h); }, [&] { p.Crop(x1, y1, x2, y2); }, [&] { p.Flip(); },
      [&] { p.Mirror(); },       [&] { p.RotateRight(); },        [&] { p.RotateLeft(); },
      [&] { p.Blur(); },         [&] { p.Sharpen(); },            [&] { p.Negative(); },
      [&] { p.GreyScale(); },    [&] { p.Gamma(255, 255, 255); }, [&] { p.Gamma(2, 2, 2); }};
  for (const auto& member : members)
    EXPECT_EQ(ErrorNumberOf(member), Runtime(9));
  EXPECT_EQ(h, 0);  // nothing computed before the decode step failed
  // Gamma checks its values before it decodes.
  EXPECT_EQ(ErrorNumberOf([&] { p.Gamma(0, 300, 1); }), Component(1085));
  EXPECT_EQ(ErrorNumberOf([&] { p.Gamma(2, 2, 256); }), Component(1086));
  EXPECT_EQ(ErrorNumberOf([&] { p.Gamma(std::nanf(""), 1, 1); }), Component(1085));
  EXPECT_EQ(ErrorNumberOf([&] { p.Gamma(1, 255.001f, 1); }), Component(1086));
  auto error = testing::ErrorOf([&] { p.Flip(); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Source(), "Corvella.Pictron");
}

TEST(PictronOperations, ResampleOnAnImageOpenedAt800x600) {
  auto p = Decoded(800, 600);
  int32_t w = 400;
  int32_t h = 0;
  p->Resample(w, h);
  EXPECT_EQ(h, 300);  // written back
  EXPECT_EQ(p->width(), 400);
  EXPECT_EQ(p->Height(), 300);
  EXPECT_EQ(p->State().cDib->dib_width(), 400);
  EXPECT_EQ(p->State().cDib->dib_height(), 300);

  w = 0;
  h = 150;
  p->Resample(w, h);
  EXPECT_EQ(w, 200);
  EXPECT_EQ(p->width(), 200);
  EXPECT_EQ(p->Height(), 150);

  // The opened size itself does nothing at all, whatever the current size.
  Snapshot before(*p);
  w = 800;
  h = 600;
  p->Resample(w, h);
  before.ExpectUnchanged(*p);

  // After a crop to 400 x 300 the opened size still does nothing; 800 x 601 scales up.
  p = Decoded(800, 600, 2);
  int16_t x1 = 0;
  int16_t y1 = 0;
  int16_t x2 = 400;
  int16_t y2 = 300;
  p->Crop(x1, y1, x2, y2);
  Snapshot cropped(*p);
  w = 800;
  h = 600;
  p->Resample(w, h);
  cropped.ExpectUnchanged(*p);
  w = 800;
  h = 601;
  p->Resample(w, h);
  EXPECT_EQ(p->width(), 800);
  EXPECT_EQ(p->Height(), 601);
  // Resampling keeps the bottom-left pixel (memory row 0, pixel 0).
  for (int32_t c = 0; c < 3; ++c)
    EXPECT_EQ(testing::AtMemory(*p->State().cDib, 0, 0, c), cropped.bytes[c]);

  // After RotateRight the proportions are still those of the opened image: 300 x 225.
  p = Decoded(800, 600, 3);
  p->RotateRight();
  EXPECT_EQ(p->width(), 600);
  EXPECT_EQ(p->Height(), 800);
  w = 300;
  h = 0;
  p->Resample(w, h);
  EXPECT_EQ(h, 225);
  EXPECT_EQ(p->width(), 300);
  EXPECT_EQ(p->Height(), 225);
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
  w = 0;
  h = 2;
  // The width computes as 0: division by zero in the resampler, picture unchanged.
  EXPECT_EQ(ErrorNumberOf([&] { p->Resample(w, h); }), Runtime(11));
  EXPECT_EQ(w, 0);
  before.ExpectUnchanged(*p);
}

TEST(PictronOperations, ResampleErrorsChangeNothing) {
  auto p = Decoded(80, 60);
  Snapshot before(*p);
  int32_t w = 0;
  int32_t h = 0;
  EXPECT_EQ(ErrorNumberOf([&] { p->Resample(w, h); }), Component(1050));
  w = -5;
  h = 10;
  EXPECT_EQ(ErrorNumberOf([&] { p->Resample(w, h); }), Runtime(5));
  w = 10;
  h = -1;
  EXPECT_EQ(ErrorNumberOf([&] { p->Resample(w, h); }), Runtime(5));
  EXPECT_EQ(h, -1);
  before.ExpectUnchanged(*p);

  // Over the host's pixel limit: out of memory.
  const uint64_t limit = imaging::MaxPixels();
  imaging::SetMaxPixels(10000);
  w = 200;
  h = 100;
  EXPECT_EQ(ErrorNumberOf([&] { p->Resample(w, h); }), Runtime(7));
  imaging::SetMaxPixels(limit);
  before.ExpectUnchanged(*p);

  // The proportional product overflows, or the opened height is 0.
  PictronAccess::State(*p).lngOriginalWidth = 1 << 30;
  w = 0;
  h = 4;
  EXPECT_EQ(ErrorNumberOf([&] { p->Resample(w, h); }), Runtime(6));
  PictronAccess::State(*p).lngOriginalWidth = 80;
  PictronAccess::State(*p).lngOriginalHeight = 0;
  w = 0;
  h = 4;
  EXPECT_EQ(ErrorNumberOf([&] { p->Resample(w, h); }), Runtime(11));
  before.ExpectUnchanged(*p);

  // A picture 1 pixel wide cannot be resampled: range error, nothing changed.
  auto narrow = Decoded(1, 40);
  Snapshot narrowBefore(*narrow);
  w = 5;
  h = 5;
  EXPECT_EQ(ErrorNumberOf([&] { narrow->Resample(w, h); }), Runtime(9));
  narrowBefore.ExpectUnchanged(*narrow);
}

TEST(PictronOperations, CropKeepsTheRectangleAndWritesClampsBack) {
  auto p = Decoded(200, 100);
  auto original = testing::Copy(*p->State().cDib);
  int16_t x1 = 10;
  int16_t y1 = 20;
  int16_t x2 = 110;
  int16_t y2 = 70;
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

  p = Decoded(200, 100, 2);
  const std::vector<uint8_t> whole = Bytes(*p->State().cDib);
  x1 = 0;
  y1 = 0;
  x2 = 5000;
  y2 = 5000;
  p->Crop(x1, y1, x2, y2);
  EXPECT_EQ(x2, 200);
  EXPECT_EQ(y2, 100);
  EXPECT_EQ(p->width(), 200);
  EXPECT_EQ(p->Height(), 100);
  EXPECT_EQ(Bytes(*p->State().cDib).size(), whole.size());
  for (int32_t y = 0; y < 100; ++y) {
    for (int32_t x = 0; x < 200; ++x)
      ASSERT_EQ(At(*p->State().cDib, x, y, 1), whole[(99 - y) * 600 + 3 * x + 1]);
  }
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
    int16_t x1 = c.x1;
    int16_t y1 = c.y1;
    int16_t x2 = c.x2;
    int16_t y2 = c.y2;
    EXPECT_EQ(ErrorNumberOf([&] { p->Crop(x1, y1, x2, y2); }), Component(c.code))
        << c.x1 << "," << c.y1 << "," << c.x2 << "," << c.y2;
    EXPECT_EQ(x2, c.x2);
    EXPECT_EQ(y2, c.y2);
    before.ExpectUnchanged(*p);
  }
}

TEST(PictronOperations, AnEmptyCropLeavesAnEmptyPictureThatOthersAccept) {
  auto p = Decoded(200, 100);
  int16_t x1 = 200;
  int16_t y1 = 0;
  int16_t x2 = 300;
  int16_t y2 = 50;
  p->Crop(x1, y1, x2, y2);
  EXPECT_EQ(x2, 200);
  EXPECT_EQ(p->width(), 0);
  EXPECT_EQ(p->Height(), 50);
  const cDIBSection& empty = *p->State().cDib;
  EXPECT_EQ(empty.dib_width(), 0);
  EXPECT_EQ(empty.dib_height(), 50);
  EXPECT_EQ(empty.DIBSectionBitsPtr(), nullptr);

  // The other members take the empty picture without complaint; turning swaps its sides.
  p->Flip();
  p->Mirror();
  p->Blur();
  p->Sharpen();
  p->Negative();
  p->GreyScale();
  p->Gamma(2, 2, 2);
  p->RotateRight();
  EXPECT_EQ(p->width(), 50);
  EXPECT_EQ(p->Height(), 0);
  p->RotateLeft();
  EXPECT_EQ(p->width(), 0);
  EXPECT_EQ(p->Height(), 50);
  x1 = 0;
  y1 = 10;
  x2 = 0;
  y2 = 20;
  p->Crop(x1, y1, x2, y2);
  EXPECT_EQ(p->width(), 0);
  EXPECT_EQ(p->Height(), 10);
  // There is nothing to resample from.
  int32_t w = 10;
  int32_t h = 10;
  EXPECT_EQ(ErrorNumberOf([&] { p->Resample(w, h); }), Runtime(9));
  EXPECT_EQ(p->width(), 0);
}

TEST(PictronOperations, RotationsSwapTheSizeAndFailWholeOverTheLimit) {
  auto p = Decoded(7, 4);
  p->RotateRight();
  EXPECT_EQ(p->width(), 4);
  EXPECT_EQ(p->Height(), 7);
  EXPECT_EQ(p->State().cDib->dib_width(), 4);
  p->RotateLeft();
  EXPECT_EQ(p->width(), 7);
  EXPECT_EQ(p->Height(), 4);

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
