// The pattern syntax of scripts' regular expressions, translated into the matching library's, and
// the replacement texts of RegExp.Replace.

#include <string>

#include "corvella/platform/error.h"
#include "regexp.h"

namespace corvella::script {

namespace {

using platform::Raise;
using platform::RuntimeError;

bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

bool IsAsciiLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool IsClassEscape(char16_t c) {
  switch (c) {
    case u'd':
    case u'D':
    case u'w':
    case u'W':
    case u's':
    case u'S':
      return true;
    default:
      return false;
  }
}

// Writes one character as the library's hexadecimal escape, which means that character and
// nothing else wherever it stands.
void EmitCode(std::u16string& out, uint32_t code) {
  static constexpr char16_t kHex[] = u"0123456789abcdef";
  out += u"\\x{";
  bool started = false;
  for (int shift = 20; shift >= 0; shift -= 4) {
    uint32_t digit = (code >> shift) & 0xF;
    if (digit != 0 || started || shift == 0) {
      out += kHex[digit];
      started = true;
    }
  }
  out += u'}';
}

// Writes a character that the pattern means literally. A lone surrogate cannot be matched by the
// library in its Unicode mode: such a pattern is refused.
void EmitLiteral(std::u16string& out, char16_t c) {
  if (c >= 0xD800 && c <= 0xDFFF) Raise(RuntimeError::RegExpSyntaxError);
  EmitCode(out, c);
}

// The number of capturing groups: "(" outside classes, not escaped, not followed by "?".
uint32_t CountGroups(std::u16string_view p) {
  uint32_t groups = 0;
  bool inClass = false;
  for (size_t i = 0; i < p.size(); ++i) {
    char16_t c = p[i];
    if (c == u'\\') {
      ++i;
    } else if (inClass) {
      if (c == u']') inClass = false;
    } else if (c == u'[') {
      inClass = true;
    } else if (c == u'(' && (i + 1 >= p.size() || p[i + 1] != u'?')) {
      ++groups;
    }
  }
  return groups;
}

// The length of a quantifier "{n}", "{n,}" or "{n,m}" at p[i]; 0 when the brace is a character.
size_t BraceQuantifier(std::u16string_view p, size_t i) {
  size_t j = i + 1;
  size_t digits = 0;
  while (j < p.size() && IsDigit(p[j])) {
    ++j;
    ++digits;
  }
  if (digits == 0) return 0;
  if (j < p.size() && p[j] == u',') {
    ++j;
    while (j < p.size() && IsDigit(p[j]))
      ++j;
  }
  if (j >= p.size() || p[j] != u'}') return 0;
  return j + 1 - i;
}

// A legacy octal escape of up to three digits whose value fits a byte, starting at p[i]; answers
// the characters it used.
size_t OctalEscape(std::u16string_view p, size_t i, uint32_t& value) {
  value = 0;
  size_t used = 0;
  while (i + used < p.size() && used < 3 && p[i + used] >= u'0' && p[i + used] <= u'7') {
    uint32_t next = value * 8 + (p[i + used] - u'0');
    if (next > 0377) break;
    value = next;
    ++used;
  }
  return used;
}

class Translator {
 public:
  explicit Translator(std::u16string_view pattern) : p_(pattern), groups_(CountGroups(pattern)) {}

  TranslatedPattern Run() {
    out_.reserve(p_.size() * 2);
    while (i_ < p_.size()) {
      char16_t c = p_[i_];
      if (c == u'\\') {
        Escape();
      } else if (inClass_) {
        ClassCharacter(c);
      } else {
        Outside(c);
      }
    }
    return {std::move(out_), groups_};
  }

