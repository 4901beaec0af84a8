#pragma once
/// @file
/// The script engine: compiles and runs scripts written in VBScript, the language in which the
/// component's users drive it (classic server pages and command-line jobs).
///
/// An embedding program compiles a script once (Compile) and runs it (Run) against a Host, which
/// provides the named global objects (WScript, Server, Response, ...), creates objects for
/// CreateObject and is told when the script starts and ends. Values are platform::Variant and
/// objects are platform::Dispatchable; an object raises platform::Error to report a failure and
/// throws ScriptExit to end the script (WScript.Quit, Response.End).
///
/// A script stops at its first uncaught error; the result carries the error with its position,
/// which FormatError turns into the line that hosts print. A syntax error is reported the same
/// way by Compile, before anything runs.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "corvella/platform/run_limits.h"
#include "corvella/platform/variant.h"

namespace corvella::script {

/// A place in the script text: line and column from 1 (a column counts UTF-16 code units, a tab
/// as one). Line 0 means no place: an error outside the script's own statements.
struct SourcePosition {
  int line = 0;
  int column = 0;
  bool operator==(const SourcePosition&) const = default;
};

/// The source that the engine gives its own runtime and compilation errors.
inline constexpr std::string_view kRuntimeErrorSource = "Script runtime error";
inline constexpr std::string_view kCompilationErrorSource = "Script compilation error";

/// An error that stopped a script or its compilation.
struct ScriptError {
  /// The full number: 0x800A0000 + n for runtime and compilation errors, the object's own
  /// number (read as signed 32-bit) for errors that objects raise.
  int32_t number = 0;
  std::string source;       ///< UTF-8
  std::string description;  ///< UTF-8, the bare text that Err.Description reads
  std::string detail;       ///< UTF-8, what a person needs beyond it (a path, a name); may be empty
  SourcePosition position;  ///< of the statement where the error arose, or of the bad token
  bool compilation = false;
};

/// Thrown by a host object to end the script at once with an exit code (WScript.Quit n;
/// Response.End throws ScriptExit(0)). It is not a script error: On Error Resume Next lets it
/// pass, and the script's end hooks still run.
class ScriptExit {
 public:
  explicit ScriptExit(int code = 0) : code_(code) {}
  int Code() const noexcept { return code_; }

