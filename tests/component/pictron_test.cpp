#include "corvella/component/pictron.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "corvella/component/class_factory.h"
#include "corvella/platform/text.h"
#include "pictron_internal.h"
#include "support/errors.h"

namespace corvella::component {
namespace {

using platform::Variant;
using testing::ErrorOf;
using testing::Runtime;

TEST(Pictron, NewObjectHasTheDefaults) {
  Pictron p;
  EXPECT_EQ(p.OriginalWidth(), 0);
  EXPECT_EQ(p.OriginalHeight(), 0);
  EXPECT_EQ(p.OriginalSize(), 0);
  EXPECT_EQ(p.width(), 0);
  EXPECT_EQ(p.Height(), 0);
  EXPECT_EQ(p.Size(), 0.0);
  EXPECT_EQ(p.FontFace(), u"Arial");
  EXPECT_EQ(p.FontBold(), platform::kVbFalse);
  EXPECT_EQ(p.FontColor(), u"000000");
  EXPECT_EQ(p.FontItalic(), platform::kVbFalse);
  EXPECT_EQ(p.FontOrientation(), 0);
  EXPECT_EQ(p.FontSize(), 12);
  EXPECT_EQ(p.FontUnderline(), platform::kVbFalse);
  EXPECT_EQ(p.FontCharset(), 1);
  const PictronState& s = p.State();
  EXPECT_EQ(s.intQuality, 80);
  EXPECT_EQ(s.intFontWeight, 400);
  EXPECT_TRUE(s.strComment.empty());
  EXPECT_TRUE(s.strFormat.empty());
  EXPECT_FALSE(s.arImageData.IsAllocated());
  EXPECT_EQ(s.blDecoded, 0);
  EXPECT_EQ(s.cDib, nullptr);
  EXPECT_EQ(s.objServer, nullptr);
}

TEST(Pictron, PropertyRules) {
  Pictron p;
  p.FontBold(platform::kVbTrue);
  EXPECT_EQ(p.FontBold(), platform::kVbTrue);
  EXPECT_EQ(p.State().intFontWeight, 700);
  p.FontBold(5);  // any non-zero value is true
  EXPECT_EQ(p.State().intFontWeight, 700);
  p.FontBold(platform::kVbFalse);
  EXPECT_EQ(p.FontBold(), platform::kVbFalse);
  EXPECT_EQ(p.State().intFontWeight, 400);

  p.FontColor(u"FF8000");
  EXPECT_EQ(p.FontColor(), u"FF8000");
  p.FontColor(u"GGGGGG");  // characters are not examined here
  EXPECT_EQ(p.FontColor(), u"GGGGGG");
  for (const char16_t* other : {u"red", u"FF80", u"", u"FF80001"}) {
    p.FontColor(u"ABCDEF");
    p.FontColor(other);
    EXPECT_EQ(p.FontColor(), u"000000") << platform::WideToUtf8(other);
  }

  p.FontFace(u"");
  EXPECT_EQ(p.FontFace(), u"");
  p.FontSize(-4);
  p.FontOrientation(900);
  p.FontCharset(-77);
  p.FontItalic(7);
  EXPECT_EQ(p.FontSize(), -4);
  EXPECT_EQ(p.FontOrientation(), 900);
  EXPECT_EQ(p.FontCharset(), -77);
  EXPECT_EQ(p.FontItalic(), 7);
  p.Comment(u"note");
  EXPECT_EQ(p.State().strComment, u"note");
}

TEST(Pictron, QualityStoresThenDecodesAndPixelOperationsNeedAnImage) {
  Pictron p;
  for (int16_t quality : {int16_t{500}, int16_t{-3}}) {
    auto error = ErrorOf([&] { p.Quality(quality); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), Runtime(9));  // no image: no upper bound
    EXPECT_EQ(error->Source(), "Corvella.Pictron");
    EXPECT_EQ(p.State().intQuality, quality);  // stored before the decode step failed
  }
  int32_t w = 10, h = 0;
  int16_t x1 = 0, y1 = 0, x2 = 1, y2 = 1;
  Variant none = Variant::Missing();
  std::vector<std::function<void()>> operations = {
      [&] { p.Resample(w, h); },
      [&] { p.Crop(x1, y1, x2, y2); },
      [&] { p.Flip(); },
      [&] { p.Mirror(); },
      [&] { p.RotateRight(); },
      [&] { p.RotateLeft(); },
      [&] { p.Blur(); },
      [&] { p.Sharpen(); },
      [&] { p.Negative(); },
      [&] { p.GreyScale(); },
      [&] { p.AddText(u"x", 0, 0); },
      [&] { p.AddImage(u"x.gif", 0, 0, none); },
  };
  for (size_t i = 0; i < operations.size(); ++i) {
    EXPECT_EQ(testing::ErrorNumberOf(operations[i]), Runtime(9)) << i;
  }
}

TEST(Pictron, StripNulls) {
  Pictron p;
  EXPECT_EQ(p.StripNulls(std::u16string(u"ab\0", 3)), u"ab");
  EXPECT_EQ(p.StripNulls(std::u16string(u"abc\0", 4)), std::u16string(u"abc\0", 4));
  EXPECT_EQ(p.StripNulls(std::u16string(u"\0\0\0", 3)), u"");
  EXPECT_EQ(p.StripNulls(u""), u"");
  EXPECT_EQ(p.StripNulls(u"abcd"), u"abcd");
  EXPECT_EQ(p.StripNulls(u"abc"), u"abc");
  EXPECT_EQ(testing::ErrorNumberOf([&] { p.StripNulls(std::u16string(32768, u'a')); }), Runtime(6));
}

TEST(ClassFactory, CreatesPictronsAndCountsThem) {
  EXPECT_EQ(DllCanUnloadNow(), kOk);
  std::shared_ptr<ClassFactory> factory;
  EXPECT_EQ(DllGetClassObject(kIidPictron, factory), kClassNotAvailable);
  EXPECT_EQ(factory, nullptr);
  ASSERT_EQ(DllGetClassObject(kClsidPictron, factory), kOk);
  {
    auto object = factory->CreateInstance();
    EXPECT_EQ(LivePictronCount(), 1);
    EXPECT_EQ(DllCanUnloadNow(), kFalse);
  }
  EXPECT_EQ(DllCanUnloadNow(), kOk);
  factory->LockServer(true);
  EXPECT_EQ(DllCanUnloadNow(), kFalse);
  factory->LockServer(false);
  EXPECT_EQ(DllCanUnloadNow(), kOk);

  platform::ObjectRef object = CreateObject(u"corvella.PICTRON");
  EXPECT_EQ(platform::GetProperty(object, u"FontFace"), Variant(u"Arial"));
  EXPECT_EQ(testing::ErrorNumberOf([] { CreateObject(u"Other.Thing"); }), Runtime(429));
  EXPECT_EQ(kClsidPictron.ToString(), "{0B6FC927-BB67-480B-8FD3-0416192BB9D1}");
}

}  // namespace
}  // namespace corvella::component
