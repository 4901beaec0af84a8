// The corvella command: one subcommand per job, each in its own file under src/.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "commands.h"

namespace {

using corvella::cli::Arguments;
using corvella::cli::Console;

struct Subcommand {
  std::string_view name;
  int (*run)(Arguments, Console&);
  std::string_view summary;
};

constexpr Subcommand kSubcommands[] = {
    {"convert", corvella::cli::RunConvert, "convert images, one or many, through the object"},
    {"info", corvella::cli::RunInfo, "print the format, size and byte count of image files"},
    {"version", corvella::cli::RunVersion, "print the component's version"},
    {"members", corvella::cli::RunMembers, "print the member table of the Pictron interface"},
};

void PrintUsage(std::FILE* out) {
  std::fputs("usage: corvella COMMAND [ARGUMENTS...]\n\nCommands:\n", out);
  for (const Subcommand& command : kSubcommands) {
    std::fprintf(out, "  %-9.*s %.*s\n", static_cast<int>(command.name.size()), command.name.data(),
                 static_cast<int>(command.summary.size()), command.summary.data());
  }
  std::fputs("\n'corvella --help' prints everything; 'corvella COMMAND --help' one command.\n",
             out);
}

void PrintHelp(std::FILE* out) {
  PrintUsage(out);
  std::fputs("\n", out);
  std::fputs(corvella::cli::ConvertHelp().data(), out);
  std::fputs("\n", out);
  std::fputs(corvella::cli::InfoHelp().data(), out);
  std::fputs("\n", out);
  std::fputs(corvella::cli::ErrorsHelp().data(), out);
}

// Converting a photo means buffers of tens of megabytes (a 5312 x 2988 image is 48 MB) that are
// written once and read once. Backed by ordinary 4 KiB pages they cost one page fault per page and
// many TLB misses, about half the time of a thumbnail; backed by transparent huge pages they cost
// almost nothing. glibc does that for malloc's large blocks when GLIBC_TUNABLES holds
// glibc.malloc.hugetlb=1, a setting it reads only at start-up, so the command starts itself once
// more with it. A setting the user made (glibc.malloc.hugetlb=0 included) is kept; when the
// restart fails the command goes on as it is. No result changes, only the time.
void UseHugePagesForLargeBuffers(char** argv) {
#if defined(__linux__) && defined(__GLIBC__)
  const char* tunables = std::getenv("GLIBC_TUNABLES");
  const std::string before = tunables != nullptr ? tunables : "";
  if (before.find("glibc.malloc.hugetlb") != std::string::npos) return;
  const std::string after =
      before.empty() ? "glibc.malloc.hugetlb=1" : before + ":glibc.malloc.hugetlb=1";
  if (::setenv("GLIBC_TUNABLES", after.c_str(), 1) != 0) return;
  ::execv("/proc/self/exe", argv);
  if (tunables != nullptr) {
    ::setenv("GLIBC_TUNABLES", before.c_str(), 1);
  } else {
    ::unsetenv("GLIBC_TUNABLES");
  }
#else
  (void)argv;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  Console console;
  console.outIsTerminal = ::isatty(STDOUT_FILENO) != 0;
  console.errIsTerminal = ::isatty(STDERR_FILENO) != 0;
  std::error_code failure;
  console.workingFolder = std::filesystem::current_path(failure);
  if (failure) {
    std::fprintf(stderr, "corvella: cannot read the working folder: %s\n",
                 failure.message().c_str());
    return corvella::cli::kExitFailed;
  }

  if (argc < 2) {
    PrintUsage(stderr);
    return corvella::cli::kExitUsage;
  }
  const std::string_view command = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "--help" || command == "-h" || command == "help") {
    PrintHelp(stdout);
    return corvella::cli::kExitOk;
  }
  if (command == "--version") return corvella::cli::RunVersion({}, console);
  if (command == "convert") UseHugePagesForLargeBuffers(argv);
  for (const Subcommand& subcommand : kSubcommands) {
    if (subcommand.name == command) return subcommand.run(args, console);
  }
  std::fprintf(stderr, "corvella: unknown command '%.*s'\n", static_cast<int>(command.size()),
               command.data());
  PrintUsage(stderr);
  return corvella::cli::kExitUsage;
}
