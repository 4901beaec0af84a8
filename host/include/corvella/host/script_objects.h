#pragma once
/// @file
/// The objects that every script host offers to CreateObject, so that the command line and a
/// page server register the same classes with one call.

#include <span>
#include <string_view>

#include "corvella/platform/variant.h"

namespace corvella::host {

/// A creatable class: its ProgID and the function that makes a new object of it.
struct ScriptObjectClass {
  std::u16string_view progId;
  platform::ObjectRef (*create)();
};

/// "Scripting.Dictionary", "Scripting.FileSystemObject", "ADODB.Stream" and "VBScript.RegExp".
/// A host registers each, for example `for (auto& c : ScriptObjectClasses())
/// host.RegisterClass(std::u16string(c.progId), c.create);`.
std::span<const ScriptObjectClass> ScriptObjectClasses();

}  // namespace corvella::host
