// The file system object and its text streams: reading and writing in both encodings, folder
// listings, copies, moves and deletions, and their errors.

#include "script_objects_support.h"

#include "corvella/host/file_system_object.h"

namespace corvella::host::testing {
namespace {

std::string Prelude(const ScratchFolder& folder) {
  return "Set fso = CreateObject(\"Scripting.FileSystemObject\")\ndir = \"" + ScriptPath(folder) +
         "\"";
}

TEST(TextStream, WritesAndReadsLines) {
  ScratchFolder folder;
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
      });
  EXPECT_EQ(ReadBytes(folder / "u.txt"), (std::vector<uint8_t>{0xFF, 0xFE, 'h', 0, 0xAC, 0x20}));
  EXPECT_EQ(ReadBytes(folder / "new.txt"), (std::vector<uint8_t>{0xC3, 0xA9, '\r', '\n'}));
}

TEST(TextStream, EncodingsAndErrors) {
  ScratchFolder folder;
  // Bytes that are not UTF-8 read as Windows-1252; a UTF-8 byte-order mark is dropped.
  folder.Write("latin.txt", {'c', 'a', 'f', 0xE9, 0x80, '\n'});
  folder.Write("marked.txt", {0xEF, 0xBB, 0xBF, 'o', 'k'});
  ExpectScripts(
      Prelude(folder),
      {
          {"Set t = fso.OpenTextFile(dir & \"\\latin.txt\"): s = t.ReadLine\n"
           "WScript.Echo Len(s), AscW(Mid(s, 4)), AscW(Mid(s, 5)), CStr(t.AtEndOfStream)",
           "5 233 8364 True"},
          {"WScript.Echo fso.OpenTextFile(dir & \"\\marked.txt\").ReadAll", "ok"},
          {"Set t = fso.OpenTextFile(dir & \"\\none.txt\")", "#53"},
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
}

TEST(FileSystemObject, FoldersAndTheirFiles) {
  ScratchFolder folder;
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
      });
}

TEST(FileSystemObject, CopiesMovesAndDeletes) {
  ScratchFolder folder;
  folder.Write("a.txt", {'a'});
  folder.Write("b.txt", {'b', 'b'});
  folder.Write("c.jpg", {'c'});
  ExpectScripts(
      Prelude(folder),
      {
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
  for (const auto& row : joins) EXPECT_EQ(FileSystemObject::BuildPath(row[0], row[1]), row[2]);
}

}  // namespace
}  // namespace corvella::host::testing