 private:
  void Escape() {
    if (i_ + 1 >= p_.size()) Raise(RuntimeError::RegExpSyntaxError, "a pattern ends with \\");
    char16_t e = p_[i_ + 1];
    i_ += 2;
    bool classEscape = false;
    switch (e) {
      case u'd':
      case u'D':
      case u'w':
      case u'W':
      case u's':
      case u'S':
        classEscape = true;
        out_ += u'\\';
        out_ += e;
        break;
      case u'f':
      case u'n':
      case u'r':
      case u't':
        out_ += u'\\';
        out_ += e;
        break;
      case u'b':
        if (inClass_) {
          EmitCode(out_, 0x08);
        } else {
          out_ += u"\\b";
        }
        break;
      case u'B':
        if (inClass_) {
          EmitCode(out_, u'B');
        } else {
          out_ += u"\\B";
        }
        break;
      case u'v':
        EmitCode(out_, 0x0B);
        break;
      case u'c':
        if (i_ < p_.size() && IsAsciiLetter(p_[i_])) {
          EmitCode(out_, p_[i_] & 0x1F);
          ++i_;
        } else {
          EmitCode(out_, u'\\');  // "\c" without a letter is a backslash; the "c" follows
          --i_;
        }
        break;
      case u'x':
        Hex(2, u'x');
        break;
      case u'u':
        Hex(4, u'u');
        break;
      default:
        if (IsDigit(e)) {
          Digits(e);
        } else {
          EmitLiteral(out_, e);
        }
        break;
    }
    lastWasClassEscape_ = classEscape;
  }

  void Hex(size_t count, char16_t letter) {
    uint32_t value = 0;
    for (size_t k = 0; k < count; ++k) {
      int digit = i_ + k < p_.size() ? HexValue(p_[i_ + k]) : -1;
      if (digit < 0) {
        EmitLiteral(out_, letter);  // not an escape after all: the letter itself
        return;
      }
      value = value * 16 + static_cast<uint32_t>(digit);
    }
    i_ += count;
    if (value >= 0xD800 && value <= 0xDFFF) Raise(RuntimeError::RegExpSyntaxError);
    EmitCode(out_, value);
  }

  // "\N": a back reference when group N exists (outside classes), else an octal escape, and
  // "\8", "\9" the digit itself.
  void Digits(char16_t first) {
    size_t start = i_ - 1;
    if (!inClass_ && first != u'0') {
      size_t end = start;
      uint64_t number = 0;
      while (end < p_.size() && IsDigit(p_[end]) && number <= groups_) {
        number = number * 10 + (p_[end] - u'0');
        ++end;
      }
      if (number <= groups_ && (end >= p_.size() || !IsDigit(p_[end]))) {
        out_ += u"\\g{" + std::u16string(p_.substr(start, end - start)) + u"}";
        i_ = end;
        return;
      }
    }
    if (first == u'8' || first == u'9') {
      EmitCode(out_, first);
      return;
    }
    uint32_t value = 0;
    size_t used = OctalEscape(p_, start, value);
    i_ = start + used;
    EmitCode(out_, value);
  }

  void ClassCharacter(char16_t c) {
    ++i_;
    if (c == u']') {
      inClass_ = false;
      out_ += c;
    } else if (c == u'-' && (lastWasClassEscape_ || NextIsClassEscape())) {
      out_ += u"\\-";  // "[\d-z]": the hyphen is a character, not a range
    } else if (c == u'[' || c == u'&' || c == u'~') {
      EmitCode(out_, c);
    } else {
      out_ += c;
    }
    lastWasClassEscape_ = false;
  }

  bool NextIsClassEscape() const {
    return i_ + 1 < p_.size() && p_[i_] == u'\\' && IsClassEscape(p_[i_ + 1]);
  }

