Function Fib(n)
  If n < 2 Then
    Fib = n
    Exit Function
  End If
  Fib = Fib(n - 1) + Fib(n - 2)
End Function
Sub Swap(ByRef a, ByVal b)
  Dim t: t = a: a = b: b = t
End Sub
Dim p, q: p = 1: q = 2
Swap p, q
Swap (p), q
Call Swap(p, q)
WScript.Echo Fib(12), p, q
With WScript
  .Echo .ScriptName, .Arguments.Count
End With
