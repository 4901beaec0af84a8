' Download: a page that sends a picture to the browser as a file to save, made 320 pixels wide on
' the way. The object writes the JPEG into the page's Response, with its content type and a
' Content-Disposition header that names the file.
'
'   corvella run examples/download.vbs --root SITE --response RESPONSE.http PHOTO [NAME]
'
' PHOTO is a path in the site whose root folder is SITE; NAME is the file name that the browser
' offers (default: download.jpg). Without --response the JPEG bytes go to standard output.
Option Explicit

Dim pic, name, width, height

If WScript.Arguments.Count < 1 Then
  Response.Status = "400 Bad Request"
  Response.Write "usage: corvella run download.vbs --root SITE [--response FILE] PHOTO [NAME]"
  Response.End
End If
name = "download.jpg"
If WScript.Arguments.Count > 1 Then name = WScript.Arguments(1)

Set pic = Server.CreateObject("Corvella.Pictron")
On Error Resume Next
pic.OpenFile WScript.Arguments(0)
If Err.Number <> 0 Then
  Response.Status = "404 Not Found"
  Response.Write "cannot open " & WScript.Arguments(0) & ": " & Err.Description
  Response.End
End If
On Error GoTo 0

width = 320
height = 0
pic.Resample width, height
pic.Quality = 85

' Nothing else may reach the body: it holds the picture alone.
Response.Clear
pic.Download name, "image/jpeg", "attachment"
Response.End
