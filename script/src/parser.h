#pragma once
// Parses tokens into an unresolved syntax tree and the declarations of each scope.

#include <string>
#include <vector>

#include "ast.h"
#include "lexer.h"

namespace corvella::script {

/// The most deeply nested statements, parentheses and unary operators the parser accepts, and
/// the tallest expression tree; beyond them compilation fails with "Out of stack space" (28).
inline constexpr int kMaxNesting = 64;
inline constexpr int kMaxExpressionHeight = 400;

enum class DeclKind : uint8_t { Var, FixedArray, DynamicArray, Const, ReDim };

/// A name that a scope declares (Dim, Const, ReDim, With's hidden variable).
struct Decl {
  DeclKind kind = DeclKind::Var;
  std::u16string name;
  Pos pos;
  std::vector<ExprPtr> bounds;  // FixedArray: upper bounds
  ExprPtr value;                // Const
  bool isPublic = true;         // a class's field
};

struct ParsedClass {
  std::u16string name;
  Pos pos;
  std::vector<Decl> fields;
};

struct ParsedProcedure {
  Procedure procedure;  // params without slots, body unresolved
  std::vector<Decl> decls;
};

struct ParsedScript {
  Block top;
  std::vector<Decl> globals;
  std::vector<ParsedProcedure> procedures;  // a class's methods too (Procedure::classIndex)
  std::vector<ParsedClass> classes;
  bool optionExplicit = false;
};

/// Parses a token list; throws CompileFailure at the first syntax error.
ParsedScript Parse(const Lexed& lexed);

/// Parses a token list that holds one expression (Eval): the script's only statement is a Call
/// statement whose value is that expression.
ParsedScript ParseExpression(const Lexed& lexed);

/// The name of the hidden variable that holds the object of a With block: it cannot clash with a
/// script's names.
std::u16string WithVariableName(uint32_t index);

}  // namespace corvella::script
