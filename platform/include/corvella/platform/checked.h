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

}  // namespace corvella::platform::checked
