#include "builtins.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

#include "corvella/platform/checked.h"
#include "corvella/platform/dispatch.h"
#include "corvella/platform/error.h"
#include "corvella/platform/run_limits.h"
#include "corvella/platform/text.h"
#include "interpreter.h"
#include "lexer.h"
#include "operators.h"
#include "text_case.h"
#include "text_search.h"

namespace corvella::script {

using platform::ByteArray;
using platform::ObjectRef;
using platform::Raise;
using platform::RuntimeError;
using platform::Variant;
using platform::VariantArray;
using platform::VarType;

namespace {

using Args = BuiltinArgs;

// ---------------------------------------------------------------------------------------------
// Helpers

[[noreturn]] void InvalidArgument() {
  Raise(RuntimeError::InvalidProcedureCall);
}

std::u16string Text(const Variant& value) {
  return value.ToBStr();
}

int32_t Long(const Variant& value) {
  return value.ToI4();
}

// The compare argument of the string functions: 0 binary, 1 text (case-insensitive).
bool TextCompare(const Args& args, size_t i) {
  if (!args.Has(i)) return false;
  if (args[i].IsNull()) Raise(RuntimeError::InvalidUseOfNull);
  int32_t mode = Long(args[i]);
  if (mode < 0 || mode > 1) InvalidArgument();
  return mode != 0;
}

// Characters, not bytes: a string with a lone byte counts whole characters only.
size_t CharLength(const Variant& text) {
  return text.StringByteLength() / 2;
}

std::u16string Fold(std::u16string_view text, bool textCompare) {
  return textCompare ? Lower(text) : std::u16string(text);
}

// Position (0-based) of @p what in @p text at or after @p from, or npos; linear in both.
size_t Find(std::u16string_view text, std::u16string_view what, size_t from, bool textCompare) {
  if (!textCompare) return TextSearcher(what).Find(text, from);
  return TextSearcher(Lower(what)).Find(Lower(text), from);
}

// The bytes of a string or byte array, as the byte functions see them.
std::vector<uint8_t> BytesOf(const Variant& value) {
  if (value.Type() == VarType::ByteArray) {
    auto bytes = value.AsByteArray().Bytes();
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
  }
  if (value.IsString()) return value.StringBytes();
  return Variant(value.ToBStr()).StringBytes();
}

size_t ByteLength(const Variant& value) {
  if (value.Type() == VarType::ByteArray) return value.AsByteArray().Size();
  if (value.IsString()) return value.StringByteLength();
  return value.ToBStr().size() * 2;
}

Variant LocalNow() {
  auto now = std::chrono::system_clock::now();
  std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  return Variant::Date(platform::MakeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                          local.tm_hour, local.tm_min, local.tm_sec));
}

double DateOf(const Variant& value) {
  return value.ToDate();
}

// ---------------------------------------------------------------------------------------------
// Strings

Variant Len(Interpreter&, const Args& a) {
  const Variant& v = a[0];
  if (v.IsNull()) return Variant::Null();
  if (v.IsString()) return Variant(static_cast<int32_t>(CharLength(v)));
  if (v.IsArray()) Raise(RuntimeError::TypeMismatch);
  return Variant(static_cast<int32_t>(Text(v).size()));
}

Variant LenB(Interpreter&, const Args& a) {
  if (a[0].IsNull()) return Variant::Null();
  if (a[0].Type() == VarType::VariantArray) Raise(RuntimeError::TypeMismatch);
  return Variant(static_cast<int32_t>(ByteLength(a[0])));
}

Variant Left(Interpreter&, const Args& a) {
  int32_t n = Long(a[1]);
  if (n < 0) InvalidArgument();
  if (a[0].IsNull()) return Variant::Null();
  std::u16string s = Text(a[0]);
  return Variant(s.substr(0, static_cast<size_t>(n)));
}

Variant Right(Interpreter&, const Args& a) {
  int32_t n = Long(a[1]);
  if (n < 0) InvalidArgument();
  if (a[0].IsNull()) return Variant::Null();
  std::u16string s = Text(a[0]);
  size_t count = std::min(s.size(), static_cast<size_t>(n));
  return Variant(s.substr(s.size() - count));
}

Variant Mid(Interpreter&, const Args& a) {
  if (a[1].IsNull() || (a.Has(2) && a[2].IsNull())) Raise(RuntimeError::InvalidUseOfNull);
  int32_t start = Long(a[1]);
  if (start < 1 || (a.Has(2) && Long(a[2]) < 0)) InvalidArgument();
  if (a[0].IsNull()) return Variant::Null();
  std::u16string s = Text(a[0]);
  size_t from = static_cast<size_t>(start) - 1;
  if (from >= s.size()) return Variant(std::u16string());
  size_t count = std::u16string::npos;
  if (a.Has(2)) {
    int32_t n = Long(a[2]);
    if (n < 0) InvalidArgument();
    count = static_cast<size_t>(n);
  }
  return Variant(s.substr(from, count));
}

Variant LeftB(Interpreter&, const Args& a) {
  if (a[0].IsNull()) return Variant::Null();
  int32_t n = Long(a[1]);
  if (n < 0) InvalidArgument();
  std::vector<uint8_t> bytes = BytesOf(a[0]);
  bytes.resize(std::min(bytes.size(), static_cast<size_t>(n)));
  return Variant::ByteString(bytes);
}

Variant RightB(Interpreter&, const Args& a) {
  if (a[0].IsNull()) return Variant::Null();
  int32_t n = Long(a[1]);
  if (n < 0) InvalidArgument();
  std::vector<uint8_t> bytes = BytesOf(a[0]);
  size_t count = std::min(bytes.size(), static_cast<size_t>(n));
  return Variant::ByteString(std::span<const uint8_t>(bytes).subspan(bytes.size() - count));
}

Variant MidB(Interpreter&, const Args& a) {
  if (a[0].IsNull()) return Variant::Null();
  int32_t start = Long(a[1]);
  if (start < 1) InvalidArgument();
  size_t count = std::numeric_limits<size_t>::max();
  if (a.Has(2)) {
    int32_t n = Long(a[2]);
    if (n < 0) InvalidArgument();
    count = static_cast<size_t>(n);
  }
  auto from = static_cast<size_t>(start) - 1;
  if (a[0].Type() == VarType::ByteArray) {
    auto bytes = a[0].AsByteArray().Bytes();
    if (from >= bytes.size()) return Variant(std::u16string());
    return Variant::ByteString(bytes.subspan(from, std::min(count, bytes.size() - from)));
  }
  std::vector<uint8_t> bytes = BytesOf(a[0]);
  if (from >= bytes.size()) return Variant(std::u16string());
  return Variant::ByteString(
      std::span<const uint8_t>(bytes).subspan(from, std::min(count, bytes.size() - from)));
}

Variant InStr(Interpreter&, const Args& a) {
  size_t first = a.size() >= 3 ? 1 : 0;
  int32_t start = 1;
  if (first == 1) {
    if (a[0].IsNull()) Raise(RuntimeError::InvalidUseOfNull);
    start = Long(a[0]);
    if (start < 1) InvalidArgument();
  }
  const Variant& text = a[first];
  const Variant& what = a[first + 1];
  bool textCompare = first == 1 && TextCompare(a, 3);
  if (text.IsNull() || what.IsNull()) return Variant::Null();
  std::u16string s = Text(text), w = Text(what);
  if (s.empty()) return Variant(0);
  if (static_cast<size_t>(start) > s.size()) return Variant(0);
  if (w.empty()) return Variant(start);
  size_t at = Find(s, w, static_cast<size_t>(start) - 1, textCompare);
  return Variant(at == std::u16string::npos ? 0 : static_cast<int32_t>(at + 1));
}

Variant InStrB(Interpreter&, const Args& a) {
  size_t first = a.size() >= 3 ? 1 : 0;
  int32_t start = 1;
  if (first == 1) {
    start = Long(a[0]);
    if (start < 1) InvalidArgument();
  }
  const Variant& text = a[first];
  const Variant& what = a[first + 1];
  if (text.IsNull() || what.IsNull()) return Variant::Null();
  std::vector<uint8_t> s = BytesOf(text), w = BytesOf(what);
  if (s.empty() || static_cast<size_t>(start) > s.size()) return Variant(0);
  if (w.empty()) return Variant(start);
  auto it = std::search(s.begin() + (start - 1), s.end(), w.begin(), w.end());
  return Variant(it == s.end() ? 0 : static_cast<int32_t>(it - s.begin() + 1));
}

Variant InStrRev(Interpreter&, const Args& a) {
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].IsNull()) Raise(RuntimeError::InvalidUseOfNull);
  }
  int32_t start = a.Has(2) ? Long(a[2]) : -1;
  if (start == 0 || start < -1) InvalidArgument();
  bool textCompare = TextCompare(a, 3);
  std::u16string s = Fold(Text(a[0]), textCompare), w = Fold(Text(a[1]), textCompare);
  if (s.empty()) return Variant(0);
  if (start == -1) start = static_cast<int32_t>(s.size());
  if (w.empty()) return Variant(start);
  if (static_cast<size_t>(start) > s.size()) return Variant(0);
  if (w.size() > static_cast<size_t>(start)) return Variant(0);
  size_t at = TextSearcher(w).FindLast(s, static_cast<size_t>(start) - w.size());
  return Variant(at == std::u16string::npos ? 0 : static_cast<int32_t>(at + 1));
}

