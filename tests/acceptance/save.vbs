' Saving: an undecoded image is written through unchanged, a changed one is encoded anew; a
' missing name overwrites the opened file; the errors of bad targets.
' Arguments: the images folder and a scratch folder, each with a trailing separator.
Option Explicit
On Error Resume Next

Dim images, scratch, pic, check, w, h, bytes
images = WScript.Arguments(0)
scratch = WScript.Arguments(1)

Sub Show(what)
  If Err.Number = 0 Then
    WScript.Echo what & ": ok"
  ElseIf Err.Number < 0 Then
    WScript.Echo what & ": error " & Err.Number & " " & Err.Source & ": " & Err.Description
  Else
    WScript.Echo what & ": runtime error " & Err.Number
  End If
  Err.Clear
End Sub

Set pic = CreateObject("Corvella.Pictron")
Set check = CreateObject("Corvella.Pictron")

' Written through: the copy has the original's bytes, whatever the format.
pic.OpenFile images & "snake_600x450.gif"
pic.SaveFile scratch & "copy.jpg"
Show "SaveFile of an opened GIF"
check.OpenFile scratch & "copy.jpg"
Show "open the copy"
WScript.Echo "  " & check.OriginalWidth & "x" & check.OriginalHeight & " " & check.OriginalSize & " bytes"

' A setting alone changes nothing: Comment does not decode.
pic.OpenFile images & "egret_600x450.jpg"
pic.Comment = "not written"
pic.SaveFile scratch & "same.jpg"
check.OpenFile scratch & "same.jpg"
WScript.Echo "comment only: " & check.OriginalSize & " bytes"

' Quality decodes: the image is encoded anew.
pic.Quality = 30
pic.SaveFile scratch & "q30.jpg"
Show "SaveFile at quality 30"
check.OpenFile scratch & "q30.jpg"
WScript.Echo "  " & check.OriginalWidth & "x" & check.OriginalHeight & ", smaller: " & _
  CStr(check.OriginalSize < 18986) & ", Size is the file's: " & CStr(check.OriginalSize = pic.Size)

' Without a name, the file opened last is replaced. A failed open would leave the path of the
' file opened before, one of the test images, so the script stops there.
pic.OpenFile scratch & "copy.jpg"
If Err.Number <> 0 Then
  Show "open the copy again"
  WScript.Quit 1
End If
w = 100: h = 0
pic.Resample w, h
pic.SaveFile
Show "SaveFile without a name"
check.OpenFile scratch & "copy.jpg"
WScript.Echo "  copy.jpg is now " & check.OriginalWidth & "x" & check.OriginalHeight & _
  ", first bytes " & AscB(MidB(ReadAll(check), 1, 1)) & " " & AscB(MidB(ReadAll(check), 2, 1))

' The errors.
pic.SaveFile scratch & "no_such_folder\out.jpg"
Show "SaveFile into a missing folder"
Set pic = CreateObject("Corvella.Pictron")
pic.SaveFile
Show "SaveFile without a name or an image"
pic.SaveFile scratch & "nothing.jpg"
Show "SaveFile without an image"
check.SaveBinary bytes
pic.OpenBinary bytes
pic.SaveFile ""
Show "SaveFile of an array without a name"
WScript.Echo "DONE"

Function ReadAll(p)
  Dim b
  p.SaveBinary b
  ReadAll = b
End Function
