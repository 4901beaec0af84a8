// The overlay layer: opaque and keyed overlays against a reference written pixel by pixel,
// clipped at every edge; and the text renderer: font matching, sizes, where ink lands at any
// angle, the blend, bold, underline and synthesised styles, fallback faces, clipping and the font
// cache.

#include "corvella/overlay/image_overlay.h"
#include "corvella/overlay/text_renderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "corvella/imaging/dib_section.h"
#include "operations/image_fixtures.h"

namespace corvella::overlay {
namespace {

using imaging::cDIBSection;
using testing::Pixel;
using testing::TopDown;
using Dib = std::unique_ptr<cDIBSection>;

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

Dib White(int32_t w, int32_t h) {
  return testing::Uniform(w, h, 255);
}

// An image whose every pixel differs from its neighbours, to show that the background stays.
Dib Patterned(int32_t w, int32_t h) {
  auto dib = std::make_unique<cDIBSection>();
  EXPECT_TRUE(dib->Create(w, h));
  imaging::ImageView view = dib->View();
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      uint8_t* p = view.Row(y) + 3 * x;
      p[0] = static_cast<uint8_t>(x * 5 + y);
      p[1] = static_cast<uint8_t>(100 + y * 3);
      p[2] = static_cast<uint8_t>(x ^ y);
    }
  }
  return dib;
}

struct Point {
  int32_t x;
  int32_t y;
};

// Device points whose pixel differs between two images of the same size.
std::vector<Point> Changed(const Dib& before, const Dib& after) {
  std::vector<Point> points;
  imaging::ImageView a = before->View();
  imaging::ImageView b = after->View();
  for (int32_t y = 0; y < a.height; ++y) {
    for (int32_t x = 0; x < a.width; ++x) {
      const uint8_t* p = a.Row(y) + 3 * x;
      const uint8_t* q = b.Row(y) + 3 * x;
      if (p[0] != q[0] || p[1] != q[1] || p[2] != q[2]) points.push_back({x, y});
    }
  }
  return points;
}

// Total ink of text drawn on white: how far the pixels went from white.
int64_t Ink(const Dib& dib) {
  int64_t ink = 0;
  imaging::ImageView view = dib->View();
  for (int32_t y = 0; y < view.height; ++y) {
    for (int32_t x = 0; x < 3 * view.width; ++x)
      ink += 255 - view.Row(y)[x];
  }
  return ink;
}

FontRequest Request(int32_t em, int32_t tenths = 0) {
  FontRequest request;
  request.height = -em;
  request.escapement = tenths;
  return request;
}

// Draws @p text into a copy of @p image; answers the copy and the measured extent.
Dib DrawOn(const Dib& image, const FontRequest& request, std::u16string_view text, int32_t x,
           int32_t y, Rgb colour, TextExtent* extent = nullptr) {
  auto copy = std::make_unique<cDIBSection>();
  EXPECT_TRUE(copy->Create(image->dib_width(), image->dib_height()));
  imaging::CopyBlock(copy->View(), 0, 0, image->ConstView(),
                     {0, 0, image->dib_width(), image->dib_height()});
  TextFont font(request);
  TextLine line = font.Layout(text);
  if (extent != nullptr) *extent = line.Extent();
  font.Draw(line, copy->View(), x, y, colour);
  return copy;
}

TEST(TextRenderer, MulDivRoundsToNearest) {
  // 11 * 96 / 72 is 14.67; halves go away from zero; a zero divisor or an overflow gives -1.
  const int32_t cases[][4] = {{12, 96, 72, 16},   {10, 96, 72, 13}, {24, 96, 72, 32},
                              {-12, 96, 72, -16}, {11, 96, 72, 15}, {1, 1, 2, 1},
                              {-1, 1, 2, -1},     {5, 7, 0, -1},    {2147483647, 2, 1, -1}};
  for (const auto& c : cases)
    EXPECT_EQ(MulDiv(c[0], c[1], c[2]), c[3]) << c[0] << " " << c[1] << " " << c[2];
  EXPECT_EQ(PointsToPixels(32767), 43689);
}

