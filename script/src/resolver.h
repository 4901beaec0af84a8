#pragma once
// Turns the parser's names into slots, constants, procedures and built-in functions.

#include "ast.h"
#include "parser.h"

namespace corvella::script {

/// The scope in which code compiled while a script runs (Execute, ExecuteGlobal, Eval) finds
/// the names it does not declare itself, and where its own declarations go.
struct ResolveContext {
  const NameTable* names = nullptr;      // the running script's global names
  const Procedure* procedure = nullptr;  // the procedure whose locals it sees, if any
  const ClassDef* cls = nullptr;         // the class whose members it sees, if any
  // For Execute in a procedure: the names that Execute declared there (folded name -> index
  // from kExecuteLocalBase), which the code's own Dim adds to.
  std::unordered_map<std::u16string, uint32_t>* executeLocals = nullptr;
  uint32_t globalBase = 0;               // the first global slot it may take
  uint32_t procedureBase = 0;            // the index its first procedure gets
  uint32_t classBase = 0;                // the index its first class gets
};

/// Resolves every name of @p parsed; throws CompileFailure for a name declared twice, an
/// assignment to a constant or procedure, or a constant that is not a literal. With a
/// @p context, names declared nowhere are found there, and Program::names holds the names the
/// code adds to the global scope.
Program Resolve(ParsedScript parsed, const ResolveContext* context = nullptr);

}  // namespace corvella::script
