#pragma once
/// @file
/// The component's identity: its class, interface and library identifiers, its ProgID and version,
/// and the creation of objects by ProgID. The COM entry points and registration belong to the
/// Windows shell (windows/src/module.cpp).

#include <cstdint>
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

/// Creates an object from its ProgID ("Corvella.Pictron", without regard to case); runtime error
/// 429 for any other name.
platform::ObjectRef CreateObject(std::u16string_view progId);

}  // namespace corvella::component
