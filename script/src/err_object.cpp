#include "err_object.h"

#include <array>

#include "corvella/platform/text.h"
#include "corvella/script/engine.h"

namespace corvella::script {

using platform::DispId;
using platform::InvokeKind;
using platform::Raise;
using platform::RuntimeError;
using platform::Variant;

namespace {

enum Member : DispId {
  kNumber = 0,
  kSource,
  kDescription,
  kClear,
  kRaise,
  kHelpFile,
  kHelpContext
};

constexpr std::array<std::string_view, 7> kNames = {"Number", "Source",   "Description", "Clear",
                                                    "Raise",  "HelpFile", "HelpContext"};

bool IsRuntimeNumber(int32_t number) {
  return (static_cast<uint32_t>(number) & 0xFFFF0000u) == platform::kRuntimeErrorBase;
}

std::u16string DefaultDescription(int32_t number) {
  if (!IsRuntimeNumber(number)) return platform::Utf8ToWide("Unknown runtime error");
  auto error = static_cast<RuntimeError>(static_cast<uint32_t>(number) & 0xFFFFu);
  return platform::Utf8ToWide(platform::RuntimeErrorText(error));
}

}  // namespace

int32_t ScriptErrorNumber(int32_t number) {
  if (IsRuntimeNumber(number)) return static_cast<int32_t>(static_cast<uint32_t>(number) & 0xFFFFu);
  return number;
}

int32_t FullErrorNumber(int32_t scriptNumber) {
  if (scriptNumber > 0 && scriptNumber <= 0xFFFF) {
    return static_cast<int32_t>(platform::kRuntimeErrorBase | static_cast<uint32_t>(scriptNumber));
  }
  return scriptNumber;
}

std::string SourceOf(const platform::Error& error) {
  return error.Source().empty() ? std::string(kRuntimeErrorSource) : error.Source();
}

void ErrObject::Set(const platform::Error& error) {
  number_ = error.Number();
  source_ = platform::Utf8ToWide(SourceOf(error));
  description_ = platform::Utf8ToWide(error.Description());
  if (description_.empty()) description_ = DefaultDescription(number_);
  // The help of the error that Err.Raise threw, and of no other.
  bool raised = raised_ && raised_->number == number_;
  helpFile_ = raised ? raised_->helpFile : std::u16string();
  helpContext_ = raised ? raised_->helpContext : 0;
  raised_.reset();
}

void ErrObject::Clear() {
  number_ = 0;
  source_.clear();
  description_.clear();
  helpFile_.clear();
  helpContext_ = 0;
  raised_.reset();
}

DispId ErrObject::GetIdOfName(std::u16string_view name) const {
  for (size_t i = 0; i < kNames.size(); ++i) {
    if (platform::EqualsNoCase(name, kNames[i])) return static_cast<DispId>(i);
  }
  return platform::kDispIdUnknown;
}

Variant ErrObject::Invoke(DispId id, InvokeKind kind, std::span<Variant> args) {
  bool put = platform::HasKind(kind, InvokeKind::PropertyPut);
  auto value = [&]() -> const Variant& {
    if (args.size() != 1) Raise(RuntimeError::WrongArgumentCount);
    return args[0];
  };
  switch (id) {
    case kNumber:
      if (put) {
        number_ = FullErrorNumber(value().ToI4());
        return {};
      }
      return Variant(ScriptErrorNumber(number_));
    case kSource:
      if (put) {
        source_ = value().ToBStr();
        return {};
      }
      return Variant(source_);
    case kDescription:
      if (put) {
        description_ = value().ToBStr();
        return {};
      }
      return Variant(description_);
    case kHelpFile:
      if (put) {
        helpFile_ = value().ToBStr();
        return {};
      }
      return Variant(helpFile_);
    case kHelpContext:
      if (put) {
        helpContext_ = value().ToI4();
        return {};
      }
      return Variant(helpContext_);
    case kClear:
      if (put || !args.empty()) Raise(RuntimeError::WrongArgumentCount);
      Clear();
      return {};
    case kRaise: {
      // Raise number, [source], [description], [helpfile], [helpcontext]
      if (put || args.empty() || args.size() > 5 || args[0].IsMissing()) {
        Raise(RuntimeError::WrongArgumentCount, "Raise");
      }
      int32_t number = FullErrorNumber(args[0].ToI4());
      if (number == 0) Raise(RuntimeError::InvalidProcedureCall);
      auto text = [&](size_t i, std::u16string fallback) {
        if (i < args.size() && !args[i].IsMissing()) return args[i].ToBStr();
        return fallback;
      };
      // Raising the error that Err holds again keeps its source and description.
      bool again = number == number_ && !source_.empty();
      std::u16string source =
          text(1, again ? source_ : platform::Utf8ToWide(kRuntimeErrorSource));
      std::u16string description = text(2, again ? description_ : DefaultDescription(number));
      Raised raised{number, text(3, helpFile_), helpContext_};
      if (args.size() > 4 && !args[4].IsMissing()) raised.helpContext = args[4].ToI4();
      raised_ = std::move(raised);
      throw platform::Error(number, platform::WideToUtf8(source),
                            platform::WideToUtf8(description));
    }
    default:
      Raise(RuntimeError::MemberNotFound);
  }
}

}  // namespace corvella::script
