' A thumbnail job as users write one: a class around the component, a dictionary of sizes read
' from file names by a regular expression, a text file of the results read back, and
' ADODB.Stream carrying a file's bytes to OpenBinary and SaveBinary's bytes to a file.
' Every check prints ok or FAILED; a failure ends the run with status 1 before DONE.
' Arguments: the images folder and a scratch folder, each with a trailing separator.
Option Explicit

Dim images, scratch, fso, re, sizes, file, m, st, maker, small, text, line, failures

Sub Check(what, passed)
  If passed Then
    WScript.Echo what & ": ok"
  Else
    WScript.Echo what & ": FAILED"
    failures = failures + 1
  End If
End Sub

Class Thumbnailer
  Private pic
  Public Width
  Private Sub Class_Initialize()
    Set pic = CreateObject("Corvella.Pictron")
    Width = 160
  End Sub
  ' The bytes of a JPEG thumbnail, Width pixels wide, of the picture in @bytes.
  Public Function Make(bytes)
    Dim w, h, out
    pic.OpenBinary bytes
    w = Width : h = 0
    pic.Resample w, h
    pic.SaveBinary out
    Make = out
  End Function
  Public Function SizeOf(bytes)
    pic.OpenBinary bytes
    SizeOf = pic.OriginalWidth & "x" & pic.OriginalHeight
  End Function
End Class

images = WScript.Arguments(0)
scratch = WScript.Arguments(1)
Set fso = CreateObject("Scripting.FileSystemObject")
Set re = New RegExp
re.Pattern = "^(\w+?)_(\d+)x(\d+)\.jpe?g$"
re.IgnoreCase = True
Set sizes = CreateObject("Scripting.Dictionary")
For Each file In fso.GetFolder(images).Files
  If re.Test(file.Name) Then
    Set m = re.Execute(file.Name)(0)
    sizes.Add LCase(file.Name), m.SubMatches(1) & "x" & m.SubMatches(2)
  End If
Next
Check "the size in a file name", sizes.Item("egret_600x450.jpg") = "600x450"

Set st = CreateObject("ADODB.Stream")
st.Type = 1
st.Open
st.LoadFromFile images & "egret_600x450.jpg"
Set maker = New Thumbnailer
Check "the stream's bytes open as the size their name gives", _
  maker.SizeOf(st.Read) = sizes.Item("egret_600x450.jpg")
st.Position = 0
small = maker.Make(st.Read)
Check "a thumbnail of the width asked", maker.SizeOf(small) = "160x120"
st.Position = 0
st.SetEOS
st.Write small
st.SaveToFile scratch & "egret_small.jpg", 2
st.Close
Check "the thumbnail's file holds its bytes", fso.GetFile(scratch & "egret_small.jpg").Size = LenB(small)

Set text = fso.CreateTextFile(scratch & "sizes.txt", True)
For Each file In sizes.Keys
  text.WriteLine file & vbTab & sizes(file)
Next
text.Close
Set text = fso.OpenTextFile(scratch & "sizes.txt")
line = ""
Do Until text.AtEndOfStream
  line = text.ReadLine
  If Left(line, 6) = "egret_" Then Exit Do
Loop
text.Close
Check "the list read back", line = "egret_600x450.jpg" & vbTab & "600x450"
Check "a price in Currency", TypeName(CCur(19.99) * sizes.Count) = "Currency" And _
  CStr(CCur(0.1) * 3) = "0.3"

If failures > 0 Then WScript.Quit 1
WScript.Echo "DONE"