  void Outside(char16_t c) {
    ++i_;
    lastWasClassEscape_ = false;
    switch (c) {
      case u'[':
        inClass_ = true;
        out_ += c;
        if (i_ < p_.size() && p_[i_] == u'^') {
          out_ += u'^';
          ++i_;
        }
        break;
      case u'(':
        if (i_ < p_.size() && p_[i_] == u'?') {
          char16_t kind = i_ + 1 < p_.size() ? p_[i_ + 1] : u'\0';
          if (kind != u':' && kind != u'=' && kind != u'!') Raise(RuntimeError::RegExpSyntaxError);
          out_ += u"(?";
          out_ += kind;
          i_ += 2;
        } else if (i_ < p_.size() && p_[i_] == u'*') {
          Raise(RuntimeError::RegExpUnexpectedQuantifier);
        } else {
          out_ += c;
        }
        break;
      case u'*':
      case u'+':
      case u'?':
        out_ += c;
        AfterQuantifier();
        break;
      case u'{': {
        size_t length = BraceQuantifier(p_, i_ - 1);
        if (length == 0) {
          EmitCode(out_, c);
        } else {
          out_.append(p_.substr(i_ - 1, length));
          i_ += length - 1;
          AfterQuantifier();
        }
        break;
      }
      case u'}':
      case u']':
        EmitCode(out_, c);
        break;
      default:
        if (c >= 0xD800 && c <= 0xDBFF && i_ < p_.size() && p_[i_] >= 0xDC00 && p_[i_] <= 0xDFFF) {
          out_ += c;
          out_ += p_[i_++];
        } else if (c >= 0xD800 && c <= 0xDFFF) {
          Raise(RuntimeError::RegExpSyntaxError);
        } else {
          out_ += c;
        }
        break;
    }
  }

  // A quantifier may be made lazy by "?"; anything quantifying it again is an error (the
  // library would read "a*+" as possessive).
  void AfterQuantifier() {
    if (i_ < p_.size() && p_[i_] == u'?') {
      out_ += u'?';
      ++i_;
    }
    if (i_ < p_.size() && (p_[i_] == u'+' || p_[i_] == u'*' || p_[i_] == u'?' ||
                           (p_[i_] == u'{' && BraceQuantifier(p_, i_) != 0))) {
      Raise(RuntimeError::RegExpUnexpectedQuantifier);
    }
  }

  std::u16string_view p_;
  uint32_t groups_;
  std::u16string out_;
  size_t i_ = 0;
  bool inClass_ = false;
  bool lastWasClassEscape_ = false;
};

}  // namespace

TranslatedPattern TranslatePattern(std::u16string_view pattern) {
  return Translator(pattern).Run();
}

std::vector<ReplacementPart> ParseReplacement(std::u16string_view text, uint32_t groups) {
  std::vector<ReplacementPart> parts;
  auto literal = [&](std::u16string_view piece) {
    if (parts.empty() || !parts.back().literal) parts.push_back({});
    parts.back().text.append(piece);
  };
  auto reference = [&](int32_t which) { parts.push_back({{}, which, false}); };
  size_t i = 0;
  while (i < text.size()) {
    size_t dollar = text.find(u'$', i);
    if (dollar == std::u16string_view::npos || dollar + 1 >= text.size()) {
      literal(text.substr(i));
      break;
    }
    literal(text.substr(i, dollar - i));
    char16_t next = text[dollar + 1];
    i = dollar + 2;
    if (next == u'$') {
      literal(u"$");
    } else if (next == u'&') {
      reference(0);
    } else if (next == u'`') {
      reference(-1);
    } else if (next == u'\'') {
      reference(-2);
    } else if (IsDigit(next)) {
      int32_t one = next - u'0';
      int32_t two = dollar + 2 < text.size() && IsDigit(text[dollar + 2])
                        ? one * 10 + (text[dollar + 2] - u'0')
                        : -1;
      if (two >= 1 && static_cast<uint32_t>(two) <= groups) {
        reference(two);
        i = dollar + 3;
      } else if (one >= 1 && static_cast<uint32_t>(one) <= groups) {
        reference(one);
      } else {
        literal(text.substr(dollar, 2));
      }
    } else {
      literal(text.substr(dollar, 2));
    }
  }
  return parts;
}

}  // namespace corvella::script
