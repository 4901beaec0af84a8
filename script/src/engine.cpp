#include "corvella/script/engine.h"

#include <cstdio>
#include <new>
#include <stdexcept>

#include "corvella/platform/error.h"
#include "corvella/platform/text.h"
#include "interpreter.h"
#include "lexer.h"
#include "parser.h"
#include "resolver.h"

namespace corvella::script {

using platform::RuntimeError;

platform::ObjectRef Host::NamedItem(std::u16string_view) {
  return nullptr;
}

platform::ObjectRef Host::CreateObject(std::u16string_view progId) {
  platform::Raise(RuntimeError::CannotCreateObject, platform::WideToUtf8(progId));
}

int32_t Host::MessageBox(std::u16string_view, std::u16string_view, int32_t) {
  platform::Raise(RuntimeError::PermissionDenied, "MsgBox");
}

std::u16string Host::InputBox(std::u16string_view, std::u16string_view, std::u16string_view) {
  platform::Raise(RuntimeError::PermissionDenied, "InputBox");
}

namespace {

ScriptError CompileError(RuntimeError error, int line, int column) {
  ScriptError out;
  out.number = platform::RuntimeErrorNumber(error);
  out.source = std::string(kCompilationErrorSource);
  out.description = std::string(platform::RuntimeErrorText(error));
  out.position = SourcePosition{line, column};
  out.compilation = true;
  return out;
}

}  // namespace

CompileResult Compile(std::u16string_view source) {
  CompileResult result;
  try {
    Lexed lexed = Tokenize(source);
    ParsedScript parsed = Parse(lexed);
    result.program = std::make_shared<const Program>(Resolve(std::move(parsed)));
  } catch (const CompileFailure& failure) {
    result.error = CompileError(failure.error, static_cast<int>(failure.line),
                                static_cast<int>(failure.column));
  } catch (const std::bad_alloc&) {
    result.error = CompileError(RuntimeError::OutOfMemory, 0, 0);
  } catch (const std::length_error&) {
    result.error = CompileError(RuntimeError::OutOfMemory, 0, 0);
  }
  return result;
}

RunResult Run(const Program& program, Host& host, const RunOptions& options) {
  try {
    Interpreter interpreter(program, host, options);
    return interpreter.Run();
  } catch (const std::bad_alloc&) {
    RunResult result;
    result.status = RunStatus::RuntimeError;
    result.exitCode = 1;
    ScriptError error;
    error.number = platform::RuntimeErrorNumber(RuntimeError::OutOfMemory);
    error.source = std::string(kRuntimeErrorSource);
    error.description = std::string(platform::RuntimeErrorText(RuntimeError::OutOfMemory));
    result.error = error;
    return result;
  }
}

RunResult RunSource(std::u16string_view source, Host& host, const RunOptions& options) {
  CompileResult compiled = Compile(source);
  if (!compiled.program) {
    RunResult result;
    result.status = RunStatus::CompileError;
    result.exitCode = 1;
    result.error = compiled.error;
    return result;
  }
  return Run(*compiled.program, host, options);
}

std::string FormatError(std::string_view scriptName, const ScriptError& error) {
  char number[16];
  std::snprintf(number, sizeof number, "%08X", static_cast<uint32_t>(error.number));
  std::string out(scriptName);
  out += "(" + std::to_string(error.position.line) + ", " + std::to_string(error.position.column) +
         ") ";
  out += error.source;
  out += ": ";
  out += error.description;
  out += " (0x";
  out += number;
  out += ")";
  return out;
}

namespace {

bool IsValidUtf8(std::span<const uint8_t> bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    uint8_t b = bytes[i];
    size_t extra = b < 0x80           ? 0
                   : (b >> 5) == 0x6  ? 1
                   : (b >> 4) == 0xE  ? 2
                   : (b >> 3) == 0x1E ? 3
                                      : 9;
    if (extra == 9 || (extra == 1 && b < 0xC2)) return false;
    for (size_t k = 1; k <= extra; ++k) {
      if (i + k >= bytes.size() || (bytes[i + k] & 0xC0) != 0x80) return false;
    }
    i += extra + 1;
  }
  return true;
}

// Windows-1252 characters for the bytes 0x80 .. 0x9F; the other bytes are Latin-1.
constexpr char16_t kWindows1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

std::u16string DecodeScriptText(std::span<const uint8_t> bytes) {
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      text += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    }
    return text;
  }
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    bytes = bytes.subspan(3);
  }
  if (IsValidUtf8(bytes)) {
    return platform::Utf8ToWide(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
  std::u16string text;
  text.reserve(bytes.size());
  for (uint8_t b : bytes) {
    text += (b >= 0x80 && b < 0xA0) ? kWindows1252[b - 0x80] : static_cast<char16_t>(b);
  }
  return text;
}

}  // namespace corvella::script
