' Holds ever more text: the run's memory budget stops it with runtime error 7, though no single
' string or array is over its own limit. Expected to fail under --memory-limit 64M.
Dim parts()
ReDim parts(100000)
For i = 0 To 100000
  parts(i) = String(1000, "x")
Next
WScript.Echo "not reached"
