#pragma once
/// @file
/// The values that cross the automation boundary: a tagged union of the VARIANT types that the
/// component's interface uses, with the conversions of OLE Automation between them.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "corvella/platform/byte_array.h"

namespace corvella::platform {

class Dispatchable;
class VariantArray;

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
  Cy = 6,    ///< Currency: a 64-bit count of ten-thousandths (checked::kCurrencyScale)
  Date = 7,  ///< days since 1899-12-30 as a double; the fraction is the time of day
  BStr = 8,
  Dispatch = 9,
  Error = 10,
  Bool = 11,
  Variant = 12,  ///< element type of VariantArray
  UI1 = 17,
  Array = 0x2000,              ///< flag of every array type
  VariantArray = 0x2000 | 12,  ///< array of Variants (VariantArray)
  ByteArray = 0x2000 | 17,     ///< array of unsigned bytes
};

/// The error code of a VARIANT that stands for an omitted optional argument.
inline constexpr int32_t kParamNotFound = static_cast<int32_t>(0x80020004u);

namespace detail {

/// The VarType of each alternative of Variant's storage, in storage order.
inline constexpr VarType kStorageTypes[] = {
    VarType::Empty, VarType::Null,         VarType::I2,   VarType::I4,
    VarType::R4,    VarType::R8,           VarType::BStr, VarType::Dispatch,
    VarType::Error, VarType::Bool,         VarType::UI1,  VarType::ByteArray,
    VarType::Date,  VarType::VariantArray, VarType::BStr, VarType::Cy};

/// Holds a VariantArray on the heap so that a Variant can contain arrays of Variants; copies are
/// deep.
class ArrayBox {
 public:
  explicit ArrayBox(VariantArray array);
  ArrayBox(const ArrayBox& other);
  ArrayBox& operator=(const ArrayBox& other);
  ArrayBox(ArrayBox&& other) noexcept;
  ArrayBox& operator=(ArrayBox&& other) noexcept;
  ~ArrayBox();
  VariantArray& Get() { return *array_; }
  const VariantArray& Get() const { return *array_; }
  friend bool operator==(const ArrayBox& a, const ArrayBox& b);

 private:
  std::unique_ptr<VariantArray> array_;
};

}  // namespace detail

