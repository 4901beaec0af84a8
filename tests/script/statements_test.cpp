// Statements: declarations, assignment, conditionals, loops, procedures, With, Option Explicit.

#include "gadget.h"
#include "script_support.h"

namespace corvella::script::testing {
namespace {

TEST(Statements, DeclarationsAssignmentAndConstants) {
  // Names are found without regard to case, and declarations hold for the whole scope.
  EXPECT_EQ(Echo("x = 1\nDim X\nWScript.Echo x + 1"), "2\n");
  EXPECT_EQ(Echo("Dim a, b: a = 1: b = A + 1: WScript.Echo a, b"), "1 2\n");
  EXPECT_EQ(Echo("Const Size = 10, Label = \"px\"\nConst Half = Size / 2\n"
                 "WScript.Echo Size & Label, Half, TypeName(Size)"),
            "10px 5 Integer\n");
  EXPECT_EQ(Echo("Const N = -&H10\nWScript.Echo N"), "-16\n");
  // Set and Nothing; Is compares references.
  EXPECT_EQ(Echo("Dim o, p\nSet o = WScript\nSet p = o\nWScript.Echo o Is p, o Is Nothing\n"
                 "Set o = Nothing\nWScript.Echo o Is Nothing, TypeName(o)"),
            "-1 0\n-1 Nothing\n");
  // Assignment to a constant, a function or a built-in function does not compile.
  Runner runner;
  EXPECT_EQ(runner.Run("Const K = 1\nK = 2").result.status, RunStatus::CompileError);
  EXPECT_EQ(runner.Run("Len = 2").result.error->description, "Illegal assignment");
  EXPECT_EQ(runner.Run("Dim a\nDim a").result.error->description, "Name redefined");
  EXPECT_EQ(runner.Run("Sub F\nEnd Sub\nDim f").result.error->description, "Name redefined");
  // Set needs an object; Let takes an object's default value.
  EXPECT_EQ(RuntimeErrorOf("Dim o\nSet o = 5"), 424);
  EXPECT_EQ(RuntimeErrorOf("Dim o\no = Nothing"), 91);
}

TEST(Statements, IfInBlockAndSingleLineForms) {
  const char* script =
      "Sub Classify(n)\n"
      "  If n < 0 Then\n"
      "    WScript.Echo \"negative\"\n"
      "  ElseIf n = 0 Then\n"
      "    WScript.Echo \"zero\"\n"
      "  ElseIf n < 10 Then WScript.Echo \"small\"\n"
      "  Else\n"
      "    WScript.Echo \"large\"\n"
      "  End If\n"
      "End Sub\n"
      "Classify -1: Classify 0: Classify 5: Classify 50\n";
  EXPECT_EQ(Echo(script), "negative\nzero\nsmall\nlarge\n");
  EXPECT_EQ(Echo("If 1 = 2 Then WScript.Echo \"a\" Else WScript.Echo \"b\": WScript.Echo \"c\""),
            "b\nc\n");
  EXPECT_EQ(Echo("If 1 = 1 Then WScript.Echo \"a\": WScript.Echo \"b\" Else WScript.Echo \"c\""),
            "a\nb\n");
  // A nested single-line If takes the Else.
  EXPECT_EQ(Echo("If True Then If False Then WScript.Echo 1 Else WScript.Echo 2"), "2\n");
  // Null and Empty conditions are false; a non-numeric string is an error.
  EXPECT_EQ(Echo("If Null Then WScript.Echo 1 Else WScript.Echo 0\n"
                 "If Empty Then WScript.Echo 1 Else WScript.Echo 0\n"
                 "If \"true\" Then WScript.Echo 1\nIf \"2\" Then WScript.Echo 2"),
            "0\n0\n1\n2\n");
  EXPECT_EQ(RuntimeErrorOf("If \"yes\" Then x = 1"), 13);
}

TEST(Statements, ForLoops) {
  EXPECT_EQ(Echo("For i = 1 To 3: s = s & i: Next: WScript.Echo s, i"), "123 4\n");
  EXPECT_EQ(Echo("For i = 10 To 1 Step -3: s = s & i & \",\": Next: WScript.Echo s"),
            "10,7,4,1,\n");
  EXPECT_EQ(Echo("For x = 0 To 1 Step 0.25: n = n + 1: Next: WScript.Echo n, x"), "5 1.25\n");
  EXPECT_EQ(Echo("For i = 5 To 1: n = n + 1: Next: WScript.Echo n & \"|\" & i"), "|5\n");
  // Bounds are evaluated once; the counter may be changed by the body.
  EXPECT_EQ(Echo("n = 3\nFor i = 1 To n: n = 10: c = c + 1: Next\nWScript.Echo c"), "3\n");
  EXPECT_EQ(Echo("For i = 1 To 10\nIf i = 4 Then Exit For\nNext i\nWScript.Echo i"), "4\n");
  // The counter passes 32767 by becoming a Long.
  EXPECT_EQ(Echo("For i = 32766 To 32768: Next: WScript.Echo i, TypeName(i)"), "32769 Long\n");
  // Exit For leaves only the innermost loop.
  EXPECT_EQ(Echo("For i = 1 To 3\n For j = 1 To 3\n  If j = 2 Then Exit For\n  s = s & i & j\n"
                 " Next\nNext\nWScript.Echo s"),
            "112131\n");
}

TEST(Statements, ForEachOverArraysAndCollections) {
  EXPECT_EQ(Echo("For Each x In Array(1, \"b\", 2.5): s = s & TypeName(x) & \" \": Next\n"
                 "WScript.Echo s"),
            "Integer String Double \n");
  // A two-dimensional array is walked with the first index varying fastest.
  EXPECT_EQ(Echo("Dim m(1, 2)\nFor i = 0 To 1: For j = 0 To 2: m(i, j) = i & j: Next: Next\n"
                 "For Each x In m: s = s & x & \" \": Next\nWScript.Echo s"),
            "00 10 01 11 02 12 \n");
  // The loop walks a copy: changing the array inside does not change the walk.
  EXPECT_EQ(Echo("a = Array(1, 2, 3)\nFor Each x In a\n a(2) = 9: ReDim Preserve a(5)\n"
                 " s = s & x\nNext\nWScript.Echo s, UBound(a)"),
            "123 5\n");
  EXPECT_EQ(Echo("For Each x In Array(1, 2, 3, 4)\nIf x = 3 Then Exit For\nNext\nWScript.Echo x"),
            "3\n");
  EXPECT_EQ(RuntimeErrorOf("For Each x In 5: Next"), 451);
  EXPECT_EQ(RuntimeErrorOf("For Each x In WScript: Next"), 451);
}

TEST(Statements, DoWhileUntilAndWend) {
  EXPECT_EQ(Echo("Do While i < 3: i = i + 1: Loop: WScript.Echo i"), "3\n");
  EXPECT_EQ(Echo("Do Until i >= 3: i = i + 1: Loop: WScript.Echo i"), "3\n");
  EXPECT_EQ(Echo("i = 10\nDo: i = i + 1: Loop While i < 3\nWScript.Echo i"), "11\n");
  EXPECT_EQ(Echo("Do: i = i + 1: Loop Until i = 5\nWScript.Echo i"), "5\n");
  EXPECT_EQ(Echo("Do\n i = i + 1\n If i = 7 Then Exit Do\nLoop\nWScript.Echo i"), "7\n");
  EXPECT_EQ(Echo("While i < 4: i = i + 2: Wend: WScript.Echo i"), "4\n");
  // Exit Do inside a For inside a Do leaves the Do.
  EXPECT_EQ(Echo("Do\n For i = 1 To 5\n  If i = 2 Then Exit Do\n Next\nLoop\nWScript.Echo i"),
            "2\n");
}

TEST(Statements, SelectCase) {
  const char* script =
      "Function Kind(v)\n"
      "  Select Case v\n"
      "    Case 1, 2, 3: Kind = \"low\"\n"
      "    Case \"x\", \"y\"\n"
      "      Kind = \"letter\"\n"
      "    Case Else\n"
      "      Kind = \"other\"\n"
      "  End Select\n"
      "End Function\n"
      "WScript.Echo Kind(2), Kind(\"y\"), Kind(7), Kind(\"3\"), Kind(Null)\n";
  // A numeric string matches a numeric literal.
  EXPECT_EQ(Echo(script), "low letter other low other\n");
  EXPECT_EQ(Echo("Select Case 5\nCase 1\nWScript.Echo 1\nEnd Select\nWScript.Echo \"done\""),
            "done\n");
}

TEST(Statements, ProceduresPassByReferenceAndByValue) {
  const char* script =
      "Sub Bump(ByRef a, ByVal b, c)\n"
      "  a = a + 1: b = b + 1: c = c + 1\n"
      "End Sub\n"
      "x = 1: y = 1: z = 1\n"
      "Bump x, y, z\n"
      "WScript.Echo x, y, z\n"
      "Bump (x), y, (z)\n"  // parentheses make a value
      "WScript.Echo x, y, z\n"
      "Call Bump(x, y, z)\n"
      "WScript.Echo x, y, z\n"
      "Bump x + 0, 1, 2\n"
      "WScript.Echo x\n";
  EXPECT_EQ(Echo(script), "2 1 2\n2 1 2\n3 1 3\n3\n");
  // F(x) as a statement passes x by value; an array element is passed by reference.
  EXPECT_EQ(Echo("Sub Inc(v): v = v + 1: End Sub\nx = 1\nInc(x)\nWScript.Echo x\n"
                 "Dim a(2): a(1) = 5\nInc a(1)\nWScript.Echo a(1)"),
            "1\n6\n");
  // Functions: the name is the result; recursion; Exit Function; a Sub's value is Empty.
  EXPECT_EQ(Echo("Function Fact(n)\n If n <= 1 Then Fact = 1: Exit Function\n"
                 " Fact = n * Fact(n - 1)\nEnd Function\nWScript.Echo Fact(10), Fact(1)"),
            "3628800 1\n");
  EXPECT_EQ(Echo("Function Twice(s)\n Twice = s\n Twice = Twice & s\nEnd Function\n"
                 "WScript.Echo Twice(\"ab\")"),
            "abab\n");
  EXPECT_EQ(Echo("Sub S(n)\n If n > 0 Then Exit Sub\n WScript.Echo \"zero\"\nEnd Sub\nS 1\nS 0"),
            "zero\n");
  // Procedures may be called before they are defined; arrays pass by reference.
  EXPECT_EQ(Echo("Dim a(1)\nFill a\nWScript.Echo a(0), a(1)\n"
                 "Sub Fill(arr): arr(0) = \"p\": arr(1) = \"q\": End Sub"),
            "p q\n");
  EXPECT_EQ(Echo("Function MakeArray()\n MakeArray = Array(1, 2)\nEnd Function\n"
                 "WScript.Echo UBound(MakeArray()), MakeArray()(1)"),
            "1 2\n");
  EXPECT_EQ(RuntimeErrorOf("Sub S(a, b): End Sub\nS 1"), 450);
  Runner runner;
  EXPECT_EQ(runner.Run("Sub S(a, b): End Sub\nS(1, 2)").result.error->description,
            "Cannot use parentheses when calling a Sub");
  // The parentheses of S (1) + 2, 3 begin the first argument.
  EXPECT_EQ(Echo("Sub S(a, b): WScript.Echo a, b: End Sub\nS (1) + 2, 3"), "3 3\n");
}

TEST(Statements, UndeclaredNamesInProceduresAreLocal) {
  // Without Option Explicit a procedure's undeclared variable is its own, so recursion does not
  // share it; a name the top level uses is the global one.
  const char* script =
      "Function Depth(n)\n"
      "  t = n\n"
      "  If n > 0 Then Depth(n - 1)\n"
      "  Depth = t\n"
      "  shared = shared + 1\n"
      "End Function\n"
      "shared = 0\n"
      "WScript.Echo Depth(3), shared\n";
  EXPECT_EQ(Echo(script), "3 4\n");
}

TEST(Statements, OptionExplicit) {
  EXPECT_EQ(Echo("Option Explicit\nDim a\na = 1\nWScript.Echo a"), "1\n");
  Runner runner;
  Outcome outcome = runner.Run("Option Explicit\nDim a\na = 1\nb = a\nWScript.Echo b");
  EXPECT_EQ(outcome.ErrorCode(), 500);
  EXPECT_EQ(outcome.result.error->description, "Variable is undefined");
  EXPECT_EQ(outcome.result.error->detail, "'b'");
  EXPECT_EQ(outcome.result.error->position, (SourcePosition{4, 1}));
  EXPECT_EQ(RuntimeErrorOf("Option Explicit\nSub S: q = 1: End Sub\nS"), 500);
  // Host objects and Err are declared.
  EXPECT_EQ(Echo("Option Explicit\nWScript.Echo Err.Number"), "0\n");
}

TEST(Statements, WithBlocks) {
  Runner runner;
  auto gadget = std::make_shared<Gadget>();
  runner.host.AddNamedItem(u"Thing", gadget);
  Outcome outcome = runner.Run(
      "With Thing\n  .Name = \"renamed\"\n  WScript.Echo .Name, Len(.Name)\n"
      "  With WScript\n    .Echo \"inner\"\n  End With\n  WScript.Echo .Name\nEnd With");
  EXPECT_TRUE(outcome.Ok());
  EXPECT_EQ(outcome.out, "renamed 7\ninner\nrenamed\n");
  EXPECT_EQ(gadget->name, u"renamed");
}

TEST(Statements, LinesColonsContinuationsAndComments) {
  EXPECT_EQ(Echo("x = 1 + _\n    2 _\n  + 3 ' comment _\nWScript.Echo x : Rem more\n"
                 "REM whole line\r\nWScript.Echo \"a\" & _\r\n \"b\"\r\n"),
            "6\nab\n");
  EXPECT_EQ(Echo("\xEF\xBB\xBFWScript.Echo [my var] & \"|\"  ' bracketed name"), "|\n");
  EXPECT_EQ(Echo("Stop\nWScript.Echo \"after stop\""), "after stop\n");
}

TEST(Statements, ArraysDimReDimAndErase) {
  EXPECT_EQ(Echo("Dim a(2)\na(0) = 1: a(2) = \"z\"\nWScript.Echo UBound(a), LBound(a), a(0), "
                 "IsEmpty(a(1)), a(2)"),
            "2 0 1 -1 z\n");
  EXPECT_EQ(Echo("Dim m(2, 3)\nm(2, 3) = 7\nWScript.Echo UBound(m, 1), UBound(m, 2), m(2, 3)"),
            "2 3 7\n");
  EXPECT_EQ(Echo("Dim d()\nReDim d(1)\nd(0) = \"a\": d(1) = \"b\"\nReDim Preserve d(3)\n"
                 "WScript.Echo UBound(d), d(0), d(1), IsEmpty(d(3))\n"
                 "ReDim Preserve d(0)\nWScript.Echo UBound(d), d(0)\nReDim d(1)\n"
                 "WScript.Echo IsEmpty(d(0))"),
            "3 a b -1\n0 a\n-1\n");
  // Preserve may change only the last dimension.
  EXPECT_EQ(Echo("ReDim g(1, 1)\ng(1, 1) = 5\nReDim Preserve g(1, 4)\nWScript.Echo g(1, 1)"),
            "5\n");
  EXPECT_EQ(RuntimeErrorOf("ReDim g(1, 1)\nReDim Preserve g(2, 1)"), 9);
  EXPECT_EQ(RuntimeErrorOf("Dim f(3)\nReDim f(5)"), 10);
  EXPECT_EQ(RuntimeErrorOf("Dim a(2)\nx = a(3)"), 9);
  EXPECT_EQ(RuntimeErrorOf("Dim a(2)\nx = a(-1)"), 9);
  EXPECT_EQ(RuntimeErrorOf("Dim a(2, 2)\nx = a(1)"), 9);
  EXPECT_EQ(RuntimeErrorOf("Dim d()\nx = UBound(d)"), 9);
  EXPECT_EQ(RuntimeErrorOf("x = 5\ny = x(0)"), 13);
  // Arrays are copied on assignment, elements are indexed in nested arrays.
  EXPECT_EQ(Echo("a = Array(1, 2)\nb = a\nb(0) = 9\nWScript.Echo a(0), b(0)\n"
                 "n = Array(Array(1, Array(\"deep\")))\nWScript.Echo n(0)(1)(0)\n"
                 "n(0)(1)(0) = \"set\"\nWScript.Echo n(0)(1)(0)"),
            "1 9\ndeep\nset\n");
  EXPECT_EQ(Echo("Dim f(2)\nf(1) = 4\nErase f\nWScript.Echo UBound(f), IsEmpty(f(1))\n"
                 "ReDim d(2)\nErase d\nWScript.Echo IsArray(d)"),
            "2 -1\n-1\n");
  EXPECT_EQ(RuntimeErrorOf("ReDim d(2)\nErase d\nx = UBound(d)"), 9);
  // Indices are rounded to the nearest integer, ties to even.
  EXPECT_EQ(Echo("a = Array(\"a\", \"b\", \"c\")\nWScript.Echo a(1.5), a(0.5), a(\"1\")"),
            "c a b\n");
}

}  // namespace
}  // namespace corvella::script::testing
