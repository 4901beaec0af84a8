#pragma once
// Splits script text into tokens: names, keywords, literals, operators and statement ends.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "corvella/platform/error.h"
#include "corvella/platform/variant.h"
#include "corvella/script/engine.h"

namespace corvella::script {

enum class Tok : uint8_t {
  End,      // end of the text
  Newline,  // end of a line (comments are dropped, continued lines joined)
  Colon,
  Comma,
  Dot,
  LParen,
  RParen,
  Plus,
  Minus,
  Star,
  Slash,
  Backslash,
  Caret,
  Ampersand,
  Eq,
  Ne,
  Lt,
  Gt,
  Le,
  Ge,
  Identifier,
  Literal,  // a number, string or date; the value is in Lexed::literals
  // Keywords.
  And,
  ByRef,
  ByVal,
  Call,
  Case,
  Class,
  Const,
  Dim,
  Do,
  Each,
  Else,
  ElseIf,
  Empty,
  End_,
  Eqv,
  Erase,
  Exit,
  False,
  For,
  Function,
  GoTo,
  If,
  Imp,
  In,
  Is,
  Let,
  Loop,
  Me,
  Mod,
  New,
  Next,
  Not,
  Nothing,
  Null,
  On,
  Option,
  Or,
  Preserve,
  Private,
  Public,
  ReDim,
  Resume,
  Select,
  Set,
  Stop,
  Sub,
  Then,
  To,
  True,
  Until,
  Wend,
  While,
  With,
  Xor,
};

/// One token. Text points into the source (for a bracketed name, inside the brackets).
struct Token {
  Tok kind = Tok::End;
  uint32_t line = 0;
  uint32_t column = 0;
  std::u16string_view text;
  uint32_t literal = 0;      // index into Lexed::literals for Tok::Literal
  bool spaceBefore = false;  // blanks separate it from the previous token
  bool IsKeyword() const { return kind >= Tok::And; }
};

/// What a literal token stands for.
struct LiteralValue {
  platform::Variant value;
  bool isString = false;
};

struct Lexed {
  std::vector<Token> tokens;  // always ends with Tok::End
  std::vector<LiteralValue> literals;
};

/// A compilation error at a place in the text.
struct CompileFailure {
  platform::RuntimeError error;
  uint32_t line;
  uint32_t column;
  std::string detail;
};

/// Splits @p source into tokens; throws CompileFailure for a character or literal that no token
/// can start with.
Lexed Tokenize(std::u16string_view source);

/// Lower-case form of a name for case-insensitive lookups (ASCII and Latin-1 letters).
std::u16string FoldName(std::u16string_view name);

}  // namespace corvella::script
