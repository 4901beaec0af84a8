// Late-bound access to Pictron: names, coercion of arguments and their checks. The table itself
// is pinned by members.expected, checked against the type library (members.cmake).

#include "corvella/component/member_table.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "corvella/component/pictron.h"
#include "support/errors.h"

namespace corvella::component {
namespace {

using platform::InvokeKind;
using platform::Variant;
using testing::ErrorNumberOf;
using testing::Runtime;

TEST(MemberTable, NamesBindWithoutRegardToCase) {
  Pictron p;
  EXPECT_EQ(static_cast<uint32_t>(p.GetIdOfName(u"WIDTH")), 0x6803000Cu);
  EXPECT_EQ(static_cast<uint32_t>(p.GetIdOfName(u"fontface")), 0x68030009u);
  EXPECT_EQ(static_cast<uint32_t>(p.GetIdOfName(u"jpegskipvariables")), 0x60030035u);
  EXPECT_EQ(p.GetIdOfName(u"Rotate"), platform::kDispIdUnknown);
}

TEST(MemberTable, PropertiesThroughDispatchCoerceTheirArguments) {
  platform::ObjectRef object = std::make_shared<Pictron>();
  platform::PutProperty(object, u"FontBold", Variant(u"True"));
  EXPECT_EQ(platform::GetProperty(object, u"FontBold"), Variant::Bool(true));
  platform::PutProperty(object, u"FontSize", Variant(u"14"));
  EXPECT_EQ(platform::GetProperty(object, u"fontsize"), Variant(int16_t{14}));
  platform::PutProperty(object, u"FontColor", Variant(123456));  // six characters once a string
  EXPECT_EQ(platform::GetProperty(object, u"FontColor"), Variant(u"123456"));
  EXPECT_EQ(platform::GetProperty(object, u"Size").Type(), platform::VarType::R8);
  EXPECT_EQ(ErrorNumberOf([&] { platform::PutProperty(object, u"FontSize", Variant(40000)); }),
            Runtime(6));
  EXPECT_EQ(ErrorNumberOf([&] { platform::PutProperty(object, u"FontSize", Variant(u"big")); }),
            Runtime(13));
  // width has no let.
  EXPECT_EQ(ErrorNumberOf([&] { platform::PutProperty(object, u"width", Variant(5)); }),
            Runtime(450));
  EXPECT_EQ(platform::CallMethod(object, u"StripNulls", {Variant(std::u16string(u"ab\0", 3))}),
            Variant(u"ab"));
}

TEST(MemberTable, ArgumentsAreCheckedBeforeTheMemberRuns) {
  platform::ObjectRef object = std::make_shared<Pictron>();
  std::vector<Variant> args = {Variant(100)};
  EXPECT_EQ(
      ErrorNumberOf([&] { platform::InvokeByName(object, u"Resample", InvokeKind::Method, args); }),
      Runtime(449));
  args = {Variant(0), Variant(0), Variant(u"x"), Variant(1)};
  EXPECT_EQ(
      ErrorNumberOf([&] { platform::InvokeByName(object, u"Crop", InvokeKind::Method, args); }),
      Runtime(13));
  args = {Variant(u"not an array")};
  EXPECT_EQ(ErrorNumberOf(
                [&] { platform::InvokeByName(object, u"OpenBinary", InvokeKind::Method, args); }),
            Runtime(13));
  // The member itself then runs: with every argument valid, no image means runtime error 9.
  args = {Variant(100), Variant(u"0")};
  auto error = testing::ErrorOf(
      [&] { platform::InvokeByName(object, u"Resample", InvokeKind::Method, args); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Number(), Runtime(9));
  EXPECT_EQ(error->Source(), "Corvella.Pictron");
  EXPECT_EQ(args[1], Variant(u"0"));  // unchanged, so not written back
}

}  // namespace
}  // namespace corvella::component