Variant Replace(Interpreter& rt, const Args& a) {
  std::u16string s = Text(a[0]), find = Text(a[1]), with = Text(a[2]);
  int32_t start = a.Has(3) ? Long(a[3]) : 1;
  int32_t count = a.Has(4) ? Long(a[4]) : -1;
  if (start < 1 || count < -1) InvalidArgument();
  bool textCompare = TextCompare(a, 5);
  // The result begins at start: what lies before it is dropped.
  if (static_cast<size_t>(start) > s.size()) return Variant(std::u16string());
  s.erase(0, static_cast<size_t>(start) - 1);
  if (find.empty() || count == 0) return Variant(std::move(s));
  std::u16string folded = textCompare ? Lower(s) : std::u16string();
  std::u16string foldedFind = textCompare ? Lower(find) : std::u16string();
  const std::u16string& haystack = textCompare ? folded : s;
  const std::u16string& needle = textCompare ? foldedFind : find;
  TextSearcher searcher(needle);
  std::u16string out;
  size_t pos = 0;
  int32_t done = 0;
  while (count < 0 || done < count) {
    size_t at = searcher.Find(haystack, pos);
    if (at == std::u16string::npos) break;
    out.append(s, pos, at - pos);
    out += with;
    rt.CheckStringLength(out.size());
    if ((done & 0xFFF) == 0) platform::CheckInterrupt();
    pos = at + find.size();
    ++done;
  }
  out.append(s, pos, std::u16string::npos);
  rt.CheckStringLength(out.size());
  return Variant(std::move(out));
}

Variant UCase(Interpreter&, const Args& a) {
  if (a[0].IsNull()) return Variant::Null();
  return Variant(Upper(Text(a[0])));
}

Variant LCase(Interpreter&, const Args& a) {
  if (a[0].IsNull()) return Variant::Null();
  return Variant(Lower(Text(a[0])));
}

Variant TrimSides(const Args& a, bool left, bool right) {
  if (a[0].IsNull()) return Variant::Null();
  std::u16string s = Text(a[0]);
  size_t begin = 0, end = s.size();
  if (left) {
    while (begin < end && s[begin] == u' ')
      ++begin;
  }
  if (right) {
    while (end > begin && s[end - 1] == u' ')
      --end;
  }
  return Variant(s.substr(begin, end - begin));
}

