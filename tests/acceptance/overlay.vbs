' Compositing: text and a second image painted on the working image, which keeps its size;
' AddImage writes the key colour back as a number; the errors of names, positions and colours.
' Arguments: the images folder and a scratch folder, each with a trailing separator.
Option Explicit
On Error Resume Next

Dim images, pic, logo, key
images = WScript.Arguments(0)
logo = images & "apache_pb_transp.gif"

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
pic.AddImage "", 0, 0
Show "AddImage without an image"
pic.AddText "x", 0, 0
Show "AddText without an image"

pic.OpenFile images & "egret_600x450.jpg"
pic.FontFace = "Liberation Sans"
pic.FontSize = 24
pic.FontColor = "FFFF00"
pic.AddText "Egret", "CENTER", "BOTTOM"
Show "AddText at CENTER, BOTTOM"
pic.AddText "Egret", 10, 20
Show "AddText at 10, 20"
pic.AddText "Egret", 601, 0
Show "AddText at 601, 0"
pic.AddText "Egret", 0, -500
Show "AddText at 0, -500"

pic.AddImage logo, "RIGHT", "TOP"
Show "AddImage at RIGHT, TOP"
key = "FFFFFF"
pic.AddImage logo, "LEFT", "BOTTOM", key
Show "AddImage keyed on FFFFFF"
WScript.Echo "  key is now " & key & " (" & TypeName(key) & ")"
key = "0000FF"
pic.AddImage logo, 0, 0, key
WScript.Echo "  0000FF gives " & key
key = "FFFFFF0"
pic.AddImage logo, 0, 0, key
Show "AddImage keyed on FFFFFF0"
WScript.Echo "  key is now " & key

key = "FFF"
pic.AddImage logo, 0, 0, key
Show "AddImage keyed on FFF"
pic.AddImage "", 0, 0
Show "AddImage with an empty name"
pic.AddImage images & "no_such_logo.gif", 0, 0
Show "AddImage of a missing file"
pic.AddImage logo, 601, 0
Show "AddImage at 601, 0"
pic.AddImage logo, -261, 0
Show "AddImage at -261, 0"
pic.AddImage logo, -260, 0
Show "AddImage at -260, 0"
WScript.Echo "size " & pic.width & "x" & pic.Height
WScript.Echo "DONE"
