#pragma once
/// @file
/// The regular expression object of scripts ("VBScript.RegExp", and `New RegExp` in the language).

#include "corvella/platform/variant.h"

namespace corvella::script {

/// A new regular expression object. Scriptable members:
///   Pattern, IgnoreCase, Global, Multiline   the expression and its flags (all off by default)
///   Test(string)                             Boolean: the pattern matches somewhere
///   Execute(string)                          a Matches collection (Count, Item(i), For Each) of
///                                            Match objects (Value, FirstIndex, Length,
///                                            SubMatches); all matches when Global, else the first
///   Replace(string, replacement)             the string with the first (or, when Global, every)
///                                            match replaced; in the replacement "$1" .. "$99" is
///                                            a group, "$&" the match, "$`" what precedes it, "$'"
///                                            what follows, "$$" a "$". A function (GetRef) as the
///                                            replacement is called with the match, each group,
///                                            the match's position and the string.
/// The syntax is the one scripts use (that of the JavaScript language of its time): character
/// classes, groups (?: ?= ?!), lazy quantifiers, \b \d \s \w, \xHH, \uHHHH, back references.
/// An invalid pattern raises runtime error 5017 .. 5021 when it is first used. Every match runs
/// under a step, depth and memory limit, so a pattern that backtracks without end raises
/// runtime error 28 instead of hanging; results larger than the engine's largest string raise
/// runtime error 7.
platform::ObjectRef CreateRegExp();

}  // namespace corvella::script
