<%@ LANGUAGE="VBSCRIPT" CODEPAGE=65001 %>
<% Option Explicit %>
<!--#include file="inc/layout.inc"-->
<%
' caption.asp?src=NAME&text=TEXT: the photo with a caption stamped across its foot.
' With image=1 the page answers the stamped JPEG itself; otherwise an HTML page with a form.
Dim src, text, pic
src = Request("src")
text = Request("text")
If text = "" Then text = "Corvella gallery"
If Not IsPhotoName(src) Then
  Response.Status = "404 Not Found"
  Response.Write "No such photo"
  Response.End
End If

If Request.QueryString("image") = "1" Then
  Set pic = Server.CreateObject("Corvella.Pictron")
  pic.OpenFile "photos/" & src
  pic.FontSize = 20
  pic.FontBold = True
  pic.FontColor = "FFFFFF"
  pic.AddText Left(text, 80), "CENTER", "BOTTOM"
  pic.Quality = 85
  Response.Clear
  pic.Download
  Response.End
End If

PageHeader "Caption: " & src
%>
<form method="get" action="caption.asp">
  <input type="hidden" name="src" value="<%= Server.HTMLEncode(src) %>">
  <p><label>Caption <input type="text" name="text" value="<%= Server.HTMLEncode(text) %>"></label>
  <button type="submit">Stamp</button></p>
</form>
<p><img id="captioned" src="caption.asp?src=<%= Server.URLEncode(src) %>&amp;text=<%= Server.URLEncode(text) %>&amp;image=1" alt="captioned photo"></p>
<% PageFooter %>
