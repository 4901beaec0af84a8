#include "corvella/component/member_table.h"

#include <array>

#include "corvella/component/pictron.h"

namespace corvella::component {

namespace {

using platform::CallArgs;
using platform::InvokeKind;
using platform::kIn;
using platform::kInOut;
using platform::kOptional;
using platform::ParamInfo;
using platform::ParamType;
using platform::Variant;

constexpr InvokeKind kMethod = InvokeKind::Method;
constexpr InvokeKind kGet = InvokeKind::PropertyGet;
constexpr InvokeKind kLet = InvokeKind::PropertyPut;
constexpr uint8_t kInOutOptional = kInOut | kOptional;
constexpr uint8_t kInOptional = kIn | kOptional;

Variant Bool(platform::VbBool value) {
  return Variant::Bool(value != 0);
}

constexpr ParamInfo kOnStartPage[] = {{"PassedScriptingContext", ParamType::Object, kInOut}};
constexpr ParamInfo kQuality[] = {{"intValue", ParamType::I2, kIn}};
constexpr ParamInfo kStrValue[] = {{"strValue", ParamType::BStr, kIn}};
constexpr ParamInfo kBlValue[] = {{"blValue", ParamType::Bool, kIn}};
constexpr ParamInfo kIntValue[] = {{"intValue", ParamType::I2, kIn}};
constexpr ParamInfo kFontCharset[] = {{"blValue", ParamType::I4, kIn}};
constexpr ParamInfo kOpenFile[] = {{"strFilePathName", ParamType::BStr, kInOut}};
constexpr ParamInfo kSaveFile[] = {{"strFilePathName", ParamType::Variant, kInOutOptional}};
constexpr ParamInfo kResample[] = {{"lngNewWidth", ParamType::I4, kInOut},
                                   {"lngNewHeight", ParamType::I4, kInOut}};
constexpr ParamInfo kCrop[] = {{"intX1", ParamType::I2, kInOut},
                               {"intY1", ParamType::I2, kInOut},
                               {"intX2", ParamType::I2, kInOut},
                               {"intY2", ParamType::I2, kInOut}};
constexpr ParamInfo kAddText[] = {{"strMessage", ParamType::BStr, kInOut},
                                  {"PositionX", ParamType::Variant, kInOut},
                                  {"PositionY", ParamType::Variant, kInOut}};
constexpr ParamInfo kAddImage[] = {{"strFileName", ParamType::BStr, kInOut},
                                   {"PositionX", ParamType::Variant, kInOut},
                                   {"PositionY", ParamType::Variant, kInOut},
                                   {"TransColor", ParamType::Variant, kInOutOptional}};
constexpr ParamInfo kDownload[] = {{"strNewFileName", ParamType::Variant, kInOptional},
                                   {"strContentType", ParamType::Variant, kInOptional},
                                   {"strContentDisposition", ParamType::Variant, kInOptional}};
constexpr ParamInfo kOpenBinary[] = {{"arImage", ParamType::ByteArray, kInOut}};
constexpr ParamInfo kSaveBinary[] = {{"binArray", ParamType::Variant, kInOut}};
constexpr ParamInfo kGamma[] = {{"sngRED", ParamType::R4, kInOut},
                                {"sngGREEN", ParamType::R4, kInOut},
                                {"sngBLUE", ParamType::R4, kInOut}};
constexpr ParamInfo kStripNulls[] = {{"OriginalStr", ParamType::BStr, kIn}};
constexpr ParamInfo kJpegSkip[] = {{"lngPos", ParamType::I4, kInOut}};

// The handlers receive arguments already coerced to the declared types.
const std::array<PictronMember, 47> kMembers = {
    {
        {{1, "OnStartPage", kMethod, 0x60030012, kOnStartPage, ParamType::None},
         [](Pictron& p, CallArgs& a) -> Variant {
           p.OnStartPage(a.Object(0));
           return {};
         }},
        {{2, "OnEndPage", kMethod, 0x60030013, {}, ParamType::Variant},
         [](Pictron& p, CallArgs&) -> Variant { return p.OnEndPage(); }},
        {{3, "OriginalWidth", kGet, 0x6803000F, {}, ParamType::I4},
         [](Pictron& p, CallArgs&) -> Variant { return p.OriginalWidth(); }},
        {{4, "OriginalHeight", kGet, 0x6803000E, {}, ParamType::I4},
         [](Pictron& p, CallArgs&) -> Variant { return p.OriginalHeight(); }},
        {{5, "OriginalSize", kGet, 0x6803000D, {}, ParamType::I4},
         [](Pictron& p, CallArgs&) -> Variant { return p.OriginalSize(); }},
        {{6, "width", kGet, 0x6803000C, {}, ParamType::I4},
         [](Pictron& p, CallArgs&) -> Variant { return p.width(); }},
        {{7, "Height", kGet, 0x6803000B, {}, ParamType::I4},
         [](Pictron& p, CallArgs&) -> Variant { return p.Height(); }},
        {{8, "Size", kGet, 0x6803000A, {}, ParamType::R8},
         [](Pictron& p, CallArgs&) -> Variant { return p.Size(); }},
        {{9, "FontFace", kGet, 0x68030009, {}, ParamType::BStr},
         [](Pictron& p, CallArgs&) -> Variant { return p.FontFace(); }},
        {{10, "FontBold", kGet, 0x68030008, {}, ParamType::Bool},
         [](Pictron& p, CallArgs&) -> Variant { return Bool(p.FontBold()); }},
        {{11, "FontColor", kGet, 0x68030007, {}, ParamType::BStr},
         [](Pictron& p, CallArgs&) -> Variant { return p.FontColor(); }},
        {{12, "FontItalic", kGet, 0x68030006, {}, ParamType::Bool},
         [](Pictron& p, CallArgs&) -> Variant { return Bool(p.FontItalic()); }},
        {{13, "FontOrientation", kGet, 0x68030005, {}, ParamType::I2},
         [](Pictron& p, CallArgs&) -> Variant { return p.FontOrientation(); }},
        {{14, "FontSize", kGet, 0x68030004, {}, ParamType::I2},
         [](Pictron& p, CallArgs&) -> Variant { return p.FontSize(); }},
        {{15, "FontUnderline", kGet, 0x68030003, {}, ParamType::Bool},
         [](Pictron& p, CallArgs&) -> Variant { return Bool(p.FontUnderline()); }},
        {{16, "FontCharset", kGet, 0x68030002, {}, ParamType::I4},
         [](Pictron& p, CallArgs&) -> Variant { return p.FontCharset(); }},
        {{17, "Quality", kLet, 0x68030001, kQuality, ParamType::None},
         [](Pictron& p, CallArgs& a) -> Variant {
           p.Quality(a.I2(0));
           return {};
         }},
        {{18, "Comment", kLet, 0x68030000, kStrValue, ParamType::None},
         [](Pictron& p, CallArgs& a) -> Variant {
           p.Comment(a.BStr(0));
           return {};
         }},
        {{19, "FontFace", kLet, 0x68030009, kStrValue, ParamType::None},
         [](Pictron& p, CallArgs& a) -> Variant {
           p.FontFace(a.BStr(0));
           return {};
         }},
        {{20, "FontBold", kLet, 0x68030008, kBlValue, ParamType::None},
         [](Pictron& p, CallArgs& a) -> Variant {
           p.FontBold(a.Bool(0));
           return {};
         }},
        {{21, "FontColor", kLet, 0x68030007, kStrValue, ParamType::None},
         [](Pictron& p, CallArgs& a) -> Variant {
           p.FontColor(a.BStr(0));
           return {};
         }},
        {{22, "FontItalic", kLet, 0x68030006, kBlValue, ParamType::None},
         [](Pictron& p, CallArgs& a) -> Variant {
           p.FontItalic(a.Bool(0));
           return {};
         }},
        {{23, "FontOrientation", kLet, 0x68030005, kIntValue, ParamType::None},
         [](Pictron& p, CallArgs& a) -> Variant {
           p.FontOrientation(a.I2(0));
           return {};
         }},
        {{24, "FontSize", kLet, 0x68030004, kIntValue, ParamType::None},
         [](Pictron& p, CallArgs& a) -> Variant {
           p.FontSize(a.I2(0));
           return {};
         }},
        {{25, "FontUnderline", kLet, 0x68030003, kBlValue, ParamType::None},
         [](Pictron& p, CallArgs& a) -> Variant {
           p.FontUnderline(a.Bool(0));
           return {};
         }},
        {{26, "FontCharset", kLet, 0x68030002, kFontCharset, ParamType::None},
         [](Pictron& p, CallArgs& a) -> Variant {
           p.FontCharset(a.I4(0));
           return {};
         }},
        {{27, "OpenFile", kMethod, 0x60030014, kOpenFile, ParamType::None},
         [](Pictron& p, CallArgs& a) -> Variant {
           p.OpenFile(a.BStr(0));
           return {};
         }},
        {{28, "SaveFile", kMethod, 0x60030015, kSaveFile, ParamType::None},
         [](Pictron& p, CallArgs& a) -> Variant {
           p.SaveFile(a.Var(0));
           return {};
         }},
        {{29, "Resample", kMethod, 0x60030016, kResample, ParamType::None},
         [](Pictron& p, CallArgs& a) -> Variant {
           p.Resample(a.I4(0), a.I4(1));
           return {};
         }},
        {{30, "Crop", kMethod, 0x60030017, kCrop, ParamType::None},
         [](Pictron& p, CallArgs& a) -> Variant {
           p.Crop(a.I2(0), a.I2(1), a.I2(2), a.I2(3));
           return {};
         }},
        {{31, "Flip", kMethod, 0x60030018, {}, ParamType::None},
         [](Pictron& p, CallArgs&) -> Variant {
           p.Flip();
           return {};
         }},
        {{32, "Mirror", kMethod, 0x60030019, {}, ParamType::None},
         [](Pictron& p, CallArgs&) -> Variant {
           p.Mirror();
           return {};
         }},
        {{33, "RotateRight", kMethod, 0x6003001A, {}, ParamType::None},
         [](Pictron& p, CallArgs&) -> Variant {
           p.RotateRight();
           return {};
         }},
        {{34, "RotateLeft", kMethod, 0x6003001B, {}, ParamType::None},
         [](Pictron& p, CallArgs&) -> Variant {
           p.RotateLeft();
           return {};
         }},
        {{35, "AddText", kMethod, 0x6003001C, kAddText, ParamType::None},
         [](Pictron& p, CallArgs& a) -> Variant {
           p.AddText(a.BStr(0), a.Var(1), a.Var(2));
           return {};
         }},
        {{36, "AddImage", kMethod, 0x6003001D, kAddImage, ParamType::None},
         [](Pictron& p, CallArgs& a) -> Variant {
           p.AddImage(a.BStr(0), a.Var(1), a.Var(2), a.Var(3));
           return {};
         }},
        {{37, "Download", kMethod, 0x6003001E, kDownload, ParamType::None},
         [](Pictron& p, CallArgs& a) -> Variant {
           p.Download(a.Var(0), a.Var(1), a.Var(2));
           return {};
         }},
        {{38, "OpenBinary", kMethod, 0x6003001F, kOpenBinary, ParamType::None},
         [](Pictron& p, CallArgs& a) -> Variant {
           p.OpenBinary(a.Bytes(0));
           return {};
         }},
        {{39, "SaveBinary", kMethod, 0x60030020, kSaveBinary, ParamType::None},
         [](Pictron& p, CallArgs& a) -> Variant {
           p.SaveBinary(a.Var(0));
           return {};
         }},
        {{40, "Blur", kMethod, 0x60030021, {}, ParamType::None},
         [](Pictron& p, CallArgs&) -> Variant {
           p.Blur();
           return {};
         }},
        {{41, "Sharpen", kMethod, 0x60030022, {}, ParamType::None},
         [](Pictron& p, CallArgs&) -> Variant {
           p.Sharpen();
           return {};
         }},
        {{42, "Gamma", kMethod, 0x60030023, kGamma, ParamType::None},
         [](Pictron& p, CallArgs& a) -> Variant {
           p.Gamma(a.R4(0), a.R4(1), a.R4(2));
           return {};
         }},
        {{43, "Negative", kMethod, 0x60030024, {}, ParamType::None},
         [](Pictron& p, CallArgs&) -> Variant {
           p.Negative();
           return {};
         }},
        {{44, "GreyScale", kMethod, 0x60030025, {}, ParamType::None},
         [](Pictron& p, CallArgs&) -> Variant {
           p.GreyScale();
           return {};
         }},
        {{45, "LoadPictureFromStd", kMethod, 0x6003002A, {}, ParamType::Bool},
         [](Pictron& p, CallArgs&) -> Variant { return Bool(p.LoadPictureFromStd()); }},
        {{46, "StripNulls", kMethod, 0x60030030, kStripNulls, ParamType::BStr},
         [](Pictron& p, CallArgs& a) -> Variant { return p.StripNulls(a.BStr(0)); }},
        {{47, "JPEGSkipVariables", kMethod, 0x60030035, kJpegSkip, ParamType::None},
         [](Pictron& p, CallArgs& a) -> Variant {
           p.JPEGSkipVariables(a.I4(0));
           return {};
         }},
    }};

}  // namespace

std::span<const PictronMember> PictronMembers() {
  return kMembers;
}

}  // namespace corvella::component
