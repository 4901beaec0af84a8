' Filters and colours: each runs on an opened image and keeps its size; Gamma checks its values.
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

Set pic = CreateObject("Corvella.Pictron")
pic.Blur
Show "Blur without an image"
pic.Gamma 0, 1, 1
Show "Gamma 0 without an image"
pic.Gamma 1, 1, 1
Show "Gamma 1 without an image"

pic.OpenFile images & "coffee_rgb_600x400.png"
pic.Blur
Show "Blur"
pic.Sharpen
Show "Sharpen"
pic.Gamma 1.5, 1, 0.8
Show "Gamma 1.5, 1, 0.8"
pic.Gamma 0, 1, 1
Show "Gamma 0, 1, 1"
pic.Gamma 1, -2, 1
Show "Gamma 1, -2, 1"
pic.Gamma 1, 1, 256
Show "Gamma 1, 1, 256"
pic.Gamma 255, 255, 255
Show "Gamma 255, 255, 255"
pic.Negative
Show "Negative"
pic.GreyScale
Show "GreyScale"
WScript.Echo "size " & pic.width & "x" & pic.Height

' Every filter of a grey image, opened from a grey JPEG.
pic.OpenFile images & "snake_grey_600x450.jpg"
pic.GreyScale
pic.Negative
pic.Blur
pic.Sharpen
Show "grey image"
WScript.Echo "size " & pic.width & "x" & pic.Height
WScript.Echo "DONE"
