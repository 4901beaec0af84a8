#pragma once
/// @file
/// Late-bound dispatch: the interface that every scriptable object implements (the component and
/// the page's Response and Server objects), and the table-driven invocation that maps script
/// arguments onto a member's declared parameters.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "corvella/platform/text.h"
#include "corvella/platform/variant.h"

namespace corvella::platform {

/// A member identifier (DISPID).
using DispId = int32_t;
inline constexpr DispId kDispIdUnknown = -1;
inline constexpr DispId kDispIdValue = 0;

/// How a member is invoked. Callers may combine Method and PropertyGet, as script engines do for
/// a name that may be either.
enum class InvokeKind : uint8_t {
  Method = 1,
  PropertyGet = 2,
  PropertyPut = 4,
  PropertyPutRef = 8,
};
constexpr InvokeKind operator|(InvokeKind a, InvokeKind b) {
  return static_cast<InvokeKind>(static_cast<uint8_t>(a) | static_cast<uint8_t>(b));
}
constexpr bool HasKind(InvokeKind set, InvokeKind kind) {
  return (static_cast<uint8_t>(set) & static_cast<uint8_t>(kind)) != 0;
}

/// A scriptable object, reached by member name or DISPID.
///
/// Arguments are given in declaration order; for a property put the new value is the last one.
/// Each argument is a slot of the caller's: a member writes an in/out parameter back into its slot
/// (a caller passes a copy where it wants by-value semantics). An omitted optional argument is
/// Variant::Missing(), or the argument list simply ends early.
class Dispatchable {
 public:
  virtual ~Dispatchable() = default;
  /// The DISPID of a member, found without regard to case; kDispIdUnknown when there is none.
  virtual DispId GetIdOfName(std::u16string_view name) const = 0;
  /// Invokes a member. Errors are raised as platform::Error.
  virtual Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) = 0;
  /// The class name that scripts see through TypeName ("Object" unless the class says more).
  virtual std::u16string TypeName() const { return u"Object"; }
  /// The items of a collection in the order that For Each visits them. The default raises
  /// runtime error 451: the object is not a collection.
  virtual std::vector<Variant> Enumerate();
};

/// Invokes a member by name: runtime error 91 when @p object is none, 438 when it has no such
/// member.
Variant InvokeByName(const ObjectRef& object, std::u16string_view name, InvokeKind kind,
                     std::span<Variant> args = {});
/// Reads a property by name.
Variant GetProperty(const ObjectRef& object, std::u16string_view name);
/// Assigns a property by name.
void PutProperty(const ObjectRef& object, std::u16string_view name, Variant value);
/// Calls a method by name with by-value arguments.
Variant CallMethod(const ObjectRef& object, std::u16string_view name,
                   std::initializer_list<Variant> args = {});

// ---------------------------------------------------------------------------------------------
// Member tables

/// The declared type of a parameter or result.
enum class ParamType : uint8_t { None, I2, I4, R4, R8, Bool, BStr, Variant, Object, ByteArray };

/// The type's name for people ("16-bit signed", "byte array", ...), as member listings show it.
const char* ParamTypeText(ParamType type);

/// Parameter flags: In (by value), InOut (by reference), Optional.
enum ParamFlags : uint8_t { kIn = 1, kInOut = 3, kOptional = 4 };

struct ParamInfo {
  std::string_view name;
  ParamType type;
  uint8_t flags;
  bool IsByRef() const { return (flags & 2) != 0; }
  bool IsOptional() const { return (flags & kOptional) != 0; }
};

/// The description of one member of a dual interface: its slot, name, kind, DISPID, parameters
/// and result.
struct MemberInfo {
  int slot;
  std::string_view name;
  InvokeKind kind;
  DispId dispid;
  std::span<const ParamInfo> params;
  ParamType result;
};

/// The arguments of one call after coercion to the declared parameter types. The accessors give
/// references: a member writes an in/out parameter through them, and the dispatcher copies the
/// change back into the caller's slot. A Variant or byte-array parameter is the caller's own slot.
class CallArgs {
 public:
  static constexpr size_t kMaxParams = 8;

  int16_t& I2(size_t i) { return slot(i).AsI2(); }
  int32_t& I4(size_t i) { return slot(i).AsI4(); }
  float& R4(size_t i) { return slot(i).AsR4(); }
  double& R8(size_t i) { return slot(i).AsR8(); }
  VbBool& Bool(size_t i) { return slot(i).AsBool(); }
  std::u16string& BStr(size_t i) { return slot(i).AsBStr(); }
  ObjectRef& Object(size_t i) { return slot(i).AsObject(); }
  ByteArray& Bytes(size_t i) { return slot(i).AsByteArray(); }
  Variant& Var(size_t i) { return slot(i); }

 private:
  friend class MemberCall;
  Variant& slot(size_t i) { return *slots_.at(i); }

  std::array<Variant*, kMaxParams> slots_{};
  std::array<Variant, kMaxParams> coerced_{};
  std::array<Variant, kMaxParams> initial_{};
};

/// Runs one invocation of a described member: checks the argument count, fills omitted optional
/// parameters, coerces each argument to its declared type (runtime errors 13, 6, 449, 450 as the
/// automation runtime raises them), and after the call, also when it raises, copies changed
/// in/out parameters back into the caller's slots.
class MemberCall {
 public:
  MemberCall(const MemberInfo& member, std::span<Variant> args);
  CallArgs& Args() { return args_; }
  /// Copies the in/out parameters that the member changed back into the caller's slots.
  void WriteBack();

 private:
  const MemberInfo& member_;
  std::span<Variant> callerArgs_;
  CallArgs args_;
};

/// Runs @p body with the coerced arguments of a call and converts its result to the declared
/// result type. @p body is called as body(CallArgs&) and returns a Variant.
template <typename Body>
Variant InvokeMember(const MemberInfo& member, std::span<Variant> args, Body&& body) {
  MemberCall call(member, args);
  Variant result;
  try {
    result = body(call.Args());
  } catch (...) {
    call.WriteBack();
    throw;
  }
  call.WriteBack();
  return result;
}

/// Finds the member with @p id whose kind is one of @p kind; nullptr when none.
template <typename Member>
const Member* FindMember(std::span<const Member> table, DispId id, InvokeKind kind) {
  for (const Member& member : table) {
    if (member.info.dispid == id && HasKind(kind, member.info.kind)) return &member;
  }
  return nullptr;
}

/// The DISPID of the first member named @p name, compared without regard to case.
template <typename Member>
DispId FindDispId(std::span<const Member> table, std::u16string_view name) {
  for (const Member& member : table) {
    if (EqualsNoCase(name, member.info.name)) return member.info.dispid;
  }
  return kDispIdUnknown;
}

}  // namespace corvella::platform
