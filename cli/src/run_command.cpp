// corvella run: runs a script written in VBScript, as a command-line job and as a page of a web
// site would run it, with the component and the host objects that such scripts use.

#include <charconv>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "commands.h"
#include "corvella/platform/file_system.h"
#include "corvella/platform/text.h"
#include "corvella/script/engine.h"
#include "script_host.h"

namespace corvella::cli {

namespace {

namespace fs = std::filesystem;

// The longest --timeout accepted, in seconds (about 30 years): far beyond any job, small enough
// for the clock's arithmetic.
constexpr double kMaxTimeoutSeconds = 1e9;

// An output stream buffer that hands every character on to a C stream at once, so that what the
// script writes keeps its order with what the command writes there itself.
class FileBuffer final : public std::streambuf {
 public:
  explicit FileBuffer(std::FILE* file) : file_(file) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    return std::fputc(c, file_) == EOF ? traits_type::eof() : c;
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    return static_cast<std::streamsize>(std::fwrite(text, 1, static_cast<size_t>(count), file_));
  }
  int sync() override { return std::fflush(file_) == 0 ? 0 : -1; }

 private:
  std::FILE* file_;
};

struct RunJob {
  std::string script;
  std::optional<std::string> root;
  std::optional<std::string> response;
  std::optional<double> timeoutSeconds;
  size_t memoryLimit = size_t{2} << 30;
  std::vector<std::string> arguments;
};

// --memory-limit: bytes, or a number with K, M or G (binary multiples).
size_t ParseMemoryLimit(std::string_view text) {
  uint64_t number = 0;
  auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), number);
  std::string_view unit = text.substr(static_cast<size_t>(end - text.data()));
  int shift = unit.empty() ? 0 : unit == "K" || unit == "k" ? 10 : unit == "M" || unit == "m" ? 20
                              : unit == "G" || unit == "g" ? 30 : -1;
  if (failure != std::errc() || end == text.data() || shift < 0 || number == 0 ||
      number > (uint64_t{1} << 50) >> shift) {
    throw UsageError("--memory-limit needs a number of bytes (with K, M or G), not '" +
                     std::string(text) + "'");
  }
  return static_cast<size_t>(number << shift);
}

double ParseTimeout(std::string_view text) {
  double seconds = 0;
  auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (failure != std::errc() || end != text.data() + text.size() || !std::isfinite(seconds) ||
      seconds <= 0 || seconds > kMaxTimeoutSeconds) {
    throw UsageError("--timeout needs a number of seconds greater than 0, not '" +
                     std::string(text) + "'");
  }
  return seconds;
}

// Reads the command line. Options may stand before and after SCRIPT; the first argument after
// SCRIPT that is not one of them, and every argument after "--", goes to the script.
std::optional<RunJob> ParseRun(Arguments args, Console& console) {
  RunJob job;
  bool haveScript = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      size_t first = i + 1;
      if (!haveScript) {
        if (first >= args.size()) break;
        job.script = args[first++];
        haveScript = true;
      }
      job.arguments.assign(args.begin() + static_cast<ptrdiff_t>(first), args.end());
      break;
    }
    if (arg == "--help" || arg == "-h") {
      std::fputs(RunHelp().data(), console.out);
      return std::nullopt;
    }
    std::string_view name = arg;
    std::optional<std::string_view> inlineValue;
    if (arg.rfind("--", 0) == 0) {
      size_t equals = arg.find('=');
      if (equals != std::string::npos) {
        name = std::string_view(arg).substr(0, equals);
        inlineValue = std::string_view(arg).substr(equals + 1);
      }
    }
    auto value = [&]() -> std::string {
      if (inlineValue) return std::string(*inlineValue);
      if (i + 1 >= args.size()) throw UsageError(std::string(name) + " needs a value");
      return args[++i];
    };
    if (name == "--root") {
      job.root = value();
    } else if (name == "--response") {
      job.response = value();
    } else if (name == "--timeout") {
      job.timeoutSeconds = ParseTimeout(value());
    } else if (name == "--memory-limit") {
      job.memoryLimit = ParseMemoryLimit(value());
    } else if (haveScript) {
      job.arguments.assign(args.begin() + static_cast<ptrdiff_t>(i), args.end());
      break;
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw UsageError("unknown option '" + arg + "'");
    } else {
      job.script = arg;
      haveScript = true;
    }
  }
  if (!haveScript) throw UsageError("run needs a SCRIPT");
  if (job.root && job.root->empty()) throw UsageError("--root needs a folder");
  if (job.response && job.response->empty()) throw UsageError("--response needs a file name");
  return job;
}

