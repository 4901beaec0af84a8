#pragma once
// The subcommands of the corvella command. Each takes the arguments after its name and answers
// the process's exit status (kExitOk, kExitFailed, kExitUsage).

#include <string_view>

#include "console.h"

namespace corvella::cli {

/// corvella convert INPUT OUTPUT [OPERATION...], and --batch over many inputs.
int RunConvert(Arguments args, Console& console);
/// corvella thumbnail INPUT... --size W[xH] (--out-dir DIR | -o OUTPUT) [--jobs N] ...
int RunThumbnail(Arguments args, Console& console);
/// corvella info FILE...
int RunInfo(Arguments args, Console& console);
/// corvella version
int RunVersion(Arguments args, Console& console);
/// corvella members
int RunMembers(Arguments args, Console& console);
/// corvella run SCRIPT [--root DIR] [--response FILE] [--timeout SECONDS] [ARG...]
int RunScript(Arguments args, Console& console);

/// corvella serve SITE_ROOT [--bind ADDR] [--port N] [OPTIONS]
int RunServe(Arguments args, Console& console);

/// The help texts that the subcommands print for --help, each ending with a newline.
std::string_view ConvertHelp();
std::string_view InfoHelp();
std::string_view ThumbnailHelp();
std::string_view RunHelp();
std::string_view ServeHelp();
/// What every subcommand's errors look like and what their numbers mean.
std::string_view ErrorsHelp();

}  // namespace corvella::cli
