' The operations of windows/reference/parity_reference.cpp, run through the COM server; the files
' written must equal the Linux build's byte for byte (windows/test.sh compares them).
'   cscript parity.vbs IMAGES_FOLDER OUTPUT_FOLDER   (folders end with a backslash)
Option Explicit
Dim images, output, p
images = WScript.Arguments(0)
output = WScript.Arguments(1)

Set p = CreateObject("Corvella.Pictron")
p.OpenFile images & "egret_600x450.jpg"
p.Resample 200, 0
p.FontSize = 20
p.FontBold = True
p.FontColor = "FF8000"
p.AddText "Egret 600x450", 5, 5
p.Quality = 85
p.SaveFile output & "egret_text.jpg"
WScript.Echo "ok   wrote egret_text.jpg (" & p.Size & " bytes)"

Set p = CreateObject("Corvella.Pictron")
p.OpenFile images & "snake_600x450.gif"
p.RotateRight
p.Gamma CSng(1.2), CSng(1), CSng(0.8)
p.Sharpen
p.FontItalic = True
p.FontFace = "Liberation Serif"
p.FontOrientation = 30
p.AddText "Snake", "CENTER", "BOTTOM"
p.SaveFile output & "snake_rotated.jpg"
WScript.Echo "ok   wrote snake_rotated.jpg (" & p.Size & " bytes)"

Set p = CreateObject("Corvella.Pictron")
p.OpenFile images & "coffee_rgb_600x400.png"
p.Crop 20, 10, 520, 390
p.Blur
p.Mirror
p.Flip
p.AddImage images & "apache_pb_transp.gif", "RIGHT", 10, "FFFFFF"
p.Comment = "parity"
p.RotateLeft
p.GreyScale
p.Negative
p.SaveFile output & "coffee_overlay.jpg"
WScript.Echo "ok   wrote coffee_overlay.jpg (" & p.Size & " bytes)"

WScript.Echo "DONE parity.vbs"
