<%@ LANGUAGE="VBSCRIPT" CODEPAGE=65001 %>
<% Option Explicit %>
<!--#include file="inc/layout.inc"-->
<%
' The gallery: every photo of the photos folder as a thumbnail made by thumb.asp.
Dim fso, folder, file, names, name, count
Session("Visits") = Session("Visits") + 1
Set fso = Server.CreateObject("Scripting.FileSystemObject")
Set folder = fso.GetFolder(Server.MapPath("photos"))
PageHeader "Photos"
count = 0
%>
<ul class="grid" id="photos">
<% For Each file In folder.Files
     name = file.Name
     If IsPhotoName(name) Then
       count = count + 1 %>
  <li><a href="caption.asp?src=<%= Server.URLEncode(name) %>"><img
      src="thumb.asp?src=<%= Server.URLEncode(name) %>&amp;w=200" alt="<%= Server.HTMLEncode(name) %>"></a>
      <span><%= Server.HTMLEncode(name) %>, <%= FormatKB(file.Size) %></span></li>
<%   End If
   Next %>
</ul>
<p id="count"><%= count %> photos. Application started <%= Application("StartedAt") %>;
<%= Application("Uploads") %> uploads since.</p>
<%
PageFooter

Function FormatKB(bytes)
  FormatKB = Round(bytes / 1024) & " KB"
End Function
%>
