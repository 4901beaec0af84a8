' Opening: the four formats are recognised by their signatures, and their sizes are read from
' the headers without decoding; the errors of a bad name or bad data.
' Arguments: the images folder and a scratch folder, each with a trailing separator.
Option Explicit
On Error Resume Next

Dim images, pic, names, i
images = WScript.Arguments(0)

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

Sub Describe(p)
  WScript.Echo "  original " & p.OriginalWidth & "x" & p.OriginalHeight & " " & p.OriginalSize & _
    " bytes, current " & p.width & "x" & p.Height & " " & p.Size & " bytes"
End Sub

Set pic = CreateObject("Corvella.Pictron")
names = Array("egret_600x450.jpg", "snake_grey_600x450.jpg", "snake_600x450.gif", _
  "apache_pb_transp.gif", "snake_24bit_600x450.bmp", "snake_8bit_pal_600x450.bmp", _
  "coffee_rgb_600x400.png", "horse_rgba_400x328.png", "dragonfly_4224x3168_prog.jpg")
For i = 0 To UBound(names)
  pic.OpenFile images & names(i)
  Show names(i)
  Describe pic
Next

' A failed open keeps the sizes of the image opened before it.
pic.OpenFile images & "SOURCES.md"
Show "SOURCES.md"
Describe pic
pic.OpenFile images & "snake_24bit_topdown_600x450.bmp"
Show "top-down BMP"
pic.OpenFile images & "no_such_file.jpg"
Show "missing file"
pic.OpenFile ""
Show "empty name"
Describe pic

' The property types that scripts see.
WScript.Echo TypeName(pic.OriginalWidth) & " " & TypeName(pic.width) & " " & TypeName(pic.Size)
WScript.Echo "DONE"
