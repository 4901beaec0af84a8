// AddText and AddImage on a working image put in place directly (decoded state), so that these
// tests do not depend on the codec.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "corvella/component/pictron.h"
#include "corvella/overlay/text_renderer.h"
#include "corvella/platform/checked.h"
#include "pictron_internal.h"
#include "support/errors.h"

namespace corvella::component {
namespace {

using imaging::cDIBSection;
using platform::Variant;
using testing::Component;
using testing::ErrorNumberOf;
using testing::ErrorOf;
using testing::Runtime;

using Pixel = std::array<uint8_t, 3>;  // blue, green, red

// Gives @p p a decoded working image of w x h whose pixels tell their position apart.
void GiveImage(Pictron& p, int32_t w, int32_t h, bool white = false) {
  PictronState& state = PictronAccess::State(p);
  state.cDib = std::make_unique<cDIBSection>();
  ASSERT_TRUE(state.cDib->Create(w, h));
  imaging::ImageView view = state.cDib->View();
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      uint8_t* px = view.Row(y) + 3 * x;
      px[0] = white ? 255 : static_cast<uint8_t>(x);
      px[1] = white ? 255 : static_cast<uint8_t>(y);
      px[2] = white ? 255 : static_cast<uint8_t>(x * 3 + y);
    }
  }
  state.blDecoded = platform::kVbTrue;
  state.lngWidth = w;
  state.lngHeight = h;
}

// The pixels of the working image, top-down, read from the bottom-up memory by hand.
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
std::vector<Pixel> Pixels(const Pictron& p) {
  return Pixels(*p.State().cDib);
}

// The box of changed pixels between two snapshots of a w-wide image.
struct Ink {
  int32_t left = INT32_MAX, top = INT32_MAX, right = INT32_MIN, bottom = INT32_MIN;
  int64_t count = 0;
};
Ink InkBetween(const std::vector<Pixel>& before, const std::vector<Pixel>& after, int32_t w) {
  Ink ink;
  for (size_t i = 0; i < before.size(); ++i) {
    if (before[i] == after[i]) continue;
    int32_t x = static_cast<int32_t>(i % w);
    int32_t y = static_cast<int32_t>(i / w);
    ink.left = std::min(ink.left, x);
    ink.right = std::max(ink.right, x);
    ink.top = std::min(ink.top, y);
    ink.bottom = std::max(ink.bottom, y);
    ++ink.count;
  }
  return ink;
}

// The extent that AddText measures for @p message with the object's current settings.
overlay::TextExtent Measure(const Pictron& p, std::u16string_view message) {
  overlay::TextFont font(TextFontRequest(p.State()));
  return font.Layout(message).Extent();
}

TEST(AddText, DefaultsDrawBlackTextHalfALineBelowTheTop) {
  Pictron p;
  GiveImage(p, 200, 100, true);
  const std::vector<Pixel> before = Pixels(p);
  const overlay::TextExtent extent = Measure(p, u"Hello");
  ASSERT_GT(extent.cx, 0);
  p.AddText(u"Hello", u"LEFT", u"TOP");
  const std::vector<Pixel> after = Pixels(p);
  Ink ink = InkBetween(before, after, 200);
  ASSERT_GT(ink.count, 0);
  const int32_t top = platform::checked::DoubleToInt32(extent.cy / 2.0);
  EXPECT_GE(ink.top, top);
  EXPECT_LT(ink.top, top + extent.cy / 2);  // capitals start in the upper half of the cell
  EXPECT_LT(ink.bottom, top + extent.cy);
  EXPECT_GE(ink.left, 0);
  EXPECT_LE(ink.right, extent.cx);
  for (size_t i = 0; i < after.size(); ++i) {
    if (after[i] != before[i]) {
      EXPECT_TRUE(after[i][0] == after[i][1] && after[i][1] == after[i][2]);  // grey: black ink
    }
  }
}