Variant Trim(Interpreter&, const Args& a) {
  return TrimSides(a, true, true);
}
Variant LTrim(Interpreter&, const Args& a) {
  return TrimSides(a, true, false);
}
Variant RTrim(Interpreter&, const Args& a) {
  return TrimSides(a, false, true);
}

Variant Space(Interpreter& rt, const Args& a) {
  int32_t n = Long(a[0]);
  if (n < 0) InvalidArgument();
  rt.CheckStringLength(static_cast<size_t>(n));
  return Variant(std::u16string(static_cast<size_t>(n), u' '));
}

Variant StringOf(Interpreter& rt, const Args& a) {
  if (a[0].IsNull() || a[1].IsNull()) return Variant::Null();
  int32_t n = Long(a[0]);
  if (n < 0) InvalidArgument();
  char16_t c;
  if (a[1].IsString()) {
    const std::u16string& text = a[1].AsBStr();
    if (text.empty()) InvalidArgument();
    c = text[0];
  } else {
    int32_t code = Long(a[1]);
    if (code < 0) InvalidArgument();
    c = static_cast<char16_t>(code % 256);
  }
  rt.CheckStringLength(static_cast<size_t>(n));
  return Variant(std::u16string(static_cast<size_t>(n), c));
}

Variant StrReverse(Interpreter&, const Args& a) {
  std::u16string s = Text(a[0]);
  std::reverse(s.begin(), s.end());
  return Variant(std::move(s));
}

Variant StrComp(Interpreter&, const Args& a) {
  if (a[0].IsNull() || a[1].IsNull()) return Variant::Null();
  bool textCompare = TextCompare(a, 2);
  std::u16string x = Fold(Text(a[0]), textCompare), y = Fold(Text(a[1]), textCompare);
  int c = x.compare(y);
  return Variant(static_cast<int16_t>(c < 0 ? -1 : c > 0 ? 1 : 0));
}

Variant Chr(Interpreter&, const Args& a) {
  int32_t code = Long(a[0]);
  // Codes 128 .. 255 are the Latin-1 characters of the same number, so that Asc(Chr(n)) = n.
  if (code < 0 || code > 255) InvalidArgument();
  return Variant(std::u16string(1, static_cast<char16_t>(code)));
}

Variant ChrW(Interpreter&, const Args& a) {
  int32_t code = Long(a[0]);
  if (code < -32768 || code > 65535) InvalidArgument();
  return Variant(std::u16string(1, static_cast<char16_t>(code & 0xFFFF)));
}

Variant ChrB(Interpreter&, const Args& a) {
  int32_t code = Long(a[0]);
  if (code < 0 || code > 255) InvalidArgument();
  const uint8_t byte = static_cast<uint8_t>(code);
  return Variant::ByteString(std::span<const uint8_t>(&byte, 1));
}

Variant Asc(Interpreter&, const Args& a) {
  std::u16string s = Text(a[0]);
  if (s.empty()) InvalidArgument();
  char16_t c = s[0];
  return Variant(static_cast<int16_t>(c <= 0xFF ? c : u'?'));
}

Variant AscW(Interpreter&, const Args& a) {
  std::u16string s = Text(a[0]);
  if (s.empty()) InvalidArgument();
  return Variant(static_cast<int16_t>(s[0]));
}

Variant AscB(Interpreter&, const Args& a) {
  if (a[0].IsNull()) Raise(RuntimeError::InvalidUseOfNull);
  std::vector<uint8_t> bytes = BytesOf(a[0]);
  if (bytes.empty()) InvalidArgument();
  return Variant::Byte(bytes[0]);
}

Variant Radix(const Args& a, int bits) {
  const Variant& v = a[0];
  if (v.IsNull()) return Variant::Null();
  uint32_t value;
  switch (v.Type()) {
    case VarType::Empty:
      value = 0;
      break;
    case VarType::I2:
    case VarType::Bool:
    case VarType::UI1:
      value = static_cast<uint16_t>(v.ToI2());
      break;
    default:
      value = static_cast<uint32_t>(v.ToI4());
      break;
  }
  const char* format = bits == 4 ? "%X" : "%o";
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, format, value);
  std::string ascii(buffer);
  return Variant(std::u16string(ascii.begin(), ascii.end()));
}

Variant Hex(Interpreter&, const Args& a) {
  return Radix(a, 4);
}
Variant Oct(Interpreter&, const Args& a) {
  return Radix(a, 3);
}

// ---------------------------------------------------------------------------------------------
// Conversions

Variant CStr(Interpreter&, const Args& a) {
  return Variant(Text(a[0]));
}
Variant CInt(Interpreter&, const Args& a) {
  return Variant(a[0].ToI2());
}
Variant CLng(Interpreter&, const Args& a) {
  return Variant(a[0].ToI4());
}
Variant CDbl(Interpreter&, const Args& a) {
  return Variant(a[0].ToR8());
}
Variant CSng(Interpreter&, const Args& a) {
  return Variant(a[0].ToR4());
}
Variant CByte(Interpreter&, const Args& a) {
  // True is all bits set: CByte(True) is 255.
  if (a[0].Type() == VarType::Bool) return Variant::Byte(a[0].AsBool() != 0 ? 255 : 0);
  return Variant::Byte(a[0].ToUI1());
}
Variant CCur(Interpreter&, const Args& a) {
  return Variant::Currency(a[0].ToCy());
}
Variant CBool(Interpreter&, const Args& a) {
  return Variant::Bool(a[0].ToBool() != 0);
}
Variant CDate(Interpreter&, const Args& a) {
  return Variant::Date(DateOf(a[0]));
}

