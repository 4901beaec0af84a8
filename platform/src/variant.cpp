#include "corvella/platform/variant.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "corvella/platform/checked.h"
#include "corvella/platform/dispatch.h"
#include "corvella/platform/error.h"
#include "corvella/platform/text.h"

namespace corvella::platform {

namespace {

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

int DigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return 99;
}

// "&H" and "&O" integers: up to 4 hex digits (or 6 octal) read as a 16-bit value, longer ones as
// a 32-bit value, so "&HFFFF" is -1 as it is in scripts.
std::optional<double> ParseRadix(std::u16string_view digits, int radix) {
  if (digits.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char16_t c : digits) {
    int d = DigitValue(c);
    if (d >= radix) return std::nullopt;
    value = value * radix + d;
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  bool shortForm = radix == 16 ? digits.size() <= 4 : value <= 0xFFFF;
  if (shortForm) return static_cast<double>(static_cast<int16_t>(static_cast<uint16_t>(value)));
  return static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(value)));
}

std::u16string Widen(std::string_view ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

// Shortest general form with the given significant digits, in the runtime's spelling:
// upper-case E, a sign and at least two exponent digits.
std::u16string FormatGeneral(double value, int precision) {
  if (value == 0.0) return u"0";
  if (std::isnan(value)) return u"NaN";
  if (std::isinf(value)) return value > 0 ? u"Infinity" : u"-Infinity";
  char buffer[64];
  auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, precision);
  std::string text(buffer, result.ptr);
  for (auto& c : text) {
    if (c == 'e') c = 'E';
  }
  return Widen(text);
}

}  // namespace

std::optional<double> ParseNumber(std::u16string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin]))
    ++begin;
  while (end > begin && IsBlank(text[end - 1]))
    --end;
  std::u16string_view s = text.substr(begin, end - begin);
  if (s.size() >= 2 && s[0] == u'&') {
    if (s[1] == u'H' || s[1] == u'h') return ParseRadix(s.substr(2), 16);
    if (s[1] == u'O' || s[1] == u'o') return ParseRadix(s.substr(2), 8);
    return std::nullopt;
  }
  // Rebuild the number in ASCII without thousands separators, then let from_chars read it.
  std::string ascii;
  size_t i = 0;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) ascii += static_cast<char>(s[i++]);
  bool digits = false, point = false;
  for (; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c >= u'0' && c <= u'9') {
      ascii += static_cast<char>(c);
      digits = true;
    } else if (c == u',' && digits && !point) {
      continue;
    } else if (c == u'.' && !point) {
      ascii += '.';
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return std::nullopt;
  if (i < s.size() && (s[i] == u'e' || s[i] == u'E' || s[i] == u'd' || s[i] == u'D')) {
    ascii += 'e';
    ++i;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) ascii += static_cast<char>(s[i++]);
    bool exponentDigits = false;
    for (; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i) {
      ascii += static_cast<char>(s[i]);
      exponentDigits = true;
    }
    if (!exponentDigits) return std::nullopt;
  }
  if (i != s.size()) return std::nullopt;
  const char* first = ascii.data();
  if (*first == '+') ++first;
  double value = 0;
  auto result = std::from_chars(first, ascii.data() + ascii.size(), value);
  if (result.ec == std::errc::result_out_of_range) Raise(RuntimeError::Overflow);
  if (result.ec != std::errc() || result.ptr != ascii.data() + ascii.size()) return std::nullopt;
  return value;
}

std::u16string FormatDouble(double value) {
  return FormatGeneral(value, 15);
}

std::u16string FormatFloat(float value) {
  return FormatGeneral(value, 7);
}

VarType Variant::Type() const {
  constexpr VarType kTypes[] = {VarType::Empty, VarType::Null, VarType::I2,   VarType::I4,
                                VarType::R4,    VarType::R8,   VarType::BStr, VarType::Dispatch,
                                VarType::Error, VarType::Bool, VarType::UI1,  VarType::ByteArray};
  return kTypes[value_.index()];
}

bool Variant::IsMissing() const {
  const auto* error = std::get_if<ErrorValue>(&value_);
  return error != nullptr && error->scode == kParamNotFound;
}

bool Variant::IsNumeric() const {
  switch (Type()) {
    case VarType::Empty:
    case VarType::I2:
    case VarType::I4:
    case VarType::R4:
    case VarType::R8:
    case VarType::Bool:
    case VarType::UI1:
      return true;
    case VarType::BStr:
      try {
        return ParseNumber(AsBStr()).has_value();
      } catch (const Error&) {
        return true;  // a number too large for a double is still a number
      }
    default:
      return false;
  }
}

namespace {

template <typename T, typename Storage>
auto& Exact(Storage& storage) {
  auto* value = std::get_if<T>(&storage);
  if (value == nullptr) Raise(RuntimeError::TypeMismatch);
  return *value;
}

}  // namespace

