// corvella info: the format, size and byte count of image files, read from their headers.

#include <string>
#include <vector>

#include "bound_object.h"
#include "commands.h"
#include "corvella/platform/text.h"
#include "option_scanner.h"

namespace corvella::cli {

namespace {

// Opens the file (which reads its header and decodes nothing) and prints its line; false when
// the file could not be opened.
bool PrintInfo(Console& console, const std::string& file) {
  try {
    BoundObject object(console.workingFolder);
    platform::Variant name(platform::Utf8ToWide(file));
    object.Call(u"OpenFile", std::span(&name, 1));
    const std::string format = platform::WideToUtf8(object.Object().State().strFormat);
    const int32_t width = object.Get(u"OriginalWidth").ToI4();
    const int32_t height = object.Get(u"OriginalHeight").ToI4();
    const int32_t bytes = object.Get(u"OriginalSize").ToI4();
    std::fprintf(console.out, "%s: %s %dx%d %d bytes\n", file.c_str(), format.c_str(), width,
                 height, bytes);
    return true;
  } catch (...) {
    platform::Error error = CurrentError();
    std::fprintf(console.out, "%s: error %d: %s\n", file.c_str(), error.Number(),
                 error.Description().c_str());
    if (!error.Detail().empty()) {
      std::fprintf(console.err, "%s: %s\n", file.c_str(), error.Detail().c_str());
    }
    return false;
  }
}

}  // namespace

int RunInfo(Arguments args, Console& console) {
  std::vector<std::string> files;
  try {
    OptionScanner scanner(args);
    while (scanner.Next()) {
      if (!scanner.IsOption()) {
        files.emplace_back(scanner.Current());
      } else if (scanner.Current() == "--help" || scanner.Current() == "-h") {
        std::fputs(InfoHelp().data(), console.out);
        return kExitOk;
      } else {
        throw UsageError("unknown option '" + std::string(scanner.Current()) + "'");
      }
    }
    if (files.empty()) throw UsageError("info needs at least one FILE");
  } catch (const UsageError& error) {
    return ReportUsageError(console, "info", error);
  }
  bool allRead = true;
  for (const std::string& file : files)
    allRead = PrintInfo(console, file) && allRead;
  std::fflush(console.out);
  return allRead ? kExitOk : kExitFailed;
}

std::string_view InfoHelp() {
  return R"(usage: corvella info FILE...

Prints one line per file, read from the file's header without decoding its pixels:
  FILE: FORMAT WIDTHxHEIGHT BYTES bytes      for example  photo.jpg: JPEG 640x480 123456 bytes
  FILE: error NUMBER: DESCRIPTION            when the file cannot be opened
FORMAT is JPEG, GIF, BMP or PNG; the sizes are OriginalWidth, OriginalHeight and OriginalSize
of the object after OpenFile. The status is 1 when any file could not be opened.
)";
}

}  // namespace corvella::cli
