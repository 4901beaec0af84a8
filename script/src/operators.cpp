#include "operators.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "corvella/platform/checked.h"
#include "corvella/platform/dispatch.h"
#include "corvella/platform/error.h"

namespace corvella::script::ops {

using platform::Raise;
using platform::RuntimeError;
using platform::VarType;

namespace {

// The numeric ranks of the arithmetic operators, lowest first; a result takes the higher rank
// of its operands, except that Currency with Single or Double gives Double.
enum class Rank : uint8_t {
  Empty,
  Byte,
  Integer,
  Long,
  Currency,
  Single,
  Double,
  Date,
  String,
  Null,
  Bad
};

Rank RankOf(VarType type) {
  switch (type) {
    case VarType::Empty:
      return Rank::Empty;
    case VarType::UI1:
      return Rank::Byte;
    case VarType::I2:
    case VarType::Bool:
      return Rank::Integer;
    case VarType::I4:
      return Rank::Long;
    case VarType::Cy:
      return Rank::Currency;
    case VarType::R4:
      return Rank::Single;
    case VarType::R8:
      return Rank::Double;
    case VarType::Date:
      return Rank::Date;
    case VarType::BStr:
      return Rank::String;
    case VarType::Null:
      return Rank::Null;
    default:
      return Rank::Bad;
  }
}

// An operand with an object replaced by its default value. @p temp holds the value when one
// was fetched.
const Variant& Plain(const Variant& value, Variant& temp) {
  if (!value.IsObject()) return value;
  temp = DefaultValue(value);
  return temp;
}

int64_t IntegerOf(const Variant& v) {
  switch (v.Type()) {
    case VarType::UI1:
      return v.AsUI1();
    case VarType::I2:
      return v.AsI2();
    case VarType::Bool:
      return v.AsBool();
    case VarType::I4:
      return v.AsI4();
    default:
      return 0;
  }
}

// An integer result of the given rank, promoted to the next rank when it does not fit.
Variant IntegerResult(int64_t value, Rank rank) {
  if (rank == Rank::Byte && value >= 0 && value <= 255) {
    return Variant::Byte(static_cast<uint8_t>(value));
  }
  if (rank <= Rank::Integer && value >= INT16_MIN && value <= INT16_MAX) {
    return Variant(static_cast<int16_t>(value));
  }
  if (value >= INT32_MIN && value <= INT32_MAX) return Variant(static_cast<int32_t>(value));
  return Variant(static_cast<double>(value));
}

Variant DoubleResult(double value) {
  if (!std::isfinite(value)) Raise(RuntimeError::Overflow);
  return Variant(value);
}

Variant DateResult(double value) {
  if (!(value >= platform::kMinDate && value < platform::kMaxDate + 1e-5)) {
    Raise(RuntimeError::Overflow);
  }
  return Variant::Date(value);
}

bool IsIntegral(Rank rank) {
  return rank == Rank::Empty || rank == Rank::Byte || rank == Rank::Integer || rank == Rank::Long;
}

// +, - and * between numbers.
Variant Arithmetic(Op op, const Variant& a0, const Variant& b0) {
  Variant ta, tb;
  const Variant& a = Plain(a0, ta);
  const Variant& b = Plain(b0, tb);
  Rank ra = RankOf(a.Type()), rb = RankOf(b.Type());
  if (ra == Rank::Null || rb == Rank::Null) return Variant::Null();
  if (ra == Rank::Bad || rb == Rank::Bad) Raise(RuntimeError::TypeMismatch);
  if (op == Op::Add) {
    // + joins two strings, and a string with Empty is that string.
    if (ra == Rank::String && (rb == Rank::String || rb == Rank::Empty)) {
      return rb == Rank::Empty ? a : Variant(a.AsBStr() + b.AsBStr());
    }
    if (rb == Rank::String && ra == Rank::Empty) return b;
  }
  if (ra == Rank::Empty && rb == Rank::Empty) return Variant(int16_t{0});
  if (ra == Rank::String) ra = Rank::Double;
  if (rb == Rank::String) rb = Rank::Double;
  if (ra == Rank::Empty) ra = rb;
  if (rb == Rank::Empty) rb = ra;
  if (ra == Rank::Date || rb == Rank::Date) {
    double x = a.ToR8(), y = b.ToR8();
    if (op == Op::Add) return DateResult(x + y);
    if (op == Op::Sub) {
      if (ra == Rank::Date && rb == Rank::Date) return DoubleResult(x - y);
      return DateResult(x - y);
    }
    return DoubleResult(x * y);
  }
  Rank rank = std::max(ra, rb);
  if (rank == Rank::Single && (ra == Rank::Long || rb == Rank::Long)) rank = Rank::Double;
  if (rank == Rank::Single && (ra == Rank::Currency || rb == Rank::Currency)) rank = Rank::Double;
  if (rank == Rank::Currency) {
    // Exact in ten-thousandths; a result out of range is an overflow, not a Double.
    int64_t x = a.ToCy(), y = b.ToCy();
    if (op == Op::Mul) return Variant::Currency(platform::checked::MulCurrency(x, y));
    return Variant::Currency(op == Op::Add ? platform::checked::AddCurrency(x, y)
                                           : platform::checked::SubCurrency(x, y));
  }
  if (IsIntegral(rank)) {
    int64_t x = IntegerOf(a), y = IntegerOf(b);
    int64_t r = op == Op::Add ? x + y : op == Op::Sub ? x - y : x * y;
    return IntegerResult(r, rank);
  }
  if (rank == Rank::Single) {
    float x = a.ToR4(), y = b.ToR4();
    float r = op == Op::Add ? x + y : op == Op::Sub ? x - y : x * y;
    if (std::isfinite(r)) return Variant(r);
  }
  double x = a.ToR8(), y = b.ToR8();
  return DoubleResult(op == Op::Add ? x + y : op == Op::Sub ? x - y : x * y);
}

Variant Divide(const Variant& a0, const Variant& b0) {
  Variant ta, tb;
  const Variant& a = Plain(a0, ta);
  const Variant& b = Plain(b0, tb);
  Rank ra = RankOf(a.Type()), rb = RankOf(b.Type());
  if (ra == Rank::Null || rb == Rank::Null) return Variant::Null();
  if (ra == Rank::Bad || rb == Rank::Bad) Raise(RuntimeError::TypeMismatch);
  double x = a.ToR8(), y = b.ToR8();
  if (y == 0.0) Raise(x == 0.0 ? RuntimeError::Overflow : RuntimeError::DivisionByZero);
  bool single = (ra == Rank::Single || rb == Rank::Single) && ra <= Rank::Single &&
                rb <= Rank::Single && ra != Rank::Long && rb != Rank::Long &&
                ra != Rank::Currency && rb != Rank::Currency;
  double r = x / y;
  if (single && std::fabs(r) <= std::numeric_limits<float>::max()) {
    return Variant(static_cast<float>(r));
  }
  return DoubleResult(r);
}

// \ and Mod: both operands become integers (rounded half to even).
Variant IntegerDivide(Op op, const Variant& a0, const Variant& b0) {
  Variant ta, tb;
  const Variant& a = Plain(a0, ta);
  const Variant& b = Plain(b0, tb);
  Rank ra = RankOf(a.Type()), rb = RankOf(b.Type());
  if (ra == Rank::Null || rb == Rank::Null) return Variant::Null();
  if (ra == Rank::Bad || rb == Rank::Bad) Raise(RuntimeError::TypeMismatch);
  auto integer = [](const Variant& v, Rank& rank) -> int64_t {
    if (rank == Rank::Empty) {
      rank = Rank::Integer;
      return 0;
    }
    if (rank <= Rank::Long) return IntegerOf(v);
    rank = Rank::Long;
    return platform::checked::DoubleToInt32(v.ToR8());
  };
  int64_t x = integer(a, ra), y = integer(b, rb);
  if (y == 0) Raise(RuntimeError::DivisionByZero);
  int64_t r = op == Op::IntDiv ? x / y : x % y;
  Rank rank = std::max(ra, rb);
  if (rank == Rank::Long && (r < INT32_MIN || r > INT32_MAX)) Raise(RuntimeError::Overflow);
  return IntegerResult(r, rank);
}

Variant Power(const Variant& a0, const Variant& b0) {
  Variant ta, tb;
  const Variant& a = Plain(a0, ta);
  const Variant& b = Plain(b0, tb);
  if (a.IsNull() || b.IsNull()) return Variant::Null();
  if (RankOf(a.Type()) == Rank::Bad || RankOf(b.Type()) == Rank::Bad) {
    Raise(RuntimeError::TypeMismatch);
  }
  double x = a.ToR8(), y = b.ToR8();
  if (x < 0 && y != std::floor(y)) Raise(RuntimeError::InvalidProcedureCall);
  double r = std::pow(x, y);
  if (std::isnan(r)) Raise(RuntimeError::InvalidProcedureCall);
  if (std::isinf(r)) Raise(x == 0.0 ? RuntimeError::DivisionByZero : RuntimeError::Overflow);
  return Variant(r);
}

// ---------------------------------------------------------------------------------------------
// Comparisons

enum class Class : uint8_t { Empty, Number, String };

int CompareNumbers(const Variant& a, const Variant& b) {
  Rank ra = RankOf(a.Type()), rb = RankOf(b.Type());
  if (IsIntegral(ra) && IsIntegral(rb)) {
    int64_t x = IntegerOf(a), y = IntegerOf(b);
    return x < y ? -1 : x > y ? 1 : 0;
  }
  if ((ra == Rank::Currency || IsIntegral(ra)) && (rb == Rank::Currency || IsIntegral(rb))) {
    int64_t x = a.ToCy(), y = b.ToCy();
    return x < y ? -1 : x > y ? 1 : 0;
  }
  double x = a.ToR8(), y = b.ToR8();
  if (ra == Rank::Single || rb == Rank::Single) {
    // A Single compares at its own precision, also with a Double: CSng(0.1) = 0.1.
    float fx = static_cast<float>(x), fy = static_cast<float>(y);
    return fx < fy ? -1 : fx > fy ? 1 : 0;
  }
  return x < y ? -1 : x > y ? 1 : 0;
}

int CompareStrings(const std::u16string& x, const std::u16string& y) {
  int c = x.compare(y);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

bool Holds(Op op, int c) {
  switch (op) {
    case Op::Eq:
      return c == 0;
    case Op::Ne:
      return c != 0;
    case Op::Lt:
      return c < 0;
    case Op::Gt:
      return c > 0;
    case Op::Le:
      return c <= 0;
    default:
      return c >= 0;
  }
}

Variant Compare(Op op, const Variant& a0, const Variant& b0, bool aHard, bool bHard) {
  VarType typeA = a0.Type(), typeB = b0.Type();
  if (typeA == typeB) {
    // Fast paths for the common cases.
    if (typeA == VarType::I2) return Variant::Bool(Holds(op, CompareNumbers(a0, b0)));
    if (typeA == VarType::I4) return Variant::Bool(Holds(op, CompareNumbers(a0, b0)));
    if (typeA == VarType::BStr) {
      return Variant::Bool(Holds(op, CompareStrings(a0.AsBStr(), b0.AsBStr())));
    }
  }
  Variant ta, tb;
  const Variant& a = Plain(a0, ta);
  const Variant& b = Plain(b0, tb);
  Rank ra = RankOf(a.Type()), rb = RankOf(b.Type());
  if (ra == Rank::Null || rb == Rank::Null) return Variant::Null();
  if (ra == Rank::Bad || rb == Rank::Bad) Raise(RuntimeError::TypeMismatch);
  auto classOf = [](Rank r) {
    return r == Rank::Empty ? Class::Empty : r == Rank::String ? Class::String : Class::Number;
  };
  Class ca = classOf(ra), cb = classOf(rb);
  int c = 0;
  if (ca == Class::Empty && cb == Class::Empty) {
    c = 0;
  } else if (ca == Class::Empty) {
    c = cb == Class::String ? CompareStrings(u"", b.AsBStr()) : CompareNumbers(Variant(0), b);
  } else if (cb == Class::Empty) {
    c = ca == Class::String ? CompareStrings(a.AsBStr(), u"") : CompareNumbers(a, Variant(0));
  } else if (ca == cb) {
    c = ca == Class::String ? CompareStrings(a.AsBStr(), b.AsBStr()) : CompareNumbers(a, b);
  } else {
    bool aNumber = ca == Class::Number;
    bool numberHard = aNumber ? aHard : bHard;
    bool stringHard = aNumber ? bHard : aHard;
    const Variant& text = aNumber ? b : a;
    if (numberHard && !stringHard && text.IsNumeric()) {
      // A literal number against a string that reads as a number compares as numbers.
      Variant number(text.ToR8());
      c = aNumber ? CompareNumbers(a, number) : CompareNumbers(number, b);
    } else if (stringHard && !numberHard) {
      c = aNumber ? CompareStrings(a.ToBStr(), b.AsBStr()) : CompareStrings(a.AsBStr(), b.ToBStr());
    } else {
      c = aNumber ? -1 : 1;  // a number is less than a string
    }
  }
  return Variant::Bool(Holds(op, c));
}

// ---------------------------------------------------------------------------------------------
// Logical operators: bitwise on integers, Boolean on Booleans.

struct Logical {
  enum class Kind : uint8_t { Null, Bool, Byte, Integer, Long } kind;
  int32_t bits;
};

Logical LogicalOf(const Variant& v0) {
  Variant temp;
  const Variant& v = Plain(v0, temp);
  switch (v.Type()) {
    case VarType::Null:
      return {Logical::Kind::Null, 0};
    case VarType::Empty:
      return {Logical::Kind::Integer, 0};
    case VarType::Bool:
      return {Logical::Kind::Bool, v.AsBool()};
    case VarType::UI1:
      return {Logical::Kind::Byte, v.AsUI1()};
    case VarType::I2:
      return {Logical::Kind::Integer, v.AsI2()};
    case VarType::I4:
      return {Logical::Kind::Long, v.AsI4()};
    case VarType::R4:
    case VarType::R8:
    case VarType::Cy:
    case VarType::Date:
      return {Logical::Kind::Long, platform::checked::DoubleToInt32(v.ToR8())};
    case VarType::BStr: {
      const std::u16string& text = v.AsBStr();
      if (platform::EqualsNoCase(text, "true") || platform::EqualsNoCase(text, "false") ||
          platform::EqualsNoCase(text, "#true#") || platform::EqualsNoCase(text, "#false#")) {
        return {Logical::Kind::Bool, v.ToBool()};
      }
      return {Logical::Kind::Long, platform::checked::DoubleToInt32(v.ToR8())};
    }
    default:
      Raise(RuntimeError::TypeMismatch);
  }
}

Variant LogicalResult(int32_t bits, Logical::Kind kind) {
  switch (kind) {
    case Logical::Kind::Bool:
      return Variant::Bool(bits != 0);
    case Logical::Kind::Byte:
      return Variant::Byte(static_cast<uint8_t>(bits));
    case Logical::Kind::Integer:
      return Variant(static_cast<int16_t>(bits));
    case Logical::Kind::Long:
      return Variant(bits);
    default:
      return Variant::Null();
  }
}

int32_t AllOnes(Logical::Kind kind) {
  return kind == Logical::Kind::Byte ? 0xFF : -1;
}

Variant LogicalOp(Op op, const Variant& a0, const Variant& b0) {
  Logical a = LogicalOf(a0), b = LogicalOf(b0);
  using Kind = Logical::Kind;
  if (a.kind == Kind::Null || b.kind == Kind::Null) {
    const Logical& other = a.kind == Kind::Null ? b : a;
    bool bothNull = a.kind == Kind::Null && b.kind == Kind::Null;
    switch (op) {
      case Op::And:
        // Null And False is False; Null And anything else is Null.
        if (!bothNull && other.bits == 0) return LogicalResult(0, other.kind);
        return Variant::Null();
      case Op::Or:
        if (!bothNull && other.bits == AllOnes(other.kind))
          return LogicalResult(other.bits, other.kind);
        return Variant::Null();
      case Op::Imp:
        // False Imp Null is True; Null Imp True is True.
        if (b.kind == Kind::Null && a.kind != Kind::Null && a.bits == 0) {
          return LogicalResult(AllOnes(a.kind), a.kind);
        }
        if (a.kind == Kind::Null && b.kind != Kind::Null && b.bits == AllOnes(b.kind)) {
          return LogicalResult(b.bits, b.kind);
        }
        return Variant::Null();
      default:
        return Variant::Null();
    }
  }
  Kind kind;
  if (a.kind == Kind::Bool && b.kind == Kind::Bool) {
    kind = Kind::Bool;
  } else if (a.kind == Kind::Byte && b.kind == Kind::Byte) {
    kind = Kind::Byte;
  } else {
    kind = std::max(std::max(a.kind, b.kind), Kind::Integer);
  }
  int32_t r = 0;
  switch (op) {
    case Op::And:
      r = a.bits & b.bits;
      break;
    case Op::Or:
      r = a.bits | b.bits;
      break;
    case Op::Xor:
      r = a.bits ^ b.bits;
      break;
    case Op::Eqv:
      r = ~(a.bits ^ b.bits);
      break;
    default:
      r = ~a.bits | b.bits;
      break;
  }
  return LogicalResult(r, kind);
}

void AppendBytes(std::vector<uint8_t>& out, const Variant& v) {
  switch (v.Type()) {
    case VarType::Null:
    case VarType::Empty:
      return;
    case VarType::ByteArray: {
      auto bytes = v.AsByteArray().Bytes();
      out.insert(out.end(), bytes.begin(), bytes.end());
      return;
    }
    case VarType::BStr: {
      std::vector<uint8_t> bytes = v.StringBytes();
      out.insert(out.end(), bytes.begin(), bytes.end());
      return;
    }
    default: {
      std::vector<uint8_t> bytes = Variant(v.ToBStr()).StringBytes();
      out.insert(out.end(), bytes.begin(), bytes.end());
      return;
    }
  }
}

bool IsByteData(const Variant& v) {
  return v.Type() == VarType::ByteArray || (v.IsString() && v.StringByteLength() % 2 != 0);
}

}  // namespace

Variant DefaultValue(const Variant& value) {
  Variant current = value;
  for (int i = 0; current.IsObject(); ++i) {
    const platform::ObjectRef& object = current.AsObject();
    if (!object) Raise(RuntimeError::ObjectNotSet);
    if (i == 8) Raise(RuntimeError::TypeMismatch);
    Variant next =
        object->Invoke(platform::kDispIdValue,
                       platform::InvokeKind::Method | platform::InvokeKind::PropertyGet, {});
    current = std::move(next);
  }
  return current;
}

Variant Binary(Op op, const Variant& a, const Variant& b, bool aHard, bool bHard) {
  switch (op) {
    case Op::Add:
    case Op::Sub:
    case Op::Mul:
      // Integers that stay integers, the common case of loops and counters.
      if (a.Type() == VarType::I2 && b.Type() == VarType::I2) {
        int32_t x = a.AsI2(), y = b.AsI2();
        return IntegerResult(op == Op::Add ? x + y : op == Op::Sub ? x - y : x * y, Rank::Integer);
      }
      if (a.Type() == VarType::I4 && b.Type() == VarType::I4) {
        int64_t x = a.AsI4(), y = b.AsI4();
        return IntegerResult(op == Op::Add ? x + y : op == Op::Sub ? x - y : x * y, Rank::Long);
      }
      if (a.Type() == VarType::R8 && b.Type() == VarType::R8) {
        double x = a.AsR8(), y = b.AsR8();
        return DoubleResult(op == Op::Add ? x + y : op == Op::Sub ? x - y : x * y);
      }
      return Arithmetic(op, a, b);
    case Op::Div:
      return Divide(a, b);
    case Op::IntDiv:
    case Op::Mod:
      return IntegerDivide(op, a, b);
    case Op::Pow:
      return Power(a, b);
    case Op::Eq:
    case Op::Ne:
    case Op::Lt:
    case Op::Gt:
    case Op::Le:
    case Op::Ge:
      return Compare(op, a, b, aHard, bHard);
    case Op::And:
    case Op::Or:
    case Op::Xor:
    case Op::Eqv:
    case Op::Imp:
      if (a.Type() == VarType::Bool && b.Type() == VarType::Bool) {
        bool x = a.AsBool() != 0, y = b.AsBool() != 0;
        switch (op) {
          case Op::And:
            return Variant::Bool(x && y);
          case Op::Or:
            return Variant::Bool(x || y);
          case Op::Xor:
            return Variant::Bool(x != y);
          case Op::Eqv:
            return Variant::Bool(x == y);
          default:
            return Variant::Bool(!x || y);
        }
      }
      return LogicalOp(op, a, b);
    default:
      Raise(RuntimeError::TypeMismatch);
  }
}

Variant Concat(const Variant& a0, const Variant& b0, size_t maxLength) {
  if (a0.IsString() && b0.IsString() && !IsByteData(a0) && !IsByteData(b0)) {
    const std::u16string& x = a0.AsBStr();
    const std::u16string& y = b0.AsBStr();
    if (x.size() + y.size() > maxLength) Raise(RuntimeError::OutOfMemory);
    std::u16string joined;
    joined.reserve(x.size() + y.size());
    joined.append(x).append(y);
    return Variant(std::move(joined));
  }
  Variant ta, tb;
  const Variant& a = Plain(a0, ta);
  const Variant& b = Plain(b0, tb);
  if (a.IsNull() && b.IsNull()) return Variant::Null();
  if (a.Type() == VarType::VariantArray || b.Type() == VarType::VariantArray) {
    Raise(RuntimeError::TypeMismatch);
  }
  if (IsByteData(a) || IsByteData(b)) {
    std::vector<uint8_t> bytes;
    AppendBytes(bytes, a);
    AppendBytes(bytes, b);
    if (bytes.size() / 2 > maxLength) Raise(RuntimeError::OutOfMemory);
    return Variant::ByteString(bytes);
  }
  std::u16string x = a.IsNull() ? std::u16string() : a.ToBStr();
  std::u16string y = b.IsNull() ? std::u16string() : b.ToBStr();
  if (x.size() + y.size() > maxLength) Raise(RuntimeError::OutOfMemory);
  x += y;
  return Variant(std::move(x));
}

Variant Unary(Op op, const Variant& a0) {
  if (op == Op::Plus && a0.IsObject()) return a0;  // +obj is the object itself
  Variant temp;
  const Variant& a = Plain(a0, temp);
  switch (a.Type()) {
    case VarType::Null:
      return Variant::Null();
    case VarType::VariantArray:
    case VarType::ByteArray:
    case VarType::Error:
    case VarType::Dispatch:
      Raise(RuntimeError::TypeMismatch);
    default:
      break;
  }
  if (op == Op::Plus) return a;
  if (op == Op::Not) {
    Logical v = LogicalOf(a);
    if (a.IsEmpty()) return Variant(int16_t{-1});
    return LogicalResult(~v.bits, v.kind);
  }
  switch (a.Type()) {
    case VarType::Empty:
      return Variant(int16_t{0});
    case VarType::Bool:
    case VarType::UI1:
      return Variant(static_cast<int16_t>(-IntegerOf(a)));
    case VarType::I2:
      return IntegerResult(-int64_t{a.AsI2()}, Rank::Integer);
    case VarType::I4:
      return IntegerResult(-int64_t{a.AsI4()}, Rank::Long);
    case VarType::R4:
      return Variant(-a.AsR4());
    case VarType::R8:
      return Variant(-a.AsR8());
    case VarType::Cy:
      return Variant::Currency(platform::checked::SubCurrency(0, a.AsCy()));
    case VarType::Date:
      return DateResult(-a.AsDate());
    default:
      return Variant(-a.ToR8());
  }
}

bool Is(const Variant& a, const Variant& b) {
  if (!a.IsObject() || !b.IsObject()) Raise(RuntimeError::ObjectRequired);
  return a.AsObject().get() == b.AsObject().get();
}

bool IsTrue(const Variant& value) {
  switch (value.Type()) {
    case VarType::Bool:
      return value.AsBool() != 0;
    case VarType::I2:
      return value.AsI2() != 0;
    case VarType::I4:
      return value.AsI4() != 0;
    case VarType::Empty:
    case VarType::Null:
      return false;
    case VarType::Dispatch:
      return IsTrue(DefaultValue(value));
    case VarType::VariantArray:
    case VarType::ByteArray:
    case VarType::Error:
      Raise(RuntimeError::TypeMismatch);
    default:
      return value.ToBool() != 0;
  }
}

Variant ToNumber(const Variant& value) {
  switch (value.Type()) {
    case VarType::Empty:
      return Variant(int16_t{0});
    case VarType::Null:
      Raise(RuntimeError::InvalidUseOfNull);
    case VarType::Bool:
      return Variant(static_cast<int16_t>(value.AsBool()));
    case VarType::UI1:
    case VarType::I2:
    case VarType::I4:
    case VarType::R4:
    case VarType::R8:
    case VarType::Cy:
    case VarType::Date:
      return value;
    case VarType::BStr:
      return Variant(value.ToR8());
    case VarType::Dispatch:
      return ToNumber(DefaultValue(value));
    default:
      Raise(RuntimeError::TypeMismatch);
  }
}

Variant AddCounter(const Variant& a, const Variant& b) {
  return Binary(Op::Add, a, b);
}

bool PastEnd(const Variant& counter, const Variant& end, bool positive) {
  if (counter.Type() == VarType::I2 && end.Type() == VarType::I2) {
    return positive ? counter.AsI2() > end.AsI2() : counter.AsI2() < end.AsI2();
  }
  if (counter.Type() == VarType::I4 && end.Type() == VarType::I4) {
    return positive ? counter.AsI4() > end.AsI4() : counter.AsI4() < end.AsI4();
  }
  return IsTrue(Compare(positive ? Op::Gt : Op::Lt, counter, end, false, false));
}

}  // namespace corvella::script::ops
