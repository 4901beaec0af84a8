// The member table of Pictron's interface: one row per member, whose parameter and result types
// are read from the C++ signature of the member function it calls.

#include "corvella/component/member_table.h"

#include <array>
#include <cstddef>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "corvella/component/pictron.h"

namespace corvella::component {

namespace {

using platform::ByteArray;
using platform::CallArgs;
using platform::DispId;
using platform::InvokeKind;
using platform::kIn;
using platform::kInOut;
using platform::kOptional;
using platform::ObjectRef;
using platform::ParamInfo;
using platform::ParamType;
using platform::Variant;

constexpr uint8_t kInOutOptional = kInOut | kOptional;
constexpr uint8_t kInOptional = kIn | kOptional;

// The automation type of a C++ parameter or result type (references and const dropped).
template <typename T>
struct Automation;
template <>
struct Automation<void> : std::integral_constant<ParamType, ParamType::None> {};
template <>
struct Automation<int16_t> : std::integral_constant<ParamType, ParamType::I2> {};
template <>
struct Automation<int32_t> : std::integral_constant<ParamType, ParamType::I4> {};
template <>
struct Automation<float> : std::integral_constant<ParamType, ParamType::R4> {};
template <>
struct Automation<double> : std::integral_constant<ParamType, ParamType::R8> {};
template <>
struct Automation<VbBoolean> : std::integral_constant<ParamType, ParamType::Bool> {};
template <>
struct Automation<std::u16string> : std::integral_constant<ParamType, ParamType::BStr> {};
template <>
struct Automation<Variant> : std::integral_constant<ParamType, ParamType::Variant> {};
template <>
struct Automation<ObjectRef> : std::integral_constant<ParamType, ParamType::Object> {};
template <>
struct Automation<ByteArray> : std::integral_constant<ParamType, ParamType::ByteArray> {};

template <typename T>
constexpr ParamType kTypeOf = Automation<std::remove_cvref_t<T>>::value;

// The result and parameter types of a member function of Pictron.
template <typename F>
struct Signature;
template <typename R, typename... A>
struct Signature<R (Pictron::*)(A...)> {
  using Result = R;
  using Params = std::tuple<A...>;
  static constexpr size_t kArity = sizeof...(A);
};
template <typename R, typename... A>
struct Signature<R (Pictron::*)(A...) const> : Signature<R (Pictron::*)(A...)> {};

template <auto F, size_t I>
using ParamOf = std::tuple_element_t<I, typename Signature<decltype(F)>::Params>;

// Argument @p i, already coerced to the type of T, as the reference that the member takes (a
// Boolean converts to VbBoolean by value).
template <typename T>
decltype(auto) Arg(CallArgs& a, size_t i) {
  constexpr ParamType type = kTypeOf<T>;
  if constexpr (type == ParamType::I2) {
    return a.I2(i);
  } else if constexpr (type == ParamType::I4) {
    return a.I4(i);
  } else if constexpr (type == ParamType::R4) {
    return a.R4(i);
  } else if constexpr (type == ParamType::Bool) {
    return a.Bool(i);
  } else if constexpr (type == ParamType::BStr) {
    return a.BStr(i);
  } else if constexpr (type == ParamType::Variant) {
    return a.Var(i);
  } else if constexpr (type == ParamType::Object) {
    return a.Object(i);
  } else {
    static_assert(type == ParamType::ByteArray);
    return a.Bytes(i);
  }
}

// Calls member F with the coerced arguments and answers its result as a Variant (Empty for none).
template <auto F>
Variant Call(Pictron& p, CallArgs& a) {
  using S = Signature<decltype(F)>;
  return [&]<size_t... I>(std::index_sequence<I...>) -> Variant {
    if constexpr (std::is_void_v<typename S::Result>) {
      (p.*F)(Arg<ParamOf<F, I>>(a, I)...);
      return {};
    } else if constexpr (kTypeOf<typename S::Result> == ParamType::Bool) {
      return Variant::Bool((p.*F)(Arg<ParamOf<F, I>>(a, I)...) != 0);
    } else {
      return (p.*F)(Arg<ParamOf<F, I>>(a, I)...);
    }
  }(std::make_index_sequence<S::kArity>{});
}

// A parameter as the type library declares it; its type comes from the C++ signature.
struct Param {
  std::string_view name;
  uint8_t flags;
};

// The parameters of member F: the declared names and flags with the deduced types, kept for the
// life of the program.
template <auto F, size_t N>
std::span<const ParamInfo> ParamsOf(const Param (&declared)[N]) {
  static_assert(N == Signature<decltype(F)>::kArity, "one declared parameter per C++ parameter");
  static const std::array<ParamInfo, N> params = [&]<size_t... I>(std::index_sequence<I...>) {
    return std::array<ParamInfo, N>{
        ParamInfo{declared[I].name, kTypeOf<ParamOf<F, I>>, declared[I].flags}...};
  }(std::make_index_sequence<N>{});
  return params;
}

template <auto F>
PictronMember Row(std::string_view name, InvokeKind kind, DispId dispid,
                  std::span<const ParamInfo> params) {
  using Result = typename Signature<decltype(F)>::Result;
  return {{0, name, kind, dispid, params, kTypeOf<Result>}, &Call<F>};
}

template <auto F>
PictronMember Method(std::string_view name, DispId dispid) {
  static_assert(Signature<decltype(F)>::kArity == 0);
  return Row<F>(name, InvokeKind::Method, dispid, {});
}
template <auto F, size_t N>
PictronMember Method(std::string_view name, DispId dispid, const Param (&params)[N]) {
  return Row<F>(name, InvokeKind::Method, dispid, ParamsOf<F>(params));
}
template <auto F>
PictronMember Get(std::string_view name, DispId dispid) {
  static_assert(Signature<decltype(F)>::kArity == 0);
  return Row<F>(name, InvokeKind::PropertyGet, dispid, {});
}
template <auto F, size_t N>
PictronMember Let(std::string_view name, DispId dispid, const Param (&params)[N]) {
  static_assert(std::is_void_v<typename Signature<decltype(F)>::Result>);
  return Row<F>(name, InvokeKind::PropertyPut, dispid, ParamsOf<F>(params));
}

using P = Pictron;

// The members in slot order; a property's get and let are separate rows sharing a DISPID.
std::array<PictronMember, 47> MakeMembers() {
  std::array<PictronMember, 47> members = {
      Method<&P::OnStartPage>("OnStartPage", 0x60030012, {{"PassedScriptingContext", kInOut}}),
      Method<&P::OnEndPage>("OnEndPage", 0x60030013),
      Get<&P::OriginalWidth>("OriginalWidth", 0x6803000F),
      Get<&P::OriginalHeight>("OriginalHeight", 0x6803000E),
      Get<&P::OriginalSize>("OriginalSize", 0x6803000D),
      Get<&P::width>("width", 0x6803000C),
      Get<&P::Height>("Height", 0x6803000B),
      Get<&P::Size>("Size", 0x6803000A),
      Get<&P::FontFace>("FontFace", 0x68030009),
      Get<&P::FontBold>("FontBold", 0x68030008),
      Get<&P::FontColor>("FontColor", 0x68030007),
      Get<&P::FontItalic>("FontItalic", 0x68030006),
      Get<&P::FontOrientation>("FontOrientation", 0x68030005),
      Get<&P::FontSize>("FontSize", 0x68030004),
      Get<&P::FontUnderline>("FontUnderline", 0x68030003),
      Get<&P::FontCharset>("FontCharset", 0x68030002),
      Let<&P::Quality>("Quality", 0x68030001, {{"intValue", kIn}}),
      Let<&P::Comment>("Comment", 0x68030000, {{"strValue", kIn}}),
      Let<&P::SetFontFace>("FontFace", 0x68030009, {{"strValue", kIn}}),
      Let<&P::SetFontBold>("FontBold", 0x68030008, {{"blValue", kIn}}),
      Let<&P::SetFontColor>("FontColor", 0x68030007, {{"strValue", kIn}}),
      Let<&P::SetFontItalic>("FontItalic", 0x68030006, {{"blValue", kIn}}),
      Let<&P::SetFontOrientation>("FontOrientation", 0x68030005, {{"intValue", kIn}}),
      Let<&P::SetFontSize>("FontSize", 0x68030004, {{"intValue", kIn}}),
      Let<&P::SetFontUnderline>("FontUnderline", 0x68030003, {{"blValue", kIn}}),
      Let<&P::SetFontCharset>("FontCharset", 0x68030002, {{"blValue", kIn}}),
      Method<&P::OpenFile>("OpenFile", 0x60030014, {{"strFilePathName", kInOut}}),
      Method<&P::SaveFile>("SaveFile", 0x60030015, {{"strFilePathName", kInOutOptional}}),
      Method<&P::Resample>("Resample", 0x60030016,
                           {{"lngNewWidth", kInOut}, {"lngNewHeight", kInOut}}),
      Method<&P::Crop>("Crop", 0x60030017,
                       {{"intX1", kInOut}, {"intY1", kInOut}, {"intX2", kInOut}, {"intY2", kInOut}}),
      Method<&P::Flip>("Flip", 0x60030018),
      Method<&P::Mirror>("Mirror", 0x60030019),
      Method<&P::RotateRight>("RotateRight", 0x6003001A),
      Method<&P::RotateLeft>("RotateLeft", 0x6003001B),
      Method<&P::AddText>("AddText", 0x6003001C,
                          {{"strMessage", kInOut}, {"PositionX", kInOut}, {"PositionY", kInOut}}),
      Method<&P::AddImage>("AddImage", 0x6003001D,
                           {{"strFileName", kInOut},
                            {"PositionX", kInOut},
                            {"PositionY", kInOut},
                            {"TransColor", kInOutOptional}}),
      Method<&P::Download>("Download", 0x6003001E,
                           {{"strNewFileName", kInOptional},
                            {"strContentType", kInOptional},
                            {"strContentDisposition", kInOptional}}),
      Method<&P::OpenBinary>("OpenBinary", 0x6003001F, {{"arImage", kInOut}}),
      Method<&P::SaveBinary>("SaveBinary", 0x60030020, {{"binArray", kInOut}}),
      Method<&P::Blur>("Blur", 0x60030021),
      Method<&P::Sharpen>("Sharpen", 0x60030022),
      Method<&P::Gamma>("Gamma", 0x60030023,
                        {{"sngRED", kInOut}, {"sngGREEN", kInOut}, {"sngBLUE", kInOut}}),
      Method<&P::Negative>("Negative", 0x60030024),
      Method<&P::GreyScale>("GreyScale", 0x60030025),
      Method<&P::LoadPictureFromStd>("LoadPictureFromStd", 0x6003002A),
      Method<&P::StripNulls>("StripNulls", 0x60030030, {{"OriginalStr", kIn}}),
      Method<&P::JPEGSkipVariables>("JPEGSkipVariables", 0x60030035, {{"lngPos", kInOut}}),
  };
  for (size_t i = 0; i < members.size(); ++i) members[i].info.slot = static_cast<int>(i + 1);
  return members;
}

}  // namespace

std::span<const PictronMember> PictronMembers() {
  static const std::array<PictronMember, 47> members = MakeMembers();
  return members;
}

}  // namespace corvella::component