// The HTTP response as a server would send it: status line, Content-Type, the page's headers,
// a blank line, the body; CRLF line ends.
std::vector<uint8_t> HttpResponse(const host::PageResponse& response) {
  std::string head = "HTTP/1.1 " + response.Status() + "\r\n";
  head += "Content-Type: " + response.ContentType() + "\r\n";
  for (const auto& [name, value] : response.Headers())
    head += name + ": " + value + "\r\n";
  head += "\r\n";
  std::vector<uint8_t> bytes(head.begin(), head.end());
  bytes.insert(bytes.end(), response.Body().begin(), response.Body().end());
  return bytes;
}

std::string SecondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", seconds);
  return text;
}

// A path given on the command line (UTF-8), taken from the working folder, in the system's own
// form; paths pass to the services as UTF-16 on every system.
fs::path CommandPath(const Console& console, std::string_view utf8) {
  return (console.workingFolder / fs::path(platform::Utf8ToWide(utf8))).lexically_normal();
}

int RunJobScript(const RunJob& job, Console& console) {
  const fs::path scriptPath = CommandPath(console, job.script);
  const fs::path rootPath = job.root ? CommandPath(console, *job.root) : scriptPath.parent_path();
  auto fileSystem = platform::CreateFileSystem();
  const std::u16string root = rootPath.u16string();
  if (!fileSystem->FolderExists(root)) {
    platform::Raise(platform::RuntimeError::PathNotFound,
                    "the site root '" + platform::WideToUtf8(root) + "' is not a folder");
  }
  const platform::ByteArray bytes = fileSystem->ReadAll(scriptPath.u16string());

  script::CompileResult compiled = script::Compile(script::DecodeScriptText(bytes.Bytes()));
  if (!compiled.program) {
    std::fprintf(console.err, "%s\n", script::FormatError(job.script, *compiled.error).c_str());
    return kExitFailed;
  }

  // The page's virtual path is found between the real locations, so that a root reached through
  // a link still holds the scripts inside it.
  ScriptSite site;
  site.scriptPath = scriptPath.u16string();
  site.siteRoot = root;
  site.currentPage = PageOfScript(fs::weakly_canonical(rootPath), fs::weakly_canonical(scriptPath));
  std::vector<std::u16string> arguments;
  for (const std::string& argument : job.arguments)
    arguments.push_back(platform::Utf8ToWide(argument));

  FileBuffer outBuffer(console.out);
  FileBuffer errBuffer(console.err);
  std::ostream out(&outBuffer);
  std::ostream err(&errBuffer);
  ScriptHost host(out, err, std::move(arguments), site);
  host.SetInput(console.in);

  script::RunOptions options;
  options.memoryLimit = job.memoryLimit;
  if (job.timeoutSeconds) {
    options.deadline = std::chrono::steady_clock::now() +
                       std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                           std::chrono::duration<double>(*job.timeoutSeconds));
  }
  script::RunResult result = script::Run(*compiled.program, host, options);
  out.flush();
  err.flush();

  // A process status keeps only its low byte: a failure whose low byte is 0 (Quit 256) would
  // read as success, so it ends with 255.
  int status = result.exitCode != 0 && (result.exitCode & 0xFF) == 0 ? 255 : result.exitCode;
  if (result.error) {
    std::fprintf(console.err, "%s%s\n", script::FormatError(job.script, *result.error).c_str(),
                 DetailLines(result.error->detail).c_str());
  } else if (result.status == script::RunStatus::TimedOut) {
    std::fprintf(console.err, "corvella run: %s was stopped after %s seconds (--timeout)\n",
                 job.script.c_str(), SecondsText(*job.timeoutSeconds).c_str());
  }

  // The page's response, as it stands when the script has ended, whatever ended it.
  const host::PageResponse& response = host.Response();
  bool written = true;
  if (job.response) {
    try {
      fileSystem->WriteFileAtomically(CommandPath(console, *job.response).u16string(),
                                      HttpResponse(response));
    } catch (const platform::Error& error) {
      std::fprintf(console.err, "corvella run: %s\n", FormatError(error).c_str());
      written = false;
    }
  } else if (!response.Body().empty() && console.outIsTerminal &&
             response.ContentType().rfind("text/", 0) != 0) {
    // An image would fill the terminal with noise.
    std::fprintf(console.err,
                 "corvella run: the response (%zu bytes of %s) is not written to a terminal; "
                 "use --response FILE or redirect standard output\n",
                 response.Body().size(), response.ContentType().c_str());
    written = false;
  } else if (!response.Body().empty() && !WriteAll(console.out, response.Body())) {
    std::fprintf(console.err, "corvella run: error writing the response to standard output\n");
    written = false;
  }
  if (!written && status == kExitOk) status = kExitFailed;
  return status;
}

}  // namespace

