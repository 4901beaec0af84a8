' A page written as VBScript classes: the scripting context, its Response and its Server. The
' component reaches them by name only (OnStartPage, MapPath, Download's headers and body).
'   cscript page_class.vbs IMAGES_FOLDER OUTPUT_FOLDER   (folders end with a backslash)
Option Explicit
Dim failures : failures = 0
Sub Check(condition, what)
  If condition Then
    WScript.Echo "ok   " & what
  Else
    WScript.Echo "FAIL " & what
    failures = failures + 1
  End If
End Sub

Class PageResponse
  Public ContentType
  Public Headers
  Public Buffer
  Public Body
  Public Writes
  Private Sub Class_Initialize
    ContentType = "text/html" : Headers = "" : Buffer = False : Writes = 0
  End Sub
  Public Sub AddHeader(name, value)
    Headers = Headers & name & "=" & value & ";"
  End Sub
  Public Sub BinaryWrite(data)
    Body = data
    Writes = Writes + 1
  End Sub
End Class

Class RefusingResponse
  Public ContentType
  Public Buffer
  Public Sub AddHeader(name, value)
  End Sub
  Public Sub BinaryWrite(data)
    Err.Raise 5000, "Page", "refused"
  End Sub
End Class

Class PageServer
  Public Root
  Public Function MapPath(path)
    MapPath = Root & Replace(path, "/", "\")
  End Function
End Class

Class PageContext
  Public Response
  Public Server
End Class

Dim images, output, context, p, q
images = WScript.Arguments(0)
output = WScript.Arguments(1)
Set context = New PageContext
Set context.Response = New PageResponse
Set context.Server = New PageServer
context.Server.Root = images

Set p = CreateObject("Corvella.Pictron")
p.OnStartPage context
' A name without a backslash is a virtual path, mapped by the page's Server.
p.OpenFile "egret_600x450.jpg"
Check p.OriginalWidth = 600, "OpenFile through Server.MapPath"
' Undecoded: the opened bytes go out unchanged; buffering is off, so the length is sent too.
p.Download "photo 1.jpg", , "attachment"
Check context.Response.ContentType = "image/jpeg", "content type (" & context.Response.ContentType & ")"
Check context.Response.Headers = "Content-Disposition=attachment; filename=""photo 1.jpg"";Content-Length=18986;", _
      "headers (" & context.Response.Headers & ")"
Check context.Response.Writes = 1 And VarType(context.Response.Body) = 8209, "one BinaryWrite of a byte array"
Set q = CreateObject("Corvella.Pictron")
q.OpenBinary context.Response.Body
Check q.OriginalSize = 18986 And q.OriginalWidth = 600, "the body is the opened file"
q.SaveFile output & "page_class_body.jpg"

' After a pixel operation the image is encoded anew; with buffering on, no length header.
context.Response.Headers = ""
context.Response.Buffer = True
p.GreyScale
p.Download , "image/pjpeg", "inline"
Check context.Response.ContentType = "image/pjpeg", "content type passed"
Check context.Response.Headers = "Content-Disposition=inline;", "headers (" & context.Response.Headers & ")"
q.OpenBinary context.Response.Body
Check q.OriginalSize = p.Size, "the body is the new encoding (" & q.OriginalSize & " bytes)"
' A value goes to the page with its own type: a date given as the content type arrives as a date.
Dim day
day = DateSerial(2024, 5, 6) + TimeSerial(18, 0, 0)
p.Download , day
Check TypeName(context.Response.ContentType) = "Date" And context.Response.ContentType = day, _
      "a date reaches the page as a date (" & TypeName(context.Response.ContentType) & " " & _
      context.Response.ContentType & ")"

' An error of the page's objects reaches the script with its number. (Wine's VBScript hands out
' neither exception nor error information for an error raised in a class method called from
' outside, so its source and description cannot be checked here; see windows/README.md.)
Dim refusing
Set refusing = New PageContext
Set refusing.Response = New RefusingResponse
refusing.Response.Buffer = True
Set refusing.Server = context.Server
p.OnStartPage refusing
On Error Resume Next
p.Download
Check Err.Number = 5000, _
      "an error of BinaryWrite passes through (" & Err.Number & " " & Err.Source & " " & Err.Description & ")"
Err.Clear
On Error Goto 0

p.OnEndPage
On Error Resume Next
p.Download
Check Err.Number = 91, "Download after OnEndPage raises 91"
On Error Goto 0
If failures = 0 Then WScript.Echo "DONE page_class.vbs" Else WScript.Echo "FAILED page_class.vbs: " & failures
