// corvella.Pictron's members, made from the component's member table: one Python attribute per
// member name (a property's get and let rows make one attribute), with its docstring and its
// entry in the type stubs written from the same row.

#include <cstdio>
#include <optional>
#include <vector>

#include "corvella/component/member_table.h"
#include "python_object.h"

namespace corvella::python {

namespace {

using platform::InvokeKind;
using platform::MemberInfo;
using platform::ParamInfo;
using platform::ParamType;
using platform::Variant;


// The Python annotation of a value of @p type; @p argument: as an argument rather than a result.
std::string Annotation(ParamType type, bool argument) {
  switch (type) {
    case ParamType::None:
      return "None";
    case ParamType::I2:
    case ParamType::I4:
      return "int";
    case ParamType::R4:
    case ParamType::R8:
      return argument ? "float | int" : "float";
    case ParamType::Bool:
      return "bool";
    case ParamType::BStr:
      return "str";
    case ParamType::ByteArray:
      return argument ? "bytes | bytearray | memoryview" : "bytes";
    case ParamType::Variant:
    case ParamType::Object:
      break;
  }
  return "Any";
}

// An in/out parameter comes back to Python when it can carry a result: numbers, Booleans and
// VARIANTs. Strings, byte arrays and objects only go in.
bool ComesBack(const ParamInfo& param) {
  return param.IsByRef() && param.type != ParamType::BStr && param.type != ParamType::ByteArray &&
         param.type != ParamType::Object;
}

// SaveBinary's one parameter only receives: an in/out VARIANT that is a member's only parameter
// may be left out and starts Empty.
bool MayOmit(const MemberInfo& info, size_t index) {
  return info.params.size() == 1 && index == 0 && info.params[0].IsByRef() &&
         info.params[0].type == ParamType::Variant;
}

std::string Name(const MemberInfo& info) {
  return std::string(info.name);
}

std::string Hex(platform::DispId id) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(id));
  return text;
}

std::string ResultAnnotation(const MemberInfo& info) {
  std::vector<std::string> parts;
  if (info.result != ParamType::None) parts.push_back(Annotation(info.result, false));
  for (const ParamInfo& param : info.params) {
    if (ComesBack(param)) parts.push_back(Annotation(param.type, false));
  }
  if (parts.empty()) return "None";
  if (parts.size() == 1) return parts[0];
  std::string text = "tuple[";
  for (size_t i = 0; i < parts.size(); ++i)
    text += (i ? ", " : "") + parts[i];
  return text + "]";
}

std::string Signature(const MemberInfo& info) {
  std::string text = Name(info) + "(self";
  for (size_t i = 0; i < info.params.size(); ++i) {
    const ParamInfo& param = info.params[i];
    text += ", " + std::string(param.name) + ": " + Annotation(param.type, true);
    if (param.IsOptional() || MayOmit(info, i)) text += " = None";
  }
  return text + ") -> " + ResultAnnotation(info);
}

std::string MethodDoc(const MemberInfo& info) {
  std::string doc =
      "Member " + std::to_string(info.slot) + " of _Pictron, DISPID " + Hex(info.dispid) + ".";
  if (!info.params.empty()) {
    doc += "\nParameters:";
    for (const ParamInfo& param : info.params) {
      doc += "\n  " + std::string(param.name) + ": " + platform::ParamTypeText(param.type) +
             (param.IsByRef() ? ", in/out" : ", in") + (param.IsOptional() ? ", optional" : "");
    }
  }
  std::vector<std::string> back;
  for (const ParamInfo& param : info.params) {
    if (ComesBack(param)) back.emplace_back(param.name);
  }
  if (info.result != ParamType::None)
    doc += "\nReturns: " + std::string(platform::ParamTypeText(info.result)) + ".";
  if (!back.empty()) {
    doc += "\nReturns the in/out parameters as the member left them: ";
    for (size_t i = 0; i < back.size(); ++i)
      doc += (i ? ", " : "") + back[i];
    doc += ".";
  }
  return doc + "\nRaises corvella.Error when the member fails.";
}

std::string PropertyDoc(const MemberInfo* get, const MemberInfo* let) {
  const MemberInfo& any = get != nullptr ? *get : *let;
  ParamType type = get != nullptr ? get->result : let->params.front().type;
  std::string doc =
      "Property " + Name(any) + ": " + platform::ParamTypeText(type) + ", DISPID " + Hex(any.dispid) + ", ";
  if (get != nullptr && let != nullptr) return doc + "read and assigned.";
  return doc + (get != nullptr ? "read only." : "assigned only (it has no get).");
}

// Builds the argument slots of one call: positional arguments, then keywords by parameter name;
// a gap before the last given argument is Missing, and the member checks the count itself.
std::vector<Variant> Arguments(const MemberInfo& info, py::args args, py::kwargs kwargs) {
  std::vector<std::optional<Variant>> given(std::max(info.params.size(), args.size()));
  for (size_t i = 0; i < args.size(); ++i) {
    given[i] = ToVariant(args[i], i < info.params.size() ? &info.params[i] : nullptr);
  }
  for (auto [key, value] : kwargs) {
    std::string name = key.cast<std::string>();
    size_t i = 0;
    while (i < info.params.size() && info.params[i].name != name)
      ++i;
    if (i == info.params.size()) {
      throw py::type_error(Name(info) + "() has no parameter named '" + name + "'");
    }
    if (given[i]) throw py::type_error(Name(info) + "() got '" + name + "' twice");
    given[i] = ToVariant(value, &info.params[i]);
  }
  size_t count = given.size();
  while (count > 0 && !given[count - 1])
    --count;
  if (count == 0 && MayOmit(info, 0)) return {Variant()};
  std::vector<Variant> slots;
  for (size_t i = 0; i < count; ++i)
    slots.push_back(given[i] ? std::move(*given[i]) : Variant::Missing());
  return slots;
}

