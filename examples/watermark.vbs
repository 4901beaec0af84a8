' Watermark: a line of text across the foot of a photo and a logo in its top-right corner, the
' photo keeping its size.
'
'   corvella run examples/watermark.vbs --root SITE PHOTO OUTPUT LOGO TEXT
'
' PHOTO, OUTPUT and LOGO are paths in the site whose root folder is SITE. The logo's pure white
' pixels are transparent.
Option Explicit

Dim pic, key

If WScript.Arguments.Count < 4 Then
  WScript.Echo "usage: corvella run watermark.vbs --root SITE PHOTO OUTPUT LOGO TEXT"
  WScript.Quit 2
End If

Set pic = Server.CreateObject("Corvella.Pictron")
pic.OpenFile WScript.Arguments(0)

pic.FontFace = "Liberation Sans"
pic.FontSize = 20
pic.FontBold = True
pic.FontColor = "FFFFFF"
pic.AddText WScript.Arguments(3), "CENTER", "BOTTOM"

' AddImage writes the key colour back into the variable, as a number.
key = "FFFFFF"
pic.AddImage WScript.Arguments(2), "RIGHT", "TOP", key

pic.Quality = 90
pic.SaveFile WScript.Arguments(1)
WScript.Echo WScript.Arguments(1) & ": " & pic.width & "x" & pic.Height & ", key colour " & key