TEST(TextRenderer, FacesAreMatchedByFamilyWithAMetricCompatibleArial) {
  FontRequest request;
  request.face = u"Arial";
  FontMatch regular = DescribeFontMatch(request);
  EXPECT_NE(regular.file.find("LiberationSans-Regular"), std::string::npos) << regular.file;
  EXPECT_EQ(regular.family, "Liberation Sans");
  EXPECT_FALSE(regular.syntheticBold);
  request.weight = 700;
  EXPECT_NE(DescribeFontMatch(request).file.find("LiberationSans-Bold"), std::string::npos);
  request.italic = true;
  FontMatch boldItalic = DescribeFontMatch(request);
  EXPECT_NE(boldItalic.file.find("LiberationSans-BoldItalic"), std::string::npos);
  EXPECT_FALSE(boldItalic.syntheticBold);
  EXPECT_FALSE(boldItalic.syntheticItalic);
  // A language preference does not override the family.
  request = FontRequest();
  request.charset = 204;
  EXPECT_NE(DescribeFontMatch(request).file.find("LiberationSans"), std::string::npos);

  // A family that does not exist, and an empty name, get the default face: never an error.
  for (const char16_t* name : {u"No Such Family 4711", u""}) {
    request.face = name;
    FontMatch fallback = DescribeFontMatch(request);
    EXPECT_FALSE(fallback.file.empty());
    TextFont font(request);
    EXPECT_GT(font.Layout(u"Abc").Extent().cx, 0);
  }
}

TEST(TextRenderer, SizesFollowTheRequest) {
  TextFont sixteen(Request(16));
  EXPECT_EQ(sixteen.EmPixels(), 16);
  TextExtent small = sixteen.Layout(u"Hello").Extent();
  TextFont big(Request(32));
  TextExtent large = big.Layout(u"Hello").Extent();
  EXPECT_GT(small.cx, 0);
  EXPECT_NEAR(large.cx, 2 * small.cx, 3);
  EXPECT_NEAR(large.cy, 2 * small.cy, 2);
  // The cell is taller than the em (ascent + descent) but not by much.
  EXPECT_GT(small.cy, 16);
  EXPECT_LT(small.cy, 24);
  // A positive height names the cell; 0 is the default size.
  FontRequest cell;
  cell.height = 40;
  TextFont byCell(cell);
  EXPECT_NEAR(byCell.Layout(u"x").Extent().cy, 40, 1);
  cell.height = 0;
  EXPECT_EQ(TextFont(cell).EmPixels(), kDefaultEmPixels);
  // Advances add up: the extent of two strings is the sum of their extents.
  EXPECT_EQ(sixteen.Layout(u"HelloWorld").Extent().cx,
            small.cx + sixteen.Layout(u"World").Extent().cx);
  // The empty line has no width but the cell's height.
  TextExtent empty = sixteen.Layout(u"").Extent();
  EXPECT_EQ(empty.cx, 0);
  EXPECT_EQ(empty.cy, small.cy);
}

// Checks that every changed pixel lies inside the line's box turned by @p tenths around (x, y),
// within a margin for antialiasing, and that ink reaches near both ends of the line.
void ExpectInkInsideTurnedBox(int32_t tenths) {
  SCOPED_TRACE(tenths);
  const Dib image = Patterned(300, 300);
  TextExtent extent;
  const int32_t x = 150;
  const int32_t y = 150;
  Dib drawn = DrawOn(image, Request(20, tenths), u"Hxg Hxg Hxg", x, y, Rgb{255, 0, 0}, &extent);
  std::vector<Point> changed = Changed(image, drawn);
  ASSERT_FALSE(changed.empty());
  const double theta = tenths * 6.2831853 / 3600;
  const double s = std::sin(theta);
  const double c = std::cos(theta);
  const double margin = 1.5;
  double minU = 1e9;
  double maxU = -1e9;
  for (Point p : changed) {
    // Back into the unrotated frame of the line.
    const double dx = p.x + 0.5 - x;
    const double dy = p.y + 0.5 - y;
    const double u = dx * c - dy * s;
    const double v = dx * s + dy * c;
    EXPECT_GE(u, -margin) << p.x << "," << p.y;
    EXPECT_LE(u, extent.cx + margin) << p.x << "," << p.y;
    EXPECT_GE(v, -margin) << p.x << "," << p.y;
    EXPECT_LE(v, extent.cy + margin) << p.x << "," << p.y;
    minU = std::min(minU, u);
    maxU = std::max(maxU, u);
  }
  EXPECT_LT(minU, 4);
  EXPECT_GT(maxU, extent.cx - 4);
  // Changed pixels are blends of the background towards red: not every pixel of the box is ink.
  EXPECT_LT(changed.size(), static_cast<size_t>(extent.cx) * extent.cy / 2);
}

// Quarter turns included: at 900 the line runs up from (x, y), at -900 down.
TEST(TextRenderer, InkStaysInsideTheTurnedBox) {
  for (int32_t tenths : {0, 300, 900, -900, 1800, -450, 3600, 1234}) {
    ExpectInkInsideTurnedBox(tenths);
  }
}

