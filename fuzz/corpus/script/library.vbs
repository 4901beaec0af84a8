d = #1/31/2026 13:05:09#
WScript.Echo FormatNumber(1234567.891), FormatCurrency(-3.5), FormatPercent(0.256, 1)
WScript.Echo FormatDateTime(d, 1), FormatDateTime(d, 4), DateAdd("m", 1, d), DateDiff("ww", d, Now)
WScript.Echo DatePart("ww", d, vbMonday, vbFirstFourDays), MonthName(2, True), WeekdayName(7)
WScript.Echo Escape("a b&ü"), Unescape("%41%u0042"), Join(Filter(Split("a,bb,cb", ","), "b"), "|")
WScript.Echo InStr(1, String(40, "a") & "B", String(20, "a") & "b", vbTextCompare)
WScript.Echo InStrRev("abcabc", "bc"), Replace("AbAb", "ab", "x", 1, -1, 1), CCur(1.23456)
WScript.Echo ScriptEngine, GetLocale, SetLocale("en-us"), CBool("#TRUE#"), CByte(True)
