#pragma once
// The Err object of scripts: the last error caught under On Error Resume Next.

#include <cstdint>
#include <optional>
#include <string>

#include "corvella/platform/dispatch.h"
#include "corvella/platform/error.h"

namespace corvella::script {

/// The number that Err.Number shows for a full error number: n for 0x800A0000 + n (runtime
/// errors), the signed 32-bit number otherwise.
int32_t ScriptErrorNumber(int32_t number);

/// The full number for a number a script gives Err.Raise or Err.Number: 1 .. 65535 stand for
/// runtime errors (0x800A0000 + n); others are taken as they are.
int32_t FullErrorNumber(int32_t scriptNumber);

/// The number that a failure code of the automation layer (E_OUTOFMEMORY, DISP_E_...) reads as
/// in scripts: the runtime error it stands for; other numbers are kept.
int32_t MapFailureCode(int32_t number);

/// The source of an error as scripts see it: the engine's own source when none was set.
std::string SourceOf(const platform::Error& error);

class ErrObject final : public platform::Dispatchable {
 public:
  /// Records an error caught by On Error Resume Next.
  void Set(const platform::Error& error);
  void Clear();
  int32_t Number() const { return number_; }

  platform::DispId GetIdOfName(std::u16string_view name) const override;
  platform::Variant Invoke(platform::DispId id, platform::InvokeKind kind,
                           std::span<platform::Variant> args) override;
  std::u16string TypeName() const override { return u"Object"; }

 private:
  int32_t number_ = 0;
  std::u16string source_;
  std::u16string description_;
  std::u16string helpFile_;
  int32_t helpContext_ = 0;
  // What the last Err.Raise gave beyond number, source and description.
  struct Raised {
    int32_t number;
    std::u16string helpFile;
    int32_t helpContext;
  };
  std::optional<Raised> raised_;
};

}  // namespace corvella::script
