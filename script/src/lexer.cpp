#include "lexer.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <utility>

#include "corvella/platform/text.h"

namespace corvella::script {

using platform::RuntimeError;
using platform::Variant;

namespace {

constexpr size_t kMaxIdentifierLength = 255;

struct Keyword {
  std::string_view name;
  Tok kind;
};

constexpr std::array<Keyword, 54> kKeywords = {{
    {"and", Tok::And},         {"byref", Tok::ByRef},
    {"byval", Tok::ByVal},     {"call", Tok::Call},
    {"case", Tok::Case},       {"class", Tok::Class},
    {"const", Tok::Const},     {"dim", Tok::Dim},
    {"do", Tok::Do},           {"each", Tok::Each},
    {"else", Tok::Else},       {"elseif", Tok::ElseIf},
    {"empty", Tok::Empty},     {"end", Tok::End_},
    {"eqv", Tok::Eqv},         {"erase", Tok::Erase},
    {"exit", Tok::Exit},       {"false", Tok::False},
    {"for", Tok::For},         {"function", Tok::Function},
    {"goto", Tok::GoTo},       {"if", Tok::If},
    {"imp", Tok::Imp},         {"in", Tok::In},
    {"is", Tok::Is},           {"let", Tok::Let},
    {"loop", Tok::Loop},       {"me", Tok::Me},
    {"mod", Tok::Mod},         {"new", Tok::New},
    {"next", Tok::Next},       {"not", Tok::Not},
    {"nothing", Tok::Nothing}, {"null", Tok::Null},
    {"on", Tok::On},           {"option", Tok::Option},
    {"or", Tok::Or},           {"preserve", Tok::Preserve},
    {"private", Tok::Private}, {"public", Tok::Public},
    {"redim", Tok::ReDim},     {"resume", Tok::Resume},
    {"select", Tok::Select},   {"set", Tok::Set},
    {"stop", Tok::Stop},       {"sub", Tok::Sub},
    {"then", Tok::Then},       {"to", Tok::To},
    {"true", Tok::True},       {"until", Tok::Until},
    {"wend", Tok::Wend},       {"while", Tok::While},
    {"with", Tok::With},       {"xor", Tok::Xor},
}};

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f' || c == 0xA0 || c == 0xFEFF;
}

bool IsLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
         (c >= 0xC0 && c != 0xD7 && c != 0xF7 && c != 0xFEFF && !(c >= 0x2000 && c <= 0x206F));
}

bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

bool IsNameChar(char16_t c) {
  return IsLetter(c) || IsDigit(c) || c == u'_';
}

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

class Lexer {
 public:
  explicit Lexer(std::u16string_view source) : src_(source) {}

  Lexed Run() {
    if (!src_.empty() && src_[0] == 0xFEFF) Advance();
    while (true) {
      size_t before = pos_;
      SkipBlanks();
      spaceBefore_ = pos_ != before;
      if (pos_ >= src_.size()) break;
      char16_t c = src_[pos_];
      uint32_t line = line_, column = Column();
      if (c == u'\r' || c == u'\n') {
        EndLine();
        Emit(Tok::Newline, line, column, {});
        continue;
      }
      if (c == u'\'') {
        SkipToLineEnd();
        continue;
      }
      if (c == u'_' && ContinuesLine()) continue;
      if (IsLetter(c)) {
        LexName(line, column);
        continue;
      }
      if (c == u'[') {
        LexBracketName(line, column);
        continue;
      }
      if (IsDigit(c) || (c == u'.' && pos_ + 1 < src_.size() && IsDigit(src_[pos_ + 1]) &&
                         (spaceBefore_ || !PreviousEndsOperand()))) {
        LexNumber(line, column);
        continue;
      }
      if (c == u'"') {
        LexString(line, column);
        continue;
      }
      if (c == u'#') {
        LexDate(line, column);
        continue;
      }
      if (c == u'&' && LexRadix(line, column)) continue;
      LexOperator(line, column);
    }
    Emit(Tok::End, line_, Column(), {});
    return std::move(out_);
  }

 private:
  [[noreturn]] void Fail(RuntimeError error, uint32_t line, uint32_t column) {
    throw CompileFailure{error, line, column, {}};
  }

  uint32_t Column() const { return static_cast<uint32_t>(pos_ - lineStart_ + 1); }

  void Advance() { ++pos_; }

  void Emit(Tok kind, uint32_t line, uint32_t column, std::u16string_view text,
            uint32_t literal = 0) {
    out_.tokens.push_back(Token{kind, line, column, text, literal, spaceBefore_});
  }

  uint32_t AddLiteral(Variant value, bool isString) {
    out_.literals.push_back(LiteralValue{std::move(value), isString});
    return static_cast<uint32_t>(out_.literals.size() - 1);
  }

  void SkipBlanks() {
    while (pos_ < src_.size() && IsBlank(src_[pos_]))
      ++pos_;
  }

  void EndLine() {
    if (src_[pos_] == u'\r' && pos_ + 1 < src_.size() && src_[pos_ + 1] == u'\n') ++pos_;
    ++pos_;
    ++line_;
    lineStart_ = pos_;
  }

