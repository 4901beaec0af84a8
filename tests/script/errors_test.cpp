// Errors: On Error Resume Next and the Err object, errors raised by objects, positions of
// uncaught errors, syntax errors, limits, timeouts and the host's hooks; and how script files are
// decoded. The error line that hosts print is checked where they print it (corvella run, pages).

#include <atomic>
#include <chrono>
#include <vector>

#include "gadget.h"
#include "script_support.h"

namespace corvella::script::testing {
namespace {

TEST(Errors, ResumeNextRecordsRuntimeErrorsInErr) {
  const char* script =
      "On Error Resume Next\n"
      "x = 1 / 0\n"
      "WScript.Echo Err.Number, Err.Description, Err.Source\n"
      "Err.Clear\n"
      "WScript.Echo Err.Number, \"[\" & Err.Description & \"]\"\n"
      "y = CInt(\"abc\"): WScript.Echo \"next\", Err.Number\n"
      "On Error Resume Next\n"  // clears Err
      "WScript.Echo Err.Number, Err\n"
      "On Error GoTo 0\n"
      "z = 1 / 0\n"
      "WScript.Echo \"not reached\"\n";
  Runner runner;
  Outcome outcome = runner.Run(script);
  EXPECT_EQ(outcome.out, "11 Division by zero Script runtime error\n0 []\nnext 13\n0 0\n");
  EXPECT_EQ(outcome.ErrorCode(), 11);
  EXPECT_EQ(outcome.result.error->position, (SourcePosition{10, 1}));
}

TEST(Errors, ResumeNextGoesIntoABlockWhoseHeaderFails) {
  // The next statement after a failing header is the block's first; a failing loop condition at
  // the bottom leaves the loop; a failing Case expression runs its case.
  const char* prefix = "Function Boom : Err.Raise 5 : End Function\nOn Error Resume Next\n";
  struct Case {
    const char* script;
    const char* out;
  };
  const Case cases[] = {
      {"Do While Boom() : n = n + 1 : Exit Do : Loop : WScript.Echo n, Err.Number", "1 5\n"},
      {"Do : n = n + 1 : Loop While Boom() : WScript.Echo n", "1\n"},
      {"x = 2 : For Each x In Boom() : n = n + 1 : Next : WScript.Echo x, n, Err", "2 1 451\n"},
      {"x = 6 : For x = Boom() To 9 : n = n + 1 : Next : WScript.Echo x, n, Err", "6 1 92\n"},
      {"For Each x In Empty : n = 1 : Next : WScript.Echo n, Err.Number", "1 451\n"},
      {"With 42 : End With : Set o = Nothing : o.P = 1 : WScript.Echo Err.Number", "424\n"},
      {"Boom = 1 : WScript.Echo Err.Number", "501\n"},
      {"Call CInt(1) : WScript.Echo Err.Number", "458\n"},
      {"Dim f(1) : ReDim f(\"a\") : WScript.Echo Err.Number : ReDim Preserve f(\"a\") : "
       "WScript.Echo Err.Number", "10\n13\n"},
      {"Err.Raise 65536 : WScript.Echo Err.Number", "5\n"},
      {"Err.Raise &H8007000E& : WScript.Echo Err.Number, Err.Description", "7 Out of memory\n"},
      {"Select Case Boom()\nCase Else : n = 1\nEnd Select : WScript.Echo IsEmpty(n)", "-1\n"},
      {"Select Case 1\nCase 2 : n = 2\nCase Boom() : n = 3\nEnd Select : WScript.Echo n", "3\n"},
      {"With Boom()\nn = 4\nEnd With : WScript.Echo n, Err.Number", "4 5\n"},
      {"Err.Raise 1000, \"src\", \"desc\", \"help.chm\", 7\n"
       "WScript.Echo Err.Number, Err.Source, Err.Description, Err.HelpFile, Err.HelpContext",
       "1000 src desc help.chm 7\n"},
      {"Err.Raise 1000, \"src\", \"desc\" : Err.Raise Err.Number : WScript.Echo Err.Source",
       "src\n"},
      {"Err.Raise &H800A0009& : WScript.Echo Err.Number, Err.Description",
       "9 Subscript out of range\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Echo(std::string(prefix) + c.script), c.out) << c.script;
  }
}

TEST(Errors, ErrorsRaisedByObjects) {
  Runner runner;
  runner.host.AddNamedItem(u"Thing", std::make_shared<Gadget>());
  const char* script =
      "On Error Resume Next\n"
      "Thing.Fail 1\n"
      "WScript.Echo Err.Number, Err.Source, Err.Description\n"
      "Err.Clear\n"
      "Thing.Fail 2\n"
      "WScript.Echo Err.Number, Err.Source, Err.Description\n"
      "Thing.Compute 0, 0\n"
      "WScript.Echo Err.Number = -2147220454\n"
      "Thing.NoSuchMember\n"
      "WScript.Echo Err.Number, Err.Description\n"
      "Thing.Compute \"abc\", 1\n"
      "WScript.Echo Err.Number\n"
      "Thing.Compute 1\n"
      "WScript.Echo Err.Number\n";
  Outcome outcome = runner.Run(script);
  EXPECT_TRUE(outcome.Ok());
  EXPECT_EQ(outcome.out,
            "-2147220504 Corvella.Pictron Empty file name (Error 1000)\n"
            "9 Test.Gadget Subscript out of range\n"
            "-1\n"
            "438 Object doesn't support this property or method\n"
            "13\n449\n");
  // Uncaught, the object's own number and source are reported.
  Outcome uncaught = runner.Run("WScript.Echo 1\n  Thing.Fail 1\n");
  ASSERT_TRUE(uncaught.result.error);
  EXPECT_EQ(uncaught.result.error->number, static_cast<int32_t>(0x800403E8));
  EXPECT_EQ(FormatError("job.vbs", *uncaught.result.error),
            "job.vbs(2, 3) Corvella.Pictron: Empty file name (Error 1000) (0x800403E8)");
}

TEST(Errors, ErrRaiseAndItsProperties) {
  Runner runner;
  Outcome outcome = runner.Run(
      "On Error Resume Next\n"
      "Err.Raise 6\n"
      "WScript.Echo Err.Number, Err.Description, Err.Source\n"
      "Err.Raise 1000\n"
      "WScript.Echo Err.Number, Err.Description\n"
      "Err.Raise vbObjectError + 513, \"MyJob\", \"Custom failure\"\n"
      "WScript.Echo Err.Number, Err.Source, Err.Description\n"
      "Err.Number = 9: Err.Description = \"set\"\n"
      "WScript.Echo Err.Number, Err.Description\n"
      "Err.Raise 0\n"
      "WScript.Echo Err.Number\n");
  EXPECT_EQ(outcome.out,
            "6 Overflow Script runtime error\n"
            "1000 Overflow\n"  // what Raise leaves out, Err keeps
            "-2147220991 MyJob Custom failure\n"
            "9 set\n"
            "5\n");
  Outcome uncaught = runner.Run("Err.Raise 5000, \"Job\", \"stopped\"");
  EXPECT_EQ(FormatError("x.vbs", *uncaught.result.error), "x.vbs(1, 1) Job: stopped (0x800A1388)");
}

TEST(Errors, ResumeNextIsPerProcedure) {
  const char* script =
      "Sub Inner\n"
      "  WScript.Echo \"inner start\"\n"
      "  x = 1 / 0\n"
      "  WScript.Echo \"inner end\"\n"  // skipped: Inner does not resume
      "End Sub\n"
      "Sub Guarded\n"
      "  On Error Resume Next\n"
      "  x = 1 / 0\n"
      "  WScript.Echo \"guarded\", Err.Number\n"
      "End Sub\n"
      "On Error Resume Next\n"
      "Inner\n"
      "WScript.Echo \"after inner\", Err.Number\n"
      "On Error GoTo 0\n"
      "Guarded\n"
      "x = 1 / 0\n";
  Runner runner;
  Outcome outcome = runner.Run(script);
  EXPECT_EQ(outcome.out, "inner start\nafter inner 11\nguarded 11\n");
  EXPECT_EQ(outcome.result.error->position, (SourcePosition{16, 1}));
  // An uncaught error inside a procedure is reported where it arose.
  Outcome nested = runner.Run("Sub S\n    y = Array(1)(5)\nEnd Sub\nS\n");
  EXPECT_EQ(nested.ErrorCode(), 9);
  EXPECT_EQ(nested.result.error->position, (SourcePosition{2, 5}));
  // An error in an ElseIf or Case is placed on its line.
  EXPECT_EQ(runner.Run("If False Then\nElseIf 1 / 0 Then\nEnd If").result.error->position,
            (SourcePosition{2, 1}));
  EXPECT_EQ(
      runner.Run("Select Case 1\n  Case 2\n  Case \"a\" + 1\nEnd Select").result.error->position,
      (SourcePosition{3, 3}));
  // A failing If condition under Resume Next goes on into its branch.
  EXPECT_EQ(Echo("On Error Resume Next\nIf 1 / 0 Then WScript.Echo \"in\", Err.Number\n"),
            "in 11\n");
}

TEST(Errors, SyntaxErrorsStopBeforeAnythingRuns) {
  struct Case {
    const char* source;
    int number;
    SourcePosition position;
  };
  const Case cases[] = {
      {"WScript.Echo 1\nx = (1 + 2\n", 1006, {2, 11}},
      {"WScript.Echo 1\nIf x Then\n  y = 1\n", 1014, {4, 1}},
      {"For i = 1 To\nNext", 1023, {1, 13}},
      {"x = 1 2", 1025, {1, 7}},
      {"Do\nLoop Until", 1023, {2, 11}},
      {"Do Forever\nLoop", 1028, {1, 4}},
      {"Sub S\nExit Function\nEnd Sub", 1039, {2, 1}},
      {"Exit For", 1039, {1, 1}},
      {"Next", 1055, {1, 1}},
      {"Select Case x\nWScript.Echo 1\nEnd Select", 1021, {2, 1}},
      {"x = \"abc", 1033, {1, 5}},
      {"  y = 5 @ 2", 1032, {1, 9}},
      {"Sub S\nSub T\nEnd Sub\nEnd Sub", 1002, {2, 1}},
      {"Class C\nEnd Sub", 1047, {2, 5}},
      {"Class C\nx = 1\nEnd Class", 1024, {2, 1}},
      {"Property Get P\nEnd Property", 1048, {1, 1}},
      {"Class C\nProperty Put P\nEnd Property\nEnd Class", 1049, {2, 10}},
      {"Class C\nProperty Let P\nEnd Property\nEnd Class", 1054, {2, 1}},
      {"Class C\nPrivate Default Function F\nEnd Function\nEnd Class", 1057, {2, 9}},
      {"Class C\nSub Class_Initialize(a)\nEnd Sub\nEnd Class", 1053, {2, 1}},
      {"Class C\nPublic Default Function F\nEnd Function\n"
       "Public Default Function G\nEnd Function\nEnd Class", 1052, {4, 16}},
      {"Class C\nDim a\nSub A\nEnd Sub\nEnd Class", 1041, {3, 1}},
      {"Class C\nSub S\nExit Property\nEnd Sub\nEnd Class", 1039, {3, 1}},
      {"For Each 1 In a\nNext", 1040, {1, 10}},
      {"Dim a(x)", 1026, {1, 7}},
      {"Const c = Now", 1045, {1, 11}},
      {"While True\nLoop", 1018, {2, 1}},
      {"With WScript\n.Echo 1", 1014, {2, 8}},
  };
  for (const Case& c : cases) {
    Runner runner;
    Outcome outcome = runner.Run(c.source);
    ASSERT_TRUE(outcome.result.error) << c.source;
    EXPECT_EQ(outcome.result.status, RunStatus::CompileError) << c.source;
    EXPECT_TRUE(outcome.result.error->compilation);
    EXPECT_EQ(outcome.ErrorCode(), c.number) << c.source;
    EXPECT_EQ(outcome.result.error->position, c.position) << c.source;
    EXPECT_EQ(outcome.result.error->source, "Script compilation error");
    EXPECT_EQ(outcome.out, "") << c.source;
    EXPECT_EQ(outcome.result.exitCode, 1);
  }
  Runner runner;
  EXPECT_EQ(FormatError("page.asp", *runner.Run("x = (1").result.error),
            "page.asp(1, 7) Script compilation error: Expected ')' (0x800A03EE)");
}

TEST(Errors, DeepNestingIsRefusedCleanly) {
  Runner runner;
  // Parentheses, blocks and expression chains beyond the limits do not compile.
  std::string parens = "x = " + std::string(200, '(') + "1" + std::string(200, ')');
  EXPECT_EQ(runner.Run(parens).ErrorCode(), 28);
  std::string blocks;
  for (int i = 0; i < 100; ++i)
    blocks += "If True Then\n";
  for (int i = 0; i < 100; ++i)
    blocks += "End If\n";
  EXPECT_EQ(runner.Run(blocks).ErrorCode(), 28);
  std::string chain = "x = 1";
  for (int i = 0; i < 1000; ++i)
    chain += " + 1";
  EXPECT_EQ(runner.Run(chain).ErrorCode(), 28);
  std::string nots = "x = " + std::string(300, '-') + "1";
  EXPECT_EQ(runner.Run(nots).ErrorCode(), 28);
  // Unbounded recursion stops with "Out of stack space", which Resume Next can catch.
  Outcome recursion = runner.Run("Function F(n)\n  F = F(n + 1)\nEnd Function\nx = F(1)");
  EXPECT_EQ(recursion.ErrorCode(), 28);
  EXPECT_EQ(recursion.result.error->description, "Out of stack space");
  EXPECT_EQ(Echo("Function F(n)\n  F = F(n + 1)\nEnd Function\n"
                 "On Error Resume Next\nx = F(1)\nWScript.Echo Err.Number"),
            "28\n");
  // Arrays nested in arrays are limited too, so copying them cannot exhaust the stack.
  EXPECT_EQ(RuntimeErrorOf("a = Array()\nFor i = 1 To 100: a = Array(a): Next"), 28);
  EXPECT_EQ(RuntimeErrorOf("Dim a(1)\nFor i = 1 To 100: a(0) = a: Next"), 28);
  // Limits of strings and arrays.
  RunOptions small;
  small.maxStringLength = 100;
  small.maxArrayElements = 100;
  EXPECT_EQ(runner.Run("x = Space(101)", small).ErrorCode(), 7);
  EXPECT_EQ(runner.Run("x = String(50, \"a\") & String(51, \"b\")", small).ErrorCode(), 7);
  EXPECT_EQ(runner.Run("Do: s = s & \"abc\": Loop", small).ErrorCode(), 7);
  EXPECT_EQ(runner.Run("ReDim a(100)", small).ErrorCode(), 7);
  EXPECT_EQ(runner.Run("Dim a(10, 10)", small).ErrorCode(), 7);
  EXPECT_EQ(runner.Run("ReDim a(9)\nb = Array(a, a, a, a, a, a, a, a, a, a, a)", small).ErrorCode(),
            7);
  EXPECT_TRUE(runner.Run("x = Space(100): ReDim a(99)", small).Ok());
}

TEST(Errors, TimeoutsCancellationAndQuit) {
  Runner runner;
  RunOptions steps;
  steps.maxSteps = 10000;
  Outcome looping = runner.Run("WScript.Echo \"start\"\nDo\nLoop", steps);
  EXPECT_EQ(looping.result.status, RunStatus::TimedOut);
  EXPECT_EQ(looping.result.exitCode, 124);
  EXPECT_FALSE(looping.result.error);
  EXPECT_EQ(looping.out, "start\n");
  // A deadline stops a loop that would never end, even under On Error Resume Next.
  RunOptions deadline;
  deadline.deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
  Outcome timed = runner.Run("On Error Resume Next\nDo While True: x = x + 1: Loop", deadline);
  EXPECT_EQ(timed.result.status, RunStatus::TimedOut);
  // The deadline holds inside a single statement whose built-in runs for seconds, and inside a
  // Class_Terminate.
  for (const char* script : {"s = String(2 ^ 24, \"a\")\n"
                             "For i = 1 To 1000 : x = Replace(s, \"a\", \"bb\") : Next",
                             "Class T\nSub Class_Terminate : Do : Loop : End Sub\nEnd Class\n"
                             "Set t = New T\nSet t = Nothing\nDo : Loop"}) {
    RunOptions soon;
    soon.deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(runner.Run(script, soon).result.status, RunStatus::TimedOut) << script;
    // Minutes without the deadline; a generous bound for a loaded machine.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30)) << script;
  }
  // Limits shared with the host: the host raises the flag.
  platform::RunLimits shared;
  shared.Interrupt();
  RunOptions hosted;
  hosted.limits = &shared;
  EXPECT_EQ(runner.Run("Do : Loop", hosted).result.status, RunStatus::TimedOut);
  std::atomic<bool> cancel{true};
  RunOptions cancelled;
  cancelled.cancel = &cancel;
  Outcome stopped = runner.Run("For i = 1 To 100000: Next", cancelled);
  EXPECT_EQ(stopped.result.status, RunStatus::Cancelled);
  EXPECT_EQ(stopped.result.exitCode, 130);
  // Quit ends the script with its code; Resume Next does not hold it.
  Outcome quit = runner.Run("On Error Resume Next\nWScript.Echo 1\nWScript.Quit 3\nWScript.Echo 2");
  EXPECT_EQ(quit.result.status, RunStatus::Exited);
  EXPECT_EQ(quit.result.exitCode, 3);
  EXPECT_EQ(quit.out, "1\n");
  EXPECT_EQ(runner.Run("Sub S: WScript.Quit: End Sub\nS").result.exitCode, 0);
}

// A host that records the order of its hooks and the names it was asked for.
class RecordingHost : public BasicHost {
 public:
  platform::ObjectRef NamedItem(std::u16string_view name) override {
    log += "item:" + platform::WideToUtf8(name) + ";";
    return BasicHost::NamedItem(name);
  }
  void ScriptStarting() override { log += "start;"; }
  void ScriptEnded() override {
    log += "end;";
    if (failAtEnd) platform::Raise(platform::RuntimeError::PermissionDenied);
  }
  std::string log;
  bool failAtEnd = false;
};

TEST(Errors, HostHooksRunAroundTheScript) {
  RecordingHost host;
  std::ostringstream out;
  host.AddNamedItem(u"WScript", std::make_shared<WScriptObject>(
                                    out, out, std::vector<std::u16string>{}, u"t.vbs"));
  RunResult result = RunSource(u"Dim declared\nWScript.Echo 1\nundeclared = 2\nx = 1 / 0", host);
  EXPECT_EQ(result.status, RunStatus::RuntimeError);
  // Asked once for each name used without declaration (not for Err), before the start hook;
  // the end hook runs after the error.
  EXPECT_EQ(host.log, "item:WScript;item:undeclared;item:x;start;end;");
  EXPECT_EQ(out.str(), "1\n");
  host.log.clear();
  RunResult exited = RunSource(u"WScript.Quit 2", host);
  EXPECT_EQ(exited.exitCode, 2);
  EXPECT_EQ(host.log, "item:WScript;start;end;");
  host.log.clear();
  RunSource(u"x = (", host);
  EXPECT_EQ(host.log, "");  // a script that does not compile never starts
  host.failAtEnd = true;
  RunResult failed = RunSource(u"y = 1", host);
  EXPECT_EQ(failed.status, RunStatus::RuntimeError);
  EXPECT_EQ(failed.error->number, static_cast<int32_t>(0x800A0046));
  EXPECT_EQ(failed.error->position, (SourcePosition{0, 0}));
}

TEST(Engine, DecodesScriptFilesInTheirEncodings) {
  const std::vector<uint8_t> utf8 = {0xEF, 0xBB, 0xBF, 'x', '=', 0xC3, 0xA9};
  EXPECT_EQ(DecodeScriptText(utf8), u"x=\u00e9");
  const std::vector<uint8_t> utf16 = {0xFF, 0xFE, 'a', 0, 0xAC, 0x20};
  EXPECT_EQ(DecodeScriptText(utf16), u"a\u20ac");
  // Not UTF-8: the bytes are Windows-1252, as scripts saved on Windows are.
  const std::vector<uint8_t> ansi = {'s', 0xE9, ' ', 0x80, 0x93};
  EXPECT_EQ(DecodeScriptText(ansi), u"s\u00e9 \u20ac\u201c");
  const std::vector<uint8_t> truncated = {'a', 0xE2, 0x82};
  EXPECT_EQ(DecodeScriptText(truncated), u"a\u00e2\u201a");
  EXPECT_EQ(DecodeScriptText({}), u"");
}

}  // namespace
}  // namespace corvella::script::testing
