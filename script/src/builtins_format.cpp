// The built-in functions of formatting, date arithmetic, names of months and days, escaping,
// filtering and the engine's own identity, all as the English (United States) locale writes
// them on every system.

#include <cmath>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "builtins.h"
#include "corvella/platform/error.h"
#include "corvella/platform/text.h"
#include "interpreter.h"
#include "text_case.h"
#include "text_search.h"

namespace corvella::script {

using platform::Raise;
using platform::RuntimeError;
using platform::Variant;
using platform::VariantArray;
using platform::VarType;

namespace {

using Args = BuiltinArgs;

constexpr int16_t kUseDefault = -2;
constexpr const char* kMonths[] = {"January", "February", "March",     "April",   "May",
                                   "June",    "July",     "August",    "September", "October",
                                   "November", "December"};
constexpr const char* kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};

[[noreturn]] void InvalidArgument() {
  Raise(RuntimeError::InvalidProcedureCall);
}

std::u16string Wide(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

// An optional integer argument; Null raises error 94.
int32_t OptionalLong(const Args& a, size_t i, int32_t fallback) {
  if (!a.Has(i)) return fallback;
  if (a[i].IsNull()) Raise(RuntimeError::InvalidUseOfNull);
  return a[i].ToI4();
}

// ---------------------------------------------------------------------------------------------
// Numbers

struct NumberStyle {
  int digits = 2;
  bool leadingDigit = true;
  bool parens = false;
  bool group = true;
};

// A tristate argument (vbTrue, vbFalse, vbUseDefault) with the locale's default.
bool Tristate(const Args& a, size_t i, bool fallback) {
  int32_t value = OptionalLong(a, i, kUseDefault);
  if (value == kUseDefault) return fallback;
  return value != 0;
}

NumberStyle StyleOf(const Args& a, bool parensByDefault) {
  NumberStyle style;
  int32_t digits = OptionalLong(a, 1, -1);
  if (digits < -1 || digits > 255) InvalidArgument();
  style.digits = digits == -1 ? 2 : digits;
  style.leadingDigit = Tristate(a, 2, true);
  style.parens = Tristate(a, 3, parensByDefault);
  style.group = Tristate(a, 4, true);
  return style;
}

// A negative amount: in parentheses or after a minus sign.
std::u16string Signed(const std::u16string& body, bool parens) {
  std::u16string out;
  out += parens ? u'(' : u'-';
  out += body;
  if (parens) out += u')';
  return out;
}

// The number with @p style: rounded half away from zero, grouped by thousands.
std::u16string FormatFixed(double value, const NumberStyle& style) {
  bool negative = value < 0;
  double magnitude = std::fabs(value);
  std::vector<char> buffer(400 + static_cast<size_t>(style.digits));
  double scale = std::pow(10.0, style.digits);
  double rounded = std::round(magnitude * scale) / scale;
  if (!std::isfinite(rounded)) rounded = magnitude;
  std::snprintf(buffer.data(), buffer.size(), "%.*f", style.digits, rounded);
  std::string text(buffer.data());
  std::string whole = text.substr(0, text.find('.'));
  std::string fraction = text.find('.') == std::string::npos ? "" : text.substr(text.find('.'));
  if (style.group) {
    std::string grouped;
    for (size_t i = 0; i < whole.size(); ++i) {
      if (i > 0 && (whole.size() - i) % 3 == 0) grouped += ',';
      grouped += whole[i];
    }
    whole = std::move(grouped);
  }
  if (whole == "0" && !style.leadingDigit && !fraction.empty()) whole.clear();
  std::u16string body = Wide(whole);
  body += Wide(fraction);
  return negative && rounded != 0.0 ? Signed(body, style.parens) : body;
}

double NumberOf(const Variant& value) {
  if (value.IsNull()) Raise(RuntimeError::TypeMismatch);
  return value.ToR8();
}

Variant FormatNumber(Interpreter&, const Args& a) {
  return Variant(FormatFixed(NumberOf(a[0]), StyleOf(a, false)));
}

Variant FormatCurrency(Interpreter&, const Args& a) {
  double value = NumberOf(a[0]);
  NumberStyle style = StyleOf(a, true);
  NumberStyle plain = style;
  plain.parens = false;
  std::u16string text(1, u'$');
  text += FormatFixed(std::fabs(value), plain);
  if (value < 0 && text.find_first_not_of(u"$0.,") != std::u16string::npos) {
    text = Signed(text, style.parens);
  }
  return Variant(text);
}

Variant FormatPercent(Interpreter&, const Args& a) {
  double value = NumberOf(a[0]) * 100.0;
  NumberStyle style = StyleOf(a, false);
  NumberStyle plain = style;
  plain.parens = false;
  std::u16string text = FormatFixed(std::fabs(value), plain);
  text += u'%';
  if (value < 0 && text.find_first_not_of(u"0.,%") != std::u16string::npos) {
    text = Signed(text, style.parens);
  }
  return Variant(text);
}

// ---------------------------------------------------------------------------------------------
// Dates

double DateArg(const Variant& value) {
  if (value.IsNull()) Raise(RuntimeError::InvalidUseOfNull);
  return value.ToDate();
}

std::u16string TimeText(const platform::DateParts& p, bool seconds) {
  char text[32];
  int hour12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
  if (seconds) {
    std::snprintf(text, sizeof text, "%d:%02d:%02d %s", hour12, p.minute, p.second,
                  p.hour < 12 ? "AM" : "PM");
  } else {
    std::snprintf(text, sizeof text, "%02d:%02d", p.hour, p.minute);
  }
  return Wide(text);
}

Variant FormatDateTime(Interpreter&, const Args& a) {
  if (a[0].IsNull()) Raise(RuntimeError::TypeMismatch);
  double date = DateArg(a[0]);
  int32_t format = OptionalLong(a, 1, 0);
  platform::DateParts p = platform::SplitDate(date);
  char text[96];
  switch (format) {
    case 0:
      return Variant(platform::FormatDate(date));
    case 1:
      std::snprintf(text, sizeof text, "%s, %s %d, %d", kDays[p.weekday - 1], kMonths[p.month - 1],
                    p.day, p.year);
      return Variant(Wide(text));
    case 2:
      std::snprintf(text, sizeof text, "%d/%d/%d", p.month, p.day, p.year);
      return Variant(Wide(text));
    case 3:
      return Variant(TimeText(p, true));
    case 4:
      return Variant(TimeText(p, false));
    default:
      InvalidArgument();
  }
}

// The interval argument of DateAdd, DateDiff and DatePart.
enum class Interval { Year, Quarter, Month, DayOfYear, Day, Weekday, Week, Hour, Minute, Second };

Interval IntervalOf(const Variant& value) {
  if (value.IsNull()) Raise(RuntimeError::InvalidUseOfNull);
  std::u16string text = Lower(value.ToBStr());
  if (text == u"yyyy") return Interval::Year;
  if (text == u"q") return Interval::Quarter;
  if (text == u"m") return Interval::Month;
  if (text == u"y") return Interval::DayOfYear;
  if (text == u"d") return Interval::Day;
  if (text == u"w") return Interval::Weekday;
  if (text == u"ww") return Interval::Week;
  if (text == u"h") return Interval::Hour;
  if (text == u"n") return Interval::Minute;
  if (text == u"s") return Interval::Second;
  InvalidArgument();
}

int DaysInMonth(int year, int month) {
  static const int kDaysIn[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDaysIn[month - 1];
}

double AddMonths(double date, int64_t months) {
  platform::DateParts p = platform::SplitDate(date);
  int64_t total = int64_t{p.year} * 12 + (p.month - 1) + months;
  if (total < 100 * 12 || total > 9999 * 12 + 11) Raise(RuntimeError::InvalidProcedureCall);
  int year = static_cast<int>(total / 12), month = static_cast<int>(total % 12) + 1;
  int day = std::min(p.day, DaysInMonth(year, month));
  double time = date - std::trunc(date);
  double day0 = platform::MakeDate(year, month, day);
  return day0 + (date < 0 ? -std::fabs(time) : std::fabs(time));
}

Variant DateAdd(Interpreter&, const Args& a) {
  Interval interval = IntervalOf(a[0]);
  if (a[1].IsNull()) Raise(RuntimeError::InvalidUseOfNull);
  if (a[2].IsNull()) return Variant::Null();
  double number = std::trunc(a[1].ToR8());
  double date = DateArg(a[2]);
  double result = date;
  switch (interval) {
    case Interval::Year:
      result = AddMonths(date, static_cast<int64_t>(number) * 12);
      break;
    case Interval::Quarter:
      result = AddMonths(date, static_cast<int64_t>(number) * 3);
      break;
    case Interval::Month:
      result = AddMonths(date, static_cast<int64_t>(number));
      break;
    case Interval::DayOfYear:
    case Interval::Day:
    case Interval::Weekday:
      result = date + number;
      break;
    case Interval::Week:
      result = date + number * 7;
      break;
    case Interval::Hour:
      result = date + number / 24.0;
      break;
    case Interval::Minute:
      result = date + number / 1440.0;
      break;
    case Interval::Second:
      result = date + number / 86400.0;
      break;
  }
  if (!(result >= platform::kMinDate && result <= platform::kMaxDate)) InvalidArgument();
  return Variant::Date(result);
}

int32_t FirstDayOf(const Args& a, size_t i) {
  int32_t first = OptionalLong(a, i, 1);
  if (first < 0 || first > 7) InvalidArgument();
  return first == 0 ? 1 : first;
}

int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0);
}

// Seconds since the epoch, as the date's parts give them.
int64_t SecondNumber(double date) {
  platform::DateParts p = platform::SplitDate(date);
  int64_t day = static_cast<int64_t>(platform::MakeDate(p.year, p.month, p.day));
  return day * 86400 + p.hour * 3600 + p.minute * 60 + p.second;
}

// The start of the week holding @p day, weeks starting on @p first (1 = Sunday).
int64_t WeekStart(int64_t day, int32_t first) {
  int weekday = static_cast<int>(((day % 7) + 7 + 6) % 7) + 1;  // day 0 (1899-12-30) is a Saturday
  int back = (weekday - first + 7) % 7;
  return day - back;
}

Variant DateDiff(Interpreter&, const Args& a) {
  Interval interval = IntervalOf(a[0]);
  if (a[1].IsNull() || a[2].IsNull()) return Variant::Null();
  double from = DateArg(a[1]), to = DateArg(a[2]);
  int32_t first = FirstDayOf(a, 3);
  platform::DateParts p = platform::SplitDate(from), q = platform::SplitDate(to);
  int64_t result = 0;
  switch (interval) {
    case Interval::Year:
      result = q.year - p.year;
      break;
    case Interval::Quarter:
      result = (int64_t{q.year} * 4 + (q.month - 1) / 3) - (int64_t{p.year} * 4 + (p.month - 1) / 3);
      break;
    case Interval::Month:
      result = (int64_t{q.year} * 12 + q.month) - (int64_t{p.year} * 12 + p.month);
      break;
    case Interval::DayOfYear:
    case Interval::Day:
      result = static_cast<int64_t>(platform::MakeDate(q.year, q.month, q.day)) -
               static_cast<int64_t>(platform::MakeDate(p.year, p.month, p.day));
      break;
    case Interval::Weekday: {
      int64_t days = static_cast<int64_t>(platform::MakeDate(q.year, q.month, q.day)) -
                     static_cast<int64_t>(platform::MakeDate(p.year, p.month, p.day));
      result = days / 7;
      break;
    }
    case Interval::Week: {
      int64_t a0 = static_cast<int64_t>(platform::MakeDate(p.year, p.month, p.day));
      int64_t b0 = static_cast<int64_t>(platform::MakeDate(q.year, q.month, q.day));
      result = (WeekStart(b0, first) - WeekStart(a0, first)) / 7;
      break;
    }
    case Interval::Hour:
      result = FloorDiv(SecondNumber(to), 3600) - FloorDiv(SecondNumber(from), 3600);
      break;
    case Interval::Minute:
      result = FloorDiv(SecondNumber(to), 60) - FloorDiv(SecondNumber(from), 60);
      break;
    case Interval::Second:
      result = SecondNumber(to) - SecondNumber(from);
      break;
  }
  return Variant(static_cast<int32_t>(result));
}

Variant DatePart(Interpreter&, const Args& a) {
  Interval interval = IntervalOf(a[0]);
  if (a[1].IsNull()) return Variant::Null();
  double date = DateArg(a[1]);
  int32_t first = FirstDayOf(a, 2);
  int32_t firstWeek = OptionalLong(a, 3, 1);
  if (firstWeek < 0 || firstWeek > 3) InvalidArgument();
  platform::DateParts p = platform::SplitDate(date);
  int64_t day = static_cast<int64_t>(platform::MakeDate(p.year, p.month, p.day));
  int64_t jan1 = static_cast<int64_t>(platform::MakeDate(p.year, 1, 1));
  switch (interval) {
    case Interval::Year:
      return Variant(static_cast<int32_t>(p.year));
    case Interval::Quarter:
      return Variant(static_cast<int32_t>((p.month - 1) / 3 + 1));
    case Interval::Month:
      return Variant(static_cast<int32_t>(p.month));
    case Interval::DayOfYear:
      return Variant(static_cast<int32_t>(day - jan1 + 1));
    case Interval::Day:
      return Variant(static_cast<int32_t>(p.day));
    case Interval::Weekday:
      return Variant(static_cast<int32_t>((p.weekday - first + 7) % 7 + 1));
    case Interval::Week: {
      // Week 1 holds January 1 (vbFirstJan1), its first four days (vbFirstFourDays) or is the
      // first whole week (vbFirstFullWeek).
      int64_t start = WeekStart(jan1, first);
      if (firstWeek == 2 && jan1 - start >= 4) start += 7;
      if (firstWeek == 3 && start != jan1) start += 7;
      if (day < start) {
        // The last week of the year before.
        int64_t prevJan1 = static_cast<int64_t>(platform::MakeDate(p.year - 1, 1, 1));
        int64_t prevStart = WeekStart(prevJan1, first);
        if (firstWeek == 2 && prevJan1 - prevStart >= 4) prevStart += 7;
        if (firstWeek == 3 && prevStart != prevJan1) prevStart += 7;
        return Variant(static_cast<int32_t>((day - prevStart) / 7 + 1));
      }
      return Variant(static_cast<int32_t>((day - start) / 7 + 1));
    }
    case Interval::Hour:
      return Variant(static_cast<int32_t>(p.hour));
    case Interval::Minute:
      return Variant(static_cast<int32_t>(p.minute));
    case Interval::Second:
      return Variant(static_cast<int32_t>(p.second));
  }
  InvalidArgument();
}

Variant DateValue(Interpreter&, const Args& a) {
  if (a[0].IsNull()) Raise(RuntimeError::InvalidUseOfNull);
  double date = a[0].ToDate();
  return Variant::Date(std::trunc(date));
}

Variant TimeValue(Interpreter&, const Args& a) {
  if (a[0].IsNull()) Raise(RuntimeError::InvalidUseOfNull);
  double date = a[0].ToDate();
  return Variant::Date(std::fabs(date - std::trunc(date)));
}

Variant MonthName(Interpreter&, const Args& a) {
  if (a[0].IsNull() || (a.Has(1) && a[1].IsNull())) Raise(RuntimeError::InvalidUseOfNull);
  int32_t month = a[0].ToI4();
  if (month < 1 || month > 12) InvalidArgument();
  bool abbreviate = a.Has(1) && (a[1].IsNull() ? Raise(RuntimeError::InvalidUseOfNull), false
                                               : a[1].ToBool() != 0);
  std::string name = kMonths[month - 1];
  return Variant(Wide(abbreviate ? name.substr(0, 3) : name));
}

Variant WeekdayName(Interpreter&, const Args& a) {
  if (a[0].IsNull()) Raise(RuntimeError::InvalidUseOfNull);
  int32_t weekday = a[0].ToI4();
  bool abbreviate = a.Has(1) && (a[1].IsNull() ? Raise(RuntimeError::InvalidUseOfNull), false
                                               : a[1].ToBool() != 0);
  int32_t first = FirstDayOf(a, 2);
  if (weekday < 1 || weekday > 7) InvalidArgument();
  std::string name = kDays[(weekday - 1 + first - 1) % 7];
  return Variant(Wide(abbreviate ? name.substr(0, 3) : name));
}

// ---------------------------------------------------------------------------------------------
// Text

// Escape leaves letters, digits and @*_+-./ as they are; other characters become %XX, or %uXXXX
// past U+00FF.
Variant Escape(Interpreter& rt, const Args& a) {
  if (a[0].IsNull()) Raise(RuntimeError::InvalidUseOfNull);
  std::u16string text = a[0].ToBStr(), out;
  static const char16_t kHex[] = u"0123456789ABCDEF";
  for (char16_t c : text) {
    bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                 c == u'@' || c == u'*' || c == u'_' || c == u'+' || c == u'-' || c == u'.' ||
                 c == u'/';
    if (plain) {
      out += c;
    } else if (c < 0x100) {
      out += u'%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += u"%u";
      for (int shift = 12; shift >= 0; shift -= 4)
        out += kHex[(c >> shift) & 15];
    }
  }
  rt.CheckStringLength(out.size());
  return Variant(std::move(out));
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

Variant Unescape(Interpreter&, const Args& a) {
  if (a[0].IsNull()) Raise(RuntimeError::InvalidUseOfNull);
  std::u16string text = a[0].ToBStr(), out;
  for (size_t i = 0; i < text.size(); ++i) {
    auto digits = [&](size_t at, size_t count) -> int {
      if (at + count > text.size()) return -1;
      int value = 0;
      for (size_t k = 0; k < count; ++k) {
        int d = HexDigit(text[at + k]);
        if (d < 0) return -1;
        value = value * 16 + d;
      }
      return value;
    };
    if (text[i] == u'%') {
      if (i + 1 < text.size() && text[i + 1] == u'u') {
        int value = digits(i + 2, 4);
        if (value >= 0) {
          out += static_cast<char16_t>(value);
          i += 5;
          continue;
        }
      } else if (int value = digits(i + 1, 2); value >= 0) {
        out += static_cast<char16_t>(value);
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return Variant(std::move(out));
}

// Filter(strings, value[, include[, compare]]): the strings that hold (or lack) value.
Variant Filter(Interpreter&, const Args& a) {
  if (a[0].IsNull() || a[1].IsNull()) Raise(RuntimeError::InvalidUseOfNull);
  if (a[0].Type() != VarType::VariantArray) Raise(RuntimeError::TypeMismatch);
  const VariantArray& input = a[0].AsArray();
  if (input.Dimensions() != 1) Raise(RuntimeError::TypeMismatch);
  bool include = true;
  if (a.Has(2)) {
    if (a[2].IsNull()) Raise(RuntimeError::InvalidUseOfNull);
    include = a[2].ToBool() != 0;
  }
  int32_t compare = OptionalLong(a, 3, 0);
  if (compare < 0 || compare > 1) InvalidArgument();
  std::u16string value = a[1].ToBStr();
  if (compare == 1) value = Lower(value);
  TextSearcher searcher(value);
  std::vector<Variant> kept;
  for (const Variant& element : input.Elements()) {
    if (element.IsNull()) Raise(RuntimeError::TypeMismatch);
    std::u16string text = element.ToBStr();
    bool found = searcher.Find(compare == 1 ? Lower(text) : text, 0) != std::u16string::npos;
    if (found == include) kept.push_back(Variant(std::move(text)));
  }
  return Variant(VariantArray::FromElements(std::move(kept)));
}

// ---------------------------------------------------------------------------------------------
// The engine

Variant ScriptEngine(Interpreter&, const Args&) {
  return Variant(u"VBScript");
}
Variant ScriptEngineMajorVersion(Interpreter&, const Args&) {
  return Variant(int32_t{5});
}
Variant ScriptEngineMinorVersion(Interpreter&, const Args&) {
  return Variant(int32_t{8});
}
Variant ScriptEngineBuildVersion(Interpreter&, const Args&) {
  return Variant(int32_t{16384});
}

// Formatting always follows English (United States); a script may name another locale and read
// it back, and SetLocale answers the one before.
Variant GetLocale(Interpreter& rt, const Args&) {
  return Variant(rt.Locale());
}

Variant SetLocale(Interpreter& rt, const Args& a) {
  int32_t previous = rt.Locale();
  int32_t locale = 1033;
  if (a.Has(0)) {
    if (a[0].IsString()) {
      std::u16string name = Lower(a[0].AsBStr());
      if (name.empty()) {
        locale = 1033;
      } else if (name == u"en-us" || name == u"english") {
        locale = 1033;
      } else if (std::optional<double> number = platform::ParseNumber(name)) {
        locale = static_cast<int32_t>(*number);
      } else {
        InvalidArgument();
      }
    } else {
      locale = a[0].ToI4();
    }
  }
  if (locale == 0) locale = 1033;
  if (locale < 0 || locale > 0xFFFF) InvalidArgument();
  rt.SetLocale(locale);
  return Variant(previous);
}

constexpr BuiltinInfo kFormatBuiltins[] = {
    {"DateAdd", DateAdd, 3, 3},
    {"DateDiff", DateDiff, 3, 5},
    {"DatePart", DatePart, 2, 4},
    {"DateValue", DateValue, 1, 1},
    {"Escape", Escape, 1, 1},
    {"Filter", Filter, 2, 4},
    {"FormatCurrency", FormatCurrency, 1, 5},
    {"FormatDateTime", FormatDateTime, 1, 2},
    {"FormatNumber", FormatNumber, 1, 5},
    {"FormatPercent", FormatPercent, 1, 5},
    {"GetLocale", GetLocale, 0, 0},
    {"InputBox", InputBox, 1, 7},
    {"MonthName", MonthName, 1, 2},
    {"MsgBox", MsgBox, 1, 5},
    {"ScriptEngine", ScriptEngine, 0, 0},
    {"ScriptEngineBuildVersion", ScriptEngineBuildVersion, 0, 0},
    {"ScriptEngineMajorVersion", ScriptEngineMajorVersion, 0, 0},
    {"ScriptEngineMinorVersion", ScriptEngineMinorVersion, 0, 0},
    {"SetLocale", SetLocale, 0, 1},
    {"TimeValue", TimeValue, 1, 1},
    {"Unescape", Unescape, 1, 1},
    {"WeekdayName", WeekdayName, 1, 3},
};

}  // namespace

std::span<const BuiltinInfo> FormatBuiltins() {
  return kFormatBuiltins;
}

}  // namespace corvella::script