 private:
  int code_;
};

/// A compiled script. Immutable: it may be run any number of times, one run at a time per
/// thread.
class Program;

/// What Compile answers: the program, or the syntax error that prevented it.
struct CompileResult {
  std::shared_ptr<const Program> program;
  std::optional<ScriptError> error;
};

/// Compiles script text. Never throws for bad script text: a syntax error comes back in
/// CompileResult::error with the line and column of the offending token.
CompileResult Compile(std::u16string_view source);

/// What the engine asks of the program that embeds it. Every member has a default, so a host
/// overrides only what it provides.
class Host {
 public:
  virtual ~Host() = default;
  /// The global object that a script reaches by @p name (WScript, Server, Response, ...), asked
  /// once per run for every name that the script uses without declaring it. nullptr: no such
  /// object; the name is then an ordinary variable (or, under Option Explicit, an error).
  virtual platform::ObjectRef NamedItem(std::u16string_view name);
  /// Creates the object of CreateObject(progId). The default raises runtime error 429.
  virtual platform::ObjectRef CreateObject(std::u16string_view progId);
  /// MsgBox: shows @p prompt under @p title (empty when the script gave none) with the buttons
  /// that @p buttons names (vbOKOnly .. vbRetryCancel, with icon and default-button flags) and
  /// answers the button chosen (vbOK .. vbNo). The default raises runtime error 70 (Permission
  /// denied), as a host with no one to ask does: a page on a server.
  virtual int32_t MessageBox(std::u16string_view prompt, std::u16string_view title,
                             int32_t buttons);
  /// InputBox: asks for a line of text with @p prompt under @p title, offering @p defaultText,
  /// and answers the text ("" when the user cancels). The default raises runtime error 70.
  virtual std::u16string InputBox(std::u16string_view prompt, std::u16string_view title,
                                  std::u16string_view defaultText);
  /// Called once the script has compiled and its globals are bound, before its first statement.
  virtual void ScriptStarting() {}
  /// Called once when the script has stopped, whatever the reason (its end, ScriptExit, an
  /// error, a timeout), while its variables still hold their objects. A server host calls
  /// OnEndPage on the objects it created here. An error raised here is reported when the script
  /// itself ended without one.
  virtual void ScriptEnded() {}
};

/// The answer of the default button of a MsgBox with these @p buttons (vbOK for vbOKOnly, vbNo
/// for vbYesNo + vbDefaultButton2): what a host that asks no one answers. Runtime error 5 for a
/// set of buttons that does not exist.
int32_t DefaultButtonAnswer(int32_t buttons);

/// Limits of one run.
struct RunOptions {
  /// The script stops with RunStatus::TimedOut when it is still running at this time: a watchdog
  /// raises a flag that every statement, every turn of a loop and the long built-in functions
  /// and pixel loops check.
  std::optional<std::chrono::steady_clock::time_point> deadline;
  /// The script stops with RunStatus::Cancelled once this flag is set (from any thread).
  const std::atomic<bool>* cancel = nullptr;
  /// The script stops with RunStatus::TimedOut after this many statements and loop turns
  /// (0: no limit). Fuzzing and tests use it; hosts use the deadline.
  uint64_t maxSteps = 0;
  /// The most machine stack that the script's nested calls may use; deeper recursion raises
  /// runtime error 28 ("Out of stack space"). Keep it well below the stack of the thread that
  /// runs the script.
  size_t maxStackBytes = 1024 * 1024;
  /// The longest string a script may build, in characters; longer ones raise runtime error 7.
  size_t maxStringLength = size_t{1} << 28;
  /// The most elements an array made by a script may have (arrays held in arrays counted with
  /// their elements); more raise runtime error 7.
  size_t maxArrayElements = size_t{1} << 24;
  /// The most memory the run may hold, in bytes: its pixel buffers, and in a program that links
  /// the counting allocation functions everything it allocates. Past it, runtime error 7.
  size_t memoryLimit = SIZE_MAX;
  /// Limits shared with the host (its watchdog flag and memory budget), which then owns the
  /// deadline and the budget; nullptr: the run makes its own from the options above.
  platform::RunLimits* limits = nullptr;
};

/// How a run ended.
enum class RunStatus {
  Completed,     ///< the script ran to its end
  Exited,        ///< a ScriptExit ended it (WScript.Quit, Response.End)
  CompileError,  ///< it did not compile (RunSource only)
  RuntimeError,  ///< an uncaught error stopped it
  TimedOut,      ///< the deadline or the step limit stopped it
  Cancelled,     ///< the cancel flag stopped it
};

/// The outcome of a run.
struct RunResult {
  RunStatus status = RunStatus::Completed;
  /// The process exit code for a command-line host: 0 when completed, the ScriptExit code,
  /// 1 for a compilation or runtime error, 124 when timed out, 130 when cancelled.
  int exitCode = 0;
  /// The error for CompileError and RuntimeError.
  std::optional<ScriptError> error;
};

/// Runs a compiled program against @p host. Never throws: every failure is in the result.
RunResult Run(const Program& program, Host& host, const RunOptions& options = {});

/// Compiles and runs script text.
RunResult RunSource(std::u16string_view source, Host& host, const RunOptions& options = {});

/// The line that a host prints for an error:
/// "SCRIPT(LINE, COLUMN) SOURCE: DESCRIPTION (0xNNNNNNNN)", the number in upper-case hex.
std::string FormatError(std::string_view scriptName, const ScriptError& error);

/// Decodes the bytes of a script file: UTF-16LE when it starts with that byte-order mark, UTF-8
/// (a leading byte-order mark dropped) when the bytes are valid UTF-8, else Windows-1252, in
/// which scripts written on Windows usually come.
std::u16string DecodeScriptText(std::span<const uint8_t> bytes);

}  // namespace corvella::script