// Int and Fix keep the type of their argument; strings become Doubles.
Variant Truncate(const Args& a, bool floor) {
  const Variant& v = a[0];
  auto cut = [floor](double x) { return floor ? std::floor(x) : std::trunc(x); };
  switch (v.Type()) {
    case VarType::Null:
      return Variant::Null();
    case VarType::Empty:
      return Variant(int16_t{0});
    case VarType::Bool:
      return Variant(static_cast<int16_t>(v.AsBool()));
    case VarType::UI1:
    case VarType::I2:
    case VarType::I4:
      return v;
    case VarType::R4:
      return Variant(static_cast<float>(cut(v.AsR4())));
    case VarType::R8:
      return Variant(cut(v.AsR8()));
    case VarType::Date:
      return Variant::Date(cut(v.AsDate()));
    case VarType::Cy:
      return Variant::Currency(platform::checked::WholeCurrency(v.AsCy(), floor));
    default:
      return Variant(cut(v.ToR8()));
  }
}

Variant Int(Interpreter&, const Args& a) {
  return Truncate(a, true);
}
Variant Fix(Interpreter&, const Args& a) {
  return Truncate(a, false);
}

Variant Abs(Interpreter&, const Args& a) {
  const Variant& v = a[0];
  switch (v.Type()) {
    case VarType::Null:
      return Variant::Null();
    case VarType::Empty:
      return Variant(int16_t{0});
    case VarType::Bool:
      return Variant(static_cast<int16_t>(std::abs(v.AsBool())));
    case VarType::UI1:
      return v;
    case VarType::I2:
      if (v.AsI2() == INT16_MIN) return Variant(int32_t{32768});
      return Variant(static_cast<int16_t>(std::abs(v.AsI2())));
    case VarType::I4:
      if (v.AsI4() == INT32_MIN) return Variant(2147483648.0);
      return Variant(std::abs(v.AsI4()));
    case VarType::R4:
      return Variant(std::fabs(v.AsR4()));
    case VarType::Cy:
      return v.AsCy() < 0 ? Variant::Currency(platform::checked::SubCurrency(0, v.AsCy())) : v;
    default:
      return Variant(std::fabs(v.ToR8()));
  }
}

Variant Sgn(Interpreter&, const Args& a) {
  if (a[0].IsNull()) Raise(RuntimeError::InvalidUseOfNull);
  double x = a[0].ToR8();
  return Variant(static_cast<int16_t>(x > 0 ? 1 : x < 0 ? -1 : 0));
}

// Rounds @p x to @p places decimals, ties to even, on the value's 15-digit decimal form, so
// that 2.675 rounds as written (2.68), not as its binary approximation.
double RoundDecimal(double x, int32_t places) {
  if (!std::isfinite(x) || x == 0.0) return x;
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.14e", std::fabs(x));
  std::string digits;
  const char* p = buffer;
  for (; *p && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') digits += *p;
  }
  int exponent = std::atoi(p + 1);
  int64_t keep = int64_t{exponent} + 1 + places;
  if (keep >= static_cast<int64_t>(digits.size())) return x;
  if (keep < 0) return 0.0 * x;
  std::string kept = digits.substr(0, static_cast<size_t>(keep));
  std::string rest = digits.substr(static_cast<size_t>(keep));
  std::string half = "5" + std::string(rest.size() - 1, '0');
  int c = rest.compare(half);
  bool up = c > 0 || (c == 0 && !kept.empty() && (kept.back() - '0') % 2 == 1);
  if (up) {
    int i = static_cast<int>(kept.size()) - 1;
    while (i >= 0 && kept[static_cast<size_t>(i)] == '9') {
      kept[static_cast<size_t>(i)] = '0';
      --i;
    }
    if (i >= 0) {
      ++kept[static_cast<size_t>(i)];
    } else {
      kept.insert(kept.begin(), '1');
      ++exponent;
      ++keep;
    }
  }
  if (kept.empty()) return 0.0 * x;
  std::string text = kept + "e" + std::to_string(static_cast<int64_t>(exponent) + 1 - keep);
  double value = std::strtod(text.c_str(), nullptr);
  return x < 0 ? -value : value;
}

Variant Round(Interpreter&, const Args& a) {
  const Variant& v = a[0];
  if (v.IsNull()) return Variant::Null();
  int32_t places = a.Has(1) ? Long(a[1]) : 0;
  if (places < 0) InvalidArgument();
  switch (v.Type()) {
    case VarType::Empty:
      return Variant(int16_t{0});
    case VarType::Bool:
    case VarType::UI1:
    case VarType::I2:
    case VarType::I4:
      return v;
    case VarType::R4:
      return Variant(static_cast<float>(RoundDecimal(v.AsR4(), places)));
    case VarType::Date:
      return Variant::Date(RoundDecimal(v.AsDate(), places));
    case VarType::Cy:
      return Variant::Currency(platform::checked::RoundCurrency(v.AsCy(), places));
    default:
      return Variant(RoundDecimal(v.ToR8(), places));
  }
}

Variant MathResult(double value) {
  if (std::isnan(value)) InvalidArgument();
  if (std::isinf(value)) Raise(RuntimeError::Overflow);
  return Variant(value);
}

Variant Sqr(Interpreter&, const Args& a) {
  if (a[0].IsNull()) return Variant::Null();
  double x = a[0].ToR8();
  if (x < 0) InvalidArgument();
  return Variant(std::sqrt(x));
}
Variant Log(Interpreter&, const Args& a) {
  if (a[0].IsNull()) return Variant::Null();
  double x = a[0].ToR8();
  if (x <= 0) InvalidArgument();
  return Variant(std::log(x));
}
Variant Exp(Interpreter&, const Args& a) {
  if (a[0].IsNull()) return Variant::Null();
  return MathResult(std::exp(a[0].ToR8()));
}
Variant Sin(Interpreter&, const Args& a) {
  if (a[0].IsNull()) return Variant::Null();
  return MathResult(std::sin(a[0].ToR8()));
}
Variant Cos(Interpreter&, const Args& a) {
  if (a[0].IsNull()) return Variant::Null();
  return MathResult(std::cos(a[0].ToR8()));
}
Variant Tan(Interpreter&, const Args& a) {
  if (a[0].IsNull()) return Variant::Null();
  return MathResult(std::tan(a[0].ToR8()));
}
Variant Atn(Interpreter&, const Args& a) {
  if (a[0].IsNull()) return Variant::Null();
  return MathResult(std::atan(a[0].ToR8()));
}

