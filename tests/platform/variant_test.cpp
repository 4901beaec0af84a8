#include "corvella/platform/variant.h"

#include <gtest/gtest.h>

#include "corvella/platform/byte_array.h"
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

TEST(Variant, NumbersFormatAsTheRuntimeWritesThem) {
  EXPECT_EQ(Variant(0.1).ToBStr(), u"0.1");
  EXPECT_EQ(Variant(1.0 / 3.0).ToBStr(), u"0.333333333333333");
  EXPECT_EQ(Variant(1e20).ToBStr(), u"1E+20");
  EXPECT_EQ(Variant(0.00001).ToBStr(), u"1E-05");
  EXPECT_EQ(Variant(0.0001).ToBStr(), u"0.0001");
  EXPECT_EQ(Variant(123456789012345678.0).ToBStr(), u"1.23456789012346E+17");
  EXPECT_EQ(Variant(-2.5).ToBStr(), u"-2.5");
  EXPECT_EQ(Variant(0.1f).ToBStr(), u"0.1");
  EXPECT_EQ(Variant(int16_t{-7}).ToBStr(), u"-7");
  EXPECT_EQ(Variant(16777215).ToBStr(), u"16777215");
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

}  // namespace
}  // namespace corvella::platform
