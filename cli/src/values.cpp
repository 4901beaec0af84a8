// Option values as script values.

#include "values.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "console.h"
#include "corvella/platform/text.h"

namespace corvella::cli {

namespace {

// The text without one leading "+", which from_chars does not take.
std::string_view WithoutPlus(std::string_view text) {
  if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
  return text;
}

std::optional<int64_t> ParseInteger(std::string_view text) {
  text = WithoutPlus(text);
  int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return {};
  return value;
}

std::optional<double> ParseDecimal(std::string_view text) {
  text = WithoutPlus(text);
  double value = 0;
  auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (error != std::errc() || end != text.data() + text.size() || text.empty() ||
      !std::isfinite(value)) {
    return {};
  }
  return value;
}

[[noreturn]] void NotA(std::string_view what, std::string_view option, std::string_view text) {
  throw UsageError(std::string(option) + ": '" + std::string(text) + "' is not " +
                   std::string(what));
}

}  // namespace

platform::Variant IntegerValue(std::string_view option, std::string_view text) {
  std::optional<int64_t> value = ParseInteger(text);
  if (!value) NotA("a whole number", option, text);
  if (*value < std::numeric_limits<int32_t>::min() ||
      *value > std::numeric_limits<int32_t>::max()) {
    NotA("a number within 32 bits", option, text);
  }
  return platform::Variant(static_cast<int32_t>(*value));
}

platform::Variant NumberValue(std::string_view option, std::string_view text) {
  std::optional<double> value = ParseDecimal(text);
  if (!value) NotA("a number", option, text);
  return platform::Variant(*value);
}

platform::Variant PositionValue(std::string_view option, std::string_view text) {
  if (text.empty()) throw UsageError(std::string(option) + ": a position is empty");
  if (std::optional<int64_t> whole = ParseInteger(text);
      whole && *whole >= std::numeric_limits<int32_t>::min() &&
      *whole <= std::numeric_limits<int32_t>::max()) {
    return platform::Variant(static_cast<int32_t>(*whole));
  }
  if (std::optional<double> number = ParseDecimal(text)) return platform::Variant(*number);
  return TextValue(text);
}

platform::Variant TextValue(std::string_view text) {
  return platform::Variant(platform::Utf8ToWide(text));
}

std::vector<std::string_view> SplitList(std::string_view option, std::string_view what,
                                        std::string_view text, size_t count) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    size_t comma = text.find(',', start);
    parts.push_back(text.substr(start, comma == std::string_view::npos ? comma : comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (parts.size() != count) {
    throw UsageError(std::string(option) + " needs " + std::string(what) + ", not '" +
                     std::string(text) + "'");
  }
  return parts;
}

}  // namespace corvella::cli
