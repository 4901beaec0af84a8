#pragma once
/// @file
/// The WScript object of command-line scripts: Echo, Quit, Arguments, ScriptName,
/// ScriptFullName, StdOut, StdErr and CreateObject.

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "corvella/platform/dispatch.h"

namespace corvella::script {

/// The WScript global of a command-line host. Echo writes its arguments, separated by blanks and
/// followed by a line end, as UTF-8 to the output stream; Quit ends the script by throwing
/// ScriptExit; Arguments is a collection (Count, Length, Item as its default member, For Each);
/// StdOut and StdErr have Write and WriteLine.
class WScriptObject final : public platform::Dispatchable {
 public:
  using ObjectFactory = std::function<platform::ObjectRef(std::u16string_view progId)>;

  /// @p scriptFullName is the script's path as given; ScriptName is its last component.
  WScriptObject(std::ostream& out, std::ostream& err, std::vector<std::u16string> arguments,
                std::u16string scriptFullName);

  /// Lets WScript.CreateObject create objects (the host's CreateObject, typically). Without it
  /// WScript.CreateObject raises runtime error 429.
  void SetObjectFactory(ObjectFactory factory) { factory_ = std::move(factory); }

  platform::DispId GetIdOfName(std::u16string_view name) const override;
  platform::Variant Invoke(platform::DispId id, platform::InvokeKind kind,
                           std::span<platform::Variant> args) override;
  std::u16string TypeName() const override { return u"Object"; }

 private:
  std::ostream& out_;
  std::ostream& err_;
  platform::ObjectRef arguments_;
  platform::ObjectRef stdOut_;
  platform::ObjectRef stdErr_;
  std::u16string fullName_;
  ObjectFactory factory_;
};

/// Writes a value as Echo shows it: Booleans as -1 and 0, Null as "Null", Empty as nothing,
/// objects through their default property.
std::u16string EchoText(const platform::Variant& value);

}  // namespace corvella::script
