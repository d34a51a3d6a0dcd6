; PawnIO in lumatext's setup: PawnIO's own signed setup is installed into $INSTDIR\PawnIO
; with the other files; at the end of the core section LumatextPawnIoSection runs it
; silently when the section "pawnio" is ticked, PawnIO is missing or older than the one carried, and
; Windows is a 64-bit Windows 10 1809 or newer. What it did goes to the installer's
; details and to $INSTDIR\PawnIO\setup.log. The uninstaller leaves PawnIO installed:
; other monitoring tools use it too.

!include LogicLib.nsh
!include WinVer.nsh
!include WordFunc.nsh
!include x64.nsh

!define LUMATEXT_PAWNIO_CARRIED "2.1.0.0"
!define LUMATEXT_PAWNIO_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\PawnIO"

; One line to the details and to the log.
!macro LumatextPawnIoLog Text
  DetailPrint "${Text}"
  FileOpen $R9 "$INSTDIR\PawnIO\setup.log" a
  FileSeek $R9 0 END
  FileWrite $R9 "${Text}$\r$\n"
  FileClose $R9
!macroend

Function LumatextPawnIo
  ${IfNot} ${RunningX64}
    !insertmacro LumatextPawnIoLog "PawnIO: nicht installiert, es braucht ein 64-Bit-Windows"
    Return
  ${EndIf}
  ; Windows 10 1809 is build 17763.
  ${IfNot} ${AtLeastBuild} 17763
    !insertmacro LumatextPawnIoLog "PawnIO: nicht installiert, es braucht Windows 10 1809 (Build 17763) oder neuer"
    Return
  ${EndIf}
  SetRegView 64
  ReadRegStr $R1 HKLM "${LUMATEXT_PAWNIO_KEY}" "DisplayVersion"
  SetRegView Default
  ${If} $R1 != ""
    ; 0: the same, 1: the installed one is newer, 2: the carried one is newer.
    ${VersionCompare} $R1 ${LUMATEXT_PAWNIO_CARRIED} $R2
    ${If} $R2 != 2
      !insertmacro LumatextPawnIoLog "PawnIO: Version $R1 ist installiert (mitgebracht: ${LUMATEXT_PAWNIO_CARRIED}), PawnIO_setup.exe bleibt ungestartet"
      Return
    ${EndIf}
    !insertmacro LumatextPawnIoLog "PawnIO: Version $R1 ist installiert, aelter als die mitgebrachte ${LUMATEXT_PAWNIO_CARRIED}"
  ${Else}
    !insertmacro LumatextPawnIoLog "PawnIO: nicht installiert"
  ${EndIf}
  !insertmacro LumatextPawnIoLog "PawnIO: gestartet: $\"$INSTDIR\PawnIO\PawnIO_setup.exe$\" -install -silent"
  ClearErrors
  ExecWait '"$INSTDIR\PawnIO\PawnIO_setup.exe" -install -silent' $R3
  ${If} ${Errors}
    !insertmacro LumatextPawnIoLog "PawnIO: PawnIO_setup.exe liess sich nicht starten; PawnIO.txt beschreibt, wie es von Hand geht"
  ${ElseIf} $R3 != 0
    !insertmacro LumatextPawnIoLog "PawnIO: PawnIO_setup.exe endete mit Status $R3; PawnIO.txt beschreibt, wie es von Hand geht"
  ${Else}
    !insertmacro LumatextPawnIoLog "PawnIO: PawnIO_setup.exe endete mit Status 0"
  ${EndIf}
FunctionEnd

; The choice on the components page, ticked by default; its name fits the page's list
; at 96 dpi. Its work waits for the core section, which runs after it and installs
; PawnIO_setup.exe.
Section "PawnIO 2.1.0.0" pawnio
SectionEnd

; In the core section, after its files: runs the function above when the section
; "pawnio" is ticked.
!macro LumatextPawnIoSection
  SectionGetFlags ${pawnio} $R0
  IntOp $R0 $R0 & ${SF_SELECTED}
  ${If} $R0 == ${SF_SELECTED}
    Call LumatextPawnIo
  ${EndIf}
!macroend