  void SkipToLineEnd() {
    while (pos_ < src_.size() && src_[pos_] != u'\r' && src_[pos_] != u'\n')
      ++pos_;
  }

  // "_" followed by blanks and a line end joins the next line to this one.
  bool ContinuesLine() {
    size_t p = pos_ + 1;
    while (p < src_.size() && IsBlank(src_[p]))
      ++p;
    if (p < src_.size() && src_[p] != u'\r' && src_[p] != u'\n') return false;
    pos_ = p;
    if (pos_ < src_.size()) EndLine();
    return true;
  }

  // Whether the previous token ends an operand, so that a following "." is member access.
  bool PreviousEndsOperand() const {
    if (out_.tokens.empty()) return false;
    Tok kind = out_.tokens.back().kind;
    return kind == Tok::Identifier || kind == Tok::RParen || kind == Tok::Literal ||
           (out_.tokens.back().IsKeyword() && out_.tokens.size() >= 2 &&
            out_.tokens[out_.tokens.size() - 2].kind == Tok::Dot);
  }

  void LexName(uint32_t line, uint32_t column) {
    size_t start = pos_;
    while (pos_ < src_.size() && IsNameChar(src_[pos_]))
      ++pos_;
    std::u16string_view text = src_.substr(start, pos_ - start);
    if (text.size() > kMaxIdentifierLength) Fail(RuntimeError::IdentifierTooLong, line, column);
    bool afterDot = !out_.tokens.empty() && out_.tokens.back().kind == Tok::Dot;
    if (!afterDot && platform::EqualsNoCase(text, "rem")) {
      SkipToLineEnd();
      return;
    }
    Tok kind = Tok::Identifier;
    if (text.size() <= 8) {
      for (const auto& keyword : kKeywords) {
        if (platform::EqualsNoCase(text, keyword.name)) {
          kind = keyword.kind;
          break;
        }
      }
    }
    Emit(kind, line, column, text);
  }

  void LexBracketName(uint32_t line, uint32_t column) {
    size_t start = ++pos_;
    while (pos_ < src_.size() && src_[pos_] != u']' && src_[pos_] != u'\r' && src_[pos_] != u'\n')
      ++pos_;
    if (pos_ >= src_.size() || src_[pos_] != u']') {
      Fail(RuntimeError::ExpectedRightBracket, line, Column());
    }
    std::u16string_view text = src_.substr(start, pos_ - start);
    ++pos_;
    if (text.size() > kMaxIdentifierLength) Fail(RuntimeError::IdentifierTooLong, line, column);
    Emit(Tok::Identifier, line, column, text);
  }

  void LexNumber(uint32_t line, uint32_t column) {
    size_t start = pos_;
    bool integral = true;
    while (pos_ < src_.size() && IsDigit(src_[pos_]))
      ++pos_;
    if (pos_ < src_.size() && src_[pos_] == u'.') {
      integral = false;
      ++pos_;
      while (pos_ < src_.size() && IsDigit(src_[pos_]))
        ++pos_;
    }
    if (pos_ < src_.size() && (src_[pos_] == u'e' || src_[pos_] == u'E')) {
      size_t p = pos_ + 1;
      if (p < src_.size() && (src_[p] == u'+' || src_[p] == u'-')) ++p;
      if (p < src_.size() && IsDigit(src_[p])) {
        integral = false;
        pos_ = p;
        while (pos_ < src_.size() && IsDigit(src_[pos_]))
          ++pos_;
      }
    }
    if (pos_ < src_.size() && IsNameChar(src_[pos_])) {
      Fail(RuntimeError::ExpectedEndOfStatement, line, Column());
    }
    std::u16string_view text = src_.substr(start, pos_ - start);
    // Too small a number is 0 (1E-400); too large one is invalid.
    std::string ascii(text.begin(), text.end());
    std::optional<double> value = std::strtod(ascii.c_str(), nullptr);
    if (!std::isfinite(*value)) Fail(RuntimeError::InvalidNumber, line, column);
    Variant literal;
    if (integral && *value <= 32767.0) {
      literal = Variant(static_cast<int16_t>(*value));
    } else if (integral && *value <= 2147483647.0) {
      literal = Variant(static_cast<int32_t>(*value));
    } else {
      literal = Variant(*value);
    }
    Emit(Tok::Literal, line, column, text, AddLiteral(std::move(literal), false));
  }

