// Position values, keyword formulas, range checks, colour strings and the colour key, on
// their own; AddText and AddImage use them in overlay_test.cpp.

#include "placement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/errors.h"

namespace corvella::component {
namespace {

using overlay::ColourFromValue;
using overlay::ColourValue;
using platform::Variant;
using platform::VarType;
using testing::Component;
using testing::ErrorNumberOf;
using testing::Runtime;

int32_t ImageX(const Variant& value, int32_t w) {
  return ResolveImagePosition(value, Axis::X, 200, w);
}

// A block of 50 x 20 on a 200 x 100 image.
TEST(Placement, ImageKeywordsAndNumbers) {
  struct Case {
    Variant value;
    Axis axis;
    int32_t expected;
  };
  const Case cases[] = {
      {u"CENTER", Axis::X, 75}, {u"CENTER", Axis::Y, 40}, {u"RIGHT", Axis::X, 150},
      {u"BOTTOM", Axis::Y, 80}, {u"left", Axis::X, 0},    {u"top", Axis::Y, 0},
      {u"Right", Axis::X, 150},  // any case
      // A word that is no keyword, a keyword of the other axis, Null and blanks around a
      // keyword give 0.
      {u"middle", Axis::X, 0}, {u"BOTTOM", Axis::X, 0}, {u"RIGHT", Axis::Y, 0},
      {Variant::Null(), Axis::X, 0}, {u" RIGHT", Axis::X, 0}, {u"RIGHT ", Axis::X, 0},
      // Numbers round half to even; strings in the runtime's number syntax; Empty is 0.
      {7, Axis::Y, 7}, {u"25", Axis::X, 25}, {2.5, Axis::X, 2}, {11.5, Axis::X, 12},
      {u"10.5", Axis::X, 10}, {u" 12 ", Axis::X, 12}, {-3.5, Axis::X, -4}, {Variant(), Axis::X, 0},
      {int16_t{-9}, Axis::X, -9}, {Variant::Bool(true), Axis::X, -1}, {u"&H10", Axis::X, 16}};
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
      {u"LEFT", Axis::X, 0, 0},      {u"CENTER", Axis::X, 0, 50},   {u"RIGHT", Axis::X, 0, 100},
      {u"TOP", Axis::Y, 0, 10},      {u"CENTER", Axis::Y, 0, 40},   {u"BOTTOM", Axis::Y, 0, 80},
      {u"LEFT", Axis::X, 90, 0},     {u"CENTER", Axis::X, 90, 90},  {u"RIGHT", Axis::X, 90, 180},
      {u"TOP", Axis::Y, 90, 50},     {u"CENTER", Axis::Y, 90, 100}, {u"BOTTOM", Axis::Y, 90, 50},
      {u"BOTTOM", Axis::Y, 1, 91},   {u"33.5", Axis::X, 45, 34},    {u"above", Axis::Y, 45, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(ResolveTextPosition(c.value, c.axis, c.axis == Axis::X ? 200 : 100,
                                  {100, 20, c.degrees}),
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

TEST(Placement, KeyColourIsReadCheckedAndWrittenBack) {
  Variant colour(u"FFFFFF");
  EXPECT_EQ(TakeKeyColour(colour), (Rgb{255, 255, 255}));
  ASSERT_EQ(colour.Type(), VarType::I4);
  EXPECT_EQ(colour.AsI4(), 16777215);
  // The same variable again: its decimal text is the colour string now.
  EXPECT_EQ(TakeKeyColour(colour), (Rgb{0x16, 0x77, 0x15}));
  EXPECT_EQ(colour.AsI4(), 0x16 + 256 * 0x77 + 65536 * 0x15);

  Variant longer(u"FFFFFF0");
  EXPECT_EQ(TakeKeyColour(longer), (Rgb{0xFF, 0xFF, 0xF0}));
  Variant number(int32_t{123456});  // six digits of decimal text
  EXPECT_EQ(TakeKeyColour(number), (Rgb{0x12, 0x34, 0x56}));

  // Fewer than six characters: 1200, and the argument is left alone.
  for (Variant shortOne :
       {Variant(u"FFF"), Variant(), Variant(u"FFFFF"), Variant(int32_t{12345}), Variant(1.5)}) {
    Variant copy = shortOne;
    auto error = testing::ErrorOf([&] { TakeKeyColour(copy); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->Number(), Component(1200));
    EXPECT_EQ(error->Description(), "Transparent color is incorrect");
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
