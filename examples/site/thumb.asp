<%@ LANGUAGE="VBSCRIPT" CODEPAGE=65001 ENABLESESSIONSTATE=False %>
<% Option Explicit %>
<!--#include file="inc/photos.inc"-->
<%
' thumb.asp?src=NAME&w=WIDTH: the photo NAME of the photos folder resampled to WIDTH pixels wide
' (16 to 1024, default 200), sent as a JPEG that browsers may keep for a day. The page needs no
' session, so that the thumbnails of one visitor are made side by side.
Dim src, width, height, pic
src = Request.QueryString("src")
width = Request.QueryString("w")
If Not IsPhotoName(src) Then
  Response.Status = "404 Not Found"
  Response.Write "No such photo"
  Response.End
End If
If IsNumeric(width) Then width = CLng(width) Else width = 200
If width < 16 Then width = 16
If width > 1024 Then width = 1024

Set pic = Server.CreateObject("Corvella.Pictron")
pic.OpenFile "photos/" & src
height = 0
pic.Resample width, height
pic.Quality = 80
Response.CacheControl = "public"
Response.Expires = 1440
' The literal line breaks between the blocks above went into the buffer; the image goes alone.
Response.Clear
pic.Download
%>
