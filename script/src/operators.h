#pragma once
// The operators of the language on Variant values, with its typing rules: Integer, Long, Single
// and Double results promoted on overflow, strings converted where numbers are needed, Null
// propagated, objects replaced by their default property.

#include <cstddef>

#include "ast.h"
#include "corvella/platform/variant.h"

namespace corvella::script::ops {

using platform::Variant;

/// An arithmetic, comparison or logical operator. For comparisons @p aHard and @p bHard say
/// which operand is a literal or constant: a string compared with a numeric literal is converted
/// to a number, a number compared with a string literal to a string; between other values a
/// number is always less than a string.
Variant Binary(Op op, const Variant& a, const Variant& b, bool aHard = false, bool bHard = false);

/// a & b; strings longer than @p maxLength characters raise runtime error 7.
Variant Concat(const Variant& a, const Variant& b, size_t maxLength);

/// -a, +a, Not a.
Variant Unary(Op op, const Variant& a);

/// a Is b: whether two object references are the same object (runtime error 424 when either is
/// not an object).
bool Is(const Variant& a, const Variant& b);

/// The truth of a condition: Null and Empty are false, numbers are true when not zero, strings
/// must read as a Boolean or a number (runtime error 13 otherwise).
bool IsTrue(const Variant& value);

/// The value of an object's default property, repeated while it is an object; other values are
/// returned as they are. Runtime error 91 for Nothing.
Variant DefaultValue(const Variant& value);

/// A number for a For loop's bounds: numbers and Booleans keep their type (a Boolean becomes an
/// Integer), strings become Doubles, Empty becomes Integer 0; runtime error 13 otherwise.
Variant ToNumber(const Variant& value);

/// a + b for a For loop's counter: the same as Binary(Op::Add) with a fast path for integers.
Variant AddCounter(const Variant& a, const Variant& b);

/// Whether a For loop with step sign @p positive has passed its end.
bool PastEnd(const Variant& counter, const Variant& end, bool positive);

}  // namespace corvella::script::ops
