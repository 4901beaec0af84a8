Option Explicit
Dim i, s, total
total = 0
For i = 1 To 10 Step 2
  total = total + i * 2 ^ 2 - 7 \ 3 Mod 2
Next
s = "n=" & total & ";" & (1 < 2) & Null & &HFF & &O17
If total > 10 And Not IsEmpty(s) Then s = UCase(s) Else s = LCase(s)
Select Case Len(s)
  Case 1, 2: s = ""
  Case Else: s = s & "!"
End Select
WScript.Echo s, TypeName(total), VarType(s), #12/6/2026 11:58:15 AM#
