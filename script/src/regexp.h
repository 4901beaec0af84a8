#pragma once
// The regular expression object (`New RegExp`, "VBScript.RegExp") and the translation of its
// pattern syntax into that of the matching library.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "corvella/script/regexp.h"

namespace corvella::script {

/// A pattern in the matching library's syntax, and the number of capturing groups it has.
struct TranslatedPattern {
  std::u16string text;
  uint32_t groups = 0;
};

/// Translates a script's pattern into the library's syntax, keeping the meaning that scripts
/// expect where the two differ: an unknown escape is the letter itself ("\Q" is "Q"), "\v" is
/// one character, "\1" beyond the groups is an octal escape, "[" inside a class is a character,
/// a hyphen next to a class escape is a hyphen, and the library's own extensions ("(?<", "(*",
/// possessive quantifiers) are errors. Raises runtime errors 5017 .. 5021.
TranslatedPattern TranslatePattern(std::u16string_view pattern);

/// One piece of a replacement text: literal text, or a reference to a group (0 the whole match),
/// the text before the match (-1) or after it (-2).
struct ReplacementPart {
  std::u16string text;
  int32_t reference = 0;
  bool literal = true;
};

/// Splits a replacement text into its pieces for a pattern with @p groups groups: "$$", "$&",
/// "$`", "$'", "$n" and "$nn" (the two-digit form when that group exists, else the one-digit
/// form followed by a digit); a "$" in any other place is itself.
std::vector<ReplacementPart> ParseReplacement(std::u16string_view replacement, uint32_t groups);

}  // namespace corvella::script
