# The Windows packages: an NSIS setup and a portable .zip, both with the programs, the
# licence, how to set up PawnIO, PawnIO's signed module LpcIO.bin beside lumatext.exe
# (with its licence and its source) and PawnIO's own signed setup; the setup adds
# Start-menu entries and an uninstaller, and runs PawnIO's setup where PawnIO is
# missing or older. `cmake --build build/windows --target package` makes both.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/PawnIO.txt DESTINATION .)
# LpcIO.bin where lumatext looks for it; LGPL 2.1: its licence and its source beside.
set(lumatext_pawnio_modules ${PROJECT_SOURCE_DIR}/third_party/pawnio-modules)
install(FILES ${lumatext_pawnio_modules}/LpcIO.bin DESTINATION bin)
install(FILES ${lumatext_pawnio_modules}/COPYING DESTINATION third-party/LpcIO RENAME COPYING.txt)
install(FILES ${lumatext_pawnio_modules}/README.md DESTINATION third-party/LpcIO RENAME README.txt)
install(DIRECTORY ${lumatext_pawnio_modules}/source/ DESTINATION third-party/LpcIO/source)
# PawnIO's own signed setup and its terms: the setup runs it when its section "PawnIO"
# is ticked (the default).
set(lumatext_pawnio_setup ${PROJECT_SOURCE_DIR}/third_party/pawnio-setup)
install(FILES ${lumatext_pawnio_setup}/PawnIO_setup.exe ${lumatext_pawnio_setup}/LicenseSigned.txt DESTINATION PawnIO)
install(FILES ${lumatext_pawnio_setup}/README.md DESTINATION PawnIO RENAME README.txt)

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
# The setup is a 64-bit program (below): its $PROGRAMFILES is the 64-bit folder, while
# NSIS 3.08's $PROGRAMFILES64 gave "Program Files (x86)" under Wine.
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES")
set(CPACK_NSIS_INSTALLED_ICON_NAME bin\\\\lumatext.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MODIFY_PATH OFF)
# A 64-bit setup, as the programs are: it also runs where Windows (or Wine) has no 32-bit
# part.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
# The PawnIO step (dist/windows/pawnio.nsh): its section, ticked by default, on the
# components page; run at the end of the core section, when the files are in place.
# CPack writes the values into CPackConfig.cmake unescaped: backslashes twice, NSIS's
# single quotes.
string(APPEND CPACK_NSIS_DEFINES "\n!include '${CMAKE_CURRENT_LIST_DIR}/pawnio.nsh'")
set(CPACK_NSIS_PAGE_COMPONENTS "!insertmacro MUI_PAGE_COMPONENTS")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "!insertmacro LumatextPawnIoSection")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "Delete '$INSTDIR\\PawnIO\\setup.log'")
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
# After the PawnIO step: the service starts with PawnIO in place.
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
