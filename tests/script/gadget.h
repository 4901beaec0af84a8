#pragma once
// A small scriptable object for the script tests, described by a member table like the
// component's: in/out parameters that it writes back, optional parameters, a default property,
// a byte array result, errors of its own and a collection.

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "corvella/platform/byte_array.h"
#include "corvella/platform/dispatch.h"
#include "corvella/platform/error.h"

namespace corvella::script::testing {

class Gadget final : public platform::Dispatchable {
 public:
  struct Member {
    platform::MemberInfo info;
    platform::Variant (*handler)(Gadget&, platform::CallArgs&);
  };

  platform::DispId GetIdOfName(std::u16string_view name) const override {
    return platform::FindDispId(std::span<const Member>(kMembers), name);
  }

  platform::Variant Invoke(platform::DispId id, platform::InvokeKind kind,
                           std::span<platform::Variant> args) override {
    const Member* member = platform::FindMember(std::span<const Member>(kMembers), id, kind);
    if (member == nullptr) platform::Raise(platform::RuntimeError::MemberNotFound);
    try {
      return platform::InvokeMember(
          member->info, args, [&](platform::CallArgs& a) { return member->handler(*this, a); });
    } catch (platform::Error& error) {
      error.SetSourceIfEmpty("Test.Gadget");
      throw;
    }
  }

  std::u16string TypeName() const override { return u"Gadget"; }

  std::vector<platform::Variant> Enumerate() override {
    return {platform::Variant(u"one"), platform::Variant(int32_t{2}), platform::Variant(3.5)};
  }

  std::u16string name = u"gadget";
  platform::Variant lastOption;
  int calls = 0;

 private:
  static constexpr platform::ParamInfo kComputeParams[] = {
      {"lngWidth", platform::ParamType::I4, platform::kInOut},
      {"lngHeight", platform::ParamType::I4, platform::kInOut}};
  static constexpr platform::ParamInfo kOptionsParams[] = {
      {"strFirst", platform::ParamType::BStr, platform::kIn},
      {"varSecond", platform::ParamType::Variant, platform::kIn | platform::kOptional},
      {"varThird", platform::ParamType::Variant, platform::kIn | platform::kOptional}};
  static constexpr platform::ParamInfo kCountParams[] = {
      {"lngCount", platform::ParamType::I4, platform::kIn}};
  static constexpr platform::ParamInfo kFailParams[] = {
      {"lngKind", platform::ParamType::I4, platform::kIn}};
  static constexpr platform::ParamInfo kSaveParams[] = {
      {"binArray", platform::ParamType::Variant, platform::kInOut}};
  static constexpr platform::ParamInfo kNameParams[] = {
      {"strValue", platform::ParamType::BStr, platform::kIn}};
  static constexpr platform::ParamInfo kSumParams[] = {
      {"arBytes", platform::ParamType::ByteArray, platform::kInOut}};
  static const std::array<Member, 10> kMembers;
};

inline const std::array<Gadget::Member, 10> Gadget::kMembers = {{
    // Compute(lngWidth, lngHeight): a zero side is derived from the other in the ratio 4:3;
    // both zero raises the component's error 1050.
    {{1, "Compute", platform::InvokeKind::Method, 0x60030001, kComputeParams,
      platform::ParamType::None},
     [](Gadget& g, platform::CallArgs& a) -> platform::Variant {
       ++g.calls;
       if (a.I4(0) == 0 && a.I4(1) == 0)
         platform::Raise(platform::ComponentError::InvalidImageSize);
       if (a.I4(1) == 0) a.I4(1) = a.I4(0) * 3 / 4;
       if (a.I4(0) == 0) a.I4(0) = a.I4(1) * 4 / 3;
       return {};
     }},
    // Options(strFirst, [varSecond], [varThird]): which optional arguments came.
    {{2, "Options", platform::InvokeKind::Method, 0x60030002, kOptionsParams,
      platform::ParamType::BStr},
     [](Gadget& g, platform::CallArgs& a) -> platform::Variant {
       g.lastOption = a.Var(1);
       std::u16string out = a.BStr(0);
       out += a.Var(1).IsMissing() ? u"-" : u"+";
       out += a.Var(2).IsMissing() ? u"-" : u"+";
       return platform::Variant(out);
     }},
    // Bytes(lngCount): a zero-based byte array 65, 66, ...
    {{3, "Bytes", platform::InvokeKind::Method, 0x60030003, kCountParams,
      platform::ParamType::ByteArray},
     [](Gadget&, platform::CallArgs& a) -> platform::Variant {
       platform::ByteArray bytes = platform::ByteArray::Allocate(static_cast<size_t>(a.I4(0)));
       for (size_t i = 0; i < bytes.Size(); ++i)
         bytes.Data()[i] = static_cast<uint8_t>(65 + i);
       return platform::Variant(std::move(bytes));
     }},
    // Fail(lngKind): 1 raises component error 1000, 2 runtime error 9.
    {{4, "Fail", platform::InvokeKind::Method, 0x60030004, kFailParams, platform::ParamType::None},
     [](Gadget&, platform::CallArgs& a) -> platform::Variant {
       if (a.I4(0) == 1) platform::Raise(platform::ComponentError::EmptyFileName);
       platform::Raise(platform::RuntimeError::SubscriptOutOfRange);
     }},
    // Save(binArray): writes the bytes 1, 2, 3 into its in/out argument, as SaveBinary does.
    {{5, "Save", platform::InvokeKind::Method, 0x60030005, kSaveParams, platform::ParamType::None},
     [](Gadget&, platform::CallArgs& a) -> platform::Variant {
       const uint8_t bytes[] = {1, 2, 3};
       a.Var(0) = platform::Variant(platform::ByteArray::FromBytes(bytes));
       return {};
     }},
    // Name: a string property, also the default member.
    {{6,
      "Name",
      platform::InvokeKind::PropertyGet,
      platform::kDispIdValue,
      {},
      platform::ParamType::BStr},
     [](Gadget& g, platform::CallArgs&) -> platform::Variant { return platform::Variant(g.name); }},
    {{7, "Name", platform::InvokeKind::PropertyPut, platform::kDispIdValue, kNameParams,
      platform::ParamType::None},
     [](Gadget& g, platform::CallArgs& a) -> platform::Variant {
       g.name = a.BStr(0);
       return {};
     }},
    // Sum(arBytes): the sum of a byte array's bytes.
    {{8, "Sum", platform::InvokeKind::Method, 0x60030008, kSumParams, platform::ParamType::I4},
     [](Gadget&, platform::CallArgs& a) -> platform::Variant {
       int32_t sum = 0;
       for (uint8_t b : a.Bytes(0).Bytes())
         sum += b;
       return platform::Variant(sum);
     }},
    // Calls: how many times Compute ran.
    {{9, "Calls", platform::InvokeKind::PropertyGet, 0x60030009, {}, platform::ParamType::I4},
     [](Gadget& g, platform::CallArgs&) -> platform::Variant {
       return platform::Variant(int32_t{g.calls});
     }},
    // End: a member whose name is a keyword of the language, as Response.End is.
    {{10, "End", platform::InvokeKind::Method, 0x6003000A, {}, platform::ParamType::None},
     [](Gadget& g, platform::CallArgs&) -> platform::Variant {
       g.name = u"ended";
       return {};
     }},
}};

}  // namespace corvella::script::testing
