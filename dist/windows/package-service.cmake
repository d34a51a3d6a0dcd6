# The Windows service: offered on the setup's last page and not chosen there (as the
# Linux unit is installed but not enabled); a silent setup chooses it with /SERVICE.
# lumatext.exe registers it with all its settings and starts it. The uninstaller stops
# and removes it first (an update through the setup too: choose it again then).
# CPack splits values at double quotes and expands ${...}: NSIS's own quote $\", single
# quotes and the macros behind ${GetParameters} and ${GetOptions} instead.
string(APPEND CPACK_NSIS_DEFINES "
  !include FileFunc.nsh
  !define MUI_FINISHPAGE_SHOWREADME ''
  !define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
  !define MUI_FINISHPAGE_SHOWREADME_TEXT 'Als Windows-Dienst einrichten: zeigt die Messwerte ab dem Systemstart, ohne Anmeldung'
  !define MUI_FINISHPAGE_SHOWREADME_FUNCTION InstallLumatextService
  Function InstallLumatextService
    ExecWait '$\\\"$INSTDIR\\bin\\lumatext.exe$\\\" --install-service' $0
    StrCmp $0 0 +3
      MessageBox MB_ICONEXCLAMATION|MB_OK 'Der Dienst lumatext konnte nicht eingerichtet werden (Status $0).' /SD IDOK
      Return
    ExecWait '$\\\"$SYSDIR\\sc.exe$\\\" start lumatext'
  FunctionEnd")
# After what the setup does before (the 64-bit setup's PawnIO step); the uninstaller
# removes the service before anything else.
string(APPEND CPACK_NSIS_EXTRA_INSTALL_COMMANDS "
  !insertmacro GetParametersCall $R0
  ClearErrors
  !insertmacro GetOptionsCall $R0 /SERVICE $R1
  IfErrors +2 0
    Call InstallLumatextService
")
string(PREPEND CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "
  ExecWait '$\\\"$INSTDIR\\bin\\lumatext.exe$\\\" --remove-service'
")
