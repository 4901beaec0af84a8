// The character encodings of the script objects.

#include "text_codec.h"

#include <array>

namespace corvella::host::text {

namespace {

// The characters of the bytes 0x80 .. 0x9F in Windows-1252.
constexpr std::array<char16_t, 32> kHigh1252 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Decodes one UTF-8 sequence at bytes[i]; answers its length, or 0 when it is malformed.
size_t DecodeOne(std::span<const uint8_t> bytes, size_t i, char32_t& code) {
  uint8_t lead = bytes[i];
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 0 || lead > 0xF4 || i + length > bytes.size()) return 0;
  code = lead & (0x3F >> (length - 1));
  for (size_t k = 1; k < length; ++k) {
    uint8_t next = bytes[i + k];
    if ((next & 0xC0) != 0x80) return 0;
    code = code << 6 | (next & 0x3F);
  }
  static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kMinimum[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

void Append(std::u16string& out, char32_t code) {
  if (code < 0x10000) {
    out += static_cast<char16_t>(code);
  } else {
    code -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (code >> 10));
    out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
  }
}

}  // namespace

bool IsUtf8(std::span<const uint8_t> bytes) {
  char32_t code;
  for (size_t i = 0; i < bytes.size();) {
    size_t length = DecodeOne(bytes, i, code);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::u16string DecodeUtf8(std::span<const uint8_t> bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    char32_t code;
    size_t length = DecodeOne(bytes, i, code);
    if (length == 0) {
      out += u'\uFFFD';
      ++i;
    } else {
      Append(out, code);
      i += length;
    }
  }
  return out;
}

bool EncodeUtf8(std::u16string_view text, std::vector<uint8_t>& out) {
  bool clean = true;
  out.reserve(out.size() + text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t code = text[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
      clean = false;
    }
    if (code < 0x80) {
      out.push_back(static_cast<uint8_t>(code));
    } else if (code < 0x800) {
      out.push_back(static_cast<uint8_t>(0xC0 | code >> 6));
      out.push_back(static_cast<uint8_t>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out.push_back(static_cast<uint8_t>(0xE0 | code >> 12));
      out.push_back(static_cast<uint8_t>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<uint8_t>(0x80 | (code & 0x3F)));
    } else {
      out.push_back(static_cast<uint8_t>(0xF0 | code >> 18));
      out.push_back(static_cast<uint8_t>(0x80 | ((code >> 12) & 0x3F)));
      out.push_back(static_cast<uint8_t>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<uint8_t>(0x80 | (code & 0x3F)));
    }
  }
  return clean;
}

std::u16string DecodeUtf16(std::span<const uint8_t> bytes) {
  std::u16string out(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  }
  return out;
}

void EncodeUtf16(std::u16string_view text, std::vector<uint8_t>& out) {
  out.reserve(out.size() + text.size() * 2);
  for (char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c & 0xFF));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
}

std::u16string DecodeWindows1252(std::span<const uint8_t> bytes) {
  std::u16string out(bytes.size(), u'\0');
  for (size_t i = 0; i < bytes.size(); ++i) {
    uint8_t b = bytes[i];
    out[i] = b >= 0x80 && b < 0xA0 ? kHigh1252[b - 0x80] : static_cast<char16_t>(b);
  }
  return out;
}

void EncodeWindows1252(std::u16string_view text, std::vector<uint8_t>& out) {
  out.reserve(out.size() + text.size());
  for (char16_t c : text) {
    uint8_t byte = '?';
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      byte = static_cast<uint8_t>(c);
    } else {
      for (size_t k = 0; k < kHigh1252.size(); ++k) {
        if (kHigh1252[k] == c) byte = static_cast<uint8_t>(0x80 + k);
      }
    }
    out.push_back(byte);
  }
}

std::u16string DecodeAscii(std::span<const uint8_t> bytes) {
  std::u16string out(bytes.size(), u'\0');
  for (size_t i = 0; i < bytes.size(); ++i)
    out[i] = bytes[i] < 0x80 ? bytes[i] : u'?';
  return out;
}

void EncodeAscii(std::u16string_view text, std::vector<uint8_t>& out) {
  out.reserve(out.size() + text.size());
  for (char16_t c : text)
    out.push_back(c < 0x80 ? static_cast<uint8_t>(c) : '?');
}

std::u16string DecodeSystemText(std::span<const uint8_t> bytes) {
  if (!IsUtf8(bytes)) return DecodeWindows1252(bytes);
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    bytes = bytes.subspan(3);
  }
  return DecodeUtf8(bytes);
}

}  // namespace corvella::host::text