/// A value of one of the VarType types. Copies are deep for strings and arrays; object references
/// are shared.
///
/// A string may also hold an odd number of bytes, as the byte functions of scripts (ChrB, MidB)
/// make them: it is still of type BStr, its characters are the bytes taken in pairs (the last
/// character holds the lone byte in its low half), and StringBytes() gives the exact bytes.
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
  Variant(VariantArray value);
  Variant(bool) = delete;         // use Variant::Bool, which stores -1 or 0
  Variant(const char*) = delete;  // strings are UTF-16

  static Variant Null() { return Variant(NullValue{}); }
  static Variant Bool(bool value) { return Variant(BoolValue{ToVbBool(value)}); }
  static Variant Byte(uint8_t value) { return Variant(value); }
  static Variant ErrorCode(int32_t scode) { return Variant(ErrorValue{scode}); }
  /// The value of an omitted optional argument (an error VARIANT with kParamNotFound).
  static Variant Missing() { return ErrorCode(kParamNotFound); }
  /// A date: days since 1899-12-30, the fraction being the time of day.
  static Variant Date(double days) { return Variant(DateValue{days}); }
  /// A Currency value from its count of ten-thousandths (15000 is 1.5).
  static Variant Currency(int64_t tenThousandths) { return Variant(CurrencyValue{tenThousandths}); }
  /// A string made of exactly these bytes (little-endian pairs make one character); an odd count
  /// keeps its last byte as a lone byte.
  static Variant ByteString(std::span<const uint8_t> bytes);

  VarType Type() const { return detail::kStorageTypes[value_.index()]; }
  bool IsEmpty() const { return Type() == VarType::Empty; }
  bool IsNull() const { return Type() == VarType::Null; }
  bool IsMissing() const;
  bool IsString() const { return Type() == VarType::BStr; }
  bool IsObject() const { return Type() == VarType::Dispatch; }
  /// True for arrays of Variants and byte arrays.
  bool IsArray() const { return (static_cast<uint16_t>(Type()) & 0x2000) != 0; }
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
  const ObjectRef& AsObject() const;
  ByteArray& AsByteArray();
  const ByteArray& AsByteArray() const;
  VariantArray& AsArray();
  const VariantArray& AsArray() const;
  double& AsDate();
  /// Read-only forms of the accessors above.
  int16_t AsI2() const;
  int32_t AsI4() const;
  float AsR4() const;
  double AsR8() const;
  VbBool AsBool() const;
  uint8_t AsUI1() const;
  double AsDate() const;
  /// The count of ten-thousandths of a Currency value; runtime error 13 for other types.
  int64_t AsCy() const;

  /// The number of bytes of a string (twice its length, one less for a string with a lone
  /// byte); runtime error 13 for other types.
  size_t StringByteLength() const;
  /// The bytes of a string, little-endian per character, without the missing half of a lone
  /// byte; runtime error 13 for other types.
  std::vector<uint8_t> StringBytes() const;

  /// Conversions by the rules of OLE Automation: numeric strings convert to numbers (other
  /// strings raise runtime error 13), a floating value becomes an integer rounded half to even,
  /// a value that does not fit raises runtime error 6, Empty counts as 0 and as the empty string,
  /// Null raises runtime error 94, an object gives its default property.
  int16_t ToI2() const;
  int32_t ToI4() const;
  uint8_t ToUI1() const;
  float ToR4() const;
  double ToR8() const;
  /// Currency ten-thousandths: integers exactly, decimal text exactly to its fourth decimal,
  /// other values through ToR8; rounded half to even, runtime error 6 outside the range.
  int64_t ToCy() const;
  /// A date from a number (days) or from a date text; runtime error 13 for other text, 6 outside
  /// the years 100 .. 9999.
  double ToDate() const;
  VbBool ToBool() const;
  std::u16string ToBStr() const;
  /// An object reference (none included); runtime error 13 for any other type.
  ObjectRef ToObject() const;

  /// Converts to the given type by the rules above.
  Variant ChangeType(VarType type) const;

  /// Same type and same value (objects compare by identity, arrays element by element).
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
  struct DateValue {
    double days;
    bool operator==(const DateValue&) const = default;
  };
  struct CurrencyValue {
    int64_t tenThousandths;
    bool operator==(const CurrencyValue&) const = default;
  };
  // A string with a lone last byte: the characters hold the bytes in pairs, the last one only
  // its low byte.
  struct OddByteString {
    std::u16string text;
    bool operator==(const OddByteString&) const = default;
  };
  using Storage = std::variant<std::monostate, NullValue, int16_t, int32_t, float, double,
                               std::u16string, ObjectRef, ErrorValue, BoolValue, uint8_t, ByteArray,
                               DateValue, detail::ArrayBox, OddByteString, CurrencyValue>;

  explicit Variant(NullValue v) : value_(v) {}
  explicit Variant(BoolValue v) : value_(v) {}
  explicit Variant(ErrorValue v) : value_(v) {}
  explicit Variant(DateValue v) : value_(v) {}
  explicit Variant(CurrencyValue v) : value_(v) {}
  explicit Variant(uint8_t v) : value_(v) {}

  /// The value as a double when the type is numeric-like (number, Boolean, Empty, numeric
  /// string); raises the conversion errors otherwise.
  double NumericValue() const;

  Storage value_;
};

/// An array of Variants with one or more dimensions, each with its own lower and upper bound, as
/// scripts make them with Dim, ReDim and Array. Elements are stored with the first index varying
/// fastest. A default-constructed array is a dynamic array that is not yet dimensioned: it has no
/// bounds, and asking for one raises runtime error 9. Copies are deep.
class VariantArray {
 public:
  /// The most dimensions an array may have.
  static constexpr size_t kMaxDimensions = 60;
  /// The bounds of one dimension; an empty dimension has upper == lower - 1.
  struct Bounds {
    int32_t lower = 0;
    int32_t upper = -1;
    bool operator==(const Bounds&) const = default;
  };

