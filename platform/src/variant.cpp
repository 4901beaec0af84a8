#include "corvella/platform/variant.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <new>
#include <string>
#include <utility>

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

namespace detail {

ArrayBox::ArrayBox(VariantArray array) : array_(std::make_unique<VariantArray>(std::move(array))) {
}

ArrayBox::ArrayBox(const ArrayBox& other) : array_(std::make_unique<VariantArray>(*other.array_)) {
}

ArrayBox& ArrayBox::operator=(const ArrayBox& other) {
  if (this != &other) array_ = std::make_unique<VariantArray>(*other.array_);
  return *this;
}

ArrayBox::ArrayBox(ArrayBox&& other) noexcept = default;
ArrayBox& ArrayBox::operator=(ArrayBox&& other) noexcept = default;
ArrayBox::~ArrayBox() = default;

bool operator==(const ArrayBox& a, const ArrayBox& b) {
  return *a.array_ == *b.array_;
}

}  // namespace detail

Variant::Variant(VariantArray value) : value_(detail::ArrayBox(std::move(value))) {
}

Variant Variant::ByteString(std::span<const uint8_t> bytes) {
  static_assert(std::variant_size_v<Storage> == std::size(detail::kStorageTypes));
  std::u16string text((bytes.size() + 1) / 2, u'\0');
  for (size_t i = 0; i < bytes.size(); ++i) {
    text[i / 2] |= static_cast<char16_t>(bytes[i] << ((i % 2) * 8));
  }
  if (bytes.size() % 2 == 0) return Variant(std::move(text));
  Variant odd;
  odd.value_ = OddByteString{std::move(text)};
  return odd;
}

size_t Variant::StringByteLength() const {
  if (const auto* odd = std::get_if<OddByteString>(&value_)) return odd->text.size() * 2 - 1;
  return AsBStr().size() * 2;
}

std::vector<uint8_t> Variant::StringBytes() const {
  const std::u16string& text = AsBStr();
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  bytes.resize(StringByteLength());
  return bytes;
}

