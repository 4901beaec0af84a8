' A photo catalogue job: the images of a folder listed with the file system object, picked and
' taken apart by regular expressions, measured with the component, kept in a dictionary, written
' to text files and read back.
' Arguments: the images folder and a scratch folder, each with a trailing separator.
Option Explicit
On Error Resume Next

Dim images, scratch, fso, re, sizes, pic, file, m, names, i, j, swap, key, stream, text
Dim opened

Sub Show(what)
  If Err.Number = 0 Then
    WScript.Echo what & ": ok"
  Else
    WScript.Echo what & ": runtime error " & Err.Number
  End If
  Err.Clear
End Sub

images = WScript.Arguments(0)
scratch = WScript.Arguments(1)
Set fso = CreateObject("Scripting.FileSystemObject")
Set re = CreateObject("VBScript.RegExp")
Set sizes = CreateObject("Scripting.Dictionary")
Set pic = CreateObject("Corvella.Pictron")

' The snake pictures, by name: "snake_", an optional kind, the size, the extension.
re.Pattern = "^snake_(?:(\w+)_)?(\d+)x(\d+)\.(jpe?g|gif|bmp)$"
re.IgnoreCase = True
For Each file In fso.GetFolder(images).Files
  If re.Test(file.Name) Then
    Set m = re.Execute(file.Name)(0)
    pic.OpenFile file.Path
    If Err.Number = 0 Then
      opened = "opened " & pic.OriginalWidth & "x" & pic.OriginalHeight
    Else
      opened = "not opened (runtime error " & Err.Number & ")"
      Err.Clear
    End If
    sizes.Add file.Name, "[" & m.SubMatches(0) & "] " & m.SubMatches(1) & "x" & m.SubMatches(2) & _
      " " & opened & ", " & file.Size & " bytes, " & file.Type
  End If
Next
Show "listing"

' Folders list in their own order on every system: sort the names.
names = sizes.Keys
For i = 0 To UBound(names) - 1
  For j = i + 1 To UBound(names)
    If names(j) < names(i) Then swap = names(i): names(i) = names(j): names(j) = swap
  Next
Next
WScript.Echo sizes.Count & " pictures"
For Each key In names
  WScript.Echo "  " & key & ": " & sizes(key)
Next

' The dictionary's own rules.
sizes.Add names(0), "again"
Show "a key added twice"
sizes.Remove "no such picture"
Show "removing a missing key"
sizes.Key(names(0)) = "first.gif"
WScript.Echo "renamed: " & CStr(sizes.Exists("first.gif")) & " " & CStr(sizes.Exists(names(0)))
sizes.CompareMode = 1
Show "compare mode of a full dictionary"
sizes.RemoveAll
sizes.CompareMode = 1
sizes("Egret") = 1
sizes("EGRET") = sizes("egret") + 1
WScript.Echo "text keys: " & sizes.Count & " " & sizes("eGrEt")

re.Pattern = "_(\d+)x(\d+)\."

' Replace with references to the groups, the match and its surroundings.
re.Global = True
text = re.Replace(Join(names, " "), "<$2 by $1>")
WScript.Echo Left(text, 60)
re.Pattern = "(\w+)@(\w+)"
WScript.Echo re.Replace("mail bob@example now", "$2 <$&> [$`|$'] $$1")
re.Pattern = "(a+)+("
re.Test "aaa"
Show "an unbalanced pattern"

' A Unicode file: its mark and two bytes a character.
Set stream = fso.CreateTextFile(scratch & "unicode.txt", True, True)
stream.Write "cafe"
stream.Close
Set stream = fso.OpenTextFile(scratch & "unicode.txt", 1, False, -1)
text = stream.ReadAll
stream.Close
WScript.Echo "unicode: " & Len(text) & " characters, " & Asc(Right(text, 1)) & ", " & _
  fso.GetFile(scratch & "unicode.txt").Size & " bytes"

' Folders made, copied into and removed.
fso.CreateFolder scratch & "out"
fso.CopyFile scratch & "*.txt", scratch & "out\"
WScript.Echo "copied: " & fso.GetFolder(scratch & "out").Files.Count
fso.DeleteFolder scratch & "out"
WScript.Echo "removed: " & CStr(fso.FolderExists(scratch & "out"))
WScript.Echo "DONE"
