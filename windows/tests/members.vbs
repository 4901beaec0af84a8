' Every member of Pictron reached from VBScript: defaults, properties, in/out write-back, omitted
' optional arguments, and the error numbers, sources and descriptions scripts see.
'   cscript members.vbs IMAGES_FOLDER OUTPUT_FOLDER   (folders end with a backslash)
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

Dim images, output
images = WScript.Arguments(0)
output = WScript.Arguments(1)

Dim p, q, w, h, x1, y1, x2, y2, r, g, b, pos, bytes, name, key
Set p = CreateObject("Corvella.Pictron")

' Properties of a new object (slots 3 .. 16)
Check p.OriginalWidth = 0 And p.OriginalHeight = 0 And p.OriginalSize = 0, "original size 0"
Check p.width = 0 And p.Height = 0, "width and Height 0"
Check p.Size = 0 And TypeName(p.Size) = "Double", "Size is a Double 0"
Check p.FontFace = "Arial", "FontFace Arial"
Check p.FontBold = False And p.FontItalic = False And p.FontUnderline = False, "Booleans false"
Check p.FontColor = "000000", "FontColor 000000"
Check p.FontOrientation = 0 And p.FontSize = 12 And p.FontCharset = 1, "orientation, size, charset"

' Property lets (slots 17 .. 26)
p.Comment = "made by members.vbs"
p.FontFace = "Liberation Sans"
p.FontBold = True
Check p.FontBold = True, "FontBold let"
p.FontColor = "FF80"
Check p.FontColor = "000000", "FontColor of four characters stores 000000"
p.FontColor = "FF8000"
p.FontItalic = True
p.FontOrientation = 15
p.FontSize = 18
p.FontUnderline = True
p.FontCharset = 0
Check p.FontFace = "Liberation Sans" And p.FontColor = "FF8000" And p.FontItalic And _
      p.FontOrientation = 15 And p.FontSize = 18 And p.FontUnderline And p.FontCharset = 0, _
      "font settings kept"

On Error Resume Next
' Quality on an object that never opened an image: runtime error 9, the value is kept
p.Quality = 90
Check Err.Number = 9 And Err.Source = "Corvella.Pictron" And Err.Description = "Subscript out of range", _
      "Quality before any open raises 9 (" & Err.Number & " " & Err.Source & " " & Err.Description & ")"
