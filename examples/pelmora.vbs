' Pelmora client (VBScript): every method of Tevaro.CalcDistClass once, a
' locator round trip, and a failing call caught with its error number and
' description.
'
'   cscript //nologo pelmora.vbs
'
' Numbers come back as Single values; VBScript prints them with up to seven
' significant digits.
Option Explicit

Dim calc
On Error Resume Next
Set calc = CreateObject("Tevaro.CalcDistClass")
If Err.Number <> 0 Then
  WScript.Echo "pelmora.vbs: cannot create Tevaro.CalcDistClass: error " & Err.Number & ", " & _
      Err.Description
  WScript.Quit 1
End If
On Error GoTo 0

' Berlin and New York.
Const BerlinLat = 52.52, BerlinLon = 13.405
Const NewYorkLat = 40.7128, NewYorkLon = -74.006

WScript.Echo "sLocator(52.52, 13.405) = " & calc.sLocator(BerlinLat, BerlinLon)
WScript.Echo "GridFromLatLong(52.52, 13.405) = " & calc.GridFromLatLong(BerlinLat, BerlinLon)
WScript.Echo "LatFromGrid(""JO62qm"") = " & calc.LatFromGrid("JO62qm")
WScript.Echo "LongFromGrid(""JO62qm"") = " & calc.LongFromGrid("JO62qm")
WScript.Echo "Azimut(52.52, 13.405, 40.7128, -74.006) = " & _
    calc.Azimut(BerlinLat, BerlinLon, NewYorkLat, NewYorkLon)
WScript.Echo "DistanceFrom(52.52, 13.405, 40.7128, -74.006) = " & _
    calc.DistanceFrom(BerlinLat, BerlinLon, NewYorkLat, NewYorkLon)
WScript.Echo "ArcCos(0.5) = " & calc.ArcCos(0.5)
WScript.Echo "Distanse(40.7128, -74.006) = " & calc.Distanse(NewYorkLat, NewYorkLon)

' A locator to the centre of its subsquare and back.
Dim grid, lat, lon
grid = "FN20xr"
lat = calc.LatFromGrid(grid)
lon = calc.LongFromGrid(grid)
WScript.Echo "round trip " & grid & " -> " & lat & ", " & lon & " -> " & calc.GridFromLatLong(lat, lon)

' A longitude far outside the grid: the locator's letters cannot be formed.
On Error Resume Next
Dim result
result = calc.GridFromLatLong(0, 3640)
If Err.Number <> 0 Then
  WScript.Echo "GridFromLatLong(0, 3640) failed: error " & Err.Number & ", " & Err.Description
Else
  WScript.Echo "GridFromLatLong(0, 3640) = " & result
End If
Err.Clear
On Error GoTo 0
