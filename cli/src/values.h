#pragma once
// Option values of the corvella command turned into the script values that members receive.

#include <cstdint>
#include <string_view>
#include <vector>

#include "corvella/platform/variant.h"

namespace corvella::cli {

/// A decimal integer ("-12", "+7", "200") that fits 32 bits, as a 32-bit script value; the
/// member converts it to its parameter's type (and raises overflow as it would for a script).
/// UsageError naming @p option otherwise.
platform::Variant IntegerValue(std::string_view option, std::string_view text);

/// A finite decimal number ("1.5", "-2", "1e3"), as a double script value. UsageError otherwise.
platform::Variant NumberValue(std::string_view option, std::string_view text);

/// A position: a number is passed as a number (a 32-bit integer when it is whole and fits, else a
/// double), any other text as a string ("LEFT", "center"), for the member to judge. UsageError
/// for an empty text.
platform::Variant PositionValue(std::string_view option, std::string_view text);

/// Text as a string script value (UTF-8 to UTF-16).
platform::Variant TextValue(std::string_view text);

/// Splits "a,b,c" into exactly @p count parts; UsageError naming @p option and @p what ("W,H")
/// otherwise.
std::vector<std::string_view> SplitList(std::string_view option, std::string_view what,
                                        std::string_view text, size_t count);

}  // namespace corvella::cli