py::object Results(const MemberInfo& info, const Variant& result,
                   const std::vector<Variant>& slots) {
  std::vector<py::object> values;
  if (info.result != ParamType::None) values.push_back(ToPython(result));
  for (size_t i = 0; i < info.params.size(); ++i) {
    if (ComesBack(info.params[i]))
      values.push_back(i < slots.size() ? ToPython(slots[i]) : py::none());
  }
  if (values.empty()) return py::none();
  if (values.size() == 1) return values[0];
  py::tuple tuple(values.size());
  for (size_t i = 0; i < values.size(); ++i)
    tuple[i] = values[i];
  return tuple;
}

Variant Invoke(PythonPictron& self, const MemberInfo& info, std::vector<Variant>& slots) {
  return self.Run([&] { return self.Object()->Invoke(info.dispid, info.kind, slots); });
}

// The get and let rows of each property name, and the methods, in slot order.
struct Attribute {
  const MemberInfo* method = nullptr;
  const MemberInfo* get = nullptr;
  const MemberInfo* let = nullptr;
};

std::vector<Attribute> Attributes() {
  std::vector<Attribute> attributes;
  for (const auto& member : component::PictronMembers()) {
    const MemberInfo& info = member.info;
    if (info.kind == InvokeKind::Method) {
      attributes.push_back({&info, nullptr, nullptr});
      continue;
    }
    Attribute* property = nullptr;
    for (Attribute& a : attributes) {
      const MemberInfo* known = a.get != nullptr ? a.get : a.let;
      if (known != nullptr && known->name == info.name) property = &a;
    }
    if (property == nullptr) property = &attributes.emplace_back();
    (info.kind == InvokeKind::PropertyGet ? property->get : property->let) = &info;
  }
  return attributes;
}

}  // namespace

void BindMembers(py::class_<PythonPictron>& cls) {
  for (const Attribute& a : Attributes()) {
    if (a.method != nullptr) {
      const MemberInfo* info = a.method;
      cls.def(
          Name(*info).c_str(),
          [info](PythonPictron& self, py::args args, py::kwargs kwargs) {
            std::vector<Variant> slots = Arguments(*info, args, kwargs);
            Variant result = Invoke(self, *info, slots);
            return Results(*info, result, slots);
          },
          (Signature(*info) + "\n\n" + MethodDoc(*info)).c_str());
      continue;
    }
    const MemberInfo* get = a.get;
    const MemberInfo* let = a.let;
    const std::string name = Name(get != nullptr ? *get : *let);
    py::cpp_function getter(
        [get, name](PythonPictron& self) -> py::object {
          if (get == nullptr) throw py::attribute_error(name + " can only be assigned");
          std::vector<Variant> none;
          return ToPython(Invoke(self, *get, none));
        },
        py::is_method(cls));
    py::cpp_function setter;
    if (let != nullptr) {
      setter = py::cpp_function(
          [let](PythonPictron& self, py::handle value) {
            std::vector<Variant> slots{ToVariant(value, &let->params.front())};
            Invoke(self, *let, slots);
          },
          py::is_method(cls));
    }
    cls.def_property(name.c_str(), getter, setter, PropertyDoc(get, let).c_str());
  }
}

std::string StubText() {
  std::string text =
      "# Type stubs of the corvella module, written from the component's member table.\n"
      "from typing import Any\n\nimport numpy\n\n__version__: str\n\n"
      "class Error(Exception):\n"
      "    number: int\n    source: str\n    description: str\n"
      "    def __init__(self, number: int, source: str, description: str) -> None: ...\n\n"
      "class Pictron:\n"
      "    def __init__(self) -> None: ...\n"
      "    def to_numpy(self) -> numpy.ndarray: ...\n";
  auto docstring = [](const std::string& doc) {
    std::string indented;
    for (char c : doc)
      indented += c == '\n' ? std::string("\n        ") : std::string(1, c);
    return "        \"\"\"" + indented + "\"\"\"\n";
  };
  for (const Attribute& a : Attributes()) {
    if (a.method != nullptr) {
      text += "    def " + Signature(*a.method) + ":\n" + docstring(MethodDoc(*a.method));
      continue;
    }
    const MemberInfo& any = a.get != nullptr ? *a.get : *a.let;
    ParamType type = a.get != nullptr ? a.get->result : a.let->params.front().type;
    text += "    @property\n    def " + Name(any) + "(self) -> " + Annotation(type, false) + ":\n" +
            docstring(PropertyDoc(a.get, a.let));
    if (a.let != nullptr) {
      text += "    @" + Name(any) + ".setter\n    def " + Name(any) +
              "(self, value: " + Annotation(type, true) + ") -> None: ...\n";
    }
  }
  return text + "\ndef from_numpy(array: numpy.ndarray) -> Pictron: ...\n";
}

}  // namespace corvella::python
