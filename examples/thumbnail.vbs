' Thumbnail: the component's main job. A small logo is painted over the photo with white as its
' transparent colour, the photo is resampled to 200 pixels wide (the height follows from its
' proportions), a caption is drawn on the thumbnail, and the result is saved as JPEG.
'
'   corvella run examples/thumbnail.vbs --root SITE PHOTO THUMB LOGO [CAPTION]
'
' PHOTO, THUMB and LOGO are paths in the site whose root folder is SITE, as a page names them:
' "egret.jpg", "photos/egret.jpg" or "/photos/egret.jpg".
Option Explicit

Dim photo, thumb, logo, caption, pic, width, height

If WScript.Arguments.Count < 3 Then
  WScript.Echo "usage: corvella run thumbnail.vbs --root SITE PHOTO THUMB LOGO [CAPTION]"
  WScript.Quit 2
End If
photo = WScript.Arguments(0)
thumb = WScript.Arguments(1)
logo = WScript.Arguments(2)
caption = ""
If WScript.Arguments.Count > 3 Then caption = WScript.Arguments(3)

' Made through the page, so that the object maps the site's paths with Server.MapPath.
Set pic = Server.CreateObject("Corvella.Pictron")
pic.OpenFile photo

' The logo goes on the full photo, where it is still sharp; pure white pixels of the logo let
' the photo show through.
pic.AddImage logo, "LEFT", "BOTTOM", "FFFFFF"

' A height of 0 asks for the height that keeps the proportions; Resample writes it back.
width = 200
height = 0
pic.Resample width, height

If caption <> "" Then
  pic.FontSize = 9
  pic.FontBold = True
  pic.FontColor = "FFFFFF"
  pic.AddText caption, 4, "TOP"
End If

pic.Quality = 80
pic.Comment = "Thumbnail made by corvella"
pic.SaveFile thumb
WScript.Echo thumb & ": " & width & "x" & height & ", " & pic.Size & " bytes"
