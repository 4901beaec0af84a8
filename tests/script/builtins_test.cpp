// The built-in functions and constants.

#include <iostream>

#include "script_support.h"

namespace corvella::script::testing {
namespace {

TEST(Builtins, StringFunctions) {
  EXPECT_EQ(Eval("Len(\"hello\") & Len(12345) & Len(Empty) & IsNull(Len(Null))"), "550True");
  EXPECT_EQ(Eval("Left(\"hello\", 2) & \"|\" & Right(\"hello\", 3) & \"|\" & Left(\"hi\", 9)"),
            "he|llo|hi");
  EXPECT_EQ(Eval("Mid(\"hello\", 2, 3) & \"|\" & Mid(\"hello\", 3) & \"|\" & Mid(\"hi\", 5)"),
            "ell|llo|");
  EXPECT_EQ(RuntimeErrorOf("x = Mid(\"a\", 0)"), 5);
  EXPECT_EQ(RuntimeErrorOf("x = Left(\"a\", -1)"), 5);
  EXPECT_EQ(Eval("InStr(\"hello\", \"l\") & InStr(4, \"hello\", \"l\") & InStr(\"hello\", \"z\")"),
            "340");
  EXPECT_EQ(Eval("InStr(1, \"Hello\", \"h\") & InStr(1, \"Hello\", \"h\", 1) & "
                 "InStr(\"abc\", \"\") & InStr(9, \"abc\", \"a\")"),
            "0110");
  EXPECT_EQ(Eval("InStrRev(\"a.b.c\", \".\") & InStrRev(\"a.b.c\", \".\", 3) & "
                 "InStrRev(\"abc\", \"x\") & InStrRev(\"ABC\", \"b\", -1, 1)"),
            "4202");
  EXPECT_EQ(Eval("Replace(\"a-b-c\", \"-\", \"+\") & \"|\" & Replace(\"a-b-c\", \"-\", \"\", 1, 1)"
                 " & \"|\" & Replace(\"a-b-c\", \"-\", \"+\", 3) & \"|\" & "
                 "Replace(\"aXbx\", \"x\", \"_\", 1, -1, 1)"),
            "a+b+c|ab-c|b+c|a_b_");
  EXPECT_EQ(Eval("UCase(\"abc\u00e9\") & LCase(\"ABC\u00c9\")"), "ABC\u00c9abc\u00e9");
  EXPECT_EQ(Eval("\"[\" & Trim(\"  a b  \") & \"][\" & LTrim(\"  a \") & \"][\" & "
                 "RTrim(\" a  \") & \"]\""),
            "[a b][a ][ a]");
  EXPECT_EQ(Eval("\"[\" & Space(3) & \"]\" & String(3, \"xy\") & String(2, 65) & "
                 "StrReverse(\"abc\")"),
            "[   ]xxxAAcba");
  EXPECT_EQ(Eval("StrComp(\"a\", \"b\") & StrComp(\"b\", \"a\") & StrComp(\"A\", \"a\", 1)"),
            "-110");
  EXPECT_EQ(Eval("Chr(65) & Chr(97) & Asc(\"A\") & Asc(\"\u00e9\") & AscW(ChrW(8364))"),
            "Aa65233" + std::string("8364"));
  EXPECT_EQ(Eval("AscW(ChrW(&HFFFF)) & \" \" & Asc(Chr(200))"), "-1 200");
  EXPECT_EQ(RuntimeErrorOf("x = Chr(256)"), 5);
  EXPECT_EQ(RuntimeErrorOf("x = Asc(\"\")"), 5);
  EXPECT_EQ(Eval("Hex(255) & \" \" & Hex(-1) & \" \" & Hex(CLng(-1)) & \" \" & Hex(65536) & "
                 "\" \" & Oct(8) & \" \" & Hex(Empty) & \" \" & Hex(2.5)"),
            "FF FFFF FFFFFFFF 10000 10 0 2");
}

TEST(Builtins, LongPatternsInBothCompareModes) {
  // Patterns past a few characters take the linear search: overlapping near-matches, the last
  // match for InStrRev, text compare folding both sides.
  struct Case {
    const char* expression;
    const char* value;
  };
  const Case cases[] = {
      {"InStr(\"aaaaaaaaaaaaaaaaaaaab\", \"aaaaaaaaaab\")", "11"},
      {"InStr(1, \"xxABCDEFGHIJxABCDEFGHIJ\", \"abcdefghij\", 1)", "3"},
      {"InStr(4, \"xxABCDEFGHIJxABCDEFGHIJ\", \"abcdefghij\", 1)", "14"},
      {"InStr(1, \"xxABCDEFGHIJ\", \"abcdefghij\", 0)", "0"},
      {"InStrRev(\"abcdefghijXabcdefghijX\", \"abcdefghij\")", "12"},
      {"InStrRev(\"abcdefghijXabcdefghijX\", \"abcdefghij\", 20)", "1"},
      {"InStrRev(\"ABCDEFGHIJXabcdefghijX\", \"abcdefghij\", -1, 1)", "12"},
      {"Replace(\"1<sep-sep>2<SEP-SEP>3\", \"<sep-sep>\", \"+\", 1, -1, 1)", "1+2+3"},
      {"Replace(\"1<sep-sep>2<SEP-SEP>3\", \"<sep-sep>\", \"+\")", "1+2<SEP-SEP>3"},
      {"Join(Split(\"a<delimiter>b<DELIMITER>c\", \"<delimiter>\", -1, 1), \"|\")", "a|b|c"},
      {"UBound(Split(String(100, \"x\"), String(10, \"x\")))", "10"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Eval(c.expression), c.value) << c.expression;
  }
}

TEST(Builtins, SplitAndJoin) {
  EXPECT_EQ(Echo("a = Split(\"a,b,,c\", \",\")\nWScript.Echo UBound(a), a(2) = \"\", a(3), "
                 "TypeName(a)"),
            "3 -1 c Variant()\n");
  EXPECT_EQ(Echo("a = Split(\"one two\")\nWScript.Echo a(1)\n"
                 "b = Split(\"\")\nWScript.Echo UBound(b)\n"
                 "c = Split(\"a,b,c\", \",\", 2)\nWScript.Echo c(1)\n"
                 "d = Split(\"aXbxc\", \"x\", -1, 1)\nWScript.Echo UBound(d)\n"
                 "e = Split(\"abc\", \"\")\nWScript.Echo e(0)"),
            "two\n-1\nb,c\n2\nabc\n");
  EXPECT_EQ(Eval("Join(Array(1, \"b\", Empty, 2.5), \"-\") & \"|\" & Join(Array(\"x\", \"y\"))"),
            "1-b--2.5|x y");
  // Argument checks, as the language reference gives them.
  struct Bad {
    const char* expression;
    int number;
  };
  const Bad bad[] = {
      {"Join(\"abc\")", 13},           {"Join(Array(1, Null))", 13},
      {"Join(Null)", 94},                {"Join(Array(), Null)", 94},
      {"Join(Array(Array(1)))", 13},     {"Split(\"a-b\", \"-\", -1, 2)", 5},
      {"Split(Null)", 94},               {"Split(\"a\", \"-\", -42)", 5},
      {"InStr(2, \"ab\", \"b\", Null)", 94}, {"InStr(2, \"ab\", \"b\", 10)", 5},
      {"InStrRev(\"ab\", Null)", 94},      {"InStrRev(\"ab\", \"b\", -20)", 5},
      {"Mid(\"test\", 0, 3)", 5},        {"Mid(\"test\", 1, Null)", 94},
      {"Mid(Null, -1, -1)", 5},          {"Mid(\"test\", \"a\", 1)", 13},
      {"MsgBox(\"x\")", 70},  // no one to ask here, once the arguments pass
      {"InputBox(\"x\", \"t\", \"d\", 10, 20)", 70}, {"InputBox(Null)", 94},
      {"MsgBox(\"x\", 6)", 5}, {"MsgBox(\"x\", , , \"h.chm\")", 5}, {"MsgBox(\"x\", \"a\")", 13},
  };
  for (const Bad& b : bad) {
    EXPECT_EQ(RuntimeErrorOf(std::string("x = ") + b.expression), b.number) << b.expression;
  }
  EXPECT_EQ(Eval("IsNull(InStr(2, Null, \"a\")) & IsNull(Mid(Null, 2))"), "TrueTrue");
}

TEST(Builtins, ConversionCorners) {
  EXPECT_EQ(Eval("CBool(\"#TRUE#\") & CBool(\"#false#\") & CByte(True) & VarType(Round(True))"),
            "TrueFalse25511");
}

TEST(Builtins, ConversionsAndRounding) {
  EXPECT_EQ(Eval("CInt(\"12\") & CInt(2.5) & CInt(3.5) & CInt(-2.5) & TypeName(CInt(1))"),
            "1224-2Integer");
  EXPECT_EQ(Eval("CLng(\"1,000\") & \" \" & CDbl(\"1.5\") & \" \" & CSng(\"0.25\") & \" \" & "
                 "CByte(\"255\") & \" \" & TypeName(CByte(1))"),
            "1000 1.5 0.25 255 Byte");
  EXPECT_EQ(Eval("CStr(CBool(\"true\")) & CStr(CBool(0)) & CStr(CBool(\"-1\")) & CStr(1.5)"),
            "TrueFalseTrue1.5");
  EXPECT_EQ(RuntimeErrorOf("x = CInt(40000)"), 6);
  EXPECT_EQ(RuntimeErrorOf("x = CByte(-1)"), 6);
  EXPECT_EQ(RuntimeErrorOf("x = CInt(\"abc\")"), 13);
  EXPECT_EQ(RuntimeErrorOf("x = CBool(\"maybe\")"), 13);
  EXPECT_EQ(RuntimeErrorOf("x = CLng(Null)"), 94);
  // Banker's rounding; Round keeps integers and rounds the decimal form of doubles.
  EXPECT_EQ(Eval("Round(2.5) & Round(3.5) & Round(-2.5) & Round(2.4) & Round(2.6)"), "24-223");
  EXPECT_EQ(Eval("Round(2.675, 2) & \" \" & Round(1.005, 2) & \" \" & Round(0.125, 2) & \" \" & "
                 "Round(12345.6789, 3) & \" \" & Round(9.995, 2)"),
            "2.68 1 0.12 12345.679 10");
  EXPECT_EQ(Eval("TypeName(Round(5)) & TypeName(Round(2.5)) & TypeName(Round(\"2.5\"))"),
            "IntegerDoubleDouble");
  EXPECT_EQ(RuntimeErrorOf("x = Round(1.5, -1)"), 5);
  EXPECT_EQ(Eval("Int(2.7) & Int(-2.7) & Fix(2.7) & Fix(-2.7) & TypeName(Int(2.5))"),
            "2-32-2Double");
  EXPECT_EQ(Eval("Abs(-3) & Abs(2.5) & TypeName(Abs(CInt(-32767) - 1)) & Sgn(-4) & Sgn(0)"),
            "32.5Long-10");
  EXPECT_EQ(Eval("Sqr(16) & \" \" & Round(Exp(1), 5) & \" \" & Log(1) & \" \" & Sin(0)"),
            "4 2.71828 0 0");
  EXPECT_EQ(RuntimeErrorOf("x = Sqr(-1)"), 5);
  EXPECT_EQ(RuntimeErrorOf("x = Log(0)"), 5);
  EXPECT_EQ(RuntimeErrorOf("x = Sgn(Null)"), 94);
  EXPECT_EQ(RuntimeErrorOf("x = Right(Null, -1)"), 5);
  EXPECT_EQ(Eval("CStr(CSng(0.1) = 0.1)"), "True");  // a Single compares at its precision
  EXPECT_EQ(Eval("RGB(255, 128, 0) & \" \" & RGB(300, 0, 1)"), "33023 65791");
}

TEST(Builtins, TypeInspection) {
  EXPECT_EQ(Eval("CStr(IsEmpty(Empty)) & CStr(IsEmpty(\"\")) & CStr(IsNull(Null)) & "
                 "CStr(IsNull(Empty))"),
            "TrueFalseTrueFalse");
  EXPECT_EQ(Eval("CStr(IsNumeric(\"12.5\")) & CStr(IsNumeric(\" 3 \")) & CStr(IsNumeric(\"x\")) & "
                 "CStr(IsNumeric(Empty)) & CStr(IsNumeric(Now)) & CStr(IsNumeric(\"&H1F\")) & "
                 "CStr(IsNumeric(New RegExp))"),
            "TrueTrueFalseTrueFalseTrueFalse");
  EXPECT_EQ(Eval("CStr(IsArray(Array())) & CStr(IsArray(\"a\")) & CStr(IsObject(WScript)) & "
                 "CStr(IsObject(Nothing)) & CStr(IsObject(1))"),
            "TrueFalseTrueTrueFalse");
  EXPECT_EQ(Eval("TypeName(CSng(1)) & TypeName(CDate(1)) & TypeName(Split(\"a\")) & "
                 "TypeName(WScript)"),
            "SingleDateVariant()Object");
  EXPECT_EQ(Eval("VarType(Empty) & VarType(Null) & VarType(1) & VarType(40000) & VarType(\"s\") & "
                 "VarType(True) & VarType(Array()) & VarType(Nothing)"),
            "0123811" + std::string("82049"));
  EXPECT_EQ(Eval("vbString & vbObjectError & Len(vbCrLf) & Asc(vbTab) & vbTextCompare"),
            "8-214722150429" + std::string("1"));
  EXPECT_EQ(Eval("UBound(Array(1, 2, 3)) & LBound(Array(1)) & UBound(Array())"), "20-1");
  EXPECT_EQ(RuntimeErrorOf("Dim m(1, 2)\nx = UBound(m, 3)"), 9);
  EXPECT_EQ(RuntimeErrorOf("x = UBound(\"a\")"), 13);
}

TEST(Builtins, DatesAndTimes) {
  EXPECT_EQ(Eval("DateSerial(2026, 12, 6) & \"|\" & DateSerial(2026, 13, 1) & \"|\" & "
                 "DateSerial(2024, 3, 0) & \"|\" & DateSerial(99, 1, 1)"),
            "12/6/2026|1/1/2027|2/29/2024|1/1/1999");
  EXPECT_EQ(Eval("TimeSerial(13, 5, 9) & \"|\" & TimeSerial(0, 0, 0) & \"|\" & CDate(0.5)"),
            "1:05:09 PM|12:00:00 AM|12:00:00 PM");
  EXPECT_EQ(Eval("Year(#12/6/2026#) & Month(#12/6/2026#) & Day(#12/6/2026#) & "
                 "Weekday(#12/6/2026#) & Weekday(#12/6/2026#, 2)"),
            "2026126" + std::string("17"));
  EXPECT_EQ(Eval("Hour(#11:58:15 PM#) & Minute(#11:58:15 PM#) & Second(#11:58:15 PM#)"), "235815");
  EXPECT_EQ(Eval("CDate(\"12/6/2026 11:58:15 AM\") & \"|\" & CDbl(#1/1/1900#) & \"|\" & "
                 "CDate(-1.25)"),
            "12/6/2026 11:58:15 AM|2|12/29/1899 6:00:00 AM");
  EXPECT_EQ(Eval("CStr(IsDate(\"2/29/2024\")) & CStr(IsDate(\"2/30/2024\")) & "
                 "CStr(IsDate(#1/1/2000#))"),
            "TrueFalseTrue");
  EXPECT_EQ(Eval("TypeName(Now) & TypeName(Date) & TypeName(Time) & TypeName(Timer)"),
            "DateDateDateSingle");
  EXPECT_EQ(Eval("CStr(Int(Now) = Date) & CStr(Timer >= 0 And Timer < 86400)"), "TrueTrue");
  EXPECT_EQ(RuntimeErrorOf("x = CDate(\"soon\")"), 13);
  EXPECT_EQ(RuntimeErrorOf("x = DateSerial(10000, 1, 1)"), 5);
  EXPECT_EQ(RuntimeErrorOf("x = Weekday(Null, -1)"), 5);
  EXPECT_EQ(RuntimeErrorOf("x = MonthName(\"a\", Null)"), 94);
  EXPECT_EQ(Eval("IsNull(DateAdd(\"d\", 1, Null)) & Right(Null, 1) & Weekday(Null)"), "True");
}

TEST(Builtins, RandomNumbersRepeatForASeed) {
  // As in the language, Rnd with a negative argument resets the generator before Randomize.
  EXPECT_EQ(
      Echo("x = Rnd(-1): Randomize 5: a = Rnd: b = Rnd\nx = Rnd(-1): Randomize 5: c = Rnd\n"
           "WScript.Echo CStr(a = c), CStr(a <> b), CStr(a >= 0 And a < 1), CStr(Rnd(0) = c)"),
      "True True True True\n");
  EXPECT_EQ(Eval("Rnd(0) * 16777216"), "327680");  // before any Rnd, Rnd(0) is the first seed's
  EXPECT_EQ(RuntimeErrorOf("x = Randomize(1)"), 13);
}

TEST(Builtins, CreateObjectGoesThroughTheHost) {
  Runner runner;
  runner.host.RegisterClass(u"Test.Thing", [] {
    return std::make_shared<WScriptObject>(std::cout, std::cerr, std::vector<std::u16string>{u"x"},
                                           u"t.vbs");
  });
  Outcome outcome = runner.Run(
      "Set o = CreateObject(\"test.thing\")\nWScript.Echo o.Arguments.Count\n"
      "Set p = CreateObject(\"No.Such\")");
  EXPECT_EQ(outcome.out, "1\n");
  EXPECT_EQ(outcome.ErrorCode(), 429);
  EXPECT_EQ(outcome.result.error->position, (SourcePosition{3, 1}));
}

}  // namespace
}  // namespace corvella::script::testing
