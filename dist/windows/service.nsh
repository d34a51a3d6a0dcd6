; The Windows service in lumatext's setup. A page of its own, before the installation,
; offers it: ticked when the service is registered already (an update) or the command
; line says /SERVICE, else not (as the Linux unit is installed but not enabled). Before
; the files are replaced, LumatextNoteService notes whether the service is registered,
; its start type and whether it runs, and the installed version's uninstaller is run
; (it stops and removes the service); after the files, LumatextSetUpService registers it
; again with the noted start type and starts it if it ran, or, newly chosen, registers
; and starts it. A silent setup keeps a registered service, and sets one up with /SERVICE.
; The sensor choices lumatext.exe --install-service was given stay with it: what follows
; --service on its command line is given to the new --install-service.

!include FileFunc.nsh
!include LogicLib.nsh
!include nsDialogs.nsh

!define LUMATEXT_SERVICE_KEY "SYSTEM\CurrentControlSet\Services\lumatext"

Var LumatextServiceChosen   ; 1: the service is to be registered after the files
Var LumatextServiceStart    ; the registered service's start type (2 auto, 3 demand, 4 off); empty: none
Var LumatextServiceDelayed  ; 1: the automatic start waits for the boot to settle
Var LumatextServiceRan      ; 1: it was running (or starting) when the setup began
Var LumatextServiceArguments ; what followed lumatext.exe --service (the owner's sensor choices)
Var LumatextServiceBox

; Notes the registered service's settings; clears them when there is none.
Function LumatextNoteService
  StrCpy $LumatextServiceStart ""
  StrCpy $LumatextServiceDelayed 0
  StrCpy $LumatextServiceRan 0
  StrCpy $LumatextServiceArguments ""
  ClearErrors
  ReadRegDWORD $R0 HKLM "${LUMATEXT_SERVICE_KEY}" "Start"
  ${If} ${Errors}
    Return
  ${EndIf}
  StrCpy $LumatextServiceStart $R0
  ; lumatext.exe's own command line (not the simulator's): "...\lumatext.exe" --service ARGUMENTS.
  ReadRegStr $R0 HKLM "${LUMATEXT_SERVICE_KEY}" "ImagePath"
  StrLen $R4 $R0
  StrCpy $R3 0
  ${DoWhile} $R3 < $R4
    StrCpy $R2 $R0 24 $R3
    ${If} $R2 == '\lumatext.exe" --service'
      IntOp $R3 $R3 + 24
      StrCpy $LumatextServiceArguments $R0 "" $R3
      ${Break}
    ${EndIf}
    IntOp $R3 $R3 + 1
  ${Loop}
  ReadRegDWORD $R0 HKLM "${LUMATEXT_SERVICE_KEY}" "DelayedAutostart"
  ${If} $R0 == 1
    StrCpy $LumatextServiceDelayed 1
  ${EndIf}
  ; SC_MANAGER_CONNECT 1, SERVICE_QUERY_STATUS 4; SERVICE_STATUS is seven DWORDs, the
  ; second the state: 2 START_PENDING, 4 RUNNING.
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i 1) p .R1'
  System::Call 'advapi32::OpenServiceW(p $R1, w "lumatext", i 4) p .R2'
  ${If} $R2 P<> 0
    System::Call '*(i 0, i 0, i 0, i 0, i 0, i 0, i 0) p .R3'
    System::Call 'advapi32::QueryServiceStatus(p $R2, p $R3)'
    System::Call '*$R3(i .R5, i .R6)'
    System::Free $R3
    ${If} $R6 == 4
    ${OrIf} $R6 == 2
      StrCpy $LumatextServiceRan 1
    ${EndIf}
    System::Call 'advapi32::CloseServiceHandle(p $R2)'
  ${EndIf}
  System::Call 'advapi32::CloseServiceHandle(p $R1)'
  DetailPrint "Dienst lumatext: Starttyp $LumatextServiceStart, verzoegert $LumatextServiceDelayed, lief $LumatextServiceRan, Argumente$LumatextServiceArguments"
FunctionEnd

