#pragma once
/// @file
/// Checked integer arithmetic and floating-point conversions, the one place where the component's
/// arithmetic rules are written down:
/// - integers are 16-bit or 32-bit signed and every result is range-tested (overflow raises
///   runtime error 6);
/// - integer division truncates toward zero, division by zero raises runtime error 11;
/// - conversion from floating point to an integer or a byte rounds to nearest, ties to even, and
///   raises runtime error 6 when the result does not fit (NaN never fits).

#include <cmath>
#include <cstdint>
#include <limits>

#include "corvella/platform/error.h"

namespace corvella::platform::checked {

/// Rounds to the nearest integer value, ties to the even one (2.5 gives 2, 3.5 gives 4, -2.5
/// gives -2). Independent of the floating-point environment's rounding mode.
inline double RoundHalfEven(double value) {
  double floor = std::floor(value);
  double diff = value - floor;
  if (diff > 0.5) return floor + 1.0;
  if (diff < 0.5) return floor;
  return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

namespace detail {

template <typename T>
T Narrow(int64_t value) {
  if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max()) {
    Raise(RuntimeError::Overflow);
  }
  return static_cast<T>(value);
}

template <typename T>
T FromDouble(double value) {
  double rounded = RoundHalfEven(value);
  // Written so that NaN fails both comparisons and lands in the overflow branch.
  if (!(rounded >= static_cast<double>(std::numeric_limits<T>::min()) &&
        rounded <= static_cast<double>(std::numeric_limits<T>::max()))) {
    Raise(RuntimeError::Overflow);
  }
  return static_cast<T>(rounded);
}

}  // namespace detail

/// 16-bit signed arithmetic; a result outside -32768 .. 32767 raises runtime error 6.
inline int16_t Add16(int16_t a, int16_t b) {
  return detail::Narrow<int16_t>(int64_t{a} + b);
}
inline int16_t Sub16(int16_t a, int16_t b) {
  return detail::Narrow<int16_t>(int64_t{a} - b);
}
inline int16_t Mul16(int16_t a, int16_t b) {
  return detail::Narrow<int16_t>(int64_t{a} * b);
}
/// Truncates toward zero; a divisor of 0 raises runtime error 11; -32768 / -1 raises error 6.
inline int16_t Div16(int16_t a, int16_t b) {
  if (b == 0) Raise(RuntimeError::DivisionByZero);
  return detail::Narrow<int16_t>(int64_t{a} / b);
}

/// 32-bit signed arithmetic; a result outside the 32-bit range raises runtime error 6.
inline int32_t Add32(int32_t a, int32_t b) {
  return detail::Narrow<int32_t>(int64_t{a} + b);
}
inline int32_t Sub32(int32_t a, int32_t b) {
  return detail::Narrow<int32_t>(int64_t{a} - b);
}
inline int32_t Mul32(int32_t a, int32_t b) {
  return detail::Narrow<int32_t>(int64_t{a} * b);
}
/// Truncates toward zero; a divisor of 0 raises runtime error 11.
inline int32_t Div32(int32_t a, int32_t b) {
  if (b == 0) Raise(RuntimeError::DivisionByZero);
  return detail::Narrow<int32_t>(int64_t{a} / b);
}

/// Narrows a wider integer to 16 or 32 bits, raising runtime error 6 when it does not fit.
inline int16_t ToInt16(int64_t value) {
  return detail::Narrow<int16_t>(value);
}
inline int32_t ToInt32(int64_t value) {
  return detail::Narrow<int32_t>(value);
}

/// Floating point to a 16-bit integer, a 32-bit integer or a byte (0 .. 255): rounded half to
/// even, runtime error 6 when the rounded value does not fit.
inline int16_t DoubleToInt16(double value) {
  return detail::FromDouble<int16_t>(value);
}
inline int32_t DoubleToInt32(double value) {
  return detail::FromDouble<int32_t>(value);
}
inline uint8_t DoubleToByte(double value) {
  return detail::FromDouble<uint8_t>(value);
}

/// The ten-thousandths in one unit of Currency: Currency 1.5 is stored as 15000.
inline constexpr int64_t kCurrencyScale = 10000;

/// A double as Currency ten-thousandths, rounded half to even; runtime error 6 outside
/// -922,337,203,685,477.5808 .. 922,337,203,685,477.5807 (NaN included).
inline int64_t DoubleToCurrency(double value) {
  double rounded = RoundHalfEven(value * static_cast<double>(kCurrencyScale));
  if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0)) {
    Raise(RuntimeError::Overflow);
  }
  return static_cast<int64_t>(rounded);
}

