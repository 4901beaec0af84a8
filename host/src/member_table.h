#pragma once
// The member tables of the script objects of this layer: each object lists its members once, with
// their parameters, and dispatches a call to the handler of the member that the DISPID and kind
// name.

#include <array>
#include <span>

#include "corvella/platform/dispatch.h"
#include "corvella/platform/error.h"

namespace corvella::host::detail {

/// One member of an object of type Object: its description and the function that runs it.
template <typename Object>
struct Member {
  platform::MemberInfo info;
  platform::Variant (*handler)(Object&, platform::CallArgs&);
};

/// The kinds under which a property's reader and writers are found: a reader answers a method
/// call too (scripts call `x.Count()`), a writer both assignment forms.
inline constexpr platform::InvokeKind kGet =
    platform::InvokeKind::Method | platform::InvokeKind::PropertyGet;
inline constexpr platform::InvokeKind kPut =
    platform::InvokeKind::PropertyPut | platform::InvokeKind::PropertyPutRef;
inline constexpr platform::InvokeKind kMethod = platform::InvokeKind::Method;

/// Finds the member for a DISPID and kind and runs it with coerced arguments; runtime error 438
/// when the object has no member of that kind. Arguments given to a property without parameters
/// that answers an object go to that object's default member, as `folder.Files("a.jpg")` reads
/// `folder.Files.Item("a.jpg")`.
template <typename Object, size_t N>
platform::Variant Dispatch(Object& object, const std::array<Member<Object>, N>& table,
                           platform::DispId id, platform::InvokeKind kind,
                           std::span<platform::Variant> args) {
  const Member<Object>* member =
      platform::FindMember(std::span<const Member<Object>>(table), id, kind);
  if (member == nullptr) platform::Raise(platform::RuntimeError::MemberNotFound);
  auto run = [&](platform::CallArgs& a) { return member->handler(object, a); };
  if (!args.empty() && member->info.params.empty() &&
      platform::HasKind(member->info.kind, platform::InvokeKind::PropertyGet)) {
    platform::Variant value = platform::InvokeMember(member->info, {}, run);
    if (value.IsObject() && value.AsObject()) {
      return value.AsObject()->Invoke(platform::kDispIdValue, kind, args);
    }
  }
  return platform::InvokeMember(member->info, args, run);
}

/// The DISPID of a member of the table, found without regard to case.
template <typename Object, size_t N>
platform::DispId FindId(const std::array<Member<Object>, N>& table, std::u16string_view name) {
  return platform::FindDispId(std::span<const Member<Object>>(table), name);
}

}  // namespace corvella::host::detail