Variant Rnd(Interpreter& rt, const Args& a) {
  std::optional<float> argument;
  if (a.Has(0)) argument = a[0].ToR4();
  return Variant(rt.NextRandom(argument));
}

Variant Randomize(Interpreter& rt, const Args& a) {
  std::optional<double> seed;
  if (a.Has(0)) seed = a[0].ToR8();
  rt.Randomize(seed);
  return {};
}

Variant Rgb(Interpreter&, const Args& a) {
  auto channel = [](const Variant& v) {
    int32_t c = v.ToI4();
    if (c < 0) InvalidArgument();
    return std::min(c, 255);
  };
  return Variant(channel(a[0]) + channel(a[1]) * 256 + channel(a[2]) * 65536);
}

// ---------------------------------------------------------------------------------------------
// Types

Variant IsEmpty(Interpreter&, const Args& a) {
  return Variant::Bool(a[0].IsEmpty());
}
Variant IsNull(Interpreter&, const Args& a) {
  return Variant::Bool(a[0].IsNull());
}
Variant IsNumeric(Interpreter&, const Args& a) {
  const Variant& v = a[0];
  if (v.Type() == VarType::Date) return Variant::Bool(false);
  if (v.IsObject()) {
    if (!v.AsObject()) return Variant::Bool(false);
    try {
      return Variant::Bool(ops::DefaultValue(v).IsNumeric());
    } catch (const platform::Error&) {
      return Variant::Bool(false);  // an object without a default value is not a number
    }
  }
  return Variant::Bool(v.IsNumeric());
}
Variant IsArray(Interpreter&, const Args& a) {
  return Variant::Bool(a[0].IsArray());
}
Variant IsObject(Interpreter&, const Args& a) {
  return Variant::Bool(a[0].IsObject());
}
Variant IsDate(Interpreter&, const Args& a) {
  const Variant& v = a[0];
  if (v.Type() == VarType::Date) return Variant::Bool(true);
  if (!v.IsString()) return Variant::Bool(false);
  return Variant::Bool(platform::ParseDate(v.AsBStr()).has_value());
}

Variant TypeName(Interpreter&, const Args& a) {
  const Variant& v = a[0];
  const char16_t* name = u"Unknown";
  switch (v.Type()) {
    case VarType::Empty:
      name = u"Empty";
      break;
    case VarType::Null:
      name = u"Null";
      break;
    case VarType::I2:
      name = u"Integer";
      break;
    case VarType::I4:
      name = u"Long";
      break;
    case VarType::R4:
      name = u"Single";
      break;
    case VarType::R8:
      name = u"Double";
      break;
    case VarType::Cy:
      name = u"Currency";
      break;
    case VarType::Date:
      name = u"Date";
      break;
    case VarType::BStr:
      name = u"String";
      break;
    case VarType::Error:
      name = u"Error";
      break;
    case VarType::Bool:
      name = u"Boolean";
      break;
    case VarType::UI1:
      name = u"Byte";
      break;
    case VarType::VariantArray:
      name = u"Variant()";
      break;
    case VarType::ByteArray:
      name = u"Byte()";
      break;
    case VarType::Dispatch:
      if (!v.AsObject()) return Variant(u"Nothing");
      return Variant(v.AsObject()->TypeName());
    default:
      break;
  }
  return Variant(name);
}

Variant VarTypeOf(Interpreter&, const Args& a) {
  return Variant(static_cast<int16_t>(a[0].Type()));
}

const VariantArray* ArrayArgument(const Variant& v, const ByteArray** bytes) {
  if (v.Type() == VarType::ByteArray) {
    *bytes = &v.AsByteArray();
    return nullptr;
  }
  if (v.Type() != VarType::VariantArray) Raise(RuntimeError::TypeMismatch);
  return &v.AsArray();
}

Variant Bound(const Args& a, bool upper) {
  int32_t dimension = a.Has(1) ? Long(a[1]) : 1;
  const ByteArray* bytes = nullptr;
  const VariantArray* array = ArrayArgument(a[0], &bytes);
  if (bytes) {
    if (dimension != 1) Raise(RuntimeError::SubscriptOutOfRange);
    return Variant(upper ? bytes->UBound() : bytes->LBound());
  }
  if (dimension < 1) Raise(RuntimeError::SubscriptOutOfRange);
  const auto& b = array->DimensionBounds(static_cast<size_t>(dimension) - 1);
  return Variant(upper ? b.upper : b.lower);
}

Variant UBound(Interpreter&, const Args& a) {
  return Bound(a, true);
}
Variant LBound(Interpreter&, const Args& a) {
  return Bound(a, false);
}

Variant ArrayOf(Interpreter& rt, const Args& a) {
  rt.CheckArrayElements(a.size());
  std::vector<Variant> elements;
  elements.reserve(a.size());
  for (size_t i = 0; i < a.size(); ++i) {
    rt.CheckNesting(a[i]);
    elements.push_back(a[i]);
  }
  Variant array(VariantArray::FromElements(std::move(elements)));
  rt.CheckNesting(array);
  return array;
}