/// Sum and difference of two Currency values; runtime error 6 when they do not fit.
inline int64_t AddCurrency(int64_t a, int64_t b) {
  int64_t result = 0;
  if (__builtin_add_overflow(a, b, &result)) Raise(RuntimeError::Overflow);
  return result;
}
inline int64_t SubCurrency(int64_t a, int64_t b) {
  int64_t result = 0;
  if (__builtin_sub_overflow(a, b, &result)) Raise(RuntimeError::Overflow);
  return result;
}

namespace detail {

inline int64_t CheckedProduct(int64_t a, int64_t b) {
  int64_t result = 0;
  if (__builtin_mul_overflow(a, b, &result)) Raise(RuntimeError::Overflow);
  return result;
}

// whole + fraction / kCurrencyScale (|fraction| < kCurrencyScale) rounded half to even.
inline int64_t RoundWithFraction(int64_t whole, int64_t fraction) {
  int64_t twice = (fraction < 0 ? -fraction : fraction) * 2;
  if (twice > kCurrencyScale || (twice == kCurrencyScale && whole % 2 != 0)) {
    whole = AddCurrency(whole, fraction < 0 ? -1 : 1);
  }
  return whole;
}

}  // namespace detail

/// The product of two Currency values, rounded half to even to four decimals; runtime error 6
/// when it does not fit. Each factor is split at the decimal point (a = a1 * 10000 + a0), so
/// that no partial product needs more than 64 bits.
inline int64_t MulCurrency(int64_t a, int64_t b) {
  int64_t a1 = a / kCurrencyScale, a0 = a % kCurrencyScale;
  int64_t b1 = b / kCurrencyScale, b0 = b % kCurrencyScale;
  int64_t low = a0 * b0;  // below 10^8 in magnitude
  int64_t whole = detail::CheckedProduct(detail::CheckedProduct(a1, b1), kCurrencyScale);
  whole = AddCurrency(whole, detail::CheckedProduct(a1, b0));
  whole = AddCurrency(whole, detail::CheckedProduct(a0, b1));
  whole = AddCurrency(whole, low / kCurrencyScale);
  return detail::RoundWithFraction(whole, low % kCurrencyScale);
}

/// A Currency value rounded to @p places decimals (0 .. 4), half to even; more places keep it.
/// Runtime error 6 when rounding up passes the largest value.
inline int64_t RoundCurrency(int64_t value, int places) {
  if (places >= 4) return value;
  int64_t unit = 1;
  for (int i = places; i < 4; ++i)
    unit *= 10;
  int64_t quotient = value / unit, remainder = value % unit;
  int64_t twice = (remainder < 0 ? -remainder : remainder) * 2;
  if (twice > unit || (twice == unit && quotient % 2 != 0)) quotient += remainder < 0 ? -1 : 1;
  return detail::CheckedProduct(quotient, unit);
}

/// A Currency value cut to whole units: toward zero, or down when @p floor (Int); runtime error 6
/// when that passes the smallest value.
inline int64_t WholeCurrency(int64_t value, bool floor) {
  int64_t whole = value / kCurrencyScale;
  if (floor && value % kCurrencyScale < 0) --whole;
  return detail::CheckedProduct(whole, kCurrencyScale);
}

}  // namespace corvella::platform::checked
