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

// The runtime error that the automation layer's failure codes read as in scripts.
constexpr std::array<std::pair<uint32_t, uint16_t>, 50> kFailureCodes = {{
    {0x80004001, 445}, {0x80004002, 430}, {0x80020001, 438}, {0x80020003, 438},
    {0x80020004, 448}, {0x80020005, 13},  {0x80020006, 438}, {0x80020007, 446},
    {0x80020008, 458}, {0x8002000A, 6},   {0x8002000B, 9},   {0x8002000C, 447},
    {0x8002000D, 10},  {0x8002000E, 450}, {0x8002000F, 449}, {0x80020011, 451},
    {0x8002802F, 453}, {0x80028CA0, 13},  {0x80028CA1, 9},   {0x80028CA2, 57},
    {0x80028CA3, 322}, {0x80030002, 432}, {0x80030003, 76},  {0x80030004, 67},
    {0x80030005, 70},  {0x80030008, 7},   {0x80030012, 67},  {0x80030013, 70},
    {0x8003001D, 57},  {0x8003001E, 57},  {0x80030020, 75},  {0x80030021, 70},
    {0x80030050, 58},  {0x80030070, 61},  {0x800300FC, 53},  {0x80030100, 70},
    {0x80030101, 70},  {0x80030103, 57},  {0x80040154, 429}, {0x800401E3, 429},
    {0x800401E6, 432}, {0x800401EA, 432}, {0x800401F3, 429}, {0x800401F5, 429},
    {0x800401FE, 429}, {0x80070005, 70},  {0x8007000E, 7},   {0x80070057, 5},
    {0x800706BA, 462}, {0x80080005, 429},
}};

}  // namespace

int32_t MapFailureCode(int32_t number) {
  for (const auto& [code, error] : kFailureCodes) {
    if (static_cast<uint32_t>(number) == code) return FullErrorNumber(error);
  }
  return number;
}

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
  number_ = MapFailureCode(error.Number());
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
      int32_t given = args[0].ToI4();
      // 0 and positive numbers past 65535 are no error's; failure codes read as the runtime
      // errors they stand for.
      if (given == 0 || given > 0xFFFF) Raise(RuntimeError::InvalidProcedureCall);
      int32_t number = MapFailureCode(FullErrorNumber(given));
      auto text = [&](size_t i, std::u16string fallback) {
        if (i < args.size() && !args[i].IsMissing()) return args[i].ToBStr();
        return fallback;
      };
      // What the call leaves out, Err keeps from the error it holds.
      std::u16string source = text(
          1, source_.empty() ? platform::Utf8ToWide(kRuntimeErrorSource) : source_);
      std::u16string description =
          text(2, description_.empty() ? DefaultDescription(number) : description_);
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
