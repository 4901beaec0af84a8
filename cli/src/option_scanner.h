#pragma once
// Walks the arguments of a subcommand: options ("--name", "--name=value", "-h") and positional
// arguments ("-" alone is positional; after "--" every argument is).

#include <cstddef>
#include <string>
#include <string_view>

#include "console.h"

namespace corvella::cli {

class OptionScanner {
 public:
  explicit OptionScanner(Arguments args) : args_(args) {}

  /// Moves to the next argument; false when there is none left.
  bool Next();
  /// True when the current argument is an option, false when it is positional.
  bool IsOption() const { return isOption_; }
  /// The option's name with its dashes ("--resample"), or the positional argument itself.
  std::string_view Current() const { return current_; }
  /// The option's value: the text after "=", else the next argument. UsageError when there is
  /// none.
  std::string_view Value();
  /// UsageError when the option was given a value with "=".
  void NoValue() const;

 private:
  Arguments args_;
  size_t next_ = 0;
  bool afterDashes_ = false;
  bool isOption_ = false;
  bool hasInlineValue_ = false;
  std::string_view current_;
  std::string_view inlineValue_;
};

}  // namespace corvella::cli
