' After regsvr32 /u the class can no longer be created: runtime error 429.
Option Explicit
Dim p
On Error Resume Next
Set p = CreateObject("Corvella.Pictron")
If Err.Number = 429 Then
  WScript.Echo "ok   CreateObject fails with 429 after unregistration"
  WScript.Echo "DONE unregistered.vbs"
Else
  WScript.Echo "FAIL CreateObject after unregistration: " & Err.Number & " " & Err.Description
End If