TEST(TextRenderer, GlyphsAreBlendedInTheColourOverAnUntouchedBackground) {
  const Dib image = White(200, 60);
  Dib red = DrawOn(image, Request(24), u"Colour HH", 5, 5, Rgb{255, 0, 0});
  int fullyCovered = 0;
  for (Point p : Changed(image, red)) {
    const uint8_t* px = red->View().Row(p.y) + 3 * p.x;
    // Blends of white towards red: red stays 255, green and blue move together.
    EXPECT_EQ(px[2], 255);
    EXPECT_EQ(px[0], px[1]);
    fullyCovered += px[0] == 0;
  }
  EXPECT_GT(fullyCovered, 20);
  // The exact blend rule.
  EXPECT_EQ(BlendChannel(255, 0, 0), 255);
  EXPECT_EQ(BlendChannel(255, 0, 255), 0);
  EXPECT_EQ(BlendChannel(200, 100, 128), (200 * 127 + 100 * 128 + 127) / 255);
  EXPECT_EQ(BlendChannel(0, 255, 1), 1);  // 255 / 255, rounded
  EXPECT_EQ(BlendChannel(10, 11, 127), 10);
  EXPECT_EQ(BlendChannel(10, 11, 128), 11);

  // A space leaves its cell alone: the pixels between two words keep their values.
  const Dib pattern = Patterned(300, 60);
  TextFont font(Request(24));
  const int32_t before = font.Layout(u"I").Extent().cx;
  const int32_t space = font.Layout(u"I      ").Extent().cx;
  Dib words = DrawOn(pattern, Request(24), u"I      I", 10, 10, Rgb{0, 0, 255});
  for (Point p : Changed(pattern, words)) {
    EXPECT_FALSE(p.x > 10 + before + 2 && p.x < 10 + space - 2) << p.x;
  }
}

TEST(TextRenderer, BoldAndUnderline) {
  const Dib image = White(400, 60);
  FontRequest request = Request(24);
  const std::u16string text = u"Bold text, ink";
  TextExtent regularExtent;
  Dib regular = DrawOn(image, request, text, 5, 5, Rgb{}, &regularExtent);
  request.weight = 700;
  Dib bold = DrawOn(image, request, text, 5, 5, Rgb{});
  EXPECT_GT(Ink(bold), Ink(regular) * 115 / 100);

  // Underline: the difference is a bar under the whole line.
  request.weight = 400;
  request.underline = true;
  Dib underlined = DrawOn(image, request, text, 5, 5, Rgb{});
  std::vector<int32_t> perRow(60, 0);
  for (Point p : Changed(regular, underlined))
    ++perRow[p.y];
  int32_t barRow = -1;
  for (int32_t y = 0; y < 60; ++y) {
    if (perRow[y] >= regularExtent.cx * 9 / 10) barRow = y;
  }
  ASSERT_GE(barRow, 0);
  EXPECT_GT(barRow, 5 + regularExtent.cy / 2);  // below the middle of the cell
  EXPECT_LT(barRow, 5 + regularExtent.cy);      // inside the cell
  // Underlining an empty line draws nothing.
  EXPECT_TRUE(Changed(image, DrawOn(image, request, u"", 5, 5, Rgb{})).empty());
}

TEST(TextRenderer, FacesWithoutABoldOrItalicStyleAreSynthesised) {
  FontRequest request = Request(24);
  request.face = u"DejaVu Math TeX Gyre";  // a family with one regular face
  FontMatch match = DescribeFontMatch(request);
  if (match.family != "DejaVu Math TeX Gyre") GTEST_SKIP() << "family not installed";
  const Dib image = White(400, 60);
  const std::u16string text = u"Synthetic";
  Dib regular = DrawOn(image, request, text, 5, 5, Rgb{});
  request.weight = 700;
  EXPECT_TRUE(DescribeFontMatch(request).syntheticBold);
  TextExtent boldExtent;
  Dib bold = DrawOn(image, request, text, 5, 5, Rgb{}, &boldExtent);
  EXPECT_GT(Ink(bold), Ink(regular) * 115 / 100);
  request.weight = 400;
  request.italic = true;
  EXPECT_TRUE(DescribeFontMatch(request).syntheticItalic);
  Dib italic = DrawOn(image, request, text, 5, 5, Rgb{});
  EXPECT_NE(testing::Bytes(*italic), testing::Bytes(*regular));
  EXPECT_NEAR(static_cast<double>(Ink(italic)), static_cast<double>(Ink(regular)),
              Ink(regular) * 0.1);
}

