<%@ LANGUAGE="VBSCRIPT" CODEPAGE=65001 %>
<% Option Explicit %>
<!--#include file="inc/layout.inc"-->
<!--#include file="inc/upload.inc"-->
<%
' Upload: a photo sent through the form is checked by the component (it must open as an image
' of at most 40 megapixels), saved as a JPEG in the photos folder under a new name, and the
' browser goes back to the gallery.
Dim form, pic, title, name, message
Set form = New UploadForm
message = ""
If Request.ServerVariables("REQUEST_METHOD") = "POST" Then
  If Not form.Parse() Then
    message = "The form must be sent as multipart/form-data."
  ElseIf Not form.HasFile("photo") Then
    message = "Choose a photo to upload."
  Else
    Set pic = Server.CreateObject("Corvella.Pictron")
    On Error Resume Next
    pic.OpenBinary form.FileBytes("photo")
    If Err.Number <> 0 Then
      message = "That file is not an image the gallery can read: " & Err.Description
      Err.Clear
    ElseIf pic.OriginalWidth * pic.OriginalHeight > 40000000 Then
      message = "That image is too large."
    Else
      title = NameFromTitle(form.Field("title"))
      Randomize
      name = title & "-" & Year(Now) & Right("0" & Month(Now), 2) & Right("0" & Day(Now), 2) & _
             "-" & Hour(Now) & Minute(Now) & Second(Now) & "-" & Int(Rnd * 100000) & ".jpg"
      pic.Quality = 90
      pic.SaveFile "photos/" & name
      If Err.Number <> 0 Then
        message = "The photo could not be saved: " & Err.Description
        Err.Clear
      End If
    End If
    On Error GoTo 0
    If message = "" Then
      Application.Lock
      Application("Uploads") = Application("Uploads") + 1
      Application.Unlock
      Response.Redirect "/?uploaded=" & Server.URLEncode(name)
    End If
  End If
End If

' A file name made from the title: letters, digits and dashes only.
Function NameFromTitle(text)
  Dim re
  Set re = CreateObject("VBScript.RegExp")
  re.Pattern = "[^A-Za-z0-9]+"
  re.Global = True
  NameFromTitle = LCase(re.Replace(Trim(text), "-"))
  If NameFromTitle = "" Or NameFromTitle = "-" Then NameFromTitle = "photo"
  NameFromTitle = Left(NameFromTitle, 40)
  If Left(NameFromTitle, 1) = "-" Then NameFromTitle = "p" & NameFromTitle
End Function

PageHeader "Upload a photo"
If message <> "" Then Response.Write "<p id=""message"">" & Server.HTMLEncode(message) & "</p>"
%>
<form method="post" action="upload.asp" enctype="multipart/form-data" id="upload">
  <p><label>Title <input type="text" name="title" id="title"></label></p>
  <p><label>Photo <input type="file" name="photo" id="photo" accept="image/*"></label></p>
  <p><button type="submit" id="send">Upload</button></p>
</form>
<% PageFooter %>
