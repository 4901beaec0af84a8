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
On Error Resume Next
Function Boom : Err.Raise 5 : End Function
For x = Boom() To 9 : n = 1 : Next
For Each x In Empty : n = 2 : Next
With 42 : End With
Err.Raise &H8007000E& : Err.Raise 1, , "kept" : Err.Raise 65536
Call CInt(1)
Boom = 1
WScript.Echo Err.Number, Err.Description
