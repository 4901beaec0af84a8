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
    {"thumbnail", corvella::cli::RunThumbnail, "make small pictures of photos, fast, on every core"},
    {"info", corvella::cli::RunInfo, "print the format, size and byte count of image files"},
    {"run", corvella::cli::RunScript, "run a VBScript job or page that drives the object"},
    {"serve", corvella::cli::RunServe, "serve a site of classic pages and files over HTTP"},
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
  std::fputs(corvella::cli::ThumbnailHelp().data(), out);
  std::fputs("\n", out);
  std::fputs(corvella::cli::InfoHelp().data(), out);
  std::fputs("\n", out);
  std::fputs(corvella::cli::RunHelp().data(), out);
  std::fputs("\n", out);
  std::fputs(corvella::cli::ServeHelp().data(), out);
  std::fputs("\n", out);
  std::fputs(corvella::cli::ErrorsHelp().data(), out);
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
  for (const Subcommand& subcommand : kSubcommands) {
    if (subcommand.name == command) return subcommand.run(args, console);
  }
  std::fprintf(stderr, "corvella: unknown command '%.*s'\n", static_cast<int>(command.size()),
               command.data());
  PrintUsage(stderr);
  return corvella::cli::kExitUsage;
}