int16_t& Variant::AsI2() {
  return Exact<int16_t>(value_);
}
int32_t& Variant::AsI4() {
  return Exact<int32_t>(value_);
}
float& Variant::AsR4() {
  return Exact<float>(value_);
}
double& Variant::AsR8() {
  return Exact<double>(value_);
}
VbBool& Variant::AsBool() {
  return Exact<BoolValue>(value_).value;
}
uint8_t& Variant::AsUI1() {
  return Exact<uint8_t>(value_);
}
std::u16string& Variant::AsBStr() {
  return Exact<std::u16string>(value_);
}
const std::u16string& Variant::AsBStr() const {
  return Exact<std::u16string>(value_);
}
ObjectRef& Variant::AsObject() {
  return Exact<ObjectRef>(value_);
}
ByteArray& Variant::AsByteArray() {
  return Exact<ByteArray>(value_);
}
const ByteArray& Variant::AsByteArray() const {
  return Exact<ByteArray>(value_);
}

double Variant::NumericValue() const {
  switch (Type()) {
    case VarType::Empty:
      return 0.0;
    case VarType::Null:
      Raise(RuntimeError::InvalidUseOfNull);
    case VarType::I2:
      return std::get<int16_t>(value_);
    case VarType::I4:
      return std::get<int32_t>(value_);
    case VarType::R4:
      return std::get<float>(value_);
    case VarType::R8:
      return std::get<double>(value_);
    case VarType::Bool:
      return std::get<BoolValue>(value_).value;
    case VarType::UI1:
      return std::get<uint8_t>(value_);
    case VarType::BStr: {
      std::optional<double> number = ParseNumber(std::get<std::u16string>(value_));
      if (!number) Raise(RuntimeError::TypeMismatch);
      return *number;
    }
    case VarType::Dispatch: {
      const ObjectRef& object = std::get<ObjectRef>(value_);
      if (!object) Raise(RuntimeError::ObjectNotSet);
      return object->Invoke(kDispIdValue, InvokeKind::PropertyGet, {}).NumericValue();
    }
    default:
      Raise(RuntimeError::TypeMismatch);
  }
}

int16_t Variant::ToI2() const {
  if (const auto* i4 = std::get_if<int32_t>(&value_)) return checked::ToInt16(*i4);
  return checked::DoubleToInt16(NumericValue());
}

int32_t Variant::ToI4() const {
  if (const auto* i4 = std::get_if<int32_t>(&value_)) return *i4;
  return checked::DoubleToInt32(NumericValue());
}

uint8_t Variant::ToUI1() const {
  return checked::DoubleToByte(NumericValue());
}

float Variant::ToR4() const {
  double value = NumericValue();
  if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max()) {
    Raise(RuntimeError::Overflow);
  }
  return static_cast<float>(value);
}

double Variant::ToR8() const {
  return NumericValue();
}

VbBool Variant::ToBool() const {
  if (const auto* text = std::get_if<std::u16string>(&value_)) {
    if (EqualsNoCase(*text, "True")) return kVbTrue;
    if (EqualsNoCase(*text, "False")) return kVbFalse;
  }
  return ToVbBool(NumericValue() != 0.0);
}

std::u16string Variant::ToBStr() const {
  switch (Type()) {
    case VarType::Empty:
      return {};
    case VarType::Null:
      Raise(RuntimeError::InvalidUseOfNull);
    case VarType::I2:
      return Widen(std::to_string(std::get<int16_t>(value_)));
    case VarType::I4:
      return Widen(std::to_string(std::get<int32_t>(value_)));
    case VarType::UI1:
      return Widen(std::to_string(std::get<uint8_t>(value_)));
    case VarType::R4:
      return FormatFloat(std::get<float>(value_));
    case VarType::R8:
      return FormatDouble(std::get<double>(value_));
    case VarType::Bool:
      return std::get<BoolValue>(value_).value != 0 ? u"True" : u"False";
    case VarType::BStr:
      return std::get<std::u16string>(value_);
    case VarType::Dispatch: {
      const ObjectRef& object = std::get<ObjectRef>(value_);
      if (!object) Raise(RuntimeError::ObjectNotSet);
      return object->Invoke(kDispIdValue, InvokeKind::PropertyGet, {}).ToBStr();
    }
    default:
      Raise(RuntimeError::TypeMismatch);
  }
}

ObjectRef Variant::ToObject() const {
  if (const auto* object = std::get_if<ObjectRef>(&value_)) return *object;
  Raise(RuntimeError::TypeMismatch);
}

Variant Variant::ChangeType(VarType type) const {
  if (type == Type()) return *this;
  switch (type) {
    case VarType::Empty:
      return Variant();
    case VarType::I2:
      return Variant(ToI2());
    case VarType::I4:
      return Variant(ToI4());
    case VarType::R4:
      return Variant(ToR4());
    case VarType::R8:
      return Variant(ToR8());
    case VarType::Bool:
      return Variant(BoolValue{ToBool()});
    case VarType::UI1:
      return Variant(ToUI1());
    case VarType::BStr:
      return Variant(ToBStr());
    case VarType::Dispatch:
      return Variant(ToObject());
    default:
      Raise(RuntimeError::TypeMismatch);
  }
}

}  // namespace corvella::platform
