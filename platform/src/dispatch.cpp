#include "corvella/platform/dispatch.h"

#include <vector>

#include "corvella/platform/error.h"
#include "corvella/platform/text.h"

namespace corvella::platform {

std::vector<Variant> Dispatchable::Enumerate() {
  Raise(RuntimeError::NotACollection);
}

Variant InvokeByName(const ObjectRef& object, std::u16string_view name, InvokeKind kind,
                     std::span<Variant> args) {
  if (!object) Raise(RuntimeError::ObjectNotSet);
  DispId id = object->GetIdOfName(name);
  if (id == kDispIdUnknown) Raise(RuntimeError::MemberNotFound, WideToUtf8(name));
  return object->Invoke(id, kind, args);
}

Variant GetProperty(const ObjectRef& object, std::u16string_view name) {
  return InvokeByName(object, name, InvokeKind::PropertyGet);
}

void PutProperty(const ObjectRef& object, std::u16string_view name, Variant value) {
  InvokeByName(object, name, InvokeKind::PropertyPut, std::span<Variant>(&value, 1));
}

Variant CallMethod(const ObjectRef& object, std::u16string_view name,
                   std::initializer_list<Variant> args) {
  std::vector<Variant> copies(args);
  return InvokeByName(object, name, InvokeKind::Method, copies);
}

namespace {

// Coerces an argument to a declared scalar type.
Variant Coerce(const Variant& value, ParamType type) {
  switch (type) {
    case ParamType::I2:
      return value.ChangeType(VarType::I2);
    case ParamType::I4:
      return value.ChangeType(VarType::I4);
    case ParamType::R4:
      return value.ChangeType(VarType::R4);
    case ParamType::R8:
      return value.ChangeType(VarType::R8);
    case ParamType::Bool:
      return value.ChangeType(VarType::Bool);
    case ParamType::BStr:
      return value.ChangeType(VarType::BStr);
    case ParamType::Object:
      return value.ChangeType(VarType::Dispatch);
    default:
      Raise(RuntimeError::TypeMismatch);
  }
}

}  // namespace

MemberCall::MemberCall(const MemberInfo& member, std::span<Variant> args)
    : member_(member), callerArgs_(args) {
  const auto& params = member.params;
  if (args.size() > params.size()) {
    Raise(RuntimeError::WrongArgumentCount, member.name);
  }
  for (size_t i = 0; i < params.size(); ++i) {
    const ParamInfo& param = params[i];
    bool omitted = i >= args.size() || args[i].IsMissing();
    if (omitted) {
      if (!param.IsOptional()) Raise(RuntimeError::ArgumentNotOptional, param.name);
      args_.coerced_[i] = Variant::Missing();
      args_.slots_[i] = &args_.coerced_[i];
      continue;
    }
    switch (param.type) {
      case ParamType::Variant:
        // The member sees the caller's own slot: it reads it and, for in/out, writes it.
        args_.slots_[i] = &args[i];
        break;
      case ParamType::ByteArray:
        if (args[i].Type() != VarType::ByteArray) Raise(RuntimeError::TypeMismatch, param.name);
        args_.slots_[i] = &args[i];
        break;
      default:
        args_.coerced_[i] = Coerce(args[i], param.type);
        if (param.IsByRef()) args_.initial_[i] = args_.coerced_[i];
        args_.slots_[i] = &args_.coerced_[i];
        break;
    }
  }
}

void MemberCall::WriteBack() {
  const auto& params = member_.params;
  for (size_t i = 0; i < params.size() && i < callerArgs_.size(); ++i) {
    if (args_.slots_[i] != &args_.coerced_[i] || !params[i].IsByRef()) continue;
    // A typed in/out parameter goes back only when the member changed it, so that a caller's
    // string "200" stays a string unless the member wrote a new value.
    if (callerArgs_[i].IsMissing()) continue;
    if (!(args_.coerced_[i] == args_.initial_[i])) callerArgs_[i] = args_.coerced_[i];
  }
}

const char* ParamTypeText(ParamType type) {
  switch (type) {
    case ParamType::None:
      return "none";
    case ParamType::I2:
      return "16-bit signed";
    case ParamType::I4:
      return "32-bit signed";
    case ParamType::R4:
      return "single float";
    case ParamType::R8:
      return "double";
    case ParamType::Bool:
      return "Boolean";
    case ParamType::BStr:
      return "string";
    case ParamType::Variant:
      return "VARIANT";
    case ParamType::Object:
      return "object";
    case ParamType::ByteArray:
      return "byte array";
  }
  return "?";
}

}  // namespace corvella::platform