; Whether the command line says /SERVICE: 1 or 0 in $R0.
Function LumatextServiceOption
  ${GetParameters} $R1
  ClearErrors
  ${GetOptions} $R1 /SERVICE $R2
  StrCpy $R0 1
  IfErrors 0 +2
    StrCpy $R0 0
FunctionEnd

Function LumatextServicePage
  Call LumatextNoteService
  Call LumatextServiceOption
  ${If} $LumatextServiceStart != ""
    StrCpy $R0 1
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "Windows-Dienst" "lumatext auch ohne Anmeldung laufen lassen"
  nsDialogs::Create 1018
  Pop $R1
  ${NSD_CreateLabel} 0 0 100% 48u "Als Windows-Dienst zeigt lumatext die Messwerte ab dem Systemstart, ohne dass sich jemand anmeldet. Ist der Dienst schon eingerichtet, bleibt er mit seinen Einstellungen erhalten; ohne Haken wird er entfernt."
  Pop $R1
  ${NSD_CreateCheckbox} 0 56u 100% 12u "Als Windows-&Dienst einrichten"
  Pop $LumatextServiceBox
  ${If} $R0 == 1
    ${NSD_Check} $LumatextServiceBox
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function LumatextServicePageLeave
  ${NSD_GetState} $LumatextServiceBox $R0
  StrCpy $LumatextServiceChosen 0
  ${If} $R0 == ${BST_CHECKED}
    StrCpy $LumatextServiceChosen 1
  ${EndIf}
FunctionEnd

; Before the files: notes the service (the page's choice stands; a silent setup keeps a
; registered service, or sets one up with /SERVICE), then runs the installed version's
; uninstaller in place, which stops and removes the service and the old files.
Function LumatextReplaceInstalled
  Call LumatextNoteService
  ${If} ${Silent}
    Call LumatextServiceOption
    StrCpy $LumatextServiceChosen $R0
    ${If} $LumatextServiceStart != ""
      StrCpy $LumatextServiceChosen 1
    ${EndIf}
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\Uninstall.exe"
    DetailPrint "Die installierte Version wird entfernt"
    ExecWait '"$INSTDIR\Uninstall.exe" /S _?=$INSTDIR'
  ${EndIf}
FunctionEnd

; After the files: registers the service when chosen, with the noted start type, and
; starts it when it ran before or is newly set up.
Function LumatextSetUpService
  ${If} $LumatextServiceChosen != 1
    Return
  ${EndIf}
  ExecWait '"$INSTDIR\bin\lumatext.exe" --install-service$LumatextServiceArguments' $R0
  ${If} $R0 != 0
    MessageBox MB_ICONEXCLAMATION|MB_OK "Der Dienst lumatext konnte nicht eingerichtet werden (Status $R0)." /SD IDOK
    Return
  ${EndIf}
  ${If} $LumatextServiceStart == ""
    ExecWait '"$SYSDIR\sc.exe" start lumatext'
    Return
  ${EndIf}
  ; SERVICE_CHANGE_CONFIG 2; SERVICE_NO_CHANGE 0xFFFFFFFF; SERVICE_CONFIG_DELAYED_AUTO_START_INFO 3.
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i 1) p .R1'
  System::Call 'advapi32::OpenServiceW(p $R1, w "lumatext", i 2) p .R2'
  System::Call 'advapi32::ChangeServiceConfigW(p $R2, i 0xFFFFFFFF, i $LumatextServiceStart, i 0xFFFFFFFF, p 0, p 0, p 0, p 0, p 0, p 0, p 0) i .R3'
  System::Call 'advapi32::ChangeServiceConfig2W(p $R2, i 3, *i $LumatextServiceDelayed) i .R4'
  System::Call 'advapi32::CloseServiceHandle(p $R2)'
  System::Call 'advapi32::CloseServiceHandle(p $R1)'
  DetailPrint "Dienst lumatext: wieder eingerichtet, Starttyp $LumatextServiceStart (Status $R3), verzoegert $LumatextServiceDelayed (Status $R4)"
  ${If} $LumatextServiceRan == 1
    ExecWait '"$SYSDIR\sc.exe" start lumatext'
  ${EndIf}
FunctionEnd
