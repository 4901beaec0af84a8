// AddText and AddImage on a working image put in place directly (decoded state), so that these
// tests do not depend on the codec; and on their own, the position values, keyword formulas,
// range checks, colour strings and colour key that they use.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "component/component_fixtures.h"
#include "corvella/overlay/text_renderer.h"
#include "corvella/platform/checked.h"
#include "operations/image_fixtures.h"
#include "placement.h"
#include "support/errors.h"

namespace corvella::component {
namespace {

using imaging::cDIBSection;
using overlay::ColourFromValue;
using overlay::ColourValue;
using platform::Variant;
using platform::VarType;
using testing::Component;
using testing::ErrorNumberOf;
using testing::Pixel;
using testing::Runtime;

// Gives @p p a decoded working image of w x h, random or white.
void GiveImage(Pictron& p, int32_t w, int32_t h, bool white = false) {
  test::GiveImage(p, white ? testing::Uniform(w, h, 255) : testing::RandomDib(w, h, 7));
}

std::vector<Pixel> Pixels(const Pictron& p) {
  return testing::TopDown(*p.State().cDib);
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

// The default colour is the acceptance script properties.vbs; that AddText draws in the colour of
// the moment is EachCallUsesTheSettingsOfTheMoment.
TEST(AddText, DefaultsDrawTextHalfALineBelowTheTop) {
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
}

TEST(AddText, RangeChecksComeBeforeTheColourAndNothingIsDrawnOnError) {
  Pictron p;
  GiveImage(p, 120, 80);
  const std::vector<Pixel> before = Pixels(p);
  const overlay::TextExtent e = Measure(p, u"Edge");
  EXPECT_EQ(ErrorNumberOf([&] { p.AddText(u"Edge", 121, 0); }), Component(1090));
  EXPECT_EQ(ErrorNumberOf([&] { p.AddText(u"Edge", 0, 81); }), Component(1090));
  EXPECT_EQ(ErrorNumberOf([&] { p.AddText(u"Edge", -e.cx - 1, 0); }), Component(1091));
  EXPECT_EQ(ErrorNumberOf([&] { p.AddText(u"Edge", 0, -e.cy - 1); }), Component(1091));
  // PositionX is resolved first (its overflow is the placement test's).
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
  const std::vector<Pixel> white = Pixels(p);
  p.SetFontColor(u"ff0000");
  p.AddText(u"HHH", 10, 10);
  const std::vector<Pixel> first = Pixels(p);
  p.SetFontColor(u"0000FF");
  p.SetFontSize(30);
  p.AddText(u"HHH", 150, 10);
  const std::vector<Pixel> after = Pixels(p);
  const Ink red = InkBetween(white, first, 300);
  const Ink blue = InkBetween(first, after, 300);
  for (size_t i = 0; i < after.size(); ++i) {
    const Pixel& px = after[i];
    // Blends of white towards red on the left, towards blue on the right.
    if (px != white[i]) {
      EXPECT_TRUE(i % 300 < 150 ? px[2] == 255 && px[0] == px[1] : px[0] == 255 && px[1] == px[2])
          << i % 300 << "," << i / 300;
    }
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

// The image after an opaque copy of @p over at (x, y), computed independently.
std::vector<Pixel> Expected(const std::vector<Pixel>& image, int32_t w, int32_t h,
                            const cDIBSection& over, int32_t x, int32_t y) {
  std::vector<Pixel> out = image;
  std::vector<Pixel> src = testing::TopDown(over);
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
  auto over = testing::RandomDib(50, 20, 8);
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
  EXPECT_EQ(Pixels(p), before);

  // The 16-bit size check comes after the key is written back; without a key the same overlay
  // is copied, clipped to the image.
  auto wide = testing::RandomDib(40000, 1, 9);
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

int32_t ImageX(const Variant& value, int32_t w) {
  return ResolveImagePosition(value, Axis::X, 200, w);
}

// A block of 50 x 20 on a 200 x 100 image. Keywords in any case; a word that is no keyword, a
// keyword of the other axis, Null and blanks around a keyword give 0. Numbers round half to even;
// strings in the runtime's number syntax; Empty is 0.
TEST(Placement, ImageKeywordsAndNumbers) {
  struct Case {
    Variant value;
    Axis axis;
    int32_t expected;
  };
  // clang-format off
  const Case cases[] = {
      {u"CENTER", Axis::X, 75}, {u"CENTER", Axis::Y, 40}, {u"RIGHT", Axis::X, 150},
      {u"BOTTOM", Axis::Y, 80}, {u"left", Axis::X, 0}, {u"top", Axis::Y, 0},
      {u"Right", Axis::X, 150}, {u"middle", Axis::X, 0}, {u"BOTTOM", Axis::X, 0},
      {u"RIGHT", Axis::Y, 0}, {Variant::Null(), Axis::X, 0}, {u" RIGHT", Axis::X, 0},
      {u"RIGHT ", Axis::X, 0}, {7, Axis::Y, 7}, {u"25", Axis::X, 25}, {2.5, Axis::X, 2},
      {11.5, Axis::X, 12}, {u"10.5", Axis::X, 10}, {u" 12 ", Axis::X, 12}, {-3.5, Axis::X, -4},
      {Variant(), Axis::X, 0}, {int16_t{-9}, Axis::X, -9}, {Variant::Bool(true), Axis::X, -1},
      {u"&H10", Axis::X, 16}};
  // clang-format on
  for (const Case& c : cases) {
    EXPECT_EQ(ResolveImagePosition(c.value, c.axis, c.axis == Axis::X ? 200 : 100,
                                   c.axis == Axis::X ? 50 : 20),
              c.expected)
        << ::testing::PrintToString(c.value);
  }
  // 51 x 21 centred: 100 - 25.5 = 74.5 gives 74, 50 - 10.5 = 39.5 gives 40 (ties to even).
  EXPECT_EQ(ImageX(u"CENTER", 51), 74);
  EXPECT_EQ(ResolveImagePosition(u"CENTER", Axis::Y, 100, 21), 40);
  // RIGHT and BOTTOM are exact integer arithmetic, checked.
  EXPECT_EQ(ResolveImagePosition(u"RIGHT", Axis::X, 10, 300), -290);
  EXPECT_EQ(ErrorNumberOf([] {
              ResolveImagePosition(u"RIGHT", Axis::X, std::numeric_limits<int32_t>::min() + 5, 10);
            }),
            Runtime(6));
  EXPECT_EQ(ErrorNumberOf([] { ImageX(3e9, 50); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([] { ImageX(u"-1e12", 20); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([] { ImageX(Variant::Missing(), 50); }), Runtime(13));

  PositionValue value = ReadPosition(u"center", Axis::Y);
  EXPECT_FALSE(value.numeric);
  EXPECT_EQ(value.keyword, PositionKeyword::Center);
  value = ReadPosition(u"17", Axis::Y);
  EXPECT_TRUE(value.numeric);
  EXPECT_EQ(value.number, 17);
}

TEST(Placement, TextKeywordsUnrotatedAndTurned) {
  // A line of 100 x 20 on a 200 x 100 image, turned by 0, 90 (s = 1, c nearly 0), 1 and 45
  // degrees. TOP is half the line height, not 0; the two BOTTOM rules do not join: at 1 degree
  // the line starts at H - 9. Numbers and unknown words behave as for images.
  struct Case {
    const char16_t* value;
    Axis axis;
    int16_t degrees;
    int32_t expected;
  };
  const Case cases[] = {
      {u"LEFT", Axis::X, 0, 0},    {u"CENTER", Axis::X, 0, 50},   {u"RIGHT", Axis::X, 0, 100},
      {u"TOP", Axis::Y, 0, 10},    {u"CENTER", Axis::Y, 0, 40},   {u"BOTTOM", Axis::Y, 0, 80},
      {u"LEFT", Axis::X, 90, 0},   {u"CENTER", Axis::X, 90, 90},  {u"RIGHT", Axis::X, 90, 180},
      {u"TOP", Axis::Y, 90, 50},   {u"CENTER", Axis::Y, 90, 100}, {u"BOTTOM", Axis::Y, 90, 50},
      {u"BOTTOM", Axis::Y, 1, 91}, {u"33.5", Axis::X, 45, 34},    {u"above", Axis::Y, 45, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(
        ResolveTextPosition(c.value, c.axis, c.axis == Axis::X ? 200 : 100, {100, 20, c.degrees}),
        c.expected)
        << c.degrees;
  }
  // TOP of a line of odd height rounds half to even: 21 / 2 = 10.5 gives 10, 23 / 2 gives 12.
  EXPECT_EQ(ResolveTextPosition(u"TOP", Axis::Y, 100, {100, 21, 0}), 10);
  EXPECT_EQ(ResolveTextPosition(u"TOP", Axis::Y, 100, {100, 23, 0}), 12);
}

TEST(Placement, RangeChecksAtTheEdges) {
  auto check = [](int32_t x, int32_t y, int32_t bw, int32_t bh) {
    return ErrorNumberOf([&] { CheckPlacement(x, y, 200, 100, bw, bh); });
  };
  EXPECT_EQ(check(200, 100, 50, 20), 0);  // on the far edges: passes
  EXPECT_EQ(check(201, 0, 50, 20), Component(1090));
  EXPECT_EQ(check(0, 101, 50, 20), Component(1090));
  EXPECT_EQ(check(-50, 0, 50, 20), 0);  // last column at -1: passes
  EXPECT_EQ(check(-51, 0, 50, 20), Component(1091));
  EXPECT_EQ(check(0, -20, 50, 20), 0);
  EXPECT_EQ(check(0, -21, 50, 20), Component(1091));
  // 1090 is tested first.
  EXPECT_EQ(check(201, -1000, 50, 20), Component(1090));
  // The sums are checked 32-bit arithmetic, both formed before either is tested.
  const int32_t big = std::numeric_limits<int32_t>::max();
  EXPECT_EQ(check(10, 0, big, 20), Runtime(6));
  EXPECT_EQ(check(-100, 50, 50, big), Runtime(6));
  EXPECT_EQ(check(std::numeric_limits<int32_t>::min(), 0, -1, 0), Runtime(6));
}

TEST(Placement, ColourStrings) {
  EXPECT_EQ(ParseColour(u"ff8000"), (Rgb{255, 128, 0}));
  EXPECT_EQ(ParseColour(u"FF8000"), (Rgb{255, 128, 0}));
  EXPECT_EQ(ColourValue(ParseColour(u"FF0000")), 255);
  EXPECT_EQ(ColourValue(ParseColour(u"0000FF")), 0xFF0000);
  EXPECT_EQ(ColourValue(ParseColour(u"123456")), 0x12 + 256 * 0x34 + 65536 * 0x56);
  // Longer strings: blue from the last two characters.
  EXPECT_EQ(ParseColour(u"1A2B3C4"), (Rgb{0x1A, 0x2B, 0xC4}));
  EXPECT_EQ(ParseColour(u"FFFFFF0"), (Rgb{0xFF, 0xFF, 0xF0}));
  EXPECT_EQ(ParseColour(u"16777215"), (Rgb{0x16, 0x77, 0x15}));
  // Short strings cut as the string functions cut them: "FFF" is FF, F, FF.
  EXPECT_EQ(ParseColour(u"FFF"), (Rgb{0xFF, 0x0F, 0xFF}));
  for (const char16_t* bad : {u"GG0000", u"00GG00", u"0000GG", u"", u"F", u"FF", u"0x1234",
                              u" 12345", u"12 456", u"+1+2+3", u"-10000", u"ＦＦ0000"}) {
    EXPECT_EQ(ErrorNumberOf([&] { ParseColour(bad); }), Runtime(13));
  }
  EXPECT_EQ(ColourFromValue(0x563412), (Rgb{0x12, 0x34, 0x56}));
}

// "FFFFFF", "0000FF" and "FFFFFF0" written back, and the text of error 1200, are the acceptance
// script overlay.vbs.
TEST(Placement, KeyColourIsReadCheckedAndWrittenBack) {
  Variant colour(u"FFFFFF");
  EXPECT_EQ(TakeKeyColour(colour), (Rgb{255, 255, 255}));
  ASSERT_EQ(colour.Type(), VarType::I4);
  EXPECT_EQ(colour.AsI4(), 16777215);
  // The same variable again: its decimal text is the colour string now.
  EXPECT_EQ(TakeKeyColour(colour), (Rgb{0x16, 0x77, 0x15}));
  EXPECT_EQ(colour.AsI4(), 0x16 + 256 * 0x77 + 65536 * 0x15);

  Variant number(int32_t{123456});  // six digits of decimal text
  EXPECT_EQ(TakeKeyColour(number), (Rgb{0x12, 0x34, 0x56}));

  // Fewer than six characters: 1200, and the argument is left alone.
  for (Variant shortOne :
       {Variant(u"FFF"), Variant(), Variant(u"FFFFF"), Variant(int32_t{12345}), Variant(1.5)}) {
    Variant copy = shortOne;
    EXPECT_EQ(ErrorNumberOf([&] { TakeKeyColour(copy); }), Component(1200));
    EXPECT_EQ(copy, shortOne);
  }
  // Digits that are not hexadecimal, and Null: type mismatch, argument unchanged.
  for (Variant bad : {Variant(u"GGGGGG"), Variant(1234.5), Variant::Null()}) {
    Variant copy = bad;
    EXPECT_EQ(ErrorNumberOf([&] { TakeKeyColour(copy); }), Runtime(13));
    EXPECT_EQ(copy, bad);
  }
}

}  // namespace
}  // namespace corvella::component
