Dim a(3), m(2, 2), d(), x, parts
a(0) = "x": a(3) = Array(1, 2, Array(3))
m(1, 2) = a(3)(2)(0)
ReDim d(2): d(2) = 5
ReDim Preserve d(4)
For Each x In a
  WScript.Echo TypeName(x)
Next
parts = Split("a,b,,c", ",")
WScript.Echo Join(parts, "|"), UBound(m, 2), LBound(d), UBound(parts)
Erase d
