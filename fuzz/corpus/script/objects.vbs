Dim o, w, h, b, i
Set o = CreateObject("Fuzz.Probe")
w = 100: h = 0
o.Bump w, h
o.Bump (w), h
o.Name = "probe"
b = Probe.Bytes
For i = 1 To LenB(b)
  h = h + AscB(MidB(b, i, 1))
Next
WScript.Echo TypeName(o), TypeName(b), o.Name, w, h, ChrB(65) & ChrB(66), o Is Probe
Set o = Nothing
