// corvella version and corvella members: what the component is and what scripts can call.

#include <string>

#include "commands.h"
#include "corvella/component/identity.h"
#include "corvella/component/member_table.h"

namespace corvella::cli {

namespace {

using platform::InvokeKind;
using platform::ParamType;

const char* KindName(InvokeKind kind) {
  switch (kind) {
    case InvokeKind::Method:
      return "method";
    case InvokeKind::PropertyGet:
      return "property get";
    case InvokeKind::PropertyPut:
      return "property let";
    default:
      return "property set";
  }
}

const char* TypeName(ParamType type) {
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

// These two take no arguments.
int RefuseArguments(Arguments args, Console& console, std::string_view command) {
  return ReportUsageError(console, command,
                          UsageError("takes no arguments, not '" + args.front() + "'"));
}

}  // namespace

int RunVersion(Arguments args, Console& console) {
  if (!args.empty()) return RefuseArguments(args, console, "version");
  std::fprintf(console.out, "corvella %s\n", component::Version());
  return kExitOk;
}

int RunMembers(Arguments args, Console& console) {
  if (!args.empty()) return RefuseArguments(args, console, "members");
  std::fprintf(console.out, "%-3s %-20s %-13s %-10s %-16s %s\n", "#", "member", "kind", "DISPID",
               "result", "parameters");
  for (const auto& member : component::PictronMembers()) {
    const auto& info = member.info;
    std::string params;
    for (const auto& param : info.params) {
      if (!params.empty()) params += ", ";
      params += std::string(param.name) + ": " + TypeName(param.type);
      params += param.IsByRef() ? " in/out" : " in";
      if (param.IsOptional()) params += " opt";
    }
    std::fprintf(console.out, "%-3d %-20.*s %-13s 0x%08X %-16s %s\n", info.slot,
                 static_cast<int>(info.name.size()), info.name.data(), KindName(info.kind),
                 static_cast<unsigned>(info.dispid), TypeName(info.result),
                 params.empty() ? "none" : params.c_str());
  }
  return kExitOk;
}

}  // namespace corvella::cli
