// Expressions: precedence, the typing rules of the arithmetic operators, literals, comparisons,
// concatenation, the logical operators and Null.

#include "script_support.h"

namespace corvella::script::testing {
namespace {

TEST(Expressions, Precedence) {
  EXPECT_EQ(Eval("-2 ^ 2"), "4");  // a sign before ^
  EXPECT_EQ(Eval("-2 ^ 3 + 1"), "-7");
  EXPECT_EQ(Eval("(-2) ^ 2"), "4");
  EXPECT_EQ(Eval("2 ^ 3 ^ 2"), "64");  // left to right
  EXPECT_EQ(Eval("2 ^ -1"), "0.5");
  EXPECT_EQ(Eval("1 + 2 * 3 - 4 / 2"), "5");
  EXPECT_EQ(Eval("7 \\ 2 * 2"), "1");                         // * before \ .
  EXPECT_EQ(Eval("2 * 3 Mod 4"), "2");                        // \ and * before Mod
  EXPECT_EQ(Eval("10 Mod 4 + 1"), "3");                       // Mod before +
  EXPECT_EQ(Eval("\"a\" & 1 + 2"), "a3");                     // + before &
  EXPECT_EQ(Eval("1 + 1 = 2"), "-1");                         // & and + before comparisons
  EXPECT_EQ(Eval("CStr(Not 1 = 2)"), "True");                 // comparisons before Not
  EXPECT_EQ(Eval("CStr(True Or False And False)"), "True");   // And before Or
  EXPECT_EQ(Eval("CStr(True Xor True Or True)"), "False");    // Or before Xor
  EXPECT_EQ(Eval("CStr(False Imp True Eqv False)"), "True");  // Eqv before Imp
  EXPECT_EQ(Eval("10 - 2 - 3"), "5");
  EXPECT_EQ(Eval("2 * -3"), "-6");
}

TEST(Expressions, ArithmeticTypesPromoteInsteadOfOverflowing) {
  EXPECT_EQ(Eval("32767 + 1 & \" \" & TypeName(32767 + 1)"), "32768 Long");
  EXPECT_EQ(Eval("TypeName(1 + 1) & TypeName(2147483647 + 1)"), "IntegerDouble");
  EXPECT_EQ(Eval("TypeName(-32768)"), "Long");  // the literal 32768 is a Long
  EXPECT_EQ(Eval("TypeName(CInt(-32767) - 1) & TypeName(-CInt(-32767) * 2)"), "IntegerLong");
  EXPECT_EQ(Eval("TypeName(CByte(200) + CByte(50)) & TypeName(CByte(200) + CByte(100))"),
            "ByteInteger");
  EXPECT_EQ(Eval("TypeName(CSng(1) + 1) & TypeName(CSng(1) + CLng(1))"), "SingleDouble");
  EXPECT_EQ(Eval("TypeName(True + True) & (True + True)"), "Integer-2");
  EXPECT_EQ(Eval("TypeName(Empty + Empty) & TypeName(Empty + CByte(1))"), "IntegerByte");
  EXPECT_EQ(Eval("\"10\" + 5 & TypeName(\"10\" + 5)"), "15Double");
  EXPECT_EQ(Eval("\"1\" + \"2\""), "12");  // two strings join
  EXPECT_EQ(Eval("\"7\" - \"2\""), "5");
  EXPECT_EQ(Eval("\"x\" + Empty"), "x");
  EXPECT_EQ(RuntimeErrorOf("x = \"abc\" + 1"), 13);
  EXPECT_EQ(RuntimeErrorOf("x = Array(1) + 1"), 13);
  // Division.
  EXPECT_EQ(Eval("10 / 4 & TypeName(10 / 4) & TypeName(4 / 2) & TypeName(CSng(3) / 2)"),
            "2.5DoubleDoubleSingle");
  EXPECT_EQ(RuntimeErrorOf("x = 1 / 0"), 11);
  EXPECT_EQ(RuntimeErrorOf("x = 0 / 0"), 6);
  EXPECT_EQ(RuntimeErrorOf("x = 1E308 * 10"), 6);
  // Integer division and Mod round their operands half to even and truncate the result.
  EXPECT_EQ(Eval("7 \\ 2 & \",\" & -7 \\ 2 & \",\" & 7.5 \\ 2 & \",\" & 6.5 \\ 2"), "3,-3,4,3");
  EXPECT_EQ(Eval("7 Mod 3 & \",\" & -7 Mod 3 & \",\" & 5.5 Mod 2 & \",\" & TypeName(5 Mod 2)"),
            "1,-1,0,Integer");
  EXPECT_EQ(Eval("TypeName(100000 \\ 2) & TypeName(CByte(9) \\ CByte(2))"), "LongByte");
  EXPECT_EQ(RuntimeErrorOf("x = 5 \\ 0"), 11);
  EXPECT_EQ(RuntimeErrorOf("x = 5 Mod 0"), 11);
  EXPECT_EQ(RuntimeErrorOf("x = 3E10 \\ 2"), 6);
  EXPECT_EQ(RuntimeErrorOf("x = (-8) ^ 0.5"), 5);
  // Dates: a date plus days is a date, the difference of two dates a number of days.
  EXPECT_EQ(Eval("#1/30/2026# + 2"), "2/1/2026");
  EXPECT_EQ(Eval("#3/1/2024# - #2/28/2024# & TypeName(#3/1/2024# - #2/28/2024#)"), "2Double");
}

TEST(Expressions, CurrencyIsExactAndKeepsItsType) {
  const std::pair<const char*, const char*> kRows[] = {
      {"CCur(1.23456) & TypeName(CCur(\"2.5\")) & VarType(CCur(1))", "1.2346Currency6"},
      {"TypeName(1 + CCur(1)) & TypeName(CCur(1) * 40000) & (CCur(1) - True)", "CurrencyCurrency2"},
      {"VarType(CCur(1) + 1.5) & VarType(CCur(1) * CSng(2)) & VarType(CCur(1) + Now)", "557"},
      {"TypeName(CCur(3) / 2) & TypeName(CCur(7) \\ 2) & (CCur(7.5) Mod 2)", "DoubleLong0"},
      {"CCur(1.5) * CCur(1.5) & \" \" & -CCur(2.5) & \" \" & CCur(\"-0.00005\")", "2.25 -2.5 0"},
      {"Abs(CCur(-2.5)) & TypeName(Int(CCur(-2.5))) & Int(CCur(-2.5)) & Fix(CCur(-2.5)) & "
       "Round(CCur(2.345), 2)",
       "2.5Currency-3-22.34"},
      {"CDbl(CCur(2.5)) & CLng(CCur(2.5)) & CInt(CCur(3.5)) & TypeName(Sgn(CCur(-1)))",
       "2.524Integer"},
      {"CStr(IsNumeric(CCur(1))) & FormatCurrency(CCur(1234.5)) & FormatNumber(CCur(-0.5), 1)",
       "True$1,234.50-0.5"},
      {"CCur(0.1) + CCur(0.2) = CCur(0.3) And CCur(1) = 1 And CCur(2) > CSng(1.5)", "-1"},
  };
  for (const auto& [expression, expected] : kRows)
    EXPECT_EQ(Eval(expression), expected) << expression;
  EXPECT_EQ(RuntimeErrorOf("x = CCur(922337203685477) * 10"), 6);
  EXPECT_EQ(RuntimeErrorOf("x = -CCur(\"-922337203685477.5808\")"), 6);
}

TEST(Expressions, Literals) {
  EXPECT_EQ(Eval("&HFF & \" \" & &hff & \" \" & &HFFFF & \" \" & &HFFFF& & \" \" & &H10000"),
            "255 255 -1 65535 65536");
  EXPECT_EQ(Eval("&HFFFFFFFF & \" \" & &H7FFFFFFF & \" \" & &O17 & \" \" & &O177777"),
            "-1 2147483647 15 -1");
  EXPECT_EQ(Eval("\"say \"\"hi\"\"\""), "say \"hi\"");
  EXPECT_EQ(Eval("1.5E3 & \" \" & .5 & \" \" & 1E+20 & \" \" & 0.00001"), "1500 0.5 1E+20 1E-05");
  EXPECT_EQ(Eval("TypeName(32767) & TypeName(32768) & TypeName(2147483648) & TypeName(1.0)"),
            "IntegerLongDoubleDouble");
  EXPECT_EQ(Eval("#12/6/2026 11:58:15 AM# & \"|\" & #2026-12-06# & \"|\" & #13:05#"),
            "12/6/2026 11:58:15 AM|12/6/2026|1:05:00 PM");
  EXPECT_EQ(Eval("TypeName(Empty) & TypeName(Null) & TypeName(Nothing) & TypeName(True)"),
            "EmptyNullNothingBoolean");
  Runner runner;
  EXPECT_EQ(runner.Run("x = &HFFFFFFFFF").result.error->description, "Invalid number");
  EXPECT_EQ(runner.Run("x = \"open").result.error->description, "Unterminated string constant");
  EXPECT_EQ(runner.Run("x = #31/31/2000#").result.error->description, "Syntax error");
  EXPECT_EQ(runner.Run("x = 1 $ 2").result.error->description, "Invalid character");
}

TEST(Expressions, ComparisonsBetweenStringsNumbersAndEmpty) {
  EXPECT_EQ(Eval("CStr(2 < 10) & CStr(\"2\" < \"10\")"), "TrueFalse");  // numeric vs text order
  EXPECT_EQ(Eval("CStr(\"a\" < \"b\") & CStr(\"a\" = \"A\") & CStr(\"B\" < \"a\")"),
            "TrueFalseTrue");
  // Variables: a number is less than any string.
  EXPECT_EQ(Echo("n = 10: s = \"9\"\nWScript.Echo CStr(n < s), CStr(n = s)"), "True False\n");
  // Against a literal the other operand takes the literal's type.
  EXPECT_EQ(Echo("s = \"10\"\nWScript.Echo CStr(s = 10), CStr(s > 9), CStr(s < \"9\")"),
            "True True True\n");
  EXPECT_EQ(Echo("n = 5\nWScript.Echo CStr(n = \"5\"), CStr(n < \"10\")"), "True False\n");
  EXPECT_EQ(Echo("s = \"abc\"\nWScript.Echo CStr(s = 1), CStr(s > 1)"), "False True\n");
  // Empty is 0 against numbers and "" against strings.
  EXPECT_EQ(Eval("CStr(Empty = 0) & CStr(Empty = \"\") & CStr(Empty < 1) & CStr(Empty = Empty)"),
            "TrueTrueTrueTrue");
  EXPECT_EQ(Eval("CStr(True = -1) & CStr(CSng(0.1) = CDbl(CSng(0.1)))"), "TrueTrue");
  // Null makes Null.
  EXPECT_EQ(Eval("IsNull(Null = 1) & IsNull(1 < Null) & IsNull(Null = Null)"), "TrueTrueTrue");
  EXPECT_EQ(RuntimeErrorOf("x = Array(1) = 1"), 13);
}

TEST(Expressions, ConcatenationAndNull) {
  EXPECT_EQ(Eval("1 & 2 & True & 2.5 & Empty & Null & \"x\""), "12True2.5x");
  EXPECT_EQ(Eval("IsNull(Null & Null) & (Null & \"\")"), "True");
  EXPECT_EQ(Eval("IsNull(Null + 1) & IsNull(-Null) & IsNull(Null * 0) & IsNull(Null \\ 1)"),
            "TrueTrueTrueTrue");
  EXPECT_EQ(RuntimeErrorOf("x = \"a\" & Array(1)"), 13);
  EXPECT_EQ(RuntimeErrorOf("x = CStr(Null)"), 94);
}

TEST(Expressions, LogicalOperators) {
  EXPECT_EQ(Eval("(5 And 3) & \",\" & (5 Or 3) & \",\" & (5 Xor 3) & \",\" & (Not 5)"), "1,7,6,-6");
  EXPECT_EQ(Eval("TypeName(True And True) & TypeName(True And 1) & TypeName(CByte(1) Or CByte(2))"),
            "BooleanIntegerByte");
  EXPECT_EQ(Eval("TypeName(Not CByte(1)) & (Not CByte(1)) & TypeName(70000 And 1)"), "Byte254Long");
  EXPECT_EQ(Eval("CStr(True Eqv True) & CStr(False Imp False) & CStr(True Imp False)"),
            "TrueTrueFalse");
  // Null: False And Null is False, True Or Null is True, the rest Null.
  EXPECT_EQ(Eval("CStr(False And Null) & CStr(True Or Null) & CStr(False Imp Null)"),
            "FalseTrueTrue");
  EXPECT_EQ(Eval("IsNull(True And Null) & IsNull(False Or Null) & IsNull(Null Xor True) & "
                 "IsNull(Not Null)"),
            "TrueTrueTrueTrue");
  EXPECT_EQ(Eval("CStr(\"true\" And True) & (2.5 Or 1) & (Not \"#FALSE#\")"), "True3True");
  EXPECT_EQ(RuntimeErrorOf("x = \"abc\" And 1"), 13);
  // Is needs objects.
  EXPECT_EQ(Eval("CStr(Nothing Is Nothing) & CStr(WScript Is WScript)"), "TrueTrue");
  EXPECT_EQ(RuntimeErrorOf("x = 1 Is Nothing"), 424);
}

TEST(Expressions, NumbersFormatAsScriptsShowThem) {
  EXPECT_EQ(Eval("0.1 + 0.2"), "0.3");
  EXPECT_EQ(Eval("1 / 3"), "0.333333333333333");
  EXPECT_EQ(Eval("123456789012345678"), "1.23456789012346E+17");
  EXPECT_EQ(Eval("CSng(1) / 3"), "0.3333333");
  EXPECT_EQ(Eval("-0.5 & \" \" & 100000 * 100000"), "-0.5 10000000000");
}

}  // namespace
}  // namespace corvella::script::testing
