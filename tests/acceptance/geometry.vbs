' Geometry: Resample and Crop write their results back into the script's variables; rotations
' swap the sides; the position errors of Crop.
' Arguments: the images folder and a scratch folder, each with a trailing separator.
Option Explicit
On Error Resume Next

Dim images, pic, w, h, x1, y1, x2, y2
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

Sub Size(p)
  WScript.Echo "  now " & p.width & "x" & p.Height & ", original " & p.OriginalWidth & "x" & _
    p.OriginalHeight
End Sub

Set pic = CreateObject("Corvella.Pictron")

' Every pixel operation on an object without an image: runtime error 9.
pic.Resample 10, 10
Show "Resample without an image"
pic.Crop 0, 0, 1, 1
Show "Crop without an image"
pic.RotateRight
Show "RotateRight without an image"

pic.OpenFile images & "egret_600x450.jpg"
Show "open egret 600x450"

' A side of 0 is computed from the original proportions and written back.
w = 200: h = 0
pic.Resample w, h
Show "Resample 200, 0"
WScript.Echo "  w=" & w & " h=" & h
Size pic
w = 0: h = 90
pic.Resample w, h
Show "Resample 0, 90"
WScript.Echo "  w=" & w & " h=" & h
Size pic
w = 0: h = 0
pic.Resample w, h
Show "Resample 0, 0"
' Values in parentheses are passed by value: the variable keeps its 0.
w = 300: h = 0
pic.Resample (w), (h)
Show "Resample (300), (0)"
WScript.Echo "  w=" & w & " h=" & h
Size pic

' Crop clamps a second corner beyond the image and writes the clamped value back.
pic.OpenFile images & "egret_600x450.jpg"
x1 = 100: y1 = 50: x2 = 1000: y2 = 400
pic.Crop x1, y1, x2, y2
Show "Crop 100, 50, 1000, 400"
WScript.Echo "  x1=" & x1 & " y1=" & y1 & " x2=" & x2 & " y2=" & y2
Size pic
x1 = 600: y1 = 0: x2 = 700: y2 = 10
pic.Crop x1, y1, x2, y2
Show "Crop from x 600"
x1 = -1: y1 = 0: x2 = 10: y2 = 10
pic.Crop x1, y1, x2, y2
Show "Crop from x -1"
x1 = 10: y1 = 10: x2 = 5: y2 = 20
pic.Crop x1, y1, x2, y2
Show "Crop from x 10 to x 5"
' A first position equal to the width passes; the picture left is empty.
x1 = 500: y1 = 0: x2 = 600: y2 = 10
pic.Crop x1, y1, x2, y2
Show "Crop from x 500 on a width of 500"
WScript.Echo "  x2=" & x2 & " y2=" & y2
Size pic

pic.RotateRight
Show "RotateRight"
Size pic
pic.RotateLeft
Show "RotateLeft"
Size pic
pic.RotateLeft
Show "RotateLeft"
Size pic
pic.Flip
Show "Flip"
pic.Mirror
Show "Mirror"
Size pic
WScript.Echo "DONE"
