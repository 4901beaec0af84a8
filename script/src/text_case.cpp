#include "text_case.h"

namespace corvella::script {

namespace {

bool InPairs(char16_t c, char16_t first, char16_t last) {
  return c >= first && c <= last;
}

}  // namespace

char16_t UpperChar(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? c - 0x20 : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c == 0xFF) return 0x178;
  // Latin Extended-A: pairs of upper (even) and lower (odd), then (odd, even) in two runs.
  if (InPairs(c, 0x100, 0x137) || InPairs(c, 0x14A, 0x177)) return (c & 1) ? c - 1 : c;
  if (InPairs(c, 0x139, 0x148) || InPairs(c, 0x179, 0x17E)) return (c & 1) ? c : c - 1;
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 0x20;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

char16_t LowerChar(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? c + 0x20 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  if (c == 0x178) return 0xFF;
  if (InPairs(c, 0x100, 0x137) || InPairs(c, 0x14A, 0x177)) return (c & 1) ? c : c + 1;
  if (InPairs(c, 0x139, 0x148) || InPairs(c, 0x179, 0x17E)) return (c & 1) ? c + 1 : c;
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  return c;
}

std::u16string Upper(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out)
    c = UpperChar(c);
  return out;
}

std::u16string Lower(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out)
    c = LowerChar(c);
  return out;
}

}  // namespace corvella::script
