#pragma once
// A one-line progress bar for batches, drawn on a terminal only.

#include <cstddef>
#include <cstdio>
#include <string_view>

namespace corvella::cli {

/// Draws "[#######.............]  35/100 name" on one line of @p stream, redrawn in place. When
/// @p enabled is false (the stream is not a terminal) it draws nothing at all, so that logs and
/// pipes get only the messages.
class ProgressBar {
 public:
  ProgressBar(std::FILE* stream, bool enabled, size_t total)
      : stream_(stream), enabled_(enabled && total > 0), total_(total) {}
  ~ProgressBar() { Clear(); }
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  /// Shows that @p done of the files are finished and @p current is being worked on.
  void Show(size_t done, std::string_view current);
  /// Erases the bar, so that a message can be printed on a clean line; the next Show draws it
  /// again.
  void Clear();

 private:
  std::FILE* stream_;
  bool enabled_;
  size_t total_;
  bool drawn_ = false;
};

}  // namespace corvella::cli
