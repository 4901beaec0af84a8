' Square: crops the largest square from the centre of a photo and, when a side is given,
' resamples it to that side, as for the pictures of a profile or a gallery grid.
'
'   corvella run examples/square.vbs --root SITE PHOTO OUTPUT [SIDE]
'
' PHOTO and OUTPUT are paths in the site whose root folder is SITE.
Option Explicit

Dim pic, side, x1, y1, x2, y2, width, height

If WScript.Arguments.Count < 2 Then
  WScript.Echo "usage: corvella run square.vbs --root SITE PHOTO OUTPUT [SIDE]"
  WScript.Quit 2
End If

Set pic = Server.CreateObject("Corvella.Pictron")
pic.OpenFile WScript.Arguments(0)

' The square's side is the shorter side of the photo; the rest is shared out equally, an odd
' pixel going to the right or the bottom.
side = pic.width
If pic.Height < side Then side = pic.Height
x1 = (pic.width - side) \ 2
y1 = (pic.Height - side) \ 2
x2 = x1 + side
y2 = y1 + side
pic.Crop x1, y1, x2, y2
WScript.Echo "crop " & x1 & "," & y1 & " - " & x2 & "," & y2

If WScript.Arguments.Count > 2 Then
  width = CLng(WScript.Arguments(2))
  height = width
  pic.Resample width, height
End If

pic.SaveFile WScript.Arguments(1)
WScript.Echo WScript.Arguments(1) & ": " & pic.width & "x" & pic.Height
