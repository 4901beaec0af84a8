#pragma once
// The built-in functions and constants of the language.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "corvella/platform/variant.h"

namespace corvella::script {

class Interpreter;

/// The arguments of a built-in call: read-only values (an omitted argument is Missing).
class BuiltinArgs {
 public:
  BuiltinArgs(const platform::Variant* const* items, size_t count) : items_(items), count_(count) {}
  size_t size() const { return count_; }
  const platform::Variant& operator[](size_t i) const { return *items_[i]; }
  /// Whether argument @p i was given.
  bool Has(size_t i) const { return i < count_ && !items_[i]->IsMissing(); }

 private:
  const platform::Variant* const* items_;
  size_t count_;
};

using BuiltinFunction = platform::Variant (*)(Interpreter& rt, const BuiltinArgs& args);

struct BuiltinInfo {
  std::string_view name;
  BuiltinFunction function;
  uint16_t minArgs;
  uint16_t maxArgs;
};

/// The built-in functions of formatting, dates, names, escaping and the engine's identity.
std::span<const BuiltinInfo> FormatBuiltins();

/// MsgBox and InputBox: they check their arguments and leave the dialogue to the host.
platform::Variant MsgBox(Interpreter& rt, const BuiltinArgs& args);
platform::Variant InputBox(Interpreter& rt, const BuiltinArgs& args);

/// The index of the built-in function with this lower-case name, or -1.
int FindBuiltin(std::u16string_view foldedName);
const BuiltinInfo& Builtin(int index);

/// The value of the built-in constant with this lower-case name (vbCrLf, vbObjectError, ...).
std::optional<platform::Variant> FindBuiltinConstant(std::u16string_view foldedName);

}  // namespace corvella::script
