# The Windows packages: an NSIS setup and a portable .zip, both with the two programs,
# the licence and how to set up PawnIO; the setup adds Start-menu entries and an
# uninstaller. `cmake --build build/windows --target package` makes both.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/PawnIO.txt DESTINATION .)

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_VENDOR "lumatext developers")
set(CPACK_PACKAGE_FILE_NAME lumatext-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY lumatext)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# Start-menu entries: both programs, then the PawnIO set-up and the licence.
set(CPACK_PACKAGE_EXECUTABLES lumatext lumatext lumatext-sim "lumatext-sim (Simulator)")
set(CPACK_NSIS_MENU_LINKS PawnIO.txt "PawnIO einrichten" LICENSE.txt "Lizenz")
set(CPACK_NSIS_PACKAGE_NAME lumatext)
set(CPACK_NSIS_DISPLAY_NAME lumatext)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_INSTALLED_ICON_NAME bin\\\\lumatext.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MODIFY_PATH OFF)
# A 64-bit setup, as the programs are: it also runs where Windows (or Wine) has no 32-bit part.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
# Into the folder the user picks itself, not under the Debian package's /usr.
unset(CPACK_PACKAGING_INSTALL_PREFIX)

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
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "
  !insertmacro GetParametersCall $R0
  ClearErrors
  !insertmacro GetOptionsCall $R0 /SERVICE $R1
  IfErrors +2 0
    Call InstallLumatextService")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "
  ExecWait '$\\\"$INSTDIR\\bin\\lumatext.exe$\\\" --remove-service'")
