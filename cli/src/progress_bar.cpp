// The batch progress bar.

#include "progress_bar.h"

#include <string>

namespace corvella::cli {

namespace {

constexpr size_t kBarWidth = 30;
constexpr size_t kNameBytes = 40;

// At most @p bytes bytes of a UTF-8 name, cut at a character boundary, with "..." in front when
// it was cut (the end of a path says most).
std::string ShortName(std::string_view name, size_t bytes) {
  if (name.size() <= bytes) return std::string(name);
  size_t start = name.size() - (bytes - 3);
  while (start < name.size() && (static_cast<unsigned char>(name[start]) & 0xC0) == 0x80)
    ++start;
  return "..." + std::string(name.substr(start));
}

}  // namespace

void ProgressBar::Show(size_t done, std::string_view current) {
  if (!enabled_) return;
  size_t filled = done >= total_ ? kBarWidth : done * kBarWidth / total_;
  std::string line = "\r\033[K[";
  line.append(filled, '#');
  line.append(kBarWidth - filled, '.');
  line += "] ";
  std::string count = std::to_string(total_);
  std::string doneText = std::to_string(done);
  line.append(count.size() - doneText.size(), ' ');
  line += doneText + "/" + count;
  if (!current.empty()) line += " " + ShortName(current, kNameBytes);
  std::fputs(line.c_str(), stream_);
  std::fflush(stream_);
  drawn_ = true;
}

void ProgressBar::Clear() {
  if (!drawn_) return;
  std::fputs("\r\033[K", stream_);
  std::fflush(stream_);
  drawn_ = false;
}

}  // namespace corvella::cli
