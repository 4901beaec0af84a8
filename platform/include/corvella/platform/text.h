#pragma once
/// @file
/// Conversions between the UTF-16 strings of the automation boundary and the UTF-8 strings used
/// for file names, messages and the byte form of text. UTF-8 serves as the system code page on
/// every platform, so that a script gets the same bytes everywhere.

#include <string>
#include <string_view>

namespace corvella::platform {

/// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string WideToUtf8(std::u16string_view text);

/// UTF-8 to UTF-16. A malformed sequence becomes U+FFFD.
std::u16string Utf8ToWide(std::string_view text);

/// ASCII upper case of a UTF-16 string; other characters are left as they are.
std::u16string AsciiUpper(std::u16string_view text);

/// Compares two names without regard to ASCII case.
bool EqualsNoCase(std::u16string_view a, std::string_view b);

}  // namespace corvella::platform
