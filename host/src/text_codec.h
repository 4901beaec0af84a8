#pragma once
// The character encodings that the script objects read and write: UTF-8 (the system code page
// here), UTF-16LE, Windows-1252 and US-ASCII.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvella::host::text {

/// True when @p bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsUtf8(std::span<const uint8_t> bytes);

/// UTF-8 to UTF-16; a malformed sequence becomes U+FFFD.
std::u16string DecodeUtf8(std::span<const uint8_t> bytes);

/// UTF-16 to UTF-8, appended to @p out; an unpaired surrogate becomes U+FFFD. Answers false when
/// there was one.
bool EncodeUtf8(std::u16string_view text, std::vector<uint8_t>& out);

/// UTF-16LE bytes to text; an odd last byte is dropped.
std::u16string DecodeUtf16(std::span<const uint8_t> bytes);
void EncodeUtf16(std::u16string_view text, std::vector<uint8_t>& out);

/// Windows-1252: each byte one character (the five unassigned bytes map to the C1 controls of
/// the same value). Characters without a byte become "?".
std::u16string DecodeWindows1252(std::span<const uint8_t> bytes);
void EncodeWindows1252(std::u16string_view text, std::vector<uint8_t>& out);

/// US-ASCII: bytes above 127 read as "?", characters above 127 are written as "?".
std::u16string DecodeAscii(std::span<const uint8_t> bytes);
void EncodeAscii(std::u16string_view text, std::vector<uint8_t>& out);

/// Text of a file as the text streams of scripts read it in their ASCII mode: UTF-8 (a leading
/// byte-order mark dropped) when the bytes are valid UTF-8, else Windows-1252, one character per
/// byte, as scripts written on Windows usually are.
std::u16string DecodeSystemText(std::span<const uint8_t> bytes);

}  // namespace corvella::host::text
