#include "text_search.h"

#include <algorithm>

#include "corvella/platform/run_limits.h"

namespace corvella::script {

namespace {

// Patterns up to this length are searched directly: at most this many comparisons per character.
constexpr size_t kShortPattern = 8;
// A long search looks at the run's interrupt flag this often (characters).
constexpr size_t kCheckInterval = size_t{1} << 16;

}  // namespace

TextSearcher::TextSearcher(std::u16string_view pattern) : pattern_(pattern) {
  if (pattern_.size() > kShortPattern) failures_ = Failures(pattern_);
}

// For each prefix of the pattern, the length of its longest proper border (Knuth-Morris-Pratt).
std::vector<size_t> TextSearcher::Failures(std::u16string_view pattern) {
  std::vector<size_t> failures(pattern.size(), 0);
  size_t k = 0;
  for (size_t i = 1; i < pattern.size(); ++i) {
    while (k > 0 && pattern[i] != pattern[k])
      k = failures[k - 1];
    if (pattern[i] == pattern[k]) ++k;
    failures[i] = k;
  }
  return failures;
}

size_t TextSearcher::Search(std::u16string_view text, std::u16string_view pattern,
                            const std::vector<size_t>& failures, size_t from) {
  size_t m = pattern.size();
  if (m == 0) return from <= text.size() ? from : std::u16string_view::npos;
  if (from >= text.size() || text.size() - from < m) return std::u16string_view::npos;
  if (m <= kShortPattern) {
    // Directly, a chunk at a time, so that a long search still sees the interrupt flag.
    for (size_t start = from; start + m <= text.size(); start += kCheckInterval) {
      platform::CheckInterrupt();
      size_t length = std::min(text.size() - start, kCheckInterval + m - 1);
      size_t at = text.substr(start, length).find(pattern);
      if (at != std::u16string_view::npos) return start + at;
    }
    return std::u16string_view::npos;
  }
  size_t k = 0;
  for (size_t i = from; i < text.size(); ++i) {
    if (((i - from) & (kCheckInterval - 1)) == 0) platform::CheckInterrupt();
    while (k > 0 && text[i] != pattern[k])
      k = failures[k - 1];
    if (text[i] == pattern[k]) ++k;
    if (k == m) return i + 1 - m;
  }
  return std::u16string_view::npos;
}

size_t TextSearcher::Find(std::u16string_view text, size_t from) const {
  return Search(text, pattern_, failures_, from);
}

size_t TextSearcher::FindLast(std::u16string_view text, size_t lastStart) const {
  size_t m = pattern_.size();
  if (m > text.size()) return std::u16string_view::npos;
  lastStart = std::min(lastStart, text.size() - m);
  if (m <= kShortPattern) return text.rfind(pattern_, lastStart);
  // The first match in the reversed text is the last one in the text.
  std::u16string reversedText(text.substr(0, lastStart + m));
  std::reverse(reversedText.begin(), reversedText.end());
  std::u16string reversedPattern(pattern_.rbegin(), pattern_.rend());
  size_t at = Search(reversedText, reversedPattern, Failures(reversedPattern), 0);
  if (at == std::u16string_view::npos) return at;
  return reversedText.size() - at - m;
}

}  // namespace corvella::script
