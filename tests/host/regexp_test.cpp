// The regular expression object: the syntax of scripts' patterns, Execute's collections,
// Replace's references, its errors, and patterns that would backtrack without end.

#include "script_objects_support.h"

#include <chrono>

#include "../../script/src/regexp.h"
#include "corvella/platform/error.h"

namespace corvella::host::testing {
namespace {

const std::string kPrelude = "Set r = CreateObject(\"VBScript.RegExp\")";

TEST(RegExp, MatchesAndCollections) {
  ExpectScripts(
      kPrelude,
      {
          {"r.Pattern = \"(\\w+)@(\\w+)\\.com\": WScript.Echo CStr(r.Test(\"mail "
           "bob@example.com\")), "
           "TypeName(r), CStr(r.Global), CStr(r.IgnoreCase), CStr(r.Multiline)",
           "True IRegExp2 False False False"},
          {"r.Pattern = \"a(b)?\": r.Global = True: Set ms = r.Execute(\"ab a xab\")\n"
           "WScript.Echo ms.Count, TypeName(ms)\n"
           "For Each m In ms: WScript.Echo m.FirstIndex, m.Length, m, "
           "CStr(IsEmpty(m.SubMatches(0))), "
           "m.SubMatches.Count: Next",
           "3 IMatchCollection2\n0 2 ab False 1\n3 1 a True 1\n6 2 ab False 1"},
          {"r.Pattern = \"a\": Set ms = r.Execute(\"aaa\"): WScript.Echo ms.Count, "
           "ms(0).FirstIndex",
           "1 0"},
          {"r.Pattern = \"q\": Set ms = r.Execute(\"x\"): WScript.Echo ms.Count: x = ms(0)",
           "0\n#5"},
          {"r.Pattern = \"(a)(b)\": Set s = r.Execute(\"ab\")(0).SubMatches\n"
           "For Each x In s: WScript.Echo x: Next: WScript.Echo s(1)",
           "a\nb\nb"},
          {"r.Pattern = \"^b\": r.Multiline = True: r.Global = True\n"
           "WScript.Echo r.Execute(\"a\" & vbCrLf & \"b\" & vbLf & \"b\").Count",
           "2"},
          {"r.Pattern = \"a$\": WScript.Echo CStr(r.Test(\"a\" & vbLf)), CStr(r.Test(\"ba\"))",
           "False True"},
          {"r.Pattern = \"ABC\u00c9\": r.IgnoreCase = True: WScript.Echo "
           "CStr(r.Test(\"xabc\u00e9x\"))",
           "True"},
          {"r.Pattern = \"a.c\": WScript.Echo CStr(r.Test(\"a\" & vbLf & \"c\")), "
           "CStr(r.Test(\"a-c\"))",
           "False True"},
      });
}

TEST(RegExp, SyntaxOfScripts) {
  ExpectScripts(
      kPrelude,
      {
          {"r.Pattern = \"\\u00e9\\x41\\Q\\v\": WScript.Echo CStr(r.Test(ChrW(233) & \"AQ\" & "
           "Chr(11)))",
           "True"},
          {"r.Pattern = \"[\\d-z]+\": WScript.Echo r.Execute(\"a1-z\")(0)", "1-z"},
          {"r.Pattern = \"[]a\": WScript.Echo CStr(r.Test(\"a\")): r.Pattern = \"[^]\": "
           "WScript.Echo CStr(r.Test(vbLf))",
           "False\nTrue"},
          {"r.Pattern = \"(a)\\1\\2\": WScript.Echo CStr(r.Test(\"aa\" & Chr(2)))", "True"},
          {"r.Pattern = \"[[:alpha:]]\": WScript.Echo CStr(r.Test(\"[:a]\")), CStr(r.Test(\"b\"))",
           "True False"},
          {"r.Pattern = \"a{2}b{,1}\": WScript.Echo CStr(r.Test(\"aab{,1}\"))", "True"},
          {"r.Pattern = \"(?:x)(?=y)(?!z)\": WScript.Echo r.Execute(\"xy\")(0).Length", "1"},
          {"r.Pattern = \"(a\": r.Test \"a\"", "#5020"},
          {"r.Pattern = \"[a\": r.Test \"a\"", "#5019"},
          {"r.Pattern = \"*a\": r.Test \"a\"", "#5018"},
          {"r.Pattern = \"a**\": r.Test \"a\"", "#5018"},
          {"r.Pattern = \"a++\": r.Test \"a\"", "#5018"},
          {"r.Pattern = \"[z-a]\": r.Test \"a\"", "#5021"},
          {"r.Pattern = \"(?<n>a)\": r.Test \"a\"", "#5017"},
          {"r.Pattern = \"(*UTF)a\": r.Test \"a\"", "#5018"},
          {"r.Pattern = \"a\\\": r.Test \"a\"", "#5017"},
      });
}

TEST(RegExp, Replace) {
  ExpectScripts(
      kPrelude,
      {
          {"r.Pattern = \"(\\d+)-(\\d+)\": WScript.Echo r.Replace(\"10-20 30-40\", \"$2-$1\")",
           "20-10 30-40"},
          {"r.Global = True: r.Pattern = \"(\\d+)-(\\d+)\"\n"
           "WScript.Echo r.Replace(\"10-20 30-40\", \"[$&|$`|$'|$$|$3|$0|$02]\")",
           "[10-20|| 30-40|$|$3|$0|20] [30-40|10-20 ||$|$3|$0|40]"},
          {"r.Pattern = \"x*\": r.Global = True: WScript.Echo r.Replace(\"abc\", \"-\")",
           "-a-b-c-"},
          {"r.Pattern = \"(a)|b\": r.Global = True: WScript.Echo r.Replace(\"ab\", \"<$1>\")",
           "<a><>"},
          {"r.Pattern = \"o\": WScript.Echo r.Replace(\"foo\", \"0\"), r.Replace(\"x\", Empty), "
           "r.Replace(\"o\", True)",
           "f0o x -1"},
          {"r.Pattern = \"a\": WScript.Echo r.Replace(Null, \"b\")", "#94"},
      });
}

TEST(RegExp, HostilePatternsRaiseInsteadOfHanging) {
  auto start = std::chrono::steady_clock::now();
  ExpectScripts(
      kPrelude,
      {
          {"r.Pattern = \"^(a|a)*$\": WScript.Echo CStr(r.Test(String(40, \"a\") & \"b\"))", "#28"},
          {"r.Pattern = \"^(\\w+\\s?)*$\": r.Global = True: WScript.Echo CStr(r.Test(String(60, "
           "\"a\") & \"!\"))",
           "#28"},
          {"r.Pattern = \"(\" & String(300, \"(\") & \"a\" & String(301, \")\"): r.Test \"a\"",
           "#5017"},
      });
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));

  // The pattern text itself: surrogates that pair are characters, lone ones are refused.
  EXPECT_EQ(script::TranslatePattern(u"\U0001F600").groups, 0u);
  EXPECT_THROW(script::TranslatePattern(u"\xD800"), platform::Error);
  EXPECT_EQ(script::TranslatePattern(u"(a)(?:b)[(]\\(").groups, 1u);
}

}  // namespace
}  // namespace corvella::host::testing