  VariantArray() = default;
  /// An array of Empty elements with the given bounds, first dimension first. Runtime error 9
  /// when a dimension has upper < lower - 1 or there are no or too many dimensions, 7 when the
  /// elements cannot be had.
  static VariantArray Create(std::span<const Bounds> bounds);
  /// A zero-based one-dimensional array of these elements.
  static VariantArray FromElements(std::vector<Variant> elements);

  bool IsAllocated() const noexcept { return !bounds_.empty(); }
  size_t Dimensions() const noexcept { return bounds_.size(); }
  /// The bounds of dimension @p dimension (0 is the first); runtime error 9 when there is none.
  const Bounds& DimensionBounds(size_t dimension) const;
  std::span<const Bounds> AllBounds() const noexcept { return bounds_; }
  size_t Size() const noexcept { return elements_.size(); }

  /// The element at these indices, first dimension first; nullptr when the count of indices
  /// differs from the dimensions or an index lies outside its bounds.
  Variant* Find(std::span<const int32_t> indices);
  const Variant* Find(std::span<const int32_t> indices) const;
  /// As Find, but runtime error 9 instead of nullptr.
  Variant& At(std::span<const int32_t> indices);

  /// All elements, first index varying fastest.
  std::span<Variant> Elements() noexcept { return elements_; }
  std::span<const Variant> Elements() const noexcept { return elements_; }

  /// Gives the array new bounds. Without @p preserve every element becomes Empty. With it the
  /// array keeps its elements: only the upper bound of the last dimension may change (runtime
  /// error 9 otherwise), elements beyond the new bound are dropped and new ones are Empty.
  void Redim(std::span<const Bounds> bounds, bool preserve);

  friend bool operator==(const VariantArray& a, const VariantArray& b);

 private:
  std::vector<Bounds> bounds_;
  std::vector<Variant> elements_;
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

/// Formats Currency ten-thousandths as the en-US locale writes the value: up to four decimals
/// without trailing zeros ("1.5", "-0.0001", "3").
std::u16string FormatCurrencyValue(int64_t tenThousandths);

/// The parts of a date value.
struct DateParts {
  int year = 1899, month = 12, day = 30;  ///< month 1 .. 12, day 1 .. 31
  int hour = 0, minute = 0, second = 0;   ///< 24-hour clock
  int weekday = 7;                        ///< 1 = Sunday .. 7 = Saturday
};

/// The earliest and latest dates a script may hold: 1 January 100 and 31 December 9999, the
/// latter's last second included.
inline constexpr double kMinDate = -657434.0;
inline constexpr double kMaxDate = 2958465.99999;

/// Splits a date value into its parts, the time rounded to the second. Runtime error 6 outside
/// kMinDate .. kMaxDate or for NaN.
DateParts SplitDate(double days);

/// The date value of a day and time. Months and days outside their ranges roll over into the
/// next or previous year and month, as DateSerial does; seconds, minutes and hours likewise.
/// Runtime error 6 when the result lies outside kMinDate .. kMaxDate.
double MakeDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

/// Formats a date as an en-US locale writes it: "12/6/2026 11:58:15 AM"; a date without a time
/// of day as "12/6/2026", a time on day 0 alone as "11:58:15 AM".
std::u16string FormatDate(double days);

/// Parses a date or time text: "m/d/yyyy", "yyyy-m-d" or "m-d-yyyy" (a two-digit year 30 .. 99
/// is 19xx, 00 .. 29 is 20xx), optionally followed by a time "h:mm[:ss] [AM|PM]", or a time
/// alone. Answers nothing for other text.
std::optional<double> ParseDate(std::u16string_view text);

}  // namespace corvella::platform
