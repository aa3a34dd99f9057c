' Creates the VANT control by its ProgID, as any script host does, and reads
' and writes its properties through its type library.
Option Explicit
Dim o, accented
Set o = CreateObject("VANTProj1.VANT1")
WScript.Echo "Caption: " & o.Caption
accented = "Recuperaci" & Chr(243) & "n"
o.Caption = accented
If o.Caption = accented Then WScript.Echo "Caption written back: " & Len(o.Caption) & " letters" Else WScript.Echo "Caption lost"
o.Color = &H336699
WScript.Echo "Color: " & Hex(o.Color)
o.Enabled = False
WScript.Echo "Enabled: " & CInt(o.Enabled)
o.Enabled = True
WScript.Echo "Enabled: " & CInt(o.Enabled)
WScript.Echo "Visible: " & CInt(o.Visible)
o.Visible = True
WScript.Echo "Visible: " & CInt(o.Visible)
o.AboutBox
WScript.Echo "AboutBox: done"
WScript.Echo "Font: " & Round(o.Font.Size) & " points"
On Error Resume Next
o.Nonsense = 1
WScript.Echo "Wrong property: error " & Err.Number
