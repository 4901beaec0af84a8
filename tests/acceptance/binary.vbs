' Byte arrays: SaveBinary hands out the opened bytes unchanged until a pixel operation, then a new
' JPEG; OpenBinary takes such an array back.
' Arguments: the images folder and a scratch folder, each with a trailing separator.
Option Explicit
On Error Resume Next

Dim images, pic, copy, bytes, again, w, h, i, text
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

Function Head(b, n)
  Dim k, s
  s = ""
  For k = 1 To n
    s = s & AscB(MidB(b, k, 1)) & " "
  Next
  Head = Trim(s)
End Function

Set pic = CreateObject("Corvella.Pictron")
pic.SaveBinary bytes
Show "SaveBinary without an image"

' Undecoded: the GIF's own bytes.
pic.OpenFile images & "apache_pb_transp.gif"
pic.SaveBinary bytes
Show "SaveBinary of an opened GIF"
WScript.Echo "  " & TypeName(bytes) & " " & LenB(bytes) & " bytes, lower bound " & LBound(bytes) & _
  ", upper bound " & UBound(bytes) & ", first bytes " & Head(bytes, 6)
text = ""
For i = 1 To 6
  text = text & Chr(AscB(MidB(bytes, i, 1)))
Next
WScript.Echo "  signature " & text

Set again = CreateObject("Corvella.Pictron")
again.OpenBinary bytes
Show "OpenBinary of those bytes"
WScript.Echo "  " & again.OriginalWidth & "x" & again.OriginalHeight & " " & again.OriginalSize & " bytes"

' After a pixel operation: a new JPEG, whose length is Size.
w = 130: h = 0
pic.Resample w, h
pic.SaveBinary bytes
Show "SaveBinary after Resample"
WScript.Echo "  first bytes " & Head(bytes, 3) & ", length is Size: " & CStr(LenB(bytes) = pic.Size) & _
  ", height " & h
again.OpenBinary bytes
Show "OpenBinary of the JPEG"
WScript.Echo "  " & again.OriginalWidth & "x" & again.OriginalHeight & ", size is length: " & _
  CStr(again.OriginalSize = LenB(bytes))

' Decoding from an array: a PNG that only ever arrived as bytes.
pic.OpenFile images & "coffee_rgb_600x400.png"
pic.SaveBinary bytes
again.OpenBinary bytes
Show "OpenBinary of a PNG"
again.RotateRight
Show "RotateRight of it"
WScript.Echo "  " & again.width & "x" & again.Height

' A text file is not an image, whatever it is named.
pic.OpenFile images & "SOURCES.md"
Show "OpenFile of a text file"
WScript.Echo "DONE"