int RunScript(Arguments args, Console& console) {
  std::optional<RunJob> job;
  try {
    job = ParseRun(args, console);
    if (!job) return kExitOk;
  } catch (const UsageError& error) {
    return ReportUsageError(console, "run", error);
  }
  return ReportingErrors(console, "corvella run", [&] { return RunJobScript(*job, console); });
}

std::string_view RunHelp() {
  return R"(usage: corvella run SCRIPT [--root DIR] [--response FILE] [--timeout SECONDS]
                    [--memory-limit N] [ARG...]

Runs a script written in VBScript, as a command-line job and as a page of a web site run it.
The script reaches:
  WScript        Echo (a line on standard output), Quit [CODE], Arguments (the ARGs),
                 ScriptName, ScriptFullName, StdOut, StdErr, CreateObject
  CreateObject   "Corvella.Pictron", "Scripting.Dictionary", "VBScript.RegExp",
                 "ADODB.Stream" (binary and text, LoadFromFile, SaveToFile) and
                 "Scripting.FileSystemObject" (files, folders with Files and SubFolders,
                 OpenTextFile and CreateTextFile, copies, moves and deletions)
  Server         MapPath, CreateObject (the object is bound to the page: OnStartPage
                 now, OnEndPage when the script ends)
  Response       ContentType, AddHeader, Buffer, Status, Write, BinaryWrite, Clear, End
  MsgBox         writes its title (when given) and prompt as lines on standard output and
                 answers its default button (vbOK, or as vbDefaultButton2..4 choose)
  InputBox       writes its title and prompt likewise and reads one line of standard input;
                 an empty line or the end of the input answers its default text

The language is VBScript with classes (Class, Property Get/Let/Set, New, Me, With),
Execute, ExecuteGlobal, Eval and GetRef, New RegExp, and the built-in functions and vb...
constants of its reference, the Currency type of CCur included; numbers, dates and currency
are written as English (United States) writes them.

The script is a page of the site whose root is DIR (default: the script's own folder); a
script outside DIR is a page in DIR itself. Server.MapPath and the object's file names map
virtual paths as a web server does: "/pictures/a.jpg" from the root, "a.jpg" from the
script's folder. A file name that holds a backslash is a physical path and is used as it is
("\" and "/" both separate folders); a name without one needs a page, so an object made
with plain CreateObject takes only physical paths of that form. Server.MapPath answers
physical paths written with backslashes, so its answer can be handed to the object.

Options (before or after SCRIPT; the first other argument after SCRIPT, and everything
after "--", goes to the script):
  --root DIR         the site's root folder
  --response FILE    write the page's HTTP response to FILE when the script ends: the line
                     "HTTP/1.1 200 OK", Content-Type and the added headers, a blank line,
                     the body (CRLF line ends). Without it the body goes to standard output
                     (a body that is not text/... is not written to a terminal).
  --timeout SECONDS  stop a script that runs longer (status 124); the limit holds inside
                     every statement, long built-in function and image operation
  --memory-limit N   the most memory the script may hold at once: strings, arrays, objects
                     and images, in bytes or with K, M or G (default 2G); past it the
                     allocation fails with runtime error 7 (Out of memory)

Status: 0 when the script ends, CODE after WScript.Quit CODE (the system keeps its low
byte; a code other than 0 whose low byte is 0, such as 256, gives 255), 124 when stopped by
--timeout, 1 when it fails: an uncaught error, or a syntax error (nothing runs then),
printed on standard error as
  SCRIPT(LINE, COLUMN) SOURCE: DESCRIPTION (0xNUMBER)
)";
}

}  // namespace corvella::cli