Err.Clear
' Component error: empty file name
p.OpenFile ""
Check Err.Number = -2147220504 And Err.Source = "Corvella.Pictron" And _
      Err.Description = "Empty file name (Error 1000)", _
      "OpenFile """" raises 1000 (" & Err.Number & " " & Err.Source & " " & Err.Description & ")"
Err.Clear
p.OpenFile images & "no_such_file.jpg"
Check Err.Number = -2147220474 And Err.Description = "File not found (Error 1030)", "OpenFile of a missing file raises 1030"
Err.Clear
' A virtual path with no page bound: runtime error 91
p.OpenFile "photo.jpg"
Check Err.Number = 91, "OpenFile of a virtual path without a page raises 91 (" & Err.Number & ")"
Err.Clear
p.Flip
Check Err.Number = 9, "Flip before any open raises 9"
Err.Clear
' Type mismatch in a typed by-value parameter and in an in/out one
p.FontSize = "big"
Check Err.Number = 13, "FontSize = ""big"" raises 13 (" & Err.Number & ")"
Err.Clear
w = "wide" : h = 0
p.Resample w, h
Check Err.Number = 13, "Resample ""wide"" raises 13 (" & Err.Number & ")"
Err.Clear
' A read-only property
p.width = 5
Check Err.Number <> 0, "width cannot be assigned (" & Err.Number & ")"
Err.Clear
On Error Goto 0

' Opening and geometry (slots 27 .. 34)
name = images & "egret_600x450.jpg"
p.OpenFile name
Check p.OriginalWidth = 600 And p.OriginalHeight = 450 And p.OriginalSize = 18986, "OpenFile reads the header"
Check p.width = 600 And p.Height = 450 And p.Size = 18986, "current size after OpenFile"
w = 300 : h = 0
p.Resample w, h
Check h = 225 And TypeName(h) = "Long", "Resample w, 0 leaves the computed height in the variable (" & h & ")"
Check p.width = 300 And p.Height = 225, "Resample sets width and Height"
On Error Resume Next
w = 0 : h = 0
p.Resample w, h
Check Err.Number = -2147220454 And Err.Description = "Invalid image size (Error 1050)", "Resample 0, 0 raises 1050"
Err.Clear
On Error Goto 0
' A date passes as a date: as a width it counts as its number of days, and the variable, which
' the member does not change, stays a date.
w = CDate(300) : h = 0
p.Resample w, h
Check TypeName(w) = "Date" And h = 225 And p.width = 300, _
      "a date as a width counts as its days (" & TypeName(w) & " " & h & " " & p.width & ")"
x1 = 10 : y1 = 10 : x2 = 5000 : y2 = 200
p.Crop x1, y1, x2, y2
Check p.width > 0 And p.width < 300, "Crop clamps the second corner (" & p.width & "x" & p.Height & ")"
p.Flip
p.Mirror
p.RotateRight
p.RotateLeft

' Compositing (35, 36): named and numeric positions; AddImage with and without its optional key
p.AddText "Hello", "CENTER", "TOP"
p.AddText "World", 3, 4
' A position is a number or a keyword: an array of Variants (of any shape) or a date is neither.
Dim grid
ReDim grid(1, 2)
grid(1, 2) = "CENTER"
On Error Resume Next
p.AddText "Array", Array("CENTER"), 0
Check Err.Number = 13, "an array as a position raises 13 (" & Err.Number & ")"
Err.Clear
p.AddText "Grid", 0, grid
Check Err.Number = 13 And grid(1, 2) = "CENTER", "a two-dimensional array as a position raises 13 (" & Err.Number & ")"
Err.Clear
p.AddText "Date", CDate(3), 0
Check Err.Number = 13, "a date as a position raises 13 (" & Err.Number & ")"
Err.Clear
On Error Goto 0
p.AddImage images & "apache_pb_transp.gif", 0, 0
key = "FFFFFF"
p.AddImage images & "apache_pb_transp.gif", "LEFT", "BOTTOM", key
Check key = 16777215, "AddImage writes the key colour back (" & key & ")"

' Filters and colours (40 .. 44)
p.Blur
p.Sharpen
r = 1.1 : g = 1 : b = 0.9
p.Gamma r, g, b
On Error Resume Next
r = 0
p.Gamma r, g, b
Check Err.Number = -2147220419, "Gamma 0 raises 1085"
Err.Clear
On Error Goto 0
p.Negative
p.GreyScale

' Saving (28, 39) and opening bytes (38)
p.Quality = 70
p.SaveFile output & "members_out.jpg"
Check p.Size > 0, "SaveFile sets Size (" & p.Size & ")"
On Error Resume Next
p.SaveFile output & "no_such_folder\out.jpg"
Check Err.Number = -2147220424 And Err.Description = "Invalid path (Error 1080)", "SaveFile into a missing folder raises 1080"
Err.Clear
On Error Goto 0
' A folder where the file should go: the system's refusal surfaces as error 1140.
Dim files
Set files = CreateObject("Scripting.FileSystemObject")
If Not files.FolderExists(output & "a_folder") Then files.CreateFolder output & "a_folder"
On Error Resume Next
p.SaveFile output & "a_folder"
Check Err.Number = -2147220364 And Err.Description = "Failed to Save (Error 1140)-10", _
      "SaveFile onto a folder raises 1140 (" & Err.Number & " " & Err.Description & ")"
Err.Clear
On Error Goto 0
bytes = Empty
p.SaveBinary bytes
Check VarType(bytes) = 8209, "SaveBinary gives a byte array (VarType " & VarType(bytes) & ")"
' An array of Variants in the variable is replaced by the bytes; one is no byte array to open.
' (Wine's UBound does not take byte arrays; the bytes are checked by opening them.)
Dim list, arrived
list = Array("a", 2, CDate(1), Array(3))
p.SaveBinary list
Set arrived = CreateObject("Corvella.Pictron")
arrived.OpenBinary list
Check VarType(list) = 8209 And arrived.OriginalSize = p.Size, "SaveBinary replaces an array of Variants"
list = Array(255, 216, 255)
On Error Resume Next
arrived.OpenBinary list
Check Err.Number = 13 And Err.Description = "Type mismatch" And arrived.OriginalSize = p.Size, _
      "OpenBinary of an array of Variants raises 13 (" & Err.Number & " " & Err.Description & ")"
Err.Clear
On Error Goto 0
Set q = CreateObject("Corvella.Pictron")
q.OpenBinary bytes
Check q.OriginalWidth = p.width And q.OriginalHeight = p.Height, "OpenBinary of SaveBinary's bytes"
Check q.OriginalSize = p.Size, "the byte array holds Size bytes"
' SaveFile with its optional argument omitted overwrites the opened file
q.OpenFile output & "members_out.jpg"
q.SaveFile
Check q.Size = p.Size, "SaveFile without an argument"

' Page binding (1, 2, 37) without a page: Download raises 91 after encoding
r = p.OnEndPage()
Check IsEmpty(r), "OnEndPage answers Empty"
On Error Resume Next
p.Download
Check Err.Number = 91, "Download without a page raises 91 (" & Err.Number & ")"
Err.Clear
p.OnStartPage Nothing
Check Err.Number = 91, "OnStartPage Nothing raises 91 (" & Err.Number & ")"
Err.Clear
On Error Goto 0

' The remaining members (45 .. 47)
q.OpenFile name
Check q.LoadPictureFromStd() = True, "LoadPictureFromStd"
Check q.StripNulls("ab" & Chr(0) & Chr(0)) = "ab", "StripNulls"
pos = 4
q.JPEGSkipVariables pos
Check pos > 4, "JPEGSkipVariables advances its argument (" & pos & ")"

If failures = 0 Then WScript.Echo "DONE members.vbs" Else WScript.Echo "FAILED members.vbs: " & failures
