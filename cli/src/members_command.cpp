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
      params += std::string(param.name) + ": " + platform::ParamTypeText(param.type);
      params += param.IsByRef() ? " in/out" : " in";
      if (param.IsOptional()) params += " opt";
    }
    std::fprintf(console.out, "%-3d %-20.*s %-13s 0x%08X %-16s %s\n", info.slot,
                 static_cast<int>(info.name.size()), info.name.data(), KindName(info.kind),
                 static_cast<unsigned>(info.dispid), platform::ParamTypeText(info.result),
                 params.empty() ? "none" : params.c_str());
  }
  return kExitOk;
}

}  // namespace corvella::cli
