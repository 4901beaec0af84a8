// Variants, byte arrays, arrays and dates of the automation layer. How numbers print, and how
// months and days roll over, are checked through the script engine (CStr, DateSerial).

#include "corvella/platform/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <vector>

#include "corvella/platform/byte_array.h"
#include "corvella/platform/text.h"
#include "support/errors.h"

namespace corvella::platform {
namespace {

using testing::ErrorNumberOf;
using testing::Runtime;

TEST(Variant, NumericStringsConvertAndOtherStringsMismatch) {
  EXPECT_EQ(Variant(u"10.5").ToI4(), 10);  // half to even
  EXPECT_EQ(Variant(u"11.5").ToI4(), 12);
  EXPECT_EQ(Variant(11.5).ToI4(), 12);
  EXPECT_EQ(Variant(2.5).ToI2(), 2);
  EXPECT_EQ(Variant(u"  25 ").ToI4(), 25);
  EXPECT_EQ(Variant(u"-3").ToI2(), -3);
  EXPECT_EQ(Variant(u"1,000").ToI4(), 1000);
  EXPECT_EQ(Variant(u"1e3").ToI4(), 1000);
  EXPECT_EQ(Variant(u".5").ToR8(), 0.5);
  EXPECT_EQ(Variant(u"&H10").ToI4(), 16);
  EXPECT_EQ(Variant(u"&HFFFF").ToI2(), -1);
  EXPECT_EQ(Variant(u"&O17").ToI4(), 15);
  EXPECT_EQ(ErrorNumberOf([] { Variant(u"abc").ToI4(); }), Runtime(13));
  EXPECT_EQ(ErrorNumberOf([] { Variant(u"").ToI4(); }), Runtime(13));
  EXPECT_EQ(ErrorNumberOf([] { Variant(u"12abc").ToI4(); }), Runtime(13));
  EXPECT_EQ(ErrorNumberOf([] { Variant(u"1e").ToR8(); }), Runtime(13));
  EXPECT_EQ(ErrorNumberOf([] { Variant(40000).ToI2(); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([] { Variant(u"32768").ToI2(); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([] { Variant(3e9).ToI4(); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([] { Variant(1e300).ToR4(); }), Runtime(6));
}

TEST(Variant, EmptyNullAndBooleans) {
  EXPECT_EQ(Variant().ToI4(), 0);
  EXPECT_EQ(Variant().ToBStr(), u"");
  EXPECT_EQ(Variant().ToBool(), kVbFalse);
  EXPECT_EQ(ErrorNumberOf([] { Variant::Null().ToI4(); }), Runtime(94));
  EXPECT_EQ(ErrorNumberOf([] { Variant::Null().ToBStr(); }), Runtime(94));
  EXPECT_EQ(Variant::Bool(true).ToI4(), -1);
  EXPECT_EQ(Variant::Bool(true).ToBStr(), u"True");
  EXPECT_EQ(Variant(u"true").ToBool(), kVbTrue);
  EXPECT_EQ(Variant(u"False").ToBool(), kVbFalse);
  EXPECT_EQ(Variant(u"2").ToBool(), kVbTrue);
  EXPECT_EQ(Variant(0.0).ToBool(), kVbFalse);
  EXPECT_EQ(ErrorNumberOf([] { Variant(u"yes").ToBool(); }), Runtime(13));
}

TEST(Variant, TypesIsNumericAndMissing) {
  EXPECT_EQ(Variant(int16_t{1}).Type(), VarType::I2);
  EXPECT_EQ(Variant(1).Type(), VarType::I4);
  EXPECT_EQ(Variant(1.0f).Type(), VarType::R4);
  EXPECT_EQ(Variant(1.0).Type(), VarType::R8);
  EXPECT_EQ(Variant::Bool(false).Type(), VarType::Bool);
  EXPECT_EQ(Variant(ByteArray()).Type(), VarType::ByteArray);
  EXPECT_TRUE(Variant(u"25").IsNumeric());
  EXPECT_TRUE(Variant(u" 2.5 ").IsNumeric());
  EXPECT_TRUE(Variant().IsNumeric());
  EXPECT_FALSE(Variant(u"LEFT").IsNumeric());
  EXPECT_FALSE(Variant(u"").IsNumeric());
  EXPECT_FALSE(Variant::Null().IsNumeric());
  EXPECT_TRUE(Variant::Missing().IsMissing());
  EXPECT_FALSE(Variant::ErrorCode(5).IsMissing());
  EXPECT_EQ(ErrorNumberOf([] { Variant(u"x").AsI4(); }), Runtime(13));
  Variant v(7);
  v.AsI4() = 9;
  EXPECT_EQ(v, Variant(9));
  EXPECT_NE(Variant(9), Variant(int16_t{9}));  // same value, different type
}

TEST(Variant, CurrencyIsACountOfTenThousandths) {
  EXPECT_EQ(Variant(u"922337203685477.5807").ToCy(), INT64_MAX);  // exact, not via a double
  EXPECT_EQ(Variant(u"-1,234.56785").ToCy(), -12345678);          // half to even
  EXPECT_EQ(Variant(2.00005).ToCy(), 20000);
  EXPECT_EQ(Variant::Currency(-5000).ToBStr(), u"-0.5");
  EXPECT_EQ(Variant::Currency(INT64_MIN).ToBStr(), u"-922337203685477.5808");
  EXPECT_EQ(Variant::Currency(25000).ToI2(), 2);
  EXPECT_EQ(ErrorNumberOf([] { Variant(1e15).ToCy(); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([] { Variant(u"922337203685477.58075").ToCy(); }), Runtime(6));
}

TEST(ByteArray, BoundsAreCheckedAndCopiesAreDeep) {
  ByteArray unallocated;
  EXPECT_FALSE(unallocated.IsAllocated());
  EXPECT_EQ(ErrorNumberOf([&] { unallocated.UBound(); }), Runtime(9));
  EXPECT_EQ(ErrorNumberOf([&] { unallocated.LBound(); }), Runtime(9));
  EXPECT_EQ(ErrorNumberOf([&] { unallocated.At(0); }), Runtime(9));

  const uint8_t bytes[] = {10, 20, 30};
  ByteArray array = ByteArray::FromBytes(bytes, 5);
  EXPECT_EQ(array.LBound(), 5);
  EXPECT_EQ(array.UBound(), 7);
  EXPECT_EQ(array.At(6), 20);
  EXPECT_EQ(ErrorNumberOf([&] { array.At(4); }), Runtime(9));
  EXPECT_EQ(ErrorNumberOf([&] { array.At(8); }), Runtime(9));

  ByteArray copy = array;
  copy.Set(5, 99);
  EXPECT_EQ(array.At(5), 10);
  EXPECT_FALSE(copy == array);

  ByteArray empty = ByteArray::Allocate(0);
  EXPECT_EQ(empty.LBound(), 0);
  EXPECT_EQ(empty.UBound(), -1);
  EXPECT_EQ(ErrorNumberOf([] { ByteArray::Allocate(2, 2147483647); }), Runtime(6));
}

TEST(VariantArray, BoundsElementsAndPreservingRedim) {
  VariantArray::Bounds bounds[] = {{0, 2}, {1, 3}};
  VariantArray array = VariantArray::Create(bounds);
  EXPECT_EQ(array.Dimensions(), 2u);
  EXPECT_EQ(array.Size(), 9u);
  EXPECT_EQ(array.DimensionBounds(1).lower, 1);
  EXPECT_EQ(ErrorNumberOf([&] { array.DimensionBounds(2); }), Runtime(9));
  // The first index varies fastest.
  const int32_t at[] = {2, 1};
  array.At(at) = Variant(7);
  EXPECT_EQ(array.Elements()[2], Variant(7));
  const int32_t outside[] = {3, 1};
  const int32_t tooFew[] = {1};
  EXPECT_EQ(array.Find(outside), nullptr);
  EXPECT_EQ(array.Find(tooFew), nullptr);
  EXPECT_EQ(ErrorNumberOf([&] { array.At(outside); }), Runtime(9));
  // Preserve keeps the elements and may change only the last upper bound.
  VariantArray::Bounds longer[] = {{0, 2}, {1, 5}};
  array.Redim(longer, true);
  EXPECT_EQ(array.At(at), Variant(7));
  EXPECT_EQ(array.Size(), 15u);
  VariantArray::Bounds wider[] = {{0, 3}, {1, 5}};
  EXPECT_EQ(ErrorNumberOf([&] { array.Redim(wider, true); }), Runtime(9));
  array.Redim(wider, false);
  EXPECT_TRUE(array.Elements()[2].IsEmpty());
  // Copies are deep, equality compares elements.
  Variant holder{VariantArray::FromElements({Variant(1), Variant(u"x")})};
  Variant copy = holder;
  copy.AsArray().Elements()[0] = Variant(2);
  EXPECT_EQ(holder.AsArray().Elements()[0], Variant(1));
  EXPECT_FALSE(copy == holder);
  EXPECT_EQ(holder.Type(), VarType::VariantArray);
  EXPECT_TRUE(holder.IsArray());
  // An array not yet dimensioned has no bounds; malformed bounds are refused.
  VariantArray dynamic;
  EXPECT_FALSE(dynamic.IsAllocated());
  EXPECT_EQ(dynamic.Find({}), nullptr);
  EXPECT_EQ(ErrorNumberOf([&] { dynamic.DimensionBounds(0); }), Runtime(9));
  VariantArray::Bounds bad[] = {{0, -2}};
  EXPECT_EQ(ErrorNumberOf([&] { VariantArray::Create(bad); }), Runtime(9));
  VariantArray::Bounds huge[] = {{0, 2000000000}, {0, 2000000000}};
  EXPECT_EQ(ErrorNumberOf([&] { VariantArray::Create(huge); }), Runtime(7));
  VariantArray::Bounds empty[] = {{0, -1}};
  EXPECT_EQ(VariantArray::Create(empty).Size(), 0u);
}

// Formatting, CDate of text, DateSerial and the parts of a date from a script are the script
// engine's Builtins.DatesAndTimes; here what scripts do not reach that way.
TEST(VariantDate, FormatsParsesAndSplits) {
  EXPECT_EQ(FormatDate(0.75), u"6:00:00 PM");
  double date = MakeDate(2026, 12, 6, 11, 58, 15);
  EXPECT_EQ(Variant::Date(date).ToBStr(), u"12/6/2026 11:58:15 AM");
  EXPECT_EQ(MakeDate(2026, 1, 1, 0, 0, 86400), MakeDate(2026, 1, 2));  // seconds roll over
  DateParts parts = SplitDate(date);
  EXPECT_EQ(parts.second, 15);
  EXPECT_EQ(parts.weekday, 1);  // a Sunday
  EXPECT_EQ(ParseDate(u" 2026-12-06 "), MakeDate(2026, 12, 6));
  EXPECT_EQ(ParseDate(u"1/2/99"), MakeDate(1999, 1, 2));
  EXPECT_EQ(ParseDate(u"12:30"), 0.5 + 30.0 / 1440.0);
  EXPECT_EQ(ParseDate(u"12:30 AM"), 30.0 / 1440.0);
  for (const char16_t* bad : {u"13/1/2024", u"25:00", u"12/6/2026 soon", u"tomorrow"})
    EXPECT_FALSE(ParseDate(bad)) << WideToUtf8(bad);
  EXPECT_EQ(Variant(3).ChangeType(VarType::Date), Variant::Date(3.0));
  EXPECT_EQ(ErrorNumberOf([] { Variant(1e9).ToDate(); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([] { SplitDate(std::nan("")); }), Runtime(6));
  EXPECT_FALSE(Variant::Date(1.0).IsNumeric());  // as IsNumeric of a date answers
}

TEST(Variant, ByteStringsKeepALoneByte) {
  const uint8_t odd[] = {0x41, 0x00, 0x42};
  Variant text = Variant::ByteString(odd);
  EXPECT_EQ(text.Type(), VarType::BStr);
  EXPECT_EQ(text.StringByteLength(), 3u);
  EXPECT_EQ(text.StringBytes(), std::vector<uint8_t>(std::begin(odd), std::end(odd)));
  const uint8_t even[] = {0x41, 0x00, 0x42, 0x00};
  EXPECT_EQ(Variant::ByteString(even), Variant(u"AB"));
  EXPECT_EQ(Variant(u"AB").StringByteLength(), 4u);
  // Changing the text makes it an ordinary string.
  text.AsBStr() += u"C";
  EXPECT_EQ(text.StringByteLength(), 6u);
  EXPECT_EQ(ErrorNumberOf([] { Variant(1).StringByteLength(); }), Runtime(13));
}

}  // namespace
}  // namespace corvella::platform
