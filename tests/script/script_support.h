#pragma once
// Runs scripts through the engine for the script tests: a WScript object that echoes into a
// string, a host with named items and classes, and helpers to read the output.

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "corvella/platform/text.h"
#include "corvella/script/engine.h"
#include "corvella/script/host.h"
#include "corvella/script/wscript.h"

namespace corvella::script::testing {

/// The outcome of one script run: the engine's result and what WScript.Echo wrote.
struct Outcome {
  RunResult result;
  std::string out;
  std::string err;

  bool Ok() const { return result.status == RunStatus::Completed; }
  /// The error's number as Err.Number shows it for runtime errors (n of 0x800A0000 + n).
  int ErrorCode() const {
    return result.error ? static_cast<int>(static_cast<uint32_t>(result.error->number) & 0xFFFF)
                        : 0;
  }
};

/// A script runner: register objects on host, then Run.
class Runner {
 public:
  Runner() {
    wscript_ = std::make_shared<WScriptObject>(out_, err_, std::vector<std::u16string>{},
                                               u"C:\\jobs\\test.vbs");
    host.AddNamedItem(u"WScript", wscript_);
  }

  void SetArguments(std::vector<std::u16string> arguments) {
    wscript_ =
        std::make_shared<WScriptObject>(out_, err_, std::move(arguments), u"C:\\jobs\\test.vbs");
    host = BasicHost();
    host.AddNamedItem(u"WScript", wscript_);
  }

  Outcome Run(std::string_view source, const RunOptions& options = {}) {
    out_.str({});
    err_.str({});
    Outcome outcome;
    outcome.result = RunSource(platform::Utf8ToWide(source), host, options);
    outcome.out = out_.str();
    outcome.err = err_.str();
    return outcome;
  }

  BasicHost host;

 private:
  std::ostringstream out_;
  std::ostringstream err_;
  std::shared_ptr<WScriptObject> wscript_;
};

/// Runs @p source and answers what it echoed; the run must complete.
inline std::string Echo(std::string_view source) {
  Runner runner;
  Outcome outcome = runner.Run(source);
  EXPECT_TRUE(outcome.Ok()) << source << "\n"
                            << (outcome.result.error
                                    ? FormatError("test.vbs", *outcome.result.error)
                                    : std::string("(no error)"));
  return outcome.out;
}

/// Echoes one expression: Eval("1 + 2") is "3\n" without the newline.
inline std::string Eval(std::string_view expression) {
  std::string out = Echo("WScript.Echo " + std::string(expression));
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

/// TypeName of an expression.
inline std::string TypeOf(std::string_view expression) {
  return Eval("TypeName(" + std::string(expression) + ")");
}

/// The runtime error number (n of 0x800A0000 + n) that @p source stops with; 0 when it runs.
inline int RuntimeErrorOf(std::string_view source) {
  Runner runner;
  return runner.Run(source).ErrorCode();
}

}  // namespace corvella::script::testing
