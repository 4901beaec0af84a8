// HTTP header text: tokens, control characters and the file-name parameter of a download.

#include "corvella/platform/http_text.h"

#include <algorithm>

#include "corvella/platform/text.h"

namespace corvella::platform {

namespace {

bool IsTokenChar(char16_t c) {
  if ((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) {
    return true;
  }
  return std::u16string_view(u"!#$%&'*+-.^_`|~").find(c) != std::u16string_view::npos;
}

// The characters that RFC 8187 lets stand for themselves in an extended value.
bool IsAttrChar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         std::string_view("!#$&+-.^_`|~").find(c) != std::string_view::npos;
}

}  // namespace

bool IsHttpToken(std::u16string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), IsTokenChar);
}

bool HasHeaderControl(std::u16string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char16_t c) { return (c < 0x20 && c != u'\t') || c == 0x7F; });
}

std::u16string DispositionFileName(std::u16string_view name) {
  if (IsHttpToken(name)) return u"filename=" + std::u16string(name);
  std::u16string out = u"filename=\"";
  bool beyondAscii = false;
  for (char16_t c : name) {
    if (c == u'"' || c == u'\\') out += u'\\';
    beyondAscii = beyondAscii || c > 0x7E;
    // A surrogate pair becomes one "_" (its second half adds nothing).
    if (c >= 0xDC00 && c <= 0xDFFF) continue;
    out += c > 0x7E ? u'_' : c;
  }
  out += u'"';
  if (!beyondAscii) return out;
  out += u"; filename*=UTF-8''";
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (char byte : WideToUtf8(name)) {
    auto b = static_cast<unsigned char>(byte);
    if (IsAttrChar(byte)) {
      out += static_cast<char16_t>(b);
    } else {
      out += u'%';
      out += static_cast<char16_t>(kHex[b >> 4]);
      out += static_cast<char16_t>(kHex[b & 15]);
    }
  }
  return out;
}

}  // namespace corvella::platform