Variant Join(Interpreter& rt, const Args& a) {
  if (a[0].IsNull() || (a.Has(1) && a[1].IsNull())) Raise(RuntimeError::InvalidUseOfNull);
  if (a[0].IsObject()) Raise(RuntimeError::MemberNotFound);
  if (a[0].Type() != VarType::VariantArray) Raise(RuntimeError::TypeMismatch);
  const VariantArray& array = a[0].AsArray();
  if (array.Dimensions() > 1) Raise(RuntimeError::TypeMismatch);
  std::u16string delimiter = u" ";
  if (a.Has(1)) delimiter = Text(a[1]);
  std::u16string out;
  bool first = true;
  for (const Variant& element : array.Elements()) {
    if (!first) out += delimiter;
    first = false;
    // Every element must be text or convert to it: Null and arrays are type mismatches.
    if (element.IsNull() || element.IsArray()) Raise(RuntimeError::TypeMismatch);
    out += Text(element);
    rt.CheckStringLength(out.size());
  }
  return Variant(std::move(out));
}

Variant Split(Interpreter& rt, const Args& a) {
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].IsNull()) Raise(RuntimeError::InvalidUseOfNull);
  }
  std::u16string s = Text(a[0]);
  std::u16string delimiter = a.Has(1) ? Text(a[1]) : std::u16string(u" ");
  int32_t limit = a.Has(2) ? Long(a[2]) : -1;
  if (limit < -1) InvalidArgument();
  bool textCompare = TextCompare(a, 3);
  std::u16string_view view(s);
  std::u16string folded = textCompare ? Lower(s) : std::u16string();
  TextSearcher searcher(textCompare ? Lower(delimiter) : delimiter);
  std::vector<Variant> parts;
  if (!s.empty() && limit != 0) {
    size_t pos = 0;
    while (true) {
      size_t at = std::u16string::npos;
      bool last =
          delimiter.empty() || (limit > 0 && parts.size() + 1 == static_cast<size_t>(limit));
      if (!last) at = searcher.Find(textCompare ? std::u16string_view(folded) : view, pos);
      if (at == std::u16string::npos) {
        parts.push_back(Variant(view.substr(pos)));
        break;
      }
      parts.push_back(Variant(view.substr(pos, at - pos)));
      rt.CheckArrayElements(parts.size());
      if ((parts.size() & 0xFFF) == 0) platform::CheckInterrupt();
      pos = at + delimiter.size();
    }
  }
  return Variant(VariantArray::FromElements(std::move(parts)));
}

// ---------------------------------------------------------------------------------------------
// Dates and times

Variant Now(Interpreter&, const Args&) {
  return LocalNow();
}

Variant DateNow(Interpreter&, const Args&) {
  return Variant::Date(std::floor(LocalNow().AsDate()));
}

Variant TimeNow(Interpreter&, const Args&) {
  double now = LocalNow().AsDate();
  return Variant::Date(now - std::floor(now));
}

Variant Timer(Interpreter&, const Args&) {
  auto now = std::chrono::system_clock::now();
  std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
  double value = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec +
                 static_cast<double>(millis.count()) / 1000.0;
  return Variant(static_cast<float>(value));
}

Variant DatePart(const Args& a, int platform::DateParts::*part) {
  if (a[0].IsNull()) return Variant::Null();
  platform::DateParts parts = platform::SplitDate(DateOf(a[0]));
  return Variant(static_cast<int16_t>(parts.*part));
}

Variant Year(Interpreter&, const Args& a) {
  return DatePart(a, &platform::DateParts::year);
}
Variant Month(Interpreter&, const Args& a) {
  return DatePart(a, &platform::DateParts::month);
}
Variant Day(Interpreter&, const Args& a) {
  return DatePart(a, &platform::DateParts::day);
}
Variant Hour(Interpreter&, const Args& a) {
  return DatePart(a, &platform::DateParts::hour);
}
Variant Minute(Interpreter&, const Args& a) {
  return DatePart(a, &platform::DateParts::minute);
}
Variant Second(Interpreter&, const Args& a) {
  return DatePart(a, &platform::DateParts::second);
}

Variant Weekday(Interpreter&, const Args& a) {
  // The first day is checked first, also for a Null date.
  int32_t first = a.Has(1) ? Long(a[1]) : 1;
  if (first < 0 || first > 7) InvalidArgument();
  if (a[0].IsNull()) return Variant::Null();
  if (first == 0) first = 1;
  int weekday = platform::SplitDate(DateOf(a[0])).weekday;
  return Variant(static_cast<int16_t>((weekday - first + 7) % 7 + 1));
}

Variant DateSerial(Interpreter&, const Args& a) {
  int32_t year = Long(a[0]);
  if (year >= 0 && year < 100) year += year < 30 ? 2000 : 1900;
  int32_t month = Long(a[1]), day = Long(a[2]);
  try {
    return Variant::Date(platform::MakeDate(year, month, day));
  } catch (const platform::Error&) {
    InvalidArgument();  // a date past the years that dates hold
  }
}

Variant TimeSerial(Interpreter&, const Args& a) {
  return Variant::Date(platform::MakeDate(1899, 12, 30, Long(a[0]), Long(a[1]), Long(a[2])));
}

// ---------------------------------------------------------------------------------------------
// Objects

Variant CreateObject(Interpreter& rt, const Args& a) {
  std::u16string progId = Text(a[0]);
  ObjectRef object = rt.host().CreateObject(progId);
  if (!object) Raise(RuntimeError::CannotCreateObject, platform::WideToUtf8(progId));
  return Variant(std::move(object));
}

Variant Execute(Interpreter& rt, const Args& a) {
  rt.ExecuteCode(Text(a[0]), false);
  return Variant();
}

Variant ExecuteGlobal(Interpreter& rt, const Args& a) {
  rt.ExecuteCode(Text(a[0]), true);
  return Variant();
}

Variant EvalText(Interpreter& rt, const Args& a) {
  return rt.EvaluateCode(Text(a[0]));
}

Variant GetRef(Interpreter& rt, const Args& a) {
  return Variant(rt.ProcedureReference(Text(a[0])));
}

constexpr uint16_t kMany = 0xFFFF;