TEST(TextRenderer, EveryCharacterIsDrawnFromSomeFace) {
  const Dib image = White(200, 60);
  FontRequest request = Request(24);
  // U+2605 (a star) is not in the primary face but in a fallback; U+E000 is in no face and
  // draws the missing-glyph shape.
  Dib star = DrawOn(image, request, u"\u2605", 5, 5, Rgb{});
  Dib missing = DrawOn(image, request, u"\uE000", 5, 5, Rgb{});
  EXPECT_FALSE(Changed(image, star).empty());
  EXPECT_FALSE(Changed(image, missing).empty());
  EXPECT_NE(testing::Bytes(*star), testing::Bytes(*missing));
  // A surrogate pair is one character; an unpaired surrogate reads as U+FFFD.
  TextFont font(request);
  EXPECT_EQ(font.Layout(u"\xD835\xDC00").Extent().cx, font.Layout(u"\U0001D400").Extent().cx);
  EXPECT_EQ(font.Layout(u"a\xD800").Extent().cx, font.Layout(u"a\uFFFD").Extent().cx);
  EXPECT_EQ(font.Layout(u"\xDC00\xD800").Extent().cx, font.Layout(u"\uFFFD\uFFFD").Extent().cx);
}

TEST(TextRenderer, DrawingIsClippedToTheImage) {
  const Dib image = White(40, 30);
  // Partly outside every edge, at several angles, and far away: no write outside the buffer
  // (the sanitizer build checks), ink only where the text overlaps.
  const Point positions[] = {{-20, -10},   {30, 20},    {-5, 25},         {35, -15},
                             {-100000, 5}, {5, 100000}, {-2147483647, 0}, {0, 2147483647}};
  for (Point p : positions) {
    for (int32_t tenths : {0, 450, 900, 2700}) {
      FontRequest request = Request(24, tenths);
      request.underline = tenths != 450;
      Dib drawn = DrawOn(image, request, u"Clipped text", p.x, p.y, Rgb{});
      EXPECT_EQ(drawn->dib_width(), 40);
    }
  }
  // The visible end of a long underlined line that starts far to the left.
  FontRequest underlined = Request(16);
  underlined.underline = true;
  const std::u16string longLine(3000, u'x');
  const int32_t width = TextFont(underlined).Layout(longLine).Extent().cx;
  Dib tail = DrawOn(image, underlined, longLine, 20 - width, 0, Rgb{});
  bool bar = false;
  for (int32_t y = 0; y < 30; ++y) {
    bool row = true;
    for (int32_t x = 0; x < 19; ++x)
      row = row && tail->View().Row(y)[3 * x] == 0;
    bar = bar || row;
  }
  EXPECT_TRUE(bar);
  for (int32_t y = 0; y < 30; ++y) {
    for (int32_t x = 21; x < 40; ++x)
      EXPECT_EQ(tail->View().Row(y)[3 * x], 255) << x << "," << y;
  }
  // A glyph far larger than the image: a full block whose inside covers it all.
  Dib huge = DrawOn(image, Request(43689), u"\u2588", -1000, -10000, Rgb{});
  EXPECT_EQ(Changed(image, huge).size(), 40u * 30u);
  EXPECT_EQ(Ink(huge), 40 * 30 * 3 * 255);
  // An image with no pixels is left alone.
  TextFont font(Request(16));
  TextLine line = font.Layout(u"x");
  font.Draw(line, imaging::ImageView{}, 0, 0, Rgb{});
}

// Threads sharing the cache are exercised by the component's concurrency test.
TEST(TextRenderer, FontsAreFoundOncePerProcess) {
  // Warm the cache for the requests used below.
  const FontRequest requests[] = {Request(16), Request(24, 450), Request(20, 900)};
  const Dib image = White(160, 160);
  for (const FontRequest& request : requests)
    DrawOn(image, request, u"Cached text", 20, 100, Rgb{0, 0, 200});
  const FontCacheCounters warm = FontCacheStatistics();
  for (int i = 0; i < 20; ++i) {
    for (const FontRequest& request : requests) {
      TextFont font(request);
      font.Layout(u"again");
    }
  }
  FontCacheCounters after = FontCacheStatistics();
  EXPECT_EQ(after.matches, warm.matches);
  EXPECT_EQ(after.facesOpened, warm.facesOpened);
}

}  // namespace
}  // namespace corvella::overlay
