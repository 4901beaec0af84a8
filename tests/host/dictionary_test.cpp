// Scripting.Dictionary as scripts use it: keys of every kind, order, renames, compare modes and
// the errors of duplicate and missing keys.

#include "script_objects_support.h"

namespace corvella::host::testing {
namespace {

const std::string kPrelude = "Set d = CreateObject(\"Scripting.Dictionary\")";

TEST(Dictionary, AddsFindsAndKeepsOrder) {
  ExpectScripts(
      kPrelude,
      {
          {"d.Add \"a\", 1: d.Add \"b\", 2: WScript.Echo d.Count, d(\"a\"), d.Item(\"b\"), "
           "TypeName(d)",
           "2 1 2 Dictionary"},
          {"d(\"a\") = 1: d(\"b\") = 2: d(\"c\") = 3: d.Remove \"b\": d(\"b\") = 4: d(\"a\") = 5\n"
           "WScript.Echo Join(d.Keys, \",\"), Join(d.Items, \",\"), LBound(d.Keys)",
           "a,c,b 5,3,4 0"},
          {"d.Add \"x\", 1: d.Add \"y\", 2: For Each k In d: s = s & k & d(k): Next: WScript.Echo "
           "s",
           "x1y2"},
          // Reading a missing key adds it, Exists does not.
          {"WScript.Echo CStr(d.Exists(\"q\")), d.Count: x = d(\"q\"): WScript.Echo "
           "CStr(IsEmpty(x)), d.Count",
           "False 0\nTrue 1"},
          {"d.Add \"a\", 1: d.RemoveAll: WScript.Echo d.Count, UBound(d.Keys), UBound(d.Items)",
           "0 -1 -1"},
          {"Set o = CreateObject(\"Scripting.Dictionary\"): Set d(\"o\") = o: d(\"o\").Add \"in\", "
           "5\n"
           "WScript.Echo d(\"o\")(\"in\"), CStr(d.Exists(o)), TypeName(d.Items()(0))",
           "5 False Dictionary"},
      });
}

TEST(Dictionary, KeysOfEveryKind) {
  ExpectScripts(
      kPrelude,
      {
          // Numbers are one key by value, whatever their type; a string is never a number.
          {"d.Add 1, \"n\": d.Add \"1\", \"s\": WScript.Echo d.Count, d(1), d(\"1\"), d(1.0), "
           "d(CByte(1))",
           "2 n s n n"},
          {"d.Add 1, \"n\": d.Add CDbl(1), \"again\"", "#457"},
          {"d.Add Null, 1: d.Add Empty, 2: d.Add True, 3: d.Add -1, 4: d.Add \"\", 5: d.Add 0, 6\n"
           "WScript.Echo d.Count, d(Null), d(Empty), d(True), d(-1), d(\"\"), d(0)",
           "6 1 2 3 4 5 6"},
          {"Set a = CreateObject(\"Scripting.Dictionary\"): Set b = "
           "CreateObject(\"Scripting.Dictionary\")\n"
           "d.Add a, 1: d.Add b, 2: WScript.Echo d(a), d(b), CStr(d.Exists(a))",
           "1 2 True"},
          {"d.Add Array(1), 1", "#13"},
      });
}

TEST(Dictionary, RenamesAndCompareModes) {
  ExpectScripts(
      kPrelude,
      {
          {"d.Add \"a\", 1: d.Add \"b\", 2: d.Key(\"a\") = \"z\"\n"
           "WScript.Echo CStr(d.Exists(\"a\")), d(\"z\"), Join(d.Keys, \",\")",
           "False 1 z,b"},
          {"d.Add \"a\", 1: d.Add \"b\", 2: d.Key(\"a\") = \"b\"", "#457"},
          {"d.Key(\"none\") = \"x\"", "#32811"},
          {"d.Remove \"none\"", "#32811"},
          {"d.Add \"a\", 1: d.Add \"a\", 2", "#457"},
          {"d.CompareMode = 1: d.Add \"Key\", 1: d.Add ChrW(233), 2\n"
           "WScript.Echo d.CompareMode, CStr(d.Exists(\"KEY\")), d(\"kEy\"), d(ChrW(201)), d.Count",
           "1 True 1 2 2"},
          {"d.Add \"Key\", 1: WScript.Echo d.CompareMode, CStr(d.Exists(\"KEY\"))", "0 False"},
          {"d.CompareMode = 1: d.Add \"a\", 1: d.Add \"A\", 2", "#457"},
          {"d.Add \"k\", 1: d.CompareMode = 1", "#5"},
      });
}

}  // namespace
}  // namespace corvella::host::testing
