// Walking the arguments of a subcommand.

#include "option_scanner.h"

namespace corvella::cli {

bool OptionScanner::Next() {
  hasInlineValue_ = false;
  while (next_ < args_.size()) {
    std::string_view arg = args_[next_++];
    if (!afterDashes_ && arg == "--") {
      afterDashes_ = true;
      continue;
    }
    isOption_ = !afterDashes_ && arg.size() > 1 && arg[0] == '-';
    current_ = arg;
    if (isOption_ && arg.starts_with("--")) {
      size_t equals = arg.find('=');
      if (equals != std::string_view::npos) {
        current_ = arg.substr(0, equals);
        inlineValue_ = arg.substr(equals + 1);
        hasInlineValue_ = true;
      }
    }
    return true;
  }
  return false;
}

std::string_view OptionScanner::Value() {
  if (hasInlineValue_) return inlineValue_;
  if (next_ >= args_.size()) throw UsageError("option " + std::string(current_) + " needs a value");
  return args_[next_++];
}

void OptionScanner::NoValue() const {
  if (hasInlineValue_) throw UsageError("option " + std::string(current_) + " takes no value");
}

}  // namespace corvella::cli
