On Error Resume Next
Dim x
x = 1 / 0
WScript.Echo Err.Number, Err.Description, Err.Source
Err.Clear
Err.Raise vbObjectError + 1000, "Fuzz", "raised"
WScript.Echo Err.Number
x = CInt("abc")
If x.Missing Then WScript.Echo "entered"
On Error GoTo 0
Do While x < 3
  x = x + 1
Loop
