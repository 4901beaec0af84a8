#pragma once
// Substring search in time linear in the text and the pattern, for InStr, InStrRev, Replace and
// Split: a string of a million characters searched for a pattern of half a million costs
// milliseconds, whatever the characters.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace corvella::script {

class TextSearcher {
 public:
  explicit TextSearcher(std::u16string_view pattern);
  /// The first position at or after @p from where the pattern starts, or npos.
  size_t Find(std::u16string_view text, size_t from) const;
  /// The last position at or before @p lastStart where the pattern starts, or npos.
  size_t FindLast(std::u16string_view text, size_t lastStart) const;

 private:
  static std::vector<size_t> Failures(std::u16string_view pattern);
  static size_t Search(std::u16string_view text, std::u16string_view pattern,
                       const std::vector<size_t>& failures, size_t from);

  std::u16string pattern_;
  std::vector<size_t> failures_;
};

}  // namespace corvella::script