constexpr BuiltinInfo kBuiltins[] = {
    {"Abs", Abs, 1, 1},
    {"Array", ArrayOf, 0, kMany},
    {"Asc", Asc, 1, 1},
    {"AscB", AscB, 1, 1},
    {"AscW", AscW, 1, 1},
    {"Atn", Atn, 1, 1},
    {"CBool", CBool, 1, 1},
    {"CByte", CByte, 1, 1},
    {"CCur", CCur, 1, 1},
    {"CDate", CDate, 1, 1},
    {"CDbl", CDbl, 1, 1},
    {"Chr", Chr, 1, 1},
    {"ChrB", ChrB, 1, 1},
    {"ChrW", ChrW, 1, 1},
    {"CInt", CInt, 1, 1},
    {"CLng", CLng, 1, 1},
    {"Cos", Cos, 1, 1},
    {"CreateObject", CreateObject, 1, 2},
    {"CSng", CSng, 1, 1},
    {"CStr", CStr, 1, 1},
    {"Date", DateNow, 0, 0},
    {"DateSerial", DateSerial, 3, 3},
    {"Day", Day, 1, 1},
    {"Eval", EvalText, 1, 1},
    {"Execute", Execute, 1, 1},
    {"ExecuteGlobal", ExecuteGlobal, 1, 1},
    {"Exp", Exp, 1, 1},
    {"Fix", Fix, 1, 1},
    {"GetRef", GetRef, 1, 1},
    {"Hex", Hex, 1, 1},
    {"Hour", Hour, 1, 1},
    {"InStr", InStr, 2, 4},
    {"InStrB", InStrB, 2, 3},
    {"InStrRev", InStrRev, 2, 4},
    {"Int", Int, 1, 1},
    {"IsArray", IsArray, 1, 1},
    {"IsDate", IsDate, 1, 1},
    {"IsEmpty", IsEmpty, 1, 1},
    {"IsNull", IsNull, 1, 1},
    {"IsNumeric", IsNumeric, 1, 1},
    {"IsObject", IsObject, 1, 1},
    {"Join", Join, 1, 2},
    {"LBound", LBound, 1, 2},
    {"LCase", LCase, 1, 1},
    {"Left", Left, 2, 2},
    {"LeftB", LeftB, 2, 2},
    {"Len", Len, 1, 1},
    {"LenB", LenB, 1, 1},
    {"Log", Log, 1, 1},
    {"LTrim", LTrim, 1, 1},
    {"Mid", Mid, 2, 3},
    {"MidB", MidB, 2, 3},
    {"Minute", Minute, 1, 1},
    {"Month", Month, 1, 1},
    {"Now", Now, 0, 0},
    {"Oct", Oct, 1, 1},
    {"Randomize", Randomize, 0, 1},
    {"Replace", Replace, 3, 6},
    {"RGB", Rgb, 3, 3},
    {"Right", Right, 2, 2},
    {"RightB", RightB, 2, 2},
    {"Rnd", Rnd, 0, 1},
    {"Round", Round, 1, 2},
    {"RTrim", RTrim, 1, 1},
    {"Second", Second, 1, 1},
    {"Sgn", Sgn, 1, 1},
    {"Sin", Sin, 1, 1},
    {"Space", Space, 1, 1},
    {"Split", Split, 1, 4},
    {"Sqr", Sqr, 1, 1},
    {"StrComp", StrComp, 2, 3},
    {"String", StringOf, 2, 2},
    {"StrReverse", StrReverse, 1, 1},
    {"Tan", Tan, 1, 1},
    {"Time", TimeNow, 0, 0},
    {"Timer", Timer, 0, 0},
    {"TimeSerial", TimeSerial, 3, 3},
    {"Trim", Trim, 1, 1},
    {"TypeName", TypeName, 1, 1},
    {"UBound", UBound, 1, 2},
    {"UCase", UCase, 1, 1},
    {"VarType", VarTypeOf, 1, 1},
    {"Weekday", Weekday, 1, 2},
    {"Year", Year, 1, 1},
};

struct Constant {
  std::string_view name;
  Variant (*make)();
};

