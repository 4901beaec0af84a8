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

// The interface as documented: slot, name, kind, DISPID and a signature written as
// "name:type[&][?]" per parameter (& in/out, ? optional), then "->" and the result.
struct Expected {
  const char* name;
  char kind;  // m method, g property get, l property let
  uint32_t dispid;
  const char* signature;
};

const Expected kInterface[] = {
    {"OnStartPage", 'm', 0x60030012, "PassedScriptingContext:obj& -> none"},
    {"OnEndPage", 'm', 0x60030013, " -> var"},
    {"OriginalWidth", 'g', 0x6803000F, " -> i4"},
    {"OriginalHeight", 'g', 0x6803000E, " -> i4"},
    {"OriginalSize", 'g', 0x6803000D, " -> i4"},
    {"width", 'g', 0x6803000C, " -> i4"},
    {"Height", 'g', 0x6803000B, " -> i4"},
    {"Size", 'g', 0x6803000A, " -> r8"},
    {"FontFace", 'g', 0x68030009, " -> str"},
    {"FontBold", 'g', 0x68030008, " -> bool"},
    {"FontColor", 'g', 0x68030007, " -> str"},
    {"FontItalic", 'g', 0x68030006, " -> bool"},
    {"FontOrientation", 'g', 0x68030005, " -> i2"},
    {"FontSize", 'g', 0x68030004, " -> i2"},
    {"FontUnderline", 'g', 0x68030003, " -> bool"},
    {"FontCharset", 'g', 0x68030002, " -> i4"},
    {"Quality", 'l', 0x68030001, "intValue:i2 -> none"},
    {"Comment", 'l', 0x68030000, "strValue:str -> none"},
    {"FontFace", 'l', 0x68030009, "strValue:str -> none"},
    {"FontBold", 'l', 0x68030008, "blValue:bool -> none"},
    {"FontColor", 'l', 0x68030007, "strValue:str -> none"},
    {"FontItalic", 'l', 0x68030006, "blValue:bool -> none"},
    {"FontOrientation", 'l', 0x68030005, "intValue:i2 -> none"},
    {"FontSize", 'l', 0x68030004, "intValue:i2 -> none"},
    {"FontUnderline", 'l', 0x68030003, "blValue:bool -> none"},
    {"FontCharset", 'l', 0x68030002, "blValue:i4 -> none"},
    {"OpenFile", 'm', 0x60030014, "strFilePathName:str& -> none"},
    {"SaveFile", 'm', 0x60030015, "strFilePathName:var&? -> none"},
    {"Resample", 'm', 0x60030016, "lngNewWidth:i4& lngNewHeight:i4& -> none"},
    {"Crop", 'm', 0x60030017, "intX1:i2& intY1:i2& intX2:i2& intY2:i2& -> none"},
    {"Flip", 'm', 0x60030018, " -> none"},
    {"Mirror", 'm', 0x60030019, " -> none"},
    {"RotateRight", 'm', 0x6003001A, " -> none"},
    {"RotateLeft", 'm', 0x6003001B, " -> none"},
    {"AddText", 'm', 0x6003001C, "strMessage:str& PositionX:var& PositionY:var& -> none"},
    {"AddImage", 'm', 0x6003001D,
     "strFileName:str& PositionX:var& PositionY:var& TransColor:var&? -> none"},
    {"Download", 'm', 0x6003001E,
     "strNewFileName:var? strContentType:var? strContentDisposition:var? -> none"},
    {"OpenBinary", 'm', 0x6003001F, "arImage:bytes& -> none"},
    {"SaveBinary", 'm', 0x60030020, "binArray:var& -> none"},
    {"Blur", 'm', 0x60030021, " -> none"},
    {"Sharpen", 'm', 0x60030022, " -> none"},
    {"Gamma", 'm', 0x60030023, "sngRED:r4& sngGREEN:r4& sngBLUE:r4& -> none"},
    {"Negative", 'm', 0x60030024, " -> none"},
    {"GreyScale", 'm', 0x60030025, " -> none"},
    {"LoadPictureFromStd", 'm', 0x6003002A, " -> bool"},
    {"StripNulls", 'm', 0x60030030, "OriginalStr:str -> str"},
    {"JPEGSkipVariables", 'm', 0x60030035, "lngPos:i4& -> none"},
};

std::string TypeCode(platform::ParamType type) {
  using platform::ParamType;
  switch (type) {
    case ParamType::None:
      return "none";
    case ParamType::I2:
      return "i2";
    case ParamType::I4:
      return "i4";
    case ParamType::R4:
      return "r4";
    case ParamType::R8:
      return "r8";
    case ParamType::Bool:
      return "bool";
    case ParamType::BStr:
      return "str";
    case ParamType::Variant:
      return "var";
    case ParamType::Object:
      return "obj";
    case ParamType::ByteArray:
      return "bytes";
  }
  return "?";
}

std::string Signature(const platform::MemberInfo& info) {
  std::string text;
  for (const auto& param : info.params) {
    if (!text.empty()) text += ' ';
    text += std::string(param.name) + ':' + TypeCode(param.type);
    if (param.IsByRef()) text += '&';
    if (param.IsOptional()) text += '?';
  }
  return text + " -> " + TypeCode(info.result);
}

TEST(MemberTable, HoldsAllFortySevenMembersInSlotOrder) {
  auto table = PictronMembers();
  ASSERT_EQ(table.size(), std::size(kInterface));
  for (size_t i = 0; i < table.size(); ++i) {
    const auto& info = table[i].info;
    const Expected& expected = kInterface[i];
    EXPECT_EQ(info.slot, static_cast<int>(i + 1));
    EXPECT_EQ(info.name, expected.name);
    EXPECT_EQ(static_cast<uint32_t>(info.dispid), expected.dispid) << expected.name;
    InvokeKind kind = expected.kind == 'm'   ? InvokeKind::Method
                      : expected.kind == 'g' ? InvokeKind::PropertyGet
                                             : InvokeKind::PropertyPut;
    EXPECT_EQ(info.kind, kind) << expected.name;
    EXPECT_EQ(Signature(info), expected.signature) << expected.name;
    EXPECT_NE(table[i].handler, nullptr);
  }
}

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