TEST(AddText, RangeChecksComeBeforeTheColourAndNothingIsDrawnOnError) {
  Pictron p;
  GiveImage(p, 120, 80);
  const std::vector<Pixel> before = Pixels(p);
  const overlay::TextExtent e = Measure(p, u"Edge");
  auto error = ErrorOf([&] { p.AddText(u"Edge", 121, 0); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Number(), Component(1090));
  EXPECT_EQ(error->Source(), "Corvella.Pictron");
  EXPECT_EQ(ErrorNumberOf([&] { p.AddText(u"Edge", 0, 81); }), Component(1090));
  EXPECT_EQ(ErrorNumberOf([&] { p.AddText(u"Edge", -e.cx - 1, 0); }), Component(1091));
  EXPECT_EQ(ErrorNumberOf([&] { p.AddText(u"Edge", 0, -e.cy - 1); }), Component(1091));
  EXPECT_EQ(ErrorNumberOf([&] { p.AddText(u"Edge", u"1e10", 0); }), Runtime(6));
  // PositionX is resolved first.
  EXPECT_EQ(ErrorNumberOf([&] { p.AddText(u"Edge", u"1e10", Variant::Missing()); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([&] { p.AddText(u"Edge", 0, 3e9); }), Runtime(6));
  // An invalid colour digit is found after the checks.
  PictronAccess::State(p).strFontColor = u"GGGGGG";
  EXPECT_EQ(ErrorNumberOf([&] { p.AddText(u"Edge", 121, 0); }), Component(1090));
  EXPECT_EQ(ErrorNumberOf([&] { p.AddText(u"Edge", 0, 0); }), Runtime(13));
  EXPECT_EQ(Pixels(p), before);
  // On the far edges, and with the line just off the left edge, the checks pass.
  p.SetFontColor(u"000000");
  EXPECT_EQ(ErrorNumberOf([&] { p.AddText(u"Edge", 120, 80); }), 0);
  EXPECT_EQ(ErrorNumberOf([&] { p.AddText(u"Edge", -e.cx, -e.cy); }), 0);
  EXPECT_EQ(Pixels(p), before);
  // An empty message passes every step and draws nothing.
  EXPECT_EQ(ErrorNumberOf([&] { p.AddText(u"", u"CENTER", u"BOTTOM"); }), 0);
  EXPECT_EQ(Pixels(p), before);
}

TEST(AddText, EachCallUsesTheSettingsOfTheMoment) {
  Pictron p;
  GiveImage(p, 300, 120, true);
  p.SetFontColor(u"ff0000");
  p.AddText(u"HHH", 10, 10);
  p.SetFontColor(u"0000FF");
  p.SetFontSize(30);
  p.AddText(u"HHH", 150, 10);
  const std::vector<Pixel> after = Pixels(p);
  std::vector<Pixel> white(after.size(), Pixel{255, 255, 255});
  Ink red;
  Ink blue;
  for (size_t i = 0; i < after.size(); ++i) {
    const Pixel& px = after[i];
    if (px == Pixel{255, 255, 255}) continue;
    int32_t x = static_cast<int32_t>(i % 300);
    int32_t y = static_cast<int32_t>(i / 300);
    Ink& ink = x < 150 ? red : blue;
    if (x < 150) {
      EXPECT_TRUE(px[2] == 255 && px[0] == px[1]) << x << "," << y;  // towards red
    } else {
      EXPECT_TRUE(px[0] == 255 && px[1] == px[2]) << x << "," << y;  // towards blue
    }
    ink.top = std::min(ink.top, y);
    ink.bottom = std::max(ink.bottom, y);
    ++ink.count;
  }
  ASSERT_GT(red.count, 0);
  ASSERT_GT(blue.count, 0);
  // 12 points, then 30: the second capitals are about two and a half times as tall.
  const int32_t small = red.bottom - red.top + 1;
  const int32_t large = blue.bottom - blue.top + 1;
  EXPECT_GT(large * 10, small * 22);
  EXPECT_LT(large * 10, small * 28);
}

TEST(AddText, UnusualFontSettingsStillDraw) {
  for (int16_t size : {int16_t{0}, int16_t{-12}, int16_t{1}}) {
    Pictron p;
    GiveImage(p, 100, 60, true);
    const std::vector<Pixel> before = Pixels(p);
    p.SetFontSize(size);
    p.SetFontFace(u"");
    p.SetFontCharset(-77);
    EXPECT_EQ(ErrorNumberOf([&] { p.AddText(u"Wg", 2, 2); }), 0) << size;
    EXPECT_NE(Pixels(p), before) << size;
  }
  Pictron p;
  GiveImage(p, 100, 60, true);
  p.SetFontFace(u"No Such Family At All");
  p.SetFontOrientation(32767);
  EXPECT_EQ(ErrorNumberOf([&] { p.AddText(u"Wg", u"CENTER", u"CENTER"); }), 0);
}

// An overlay buffer of w x h whose pixels tell their position apart from the image's.
std::unique_ptr<cDIBSection> MakeOverlay(int32_t w, int32_t h) {
  auto dib = std::make_unique<cDIBSection>();
  EXPECT_TRUE(dib->Create(w, h));
  imaging::ImageView view = dib->View();
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      uint8_t* px = view.Row(y) + 3 * x;
      px[0] = 200;
      px[1] = static_cast<uint8_t>(100 + x);
      px[2] = static_cast<uint8_t>(150 + y);
    }
  }
  return dib;
}

// The image after an opaque copy of @p over at (x, y), computed independently.
std::vector<Pixel> Expected(const std::vector<Pixel>& image, int32_t w, int32_t h,
                            const cDIBSection& over, int32_t x, int32_t y) {
  std::vector<Pixel> out = image;
  std::vector<Pixel> src = Pixels(over);
  for (int32_t j = 0; j < over.dib_height(); ++j) {
    for (int32_t i = 0; i < over.dib_width(); ++i) {
      if (x + i < 0 || x + i >= w || y + j < 0 || y + j >= h) continue;
      out[(y + j) * w + x + i] = src[j * over.dib_width() + i];
    }
  }
  return out;
}

TEST(AddImage, ChecksComeInOrder) {
  Pictron p;
  GiveImage(p, 200, 100);
  const std::vector<Pixel> before = Pixels(p);
  auto over = MakeOverlay(50, 20);
  auto paint = [&](Variant x, Variant y, Variant& colour) {
    return ErrorNumberOf([&] { PaintOverlayImage(p, *over, x, y, colour); });
  };
  Variant shortColour(u"FFF");
  EXPECT_EQ(paint(201, 0, shortColour), Component(1090));
  EXPECT_EQ(paint(-51, 0, shortColour), Component(1091));
  EXPECT_EQ(paint(0, -21, shortColour), Component(1091));
  EXPECT_EQ(paint(u"1e10", 0, shortColour), Runtime(6));
  EXPECT_EQ(shortColour, Variant(u"FFF"));  // not read before the positions pass
  EXPECT_EQ(paint(0, 0, shortColour), Component(1200));
  Variant badDigits(u"GGGGGG");
  EXPECT_EQ(paint(0, 0, badDigits), Runtime(13));
  EXPECT_EQ(badDigits, Variant(u"GGGGGG"));
  EXPECT_EQ(Pixels(p), before);

  // The 16-bit size check comes after the key is written back; without a key the same overlay
  // is copied, clipped to the image.
  auto wide = MakeOverlay(40000, 1);
  Variant key(u"000000");
  EXPECT_EQ(ErrorNumberOf([&] { PaintOverlayImage(p, *wide, 0, 0, key); }), Runtime(6));
  EXPECT_EQ(key, Variant(int32_t{0}));
  EXPECT_EQ(Pixels(p), before);
  Variant missing = Variant::Missing();
  PaintOverlayImage(p, *wide, 0, 0, missing);
  EXPECT_EQ(Pixels(p), Expected(before, 200, 100, *wide, 0, 0));

  // An overlay without pixels (a picture that was no bitmap) paints nothing, keyed or not.
  GiveImage(p, 200, 100);
  cDIBSection empty;
  empty.Create(0, 0);
  Variant white(u"FFFFFF");
  PaintOverlayImage(p, empty, u"RIGHT", u"BOTTOM", white);
  PaintOverlayImage(p, empty, 0, 0, missing);
  EXPECT_EQ(Pixels(p), before);
}

}  // namespace
}  // namespace corvella::component
