' Properties: the defaults of a new object, the rules of the font and quality properties, and the
' settings surviving a second open.
' Arguments: the images folder and a scratch folder, each with a trailing separator.
Option Explicit
On Error Resume Next

Dim images, pic
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

Sub Fonts(p)
  WScript.Echo "  face " & p.FontFace & ", bold " & CInt(p.FontBold) & ", color " & p.FontColor & _
    ", italic " & CInt(p.FontItalic) & ", orientation " & p.FontOrientation & ", size " & _
    p.FontSize & ", underline " & CInt(p.FontUnderline) & ", charset " & p.FontCharset
End Sub

Set pic = CreateObject("Corvella.Pictron")
WScript.Echo "new: " & pic.OriginalWidth & " " & pic.OriginalHeight & " " & pic.OriginalSize & _
  " " & pic.width & " " & pic.Height & " " & pic.Size
Fonts pic
WScript.Echo "types: " & TypeName(pic.FontFace) & " " & TypeName(pic.FontBold) & " " & _
  TypeName(pic.FontSize) & " " & TypeName(pic.FontOrientation) & " " & TypeName(pic.FontCharset)

pic.FontBold = True
WScript.Echo "bold true: " & CInt(pic.FontBold)
pic.FontBold = False
WScript.Echo "bold false: " & CInt(pic.FontBold)
pic.FontColor = "FF8000"
WScript.Echo "color FF8000: " & pic.FontColor
pic.FontColor = "F00"
WScript.Echo "color F00: " & pic.FontColor
pic.FontColor = "FF80"
WScript.Echo "color FF80: " & pic.FontColor
pic.FontColor = "GGGGGG"
WScript.Echo "color GGGGGG: " & pic.FontColor
pic.FontColor = ""
WScript.Echo "color empty: " & pic.FontColor

pic.FontFace = "Liberation Serif"
pic.FontItalic = True
pic.FontUnderline = True
pic.FontOrientation = 900
pic.FontSize = 30
pic.FontCharset = 0
Fonts pic
pic.FontSize = 40000
Show "FontSize 40000"
WScript.Echo "  size still " & pic.FontSize

' Quality: no range check; on an object without an image the value is kept and runtime error 9
' follows.
pic.Quality = 500
Show "Quality 500 without an image"
pic.Quality = -3
Show "Quality -3 without an image"
pic.Comment = "a comment"
Show "Comment"

' The settings survive opening images.
pic.OpenFile images & "egret_600x450.jpg"
Show "open"
pic.Quality = 75
Show "Quality 75"
pic.OpenFile images & "snake_600x450.gif"
Show "second open"
Fonts pic
WScript.Echo "DONE"
