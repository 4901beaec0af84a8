' Binary files through ADODB.Stream around the component: bytes read by the stream go straight
' to OpenBinary, SaveBinary's bytes straight to the stream; text in a character set; the stream's
' errors.
' Arguments: the images folder and a scratch folder, each with a trailing separator.
Option Explicit
On Error Resume Next

Dim images, scratch, fso, st, pic, check, bytes, small, w, h, t, line, i, head

Sub Show(what)
  If Err.Number = 0 Then
    WScript.Echo what & ": ok"
  ElseIf Err.Source = "ADODB.Stream" Then
    WScript.Echo what & ": error " & Err.Number & " " & Err.Source & ": " & Err.Description
  Else
    WScript.Echo what & ": runtime error " & Err.Number
  End If
  Err.Clear
End Sub

images = WScript.Arguments(0)
scratch = WScript.Arguments(1)
Set fso = CreateObject("Scripting.FileSystemObject")
Set pic = CreateObject("Corvella.Pictron")
Set check = CreateObject("Corvella.Pictron")

' A JPEG file through a binary stream into the component.
Set st = CreateObject("ADODB.Stream")
WScript.Echo "new stream: state " & st.State & ", type " & st.Type
st.Type = 1
st.Open
st.LoadFromFile images & "egret_600x450.jpg"
Show "LoadFromFile"
WScript.Echo "  size " & st.Size & ", position " & st.Position
bytes = st.Read
WScript.Echo "  read " & TypeName(bytes) & " of " & LenB(bytes) & " bytes, at the end: " & CStr(st.EOS)
WScript.Echo "  nothing more: " & CStr(IsNull(st.Read))
st.Close
pic.OpenBinary bytes
Show "OpenBinary of the stream's bytes"
WScript.Echo "  " & pic.OriginalWidth & "x" & pic.OriginalHeight

' The component's new JPEG into a stream and a file.
w = 300: h = 0
pic.Resample w, h
pic.SaveBinary small
Show "SaveBinary"
st.Open
st.Write small
WScript.Echo "  stream of " & st.Size & " bytes, as long as the array: " & CStr(st.Size = LenB(small))
st.SaveToFile scratch & "small.jpg"
Show "SaveToFile"
st.SaveToFile scratch & "small.jpg"
Show "SaveToFile over an existing file"
st.SaveToFile scratch & "small.jpg", 2
Show "SaveToFile with overwrite"
check.OpenFile scratch & "small.jpg"
WScript.Echo "  the file: " & check.OriginalWidth & "x" & check.OriginalHeight & ", " & _
  CStr(fso.GetFile(scratch & "small.jpg").Size = LenB(small))

' Part of the bytes: the JPEG's start-of-image marker.
st.Position = 0
head = st.Read(2)
WScript.Echo "  first bytes " & AscB(MidB(head, 1, 1)) & " " & AscB(MidB(head, 2, 1)) & _
  ", position " & st.Position
st.Position = 2
st.SetEOS
WScript.Echo "  cut to " & st.Size & " bytes"
st.Close

' Text in UTF-8: the stream starts it with the byte-order mark.
Set t = CreateObject("ADODB.Stream")
t.Charset = "utf-8"
t.Open
t.WriteText "Egret " & ChrW(233) & "t" & ChrW(233), 1
t.WriteText "second line"
WScript.Echo "caption: " & t.Size & " bytes"
t.SaveToFile scratch & "caption.txt", 2
t.Position = 0
t.Type = 1
bytes = t.Read(3)
WScript.Echo "  mark " & AscB(MidB(bytes, 1, 1)) & " " & AscB(MidB(bytes, 2, 1)) & " " & AscB(MidB(bytes, 3, 1))
t.Close
t.Type = 2
t.Charset = "utf-8"
t.Open
t.LoadFromFile scratch & "caption.txt"
line = t.ReadText(-2)
WScript.Echo "  read back: " & Len(line) & " characters, last " & AscW(Right(line, 1)) & _
  ", then " & t.ReadText(-2) & ", at the end: " & CStr(t.EOS)
t.Close

' The stream's errors.
t.Close
Show "Close of a closed stream"
t.Open
t.Open
Show "Open of an open stream"
t.LoadFromFile scratch & "none.jpg"
Show "LoadFromFile of a missing file"
bytes = t.Read
Show "Read of a text stream"
t.WriteText "x"
t.Charset = "us-ascii"
Show "Charset after writing"
WScript.Echo "DONE"
