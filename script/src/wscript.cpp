#include "corvella/script/wscript.h"

#include <array>
#include <string>

#include "corvella/platform/error.h"
#include "corvella/platform/text.h"
#include "corvella/script/engine.h"
#include "operators.h"

namespace corvella::script {

using platform::DispId;
using platform::InvokeKind;
using platform::ObjectRef;
using platform::Raise;
using platform::RuntimeError;
using platform::Variant;

namespace {

template <size_t N>
DispId FindName(const std::array<std::string_view, N>& names, std::u16string_view name) {
  for (size_t i = 0; i < N; ++i) {
    if (platform::EqualsNoCase(name, names[i])) return static_cast<DispId>(i);
  }
  return platform::kDispIdUnknown;
}

void ExpectArgs(std::span<Variant> args, size_t min, size_t max) {
  if (args.size() < min || args.size() > max) Raise(RuntimeError::WrongArgumentCount);
  for (size_t i = 0; i < min; ++i) {
    if (args[i].IsMissing()) Raise(RuntimeError::ArgumentNotOptional);
  }
}

void ExpectGet(InvokeKind kind) {
  if (!platform::HasKind(kind, InvokeKind::Method | InvokeKind::PropertyGet)) {
    Raise(RuntimeError::MemberNotFound);
  }
}

// WScript.Arguments: the command line's arguments after the script.
class ArgumentsObject final : public platform::Dispatchable {
 public:
  explicit ArgumentsObject(std::vector<std::u16string> arguments)
      : arguments_(std::move(arguments)) {}

  DispId GetIdOfName(std::u16string_view name) const override { return FindName(kNames, name); }

  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override {
    ExpectGet(kind);
    switch (id) {
      case 0: {  // Item(index), the default member
        ExpectArgs(args, 1, 1);
        int32_t index = args[0].ToI4();
        if (index < 0 || static_cast<size_t>(index) >= arguments_.size()) {
          Raise(RuntimeError::SubscriptOutOfRange);
        }
        return Variant(arguments_[static_cast<size_t>(index)]);
      }
      case 1:  // Count
      case 2:  // Length
        ExpectArgs(args, 0, 0);
        return Variant(static_cast<int32_t>(arguments_.size()));
      default:
        Raise(RuntimeError::MemberNotFound);
    }
  }

  std::vector<Variant> Enumerate() override {
    return std::vector<Variant>(arguments_.begin(), arguments_.end());
  }

 private:
  static constexpr std::array<std::string_view, 3> kNames = {"Item", "Count", "Length"};
  std::vector<std::u16string> arguments_;
};

// WScript.StdOut and WScript.StdErr.
class StreamObject final : public platform::Dispatchable {
 public:
  explicit StreamObject(std::ostream& out) : out_(out) {}

  DispId GetIdOfName(std::u16string_view name) const override { return FindName(kNames, name); }

  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override {
    if (!platform::HasKind(kind, InvokeKind::Method)) Raise(RuntimeError::MemberNotFound);
    switch (id) {
      case 0:  // Write(text)
        ExpectArgs(args, 1, 1);
        out_ << platform::WideToUtf8(args[0].ToBStr());
        break;
      case 1:  // WriteLine([text])
        ExpectArgs(args, 0, 1);
        if (!args.empty() && !args[0].IsMissing()) out_ << platform::WideToUtf8(args[0].ToBStr());
        out_ << '\n';
        break;
      case 2: {  // WriteBlankLines(count)
        ExpectArgs(args, 1, 1);
        int32_t count = args[0].ToI4();
        if (count < 0) Raise(RuntimeError::InvalidProcedureCall);
        for (int32_t i = 0; i < count; ++i)
          out_ << '\n';
        break;
      }
      default:
        Raise(RuntimeError::MemberNotFound);
    }
    out_.flush();
    return {};
  }

 private:
  static constexpr std::array<std::string_view, 3> kNames = {"Write", "WriteLine",
                                                             "WriteBlankLines"};
  std::ostream& out_;
};

enum WScriptMember : DispId {
  kEcho,
  kQuit,
  kArguments,
  kScriptName,
  kScriptFullName,
  kStdOut,
  kStdErr,
  kCreateObject,
  kName,
};

constexpr std::array<std::string_view, 9> kWScriptNames = {
    "Echo",   "Quit",   "Arguments",    "ScriptName", "ScriptFullName",
    "StdOut", "StdErr", "CreateObject", "Name"};

}  // namespace

std::u16string EchoText(const Variant& value) {
  switch (value.Type()) {
    case platform::VarType::Bool:
      return value.AsBool() != 0 ? u"-1" : u"0";
    case platform::VarType::Null:
      return u"Null";
    case platform::VarType::Dispatch:
      return EchoText(ops::DefaultValue(value));
    default:
      return value.ToBStr();
  }
}

WScriptObject::WScriptObject(std::ostream& out, std::ostream& err,
                             std::vector<std::u16string> arguments, std::u16string scriptFullName)
    : out_(out),
      err_(err),
      arguments_(std::make_shared<ArgumentsObject>(std::move(arguments))),
      stdOut_(std::make_shared<StreamObject>(out)),
      stdErr_(std::make_shared<StreamObject>(err)),
      fullName_(std::move(scriptFullName)) {
}

DispId WScriptObject::GetIdOfName(std::u16string_view name) const {
  return FindName(kWScriptNames, name);
}

Variant WScriptObject::Invoke(DispId id, InvokeKind kind, std::span<Variant> args) {
  if (platform::HasKind(kind, InvokeKind::PropertyPut) ||
      platform::HasKind(kind, InvokeKind::PropertyPutRef)) {
    Raise(RuntimeError::MemberNotFound);
  }
  switch (id) {
    case kEcho: {
      std::u16string line;
      for (size_t i = 0; i < args.size(); ++i) {
        if (i > 0) line += u' ';
        if (!args[i].IsMissing()) line += EchoText(args[i]);
      }
      out_ << platform::WideToUtf8(line) << '\n';
      out_.flush();
      return {};
    }
    case kQuit: {
      ExpectArgs(args, 0, 1);
      int code = args.empty() || args[0].IsMissing() ? 0 : args[0].ToI4();
      throw ScriptExit(code);
    }
    case kArguments:
      ExpectArgs(args, 0, 1);
      if (args.size() == 1) {
        std::array<Variant, 1> index = {args[0]};
        return arguments_->Invoke(0, InvokeKind::PropertyGet, index);
      }
      return Variant(arguments_);
    case kScriptName: {
      ExpectArgs(args, 0, 0);
      size_t slash = fullName_.find_last_of(u"/\\");
      return Variant(slash == std::u16string::npos ? fullName_ : fullName_.substr(slash + 1));
    }
    case kScriptFullName:
      ExpectArgs(args, 0, 0);
      return Variant(fullName_);
    case kStdOut:
      ExpectArgs(args, 0, 0);
      return Variant(stdOut_);
    case kStdErr:
      ExpectArgs(args, 0, 0);
      return Variant(stdErr_);
    case kCreateObject: {
      ExpectArgs(args, 1, 2);
      std::u16string progId = args[0].ToBStr();
      if (!factory_) Raise(RuntimeError::CannotCreateObject, platform::WideToUtf8(progId));
      ObjectRef object = factory_(progId);
      if (!object) Raise(RuntimeError::CannotCreateObject, platform::WideToUtf8(progId));
      return Variant(std::move(object));
    }
    case kName:
      ExpectArgs(args, 0, 0);
      return Variant(u"Corvella Script Host");
    default:
      Raise(RuntimeError::MemberNotFound);
  }
}

}  // namespace corvella::script
