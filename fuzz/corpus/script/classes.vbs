Class Node
  Public Value, NextNode
  Private hits
  Private Sub Class_Initialize : hits = 0 : Set NextNode = Nothing : End Sub
  Private Sub Class_Terminate : WScript.Echo "gone", Value : End Sub
  Public Default Property Get Item(i) : hits = hits + 1 : Item = Value * i : End Property
  Public Property Let Label(t) : Value = Len(t) : End Property
  Public Property Set Link(n) : Set NextNode = n : End Property
  Public Function Chain(n) : Set Link = n : Set Chain = Me : End Function
End Class
Dim a, b, i
Set a = New Node : a.Value = 3
Set b = New Node : b.Label = "four"
a.Chain(b).Chain(a)
With New Node
  .Value = 7
  WScript.Echo .Item(2), a(3), TypeName(a), a.NextNode Is b
End With
For i = 1 To 3 : Set a = New Node : a.Value = i : Next
Set b = Nothing
If True Then WScript.Echo -2 ^ 2, 2 => 1, 1 =< 2, 1 >< 2 Else WScript.Echo "no" End If
x = .Missing
