' The members that scripts rarely call: the page members without a page, StripNulls,
' JPEGSkipVariables and LoadPictureFromStd.
' Arguments: the images folder and a scratch folder, each with a trailing separator.
Option Explicit
On Error Resume Next

Dim images, pic, result, pos, s
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

Set pic = CreateObject("Corvella.Pictron")
result = pic.OnEndPage()
Show "OnEndPage"
WScript.Echo "  result is empty: " & CStr(IsEmpty(result))
pic.OnStartPage Nothing
Show "OnStartPage Nothing"
pic.Download
Show "Download without a page"
pic.OpenFile "egret_600x450.jpg"
Show "OpenFile without a page or a backslash"

s = pic.StripNulls("ab" & Chr(0) & Chr(0))
WScript.Echo "StripNulls(ab + 2 NULs): " & Len(s)
s = pic.StripNulls("abc" & Chr(0))
WScript.Echo "StripNulls(abc + 1 NUL): " & Len(s)
s = pic.StripNulls("abc" & Chr(0) & Chr(0))
WScript.Echo "StripNulls(abc + 2 NULs): " & Len(s)
s = pic.StripNulls("")
WScript.Echo "StripNulls(empty): " & Len(s)

pic.OpenFile images & "egret_600x450.jpg"
' The position designates a segment's length field: APP0's holds 16, DQT follows at 20.
pos = 4
pic.JPEGSkipVariables pos
Show "JPEGSkipVariables from 4"
WScript.Echo "  pos=" & pos
pos = pos + 2
pic.JPEGSkipVariables pos
Show "JPEGSkipVariables from 22"
WScript.Echo "  pos=" & pos
' Position 2 holds a marker, read as a length of 65504: the end of the data comes first, and the
' position is left on the last index.
pos = 2
pic.JPEGSkipVariables pos
Show "JPEGSkipVariables from 2"
WScript.Echo "  pos=" & pos
pic.JPEGSkipVariables pos
Show "JPEGSkipVariables from the last index"
WScript.Echo "  pos=" & pos
pos = -1
pic.JPEGSkipVariables pos
Show "JPEGSkipVariables from -1"
WScript.Echo "  pos=" & pos

pic.OpenFile images & "snake_600x450.gif"
result = pic.LoadPictureFromStd()
Show "LoadPictureFromStd of a GIF"
WScript.Echo "  answer " & CInt(result) & ", size " & pic.width & "x" & pic.Height
WScript.Echo "DONE"
