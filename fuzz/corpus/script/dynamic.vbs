Dim total
Sub Accumulate(n)
  Execute "total = total + n : n = n * 2"
End Sub
v = 5 : Accumulate v
ExecuteGlobal "Function Twice(x) : Twice = x * 2 : End Function"
WScript.Echo v, total, Twice(21), Eval("Twice(total) + 1")
Set f = GetRef("Twice")
WScript.Echo f(4)
On Error Resume Next
Execute "x = ("
WScript.Echo Err.Number
For Each k In Eval("Array(1, 2, 3)") : total = total & k : Next
Select Case Eval("1 / 0")
  Case Else : WScript.Echo "not here"
End Select
WScript.Echo total, Err.Number
Sub Scoped
  Execute "Dim q(2) : q(1) = 5"
  Execute "WScript.Echo q(1)"
End Sub
Scoped
Me.Scoped
Set m = Me : m.total = 3 : WScript.Echo m.total, +m Is m
ExecuteGlobal "Option Explicit : undeclared = 1"
