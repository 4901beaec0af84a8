#pragma once
/// @file
/// The values that cross the automation boundary: a tagged union of the VARIANT types that the
/// component's interface uses, with the conversions of OLE Automation between them.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "corvella/platform/byte_array.h"

namespace corvella::platform {

class Dispatchable;

/// A reference to a scriptable object; an empty pointer is the reference "none" (Nothing).
using ObjectRef = std::shared_ptr<Dispatchable>;

/// A Boolean as scripts store it: -1 for true, 0 for false; any non-zero value tests true.
using VbBool = int16_t;
inline constexpr VbBool kVbTrue = -1;
inline constexpr VbBool kVbFalse = 0;
inline constexpr VbBool ToVbBool(bool value) {
  return value ? kVbTrue : kVbFalse;
}

/// The type codes of the VARIANT types used here, with their automation values.
enum class VarType : uint16_t {
  Empty = 0,
  Null = 1,
  I2 = 2,
  I4 = 3,
  R4 = 4,
  R8 = 5,
  BStr = 8,
  Dispatch = 9,
  Error = 10,
  Bool = 11,
  UI1 = 17,
  ByteArray = 0x2000 | 17,  ///< array of unsigned bytes
};

/// The error code of a VARIANT that stands for an omitted optional argument.
inline constexpr int32_t kParamNotFound = static_cast<int32_t>(0x80020004u);

/// A value of one of the VarType types. Copies are deep for strings and byte arrays; object
/// references are shared.
class Variant {
 public:
  Variant() = default;  ///< Empty
  Variant(int16_t value) : value_(value) {}
  Variant(int32_t value) : value_(value) {}
  Variant(float value) : value_(value) {}
  Variant(double value) : value_(value) {}
  Variant(std::u16string value) : value_(std::move(value)) {}
  Variant(std::u16string_view value) : value_(std::u16string(value)) {}
  Variant(const char16_t* value) : value_(std::u16string(value)) {}
  Variant(ObjectRef value) : value_(std::move(value)) {}
  Variant(ByteArray value) : value_(std::move(value)) {}
  Variant(bool) = delete;         // use Variant::Bool, which stores -1 or 0
  Variant(const char*) = delete;  // strings are UTF-16

  static Variant Null() { return Variant(NullValue{}); }
  static Variant Bool(bool value) { return Variant(BoolValue{ToVbBool(value)}); }
  static Variant Byte(uint8_t value) { return Variant(value); }
  static Variant ErrorCode(int32_t scode) { return Variant(ErrorValue{scode}); }
  /// The value of an omitted optional argument (an error VARIANT with kParamNotFound).
  static Variant Missing() { return ErrorCode(kParamNotFound); }

  VarType Type() const;
  bool IsEmpty() const { return Type() == VarType::Empty; }
  bool IsNull() const { return Type() == VarType::Null; }
  bool IsMissing() const;
  bool IsString() const { return Type() == VarType::BStr; }
  bool IsObject() const { return Type() == VarType::Dispatch; }
  /// True for the values that the automation runtime accepts as numbers: numbers, Booleans,
  /// Empty, and strings that parse as numbers.
  bool IsNumeric() const;

  /// The stored value of the exact type; runtime error 13 when the type differs. The references
  /// stay valid until the variant is assigned another type.
  int16_t& AsI2();
  int32_t& AsI4();
  float& AsR4();
  double& AsR8();
  VbBool& AsBool();
  uint8_t& AsUI1();
  std::u16string& AsBStr();
  const std::u16string& AsBStr() const;
  ObjectRef& AsObject();
  ByteArray& AsByteArray();
  const ByteArray& AsByteArray() const;

  /// Conversions by the rules of OLE Automation: numeric strings convert to numbers (other
  /// strings raise runtime error 13), a floating value becomes an integer rounded half to even,
  /// a value that does not fit raises runtime error 6, Empty counts as 0 and as the empty string,
  /// Null raises runtime error 94, an object gives its default property.
  int16_t ToI2() const;
  int32_t ToI4() const;
  uint8_t ToUI1() const;
  float ToR4() const;
  double ToR8() const;
  VbBool ToBool() const;
  std::u16string ToBStr() const;
  /// An object reference (none included); runtime error 13 for any other type.
  ObjectRef ToObject() const;

  /// Converts to the given type by the rules above.
  Variant ChangeType(VarType type) const;

  /// Same type and same value (objects compare by identity).
  friend bool operator==(const Variant& a, const Variant& b) { return a.value_ == b.value_; }

 private:
  struct NullValue {
    bool operator==(const NullValue&) const = default;
  };
  struct BoolValue {
    VbBool value;
    bool operator==(const BoolValue&) const = default;
  };
  struct ErrorValue {
    int32_t scode;
    bool operator==(const ErrorValue&) const = default;
  };
  using Storage =
      std::variant<std::monostate, NullValue, int16_t, int32_t, float, double, std::u16string,
                   ObjectRef, ErrorValue, BoolValue, uint8_t, ByteArray>;

  explicit Variant(NullValue v) : value_(v) {}
  explicit Variant(BoolValue v) : value_(v) {}
  explicit Variant(ErrorValue v) : value_(v) {}
  explicit Variant(uint8_t v) : value_(v) {}

  /// The value as a double when the type is numeric-like (number, Boolean, Empty, numeric
  /// string); raises the conversion errors otherwise.
  double NumericValue() const;

  Storage value_;
};

/// Parses a string as the automation runtime parses numbers: blanks around it, a sign, digits with
/// optional thousands separators, a decimal point, an exponent (E or D), or a hexadecimal (&H) or
/// octal (&O) integer. Answers nothing when the text is not a number.
std::optional<double> ParseNumber(std::u16string_view text);

/// Formats a double as the automation runtime does: up to 15 significant digits, scientific
/// notation (1E+20, 1E-05) below 1E-4 or from 1E15 on.
std::u16string FormatDouble(double value);

/// Formats a float with up to 7 significant digits, by the same rules.
std::u16string FormatFloat(float value);

}  // namespace corvella::platform
