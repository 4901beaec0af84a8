// The corvella command.

#include <cstdio>
#include <cstring>
#include <string>

#include "corvella/component/class_factory.h"
#include "corvella/component/member_table.h"

namespace {

using corvella::component::PictronMembers;
using corvella::platform::InvokeKind;
using corvella::platform::ParamType;

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

void PrintVersion() {
  std::printf("corvella %s\n", corvella::component::Version());
}

void PrintMembers() {
  std::printf("%-3s %-20s %-13s %-10s %-16s %s\n", "#", "member", "kind", "DISPID", "result",
              "parameters");
  for (const auto& member : PictronMembers()) {
    const auto& info = member.info;
    std::string params;
    for (const auto& param : info.params) {
      if (!params.empty()) params += ", ";
      params += std::string(param.name) + ": " + TypeName(param.type);
      params += param.IsByRef() ? " in/out" : " in";
      if (param.IsOptional()) params += " opt";
    }
    std::printf("%-3d %-20.*s %-13s 0x%08X %-16s %s\n", info.slot,
                static_cast<int>(info.name.size()), info.name.data(), KindName(info.kind),
                static_cast<unsigned>(info.dispid), TypeName(info.result),
                params.empty() ? "none" : params.c_str());
  }
}

void PrintUsage(FILE* out) {
  std::fprintf(out,
               "usage: corvella COMMAND\n"
               "  version   print the component's version\n"
               "  members   print the member table of the Pictron interface\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  std::string command = argv[1];
  if (command == "version" || command == "--version") {
    PrintVersion();
    return 0;
  }
  if (command == "members") {
    PrintMembers();
    return 0;
  }
  if (command == "help" || command == "--help" || command == "-h") {
    PrintUsage(stdout);
    return 0;
  }
  std::fprintf(stderr, "corvella: unknown command '%s'\n", command.c_str());
  PrintUsage(stderr);
  return 2;
}
