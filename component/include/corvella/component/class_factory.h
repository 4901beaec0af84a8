#pragma once
/// @file
/// The component's module: its class identity, the class factory and the server entry points
/// that hosts use to create objects and decide when the module may be unloaded. Registration in a
/// system registry belongs to the Windows shell.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "corvella/component/pictron.h"
#include "corvella/platform/variant.h"

namespace corvella::component {

/// A 128-bit class, interface or library identifier.
struct Guid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
  friend bool operator==(const Guid&, const Guid&) = default;
  /// The registry form: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}, upper-case hex.
  std::string ToString() const;
};

/// The class identifier of Pictron.
inline constexpr Guid kClsidPictron = {
    0x0b6fc927, 0xbb67, 0x480b, {0x8f, 0xd3, 0x04, 0x16, 0x19, 0x2b, 0xb9, 0xd1}};
/// The interface identifier of _Pictron.
inline constexpr Guid kIidPictron = {
    0xae480a26, 0x5a34, 0x4b57, {0xb8, 0x9a, 0xc4, 0xb7, 0x8a, 0x84, 0xc8, 0x9a}};
/// The identifier of the type library "Corvella" 1.0.
inline constexpr Guid kLibidCorvella = {
    0x5d9b9480, 0x07fe, 0x4bdd, {0xae, 0x44, 0x2a, 0xf4, 0x01, 0x17, 0xb5, 0x62}};

/// The programmatic identifier of Pictron.
inline constexpr std::u16string_view kProgIdPictron = u"Corvella.Pictron";

/// The component's version, "major.minor.patch".
const char* Version();

/// Result codes of the entry points.
using HResult = int32_t;
inline constexpr HResult kOk = 0;
inline constexpr HResult kFalse = 1;
inline constexpr HResult kClassNotAvailable = static_cast<HResult>(0x80040111u);

/// The class factory of Pictron.
class ClassFactory {
 public:
  /// A new Pictron object with its defaults.
  std::shared_ptr<Pictron> CreateInstance() const;
  /// Keeps the module loaded while locked, as hosts do to create objects quickly.
  void LockServer(bool lock) const;
};

/// Hands out the class factory for @p clsid; any other class identifier answers
/// kClassNotAvailable and leaves @p factory empty.
HResult DllGetClassObject(const Guid& clsid, std::shared_ptr<ClassFactory>& factory);

/// kOk when no object is alive and no lock is held on the factory, else kFalse.
HResult DllCanUnloadNow();

/// Creates an object from its ProgID ("Corvella.Pictron", without regard to case); runtime error
/// 429 for any other name.
platform::ObjectRef CreateObject(std::u16string_view progId);

}  // namespace corvella::component
