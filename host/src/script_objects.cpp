// The table of the classes that scripts create by name.

#include "corvella/host/script_objects.h"

#include <array>
#include <memory>

#include "corvella/host/ado_stream.h"
#include "corvella/host/dictionary.h"
#include "corvella/host/file_system_object.h"
#include "corvella/script/regexp.h"

namespace corvella::host {

namespace {

template <typename Object>
platform::ObjectRef Make() {
  return std::make_shared<Object>();
}

constexpr std::array<ScriptObjectClass, 4> kClasses = {{
    {u"Scripting.Dictionary", Make<Dictionary>},
    {u"Scripting.FileSystemObject", Make<FileSystemObject>},
    {u"ADODB.Stream", Make<AdoStream>},
    {u"VBScript.RegExp", script::CreateRegExp},
}};

}  // namespace

std::span<const ScriptObjectClass> ScriptObjectClasses() {
  return kClasses;
}

}  // namespace corvella::host