static_assert(std::size(detail::kStorageTypes) == 16);

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
    case VarType::Cy:
    case VarType::Bool:
    case VarType::UI1:
      return true;
    case VarType::BStr:
      try {
        return ParseNumber(std::as_const(*this).AsBStr()).has_value();
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
  // A caller that may change the text gets an ordinary string: the lone byte becomes a whole
  // character.
  if (auto* odd = std::get_if<OddByteString>(&value_)) {
    std::u16string text = std::move(odd->text);  // out of the storage before it is replaced
    value_ = std::move(text);
  }
  return Exact<std::u16string>(value_);
}
const std::u16string& Variant::AsBStr() const {
  if (const auto* odd = std::get_if<OddByteString>(&value_)) return odd->text;
  return Exact<std::u16string>(value_);
}
ObjectRef& Variant::AsObject() {
  return Exact<ObjectRef>(value_);
}
const ObjectRef& Variant::AsObject() const {
  return Exact<ObjectRef>(value_);
}
ByteArray& Variant::AsByteArray() {
  return Exact<ByteArray>(value_);
}
const ByteArray& Variant::AsByteArray() const {
  return Exact<ByteArray>(value_);
}
VariantArray& Variant::AsArray() {
  return Exact<detail::ArrayBox>(value_).Get();
}
const VariantArray& Variant::AsArray() const {
  return Exact<detail::ArrayBox>(value_).Get();
}
double& Variant::AsDate() {
  return Exact<DateValue>(value_).days;
}
int16_t Variant::AsI2() const {
  return Exact<int16_t>(value_);
}
int32_t Variant::AsI4() const {
  return Exact<int32_t>(value_);
}
float Variant::AsR4() const {
  return Exact<float>(value_);
}
double Variant::AsR8() const {
  return Exact<double>(value_);
}
VbBool Variant::AsBool() const {
  return Exact<BoolValue>(value_).value;
}
uint8_t Variant::AsUI1() const {
  return Exact<uint8_t>(value_);
}
double Variant::AsDate() const {
  return Exact<DateValue>(value_).days;
}
int64_t Variant::AsCy() const {
  return Exact<CurrencyValue>(value_).tenThousandths;
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
    case VarType::Date:
      return std::get<DateValue>(value_).days;
    case VarType::Cy:
      return static_cast<double>(AsCy()) / checked::kCurrencyScale;
    case VarType::BStr: {
      std::optional<double> number = ParseNumber(AsBStr());
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

double Variant::ToDate() const {
  double days = 0.0;
  if (IsString()) {
    std::optional<double> date = ParseDate(AsBStr());
    if (!date) date = ParseNumber(AsBStr());
    if (!date) Raise(RuntimeError::TypeMismatch);
    days = *date;
  } else {
    days = NumericValue();
  }
  if (!(days >= kMinDate && days < kMaxDate + 1e-5)) Raise(RuntimeError::Overflow);
  return days;
}

VbBool Variant::ToBool() const {
  if (IsString()) {
    const std::u16string& text = AsBStr();
    if (EqualsNoCase(text, "True") || EqualsNoCase(text, "#TRUE#")) return kVbTrue;
    if (EqualsNoCase(text, "False") || EqualsNoCase(text, "#FALSE#")) return kVbFalse;
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
    case VarType::Date:
      return FormatDate(std::get<DateValue>(value_).days);
    case VarType::Cy:
      return FormatCurrencyValue(AsCy());
    case VarType::Bool:
      return std::get<BoolValue>(value_).value != 0 ? u"True" : u"False";
    case VarType::BStr:
      return AsBStr();
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
    case VarType::Cy:
      return Variant::Currency(ToCy());
    case VarType::Date:
      return Variant::Date(ToDate());
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

// ---------------------------------------------------------------------------------------------
// VariantArray

namespace {

// The number of elements of a set of bounds; runtime error 9 for malformed bounds, 7 for a count
// that no allocation can hold.
size_t ElementCount(std::span<const VariantArray::Bounds> bounds) {
  if (bounds.empty() || bounds.size() > VariantArray::kMaxDimensions) {
    Raise(RuntimeError::SubscriptOutOfRange);
  }
  size_t count = 1;
  constexpr size_t kMaxElements = std::numeric_limits<int32_t>::max() / sizeof(Variant);
  for (const auto& b : bounds) {
    int64_t extent = int64_t{b.upper} - b.lower + 1;
    if (extent < 0) Raise(RuntimeError::SubscriptOutOfRange);
    if (extent != 0 && count > kMaxElements / static_cast<size_t>(extent)) {
      Raise(RuntimeError::OutOfMemory);
    }
    count *= static_cast<size_t>(extent);
  }
  if (count > kMaxElements) Raise(RuntimeError::OutOfMemory);
  return count;
}

}  // namespace

VariantArray VariantArray::Create(std::span<const Bounds> bounds) {
  size_t count = ElementCount(bounds);
  VariantArray array;
  array.bounds_.assign(bounds.begin(), bounds.end());
  array.elements_.resize(count);
  return array;
}

VariantArray VariantArray::FromElements(std::vector<Variant> elements) {
  if (elements.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    Raise(RuntimeError::OutOfMemory);
  }
  VariantArray array;
  array.bounds_.push_back({0, static_cast<int32_t>(elements.size()) - 1});
  array.elements_ = std::move(elements);
  return array;
}

const VariantArray::Bounds& VariantArray::DimensionBounds(size_t dimension) const {
  if (dimension >= bounds_.size()) Raise(RuntimeError::SubscriptOutOfRange);
  return bounds_[dimension];
}

const Variant* VariantArray::Find(std::span<const int32_t> indices) const {
  if (bounds_.empty() || indices.size() != bounds_.size()) return nullptr;
  size_t offset = 0, stride = 1;
  for (size_t d = 0; d < indices.size(); ++d) {
    const Bounds& b = bounds_[d];
    if (indices[d] < b.lower || indices[d] > b.upper) return nullptr;
    offset += static_cast<size_t>(int64_t{indices[d]} - b.lower) * stride;
    stride *= static_cast<size_t>(int64_t{b.upper} - b.lower + 1);
  }
  return &elements_[offset];
}

Variant* VariantArray::Find(std::span<const int32_t> indices) {
  return const_cast<Variant*>(std::as_const(*this).Find(indices));
}

Variant& VariantArray::At(std::span<const int32_t> indices) {
  Variant* element = Find(indices);
  if (element == nullptr) Raise(RuntimeError::SubscriptOutOfRange);
  return *element;
}

void VariantArray::Redim(std::span<const Bounds> bounds, bool preserve) {
  size_t count = ElementCount(bounds);
  if (!preserve || bounds_.empty()) {
    std::vector<Variant> fresh(count);
    elements_ = std::move(fresh);
    bounds_.assign(bounds.begin(), bounds.end());
    return;
  }
  // With the first index varying fastest, changing the last dimension's upper bound only
  // appends or drops whole slices at the end.
  if (bounds.size() != bounds_.size()) Raise(RuntimeError::SubscriptOutOfRange);
  for (size_t d = 0; d < bounds.size(); ++d) {
    bool last = d + 1 == bounds.size();
    if (bounds[d].lower != bounds_[d].lower || (!last && bounds[d].upper != bounds_[d].upper)) {
      Raise(RuntimeError::SubscriptOutOfRange);
    }
  }
  elements_.resize(count);
  bounds_.assign(bounds.begin(), bounds.end());
}

bool operator==(const VariantArray& a, const VariantArray& b) {
  return a.bounds_ == b.bounds_ && a.elements_ == b.elements_;
}

// ---------------------------------------------------------------------------------------------
// Dates

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date (month 1 .. 12).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

// Day 0 of script dates, 1899-12-30, counted from 1970-01-01.
constexpr int64_t kDateEpoch = -25569;

void CheckDateRange(double days) {
  if (!(days >= kMinDate && days < kMaxDate + 1e-5)) Raise(RuntimeError::Overflow);
}

// A date's whole days and its time of day in seconds (0 .. 86399). Negative dates count their
// fraction forward from the day, as scripts store them: -1.25 is 29 December 1899, 06:00.
void SplitDays(double days, int64_t& wholeDays, int64_t& seconds) {
  CheckDateRange(days);
  double whole = std::trunc(days);
  double fraction = std::fabs(days - whole);
  wholeDays = static_cast<int64_t>(whole);
  seconds = static_cast<int64_t>(std::llround(fraction * 86400.0));
  if (seconds >= 86400) {
    seconds -= 86400;
    wholeDays += days < 0 ? -1 : 1;
  }
}

void AppendNumber(std::u16string& out, int64_t value, int width = 1) {
  std::string digits = std::to_string(value);
  for (size_t i = digits.size(); i < static_cast<size_t>(width); ++i)
    out += u'0';
  out.append(digits.begin(), digits.end());
}

// Reads an unsigned decimal number at @p pos; -1 when there is none.
int64_t ReadNumber(std::u16string_view text, size_t& pos, size_t& digits) {
  int64_t value = 0;
  digits = 0;
  while (pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9' && digits < 9) {
    value = value * 10 + (text[pos] - u'0');
    ++pos;
    ++digits;
  }
  return digits == 0 ? -1 : value;
}

void SkipBlanks(std::u16string_view text, size_t& pos) {
  while (pos < text.size() && IsBlank(text[pos]))
    ++pos;
}

// Parses "h:mm[:ss] [AM|PM]" at @p pos into seconds of the day.
std::optional<int64_t> ParseTime(std::u16string_view text, size_t& pos) {
  size_t digits = 0;
  int64_t hour = ReadNumber(text, pos, digits);
  if (hour < 0 || pos >= text.size() || text[pos] != u':') return std::nullopt;
  ++pos;
  int64_t minute = ReadNumber(text, pos, digits);
  if (minute < 0 || minute > 59) return std::nullopt;
  int64_t second = 0;
  if (pos < text.size() && text[pos] == u':') {
    ++pos;
    second = ReadNumber(text, pos, digits);
    if (second < 0 || second > 59) return std::nullopt;
  }
  SkipBlanks(text, pos);
  if (pos + 1 < text.size() + 0 && (text[pos + 1] == u'M' || text[pos + 1] == u'm')) {
    char16_t c = text[pos];
    bool am = c == u'A' || c == u'a', pm = c == u'P' || c == u'p';
    if (am || pm) {
      if (hour < 1 || hour > 12) return std::nullopt;
      hour %= 12;
      if (pm) hour += 12;
      pos += 2;
    }
  }
  if (hour > 23) return std::nullopt;
  return hour * 3600 + minute * 60 + second;
}

}  // namespace

DateParts SplitDate(double days) {
  int64_t wholeDays = 0, seconds = 0;
  SplitDays(days, wholeDays, seconds);
  DateParts parts;
  CivilFromDays(wholeDays + kDateEpoch, parts.year, parts.month, parts.day);
  parts.hour = static_cast<int>(seconds / 3600);
  parts.minute = static_cast<int>(seconds / 60 % 60);
  parts.second = static_cast<int>(seconds % 60);
  // 1899-12-30 was a Saturday.
  int64_t weekday = (wholeDays + 6) % 7;
  if (weekday < 0) weekday += 7;
  parts.weekday = static_cast<int>(weekday) + 1;
  return parts;
}

double MakeDate(int year, int month, int day, int hour, int minute, int second) {
  // Months roll over into years; days, hours, minutes and seconds are simply added.
  int64_t months = int64_t{year} * 12 + (int64_t{month} - 1);
  int64_t y = months >= 0 ? months / 12 : (months - 11) / 12;
  int64_t m = months - y * 12 + 1;
  if (y < 0 || y > 99999) Raise(RuntimeError::Overflow);
  int64_t seconds = int64_t{hour} * 3600 + int64_t{minute} * 60 + second;
  int64_t extraDays = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  seconds -= extraDays * 86400;
  int64_t days = DaysFromCivil(y, m, 1) - kDateEpoch + (int64_t{day} - 1) + extraDays;
  double fraction = static_cast<double>(seconds) / 86400.0;
  // A negative date counts its time of day forward from the day: -1.25 is 29 December, 06:00.
  double result = static_cast<double>(days) + (days < 0 ? -fraction : fraction);
  CheckDateRange(result);
  return result;
}

std::u16string FormatDate(double days) {
  int64_t wholeDays = 0, seconds = 0;
  SplitDays(days, wholeDays, seconds);
  DateParts parts = SplitDate(days);
  std::u16string out;
  bool showDate = wholeDays != 0;
  bool showTime = seconds != 0 || !showDate;
  if (showDate) {
    AppendNumber(out, parts.month);
    out += u'/';
    AppendNumber(out, parts.day);
    out += u'/';
    AppendNumber(out, parts.year);
  }
  if (showTime) {
    if (showDate) out += u' ';
    int hour12 = parts.hour % 12 == 0 ? 12 : parts.hour % 12;
    AppendNumber(out, hour12);
    out += u':';
    AppendNumber(out, parts.minute, 2);
    out += u':';
    AppendNumber(out, parts.second, 2);
    out += parts.hour < 12 ? u" AM" : u" PM";
  }
  return out;
}

std::optional<double> ParseDate(std::u16string_view text) {
  size_t pos = 0;
  SkipBlanks(text, pos);
  size_t start = pos, digits = 0;
  int64_t first = ReadNumber(text, pos, digits);
  if (first < 0) return std::nullopt;
  double result = 0.0;
  if (pos < text.size() && text[pos] == u':') {
    pos = start;
    std::optional<int64_t> time = ParseTime(text, pos);
    if (!time) return std::nullopt;
    result = static_cast<double>(*time) / 86400.0;
  } else {
    if (pos >= text.size() || (text[pos] != u'/' && text[pos] != u'-')) return std::nullopt;
    char16_t separator = text[pos++];
    size_t firstDigits = digits;
    int64_t second = ReadNumber(text, pos, digits);
    if (second < 0 || pos >= text.size() || text[pos] != separator) return std::nullopt;
    ++pos;
    int64_t third = ReadNumber(text, pos, digits);
    if (third < 0) return std::nullopt;
    int64_t year = 0, month = 0, day = 0;
    if (firstDigits >= 3) {
      year = first, month = second, day = third;
    } else {
      month = first, day = second, year = third;
      if (digits <= 2) year += year < 30 ? 2000 : 1900;
    }
    if (month < 1 || month > 12 || day < 1 || year < 100 || year > 9999) return std::nullopt;
    int64_t monthDays =
        DaysFromCivil(month == 12 ? year + 1 : year, month == 12 ? 1 : month + 1, 1) -
        DaysFromCivil(year, month, 1);
    if (day > monthDays) return std::nullopt;
    result = static_cast<double>(DaysFromCivil(year, month, day) - kDateEpoch);
    SkipBlanks(text, pos);
    if (pos < text.size()) {
      std::optional<int64_t> time = ParseTime(text, pos);
      if (!time) return std::nullopt;
      double fraction = static_cast<double>(*time) / 86400.0;
      result = result < 0 ? result - fraction : result + fraction;
    }
  }
  SkipBlanks(text, pos);
  if (pos != text.size()) return std::nullopt;
  return result;
}

}  // namespace corvella::platform
