// The script objects as scripts use them: Scripting.Dictionary (keys of every kind, order,
// renames, compare modes), VBScript.RegExp (the syntax of scripts' patterns, Execute's
// collections, Replace's references, patterns that would backtrack without end), ADODB.Stream
// (character sets and their byte-order marks, positions, files, errors with their own numbers),
// and the file system object with its text streams. Each row is a script and what it prints,
// followed by "#n" when a runtime error n stopped it. The errors that the acceptance scripts
// catalogue.vbs and stream.vbs already print (a duplicate or missing key, an unbalanced pattern,
// a missing file, the stream's 3002, 3004, 3219, 3704 and 3705) are not repeated here.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "../../script/src/regexp.h"
#include "corvella/host/file_system_object.h"
#include "corvella/host/script_objects.h"
#include "corvella/platform/error.h"
#include "corvella/platform/text.h"
#include "corvella/script/engine.h"
#include "corvella/script/host.h"
#include "corvella/script/wscript.h"
#include "support/temp_folder.h"

namespace corvella::host::testing {
namespace {

/// One row of a table: a script and what it prints (lines joined by "\n", no final newline).
struct ScriptCase {
  std::string script;
  std::string expected;
};

/// Runs @p source with the script objects registered; the lines echoed, joined by "\n", then
/// "#n" for an uncaught runtime error n (the low 16 bits of its number).
std::string RunScript(const std::string& source) {
  std::ostringstream out;
  std::ostringstream err;
  script::BasicHost host;
  host.AddNamedItem(u"WScript", std::make_shared<script::WScriptObject>(
                                    out, err, std::vector<std::u16string>{}, u"test.vbs"));
  for (const ScriptObjectClass& objectClass : ScriptObjectClasses()) {
    host.RegisterClass(std::u16string(objectClass.progId), objectClass.create);
  }
  script::RunOptions options;
  options.maxSteps = 1'000'000;
  script::RunResult result = script::RunSource(platform::Utf8ToWide(source), host, options);
  std::string text = out.str();
  while (!text.empty() && text.back() == '\n')
    text.pop_back();
  if (result.error) {
    if (!text.empty()) text += "\n";
    text += "#" + std::to_string(static_cast<uint32_t>(result.error->number) & 0xFFFF);
  }
  return text;
}

/// Runs every row of a table after @p prelude.
void ExpectScripts(const std::string& prelude, const std::vector<ScriptCase>& cases) {
  for (const ScriptCase& row : cases) {
    EXPECT_EQ(RunScript(prelude + "\n" + row.script), row.expected) << row.script;
  }
}

using corvella::testing::ReadBytes;
using ScratchFolder = corvella::testing::TempFolder;

/// The folder as scripts name it, written with backslashes.
std::string ScriptPath(const ScratchFolder& folder) {
  return corvella::testing::WebPath(folder.Path());
}

const std::string kDictionary = "Set d = CreateObject(\"Scripting.Dictionary\")";

// Adding, finding and order; keys of every kind; renames and compare modes.
TEST(Dictionary, KeysOrderRenamesAndCompareModes) {
  ExpectScripts(
      kDictionary,
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
          {"d.Add \"a\", 1: d.Add \"b\", 2: d.Key(\"a\") = \"z\"\n"
           "WScript.Echo CStr(d.Exists(\"a\")), d(\"z\"), Join(d.Keys, \",\")",
           "False 1 z,b"},
          {"d.Add \"a\", 1: d.Add \"b\", 2: d.Key(\"a\") = \"b\"", "#457"},
          {"d.Key(\"none\") = \"x\"", "#32811"},
          {"d.CompareMode = 1: d.Add \"Key\", 1: d.Add ChrW(233), 2\n"
           "WScript.Echo d.CompareMode, CStr(d.Exists(\"KEY\")), d(\"kEy\"), d(ChrW(201)), d.Count",
           "1 True 1 2 2"},
          {"d.Add \"Key\", 1: WScript.Echo d.CompareMode, CStr(d.Exists(\"KEY\"))", "0 False"},
          {"d.CompareMode = 1: d.Add \"a\", 1: d.Add \"A\", 2", "#457"},
      });
}

const std::string kRegExp = "Set r = CreateObject(\"VBScript.RegExp\")";

// Matches and collections, the syntax of scripts' patterns, Replace's references.
TEST(RegExp, MatchesSyntaxAndReplace) {
  ExpectScripts(
      kRegExp,
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
          {"r.Pattern = \"[a\": r.Test \"a\"", "#5019"},
          {"r.Pattern = \"*a\": r.Test \"a\"", "#5018"},
          {"r.Pattern = \"a**\": r.Test \"a\"", "#5018"},
          {"r.Pattern = \"a++\": r.Test \"a\"", "#5018"},
          {"r.Pattern = \"[z-a]\": r.Test \"a\"", "#5021"},
          {"r.Pattern = \"(?<n>a)\": r.Test \"a\"", "#5017"},
          {"r.Pattern = \"(*UTF)a\": r.Test \"a\"", "#5018"},
          {"r.Pattern = \"a\\\": r.Test \"a\"", "#5017"},
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
      kRegExp,
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

std::string StreamPrelude(const ScratchFolder& folder) {
  return "Set s = CreateObject(\"ADODB.Stream\")\ndir = \"" + ScriptPath(folder) +
         "\"\n"
         "Function Bytes(b)\n"
         "  Dim k: Bytes = \"\"\n"
         "  For k = 1 To LenB(b): Bytes = Bytes & Hex(AscB(MidB(b, k, 1))) & \" \": Next\n"
         "  Bytes = Trim(Bytes)\n"
         "End Function";
}

// Text in every character set; bytes and files; the errors with their own numbers and source.
TEST(AdoStream, TextBytesFilesAndErrors) {
  ScratchFolder folder;
  folder.Write("in.bin", {0, 1, 2, 0xFF, 0x80});
  ExpectScripts(
      StreamPrelude(folder),
      {
          {"WScript.Echo s.State, s.Type, s.Charset, s.LineSeparator, TypeName(s)\n"
           "s.Open: s.WriteText \"h\" & ChrW(233): WScript.Echo s.Size, s.Position, CStr(s.EOS)\n"
           "s.Position = 0: WScript.Echo AscW(Mid(s.ReadText, 2)), s.Position\n"
           "s.Position = 0: s.Type = 1: WScript.Echo Bytes(s.Read)",
           "0 2 Unicode -1 Stream\n6 6 True\n233 6\nFF FE 68 0 E9 0"},
          {"s.Charset = \"utf-8\": s.Open: s.WriteText \"a\" & ChrW(8364), 1: s.WriteText \"b\"\n"
           "s.Position = 0: WScript.Echo AscW(s.ReadText(1)), s.Position, AscW(s.ReadText(1)), "
           "Len(s.ReadText(-2)), s.ReadText(-2), CStr(s.EOS)\n"
           "s.Position = 0: s.Type = 1: WScript.Echo Bytes(s.Read)",
           "97 4 8364 0 b True\nEF BB BF 61 E2 82 AC D A 62"},
          {"s.Charset = \"windows-1252\": s.LineSeparator = 10: s.Open\n"
           "s.WriteText ChrW(8364) & ChrW(233) & ChrW(20013), 1: s.Position = 0: s.Type = 1\n"
           "WScript.Echo Bytes(s.Read): s.Position = 0: s.Type = 2: s.Charset = \"iso-8859-1\"\n"
           "WScript.Echo AscW(s.ReadText(1)), Len(s.ReadText(-2)), CStr(s.EOS)",
           "80 E9 3F A\n8364 2 True"},
          {"s.Charset = \"us-ascii\": s.Open: s.WriteText \"a\" & ChrW(233): s.Position = 0\n"
           "WScript.Echo s.ReadText, s.Size",
           "a? 2"},
          {"s.Open: s.WriteText \"line1\", 1: s.WriteText \"line2\": s.Position = 0: s.SkipLine\n"
           "WScript.Echo s.ReadText(-2): s.Position = 2: s.SetEOS: WScript.Echo s.Size, s.ReadText",
           "line2\n2 "},
          {"s.Type = 1: s.Open: s.LoadFromFile dir & \"\\in.bin\": WScript.Echo s.Size, "
           "s.Position\n"
           "b = s.Read(2): WScript.Echo TypeName(b), Bytes(b), Bytes(s.Read()), "
           "CStr(IsNull(s.Read))\n"
           "s.Position = 1: s.Write b: WScript.Echo Bytes(s.Read(-1)), s.Size\n"
           "s.SaveToFile dir & \"\\out.bin\": s.SaveToFile dir & \"\\out.bin\", 2: s.Close\n"
           "s.Open: s.LoadFromFile dir & \"\\out.bin\": s.Type = 1: WScript.Echo Bytes(s.Read)",
           "5 0\nByte() 0 1 2 FF 80 True\nFF 80 5\n0 0 1 FF 80"},
          // Bytes written to a new text stream make it binary; a copy goes to another stream.
          {"s.Open: s.LoadFromFile dir & \"\\in.bin\": s.Position = 0: s.Type = 1: b = s.Read\n"
           "Set t = CreateObject(\"ADODB.Stream\"): t.Open: t.Write b: WScript.Echo t.Type, "
           "t.Size\n"
           "s.Position = 3: s.CopyTo t: WScript.Echo t.Size: t.Position = 5: WScript.Echo "
           "Bytes(t.Read)",
           "1 5\n7\nFF 80"},
          {"x = s.Size", "#3704"},
          {"s.Type = 1: s.Open: x = s.ReadText", "#3219"},
          {"s.Type = 1: s.Open: s.WriteText \"a\"", "#3219"},
          {"s.Open: s.WriteText \"a\": s.Write s.Read", "#3219"},
          {"s.Open: s.WriteText \"a\": s.Type = 1", "#3001"},
          {"s.Charset = \"klingon\"", "#3001"},
          {"s.Type = 3", "#3001"},
          {"s.Open: s.Position = 1", "#3001"},
          {"s.Open: s.Write \"text\"", "#3001"},
          {"s.Open: s.SaveToFile dir & \"\\no\\x.bin\", 2", "#3004"},
          {"s.Open: s.SaveToFile dir & \"\\x.bin\", 3", "#3001"},
          {"s.Open \"URL=http://example/x\"", "#3251"},
      });
}

std::string Prelude(const ScratchFolder& folder) {
  return "Set fso = CreateObject(\"Scripting.FileSystemObject\")\ndir = \"" + ScriptPath(folder) +
         "\"";
}

// Lines written and read in both encodings; bytes that are not UTF-8 read as Windows-1252 and a
// UTF-8 byte-order mark is dropped; the errors.
TEST(TextStream, LinesEncodingsAndErrors) {
  ScratchFolder folder;
  folder.Write("latin.txt", {'c', 'a', 'f', 0xE9, 0x80, '\n'});
  folder.Write("marked.txt", {0xEF, 0xBB, 0xBF, 'o', 'k'});
  ExpectScripts(
      Prelude(folder),
      {
          {"Set t = fso.CreateTextFile(dir & \"\\a.txt\"): t.WriteLine \"one\": t.Write \"tw\"\n"
           "WScript.Echo t.Line, t.Column: t.WriteLine: t.WriteBlankLines 2: t.Write \"end\": "
           "t.Close\n"
           "Set t = fso.OpenTextFile(dir & \"\\a.txt\")\n"
           "WScript.Echo t.ReadLine, t.Line, CStr(t.AtEndOfLine), t.Read(1), t.Column, t.ReadLine\n"
           "t.SkipLine: WScript.Echo \"[\" & t.ReadLine & \"]\", t.ReadAll, CStr(t.AtEndOfStream)",
           "2 3\none 2 False t 2 w\n[] end True"},
          {"Set t = fso.OpenTextFile(dir & \"\\a.txt\"): x = t.ReadAll: x = t.ReadLine", "#62"},
          {"Set t = fso.OpenTextFile(dir & \"\\a.txt\", 8): t.Write \"+\": t.Close\n"
           "WScript.Echo Right(fso.OpenTextFile(dir & \"\\a.txt\").ReadAll, 4)",
           "end+"},
          {"Set t = fso.OpenTextFile(dir & \"\\new.txt\", 8, True): t.WriteLine ChrW(233): "
           "t.Close\n"
           "Set t = fso.OpenTextFile(dir & \"\\new.txt\", 1, False, -2): WScript.Echo "
           "AscW(t.ReadAll)",
           "233"},
          {"Set t = fso.CreateTextFile(dir & \"\\u.txt\", True, True): t.Write \"h\" & ChrW(8364): "
           "t.Close\n"
           "WScript.Echo AscW(Mid(fso.OpenTextFile(dir & \"\\u.txt\", 1, False, -1).ReadAll, 2)), "
           "AscW(fso.OpenTextFile(dir & \"\\u.txt\", 1, False, -2).ReadAll)",
           "8364 104"},
          {"Set t = fso.OpenTextFile(dir & \"\\latin.txt\"): s = t.ReadLine\n"
           "WScript.Echo Len(s), AscW(Mid(s, 4)), AscW(Mid(s, 5)), CStr(t.AtEndOfStream)",
           "5 233 8364 True"},
          {"WScript.Echo fso.OpenTextFile(dir & \"\\marked.txt\").ReadAll", "ok"},
          {"Set t = fso.OpenTextFile(dir & \"\\no\\none.txt\", 2, True)", "#76"},
          {"Set t = fso.OpenTextFile(dir & \"\\none.txt\", 8)", "#53"},
          {"Set t = fso.OpenTextFile(dir & \"\\latin.txt\", 3)", "#5"},
          {"Set t = fso.OpenTextFile(dir & \"\\latin.txt\", 1, False, 7)", "#5"},
          {"Set t = fso.CreateTextFile(dir & \"\\latin.txt\", False)", "#58"},
          {"Set t = fso.OpenTextFile(dir & \"\\latin.txt\"): t.Write \"x\"", "#54"},
          {"Set t = fso.CreateTextFile(dir & \"\\w.txt\"): x = t.ReadLine", "#54"},
          {"Set t = fso.CreateTextFile(dir & \"\\w.txt\"): t.Close: t.Write \"x\"", "#54"},
          {"Set t = fso.CreateTextFile(dir & \"\\w.txt\"): t.Write ChrW(&HD800)", "#5"},
          {"Set t = fso.OpenTextFile(dir & \"\\latin.txt\"): x = t.Read(-1)", "#5"},
      });
  EXPECT_EQ(ReadBytes(folder / "u.txt"), (std::vector<uint8_t>{0xFF, 0xFE, 'h', 0, 0xAC, 0x20}));
  EXPECT_EQ(ReadBytes(folder / "new.txt"), (std::vector<uint8_t>{0xC3, 0xA9, '\r', '\n'}));
}

// Folders and their files; copies, moves and deletions; the names of paths.
TEST(FileSystemObject, FoldersCopiesMovesAndDeletes) {
  ScratchFolder folder;
  folder.Write("a.txt", {'a'});
  folder.Write("b.txt", {'b', 'b'});
  folder.Write("c.jpg", {'c'});
  folder.Write("photos/b.JPG", {1, 2, 3});
  folder.Write("photos/a.png", {1});
  folder.Write("photos/notes.txt", {});
  folder.Write("photos/raw", {});
  folder.Write("photos/z/inner.gif", {1, 2});
  ExpectScripts(
      Prelude(folder),
      {
          {"Set f = fso.GetFolder(dir & \"\\photos\")\n"
           "WScript.Echo f.Name, f.Files.Count, f.SubFolders.Count, f.Type, TypeName(f), f.Size\n"
           "For Each x In f.Files: WScript.Echo x.Name, x.Size, x.Type, x.ParentFolder.Name: Next\n"
           "For Each x In f.SubFolders: WScript.Echo x.Name, x.Files(\"INNER.gif\").Size: Next\n"
           "WScript.Echo CStr(f.Files(\"a.png\") = f.Files(\"a.png\").Path), "
           "CStr(IsDate(f.Files(\"raw\").DateLastModified)), CStr(IsDate(f.DateCreated)), "
           "CStr(f.IsRootFolder)",
           "photos 4 1 File folder Folder 6\n"
           "a.png 1 PNG image photos\nb.JPG 3 JPEG image photos\nnotes.txt 0 Text Document photos\n"
           "raw 0 File photos\nz 2\nTrue True True False"},
          {"x = fso.GetFolder(dir & \"\\photos\").Files(\"none\")", "#53"},
          {"Set f = fso.GetFolder(dir & \"\\none\")", "#76"},
          {"Set f = fso.GetFile(dir & \"\\none\")", "#53"},
          {"Set f = fso.CreateFolder(dir & \"\\made\"): WScript.Echo f.Name, "
           "CStr(fso.FolderExists(dir & \"\\made\"))\n"
           "fso.CreateFolder dir & \"\\made\"",
           "made True\n#58"},
          {"fso.CreateFolder dir & \"\\no\\deeper\"", "#76"},
          {"n = fso.GetTempName: WScript.Echo Left(n, 3), Right(n, 4), Len(n)", "rad .tmp 12"},
          {"WScript.Echo CStr(fso.GetSpecialFolder(2).IsRootFolder): fso.GetSpecialFolder 3",
           "False\n#5"},
          {"fso.CreateFolder dir & \"\\out\": fso.CopyFile dir & \"\\*.TXT\", dir & \"\\out\\\"\n"
           "WScript.Echo fso.GetFolder(dir & \"\\out\").Files.Count, CStr(fso.FileExists(dir & "
           "\"\\out\\b.txt\"))\n"
           "fso.CopyFile dir & \"\\c.jpg\", dir & \"\\out\\a.txt\": WScript.Echo fso.GetFile(dir & "
           "\"\\out\\a.txt\").Size\n"
           "fso.CopyFile dir & \"\\b.txt\", dir & \"\\out\\a.txt\", False",
           "2 True\n1\n#58"},
          {"fso.MoveFile dir & \"\\c.jpg\", dir & \"\\d.jpg\": WScript.Echo "
           "CStr(fso.FileExists(dir & \"\\c.jpg\")), "
           "CStr(fso.FileExists(dir & \"\\d.jpg\"))\nfso.MoveFile dir & \"\\d.jpg\", dir & "
           "\"\\a.txt\"",
           "False True\n#58"},
          {"fso.DeleteFile dir & \"\\out\\*.txt\": WScript.Echo fso.GetFolder(dir & "
           "\"\\out\").Files.Count\n"
           "fso.DeleteFile dir & \"\\out\\*.txt\"",
           "0\n#53"},
          {"Set f = fso.GetFile(dir & \"\\a.txt\"): f.Name = \"e.txt\": WScript.Echo f.Name, "
           "CStr(fso.FileExists(dir & \"\\e.txt\"))\nf.Delete: WScript.Echo "
           "CStr(fso.FileExists(dir & \"\\e.txt\"))",
           "e.txt True\nFalse"},
          {"fso.DeleteFolder dir & \"\\out\": WScript.Echo CStr(fso.FolderExists(dir & "
           "\"\\out\"))\n"
           "fso.DeleteFolder dir & \"\\out\"",
           "False\n#76"},
          {"fso.CopyFile dir & \"\\none.*\", dir & \"\\x\"", "#53"},
      });
  using host::FileSystemObject;
  EXPECT_EQ(FileSystemObject::GetAbsolutePathName(u"/srv/a/../b/./c/"), u"/srv/b/c");
  EXPECT_EQ(FileSystemObject::GetAbsolutePathName(u"\\srv\\a"), u"/srv/a");
  // The names of a path: base, extension, parent; and joined paths.
  const std::u16string_view names[][4] = {
      {u"C:\\a\\archive.tar.gz", u"archive.tar", u"gz", u"C:\\a"},
      {u"/a.b/readme", u"readme", u"", u"/a.b"},
      {u"photo.", u"photo", u"", u""},
      {u"/photo.jpg", u"photo", u"jpg", u"/"},
      {u"C:\\a\\\\b.jpg", u"b", u"jpg", u"C:\\a"},
  };
  for (const auto& row : names) {
    EXPECT_EQ(FileSystemObject::GetBaseName(row[0]), row[1]);
    EXPECT_EQ(FileSystemObject::GetExtensionName(row[0]), row[2]);
    EXPECT_EQ(FileSystemObject::GetParentFolderName(row[0]), row[3]);
  }
  const std::u16string_view joins[][3] = {{u"C:\\a", u"b.jpg", u"C:\\a\\b.jpg"},
                                          {u"/srv/a/", u"b.jpg", u"/srv/a/b.jpg"},
                                          {u"/srv/a", u"/b.jpg", u"/srv/a/b.jpg"},
                                          {u"", u"b.jpg", u"b.jpg"}};
  for (const auto& row : joins)
    EXPECT_EQ(FileSystemObject::BuildPath(row[0], row[1]), row[2]);
}

}  // namespace
}  // namespace corvella::host::testing
