// The automation layer: checked arithmetic and conversions, the error table, variants, byte
// arrays, arrays and dates, and late-bound calls through a member table. How numbers print, and
// how months and days roll over, are checked through the script engine (CStr, DateSerial). Most
// texts of the error table are checked where scripts meet them (the acceptance scripts' expected
// output); here the rows no script reaches.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "corvella/platform/byte_array.h"
#include "corvella/platform/checked.h"
#include "corvella/platform/dispatch.h"
#include "corvella/platform/error.h"
#include "corvella/platform/text.h"
#include "corvella/platform/variant.h"
#include "support/errors.h"

namespace corvella::platform {
namespace {

using testing::ErrorNumberOf;
using testing::Runtime;

// The conversions that scripts make with CInt, CLng, CBool, IsNumeric and VarType are the script
// engine's Builtins tests; here the rest.
TEST(Variant, ConversionsTypesAndMissing) {
  EXPECT_EQ(Variant(u"10.5").ToI4(), 10);  // half to even
  EXPECT_EQ(Variant(u"11.5").ToI4(), 12);
  EXPECT_EQ(Variant(11.5).ToI4(), 12);
  EXPECT_EQ(Variant(u"  25 ").ToI4(), 25);
  EXPECT_EQ(Variant(u"-3").ToI2(), -3);
  EXPECT_EQ(Variant(u"1e3").ToI4(), 1000);
  EXPECT_EQ(Variant(u".5").ToR8(), 0.5);
  EXPECT_EQ(Variant(u"&H10").ToI4(), 16);
  EXPECT_EQ(Variant(u"&HFFFF").ToI2(), -1);
  EXPECT_EQ(Variant(u"&O17").ToI4(), 15);
  EXPECT_EQ(ErrorNumberOf([] { Variant(u"").ToI4(); }), Runtime(13));
  EXPECT_EQ(ErrorNumberOf([] { Variant(u"12abc").ToI4(); }), Runtime(13));
  EXPECT_EQ(ErrorNumberOf([] { Variant(u"1e").ToR8(); }), Runtime(13));
  EXPECT_EQ(ErrorNumberOf([] { Variant(u"32768").ToI2(); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([] { Variant(3e9).ToI4(); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([] { Variant(1e300).ToR4(); }), Runtime(6));

  EXPECT_EQ(Variant().ToI4(), 0);
  EXPECT_EQ(Variant().ToBStr(), u"");
  EXPECT_EQ(Variant().ToBool(), kVbFalse);
  EXPECT_EQ(ErrorNumberOf([] { Variant::Null().ToBStr(); }), Runtime(94));
  EXPECT_EQ(Variant::Bool(true).ToI4(), -1);
  EXPECT_EQ(Variant::Bool(true).ToBStr(), u"True");
  EXPECT_EQ(Variant(u"False").ToBool(), kVbFalse);
  EXPECT_EQ(Variant(u"2").ToBool(), kVbTrue);
  EXPECT_EQ(Variant(0.0).ToBool(), kVbFalse);

  EXPECT_EQ(Variant(1.0).Type(), VarType::R8);
  EXPECT_EQ(Variant(ByteArray()).Type(), VarType::ByteArray);
  EXPECT_TRUE(Variant(u"25").IsNumeric());
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

// Preserving ReDim, deep copies and the bounds of an array not yet dimensioned are the script
// engine's Statements.ArraysDimReDimAndErase.
TEST(VariantArray, BoundsAndElements) {
  VariantArray::Bounds bounds[] = {{0, 2}, {1, 3}};
  VariantArray array = VariantArray::Create(bounds);
  EXPECT_EQ(array.Dimensions(), 2u);
  EXPECT_EQ(array.Size(), 9u);
  EXPECT_EQ(array.DimensionBounds(1).lower, 1);
  // The first index varies fastest.
  const int32_t at[] = {2, 1};
  array.At(at) = Variant(7);
  EXPECT_EQ(array.Elements()[2], Variant(7));
  const int32_t outside[] = {3, 1};
  const int32_t tooFew[] = {1};
  EXPECT_EQ(array.Find(outside), nullptr);
  EXPECT_EQ(array.Find(tooFew), nullptr);
  EXPECT_EQ(ErrorNumberOf([&] { array.At(outside); }), Runtime(9));
  // Malformed bounds are refused.
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
}

// Byte strings of odd and even length are the script engine's HostObjects.ByteArraysFromObjects.
TEST(Variant, ByteStringsBecomeTextWhenChanged) {
  const uint8_t odd[] = {0x41, 0x00, 0x42};
  Variant text = Variant::ByteString(odd);
  EXPECT_EQ(Variant(u"AB").StringByteLength(), 4u);
  // Changing the text makes it an ordinary string.
  text.AsBStr() += u"C";
  EXPECT_EQ(text.StringByteLength(), 6u);
  EXPECT_EQ(ErrorNumberOf([] { Variant(1).StringByteLength(); }), Runtime(13));
}

// Rounding half to even; conversions range-checked after rounding; 16 and 32-bit arithmetic.
TEST(Checked, RoundingConversionsAndArithmetic) {
  using namespace checked;
  struct Case {
    double in, out;
  } cases[] = {{0.5, 0},   {1.5, 2},    {2.5, 2},     {3.5, 4},      {-0.5, 0},  {-1.5, -2},
               {-2.5, -2}, {2.4999, 2}, {87.5, 88},   {59.5, 60},    {78.5, 78}, {62.5, 62},
               {10.5, 10}, {11.5, 12},  {-10.6, -11}, {1e300, 1e300}};
  for (const auto& c : cases)
    EXPECT_EQ(RoundHalfEven(c.in), c.out) << c.in;

  EXPECT_EQ(DoubleToInt16(32767.4), 32767);
  EXPECT_EQ(DoubleToInt16(-32768.5), -32768);  // ties to the even -32768
  EXPECT_EQ(ErrorNumberOf([] { DoubleToInt16(32767.5); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([] { DoubleToInt16(-32768.6); }), Runtime(6));
  EXPECT_EQ(DoubleToInt32(2147483647.4), 2147483647);
  EXPECT_EQ(ErrorNumberOf([] { DoubleToInt32(2147483647.5); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([] { DoubleToInt32(std::nan("")); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([] { DoubleToInt32(std::numeric_limits<double>::infinity()); }),
            Runtime(6));
  EXPECT_EQ(DoubleToByte(254.5), 254);
  EXPECT_EQ(DoubleToByte(-0.5), 0);
  EXPECT_EQ(ErrorNumberOf([] { DoubleToByte(255.5); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([] { DoubleToByte(-0.6); }), Runtime(6));

  EXPECT_EQ(Add16(32766, 1), 32767);
  EXPECT_EQ(ErrorNumberOf([] { Add16(32767, 1); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([] { Sub16(-32768, 1); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([] { Mul16(256, 128); }), Runtime(6));
  EXPECT_EQ(Mul16(-256, 128), -32768);
  EXPECT_EQ(Div16(-7, 2), -3);  // truncates toward zero
  EXPECT_EQ(ErrorNumberOf([] { Div16(1, 0); }), Runtime(11));
  EXPECT_EQ(ErrorNumberOf([] { Div16(-32768, -1); }), Runtime(6));

  EXPECT_EQ(ErrorNumberOf([] { Add32(2147483647, 1); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([] { Mul32(65536, 32768); }), Runtime(6));
  EXPECT_EQ(Mul32(-65536, 32768), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(Div32(-10, 3), -3);
  EXPECT_EQ(ErrorNumberOf([] { Div32(5, 0); }), Runtime(11));
  EXPECT_EQ(ErrorNumberOf([] { ToInt16(40000); }), Runtime(6));
}

TEST(ErrorTable, NumbersSourcesAndTheRowsScriptsRarelyReach) {
  using enum ComponentError;
  struct Row {
    ComponentError entry;
    uint32_t number;
    const char* text;
    const char* source;
  } rows[] = {
      {EmptyFileName, 0x800403E8, "Empty file name (Error 1000)", "Corvella.Pictron"},
      {ReadImageData, 0x80040456, "Failed to read image Data (Error 1110)", "Corvella.Pictron"},
      {InitJpegForReading, 0x8004046A, "Failed to initialise Jpeg Library (Error 1130)",
       "Corvella.Pictron"},
      {InitJpegForWriting, 0x8004046A, "Failed to initialise the IJL library (Error 1130)",
       "Corvella.Pictron"},
      {MarkerLength, 0x8004047E, "Erroneous JPEG marker length (Error 1150)", "Corvella.Pictron"},
      {UnableToSaveFile, 0x80040460, "Unable to save file (Error 1120) ", "Ferrowick.File"},
      {TransparentColor, 0x800404B0, "Transparent color is incorrect", "Corvella.Pictron"},
  };
  for (const Row& row : rows) {
    Error error = MakeError(row.entry);
    EXPECT_EQ(static_cast<uint32_t>(error.Number()), row.number) << row.text;
    EXPECT_EQ(error.Description(), row.text);
    EXPECT_EQ(error.Source(), row.source);
  }
  // Error 1140 carries the codec's result code right after the text.
  EXPECT_EQ(MakeError(FailedToSave, "-5").Description(), "Failed to Save (Error 1140)-5");
  // Runtime errors keep the bare text and carry the detail beside.
  Error detailed = MakeError(RuntimeError::InvalidProcedureCall, "Blur");
  EXPECT_EQ(static_cast<uint32_t>(detailed.Number()), 0x800A0005u);
  // Scripts compare the description exactly; the detail is for people.
  EXPECT_EQ(detailed.Description(), "Invalid procedure call or argument");
  EXPECT_EQ(detailed.Detail(), "Blur");
  EXPECT_TRUE(detailed.Source().empty());  // filled in at the boundary of the member
  detailed.SetSourceIfEmpty("Corvella.Pictron");
  detailed.SetSourceIfEmpty("Other");
  EXPECT_EQ(detailed.Source(), "Corvella.Pictron");
}

// A small scriptable object described by a member table, to exercise the generic invocation.
class Counter : public Dispatchable {
 public:
  struct Member {
    MemberInfo info;
    Variant (*handler)(Counter&, CallArgs&);
  };

  DispId GetIdOfName(std::u16string_view name) const override {
    return FindDispId(std::span<const Member>(kMembers), name);
  }

  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override {
    const Member* member = FindMember(std::span<const Member>(kMembers), id, kind);
    if (member == nullptr) Raise(RuntimeError::MemberNotFound);
    return InvokeMember(member->info, args, [&](CallArgs& a) { return member->handler(*this, a); });
  }

  int32_t total = 0;
  Variant lastOption;

 private:
  static constexpr ParamInfo kAddParams[] = {{"lngValue", ParamType::I4, kInOut},
                                             {"intStep", ParamType::I2, kIn},
                                             {"varOption", ParamType::Variant, kInOut | kOptional}};
  static constexpr ParamInfo kTotalParams[] = {{"lngValue", ParamType::I4, kIn}};
  static const std::array<Member, 3> kMembers;
};

const std::array<Counter::Member, 3> Counter::kMembers = {{
    // Add(lngValue, intStep, [varOption]): adds lngValue to the total, then writes
    // lngValue + intStep back; raises overflow after the write when the step is 99.
    {{1, "Add", InvokeKind::Method, 10, kAddParams, ParamType::I4},
     [](Counter& c, CallArgs& a) -> Variant {
       c.total += a.I4(0);
       c.lastOption = a.Var(2);
       if (a.I2(1) != 0) a.I4(0) += a.I2(1);
       if (a.I2(1) == 99) Raise(RuntimeError::Overflow);
       if (a.Var(2).IsString()) a.Var(2) = Variant(u"seen");
       return c.total;
     }},
    {{2, "Total", InvokeKind::PropertyGet, 11, {}, ParamType::I4},
     [](Counter& c, CallArgs&) -> Variant { return c.total; }},
    {{3, "Total", InvokeKind::PropertyPut, 11, kTotalParams, ParamType::None},
     [](Counter& c, CallArgs& a) -> Variant {
       c.total = a.I4(0);
       return {};
     }},
}};

TEST(Dispatch, InOutArgumentsAreWrittenBackOnlyWhenChanged) {
  ObjectRef object = std::make_shared<Counter>();
  // Unchanged: the caller's string stays a string.
  std::vector<Variant> args = {Variant(u"200"), Variant(0)};
  EXPECT_EQ(InvokeByName(object, u"Add", InvokeKind::Method, args), Variant(200));
  EXPECT_EQ(args[0], Variant(u"200"));
  // Changed: the new value comes back with the declared type.
  args = {Variant(u"200"), Variant(5)};
  InvokeByName(object, u"Add", InvokeKind::Method, args);
  EXPECT_EQ(args[0], Variant(205));
  // A by-value argument is never written back, and a Variant in/out slot is the caller's own.
  args = {Variant(1), Variant(int16_t{2}), Variant(u"x")};
  InvokeByName(object, u"Add", InvokeKind::Method, args);
  EXPECT_EQ(args[1], Variant(int16_t{2}));
  EXPECT_EQ(args[2], Variant(u"seen"));
  // A member that raises after writing still leaves its write in the caller's slot.
  args = {Variant(1), Variant(99)};
  EXPECT_EQ(ErrorNumberOf([&] { InvokeByName(object, u"Add", InvokeKind::Method, args); }),
            Runtime(6));
  EXPECT_EQ(args[0], Variant(100));
}

// Names are found without regard to case; omitted and surplus arguments; coercion errors.
TEST(Dispatch, NamesArgumentCountsAndCoercionErrors) {
  auto counter = std::make_shared<Counter>();
  EXPECT_EQ(counter->GetIdOfName(u"add"), 10);
  EXPECT_EQ(counter->GetIdOfName(u"TOTAL"), 11);
  EXPECT_EQ(counter->GetIdOfName(u"Nothing"), kDispIdUnknown);
  ObjectRef object = counter;
  PutProperty(object, u"total", Variant(u"41"));  // a numeric string is coerced
  EXPECT_EQ(GetProperty(object, u"Total"), Variant(41));
  EXPECT_EQ(ErrorNumberOf([&] { GetProperty(object, u"Missing"); }), Runtime(438));
  EXPECT_EQ(ErrorNumberOf([] { GetProperty(ObjectRef(), u"Total"); }), Runtime(91));
  std::vector<Variant> args = {Variant(1), Variant(0)};
  InvokeByName(object, u"Add", InvokeKind::Method, args);
  EXPECT_TRUE(counter->lastOption.IsMissing());
  args = {Variant(1), Variant(0), Variant::Missing()};
  InvokeByName(object, u"Add", InvokeKind::Method, args);
  EXPECT_TRUE(counter->lastOption.IsMissing());

  args = {Variant(1)};
  EXPECT_EQ(ErrorNumberOf([&] { InvokeByName(object, u"Add", InvokeKind::Method, args); }),
            Runtime(449));
  args = {Variant(1), Variant(0), Variant(), Variant()};
  EXPECT_EQ(ErrorNumberOf([&] { InvokeByName(object, u"Add", InvokeKind::Method, args); }),
            Runtime(450));
  args = {Variant(u"abc"), Variant(0)};
  EXPECT_EQ(ErrorNumberOf([&] { InvokeByName(object, u"Add", InvokeKind::Method, args); }),
            Runtime(13));
  args = {Variant(1), Variant(40000)};
  EXPECT_EQ(ErrorNumberOf([&] { InvokeByName(object, u"Add", InvokeKind::Method, args); }),
            Runtime(6));
  // Method and property get may be asked for together, as script engines do.
  EXPECT_EQ(InvokeByName(object, u"Total", InvokeKind::Method | InvokeKind::PropertyGet),
            Variant(counter->total));
}

}  // namespace
}  // namespace corvella::platform
