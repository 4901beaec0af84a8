#pragma once
// Turns the parser's names into slots, constants, procedures and built-in functions.

#include "ast.h"
#include "parser.h"

namespace corvella::script {

/// Resolves every name of @p parsed; throws CompileFailure for a name declared twice, an
/// assignment to a constant or procedure, or a constant that is not a literal.
Program Resolve(ParsedScript parsed);

}  // namespace corvella::script
