#pragma once
// What a subcommand of the corvella command works with: its streams, whether they are terminals,
// the working folder that relative paths start from, and the rules for reporting failures.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "corvella/platform/error.h"

namespace corvella::cli {

/// Exit statuses of the command.
inline constexpr int kExitOk = 0;
/// An operation failed (an error was printed), or some files of a batch did.
inline constexpr int kExitFailed = 1;
/// The command line itself is wrong: an unknown option, a missing value, a bad number.
inline constexpr int kExitUsage = 2;

/// The surroundings of one run of a subcommand. main() fills it from the process; tests give
/// memory streams and a folder of their own.
struct Console {
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  /// Image bytes are not written to a terminal; a progress bar is drawn only on one.
  bool outIsTerminal = false;
  bool errIsTerminal = false;
  /// The folder that relative paths are taken from (absolute).
  std::filesystem::path workingFolder;
  /// What a script's InputBox reads.
  std::FILE* in = stdin;
};

/// The arguments of a subcommand, after its name, as the shell passed them (UTF-8).
using Arguments = std::span<const std::string>;

/// A fault in the command line. Subcommands throw it from their parsing, before any file is
/// touched, and report it with ReportUsageError.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// The source printed for an error raised outside the object (the command's own writers and
/// checks), which has none of its own.
inline constexpr std::string_view kCommandSource = "corvella";

/// "error NUMBER (SOURCE): DESCRIPTION" with NUMBER in signed decimal, as scripts see it, then
/// the error's detail (the path, the member, the system's reason), if it has one, on a line of
/// its own: DetailLines(error.Detail()).
std::string FormatError(const platform::Error& error);

/// "\n  DETAIL" for a detail that is not empty, else nothing: the line that follows an error's
/// standard line on the error stream for a person to read.
std::string DetailLines(std::string_view detail);

/// The exception being handled as a platform::Error: a failed allocation becomes runtime error
/// 7, any other exception runtime error 5 with its text. Call it only inside a catch block.
platform::Error CurrentError();

/// Prints "corvella COMMAND: MESSAGE" and a hint to the help on the error stream; answers
/// kExitUsage.
int ReportUsageError(Console& console, std::string_view command, const UsageError& error);

/// Runs @p body and answers its status. An exception it throws is printed as one FormatError
/// line on the error stream, after "PREFIX: " when @p prefix is not empty, and answers
/// kExitFailed.
template <typename Body>
int ReportingErrors(Console& console, std::string_view prefix, Body&& body) {
  try {
    return body();
  } catch (...) {
    std::string line = FormatError(CurrentError());
    if (!prefix.empty()) line = std::string(prefix) + ": " + line;
    std::fprintf(console.err, "%s\n", line.c_str());
    return kExitFailed;
  }
}

/// Writes all of @p bytes to @p stream and flushes it; false when the stream refuses them.
bool WriteAll(std::FILE* stream, std::span<const uint8_t> bytes);

}  // namespace corvella::cli
