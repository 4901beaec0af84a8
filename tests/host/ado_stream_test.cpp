// ADODB.Stream: binary and text streams, character sets and their byte-order marks, positions,
// files, and the errors with their own numbers and source.

#include "script_objects_support.h"

namespace corvella::host::testing {
namespace {

std::string Prelude(const ScratchFolder& folder) {
  return "Set s = CreateObject(\"ADODB.Stream\")\ndir = \"" + ScriptPath(folder) +
         "\"\n"
         "Function Bytes(b)\n"
         "  Dim k: Bytes = \"\"\n"
         "  For k = 1 To LenB(b): Bytes = Bytes & Hex(AscB(MidB(b, k, 1))) & \" \": Next\n"
         "  Bytes = Trim(Bytes)\n"
         "End Function";
}

TEST(AdoStream, TextInEveryCharset) {
  ScratchFolder folder;
  ExpectScripts(
      Prelude(folder),
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
      });
}

TEST(AdoStream, BytesAndFiles) {
  ScratchFolder folder;
  folder.Write("in.bin", {0, 1, 2, 0xFF, 0x80});
  ExpectScripts(
      Prelude(folder),
      {
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
      });
}

TEST(AdoStream, ErrorsCarryTheirNumbersAndSource) {
  ScratchFolder folder;
  folder.Write("in.bin", {1});
  ExpectScripts(
      Prelude(folder),
      {
          {"x = s.Size", "#3704"},
          {"s.Open: s.Open", "#3705"},
          {"s.Open: x = s.Read", "#3219"},
          {"s.Type = 1: s.Open: x = s.ReadText", "#3219"},
          {"s.Type = 1: s.Open: s.WriteText \"a\"", "#3219"},
          {"s.Open: s.WriteText \"a\": s.Write s.Read", "#3219"},
          {"s.Open: s.WriteText \"a\": s.Charset = \"utf-8\"", "#3001"},
          {"s.Open: s.WriteText \"a\": s.Type = 1", "#3001"},
          {"s.Charset = \"klingon\"", "#3001"},
          {"s.Type = 3", "#3001"},
          {"s.Open: s.Position = 1", "#3001"},
          {"s.Open: s.Write \"text\"", "#3001"},
          {"s.Open: s.LoadFromFile dir & \"\\none.bin\"", "#3002"},
          {"s.Open: s.SaveToFile dir & \"\\in.bin\"", "#3004"},
          {"s.Open: s.SaveToFile dir & \"\\no\\x.bin\", 2", "#3004"},
          {"s.Open: s.SaveToFile dir & \"\\x.bin\", 3", "#3001"},
          {"s.Open \"URL=http://example/x\"", "#3251"},
          {"On Error Resume Next: s.Close: WScript.Echo Err.Number, Err.Source, Err.Description",
           "3704 ADODB.Stream Operation is not allowed when the object is closed."},
      });
}

}  // namespace
}  // namespace corvella::host::testing
