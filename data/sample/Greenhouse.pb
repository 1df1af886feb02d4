; -----------------------------------------------------------------------------
;  Greenhouse.pb - a small climate logger for the Gewächshaus behind the shed
;
;  Samples temperature (°C), relative humidity (%), light (µmol/m²/s) and soil
;  moisture for a few growing zones, keeps every reading in a linked list,
;  aggregates per-zone statistics in a map and shows everything in a window
;  (or on the console when #USE_CONSOLE is set to #True).
;
;  The sensors are simulated with Random() so the program runs anywhere.
; -----------------------------------------------------------------------------

EnableExplicit

; --- Compile-time switches and limits ----------------------------------------

#USE_CONSOLE     = #False
#APP_NAME        = "Greenhouse Climate Logger"
#APP_VERSION     = "1.3"
#MAX_READINGS    = 500
#SAMPLE_INTERVAL = 5000          ; milliseconds between two automatic samples
#LOG_FILE        = "greenhouse_log.csv"
#SEPARATOR       = ";"
#TimerSample     = 1

#TEMP_LOW        = 12.0          ; °C - below this the heater should start
#TEMP_HIGH       = 32.0          ; °C - above this the roof vents should open
#HUMIDITY_LOW    = 45.0
#HUMIDITY_HIGH   = 85.0
#LIGHT_LOW       = 150.0         ; µmol/m²/s

Enumeration Windows
  #WinMain
EndEnumeration

Enumeration Gadgets
  #ListReadings
  #TextStatus
  #ButtonSample
  #ButtonExport
  #ButtonQuit
EndEnumeration

Enumeration AlarmKind
  #AlarmNone
  #AlarmTooCold
  #AlarmTooHot
  #AlarmTooDry
  #AlarmTooWet
  #AlarmLowLight
EndEnumeration

; --- Data structures ---------------------------------------------------------

Structure Reading
  Timestamp.i
  ZoneKey.s
  Temperature.d   ; °C
  Humidity.d      ; % relative humidity
  Light.d         ; µmol/m²/s
  Soil.d          ; volumetric water content in %
  Alarm.i
EndStructure

Structure Zone
  Name.s
  Crop.s
  TargetTemp.d
  Tolerance.d
  Count.i
  SumTemp.d
  MinTemp.d
  MaxTemp.d
  Alarms.i
EndStructure

Global NewList Readings.Reading()
Global NewMap Zones.Zone()
Global SampleRound.i = 0

; --- Helpers -----------------------------------------------------------------

Procedure.d RandomFloat(Low.d, High.d)
  ; Random() only returns integers, so scale a value between 0 and 10000
  ProcedureReturn Low + (High - Low) * Random(10000) / 10000.0
EndProcedure

Procedure.s PadRight(Text.s, Width.i)
  If Len(Text) >= Width
    ProcedureReturn Left(Text, Width)
  EndIf
  ProcedureReturn LSet(Text, Width, " ")
EndProcedure

Procedure.d DewPoint(Temperature.d, Humidity.d)
  ; Magnus formula, good enough for -45 °C to +60 °C
  Protected a.d = 17.62, b.d = 243.12, gamma.d
  If Humidity <= 0.0
    ProcedureReturn -273.15
  EndIf
  gamma = Log(Humidity / 100.0) + (a * Temperature) / (b + Temperature)
  ProcedureReturn (b * gamma) / (a - gamma)
EndProcedure

Procedure AddZone(Key.s, Name.s, Crop.s, TargetTemp.d, Tolerance.d)
  AddMapElement(Zones(), Key)
  Zones()\Name       = Name
  Zones()\Crop       = Crop
  Zones()\TargetTemp = TargetTemp
  Zones()\Tolerance  = Tolerance
  Zones()\MinTemp    = 1000.0
  Zones()\MaxTemp    = -1000.0
EndProcedure

; This is the one procedure that somebody once edited with a different editor, which is why its body is indented with tab characters instead of the two spaces used everywhere else in this file; the IDE keeps the tabs as they are and the printout should show them expanded to the configured tab width, including the tab that sits in the middle of a line before a trailing comment (see MinTemp and MaxTemp below).
Procedure UpdateZoneStats(*R.Reading)
	Protected Key.s = *R\ZoneKey
	If FindMapElement(Zones(), Key) = 0
		ProcedureReturn
	EndIf
	Zones()\Count	+ 1
	Zones()\SumTemp	+ *R\Temperature
	If *R\Temperature < Zones()\MinTemp
		Zones()\MinTemp = *R\Temperature	; new lowest value
	EndIf
	If *R\Temperature > Zones()\MaxTemp
		Zones()\MaxTemp = *R\Temperature	; new highest value
	EndIf
	If *R\Alarm <> #AlarmNone
		Zones()\Alarms + 1
	EndIf
EndProcedure

; --- Classification ----------------------------------------------------------

Procedure.i ClassifyReading(*R.Reading)
  Protected Kind.i = #AlarmNone
  Protected Target.d = #TEMP_LOW, Tolerance.d = 5.0

  If FindMapElement(Zones(), *R\ZoneKey)
    Target    = Zones()\TargetTemp
    Tolerance = Zones()\Tolerance
  EndIf

  If *R\Temperature < Target - Tolerance Or *R\Temperature < #TEMP_LOW
    Kind = #AlarmTooCold
  ElseIf *R\Temperature > Target + Tolerance Or *R\Temperature > #TEMP_HIGH
    Kind = #AlarmTooHot
  ElseIf *R\Humidity < #HUMIDITY_LOW
    Kind = #AlarmTooDry
  ElseIf *R\Humidity > #HUMIDITY_HIGH
    Kind = #AlarmTooWet
  ElseIf *R\Light < #LIGHT_LOW And Hour(*R\Timestamp) >= 9 And Hour(*R\Timestamp) <= 17
    Kind = #AlarmLowLight
  EndIf

  ProcedureReturn Kind
EndProcedure

Procedure.s AlarmText(Kind.i)
  Select Kind
    Case #AlarmNone
      ProcedureReturn "ok"
    Case #AlarmTooCold
      ProcedureReturn "too cold - start heater"
    Case #AlarmTooHot
      ProcedureReturn "too hot - open roof vents"
    Case #AlarmTooDry
      ProcedureReturn "too dry - start misting"
    Case #AlarmTooWet
      ProcedureReturn "too wet - run fans"
    Case #AlarmLowLight
      ProcedureReturn "low light - switch on lamps"
    Default
      ProcedureReturn "unknown (" + Str(Kind) + ")"
  EndSelect
EndProcedure

; --- Sampling ----------------------------------------------------------------

Procedure TakeSample(Key.s)
  Protected Target.d = 20.0

  If FindMapElement(Zones(), Key)
    Target = Zones()\TargetTemp
  EndIf

  ; keep the list bounded: drop the oldest reading when it is full
  If ListSize(Readings()) >= #MAX_READINGS
    FirstElement(Readings())
    DeleteElement(Readings())
  EndIf

  LastElement(Readings())
  AddElement(Readings())
  Readings()\Timestamp   = Date()
  Readings()\ZoneKey     = Key
  Readings()\Temperature = RandomFloat(Target - 9.0, Target + 9.0)
  Readings()\Humidity    = RandomFloat(35.0, 95.0)
  Readings()\Light       = RandomFloat(50.0, 900.0)
  Readings()\Soil        = RandomFloat(10.0, 45.0)
  Readings()\Alarm       = ClassifyReading(@Readings())

  UpdateZoneStats(@Readings())
EndProcedure

Procedure SampleAllZones()
  SampleRound + 1
  ForEach Zones()
    PushMapPosition(Zones())
    TakeSample(MapKey(Zones()))
    PopMapPosition(Zones())
  Next
EndProcedure

; --- Formatting --------------------------------------------------------------

Procedure.s FormatReading(*R.Reading)
  Protected Line.s
  Line = FormatDate("%yyyy-%mm-%dd %hh:%ii:%ss", *R\Timestamp) + "  "
  Line + PadRight(*R\ZoneKey, 10)
  Line + RSet(StrD(*R\Temperature, 1), 6) + " °C  "
  Line + RSet(StrD(*R\Humidity, 0), 4) + " %  "
  Line + RSet(StrD(*R\Light, 0), 5) + " µmol  "
  Line + AlarmText(*R\Alarm)
  ProcedureReturn Line
EndProcedure

Procedure.s ZoneSummary(Key.s)
  Protected Average.d, Text.s
  If FindMapElement(Zones(), Key) = 0 Or Zones()\Count = 0
    ProcedureReturn Key + ": no readings yet"
  EndIf
  Average = Zones()\SumTemp / Zones()\Count
  Text = "Zone " + UCase(Key) + " (" + Zones()\Name + ", growing " + Zones()\Crop + "): " + Str(Zones()\Count) + " readings, average " + StrD(Average, 1) + " °C, minimum " + StrD(Zones()\MinTemp, 1) + " °C, maximum " + StrD(Zones()\MaxTemp, 1) + " °C, target " + StrD(Zones()\TargetTemp, 1) + " ± " + StrD(Zones()\Tolerance, 1) + " °C, " + Str(Zones()\Alarms) + " alarm(s)"
  ProcedureReturn Text
EndProcedure

; --- Export ------------------------------------------------------------------

Procedure.i ExportCsv(FileName.s)
  Protected File.i, Header.s, Row.s, Written.i = 0

  File = CreateFile(#PB_Any, FileName)
  If File = 0
    ProcedureReturn -1
  EndIf

  Header = "timestamp" + #SEPARATOR + "zone" + #SEPARATOR + "temperature_c" + #SEPARATOR + "humidity_pct" + #SEPARATOR + "light_umol" + #SEPARATOR + "soil_pct" + #SEPARATOR + "dew_point_c" + #SEPARATOR + "alarm"
  WriteStringN(File, Header, #PB_UTF8)

  ForEach Readings()
    Row = FormatDate("%yyyy-%mm-%dd %hh:%ii:%ss", Readings()\Timestamp)
    Row + #SEPARATOR + Readings()\ZoneKey
    Row + #SEPARATOR + ReplaceString(StrD(Readings()\Temperature, 2), ".", ",")
    Row + #SEPARATOR + ReplaceString(StrD(Readings()\Humidity, 1), ".", ",")
    Row + #SEPARATOR + StrD(Readings()\Light, 0)
    Row + #SEPARATOR + ReplaceString(StrD(Readings()\Soil, 1), ".", ",")
    Row + #SEPARATOR + ReplaceString(StrD(DewPoint(Readings()\Temperature, Readings()\Humidity), 1), ".", ",")
    Row + #SEPARATOR + #DQUOTE$ + AlarmText(Readings()\Alarm) + #DQUOTE$
    WriteStringN(File, Row, #PB_UTF8)
    Written + 1
  Next

  CloseFile(File)
  ProcedureReturn Written
EndProcedure

; --- User interface ----------------------------------------------------------

Procedure RefreshList()
  Protected Item.s, Alarms.i = 0
  ClearGadgetItems(#ListReadings)
  ForEach Readings()
    Item = FormatDate("%hh:%ii:%ss", Readings()\Timestamp) + #LF$ + Readings()\ZoneKey + #LF$ + StrD(Readings()\Temperature, 1) + " °C" + #LF$ + StrD(Readings()\Humidity, 0) + " %" + #LF$ + StrD(Readings()\Light, 0) + " µmol/m²/s" + #LF$ + AlarmText(Readings()\Alarm)
    AddGadgetItem(#ListReadings, -1, Item)
    If Readings()\Alarm <> #AlarmNone
      Alarms + 1
    EndIf
  Next
  SetGadgetText(#TextStatus, "Round " + Str(SampleRound) + " - " + Str(ListSize(Readings())) + " readings, " + Str(Alarms) + " with alarm")
EndProcedure

Procedure.i OpenMainWindow()
  If OpenWindow(#WinMain, 0, 0, 720, 460, #APP_NAME + " " + #APP_VERSION + " - Gewächshaus", #PB_Window_SystemMenu | #PB_Window_MinimizeGadget | #PB_Window_ScreenCentered) = 0
    ProcedureReturn #False
  EndIf

  ListIconGadget(#ListReadings, 10, 10, 700, 370, "Time", 80, #PB_ListIcon_FullRowSelect | #PB_ListIcon_GridLines | #PB_ListIcon_AlwaysShowSelection)
  AddGadgetColumn(#ListReadings, 1, "Zone", 90)
  AddGadgetColumn(#ListReadings, 2, "Temp.", 80)
  AddGadgetColumn(#ListReadings, 3, "Humidity", 80)
  AddGadgetColumn(#ListReadings, 4, "Light", 120)
  AddGadgetColumn(#ListReadings, 5, "Status", 240)

  TextGadget(#TextStatus, 10, 392, 400, 20, "No readings yet")
  ButtonGadget(#ButtonSample, 420, 388, 90, 28, "Sample now")
  ButtonGadget(#ButtonExport, 520, 388, 90, 28, "Export CSV")
  ButtonGadget(#ButtonQuit, 620, 388, 90, 28, "Quit")

  AddWindowTimer(#WinMain, #TimerSample, #SAMPLE_INTERVAL)
  ProcedureReturn #True
EndProcedure

Procedure RunWindow()
  Protected Event.i, Quit.i = #False, Count.i

  If OpenMainWindow() = #False
    MessageRequester(#APP_NAME, "The main window could not be opened.", #PB_MessageRequester_Error)
    ProcedureReturn
  EndIf

  SampleAllZones()
  RefreshList()

  Repeat
    Event = WaitWindowEvent()
    Select Event
      Case #PB_Event_Timer
        If EventTimer() = #TimerSample
          SampleAllZones()
          RefreshList()
        EndIf
      Case #PB_Event_Gadget
        Select EventGadget()
          Case #ButtonSample
            SampleAllZones()
            RefreshList()
          Case #ButtonExport
            Count = ExportCsv(#LOG_FILE)
            If Count < 0
              MessageRequester(#APP_NAME, "Could not write " + #LOG_FILE, #PB_MessageRequester_Warning)
            Else
              MessageRequester(#APP_NAME, Str(Count) + " readings written to " + #LOG_FILE + ".", #PB_MessageRequester_Info)
            EndIf
          Case #ButtonQuit
            Quit = #True
        EndSelect
      Case #PB_Event_CloseWindow
        Quit = #True
    EndSelect
  Until Quit

  RemoveWindowTimer(#WinMain, #TimerSample)
  CloseWindow(#WinMain)
EndProcedure

Procedure RunConsole(Rounds.i)
  Protected i.i

  If OpenConsole(#APP_NAME) = 0
    ProcedureReturn
  EndIf

  PrintN(#APP_NAME + " " + #APP_VERSION)
  PrintN(RSet("", 60, "="))
  For i = 1 To Rounds
    SampleAllZones()
    Delay(200)
  Next

  ForEach Readings()
    PrintN(FormatReading(@Readings()))
  Next

  PrintN("")
  ForEach Zones()
    PrintN(ZoneSummary(MapKey(Zones())))
  Next

  PrintN("")
  PrintN(Str(ExportCsv(#LOG_FILE)) + " readings exported. Press Return to quit.")
  Input()
  CloseConsole()
EndProcedure

; --- Main program ------------------------------------------------------------

AddZone("north", "North bench", "tomatoes", 22.0, 4.0)
AddZone("south", "South bench", "peppers and aubergines", 25.0, 3.5)
AddZone("propagation", "Propagation table under the heating mat in the far corner next to the water butt", "seedlings (basil, lettuce, marigold, Kapuzinerkresse)", 21.0, 2.0)
AddZone("cactus", "Cactus shelf", "cacti", 27.0, 8.0)

CompilerIf #USE_CONSOLE
  RunConsole(3)
CompilerElse
  RunWindow()
CompilerEndIf

End
; IDE Options = PureBasic 6.10 LTS (Linux - x64)
; CursorPosition = 42
; FirstLine = 1
; Folding = --
; EnableXP
; DPIAware
