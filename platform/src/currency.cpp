// Currency values of Variant: conversion to Currency (exact for integers and decimal text) and
// the text of a Currency value.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "corvella/platform/checked.h"
#include "corvella/platform/error.h"
#include "corvella/platform/variant.h"

namespace corvella::platform {

namespace {

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// Plain decimal text ("-1,234.56789") as ten-thousandths, rounded half to even, without going
// through a double, so that every Currency value reads back exactly. Nothing for other text
// (exponents, "&H" numbers), which the double path reads; nothing too for a value far out of
// range, which the double path then reports as an overflow.
std::optional<int64_t> ParseDecimalText(std::u16string_view text) {
  size_t i = 0, end = text.size();
  while (i < end && IsBlank(text[i]))
    ++i;
  while (end > i && IsBlank(text[end - 1]))
    --end;
  bool negative = false;
  if (i < end && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  // The magnitude in ten-thousandths; past 2^63 no Currency value is left to reach.
  constexpr uint64_t kLimit = uint64_t{1} << 63;
  uint64_t units = 0;
  int decimals = -1;  // digits after the point so far; -1 before the point
  int firstDropped = -1;
  bool droppedNonZero = false, digits = false;
  for (; i < end; ++i) {
    char16_t c = text[i];
    if (c == u',' && digits && decimals < 0) continue;
    if (c == u'.' && decimals < 0) {
      decimals = 0;
      continue;
    }
    if (c < u'0' || c > u'9') return std::nullopt;
    digits = true;
    auto digit = static_cast<uint64_t>(c - u'0');
    if (decimals >= 4) {
      if (firstDropped < 0) {
        firstDropped = static_cast<int>(digit);
      } else if (digit != 0) {
        droppedNonZero = true;
      }
      continue;
    }
    if (units > kLimit / 10) return std::nullopt;  // far out of range: the double path says so
    units = units * 10 + digit;
    if (decimals >= 0) ++decimals;
  }
  if (!digits) return std::nullopt;
  for (int d = decimals < 0 ? 0 : decimals; d < 4; ++d) {
    if (units > kLimit / 10) return std::nullopt;
    units *= 10;
  }
  if (firstDropped > 5 || (firstDropped == 5 && (droppedNonZero || units % 2 != 0))) ++units;
  if (units > kLimit || (units == kLimit && !negative)) Raise(RuntimeError::Overflow);
  return negative ? static_cast<int64_t>(0 - units) : static_cast<int64_t>(units);
}

}  // namespace

int64_t Variant::ToCy() const {
  switch (Type()) {
    case VarType::Cy:
      return AsCy();
    case VarType::Empty:
    case VarType::I2:
    case VarType::I4:
    case VarType::UI1:
    case VarType::Bool:
      return static_cast<int64_t>(NumericValue()) * checked::kCurrencyScale;
    case VarType::BStr:
      if (std::optional<int64_t> exact = ParseDecimalText(AsBStr())) return *exact;
      break;
    default:
      break;
  }
  return checked::DoubleToCurrency(NumericValue());
}

std::u16string FormatCurrencyValue(int64_t tenThousandths) {
  // The magnitude as unsigned, so that the most negative value has one too.
  uint64_t magnitude = tenThousandths < 0 ? 0 - static_cast<uint64_t>(tenThousandths)
                                          : static_cast<uint64_t>(tenThousandths);
  const auto scale = static_cast<uint64_t>(checked::kCurrencyScale);
  std::string text = std::to_string(magnitude / scale);
  if (uint64_t fraction = magnitude % scale; fraction != 0) {
    std::string decimals = std::to_string(fraction + scale).substr(1);
    decimals.erase(decimals.find_last_not_of('0') + 1);
    text += '.' + decimals;
  }
  if (tenThousandths < 0) text.insert(text.begin(), '-');
  return std::u16string(text.begin(), text.end());
}

}  // namespace corvella::platform