  // "&H..." and "&O..." integers: up to 4 hex (6 octal) digits give an Integer, more a Long; a
  // trailing "&" makes a Long of a short one (&HFFFF& is 65535).
  bool LexRadix(uint32_t line, uint32_t column) {
    if (pos_ + 2 >= src_.size()) return false;
    char16_t marker = src_[pos_ + 1];
    int radix = (marker == u'H' || marker == u'h')   ? 16
                : (marker == u'O' || marker == u'o') ? 8
                                                     : 0;
    if (radix == 0) return false;
    int first = HexValue(src_[pos_ + 2]);
    if (first < 0 || first >= radix) return false;
    size_t start = pos_;
    pos_ += 2;
    uint64_t value = 0;
    size_t digits = 0;
    while (pos_ < src_.size()) {
      int d = HexValue(src_[pos_]);
      if (d < 0 || d >= radix) break;
      value = value * radix + d;
      ++digits;
      ++pos_;
      if (value > 0xFFFFFFFFull) Fail(RuntimeError::InvalidNumber, line, column);
    }
    // A letter that is no digit ends the literal: &h01or&h02 is &h01 Or &h02.
    bool forceLong = pos_ < src_.size() && src_[pos_] == u'&';
    if (forceLong) ++pos_;
    // Four hex digits are a 16-bit pattern (&HFFFF is -1) unless "&" follows; the value is an
    // Integer whenever it fits one (&HFFFFFFFF& is the Integer -1), else a Long.
    bool shortForm = radix == 16 ? digits <= 4 : value <= 0xFFFF;
    int32_t number = shortForm && !forceLong
                         ? static_cast<int16_t>(static_cast<uint16_t>(value))
                         : static_cast<int32_t>(static_cast<uint32_t>(value));
    Variant literal;
    if (number >= -32768 && number <= 32767) {
      literal = Variant(static_cast<int16_t>(number));
    } else {
      literal = Variant(number);
    }
    Emit(Tok::Literal, line, column, src_.substr(start, pos_ - start),
         AddLiteral(std::move(literal), false));
    return true;
  }

  void LexString(uint32_t line, uint32_t column) {
    size_t start = pos_++;
    std::u16string value;
    while (true) {
      if (pos_ >= src_.size() || src_[pos_] == u'\r' || src_[pos_] == u'\n') {
        Fail(RuntimeError::UnterminatedString, line, column);
      }
      char16_t c = src_[pos_++];
      if (c == u'"') {
        if (pos_ < src_.size() && src_[pos_] == u'"') {
          value += u'"';
          ++pos_;
          continue;
        }
        break;
      }
      value += c;
    }
    Emit(Tok::Literal, line, column, src_.substr(start, pos_ - start),
         AddLiteral(Variant(std::move(value)), true));
  }

  void LexDate(uint32_t line, uint32_t column) {
    size_t start = ++pos_;
    while (pos_ < src_.size() && src_[pos_] != u'#' && src_[pos_] != u'\r' && src_[pos_] != u'\n')
      ++pos_;
    if (pos_ >= src_.size() || src_[pos_] != u'#') Fail(RuntimeError::SyntaxError, line, column);
    std::optional<double> date = platform::ParseDate(src_.substr(start, pos_ - start));
    ++pos_;
    if (!date) Fail(RuntimeError::SyntaxError, line, column);
    Emit(Tok::Literal, line, column, src_.substr(start - 1, pos_ - start + 1),
         AddLiteral(Variant::Date(*date), false));
  }

  void LexOperator(uint32_t line, uint32_t column) {
    char16_t c = src_[pos_++];
    char16_t next = pos_ < src_.size() ? src_[pos_] : u'\0';
    Tok kind;
    switch (c) {
      case u':':
        kind = Tok::Colon;
        break;
      case u',':
        kind = Tok::Comma;
        break;
      case u'.':
        kind = Tok::Dot;
        break;
      case u'(':
        kind = Tok::LParen;
        break;
      case u')':
        kind = Tok::RParen;
        break;
      case u'+':
        kind = Tok::Plus;
        break;
      case u'-':
        kind = Tok::Minus;
        break;
      case u'*':
        kind = Tok::Star;
        break;
      case u'/':
        kind = Tok::Slash;
        break;
      case u'\\':
        kind = Tok::Backslash;
        break;
      case u'^':
        kind = Tok::Caret;
        break;
      case u'&':
        kind = Tok::Ampersand;
        break;
      case u'=':
        // "=>" and "=<" are the comparisons ">=" and "<=" written the other way round.
        if (next == u'>' || next == u'<') {
          ++pos_;
          kind = next == u'>' ? Tok::Ge : Tok::Le;
        } else {
          kind = Tok::Eq;
        }
        break;
      case u'<':
        if (next == u'>') {
          ++pos_;
          kind = Tok::Ne;
        } else if (next == u'=') {
          ++pos_;
          kind = Tok::Le;
        } else {
          kind = Tok::Lt;
        }
        break;
      case u'>':
        if (next == u'<') {
          ++pos_;
          kind = Tok::Ne;
        } else if (next == u'=') {
          ++pos_;
          kind = Tok::Ge;
        } else {
          kind = Tok::Gt;
        }
        break;
      default:
        Fail(RuntimeError::InvalidCharacter, line, column);
    }
    Emit(kind, line, column, {});
  }

  std::u16string_view src_;
  size_t pos_ = 0;
  size_t lineStart_ = 0;
  uint32_t line_ = 1;
  bool spaceBefore_ = false;
  Lexed out_;
};

}  // namespace

Lexed Tokenize(std::u16string_view source) {
  return Lexer(source).Run();
}

std::u16string FoldName(std::u16string_view name) {
  std::u16string folded(name);
  for (char16_t& c : folded) {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) c += 0x20;
  }
  return folded;
}

}  // namespace corvella::script
