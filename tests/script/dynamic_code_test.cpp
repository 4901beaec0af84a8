// Code compiled while a script runs: Execute and Eval in the running scope, ExecuteGlobal in the
// global one, GetRef; and the library of formats, dates and names in English (United States).

#include "script_support.h"

namespace corvella::script::testing {
namespace {

TEST(DynamicCode, ScopesAndDefinitions) {
  struct Case {
    const char* script;
    const char* out;
  };
  const Case cases[] = {
      // Execute sees the procedure's locals and parameters, and the globals.
      {"g = 1\nSub S(n)\n  Dim k : k = 2\n  Execute \"n = n + k : g = g + 10\"\nEnd Sub\n"
       "v = 5 : S v : WScript.Echo v, g",
       "7 11\n"},
      // ExecuteGlobal defines procedures and variables; code compiled before calls them.
      {"ExecuteGlobal \"Function Twice(x) : Twice = 2 * x : End Function : Dim z : z = 7\"\n"
       "WScript.Echo Twice(4), z, Eval(\"Twice(z) + 1\")",
       "8 7 15\n"},
      {"Sub Later\nEnd Sub\nExecuteGlobal \"Sub Later : WScript.Echo \"\"new\"\" : End Sub\"\nLater",
       "new\n"},
      // Eval inside a method sees the object's private fields.
      {"Class K\nPrivate s\nSub Class_Initialize : s = 41 : End Sub\n"
       "Function Peek : Peek = Eval(\"s + 1\") : End Function\nEnd Class\n"
       "Set k = New K : WScript.Echo k.Peek",
       "42\n"},
      // GetRef: a procedure called back through an object.
      {"Function Add(a, b) : Add = a + b : End Function\nSet f = GetRef(\"Add\")\n"
       "WScript.Echo f(2, 3)",
       "5\n"},
      {"For i = 1 To 3 : Execute \"t = t & i\" : Next : WScript.Echo t", "123\n"},
      // Dim in Execute inside a procedure declares a variable of that call, not a global.
      {"Sub P\nExecute \"Dim q(2) : q(1) = 5\"\nExecute \"WScript.Echo q(1)\"\nEnd Sub\nP\n"
       "WScript.Echo IsEmpty(q)",
       "5\n-1\n"},
      {"Sub L\nExecute \"Dim a(2) : a(1) = 7\"\nWScript.Echo UBound(a), a(1)\nEnd Sub\nL", "2 7\n"},
      {"On Error Resume Next\nExecuteGlobal \"Option Explicit : u = 1\"\nWScript.Echo Err.Number",
       "500\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Echo(c.script), c.out) << c.script;
  }
  // A syntax error in the text is a runtime error of the statement that ran it.
  EXPECT_EQ(RuntimeErrorOf("Execute \"x = (\""), 1023);
  EXPECT_EQ(RuntimeErrorOf("Set f = GetRef(\"Missing\")"), 5);
  EXPECT_EQ(RuntimeErrorOf("x = Eval(\"1 +\")"), 1023);
}

TEST(DynamicCode, FormatsDatesAndNamesInEnglish) {
  struct Case {
    const char* expression;
    const char* value;
  };
  const Case cases[] = {
      {"FormatNumber(1234567.891)", "1,234,567.89"},
      {"FormatNumber(0.25, 1, 0)", ".3"},
      {"FormatNumber(-1234.5, 2, -1, -1, 0)", "(1234.50)"},
      {"FormatCurrency(-3)", "($3.00)"},
      {"FormatPercent(0.256)", "25.60%"},
      {"FormatDateTime(#12/6/2026 13:05:09#, 1)", "Sunday, December 6, 2026"},
      {"FormatDateTime(#13:05:09#, 3) & \"|\" & FormatDateTime(#13:05:09#, 4)", "1:05:09 PM|13:05"},
      {"DateAdd(\"m\", 1, #1/31/2026#)", "2/28/2026"},
      {"DateAdd(\"yyyy\", -1, #2/29/2024#)", "2/28/2023"},
      {"DateAdd(\"h\", 5, #1/31/2026#)", "1/31/2026 5:00:00 AM"},
      {"DateDiff(\"d\", #1/1/2026#, #3/1/2026#)", "59"},
      {"DateDiff(\"m\", #1/31/2026#, #2/1/2026#)", "1"},
      {"DateDiff(\"ww\", #1/1/2026#, #1/31/2026#)", "4"},
      {"DatePart(\"y\", #2/1/2026#) & DatePart(\"w\", #1/31/2026#) & DatePart(\"ww\", #12/31/2026#)",
       "32753"},
      {"DateValue(\"12/6/2026 5:00 PM\") & \"|\" & TimeValue(\"12/6/2026 5:00 PM\")",
       "12/6/2026|5:00:00 PM"},
      {"MonthName(12, True) & WeekdayName(1) & WeekdayName(1, True, 2)", "DecSundayMon"},
      {"Escape(\"a b+c/\" & ChrW(252) & ChrW(8364))", "a%20b+c/%FC%u20AC"},
      {"Unescape(\"a%20b%u20ACz%zz\") = \"a b\" & ChrW(8364) & \"z%zz\"", "-1"},
      {"Join(Filter(Array(\"apple\", \"Banana\", \"cherry\"), \"an\", True, 1), \",\")", "Banana"},
      {"ScriptEngine & ScriptEngineMajorVersion & GetLocale", "VBScript51033"},
      {"SetLocale(1031) & GetLocale", "10331031"},
      {"vbCritical + vbYesNo & vbMsgBoxRight & vbFirstFourDays", "205242882"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Eval(c.expression), c.value) << c.expression;
  }
  for (const char* bad : {"MonthName(13)", "DateAdd(\"x\", 1, Now)", "FormatNumber(1, -2)",
                          "WeekdayName(8)", "Filter(Array(1), 1, True, 2)"}) {
    EXPECT_EQ(RuntimeErrorOf(std::string("x = ") + bad), 5) << bad;
  }
  EXPECT_EQ(RuntimeErrorOf("x = MonthName(Null)"), 94);
}

}  // namespace
}  // namespace corvella::script::testing