const Constant kConstants[] = {
    {"vbCrLf", [] { return Variant(u"\r\n"); }},
    {"vbNewLine", [] { return Variant(u"\r\n"); }},
    {"vbCr", [] { return Variant(u"\r"); }},
    {"vbLf", [] { return Variant(u"\n"); }},
    {"vbTab", [] { return Variant(u"\t"); }},
    {"vbNullChar", [] { return Variant(std::u16string(1, u'\0')); }},
    {"vbNullString", [] { return Variant(u""); }},
    {"vbBack", [] { return Variant(u"\b"); }},
    {"vbFormFeed", [] { return Variant(u"\f"); }},
    {"vbVerticalTab", [] { return Variant(u"\v"); }},
    {"vbTrue", [] { return Variant(int16_t{-1}); }},
    {"vbFalse", [] { return Variant(int16_t{0}); }},
    {"vbUseDefault", [] { return Variant(int16_t{-2}); }},
    {"vbBinaryCompare", [] { return Variant(int16_t{0}); }},
    {"vbTextCompare", [] { return Variant(int16_t{1}); }},
    {"vbObjectError", [] { return Variant(static_cast<int32_t>(0x80040000u)); }},
    {"vbEmpty", [] { return Variant(int16_t{0}); }},
    {"vbNull", [] { return Variant(int16_t{1}); }},
    {"vbInteger", [] { return Variant(int16_t{2}); }},
    {"vbLong", [] { return Variant(int16_t{3}); }},
    {"vbSingle", [] { return Variant(int16_t{4}); }},
    {"vbDouble", [] { return Variant(int16_t{5}); }},
    {"vbCurrency", [] { return Variant(int16_t{6}); }},
    {"vbDate", [] { return Variant(int16_t{7}); }},
    {"vbString", [] { return Variant(int16_t{8}); }},
    {"vbObject", [] { return Variant(int16_t{9}); }},
    {"vbError", [] { return Variant(int16_t{10}); }},
    {"vbBoolean", [] { return Variant(int16_t{11}); }},
    {"vbVariant", [] { return Variant(int16_t{12}); }},
    {"vbDataObject", [] { return Variant(int16_t{13}); }},
    {"vbDecimal", [] { return Variant(int16_t{14}); }},
    {"vbByte", [] { return Variant(int16_t{17}); }},
    {"vbArray", [] { return Variant(int16_t{8192}); }},
    {"vbUseSystemDayOfWeek", [] { return Variant(int16_t{0}); }},
    {"vbSunday", [] { return Variant(int16_t{1}); }},
    {"vbMonday", [] { return Variant(int16_t{2}); }},
    {"vbTuesday", [] { return Variant(int16_t{3}); }},
    {"vbWednesday", [] { return Variant(int16_t{4}); }},
    {"vbThursday", [] { return Variant(int16_t{5}); }},
    {"vbFriday", [] { return Variant(int16_t{6}); }},
    {"vbSaturday", [] { return Variant(int16_t{7}); }},
    {"vbBlack", [] { return Variant(int32_t{0}); }},
    {"vbRed", [] { return Variant(int32_t{0xFF}); }},
    {"vbGreen", [] { return Variant(int32_t{0xFF00}); }},
    {"vbYellow", [] { return Variant(int32_t{0xFFFF}); }},
    {"vbBlue", [] { return Variant(int32_t{0xFF0000}); }},
    {"vbMagenta", [] { return Variant(int32_t{0xFF00FF}); }},
    {"vbCyan", [] { return Variant(int32_t{0xFFFF00}); }},
    {"vbWhite", [] { return Variant(int32_t{0xFFFFFF}); }},
    {"vbGeneralDate", [] { return Variant(int16_t{0}); }},
    {"vbLongDate", [] { return Variant(int16_t{1}); }},
    {"vbShortDate", [] { return Variant(int16_t{2}); }},
    {"vbLongTime", [] { return Variant(int16_t{3}); }},
    {"vbShortTime", [] { return Variant(int16_t{4}); }},
    {"vbDatabaseCompare", [] { return Variant(int16_t{2}); }},
    {"vbUseSystem", [] { return Variant(int16_t{0}); }},
    {"vbFirstJan1", [] { return Variant(int16_t{1}); }},
    {"vbFirstFourDays", [] { return Variant(int16_t{2}); }},
    {"vbFirstFullWeek", [] { return Variant(int16_t{3}); }},
    {"vbOKOnly", [] { return Variant(int16_t{0}); }},
    {"vbOKCancel", [] { return Variant(int16_t{1}); }},
    {"vbAbortRetryIgnore", [] { return Variant(int16_t{2}); }},
    {"vbYesNoCancel", [] { return Variant(int16_t{3}); }},
    {"vbYesNo", [] { return Variant(int16_t{4}); }},
    {"vbRetryCancel", [] { return Variant(int16_t{5}); }},
    {"vbCritical", [] { return Variant(int16_t{16}); }},
    {"vbQuestion", [] { return Variant(int16_t{32}); }},
    {"vbExclamation", [] { return Variant(int16_t{48}); }},
    {"vbInformation", [] { return Variant(int16_t{64}); }},
    {"vbDefaultButton1", [] { return Variant(int16_t{0}); }},
    {"vbDefaultButton2", [] { return Variant(int16_t{256}); }},
    {"vbDefaultButton3", [] { return Variant(int16_t{512}); }},
    {"vbDefaultButton4", [] { return Variant(int16_t{768}); }},
    {"vbApplicationModal", [] { return Variant(int16_t{0}); }},
    {"vbSystemModal", [] { return Variant(int16_t{4096}); }},
    {"vbMsgBoxHelpButton", [] { return Variant(int32_t{16384}); }},
    {"vbMsgBoxSetForeground", [] { return Variant(int32_t{65536}); }},
    {"vbMsgBoxRight", [] { return Variant(int32_t{524288}); }},
    {"vbMsgBoxRtlReading", [] { return Variant(int32_t{1048576}); }},
    {"vbOK", [] { return Variant(int16_t{1}); }},
    {"vbCancel", [] { return Variant(int16_t{2}); }},
    {"vbAbort", [] { return Variant(int16_t{3}); }},
    {"vbRetry", [] { return Variant(int16_t{4}); }},
    {"vbIgnore", [] { return Variant(int16_t{5}); }},
    {"vbYes", [] { return Variant(int16_t{6}); }},
    {"vbNo", [] { return Variant(int16_t{7}); }},
};

}  // namespace

int FindBuiltin(std::u16string_view foldedName) {
  for (size_t i = 0; i < std::size(kBuiltins); ++i) {
    if (platform::EqualsNoCase(foldedName, kBuiltins[i].name)) return static_cast<int>(i);
  }
  std::span<const BuiltinInfo> more = FormatBuiltins();
  for (size_t i = 0; i < more.size(); ++i) {
    if (platform::EqualsNoCase(foldedName, more[i].name)) {
      return static_cast<int>(std::size(kBuiltins) + i);
    }
  }
  return -1;
}

const BuiltinInfo& Builtin(int index) {
  auto i = static_cast<size_t>(index);
  return i < std::size(kBuiltins) ? kBuiltins[i] : FormatBuiltins()[i - std::size(kBuiltins)];
}

std::optional<Variant> FindBuiltinConstant(std::u16string_view foldedName) {
  if (foldedName.size() < 3 || foldedName.substr(0, 2) != u"vb") return std::nullopt;
  for (const Constant& constant : kConstants) {
    if (platform::EqualsNoCase(foldedName, constant.name)) return constant.make();
  }
  return std::nullopt;
}

}  // namespace corvella::script
