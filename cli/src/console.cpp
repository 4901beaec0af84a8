// Reporting errors and usage faults of the corvella command.

#include "console.h"

#include <exception>
#include <new>

namespace corvella::cli {

std::string FormatError(const platform::Error& error) {
  std::string_view source = error.Source().empty() ? kCommandSource : error.Source();
  return "error " + std::to_string(error.Number()) + " (" + std::string(source) +
         "): " + error.Description() + DetailLines(error.Detail());
}

std::string DetailLines(std::string_view detail) {
  return detail.empty() ? std::string() : "\n  " + std::string(detail);
}

platform::Error CurrentError() {
  try {
    throw;
  } catch (const platform::Error& error) {
    return error;
  } catch (const std::bad_alloc&) {
    return platform::MakeError(platform::RuntimeError::OutOfMemory);
  } catch (const std::exception& error) {
    return platform::MakeError(platform::RuntimeError::InvalidProcedureCall, error.what());
  } catch (...) {
    return platform::MakeError(platform::RuntimeError::InvalidProcedureCall);
  }
}

int ReportUsageError(Console& console, std::string_view command, const UsageError& error) {
  std::fprintf(console.err, "corvella %.*s: %s\nTry 'corvella --help' for more information.\n",
               static_cast<int>(command.size()), command.data(), error.what());
  return kExitUsage;
}

bool WriteAll(std::FILE* stream, std::span<const uint8_t> bytes) {
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size()) {
    return false;
  }
  return std::fflush(stream) == 0;
}

std::string_view ErrorsHelp() {
  return R"(Errors:
  A failure prints one line on standard error and the status is 1:
    error NUMBER (SOURCE): DESCRIPTION
  DESCRIPTION is exactly what a script reads from Err.Description; what more a person needs
  (the path, the member, the system's reason) follows on a line of its own, indented.
  NUMBER is the error number exactly as a script sees it (Err.Number), in signed decimal:
    component errors   -2147221504 + code   (code 1000 "Empty file name" is -2147220504,
                                             1030 "File not found" is -2147220474)
    runtime errors     -2146828288 + n      (9 "Subscript out of range" is -2146828279,
                                             53 "File not found" is -2146828235,
                                             481 "Invalid picture" is -2146827807)
  SOURCE is "Corvella.Pictron" for the object's errors ("Ferrowick.File" for one of them) and
  "corvella" for errors of the command's own (writing PNG, BMP or standard output).
  A fault in the command line itself (an unknown option, a missing value, a bad number) prints
  what is wrong and the status is 2.
)";
}

}  // namespace corvella::cli
